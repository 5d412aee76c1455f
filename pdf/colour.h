// PDF colour spaces: the colour record kept for stroking and for filling,
// parsed from a colour-space operand, set from colour operands and turned
// into the engine's colour.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfObj;

enum : uint32_t {
    PdfCs_gray = 0,
    PdfCs_rgb = 1,
    PdfCs_cmyk = 2,
    PdfCs_lab = 3,
    PdfCs_indexed = 5,
    PdfCs_pattern = 6,
    PdfCs_separation = 7,
    PdfCs_none = 9,
    PdfCs_maxAlternates = 4, // Separation / ICCBased alternates followed
};

struct PdfColourSpace {
    uint32_t family;
    uint32_t baseFamily;
    uint32_t count; // colour operands of the space
    uint32_t baseCount;
    float c[8];         // the current colour's components
    uint32_t hival;     // Indexed: the highest index
    const void *lookup; // Indexed: the lookup table (not kept: always null)
};

// Family and counts from an operand (a name, looked up in the
// "ColorSpace" resources unless it is a family name, or an array). 5971
// for an unknown or malformed space, an Alternate chain that names itself
// or one deeper than four levels.
[[nodiscard]] int Pdf_Cs_parse(PdfDoc *doc, PdfObj *operand, PdfColourSpace *cs);
// A bare family name. 5971 for an unknown one.
[[nodiscard]] int Pdf_Cs_fromName(PdfDoc *doc, const char *name, PdfColourSpace *cs);
// Components from n operands (numbers; others give 5910).
[[nodiscard]] int Pdf_Cs_setColourFromOperands(PdfDoc *doc, PdfColourSpace *cs,
                                               PdfObj *const *operands, uint32_t n);
// R, G, B, A bytes; gray and RGB components clamped to [0, 1], each
// x * 255 truncated; spaces that are not converted give 128 grey at 128.
void Pdf_Cs_toRgba(const PdfColourSpace *cs, uint8_t *out);
// R | G << 8 | B << 16.
uint32_t Pdf_Cs_toRgb(const PdfColourSpace *cs);
