// The workbook record: what stays of a workbook after loading.
//
// It holds the shared strings, fonts, XF (cell format) table, number
// formats, palette, built-in styles, external references and the list of
// the workbook's items (worksheets, charts, VB modules, macro sheets). Its
// life is tied to its items: the record is freed when only VB modules and
// macro sheets are left, so it lives as long as any worksheet or chart
// refers to it. This module also parses the FONT, FORMAT and XF records of
// BIFF5 and BIFF8 workbooks into it and resolves the XFs' font and format
// references.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/format/palette.h"

struct EngineContext;
struct EscherDrawingGroup;
struct OleHandle;
struct ExcelSheet;
struct XlsChart;
struct RecListEntry;

enum : uint32_t {
    Excel_biff5 = 0x0500,          // BIFF5/BIFF7 version word
    Excel_biff8 = 0x0600,          // BIFF8 version word
    Excel_formatMaxIndex = 1024,   // highest index of the format table
    Excel_builtinFormatCount = 50, // slots of the built-in formats
    Excel_defaultXf = 15,          // the default cell XF
};

// Kinds of workbook items.
enum ExcelItemKind : uint32_t {
    Excel_itemWorksheet = 0,  // payload: the sheet store (ExcelSheet)
    Excel_itemWorkbook = 1,   // the workbook itself; no payload
    Excel_itemChart = 2,      // payload: the chart record (XlsChart)
    Excel_itemChartSheet = 3, // payload: the chart record
    Excel_itemModule = 4,     // VB module; payload: an ExcelExtent
    Excel_itemMacroSheet = 5, // payload: an ExcelExtent
};

// A stretch of the workbook stream: {stream position, length}.
struct ExcelExtent {
    uint32_t start;
    uint32_t length;
};

struct ExcelBookItem {
    ExcelBookItem *next;
    uint32_t kind; // ExcelItemKind
    void *payload;
    RecListEntry *records[2][2]; // two raw-record lists: {head, tail} each
    EscherDrawingGroup *drawing; // the item's OfficeArt drawing group, or null
    char16_t *name;              // owned copy, may be null
};

// A formatting run of a shared string: from character first on, font font.
struct ExcelRun {
    uint32_t first;
    uint16_t font;
};

struct ExcelSstEntry {
    char16_t *text; // owned
    int16_t runCount;
    ExcelRun *runs; // owned, runCount entries
    uint32_t unused;
    uint32_t refs; // reference count
};

// A font entry; its name follows it in the same block.
struct ExcelFont {
    uint16_t height;     // twentieths of a point
    uint16_t weight;     // 100-1000 (400 normal, 700 bold)
    uint32_t colourSlot; // palette entry of its colour index (Excel_Palette_slot)
    uint16_t escapement; // 0 none, 1 superscript, 2 subscript
    uint8_t underline;   // 0, 1 single, 2 double, 0x21, 0x22 accounting
    uint16_t options;    // bit 1 italic, bit 3 strikeout
    uint8_t wideName;    // the name was stored with 16-bit characters
    char16_t *name;      // NUL-terminated, inside the entry's block
};

enum : uint16_t {
    Excel_fontItalic = 0x0002,
    Excel_fontStrikeout = 0x0008,
};

// Border sides of an XF.
enum : uint32_t {
    Excel_borderLeft = 0,
    Excel_borderRight = 1,
    Excel_borderTop = 2,
    Excel_borderBottom = 3
};

// An XF entry. Colours are palette entries (Excel_Palette_slot).
struct ExcelXf {
    uint16_t fontIndex;
    const ExcelFont *font; // resolved by Excel_resolveXfRefs
    uint16_t formatIndex;
    const char16_t *format; // resolved by Excel_resolveXfRefs
    uint8_t locked;
    uint8_t hidden;
    uint8_t styleXf;
    uint16_t parent;    // parent XF index (bits 4-15 of the options)
    uint16_t alignment; // bits 0-2 horizontal, 3 wrap, 4-6 vertical; high byte rotation
    uint8_t indent;
    uint8_t shrinkMerge;    // bits 6-7 of the word at offset 8 (BIFF8)
    uint8_t borderStyle[4]; // left, right, top, bottom
    uint8_t borderColour[4];
    uint8_t diagonal; // bit 0 down, bit 1 up
    uint8_t diagonalStyle;
    uint8_t diagonalColour;
    uint8_t pattern; // fill pattern 0-18
    uint8_t patternFg;
    uint8_t patternBg;
};

// Horizontal alignment of an XF (bits 0-2 of the alignment word).
enum : uint32_t {
    Excel_alignGeneral = 0,
    Excel_alignWrap = 0x0008,
};

// A supporting book (SUPBOOK) as read: a body of 4 bytes is the workbook
// itself.
struct ExcelSupBook {
    uint8_t *body; // owned
    uint32_t length;
};

// An EXTERNSHEET entry.
struct ExcelExternEntry {
    uint16_t book;
    uint16_t first;
    uint16_t last;
};

struct ExcelPendingText {
    ExcelPendingText *next;
    char16_t *text;
};

struct ExcelWorkbook {
    ExcelBookItem *items; // the first item is the workbook itself
    ExcelFont **fonts;    // shared with the load
    uint16_t fontCount;
    ExcelSstEntry *sst;
    uint32_t sstCount;
    uint32_t *styles; // built-in style words
    uint32_t styleCount;
    ExcelXf *xfs;
    uint32_t xfCount;
    uint32_t xfCapacity;
    char16_t **formats; // indexed by format index, 0 to 1024
    uint32_t formatCount;
    ExcelPalette palette; // every byte 0xFF until filled
    ExcelSupBook *supBooks;
    uint32_t supBookCount;
    ExcelExternEntry *externSheets;
    uint32_t externSheetCount;
    ExcelPendingText *pending; // texts waiting to be freed
    char16_t *url;             // the document URL
    RecListEntry *recHead;     // the globals raw-record list for the writer
    RecListEntry *recTail;
    uint32_t date1904; // 1: serial dates count from 1904-01-01 (DATEMODE)
    // The file the kept records point into, held open once a save has
    // replaced it at its path (its bytes stay readable); closed with the
    // workbook. Null until then.
    OleHandle *heldSource;
};

// -------------------------------------------------------- record and items

// Creates an empty workbook record with its own item (kind 1) into *out.
// 0 (also when *out is already set: nothing is made); 16 for a null out;
// 1 when memory runs out.
[[nodiscard]] int Excel_workbookCreate(ExcelWorkbook **out);

// A new item of kind 0-5 with a copy of name (may be null); null for other
// kinds or when memory runs out.
ExcelBookItem *Excel_bookItemCreate(uint32_t kind, void *payload, const char16_t *name);

// Appends the item at the end of the list. 0; 16 for null arguments.
[[nodiscard]] int Excel_bookAddItem(ExcelWorkbook *workbook, ExcelBookItem *item);

// Adds a worksheet (kind 0), a chart (kind 3 for a chart sheet, else 2) or
// an extent (kinds 4 and 5) under name; *out lends the new item. 16 for
// null arguments (and a kind other than 4 or 5 for extents), 1 when
// memory runs out.
[[nodiscard]] int Excel_bookAddSheet(ExcelWorkbook *workbook, ExcelSheet *sheet,
                                     const char16_t *name, ExcelBookItem **out);
[[nodiscard]] int Excel_bookAddChart(ExcelWorkbook *workbook, XlsChart *chart, const char16_t *name,
                                     int isSheet, ExcelBookItem **out);
[[nodiscard]] int Excel_bookAddExtent(uint32_t kind, ExcelWorkbook *workbook, ExcelExtent *extent,
                                      const char16_t *name, ExcelBookItem **out);

// Unlinks and frees the item. When only items of kinds 4 and 5 are left,
// frees those and the whole workbook (the caller's pointer is then
// dangling). 0; 16 for null arguments; 19 when the item is not in the list.
int Excel_bookRemoveItem(ExcelWorkbook *workbook, ExcelBookItem *item);

// Removes the item of a worksheet, of a chart, or the workbook's own item.
void Excel_sheetDetach(ExcelWorkbook *workbook, ExcelSheet *sheet);
void Excel_chartDetach(ExcelWorkbook *workbook, XlsChart *chart);
void Excel_workbookRelease(ExcelWorkbook *workbook);

// Frees an item: the extent of kinds 4 and 5, the raw-record lists, the
// drawing group and the name. Null does nothing.
void Excel_bookItemFree(ExcelBookItem *item);

// The items of kinds 2 and 3 in list order: a new array (freed by the
// caller) and its count; an empty result is null and 0. 1 when memory runs
// out; 16 for null arguments.
[[nodiscard]] int Excel_bookCharts(const ExcelWorkbook *workbook, ExcelBookItem ***out,
                                   uint32_t *count);

// The item of the list whose name equals name; null when none.
ExcelBookItem *Excel_bookFindByName(ExcelBookItem *head, const char16_t *name);

// The index-th item among kinds 0, 2, 4 and 5; the same when it is a
// worksheet (else null); the worksheet item whose payload is sheet.
ExcelBookItem *Excel_bookSheetAt(const ExcelWorkbook *workbook, uint32_t index);
ExcelBookItem *Excel_bookWorksheetAt(const ExcelWorkbook *workbook, uint32_t index);
ExcelBookItem *Excel_bookItemOfSheet(const ExcelWorkbook *workbook, const ExcelSheet *sheet);

// Resolves EXTERNSHEET entry index to the first sheet item it names and
// the number of sheets (last - first + 1) when its supporting book is the
// workbook itself. 0; 8 when the index or the book is out of range, the
// book is external or the sheet does not exist; 16 for null arguments.
int Excel_bookExternSheet(const ExcelWorkbook *workbook, uint32_t index, uint32_t *count,
                          ExcelBookItem **out);

// The EXTERNSHEET indexes whose first sheet is item through the
// workbook's own supporting book: a new array (freed by the caller, null
// when empty) and its count. 1 when memory runs out; 19 when the item is
// not in the list; 16 for null arguments.
[[nodiscard]] int Excel_bookRefsTo(const ExcelWorkbook *workbook, const ExcelBookItem *item,
                                   uint32_t *count, uint16_t **indices);

// ---------------------------------------------------------- shared strings

// Replaces the shared-string table by entries (taken over); the old one is
// freed.
void Excel_sstSet(ExcelWorkbook *workbook, ExcelSstEntry *entries, uint32_t count);
// Frees a table's texts, runs and array.
void Excel_sstFree(ExcelSstEntry *entries, uint32_t count);
// One reference more or less on entry index; at zero its text moves to the
// pending-free list and its runs are freed. Indexes outside the table are
// ignored.
void Excel_sstAddRef(ExcelWorkbook *workbook, uint32_t index);
void Excel_sstRelease(ExcelWorkbook *workbook, uint32_t index);
// The index of an entry with equal text and runs, else entry is appended
// (taken over, its reference count 0). When an equal entry exists the
// caller keeps entry. 0; 16 for null arguments; 1 when memory runs out.
[[nodiscard]] int Excel_sstAdd(ExcelWorkbook *workbook, ExcelSstEntry *entry, uint32_t *index,
                               int *taken);

// ------------------------------------------------------- formats, XFs, styles

// Stores text (taken over, may be null) as format index, freeing a text
// that was there; the table grows with empty slots. 14 for an index above
// 1024 (the text is freed); 16 without a workbook (the text is freed);
// 1 when memory runs out (the text is freed).
int Excel_formatSet(ExcelWorkbook *workbook, uint32_t index, char16_t *text);

// Appends a copy of the XF and returns its index; with merge, the index of
// an equal XF when there is one. -1 when memory runs out or the table
// holds 65535 entries.
int32_t Excel_xfAdd(ExcelWorkbook *workbook, const ExcelXf *xf, int merge);

// 1 when the two XFs are equal in every field.
int Excel_xfEqual(const ExcelXf *a, const ExcelXf *b);

// Appends a built-in style word. 0; 1 when memory runs out; 16 without a
// workbook.
int Excel_styleAdd(ExcelWorkbook *workbook, uint32_t word);

// True when an empty cell of this XF shows something: a fill or a border.
bool Excel_xfShows(const ExcelXf *xf);
// The rotation of an XF in degrees: 0 for 255 (stacked), 0-90 as they are,
// 91-180 as 90 - value.
int32_t Excel_xfRotation(const ExcelXf *xf);
// The horizontal alignment keyword of rotated text: 86 (left) for -90 and
// for 0 to 89 degrees, 117 (right) for 90 and the other negative angles.
uint32_t Excel_rotationAlignKeyword(int32_t degrees);
// 209 (pre-wrap) when the XF's wrap bit is set, else 104 (nowrap).
uint32_t Excel_xfWrapKeyword(const ExcelXf *xf);

// ------------------------------------------------------------------ parsers

// A FORMAT record's index and text.
struct ExcelFormatRecord {
    uint16_t index;
    char16_t *text; // owned by the caller
};

// Parse a FONT, FORMAT or XF body of length bytes of a BIFF version
// (Excel_biff5 or Excel_biff8). *out is cleared first; a font is a new
// block freed with Mem_free. 0; 16 for null arguments; 12544 for a body
// too short for its fields; 1 when memory runs out.
[[nodiscard]] int Excel_parseFont(const uint8_t *body, size_t length, ExcelFont **out,
                                  uint32_t version);
[[nodiscard]] int Excel_parseFormat(const uint8_t *body, size_t length, ExcelFormatRecord *out,
                                    uint32_t version);
[[nodiscard]] int Excel_parseXf(const uint8_t *body, size_t length, ExcelXf *out, uint32_t version);

// Fills each XF's font and format from the tables: font index f is slot
// f - 1 when f is 4 or more (index 4 does not exist), else f; format index
// i is slot i, and a format whose text is exactly "GENERAL" becomes format
// 0. 0; 12562 for a null XF table; 12563 when a font index has no font.
int Excel_resolveXfRefs(ExcelXf *xfs, uint32_t count, ExcelFont *const *fonts, uint32_t fontCount,
                        char16_t *const *formats, uint32_t formatCount);

// Fills format slots 0-49 with the built-in codes, then takes formats 14
// and 22 from "Vexlan_excelLocaleDateShort" and
// "Vexlan_excelLocaleDateAndTime" when they are set. 0; 16 without a
// workbook; 1 when memory runs out.
[[nodiscard]] int Excel_addBuiltinFormats(EngineContext *context, ExcelWorkbook *workbook);

// The colour of a palette entry into out (red, green, blue, 255): entries
// 0-55 give the palette's colour (1); 63, 64 and 127 give black (1); 65
// gives white (1); any other index gives black and 0.
int Excel_paletteColour(uint8_t *out, const ExcelPalette *palette, uint32_t index);

// The EXTERNSHEET and SUPBOOK records as read into the workbook: the
// supporting book body is copied. 0; 1 when memory runs out; 16 for null
// arguments.
[[nodiscard]] int Excel_bookAddSupBook(ExcelWorkbook *workbook, const uint8_t *body,
                                       uint32_t length);
[[nodiscard]] int Excel_bookAddExternSheet(ExcelWorkbook *workbook, uint16_t book, uint16_t first,
                                           uint16_t last);
