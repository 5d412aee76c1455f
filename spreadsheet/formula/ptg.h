// Formula tokens and references.
//
// Formulas are held as the BIFF8 file stores them: a byte string of parsed
// tokens (ptgs) in reverse Polish order. This module knows the token set:
// class folding, the size of every token (variable ones included), the
// scanner that walks a token string to its cell references, the iterator
// over the cells of an area, the 3-D reference tokens (read, written and
// converted from the BIFF5 layout), the tables of external workbooks and
// external sheets that the writer keeps, the reference lists of chart
// series and the conversion of BIFF5 chart records for the writer.
//
// Every walk checks a token's whole size against what is left of the
// string before it reads the token's operands.
#pragma once

#include <cstddef>
#include <cstdint>

struct ExcelPalette;
struct ExcelWorkbook;
struct StrTable;

// Folded token ids the spreadsheet code names.
enum ExcelPtgId : uint8_t {
    Excel_ptgExp = 0x01,
    Excel_ptgTbl = 0x02,
    Excel_ptgStr = 0x17,
    Excel_ptgExtended = 0x18,
    Excel_ptgAttr = 0x19,
    Excel_ptgErr = 0x1C,
    Excel_ptgBool = 0x1D,
    Excel_ptgInt = 0x1E,
    Excel_ptgNum = 0x1F,
    Excel_ptgFunc = 0x21,
    Excel_ptgFuncVar = 0x22,
    Excel_ptgRef = 0x24,
    Excel_ptgArea = 0x25,
    Excel_ptgRefErr = 0x2A,
    Excel_ptgAreaErr = 0x2B,
    Excel_ptgRefN = 0x2C,
    Excel_ptgAreaN = 0x2D,
    Excel_ptgNameX = 0x39,
    Excel_ptgRef3d = 0x3A,
    Excel_ptgArea3d = 0x3B,
    Excel_ptgRefErr3d = 0x3C,
    Excel_ptgAreaErr3d = 0x3D,
};

// Attribute bytes of ptgAttr.
enum : uint8_t {
    Excel_attrVolatile = 0x01,
    Excel_attrIf = 0x02,
    Excel_attrChoose = 0x04,
    Excel_attrGoto = 0x08,
    Excel_attrSum = 0x10,
    Excel_attrSpace = 0x40,
};

// Token sizes in bytes (the id byte included) by folded id; the variable
// tokens ptgStr, ptgExtended and ptgAttr read 1 here.
extern const uint8_t Excel_Ptg_size[64];

// The folded id of a token id: 0x40-0x5F (value class) fold to id - 0x20,
// 0x60-0x7F (array class) to id - 0x40. -1 for an id of 0x80 or more.
int32_t Excel_Ptg_fold(uint32_t id);

// The size of the token at pos of a string of length bytes: by the table,
// or by the variable token's own rules. 0; 0x6600 for a bad id or
// attribute, or a token that does not fit in what is left of the string.
int Excel_Ptg_tokenSize(const uint8_t *tokens, size_t length, size_t pos, size_t *size);

// Advances *pos over tokens until it stands on a ptgRef, ptgArea, ptgRefN
// or ptgAreaN token (its folded id in *id). 0 with *pos = length at the end
// of the string (*id 0) or with a reference found; 0x6600 for a bad token.
int Excel_Ptg_nextRef(const uint8_t *tokens, size_t length, size_t *pos, uint8_t *id);

// A cell of a reference.
struct Excel_RefCell {
    uint32_t row;
    uint32_t column;
};

// The cells of an area token, row by row. Each axis is walked in its own
// direction: backwards when the first row (column) lies after the last.
struct Excel_AreaIter {
    uint16_t firstRow, firstColumn, lastRow, lastColumn;
    uint16_t row, column;
    int8_t rowStep, columnStep;
    uint8_t more; // cells remain after the current one
};

// Starts at the area token at tokens + *pos (9 bytes, checked by the
// caller's walk): its first cell into *cell. A one-cell area ends at once;
// ending moves *pos past the token unless keepPosition is set.
void Excel_AreaIter_begin(Excel_AreaIter *iter, const uint8_t *tokens, size_t *pos,
                          int keepPosition, Excel_RefCell *cell);
// The next cell; the last one clears more and moves *pos as above.
void Excel_AreaIter_next(Excel_AreaIter *iter, Excel_RefCell *cell, size_t *pos, int keepPosition);

// A 3-D reference token (0x3A-0x3D), BIFF8 layout.
struct Excel_Ref3d {
    uint8_t id;    // folded id; 0 when the token was no 3-D reference
    uint16_t ixti; // EXTERNSHEET index
    uint8_t firstColumnRelative, firstRowRelative;
    uint16_t firstRow;
    uint16_t firstColumn; // 14 bits
    uint8_t lastColumnRelative, lastRowRelative;
    uint16_t lastRow;
    uint16_t lastColumn;
};

// Reads the 3-D reference token at the start of tokens. 0 (ref->id 0 for
// any other token); 8 for a null ref or tokens; 0x6600 when the token does
// not fit in length bytes.
int Excel_Ref3d_read(const uint8_t *tokens, size_t length, Excel_Ref3d *ref);
// Writes the token (7 bytes for 0x3A and 0x3C, 11 for the areas) into
// buffer; *written is 0 for other ids. 16 for a missing argument.
int Excel_Ref3d_write(const Excel_Ref3d *ref, uint8_t *buffer, size_t *written);

// One external workbook of the writer; fileName null for this workbook.
struct Excel_SupBook {
    char *fileName;
    uint32_t sheetCount;
    char **sheetNames;
    Excel_SupBook *next;
};

struct Excel_ExternSheet {
    int32_t supbook;
    uint32_t firstSheet;
    uint32_t lastSheet;
};

// A pair of the BIFF5 sheet map: external index -> supporting book.
struct Excel_SheetMapEntry {
    uint32_t external;
    uint32_t supbook;
};

struct Excel_SheetMap {
    Excel_SheetMapEntry *entries;
    uint32_t count;
};

// The external-reference tables that the workbook writer keeps.
struct Excel_RefTables {
    const ExcelWorkbook *workbook; // for the workbook's own sheet names
    Excel_SupBook *supBooks;       // numbered from 0 in list order
    uint32_t supBookCount;
    Excel_ExternSheet *externSheets;
    uint32_t externSheetCount;
};

// The index of the EXTERNSHEET entry equal in all three fields; appended
// when there is none. 0; 1 when memory runs out; 16 for null arguments.
[[nodiscard]] int Excel_ExternSheet_find(Excel_RefTables *tables, int32_t supbook,
                                         uint32_t firstSheet, uint32_t lastSheet, uint32_t *index);
// The supporting book of this workbook, made on first need with the names
// of its sheets of kinds 0 and 2 in workbook order (8-bit copies).
[[nodiscard]] int Excel_SupBook_self(Excel_RefTables *tables, uint32_t *index);
// The supporting book of an external workbook by its exact file name,
// appended without sheet names when new.
[[nodiscard]] int Excel_SupBook_external(Excel_RefTables *tables, const char *fileName,
                                         uint32_t *index);
// Frees both tables.
void Excel_RefTables_free(Excel_RefTables *tables);

// Converts the BIFF5 3-D reference token at token (its *length bytes) in
// place into the BIFF8 layout and sets *length to the new size (7 or 11).
// The external index maps through sheetMap (unmapped: supporting book 0).
// 0; 0x6600 for a token too short or of another id; 1 when memory runs
// out; 16 for null arguments.
[[nodiscard]] int Excel_Ref3d_fromBiff5(uint8_t *token, size_t *length,
                                        const Excel_SheetMap *sheetMap, Excel_RefTables *tables);

// Kinds of reference arrays and of their items.
enum : uint32_t {
    Excel_refList = 1, // a list of items
    Excel_refArea = 2, // a rectangular area
    Excel_itemCleared = 0,
    Excel_itemCell = 3, // sheet name id and an owned cell
    Excel_itemError = 4,
    Excel_itemNumber = 5,
    Excel_itemText = 6, // an owned 16-bit string
};

struct Excel_RefItem {
    uint32_t kind;
    union {
        struct {
            uint16_t sheet;      // id in the array's sheet-name table
            Excel_RefCell *cell; // owned
        } ref;
        double number;
        char16_t *text; // owned
    } u;
};

// The values behind one chart series dimension.
struct Excel_RefArray {
    uint32_t kind;  // Excel_refList or Excel_refArea
    uint32_t count; // list items
    Excel_RefItem *items;
    uint16_t sheet;      // area: the sheet name id
    Excel_RefCell first; // area: first and last cell
    Excel_RefCell last;
    StrTable *names; // sheet names, interned
};

// A list of n cleared items; null when memory runs out.
Excel_RefArray *Excel_RefArray_create(uint32_t n);
void Excel_RefArray_free(Excel_RefArray *array);
// Set item i (the old payload freed first): 16 for a missing array or
// name, 8 when the array is not a list or i is out of range, 1 when memory
// runs out.
[[nodiscard]] int Excel_RefArray_setCell(const char16_t *sheetName, uint32_t row, uint32_t column,
                                         Excel_RefArray *array, uint32_t i);
[[nodiscard]] int Excel_RefArray_setError(Excel_RefArray *array, uint32_t i);
[[nodiscard]] int Excel_RefArray_setNumber(double value, Excel_RefArray *array, uint32_t i);
[[nodiscard]] int Excel_RefArray_setText(const char16_t *text, Excel_RefArray *array, uint32_t i);
// Turns the array into an area (its items freed). 16, 1 as above.
[[nodiscard]] int Excel_RefArray_setArea(const char16_t *sheetName, uint32_t firstRow,
                                         uint32_t firstColumn, uint32_t lastRow,
                                         uint32_t lastColumn, Excel_RefArray *array);
// List: the item count; area: rows x columns.
uint32_t Excel_RefArray_count(const Excel_RefArray *array);
// The k-th cell of an area, rows inner: row first + (k mod rows), column
// first + (k div rows).
Excel_RefCell Excel_RefArray_areaCell(const Excel_RefArray *array, uint32_t k);
// Item or area cell i as a number: numbers as they are, cells by the value
// the sheet holds (integers widened), anything else 0.0.
double Excel_RefArray_numberAt(const Excel_RefArray *array, uint32_t i,
                               const ExcelWorkbook *workbook);
// Item or area cell i as a new 16-bit string (freed by the caller):
// errors "#REF", texts a copy, cells their text; null otherwise.
char16_t *Excel_RefArray_textAt(const Excel_RefArray *array, uint32_t i,
                                const ExcelWorkbook *workbook);
// Calls fn(data, sheetName, cell) for the first cell item of a list, or
// for every cell of an area (rows outer, columns inner).
typedef void (*Excel_RefCellFn)(void *data, const char16_t *sheetName, const Excel_RefCell *cell);
[[nodiscard]] int Excel_RefArray_forEachCell(const Excel_RefArray *array, Excel_RefCellFn fn,
                                             void *data);

// Structural changes of a sheet.
enum ExcelRefChange : uint32_t {
    Excel_insertRows = 0,
    Excel_insertColumns = 1,
    Excel_deleteRows = 2,
    Excel_deleteColumns = 3,
};

// Shifts every cell (or the area) on the named sheet for count rows or
// columns inserted or deleted at index at. A reference that no longer
// exists becomes an error item (an area becomes a one-item list holding an
// error) and *alive is cleared. 0; 16 for null arguments; 1 when memory
// runs out.
[[nodiscard]] int Excel_RefArray_adjust(Excel_RefArray *array, uint32_t change,
                                        const char16_t *sheetName, uint32_t at, uint32_t count,
                                        int *alive);

// Appends value to a growable u32 list with a u16 count. 0 (a value of 0
// is not appended); 8 when the list is missing but the count is not 0; 14
// when the count is full; 1 when memory runs out.
[[nodiscard]] int Excel_U32List_append(uint32_t **list, uint16_t *count, uint32_t value);

// Brings a chart record of the older layout to BIFF8 in place (body holds
// capacity bytes; *length is updated): colours become palette indexes, 8-
// bit strings 16-bit ones, BIFF5 3-D references BIFF8 ones. Records not
// listed are left alone. 0; 17 when a listed record's length differs from
// its condition; 8 when the result would not fit in capacity; 16 for null
// arguments; the reference conversion's errors.
[[nodiscard]] int Excel_Chart_convertRecord(uint16_t type, uint8_t *body, size_t *length,
                                            size_t capacity, const ExcelPalette *palette,
                                            const Excel_SheetMap *sheetMap,
                                            Excel_RefTables *tables);
