// Chart records of the older (BIFF5) layout brought to BIFF8 for the
// workbook writer: RGB colours gain palette indexes, 8-bit strings become
// 16-bit ones, and the 3-D references of series links take the BIFF8 form.
#include <cstring>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/formula/ptg.h"

namespace {

uint32_t indexOf(const ExcelPalette *palette, const uint8_t *rgb)
{
    return palette ? Excel_Palette_nearest(palette, rgb) : Excel_paletteFirstIndex;
}

// Appends the palette indexes of the colours at the given offsets, then
// zero words, at offset at; the new length is at + 2 x (colours + zeros).
int appendIndexes(uint8_t *body, size_t *length, size_t capacity, size_t expected,
                  const ExcelPalette *palette, const size_t *colours, int n, int zeros)
{
    if (*length != expected)
        return Res_unexpectedKind;
    size_t grown = expected + 2 * size_t(n + zeros);
    if (grown > capacity)
        return Res_nullInput;
    size_t at = expected;
    for (int i = 0; i < n; i++, at += 2)
        Bytes_putU16Le(body + at, indexOf(palette, body + colours[i]));
    for (int i = 0; i < zeros; i++, at += 2)
        Bytes_putU16Le(body + at, 0);
    *length = grown;
    return Res_ok;
}

// Widens n 8-bit characters at from into 16-bit ones at to (to > from;
// the copy runs backwards).
void widen(uint8_t *body, size_t from, size_t to, size_t n)
{
    for (size_t i = n; i > 0; i--) {
        uint8_t c = body[from + i - 1];
        body[to + 2 * (i - 1)] = c;
        body[to + 2 * (i - 1) + 1] = 0;
    }
}

} // namespace

int Excel_Chart_convertRecord(uint16_t type, uint8_t *body, size_t *length, size_t capacity,
                              const ExcelPalette *palette, const Excel_SheetMap *sheetMap,
                              Excel_RefTables *tables)
{
    if (!length || (!body && *length))
        return Res_missingArgument;
    switch (type) {
    case 0x1007: { // LINEFORMAT
        static constexpr size_t colours[] = {0};
        return appendIndexes(body, length, capacity, 10, palette, colours, 1, 0);
    }
    case 0x1009: { // MARKERFORMAT: indexes, then the marker size (5 points)
        static constexpr size_t colours[] = {0, 4};
        int rc = appendIndexes(body, length, capacity, 12, palette, colours, 2, 2);
        if (rc == Res_ok)
            Bytes_putU16Le(body + 16, 100);
        return rc;
    }
    case 0x100A: { // AREAFORMAT
        static constexpr size_t colours[] = {0, 4};
        return appendIndexes(body, length, capacity, 12, palette, colours, 2, 0);
    }
    case 0x101E: { // TICK
        static constexpr size_t colours[] = {4};
        return appendIndexes(body, length, capacity, 26, palette, colours, 1, 1);
    }
    case 0x1025: { // TEXT
        static constexpr size_t colours[] = {4};
        return appendIndexes(body, length, capacity, 26, palette, colours, 1, 2);
    }
    case 0x101B:
        if (*length != 0)
            return Res_unexpectedKind;
        if (capacity < 6)
            return Res_nullInput;
        Bytes_putU16Le(body, 100);
        Bytes_putU16Le(body + 2, 1);
        Bytes_putU16Le(body + 4, 0);
        *length = 6;
        return Res_ok;
    case 0x100D: { // SERIESTEXT: u16 id, u8 count, characters
        if (*length < 3)
            return Res_unexpectedKind;
        size_t n = body[2];
        if (n == 0)
            return Res_ok;
        if (*length < 3 + n)
            return Res_unexpectedKind;
        if (4 + 2 * n > capacity)
            return Res_nullInput;
        widen(body, 3, 4, n);
        body[3] = 1;
        *length = 4 + 2 * n;
        return Res_ok;
    }
    case 0x0014:   // HEADER
    case 0x0015: { // FOOTER: u8 count, characters -> u16 count, options 0, characters
        if (*length == 0)
            return Res_ok;
        size_t n = body[0];
        if (*length < 1 + n)
            return Res_unexpectedKind;
        if (n + 3 > capacity)
            return Res_nullInput;
        memmove(body + 3, body + 1, n);
        Bytes_putU16Le(body, static_cast<uint32_t>(n));
        body[2] = 0;
        *length = n + 3;
        return Res_ok;
    }
    case 0x1051: { // AI: the link formula at 8, its size at 6
        if (*length < 8)
            return Res_unexpectedKind;
        size_t cce = Bytes_peekU16Le(body + 6);
        if (cce == 0)
            return Res_ok;
        if (*length < 8 + cce)
            return Res_unexpectedKind;
        // The first token of the link is the BIFF5 3-D reference (18 or 21
        // bytes); its BIFF8 form is shorter and the rest moves up.
        size_t oldSize = Excel_Ptg_fold(body[8]) == Excel_ptgArea3d ? 21 : 18;
        size_t tokenLength = cce;
        int rc = Excel_Ref3d_fromBiff5(body + 8, &tokenLength, sheetMap, tables);
        if (rc != Res_ok)
            return rc;
        memmove(body + 8 + tokenLength, body + 8 + oldSize, *length - 8 - oldSize);
        Bytes_putU16Le(body + 6, static_cast<uint32_t>(cce - oldSize + tokenLength));
        *length = *length - oldSize + tokenLength;
        return Res_ok;
    }
    default: return Res_ok;
    }
}
