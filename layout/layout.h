// Layout services that the document model calls: the layout pass the eDR
// manager runs; the layout box and the measuring cursor of intrinsic widths, the
// cursor's run, line and break arithmetic, and the font, line-break, table,
// image, control, sub-document and palette services that the style code's
// measuring needs.
//
// The records hold the fields that the modules below layout read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/rect.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct Edr_StyleCtx;
struct FontList;

// Lays out every changed section of the document into published pages.
// Called by the eDR manager once per pass under the document's read lock.
// 0 or the first error (Res_stopRequested when the task was asked to stop).
[[nodiscard]] int Layout_document(Edr_Doc *doc);
// Asks the display to redraw the area of a node. 0 or an error.
[[nodiscard]] int Layout_redrawNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node);

struct FloatArea;
struct LayerList;
struct ListCounter;
struct ObjHeader;
struct Rect;
struct Edr_PageRec;
struct LayoutBox;
struct LineCounter;
struct ColumnContext;

// The section a box lays out; every page box has its own copy.
struct SectionRec {
    Edr_Style *style;        // the section's set (held by the section box)
    int32_t index;           // the section index
    int32_t pageNumber;      // from 0, one more for every new page
    uint32_t firstPageIndex; // the section's first entry in the page list
    int32_t decorWord;       // filled by the page decoration step
    uint32_t paged;          // 1 paged, 0 unbounded
    int32_t holdCount;       // pages are finished at once only while 0 or less
    LayoutBox *owner;        // the box that owns this copy
    // The set of the document's root element or body whose background
    // picture covers the page when the section's own set names none;
    // held by the section box, null when there is none.
    Edr_Style *canvasStyle;
    // With a root element that paints the page, its body's set when that
    // gives a colour or picture of its own, painted over the body's box;
    // held by the section box, else null.
    Edr_Style *bodyStyle;
    // While the page's header and footer are laid out: the page's number
    // in the document (from 1), which their page-number fields show; 0
    // otherwise.
    int32_t decorPageNumber;
    // The header and footer story ids (properties 116 to 121) of the last
    // block laid out that names any, which later pages show instead of the
    // section's own: a part of the section with headers of its own takes
    // over from the next page. Valid while decorOverride is set.
    int32_t decorIds[6];
    uint32_t decorOverride;
};

// The page boxes of a section box.
struct BoxList {
    LayoutBox *first;
    LayoutBox *last;
};

struct MimeSrcList;

// The block state of a box that entering a block saves and leaving it
// restores, copied whole. Edges are {top, bottom, left, right}.
struct BlockState {
    uint32_t edgeMask; // dropped edges: bits left, right, top, bottom; 16 the top margin only
    int32_t margin[4];
    int32_t border[4];
    int32_t padding[4];
    int32_t width;      // the content width; 0x2AAAAAAA unconstrained
    int32_t leftOffset; // distance from the left and right edges of avail
    int32_t rightOffset;
    int32_t contentLeft; // offset plus margin, border and padding
    int32_t contentRight;
    uint32_t boxFlags; // BoxFlag_*, set by Box_applyStyle
    uint32_t hAlign;   // 45 center, 86 left, 117 right or 0
    int32_t lineLeft;  // limits of the current line
    int32_t lineRight;
    int32_t itemMark; // clear offset given back when the state is popped; 0x80000000 none
    uint32_t spare;
    uint32_t display; // keywords of the block
    uint32_t position;
    uint32_t direction;
    uint32_t floatSide;
    uint32_t textAlign;
};

// A saved state: one per nesting depth, allocated once and reused.
struct BoxFrame {
    uint32_t stateFlags;
    int32_t availableWidth;
    int32_t savedWord;
    int32_t avail[4];
    int32_t bounds[4];
    int32_t maxX;
    int32_t minY;
    BlockState block;
    BoxFrame *deeper; // the next deeper frame, kept for reuse
    BoxFrame *below;  // the frame below
};

// Shared by a section box and its page boxes.
struct BoxShared {
    uint32_t refCount;
    BoxFrame *top;    // the current top of the frame stack, null when empty
    BoxFrame *bottom; // the first frame allocated (the chain runs through deeper)
};

enum : uint32_t {
    // boxFlags.
    BoxFlag_width = 1,       // the style gives a width
    BoxFlag_outOfFlow = 8,   // positioned, floated or marked
    BoxFlag_positioned = 16, // absolute, fixed or relative
    BoxFlag_left = 128,      // left is not auto
    BoxFlag_right = 256,     // right is not auto
    // stateFlags.
    BoxState_shrinkToFit = 1u << 5,
    BoxState_tableCell = 1u << 6,
    BoxState_resetsCounter = 1u << 7,
};

struct FontCacheEntry;
struct InternNode;

// The document's layout cache: the record Edr_Page_listHead2 gives.
struct LayoutCache {
    FontCacheEntry *fonts;  // the font-list cache (layout/listmarker.h)
    InternNode *textStyles; // the interned text-style list
};

// A layout box: a section's root box or one of its page boxes. The first
// word is the engine context; the intrinsic-width measurement reads the
// available width and the style context.
struct LayoutBox {
    EngineContext *context;
    Edr_Doc *document;
    int32_t availableWidth;     // read and temporarily replaced by measuring
    Edr_StyleCtx *styleContext; // the context walkers create style sets in
    int32_t pageRect[4];     // {x0, y0, x1, y1} the box lays out into; y0 0x80000000 when unbounded
    Edr_PageRec *pageRecord; // the page being filled (page boxes); null once published
    LayerList *layers;       // the page's display items
    LayerList *backLayers;   // items behind the text, made on first use
    MimeSrcList *sources;    // the body sources of a page in flow mode 3, else null
    FloatArea *items;        // the free space of the page or block
    int32_t bounds[4];       // union of what was placed in the current block
    int32_t maxX;            // the largest right edge reached
    int32_t minY;            // the lowest bottom edge reached
    // Lays out a nested block: Layout_nestedBlock.
    int (*nestedBlock)(LayoutBox **box, Edr_Node *node, Edr_Style *style);
    // Places the positioned objects of the document types laid out with
    // anchored objects (normal flow only); null for the others.
    int (*positioned)(LayoutBox *box, Edr_Style *style, Edr_Node *node, int32_t xOrigin,
                      int32_t yOrigin);
    // Called when content reaches the bottom of the region: moves to the
    // next page (paged sections) or answers that there is none (*moved 0).
    int (*overflow)(LayoutBox **box, int *moved);
    // Finishes (publishes) a page box: Layout_finishPage.
    int (*finish)(LayoutBox **box, int previousError);
    LayoutBox *parent; // a page box's section box
    LayoutBox *prev;
    LayoutBox *next;
    BoxList *children;     // the page boxes, null until the first page
    int32_t avail[4];      // the area available to the current block
    ListCounter *counters; // top of the list-counter stack
    SectionRec *section;
    uint32_t flowMode;   // 0 normal layout; 3 the mode without pages
    uint32_t rtl;        // the section's direction is rtl
    uint32_t noContent;  // the section node's content is not laid out
    uint32_t stateFlags; // BoxState_*
    int32_t savedWord;   // saved with the state
    BoxShared *shared;
    // flowMode is non-zero or positioned is set: text may be cut at any
    // character.
    uint32_t flowOrAnchored;
    BlockState block;
    LineCounter *lines;     // the line counter a nested block's builder continues
    int32_t alignShift;     // a right or centre aligned shrink-to-fit block's shift
    int32_t lineHeight;     // the natural height of the current line
    int32_t layerOffset[2]; // moves an own-layer box's items at its end
    uint32_t inTable;       // tables being placed or measured, outermost first
    // Line building (layout/line.h).
    uint32_t noWrap;       // lines do not wrap (0 at creation: they do)
    uint32_t hiddenItems;  // the hidden default of the items placed
    int32_t contentHeight; // raised to the font size of every text item
    // The column set being filled (layout/columns.h), null outside one;
    // not owned.
    ColumnContext *columnContext;
};

// A box's bounds as a rectangle, and set from one.
inline Rect Box_boundsRect(const LayoutBox *box)
{
    return Rect{box->bounds[0], box->bounds[1], box->bounds[2], box->bounds[3]};
}

inline void Box_setBoundsRect(LayoutBox *box, const Rect &r)
{
    box->bounds[0] = r.x0;
    box->bounds[1] = r.y0;
    box->bounds[2] = r.x1;
    box->bounds[3] = r.y1;
}

// A new section box with its shared record, or null when out of memory.
LayoutBox *Box_create(Edr_Doc *doc);
// A page box under parent: a copy of template's state with a reference on
// its shared record, no siblings and no children of its own, appended to parent's children (the
// list made on first use). 0, or 1 when out of memory (nothing is left
// behind).
[[nodiscard]] int Box_addChild(LayoutBox *parent, LayoutBox **out, const LayoutBox *templ);
// Child lists: a new list holding first (null when out of memory);
// appending; unlinking a box (its links cleared); freeing the list record
// alone; freeing the list with every box in it; freeing a box with its
// children down to depth levels; finishing every box of the list (its
// finish operation with 0) in order, keeping the first error.
BoxList *BoxList_create(LayoutBox *first);
void BoxList_append(BoxList *list, LayoutBox *box);
void Box_unlinkChild(BoxList *list, LayoutBox *box);
void BoxList_free(BoxList *list);
void BoxList_freeAll(BoxList *list);
void Box_freeTree(LayoutBox *box, int depth);
[[nodiscard]] int BoxList_finishAll(BoxList *list);
// Drops the box's share of its shared record (the last pops every frame
// and frees them) and frees the box; null allowed.
void Box_free(LayoutBox *box);
// Enters a block: saves the state in the next deeper frame and empties
// bounds. 0 or 1.
[[nodiscard]] int Box_pushState(LayoutBox *box);
// Leaves a block: the state comes back, with the block's bounds (widened
// by its horizontal margins) united into the saved ones.
void Box_popState(LayoutBox *box);
// Fills the block state from a computed style.
void Box_applyStyle(LayoutBox *box, Edr_Style *style);

enum : int32_t {
    Layout_unset = INT32_MIN,           // an unset edge
    Layout_defaultPageWidth = 0x84000,  // 8.25 inches
    Layout_defaultPageHeight = 0xBB162, // 11.6929 inches
};

// Lays out section sectionNode (the index-th group under the root) under
// parentStyle; paged 1 gives pages of the section's height. 0 or an error.
[[nodiscard]] int Layout_section(Edr_Doc *doc, int32_t sectionIndex, uint32_t paged,
                                 Edr_Style *parentStyle, Edr_Node *sectionNode);
// Makes a page box under sectionBox for the section record rec (copied).
// 0, Res_stopRequested when the task was asked to stop, or 1.
[[nodiscard]] int Layout_newPageBox(LayoutBox *sectionBox, LayoutBox **out, const SectionRec *rec);
// Moves *box to the next page, making it when needed; the old page is
// finished unless held. *moved 1 on success.
[[nodiscard]] int Layout_nextPage(LayoutBox **box, int *moved);
// Keeps the box's pages for the section's cleanup to finish.
void Layout_holdPage(LayoutBox *box);
// Publishes the page of *box (with previousError as the keep-taller
// switch) and frees what the page box holds. 0 or the first error.
[[nodiscard]] int Layout_finishPage(LayoutBox **box, int previousError);
// Lays out a nested block when enough stack is left; otherwise posts event
// 35 and returns Res_stackExhausted.
[[nodiscard]] int Layout_nestedBlock(LayoutBox **box, Edr_Node *node, Edr_Style *style);

// Stack a nested block wants left before it descends: one level of block
// layout with its style sets and iterator, for 64-bit frames and the
// sanitizer build.
constexpr size_t Layout_nestedStackMargin = 32 * 1024;

// Lays out a block node into the box: its content, floats and nested
// blocks, leftOffset and rightOffset from the edges of the float area,
// with the line counter lines (null: a fresh one) and edgeMask the edges
// whose margin, border and padding are dropped. *box may move to a new
// page. 0, an error, or the flow results 0x1003 (region full) and 0x1006.
[[nodiscard]] int Layout_layoutBlock(LayoutBox **box, Edr_Node *node, Edr_Style *style,
                                     int32_t leftOffset, int32_t rightOffset, LineCounter *lines,
                                     uint32_t edgeMask);
struct BoxIter;

// Lays out the block of node whose entries iter delivers into lines, with
// the line counter (null: the box's lines, else a fresh one). *box may move to a new page. 0, a
// flow result or an error.
[[nodiscard]] int Layout_buildBlock(LayoutBox **box, Edr_Node *node, BoxIter *iter,
                                    Edr_Style *style, LineCounter *lines);
// Places the anchored drawing objects of a group node's content, from the
// origin (xOrigin, yOrigin). 0 or an error.
[[nodiscard]] int Layout_positionedObjects(LayoutBox *box, Edr_Style *style, Edr_Node *node,
                                           int32_t xOrigin, int32_t yOrigin);
// Places the page's headers, footers and background. 0 or an error.
[[nodiscard]] int PageDecor_place(LayoutBox *box);
// Notes the header and footer stories a block's style names, if any, for
// the pages after the current one (SectionRec::decorIds).
void PageDecor_noteStories(LayoutBox *box, const Edr_Style *style);
// The border-and-background item of a box: *item (null when there is
// nothing to show) with its extent in *rect, for the content rectangle
// widened by borders and paddings ({top, bottom, left, right}).
[[nodiscard]] int Layout_makeBoxItem(LayoutBox *box, Edr_Node *node, ObjHeader **item, Rect *rect,
                                     Edr_Style *style, const Rect *content, const int32_t *borders,
                                     const int32_t *paddings, int opaque, int keepEmpty);

// The layout cursor: a pen moved across a group's content that remembers
// the largest x and y reached. Intrinsic-width measuring reads its x
// extent as the narrowest width and its y extent as the widest; the
// cursor-driven placement of replaced items reads both as the extent of
// the content.
struct LayoutCursor {
    LayoutBox *box;
    Edr_Doc *document;
    int32_t *origin;     // the caller's start position pair
    int32_t originY;     // a copy of its second word
    int32_t narrowest;   // extent x: the widest unbreakable run seen
    int32_t widest;      // extent y: the longest line seen
    int32_t run;         // x: the current run
    int32_t line;        // y: the current line
    int32_t indentation; // extra: added to x and y when the extents are raised
    uint32_t whiteSpace; // keyword of property 88
    uint32_t keepRuns;   // fixed cell: in mode 104, breaks end runs only with this set
};

// Starts the cursor at the pair start: origin and originY from it, the
// extents, position and extra cleared, white-space normal (103), and
// keepRuns set when the style's width is set and its display is
// table-cell. The box and document fields are left as they are.
void LayoutCursor_init(LayoutCursor *cursor, int32_t *start, const Edr_Style *style);

// run += d; narrowest = max(narrowest, run + indentation).
void Layout_advanceX(LayoutCursor *cursor, int32_t d);
// line += d; widest = max(widest, line + indentation).
void Layout_advanceY(LayoutCursor *cursor, int32_t d);
// A break opportunity: run = 0, except in white-space mode 104 with
// keepRuns clear.
void Layout_newLine(LayoutCursor *cursor);

// The text format of a style: its font list (not counted), its size in
// points (16.16), style flags and spacings.
struct LayoutFont {
    FontList *fonts;
    int32_t size;
    uint32_t flags;
    int32_t charSpacing;
    int32_t wordSpacing;
};

// Fills *out with the text format of the style set. 0 or an error.
[[nodiscard]] int Layout_fontForStyle(LayoutBox *box, Edr_Style *style, LayoutFont *out);

// The text format of a run (layout/line.h); display items share it through
// the document's interned text-style list.
struct TextFormat;
// Record equality of interned text formats (InternList_acquire's test).
int Layout_textFormatEqual(const void *record, const void *key);
struct InternNode;
// The document's interned copy of format, its use count raised: *out,
// whose record is the shared TextFormat. 0, 1 when out of memory, or 8
// when the document has no layout cache.
[[nodiscard]] int Layout_internTextFormat(Edr_Doc *doc, const TextFormat *format, InternNode **out);
// Measures a label item (a text item of a list marker or text node)
// without a width limit: its box becomes the run's extent. 0 or an error.
[[nodiscard]] int Layout_measureLabel(ObjHeader *item);
// The image item of the document image with the id (*item null when there
// is none or it cannot be shown); a non-zero style word is stored in it.
// 0 or an error.
[[nodiscard]] int BoxBackground_findImage(LayoutBox *box, int32_t imageId, uint32_t styleWord,
                                          ObjHeader **item);

// The length of text (length units) up to its next line-break opportunity;
// state carries what the rules need between calls (0 at the start).
uint32_t Layout_nextBreak(const char16_t *text, uint32_t length, uint32_t *state);

struct CellBorders;
struct TableColumn;
struct TableWidths;

// A group's extra record (owned by the group, freed with
// Edr_Node_extraFree): the one record behind the node's extra pointer,
// shared by layout and the importers. Table layout leaves the table's
// minimum, maximum and fixed widths; the table grid builder
// (layout/tablegrid.h) fills the grid fields of tables, row
// groups, rows and cells; Edr_Node_measureExtra stores the measured
// extents. Freeing it releases the column styles, frees the borders
// buffer and the three width records, and destroys the object.
struct LayoutExtra {
    int32_t minWidth;
    int32_t maxWidth;
    int32_t fixedWidth;
    // The grid.
    int32_t row;          // a cell's or row's row, -1 until placed
    int32_t column;       // a cell's column, -1 until placed
    int32_t rowSpan;      // at least 1
    int32_t columnSpan;   // at least 1
    int32_t width;        // property 90 as a length, 0 for a percentage
    int32_t height;       // property 44 likewise
    int32_t widthPercent; // whole percent
    int32_t heightPercent;
    int32_t rowHeight;      // a row's height, handed to its cells
    uint32_t flags;         // low 10 bits: the display keyword
    uint32_t verticalAlign; // KwId_baseline, _bottom, _middle, _top or 0
    int32_t indent;         // property 93 of a node other than a table
    int32_t imageNumber;    // property 145, the background picture's number
    int32_t sizeWord;       // property 54
    CellBorders *borders;   // tables and cells
    // A table's grid.
    Edr_Node *caption;
    TableColumn *columns; // columnCapacity entries, columnCount used
    uint32_t columnCapacity;
    uint32_t columnCount;
    int32_t rowCount;
    int32_t colCount;
    // Table layout: a cell's content height; a table's fixed, minimum and
    // maximum width records (layout/table.h), kept until it is measured
    // again.
    int32_t contentHeight;
    TableWidths *widths[3];
    // Edr_Node_measureExtra: the measurer's x and y extents (the widest
    // unbreakable run and the longest line).
    int32_t measuredWidth;
    int32_t measuredHeight;
    ObjHeader *object; // an object of any class the record owns (Obj_destroy), or null
};

// Attaches a zeroed extra record to a group unless it has one (other
// nodes carry none and are left alone). 0, or 1 when out of memory.
[[nodiscard]] int Edr_Node_extraEnsure(EngineContext *context, Edr_Node *node);
// Frees the group's extra record and detaches it.
void Edr_Node_extraDrop(EngineContext *context, Edr_Node *node);
// Frees an extra record with what it owns (null allowed).
void Edr_Node_extraFree(void *record);
// Measures node (whose set is style) with the layout measurer
// (Edr_Measure_group) in box and stores the extents in its extra record,
// attaching one when it has none; a node that is not a group is not
// measured. 0, 1 when out of memory, or the
// measurer's error (the record then keeps its previous extents).
[[nodiscard]] int Edr_Node_measureExtra(LayoutBox *box, Edr_Node *node, Edr_Style *style);

// Columns still covered by row spans while a table's grid is built: one
// count per column.
struct SpanTracker {
    int32_t *entries;
    uint32_t count;    // columns in use
    uint32_t capacity; // entries allocated
};
// A new, empty tracker; null when out of memory.
SpanTracker *SpanTracker_create();
// Grows the tracker so that column index is inside its array (new
// entries 0; the count is not changed). 0 or 1.
[[nodiscard]] int SpanTracker_ensure(SpanTracker *tracker, uint32_t index);
// Frees a tracker (null allowed).
void Layout_freeTripleBuf(SpanTracker *tracker);

// Lays out a table node (box's first word is the engine context); its extra
// record then holds the widths. 0 or an error.
[[nodiscard]] int Layout_layoutTable(LayoutBox *box, Edr_Node *table, Edr_Style *style);
// Adds an image or picture-record node to the cursor. 0 or an error.
[[nodiscard]] int Layout_measureImage(LayoutCursor *cursor, Edr_Style *style, Edr_Node *node);
// Measures a form control given property 44 (height) and 90 (width);
// *width receives the control's width. 0 or an error.
[[nodiscard]] int Layout_measureControl(EngineContext *context, Edr_Node *node, Edr_Style *style,
                                        int32_t height, int32_t width, int32_t *outWidth);
// The laid-out size {width, height} of a sub-document node.
void Layout_subdocSize(Edr_Node *node, int32_t out[2]);
// A frame of a frame set: an item covering rect that draws the first page
// of the document of frame's sub-document child, cut at rect (nothing when
// the frame holds none). 0 or 1.
[[nodiscard]] int Layout_placeFrameDocument(LayoutBox *box, Edr_Node *frame, Edr_Style *style,
                                            const Rect *rect);
// The colour (R, G, B, A) of a palette index.
void Layout_paletteColour(uint32_t index, uint8_t out[4]);

// Replaced content met in a line or a block: images and replaced boxes,
// form controls (line null: placed in the first free band), embedded
// sub-documents, path items, worksheet grids and drawing subtrees (laid
// out into the box's layers at (x, y)). Each returns 0, Layout_lineFull when it does
// not fit on the line, or an error.
struct IterEntry;
struct LineState;
[[nodiscard]] int Layout_placeImageBox(LayoutBox *box, LineState *line, IterEntry *entry);
[[nodiscard]] int Layout_placeFormControl(LayoutBox *box, LineState *line, IterEntry *entry);
[[nodiscard]] int Layout_placeObject(LayoutBox *box, LineState *line, IterEntry *entry,
                                     Edr_Node *node);
// *item = the image item of an image node (type 4 or 7), null when there
// is nothing to show.
[[nodiscard]] int Layout_makeImageNodeItem(LayoutBox *box, ObjHeader **item, IterEntry *entry);
[[nodiscard]] int PathItem_place(LayoutBox *box, BoxIter *iter, IterEntry *entry);
// A sheet grid node under its style set, laid out by the routine the
// spreadsheet code installs on the engine context (the box's, else the
// calling thread's: spreadsheet/gridlayout.h); without one the node places
// nothing (0).
[[nodiscard]] int Layout_gridNode(LayoutBox *box, Edr_Node *node, Edr_Style *style);
[[nodiscard]] int Layout_placeDrawing(LayoutBox *box, BoxIter *iter, int32_t x, int32_t y,
                                      uint32_t scale);

// Tables and multi-column blocks (layout/table.h, layout/columns.h): table
// layout measures a table's minimum and maximum widths and lays it out into
// a free rectangle (its items into layers, its extent into *extent); a
// paged table taller than the rectangle puts its first parts on their pages
// and moves *box on, leaving the last part in layers. A multi-column block
// lays out its content into columns. 0, Layout_lineFull or an error.
[[nodiscard]] int TableLayout_measure(LayoutBox *box, Edr_Node *table, Edr_Style *style,
                                      int32_t *minWidth, int32_t *maxWidth);
[[nodiscard]] int TableLayout_run(LayoutBox **box, Edr_Node *table, Edr_Style *style,
                                  const Rect *rect, LayerList *layers, Rect *extent);
[[nodiscard]] int Columns_layoutBlock(LayoutBox **box, Edr_Style *style, Edr_Node *node);
