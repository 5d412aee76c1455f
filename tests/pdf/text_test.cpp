// PDF text: BaseFont names and styles, base encodings and Differences,
// string decoding, font selection, and the text operators' output into a
// document model. Without a font engine every font list is the box
// font's, whose glyphs all advance 12744/16384 em, so positions are known
// exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/style/prop.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "fonts/glyphrun.h"
#include "pdf/font.h"
#include "pdf/interp.h"
#include "pdf/lexer.h"
#include "pdf/page.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "tests/pdf/pdf_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

constexpr double kBoxEm = 12744.0 / 16384.0; // the box font's advance
constexpr double kDevicePerPoint = 65536.0 / 72.0;

// ------------------------------------------------------- BaseFont names

using PdfFontNames = LeakCheckedHeapTest<>;
using PdfEncodings = LeakCheckedHeapTest<>;

TEST_F(PdfFontNames, BaseFontNamesGiveFamiliesAndStyles)
{
    struct Case {
        const char *baseFont;
        const char *names;
        uint32_t flags, weight, variant, style;
    } cases[] = {
        {"ABCDEF+Helvetica-BoldOblique", "Helvetica-BoldOblique,Helvetica", 0x1206, 28, 103, 105},
        {"Times-SemiBold", "Times-SemiBold,Times", 0x1005, 27, 103, 103},
        {"Arial-BoldMT", "Arial-BoldMT,Arial", 0x1006, 28, 103, 103},
        {"Arial,BoldItalic", "Arial", 0x1106, 28, 103, 79},
        // Families the engine knows by another name add the engine's
        // family of their kind; style suffixes say nothing of the family.
        {"Garamond", "Garamond,Times", 0x1003, 25, 103, 103},
        {"TimesNewRomanPSMT", "TimesNewRomanPSMT,Times", 0x1003, 25, 103, 103},
        {"TimesNewRomanPS-BoldItalicMT", "TimesNewRomanPS-BoldItalicMT,Times", 0x1106, 28, 103, 79},
        {"CourierNewPSMT", "CourierNewPSMT,Courier", 0x1003, 25, 103, 103},
        {"Georgia,Bold", "Georgia,Times", 0x1006, 28, 103, 103},
        {"ABCDEF+Verdana-Italic", "Verdana-Italic,Helvetica", 0x1103, 25, 103, 79},
        {"Courier-Bold", "Courier-Bold,Courier", 0x1006, 28, 103, 103},
        {"X", "Times", 0x1003, 25, 103, 103},
        {"ABC+", "Times", 0x1003, 25, 103, 103},
        {"Foo-Black", "Foo-Black,Foo", 0x1008, 30, 103, 103},
        {"Foo-Heavy", "Foo-Heavy,Foo", 0x1007, 29, 103, 103},
        {"Foo-Demi", "Foo-Demi,Foo", 0x1005, 27, 103, 103},
        {"Foo-Medium", "Foo-Medium,Foo", 0x1004, 26, 103, 103},
        {"Foo-Light", "Foo-Light,Foo", 0x1001, 23, 103, 103},
        {"Foo-RegularSC", "Foo-RegularSC,Foo", 0x1033, 25, 127, 103},
        {"Foo-Slanted", "Foo-Slanted,Foo", 0x1203, 25, 103, 105},
        // A word that starts inside a partial match is found.
        {"Foo-BBold", "Foo-BBold,Foo", 0x1006, 28, 103, 103},
        // The longer words are tested before "Extra" and "Ultra".
        {"Foo-ExtraBold", "Foo-ExtraBold,Foo", 0x1007, 29, 103, 103},
        {"Foo-UltraBold", "Foo-UltraBold,Foo", 0x1007, 29, 103, 103},
        {"Foo-ExtraLight", "Foo-ExtraLight,Foo", 0x1001, 23, 103, 103},
        {"Foo-UltraLight", "Foo-UltraLight,Foo", 0x1001, 23, 103, 103},
        {"Foo-Extra", "Foo-Extra,Foo", 0x1008, 30, 103, 103},
    };
    for (const Case &c : cases) {
        PdfFontSel sel{};
        sel.styleFlags = PdfFont_styleInitial;
        PdfNativeFont native{};
        ASSERT_EQ(Pdf_Font_nameFromBaseFont(c.baseFont, &sel, &native), 0) << c.baseFont;
        EXPECT_STREQ(sel.names, c.names) << c.baseFont;
        EXPECT_EQ(sel.styleFlags, c.flags) << c.baseFont;
        EXPECT_EQ(sel.weight, c.weight) << c.baseFont;
        EXPECT_EQ(sel.variant, c.variant) << c.baseFont;
        EXPECT_EQ(sel.style, c.style) << c.baseFont;
        EXPECT_EQ(native.styleFlags, c.flags) << c.baseFont;
        Mem_free(sel.names);
    }
    // No BaseFont: Times-Roman, the style left as it was.
    PdfFontSel sel{};
    sel.styleFlags = PdfFont_styleInitial;
    ASSERT_EQ(Pdf_Font_nameFromBaseFont(nullptr, &sel, nullptr), 0);
    EXPECT_STREQ(sel.names, "Times-Roman");
    EXPECT_EQ(sel.styleFlags, 4099u);
    Mem_free(sel.names);
}

TEST_F(PdfFontNames, DescriptorFlagsChooseTheSubstituteOfNamesThatSayNothing)
{
    struct Case {
        const char *baseFont;
        uint32_t generic; // what the descriptor's flags gave
        const char *names;
        uint32_t flags, style;
    } cases[] = {
        {"F12", PdfFont_genericFixed, "F12,Courier", 0x1003, 103},
        {"F12", PdfFont_genericSerif | PdfFont_flagItalic, "F12,Times", 0x1103, 79},
        {"F12", PdfFont_genericNone | PdfFont_flagBold, "F12", 0x1006, 103},
        {"Foo-Bold", PdfFont_genericSerif, "Foo-Bold,Times", 0x1006, 103},
        // A name that says its kind wins over the flags.
        {"Arial", PdfFont_genericSerif, "Arial", 0x1003, 103},
        {"CourierNewPSMT", PdfFont_genericSerif, "CourierNewPSMT,Courier", 0x1003, 103},
    };
    for (const Case &c : cases) {
        PdfFontSel sel{};
        sel.styleFlags = PdfFont_styleInitial;
        PdfNativeFont native{};
        native.generic = c.generic;
        ASSERT_EQ(Pdf_Font_nameFromBaseFont(c.baseFont, &sel, &native), 0) << c.baseFont;
        EXPECT_STREQ(sel.names, c.names) << c.baseFont << " " << c.generic;
        EXPECT_EQ(sel.styleFlags, c.flags) << c.baseFont << " " << c.generic;
        EXPECT_EQ(sel.style, c.style) << c.baseFont << " " << c.generic;
        Mem_free(sel.names);
    }
}

// ---------------------------------------------------------- base encodings

TEST_F(PdfEncodings, BaseTablesGiveTheirCharacters)
{
    struct Case {
        uint32_t kind, code;
        uint16_t value;
    } cases[] = {
        {PdfEnc_winAnsi, 0x80, 0x20AC},      {PdfEnc_winAnsi, 0x81, 0x81},
        {PdfEnc_winAnsi, 0x7F, 0x7F},        {PdfEnc_winAnsi, 0xE9, 0xE9},
        {PdfEnc_standard, 0x27, 0x2019},     {PdfEnc_standard, 0xE1, 0xC6},
        {PdfEnc_standard, 0x80, 0x80},       {PdfEnc_macRoman, 0x8E, 0xE9},
        {PdfEnc_macRoman, 0xA5, 0x2022},     {PdfEnc_symbol, 0x20, 0xA0},
        {PdfEnc_symbol, 0x61, 0x3B1},        {PdfEnc_symbol, 0x80, 0},
        {PdfEnc_zapfDingbats, 0x20, 0x20},   {PdfEnc_zapfDingbats, 0x33, 0x2713},
        {PdfEnc_zapfDingbats, 0x80, 0xF8D7}, {PdfEnc_zapfDingbats, 0x8D, 0xF8E4},
        {PdfEnc_program, 0x41, 0x41},        {PdfEnc_none, 0x41, 0},
        {PdfEnc_unsupported, 0x41, 0},
    };
    for (const Case &c : cases) {
        PdfNativeFont native{};
        native.encoding = c.kind;
        EXPECT_EQ(Pdf_Font_codeToUnicode(&native, c.code), c.value) << c.kind << " " << c.code;
    }
    // Symbol's private values for glyphs without a standard character.
    PdfNativeFont symbol{};
    symbol.encoding = PdfEnc_symbol;
    for (uint32_t c = 0; c < 256; c++) {
        uint16_t u = Pdf_Font_codeToUnicode(&symbol, c);
        if (u >= 0xE000 && u < 0xF900) {
            EXPECT_TRUE((u >= 0xF6D9 && u <= 0xF6DB) || (u >= 0xF8E5 && u <= 0xF8FE))
                << c << " " << u;
        }
    }
}

TEST_F(PdfEncodings, SymbolicNamesKeepTheirBuiltInEncodingsUnderPrefixesAndSuffixes)
{
    struct Case {
        const char *name;
        bool symbolic;
        uint32_t kind;
    } cases[] = {
        {"Symbol", true, PdfEnc_symbol},
        {"ABCDEF+SymbolMT", true, PdfEnc_symbol},
        {"Symbol,Bold", true, PdfEnc_symbol},
        {"Symbol-Italic", true, PdfEnc_symbol},
        {"ZapfDingbats", true, PdfEnc_zapfDingbats},
        {"ZapfDingbatsITC", true, PdfEnc_zapfDingbats},
        {"SymbolicSans", false, 0},
        {"Times-Roman", false, 0},
    };
    for (const Case &c : cases) {
        uint32_t kind = 0;
        EXPECT_EQ(Pdf_Font_isSymbolicName(c.name, &kind), c.symbolic) << c.name;
        EXPECT_EQ(kind, c.kind) << c.name;
    }
}

TEST_F(PdfEncodings, SimpleFontStringsDecodeByTheirWholeLength)
{
    PdfNativeFont native{};
    native.encoding = PdfEnc_winAnsi;
    PdfFontSel sel{};
    sel.native = &native;
    struct Case {
        uint32_t kind;
        std::string bytes;
        std::u16string want;
    } cases[] = {
        {PdfEnc_winAnsi, std::string("A\0B", 3), u"A\uFFFDB"},
        {PdfEnc_winAnsi, "\x80\x81", u"\u20AC\u0081"},
        {PdfEnc_symbol, "a\x80", u"\u03B1\uFFFD"},
        {PdfEnc_program, std::string("\0\x41", 2), std::u16string(u"\uFFFDA")},
        {PdfEnc_unsupported, "abc", u"?"},
    };
    for (const Case &c : cases) {
        native.encoding = c.kind;
        char16_t *out = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Pdf_Font_decodeString(nullptr, &sel,
                                        reinterpret_cast<const uint8_t *>(c.bytes.data()),
                                        c.bytes.size(), &out, &n),
                  0);
        EXPECT_EQ(std::u16string(out, n), c.want) << c.kind;
        EXPECT_EQ(out[n], 0);
        Mem_free(out);
    }
}

// ------------------------------------------------------------------ hooks

using PdfCodeHooks = LeakCheckedHeapTest<>;

TEST_F(PdfCodeHooks, HooksRewriteCodesThroughTheirTables)
{
    // A simple font's ToUnicode pairs are keyed by the decoded units.
    std::vector<uint16_t> toUnicode(65536, 0);
    toUnicode[0x41] = 0x3B1; // the document says code 65 is alpha
    toUnicode[0x80] = 0x20AC;
    PdfNativeFont native{};
    native.encoding = PdfEnc_winAnsi;
    PdfCodePairs *pairs = nullptr;
    ASSERT_EQ(Pdf_Font_simpleToUnicodePairs(&native, toUnicode.data(), &pairs), 0);
    ASSERT_EQ(pairs->count, 256u);
    for (uint32_t i = 1; i < pairs->count; i++)
        EXPECT_LE(pairs->pairs[i - 1] >> 16, pairs->pairs[i] >> 16);
    uint16_t run[] = {u'A', 0x20AC, 0x81, 0x1234};
    Pdf_Font_hookBySortedPairs(pairs, run, 4);
    EXPECT_EQ(std::vector<uint16_t>(run, run + 4),
              (std::vector<uint16_t>{0x3B1, 0x20AC, 0, 0x1234}));
    Pdf_Font_freeCodePairs(pairs);

    // A composite font's pairs: unmapped codes become spaces.
    const uint16_t fontCodes[] = {5, 0, 3};
    std::vector<uint16_t> cmap(65536, 0);
    cmap[2] = u'C'; // CID 3
    cmap[4] = u'E'; // CID 5
    ASSERT_EQ(Pdf_Font_compositeCodePairs(fontCodes, 3, cmap.data(), &pairs), 0);
    uint16_t cids[] = {3, 5, 0, 9};
    Pdf_Font_hookByCountedPairs(pairs, cids, 4);
    EXPECT_EQ(std::vector<uint16_t>(cids, cids + 4), (std::vector<uint16_t>{u'C', u'E', 0, 32}));
    Pdf_Font_freeCodePairs(pairs);
    ASSERT_EQ(Pdf_Font_compositeCodePairs(fontCodes, 3, nullptr, &pairs), 0);
    EXPECT_EQ(pairs, nullptr);

    uint16_t byCMap[] = {3, 5};
    Pdf_Font_hookByCMap(cmap.data(), byCMap, 2);
    EXPECT_EQ(byCMap[0], u'C');
    EXPECT_EQ(byCMap[1], u'E');
}

// ------------------------------------------- documents: fonts and output

// One output node of a page: a property or a run of a text blob.
struct Out {
    bool run;
    bool drawing;   // a drawing-list node
    uint32_t id;    // property id
    uint32_t type;  // property type
    uintptr_t word; // property payload
    uint32_t word2;
    double x, y; // run position in points, y down from the top
    std::u16string text;
    std::u16string reads; // runs: what the run reads as
    int32_t matrix[6];    // a transform's words
    int32_t charSpacing, wordSpacing;
    uint32_t blob; // the blob's number in page order
};

class PdfTextTest : public PdfDocFixture {
  protected:
    void SetUp() override
    {
        PdfDocFixture::SetUp();
        ASSERT_EQ(Edr_App_init(ctx(), 0), 0);
    }
    void TearDown() override
    {
        run([this] { Edr_App_fini(ctx()); });
        PdfDocFixture::TearDown();
    }

    // A file whose object 3 is the resource dictionary and 10, 11, ... the
    // given font dictionaries, named F1, F2, ...; more objects from 20.
    static std::string fontFile(const std::vector<std::string> &fonts,
                                std::map<uint32_t, std::string> more = {},
                                const std::string &resources = "")
    {
        std::string list;
        std::map<uint32_t, std::string> extra = std::move(more);
        for (size_t i = 0; i < fonts.size(); i++) {
            list += " /F" + std::to_string(i + 1) + " " + std::to_string(10 + i) + " 0 R";
            extra[uint32_t(10 + i)] = fonts[i];
        }
        extra[3] = "<< /Font <<" + list + " >> " + resources + " >>";
        return pdfFile(pdfObjects(extra));
    }

    // Runs content on a 200 x 100 page of doc with resources object 3
    // into a fresh document model; *out the page's output. The result.
    int runPage(PdfDoc *doc, const std::string &content, std::vector<Out> *out)
    {
        out->clear();
        Edr_Doc *edr = nullptr;
        Edr_Node *root = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &edr, &root), 0);
        doc->edrDoc = edr;
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
            err = Pdf_Interp_create(doc, root, &in);
        if (!err)
            err = Pdf_Interp_runContent(doc, in, lx, nullptr, nullptr, object(doc, 3));
        Pdf_Interp_destroy(doc, in);
        Pdf_Lex_destroy(lx);
        if (s)
            (void)ByteStream_close(s);
        Pdf_Res_popAll(doc);
        doc->pageAttrs = nullptr;
        uint32_t blobs = 0;
        for (Edr_Node *n = Edr_Node_firstChild(root); n; n = Edr_Node_nextSibling(n)) {
            if (Edr_Node_type(n) == Edr_NodeType_data) {
                const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(n));
                Out o{};
                o.id = p->id;
                o.type = p->type;
                o.word = p->payload;
                o.word2 = p->payload2;
                if (p->type == PropType_ustr)
                    o.text.assign(reinterpret_cast<const char16_t *>(p->payload), p->payload2);
                if (p->type == PropType_matrix)
                    std::memcpy(o.matrix, reinterpret_cast<const void *>(p->payload),
                                sizeof o.matrix);
                out->push_back(o);
            } else if (Edr_Node_type(n) == Edr_NodeType_drawList) {
                Out o{};
                o.drawing = true;
                out->push_back(o);
            } else if (Edr_Node_type(n) == Edr_NodeType_blob) {
                const Edr_BlobNode *b =
                    static_cast<const Edr_BlobNode *>(Edr_Node_payloadOrNull(n));
                GlyphRunReader r;
                GlyphRun_readerInit(&r, reinterpret_cast<const uint8_t *>(b + 1), b->length);
                blobs++;
                while (GlyphRun_next(&r) == 0 && r.run) {
                    Out o{};
                    o.run = true;
                    o.x = r.x / kDevicePerPoint;
                    o.y = -r.y / kDevicePerPoint;
                    o.text.assign(r.run, r.runLength);
                    o.reads.assign(r.text, r.textLength);
                    o.charSpacing = r.charSpacing;
                    o.wordSpacing = r.wordSpacing;
                    o.blob = blobs;
                    out->push_back(o);
                }
                GlyphRun_readerFree(&r);
            }
        }
        Pdf_DrawListTable_clear(doc); // its nodes belong to this document model
        doc->edrDoc = nullptr;
        Edr_Doc_release(edr);
        return err;
    }

    static std::vector<Out> runs(const std::vector<Out> &out)
    {
        std::vector<Out> r;
        for (const Out &o : out)
            if (o.run)
                r.push_back(o);
        return r;
    }
    static size_t countProps(const std::vector<Out> &out, uint32_t id)
    {
        size_t n = 0;
        for (const Out &o : out)
            n += !o.run && !o.drawing && o.id == id;
        return n;
    }
};

const std::string kHelvetica =
    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

TEST_F(PdfTextTest, TextRunsCarryPositionsAndPropertiesOnce)
{
    std::string file = fontFile({kHelvetica});
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    std::vector<Out> out;
                    ASSERT_EQ(runPage(doc, "BT /F1 10 Tf 20 30 Td (AB) Tj (C) Tj ET", &out), 0);
                    std::vector<Out> r = runs(out);
                    ASSERT_EQ(r.size(), 2u);
                    EXPECT_EQ(r[0].text, u"AB");
                    EXPECT_EQ(r[1].text, u"C");
                    EXPECT_NEAR(r[0].x, 20, 0.01);
                    EXPECT_NEAR(r[0].y, 70, 0.01); // y from the top: text positions are negated
                    EXPECT_NEAR(r[1].x, 20 + 2 * 10 * kBoxEm, 0.01);
                    EXPECT_EQ(r[0].blob, r[1].blob);
                    // Colour, size and font once, in this order, before the runs.
                    EXPECT_EQ(countProps(out, 29), 1u);
                    EXPECT_EQ(countProps(out, 38), 1u);
                    EXPECT_EQ(countProps(out, 37), 1u);
                    EXPECT_EQ(countProps(out, 134), 0u);
                    for (const Out &o : out) {
                        if (!o.run && o.id == 37) {
                            EXPECT_EQ(o.text, u"Helvetica");
                        } else if (!o.run && o.id == 38) {
                            EXPECT_EQ(int32_t(o.word), int32_t(10 * 65536 / 72)); // device units
                        }
                    }
                }),
        0);
}

TEST_F(PdfTextTest, ShowingAdvancesByWidthsAdjustmentsAndScaling)
{
    std::string file = fontFile({kHelvetica});
    const double a = 10 * kBoxEm; // one glyph at 10 points
    struct Case {
        const char *content;
        std::vector<double> xs; // run positions
        const char *why;
    } cases[] = {
        {"BT /F1 10 Tf [(A) -500 (B)] TJ ET",
         {0, a + 5},
         "the number after a string adjusts it once"},
        {"BT /F1 10 Tf [-1000 (A)] TJ ET", {10}, "a number alone moves by size x Th"},
        {"BT /F1 10 Tf [(A) 1000] TJ (B) Tj ET", {0, a - 10}, "a positive adjustment moves back"},
        {"BT /F1 10 Tf 50 Tz (A) Tj (B) Tj ET", {0, a / 2}, "Tz 50 halves the advance"},
        {"BT /F1 10 Tf (A) Tj 3 Tr (B) Tj 0 Tr (C) Tj ET",
         {0, a, 2 * a},
         "invisible text advances and keeps its run for its text"},
        {"BT /F1 10 Tf 2 Tc (AB) Tj (C) Tj ET", {0, 2 * a + 4}, "Tc after every glyph"},
        {"BT /F1 10 Tf 3 Tw (A B) Tj (C) Tj ET", {0, 3 * a + 3}, "Tw after a space"},
        {"BT /F1 10 Tf 2 0 0 2 10 0 Tm (A) Tj (B) Tj ET",
         {10, 10 + 2 * a},
         "the text matrix scales advances"},
        {"BT /F1 10 Tf () Tj (A) Tj ET", {0}, "an empty string shows nothing"},
    };
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              std::vector<Out> out;
                              ASSERT_EQ(runPage(doc, c.content, &out), 0) << c.why;
                              std::vector<Out> r = runs(out);
                              ASSERT_EQ(r.size(), c.xs.size()) << c.why;
                              for (size_t i = 0; i < r.size(); i++)
                                  EXPECT_NEAR(r[i].x, c.xs[i], 0.02) << c.why << " run " << i;
                          }
                      }),
              0);
}

TEST_F(PdfTextTest, LinesRiseAndTheDoubleQuoteOperator)
{
    std::string file = fontFile({kHelvetica});
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    std::vector<Out> out;
                    ASSERT_EQ(
                        runPage(doc,
                                "BT /F1 10 Tf 12 TL 10 80 Td (A) Tj T* (B) Tj 5 -20 TD (C) Tj "
                                "(D) ' 5 Ts (E) Tj ET",
                                &out),
                        0);
                    std::vector<Out> r = runs(out);
                    ASSERT_EQ(r.size(), 5u);
                    EXPECT_NEAR(r[1].y, 100 - 68, 0.02); // T* by TL
                    EXPECT_NEAR(r[2].x, 15, 0.02);       // TD from the line start
                    EXPECT_NEAR(r[2].y, 100 - 48, 0.02);
                    EXPECT_NEAR(r[3].y, 100 - 28, 0.02);     // TD set TL to 20
                    EXPECT_NEAR(r[4].y, 100 - 28 - 5, 0.02); // the rise lifts
                    // " sets Tw and Tc, then moves to the next line.
                    ASSERT_EQ(runPage(doc, "BT /F1 10 Tf 10 TL 0 50 Td 1 2 (AB) \" ET", &out), 0);
                    r = runs(out);
                    ASSERT_EQ(r.size(), 1u);
                    EXPECT_NEAR(r[0].y, 60, 0.02);
                    EXPECT_EQ(r[0].wordSpacing, int32_t(1 * 65536 / 72.0f));
                    EXPECT_EQ(r[0].charSpacing, int32_t(2 * 65536 / 72.0f));
                }),
        0);
}

TEST_F(PdfTextTest, TransformsFontSwitchesAndErrors)
{
    std::string file =
        fontFile({kHelvetica, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"});
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    std::vector<Out> out;
                    // Rotated text carries a transform with the size in it.
                    ASSERT_EQ(runPage(doc, "BT /F1 10 Tf 0 1 -1 0 50 50 Tm (A) Tj ET", &out), 0);
                    ASSERT_EQ(countProps(out, 134), 1u);
                    for (const Out &o : out) {
                        if (!o.run && o.id == 134) {
                            const int32_t *m = o.matrix;
                            EXPECT_EQ(m[0], 0);
                            EXPECT_EQ(m[1], int32_t(10 * 65536.0f / 72));
                            EXPECT_EQ(m[2], -int32_t(10 * 65536.0f / 72));
                            EXPECT_EQ(m[3], 0);
                        } else if (!o.run && o.id == 38) {
                            EXPECT_EQ(o.word, 65536u);
                        }
                    }
                    // Switching fonts emits a name at every switch, a
                    // style word only when it changes.
                    ASSERT_EQ(
                        runPage(doc,
                                "BT /F1 10 Tf (A) Tj /F2 10 Tf (B) Tj /F3 10 Tf (C) Tj /F1 10 Tf "
                                "(D) Tj ET",
                                &out),
                        0);
                    EXPECT_EQ(countProps(out, 37), 4u);
                    EXPECT_EQ(countProps(out, 43), 2u); // bold on, bold off
                    EXPECT_EQ(runs(out).size(), 4u);
                    struct Bad {
                        const char *content;
                        int result;
                    } bad[] = {
                        {"BT /F9 10 Tf ET", Res_pdfSyntax},
                        {"BT /F1 10 Tf [(A) /N (B)] TJ ET", Res_pdfBadTextArray},
                        // Two operands: nothing is reordered and the pops fail.
                        {"BT /F1 10 Tf 1 (A) \" ET", Res_pdfOperandsLeft},
                        {"BT /F1 10 Tf (A) (B) Tj ET", Res_pdfOperandsLeft},
                    };
                    for (const Bad &b : bad)
                        EXPECT_EQ(runPage(doc, b.content, &out), b.result) << b.content;
                    // A TJ error ends the array: what came before it shows.
                    (void)runPage(doc, "BT /F1 10 Tf [(A) /N (B)] TJ ET", &out);
                    EXPECT_EQ(runs(out).size(), 1u);
                }),
        0);
}

// What runs read as, in order of authority: the font's ToUnicode map, the
// names of its encoding, its character collection, and last a private use
// character; the codes that draw stay as the encoding gives them.
TEST_F(PdfTextTest, RunsReadAsTheirFontsMapsThenNamesThenPrivateCharacters)
{
    const std::string map = "/CIDInit /ProcSet findresource begin begincmap\n"
                            "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
                            "2 beginbfchar <0041> <0058> <0007> <006600660069> endbfchar\n"
                            "1 beginbfrange <0010> <0012> <0061> endbfrange endcmap end\n";
    const std::string simpleMap = "begincmap 1 beginbfchar <41> <0058> endbfchar endcmap";
    std::string file = fontFile(
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
         "/ToUnicode 20 0 R >>",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [1 "
         "/uni0416 /Zhecyrillic "
         "/g7] >> >>",
         "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-H /DescendantFonts [21 "
         "0 R] "
         "/ToUnicode 22 0 R >>",
         "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-H /DescendantFonts [21 "
         "0 R] >>"},
        {{20, "<< /Length " + std::to_string(simpleMap.size()) + " >>\nstream\n" + simpleMap +
                  "\nendstream"},
         {21, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDSystemInfo << /Registry "
              "(Adobe) "
              "/Ordering (Identity) /Supplement 0 >> >>"},
         {22, "<< /Length " + std::to_string(map.size()) + " >>\nstream\n" + map + "\nendstream"}});
    struct Case {
        const char *content;
        std::u16string codes, reads;
        const char *why;
    } cases[] = {
        {"BT /F1 10 Tf (AB) Tj ET", u"XB", u"XB",
         "a substitute draws what the map says, the rest by encoding"},
        {"BT /F2 10 Tf <010203> Tj ET", u"\u0416\u0416\u0003", u"\u0416\u0416\ue003",
         "a name that spells its character counts; one that says nothing reads as a private "
         "character"},
        {"BT /F3 10 Tf <0041000700110005> Tj ET", u"", u"Xffib\ue005",
         "codes of a composite font: single, ligature, range, then private"},
        {"BT /F4 10 Tf <0041> Tj ET", u"", u"\ue041", "no map, no collection, no program"},
    };
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              std::vector<Out> out;
                              ASSERT_EQ(runPage(doc, c.content, &out), 0) << c.why;
                              std::vector<Out> r = runs(out);
                              ASSERT_EQ(r.size(), 1u) << c.why;
                              if (!c.codes.empty()) {
                                  EXPECT_EQ(r[0].text, c.codes) << c.why;
                              }
                              EXPECT_EQ(r[0].reads, c.reads) << c.why;
                          }
                      }),
              0);
}

TEST_F(PdfTextTest, TextAndPathsKeepThePaintingOrder)
{
    std::string file = fontFile({kHelvetica});
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    std::vector<Out> out;
                    ASSERT_EQ(
                        runPage(doc,
                                "BT /F1 10 Tf (A) Tj ET 0 0 10 10 re f BT (B) Tj ET 5 5 m 9 9 l S",
                                &out),
                        0);
                    std::string order;
                    for (const Out &o : out)
                        if (o.run || o.drawing)
                            order += o.run ? char(o.text[0]) : '#';
                    // A path painted after text lies above it.
                    EXPECT_EQ(order, "A#B#");
                }),
        0);
}

TEST_F(PdfTextTest, FontsFollowTheGraphicsStateLevels)
{
    std::string file =
        fontFile({kHelvetica, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}, {},
                 "/ExtGState << /G1 << /Font [11 0 R 12] >> /G2 << /Font [11 0 R] >> >>");
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    std::vector<Out> out;
                    // A font set inside q is released at Q; the level
                    // below keeps its own.
                    ASSERT_EQ(
                        runPage(doc,
                                "/F1 10 Tf q BT /F2 8 Tf (A) Tj ET Q BT (B) Tj ET q BT (C) Tj ET Q "
                                "BT /G1 gs (D) Tj ET",
                                &out),
                        0);
                    std::vector<std::u16string> names;
                    std::vector<int32_t> sizes;
                    for (const Out &o : out) {
                        if (!o.run && o.id == 37)
                            names.push_back(o.text);
                        if (!o.run && o.id == 38)
                            sizes.push_back(int32_t(o.word));
                    }
                    EXPECT_EQ(names,
                              (std::vector<std::u16string>{u"Courier", u"Helvetica", u"Courier"}));
                    EXPECT_EQ(sizes, (std::vector<int32_t>{int32_t(8 * 65536 / 72),
                                                           int32_t(10 * 65536 / 72),
                                                           int32_t(12 * 65536 / 72)}));
                    EXPECT_EQ(runs(out).size(), 4u);
                    // Text without any font still shows and advances.
                    ASSERT_EQ(runPage(doc, "BT (AB) Tj (C) Tj ET", &out), 0);
                    EXPECT_EQ(runs(out).size(), 2u);
                    EXPECT_EQ(runPage(doc, "/G2 gs", &out), Res_pdfNoNumber);
                }),
        0);
}

TEST_F(PdfTextTest, FontsAreSelectedOnceAndEncodingsBuilt)
{
    const std::string toUnicode =
        "begincmap\n2 beginbfchar <01> <0054> <41> <0042> endbfchar\nendcmap\n";
    std::string file = fontFile(
        {
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [0 /A "
            "65 /B /notaname "
            "/eacute] >> >>",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /BaseEncoding "
            "/WinAnsiEncoding "
            "/Differences [200 /Euro] >> >>",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [65 "
            "(x)] >> >>",
            "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial-BoldMT >>",
            "<< /Type /Font /BaseFont /Helvetica >>",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>",
            "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /MacRomanEncoding >>",
            "<< /Type /Font /Subtype /Type0 /BaseFont /Arial /Encoding /Identity-H "
            "/DescendantFonts [20 0 R] "
            "/ToUnicode 21 0 R >>",
            "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Arial /Encoding /WinAnsiEncoding "
            "/ToUnicode 22 0 R "
            ">>",
        },
        {{20, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial /CIDSystemInfo "
              "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /W [1 [500] 2 3 "
              "600] >>"},
         {21, "<< /Length 119 >>\nstream\nbegincmap\n1 begincodespacerange <0000> <FFFF> "
              "endcodespacerange\n1 beginbfrange <0001> <0003> <0041> endbfrange\n"
              "endcmap\n\nendstream"},
         {22, "<< /Length " + std::to_string(toUnicode.size()) + " >>\nstream\n" + toUnicode +
                  "\nendstream"}});
    EXPECT_EQ(
        withDoc(file,
                [&](PdfDoc *doc) {
                    auto font = [&](uint32_t n) { return object(doc, 9 + n); };
                    PdfFontSel *sel = nullptr, *again = nullptr;
                    // Differences: code 0 is never written, an unknown name leaves its entry.
                    ASSERT_EQ(Pdf_Font_select(doc, font(1), &sel), 0);
                    ASSERT_NE(sel->native, nullptr);
                    EXPECT_EQ(sel->native->encoding, uint32_t(PdfEnc_table));
                    EXPECT_EQ(sel->native->table[0], 0);
                    EXPECT_EQ(sel->native->table[65], u'B');
                    EXPECT_EQ(sel->native->table[66], u'B');
                    EXPECT_EQ(sel->native->table[67], 0xE9);
                    EXPECT_EQ(sel->native->table[68], u'D');
                    // The same dictionary again: the cached record.
                    ASSERT_EQ(Pdf_Font_select(doc, font(1), &again), 0);
                    EXPECT_EQ(again->native, sel->native);
                    EXPECT_STREQ(again->names, "Helvetica");
                    Pdf_Font_release(again);
                    Pdf_Font_release(sel);
                    ASSERT_EQ(Pdf_Font_select(doc, font(2), &sel), 0);
                    EXPECT_EQ(sel->native->table[200], 0x20AC);
                    EXPECT_EQ(sel->native->table[0x80], 0x20AC);
                    Pdf_Font_release(sel);
                    EXPECT_EQ(Pdf_Font_select(doc, font(3), &sel), Res_pdfBadDifferences);
                    EXPECT_EQ(sel, nullptr);
                    // A CIDFont as a top-level font: 5970 deferred, a substitute all the same.
                    doc->deferredError = 0;
                    ASSERT_EQ(Pdf_Font_select(doc, font(4), &sel), 0);
                    EXPECT_EQ(doc->deferredError, Res_pdfFontSubtype);
                    EXPECT_STREQ(sel->names, "Arial-BoldMT,Arial");
                    EXPECT_NE(sel->fonts, nullptr);
                    Pdf_Font_release(sel);
                    // Without a Subtype there is no font.
                    EXPECT_EQ(Pdf_Font_select(doc, font(5), &sel), Res_pdfNoName);
                    EXPECT_EQ(sel, nullptr);
                    ASSERT_EQ(Pdf_Font_select(doc, font(6), &sel), 0);
                    EXPECT_EQ(sel->native->encoding, uint32_t(PdfEnc_symbol));
                    Pdf_Font_release(sel);
                    ASSERT_EQ(Pdf_Font_select(doc, font(7), &sel), 0);
                    EXPECT_EQ(sel->native->encoding, uint32_t(PdfEnc_macRoman));
                    Pdf_Font_release(sel);
                    // Identity-H with a ToUnicode map decodes two-byte codes to text.
                    ASSERT_EQ(Pdf_Font_select(doc, font(8), &sel), 0);
                    EXPECT_EQ(sel->native->encoding, uint32_t(PdfEnc_cmapSubstitute));
                    char16_t *text = nullptr;
                    uint32_t n = 0;
                    const uint8_t codes[] = {0, 1, 0, 3, 0, 2};
                    ASSERT_EQ(Pdf_Font_decodeString(doc, sel, codes, sizeof codes, &text, &n), 0);
                    EXPECT_EQ(std::u16string(text, n), u"ACB");
                    Mem_free(text);
                    Pdf_Font_release(sel);
                    // A simple font drawn with a substitute reads as its ToUnicode map says.
                    ASSERT_EQ(Pdf_Font_select(doc, font(9), &sel), 0);
                    const uint8_t bytes[] = {1, 0x41, 0x80};
                    ASSERT_EQ(Pdf_Font_decodeString(doc, sel, bytes, sizeof bytes, &text, &n), 0);
                    EXPECT_EQ(std::u16string(text, n), u"TB\u20AC");
                    Mem_free(text);
                    Pdf_Font_release(sel);
                }),
        0);
}

// ------------------------------------------------------------ Type 3 fonts

std::string type3Font(const std::string &range, const std::string &widths,
                      const std::string &differences, const std::string &procs,
                      const std::string &resources = "")
{
    return "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 "
           "0 0] " +
           range + " /Widths [" + widths + "] /Encoding << /Differences " + differences +
           " >> /CharProcs " + procs + resources + " >>";
}

std::string contentStream(const std::string &data)
{
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

TEST_F(PdfTextTest, Type3GlyphsRunTheirProceduresAndAdvanceByTheirWidths)
{
    // F1: A and B have procedures, C is named but has none. F2 the box
    // font, whose run shows where the text position ended. F3's glyph
    // shows F3 again; F4's code range is reversed.
    std::string file =
        fontFile({type3Font("/FirstChar 65 /LastChar 67", "500 600 400", "[65 /A /B /C]",
                            "<< /A 20 0 R /B 21 0 R >>"),
                  kHelvetica,
                  type3Font("/FirstChar 65 /LastChar 65", "500", "[65 /A]", "<< /A 22 0 R >>",
                            " /Resources << /Font << /F3 12 0 R >> >>"),
                  type3Font("/FirstChar 32 /LastChar 31", "", "[32 /A]", "<< /A 20 0 R >>")},
                 {{20, contentStream("500 0 d0 0 0 500 700 re f")},
                  {21, contentStream("600 0 0 0 600 700 d1 0 0 m 600 0 l 300 700 l f")},
                  {22, contentStream("500 0 d0 BT /F3 10 Tf (A) Tj ET")}});
    struct Case {
        const char *content;
        double x; // where the box font's X starts
        size_t drawings;
        std::u16string text; // of the Type 3 strings' transparent runs
        const char *why;
    } cases[] = {
        {"BT /F1 10 Tf (A) Tj /F2 10 Tf (X) Tj ET", 5, 1, u"A",
         "width 500 x 0.001 at size 10 advances 5"},
        {"BT /F1 10 Tf (AB) Tj /F2 10 Tf (X) Tj ET", 11, 2, u"AB", "each glyph by its own width"},
        {"BT /F1 10 Tf 2 Tc 3 Tw (C) Tj /F2 10 Tf 0 Tc 0 Tw (X) Tj ET", 7, 0, u"C",
         "a code without procedure draws nothing and adds Tw"},
        {"BT /F1 10 Tf 2 Tc (A) Tj /F2 10 Tf 0 Tc (X) Tj ET", 7, 1, u"A",
         "Tc adds in text space, not glyph space"},
        {"BT /F1 10 Tf ( !A@) Tj /F2 10 Tf (X) Tj ET", 5, 1, u" !A@",
         "bytes outside the range neither draw nor move (they read by the standard encoding)"},
        {"BT /F1 10 Tf [(A) -1000 (A)] TJ /F2 10 Tf (X) Tj ET", 20, 2, u"AA",
         "TJ adjustments move as for other fonts"},
        {"BT /F1 10 Tf 50 Tz (A) Tj /F2 10 Tf 100 Tz (X) Tj ET", 2.5, 1, u"A",
         "horizontal scaling"},
        {"BT /F4 10 Tf (A  A) Tj /F2 10 Tf (X) Tj ET", 0, 0, u"",
         "a font with a reversed range shows nothing"},
    };
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              std::vector<Out> out;
                              ASSERT_EQ(runPage(doc, c.content, &out), 0) << c.why;
                              std::vector<Out> r = runs(out);
                              ASSERT_FALSE(r.empty()) << c.why;
                              EXPECT_EQ(r.back().text, u"X") << c.why;
                              EXPECT_NEAR(r.back().x, c.x, 0.02) << c.why;
                              std::u16string shown;
                              for (size_t i = 0; i + 1 < r.size(); i++)
                                  shown += r[i].text;
                              EXPECT_EQ(shown, c.text) << c.why;
                              size_t drawings = 0;
                              for (const Out &o : out)
                                  drawings += o.drawing;
                              EXPECT_EQ(drawings > 0, c.drawings > 0) << c.why;
                          }
                          // A glyph that shows its own font stops at the nesting limit.
                          std::vector<Out> out;
                          EXPECT_EQ(runPage(doc, "BT /F3 10 Tf (A) Tj ET", &out),
                                    Res_pdfNestingDepth);
                          // Selecting the font again reuses its record.
                          PdfFontSel *a = nullptr, *b = nullptr;
                          ASSERT_EQ(Pdf_Font_select(doc, object(doc, 10), &a), 0);
                          ASSERT_EQ(Pdf_Font_select(doc, object(doc, 10), &b), 0);
                          ASSERT_NE(a->type3, nullptr);
                          EXPECT_EQ(a->type3, b->type3);
                          EXPECT_EQ(a->type3->firstCode, 65);
                          EXPECT_EQ(a->type3->procedures[2], nullptr); // C has none
                          Pdf_Font_release(a);
                          Pdf_Font_release(b);
                      }),
              0);
}

TEST_F(PdfTextTest, Type3FontsThatCannotBeReadFail)
{
    std::string file = fontFile(
        {
            type3Font("/FirstChar 32 /LastChar 31", "", "[32 /A]", "<< /A 20 0 R >>"),
            type3Font("/FirstChar 0 /LastChar 256", "", "[32 /A]", "<< /A 20 0 R >>"),
            "<< /Type /Font /Subtype /Type3 /FirstChar 65 /LastChar 65 /FontMatrix [0.001 0 0 "
            "0.001 0 0] "
            "/Widths [500] /CharProcs << >> >>",
            "<< /Type /Font /Subtype /Type3 /LastChar 65 /FontMatrix [0.001 0 0 0.001 0 0] /Widths "
            "[500] "
            "/Encoding << >> /CharProcs << >> >>",
            type3Font("/FirstChar 65 /LastChar 66", "500", "[65 /A]", "<< /A 20 0 R >>"),
        },
        {{20, contentStream("500 0 d0")}});
    struct Case {
        uint32_t object;
        int result;
        const char *why;
    } cases[] = {
        {10, Res_pdfSyntax, "FirstChar 32 with LastChar 31"},
        {11, Res_pdfSyntax, "LastChar beyond 255"},
        {12, Res_pdfNoDict, "no Encoding dictionary"},
        {13, Res_pdfNoInt, "no FirstChar"},
        {14, Res_pdfSyntax, "fewer Widths than codes"},
    };
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (const Case &c : cases) {
                              PdfType3Font *t = nullptr;
                              EXPECT_EQ(Pdf_Type3_parse(doc, object(doc, c.object), &t), c.result)
                                  << c.why;
                              EXPECT_EQ(t, nullptr) << c.why;
                          }
                      }),
              0);
}

} // namespace
