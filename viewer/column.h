// Scrolled content columns: content that scrolls inside its own box.
//
// A ScrollColumn is a column of laid-out lines with a scroll position of
// its own. Its content is a tree of nodes: lists (kind 1) of child nodes,
// nested columns (kind 2) reached through a source handle, and single
// lines (any other kind). The column keeps its first shown line as an
// anchor (a line and an offset into it, in view units); scrolling moves
// the anchor forwards or backwards across the lines of the column and of
// the columns nested inside it, and tells whether more content lies before
// or after the shown part.
//
// A line's rectangle comes from its own operation (or, without one, is
// {0, -height, layoutWidth, 0} with the height in the node's line word):
// its extent (its height) is -y0. Lists are filled by their loader the
// first time a walk needs them.
//
// Margins: 3640 view units are kept between the last line and the bottom
// of the column, and 7280 at the top of the scroll range. At rest at the
// top, the first line's anchor offset is -3640.
//
// Each column has its own lock, taken only by the accessors; walks take the
// nested columns' locks one level at a time, only to read their state.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/task/lock.h"

struct EngineContext;
struct ScrollColumn;
struct ColumnNode;

enum : int32_t {
    Column_bottomMargin = 3640, // one eighteenth of an inch
    Column_topMarginRange = 7280,
    ScrollPath_maxDepth = 10,
};

enum : uint32_t {
    ColumnNode_line = 0,
    ColumnNode_list = 1,
    ColumnNode_nested = 2,

    ScrollAnchor_start = 0,
    ScrollAnchor_line = 1,
    ScrollAnchor_end = 2,

    Column_noOvershoot = 0x80000000u, // the scroll stayed inside the content
};

// The source handle of a nested column: a context word and four
// operations, each called with the context.
struct ColumnSource {
    void *context;
    void *(*state)(void *context);                        // slot 1: the nested column's state
    ScrollColumn *(*acquire)(void *context);              // slot 2: the nested column, or null
    void (*release)(void *context, ScrollColumn *column); // slot 3: gives it back
    void *(*drawContext)(void *context);                  // slot 4: its drawing context
};

// What list loaders are handed: the list being loaded and the width at
// which the column lays its content out.
struct ColumnWalkState {
    ColumnNode *list;
    int32_t layoutWidth;
};

// Fills list (ColumnList_append) for the given layout width. 0 or an error.
typedef int (*ColumnLoaderFn)(void *context, intptr_t argument, ColumnWalkState *state);
// The rectangle of a line at the given layout width. 0 or an error.
typedef int (*ColumnLineRectFn)(const ColumnNode *line, int32_t layoutWidth, Rect *out);

struct ColumnNode {
    uint32_t kind; // ColumnNode_*
    uint32_t id;   // the item id saved positions name
    // Lists.
    ColumnNode **items;
    uint32_t count;
    uint32_t capacity;
    void *loaderContext;
    intptr_t loaderArgument;
    ColumnLoaderFn loader;
    uint32_t loaded;   // the loader has run
    uint32_t measured; // its lines have their rectangles for the current layout
    // Nested columns.
    ColumnSource *source;
    // Lines.
    ColumnLineRectFn rect; // null: a line of height lineWord
    intptr_t lineWord;
};

// The first shown line: seven words.
struct ScrollAnchor {
    uint32_t kind;        // ScrollAnchor_*
    ColumnSource *source; // the nested column the line lies in (null: this column's own)
    ColumnNode *list;     // the list holding the line
    int32_t index;        // the line's index in that list
    int32_t extent;       // the line's extent (minus its top y)
    int32_t spare;
    int32_t offset; // view units into the line (negative above it)
};

struct ScrollColumn {
    Lock lock;
    ColumnNode *content; // the content root (a list), or null
    ScrollAnchor anchor;
    int32_t layoutWidth;
    int32_t visibleHeight;
    uint32_t sizeSet;
    int32_t scrollPosition; // read by the scrolled drawing
    uint32_t moreBefore;
    uint32_t moreAfter;
};

// The walk down nested columns: up to 10 {source, column} pairs.
struct ScrollPath {
    ColumnSource *source[ScrollPath_maxDepth];
    ScrollColumn *column[ScrollPath_maxDepth];
    int32_t count;
};

// ------------------------------------------------------------- records

// Makes column empty with its lock tied to context (null context: a lock
// that does nothing, for columns used by one task only).
void ScrollColumn_init(EngineContext *context, ScrollColumn *column);
// Frees the column's content; the record stays the caller's.
void ScrollColumn_fini(ScrollColumn *column);

// An empty list node (id 0). 0; 1 out of memory (*out null).
[[nodiscard]] int ColumnList_create(ColumnNode **out);
// A line node of the given id and height (its rect operation null).
[[nodiscard]] int ColumnLine_create(ColumnNode **out, uint32_t id, int32_t height);
// A nested-column node of the given id over source (not owned).
[[nodiscard]] int ColumnNested_create(ColumnNode **out, uint32_t id, ColumnSource *source);
// Appends node to list, which then owns it. 0; 1 out of memory (node
// stays the caller's); Res_nullInput when list is not a list.
[[nodiscard]] int ColumnList_append(ColumnNode *list, ColumnNode *node);
// Frees a node tree (lists free their children first). Null allowed.
void ColumnNode_free(ColumnNode *node);
// Frees the children of list and marks it not loaded.
void ColumnList_clear(ColumnNode *list);

// ------------------------------------------------------ locked accessors

// Takes content over (the old content is freed).
void Column_setContent(ScrollColumn *column, ColumnNode *content);
void Column_getAnchor(ScrollColumn *column, ScrollAnchor *out);
void Column_setAnchor(ScrollColumn *column, const ScrollAnchor *anchor);
void Column_setSize(ScrollColumn *column, int32_t layoutWidth, int32_t visibleHeight);
int32_t Column_visibleHeight(ScrollColumn *column);
void Column_setScrollPosition(ScrollColumn *column, int32_t position);
int32_t Column_scrollPosition(ScrollColumn *column);
void Column_setMoreFlags(ScrollColumn *column, uint32_t moreBefore, uint32_t moreAfter);
// Clears the measured flag of every list, nested columns included.
void Column_resetMeasures(ScrollColumn *column);

// ------------------------------------------------------------- walking

struct ColumnWalk;
typedef int (*ColumnListStartFn)(ColumnWalk *walk, ColumnNode *list);
typedef int (*ColumnItemFn)(ColumnWalk *walk, ColumnNode *list, uint32_t index);
typedef int (*ColumnLineFn)(ColumnWalk *walk, ColumnNode *list, uint32_t index, ColumnNode *line,
                            const Rect *rect);
typedef int (*ColumnNestedFn)(ColumnWalk *walk, ColumnNode *item);

// The walk context: callbacks (any may be null), the walk flags, the stop
// word, the caller's argument and the path of nested columns entered.
struct ColumnWalk {
    ColumnWalkState state;
    ColumnListStartFn listStart;
    ColumnItemFn item;
    ColumnLineFn line;
    ColumnNestedFn nested; // null: nested columns are entered (Column_enterNested)
    uint32_t mayLoad;      // lists not loaded yet may be loaded
    uint32_t lazy;         // unmeasured lists are loaded again before their lines
    uint32_t reverse;      // last to first
    uint32_t emitLines;    // call line for line items
    uint32_t stop;         // set to end the walk
    void *argument;
    ScrollPath path;      // the nested columns being walked
    ScrollColumn *column; // the column whose content is walked now
};

// Walks content (a node tree of column) with walk. 0, 1 out of memory, or
// the first non-zero callback or loader result.
[[nodiscard]] int Column_walk(ScrollColumn *column, ColumnWalk *walk, ColumnNode *content);
// Enters the nested column of item: acquires it (a column that cannot be
// acquired is skipped), copies the walk column's size and scroll position
// into it, walks its content one level deeper (not past 10 levels) and
// gives it back. 0 or the walk's result.
[[nodiscard]] int Column_enterNested(ColumnWalk *walk, ColumnNode *item);

// ---------------------------------------------------------- scrolling

// Moves the anchor forwards (distance >= 0) or backwards (distance <= 0).
// stopAtUnmeasured ends the walk at the first list not measured yet.
// *overshoot: Column_noOvershoot when the scroll stayed inside the
// content; at the end, the distance past the last line minus 3640; at the
// start, -(distance above the first line + 3640). 0 or 1 out of memory
// (anchor unchanged).
int Column_scrollForward(ScrollColumn *column, int32_t distance, int stopAtUnmeasured,
                         int32_t *overshoot);
int Column_scrollBackward(ScrollColumn *column, int32_t distance, int stopAtUnmeasured,
                          int32_t *overshoot);
// Scrolls by *distance (positive forwards): *distance gets what could not
// be scrolled (0 when all was). 1 when anything moved, else 0.
int Column_scrollBy(ScrollColumn *column, int32_t *distance);
// Scrolls by a non-zero distance; the anchor is stored along the path.
[[nodiscard]] int Column_scrollLines(ScrollColumn *column, int32_t distance);
// -(anchor offset + 3640): positive when the view shows more than the
// margin above the first line.
int32_t Column_topMargin(ScrollColumn *column);
// After a change of content: back inside the margins, then the flags.
[[nodiscard]] int Column_settle(ScrollColumn *column);
// Recomputes moreBefore (top margin negative) and moreAfter (content or
// less than the bottom margin below the visible height).
[[nodiscard]] int Column_refreshFlags(ScrollColumn *column);
// A new layout width and visible height: the lists are measured again
// and the anchor keeps its fraction of its line. 0 or an error.
[[nodiscard]] int Column_relayout(ScrollColumn *column, int32_t layoutWidth, int32_t visibleHeight);
// The rectangle of line index of list, loading the list when needed. 0,
// Res_noSuchPage past its end, or the loader's error.
[[nodiscard]] int Column_lineRect(ScrollColumn *column, ColumnNode *list, uint32_t index,
                                  Rect *out);
// The scroll range: top = first line top + 7280 - visibleHeight, height =
// last line bottom + 3640, each at least 0 (in the column's own
// coordinates, the first line's top at 0).
[[nodiscard]] int Column_extent(ScrollColumn *column, int32_t *top, int32_t *height);
// Calls fn for every line of the column with its rectangle in column
// coordinates; with stopPastEnd set the walk ends once a line's top lies
// past end.
typedef int (*ColumnVisitFn)(void *argument, ColumnNode *line, const Rect *rect);
[[nodiscard]] int Column_visitLines(ScrollColumn *column, ColumnVisitFn fn, int32_t stopPastEnd,
                                    int32_t end, void *argument);
// Every line of the column, to the end.
int Column_visitLinesSimple(ScrollColumn *column, ColumnVisitFn fn, void *argument);

// ------------------------------------------------------------ the path

void ScrollPath_init(ScrollPath *path);
// 0; 1 when the path is full (nothing pushed).
[[nodiscard]] int ScrollPath_push(ScrollPath *path, ColumnSource *source, ScrollColumn *column);
void ScrollPath_pop(ScrollPath *path);
// Gives back every acquired nested column, last first, then clears.
void ScrollPath_release(ScrollPath *path);
// Descends from column through the anchors' sources, acquiring each nested
// column (at most 10 levels). The path's first pair is {null, column}.
void ScrollPath_enter(ScrollPath *path, ScrollColumn *column);
// Writes anchor into every column along the path: the source word names
// the next column down, and is the anchor's own at the end.
void ScrollPath_storeAnchor(ScrollPath *path, const ScrollAnchor *anchor);

// ----------------------------------------------------- saved positions

// A saved scroll position: five state words (kind, line index, offset and
// two spare words) and the chain of item ids from the outermost column
// inwards, under its lock.
struct ScrollPosition {
    Lock lock;
    int32_t words[5];
    uint32_t *ids;
    uint32_t idCount;
};
// Copies the position under its lock into a new array of 6 + n words:
// the five words, n, then the ids. Null when out of memory.
int32_t *ScrollPosition_snapshot(ScrollPosition *position);
// Restores the anchor from a snapshot (see ScrollPosition_snapshot); a
// path that cannot be followed gives the default anchor.
int Column_restoreAnchor(ScrollColumn *column, const int32_t *snapshot, int32_t layoutWidth);
// Snapshots position and restores from it. 0; 1 out of memory.
[[nodiscard]] int Column_restorePosition(ScrollColumn *column, ScrollPosition *position);
// The anchor taken when a saved position cannot be followed: the start.
void Column_defaultAnchor(ScrollAnchor *out);

// ------------------------------------------------------------ view glue

// (a x 65536) / b with a 64-bit dividend, held to 32 bits; a division by
// 0 gives 0. Its partner Fixed_mul is core/text/number.h's.
int32_t Fixed_div(int32_t a, int32_t b);

// The column state a page view holds.
struct ViewColumnState {
    ScrollColumn *column;
    int32_t scale; // the view's scale (16.16)
    Rect box;      // the box last set
    Matrix matrix; // the matrix last set
    uint32_t set;  // box and matrix were set
};

[[nodiscard]] int View_createColumnState(ScrollColumn *column, ViewColumnState **out);
// Frees the state and its column's content.
void View_freeColumnState(ViewColumnState *state);
int32_t View_columnScrollPosition(ViewColumnState *state);
// A view point into column units: divided by the scale, then through the
// inverse of the matrix (the vector form drops the translation).
void View_toColumnPoint(const ViewColumnState *state, Point *point);
void View_toColumnVector(const ViewColumnState *state, Point *vector);
// A column vector into view units: through the matrix without translation,
// times the scale.
void View_fromColumnVector(const ViewColumnState *state, Point *vector);
// Scrolls by *distance view units: *moved 1 when anything moved, *distance
// what is left in view units (a remainder lost by the conversion is given
// as -1 or 1 with its sign in column units). 0 or an error.
[[nodiscard]] int View_scrollColumn(ViewColumnState *state, int32_t *moved, int32_t *distance);
// Column_extent in view units.
[[nodiscard]] int View_columnExtent(ViewColumnState *state, int32_t *top, int32_t *height);
// Column_visitLines on the view's column (0 without one).
[[nodiscard]] int View_visitColumnLines(ViewColumnState *state, ColumnVisitFn fn,
                                        int32_t stopPastEnd, int32_t end, void *argument);
// The column's moreBefore and moreAfter into *before and *after. 0; Res_noSuchPage
// without a column.
[[nodiscard]] int View_columnQuery(ViewColumnState *state, uint32_t *before, uint32_t *after);
// Sets the column up for the view: scale from pageScale, the box's corner
// into column units becomes the scroll position; with the same first
// matrix word as last time the column scrolls by the change of the box's
// top and refreshes its flags, otherwise it is laid out again for the
// box's size in column units and settled. 0 or an error.
[[nodiscard]] int Column_setupForView(ViewColumnState *state, const Rect *box, const Matrix *matrix,
                                      int32_t pageScale);
