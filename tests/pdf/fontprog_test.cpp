// Embedded font programs: the glyph-to-code table of TrueType CID fonts,
// the CFF reader, and the fonts of the fixture documents
// (tests/fixtures/pdf/make_fontprog_fixtures.py) loaded from their
// programs or falling back to substitutes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/container/array.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfcff.h"
#include "pdf/resources/pdfstream.h"
#include "tests/pdf/pdf_fixture.h"
#include "tests/pdf/pdf_support.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string fixture(const std::string &name)
{
    return readFile(std::string(VEXLAN_FIXTURES) + "/pdf/text/" + name + ".pdf");
}

// The CFF table of an OpenType font, or empty.
std::string cffOf(const std::string &otf)
{
    auto be = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v = v << 8 | static_cast<uint8_t>(otf[at + i]);
        return v;
    };
    if (otf.size() < 12)
        return "";
    for (uint32_t i = 0, n = be(4, 2); i < n; i++)
        if (otf.compare(12 + 16 * i, 4, "CFF ") == 0)
            return otf.substr(be(12 + 16 * i + 8, 4), be(12 + 16 * i + 12, 4));
    return "";
}

using PdfGlyphCodeTable = LeakCheckedHeapTest<>;

TEST_F(PdfGlyphCodeTable, IdentityAndMapsGiveGlyphsTheirCodes)
{
    struct Case {
        std::vector<uint8_t> map; // CIDToGIDMap bytes; empty with identity
        bool identity;
        uint32_t glyphs;
        std::vector<uint16_t> want;
        const char *why;
    } cases[] = {
        {{}, true, 4, {1, 2, 3, 4}, "identity: glyph g gets g + 1"},
        {{0, 0, 0, 5, 0, 5, 0, 1},
         false,
         0,
         {1, 4, 0, 0, 0, 3},
         "CIDs 1 and 2 on glyph 5: the later wins"},
        {{0, 2, 0}, false, 0, {0, 0, 1}, "an odd last byte is no entry"},
        {{}, false, 0, {}, "an empty map: no table"},
    };
    for (const Case &c : cases) {
        uint16_t *table = nullptr;
        uint32_t count = 0;
        static const uint8_t none[1] = {0};
        const uint8_t *map = c.identity ? nullptr : c.map.empty() ? none : c.map.data();
        ASSERT_EQ(Pdf_FontProg_glyphCodeTable(map, c.map.size(), c.glyphs, &table, &count), 0)
            << c.why;
        EXPECT_EQ(std::vector<uint16_t>(table, table + count), c.want) << c.why;
        Mem_free(table);
    }
    // Codes stop at 65535.
    uint16_t *table = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(Pdf_FontProg_glyphCodeTable(nullptr, 0, 65536, &table, &count), 0);
    ASSERT_EQ(count, 65536u);
    EXPECT_EQ(table[65534], 65535);
    EXPECT_EQ(table[65535], 65535);
    Mem_free(table);
}

class PdfFontProgTest : public PdfDocFixture {
  protected:
    void SetUp() override
    {
        PdfDocFixture::SetUp();
        ASSERT_EQ(Edr_App_init(ctx(), 0), 0);
        run([this] { ASSERT_EQ(FontEngine_create(ctx()), 0); });
    }
    void TearDown() override
    {
        run([this] {
            FontEngine_destroy(ctx());
            Edr_App_fini(ctx());
        });
        PdfDocFixture::TearDown();
    }

    // Runs body with the fixture document opened and a document model
    // that owns the fonts made from it.
    int withFonts(const std::string &bytes, const std::function<void(PdfDoc *)> &body)
    {
        return withDoc(bytes, [&](PdfDoc *doc) {
            Edr_Doc *edr = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &edr, &root), 0);
            doc->edrDoc = edr;
            body(doc);
            doc->edrDoc = nullptr;
            Edr_Doc_release(edr);
        });
    }

    // The engine's registered fonts.
    uint32_t registered()
    {
        return ctx()->fontEngine->fonts ? uint32_t(ctx()->fontEngine->fonts->count) : 0;
    }
};

TEST_F(PdfFontProgTest, FixtureFontsLoadTheirPrograms)
{
    struct Case {
        const char *file;
        uint32_t object;
        uint32_t made;
        uint32_t encoding;
        const char *why;
    } cases[] = {
        {"fp-cff", 7, 1, PdfEnc_winAnsi, "Ghostscript's CFF subset of NimbusSans"},
        {"fp-cff", 11, 1, PdfEnc_winAnsi, "and of NimbusSans-Bold"},
        {"fp-truetype", 5, 1, PdfEnc_winAnsi, "a simple TrueType font with WinAnsi"},
        {"fp-type0", 5, 1, PdfEnc_cmapEmbedded, "CIDFontType2 with Identity"},
        {"fp-type0", 6, 1, PdfEnc_cmapEmbedded, "CIDFontType2 with a CIDToGIDMap"},
        {"fp-type1", 5, 1, PdfEnc_table, "a Type 1 program with its own encoding"},
        {"fp-cidcff", 5, 1, PdfEnc_cmapEmbedded, "a CID-keyed CFF program"},
        {"fp-broken", 5, 0, PdfEnc_winAnsi, "an empty FontFile2 falls back"},
        {"fp-broken", 6, 0, PdfEnc_winAnsi, "a CFF cut in its last charstring falls back"},
    };
    for (const Case &c : cases) {
        std::string bytes = fixture(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        uint32_t before = registered();
        EXPECT_EQ(withFonts(bytes,
                            [&](PdfDoc *doc) {
                                PdfFontSel *sel = nullptr;
                                ASSERT_EQ(Pdf_Font_select(doc, object(doc, c.object), &sel), 0)
                                    << c.why;
                                ASSERT_NE(sel->native, nullptr) << c.why;
                                EXPECT_EQ(sel->native->engineFontMade, c.made) << c.why;
                                EXPECT_EQ(sel->native->encoding, c.encoding) << c.why;
                                if (c.made) {
                                    EXPECT_EQ(registered(), before + 1) << c.why;
                                    EXPECT_STREQ(sel->names, sel->native->faceName) << c.why;
                                    EXPECT_EQ(std::strncmp(sel->names, "vexlanEmbedded:", 15), 0)
                                        << c.why;
                                    EXPECT_NE(sel->fonts, nullptr) << c.why;
                                }
                                Pdf_Font_release(sel);
                            }),
                  0)
            << c.why;
        // The document released its fonts when it closed.
        EXPECT_EQ(registered(), before) << c.why;
    }
}

TEST_F(PdfFontProgTest, CffProgramsBuildFontsKeyedByCodeOrCid)
{
    std::string cff =
        cffOf(readFile("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf"));
    if (cff.empty())
        GTEST_SKIP() << "no URW base-35 fonts";
    run([&] {
        ByteStream *s = nullptr;
        ASSERT_EQ(
            Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(cff.data()), cff.size(), &s),
            0);
        PdfCffProgram *p = nullptr;
        ASSERT_EQ(Pdf_Cff_open(s, &p), 0);
        char **names = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Pdf_Cff_loadNames(p, &names, &count), 0);
        ASSERT_EQ(count, 1u);
        EXPECT_STREQ(names[0], "NimbusSans-Regular");
        char *str = nullptr;
        EXPECT_EQ(Pdf_Cff_stringForSid(p, 390, &str), Cff_stringStandard);
        EXPECT_EQ(Pdf_Cff_stringForSid(p, 391 + 100000, &str), Cff_stringBeyondIndex);
        PdfGlyphNameList *list = nullptr;
        ASSERT_EQ(Pdf_Font_glyphNamesNew(&list), 0);
        struct Mode {
            uint32_t mode;
            uint16_t keyOfA;
        } modes[] = {{PdfCff_modeCode, u'A'}, {PdfCff_modeSid, 34}}; // SID 34 is "A"
        for (const Mode &m : modes) {
            EmbeddedFont *font = nullptr;
            uint16_t *table = nullptr;
            ASSERT_EQ(Pdf_Cff_buildFont(ctx(), p, 0, list, &font, &table, m.mode), 0);
            ASSERT_NE(font, nullptr);
            bool found = false;
            for (int32_t i = 0; i < EmbeddedFont_glyphCount(font); i++)
                found |= EmbeddedFont_glyphCode(font, uint32_t(i)) == m.keyOfA;
            EXPECT_TRUE(found) << m.mode;
            EXPECT_GT(EmbeddedFont_glyphCount(font), 500);
            ASSERT_NE(table, nullptr);
            EXPECT_EQ(table[0x41], u'A');
            Mem_free(table);
            Font_unregister(ctx(), font->face);
            EmbeddedFont_release(font);
        }
        Pdf_Font_glyphNamesFree(list);
        Pdf_Cff_close(p);
        (void)ByteStream_close(s);

        // Cut programs fail and free what they made: in the header, in an
        // INDEX, and in the last charstring.
        for (size_t keep : {size_t(3), size_t(40), cff.size() - 3}) {
            ASSERT_EQ(
                Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(cff.data()), keep, &s), 0);
            int rc = Pdf_Cff_open(s, &p);
            EmbeddedFont *font = nullptr;
            if (rc == Res_ok) {
                rc = Pdf_Cff_buildFont(ctx(), p, 0, nullptr, &font, nullptr, PdfCff_modeCid);
                Pdf_Cff_close(p);
            }
            EXPECT_NE(rc, 0) << keep;
            EXPECT_EQ(font, nullptr) << keep;
            if (keep == 3) {
                EXPECT_EQ(rc, PdfCff_dataEnded);
            }
            (void)ByteStream_close(s);
        }
    });
}

TEST_F(PdfFontProgTest, CompositeFontsTurnTheirCodesIntoTextThroughTheirHooks)
{
    struct Case {
        const char *file;
        std::u16string text;
    } cases[] = {{"fp-type0", u"Composite CID glyphs"}, {"fp-cidcff", u"CID keyed glyphs"}};
    for (const Case &c : cases) {
        EXPECT_EQ(
            withFonts(fixture(c.file),
                      [&](PdfDoc *doc) {
                          // The first hex string of the page's content.
                          uint8_t *block = nullptr;
                          size_t size = 0;
                          ASSERT_EQ(Pdf_Stream_readToMemory(doc, object(doc, 4), &block, &size), 0);
                          std::string content(reinterpret_cast<char *>(block), size);
                          Mem_free(block);
                          size_t a = content.find('<'), b = content.find('>');
                          std::string bytes;
                          for (size_t i = a + 1; i + 1 < b; i += 2)
                              bytes += char(std::stoi(content.substr(i, 2), nullptr, 16));
                          PdfFontSel *sel = nullptr;
                          ASSERT_EQ(Pdf_Font_select(doc, object(doc, 5), &sel), 0);
                          char16_t *codes = nullptr;
                          uint32_t n = 0;
                          ASSERT_EQ(Pdf_Font_decodeString(
                                        doc, sel, reinterpret_cast<const uint8_t *>(bytes.data()),
                                        bytes.size(), &codes, &n),
                                    0);
                          ASSERT_EQ(n, c.text.size()) << c.file;
                          EXPECT_NE(std::u16string(codes, n), c.text) << "runs carry CID + 1";
                          FontFace *face = nullptr;
                          Array *fonts = ctx()->fontEngine->fonts;
                          for (size_t i = 0; fonts && i < fonts->count; i++) {
                              FontFace *f = static_cast<FontFace *>(fonts->items[i]);
                              if (f->name && std::strcmp(f->name, sel->native->faceName) == 0)
                                  face = f;
                          }
                          ASSERT_NE(face, nullptr);
                          EXPECT_NE(face->codeHook, nullptr) << c.file;
                          Font_applyCodeHook(face, reinterpret_cast<uint16_t *>(codes), n);
                          EXPECT_EQ(std::u16string(codes, n), c.text) << c.file;
                          Mem_free(codes);
                          Pdf_Font_release(sel);
                      }),
            0);
    }
}

TEST_F(PdfFontProgTest, ProgramsThatCannotBeLoadedFallBackToSubstitutes)
{
    auto stream = [](const std::string &data, const std::string &extra = "") {
        return "<< /Length " + std::to_string(data.size()) + extra + " >>\nstream\n" + data +
               "\nendstream";
    };
    auto descriptor = [](const char *key) {
        return std::string("<< /Type /FontDescriptor /FontName /X /Flags 32 /") + key +
               " 20 0 R >>";
    };
    struct Case {
        std::string font;
        std::string descriptor;
        std::string program;
        uint32_t encoding;
        const char *why;
    } cases[] = {
        {"<< /Type /Font /Subtype /TrueType /BaseFont /Arial /FontDescriptor 11 0 R >>",
         descriptor("FontFile2"), stream(""), PdfEnc_program,
         "an empty FontFile2 keeps kind 1 and draws with a substitute"},
        {"<< /Type /Font /Subtype /TrueType /BaseFont /Arial /FontDescriptor 11 0 R >>",
         descriptor("FontFile2"), stream("not a TrueType program"), PdfEnc_program,
         "a FontFile2 that is no TrueType program"},
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 11 0 R >>",
         descriptor("FontFile3"), stream("", " /Subtype /Type1C"), PdfEnc_standard,
         "an empty FontFile3"},
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 11 0 R >>",
         descriptor("FontFile3"),
         stream(std::string("\x01\x00\x04\x01\x00\x01\x01\x01", 8), " /Subtype /Type1C"),
         PdfEnc_standard, "a CFF program without a Top DICT"},
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /FontDescriptor 11 0 R >>",
         descriptor("FontFile"), stream("%!PS-AdobeFont-1.0: Broken\n/FontName /Broken def\n"),
         PdfEnc_standard, "a Type 1 program without eexec part"},
        {"<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [12 0 "
         "R] >>",
         descriptor("FontFile2"), stream(""), PdfEnc_cmapSubstitute,
         "an empty FontFile2 of a CIDFont"},
    };
    for (const Case &c : cases) {
        std::string file = pdfFile(
            pdfObjects({{10, c.font},
                        {11, c.descriptor},
                        {12, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << "
                             "/Registry (Adobe) "
                             "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 11 0 R >>"},
                        {20, c.program}}));
        uint32_t before = registered();
        EXPECT_EQ(withFonts(file,
                            [&](PdfDoc *doc) {
                                PdfFontSel *sel = nullptr;
                                ASSERT_EQ(Pdf_Font_select(doc, object(doc, 10), &sel), 0) << c.why;
                                EXPECT_EQ(sel->native->engineFontMade, 0u) << c.why;
                                EXPECT_EQ(sel->native->encoding, c.encoding) << c.why;
                                EXPECT_NE(std::strncmp(sel->names, "vexlanEmbedded:", 15), 0)
                                    << c.why;
                                EXPECT_EQ(registered(), before) << c.why;
                                Pdf_Font_release(sel);
                            }),
                  0)
            << c.why;
    }
}

} // namespace
