// Byte planes (one byte per pixel: grey levels or alpha masks): reduction
// by 2, 4 or 8 in place for images decoded at a fraction of their size,
// and the mapping of every byte of a rectangle through a 256-entry table.
#pragma once

#include <cstddef>
#include <cstdint>

// Reduces the plane of width x height bytes (rows stride bytes apart) by
// n = 2^shift in both directions, in place: the plane is cut into n x n
// blocks from its top-left corner, and block column j of block row k
// becomes one byte at column j of plane row k x n, so the reduced rows are
// read every n rows. A full block gives its average rounded to the
// nearest integer ((sum + n^2 / 2) >> 2 x shift); the partial blocks at
// the right edge (width mod n columns), at the bottom (height mod n rows)
// and in the corner are averaged over their real size the same way. A
// plane smaller than n reduces to its own average. Shifts other than 1 to
// 3, a null plane or an empty size do nothing.
void Plane_reduce(uint32_t shift, uint8_t *plane, ptrdiff_t stride, uint32_t width,
                  uint32_t height);
void Plane_reduce2(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height);
void Plane_reduce4(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height);
void Plane_reduce8(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height);

// The reducers by scale shift: entry shift - 1 for shifts 1, 2 and 3.
typedef void (*PlaneReduceFn)(uint8_t *plane, ptrdiff_t stride, uint32_t width, uint32_t height);
extern const PlaneReduceFn Plane_reducers[3];

// destination byte = table[source byte] over a rectangle of width x height
// bytes, rows taken by their own strides; whole groups of 8 and 4 bytes of
// a row first, then 2 and 1. The two may be the same plane (equal strides
// then), but must not overlap otherwise.
void Pixel_mapRows8(const uint8_t table[256], const uint8_t *source, uint8_t *destination,
                    uint32_t width, uint32_t height, ptrdiff_t sourceStride,
                    ptrdiff_t destinationStride);
