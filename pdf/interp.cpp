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
#include "core/text/charset.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/clippath.h"
#include "graphics/drawlist.h"
#include "fonts/glyphrun.h"
#include "graphics/image.h"
#include "graphics/path.h"
#include "pdf/colour.h"
#include "pdf/document.h"
#include "pdf/font.h"
#include "pdf/lexer.h"
#include "pdf/md5.h"
#include "pdf/page.h"
#include "pdf/resources/pdfstream.h"
#include "pdf/resources/pdfimage.h"
#include "pdf/xobject.h"

namespace {

enum : uint32_t {
    kPropPageStart1 = 137,
    kPropPageStart2 = 138,
    kPropTransform = 134,
    kPropPosition = 74,
    kPropShape = ClipPath_property,
    kPropColour = 29,
    kPropFontSize = 38,
    kPropFontFamily = 37,
    kPropFontWeight = 43,
    kPropFontVariant = 42,
    kPropFontStyle = 41,
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

// The text matrices, their caches and the text output of a page.
struct PdfTextState {
    float tm[6];  // text matrix a b c d e f
    float tlm[6]; // text line matrix
    float r[4];   // rendering matrix cache: the linear part of Tm x CTM, R0 and R1 scaled by Th
    float ox, oy; // the rise offset (and the CTM's translation)
    uint32_t renderValid;
    uint32_t plainScale;
    float advA, advB; // text-advance cache
    uint32_t advanceValid;
    uint32_t fontFlag; // the adjustment factor below is computed for this text object
    float adjustFactor;
    GlyphRunWriter run;
    uint32_t runNonEmpty;
    // The last emitted text properties of the page.
    uint32_t colourValid;
    uint32_t colour;
    uint32_t sizeValid;
    int32_t size;
    PdfFontSel *font;
    uint32_t fontNameValid;
    char *fontName;
    uint32_t weight, variant, style;
    int32_t transform[6];
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
    PdfFontSel *font; // shared with the level below until Tf changes it
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
    Matrix transform; // the last transform emitted, while transformSet
    Path *path;
    float startX, startY;
    uint32_t clipMode; // 0 none, 2 nonzero, 1 even-odd
    PdfLexer *lexer;
    Edr_Node *page;
    Edr_Doc *edrDoc;
    uint32_t depth;                     // nested content runs
    uint8_t rowOf[PdfLex_keywordCount]; // keyword index -> operator row + 1 (0: none)
    PdfTextState text;
};

namespace {

typedef int (*OpFn)(PdfDoc *doc, PdfInterp *in);

struct OpRow {
    const char *keyword;
    OpFn handler;
    uint8_t mask;
    uint8_t next;
};

constexpr uint8_t S1 = 1 << 1, S2 = 1 << 2, S3 = 1 << 3, S4 = 1 << 4, S5 = 1 << 5, ANY = 0xFF;

void identity(float *m)
{
    m[0] = m[3] = 1;
    m[1] = m[2] = m[4] = m[5] = 0;
}

// Drops a font selection that the page output may still name as its last
// one, so that a new selection at the same address is not taken for it.
void releaseFont(PdfInterp *in, PdfFontSel *font)
{
    if (!font)
        return;
    if (in->text.font == font)
        in->text.font = nullptr;
    Pdf_Font_release(font);
}

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

// Appends the pending text run as a blob node and starts a new one.
int flushTextRun(PdfInterp *in)
{
    PdfTextState &t = in->text;
    if (!t.runNonEmpty)
        return Res_ok;
    t.runNonEmpty = 0;
    int err = GlyphRun_plugHole(&t.run);
    if (!err && in->edrDoc && t.run.pos)
        err = Edr_Node_createBlob(in->edrDoc, in->page, kInsertLast, nullptr, t.run.buffer,
                                  t.run.pos);
    GlyphRun_writerFree(&t.run);
    GlyphRun_writerInit(&t.run);
    return err;
}

// Every property emitted flushes the pending text run first, so that the
// text collected keeps the properties that were in force.
int emitAfterText(PdfInterp *in, const Prop *v)
{
    int err = flushTextRun(in);
    return err ? err : emit(in, v);
}

int emitAfterTextBare(PdfInterp *in, uint32_t id, uint16_t value)
{
    int err = flushTextRun(in);
    return err ? err : emitBare(in, id, value);
}

int clearTransform(PdfInterp *in)
{
    if (!in->transformSet)
        return Res_ok;
    in->transformSet = 0;
    int err = flushTextRun(in);
    return err ? err : emitBare(in, kPropTransform, 0);
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
    Prop_set(&v, kPropPosition, PropType_pointer, uintptr_t(uint32_t(toDevice(x))),
             uint32_t(toDevice(y)));
    return emitAfterText(in, &v);
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
            return Edr_Node_shareDrawList(in->edrDoc, in->page, kInsertLast, nullptr,
                                          t->entries[i].node);
    if (!t) {
        t = static_cast<PdfDrawListTable *>(Mem_calloc(1, sizeof(PdfDrawListTable)));
        if (!t)
            return Res_noMemory;
        doc->drawLists = t;
    }
    if (t->count == t->capacity) {
        uint32_t capacity = t->capacity ? t->capacity * 2 : 16;
        PdfDrawListEntry *grown = static_cast<PdfDrawListEntry *>(
            Mem_realloc(t->entries, capacity * sizeof(PdfDrawListEntry)));
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
    // Text shown before the paths stays below them.
    int err = flushTextRun(in);
    if (!err)
        err = clearTransform(in);
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
    int err = flushTextRun(in);
    if (!err)
        err = flushDrawList(doc, in);
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
    int err = flushTextRun(in);
    if (!err)
        err = flushDrawList(doc, in);
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
    if (s->font != in->gs->font)
        releaseFont(in, s->font);
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
        Matrix t{word(double(m[0]) * 72 / width),
                 word(double(m[1]) * 72 / width),
                 word(double(m[2]) * 72 / height),
                 word(double(m[3]) * 72 / height),
                 word(m[4]),
                 word(m[5])};
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
// are none). 0, Res_pdfSyntax for a key that is not a name, 1.
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

// Operators that draw nothing here (marked content, the rendering intent,
// shadings, a Type 3 glyph's metrics): their operands are taken.
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
    // "Font": [font-dictionary size], as "Tf" sets them.
    if (!err && dict && !(err = Pdf_Obj_dictGet(doc, "Font", dict, &v)) && v) {
        PdfObj *font = nullptr, *size = nullptr;
        float points = 0;
        if (v->type != PdfObj_array)
            err = Res_pdfNotArray;
        if (!err)
            err = Pdf_Obj_arrayGet(doc, 0, v, &font);
        if (!err)
            err = Pdf_Obj_arrayGet(doc, 1, v, &size);
        if (!err)
            err = Pdf_Obj_getNumber(doc, size, &points);
        if (!err)
            err = Pdf_GState_setFont(doc, in, points, font);
    }
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

int opCS(PdfDoc *doc, PdfInterp *in)
{
    return setColourSpace(doc, in, &in->gs->stroke);
}
int opcs(PdfDoc *doc, PdfInterp *in)
{
    return setColourSpace(doc, in, &in->gs->fill);
}
int opSC(PdfDoc *doc, PdfInterp *in)
{
    return setColour(doc, in, &in->gs->stroke);
}
int opsc(PdfDoc *doc, PdfInterp *in)
{
    return setColour(doc, in, &in->gs->fill);
}
int opG(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->stroke, "DeviceGray");
}
int opg(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->fill, "DeviceGray");
}
int opRG(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->stroke, "DeviceRGB");
}
int oprg(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->fill, "DeviceRGB");
}
int opK(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->stroke, "DeviceCMYK");
}
int opk(PdfDoc *doc, PdfInterp *in)
{
    return setDeviceColour(doc, in, &in->gs->fill, "DeviceCMYK");
}

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

int opS(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 1, 0, kRuleNonzero);
}
int ops(PdfDoc *doc, PdfInterp *in)
{
    (void)closeSubpath(doc, in);
    return opS(doc, in);
}
int opf(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 0, 1, kRuleNonzero);
}
int opfStar(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 0, 1, kRuleEvenOdd);
}
int opB(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 1, 1, kRuleNonzero);
}
int opBStar(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 1, 1, kRuleEvenOdd);
}
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
int opn(PdfDoc *doc, PdfInterp *in)
{
    return paintPath(doc, in, 0, 0, kRuleNonzero);
}

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
        if ((prev2 == ' ' || prev2 == '\n' || prev2 == '\r' || prev2 == '\t') && prev1 == 'E' &&
            c == 'I') {
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

// ----------------------------------------------------------------- text

void invalidateText(PdfInterp *in)
{
    in->text.renderValid = 0;
    in->text.advanceValid = 0;
}

int opBT(PdfDoc *, PdfInterp *in)
{
    identity(in->text.tm);
    identity(in->text.tlm);
    invalidateText(in);
    in->text.fontFlag = 0;
    return Res_ok;
}

int opTc(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->charSpacing);
}
int opTw(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->wordSpacing);
}
int opTL(PdfDoc *doc, PdfInterp *in)
{
    return popNumber(doc, in, &in->gs->leading);
}

int opTz(PdfDoc *doc, PdfInterp *in)
{
    float v = 0;
    int err = popNumber(doc, in, &v);
    if (!err) {
        in->gs->hScale = float(double(v) / 100.0);
        invalidateText(in);
    }
    return err;
}

int opTs(PdfDoc *doc, PdfInterp *in)
{
    int err = popNumber(doc, in, &in->gs->rise);
    if (!err)
        in->text.renderValid = 0;
    return err;
}

int opTr(PdfDoc *doc, PdfInterp *in)
{
    return popInt(doc, in, &in->gs->renderMode);
}

void moveLine(PdfInterp *in, float tx, float ty)
{
    float *l = in->text.tlm;
    l[4] = tx * l[0] + ty * l[2] + l[4];
    l[5] = tx * l[1] + ty * l[3] + l[5];
    std::memcpy(in->text.tm, l, sizeof in->text.tm);
    invalidateText(in);
}

int opTd(PdfDoc *doc, PdfInterp *in)
{
    float v[2];
    int err = popNumbers(doc, in, v, 2);
    if (!err)
        moveLine(in, v[0], v[1]);
    return err;
}

int opTD(PdfDoc *doc, PdfInterp *in)
{
    float v[2];
    int err = popNumbers(doc, in, v, 2);
    if (!err) {
        in->gs->leading = -v[1];
        moveLine(in, v[0], v[1]);
    }
    return err;
}

int opTStar(PdfDoc *, PdfInterp *in)
{
    moveLine(in, 0, -in->gs->leading);
    return Res_ok;
}

int opTm(PdfDoc *doc, PdfInterp *in)
{
    float v[6];
    int err = popNumbers(doc, in, v, 6);
    if (!err) {
        std::memcpy(in->text.tlm, v, sizeof v);
        std::memcpy(in->text.tm, v, sizeof v);
        invalidateText(in);
    }
    return err;
}

} // namespace

int Pdf_GState_setFont(PdfDoc *doc, PdfInterp *in, float size, PdfObj *fontDict)
{
    PdfGState *gs = in->gs;
    gs->fontSize = size;
    if (gs->font && (!gs->previous || gs->previous->font != gs->font))
        releaseFont(in, gs->font);
    gs->font = nullptr;
    return Pdf_Font_select(doc, fontDict, &gs->font);
}

namespace {

int opTf(PdfDoc *doc, PdfInterp *in)
{
    float size = 0;
    int err = popNumber(doc, in, &size);
    if (err)
        return err;
    in->text.fontFlag = 0;
    PdfObj *nameObj = nullptr;
    if ((err = popObject(in, &nameObj)) != Res_ok)
        return err;
    const char *name = nullptr;
    PdfObj *dict = nullptr;
    err = Pdf_Obj_getName(doc, nameObj, &name);
    if (!err)
        err = Pdf_Res_lookup(doc, "Font", name, &dict);
    if (!err && !dict)
        err = Res_pdfSyntax;
    if (!err)
        err = Pdf_GState_setFont(doc, in, size, dict);
    Pdf_Obj_release(doc, nameObj);
    return err;
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
        Pdf_Doc_warn(doc, PdfWarn_image);
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

// Advances the text position by the width of count codes in the current
// font and the adjustment (thousandths of text space, as in "TJ").
int measureAdvance(PdfInterp *in, const char16_t *codes, uint32_t count, float adjustment)
{
    PdfGState *gs = in->gs;
    PdfTextState &t = in->text;
    int64_t width = 0;
    if (codes && count) {
        int err = Pdf_Font_measureWidth(gs->font, gs->fontSize, gs->charSpacing, gs->wordSpacing,
                                        codes, count, &width);
        if (err)
            return err;
    }
    if (!t.advanceValid) {
        t.advA = t.tm[0] * gs->hScale / 65536.0f;
        t.advB = t.tm[1] * gs->hScale / 65536.0f;
        t.advanceValid = 1;
    }
    float w = float(width);
    if (adjustment != 0) {
        if (!t.fontFlag) {
            t.adjustFactor = gs->fontSize * 65.536f;
            t.fontFlag = 1;
        }
        w -= adjustment * t.adjustFactor;
    }
    t.tm[4] += t.advA * w;
    t.tm[5] += t.advB * w;
    return Res_ok;
}

void buildRenderCache(PdfInterp *in)
{
    PdfGState *gs = in->gs;
    PdfTextState &t = in->text;
    const float *C = gs->m, *T = t.tm;
    float *R = t.r;
    if (gs->kind & kKindScale) {
        R[0] = C[0] * T[0];
        R[1] = C[3] * T[1];
        R[2] = C[0] * T[2];
        R[3] = C[3] * T[3];
    } else if (gs->kind & kKindUnit) {
        R[0] = T[0];
        R[1] = T[1];
        R[2] = T[2];
        R[3] = T[3];
    } else {
        R[0] = R[1] = R[2] = R[3] = 0;
    }
    if (gs->kind & kKindSkew) {
        R[0] += C[2] * T[1];
        R[1] += C[1] * T[0];
        R[2] += C[2] * T[3];
        R[3] += C[1] * T[2];
    }
    R[0] *= gs->hScale;
    R[1] *= gs->hScale;
    t.ox = gs->rise * R[2];
    t.oy = gs->rise * R[3];
    if (gs->kind & kKindTranslate) {
        t.ox += C[4];
        t.oy += C[5];
    }
    t.renderValid = 1;
    t.plainScale = R[1] == 0 && R[2] == 0 && R[0] == R[3] && R[0] > 0;
}

int setIfChanged(PdfInterp *in, uint32_t id, uint32_t value, uint32_t *last)
{
    if (*last == value)
        return Res_ok;
    *last = value;
    return emitAfterTextBare(in, id, uint16_t(value));
}

int setFontName(PdfDoc *doc, PdfInterp *in, const char *name)
{
    PdfTextState &t = in->text;
    if (t.fontNameValid &&
        ((!name && !t.fontName) || (name && t.fontName && std::strcmp(name, t.fontName) == 0)))
        return Res_ok;
    char *copy = nullptr;
    if (name) {
        size_t n = std::strlen(name);
        copy = static_cast<char *>(Mem_malloc(n + 1));
        if (!copy)
            return Res_noMemory;
        std::memcpy(copy, name, n + 1);
    }
    Mem_free(t.fontName);
    t.fontName = copy;
    t.fontNameValid = 1;
    if (!name)
        return Res_ok;
    int err = flushTextRun(in);
    if (err)
        return err;
    char16_t *u = nullptr;
    err = Charset_toUstr(doc->context, name, &u, 1);
    if (err)
        return err;
    uint32_t length = 0;
    while (u[length])
        length++;
    Prop v{};
    Prop_setUstr(&v, kPropFontFamily, u, length);
    err = emit(in, &v);
    Prop_free(&v);
    return err;
}

int setFont(PdfDoc *doc, PdfInterp *in)
{
    PdfTextState &t = in->text;
    PdfFontSel *font = in->gs->font;
    if (t.font == font && t.fontNameValid)
        return Res_ok;
    t.font = font;
    int err = setFontName(doc, in, font ? font->names : nullptr);
    if (!err && font)
        err = setIfChanged(in, kPropFontWeight, font->weight, &t.weight);
    if (!err && font)
        err = setIfChanged(in, kPropFontVariant, font->variant, &t.variant);
    if (!err && font)
        err = setIfChanged(in, kPropFontStyle, font->style, &t.style);
    return err;
}

int setTransform(PdfInterp *in, int set, const int32_t *words)
{
    PdfTextState &t = in->text;
    if (!set)
        return clearTransform(in);
    if (in->transformSet && std::memcmp(t.transform, words, sizeof t.transform) == 0)
        return Res_ok;
    int err = flushTextRun(in);
    if (err)
        return err;
    Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (!m)
        return Res_noMemory;
    *m = Matrix{words[0], words[1], words[2], words[3], words[4], words[5]};
    Prop v{};
    Prop_setMatrix(&v, kPropTransform, m);
    err = emit(in, &v);
    Prop_free(&v);
    if (!err) {
        in->transformSet = 1;
        std::memcpy(t.transform, words, sizeof t.transform);
    }
    return err;
}

int32_t truncated(double v)
{
    if (!(v == v))
        return 0;
    return v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : int32_t(v);
}

// Appends the codes to the page's text run with the properties in force;
// the run reads as text (textCount units; null: the codes themselves). An
// invisible run is kept for its text only: it is drawn fully transparent.
int emitText(PdfDoc *doc, PdfInterp *in, const char16_t *codes, uint32_t count,
             const char16_t *text, uint32_t textCount, bool invisible)
{
    PdfGState *gs = in->gs;
    PdfTextState &t = in->text;
    int err = flushDrawList(doc, in);
    if (err)
        return err;
    if (!t.renderValid)
        buildRenderCache(in);
    float x = t.tm[4], y = t.tm[5];
    uint32_t saved = gs->kind;
    gs->kind &= ~uint32_t(kKindTranslate);
    transformPoint(gs, &x, &y);
    gs->kind = saved;
    x += t.ox;
    y += t.oy;
    double tc = gs->charSpacing, tw = gs->wordSpacing, size;
    int32_t words[6] = {0, 0, 0, 0, 0, 0};
    if (t.plainScale) {
        tc *= t.r[0];
        tw *= t.r[0];
        size = double(gs->fontSize) * t.r[0];
    } else {
        for (int i = 0; i < 4; i++)
            words[i] = truncated(double(t.r[i]) * gs->fontSize);
        size = 65536.0;
        double k = gs->fontSize != 0 ? 65536.0 / gs->fontSize : 0;
        tc *= k;
        tw *= k;
    }
    uint8_t rgba[4];
    Pdf_Cs_toRgba(&gs->fill, rgba);
    if (invisible)
        rgba[3] = 0;
    uint32_t colour = uint32_t(rgba[0]) | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]) << 16 |
                      uint32_t(rgba[3]) << 24;
    if (!t.colourValid || t.colour != colour) {
        t.colourValid = 1;
        t.colour = colour;
        Prop v{};
        Prop_setColour(&v, kPropColour, rgba);
        if ((err = emitAfterText(in, &v)) != Res_ok)
            return err;
    }
    int32_t isize = truncated(size);
    if (!t.sizeValid || t.size != isize) {
        t.sizeValid = 1;
        t.size = isize;
        Prop v{};
        Prop_setLength(&v, kPropFontSize, isize);
        if ((err = emitAfterText(in, &v)) != Res_ok)
            return err;
    }
    if ((err = setFont(doc, in)) != Res_ok)
        return err;
    if ((err = setTransform(in, !t.plainScale, words)) != Res_ok)
        return err;
    if ((err = GlyphRun_setSpacing(&t.run, truncated(tw), truncated(tc))) != Res_ok)
        return err;
    if ((err = setOrigin(in, 0, 0)) != Res_ok)
        return err;
    t.runNonEmpty = 1;
    return GlyphRun_addTextAs(&t.run, toDevice(x), toDevice(-y), codes, count, text, textCount);
}

} // namespace

int Pdf_Type3_show(PdfDoc *doc, PdfType3Font *font, PdfInterp *in, const PdfString *string,
                   float adjustment)
{
    PdfGState *gs = in->gs;
    PdfTextState &t = in->text;
    const float s = gs->fontSize, h = gs->hScale;
    const float *fm = font->matrix;
    const uint8_t *bytes = string ? PdfString_bytes(string) : nullptr;
    uint32_t n = string ? string->length : 0;
    int err = Res_ok;
    for (uint32_t i = 0; i < n && !err; i++) {
        int32_t k = bytes[i];
        if (k < font->firstCode || k > font->lastCode)
            continue; // no glyph and no movement
        float w = font->widths[k - font->firstCode] * s;
        PdfObj *proc = font->procedures[k - font->firstCode];
        float spacing = gs->wordSpacing;
        if (proc) {
            spacing = gs->charSpacing;
            const float *tm = t.tm;
            // The text-space matrix with the rise, then the font matrix
            // first: glyph space to user space at the glyph origin.
            const float T[6] = {s * h * tm[0],
                                s * h * tm[1],
                                s * tm[2],
                                s * tm[3],
                                gs->rise * tm[2] + tm[4],
                                gs->rise * tm[3] + tm[5]};
            const float M[6] = {
                fm[0] * T[0] + fm[1] * T[2],        fm[0] * T[1] + fm[1] * T[3],
                fm[2] * T[0] + fm[3] * T[2],        fm[2] * T[1] + fm[3] * T[3],
                fm[4] * T[0] + fm[5] * T[2] + T[4], fm[4] * T[1] + fm[5] * T[3] + T[5]};
            // A procedure may show text itself: the string's text state
            // comes back afterwards.
            float savedTm[6], savedTlm[6];
            std::memcpy(savedTm, t.tm, sizeof savedTm);
            std::memcpy(savedTlm, t.tlm, sizeof savedTlm);
            err = Pdf_Content_run(doc, proc, in, M, nullptr, font->resources);
            std::memcpy(t.tm, savedTm, sizeof savedTm);
            std::memcpy(t.tlm, savedTlm, sizeof savedTlm);
            t.renderValid = 0;
            t.advanceValid = 0;
        }
        // The glyph's width goes through the font matrix into text space;
        // the spacing is in text space already.
        float tx = (w * fm[0] + spacing) * h;
        float ty = w * fm[1];
        t.tm[4] += tx * t.tm[0] + ty * t.tm[2];
        t.tm[5] += tx * t.tm[1] + ty * t.tm[3];
    }
    if (err)
        return err;
    if (adjustment != 0)
        return measureAdvance(in, nullptr, 0, adjustment);
    return Res_ok;
}

int Pdf_Font_showType3(PdfDoc *doc, PdfInterp *in, const PdfString *string, float adjustment,
                       int *handled)
{
    *handled = 0;
    PdfFontSel *font = in->gs->font;
    if (!font || !font->type3)
        return Res_ok;
    *handled = 1;
    return Pdf_Type3_show(doc, font->type3, in, string, adjustment);
}

int Pdf_Out_showText(PdfDoc *doc, PdfInterp *in, const PdfString *string, float adjustment)
{
    char16_t *text = nullptr;
    uint32_t textCount = 0;
    PdfFontSel *font = in->gs->font;
    int err = Res_ok;
    if (string && string->length)
        err = Pdf_Font_stringText(doc, font, PdfString_bytes(string), string->length, &text,
                                  &textCount);
    if (err)
        return err;
    if (font && font->type3) {
        // The glyph procedures draw; an invisible run where the string
        // starts carries its text for search and selection.
        if (textCount)
            err = emitText(doc, in, text, textCount, nullptr, 0, true);
        Mem_free(text);
        int handled = 0;
        int err3 = err ? err : Pdf_Font_showType3(doc, in, string, adjustment, &handled);
        return err3;
    }
    if (!string || !string->length)
        return measureAdvance(in, nullptr, 0, adjustment);
    // The codes of a short string in a simple font are decoded on the
    // stack: most strings of a text page need no block of their own.
    char16_t local[256];
    char16_t *codes = nullptr;
    uint32_t count = 0;
    if (string->length < sizeof local / sizeof local[0] &&
        Pdf_Font_decodeSimpleInto(in->gs->font, PdfString_bytes(string), string->length, local)) {
        codes = local;
        count = string->length;
    } else {
        err = Pdf_Font_decodeString(doc, in->gs->font, PdfString_bytes(string), string->length,
                                    &codes, &count);
    }
    if (err) {
        Mem_free(text);
        return err;
    }
    if (!count) {
        if (codes != local)
            Mem_free(codes);
        Mem_free(text);
        return measureAdvance(in, nullptr, 0, adjustment);
    }
    // Invisible text (mode 3) is not drawn, but it is text all the same
    // (the text layer of a scanned page): its run is kept transparent.
    err = emitText(doc, in, codes, count, text, textCount, in->gs->renderMode == 3);
    Mem_free(text);
    if (!err)
        err = measureAdvance(in, codes, count, adjustment);
    if (codes != local)
        Mem_free(codes);
    return err;
}

namespace {

int showOperand(PdfDoc *doc, PdfInterp *in)
{
    PdfObj *o = nullptr;
    int err = popObject(in, &o);
    if (err)
        return err;
    PdfString *s = nullptr;
    err = Pdf_Obj_getString(doc, o, &s);
    if (!err)
        err = Pdf_Out_showText(doc, in, s, 0);
    Pdf_Obj_release(doc, o);
    return err;
}

int opTj(PdfDoc *doc, PdfInterp *in)
{
    return showOperand(doc, in);
}

int opQuote(PdfDoc *doc, PdfInterp *in)
{
    moveLine(in, 0, -in->gs->leading);
    return showOperand(doc, in);
}

int opDoubleQuote(PdfDoc *doc, PdfInterp *in)
{
    uint32_t n = in->operandCount;
    if (n >= 3) {
        PdfObj *deep = in->operands[n - 3];
        in->operands[n - 3] = in->operands[n - 1];
        in->operands[n - 1] = deep;
    }
    int err = popNumber(doc, in, &in->gs->wordSpacing);
    if (!err)
        err = popNumber(doc, in, &in->gs->charSpacing);
    if (!err)
        err = opQuote(doc, in);
    return err;
}

int opTJ(PdfDoc *doc, PdfInterp *in)
{
    PdfObj *array = nullptr;
    int err = popObject(in, &array);
    if (err)
        return err;
    uint32_t n = 0;
    if (array->type != PdfObj_array)
        err = Res_pdfNotArray;
    else
        n = array->value.arr ? array->value.arr->count : 0;
    PdfObj *items = n ? PdfArray_items(array->value.arr) : nullptr;
    PdfGState *gs = in->gs;
    for (uint32_t i = 0; !err && i < n; i++) {
        PdfObj *e = &items[i];
        if (e->type == PdfObj_int || e->type == PdfObj_real) {
            float v = e->type == PdfObj_int ? float(e->value.i) : e->value.f;
            float tx = (-v / 1000.0f) * gs->fontSize * gs->hScale;
            in->text.tm[4] += tx * in->text.tm[0];
            in->text.tm[5] += tx * in->text.tm[1];
        } else if (e->type == PdfObj_string) {
            float adjustment = 0;
            if (i + 1 < n &&
                (items[i + 1].type == PdfObj_int || items[i + 1].type == PdfObj_real)) {
                adjustment = items[i + 1].type == PdfObj_int ? float(items[i + 1].value.i)
                                                             : items[i + 1].value.f;
                i++;
            }
            err = Pdf_Out_showText(doc, in, e->value.str, adjustment);
        } else {
            err = Res_pdfBadTextArray;
        }
    }
    Pdf_Obj_release(doc, array);
    return err;
}

// One row per operator; keywords not listed (the calculator words) are
// never accepted.
const OpRow kOps[] = {
    {"b", opb, S2 | S3, 1},
    {"B", opB, S2 | S3, 1},
    {"b*", opbStar, S2 | S3, 1},
    {"B*", opBStar, S2 | S3, 1},
    {"BDC", opDiscard2, S1 | S4, 0},
    {"BI", opNone, S1, 5},
    {"BMC", opDiscard1, S1 | S4, 0},
    {"BT", opBT, S1, 4},
    {"BX", opNone, ANY, 0},
    {"c", opc, S2 | S3, 0},
    {"cm", opcm, S1, 0},
    {"CS", opCS, S1 | S2 | S4, 0},
    {"cs", opcs, S1 | S2 | S4, 0},
    {"d", opd, S1 | S4, 0},
    {"d0", opDiscard2, S1, 0},
    {"d1", opDiscard6, S1, 0},
    {"Do", opDo, S1, 0},
    {"DP", opDiscard2, S1 | S4, 0},
    {"EMC", opNone, S1 | S4, 0},
    {"ET", opNone, S4, 1},
    {"EX", opNone, ANY, 0},
    {"f", opf, S2 | S3, 1},
    {"F", opf, S2 | S3, 1},
    {"f*", opfStar, S2 | S3, 1},
    {"G", opG, S1 | S2 | S4, 0},
    {"g", opg, S1 | S2 | S4, 0},
    {"gs", opgs, S1 | S4, 0},
    {"h", oph, S2 | S3, 0},
    {"i", opi, S1 | S4, 0},
    {"ID", opID, S5, 1},
    {"j", opj, S1 | S4, 0},
    {"J", opJ, S1 | S4, 0},
    {"K", opK, S1 | S2 | S4, 0},
    {"k", opk, S1 | S2 | S4, 0},
    {"l", opl, S2 | S3, 0},
    {"m", opm, S1 | S2 | S3, 2},
    {"M", opM, S1 | S4, 0},
    {"MP", opDiscard1, S1 | S4, 0},
    {"n", opn, S1 | S2 | S3, 1},
    {"q", opq, S1 | S2, 0},
    {"Q", opQ, S1 | S2 | S3, 0},
    {"re", opre, S1 | S2 | S3, 2},
    {"RG", opRG, S1 | S2 | S4, 0},
    {"rg", oprg, S1 | S2 | S4, 0},
    {"ri", opDiscard1, S1 | S4, 0},
    {"s", ops, S2 | S3, 1},
    {"S", opS, S2 | S3, 1},
    {"SC", opSC, S1 | S2 | S4, 0},
    {"sc", opsc, S1 | S2 | S4, 0},
    {"SCN", opSC, S1 | S2 | S4, 0},
    {"scn", opsc, S1 | S4, 0},
    {"sh", opDiscard1, S1, 0},
    {"T*", opTStar, S4, 0},
    {"Tc", opTc, S1 | S4, 0},
    {"Td", opTd, S4, 0},
    {"TD", opTD, S4, 0},
    {"Tf", opTf, S1 | S4, 0},
    {"Tj", opTj, S4, 0},
    {"TJ", opTJ, S4, 0},
    {"TL", opTL, S1 | S4, 0},
    {"Tm", opTm, S4, 0},
    {"Tr", opTr, S1 | S4, 0},
    {"Ts", opTs, S1 | S4, 0},
    {"Tw", opTw, S1 | S4, 0},
    {"Tz", opTz, S1 | S4, 0},
    {"v", opv, S2 | S3, 0},
    {"w", opw, S1 | S2 | S4, 0},
    {"W", opW, S1 | S2, 3},
    {"W*", opWStar, S1 | S2, 3},
    {"y", opy, S2 | S3, 0},
    {"'", opQuote, S4, 0},
    {"\"", opDoubleQuote, S4, 0},
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
    identity(in->text.tm);
    identity(in->text.tlm);
    GlyphRun_writerInit(&in->text.run);
    in->text.weight = 25; // "400"
    in->text.variant = PdfFont_keywordNormal;
    in->text.style = PdfFont_keywordNormal;
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
        GlyphRun_writerFree(&in->text.run);
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
    int err = flushTextRun(in);
    if (err)
        Pdf_Doc_deferError(doc, err);
    err = flushDrawList(doc, in);
    if (err)
        Pdf_Doc_deferError(doc, err);
    GlyphRun_writerFree(&in->text.run);
    Mem_free(in->text.fontName);
    DrawStyle_free(&in->drawList);
    Path_destroy(in->path);
    while (in->gs != &in->initial) {
        PdfGState *s = in->gs;
        in->gs = s->previous;
        if (s->font != in->gs->font)
            releaseFont(in, s->font);
        Mem_free(s);
    }
    releaseFont(in, in->initial.font);
    clearOperands(doc, in);
    Mem_free(in);
    return Res_ok;
}

int Pdf_Interp_runContent(PdfDoc *doc, PdfInterp *in, PdfLexer *lexer, const float *matrix,
                          const float *bbox, PdfObj *resources)
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
