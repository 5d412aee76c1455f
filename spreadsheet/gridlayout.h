// Worksheet grid layout: a sheet grid node (node type 10, its record a
// SheetGrid, spreadsheet/sheetgrid.h) becomes one cell grid item
// (graphics/cellgrid.h) with the cell fills and the horizontal, vertical
// and slanted border lines, and the text of every cell is laid out beside
// it, aligned, wrapped, spilled into free neighbours, rotated or clipped.
//
// All lengths are 16.16 layout units. The grid's top is at y 0 and its
// rows run toward negative y; its left edge is the left limit of the
// current line (a right-to-left sheet is mirrored about its own middle).
// The grid item goes to the front of layer 0 of the box's layer list and
// the text items join the box's layer list; the line's left limit then
// moves to the item's right edge. Layout reaches GridLayout_run through
// the routine that Excel_installGridLayout puts on the engine context.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"

struct EngineContext;
struct Edr_Node;
struct Edr_Style;
struct ExcelCell;
struct GridFillList;
struct GridLineList;
struct InternNode;
struct LayoutBox;
struct Matrix;
struct SheetGrid;
struct StyleRule;

enum : int32_t {
    GridLayout_textInset = 1747,                // room kept free on each side of a cell's text
    GridLayout_lineWidth = 1638,                // a straight border line
    GridLayout_slantWidth = 819,                // a slanted border line
    GridLayout_openRight = 0x1FFFFFFF,          // a text limit that does not bind on the right
    GridLayout_openLeft = int32_t(0xE0000000u), // likewise on the left
    GridLayout_lineKindDouble = 6,              // doubles the line width
};

// The engine keywords of cell alignment.
enum : uint32_t {
    GridLayout_kwCentreAcross = 170, // centre across the selection
    GridLayout_kwStart = 171,        // the start side
    GridLayout_kwFill = 196,         // repeated to fill the cell
    GridLayout_propRotation = 144,   // the text's rotation in whole degrees
};

// The state of one layout of a grid, freed at its end.
struct GridLayoutCtx {
    SheetGrid *grid;
    Edr_Node *node;
    LayoutBox *box;
    Edr_Style *style;                // the node's style set, retained
    const StyleRule *savedOverrides; // the set's own override rule, restored at the end
    InternNode **formats;            // one interned text format per cell format (or null)
    InternNode *plainFormat;         // the node's own text format, for formats without a rule
    uint32_t formatCount;
    int32_t originX;
    int32_t height;
    int32_t bottom; // minus the height
    int32_t width;
    int32_t mirror; // right-to-left sheets: width + 2 x origin x
    uint32_t rightToLeft;
    GridFillList *fills; // owned until the grid item takes them
    GridLineList *lines;
};

// Where and how a cell's text goes: the text box {left, right, top,
// bottom}, the clip box, the alignments, the rotation (0: none) and its
// matrix, whether lines wrap.
struct GridTextPlacement {
    int32_t box[4];
    int32_t clip[4];
    uint32_t horizontal;
    uint32_t vertical;
    int32_t angle;
    const Matrix *rotation;
    uint32_t wraps;
};

// *out = a new context over the node's grid, with the node's style set
// retained, an empty fill list and line lists. 0, 1 when out of memory,
// 8 when the node holds no grid.
[[nodiscard]] int GridLayout_create(GridLayoutCtx **out, Edr_Node *node, Edr_Style *style,
                                    LayoutBox *box);
// Releases the style set and the text formats and, when failed is 1, the
// fill list and line lists; then the context. Null is ignored.
void GridLayout_free(GridLayoutCtx *ctx, int failed);
// Interns one text format per cell format that has a style rule, and the
// node's own for cells whose format has none.
[[nodiscard]] int GridLayout_loadFonts(GridLayoutCtx *ctx);
// The corners of the rectangle of rows firstRow..lastRow and columns
// firstColumn..lastColumn (indexes clamped to the last row and column),
// mirrored on a right-to-left sheet.
void GridLayout_cellRect(const GridLayoutCtx *ctx, uint32_t firstRow, uint32_t firstColumn,
                         uint32_t lastRow, uint32_t lastColumn, Point *topLeft, Point *bottomRight);
// The fills, the cells' text, the horizontal and the vertical lines, and
// the grid item with them. 0 or an error.
[[nodiscard]] int GridLayout_buildFills(GridLayoutCtx *ctx);
[[nodiscard]] int GridLayout_layoutCells(GridLayoutCtx *ctx);
[[nodiscard]] int GridLayout_buildLines(GridLayoutCtx *ctx);
[[nodiscard]] int GridLayout_buildEdgeLines(GridLayoutCtx *ctx);
[[nodiscard]] int GridLayout_emit(GridLayoutCtx *ctx);
// Lays out the sheet grid node under its style set into box; a node
// without a grid places nothing (0). 0 or an error.
[[nodiscard]] int GridLayout_run(LayoutBox *box, Edr_Node *node, Edr_Style *style);
// Installs GridLayout_run as the engine context's grid node layout (again
// is harmless). 0; 16 for a null context.
int Excel_installGridLayout(EngineContext *context);
// The text placement of cell index under the context's style set (already
// pointed at the cell's format).
void GridLayout_placeText(const GridLayoutCtx *ctx, uint32_t index, GridTextPlacement *out);
// The palette colour of an index; 57 and above read entry 0.
uint32_t GridLayout_colour(const SheetGrid *grid, uint32_t index);

// The sideways shift of a cell edge of the length whose text is turned by
// the angle in degrees: 0 for 0 and outside -89..89, else
// -(length x tan(angle -+ 90)) / 65536.
int32_t Fixed_shearForAngle(int32_t length, int32_t degrees);
