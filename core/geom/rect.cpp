// Integer rectangles: intersection, union, containment, bounds of point
// sets and the unbounded rectangle.
#include "core/geom/rect.h"

#include <algorithm>

static const Rect infiniteRect = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

void Rect_intersect(Rect *r, const Rect *s)
{
    r->x0 = std::max(r->x0, s->x0);
    r->y0 = std::max(r->y0, s->y0);
    r->x1 = std::min(r->x1, s->x1);
    r->y1 = std::min(r->y1, s->y1);
}

void Rect_clipX(Rect *r, const Rect *s)
{
    r->x0 = std::max(r->x0, s->x0);
    r->x1 = std::min(r->x1, s->x1);
}

void Rect_clipY(Rect *r, const Rect *s)
{
    r->y0 = std::max(r->y0, s->y0);
    r->y1 = std::min(r->y1, s->y1);
}

void Rect_union(Rect *r, const Rect *s)
{
    r->x0 = std::min(r->x0, s->x0);
    r->y0 = std::min(r->y0, s->y0);
    r->x1 = std::max(r->x1, s->x1);
    r->y1 = std::max(r->y1, s->y1);
}

void Rect_extendToPoint(Rect *r, int32_t x, int32_t y)
{
    r->x0 = std::min(r->x0, x);
    r->x1 = std::max(r->x1, x);
    r->y0 = std::min(r->y0, y);
    r->y1 = std::max(r->y1, y);
}

int Rect_containsPoint(const Rect *r, int32_t x, int32_t y)
{
    // The unsigned comparison alone would let an inverted rectangle (the
    // result of intersecting two that do not overlap, or the empty bound)
    // hold nearly every point, since x1 - x0 then wraps to a huge number.
    if (r->x1 <= r->x0 || r->y1 <= r->y0)
        return 0;
    uint32_t dx = static_cast<uint32_t>(x) - static_cast<uint32_t>(r->x0);
    uint32_t dy = static_cast<uint32_t>(y) - static_cast<uint32_t>(r->y0);
    uint32_t w = static_cast<uint32_t>(r->x1) - static_cast<uint32_t>(r->x0);
    uint32_t h = static_cast<uint32_t>(r->y1) - static_cast<uint32_t>(r->y0);
    return dx < w && dy < h ? 1 : 0;
}

int Rect_disjoint(const Rect *a, const Rect *b)
{
    return a->x0 >= b->x1 || a->x1 <= b->x0 || a->y1 <= b->y0 || a->y0 >= b->y1 ? 1 : 0;
}

int Rect_equal(const Rect *a, const Rect *b)
{
    return a->x0 == b->x0 && a->y0 == b->y0 && a->x1 == b->x1 && a->y1 == b->y1 ? 1 : 0;
}

int Rect_isOrdered(const Rect *r)
{
    return r->x1 >= r->x0 && r->y1 >= r->y0;
}

int Rect_isInfinite(const Rect *r)
{
    return Rect_equal(r, &infiniteRect);
}

void Rect_moveTo(Rect *r, int32_t x, int32_t y)
{
    uint32_t w = uint32_t(r->x1) - uint32_t(r->x0), h = uint32_t(r->y1) - uint32_t(r->y0);
    r->x0 = x;
    r->y0 = y;
    r->x1 = int32_t(uint32_t(x) + w);
    r->y1 = int32_t(uint32_t(y) + h);
}

const Rect *Rect_getInfinite()
{
    return &infiniteRect;
}

void Rect_setInvertedEmpty(Rect *r)
{
    *r = infiniteRect;
}

void Rect_boundPoints(Rect *r, const Point *points, size_t count, int start)
{
    if (count == 0)
        return;
    size_t i = 0;
    if (start) {
        *r = Rect{points[0].x, points[0].y, points[0].x, points[0].y};
        i = 1;
    }
    for (; i < count; i++)
        Rect_extendToPoint(r, points[i].x, points[i].y);
}

void Rect_toQuad(Point *out, const Rect *r)
{
    Rect c = *r;
    out[0] = Point{c.x0, c.y0};
    out[1] = Point{c.x0, c.y1};
    out[2] = Point{c.x1, c.y1};
    out[3] = Point{c.x1, c.y0};
}
