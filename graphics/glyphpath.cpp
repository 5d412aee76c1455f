// Glyph outline operations that are needed before the rest of the outline
// code: moving a point-record outline sideways, used by the TrueType loader
// to align a glyph's left edge with the metric its font reports.
#include "graphics/glyphpath.h"

// Adds dx to the first record and to every absolute record: the others
// hold deltas and move with the record before them. Composite glyphs are
// made of absolute records only, so moving the first record alone would
// move only their first point.
void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx)
{
    if (!outline || outline->kind != GlyphPath_kindPoints || !outline->bytes || outline->lastSize == 0)
        return;
    uint32_t used = outline->lastStart + outline->lastSize;
    if (used > outline->byteCapacity)
        return;
    for (uint32_t at = 0; at < used;) {
        uint8_t *r = outline->bytes + at;
        if (!(r[0] & GlyphPoint_wide)) {
            at += GlyphPoint_narrowSize;
            continue;
        }
        if (at == 0 || (r[0] & GlyphPoint_absolute)) {
            uint16_t x = uint16_t(uint16_t(r[1] | r[2] << 8) + uint32_t(dx));
            r[1] = uint8_t(x);
            r[2] = uint8_t(x >> 8);
        }
        at += GlyphPoint_wideSize;
    }
}
