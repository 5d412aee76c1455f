// The page tree, the content interpreter's operator table and graphics
// state, and colour conversion, over committed fixtures and small content
// streams.
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
#include "graphics/clippath.h"
#include "core/style/prop.h"
#include "pdf/colour.h"
#include "pdf/document.h"
#include "pdf/interp.h"
#include "pdf/lexer.h"
#include "pdf/page.h"
#include "pdf/resources/pdfstream.h"
#include "tests/pdf/pdf_fixture.h"

namespace {

class PdfPageTest : public PdfDocFixture {
  protected:
    // Runs content through a fresh interpreter on doc (no document model).
    static int runContent(PdfDoc *doc, const std::string &content)
    {
        PdfPageAttrs attrs{};
        attrs.mediaBox[2] = attrs.cropBox[2] = 200;
        attrs.mediaBox[3] = attrs.cropBox[3] = 100;
        doc->pageAttrs = &attrs;
        ByteStream *s = nullptr;
        PdfLexer *lx = nullptr;
        PdfInterp *in = nullptr;
        int err = Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(content.data()),
                                        content.size(), &s);
        if (!err)
            err = Pdf_Lex_create(&lx, s);
        if (!err)
            err = Pdf_Interp_create(doc, nullptr, &in);
        if (!err)
            err = Pdf_Interp_runContent(doc, in, lx, nullptr, nullptr, nullptr);
        Pdf_Interp_destroy(doc, in);
        Pdf_Lex_destroy(lx);
        if (s)
            (void)ByteStream_close(s);
        Pdf_Res_popAll(doc);
        doc->pageAttrs = nullptr;
        return err;
    }
};

std::string repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

TEST_F(PdfPageTest, TheDescentSkipsByCountAndInheritsAlongThePath)
{
    // Sizes as pdfinfo -box gives them (points), rotation as stored.
    struct Case {
        uint32_t page;
        float crop[4];
        int32_t rotate;
        int32_t width, height; // device units
    };
    const int32_t w300 = int32_t(300 * 65536.0 / 72 + 0.5),
                  h400 = int32_t(400 * 65536.0 / 72 + 0.5);
    const Case cases[] = {
        {1, {0, 0, 300, 400}, 90, h400, w300},
        {2, {0, 0, 300, 400}, 180, w300, h400},
        {3,
         {0, 0, 100, 50},
         0,
         int32_t(100 * 65536.0 / 72 + 0.5),
         int32_t(50 * 65536.0 / 72 + 0.5)},
        // A CropBox empty in one direction falls back to the MediaBox.
        {4,
         {0, 0, 100, 50},
         0,
         int32_t(100 * 65536.0 / 72 + 0.5),
         int32_t(50 * 65536.0 / 72 + 0.5)},
        // Rotate 45 counts as 0.
        {5, {0, 0, 72, 144}, 45, 65536, 131072},
    };
    std::string bytes = readPdfFixture("pages/tree.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              PdfPageAttrs attrs{};
                              doc->pageAttrs = &attrs;
                              PdfObj *page = nullptr;
                              ASSERT_EQ(Pdf_Page_lookup(doc, c.page, &page), 0) << c.page;
                              ASSERT_EQ(Pdf_Page_readAttrs(doc, page), 0);
                              if (Pdf_Box_isEmpty(attrs.cropBox))
                                  Pdf_Box_copy(attrs.cropBox, attrs.mediaBox);
                              for (int i = 0; i < 4; i++)
                                  EXPECT_EQ(attrs.cropBox[i], c.crop[i]) << c.page;
                              EXPECT_EQ(attrs.rotate, c.rotate) << c.page;
                              int32_t w = 0, h = 0;
                              Pdf_Page_size(&attrs, &w, &h);
                              EXPECT_EQ(w, c.width) << c.page;
                              EXPECT_EQ(h, c.height) << c.page;
                              uint32_t index = 0;
                              EXPECT_EQ(Pdf_Page_indexOf(doc, page, &index), 0);
                              EXPECT_EQ(index, c.page);
                              Pdf_Res_popAll(doc);
                              doc->pageAttrs = nullptr;
                          }
                          PdfPageAttrs attrs{};
                          doc->pageAttrs = &attrs;
                          PdfObj *page = nullptr;
                          EXPECT_EQ(Pdf_Page_lookup(doc, 6, &page), Res_pdfPageRange);
                          doc->pageAttrs = nullptr;
                      }),
              0);
}

// The media width and the object number of page `page`, and its number
// back through the Parent chain; "" when the lookup fails, else the error.
std::string lookedUp(PdfDoc *doc, uint32_t page)
{
    PdfPageAttrs attrs{};
    doc->pageAttrs = &attrs;
    PdfObj *dict = nullptr;
    int err = Pdf_Page_lookup(doc, page, &dict);
    std::string out;
    if (err == Res_ok && (err = Pdf_Page_readAttrs(doc, dict)) == Res_ok) {
        int32_t num = -1, gen = -1;
        uint32_t index = 0;
        err = Pdf_Obj_getRefId(doc, dict, &num, &gen);
        if (err == Res_ok && Pdf_Page_indexOf(doc, dict, &index) != Res_ok)
            index = 0;
        out = "w" + std::to_string(int(attrs.mediaBox[2])) + " obj" + std::to_string(num) + " r" +
              std::to_string(attrs.rotate) + " at" + std::to_string(index);
    }
    Pdf_Res_popAll(doc);
    doc->pageAttrs = nullptr;
    return err == Res_ok ? out : "error " + std::to_string(err);
}

TEST_F(PdfPageTest, AFlatListOfThousandsOfPagesIsLookedUpInAnyOrder)
{
    // 3,000 pages in one Kids array, their objects numbered backwards; the
    // root's Rotate is inherited, each page's MediaBox width is its number.
    const uint32_t pages = 3000;
    std::map<uint32_t, std::string> o = {{1, "<< /Type /Catalog /Pages 2 0 R >>"}};
    std::string kids;
    for (uint32_t p = 1; p <= pages; p++) {
        uint32_t number = 3 + pages - p;
        kids += std::to_string(number) + " 0 R ";
        o[number] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(p) + " 50] >>";
    }
    o[2] =
        "<< /Type /Pages /Rotate 90 /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    auto expect = [&](uint32_t p) {
        return "w" + std::to_string(p) + " obj" + std::to_string(3 + pages - p) + " r90 at" +
               std::to_string(p);
    };
    EXPECT_EQ(withDoc(pdfFile(o),
                      [&](PdfDoc *doc) {
                          PdfPageAttrs attrs{};
                          doc->pageAttrs = &attrs;
                          PdfObj *page = nullptr;
                          ASSERT_EQ(Pdf_Page_lookup(doc, 2999, &page), 0);
                          Pdf_Res_popAll(doc);
                          doc->pageAttrs = nullptr;
                          EXPECT_LT(doc->cachedCount, 100u)
                              << "the walk over the list keeps no page it read";
                          for (uint32_t p : {1u, 2999u, 2u, 3000u, 1500u, 2999u, 1u})
                              EXPECT_EQ(lookedUp(doc, p), expect(p)) << p;
                          EXPECT_EQ(lookedUp(doc, pages + 1),
                                    "error " + std::to_string(Res_pdfPageRange));
                      }),
              0);
}

TEST_F(PdfPageTest, ATreeWhoseCountsLieKeepsTheDescentsNumbering)
{
    // Node 3 states 3 pages and holds 2: the descent counts its stated 3
    // when it skips it, and walks on into node 4 when it enters it.
    std::map<uint32_t, std::string> o = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 4 >>"},
        {3, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 3 /Rotate 180 >>"},
        {4, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R] /Count 2 >>"},
    };
    for (uint32_t i = 0; i < 4; i++)
        o[5 + i] = "<< /Type /Page /Parent " + std::string(i < 2 ? "3" : "4") +
                   " 0 R /MediaBox [0 0 " + std::to_string(i + 1) + " 50] >>";
    const std::pair<uint32_t, std::string> cases[] = {
        {2, "w2 obj6 r180 at2"},
        {3, "w3 obj7 r180 at4"}, // node 3's Rotate is read on the way through it
        {4, "w3 obj7 r0 at4"},
        {1, "w1 obj5 r180 at1"},
        {5, "error " + std::to_string(Res_pdfPageRange)},
    };
    EXPECT_EQ(withDoc(pdfFile(o),
                      [&](PdfDoc *doc) {
                          for (const auto &[page, want] : cases)
                              EXPECT_EQ(lookedUp(doc, page), want) << page;
                      }),
              0);
}

TEST_F(PdfPageTest, HostileTreesEndWithAnError)
{
    EXPECT_EQ(withDoc(readPdfFixture("pages/kids-cycle.pdf"),
                      [&](PdfDoc *doc) {
                          PdfPageAttrs attrs{};
                          doc->pageAttrs = &attrs;
                          PdfObj *page = nullptr;
                          EXPECT_EQ(Pdf_Page_lookup(doc, 1, &page), Res_pdfPageNode)
                              << "a Kids cycle";
                          EXPECT_EQ(Pdf_Page_lookup(doc, 2, &page), Res_pdfPageNode)
                              << "a Kids cycle, page 2";
                          Pdf_Res_popAll(doc);
                          doc->pageAttrs = nullptr;
                      }),
              0);
    EXPECT_EQ(withDoc(readPdfFixture("pages/parent-cycle.pdf"),
                      [&](PdfDoc *doc) {
                          uint32_t index = 0;
                          EXPECT_EQ(Pdf_Page_indexOf(doc, object(doc, 3), &index), Res_pdfPageNode)
                              << "a Parent cycle";
                      }),
              0);
}

TEST_F(PdfPageTest, RotatedPagesMapTheCropBoxToTheTopLeft)
{
    // The box's corner that shows at the top left goes to device (0, 0).
    struct Case {
        int32_t rotate;
        float x, y; // user point expected at (0, 0)
    };
    const Case cases[] = {{0, 10, 80},    {90, 10, 20},   {180, 110, 20},
                          {270, 110, 80}, {-90, 110, 80}, {45, 10, 80}};
    for (const Case &c : cases) {
        PdfPageAttrs a{};
        const float crop[4] = {10, 20, 110, 80};
        Pdf_Box_copy(a.cropBox, crop);
        a.rotate = c.rotate;
        float m[6];
        Pdf_Page_matrix(&a, m);
        EXPECT_NEAR(m[0] * c.x + m[2] * c.y + m[4], 0, 0.5) << c.rotate;
        EXPECT_NEAR(m[1] * c.x + m[3] * c.y + m[5], 0, 0.5) << c.rotate;
    }
}

// Boxes may name any two opposite corners, and the crop box shows only
// what lies on the media.
TEST_F(PdfPageTest, BoxesAreOrderedAndTheCropBoxKeptOnTheMedia)
{
    struct Case {
        float box[4], within[4], want[4];
        const char *why;
    } cases[] = {
        {{651, 831, 39, 39}, {0, 0, 1000, 1000}, {39, 39, 651, 831}, "reversed corners"},
        {{39, 831, 651, 39}, {0, 0, 1000, 1000}, {39, 39, 651, 831}, "one axis reversed"},
        {{0, 0, 700, 900}, {39, 39, 651, 831}, {39, 39, 651, 831}, "a crop box past the media"},
        {{100, 100, 200, 200}, {39, 39, 651, 831}, {100, 100, 200, 200}, "inside"},
        {{700, 900, 800, 1000}, {39, 39, 651, 831}, {39, 39, 651, 831}, "off the media: the media"},
    };
    for (const Case &c : cases) {
        float box[4];
        Pdf_Box_copy(box, c.box);
        Pdf_Box_normalise(box);
        Pdf_Box_clip(box, c.within);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(box[i], c.want[i]) << c.why << " " << i;
    }
}

TEST_F(PdfPageTest, TheOperatorTableAcceptsSkipsAndFails)
{
    struct Case {
        std::string content;
        int result;
        const char *why;
    };
    const std::vector<Case> cases = {
        {"", 0, "an empty stream"},
        {repeat("1 ", 100) + "sc", 0, "100 operands"},
        {repeat("1 ", 101) + "sc", Res_pdfOperandsFull, "a 101st operand"},
        {"BT 10 10 m (x) Tj ET", 0, "m inside BT is skipped, and so is Tj"},
        {"0 0 m 1 0 0 scn 1 1 l f", 0, "scn in a path is skipped"},
        {"0 0 m 1 0 0 sc 1 1 l f", 0, "sc in a path is accepted"},
        {"[] 0 d", 0, "d with two operands"},
        {"1 d", Res_pdfOperandsEmpty, "d with one operand"},
        {"[] 0 1 d", Res_pdfOperandsLeft, "d with three operands"},
        {"BX 1 2 add EX 0 0 10 10 re f", 0, "a calculator word is skipped"},
        {"BX foo EX", Res_pdfBadKeyword, "an unknown keyword ends the stream"},
        {"0 0 10 10 re W n Q", Res_pdfNoSavedState, "W n then Q without q"},
        {"q 0 0 10 10 re W n Q", 0, "a clip closed by Q"},
        {"0 0 10 10 re W n 0 0 5 5 re f", 0, "a clip without q"},
        {"Q", Res_pdfNoSavedState, "Q on the bottom level"},
        {"-1 J 0 0 m 5 5 l S", 0, "a negative cap is kept"},
        {"3 J", Res_pdfBadLineCap, "cap 3"},
        {"3 j", Res_pdfBadLineJoin, "join 3"},
        {"(x) w", Res_pdfNotNumber, "a width that is no number"},
        {"1 0 0 1 0 0 cm 0 g 0 0 m 10 0 l 10 10 l h b*", 0, "identity cm, close and paint"},
        {"0.7071 0.7071 -0.7071 0.7071 0 0 cm 0 0 10 10 re f", 0, "re under rotation"},
        {"/GS0 gs", 0, "a missing ExtGState"},
        {"0 0 m 10 10 20 20 30 30 c 1 1 2 2 v 3 3 4 4 y h S", 0, "curves"},
        {"l", 0, "a misplaced l is skipped"},
        {"BI /W 1 /H 1 /BPC 8 /CS /G ID \x01 EI 0 g", 0, "an inline image is stepped over"},
        {repeat("q ", 10000) + "0 0 1 1 re f " + repeat("Q ", 10000), 0, "10,000 nested q"},
    };
    std::string file = pdfFile(pdfObjects({}));
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              EXPECT_EQ(runContent(doc, c.content), c.result) << c.why;
                          }
                      }),
              0);
}

TEST_F(PdfPageTest, ColoursConvertWithClampingAndTruncation)
{
    struct Case {
        uint32_t family, count;
        float c[4];
        uint8_t rgba[4];
    };
    const Case cases[] = {
        {PdfCs_gray, 1, {1.0f}, {255, 255, 255, 255}},
        {PdfCs_gray, 1, {0.999f}, {254, 254, 254, 255}},
        {PdfCs_gray, 1, {1.5f}, {255, 255, 255, 255}},
        {PdfCs_rgb, 3, {-0.5f, 0.5f, 2.0f}, {0, 127, 255, 255}},
        {PdfCs_cmyk, 4, {0.2f, 0.3f, 0.4f, 0.9f}, {0, 0, 0, 255}},
        {PdfCs_cmyk, 4, {0, 0, 0, 0}, {255, 255, 255, 255}},
        {PdfCs_separation, 1, {1.0f}, {128, 128, 128, 128}},
        {PdfCs_pattern, 0, {0}, {128, 128, 128, 128}},
    };
    for (const Case &c : cases) {
        PdfColourSpace cs{};
        cs.family = c.family;
        cs.count = c.count;
        for (int i = 0; i < 4; i++)
            cs.c[i] = c.c[i];
        uint8_t out[4];
        Pdf_Cs_toRgba(&cs, out);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(out[i], c.rgba[i]) << c.family << " byte " << i;
    }
}

TEST_F(PdfPageTest, ColourSpacesParseAndSelfNamingAlternatesFail)
{
    std::string file = pdfFile(pdfObjects({
        {3, "[/Separation /Spot 3 0 R 0]"},
        {4, "[/Indexed /DeviceRGB 255 <00>]"},
        {5, "<< /N 4 /Length 0 >>\nstream\n\nendstream"},
        {6, "[/ICCBased 5 0 R]"},
        {7, "[/Pattern 6 0 R]"},
        {8, "[/Separation /A [/Separation /B [/Separation /C [/Separation /D [/Separation /E "
            "/DeviceRGB 0] 0] 0] 0] 0]"},
        {9, "<< /N 2 /Length 0 >>\nstream\n\nendstream"},
        {10, "[/ICCBased 9 0 R]"},
    }));
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    PdfColourSpace cs{};
                    EXPECT_EQ(Pdf_Cs_parse(doc, object(doc, 3), &cs), Res_pdfSyntax)
                        << "names itself";
                    EXPECT_EQ(Pdf_Cs_parse(doc, object(doc, 8), &cs), Res_pdfSyntax) << "too deep";
                    ASSERT_EQ(Pdf_Cs_parse(doc, object(doc, 4), &cs), 0);
                    EXPECT_EQ(cs.family, uint32_t(PdfCs_indexed));
                    EXPECT_EQ(cs.baseFamily, uint32_t(PdfCs_rgb));
                    EXPECT_EQ(cs.hival, 255u);
                    ASSERT_EQ(Pdf_Cs_parse(doc, object(doc, 6), &cs), 0);
                    EXPECT_EQ(cs.family, uint32_t(PdfCs_cmyk));
                    EXPECT_EQ(cs.count, 4u);
                    ASSERT_EQ(Pdf_Cs_parse(doc, object(doc, 7), &cs), 0);
                    EXPECT_EQ(cs.family, uint32_t(PdfCs_pattern)) << "a Pattern over ICCBased";
                    EXPECT_EQ(cs.baseFamily, uint32_t(PdfCs_cmyk));
                    EXPECT_EQ(Pdf_Cs_parse(doc, object(doc, 10), &cs), Res_pdfSyntax) << "N 2";
                }),
        0);
}

} // namespace

namespace {

// Six pages, each drawing one square of its own shade; page 3 clips.
std::string sixPages()
{
    std::map<uint32_t, std::string> o = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"},
        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R] /Count 6 /MediaBox [0 0 "
            "100 100] >>"},
    };
    for (uint32_t i = 0; i < 6; i++) {
        std::string content = repeat("0 0 1 1 re n ", 40) + (i == 2 ? "q 0 0 50 50 re W n " : "") +
                              "0." + std::to_string(i + 1) + " g 10 10 50 50 re f" +
                              (i == 2 ? " Q" : "");
        o[3 + i] = "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(9 + i) + " 0 R >>";
        o[9 + i] = "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                   "\nendstream";
    }
    return pdfFile(o);
}

// Opens file with a document model (pages on demand as asked), runs body
// and closes.
void withModel(EngineContext *ctx, const std::string &file, bool onDemand,
               const std::function<void(PdfDoc *, Edr_Doc *)> &body)
{
    Edr_Doc *edoc = nullptr;
    ASSERT_EQ(Edr_Doc_create(ctx, &edoc, nullptr), 0);
    if (onDemand) {
        ASSERT_EQ(Edr_Doc_setFlags(edoc, Edr_featurePageOnDemand), 0);
        edoc->pageOnDemand = 1;
    }
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                             Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
              0);
    PdfDoc *doc = nullptr;
    ASSERT_EQ(Pdf_openDocument(ctx, &doc, h, edoc, 0), 0);
    body(doc, edoc);
    Pdf_closeDocument(doc, edoc);
    Edr_Doc_release(edoc);
}

// The kinds of the children of root child index: 'd' data, 'c' clip start,
// 'e' clip end, 'l' drawing list, '?' anything else.
std::string pageChildren(Edr_Doc *edoc, uint32_t index, uint32_t *flags = nullptr)
{
    Edr_Node *page = nullptr;
    if (Edr_Doc_nthRootChild(edoc, index, &page) != Res_ok || !page)
        return "none";
    if (flags)
        *flags = page->flags;
    std::string kinds;
    for (Edr_Node *c = Edr_Node_firstChild(page); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_drawList) {
            kinds += 'l';
        } else if (Edr_Node_type(c) == Edr_NodeType_data) {
            const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(c));
            kinds += ClipPath_fromValue(p, nullptr) ? 'c' : ClipPath_isEnd(p) ? 'e' : 'd';
        } else {
            kinds += '?';
        }
    }
    Edr_Node_release(edoc, page);
    return kinds;
}

} // namespace

TEST_F(PdfPageTest, AStopEndsTranslationWith48)
{
    std::string file = sixPages();
    run([&] {
        withModel(ctx(), file, false, [&](PdfDoc *doc, Edr_Doc *edoc) {
            Edr_Doc_setStopFlag(edoc);
            EXPECT_EQ(Pdf_translateDocument(doc), Res_stopRequested);
            EXPECT_EQ(doc->currentPage, 1u) << "no page after the stopped one";
        });
    });
}

TEST_F(PdfPageTest, PagesOnDemandArePlaceholdersUntilAsked)
{
    std::string file = sixPages();
    run([&] {
        withModel(ctx(), file, true, [&](PdfDoc *doc, Edr_Doc *edoc) {
            ASSERT_EQ(Pdf_translateDocument(doc), 0);
            uint32_t flags = 0;
            EXPECT_EQ(pageChildren(edoc, 0), "dddl") << "page 1 is translated at once";
            for (uint32_t i = 1; i < 6; i++) {
                EXPECT_EQ(pageChildren(edoc, i, &flags), "") << i;
                EXPECT_TRUE(flags & Edr_Node_selectedBit) << "placeholder " << i << " is marked";
            }
            Pdf_Doc_flushCache(doc, edoc, 0);
            ASSERT_EQ(Pdf_pageTranslate(doc, 5), 0);
            EXPECT_EQ(pageChildren(edoc, 4), "dddl");
            EXPECT_EQ(pageChildren(edoc, 3), "") << "page 4 stays a placeholder";
            Pdf_Doc_flushCache(doc, edoc, 1);
            ASSERT_EQ(Pdf_pageTranslate(doc, 3), 0);
            EXPECT_EQ(pageChildren(edoc, 2), "dddcle")
                << "the clip ends after the drawing inside it";
        });
    });
}
