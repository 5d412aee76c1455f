// The metafile device context: state, objects, mapping and the figures,
// text, bitmaps and clips it writes into the document.
#include "document/import/gdi.h"

#include <cmath>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "document/edr/node.h"
#include "graphics/clippath.h"
#include "graphics/path.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t kAlternate = 202;
constexpr uint32_t kWinding = 201;
constexpr int32_t kMode = Edr_Insert_lastChild;

enum : uint32_t {
    kPropColor = 29,
    kPropDirection = 33,
    kPropDisplay = 34,
    kPropFontFamily = 37,
    kPropFontSize = 38,
    kPropFontStyle = 41,
    kPropFontWeight = 43,
    kPropHeight = 44,
    kPropPosition = 74,
    kPropTextAlign = 79,
    kPropTextDecoration = 80,
    kPropVerticalAlign = 86,
    kPropWidth = 90,
    kPropColour127 = 127,
    kPropInitial129 = 129,
    kPropMatrix = 134,
    kPropTop = 135,
    kPropClip = ClipPath_property,
    kKwItalic = 79,
    kKwUnderline = 151,
    kKwLtr = 95,
    kKwRtl = 118,
    kKwLeft = 86,
    kKwCenter = 45,
    kKwRight = 117,
    kKwTop = 147,
    kKwBaseline = 36,
    kKwBottom = 43,
    kKwBlock = 39,
    kKwInner = 175,
    kKwInitial = 204,
    kKwClipEnd = ClipPath_endValue,
    kImageFlags = 517,
};

// The state SaveDC keeps: the fields from pen to saved.
struct SavedFields {
    GdiObject *pen, *brush, *font;
    GdiObject stockPen, stockBrush;
    uint32_t textColour, polyFillMode, alignH, alignV, updateCP, rtlReading;
    Rect frame, target;
    uint32_t keepAspect, mapMode, mapFlags;
    Point windowOrg, windowExt, viewportOrg, viewportExt;
    Matrix world, dcMatrix;
    int32_t lineScale;
    uint32_t clipDepth;
    GdiSaved *saved;
};

void saveFields(const GdiDC *dc, SavedFields *s)
{
    *s = SavedFields{
        dc->pen,        dc->brush,        dc->font,      dc->stockPen,    dc->stockBrush,
        dc->textColour, dc->polyFillMode, dc->alignH,    dc->alignV,      dc->updateCP,
        dc->rtlReading, dc->frame,        dc->target,    dc->keepAspect,  dc->mapMode,
        dc->mapFlags,   dc->windowOrg,    dc->windowExt, dc->viewportOrg, dc->viewportExt,
        dc->world,      dc->dcMatrix,     dc->lineScale, dc->clipDepth,   dc->saved};
}

void restoreFields(GdiDC *dc, const SavedFields *s)
{
    dc->pen = s->pen;
    dc->brush = s->brush;
    dc->font = s->font;
    dc->stockPen = s->stockPen;
    dc->stockBrush = s->stockBrush;
    dc->textColour = s->textColour;
    dc->polyFillMode = s->polyFillMode;
    dc->alignH = s->alignH;
    dc->alignV = s->alignV;
    dc->updateCP = s->updateCP;
    dc->rtlReading = s->rtlReading;
    dc->frame = s->frame;
    dc->target = s->target;
    dc->keepAspect = s->keepAspect;
    dc->mapMode = s->mapMode;
    dc->mapFlags = s->mapFlags;
    dc->windowOrg = s->windowOrg;
    dc->windowExt = s->windowExt;
    dc->viewportOrg = s->viewportOrg;
    dc->viewportExt = s->viewportExt;
    dc->world = s->world;
    dc->dcMatrix = s->dcMatrix;
    dc->lineScale = s->lineScale;
    dc->clipDepth = s->clipDepth;
    dc->saved = s->saved;
}

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// -v * num / den, saturated: the product of a coordinate and an extent held
// scaled by 32 can pass the range of 64 bits, so it is formed in floating
// point and clamped before it is made an integer again.
int32_t gdiNegScale(int32_t v, int64_t num, int64_t den)
{
    double q = -double(v) * double(num) / double(den);
    return q >= double(INT32_MAX) ? INT32_MAX : q <= double(INT32_MIN) ? INT32_MIN : int32_t(q);
}

uint32_t engineColour(uint32_t ref)
{
    return (ref & 0x00FFFFFFu) | 0xFF000000u;
}

Point device(const GdiDC *dc, int32_t x, int32_t y)
{
    Point p{};
    Matrix_transformPoint(&p, x, y, &dc->dcMatrix);
    return p;
}

// Adjusts a pointer into the object table after a copy of the saved fields
// (the stock objects live in the context and move with it).
int emitData(GdiDC *dc, const Prop *value)
{
    return Edr_Node_createData(dc->doc, dc->group, kMode, nullptr, value);
}

int emitKeyword(GdiDC *dc, uint32_t id, uint32_t keyword)
{
    Prop v{};
    Prop_setType(&v, id, uint16_t(keyword));
    return emitData(dc, &v);
}

int emitColour(GdiDC *dc, uint32_t id, uint32_t colour)
{
    uint8_t c[4] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16),
                    uint8_t(colour >> 24)};
    Prop v{};
    Prop_setColour(&v, id, c);
    return emitData(dc, &v);
}

int emitLength(GdiDC *dc, uint32_t id, int32_t length)
{
    Prop v{};
    Prop_setLength(&v, id, length);
    return emitData(dc, &v);
}

int emitPosition(GdiDC *dc, int32_t x, int32_t y)
{
    Prop v{};
    Prop_set(&v, kPropPosition, PropType_pointer, uintptr_t(uint32_t(x)), uint32_t(y));
    return emitData(dc, &v);
}

int emitOrigin(GdiDC *dc)
{
    if (dc->positionEmitted)
        return Res_ok;
    int err = emitPosition(dc, 0, 0);
    if (!err)
        dc->positionEmitted = 1;
    return err;
}

// A data node pushing a clip of a copy of path.
int emitClip(GdiDC *dc, const Path *path)
{
    ClipPath *c = nullptr;
    int err = ClipPath_create(Path_clone(path), &c);
    if (err)
        return err;
    Prop v{};
    ClipPath_setValue(&v, c, 0);
    err = emitData(dc, &v);
    ClipPath_release(c);
    return err;
}

int appendCurrent(GdiDC *dc)
{
    if (!dc->currentPath)
        return Res_ok;
    int err = DrawStyle_appendPath(&dc->drawList, dc->currentPath, &dc->paint);
    Path_destroy(dc->currentPath);
    dc->currentPath = nullptr;
    return err;
}

int setPaint(GdiDC *dc, bool fillWanted)
{
    bool stroke = dc->pen && dc->pen->style != 5 && dc->pen->width > 0;
    bool fill = fillWanted && dc->brush && dc->brush->style != 1;
    if (!dc->inBracket) {
        int err = appendCurrent(dc);
        if (err)
            return err;
    }
    dc->paint.fillColour = fill ? dc->brush->colour | 0xFF000000u : 0;
    dc->paint.strokeColour = stroke ? dc->pen->colour | 0xFF000000u : 0;
    if (fill)
        dc->paint.fillRule = dc->polyFillMode == kAlternate ? 1 : 0;
    if (stroke)
        dc->paint.penWidth = dc->pen->width;
    return Res_ok;
}

int beginShape(GdiDC *dc, bool fill, bool fromCurrent)
{
    if (dc->inBracket)
        return Res_ok;
    int err = setPaint(dc, fill);
    if (err)
        return err;
    err = Path_create(&dc->currentPath, 0x10000);
    if (err)
        return err;
    if (fromCurrent)
        return Path_moveTo(dc->currentPath, dc->currentPos.x, dc->currentPos.y);
    return Res_ok;
}

bool hasPoint(const Path *path)
{
    Point p{};
    return Path_currentPoint(path, &p) != 0;
}

int ensurePath(GdiDC *dc)
{
    return dc->currentPath ? Res_ok : Path_create(&dc->currentPath, 0x10000);
}

int addPoints(GdiDC *dc, uint32_t n, const Point *pts, bool continueFigure)
{
    if (!n)
        return Res_ok;
    int err = ensurePath(dc);
    for (uint32_t i = 0; i < n && !err; i++) {
        Point p = device(dc, pts[i].x, pts[i].y);
        err = (i == 0 && !continueFigure) ? Path_moveTo(dc->currentPath, p.x, p.y)
                                          : Path_lineTo(dc->currentPath, p.x, p.y);
    }
    return err;
}

int rectPath(Path *path, Point a, Point b)
{
    int err = Path_moveTo(path, a.x, a.y);
    if (!err)
        err = Path_lineTo(path, a.x, b.y);
    if (!err)
        err = Path_lineTo(path, b.x, b.y);
    if (!err)
        err = Path_lineTo(path, b.x, a.y);
    if (!err)
        err = Path_close(path);
    return err;
}

GdiObject *slotAt(GdiDC *dc, int32_t index)
{
    return index >= 0 && index < dc->objectCount ? &dc->objects[index] : nullptr;
}

// The slot to create into: index -1 takes the first free one.
int createSlot(GdiDC *dc, int32_t index, GdiObject **out)
{
    *out = nullptr;
    if (index == -1) {
        index = Gdi_findFreeSlot(dc);
        if (index < 0)
            return Meta_errNoFreeSlot;
    }
    GdiObject *o = slotAt(dc, index);
    if (!o || o->kind != GdiObject_free)
        return Meta_errBadIndex;
    std::memset(o, 0, sizeof *o);
    *out = o;
    return Res_ok;
}

int32_t scaleByLine(const GdiDC *dc, int32_t v)
{
    return sat(int64_t(dc->lineScale) * v / 65536);
}

uint32_t charsetCode(GdiDC *dc, uint32_t charset)
{
    switch (charset) {
    case 1: {
        uint32_t code = 10;
        char16_t *name = Config_getUstrA(dc->app, dc->app ? dc->app->config : nullptr, u"Core",
                                         "DefaultCharacterSet", nullptr);
        if (name && Charset_fromName(name, &code) != Res_ok)
            code = 10;
        Mem_free(name);
        return code;
    }
    case 2: return 27;
    case 128: return 31;
    case 129: return 30;
    case 134: return 35;
    case 136: return 34;
    case 161: return 11;
    case 162: return 12;
    case 163: return 16;
    case 177: return 13;
    case 178: return 14;
    case 186: return 15;
    case 204: return 9;
    case 222: return 7;
    case 238: return 8;
    default: return 10;
    }
}

uint32_t ustrLength(const char16_t *s)
{
    uint32_t n = 0;
    while (s[n])
        n++;
    return n;
}

bool sameFamily(const char16_t *a, const char16_t *b)
{
    if (!a || !b)
        return a == b;
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

int applyFont(GdiDC *dc)
{
    int err = Gdi_flush(dc);
    if (err || !dc->font)
        return err;
    GdiObject *f = dc->font;
    if (dc->textColour != dc->lastTextColour) {
        err = emitColour(dc, kPropColor, dc->textColour);
        if (err)
            return err;
        dc->lastTextColour = dc->textColour;
    }
    if (!sameFamily(f->face, dc->lastFamily)) {
        uint32_t n = f->face ? ustrLength(f->face) : 0;
        char16_t *copy = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
        if (!copy)
            return Res_noMemory;
        if (n)
            std::memcpy(copy, f->face, n * sizeof(char16_t));
        copy[n] = 0;
        Prop v{};
        Prop_setUstr(&v, kPropFontFamily, copy, n);
        err = emitData(dc, &v);
        if (err) {
            Mem_free(copy);
            return err;
        }
        Mem_free(dc->lastFamily);
        dc->lastFamily = copy;
    }
    if (f->size != dc->lastSize) {
        if ((err = emitLength(dc, kPropFontSize, f->size)))
            return err;
        dc->lastSize = f->size;
    }
    if (f->weight != dc->lastWeight) {
        int32_t step = (f->weight - 50) / 100;
        step = step < 0 ? 0 : step > 8 ? 8 : step;
        if ((err = emitKeyword(dc, kPropFontWeight, uint32_t(22 + step))))
            return err;
        dc->lastWeight = f->weight;
    }
    if (f->italic != dc->lastItalic) {
        if ((err = emitKeyword(dc, kPropFontStyle, f->italic)))
            return err;
        dc->lastItalic = f->italic;
    }
    if (f->underline != dc->lastUnderline) {
        if ((err = emitKeyword(dc, kPropTextDecoration, f->underline)))
            return err;
        dc->lastUnderline = f->underline;
    }
    if (dc->alignH != dc->lastAlignH) {
        static const uint32_t kH[3] = {kKwLeft, kKwCenter, kKwRight};
        if ((err = emitKeyword(dc, kPropTextAlign, kH[dc->alignH % 3])))
            return err;
        dc->lastAlignH = dc->alignH;
    }
    if (dc->alignV != dc->lastAlignV) {
        static const uint32_t kV[3] = {kKwTop, kKwBaseline, kKwBottom};
        if ((err = emitKeyword(dc, kPropVerticalAlign, kV[dc->alignV % 3])))
            return err;
        dc->lastAlignV = dc->alignV;
    }
    if (dc->rtlReading != dc->lastDirection) {
        if ((err = emitKeyword(dc, kPropDirection, dc->rtlReading ? kKwRtl : kKwLtr)))
            return err;
        dc->lastDirection = dc->rtlReading;
    }
    return Res_ok;
}

void freeObject(GdiObject *o)
{
    if (o->kind == GdiObject_font)
        Mem_free(o->face);
    std::memset(o, 0, sizeof *o);
}

} // namespace

struct GdiSaved {
    SavedFields fields;
};

void Gdi_dcInit(EngineContext *app, GdiDC *dc, const uint8_t *data, uint32_t length, Edr_Doc *doc,
                Edr_Node *group, const Rect *target, const Rect *frame, uint32_t keepAspect,
                GdiStyleFn callback, void *context)
{
    std::memset(dc, 0, sizeof *dc);
    dc->data = dc->cursor = data;
    dc->length = length;
    dc->doc = doc;
    dc->group = group;
    dc->app = app;
    dc->styleCallback = callback;
    dc->styleContext = context;
    dc->target = *target;
    dc->frame = frame ? *frame : Rect{0, 0, 1000, 1000};
    dc->keepAspect = keepAspect;
    dc->textColour = 0xFF000000u;
    dc->polyFillMode = kAlternate;
    dc->mapMode = 1;
    dc->windowExt = Point{1, 1};
    dc->viewportExt = Point{1, 1};
    dc->world = *Matrix_identity();
    dc->dcMatrix = *Matrix_identity();
    dc->lineScale = 0x10000;
    dc->lastColour127 = 0xFF000000u;
    dc->lastTextColour = 0xFF000000u;
    dc->lastItalic = 86; // a value no font has, so the first font's is written
    dc->lastWeight = 999;
    dc->lastUnderline = 86;
    DrawStyle_init(&dc->drawList);
    dc->paint = DrawPaint_defaults;
}

int Meta_take(GdiDC *dc, uint32_t n, const uint8_t **out)
{
    *out = nullptr;
    if (uint64_t(dc->cursor - dc->data) + n > dc->length)
        return 1;
    *out = dc->cursor;
    dc->cursor += n;
    return Res_ok;
}

int Gdi_dcBegin(GdiDC *dc, int32_t objectCount)
{
    if (objectCount > 0) {
        dc->objects = static_cast<GdiObject *>(Mem_calloc(size_t(objectCount), sizeof(GdiObject)));
        if (!dc->objects)
            return Res_noMemory;
        dc->objectCount = objectCount;
    }
    int err = emitKeyword(dc, kPropVerticalAlign, kKwTop);
    if (!err)
        err = emitKeyword(dc, kPropTextAlign, kKwLeft);
    if (!err)
        err = emitKeyword(dc, kPropInitial129, kKwInitial);
    if (!err)
        err = emitColour(dc, kPropColor, 0xFF000000u);
    if (!err)
        err = emitColour(dc, kPropColour127, 0xFF000000u);
    if (err) {
        Mem_free(dc->objects);
        dc->objects = nullptr;
        dc->objectCount = 0;
    }
    return err;
}

void Gdi_dcEnd(GdiDC *dc)
{
    while (dc->saved)
        (void)Gdi_restoreDC(dc); // frees the level whatever it reports
    if (dc->currentPath != dc->bracketPath)
        Path_destroy(dc->currentPath);
    Path_destroy(dc->bracketPath);
    dc->currentPath = dc->bracketPath = nullptr;
    Mem_free(dc->lastFamily);
    dc->lastFamily = nullptr;
    for (int32_t i = 0; i < dc->objectCount; i++)
        freeObject(&dc->objects[i]);
    Mem_free(dc->objects);
    dc->objects = nullptr;
    dc->objectCount = 0;
    DrawStyle_free(&dc->drawList);
    if (dc->group)
        Edr_Node_release(dc->doc, dc->group);
    dc->group = nullptr;
}

int Gdi_findFreeSlot(GdiDC *dc)
{
    for (int32_t i = 0; i < dc->objectCount; i++)
        if (dc->objects[i].kind == GdiObject_free)
            return i;
    return -1;
}

int Gdi_createPen(GdiDC *dc, int32_t index, uint32_t style, int32_t width, uint32_t colour)
{
    GdiObject *o = nullptr;
    int err = createSlot(dc, index, &o);
    if (err)
        return err;
    o->kind = GdiObject_pen;
    o->style = style <= 6 ? style : 0;
    o->width = scaleByLine(dc, width ? width : 1);
    o->colour = engineColour(colour);
    return Res_ok;
}

int Gdi_createBrush(GdiDC *dc, int32_t index, uint32_t style, uint32_t colour, uint32_t hatch)
{
    if (style > 2)
        return Meta_errBadBrush;
    GdiObject *o = nullptr;
    int err = createSlot(dc, index, &o);
    if (err)
        return err;
    o->kind = GdiObject_brush;
    o->style = style;
    o->colour = engineColour(colour);
    o->hatch = hatch;
    return Res_ok;
}

int Gdi_createFont(GdiDC *dc, int32_t index, const char16_t *face, uint32_t faceLength,
                   int32_t height, int32_t weight, int italic, int underline, int, uint32_t charset,
                   int32_t escapement)
{
    static const char16_t kTimes[] = u"Times";
    if (!face || !faceLength) {
        face = kTimes;
        faceLength = 5;
    }
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((faceLength + 1) * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    std::memcpy(copy, face, faceLength * sizeof(char16_t));
    copy[faceLength] = 0;
    GdiObject *o = nullptr;
    int err = createSlot(dc, index, &o);
    if (err) {
        Mem_free(copy);
        return err;
    }
    o->kind = GdiObject_font;
    o->size = scaleByLine(dc, height);
    o->faceLength = faceLength;
    o->face = copy;
    o->weight = weight;
    o->italic = italic ? uint32_t(kKwItalic) : 0u;
    o->underline = underline ? uint32_t(kKwUnderline) : 0u;
    o->charset = charset;
    o->escapement = escapement;
    return Res_ok;
}

int Gdi_createRegion(GdiDC *dc, int32_t index)
{
    GdiObject *o = nullptr;
    int err = createSlot(dc, index, &o);
    if (!err)
        o->kind = GdiObject_region;
    return err;
}

int Gdi_createPlaceholder(GdiDC *dc, int32_t index)
{
    GdiObject *o = nullptr;
    int err = createSlot(dc, index, &o);
    if (!err)
        o->kind = GdiObject_placeholder;
    return err;
}

int Gdi_selectObject(GdiDC *dc, int32_t index)
{
    uint32_t stock = uint32_t(index) + 1u;
    if (stock & 0x80000000u) {
        static const uint32_t kBrushes[5] = {0xFFFFFF, 0xB9B9B9, 0xAFAFAF, 0xAAAAAA, 0x000000};
        uint32_t n = stock & 0xFFu;
        if (n <= 4) {
            dc->stockBrush = GdiObject{};
            dc->stockBrush.kind = GdiObject_brush;
            dc->stockBrush.colour = engineColour(kBrushes[n]);
            dc->brush = &dc->stockBrush;
        } else if (n == 5) {
            dc->brush = nullptr;
        } else if (n == 6 || n == 7) {
            dc->stockPen = GdiObject{};
            dc->stockPen.kind = GdiObject_pen;
            dc->stockPen.width = scaleByLine(dc, 1);
            dc->stockPen.colour = engineColour(n == 6 ? 0xFFFFFF : 0);
            dc->pen = &dc->stockPen;
        } else if (n == 8) {
            dc->pen = nullptr;
        }
        return Res_ok;
    }
    GdiObject *o = slotAt(dc, index);
    if (!o)
        return Res_ok;
    if (o->kind == GdiObject_pen)
        dc->pen = o;
    else if (o->kind == GdiObject_brush)
        dc->brush = o;
    else if (o->kind == GdiObject_font)
        dc->font = o;
    return Res_ok;
}

int Gdi_deleteObject(GdiDC *dc, int32_t index)
{
    GdiObject *o = slotAt(dc, index);
    if (!o)
        return Meta_errBadIndex;
    if (dc->pen == o)
        dc->pen = nullptr;
    if (dc->brush == o)
        dc->brush = nullptr;
    if (dc->font == o)
        dc->font = nullptr;
    // Saved states may still point at the slot: they lose it too.
    for (GdiSaved *s = dc->saved; s; s = s->fields.saved) {
        if (s->fields.pen == o)
            s->fields.pen = nullptr;
        if (s->fields.brush == o)
            s->fields.brush = nullptr;
        if (s->fields.font == o)
            s->fields.font = nullptr;
    }
    if (o->kind != GdiObject_free)
        freeObject(o);
    return Res_ok;
}

void Gdi_setTextColor(GdiDC *dc, uint32_t colour)
{
    dc->textColour = engineColour(colour);
}

int Gdi_setPolyFillMode(GdiDC *dc, uint32_t mode)
{
    if (mode == 1)
        dc->polyFillMode = kAlternate;
    else if (mode == 2)
        dc->polyFillMode = kWinding;
    else
        return Meta_errBadFillMode;
    return Res_ok;
}

void Gdi_setTextAlign(GdiDC *dc, uint32_t flags)
{
    uint32_t v = flags & 0x18u, h = flags & 0x06u;
    dc->alignV = v == 0 ? 0 : v == 8 ? 2 : 1;
    dc->alignH = h == 0 ? 0 : h == 2 ? 2 : 1;
    dc->updateCP = flags & 1u;
    if (dc->isEmf)
        dc->rtlReading = (flags >> 8) & 1u;
}

// ------------------------------------------------------------ transform

namespace {

// a * b / 65536 without overflow on the way, kept within +-2^62 so that a
// few sums of such terms stay within 64 bits (hostile extents and origins
// make scales of 2^47 and origins of 2^31).
int64_t gdiMulFixed(int64_t a, int64_t b)
{
    constexpr __int128 limit = __int128(1) << 62;
    __int128 v = __int128(a) * b / 65536;
    return int64_t(v > limit ? limit : v < -limit ? -limit : v);
}

} // namespace

void Gdi_updateTransform(GdiDC *dc)
{
    int64_t sx = dc->windowExt.x ? int64_t(dc->viewportExt.x) * 65536 / dc->windowExt.x : 0;
    int64_t sy = dc->windowExt.y ? int64_t(dc->viewportExt.y) * 65536 / dc->windowExt.y : 0;
    if (dc->mapMode == 1)
        sx = sy = 0x10000;
    else if (dc->mapMode == 7)
        sx = sy = sx < sy ? sx : sy;
    Matrix p{sat(sx),
             0,
             0,
             sat(sy),
             sat(-gdiMulFixed(sx, dc->windowOrg.x)),
             sat(-gdiMulFixed(sy, dc->windowOrg.y))};
    int64_t tw = int64_t(dc->target.x1) - dc->target.x0,
            th = int64_t(dc->target.y1) - dc->target.y0;
    int64_t fw = int64_t(dc->frame.x1) - dc->frame.x0, fh = int64_t(dc->frame.y1) - dc->frame.y0;
    int64_t kx = fw ? tw * 65536 / fw : 0, ky = fh ? th * 65536 / fh : 0;
    int64_t ox = dc->target.x0, oy = dc->target.y0;
    if (dc->keepAspect) {
        bool differ = kx < 1 ? ky > 0 : ky < 0;
        if ((kx < 0 ? -kx : kx) <= (ky < 0 ? -ky : ky)) {
            ky = differ ? -kx : kx;
            oy += (th - gdiMulFixed(ky, fh)) / 2;
        } else {
            kx = differ ? -ky : ky;
            ox += (tw - gdiMulFixed(kx, fw)) / 2;
        }
    }
    Matrix t{sat(kx),
             0,
             0,
             sat(-ky),
             sat(ox - gdiMulFixed(kx, dc->frame.x0)),
             sat(gdiMulFixed(ky, dc->frame.y0) - oy)};
    Matrix m = dc->world;
    Matrix_concat(&m, &p);
    Matrix_concat(&m, &t);
    dc->dcMatrix = m;
    int32_t a = m.a < 0 ? -m.a : m.a, d = m.d < 0 ? -m.d : m.d;
    dc->lineScale = a < d ? a : d;
}

void Gdi_setMapMode(GdiDC *dc, int32_t mode)
{
    dc->mapMode = uint32_t(mode);
    // Only an EMF honours the window extent: a WMF's sizes the frame.
    dc->mapFlags = (mode == 7 || mode == 8) ? (dc->isEmf ? 0xDu : 0xCu) : 0;
}

void Gdi_setWindowOrg(GdiDC *dc, int32_t x, int32_t y)
{
    dc->windowOrg = Point{x, y};
    Gdi_updateTransform(dc);
}

void Gdi_setWindowExt(GdiDC *dc, int32_t x, int32_t y)
{
    if (dc->mapFlags & 1u) {
        dc->windowExt = Point{x, y};
    } else {
        dc->frame.x1 = sat(int64_t(dc->frame.x0) + x);
        dc->frame.y1 = sat(int64_t(dc->frame.y0) + y);
    }
    Gdi_updateTransform(dc);
}

void Gdi_setViewportOrg(GdiDC *dc, int32_t x, int32_t y)
{
    if (!(dc->mapFlags & 4u))
        return;
    // The viewport origin in window units: minus the origin through the
    // window-to-viewport ratio, the extents held scaled by 32.
    int64_t vx = int64_t(dc->viewportExt.x) * 32, vy = int64_t(dc->viewportExt.y) * 32;
    int64_t wx = int64_t(dc->windowExt.x) * 32, wy = int64_t(dc->windowExt.y) * 32;
    dc->windowOrg.x = vx ? gdiNegScale(x, wx, vx) : 0;
    dc->windowOrg.y = vy ? gdiNegScale(y, wy, vy) : 0;
    Gdi_updateTransform(dc);
}

void Gdi_setViewportExt(GdiDC *dc, int32_t x, int32_t y)
{
    if (!(dc->mapFlags & 8u))
        return;
    dc->viewportExt = Point{x, y};
    Gdi_updateTransform(dc);
}

void Gdi_scaleViewportExt(GdiDC *dc, int32_t xNum, int32_t xDen, int32_t yNum, int32_t yDen)
{
    if (xDen)
        dc->viewportExt.x = sat(int64_t(dc->viewportExt.x) * xNum / xDen);
    if (yDen)
        dc->viewportExt.y = sat(int64_t(dc->viewportExt.y) * yNum / yDen);
    Gdi_updateTransform(dc);
}

int32_t Gdi_floatToFixed(uint32_t bits, uint32_t f)
{
    uint32_t exponent = (bits >> 23) & 0xFFu;
    uint32_t mantissa = bits & 0x7FFFFFu;
    if (!exponent && !mantissa)
        return 0;
    if (exponent == 0xFF)
        return 0;
    // value = m x 2^(e - 150) with the implicit bit, or m x 2^-149 for
    // denormals.
    int64_t m = exponent ? int64_t(mantissa | 0x800000u) : int64_t(mantissa);
    int32_t shift = (exponent ? int32_t(exponent) - 150 : -149) + int32_t(f);
    int64_t v;
    if (shift >= 0) {
        if (shift > 31)
            return 0;
        v = m << shift;
    } else {
        v = -shift >= 63 ? 0 : m >> -shift;
    }
    if (v >= (int64_t(1) << 31))
        return 0;
    return (bits & 0x80000000u) ? -int32_t(v) : int32_t(v);
}

namespace {

Matrix worldFrom(const uint32_t floats[6])
{
    return Matrix{Gdi_floatToFixed(floats[0], 16), Gdi_floatToFixed(floats[1], 16),
                  Gdi_floatToFixed(floats[2], 16), Gdi_floatToFixed(floats[3], 16),
                  Gdi_floatToFixed(floats[4], 0),  Gdi_floatToFixed(floats[5], 0)};
}

} // namespace

void Gdi_setWorldTransform(GdiDC *dc, const uint32_t floats[6])
{
    dc->world = worldFrom(floats);
    Gdi_updateTransform(dc);
}

void Gdi_modifyWorldTransform(GdiDC *dc, uint32_t mode, const uint32_t floats[6])
{
    Matrix x = worldFrom(floats);
    if (mode == 1)
        dc->world = *Matrix_identity();
    else if (mode == 2)
        Matrix_multiply(&dc->world, &x, &dc->world);
    else if (mode == 3)
        Matrix_multiply(&dc->world, &dc->world, &x);
    else
        return;
    Gdi_updateTransform(dc);
}

// -------------------------------------------------------------- figures

int Gdi_moveTo(GdiDC *dc, int32_t x, int32_t y)
{
    dc->currentPos = device(dc, x, y);
    int err = setPaint(dc, false);
    if (!err && dc->inBracket && dc->bracketPath)
        err = Path_moveTo(dc->bracketPath, dc->currentPos.x, dc->currentPos.y);
    return err;
}

int Gdi_lineTo(GdiDC *dc, int32_t x, int32_t y)
{
    int err = beginShape(dc, false, true);
    if (!err)
        err = ensurePath(dc);
    Point p = device(dc, x, y);
    if (!err && !hasPoint(dc->currentPath))
        err = Path_moveTo(dc->currentPath, dc->currentPos.x, dc->currentPos.y);
    if (!err)
        err = Path_lineTo(dc->currentPath, p.x, p.y);
    dc->currentPos = p;
    return err;
}

int Gdi_bezierTo(GdiDC *dc, const Point pts[3])
{
    int err = beginShape(dc, false, true);
    if (!err)
        err = ensurePath(dc);
    Point p[3] = {device(dc, pts[0].x, pts[0].y), device(dc, pts[1].x, pts[1].y),
                  device(dc, pts[2].x, pts[2].y)};
    if (!err && !hasPoint(dc->currentPath))
        err = Path_moveTo(dc->currentPath, dc->currentPos.x, dc->currentPos.y);
    if (!err)
        err = Path_curveTo(dc->currentPath, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
    dc->currentPos = p[2];
    return err;
}

int Gdi_rectangle(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b)
{
    int err = beginShape(dc, true, false);
    if (!err)
        err = ensurePath(dc);
    Point a = device(dc, l, t), c = device(dc, r, b);
    dc->currentPos = a;
    return err ? err : rectPath(dc->currentPath, a, c);
}

namespace {

Rect ordered(Point a, Point b)
{
    return Rect{a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.x < b.x ? b.x : a.x,
                a.y < b.y ? b.y : a.y};
}

} // namespace

int Gdi_ellipse(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b)
{
    int err = beginShape(dc, true, false);
    if (!err)
        err = ensurePath(dc);
    Point a = device(dc, l, t), c = device(dc, r, b);
    dc->currentPos = a;
    Rect box = ordered(a, c);
    if (err || int64_t(box.x1) - box.x0 < 3 || int64_t(box.y1) - box.y0 < 3)
        return err;
    err = Path_addArc(dc->currentPath, &box, a.x, a.y, a.x, a.y);
    return err ? err : Path_close(dc->currentPath);
}

int Gdi_pie(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b, int32_t x1, int32_t y1,
            int32_t x2, int32_t y2)
{
    int32_t cx = int32_t((int64_t(l) + r) / 2), cy = int32_t((int64_t(t) + b) / 2);
    if (l == r || t == b || (x1 == cx && y1 == cy) || (x2 == cx && y2 == cy))
        return Res_ok;
    int err = beginShape(dc, true, false);
    if (!err)
        err = ensurePath(dc);
    if (err)
        return err;
    Point a = device(dc, l, t), c = device(dc, r, b), s = device(dc, x1, y1),
          e = device(dc, x2, y2);
    err = Path_moveTo(dc->currentPath, int32_t((int64_t(a.x) + c.x) / 2),
                      int32_t((int64_t(a.y) + c.y) / 2));
    Rect box = ordered(a, c);
    if (!err)
        err = Path_addArc(dc->currentPath, &box, s.x, s.y, e.x, e.y);
    return err ? err : Path_close(dc->currentPath);
}

int Gdi_polyline(GdiDC *dc, uint32_t n, const Point *points, int continueFigure)
{
    int err = beginShape(dc, false, false);
    if (!err && continueFigure && n) {
        err = ensurePath(dc);
        if (!err && !hasPoint(dc->currentPath))
            err = Path_moveTo(dc->currentPath, dc->currentPos.x, dc->currentPos.y);
    }
    return err ? err : addPoints(dc, n, points, continueFigure != 0);
}

int Gdi_polygon(GdiDC *dc, uint32_t n, const Point *points)
{
    if (n < 2)
        return Res_ok;
    int err = beginShape(dc, true, false);
    if (err)
        return err;
    if (n > 2 && points[n - 1].x == points[0].x && points[n - 1].y == points[0].y)
        n--;
    err = addPoints(dc, n, points, false);
    return err ? err : Path_close(dc->currentPath);
}

int Gdi_polyPolygon(GdiDC *dc, uint32_t k, const uint32_t *counts, const Point *points)
{
    int err = beginShape(dc, true, false);
    for (uint32_t i = 0; i < k && !err; i++) {
        uint32_t c = counts[i], used = c;
        const Point *p = points;
        points += c;
        if (c > 2 && p[c - 1].x == p[0].x && p[c - 1].y == p[0].y) {
            used = c - 1;
            if (used < 3)
                continue;
        }
        if (used < 3)
            continue;
        err = addPoints(dc, used, p, false);
        if (!err)
            err = Path_close(dc->currentPath);
    }
    return err;
}

int Gdi_patBlt(GdiDC *dc, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop)
{
    if (rop != 0x000042 && rop != 0xFF0062 && rop != 0xF00021)
        return Res_ok;
    GdiObject *pen = dc->pen, *brush = dc->brush;
    GdiObject temp{};
    temp.kind = GdiObject_brush;
    if (rop == 0x000042)
        temp.colour = 0xFF000000u;
    else if (rop == 0xFF0062)
        temp.colour = 0xFFFFFFFFu;
    else if (brush) {
        temp.style = brush->style;
        temp.colour = brush->colour;
        temp.hatch = brush->hatch;
    } else {
        temp.colour = 0xFF000000u;
    }
    dc->brush = &temp;
    dc->pen = nullptr;
    int err = setPaint(dc, true);
    if (!err && !dc->inBracket)
        err = ensurePath(dc);
    if (!err && dc->currentPath)
        err = rectPath(dc->currentPath, device(dc, x, y),
                       device(dc, sat(int64_t(x) + w), sat(int64_t(y) + h)));
    // The figure is written with the temporary paint before the brush goes.
    if (!err && !dc->inBracket)
        err = appendCurrent(dc);
    dc->pen = pen;
    dc->brush = brush;
    return err;
}

// --------------------------------------------------------- path brackets

int Gdi_beginPath(GdiDC *dc)
{
    if (dc->bracketPath) {
        Path_reset(dc->bracketPath);
    } else {
        int err = Path_create(&dc->bracketPath, 0x10000);
        if (err)
            return err;
    }
    int err = Gdi_flush(dc);
    if (err)
        return err;
    dc->inBracket = 1;
    dc->currentPath = dc->bracketPath;
    return Res_ok;
}

void Gdi_endPath(GdiDC *dc)
{
    if (!dc->inBracket)
        return;
    dc->inBracket = 0;
    dc->currentPath = nullptr;
    Path_trim(dc->bracketPath);
}

int Gdi_closeFigure(GdiDC *dc)
{
    return dc->inBracket && dc->bracketPath ? Path_close(dc->bracketPath) : Res_ok;
}

namespace {

int useBracket(GdiDC *dc)
{
    if (dc->inBracket)
        return Res_ok;
    dc->currentPath = Path_clone(dc->bracketPath);
    return dc->currentPath ? Res_ok : Res_noMemory;
}

} // namespace

int Gdi_fillPath(GdiDC *dc)
{
    if (!dc->bracketPath)
        return Res_ok;
    GdiObject *pen = dc->pen;
    dc->pen = nullptr;
    int err = setPaint(dc, true);
    dc->pen = pen;
    return err ? err : useBracket(dc);
}

int Gdi_strokeAndFillPath(GdiDC *dc)
{
    if (!dc->bracketPath)
        return Res_ok;
    int err = setPaint(dc, true);
    return err ? err : useBracket(dc);
}

int Gdi_strokePath(GdiDC *dc)
{
    if (!dc->bracketPath)
        return Res_ok;
    int err = Gdi_flush(dc);
    if (!err)
        err = setPaint(dc, false);
    return err ? err : useBracket(dc);
}

int Gdi_selectClipPath(GdiDC *dc)
{
    if (!dc->bracketPath)
        return Res_ok;
    int err = Gdi_flush(dc);
    if (!err)
        err = emitOrigin(dc);
    if (!err)
        err = emitClip(dc, dc->bracketPath);
    if (!err)
        dc->clipDepth++;
    return err;
}

int Gdi_intersectClipRect(GdiDC *dc, int32_t l, int32_t t, int32_t r, int32_t b)
{
    Point a = device(dc, l, t), c = device(dc, r, b);
    int err = Gdi_flush(dc);
    if (!err)
        err = emitOrigin(dc);
    if (err)
        return err;
    Path *path = nullptr;
    err = Path_create(&path, 0x10000);
    if (err)
        return err;
    err = rectPath(path, a, c);
    if (!err)
        err = emitClip(dc, path);
    Path_destroy(path);
    if (!err)
        dc->clipDepth++;
    return err;
}

int Gdi_saveDC(GdiDC *dc)
{
    GdiSaved *s = static_cast<GdiSaved *>(Mem_malloc(sizeof(GdiSaved)));
    if (!s)
        return Res_noMemory;
    saveFields(dc, &s->fields);
    dc->clipDepth = 0;
    dc->saved = s;
    return Res_ok;
}

int Gdi_restoreDC(GdiDC *dc)
{
    GdiSaved *s = dc->saved;
    if (!s)
        return Meta_errNoSavedState;
    int err = Res_ok;
    if (dc->clipDepth) {
        err = Gdi_flush(dc);
        for (uint32_t i = 0; i < dc->clipDepth && !err; i++)
            err = emitKeyword(dc, kPropClip, kKwClipEnd);
    }
    restoreFields(dc, &s->fields);
    Mem_free(s);
    return err;
}

// ------------------------------------------------------------------ text

int Gdi_textOutW(GdiDC *dc, int32_t x, int32_t y, const char16_t *s)
{
    Point p = device(dc, x, y);
    if (!s || !*s)
        return Res_ok;
    if (dc->font && dc->font->kind != GdiObject_font)
        return Res_ok;
    bool visibleChar = false;
    for (const char16_t *c = s; *c && !visibleChar; c++)
        visibleChar = !(*c == 32 || (*c >= 9 && *c <= 13));
    if (!visibleChar)
        return Res_ok;
    int err = applyFont(dc);
    if (!err)
        err = emitPosition(dc, p.x, sat(-int64_t(p.y)));
    if (err)
        return err;
    dc->positionEmitted = 0;
    uint32_t n = ustrLength(s);
    int32_t e = dc->font ? dc->font->escapement : 0;
    if (!e)
        return Edr_Node_createText(dc->doc, dc->group, kMode, nullptr, s, n);
    double a = -double(e) * 0.0017453292519888888;
    int32_t c = int32_t(std::cos(a) * 65536.0), sn = int32_t(std::sin(a) * 65536.0);
    Edr_Node *g = nullptr;
    err = Edr_Node_createGroup(dc->doc, dc->group, kMode, 0, &g);
    if (err)
        return err;
    Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (!m) {
        Edr_Node_release(dc->doc, g);
        return Res_noMemory;
    }
    *m = Matrix{c, -sn, sn, c, 0, 0};
    Prop v{};
    Prop_setMatrix(&v, kPropMatrix, m);
    err = Edr_Node_createData(dc->doc, g, kMode, nullptr, &v);
    Mem_free(m);
    if (!err) {
        static const uint32_t kV[3] = {kKwTop, kKwBaseline, kKwBottom};
        Prop k{};
        Prop_setType(&k, kPropVerticalAlign, uint16_t(kV[dc->alignV % 3]));
        err = Edr_Node_createData(dc->doc, g, kMode, nullptr, &k);
    }
    if (!err)
        err = Edr_Node_createText(dc->doc, g, kMode, nullptr, s, n);
    Edr_Node_release(dc->doc, g);
    return err;
}

int Gdi_textOutA(GdiDC *dc, int32_t x, int32_t y, const uint8_t *bytes, uint32_t n)
{
    if (!n)
        return Res_ok;
    uint32_t code =
        charsetCode(dc, dc->font && dc->font->kind == GdiObject_font ? dc->font->charset : 10);
    char16_t *s = nullptr;
    int err = Charset_toUstrN(dc->app, bytes, n, &s, code);
    if (err == Res_charsetUnknown)
        err = Charset_toUstrN(dc->app, bytes, n, &s, 10);
    if (err)
        return err;
    err = Gdi_textOutW(dc, x, y, s);
    Mem_free(s);
    return err;
}

// --------------------------------------------------------------- bitmaps

namespace {

uint32_t u16at(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t u32at(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// The pixel bytes the info header describes, or false for a header this
// player does not read.
bool imageSize(const uint8_t *bitmap, uint32_t length, uint64_t *size)
{
    if (length < 4)
        return false;
    uint32_t header = u32at(bitmap);
    int64_t width, height;
    uint32_t bits;
    if (header == 12 && length >= 12) {
        width = u16at(bitmap + 4);
        height = u16at(bitmap + 6);
        bits = u16at(bitmap + 10);
        *size = ((uint64_t(bits) * uint64_t(width) + 7) / 8 + 3) / 4 * 4 * uint64_t(height);
        return true;
    }
    if ((header == 40 || header == 108) && length >= 24) {
        width = int32_t(u32at(bitmap + 4));
        height = int32_t(u32at(bitmap + 8));
        bits = u16at(bitmap + 14);
        uint32_t compression = u32at(bitmap + 16);
        *size = u32at(bitmap + 20);
        if (compression == 0) {
            // A top-down bitmap has a negative height: its rows count the
            // same.
            uint64_t w = uint64_t(width < 0 ? -width : width),
                     h = uint64_t(height < 0 ? -height : height);
            *size = ((uint64_t(bits) * w + 7) / 8 + 3) / 4 * 4 * h;
        }
        return true;
    }
    return false;
}

int registerRule(GdiDC *dc, Edr_Node *group, const Prop *props, uint32_t n)
{
    if (!dc->styleCallback)
        return Res_ok;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    for (uint32_t i = 0; i < n && !err; i++)
        err = StyleRule_appendProp(rule, &props[i]);
    uint32_t id = 0;
    if (!err)
        err = dc->styleCallback(dc->styleContext, rule, &id);
    if (!err)
        err = Edr_Node_addId(dc->doc, group, id);
    StyleRule_destroy(rule);
    return err;
}

} // namespace

int Gdi_buildBmp(const uint8_t *bitmap, uint32_t length, uint32_t offset, uint8_t **out,
                 uint32_t *outLength)
{
    *out = nullptr;
    *outLength = 0;
    if (!length || !bitmap)
        return Res_ok;
    uint64_t size = 0;
    if (!imageSize(bitmap, length, &size))
        return Res_ok;
    uint64_t dataOffset = 14 + (offset ? uint64_t(offset) : (size <= length ? length - size : 0));
    if (uint64_t(length) + 14 > 0x7FFFFFFFu || dataOffset > 0xFFFFFFFFu)
        return Res_noMemory;
    uint8_t *bmp = static_cast<uint8_t *>(Mem_malloc(size_t(length) + 14));
    if (!bmp)
        return Res_noMemory;
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(bmp + 2, length + 14);
    put32(bmp + 6, 0);
    put32(bmp + 10, uint32_t(dataOffset));
    std::memcpy(bmp + 14, bitmap, length);
    *out = bmp;
    *outLength = length + 14;
    return Res_ok;
}

int Gdi_stretchDib(GdiDC *dc, int32_t x, int32_t y, int32_t w, int32_t h, int32_t, int32_t,
                   uint32_t offset, const uint8_t *bitmap, uint32_t length, uint32_t)
{
    Point a = device(dc, x, y), c = device(dc, sat(int64_t(x) + w), sat(int64_t(y) + h));
    int32_t x0 = a.x < c.x ? a.x : c.x, x1 = a.x < c.x ? c.x : a.x;
    int32_t y0 = a.y > c.y ? a.y : c.y, y1 = a.y > c.y ? c.y : a.y;
    uint8_t *bmp = nullptr;
    uint32_t bmpLength = 0;
    int err = Gdi_buildBmp(bitmap, length, offset, &bmp, &bmpLength);
    if (err || !bmp)
        return err;
    err = Gdi_flush(dc);
    if (!err)
        err = emitPosition(dc, x0, sat(-int64_t(y0)));
    if (err) {
        Mem_free(bmp);
        return err;
    }
    dc->positionEmitted = 0;
    Edr_Node *outer = nullptr, *inner = nullptr;
    err = Edr_Node_createGroup(dc->doc, dc->group, kMode, 0, &outer);
    if (!err)
        err = Edr_Node_createGroup(dc->doc, outer, kMode, 0, &inner);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    if (!err)
        err = Vfs_openMemory(dc->app, bmp, bmpLength, 1, Vfs_modeRead | Vfs_modeSeekable, &stream,
                             &accepted);
    else
        Mem_free(bmp);
    if (!err) {
        // A bitmap that cannot become a picture (no image store, a codec
        // that refuses it) leaves its box empty; only running out of
        // memory ends the play.
        err = Edr_Node_createImageStream(dc->doc, inner, kMode, nullptr, stream, w, h, kImageFlags);
        if (err && err != Res_noMemory)
            err = Res_ok;
    }
    int32_t width = sat(int64_t(x1) - x0), height = sat(int64_t(y0) - y1);
    if (!err) {
        Prop p[3]{};
        Prop_setType(&p[0], kPropDisplay, uint16_t(kKwInner));
        Prop_setLength(&p[1], kPropWidth, width);
        Prop_setLength(&p[2], kPropHeight, height);
        err = registerRule(dc, inner, p, 3);
    }
    if (!err) {
        Prop p[3]{};
        Prop_setType(&p[0], kPropDisplay, uint16_t(kKwBlock));
        Prop_setLength(&p[1], kPropWidth, width);
        Prop_setType(&p[2], kPropTop, uint16_t(kKwTop));
        err = registerRule(dc, outer, p, 3);
    }
    if (inner)
        Edr_Node_release(dc->doc, inner);
    if (outer)
        Edr_Node_release(dc->doc, outer);
    return err;
}

int Gdi_flush(GdiDC *dc)
{
    if (dc->inBracket)
        return Res_ok;
    int err = appendCurrent(dc);
    if (err || !dc->drawList.used)
        return err;
    err = emitOrigin(dc);
    if (!err)
        err = Edr_Node_createDrawList(dc->doc, dc->group, kMode, nullptr, dc->drawList.words,
                                      dc->drawList.used);
    DrawStyle_free(&dc->drawList);
    DrawStyle_init(&dc->drawList);
    return err;
}
