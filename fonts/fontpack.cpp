// The engine's own font packs: their coding settings ('ffst') and glyph
// locations ('sloc'). Their advance widths ('ffhm') are read by
// FontPack_getAdvances (fonts/fontsupport.h).
//
// 'sloc' predicts each glyph's location inside a segment by sharing the
// segment's span out evenly, then subtracts a correction byte per glyph.
// The sharing divides by the segment's glyph count less one, so a segment
// of one glyph would divide by zero: such packs are refused when opened,
// as are packs whose advance widths have an unknown version (they would
// leave the face without metrics).
#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontface.h"

namespace {

struct SlocSegment {
    uint16_t first; // first glyph
    uint16_t span;
    uint32_t base; // offset of the first glyph
};

// A face's loaded 'sloc': its segments (the last a sentinel), the value
// after them (numGlyphs + 1) and where the correction bytes start.
struct SlocRecord {
    uint32_t version;
    uint32_t segmentCount;
    SlocSegment *segments;
    uint32_t after;
    uint32_t correctionStart; // file position
    uint32_t correctionEnd;   // the table's end
};

void freeSloc(SlocRecord *s)
{
    if (!s)
        return;
    Mem_free(s->segments);
    Mem_free(s);
}

// Reads and checks 'sloc': every segment before the sentinel spans at
// least two glyphs, so the segments also ascend.
int readSloc(EngineContext *ctx, BufStream *rd, const FontTableDir *tables, SlocRecord **out)
{
    *out = nullptr;
    const FontTableEntry &e = tables->tables[FontTable_sloc];
    SlocRecord *s = static_cast<SlocRecord *>(Mem_calloc(1, sizeof(SlocRecord)));
    if (!s)
        return Res_noMemory;
    uint16_t count = 0;
    int r = BufStream_setRange(ctx, rd, e.offset, e.length);
    if (r == Res_ok)
        r = BufStream_readU32(&s->version, rd);
    if (r == Res_ok)
        r = BufStream_readU16(&count, rd);
    if (r == Res_ok && count == 0)
        r = Res_fontUnsupported;
    if (r == Res_ok) {
        s->segmentCount = count;
        s->segments = static_cast<SlocSegment *>(Mem_malloc(sizeof(SlocSegment) * count));
        r = s->segments ? Res_ok : Res_noMemory;
    }
    for (uint32_t i = 0; i < s->segmentCount && r == Res_ok; i++) {
        SlocSegment &g = s->segments[i];
        r = BufStream_readU16(&g.first, rd);
        if (r == Res_ok)
            r = BufStream_readU16(&g.span, rd);
        if (r == Res_ok)
            r = BufStream_readU32(&g.base, rd);
        if (r == Res_ok && i && uint32_t(g.first) < uint32_t(s->segments[i - 1].first) + 2)
            r = Res_fontUnsupported;
    }
    if (r == Res_ok)
        r = BufStream_readU32(&s->after, rd);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok) {
        freeSloc(s);
        return r;
    }
    s->correctionStart = e.offset + 10 + 8 * s->segmentCount;
    s->correctionEnd = uint32_t(std::min<uint64_t>(uint64_t(e.offset) + e.length, UINT32_MAX));
    *out = s;
    return Res_ok;
}

FontFace *sharedParent(const FontFace *face)
{
    return (face->flags & FontFace_sharesParent) ? face->parent : nullptr;
}

} // namespace

int FontPack_readHeader(FontFace *face, BufStream *reader, FontTableDir *tables)
{
    EngineContext *ctx = face->source;
    tables->packSetting1 = 2;
    tables->packSetting2 = 10;
    int r = Res_ok;
    const FontTableEntry &ffst = tables->tables[FontTable_ffst];
    if (ffst.length) {
        uint16_t version = 0;
        r = BufStream_setRange(ctx, reader, ffst.offset, ffst.length);
        if (r == Res_ok)
            r = BufStream_readU16(&version, reader);
        if (r == Res_ok && version == 1) {
            r = BufStream_skip(reader, 2);
            uint32_t entries = ffst.length >= 4 ? (ffst.length - 4) / 4 : 0;
            for (uint32_t i = 0; i < entries && r == Res_ok; i++) {
                uint16_t id = 0, value = 0;
                r = BufStream_readU16(&id, reader);
                if (r == Res_ok)
                    r = BufStream_readU16(&value, reader);
                if (r == Res_ok && int16_t(id) == 1)
                    tables->packSetting1 = value;
                else if (r == Res_ok && int16_t(id) == 2)
                    tables->packSetting2 = value;
            }
        }
        // Only ends the read window: a read fault already showed in the reads.
        (void)BufStream_flush(reader);
    }
    const FontTableEntry &ffhm = tables->tables[FontTable_ffhm];
    if (r == Res_ok && ffhm.length) {
        uint32_t version = 0;
        r = BufStream_setRange(ctx, reader, ffhm.offset, ffhm.length);
        if (r == Res_ok)
            r = BufStream_readU32(&version, reader);
        // Only ends the read window: a read fault already showed in the reads.
        (void)BufStream_flush(reader);
        if (r == Res_ok && (version >> 16) != 1)
            r = Res_fontUnsupported;
    }
    if (r == Res_ok && tables->tables[FontTable_sloc].length) {
        SlocRecord *s = nullptr;
        r = readSloc(ctx, reader, tables, &s);
        freeSloc(s);
    }
    return r;
}

int FontPack_glyphDataPos(FontFace *face, uint16_t glyph, uint32_t *position)
{
    *position = 0;
    FontFace *parent = sharedParent(face);
    SlocRecord *s = static_cast<SlocRecord *>(face->glyphOffsets);
    if (!s && parent)
        s = static_cast<SlocRecord *>(parent->glyphOffsets);
    if (!s) {
        if (!face->reader || !face->tables)
            return Res_nullInput;
        int r = readSloc(face->source, face->reader, face->tables, &s);
        if (r != Res_ok)
            return r;
    }
    face->glyphOffsets = s;
    if (parent)
        parent->glyphOffsets = s;
    // The segment holding the glyph, among those before the sentinel.
    const SlocSegment *begin = s->segments, *end = s->segments + s->segmentCount - 1;
    const SlocSegment *next = std::upper_bound(
        begin, end + 1, glyph, [](uint16_t g, const SlocSegment &x) { return g < x.first; });
    if (next == begin || next > end)
        return Res_ok;
    const SlocSegment &seg = next[-1];
    uint32_t at = s->correctionStart + uint32_t(glyph);
    if (uint64_t(s->correctionStart) + glyph >= s->correctionEnd)
        return Res_bufWindowShort;
    uint8_t correction = 0;
    int r = BufStream_setRange(face->source, face->reader, at, 1);
    if (r == Res_ok)
        r = BufStream_readU8(&correction, face->reader);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(face->reader);
    if (r != Res_ok)
        return r;
    int64_t divisor = int64_t(next->first) - 1 - seg.first;
    int64_t v = int64_t(seg.base) + int64_t(seg.span) * (glyph - seg.first) / divisor - correction;
    *position = uint32_t(v);
    return Res_ok;
}

int FontPack_freeGlyphOffsets(FontFace *face)
{
    freeSloc(static_cast<SlocRecord *>(face->glyphOffsets));
    face->glyphOffsets = nullptr;
    return Res_ok;
}
