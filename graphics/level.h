// Gain and offset of 8-bit pixel values (grey levels or mask bytes) as a
// stage of a draw item (graphics/drawitem.h): the mask stage that weakens
// an image's mask by the item's alpha is this stage with {alpha, 0}.
//
// The stage's parameter (the levels) points at two signed 16-bit words
// {gain, offset}; every byte v becomes offset + (gain x v) / 256 (the
// division truncating toward zero), clamped to 0-255.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/drawitem.h"

enum : int { Level_badFormats = 275 };

// The declare operation: a constant format-0 value (input 0, format 0)
// gives the one-pixel routine and a constant of 1 byte; rows of format 0
// (input 1, format 0) give Pixel_levelRows with rows of (width + 3)
// rounded down to a multiple of 4 bytes, never in place; the output
// format is 0 either way. Any other pair, a negative width or no levels:
// Level_badFormats.
[[nodiscard]] int Pixel_levelConverter(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width,
                                       int32_t height, int stageBefore, void *levels,
                                       StageRecord *stage);
extern const StageOps Level_stageOps;

// Rows of width bytes: target byte = the adjusted source byte. Returns 0.
int Pixel_levelRows(const uint8_t *source, ptrdiff_t sourceStride, void *levels, int32_t x,
                    int32_t y, int32_t width, int32_t height, uint8_t *target,
                    ptrdiff_t targetStride);
// One byte: *target = the adjusted *source; returns that value (0-255).
// (The stage's one-pixel routine wraps it and returns 0: a draw takes any
// non-zero routine result as a failure.)
int Pixel_levelOne(const uint8_t *source, ptrdiff_t sourceStride, void *levels, int32_t x,
                   int32_t y, int32_t width, int32_t height, uint8_t *target,
                   ptrdiff_t targetStride);
