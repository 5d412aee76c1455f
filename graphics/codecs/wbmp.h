// The WBMP codec (type id 12): wireless bitmaps of type 0, one bit per
// pixel (a set bit white), at most 1024 x 1024, decoded in one call into
// an opaque picture. Having no signature, its recogniser scores 90, below
// the codecs that have one. Codec_wbmpDescriptor (graphics/image.h) makes
// its descriptor; errors are 0x1F00 to 0x1F02 (core/result.h).
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageCodecParams;
struct ImageObject;

enum : int32_t {
    Wbmp_typeId = 12,
    Wbmp_score = 90,
    Wbmp_maxSize = 1024,
    Wbmp_headerBytes = 6, // the most the header is read from
};

struct WbmpHeader {
    int32_t type;        // the first byte; -1 before parsing
    int32_t fixedHeader; // the second byte, not interpreted
    int32_t width;
    int32_t height;
    int32_t headerLength; // bytes the header took
    int32_t valid;
};

// Parses the header from the first min(count, 6) bytes: type 0, a fixed
// header byte, then width and height as multi-byte integers (7 bits a
// byte, most significant first, at most 2 bytes, at most 1024 each).
void Wbmp_parseHeader(const uint8_t *bytes, uint32_t count, WbmpHeader *header);
// 90 when the recognise flag is set and the header parses, else 0.
int Wbmp_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                   uint32_t count, uint32_t flags);
int Wbmp_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                    void *hookArg);
int Wbmp_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
                const ImageCodecParams *params);
