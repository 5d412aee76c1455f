// The TrueType reader on synthetic fonts (tests/fixtures/fonts/
// make_truetype_fixtures.py): the fixed tables and the 'OS/2' ascent rule,
// the choice of character map, lazy metrics with glyph 65535 and the extra
// bearings, compacted glyph locations against the file's own 'loca', the
// 'kern' subtable rules, dropped caches, and every table cut short.
#include "tests/fonts/font_engine_support.h"

#include <cstring>
#include <map>

#include "fonts/ttglyph.h"
#include "fonts/cmap.h"
#include "graphics/glyphpath.h"

namespace {

using TrueTypeTest = FontEngineTest;

uint32_t be32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
}

uint32_t be16(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 8 | uint8_t(b[at + 1]);
}

// The directory of a file: tag -> {offset, length}.
std::map<std::string, std::pair<uint32_t, uint32_t>> directory(const std::string &b)
{
    std::map<std::string, std::pair<uint32_t, uint32_t>> d;
    for (uint32_t i = 0; i < be16(b, 4); i++)
        d[b.substr(12 + 16 * i, 4)] = {be32(b, 12 + 16 * i + 8), be32(b, 12 + 16 * i + 12)};
    return d;
}

// Every offset of the file's 'loca' (numGlyphs + 1 of them).
std::vector<uint32_t> rawLoca(const std::string &b)
{
    auto d = directory(b);
    bool wide = be16(b, d["head"].first + 50) != 0;
    uint32_t n = be16(b, d["maxp"].first + 4) + 1, at = d["loca"].first;
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < n; i++)
        out.push_back(wide ? be32(b, at + 4 * i) : 2 * be16(b, at + 2 * i));
    return out;
}

TEST_F(TrueTypeTest, FixedTablesAndTheAscentRule)
{
    FontFace *f = open("tt-macwin.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->unitsPerEm, 2048);
    EXPECT_EQ(f->glyphCount, 40);
    EXPECT_EQ(f->glyphCountCopy, 40);
    const FontTableDir *t = f->tables;
    EXPECT_EQ(t->headBox[0], -100);
    EXPECT_EQ(t->headBox[3], 1900);
    EXPECT_EQ(t->indexToLocFormat, 1);
    EXPECT_EQ(t->maxPoints, 40);
    EXPECT_EQ(t->maxCompositeContours, 4);
    EXPECT_EQ(t->advanceWidthMax, 32000u);
    EXPECT_EQ(t->minLeftSideBearing, -800);
    EXPECT_EQ(t->minRightSideBearing, -400);
    EXPECT_EQ(t->xMaxExtent, 16000);
    EXPECT_EQ(t->numberOfHMetrics, 38);
    EXPECT_EQ(f->avgCharWidth, 1024);
    EXPECT_EQ(f->unicodeRanges[0], 1u);
    EXPECT_EQ(f->unicodeRanges[3], 8u);
    // hhea gives 14400 / -3200 and a line gap of 800; 'OS/2' gives a =
    // 15200, d = 4000, so extra = 800 - (19200 - 17600) < 0 adds nothing.
    EXPECT_EQ(f->metrics[3], 15200);
    EXPECT_EQ(f->metrics[4], -4000);
    // The rest are the face defaults (the line gap is cleared by them).
    EXPECT_EQ(f->metrics[0], -1784);
    EXPECT_EQ(f->metrics[2], 14600);
    EXPECT_EQ(f->lineGap, 0);
    EXPECT_EQ(f->destroy, TrueType_close);
    EXPECT_EQ(f->outline, TrueType_loadGlyph);
}

TEST_F(TrueTypeTest, TheBestRankedMapWinsUnlessOneIsPreferred)
{
    FontFace *f = open("tt-macwin.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->mapRank, 63u); // (3, 1) over (1, 0)
    EXPECT_EQ(map1(f, 'A'), 4);
    FontFace *mac = open("tt-macwin.ttf", nullptr, 60);
    ASSERT_NE(mac, nullptr);
    EXPECT_EQ(mac->mapRank, 60u);
    EXPECT_EQ(map1(mac, 'A'), 3); // the format 0 subtable
    EXPECT_EQ(map1(mac, 'B'), 0);
    // A preferred rank no record has changes nothing.
    FontFace *other = open("tt-macwin.ttf", nullptr, 64);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(map1(other, 'A'), 4);
}

TEST_F(TrueTypeTest, FilesTheReaderRefuses)
{
    std::string good = fontFixture("tt-macwin.ttf");
    auto dir = directory(good);
    struct Case {
        const char *what;
        std::string bytes;
        int want;
    };
    std::vector<Case> cases;
    std::string bad = good;
    bad[0] = 2;
    cases.push_back({"version 0x02010000", bad, Res_fontUnsupported});
    std::string otto = good;
    memcpy(otto.data(), "OTTO", 4);
    cases.push_back({"a CFF font", otto, Res_fontUnsupported});
    std::string tru = good;
    memcpy(tru.data(), "true", 4);
    cases.push_back({"version 'true'", tru, Res_ok});
    // Renaming a directory entry removes its table.
    for (const char *tag : {"head", "maxp", "hhea", "glyf", "hmtx", "loca"}) {
        std::string b = good;
        size_t at = b.find(tag, 12);
        ASSERT_LT(at, size_t(12 + 16 * dir.size()));
        b[at] = 'X';
        cases.push_back({tag, b, Res_fontMissingTable});
    }
    std::string noCmap = good;
    noCmap[noCmap.find("cmap", 12)] = 'X';
    cases.push_back({"no cmap", noCmap, Res_fontNoUsableMap});
    // Units per em 0 would divide every metric by zero.
    std::string upem0 = good;
    upem0[dir["head"].first + 18] = upem0[dir["head"].first + 19] = 0;
    cases.push_back({"units per em 0", upem0, Res_fontUnsupported});
    // Only unusable records: (3, 10) and (2, 0).
    std::string unusable = good;
    size_t rec = dir["cmap"].first + 4;
    unusable[rec + 1] = 3, unusable[rec + 3] = 10;
    unusable[rec + 9] = 2, unusable[rec + 11] = 0;
    cases.push_back({"every record ranks 59", unusable, Res_fontNoUsableMap});
    int n = 0;
    for (const Case &c : cases) {
        int r = -1;
        FontFace *f = openBytes(c.bytes, "case" + std::to_string(n++) + ".ttf", &r);
        EXPECT_EQ(r, c.want) << c.what;
        EXPECT_EQ(f != nullptr, c.want == Res_ok) << c.what;
    }
}

TEST_F(TrueTypeTest, AnEmbeddedFontNeedsNoCharacterMap)
{
    std::string b = fontFixture("tt-macwin.ttf");
    b[b.find("cmap", 12)] = 'X';
    int r = -1;
    FontFace *f = openBytes(b, "embedded.ttf", &r, 0, FontFace_kindEmbeddedTrueType);
    EXPECT_EQ(r, Res_ok);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->mapRank, 0u);
}

TEST_F(TrueTypeTest, HorizontalMetrics)
{
    FontFace *f = open("tt-macwin.ttf");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->metricsData, nullptr); // loaded on first use
    auto m = metrics(f, {0, 1, 37, 38, 39, 40, 65535});
    EXPECT_NE(f->metricsData, nullptr);
    std::vector<std::pair<int, int>> want = {
        {400, -40}, // (100 x 0 + 50, 0 - 5) x 8
        {1200, -32},  {30000, 256},
        {30000, -56},         // past the pairs: the last advance, the extra bearings
        {30000, -64}, {0, 0}, // past the glyph count
        {0, 0},               // 65535 measures nothing
    };
    EXPECT_EQ(m, want);
    // Positions of another slot are left alone.
    uint16_t glyphs[2] = {1, 2}, bearing[2] = {7, 7}, advance[2] = {7, 7};
    uint8_t tags[2] = {1, 0};
    ASSERT_EQ(f->advance(f, glyphs, 2, 0, tags, bearing, advance), Res_ok);
    EXPECT_EQ(advance[0], 7);
    EXPECT_EQ(advance[1], 2000);
    // A file without metric pairs measures nothing instead of reading
    // before its table.
    std::string b = fontFixture("tt-macwin.ttf");
    size_t hhea = directory(b)["hhea"].first;
    b[hhea + 34] = b[hhea + 35] = 0;
    FontFace *none = openBytes(b, "nopairs.ttf");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(metrics(none, {0, 1, 39}),
              (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {0, 0}}));
    // The outline loader's alignment asks the same operation.
    uint16_t answer[2];
    ASSERT_EQ(Font_faceCallOp(f, 2, answer), Res_ok);
    EXPECT_EQ(answer[0], 2000);
    EXPECT_EQ(int16_t(answer[1]), -24);
}

TEST_F(TrueTypeTest, CompactedLocationsGiveTheFilesOffsets)
{
    struct Case {
        const char *file;
        uint32_t bytes; // 3 blocks of a 3-byte base and 31 one-byte deltas,
                        // and the exceptions
    } cases[] = {
        {"tt-loca2.ttf", 3 * (3 + 31)},     // multiples of 4 below 1024: shift 2, 8 bits
        {"tt-loca9.ttf", 3 * (3 + 31) + 8}, // 9 bits: four exceptions (glyph 64 starts a block)
    };
    for (const Case &c : cases) {
        FontFace *f = open(c.file);
        ASSERT_NE(f, nullptr) << c.file;
        std::vector<uint32_t> want = rawLoca(fontFixture(c.file));
        ASSERT_EQ(want.size(), 71u);
        for (uint32_t g = 0; g < want.size(); g++)
            EXPECT_EQ(locate(f, uint16_t(g)), want[g]) << c.file << " glyph " << g;
        EXPECT_EQ(TrueType_locationBytes(f), c.bytes) << c.file;
        EXPECT_EQ(locate(f, 71), 0u) << c.file;
        EXPECT_EQ(locate(f, 65535), 0u) << c.file;
    }
}

TEST_F(TrueTypeTest, EmptyGlyphsAndWideOffsets)
{
    // Every glyph empty: no table, every location 0. A glyph of an odd
    // length above 128 KiB (18 significant bits): whole offsets, 3 bytes each.
    std::string b = fontFixture("tt-macwin.ttf");
    auto dir = directory(b);
    std::string empty = b;
    for (uint32_t i = 0; i <= 40; i++)
        memset(empty.data() + dir["loca"].first + 4 * i, 0, 4);
    FontFace *f = openBytes(empty, "empty.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(locate(f, 5), 0u);
    EXPECT_EQ(TrueType_locationBytes(f), 0u);
    std::string wide = b;
    for (uint32_t i = 2; i <= 40; i++) {
        uint32_t v = 0x20001 + 12 * (i - 2); // glyph 1 (at 0) is 128 KiB long, and odd
        uint8_t *p = reinterpret_cast<uint8_t *>(wide.data()) + dir["loca"].first + 4 * i;
        p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
    }
    f = openBytes(wide, "wide.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(locate(f, 1), 0u);
    EXPECT_EQ(locate(f, 2), 0x20001u);
    EXPECT_EQ(locate(f, 40), 0x20001u + 12 * 38);
    EXPECT_EQ(TrueType_locationBytes(f), 41u * 3);
}

TEST_F(TrueTypeTest, KerningPairs)
{
    FontFace *f = open("tt-kern.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->tables->kernStart, 0u);
    // (3, 4) +50, (5, 6) -100, (3, 2) -2048 font units: the pairs came out
    // of order and are sorted when loaded; the coverage-0 subtable's pair
    // (1, 2) is not used.
    std::vector<int> got = kern(f, {3, 4, 5, 6, 3, 2, 1, 2});
    std::vector<int> want = {1400, 1000, 200, 1000, uint16_t(1000 - 16384), 1000, 1000, 1000};
    EXPECT_EQ(got, want);
    // Only neighbours that both belong to the slot are kerned.
    uint16_t glyphs[3] = {3, 4, 3}, advance[3] = {0, 0, 0};
    uint8_t tags[3] = {0, 1, 0};
    ASSERT_EQ(f->kerning(f, glyphs, 3, 0, tags, advance), Res_ok);
    EXPECT_EQ(advance[0], 0);
}

TEST_F(TrueTypeTest, KernSubtablesThatAreNotKept)
{
    // Length 14 is below 20: the table is dropped and kerning does nothing.
    FontFace *f = open("tt-kern14.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->tables->kernStart, 0u);
    EXPECT_EQ(kern(f, {1, 2}), (std::vector<int>{1000, 1000}));
    EXPECT_EQ(f->kerningData, nullptr);
    // A pair count that disagrees with the length fails the load, and the
    // next call tries again.
    FontFace *bad = open("tt-kernbad.ttf");
    ASSERT_NE(bad, nullptr);
    int r = 0;
    kern(bad, {1, 2}, &r);
    EXPECT_EQ(r, Res_fontKernCount);
    kern(bad, {1, 2}, &r);
    EXPECT_EQ(r, Res_fontKernCount);
    EXPECT_EQ(bad->kerningData, nullptr);
    // A 'kern' table of another version is dropped.
    std::string b = fontFixture("tt-kern.ttf");
    b[directory(b)["kern"].first + 1] = 1;
    FontFace *v1 = openBytes(b, "kernv1.ttf");
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(v1->tables->kernStart, 0u);
}

TEST_F(TrueTypeTest, DroppedCachesLoadAgain)
{
    FontFace *f = open("tt-kern.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(map1(f, 'C'), 3);
    metrics(f, {3});
    locate(f, 3);
    kern(f, {3, 4});
    EXPECT_NE(f->mapData, nullptr);
    EXPECT_NE(f->metricsData, nullptr);
    EXPECT_NE(f->locationData, nullptr);
    EXPECT_NE(f->kerningData, nullptr);
    TrueType_dropCaches(f);
    EXPECT_EQ(f->mapData, nullptr);
    EXPECT_EQ(f->metricsData, nullptr);
    EXPECT_EQ(f->locationData, nullptr);
    EXPECT_EQ(f->kerningData, nullptr);
    EXPECT_EQ(f->map, Cmap_lazyMap);
    EXPECT_EQ(map1(f, 'C'), 3);
    EXPECT_EQ(metrics(f, {3})[0].first, 2800);
    EXPECT_EQ(locate(f, 3), 24u);
    EXPECT_EQ(kern(f, {3, 4})[0], 1400);
}

// Opens bytes and runs every operation on them; whether anything failed.
bool anyFails(FontEngineTest *t, FontFace *f)
{
    int r = Res_ok, failed = 0;
    std::vector<uint16_t> codes;
    for (uint16_t c = 0x20; c < 0x80; c++)
        codes.push_back(c);
    codes.push_back(0x8140);
    codes.push_back(0xF041);
    (void)r;
    std::vector<uint16_t> glyphs(codes.size(), 0);
    std::vector<uint8_t> tags(codes.size(), 0);
    uint32_t remaining = uint32_t(codes.size());
    failed |= f->map(f, codes.data(), uint32_t(codes.size()), 0, glyphs.data(), tags.data(),
                     &remaining) != 0;
    std::vector<uint16_t> ids;
    for (uint16_t g = 0; g <= f->glyphCount + 1; g++)
        ids.push_back(g);
    std::vector<uint8_t> zero(ids.size(), 0);
    std::vector<uint16_t> a(ids.size()), b(ids.size());
    failed |=
        f->advance(f, ids.data(), uint32_t(ids.size()), 0, zero.data(), b.data(), a.data()) != 0;
    failed |= f->kerning(f, ids.data(), uint32_t(ids.size()), 0, zero.data(), a.data()) != 0;
    for (uint16_t g : ids) {
        uint32_t at = 0;
        failed |= f->locateGlyph(f, g, &at) != 0;
        GlyphPath *o = nullptr;
        int ro = f->outline(f, g, &o);
        failed |= ro != 0;
        GlyphPath_destroy(o);
    }
    (void)t;
    return failed != 0;
}

TEST_F(TrueTypeTest, TablesCutShortGiveReaderErrors)
{
    ASSERT_EQ(FontPack_installOps(&ctx->fontEngine->packOps), 1);
    ASSERT_EQ(Cmap_installBitmapFormat(ctx->fontEngine), 1);
    int n = 0;
    for (const char *file :
         {"tt-macwin.ttf", "tt-kern.ttf", "tt-loca9.ttf", "tt-format2.ttf", "pack.ffs"}) {
        std::string whole = fontFixture(file);
        std::vector<size_t> cuts = {0, 6, 12, 20};
        for (auto &[tag, at] : directory(whole)) {
            cuts.push_back(at.first);
            cuts.push_back(at.first + at.second / 2);
            cuts.push_back(at.first + at.second - 1);
        }
        for (size_t cut : cuts) {
            int r = 0;
            FontFace *f = openBytes(whole.substr(0, cut), "cut" + std::to_string(n++) + ".ttf", &r);
            if (f) {
                EXPECT_TRUE(anyFails(this, f)) << file << " cut at " << cut;
            } else {
                EXPECT_NE(r, Res_ok);
            }
            closeAll();
        }
    }
}

TEST_F(TrueTypeTest, OpenRunsOutOfMemoryCleanly)
{
    std::string b = fontFixture("tt-kern.ttf");
    writeFile("oom.ttf", b);
    for (int n = 1;; n++) {
        FontFace *face = nullptr;
        Mem_failAfter(n);
        int r = Font_faceCreate(ctx, 0, 0, nullptr, &face);
        Url *u = r == Res_ok ? fileUrl("oom.ttf") : nullptr;
        if (r == Res_ok)
            r = u ? BufStream_open(ctx, u, nullptr, 0, BufStream_bigEndian, &face->reader)
                  : Res_noMemory;
        Url_free(u);
        if (r == Res_ok)
            r = TrueType_open(face, 0, 0);
        std::vector<uint16_t> glyphs;
        if (r == Res_ok) {
            uint16_t codes[2] = {'C', 'D'}, g[2] = {0, 0};
            uint8_t tags[2] = {0, 0};
            uint32_t remaining = 2;
            r = face->map(face, codes, 2, 0, g, tags, &remaining);
            uint16_t a[2], s[2];
            if (r == Res_ok)
                r = face->advance(face, g, 2, 0, tags, s, a);
            if (r == Res_ok)
                r = face->kerning(face, g, 2, 0, tags, a);
            uint32_t at = 0;
            if (r == Res_ok)
                r = face->locateGlyph(face, 3, &at);
        }
        Mem_failAfter(0);
        if (face && face->destroy) {
            Font_faceRelease(face);
        } else if (face) {
            BufStream_close(face->reader);
            face->reader = nullptr;
            Font_faceRelease(face);
        }
        if (r == Res_ok)
            break;
        ASSERT_EQ(r, Res_noMemory) << "allocation " << n;
        ASSERT_LT(n, 200);
    }
}

} // namespace
