// Font support routines: faces, font-pack widths, the single-byte encoding
// and the embedded-font dispatch.
//
// The width table of a font pack lists only the codes whose advance
// differs from a default, sorted, so a lookup is a binary search. Its
// count comes from the file and is checked against the table's length
// before anything is allocated: a damaged pack must not make the engine
// ask for gigabytes.
#include "fonts/fontsupport.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "core/text/cstr.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"

namespace {

// Default face metrics and box, in 1/16384 em.
constexpr int32_t defaultMetrics[FontFace_metricCount] = {-1784, 800, 14600, 14600, -3536};
constexpr int32_t defaultBox[4] = {-9312, -5024, 33232, 16496};

int defaultSlotA(FontFace *, void *, uint32_t *out)
{
    if (out)
        *out = 0;
    return Res_ok;
}

int defaultSlot(FontFace *, void *)
{
    return Res_ok;
}

int fontSupportNoKerning(FontFace *, const uint16_t *, uint32_t, uint32_t, const uint8_t *,
                         uint16_t *)
{
    return Res_ok;
}

bool widthVersionAccepted(uint32_t version)
{
    return version >= 0x00010000u && version <= 0x0001FFFFu;
}

// The advance of code in t, in font units: the default when absent.
uint16_t lookUpAdvance(const FontPackWidths *t, uint16_t code)
{
    int64_t low = 0, high = int64_t(t->count) - 1;
    while (low <= high) {
        int64_t middle = (low + high) / 2;
        uint16_t c = t->codes[middle];
        if (code > c)
            low = middle + 1;
        else if (code < c)
            high = middle - 1;
        else
            return t->advances[middle];
    }
    return t->defaultAdvance;
}

void freeWidthTable(FontPackWidths *t)
{
    if (!t)
        return;
    Mem_free(t->codes);
    Mem_free(t);
}

// Reads count 16-bit values in the reader's byte order.
int readWords(BufStream *rd, uint16_t *to, uint32_t count)
{
    int r = Res_ok;
    for (uint32_t i = 0; i < count && r == Res_ok; i++)
        r = BufStream_readU16(&to[i], rd);
    return r;
}

} // namespace

// ------------------------------------------------------------- faces

int Font_faceCreate(EngineContext *source, uint32_t kind, uint32_t creationWord2, FontFace *parent,
                    FontFace **out)
{
    FontFace *f = static_cast<FontFace *>(Mem_calloc(1, sizeof(FontFace)));
    *out = f;
    if (!f)
        return Res_noMemory;
    f->refCount = 1;
    f->kind = kind;
    f->creationWord2 = creationWord2;
    if (parent) {
        Font_faceRetain(parent);
        f->parent = parent;
        f->source = parent->source;
        f->mapRank = parent->mapRank;
        f->styleWord = parent->styleWord;
        f->headFlags = parent->headFlags;
        f->unitsPerEm = parent->unitsPerEm;
        f->glyphCount = parent->glyphCount;
        f->glyphCountCopy = parent->glyphCountCopy;
        memcpy(f->metrics, parent->metrics, sizeof f->metrics);
        memcpy(f->box, parent->box, sizeof f->box);
    } else {
        f->source = source;
        for (int32_t &m : f->metrics)
            m = FontFace_unset;
    }
    f->slotA = defaultSlotA;
    f->slotB = defaultSlot;
    f->kerning = fontSupportNoKerning;
    return Res_ok;
}

void Font_faceFillDefaults(FontFace *face)
{
    for (int i = 0; i < FontFace_metricCount; i++) {
        if (face->metrics[i] == FontFace_unset)
            face->metrics[i] = defaultMetrics[i];
    }
    face->lineGap = 0;
    int32_t *box = face->box;
    if (int64_t(box[2]) - box[0] <= 0 || int64_t(box[3]) - box[1] <= 0)
        memcpy(box, defaultBox, sizeof defaultBox);
    if (face->metrics[3] <= face->metrics[4]) {
        face->metrics[3] = box[3];
        face->metrics[4] = box[1];
    }
}

void Font_faceRetain(FontFace *face)
{
    face->refCount++;
}

int Font_faceReleaseFile(FontFace *face)
{
    return BufStream_closeFile(face->reader);
}

void Font_faceRelease(FontFace *face)
{
    if (!face)
        return;
    if (face->refCount > 1) {
        face->refCount--;
        return;
    }
    face->refCount = 0;
    // The parent goes last: a face that shares its parent's file and tables
    // tells them apart from its own through the parent while it is freed.
    FontFace *parent = face->parent;
    if (face->close)
        face->close(face->closeArg);
    if (FontCodeHook *h = face->codeHook) {
        if (h->release)
            h->release(h->table);
        Mem_free(h);
        face->codeHook = nullptr;
    }
    Mem_free(face->name);
    face->name = nullptr;
    if (face->destroy)
        face->destroy(face);
    else
        Mem_free(face);
    Font_faceRelease(parent);
}

int Font_faceCopyName(const FontFace *face, char *buffer, size_t length)
{
    const char *name = face->name ? face->name : "";
    size_t n = strnlen(name, length);
    memcpy(buffer, name, n);
    memset(buffer + n, 0, length - n);
    return Res_ok;
}

int Font_faceSetName(const char *name, FontFace *face)
{
    Mem_free(face->name);
    face->name = nullptr;
    if (!name)
        return Res_ok;
    face->name = Cstr_dup(name);
    return face->name ? Res_ok : Res_noMemory;
}

int Font_faceCallOp(FontFace *face, uint16_t code, uint16_t answer[2])
{
    answer[0] = answer[1] = 0;
    if (!face->advance)
        return Res_notImplemented;
    const uint8_t tag = 0;
    return face->advance(face, &code, 1, 0, &tag, &answer[1], &answer[0]);
}

// ---------------------------------------------------------- font packs

int FontPack_installOps(FontPackOps **slot)
{
    if (!slot)
        return 0;
    if (*slot)
        return 1;
    FontPackOps *ops = static_cast<FontPackOps *>(Mem_malloc(sizeof(FontPackOps)));
    if (!ops)
        return 0;
    ops->glyphOutline = FontPack_glyphOutline;         // 0
    ops->glyphDataPos = FontPack_glyphDataPos;         // 1
    ops->advances = FontPack_getAdvances;              // 2
    ops->readHeader = FontPack_readHeader;             // 3
    ops->freeWidths = FontPack_freeWidths;             // 4
    ops->freeGlyphOffsets = FontPack_freeGlyphOffsets; // 5
    *slot = ops;
    return 1;
}

int FontPack_getAdvances(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                         const uint8_t *tags, uint16_t *zero, uint16_t *advance)
{
    FontFace *parent = (face->flags & FontFace_sharesParent) ? face->parent : nullptr;
    FontPackWidths *t = face->widths;
    if (!t && parent)
        t = parent->widths;
    if (!t) {
        int r = FontPack_loadWidths(face, &t);
        if (r != Res_ok)
            return r;
    }
    face->widths = t;
    if (parent)
        parent->widths = t;
    uint32_t unitsPerEm = face->unitsPerEm;
    for (uint32_t i = 0; i < n; i++) {
        if ((tags[i] & 7u) != runTag)
            continue;
        zero[i] = 0;
        // A refused table or a units per em of 0 leave nothing to measure.
        if (codes[i] == 0xFFFF || !t || unitsPerEm == 0) {
            advance[i] = 0;
            continue;
        }
        advance[i] = uint16_t(uint32_t(lookUpAdvance(t, codes[i])) * 16384u / unitsPerEm);
    }
    return Res_ok;
}

int FontPack_loadWidths(FontFace *face, FontPackWidths **out)
{
    *out = nullptr;
    if (!face->reader || !face->tables)
        return Res_nullInput;
    BufStream *rd = face->reader;
    const FontTableEntry &entry = face->tables->tables[FontTable_ffhm];
    FontPackWidths *t = nullptr;
    uint32_t version = 0;
    int r = BufStream_setRange(face->source, rd, entry.offset, entry.length);
    if (r == Res_ok)
        r = BufStream_readU32(&version, rd);
    if (r == Res_ok && !widthVersionAccepted(version))
        goto refused;
    if (r == Res_ok) {
        t = static_cast<FontPackWidths *>(Mem_calloc(1, sizeof(FontPackWidths)));
        r = t ? Res_ok : Res_noMemory;
    }
    if (r == Res_ok)
        r = BufStream_readU32(&t->count, rd);
    if (r == Res_ok && 12 + 4 * uint64_t(t->count) > entry.length)
        goto refused;
    if (r == Res_ok && t->count) {
        t->codes = static_cast<uint16_t *>(Mem_malloc(size_t(t->count) * 4));
        r = t->codes ? Res_ok : Res_noMemory;
        t->advances = t->codes ? t->codes + t->count : nullptr;
    }
    if (r == Res_ok) {
        t->version = version;
        r = BufStream_readU16(&t->defaultAdvance, rd);
    }
    if (r == Res_ok)
        r = BufStream_readU16(&t->second, rd);
    if (r == Res_ok && t->count)
        r = readWords(rd, t->codes, t->count);
    if (r == Res_ok && t->count)
        r = readWords(rd, t->advances, t->count);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    if (r != Res_ok) {
        freeWidthTable(t);
        face->widths = nullptr;
        return r;
    }
    *out = t;
    return Res_ok;
refused:
    freeWidthTable(t);
    // Only ends the read window: a read fault already showed in the reads.
    (void)BufStream_flush(rd);
    return Res_ok;
}

int FontPack_freeWidths(FontFace *face)
{
    freeWidthTable(face->widths);
    face->widths = nullptr;
    return Res_ok;
}

// ---------------------------------------------- single-byte encoding

int FontEnc_installSingleByte(SingleByteEncoding **slot)
{
    if (!slot || !*slot)
        return 0;
    SingleByteEncoding *e = *slot;
    e->map = FontEnc_mapSingleByte;
    e->load = FontEnc_loadSingleByte;
    e->release = FontEnc_freeSingleByte;
    return 1;
}

int FontEnc_loadSingleByte(FontMapRequest *request)
{
    if (!request || !request->target || !request->reader)
        return Res_nullInput;
    uint8_t *table = static_cast<uint8_t *>(Mem_malloc(256));
    if (!table)
        return Res_noMemory;
    int r = BufStream_read(request->reader, table, 256);
    if (r != Res_ok) {
        Mem_free(table);
        return r;
    }
    Mem_free(request->target->data);
    request->target->data = table;
    return Res_ok;
}

int FontEnc_mapSingleByte(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                          uint16_t *glyphs, uint8_t *tags, uint32_t *remaining)
{
    const FontMapData *map = static_cast<const FontMapData *>(face->mapData);
    const uint8_t *table = map ? static_cast<const uint8_t *>(map->data) : nullptr;
    uint32_t left = *remaining;
    for (uint32_t i = 0; i < n && left != 0 && table; i++) {
        if (glyphs[i] != 0 || codes[i] >= 256 || table[codes[i]] == 0)
            continue;
        glyphs[i] = table[codes[i]];
        tags[i] = uint8_t((tags[i] & ~7u) | (sourceTag & 7u));
        left--;
    }
    *remaining = left;
    return Res_ok;
}

void FontEnc_freeSingleByte(void *table)
{
    Mem_free(table);
}

// ------------------------------------------------------ embedded fonts

// The TrueType side of the dispatch. A kind-48 face is an ordinary
// TrueType face over the document's bytes (its maps and glyphs are read by
// the TrueType reader), so it carries no query word of its own and there
// is no operation to forward to: -1 and 0, as for an unknown kind.
int32_t EmbeddedTrueType_queryWord(FontFace *)
{
    return -1;
}

int EmbeddedTrueType_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}

// The kind-50 side: a face built from a document's font program answers
// its glyphs through its own glyph program (fonts/embeddedfont.h); no
// caller sends it an operation of its own, so the forward answers 0.
int EmbeddedFont_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}

int32_t EmbFont_queryWord(FontFace *font)
{
    if (!font)
        return -1;
    if (font->kind == FontFace_kindEmbedded) {
        const EmbFontData *data = static_cast<const EmbFontData *>(font->closeArg);
        return data ? data->queryWord : -1;
    }
    if (font->kind == FontFace_kindEmbeddedTrueType)
        return EmbeddedTrueType_queryWord(font);
    return -1;
}

int EmbFont_forward(FontFace *font, uintptr_t a, uintptr_t b, uintptr_t c)
{
    if (!font)
        return 0;
    if (font->kind == FontFace_kindEmbedded)
        return EmbeddedFont_forward(font, a, b, c);
    if (font->kind == FontFace_kindEmbeddedTrueType)
        return EmbeddedTrueType_forward(font, a, b, c);
    return 0;
}
