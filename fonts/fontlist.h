// Font lists as text reads them.
//
// A font list is what a text style resolves to: up to eight fonts tried in
// order for every character, the scales and base matrix of the style, and
// the buffer in which text runs build their character tables. Text
// measuring and drawing (fonts/textrun.h) read these fields and call
// each font's operations; the font engine fills them.
//
// Glyph units are 1/16384 em: ascents, descents, decoration positions,
// thicknesses and advances are given in them.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/task/lock.h"

struct FontList;
struct GlyphPath;
struct LruArena;
struct LruCache;

enum : uint32_t {
    FontList_maxFonts = 8,
    GlyphKind_zeroWidthMark = 3, // the glyph kind of a mark without advance
};

// The operations of one font of a list, in call order. Each returns 0 or
// an error; font is the font's index in the list.
struct TextFontOps {
    // Maps the characters whose glyph id is still 0 to glyphs: a hit
    // stores the glyph id and the font index in glyphs and fonts and
    // counts *unmapped down.
    int (*map)(FontList *list, uint32_t font, const char16_t *chars, uint32_t n, uint16_t *glyphs,
               uint8_t *fonts, uint32_t *unmapped);
    // *kind = the glyph's kind (GlyphKind_zeroWidthMark for a mark).
    int (*glyphKind)(FontList *list, uint32_t font, uint16_t glyph, uint32_t *kind);
    // Prepares the font for the run's glyphs (before metrics).
    int (*prepare)(FontList *list, uint32_t font, const char16_t *chars, const uint16_t *glyphs,
                   const uint8_t *fonts, uint32_t n);
    // Fills first[i] and advances[i] for the characters of this font.
    int (*metrics)(FontList *list, uint32_t font, const uint16_t *glyphs, uint32_t n,
                   const uint8_t *fonts, uint16_t *first, uint16_t *advances);
    // Adjusts the advances of this font's characters by its kerning (null:
    // none).
    int (*kerning)(FontList *list, uint32_t font, const uint16_t *glyphs, uint32_t n,
                   const uint8_t *fonts, uint16_t *advances);
    // *out = a new outline of the glyph in the font's units (the caller's).
    int (*outline)(FontList *list, uint32_t font, uint16_t glyph, GlyphPath **out);
};

// A text transformer of the first font: rewrites a run's characters (the
// character substitution table of the real font engine).
struct TextTransformer {
    // *run = a run object for the characters, or null for none.
    int (*begin)(TextTransformer *transformer, const char16_t *chars, uint32_t count, void **run);
    // Converts the run into chars, glyphs and fonts (capacity entries
    // each); *count = the converted count, which may exceed capacity (the
    // caller then grows and asks again).
    int (*convert)(void *run, char16_t *chars, uint16_t *glyphs, uint8_t *fonts, uint32_t capacity,
                   uint32_t *count);
    void (*end)(void *run);
};

// Metrics that replace every font's (an override of the style).
struct TextMetricsOverride {
    int (*metrics)(TextMetricsOverride *self, const uint16_t *glyphs, uint32_t n,
                   const uint8_t *fonts, uint16_t *first, uint16_t *advances);
};

struct TextFont {
    const TextFontOps *ops;
    void *font;                  // the font engine's record
    uintptr_t cacheId;           // the owner id of the font's cached outlines and masks
    uint32_t kind;               // 48 and 50: spaces are drawn, no transformer
    int32_t ascent, descent;     // glyph units, descent negative below the baseline
    int32_t upperDecoration;     // overline position (strike-through at a third of it)
    int32_t underlinePosition;   // glyph units, negative below the baseline
    int32_t decorationThickness; // default thickness, glyph units
    int32_t scale;               // 16.16 glyph units per unit of the outline coordinates
    uint32_t wantsMasks;         // 1: glyphs are drawn from cached masks
};

// The record that owns the character-table buffer of the list.
struct FontListOwner {
    uint8_t *charTable;
    uint32_t charTableCapacity; // bytes
};

// The caches of the font engine that drawing text uses.
struct FontCaches {
    LruCache *paths; // glyph outlines as packed paths by (font, glyph)
    LruArena *masks; // glyph masks by (font, glyph, matrix, scale)
};

struct FontList {
    Lock lock;              // held by every measurement and walk
    int32_t hScale;         // 16.16 horizontal scale
    int32_t vScale;         // 16.16 vertical scale
    Matrix baseMatrix;      // applied before the caller's matrix
    int32_t averageAdvance; // glyph units; 0 when the fonts give none
    uint32_t fontCount;
    TextFont fonts[FontList_maxFonts];
    FontListOwner *owner;
    TextMetricsOverride *overrideMetrics; // null: the fonts' own
    TextTransformer *transformer;         // of the first font; null: none
    FontCaches *caches;                   // null: nothing cached
    uint32_t refs;
};

// The metrics of the box font that stands in where a run has no font list:
// every glyph the missing-glyph box (graphics/glyphpath.h) on an em of
// 2048 outline units, one advance for all.
enum : int32_t {
    BoxFont_advance = 12744, // glyph units (GlyphPath_missingAdvance of 16384)
    BoxFont_ascent = 14336,  // 7/8 em
    BoxFont_descent = -2048, // 1/8 em below the baseline
    BoxFont_upperDecoration = 12288,
    BoxFont_underlinePosition = -1600,
    BoxFont_thickness = 800,
    BoxFont_unitsPerEm = 2048,
};
