// Drawing lists: the entry words the builder writes, reading them back,
// the box words of the bounds walk and the comparison; a list drawn band by
// band shows exactly the pixels that drawing it at once puts there, whatever
// entries a band skips by their coarse boxes (fills, wide and hairline pens,
// long miter spikes, curves, entries on the list's edges), at several
// placements.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/result.h"
#include "graphics/drawlist.h"
#include "graphics/keptpath.h"
#include "graphics/path.h"
#include "core/mem/mem.h"
#include "tests/graphics/render_support.h"
#include "tests/support/heap_fixture.h"

namespace {

Path *square(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    Path *p = nullptr;
    EXPECT_EQ(Path_create(&p, 0x10000), 0);
    Rect r{x0, y0, x1, y1};
    EXPECT_EQ(Path_addRect(p, &r), 0);
    return p;
}

DrawPaint fillOnly(uint32_t colour)
{
    DrawPaint p = DrawPaint_defaults;
    p.fillColour = colour;
    p.strokeColour = 0;
    return p;
}

class DrawListTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest<>::SetUp();
        DrawStyle_init(&style);
    }
    void TearDown() override
    {
        DrawStyle_free(&style);
        LeakCheckedHeapTest<>::TearDown();
    }
    DrawStyle style{};
};

TEST_F(DrawListTest, OpaqueBlackWritesNoColourWords)
{
    Path *p = square(0, 0, 100, 100);
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &DrawPaint_defaults), 0);
    EXPECT_TRUE(Path_isEmpty(p)) << "the caller's path is emptied";
    uint32_t header = uint32_t(style.words[0]);
    EXPECT_EQ(header & 3u, 0u) << "no colour words";
    EXPECT_TRUE(header & 4u) << "the outline is drawn";
    EXPECT_EQ((header >> 15) & 0xFFu, 5u) << "move, three lines, close";
    uint32_t pathWords = header >> 23;
    EXPECT_GT(pathWords, 0u);
    EXPECT_EQ(style.used, 2 + pathWords) << "header, box word and the path only";
    EXPECT_EQ(style.words[1], 0);
    EXPECT_EQ(style.capacity, 16384u);
    Path_destroy(p);
}

TEST_F(DrawListTest, InvisiblePaintLeavesItsBitsClear)
{
    Path *p = square(0, 0, 10, 10);
    DrawPaint paint = DrawPaint_defaults;
    paint.fillColour = 0x00FF0000u; // alpha 0
    paint.fillRule = 1;
    paint.strokeColour = 0x000000FFu; // alpha 0
    paint.penWidth = 5;
    paint.penFlags = 0x7F;
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &paint), 0);
    uint32_t header = uint32_t(style.words[0]);
    EXPECT_EQ(header & 0x7FFFu, 3u) << "only the two colour words";
    EXPECT_EQ(uint32_t(style.words[2]), 0x00FF0000u);
    EXPECT_EQ(uint32_t(style.words[3]), 0x000000FFu);
    Path_destroy(p);
}

TEST_F(DrawListTest, PaintWordsOnlyWhenTheyChange)
{
    Path *p = square(0, 0, 10, 10);
    DrawPaint red = fillOnly(0xFF0000FFu);
    red.fillRule = 1;
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &red), 0);
    uint32_t first = style.used;
    Path *q = square(5, 5, 20, 20);
    ASSERT_EQ(DrawStyle_appendPath(&style, q, &red), 0);
    uint32_t header = uint32_t(style.words[first]);
    EXPECT_EQ(header & 0x7FFFu, 8u) << "no paint words, even-odd kept";
    // Reading back gives both paints and the two paths.
    const int32_t *cursor = style.words;
    DrawPaint read = DrawPaint_defaults;
    Path view{};
    DrawStyle_readEntry(&cursor, &view, &read);
    EXPECT_EQ(read.fillColour, 0xFF0000FFu);
    EXPECT_EQ(read.strokeColour, 0u);
    EXPECT_EQ(read.fillRule, 1u);
    EXPECT_EQ(view.state, uint32_t(Path_statePacked));
    EXPECT_EQ(view.count, 5u);
    DrawStyle_readEntry(&cursor, &view, &read);
    EXPECT_EQ(read.fillColour, 0xFF0000FFu);
    EXPECT_EQ(cursor, style.words + style.used);
    Path_destroy(p);
    Path_destroy(q);
}

TEST_F(DrawListTest, PenWordsRoundTrip)
{
    Path *p = square(0, 0, 10, 10);
    DrawPaint pen = DrawPaint_defaults;
    pen.fillColour = 0;
    pen.strokeColour = 0xFF00FF00u;
    pen.penFlags = 1u | 3u << 3; // at least one pixel, arrow at the start
    pen.penWidth = 3 << 16;
    pen.penParam6 = 7;
    pen.penParam7 = 9;
    pen.penParam8 = 11;
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &pen), 0);
    uint32_t header = uint32_t(style.words[0]);
    EXPECT_EQ(header & 0x7FFFu, 1u | 2u | 4u | 16u | 32u | 3u << 9 | 1u << 13 | 1u << 14);
    // fill, stroke, width, param7, param6
    EXPECT_EQ(style.words[2], 0);
    EXPECT_EQ(uint32_t(style.words[3]), 0xFF00FF00u);
    EXPECT_EQ(style.words[4], 3 << 16);
    EXPECT_EQ(style.words[5], 9);
    EXPECT_EQ(style.words[6], 7);
    const int32_t *cursor = style.words;
    DrawPaint read = DrawPaint_defaults;
    read.penParam8 = 99;
    Path view{};
    DrawStyle_readEntry(&cursor, &view, &read);
    EXPECT_EQ(read.penFlags, pen.penFlags);
    EXPECT_EQ(read.penWidth, pen.penWidth);
    EXPECT_EQ(read.penParam6, 7);
    EXPECT_EQ(read.penParam7, 9);
    EXPECT_EQ(read.penParam8, 0) << "the reader clears the dash word";
    Path_destroy(p);
}

TEST_F(DrawListTest, LongPathWritesBothCountsAsWords)
{
    Path *p = nullptr;
    ASSERT_EQ(Path_create(&p, 0x10000), 0);
    ASSERT_EQ(Path_moveTo(p, 0, 0), 0);
    for (int i = 1; i < 300; i++)
        ASSERT_EQ(Path_lineTo(p, (i & 1) ? 0x40000000 : 0, i * 0x100000), 0);
    DrawPaint paint = fillOnly(0xFF000000u);
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &paint), 0);
    uint32_t header = uint32_t(style.words[0]);
    EXPECT_EQ(header >> 15, 0u) << "bits 15-31 all 0";
    EXPECT_EQ(style.words[2], 0) << "the stroke colour word";
    EXPECT_EQ(style.words[3], 300);
    EXPECT_GE(style.words[4], 512);
    EXPECT_EQ(style.used, uint32_t(5 + style.words[4]));
    const int32_t *cursor = style.words;
    DrawPaint read = DrawPaint_defaults;
    Path view{};
    DrawStyle_readEntry(&cursor, &view, &read);
    EXPECT_EQ(view.count, 300u);
    EXPECT_EQ(view.capacity, uint32_t(style.words[4]));
    Path_destroy(p);
}

TEST_F(DrawListTest, EmptyAndNullPathsAddNothing)
{
    Path *p = nullptr;
    ASSERT_EQ(Path_create(&p, 0x10000), 0);
    EXPECT_EQ(DrawStyle_appendPath(&style, p, &DrawPaint_defaults), 0);
    EXPECT_EQ(DrawStyle_appendPath(&style, nullptr, &DrawPaint_defaults), 0);
    EXPECT_EQ(style.used, 0u);
    EXPECT_EQ(style.words, nullptr);
    Path_destroy(p);
}

TEST_F(DrawListTest, AFullListDoubles)
{
    style.words = static_cast<int32_t *>(Mem_malloc(16384 * sizeof(int32_t)));
    ASSERT_NE(style.words, nullptr);
    style.capacity = style.used = 16384;
    Path *p = square(0, 0, 10, 10);
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &DrawPaint_defaults), 0);
    EXPECT_EQ(style.capacity, 32768u);
    Path_destroy(p);
}

TEST_F(DrawListTest, OutOfMemoryLeavesTheListAndEmptiesThePath)
{
    Path *p = square(0, 0, 10, 10);
    Mem_failAfter(1);
    EXPECT_EQ(DrawStyle_appendPath(&style, p, &DrawPaint_defaults), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(style.used, 0u);
    EXPECT_TRUE(Path_isEmpty(p));
    Path_destroy(p);
}

TEST_F(DrawListTest, BoundsFillTheBoxWords)
{
    Path *p = square(0, 0, 100, 100);
    DrawPaint paint = fillOnly(0xFF0000FFu);
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &paint), 0);
    Rect all{};
    ASSERT_EQ(DrawList_bounds(nullptr, style.words, style.used, &all), 0);
    EXPECT_EQ(all.x0, 0);
    EXPECT_EQ(all.y0, 0);
    EXPECT_EQ(all.x1, 100);
    EXPECT_EQ(all.y1, 100);
    EXPECT_EQ(uint32_t(style.words[1]), 0xFD00FD00u);
    // A second, smaller entry in the upper right quarter.
    Path *q = square(50, 50, 100, 100);
    ASSERT_EQ(DrawStyle_appendPath(&style, q, &paint), 0);
    ASSERT_EQ(DrawList_bounds(nullptr, style.words, style.used, &all), 0);
    const int32_t *cursor = style.words;
    DrawPaint read = DrawPaint_defaults;
    Path view{};
    DrawStyle_readEntry(&cursor, &view, &read);
    uint32_t box = uint32_t(cursor[1]);
    EXPECT_EQ(box & 0xFFu, 126u);
    EXPECT_EQ((box >> 8) & 0xFFu, 253u);
    EXPECT_EQ((box >> 16) & 0xFFu, 126u);
    Path_destroy(p);
    Path_destroy(q);
}

TEST_F(DrawListTest, StrokedEntriesAreBoundedWithTheirPen)
{
    Path *p = square(0, 0, 100, 100);
    DrawPaint paint = DrawPaint_defaults;
    paint.fillColour = 0;
    paint.penWidth = 10;
    paint.penFlags = 2u << 1; // bevel joins
    ASSERT_EQ(DrawStyle_appendPath(&style, p, &paint), 0);
    Rect all{};
    ASSERT_EQ(DrawList_bounds(nullptr, style.words, style.used, &all), 0);
    EXPECT_LE(all.x0, -5);
    EXPECT_GE(all.x1, 105);
    Path_destroy(p);
}

TEST_F(DrawListTest, EqualIgnoresBoxWords)
{
    DrawStyle other;
    DrawStyle_init(&other);
    for (DrawStyle *s : {&style, &other}) {
        Path *p = square(0, 0, 10, 10);
        DrawPaint paint = fillOnly(0xFF102030u);
        ASSERT_EQ(DrawStyle_appendPath(s, p, &paint), 0);
        Path_destroy(p);
    }
    other.words[1] = 0x12345678;
    EXPECT_EQ(DrawList_equal(style.words, other.words, style.used), 0);
    other.words[2] = 0x12;
    EXPECT_EQ(DrawList_equal(style.words, other.words, style.used), 1);
    DrawStyle_free(&other);
}

// A small deterministic sequence (the entries' places and colours).
struct DrawListBandRandom {
    uint32_t state;
    int32_t next(int32_t below)
    {
        state = state * 1103515245u + 12345u;
        return int32_t((state >> 8) % uint32_t(below));
    }
};

class DrawListBandTest : public RenderFixture {
  protected:
    void TearDown() override
    {
        if (item)
            Obj_destroy(item);
        DrawStyle_free(&style);
        RenderFixture::TearDown();
    }

    void add(Path *path, const DrawPaint &paint)
    {
        ASSERT_EQ(DrawStyle_appendPath(&style, path, &paint), 0);
        Path_destroy(path);
    }

    static Path *newPath()
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), 0);
        return p;
    }

    // Many small figures over a w x h pixel area (page units), with the
    // odd cases at its edges and a few figures far larger than a band.
    void build(int32_t w, int32_t h, int figures)
    {
        DrawStyle_init(&style);
        DrawListBandRandom r{7};
        for (int i = 0; i < figures; i++) {
            int32_t x = U(r.next(w)), y = U(r.next(h));
            DrawPaint paint = DrawPaint_defaults;
            paint.fillColour =
                rgba(uint32_t(r.next(256)), uint32_t(r.next(256)), 90, i % 5 ? 255 : 128);
            paint.strokeColour = 0;
            Path *p = newPath();
            switch (i % 5) {
            case 0: { // a filled box
                Rect box{x, y, x + U(1 + r.next(9)), y + U(1 + r.next(9))};
                EXPECT_EQ(Path_addRect(p, &box), 0);
                break;
            }
            case 1: // a hairline, drawn at least a pixel wide
                paint.fillColour = 0;
                paint.strokeColour = rgba(20, 20, 200);
                paint.penWidth = 0;
                paint.penFlags = 1;
                EXPECT_EQ(Path_moveTo(p, x, y), 0);
                EXPECT_EQ(Path_lineTo(p, x + U(r.next(12)), y), 0);
                break;
            case 2: // a wide pen with a sharp miter join
                paint.fillColour = 0;
                paint.strokeColour = rgba(200, 30, 30);
                paint.penWidth = U(3);
                paint.penParam5 = 0x100000; // a miter limit of 16
                EXPECT_EQ(Path_moveTo(p, x, y), 0);
                EXPECT_EQ(Path_lineTo(p, x + U(8), y + U(1)), 0);
                EXPECT_EQ(Path_lineTo(p, x, y + U(2)), 0);
                break;
            case 3: // a curve, filled and outlined
                paint.strokeColour = rgba(0, 120, 0);
                paint.penWidth = U(1);
                EXPECT_EQ(Path_moveTo(p, x, y), 0);
                EXPECT_EQ(Path_curveTo(p, x + U(4), y + U(12), x + U(9), y - U(12), x + U(14), y),
                          0);
                EXPECT_EQ(Path_close(p), 0);
                break;
            default: { // a triangle, half transparent
                EXPECT_EQ(Path_moveTo(p, x, y), 0);
                EXPECT_EQ(Path_lineTo(p, x + U(6), y), 0);
                EXPECT_EQ(Path_lineTo(p, x, y + U(5)), 0);
                EXPECT_EQ(Path_close(p), 0);
                break;
            }
            }
            add(p, paint);
        }
        // Entries on the list's edges and across the whole area.
        DrawPaint line = DrawPaint_defaults;
        line.fillColour = 0;
        line.penWidth = 0;
        line.penFlags = 1;
        for (int32_t edge : {0, h}) {
            Path *p = newPath();
            EXPECT_EQ(Path_moveTo(p, 0, U(edge)), 0);
            EXPECT_EQ(Path_lineTo(p, U(w), U(edge)), 0);
            add(p, line);
        }
        Path *diagonal = newPath();
        EXPECT_EQ(Path_moveTo(diagonal, 0, 0), 0);
        EXPECT_EQ(Path_lineTo(diagonal, U(w), U(h)), 0);
        line.penWidth = U(2);
        add(diagonal, line);
        Rect bounds{};
        ASSERT_EQ(DrawList_bounds(ctx(), style.words, style.used, &bounds), 0);
        item = Obj_create(&DrawListItem_class, 0);
        ASSERT_NE(item, nullptr);
        DrawListItemPart *part = static_cast<DrawListItemPart *>(Obj_part(item));
        part->words = style.words;
        part->count = style.used;
        part->bounds = bounds;
        Obj_setBox(item, &bounds);
    }

    // Draws the list into a white w x h picture through clips of `rows`
    // rows and `columns` columns each (0: the whole height or width).
    // With a store, the bitmap keeps device paths in it across the clips,
    // which are then taken top row first, as the page renderer takes bands.
    std::vector<uint16_t> draw(int32_t w, int32_t h, const Matrix &m, int32_t rows, int32_t columns,
                               int32_t dx, int32_t dy, KeptPaths *kept = nullptr)
    {
        Bitmap *bm = picture(w, h, 0xFFFF);
        bm->keptPaths = kept;
        const ObjItemOps *ops = static_cast<const ObjItemOps *>(item->cls->ops);
        int32_t down = rows ? rows : h, across = columns ? columns : w;
        int32_t bands = (h + down - 1) / down;
        for (int32_t b = 0; b < bands; b++) {
            int32_t y = (kept ? bands - 1 - b : b) * down;
            for (int32_t x = 0; x < w; x += across) {
                Rect clip{x, y, x + across < w ? x + across : w, y + down < h ? y + down : h};
                DrawTarget target{bm, &clip, dx, dy};
                Rect all = *Rect_getInfinite();
                EXPECT_EQ(ops->draw(ctx(), item, &all, &m, &target, nullptr, 0), 0);
            }
        }
        bm->keptPaths = nullptr;
        return pixels(bm);
    }

    DrawStyle style{};
    ObjHeader *item = nullptr;
};

TEST_F(DrawListBandTest, BandsShowTheWholeDrawingsPixels)
{
    const int32_t w = 160, h = 120;
    build(w, h, 600);
    struct Case {
        const char *name;
        Matrix m;
        int32_t dx, dy;
    } cases[] = {
        {"page units to pixels", pageMatrix(h), 0, 0},
        {"moved by the target", pageMatrix(h), 13, -9},
        {"halved", Matrix{0x80, 0, 0, 0x80, 0, h}, 0, 0},
        {"enlarged into the corner", Matrix{0x300, 0, 0, 0x300, -40, h + 30}, 0, 0},
        {"turned a quarter", Matrix{0, 0x100, -0x100, 0, h, 0}, 0, 0},
        {"sheared", Matrix{0x100, 0x40, 0x30, 0x100, 0, h / 2}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint16_t> whole = draw(w, h, c.m, 0, 0, c.dx, c.dy);
        // Bands of rows as the page renderer cuts them, and tiles.
        const int32_t cuts[][2] = {{1, 0}, {7, 0}, {32, 0}, {9, 11}, {0, 5}};
        for (const auto &cut : cuts) {
            SCOPED_TRACE(testing::Message() << cut[0] << " rows, " << cut[1] << " columns");
            EXPECT_EQ(draw(w, h, c.m, cut[0], cut[1], c.dx, c.dy), whole);
        }
    }
}

// Device paths kept from one band for the next (outlines stroked whole,
// not cut to the band) give the same pixels as drawing every band afresh,
// with room for every path and with room for a part of them.
TEST_F(DrawListBandTest, KeptPathsShowTheSamePixels)
{
    const int32_t w = 160, h = 120;
    build(w, h, 600);
    struct Case {
        const char *name;
        Matrix m;
    } cases[] = {
        {"page units to pixels", pageMatrix(h)},
        {"halved", Matrix{0x80, 0, 0, 0x80, 0, h}},
        {"turned a quarter", Matrix{0, 0x100, -0x100, 0, h, 0}},
        {"sheared", Matrix{0x100, 0x40, 0x30, 0x100, 0, h / 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint16_t> whole = draw(w, h, c.m, 0, 0, 0, 0);
        const int32_t cuts[][2] = {{1, 0}, {7, 0}, {9, 11}};
        for (const auto &cut : cuts) {
            for (uint64_t limit : {uint64_t(KeptPaths_defaultLimit), uint64_t(72000)}) {
                SCOPED_TRACE(testing::Message()
                             << cut[0] << " rows, " << cut[1] << " columns, limit " << limit);
                KeptPaths kept;
                KeptPaths_init(&kept, limit);
                EXPECT_EQ(draw(w, h, c.m, cut[0], cut[1], 0, 0, &kept), whole);
                EXPECT_GT(kept.hits, 0u) << "later bands take paths from the store";
                EXPECT_LE(kept.bytes, limit);
                KeptPaths_clear(&kept);
            }
        }
    }
}

// A path is taken back only for the figure, pen kind, matrix and scale it
// was prepared with.
TEST_F(DrawListBandTest, KeptPathsAnswerOnlyTheirOwnKey)
{
    KeptPaths kept;
    KeptPaths_init(&kept, KeptPaths_defaultLimit);
    Path *device = newPath();
    Rect r{0, -2560, 2560, 0};
    ASSERT_EQ(Path_addRect(device, &r), 0);
    const int32_t figure[2] = {0, 0};
    Matrix m = pageMatrix(10), other = m;
    other.ty += 1;
    const KeptPathKey key{&figure[0], 0, 0x10000, &m};
    Rect box{0, -2560, 2560, 0};
    KeptPaths_store(&kept, &key, device, &box, 0);
    const KeptPathKey misses[] = {
        {&figure[1], 0, 0x10000, &m},
        {&figure[0], 1, 0x10000, &m},
        {&figure[0], 0, 0x8000, &m},
        {&figure[0], 0, 0x10000, &other},
    };
    Path *out = newPath();
    Rect got{};
    for (const KeptPathKey &k : misses)
        EXPECT_EQ(KeptPaths_fetch(&kept, &k, out, &got), 0);
    ASSERT_EQ(KeptPaths_fetch(&kept, &key, out, &got), 1);
    EXPECT_TRUE(Rect_equal(&got, &box));
    ASSERT_EQ(Path_wordCount(out), Path_wordCount(device));
    EXPECT_EQ(std::memcmp(Path_buffer(out), Path_buffer(device), Path_wordCount(out) * 4), 0);
    EXPECT_EQ(out->count, device->count);
    // A band below the path drops it.
    KeptPaths_store(&kept, &misses[0], device, &box, -5120);
    EXPECT_EQ(KeptPaths_fetch(&kept, &key, out, &got), 0);
    EXPECT_EQ(KeptPaths_fetch(&kept, &misses[0], out, &got), 1);
    KeptPaths_clear(&kept);
    Path_destroy(out);
    Path_destroy(device);
}

} // namespace
