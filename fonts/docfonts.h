// Fonts that come with documents.
//
// The font engine keeps every face a document registered in its `fonts`
// array (one reference each) so that the style system finds them by name
// like installed faces. Every such face is named "vexlanEmbedded:<kind
// word>:<address>", a name no document can spell:
//  - embedded TrueType programs (face kind 48), opened from a memory block;
//  - width-override faces (kind 51), which draw with an installed face and
//    measure with the widths a document supplies;
//  - fonts built from a document's font program (kind 50, fonts/
//    embeddedfont.h), only registered here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fonts/fontface.h"

struct EmbeddedFont;
struct EngineContext;
struct FontEngine;
struct FontFace;

// One width of a width-override face, in 16384ths of an em.
struct WidthEntry {
    uint16_t code;
    uint16_t advance;
    uint16_t sideBearing;
};

// The close argument of a width-override face.
struct WidthTable {
    uint32_t count;
    uint32_t capacity;
    WidthEntry defaultEntry;
    WidthEntry *entries; // sorted by code once the face is finished
};

enum : uint32_t {
    WidthTable_start = 256,
    DocFonts_nameLength = 256,
    DocFonts_symbolRank = 61, // the (3, 0) symbol character map
    DocFonts_flagSymbol = 0x4,
};

// Appends face to the engine's fonts (creating the array), taking over
// the caller's reference. The engine's lock must be held. 0 or 1.
[[nodiscard]] int FontEngine_addFont(FontEngine *engine, FontFace *face);
// Finishes an embedded font and appends its face (the array takes one new
// reference). 0; 1; Res_nullInput without a font engine.
[[nodiscard]] int FontEngine_registerEmbedded(EngineContext *engine, EmbeddedFont *font);
// Removes the face from the array (the order of the others kept) and
// releases the array's reference. Null face or no font engine: nothing.
void Font_unregister(EngineContext *engine, FontFace *face);

// Opens an embedded TrueType program of length bytes (an engine heap block
// the face takes on success; the caller's on failure) as a face of kind
// 48 and appends it: *out is the caller's reference. The map of rank
// preferredRank is chosen when present; a symbol map (rank 61) or flag
// bit 2 remaps codes 0-255 to the 0xF0xx symbol area; a program without
// 'cmap' maps every code to the glyph of the same number. 0; 1; the
// errors of the stream layer and of the TrueType reader.
[[nodiscard]] int FontEngine_openEmbeddedTrueType(EngineContext *engine, uint8_t *data,
                                                  size_t length, FontFace **out,
                                                  uint32_t preferredRank, uint32_t flags);
// The glyph count of a face (its numGlyphs); 0 for null.
uint32_t Font_glyphCount(const FontFace *face);
// The number of pairs of the face's code table (-1 when the face or its
// table is missing) and the code of pair i.
int32_t Font_codePairCount(const FontFace *face);
uint16_t Font_codePairCode(const FontFace *face, uint32_t i);

// Installs a code-conversion hook on face (replacing one installed
// before): the face owns table from here, also when this fails (release
// frees it then). 0; 1; Res_nullInput without a face.
[[nodiscard]] int Font_setCodeHook(EngineContext *engine, FontFace *face, void *table,
                                   FontCodeHookFn hook, FontCodeHookReleaseFn release);
// Runs the face's hook over count codes; nothing without one.
void Font_applyCodeHook(const FontFace *face, uint16_t *codes, uint32_t count);

// *out = a new width-override face (kind 51) over the root of parent's
// chain of parent faces, same style word. 0 or 1.
[[nodiscard]] int WidthFace_create(FontFace *parent, FontFace **out);
// Stores the default entry (creating the table). 0 or 1.
[[nodiscard]] int WidthFace_setDefault(FontFace *face, WidthEntry entry);
// Appends every entry with a non-zero advance; nothing when all are 0.
// 0 or 1.
[[nodiscard]] int WidthFace_addWidths(FontFace *face, const WidthEntry *entries, uint32_t n);
// Converts a document width (thousandths of an em) to 16384ths.
uint16_t WidthFace_fromThousandths(int32_t v);
// Names and finishes the face (the table shrunk and sorted) and appends it
// unless it is there already (the array takes one new reference). 0; 1;
// 8 without a font engine.
[[nodiscard]] int FontEngine_finishWidthFace(EngineContext *engine, FontFace *face);
// The close operation of a width-override face: frees the width table.
void WidthFace_release(void *table);
