// The tile grid of a repeated picture: the covering rectangle's edges on
// the tile's lattice, the counts across and down, the first corner, empty
// inputs, and coordinates far apart in the 32-bit range.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/geom/tile.h"

namespace {

struct GridCase {
    const char *name;
    Rect target, tile;
    int32_t columns, rows, x, y;
};

TEST(TileGrid, CountsAndFirstCorner)
{
    const GridCase cases[] = {
        // A tile on the target's left and top edges is not moved.
        {"aligned", {0, 0, 100, 50}, {0, 0, 10, 10}, 10, 5, 0, 0},
        {"alignedOffset", {30, 40, 60, 70}, {30, 40, 40, 50}, 3, 3, 30, 40},
        // A tile ahead of the target steps back; behind it steps forward.
        {"tileAhead", {5, 5, 25, 15}, {100, 100, 110, 110}, 3, 2, 0, 0},
        {"tileBehind", {95, 95, 101, 101}, {0, 0, 10, 10}, 2, 2, 90, 90},
        // Negative coordinates take the floor, not the truncation.
        {"negative", {-15, -15, -5, -5}, {0, 0, 10, 10}, 2, 2, -20, -20},
        // Wider than tall tiles step each axis by their own size.
        {"oblong", {0, 0, 30, 30}, {3, 1, 23, 6}, 3, 7, -17, -4},
        // One pixel of target inside one tile.
        {"onePixel", {7, 7, 8, 8}, {0, 0, 10, 10}, 1, 1, 0, 0},
        // Far apart: no overflow in the steps.
        {"farApart",
         {INT32_MAX - 20, 0, INT32_MAX - 10, 10},
         {INT32_MIN, 0, INT32_MIN + 16, 16},
         2,
         1,
         INT32_MAX - 31,
         0},
    };
    for (const GridCase &c : cases) {
        int32_t cols = -1, rows = -1, x = -1, y = -1;
        Tile_grid(&c.target, &c.tile, &cols, &rows, &x, &y);
        EXPECT_EQ(cols, c.columns) << c.name;
        EXPECT_EQ(rows, c.rows) << c.name;
        EXPECT_EQ(x, c.x) << c.name;
        EXPECT_EQ(y, c.y) << c.name;
        // The grid covers the target.
        int64_t tw = int64_t(c.tile.x1) - c.tile.x0, th = int64_t(c.tile.y1) - c.tile.y0;
        EXPECT_LE(x, c.target.x0) << c.name;
        EXPECT_GE(int64_t(x) + cols * tw, c.target.x1) << c.name;
        EXPECT_GE(int64_t(y) + rows * th, c.target.y1) << c.name;
    }
}

TEST(TileGrid, EmptyTargetOrTileGivesNothing)
{
    const Rect good{0, 0, 10, 10};
    const Rect empties[] = {
        {0, 0, 0, 10}, {0, 0, 10, 0}, {5, 5, 4, 9}, {INT32_MAX, 0, INT32_MIN, 1}};
    for (const Rect &e : empties) {
        int32_t cols = 7, rows = 7, x = 7, y = 7;
        Tile_grid(&e, &good, &cols, &rows, &x, &y);
        EXPECT_EQ(cols | rows | x | y, 0);
        cols = rows = x = y = 7;
        Tile_grid(&good, &e, &cols, &rows, &x, &y);
        EXPECT_EQ(cols | rows | x | y, 0);
    }
}

TEST(TileGrid, CoverEdgesOnTheLattice)
{
    Rect cover;
    const Rect tile{3, 4, 8, 11}; // 5 x 7
    const Rect target{-12, 20, 14, 33};
    Tile_cover(&tile, &target, &cover);
    // x0 in (target.x0 - 5, target.x0], x1 in [target.x1, target.x1 + 5).
    EXPECT_EQ(cover.x0, -12);
    EXPECT_EQ(cover.x1, 18);
    EXPECT_EQ(cover.y0, 18);
    EXPECT_EQ(cover.y1, 39);
    EXPECT_EQ((cover.x0 - tile.x0) % 5, 0);
    EXPECT_EQ((cover.y1 - tile.y1) % 7, 0);
}

} // namespace
