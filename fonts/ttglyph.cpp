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
#include "fonts/ttglyph.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"

namespace {

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

int loadGlyph(FontFace *font, uint32_t offset, GlyphPath **out, const uint16_t *request,
              LoadState *st);

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
            *x += int16_t(Bytes_peekU16Le(r + 1));
            *y += int16_t(Bytes_peekU16Le(r + 3));
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

// Reads a big-endian 16-bit value of the glyph data.
int readWord(BufStream *rd, uint16_t *value)
{
    uint8_t b[2] = {0, 0};
    int r = BufStream_read(rd, b, 2);
    *value = uint16_t(Bytes_peekS16Be(b));
    return r;
}

// Room on the stack for the contour ends and the flag and coordinate bytes
// of common glyphs; larger ones take heap blocks.
enum : uint32_t {
    localEnds = 64,
    localData = 2048,
};

// Bytes of a coordinate by its form (bit 0 the axis's short bit, bit 1
// its same-or-positive bit): long, short negative, same, short positive.
constexpr uint8_t coordinateSize[4] = {2, 1, 0, 1};

// The flag and coordinate bytes of a simple glyph, read in one run.
struct PointData {
    const uint8_t *at;  // next unread byte
    const uint8_t *end; // end of the bytes read
};

// Expands the flags of n points into flags, repeats included, and counts
// the x and y bytes they call for. 2315 when a repeat runs past the last
// point, Res_bufWindowShort when the bytes end first.
int expandFlags(PointData *d, uint8_t *flags, uint32_t n, uint32_t *xBytes, uint32_t *yBytes)
{
    uint32_t i = 0, xb = 0, yb = 0;
    while (i < n) {
        if (d->at == d->end)
            return Res_bufWindowShort;
        uint8_t f = *d->at++;
        uint32_t count = 1;
        if (f & repeat) {
            if (d->at == d->end)
                return Res_bufWindowShort;
            count += *d->at++;
        }
        if (count > n - i)
            return Res_glyphBadPoint;
        xb += count * coordinateSize[(f >> 1 & 1) | (f >> 3 & 2)];
        yb += count * coordinateSize[(f >> 2 & 1) | (f >> 4 & 2)];
        if (count == 1)
            flags[i] = f;
        else
            memset(flags + i, f, count);
        i += count;
    }
    *xBytes = xb;
    *yBytes = yb;
    return Res_ok;
}

// One coordinate delta of a point, moving p on. form: bit 0 the short
// bit, bit 1 the same-or-positive bit of the axis. The bytes are read
// before the form is known, so the buffer keeps two spare bytes at its end;
// the choice is then made without branches, the forms being mixed at random
// in real glyphs.
int32_t delta(uint32_t form, const uint8_t *&p)
{
    int32_t b0 = p[0];
    int32_t wide = Bytes_peekS16Be(p);
    int32_t v = form == 0 ? wide : form == 1 ? -b0 : form == 2 ? 0 : b0;
    p += coordinateSize[form];
    return v;
}

// Writes the records: flags (wide, on-curve, contour ends, the last point)
// and the x and y deltas from the coordinate bytes at xs and ys.
void writeRecords(const uint8_t *flags, uint32_t n, const uint16_t *ends, uint32_t contours,
                  const uint8_t *xs, const uint8_t *ys, uint8_t *records)
{
    uint32_t contour = 0;
    uint32_t nextEnd = contours ? ends[0] : UINT32_MAX;
    uint8_t *r = records;
    for (uint32_t i = 0; i < n; i++, r += GlyphPoint_wideSize) {
        uint8_t f = flags[i];
        uint8_t rf = GlyphPoint_wide | (f & onCurve);
        if (i == nextEnd) {
            rf |= GlyphPoint_contourEnd;
            contour++;
            nextEnd = contour < contours ? ends[contour] : UINT32_MAX;
        }
        int32_t x = delta((f >> 1 & 1) | (f >> 3 & 2), xs);
        int32_t y = delta((f >> 2 & 1) | (f >> 4 & 2), ys);
        r[0] = rf;
        r[1] = uint8_t(x);
        r[2] = uint8_t(uint32_t(x) >> 8);
        r[3] = uint8_t(y);
        r[4] = uint8_t(uint32_t(y) >> 8);
    }
    records[size_t(n - 1) * GlyphPoint_wideSize] |= GlyphPoint_last;
}

// Reads a simple body. The flags and coordinates are read in one run of at
// most 5 bytes a point (as far as the window allows) and decoded from
// memory, so the reader's position ends past the glyph's data.
int readSimpleBody(FontFace *font, uint32_t contours, GlyphPath *outline)
{
    if (contours == 0)
        return Res_ok;
    BufStream *rd = font->reader;
    uint16_t endsHere[localEnds];
    uint8_t dataHere[localData];
    uint16_t *ends = contours <= localEnds
                         ? endsHere
                         : static_cast<uint16_t *>(Mem_malloc(size_t(contours) * 2));
    uint8_t *records = nullptr, *flags = nullptr;
    uint32_t n = 0, xBytes = 0, yBytes = 0;
    size_t want = 0;
    uint16_t instructions = 0;
    PointData d{};
    if (!ends)
        return Res_noMemory;
    // The ends and the instruction length, read in one run and decoded in
    // place (each 2-byte value becomes the 16-bit word it occupies).
    int r = BufStream_read(rd, ends, size_t(contours) * 2);
    for (uint32_t c = 0; c < contours && r == Res_ok; c++)
        ends[c] = uint16_t(Bytes_peekS16Be(reinterpret_cast<const uint8_t *>(ends + c)));
    // 16-bit point count: a last end of 0xFFFF gives no points.
    if (r == Res_ok)
        n = uint16_t(ends[contours - 1] + 1);
    if (r != Res_ok || n == 0)
        goto done;
    r = readWord(rd, &instructions);
    if (r == Res_ok && instructions)
        r = BufStream_skip(rd, instructions);
    if (r != Res_ok)
        goto done;
    // Flags take at most a byte a point, coordinates at most four; the
    // expanded flags go behind the bytes read.
    want = std::min<size_t>(size_t(n) * 5, BufStream_getLimit(rd) - BufStream_tell(rd));
    // Two spare bytes behind the bytes read, for the read ahead of delta;
    // they are cleared so that nothing uninitialised is read.
    flags = want + n + 2 <= localData ? dataHere : static_cast<uint8_t *>(Mem_malloc(want + n + 2));
    records = static_cast<uint8_t *>(Mem_malloc(size_t(n) * GlyphPoint_wideSize));
    if (!records || !flags) {
        r = Res_noMemory;
        goto done;
    }
    flags[n + want] = flags[n + want + 1] = 0;
    r = BufStream_read(rd, flags + n, want);
    d = PointData{flags + n, flags + n + want};
    if (r == Res_ok)
        r = expandFlags(&d, flags, n, &xBytes, &yBytes);
    if (r == Res_ok && size_t(d.end - d.at) < size_t(xBytes) + yBytes)
        r = Res_bufWindowShort;
    if (r != Res_ok)
        goto done;
    writeRecords(flags, n, ends, contours, d.at, d.at + xBytes, records);
    outline->bytes = records;
    outline->byteCapacity = n * GlyphPoint_wideSize;
    outline->lastStart = (n - 1) * GlyphPoint_wideSize;
    outline->lastSize = GlyphPoint_wideSize;
    records = nullptr;
done:
    if (flags != dataHere)
        Mem_free(flags);
    Mem_free(records);
    if (ends != endsHere)
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
    int r = readWord(rd, &v);
    *value = int32_t(int16_t(v)) * 4;
    return r;
}

int readComponentHeader(BufStream *rd, Component *k)
{
    int r = readWord(rd, &k->flags);
    if (r == Res_ok)
        r = readWord(rd, &k->glyph);
    bool offsets = k->flags & argsAreOffsets;
    if (r == Res_ok && (k->flags & argsAreWords)) {
        uint16_t v1 = 0, v2 = 0;
        r = readWord(rd, &v1);
        if (r == Res_ok)
            r = readWord(rd, &v2);
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
int loadComponent(FontFace *font, const Component &k, uint32_t ownOffset, LoadState *st,
                  GlyphPath **out)
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
int ttGlyphComponentOffset(const Component &k, const GlyphPath *outline, const GlyphPath *component,
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
        uint32_t start = BufStream_getStart(rd), length = BufStream_getLimit(rd),
                 pos = BufStream_tell(rd);
        // Only ends the read window: a read fault already showed in the reads.
        (void)BufStream_flush(rd);
        r = loadComponent(font, k, ownOffset, st, &component);
        if (r == Res_ok)
            r = ttGlyphComponentOffset(k, outline, component, &packed);
        if (r == Res_ok) {
            // A loaded outline holds wide records only.
            uint32_t added = usedBytes(component) / GlyphPoint_wideSize;
            if (points + added > TtGlyph_maxPoints)
                r = Res_glyphBadPoint;
            points += added;
        }
        if (r == Res_ok && component)
            r = GlyphPath_appendComponent(outline, component, k.a, k.b, k.c, k.d, packed);
        GlyphPath_destroy(component);
        if (r == Res_ok && (k.flags & moreComponents))
            r = BufStream_setRange(font->source, rd, start, length);
        if (r == Res_ok && (k.flags & moreComponents))
            r = BufStream_skip(rd, pos);
    } while (r == Res_ok && (k.flags & moreComponents));
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    return r;
}

int loadGlyph(FontFace *font, uint32_t offset, GlyphPath **out, const uint16_t *request,
              LoadState *st)
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
    r = start > UINT32_MAX
            ? Res_bufWindowBeyond
            : BufStream_setRange(font->source, rd, uint32_t(start), glyf.length - offset);
    // The header: number of contours, xMin, then yMin, xMax, yMax unused.
    uint8_t header[10];
    if (r == Res_ok)
        r = BufStream_read(rd, header, sizeof header);
    if (r == Res_ok) {
        contours = uint16_t(Bytes_peekS16Be(header));
        xMin = uint16_t(Bytes_peekS16Be(header + 2));
        if (font->unitsPerEm)
            xMinScaled = int16_t(int32_t(int16_t(xMin)) * 16384 / font->unitsPerEm);
        if (int16_t(contours) >= 0)
            r = readSimpleBody(font, contours, outline);
        else
            r = readCompositeBody(font, outline, offset, st);
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r == Res_ok && request && !(font->headFlags & FontFace_headNoAlign) && font->unitsPerEm &&
        usedBytes(outline)) {
        uint16_t answer[2] = {0, 0};
        r = Font_faceCallOp(font, *request, answer);
        int32_t v = int16_t(answer[1]);
        if (r == Res_ok && v != xMinScaled)
            GlyphPath_shiftFirstX(outline,
                                  int32_t(int64_t(font->unitsPerEm) * (v - xMinScaled) / 16384));
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

int TrueType_loadGlyph(FontFace *font, uint16_t index, GlyphPath **out)
{
    *out = nullptr;
    uint32_t at = 0, next = 0;
    int r = Res_ok;
    bool empty = index >= font->glyphCount;
    if (!empty) {
        if (!font->locateGlyph)
            return Res_notImplemented;
        r = font->locateGlyph(font, index, &at);
        if (r == Res_ok)
            r = font->locateGlyph(font, uint16_t(index + 1), &next);
        if (r != Res_ok)
            return r;
        empty = at == next;
    }
    if (empty) {
        GlyphPath *o = nullptr;
        if (GlyphPath_create(&o, GlyphPath_kindPoints) != Res_ok)
            return Res_noMemory;
        *out = o;
        return Res_ok;
    }
    return TtGlyph_load(font, at, out, &index);
}
