// Gradient paint: linear, radial and square gradients as callback paints
// of draw items, and the ordered-dither table shared with the 16-bit
// resampling passes.
#pragma once

#include <cstdint>

// The 32 x 32 ordered-dither table, read at row (y & 31), column (x & 31).
// Each word carries a level d (0 to 31) as d/32 of a unit below each
// channel of a widened 5-6-5 pixel: (d >> 1) | (d << 10) | ((d & ~1) << 20).
const uint32_t *Gradient_ditherTable();

#include "core/geom/matrix.h"
#include "graphics/imagecache.h"

struct Bitmap;
struct EngineContext;
struct PixelBuf;
struct Rect;

enum : uint32_t {
    // Gradient flags.
    Gradient_reflectU = 0x1,
    Gradient_padU = 0x2,
    Gradient_radialFlag = 0x8,
    Gradient_reflectV = 0x10,
    Gradient_padV = 0x20,
    Gradient_dither = 0x40,
    Gradient_square = 0x80,
};

enum : int { Gradient_badBuffer = 264 };

struct GradientPaint;

// The cached result of a fetch: the matrix and the work rectangle (offset
// and size in the item's pixel space) it was made for, its format and
// pixels. It lives in the image cache (cost width x height x 2 bytes) and
// is pinned there while a draw holds its pixels.
struct GradientCache {
    ImageCacheEntry entry; // first: the image cache's view of the record
    GradientPaint *owner;  // cleared pointer on eviction: owner->cache
    Matrix matrix;
    int32_t x, y, width, height;
    uint32_t format;
    PixelBuf *pixels;
};

// A gradient as a callback paint (or mask) of draw items. The caller
// fills the fields; Gradient_dropCache frees the cached result when the
// paint goes.
struct GradientPaint {
    GradientCache *cache;
    const PixelBuf *ramp;      // format-6 colours: 2 end colours, or at least 256 entries
    const Matrix *matrix;      // gradient space -> item pixels; null: identity
    EngineContext *imageCache; // the engine whose image cache holds the results
    int32_t referenceScale;    // the drawing scale the matrix was made for
    int32_t scaleWithTarget;   // the matrix follows the bitmap's scale word
    uint32_t flags;            // Gradient_* flags; an axis without reflect or pad repeats
};

// The draw item's callback routines (graphics/drawitem.h) with the paint
// as user data: the colour fetch gives a buffer in the bitmap's format (0,
// 2 or 4; others 264), the mask fetch a format-0 buffer. Release frees the
// buffer unless it is the cached one (or a view into it), whose cache
// entry is then unpinned.
int Gradient_fetchColour(void *paint, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
                         int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale);
void Gradient_releaseColour(void *paint, PixelBuf *buffer);
int Gradient_fetchMask(void *paint, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
                       int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale);
void Gradient_releaseMask(void *paint, PixelBuf *buffer);
// Takes the paint's cached result out of the image cache and frees it.
void Gradient_dropCache(GradientPaint *paint);

// The fast path into a format-0, 2 or 4 target of the work size for the
// work rectangle whose lower-left pixel is (x, y) in item pixels: linear
// (padded along u), square or radial (both folded), from a ramp of 256
// entries or of two colours, dithered or not. 0, 264 for another format.
[[nodiscard]] int Gradient_fillFast(PixelBuf *target, const Matrix *matrix, int32_t x, int32_t y,
                                    const PixelBuf *ramp, int linear, int dither, int square);

// The general path over a format-6 work buffer (each 264 for another
// format; a ramp too short leaves the buffer as it is):
// gradient coordinates per pixel (u in the low half, v in the high half of
// each word, 14-bit), repeat, reflect or pad per axis;
[[nodiscard]] int Gradient_mapCoordinates(PixelBuf *target, const Matrix *matrix, int32_t x,
                                          int32_t y, int reflectU, int reflectV, int padU,
                                          int padV);
// the radial parameter t (0 to 16383) of each word's coordinates;
int Gradient_radial(PixelBuf *target);
// t through a 256-entry ramp or two colours to 5-6-5 (low 16 bits of each
// word), or to alpha bytes (low 8 bits).
int Gradient_rampColour(PixelBuf *target, const PixelBuf *ramp);
int Gradient_twoColour(PixelBuf *target, const PixelBuf *ramp);
int Gradient_rampAlpha(PixelBuf *target, const PixelBuf *ramp);
int Gradient_twoAlpha(PixelBuf *target, const PixelBuf *ramp);

// The 17 x 17 table of distances: entry [i][j] = min(16383,
// round(16384 sqrt(((16 - i) / 16)^2 + ((16 - j) / 16)^2))).
const uint16_t *Gradient_radialTable();
// The radial parameter of 14-bit coordinates (u, v): 16384 times their
// distance from (1.0, 1.0), clamped to 16383, interpolated in the table.
uint32_t Gradient_radialAt(uint32_t u, uint32_t v);
// Turns a radial matrix so that its second entry becomes 0, keeping the
// centre (16384, 16384) where it maps.
void Gradient_normaliseRadial(Matrix *m);
