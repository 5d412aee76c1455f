// The "Spaces" font's table and operations.
#include "fonts/spaces.h"

#include "core/result.h"
#include "graphics/glyphpath.h"

namespace {

struct Space {
    uint16_t code;
    uint16_t advance;
};

// Rising codes; the glyph id is the index.
const Space spaces[SpacesFont_glyphCount] = {
    {0, 0},          {0x2000, 8192}, {0x2001, 16384}, {0x2002, 8192},
    {0x2003, 16384}, {0x2004, 5461}, {0x2005, 4096},  {0x2006, 2730},
    {0x200B, 0},     {0x205F, 3640}, {0x2060, 0},     {0xFEFF, 0},
};

} // namespace

const char SpacesFont_name[] = "%VexlanFont{Spaces}%";

int32_t SpacesFont_glyphOf(uint16_t code)
{
    uint32_t low = 0, high = SpacesFont_glyphCount;
    while (low < high) {
        uint32_t mid = (low + high) / 2;
        if (spaces[mid].code == code)
            return int32_t(mid);
        if (spaces[mid].code < code)
            low = mid + 1;
        else
            high = mid;
    }
    return -1;
}

uint16_t SpacesFont_advanceOf(uint16_t glyph)
{
    return glyph < SpacesFont_glyphCount ? spaces[glyph].advance : 0;
}

int SpacesFont_map(FontFace *, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                   uint16_t *glyphs, uint8_t *tags, uint32_t *remaining)
{
    for (uint32_t i = 0; i < n && *remaining; i++) {
        if (glyphs[i])
            continue;
        int32_t glyph = SpacesFont_glyphOf(codes[i]);
        if (glyph < 0)
            continue;
        glyphs[i] = uint16_t(glyph);
        tags[i] = uint8_t((tags[i] & ~7u) | (sourceTag & 7));
        --*remaining;
    }
    return Res_ok;
}

int SpacesFont_metrics(FontFace *, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
                       const uint8_t *tags, uint16_t *first, uint16_t *advances)
{
    for (uint32_t i = 0; i < n; i++)
        if ((tags[i] & 7) == runTag) {
            first[i] = 0;
            advances[i] = SpacesFont_advanceOf(glyphs[i]);
        }
    return Res_ok;
}

int SpacesFont_outline(FontFace *, uint16_t, GlyphPath **out)
{
    return GlyphPath_create(out, GlyphPath_kindCodes);
}
