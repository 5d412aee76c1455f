// The cell grid item: the display item that draws the fills and border
// lines of a grid of cells (a laid-out worksheet).
//
// Fills are quadrilaterals; lines are horizontal, vertical or slanted,
// each with a width and a line-style code. Rather than one draw call per
// cell or line, every shape of one colour goes into one path, and each
// colour's path is filled once (non-zero winding, 3 sub-pixel bits). Line
// ends are cut at 45 degrees so that lines meeting at a corner join
// cleanly; the double style (6) leaves the middle third of the line empty
// by adding that third in the reverse orientation.
//
// The item's origin words are its x and y offsets and its matrix is the
// header's: the item matrix M0 is the header matrix (identity when none)
// with the offsets added to its translation. Colours are 0xAABBGGRR
// words. The item owns its fill list and line lists.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/geom.h"

struct DrawTarget;
struct Matrix;
struct Path;
struct StageNode;

// A fill: colour, then the four corners top-left, top-right, bottom-right,
// bottom-left.
struct GridFill {
    uint32_t colour;
    Point corners[4];
};

// Flags word of a straight line: bits 0-1 the shape of the start end,
// bits 2-3 of the far end (0 and 1 cut at 45 degrees one way or the
// other, 2 and 3 square), bits 4-15 the line-style code.
enum : uint32_t {
    GridLine_endsSquare = 10, // end shapes 2 and 2
    GridLine_styleShift = 4,
    GridLine_styleMask = 0xFFF0,
    GridLine_styleDouble = 6,
};

// A horizontal line {colour, x start, x end, y, width, flags} or a vertical
// one {colour, x, y start, y end, width, flags}. Horizontal lines run left
// to right and vertical ones from the top down (y start above y end), so
// that all their shapes wind the same way and crossings stay filled.
struct GridLine {
    uint32_t colour;
    int32_t a; // horizontal: x start; vertical: x
    int32_t b; // horizontal: x end; vertical: y start
    int32_t c; // horizontal: y; vertical: y end
    int32_t width;
    uint32_t flags;
};

// A slanted line: colour, start and end points, width, line style.
struct GridSlantLine {
    uint32_t colour;
    Point start;
    Point end;
    int32_t width;
    uint32_t style;
};

struct GridFillList {
    uint32_t count;
    GridFill *entries; // owned
};

// The three line lists of a grid.
struct GridLineList {
    uint32_t horizontalCount;
    GridLine *horizontal; // owned
    uint32_t verticalCount;
    GridLine *vertical; // owned
    uint32_t slantCount;
    GridSlantLine *slant; // owned
};

struct CellGridIndex;

// The class part of a cell grid item: its fill list and line lists (owned;
// either may be null), and the index by vertical position of every shape
// that the first clipped draw builds (owned; null until then) so that a
// band visits only the shapes that may reach it.
struct CellGridPart {
    GridFillList *fills;
    GridLineList *lines;
    CellGridIndex *index;
};

// What the item class's identify slot reports.
enum : uint32_t { CellGrid_identifier = 0xFFFFFFFFu };

// The cell grid item class (operations: render, identify, bounds).
extern const ObjClass CellGrid_class;

// A new cell grid item that takes over fills and lines (both may be null):
// zero offsets, no matrix, the box words empty. Null when memory runs out
// (the lists are then freed).
ObjHeader *CellGrid_create(GridFillList *fills, GridLineList *lines);
// The class part of a cell grid item; null for other items.
CellGridPart *CellGrid_part(ObjHeader *item);

// Free a fill list and a line list with their entries; null is ignored.
void GridFillList_free(GridFillList *list);
void GridLineList_free(GridLineList *list);

// Half the drawn thickness of a line of width w in a style code: 0 for
// style 0, w for 5, w / 2 for 2, 8, 10, 12 and 13, w / 8 for 7 and 14,
// w / 4 for every other code (quotients toward zero).
int32_t Path_styleExtent(int32_t width, uint32_t style);

// The quadrilateral of a straight line as drawn (the same shapes for
// drawing and for bounds): horizontal when horizontal is set.
void CellGrid_lineQuad(const GridLine *line, int horizontal, Point out[4]);
// The quadrilateral of a slanted line.
void CellGrid_slantQuad(const GridSlantLine *line, Point out[4]);

// One path per colour, new nodes at the head.
struct ColourPaths {
    uint32_t colour;
    Path *path;
    ColourPaths *next;
};

// *out = the node of the colour (equal in all four bytes), or a new node at
// the head of *list with a new empty path. 0, or 1 when memory runs out.
[[nodiscard]] int ColourPaths_get(ColourPaths **list, uint32_t colour, ColourPaths **out);
// Fills each node's path through matrix (non-zero, 3 sub-pixel bits) in
// its colour under its alpha, with the paint stages, into target; the
// stop check runs before every node. 0, 48 when asked to stop, or the
// first drawing error.
[[nodiscard]] int ColourPaths_render(EngineContext *ctx, ColourPaths *list, const Matrix *matrix,
                                     const StageNode *stages, const DrawTarget *target);
// Frees every node and its path; *list ends null.
void ColourPaths_free(ColourPaths **list);
// Appends the closed quadrilateral p (untransformed) to the colour's path
// when the box of p through itemMatrix meets clip (null: no clip). 0 or 1.
[[nodiscard]] int CellGrid_addQuad(const Point p[4], const Rect *clip, const Matrix *itemMatrix,
                                   uint32_t colour, ColourPaths **list);
// The middle third of the quadrilateral p in the reverse orientation (so
// that it stays empty under non-zero winding), through CellGrid_addQuad.
[[nodiscard]] int CellGrid_addInnerThird(const Point p[4], const Rect *clip,
                                         const Matrix *itemMatrix, uint32_t colour,
                                         ColourPaths **list);
