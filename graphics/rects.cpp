// Rectangle services: document rectangles to device pixels, the split
// of a rectangle around another, and rectangles through a matrix.
#include "graphics/rects.h"

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/bitmap.h"

namespace {

// v x 2 scale >> 17, with the rounding half added first when asked; the
// product is taken in 64 bits and the shift is arithmetic.
int32_t toPixels(int32_t v, int32_t scale, bool round)
{
    int64_t p = int64_t(v) * (int64_t(scale) * 2);
    if (round)
        p += 0x10000;
    return int32_t(p >> 17);
}

} // namespace

void Rect_toDevice(Rect *out, const Rect *rect, const Matrix *matrix, const Bitmap *bitmap,
                   uint32_t mode)
{
    if (Rect_isInfinite(rect)) {
        *out = *rect;
        return;
    }
    Point p[2] = {{rect->x0, rect->y0}, {rect->x1, rect->y1}};
    Matrix_transformPoints(p, 2, p, matrix ? matrix : Matrix_identity());
    int32_t scale = bitmap->scale;
    if (mode <= RectDevice_roundAll) {
        bool round = mode != RectDevice_outer;
        for (Point &q : p) {
            q.x = toPixels(q.x, scale, round);
            q.y = toPixels(q.y, scale, round);
        }
    }
    Rect r;
    Rect_boundPoints(&r, p, 2, 1);
    // Sums wrap like the 32-bit values they are (no undefined overflow).
    auto plus = [](int32_t v, uint32_t d) { return int32_t(uint32_t(v) + d); };
    if (mode == RectDevice_round) {
        if (int64_t(r.x1) - r.x0 < 1)
            r.x1 = plus(r.x0, 1);
        if (int64_t(r.y1) - r.y0 < 1)
            r.y1 = plus(r.y0, 1);
    } else if (mode == RectDevice_outer) {
        r.x1 = plus(r.x1, 2);
        r.y1 = plus(r.y1, 2);
    }
    *out = r;
}

uint32_t Rect_splitBands(Rect out[4], const Rect *r, const Rect *s)
{
    Rect rest = *r;
    uint32_t n = 0;
    if (s->y1 > rest.y0 && s->y1 < rest.y1) {
        out[n++] = Rect{rest.x0, s->y1, rest.x1, rest.y1};
        rest.y1 = s->y1;
    }
    if (s->y0 > rest.y0 && s->y0 < rest.y1) {
        out[n++] = Rect{rest.x0, rest.y0, rest.x1, s->y0};
        rest.y0 = s->y0;
    }
    if (s->x1 > rest.x0 && s->x1 < rest.x1) {
        out[n++] = Rect{s->x1, rest.y0, rest.x1, rest.y1};
        rest.x1 = s->x1;
    }
    if (s->x0 > rest.x0 && s->x0 < rest.x1) {
        out[n++] = Rect{rest.x0, rest.y0, s->x0, rest.y1};
        rest.x0 = s->x0;
    }
    return n;
}

void Rect_transform(Rect *rect, const Matrix *matrix)
{
    if (Rect_isInfinite(rect))
        return;
    Point quad[4];
    Rect_toQuad(quad, rect);
    Matrix_transformPoints(quad, 4, quad, matrix ? matrix : Matrix_identity());
    Rect_boundPoints(rect, quad, 4, 1);
}
