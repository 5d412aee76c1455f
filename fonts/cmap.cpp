// Character-to-glyph mapping: the lazy map, the format handlers, the
// identity map and the pair tables of embedded fonts.
//
// Every handler checks what it loads against the subtable's own length and
// keeps the lengths of its arrays, so that a lookup can refuse an index
// instead of reading past its data: a hostile font may claim segment
// counts, search ranges and sub-header keys that point anywhere.
#include "fonts/cmap.h"

#include <algorithm>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "core/text/number.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"

namespace {

// ------------------------------------------------------------- helpers

// Reads count big-endian 16-bit values into to.
int readBE16(BufStream *rd, uint16_t *to, size_t count)
{
    if (count == 0)
        return Res_ok;
    int r = BufStream_read(rd, to, count * 2);
    if (r != Res_ok)
        return r;
    const uint8_t *b = reinterpret_cast<const uint8_t *>(to);
    for (size_t i = 0; i < count; i++)
        to[i] = Bytes_peekU16Be(b + 2 * i);
    return Res_ok;
}

const FontMapData *loaded(const FontFace *face)
{
    return static_cast<const FontMapData *>(face->mapData);
}

// Stores glyph at position i when it is a glyph; true when the walk ends.
inline bool put(uint32_t i, uint16_t glyph, uint32_t slot, uint16_t *glyphs, uint8_t *tags,
                uint32_t *left)
{
    if (glyph == 0)
        return false;
    glyphs[i] = glyph;
    tags[i] = uint8_t((tags[i] & ~7u) | (slot & 7u));
    return --*left == 0;
}

// The map walk every handler shares: look each unfilled position up.
template <typename Lookup>
int mapWith(const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs, uint8_t *tags,
            uint32_t *remaining, Lookup lookup)
{
    uint32_t left = *remaining;
    for (uint32_t i = 0; i < n && left != 0; i++) {
        if (glyphs[i] != 0)
            continue;
        if (put(i, lookup(codes[i]), slot, glyphs, tags, &left))
            break;
    }
    *remaining = left;
    return Res_ok;
}

// -------------------------------------------------------------- format 2

struct SubHeader {
    uint16_t firstCode;
    uint16_t entryCount;
    int16_t idDelta;
    uint32_t offset; // bytes into the glyph index array
};

struct Format2 {
    uint16_t keys[256]; // sub-header index by high byte
    uint32_t subCount;
    SubHeader *subs;
    uint16_t *glyphArray;
    uint32_t glyphCount;
};

void free2(void *data)
{
    Format2 *t = static_cast<Format2 *>(data);
    if (!t)
        return;
    Mem_free(t->subs);
    Mem_free(t->glyphArray);
    Mem_free(t);
}

int load2(FontMapRequest *q)
{
    Format2 *t = static_cast<Format2 *>(Mem_calloc(1, sizeof(Format2)));
    if (!t)
        return Res_noMemory;
    int r = readBE16(q->reader, t->keys, 256);
    uint32_t k = 0;
    for (uint32_t i = 0; i < 256 && r == Res_ok; i++) {
        t->keys[i] = uint16_t(t->keys[i] / 8);
        k = std::max<uint32_t>(k, t->keys[i]);
    }
    // The sub-headers the keys name must lie inside the subtable.
    uint64_t headerEnd = 6 + 512 + 8 * uint64_t(k + 1);
    if (r == Res_ok && headerEnd > q->length)
        r = Res_fontUnsupported;
    if (r == Res_ok) {
        t->subCount = k + 1;
        t->subs = static_cast<SubHeader *>(Mem_calloc(t->subCount, sizeof(SubHeader)));
        r = t->subs ? Res_ok : Res_noMemory;
    }
    for (uint32_t i = 0; i < t->subCount && r == Res_ok; i++) {
        uint16_t w[4];
        r = readBE16(q->reader, w, 4);
        if (r != Res_ok)
            break;
        SubHeader &s = t->subs[i];
        s.firstCode = w[0];
        s.entryCount = w[1];
        s.idDelta = int16_t(w[2]);
        // idRangeOffset counts from its own field; the array starts
        // 2 + 8 x (k - i) bytes after the field of sub-header i.
        int64_t off = int64_t(w[3]) - (2 + 8 * int64_t(k - i));
        s.offset = off < 0 ? 0 : uint32_t(off);
    }
    if (r == Res_ok) {
        t->glyphCount = uint32_t((q->length - headerEnd) / 2);
        if (t->glyphCount) {
            t->glyphArray = static_cast<uint16_t *>(Mem_malloc(t->glyphCount * 2));
            r = t->glyphArray ? readBE16(q->reader, t->glyphArray, t->glyphCount) : Res_noMemory;
        }
    }
    if (r != Res_ok) {
        free2(t);
        return r;
    }
    q->target->data = t;
    return Res_ok;
}

uint16_t lookup2(const Format2 *t, uint16_t code)
{
    uint32_t index;
    int32_t delta = 0;
    if (code > 255) {
        const SubHeader &s = t->subs[t->keys[code >> 8]];
        uint32_t low = uint32_t(code & 0xFF) - s.firstCode;
        if (low >= s.entryCount)
            return 0;
        index = s.offset / 2 + low;
        delta = s.idDelta;
    } else {
        index = t->subs[0].offset / 2 + code;
    }
    if (index >= t->glyphCount || t->glyphArray[index] == 0)
        return 0;
    return uint16_t(t->glyphArray[index] + delta);
}

int map2(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
         uint8_t *tags, uint32_t *remaining)
{
    const Format2 *t = static_cast<const Format2 *>(loaded(face)->data);
    return mapWith(codes, n, slot, glyphs, tags, remaining,
                   [t](uint16_t c) { return lookup2(t, c); });
}

// -------------------------------------------------------------- format 4

struct Format4 {
    uint32_t segCount;
    uint32_t searchRange; // derived from segCount: halves of the file's values
    uint32_t rangeShift;
    uint16_t *block; // endCode, pad, startCode, idDelta, idRangeOffset, glyph ids
    uint32_t blockWords;
    uint32_t glyphCount; // glyph ids after the four arrays
};

void free4(void *data)
{
    Format4 *t = static_cast<Format4 *>(data);
    if (!t)
        return;
    Mem_free(t->block);
    Mem_free(t);
}

int load4(FontMapRequest *q)
{
    uint16_t head[4]; // segCountX2, searchRange, entrySelector, rangeShift
    int r = readBE16(q->reader, head, 4);
    if (r != Res_ok)
        return r;
    if (q->length < 14)
        return Res_fontUnsupported;
    Format4 *t = static_cast<Format4 *>(Mem_calloc(1, sizeof(Format4)));
    if (!t)
        return Res_noMemory;
    t->segCount = head[0] / 2u;
    // The file's search values are not trusted: a lookup steps by the
    // largest power of two within the segments and the rest.
    t->searchRange = t->segCount ? Math_floorPow2(t->segCount) : 0;
    t->rangeShift = t->segCount - t->searchRange;
    t->blockWords = (q->length - 14) / 2;
    if (uint64_t(t->segCount) * 4 + 1 > t->blockWords)
        r = Res_fontUnsupported;
    if (r == Res_ok && t->blockWords) {
        t->glyphCount = t->blockWords - (t->segCount * 4 + 1);
        t->block = static_cast<uint16_t *>(Mem_malloc(size_t(t->blockWords) * 2));
        r = t->block ? readBE16(q->reader, t->block, t->blockWords) : Res_noMemory;
    }
    if (r != Res_ok) {
        free4(t);
        return r;
    }
    q->target->data = t;
    return Res_ok;
}

uint16_t lookup4(const Format4 *t, uint16_t code)
{
    uint32_t segs = t->segCount;
    if (segs == 0)
        return 0;
    const uint16_t *endCode = t->block;
    const uint16_t *startCode = endCode + segs + 1;
    const uint16_t *idDelta = startCode + segs;
    const uint16_t *idRangeOffset = idDelta + segs;
    // The first segment whose end is not below the code.
    uint32_t i = t->searchRange - 1;
    if (endCode[i] < code)
        i += t->rangeShift;
    for (uint32_t step = t->searchRange; step > 1;) {
        step /= 2;
        if (i >= step && endCode[i - step] >= code)
            i -= step;
    }
    if (endCode[i] < code || startCode[i] > code)
        return 0;
    if (idRangeOffset[i] == 0)
        return uint16_t(code + idDelta[i]);
    // Counted from the segment's idRangeOffset word, inside the block.
    uint64_t at = uint64_t(3 * segs + 1 + i) + idRangeOffset[i] / 2 + uint32_t(code - startCode[i]);
    if (at >= t->blockWords || t->block[at] == 0)
        return 0;
    return uint16_t(t->block[at] + idDelta[i]);
}

int map4(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
         uint8_t *tags, uint32_t *remaining)
{
    const Format4 *t = static_cast<const Format4 *>(loaded(face)->data);
    return mapWith(codes, n, slot, glyphs, tags, remaining,
                   [t](uint16_t c) { return lookup4(t, c); });
}

// -------------------------------------------------------------- format 6

struct Format6 {
    uint16_t firstCode;
    uint16_t entryCount;
    uint16_t glyphs[1]; // entryCount entries
};

int load6(FontMapRequest *q)
{
    uint16_t head[2];
    int r = readBE16(q->reader, head, 2);
    if (r != Res_ok)
        return r;
    if (10 + 2 * uint32_t(head[1]) > q->length)
        return Res_fontUnsupported;
    Format6 *t = static_cast<Format6 *>(Mem_malloc(sizeof(Format6) + 2 * size_t(head[1])));
    if (!t)
        return Res_noMemory;
    t->firstCode = head[0];
    t->entryCount = head[1];
    r = readBE16(q->reader, t->glyphs, t->entryCount);
    if (r != Res_ok) {
        Mem_free(t);
        return r;
    }
    q->target->data = t;
    return Res_ok;
}

int map6(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
         uint8_t *tags, uint32_t *remaining)
{
    const Format6 *t = static_cast<const Format6 *>(loaded(face)->data);
    return mapWith(codes, n, slot, glyphs, tags, remaining, [t](uint16_t c) -> uint16_t {
        uint32_t i = uint32_t(c) - t->firstCode;
        return i < t->entryCount ? t->glyphs[i] : 0;
    });
}

// ------------------------------------------------------ format 9998: pairs

struct CodePair {
    uint16_t code;
    uint16_t glyph;
};

struct PairTable {
    uint32_t count;
    CodePair pairs[1]; // count entries, sorted by code
};

uint16_t lookupPairs(const PairTable *t, uint16_t code)
{
    const CodePair *p = std::lower_bound(t->pairs, t->pairs + t->count, code,
                                         [](const CodePair &a, uint16_t c) { return a.code < c; });
    return p != t->pairs + t->count && p->code == code ? p->glyph : 0;
}

int mapPairs(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
             uint8_t *tags, uint32_t *remaining)
{
    const PairTable *t = static_cast<const PairTable *>(loaded(face)->data);
    return mapWith(codes, n, slot, glyphs, tags, remaining,
                   [t](uint16_t c) { return lookupPairs(t, c); });
}

// Pair tables are built by the engine, never read from a file.
int loadPairs(FontMapRequest *)
{
    return Res_fontUnsupported;
}

PairTable *newPairTable(uint32_t capacity)
{
    PairTable *t =
        static_cast<PairTable *>(Mem_malloc(sizeof(PairTable) + sizeof(CodePair) * capacity));
    if (t)
        t->count = 0;
    return t;
}

// Makes t the face's map (the loaded map dropped first).
int installPairs(FontFace *face, PairTable *t)
{
    Cmap_dropLoaded(face);
    FontMapData *d = static_cast<FontMapData *>(Mem_calloc(1, sizeof(FontMapData)));
    if (!d) {
        Mem_free(t);
        return Res_noMemory;
    }
    d->format = CmapFormat_pairsNumber;
    d->free = FontEnc_freeSingleByte; // a plain heap block
    d->data = t;
    face->mapData = d;
    face->map = mapPairs;
    return Res_ok;
}

// --------------------------------------------------- format 9999: bitmap

enum : uint32_t { bitmapBytes = 512 + 256 * 32 };

struct BitmapTable {
    uint16_t rowBase[256];
    uint8_t rows[256][32];
};

int loadBitmap(FontMapRequest *q)
{
    BitmapTable *t = static_cast<BitmapTable *>(Mem_malloc(sizeof(BitmapTable)));
    if (!t)
        return Res_noMemory;
    int r = readBE16(q->reader, t->rowBase, 256);
    if (r == Res_ok)
        r = BufStream_read(q->reader, t->rows, sizeof t->rows);
    if (r != Res_ok) {
        Mem_free(t);
        return r;
    }
    q->target->data = t;
    return Res_ok;
}

uint16_t lookupBitmap(const BitmapTable *t, uint16_t code)
{
    // The private-use area is never drawn from a pack; a few punctuation
    // and space characters share the glyphs of their look-alikes.
    if (code >= 0xE000 && code < 0xF900)
        return 0;
    if (code == 149 || code == 183 || code == 8226)
        code = 12539;
    else if (code == 8194 || code == 160)
        code = 32;
    else if (code == 8361)
        code = 65510;
    const uint8_t *row = t->rows[code >> 8];
    uint32_t column = code & 255u, byte = column >> 3, bit = column & 7u;
    if (!(row[byte] >> bit & 1u))
        return 0;
    uint32_t count = 0;
    for (uint32_t b = 0; b < byte; b++)
        count += Bits_popCount(row[b]);
    count += Bits_popCount(row[byte] & ((2u << bit) - 1u));
    return uint16_t(t->rowBase[code >> 8] + count);
}

int mapBitmap(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
              uint8_t *tags, uint32_t *remaining)
{
    const BitmapTable *t = static_cast<const BitmapTable *>(loaded(face)->data);
    return mapWith(codes, n, slot, glyphs, tags, remaining,
                   [t](uint16_t c) { return lookupBitmap(t, c); });
}

// ---------------------------------------------------------- the lazy map

const SingleByteEncoding *handlerOf(const CmapFormatTable *table, uint32_t format)
{
    uint32_t index;
    switch (format) {
    case 0: index = CmapFormat_0; break;
    case 2: index = CmapFormat_2; break;
    case 4: index = CmapFormat_4; break;
    case 6: index = CmapFormat_6; break;
    case CmapFormat_bitmapNumber: index = CmapFormat_bitmap; break;
    default: return nullptr;
    }
    const SingleByteEncoding *h = &table->entries[index];
    return h->map ? h : nullptr;
}

void freeRecord(FontMapData *d)
{
    if (!d)
        return;
    if (d->free && d->data)
        d->free(d->data);
    Mem_free(d);
}

FontFace *sharedParent(const FontFace *face)
{
    return (face->flags & FontFace_sharesParent) ? face->parent : nullptr;
}

// Loads the face's chosen subtable into a new record on the face.
int loadMap(FontFace *face)
{
    EngineContext *ctx = face->source;
    FontEngine *fe = ctx ? ctx->fontEngine : nullptr;
    if (!fe || !fe->cmapFormats || !face->reader || !face->tables)
        return Res_fontUnsupported;
    FontMapData *d = static_cast<FontMapData *>(Mem_calloc(1, sizeof(FontMapData)));
    if (!d)
        return Res_noMemory;
    face->mapData = d;
    BufStream *rd = face->reader;
    const FontTableEntry &cmap = face->tables->tables[FontTable_cmap];
    uint64_t at = uint64_t(cmap.offset) + face->tables->cmapSubtable;
    uint16_t head[3] = {0, 0, 0}; // format, length, language
    int r = at > UINT32_MAX ? Res_bufWindowBeyond : BufStream_setRange(ctx, rd, uint32_t(at), 6);
    if (r == Res_ok)
        r = readBE16(rd, head, 3);
    if (r == Res_ok)
        r = BufStream_setLimit(rd, head[1]);
    const SingleByteEncoding *h = r == Res_ok ? handlerOf(fe->cmapFormats, head[0]) : nullptr;
    if (r == Res_ok && !h)
        r = Res_fontUnsupported;
    if (r == Res_ok) {
        d->format = head[0];
        d->free = h->release;
        FontMapRequest q{d, rd, head[0], head[1], head[2]};
        r = h->load(&q);
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok) {
        freeRecord(d);
        face->mapData = nullptr;
        face->map = Cmap_lazyMap;
        return r;
    }
    face->map = h->map;
    if (FontFace *p = sharedParent(face)) {
        p->mapData = d;
        p->map = h->map;
    }
    return Res_ok;
}

} // namespace

int Cmap_lazyMap(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
                 uint8_t *tags, uint32_t *remaining)
{
    FontFace *p = sharedParent(face);
    if (p && p->mapData && p->map && p->map != Cmap_lazyMap) {
        face->mapData = p->mapData;
        face->map = p->map;
    } else {
        int r = loadMap(face);
        if (r != Res_ok)
            return r;
    }
    return face->map(face, codes, n, slot, glyphs, tags, remaining);
}

void Cmap_dropLoaded(FontFace *face)
{
    if (!face->mapData)
        return;
    FontFace *p = sharedParent(face);
    if (!p || p->mapData != face->mapData)
        freeRecord(static_cast<FontMapData *>(face->mapData));
    face->mapData = nullptr;
    face->map = Cmap_lazyMap;
}

int Cmap_identityMap(FontFace *, const uint16_t *codes, uint32_t n, uint32_t slot, uint16_t *glyphs,
                     uint8_t *tags, uint32_t *remaining)
{
    for (uint32_t i = 0; i < n; i++) {
        if (glyphs[i] != 0)
            continue;
        glyphs[i] = codes[i];
        tags[i] = uint8_t((tags[i] & ~7u) | (slot & 7u));
    }
    *remaining = 0;
    return Res_ok;
}

int Cmap_buildSymbolPairs(FontFace *face)
{
    if (!face->tables || face->tables->tables[FontTable_cmap].length == 0 || !face->map)
        return Res_ok;
    uint16_t codes[512], glyphs[512] = {};
    uint8_t tags[512] = {};
    for (uint32_t c = 0; c < 256; c++) {
        codes[c] = uint16_t(c);
        codes[256 + c] = uint16_t(0xF000 + c);
    }
    uint32_t remaining = 512;
    int r = face->map(face, codes, 512, 0, glyphs, tags, &remaining);
    if (r != Res_ok)
        return r;
    PairTable *t = newPairTable(512);
    if (!t)
        return Res_noMemory;
    for (uint32_t c = 0; c < 256; c++) {
        uint16_t g = glyphs[c] ? glyphs[c] : glyphs[256 + c];
        if (g)
            t->pairs[t->count++] = CodePair{uint16_t(c), g};
    }
    for (uint32_t c = 0; c < 256; c++)
        if (glyphs[256 + c])
            t->pairs[t->count++] = CodePair{uint16_t(0xF000 + c), glyphs[256 + c]};
    return installPairs(face, t);
}

int Cmap_setCodeTable(FontFace *face, const uint16_t *codes, uint32_t n)
{
    Cmap_dropLoaded(face);
    uint32_t m = std::min<uint32_t>(n, face->glyphCount);
    PairTable *t = newPairTable(m);
    if (!t)
        return Res_noMemory;
    for (uint32_t g = 0; g < m; g++)
        if (codes[g])
            t->pairs[t->count++] = CodePair{codes[g], uint16_t(g)};
    std::sort(t->pairs, t->pairs + t->count,
              [](const CodePair &a, const CodePair &b) { return a.code < b.code; });
    // Runs of one code: the first glyph after the run's first that has an
    // outline serves the whole run.
    int r = Res_ok;
    for (uint32_t i = 0; i < t->count && r == Res_ok;) {
        uint32_t end = i + 1;
        while (end < t->count && t->pairs[end].code == t->pairs[i].code)
            end++;
        for (uint32_t j = i + 1; j < end && face->locateGlyph; j++) {
            uint16_t g = t->pairs[j].glyph;
            uint32_t at = 0, next = 0;
            r = face->locateGlyph(face, g, &at);
            if (r == Res_ok)
                r = face->locateGlyph(face, uint16_t(g + 1), &next);
            if (r != Res_ok)
                break;
            if (at != next) {
                for (uint32_t k = i; k < end; k++)
                    t->pairs[k].glyph = g;
                break;
            }
        }
        i = end;
    }
    if (r != Res_ok) {
        Mem_free(t);
        return r;
    }
    return installPairs(face, t);
}

int Cmap_createFormatTable(CmapFormatTable **out)
{
    CmapFormatTable *t = static_cast<CmapFormatTable *>(Mem_calloc(1, sizeof(CmapFormatTable)));
    *out = t;
    if (!t)
        return Res_noMemory;
    SingleByteEncoding *format0 = &t->entries[CmapFormat_0];
    (void)FontEnc_installSingleByte(&format0);
    t->entries[CmapFormat_2] = SingleByteEncoding{map2, load2, free2};
    t->entries[CmapFormat_4] = SingleByteEncoding{map4, load4, free4};
    t->entries[CmapFormat_6] = SingleByteEncoding{map6, load6, FontEnc_freeSingleByte};
    t->entries[CmapFormat_pairs] = SingleByteEncoding{mapPairs, loadPairs, FontEnc_freeSingleByte};
    return Res_ok;
}

int Cmap_installBitmapFormat(FontEngine *engine)
{
    if (!engine || !engine->cmapFormats)
        return 0;
    engine->cmapFormats->entries[CmapFormat_bitmap] =
        SingleByteEncoding{mapBitmap, loadBitmap, FontEnc_freeSingleByte};
    return 1;
}

uint32_t Cmap_pairCount(const void *table)
{
    return table ? static_cast<const PairTable *>(table)->count : 0;
}

uint16_t Cmap_pairCode(const void *table, uint32_t i)
{
    const PairTable *t = static_cast<const PairTable *>(table);
    return t && i < t->count ? t->pairs[i].code : 0;
}
