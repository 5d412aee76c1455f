// Spreadsheet editing in the viewer: the current cell and its frame, moves
// by keys and typed references, rows and columns inserted and deleted, and
// the cell editor's round trip (celledit.h) through the edit-mode record's
// handler slots.
//
// The viewer keeps one SheetEditState (FvViewer::sheetEdit), made by
// Excel_View_attach and freed at teardown. The sheet being edited is the
// grid record of the shown page: the n-th grid record node of the document
// for page n.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Doc;
struct EngineInstance;
struct FvViewer;
struct SheetGrid;

// One record per page of a shown spreadsheet.
struct SheetPageRecord {
    uint32_t index;
};

struct SheetCurrentCell {
    SheetGrid *sheet; // the grid of the current cell (lent by the tree)
    uint32_t hasCell;
    uint32_t row;
    uint32_t column;
    uint32_t range[4]; // selected range: first column, first row, last column, last row
    Rect rect;         // the cell's rectangle on its page
    uint32_t selected;
};

struct SheetEditState {
    SheetPageRecord *pages; // owned
    uint32_t pageCount;
    SheetCurrentCell current;
};

// The rectangle of a cell in grid units (the merged range holding it when
// there is one; columns mirrored on a right-to-left grid). 0; 16 outside
// the sheet or without metrics.
[[nodiscard]] int Excel_View_cellRect(const SheetGrid *grid, uint32_t row, uint32_t column,
                                      Rect *out);
// One move from (*row, *column) by (dcol, drow): steps while the position
// stays inside the sheet and, when the start lay in a merged range, until
// the position leaves it (a right-to-left grid reverses the column step).
void Excel_View_stepCell(const SheetGrid *grid, uint32_t *row, uint32_t *column, int32_t dcol,
                         int32_t drow);

struct EngineContext;
struct StyleRule;

// Layout's text measuring for the cells of a sheet, the argument of an
// ExcelMeasurer (spreadsheet/reader/sheetstyle.h): the engine and the
// document whose layout cache holds the fonts, and a style set of that
// document that each cell's rule overrides while it is measured.
struct SheetTextMeasure {
    EngineContext *context;
    Edr_Doc *document;
    struct Edr_Style *style;
};
// Measures a cell text in a rule's font the way layout lays it out: the text
// format of the set under the rule (Layout_textFormat), the extent of each line
// (lines end at line feeds; TextRun_measureFit) and one line height of the
// format's ascent and descent per line. A rule-less text takes the set's own
// format. 0, Res_missingArgument for null arguments, or layout's error.
[[nodiscard]] int Excel_View_measureText(void *arg, const StyleRule *rule, const char16_t *text,
                                         int32_t *width, int32_t *height);

// The current-cell operations behind the handler slots (notification
// codes through App_notifyHost).
void Excel_View_moveCell(FvViewer *viewer, int32_t dcol, int32_t drow);
[[nodiscard]] int Excel_View_showCurrentCell(FvViewer *viewer, int redraw);
void Excel_View_detach(FvViewer *viewer);
