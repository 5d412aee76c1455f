// Glyph-run strings: the writer, the reader, the display item and the
// cursor that text extraction walks.
#include "fonts/glyphrun.h"

#include <cstring>

#include "core/geom/geom.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "fonts/textrun.h"

namespace {

constexpr int32_t kMaxDelta = 8388606;
constexpr int32_t kMaxSpacing = 0x7FFFFF;
constexpr int32_t kStopBudget = 100;

int reserve(GlyphRunWriter *w, uint32_t needed)
{
    uint64_t want = uint64_t(needed) + uint64_t(w->units) * 2;
    if (w->capacity >= want)
        return Res_ok;
    uint64_t cap = (uint64_t(w->capacity) + needed + 511) & ~uint64_t(511);
    if (cap < want)
        cap = (want + 511) & ~uint64_t(511);
    if (cap > 0x7FFFFFFFu)
        return Res_noMemory;
    uint8_t *grown;
    if (w->buffer == w->inlineArea) {
        grown = static_cast<uint8_t *>(Mem_malloc(size_t(cap)));
        if (grown)
            std::memcpy(grown, w->inlineArea, w->capacity);
    } else {
        grown = static_cast<uint8_t *>(Mem_realloc(w->buffer, size_t(cap)));
    }
    if (!grown)
        return Res_noMemory;
    w->buffer = grown;
    w->capacity = uint32_t(cap);
    return Res_ok;
}

// One byte at the current position (room reserved by the caller).
void putByte(GlyphRunWriter *w, uint8_t b)
{
    w->buffer[w->pos] = b;
    if (w->pos & 1u) {
        w->pos = w->units * 2;
    } else {
        if (w->pos == w->units * 2)
            w->units++;
        w->pos++;
    }
}

bool holePending(const GlyphRunWriter *w)
{
    return w->pos != w->units * 2 && w->pos + 1 != w->units * 2;
}

uint32_t deltaBytes(int32_t d)
{
    int64_t v = int64_t(d) * 2;
    uint32_t n = 0;
    while (v != 0) {
        v /= 256;
        n++;
    }
    return n;
}

void putSpacing(GlyphRunWriter *w, uint8_t shortOp, int32_t v)
{
    if (v >= -32767 && v <= 32767) {
        putByte(w, shortOp);
        putByte(w, uint8_t(uint32_t(v) >> 8));
        putByte(w, uint8_t(v));
    } else {
        putByte(w, uint8_t(shortOp + 1));
        putByte(w, uint8_t(uint32_t(v) >> 16));
        putByte(w, uint8_t(uint32_t(v) >> 8));
        putByte(w, uint8_t(v));
    }
}

// True when a run of n characters at (x, y) would be dropped.
bool runDropped(const GlyphRunWriter *w, int32_t x, int32_t y, uint32_t n, bool units)
{
    if (!n || (units && n > 65535))
        return true;
    int64_t dx = int64_t(x) - w->lastX, dy = int64_t(y) - w->lastY;
    return dx < -kMaxDelta - 1 || dx > kMaxDelta || dy < -kMaxDelta - 1 || dy > kMaxDelta;
}

// Copies n units to the first unit after all units used.
void putUnits(GlyphRunWriter *w, const char16_t *units, uint32_t n)
{
    bool atBoundary = w->pos == w->units * 2;
    uint8_t *to = w->buffer + size_t(w->units) * 2;
    for (uint32_t i = 0; i < n; i++) {
        to[2 * i] = uint8_t(units[i]);
        to[2 * i + 1] = uint8_t(units[i] >> 8);
    }
    w->units += n;
    if (atBoundary)
        w->pos = w->units * 2;
}

int addRun(GlyphRunWriter *w, int32_t x, int32_t y, const uint8_t *bytes, const char16_t *units,
           uint32_t n)
{
    if (runDropped(w, x, y, n, units != nullptr))
        return Res_ok;
    int64_t dx = int64_t(x) - w->lastX, dy = int64_t(y) - w->lastY;
    uint32_t nx = deltaBytes(int32_t(dx)), ny = deltaBytes(int32_t(dy));
    if (!nx && !ny)
        nx = 1;
    uint32_t needed = 2 + nx + ny + 3 + (units ? n * 2 + 2 : n);
    int err = reserve(w, needed);
    if (err)
        return err;
    if (holePending(w))
        putByte(w, 2);
    putByte(w, uint8_t(16 + nx + 4 * ny));
    for (uint32_t i = 0; i < nx; i++)
        putByte(w, uint8_t(uint64_t(dx) >> (8 * i)));
    for (uint32_t i = 0; i < ny; i++)
        putByte(w, uint8_t(uint64_t(dy) >> (8 * i)));
    if (units) {
        if (n == 1) {
            putByte(w, 0);
        } else if (n < 256) {
            putByte(w, 16);
            putByte(w, uint8_t(n));
        } else {
            putByte(w, 1);
            putByte(w, uint8_t(n));
            putByte(w, uint8_t(n >> 8));
        }
        putUnits(w, units, n);
    } else {
        for (uint32_t i = 0; i < n; i++)
            putByte(w, bytes[i] < 32 ? uint8_t(32) : bytes[i]);
    }
    w->lastX = x;
    w->lastY = y;
    return Res_ok;
}

} // namespace

void GlyphRun_writerInit(GlyphRunWriter *w)
{
    std::memset(w, 0, sizeof *w);
    w->buffer = w->inlineArea;
    w->capacity = GlyphRun_inlineBytes;
}

void GlyphRun_writerFree(GlyphRunWriter *w)
{
    if (w->buffer != w->inlineArea)
        Mem_free(w->buffer);
    w->buffer = w->inlineArea;
    w->capacity = GlyphRun_inlineBytes;
}

int GlyphRun_addText(GlyphRunWriter *w, int32_t x, int32_t y, const char16_t *s, uint32_t n)
{
    if (!s || !n)
        return Res_ok;
    bool ascii = true;
    for (uint32_t i = 0; i < n && ascii; i++)
        ascii = s[i] >= 32 && s[i] <= 127;
    if (!ascii)
        return addRun(w, x, y, nullptr, s, n);
    uint8_t local[GlyphRun_inlineBytes] = {};
    uint8_t *bytes = local;
    if (n > GlyphRun_inlineBytes) {
        bytes = static_cast<uint8_t *>(Mem_malloc(n));
        if (!bytes)
            return Res_noMemory;
    }
    for (uint32_t i = 0; i < n; i++)
        bytes[i] = uint8_t(s[i]);
    int err = addRun(w, x, y, bytes, nullptr, n);
    if (bytes != local)
        Mem_free(bytes);
    return err;
}

int GlyphRun_addTextAs(GlyphRunWriter *w, int32_t x, int32_t y, const char16_t *codes, uint32_t n,
                       const char16_t *text, uint32_t textLength)
{
    if (!codes || !n)
        return Res_ok;
    bool same =
        !text || (textLength == n && std::memcmp(text, codes, size_t(n) * sizeof(char16_t)) == 0);
    bool ascii = true;
    for (uint32_t i = 0; i < n && ascii; i++)
        ascii = codes[i] >= 32 && codes[i] <= 127;
    if (!same && textLength <= 65535 && !runDropped(w, x, y, n, !ascii)) {
        int err = reserve(w, 6 + textLength * 2);
        if (err)
            return err;
        if (holePending(w))
            putByte(w, 2);
        putByte(w, 7);
        putByte(w, uint8_t(textLength));
        putByte(w, uint8_t(textLength >> 8));
        putUnits(w, text, textLength);
    }
    return GlyphRun_addText(w, x, y, codes, n);
}

int GlyphRun_setSpacing(GlyphRunWriter *w, int32_t wordSpacing, int32_t charSpacing)
{
    if (wordSpacing > kMaxSpacing || wordSpacing < -kMaxSpacing)
        wordSpacing = 0;
    if (charSpacing > kMaxSpacing || charSpacing < -kMaxSpacing)
        charSpacing = 0;
    if (wordSpacing == w->wordSpacing && charSpacing == w->charSpacing)
        return Res_ok;
    int err = reserve(w, 10);
    if (err)
        return err;
    if (holePending(w))
        putByte(w, 2);
    if (wordSpacing != w->wordSpacing)
        putSpacing(w, 3, wordSpacing);
    if (charSpacing != w->charSpacing)
        putSpacing(w, 5, charSpacing);
    w->wordSpacing = wordSpacing;
    w->charSpacing = charSpacing;
    return Res_ok;
}

int GlyphRun_plugHole(GlyphRunWriter *w)
{
    if (!holePending(w))
        return Res_ok;
    int err = reserve(w, 2);
    if (err)
        return err;
    putByte(w, 2);
    return Res_ok;
}

// ---------------------------------------------------------------- reader

void GlyphRun_readerInit(GlyphRunReader *r, const uint8_t *data, uint32_t length)
{
    std::memset(r, 0, sizeof *r);
    r->data = data;
    r->length = data ? length : 0;
    r->expand = r->inlineArea;
    r->expandCapacity = GlyphRun_inlineBytes;
}

void GlyphRun_readerFree(GlyphRunReader *r)
{
    Mem_free(r->textBuffer);
    r->textBuffer = nullptr;
    r->textCapacity = 0;
    r->textPending = 0;
    if (r->expand != r->inlineArea)
        Mem_free(r->expand);
    r->expand = r->inlineArea;
    r->expandCapacity = GlyphRun_inlineBytes;
}

namespace {

void endOfString(GlyphRunReader *r)
{
    r->pos = r->length;
    r->run = nullptr;
    r->runLength = 0;
    r->text = nullptr;
    r->textLength = 0;
    r->textPending = 0;
}

// The run just read takes the text an op 7 left, or reads as itself.
void takeText(GlyphRunReader *r)
{
    if (r->textPending) {
        r->text = r->textBuffer;
        r->textLength = r->textPending;
        r->textPending = 0;
    } else {
        r->text = r->run;
        r->textLength = r->runLength;
    }
}

// n operand bytes right after the op as a signed number; false when the
// string ends first.
bool operand(GlyphRunReader *r, uint32_t n, bool highFirst, int32_t *out)
{
    if (uint64_t(r->pos) + n > r->length)
        return false;
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t b = r->data[r->pos + i];
        v |= highFirst ? b << (8 * (n - 1 - i)) : b << (8 * i);
    }
    r->pos += n;
    r->units = (r->pos + 1) / 2;
    if (n && n < 4) {
        uint32_t shift = 32 - 8 * n;
        *out = int32_t(v << shift) >> shift;
    } else {
        *out = 0;
    }
    return true;
}

int growExpand(GlyphRunReader *r, uint64_t bytes)
{
    if (r->expandCapacity >= bytes)
        return Res_ok;
    uint8_t *grown = static_cast<uint8_t *>(Mem_malloc(size_t(bytes)));
    if (!grown)
        return Res_noMemory;
    if (r->expand != r->inlineArea)
        Mem_free(r->expand);
    r->expand = grown;
    r->expandCapacity = uint32_t(bytes);
    return Res_ok;
}

} // namespace

int GlyphRun_next(GlyphRunReader *r)
{
    r->run = nullptr;
    r->runLength = 0;
    r->text = nullptr;
    r->textLength = 0;
    for (;;) {
        if (r->pos >= r->length) {
            endOfString(r);
            return Res_ok;
        }
        uint32_t at = r->pos;
        uint8_t op = r->data[at];
        if (op >= 32) {
            uint32_t end = at;
            while (end < r->length && r->data[end] >= 32)
                end++;
            uint32_t n = end - at;
            int err = growExpand(r, uint64_t(n) * 2);
            if (err)
                return err;
            char16_t *units = reinterpret_cast<char16_t *>(r->expand);
            for (uint32_t i = 0; i < n; i++)
                units[i] = char16_t(r->data[at + i]);
            r->pos = end;
            r->units = (r->pos + 1) / 2;
            r->run = units;
            r->runLength = n;
            takeText(r);
            return Res_ok;
        }
        if (at & 1u) {
            r->pos = r->units * 2;
        } else {
            r->units = at / 2 + 1;
            r->pos = at + 1;
        }
        int32_t v = 0;
        if (op >= 17) {
            uint32_t nx = op & 3u, ny = (op >> 2) & 3u;
            int32_t dx = 0, dy = 0;
            if (!operand(r, nx, false, &dx) || !operand(r, ny, false, &dy)) {
                endOfString(r);
                return Res_ok;
            }
            r->x = int32_t(uint32_t(r->x) + uint32_t(dx));
            r->y = int32_t(uint32_t(r->y) - uint32_t(dy));
            continue;
        }
        if (op >= 3 && op <= 6) {
            if (!operand(r, op == 3 || op == 5 ? 2 : 3, true, &v)) {
                endOfString(r);
                return Res_ok;
            }
            if (op <= 4)
                r->wordSpacing = v;
            else
                r->charSpacing = v;
            continue;
        }
        if (op == 7) {
            if (!operand(r, 2, false, &v)) {
                endOfString(r);
                return Res_ok;
            }
            uint32_t n = uint32_t(v) & 0xFFFFu;
            uint64_t start = uint64_t(r->units) * 2;
            if (start + uint64_t(n) * 2 > r->length) {
                endOfString(r);
                return Res_ok;
            }
            if (n > r->textCapacity) {
                char16_t *grown = static_cast<char16_t *>(Mem_malloc(size_t(n) * sizeof(char16_t)));
                if (!grown)
                    return Res_noMemory;
                Mem_free(r->textBuffer);
                r->textBuffer = grown;
                r->textCapacity = n;
            }
            for (uint32_t i = 0; i < n; i++)
                r->textBuffer[i] = char16_t(Bytes_peekU16Le(r->data + start + 2 * i));
            bool atBoundary = r->pos == r->units * 2;
            r->units += n;
            if (atBoundary)
                r->pos = r->units * 2;
            r->textPending = n;
            continue;
        }
        if (op != 0 && op != 1 && op != 16)
            continue;
        uint32_t count = 1;
        if (op == 16 || op == 1) {
            if (!operand(r, op == 16 ? 1 : 2, false, &v)) {
                endOfString(r);
                return Res_ok;
            }
            count = op == 16 ? uint32_t(v) & 0xFFu : uint32_t(v) & 0xFFFFu;
        }
        uint64_t start = uint64_t(r->units) * 2;
        if (start + uint64_t(count) * 2 > r->length) {
            endOfString(r);
            return Res_ok;
        }
        bool atBoundary = r->pos == r->units * 2;
        const uint8_t *src = r->data + start;
        if (reinterpret_cast<uintptr_t>(src) & 1u) {
            int err = growExpand(r, uint64_t(count) * 2);
            if (err)
                return err;
            std::memcpy(r->expand, src, size_t(count) * 2);
            src = r->expand;
        }
        r->units += count;
        if (atBoundary)
            r->pos = r->units * 2;
        r->run = reinterpret_cast<const char16_t *>(src);
        r->runLength = count;
        if (count) {
            takeText(r);
            return Res_ok;
        }
    }
}

// ------------------------------------------------------------------ item

namespace {

GlyphRunItemPart *partOf(ObjHeader *item)
{
    return static_cast<GlyphRunItemPart *>(Obj_part(item));
}

// The run's matrix: the item's own (or the identity) moved to the item's
// origin plus the run position, then the caller's.
Matrix runMatrix(ObjHeader *item, const GlyphRunReader &r, const Matrix *matrix)
{
    Matrix m = item->matrix ? *item->matrix : *Matrix_identity();
    Matrix_translate(&m, int32_t(uint32_t(item->origin[0]) + uint32_t(r.x)),
                     int32_t(uint32_t(item->origin[1]) + uint32_t(r.y)));
    if (matrix)
        Matrix_concat(&m, matrix);
    return m;
}

// True when a run of an item without a matrix lies wholly outside clip.
int culled(ObjHeader *item, const GlyphRunReader &r, const Rect *clip, int32_t reach, bool *skip)
{
    *skip = false;
    if (!clip || item->matrix || Rect_isInfinite(clip))
        return Res_ok;
    const GlyphRunItemPart *p = partOf(item);
    int64_t x = int64_t(item->origin[0]) + r.x, y = int64_t(item->origin[1]) + r.y;
    if (y < int64_t(clip->y0) - reach || y > int64_t(clip->y1) + reach || x >= clip->x1) {
        *skip = true;
        return Res_ok;
    }
    if (x < clip->x0) {
        Rect e{};
        int err = TextRun_measureFit(p->fonts, p->size, p->styleFlags, p->style, r.run, r.runLength,
                                     r.charSpacing, r.wordSpacing, 0x7FFFFFFF, nullptr, &e);
        if (err)
            return err;
        *skip = x + e.x1 < clip->x0;
    }
    return Res_ok;
}

// How far glyphs reach from their baseline: the extent of "8".
int reachOf(const GlyphRunItemPart *p, int32_t *reach)
{
    static const char16_t kEight[1] = {u'8'};
    Rect e{};
    int err = TextRun_measureFit(p->fonts, p->size, p->styleFlags, p->style, kEight, 1, 0, 0,
                                 0x7FFFFFFF, nullptr, &e);
    int64_t r = int64_t(e.y1) - e.y0;
    *reach = r > INT32_MAX ? INT32_MAX : r < 0 ? 0 : int32_t(r);
    return err;
}

int drawItem(EngineContext *ctx, ObjHeader *item, const Rect *clip, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *, intptr_t)
{
    return GlyphRunItem_draw(ctx, item, clip, matrix, target);
}

int identifyItem(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                 const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = GlyphRunItem_identifier;
    return Res_ok;
}

int boundsItem(EngineContext *ctx, ObjHeader *item, Rect *out)
{
    Rect r{};
    int err = GlyphRunItem_bounds(ctx, item, &r);
    if (err == Res_ok && r.x0 <= r.x1 && r.y0 <= r.y1) {
        Point c[2] = {{r.x0, r.y0}, {r.x1, r.y1}};
        Rect_boundPoints(out, c, 2, 0);
    }
    return err;
}

const ObjItemOps kOps = {drawItem, identifyItem, boundsItem};

} // namespace

const ObjClass GlyphRunItem_class = {&kOps, int32_t(sizeof(GlyphRunItemPart)), nullptr,
                                     Obj_itemPlain};

void *DisplayItem_dataIfClass(ObjHeader *item)
{
    return item->cls == &GlyphRunItem_class ? Obj_part(item) : nullptr;
}

int GlyphRunItem_draw(EngineContext *ctx, ObjHeader *item, const Rect *clip, const Matrix *matrix,
                      const DrawTarget *target)
{
    const GlyphRunItemPart *p = partOf(item);
    // Fully transparent runs are there for their text only.
    if ((p->colour >> 24) == 0)
        return Res_ok;
    int32_t reach = 0;
    int err = Res_ok;
    if (clip && !item->matrix && !Rect_isInfinite(clip))
        err = reachOf(p, &reach);
    Rect device{};
    const Rect *cull = nullptr;
    if (clip && !Rect_isInfinite(clip)) {
        Point c[4] = {
            {clip->x0, clip->y0}, {clip->x1, clip->y0}, {clip->x1, clip->y1}, {clip->x0, clip->y1}};
        if (matrix)
            Matrix_transformPoints(c, 4, c, matrix);
        Rect_boundPoints(&device, c, 4, 1);
        cull = &device;
    }
    GlyphRunReader r;
    GlyphRun_readerInit(&r, p->bytes, p->length);
    int32_t budget = kStopBudget;
    while (err == Res_ok) {
        err = GlyphRun_next(&r);
        if (err || !r.run)
            break;
        bool skip = false;
        err = culled(item, r, clip, reach, &skip);
        if (err || skip)
            continue;
        Matrix m = runMatrix(item, r, matrix);
        err = TextRun_outline(p->fonts, p->size, p->styleFlags, p->style, r.run, r.runLength,
                              r.charSpacing, r.wordSpacing, &m, cull, target, p->colour);
        budget -= int32_t(r.runLength);
        if (!err && budget <= 0 && ctx) {
            budget = kStopBudget;
            if (Task_checkStop(ctx) == Res_stopRequested)
                err = Res_stopRequested;
        }
    }
    GlyphRun_readerFree(&r);
    return err;
}

int GlyphRunItem_bounds(EngineContext *, ObjHeader *item, Rect *out)
{
    *out = Rect_emptyBound;
    const GlyphRunItemPart *p = partOf(item);
    GlyphRunReader r;
    GlyphRun_readerInit(&r, p->bytes, p->length);
    int err = Res_ok;
    for (;;) {
        err = GlyphRun_next(&r);
        if (err || !r.run)
            break;
        Matrix m = runMatrix(item, r, nullptr);
        Rect e{};
        err = TextRun_measureXform(p->fonts, p->size, p->styleFlags, p->style, r.run, r.runLength,
                                   r.charSpacing, r.wordSpacing, &m, &e);
        if (err)
            break;
        Rect_union(out, &e);
    }
    GlyphRun_readerFree(&r);
    return err;
}

// ---------------------------------------------------------------- cursor

GlyphRunCursor *GlyphRunCursor_new(ObjHeader *item)
{
    GlyphRunCursor *c = static_cast<GlyphRunCursor *>(Mem_malloc(sizeof(GlyphRunCursor)));
    if (!c)
        return nullptr;
    // An item of another class gives a cursor without runs: its class
    // part is not a glyph-run string.
    const GlyphRunItemPart *p =
        static_cast<const GlyphRunItemPart *>(DisplayItem_dataIfClass(item));
    GlyphRun_readerInit(c, p ? p->bytes : nullptr, p ? p->length : 0);
    return c;
}

int GlyphRunCursor_next(GlyphRunCursor *c, const char16_t **chars, uint32_t *count)
{
    if (GlyphRun_next(c) != Res_ok)
        return 0;
    *chars = c->text;
    *count = c->textLength;
    return c->run ? 1 : 0;
}

int GlyphRunCursor_measure(GlyphRunCursor *c, ObjHeader *item, Rect *rect, int32_t *charSpacing,
                           int32_t *wordSpacing, Point *position, int placed)
{
    int err = Res_ok;
    const GlyphRunItemPart *p =
        static_cast<const GlyphRunItemPart *>(DisplayItem_dataIfClass(item));
    if (rect && c->run && !p)
        err = Res_unexpectedKind;
    else if (rect && c->run) {
        if (placed && item->matrix)
            err = TextRun_measureXform(p->fonts, p->size, p->styleFlags, p->style, c->run,
                                       c->runLength, c->charSpacing, c->wordSpacing, item->matrix,
                                       rect);
        else
            err =
                TextRun_measureFit(p->fonts, p->size, p->styleFlags, p->style, c->run, c->runLength,
                                   c->charSpacing, c->wordSpacing, 0x7FFFFFFF, nullptr, rect);
        if (placed) {
            rect->x0 += c->x;
            rect->x1 += c->x;
            rect->y0 += c->y;
            rect->y1 += c->y;
        }
    }
    if (position)
        *position = Point{c->x, c->y};
    if (charSpacing)
        *charSpacing = c->charSpacing;
    if (wordSpacing)
        *wordSpacing = c->wordSpacing;
    return err;
}

void GlyphRunCursor_free(GlyphRunCursor *c)
{
    if (!c)
        return;
    GlyphRun_readerFree(c);
    Mem_free(c);
}
