// Multi-column layout: a block whose content flows through a set of
// columns, from column to column and, after the last, into a new region
// (the next page) through the enclosing box's overflow operation. The
// state of the set being filled hangs on the layout box as its column
// context.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Node;
struct Edr_Style;
struct LayoutBox;
struct ObjHeader;
struct Point;

enum : int32_t {
    ColumnSet_max = 100, // entries of a column list past these are ignored
};

// The columns of one set: widths and the gap after each.
struct ColumnSet {
    int32_t count;
    int32_t widths[ColumnSet_max];
    int32_t widthCount;
    int32_t gaps[ColumnSet_max];
    int32_t gapCount;
    int32_t index; // the current column, from 0
};

// The state of the column set a box is filling.
struct ColumnContext {
    int32_t index;      // the current column, from 0
    int32_t count;      // columns of the set
    ColumnSet *columns; // widths and gaps
    Rect *region;       // the current region rectangle
    int32_t mark;       // -1 when a set starts
};

// The box's record (not owned by the box) and setting it.
ColumnContext *LayoutBox_getColumnContext(const LayoutBox *box);
void LayoutBox_setColumnContext(LayoutBox *box, ColumnContext *context);

// The widths and gaps of the column list of style (property 94) for rect:
// at most 100 entries, widths at least 1 and gaps at least 0, no more once
// a column does not fit in what is left; with fit a column wider than the
// whole rectangle is cut to it. Without a list: one column of the whole
// width.
void Columns_compute(const Edr_Style *style, const Rect *rect, int fit, ColumnSet *out);

// Columns_layoutBlock (the entry of block layout) is declared in
// layout/layout.h.
// Lays the content out into the columns of free; *used receives the
// rectangle the set took. The box's column context is saved and put back.
[[nodiscard]] int Columns_layout(LayoutBox **box, Edr_Node *node, Edr_Style *style,
                                 const Rect *free, Rect *used);
// The overflow operation while a column is filled: the next column, or
// after the last a new region at column 0 (*moved 0 when there is none).
[[nodiscard]] int Columns_nextColumn(LayoutBox **box, int *moved);
// The next region through the enclosing overflow operation, its first
// free rectangle holding a new set from column 0.
[[nodiscard]] int Columns_nextRegion(LayoutBox **box, int *moved);
// The frame item of a column: a box item with zero-width borders and an
// opaque white background. Null when out of memory.
ObjHeader *Columns_makeFrameItem(const Rect *rect);
