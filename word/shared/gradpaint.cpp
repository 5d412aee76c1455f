// Gradient paint set-up: the ramp from the stops, then the matrix of the
// linear, elliptical or circular form.
#include "word/shared/gradpaint.h"

#include <cstdlib>

#include "core/geom/fixed.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "graphics/pixelbuf.h"
#include "core/container/stoplist.h"
#include "layout/replaced.h"
#include "word/reader/build.h"
#include "word/reader/word.h"

namespace {

int32_t clampPosition(int32_t p)
{
    return p < 0 ? 0 : (p > 0x10000 ? 0x10000 : p);
}

int32_t absFixed(int32_t v)
{
    return v < 0 ? -v : v;
}

// Sums of box coordinates wrap rather than overflow on absurd boxes.
int32_t add(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The ramp's stop words: the count, then {position 0-255, colour}.
// Sets *transparent when a stop's alpha is below 255.
void rampStops(const GradientDesc *desc, uint32_t count, uint32_t *words, uint32_t *transparent)
{
    words[0] = count;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t position = uint32_t(clampPosition(desc->stops[2 * i]));
        uint32_t colour = uint32_t(desc->stops[2 * i + 1]);
        words[1 + 2 * i] = (position * 255) >> 16;
        words[2 + 2 * i] = colour;
        if ((colour >> 24) < 255)
            *transparent = 1;
    }
}

} // namespace

int Paint_setLinearGradient(PaintGradient *g, const GradientDesc *d, const Rect *box)
{
    const int32_t w = sub(box->x1, box->x0), h = sub(box->y1, box->y0);
    int32_t angle, lengthU, lengthV, shiftX = 0, shiftY = 0;
    if (d->y1 == d->y2) {
        angle = d->x2 > d->x1 ? 0 : 180;
        lengthU = w;
        lengthV = h;
    } else if (d->x1 == d->x2) {
        angle = d->y2 > d->y1 ? -90 : 90;
        lengthU = h;
        lengthV = w;
    } else {
        angle = -Fixed_atan2Deg(Fixed_mul(sub(d->y2, d->y1), h), Fixed_mul(sub(d->x2, d->x1), w));
        if (!d->keepAngle) {
            angle += 90;
            // The ramp starts at the box corner the gradient runs away from.
            if (d->x1 >= d->x2 && d->y1 < d->y2)
                shiftY = h;
            else if (d->x1 >= d->x2)
                shiftX = w;
            else if (d->y1 < d->y2)
                shiftX = -w;
            else
                shiftY = -h;
        }
        const int32_t s = absFixed(Fixed_sinDeg(angle)), c = absFixed(Fixed_sinDeg(angle + 90));
        lengthU = add(Fixed_mul(h, s), Fixed_mul(w, c));
        lengthV = add(Fixed_mul(h, c), Fixed_mul(w, s));
    }
    g->matrix = Matrix{int32_t(uint32_t(lengthU) * 4), 0, 0, int32_t(uint32_t(lengthV) * 4), 0, 0};
    Matrix_rotation(&g->matrix, int32_t(uint32_t(angle) << 16));
    g->matrix.tx = add(add(box->x0, Fixed_mul(d->x1, w)), shiftX);
    g->matrix.ty = sub(add(box->y1, shiftY), Fixed_mul(d->y1, h));
    g->form = GradientForm_linear;
    return Res_ok;
}

int Paint_setGradient(Paint *paint, const GradientDesc *d, const Rect *box)
{
    paint->kind = Paint_kindRamp;
    paint->gradient = nullptr;
    PaintGradient *g = static_cast<PaintGradient *>(Mem_calloc(1, sizeof(PaintGradient)));
    if (!g)
        return Res_noMemory;
    const uint32_t count = d->count < Paint_maxStops ? d->count : uint32_t(Paint_maxStops);
    uint32_t words[1 + 2 * Paint_maxStops];
    rampStops(d, count, words, &g->transparent);
    int err = Word_paletteMode(&g->ramp, words, 0);
    if (err) {
        Mem_free(g);
        return err;
    }
    Matrix_setIdentity(&g->matrix);
    const int32_t w = sub(box->x1, box->x0), h = sub(box->y1, box->y0);
    if (d->kind == GradientKind_linear) {
        Paint_setLinearGradient(g, d, box);
    } else if (d->kind == GradientKind_elliptical) {
        const int32_t sx = Fixed_mul(w, d->sizeX), sy = Fixed_mul(h, d->sizeY);
        g->matrix = Matrix{int32_t(uint32_t(sx) * 4),
                           0,
                           0,
                           int32_t(uint32_t(sy) * 4),
                           sub(add(box->x0, Fixed_mul(w, d->centreX)), sx),
                           sub(box->y1, add(Fixed_mul(h, d->centreY), sy))};
        g->form = GradientForm_elliptical;
    } else {
        const int32_t s = Fixed_mul(w > h ? w : h, d->sizeX);
        g->matrix = Matrix{int32_t(uint32_t(s) * 4),
                           0,
                           0,
                           int32_t(uint32_t(s) * 4),
                           sub(add(box->x0, Fixed_mul(w, d->centreX)), s),
                           sub(box->y1, add(Fixed_mul(h, d->centreY), s))};
        g->form = GradientForm_circular;
    }
    paint->gradient = g;
    return Res_ok;
}

void Paint_free(Paint *paint)
{
    if (!paint || !paint->gradient)
        return;
    PixelBuf_destroy(paint->gradient->ramp);
    Mem_free(paint->gradient);
    paint->gradient = nullptr;
}
