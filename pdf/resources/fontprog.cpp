// Embedded font programs: "FontFile" (Type 1), "FontFile2" (TrueType) and
// "FontFile3" (CFF) turned into engine fonts that the document owns. A
// program that cannot be loaded leaves the font to its substitute.
#include <cstdio>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/fontsupport.h"
#include "document/edr/doc.h"
#include "fonts/cmap.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/fontface.h"
#include "fonts/pdfcmap.h"
#include "pdf/document.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfcff.h"
#include "fonts/programs/type1.h"
#include "pdf/resources/pdfstream.h"

namespace {

enum : uint32_t {
    kRankWithEncoding = 0x3A,
    kRankWithoutEncoding = 0x3C,
};

int streamEntry(PdfDoc *doc, PdfObj *descriptor, const char *key, PdfObj **out)
{
    *out = nullptr;
    if (!descriptor || (descriptor->type != PdfObj_dict && descriptor->type != PdfObj_stream))
        return Res_ok;
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, key, descriptor, &v);
    if (!err && v && v->type == PdfObj_stream)
        *out = v;
    return err;
}

// The decoded data of a font stream: Res_pdfNoFontData when it has none.
int readProgram(PdfDoc *doc, PdfObj *stream, uint8_t **block, size_t *size)
{
    int err = Pdf_Stream_readToMemory(doc, stream, block, size);
    if (!err && (!*block || !*size)) {
        Mem_free(*block);
        *block = nullptr;
        err = Res_pdfNoFontData;
    }
    return err;
}

// Records face in the document and in native; unregisters it when the
// document cannot take it. The caller keeps its reference.
int adopt(PdfDoc *doc, FontFace *face, PdfNativeFont *native)
{
    int err = Edr_Doc_addFont(doc->edrDoc, face);
    if (err) {
        Font_unregister(doc->context, face);
        return err;
    }
    std::snprintf(native->faceName, sizeof native->faceName, "%s", face->name ? face->name : "");
    native->engineFontMade = 1;
    return Res_ok;
}

// A CFF program from memory: the engine font, or an error.
int loadCff(PdfDoc *doc, const uint8_t *block, size_t size, PdfGlyphNameList *names,
            uint16_t **encoding, uint32_t mode, EmbeddedFont **font)
{
    ByteStream *bytes = nullptr;
    PdfCffProgram *program = nullptr;
    int err = Pdf_Stream_openMemory(block, size, &bytes);
    if (!err)
        err = Pdf_Cff_open(bytes, &program);
    if (!err)
        err = Pdf_Cff_buildFont(doc->context, program, 0, names, font, encoding, mode);
    Pdf_Cff_close(program);
    if (bytes)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(bytes);
    return err;
}

// Whether the document can own fonts made from its programs.
bool canOwn(PdfDoc *doc)
{
    return doc && doc->edrDoc && doc->context;
}

void releasePairs(void *table)
{
    Pdf_Font_freeCodePairs(static_cast<PdfCodePairs *>(table));
}

void releaseBlock(void *table)
{
    Mem_free(table);
}

// The hook that turns the codes of a composite font's runs (CID + 1) into
// text: pairs over the font's own codes when it has a modest number of
// them, else the CMap's whole table. A table that cannot be made leaves
// the hook out.
int hookComposite(PdfDoc *doc, FontFace *face, const PdfNativeFont *native)
{
    EmbeddedFont *embedded = EmbeddedFont_ofFace(face);
    int32_t n = embedded ? EmbeddedFont_glyphCount(embedded) : Font_codePairCount(face);
    const uint16_t *cmapTable = CMap_getMapTable(native->cmap);
    if (n >= 1 && n <= 0x7FFF) {
        uint16_t *codes = static_cast<uint16_t *>(Mem_malloc(size_t(n) * sizeof(uint16_t)));
        if (!codes)
            return Res_ok;
        for (int32_t i = 0; i < n; i++)
            codes[i] = embedded ? EmbeddedFont_glyphCode(embedded, uint32_t(i))
                                : Font_codePairCode(face, uint32_t(i));
        PdfCodePairs *pairs = nullptr;
        int err = Pdf_Font_compositeCodePairs(codes, uint32_t(n), cmapTable, &pairs);
        Mem_free(codes);
        if (err || !pairs)
            return Res_ok;
        // Without memory for the hook the font draws all the same.
        (void)Font_setCodeHook(doc->context, face, pairs, Pdf_Font_hookByCountedPairs,
                               releasePairs);
        return Res_ok;
    }
    uint16_t *copy = nullptr;
    if (CMap_copyUnicodeTable(&copy, cmapTable) != Res_ok)
        return Res_ok;
    (void)Font_setCodeHook(doc->context, face, copy, Pdf_Font_hookByCMap, releaseBlock);
    return Res_ok;
}

} // namespace

int Pdf_FontProg_hookToUnicode(PdfDoc *doc, PdfObj *fontDict, const PdfNativeFont *native,
                               FontFace *face)
{
    // A program without a Unicode character map finds no glyph by a
    // character: its codes stay as they are.
    if (!face || native->drawsByCode)
        return Res_ok;
    uint16_t *map = nullptr;
    int err = Pdf_Font_readToUnicodeMap(doc, fontDict, &map);
    if (err || !map)
        return err; // an unreadable map installs nothing
    PdfCodePairs *pairs = nullptr;
    err = Pdf_Font_simpleToUnicodePairs(native, map, &pairs);
    Mem_free(map);
    if (err)
        return err;
    return Font_setCodeHook(doc->context, face, pairs, Pdf_Font_hookBySortedPairs, releasePairs);
}

int Pdf_Stream_loadType1(PdfDoc *doc, PdfObj *stream, PdfGlyphNameList *names, EmbeddedFont **font,
                         uint16_t **encoding)
{
    *font = nullptr;
    if (encoding)
        *encoding = nullptr;
    uint8_t *block = nullptr;
    size_t size = 0;
    int err = readProgram(doc, stream, &block, &size);
    ByteStream *bytes = nullptr;
    if (!err)
        err = Pdf_Stream_openMemory(block, size, &bytes);
    if (!err)
        err = Type1_load(doc->context, bytes, names, font, encoding);
    if (bytes)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(bytes);
    Mem_free(block);
    return err;
}

int Pdf_FontProg_loadType1(PdfDoc *doc, PdfObj *fontDict, PdfObj *descriptor, PdfNativeFont *native)
{
    PdfObj *fontFile = nullptr, *fontFile3 = nullptr, *base = nullptr;
    int err = streamEntry(doc, descriptor, "FontFile", &fontFile);
    if (!err)
        err = streamEntry(doc, descriptor, "FontFile3", &fontFile3);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "BaseFont", fontDict, &base);
    if (err)
        return err;
    if (!fontFile && !fontFile3) {
        if (base && base->type == PdfObj_name) {
            if (std::strcmp(base->value.name, "ZapfDingbats") == 0)
                native->encoding = PdfEnc_zapfDingbats;
            else if (std::strcmp(base->value.name, "Symbol") == 0)
                native->encoding = PdfEnc_symbol;
        }
        return Res_ok;
    }
    if (!canOwn(doc))
        return Res_ok;
    EmbeddedFont *font = nullptr;
    uint16_t *table = nullptr;
    if (fontFile3) {
        uint8_t *block = nullptr;
        size_t size = 0;
        err = readProgram(doc, fontFile3, &block, &size);
        if (!err)
            err = loadCff(doc, block, size, native->glyphNames, &table, PdfCff_modeCode, &font);
        Mem_free(block);
    } else {
        err = Pdf_Stream_loadType1(doc, fontFile, native->glyphNames, &font, &table);
    }
    if (!err && font)
        err = adopt(doc, font->face, native);
    if (!err && table) {
        std::memcpy(native->table, table, sizeof native->table);
        native->encoding = PdfEnc_table;
    }
    Mem_free(table);
    EmbeddedFont_release(font);
    if (err == Res_noMemory)
        return err;
    // Any other failure leaves the font to its substitute.
    return Res_ok;
}

int Pdf_FontProg_loadTrueType(PdfDoc *doc, PdfObj *fontDict, PdfObj *descriptor,
                              PdfNativeFont *native, int hasEncoding, FontFace **out)
{
    *out = nullptr;
    (void)fontDict;
    PdfObj *fontFile2 = nullptr, *flagsObj = nullptr;
    int err = streamEntry(doc, descriptor, "FontFile2", &fontFile2);
    if (!err && fontFile2)
        err = Pdf_Obj_dictGet(doc, "Flags", descriptor, &flagsObj);
    if (err || !fontFile2)
        return err;
    native->encoding = PdfEnc_program;
    if (!canOwn(doc))
        return Res_ok;
    int32_t flags = flagsObj && flagsObj->type == PdfObj_int ? flagsObj->value.i : 0;
    uint8_t *block = nullptr;
    size_t size = 0;
    FontFace *face = nullptr;
    err = readProgram(doc, fontFile2, &block, &size);
    if (!err)
        native->drawsByCode = !Pdf_Font_programHasUnicodeMap(block, size);
    if (!err) {
        err = FontEngine_openEmbeddedTrueType(
            doc->context, block, size, &face,
            hasEncoding ? kRankWithEncoding : kRankWithoutEncoding, uint32_t(flags));
        if (err)
            Mem_free(block); // the face took the block only on success
    }
    if (!err)
        err = adopt(doc, face, native);
    if (err) {
        Font_faceRelease(face);
        return err == Res_noMemory ? err : Res_ok;
    }
    *out = face;
    return Res_ok;
}

int Pdf_FontProg_glyphCodeTable(const uint8_t *cidToGid, size_t length, uint32_t glyphCount,
                                uint16_t **table, uint32_t *count)
{
    *table = nullptr;
    *count = 0;
    uint32_t n = glyphCount;
    if (cidToGid) {
        n = 0;
        for (size_t c = 0; c + 1 < length; c += 2) {
            uint32_t g = Bytes_peekU16Be(cidToGid + c);
            if (g + 1 > n)
                n = g + 1;
        }
    }
    if (!n)
        return Res_ok;
    uint16_t *t = static_cast<uint16_t *>(Mem_calloc(n, sizeof(uint16_t)));
    if (!t)
        return Res_noMemory;
    if (cidToGid) {
        for (size_t c = 0; c + 1 < length; c += 2) {
            uint32_t g = Bytes_peekU16Be(cidToGid + c);
            size_t key = c / 2 + 1;
            t[g] = uint16_t(key > 65535 ? 65535 : key);
        }
    } else {
        for (uint32_t g = 0; g < n; g++)
            t[g] = uint16_t(g + 1 > 65535 ? 65535 : g + 1);
    }
    *table = t;
    *count = n;
    return Res_ok;
}

int Pdf_FontProg_loadComposite(PdfDoc *doc, PdfObj *descendant, PdfNativeFont *native)
{
    PdfObj *descriptor = nullptr, *fontFile2 = nullptr, *fontFile3 = nullptr, *map = nullptr;
    int err = Pdf_Obj_dictGet(doc, "FontDescriptor", descendant, &descriptor);
    if (!err)
        err = streamEntry(doc, descriptor, "FontFile3", &fontFile3);
    if (!err)
        err = streamEntry(doc, descriptor, "FontFile2", &fontFile2);
    if (!err && fontFile2 && !fontFile3)
        err = Pdf_Obj_dictGet(doc, "CIDToGIDMap", descendant, &map);
    if (err || (!fontFile2 && !fontFile3) || !canOwn(doc))
        return err;
    uint8_t *block = nullptr;
    size_t size = 0;
    if (fontFile3) {
        EmbeddedFont *font = nullptr;
        err = readProgram(doc, fontFile3, &block, &size);
        if (!err)
            err = loadCff(doc, block, size, nullptr, nullptr, PdfCff_modeCid, &font);
        Mem_free(block);
        if (!err)
            err = adopt(doc, font->face, native);
        if (!err)
            err = hookComposite(doc, font->face, native);
        EmbeddedFont_release(font);
    } else {
        FontFace *face = nullptr;
        uint8_t *mapData = nullptr;
        size_t mapSize = 0;
        err = readProgram(doc, fontFile2, &block, &size);
        if (!err && map && map->type == PdfObj_stream)
            err = Pdf_Stream_readToMemory(doc, map, &mapData, &mapSize);
        // What the glyphs read as, by the program's own character map,
        // for codes no other map gives a character.
        if (!err && !native->cidText)
            err = Pdf_Font_programCidText(block, size,
                                          map && map->type == PdfObj_stream ? mapData : nullptr,
                                          mapSize, &native->cidText, &native->cidTextCount);
        if (!err) {
            err = FontEngine_openEmbeddedTrueType(doc->context, block, size, &face,
                                                  kRankWithEncoding, 0);
            if (err)
                Mem_free(block);
        } else {
            Mem_free(block);
        }
        uint16_t *table = nullptr;
        uint32_t count = 0;
        if (!err) {
            // A map stream without data maps no glyph.
            static const uint8_t kNone[1] = {0};
            const uint8_t *cidToGid =
                map && map->type == PdfObj_stream ? (mapData ? mapData : kNone) : nullptr;
            err = Pdf_FontProg_glyphCodeTable(cidToGid, mapData ? mapSize : 0,
                                              Font_glyphCount(face), &table, &count);
        }
        Mem_free(mapData);
        if (!err)
            err = Cmap_setCodeTable(face, table, count);
        Mem_free(table);
        if (!err)
            err = adopt(doc, face, native);
        else if (face)
            Font_unregister(doc->context, face);
        if (!err)
            err = hookComposite(doc, face, native);
        Font_faceRelease(face);
    }
    if (err)
        return err == Res_noMemory ? err : Res_ok;
    native->encoding = PdfEnc_cmapEmbedded;
    return Res_ok;
}
