// The sheet grid: the record a worksheet reaches the document tree with.
//
// A worksheet is one grid record node (node type 10) whose record is a
// SheetGrid: the sheet's metrics, its cells, fills, border segments and
// cell formats, ready for the grid layout (spreadsheet/gridlayout.h), which only
// reads it. The spreadsheet importer allocates a SheetMetrics and a
// SheetGrid, fills the metrics, calls Excel_gridLayoutCreate, fills the
// tables, chains and lists and hands the grid to the node; from then on the
// grid goes with Excel_gridLayoutFree (the node calls it when it goes). If
// creation fails the importer frees both records and the metrics arrays
// itself.
//
// Nothing here locks: the grid is built on the loading thread before the
// document can show it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/reader/sheet.h"

struct ExcelWorkbook;
struct StyleRule;

enum : uint32_t {
    SheetGrid_maxRows = 65536,       // the row limit a cell outside every merged range reports
    SheetGrid_maxColumns = 256,      // the column limit likewise
    SheetGrid_paletteSize = 57,      // colour words of the drawing palette
    SheetGrid_minColumnWidth = 3494, // what a column of raw width 0 is wide
};

// The metrics of a sheet, built by the importer. Lengths are layout units
// (16.16 inches).
struct SheetMetrics {
    int32_t totalHeight; // the sum of the row heights
    int32_t totalWidth;  // the sum of the column widths (Excel_colWidthsCompute)
    int32_t defaultRowHeight;
    int32_t importerWord;
    int32_t defaultColumnChars; // default column width in characters
    int32_t scale;              // layout units per character
    uint32_t rowCount;
    uint32_t columnCount;
    uint16_t *rawWidths;    // per column, 1/256 of a character (0 to 65280)
    uint32_t *rowPositions; // per row: from the grid's top to the row's bottom
    uint32_t *columnWidths; // per column, layout units
    int32_t lastWord;       // set to 15 by the importer
};

// A border segment of a row (horizontal, along the row's top edge) or of a
// column (vertical, along its left edge): from start to end (columns or
// rows, inclusive), its line kind (0: no line), its colour index and the
// rotation angles at its two ends (vertical segments use the first).
struct GridSegment {
    uint32_t start;
    uint32_t end;
    uint32_t kind;
    uint8_t colour;
    int16_t angleStart;
    int16_t angleEnd;
};

struct GridEdgeList {
    uint32_t count;
    GridSegment *segments; // owned
};

// The per-column lists (column count + 1: the last one runs along the
// right edge of the last column) and the per-row lists (row count + 1).
struct EdgeListTable {
    GridEdgeList *columns; // owned
    GridEdgeList *rows;    // owned
};

struct GridCorner {
    uint32_t row;
    uint32_t column;
};

// A fill: the rectangle from the first corner to the second (none: a
// single cell), two colour indexes, a pattern kind (0 and 1 solid, 2 and
// above the blend of the two colours) and the rotation angles of the
// cell's left and right edges (none: upright).
struct GridFillEntry {
    GridCorner first;
    GridCorner *second; // owned, may be null
    uint8_t colour1;
    uint8_t colour2;
    uint8_t pattern;
    uint8_t spare;
    int16_t *angles; // owned pair, may be null
};

struct GridFillTable {
    uint32_t count;
    GridFillEntry *entries; // owned
};

// A merged range, inclusive at both ends.
struct SheetMergedRange {
    int32_t firstColumn;
    int32_t firstRow;
    int32_t lastColumn;
    int32_t lastRow;
};

// The cells in row and column order (the sheet store's entries: format
// index in rule, XF in xf, kind 4 a formatted blank, kind 128 a text the
// entry does not own, the overflow chain in next) and the merged ranges.
struct SheetCellTable {
    uint32_t count;
    ExcelCell *cells;         // owned
    SheetMergedRange *merged; // owned, may be null
    uint16_t mergedCount;
};

// One style rule per cell format (null: the format has none).
struct SheetFormatTable {
    uint16_t count;
    StyleRule **rules; // owned array; the rules are destroyed with it
};

// A formula of the sheet: its token bytes (owned when length is not 0).
struct SheetFormula {
    uint32_t words[2];
    uint8_t *tokens;
    uint16_t length;
    // Bytes after the tokens in the same block (array constants' values,
    // area lists), written back after them.
    uint16_t extra;
    SheetFormula *next;
};

// A shared formula, array formula or table of the sheet, keyed by its
// anchor cell (the cell whose ptgExp or ptgTbl token the members hold):
// the record it came from (0x04BC SHRFMLA, 0x0221 ARRAY, 0x0236 TABLE),
// the cells it covers and its bytes (owned): a shared formula's tokens
// re-based to the anchor, an array's or table's whole record body.
struct SheetSharedFormula {
    uint32_t words[2]; // anchor row, column
    uint16_t type;
    uint32_t range[4]; // first row, last row, first column, last column
    uint8_t *tokens;
    uint32_t length;
};

// The values of the loaded cells that show a number, a truth value or an
// error: the cell entries keep only their display texts, and formulas and
// charts need the values behind them. One key word and one double per
// cell, sorted by row, then column: key = kind << 24 | row << 8 | column,
// the kind an edit's value kind (1 boolean, 2 integer, 3 number, 4 error
// with its BIFF code as the value), 0 for a value that a later edit of
// its cell has replaced. Kept by the sheet store (sheetstore.h).
struct SheetValueTable {
    uint32_t count;
    uint32_t capacity;
    uint32_t *keys; // owned
    double *values; // owned
};

// Records of a tagged list: four words of the caller and a payload copied
// behind the record. The tag of a node disposes of its records (null:
// nothing is called); the record itself is freed afterwards.
struct TaggedRecord {
    TaggedRecord *next;
    intptr_t words[4];
    // the payload follows
};
typedef void (*TaggedDisposeFn)(TaggedRecord *record);
struct TaggedNode {
    TaggedNode *next;
    TaggedDisposeFn tag;
    TaggedRecord *first;
};

struct SheetGrid {
    SheetMetrics *metrics;         // owned
    EdgeListTable *edgeLists;      // owned
    GridFillTable *fillTable;      // owned
    SheetCellTable *cellTable;     // owned
    SheetFormatTable *formatTable; // owned
    ExcelCellEdit *widthCells;     // owned: the pending edits, sorted by (row, column); their
                                   // texts are rebuilt when their column's width changes
    SheetFormula *formulaCells;    // owned chain
    uint32_t mode;                 // 0 to 3, set by the importer
    uint32_t counter;              // counted up by the importer
    TaggedNode *taggedLists;       // owned chain
    uint32_t rightToLeft;          // 1: the grid is mirrored
    ExcelWorkbook *workbook;       // the workbook that lists this grid, or null
    // The drawing palette (0xAABBGGRR), filled by the importer from the
    // workbook's colours; an index past the end reads entry 0.
    uint32_t palette[SheetGrid_paletteSize];
    // How values given later are formatted (Excel_fmtShowZero from the
    // sheet's window options, Excel_fmtDate1904 from the workbook), set
    // by the importer.
    uint32_t displayFlags;
    SheetSharedFormula *sharedFormulas; // owned array, sharedCount entries
    uint32_t sharedCount;
    SheetValueTable values; // the loaded cells' values (owned arrays)
};

// The index of the first entry of the cell table (sorted by row, then
// column) at or after (row, column): the cell's own entry when it has
// one, else where it would go. 0 for a null table.
uint32_t Excel_cellTableIndex(const SheetCellTable *table, uint32_t row, uint32_t column);

// Initialises a caller-allocated grid over a metrics record: empty tables,
// one empty edge list per row and column plus one each way. 0, or 1 for a
// null grid or metrics record or when memory runs out (whatever was made is
// released; the caller still owns the grid and the metrics).
[[nodiscard]] int Excel_gridLayoutCreate(SheetMetrics *metrics, SheetGrid *grid);
// Releases everything the grid holds but its metrics record and the grid
// itself; every table field ends null.
void Excel_gridLayoutClear(SheetGrid *grid);
// Clears the grid, frees its metrics record with its three arrays, then
// the grid. Null is ignored.
void Excel_gridLayoutFree(SheetGrid *grid);
// The same for the untyped record a grid record node holds: the free
// routine handed with the grid to Edr_Node_createRecordRef.
void Excel_gridRecordFree(void *record);
// Frees the formula chain, the width-dependent cells and the tagged lists
// (calling each node's tag on its records).
void Excel_gridLayoutFreeLists(SheetGrid *grid);
// Column width = scale x raw / 256 + 3494 for every column, and the total
// width their sum. Nothing for a missing grid or metrics record or a scale
// of 0 or below.
void Excel_colWidthsCompute(SheetGrid *grid);
// Removes the grid's sheet entry from its workbook (freeing the workbook
// when nothing but modules and macro sheets remain) and clears the link.
void Excel_gridDetachWorkbook(SheetGrid *grid);
