// Bitmaps: the drawing targets of the engine.
//
// A bitmap has the geometry of a pixel buffer (graphics/pixelbuf.h) over
// pixels it never owns, plus what drawing needs: its own draw item, a clip
// path, two scratch buffers kept between draws, and the context that made
// it (the draw item reads the coverage table there). Its pixels may be
// re-pointed any number of times. Rectangles are y-up (see pixelbuf.h).
#pragma once

#include <cstdint>

struct EngineContext;
struct DrawItem;
struct Path;
struct PixelBuf;
struct Rect;

enum : uint32_t {
    Bitmap_flagIndirect = 1,        // pixels points at a word holding the first row's address
    Bitmap_scratchFirstSize = 1024, // the first size of a scratch buffer
};

// A bitmap's access callback: mode 0 begins an access to its pixels (the
// callback may point them somewhere), 1 ends it, 2 synchronises it.
struct Bitmap;
struct KeptPaths;
typedef void (*BitmapAccessFn)(Bitmap *bitmap, void *context, int32_t mode);

struct Bitmap {
    int32_t width, height;
    uint32_t stride;    // bytes per row
    uint32_t format;    // PixelFormat
    void *pixels;       // the first row, or with Bitmap_flagIndirect a word holding its address
    int32_t scale;      // the drawing scale word, also the clip path's scale
    uint32_t flags;     // bit 0 Bitmap_flagIndirect; the others carried, not read here
    DrawItem *drawItem; // the bitmap's own draw item
    Path *clipPath;     // the clip path, created empty
    void *scratch[2];   // scratch buffers, null until first used
    uint32_t scratchSize[2]; // their sizes in bytes
    EngineContext *owner;    // the context that created the bitmap
    BitmapAccessFn access;   // called around direct pixel access (null: none)
    void *accessContext;     // its context word
    KeptPaths *keptPaths;    // device paths kept across bands while a banded drawing
                             // uses the bitmap (graphics/keptpath.h); null: none
};

// A bitmap over pixels (not owned) with its draw item and an empty clip
// path of the given scale; ctx is recorded as its owner. 0 with *out the
// bitmap (freed with Bitmap_destroy); 1 when memory runs out or the stride
// cannot be held, 8 for a negative size, 271 for a format above 7 (*out
// null, nothing kept).
[[nodiscard]] int Bitmap_create(EngineContext *ctx, Bitmap **out, int32_t width, int32_t height,
                                uint32_t format, int32_t scale, void *pixels, uint32_t flags);
// Bitmap_create with flags 0.
[[nodiscard]] int Bitmap_createNoFlags(EngineContext *ctx, Bitmap **out, int32_t width,
                                       int32_t height, uint32_t format, int32_t scale,
                                       void *pixels);
// A 1 x 1 format-6 bitmap with scale 1 and no pixels yet, to be pointed at
// a colour word (Bitmap_attachInfo) before drawing.
[[nodiscard]] int Bitmap_createSolid1x1(EngineContext *ctx, Bitmap **out);
// A bitmap over the pixels of buf, with its size, format, scale and stride.
[[nodiscard]] int Bitmap_createLike(EngineContext *ctx, Bitmap **out, const PixelBuf *buf);
// Re-points the bitmap: new size, format, scale, pixels and flags, the
// stride computed, the clip path's scale word set to scale. 0; 1, 8 or 271
// as Bitmap_create (the bitmap unchanged).
int Bitmap_attachPixels(EngineContext *ctx, Bitmap *bitmap, int32_t width, int32_t height,
                        uint32_t format, int32_t scale, void *pixels, uint32_t flags);
// Bitmap_attachPixels from a buffer (flags 0), keeping the buffer's stride.
int Bitmap_attachInfo(EngineContext *ctx, Bitmap *bitmap, const PixelBuf *buf);
// Frees the scratch buffers, the clip path, the draw item and the record
// (null allowed); never the pixels.
void Bitmap_destroy(Bitmap *bitmap);

// Scratch buffer i (0 or 1) of at least n bytes, its contents kept: when
// it is smaller its size doubles from 1024 (or from its size) until it
// holds n. 0 with *outPtr and *outSize the buffer and its size; 1 when it
// cannot grow (*outPtr null and *outSize 0; the old buffer stays); 8 for
// an index other than 0 and 1.
int Bitmap_scratchBuffer(Bitmap *bitmap, int i, uint32_t n, void **outPtr, uint32_t *outSize);
// Frees scratch buffer i (or 0) and zeroes its size. 0.
int Bitmap_scratchFree(Bitmap *bitmap, int i);
int Bitmap_scratchFree0(Bitmap *bitmap);

// The address of the first pixel row (through the indirect word when the
// flag says so).
uint8_t *Bitmap_firstRow(const Bitmap *bitmap);

// Solid fills. A fill blends the colour into the rectangle (y-up; the
// whole bitmap without one) with the row operation for the bitmap's format
// and the colour format, a constant colour and a constant alpha. Only a
// format-0 bitmap from a format-0 value and a format-4 bitmap from a
// format-6 colour have one: other pairs return 265 and change nothing. The
// rectangle is clipped to the bitmap; an empty one draws nothing. 0 or 265.
int Bitmap_fillGeneral(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour, uint32_t alpha,
                       const Rect *rect);
// The whole bitmap; a format-0 bitmap with a format-0 value gets every
// byte of its rows set to the value's low byte, whatever the alpha.
int Bitmap_fillAlpha(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour, uint32_t alpha);
// The whole bitmap at alpha 255.
int Bitmap_fill(Bitmap *bitmap, uint32_t colourFormat, uint32_t colour);
// A format-6 colour with an alpha into a rectangle (null: the whole bitmap).
int Bitmap_fillColourAlpha(Bitmap *bitmap, uint32_t colour, uint32_t alpha, const Rect *rect);
// A format-6 colour over the whole bitmap at alpha 255.
int Bitmap_fillColour(Bitmap *bitmap, uint32_t colour);

// Writes the low 16 bits of value to every pixel of the rectangle's size
// (x1 - x0 by y1 - y0), from first, with rowSkip pixels between the end of
// one row's span and the start of the next (the stride in pixels minus the
// width). An empty rectangle writes nothing.
void Bitmap_fill16Rows(const Rect *rect, uint32_t value, uint16_t *first, uint32_t rowSkip);
