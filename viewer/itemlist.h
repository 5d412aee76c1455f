// Helpers of display-item list drawing: rectangle conversions, band
// sizes, page thumbnails and the bitmap access wrappers. The walks that
// draw and measure a chain of items, and the drawing area they work in,
// are in graphics/itemwalk.h.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "graphics/itemwalk.h"

struct Bitmap;
struct DispmanArea;
struct DrawTarget;
struct EngineContext;
struct Edr_Doc;
struct PixelBuf;
struct Matrix;
struct Path;

// Maps the corners (x0, y0) and (x1, y1) of rect through the inverse of
// matrix, in place.
void View_untransformRect(Rect *rect, const Matrix *matrix);

// What a page view tells View_rectToPageUnits: the document it shows, the
// visible rectangle, the page's vertical offset (top) and the page scale
// (16.16).
struct ViewPageContext {
    Edr_Doc *document;
    Rect visible;
    int32_t top;
    int32_t scale;
};
// The part of rect inside the visible rectangle as an area of the page:
// the document, key pair 0, 0, and x0, y0 - top, x1, y1 - top each shifted
// left by 16 and divided by the scale (signed). An empty part (or a scale
// of 0) gives an area whose document is null.
void View_rectToPageUnits(DispmanArea *out, const Rect *rect, const ViewPageContext *page);

// A new path (user word userWord) holding rect grown by grow on every
// side. 0 with *out set (freed with Path_destroy); the error of creating or
// filling it (*out null, nothing kept).
[[nodiscard]] int View_rectPath(Path **out, const Rect *rect, int32_t userWord, int32_t grow);

// Band sizes for rendering width x height pixels of format through a band
// buffer of size bytes: rows of width x bytes per pixel rounded up to 4
// bytes, as many rows per band as fit, all bands of one height. The band
// bitmap is set up over the buffer with that width and band height.
struct ViewBandParams {
    void *buffer;
    uint32_t size;
    uint32_t format;
    int32_t width;
    int32_t height;
};
// 0 with *bandHeight and *bands set; Res_bandNoRow when no row fits; the error
// of setting the bitmap up.
[[nodiscard]] int View_bandHeight(EngineContext *ctx, const ViewBandParams *params, Bitmap *band,
                                  int32_t *bandHeight, int32_t *bands);

// The thumbnail size of a page of width x height units within the limits:
// the long side L, the short side S and their ratio r = L x 65536 / S.
// When r is at most ratioLimit (16.16) the long side is fitted first
// (d = L / long limit), else the short side (d = S / short limit); d is at
// least 1. The long limit is heightLimit for a portrait page (height above
// width), else widthLimit. 0 with *outWidth, *outHeight and *divisor set;
// 8 for an empty page or limits below 1.
[[nodiscard]] int View_thumbnailSize(int32_t width, int32_t height, int32_t widthLimit,
                                     int32_t heightLimit, int32_t ratioLimit, int32_t *outWidth,
                                     int32_t *outHeight, int32_t *divisor);

// Renders page (key, kind) of document into a thumbnail of format-4 pixels
// within the limits (View_thumbnailSize of the page rectangle's sides in
// 16.16 inches), drawn at one pixel for every d units along both axes from
// the page's top-left corner, as a still. *output gets a new thumbnail record with owned pixels
// (a PixelBuf; the caller frees it with PixelBuf_destroy). 0; Res_noSuchPage when the page is
// absent; 8 for an empty page; 1 out of memory; the drawing's error.
[[nodiscard]] int View_renderThumbnail(EngineContext *ctx, Edr_Doc *document, int32_t pageKey,
                                       uint32_t pageKind, PixelBuf **output, int32_t widthLimit,
                                       int32_t heightLimit, int32_t ratioLimit);

// The paint of a display item: its kind (0 a solid colour, 1 an image, 2
// and 3 gradients) and, for kind 0, the colour as the bytes R, G, B, A.
enum : uint32_t {
    Paint_solid = 0,
    Paint_image = 1,
    Paint_linear = 2,
    Paint_radial = 3,
};
struct PaintRecord {
    uint32_t kind;
    uint8_t colour[4];
};
struct DrawItem;
// Prepares item for the paint and renders it into target. A solid colour
// paints 0x00BBGGRR (format 6) under its alpha; alpha 0 draws nothing and
// answers 0. Image and gradient paints are drawn by the graphics
// subsystem's samplers, which are not reached from here yet: 259. Other
// kinds draw nothing and answer 0. Otherwise the rendering's result.
[[nodiscard]] int Paint_setupItem(EngineContext *ctx, const PaintRecord *paint, DrawItem *item,
                                  const DrawTarget *target);

// ------------------------------------------------------- bitmap access
//
// A bitmap may carry an access callback (Bitmap::access, with its context
// word): mode 0 begins an access, 1 ends it, 2 synchronises it.

// The address of the first pixel row (through the indirect word when the
// bitmap's flags say so), and the flags into *flags (may be null). Null for
// a null bitmap.
void *Bitmap_pixels(const Bitmap *bitmap, uint32_t *flags);
// Calls the callback with mode 0; 1 when the bitmap then has no pixels,
// else 0. 0 for a null bitmap or without a callback.
int Bitmap_beginAccess(Bitmap *bitmap);
// Calls the callback with mode 1.
void Bitmap_endAccess(Bitmap *bitmap);
// Calls the callback with mode 2 unless flag bit 4 (0x10) is set.
void Bitmap_syncAccess(Bitmap *bitmap);
