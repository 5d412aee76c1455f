// Orientation transforms: the seven quarter turns and mirror images of a
// pixel buffer.
//
// An orientation code lists, two bits per corner, which source corner each
// corner of the result comes from; 228 is the identity. Every operation
// takes (source, out): with out given, a new owning buffer of the result's
// size with the source's format and scale is stored in *out and the source
// stays as it was; the three that keep the size work in place when out is
// null. Directions are as seen with the first row in memory at the top.
// Results: 0; 1 when memory runs out (the source unchanged, nothing
// stored); 264 when the pixel size is not 1 or 2 bytes (the vertical flip
// takes any size), checked before anything is made.
#pragma once

#include <cstdint>

struct PixelBuf;

enum : uint32_t {
    Orient_identity = 228,
    Orient_flipHorizontal = 27,
    Orient_flipVertical = 177,
    Orient_rotate180 = 78,
    Orient_rotateClockwise = 147,
    Orient_rotateAnticlockwise = 57,
    Orient_transpose = 198,
    Orient_antiTranspose = 108,
};

enum : int { Orient_badPixelSize = 264 };

// (x, y) -> (w - 1 - x, y).
[[nodiscard]] int PixelBuf_flipHorizontal(PixelBuf *source, PixelBuf **out);
// (x, y) -> (x, h - 1 - y).
[[nodiscard]] int PixelBuf_flipVertical(PixelBuf *source, PixelBuf **out);
// (x, y) -> (w - 1 - x, h - 1 - y).
[[nodiscard]] int PixelBuf_rotate180(PixelBuf *source, PixelBuf **out);
// (x, y) -> (h - 1 - y, x); out required.
[[nodiscard]] int PixelBuf_rotateClockwise(PixelBuf *source, PixelBuf **out);
// (x, y) -> (y, w - 1 - x); out required.
[[nodiscard]] int PixelBuf_rotateAnticlockwise(PixelBuf *source, PixelBuf **out);
// (x, y) -> (y, x); out required.
[[nodiscard]] int PixelBuf_transpose(PixelBuf *source, PixelBuf **out);
// (x, y) -> (h - 1 - y, w - 1 - x); out required.
[[nodiscard]] int PixelBuf_antiTranspose(PixelBuf *source, PixelBuf **out);

typedef int (*OrientFn)(PixelBuf *source, PixelBuf **out);
// The routine of an orientation code: null for the identity (228) and for
// codes that are no orientation (*known 0 then; 1 otherwise).
OrientFn Orient_routine(uint32_t code, int *known);
// 1 when the code keeps the width and height (identity and the three
// size-keeping transforms).
int Orient_keepsSize(uint32_t code);
