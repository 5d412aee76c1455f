// The Word writer: turns the tree of an open Word document back into a
// Word 97 file inside a new compound file.
//
// The writer rebuilds "WordDocument" (file information block, the text as
// one uncompressed UTF-16 piece at byte 1024, the formatted disk pages of
// character and paragraph runs, the section properties), "1Table" (style
// sheet, section and header tables, bin tables, piece table, font table,
// document properties, field tables) and "Data" (paragraph properties too
// large for a page, inline pictures) from the tree. Every other storage and
// stream of the source file is copied as it is (word/writer/copy.cpp).
//
// List paragraphs are written as Word 97 lists (word/writer/lists.cpp):
// the number a paragraph shows is left to the reader, which counts it
// from the list tables.
//
// Floating shapes keep the source file's drawing data, copied whole; the
// shape anchors and the text-box stories are rebuilt from the tree.
//
// Not written yet: bookmarks.
//
// One walk over the tree (word/writer/walk.cpp) writes the characters and
// records, at the same positions, the character runs, the paragraph runs,
// the sections and the field characters; the runs are laid into pages once
// the end of the text is known. The save driver (word/writer/save.cpp) is
// the document's save hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"
#include "word/reader/word.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct OleHandle;
struct OleStream;
struct StyleRule;
struct Url;
struct WordRootData;
struct WordParaList;
struct WordParaListLevel;

// Result codes of the writer (beside those of core/result.h).
enum : int {
    Res_wordBadIstdNext = 3903, // a style's next-style index above 0x1001
};

enum : uint32_t {
    WordWriter_fibBytes = 1024,
    WordWriter_pageBytes = 512,
    WordWriter_hugePapx = 0x1E8, // a PAPX longer than this goes to "Data"
    WordWriter_userIstd = 15,    // the first user style's index
    WordWriter_maxFieldDepth = 20,
    WordWriter_maxRowCells = 64,
};

// A growable byte buffer.
struct WordBuf {
    uint8_t *data;
    uint32_t length;
    uint32_t capacity;
};

void WordBuf_free(WordBuf *buf);
[[nodiscard]] int WordBuf_append(WordBuf *buf, const void *bytes, uint32_t n);
[[nodiscard]] int WordBuf_u8(WordBuf *buf, uint32_t v);
[[nodiscard]] int WordBuf_u16(WordBuf *buf, uint32_t v);
[[nodiscard]] int WordBuf_u32(WordBuf *buf, uint32_t v);

// A bin table being built: count + 1 FCs and count page numbers.
struct WordOutBins {
    uint32_t *fcs;
    uint32_t *pns;
    uint32_t count;
    uint32_t capacity;
};

// The field characters of one story: count + 1 CPs and two FLD bytes each.
struct WordFieldPlc {
    uint32_t *cps;
    uint8_t *flds;
    uint32_t count;
    uint32_t capacity;
};

// A character or paragraph run recorded by the walk: its FC range and its
// modifiers (offset and length in the run pool).
struct WordOutRun {
    uint32_t fcFirst;
    uint32_t fcLim;
    uint32_t offset;
    uint32_t length;
};

struct WordOutRuns {
    WordOutRun *runs;
    uint32_t count;
    uint32_t capacity;
    WordBuf pool;
};

// A section entry: its CP range and its SEPX (u16 length, then sprms).
struct WordOutSection {
    uint32_t styleKey; // the section's style rule
    uint32_t cpFirst;
    uint32_t cpLim;
    uint32_t fcSepx;
    WordBuf sepx;
};

// One per-style modifier item: sprm, operand length, operand (at most 4).
struct WordStyleSprm {
    uint16_t sprm;
    uint8_t length;
    uint8_t operand[4];
};

// What the style sheet recorded for one style rule of the document: the
// index of its written STD (0 for none) and its modifier items.
struct WordStyleSlot {
    uint32_t key;
    uint32_t istd;
    WordStyleSprm *items;
    uint32_t count;
    uint32_t capacity;
};

// A font of the written font table.
struct WordOutFont {
    uint8_t flags; // prq bits 0-1, fTrueType bit 2, ff bits 3-5
    uint16_t weight;
    uint8_t chs;
    uint8_t panose[10];
    uint8_t signature[24];
    char16_t *name; // owned, NUL-terminated
};

// One picture block copied into "Data": its source and new offsets.
struct WordPictureCopy {
    uint32_t source;
    uint32_t target;
};

// An override level of the written override table: the start number when
// fStartAt is set, the flag byte (ilvl in bits 0-3, fStartAt bit 4,
// fFormatting bit 5) and the level written after it (owned, or null).
struct WordOutLfoLevel {
    int32_t iStartAt;
    uint8_t flags;
    WordParaListLevel *level;
};

enum : uint8_t {
    WordLfoLevel_startAt = 1u << 4,
    WordLfoLevel_formatting = 1u << 5,
};

// An override of the written override table: its list, its count of
// override levels and the levels by level number.
struct WordOutLfo {
    uint32_t lsid;
    uint8_t clfolvl;
    WordOutLfoLevel *levels[9];
};

// The lists and overrides gathered from the list paragraphs, in the order
// they are written; a paragraph's override number is its index plus one.
struct WordListTables {
    WordParaList **lists;
    uint32_t listCount;
    uint32_t listCapacity;
    WordOutLfo **lfos;
    uint32_t lfoCount;
    uint32_t lfoCapacity;
};

struct WordWriter {
    EngineContext *ctx;
    Edr_Doc *doc;
    // The output file and its streams.
    OleHandle *out;
    OleStream *docStream;
    OleStream *tableStream;
    OleStream *dataStream;
    // The source file and its streams (read only; any may be null).
    OleHandle *source;
    OleStream *srcDoc;
    OleStream *srcTable;
    OleStream *srcData;
    WordFib fib;
    WordRootData *rootData; // lent by the root node
    // Formatted disk pages.
    uint8_t chpPage[WordWriter_pageBytes];
    uint8_t papPage[WordWriter_pageBytes];
    uint32_t chpPn; // page number of the CHPX page being filled (0: none yet)
    uint32_t papPn;
    uint32_t firstFreePage; // byte offset
    WordOutBins chpBins;
    WordOutBins papBins;
    // The style sheet's record of the document's rules.
    WordStyleSlot *styles;
    uint32_t styleCount;
    uint32_t styleCapacity;
    uint32_t nextIstd;
    uint32_t dxaTab;
    // The document's style rules and their slots by key (key minus the
    // first style id), so that the walks find them without a search.
    StyleRule **keyRules;
    uint32_t *keySlots; // slot index + 1, 0 for none
    uint32_t keyCount;
    // Fonts: the source's, then those the style sheet added.
    WordOutFont *fonts;
    uint32_t fontCount;
    uint32_t fontCapacity;
    // Pictures copied into "Data".
    WordPictureCopy *pictures;
    uint32_t pictureCount;
    uint32_t pictureCapacity;
    // The list tables.
    WordListTables lists;
    // The source's nFib (0: not known), read once.
    uint32_t sourceNFib;
    uint32_t sourceFibRead;
};

// --------------------------------------------------------------- buffers

// Appends to a bin table: nothing for an empty range; the last entry grows
// when it has the same page. 0 or 1.
[[nodiscard]] int WordBins_add(WordOutBins *bins, uint32_t fcFirst, uint32_t fcLim, uint32_t pn);
void WordBins_free(WordOutBins *bins);
// The bin table's bytes (count + 1 FCs, count page numbers; nothing when
// empty) appended to buf.
[[nodiscard]] int WordBins_serialize(const WordOutBins *bins, WordBuf *buf);

[[nodiscard]] int WordFieldPlc_add(WordFieldPlc *plc, uint32_t cp, uint8_t ch, uint8_t flags);
void WordFieldPlc_free(WordFieldPlc *plc);
[[nodiscard]] int WordFieldPlc_serialize(const WordFieldPlc *plc, WordBuf *buf);

[[nodiscard]] int WordRuns_add(WordOutRuns *runs, uint32_t fcFirst, uint32_t fcLim,
                               const uint8_t *sprms, uint32_t n);
void WordRuns_free(WordOutRuns *runs);

// ------------------------------------------------------------------ FIB

// Clears the writer's FIB and sets its fixed values.
void WordWriter_initFib(WordWriter *w);
// The 1024-byte block of the FIB packed into out.
void WordWriter_packFib(const WordWriter *w, uint8_t *out);
// Packs the FIB and writes it at offset 0 of "WordDocument". 0, 1, or
// the compound-file writer's errors.
[[nodiscard]] int WordWriter_writeFib(WordWriter *w);

// ------------------------------------------------------ formatted disk pages

// One character run (cb 0: no exceptions). Identical consecutive CHPX
// bytes share one stored CHPX.
[[nodiscard]] int WordFkp_addChpx(WordWriter *w, uint32_t fcFirst, uint32_t fcLim, uint32_t cb,
                                  const uint8_t *sprms);
// One paragraph run; papx starts with the style index and cb counts it. A
// PAPX longer than 488 bytes goes to "Data" and the page holds the 8-byte
// sprmPHugePapx form.
[[nodiscard]] int WordFkp_addPapx(WordWriter *w, uint32_t fcFirst, uint32_t fcLim,
                                  const uint8_t *phe, uint32_t cb, const uint8_t *papx);
[[nodiscard]] int WordFkp_flushChpx(WordWriter *w);
[[nodiscard]] int WordFkp_flushPapx(WordWriter *w);
// The first 512-byte boundary at or after fcMac.
uint32_t WordWriter_firstFreePage(uint32_t fcMac);

// ------------------------------------------------------------ style sheet

// Writes the style sheet at the current position of "1Table" and fills the
// style slots, the font list and the default tab. 0, 3903, 1, or write
// errors.
[[nodiscard]] int WordStyles_writeSheet(WordWriter *w);
// The slot of a style rule key, or null.
WordStyleSlot *WordStyles_find(WordWriter *w, uint32_t key);
// The font's index in the font list, added when absent. 0 or 1.
[[nodiscard]] int WordStyles_collectFonts(WordWriter *w, const char16_t *name, uint32_t *index);
// Appends a font to the font list, a name met before included. 0 or 1.
[[nodiscard]] int WordStyles_addFont(WordWriter *w, const char16_t *name, uint32_t *index);
// The palette index of a colour (four bytes red, green, blue, alpha):
// 0 to 16, 17 when the colour is not in the palette.
uint32_t Word_colourToIco(const uint8_t *rgba);
// Converts one property of a style rule: items of the slot's modifier
// table, or paragraph sprms appended to para. 0 or 1.
[[nodiscard]] int WordProps_convertStyleProp(WordWriter *w, WordStyleSlot *slot, const Prop *prop,
                                             WordBuf *para);
// Converts one property of a section rule into section sprms. 0 or 1.
[[nodiscard]] int WordProps_convertSectionProp(const Prop *prop, WordBuf *sepx, int header);
// The style rule with the key in the document's style sets (lent), or null.
StyleRule *WordWriter_findStyleRule(Edr_Doc *doc, uint32_t key);
// The same through the writer's index (built by the style sheet).
StyleRule *WordWriter_rule(WordWriter *w, uint32_t key);
// The FSPA flag bits of a floating shape from the keywords of its
// horizontal and vertical reference, its wrapping side and its wrapping
// (0 where a rule has none): bx in bits 1-2, by in bits 3-4, wr in bits
// 5-8, wrk in bits 9-12, fBelowText in bit 14.
uint32_t WordWriter_fspaFlags(uint32_t horizontal, uint32_t vertical, uint32_t wrapSide,
                              uint32_t wrap);
// Twips of a 16.16 inch length, halves going up.
int32_t WordWriter_twips(int32_t inches);

// ------------------------------------------------------------ list tables

enum : uint16_t {
    WordWriter_sprmPIlvl = 0x260A,
    WordWriter_sprmPIlfo = 0x460B,
};

// A new level with the default values (start 1, decimal, dxaSpace 360,
// no number text), or null when out of memory.
WordParaListLevel *WordListLevel_createDefault();
// A deep copy of a level, or null when out of memory.
WordParaListLevel *WordListLevel_copy(const WordParaListLevel *level);
// 0 when the two levels are identical, 1 when only their start numbers
// differ, 2 otherwise.
int WordListLevel_compare(const WordParaListLevel *a, const WordParaListLevel *b);
// The LVL of a level appended to out: 28 fixed bytes, the paragraph
// modifiers, the character modifiers, the number text with its length.
[[nodiscard]] int WordListLevel_serialize(const WordParaListLevel *level, WordBuf *out);
// The 28-byte LSTF of a list.
void WordList_serialize(const WordParaList *list, uint8_t *out);
// Records one list paragraph: list is the paragraph's list record, papx
// and chpx the modifiers its level takes (its indents and its number's
// look). Gives the level number (0 to 8) and the override number (from
// 1) that the paragraph's sprmPIlvl and sprmPIlfo carry. 0, 1, or 3848
// for a record without a level.
[[nodiscard]] int WordListTables_addParagraph(WordWriter *w, const WordParaList *list,
                                              const uint8_t *papx, uint32_t papxLength,
                                              const uint8_t *chpx, uint32_t chpxLength,
                                              uint32_t *ilvl, uint32_t *ilfo);
// Writes PlfLst, PlfLfo and SttbListNames at the current position of
// "1Table" (nothing without lists). Missing levels are completed from the
// source's lists of the same lsid, else with default levels. 0, 1 or
// write errors.
[[nodiscard]] int WordListTables_write(WordWriter *w);
// The SttbListNames of count lists (each name empty) appended to out.
[[nodiscard]] int WordListTables_names(uint32_t count, WordBuf *out);
void WordListTables_free(WordListTables *tables);

// ---------------------------------------------------------------- writer

// Writes the text, the pages, the sections and the table-stream records
// (after the style sheet). cbMac is set only on success. 0 or an error.
[[nodiscard]] int WordWriter_writeDocument(WordWriter *w);
// Frees what the writer holds besides its streams.
void WordWriter_freeState(WordWriter *w);

// ------------------------------------------------------------ other streams

// Copies every storage and stream of the source file under the output
// root, leaving out the top-level "WordDocument", "0Table", "1Table" and
// "Data". Without a source file nothing is done. 0 or an error.
[[nodiscard]] int WordSave_copyOtherStreams(WordWriter *w);
// Copies the children of one storage (the walk keeps its own stack).
[[nodiscard]] int WordSave_copyStorage(OleHandle *source, uint32_t sourceId, OleHandle *out,
                                       uint32_t outParent);

// ------------------------------------------------------------ save driver

// The save hook of loaded Word documents: writes the document to target.
// When target is the document's own file, the output goes to a ".tmp"
// file beside it that replaces the source only when everything
// succeeded; a failed save leaves the source as it was and no output
// behind. 0 or an error code.
int Word_saveDocument(Edr_Doc *doc, const Url *target);
