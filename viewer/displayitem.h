// Display items and display lists built by the viewer.
//
// A display item is the engine's one display-item record (ObjHeader,
// core/container/obj.h) of some item class; a display list chains items
// through their next word with a tail pointer (ObjList). This module gives
// the list its operations and makes items of the classes the overlay and
// other viewer code place: a path stroked or filled in one colour and a
// polygon (path items, layout/replaced.h), a shape (a rectangle filled and
// framed: a box item), and images from the image store or from a pixel
// buffer (image items).
//
// Construction options: bit 0 the item owns its class data (path, points,
// image handle, pixels); bit 1 a text item holds its font list; bit 2
// clear marks a text item's format as shared (flags bit 10). Every item has
// flags bit 3; bit 7 hides it from list walks. The two caller bits live in
// the item's first spare word (bits 8 and 9), so that they never change
// how the item draws.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/rect.h"

struct EngineContext;
struct ImageHandle;
struct Matrix;
struct Path;
struct FontList;
struct PathPaint;
struct PixelBuf;

typedef ObjList DisplayList;
typedef ObjHeader DisplayItem;

enum : uint32_t {
    DisplayItem_optOwns = 1u << 0,
    DisplayItem_optFontList = 1u << 1,
    DisplayItem_optOwnFont = 1u << 2,
    DisplayItem_userMask = 3u << 8,
};

// ------------------------------------------------------------- lists

// A new empty list; null when out of memory.
DisplayList *DisplayList_new();
// The chain moves to the caller; the list is left empty.
DisplayItem *DisplayList_takeHead(DisplayList *list);
// Appends at the tail; nothing for a null list or item.
void DisplayList_append(DisplayList *list, DisplayItem *item);
// Unlinks and frees the item; nothing when it is not in the list.
void DisplayList_removeItem(DisplayList *list, DisplayItem *item);
// Frees every item, then the list (null allowed).
void DisplayList_free(DisplayList *list);

// ------------------------------------------------------------- items

// A zeroed item of cls at (x, y) with transform (taken over) and the flags
// of options; null when out of memory (the transform is freed then).
DisplayItem *DisplayItem_new(const ObjClass *cls, int32_t x, int32_t y, Matrix *transform,
                             uint32_t options);
// Frees what the item owns, its transform and the item (null allowed).
void DisplayItem_free(DisplayItem *item);
// The data of a glyph-run item: DisplayItem_dataIfClass (fonts/glyphrun.h).
// Replaces the transform (the old one is freed; null: the identity).
void DisplayItem_setTransform(DisplayItem *item, Matrix *matrix);
// Caller bits 8-9 := ((bits and not mask) xor value) and 3 << 8.
void DisplayItem_setUserBits(DisplayItem *item, uint32_t mask, uint32_t value);
uint32_t DisplayItem_userBits(const DisplayItem *item);

// The constructors append the item to list when given and store it in
// *out when given; they return the class's bounds result, or 1 when memory
// runs out (the item is freed then, and so is owned data given to it).

// A path stroked or filled in colour as paint says (copied); the item's box
// is the path's bounds.
[[nodiscard]] int DisplayItem_newPath(EngineContext *engine, DisplayList *list, DisplayItem **out,
                                      int32_t x, int32_t y, Matrix *transform, Path *path,
                                      const PathPaint *paint, uint32_t colour, uint32_t options);
// A closed polygon of count points (x, y pairs, copied) filled in colour.
[[nodiscard]] int DisplayItem_newPolygon(EngineContext *engine, DisplayList *list,
                                         DisplayItem **out, const Point *points, int32_t count,
                                         uint32_t colour, uint32_t options);
// An image at its own size; the alpha is colour's fourth byte.
[[nodiscard]] int DisplayItem_newImage(EngineContext *engine, DisplayList *list, DisplayItem **out,
                                       int32_t x, int32_t y, Matrix *transform, ImageHandle *image,
                                       uint32_t colour, uint32_t options);
// An image over pixels at resolution (pixels per inch).
[[nodiscard]] int DisplayItem_newPixelImage(EngineContext *engine, DisplayList *list,
                                            DisplayItem **out, int32_t x, int32_t y,
                                            Matrix *transform, PixelBuf *pixels, uint32_t colour,
                                            int32_t resolution, uint32_t options);
// A run of text (copied) in fonts (held by the item with option bit 1;
// null: the box font) at size (16.16 points), colour 0xAABBGGRR; the box
// is the text's extent with the pen at the origin on the baseline. On
// failure after the item was made, *out keeps it for the caller (who
// releases its fonts) unless out is null.
[[nodiscard]] int DisplayItem_newText(EngineContext *engine, DisplayList *list, DisplayItem **out,
                                      int32_t x, int32_t y, Matrix *transform, const char16_t *text,
                                      FontList *fonts, int32_t size, uint32_t colour,
                                      uint32_t options);
// Gives a text item a copy of text (in the item's block). 0 or 1.
[[nodiscard]] int DisplayItem_setText(DisplayItem *item, const char16_t *text);
// Measures a text item's whole run and makes its box from the extent
// (*extent). 0 or the measuring error.
[[nodiscard]] int DisplayItem_measureText(DisplayItem *item, Rect *extent);
// A width x height rectangle filled with fill and framed with stroke at
// strokeWidth (stroke style 4, solid, when the width is at least 1, else
// 0, no frame). Colours 0xAABBGGRR.
[[nodiscard]] int DisplayItem_newShape(EngineContext *engine, DisplayList *list, DisplayItem **out,
                                       int32_t x, int32_t y, int32_t width, int32_t height,
                                       Matrix *transform, uint32_t fill, uint32_t stroke,
                                       int32_t strokeWidth);
