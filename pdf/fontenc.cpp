// Encodings of PDF fonts: the base encodings of the records,
// "Encoding" dictionaries with "Differences", and the decoding of the
// strings of the text operators.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/charset.h"
#include "fonts/pdfcmap.h"
#include "pdf/document.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"

uint16_t Pdf_Font_codeToUnicode(const PdfNativeFont *native, uint32_t code)
{
    if (!native || code > 255)
        return 0;
    switch (native->encoding) {
    case PdfEnc_program: return uint16_t(code);
    case PdfEnc_standard:
    case PdfEnc_winAnsi:
    case PdfEnc_macRoman:
    case PdfEnc_zapfDingbats:
    case PdfEnc_symbol: return Pdf_baseEncodings[native->encoding - PdfEnc_standard][code];
    case PdfEnc_table: return native->table[code];
    default: return 0;
    }
}

int Pdf_Font_buildEncoding(PdfDoc *doc, PdfObj *encoding, uint32_t kind, const char *baseFont,
                           PdfNativeFont *native)
{
    uint32_t defaultKind = kind == 3 ? PdfEnc_macRoman : PdfEnc_standard;
    if (native->encoding == PdfEnc_none)
        native->encoding = defaultKind;
    if (!encoding)
        return Res_ok;
    bool type1 = kind == 1;
    uint32_t symbolic = 0;
    // A TrueType program without a Unicode character map draws by its
    // codes (the (3,0) or (1,0) subtable): the encoding only says what the
    // codes read as.
    const bool byCode = native->encoding == PdfEnc_program && native->drawsByCode;
    if (encoding->type == PdfObj_name && byCode) {
        const char *name = encoding->value.name;
        uint32_t base = std::strcmp(name, "WinAnsiEncoding") == 0    ? PdfEnc_winAnsi
                        : std::strcmp(name, "MacRomanEncoding") == 0 ? PdfEnc_macRoman
                                                                     : PdfEnc_standard;
        std::memcpy(native->table, Pdf_baseEncodings[base - PdfEnc_standard], sizeof native->table);
        native->textTable = 1;
        return Res_ok;
    }
    if (encoding->type == PdfObj_name) {
        const char *name = encoding->value.name;
        if (std::strcmp(name, "WinAnsiEncoding") == 0)
            native->encoding = PdfEnc_winAnsi;
        else if (std::strcmp(name, "MacRomanEncoding") == 0)
            native->encoding = PdfEnc_macRoman;
        else {
            native->encoding = defaultKind;
            if (type1 && Pdf_Font_isSymbolicName(baseFont, &symbolic))
                native->encoding = symbolic;
        }
        return Res_ok;
    }
    if (encoding->type != PdfObj_dict)
        return Res_ok;
    uint32_t base = defaultKind;
    if (type1 && Pdf_Font_isSymbolicName(baseFont, &symbolic))
        base = symbolic;
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, "BaseEncoding", encoding, &v);
    if (err)
        return err;
    if (v && v->type == PdfObj_name) {
        if (std::strcmp(v->value.name, "WinAnsiEncoding") == 0)
            base = PdfEnc_winAnsi;
        else if (std::strcmp(v->value.name, "MacRomanEncoding") == 0)
            base = PdfEnc_macRoman;
    }
    uint16_t table[256];
    if (native->encoding == PdfEnc_table)
        std::memcpy(table, native->table, sizeof table);
    else if (base >= PdfEnc_standard && base <= PdfEnc_symbol)
        std::memcpy(table, Pdf_baseEncodings[base - PdfEnc_standard], sizeof table);
    else
        std::memset(table, 0, sizeof table);
    PdfObj *diffs = nullptr;
    err = Pdf_Obj_dictGet(doc, "Differences", encoding, &diffs);
    if (err)
        return err;
    if (diffs && diffs->type == PdfObj_array && diffs->value.arr) {
        uint32_t n = diffs->value.arr->count;
        int64_t code = 0;
        for (uint32_t i = 0; i < n; i++) {
            PdfObj *e = nullptr;
            err = Pdf_Obj_arrayGet(doc, i, diffs, &e);
            if (err)
                return err;
            if (e && e->type == PdfObj_int) {
                code = e->value.i;
            } else if (e && e->type == PdfObj_name) {
                if (code >= 1 && code <= 255) {
                    uint16_t u = 0;
                    err = Pdf_Font_glyphNameToCode(native->glyphNames, e->value.name, 0, &u);
                    if (err)
                        return err;
                    // A name neither the list nor the font knows may spell
                    // its character ("uni0416"): it reads and draws as that.
                    if (!u)
                        u = Pdf_Font_glyphNameSpelled(e->value.name);
                    if (u)
                        table[code] = u;
                }
                code++;
            } else {
                return Res_pdfBadDifferences;
            }
        }
    }
    std::memcpy(native->table, table, sizeof table);
    if (byCode) {
        native->textTable = 1;
        return Res_ok;
    }
    native->encoding = PdfEnc_table;
    return Res_ok;
}

bool Pdf_Font_decodeSimpleInto(const PdfFontSel *sel, const uint8_t *bytes, size_t length,
                               char16_t *out)
{
    const PdfNativeFont *native = sel ? sel->native : nullptr;
    uint32_t kind = native ? native->encoding : PdfEnc_none;
    if (kind != PdfEnc_program && !(kind >= PdfEnc_standard && kind <= PdfEnc_table))
        return false;
    for (size_t i = 0; i < length; i++) {
        uint16_t u = kind == PdfEnc_program ? bytes[i] : Pdf_Font_codeToUnicode(native, bytes[i]);
        out[i] = u ? char16_t(u) : char16_t(0xFFFD);
    }
    out[length] = 0;
    return true;
}

int Pdf_Font_decodeString(PdfDoc *doc, const PdfFontSel *sel, const uint8_t *bytes, size_t length,
                          char16_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    const PdfNativeFont *native = sel ? sel->native : nullptr;
    uint32_t kind = native ? native->encoding : PdfEnc_none;
    if (length > 0x7FFFFFFE)
        length = 0x7FFFFFFE;
    switch (kind) {
    case PdfEnc_program:
    case PdfEnc_standard:
    case PdfEnc_winAnsi:
    case PdfEnc_macRoman:
    case PdfEnc_zapfDingbats:
    case PdfEnc_symbol:
    case PdfEnc_table: {
        // The whole string by its length: a zero byte inside it is a code
        // like any other.
        char16_t *s = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
        if (!s)
            return Res_noMemory;
        (void)Pdf_Font_decodeSimpleInto(sel, bytes, length, s);
        *out = s;
        *count = uint32_t(length);
        return Res_ok;
    }
    case PdfEnc_cmapSubstitute:
    case PdfEnc_cmapEmbedded: {
        char16_t *s = nullptr;
        int err = native->cmap
                      ? CMap_decodeString(doc ? doc->context : nullptr, native->cmap,
                                          kind == PdfEnc_cmapSubstitute ? 1 : 0, bytes, length, &s)
                      : Res_pdfSyntax;
        if (err == Res_noMemory)
            return err;
        if (err || !s) {
            Mem_free(s);
            break; // "?" below
        }
        uint32_t n = 0;
        while (s[n])
            n++;
        *out = s;
        *count = n;
        return Res_ok;
    }
    case PdfEnc_unsupported: break;
    default: {
        char16_t *s = nullptr;
        int err = Charset_toUstrN(doc ? doc->context : nullptr, bytes, length, &s, 0);
        if (err == Res_noMemory)
            return err;
        if (!err && s) {
            uint32_t n = 0;
            while (s[n])
                n++;
            *out = s;
            *count = n;
            return Res_ok;
        }
        Mem_free(s);
        break;
    }
    }
    char16_t *q = static_cast<char16_t *>(Mem_malloc(2 * sizeof(char16_t)));
    if (!q)
        return Res_noMemory;
    q[0] = u'?';
    q[1] = 0;
    *out = q;
    *count = 1;
    return Res_ok;
}

bool Pdf_Font_isSymbolicName(const char *baseFont, uint32_t *kind)
{
    if (!baseFont)
        return false;
    // A subset's prefix and the style or maker's suffixes say nothing of
    // the encoding: "ABCDEF+Symbol", "SymbolMT", "Symbol,Bold",
    // "ZapfDingbatsITC" keep the built-in ones.
    if (const char *plus = std::strrchr(baseFont, '+'))
        baseFont = plus + 1;
    if (std::strncmp(baseFont, "Symbol", 6) == 0) {
        const char *rest = baseFont + 6;
        if (!*rest || *rest == ',' || *rest == '-' || std::strcmp(rest, "MT") == 0 ||
            std::strcmp(rest, "PS") == 0) {
            *kind = PdfEnc_symbol;
            return true;
        }
        return false;
    }
    if (std::strncmp(baseFont, "ZapfDingbats", 12) == 0 ||
        std::strncmp(baseFont, "ITCZapfDingbats", 15) == 0) {
        *kind = PdfEnc_zapfDingbats;
        return true;
    }
    return false;
}

int Pdf_Font_readToUnicodeMap(PdfDoc *doc, PdfObj *fontDict, uint16_t **map)
{
    *map = nullptr;
    PdfObj *stream = nullptr;
    int err = Pdf_Obj_dictGet(doc, "ToUnicode", fontDict, &stream);
    if (err || !stream || stream->type != PdfObj_stream)
        return err;
    uint8_t *block = nullptr;
    size_t size = 0;
    ByteStream *bytes = nullptr;
    err = Pdf_Stream_readToMemory(doc, stream, &block, &size);
    if (!err)
        err = Pdf_Stream_openMemory(block, size, &bytes);
    if (!err)
        err = CMap_parseToUnicodeStream(bytes, map);
    if (bytes)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(bytes);
    Mem_free(block);
    if (err) {
        Mem_free(*map);
        *map = nullptr;
    }
    // A map that cannot be read counts as none.
    return err == Res_noMemory ? err : Res_ok;
}
