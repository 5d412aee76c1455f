// The engine's font packs (tests/fixtures/fonts/make_truetype_fixtures.py):
// the CJK bitmap map with its remapped codes and the private-use area,
// advances from 'ffhm', locations from 'sloc', the 'ffst' settings, and
// packs the reader refuses.
#include "tests/fonts/font_engine_support.h"

#include "fonts/cmap.h"
#include "graphics/glyphpath.h"

namespace {

class FontPackTest : public FontEngineTest {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        ASSERT_EQ(FontPack_installOps(&ctx->fontEngine->packOps), 1);
        ASSERT_EQ(Cmap_installBitmapFormat(ctx->fontEngine), 1);
    }
};

TEST_F(FontPackTest, MapsThroughTheBitmap)
{
    FontFace *f = open("pack.ffs");
    ASSERT_NE(f, nullptr);
    struct Case {
        uint16_t code, glyph;
    } cases[] = {
        {0x20, 1},    {0x41, 34},   {0x7E, 95},   {0x7F, 0},
        {0x1F, 0},    {0xA0, 1}, // no-break space draws the space
        {0x2002, 1},             // en space too
        {0x3000, 96}, {0x3002, 98}, {0x3003, 0},  {0x30FB, 99},
        {149, 99},    {183, 99},    {0x2022, 99}, // bullets draw the katakana middle dot
        {0x20A9, 0}, // the won sign's stand-in U+FFE6 is not in this pack
        {0xE000, 0}, // private use: never, though its bit is set
        {0xF8FF, 0},  {0xFFFF, 0},
    };
    std::vector<uint16_t> codes;
    for (const Case &c : cases)
        codes.push_back(c.code);
    std::vector<uint16_t> got = map(f, codes);
    for (size_t i = 0; i < codes.size(); i++)
        EXPECT_EQ(got[i], cases[i].glyph) << "code 0x" << std::hex << cases[i].code;
}

TEST_F(FontPackTest, AdvancesLocationsAndSettings)
{
    FontFace *f = open("pack.ffs");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->advance, FontPack_getAdvances);
    EXPECT_EQ(f->outline, FontPack_glyphOutline);
    EXPECT_EQ(f->tables->packSetting1, 1);
    EXPECT_EQ(f->tables->packSetting2, 10);
    // Listed glyphs 1 (128) and 3 (200); the rest the default 256 = 1 em.
    auto m = metrics(f, {1, 2, 3, 99, 65535});
    EXPECT_EQ(m, (std::vector<std::pair<int, int>>{
                     {8192, 0}, {16384, 0}, {12800, 0}, {16384, 0}, {0, 0}}));
    EXPECT_EQ(locate(f, 0), 0u);
    EXPECT_EQ(locate(f, 1), 12u);
    for (uint16_t g = 1; g <= 100; g++)
        EXPECT_EQ(locate(f, g), 12u * g - ((g - 1) * 3) % 8) << "glyph " << g;
    EXPECT_EQ(locate(f, 101), 0u);
    EXPECT_EQ(locate(f, 65535), 0u);
    GlyphPath *o = nullptr;
    ASSERT_EQ(f->outline(f, 5, &o), Res_ok);
    GlyphPath_destroy(o);
}

TEST_F(FontPackTest, PacksTheReaderRefuses)
{
    // Advances of an unknown version and a segment of one glyph (whose
    // share of the span would divide by zero).
    for (const char *file : {"pack-ffhm2.ffs", "pack-sloc1.ffs"}) {
        int r = 0;
        EXPECT_EQ(open(file, &r), nullptr) << file;
        EXPECT_EQ(r, Res_fontUnsupported) << file;
    }
    // Without the font-pack operations a pack cannot be read.
    Mem_free(ctx->fontEngine->packOps);
    ctx->fontEngine->packOps = nullptr;
    int r = 0;
    EXPECT_EQ(open("pack.ffs", &r), nullptr);
    EXPECT_EQ(r, Res_fontUnsupported);
}

TEST_F(FontPackTest, AFaceSharingItsParentsFileSharesItsTables)
{
    FontFace *parent = open("pack.ffs");
    ASSERT_NE(parent, nullptr);
    FontFace *child = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, parent, &child), Res_ok);
    child->reader = parent->reader;
    child->tables = parent->tables;
    child->flags |= FontFace_sharesParent;
    child->advance = parent->advance;
    child->locateGlyph = parent->locateGlyph;
    EXPECT_EQ(locate(child, 2), 21u);
    EXPECT_EQ(parent->glyphOffsets, child->glyphOffsets);
    EXPECT_EQ(metrics(child, {3})[0].first, 12800);
    EXPECT_EQ(parent->widths, child->widths);
    EXPECT_EQ(locate(parent, 3), 30u);
    Font_faceRelease(child);
}

} // namespace
