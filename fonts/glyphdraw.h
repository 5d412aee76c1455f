// Drawing glyphs and text decorations: each glyph of a walk is fetched as
// a cached mask or a cached packed outline path and drawn at the pen;
// decoration lines (underlines, overline, strike-through) are drawn in
// segments along the run.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct DrawTarget;
struct GlyphMask;
struct GlyphWalk;
struct Path;
struct TextFont;

enum : uint32_t {
    Decoration_maxLines = 7,
};

// The decoration lines of a run: their count, thickness and offsets from
// the baseline (document units, y up), and the current segment.
struct DecorationState {
    const TextFont *font;
    int32_t emSize;     // the em in document units
    uint32_t n;         // lines
    int32_t t;          // thickness, document units
    int32_t start, end; // the segment, document units along the run
    int32_t offsets[Decoration_maxLines];
};

// Fetches the walk's glyph (the mask cache when the font wants masks and a
// cache exists, else the path cache, building on a miss) and draws it at the
// walk's pen. 0, Res_pathEmptyArea for a glyph without outline, or an error.
[[nodiscard]] int Glyph_fetchAndDraw(GlyphWalk *walk);
// Draws a glyph object at the walk's pen: a mask (not null) as a mask
// item, else the path through the glyph matrix with 3 sub-pixel bits.
[[nodiscard]] int Glyph_drawAtPen(GlyphWalk *walk, const GlyphMask *mask, Path *path);

// Works out the lines for the style flags (bit 0 underline, count of
// them; bit 1 overline; bit 2 strike-through), at most 7, and the
// thickness (0 or less: the font's). Segment bounds 0.
void Decoration_setup(DecorationState *state, const TextFont *font, int32_t emSize, uint32_t flags,
                      int32_t count, int32_t thickness);
void Decoration_setStart(DecorationState *state, int32_t x);
void Decoration_setEnd(DecorationState *state, int32_t x);
// Draws every line of the current segment through runMatrix (document
// units to pixels) in colour. 0 or an error.
[[nodiscard]] int Decoration_drawSegment(const DecorationState *state, const Matrix *runMatrix,
                                         const DrawTarget *target, uint32_t colour);
