// Small font-data utilities that other subsystems share.
#include "fonts/fontdata.h"

#include <cstring>

#include "core/stream/bytestream.h"

namespace {

constexpr uint32_t namedColours[Pixel_namedColourCount] = {
    0xFFFFFF00, // aqua
    0xFF000000, // black
    0xFFFF0000, // blue
    0xFFFF00FF, // fuchsia
    0xFF808080, // gray
    0xFF008000, // green
    0xFF00FF00, // lime
    0xFF000080, // maroon
    0xFF800000, // navy
    0xFF008080, // olive
    0xFF00A5FF, // orange
    0xFF800080, // purple
    0xFF0000FF, // red
    0xFFC0C0C0, // silver
    0xFF808000, // teal
    0xFF00FFFF, // yellow
    0xFFFFFFFF, // white
};

} // namespace

void FontFile_putU32BE(uint8_t *bytes, uint32_t value)
{
    bytes[0] = uint8_t(value >> 24);
    bytes[1] = uint8_t(value >> 16);
    bytes[2] = uint8_t(value >> 8);
    bytes[3] = uint8_t(value);
}

int FontFile_tagEqual(const uint8_t *a, const uint8_t *b)
{
    return memcmp(a, b, 4) == 0 ? 1 : 0;
}

void Ustr_byteSwap(char16_t *units, size_t n)
{
    for (size_t i = 0; i < n; i++)
        units[i] = char16_t(uint16_t(units[i]) >> 8 | uint16_t(units[i]) << 8);
}

void Bytes_swap32(uint32_t *words, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        uint32_t w = words[i];
        words[i] = w >> 24 | (w >> 8 & 0xFF00u) | (w << 8 & 0xFF0000u) | w << 24;
    }
}

void Pixel_namedColour(uint32_t *out, int32_t index)
{
    if (!out)
        return;
    *out = index >= 0 && index < Pixel_namedColourCount ? namedColours[index] : 0;
}

void Pixel_setColourAlpha(uint32_t *colour, uint32_t value)
{
    *colour = (*colour & 0x00FFFFFFu) | (value & 0xFFu) << 24;
}

void Font_readSettingsTable(const uint8_t *table, size_t length, int32_t settings[2])
{
    settings[0] = 2;
    settings[1] = 10;
    if (!table || length < 2 || Bytes_peekU16Be(table) != 1)
        return;
    for (size_t at = 2; at + 4 <= length; at += 4) {
        int16_t key = Bytes_peekS16Be(table + at);
        int32_t value = Bytes_peekU16Be(table + at + 2);
        if (key == 1)
            settings[0] = value;
        else if (key == 2)
            settings[1] = value;
    }
}
