// The device context that metafile playback draws into: it keeps the
// drawing state of a metafile (objects, selections, mapping, transform,
// text alignment, current position, path bracket, clips, saved states)
// and turns drawing into document nodes under one group: figures into
// drawing-list nodes, text into text nodes after data nodes carrying their
// style properties, bitmaps into image nodes, clips into data nodes.
// Logical coordinates are the metafile's; device coordinates are the
// target rectangle's units, y negated.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/style/prop.h"
#include "graphics/drawlist.h"

struct Edr_Doc;
struct Edr_Node;
struct EngineContext;
struct Path;
struct StyleRule;

enum : int {
    Meta_errTruncated = 13056,
    Meta_errNotMetafile = 13059,
    Meta_errMalformed = 13060,
    Meta_errNoFreeSlot = 13061,
    Meta_errBadIndex = 13062,
    Meta_errBadBrush = 13065,
    Meta_errNoSavedState = 13066,
    Meta_errBadFillMode = 13067,
};

enum : uint32_t {
    GdiObject_free = 0,
    GdiObject_pen = 1,
    GdiObject_brush = 2,
    GdiObject_region = 3,
    GdiObject_font = 5,
    GdiObject_placeholder = 6,
};

// Registers a style rule with the document: *id receives the id to add to
// a group node. 0 or an error.
typedef int (*GdiStyleFn)(void *context, StyleRule *rule, uint32_t *id);

struct GdiObject {
    uint32_t kind;
    // pen: style, width (device units), colour; brush: style, colour, hatch
    uint32_t style;
    int32_t width;
    uint32_t colour;
    uint32_t hatch;
    // font
    int32_t size;
    uint32_t faceLength;
    char16_t *face; // owned
    int32_t weight;
    uint32_t italic;    // keyword 79 or 0
    uint32_t underline; // keyword 151 or 0
    uint32_t charset;
    int32_t escapement; // tenths of a degree
};

struct GdiSaved;

struct GdiDC {
    const uint8_t *data;
    const uint8_t *cursor;
    uint32_t length;
    Edr_Doc *doc;
    Edr_Node *group; // referenced
    EngineContext *app;
    uint32_t isEmf;
    GdiStyleFn styleCallback;
    void *styleContext;
    int32_t objectCount;
    GdiObject *objects;
    // The saved state of SaveDC runs from pen to saved.
    GdiObject *pen, *brush, *font;
    GdiObject stockPen, stockBrush;
    uint32_t textColour;
    uint32_t polyFillMode; // 202 alternate, 201 winding
    uint32_t alignH, alignV, updateCP, rtlReading;
    Rect frame;
    Rect target;
    uint32_t keepAspect;
    uint32_t mapMode, mapFlags;
    Point windowOrg, windowExt, viewportOrg, viewportExt;
    Matrix world, dcMatrix;
    int32_t lineScale;
    uint32_t clipDepth;
    GdiSaved *saved;
    // What was last written as a property.
    uint32_t lastColour127, lastTextColour, lastItalic;
    int32_t lastWeight;
    uint32_t lastUnderline;
    char16_t *lastFamily; // owned
    int32_t lastSize;
    uint32_t lastAlignH, lastAlignV, lastDirection;
    uint32_t positionEmitted;
    Path *bracketPath;
    uint32_t inBracket;
    Path *currentPath;
    Point currentPos;
    DrawStyle drawList;
    DrawPaint paint;
    Prop scratch;
};

// Sets up dc with its defaults for a playback into group (referenced by
// the caller; released by Gdi_dcEnd).
void Gdi_dcInit(EngineContext *app, GdiDC *dc, const uint8_t *data, uint32_t length, Edr_Doc *doc,
                Edr_Node *group, const Rect *target, const Rect *frame, uint32_t keepAspect,
                GdiStyleFn callback, void *context);
[[nodiscard]] int Gdi_dcBegin(GdiDC *dc, int32_t objectCount);
void Gdi_dcEnd(GdiDC *dc);
// The next n input bytes in *out. 0, or 1 when the data ends first.
int Meta_take(GdiDC *dc, uint32_t n, const uint8_t **out);

int Gdi_findFreeSlot(GdiDC *dc);
[[nodiscard]] int Gdi_createPen(GdiDC *dc, int32_t index, uint32_t style, int32_t width,
                                uint32_t colour);
[[nodiscard]] int Gdi_createBrush(GdiDC *dc, int32_t index, uint32_t style, uint32_t colour,
                                  uint32_t hatch);
[[nodiscard]] int Gdi_createFont(GdiDC *dc, int32_t index, const char16_t *face,
                                 uint32_t faceLength, int32_t height, int32_t weight, int italic,
                                 int underline, int strikeOut, uint32_t charset,
                                 int32_t escapement);
[[nodiscard]] int Gdi_createRegion(GdiDC *dc, int32_t index);
[[nodiscard]] int Gdi_createPlaceholder(GdiDC *dc, int32_t index);
[[nodiscard]] int Gdi_selectObject(GdiDC *dc, int32_t index);
[[nodiscard]] int Gdi_deleteObject(GdiDC *dc, int32_t index);
void Gdi_setTextColor(GdiDC *dc, uint32_t colour);
[[nodiscard]] int Gdi_setPolyFillMode(GdiDC *dc, uint32_t mode);
void Gdi_setTextAlign(GdiDC *dc, uint32_t flags);

void Gdi_updateTransform(GdiDC *dc);
void Gdi_setMapMode(GdiDC *dc, int32_t mode);
void Gdi_setWindowOrg(GdiDC *dc, int32_t x, int32_t y);
void Gdi_setWindowExt(GdiDC *dc, int32_t x, int32_t y);
void Gdi_setViewportOrg(GdiDC *dc, int32_t x, int32_t y);
void Gdi_setViewportExt(GdiDC *dc, int32_t x, int32_t y);
void Gdi_scaleViewportExt(GdiDC *dc, int32_t xNum, int32_t xDen, int32_t yNum, int32_t yDen);
void Gdi_setWorldTransform(GdiDC *dc, const uint32_t floats[6]);
void Gdi_modifyWorldTransform(GdiDC *dc, uint32_t mode, const uint32_t floats[6]);
int32_t Gdi_floatToFixed(uint32_t bits, uint32_t fractionBits);

[[nodiscard]] int Gdi_moveTo(GdiDC *dc, int32_t x, int32_t y);
[[nodiscard]] int Gdi_lineTo(GdiDC *dc, int32_t x, int32_t y);
[[nodiscard]] int Gdi_bezierTo(GdiDC *dc, const Point p[3]);
[[nodiscard]] int Gdi_rectangle(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b);
[[nodiscard]] int Gdi_ellipse(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b);
[[nodiscard]] int Gdi_pie(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b, int32_t x1,
                          int32_t y1, int32_t x2, int32_t y2);
[[nodiscard]] int Gdi_polyline(GdiDC *dc, uint32_t n, const Point *points, int continueFigure);
[[nodiscard]] int Gdi_polygon(GdiDC *dc, uint32_t n, const Point *points);
[[nodiscard]] int Gdi_polyPolygon(GdiDC *dc, uint32_t k, const uint32_t *counts,
                                  const Point *points);
[[nodiscard]] int Gdi_patBlt(GdiDC *dc, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop);

[[nodiscard]] int Gdi_beginPath(GdiDC *dc);
void Gdi_endPath(GdiDC *dc);
[[nodiscard]] int Gdi_closeFigure(GdiDC *dc);
[[nodiscard]] int Gdi_fillPath(GdiDC *dc);
[[nodiscard]] int Gdi_strokePath(GdiDC *dc);
[[nodiscard]] int Gdi_strokeAndFillPath(GdiDC *dc);
[[nodiscard]] int Gdi_selectClipPath(GdiDC *dc);
[[nodiscard]] int Gdi_intersectClipRect(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b);
[[nodiscard]] int Gdi_saveDC(GdiDC *dc);
[[nodiscard]] int Gdi_restoreDC(GdiDC *dc);

[[nodiscard]] int Gdi_textOutW(GdiDC *dc, int32_t x, int32_t y, const char16_t *s);
[[nodiscard]] int Gdi_textOutA(GdiDC *dc, int32_t x, int32_t y, const uint8_t *bytes, uint32_t n);
[[nodiscard]] int Gdi_stretchDib(GdiDC *dc, int32_t x, int32_t y, int32_t w, int32_t h,
                                 int32_t srcW, int32_t srcH, uint32_t offset, const uint8_t *bitmap,
                                 uint32_t length, uint32_t rop);
[[nodiscard]] int Gdi_flush(GdiDC *dc);
// The BMP file of a device-independent bitmap (info header, colours,
// pixels): *out a new block of length + 14 bytes whose pixel-data offset is
// 14 + offset, or, for offset 0, 14 + length minus the pixel bytes the
// info header describes. *out null (and 0) for an empty bitmap or an info
// header other than 12, 40 or 108 bytes. 0 or 1.
[[nodiscard]] int Gdi_buildBmp(const uint8_t *bitmap, uint32_t length, uint32_t offset,
                               uint8_t **out, uint32_t *outLength);
