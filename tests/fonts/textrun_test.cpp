// Text runs: character tables over a fake two-font list (fallback, collapsed
// spaces, hidden formatting characters, the buffer's size), chunked
// measurement, extents, glyph paths of both byte kinds, decoration offsets
// and a text item of the box font drawn into a 565 bitmap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/glyphcache.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "fonts/glyphdraw.h"
#include "graphics/glyphmask.h"
#include "fonts/glyphrun.h"
#include "graphics/glyphpath.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "tests/graphics/raster_support.h"

namespace {

// A fake font list: font 0 maps the ASCII letters, font 1 the digits;
// advances are 1000 (font 0) and 2000 (font 1) glyph units, a space 500;
// every metrics call's character count is noted.
struct FakeFonts {
    FontList list{};
    FontListOwner owner{};
    std::vector<uint32_t> metricCalls;
    std::vector<int> prepared;
};

FakeFonts *fakeOf(FontList *l)
{
    return reinterpret_cast<FakeFonts *>(l);
}

int fakeMap(FontList *, uint32_t font, const char16_t *chars, uint32_t n, uint16_t *glyphs,
            uint8_t *fonts, uint32_t *unmapped)
{
    for (uint32_t i = 0; i < n; i++) {
        char16_t c = chars[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ';
        bool digit = c >= '0' && c <= '9';
        if (glyphs[i] != 0 || !(font == 0 ? letter : digit))
            continue;
        glyphs[i] = uint16_t(c);
        fonts[i] = uint8_t(font);
        --*unmapped;
    }
    return 0;
}

int textRunFakePrepare(FontList *l, uint32_t font, const char16_t *, const uint16_t *,
                       const uint8_t *, uint32_t)
{
    fakeOf(l)->prepared.push_back(int(font));
    return 0;
}

int fakeMetrics(FontList *l, uint32_t font, const uint16_t *glyphs, uint32_t n,
                const uint8_t *fonts, uint16_t *first, uint16_t *advances)
{
    fakeOf(l)->metricCalls.push_back(n);
    for (uint32_t i = 0; i < n; i++)
        if ((fonts[i] & 7) == font) {
            first[i] = 7;
            advances[i] = glyphs[i] == ' ' ? 500 : font == 0 ? 1000 : 2000;
        }
    return 0;
}

constexpr TextFontOps fakeOps = {fakeMap,     nullptr, textRunFakePrepare,
                                 fakeMetrics, nullptr, nullptr};

class TextRunTest : public RasterTest {
  protected:
    void TearDown() override
    {
        TextRun_freeCharTable(&fake.owner);
        RasterTest::TearDown();
    }
    FontList *fakeList()
    {
        fake.list.hScale = fake.list.vScale = 0x10000;
        fake.list.baseMatrix = *Matrix_identity();
        fake.list.averageAdvance = 1000;
        fake.list.fontCount = 2;
        for (uint32_t f = 0; f < 2; f++)
            fake.list.fonts[f] =
                TextFont{&fakeOps, nullptr, f,       0, 12000 + int32_t(f) * 2000, -3000, 12000,
                         -2000,    600,     0x10000, 0};
        fake.list.owner = &fake.owner;
        return &fake.list;
    }
    FakeFonts fake;
};

struct Table {
    const uint8_t *fonts = nullptr;
    const uint16_t *glyphs = nullptr, *first = nullptr, *advances = nullptr;
    const char16_t *chars = nullptr;
    uint32_t mask = 0, n = 0;
};

Table textRunBuild(FontList *l, uint32_t flags, const std::u16string &s)
{
    Table t;
    EXPECT_EQ(TextRun_buildCharTable(l, flags, s.data(), uint32_t(s.size()), &t.fonts, &t.glyphs,
                                     &t.first, &t.advances, &t.chars, &t.mask, &t.n),
              Res_ok);
    return t;
}

TEST_F(TextRunTest, CharacterTableFallbackAndHiddenCharacters)
{
    FontList *l = fakeList();
    // A letter, a digit (font 1), a character no font maps (font 0, bit 0).
    Table t = textRunBuild(l, 0, u"a1\u00e9");
    ASSERT_EQ(t.n, 3u);
    EXPECT_EQ(t.mask, 3u);
    EXPECT_EQ(t.fonts[0], 0);
    EXPECT_EQ(t.fonts[1], 1);
    EXPECT_EQ(t.fonts[2], 0);
    EXPECT_EQ(t.advances[1], 2000);
    EXPECT_EQ(fake.prepared, (std::vector<int>{0, 1}));
    t = textRunBuild(l, 0, u"12");
    EXPECT_EQ(t.mask, 2u);

    // Collapsed white space: the first of a run becomes a space, the rest
    // are hidden and take no room.
    t = textRunBuild(l, CharTable_collapseSpace, u"a \t\nb");
    EXPECT_EQ(t.chars[1], u' ');
    EXPECT_EQ(t.glyphs[1], ' ');
    for (int i = 2; i < 4; i++) {
        EXPECT_EQ(t.glyphs[i], CharTable_noGlyph) << i;
        EXPECT_EQ(t.advances[i], 0) << i;
    }
    t = textRunBuild(l, 0, u"a  b");
    EXPECT_EQ(t.glyphs[2], ' ');

    // Direction marks anywhere and a joiner at the end are hidden; a
    // joiner inside is not.
    t = textRunBuild(l, 0, u"a\u200eb\u200dc\u200d");
    EXPECT_EQ(t.glyphs[1], CharTable_noGlyph);
    EXPECT_NE(t.glyphs[3], CharTable_noGlyph);
    EXPECT_EQ(t.glyphs[5], CharTable_noGlyph);

    // 15 characters take 135 bytes: the buffer is 256.
    TextRun_freeCharTable(&fake.owner);
    textRunBuild(l, 0, u"abcdefghijklmno");
    EXPECT_EQ(fake.owner.charTableCapacity, 256u);
    textRunBuild(l, 0, u"ab");
    EXPECT_EQ(fake.owner.charTableCapacity, 256u); // never shrinks
}

TEST_F(TextRunTest, MeasurementChunksAndExtents)
{
    FontList *l = fakeList();
    const int32_t size = 12 << 16;
    const int64_t unit = (size + 9) / 18;
    Rect r{};
    uint32_t fitted = 99;
    EXPECT_EQ(TextRun_measureFit(l, size, 0, nullptr, u"", 0, 0, 0, 0x7FFFFFFF, &fitted, &r),
              Res_ok);
    EXPECT_EQ(fitted, 0u);
    EXPECT_TRUE(Rect_equal(&r, &(const Rect &)Rect{0, 0, 0, 0}));

    // No limit: all fit; width and the ascent of the fonts used.
    ASSERT_EQ(TextRun_measureFit(l, size, 0, nullptr, u"ab1", 3, 0, 0, 0x7FFFFFFF, &fitted, &r),
              Res_ok);
    EXPECT_EQ(fitted, 3u);
    EXPECT_EQ(r.x0, 0);
    EXPECT_EQ(r.x1, int32_t(4000 * unit / 65536));
    EXPECT_EQ(r.y1, int32_t(int64_t(size) * 14000 / 0x120000));
    EXPECT_EQ(r.y0, int32_t(int64_t(size) * -3000 / 0x120000));

    // 200 characters of which 30 fit: measured from the estimated chunk,
    // never all 200 at once.
    std::u16string line(200, u'x');
    int32_t limit = int32_t(30 * 1000 * unit / 65536) + 1;
    fake.metricCalls.clear();
    ASSERT_EQ(TextRun_measureFit(l, size, 0, nullptr, line.data(), 200, 0, 0, limit, &fitted, &r),
              Res_ok);
    EXPECT_EQ(fitted, 30u);
    ASSERT_FALSE(fake.metricCalls.empty());
    for (uint32_t n : fake.metricCalls)
        EXPECT_LT(n, 200u);
    EXPECT_EQ(fake.metricCalls.front(), 50u); // e = 30, widened to the 50 minimum

    // Word and character spacing add per character (word spacing on spaces).
    Rect spaced{};
    int32_t spacing = int32_t(100 * unit / 65536);
    ASSERT_EQ(TextRun_measureFit(l, size, 0, nullptr, u"a b", 3, 0, spacing, 0x7FFFFFFF, nullptr,
                                 &spaced),
              Res_ok);
    EXPECT_NEAR(spaced.x1, (2500 + 100) * unit / 65536, 1);
}

TEST_F(TextRunTest, ExtentOfAZeroAdvanceStartAndScaling)
{
    FontList *l = fakeList();
    const int32_t size = 12 << 16;
    const int64_t unit = (size + 9) / 18;
    // A hidden first character has advance 0: the extent starts left.
    Rect r{};
    ASSERT_EQ(TextRun_measureFit(l, size, 0, nullptr, u"\u200ea", 2, 0, 0, 0x7FFFFFFF, nullptr, &r),
              Res_ok);
    EXPECT_EQ(r.x0, -int32_t(4096 * unit / 65536));
    // Overline and underlines widen the extent.
    const int32_t style[2] = {2, 100};
    Rect d{};
    ASSERT_EQ(TextRun_measureFit(l, size, TextStyle_overline | TextStyle_underline, style, u"a", 1,
                                 0, 0, 0x7FFFFFFF, nullptr, &d),
              Res_ok);
    EXPECT_EQ(d.y0, std::min(int32_t(int64_t(size) * -3000 / 0x120000),
                             int32_t(-2000 * unit / 65536 - 100 * 3)));
    EXPECT_EQ(d.y1, int32_t(std::max<int64_t>(int64_t(size) * 12000 / 0x120000,
                                              12000 * unit / 65536 + 100)));
    const int32_t many[2] = {9, 100};
    ASSERT_EQ(TextRun_measureFit(l, size, TextStyle_underline, many, u"a", 1, 0, 0, 0x7FFFFFFF,
                                 nullptr, &d),
              Res_ok);
    EXPECT_EQ(d.y0, int32_t(-2000 * unit / 65536 - 100 * 17));

    Rect s{-3, -1, 3, 5};
    Rect_scaleOutward(&s, 0x8000);
    EXPECT_TRUE(Rect_equal(&s, &(const Rect &)Rect{-2, -1, 2, 3}));
    const uint16_t adv[4] = {10, 0, 5, 7};
    EXPECT_EQ(TextRun_width(u"a\u200d b", 4, 1, 100, adv), 10 + 1 + 5 + 1 + 100 + 7 + 1);
}

TEST_F(TextRunTest, DecorationOffsets)
{
    TextFont font{};
    font.upperDecoration = 12000;
    font.underlinePosition = -2000;
    font.decorationThickness = 800;
    const int32_t em = 16384 * 4;
    DecorationState s;
    Decoration_setup(&s, &font, em, TextStyle_underline, 2, 10);
    EXPECT_EQ(s.n, 2u);
    EXPECT_EQ(s.offsets[0], -8000 - 10);
    EXPECT_EQ(s.offsets[1], -8000 - 30);
    Decoration_setup(&s, &font, em, TextStyle_underline | TextStyle_overline | TextStyle_strike, 2,
                     0);
    EXPECT_EQ(s.n, 4u);
    EXPECT_EQ(s.t, 3200);
    EXPECT_EQ(s.offsets[0], 48000 / 3 - 3200);
    EXPECT_EQ(s.offsets[1], 48000 - 3200);
    EXPECT_EQ(s.offsets[2], -8000 - 3200);
    EXPECT_EQ(s.offsets[3], -8000 - 3 * 3200);
    Decoration_setup(&s, &font, em, TextStyle_underline | TextStyle_strike, 9, 1);
    EXPECT_EQ(s.n, 7u);
    Decoration_setup(&s, &font, em, TextStyle_overline, 0, 1);
    EXPECT_EQ(s.n, 1u);
    EXPECT_EQ(s.offsets[0], 48000 - 1);
}

// Path elements as words after the header words of each element.
std::vector<int32_t> words(const Path *p)
{
    return std::vector<int32_t>(p->buffer, p->write);
}

TEST_F(TextRunTest, GlyphPathsOfBothByteKinds)
{
    // Four off-curve points: four quadratic curves through the midpoints
    // and a close.
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindPoints), Res_ok);
    ASSERT_EQ(GlyphPath_reserve(o, 12), Res_ok);
    const uint8_t recs[] = {0x00, 0, 10, 0x00, 10, 246, 0x00, 246, 246, 0x02 | 0x08, 246, 10};
    memcpy(o->bytes, recs, sizeof recs);
    o->lastStart = 9;
    o->lastSize = 3;
    Path *got = nullptr;
    ASSERT_EQ(GlyphPath_toPath(o, &got), Res_ok);
    Path *want = nullptr;
    ASSERT_EQ(Path_create(&want, 0x10000), Res_ok);
    // Points (0,10), (10,0), (0,-10), (-10,0).
    ASSERT_EQ(Path_moveTo(want, 5, 5), Res_ok);
    ASSERT_EQ(Path_quadTo(want, 10, 0, 5, -5), Res_ok);
    ASSERT_EQ(Path_quadTo(want, 0, -10, -5, -5), Res_ok);
    ASSERT_EQ(Path_quadTo(want, -10, 0, -5, 5), Res_ok);
    ASSERT_EQ(Path_quadTo(want, 0, 10, 5, 5), Res_ok);
    ASSERT_EQ(Path_close(want), Res_ok);
    EXPECT_EQ(words(got), words(want));
    EXPECT_EQ(got->count, want->count);
    Path_destroy(got);
    GlyphPath_destroy(o);

    // Byte codes: the missing box gives two closed rectangles.
    o = GlyphPath_missingGlyph(16384);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(GlyphPath_toPath(o, &got), Res_ok);
    Path_reset(want);
    const Rect outer = {256, 0, 1280, 1280}, inner = {288, 32, 1248, 1248};
    ASSERT_EQ(Path_moveTo(want, 256, 0), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 256, 1280), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 1280, 1280), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 1280, 0), Res_ok);
    ASSERT_EQ(Path_close(want), Res_ok);
    ASSERT_EQ(Path_moveTo(want, 288, 32), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 1248, 32), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 1248, 1248), Res_ok);
    ASSERT_EQ(Path_lineTo(want, 288, 1248), Res_ok);
    ASSERT_EQ(Path_close(want), Res_ok);
    (void)outer;
    (void)inner;
    EXPECT_EQ(words(got), words(want));
    Path_destroy(got);
    GlyphPath_destroy(o);

    // An outline of only the end code, and none at all, give empty paths.
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_end(o), Res_ok);
    ASSERT_EQ(GlyphPath_toPath(o, &got), Res_ok);
    EXPECT_EQ(got->count, 0u);
    Path_destroy(got);
    GlyphPath_destroy(o);
    ASSERT_EQ(GlyphPath_toPath(nullptr, &got), Res_ok);
    EXPECT_EQ(got->count, 0u);
    Path_destroy(got);
    Path_destroy(want);
}

// A walk callback that notes indices and answers 266 for the first glyph.
int noteGlyph(GlyphWalk *walk)
{
    auto *seen = static_cast<std::vector<uint32_t> *>(walk->data);
    seen->push_back(walk->index);
    return seen->size() == 1 ? Res_pathEmptyArea : Res_ok;
}

TEST_F(TextRunTest, WalkOrderSpacesAndCallbackResults)
{
    FontList *l = fakeList();
    std::vector<uint32_t> seen;
    ASSERT_EQ(TextRun_walk(l, 12 << 16, 0, nullptr, u"ab c", 4, 0, 0, nullptr, nullptr, nullptr, 0,
                           noteGlyph, &seen),
              Res_ok);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 3}));
    seen.clear();
    ASSERT_EQ(TextRun_walk(l, 12 << 16, TextStyle_rightToLeft, nullptr, u"ab c", 4, 0, 0, nullptr,
                           nullptr, nullptr, 0, noteGlyph, &seen),
              Res_ok);
    EXPECT_EQ(seen, (std::vector<uint32_t>{3, 1, 0}));
    // A clip that holds only the second glyph: the first is culled, the
    // walk stops after it.
    seen.clear();
    const int32_t size = 12 << 16;
    const int64_t unit = (size + 9) / 18;
    Matrix toPixels = {int32_t(65536LL * 65536 / (1000 * unit)), 0, 0,
                       int32_t(65536LL * 65536 / (1000 * unit)), 0, 0};
    Rect clip = {1, -5, 2, 20}; // one glyph (1000 units) is one pixel
    ASSERT_EQ(TextRun_walk(l, size, 0, nullptr, u"abcdef", 6, 0, 0, &toPixels, &clip, nullptr, 0,
                           noteGlyph, &seen),
              Res_ok);
    ASSERT_FALSE(seen.empty());
    EXPECT_LE(seen.size(), 3u);
    EXPECT_LE(seen.back(), 2u);
}

// Puts an empty mask into the cache for every glyph a walk draws, keyed
// as drawing keys it.
int cacheGlyph(GlyphWalk *walk)
{
    Matrix m = walk->glyphMatrix;
    Matrix_concat(&m, walk->runMatrix);
    LruMaskKey key{walk->glyph, m.a, m.b, m.c, m.d, 0, 0x10000};
    GlyphMask empty{};
    GlyphMask *p = &empty;
    LruArena_insert(walk->list->caches->masks, walk->list->fonts[walk->font].cacheId, &key, &p);
    return 0;
}

TEST_F(TextRunTest, CostEstimateWeighsCacheHitsAndMisses)
{
    FontList *l = fakeList();
    const int32_t weights[2] = {1, 10};
    int64_t total = -1;
    // No caches: every drawn glyph (spaces are not) is a miss.
    ASSERT_EQ(TextRun_estimateCost(l, 12 << 16, 0, nullptr, u"ab c", 4, 0, 0, Matrix_identity(),
                                   nullptr, nullptr, weights, &total),
              Res_ok);
    EXPECT_EQ(total, 30);
    FontCaches caches{};
    ASSERT_EQ(LruArena_resize(64, &caches.masks), Res_ok);
    l->caches = &caches;
    ASSERT_EQ(TextRun_walk(l, 12 << 16, 0, nullptr, u"ab", 2, 0, 0, Matrix_identity(), nullptr,
                           nullptr, 0, cacheGlyph, nullptr),
              Res_ok);
    // 'a' and 'b' cached, 'c' not; the flags' low bits do not matter.
    for (uint32_t flags : {0u, 7u}) {
        ASSERT_EQ(TextRun_estimateCost(l, 12 << 16, flags, nullptr, u"ab c", 4, 0, 0,
                                       Matrix_identity(), nullptr, nullptr, weights, &total),
                  Res_ok);
        EXPECT_EQ(total, 12) << flags;
    }
    ASSERT_EQ(TextRun_estimateCost(l, 12 << 16, 0, nullptr, u"", 0, 0, 0, Matrix_identity(),
                                   nullptr, nullptr, weights, &total),
              Res_ok);
    EXPECT_EQ(total, 0);
    l->caches = nullptr;
    LruArena_destroy(caches.masks);
}

TEST_F(TextRunTest, TextRecordFreesItsBlockThenItself)
{
    void **record = static_cast<void **>(Mem_malloc(2 * sizeof(void *)));
    ASSERT_NE(record, nullptr);
    record[0] = Mem_malloc(40);
    record[1] = nullptr;
    TextItem_free(record); // the leak check sees both go
    void **empty = static_cast<void **>(Mem_calloc(1, sizeof(void *)));
    TextItem_free(empty);
    TextItem_free(nullptr);
}

// "Hello, world" in the box font as a text item: every non-space character
// is the hollow box at its pen position, spaces nothing.
TEST_F(TextRunTest, BoxFontTextItemDrawsHollowBoxes)
{
    FontList *fonts = nullptr;
    ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &fonts), Res_ok);
    const std::u16string text = u"Hello, world";
    const int32_t w = 240, h = 40;
    Bitmap *b = bitmap(w, h, Pixel_format565);
    ObjHeader *item = Obj_create(&TextItem_class, 0);
    ASSERT_NE(item, nullptr);
    TextItemPart *p = static_cast<TextItemPart *>(Obj_part(item));
    // 24 points at 72 pixels an inch: an em is 24 pixels.
    const int32_t size = 24 << 16;
    p->base = ObjTextPart{fonts, size, 0, nullptr, 0, 0, text.data(), 0, uint32_t(text.size())};
    p->colour = 0xFF000000; // opaque black
    p->baseline = 0;
    Rect box = {0, 0, 1, 1};
    Obj_setBox(item, &box);
    // Document units (1/65536 inch) to pixels at 72 dpi, the baseline 30
    // pixels down a y-up page of 40 rows: y 10 from the bottom.
    Matrix m = {72, 0, 0, 72, 4, 10};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            memset(Bitmap_firstRow(b) + y * b->stride + x * 2, 0xFF, 2);
    DrawTarget target{b, nullptr, 0, 0};
    const ObjItemOps *ops = static_cast<const ObjItemOps *>(TextItem_class.ops);
    ASSERT_EQ(ops->draw(nullptr, item, nullptr, &m, &target, nullptr, 0), Res_ok);

    // The reference: box font metrics in pixels. A glyph unit is
    // 24/16384 pixels and an outline unit 8 of them (3/256 pixel): the box
    // runs from pen + 3 to pen + 15 across and from the baseline to 15
    // above it, its border 0.375 pixel wide. Pens fall on whole pixels.
    const double advance = 12744 * 24.0 / 16384;
    auto inked = [&](int x, int yUp) { return pixel16(b, h - 1 - yUp, x) != 0xFFFF; };
    for (size_t i = 0; i < text.size(); i++) {
        int pen = int(4 + i * advance + 0.5);
        bool letter = text[i] != u' ';
        for (int y = 10; y < 25; y++) {
            EXPECT_EQ(inked(pen + 3, y), letter) << "glyph " << i << " y " << y;
            EXPECT_EQ(inked(pen + 14, y), letter) << "glyph " << i << " y " << y;
            for (int x = pen + 4; x < pen + 14; x++)
                EXPECT_EQ(inked(x, y), letter && (y == 10 || y == 24))
                    << "glyph " << i << " " << x << "," << y;
        }
        EXPECT_FALSE(inked(pen + 2, 17));
        EXPECT_FALSE(inked(pen + 15, 17));
    }
    // Nothing right of the run or above the boxes.
    for (int x = int(4 + 12 * advance) + 4; x < w; x++)
        EXPECT_FALSE(inked(x, 20)) << x;
    for (int x = 0; x < w; x++)
        EXPECT_FALSE(inked(x, 35)) << x;

    // The mask route and the path route draw the same.
    std::vector<uint8_t> viaMasks = bytes(b);
    fonts->fonts[0].wantsMasks = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            memset(Bitmap_firstRow(b) + y * b->stride + x * 2, 0xFF, 2);
    ASSERT_EQ(ops->draw(nullptr, item, nullptr, &m, &target, nullptr, 0), Res_ok);
    int differ = 0;
    std::vector<uint8_t> viaPaths = bytes(b);
    for (size_t i = 0; i < viaPaths.size(); i += 2)
        differ += viaPaths[i] != viaMasks[i] || viaPaths[i + 1] != viaMasks[i + 1];
    EXPECT_EQ(differ, 0);

    // A bitmap whose own scale is 72 pixels an inch, drawn with the
    // identity matrix (as the display manager draws pages), shows the same
    // glyphs as the matrix that scales to 72 pixels an inch, by either route.
    for (int wantsMasks = 0; wantsMasks < 2; wantsMasks++) {
        fonts->fonts[0].wantsMasks = uint8_t(wantsMasks);
        Bitmap *own = bitmap(w, h, Pixel_format565, 72);
        Matrix byScale = {65536, 0, 0, 65536, 0, 0};
        Matrix byMatrix = {72, 0, 0, 72, 0, 0};
        for (Bitmap *t : {b, own})
            for (int y = 0; y < h; y++)
                memset(Bitmap_firstRow(t) + y * t->stride, 0xFF, size_t(w) * 2);
        DrawTarget ownTarget{own, nullptr, 0, 0};
        ASSERT_EQ(ops->draw(nullptr, item, nullptr, &byMatrix, &target, nullptr, 0), Res_ok);
        ASSERT_EQ(ops->draw(nullptr, item, nullptr, &byScale, &ownTarget, nullptr, 0), Res_ok);
        std::vector<uint8_t> a = bytes(own), e = bytes(b);
        int inkA = 0, inkE = 0, differ = 0;
        for (size_t i = 0; i < a.size(); i += 2) {
            inkA += a[i] != 0xFF || a[i + 1] != 0xFF;
            inkE += e[i] != 0xFF || e[i + 1] != 0xFF;
            differ += a[i] != e[i] || a[i + 1] != e[i + 1];
        }
        // The same ink; masks land on exactly the same pixels, paths may
        // differ at anti-aliased edges (the 16.16 matrix is coarser).
        EXPECT_NEAR(inkA, inkE, inkE / 20) << "masks " << wantsMasks;
        if (wantsMasks) {
            EXPECT_EQ(differ, 0);
        }
    }

    // A clip (in document units) over the second word only: the first
    // word's glyphs are culled, the second's drawn.
    for (int y = 0; y < h; y++)
        memset(Bitmap_firstRow(b) + y * b->stride, 0xFF, size_t(w) * 2);
    const int32_t perPixel = 65536 / 72;
    const Rect clip = {int32_t(8 * advance) * perPixel, -10 * perPixel, w * perPixel, h * perPixel};
    ASSERT_EQ(ops->draw(nullptr, item, &clip, &m, &target, nullptr, 0), Res_ok);
    for (int x = 0; x < int(4 + 6 * advance); x++)
        for (int y = 0; y < h; y++)
            EXPECT_FALSE(inked(x, y)) << x << "," << y;
    int later = 0;
    for (int x = int(4 + 8 * advance); x < w; x++)
        later += inked(x, 10);
    EXPECT_GT(later, 0);

    // Bounds: the run's extent at the pen.
    Rect bounds{};
    ASSERT_EQ(ops->bounds(nullptr, item, &bounds), Res_ok);
    EXPECT_EQ(bounds.x0, 0);
    EXPECT_NEAR(bounds.x1, 12LL * 12744 * ((size + 9) / 18) / 65536, 2);
    Obj_destroy(item);
    Font_listRelease(fonts);
}

// Underlines and strike-through in segments that skip the spaces.
TEST_F(TextRunTest, DecorationsSkipSpaces)
{
    FontList *fonts = nullptr;
    ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &fonts), Res_ok);
    const int32_t w = 120, h = 40;
    Bitmap *b = bitmap(w, h, Pixel_format565);
    for (int y = 0; y < h; y++)
        memset(Bitmap_firstRow(b) + y * b->stride, 0xFF, size_t(w) * 2);
    DrawTarget target{b, nullptr, 0, 0};
    Matrix m = {72, 0, 0, 72, 4, 10};
    const int32_t style[2] = {1, 0};
    // 24 points: the underline (position -1600, thickness 800 of 16384 em)
    // lies 3.5 to 2.3 pixels below the baseline: y-up row 7 is covered.
    ASSERT_EQ(TextRun_outline(fonts, 24 << 16, TextStyle_underline | TextStyle_strike, style,
                              u"ab cd", 5, 0, 0, &m, nullptr, &target, 0xFF000000),
              Res_ok);
    auto inked = [&](int x, int yUp) { return pixel16(b, h - 1 - yUp, x) != 0xFFFF; };
    const double advance = 12744 * 24.0 / 16384;
    for (int x = 5; x < int(4 + 2 * advance) - 1; x++)
        EXPECT_TRUE(inked(x, 7)) << x;
    for (int x = int(4 + 2 * advance) + 2; x < int(4 + 3 * advance) - 1; x++) {
        EXPECT_FALSE(inked(x, 7)) << x;
        EXPECT_FALSE(inked(x, 12)) << x;
    }
    for (int x = int(4 + 3 * advance) + 1; x < int(4 + 5 * advance) - 1; x++)
        EXPECT_TRUE(inked(x, 7)) << x;
    // Nothing far below the underline.
    for (int x = 0; x < w; x++)
        EXPECT_FALSE(inked(x, 3)) << x;
    Font_listRelease(fonts);
}

// A transformer of the first font rewrites the run; a run object that
// needs more room than the characters makes the table grow and convert
// again.
struct Doubler {
    TextTransformer base;
    int converts;
};

int doublerBegin(TextTransformer *, const char16_t *chars, uint32_t count, void **run)
{
    static_assert(sizeof(void *) >= sizeof(uintptr_t));
    *run = const_cast<char16_t *>(chars);
    (void)count;
    return 0;
}

Doubler *activeDoubler = nullptr;

int doublerConvert(void *run, char16_t *chars, uint16_t *, uint8_t *, uint32_t capacity,
                   uint32_t *count)
{
    activeDoubler->converts++;
    const char16_t *in = static_cast<const char16_t *>(run);
    *count = 4;
    if (capacity >= 4)
        for (uint32_t i = 0; i < 4; i++)
            chars[i] = in[i / 2];
    return 0;
}

void doublerEnd(void *) {}

TEST_F(TextRunTest, TransformerRewritesTheRun)
{
    FontList *l = fakeList();
    Doubler d{{doublerBegin, doublerConvert, doublerEnd}, 0};
    activeDoubler = &d;
    l->transformer = &d.base;
    Table t = textRunBuild(l, 0, u"ab");
    ASSERT_EQ(t.n, 4u);
    EXPECT_EQ(std::u16string(t.chars, 4), u"aabb");
    EXPECT_EQ(d.converts, 2);
    // Kinds 48 and 50 take no transformer.
    l->fonts[0].kind = 48;
    t = textRunBuild(l, 0, u"ab");
    EXPECT_EQ(t.n, 2u);
    activeDoubler = nullptr;
}

// Glyph-run items measure and bound their runs through the text runs.
TEST_F(TextRunTest, GlyphRunItemsBoundAndMeasureTheirRuns)
{
    FontList *l = fakeList();
    const int32_t size = 12 << 16;
    GlyphRunWriter w;
    GlyphRun_writerInit(&w);
    ASSERT_EQ(GlyphRun_addText(&w, 100, 0, u"ab", 2), 0);
    ASSERT_EQ(GlyphRun_addText(&w, 5000000, -300000, u"cd", 2), 0);
    ASSERT_EQ(GlyphRun_plugHole(&w), 0);
    ObjHeader *item = Obj_create(&GlyphRunItem_class, 0);
    ASSERT_NE(item, nullptr);
    GlyphRunItemPart *p = static_cast<GlyphRunItemPart *>(Obj_part(item));
    p->fonts = l;
    p->size = size;
    p->bytes = w.buffer;
    p->length = w.pos;
    Rect one{};
    ASSERT_EQ(TextRun_measureFit(l, size, 0, nullptr, u"ab", 2, 0, 0, 0x7FFFFFFF, nullptr, &one),
              0);
    Rect all{};
    ASSERT_EQ(GlyphRunItem_bounds(nullptr, item, &all), 0);
    EXPECT_EQ(all.x0, 100 + one.x0);
    EXPECT_EQ(all.x1, 5000000 + one.x1);
    EXPECT_EQ(all.y1, 300000 + one.y1) << "the writer's y grows downward";
    // Placed and unplaced measures differ by the run's position.
    GlyphRunCursor *c = GlyphRunCursor_new(item);
    ASSERT_NE(c, nullptr);
    const char16_t *chars = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(GlyphRunCursor_next(c, &chars, &n), 1);
    ASSERT_EQ(GlyphRunCursor_next(c, &chars, &n), 1);
    Rect placed{}, pen{};
    Point at{};
    ASSERT_EQ(GlyphRunCursor_measure(c, item, &placed, nullptr, nullptr, &at, 1), 0);
    ASSERT_EQ(GlyphRunCursor_measure(c, item, &pen, nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(placed.x0 - pen.x0, at.x);
    EXPECT_EQ(placed.y1 - pen.y1, at.y);
    EXPECT_EQ(at.x, 5000000);
    GlyphRunCursor_free(c);
    Obj_destroy(item);
    GlyphRun_writerFree(&w);
}

} // namespace
