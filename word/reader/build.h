// The Word reader's node building: the state of one load that turns the
// reader's tables into an eDR tree, the style property conversion, the
// text stream with its fields, the paragraph builder and the section loop.
//
// Every look (a run's text group, a paragraph, a section) is described as
// a list of indices into a table of distinct property values; each distinct
// list becomes one style rule, keyed by a style id of its own, in the
// loader's style-sheet request. The class of a node (one of fifteen names)
// keys the default rules registered when the load starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "word/reader/drawing.h"
#include "word/reader/sprm.h"
#include "word/reader/word.h"

struct Edr_Doc;
struct Edr_Node;
struct Request;
struct StrTable;
struct StyleRule;

// Node classes, by their interned ids (1-15).
enum : uint32_t {
    WordClass_anchorGroup = 1,
    WordClass_columnBreak,
    WordClass_columnSection,
    WordClass_document,
    WordClass_pageBreak,
    WordClass_pageNumber,
    WordClass_paragraph,
    WordClass_picture,
    WordClass_section,
    WordClass_table,
    WordClass_tableCell,
    WordClass_tableRow,
    WordClass_tableRowGroup,
    WordClass_textBox,
    WordClass_textGroup,
    WordClass_count = 15,
};

// Value types of interned property values.
enum : uint32_t {
    WordValue_int = 0,
    WordValue_keyword = 1,
    WordValue_length = 2,
    WordValue_colour = 8,
    WordValue_string = 9,
    WordValue_tabs = 10,
    WordValue_columns = 11,
    WordValue_triple = 12,
    WordValue_matrix = 13,
};

enum : uint32_t {
    Word_maxFieldDepth = 20,
    Word_textWindowBytes = 32768,
    Word_firstStyleId = 0x10000, // above every interned name id
};

// One interned property value.
struct WordPropValue {
    uint32_t id;
    uint32_t type;
    uintptr_t payload; // a word, an owned string or an owned record
    uint32_t length;   // of a string
    uint8_t bytes[24]; // type 13
};

// A list of indices into the value table.
struct WordPropList {
    uint32_t count;
    uint32_t capacity;
    uint32_t *indices;
};

struct WordStyleCacheEntry {
    uint32_t count;
    uint32_t offset;
    uint32_t styleId;
};

struct WordFieldLevel {
    uint8_t kind; // 19 instruction part, 20 result part
    uint8_t type; // the field type, 0xFF without a descriptor
    uint8_t savedShow;
    char16_t *instruction; // owned, NUL-terminated
    uint32_t instructionLength;
};

// The DOP fields the reader uses.
struct WordDop {
    uint16_t flags0; // the first flag word (fFacingPages bit 0; grpfIhdt in bits 8-15 of the first
                     // two bytes)
    uint16_t flags6; // offset 6: fLockAtn bit 4, fProtEnabled bit 9, fLockRev bit 14
    uint16_t dxaTab;
    uint32_t lKeyProtDoc;
    uint32_t flags95;
    uint8_t base[84];
    uint8_t part97[412];
    uint32_t has97;
};

struct WordNodeBuilder;
struct WordSectionContext;
struct WordParaState;

// The state of one load that builds nodes.
struct WordLoad {
    Edr_Doc *doc;
    Edr_Node *root;
    Request *request; // the loader's style-sheet request (one reference)
    WordDop dop;
    // The value table and the style cache.
    WordPropValue *values;
    uint32_t valueCount;
    uint32_t valueCapacity;
    WordStyleCacheEntry *cache;
    uint32_t cacheCount;
    uint32_t cacheCapacity;
    uint32_t *cacheIndices;
    uint32_t cacheIndexCount;
    uint32_t cacheIndexCapacity;
    uint32_t nextStyleId;
    // The text window.
    uint32_t windowStart;
    uint32_t windowLength;
    uint32_t window16;
    char16_t *window;
    char16_t high[128]; // the upper half of the 8-bit code page in use
    uint32_t highCode;  // its charset code + 1 (0: not decoded yet)
    // The upper half of the code page of runs whose font or character set
    // names another code page than the document's, and its code + 1.
    char16_t runHigh[128];
    uint32_t runHighCode;
    // Fields.
    uint32_t fieldDepth;
    WordFieldLevel fields[Word_maxFieldDepth + 1];
    // Fields opened inside the deepest level: their marks are skipped and
    // their characters go to that level, so only they lose their meaning.
    uint32_t fieldOverflow;
    uint32_t showText;
    uint32_t lastPropDepth;
    // Flags of the text emitter.
    uint32_t cellEndSeen;
    uint32_t lineBreakSeen;
    uint32_t hasPictures;
    WordChp paraMarkChp;
    uint32_t revisionOption; // bit set: revisions are shown
    // PLCFFLD of main text, headers, footnotes, comments, endnotes, text
    // boxes and header text boxes.
    uint8_t *fieldTables[7];
    uint32_t fieldCounts[7];
    WordNodeBuilder *builder;
    WordDrawings *drawings; // the drawings of a Word 97 file, or null
};

struct WordNodeBuilder {
    Edr_Doc *doc;
    Edr_Node *root;
    WordReader *reader;
    StrTable *classes;
    uint32_t storyCounter;
    uint32_t currentStory; // the story a header or footer group is opened for
    uint32_t carried[6];   // header/footer story ids carried from section to section
    uint32_t lastSectionEnd;
};

// One recorded cell of a table for its column span.
struct WordSpanCell {
    Edr_Node *cell; // one reference
    int32_t left;
    int32_t right;
};

enum : uint32_t {
    Word_spanBlockCells = 200,
    Word_maxLeftEdges = 64,
    Word_maxTableDepth = 16, // tables nested deeper join the deepest one
};

struct WordSpanBlock {
    WordSpanCell cells[Word_spanBlockCells];
    WordSpanBlock *next;
};

// A cell that starts a vertical merge, open while the rows below carry
// continuation cells at its left edge.
struct WordRowMerge {
    Edr_Node *cell; // one reference
    int32_t left;
    uint32_t rows;
};

// The table being built in a section.
struct WordTableState {
    Edr_Node *table;
    Edr_Node *rowGroup;
    Edr_Node *row;
    uint32_t rowCount;
    uint32_t rowFinished;
    uint32_t newCell;
    WordTap tap; // the current row's
    Edr_Node *cells[Word_maxCells];
    uint32_t cellCount;
    int32_t edges[Word_maxLeftEdges]; // distinct cell left edges
    uint32_t edgeCount;
    WordSpanBlock *blocks;
    WordSpanBlock *lastBlock;
    uint32_t recorded;
    uint32_t justification;             // of the last row, for the table's style
    WordRowMerge merges[Word_maxCells]; // open vertical merges
    uint32_t mergeCount;
    Edr_Node *parent;      // the group the table goes in (not held)
    WordTableState *outer; // the table whose cell holds this one, or null
};

struct WordSectionContext {
    WordNodeBuilder *builder;
    Edr_Node *group;
    WordSep sep;
    uint32_t stories[6];
    uint32_t tableDepth;   // open tables, the innermost last
    uint32_t story;        // 1 inside a header or footer story
    WordTableState *table; // the innermost open table, null outside a table
};

struct WordParaState {
    WordSectionContext *section;
    Edr_Node *container;
    WordPap pap;
    WordTap tap;
    WordChp baseChp;
    uint32_t hasContent;
    uint32_t cellEnd;
    uint32_t skipped; // fTtp: the row's end mark makes no nodes
    uint32_t storyFlag;
    uint32_t styleId; // the paragraph's interned style
    uint32_t cpEnd;   // the end of the paragraph's text
    // The list number text that leads the paragraph, and its look.
    char16_t *leadIn; // owned, or null
    uint32_t leadInLength;
    uint32_t leadInEmitted;
    WordChp leadInChp;
    WordPendingShape pendingShape;
};

struct WordRunState {
    WordParaState *para;
    Edr_Node *textGroup;
    WordChp chp;
    uint32_t cp;
    uint32_t styleId;
};

// ---------------------------------------------------- load and document properties

[[nodiscard]] int Word_readDop(WordReader *reader);
[[nodiscard]] int Word_readDopBase(WordReader *reader);
[[nodiscard]] int Word_readDop95(WordReader *reader);
[[nodiscard]] int Word_readDop97(WordReader *reader);
// The record attached to the root node at the end of a load.
struct WordRootData {
    WordFont *fonts;
    uint32_t fontCount;
    void *lists;
    uint32_t listCount;
};
void Word_rootDataFree(void *data);

// ------------------------------------------------------ style conversion

void Word_propListInit(WordPropList *list);
void Word_propListClear(WordPropList *list);
// Interns value (an owned payload is taken over: freed when an equal value
// is found or on failure) and returns its index.
[[nodiscard]] int Word_propIntern(WordReader *reader, WordPropValue *value, uint32_t *outIndex);
// Interns the value and appends its index (an id of 0 adds nothing).
[[nodiscard]] int Word_propListAdd(WordPropList *list, WordPropValue *value, WordReader *reader);
// Convenience forms of Word_propListAdd for scalar and string values.
[[nodiscard]] int Word_propAdd(WordPropList *list, uint32_t id, uint32_t type, uint32_t word,
                               WordReader *reader);
[[nodiscard]] int Word_propAddString(WordPropList *list, uint32_t id, const char16_t *text,
                                     WordReader *reader);
[[nodiscard]] int Word_styleIntern(WordPropList *list, uint32_t *outStyleId, WordReader *reader);
[[nodiscard]] int Word_buildStyleRule(const WordPropList *list, StyleRule **outRule,
                                      WordReader *reader);
[[nodiscard]] int Word_propToRule(StyleRule *rule, const WordPropValue *value, WordReader *reader);
[[nodiscard]] int Word_styleCacheAdd(const WordPropList *list, uint32_t styleId,
                                     WordReader *reader);
[[nodiscard]] int Word_nodeSetStyle(Edr_Doc *doc, Edr_Node *node, uint32_t groupStyle,
                                    uint32_t styleId);
void Word_propTableFree(WordReader *reader);
// The width given to a drawn border of width 0: a quarter point in inches
// (16.16).
enum : int32_t { Word_thinnestBorder = 0x10000 / 288 };
// The border's style, colour and width properties for side 0 top, 1 left,
// 2 bottom or 3 right (nothing for an all-zero border).
[[nodiscard]] int Word_borderToProps(const WordBorder *border, uint32_t side, WordPropList *list,
                                     WordReader *reader);
[[nodiscard]] int Word_boxBorders(uint32_t mode, uint32_t style, WordPropList *list,
                                  WordReader *reader);
// RGBA (R in the low byte) of colour index 0-16; other values black.
uint32_t Word_colourForIco(uint32_t ico);
void Word_shadingWeights(uint32_t ipat, uint32_t *outFore, uint32_t *outBack);
uint32_t Word_blendColours(uint32_t fore, uint32_t back, uint32_t wFore, uint32_t wBack,
                           int keepColour);
int Word_isZeroColour(uint32_t colour);
uint32_t Word_cellShadingColour(const WordTap *tap, uint32_t cell);
uint32_t Word_idTable(uint32_t index);
uint32_t Word_idTableFind(uint32_t value);
// The style system's border-style keyword of a Word line style.
uint32_t Word_borderKeyword(int32_t lineStyle);
// A one-row palette buffer (format 6) of 2 entries for two stops at 0 and
// 255 with flag 0, else 256, filled from the stops.
struct PixelBuf;
[[nodiscard]] int Word_paletteMode(PixelBuf **out, const uint32_t *stops, uint32_t flag);
[[nodiscard]] int Word_headerGroup(WordSectionContext *section, Edr_Node **outGroup);
[[nodiscard]] int Word_footerGroup(WordSectionContext *section, Edr_Node **outGroup);

// --------------------------------------------------------- text and fields

uint32_t Word_lidCharset(uint32_t lid);
// The code of the Mac Roman character set of Word 6/95 files made on a
// Mac, beside the engine's charset codes.
enum : uint32_t { Word_charsetMacRoman = 0x100 };
// The charset code of a font character set number (204 Cyrillic, 238
// Central European, 77 Mac, 128 Shift_JIS, 136 Big5, ...); 0 for one that
// names no code page of its own (ANSI, default, symbol).
uint32_t Word_fontCharsetCode(uint32_t charset);
// The code page of a Word 6/95 file's 8-bit text: Mac Roman for a file
// made on a Mac, otherwise the one its language id names.
uint32_t Word_documentCharset(const WordReader *reader);
[[nodiscard]] int Word_fetchText(uint32_t cp, uint32_t cpEnd, uint32_t *outEnd,
                                 const char16_t **chars, WordReader *reader);
[[nodiscard]] int Word_emitTextRange(uint32_t cpStart, uint32_t cpEnd, WordParaState *para);
[[nodiscard]] int Word_chpToProps(const WordChp *chp, WordPropList *list, WordReader *reader);
[[nodiscard]] int Word_emptyParagraphFill(WordParaState *para);
// The link text of a field target: "#" and the name without a leading "_"
// for a bookmark (no "\" or "/"), else the target; null for an empty one.
[[nodiscard]] int Word_linkText(const char16_t *target, uint32_t length, char16_t **out);
// The PAGEREF target in an instruction text (lent, with its length); 0
// when the instruction names none.
uint32_t Word_pagerefTarget(const char16_t *instruction, uint32_t length, const char16_t **target);
void Word_fieldsFree(WordReader *reader);
// Load step: the field tables (PLCFFLD) of the sub-documents that have them.
[[nodiscard]] int Word_readFieldTables(WordReader *reader);
// The field descriptor {ch, flt} at cp of sub-document subdoc. 3851 for
// sub-document 3 or one above 7; 3901 when no descriptor lies at cp.
[[nodiscard]] int Word_fieldAt(uint32_t cp, uint32_t subdoc, uint8_t fld[2], WordReader *reader);
// Makes the run's text group when it has none.
[[nodiscard]] int Word_ensureTextGroup(WordRunState *run);

// ------------------------------------------------------------ paragraphs

[[nodiscard]] int Word_paraBegin(uint32_t cp, WordSectionContext *section, WordParaState **out,
                                 uint32_t storyFlag);
[[nodiscard]] int Word_paraEmitRuns(uint32_t cpStart, uint32_t *cpEnd, WordParaState *para,
                                    WordReader *reader);
[[nodiscard]] int Word_paraEnd(WordParaState **para);
[[nodiscard]] int Word_papToProps(const WordPap *pap, int32_t leftMargin, WordPropList *list,
                                  WordReader *reader);
void Word_mergeCondChp(const WordChp *from, WordChp *into);
[[nodiscard]] int Word_paraOpenAnchor(WordParaState *para, const char16_t *name);
int Word_nodeEditable(Edr_Doc *doc, Edr_Node *node, int *flag);
int Word_nodeChainEditable(Edr_Doc *doc, Edr_Node *node, int *flag);
int Word_textGroupEditable(Edr_Doc *doc, intptr_t node, intptr_t *flag);

// The table builder's side of a paragraph: the node a paragraph goes into
// (a table cell or the section group) and the cell and row marks at its
// end.
// The table depth of a paragraph: 0 outside tables, 1 in a table, 2 in a
// table inside a cell, and so on.
uint32_t Word_paraTableDepth(const WordPap *pap);
[[nodiscard]] int Word_tableParent(WordParaState *para, Edr_Node **out);
[[nodiscard]] int Word_tableParaEnd(WordParaState *para);
// Finishes the open table of a section (its last row, its style) and
// lets go of its nodes. 0 without one.
[[nodiscard]] int Word_tableFlush(WordSectionContext *section);
// Frees the table state without finishing it.
void Word_tableReset(WordSectionContext *section);
// Finishes the current row: row kind, cell styles, column-span tracking,
// the row's style. last: the table ends with it.
[[nodiscard]] int Word_tableRowFinish(WordSectionContext *section, uint32_t last);
// The row kind of the current row: 1 first, 2 and 3 alternating body
// rows, 4 last, 5 the only row.
uint32_t Word_tableRowKind(const WordTableState *table, uint32_t last);
// Cell i's properties (width, margins, merges, shading, borders) for its
// row kind, of a row of n cells. A covered cell (the continuation of a
// vertical merge whose first cell spans it) is not displayed.
[[nodiscard]] int Word_tableCellStyle(const WordTap *tap, uint32_t i, uint32_t n, uint32_t rowKind,
                                      uint32_t covered, WordPropList *list, WordReader *reader);
// Matches the finished row's cells against the open vertical merges: a
// continuation cell at an open merge's left edge extends it and is marked
// in covered (one flag per cell); every other open merge is closed, its
// first cell given the row span; a restart cell opens a merge. With last
// every merge is closed. Returns the first error (the other cells are
// still done).
[[nodiscard]] int Word_tableRowMerges(WordSectionContext *section, uint32_t last, uint8_t *covered);
// The shading colour of cell i through the table look; 0 with *has 0 when
// the look makes none.
uint32_t Word_tableCellShading(const WordTap *tap, uint32_t i, uint32_t n, uint32_t rowKind,
                               uint32_t *has);
// The four borders of cell i (top, left, bottom, right): the cell's own,
// else the table's edge or inside borders by position.
void Word_tableCellBorders(const WordTap *tap, uint32_t i, uint32_t n, uint32_t rowKind,
                           WordBorder out[4]);
// The column span of a cell from the table's distinct left edges (1: none).
uint32_t Word_tableCellSpan(const int32_t *edges, uint32_t edgeCount, int32_t left, int32_t right);
// The built-in table look's {foreground, background, pattern} of a
// position class (itl below 43, class below 16).
const uint8_t *Word_tableLookShading(uint32_t itl, uint32_t positionClass);

// ------------------------------------------------------ nodes and sections

[[nodiscard]] int Word_nodeBuilderNew(Edr_Doc *doc, Edr_Node *root, WordReader *reader,
                                      WordNodeBuilder **out);
void Word_nodeBuilderFree(WordNodeBuilder *builder);
[[nodiscard]] int Word_buildSections(WordReader *reader);
// The section whose pages a following continuous section goes on filling:
// its top-level group (one reference, or null), its properties and its
// header and footer stories.
struct WordSectionPage {
    Edr_Node *group;
    WordSep sep;
    uint32_t stories[6];
};
// Opens the section at cp. A continuous section that keeps the page size
// and margins of page's section goes on on that section's pages: its
// content goes into a group of its own inside page's group (in columns,
// or with header and footer stories that take over from the next page,
// where it has its own). Otherwise the section gets a top-level group of
// its own and page is set to it; a section in columns that a continuous
// section follows puts its content into such an inner group as well.
[[nodiscard]] int Word_sectionBegin(uint32_t cp, WordNodeBuilder *builder, WordSectionPage *page,
                                    WordSectionContext **out);
void Word_sectionEnd(WordSectionContext *section);
[[nodiscard]] int Word_buildRange(uint32_t start, uint32_t end, WordSectionContext *section,
                                  WordReader *reader);
[[nodiscard]] int Word_sectionHeaders(uint32_t cp, WordSectionContext *section, WordReader *reader);
[[nodiscard]] int Word_sectionStyle(const WordSep *sep, WordPropList *list,
                                    WordNodeBuilder *builder);
