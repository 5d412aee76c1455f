// Row converters from 32-bit colour pixels (0x00BBGGRR) to the pixel
// formats of the engine, for readers that build pictures row by row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/imageconv.h"

struct EngineContext;

typedef RowConvFn PixelConvFn;

// The converter that turns 32-bit pixels into format (one for format 1,
// one for formats 2 and 4, one for 3, one for 6); null for other formats.
PixelConvFn PixelConv_fromRgb32(EngineContext *context, uint32_t format);

// Converts rows rows of width pixels from source to destination, stepping
// each by its stride in bytes.
void PixelConv_rows(PixelConvFn convert, const uint32_t *source, size_t sourceStride, uint32_t width,
                    uint32_t rows, uint8_t *destination, size_t destinationStride);
