// Small helpers shared by the character-set converters: reading and
// writing 16-bit units in byte buffers (host order, any alignment) and
// reading code points pair-aware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The unit at unit index i of a byte buffer.
inline uint32_t Charset_getUnit(const uint8_t *buf, size_t i)
{
    uint16_t u;
    memcpy(&u, buf + 2 * i, 2);
    return u;
}

// Stores unit u at unit index i of a byte buffer.
inline void Charset_putUnit(uint8_t *buf, size_t i, uint32_t u)
{
    uint16_t v = uint16_t(u);
    memcpy(buf + 2 * i, &v, 2);
}

// Reads one code point from units[*pos .. count): a high surrogate followed
// by a low one gives the combined value (two units), any other surrogate
// U+FFFD (one unit). Returns 0 and advances *pos, or 1 without reading when
// the only unit left is a high surrogate (the rest of the pair may follow).
inline int Charset_readCodePoint(const uint8_t *units, size_t count, size_t *pos, uint32_t *cp)
{
    uint32_t u = Charset_getUnit(units, *pos);
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (*pos + 1 >= count)
            return 1;
        uint32_t lo = Charset_getUnit(units, *pos + 1);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
            *cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
            *pos += 2;
            return 0;
        }
        *cp = 0xFFFD;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
        *cp = 0xFFFD;
    } else {
        *cp = u;
    }
    *pos += 1;
    return 0;
}

// The same over a char16_t array.
inline int Charset_readCodePoint16(const char16_t *s, size_t count, size_t *pos, uint32_t *cp)
{
    return Charset_readCodePoint(reinterpret_cast<const uint8_t *>(s), count, pos, cp);
}

// Decodes one UTF-8 sequence from p[0 .. avail) (avail >= 1). Sets *cp (a
// code point, U+FFFD for anything invalid) and *len (bytes it takes) and
// returns 0, or returns 1 when the bytes present are a valid beginning of a
// sequence that the end of the input cuts off.
int Charset_utf8Step(const uint8_t *p, size_t avail, uint32_t *cp, size_t *len);

// Writes code point cp (below 0x200000) as UTF-8 into out (room for 4) and
// returns the byte count.
size_t Charset_utf8Encode(uint32_t cp, uint8_t *out);
