// Table layout: measuring a table's columns from its cells, resolving the
// column widths against the room given, laying every cell out as a block in
// its own rectangle, sizing the rows (with row spans), aligning the cells'
// content and placing the caption. The grid (which row and column each cell
// takes) comes from the table grid builder (layout/tablegrid.h);
// the results live in the groups' layout extra records (LayoutExtra).
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct LayerList;
struct LayoutBox;
struct LayoutExtra;

// A width asked for by a cell spanning several columns; the list of a
// column holds the constraints that end in it, sorted by span, ascending.
struct TableSpan {
    TableSpan *next;
    int32_t width;
    int32_t percent;
    int32_t span;
};

// Widths of a table's columns: one record each for the fixed, minimum and
// maximum widths. In the fixed record -1 marks a column whose fixed width
// was given up for a wider cell.
struct TableWidths {
    int32_t *widths;
    int32_t *percents;
    TableSpan **spans; // one list head per column
    int32_t count;     // columns in use
    int32_t capacity;  // entries allocated
};

enum : int32_t {
    TableWidths_fixed = 0,
    TableWidths_minimum = 1,
    TableWidths_maximum = 2,
    // Internal table display that is never a column keyword.
    Table_keywordMask = 0x3FF,
};

// A new empty record, null when out of memory.
TableWidths *TableWidths_create();
// Grows the arrays so that column index lastColumn is inside them (new
// entries 0); the count is not changed. 0, or 1 when out of memory.
[[nodiscard]] int TableWidths_reserve(TableWidths *widths, int32_t lastColumn);
// Adds a cell's width and percentage for the columns first .. first + span
// - 1: one column keeps the larger width (a given-up column stays -1) and
// takes the percentage; a wider span becomes a constraint of its last
// column. 0, or 1 when out of memory.
[[nodiscard]] int TableWidths_add(TableWidths *widths, int32_t width, int32_t percent,
                                  int32_t first, int32_t span);
// Spreads every span constraint of the record over its columns, weighted
// by the maximum and fixed widths, and empties the lists.
void TableWidths_spread(TableWidths *widths, TableWidths *maximum, const TableWidths *fixed);
// Frees every span constraint.
void TableWidths_clearSpans(TableWidths *widths);
// Frees a record with its arrays and constraints (null allowed).
void Layout_freeTripleBuf(TableWidths *widths);

// Called for each table cell with the cell's computed style (released by
// the walk afterwards). 0 to go on, else an error that ends the walk.
typedef int (*TableCellFn)(void *argument, Edr_Node *cell, Edr_Style *style);
// Visits the cells of a table or row group in order: the children of row
// groups and rows are walked in turn, the last footer group after all the
// rest; columns, captions and nested tables are passed over. With
// skipCollapsedRows the cells of a row with visibility collapse are not
// visited. 0, or the first error of computing a style or of visit.
[[nodiscard]] int TableLayout_forEachCell(Edr_Doc *doc, Edr_Node *node, Edr_Style *style,
                                          int skipCollapsedRows, TableCellFn visit, void *argument);

// The horizontal edges of a table (borders, paddings and, unless collapsed,
// the horizontal spacing).
int32_t TableLayout_edges(Edr_Style *style);

// TableLayout_measure and TableLayout_run are declared in layout/layout.h.

// The column widths (columns entries of the table's column count, allocated
// by the caller) and the table width for the available width.
void TableLayout_resolveWidths(const LayoutBox *box, LayoutExtra *table, Edr_Style *style,
                               int32_t available, int32_t *columns, int32_t *tableWidth);
// Adds to the column widths (which start as the minimum widths) until the
// table reaches its target width: percentage, fixed and automatic columns
// in stages. specified is the table's specified width (0 when none).
void TableLayout_distribute(int32_t *columns, TableWidths *fixed, TableWidths *maximum,
                            int32_t specified, int32_t available, int32_t edges);

// The window of columns from start that fits in width (at least column
// start): *end is its last column; unless it holds every column, what is
// left of the width is shared over its columns by their spare room
// (maximum - minimum). The window's total width.
int32_t TableLayout_columnWindow(const LayoutExtra *table, int32_t *columns, int32_t width,
                                 int32_t start, int32_t *end);

// Row heights of a table: shares a row span's missing height over its
// rows: in proportion to their heights, or evenly (adding up exactly) when
// they have none.
void TableLayout_shareSpan(int32_t *rows, int32_t first, int32_t span, int32_t needed);

// The vertical shift (downwards, positive) of a cell's content of height
// contentHeight inside an inner height, for its vertical-align keyword.
int32_t TableLayout_alignCell(uint32_t keyword, int32_t innerHeight, int32_t contentHeight);

// *out = the cell's style with the style of its column applied when the
// table's column array has a style for it (a new reference), else style
// retained. 0 or an error.
[[nodiscard]] int TableLayout_cellStyle(Edr_Doc *doc, const LayoutExtra *table, Edr_Style *style,
                                        int32_t column, Edr_Style **out);
