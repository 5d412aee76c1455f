// The workbook colour palette.
//
// BIFF cells, fonts, borders and chart elements name colours by a colour
// index. Indexes 8 to 63 stand for the 56 entries of the workbook palette
// (the default one, or the colours of a PALETTE record); indexes 0 to 7
// reach the first eight entries as well, and the system colour indexes
// (0x40, 0x4D, 0x4F, 0x51, 0x7F) stand for entry 0. The writer maps an RGB
// colour back to the nearest palette index.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    Excel_paletteSize = 56,      // entries of a palette
    Excel_paletteFirstIndex = 8, // colour index of entry 0
};

// One palette: entry k is colour index 8 + k, as {red, green, blue, alpha}
// with alpha 0xFF.
struct ExcelPalette {
    uint8_t entries[Excel_paletteSize][4];
};

// Copies the default palette (black, white, red, green, blue, yellow,
// magenta, cyan, ... ending with (51,51,51)). Null does nothing.
void Excel_Palette_setDefault(ExcelPalette *palette);

// Stores count colours of a PALETTE record (4 bytes each: red, green, blue
// and a byte not used) from colours into the palette with alpha 0xFF; at
// most 56 are read. A null argument or a count of 0 does nothing.
void Excel_Palette_read(const uint8_t *colours, uint32_t count, ExcelPalette *palette);

// A whole PALETTE record body of length bytes: a u16 count, then the
// colours. A body shorter than 2 + 4 x count counts as holding no colour
// (nothing changes).
void Excel_Palette_readRecord(const uint8_t *body, size_t length, ExcelPalette *palette);

// The palette entry of a colour index: 0-7 give entries 0-7, 8-63 give
// index - 8, a system colour index gives 0 and any other index 1.
uint32_t Excel_Palette_slot(uint32_t colourIndex);

// The entry (4 bytes, lent) of a colour index by Excel_Palette_slot; null
// for a null palette.
const uint8_t *Excel_Palette_entry(const ExcelPalette *palette, uint32_t colourIndex);

// The colour index of entry k: 8 + k for k below 56, else 0.
uint32_t Excel_Palette_indexOfSlot(uint32_t k);

// The colour index (8 + k) of the entry whose red, green and blue equal
// rgb[0..2]; without one, of the entry with the smallest weighted distance
// 19595 dr^2 + 38469 dg^2 + 7471 db^2. The first entry wins a tie. 8 for a
// null argument.
uint32_t Excel_Palette_nearest(const ExcelPalette *palette, const uint8_t *rgb);
