// The table grid builder: which row and column every cell of a table
// occupies, how many rows and columns the table has, its column styles and
// its caption. The results go into the layout extra records of the table's
// groups (LayoutExtra, layout/layout.h).
#pragma once

#include <cstdint>

#include "document/style/styleread.h"

struct EngineContext;
struct EventProc;
struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct SpanTracker;

// Display keywords of table parts (property 34).
enum : uint32_t {
    TableKw_skip = 75,
    TableKw_table = 134,
    TableKw_caption = 135,
    TableKw_cell = 136,
    TableKw_column = 137,
    TableKw_columnGroup = 138,
    TableKw_footerGroup = 139,
    TableKw_headerGroup = 140,
    TableKw_row = 141,
    TableKw_rowGroup = 142,
    // Largest spans taken from a file.
    Table_maxColumnSpan = 1000,
    Table_maxRowSpan = 65534,
};

// One column of a table's column array.
struct TableColumn {
    Edr_Style *style;      // one reference held
    uint32_t firstOfGroup; // the first column of a column group
    uint32_t lastOfGroup;  // the last column of a column group
    // The column's own width (a col element's, else its group's): a
    // length, or 0 and a whole percentage; both 0 when it gives none.
    int32_t width;
    int32_t widthPercent;
};

// The borders and background of a table or cell.
struct CellBorders {
    Edr_Node *node;
    uint32_t hidden;       // property 87 hides the box
    Edr_Border sides[4];   // sides 14 to 17
    uint8_t background[4]; // R, G, B, A (A 255 when property 2 is a colour)
    int32_t spacing[2];    // a table's properties 12 and 13
    int32_t padding[4];    // a table's properties 66 to 69
};

struct TableBuilder;
// Told every cell (with its current column) before its extra record is
// filled; a non-zero result ends the build.
typedef int (*TableCellHookFn)(TableBuilder *builder, Edr_Node *table, Edr_Node *cell,
                               Edr_Style *cellStyle, int32_t column);
// Lays out (and builds the grid of) a table met inside a cell.
typedef int (*TableNestedFn)(TableBuilder *builder, Edr_Node *table, Edr_Style *style);

// The builder of one table's grid.
struct TableBuilder {
    EngineContext *context;
    Edr_Doc *doc;
    EventProc *eventProc;     // told code 35 when the stack runs short
    uint32_t whiteSpace;      // saved and set from property 87 by every row walk
    TableCellHookFn cellHook; // null: none
    TableNestedFn nested;     // null: Table_buildGrid on the nested table
    uint32_t depth;           // nested tables being built
};

// Sets up a builder for doc with no hooks.
void TableBuilder_init(TableBuilder *builder, Edr_Doc *doc);

// Builds the grid of table (computed set style). Caller holds the document's
// read lock. 0, 1 out of memory, Res_stackExhausted when the stack runs short
// (code 35 is posted), or a style error.
[[nodiscard]] int Table_buildGrid(TableBuilder *builder, Edr_Node *table, Edr_Style *style);

// The steps of the build.
[[nodiscard]] int Table_walk(TableBuilder *builder, Edr_Node *node, Edr_Style *style,
                             Edr_Node *table, int32_t *maxColumns, int32_t *maxRows,
                             SpanTracker *tracker, int32_t *column, int32_t *row);
[[nodiscard]] int Table_walkRows(TableBuilder *builder, Edr_Node *node, Edr_Style *style,
                                 Edr_Node *table, int32_t *maxColumns, int32_t *maxRows,
                                 SpanTracker *tracker, int32_t *column, int32_t *row, int isRow);
[[nodiscard]] int Table_placeCell(TableBuilder *builder, Edr_Node *cell, Edr_Style *style,
                                  Edr_Node *table, int32_t *maxColumns, int32_t *maxRows,
                                  SpanTracker *tracker, int32_t *column, int32_t *row,
                                  int32_t rowHeight);
[[nodiscard]] int Table_addColumns(TableBuilder *builder, Edr_Node *columnNode, Edr_Style *style,
                                   Edr_Node *table, int groupFlag);
[[nodiscard]] int Table_initCellExtra(TableBuilder *builder, Edr_Node *node, Edr_Style *style,
                                      uint32_t keyword);
[[nodiscard]] int Table_walkCellContent(TableBuilder *builder, Edr_Node *node, Edr_Style *style);
// Drops the extra record of every group of the subtree (no locks taken).
void Table_dropExtras(EngineContext *context, Edr_Node *node);

// A span from a value of property 97 or 98, clamped to 1..limit.
int32_t Table_spanOf(const Edr_Style *style, uint32_t id, int32_t limit);
