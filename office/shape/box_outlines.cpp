// The coded preset outlines built directly in the shape's box: polygons
// from adjust 1, rounded corners, brackets and braces, block arrows,
// connectors, waves, the sun and the three-dimensional looking types with
// their shade sub-paths. Every value is computed in 64-bit arithmetic with
// division truncating toward zero, products before the division.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <iterator>

#include "core/result.h"
#include "graphics/path.h"
#include "office/shape/box_outlines.h"
#include "office/shape/geometry.h"
#include "office/shape/outlines.h"
#include "office/shape/pen.h"

namespace {

using namespace shape_pen;

// The corner radius of the rounded types: the shorter of the two scaled
// adjust values, each carried on its own axis with that axis's sign.
void cornerRadius(int64_t aw, int64_t ah, int32_t sign, int64_t *rx, int64_t *ry)
{
    if (std::llabs(aw) <= std::llabs(ah)) {
        *rx = aw;
        *ry = aw * sign;
    } else {
        *rx = ah * sign;
        *ry = ah;
    }
}

struct Box {
    int64_t w, h, aw, ah, a1;
    int32_t sign;
};

void roundRect(Pen *p, const Box &b, int64_t aw, int64_t ah)
{
    int64_t rx, ry;
    cornerRadius(aw, ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h, kx = kv(rx), ky = kv(ry);
    penMove(p, w, h - ry);
    penCurve(p, w, h - ky, w - kx, h, w - rx, h);
    penLine(p, rx, h);
    penCurve(p, kx, h, 0, h - ky, 0, h - ry);
    penLine(p, 0, ry);
    penCurve(p, 0, ky, kx, 0, rx, 0);
    penLine(p, w - rx, 0);
    penCurve(p, w - kx, 0, w, ky, w, ry);
    penClose(p);
}

void plaque(Pen *p, const Box &b)
{
    int64_t rx, ry;
    cornerRadius(b.aw, b.ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h, c = rx - kv(rx), cy = c * b.sign;
    penMove(p, w, h - ry);
    penCurve(p, w - c, h - ry, w - rx, h - cy, w - rx, h);
    penLine(p, rx, h);
    penCurve(p, rx, h - cy, c, h - ry, 0, h - ry);
    penLine(p, 0, ry);
    penCurve(p, c, ry, rx, cy, rx, 0);
    penLine(p, w - rx, 0);
    penCurve(p, w - rx, cy, w - c, ry, w, ry);
    penClose(p);
}

void bracketPair(Pen *p, const Box &b)
{
    int64_t rx, ry;
    cornerRadius(b.aw, b.ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h, kx = kv(rx), ky = kv(ry);
    penMove(p, w - rx, h);
    penCurve(p, w - kx, h, w, h - ky, w, h - ry);
    penLine(p, w, ry);
    penCurve(p, w, ky, w - kx, 0, w - rx, 0);
    penLine1(p, rx, 0);
    penCurve(p, kx, 0, 0, ky, 0, ry);
    penLine(p, 0, h - ry);
    penCurve(p, 0, h - ky, kx, h, rx, h);
}

void bracePair(Pen *p, const Box &b)
{
    int64_t rx, ry;
    cornerRadius(b.aw, b.ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h, kx = kv(rx), ky = kv(ry), my = h / 2;
    penMove(p, w - 2 * rx, h);
    penCurve(p, w - rx - kx, h, w - rx, h - ky, w - rx, h - ry);
    penLine(p, w - rx, my + ry);
    penCurve(p, w - rx, my + ky, w - rx + kx, my, w, my);
    penCurve(p, w - rx + kx, my, w - rx, my - ky, w - rx, my - ry);
    penLine(p, w - rx, ry);
    penCurve(p, w - rx, ky, w - rx - kx, 0, w - 2 * rx, 0);
    penLine1(p, 2 * rx, 0);
    penCurve(p, rx + kx, 0, rx, ky, rx, ry);
    penLine(p, rx, my - ry);
    penCurve(p, rx, my - ky, rx - kx, my, 0, my);
    penCurve(p, rx - kx, my, rx, my + ky, rx, my + ry);
    penLine(p, rx, h - ry);
    penCurve(p, rx, h - ky, rx + kx, h, 2 * rx, h);
}

// leftBracket (left) and rightBracket: open, the curve ends at the box's
// far side.
void bracket(Pen *p, const Box &b, bool left)
{
    const int64_t w = b.w, h = b.h, ah = b.ah, kw = kv(w), kh = kv(ah);
    if (left) {
        penMove(p, w, 0);
        penCurve(p, kw, 0, 0, kh, 0, ah);
        penLine(p, 0, h - ah);
        penCurve(p, 0, h - kh, kw, h, w, h);
    } else {
        penMove(p, 0, 0);
        penCurve(p, w - kw, 0, w, kh, w, ah);
        penLine(p, w, h - ah);
        penCurve(p, w, h - kh, w - kw, h, 0, h);
    }
}

// leftBrace (left) and rightBrace: the middle point sits at c, the tip at
// the box's far side; d is the direction of the bulges (+1 toward x = w).
void brace(Pen *p, const ShapeGeom *shape, const Box &b, bool left)
{
    const int64_t w = b.w, h = b.h, ah = b.ah, m = w / 2, km = kv(m), kh = kv(ah);
    const int64_t c = sa(int64_t(Shape_space) - prop(shape, 328, 10800), h);
    const int64_t end = left ? w : 0, tip = left ? 0 : w, d = left ? 1 : -1;
    penMove(p, end, 0);
    penCurve(p, m + d * km, 0, m, kh, m, ah);
    penLine(p, m, c - ah);
    penCurve(p, m, c - kh, m - d * km, c, tip, c);
    penCurve(p, m - d * km, c, m, c + kh, m, c + ah);
    penLine(p, m, h - ah);
    penCurve(p, m, h - kh, m + d * km, h, end, h);
}

void upDownBlock(Pen *p, const ShapeGeom *shape, const Box &b, bool up)
{
    const int64_t w = b.w, h = b.h;
    int32_t v;
    const int64_t base = present(shape, ShapeProp_adjust1, &v) ? sa(Shape_space - int64_t(v), h)
                                                               : (up ? 3 * h / 4 : h / 4);
    const int64_t t = scaledOr(shape, 328, w, w / 4);
    const int64_t e0 = up ? h : 0, e1 = up ? 0 : h;
    polygon(p, {{w / 2, e0}, {0, base}, {t, base}, {t, e1}, {w - t, e1}, {w - t, base}, {w, base}});
}

void leftRightArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h;
    const int64_t a = scaledOr(shape, ShapeProp_adjust1, w, w / 5);
    const int64_t c = scaledOr(shape, 328, h, h / 4);
    const int64_t pts[][2] = {{0, h / 2}, {a, 0},     {a, c},     {w - a, c},
                              {w - a, 0}, {w, h / 2}, {w - a, h}, {w - a, h - c},
                              {a, h - c}, {a, h},     {0, h / 2}};
    penMove(p, pts[0][0], pts[0][1]);
    for (size_t i = 1; i < std::size(pts); i++)
        penLine(p, pts[i][0], pts[i][1]);
}

void upDownArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h;
    const int64_t a = scaledOr(shape, ShapeProp_adjust1, w, w / 4);
    const int64_t c = scaledOr(shape, 328, h, h / 5);
    const int64_t pts[][2] = {{w / 2, 0}, {0, c},     {a, c},     {a, h - c},
                              {0, h - c}, {w / 2, h}, {w, h - c}, {w - a, h - c},
                              {w - a, c}, {w, c},     {w / 2, 0}};
    penMove(p, pts[0][0], pts[0][1]);
    for (size_t i = 1; i < std::size(pts); i++)
        penLine(p, pts[i][0], pts[i][1]);
}

void stripedRightArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw, u = w / 32;
    const int64_t c = scaledOr(shape, 328, h, h / 4);
    polygon(p, {{0, c}, {u, c}, {u, h - c}, {0, h - c}});
    polygon(p, {{2 * u, c}, {4 * u, c}, {4 * u, h - c}, {2 * u, h - c}});
    polygon(p, {{5 * u, c}, {aw, c}, {aw, 0}, {w, h / 2}, {aw, h}, {aw, h - c}, {5 * u, h - c}});
}

void notchedRightArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw;
    const int64_t c = scaledOr(shape, 328, h, h / 4);
    const int64_t n = mulDiv(h - 2 * c, w - aw, h);
    polygon(p,
            {{0, c}, {n, h / 2}, {0, h - c}, {aw, h - c}, {aw, h}, {w, h / 2}, {aw, 0}, {aw, c}});
}

void bentArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw;
    const int64_t p328 = prop(shape, 328, 2880);
    const int64_t y = sa(p328, h), t = 17 * h / 30, u = 17 * h / 60, q = 34 * w / 60;
    const int64_t x = sa(12240 - 2 * p328, w);
    penMove(p, 0, 0);
    penLine(p, 0, h - t);
    penCurve(p, 0, h - y - kv(t - y), kv(q), h - y, q, h - y);
    penLine(p, aw, h - y);
    penLine(p, aw, h);
    penLine(p, w, h - u);
    penLine(p, aw, h - t);
    penLine(p, aw, h - t + y);
    penLine(p, q, h - t + y);
    penCurve(p, x + kv(q - x), h - t + y, x, h - t + y - kv(y), x, h - t);
    penLine(p, x, 0);
    penClose(p);
}

void leftRightUpArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw, a1 = b.a1;
    const int64_t p328 = prop(shape, 328, 8640), p329 = prop(shape, 329, 6480);
    const int64_t x328 = sa(p328, w), y329 = sa(p329, h);
    const int64_t big = mulDiv(h, w, w - aw);
    const int64_t r = sa(Shape_space - a1 - p328, big), c = sa(10800 - a1, big);
    const int64_t g = mulDiv(w, y329, big);
    polygon(p, {{w / 2, h},
                {aw, h - y329},
                {x328, h - y329},
                {x328, r},
                {g, r},
                {g, 2 * c},
                {0, c},
                {g, 0},
                {g, 2 * c - r},
                {w - g, 2 * c - r},
                {w - g, 0},
                {w, c},
                {w - g, 2 * c},
                {w - g, r},
                {w - x328, r},
                {w - x328, h - y329},
                {w - aw, h - y329}});
}

void leftUpArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, a1 = b.a1;
    const int64_t p328 = prop(shape, 328, 18514), p329 = prop(shape, 329, 6171);
    const int64_t e = Shape_space - p328 + a1, m = a1 / 2 + 10800;
    const int64_t pts[][2] = {
        {p328, p328}, {p328, p329}, {Shape_space, p329}, {m, 0}, {a1, p329},          {e, p329},
        {e, e},       {p329, e},    {p329, a1},          {0, m}, {p329, Shape_space}, {p329, p328}};
    int64_t box[std::size(pts)][2];
    for (size_t i = 0; i < std::size(pts); i++) {
        box[i][0] = sa(pts[i][0], w);
        box[i][1] = h - sa(pts[i][1], h);
    }
    penPolygon(p, box, std::size(box));
}

void bentUpArrow(Pen *p, const ShapeGeom *shape, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw, a1 = b.a1;
    const int64_t p328 = prop(shape, 328, 18514), p329 = prop(shape, 329, 6171);
    const int64_t x328 = sa(p328, w), y329 = sa(p329, h);
    const int64_t xe = sa(Shape_space - p328 + a1, w), xm = sa(a1 / 2 + 10800, w);
    const int64_t j = mulDiv(x328 - xe, h, x328);
    polygon(p, {{0, 0},
                {x328, 0},
                {x328, h - y329},
                {w, h - y329},
                {xm, h},
                {aw, h - y329},
                {xe, h - y329},
                {xe, j},
                {0, j}});
}

void connector(Pen *p, const ShapeGeom *shape, const Box &b, uint32_t type)
{
    const int64_t w = b.w, h = b.h, aw = b.aw;
    const int64_t y = scaledOr(shape, 328, h, h / 2), x = scaledOr(shape, 329, w, w / 2);
    penMove(p, 0, h);
    switch (type) {
    case 33:
        penLine(p, w, h);
        penLine(p, w, 0);
        break;
    case 34:
        penLine(p, aw, h);
        penLine(p, aw, 0);
        penLine(p, w, 0);
        break;
    case 35:
        penLine(p, aw, h);
        penLine(p, aw, h - y);
        penLine(p, w, h - y);
        penLine(p, w, 0);
        break;
    case 36:
        penLine(p, aw, h);
        penLine(p, aw, h - y);
        penLine(p, x, h - y);
        penLine(p, x, 0);
        penLine(p, w, 0);
        break;
    case 37: penCurve(p, w / 2, h, w, h / 2, w, 0); break;
    case 38:
        penCurve(p, aw / 2, h, aw, 3 * h / 4, aw, h / 2);
        penCurve(p, aw, h / 4, (w + aw) / 2, 0, w, 0);
        break;
    case 39:
        penCurve(p, aw / 2, h, aw, h - y / 4, aw, h - y / 2);
        penCurve(p, aw, h - 3 * y / 4, (3 * aw + w) / 4, h - y, (aw + w) / 2, h - y);
        penCurve(p, (3 * w + aw) / 4, h - y, w, (h - y) / 2, w, 0);
        break;
    default: // 40
        penCurve(p, aw / 2, h, aw, (3 * h + y) / 4, aw, h - y / 2);
        penCurve(p, aw, (3 * h - 2 * y) / 4, (3 * aw + w) / 4, h - y, (aw + x) / 2, h - y);
        penCurve(p, aw + 3 * (x - aw) / 4, h - y, x, 3 * (h - y) / 4, x, (h - y) / 2);
        penCurve(p, x, (h - y) / 4, (x + w) / 2, 0, w, 0);
        break;
    }
}

// doubleWave (double) and wave: insets from adjust 2 shift the waves
// sideways.
void wave(Pen *p, const ShapeGeom *shape, const Box &b, bool twice)
{
    const int64_t w = b.w, h = b.h, ah = b.ah;
    int32_t v;
    const int64_t d = present(shape, 328, &v) ? 2 * int64_t(v) - Shape_space : 0;
    const int64_t l = d < 0 ? sa(-d, w) : 0, r = d >= 0 ? sa(d, w) : 0;
    penMove(p, l, h - ah);
    if (twice) {
        const int64_t q = (w - l - r) / 4, t = 3 * ah;
        penCurve(p, l + q, h - ah + t, l + q, h - ah - t, l + 2 * q, h - ah);
        penCurve(p, l + 3 * q, h - ah + t, l + 3 * q, h - ah - t, w - r, h - ah);
        penLine(p, w - l, ah);
        penCurve(p, r + 3 * q, ah - t, r + 3 * q, ah + t, r + 2 * q, ah);
        penCurve(p, r + q, ah - t, r + q, ah + t, r, ah);
    } else {
        const int64_t s = (2 * (w - l - r)) / 5, t = 15 * ah / 4;
        penCurve(p, l + s, h - ah + t, w - r - s, h - ah - t, w - r, h - ah);
        penLine(p, w - l, ah);
        penCurve(p, w - l - s, ah - t, r + s, ah + t, r, ah);
    }
    penClose(p);
}

void sun(Pen *p, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw, ah = b.ah, cx = w / 2, cy = h / 2;
    const int64_t kx = kv(cx - aw) + aw, ky = kv(cy - ah) + ah;
    penMove(p, cx, ah);
    penCurve(p, kx, ah, aw, ky, aw, cy);
    penCurve(p, aw, h - ky, kx, h - ah, cx, h - ah);
    penCurve(p, w - kx, h - ah, w - aw, h - ky, w - aw, cy);
    penCurve(p, w - aw, ky, w - kx, ah, cx, ah);
    const int64_t t = 10800 - 13 * b.a1 / 16;
    const int64_t e1 = sf(151 * t, w), e2 = sf(761 * t, h);
    polygon(p, {{cx, 0}, {cx - e1, cy - e2}, {cx + e1, cy - e2}});
    polygon(p, {{cx, h}, {cx - e1, h - (cy - e2)}, {cx + e1, h - (cy - e2)}});
    const int64_t f1 = sf(151 * t, h), f2 = sf(761 * t, w);
    polygon(p, {{0, cy}, {cx - f2, cy - f1}, {cx - f2, cy + f1}});
    polygon(p, {{w, cy}, {w - (cx - f2), cy - f1}, {w - (cx - f2), cy + f1}});
    // The diagonal rays: bottom-left, then mirrored top-left, top-right and
    // bottom-right.
    int64_t ray[3][2] = {{sf(4913932, cx), sf(4913932, cy)},
                         {cx - sf(645 * t, w), cy - sf(431 * t, h)},
                         {cx - sf(431 * t, w), cy - sf(645 * t, h)}};
    for (int i = 0; i < 4; i++) {
        penPolygon(p, ray, 3);
        for (auto &pt : ray) {
            if (i == 0 || i == 2)
                pt[1] = h - pt[1];
            else if (i == 1)
                pt[0] = w - pt[0];
        }
    }
}

void cube(Pen *p, const Box &b)
{
    int64_t rx, ry;
    cornerRadius(b.aw, b.ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h;
    polygon(p, {{0, 0}, {w - rx, 0}, {w - rx, h - ry}, {0, h - ry}});
    penShade(p, 72089);
    polygon(p, {{0, h - ry}, {w - rx, h - ry}, {w, h}, {rx, h}});
    penShade(p, 52428);
    polygon(p, {{w - rx, 0}, {w - rx, h - ry}, {w, h}, {w, ry}});
}

void bevel(Pen *p, const Box &b)
{
    int64_t rx, ry;
    cornerRadius(b.aw, b.ah, b.sign, &rx, &ry);
    const int64_t w = b.w, h = b.h;
    polygon(p, {{rx, ry}, {rx, h - ry}, {w - rx, h - ry}, {w - rx, ry}});
    penShade(p, 72089);
    polygon(p, {{0, h}, {w, h}, {w - rx, h - ry}, {rx, h - ry}});
    penShade(p, 78643);
    polygon(p, {{0, h}, {0, 0}, {rx, ry}, {rx, h - ry}});
    penShade(p, 58982);
    polygon(p, {{w, 0}, {0, 0}, {rx, ry}, {w - rx, ry}});
    penShade(p, 52428);
    polygon(p, {{w, 0}, {w, h}, {w - rx, h - ry}, {w - rx, ry}});
}

void foldedCorner(Pen *p, const Box &b)
{
    const int64_t w = b.w, h = b.h;
    const int64_t fx = sa(Shape_space - b.a1, w), fy = sa(Shape_space - b.a1, h);
    polygon(p, {{0, 0}, {w - fx, 0}, {w, fy}, {w, h}, {0, h}});
    penShade(p, 52428);
    penMove(p, w - fx, 0);
    penLine(p, w, fy);
    penCurve(p, w - fx / 2, 3 * fy / 4, w - 2 * fx / 3, 3 * fy / 4, w - 3 * fx / 4, fy);
    penLine(p, w - fx, 0);
}

void donut(Pen *p, const Box &b)
{
    const int64_t w = b.w, h = b.h, aw = b.aw, ah = b.ah;
    const int64_t kx = kv((w - 2 * aw) / 2) + aw, ky = kv((h - 2 * ah) / 2) + ah;
    penMove(p, aw, h / 2);
    penCurve(p, aw, ky, kx, ah, w / 2, ah);
    penCurve(p, w - kx, ah, w - aw, ky, w - aw, h / 2);
    penCurve(p, w - aw, h - ky, w - kx, h - ah, w / 2, h - ah);
    penCurve(p, kx, h - ah, aw, h - ky, aw, h / 2);
    for (const OutlineEntry &e : kOutlines)
        if (e.type == 3 && !p->err)
            p->err = Shape_runOutline(p->path, e.words, e.count, w32(w), w32(h));
}

void can(Pen *p, const Box &b)
{
    const int64_t w = b.w, h = b.h, ah = b.ah, e = ah / 2;
    penArc(p, 0, 0, w, ah, 0, e, w, e, 0);
    penLine(p, w, h - e);
    penArc(p, 0, h - ah, w, h, w, h - e, 0, h - e, 0);
    penClose(p);
    penShade(p, 72089);
    penArc(p, 0, h - ah, w, h, 0, 0, 0, 0, 0); // the whole top ellipse, left open
}

// One arc step of the scrolls: the ellipse in the rectangle spanned by p1
// and p2, between the points chosen by the codes d0 and d1 (0 or 4: the
// middle of p2's side; 1 or 5: the middle of p2's top or bottom; 2 and 3
// the same for p1), clockwise when s x d0 < s x d1.
void scrollArc(Pen *p, Pt p1, Pt p2, int d0, int d1, int32_t sign)
{
    const Pt c = {(p1.x + p2.x) / 2, (p1.y + p2.y) / 2};
    auto pick = [&](int d) -> Pt {
        switch (d) {
        case 0:
        case 4: return {p2.x, c.y};
        case 1:
        case 5: return {c.x, p2.y};
        case 2: return {p1.x, c.y};
        default: return {c.x, p1.y};
        }
    };
    const Pt a = pick(d0), e = pick(d1);
    penArc(p, std::min(p1.x, p2.x), std::min(p1.y, p2.y), std::max(p1.x, p2.x),
           std::max(p1.y, p2.y), a.x, a.y, e.x, e.y, sign * d0 < sign * d1 ? 1 : 0);
}

// verticalScroll, and horizontalScroll built as the vertical one in the
// exchanged box and turned into the real box w x h.
void scroll(Pen *p, const Box &b, bool horizontal)
{
    const int64_t w = horizontal ? b.h : b.w, h = horizontal ? b.w : b.h;
    const int64_t aw = horizontal ? b.ah : b.aw, ah = horizontal ? b.aw : b.ah;
    const int32_t s = b.sign;
    const int64_t r = std::llabs(aw) <= std::llabs(ah) ? aw : ah * s, q = r / 4;
    const int64_t rs = r * s, qs2 = 2 * q * s;
    const Matrix turn = {0, -65536, -65536, 0, w32(b.w), w32(b.h)};
    scrollArc(p, {0, 0}, {r, rs}, 3, 0, s);
    scrollArc(p, {q, qs2}, {3 * q, rs}, 3, 1, s);
    penLine(p, r, rs);
    penLine(p, r, qs2);
    scrollArc(p, {r, h - rs}, {2 * r, h}, 2, 4, s);
    scrollArc(p, {r, h - rs}, {2 * r, h}, 4, 1, s);
    scrollArc(p, {w - r, h - rs}, {w, h}, 1, 3, s);
    penLine(p, r + 2 * q, h - rs);
    penLine(p, w - r, h - rs);
    penLine(p, w - r, qs2);
    scrollArc(p, {w - 2 * r, 0}, {w - r, rs}, 0, 3, s);
    penClose(p);
    if (horizontal)
        penTransform(p, turn);
    penShade(p, 52428);
    scrollArc(p, {q, qs2}, {3 * q, rs}, 3, 1, s);
    scrollArc(p, {0, 0}, {r, rs}, 1, 0, s);
    penClose(p);
    scrollArc(p, {r + q, h - rs}, {2 * r - q, h - qs2}, 5, 3, s);
    scrollArc(p, {r, h - rs}, {2 * r, h}, 3, 0, s);
    penClose(p);
    if (horizontal)
        penTransform(p, turn);
}

} // namespace

int Shape_buildBoxOutline(Path *path, const ShapeGeom *shape, int32_t w, int32_t h, int32_t a1,
                          int32_t sign, ShadePath **shades, bool *built)
{
    Pen pen = {path, shades, Res_ok};
    Pen *p = &pen;
    const Box b = {w, h, sa(a1, w), sa(a1, h), a1, sign};
    *built = true;
    switch (shape->type) {
    case 2: roundRect(p, b, b.aw, b.ah); break;
    case 176: roundRect(p, b, b.w / 8, b.h / 8); break;
    case 5: polygon(p, {{0, 0}, {b.w, 0}, {b.aw, b.h}}); break;
    case 7:
    case 111: {
        const int64_t a = shape->type == 7 ? b.aw : b.w / 5;
        polygon(p, {{0, 0}, {b.w - a, 0}, {b.w, b.h}, {a, b.h}});
        break;
    }
    case 8: polygon(p, {{b.aw, 0}, {b.w - b.aw, 0}, {b.w, b.h}, {0, b.h}}); break;
    case 9:
    case 117: {
        const int64_t a = shape->type == 9 ? b.aw : b.w / 5;
        polygon(p, {{a, 0}, {b.w - a, 0}, {b.w, b.h / 2}, {b.w - a, b.h}, {a, b.h}, {0, b.h / 2}});
        break;
    }
    case 10: {
        const int64_t bw = b.w, bh = b.h, aw = b.aw, ah = b.ah;
        polygon(p, {{aw, 0},
                    {bw - aw, 0},
                    {bw, ah},
                    {bw, bh - ah},
                    {bw - aw, bh},
                    {aw, bh},
                    {0, bh - ah},
                    {0, ah}});
        break;
    }
    case 11: {
        const int64_t bw = b.w, bh = b.h, aw = b.aw, ah = b.ah;
        polygon(p, {{aw, 0},
                    {bw - aw, 0},
                    {bw - aw, ah},
                    {bw, ah},
                    {bw, bh - ah},
                    {bw - aw, bh - ah},
                    {bw - aw, bh},
                    {aw, bh},
                    {aw, bh - ah},
                    {0, bh - ah},
                    {0, ah},
                    {aw, ah}});
        break;
    }
    case 15: polygon(p, {{0, 0}, {b.aw, 0}, {b.w, b.h / 2}, {b.aw, b.h}, {0, b.h}}); break;
    case 55:
        polygon(p,
                {{b.w - b.aw, b.h / 2}, {0, 0}, {b.aw, 0}, {b.w, b.h / 2}, {b.aw, b.h}, {0, b.h}});
        break;
    case 21: plaque(p, b); break;
    case 185: bracketPair(p, b); break;
    case 186: bracePair(p, b); break;
    case 85:
    case 86: bracket(p, b, shape->type == 85); break;
    case 87:
    case 88: brace(p, shape, b, shape->type == 87); break;
    case 67:
    case 68: upDownBlock(p, shape, b, shape->type == 68); break;
    case 69: leftRightArrow(p, shape, b); break;
    case 70: upDownArrow(p, shape, b); break;
    case 93: stripedRightArrow(p, shape, b); break;
    case 94: notchedRightArrow(p, shape, b); break;
    case 91: bentArrow(p, shape, b); break;
    case 182: leftRightUpArrow(p, shape, b); break;
    case 89: leftUpArrow(p, shape, b); break;
    case 90: bentUpArrow(p, shape, b); break;
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 39:
    case 40: connector(p, shape, b, shape->type); break;
    case 188:
    case 64: wave(p, shape, b, shape->type == 188); break;
    case 183: sun(p, b); break;
    case 16: cube(p, b); break;
    case 84: bevel(p, b); break;
    case 65: foldedCorner(p, b); break;
    case 23: donut(p, b); break;
    case 22: can(p, b); break;
    case 97:
    case 98: scroll(p, b, shape->type == 98); break;
    default:
        if (shape->type >= 189 && shape->type <= 200) {
            bevel(p, b);
            break;
        }
        *built = false;
        break;
    }
    return pen.err;
}
