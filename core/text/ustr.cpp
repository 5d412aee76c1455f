// 16-bit strings: case rule, comparison, copying, searching, parsing and
// percent escapes.
//
// These are the engine's most called routines, so the common paths are
// plain loops without calls; Ustr_len reads four units per aligned load.
// The case rule is coded as ranges plus two small tables for the irregular
// stretches of Latin Extended-A (U+0130-U+0149 and U+0178-U+017F), where the
// capital/small pairing does not follow the even/odd pattern.
#include "core/text/ustr.h"

#include <cstring>
#include <limits>

#include "core/mem/mem.h"
#include "core/text/cstr.h"

namespace {

// U+0130-U+0149 and U+0178-U+017F mapped to small letters.
constexpr uint16_t lowerA[26] = {
    0x0069, 0x0131, 0x0133, 0x0133, 0x0135, 0x0135, 0x0137, 0x0137, 0x0138,
    0x013A, 0x013A, 0x013C, 0x013C, 0x013E, 0x013E, 0x0140, 0x0140, 0x0142,
    0x0142, 0x0144, 0x0144, 0x0146, 0x0146, 0x0148, 0x0148, 0x0149,
};
constexpr uint16_t lowerB[8] = {
    0x00FF, 0x017A, 0x017A, 0x017C, 0x017C, 0x017E, 0x017E, 0x017F,
};
// The same stretches mapped to capitals.
constexpr uint16_t upperA[26] = {
    0x0130, 0x0049, 0x0132, 0x0132, 0x0134, 0x0134, 0x0136, 0x0136, 0x0138,
    0x0139, 0x0139, 0x013B, 0x013B, 0x013D, 0x013D, 0x013F, 0x013F, 0x0141,
    0x0141, 0x0143, 0x0143, 0x0145, 0x0145, 0x0147, 0x0147, 0x0149,
};
constexpr uint16_t upperB[8] = {
    0x0178, 0x0179, 0x0179, 0x017B, 0x017B, 0x017D, 0x017D, 0x0053,
};

// Folds one side of a comparison: only characters up to U+017F change.
inline uint32_t foldUnit(uint32_t c)
{
    return c <= 0x17F ? Ustr_lowerChar(c) : c;
}

// Folds a signed byte of an 8-bit argument: negative values stay as they
// are, so they never equal a 16-bit character.
inline int foldByte(char b)
{
    int v = static_cast<signed char>(b);
    return v < 0 ? v : static_cast<int>(Ustr_lowerChar(static_cast<uint32_t>(v)));
}

inline int signedByte(char b)
{
    return static_cast<signed char>(b);
}

inline bool isAsciiSpace(char16_t c)
{
    return c < 127 && (Char_classTable[c + 128] & Char_space);
}

inline char16_t *mutableUnits(const char16_t *p)
{
    return const_cast<char16_t *>(p);
}

char16_t *allocUnits(size_t n)
{
    if (n > SIZE_MAX / sizeof(char16_t))
        return nullptr;
    return static_cast<char16_t *>(Mem_malloc(n * sizeof(char16_t)));
}

constexpr char hexUpper[] = "0123456789ABCDEF";

char16_t *writeEscape(char16_t *out, char16_t c)
{
    out[0] = u'%';
    out[1] = static_cast<char16_t>(hexUpper[(c >> 4) & 0xF]);
    out[2] = static_cast<char16_t>(hexUpper[c & 0xF]);
    return out + 3;
}

} // namespace

// ---------------------------------------------------------- case mapping

uint32_t Ustr_lowerChar(uint32_t c)
{
    if (c < 0xC0)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c <= 0xDE)
        return c == 0xD7 ? c : (c | 0x20);
    if (c < 0x100)
        return c;
    if (c < 0x130)
        return c | 1;
    if (c < 0x14A)
        return lowerA[c - 0x130];
    if (c < 0x178)
        return c | 1;
    if (c < 0x180)
        return lowerB[c - 0x178];
    return c;
}

uint32_t Ustr_upperChar(uint32_t c)
{
    if (c < 0xE0)
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : (c & ~0x20u);
    if (c == 0xFF)
        return 0x178;
    if (c < 0x100)
        return c;
    if (c < 0x130)
        return c & ~1u;
    if (c < 0x14A)
        return upperA[c - 0x130];
    if (c < 0x178)
        return c & ~1u;
    if (c < 0x180)
        return upperB[c - 0x178];
    return c;
}

uint32_t Ustr_lowerAscii(uint32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
}

uint32_t Ustr_upperAscii(uint32_t c)
{
    return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
}

// ----------------------------------------------------------- measuring

// Four units per aligned 64-bit load once the pointer is aligned. An aligned
// word never crosses a page, so the units read past the terminator inside
// the last word are harmless; the address sanitizer, which checks whole
// words against the caller's allocation, is told to look away here.
__attribute__((no_sanitize("address"))) size_t Ustr_len(const char16_t *s)
{
    if (!s)
        return 0;
    const char16_t *p = s;
    while (reinterpret_cast<uintptr_t>(p) & 7) {
        if (!*p)
            return static_cast<size_t>(p - s);
        p++;
    }
    typedef uint64_t __attribute__((may_alias)) Word;
    const Word *w = reinterpret_cast<const Word *>(p);
    for (;;) {
        uint64_t v = *w;
        if ((v - 0x0001000100010001ull) & ~v & 0x8000800080008000ull)
            break;
        w++;
    }
    p = reinterpret_cast<const char16_t *>(w);
    while (*p)
        p++;
    return static_cast<size_t>(p - s);
}

void Ustr_pairLengths(const char16_t *a, const char16_t *b, size_t *la, size_t *lb, size_t *total)
{
    *la = Ustr_len(a);
    *lb = Ustr_len(b);
    *total = *la + *lb + 2;
}

// ---------------------------------------------------------- comparison

int Ustr_cmp(const char16_t *a, const char16_t *b)
{
    if (!a || !b)
        return -1;
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return static_cast<int>(*a) - static_cast<int>(*b);
}

int Ustr_ncmp(const char16_t *a, const char16_t *b, size_t n)
{
    if (n == 0)
        return 0;
    if (!a || !b)
        return -1;
    for (size_t i = 0; i < n; i++) {
        if (a[i] != b[i])
            return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        if (!a[i])
            return 0;
    }
    return 0;
}

int Ustr_cmpCstr(const char16_t *a, const char *b)
{
    if (!a || !b)
        return -1;
    for (;; a++, b++) {
        int d = static_cast<int>(*a) - signedByte(*b);
        if (d || !*a)
            return d;
    }
}

int Ustr_ncmpCstr(const char16_t *a, const char *b, size_t n)
{
    if (n == 0)
        return 0;
    if (!a || !b)
        return -1;
    for (size_t i = 0; i < n; i++) {
        int d = static_cast<int>(a[i]) - signedByte(b[i]);
        if (d || !a[i])
            return d;
    }
    return 0;
}

int Ustr_icmpCstr(const char16_t *a, const char *b)
{
    size_t i = 0;
    for (; a[i]; i++) {
        int bv = signedByte(b[i]);
        if (static_cast<int>(a[i]) == bv)
            continue;
        if (a[i] > 0x17F)
            break;
        if (static_cast<int>(Ustr_lowerChar(a[i])) != foldByte(b[i]))
            break;
    }
    return static_cast<int>(a[i]) - signedByte(b[i]);
}

int Ustr_nicmp(const char16_t *a, const char16_t *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (a[i] == b[i]) {
            if (!a[i])
                return 0;
            continue;
        }
        int fa = static_cast<int>(foldUnit(a[i]));
        int fb = static_cast<int>(foldUnit(b[i]));
        if (fa != fb)
            return fa - fb;
    }
    return 0;
}

int Ustr_nicmpCstr(const char16_t *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        int bv = signedByte(b[i]);
        if (static_cast<int>(a[i]) == bv) {
            if (!a[i])
                return 0;
            continue;
        }
        int fa = static_cast<int>(foldUnit(a[i]));
        int fb = static_cast<signed char>(foldByte(b[i]));
        if (fa != fb)
            return fa - fb;
    }
    return 0;
}

// ------------------------------------------------------------- copying

char16_t *Ustr_cpy(char16_t *dst, const char16_t *src)
{
    memcpy(dst, src, (Ustr_len(src) + 1) * sizeof(char16_t));
    return dst;
}

char16_t *Ustr_ncpy(char16_t *dst, const char16_t *src, size_t n)
{
    size_t i = 0;
    for (; i < n && src[i]; i++)
        dst[i] = src[i];
    if (i < n)
        dst[i] = 0;
    return dst;
}

char16_t *Ustr_ncpyCstr(char16_t *dst, const char *src, size_t n)
{
    size_t i = 0;
    for (; i < n && src[i]; i++)
        dst[i] = static_cast<char16_t>(signedByte(src[i]));
    if (i < n)
        dst[i] = 0;
    return dst;
}

char16_t *Ustr_cat(char16_t *dst, const char16_t *src)
{
    if (!dst || !src)
        return nullptr;
    Ustr_cpy(dst + Ustr_len(dst), src);
    return dst;
}

char16_t *Ustr_ncat(char16_t *dst, const char16_t *src, size_t n)
{
    if (n == 0)
        return dst;
    if (!dst || !src)
        return nullptr;
    char16_t *out = dst + Ustr_len(dst);
    size_t i = 0;
    for (; i < n && src[i]; i++)
        out[i] = src[i];
    out[i] = 0;
    return dst;
}

// ---------------------------------------------------------- allocating

char16_t *Ustr_dup(const char16_t *src)
{
    if (!src)
        return nullptr;
    size_t n = Ustr_len(src) + 1;
    char16_t *copy = allocUnits(n);
    if (copy)
        memcpy(copy, src, n * sizeof(char16_t));
    return copy;
}

char16_t *Ustr_dupN(const char16_t *src, size_t n)
{
    if (!src)
        return nullptr;
    size_t len = 0;
    while (len < n && src[len])
        len++;
    char16_t *copy = allocUnits(len + 1);
    if (!copy)
        return nullptr;
    memcpy(copy, src, len * sizeof(char16_t));
    copy[len] = 0;
    return copy;
}

char16_t *Ustr_fromCstr(const char *src)
{
    if (!src)
        return nullptr;
    return Ustr_fromCstrN(src, strlen(src));
}

char16_t *Ustr_fromCstrN(const char *src, size_t n)
{
    if (!src || n == SIZE_MAX)
        return nullptr;
    char16_t *out = allocUnits(n + 1);
    if (!out)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        out[i] = static_cast<unsigned char>(src[i]);
    out[n] = 0;
    return out;
}

char *Cstr_fromUstrN(const char16_t *src, size_t n)
{
    if (!src || n == SIZE_MAX)
        return nullptr;
    char *out = static_cast<char *>(Mem_malloc(n + 1));
    if (!out)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        out[i] = static_cast<char>(src[i] & 0xFF);
    out[n] = 0;
    return out;
}

char16_t *Ustr_appendDup(char16_t *first, const char16_t *src)
{
    if (!src)
        return first;
    if (!first)
        return Ustr_dup(src);
    size_t a = Ustr_len(first);
    size_t b = Ustr_len(src);
    char16_t *grown = static_cast<char16_t *>(Mem_realloc(first, (a + b + 1) * sizeof(char16_t)));
    if (!grown)
        return nullptr;
    memcpy(grown + a, src, (b + 1) * sizeof(char16_t));
    return grown;
}

// ----------------------------------------------------------- searching

char16_t *Ustr_chr(const char16_t *s, uint32_t c)
{
    if (c == 0 || c > 0xFFFF)
        return nullptr;
    for (; *s; s++) {
        if (*s == c)
            return mutableUnits(s);
    }
    return nullptr;
}

char16_t *Ustr_rchr(const char16_t *s, uint32_t c)
{
    if (c == 0 || c > 0xFFFF)
        return nullptr;
    const char16_t *found = nullptr;
    for (; *s; s++) {
        if (*s == c)
            found = s;
    }
    return mutableUnits(found);
}

char16_t *Ustr_str(const char16_t *haystack, const char16_t *needle)
{
    char16_t first = needle[0];
    if (!first)
        return mutableUnits(haystack);
    for (const char16_t *h = haystack; *h; h++) {
        if (*h != first)
            continue;
        size_t i = 1;
        while (needle[i] && h[i] == needle[i])
            i++;
        if (!needle[i])
            return mutableUnits(h);
    }
    return nullptr;
}

char16_t *Ustr_findAsciiN(const char16_t *haystack, uint32_t n, const char *needle, uint32_t m)
{
    if (!haystack || !needle || m == 0)
        return mutableUnits(haystack);
    for (uint32_t p = 0; n - p >= m && p < n; p++) {
        uint32_t i = 0;
        while (i < m && static_cast<uint8_t>(needle[i]) < 0x80 &&
               haystack[p + i] == static_cast<uint8_t>(needle[i]))
            i++;
        if (i == m)
            return mutableUnits(haystack + p);
    }
    return nullptr;
}

char16_t *Ustr_findAsciiNoCase(const char16_t *haystack, const char *needle)
{
    if (!needle[0])
        return mutableUnits(haystack);
    for (const char16_t *h = haystack; *h; h++) {
        size_t i = 0;
        while (needle[i] && h[i]) {
            uint32_t a = h[i];
            uint32_t b = static_cast<uint8_t>(needle[i]);
            if (a != b && (a > 0x17F || Ustr_lowerChar(a) != Ustr_lowerChar(b)))
                break;
            i++;
        }
        if (!needle[i])
            return mutableUnits(h);
    }
    return nullptr;
}

// ---------------------------------------------------- in-place changes

void Ustr_lowerInPlace(char16_t *s)
{
    for (; *s; s++) {
        if (*s <= 0x17F)
            *s = static_cast<char16_t>(Ustr_lowerChar(*s));
    }
}

void Ustr_upperInPlace(char16_t *s)
{
    for (; *s; s++) {
        if (*s <= 0x17F)
            *s = static_cast<char16_t>(Ustr_upperChar(*s));
    }
}

void Ustr_titleCaseInPlace(char16_t *s)
{
    int wordStart = 1;
    for (; *s; s++) {
        char16_t c = *s;
        if (wordStart && c <= 0x17F)
            *s = static_cast<char16_t>(Ustr_upperChar(c));
        if (c < 127 && (Char_classTable[c + 128] & (Char_upper | Char_lower | Char_digit)))
            wordStart = 0;
        else if (c == 0x27 || c == 0x2019)
            wordStart = 0;
        else
            wordStart = 1;
    }
}

void Ustr_reverseN(char16_t *s, size_t n)
{
    if (n < 2)
        return;
    for (size_t i = 0, j = n - 1; i < j; i++, j--) {
        char16_t t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
}

size_t Ustr_removeChar(char16_t *text, size_t n, char16_t ch)
{
    size_t kept = 0;
    for (size_t i = 0; i < n; i++)
        if (text[i] != ch)
            text[kept++] = text[i];
    return kept;
}

char16_t *Ustr_collapseSpace(const char16_t *src, size_t n)
{
    if (!src || n == SIZE_MAX)
        return nullptr;
    char16_t *out = allocUnits(n + 1);
    if (!out)
        return nullptr;
    size_t used = 0;
    const char16_t *p = src;
    const char16_t *end = src + n;
    while (p < end) {
        while (p < end && isAsciiSpace(*p))
            p++;
        const char16_t *run = p;
        while (p < end && !isAsciiSpace(*p))
            p++;
        if (p == run)
            continue;
        if (used)
            out[used++] = u' ';
        memcpy(out + used, run, static_cast<size_t>(p - run) * sizeof(char16_t));
        used += static_cast<size_t>(p - run);
    }
    out[used] = 0;
    if (used < n) {
        char16_t *shrunk = static_cast<char16_t *>(Mem_realloc(out, (used + 1) * sizeof(char16_t)));
        if (shrunk)
            out = shrunk;
    }
    return out;
}

int Ustr_hasComplexScript(const char16_t *s, size_t n)
{
    if (!s)
        return 0;
    for (size_t i = 0; i < n; i++) {
        char16_t c = s[i];
        if ((c >= 0x0590 && c <= 0x0E5B) || (c >= 0xFB1D && c <= 0xFEFC) ||
            (c >= 0xAC00 && c <= 0xD7A3))
            return 1;
    }
    return 0;
}

// -------------------------------------------------------------- parsing

namespace {

// The shared digit scan of the three parsers. limit16 stops before a digit
// that would take the value above 65535. Returns 1 when at least one digit
// was taken and scanning stopped where the text ends.
int scanDigits(const char16_t *p, const char16_t *end, const char16_t **stop, uint32_t *value,
               bool limit16)
{
    uint32_t v = 0;
    const char16_t *start = p;
    while ((!end || p < end) && *p >= u'0' && *p <= u'9') {
        uint32_t d = static_cast<uint32_t>(*p - u'0');
        if (limit16 && v * 10 + d > 65535)
            break;
        v = v * 10 + d; // wraps modulo 2^32 for the 32-bit parsers
        p++;
    }
    if (stop)
        *stop = p;
    if (p == start)
        return 0;
    if (end ? p != end : *p != 0)
        return 0;
    *value = v;
    return 1;
}

} // namespace

int Ustr_parseU16(const char16_t *text, const char16_t *end, const char16_t **stop, uint16_t *value)
{
    uint32_t v;
    if (!scanDigits(text, end, stop, &v, true))
        return 0;
    *value = static_cast<uint16_t>(v);
    return 1;
}

int Ustr_parseUint(const char16_t *text, const char16_t *end, const char16_t **stop,
                   uint32_t *value)
{
    return scanDigits(text, end, stop, value, false);
}

int Ustr_parseInt(const char16_t *text, const char16_t *end, const char16_t **stop, int32_t *value)
{
    bool negative = false;
    if ((!end || text < end) && *text == u'-') {
        negative = true;
        text++;
    }
    uint32_t v;
    if (!scanDigits(text, end, stop, &v, false))
        return 0;
    *value = static_cast<int32_t>(negative ? 0u - v : v);
    return 1;
}

namespace {

// A non-negative double as a float; one beyond the float range becomes
// infinity (converting it directly would be undefined).
inline float toFloat(double v)
{
    return v > double(std::numeric_limits<float>::max()) ? std::numeric_limits<float>::infinity()
                                                         : float(v);
}

} // namespace

float Ustr_parseDecimalFloat(const char16_t *text)
{
    if (!text)
        return 0.0f;
    const char16_t *p = text;
    while (*p == u' ' || (*p >= 9 && *p <= 13))
        p++;
    float sign = 1.0f;
    if (*p == u'-' || *p == u'+') {
        if (*p == u'-')
            sign = -1.0f;
        p++;
    }
    float value = 0.0f;
    for (; *p >= u'0' && *p <= u'9'; p++)
        value = toFloat(double(value) * 10.0 + (*p - u'0'));
    float divisor = 1.0f;
    if (*p == u'.') {
        for (p++; *p >= u'0' && *p <= u'9'; p++) {
            if (value >= 1e30f)
                continue;
            value = toFloat(double(value) * 10.0 + (*p - u'0'));
            divisor = toFloat(double(divisor) * 10.0);
        }
    }
    return (sign * value) / divisor;
}

// ------------------------------------------------------ percent escapes

namespace {

inline bool isHexUnit(char16_t c)
{
    return c < 127 && (Char_classTable[c + 128] & Char_hex);
}

inline int hexDigit(char16_t c)
{
    return c <= u'9' ? c - 48 : (c | 0x20) - 87;
}

} // namespace

int Ustr_hexPairValue(const char16_t *p)
{
    if (!isHexUnit(p[1]) || !isHexUnit(p[2]))
        return 0;
    return 16 * hexDigit(p[1]) + hexDigit(p[2]);
}

char16_t *Ustr_unescapeInPlace(char16_t *s)
{
    char16_t *in = Ustr_chr(s, u'%');
    if (!in)
        return s;
    char16_t *out = in;
    while (*in) {
        int v;
        if (*in == u'%' && (v = Ustr_hexPairValue(in)) != 0) {
            *out++ = static_cast<char16_t>(v);
            in += 3;
        } else {
            *out++ = *in++;
        }
    }
    *out = 0;
    return s;
}

char16_t *Ustr_escapeChar(const char16_t *s, uint32_t c)
{
    if (!s)
        return nullptr;
    size_t len = 0, hits = 0;
    for (; s[len]; len++) {
        if (s[len] == c)
            hits++;
    }
    char16_t *out = allocUnits(len + 2 * hits + 1);
    if (!out)
        return nullptr;
    char16_t *w = out;
    for (size_t i = 0; i < len; i++) {
        if (s[i] == c)
            w = writeEscape(w, s[i]);
        else
            *w++ = s[i];
    }
    *w = 0;
    return out;
}

char16_t *Ustr_escapeSet(const char16_t *s, const char16_t *set)
{
    if (!s || !set)
        return nullptr;
    size_t len = Ustr_len(s);
    if (len > (SIZE_MAX / sizeof(char16_t) - 1) / 3)
        return nullptr;
    char16_t *out = allocUnits(3 * len + 1);
    if (!out)
        return nullptr;
    char16_t *w = out;
    for (size_t i = 0; i < len; i++) {
        if (Ustr_chr(set, s[i]))
            w = writeEscape(w, s[i]);
        else
            *w++ = s[i];
    }
    *w = 0;
    return out;
}

// ------------------------------------------------------------ code points

int Ustr_nextCodePoint(const char16_t **pos, uint32_t *codePoint, const char16_t *end)
{
    const char16_t *p = *pos;
    if (end && p >= end)
        return 1;
    uint32_t first = *p++;
    if (first >= 0xD800 && first <= 0xDBFF) {
        if (end && p >= end)
            return 1; // the pair is cut by the end: nothing is consumed
        uint32_t second = *p;
        if (second >= 0xDC00 && second <= 0xDFFF) {
            p++;
            *codePoint = 0x10000 + (((first & 0x3FF) << 10) | (second & 0x3FF));
        } else {
            *codePoint = 0xFFFD;
        }
    } else if (first >= 0xDC00 && first <= 0xDFFF) {
        *codePoint = 0xFFFD;
    } else {
        *codePoint = first;
    }
    *pos = p;
    return 0;
}

int Ustr_putCodePoint(char16_t **out, uint32_t codePoint, const char16_t *end)
{
    char16_t *p = *out;
    if (end && p >= end)
        return 1;
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    if (codePoint < 0x10000) {
        *p++ = char16_t(codePoint);
        *out = p;
        return 0;
    }
    if (end && end - p < 2)
        return 1; // no room for both units: nothing is written
    uint32_t v = codePoint - 0x10000;
    p[0] = char16_t(0xD800 | (v >> 10));
    p[1] = char16_t(0xDC00 | (v & 0x3FF));
    *out = p + 2;
    return 0;
}

// ------------------------------------------------------------ appending

char16_t *Ustr_appendCstr(char16_t *s, const char *text8)
{
    if (!text8)
        return s;
    size_t have = Ustr_len(s);
    size_t add = strlen(text8);
    if (add > SIZE_MAX / sizeof(char16_t) - have - 1)
        return nullptr;
    char16_t *out = static_cast<char16_t *>(Mem_realloc(s, (have + add + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    if (!s)
        have = 0;
    for (size_t i = 0; i < add; i++)
        out[have + i] = static_cast<char16_t>(static_cast<uint8_t>(text8[i]));
    out[have + add] = 0;
    return out;
}

// ------------------------------------------------ property payload 18
