// Character-to-glyph mapping.
//
// A TrueType face or font pack starts with the lazy map as its map
// operation: the first call reads the chosen character-map subtable
// through the handler of its format (the font engine's CmapFormatTable)
// and puts that handler's lookup in its place. Every lookup fills only
// positions still holding glyph 0 (an earlier font of a list may have
// filled the others) and never reads outside the data it loaded; glyph 0
// means "not mapped". Embedded document fonts may get a sorted pair table
// (format 9998) instead.
#pragma once

#include <cstdint>

struct CmapFormatTable;
struct FontEngine;
struct FontFace;

// The lazy map (the FontMapFn form, fonts/fontface.h). A face that shares
// its parent's file takes the parent's loaded map when there is one.
// Otherwise loads the face's chosen subtable and maps through it. 0; 1;
// 2309 for a format the engine does not read (or no format table); the
// reader's errors for a truncated subtable. On failure the face keeps the
// lazy map and no loaded data.
[[nodiscard]] int Cmap_lazyMap(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot,
                               uint16_t *glyphs, uint8_t *tags, uint32_t *remaining);
// Frees the face's loaded map and restores the lazy map; a face without
// loaded data is left alone. Data shared with the parent is only let go.
void Cmap_dropLoaded(FontFace *face);
// The map of faces without a character map: every unfilled position gets
// its code as glyph id and slot in its tag; *remaining becomes 0.
int Cmap_identityMap(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t slot,
                     uint16_t *glyphs, uint8_t *tags, uint32_t *remaining);
// Builds the pair table of an embedded symbol font and makes it the face's
// map: the 512 codes 0-255 and 0xF000-0xF0FF go through the face's map;
// code c (0-255) gets glyph(c), or glyph(0xF000 + c) when that is 0, and
// each code 0xF000 + c keeps its own glyph. A face without 'cmap' is left
// as it is. 0, 1, or the map's error.
[[nodiscard]] int Cmap_buildSymbolPairs(FontFace *face);
// Makes the face's map the pair table of codes (the code of each glyph id,
// n entries, of which at most the face's glyph count are taken; code 0
// means none). Several glyphs with one code all map to the first of them
// (after the first) whose outline is not empty, found through the face's
// glyph-location operation. 0, 1, or the location operation's error.
[[nodiscard]] int Cmap_setCodeTable(FontFace *face, const uint16_t *codes, uint32_t n);
// The number of pairs of a loaded pair table (format 9998) and the code of
// pair i (pairs sorted by code; 0 beyond the count).
uint32_t Cmap_pairCount(const void *table);
uint16_t Cmap_pairCode(const void *table, uint32_t i);

// *out = a new format table with formats 0, 2, 4, 6 and 9998 filled. 0 or 1.
[[nodiscard]] int Cmap_createFormatTable(CmapFormatTable **out);
// Installs format 9999 (the font packs' CJK bitmap) into the engine's
// table; installing it again stores the same handler. 1, or 0 when the
// engine or its table is missing.
int Cmap_installBitmapFormat(FontEngine *engine);
