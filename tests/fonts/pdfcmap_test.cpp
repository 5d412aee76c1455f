// CMaps: loading by name from the built-in binary files, the binary and
// text readers, lookup and decoding in both modes, and the checks that
// keep hostile CMaps from writing outside their tables.
#include "tests/fonts/font_engine_support.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "core/stream/bytestream.h"
#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "fonts/builtin/builtin.h"
#include "fonts/pdfcmap.h"
#include "fonts/pslexer.h"
#include "pdf/resources/pdfstream.h"
#include "platform/url/url.h"
#include "platform/vfs/romfs.h"

namespace {

std::string cmapFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/cmaps/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<uint8_t> hexBytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// A zlib stream of stored blocks holding data.
std::string zlibStored(const std::string &data)
{
    std::string z = "\x78\x01";
    z += char(1);
    uint16_t n = uint16_t(data.size());
    z += char(n & 255);
    z += char(n >> 8);
    z += char(~n & 255);
    z += char((~n >> 8) & 255);
    z += data;
    uint32_t a = 1, b = 0;
    for (unsigned char c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = b << 16 | a;
    for (int i = 3; i >= 0; i--)
        z += char(adler >> (8 * i));
    return z;
}

// Text files that the text directory serves (paths under the fonts
// directory); they outlive every test.
const char loopA[] = "/CIDInit /ProcSet findresource begin begincmap /Loop-B usecmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) >> def endcmap";
const char loopB[] = "begincmap /Loop-A usecmap /Ordering (Japan1) endcmap";
const char self[] = "begincmap /Self usecmap /Ordering (Japan1) endcmap";

class CMapTest : public FontEngineTest {
  protected:
    std::vector<std::string> keep;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        for (const RomFsEntry &e : Builtin_japanCmaps)
            RomFs_addFile(ctx, e.path, e.data, e.length);
        for (const RomFsEntry &e : Builtin_koreanCmaps)
            RomFs_addFile(ctx, e.path, e.data, e.length);
        for (const RomFsEntry &e : Builtin_simplifiedChineseCmaps)
            RomFs_addFile(ctx, e.path, e.data, e.length);
        for (const RomFsEntry &e : Builtin_traditionalChineseCmaps)
            RomFs_addFile(ctx, e.path, e.data, e.length);
        RomFs_addFile(ctx, "/okala_dir/Fonts/cmaps/loop-a.dat",
                      reinterpret_cast<const uint8_t *>(loopA), sizeof loopA - 1);
        RomFs_addFile(ctx, "/okala_dir/Fonts/cmaps/loop-b.dat",
                      reinterpret_cast<const uint8_t *>(loopB), sizeof loopB - 1);
        RomFs_addFile(ctx, "/okala_dir/Fonts/cmaps/self.dat",
                      reinterpret_cast<const uint8_t *>(self), sizeof self - 1);
        ctx->fontEngine->fontsDir = url("file://root/okala_dir/Fonts/");
        ASSERT_NE(ctx->fontEngine->fontsDir, nullptr);
    }

    ByteStream *stream(const std::string &bytes)
    {
        keep.push_back(bytes);
        ByteStream *s = nullptr;
        EXPECT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(keep.back().data()),
                                        keep.back().size(), &s),
                  0);
        return s;
    }

    int parseText(const std::string &text, CMap **out, const CMapSysInfo *info = nullptr)
    {
        ByteStream *s = stream(text);
        int r = CMap_parseTextStream(ctx, info, s, out);
        (void)ByteStream_close(s);
        return r;
    }

    int readBinary(const std::string &bytes, CMap **out)
    {
        ByteStream *s = stream(bytes);
        int r = CMap_readBinary(ctx, nullptr, s, 0, out);
        (void)ByteStream_close(s);
        return r;
    }

    std::vector<uint16_t> decode(const CMap *c, uint32_t mode, const std::vector<uint8_t> &bytes)
    {
        char16_t *out = nullptr;
        EXPECT_EQ(CMap_decodeString(ctx, c, mode, bytes.data(), bytes.size(), &out), 0);
        std::vector<uint16_t> v;
        for (size_t i = 0; out && out[i]; i++)
            v.push_back(out[i]);
        Mem_free(out);
        return v;
    }
};

std::string cidText(const std::string &body)
{
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
           "/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (Test) def end def\n"
           "1 begincodespacerange <00> <FF> endcodespacerange\n" +
           body + "\nendcmap CMapName currentdict /CMap defineresource pop end end\n";
}

TEST_F(CMapTest, IdentityDecodesTwoByteCodes)
{
    CMap *c = nullptr;
    ASSERT_EQ(CMap_load(ctx, nullptr, "Identity-V", nullptr, &c), 0);
    EXPECT_EQ(decode(c, 0, {0x12, 0x34, 0x00, 0x41}), (std::vector<uint16_t>{0x1235, 0x0042}));
    // A trailing odd byte is not a code.
    EXPECT_EQ(decode(c, 0, {0x00, 0x41, 0x07}), (std::vector<uint16_t>{0x0042}));
    EXPECT_EQ(CMap_getMapTable(c), nullptr);
    CMap_free(c);
}

TEST_F(CMapTest, IdentityTakesTheToUnicodeStream)
{
    std::string tu = "begincmap 2 beginbfchar <0005> <0000> <0006> <20AC> endbfchar\n"
                     "1 beginbfrange <01> <02> <0041> endbfrange\n"
                     "1 beginbfrange <0010> <0012> [<0061> <0062>] endbfrange endcmap";
    ByteStream *s = stream(tu);
    CMap *c = nullptr;
    ASSERT_EQ(CMap_load(ctx, nullptr, "Identity-H", s, &c), 0);
    (void)ByteStream_close(s);
    const uint16_t *t = CMap_getMapTable(c);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[6], 0x20AC);
    EXPECT_EQ(t[1], 1); // a one-byte bfrange changes nothing
    EXPECT_EQ(t[0x7777], 0x7777);
    EXPECT_EQ(t[0x11], 0x62); // an array destination: its first element serves
    // CID 5 maps to 0 and decodes as U+FFFD; CID 6 to the euro sign.
    EXPECT_EQ(decode(c, 1, {0x00, 0x05, 0x00, 0x06}), (std::vector<uint16_t>{0xFFFD, 0x20AC}));
    EXPECT_EQ(CMap_mapCode(t, 7), 0x20AC);
    EXPECT_EQ(CMap_mapCode(nullptr, 7), 6);
    CMap_free(c);
}

TEST_F(CMapTest, ToUnicodeErrors)
{
    const struct {
        const char *text;
        int error;
    } cases[] = {
        {"begincmap 1 beginbfchar <01> 5 endbfchar endcmap", CMap_errBfchar},
        {"begincmap 1 beginbfrange <01> 2 <0041> endbfrange endcmap", CMap_errBfrange},
        {"begincmap 1 beginbfchar <01> <0041>", CMap_errEnded},
        {"no cmap here", CMap_errEnded},
        {"begincmap 1 beginbfchar <01> ) endbfchar endcmap", PsLexer_syntaxError},
    };
    for (const auto &c : cases) {
        ByteStream *s = stream(c.text);
        uint16_t *table = reinterpret_cast<uint16_t *>(1);
        EXPECT_EQ(CMap_parseToUnicodeStream(s, &table), c.error) << c.text;
        EXPECT_EQ(table, nullptr);
        (void)ByteStream_close(s);
    }
}

TEST_F(CMapTest, ThreeByteRangeAndUnmappedCodes)
{
    CMap *c = nullptr;
    ASSERT_EQ(parseText(cidText("1 begincidrange <814000> <8140FF> 100 endcidrange"), &c), 0);
    EXPECT_STREQ(c->ordering, "Test");
    ASSERT_EQ(c->rangeCount, 1u);
    uint8_t w[6] = {0x81, 0x40, 0x05, 0, 0, 0};
    uint32_t n = 0;
    EXPECT_EQ(CMap_lookup(c, w, &n), 105);
    EXPECT_EQ(n, 3u);
    // An unmapped code gives CID 0 for one byte and decoding goes on.
    EXPECT_EQ(decode(c, 0, {0x81, 0x40, 0x05, 0x41, 0x81, 0x40, 0x06}),
              (std::vector<uint16_t>{106, 1, 107}));
    // Without a to-Unicode table mode 1 gives the CID itself.
    EXPECT_EQ(decode(c, 1, {0x41, 0x81, 0x40, 0x07}), (std::vector<uint16_t>{0xFFFD, 107}));
    // A code cut by the end of the string ends decoding.
    EXPECT_EQ(decode(c, 0, {0x81, 0x40, 0x05, 0x81, 0x40}), (std::vector<uint16_t>{106}));
    CMap_free(c);
}

TEST_F(CMapTest, TablesAndParent)
{
    // One-byte codes of our own; the two-byte Shift-JIS codes come from the
    // built-in parent.
    CMap *c = nullptr;
    ASSERT_EQ(parseText("/CIDInit begincmap /90ms-RKSJ-H usecmap /Ordering (Japan1)\n"
                        "1 begincidchar <41> 5000 endcidchar 1 begincidrange <0000> <0001> 7 "
                        "endcidrange endcmap",
                        &c),
              0);
    ASSERT_NE(c->parent, nullptr);
    EXPECT_STREQ(c->useName, "90ms-RKSJ-H");
    // 0x41 maps here; 0x93FA (Shift-JIS for U+65E5) only in the parent;
    // the two-byte table of this CMap answers 0x0001 itself.
    uint8_t w[6] = {0x93, 0xFA, 0, 0, 0, 0};
    uint32_t n = 0;
    uint16_t parentCid = CMap_lookup(c->parent, w, &n);
    EXPECT_EQ(n, 2u);
    EXPECT_NE(parentCid, 0);
    EXPECT_EQ(decode(c, 0, {0x41, 0x93, 0xFA}),
              (std::vector<uint16_t>{5001, uint16_t(parentCid + 1)}));
    CMap_free(c);
}

TEST_F(CMapTest, TextErrors)
{
    const struct {
        std::string text;
        int error;
    } cases[] = {
        {"nothing", CMap_errEnded},
        {"begincmap /Ordering 5", CMap_errOrdering},
        {"begincmap /Ordering (" + std::string(32, 'x') + ")", CMap_errOrdering},
        {cidText("1 begincidchar <41> <42> endcidchar"), CMap_errCidchar},
        {cidText("1 begincidrange <41> 5 7 endcidrange"), CMap_errCidrange},
        {cidText("1 begincidrange <41> <4142> 7 endcidrange"), CMap_errCidrange},
        {cidText("1 begincidchar <01020304050607> 1 endcidchar"), CMap_errCodeLength},
        {cidText("1 begincidrange <50> <40> 1 endcidrange"), CMap_errBadRange},
        {cidText("1 begincidrange <0000> <FFFF> 2 endcidrange"), CMap_errBadRange},
        {cidText("1 begincidrange <> <> 2 endcidrange"), CMap_errBadRange},
        {"begincmap /Ordering (X) 1 begincidchar <41> 1", CMap_errEnded},
        {"begincmap /Nowhere usecmap /Ordering (X) endcmap", CMap_errNoCMap},
    };
    for (const auto &c : cases) {
        CMap *m = reinterpret_cast<CMap *>(1);
        EXPECT_EQ(parseText(c.text, &m), c.error) << c.text;
        EXPECT_EQ(m, nullptr);
    }
}

TEST_F(CMapTest, UsecmapCyclesFail)
{
    for (const char *name : {"Self", "Loop-A"}) {
        CMap *c = reinterpret_cast<CMap *>(1);
        EXPECT_EQ(CMap_load(ctx, nullptr, name, nullptr, &c), CMap_errBadRange) << name;
        EXPECT_EQ(c, nullptr);
    }
}

std::string binaryHeader(const char *magic, const char *ordering = "X", const char *use = "")
{
    std::string h(magic, 8);
    h += ordering;
    h += '\0';
    h += use;
    h += '\0';
    return h;
}

TEST_F(CMapTest, DeltaCodedBlock)
{
    // Two single codes stored as code 5, CID 10, then code 0, CID 0.
    std::string blocks("\x00\x02\x01"
                       "\x00\x0A\x05"
                       "\x00\x00\x00"
                       "\x00\x00",
                       11);
    CMap *c = nullptr;
    ASSERT_EQ(readBinary(binaryHeader("BINCMAP3") + zlibStored(blocks), &c), 0);
    ASSERT_NE(c->oneByte, nullptr);
    EXPECT_EQ(c->oneByte[5], 10);
    EXPECT_EQ(c->oneByte[6], 11);
    EXPECT_EQ(c->oneByte[7], 0);
    CMap_free(c);
    // A range: low 0x10 + 0, high stored 3 -> 0x14, CID 2; then a
    // single code right after it with the next CID.
    std::string ranges("\x00\x01\x81"
                       "\x00\x02\x10\x03"
                       "\x00\x01\x01"
                       "\x00\x00\x00"
                       "\x00\x00",
                       15);
    ASSERT_EQ(readBinary(binaryHeader("BINCMAP3") + zlibStored(ranges), &c), 0);
    EXPECT_EQ(c->oneByte[0x10], 2);
    EXPECT_EQ(c->oneByte[0x14], 6);
    EXPECT_EQ(c->oneByte[0x15], 0);
    CMap_free(c);
}

TEST_F(CMapTest, BinaryRangesAreChecked)
{
    const struct {
        const char *what;
        std::string file;
        int error;
    } cases[] = {
        // A delta range whose high code wraps below its low code.
        {"wrapping one-byte range",
         binaryHeader("BINCMAP3") +
             zlibStored(std::string("\x00\x01\x81\x00\x01\xF0\x20\x00\x00", 9)),
         CMap_errBadRange},
        {"wrapping two-byte range",
         binaryHeader("BINCMAP3") +
             zlibStored(std::string("\x00\x01\x82\x00\x01\xFF\x00\x01\x00\x00\x00", 11)),
         CMap_errBadRange},
        {"high below low",
         binaryHeader("BINCMAP1") + std::string("\x00\x01\x81\x00\x01\x50\x40\x00\x00", 9),
         CMap_errBadRange},
        {"CID overflow",
         binaryHeader("BINCMAP1") + std::string("\x00\x01\x81\xFF\xF0\x00\xFF\x00\x00", 9),
         CMap_errBadRange},
        {"code length 7", binaryHeader("BINCMAP1") + std::string("\x00\x01\x07\x00\x01", 5),
         CMap_errBadRange},
        {"code length 0", binaryHeader("BINCMAP1") + std::string("\x00\x01\x00\x00\x01", 5),
         CMap_errBadRange},
        {"magic", "BINCMAP9X\0\0", CMap_errMagic},
        {"ordering without NUL", "BINCMAP1" + std::string(40, 'x'), CMap_errHeader},
        {"usecmap without NUL", "BINCMAP1X" + std::string(1, '\0') + std::string(70, 'x'),
         CMap_errHeader},
        {"truncated", binaryHeader("BINCMAP1") + std::string("\x00\x02\x01\x00\x01\x41", 6),
         CMap_errEnded},
        {"usecmap missing", binaryHeader("BINCMAP1", "X", "Nowhere") + std::string("\x00\x00", 2),
         CMap_errNoCMap},
    };
    for (const auto &c : cases) {
        CMap *m = reinterpret_cast<CMap *>(1);
        EXPECT_EQ(readBinary(c.file, &m), c.error) << c.what;
        EXPECT_EQ(m, nullptr) << c.what;
    }
    // The largest ranges that fit are taken.
    CMap *m = nullptr;
    ASSERT_EQ(readBinary(binaryHeader("BINCMAP1") +
                             std::string("\x00\x01\x81\xFF\x00\x00\xFF\x00\x00", 9),
                         &m),
              0);
    EXPECT_EQ(m->oneByte[255], 0xFFFF);
    CMap_free(m);
}

TEST_F(CMapTest, BinaryUnicodeTables)
{
    uint16_t *t = nullptr;
    std::string plain = std::string("BINCMAP0\x00\x03\x00\x20\x30\x00\x00\x41", 16);
    ByteStream *s = stream(plain);
    ASSERT_EQ(CMap_readBinaryUnicode(s, &t), 0);
    (void)ByteStream_close(s);
    EXPECT_EQ(t[0], 0x20);
    EXPECT_EQ(t[1], 0x3000);
    EXPECT_EQ(t[2], 0x41);
    EXPECT_EQ(t[3], 0);
    Mem_free(t);
    // Delta-coded: 0x20, then +0 +1 -> 0x21, then 0x10 + 0x21 + 1 -> 0x32.
    std::string delta = std::string("BINCMAP2\x00\x03", 10) +
                        zlibStored(std::string("\x00\x20\x00\x00\x00\x10", 6));
    s = stream(delta);
    ASSERT_EQ(CMap_readBinaryUnicode(s, &t), 0);
    (void)ByteStream_close(s);
    EXPECT_EQ(t[0], 0x20);
    EXPECT_EQ(t[1], 0x21);
    EXPECT_EQ(t[2], 0x32);
    Mem_free(t);
    s = stream("BINCMAPX\x00\x00");
    EXPECT_EQ(CMap_readBinaryUnicode(s, &t), CMap_errMagic);
    (void)ByteStream_close(s);
    uint16_t *copy = nullptr;
    EXPECT_EQ(CMap_copyUnicodeTable(&copy, nullptr), 0);
    EXPECT_EQ(copy, nullptr);
}

TEST_F(CMapTest, EveryBuiltInCMapLoads)
{
    const RomFsEntry *tables[] = {Builtin_japanCmaps, Builtin_koreanCmaps,
                                  Builtin_simplifiedChineseCmaps, Builtin_traditionalChineseCmaps};
    const size_t counts[] = {22, 13, 18, 28};
    CMapSysInfo info{"Adobe", "Japan1", 6};
    for (size_t k = 0; k < 4; k++) {
        for (size_t i = 0; i < counts[k]; i++) {
            std::string path = tables[k][i].path;
            std::string name = path.substr(path.rfind('/') + 1);
            name = name.substr(0, name.size() - 4);
            const char *ordering = name == "adobe-japan1-ucs2"   ? "Japan1"
                                   : name == "adobe-korea1-ucs2" ? "Korea1"
                                   : name == "adobe-gb1-ucs2"    ? "GB1"
                                   : name == "adobe-cns1-ucs2"   ? "CNS1"
                                                                 : nullptr;
            if (ordering) {
                uint16_t *t = nullptr;
                EXPECT_EQ(CMap_loadCollectionUnicode(ctx, ordering, &t), 0) << name;
                EXPECT_NE(t, nullptr) << name;
                Mem_free(t);
                continue;
            }
            CMap *c = nullptr;
            ASSERT_EQ(CMap_load(ctx, &info, name.c_str(), nullptr, &c), 0) << name;
            EXPECT_EQ(c->kind, -1) << name;
            EXPECT_TRUE(c->oneByte || c->twoByte || c->rangeCount || c->parent) << name;
            // The collection's table comes with the CMaps whose Ordering
            // names a collection, not with the "Adobe_..." ones.
            EXPECT_EQ(c->toUnicode != nullptr, strncmp(c->ordering, "Adobe_", 6) != 0) << name;
            CMap_free(c);
        }
    }
}

TEST_F(CMapTest, SamplesDecodeAsTheCodecsDo)
{
    std::istringstream lines(cmapFixture("samples.txt"));
    std::string name, ordering, bytes, units;
    int n = 0;
    while (lines >> name >> ordering >> bytes >> units) {
        CMapSysInfo info{"Adobe", ordering.c_str(), 0};
        CMap *c = nullptr;
        ASSERT_EQ(CMap_load(ctx, &info, name.c_str(), nullptr, &c), 0) << name;
        std::vector<uint8_t> want = hexBytes(units);
        std::vector<uint16_t> expected;
        for (size_t i = 0; i + 1 < want.size(); i += 2)
            expected.push_back(uint16_t(want[i] << 8 | want[i + 1]));
        EXPECT_EQ(decode(c, 1, hexBytes(bytes)), expected) << name;
        CMap_free(c);
        n++;
    }
    EXPECT_EQ(n, 5);
}

TEST_F(CMapTest, TextCMapsMatchTheirBinaryForms)
{
    for (const char *name : {"90ms-RKSJ-H", "90ms-RKSJ-V", "EUC-H", "ETen-B5-H"}) {
        CMap *text = nullptr, *binary = nullptr;
        ASSERT_EQ(parseText(cmapFixture(name), &text), 0) << name;
        ASSERT_EQ(CMap_load(ctx, nullptr, name, nullptr, &binary), 0) << name;
        EXPECT_STREQ(text->ordering, binary->ordering) << name;
        EXPECT_EQ(!text->useName, !binary->useName) << name;
        if (text->useName && binary->useName) {
            EXPECT_STREQ(text->useName, binary->useName) << name;
        }
        EXPECT_EQ(!text->oneByte, !binary->oneByte) << name;
        if (text->oneByte && binary->oneByte) {
            EXPECT_EQ(memcmp(text->oneByte, binary->oneByte, 256 * 2), 0) << name;
        }
        EXPECT_EQ(!text->twoByte, !binary->twoByte) << name;
        if (text->twoByte && binary->twoByte) {
            EXPECT_EQ(memcmp(text->twoByte, binary->twoByte, 65536 * 2), 0) << name;
        }
        ASSERT_EQ(text->rangeCount, binary->rangeCount) << name;
        if (text->rangeCount) {
            EXPECT_EQ(memcmp(text->ranges, binary->ranges, text->rangeCount * sizeof(CMapRange)), 0)
                << name;
        }
        CMap_free(text);
        CMap_free(binary);
    }
}

TEST_F(CMapTest, CharsetFallback)
{
    const struct {
        const char *name;
        int32_t kind;
    } cases[] = {
        {"Foo-UCS2-H", 2},    {"GBpc-EUC-X", 35}, {"B5pc-X", 34},
        {"90msp-RKSJ-X", 31}, {"Xx-RKSJ-Y", 31},  {"Xx-UHC-Y", 30},
    };
    for (const auto &c : cases) {
        CMap *m = nullptr;
        ASSERT_EQ(CMap_load(ctx, nullptr, c.name, nullptr, &m), 0) << c.name;
        EXPECT_EQ(m->kind, c.kind) << c.name;
        CMap_free(m);
    }
    CMap *m = reinterpret_cast<CMap *>(1);
    EXPECT_EQ(CMap_load(ctx, nullptr, "Unknown-Name", nullptr, &m), CMap_errNoCMap);
    EXPECT_EQ(m, nullptr);
    // The -UCS2- kind copies the bytes into units unchanged.
    ASSERT_EQ(CMap_load(ctx, nullptr, "Foo-UCS2-H", nullptr, &m), 0);
    char16_t *out = nullptr;
    const uint8_t bytes[] = {0x41, 0x00, 0x42, 0x00, 0x07};
    ASSERT_EQ(CMap_decodeString(ctx, m, 1, bytes, 5, &out), 0);
    EXPECT_EQ(std::u16string(out), std::u16string(u"AB"));
    Mem_free(out);
    CMap_free(m);
}

TEST_F(CMapTest, OutOfMemoryLeavesNothing)
{
    for (uint64_t n = 1; n < 200; n++) {
        CMap *c = nullptr;
        CMapSysInfo info{"Adobe", "Japan1", 6};
        Mem_failAfter(n);
        int r = CMap_load(ctx, &info, "90ms-RKSJ-V", nullptr, &c);
        Mem_failAfter(0);
        if (r == 0) {
            CMap_free(c);
            break;
        }
        EXPECT_EQ(c, nullptr);
    }
}

} // namespace
