// Character-to-glyph mapping: every subtable format the engine reads
// (synthetic fonts of tests/fixtures/fonts/make_truetype_fixtures.py),
// subtables that claim more than they hold, format 12, the lazy map's
// sharing with a parent face, the walk's slot tags and remaining count,
// the identity map, symbol-font pairs and explicit code tables.
#include "tests/fonts/font_engine_support.h"

#include "fonts/cmap.h"

struct MapCase {
    uint16_t code;
    uint16_t glyph;
};

class CmapFormatsTest : public FontEngineTest {
  protected:
    void expectMaps(FontFace *f, const std::vector<MapCase> &cases, const char *what)
    {
        std::vector<uint16_t> codes;
        for (const MapCase &c : cases)
            codes.push_back(c.code);
        std::vector<uint16_t> got = map(f, codes);
        for (size_t i = 0; i < cases.size(); i++)
            EXPECT_EQ(got[i], cases[i].glyph) << what << " code 0x" << std::hex << cases[i].code;
    }
};

TEST_F(CmapFormatsTest, EachFormat)
{
    struct FileCase {
        const char *file;
        std::vector<MapCase> cases;
    } files[] = {
        {"tt-hostile4.ttf",
         // The file's searchRange and rangeShift point far past the
         // segments; the search ignores them.
         {{'A', 1},
          {'M', 13},
          {'Z', 26},
          {'@', 0},
          {'[', 0},
          {0, 0},
          // idRangeOffset past the subtable: not mapped.
          {'a', 0},
          {'b', 0},
          // 0xFFFF + 1 wraps to glyph 0: not mapped.
          {0xFFFF, 0}}},
        {"tt-format2.ttf",
         {{'A', 5}, {'B', 0}, {0x8140, 6}, {0x8141, 0}, {0x8142, 7}, {0x8143, 0}, {0x8240, 0}}},
        {"tt-format6.ttf", {{'/', 0}, {'0', 10}, {'9', 19}, {':', 0}, {0xFFFF, 0}}},
        {"tt-macwin.ttf", {{'A', 4}, {'B', 0}}},
    };
    for (const FileCase &c : files) {
        FontFace *f = open(c.file);
        ASSERT_NE(f, nullptr) << c.file;
        expectMaps(f, c.cases, c.file);
    }
}

TEST_F(CmapFormatsTest, SubtablesThatClaimMoreThanTheyHold)
{
    for (const char *file : {"tt-format2-bad.ttf", "tt-format6-bad.ttf", "tt-format12.ttf"}) {
        FontFace *f = open(file);
        ASSERT_NE(f, nullptr) << file;
        for (int i = 0; i < 2; i++) {
            int r = 0;
            std::vector<uint16_t> g = map(f, {'A', 0x8140, '0'}, &r);
            EXPECT_EQ(r, Res_fontUnsupported) << file;
            EXPECT_EQ(g, (std::vector<uint16_t>{0, 0, 0})) << file;
            // The face keeps the lazy map and no loaded data.
            EXPECT_EQ(f->map, Cmap_lazyMap) << file;
            EXPECT_EQ(f->mapData, nullptr) << file;
        }
    }
    // A format 4 whose segments do not fit its length.
    std::string h = fontFixture("tt-hostile4.ttf");
    size_t seg =
        h.find(std::string("\0\4\0\x28\0\0\0\x06", 8)); // format 4, length 40, segCountX2 6
    ASSERT_NE(seg, std::string::npos);
    h[seg + 7] = 0x40; // 32 segments
    FontFace *g = openBytes(h, "segs.ttf");
    ASSERT_NE(g, nullptr);
    int r = 0;
    map(g, {'A'}, &r);
    EXPECT_EQ(r, Res_fontUnsupported);
}

TEST_F(CmapFormatsTest, TheWalkFillsOnlyFreePositionsAndStopsWhenAllAreMapped)
{
    FontFace *f = open("tt-hostile4.ttf");
    ASSERT_NE(f, nullptr);
    uint16_t codes[5] = {'A', '!', 'B', 'C', 'D'};
    uint16_t glyphs[5] = {0, 0, 77, 0, 0};
    uint8_t tags[5] = {0x18, 0x18, 0x19, 0x18, 0x18};
    uint32_t remaining = 2;
    ASSERT_EQ(f->map(f, codes, 5, 3, glyphs, tags, &remaining), Res_ok);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(glyphs[0], 1);
    EXPECT_EQ(glyphs[1], 0);  // not mapped
    EXPECT_EQ(glyphs[2], 77); // filled before
    EXPECT_EQ(glyphs[3], 3);
    EXPECT_EQ(glyphs[4], 0); // the walk ended
    EXPECT_EQ(tags[0], 0x1B);
    EXPECT_EQ(tags[1], 0x18);
    EXPECT_EQ(tags[2], 0x19);
    EXPECT_EQ(tags[3], 0x1B);
}

TEST_F(CmapFormatsTest, AFaceSharingItsParentsFileSharesItsMap)
{
    FontFace *parent = open("tt-hostile4.ttf");
    ASSERT_NE(parent, nullptr);
    for (bool parentFirst : {true, false}) {
        TrueType_dropCaches(parent);
        FontFace *child = nullptr;
        ASSERT_EQ(Font_faceCreate(ctx, 0, 0, parent, &child), Res_ok);
        child->reader = parent->reader;
        child->tables = parent->tables;
        child->flags |= FontFace_sharesParent;
        child->map = Cmap_lazyMap;
        if (parentFirst) {
            EXPECT_EQ(map1(parent, 'B'), 2);
        }
        EXPECT_EQ(map1(child, 'C'), 3);
        EXPECT_EQ(child->mapData, parent->mapData);
        EXPECT_EQ(map1(parent, 'D'), 4);
        EXPECT_EQ(child->mapData, parent->mapData);
        // Dropping the child's map lets go of the parent's data.
        Cmap_dropLoaded(child);
        EXPECT_NE(parent->mapData, nullptr);
        EXPECT_EQ(map1(child, 'E'), 5);
        // Closing the child leaves the parent's file, tables and map alone.
        child->destroy = TrueType_close;
        Font_faceRelease(child);
        EXPECT_EQ(parent->refCount, 1u);
        EXPECT_EQ(map1(parent, 'F'), 6);
        EXPECT_EQ(metrics(parent, {6})[0].first, 5200);
    }
}

TEST_F(CmapFormatsTest, IdentityMap)
{
    uint16_t codes[3] = {65, 300, 7}, glyphs[3] = {0, 9, 0};
    uint8_t tags[3] = {0xF0, 0xF0, 0xF0};
    uint32_t remaining = 3;
    ASSERT_EQ(Cmap_identityMap(nullptr, codes, 3, 5, glyphs, tags, &remaining), Res_ok);
    EXPECT_EQ(glyphs[0], 65);
    EXPECT_EQ(glyphs[1], 9);
    EXPECT_EQ(glyphs[2], 7);
    EXPECT_EQ(tags[0], 0xF5);
    EXPECT_EQ(tags[1], 0xF0);
    EXPECT_EQ(remaining, 0u);
}

TEST_F(CmapFormatsTest, SymbolFontPairs)
{
    FontFace *f = open("tt-symbol.ttf");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->mapRank, 61u); // (3, 0)
    EXPECT_EQ(map1(f, 0xF041), 36);
    EXPECT_EQ(map1(f, 0x41), 0);
    ASSERT_EQ(Cmap_buildSymbolPairs(f), Res_ok);
    expectMaps(f,
               {{0x41, 36},
                {0xF041, 36},
                {0x20, 3},
                {0xF020, 3},
                {0x7E, 97},
                {0x7F, 0},
                {0x1F, 0},
                {0xF07F, 0},
                {0x141, 0}},
               "pairs");
    // Dropping the caches brings the file's map back.
    TrueType_dropCaches(f);
    EXPECT_EQ(map1(f, 0x41), 0);
}

TEST_F(CmapFormatsTest, CodeTables)
{
    FontFace *f = open("tt-macwin.ttf");
    ASSERT_NE(f, nullptr);
    // Glyph 0 has no outline, the others have. 'A' is given to glyphs 0 and
    // 5: the one with an outline serves it. 'B' to 2, 'C' to 3 and 39; a
    // code past the glyph count is not taken.
    std::vector<uint16_t> codes(45, 0);
    codes[0] = 'A';
    codes[5] = 'A';
    codes[2] = 'B';
    codes[3] = 'C';
    codes[39] = 'C';
    codes[42] = 'Z';
    ASSERT_EQ(Cmap_setCodeTable(f, codes.data(), uint32_t(codes.size())), Res_ok);
    EXPECT_EQ(map1(f, 'A'), 5);
    EXPECT_EQ(map1(f, 'B'), 2);
    uint16_t c = map1(f, 'C');
    EXPECT_TRUE(c == 3 || c == 39) << c;
    EXPECT_EQ(map1(f, 'Z'), 0);
    EXPECT_EQ(map1(f, 'D'), 0);
}

TEST_F(CmapFormatsTest, FormatTable)
{
    const CmapFormatTable *t = ctx->fontEngine->cmapFormats;
    ASSERT_NE(t, nullptr);
    for (uint32_t i = 0; i < CmapFormat_bitmap; i++)
        EXPECT_NE(t->entries[i].map, nullptr) << i;
    EXPECT_EQ(t->entries[CmapFormat_bitmap].map, nullptr);
    EXPECT_EQ(Cmap_installBitmapFormat(ctx->fontEngine), 1);
    EXPECT_EQ(Cmap_installBitmapFormat(ctx->fontEngine), 1);
    EXPECT_NE(t->entries[CmapFormat_bitmap].map, nullptr);
    EXPECT_EQ(Cmap_installBitmapFormat(nullptr), 0);
}
