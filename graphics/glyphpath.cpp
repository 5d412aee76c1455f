// Glyph outlines of the point-record kind: creation, transformed appends
// (composite glyphs) and moving an outline sideways, which the TrueType
// loader uses to align a glyph's left edge with the metric its font reports.
#include "graphics/glyphpath.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/path.h"
#include "graphics/contour.h"

#include <cstring>

// Adds dx to the first record and to every absolute record: the others
// hold deltas and move with the record before them. Composite glyphs are
// made of absolute records only, so moving the first record alone would
// move only their first point.
void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx)
{
    if (!outline || outline->kind != GlyphPath_kindPoints || !outline->bytes ||
        outline->lastSize == 0)
        return;
    uint32_t used = outline->lastStart + outline->lastSize;
    if (used > outline->byteCapacity)
        return;
    for (uint32_t at = 0; at < used;) {
        uint8_t *r = outline->bytes + at;
        if (!(r[0] & GlyphPoint_wide)) {
            at += GlyphPoint_narrowSize;
            continue;
        }
        if (at == 0 || (r[0] & GlyphPoint_absolute)) {
            uint16_t x = uint16_t(Bytes_peekU16Le(r + 1) + uint32_t(dx));
            r[1] = uint8_t(x);
            r[2] = uint8_t(x >> 8);
        }
        at += GlyphPoint_wideSize;
    }
}

// Creation, destruction, the byte codes and transformed appends.

int GlyphPath_create(GlyphPath **out, uint32_t kind)
{
    *out = static_cast<GlyphPath *>(Mem_calloc(1, sizeof(GlyphPath)));
    if (!*out)
        return Res_noMemory;
    (*out)->kind = kind;
    if (kind == GlyphPath_kindPath && Path_create(&(*out)->path, 0x10000) != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
        return Res_noMemory;
    }
    return Res_ok;
}

namespace {

uint32_t usedBytes(const GlyphPath *o)
{
    return o->lastSize ? o->lastStart + o->lastSize : 0;
}

bool fitsByte(int32_t v)
{
    return v >= -128 && v <= 127;
}

// Writes one code and its values (narrow bytes or wide 16-bit words).
int writeCode(GlyphPath *o, uint8_t code, const int32_t *v, uint32_t n)
{
    bool wide = false;
    for (uint32_t i = 0; i < n; i++)
        wide = wide || !fitsByte(v[i]);
    uint32_t size = 1 + n * (wide ? 2 : 1);
    if (GlyphPath_reserve(o, size) != Res_ok)
        return Res_noMemory;
    uint32_t at = usedBytes(o);
    uint8_t *w = o->bytes + at;
    *w++ = uint8_t(code | (wide ? GlyphCode_wide : 0));
    for (uint32_t i = 0; i < n; i++) {
        if (wide) {
            *w++ = uint8_t(v[i]);
            *w++ = uint8_t(uint32_t(v[i]) >> 8);
        } else {
            *w++ = uint8_t(v[i]);
        }
    }
    o->lastStart = at;
    o->lastSize = size;
    return Res_ok;
}

int ensureStarted(GlyphPath *o)
{
    if (o->lastSize != 0)
        return Res_ok;
    const int32_t zero[2] = {0, 0};
    return writeCode(o, GlyphCode_moveTo, zero, 2);
}

// Trims the buffer to its used bytes; 1 when the trim fails (unchanged).
int trim(GlyphPath *o)
{
    uint32_t used = usedBytes(o);
    if (used == 0 || used == o->byteCapacity)
        return Res_ok;
    uint8_t *b = static_cast<uint8_t *>(Mem_realloc(o->bytes, used));
    if (!b)
        return Res_noMemory;
    o->bytes = b;
    o->byteCapacity = used;
    return Res_ok;
}

// Truncates k x size / 16384 toward zero.
int32_t missingUnit(int32_t k, int32_t size)
{
    return int32_t(int64_t(k) * size / 16384);
}

} // namespace

int GlyphPath_reserve(GlyphPath *o, uint32_t n)
{
    uint64_t need = uint64_t(usedBytes(o)) + n;
    if (o->bytes && need <= o->byteCapacity)
        return Res_ok;
    uint64_t cap = o->byteCapacity ? o->byteCapacity : 1024;
    while (cap < need)
        cap *= 2;
    if (cap > 0x7FFFFFFF)
        return Res_noMemory;
    uint8_t *b = static_cast<uint8_t *>(Mem_realloc(o->bytes, size_t(cap)));
    if (!b)
        return Res_noMemory;
    o->bytes = b;
    o->byteCapacity = uint32_t(cap);
    return Res_ok;
}

int GlyphPath_moveTo(GlyphPath *o, int32_t dx, int32_t dy)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    const int32_t v[2] = {dx, dy};
    return writeCode(o, GlyphCode_moveTo, v, 2);
}

int GlyphPath_lineTo(GlyphPath *o, int32_t dx, int32_t dy)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    if (ensureStarted(o) != Res_ok)
        return Res_noMemory;
    const int32_t v[2] = {dx, dy};
    return writeCode(o, GlyphCode_lineTo, v, 2);
}

int GlyphPath_curveTo(GlyphPath *o, int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2, int32_t dx3,
                      int32_t dy3)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    if (ensureStarted(o) != Res_ok)
        return Res_noMemory;
    const int32_t v[6] = {dx1, dy1, dx2, dy2, dx3, dy3};
    return writeCode(o, GlyphCode_curveTo, v, 6);
}

int GlyphPath_close(GlyphPath *o)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    return writeCode(o, GlyphCode_close, nullptr, 0);
}

int GlyphPath_end(GlyphPath *o)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    if (writeCode(o, GlyphCode_end, nullptr, 0) != Res_ok)
        return Res_noMemory;
    return trim(o);
}

int GlyphPath_setHeader(GlyphPath *o, int16_t v0, int16_t v1, int16_t v2, int16_t v3)
{
    if (o->kind != GlyphPath_kindCodes)
        return Res_ok;
    if (!o->bytes || o->byteCapacity < 9) {
        uint32_t keep = o->lastSize;
        o->lastSize = 0;
        int r = GlyphPath_reserve(o, 9);
        o->lastSize = keep;
        if (r != Res_ok)
            return r;
    }
    uint8_t *w = o->bytes;
    w[0] = GlyphCode_header;
    const int16_t v[4] = {v0, v1, v2, v3};
    for (int i = 0; i < 4; i++) {
        w[1 + 2 * i] = uint8_t(v[i]);
        w[2 + 2 * i] = uint8_t(uint16_t(v[i]) >> 8);
    }
    o->lastStart = 0;
    o->lastSize = 9;
    return Res_ok;
}

int GlyphPath_finish(GlyphPath *o)
{
    if (!o->bytes)
        return Res_ok;
    if (o->kind == GlyphPath_kindCodes)
        return GlyphPath_end(o);
    if (o->kind != GlyphPath_kindPoints || o->lastSize == 0)
        return Res_ok;
    o->bytes[o->lastStart] |= GlyphPoint_last;
    return trim(o);
}

const uint8_t *GlyphPath_nextOp(const uint8_t *code)
{
    uint8_t c = code[0];
    uint32_t w = (c & GlyphCode_wide) ? 2 : 1;
    switch (c & 15) {
    case GlyphCode_moveTo:
    case GlyphCode_lineTo: return code + 1 + 2 * w;
    case GlyphCode_curveTo: return code + 1 + 6 * w;
    case GlyphCode_close:
    case GlyphCode_end:
    case GlyphCode_reset:
    case GlyphCode_skip: return code + 1;
    case GlyphCode_header: return code + 9;
    case GlyphCode_skip4: return code + 5;
    default: return code;
    }
}

void GlyphPath_count(const GlyphPath *o, GlyphPathMeasure *out)
{
    *out = GlyphPathMeasure{0, 0, nullptr};
    if (!o->bytes || o->lastSize == 0)
        return;
    uint32_t used = usedBytes(o);
    const uint8_t *p = o->bytes, *limit = o->bytes + used;
    while (p < limit) {
        out->count++;
        if ((p[0] & 15) == GlyphCode_end) {
            out->end = p;
            out->length = uint32_t(p + 1 - o->bytes);
            return;
        }
        const uint8_t *n = GlyphPath_nextOp(p);
        if (n == p || n > limit)
            break;
        p = n;
    }
    // No end code written yet: the measure covers the codes so far.
    out->length = uint32_t(p - o->bytes);
    out->end = nullptr;
}

void GlyphPath_countRecords(const GlyphPath *o, GlyphPathMeasure *out)
{
    *out = GlyphPathMeasure{0, 0, nullptr};
    if (!o->bytes || o->lastSize == 0)
        return;
    uint32_t used = usedBytes(o);
    for (uint32_t at = 0; at < used;) {
        const uint8_t *r = o->bytes + at;
        uint32_t size = (r[0] & GlyphPoint_wide) ? GlyphPoint_wideSize : GlyphPoint_narrowSize;
        if (at + size > used)
            break;
        out->count++;
        out->end = r;
        at += size;
        out->length = at;
        if (r[0] & GlyphPoint_last)
            break;
    }
}

void GlyphPath_measure(const GlyphPath *o, GlyphPathMeasure *out)
{
    if (o->kind == GlyphPath_kindPoints)
        GlyphPath_countRecords(o, out);
    else if (o->kind == GlyphPath_kindCodes)
        GlyphPath_count(o, out);
    else
        *out = GlyphPathMeasure{0, 0, nullptr};
}

int GlyphPath_append(GlyphPath *dst, const GlyphPath *src, int32_t dx, int32_t dy, int reset)
{
    if (dst->kind != GlyphPath_kindCodes || src->kind != GlyphPath_kindCodes || !src->bytes)
        return Res_ok;
    GlyphPathMeasure dm, sm;
    GlyphPath_count(dst, &dm);
    GlyphPath_count(src, &sm);
    if (sm.length == 0)
        return Res_ok;
    const uint8_t *first = src->bytes;
    // The source's header is not a drawing code: its first point follows it.
    if ((first[0] & 15) == GlyphCode_header)
        first += 9;
    uint32_t srcStart = uint32_t(first - src->bytes);
    if (srcStart >= sm.length)
        return Res_ok;
    uint32_t base = dm.end ? uint32_t(dm.end - dst->bytes) : dm.length;
    uint32_t room = base + sm.length + 3 + 1 + 4;
    if (room > dst->byteCapacity || !dst->bytes) {
        uint8_t *b = static_cast<uint8_t *>(Mem_realloc(dst->bytes, room));
        if (!b)
            return Res_noMemory;
        dst->bytes = b;
        dst->byteCapacity = room;
    }
    uint8_t *w = dst->bytes + base;
    if (reset)
        *w++ = GlyphCode_reset;
    uint8_t op = first[0] & 15;
    const uint8_t *rest = first;
    if (op == GlyphCode_moveTo || op == GlyphCode_lineTo) {
        bool wide = first[0] & GlyphCode_wide;
        int32_t x = wide ? int16_t(Bytes_peekU16Le(first + 1)) : int8_t(first[1]);
        int32_t y = wide ? int16_t(Bytes_peekU16Le(first + 3)) : int8_t(first[2]);
        uint16_t nx = uint16_t(x + dx), ny = uint16_t(y + dy);
        *w++ = uint8_t(op | GlyphCode_wide);
        *w++ = uint8_t(nx), *w++ = uint8_t(nx >> 8), *w++ = uint8_t(ny), *w++ = uint8_t(ny >> 8);
        rest = GlyphPath_nextOp(first);
    }
    uint32_t tail = sm.length - uint32_t(rest - src->bytes);
    memmove(w, rest, tail);
    w += tail;
    uint32_t used = uint32_t(w - dst->bytes);
    const uint8_t *lastCode = sm.end ? w - 1 : w;
    dst->lastStart = uint32_t(lastCode - dst->bytes);
    dst->lastSize = used - dst->lastStart;
    if (dst->lastSize == 0) {
        dst->lastStart = used - 1;
        dst->lastSize = 1;
    }
    return Res_ok;
}

GlyphPath *GlyphPath_cloneRecords(const GlyphPath *o)
{
    if (!o)
        return nullptr;
    GlyphPath *c = nullptr;
    if (GlyphPath_create(&c, o->kind) != Res_ok)
        return nullptr;
    uint32_t used = usedBytes(o);
    if (o->kind == GlyphPath_kindPoints && o->bytes && used) {
        c->bytes = static_cast<uint8_t *>(Mem_malloc(used));
        if (!c->bytes) {
            GlyphPath_destroy(c);
            return nullptr;
        }
        memcpy(c->bytes, o->bytes, used);
        c->byteCapacity = used;
        c->lastStart = o->lastStart;
        c->lastSize = o->lastSize;
    }
    return c;
}

GlyphPath *GlyphPath_missingGlyph(int32_t size)
{
    GlyphPath *o = nullptr;
    if (GlyphPath_create(&o, GlyphPath_kindCodes) != Res_ok)
        return nullptr;
    auto u = [size](int32_t k) { return missingUnit(k, size); };
    int r = GlyphPath_moveTo(o, u(256), 0);
    r |= GlyphPath_lineTo(o, 0, u(1280));
    r |= GlyphPath_lineTo(o, u(1024), 0);
    r |= GlyphPath_lineTo(o, 0, u(-1280));
    r |= GlyphPath_close(o);
    r |= GlyphPath_moveTo(o, u(-992), u(32));
    r |= GlyphPath_lineTo(o, u(960), 0);
    r |= GlyphPath_lineTo(o, 0, u(1216));
    r |= GlyphPath_lineTo(o, u(-960), 0);
    r |= GlyphPath_close(o);
    r |= GlyphPath_end(o);
    if (r != Res_ok) {
        GlyphPath_destroy(o);
        return nullptr;
    }
    return o;
}

uint32_t GlyphPath_missingAdvance(int32_t size)
{
    return uint32_t(missingUnit(12744, size)) & 0xFFFF;
}

void GlyphPath_destroy(GlyphPath *outline)
{
    if (!outline)
        return;
    if (outline->kind == GlyphPath_kindPath)
        Path_destroy(outline->path);
    Mem_free(outline->bytes);
    Mem_free(outline);
}

int GlyphPath_appendComponent(GlyphPath *dst, const GlyphPath *src, int32_t a, int32_t b, int32_t c,
                              int32_t d, uint32_t offset)
{
    if (!src->bytes)
        return Res_ok;
    if (dst->kind == GlyphPath_kindPoints)
        return GlyphPath_appendRecords(dst, src, a, b, c, d, offset);
    if (dst->kind == GlyphPath_kindCodes)
        return GlyphPath_append(dst, src, int16_t(offset), int16_t(offset >> 16), 1);
    return Res_ok;
}

int GlyphPath_appendRecords(GlyphPath *dst, const GlyphPath *src, int32_t a, int32_t b, int32_t c,
                            int32_t d, uint32_t offset)
{
    uint32_t srcUsed = src->lastStart + src->lastSize;
    if (!src->bytes || src->lastSize == 0 || dst->kind != GlyphPath_kindPoints ||
        srcUsed > src->byteCapacity)
        return Res_ok;
    uint32_t used = dst->lastSize ? dst->lastStart + dst->lastSize : 0;
    // Room for the most records the source can hold (3 bytes each).
    size_t room = used + size_t(GlyphPoint_wideSize) * (srcUsed / GlyphPoint_narrowSize + 1);
    uint8_t *bytes = static_cast<uint8_t *>(Mem_realloc(dst->bytes, room));
    if (!bytes)
        return Res_noMemory;
    dst->bytes = bytes;
    if (dst->lastSize)
        bytes[dst->lastStart] &= uint8_t(~GlyphPoint_last);
    bool plain = a == 65536 && d == 65536 && b == 0 && c == 0;
    int64_t dx = int16_t(offset), dy = int16_t(offset >> 16), x = 0, y = 0;
    const uint8_t *from = src->bytes;
    uint8_t *w = bytes + used;
    for (uint32_t at = 0; at < srcUsed;) {
        const uint8_t *r = from + at;
        uint8_t f = r[0];
        if (f & GlyphPoint_absolute)
            x = y = 0;
        // A branch, not a select: the stride is then predicted instead of
        // waiting for each record's flag (records are nearly always wide).
        if (f & GlyphPoint_wide) {
            x += int16_t(Bytes_peekU16Le(r + 1));
            y += int16_t(Bytes_peekU16Le(r + 3));
            at += GlyphPoint_wideSize;
        } else {
            x += int8_t(r[1]);
            y += int8_t(r[2]);
            at += GlyphPoint_narrowSize;
        }
        uint16_t tx = uint16_t(plain ? x + dx : (a * x + c * y + dx * 65536) / 65536);
        uint16_t ty = uint16_t(plain ? y + dy : (b * x + d * y + dy * 65536) / 65536);
        w[0] = uint8_t(f | GlyphPoint_wide | GlyphPoint_absolute);
        w[1] = uint8_t(tx), w[2] = uint8_t(tx >> 8), w[3] = uint8_t(ty), w[4] = uint8_t(ty >> 8);
        w += GlyphPoint_wideSize;
    }
    used = uint32_t(w - bytes);
    dst->lastStart = used - GlyphPoint_wideSize;
    bytes[dst->lastStart] |= GlyphPoint_last;
    dst->lastSize = GlyphPoint_wideSize;
    dst->byteCapacity = uint32_t(room);
    return Res_ok;
}

namespace {

// Feeds one contour's points, then its first (and, after a control-point
// start, its second) again so that the spline closes, then closes it.
int contourToPath(GlyphPath *holder, const int32_t *pts, const uint8_t *on, uint32_t n)
{
    ContourState st{};
    int r = Res_ok;
    for (uint32_t i = 0; i < n && r == Res_ok; i++)
        r = Contour_addPoint(holder, &st, pts[2 * i], pts[2 * i + 1], on[i]);
    if (r == Res_ok && n > 0)
        r = Contour_addPoint(holder, &st, pts[0], pts[1], on[0]);
    if (r == Res_ok && n > 1 && !on[0])
        r = Contour_addPoint(holder, &st, pts[2], pts[3], on[1]);
    if (r == Res_ok && n > 0)
        r = Path_close(holder->path);
    return r;
}

int recordsToPath(const GlyphPath *o, Path *path)
{
    uint32_t used = usedBytes(o);
    // At most one point per 3 bytes: one buffer for the longest contour.
    uint32_t most = used / GlyphPoint_narrowSize + 1;
    int32_t *pts = static_cast<int32_t *>(Mem_malloc(size_t(most) * 8));
    uint8_t *on = static_cast<uint8_t *>(Mem_malloc(most));
    if (!pts || !on) {
        Mem_free(pts);
        Mem_free(on);
        return Res_noMemory;
    }
    GlyphPath holder{GlyphPath_kindPath, nullptr, path, 0, 0, 0};
    int32_t x = 0, y = 0;
    uint32_t n = 0;
    int r = Res_ok;
    for (uint32_t at = 0; at < used && r == Res_ok;) {
        const uint8_t *rec = o->bytes + at;
        uint8_t f = rec[0];
        uint32_t size = (f & GlyphPoint_wide) ? GlyphPoint_wideSize : GlyphPoint_narrowSize;
        if (at + size > used)
            break;
        if (f & GlyphPoint_absolute)
            x = y = 0;
        if (f & GlyphPoint_wide) {
            x += int16_t(Bytes_peekU16Le(rec + 1));
            y += int16_t(Bytes_peekU16Le(rec + 3));
        } else {
            x += int8_t(rec[1]);
            y += int8_t(rec[2]);
        }
        at += size;
        pts[2 * n] = x;
        pts[2 * n + 1] = y;
        on[n++] = (f & GlyphPoint_onCurve) ? 1 : 0;
        if ((f & (GlyphPoint_contourEnd | GlyphPoint_last)) || at >= used) {
            r = contourToPath(&holder, pts, on, n);
            n = 0;
        }
        if (f & GlyphPoint_last)
            break;
    }
    Mem_free(pts);
    Mem_free(on);
    return r;
}

int codesToPath(const GlyphPath *o, Path *path)
{
    uint32_t used = usedBytes(o);
    const uint8_t *p = o->bytes, *limit = o->bytes + used;
    int32_t x = 0, y = 0;
    int r = Res_ok;
    while (p < limit && r == Res_ok) {
        uint8_t code = p[0], op = code & 15;
        const uint8_t *next = GlyphPath_nextOp(p);
        if (next == p || next > limit || op == GlyphCode_end)
            break;
        bool wide = code & GlyphCode_wide;
        auto value = [&](uint32_t k) {
            return wide ? int32_t(int16_t(Bytes_peekU16Le(p + 1 + 2 * k)))
                        : int32_t(int8_t(p[1 + k]));
        };
        switch (op) {
        case GlyphCode_moveTo:
        case GlyphCode_lineTo:
            x += value(0);
            y += value(1);
            r = op == GlyphCode_moveTo ? Path_moveTo(path, x, y) : Path_lineTo(path, x, y);
            break;
        case GlyphCode_curveTo: {
            int32_t x1 = x + value(0), y1 = y + value(1);
            int32_t x2 = x1 + value(2), y2 = y1 + value(3);
            x = x2 + value(4);
            y = y2 + value(5);
            r = Path_curveTo(path, x1, y1, x2, y2, x, y);
            break;
        }
        case GlyphCode_close: r = Path_close(path); break;
        case GlyphCode_reset: x = y = 0; break;
        default: break;
        }
        p = next;
    }
    return r;
}

} // namespace

int GlyphPath_toPath(GlyphPath *outline, Path **out)
{
    *out = nullptr;
    if (outline && outline->kind == GlyphPath_kindPath && outline->path) {
        *out = outline->path;
        outline->path = nullptr;
        return Res_ok;
    }
    Path *path = nullptr;
    if (Path_create(&path, 0x10000) != Res_ok)
        return Res_noMemory;
    int r = Res_ok;
    if (outline && outline->bytes && outline->lastSize) {
        if (outline->kind == GlyphPath_kindPoints)
            r = recordsToPath(outline, path);
        else if (outline->kind == GlyphPath_kindCodes)
            r = codesToPath(outline, path);
    }
    if (r != Res_ok) {
        Path_destroy(path);
        return r;
    }
    *out = path;
    return Res_ok;
}
