// The content-stream interpreter with its graphics state, paths, clips and
// page output.
//
// Operands collect on a stack of 100 slots; each operator is looked up by
// its keyword index in one table that gives its handler, the object states
// (1 page level, 2 path, 3 clip pending, 4 text, 5 inline image) that
// accept it and the state it leads to. A misplaced operator is skipped and
// the state returns to page level. Painted paths collect in a drawing list
// that is flushed into the page group before clips, before the end of a
// clip level, when it grows past 32768 words and at the end of the page,
// so that the group's children replay the painting order.
#include "pdf/interp.h"

#include <cmath>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/proprecords.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/clippath.h"
#include "graphics/drawlist.h"
#include "graphics/image.h"
#include "graphics/path.h"
#include "pdf/colour.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/md5.h"
#include "pdf/page.h"
#include "pdf/resources/pdfimage.h"
#include "pdf/xobject.h"

namespace
{

enum : uint32_t {
    kPropPageStart1 = 137,
    kPropPageStart2 = 138,
    kPropTransform = 134,
    kPropPosition = 74,
    kPropShape = ClipPath_property,
    kClipEnd = ClipPath_endValue,
    kDrawListLimit = 32768,
    kInsertLast = 2,
    kYieldEvery = 32,
};

enum : uint32_t {
    kKindScale = 0x20,
    kKindUnit = 0x10,
    kKindSkew = 8,
    kKindTranslate = 2,
};

} // namespace

// Drawing lists already in the document, by the MD5 digest of their words:
// a repeated drawing (a logo on every page) is stored once and shared.
struct PdfDrawListEntry {
    uint8_t digest[16];
    Edr_Node *node; // a reference of the table's
};

struct PdfDrawListTable {
    uint32_t count;
    uint32_t capacity;
    PdfDrawListEntry *entries;
};

struct PdfGState {
    float m[6];
    uint32_t kind;
    float cx, cy;
    PdfColourSpace fill;
    PdfColourSpace stroke;
    float lineWidth;
    int32_t lineCap;
    int32_t lineJoin;
    float miterLimit;
    float flatness;
    float charSpacing, wordSpacing, hScale, leading;
    void *font;
    float fontSize;
    int32_t renderMode;
    float rise;
    uint32_t clipCount;
    PdfGState *previous;
};

struct PdfInterp {
    PdfObj *operands[PdfInterp_operandSlots];
    uint32_t operandCount;
    PdfGState *gs;
    PdfGState initial;
    DrawStyle drawList;
    DrawPaint paint;
    float originX, originY;
    uint32_t originValid;
    uint32_t transformSet;
    Matrix transform;         // the last transform emitted, while transformSet
    Path *path;
    float startX, startY;
    uint32_t clipMode;        // 0 none, 2 nonzero, 1 even-odd
    PdfLexer *lexer;
    Edr_Node *page;
    Edr_Doc *edrDoc;
    uint32_t depth;           // nested content runs
    uint8_t rowOf[PdfLex_keywordCount]; // keyword index -> operator row + 1 (0: none)
};

namespace
{

typedef int (*OpFn)(PdfDoc *doc, PdfInterp *in);

struct OpRow {
    const char *keyword;
    OpFn handler;
    uint8_t mask;
    uint8_t next;
};

constexpr uint8_t S1 = 1 << 1, S2 = 1 << 2, S3 = 1 << 3, S4 = 1 << 4, S5 = 1 << 5, ANY = 0xFF;

// ------------------------------------------------------------ operands

void clearOperands(PdfDoc *doc, PdfInterp *in)
{
    while (in->operandCount)
        Pdf_Obj_release(doc, in->operands[--in->operandCount]);
}

int expectOperands(PdfDoc *doc, PdfInterp *in, uint32_t n)
{
    uint32_t had = in->operandCount;
    clearOperands(doc, in);
    return had == n ? Res_ok : had < n ? Res_pdfOperandsEmpty : Res_pdfOperandsLeft;
}

int popObject(PdfInterp *in, PdfObj **out)
{
    *out = nullptr;
    if (!in->operandCount)
        return Res_pdfOperandsEmpty;
    *out = in->operands[--in->operandCount];
    return Res_ok;
}

int popNumber(PdfDoc *doc, PdfInterp *in, float *out)
{
    *out = 0;
    PdfObj *o = nullptr;
    int err = popObject(in, &o);
    if (err)
        return err;
    if (o->type == PdfObj_int)
        *out = float(o->value.i);
    else if (o->type == PdfObj_real)
        *out = o->value.f;
    else
        err = Res_pdfNotNumber;
    Pdf_Obj_release(doc, o);
    return err;
}

int popNumbers(PdfDoc *doc, PdfInterp *in, float *v, int n)
{
    for (int i = n - 1; i >= 0; i--) {
        int err = popNumber(doc, in, &v[i]);
        if (err)
            return err;
    }
    return Res_ok;
}

int popInt(PdfDoc *doc, PdfInterp *in, int32_t *out)
{
    *out = 0;
    PdfObj *o = nullptr;
    int err = popObject(in, &o);
    if (err)
        return err;
    err = Pdf_Obj_getInt(doc, o, out);
    Pdf_Obj_release(doc, o);
    return err;
}

// ------------------------------------------------------------- matrices

uint32_t classify(const float *m)
{
    const double eps = 1.1920928955078125e-07;
    double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5];
    uint32_t kind = 0;
    if (std::fabs(a) > eps || std::fabs(d) > eps)
        kind |= (std::fabs(a - 1) < eps && std::fabs(d - 1) < eps) ? kKindUnit : kKindScale;
    if (std::fabs(b) > eps || std::fabs(c) > eps)
        kind |= kKindSkew;
    if (std::fabs(e) > eps || std::fabs(f) > eps)
        kind |= kKindTranslate;
    return kind;
}

void transformPoint(const PdfGState *gs, float *x, float *y)
{
    const float *m = gs->m;
    float px = *x, py = *y;
    float ox = 0, oy = 0;
    if (gs->kind & kKindTranslate) {
        ox = m[4];
        oy = m[5];
    }
    if (gs->kind & kKindScale) {
        ox += m[0] * px;
        oy += m[3] * py;
    } else if (gs->kind & kKindUnit) {
        ox += px;
        oy += py;
    }
    if (gs->kind & kKindSkew) {
        ox += m[2] * py;
        oy += m[1] * px;
    }
    *x = ox;
    *y = oy;
}

int32_t toDevice(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483520.0f)
        return INT32_MAX;
    if (v <= -2147483520.0f)
        return INT32_MIN;
    return int32_t(v);
}

void devicePoint(const PdfGState *gs, float x, float y, int32_t *dx, int32_t *dy)
{
    transformPoint(gs, &x, &y);
    *dx = toDevice(x);
    *dy = toDevice(y);
}

void concat(PdfGState *gs, const float *M)
{
    float *C = gs->m;
    float r[6] = {M[0] * C[0] + M[1] * C[2],        M[0] * C[1] + M[1] * C[3],
                  M[2] * C[0] + M[3] * C[2],        M[2] * C[1] + M[3] * C[3],
                  M[4] * C[0] + M[5] * C[2] + C[4], M[4] * C[1] + M[5] * C[3] + C[5]};
    std::memcpy(C, r, sizeof r);
    gs->kind = classify(C);
}

// --------------------------------------------------------------- output

// Without a document model (the reader used on its own) output is dropped.
int emit(PdfInterp *in, const Prop *v)
{
    if (!in->edrDoc)
        return Res_ok;
    return Edr_Node_createData(in->edrDoc, in->page, kInsertLast, nullptr, v);
}

int emitBare(PdfInterp *in, uint32_t id, uint16_t value)
{
    Prop v{};
    Prop_setType(&v, id, value);
    return emit(in, &v);
}

int clearTransform(PdfInterp *in)
{
    if (!in->transformSet)
        return Res_ok;
    in->transformSet = 0;
    return emitBare(in, kPropTransform, 0);
}

// Emits m as the transform of what follows unless it is the one in force.
int setTransform(PdfInterp *in, const Matrix &m)
{
    if (in->transformSet && std::memcmp(&in->transform, &m, sizeof m) == 0)
        return Res_ok;
    Matrix *copy = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (!copy)
        return Res_noMemory;
    *copy = m;
    in->transformSet = 1;
    in->transform = m;
    Prop v{};
    Prop_setMatrix(&v, kPropTransform, copy);
    int err = emit(in, &v);
    Prop_free(&v);
    return err;
}

int setOrigin(PdfInterp *in, float x, float y)
{
    if (in->originValid && in->originX == x && in->originY == y)
        return Res_ok;
    in->originValid = 1;
    in->originX = x;
    in->originY = y;
    Prop v{};
    Prop_set(&v, kPropPosition, PropType_pointer, uintptr_t(uint32_t(toDevice(x))), uint32_t(toDevice(y)));
    return emit(in, &v);
}

// Appends the pending list as a drawing-list node, sharing the words of an
// equal list appended before while the document's table lives.
int appendDrawList(PdfDoc *doc, PdfInterp *in)
{
    const int32_t *words = in->drawList.words;
    uint32_t count = in->drawList.used;
    uint8_t digest[16];
    Md5_digest(digest, words, size_t(count) * sizeof(int32_t));
    PdfDrawListTable *t = doc->drawLists;
    for (uint32_t i = 0; t && i < t->count; i++)
        if (std::memcmp(t->entries[i].digest, digest, 16) == 0 &&
            Edr_Node_compareDrawList(in->edrDoc, words, count, t->entries[i].node) == 0)
            return Edr_Node_shareDrawList(in->edrDoc, in->page, kInsertLast, nullptr, t->entries[i].node);
    if (!t) {
        t = static_cast<PdfDrawListTable *>(Mem_calloc(1, sizeof(PdfDrawListTable)));
        if (!t)
            return Res_noMemory;
        doc->drawLists = t;
    }
    if (t->count == t->capacity) {
        uint32_t capacity = t->capacity ? t->capacity * 2 : 16;
        PdfDrawListEntry *grown =
            static_cast<PdfDrawListEntry *>(Mem_realloc(t->entries, capacity * sizeof(PdfDrawListEntry)));
        if (!grown)
            return Res_noMemory;
        t->entries = grown;
        t->capacity = capacity;
    }
    Edr_Node *node = nullptr;
    int err = Edr_Node_createDrawList(in->edrDoc, in->page, kInsertLast, &node, words, count);
    if (err)
        return err;
    PdfDrawListEntry &e = t->entries[t->count++];
    std::memcpy(e.digest, digest, 16);
    e.node = node;
    return Res_ok;
}

int flushDrawList(PdfDoc *doc, PdfInterp *in)
{
    if (!in->drawList.used)
        return Res_ok;
    int err = clearTransform(in);
    if (!err)
        err = setOrigin(in, 0, 0);
    if (!err && in->edrDoc)
        err = appendDrawList(doc, in);
    DrawStyle_free(&in->drawList);
    DrawStyle_init(&in->drawList);
    return err;
}

// Emits path (taken over) as a clip with the pending rule.
int applyClip(PdfDoc *doc, PdfInterp *in, Path *path)
{
    uint32_t mode = in->clipMode;
    in->clipMode = 0;
    if (!path)
        return Res_pdfSyntax;
    int err = flushDrawList(doc, in);
    if (!err)
        err = clearTransform(in);
    if (!err)
        err = setOrigin(in, 0, 0);
    if (err) {
        Path_destroy(path);
        return err;
    }
    ClipPath *c = nullptr;
    err = ClipPath_create(path, &c);
    if (err)
        return err;
    Prop v{};
    ClipPath_setValue(&v, c, mode == 1);
    err = emit(in, &v);
    ClipPath_release(c);
    if (!err)
        in->gs->clipCount++;
    return err;
}

int popClips(PdfDoc *doc, PdfInterp *in)
{
    int err = flushDrawList(doc, in);
    while (!err && in->gs->clipCount) {
        err = emitBare(in, kPropShape, kClipEnd);
        if (!err)
            in->gs->clipCount--;
    }
    return err;
}

uint32_t packColour(const PdfColourSpace *cs)
{
    uint8_t b[4];
    Pdf_Cs_toRgba(cs, b);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

enum : int {
    kRuleNonzero = 201,
    kRuleEvenOdd = 202,
};

// Paints the current path; applies a pending clip afterwards.
int paintPath(PdfDoc *doc, PdfInterp *in, int stroke, int fill, int rule)
{
    int err = Res_ok;
    if (in->drawList.used > kDrawListLimit && (err = flushDrawList(doc, in)) != Res_ok)
        return err;
    PdfGState *gs = in->gs;
    Path *clip = nullptr;
    if (in->clipMode) {
        clip = Path_clone(in->path);
        if (!clip) {
            in->clipMode = 0;
            Path_reset(in->path);
            return Res_pdfSyntax;
        }
    }
    if (!stroke && !fill) {
        Path_reset(in->path);
    } else {
        DrawPaint &p = in->paint;
        p.fillColour = fill ? packColour(&gs->fill) : 0;
        p.strokeColour = stroke ? packColour(&gs->stroke) : 0;
        p.fillRule = rule == kRuleEvenOdd ? 1 : 0;
        uint32_t flags = gs->lineWidth == 0.0f ? 1u : 0u;
        double wa = double(gs->m[0]) * gs->lineWidth, wb = double(gs->m[1]) * gs->lineWidth;
        if (wa == 0)
            wa = 1.0;
        if (wb == 0)
            wb = 1.0;
        double w = std::fabs(wa) > std::fabs(wb) ? std::fabs(wa) : std::fabs(wb);
        double width = w + 0.5;
        p.penWidth = width >= 2147483647.0 ? INT32_MAX : int32_t(width);
        if (gs->lineJoin == 1)
            flags |= 1u << 1;
        else if (gs->lineJoin == 2)
            flags |= 2u << 1;
        double miter = w * gs->miterLimit;
        p.penParam5 = miter >= 2147483647.0 ? INT32_MAX : miter <= 0 ? 0 : int32_t(miter);
        if (gs->lineCap == 1)
            flags |= (1u << 3) | (1u << 5);
        else if (gs->lineCap == 2)
            flags |= (2u << 3) | (2u << 5);
        p.penFlags = flags;
        p.penParam6 = 1;
        p.penParam7 = 1;
        p.penParam8 = 0;
        err = DrawStyle_appendPath(&in->drawList, in->path, &p);
        Path_reset(in->path);
        if (err) {
            Path_destroy(clip);
            in->clipMode = 0;
            return err;
        }
    }
    if (clip)
        err = applyClip(doc, in, clip);
    return err;
}

// ------------------------------------------------------- graphics state

int saveState(PdfInterp *in)
{
    PdfGState *s = static_cast<PdfGState *>(Mem_malloc(sizeof(PdfGState)));
    if (!s)
        return Res_noMemory;
    *s = *in->gs;
    s->clipCount = 0;
    s->previous = in->gs;
    in->gs = s;
    return Res_ok;
}

int restoreState(PdfDoc *doc, PdfInterp *in)
{
    PdfGState *s = in->gs;
    if (!s->previous)
        return Res_pdfNoSavedState;
    int err = popClips(doc, in);
    in->gs = s->previous;
    Mem_free(s);
    return err;
}

// ---------------------------------------------------------------- images

// Appends image (taken over) as an image node under a transform that maps
// its width x height pixels onto the unit square of the current matrix.
int drawImage(PdfDoc *doc, PdfInterp *in, ImageHandle *image, int32_t width, int32_t height)
{
    int err = flushDrawList(doc, in);
    if (!err && (width <= 0 || height <= 0))
        err = Res_pdfSyntax;
    if (!err) {
        const float *m = in->gs->m;
        auto word = [](double v) {
            return v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : int32_t(v);
        };
        Matrix t{word(double(m[0]) * 72 / width), word(double(m[1]) * 72 / width),
                 word(double(m[2]) * 72 / height), word(double(m[3]) * 72 / height), word(m[4]), word(m[5])};
        err = setTransform(in, t);
    }
    if (!err)
        err = setOrigin(in, 0, 0);
    if (err || !in->edrDoc) {
        ImageHandle_release(image);
        return err;
    }
    return Edr_Node_createImageFrom(in->edrDoc, in->page, kInsertLast, nullptr, image);
}

// The inline image's key/value operands as a dictionary (null when there
// are none). 0, 5971 for a key that is not a name, 1.
int inlineDict(PdfDoc *doc, PdfInterp *in, PdfObj **out)
{
    *out = nullptr;
    if (in->operandCount % 2) {
        clearOperands(doc, in);
        return Res_pdfSyntax;
    }
    PdfObj *dict = nullptr;
    int err = Pdf_Dict_new(&dict);
    uint32_t n = in->operandCount;
    in->operandCount = 0;
    for (uint32_t i = 0; i < n; i += 2) {
        if (err) {
            Pdf_Obj_release(doc, in->operands[i]);
            Pdf_Obj_release(doc, in->operands[i + 1]);
            continue;
        }
        err = Pdf_Dict_add(doc, dict, in->operands[i], in->operands[i + 1]);
        if (err == Res_pdfSyntax) {
            Pdf_Obj_release(doc, in->operands[i]);
            Pdf_Obj_release(doc, in->operands[i + 1]);
        }
    }
    if (err) {
        Pdf_Obj_release(doc, dict);
        return err;
    }
    *out = dict;
    return Res_ok;
}

// ------------------------------------------------------------- handlers

int opNone(PdfDoc *, PdfInterp *)
{
    return Res_ok;
}

// Operators whose work belongs to later parts of the reader (text, fonts,
// images, XObjects, marked content, shadings): their operands are taken.
int opDiscard(PdfDoc *doc, PdfInterp *in)
{
    clearOperands(doc, in);
    return Res_ok;
}

int opDiscard1(PdfDoc *doc, PdfInterp *in)
{
    return expectOperands(doc, in, 1);
}

int opDiscard2(PdfDoc *doc, PdfInterp *in)
{
    return expectOperands(doc, in, 2);
}

int opDiscard6(PdfDoc *doc, PdfInterp *in)
{
    return expectOperands(doc, in, 6);
}

int opQ(PdfDoc *doc, PdfInterp *in)
{
    return restoreState(doc, in);
}

int opq(PdfDoc *, PdfInterp *in)
{
    return saveState(in);
}

int opcm(PdfDoc *doc, PdfInterp *in)
{
    float m[6];
    int err = popNumbers(doc, in, m, 6);
    if (!err)
        concat(in->gs, m);
    return err;
}

int opw(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->lineWidth);
}

int opM(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->miterLimit);
}

int opi(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->flatness);
}

int setCap(PdfGState *gs, int32_t v)
{
    gs->lineCap = v < 3 ? v : 0;
    return v < 3 ? Res_ok : Res_pdfBadLineCap;
}

int setJoin(PdfGState *gs, int32_t v)
{
    gs->lineJoin = v < 3 ? v : 0;
    return v < 3 ? Res_ok : Res_pdfBadLineJoin;
}

int opJ(PdfDoc *doc, PdfInterp *in)
{
    int32_t v = 0;
    int err = popInt(doc, in, &v);
    return err ? err : setCap(in->gs, v);
}

int opj(PdfDoc *doc, PdfInterp *in)
{
    int32_t v = 0;
    int err = popInt(doc, in, &v);
    return err ? err : setJoin(in->gs, v);
}

int opgs(PdfDoc *doc, PdfInterp *in)
{
    PdfObj *nameObj = nullptr;
    int err = popObject(in, &nameObj);
    if (err)
        return err;
    const char *name = nullptr;
    PdfObj *dict = nullptr;
    err = Pdf_Obj_getName(doc, nameObj, &name);
    if (!err)
        err = Pdf_Res_lookup(doc, "ExtGState", name, &dict);
    PdfObj *v = nullptr;
    PdfGState *gs = in->gs;
    // "Font": [font size]. The size is kept here; choosing the font program
    // from the dictionary is the text code's work.
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "Font", dict, &v)) && v) {
        PdfObj *font = nullptr, *size = nullptr;
        float points = 0;
        err = Pdf_Obj_arrayGet(doc, 0, v, &font);
        if (!err)
            err = Pdf_Obj_arrayGet(doc, 1, v, &size);
        if (!err && (!font || font->type != PdfObj_dict))
            err = Res_pdfSyntax;
        if (!err)
            err = Pdf_Obj_getNumber(doc, size, &points);
        if (!err)
            gs->fontSize = points;
    }
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "LW", dict, &v)) && v)
        err = Pdf_Obj_getNumber(doc, v, &gs->lineWidth);
    int32_t i = 0;
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "LC", dict, &v)) && v &&
        !(err = Pdf_Obj_getInt(doc, v, &i)))
        err = setCap(gs, i);
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "LJ", dict, &v)) && v &&
        !(err = Pdf_Obj_getInt(doc, v, &i)))
        err = setJoin(gs, i);
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "ML", dict, &v)) && v)
        err = Pdf_Obj_getNumber(doc, v, &gs->miterLimit);
    Pdf_Obj_release(doc, nameObj);
    return err;
}

int setColourSpace(PdfDoc *doc, PdfInterp *in, PdfColourSpace *cs)
{
    PdfObj *o = nullptr;
    int err = popObject(in, &o);
    if (err)
        return err;
    err = Pdf_Cs_parse(doc, o, cs);
    Pdf_Obj_release(doc, o);
    return err;
}

int setColour(PdfDoc *doc, PdfInterp *in, PdfColourSpace *cs)
{
    int err = Pdf_Cs_setColourFromOperands(doc, cs, in->operands, in->operandCount);
    clearOperands(doc, in);
    return err;
}

int setDeviceColour(PdfDoc *doc, PdfInterp *in, PdfColourSpace *cs, const char *name)
{
    int err = Pdf_Cs_fromName(doc, name, cs);
    if (err) {
        clearOperands(doc, in);
        return err;
    }
    return setColour(doc, in, cs);
}

int opCS(PdfDoc *doc, PdfInterp *in) { return setColourSpace(doc, in, &in->gs->stroke); }
int opcs(PdfDoc *doc, PdfInterp *in) { return setColourSpace(doc, in, &in->gs->fill); }
int opSC(PdfDoc *doc, PdfInterp *in) { return setColour(doc, in, &in->gs->stroke); }
int opsc(PdfDoc *doc, PdfInterp *in) { return setColour(doc, in, &in->gs->fill); }
int opG(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->stroke, "DeviceGray"); }
int opg(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->fill, "DeviceGray"); }
int opRG(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->stroke, "DeviceRGB"); }
int oprg(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->fill, "DeviceRGB"); }
int opK(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->stroke, "DeviceCMYK"); }
int opk(PdfDoc *doc, PdfInterp *in) { return setDeviceColour(doc, in, &in->gs->fill, "DeviceCMYK"); }

// Path construction: points go into the path in device units.
int opm(PdfDoc *doc, PdfInterp *in)
{
    float v[2];
    int err = popNumbers(doc, in, v, 2);
    if (err)
        return err;
    PdfGState *gs = in->gs;
    gs->cx = in->startX = v[0];
    gs->cy = in->startY = v[1];
    int32_t x, y;
    devicePoint(gs, v[0], v[1], &x, &y);
    return Path_moveTo(in->path, x, y);
}

int opl(PdfDoc *doc, PdfInterp *in)
{
    float v[2];
    int err = popNumbers(doc, in, v, 2);
    if (err)
        return err;
    PdfGState *gs = in->gs;
    gs->cx = v[0];
    gs->cy = v[1];
    int32_t x, y;
    devicePoint(gs, v[0], v[1], &x, &y);
    return Path_lineTo(in->path, x, y);
}

int curve(PdfInterp *in, const float *p)
{
    PdfGState *gs = in->gs;
    int32_t d[6];
    for (int i = 0; i < 3; i++)
        devicePoint(gs, p[2 * i], p[2 * i + 1], &d[2 * i], &d[2 * i + 1]);
    gs->cx = p[4];
    gs->cy = p[5];
    return Path_curveTo(in->path, d[0], d[1], d[2], d[3], d[4], d[5]);
}

int opc(PdfDoc *doc, PdfInterp *in)
{
    float v[6];
    int err = popNumbers(doc, in, v, 6);
    return err ? err : curve(in, v);
}

int opv(PdfDoc *doc, PdfInterp *in)
{
    float v[4];
    int err = popNumbers(doc, in, v, 4);
    if (err)
        return err;
    const float p[6] = {in->gs->cx, in->gs->cy, v[0], v[1], v[2], v[3]};
    return curve(in, p);
}

int opy(PdfDoc *doc, PdfInterp *in)
{
    float v[4];
    int err = popNumbers(doc, in, v, 4);
    if (err)
        return err;
    const float p[6] = {v[0], v[1], v[2], v[3], v[2], v[3]};
    return curve(in, p);
}

int closeSubpath(PdfDoc *doc, PdfInterp *in)
{
    in->gs->cx = in->startX;
    in->gs->cy = in->startY;
    int err = Path_close(in->path);
    if (err)
        Pdf_Doc_deferError(doc, err);
    return Res_ok;
}

int oph(PdfDoc *doc, PdfInterp *in)
{
    return closeSubpath(doc, in);
}

int opre(PdfDoc *doc, PdfInterp *in)
{
    float v[4];
    int err = popNumbers(doc, in, v, 4);
    if (err)
        return err;
    PdfGState *gs = in->gs;
    gs->cx = v[0];
    gs->cy = v[1];
    int32_t x0, y0, x1, y1;
    devicePoint(gs, v[0], v[1], &x0, &y0);
    if (gs->kind & kKindSkew) {
        // Under rotation or skew the rectangle is the four transformed
        // corners, so that it turns with the content.
        int32_t x2, y2, x3, y3;
        devicePoint(gs, v[0] + v[2], v[1], &x1, &y1);
        devicePoint(gs, v[0] + v[2], v[1] + v[3], &x2, &y2);
        devicePoint(gs, v[0], v[1] + v[3], &x3, &y3);
        err = Path_moveTo(in->path, x0, y0);
        if (!err)
            err = Path_lineTo(in->path, x1, y1);
        if (!err)
            err = Path_lineTo(in->path, x2, y2);
        if (!err)
            err = Path_lineTo(in->path, x3, y3);
        if (!err)
            err = Path_close(in->path);
    } else {
        devicePoint(gs, v[0] + v[2], v[1] + v[3], &x1, &y1);
        const Rect r{x0, y0, x1, y1};
        err = Path_addRect(in->path, &r);
    }
    if (!err)
        err = Path_moveTo(in->path, x0, y0);
    return err;
}

int opS(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 1, 0, kRuleNonzero); }
int ops(PdfDoc *doc, PdfInterp *in)
{
    (void)closeSubpath(doc, in);
    return opS(doc, in);
}
int opf(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 0, 1, kRuleNonzero); }
int opfStar(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 0, 1, kRuleEvenOdd); }
int opB(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 1, 1, kRuleNonzero); }
int opBStar(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 1, 1, kRuleEvenOdd); }
int opb(PdfDoc *doc, PdfInterp *in)
{
    (void)closeSubpath(doc, in);
    return opB(doc, in);
}
int opbStar(PdfDoc *doc, PdfInterp *in)
{
    (void)closeSubpath(doc, in);
    return opBStar(doc, in);
}
int opn(PdfDoc *doc, PdfInterp *in) { return paintPath(doc, in, 0, 0, kRuleNonzero); }

int opW(PdfDoc *, PdfInterp *in)
{
    in->clipMode = 2;
    return Res_ok;
}

int opWStar(PdfDoc *, PdfInterp *in)
{
    in->clipMode = 1;
    return Res_ok;
}

int opd(PdfDoc *doc, PdfInterp *in)
{
    return expectOperands(doc, in, 2);
}

// Steps over inline image data up to the "EI" that ends it.
int skipInline(PdfInterp *in)
{
    PdfLexer *lx = in->lexer;
    int prev2 = ' ', prev1 = -1;
    for (;;) {
        uint8_t c = 0;
        size_t n = 1;
        int err = Pdf_Lex_readRaw(lx, &n, &c);
        if (err || n)
            return Res_ok;
        if ((prev2 == ' ' || prev2 == '\n' || prev2 == '\r' || prev2 == '\t') && prev1 == 'E' && c == 'I') {
            uint8_t after = 0;
            size_t m = 1;
            if (Pdf_Lex_readRaw(lx, &m, &after) != Res_ok || m)
                return Res_ok;
            if (after == ' ' || after == '\n' || after == '\r' || after == '\t')
                return Res_ok;
            prev2 = c;
            prev1 = after;
            continue;
        }
        prev2 = prev1;
        prev1 = c;
    }
}

// "ID": the inline image's key/value pairs become its dictionary and its
// data, read through the lexer, an image drawn at the current matrix. With
// images disabled the data are only stepped over.
int opID(PdfDoc *doc, PdfInterp *in)
{
    // Without a document model (the reader used on its own) nothing is
    // drawn, so nothing is decoded either.
    if (!doc->imagesEnabled || !in->edrDoc) {
        clearOperands(doc, in);
        return skipInline(in);
    }
    PdfObj *dict = nullptr;
    int err = inlineDict(doc, in, &dict);
    if (err) {
        (void)skipInline(in);
        return err;
    }
    ImageHandle *image = nullptr;
    int32_t w = 0, h = 0;
    err = Pdf_Img_load(doc, dict, in->lexer, Pdf_Interp_fillRgb(in), &image, &w, &h);
    Pdf_Obj_release(doc, dict);
    // A failed image is left out (its data were read) and the page goes on.
    if (err && err != Res_stopRequested && err != Res_noMemory) {
        Pdf_Doc_deferError(doc, err);
        return Res_ok;
    }
    if (err)
        return err;
    return drawImage(doc, in, image, w, h);
}

int opDo(PdfDoc *doc, PdfInterp *in)
{
    PdfObj *nameObj = nullptr;
    int err = popObject(in, &nameObj);
    if (err)
        return err;
    const char *name = nullptr;
    err = Pdf_Obj_getName(doc, nameObj, &name);
    if (!err)
        err = Pdf_XObj_do(doc, in, name);
    Pdf_Obj_release(doc, nameObj);
    return err;
}

// One row per operator; keywords not listed (the calculator words) are
// never accepted.
const OpRow kOps[] = {
    {"b", opb, S2 | S3, 1},        {"B", opB, S2 | S3, 1},          {"b*", opbStar, S2 | S3, 1},
    {"B*", opBStar, S2 | S3, 1},   {"BDC", opDiscard2, S1 | S4, 0}, {"BI", opNone, S1, 5},
    {"BMC", opDiscard1, S1 | S4, 0}, {"BT", opNone, S1, 4},         {"BX", opNone, ANY, 0},
    {"c", opc, S2 | S3, 0},        {"cm", opcm, S1, 0},             {"CS", opCS, S1 | S2 | S4, 0},
    {"cs", opcs, S1 | S2 | S4, 0}, {"d", opd, S1 | S4, 0},          {"d0", opDiscard2, S1, 0},
    {"d1", opDiscard6, S1, 0},     {"Do", opDo, S1, 0},             {"DP", opDiscard2, S1 | S4, 0},
    {"EMC", opNone, S1 | S4, 0},   {"ET", opNone, S4, 1},           {"EX", opNone, ANY, 0},
    {"f", opf, S2 | S3, 1},        {"F", opf, S2 | S3, 1},          {"f*", opfStar, S2 | S3, 1},
    {"G", opG, S1 | S2 | S4, 0},   {"g", opg, S1 | S2 | S4, 0},     {"gs", opgs, S1 | S4, 0},
    {"h", oph, S2 | S3, 0},        {"i", opi, S1 | S4, 0},          {"ID", opID, S5, 1},
    {"j", opj, S1 | S4, 0},        {"J", opJ, S1 | S4, 0},          {"K", opK, S1 | S2 | S4, 0},
    {"k", opk, S1 | S2 | S4, 0},   {"l", opl, S2 | S3, 0},          {"m", opm, S1 | S2 | S3, 2},
    {"M", opM, S1 | S4, 0},        {"MP", opDiscard1, S1 | S4, 0},  {"n", opn, S1 | S2 | S3, 1},
    {"q", opq, S1 | S2, 0},        {"Q", opQ, S1 | S2 | S3, 0},     {"re", opre, S1 | S2 | S3, 2},
    {"RG", opRG, S1 | S2 | S4, 0}, {"rg", oprg, S1 | S2 | S4, 0},   {"ri", opDiscard1, S1 | S4, 0},
    {"s", ops, S2 | S3, 1},        {"S", opS, S2 | S3, 1},          {"SC", opSC, S1 | S2 | S4, 0},
    {"sc", opsc, S1 | S2 | S4, 0}, {"SCN", opSC, S1 | S2 | S4, 0},  {"scn", opsc, S1 | S4, 0},
    {"sh", opDiscard1, S1, 0},     {"T*", opNone, S4, 0},           {"Tc", opDiscard1, S1 | S4, 0},
    {"Td", opDiscard2, S4, 0},     {"TD", opDiscard2, S4, 0},       {"Tf", opDiscard2, S1 | S4, 0},
    {"Tj", opDiscard1, S4, 0},     {"TJ", opDiscard1, S4, 0},       {"TL", opDiscard1, S1 | S4, 0},
    {"Tm", opDiscard6, S4, 0},     {"Tr", opDiscard1, S1 | S4, 0},  {"Ts", opDiscard1, S1 | S4, 0},
    {"Tw", opDiscard1, S1 | S4, 0}, {"Tz", opDiscard1, S1 | S4, 0}, {"v", opv, S2 | S3, 0},
    {"w", opw, S1 | S2 | S4, 0},   {"W", opW, S1 | S2, 3},          {"W*", opWStar, S1 | S2, 3},
    {"y", opy, S2 | S3, 0},        {"'", opDiscard1, S4, 0},        {"\"", opDiscard, S4, 0},
};

int dispatch(PdfDoc *doc, PdfInterp *in, int32_t index, uint32_t *state)
{
    uint8_t row = index >= 0 && index < int32_t(PdfLex_keywordCount) ? in->rowOf[index] : 0;
    const OpRow *op = row ? &kOps[row - 1] : nullptr;
    if (!op || !(op->mask & (1u << *state))) {
        clearOperands(doc, in);
        *state = 1;
        return Res_ok;
    }
    int err = op->handler(doc, in);
    if (op->next)
        *state = op->next;
    if (in->operandCount) {
        if (err)
            Pdf_Doc_deferError(doc, err);
        clearOperands(doc, in);
        err = Res_pdfOperandsLeft;
    }
    return err;
}

int run(PdfDoc *doc, PdfInterp *in)
{
    uint32_t state = 1;
    uint32_t counter = 0;
    for (;;) {
        PdfObj *obj = nullptr;
        int err = Pdf_Obj_parse(doc, in->lexer, &obj);
        if (err)
            return err;
        if (!obj)
            return Res_ok;
        if (obj->type != PdfObj_keyword) {
            if (in->operandCount >= PdfInterp_operandSlots) {
                Pdf_Obj_release(doc, obj);
                return Res_pdfOperandsFull;
            }
            in->operands[in->operandCount++] = obj;
            continue;
        }
        err = dispatch(doc, in, obj->value.i, &state);
        Pdf_Obj_release(doc, obj);
        if (counter++ % kYieldEvery == 0) {
            Task_yield(doc->context);
            if (err == Res_ok && in->edrDoc && Edr_Doc_getStopFlag(in->edrDoc))
                err = Res_stopRequested;
        }
        if (err)
            return err;
    }
}

} // namespace

int Pdf_Interp_create(PdfDoc *doc, Edr_Node *page, PdfInterp **out)
{
    *out = nullptr;
    PdfInterp *in = static_cast<PdfInterp *>(Mem_calloc(1, sizeof(PdfInterp)));
    if (!in)
        return Res_noMemory;
    if (Path_create(&in->path, 0x10000) != Res_ok) {
        Mem_free(in);
        return Res_noMemory;
    }
    for (uint32_t r = 0; r < sizeof kOps / sizeof kOps[0]; r++) {
        int32_t k = Pdf_Lex_keywordIndex(kOps[r].keyword, std::strlen(kOps[r].keyword));
        if (k >= 0)
            in->rowOf[k] = uint8_t(r + 1);
    }
    PdfGState &g = in->initial;
    if (doc->pageAttrs)
        Pdf_Page_matrix(doc->pageAttrs, g.m);
    else
        g.m[0] = g.m[3] = 1;
    g.kind = classify(g.m);
    g.lineWidth = 1.0f;
    g.miterLimit = 10.0f;
    g.flatness = 1.0f;
    g.hScale = 1.0f;
    in->gs = &in->initial;
    DrawStyle_init(&in->drawList);
    in->paint = DrawPaint{0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0x10000, 0xA0000, 1, 1, 0};
    in->page = page;
    in->edrDoc = doc->edrDoc;
    int err = Res_ok;
    if (in->edrDoc) {
        err = emitBare(in, kPropPageStart1, 69);
        if (!err)
            err = emitBare(in, kPropPageStart2, 195);
    }
    if (err) {
        Path_destroy(in->path);
        Mem_free(in);
        return err;
    }
    *out = in;
    return Res_ok;
}

int Pdf_Interp_destroy(PdfDoc *doc, PdfInterp *in)
{
    if (!in)
        return Res_ok;
    int err = flushDrawList(doc, in);
    if (err)
        Pdf_Doc_deferError(doc, err);
    DrawStyle_free(&in->drawList);
    Path_destroy(in->path);
    while (in->gs != &in->initial) {
        PdfGState *s = in->gs;
        in->gs = s->previous;
        Mem_free(s);
    }
    clearOperands(doc, in);
    Mem_free(in);
    return Res_ok;
}

int Pdf_Interp_runContent(PdfDoc *doc, PdfInterp *in, PdfLexer *lexer, const float *matrix, const float *bbox,
                          PdfObj *resources)
{
    if (in->depth >= PdfInterp_maxNesting)
        return Res_pdfNestingDepth;
    PdfLexer *savedLexer = in->lexer;
    in->lexer = lexer;
    in->depth++;
    int err = Res_ok;
    PdfGState *level = nullptr;
    if (matrix || bbox) {
        err = saveState(in);
        if (!err)
            level = in->gs;
    }
    if (!err && matrix)
        concat(in->gs, matrix);
    if (!err && bbox) {
        uint32_t savedMode = in->clipMode;
        Path *savedPath = in->path;
        Path *box = nullptr;
        err = Path_create(&box, 0x10000);
        if (!err) {
            int32_t x0, y0, x1, y1;
            devicePoint(in->gs, bbox[0], bbox[1], &x0, &y0);
            devicePoint(in->gs, bbox[2], bbox[3], &x1, &y1);
            const Rect r{x0, y0, x1, y1};
            err = Path_addRect(box, &r);
            if (err)
                Path_destroy(box);
        }
        if (!err) {
            in->clipMode = 1;
            err = applyClip(doc, in, box);
        }
        in->clipMode = savedMode;
        in->path = savedPath;
    }
    if (!err) {
        int pushed = resources != nullptr;
        err = Pdf_Res_push(doc, resources);
        int ran = run(doc, in);
        if (!err)
            err = ran;
        if (pushed && doc->pageAttrs && doc->pageAttrs->resources &&
            doc->pageAttrs->resources->resources == resources)
            Pdf_Res_pop(doc);
    }
    if (level) {
        // Levels the run left open are closed with it.
        while (in->gs != level && in->gs->previous) {
            int e = restoreState(doc, in);
            if (!err)
                err = e;
        }
        int e = restoreState(doc, in);
        if (!err)
            err = e;
    }
    in->depth--;
    in->lexer = savedLexer;
    return err;
}

int Pdf_Out_flush(PdfDoc *doc, PdfInterp *in)
{
    return flushDrawList(doc, in);
}

uint32_t Pdf_Interp_fillRgb(const PdfInterp *in)
{
    return Pdf_Cs_toRgb(&in->gs->fill);
}

int Pdf_Out_drawImage(PdfDoc *doc, PdfInterp *in, ImageHandle *image, int32_t width, int32_t height)
{
    return drawImage(doc, in, image, width, height);
}

void Pdf_DrawListTable_clear(PdfDoc *doc)
{
    PdfDrawListTable *t = doc->drawLists;
    if (!t)
        return;
    // The table's reference holds a share of the node's list as well.
    for (uint32_t i = 0; i < t->count; i++) {
        (void)Edr_Node_adjustDrawListShares(doc->edrDoc, t->entries[i].node, -1);
        Edr_Node_release(doc->edrDoc, t->entries[i].node);
    }
    Mem_free(t->entries);
    Mem_free(t);
    doc->drawLists = nullptr;
}
