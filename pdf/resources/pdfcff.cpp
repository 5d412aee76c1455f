// The CFF reader of embedded font programs: opens a program's INDEXes,
// reads its Top DICT, Private DICTs, charset and FDSelect through the CFF
// tables of the font engine, and adds every glyph's outline to a new
// engine font.
#include "pdf/resources/pdfcff.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/pdfcmap.h"
#include "graphics/glyphpath.h"
#include "pdf/pdf.h"

namespace {

int streamFailure(ByteStream *s, int code)
{
    int st = ByteStream_takeStatus(s);
    return st ? st : code;
}

int openIndex(PdfCffProgram *p, CffIndex *x, uint64_t start)
{
    Cff_indexInit(x, p->source, start, ByteStream_getLength(p->source));
    return Cff_indexOpen(x);
}

void freePrivates(PdfCffPrivate *privs, uint32_t count)
{
    for (uint32_t i = 0; privs && i < count; i++) {
        FontFile_freeEntryArray(privs[i].localSubrs, &privs[i].localCount);
        CffTopDict_destroy(privs[i].fontDict);
    }
    Mem_free(privs);
}

// The private record of a dictionary: its widths, local subroutines and
// the program's global ones.
int makePrivate(PdfCffProgram *p, const CffTopDict *top, CffTopDict *own, PdfCffPrivate *out)
{
    out->fontDict = own;
    const CffPrivateDict *priv = CffTopDict_private(own ? own : top);
    CffPrivate_widths(priv, &out->context.defaultWidthX, &out->context.nominalWidthX);
    std::memcpy(out->context.matrix, CffTopDict_matrix(top), sizeof out->context.matrix);
    out->context.globalSubrs = p->globalSubrs;
    out->context.globalCount = p->globalCount;
    int rc = Res_ok;
    if (const CffIndex *subrs = CffPrivate_subrs(priv))
        rc = Pdf_Cff_loadIndexEntries(p->source, subrs, &out->localSubrs, &out->localCount);
    out->context.localSubrs = out->localSubrs;
    out->context.localCount = out->localCount;
    return rc;
}

// The private records of a font: one for a name-keyed font, one per
// FDArray entry for a CID-keyed one.
int loadPrivates(PdfCffProgram *p, const CffTopDict *top, bool cidKeyed, PdfCffPrivate **out,
                 uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    const CffIndex *fdArray = cidKeyed ? CffTopDict_fdArray(top) : nullptr;
    uint32_t n = fdArray ? Cff_indexCount(fdArray) : 1;
    if (cidKeyed && !n)
        return PdfCff_fdNoPrivate;
    if (!cidKeyed && !CffTopDict_private(top))
        return PdfCff_noPrivate;
    PdfCffPrivate *privs = static_cast<PdfCffPrivate *>(Mem_calloc(n, sizeof(PdfCffPrivate)));
    if (!privs)
        return Res_noMemory;
    int rc = Res_ok;
    for (uint32_t i = 0; !rc && i < n; i++) {
        CffTopDict *own = nullptr;
        if (fdArray) {
            uint64_t a = 0, b = 0;
            rc = Cff_indexEntryRange(fdArray, i, &a, &b);
            if (!rc)
                rc = CffTopDict_create(p->source, a, b, &own);
            if (!rc) {
                rc = CffTopDict_load(own);
                if (!rc && !CffTopDict_private(own))
                    rc = PdfCff_fdNoPrivate;
                if (rc) {
                    CffTopDict_destroy(own);
                    own = nullptr;
                }
            }
        }
        if (!rc)
            rc = makePrivate(p, top, own, &privs[i]);
    }
    if (rc) {
        freePrivates(privs, n);
        return rc;
    }
    *out = privs;
    *count = n;
    return Res_ok;
}

const PdfCffPrivate *privateOf(const CffTopDict *top, const PdfCffPrivate *privs, uint32_t count,
                               uint32_t glyph)
{
    uint8_t fd = 0;
    const CffFdSelect *sel = CffTopDict_fdSelect(top);
    if (count > 1 && sel && CffFdSelect_get(sel, glyph, &fd) == Res_ok && fd < count)
        return &privs[fd];
    return &privs[0];
}

// The key of glyph i.
int glyphKey(PdfCffProgram *p, const CffTopDict *top, bool cidKeyed, uint32_t i,
             PdfGlyphNameList *names, const uint16_t *cidUnicode, uint32_t mode, uint16_t *key)
{
    *key = 0;
    if (!cidKeyed && mode == PdfCff_modeCid) {
        *key = uint16_t(i + 1 > 65535 ? 65535 : i + 1);
        return Res_ok;
    }
    uint16_t id = 0;
    int rc = CffCharset_get(CffTopDict_charset(top), i, &id);
    if (rc)
        return rc;
    if (cidKeyed) {
        uint32_t k = uint32_t(id) + 1 > 65535 ? 65535 : uint32_t(id) + 1;
        *key = mode == PdfCff_modeCode && cidUnicode ? CMap_mapCode(cidUnicode, k) : uint16_t(k);
        return Res_ok;
    }
    if (mode == PdfCff_modeSid) {
        *key = id;
        return Res_ok;
    }
    if (id < Cff_standardStringCount) {
        *key = Cff_standardStringCodes[id];
        return Res_ok;
    }
    if (!names)
        return PdfCff_noGlyphNames;
    char *name = nullptr;
    rc = Pdf_Cff_stringForSid(p, id, &name);
    if (!rc)
        rc = Pdf_Font_glyphNameToCode(names, name, 1, key);
    Mem_free(name);
    return rc;
}

} // namespace

int Pdf_Cff_loadIndexEntries(ByteStream *source, const CffIndex *x, FontFileEntry **entries,
                             uint32_t *count)
{
    *entries = nullptr;
    *count = 0;
    uint32_t n = Cff_indexCount(x);
    if (!n)
        return Res_ok;
    FontFileEntry *list = static_cast<FontFileEntry *>(Mem_calloc(n, sizeof(FontFileEntry)));
    if (!list)
        return Res_noMemory;
    int rc = Res_ok;
    for (uint32_t i = 0; !rc && i < n; i++) {
        uint64_t s = 0, e = 0;
        rc = Cff_indexEntryRange(x, i, &s, &e);
        if (rc == Cff_indexBadEntry) {
            rc = Res_ok; // an empty entry has no data
            continue;
        }
        if (rc)
            break;
        list[i].data = static_cast<uint8_t *>(Mem_malloc(e - s));
        if (!list[i].data) {
            rc = Res_noMemory;
            break;
        }
        list[i].length = uint32_t(e - s);
        if (ByteStream_seek(source, s) != Res_ok ||
            ByteStream_readExact(source, list[i].data, e - s) != Res_ok)
            rc = streamFailure(source, PdfCff_readFailed);
    }
    if (rc) {
        FontFile_freeEntryArray(list, &n);
        return rc;
    }
    *entries = list;
    *count = n;
    return Res_ok;
}

int Pdf_Cff_open(ByteStream *source, PdfCffProgram **out)
{
    *out = nullptr;
    PdfCffProgram *p = static_cast<PdfCffProgram *>(Mem_calloc(1, sizeof(PdfCffProgram)));
    if (!p)
        return Res_noMemory;
    p->source = source;
    uint8_t headerSize = 0, offSize = 0;
    int rc = Res_ok;
    if (ByteStream_seek(source, 2) != Res_ok ||
        ByteStream_readByte(source, &headerSize) != Res_ok ||
        ByteStream_readByte(source, &offSize) != Res_ok)
        rc = streamFailure(source, PdfCff_dataEnded);
    p->offSize = offSize;
    if (!rc)
        rc = openIndex(p, &p->names, headerSize);
    if (!rc)
        rc = openIndex(p, &p->topDicts, Cff_indexEnd(&p->names));
    if (!rc)
        rc = openIndex(p, &p->strings, Cff_indexEnd(&p->topDicts));
    if (!rc)
        rc = openIndex(p, &p->globalSubrIndex, Cff_indexEnd(&p->strings));
    if (!rc)
        rc =
            Pdf_Cff_loadIndexEntries(source, &p->globalSubrIndex, &p->globalSubrs, &p->globalCount);
    if (rc) {
        Pdf_Cff_close(p);
        return rc;
    }
    *out = p;
    return Res_ok;
}

void Pdf_Cff_close(PdfCffProgram *p)
{
    if (!p)
        return;
    FontFile_freeEntryArray(p->globalSubrs, &p->globalCount);
    for (uint32_t i = 0; p->nameList && i < p->nameCount; i++)
        Mem_free(p->nameList[i]);
    Mem_free(p->nameList);
    Mem_free(p);
}

int Pdf_Cff_loadNames(PdfCffProgram *p, char ***names, uint32_t *count)
{
    *names = nullptr;
    *count = 0;
    if (!p->nameList && Cff_indexCount(&p->names)) {
        FontFileEntry *entries = nullptr;
        uint32_t n = 0;
        int rc = Pdf_Cff_loadIndexEntries(p->source, &p->names, &entries, &n);
        if (rc)
            return rc;
        p->nameList = static_cast<char **>(Mem_calloc(n, sizeof(char *)));
        for (uint32_t i = 0; p->nameList && i < n; i++) {
            p->nameList[i] = static_cast<char *>(Mem_malloc(entries[i].length + 1));
            if (!p->nameList[i]) {
                for (uint32_t k = 0; k < i; k++)
                    Mem_free(p->nameList[k]);
                Mem_free(p->nameList);
                p->nameList = nullptr;
                break;
            }
            if (entries[i].length)
                std::memcpy(p->nameList[i], entries[i].data, entries[i].length);
            p->nameList[i][entries[i].length] = 0;
        }
        FontFile_freeEntryArray(entries, &n);
        if (!p->nameList)
            return Res_noMemory;
        p->nameCount = Cff_indexCount(&p->names);
    }
    *names = p->nameList;
    *count = p->nameCount;
    return Res_ok;
}

int Pdf_Cff_stringForSid(PdfCffProgram *p, uint32_t sid, char **out)
{
    return Cff_readString(&p->strings, p->source, sid, out);
}

int Pdf_Cff_addGlyph(uint16_t key, const uint8_t *charstring, uint32_t length,
                     const PdfCffPrivate *priv, EmbeddedFont *font)
{
    GlyphPath *outline = nullptr;
    int rc = GlyphPath_create(&outline, GlyphPath_kindCodes);
    if (rc)
        return rc;
    int32_t sb = 0, advance = 0;
    rc = Type2_buildGlyph(font, outline, charstring, length, &priv->context, &sb, &advance);
    if (!rc)
        rc = GlyphPath_finish(outline);
    if (rc) {
        GlyphPath_destroy(outline);
        return rc;
    }
    return EmbeddedFont_addGlyph(font, key, outline, sb, advance);
}

int Pdf_Cff_buildFont(EngineContext *engine, PdfCffProgram *p, uint32_t fontIndex,
                      PdfGlyphNameList *names, EmbeddedFont **font, uint16_t **encoding,
                      uint32_t mode)
{
    *font = nullptr;
    if (encoding)
        *encoding = nullptr;
    char **fontNames = nullptr;
    uint32_t nameCount = 0;
    int rc = Pdf_Cff_loadNames(p, &fontNames, &nameCount);
    if (rc)
        return rc;
    const char *faceName = fontIndex < nameCount ? fontNames[fontIndex] : "";
    uint64_t a = 0, b = 0;
    CffTopDict *top = nullptr;
    rc = Cff_indexEntryRange(&p->topDicts, fontIndex, &a, &b);
    if (!rc)
        rc = CffTopDict_create(p->source, a, b, &top);
    if (!rc)
        rc = CffTopDict_load(top);
    const CffIndex *charStrings = rc ? nullptr : CffTopDict_charStrings(top);
    if (!rc && !charStrings)
        rc = PdfCff_noCharStrings;
    if (!rc && !CffTopDict_charset(top))
        rc = PdfCff_noCharset;
    bool cidKeyed = !rc && CffTopDict_ros(top);
    uint16_t *cidUnicode = nullptr;
    if (!rc && cidKeyed && mode == PdfCff_modeCode) {
        // The collection's Unicode values key the glyphs.
        char *ordering = nullptr;
        if (Pdf_Cff_stringForSid(p, uint32_t(CffTopDict_ros(top)->ordering), &ordering) == Res_ok)
            rc = CMap_loadCollectionUnicode(engine, ordering, &cidUnicode);
        Mem_free(ordering);
        if (rc && rc != Res_noMemory)
            rc = Res_ok;
    }
    PdfCffPrivate *privs = nullptr;
    uint32_t privCount = 0;
    if (!rc)
        rc = loadPrivates(p, top, cidKeyed, &privs, &privCount);
    EmbeddedFont *f = nullptr;
    if (!rc)
        rc = EmbeddedFont_create(engine, faceName, CffTopDict_units(top), 0, &f);
    uint8_t *data = nullptr;
    uint32_t capacity = 0;
    uint32_t glyphs = rc ? 0 : Cff_indexCount(charStrings);
    for (uint32_t i = 1; !rc && i < glyphs; i++) {
        uint64_t s = 0, e = 0;
        rc = Cff_indexEntryRange(charStrings, i, &s, &e);
        if (rc == Cff_indexBadEntry) {
            rc = Res_ok; // an empty charstring draws nothing
            continue;
        }
        if (rc)
            break;
        uint32_t length = uint32_t(e - s);
        if (length > capacity) {
            Mem_free(data);
            data = static_cast<uint8_t *>(Mem_malloc(length));
            capacity = data ? length : 0;
            if (!data) {
                rc = Res_noMemory;
                break;
            }
        }
        if (ByteStream_seek(p->source, s) != Res_ok ||
            ByteStream_readExact(p->source, data, length) != Res_ok) {
            rc = streamFailure(p->source, PdfCff_readFailed);
            break;
        }
        uint16_t key = 0;
        rc = glyphKey(p, top, cidKeyed, i, names, cidUnicode, mode, &key);
        if (!rc && key)
            rc = Pdf_Cff_addGlyph(key, data, length, privateOf(top, privs, privCount, i), f);
    }
    Mem_free(data);
    Mem_free(cidUnicode);
    uint16_t *table = nullptr;
    if (!rc && !cidKeyed && encoding && mode != PdfCff_modeCid)
        rc = Cff_buildCodeTable(top, &p->strings, names, &table);
    if (!rc)
        rc = FontEngine_registerEmbedded(engine, f);
    freePrivates(privs, privCount);
    CffTopDict_destroy(top);
    if (rc) {
        Mem_free(table);
        EmbeddedFont_release(f);
        return rc;
    }
    if (encoding)
        *encoding = table;
    *font = f;
    return Res_ok;
}
