// Glyph outlines of the point-record kind: creation, transformed appends
// (composite glyphs) and moving an outline sideways, which the TrueType
// loader uses to align a glyph's left edge with the metric its font reports.
#include "graphics/glyphpath.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"

// Adds dx to the first record and to every absolute record: the others
// hold deltas and move with the record before them. Composite glyphs are
// made of absolute records only, so moving the first record alone would
// move only their first point.
void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx)
{
    if (!outline || outline->kind != GlyphPath_kindPoints || !outline->bytes || outline->lastSize == 0)
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
            uint16_t x = uint16_t(uint16_t(r[1] | r[2] << 8) + uint32_t(dx));
            r[1] = uint8_t(x);
            r[2] = uint8_t(x >> 8);
        }
        at += GlyphPoint_wideSize;
    }
}

// Creation, destruction and transformed appends of outlines. Only the
// point-record kind, which the TrueType loader builds, is made here; the
// byte-coded and path kinds come with the rest of the outline code.

int GlyphPath_create(GlyphPath **out, uint32_t kind)
{
    *out = static_cast<GlyphPath *>(Mem_calloc(1, sizeof(GlyphPath)));
    if (!*out)
        return Res_noMemory;
    (*out)->kind = kind;
    return Res_ok;
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

// Interim: the whole point-record copy, since composite glyphs are built
// with it; other kinds append nothing until the outline code exists.
int GlyphPath_appendComponent(GlyphPath *dst, const GlyphPath *src, int32_t a, int32_t b, int32_t c,
                              int32_t d, uint32_t offset)
{
    uint32_t srcUsed = src->lastStart + src->lastSize;
    if (!src->bytes || src->lastSize == 0 || dst->kind != GlyphPath_kindPoints || srcUsed > src->byteCapacity)
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
            x += int16_t(r[1] | r[2] << 8);
            y += int16_t(r[3] | r[4] << 8);
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
