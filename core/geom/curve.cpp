// Quadratic curve flattening by recursive halving.
#include "core/geom/curve.h"

#include "graphics/path.h"

static inline uint64_t distance(int32_t a, int32_t b)
{
    int64_t d = static_cast<int64_t>(a) - b;
    return static_cast<uint64_t>(d < 0 ? -d : d);
}

static inline bool inClosedBox(const Rect *box, int32_t x, int32_t y)
{
    return box->x0 <= x && x <= box->x1 && box->y0 <= y && y <= box->y1;
}

// Hands the line from (sx, sy) to (ex, ey) to fn laid out as a path line
// element, so that the start sits three words before the end.
static int emitLine(int32_t sx, int32_t sy, int32_t ex, int32_t ey, CurveLineFn fn, void *user)
{
    if (sx == ex && sy == ey)
        return 0;
    const int32_t line[5] = {sx, sy, static_cast<int32_t>(Path_opLine), ex, ey};
    return fn(line + 3, user);
}

void Curve_flattenSplit(const int32_t *s, int32_t *first, int32_t *second)
{
    int32_t m01x = Curve_midpoint(s[0], s[3]), m01y = Curve_midpoint(s[1], s[4]);
    int32_t m12x = Curve_midpoint(s[3], s[5]), m12y = Curve_midpoint(s[4], s[6]);
    int32_t mx = Curve_midpoint(m01x, m12x), my = Curve_midpoint(m01y, m12y);
    const int32_t a[Curve_quadWords] = {s[0], s[1], s[2], m01x, m01y, mx, my};
    const int32_t b[Curve_quadWords] = {mx, my, s[2], m12x, m12y, s[5], s[6]};
    for (uint32_t i = 0; i < Curve_quadWords; i++) {
        first[i] = a[i];
        second[i] = b[i];
    }
}

int Curve_flattenStep(const int32_t *s, const Rect *box, CurveLineFn fn, void *user, uint32_t depth)
{
    bool flat = depth >= Curve_maxDepth || (box && inClosedBox(box, s[3], s[4]));
    if (!flat) {
        int32_t m01x = Curve_midpoint(s[0], s[3]), m01y = Curve_midpoint(s[1], s[4]);
        int32_t m12x = Curve_midpoint(s[3], s[5]), m12y = Curve_midpoint(s[4], s[6]);
        int32_t mx = Curve_midpoint(m01x, m12x), my = Curve_midpoint(m01y, m12y);
        flat = distance(s[3], mx) + distance(s[4], my) <= Curve_flatness;
    }
    if (flat)
        return emitLine(s[0], s[1], s[5], s[6], fn, user);
    int32_t first[Curve_quadWords], second[Curve_quadWords];
    Curve_flattenSplit(s, first, second);
    if (int err = Curve_flattenStep(first, box, fn, user, depth + 1))
        return err;
    return Curve_flattenStep(second, box, fn, user, depth + 1);
}

int Curve_flatten(const int32_t *segment, CurveLineFn fn, void *user)
{
    return Curve_flattenStep(segment, nullptr, fn, user, 0);
}
