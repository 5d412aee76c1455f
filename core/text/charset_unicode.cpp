// Unicode converters: UTF-8, UTF-16BE/LE and Latin-1 to the engine's 16-bit
// units and back, and the whole-string UTF-8 routines used to pack engine
// strings into 8-bit form (URLs, stored records) and read them back.
//
// Every streaming converter stops before a character that does not fit
// (Res_charsetDestFull: nothing of that character is consumed or written)
// and before one that the end of the source cuts off
// (Res_charsetIncomplete), so a caller can feed it again from there.
#include <cstring>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/charset.h"
#include "core/text/charset_internal.h"
#include "core/text/ustr.h"

int Charset_utf8Step(const uint8_t *p, size_t avail, uint32_t *cp, size_t *len)
{
    uint32_t b = p[0];
    size_t need;
    uint32_t min, v;
    *len = 1;
    *cp = 0xFFFD;
    if (b < 0x80) {
        *cp = b;
        return 0;
    }
    if (b < 0xC0 || b >= 0xFE)
        return 0;
    if (b < 0xE0) {
        need = 2, min = 0x80, v = b & 0x1F;
    } else if (b < 0xF0) {
        need = 3, min = 0x800, v = b & 0x0F;
    } else if (b < 0xF8) {
        need = 4, min = 0x10000, v = b & 0x07;
    } else if (b < 0xFC) {
        need = 5, min = 0x200000, v = b & 0x03;
    } else {
        need = 6, min = 0x4000000, v = b & 0x01;
    }
    // Continuation bytes are checked as far as the input goes: a bad one
    // ends the sequence there (U+FFFD, decoding resumes at that byte) even
    // when the input is too short for the whole sequence.
    for (size_t i = 1; i < need; i++) {
        if (i >= avail)
            return 1;
        if ((p[i] & 0xC0) != 0x80) {
            *len = i;
            return 0;
        }
        v = (v << 6) | (p[i] & 0x3F);
    }
    *len = need;
    if (v >= min && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF))
        *cp = v;
    return 0;
}

size_t Charset_utf8Encode(uint32_t cp, uint8_t *out)
{
    if (cp < 0x80) {
        out[0] = uint8_t(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = uint8_t(0xC0 | (cp >> 6));
        out[1] = uint8_t(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp <= 0xFFFF) {
        out[0] = uint8_t(0xE0 | (cp >> 12));
        out[1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        out[2] = uint8_t(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = uint8_t(0xF0 | (cp >> 18));
    out[1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
    out[2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
    out[3] = uint8_t(0x80 | (cp & 0x3F));
    return 4;
}

int Charset_latin1ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    size_t cap = dstCap / 2, i = 0;
    int status = 0;
    for (; i < srcLen; i++) {
        if (i >= cap) {
            status = Res_charsetDestFull;
            break;
        }
        Charset_putUnit(dst, i, src[i]);
    }
    *consumed = i;
    *produced = 2 * i;
    return status;
}

int Charset_utf8ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    size_t cap = dstCap / 2, in = 0, out = 0;
    int status = 0;
    while (in < srcLen) {
        uint32_t cp;
        size_t len;
        if (Charset_utf8Step(src + in, srcLen - in, &cp, &len)) {
            status = Res_charsetIncomplete;
            break;
        }
        char16_t units[2], *end = units;
        (void)Ustr_putCodePoint(&end, cp, nullptr);
        size_t count = size_t(end - units);
        if (out + count > cap) {
            status = Res_charsetDestFull;
            break;
        }
        for (size_t i = 0; i < count; i++)
            Charset_putUnit(dst, out++, units[i]);
        in += len;
    }
    *consumed = in;
    *produced = 2 * out;
    return status;
}

// UTF-16 in either byte order. The start of the text is where a byte-order
// mark is skipped: with a state record that is only the very first unit
// the converter sees (state->shift turns 1 after it), so a U+FEFF at the
// start of a later chunk is kept; without one, the start of every call.
static int utf16ToUtf16(bool bigEndian, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    size_t cap = dstCap / 2, in = 0, out = 0;
    int status = 0;
    bool atStart = state == nullptr || state->shift == 0;
    while (srcLen - in >= 2) {
        const uint8_t *p = src + in;
        uint32_t u = Bytes_peekU16(p, bigEndian ? 1 : 0);
        if (u == 0xFEFF && atStart && in == 0) {
            in += 2;
            atStart = false;
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (srcLen - in < 4) {
                status = Res_charsetIncomplete;
                break;
            }
            uint32_t lo = Bytes_peekU16(p + 2, bigEndian ? 1 : 0);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                if (out + 2 > cap) {
                    status = Res_charsetDestFull;
                    break;
                }
                Charset_putUnit(dst, out++, u);
                Charset_putUnit(dst, out++, lo);
            } else {
                if (out + 1 > cap) {
                    status = Res_charsetDestFull;
                    break;
                }
                Charset_putUnit(dst, out++, 0xFFFD);
            }
            in += 4;
        } else {
            if (out + 1 > cap) {
                status = Res_charsetDestFull;
                break;
            }
            Charset_putUnit(dst, out++, (u >= 0xDC00 && u <= 0xDFFF) ? 0xFFFD : u);
            in += 2;
        }
        atStart = false;
    }
    if (state && in > 0)
        state->shift = 1;
    *consumed = in;
    *produced = 2 * out;
    return status;
}

int Charset_utf16beToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return utf16ToUtf16(true, src, srcLen, dst, dstCap, consumed, produced, state);
}

int Charset_utf16leToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return utf16ToUtf16(false, src, srcLen, dst, dstCap, consumed, produced, state);
}

// Encodes units to Latin-1 (utf8 false) or UTF-8 (utf8 true).
static int utf16ToBytes(bool utf8, const uint8_t *src, size_t srcLen, uint8_t *dst, size_t dstCap,
                        size_t *consumed, size_t *produced)
{
    size_t count = srcLen / 2, pos = 0, out = 0;
    int status = 0;
    while (pos < count) {
        size_t at = pos;
        uint32_t cp;
        if (Charset_readCodePoint(src, count, &pos, &cp)) {
            status = Res_charsetIncomplete;
            break;
        }
        uint8_t buf[4];
        size_t n;
        if (utf8) {
            n = Charset_utf8Encode(cp, buf);
        } else {
            buf[0] = cp < 0x100 ? uint8_t(cp) : uint8_t('?');
            n = 1;
        }
        if (out + n > dstCap) {
            pos = at;
            status = Res_charsetDestFull;
            break;
        }
        memcpy(dst + out, buf, n);
        out += n;
    }
    *consumed = 2 * pos;
    *produced = out;
    return status;
}

int Charset_utf16ToLatin1(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return utf16ToBytes(false, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_utf16ToUtf8(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return utf16ToBytes(true, src, srcLen, dst, dstCap, consumed, produced);
}

// ------------------------------------------------------ whole strings

// The next code point of a whole string: like Charset_readCodePoint, but a
// high surrogate at the very end reads as U+FFFD.
static uint32_t nextWhole(const char16_t *s, size_t n, size_t *pos)
{
    uint32_t cp;
    if (Charset_readCodePoint16(s, n, pos, &cp)) {
        *pos += 1;
        cp = 0xFFFD;
    }
    return cp;
}

char *Ustr_toUtf8(char *dst, const char16_t *s)
{
    size_t n = Ustr_len(s), pos = 0;
    uint8_t *out = reinterpret_cast<uint8_t *>(dst);
    while (pos < n)
        out += Charset_utf8Encode(nextWhole(s, n, &pos), out);
    *out++ = 0;
    return reinterpret_cast<char *>(out);
}

void Ustr_utf8Len(const char16_t *s, size_t *utf8Size, size_t *utf16Size)
{
    size_t n = Ustr_len(s), pos = 0, bytes = 1;
    while (pos < n) {
        uint32_t cp = nextWhole(s, n, &pos);
        bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp <= 0xFFFF ? 3 : 4;
    }
    if (utf8Size)
        *utf8Size = bytes;
    if (utf16Size)
        *utf16Size = 2 * (n + 1);
}

size_t Utf8_charCount(const char *s)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(s);
    size_t n = strlen(s), in = 0, units = 1;
    while (in < n) {
        uint32_t cp;
        size_t len;
        if (Charset_utf8Step(p + in, n - in, &cp, &len)) {
            units += 1; // the cut tail becomes one U+FFFD
            break;
        }
        units += cp > 0xFFFF ? 2 : 1;
        in += len;
    }
    return units;
}

char16_t *Utf8_toUstr(char16_t *dst, const char *s)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(s);
    size_t n = strlen(s), in = 0;
    while (in < n) {
        uint32_t cp;
        size_t len;
        if (Charset_utf8Step(p + in, n - in, &cp, &len)) {
            *dst++ = 0xFFFD;
            break;
        }
        (void)Ustr_putCodePoint(&dst, cp, nullptr);
        in += len;
    }
    *dst++ = 0;
    return dst;
}
