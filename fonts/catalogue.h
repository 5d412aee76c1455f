// The font catalogue: the faces installed in the fonts directory, read from
// its font map file and from the font files found there.
#pragma once

#include <cstdint>

struct EngineContext;
struct FontFace;
struct Url;

struct FontCatalogue {
    FontFace **faces; // the installed faces (one reference each)
    uint32_t faceCount;
};

// *out = a new empty catalogue. 0 or 1 (*out null).
[[nodiscard]] int FontCatalogue_create(EngineContext *context, FontCatalogue **out);
// Frees the catalogue with its faces (null allowed).
void FontCatalogue_free(FontCatalogue *catalogue);
// Reads the font map file "map" of the fonts directory into the catalogue;
// a missing file is no failure. 0 or an error.
[[nodiscard]] int FontCatalogue_readMap(EngineContext *context, FontCatalogue *catalogue,
                                        const Url *fontsDir);
// Lists the fonts directory and adds the faces of every font file found.
// 0 or an error (2305 and 2309 end the scan without failing it).
[[nodiscard]] int FontCatalogue_scanDirectory(EngineContext *context, FontCatalogue *catalogue,
                                              const Url *fontsDir);
