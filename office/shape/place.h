// Shape placement: turns OfficeArt shapes and groups into document nodes
// inside a rectangle computed by the calling reader: group child spaces,
// rotation and flips, fill and line style, the outline, arrowheads, shade
// sub-paths and pictures.
//
// Rectangles are {x, y, w, h} in document units (16.16 inches); w or h may
// be negative after a flip (the box extends left of x or below y).
// Rotations are 16.16 degrees.
#pragma once

#include <cstdint>

#include "core/container/stoplist.h"
#include "office/shape/geometry.h"

struct Edr_Doc;
struct Edr_Node;
struct EscherDrawing;
struct EscherDrawingGroup;
struct EscherPropSet;
struct EscherShape;
struct Path;
struct Prop;
struct StyleRule;

struct ShapeRect {
    int32_t x, y, w, h;
};

enum : uint32_t {
    // Paint-mode keywords of style property 125.
    ShapePaint_fill = 196,
    ShapePaint_gradient = 197,
    ShapePaint_line = 198,
    ShapePaint_fillLine = 199,
    ShapePaint_gradientLine = 200,
    ShapePaint_unset = 234,
    ShapeFill_evenOdd = 201,        // fill-rule keyword of style property 126
    ShapeRotation_full = 0x1680000, // 360 degrees
    ShapeLine_defaultWidth = 0x2AB,
};

// The fill record of a shape: fill type and colour, then what
// Shape_readGradient reads.
struct ShapeFill {
    uint32_t type;
    uint8_t colour[4]; // red, green, blue, alpha
    uint32_t steps;    // |angle| / 45 degrees
    int32_t angle;     // whole degrees
    int32_t focus;
    uint32_t shadeType;
    uint32_t colour2Raw;
    uint8_t colour2[4];
    int32_t toBottom, toRight;
    uint32_t stopCount;
    StopEntry *stops; // owned, stopCount entries {position, colour}
};

// A geometry accessor over an OfficeArt property set (Escher_propFind).
void Shape_geomProps(ShapeGeomProps *out, const EscherPropSet *set);

// Places the entry index of group (-1: the group's own entry, the background
// shape) and, for a group, its subtree, inside rect under parent. 0;
// Res_stopRequested when the translation job is asked to stop;
// Res_stackExhausted when groups nest deeper than the stack allows; a document,
// path or hook error.
[[nodiscard]] int Shape_placeTree(Edr_Doc *doc, Edr_Node *parent, EscherDrawing *drawing,
                                  EscherDrawingGroup *group, int32_t index, const ShapeRect *rect,
                                  int32_t parentRotation);

// Draws one leaf shape into the box (x, y, w, h) under parent.
[[nodiscard]] int Shape_draw(EscherDrawing *drawing, Edr_Doc *doc, Edr_Node *parent,
                             EscherShape *shape, int32_t x, int32_t y, int32_t w, int32_t h);

// Reads the gradient properties of set into fill (type and colour already
// set). 0; 1 when memory runs out. Free with ShapeFill_free.
[[nodiscard]] int Shape_readGradient(ShapeFill *fill, const EscherPropSet *set);
void ShapeFill_free(ShapeFill *fill);

// Turns the shade sub-paths into path nodes under parent and frees the list
// (also on failure).
[[nodiscard]] int Shape_emitShadePaths(ShadePath *list, EscherDrawing *drawing, Edr_Doc *doc,
                                       Edr_Node *parent, const uint8_t fillColour[4],
                                       uint32_t paintMode, const int32_t arrowLengths[2]);

// Moves the path's first point toward the next one by start and its last point
// toward the previous one by end. 0; Res_notImplemented for an element it
// cannot walk.
[[nodiscard]] int Path_trimForArrows(Path *path, int32_t start, int32_t end);

// min(c x factor >> 16, 255).
uint8_t Colour_scaleChannel(uint8_t c, uint32_t factor);

// Fill the scratch value and append it to rule.
[[nodiscard]] int StyleRule_addKeyword(StyleRule *rule, Prop *scratch, uint32_t id,
                                       uint16_t keyword);
[[nodiscard]] int StyleRule_addLength(StyleRule *rule, Prop *scratch, uint32_t id, int32_t length);
