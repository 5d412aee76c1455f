// Small font-data utilities that other subsystems share.
#include "fonts/fontdata.h"

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

void Pixel_namedColour(uint32_t *out, int32_t index)
{
    if (!out)
        return;
    *out = index >= 0 && index < Pixel_namedColourCount ? namedColours[index] : 0;
}
