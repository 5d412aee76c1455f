// Pixel formats and pixel buffers.
//
// Every raster surface of the engine holds its pixels in one of eight
// formats, in rows of `stride` bytes (width x bytes per pixel rounded up
// to a multiple of 4), the top row first in memory. A PixelBuf is the bare
// buffer that decoders, the image store and the display manager pass
// around; a Bitmap (graphics/bitmap.h) is the drawing target over the same
// geometry.
//
// Rectangles given to the copy, crop and fill operations are y-up: x runs
// right from column 0, y runs up from the bottom edge, x1 and y1 are
// exclusive, and the memory row of a rectangle's top edge is height - y1.
// PixelBuf_subView and PixelBuf_paste alone count rows from the top.
//
// Buffer sizes are worked out in 64 bits: a size that the heap cannot hold
// fails with 1 (or with 272 under a caller's byte budget), never with a
// short allocation.
#pragma once

#include <cstdint>

struct EngineContext;
struct Rect;

// Pixel formats (an unsigned code 0-7).
enum PixelFormat : uint32_t {
    Pixel_formatGrey8 = 0,  // 8 bits: a grey level, or an alpha/coverage mask (255 opaque)
    Pixel_format444 = 1,    // 16 bits: red 11-8, green 7-4, blue 3-0
    Pixel_format565Alt = 2, // 16 bits: the layout of format 4 (the two convert by copying)
    Pixel_format555 = 3,    // 16 bits: blue 14-10, green 9-5, red 4-0 (white 0x7FFF)
    Pixel_format565 = 4,    // 16 bits: red 15-11, green 10-5, blue 4-0; the screen format
    Pixel_format32 = 5,     // 32 bits; only its size is used
    Pixel_formatRGBA = 6,   // 32 bits 0xAABBGGRR (decoded pixels carry alpha 0; white 0x00FFFFFF)
    Pixel_format1555 = 7,   // 16 bits: bit 15 set = transparent, red 14-10, green 9-5, blue 4-0
    Pixel_formatCount = 8,
};

// Bytes per pixel of the format (1, 2, 2, 2, 2, 4, 4, 2); 0 for a code
// above 7.
uint32_t Pixel_bytesPerPixel(uint32_t format);
// Formats 1, 2 and 3 become 4; the others stay.
uint32_t Pixel_normaliseFormat(uint32_t format);
// The row stride and the size in bytes of a width x height buffer of the
// format. 0; 8 for a negative width or height; 271 for a format above 7;
// 1 for a stride beyond 32 bits. *stride and *bytes are 0 on failure.
int Pixel_bufferSize(int32_t width, int32_t height, uint32_t format, uint32_t *stride,
                     uint64_t *bytes);

struct PixelBuf {
    int32_t width;       // pixels
    int32_t height;      // rows
    uint32_t stride;     // bytes per row
    uint8_t *pixels;     // the first (top) row
    uint32_t ownsPixels; // 1 when the pixels are this buffer's own (freed with it)
    uint32_t format;     // PixelFormat
    int32_t scale;       // drawing scale word carried with the pixels (0x10000 usually)
};

// Every function that creates a buffer clears its out-pointer first and
// hands the new buffer to the caller, who frees it with PixelBuf_destroy.

// A buffer with its own pixels (not cleared). 0; 1 when memory runs out or
// the size cannot be held (nothing made); 8 for a negative size; 271 for a
// format above 7.
[[nodiscard]] int PixelBuf_create(PixelBuf **out, int32_t width, int32_t height, uint32_t format,
                                  int32_t scale);
// A buffer over the caller's pixels, with the given stride. 0; 1; 271 for
// a format above 7.
[[nodiscard]] int PixelBuf_wrap(PixelBuf **out, int32_t width, int32_t height, uint32_t format,
                                int32_t scale, void *pixels, uint32_t stride);
// As PixelBuf_wrap with the stride computed; 272 without allocating when
// height x stride exceeds maxBytes (compared as signed numbers). 8 and 271
// as PixelBuf_create.
[[nodiscard]] int PixelBuf_createView(PixelBuf **out, int32_t width, int32_t height,
                                      uint32_t format, int32_t scale, void *pixels,
                                      int32_t maxBytes);
// A 1 x 1 format-6 view with scale 1 and no pixels yet: the caller points
// it at a colour word (PixelBuf_attachPacked) before use. 0 or 1.
[[nodiscard]] int PixelBuf_createPlaceholder(PixelBuf **out);
// Frees the buffer, and its pixels when it owns them (null allowed).
void PixelBuf_destroy(PixelBuf *buf);

// Re-points buf at other pixels: its own pixels are freed first; then it
// owns none. 0; 271 for a format above 7 (buf unchanged).
int PixelBuf_attach(PixelBuf *buf, int32_t width, int32_t height, uint32_t format, int32_t scale,
                    void *pixels, uint32_t stride);
// The same with the stride computed; the errors of Pixel_bufferSize leave
// buf unchanged.
int PixelBuf_attachPacked(PixelBuf *buf, int32_t width, int32_t height, uint32_t format,
                          int32_t scale, void *pixels);
// Points the record view (the caller's, owning nothing afterwards) at the
// part of src inside rect, rows counted from the top: the first pixel is
// src->pixels + stride x y0 + bytes per pixel x x0, the size (x1 - x0) x
// (y1 - y0), stride, format and scale those of src. Nothing is clipped:
// the caller keeps rect inside src.
void PixelBuf_subView(PixelBuf *view, const PixelBuf *src, const Rect *rect);

// A new buffer of src's size, format and scale with its pixels copied row
// by row. 0 and nothing made when src or out is null; 1 when memory runs
// out.
[[nodiscard]] int PixelBuf_clone(const PixelBuf *src, PixelBuf **out);
// Copies pixels between two buffers of the same width, height and format:
// the rows of rect (clipped to the buffers) at the same places, or without
// rect every row. 0; 8 when the buffers differ in size or format.
int PixelBuf_copyRect(const PixelBuf *src, PixelBuf *dst, const Rect *rect);
// Copies src into dst with src's top-left pixel at column x, memory row y
// (rows counted from the top), clipped to dst. Nothing when the formats
// differ or the two do not overlap.
void PixelBuf_paste(const PixelBuf *src, PixelBuf *dst, int32_t x, int32_t y);

// Repeats picture (and its optional mask, of the same width and height)
// into one larger buffer so that a pattern needs fewer draws: as many
// tiles as maxBytes allows, at most countX across and countY down. On
// success *countX and *countY become the repeats still needed (rounded up)
// and *sizeX and *sizeY, the repeat distances, grow by the tiles across
// and down. 0; 8 when picture or one of the four numbers is missing or a
// count is below 1; 272 when a tile has no bytes; 274 when fewer than two
// tiles fit; 1 when memory runs out (nothing made, nothing changed). The
// mask is tiled only when both mask and outMask are given.
[[nodiscard]] int PixelBuf_tile(const PixelBuf *picture, const PixelBuf *mask,
                                PixelBuf **outPicture, PixelBuf **outMask, int32_t *countX,
                                int32_t *countY, int32_t *sizeX, int32_t *sizeY, int32_t maxBytes);

// Replaces *buf by a new buffer covering rect (y-up, in the old buffer's
// pixel space, possibly larger than it): the new area is cleared, then
// filled with colour (format 6) where the format has a solid fill, and the
// old pixels inside rect are copied to their places. The old buffer is
// freed. 0; 1 when memory runs out, 8 and 271 as PixelBuf_create: the old
// buffer then stays.
[[nodiscard]] int PixelBuf_extend(EngineContext *ctx, PixelBuf **buf, const Rect *rect,
                                  uint32_t colour);

// A new buffer of src's pixels in another format: equal formats give a
// clone; 2 or 4 to 0 (grey, 0 to 250), to 1 (the top 4 bits of each
// channel) or to 2 or 4 (a copy); 6 to 4 (the top bits of each channel,
// alpha dropped); 7 to 4 (red and green move up a bit, a green of 31
// becomes 63), where outMask, when given, receives a format-0 mask of the
// same size, 255 for opaque pixels and 0 for pixels with bit 15 set, or
// null when no pixel had bit 15 set. 0; 271 for any other pair (nothing
// made); 1 when memory runs out.
[[nodiscard]] int PixelBuf_convert(const PixelBuf *src, uint32_t format, PixelBuf **out,
                                   PixelBuf **outMask);

// Fills the rectangle of width x height pixels at column x, memory row y
// (rows counted from the top), clipped to the buffer, with value: format 0
// takes its low byte, formats 1 to 4 its low 16 bits, format 6 the whole
// word; other formats are left alone.
void PixelBuf_fillRect(PixelBuf *buf, int32_t x, int32_t y, int32_t width, int32_t height,
                       uint32_t value);
// The same with the format's white: 255, 0x0FFF, 0xFFFF, 0x7FFF, 0xFFFF and
// 0x00FFFFFF for formats 0, 1, 2, 3, 4 and 6; other formats are left alone.
void PixelBuf_fillRectWhite(PixelBuf *buf, int32_t x, int32_t y, int32_t width, int32_t height);
