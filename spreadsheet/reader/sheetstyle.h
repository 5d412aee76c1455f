// The style side of a laid-out worksheet (the sheet grid, sheetgrid.h):
// cell formats (XF entries) found or made for style rules, the rule table
// cells refer to, border lines rebuilt from the cells' XFs, automatic row
// heights and column widths from measured cell texts, and the hit test
// that turns a point of the sheet into a cell.
//
// The editing bridge calls these under the document's write lock; they
// change the sheet's records in place. A failed operation leaves the
// sorted cell array, the rule table and the XF table valid.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Node;
struct ExcelCell;
struct ExcelLoad;
struct ExcelXf;
struct Point;
struct SheetGrid;
struct StyleRule;

// The XF entry at index of the load's workbook, or null when index is not
// below the XF count (or there is no workbook).
const ExcelXf *Excel_xfAt(const ExcelLoad *load, uint32_t index);

// What a style rule says about a cell's font (see Excel_styleProps).
enum : uint32_t {
    Excel_styleHasFamily = 0x01,
    Excel_styleHasColour = 0x02,
    Excel_styleHasSize = 0x04,
    Excel_styleHasItalic = 0x08,
    Excel_styleHasWeight = 0x10,
    Excel_styleHasUnderline = 0x20,
    Excel_styleHasStrikeout = 0x40,
};

struct ExcelStyleProps {
    uint32_t has;           // Excel_styleHas* of the fields the rule set
    const char16_t *family; // lent from the rule
    uint32_t colour;        // R | G << 8 | B << 16 | A << 24
    uint16_t height;        // twentieths of a point
    uint16_t weight;        // 100 to 900
    uint8_t italic;         // 1 italic
    uint8_t underline;      // 0, 1 single, 2 double, 0x21, 0x22 accounting
    uint8_t strikeout;      // 1 struck out
};

// Reads the font properties of a rule: family (37), colour (29), size
// (38, 16.16 inches), style (41: italic and oblique are italic), weight
// (43: keywords 100 to 900, bold), strike-out (80: line-through) and
// underline (95: single, double, single and double accounting) as the
// rule writers of fonts and of the cell editor set them. *out is cleared
// first; a null rule gives nothing.
void Excel_styleProps(const StyleRule *rule, ExcelStyleProps *out);

// The index of an XF of the grid's workbook equal to xf in every field,
// else xf is appended. 0; 14 when the table already holds 65535 entries;
// 1 when memory runs out; 16 for null arguments or no workbook.
[[nodiscard]] int Excel_Sheet_findXf(SheetGrid *grid, const ExcelXf *xf, uint32_t *index);

// Derives the cell's XF from the rule: a copy of its XF takes the rule's
// font (an equal font of the workbook, else a new one appended) and
// horizontal (79) and vertical (135) alignment; the XF is found or added
// (Excel_Sheet_findXf). A cell in a merged range gives the other entries
// of the range the same XF with their own borders. run, when not null,
// is a run entry of the cell that takes the font too. 0; 8 when the
// cell's XF is beyond the table; 14 when the font or XF table is full;
// 1; 16.
[[nodiscard]] int Excel_Sheet_styleToXf(ExcelCell *cell, const StyleRule *rule, ExcelCell *run,
                                        SheetGrid *grid);

// The line between two neighbouring cells (the cell before the line and
// the cell at (row, column) after it; vertical: the line along the cell's
// left edge, else its top edge): the after cell's facing border when it
// has one, else the before cell's, else the ordinary grid line (style 14,
// colour slot 15) unless either cell is filled (no line). A line inside a
// merged range, or at an edge line of the grid (0 or the count), takes the
// cell on the grid's side only. A missing cell counts as XF 15.
struct ExcelLineCell;
void Excel_Sheet_borderBetween(const SheetGrid *grid, uint32_t row, uint32_t column, int vertical,
                               ExcelLineCell *out);
// Rebuilds the segments of horizontal line `line` (0 to the row count:
// the top edge of that row) or vertical line (0 to the column count) from
// the cells' XFs; where the sheet hides its grid lines they stay hidden.
// 0; 8 for a line beyond the grid; 16; 1 (the line is unchanged).
[[nodiscard]] int Excel_Sheet_rowBorders(SheetGrid *grid, uint32_t line);
[[nodiscard]] int Excel_Sheet_columnBorders(SheetGrid *grid, uint32_t line);
// For a cell between two neighbours along an axis (0: the rows above and
// below, 1: the columns left and right; none beyond the grid): when a
// border separates the two neighbours, the cell's XF takes it on its side
// toward the first neighbour (top or left), the entry being made when
// needed. 0; 8 outside the grid; 14; 1; 16 for a null grid.
[[nodiscard]] int Excel_Sheet_resolveBorder(SheetGrid *grid, uint32_t row, uint32_t column,
                                            uint32_t axis);

// Measures a text in a rule's font: *width and *height in layout units.
typedef int (*ExcelMeasureFn)(void *arg, const StyleRule *rule, const char16_t *text,
                              int32_t *width, int32_t *height);
struct ExcelMeasurer {
    ExcelMeasureFn measure;
    void *arg;
};

// The box a cell's text (all its runs) needs, relative to the cell's top
// left corner: out = {left, top, right, bottom}, the cell's text inset
// included on both sides. Lines are split at line feeds; a wrapping XF
// breaks them at the column's width. Without a measurer each character
// counts 0.6 em (1 em from U+1100 on) and a line 1.2 em of the rule's
// font size (the XF's font, else 10 points). 0; 16.
[[nodiscard]] int Excel_Sheet_measureCell(const SheetGrid *grid, const ExcelCell *cell,
                                          const ExcelMeasurer *measurer, int32_t out[4]);
// The widest measured text of the column (at least 20000, cells of merged
// ranges over several columns left out) becomes its width when it is
// narrower and mode is not 0, or wider and mode is not 1. 0; 8 without
// rules or for a column beyond the grid; 16; 1.
[[nodiscard]] int Excel_Sheet_autoColWidth(EngineContext *context, SheetGrid *grid, uint32_t column,
                                           uint32_t mode, const ExcelMeasurer *measurer);
// The span of the row's measured texts (at least 10000) becomes the row's
// height when it grows and mode is not 1, or shrinks and mode is not 0.
// 0; 8 for a row beyond the grid; 16.
[[nodiscard]] int Excel_Sheet_autoRowHeight(EngineContext *context, SheetGrid *grid, uint32_t row,
                                            uint32_t mode, const ExcelMeasurer *measurer);
// The column's width for the edit dialog: w = (raw x scale) >> 8, rounded
// up so that w x 256 / scale gives the raw width back. 0 for a null grid
// or a column beyond the grid.
uint32_t Excel_Sheet_getColWidth(const SheetGrid *grid, uint32_t column, uint32_t scale);

// The cell under a point given in layout units from the grid's lower left
// corner, y upward (the grid's rows run downward from its top): the point
// becomes the distance from the top left corner (x mirrored on a
// right-to-left sheet) and the cell the one whose column and row hold it,
// a merged range's top left. 0; 8 when the node holds no sheet grid or the
// point lies outside it; 16.
[[nodiscard]] int Excel_Sheet_hitTest(Edr_Node *node, Point *point, uint32_t *row,
                                      uint32_t *column);
