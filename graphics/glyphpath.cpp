// Glyph outline operations that are needed before the rest of the outline
// code: moving a point-record outline sideways, used by the TrueType loader
// to align a glyph's left edge with the metric its font reports.
#include "graphics/glyphpath.h"

void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx)
{
    if (!outline || outline->kind != GlyphPath_kindPoints || !outline->bytes ||
        outline->byteCapacity < GlyphPoint_wideSize || !(outline->bytes[0] & GlyphPoint_wide))
        return;
    uint8_t *x = outline->bytes + 1;
    uint16_t value = uint16_t(x[0] | x[1] << 8);
    value = uint16_t(value + uint32_t(dx));
    x[0] = uint8_t(value);
    x[1] = uint8_t(value >> 8);
}
