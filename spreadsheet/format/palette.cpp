// The workbook colour palette: the default 56 colours, PALETTE records,
// index mapping and the nearest index of a colour.
#include "spreadsheet/format/palette.h"
#include "core/stream/bytestream.h"

#include <cstring>

namespace {

constexpr uint8_t defaultColours[Excel_paletteSize][3] = {
    {0, 0, 0},       {255, 255, 255}, {255, 0, 0},     {0, 255, 0},     {0, 0, 255},
    {255, 255, 0},   {255, 0, 255},   {0, 255, 255},   {128, 0, 0},     {0, 128, 0},
    {0, 0, 128},     {128, 128, 0},   {128, 0, 128},   {0, 128, 128},   {192, 192, 192},
    {128, 128, 128}, {153, 153, 255}, {153, 51, 102},  {255, 255, 204}, {204, 255, 255},
    {102, 0, 102},   {255, 128, 128}, {0, 102, 204},   {204, 204, 255}, {0, 0, 128},
    {255, 0, 255},   {255, 255, 0},   {0, 255, 255},   {128, 0, 128},   {128, 0, 0},
    {0, 128, 128},   {0, 0, 255},     {0, 204, 255},   {204, 255, 255}, {204, 255, 204},
    {255, 255, 153}, {153, 204, 255}, {255, 153, 204}, {204, 153, 255}, {255, 204, 153},
    {51, 102, 255},  {51, 204, 204},  {153, 204, 0},   {255, 204, 0},   {255, 153, 0},
    {255, 102, 0},   {102, 102, 153}, {150, 150, 150}, {0, 51, 102},    {51, 153, 102},
    {0, 51, 0},      {51, 51, 0},     {153, 51, 0},    {153, 51, 102},  {51, 51, 153},
    {51, 51, 51},
};

bool isSystemIndex(uint32_t index)
{
    return index == 0x40 || index == 0x4D || index == 0x4F || index == 0x51 || index == 0x7F;
}

} // namespace

void Excel_Palette_setDefault(ExcelPalette *palette)
{
    if (!palette)
        return;
    for (uint32_t k = 0; k < Excel_paletteSize; k++) {
        memcpy(palette->entries[k], defaultColours[k], 3);
        palette->entries[k][3] = 0xFF;
    }
}

void Excel_Palette_read(const uint8_t *colours, uint32_t count, ExcelPalette *palette)
{
    if (!colours || !palette || count == 0)
        return;
    if (count > Excel_paletteSize)
        count = Excel_paletteSize;
    for (uint32_t k = 0; k < count; k++) {
        memcpy(palette->entries[k], colours + 4 * k, 3);
        palette->entries[k][3] = 0xFF;
    }
}

void Excel_Palette_readRecord(const uint8_t *body, size_t length, ExcelPalette *palette)
{
    if (!body || length < 2)
        return;
    uint32_t count = Bytes_peekU16Le(body);
    if (length < 2 + 4 * size_t(count))
        count = 0;
    Excel_Palette_read(body + 2, count, palette);
}

uint32_t Excel_Palette_slot(uint32_t colourIndex)
{
    if (colourIndex < Excel_paletteFirstIndex)
        return colourIndex;
    if (colourIndex < Excel_paletteFirstIndex + Excel_paletteSize)
        return colourIndex - Excel_paletteFirstIndex;
    return isSystemIndex(colourIndex) ? 0 : 1;
}

const uint8_t *Excel_Palette_entry(const ExcelPalette *palette, uint32_t colourIndex)
{
    if (!palette)
        return nullptr;
    return palette->entries[Excel_Palette_slot(colourIndex)];
}

uint32_t Excel_Palette_indexOfSlot(uint32_t k)
{
    return k < Excel_paletteSize ? Excel_paletteFirstIndex + k : 0;
}

uint32_t Excel_Palette_nearest(const ExcelPalette *palette, const uint8_t *rgb)
{
    if (!palette || !rgb)
        return Excel_paletteFirstIndex;
    uint32_t best = 0;
    uint64_t bestDistance = UINT64_MAX;
    for (uint32_t k = 0; k < Excel_paletteSize; k++) {
        const uint8_t *e = palette->entries[k];
        if (e[0] == rgb[0] && e[1] == rgb[1] && e[2] == rgb[2])
            return Excel_paletteFirstIndex + k;
        int64_t dr = int64_t(e[0]) - rgb[0];
        int64_t dg = int64_t(e[1]) - rgb[1];
        int64_t db = int64_t(e[2]) - rgb[2];
        uint64_t d = uint64_t(19595 * dr * dr + 38469 * dg * dg + 7471 * db * db);
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return Excel_paletteFirstIndex + best;
}
