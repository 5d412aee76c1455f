// Engine fonts built from a document's font program.
//
// An embedded font is a font face of kind 50 whose glyphs are added one by
// one: a code table (character code to glyph index), a metrics table, one
// outline per glyph, and optionally kerning pairs and component outlines
// that glyph outlines reference. Lookups search only the part of a table
// sorted at the last finish, so a glyph added later becomes visible at the
// next finish (the font engine finishes a font when it registers it).
// Glyph 0 is the missing-glyph box until a glyph of code 0 replaces it.
#pragma once

#include <cstdint>

struct EngineContext;
struct FontFace;
struct GlyphPath;

// One glyph table: entries [0, sorted) are searchable, then added ones.
struct EmbeddedTable {
    uint32_t capacity;
    uint32_t sorted;
    uint32_t added;
    void *entries;
};

struct EmbeddedCode {
    uint16_t code;
    uint16_t glyph;
};

struct EmbeddedMetrics {
    uint16_t glyph;
    uint16_t advance;     // 16384ths of an em
    uint16_t sideBearing; // 16384ths of an em
};

struct EmbeddedKern {
    uint32_t key; // first glyph | second glyph << 16
    int32_t adjustment;
};

struct EmbeddedComponent {
    uint32_t id;
    GlyphPath *outline;
};

// The face's close argument: its data record (EmbFontData first).
struct EmbeddedFont {
    int32_t first;
    int32_t queryWord;
    FontFace *face; // the font engine's face of kind 50 (holds this record)
    EngineContext *engine;
    EmbeddedTable codes;       // EmbeddedCode
    EmbeddedTable metrics;     // EmbeddedMetrics
    EmbeddedTable outlines;    // GlyphPath *, by glyph index
    EmbeddedTable *kerning;    // EmbeddedKern (null: none)
    EmbeddedTable *components; // EmbeddedComponent (null: none)
};

enum : uint32_t {
    EmbeddedFont_defaultAdvance = 12744,
    EmbeddedFont_nameLength = 64,
    EmbeddedFont_maxComponentDepth = 16,
};

// *out = a new font of units per em and style: its face (one reference),
// the code, metrics and outline tables and the default glyph. 0 or 1.
[[nodiscard]] int EmbeddedFont_create(EngineContext *engine, const char *name, uint16_t unitsPerEm,
                                      uintptr_t style, EmbeddedFont **out);
// Adds a glyph (the font takes the outline, also on failure). Code 0 with
// a glyph present replaces glyph 0. Side bearing and advance are in font
// units. 0 or 1.
[[nodiscard]] int EmbeddedFont_addGlyph(EmbeddedFont *font, uint16_t code, GlyphPath *outline,
                                        int32_t sideBearing, int32_t advance);
// An empty finished outline entered as glyph code 0.
[[nodiscard]] int EmbeddedFont_addEmptyGlyph(EmbeddedFont *font, int32_t sideBearing,
                                             int32_t advance);
// Creates the kerning table (when missing) and adds a pair. 0 or 1.
[[nodiscard]] int EmbeddedFont_addKerning(EmbeddedFont *font, uint16_t first, uint16_t second,
                                          int32_t adjustment);
// Creates the component table (when missing) and adds a component outline
// (taken by the font, also on failure). 0 or 1.
[[nodiscard]] int EmbeddedFont_addComponent(EmbeddedFont *font, uint32_t id, GlyphPath *outline);
// Shrinks the tables and sorts codes, metrics and kerning pairs; every
// glyph added so far becomes visible. 0 or 1.
[[nodiscard]] int EmbeddedFont_finish(EmbeddedFont *font);
// Drops the face reference (null allowed).
void EmbeddedFont_release(EmbeddedFont *font);
// The embedded font of a face of kind 50, else null.
EmbeddedFont *EmbeddedFont_ofFace(FontFace *face);
// The number of code entries (-1 without a code table) and code i.
int32_t EmbeddedFont_glyphCount(const EmbeddedFont *font);
uint16_t EmbeddedFont_glyphCode(const EmbeddedFont *font, uint32_t i);

// The face's operations.
int EmbeddedFont_mapChars(FontFace *face, const uint16_t *chars, uint32_t n, uint32_t slot,
                          uint16_t *glyphs, uint8_t *flags, uint32_t *remaining);
int EmbeddedFont_getMetrics(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t slot,
                            const uint8_t *flags, uint16_t *sideBearings, uint16_t *advances);
int EmbeddedFont_kern(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t slot,
                      const uint8_t *flags, uint16_t *advances);
[[nodiscard]] int EmbeddedFont_getOutline(FontFace *face, uint16_t glyph, GlyphPath **out);
// The close operation of the face: frees the tables and every outline.
void EmbeddedFont_destroy(void *font);
