// The font catalogue: the faces installed in the fonts directory, read from
// its font map file and from the font files found there, with the family
// fallbacks ("defaults"), the extra names of files ("supplements") and the
// files kept in memory ("buffered") that the map gives.
//
// Every face carries its names as one list separated by ":" and a style
// word (low 4 bits the weight: 1 light, 3 normal, 6 bold, 8 black; 0x100
// italic, 0x200 oblique). The family matcher (fonts/fontmatch.h) searches
// the faces by these names and reads the defaults as its alias table.
#pragma once

#include <cstdint>

#include "fonts/fontmatch.h"

struct EngineContext;
struct FontFace;
struct Url;

enum : uint32_t {
    FontCatalogue_firstCapacity = 4,   // arrays start here and double when full
    FontCatalogue_scanFirst = 32,      // room for listed files, doubled when full
    FontCatalogue_supplementKey = 31,  // characters of a file name compared with supplements
    FontCatalogue_unicodeLimit = 247,  // longest name list whose face counts for "unicode"
    FontCatalogue_collectionRank = 58, // preferred map rank of collection faces
    FontCatalogue_unicodeRank = 62,    // preferred map rank of every other face
};

struct FontCatalogue {
    FontFace **faces; // the installed faces (one reference each)
    uint32_t faceCount;
    uint32_t faceCapacity;
    Url **urls; // the file of each face (owned; null for a face without file)
    // [Defaults]: family name -> comma-separated fallbacks (owned strings).
    FontAlias *defaults;
    uint32_t defaultCount;
    uint32_t defaultCapacity;
    // [Supplements]: file name -> extra names (owned strings).
    FontAlias *supplements;
    uint32_t supplementCount;
    uint32_t supplementCapacity;
    // [Buffered]: file names read whole into memory (owned strings).
    char **buffered;
    uint32_t bufferedCount;
    uint32_t bufferedCapacity;
};

// *out = a new empty catalogue. 0 or 1 (*out null).
[[nodiscard]] int FontCatalogue_create(EngineContext *context, FontCatalogue **out);
// Frees the catalogue: its strings, its URLs, and one reference on each
// face (null allowed).
void FontCatalogue_free(FontCatalogue *catalogue);
// Appends a face with its file (both taken over: on failure the caller
// keeps them). 0 or 1.
[[nodiscard]] int FontCatalogue_addFace(FontCatalogue *catalogue, Url *url, FontFace *face);
// 2307 when the catalogue holds no face (or is null), else 0.
[[nodiscard]] int FontCatalogue_isEmpty(const FontCatalogue *catalogue);
// Reads the font map file "map" of the fonts directory into the catalogue; a
// missing file is no failure. A line whose font file is missing (780),
// unreadable (2305) or unsupported (2309) is skipped. 0; 1; Res_fontMapLine for
// a malformed line (the reading stops there); the file's read errors.
[[nodiscard]] int FontCatalogue_readMap(EngineContext *context, FontCatalogue *catalogue,
                                        const Url *fontsDir);
// Lists the fonts directory (in name order) and adds the faces of every
// TrueType, collection and font-pack file found (font packs only when the
// engine has their operations), each with the supplement of its file
// name; then runs the naming pass over the whole catalogue. A file that
// cannot be read is skipped and the scan goes on; the naming pass always
// runs. 0; 1 (the naming pass still runs); the listing's error when the
// directory cannot be listed (the naming pass still runs).
[[nodiscard]] int FontCatalogue_scanDirectory(EngineContext *context, FontCatalogue *catalogue,
                                              const Url *fontsDir);
// The naming pass: every name list is cut at its first "unicode"; the faces
// with the largest glyph count (among those whose list was at most 247
// characters before the cut) get "unicode"; the first face whose Unicode
// ranges mark a symbol font gets "Symbol", the first marking a dingbat font
// "Wingdings". 0 or 1.
[[nodiscard]] int FontCatalogue_nameFaces(FontCatalogue *catalogue);
// Opens the faces of one font file: one for ".ef1", ".ttf" and ".ffs"
// files, one per entry (at most FontCollection_maxFaces) for ".ttc". faces
// has room for FontCollection_maxFaces; *count the faces made (each with
// one reference, its file closed until used). 0; 1; 780 a missing file;
// 2309 not a font file, or a font pack without the engine's operations;
// 2305 a file that cannot be read as a font. On failure nothing is held.
[[nodiscard]] int FontFile_openFaces(EngineContext *context, const Url *url, FontFace **faces,
                                     uint32_t *count);
