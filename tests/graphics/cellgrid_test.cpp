// Cell grid items: line extents by style code, the line shapes (mitred and
// square ends, slanted lines), one path per colour, clipping before the
// paths, the empty middle third of double lines, drawing against lines
// drawn one by one, the identifier and the bounds.
//
// Coordinates here are pixels: the item matrix is the identity and the
// bitmaps have the scale word 0x10000.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/cellgrid.h"
#include "graphics/drawitem.h"
#include "graphics/imageutil.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"

namespace {

constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255)
{
    return a << 24 | b << 16 | g << 8 | r;
}

constexpr uint16_t to565(uint32_t c)
{
    return uint16_t(((c & 0xFF) >> 3) << 11 | (((c >> 8) & 0xFF) >> 2) << 5 |
                    ((c >> 16) & 0xFF) >> 3);
}

bool operator==(const Point &a, const Point &b)
{
    return a.x == b.x && a.y == b.y;
}

GridLine line(int32_t a, int32_t b, int32_t c, int32_t width, uint32_t style, uint32_t ends,
              uint32_t colour = rgba(0, 0, 0))
{
    return GridLine{colour, a, b, c, width, ends | style << GridLine_styleShift};
}

TEST(CellGridShapes, ExtentByStyleCode)
{
    struct Case {
        uint32_t style;
        int32_t extent;
    } cases[] = {{0, 0},  {5, 16}, {2, 8}, {8, 8}, {10, 8}, {12, 8}, {13, 8}, {7, 2},
                 {14, 2}, {1, 4},  {3, 4}, {4, 4}, {6, 4},  {9, 4},  {11, 4}, {99, 4}};
    for (const Case &c : cases)
        EXPECT_EQ(Path_styleExtent(16, c.style), c.extent) << c.style;
    EXPECT_EQ(Path_styleExtent(-7, 2), -3); // toward zero
}

TEST(CellGridShapes, StraightLinesAreMitredOrSquareByTheirEndFlags)
{
    Point p[4];
    // Horizontal, both ends 0 (style 1, width 8: e = 2): a parallelogram
    // whose top edge runs from x0 + e to x1 + e and bottom from x0 - e.
    GridLine h = line(10, 50, 100, 8, 1, 0);
    CellGrid_lineQuad(&h, 1, p);
    EXPECT_TRUE(p[0] == (Point{12, 98}) && p[1] == (Point{52, 98}) && p[2] == (Point{48, 102}) &&
                p[3] == (Point{8, 102}));
    // Ends 1 lean the other way; ends 2 and 3 are square.
    h.flags = 1 | 1 << 2 | 1 << GridLine_styleShift;
    CellGrid_lineQuad(&h, 1, p);
    EXPECT_TRUE(p[0] == (Point{8, 98}) && p[1] == (Point{48, 98}) && p[2] == (Point{52, 102}) &&
                p[3] == (Point{12, 102}));
    h.flags = 2 | 3 << 2 | 1 << GridLine_styleShift;
    CellGrid_lineQuad(&h, 1, p);
    EXPECT_TRUE(p[0] == (Point{10, 98}) && p[1] == (Point{50, 98}) && p[2] == (Point{50, 102}) &&
                p[3] == (Point{10, 102}));
    // A thick line (style 5) of width 4 spans y - 4 to y + 4.
    h = line(0, 10, 20, 4, 5, GridLine_endsSquare);
    CellGrid_lineQuad(&h, 1, p);
    EXPECT_EQ(p[0].y, 16);
    EXPECT_EQ(p[2].y, 24);
    // Vertical, both ends 0.
    GridLine v = line(30, 10, 60, 8, 1, 0);
    CellGrid_lineQuad(&v, 0, p);
    EXPECT_TRUE(p[0] == (Point{28, 8}) && p[1] == (Point{28, 58}) && p[2] == (Point{32, 62}) &&
                p[3] == (Point{32, 12}));
    // Style 0 has no thickness.
    h = line(0, 10, 20, 8, 0, GridLine_endsSquare);
    CellGrid_lineQuad(&h, 1, p);
    EXPECT_EQ(p[0].y, p[3].y);
}

TEST(CellGridShapes, ASlantedLineIsOffsetPerpendicularBothWays)
{
    Point p[4];
    // Straight up from (10, 0) to (10, 40), width 8 of style 1 (e = 2):
    // the direction (0, 40) turned to (40, 0) puts the first side at x 12.
    GridSlantLine l{0, {10, 0}, {10, 40}, 8, 1};
    CellGrid_slantQuad(&l, p);
    EXPECT_TRUE(p[0] == (Point{12, 0}) && p[1] == (Point{12, 40}) && p[2] == (Point{8, 40}) &&
                p[3] == (Point{8, 0}));
}

class CellGridTest : public LeakCheckedContextTest<> {
  protected:
    void TearDown() override
    {
        for (ObjHeader *i : items)
            Obj_destroy(i);
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        LeakCheckedContextTest::TearDown();
    }
    Bitmap *picture(int32_t w, int32_t h)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, Pixel_format565, 0x10000), 0);
        PixelBuf_fillRect(buf, 0, 0, w, h, 0xFFFF);
        bufs.push_back(buf);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx, &b, buf), 0);
        bitmaps.push_back(b);
        return b;
    }
    ObjHeader *grid(std::vector<GridFill> fills, std::vector<GridLine> horizontal,
                    std::vector<GridLine> vertical = {}, std::vector<GridSlantLine> slant = {})
    {
        GridFillList *f = static_cast<GridFillList *>(Mem_calloc(1, sizeof(GridFillList)));
        GridLineList *l = static_cast<GridLineList *>(Mem_calloc(1, sizeof(GridLineList)));
        f->count = uint32_t(fills.size());
        f->entries = copy(fills);
        l->horizontalCount = uint32_t(horizontal.size());
        l->horizontal = copy(horizontal);
        l->verticalCount = uint32_t(vertical.size());
        l->vertical = copy(vertical);
        l->slantCount = uint32_t(slant.size());
        l->slant = copy(slant);
        items.push_back(CellGrid_create(f, l));
        return items.back();
    }
    template <typename T> static T *copy(const std::vector<T> &v)
    {
        if (v.empty())
            return nullptr;
        T *out = static_cast<T *>(Mem_malloc(v.size() * sizeof(T)));
        std::copy(v.begin(), v.end(), out);
        return out;
    }
    int draw(ObjHeader *item, Bitmap *b, const Rect *clip = nullptr)
    {
        DrawTarget t{b, nullptr, 0, 0};
        return Obj_itemOps(item)->draw(ctx, item, clip, Matrix_identity(), &t, nullptr, 0);
    }
    // Fills one quadrilateral on its own, as a reference.
    void fillQuad(Bitmap *b, const Point p[4], uint32_t colour)
    {
        Path *path = nullptr;
        ASSERT_EQ(Path_create(&path, 0x10000), 0);
        ASSERT_EQ(Path_moveTo(path, p[0].x, p[0].y), 0);
        for (int i = 1; i < 4; i++)
            ASSERT_EQ(Path_lineTo(path, p[i].x, p[i].y), 0);
        ASSERT_EQ(Path_close(path), 0);
        DrawItem *d = nullptr;
        ASSERT_EQ(DrawItem_create(&d), 0);
        d->kind = DrawItem_kindPath;
        d->shape.path = FillRequest{};
        d->shape.path.path = path;
        d->shape.path.s = 3;
        d->shape.path.matrix = Matrix_identity();
        d->paintKind = DrawItem_sourceSolid;
        d->paint.solid = {Pixel_formatRGBA, colour & 0xFFFFFF};
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, colour >> 24};
        DrawTarget t{b, nullptr, 0, 0};
        EXPECT_EQ(DrawItem_render(d, nullptr, nullptr, &t), 0);
        DrawItem_destroy(d);
        Path_destroy(path);
    }
    static uint16_t px(const Bitmap *b, int32_t x, int32_t y)
    {
        return reinterpret_cast<const uint16_t *>(static_cast<const uint8_t *>(b->pixels) +
                                                  size_t(b->height - 1 - y) * b->stride)[x];
    }
    static bool samePixels(const Bitmap *a, const Bitmap *b)
    {
        for (int32_t y = 0; y < a->height; y++)
            for (int32_t x = 0; x < a->width; x++)
                if (px(a, x, y) != px(b, x, y))
                    return false;
        return true;
    }

    std::vector<ObjHeader *> items;
    std::vector<Bitmap *> bitmaps;
    std::vector<PixelBuf *> bufs;
};

TEST_F(CellGridTest, OneNodePerColourAndShapesOutsideTheClipAreDropped)
{
    ColourPaths *list = nullptr;
    const Point a[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const Point far[4] = {{100, 100}, {110, 100}, {110, 110}, {100, 110}};
    const Rect clip{0, 0, 50, 50};
    ASSERT_EQ(CellGrid_addQuad(a, &clip, nullptr, rgba(1, 2, 3), &list), 0);
    ASSERT_EQ(CellGrid_addQuad(a, &clip, nullptr, rgba(1, 2, 3), &list), 0);
    ASSERT_EQ(CellGrid_addQuad(far, &clip, nullptr, rgba(9, 9, 9), &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->next, nullptr); // the far shape made no node
    ASSERT_EQ(CellGrid_addQuad(a, &clip, nullptr, rgba(1, 2, 3, 128), &list), 0);
    ASSERT_NE(list->next, nullptr); // another alpha byte is another colour
    EXPECT_EQ(list->colour, rgba(1, 2, 3, 128));
    EXPECT_EQ(list->next->next, nullptr);
    // A moved item matrix brings the far shape into the clip.
    Matrix m = *Matrix_identity();
    Matrix_translate(&m, -90, -90);
    ASSERT_EQ(CellGrid_addQuad(far, &clip, &m, rgba(9, 9, 9), &list), 0);
    EXPECT_EQ(list->colour, rgba(9, 9, 9));
    ColourPaths_free(&list);
    EXPECT_EQ(list, nullptr);
}

// Four lines of one colour drawn by the item look exactly like the four
// lines filled one by one; under a translucent colour the crossings show
// that the item fills them once, in one path.
TEST_F(CellGridTest, FourLinesOfOneColourAreFilledInOnePath)
{
    for (uint32_t alpha : {255u, 128u}) {
        uint32_t c = rgba(0, 0, 255, alpha);
        std::vector<GridLine> h = {line(4, 36, 8, 4, 1, GridLine_endsSquare, c),
                                   line(4, 36, 30, 4, 1, GridLine_endsSquare, c)};
        // Vertical lines run from the top down, as the grid layout makes
        // them: their shapes then wind the same way as the horizontal ones.
        std::vector<GridLine> v = {line(10, 38, 2, 4, 1, GridLine_endsSquare, c),
                                   line(28, 38, 2, 4, 1, GridLine_endsSquare, c)};
        ObjHeader *item = grid({}, h, v);
        Bitmap *drawn = picture(40, 40);
        ASSERT_EQ(draw(item, drawn), 0);
        Bitmap *ref = picture(40, 40);
        Point p[4];
        for (const GridLine &l : h) {
            CellGrid_lineQuad(&l, 1, p);
            fillQuad(ref, p, c);
        }
        for (const GridLine &l : v) {
            CellGrid_lineQuad(&l, 0, p);
            fillQuad(ref, p, c);
        }
        if (alpha == 255) {
            EXPECT_TRUE(samePixels(drawn, ref));
        } else {
            // A crossing is no darker than the rest of a line in the item,
            // but blended twice in the reference.
            EXPECT_EQ(px(drawn, 10, 8), px(drawn, 20, 8));
            EXPECT_NE(px(ref, 10, 8), px(ref, 20, 8));
            EXPECT_EQ(px(drawn, 20, 8), px(ref, 20, 8));
        }
    }
}

TEST_F(CellGridTest, ADoubleLineLeavesItsMiddleThirdEmpty)
{
    // Style 6, width 24: e = 6, the line spans y 14 to 26 and its middle
    // third, y 18 to 22, stays empty.
    const uint16_t black = to565(rgba(0, 0, 0)), white = 0xFFFF;
    ObjHeader *item = grid({}, {line(2, 38, 20, 24, 6, GridLine_endsSquare)});
    Bitmap *b = picture(40, 40);
    ASSERT_EQ(draw(item, b), 0);
    for (int32_t y : {14, 15, 16, 17, 22, 23, 24, 25})
        EXPECT_EQ(px(b, 20, y), black) << y;
    for (int32_t y : {13, 18, 19, 20, 21, 26})
        EXPECT_EQ(px(b, 20, y), white) << y;
    // The same line of style 1 (e = 6) is solid through.
    ObjHeader *solid = grid({}, {line(2, 38, 20, 24, 1, GridLine_endsSquare)});
    Bitmap *s = picture(40, 40);
    ASSERT_EQ(draw(solid, s), 0);
    for (int32_t y = 14; y < 26; y++)
        EXPECT_EQ(px(s, 20, y), black) << y;
}

TEST_F(CellGridTest, FillsComeBeforeLinesAndTheOriginMovesEverything)
{
    const uint32_t red = rgba(255, 0, 0), blue = rgba(0, 0, 255);
    GridFill f{red, {{0, 20}, {20, 20}, {20, 0}, {0, 0}}};
    GridFill g{red, {{30, 40}, {40, 40}, {40, 30}, {30, 30}}}; // same colour elsewhere
    ObjHeader *item = grid({f, g}, {line(0, 20, 10, 4, 1, GridLine_endsSquare, blue)});
    item->origin[0] = 5;
    item->origin[1] = 0;
    Bitmap *b = picture(50, 50);
    ASSERT_EQ(draw(item, b), 0);
    EXPECT_EQ(px(b, 15, 10), to565(blue)); // the line over the fill
    EXPECT_EQ(px(b, 15, 5), to565(red));
    EXPECT_EQ(px(b, 37, 35), to565(red));
    EXPECT_EQ(px(b, 2, 5), 0xFFFF); // moved right by 5
    // A clip that misses the second fill drops it.
    Bitmap *c = picture(50, 50);
    const Rect clip{0, 0, 25, 25};
    ASSERT_EQ(draw(item, c, &clip), 0);
    EXPECT_EQ(px(c, 37, 35), 0xFFFF);
    EXPECT_EQ(px(c, 15, 5), to565(red));
}

// A large grid drawn band by band: each band, drawn by the item, matches
// every shape of the grid tested against that band in list order (what
// the item's own clip test keeps, without any shortcut), pixel for pixel.
// The lines come in no particular order, of three colours that overlap,
// with double lines, slanted lines, long lines crossing many bands, and
// the item moved and scaled between draws.
TEST_F(CellGridTest, EveryBandMatchesTheWholeListTestedAgainstIt)
{
    const uint32_t colours[3] = {rgba(200, 0, 0), rgba(0, 0, 200), rgba(0, 150, 0, 160)};
    std::vector<GridFill> fills;
    std::vector<GridLine> h, v;
    std::vector<GridSlantLine> slant;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 8) % n);
    };
    for (int i = 0; i < 40; i++) {
        int32_t x = next(110), y = next(110), w = 4 + next(20), t = 4 + next(20);
        fills.push_back(GridFill{colours[i % 3], {{x, y + t}, {x + w, y + t}, {x + w, y}, {x, y}}});
    }
    for (int i = 0; i < 150; i++) {
        int32_t a = next(120), len = 3 + next(40), at = next(128);
        uint32_t style = i % 7 == 0 ? GridLine_styleDouble : uint32_t(1 + next(14));
        uint32_t ends = uint32_t(next(4)) | uint32_t(next(4)) << 2;
        h.push_back(line(a, a + len, at, 4 + next(24), style, ends, colours[next(3)]));
        v.push_back(line(at, a + len, a, 4 + next(24), style, ends, colours[next(3)]));
    }
    // Lines across the whole grid: one of them first in its list.
    v.insert(v.begin(), line(64, 127, 0, 12, 1, GridLine_endsSquare, colours[1]));
    h.push_back(line(0, 127, 63, 24, GridLine_styleDouble, GridLine_endsSquare, colours[2]));
    for (int i = 0; i < 20; i++) {
        Point a{next(128), next(128)}, b{next(128), next(128)};
        if (a.x != b.x || a.y != b.y)
            slant.push_back(GridSlantLine{colours[i % 3], a, b, 8 + next(16), uint32_t(next(8))});
    }
    ObjHeader *item = grid(fills, h, v, slant);
    CellGridPart *part = CellGrid_part(item);
    const StageNode *stages = Obj_kindRecord(ctx, 0);
    Bitmap *drawn = picture(200, 200), *ref = picture(200, 200);
    auto blank = [](Bitmap *b) { std::memset(b->pixels, 0xFF, size_t(b->height) * b->stride); };

    struct Placing {
        int32_t dx, dy;
        int32_t scale; // 16.16
    } placings[] = {{0, 0, 0x10000}, {3, -5, 0x10000}, {-7, 11, 0x18000}, {0, 0, 0x10000}};
    for (const Placing &at : placings) {
        Matrix scaled = *Matrix_identity();
        scaled.a = scaled.d = at.scale;
        item->matrix = at.scale == 0x10000 ? nullptr : &scaled;
        item->origin[0] = at.dx;
        item->origin[1] = at.dy;
        Matrix m0 = item->matrix ? *item->matrix : *Matrix_identity();
        Matrix_translate(&m0, at.dx, at.dy);
        for (int32_t band = 8; band <= 200; band *= 5)
            for (int32_t y0 = -band; y0 < 200; y0 += band) {
                const Rect clip{-1000, y0, 1000, y0 + band - 1};
                blank(drawn);
                blank(ref);
                ASSERT_EQ(draw(item, drawn, &clip), 0);
                // Every shape, in list order, through the item's clip test.
                Matrix m = m0;
                Matrix_concat(&m, Matrix_identity());
                ColourPaths *list = nullptr;
                Point p[4];
                for (const GridFill &f : fills)
                    ASSERT_EQ(CellGrid_addQuad(f.corners, &clip, &m0, f.colour, &list), 0);
                DrawTarget t{nullptr, nullptr, 0, 0};
                t.bitmap = ref;
                ASSERT_EQ(ColourPaths_render(ctx, list, &m, stages, &t), 0);
                ColourPaths_free(&list);
                for (int kind = 0; kind < 3; kind++) {
                    size_t n = kind == 0 ? h.size() : kind == 1 ? v.size() : slant.size();
                    for (size_t i = 0; i < n; i++) {
                        uint32_t colour, style;
                        if (kind == 2) {
                            CellGrid_slantQuad(&slant[i], p);
                            colour = slant[i].colour;
                            style = slant[i].style;
                        } else {
                            const GridLine &l = kind == 0 ? h[i] : v[i];
                            CellGrid_lineQuad(&l, kind == 0, p);
                            colour = l.colour;
                            style = (l.flags & GridLine_styleMask) >> GridLine_styleShift;
                        }
                        ASSERT_EQ(CellGrid_addQuad(p, &clip, &m0, colour, &list), 0);
                        if (style == GridLine_styleDouble) {
                            ASSERT_EQ(CellGrid_addInnerThird(p, &clip, &m0, colour, &list), 0);
                        }
                    }
                }
                ASSERT_EQ(ColourPaths_render(ctx, list, &m, stages, &t), 0);
                ColourPaths_free(&list);
                EXPECT_TRUE(samePixels(drawn, ref))
                    << "band " << y0 << ".." << clip.y1 << " placing " << at.dx << "," << at.dy;
            }
        // The index made for this placing is kept with the item.
        EXPECT_NE(part->index, nullptr);
    }
}

// Cells of one colour side by side, lines that carry on one another and
// lines stacked down a column: the item fills them to the very pixels of
// every shape added on its own (CellGrid_addQuad) under scales that put
// the edges between pixels, mirrors, quarter turns with and without a
// scale, and a turn by another angle; whole and in bands.
TEST_F(CellGridTest, ShapesThatCarryOnFillLikeTheShapesOneByOne)
{
    const uint32_t sea = rgba(0, 90, 200, 160), sand = rgba(220, 200, 0), ink = rgba(0, 0, 0);
    std::vector<GridFill> fills;
    auto cell = [&fills](int32_t x0, int32_t x1, int32_t top, int32_t bottom, uint32_t c) {
        fills.push_back(GridFill{c, {{x0, top}, {x1, top}, {x1, bottom}, {x0, bottom}}});
    };
    const int32_t xs[] = {10, 37, 52, 90, 91, 140, 171, 230, 290};
    for (int i = 0; i + 1 < 9; i++) {
        cell(xs[i], xs[i + 1], 290, 251, sea);                     // one run
        cell(xs[i], xs[i + 1], 251, 213, i % 3 == 2 ? sand : sea); // broken by another colour
        if (i != 4)
            cell(xs[i], xs[i + 1], 213, 170, sand); // a gap
    }
    cell(10, 37, 170, 120, sea); // a run whose rows end unevenly
    cell(37, 90, 170, 131, sea);
    std::vector<GridLine> h, v;
    for (int i = 0; i + 1 < 9; i++) {
        h.push_back(line(xs[i], xs[i + 1], 100, 12, 1, GridLine_endsSquare, ink));
        // Mitred ends meeting end to end: parallelograms that carry on.
        h.push_back(line(xs[i], xs[i + 1], 70, 16, 2, 0, ink));
        h.push_back(
            line(xs[i], xs[i + 1], 40, 24, i == 3 ? uint32_t(GridLine_styleDouble) : 5u, 5, sea));
    }
    // A column's border in pieces from the top down, one piece double.
    const int32_t ys[] = {290, 260, 221, 220, 150, 90, 10};
    for (int i = 0; i + 1 < 7; i++) {
        uint32_t style = i == 2 ? uint32_t(GridLine_styleDouble) : 1u;
        v.push_back(line(150, ys[i], ys[i + 1], 10, style, GridLine_endsSquare, ink));
        v.push_back(line(260, ys[i], ys[i + 1], 14, 5, GridLine_endsSquare, sand));
    }
    ObjHeader *item = grid(fills, h, v);
    const StageNode *stages = Obj_kindRecord(ctx, 0);
    Bitmap *drawn = picture(130, 130), *ref = picture(130, 130);
    auto blank = [](Bitmap *b) { std::memset(b->pixels, 0xFF, size_t(b->height) * b->stride); };

    struct Placing {
        Matrix m;
        int32_t dx, dy;
    } placings[] = {
        {{0x5A3D, 0, 0, 0x6F00, 0, 0}, 3, 2},    // edges between pixels
        {{-0x6000, 0, 0, 0x7000, 0, 0}, 125, 1}, // mirrored
        {{0, 0x6A00, -0x5800, 0, 0, 0}, 128, 4}, // a quarter turn, scaled
        {{0, -0x7000, 0x7000, 0, 0, 0}, 2, 127}, // the other quarter turn
        // Turned by other angles: the shapes are filled one by one there.
        {{0x6000, 0x3000, -0x3000, 0x6000, 0, 0}, 40, 2},
        {{0x5F3B, 0x1C27, -0x1A11, 0x6A4D, 0, 0}, 25, 3},
        {{0x4E21, -0x3B17, 0x3B17, 0x4E21, 0, 0}, 10, 70},
    };
    for (const Placing &at : placings) {
        item->matrix = const_cast<Matrix *>(&at.m);
        item->origin[0] = at.dx;
        item->origin[1] = at.dy;
        Matrix m0 = at.m;
        Matrix_translate(&m0, at.dx, at.dy);
        for (int32_t band : {0, 7, 30}) {
            for (int32_t y0 = band ? -band : 0; y0 < 130; y0 += band ? band : 130) {
                const Rect clip{-1000, y0, 1000, band ? y0 + band - 1 : 1000};
                blank(drawn);
                blank(ref);
                ASSERT_EQ(draw(item, drawn, &clip), 0);
                DrawTarget t{ref, nullptr, 0, 0};
                ColourPaths *list = nullptr;
                for (const GridFill &f : fills)
                    ASSERT_EQ(CellGrid_addQuad(f.corners, &clip, &m0, f.colour, &list), 0);
                ASSERT_EQ(ColourPaths_render(ctx, list, &m0, stages, &t), 0);
                ColourPaths_free(&list);
                Point p[4];
                for (int kind = 0; kind < 2; kind++)
                    for (const GridLine &l : kind == 0 ? h : v) {
                        CellGrid_lineQuad(&l, kind == 0, p);
                        ASSERT_EQ(CellGrid_addQuad(p, &clip, &m0, l.colour, &list), 0);
                        if ((l.flags & GridLine_styleMask) >> GridLine_styleShift ==
                            GridLine_styleDouble) {
                            ASSERT_EQ(CellGrid_addInnerThird(p, &clip, &m0, l.colour, &list), 0);
                        }
                    }
                ASSERT_EQ(ColourPaths_render(ctx, list, &m0, stages, &t), 0);
                ColourPaths_free(&list);
                EXPECT_TRUE(samePixels(drawn, ref))
                    << "matrix " << at.m.a << " " << at.m.b << " band " << y0 << " +" << band;
            }
        }
    }
    item->matrix = nullptr; // not the item's to free
}

TEST_F(CellGridTest, IdentifierAndBounds)
{
    const uint32_t c = rgba(0, 0, 0);
    GridFill f{c, {{0, 20}, {20, 20}, {25, 0}, {0, 0}}};
    ObjHeader *item =
        grid({f}, {line(-10, 5, 50, 8, 1, 0, c)}, {line(60, 0, 10, 8, 5, 2 | 2 << 2, c)},
             {GridSlantLine{c, {0, -30}, {0, -20}, 10, 1}});
    uint32_t id = 0;
    ASSERT_EQ(Obj_itemOps(item)->measure(ctx, item, nullptr, nullptr, nullptr, nullptr, &id), 0);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    item->origin[0] = 100;
    Rect r = Rect_emptyBound;
    ASSERT_EQ(Obj_itemOps(item)->bounds(ctx, item, &r), 0);
    // The horizontal line reaches x -12 (its mitred start) and y 52; the
    // thick vertical line x 68; the slanted line's stroke reaches y -30
    // and x 95 (half its pen width on each side).
    EXPECT_EQ(r.x0, 100 - 12);
    EXPECT_EQ(r.x1, 100 + 68);
    EXPECT_EQ(r.y1, 52);
    EXPECT_LE(r.y0, -30);
    EXPECT_GE(r.y0, -31);
    ObjHeader *empty = grid({}, {});
    Rect e = Rect_emptyBound;
    ASSERT_EQ(Obj_itemOps(empty)->bounds(ctx, empty, &e), 0);
    EXPECT_GT(e.x0, e.x1);
}

} // namespace
