// Stroke-font glyphs: decoding a font-pack glyph's skeleton and stroking
// it into outline contours.
//
// Point codes: a 16-bit big-endian code, q its top 2 bits and v its low 14.
// v = 0 with q 0 or 1 is an explicit point (two big-endian 16-bit values
// as they stand, on-curve when q is 0). Otherwise v gives (a, b) in one of
// four ranges (below 2200 one value; to 12604 two small ones; to 14652 and
// beyond with one and two more bytes), q turns (a, b) by quarter turns and
// the point is (x >> 1, y), on-curve when bit 0 of x is clear.
#include "fonts/strokefont.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"
#include "graphics/contour.h"

// ------------------------------------------------------- fixed point

int32_t Fixed_divSigned(int32_t a, int32_t b)
{
    bool negative = (a < 0) != (b < 0);
    uint64_t ua = a < 0 ? uint64_t(-int64_t(a)) : uint64_t(a);
    uint64_t ub = b < 0 ? uint64_t(-int64_t(b)) : uint64_t(b);
    uint64_t q = ub ? (ua << 16) / ub : uint64_t(INT32_MAX);
    if (q > uint64_t(INT32_MAX))
        q = uint64_t(INT32_MAX);
    return negative ? -int32_t(q) : int32_t(q);
}

int32_t Fixed_mulSigned(int32_t a, int32_t b)
{
    bool negative = (a < 0) != (b < 0);
    uint64_t ua = a < 0 ? uint64_t(-int64_t(a)) : uint64_t(a);
    uint64_t ub = b < 0 ? uint64_t(-int64_t(b)) : uint64_t(b);
    // By parts: the whole and the fractional part of b, rounded to the
    // nearest.
    uint64_t p = ua * (ub >> 16) + ((ua * (ub & 0xFFFF) + 0x8000) >> 16);
    if (p > uint64_t(INT32_MAX))
        p = uint64_t(INT32_MAX);
    return negative ? -int32_t(p) : int32_t(p);
}

int32_t Geom_approxLength(int32_t a, int32_t b)
{
    int64_t x = a < 0 ? -int64_t(a) : a, y = b < 0 ? -int64_t(b) : b;
    int64_t r = std::max(x, y) + std::min(x, y) / 2;
    return int32_t(std::min<int64_t>(r, INT32_MAX));
}

int32_t Geom_intHypot(int32_t a, int32_t b)
{
    int64_t x = a < 0 ? -int64_t(a) : a, y = b < 0 ? -int64_t(b) : b;
    int64_t g = std::max(x, y) + std::min(x, y) / 2;
    if (g == 0)
        return 0;
    int64_t s = x * x + y * y;
    for (int i = 0; i < 2; i++)
        g = (s / g + g + 1) >> 1;
    return int32_t(std::min<int64_t>(g, INT32_MAX));
}

// ------------------------------------------------------ glyph coding

namespace {

uint8_t nextByte(FontPackBytes *in)
{
    if (in->at >= in->end) {
        in->failed = 1;
        return 0;
    }
    return *in->at++;
}

int32_t nextI16(FontPackBytes *in)
{
    uint32_t hi = nextByte(in);
    return int16_t(uint16_t(hi << 8 | nextByte(in)));
}

} // namespace

uint32_t FontPack_readVarUint(FontPackBytes *in)
{
    uint32_t value = 0, shift = 0;
    for (;;) {
        uint8_t b = nextByte(in);
        if (in->failed)
            return 0;
        if (b < 240)
            return shift < 32 ? value | uint32_t(b) << shift : value;
        if (shift < 32)
            value |= uint32_t(b - 240) << shift;
        shift += 4;
        if (shift > 32) { // longer than any 32-bit number
            in->failed = 1;
            return 0;
        }
    }
}

void FontPack_decodeVarFields(FontPackBytes *in, uint16_t fields[4])
{
    uint32_t f[4] = {0, 0, 0, 0};
    for (uint32_t k = 0; k < 8; k++) {
        uint8_t b = nextByte(in);
        f[3] |= uint32_t((b >> 1) & 7) << (3 * k);
        f[2] |= uint32_t((b >> 4) & 3) << (2 * k);
        f[1] |= uint32_t((b >> 6) & 1) << k;
        f[0] |= uint32_t((b >> 7) & 1) << k;
        if (!(b & 1))
            break;
    }
    for (int i = 0; i < 4; i++)
        fields[i] = uint16_t(f[i]);
}

void FontPack_decodeContourPair(FontPackBytes *in, uint16_t *a, uint16_t *b)
{
    uint32_t fa = 0, fb = 0;
    for (uint32_t k = 0; k < 8; k++) {
        uint8_t c = nextByte(in);
        fb |= uint32_t((c >> 1) & 7) << (3 * k);
        fa |= uint32_t((c >> 4) & 15) << (4 * k);
        if (!(c & 1))
            break;
    }
    *a = uint16_t(fa);
    *b = uint16_t(fb);
}

void FontPack_decodePoint(FontPackBytes *in, int32_t *x, int32_t *y, int *onCurve)
{
    uint32_t hi = nextByte(in);
    uint32_t code = hi << 8 | nextByte(in);
    uint32_t q = code >> 14, v = code & 0x3FFF;
    if (v == 0 && q <= 1) {
        *x = nextI16(in);
        *y = nextI16(in);
        *onCurve = q == 0;
        return;
    }
    int32_t a, b;
    if (v < 2200) {
        a = int32_t(v);
        b = 0;
    } else if (v < 12604) {
        uint32_t t = v - 2200;
        a = int32_t(t / 102 + 1);
        b = int32_t(t % 102 + 1);
    } else if (v < 14652) {
        uint32_t t = (v - 12604) * 256 + nextByte(in);
        a = int32_t(t / 724 + 1);
        b = int32_t(t % 724 + 1);
    } else {
        uint32_t t = (v - 14652) * 256 + nextByte(in);
        t = t * 256 + nextByte(in);
        a = int32_t(t / 10650);
        b = int32_t(t % 10650);
    }
    int32_t px, py;
    switch (q) {
    case 0: px = a, py = b; break;
    case 1: px = -b, py = a; break;
    case 2: px = -a, py = -b; break;
    default: px = b, py = -a; break;
    }
    *x = px >> 1;
    *y = py;
    *onCurve = (px & 1) == 0;
}

// ------------------------------------------------------- contour sets

StrokeContours *StrokeContours_create(void)
{
    return static_cast<StrokeContours *>(Mem_calloc(1, sizeof(StrokeContours)));
}

void StrokeContours_free(StrokeContours *s)
{
    if (!s)
        return;
    Mem_free(s->moreStarts);
    Mem_free(s->moreEnds);
    Mem_free(s->xs);
    Mem_free(s->ys);
    Mem_free(s->flags);
    Mem_free(s);
}

namespace {

// Room for n points in all; the arrays grow by 32 beyond the need.
int reservePoints(StrokeContours *s, uint32_t n)
{
    if (n <= s->capacity)
        return Res_ok;
    if (n > 0xFFFF) // point indices are 16-bit
        return Res_fontUnsupported;
    uint32_t cap = n + 32;
    size_t bytes = size_t(cap + 4) * 2;
    int16_t *xs = static_cast<int16_t *>(Mem_realloc(s->xs, bytes));
    if (!xs)
        return Res_noMemory;
    s->xs = xs;
    int16_t *ys = static_cast<int16_t *>(Mem_realloc(s->ys, bytes));
    if (!ys)
        return Res_noMemory;
    s->ys = ys;
    uint16_t *fl = static_cast<uint16_t *>(Mem_realloc(s->flags, bytes));
    if (!fl)
        return Res_noMemory;
    s->flags = fl;
    s->capacity = cap;
    return Res_ok;
}

int16_t clamp16(int32_t v)
{
    return int16_t(std::clamp<int32_t>(v, -32768, 32767));
}

} // namespace

int StrokeContours_addPoint(StrokeContours *s, int32_t x, int32_t y, int onCurve)
{
    int r = reservePoints(s, s->pointCount + 1);
    if (r != Res_ok)
        return r;
    s->xs[s->pointCount] = clamp16(x);
    s->ys[s->pointCount] = clamp16(y);
    s->flags[s->pointCount] = onCurve ? 1 : 0;
    s->pointCount++;
    return Res_ok;
}

int StrokeContours_endContour(StrokeContours *s, uint32_t first)
{
    if (s->pointCount <= first)
        return Res_ok;
    uint32_t i = s->contourCount;
    if (i >= 0xFFFF)
        return Res_fontUnsupported;
    if (i < StrokeContours_inline) {
        s->starts[i] = uint16_t(first);
        s->ends[i] = uint16_t(s->pointCount - 1);
    } else {
        uint32_t j = i - StrokeContours_inline;
        if (j >= s->moreCapacity) {
            uint32_t cap = s->moreCapacity ? s->moreCapacity * 2 : 16;
            uint16_t *a = static_cast<uint16_t *>(Mem_realloc(s->moreStarts, cap * 2));
            if (!a)
                return Res_noMemory;
            s->moreStarts = a;
            uint16_t *b = static_cast<uint16_t *>(Mem_realloc(s->moreEnds, cap * 2));
            if (!b)
                return Res_noMemory;
            s->moreEnds = b;
            s->moreCapacity = cap;
        }
        s->moreStarts[j] = uint16_t(first);
        s->moreEnds[j] = uint16_t(s->pointCount - 1);
    }
    s->contourCount++;
    return Res_ok;
}

void StrokeContours_range(const StrokeContours *s, uint32_t i, uint32_t *first, uint32_t *last)
{
    if (i < StrokeContours_inline) {
        *first = s->starts[i];
        *last = s->ends[i];
    } else {
        *first = s->moreStarts[i - StrokeContours_inline];
        *last = s->moreEnds[i - StrokeContours_inline];
    }
}

// ----------------------------------------------------------- stroking

namespace {

struct SidePoint {
    int32_t x, y, on;
};

// One growable side of a stroked contour.
struct Side {
    SidePoint *points;
    uint32_t count, capacity;
};

int sideAdd(Side *s, int32_t x, int32_t y, int on)
{
    if (s->count == s->capacity) {
        uint32_t cap = s->capacity ? s->count + s->count / 2 + 16 : 256;
        void *p = Mem_realloc(s->points, size_t(cap) * sizeof(SidePoint));
        if (!p)
            return Res_noMemory;
        s->points = static_cast<SidePoint *>(p);
        s->capacity = cap;
    }
    s->points[s->count++] = SidePoint{x, y, on ? 1 : 0};
    return Res_ok;
}

struct Vec {
    int32_t x, y;
};

// (dx, dy) scaled to length h: 2h over the length of (2dx, 2dy), applied,
// then once more on the result to take out the rounding error.
Vec scaleTo(int32_t dx, int32_t dy, int32_t h)
{
    for (int pass = 0; pass < 2; pass++) {
        int32_t len = Geom_intHypot(2 * dx, 2 * dy);
        int32_t f = len ? Fixed_divSigned(2 * h, len) : 0x10000;
        dx = Fixed_mulSigned(dx, f);
        dy = Fixed_mulSigned(dy, f);
    }
    return Vec{dx, dy};
}

// The left offset of length h for the direction (dx, dy).
Vec offsetOf(int32_t dx, int32_t dy, int32_t h)
{
    return scaleTo(-dy, dx, h);
}

// Where the line a0-a1 meets the line b0-b1. *within: the meeting lies on
// both segments (parameters at most 1.0 from the far ends). Parallel lines
// meet at the midpoint of a1 and b0.
Vec intersect(Vec a0, Vec a1, Vec b0, Vec b1, int *within)
{
    int64_t ax = a1.x - a0.x, ay = a1.y - a0.y, bx = b1.x - b0.x, by = b1.y - b0.y;
    int64_t den = ax * by - ay * bx;
    if (den == 0) {
        *within = 1;
        return Vec{int32_t((int64_t(a1.x) + b0.x) / 2), int32_t((int64_t(a1.y) + b0.y) / 2)};
    }
    int64_t cx = b0.x - a0.x, cy = b0.y - a0.y;
    // Parameters along a (0 at a0) and along b (0 at b0), 16.16.
    int64_t tn = cx * by - cy * bx;
    int64_t t = tn * 65536 / den;
    int64_t u = (cx * ay - cy * ax) * 65536 / den;
    *within = t >= 0 && t <= 65536 && u >= 0 && u <= 65536;
    // The point itself from the exact ratio, rounded to the nearest.
    auto along = [&](int64_t d) {
        int64_t n = d * tn, q = n / den, r = n % den;
        int64_t ad = den < 0 ? -den : den, ar = r < 0 ? -r : r;
        if (2 * ar >= ad)
            q += ((n < 0) != (den < 0)) ? -1 : 1;
        return q;
    };
    int64_t x = a0.x + along(ax), y = a0.y + along(ay);
    return Vec{int32_t(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)),
               int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX))};
}

struct Stroker {
    int32_t h;
    uint32_t join, cap;
    Side left, right;
    // The offset of the previous segment, reused by the next joint.
    Vec cachedNormal;
    int32_t cachedIndex; // -1: none
};

int joint(Stroker *k, Vec p, Vec q, Vec r, int on, int32_t index)
{
    int32_t h = k->h;
    int64_t ux = q.x - p.x, uy = q.y - p.y, vx = r.x - q.x, vy = r.y - q.y;
    int64_t len = int64_t(Geom_approxLength(int32_t(ux), int32_t(uy))) *
                  Geom_approxLength(int32_t(vx), int32_t(vy));
    int64_t cross = ux * vy - uy * vx, dot = ux * vx + uy * vy;
    int64_t across = cross < 0 ? -cross : cross;
    int r0;
    if ((across < (len >> 3) && dot >= 1) || (!on && across < (len >> 2) && dot >= 0)) {
        Vec n = offsetOf(r.x - p.x, r.y - p.y, h);
        k->cachedIndex = -1;
        r0 = sideAdd(&k->left, q.x + n.x, q.y + n.y, on);
        return r0 == Res_ok ? sideAdd(&k->right, q.x - n.x, q.y - n.y, on) : r0;
    }
    Vec nu = k->cachedIndex >= 0 && k->cachedIndex == index - 1
                 ? k->cachedNormal
                 : offsetOf(int32_t(ux), int32_t(uy), h);
    Vec nv = offsetOf(int32_t(vx), int32_t(vy), h);
    k->cachedNormal = nv;
    k->cachedIndex = index;
    for (int sgn = 1; sgn >= -1; sgn -= 2) {
        Side *side = sgn > 0 ? &k->left : &k->right;
        Vec a = {sgn * nu.x, sgn * nu.y}, b = {sgn * nv.x, sgn * nv.y};
        int within = 0;
        Vec m = intersect(Vec{p.x + a.x, p.y + a.y}, Vec{q.x + a.x, q.y + a.y},
                          Vec{q.x + b.x, q.y + b.y}, Vec{r.x + b.x, r.y + b.y}, &within);
        // The left side is inside a left (counter-clockwise) turn.
        bool inner = (cross > 0) == (sgn > 0);
        int rc = Res_ok;
        if (inner) {
            if (!within && on) {
                rc = sideAdd(side, q.x + a.x, q.y + a.y, 1);
                if (rc == Res_ok)
                    rc = sideAdd(side, q.x + b.x, q.y + b.y, 1);
            } else {
                rc = sideAdd(side, m.x, m.y, on);
            }
        } else if (k->join == StrokeJoin_mitre || k->join == StrokeJoin_bevel) {
            if (k->join == StrokeJoin_mitre &&
                (!on || Geom_intHypot(m.x - q.x, m.y - q.y) <= 2 * h)) {
                rc = sideAdd(side, m.x, m.y, on);
            } else {
                rc = sideAdd(side, q.x + a.x, q.y + a.y, 1);
                if (rc == Res_ok)
                    rc = sideAdd(side, q.x + b.x, q.y + b.y, 1);
            }
        } else if (k->join == StrokeJoin_round) {
            // Two control points where the offset lines meet the line
            // across the bisector at distance h from the corner.
            Vec bis = scaleTo(a.x + b.x, a.y + b.y, h);
            Vec c0 = {q.x + bis.x, q.y + bis.y};
            Vec c1 = {c0.x - bis.y, c0.y + bis.x};
            int w = 0;
            Vec m1 = intersect(Vec{p.x + a.x, p.y + a.y}, Vec{q.x + a.x, q.y + a.y}, c0, c1, &w);
            Vec m2 = intersect(c0, c1, Vec{q.x + b.x, q.y + b.y}, Vec{r.x + b.x, r.y + b.y}, &w);
            rc = sideAdd(side, q.x + a.x, q.y + a.y, 1);
            if (rc == Res_ok)
                rc = sideAdd(side, m1.x, m1.y, 0);
            if (rc == Res_ok)
                rc = sideAdd(side, m2.x, m2.y, 0);
            if (rc == Res_ok)
                rc = sideAdd(side, q.x + b.x, q.y + b.y, 1);
        }
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

// The cap at e whose outward direction is d: its left point goes to the
// left side and its right point to the right side (an open outline runs
// along the left side and back along the right one).
int capAt(Stroker *k, Vec e, Vec d, bool atStart)
{
    Vec u = scaleTo(d.x, d.y, k->h);
    // The left normal of the walking direction: at the start the walk goes
    // against d, at the end along it.
    Vec n = atStart ? Vec{u.y, -u.x} : Vec{-u.y, u.x};
    int rc = Res_ok;
    auto both = [&](Vec shift, int on) {
        if (rc == Res_ok)
            rc = sideAdd(&k->left, e.x + shift.x + n.x, e.y + shift.y + n.y, on);
        if (rc == Res_ok)
            rc = sideAdd(&k->right, e.x + shift.x - n.x, e.y + shift.y - n.y, on);
    };
    switch (k->cap) {
    case StrokeCap_square: both(u, 1); break;
    case StrokeCap_butt: both(Vec{0, 0}, 1); break;
    case StrokeCap_half: both(Vec{u.x / 2, u.y / 2}, 1); break;
    case StrokeCap_round:
        if (atStart) {
            both(u, 0);
            both(Vec{0, 0}, 1);
        } else {
            both(Vec{0, 0}, 1);
            both(u, 0);
        }
        break;
    default: break;
    }
    return rc;
}

int64_t signedArea(const SidePoint *p, uint32_t n)
{
    int64_t a = 0;
    for (uint32_t i = 0; i < n; i++) {
        const SidePoint &s = p[i], &t = p[(i + 1) % n];
        a += int64_t(s.x) * t.y - int64_t(t.x) * s.y;
    }
    return a;
}

int emit(StrokeContours *out, const SidePoint *p, uint32_t n, bool reverse)
{
    uint32_t first = out->pointCount;
    for (uint32_t i = 0; i < n; i++) {
        const SidePoint &s = p[reverse ? n - 1 - i : i];
        int rc = StrokeContours_addPoint(out, s.x, s.y, s.on);
        if (rc != Res_ok)
            return rc;
    }
    return StrokeContours_endContour(out, first);
}

int strokeOne(Stroker *k, const StrokeContours *in, uint32_t first, uint32_t last,
              int closedDetection, StrokeContours *out)
{
    if (last <= first)
        return Res_ok;
    auto pt = [&](uint32_t i) { return Vec{in->xs[i], in->ys[i]}; };
    auto on = [&](uint32_t i) { return int(in->flags[i] & 1); };
    k->left.count = k->right.count = 0;
    k->cachedIndex = -1;
    uint32_t n = last - first; // k in P0..Pk
    bool closed =
        closedDetection && n >= 2 && in->xs[first] == in->xs[last] && in->ys[first] == in->ys[last];
    int rc = Res_ok;
    if (closed) {
        rc = joint(k, pt(last - 1), pt(first), pt(first + 1), on(first), 0);
        for (uint32_t i = 1; i < n && rc == Res_ok; i++)
            rc = joint(k, pt(first + i - 1), pt(first + i), pt(first + i + 1), on(first + i),
                       int32_t(i));
        if (rc == Res_ok)
            rc = joint(k, pt(last - 1), pt(last), pt(first + 1), on(last), -2);
        if (rc != Res_ok)
            return rc;
        int64_t al = signedArea(k->left.points, k->left.count);
        int64_t ar = signedArea(k->right.points, k->right.count);
        rc = emit(out, k->left.points, k->left.count, false);
        if (rc == Res_ok)
            rc = emit(out, k->right.points, k->right.count, (al > 0) == (ar > 0));
        return rc;
    }
    Vec p0 = pt(first), p1 = pt(first + 1), pk = pt(last), pk1 = pt(last - 1);
    rc = capAt(k, p0, Vec{p0.x - p1.x, p0.y - p1.y}, true);
    for (uint32_t i = 1; i < n && rc == Res_ok; i++)
        rc = joint(k, pt(first + i - 1), pt(first + i), pt(first + i + 1), on(first + i),
                   int32_t(i));
    if (rc == Res_ok)
        rc = capAt(k, pk, Vec{pk.x - pk1.x, pk.y - pk1.y}, false);
    if (rc != Res_ok)
        return rc;
    // One outline: the left side, then the right side back.
    uint32_t start = out->pointCount;
    for (uint32_t i = 0; i < k->left.count && rc == Res_ok; i++)
        rc = StrokeContours_addPoint(out, k->left.points[i].x, k->left.points[i].y,
                                     k->left.points[i].on);
    for (uint32_t i = k->right.count; i-- > 0 && rc == Res_ok;)
        rc = StrokeContours_addPoint(out, k->right.points[i].x, k->right.points[i].y,
                                     k->right.points[i].on);
    return rc == Res_ok ? StrokeContours_endContour(out, start) : rc;
}

} // namespace

StrokeContours *Stroke_contours(StrokeContours *set, int32_t h, uint32_t join, uint32_t cap,
                                int closedDetection)
{
    if (!set)
        return nullptr;
    StrokeContours *out = StrokeContours_create();
    Stroker k{};
    k.h = h;
    k.join = join;
    k.cap = cap;
    k.cachedIndex = -1;
    int rc = out ? Res_ok : Res_noMemory;
    for (uint32_t c = 0; c < set->contourCount && rc == Res_ok; c++) {
        uint32_t first, last;
        StrokeContours_range(set, c, &first, &last);
        rc = strokeOne(&k, set, first, last, closedDetection, out);
    }
    Mem_free(k.left.points);
    Mem_free(k.right.points);
    if (out && rc == Res_ok) {
        out->minX = set->minX;
        out->maxY = set->maxY;
    }
    StrokeContours_free(set);
    if (rc != Res_ok) {
        StrokeContours_free(out);
        return nullptr;
    }
    return out;
}

// --------------------------------------------------------- glyph build

namespace {

// A glyph's data never needs more.
constexpr uint32_t maxGlyphBytes = 0x10000;

int readGlyphBytes(FontFace *face, uint16_t glyph, uint8_t **bytes, uint32_t *length)
{
    *bytes = nullptr;
    *length = 0;
    if (!face->locateGlyph || !face->reader)
        return Res_nullInput;
    uint32_t a = 0, b = 0;
    int r = face->locateGlyph(face, glyph, &a);
    if (r == Res_ok && glyph < 0xFFFF)
        r = face->locateGlyph(face, uint16_t(glyph + 1), &b);
    if (r != Res_ok)
        return r;
    if (b <= a)
        return Res_ok; // an empty glyph
    if (b - a > maxGlyphBytes)
        return Res_fontUnsupported;
    // Locations count from the start of the glyph data table.
    uint32_t base = face->tables ? face->tables->tables[FontTable_glyf].offset : 0;
    if (uint64_t(base) + b > UINT32_MAX)
        return Res_fontUnsupported;
    a += base;
    b += base;
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(b - a));
    if (!buf)
        return Res_noMemory;
    r = BufStream_setRange(face->source, face->reader, a, b - a);
    if (r == Res_ok)
        r = BufStream_read(face->reader, buf, b - a);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(face->reader);
    if (r != Res_ok) {
        Mem_free(buf);
        return r;
    }
    *bytes = buf;
    *length = b - a;
    return Res_ok;
}

int32_t componentOffset(int32_t x, int on)
{
    return 2 * x + (on ? 1 : 0);
}

// The 4.12 factor of a scale value s: (s + 256) / 256.
int32_t scaleFactor(int32_t s)
{
    int32_t f = Fixed_divSigned(s + 256, 256);
    return (f + 8) >> 4;
}

// Transforms the points from index from on: x' = dx + ((kx x + 2048) >> 12).
void placePoints(StrokeContours *set, uint32_t from, int32_t dx, int32_t dy, int32_t kx, int32_t ky)
{
    for (uint32_t i = from; i < set->pointCount; i++) {
        int64_t x = set->xs[i], y = set->ys[i];
        set->xs[i] = clamp16(int32_t(dx + ((kx * x + 2048) >> 12)));
        set->ys[i] = clamp16(int32_t(dy + ((ky * y + 2048) >> 12)));
    }
}

int buildInto(FontFace *face, StrokeContours *set, uint16_t glyph, uint32_t depth);

int decodeGlyph(FontFace *face, StrokeContours *set, FontPackBytes *in, uint32_t depth)
{
    uint16_t f[4];
    FontPack_decodeVarFields(in, f);
    uint32_t plain = depth ? 0 : f[0], shifted = depth ? 0 : f[1], scaled = depth ? 0 : f[2];
    uint32_t contours = f[3];
    int rc = Res_ok;
    for (uint32_t i = 0; i < plain && rc == Res_ok && !in->failed; i++) {
        uint32_t g = FontPack_readVarUint(in);
        if (!in->failed)
            rc = buildInto(face, set, uint16_t(g), depth + 1);
    }
    for (uint32_t i = 0; i < shifted && rc == Res_ok && !in->failed; i++) {
        int32_t x, y;
        int on;
        FontPack_decodePoint(in, &x, &y, &on);
        uint32_t g = FontPack_readVarUint(in);
        uint32_t from = set->pointCount;
        if (!in->failed)
            rc = buildInto(face, set, uint16_t(g), depth + 1);
        if (rc == Res_ok)
            placePoints(set, from, componentOffset(x, on), y, 4096, 4096);
    }
    for (uint32_t i = 0; i < scaled && rc == Res_ok && !in->failed; i++) {
        int32_t x, y, sx, sy;
        int on, son;
        FontPack_decodePoint(in, &x, &y, &on);
        FontPack_decodePoint(in, &sx, &sy, &son);
        uint32_t g = FontPack_readVarUint(in);
        uint32_t from = set->pointCount;
        if (!in->failed)
            rc = buildInto(face, set, uint16_t(g), depth + 1);
        if (rc == Res_ok)
            placePoints(set, from, componentOffset(x, on), y, scaleFactor(componentOffset(sx, son)),
                        scaleFactor(sy));
    }
    if (rc != Res_ok)
        return rc;
    // Contour lengths in pairs.
    uint32_t lengths[2];
    uint32_t firstContour = set->contourCount;
    uint32_t point = set->pointCount;
    uint32_t total = 0;
    for (uint32_t c = 0; c < contours && !in->failed;) {
        uint16_t a, b;
        FontPack_decodeContourPair(in, &a, &b);
        lengths[0] = uint32_t(a) + 1;
        lengths[1] = uint32_t(b) + 1;
        for (int j = 0; j < 2 && c < contours; j++, c++) {
            total += lengths[j];
            if (point + total > 0xFFFF)
                return Res_fontUnsupported;
            // Record the range now; the points follow below.
            rc = reservePoints(set, point + total);
            if (rc != Res_ok)
                return rc;
            uint32_t start = point + total - lengths[j];
            uint32_t saved = set->pointCount;
            set->pointCount = start + lengths[j];
            rc = StrokeContours_endContour(set, start);
            set->pointCount = saved;
            if (rc != Res_ok)
                return rc;
        }
    }
    if (in->failed)
        return Res_bufWindowShort;
    int32_t x = 0, y = 0;
    for (uint32_t i = 0; i < total; i++) {
        int32_t dx, dy;
        int on;
        FontPack_decodePoint(in, &dx, &dy, &on);
        if (in->failed)
            return Res_bufWindowShort;
        x += dx;
        y += dy;
        rc = StrokeContours_addPoint(set, x, y, on);
        if (rc != Res_ok)
            return rc;
        set->minX = set->pointCount == 1 ? x : std::min(set->minX, x);
        set->maxY = set->pointCount == 1 ? y : std::max(set->maxY, y);
    }
    (void)firstContour;
    return Res_ok;
}

int buildInto(FontFace *face, StrokeContours *set, uint16_t glyph, uint32_t depth)
{
    uint8_t *bytes = nullptr;
    uint32_t length = 0;
    int rc = readGlyphBytes(face, glyph, &bytes, &length);
    if (rc != Res_ok || !bytes)
        return rc;
    FontPackBytes in{bytes, bytes + length, 0};
    rc = decodeGlyph(face, set, &in, depth);
    Mem_free(bytes);
    return rc;
}

// The half stroke width: thin + (bold - thin) x (1.0, or 1.5 for a weight
// class of 5 and above).
int32_t halfWidth(const FontFace *face)
{
    int32_t thin = face->tables ? face->tables->packSetting1 : 2;
    int32_t bold = face->tables ? face->tables->packSetting2 : 10;
    int32_t f = (face->styleWord & 15) < 5 ? 0x10000 : 0x18000;
    return thin + Fixed_mulSigned(bold - thin, f);
}

// The advance of a glyph in font units and the font's ascent, for the
// phantom points.
void phantomValues(FontFace *face, uint16_t glyph, int32_t *advance, int32_t *ascent)
{
    uint32_t em = face->unitsPerEm ? face->unitsPerEm : 2048;
    *advance = 0;
    if (face->advance) {
        uint8_t tag = 0;
        uint16_t zero = 0, adv = 0;
        if (face->advance(face, &glyph, 1, 0, &tag, &zero, &adv) == Res_ok)
            *advance = int32_t(uint32_t(adv) * em / 16384);
    }
    int32_t a = face->metrics[3];
    *ascent = a == FontFace_unset ? int32_t(em) : int32_t(int64_t(a) * em / 16384);
}

} // namespace

int FontPack_buildGlyph(FontFace *face, StrokeContours **set, uint16_t glyph, uint32_t depth)
{
    int rc = buildInto(face, *set, glyph, depth);
    if (rc != Res_ok || depth != 0)
        return rc;
    StrokeContours *s = *set;
    // The largest counts seen size later glyphs' buffers.
    if (face->tables) {
        face->tables->maxPoints =
            uint16_t(std::max<uint32_t>(face->tables->maxPoints, s->pointCount));
        face->tables->maxContours =
            uint16_t(std::max<uint32_t>(face->tables->maxContours, s->contourCount));
    }
    int32_t h = halfWidth(face);
    for (uint32_t i = 0; i < s->pointCount; i++)
        s->ys[i] = clamp16(s->ys[i] + h);
    // The four phantom points stay outside every contour.
    int32_t advance, ascent;
    phantomValues(face, glyph, &advance, &ascent);
    const int32_t phantom[4][2] = {{0, 0}, {advance, 0}, {advance / 2, ascent}, {advance / 2, 0}};
    for (const auto &p : phantom) {
        rc = StrokeContours_addPoint(s, p[0], p[1], 1);
        if (rc != Res_ok)
            return rc;
    }
    *set = Stroke_contours(s, h, StrokeJoin_mitre, StrokeCap_square, 1);
    return *set ? Res_ok : Res_noMemory;
}

int FontPack_glyphOutline(FontFace *face, uint16_t glyph, GlyphPath **out)
{
    *out = nullptr;
    if (glyph == 0 || glyph >= face->glyphCount) {
        *out = GlyphPath_missingGlyph(2048);
        return *out ? Res_ok : Res_noMemory;
    }
    StrokeContours *set = StrokeContours_create();
    if (!set)
        return Res_noMemory;
    int rc = FontPack_buildGlyph(face, &set, glyph, 0);
    GlyphPath *o = nullptr;
    if (rc == Res_ok)
        rc = GlyphPath_create(&o, GlyphPath_kindPath);
    for (uint32_t c = 0; rc == Res_ok && c < set->contourCount; c++) {
        uint32_t first, last;
        StrokeContours_range(set, c, &first, &last);
        ContourState st{};
        for (uint32_t i = first; i <= last && rc == Res_ok; i++)
            rc = Contour_addPoint(o, &st, set->xs[i], set->ys[i], set->flags[i] & 1);
        if (rc == Res_ok)
            rc = Contour_addPoint(o, &st, set->xs[first], set->ys[first], set->flags[first] & 1);
        if (rc == Res_ok && !(set->flags[first] & 1) && first < last)
            rc = Contour_addPoint(o, &st, set->xs[first + 1], set->ys[first + 1],
                                  set->flags[first + 1] & 1);
    }
    if (rc == Res_ok)
        rc = GlyphPath_finish(o);
    StrokeContours_free(set);
    if (rc != Res_ok) {
        GlyphPath_destroy(o);
        return rc == Res_noMemory ? Res_noMemory : rc;
    }
    *out = o;
    return Res_ok;
}
