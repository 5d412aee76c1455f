// Images, inline images and XObjects of PDF pages: the answers the image
// store's decoders get, forms and their errors, and images shared between
// pages.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "graphics/pixelbuf.h"
#include "pdf/annot.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/rawcodec.h"
#include "platform/url/url.h"
#include "pdf/resources/pdfimage.h"
#include "pdf/resources/pdfstream.h"
#include "tests/pdf/pdf_fixture.h"

namespace {

class PdfXObjectTest : public PdfDocFixture {
  protected:
    // Parses text into a new object of doc (the caller releases it).
    static PdfObj *parse(PdfDoc *doc, const std::string &text)
    {
        ByteStream *s = nullptr;
        PdfLexer *lx = nullptr;
        PdfObj *obj = nullptr;
        if (Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(text.data()), text.size(),
                                  &s) == 0 &&
            Pdf_Lex_create(&lx, s) == 0) {
            EXPECT_EQ(Pdf_Obj_parse(doc, lx, &obj), 0) << text;
        }
        Pdf_Lex_destroy(lx);
        if (s)
            (void)ByteStream_close(s);
        return obj;
    }

    // Opens file with a document model, translates it and runs body.
    void withModel(const std::string &file,
                   const std::function<void(PdfDoc *, Edr_Doc *, int)> &body)
    {
        run([&] {
            // An image store with the raw codec: images are made at load.
            ASSERT_EQ(ImageStore_acquire(ctx(), ImageStore_noWorkers, Pixel_format565), 0);
            ASSERT_EQ(Plugin_register(ctx(), Pdf_RawImageCodec_new()), 0);
            Edr_Doc *edoc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &edoc, nullptr), 0);
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(file.data()),
                                     file.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                                     &accepted),
                      0);
            PdfDoc *doc = nullptr;
            ASSERT_EQ(Pdf_openDocument(ctx(), &doc, h, edoc, 0), 0);
            int result = Pdf_translateDocument(doc);
            body(doc, edoc, result);
            Pdf_closeDocument(doc, edoc);
            Edr_Doc_release(edoc);
            ImageStore_release(ctx());
        });
    }
};

struct Answer {
    int32_t id;
    int32_t size;  // -1: no answer
    int32_t value; // the integer answer when size is 4
};

void expectAnswers(PdfImgParams *p, const std::vector<Answer> &answers, const char *what)
{
    for (const Answer &a : answers) {
        int32_t size = 7;
        EXPECT_EQ(Pdf_Img_queryAttribute(p, a.id, nullptr, &size), 0) << what << " id " << a.id;
        EXPECT_EQ(size, a.size) << what << " id " << a.id;
        if (a.size == 4) {
            int32_t v = -99;
            EXPECT_EQ(Pdf_Img_queryAttribute(p, a.id, &v, &size), 0);
            EXPECT_EQ(v, a.value) << what << " id " << a.id;
        }
    }
}

// The page's children: 'i' image, 'l' drawing list, 'd' data.
std::string children(Edr_Doc *edoc, uint32_t index)
{
    Edr_Node *page = nullptr;
    if (Edr_Doc_nthRootChild(edoc, index, &page) != Res_ok || !page)
        return "none";
    std::string kinds;
    for (Edr_Node *c = Edr_Node_firstChild(page); c; c = Edr_Node_nextSibling(c))
        kinds += Edr_Node_type(c) == Edr_NodeType_image      ? 'i'
                 : Edr_Node_type(c) == Edr_NodeType_drawList ? 'l'
                 : Edr_Node_type(c) == Edr_NodeType_data     ? 'd'
                                                             : '?';
    Edr_Node_release(edoc, page);
    return kinds;
}

std::string pages(const std::string &content, const std::map<std::string, std::string> &xobjects,
                  int count = 1)
{
    std::map<uint32_t, std::string> o;
    std::string kids, xdict;
    uint32_t n = 10;
    for (auto &[name, body] : xobjects)
        xdict += " /" + name + " " + std::to_string(n++) + " 0 R";
    n = 10;
    for (auto &[name, body] : xobjects)
        o[n++] = body;
    for (int i = 0; i < count; i++) {
        kids += std::to_string(3 + i) + " 0 R ";
        o[3 + i] =
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Resources << /XObject <<" +
            xdict + " >> >> /Contents 9 0 R >>";
    }
    o[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    o[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>";
    o[9] =
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream";
    return pdfFile(o);
}

std::string xstream(const std::string &dict, const std::string &data)
{
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

} // namespace

TEST_F(PdfXObjectTest, AnInlineCcittImageAnswersTheQueryTable)
{
    std::string file = pdfFile(pdfObjects({}));
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          PdfObj *dict = parse(doc, "<< /W 8 /H 8 /BPC 1 /IM true /F /CCF >>");
                          ASSERT_NE(dict, nullptr);
                          PdfImgParams p{};
                          ASSERT_EQ(Pdf_Img_readParams(doc, dict, Pdf_Img_kindOf("CCF"), nullptr,
                                                       0x0000FF, &p),
                                    0);
                          expectAnswers(&p, {{1, 4, 8},   {2, 4, 8},   {3, 4, 72},  {4, 0, 0},
                                             {5, -1, 0},  {7, -1, 0},  {9, -1, 0},  {13, 4, 0xFF},
                                             {14, -1, 0}, {15, -1, 0}, {16, -1, 0}, {17, 4, 1},
                                             {22, 4, 1},  {23, 4, 0},  {24, 4, 1},  {25, -1, 0},
                                             {26, -1, 0}, {27, 4, 0},  {29, 4, 1},  {30, 4, 0},
                                             {32, -1, 0}},
                                        "inline CCITT");
                          Pdf_Img_freeParams(&p);
                          Pdf_Obj_release(doc, dict);
                      }),
              0);
}

TEST_F(PdfXObjectTest, ColoursPalettesAndMasksAnswerAsTheSpaceSays)
{
    std::string file = pdfFile(pdfObjects({}));
    EXPECT_EQ(
        withDoc(
            file,
            [&](PdfDoc *doc) {
                PdfImgParams p{};
                // A short CMYK lookup: entry 1 is padded with zeros (white); a
                // Mask that is no array answers nothing.
                PdfObj *d = parse(doc, "<< /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace "
                                       "[/Indexed /DeviceCMYK 1 <000000FF>] /Mask 7 >>");
                ASSERT_EQ(Pdf_Img_readParams(doc, d, PdfImg_kindRaw, nullptr, 0, &p), 0);
                expectAnswers(&p, {{23, 4, 3}, {24, 4, 1}, {25, 6, 0}, {16, -1, 0}, {5, 0, 0}},
                              "indexed");
                uint8_t pal[6] = {};
                int32_t size = 0;
                EXPECT_EQ(Pdf_Img_queryAttribute(&p, 25, pal, &size), 0);
                EXPECT_EQ(std::vector<uint8_t>(pal, pal + 6),
                          (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
                Pdf_Img_freeParams(&p);
                Pdf_Obj_release(doc, d);
                // RGB Decode: even-indexed values make the first colour.
                d = parse(doc, "<< /Width 1 /Height 1 /ColorSpace /DeviceRGB /Decode [1 0 0 1 0 1] "
                               "/Mask [0 10 0 10 0 10] >>");
                ASSERT_EQ(Pdf_Img_readParams(doc, d, PdfImg_kindFlate, nullptr, 0, &p), 0);
                uint32_t colours[2] = {};
                EXPECT_EQ(Pdf_Img_queryAttribute(&p, 15, colours, &size), 0);
                EXPECT_EQ(size, 8);
                EXPECT_EQ(colours[0], 0x0000FFu) << "red";
                EXPECT_EQ(colours[1], 0xFFFF00u) << "cyan";
                expectAnswers(&p, {{14, 24, 0}, {16, 24, 0}, {7, 0, 0}, {5, -1, 0}}, "rgb");
                Pdf_Img_freeParams(&p);
                Pdf_Obj_release(doc, d);
                // An odd Decode count and a Lab space fail their questions.
                d = parse(doc, "<< /Width 1 /Height 1 /ColorSpace [/Lab << >>] /Decode [0 1 0] >>");
                ASSERT_EQ(Pdf_Img_readParams(doc, d, PdfImg_kindRaw, nullptr, 0, &p), 0);
                EXPECT_EQ(Pdf_Img_queryAttribute(&p, 23, nullptr, &size), Res_pdfColourModel);
                Pdf_Img_freeParams(&p);
                Pdf_Obj_release(doc, d);
                d = parse(doc, "<< /Width 1 /Height 1 /ColorSpace /DeviceGray /Decode [0 1 0] >>");
                ASSERT_EQ(Pdf_Img_readParams(doc, d, PdfImg_kindRaw, nullptr, 0, &p), 0);
                EXPECT_EQ(Pdf_Img_queryAttribute(&p, 15, nullptr, &size), Res_pdfSyntax);
                Pdf_Img_freeParams(&p);
                Pdf_Obj_release(doc, d);
                // Without a width the image fails.
                d = parse(doc, "<< /Height 1 >>");
                EXPECT_EQ(Pdf_Img_readParams(doc, d, PdfImg_kindRaw, nullptr, 0, &p), Res_pdfNoInt);
                Pdf_Obj_release(doc, d);
            }),
        0);
}

TEST_F(PdfXObjectTest, FormsRunWithTheirRulesAndTheirErrorsAreWarnings)
{
    struct Case {
        std::string form;
        std::string kinds; // the page's children
        uint32_t warned;   // the warning the document gave
        const char *why;
    };
    const std::string box = "/Type /XObject /Subtype /Form /BBox [0 0 10 10]";
    const std::vector<Case> cases = {
        {xstream(box, "0 0 5 5 re f"), "dddldldl", 0,
         "a form clips to its box (data nodes) and draws"},
        {xstream(box + " /FormType 2", "0 0 5 5 re f"), "dddl", 0, "FormType 2 draws nothing"},
        {xstream("/Type /XObject /Subtype /PS", "showpage"), "dddl", 0, "a PS XObject is skipped"},
        {xstream("/Type /XObject /Subtype /Form", "0 0 5 5 re f"), "dddl", PdfWarn_content,
         "a form without BBox ends the content that drew it"},
        {xstream(box + " /Resources << /XObject << /X 10 0 R >> >>", "0 0 1 1 re f /X Do"), "",
         PdfWarn_xobject, "a form that draws itself stops at the nesting limit; the page goes on"},
    };
    for (const Case &c : cases) {
        std::string file = pages("0 0 50 50 re f /X Do 0 0 1 rg 60 60 10 10 re f", {{"X", c.form}});
        withModel(file, [&](PdfDoc *doc, Edr_Doc *edoc, int result) {
            EXPECT_EQ(result, 0) << c.why << ": what is left out does not fail the document";
            EXPECT_EQ(doc->warned, c.warned) << c.why;
            std::string kinds = children(edoc, 0);
            if (!c.kinds.empty()) {
                EXPECT_EQ(kinds, c.kinds) << c.why;
            }
            // The page goes on after the form: the last square is drawn.
            EXPECT_EQ(kinds.back(), 'l') << c.why << " " << kinds;
        });
    }
}

TEST_F(PdfXObjectTest, AnImageOnThreePagesIsDecodedOnce)
{
    std::string rgb;
    for (int i = 0; i < 4; i++)
        rgb += std::string("\xff\x00\x00", 3);
    std::string file = pages(
        "q 50 0 0 50 10 10 cm /I Do Q",
        {{"I", xstream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB "
                       "/BitsPerComponent 8",
                       rgb)}},
        3);
    withModel(file, [&](PdfDoc *, Edr_Doc *edoc, int result) {
        EXPECT_EQ(result, 0);
        std::vector<ImageObject *> images;
        for (uint32_t page = 0; page < 3; page++) {
            Edr_Node *group = nullptr;
            ASSERT_EQ(Edr_Doc_nthRootChild(edoc, page, &group), 0);
            for (Edr_Node *c = Edr_Node_firstChild(group); c; c = Edr_Node_nextSibling(c))
                if (Edr_Node_type(c) == Edr_NodeType_image) {
                    ImageHandle *h = Edr_Node_imagePayload(c)->image;
                    ImageObject *im = ImageHandle_lockImage(h, 1);
                    images.push_back(im);
                    ImageHandle_unlockImage(h, im, 1);
                }
            Edr_Node_release(edoc, group);
        }
        ASSERT_EQ(images.size(), 3u);
        EXPECT_NE(images[0], nullptr);
        EXPECT_EQ(images[0], images[1]);
        EXPECT_EQ(images[1], images[2]);
    });
}

TEST_F(PdfXObjectTest, AnnotationsDrawTheirAppearancesAndLinksCarryTheirUrls)
{
    std::string file = readPdfFixture("pages/img-annots.pdf");
    withModel(file, [&](PdfDoc *, Edr_Doc *edoc, int result) {
        EXPECT_EQ(result, 0);
        Edr_Node *page = nullptr;
        ASSERT_EQ(Edr_Doc_nthRootChild(edoc, 0, &page), 0);
        std::vector<std::string> urls;
        int drawings = 0;
        for (Edr_Node *c = Edr_Node_firstChild(page); c; c = Edr_Node_nextSibling(c)) {
            drawings += Edr_Node_type(c) == Edr_NodeType_drawList;
            if (Edr_Node_type(c) != Edr_NodeType_group)
                continue;
            Edr_Group *g = Edr_Node_group(c);
            ASSERT_TRUE(g && g->ext && g->ext->url);
            Url *url = Url_unpack(g->ext->url);
            char *text = Url_toUtf8(url, 31);
            urls.push_back(text ? text : "?");
            Mem_free(text);
            Url_free(url);
        }
        Edr_Node_release(edoc, page);
        // The page's own drawing and the two shown appearances (the hidden
        // one and the one without its AS entry draw nothing).
        EXPECT_EQ(drawings, 3);
        ASSERT_EQ(urls.size(), 9u);
        EXPECT_EQ(urls[0], "#page-2");
        // Views: left offset, bottom offset, width and height in 94ths;
        // spaces leave the right and top edges at the page's.
        EXPECT_EQ(urls[1], "#page-2,0  g") << "XYZ 50 150 on a 300 x 200 page";
        EXPECT_EQ(urls[2], "#page-3,  O ") << "FitH on the turned page: a side edge";
        EXPECT_EQ(urls[3], "#page-3,3O<F") << "FitR on the turned page";
        EXPECT_EQ(urls[4], "#page-3,  ~~") << "a name in the Names tree: XYZ at the page's corner";
        EXPECT_EQ(urls[5], "#page-3,    ") << "a name in the Dests dictionary, Fit";
        // Each view maps back to its part of the shown page within 1/94.
        const double K = 65536.0 / 72;
        struct Back {
            size_t link;
            double w, h;    // the shown page, points
            double want[4]; // left, top, right, bottom from the top-left corner, points
        };
        const Back backs[] = {
            {1, 300, 200, {50, 50, 300, 200}},
            // Turned a quarter clockwise: page x runs down, page y across.
            {3, 200, 300, {40, 30, 100, 150}},
        };
        for (const Back &b : backs) {
            const std::string &u = urls[b.link];
            std::u16string view(u.begin() + long(u.find(',')) + 1, u.end());
            ASSERT_EQ(view.size(), 4u);
            const int32_t page[4] = {0, 0, int32_t(b.w * K), int32_t(b.h * K)};
            int32_t got[4];
            Pdf_fragmentApplyView(page, view.c_str(), got);
            for (int i = 0; i < 4; i++) {
                double size = (i % 2 ? b.h : b.w) * K;
                EXPECT_NEAR(got[i], b.want[i] * K, size / 94 + 1) << u << " edge " << i;
            }
        }
        // The missing name is left out; the links after it are made.
        EXPECT_EQ(urls[6], "#page-2") << "GoTo names its page only";
        EXPECT_NE(urls[7].find("other.pdf"), std::string::npos) << urls[7];
        EXPECT_EQ(urls[8], "https://example.org/a");
    });
}

TEST_F(PdfXObjectTest, AnImageWithoutADecoderIsLeftOutAndThePageGoesOn)
{
    for (const char *filter : {"/JPXDecode", "/JBIG2Decode"}) {
        std::string file = pages(
            "q 50 0 0 50 10 10 cm /I Do Q 0 0 1 rg 60 60 10 10 re f",
            {{"I",
              xstream(std::string("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace "
                                  "/DeviceGray /BitsPerComponent 8 /Filter ") +
                          filter,
                      "abcd")}});
        withModel(file, [&](PdfDoc *doc, Edr_Doc *edoc, int result) {
            EXPECT_EQ(result, 0) << filter;
            EXPECT_EQ(doc->warned, PdfWarn_imageFilter) << filter;
            EXPECT_EQ(children(edoc, 0), "dddl") << filter << ": no image, the square drawn";
        });
    }
}

TEST_F(PdfXObjectTest, VisibleLinkBordersComeBeforeTheirAreasAndShareTheirStyles)
{
    std::map<uint32_t, std::string> o = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 100 100] >>"},
        {3, "<< /Type /Page /Parent 2 0 R /Annots [4 0 R 5 0 R 6 0 R 7 0 R] >>"},
        {4, "<< /Subtype /Link /Rect [0 0 10 10] /Border [0 0 2] /C [1 0 0] /Dest [3 0 R /Fit] >>"},
        {5,
         "<< /Subtype /Link /Rect [20 0 30 10] /Border [0 0 2] /C [1.5 0 0] /Dest [3 0 R /Fit] >>"},
        {6, "<< /Subtype /Link /Rect [40 0 50 10] /Dest [3 0 R /Fit] >>"},
        {7, "<< /Subtype /Link /Rect [60 0 70 10] /Border [0 0 0] /Dest [3 0 R /Fit] >>"},
    };
    withModel(pdfFile(o), [&](PdfDoc *, Edr_Doc *edoc, int result) {
        EXPECT_EQ(result, 0);
        Edr_Node *page = nullptr;
        ASSERT_EQ(Edr_Doc_nthRootChild(edoc, 0, &page), 0);
        std::string kinds;
        std::vector<uint32_t> styles;
        for (Edr_Node *c = Edr_Node_firstChild(page); c; c = Edr_Node_nextSibling(c)) {
            if (Edr_Node_type(c) != Edr_NodeType_group)
                continue;
            Edr_Group *g = Edr_Node_group(c);
            kinds += g->ext && g->ext->url ? 'L' : 'B';
            uint32_t style = 0;
            EXPECT_EQ(Edr_Node_getStyle(edoc, c, &style), 0);
            styles.push_back(style);
        }
        Edr_Node_release(edoc, page);
        // Two red 2-point borders (1.5 counts as 1), a black 1-point border
        // by default, and none for width 0.
        EXPECT_EQ(kinds, "BLBLBLL");
        ASSERT_EQ(styles.size(), 7u);
        EXPECT_EQ(styles[0], styles[2]) << "equal borders share a style";
        EXPECT_NE(styles[0], styles[4]) << "the default border looks different";
        EXPECT_EQ(styles[1], styles[3]);
        EXPECT_EQ(styles[1], styles[6]) << "every link area shares one style";
    });
}
