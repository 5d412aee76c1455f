// Replaced content: border-and-background items of boxes, image items
// sized by width, height, natural size and aspect ratio, object items of
// embedded sub-documents and frames, labels, drawing subtrees, tiled
// background images, path items in lines and page headers and footers.
//
// Sizes are 16.16 layout units with y growing upward; an item on a line
// stands on the baseline (its box runs from 0 to its height).
#pragma once

#include <cstdint>

#include "core/geom/geom.h"
#include "core/geom/rect.h"

struct BoxIter;
struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct IterEntry;
struct LayerList;
struct LayoutBox;
struct LayoutCursor;
struct LineState;
struct Matrix;
struct ObjHeader;
struct Path;

enum : int32_t {
    Replaced_defaultWidth = 204800,  // an object without a width
    Replaced_defaultHeight = 102400, // an object without a height
    Replaced_unconstrained = 0x2AAAAAAA,
    Replaced_maxRewinds = 50, // pushes back in a row before a wide item is placed anyway
    Layout_cannotMeasure = 4102,
    Drawing_yieldEvery = 256,
};

// ---------------------------------------------------------------- objects

// A frame item that holds obj (a sub-document or page piece), width x
// height, at origin (null: at the line's start limit); appended to layer 1.
// 0 or 1.
[[nodiscard]] int Layout_makeObjectItem(LayoutBox *box, Edr_Node *node, Edr_Style *style,
                                        int32_t width, int32_t height, const Point *origin,
                                        void *obj);
// Scales (width, height) to the target width keeping the ratio; the
// matrix (when asked) scales x by target / width and y by the height's
// change. Nothing changes when either side is 0.
void Layout_scaleToFit(int32_t target, int32_t *width, int32_t *height, Matrix *matrix);

// ----------------------------------------------------------------- images

// The image item of a picture record node (type 4): its natural size is
// the record's first two words (layout units). Layout_makeDocImageItem:
// the same for an image node (type 7), sized from the image's own size at
// its resolution. Layout_cannotMeasure when the size is not known.
[[nodiscard]] int Layout_makeImageItem(LayoutBox *box, ObjHeader **item, IterEntry *entry);
[[nodiscard]] int Layout_makeDocImageItem(LayoutBox *box, ObjHeader **item, IterEntry *entry);
// The natural size of an image item in layout units. 0 or Layout_cannotMeasure.
[[nodiscard]] int Layout_imageNaturalSize(ObjHeader *item, int32_t *width, int32_t *height);
// Measures an image item: its box is its natural size under its matrix.
// 0 or Layout_cannotMeasure.
[[nodiscard]] int Layout_measureImageItem(ObjHeader *item);
// Scales the item to width x height (0 or less: not given; one side given
// keeps the ratio) and measures it again, the box clamped to the request.
// 0 or Layout_cannotMeasure.
[[nodiscard]] int Layout_sizeImage(EngineContext *app, ObjHeader *item, int32_t width,
                                   int32_t height);
// An image node met in a line: made, sized by the style and placed at
// the start limit. 0, Layout_lineFull or an error.
[[nodiscard]] int Layout_placeImage(LayoutBox *box, LineState *st, IterEntry *entry);
// Sizes the item from the style's width and height (against the box's
// area width, or none with ignoreArea) and a target width (0 or less:
// none). 0 or Layout_cannotMeasure.
[[nodiscard]] int Layout_applyImageSize(LayoutBox *box, Edr_Style *style, ObjHeader *item,
                                        int32_t target, int ignoreArea);
// Drops the item's matrix and sizes it to the line width less insets.
[[nodiscard]] int Layout_fitImageToBand(LayoutBox *box, ObjHeader *item, Edr_Style *style,
                                        int32_t insets);
// Sets (or concatenates with) the item's matrix and measures it again.
// 0, 1 or Layout_cannotMeasure.
[[nodiscard]] int Layout_setItemTransform(LayoutBox *box, ObjHeader *item, const Matrix *matrix);

// ------------------------------------------------------------------ labels

// A text item of chars[start, start + length) for node in the style's
// font and colour, measured, its baseline at y = 0. 0 or an error.
[[nodiscard]] int Layout_makeTextItem(LayoutBox *box, Edr_Style *style, Edr_Node *node,
                                      const char16_t *chars, uint32_t start, uint32_t length,
                                      ObjHeader **item);
// A label item of a text node at (x, y) under the matrix (null: none),
// aligned by the style's text-align and vertical-align. *item null when
// there is no text. 0 or an error.
[[nodiscard]] int Layout_makeLabelItem(LayoutBox *box, IterEntry *entry, ObjHeader **item,
                                       const Matrix *matrix, int32_t x, int32_t y);
// Measures the image node for the cursor. 0 or an error.
[[nodiscard]] int Layout_cursorImage(LayoutCursor *cursor, Edr_Style *style, Edr_Node *node);

// --------------------------------------------------------- background images

// A box's background picture: the image's id, the rectangle it fills and
// where its first tile goes on each axis.
struct BoxBackground {
    int32_t imageId;
    Rect rect;      // {1, 1, 0, 0} until the caller sets it
    uint32_t xMode; // 1 absolute, 0 percentage (6553600 is 100%)
    int32_t x;
    uint32_t yMode;
    int32_t y;
    uint32_t repeat; // the background-repeat keyword
    int32_t spare[2];
};

enum : uint32_t {
    Background_percent = 0,
    Background_absolute = 1,
};

// *out = a new record for the image id over rect (null: none yet), its
// positions and repeat from the style. 0 or 1.
[[nodiscard]] int BoxBackground_create(const Edr_Style *style, int32_t imageId, const Rect *rect,
                                       BoxBackground **out);
void BoxBackground_free(BoxBackground *record);
// The first tile's corner for image bounds b.
void BoxBackground_position(const BoxBackground *record, const Rect *b, Point *out);
// Adds the tiled-image item of the record to the front of the box's
// current layer (nothing when the image is not there). 0 or an error.
[[nodiscard]] int BoxBackground_addItem(LayoutBox *box, const BoxBackground *record,
                                        uint32_t styleWord);
// The tiled-image item made of the record and image item (the item's
// image is shared). null when out of memory.
ObjHeader *BoxBackground_makeTiled(const BoxBackground *record, ObjHeader *image);

// The tiling record of a tiled-image item.
struct TiledImagePart {
    ObjHeader *image; // the image item drawn for each tile (owned)
    int32_t width, height;
    Rect imageBounds;
    Point origin; // the first tile's corner
    uint32_t repeat;
};
extern const struct ObjClass TiledImage_class;

// -------------------------------------------------------------- path items

enum : uint32_t {
    PaintMode_fill = 196,
    PaintMode_fillServer = 197,
    PaintMode_stroke = 198,
    PaintMode_strokeFill = 199,
    PaintMode_strokeFillServer = 200,
    FillRule_evenOddKeyword = 201,
    PaintServer_maxStops = 20,
    PaintServer_kindRamp = 1, // a colour ramp between stops
};

// The paint of a path item: a stroke with its pen words, or a fill with
// its rule.
struct PathPaint {
    uint32_t isStroke;
    int32_t stroke[6]; // flags, width, 0x10000, miter value and two more words
};
static_assert(sizeof(PathPaint) == 28);

// A paint server: a gradient of at most 20 stops {offset 16.16, 0xAABBGGRR}
// laid over the item's box: mode 0 runs linearly from the start point to
// the end point, mode 1 outwards from the start point (the centre) to the
// end point; both points are 16.16 fractions of the box from its top-left.
struct PaintServer {
    uint32_t kind; // PaintServer_kindRamp
    uint32_t count;
    int32_t *stops; // owned: count pairs
    uint32_t mode;
    int32_t start[2], end[2];
};

// Fills out from value, the stop list of a path's paint-server property
// (positions clamped to 0..1, at most PaintServer_maxStops); without a
// list of at least two stops, two opaque black stops at the ends, so that
// the fill still shows. The gradient runs from the top of the box to its
// bottom. 0 or an error (out->count 0 then).
[[nodiscard]] int PaintServer_fromStopList(PaintServer *out, uintptr_t value);

struct PathItemPart {
    Rect bounds;
    int32_t offset[2];
    Matrix *matrix; // owned copy, or null
    Edr_Node *node;
    uint32_t flags; // bit 7 hidden; bits 0 and 1: the item owns its path
    Path *path;
    PathPaint *paint;   // owned
    uint32_t paintKind; // 0 colour, 1 paint server
    uint32_t colour;
    PaintServer *server; // owned (kind 1)
};
extern const struct ObjClass PathItem_class;
PathItemPart *PathItem_part(ObjHeader *item);

// The stroke and fill items of a path node (either null when not made).
[[nodiscard]] int PathItem_makePair(LayoutBox *box, IterEntry *entry, ObjHeader **stroke,
                                    ObjHeader **fill);
// Places the path items of group's path child scaled into rect.
[[nodiscard]] int Layout_placePathItem(LayoutBox *box, Edr_Style *style, Edr_Node *node,
                                       Edr_Node *group, const Rect *rect, int32_t height);

// ------------------------------------------------------- headers and footers

struct Edr_KeyedGroup;
[[nodiscard]] int PageDecor_layoutGroups(LayoutBox *box, Edr_Style *pageStyle,
                                         const Edr_KeyedGroup *whole, Edr_Node *header,
                                         Edr_Node *footer, int32_t *headerHeight,
                                         int32_t *footerHeight);
[[nodiscard]] int PageDecor_reserve(LayoutBox *box, Edr_Style *pageStyle, int32_t header,
                                    int32_t footer);
