// The box item: the display item of a laid-out box with a background and
// four borders in the border styles of style sheets.
//
// The item's box (its header's box words, moved by its origin) is the
// outer edge of the borders. Drawing paints the background inside the
// borders through the background painter, then either one
// even-odd frame when all four borders are solid and alike, or each side
// on its own: a trapezoid mitred against its neighbours, a pair of lines
// (double, groove, ridge) or a dashed centre line (dotted, dashed). The
// three-dimensional styles derive a second colour by shading. Every fill
// of the item runs the paint stages of the item's drawing effect (flags
// bits 8-9). Lines are pen outlines, which need the stroker
// (graphics/stroke.h).
#pragma once

#include <cstdint>

#include "core/container/obj.h"

struct DrawItem;
struct DrawTarget;
struct EngineContext;
struct PixelBuf;
struct StageNode;

struct DrawItem;
struct DrawTarget;
struct Matrix;
struct Path;
struct Point;
struct StageNode;

enum : uint32_t {
    // Border styles.
    BorderStyle_none = 0,
    BorderStyle_hidden = 1,
    BorderStyle_dotted = 2,
    BorderStyle_dashed = 3,
    BorderStyle_solid = 4,
    BorderStyle_double = 5,
    BorderStyle_groove = 6,
    BorderStyle_ridge = 7,
    BorderStyle_inset = 8,
    BorderStyle_outset = 9,

    // The record index of each edge in BoxItemPart::borders.
    BoxBorder_x0 = 0,
    BoxBorder_y1 = 1,
    BoxBorder_y0 = 2,
    BoxBorder_x1 = 3,

    // Side numbers of BoxBorder_drawSide.
    BoxSide_y1 = 0,
    BoxSide_y0 = 1,
    BoxSide_x0 = 2,
    BoxSide_x1 = 3,

    // What the box item class's measuring slot reports.
    BoxItem_identifier = 0x426F78, // "Box"
};

// One border: style, colour (0xAABBGGRR: bytes red, green, blue, alpha in
// memory) and width (the units of the item's box).
struct BoxBorder {
    uint32_t style;
    uint32_t colour;
    int32_t width;
};

// The background of a box item: a colour 0xAABBGGRR (alpha 0: none) and an
// optional image (the painter's own record; null for none).
struct ViewBackground {
    uint32_t colour;
    void *image;
};

// The class part of a box item: the four borders, in the order x0, y1, y0,
// x1, and the background handed to the background painter.
struct BoxItemPart {
    BoxBorder borders[4];
    ViewBackground background;
};

// Paints a box's background into the area of item's shape (a path draw
// item, its shape set by the caller): sets the item's paint and mask and
// renders it into target with the paint stages. 0 or the drawing's error.
int View_paintBackground(EngineContext *ctx, const ViewBackground *background, DrawItem *item,
                         const StageNode *stages, const DrawTarget *target);

// The box item class (its operations: render, identify, bounds).
extern const ObjClass BoxItem_class;

// A new box item with the box {x0, y0, x1, y1} and everything else zero
// (no borders, a transparent background). Null when memory runs out.
ObjHeader *BoxItem_create(const Rect *box);
// The class part of a box item; null for other items.
BoxItemPart *BoxItem_part(ObjHeader *item);
// 1 when the item is a box item.
int BoxItem_is(const ObjHeader *item);

// flag 0: the colour's red, green and blue (0x00BBGGRR); flag 1: the shaded
// colour: each channel of 0x80 (all three when the colour is black) is
// added when the colour, restricted to its non-zero channels, is below
// 0x808080 restricted likewise, else subtracted; each channel stays within
// 0 to 255, nothing carries into or borrows from its neighbour.
uint32_t Colour_shade(uint32_t colour, uint32_t flag);

// The paint of a box item's fills: its combined matrix, the paint stages
// of its drawing effect, the target and the work path and draw item.
struct BoxPaint {
    const Matrix *matrix;
    const StageNode *stages;
    const DrawTarget *target;
    Path *path;
    DrawItem *item;
};

// Draws one side from start to end on its centre line: a and b are the
// widths of the neighbouring borders at the start and the end. Styles 2
// and 3 stroke the line dashed; 4, 8, 9 (and 5 too thin to double) fill
// the side's trapezoid; 5, 6, 7 stroke two lines; others draw nothing. 0,
// 1 or the drawing's error.
[[nodiscard]] int BoxBorder_drawSide(uint32_t side, const Point *start, const Point *end, int32_t a,
                                     int32_t b, const BoxBorder *border, const BoxPaint *paint);
// Strokes the line (x0, y0) to (x1, y1) with a pen of the width and the
// dash record (null: solid), in the colour shaded by shade.
[[nodiscard]] int BoxBorder_strokeLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                       uint32_t colour, int32_t width, const int32_t *dash,
                                       uint32_t shade, const BoxPaint *paint);
// Fills the closed quadrilateral of the four points (even-odd) in the
// colour shaded by shade.
[[nodiscard]] int BoxBorder_fillQuad(const int32_t x[4], const int32_t y[4], uint32_t colour,
                                     uint32_t shade, const BoxPaint *paint);
// Draws picture (a PixelBuf) at (x, y) relative to the target's origin,
// under mask (same place) or, without one, the constant alpha, with the
// paint stages of the item's drawing effect. 0 or the drawing's error.
[[nodiscard]] int BoxItem_drawImage(EngineContext *ctx, const PixelBuf *picture,
                                    const PixelBuf *mask, uint32_t alpha, int32_t x, int32_t y,
                                    const ObjHeader *item, const DrawTarget *target);
