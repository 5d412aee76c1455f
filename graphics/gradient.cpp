// Gradient paint: the ordered-dither table, the fast span routines, the
// general mapping path and the callback paint with its cached result.
#include "graphics/gradient.h"

#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"
#include "graphics/vector.h"

namespace {

// Rows 0 and 1 of the dither levels; the other rows are an ordered-dither
// matrix of 1024 steps cut to 32 levels, shifted along each row so that
// columns do not line up.
constexpr uint8_t kFirstRows[2][32] = {
    {2,  31, 15, 7,  13, 23, 26, 0, 17, 11, 21, 6, 30, 15, 3,  25,
     22, 6,  12, 16, 29, 8,  18, 0, 28, 12, 22, 9, 26, 5,  23, 17},
    {24, 12, 1,  20, 29, 12, 3,  16, 25, 5,  27, 13, 18, 6,  26, 0,
     12, 19, 31, 3,  11, 20, 23, 15, 3,  27, 7,  18, 2,  30, 16, 9},
};

constexpr uint32_t orderedLevel(uint32_t x, uint32_t y)
{
    uint32_t sx = (x + 13 * y) & 31;
    uint32_t v = 0;
    for (int bit = 4; bit >= 0; bit--) {
        uint32_t a = (sx >> bit) & 1, b = (y >> bit) & 1;
        v = (v << 2) | ((a ^ b) << 1) | b;
    }
    return v >> 5;
}

constexpr uint32_t ditherWord(uint32_t d)
{
    return (d >> 1) | (d << 10) | ((d & ~1u) << 20);
}

struct DitherTable {
    uint32_t words[1024];
};

constexpr DitherTable makeDitherTable()
{
    DitherTable t{};
    for (uint32_t y = 0; y < 32; y++)
        for (uint32_t x = 0; x < 32; x++)
            t.words[y * 32 + x] = ditherWord(y < 2 ? kFirstRows[y][x] : orderedLevel(x, y));
    return t;
}

constexpr DitherTable kDither = makeDitherTable();

} // namespace

const uint32_t *Gradient_ditherTable()
{
    return kDither.words;
}

// ------------------------------------------------------------ radial table

namespace {

constexpr uint32_t isqrt64(uint64_t n)
{
    uint64_t x = 0, bit = uint64_t(1) << 62;
    while (bit > n)
        bit >>= 2;
    while (bit) {
        if (n >= x + bit) {
            n -= x + bit;
            x = (x >> 1) + bit;
        } else {
            x >>= 1;
        }
        bit >>= 2;
    }
    return uint32_t(x);
}

struct RadialTable {
    uint16_t v[17 * 17];
};

constexpr RadialTable makeRadialTable()
{
    RadialTable t{};
    for (uint32_t i = 0; i <= 16; i++)
        for (uint32_t j = 0; j <= 16; j++) {
            uint64_t a = 16 - i, b = 16 - j;
            uint64_t n = uint64_t(1024) * 1024 * (a * a + b * b);
            uint64_t s = isqrt64(n);
            if (n - s * s > s)
                s++; // rounded to nearest
            t.v[i * 17 + j] = uint16_t(std::min<uint64_t>(s, 16383));
        }
    return t;
}

constexpr RadialTable kRadial = makeRadialTable();

// The work pixels' start and steps in gradient space, 22-bit units
// (0x400000 one period), for the work rectangle whose lower-left pixel is
// (x, y) in item pixels.
struct Walk {
    int64_t u, v;         // at the lower-left pixel
    int64_t du, dv;       // per pixel along a row
    int64_t duRow, dvRow; // per row upwards
};

Walk setUpWalk(const Matrix *matrix, int32_t x, int32_t y)
{
    Matrix m = matrix ? *matrix : *Matrix_identity();
    auto up = [](int32_t e) {
        return int32_t(std::clamp<int64_t>(int64_t(e) * 256, INT32_MIN, INT32_MAX));
    };
    Matrix scaled{up(m.a), up(m.b), up(m.c), up(m.d), up(m.tx), up(m.ty)};
    Matrix inv;
    Matrix_invert(&inv, &scaled);
    Point start;
    Matrix_transformPoint(&start, up(x), up(y), &inv);
    return Walk{int64_t(start.x) * 256, int64_t(start.y) * 256, inv.a, inv.b, inv.c, inv.d};
}

// One axis of the general mapping: c (22-bit units) to 0 .. 0x3FFF00.
inline uint32_t spreadAxis(int64_t c, bool reflect, bool pad)
{
    if (pad) {
        if (c < 0)
            return 0;
        if (c >= 0x400000)
            return reflect ? 0 : 0x3FFF00;
    }
    uint32_t w = uint32_t(uint64_t(c));
    if (reflect && (w & 0x400000))
        w = ~w;
    return w & 0x3FFF00;
}

// The folded coordinate of the fast square and radial forms: 31 bits.
inline uint32_t foldAxis(int64_t c)
{
    uint32_t w = uint32_t(uint64_t(c)) << 9;
    return (w & 0x80000000u) ? ~w : w;
}

inline uint32_t colour565(uint32_t c)
{
    return ((c & 0xF8) << 8) | ((c >> 5) & 0x7E0) | ((c >> 19) & 0x1F);
}

inline uint32_t channel(uint32_t c, int shift)
{
    return (c >> shift) & 255;
}

inline uint32_t lerpChannel(uint32_t c0, uint32_t c1, int shift, int32_t f, int bits)
{
    int32_t a = int32_t(channel(c0, shift)), b = int32_t(channel(c1, shift));
    return uint32_t(a + ((b - a) * f >> bits));
}

uint32_t lerpColour(uint32_t c0, uint32_t c1, int32_t f, int bits)
{
    return lerpChannel(c0, c1, 0, f, bits) | lerpChannel(c0, c1, 8, f, bits) << 8 |
           lerpChannel(c0, c1, 16, f, bits) << 16 | lerpChannel(c0, c1, 24, f, bits) << 24;
}

const uint32_t *rampWords(const PixelBuf *ramp)
{
    return reinterpret_cast<const uint32_t *>(ramp->pixels);
}

// A ramp colour widened to the dither layout: blue 9 bits at 0, red 10 at
// 10, green 11 at 20.
inline uint32_t widenColour(uint32_t c)
{
    uint32_t r = c & 255, g = (c >> 8) & 255, b = (c >> 16) & 255;
    return ((b << 1) | (b >> 7)) | (((r << 2) | ((r >> 7) << 1)) << 10) |
           (((g << 3) | ((g >> 6) << 1)) << 20);
}

// The top 5 red, 6 green and 5 blue bits in the spread layout.
inline uint32_t spreadColour(uint32_t c)
{
    return Resample_spread565(colour565(c));
}

inline uint16_t saturate565(uint32_t v)
{
    if (v & (1u << 9))
        v |= 0x1F8u;
    if (v & (1u << 20))
        v |= 0xFC000u;
    if (v & (1u << 31))
        v |= 0x7E000000u;
    v = (v >> 4) & 0x07E0F81Fu;
    return uint16_t(v | (v >> 16));
}

enum Geometry { geoLinear, geoSquare, geoRadial };

// The 8-bit parameter of the fast forms (0 to 255).
inline uint32_t fastParameter(Geometry g, int64_t u, int64_t v)
{
    switch (g) {
    case geoLinear: return u < 0 ? 0 : u >= 0x400000 ? 255 : uint32_t(u >> 14);
    case geoSquare: return std::max(foldAxis(u), foldAxis(v)) >> 23;
    default: return Gradient_radialAt((foldAxis(u) >> 19) << 2, (foldAxis(v) >> 19) << 2) >> 6;
    }
}

} // namespace

const uint16_t *Gradient_radialTable()
{
    return kRadial.v;
}

uint32_t Gradient_radialAt(uint32_t u, uint32_t v)
{
    u &= 0x3FFF;
    v &= 0x3FFF;
    int shift = 16;
    if (u >= 14336 && v >= 14336) {
        u = 16383 - (16383 - u) * 4;
        v = 16383 - (16383 - v) * 4;
        shift = 18;
    }
    uint32_t row = v >> 10, col = u >> 10, fy = (v >> 2) & 255, fx = (u >> 2) & 255;
    const uint16_t *t = kRadial.v;
    uint64_t sum = uint64_t(t[row * 17 + col]) * (256 - fx) * (256 - fy) +
                   uint64_t(t[row * 17 + col + 1]) * fx * (256 - fy) +
                   uint64_t(t[(row + 1) * 17 + col]) * (256 - fx) * fy +
                   uint64_t(t[(row + 1) * 17 + col + 1]) * fx * fy;
    return uint32_t(std::min<uint64_t>(sum >> shift, 16383));
}

void Gradient_normaliseRadial(Matrix *m)
{
    int64_t a = m->a, b = m->b, c = m->c, d = m->d;
    int64_t length = Vector_length(m->b, m->d);
    if (length == 0)
        return;
    int64_t s = 256 * ((256 * b) / length);
    int64_t k = -256 * ((256 * d) / length);
    auto keep = [](int64_t v) { return int32_t(uint32_t(uint64_t(v >> 16))); };
    m->a = keep(k * a + s * c);
    m->b = keep(k * b + s * d);
    m->c = keep(k * c - s * a);
    m->d = keep(k * d - s * b);
    int64_t p = 16384 + ((s - k) >> 2), q = 16384 - ((s + k) >> 2);
    m->tx = int32_t(uint32_t(m->tx) + uint32_t(keep(p * a + q * c)));
    m->ty = int32_t(uint32_t(m->ty) + uint32_t(keep(p * b + q * d)));
}

// ----------------------------------------------------------- fast path

int Gradient_fillFast(PixelBuf *target, const Matrix *matrix, int32_t x, int32_t y,
                      const PixelBuf *ramp, int linear, int dither, int square)
{
    if (!target || !target->pixels || !ramp || !ramp->pixels)
        return Res_nullInput;
    uint32_t f = target->format;
    if (f != Pixel_formatGrey8 && f != Pixel_format565Alt && f != Pixel_format565)
        return Gradient_badBuffer;
    bool two = ramp->width < 256;
    if (ramp->width < 2)
        return Res_ok;
    Geometry g = linear ? geoLinear : square ? geoSquare : geoRadial;
    const uint32_t *colours = rampWords(ramp);
    const uint32_t *table = Gradient_ditherTable();
    uint32_t c0 = colours[0], c1 = colours[ramp->width - 1];
    Walk w = setUpWalk(matrix, x, y);
    int32_t h = target->height;
    for (int32_t r = 0; r < h; r++) {
        int64_t u = w.u + w.duRow * r, v = w.v + w.dvRow * r;
        uint8_t *row = target->pixels + ptrdiff_t(h - 1 - r) * target->stride;
        // The dither follows the item's pixel grid, so a part of a result
        // equals the same part rendered alone.
        const uint32_t *drow = table + (uint32_t(y + r) & 31) * 32;
        for (int32_t i = 0; i < target->width; i++, u += w.du, v += w.dv) {
            uint32_t t = fastParameter(g, u, v);
            if (f == Pixel_formatGrey8) {
                row[i] = uint8_t(two ? lerpChannel(c0, c1, 24, int32_t(t), 8) : colours[t] >> 24);
                continue;
            }
            uint16_t px;
            if (!dither)
                px = uint16_t(colour565(two ? lerpColour(c0, c1, int32_t(t), 8) : colours[t]));
            else if (!two)
                px = saturate565(widenColour(colours[t]) + drow[uint32_t(x + i) & 31]);
            else {
                uint32_t t5 = t >> 3;
                uint32_t wsum = 32 * spreadColour(c0) + t5 * (spreadColour(c1) - spreadColour(c0));
                px = Resample_dither565(wsum, drow[uint32_t(x + i) & 31]);
            }
            std::memcpy(row + 2 * i, &px, 2);
        }
    }
    return Res_ok;
}

// ---------------------------------------------------------- general path

int Gradient_mapCoordinates(PixelBuf *target, const Matrix *matrix, int32_t x, int32_t y,
                            int reflectU, int reflectV, int padU, int padV)
{
    if (!target || target->format != Pixel_formatRGBA)
        return Gradient_badBuffer;
    Walk w = setUpWalk(matrix, x, y);
    int32_t h = target->height;
    for (int32_t r = 0; r < h; r++) {
        int64_t u = w.u + w.duRow * r, v = w.v + w.dvRow * r;
        uint32_t *row =
            reinterpret_cast<uint32_t *>(target->pixels + ptrdiff_t(h - 1 - r) * target->stride);
        for (int32_t i = 0; i < target->width; i++, u += w.du, v += w.dv)
            row[i] = (spreadAxis(u, reflectU, padU) >> 8) + (spreadAxis(v, reflectV, padV) << 8);
    }
    return Res_ok;
}

namespace {

template <typename F> int eachWord(PixelBuf *target, F f)
{
    if (!target || target->format != Pixel_formatRGBA)
        return Gradient_badBuffer;
    for (int32_t r = 0; r < target->height; r++) {
        uint32_t *row =
            reinterpret_cast<uint32_t *>(target->pixels + ptrdiff_t(r) * target->stride);
        for (int32_t i = 0; i < target->width; i++)
            row[i] = f(row[i]);
    }
    return Res_ok;
}

} // namespace

int Gradient_radial(PixelBuf *target)
{
    return eachWord(target, [](uint32_t w) { return Gradient_radialAt(w & 0xFFFF, w >> 16); });
}

int Gradient_rampColour(PixelBuf *target, const PixelBuf *ramp)
{
    if (target && target->format == Pixel_formatRGBA && (!ramp || ramp->width < 256))
        return Res_ok;
    const uint32_t *c = ramp ? rampWords(ramp) : nullptr;
    int32_t last = ramp ? ramp->width - 1 : 0;
    return eachWord(target, [c, last](uint32_t w) {
        uint32_t t = w & 0x3FFF, i = t >> 6;
        uint32_t next = std::min<uint32_t>(i + 1, uint32_t(last));
        return colour565(lerpColour(c[i], c[next], int32_t(t & 63), 6));
    });
}

int Gradient_twoColour(PixelBuf *target, const PixelBuf *ramp)
{
    if (target && target->format == Pixel_formatRGBA && (!ramp || ramp->width < 2))
        return Res_ok;
    const uint32_t *c = ramp ? rampWords(ramp) : nullptr;
    uint32_t c0 = c ? c[0] : 0, c1 = c ? c[ramp->width - 1] : 0;
    return eachWord(target, [c0, c1](uint32_t w) {
        return colour565(lerpColour(c0, c1, int32_t((w & 0x3FFF) >> 6), 8));
    });
}

int Gradient_rampAlpha(PixelBuf *target, const PixelBuf *ramp)
{
    if (target && target->format == Pixel_formatRGBA && (!ramp || ramp->width < 256))
        return Res_ok;
    const uint32_t *c = ramp ? rampWords(ramp) : nullptr;
    int32_t last = ramp ? ramp->width - 1 : 0;
    return eachWord(target, [c, last](uint32_t w) {
        uint32_t t = w & 0x3FFF, i = t >> 6;
        uint32_t next = std::min<uint32_t>(i + 1, uint32_t(last));
        return lerpChannel(c[i], c[next], 24, int32_t(t & 63), 6);
    });
}

int Gradient_twoAlpha(PixelBuf *target, const PixelBuf *ramp)
{
    if (target && target->format == Pixel_formatRGBA && (!ramp || ramp->width < 2))
        return Res_ok;
    const uint32_t *c = ramp ? rampWords(ramp) : nullptr;
    uint32_t c0 = c ? c[0] : 0, c1 = c ? c[ramp->width - 1] : 0;
    return eachWord(target, [c0, c1](uint32_t w) {
        return lerpChannel(c0, c1, 24, int32_t((w & 0x3FFF) >> 6), 8);
    });
}

// ------------------------------------------------------ callback paint

namespace {

void freeCache(GradientCache *c)
{
    if (c->owner && c->owner->cache == c)
        c->owner->cache = nullptr;
    PixelBuf_destroy(c->pixels);
    Mem_free(c);
}

// The image cache's destructors, one per result kind (cache lock held).
void evictColour(EngineContext *, ImageCacheEntry *entry)
{
    freeCache(reinterpret_cast<GradientCache *>(entry));
}

void evictMask(EngineContext *, ImageCacheEntry *entry)
{
    freeCache(reinterpret_cast<GradientCache *>(entry));
}

bool sameMatrix(const Matrix &a, const Matrix &b)
{
    return std::memcmp(&a, &b, sizeof(Matrix)) == 0;
}

// Renders the gradient into buf (the work rectangle at (x, y)).
int render(GradientPaint *p, const Matrix *matrix, PixelBuf *buf, int32_t x, int32_t y, bool mask)
{
    uint32_t flags = p->flags;
    Matrix m = *matrix;
    if ((flags & Gradient_radialFlag) && m.b != 0)
        Gradient_normaliseRadial(&m);
    bool linear = (flags & 0x8B) == 2;
    if (linear || (flags & 0x3B) == 0x3B || (flags & 0xB3) == 0xB3)
        return Gradient_fillFast(buf, &m, x, y, p->ramp, linear, (flags & Gradient_dither) != 0,
                                 (flags & Gradient_square) != 0);
    PixelBuf *work = nullptr;
    int r = PixelBuf_create(&work, buf->width, buf->height, Pixel_formatRGBA, buf->scale);
    if (r != Res_ok)
        return r;
    r = Gradient_mapCoordinates(work, &m, x, y, (flags & Gradient_reflectU) != 0,
                                (flags & Gradient_reflectV) != 0, (flags & Gradient_padU) != 0,
                                (flags & Gradient_padV) != 0);
    if (r == Res_ok && (flags & Gradient_radialFlag))
        r = Gradient_radial(work);
    if (r == Res_ok) {
        bool two = p->ramp->width == 2;
        r = mask ? (two ? Gradient_twoAlpha(work, p->ramp) : Gradient_rampAlpha(work, p->ramp))
                 : (two ? Gradient_twoColour(work, p->ramp) : Gradient_rampColour(work, p->ramp));
    }
    if (r == Res_ok) {
        uint32_t bpp = Pixel_bytesPerPixel(buf->format);
        for (int32_t row = 0; row < buf->height; row++) {
            const uint32_t *s =
                reinterpret_cast<const uint32_t *>(work->pixels + ptrdiff_t(row) * work->stride);
            uint8_t *d = buf->pixels + ptrdiff_t(row) * buf->stride;
            for (int32_t i = 0; i < buf->width; i++) {
                if (bpp == 1)
                    d[i] = uint8_t(s[i]);
                else {
                    uint16_t px = uint16_t(s[i]);
                    std::memcpy(d + 2 * i, &px, 2);
                }
            }
        }
    }
    PixelBuf_destroy(work);
    return r;
}

int fetch(GradientPaint *p, bool mask, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
          int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale)
{
    *bufferOut = nullptr;
    if (!p || !p->ramp || !p->ramp->pixels || !rect || !bitmap)
        return Res_nullInput;
    uint32_t format = mask ? uint32_t(Pixel_formatGrey8) : bitmap->format;
    if (format != Pixel_formatGrey8 && format != Pixel_format565Alt && format != Pixel_format565)
        return Gradient_badBuffer;
    *formatOut = format;

    // 1. The matrix, following the target's scale when asked.
    Matrix m = p->matrix ? *p->matrix : *Matrix_identity();
    if (p->scaleWithTarget && p->referenceScale > 0) {
        int64_t ratio = (int64_t(bitmapScale) << 16) / p->referenceScale;
        Matrix_scaleAll(&m, int32_t(std::clamp<int64_t>(ratio, INT32_MIN, INT32_MAX)));
    }

    // 2. The work rectangle in item pixels; the cached result when it
    //    serves, pinned while the draw holds its pixels.
    int32_t x = int32_t(int64_t(rect->x0) - dx), y = int32_t(int64_t(rect->y0) - dy);
    int32_t w = rect->x1 - rect->x0, h = rect->y1 - rect->y0;
    if (w <= 0 || h <= 0)
        return Res_nullInput;
    EngineContext *app = p->imageCache;
    ImageCache_lock(app);
    GradientCache *c = p->cache;
    if (c && c->format == format && sameMatrix(c->matrix, m) && x >= c->x && y >= c->y &&
        int64_t(x) + w <= int64_t(c->x) + c->width && int64_t(y) + h <= int64_t(c->y) + c->height) {
        PixelBuf *out = c->pixels;
        int r = Res_ok;
        if (x != c->x || y != c->y || w != c->width || h != c->height) {
            // A view into the cached pixels.
            int32_t rowOffset = (c->y + c->height) - (y + h), colOffset = x - c->x;
            uint8_t *first = c->pixels->pixels + ptrdiff_t(rowOffset) * c->pixels->stride +
                             ptrdiff_t(colOffset) * Pixel_bytesPerPixel(format);
            r = PixelBuf_wrap(&out, w, h, format, c->pixels->scale, first, c->pixels->stride);
        }
        if (r == Res_ok) {
            ImageCache_pinHeld(&c->entry);
            ImageCache_touch(app, &c->entry);
            *bufferOut = out;
        }
        ImageCache_unlock(app);
        return r;
    }
    // A result another draw still holds stays until it is let go; the new
    // one is then not cached.
    bool keepOld = c && c->entry.pins > 0;
    if (c && !keepOld) {
        ImageCache_remove(app, &c->entry);
        freeCache(c);
    }
    ImageCache_unlock(app);

    // 3-5. A new result.
    PixelBuf *buf = nullptr;
    int r = PixelBuf_create(&buf, w, h, format, bitmap->scale);
    if (r == Res_ok)
        r = render(p, &m, buf, x, y, mask);
    if (r != Res_ok) {
        PixelBuf_destroy(buf);
        return r;
    }

    // 6. Recorded as the new cached result when the cache takes it.
    GradientCache *made = static_cast<GradientCache *>(Mem_calloc(1, sizeof(GradientCache)));
    if (made && keepOld) {
        Mem_free(made);
        made = nullptr;
    }
    if (made) {
        ImageCache_initEntry(&made->entry, mask ? evictMask : evictColour);
        *made = GradientCache{made->entry, p, m, x, y, w, h, format, buf};
        ImageCache_lock(app);
        if (app && ImageCache_reserve(app, &made->entry, uint64_t(w) * uint64_t(h) * 2)) {
            ImageCache_pinHeld(&made->entry);
            p->cache = made;
            made = nullptr;
        }
        ImageCache_unlock(app);
        Mem_free(made);
    }
    *bufferOut = buf;
    return Res_ok;
}

void release(GradientPaint *p, PixelBuf *buffer)
{
    if (!buffer)
        return;
    EngineContext *app = p ? p->imageCache : nullptr;
    ImageCache_lock(app);
    GradientCache *c = p ? p->cache : nullptr;
    bool cached = c && (buffer == c->pixels ||
                        (!buffer->ownsPixels && buffer->pixels >= c->pixels->pixels &&
                         buffer->pixels < c->pixels->pixels + size_t(c->pixels->stride) *
                                                                  size_t(c->pixels->height)));
    if (cached)
        ImageCache_unpinHeld(&c->entry);
    ImageCache_unlock(app);
    if (!cached || buffer != c->pixels)
        PixelBuf_destroy(buffer);
}

} // namespace

int Gradient_fetchColour(void *paint, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
                         int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale)
{
    return fetch(static_cast<GradientPaint *>(paint), false, formatOut, bufferOut, rect, dx, dy,
                 bitmap, bitmapScale);
}

void Gradient_releaseColour(void *paint, PixelBuf *buffer)
{
    release(static_cast<GradientPaint *>(paint), buffer);
}

int Gradient_fetchMask(void *paint, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
                       int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale)
{
    return fetch(static_cast<GradientPaint *>(paint), true, formatOut, bufferOut, rect, dx, dy,
                 bitmap, bitmapScale);
}

void Gradient_releaseMask(void *paint, PixelBuf *buffer)
{
    release(static_cast<GradientPaint *>(paint), buffer);
}

void Gradient_dropCache(GradientPaint *paint)
{
    if (!paint)
        return;
    EngineContext *app = paint->imageCache;
    ImageCache_lock(app);
    GradientCache *c = paint->cache;
    if (c) {
        ImageCache_remove(app, &c->entry);
        freeCache(c);
    }
    ImageCache_unlock(app);
}
