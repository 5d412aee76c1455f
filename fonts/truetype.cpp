// TrueType and font-pack files: the table directory, the fixed tables, the
// choice of character map, and the lazily loaded horizontal metrics,
// compacted glyph locations and kerning pairs.
//
// Glyph locations are kept compacted: the differences between neighbouring
// 'loca' offsets of most fonts share a power-of-two factor and fit in 8 or
// 16 bits, so blocks of 32 glyphs store a 3-byte base and 31 small deltas.
// A font whose deltas almost fit a byte (9 significant bits, at most 256
// of them 256 or more) keeps a sorted list of the glyphs whose delta lost
// its ninth bit.
#include "fonts/truetype.h"

#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/ttglyph.h"
#include "fonts/cmap.h"
#include "fonts/fontdata.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"

namespace {

// The known tags in sorted order (FontTable_* indexes).
constexpr char knownTags[FontTable_count][5] = {"GDEF", "GSUB", "OS/2", "cmap", "ffhm",
                                                "ffst", "glyf", "head", "hhea", "hmtx",
                                                "kern", "loca", "maxp", "name", "sloc"};

constexpr uint32_t tagTrue = 0x74727565; // "true"

int32_t scaleSigned(const FontFace *f, int32_t v)
{
    return v * 16384 / int32_t(f->unitsPerEm);
}

uint32_t scaleUnsigned(const FontFace *f, uint32_t v)
{
    return v * 16384u / f->unitsPerEm;
}

bool has(const FontTableDir *t, uint32_t table)
{
    return t->tables[table].length != 0;
}

bool isPack(const FontFace *face)
{
    return face->tables && has(face->tables, FontTable_ffst);
}

FontEngine *engineOf(const FontFace *face)
{
    return face->source ? face->source->fontEngine : nullptr;
}

// Windows the reader on a whole table and reads its first count bytes.
int readTable(FontFace *face, uint32_t table, uint8_t *to, size_t count)
{
    const FontTableEntry &e = face->tables->tables[table];
    int r = BufStream_setRange(face->source, face->reader, e.offset, e.length);
    if (r == Res_ok)
        r = BufStream_read(face->reader, to, count);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(face->reader);
    return r;
}

// ------------------------------------------------------ table directory

int findTag(const uint8_t *tag)
{
    int low = 0, high = FontTable_count - 1;
    while (low <= high) {
        int mid = (low + high) / 2;
        int c = memcmp(tag, knownTags[mid], 4);
        if (c == 0)
            return mid;
        if (c < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return -1;
}

int readDirectory(FontFace *face, uint32_t dirOffset)
{
    BufStream *rd = face->reader;
    FontTableDir *t = face->tables;
    uint8_t head[12];
    int r = BufStream_setRange(face->source, rd, dirOffset, 12);
    if (r == Res_ok)
        r = BufStream_read(rd, head, 6);
    uint32_t version = Bytes_peekU32Be(head);
    if (r == Res_ok && version != 0x00010000u && version != tagTrue)
        r = Res_fontUnsupported;
    if (r == Res_ok) {
        t->tableCount = Bytes_peekU16Be(head + 4);
        r = BufStream_setLimit(rd, 12 + 16 * t->tableCount);
    }
    if (r == Res_ok)
        r = BufStream_skip(rd, 6);
    for (uint32_t i = 0; i < t->tableCount && r == Res_ok; i++) {
        uint8_t e[16];
        r = BufStream_read(rd, e, sizeof e);
        int known = r == Res_ok ? findTag(e) : -1;
        if (known >= 0)
            t->tables[known] = FontTableEntry{Bytes_peekU32Be(e + 8), Bytes_peekU32Be(e + 12)};
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok)
        return r;
    if (!has(t, FontTable_head) || !has(t, FontTable_maxp) || !has(t, FontTable_hhea) ||
        !has(t, FontTable_glyf))
        return Res_fontMissingTable;
    bool pack = has(t, FontTable_sloc) || has(t, FontTable_ffst) || has(t, FontTable_ffhm);
    if (!pack && (!has(t, FontTable_hmtx) || !has(t, FontTable_loca)))
        return Res_fontMissingTable;
    if (pack && (!has(t, FontTable_cmap) || !has(t, FontTable_sloc) || !has(t, FontTable_ffst) ||
                 !has(t, FontTable_ffhm)))
        return Res_fontMissingTable;
    return Res_ok;
}

// ----------------------------------------------------- the fixed tables

int readHead(FontFace *face)
{
    uint8_t b[52];
    int r = readTable(face, FontTable_head, b, sizeof b);
    if (r != Res_ok)
        return r;
    face->headFlags = Bytes_peekU16Be(b + 16);
    face->unitsPerEm = Bytes_peekU16Be(b + 18);
    for (int i = 0; i < 4; i++)
        face->tables->headBox[i] = Bytes_peekS16Be(b + 36 + 2 * i);
    face->tables->indexToLocFormat = Bytes_peekS16Be(b + 50);
    // Every metric is divided by the units per em.
    return face->unitsPerEm ? Res_ok : Res_fontUnsupported;
}

int readMaxp(FontFace *face)
{
    uint8_t b[14];
    int r = readTable(face, FontTable_maxp, b, sizeof b);
    if (r != Res_ok)
        return r;
    face->glyphCount = face->glyphCountCopy = Bytes_peekU16Be(b + 4);
    FontTableDir *t = face->tables;
    t->maxPoints = Bytes_peekU16Be(b + 6);
    t->maxContours = Bytes_peekU16Be(b + 8);
    t->maxCompositePoints = Bytes_peekU16Be(b + 10);
    t->maxCompositeContours = Bytes_peekU16Be(b + 12);
    return Res_ok;
}

uint32_t rankOf(uint16_t platform, uint16_t encoding)
{
    constexpr uint32_t unusable = TrueType_rankUnusable;
    switch (platform) {
    case 0: return 62;
    case 1: return encoding == 0 ? 60 : unusable;
    case 3: return encoding == 0 ? 61 : encoding == 1 ? 63 : unusable;
    case 30003: return encoding <= 4 ? 68u - encoding : unusable;
    default: return unusable;
    }
}

int chooseMap(FontFace *face, uint32_t preferredRank)
{
    FontTableDir *t = face->tables;
    if (!has(t, FontTable_cmap))
        return face->kind == FontFace_kindEmbeddedTrueType ? Res_ok : Res_fontNoUsableMap;
    BufStream *rd = face->reader;
    const FontTableEntry &e = t->tables[FontTable_cmap];
    uint16_t count = 0;
    int r = BufStream_setRange(face->source, rd, e.offset, e.length);
    if (r == Res_ok)
        r = BufStream_skip(rd, 2);
    if (r == Res_ok)
        r = BufStream_readU16(&count, rd);
    uint32_t best = TrueType_rankUnusable, bestRank = TrueType_rankUnusable;
    for (uint32_t i = 0; i < count && r == Res_ok; i++) {
        uint8_t rec[8];
        r = BufStream_read(rd, rec, sizeof rec);
        if (r != Res_ok)
            break;
        uint32_t rank = rankOf(Bytes_peekU16Be(rec), Bytes_peekU16Be(rec + 2));
        uint32_t score = rank == preferredRank ? uint32_t(TrueType_rankPreferred) : rank;
        if (score > best) {
            best = score;
            bestRank = rank;
            t->cmapSubtable = Bytes_peekU32Be(rec + 4);
        }
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok)
        return r;
    if (best == TrueType_rankUnusable)
        return Res_fontNoUsableMap;
    face->mapRank = bestRank;
    return Res_ok;
}

int readHhea(FontFace *face)
{
    uint8_t b[36];
    int r = readTable(face, FontTable_hhea, b, sizeof b);
    if (r != Res_ok)
        return r;
    int32_t *m = face->metrics;
    if (m[3] == FontFace_unset)
        m[3] = scaleSigned(face, Bytes_peekS16Be(b + 4));
    if (m[4] == FontFace_unset)
        m[4] = scaleSigned(face, Bytes_peekS16Be(b + 6));
    face->lineGap = scaleSigned(face, Bytes_peekS16Be(b + 8));
    FontTableDir *t = face->tables;
    t->advanceWidthMax = scaleUnsigned(face, Bytes_peekU16Be(b + 10));
    t->minLeftSideBearing = scaleSigned(face, Bytes_peekS16Be(b + 12));
    t->minRightSideBearing = scaleSigned(face, Bytes_peekS16Be(b + 14));
    t->xMaxExtent = scaleSigned(face, Bytes_peekS16Be(b + 16));
    t->numberOfHMetrics = Bytes_peekU16Be(b + 34);
    return Res_ok;
}

int readOs2(FontFace *face)
{
    if (!has(face->tables, FontTable_OS2))
        return Res_ok;
    uint8_t b[78];
    int r = readTable(face, FontTable_OS2, b, sizeof b);
    if (r != Res_ok)
        return r;
    face->avgCharWidth = Bytes_peekS16Be(b + 2);
    for (int i = 0; i < 4; i++)
        face->unicodeRanges[i] = Bytes_peekU32Be(b + 42 + 4 * i);
    int32_t a = int16_t(scaleUnsigned(face, Bytes_peekU16Be(b + 74)));
    int32_t d = int16_t(scaleUnsigned(face, Bytes_peekU16Be(b + 76)));
    int32_t *m = face->metrics;
    int32_t extra = int16_t(face->lineGap - (a + d - (m[3] - m[4])));
    m[3] = a + std::max(0, extra);
    m[4] = -d;
    return Res_ok;
}

int readKern(FontFace *face)
{
    FontTableDir *t = face->tables;
    if (!has(t, FontTable_kern))
        return Res_ok;
    BufStream *rd = face->reader;
    const FontTableEntry &e = t->tables[FontTable_kern];
    uint16_t version = 0, count = 0;
    int r = BufStream_setRange(face->source, rd, e.offset, e.length);
    if (r == Res_ok)
        r = BufStream_readU16(&version, rd);
    if (r == Res_ok && version == 0)
        r = BufStream_readU16(&count, rd);
    for (uint32_t i = 0; i < count && r == Res_ok && version == 0; i++) {
        uint32_t at = BufStream_tell(rd);
        uint8_t h[6];
        r = BufStream_read(rd, h, sizeof h);
        if (r != Res_ok)
            break;
        uint16_t length = Bytes_peekU16Be(h + 2);
        if (Bytes_peekU16Be(h) == 0 && length >= 20 && Bytes_peekU16Be(h + 4) == 1) {
            t->kernStart = e.offset + at + 6;
            t->kernLength = length - 6u;
            break;
        }
        // A subtable too short to hold its own header ends the walk.
        if (length < 6)
            break;
        r = BufStream_skip(rd, length - 6u);
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    return r;
}

// ------------------------------------------------- horizontal metrics

struct HMetrics {
    uint32_t pairCount;  // numberOfHMetrics
    uint32_t extraCount; // left side bearings after the pairs
    uint16_t *advances;  // pairCount, 1/16384 em
    int16_t *bearings;   // pairCount + extraCount, 1/16384 em
};

void freeHMetrics(void *data)
{
    HMetrics *h = static_cast<HMetrics *>(data);
    if (h)
        Mem_free(h->advances);
    Mem_free(h);
}

int hmtxLookup(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
               const uint8_t *tags, uint16_t *bearing, uint16_t *advance)
{
    const HMetrics *h = static_cast<const HMetrics *>(face->metricsData);
    for (uint32_t i = 0; i < n; i++) {
        if ((tags[i] & 7u) != runTag)
            continue;
        uint32_t g = glyphs[i];
        uint16_t a = 0, b = 0;
        if (g < face->glyphCount && g != 0xFFFF && h->pairCount) {
            if (g < h->pairCount) {
                a = h->advances[g];
                b = uint16_t(h->bearings[g]);
            } else {
                a = h->advances[h->pairCount - 1];
                b = g - h->pairCount < h->extraCount ? uint16_t(h->bearings[g]) : 0;
            }
        }
        advance[i] = a;
        bearing[i] = b;
    }
    return Res_ok;
}

int loadHMetrics(FontFace *face)
{
    const FontTableEntry &e = face->tables->tables[FontTable_hmtx];
    uint32_t pairs = face->tables->numberOfHMetrics;
    uint64_t pairBytes = 4 * uint64_t(pairs);
    uint32_t rest = e.length > pairBytes ? uint32_t(((e.length - pairBytes) % 131072) & ~1u) : 0;
    HMetrics *h = static_cast<HMetrics *>(Mem_calloc(1, sizeof(HMetrics)));
    if (!h)
        return Res_noMemory;
    h->pairCount = pairs;
    h->extraCount = rest / 2;
    size_t words = size_t(pairs) * 2 + h->extraCount;
    uint8_t *raw = static_cast<uint8_t *>(Mem_malloc(words * 2 + 2));
    int r = raw ? Res_ok : Res_noMemory;
    if (r == Res_ok)
        r = BufStream_setRange(face->source, face->reader, e.offset, e.length);
    if (r == Res_ok)
        r = BufStream_read(face->reader, raw, words * 2);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(face->reader);
    if (r == Res_ok) {
        // In place: advances first, then every bearing.
        h->advances = reinterpret_cast<uint16_t *>(raw);
        h->bearings = reinterpret_cast<int16_t *>(raw) + pairs;
        uint16_t *tmp = static_cast<uint16_t *>(Mem_malloc(words * 2 + 2));
        r = tmp ? Res_ok : Res_noMemory;
        if (r == Res_ok) {
            for (uint32_t i = 0; i < pairs; i++) {
                tmp[i] = uint16_t(scaleUnsigned(face, Bytes_peekU16Be(raw + 4 * i)));
                tmp[pairs + i] = uint16_t(scaleSigned(face, Bytes_peekS16Be(raw + 4 * i + 2)));
            }
            for (uint32_t i = 0; i < h->extraCount; i++)
                tmp[2 * pairs + i] =
                    uint16_t(scaleSigned(face, Bytes_peekS16Be(raw + pairBytes + 2 * i)));
            memcpy(raw, tmp, words * 2);
            Mem_free(tmp);
        }
    }
    if (r != Res_ok) {
        Mem_free(raw);
        Mem_free(h);
        return r;
    }
    face->metricsData = h;
    return Res_ok;
}

int hmtxLoader(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
               const uint8_t *tags, uint16_t *bearing, uint16_t *advance)
{
    int r = loadHMetrics(face);
    if (r != Res_ok)
        return r;
    face->advance = hmtxLookup;
    return hmtxLookup(face, glyphs, n, runTag, tags, bearing, advance);
}

// ------------------------------------------------- compacted locations

struct Locations {
    uint32_t blockShift; // 5: blocks of 32 glyphs; 0: every glyph stores its offset
    uint32_t deltaBytes; // 1 or 2 in blocks; 3 or 4 for whole offsets
    uint32_t scaleShift;
    uint32_t glyphs; // entries: numGlyphs + 1
    uint8_t *data;
    uint32_t dataBytes;
    uint16_t *exceptions; // sorted glyph ids whose 1-byte delta lost 256
    uint32_t exceptionCount;
};

void freeLocations(void *data)
{
    Locations *l = static_cast<Locations *>(data);
    if (!l)
        return;
    Mem_free(l->data);
    Mem_free(l->exceptions);
    Mem_free(l);
}

uint32_t getLE(const uint8_t *p, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void putLE(uint8_t *p, uint32_t v, uint32_t bytes)
{
    for (uint32_t i = 0; i < bytes; i++)
        p[i] = uint8_t(v >> (8 * i));
}

// Exceptions at or below glyph g.
uint32_t exceptionsUpTo(const Locations *l, uint32_t g)
{
    return uint32_t(std::upper_bound(l->exceptions, l->exceptions + l->exceptionCount, g) -
                    l->exceptions);
}

uint32_t locate(const Locations *l, uint32_t g)
{
    if (l->blockShift == 0)
        return getLE(l->data + size_t(g) * l->deltaBytes, l->deltaBytes) << l->scaleShift;
    uint32_t block = g >> 5, first = block << 5;
    const uint8_t *p = l->data + size_t(block) * (3 + 31 * l->deltaBytes);
    uint32_t v = getLE(p, 3);
    p += 3;
    for (uint32_t i = first + 1; i <= g; i++, p += l->deltaBytes)
        v += getLE(p, l->deltaBytes);
    if (l->exceptionCount && g > first)
        v += 256 * (exceptionsUpTo(l, g) - exceptionsUpTo(l, first));
    return v << l->scaleShift;
}

int locaLookup(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    const Locations *l = static_cast<const Locations *>(face->locationData);
    *offset = l && glyph < l->glyphs ? locate(l, glyph) : 0;
    return Res_ok;
}

// Reads the raw offsets of every glyph and the end.
int readLoca(FontFace *face, uint32_t *offsets, uint32_t count)
{
    const FontTableEntry &e = face->tables->tables[FontTable_loca];
    bool wide = face->tables->indexToLocFormat != 0;
    int r = BufStream_setRange(face->source, face->reader, e.offset, e.length);
    for (uint32_t i = 0; i < count && r == Res_ok; i++) {
        if (wide) {
            r = BufStream_readU32(&offsets[i], face->reader);
        } else {
            uint16_t v = 0;
            r = BufStream_readU16(&v, face->reader);
            offsets[i] = uint32_t(v) * 2;
        }
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(face->reader);
    return r;
}

int compact(const uint32_t *off, uint32_t count, Locations *l)
{
    uint32_t bits = 0, maxOffset = 0;
    for (uint32_t i = 0; i < count; i++) {
        maxOffset = std::max(maxOffset, off[i]);
        if (i)
            bits |= off[i] - off[i - 1];
    }
    l->glyphs = count;
    if (bits == 0)
        return Res_ok; // every glyph empty: every location is 0
    uint32_t s = uint32_t(__builtin_ctz(bits));
    uint32_t w = 32 - uint32_t(__builtin_clz(bits >> s));
    l->scaleShift = s;
    // Bases are 3 bytes: offsets that do not fit are kept whole in 4.
    bool wideBase = (maxOffset >> s) >= (1u << 24);
    if (w >= 17 || wideBase) {
        l->blockShift = 0;
        l->deltaBytes = wideBase ? 4 : 3;
        l->dataBytes = count * l->deltaBytes;
        l->data = static_cast<uint8_t *>(Mem_malloc(l->dataBytes));
        if (!l->data)
            return Res_noMemory;
        for (uint32_t i = 0; i < count; i++)
            putLE(l->data + size_t(i) * l->deltaBytes, off[i] >> s, l->deltaBytes);
        return Res_ok;
    }
    uint32_t big = 0;
    for (uint32_t i = 1; i < count; i++)
        if (i & 31u && ((off[i] - off[i - 1]) >> s) >= 256)
            big++;
    l->blockShift = 5;
    l->deltaBytes = w <= 8 || (w == 9 && big <= 256) ? 1 : 2;
    if (l->deltaBytes == 1 && w == 9 && big) {
        l->exceptions = static_cast<uint16_t *>(Mem_malloc(big * 2));
        if (!l->exceptions)
            return Res_noMemory;
    }
    uint32_t blocks = (count + 31) / 32;
    l->dataBytes = blocks * (3 + 31 * l->deltaBytes);
    l->data = static_cast<uint8_t *>(Mem_calloc(1, l->dataBytes));
    if (!l->data)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t *block = l->data + size_t(i >> 5) * (3 + 31 * l->deltaBytes);
        if ((i & 31u) == 0) {
            putLE(block, off[i] >> s, 3);
            continue;
        }
        uint32_t d = (off[i] - off[i - 1]) >> s;
        if (l->deltaBytes == 1 && d >= 256)
            l->exceptions[l->exceptionCount++] = uint16_t(i);
        putLE(block + 3 + ((i & 31u) - 1) * l->deltaBytes, d, l->deltaBytes);
    }
    return Res_ok;
}

int loadLocations(FontFace *face)
{
    Locations *l = static_cast<Locations *>(Mem_calloc(1, sizeof(Locations)));
    if (!l)
        return Res_noMemory;
    uint32_t count = uint32_t(face->glyphCount) + 1;
    uint32_t *off = static_cast<uint32_t *>(Mem_malloc(count * sizeof(uint32_t)));
    int r = off ? readLoca(face, off, count) : Res_noMemory;
    if (r == Res_ok)
        r = compact(off, count, l);
    Mem_free(off);
    if (r != Res_ok) {
        freeLocations(l);
        return r;
    }
    face->locationData = l;
    return Res_ok;
}

int locaLoader(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    *offset = 0;
    if (face->glyphCount == 0)
        return Res_ok;
    int r = loadLocations(face);
    if (r != Res_ok)
        return r;
    face->locateGlyph = locaLookup;
    return locaLookup(face, glyph, offset);
}

// ------------------------------------------------------ kerning pairs

struct KernEntry {
    uint32_t key; // left glyph x 65536 + right glyph
    int16_t value;
};

struct KernPairs {
    uint32_t count;
    KernEntry entries[1];
};

int kernLookup(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
               const uint8_t *tags, uint16_t *advance)
{
    const KernPairs *k = static_cast<const KernPairs *>(face->kerningData);
    for (uint32_t i = 1; i < n; i++) {
        if ((tags[i - 1] & 7u) != runTag || (tags[i] & 7u) != runTag)
            continue;
        uint32_t key = uint32_t(glyphs[i - 1]) << 16 | glyphs[i];
        const KernEntry *e =
            std::lower_bound(k->entries, k->entries + k->count, key,
                             [](const KernEntry &a, uint32_t v) { return a.key < v; });
        if (e != k->entries + k->count && e->key == key)
            advance[i - 1] = uint16_t(advance[i - 1] + e->value);
    }
    return Res_ok;
}

int noKerning(FontFace *, const uint16_t *, uint32_t, uint32_t, const uint8_t *, uint16_t *)
{
    return Res_ok;
}

int loadKerning(FontFace *face)
{
    FontTableDir *t = face->tables;
    BufStream *rd = face->reader;
    uint16_t count = 0;
    int r = BufStream_setRange(face->source, rd, t->kernStart, t->kernLength);
    if (r == Res_ok)
        r = BufStream_readU16(&count, rd);
    if (r == Res_ok && (t->kernLength < 8 || count != (t->kernLength - 8) / 6))
        r = Res_fontKernCount;
    if (r == Res_ok)
        r = BufStream_skip(rd, 6);
    KernPairs *k = nullptr;
    if (r == Res_ok) {
        k = static_cast<KernPairs *>(Mem_malloc(sizeof(KernPairs) + sizeof(KernEntry) * count));
        r = k ? Res_ok : Res_noMemory;
    }
    bool sorted = true;
    for (uint32_t i = 0; i < count && r == Res_ok; i++) {
        uint8_t p[6];
        r = BufStream_read(rd, p, sizeof p);
        k->entries[i] = KernEntry{uint32_t(Bytes_peekU16Be(p)) << 16 | Bytes_peekU16Be(p + 2),
                                  int16_t(scaleSigned(face, Bytes_peekS16Be(p + 4)))};
        if (i && k->entries[i].key < k->entries[i - 1].key)
            sorted = false;
    }
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok) {
        Mem_free(k);
        return r;
    }
    k->count = count;
    if (!sorted)
        std::sort(k->entries, k->entries + count,
                  [](const KernEntry &a, const KernEntry &b) { return a.key < b.key; });
    face->kerningData = k;
    return Res_ok;
}

int kernLoader(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
               const uint8_t *tags, uint16_t *advance)
{
    if (!face->tables || face->tables->kernStart == 0) {
        face->kerning = noKerning;
        return Res_ok;
    }
    int r = loadKerning(face);
    if (r != Res_ok)
        return r;
    face->kerning = kernLookup;
    return kernLookup(face, glyphs, n, runTag, tags, advance);
}

// ------------------------------------------------------------ the rest

FontFace *sharedParent(const FontFace *face)
{
    return (face->flags & FontFace_sharesParent) ? face->parent : nullptr;
}

// Frees a loaded table unless the parent holds the same one.
void dropTable(FontFace *face, void **slot, const void *parentValue, void (*release)(void *))
{
    if (*slot && !(sharedParent(face) && parentValue == *slot))
        release(*slot);
    *slot = nullptr;
}

void freeKerning(void *data)
{
    Mem_free(data);
}

void installOperations(FontFace *face)
{
    face->map = Cmap_lazyMap;
    face->kerning = kernLoader;
    face->destroy = TrueType_close;
    if (isPack(face))
        return;
    face->outline = TrueType_loadGlyph;
    face->advance = hmtxLoader;
    face->locateGlyph = locaLoader;
}

int openSteps(FontFace *face, uint32_t dirOffset, uint32_t preferredRank)
{
    int r = readDirectory(face, dirOffset);
    if (r == Res_ok)
        r = readHead(face);
    if (r == Res_ok)
        r = readMaxp(face);
    if (r == Res_ok)
        r = chooseMap(face, preferredRank);
    if (r == Res_ok)
        r = readHhea(face);
    if (r == Res_ok)
        r = readOs2(face);
    if (r == Res_ok)
        r = readKern(face);
    FontEngine *fe = engineOf(face);
    const FontPackOps *ops = fe ? fe->packOps : nullptr;
    if (r == Res_ok && ops)
        r = ops->readHeader(face, face->reader, face->tables);
    if (r == Res_ok && isPack(face)) {
        if (!ops)
            return Res_fontUnsupported;
        face->outline = ops->glyphOutline;
        face->advance = ops->advances;
        face->locateGlyph = ops->glyphDataPos;
    }
    return r;
}

} // namespace

int TrueType_open(FontFace *face, uint32_t dirOffset, uint32_t preferredRank)
{
    if (!face || !face->reader)
        return Res_nullInput;
    face->tables = static_cast<FontTableDir *>(Mem_calloc(1, sizeof(FontTableDir)));
    if (!face->tables)
        return Res_noMemory;
    int r = openSteps(face, dirOffset, preferredRank);
    if (r != Res_ok) {
        Mem_free(face->tables);
        face->tables = nullptr;
        return r;
    }
    installOperations(face);
    Font_faceFillDefaults(face);
    return Res_ok;
}

void TrueType_dropCaches(FontFace *face)
{
    if (!face)
        return;
    Cmap_dropLoaded(face);
    FontFace *p = sharedParent(face);
    dropTable(face, &face->metricsData, p ? p->metricsData : nullptr, freeHMetrics);
    dropTable(face, &face->locationData, p ? p->locationData : nullptr, freeLocations);
    dropTable(face, &face->kerningData, p ? p->kerningData : nullptr, freeKerning);
    if (face->tables)
        installOperations(face);
}

void TrueType_close(FontFace *face)
{
    if (!face)
        return;
    if (!sharedParent(face))
        BufStream_close(face->reader);
    face->reader = nullptr;
    TrueType_dropCaches(face);
    FontFace *p = sharedParent(face);
    if (!p || p->widths != face->widths)
        // Freeing the widths cannot fail.
        (void)FontPack_freeWidths(face);
    if (!p || p->glyphOffsets != face->glyphOffsets)
        // Freeing the glyph offsets cannot fail.
        (void)FontPack_freeGlyphOffsets(face);
    if (face->tables && !(p && p->tables == face->tables)) {
        Mem_free(face->tables->fontData);
        Mem_free(face->tables);
    }
    Mem_free(face->name);
    Mem_free(face);
}

uint32_t TrueType_locationBytes(const FontFace *face)
{
    const Locations *l = static_cast<const Locations *>(face->locationData);
    return l ? l->dataBytes + l->exceptionCount * 2 : 0;
}
