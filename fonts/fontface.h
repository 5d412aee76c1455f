// Font faces and the records around them.
//
// A font face is one typeface of one font file as the font engine opened
// it: its reader over the file, its lazily loaded tables, its metrics and
// the operations through which text layout maps characters to glyphs,
// asks advances and fetches outlines. The face record and the small
// routines that create, default and release it (fonts/fontsupport.h)
// come before the font engine itself; the fields the engine alone uses are
// its own and are added here as it is built.
//
// Also here: the table directory of an open TrueType or font-pack file,
// the advance-width table of the engine's font packs, the font-pack
// operations table, the loaded character-map record and the encoding
// handler record, and the fonts subsystem's services that the support
// routines call.
#pragma once

#include <cstddef>
#include <cstdint>

struct BufStream;
struct EngineContext;
struct FontFace;
struct GlyphPath;

// ------------------------------------------------------------ operations

// Frees a face instead of Font_faceRelease's own free.
typedef void (*FontFaceDestroyFn)(FontFace *face);
// Called with the face's close argument when the face is released.
typedef void (*FontFaceCloseFn)(void *closeArg);
// Glyph location: *offset = the glyph's offset within the 'glyf' table. 0
// or an error (*offset 0).
typedef int (*FontLocateGlyphFn)(FontFace *face, uint16_t glyph, uint32_t *offset);
// Advances of a run (FontPack_getAdvances has this form): for each i below
// n whose tags[i] has its low 3 bits equal to runTag, zero[i] (the side
// bearing, 0 where a font has none) and advance[i] in 1/16384 em.
typedef int (*FontAdvanceFn)(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                             const uint8_t *tags, uint16_t *zero, uint16_t *advance);
// Map: for each i below n whose glyphs[i] is still 0, looks codes[i] up;
// a hit stores the glyph, puts sourceTag into the low 3 bits of tags[i]
// (the upper 5 bits kept) and counts *remaining down; the walk stops when
// it reaches 0.
typedef int (*FontMapFn)(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                         uint16_t *glyphs, uint8_t *tags, uint32_t *remaining);
// Kerning: for each neighbouring pair of positions whose tags both carry
// runTag in their low 3 bits, adds the pair's kerning to the first one's
// advance (1/16384 em).
typedef int (*FontKerningFn)(FontFace *face, const uint16_t *glyphs, uint32_t n, uint32_t runTag,
                             const uint8_t *tags, uint16_t *advance);
// Outline of a glyph: *out = a new outline, the caller's.
typedef int (*FontOutlineFn)(FontFace *face, uint16_t glyph, GlyphPath **out);
// The two glyph-substitution slots (filled only by optional layout
// operations). Slot A's default stores 0 through out; slot B's answers 0.
typedef int (*FontFaceSlotAFn)(FontFace *face, void *args, uint32_t *out);
typedef int (*FontFaceSlotFn)(FontFace *face, void *args);

// ------------------------------------------------------- table directory

// The tables a TrueType or font-pack file may carry that the engine reads,
// in the sorted order of their tags ("GDEF" < "GSUB" < ... < "sloc").
enum : uint32_t {
    FontTable_GDEF,
    FontTable_GSUB,
    FontTable_OS2,
    FontTable_cmap,
    FontTable_ffhm,
    FontTable_ffst,
    FontTable_glyf,
    FontTable_head,
    FontTable_hhea,
    FontTable_hmtx,
    FontTable_kern,
    FontTable_loca,
    FontTable_maxp,
    FontTable_name,
    FontTable_sloc,
    FontTable_count,
};

struct FontTableEntry {
    uint32_t offset; // in the file
    uint32_t length; // 0 when the table is absent
};

// The table directory of an open file (the face's "table record"): each
// known table's offset and length, and what the open read from the small
// fixed tables. Metrics marked scaled are in 1/16384 em.
struct FontTableDir {
    uint32_t tableCount; // entries in the file's directory
    FontTableEntry tables[FontTable_count];
    uint32_t cmapSubtable;    // the chosen character-map subtable, from the start of 'cmap'
    uint32_t kernStart;       // the kept 'kern' subtable's pairs header (0: none kept)
    uint32_t kernLength;      // its length past the 6-byte subtable header
    int16_t headBox[4];       // 'head' xMin, yMin, xMax, yMax (font units)
    int16_t indexToLocFormat; // 0: 16-bit 'loca' offsets, else 32-bit
    uint16_t maxPoints;       // 'maxp' maxima
    uint16_t maxContours;
    uint16_t maxCompositePoints;
    uint16_t maxCompositeContours;
    uint32_t advanceWidthMax; // 'hhea', scaled
    int32_t minLeftSideBearing;
    int32_t minRightSideBearing;
    int32_t xMaxExtent;
    uint16_t numberOfHMetrics; // raw
    uint16_t packSetting1;     // font packs: the 'ffst' coding settings (defaults 2 and 10)
    uint16_t packSetting2;
    void *fontData; // a font data block the face owns (null: none)
};

// ------------------------------------------------------------- the face

enum : uint32_t {
    FontFace_sharesParent = 0x1, // flags: reads the parent's file and shares its loaded tables,
                                 // which stay the parent's
};

// Face kinds (the first creation word) that other subsystems tell apart.
enum : uint32_t {
    FontFace_kindEmbeddedTrueType = 48, // a TrueType font embedded in a document
    FontFace_kindFontPack = 49,         // one of the engine's font packs (a scalable outline font)
    FontFace_kindEmbedded = 50,         // a font built from a document's font program
    FontFace_kindWidthOverride = 51,    // stands for its parent face with other widths
    FontFace_kindSynthesis = 52,        // draws its parent, measures with standard metrics
    FontFace_kindSpaces = 53,           // the engine's own face of space characters
};

enum : int32_t {
    FontFace_unset = 0x7FFFFFFF, // a metric not known yet
    FontFace_metricCount = 5,
};

// Head flag bit 1: the glyphs' left edges already sit where the metrics
// say, so the loader makes no alignment.
enum : uint16_t { FontFace_headNoAlign = 0x2 };

struct FontPackWidths;

// A code-conversion hook of a font made from a document: hook(table,
// codes, count) rewrites a run's 16-bit codes in place into the text they
// stand for; release frees the table with the face.
typedef void (*FontCodeHookFn)(const void *table, uint16_t *codes, uint32_t count);
typedef void (*FontCodeHookReleaseFn)(void *table);
struct FontCodeHook {
    void *table;
    FontCodeHookFn hook;
    FontCodeHookReleaseFn release;
};

struct FontFace {
    FontFace *parent;          // holds one reference on it (Font_faceRetain)
    BufStream *reader;         // the font file's reader
    uint32_t refCount;         // references; the last Font_faceRelease frees the face
    FontFaceDestroyFn destroy; // frees the face instead of Font_faceRelease (null: Mem_free)
    // The font engine's: glyph location and the lazily loaded tables.
    FontLocateGlyphFn locateGlyph; // the slot TtFont_locateGlyph
    void *mapData;                 // loaded character map (FontMapData)
    void *metricsData;             // loaded horizontal metrics
    void *locationData;            // loaded glyph locations
    void *kerningData;             // loaded kerning pairs
    FontTableDir *tables;          // table directory
    void *glyphOffsets;            // font-pack glyph-offset table, loaded on demand
    FontPackWidths *widths;        // font-pack width table, loaded on demand
    EngineContext *source;         // the engine the face reads its file through
    uint32_t kind;                 // creation word 1: the face kind (48 an embedded TrueType
                                   // font, 50 the other embedded font form)
    uint32_t mapRank;              // the chosen character map's rank (taken from the parent)
    uint32_t creationWord2;        // creation word 2
    char *name;                    // heap string, may be null
    uintptr_t styleWord;           // taken from the parent
    uint16_t headFlags;            // the four 16-bit values taken from the parent:
    uint16_t unitsPerEm;           //   'head' flags, units per em,
    uint16_t glyphCount;           //   and the glyph count,
    uint16_t glyphCountCopy;       //   kept twice
    uint32_t flags;                // FontFace_sharesParent
    int32_t lineGap;               // cleared by Font_faceFillDefaults
    // Underline position, underline thickness, a third line value, then
    // the ascent and descent: the top and bottom of the line extent (top
    // above bottom); FontFace_unset until known.
    int32_t metrics[FontFace_metricCount];
    int32_t avgCharWidth;      // 'OS/2' xAvgCharWidth, raw
    uint32_t unicodeRanges[4]; // 'OS/2' ulUnicodeRange1-4
    int32_t box[4];            // bounding box x0, y0, x1, y1
    FontOutlineFn outline;     // null: no outlines
    FontMapFn map;             // characters to glyphs (null: maps nothing)
    FontFaceSlotAFn slotA;     // the two substitution operations
    FontFaceSlotFn slotB;
    FontAdvanceFn advance;  // the metrics operation (set by the font engine)
    FontKerningFn kerning;  // default: no kerning
    void *closeArg;         // client data (an embedded font's data record,
                            // EmbFontData)
    uintptr_t clientWord;   // client word
    FontFaceCloseFn close;  // client release: called with closeArg when the face is released
    FontCodeHook *codeHook; // code conversion of a document's font (null: none)
};

// ------------------------------------------------------- font-pack widths

// The advance widths of a font pack's 'ffhm' table, in memory. codes and
// advances share one block of 4 x count bytes (null when count is 0), the
// advances right behind the codes.
struct FontPackWidths {
    uint32_t version;
    uint32_t count;
    uint16_t defaultAdvance; // font units
    uint16_t second;         // the second header value (kept, not used by the metrics)
    uint16_t *codes;         // ascending
    uint16_t *advances;      // font units, one per code
};

// The operations of the engine's font packs, in this order.
struct FontPackOps {
    // 0: builds the outline of a font-pack glyph (FontPack_glyphOutline).
    int (*glyphOutline)(FontFace *face, uint16_t glyph, GlyphPath **out);
    // 1: the glyph's data position (FontPack_glyphDataPos).
    int (*glyphDataPos)(FontFace *face, uint16_t glyph, uint32_t *position);
    // 2: advance widths (FontPack_getAdvances).
    FontAdvanceFn advances;
    // 3: reads the pack's settings (FontPack_readHeader).
    int (*readHeader)(FontFace *face, BufStream *reader, FontTableDir *tables);
    // 4: frees the width table (FontPack_freeWidths).
    int (*freeWidths)(FontFace *face);
    // 5: frees the glyph-offset table (FontPack_freeGlyphOffsets).
    int (*freeGlyphOffsets)(FontFace *face);
};

// --------------------------------------------------------- character maps

// Frees a map handler's loaded table.
typedef void (*FontMapFreeFn)(void *data);

// A face's loaded character map.
struct FontMapData {
    uint32_t format; // the subtable's format number
    FontMapFreeFn free;
    void *data; // the format's table (format 0: 256 glyph bytes)
};

// What a map handler's load operation gets: the record to fill and the
// reader windowed on the subtable (past its 6-byte header).
struct FontMapRequest {
    FontMapData *target;
    BufStream *reader;
    uint32_t format;
    uint32_t length;
    uint32_t language;
};

typedef int (*FontMapLoadFn)(FontMapRequest *request);

// A character-map handler: the single-byte encoding (format 0) fills one.
struct SingleByteEncoding {
    FontMapFn map;         // 0: maps codes to glyphs through the loaded table
    FontMapLoadFn load;    // 1: loads the table
    FontMapFreeFn release; // 2: frees the loaded table
};

// The head of the data record of an embedded font of kind 50, the close
// argument of its face: the rest belongs to the font engine.
struct EmbFontData {
    int32_t first;
    int32_t queryWord; // what EmbFont_queryWord answers for the font
};

// ------------------------------------- services of the fonts subsystem

// Font-pack operations of the font engine (slots 1, 3 and 5 of
// FontPackOps; the outline, slot 0, is graphics/glyphpath.h's).
//
// The glyph location of a font-pack glyph from 'sloc' (loaded on first
// use, shared with the parent of a face that shares its file): the
// segment's base plus its span shared out over its glyphs, less the
// glyph's correction byte. A glyph outside the segments lies at 0. 0, 1,
// or the reader's error (*position 0).
[[nodiscard]] int FontPack_glyphDataPos(FontFace *face, uint16_t glyph, uint32_t *position);
// The per-font set-up: the coding settings from 'ffst' (defaults 2 and 10)
// into tables. A pack whose 'ffhm' is not version 1.x, or whose 'sloc'
// has a segment of fewer than two glyphs or out of order, is refused with
// 2309. 0 or the reader's error.
[[nodiscard]] int FontPack_readHeader(FontFace *face, BufStream *reader, FontTableDir *tables);
// Frees the face's glyph-location record. 0.
int FontPack_freeGlyphOffsets(FontFace *face);

// The embedded-font routines behind EmbFont_queryWord and EmbFont_forward:
// the TrueType side's query word of a kind-48 face, and the kind-48 and
// kind-50 forwarded operation (three arguments, its own result).
int32_t EmbeddedTrueType_queryWord(FontFace *font);
int EmbeddedTrueType_forward(FontFace *font, uintptr_t a, uintptr_t b, uintptr_t c);
int EmbeddedFont_forward(FontFace *font, uintptr_t a, uintptr_t b, uintptr_t c);
