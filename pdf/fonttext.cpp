// The text that a shown string reads as, apart from the codes that draw
// it: ToUnicode maps first, then what the font's encoding or character
// collection says, then private use characters.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustrbuf.h"
#include "core/stream/bytestream.h"
#include "fonts/pdfcmap.h"
#include "pdf/document.h"
#include "pdf/font.h"
#include "pdf/obj.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "pdf/tounicode.h"

namespace {

int ftHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of n hex digits at s, or -1.
int32_t ftHex(const char *s, size_t n)
{
    int32_t v = 0;
    for (size_t i = 0; i < n; i++) {
        int d = ftHexValue(s[i]);
        if (d < 0)
            return -1;
        v = v << 4 | d;
    }
    return v;
}

// Appends a unit; a 0 unit is passed over. 0 or 1.
int ftPushUnit(Ustr_buf *b, char16_t unit)
{
    return unit ? Ustr_bufAppend(b, &unit, 1) : Res_ok;
}

bool ftPush(Ustr_buf *b, const char16_t *units, uint32_t n, int *err)
{
    for (uint32_t i = 0; i < n && !*err; i++)
        *err = ftPushUnit(b, units[i]);
    return !*err;
}

// A destination that holds something but zeros.
bool ftUsable(const char16_t *t, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++)
        if (t[i])
            return true;
    return false;
}

// A private code a font's glyph-name list handed out, read back through
// the name it was given for: the character the name spells, or 0.
uint16_t ftFromPrivate(const PdfGlyphNameList *list, uint16_t code)
{
    for (const PdfGlyphName *n = list ? list->head : nullptr; n; n = n->next)
        if (n->code == code)
            return Pdf_Font_glyphNameSpelled(n->name);
    return 0;
}

uint16_t ftPrivate(uint32_t code)
{
    return uint16_t(PdfFont_privateText + code % PdfFont_privateTextCount);
}

// One byte of a simple font.
int ftSimpleCode(const PdfNativeFont *native, uint8_t b, Ustr_buf *out)
{
    char16_t t[PdfToUnicode_maxText];
    const PdfToUnicode *map = native->toUnicode;
    uint32_t n = Pdf_ToUnicode_lookup(map, b, 1, t);
    // Some maps of one-byte fonts give their codes two bytes.
    if (!n && map && (map->lengthsSeen & 2u))
        n = Pdf_ToUnicode_lookup(map, b, 2, t);
    int err = Res_ok;
    if (n && ftUsable(t, n)) {
        ftPush(out, t, n, &err);
        return err;
    }
    // A program drawn by its codes may still have an encoding that names
    // its characters.
    uint16_t u = native->encoding != PdfEnc_program ? Pdf_Font_codeToUnicode(native, b)
                 : native->textTable                ? native->table[b]
                                                    : b;
    if (u >= PdfFont_firstPrivateCode && u != 0xFFFD)
        u = ftFromPrivate(native->glyphNames, u);
    if (u < 32 && u != 9 && u != 10 && u != 13)
        u = 0;
    if (!u)
        u = ftPrivate(b);
    return ftPushUnit(out, u);
}

int ftType3Code(const PdfType3Font *font, uint8_t b, Ustr_buf *out)
{
    char16_t t[PdfToUnicode_maxText];
    uint32_t n = Pdf_ToUnicode_lookup(font->toUnicode, b, 1, t);
    int err = Res_ok;
    if (n && ftUsable(t, n)) {
        ftPush(out, t, n, &err);
        return err;
    }
    // Codes the names leave alone read through the standard encoding.
    uint16_t u = font->textTable ? font->textTable[b] : 0;
    if (!u)
        u = Pdf_baseEncodings[0][b];
    if (u < 32)
        u = 0;
    return ftPushUnit(out, u ? u : ftPrivate(b));
}

// The code at p (left bytes) of a composite font: *length its bytes and
// *cid its CID (0 when the encoding has none).
void ftCompositeCode(const PdfNativeFont *native, const uint8_t *p, size_t left, uint32_t *length,
                     uint32_t *cid)
{
    const CMap *cmap = native->cmap;
    *cid = 0;
    *length = 0;
    if (cmap && cmap->kind == -1) {
        uint8_t window[6] = {0, 0, 0, 0, 0, 0};
        std::memcpy(window, p, left < 6 ? left : 6);
        *cid = CMap_lookup(cmap, window, length);
        for (const CMap *parent = cmap->parent; *cid == 0 && parent; parent = parent->parent) {
            uint32_t n = 0;
            uint16_t c = CMap_lookup(parent, window, &n);
            if (n) {
                *cid = c;
                *length = n;
            }
        }
        if (!*length)
            *length = 1;
    } else {
        *length = Pdf_ToUnicode_codeLength(native->toUnicode, p, left);
    }
    if (*length > left)
        *length = uint32_t(left);
    if (!*length)
        *length = 1;
}

int ftComposite(const PdfNativeFont *native, const uint8_t *bytes, size_t length, Ustr_buf *out)
{
    // The CMap's table answers by CID only when it is a collection's; a
    // table made from the font's own map was read above already.
    const uint16_t *collection =
        native->cmap && native->collection ? CMap_getMapTable(native->cmap) : nullptr;
    char16_t t[PdfToUnicode_maxText];
    int err = Res_ok;
    size_t at = 0;
    while (at < length && !err) {
        uint32_t n = 0, cid = 0;
        ftCompositeCode(native, bytes + at, length - at, &n, &cid);
        // The code's value: its last four bytes.
        uint32_t code = 0;
        for (uint32_t k = n > PdfToUnicode_maxCodeBytes ? n - PdfToUnicode_maxCodeBytes : 0; k < n;
             k++)
            code = code << 8 | bytes[at + k];
        uint32_t tn =
            Pdf_ToUnicode_lookup(native->toUnicode, code, n < PdfToUnicode_maxCodeBytes ? n : 4, t);
        if (tn && ftUsable(t, tn))
            ftPush(out, t, tn, &err);
        else if (cid && collection && collection[cid])
            err = ftPushUnit(out, collection[cid]);
        else if (native->cmap && cid < native->cidTextCount && native->cidText[cid])
            err = ftPushUnit(out, native->cidText[cid]);
        else
            err = ftPushUnit(out, ftPrivate(native->cmap ? cid : code));
        at += n;
    }
    return err;
}

} // namespace

uint16_t Pdf_Font_glyphNameSpelled(const char *name)
{
    if (!name)
        return 0;
    size_t n = std::strlen(name);
    if (n >= 7 && std::strncmp(name, "uni", 3) == 0 && (n - 3) % 4 == 0) {
        int32_t v = ftHex(name + 3, 4);
        return v > 0 ? uint16_t(v) : 0;
    }
    if (n >= 5 && n <= 7 && name[0] == 'u') {
        int32_t v = ftHex(name + 1, n - 1);
        return v > 0 && v <= 0xFFFF ? uint16_t(v) : 0;
    }
    // A variant's suffix (".sc", ".alt", ...) read as its base name.
    const char *dot = std::strchr(name, '.');
    if (dot && dot != name && size_t(dot - name) < 64) {
        char base[64];
        std::memcpy(base, name, size_t(dot - name));
        base[dot - name] = 0;
        uint16_t u = 0;
        if (Pdf_Font_glyphNameToCode(nullptr, base, 0, &u) == Res_ok && u)
            return u;
        return Pdf_Font_glyphNameSpelled(base);
    }
    return 0;
}

int Pdf_Font_readToUnicode(PdfDoc *doc, PdfObj *fontDict, PdfToUnicode **out)
{
    *out = nullptr;
    PdfObj *stream = nullptr;
    int err = Pdf_Obj_dictGet(doc, "ToUnicode", fontDict, &stream);
    if (err == Res_noMemory)
        return err;
    if (err || !stream || stream->type != PdfObj_stream)
        return Res_ok;
    uint8_t *block = nullptr;
    size_t size = 0;
    err = Pdf_Stream_readToMemory(doc, stream, &block, &size);
    if (!err)
        err = Pdf_ToUnicode_parse(block, size, out);
    Mem_free(block);
    // A map that cannot be read counts as none.
    return err == Res_noMemory ? err : Res_ok;
}

int Pdf_Font_stringText(PdfDoc *, const PdfFontSel *sel, const uint8_t *bytes, size_t length,
                        char16_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    if (!sel || !bytes || !length)
        return Res_ok;
    if (length > 0x7FFFFFF0)
        length = 0x7FFFFFF0;
    const PdfNativeFont *native = sel->native;
    const PdfType3Font *type3 = sel->type3;
    uint32_t kind = native ? native->encoding : PdfEnc_none;
    bool simple = kind == PdfEnc_program || (kind >= PdfEnc_standard && kind <= PdfEnc_table);
    bool composite =
        kind == PdfEnc_cmapSubstitute || kind == PdfEnc_cmapEmbedded || kind == PdfEnc_unsupported;
    // A character-set CMap reads as the codes its decoding gives, unless a
    // map says otherwise.
    if (composite && native->cmap && native->cmap->kind != -1 && !native->toUnicode)
        composite = false;
    if (!type3 && !simple && !composite)
        return Res_ok; // the codes are the text
    // A Type 3 font that could not be read shows nothing.
    if (type3 && type3->lastCode < type3->firstCode)
        return Res_ok;
    Ustr_buf b;
    Ustr_bufInit(&b, uint32_t(length) + 1);
    int err = Res_ok;
    if (type3) {
        for (size_t i = 0; i < length && !err; i++)
            err = ftType3Code(type3, bytes[i], &b);
    } else if (simple) {
        for (size_t i = 0; i < length && !err; i++)
            err = ftSimpleCode(native, bytes[i], &b);
    } else {
        err = ftComposite(native, bytes, length, &b);
    }
    uint32_t n = b.length;
    if (!err)
        err = Ustr_bufTake(&b, out);
    Ustr_bufFree(&b);
    if (err)
        return err;
    *count = n;
    return Res_ok;
}

int Pdf_Type3_readText(PdfDoc *doc, PdfObj *dict, PdfType3Font *font)
{
    int err = Pdf_Font_readToUnicode(doc, dict, &font->toUnicode);
    PdfObj *encoding = nullptr, *differences = nullptr;
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Encoding", dict, &encoding);
    if (!err && encoding && encoding->type == PdfObj_dict)
        err = Pdf_Obj_dictGet(doc, "Differences", encoding, &differences);
    if (err || !differences || differences->type != PdfObj_array || !differences->value.arr)
        return err;
    font->textTable = static_cast<uint16_t *>(Mem_calloc(256, sizeof(uint16_t)));
    if (!font->textTable)
        return Res_noMemory;
    uint32_t n = differences->value.arr->count;
    int64_t code = 0;
    for (uint32_t i = 0; i < n; i++) {
        PdfObj *e = nullptr;
        if ((err = Pdf_Obj_arrayGet(doc, i, differences, &e)) != Res_ok)
            return err;
        if (e && e->type == PdfObj_int) {
            code = e->value.i;
        } else if (e && e->type == PdfObj_name) {
            uint16_t u = 0;
            if ((err = Pdf_Font_glyphNameToCode(nullptr, e->value.name, 0, &u)) != Res_ok)
                return err;
            if (!u)
                u = Pdf_Font_glyphNameSpelled(e->value.name);
            if (code >= 0 && code <= 255)
                font->textTable[code] = u;
            code++;
        }
    }
    return Res_ok;
}

namespace {

// The work a damaged map may cause is bounded: codes looked at.
constexpr uint32_t kFtMaxCodes = 1u << 20;

bool ftPrivateUse(uint32_t u)
{
    return u >= 0xE000 && u <= 0xF8FF;
}

// Records glyph g as showing character u, a character outside the private
// use area taking the place of one inside it.
void ftReverse(uint16_t *glyphText, uint32_t g, uint32_t u)
{
    if (g == 0 || g > 0xFFFF || u == 0 || u > 0xFFFF)
        return;
    uint16_t &slot = glyphText[g];
    if (!slot || (ftPrivateUse(slot) && !ftPrivateUse(u)))
        slot = uint16_t(u);
}

// A format 4 subtable at p (n bytes) into glyphText.
void ftFormat4(const uint8_t *p, size_t n, uint16_t *glyphText)
{
    if (n < 14)
        return;
    uint32_t segs = Bytes_peekU16Be(p + 6) / 2;
    if (n < 16 + size_t(segs) * 8)
        return;
    const uint8_t *ends = p + 14, *starts = ends + 2 * segs + 2, *deltas = starts + 2 * segs,
                  *offsets = deltas + 2 * segs;
    uint32_t budget = kFtMaxCodes;
    for (uint32_t i = 0; i < segs && budget; i++) {
        uint32_t end = Bytes_peekU16Be(ends + 2 * i), start = Bytes_peekU16Be(starts + 2 * i);
        uint32_t delta = Bytes_peekU16Be(deltas + 2 * i), offset = Bytes_peekU16Be(offsets + 2 * i);
        for (uint32_t c = start; c <= end && c < 0xFFFF && budget; c++, budget--) {
            uint32_t g = 0;
            if (!offset) {
                g = (c + delta) & 0xFFFF;
            } else {
                size_t at = size_t(offsets + 2 * i - p) + offset + 2 * size_t(c - start);
                if (at + 2 > n)
                    continue;
                g = Bytes_peekU16Be(p + at);
                if (g)
                    g = (g + delta) & 0xFFFF;
            }
            ftReverse(glyphText, g, c);
        }
    }
}

// A format 12 subtable at p (n bytes) into glyphText.
void ftFormat12(const uint8_t *p, size_t n, uint16_t *glyphText)
{
    if (n < 16)
        return;
    uint32_t groups = Bytes_peekU32Be(p + 12);
    uint32_t budget = kFtMaxCodes;
    for (uint32_t i = 0; i < groups && budget && 16 + (size_t(i) + 1) * 12 <= n; i++) {
        const uint8_t *g = p + 16 + size_t(i) * 12;
        uint32_t first = Bytes_peekU32Be(g), last = Bytes_peekU32Be(g + 4),
                 glyph = Bytes_peekU32Be(g + 8);
        for (uint32_t c = first; c <= last && c <= 0xFFFF && budget; c++, budget--)
            ftReverse(glyphText, glyph + (c - first), c);
    }
}

// The 'cmap' table of a TrueType program, or null.
const uint8_t *ftCmapTable(const uint8_t *font, size_t size, size_t *cmapSize)
{
    *cmapSize = 0;
    if (!font || size < 12)
        return nullptr;
    uint32_t tables = Bytes_peekU16Be(font + 4);
    for (uint32_t i = 0; i < tables && 12 + (size_t(i) + 1) * 16 <= size; i++) {
        const uint8_t *r = font + 12 + size_t(i) * 16;
        if (std::memcmp(r, "cmap", 4) != 0)
            continue;
        uint32_t offset = Bytes_peekU32Be(r + 8), length = Bytes_peekU32Be(r + 12);
        if (offset >= size)
            return nullptr;
        *cmapSize = std::min<size_t>(length, size - offset);
        return *cmapSize >= 4 ? font + offset : nullptr;
    }
    return nullptr;
}

bool ftUnicodeSubtable(uint32_t platform, uint32_t encoding)
{
    return platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
}

// The Unicode character map of a TrueType program into glyphText (65536
// entries by glyph). False when the program has none.
bool ftGlyphText(const uint8_t *font, size_t size, uint16_t *glyphText)
{
    if (!font || size < 12)
        return false;
    uint32_t tables = Bytes_peekU16Be(font + 4);
    const uint8_t *cmap = nullptr;
    size_t cmapSize = 0;
    for (uint32_t i = 0; i < tables && 12 + (size_t(i) + 1) * 16 <= size; i++) {
        const uint8_t *r = font + 12 + size_t(i) * 16;
        if (std::memcmp(r, "cmap", 4) != 0)
            continue;
        uint32_t offset = Bytes_peekU32Be(r + 8), length = Bytes_peekU32Be(r + 12);
        if (offset < size) {
            cmap = font + offset;
            cmapSize = std::min<size_t>(length, size - offset);
        }
        break;
    }
    if (!cmap || cmapSize < 4)
        return false;
    // The Unicode subtables: Windows Unicode (3,1 and 3,10) and the Unicode
    // platform (0,*).
    uint32_t count = Bytes_peekU16Be(cmap + 2);
    bool found = false;
    for (uint32_t i = 0; i < count && 4 + (size_t(i) + 1) * 8 <= cmapSize; i++) {
        const uint8_t *r = cmap + 4 + size_t(i) * 8;
        uint32_t platform = Bytes_peekU16Be(r), encoding = Bytes_peekU16Be(r + 2),
                 offset = Bytes_peekU32Be(r + 4);
        if (!(platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))) ||
            offset + 2 > cmapSize)
            continue;
        const uint8_t *sub = cmap + offset;
        size_t left = cmapSize - offset;
        uint32_t format = Bytes_peekU16Be(sub);
        if (format == 4) {
            ftFormat4(sub, left, glyphText);
            found = true;
        } else if (format == 12) {
            ftFormat12(sub, left, glyphText);
            found = true;
        }
    }
    return found;
}

} // namespace

bool Pdf_Font_programHasUnicodeMap(const uint8_t *font, size_t size)
{
    size_t cmapSize = 0;
    const uint8_t *cmap = ftCmapTable(font, size, &cmapSize);
    if (!cmap)
        return false;
    uint32_t count = Bytes_peekU16Be(cmap + 2);
    for (uint32_t i = 0; i < count && 4 + (size_t(i) + 1) * 8 <= cmapSize; i++) {
        const uint8_t *r = cmap + 4 + size_t(i) * 8;
        if (ftUnicodeSubtable(Bytes_peekU16Be(r), Bytes_peekU16Be(r + 2)))
            return true;
    }
    return false;
}

int Pdf_Font_programCidText(const uint8_t *font, size_t size, const uint8_t *cidToGid,
                            size_t mapLength, uint16_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    uint16_t *glyphText = static_cast<uint16_t *>(Mem_calloc(65536, sizeof(uint16_t)));
    if (!glyphText)
        return Res_noMemory;
    if (!ftGlyphText(font, size, glyphText)) {
        Mem_free(glyphText);
        return Res_ok;
    }
    if (!cidToGid) {
        uint32_t n = 65536;
        while (n && !glyphText[n - 1])
            n--;
        *out = glyphText;
        *count = n;
        return Res_ok;
    }
    uint32_t n = uint32_t(std::min<size_t>(mapLength / 2, 65536));
    uint16_t *t = n ? static_cast<uint16_t *>(Mem_calloc(n, sizeof(uint16_t))) : nullptr;
    if (n && !t) {
        Mem_free(glyphText);
        return Res_noMemory;
    }
    for (uint32_t c = 0; c < n; c++)
        t[c] = glyphText[Bytes_peekU16Be(cidToGid + 2 * size_t(c))];
    Mem_free(glyphText);
    *out = t;
    *count = n;
    return Res_ok;
}
