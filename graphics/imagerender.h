// Image drawing requests and placeholders.
//
// Whoever draws an image asks the store for its pixels through a request:
// the picture and mask of the image behind a handle at a subsampling level
// within a range, decoded in the caller's thread when needed. The image
// stays locked until the request ends. When the image cannot be shown the
// request hands out the placeholder picture of its failure reason. The
// module also loads the four placeholders, turns "RAM:" settings into
// memory-file URLs and wraps an open stream as an image source.
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ColourTransform;
struct ImageView;
struct VfsHandle;

// {lowest level, highest level, out: the level of the returned pixels,
// the level a new decode starts at (raised to the lowest; the size drawn
// asks for a coarser one than the lowest a kept copy may have)}.
struct ImageLevelRange {
    int32_t low, high, level;
    int32_t start;
};

// The size and format a converted copy must have.
struct ImageTarget {
    int32_t width, height;
    uint32_t format;
};

struct ImageDrawRequest {
    ImageObject *image;
    PixelBuf *framePicture; // frame sequences only
    PixelBuf *frameMask;
    ImageView *plain;
    ImageView *other;     // the colour-transformed view
    ImageView *converted; // the view converted to the target
    uint32_t generation;
    uint32_t bits; // the request bits (ImageReq_*)
};

enum : uint32_t {
    ImageReq_plainPicture = 0x1,
    ImageReq_plainMask = 0x2,
    ImageReq_transformPicture = 0x4,
    ImageReq_transformMask = 0x8,
    ImageReq_convertPicture = 0x10,
    ImageReq_convertMask = 0x20,
    ImageReq_decode = 0x40,
    ImageReq_remakeTransformPicture = 0x80,
    ImageReq_remakeTransformMask = 0x100,
    ImageReq_remakeConvertPicture = 0x200,
    ImageReq_remakeConvertMask = 0x400,
    ImageRender_noDecode = 0x1,      // mode bit: 7185 instead of decoding
    ImageRender_keepWithImage = 0x2, // mode bit: the view used stays with its image
    ImageRender_still = 0x4, // mode bit: a frame sequence's first frame, not its current one
};

enum : int32_t {
    RamUrl_minChars = 24,
};

// The pixels of the handle's image (see the header comment): 0 with
// *request, which the caller ends with Image_endRender; 1; 7184 without an
// image; 7185 when decoding is needed and mode has ImageRender_noDecode;
// 16 for a target without a positive size or with an unknown format.
// A non-identity transform hands out a colour-transformed copy of the
// picture (and of the mask when the alpha words change it); a target
// hands out a copy scaled to the target's size and format. Copies are
// views of the image, remade when the image changed or they were made
// for another transform or target.
[[nodiscard]] int Image_render(ImageHandle *handle, uint32_t format, uint32_t formatWord,
                               ImageLevelRange *range, const ColourTransform *transform,
                               uint32_t mode, const ImageTarget *target, PixelBuf **picture,
                               PixelBuf **mask, PixelBuf **placeholder, ImageDrawRequest **request);
// Ends a request: the frame given back, the image unlocked, the views let go.
void Image_endRender(EngineContext *app, ImageDrawRequest *request);
// Decodes the picture behind url now into new buffers of the store's
// format (either out may be null). 0 or an error, with both outs null.
[[nodiscard]] int Image_loadUrlToPixels(EngineContext *app, const Url *url, PixelBuf **picture,
                                        PixelBuf **mask);
// The same for the text of a URL; 1 when it does not parse.
[[nodiscard]] int Image_loadUrlText(EngineContext *app, const char16_t *text, PixelBuf **picture,
                                    PixelBuf **mask);
// Loads the four placeholder pictures into the store: each setting's value
// ("RAM:" text or a URL), else the built-in picture under the store's
// resource directory. 0, or 1 when memory runs out.
[[nodiscard]] int Image_loadPlaceholders(EngineContext *app);
// "RAM:<id>/<length>/<name>" (ids and lengths eight hexadecimal digits;
// the separators may be any character) to the memory-file URL of the
// registered block id. 859 for other text; 1 out of memory. An id that
// names no block gives a URL that cannot be opened.
[[nodiscard]] int RamUrl_parse(EngineContext *app, const char16_t *text, Url **url);
// Opens an image over an open stream, which the image takes over (closed
// on failure). Arguments as Image_open.
[[nodiscard]] int Image_createFromStream(EngineContext *app, VfsHandle *stream, void *owner,
                                         ImageHook hook, void *hookArg, int32_t widthHint,
                                         int32_t heightHint, uint32_t options, intptr_t extra,
                                         ImageHandle **handle);
