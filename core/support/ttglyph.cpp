// TrueType glyph outlines: 'glyf' records into point-record outlines.
//
// A load windows the face's reader onto 'glyf' from the glyph's offset to
// the table's end and reads the header, then a simple body or the
// components of a composite. A component is loaded by the same code with
// the window released meanwhile, so the composite's window is remembered
// and set again afterwards. Loads carry a small state through the
// recursion: the nesting depth and the number of components read so far,
// which bound what a hostile file can make a load do (two composites that
// contain each other would otherwise recurse without end).
#include "core/support/ttglyph.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bufstream.h"
#include "core/support/fontsupport.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"

namespace
{

// Component flags.
enum : uint16_t {
    argsAreWords = 0x0001,
    argsAreOffsets = 0x0002,
    haveScale = 0x0008,
    moreComponents = 0x0020,
    haveXYScale = 0x0040,
    haveTwoByTwo = 0x0080,
};

// Simple glyph flags.
enum : uint8_t {
    onCurve = 0x01,
    xShort = 0x02,
    yShort = 0x04,
    repeat = 0x08,
    xSameOrPositive = 0x10,
    ySameOrPositive = 0x20,
};

struct LoadState {
    uint32_t depth;      // composites around the glyph being read
    uint32_t components; // components read by the whole load
};

int loadGlyph(FontFace *font, uint32_t offset, GlyphPath **out, const uint16_t *request, LoadState *st);

const FontTableEntry &glyfTable(const FontFace *font)
{
    return font->tables->tables[FontTable_glyf];
}

// An offset at or past the table's length reads the glyph at offset 0.
uint32_t effectiveOffset(const FontFace *font, uint32_t offset)
{
    return offset < glyfTable(font).length ? offset : 0;
}

uint32_t usedBytes(const GlyphPath *o)
{
    return o && o->bytes && o->lastSize ? o->lastStart + o->lastSize : 0;
}

uint32_t recordSize(uint8_t flags)
{
    return (flags & GlyphPoint_wide) ? GlyphPoint_wideSize : GlyphPoint_narrowSize;
}

// Points in an outline: its records up to the one marked last.
uint32_t countPoints(const GlyphPath *o)
{
    uint32_t used = usedBytes(o), n = 0;
    for (uint32_t at = 0; at < used; at += recordSize(o->bytes[at])) {
        n++;
        if (o->bytes[at] & GlyphPoint_last)
            break;
    }
    return n;
}

// The position of point index: the sum of the deltas of the records up to
// it, restarting at absolute records. 2314 for an outline without points,
// 2315 for an index past its last record.
int pointAt(const GlyphPath *o, uint32_t index, int64_t *x, int64_t *y)
{
    uint32_t used = usedBytes(o);
    if (used == 0)
        return Res_glyphNoPoints;
    *x = *y = 0;
    uint32_t i = 0;
    for (uint32_t at = 0; at < used; at += recordSize(o->bytes[at]), i++) {
        const uint8_t *r = o->bytes + at;
        if (r[0] & GlyphPoint_absolute)
            *x = *y = 0;
        if (r[0] & GlyphPoint_wide) {
            *x += int16_t(r[1] | r[2] << 8);
            *y += int16_t(r[3] | r[4] << 8);
        } else {
            *x += int8_t(r[1]);
            *y += int8_t(r[2]);
        }
        if (i == index)
            return Res_ok;
        if (r[0] & GlyphPoint_last)
            break;
    }
    return Res_glyphBadPoint;
}

void clearOutline(GlyphPath *o)
{
    Mem_free(o->bytes);
    o->bytes = nullptr;
    o->byteCapacity = o->lastStart = o->lastSize = 0;
}

// A 16-bit value of a byte run in the reader's byte order.
int16_t word(const uint8_t *p, bool little)
{
    return int16_t(little ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]));
}

// Reads the flags of n points, expanding repeats. 2315 when a repeat runs
// past the last point.
int readFlags(BufStream *rd, uint8_t *flags, uint32_t n)
{
    uint32_t i = 0;
    while (i < n) {
        uint8_t f = 0, count = 0;
        int r = BufStream_readU8(&f, rd);
        if (r == Res_ok && (f & repeat))
            r = BufStream_readU8(&count, rd);
        if (r != Res_ok)
            return r;
        if (uint32_t(count) >= n - i)
            return Res_glyphBadPoint;
        for (uint32_t k = 0; k <= count; k++)
            flags[i++] = f;
    }
    return Res_ok;
}

// Bytes of the x (shortBit xShort) or y coordinates the flags call for.
uint32_t coordinateBytes(const uint8_t *flags, uint32_t n, uint8_t shortBit, uint8_t sameBit)
{
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < n; i++)
        bytes += (flags[i] & shortBit) ? 1 : (flags[i] & sameBit) ? 0 : 2;
    return bytes;
}

// Decodes one axis of coordinates from data into the records (field 1 for
// x, 3 for y); answers the bytes used.
uint32_t decodeAxis(const uint8_t *flags, uint32_t n, const uint8_t *data, bool little, uint8_t shortBit,
                    uint8_t sameBit, uint8_t *records, uint32_t field)
{
    const uint8_t *p = data;
    for (uint32_t i = 0; i < n; i++) {
        int32_t v;
        if (flags[i] & shortBit) {
            v = (flags[i] & sameBit) ? *p : -int32_t(*p);
            p++;
        } else if (flags[i] & sameBit) {
            v = 0;
        } else {
            v = word(p, little);
            p += 2;
        }
        uint8_t *r = records + size_t(i) * GlyphPoint_wideSize + field;
        r[0] = uint8_t(v);
        r[1] = uint8_t(uint32_t(v) >> 8);
    }
    return uint32_t(p - data);
}

// The record flags: wide, on-curve, contour ends and the last point.
void writeRecordFlags(const uint8_t *flags, uint32_t n, const uint16_t *ends, uint32_t contours,
                      uint8_t *records)
{
    uint32_t contour = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint8_t f = GlyphPoint_wide | (flags[i] & onCurve);
        if (contour < contours && i == ends[contour]) {
            f |= GlyphPoint_contourEnd;
            contour++;
        }
        records[size_t(i) * GlyphPoint_wideSize] = f;
    }
    records[size_t(n - 1) * GlyphPoint_wideSize] |= GlyphPoint_last;
}

int readSimpleBody(FontFace *font, uint32_t contours, GlyphPath *outline)
{
    if (contours == 0)
        return Res_ok;
    BufStream *rd = font->reader;
    bool little = rd->byteOrder == BufStream_littleEndian;
    uint8_t *records = nullptr;
    uint8_t *flags = nullptr;
    uint16_t *ends = static_cast<uint16_t *>(Mem_malloc(size_t(contours) * 2));
    if (!ends)
        return Res_noMemory;
    int r = Res_ok;
    for (uint32_t c = 0; c < contours && r == Res_ok; c++)
        r = BufStream_readU16(&ends[c], rd);
    // 16-bit point count: a last end of 0xFFFF gives no points.
    uint32_t n = r == Res_ok ? uint16_t(ends[contours - 1] + 1) : 0;
    uint16_t instructions = 0;
    uint32_t xBytes = 0, yBytes = 0;
    if (r != Res_ok || n == 0)
        goto done;
    records = static_cast<uint8_t *>(Mem_malloc(size_t(n) * GlyphPoint_wideSize));
    // The flags, then room for the coordinates (at most 4 bytes a point).
    flags = static_cast<uint8_t *>(Mem_malloc(size_t(n) * 5));
    if (!records || !flags) {
        r = Res_noMemory;
        goto done;
    }
    r = BufStream_readU16(&instructions, rd);
    if (r == Res_ok)
        r = BufStream_skip(rd, instructions);
    if (r == Res_ok)
        r = readFlags(rd, flags, n);
    if (r != Res_ok)
        goto done;
    xBytes = coordinateBytes(flags, n, xShort, xSameOrPositive);
    yBytes = coordinateBytes(flags, n, yShort, ySameOrPositive);
    r = BufStream_read(rd, flags + n, size_t(xBytes) + yBytes);
    if (r != Res_ok)
        goto done;
    writeRecordFlags(flags, n, ends, contours, records);
    decodeAxis(flags, n, flags + n, little, xShort, xSameOrPositive, records, 1);
    decodeAxis(flags, n, flags + n + xBytes, little, yShort, ySameOrPositive, records, 3);
    outline->bytes = records;
    outline->byteCapacity = n * GlyphPoint_wideSize;
    outline->lastStart = (n - 1) * GlyphPoint_wideSize;
    outline->lastSize = GlyphPoint_wideSize;
    records = nullptr;
done:
    Mem_free(flags);
    Mem_free(records);
    Mem_free(ends);
    return r;
}

// One component's header: its flags, glyph, two arguments and transform.
struct Component {
    uint16_t flags;
    uint16_t glyph;
    int32_t arg1, arg2;
    int32_t a, b, c, d; // 16.16
};

// A 2.14 value read as 16.16.
int readScale(BufStream *rd, int32_t *value)
{
    uint16_t v = 0;
    int r = BufStream_readU16(&v, rd);
    *value = int32_t(int16_t(v)) * 4;
    return r;
}

int readComponentHeader(BufStream *rd, Component *k)
{
    int r = BufStream_readU16(&k->flags, rd);
    if (r == Res_ok)
        r = BufStream_readU16(&k->glyph, rd);
    bool offsets = k->flags & argsAreOffsets;
    if (r == Res_ok && (k->flags & argsAreWords)) {
        uint16_t v1 = 0, v2 = 0;
        r = BufStream_readU16(&v1, rd);
        if (r == Res_ok)
            r = BufStream_readU16(&v2, rd);
        k->arg1 = offsets ? int16_t(v1) : v1;
        k->arg2 = offsets ? int16_t(v2) : v2;
    } else if (r == Res_ok) {
        uint8_t v1 = 0, v2 = 0;
        r = BufStream_readU8(&v1, rd);
        if (r == Res_ok)
            r = BufStream_readU8(&v2, rd);
        k->arg1 = offsets ? int8_t(v1) : v1;
        k->arg2 = offsets ? int8_t(v2) : v2;
    }
    k->a = k->d = 0x10000;
    k->b = k->c = 0;
    if (r != Res_ok)
        return r;
    if (k->flags & haveScale) {
        r = readScale(rd, &k->a);
        k->d = k->a;
    } else if (k->flags & haveXYScale) {
        r = readScale(rd, &k->a);
        if (r == Res_ok)
            r = readScale(rd, &k->d);
    } else if (k->flags & haveTwoByTwo) {
        int32_t *v[4] = {&k->a, &k->b, &k->c, &k->d};
        for (int i = 0; i < 4 && r == Res_ok; i++)
            r = readScale(rd, v[i]);
    }
    return r;
}

// Loads component k: *out null for a glyph without data (its location
// equals the next glyph's), which adds nothing.
int loadComponent(FontFace *font, const Component &k, uint32_t ownOffset, LoadState *st, GlyphPath **out)
{
    *out = nullptr;
    if (!font->locateGlyph)
        return Res_notImplemented;
    if (++st->components > TtGlyph_maxComponents || st->depth >= TtGlyph_maxDepth)
        return Res_glyphSelfContained;
    uint32_t location = 0, next = 0;
    int r = font->locateGlyph(font, k.glyph, &location);
    if (r != Res_ok)
        return r;
    // A glyph whose data ends where it starts has no outline; reading at
    // its offset would read the next glyph instead (a no-break space made
    // of a space is the common case), which may be the composite itself.
    if (font->locateGlyph(font, uint16_t(k.glyph + 1), &next) == Res_ok && next == location)
        return Res_ok;
    if (effectiveOffset(font, location) == ownOffset)
        return Res_glyphSelfContained;
    st->depth++;
    r = loadGlyph(font, location, out, nullptr, st);
    st->depth--;
    return r;
}

// The offset (dx, dy) of component k: its arguments, or the difference of
// the matched points.
int componentOffset(const Component &k, const GlyphPath *outline, const GlyphPath *component,
                    uint32_t *packed)
{
    int64_t dx = k.arg1, dy = k.arg2;
    if (!(k.flags & argsAreOffsets)) {
        int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        int r = pointAt(outline, uint32_t(k.arg1), &x1, &y1);
        if (r == Res_ok)
            r = pointAt(component, uint32_t(k.arg2), &x2, &y2);
        if (r != Res_ok)
            return r;
        dx = x1 - x2;
        dy = y1 - y2;
    }
    *packed = uint32_t(uint16_t(dx)) | uint32_t(uint16_t(dy)) << 16;
    return Res_ok;
}

int readCompositeBody(FontFace *font, GlyphPath *outline, uint32_t ownOffset, LoadState *st)
{
    BufStream *rd = font->reader;
    uint32_t points = countPoints(outline);
    Component k{};
    int r = Res_ok;
    do {
        GlyphPath *component = nullptr;
        uint32_t packed = 0;
        r = readComponentHeader(rd, &k);
        if (r != Res_ok)
            break;
        uint32_t start = BufStream_getStart(rd), length = BufStream_getLimit(rd), pos = BufStream_tell(rd);
        (void)BufStream_flush(rd);
        r = loadComponent(font, k, ownOffset, st, &component);
        if (r == Res_ok)
            r = componentOffset(k, outline, component, &packed);
        if (r == Res_ok) {
            uint32_t added = countPoints(component);
            if (points + added > TtGlyph_maxPoints)
                r = Res_glyphBadPoint;
            points += added;
        }
        if (r == Res_ok && component)
            r = GlyphPath_appendComponent(outline, component, k.a, k.b, k.c, k.d, packed);
        GlyphPath_destroy(component);
        if (r == Res_ok)
            r = BufStream_setRange(font->source, rd, start, length);
        if (r == Res_ok)
            r = BufStream_skip(rd, pos);
    } while (r == Res_ok && (k.flags & moreComponents));
    (void)BufStream_flush(rd);
    return r;
}

int loadGlyph(FontFace *font, uint32_t offset, GlyphPath **out, const uint16_t *request, LoadState *st)
{
    *out = nullptr;
    if (!font || !font->reader || !font->tables)
        return Res_nullInput;
    BufStream *rd = font->reader;
    GlyphPath *outline = nullptr;
    int r = GlyphPath_create(&outline, GlyphPath_kindPoints);
    if (r != Res_ok)
        return r;
    const FontTableEntry &glyf = glyfTable(font);
    offset = effectiveOffset(font, offset);
    uint16_t contours = 0, xMin = 0;
    int32_t xMinScaled = 0;
    uint64_t start = uint64_t(glyf.offset) + offset;
    r = start > UINT32_MAX ? Res_bufWindowBeyond
                           : BufStream_setRange(font->source, rd, uint32_t(start), glyf.length - offset);
    if (r == Res_ok)
        r = BufStream_readU16(&contours, rd);
    if (r == Res_ok)
        r = BufStream_readU16(&xMin, rd);
    if (r == Res_ok)
        r = BufStream_skip(rd, 6);
    if (r == Res_ok) {
        if (font->unitsPerEm)
            xMinScaled = int16_t(int32_t(int16_t(xMin)) * 16384 / font->unitsPerEm);
        if (int16_t(contours) >= 0)
            r = readSimpleBody(font, contours, outline);
        else
            r = readCompositeBody(font, outline, offset, st);
    }
    (void)BufStream_flush(rd);
    if (r == Res_ok && request && !(font->headFlags & FontFace_headNoAlign) && font->unitsPerEm &&
        usedBytes(outline)) {
        uint16_t answer[2] = {0, 0};
        r = Font_faceCallOp(font, *request, answer);
        int32_t v = int16_t(answer[1]);
        if (r == Res_ok && v != xMinScaled)
            GlyphPath_shiftFirstX(outline, int32_t(font->unitsPerEm) * (v - xMinScaled) / 16384);
    }
    if (r != Res_ok) {
        GlyphPath_destroy(outline);
        return r;
    }
    *out = outline;
    return Res_ok;
}

} // namespace

int TtGlyph_load(FontFace *font, uint32_t offset, GlyphPath **out, const uint16_t *request)
{
    LoadState st{0, 0};
    return loadGlyph(font, offset, out, request, &st);
}

int TtGlyph_readSimple(FontFace *font, int32_t contours, GlyphPath *outline)
{
    clearOutline(outline);
    if (contours <= 0)
        return Res_ok;
    return readSimpleBody(font, uint32_t(contours), outline);
}

int TtGlyph_readComposite(FontFace *font, GlyphPath *outline, uint32_t ownOffset)
{
    LoadState st{0, 0};
    return readCompositeBody(font, outline, effectiveOffset(font, ownOffset), &st);
}
