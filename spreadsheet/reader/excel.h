// The Excel handler as the document-type registry sees it.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the Excel handler's descriptor: MIME matcher, sniffer, open. 0.
int Excel_describe(EngineContext *context, Edr_HandlerDesc *desc);

// A raw-record list entry of the BIFF8 reader (type, length and stream
// position of a record the writer copies, and an optional extent {start,
// length} of what a handler read beyond the body). Built by the workbook
// loader (spreadsheet/reader/reclist.cpp); a list is a head and a tail.
struct RecListEntry;

// Modes of RecList_append.
enum : uint32_t {
    RecList_prepend = 0,
    RecList_appendAtEnd = 1,
};

// Adds an entry {type, length, position} at the end (mode 1) or the front
// (mode 0) of the list; *out (may be null) lends it. 0; 8 for another
// mode; 16 for a null head or tail; 1 when memory runs out (the list is
// unchanged).
[[nodiscard]] int RecList_append(RecListEntry **head, RecListEntry **tail, uint32_t mode,
                                 uint16_t type, uint16_t length, uint32_t position,
                                 RecListEntry **out);
// The fields of an entry; each gives 0 (null) for a null entry, and the
// extent's start and length 0 when the entry has none.
RecListEntry *RecList_next(const RecListEntry *entry);
uint32_t RecList_type(const RecListEntry *entry);
uint32_t RecList_length(const RecListEntry *entry);
uint32_t RecList_position(const RecListEntry *entry);
uint32_t RecList_getStart(const RecListEntry *entry);
uint32_t RecList_getLength(const RecListEntry *entry);
// Set the extent's start or length, creating the extent on first use. 0;
// 16 for a null entry; 1 when memory runs out. RecList_setExtent sets both.
[[nodiscard]] int RecList_setStart(RecListEntry *entry, uint32_t start);
[[nodiscard]] int RecList_setLength(RecListEntry *entry, uint32_t length);
[[nodiscard]] int RecList_setExtent(RecListEntry *entry, uint32_t start, uint32_t length);

// Frees a raw-record list and clears its head and tail. Null pointers are
// fine.
void RecList_free(RecListEntry **head, RecListEntry **tail);

struct ExcelBookItem;
struct ExcelFont;
struct ExcelWorkbook;
struct Edr_Doc;
struct Edr_Node;
struct Request;
struct OleStream;
struct ExcelSheetEntry;
struct SheetGrid;
struct StyleRule;

// The workbook load record: what one load of a workbook keeps while it
// runs. Only the fields that the style rules use exist so far; the
// workbook loader adds its own.
struct ExcelLoad {
    EngineContext *context;
    uint32_t version;  // BIFF version of the globals (0x0500 or 0x0600)
    ExcelFont **fonts; // the font table, in record order
    uint16_t fontCount;
    uint16_t fontCapacity;
    ExcelWorkbook *workbook; // the persistent workbook record
    uint32_t charset;        // character set of 8-bit texts (a CharsetCode)
    StyleRule **fontRules;   // one rule per font (Excel_fontsToRules)
    uint16_t window2Options; // WINDOW2 options of the sheet being laid out
    // The document side: each sheet becomes a page (spreadsheet/reader/sheetpage.h).
    Edr_Doc *doc;
    Edr_Node *root;              // the sheet's root group
    Request *styleSheet;         // the spreadsheet style sheet (kind 2); null until built
    uint32_t nextElementId;      // the id the next page rule gets
    ExcelBookItem *currentSheet; // the sheet being built: one of the workbook's items
    // The record walk (spreadsheet/reader/biff.h).
    OleStream *stream;       // the workbook stream
    uint32_t date1904;       // 1 when the workbook counts dates from 1904
    ExcelSheetEntry *sheets; // BOUNDSHEET entries in file order
    uint32_t sheetCount;
    uint8_t *body; // the record body buffer
    uint32_t bodyCapacity;
    struct ExcelLoadSheet *layoutSheet; // the sheet whose page is being built
    struct ExcelDrawHost *draw; // the workbook's drawing (spreadsheet/reader/exceldraw.h), or null
};

// Adds the match key nextElementId with weight 10 to *rule and hands the
// rule to the style sheet: *id = that key, nextElementId goes up by one
// and *rule is cleared. On failure the rule is destroyed and *rule
// cleared. 0; 16 for null arguments or no style sheet; 1 when memory runs
// out.
[[nodiscard]] int Excel_Book_addElementRule(ExcelLoad *book, StyleRule **rule, uint32_t *id);

// Builds the sheet's cells into the page body. 0 or an error.
[[nodiscard]] int Excel_Sheet_buildGrid(ExcelLoad *book, SheetGrid *grid, Edr_Node *body);
