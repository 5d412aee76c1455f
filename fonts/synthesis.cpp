// The "Spaces" face of the font engine and standard-metrics faces.
#include "fonts/synthesis.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "fonts/base14.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/spaces.h"
#include "graphics/glyphpath.h"

namespace {

const uint32_t unicodeRank = 62;

Base14Slot *slotOf(FontFace *face)
{
    return static_cast<Base14Slot *>(face->metricsData);
}

// The real face's map; every glyph it gives this font becomes the
// character code itself.
int synthesisMap(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                 uint16_t *glyphs, uint8_t *tags, uint32_t *remaining)
{
    FontFace *real = face->parent;
    if (!real || !real->map)
        return Res_ok;
    int rc = real->map(real, codes, n, sourceTag, glyphs, tags, remaining);
    for (uint32_t i = 0; i < n; i++)
        if (glyphs[i] != 0 && (tags[i] & 7) == (sourceTag & 7))
            glyphs[i] = codes[i];
    return rc;
}

int synthesisAdvance(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                     const uint8_t *tags, uint16_t *first, uint16_t *advances)
{
    Base14Slot *slot = slotOf(face);
    if (!slot || !slot->metrics)
        return Res_ok;
    return slot->metrics(slot, codes, n, runTag, tags, first, advances);
}

int synthesisKerning(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                     const uint8_t *tags, uint16_t *advances)
{
    Base14Slot *slot = slotOf(face);
    if (!slot || !slot->kerning)
        return Res_ok;
    return slot->kerning(slot, codes, n, runTag, tags, advances);
}

// The real face's outline of the glyph its map gives the code.
int synthesisOutline(FontFace *face, uint16_t code, GlyphPath **out)
{
    *out = nullptr;
    FontFace *real = face->parent;
    uint16_t glyph = 0;
    uint8_t tag = 0;
    uint32_t remaining = 1;
    int rc = real && real->map ? real->map(real, &code, 1, 0, &glyph, &tag, &remaining) : Res_ok;
    if (rc != Res_ok)
        return rc;
    if (!real || !real->outline || glyph == 0)
        return GlyphPath_create(out, GlyphPath_kindCodes);
    return real->outline(real, glyph, out);
}

// The face's table lookups have the shapes of a face's operations.
int spacesAdvance(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
                  const uint8_t *tags, uint16_t *first, uint16_t *advances)
{
    return SpacesFont_metrics(face, glyphs, n, runTag, tags, first, advances);
}

} // namespace

const char SynthesisFace_prefix[] = "SynthesisMetrics:";

int SynthesisFace_create(FontFace *real, Base14Slot *slot, FontFace **out)
{
    if (!out)
        return Res_nullInput;
    *out = nullptr;
    if (!real || !slot || !slot->name)
        return Res_nullInput;
    FontFace *face = nullptr;
    int rc = Font_faceCreate(real->source, FontFace_kindSynthesis, 0, real, &face);
    if (rc != Res_ok)
        return rc;
    size_t n = sizeof SynthesisFace_prefix - 1;
    size_t m = strlen(slot->name);
    face->name = static_cast<char *>(Mem_malloc(n + m + 1));
    if (!face->name) {
        Font_faceRelease(face);
        return Res_noMemory;
    }
    memcpy(face->name, SynthesisFace_prefix, n);
    memcpy(face->name + n, slot->name, m + 1);
    face->mapRank = unicodeRank;
    face->metrics[0] = slot->underlinePosition;
    face->metrics[1] = slot->underlineThickness;
    face->metrics[3] = slot->ascender;
    face->metrics[4] = slot->descender;
    for (int i = 0; i < 4; i++)
        face->box[i] = slot->box[i];
    face->metricsData = slot; // the slot belongs to the engine's base-14 record
    face->map = synthesisMap;
    face->advance = synthesisAdvance;
    face->kerning = synthesisKerning;
    face->outline = synthesisOutline;
    *out = face;
    return Res_ok;
}

int SpacesFont_create(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return Res_nullInput;
    FontFace *face = nullptr;
    int rc = Font_faceCreate(context, FontFace_kindSpaces, 0, nullptr, &face);
    if (rc != Res_ok)
        return rc;
    rc = Font_faceSetName(SpacesFont_name, face);
    if (rc != Res_ok) {
        Font_faceRelease(face);
        return rc;
    }
    face->mapRank = unicodeRank;
    face->styleWord = SpacesFont_style;
    face->unitsPerEm = SpacesFont_unitsPerEm;
    face->glyphCount = face->glyphCountCopy = SpacesFont_glyphCount;
    face->map = SpacesFont_map;
    face->advance = spacesAdvance;
    face->outline = SpacesFont_outline;
    Font_faceFillDefaults(face);
    Font_faceRelease(context->fontEngine->spacesFont);
    context->fontEngine->spacesFont = face;
    return Res_ok;
}

void SpacesFont_release(EngineContext *context)
{
    if (!context || !context->fontEngine)
        return;
    Font_faceRelease(context->fontEngine->spacesFont);
    context->fontEngine->spacesFont = nullptr;
}
