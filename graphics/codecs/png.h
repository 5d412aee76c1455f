// The PNG decoder (codec type 10) over libpng's progressive reader.
//
// The codec pushes the source bytes into the library at most 1024 at a
// time and gets header, row and end callbacks. Every PNG becomes 8-bit
// RGBA rows (palettes and low bit depths expanded, transparency chunks
// turned into alpha, 16-bit samples cut to their high byte, grey made RGB),
// which the alpha row converter of graphics/imageconv.h turns into the
// wanted picture format and an 8-bit mask. The mask is dropped at the end
// unless the image has an alpha channel or a transparency chunk.
// Non-interlaced images are written in bands of 8 rows through the store's
// staging rows; interlaced ones into one whole-image band. The library's
// memory comes from the engine heap; its failures leave it through the
// engine's non-local exit.
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageCodecParams;
struct ImageObject;

enum : int32_t {
    Png_typeId = 10,
    Png_feedBytes = 1024, // bytes pushed into the library per call
};

// The resolution of a physical-pixel chunk: unit 1 (metre) with an x
// resolution of at least 10 pixels per metre gives trunc(x x 2.54 / 100)
// dpi; anything else (no chunk: present 0) 72.
int32_t Png_resolution(int present, uint32_t unit, uint32_t xPerMetre);

// The codec's slots (graphics/imagecodec.h): 100 when the recognition flag
// is set and at least 8 bytes are the PNG signature; reading the header
// (width, height, resolution; bands of 8 rows, or 0 for an interlaced
// image); decoding. Results: 0x2701 not a PNG (fewer than 8 bytes, or no
// signature); 0x2702 and 0x2704 the library's structures could not be
// made; 0x2703 a library failure; 0x2705 no row converter for the wanted
// formats; 1 memory; the stream's or the store's errors. A file cut short
// keeps the rows that came; the result is then the stream's error or 0
// (when it ends before the header: the stream's error, or 0x2205).
int Png_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                  uint32_t count, uint32_t flags);
int Png_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                   void *hookArg);
int Png_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params);
