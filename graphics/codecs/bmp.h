// The BMP codec (type id 3): Windows bitmaps with the 12-byte core header
// or an info header of 40 bytes or more (the 52- and 56-byte headers with
// their masks, version 4 and 5 headers with colour-space fields, OS/2's 64
// bytes), 1, 4 and 8 bits through a palette, 16-bit 5-5-5, 24 and 32 bits,
// RLE8, RLE4 and 16- or 32-bit bit fields with an optional alpha mask,
// bottom-up or top-down, decoded in one call. The picture is opaque unless
// its bit fields carry alpha. The horizontal resolution, when stated, is
// the picture's resolution. Codec_bmpDescriptor (graphics/image.h) makes its
// descriptor; errors are 0x1E00 to 0x1E07 (core/result.h).
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageCodecParams;
struct ImageObject;

enum : int32_t {
    Bmp_typeId = 3,
};

// 100 for "BM" when the recognise flag (0x4) is set, else 0.
int Bmp_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                  uint32_t count, uint32_t flags);
// Reads the headers and publishes width, |height| and the stated
// resolution (72 dpi when none; colour kind 3).
[[nodiscard]] int Bmp_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image,
                                 ImageHook hook, void *hookArg);
// Decodes the whole image into the picture of params->pixelFormat.
[[nodiscard]] int Bmp_decode(EngineContext *app, void *instance, ByteStream *stream,
                             ImageObject *image, const ImageCodecParams *params);
