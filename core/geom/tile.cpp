// The tile grid of a repeated picture (see tile.h).
#include "core/geom/tile.h"

namespace {

// The floor remainder of a by b (b > 0): in [0, b).
int64_t floorMod(int64_t a, int64_t b)
{
    int64_t r = a % b;
    return r < 0 ? r + b : r;
}

int32_t clamp32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

bool isEmpty(const Rect *r)
{
    return r->x0 >= r->x1 || r->y0 >= r->y1;
}

// The covering rectangle in 64 bits: {x0, y0, x1, y1}.
void cover64(const Rect *tile, const Rect *target, int64_t out[4])
{
    int64_t tw = int64_t(tile->x1) - tile->x0;
    int64_t th = int64_t(tile->y1) - tile->y0;
    // Start edges: the largest tile position at or before the target's
    // edge; end edges: the smallest at or after it.
    out[0] = int64_t(target->x0) - floorMod(int64_t(target->x0) - tile->x0, tw);
    out[1] = int64_t(target->y0) - floorMod(int64_t(target->y0) - tile->y0, th);
    out[2] = int64_t(target->x1) + floorMod(int64_t(tile->x1) - target->x1, tw);
    out[3] = int64_t(target->y1) + floorMod(int64_t(tile->y1) - target->y1, th);
}

} // namespace

void Tile_cover(const Rect *tile, const Rect *target, Rect *cover)
{
    if (isEmpty(tile)) {
        *cover = *target;
        return;
    }
    int64_t c[4];
    cover64(tile, target, c);
    *cover = Rect{clamp32(c[0]), clamp32(c[1]), clamp32(c[2]), clamp32(c[3])};
}

void Tile_grid(const Rect *target, const Rect *tile, int32_t *columns, int32_t *rows, int32_t *x,
               int32_t *y)
{
    *columns = 0;
    *rows = 0;
    *x = 0;
    *y = 0;
    if (isEmpty(target) || isEmpty(tile))
        return;
    // Counted before clamping, so that a grid reaching past the 32-bit
    // range still covers the target.
    int64_t c[4];
    cover64(tile, target, c);
    *columns = clamp32((c[2] - c[0]) / (int64_t(tile->x1) - tile->x0));
    *rows = clamp32((c[3] - c[1]) / (int64_t(tile->y1) - tile->y0));
    *x = clamp32(c[0]);
    *y = clamp32(c[1]);
}
