// Quadratic and cubic curve flattening by recursive halving.
#include "graphics/curve.h"

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

// ------------------------------------------------------------------ cubics

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

uint64_t curveMagnitude(int64_t v)
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
    uint64_t chord = curveMagnitude(dx) + curveMagnitude(dy);
    return chord >= (curveMagnitude(c1) >> 6) && chord >= (curveMagnitude(c2) >> 6);
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

// The rows a scan converter reads: pieces wholly outside them need no
// halving.
struct Band {
    int64_t y0, y1;
};

bool outsideBand(const Band *band, const Cubic &c)
{
    int64_t lo = c.y[0], hi = c.y[0];
    for (int i = 1; i < 4; i++) {
        lo = c.y[i] < lo ? c.y[i] : lo;
        hi = c.y[i] > hi ? c.y[i] : hi;
    }
    return hi < band->y0 || lo > band->y1;
}

int flattenCubic(const Cubic &c, const Rect *box, const Band *band, CurveLineFn fn, void *user,
                 uint32_t depth)
{
    bool flat = depth >= Curve_maxDepth ||
                (box && inClosed(box, c.x[1], c.y[1]) && inClosed(box, c.x[2], c.y[2])) ||
                (band && outsideBand(band, c)) || isFlat(c);
    if (flat)
        return emitLine(static_cast<int32_t>(c.x[0]), static_cast<int32_t>(c.y[0]),
                        static_cast<int32_t>(c.x[3]), static_cast<int32_t>(c.y[3]), fn, user);
    Cubic first, second;
    split(c, &first, &second);
    if (int err = flattenCubic(first, box, band, fn, user, depth + 1))
        return err;
    return flattenCubic(second, box, band, fn, user, depth + 1);
}

} // namespace

namespace {

Cubic readCubic(const int32_t *segment)
{
    Cubic c;
    const int32_t *p[4] = {segment, segment + 3, segment + 5, segment + 7};
    for (int i = 0; i < 4; i++) {
        c.x[i] = p[i][0];
        c.y[i] = p[i][1];
    }
    return c;
}

} // namespace

int Curve_flattenCubicStep(const int32_t *segment, const Rect *box, CurveLineFn fn, void *user,
                           uint32_t depth)
{
    return flattenCubic(readCubic(segment), box, nullptr, fn, user, depth);
}

int Curve_flattenCubicBand(const int32_t *segment, int64_t y0, int64_t y1, CurveLineFn fn,
                           void *user)
{
    const Band band = {y0, y1};
    return flattenCubic(readCubic(segment), nullptr, &band, fn, user, 0);
}

int Curve_flattenCubic(const int32_t *segment, CurveLineFn fn, void *user)
{
    return Curve_flattenCubicStep(segment, nullptr, fn, user, 0);
}
