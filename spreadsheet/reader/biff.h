// The BIFF record stream of an Excel workbook: the substream walk, the
// workbook globals and the worksheet records, read into the workbook record
// (spreadsheet/reader/workbook.h) and one load-time cell store per
// worksheet.
//
// BIFF5/BIFF7 (version 0x0500) and BIFF8 (0x0600) workbooks are read from
// the compound-file stream "Workbook", or "Book" when there is none. Record
// header: u16 type, u16 body length, little-endian; long bodies continue in
// CONTINUE records (0x003C).
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/reader/workbook.h"

struct EngineContext;
struct ExcelLoad;
struct OleHandle;
struct OleStream;

// Load failures.
enum : int {
    Excel_errMalformed = 12544,  // not a BOF where one must be, a missing CONTINUE, a bad body
    Excel_errNoStream = 12545,   // neither "Workbook" nor "Book"
    Excel_errVersion = 12550,    // a BIFF version other than 0x0500, 0x0600, 0x0680
    Excel_errEncrypted = 12552,  // FILEPASS
    Excel_errBiff4 = 12556,      // BIFF version 0x0680
    Excel_errDrawingGroup5 = 17, // MSODRAWINGGROUP in a BIFF5 workbook
};

// BOF substream types.
enum : uint16_t {
    Excel_subGlobals = 0x0005,
    Excel_subModule = 0x0006,
    Excel_subWorksheet = 0x0010,
    Excel_subChart = 0x0020,
    Excel_subMacro = 0x0040,
    Excel_subWorkspace = 0x0100,
};

struct ExcelRecordHeader {
    uint16_t type;
    uint16_t length;
};

struct ExcelBof {
    uint16_t version;
    uint16_t type;
};

// Kinds of a load-time cell value.
enum : uint32_t {
    Excel_valBlank = 0,
    Excel_valBoolean = 1,
    Excel_valInteger = 2,
    Excel_valNumber = 3,
    Excel_valError = 4,
    Excel_valString = 5,
    Excel_valFiller = 8, // a column slot no record filled
};

// A load-time cell value. For kind 5 the text is a copy of the
// shared-string entry (sst >= 0, lent) or the cell's own text (sst -1,
// owned).
struct ExcelCellValue {
    uint16_t xf;
    uint32_t kind;
    int32_t sst;
    union {
        uint8_t boolean;
        int32_t integer;
        double number;
        const char *error; // static error text
        ExcelSstEntry text;
    } value;
    uint8_t errorCode; // the BIFF error code of kind 4
    uint8_t formula;   // 1: the cached result of a FORMULA record
};

// A load-time row: its column slots are indexed by column.
struct ExcelRow {
    uint16_t row;
    uint16_t first;  // lowest column holding a value
    uint16_t slots;  // number of column slots
    uint16_t height; // twentieths of a point; bit 15 set: default height
    uint16_t xf;
    uint16_t options;
    // A whole-row format (ROW options 0x0180): the XF its empty cells take
    // and the columns it covers (0: none); made into cells when the sheet
    // ends.
    uint16_t formatXf;
    uint16_t formatColumns;
    ExcelCellValue *cells;
};

// A cell that came before its ROW record.
struct ExcelStrayCell {
    ExcelStrayCell *next;
    uint16_t row;
    uint16_t column;
    ExcelCellValue value;
};

struct ExcelColInfo {
    ExcelColInfo *next;
    uint16_t first;
    uint16_t last;
    uint16_t width; // 1/256 character
    uint16_t xf;
};

struct ExcelRange {
    uint16_t firstRow;
    uint16_t lastRow;
    uint16_t firstColumn;
    uint16_t lastColumn;
};

struct ExcelNote {
    uint16_t row;
    uint16_t column;
    uint32_t position; // stream position of the NOTE record
    uint16_t objectId;
};

// A formula of the load-time store: its cell and tokens (owned). Shared
// formulas are already re-based to the cell.
struct ExcelLoadFormula {
    ExcelLoadFormula *next;
    uint16_t row;
    uint16_t column;
    uint16_t options;
    uint8_t *tokens;
    uint32_t length;
    // Bytes after the tokens in the same block: the values of array
    // constants and the area lists that some tokens leave to the end of
    // the formula.
    uint32_t extra;
};

// A SHRFMLA, ARRAY or TABLE record kept with its range and tokens.
struct ExcelSharedFormula {
    ExcelSharedFormula *next;
    uint16_t type; // record type
    ExcelRange range;
    uint8_t *tokens; // owned
    uint32_t length;
    uint32_t extra; // a SHRFMLA's bytes after its tokens, in the same block
};

// The load-time store of one worksheet.
struct ExcelLoadSheet {
    char16_t *header;
    char16_t *footer;
    double margins[4];         // left, right, top, bottom (inches)
    int32_t extent[4];         // first row, last row + 1, first column, last column + 1
    uint32_t defaultRowHeight; // 16.16 twentieths of a point
    uint16_t defaultColWidth;  // characters
    uint32_t *rowHeights;      // after Excel_finishSheet: one per used row
    uint16_t *colWidths;       // after Excel_finishSheet: one per used column (1/256 character)
    uint32_t rowTableCount;
    uint32_t colTableCount;
    ExcelRow **rows; // sorted by row number
    uint32_t rowCount;
    uint32_t rowCapacity;
    ExcelRow *lastRow; // the last row a cell went to
    ExcelStrayCell *strays;
    ExcelColInfo *colInfo;
    ExcelRange *merged;
    uint32_t mergedCount;
    ExcelNote *notes;
    uint32_t noteCount;
    ExcelLoadFormula *formulas;
    ExcelSharedFormula *shared;
    uint16_t window2Options;
    uint16_t topRow;
    uint16_t leftColumn;
    uint32_t gridColour;
    uint32_t widest;      // the widest row seen (slots)
    uint32_t objectCount; // OBJ records met: the entries of objects
    uint32_t unsupported; // 1 when a formula used a feature the reader does not model (code 42)
    // Kept beside the cells (spreadsheet/reader/sheetobj.h): objects with
    // their text objects, hyperlink records, and for BIFF8 the raw-record
    // lists {head, tail} of the records the writer copies and of the
    // MSODRAWING records. The layout hands the two lists to the sheet's
    // workbook item.
    struct ExcelObject *objects;
    struct ExcelLink *links;
    uint32_t linkCount;
    RecListEntry *kept[2];
    RecListEntry *drawing[2];
    struct ExcelSheetDrawing
        *drawingState; // the sheet's shapes (spreadsheet/reader/exceldraw.h), or null
};

// One BOUNDSHEET entry, in file order.
struct ExcelSheetEntry {
    ExcelSheetEntry *next;
    uint32_t position;     // stream position of the sheet's BOF
    uint32_t type;         // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    uint32_t visibility;   // 0 visible, 1 hidden, 2 very hidden
    ExcelLoadSheet *sheet; // worksheets: the cell store
    char16_t *name;        // owned
};

// ------------------------------------------------------------ records

// Reads and decodes a 4-byte record header; the read's error otherwise.
[[nodiscard]] int Excel_readRecordHeader(OleStream *stream, ExcelRecordHeader *out);
// 0 for versions 0x0500 and 0x0600; 12556 for 0x0680; 12550 for any
// other; 12544 for a body shorter than 4 bytes; 16 for null arguments.
[[nodiscard]] int Excel_parseBof(const uint8_t *body, size_t length, ExcelBof *out);
// Seeks past a body.
[[nodiscard]] int Excel_skipRecord(OleStream *stream, const ExcelRecordHeader *header);
// Decodes an RK number into *value (kind 2 or 3).
void Excel_decodeRk(uint32_t rk, ExcelCellValue *value);

// A body gathered with the bodies of the CONTINUE records that follow it:
// breaks lists where each continued body starts.
struct ExcelBody {
    uint8_t *data;
    uint32_t size;
    uint32_t *breaks;
    uint32_t breakCount;
    uint32_t pos;
};
// Reads the body of header and every CONTINUE body that follows (the first
// other header is pushed back). 0; 1 when memory runs out; read errors.
[[nodiscard]] int Excel_readContinued(OleStream *stream, const ExcelRecordHeader *header,
                                      ExcelBody *out);
void Excel_bodyFree(ExcelBody *body);

// Reads one string at body->pos into *out (a new text and runs, reference
// count 0): BIFF8 with a flags byte (and a new flags byte at each
// CONTINUE break inside the characters), BIFF5 without. 0; 12544 when the
// body ends inside the string; 1.
[[nodiscard]] int Excel_readRichString(ExcelBody *body, ExcelSstEntry *out, int biff8);

// A sheet name at bytes: u8 count, for BIFF8 a flags byte (bit 0: 16-bit
// characters), the characters; *length gives the bytes there and gets the
// bytes read; *name a new NUL-terminated text. 0; 16; 12544; 1.
[[nodiscard]] int Excel_readSheetName(const uint8_t *bytes, size_t *length, char16_t **name,
                                      uint32_t version);
// Parses a BOUNDSHEET body into a new entry. 0; 16; 12544; 1.
[[nodiscard]] int Excel_parseBoundSheet(const uint8_t *body, size_t length, ExcelSheetEntry **out,
                                        uint32_t version);

// ------------------------------------------------------- load-time store

// A new empty sheet store with its defaults. Null when memory runs out.
ExcelLoadSheet *Excel_loadSheetCreate();
// Frees the store and everything in it.
void Excel_sheetDataFree(ExcelLoadSheet *sheet);
// Frees what a value owns (an own string) and clears it to a blank.
void Excel_cellValueFree(ExcelCellValue *value);

// Stores a value (taken over, also on failure) at (row, column). 0; 1.
[[nodiscard]] int Excel_putCell(ExcelLoadSheet *sheet, ExcelCellValue *value, uint32_t row,
                                uint32_t column);
// The row record of that number, or null.
ExcelRow *Excel_rowsLookup(ExcelRow **rows, uint32_t count, uint32_t row);
// Inserts *row sorted; when the row exists, frees the new one and clears
// *row. 0; 1.
[[nodiscard]] int Excel_rowsInsert(ExcelLoadSheet *sheet, ExcelRow **row);
// Reallocates the row's slot array to its slot count and fills the slots
// from `from` on with fillers of the column's default XF. 0; 1 (the array
// as it was).
[[nodiscard]] int Excel_rowGrow(ExcelLoadSheet *sheet, ExcelRow *row, uint32_t from);
// Puts a value (taken over, also on failure) in the row's column slot,
// freeing a previous own string; a row without room grows to column + 1
// slots, or to the sheet's used columns when they carry a format of their
// own (below 257 columns), a row without slots to at least the widest row
// seen. 0; 8 for a column above 65534; 16 for null arguments; 1 (the row
// as it was).
[[nodiscard]] int Excel_rowPutCell(ExcelLoadSheet *sheet, ExcelRow *row, ExcelCellValue *value,
                                   uint32_t column);
// Bisection over rows sorted by number: the index of the row, or where it
// would be inserted.
uint32_t Excel_rowsIndex(ExcelRow *const *rows, uint32_t count, uint32_t row);
// The XF of the first column-information entry covering the column, else 15.
uint16_t Excel_colDefaultXf(const ExcelLoadSheet *sheet, uint32_t column);
// Stores the stray cells in their rows. 0; 1.
[[nodiscard]] int Excel_placeStrayCells(ExcelLoadSheet *sheet);
// Cuts the rows to the used extent and builds the row-height and
// column-width tables. 0; 1.
[[nodiscard]] int Excel_finishSheet(ExcelLoadSheet *sheet);
// Frees the rows at or below row `rows` and the slots at or right of
// column `columns`, and bounds the extent and the size tables to them.
void Excel_trimSheet(ExcelLoadSheet *sheet, uint32_t rows, uint32_t columns);
// The value at (row, column), or null (no row, or beyond its slots).
const ExcelCellValue *Excel_loadCellAt(const ExcelLoadSheet *sheet, uint32_t row, uint32_t column);

// Reads worksheet records up to the EOF into sheet and finishes it. 0 or
// a load failure.
[[nodiscard]] int Excel_readSheet(ExcelLoad *load, ExcelLoadSheet *sheet);

// ----------------------------------------------------------- the walk

// Reads the workbook stream of an open compound file into load: the
// globals into load->workbook (created here unless set) and every
// worksheet into its entry's store (load->sheets). Charts, modules and
// macro sheets are passed over. 0 or a load failure; what was read stays
// in load, freed by Excel_loadFree.
[[nodiscard]] int Excel_readWorkbookStream(ExcelLoad *load, OleHandle *ole);
// Frees what the load holds (sheet entries, buffers, font rules) and
// releases its reference to the workbook record.
void Excel_loadFree(ExcelLoad *load);

// Formats a load-time value with its XF's number format into a new text
// (freed with Mem_free); width is the room of the cell (its column's raw
// width, 1/256 character), which limits General numbers, and the sheet's
// display of zero values (null sheet: zeros are shown). 0; 1; 16.
[[nodiscard]] int Excel_cellDisplayText(const ExcelLoad *load, const ExcelLoadSheet *sheet,
                                        const ExcelCellValue *value, uint32_t width,
                                        char16_t **out);
// The raw width (1/256 character) of a column of a finished sheet: the
// sum over a merged range holding the cell, 2048 beyond the used columns.
uint32_t Excel_cellWidth(const ExcelLoadSheet *sheet, uint32_t row, uint32_t column);
