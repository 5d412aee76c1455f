// Glyph names: the table of names with their Unicode values, the five
// base encodings of simple fonts, and the glyph-name lists that give names
// outside the table private codes of their own.
//
// Font programs (Type 1, CFF) name their glyphs; the font readers turn the
// names into 16-bit codes through the table, and a font's own list hands
// every unknown name a code of its own so that glyphs stay apart.
#pragma once

#include <cstdint>

struct PdfGlyphNameEntry {
    const char *name;
    uint16_t value;
};
// The glyph-name table, sorted by name in byte order (a name given twice:
// the first entry is the one that counts).
extern const PdfGlyphNameEntry Pdf_glyphNameTable[];
extern const uint32_t Pdf_glyphNameCount;
// Standard, WinAnsi, MacRoman, ZapfDingbats, Symbol (kinds 4 to 8).
extern const uint16_t Pdf_baseEncodings[5][256];

// A font's glyph-name list: the private codes handed to glyph names that
// the glyph-name table does not know (the next one in nextCode, starting at
// -768, low 16 bits 0xFD00), newest first.
struct PdfGlyphName {
    char *name;
    uint16_t code;
    PdfGlyphName *next;
};
struct PdfGlyphNameList {
    int32_t nextCode;
    PdfGlyphName *head;
};
// *code = the 16-bit code of a glyph name (none: 0); a name without one
// gets a new private code when list is given and allowNew is set, else 0.
// 0 or 1.
[[nodiscard]] int Pdf_Font_glyphNameToCode(PdfGlyphNameList *list, const char *name, int allowNew,
                                           uint16_t *code);

// A new empty glyph-name list (private codes from 0xFD00). 0 or 1.
[[nodiscard]] int Pdf_Font_glyphNamesNew(PdfGlyphNameList **out);
void Pdf_Font_glyphNamesFree(PdfGlyphNameList *list);
// Frees the list's names and starts its private codes again (the record
// itself stays).
void Pdf_Font_glyphNamesClear(PdfGlyphNameList *list);
