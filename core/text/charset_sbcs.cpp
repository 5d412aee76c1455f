// Single-byte converters: the code pages (codes 6-26) and the Symbol and
// Wingdings font encodings (27, 28), each a table lookup per byte. The code
// pages keep bytes below 0x80 as they are and look up the rest; the two
// font encodings look up every byte. The tables are in
// charset_sbcs_tables.cpp.
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_internal.h"
#include "core/text/charset_tables.h"

int Charset_singleByteToUtf16(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst,
                              size_t dstCap, size_t *consumed, size_t *produced)
{
    const uint16_t *high = nullptr, *all = nullptr;
    if (code >= CharsetCode_cp437 && code <= CharsetCode_iso2022cn)
        high = Charset_sbcsHigh[code - CharsetCode_cp437];
    else if (code == CharsetCode_symbol)
        all = Charset_symbolTable;
    else if (code == CharsetCode_wingdings)
        all = Charset_wingdingsTable;
    size_t cap = dstCap / 2, i = 0;
    int status = 0;
    for (; i < srcLen; i++) {
        if (i >= cap) {
            status = Res_charsetDestFull;
            break;
        }
        uint32_t b = src[i], u;
        if (all)
            u = all[b];
        else if (b < 0x80)
            u = b;
        else
            u = high ? high[b - 0x80] : 0xFFFD;
        Charset_putUnit(dst, i, u);
    }
    *consumed = i;
    *produced = 2 * i;
    return status;
}

int Charset_cp437ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(6, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win874ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(7, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1250ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(8, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1251ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(9, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1252ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(10, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1253ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(11, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1254ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(12, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1255ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(13, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1256ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(14, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1257ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(15, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_win1258ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(16, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88592ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(17, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88595ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(18, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88596ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(19, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88597ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(20, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88598ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(21, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso88599ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(22, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_tis620ToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(23, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_koi8rToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(24, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso2022krToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                             size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(25, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_iso2022cnToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                             size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(26, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_symbolToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(27, src, srcLen, dst, dstCap, consumed, produced);
}

int Charset_wingdingsToUtf16(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                             size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    return Charset_singleByteToUtf16(28, src, srcLen, dst, dstCap, consumed, produced);
}
