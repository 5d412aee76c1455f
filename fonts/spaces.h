// The "Spaces" font: the Unicode space characters of fixed em fractions
// and the zero-width characters, which every font list can fall back on
// so that text using them lays out alike whatever its real fonts hold.
// The glyph id of a character is its index in the table below; advances
// are in 1/16384 em (the face's units per em). The operations have the
// forms of a font face's map, metrics and outline operations and read
// nothing of the face.
#pragma once

#include <cstdint>

struct FontFace;
struct GlyphPath;

enum : uint32_t {
    SpacesFont_glyphCount = 12,
    SpacesFont_unitsPerEm = 16384,
    SpacesFont_style = 3,
};

// The face's name.
extern const char SpacesFont_name[];

// The glyph of a character: its index in the table (0 also for code 0),
// or -1 when the table lacks it.
int32_t SpacesFont_glyphOf(uint16_t code);
// A glyph's advance; 0 for glyph 65535 and for glyphs outside the table.
uint16_t SpacesFont_advanceOf(uint16_t glyph);

// Map: for each i below n whose glyphs[i] is still 0, a character of the
// table stores its glyph, puts sourceTag into the low 3 bits of tags[i]
// and counts *remaining down; the walk stops when it reaches 0. A hit on
// code 0 stores glyph 0, which later fonts take as unmapped. 0.
int SpacesFont_map(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                   uint16_t *glyphs, uint8_t *tags, uint32_t *remaining);
// Metrics: for each i below n whose tags[i] carries runTag in its low 3
// bits, first[i] = 0 and advances[i] = the advance of glyph glyphs[i]. 0.
int SpacesFont_metrics(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
                       const uint8_t *tags, uint16_t *first, uint16_t *advances);
// Outline: *out = a new empty outline (spaces draw nothing). 0 or 1.
[[nodiscard]] int SpacesFont_outline(FontFace *face, uint16_t glyph, GlyphPath **out);

struct EngineContext;

// Creates the "Spaces" face and stores it in the context's font engine.
// 0 or 1.
[[nodiscard]] int SpacesFont_create(EngineContext *context);
// Drops the font engine's "Spaces" face.
void SpacesFont_release(EngineContext *context);
