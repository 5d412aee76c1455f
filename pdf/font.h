// PDF fonts: font dictionaries turned into font selections for the text
// operators, the encodings that turn string bytes into characters, the
// glyph-name table and ToUnicode maps.
//
// What is learnt from a font dictionary is cached on the dictionary under
// the internal key "/NativeFont" (a key no document can spell), so that
// selecting the same font again loads nothing. Fonts that are not embedded
// are drawn with substitutes found by their BaseFont name and style; the
// document's widths then ride on a width-override face over the
// substitute, which the document owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fonts/glyphnames.h"

struct CMap;
struct FontList;
struct PdfDoc;
struct PdfObj;
struct PdfGlyphNameList;
struct PdfType3Font;
struct PdfToUnicode;

enum : uint32_t {
    PdfFont_nameLength = 256,
    PdfFont_styleInitial = 4099, // style flags before a name is parsed
    PdfFont_keywordNormal = 103,
    PdfFont_keywordSmallCaps = 127,
    PdfFont_keywordItalic = 79,
    PdfFont_keywordOblique = 105,
    PdfFont_keywordWeightBase = 22, // + the weight class 0-8
    PdfFont_firstPrivateCode = 0xFD00,
};

// The kinds of substitute a font's name or descriptor flags ask for.
enum : uint32_t {
    PdfFont_genericNone = 0,
    PdfFont_genericSerif = 1,
    PdfFont_genericSans = 2,
    PdfFont_genericFixed = 3,
    PdfFont_genericMask = 0xFF,
    PdfFont_flagItalic = 0x100,
    PdfFont_flagBold = 0x200,
};

// How codes become Unicode.
enum : uint32_t {
    PdfEnc_none = 0,
    PdfEnc_program = 1, // the font program's own mapping: codes unchanged
    PdfEnc_cmapSubstitute = 2,
    PdfEnc_cmapEmbedded = 3,
    PdfEnc_standard = 4,
    PdfEnc_winAnsi = 5,
    PdfEnc_macRoman = 6,
    PdfEnc_zapfDingbats = 7,
    PdfEnc_symbol = 8,
    PdfEnc_table = 9,        // the font's own 256-entry table
    PdfEnc_unsupported = 10, // a composite font without a usable CMap
};

// What a font dictionary gave; shared by the dictionary's tag and every
// selection made from it.
struct PdfNativeFont {
    uint32_t refs;
    char faceName[PdfFont_nameLength];
    uint32_t engineFontMade;
    uint32_t encoding;
    CMap *cmap;
    uint16_t table[256];
    PdfGlyphNameList *glyphNames;
    uint32_t styleFlags, weight, variant, style;
    PdfToUnicode *toUnicode; // the font's "ToUnicode" map, or null
    uint16_t *cidText;       // composite fonts: the embedded program's character by CID, or null
    uint32_t cidTextCount;
    uint32_t
        generic; // PdfFont_generic* the descriptor's flags ask for, | PdfFont_flagItalic, _flagBold
    uint32_t drawsByCode; // 1: an embedded TrueType program without a Unicode character map
    uint32_t textTable;   // 1: kind 1 with an encoding: table holds what the codes read as
    uint32_t collection;  // 1: the CMap's table is a character collection's (by CID)
};

// The current font of a graphics-state level.
struct PdfFontSel {
    FontList *fonts;
    char *names; // comma-separated family names, or null
    uint32_t styleFlags;
    uint32_t weight;
    uint32_t variant;
    uint32_t style;
    PdfNativeFont *native; // a reference, or null
    PdfType3Font *type3;   // the dictionary's Type 3 record, or null
};

// Selects the font of a font dictionary: *out a new selection (null on
// failure). Unsupported subtypes record 5970 as the document's deferred
// error and still get a substitute. 0, 1, a getter's error, 5974, 5976.
[[nodiscard]] int Pdf_Font_select(PdfDoc *doc, PdfObj *fontDict, PdfFontSel **out);
// Frees a selection (null allowed).
void Pdf_Font_release(PdfFontSel *sel);
// The family names and style words of a BaseFont name (null: none) into
// sel (and native, when given). The second name is the text before a
// dash, or, for a family the engine knows by another name, the engine's
// family of that kind ("Times", "Helvetica", "Courier"): by the name
// (TimesNewRomanPSMT, Georgia, ...), else by native's generic kind.
[[nodiscard]] int Pdf_Font_nameFromBaseFont(const char *baseFont, PdfFontSel *sel,
                                            PdfNativeFont *native);
// Records in native the substitute kind and style that a font
// descriptor's "Flags" ask for (FixedPitch 1, Serif 2, Italic 64,
// ForceBold 0x40000); names that say nothing of them take them
// (Pdf_Font_nameFromBaseFont). 0 or a getter's error.
[[nodiscard]] int Pdf_Font_readFlags(PdfDoc *doc, PdfObj *descriptor, PdfNativeFont *native);
// Loads a simple font (kind 1 Type1, 2 MMType1, 3 TrueType).
[[nodiscard]] int Pdf_Font_loadSimple(PdfDoc *doc, PdfObj *fontDict, PdfFontSel *sel,
                                      uint32_t kind);
// Loads a composite (Type0) font.
[[nodiscard]] int Pdf_Font_loadType0(PdfDoc *doc, PdfObj *fontDict, PdfFontSel *sel);
// Puts the document's widths of the font on a width-override face over
// the substitute (simple fonts: Widths, FirstChar, LastChar, MissingWidth;
// composite fonts: the descendant's W and DW).
[[nodiscard]] int Pdf_Font_applyWidths(PdfDoc *doc, PdfObj *fontDict, PdfFontSel *sel);

// The width of count characters in sel's first font at size (text space
// units, the font size) with character and word spacing (text space),
// in text space units x 65536 into *width. 0 or the measurement's error.
[[nodiscard]] int Pdf_Font_measureWidth(PdfFontSel *sel, float size, float charSpacing,
                                        float wordSpacing, const char16_t *chars, uint32_t count,
                                        int64_t *width);

// ------------------------------------------------------------ encodings

// The glyph-name table, the base encodings and glyph-name lists:
// fonts/glyphnames.h.
// The Unicode value of a byte code under the record's encoding (0 when it
// has none).
uint16_t Pdf_Font_codeToUnicode(const PdfNativeFont *native, uint32_t code);
// True for the two symbolic base-14 names ("Symbol", "ZapfDingbats"), also
// after a subset prefix and with a style or maker's suffix ("SymbolMT",
// "Symbol,Bold", "ZapfDingbatsITC"), with *kind their built-in encoding.
bool Pdf_Font_isSymbolicName(const char *baseFont, uint32_t *kind);
// The font's ToUnicode map read into *map (a new table of 256 values the
// caller frees). 0 with *map null when the font has none or it cannot be
// read; 1 when out of memory or a getter's error.
[[nodiscard]] int Pdf_Font_readToUnicodeMap(PdfDoc *doc, PdfObj *fontDict, uint16_t **map);
// The text of a string for the font: *out a new zero-terminated 16-bit
// string of *count units (the caller frees it). Simple fonts give one
// unit per byte (a code without a value gives U+FFFD); composite fonts
// decode through their CMap ("?" when that fails). 0 or 1.
[[nodiscard]] int Pdf_Font_decodeString(PdfDoc *doc, const PdfFontSel *sel, const uint8_t *bytes,
                                        size_t length, char16_t **out, uint32_t *count);
// For a simple font, the codes of the string as Pdf_Font_decodeString
// gives them, written into out (length + 1 units, zero-terminated) with no
// allocation: true; false (nothing written) for other fonts.
bool Pdf_Font_decodeSimpleInto(const PdfFontSel *sel, const uint8_t *bytes, size_t length,
                               char16_t *out);
// Builds the encoding of a simple font from its "Encoding" (a name or a
// dictionary with BaseEncoding and Differences) into native. kind as for
// Pdf_Font_loadSimple; baseFont the BaseFont name or null. 0, 5974 or a
// getter's error.
[[nodiscard]] int Pdf_Font_buildEncoding(PdfDoc *doc, PdfObj *encoding, uint32_t kind,
                                         const char *baseFont, PdfNativeFont *native);

// ------------------------------------------------------- text of strings
//
// The codes a string draws with and the text it reads as differ: runs
// carry both. The text comes from the first of: the font's "ToUnicode"
// map; for simple fonts the character its encoding names; for composite
// fonts the character collection's table by CID; and only then a private
// use character for the code.

enum : uint32_t {
    PdfFont_privateText = 0xE000, // the first private use character of the fallback
    PdfFont_privateTextCount = 6400,
};

// The font's "ToUnicode" stream read into *out (null when the font has
// none or it cannot be read). 0 or 1.
[[nodiscard]] int Pdf_Font_readToUnicode(PdfDoc *doc, PdfObj *fontDict, PdfToUnicode **out);
// The character a glyph name spells ("uniXXXX", "uXXXX" with four to six
// hex digits, within the 16-bit range), or 0.
uint16_t Pdf_Font_glyphNameSpelled(const char *name);
// The text of a string shown with the selection: *out a new
// zero-terminated 16-bit string of *count units (the caller frees it). 0
// or 1.
[[nodiscard]] int Pdf_Font_stringText(PdfDoc *doc, const PdfFontSel *sel, const uint8_t *bytes,
                                      size_t length, char16_t **out, uint32_t *count);
// The characters of a TrueType program's Unicode character map by CID:
// through cidToGid (mapLength bytes of big-endian glyph indices by CID) or,
// when null, CID = glyph. *out null (and 0) when the program has no such
// map. 0 or 1.
[[nodiscard]] int Pdf_Font_programCidText(const uint8_t *font, size_t size, const uint8_t *cidToGid,
                                          size_t mapLength, uint16_t **out, uint32_t *count);
// True when a TrueType program has a Unicode character map ((3,1),
// (3,10) or a Unicode platform subtable): without one its glyphs are
// found by the codes themselves, never through character names.
bool Pdf_Font_programHasUnicodeMap(const uint8_t *font, size_t size);
// Reads the text table and ToUnicode map of a Type 3 font into its
// record. 0, 1 or a getter's error.
[[nodiscard]] int Pdf_Type3_readText(PdfDoc *doc, PdfObj *fontDict, PdfType3Font *font);

// ------------------------------------------------ embedded font programs
//
// A font made from a program is registered with the font engine under a
// name no document can spell, recorded in the document (which unregisters
// it when it closes) and named in the native record, whose
// engineFontMade becomes 1. A program that cannot be loaded leaves the
// font to its substitute: only getter errors and running out of memory
// are reported.

struct EmbeddedFont;
struct FontFace;

// "FontFile3" (CFF) or else "FontFile" (Type 1) of a simple font's
// descriptor (null allowed). A program's own encoding becomes the record's
// table (kind 9); without a program, BaseFont ZapfDingbats or Symbol set
// kinds 7 or 8.
[[nodiscard]] int Pdf_FontProg_loadType1(PdfDoc *doc, PdfObj *fontDict, PdfObj *descriptor,
                                         PdfNativeFont *native);
// "FontFile2" of a TrueType font: any program present makes the kind 1.
// *face (null when none was made) is a reference for the caller.
[[nodiscard]] int Pdf_FontProg_loadTrueType(PdfDoc *doc, PdfObj *fontDict, PdfObj *descriptor,
                                            PdfNativeFont *native, int hasEncoding,
                                            FontFace **face);
// The descendant's "FontFile3", else "FontFile2", of a composite font with
// a CMap; a program loaded makes the kind 3.
[[nodiscard]] int Pdf_FontProg_loadComposite(PdfDoc *doc, PdfObj *descendant,
                                             PdfNativeFont *native);
// Reads a simple font's "ToUnicode" into a hook on face (null: nothing)
// that turns the codes of its runs into the map's text. An unreadable map
// installs nothing. 0, 1 or a getter's error.
[[nodiscard]] int Pdf_FontProg_hookToUnicode(PdfDoc *doc, PdfObj *fontDict,
                                             const PdfNativeFont *native, FontFace *face);
// The glyph-to-code table of a TrueType CID font: without a CIDToGIDMap
// (null), glyph g of glyphCount gets g + 1; with one (length bytes of
// big-endian glyph indices by CID), the table spans the largest glyph + 1
// and glyph GID(c) gets c + 1, a later CID winning. Codes stop at 65535.
// *table is null when empty. 0 or 1.
[[nodiscard]] int Pdf_FontProg_glyphCodeTable(const uint8_t *cidToGid, size_t length,
                                              uint32_t glyphCount, uint16_t **table,
                                              uint32_t *count);

// ------------------------------------------------------------ Type 3 fonts

// A Type 3 font, cached on its dictionary under "/NativeType3".
struct PdfType3Font {
    int32_t firstCode;
    int32_t lastCode;
    float matrix[6];
    float *widths;           // lastCode - firstCode + 1, glyph space
    PdfObj **procedures;     // the same count; null where a code has none
    PdfObj *resources;       // the font's "Resources", or null
    uint16_t *textTable;     // 256 characters by code from the glyph names, or null
    PdfToUnicode *toUnicode; // the font's "ToUnicode" map, or null
};

// Reads a Type 3 font dictionary and attaches the record to it (the
// dictionary owns it). 5971 for a code range outside 0-255 or reversed;
// getter errors.
[[nodiscard]] int Pdf_Type3_parse(PdfDoc *doc, PdfObj *fontDict, PdfType3Font **out);
void Pdf_Type3_free(PdfType3Font *font);
// Reads "Resources" into the record.
[[nodiscard]] int Pdf_Type3_readResources(PdfDoc *doc, PdfObj *fontDict, PdfType3Font *font);
// The record cached on a dictionary, or null.
PdfType3Font *Pdf_Type3_cached(PdfObj *fontDict);

// Loads a Type 3 font: its glyph procedures draw the text. A font that
// cannot be read is not selected (the error is returned).
[[nodiscard]] int Pdf_Font_loadType3(PdfDoc *doc, PdfObj *fontDict, PdfFontSel *sel);

// ------------------------------------------------- code-conversion hooks
//
// Engine fonts made from a document's font programs call a hook on the
// 16-bit codes of a run before mapping them to glyphs; each hook rewrites
// the codes in place through its table.

// A table of count {key, value} pairs of 16-bit values sorted by key.
struct PdfCodePairs {
    uint32_t count;
    uint32_t *pairs; // key << 16 | value, in the same block
};

// Codes found among the pairs (a PdfCodePairs) become their values; the
// others stay.
void Pdf_Font_hookBySortedPairs(const void *table, uint16_t *codes, uint32_t count);
// Codes found among the pairs become their values; the others become 32.
void Pdf_Font_hookByCountedPairs(const void *table, uint16_t *codes, uint32_t count);
// Every code c becomes the CMap table's value for c (CMap_mapCode).
void Pdf_Font_hookByCMap(const void *table, uint16_t *codes, uint32_t count);
// Frees a PdfCodePairs (null allowed).
void Pdf_Font_freeCodePairs(PdfCodePairs *pairs);
// The 256 pairs of a simple font's ToUnicode table (65536 entries): code 0
// keyed 0, codes 1-255 keyed by the unit that decoding the byte gives under
// the record's encoding, each valued by the ToUnicode entry of the code;
// sorted by key. 0 or 1.
[[nodiscard]] int Pdf_Font_simpleToUnicodePairs(const PdfNativeFont *native,
                                                const uint16_t *toUnicode, PdfCodePairs **out);
// The pairs of a composite font's count codes (the engine font's codes by
// glyph index): each nonzero code k valued by CMap_mapCode(cmapTable, k),
// a zero code by 0; sorted by key. Null and 0 without a CMap table; 1
// when memory runs out.
[[nodiscard]] int Pdf_Font_compositeCodePairs(const uint16_t *codes, uint32_t count,
                                              const uint16_t *cmapTable, PdfCodePairs **out);
