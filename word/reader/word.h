// The Word reader: recognition of the .doc file inside an OLE2 compound
// file, its streams and its file information block (FIB), and the tables
// that the reader loads before it builds any node: the piece table and the
// property bin tables with their formatted disk pages, the style sheet, the
// section and header/footer tables and the bookmarks.
//
// The reader record WordReader serves one recognition attempt or one load.
// Recognition opens the stream as a compound file, opens "WordDocument"
// and the table stream the FIB names, and reads the FIB of a Word 6/95
// (wIdent 0xA5DC, 682 bytes) or Word 97 (0xA5EC, 898 bytes) file into one
// record laid out as the Word 97 FIB. The load itself (Word_loadDocument,
// word/reader/load.cpp) builds the tree (word/reader/build.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "word/reader/sprm.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct OleHandle;
struct OleStream;
struct VfsHandle;
struct WordFont;
struct WordLoad;

enum : uint32_t {
    Word_identWord6 = 0xA5DC,
    Word_identWord97 = 0xA5EC,
    // Word for Windows 1 and 2: files of their own (no compound file),
    // whose text this reader does not read.
    Word_identWord1 = 0xA59B,
    Word_identWord2 = 0xA5DB,
    Word_fib6Bytes = 682,
    Word_fib97Bytes = 898,
    Word_fcLcbCount = 93,
    Word_mimeTypeId = 6, // "application/msword" in the MIME table
    Word_flagWhichTblStm = 1u << 9,
    Word_flagEncrypted = 1u << 8,
};

// One {fc, lcb} pair: a table's offset and length.
struct WordFcLcb {
    int32_t fc;
    uint32_t lcb;
};

// The FIB in the Word 97 file's field order.
struct WordFib {
    uint16_t wIdent;
    uint16_t nFib;
    uint16_t nProduct;
    uint16_t lid;
    int16_t pnNext;
    uint16_t flags; // fDot .. fCrypto
    uint16_t nFibBack;
    uint32_t lKey;
    uint8_t envr;
    uint8_t flags2; // fMac .. fWord97Saved
    uint16_t chs;
    uint16_t chsTables;
    uint32_t fcMin;
    uint32_t fcMac;
    uint16_t csw;
    uint16_t wMagicCreated;
    uint16_t wMagicRevised;
    uint16_t wMagicCreatedPrivate;
    uint16_t wMagicRevisedPrivate;
    int16_t w6Words[9]; // pnFbpChpFirst_W6 .. cpnBteLvc_W6
    uint16_t lidFE;
    uint16_t clw;
    int32_t cbMac;
    uint32_t lProductCreated;
    uint32_t lProductRevised;
    uint32_t ccpText;
    int32_t ccpMore[7]; // ccpFtn, ccpHdd, ccpMcr, ccpAtn, ccpEdn, ccpTxbx, ccpHdrTxbx
    int32_t pnFbpChpFirst;
    int32_t pnChpFirst;
    uint32_t cpnBteChp;
    int32_t pnFbpPapFirst;
    int32_t pnPapFirst;
    uint32_t cpnBtePap;
    int32_t pnFbpLvcFirst;
    int32_t pnLvcFirst;
    int32_t cpnBteLvc;
    int32_t fcIslandFirst;
    int32_t fcIslandLim;
    uint16_t cfclcb;
    WordFcLcb pairs[Word_fcLcbCount];
};

// FIB pairs the tables are read from.
enum : uint32_t {
    WordPair_stshf = 1,
    WordPair_plcfsed = 6,
    WordPair_plcfhdd = 11,
    WordPair_plcfbteChpx = 12,
    WordPair_plcfbtePapx = 13,
    WordPair_sttbfffn = 15,
    WordPair_sttbfbkmk = 21,
    WordPair_plcfbkf = 22,
    WordPair_plcfbkl = 23,
    WordPair_dop = 31,
    WordPair_clx = 33,
    WordPair_plfLst = 73,
    WordPair_plfLfo = 74,
};

enum : uint32_t {
    Word_fkpBytes = 512,
    Word_syntheticPiece = 32768, // characters per piece without a CLX
    Word_noBookmark = 0x7FFFFFFF,
};

// One piece descriptor as stored.
struct WordPcd {
    uint16_t flags;
    uint32_t fc; // bit 30 in Word 97: 8-bit text at (fc without bit 30) / 2
    uint16_t prm;
};

// A bin table with its formatted disk pages (CHPX or PAPX).
struct WordBinTable {
    uint32_t *fcs;   // count + 1 FCs
    uint32_t *pages; // count page numbers
    uint32_t count;
    uint8_t *fkp;     // count pages of 512 bytes, in table order
    uint32_t current; // the page the last lookup selected
};

// The style sheet header.
struct WordStshi {
    uint16_t cbStshi;
    uint16_t cstd;
    uint16_t cbSTDBaseInFile;
    uint16_t flags; // bit 0 fStdStylenamesWritten
    uint16_t stiMaxWhenSaved;
    uint16_t istdMaxFixedWhenSaved;
    uint16_t nVerBuiltInNamesWhenSaved;
    uint16_t ftcStandardChp[3];
    uint16_t ftcBi;
};

// The base part of a style (STD).
struct WordStdBase {
    uint16_t sti;
    uint16_t stiFlags; // fScratch, fInvalHeight, fHasUpe, fMassCopy in bits 12-15
    uint8_t sgc;       // 1 paragraph, 2 character, 3 table
    uint16_t istdBase; // 4095: none
    uint8_t cupx;
    uint16_t istdNext;
    uint16_t bchUpe;
    uint16_t flags; // fAutoRedef, fHidden and the rest (0 when the base part is short)
};

// One style of the resolved style sheet.
struct WordStyleEntry {
    uint8_t defined;
    uint8_t inProgress; // set while its base chain is resolved
    uint16_t noCharFormatting;
    uint16_t sti;
    uint8_t sgc;
    uint16_t istdBase;
    char16_t *name; // owned; name[0] is the length, then the characters
    WordPap pap;
    WordChp chp;
    WordChp *conditional; // owned; twelve records of a table style, or null
};

// One section: [start, end) and its SEPX (u16 size, then the modifiers).
struct WordSection {
    uint32_t start;
    uint32_t end;
    uint8_t *sepx; // owned, or null
};

struct WordBookmark {
    char16_t *name; // owned, NUL-terminated
    uint32_t start;
    uint32_t end;
    uint32_t nodeId; // recorded when the start has been placed
};

struct WordBookmarkEnd {
    uint32_t end;
    uint32_t index;
};

// The bookmarks, with the cursors over the CP range being built.
struct WordBookmarks {
    WordBookmark *entries; // ascending start CP (file order)
    WordBookmarkEnd *ends; // ascending end CP
    uint32_t count;
    uint32_t firstStart; // Word_noBookmark when none
    uint32_t lastStart;
    uint32_t firstEnd;
    uint32_t lastEnd;
    uint32_t rangeStart;
    uint32_t rangeEnd;
};

// Result codes of the list tables (beside those of core/result.h).
enum : int {
    Res_wordBadListIndex = 3848, // a list index out of range
    Res_wordNoList = 3849,       // no list with that list id
    Res_wordShortLists = 3861,   // a list table shorter than 28 bytes per list
    Res_wordAbsentLevel = 3862,  // a list number text names an absent level
};

// One level of a list: its start, format, flags, placeholder positions,
// follow character, indents, modifier lists and number text.
struct WordListLevel {
    int32_t iStartAt;
    uint8_t nfc;
    uint8_t flags; // jc bits 0-1, fLegal 2, fNoRestart 3, fIndentSav 4, fConverted 5, Word 6 tab 6
    uint8_t rgbxchNums[9];
    uint8_t ixchFollow; // 0 tab, 1 space, 2 nothing
    int32_t dxaSpace;
    int32_t dxaIndent;
    uint8_t *chpx;  // owned: u16 length, then the character modifiers; or null
    uint8_t *papx;  // owned: u16 length, then the paragraph modifiers; or null
    char16_t *text; // owned, cch characters; or null
    uint16_t cch;
};

enum : uint8_t {
    WordLevel_legal = 1u << 2,
    WordLevel_noRestart = 1u << 3,
    WordLevel_word6Tab = 1u << 6,
};

// One override level of an LFO.
struct WordLfoLevel {
    int32_t iStartAt;
    uint8_t ilvl;
    uint8_t fStartAt;
    uint8_t fFormatting;
    WordListLevel *level; // owned when fFormatting is set, else null
};

struct WordLfo {
    uint32_t lsid;
    uint8_t clfolvl;
    WordLfoLevel *overrides[9];
};

// One list definition with its running counters.
struct WordList {
    uint32_t lsid;
    uint32_t tplc;
    uint16_t rgistd[9];
    uint8_t simple;
    uint8_t restartHdn;
    WordListLevel *levels[9]; // owned; null for an absent level
    int32_t number[9];
    uint8_t used[9];
    const WordLfoLevel *override[9]; // the override in force (lent from the LFO table)
    // First-use indentation memory.
    uint8_t indentSeen;
    int32_t indentM;
    int32_t indentK;
};

struct WordReader {
    EngineContext *ctx;
    OleHandle *ole;         // the compound file over the document's stream
    OleStream *docStream;   // "WordDocument"
    OleStream *tableStream; // "0Table"/"1Table"; the document stream for Word 6/95
    OleStream *dataStream;  // "Data" or null; the document stream for Word 6/95
    WordFib fib;
    uint32_t subdocStart[9]; // CP where each sub-document begins; [8] the end of all text
    uint32_t subdoc;         // the current sub-document (0 to 7)

    // The piece table.
    uint8_t *clx; // the CLX as read, or null
    uint32_t clxLength;
    uint32_t hasClx;      // 1 when the pieces come from a CLX
    const uint8_t **prcs; // each Prc's grpprl (at its size word), inside clx
    uint32_t prcCount;
    uint32_t *pieceCps; // pieceCount + 1 CPs
    WordPcd *pieces;
    uint32_t pieceCount;
    // The bin tables.
    WordBinTable chpx;
    WordBinTable papx;
    // The style sheet.
    uint8_t *stsh;
    uint32_t stshLength;
    WordStshi stshi;
    uint32_t *stdOffsets; // each style's offset in stsh (0: empty slot)
    WordStyleEntry *styles;
    uint32_t styleCount;
    uint32_t istdNormal;      // the style with sti 0
    uint32_t istdDefaultFont; // the style with sti 65
    uint32_t istdTable;       // the last table style read (0xFFFFFFFF: none)
    // The sections and the header/footer table.
    WordSection *sections;
    uint32_t sectionCount;
    uint8_t *plcfHdd;
    uint32_t hddLength;
    uint16_t hddStoryCounter; // Word 6/95: stories before the current section's
    uint16_t sectGrpfIhdt;    // Word 6/95: the current section's story flags
    // The bookmarks (null without valid ones).
    WordBookmarks *bookmarks;
    // Set by the font table and the document properties, read by the
    // property modifiers.
    WordFont *fonts; // the font table (fonts/office/wordfonts.h)
    uint32_t fontCount;
    int32_t symbolFont;    // index of "Symbol", -1 when absent
    int32_t wingdingsFont; // index of "Wingdings", -1 when absent
    uint32_t codePage;     // charset code of 8-bit text (0: Latin-1)
    WordList *lists;       // the list definitions (Word 6/95: the four fixed lists)
    uint32_t listCount;
    uint32_t listCapacity;
    WordLfo *lfos; // the list format overrides, or null
    uint32_t lfoCount;
    uint32_t sprmDepth; // nesting of lists applied from inside a modifier
    // The list and level that numbered the last paragraph asked for
    // (Word_listNumberText); numberedList is -1 when it had no number.
    int32_t numberedList;
    uint32_t numberedLevel;
    WordLoad *load; // the state of a load that builds nodes (word/reader/build.h), or null
};

// A new reader with every field cleared into *out. 0, or 1 (null).
[[nodiscard]] int Word_readerNew(WordReader **out);
// Clears every table pointer and count of a new reader; the font indexes
// become -1 (no such font) and the table style none.
void Word_readerInit(WordReader *reader);
// Closes the streams and the compound file, frees every table the reader
// owns and the record (null allowed). The source stream stays its owner's.
void Word_readerFree(WordReader *reader);
// Frees every table the reader owns and clears it (Word_readerInit).
void Word_readerFreeTables(WordReader *reader);
// Reads lcb bytes at fc of a stream into a new buffer (*out null for 0
// bytes). The range is checked against the stream before any buffer is
// sized: 3601 for an offset beyond the stream (or negative), 3599 when the
// stream ends inside the range; 1; the read's errors.
[[nodiscard]] int Word_readBlock(OleStream *stream, int64_t fc, uint32_t lcb, uint8_t **out);
// Opens "WordDocument", reads the FIB and opens the table and data
// streams; fills the sub-document starts. 0; 3844 for an unknown wIdent;
// the compound file's errors (a missing stream, a short read).
[[nodiscard]] int Word_openStreams(WordReader *reader);
void Word_closeStreams(WordReader *reader);
// Read the FIB at offset 0 of the document stream. 0, 1, or the stream's
// read error (its short-read code for a stream shorter than the FIB).
[[nodiscard]] int Word_readFib6(WordReader *reader);
[[nodiscard]] int Word_readFib97(WordReader *reader);

// The handler's operations.
int Word_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                   int32_t *score);
// Whether the stream begins with the wIdent of a Word for Windows 1 or 2
// file; the stream's position moves.
bool Word_isEarlyWordFile(VfsHandle *stream);
// Scores 100 with type 6 when the stream holds a Word document (one of
// Word for Windows 1 or 2 included, which the load then refuses with
// 3844), else 0; the stream is set back to its start in every case. 1 when memory runs
// out; otherwise the seek's result.
int Word_recognise(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
                   uint32_t *typeId);
// Fills the Word handler's descriptor. 0.
int Word_describe(EngineContext *context, Edr_HandlerDesc *desc);
// Loads the document into the tree: 0; 3845 for an encrypted file; 3844
// for a Word for Windows 1 or 2 file; the
// errors of the tables and of node building. The stream is always closed.
int Word_loadDocument(EngineContext *context, Edr_HandlerDesc *desc, void *argument,
                      VfsHandle *stream, Edr_Doc *doc, Edr_Node *target);

// ------------------------------------------------------ pieces and FKPs
// The lookups take the reader last; 0 or an error code.

// Load step: the piece table from the CLX, or a synthetic one of 32768-
// character pieces over fcMin..fcMac without a CLX. 1; the table
// stream's read errors.
[[nodiscard]] int Word_readPieceTable(WordReader *reader);
// A piece descriptor's fc decoded to a byte offset; *is16 is 1 only for
// Word 97 pieces without bit 30.
uint32_t Word_pieceFc(uint32_t fc, uint32_t *is16, const WordReader *reader);
// CP to FC (the last piece's end included). 3840 when no piece holds cp.
[[nodiscard]] int Word_cpToFc(uint32_t cp, uint32_t *fc, uint32_t *is16, WordReader *reader);
// FC to CP. 3841 when no piece holds fc.
[[nodiscard]] int Word_fcToCp(uint32_t fc, uint32_t *cp, WordReader *reader);
// The piece holding cp, strictly below its end: its CP range. 3840.
[[nodiscard]] int Word_pieceAtCp(uint32_t cp, uint32_t *start, uint32_t *end, uint32_t *is16,
                                 WordReader *reader);
// fc converted to a CP inside the piece that holds cp (fc may be the
// piece's end). Nothing written and 3840 when no piece holds cp, 3841 when
// fc lies outside that piece.
[[nodiscard]] int Word_fcToCpInPiece(uint32_t cp, uint32_t fc, uint32_t *cp2, WordReader *reader);
// *same 1 when both CPs lie in one piece (always 1 without a CLX).
[[nodiscard]] int Word_samePiece(uint32_t cp1, uint32_t cp2, uint32_t *same, WordReader *reader);
// The last CP of the piece holding cp, and its end CP. 3843 when none.
[[nodiscard]] int Word_pieceLastCp(uint32_t cp, uint32_t *last, WordReader *reader);
[[nodiscard]] int Word_pieceEndCp(uint32_t cp, uint32_t *end, WordReader *reader);
// Load step: both bin tables with their pages. 1; read errors.
[[nodiscard]] int Word_readBinTables(WordReader *reader);
// Select the page whose FC range holds fc (the last entry's end
// included) as the table's current page. 3843 when none.
[[nodiscard]] int Word_findChpxPage(uint32_t fc, WordReader *reader);
[[nodiscard]] int Word_findPapxPage(uint32_t fc, WordReader *reader);
// The CHPX of the run at cp (null: no properties). 3843 when no run.
[[nodiscard]] int Word_chpxAtCp(uint32_t cp, const uint8_t **chpx, WordReader *reader);
// The PAPX of the paragraph run at cp and its height (height may be null).
// 3843 when no run holds it.
[[nodiscard]] int Word_papxAtCp(uint32_t cp, uint32_t *height, const uint8_t **papx,
                                WordReader *reader);
// The CP just after the paragraph mark of the paragraph holding cp. 3842
// at the end of the current sub-document.
[[nodiscard]] int Word_nextParaEnd(uint32_t cp, uint32_t *end, WordReader *reader);
// The CP where the character run holding cp ends.
[[nodiscard]] int Word_nextRunEnd(uint32_t cp, uint32_t *end, WordReader *reader);
// *flag 1 when fc starts a run of some CHPX page.
[[nodiscard]] int Word_isChpxRunStart(uint32_t fc, uint32_t *flag, WordReader *reader);
// Applies the paragraph's PAPX (kind 2) and, in a complex file, its
// piece's modifier (kind 3) to pap and tap.
[[nodiscard]] int Word_applyParaProps(uint32_t cp, WordPap *pap, WordTap *tap, WordReader *reader);
// Applies the CHPX at cp (kind 7) and, in a complex file, the piece's
// modifier (kind 8) to chp.
[[nodiscard]] int Word_applyRunProps(uint32_t cp, WordChp *chp, WordReader *reader);
// Applies a piece descriptor's prm as kind to the records given.
[[nodiscard]] int Word_applyPrm(uint16_t prm, uint32_t kind, WordSep *sep, WordPap *pap,
                                WordChp *chp, WordTap *tap, WordReader *reader);

// ------------------------------------------------------------ style sheet

// Load step: reads the style sheet and resolves every style. 1, 3844,
// 3863, 3864, read errors.
[[nodiscard]] int Word_readStyleSheet(WordReader *reader);
// The header at the start of the style sheet (its size word first).
[[nodiscard]] int Word_readStshi(const uint8_t *sheet, uint32_t length, WordStshi *stshi,
                                 WordReader *reader);
// The STD of a style index (*std at its size word) and its size. 3865 for
// an index at or above cstd; 3866 for an empty slot.
[[nodiscard]] int Word_findStd(uint32_t istd, const uint8_t **std, uint32_t *size,
                               WordReader *reader);
// The base part of an STD of size bytes (std after its size word).
[[nodiscard]] int Word_readStdBase(const uint8_t *std, uint32_t size, WordStdBase *base,
                                   WordReader *reader);
// UPX k of an STD (at its size word), or null when the STD has none.
const uint8_t *Word_stdUpx(const uint8_t *std, uint32_t size, uint32_t k, WordReader *reader);
// Resolves one style with its base chain (no recursion). 0 or the first
// error of its modifiers.
[[nodiscard]] int Word_buildStyle(uint32_t istd, WordReader *reader);
// Applies a character style's list to chp (only sgc 2 styles change it).
[[nodiscard]] int Word_applyStyleChpx(uint32_t istd, WordChp *chp, WordReader *reader);

// ------------------------------------------- sections, headers and footers

[[nodiscard]] int Word_readSections(WordReader *reader);
[[nodiscard]] int Word_readHeaderTable(WordReader *reader);
[[nodiscard]] int Word_sectionAtCp(uint32_t cp, uint32_t *start, uint32_t *end, WordReader *reader);
// Applies the section's SEPX (kind 11) and, in a complex file, its last
// piece's modifier (kind 12). 3843 when no section or piece holds cp.
[[nodiscard]] int Word_readSectionProps(uint32_t cp, WordSep *sep, WordReader *reader);
[[nodiscard]] int Word_isSectionMark(uint32_t cp, uint32_t *flag, WordReader *reader);
// The absolute CP range of header/footer story kind (0-5: even header, odd
// header, even footer, odd footer, first header, first footer) of a
// section; (0, 0) when it has none. 3844 for an unknown wIdent.
[[nodiscard]] int Word_headerRange(uint32_t section, uint32_t kind, uint32_t *start, uint32_t *end,
                                   WordReader *reader);
// An absolute CP made relative to sub-document subdoc. 3851 above 7.
[[nodiscard]] int Word_cpInSubdoc(uint32_t subdoc, uint32_t cp, uint32_t *relative,
                                  const WordFib *fib);

// -------------------------------------------------------------- bookmarks

// Load step: a malformed table leaves the document without bookmarks. 1,
// 3844.
[[nodiscard]] int Word_readBookmarks(WordReader *reader);
// One u16 (wide) or u8 of a string table; 0 when not enough bytes remain.
int Word_sttbReadUnit(const uint8_t **cursor, uint32_t *remaining, uint32_t wide, uint32_t *value);
void Word_bookmarksFree(WordReader *reader);
// Sets the range and the cursors: starts in [start, end), ends in (start, end].
void Word_bookmarksForRange(WordReader *reader, uint32_t start, uint32_t end);
// The name (lent), or null.
const char16_t *Word_bookmarkName(WordReader *reader, uint32_t index);
// The bookmark at the start cursor when it starts at cp (below limit), else
// Word_noBookmark.
uint32_t Word_bookmarkStartAt(WordReader *reader, uint32_t cp, uint32_t limit);
// The ends-array index at the end cursor when that bookmark ends at cp
// (below or at limit), else Word_noBookmark.
uint32_t Word_bookmarkEndAt(WordReader *reader, uint32_t node, uint32_t cp, uint32_t limit);
// Records the node of a placed start and advances the start cursor.
void Word_bookmarkStarted(WordReader *reader, uint32_t nodeId, uint32_t index);
// Advances the end cursor past pair.
void Word_bookmarkEnded(WordReader *reader, uint32_t pair);

// ------------------------------------------------------------------ lists

// Load step: the list table, then the override table. 0, 1, 3861, 3843.
[[nodiscard]] int Word_readLists(WordReader *reader);
// The list definitions with their levels (Word 6/95: the four fixed
// lists). The table is read by its own length (lcbPlfLst) and its levels
// from just after it, within the table stream. 0, 1, 3861; read errors.
[[nodiscard]] int Word_readListTable(WordReader *reader);
// The override table, read by its own length (lcbPlfLfo) within the table
// stream. 0, 1, 3843; read errors. On failure no override table is kept.
[[nodiscard]] int Word_readLfoTable(WordReader *reader);
// The index of the list with lsid. 3849 when none has it.
[[nodiscard]] int Word_findList(uint32_t lsid, uint32_t *index, const WordReader *reader);
// Sets a level's counter to its start, clearing its used flag and its
// override in force. 3848 for an index out of range; nothing for an
// absent level.
[[nodiscard]] int Word_listLevelReset(uint32_t list, uint32_t level, WordReader *reader);
[[nodiscard]] int Word_listReset(uint32_t list, WordReader *reader);
// Replaces level `level` of the list of LFO number kind (1 and 2 outline,
// 3 numbered, 4 bulleted) with one made from an older auto-number
// descriptor; text is the descriptor's number text (32 characters).
[[nodiscard]] int Word_anldToLevel(const WordAnlv *lv, const char16_t *text, uint32_t kind,
                                   uint32_t level, WordReader *reader);
// Makes the nine levels of the outline list from nine older list-level
// descriptors and their number text.
[[nodiscard]] int Word_olstToLevels(const WordAnlv *levels, uint32_t restart, const char16_t *text,
                                    WordReader *reader);
// The number text of a paragraph (*text null and *chp unset when it has
// none) and its character record; the paragraph's indents and tab stops
// may change. The text is a new NUL-terminated string (Mem_free), *length
// its characters. 0, 1, 3844, 3862.
[[nodiscard]] int Word_listNumberText(WordPap *pap, char16_t **text, uint32_t *length, WordChp *chp,
                                      WordReader *reader);
void Word_listLevelFree(WordListLevel *level);
void Word_listTableFree(WordReader *reader);
void Word_lfoTableFree(WordReader *reader);
