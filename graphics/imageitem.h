// Image items: pictures placed on a page (an image handle of the image
// store, or a raw pixel buffer placed like one), drawn into a bitmap at
// the item's box under the page transform.
//
// Drawing turns the box into a destination rectangle of whole pixels and
// an orientation (a quarter turn or mirror image; any other transform is
// refused with 4869), asks the image store for pixels, scales the visible
// part to the destination size with the two-pass resampler, turns it, and
// blits it through the bitmap's draw item with the paint stages of the
// item's drawing effect and the item's alpha. Out of memory retries one
// subsampling level coarser for images that allow it; an image that
// cannot be shown gets a grey frame (when the caller allows one) and the
// placeholder of the drawing request.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/geom.h"
#include "core/geom/rect.h"

struct DrawTarget;
struct EngineContext;
struct ImageHandle;
struct ImageDrawRequest;
struct ImageLevelRange;
struct Matrix;
struct PixelBuf;

enum : uint32_t {
    // Item kinds.
    ImageItem_handleKind = 0,
    ImageItem_bufferKind = 1,

    // Draw flags.
    ImageItem_mustScale = 0x1,
    ImageItem_noPixels = 0x2,
    ImageItem_frameAllowed = 0x4,
    ImageItem_sequence = 0x8,
    ImageItem_dynamicSubsample = 0x10,
    ImageItem_still = 0x20, // option: an animation's first frame (a picture of its own)

    ImageItem_frameMinimum = 0x16AA, // box units: smaller items get no frame
    ImageItem_boundsLimit = 8192,    // pixels per side of the bounds
    ImageItem_tileBytes = 32768,     // the most a repeated picture is tiled into
    ImageItem_frameLine = 0x28f,     // 16.16: the frame's outline width
};

enum : int { ImageItem_notQuarterTurn = 4869 };

// The class part of an image item.
struct ImageItemPart {
    uint32_t kind;         // ImageItem_handleKind or ImageItem_bufferKind
    ImageHandle *handle;   // handle kind
    PixelBuf *picture;     // buffer kind: the pixels
    PixelBuf *mask;        // buffer kind: an optional format-0 mask
    int32_t width, height; // handle kind: the image size (0: the image's own)
    int32_t resolution;    // 0 means 96
    int32_t scale;         // 0: the image's or buffer's own
    uint32_t maskColour;
    uint32_t alpha;           // 255 opaque
    int32_t quality;          // negative: no smoothing
    int32_t repeatX, repeatY; // times the picture repeats across and down (0 or 1: once)
    uint32_t orient;          // the picture's turn or flip within its box (graphics/orient.h
                              // code; 0 for none)
};

// The image item class (operations: draw, measure, bounds). With
// Obj_ownsData the item releases its handle or frees its buffers.
extern const ObjClass ImageItem_class;

// A new image item with the box and a zero part but alpha 255; null when
// memory runs out.
ObjHeader *ImageItem_create(const Rect *box);
ImageItemPart *ImageItem_part(ObjHeader *item);
int ImageItem_is(const ObjHeader *item);

// Draws the picture and optional mask with the lower-left pixel at (x, y)
// of the bitmap (y-up, the target's dx and dy ignored), clipped to the
// target's clip. 0 or the draw's error.
typedef int (*ImageBlitFn)(EngineContext *app, const ObjHeader *item, const PixelBuf *picture,
                           const PixelBuf *mask, int32_t x, int32_t y, const DrawTarget *target);

// Draws one item: transform (null: the identity) maps the item's units to
// device units, which the bitmap's scale word turns into pixels from the
// target's dx and dy; options bit ImageItem_frameAllowed allows the frame,
// bit ImageItem_still draws an animated picture's first frame;
// quality is the draw's image quality (0 to 15). 0, 1 (out of memory after
// every retry), 4869, or another error.
[[nodiscard]] int ImageItem_draw(EngineContext *app, ObjHeader *item, const DrawTarget *target,
                                 const Matrix *transform, uint32_t options, int32_t quality,
                                 ImageBlitFn blit);
[[nodiscard]] int ImageItem_drawDefault(EngineContext *app, ObjHeader *item,
                                        const DrawTarget *target, const Matrix *transform,
                                        uint32_t options, int32_t quality);
// The standard blit: a rectangle item painted with the picture, masked by
// the mask weakened by the item's alpha (a mask stage) or, without one, by
// the alpha as a constant; the paint stages of the item's drawing effect.
[[nodiscard]] int ImageItem_blitSpan(EngineContext *app, const ObjHeader *item,
                                     const PixelBuf *picture, const PixelBuf *mask, int32_t x,
                                     int32_t y, const DrawTarget *target);

// Size, resolution (0 becomes 96 only when drawing), scale and draw flags
// of the item (see the flag values); options bit 0 asks whether the pixels
// need scaling at all, bit ImageItem_frameAllowed is kept unless the image
// has a first mask word. 0, or the image store's error.
[[nodiscard]] int ImageItem_getInfo(ObjHeader *item, uint32_t options, int32_t *width,
                                    int32_t *height, int32_t *resolution, int32_t *scale,
                                    uint32_t *flags);
// The box under the item's transform, each side limited to 8192 pixels at
// the item's resolution. 0 or 8.
[[nodiscard]] int ImageItem_getBounds(EngineContext *app, ObjHeader *item, Rect *bounds);
// The orientation code of the four source corners (y-up: bottom-left,
// top-left, top-right, bottom-right) mapped through transform: for each
// corner of the result, two bits naming the source corner that lands
// there (228 the identity); *rect gets their bounds. 4869 when they are
// not the corners of an upright rectangle.
[[nodiscard]] int ImageItem_orientation(const Point corners[4], const Matrix *transform, Rect *rect,
                                        uint32_t *code);
// The destination rectangle in whole pixels of rect (device units) at the
// scale word, moved by offset; at least one pixel wide and high.
void ImageItem_destRect(const Rect *rect, int32_t scale, const Point *offset, Rect *out);
// The coarsest decode level (halvings) of a width x height picture that
// keeps at least one pixel per pixel of a drawnWidth x drawnHeight
// rectangle whichever way the picture is turned; 0 when it is drawn at
// about its size or larger.
int32_t ImageItem_levelForSize(int32_t width, int32_t height, int32_t drawnWidth,
                               int32_t drawnHeight);
// One drawing request at the target's normalised format: without decoding
// first when displayScale is positive, and when the image is not decoded
// yet, a second request that decodes straight into a copy of display size
// (displayScale x size / resolution + 1 per side, the image's own size when
// that is larger; at most the size of the range's start level). Both
// requests add the ImageRender_* bits of mode. 0
// with *request to end with Image_endRender, or the request's error.
[[nodiscard]] int ImageItem_getPixels(ImageHandle *handle, int32_t displayScale,
                                      ImageLevelRange *range, int32_t resolution, int32_t width,
                                      int32_t height, uint32_t format, PixelBuf **picture,
                                      PixelBuf **mask, PixelBuf **placeholder,
                                      ImageDrawRequest **request, uint32_t mode);
// The scaler's quality: at most 15 and twice the draw quality; 0 when the
// item forbids smoothing.
int32_t ImageItem_scaleQuality(const ImageItemPart *part, int32_t drawQuality);
// New buffers of width x height: the picture scaled in format (normalised)
// and the mask (when given) in format 0; tileX and tileY place them inside
// the scaled picture of scaledWidth x scaledHeight. 0 or an error, outs
// null.
[[nodiscard]] int ImageItem_convert(EngineContext *app, const PixelBuf *picture,
                                    const PixelBuf *mask, PixelBuf **newPicture, PixelBuf **newMask,
                                    int32_t scaledWidth, int32_t scaledHeight, int32_t tileX,
                                    int32_t tileY, int32_t width, int32_t height, uint32_t format,
                                    int32_t quality);
// Fills rect (bitmap pixels, y-up) light grey (160, 160, 160) at alpha 127
// and outlines it in opaque black, clipped to the target's clip.
[[nodiscard]] int ImageItem_drawFrame(EngineContext *app, const Rect *rect,
                                      const DrawTarget *target);
