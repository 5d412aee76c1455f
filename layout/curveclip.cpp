// Cubic flattening by de Casteljau halving, with an optional clip
// rectangle inside which a piece counts as flat.
#include "layout/curveclip.h"

#include "graphics/path.h"

namespace {

struct Cubic {
    int64_t x[4], y[4]; // start, first control, second control, end
};

bool inClosed(const Rect *r, int64_t x, int64_t y)
{
    return r->x0 <= x && x <= r->x1 && r->y0 <= y && y <= r->y1;
}

bool inRange(int64_t d)
{
    return d >= -16384 && d <= 16383;
}

uint64_t magnitude(int64_t v)
{
    return static_cast<uint64_t>(v < 0 ? -v : v);
}

// Flat when the differences fit 15 bits and both control points lie close
// to the chord: their cross products with it, over 64, are at most the
// chord's L1 length.
bool isFlat(const Cubic &c)
{
    int64_t dx = c.x[0] - c.x[3], dy = c.y[0] - c.y[3];
    if (!inRange(dx) || !inRange(dy) || !inRange(c.x[0] - c.x[1]) || !inRange(c.y[1] - c.y[0]) ||
        !inRange(c.x[2] - c.x[3]) || !inRange(c.y[3] - c.y[2]))
        return false;
    // A closed piece has no chord to measure against: every cross product
    // would be 0 and a whole loop would count as flat and vanish. It is flat
    // only when its controls sit on its ends.
    if (dx == 0 && dy == 0)
        return c.x[1] == c.x[0] && c.y[1] == c.y[0] && c.x[2] == c.x[3] && c.y[2] == c.y[3];
    int64_t c1 = (c.y[1] - c.y[0]) * dx + (c.x[0] - c.x[1]) * dy;
    int64_t c2 = (c.y[3] - c.y[2]) * dx + (c.x[2] - c.x[3]) * dy;
    uint64_t chord = magnitude(dx) + magnitude(dy);
    return chord >= (magnitude(c1) >> 6) && chord >= (magnitude(c2) >> 6);
}

// Midpoints of 32-bit values summed in 64 bits, halved by arithmetic shift.
int64_t mid(int64_t a, int64_t b)
{
    return (a + b) >> 1;
}

void split(const Cubic &c, Cubic *first, Cubic *second)
{
    for (int axis = 0; axis < 2; axis++) {
        const int64_t *p = axis ? c.y : c.x;
        int64_t *a = axis ? first->y : first->x;
        int64_t *b = axis ? second->y : second->x;
        int64_t p01 = mid(p[0], p[1]), p12 = mid(p[1], p[2]), p23 = mid(p[2], p[3]);
        int64_t p012 = mid(p01, p12), p123 = mid(p12, p23);
        int64_t m = mid(p012, p123);
        a[0] = p[0], a[1] = p01, a[2] = p012, a[3] = m;
        b[0] = m, b[1] = p123, b[2] = p23, b[3] = p[3];
    }
}

int flatten(const Cubic &c, CurveLineFn fn, void *user, const Rect *clip, uint32_t depth)
{
    bool flat = depth >= Curve_maxDepth ||
                (clip && inClosed(clip, c.x[1], c.y[1]) && inClosed(clip, c.x[2], c.y[2])) ||
                isFlat(c);
    if (flat) {
        if (c.x[3] == c.x[0] && c.y[3] == c.y[0])
            return 0;
        const int32_t line[5] = {static_cast<int32_t>(c.x[0]), static_cast<int32_t>(c.y[0]),
                                 static_cast<int32_t>(Path_opLine), static_cast<int32_t>(c.x[3]),
                                 static_cast<int32_t>(c.y[3])};
        return fn(line + 3, user);
    }
    Cubic first, second;
    split(c, &first, &second);
    if (int err = flatten(first, fn, user, clip, depth + 1))
        return err;
    return flatten(second, fn, user, clip, depth + 1);
}

} // namespace

int Curve_flattenCubicClipped(const int32_t *curve, CurveLineFn fn, void *user, const Rect *clip)
{
    Cubic c;
    const int32_t *p[4] = {curve, curve + 3, curve + 5, curve + 7};
    for (int i = 0; i < 4; i++) {
        c.x[i] = p[i][0];
        c.y[i] = p[i][1];
    }
    return flatten(c, fn, user, clip, 0);
}
