// CFF font programs embedded in PDF documents ("FontFile3"): the reader of
// one program and the building of an engine font from it, glyph by glyph.
//
// Name-keyed fonts key each glyph by a character code: the Unicode value
// of its standard glyph name, or a private code handed out by the font's
// glyph-name list for names the glyph list lacks. CID-keyed fonts key each
// glyph by CID + 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fonts/programs/cff.h"

struct ByteStream;
struct EngineContext;
struct EmbeddedFont;
struct PdfGlyphNameList;

enum : int {
    PdfCff_dataEnded = 3328,
    PdfCff_noCharStrings = 3340,
    PdfCff_noCharset = 3341,
    PdfCff_readFailed = 3344,
    PdfCff_fdNoPrivate = 3356,
    PdfCff_noPrivate = 3357,
    PdfCff_noGlyphNames = 3371,
};

// How Pdf_Cff_buildFont keys glyphs: by SID, by code (a CID-keyed font's
// CID + 1 mapped through the registry's CMap), or by CID + 1 alone (the
// glyphs of a composite font; a name-keyed program there keys glyph i by
// i + 1).
enum : uint32_t {
    PdfCff_modeSid = 0,
    PdfCff_modeCode = 1,
    PdfCff_modeCid = 2,
};

struct PdfCffProgram {
    ByteStream *source;
    CffIndex names, topDicts, strings, globalSubrIndex;
    uint32_t offSize;
    FontFileEntry *globalSubrs;
    uint32_t globalCount;
    char **nameList; // loaded on first use
    uint32_t nameCount;
};

// One font dictionary's private values for the charstring interpreter.
struct PdfCffPrivate {
    CffTopDict *fontDict; // an FDArray entry's own dictionary (null: the Top DICT's)
    FontFileEntry *localSubrs;
    uint32_t localCount;
    Type2Context context;
};

// Opens the program held by source (not owned): the header, the four
// INDEXes and every global subroutine. 0, 1, 3328, 3344 or an INDEX
// error; nothing stays allocated on failure.
[[nodiscard]] int Pdf_Cff_open(ByteStream *source, PdfCffProgram **out);
void Pdf_Cff_close(PdfCffProgram *program);
// The font names (NUL-terminated copies owned by the program).
[[nodiscard]] int Pdf_Cff_loadNames(PdfCffProgram *program, char ***names, uint32_t *count);
// The custom string of a SID of 391 and up: a new copy (Mem_free). 3361
// for a standard SID, 3362 beyond the String INDEX, 3363 unreadable.
[[nodiscard]] int Pdf_Cff_stringForSid(PdfCffProgram *program, uint32_t sid, char **out);
// The data of every entry of index, one block each. 0, 1 or 3344.
[[nodiscard]] int Pdf_Cff_loadIndexEntries(ByteStream *source, const CffIndex *index,
                                           FontFileEntry **entries, uint32_t *count);
// Builds and registers the engine font of font index fontIndex. With
// encoding given, a name-keyed font's 256-entry code table (Mem_free) is
// returned there. 0 or an error; the font is the caller's reference.
[[nodiscard]] int Pdf_Cff_buildFont(EngineContext *engine, PdfCffProgram *program,
                                    uint32_t fontIndex, PdfGlyphNameList *names,
                                    EmbeddedFont **font, uint16_t **encoding, uint32_t mode);
// Interprets one charstring and adds its outline to font under key.
[[nodiscard]] int Pdf_Cff_addGlyph(uint16_t key, const uint8_t *charstring, uint32_t length,
                                   const PdfCffPrivate *priv, EmbeddedFont *font);
