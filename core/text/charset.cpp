// Character-set codes, names and the conversion entry points.
//
// This file owns the name table (MIME/IANA-style names to codes, first
// match wins), the display names the viewer shows, the converter table that
// gives the streaming converter for a (source, target) pair, and the
// whole-string conversions most of the engine uses. The converters
// themselves are in charset_unicode.cpp, charset_sbcs.cpp and
// charset_cjk.cpp.
#include "core/text/charset.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/charset_cjk.h"
#include "core/text/charset_internal.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"

namespace {

struct NameRow {
    char name[16];
    uint32_t code;
};

constexpr NameRow NameTable[] = {
    {"ISO-8859-1", 0},    {"UTF-8", 1},           {"UTF-16", 2},        {"UTF-16LE", 4},
    {"UTF-16BE", 3},      {"windows-437", 6},     {"windows-874", 7},   {"windows-1250", 8},
    {"windows-1251", 9},  {"windows-1252", 10},   {"windows-1253", 11}, {"windows-1254", 12},
    {"windows-1255", 13}, {"windows-1256", 14},   {"windows-1257", 15}, {"windows-1258", 16},
    {"ISO-8859-2", 17},   {"ISO-8859-5", 18},     {"ISO-8859-6", 19},   {"ISO-8859-7", 20},
    {"ISO-8859-8", 21},   {"ISO-8859-8-I", 21},   {"ISO-8859-9", 22},   {"TIS-620", 23},
    {"KOI8-R", 24},       {"ISO-2022-kr", 25},    {"ISO-2022-cn", 26},  {"windows-949", 30},
    {"EUC-KR", 30},       {"ks_c_5601-1987", 30}, {"windows-932", 31},  {"Shift_JIS", 31},
    {"Shift-JIS", 31},    {"x-sjis", 31},         {"sjis", 31},         {"ISO-2022-JP", 32},
    {"EUC-JP", 33},       {"x-euc-jp", 33},       {"Big5", 34},         {"windows-950", 34},
    {"GBK", 35},          {"windows-936", 35},    {"GB18030", 35},      {"GB2312-80", 35},
    {"GB2312", 35},
};
static_assert(sizeof NameTable / sizeof NameTable[0] == 45);

struct DisplayRow {
    char name[14];
    char16_t display[14];
};

constexpr DisplayRow DisplayTable[] = {
    {"windows-1252", u"WINDOWS-1252"},
    {"ISO-8859-1", u"ISO-8859-1"},
    {"windows-932", u"Shift_JIS"},
    {"Shift_JIS", u"Shift_JIS"},
    {"Shift-JIS", u"Shift_JIS"},
    {"x-sjis", u"Shift_JIS"},
    {"sjis", u"Shift_JIS"},
    {"GBK", u"GBK"},
    {"Big5", u"Big5"},
    {"windows-949", u"WINDOWS-949"},
    {"EUC-KR", u"WINDOWS-949"},
    {"windows-1255", u"WINDOWS-1255"},
    {"windows-1256", u"WINDOWS-1256"},
    {"windows-1258", u"WINDOWS-1258"},
    {"windows-874", u"WINDOWS-874"},
};
static_assert(sizeof DisplayTable / sizeof DisplayTable[0] == 15);

struct ConverterRow {
    uint32_t src;
    uint32_t dst;
    CharsetConverter fn;
};

// Decoders (source -> 2) first, then encoders (2 -> target). Repeated rows
// carry the same converter, so the first match decides.
constexpr ConverterRow ConverterTable[] = {
    {0, 2, Charset_latin1ToUtf16},     {1, 2, Charset_utf8ToUtf16},
    {3, 2, Charset_utf16beToUtf16},    {4, 2, Charset_utf16leToUtf16},
    {6, 2, Charset_cp437ToUtf16},      {7, 2, Charset_win874ToUtf16},
    {8, 2, Charset_win1250ToUtf16},    {9, 2, Charset_win1251ToUtf16},
    {10, 2, Charset_win1252ToUtf16},   {11, 2, Charset_win1253ToUtf16},
    {12, 2, Charset_win1254ToUtf16},   {13, 2, Charset_win1255ToUtf16},
    {14, 2, Charset_win1256ToUtf16},   {15, 2, Charset_win1257ToUtf16},
    {16, 2, Charset_win1258ToUtf16},   {27, 2, Charset_symbolToUtf16},
    {28, 2, Charset_wingdingsToUtf16}, {17, 2, Charset_iso88592ToUtf16},
    {18, 2, Charset_iso88595ToUtf16},  {19, 2, Charset_iso88596ToUtf16},
    {20, 2, Charset_iso88597ToUtf16},  {21, 2, Charset_iso88598ToUtf16},
    {22, 2, Charset_iso88599ToUtf16},  {23, 2, Charset_tis620ToUtf16},
    {24, 2, Charset_koi8rToUtf16},     {25, 2, Charset_iso2022krToUtf16},
    {26, 2, Charset_iso2022cnToUtf16}, {30, 2, Charset_koreanToUtf16},
    {31, 2, Charset_sjisToUtf16},      {31, 2, Charset_sjisToUtf16},
    {32, 2, Charset_iso2022jpToUtf16}, {33, 2, Charset_eucJpToUtf16},
    {34, 2, Charset_big5ToUtf16},      {34, 2, Charset_big5ToUtf16},
    {35, 2, Charset_gbkToUtf16},       {35, 2, Charset_gbkToUtf16},
    {2, 0, Charset_utf16ToLatin1},     {2, 1, Charset_utf16ToUtf8},
    {2, 30, Charset_utf16ToKorean},    {2, 31, Charset_utf16ToSjis},
    {2, 31, Charset_utf16ToSjis},      {2, 32, Charset_utf16ToIso2022jp},
    {2, 33, Charset_utf16ToEucJp},     {2, 35, Charset_utf16ToGbk},
    {2, 35, Charset_utf16ToGbk},       {2, 35, Charset_utf16ToGbk},
};
static_assert(sizeof ConverterTable / sizeof ConverterTable[0] == 46);

bool isMultibyte(uint32_t code)
{
    return code >= CharsetCode_korean && code <= CharsetCode_gbk;
}

// The hooks of ctx with the decoder and encoder slots filled.
CharsetHooks *readyHooks(EngineContext *ctx)
{
    CharsetHooks *h = ctx ? ctx->charsetHooks : nullptr;
    if (h && !h->decoder)
        h->decoder = Charset_decodeMultibyte;
    if (h && !h->encoder)
        h->encoder = Charset_encodeMultibyte;
    return h;
}

// Decodes the whole source with a converter into dst (room for every unit
// it can make); a tail that the source cuts off becomes one U+FFFD. Sets
// *units to the units written; returns the converter's status otherwise.
int decodeAll(uint32_t code, const uint8_t *src, size_t n, char16_t *dst, size_t cap, size_t *units,
              EngineContext *ctx)
{
    uint8_t *out = reinterpret_cast<uint8_t *>(dst);
    size_t consumed = 0, produced = 0;
    CharsetState state = {0, 1};
    int r;
    if (code == CharsetCode_utf8)
        r = Charset_utf8ToUtf16(ctx, src, n, out, 2 * cap, &consumed, &produced, &state);
    else if (code == CharsetCode_utf16be)
        r = Charset_utf16beToUtf16(ctx, src, n, out, 2 * cap, &consumed, &produced, &state);
    else if (code == CharsetCode_utf16le)
        r = Charset_utf16leToUtf16(ctx, src, n, out, 2 * cap, &consumed, &produced, &state);
    else if (isMultibyte(code)) {
        CharsetHooks *h = readyHooks(ctx);
        if (!Charset_tableForCode(h, code))
            return Res_charsetNoTable;
        r = h->decoder(code, src, n, out, 2 * cap, &consumed, &produced, &state, h);
    } else {
        r = Charset_singleByteToUtf16(code, src, n, out, 2 * cap, &consumed, &produced);
    }
    *units = produced / 2;
    if (r == Res_charsetIncomplete || (r == 0 && consumed < n)) {
        if (*units < cap)
            dst[(*units)++] = 0xFFFD;
        r = 0;
    }
    return r;
}

} // namespace

// ------------------------------------------------------------- names

int Charset_fromName(const char16_t *name, uint32_t *code)
{
    *code = 0;
    for (const NameRow &row : NameTable) {
        if (Ustr_icmpCstr(name, row.name) == 0) {
            *code = row.code;
            return 0;
        }
    }
    return Res_charsetUnknown;
}

int Charset_fromCstrName(const char *name, uint32_t *code)
{
    *code = 0;
    for (const NameRow &row : NameTable) {
        if (Cstr_icmp(name, row.name) == 0) {
            *code = row.code;
            return 0;
        }
    }
    return Res_charsetUnknown;
}

const char *Charset_getName(uint32_t code)
{
    for (const NameRow &row : NameTable) {
        if (row.code == code)
            return row.name;
    }
    return "unknown";
}

const char16_t *Charset_getDisplayName(uint32_t code)
{
    const char *name = Charset_getName(code);
    for (const DisplayRow &row : DisplayTable) {
        if (strcmp(row.name, name) == 0)
            return row.display;
    }
    return u"WINDOWS-1252";
}

// -------------------------------------------------------- converters

CharsetConverter Charset_findConverter(uint32_t src, uint32_t dst, CharsetState *state,
                                       CharsetConverter expected)
{
    if (src == dst)
        return Charset_copyBytes;
    CharsetConverter found = nullptr;
    for (const ConverterRow &row : ConverterTable) {
        if (row.src == src && row.dst == dst) {
            found = row.fn;
            break;
        }
    }
    if (state && !(expected && expected == found))
        Charset_resetState(state);
    return found;
}

void Charset_resetState(CharsetState *state)
{
    if (state) {
        state->shift = 0;
        state->final = 0;
    }
}

int Charset_copyBytes(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                      size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    size_t n = srcLen < dstCap ? srcLen : dstCap;
    if (n > 0)
        memmove(dst, src, n);
    *consumed = n;
    *produced = n;
    return dstCap <= srcLen ? Res_charsetDestFull : 0;
}

int Charset_isAvailable(EngineContext *context, uint32_t code)
{
    if (!isMultibyte(code))
        return 1;
    return Charset_tableForCode(context ? context->charsetHooks : nullptr, code) != nullptr;
}

// ----------------------------------------------------- whole strings

int Charset_toUstrN(EngineContext *context, const uint8_t *bytes, size_t n, char16_t **out,
                    uint32_t code)
{
    *out = nullptr;
    if (code >= CharsetCode_count)
        return Res_charsetUnknown;
    if (!bytes && n > 0)
        return Res_nullInput;
    // Every decoder makes at most one unit per byte (GB18030's four-byte
    // forms make two), so n units and a terminator always suffice.
    char16_t *s = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!s)
        return Res_noMemory;
    size_t units = 0;
    int r = 0;
    if (n == 0 || code == CharsetCode_none || code == CharsetCode_none2) {
        units = 0;
    } else if (code == CharsetCode_latin1) {
        for (size_t i = 0; i < n; i++)
            s[i] = bytes[i];
        units = n;
    } else if (code == CharsetCode_utf16) {
        for (size_t i = 0; i < n; i++)
            s[i] = char16_t(Bytes_peekU16Le(bytes + 2 * i));
        units = n;
    } else {
        r = decodeAll(code, bytes, n, s, n, &units, context);
    }
    if (r != 0) {
        Mem_free(s);
        return Res_charsetUnknown;
    }
    s[units] = 0;
    *out = s;
    return 0;
}

int Charset_toUstr(EngineContext *context, const char *bytes, char16_t **out, uint32_t code)
{
    size_t n = bytes ? strlen(bytes) : 0;
    // For the engine's own form the bytes before the terminator hold n/2
    // whole units: read exactly those, never past the terminator.
    if (code == CharsetCode_utf16)
        n /= 2;
    return Charset_toUstrN(context, reinterpret_cast<const uint8_t *>(bytes), n, out, code);
}

int Charset_fromUstrN(EngineContext *context, const char16_t *units, size_t n, char **out,
                      uint32_t code)
{
    *out = nullptr;
    if (!units)
        return Res_nullInput;
    if (code >= CharsetCode_count)
        return Res_charsetUnknown;
    CharsetHooks *h = nullptr;
    if (isMultibyte(code)) {
        h = readyHooks(context);
        if (!Charset_tableForCode(h, code))
            return Res_charsetUnknown;
    }
    size_t size;
    if (code == CharsetCode_utf8) {
        size = 1;
        for (size_t pos = 0; pos < n;) {
            uint32_t cp;
            if (Charset_readCodePoint16(units, n, &pos, &cp)) {
                pos++;
                cp = 0xFFFD;
            }
            size += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp <= 0xFFFF ? 3 : 4;
        }
    } else if (code == CharsetCode_latin1 || h) {
        // Bytes per unit at most: an ISO-2022-JP character may need an
        // escape before it, a GB18030 one four bytes.
        size_t k = code == CharsetCode_latin1      ? 1
                   : code == CharsetCode_iso2022jp ? 5
                   : code == CharsetCode_gbk       ? 4
                                                   : 2;
        size = (n + 1) * k;
    } else {
        size = 1; // no whole-string encoder for this code: empty text
    }
    uint8_t *s = static_cast<uint8_t *>(Mem_malloc(size));
    if (!s)
        return Res_noMemory;
    size_t len = 0;
    if (code == CharsetCode_latin1 || code == CharsetCode_utf8) {
        for (size_t pos = 0; pos < n;) {
            uint32_t cp;
            if (Charset_readCodePoint16(units, n, &pos, &cp)) {
                pos++;
                cp = 0xFFFD;
            }
            if (code == CharsetCode_utf8)
                len += Charset_utf8Encode(cp, s + len);
            else
                s[len++] = cp < 0x100 ? uint8_t(cp) : uint8_t('?');
        }
    } else if (h) {
        size_t consumed = 0, produced = 0;
        CharsetState state = {0, 1};
        const uint8_t *src = reinterpret_cast<const uint8_t *>(units);
        int r = h->encoder(code, src, 2 * n, s, size - 1, &consumed, &produced, &state, h);
        if (r == Res_charsetUnknown || r == Res_charsetNoTable) {
            Mem_free(s);
            return Res_charsetUnknown;
        }
        len = produced;
        if (r == Res_charsetIncomplete) {
            // A high surrogate ends the text: it stands for a missing
            // character (and ISO-2022-JP must still return to ASCII).
            static constexpr char16_t Missing[1] = {u'?'};
            size_t c2 = 0, p2 = 0;
            h->encoder(code, reinterpret_cast<const uint8_t *>(Missing), 2, s + len, size - 1 - len,
                       &c2, &p2, &state, h);
            len += p2;
        }
    }
    s[len] = 0;
    *out = reinterpret_cast<char *>(s);
    return 0;
}

int Charset_fromUstr(EngineContext *context, const char16_t *s, char **out, uint32_t code)
{
    *out = nullptr;
    if (!s)
        return Res_nullInput;
    return Charset_fromUstrN(context, s, Ustr_len(s), out, code);
}

int Charset_recode(EngineContext *context, const uint8_t *bytes, size_t n, uint32_t from,
                   char **out, uint32_t to)
{
    *out = nullptr;
    char16_t *text = nullptr;
    int r = Charset_toUstrN(context, bytes, n, &text, from);
    if (r != 0)
        return r;
    r = Charset_fromUstr(context, text, out, to);
    Mem_free(text);
    return r;
}

int Charset_recodeCstr(EngineContext *context, const char *bytes, uint32_t from, char **out,
                       uint32_t to)
{
    size_t n = bytes ? strlen(bytes) : 0;
    if (from == CharsetCode_utf16) // whole units before the terminator, as Charset_toUstr
        n /= 2;
    return Charset_recode(context, reinterpret_cast<const uint8_t *>(bytes), n, from, out, to);
}
