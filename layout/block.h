// Block layout and the block builder.
//
// Block layout takes one group node with its computed style into a layout
// box: it picks the layout by the box's display value, positions absolute
// and relative boxes, floats boxes into the float area of the enclosing
// block, places tables and inline-block cells, lays out the floats the line
// builder set aside and hands inline content to the block builder, which
// builds the block line by line (layout/line.h) with its margins, borders,
// paddings, indent, line spacing and list marker.
//
// Geometry is in signed 16.16 layout units with y growing upward; a box's
// bounds are empty when they hold the empty bound (Rect_emptyBound).
// Results between the steps are the flow results of layout/line.h.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct BoxIter;
struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct IterEntry;
struct LayerList;
struct LayoutBox;
struct LineCounter;
struct ObjHeader;

enum : uint32_t {
    // Layout_positionBox's flags: placed along x, along y.
    Layout_placedX = 1,
    Layout_placedY = 2,
};

enum : int32_t {
    Layout_openLow = -0x55555554,      // an open bottom
    Layout_unconstrained = 0x2AAAAAAA, // a width left open
    Layout_minMarkerWidth = 0x3000,    // the least room a list marker takes
};

// ------------------------------------------------------------ block layout

// The display dispatcher: tables, columns, frame sets, form controls, list
// items and every other block through the box's nestedBlock operation.
[[nodiscard]] int Layout_layoutByDisplay(LayoutBox **box, Edr_Node *node, Edr_Style *style,
                                         LineCounter *lines);
// Lays out a positioned, floated or float-excluding box into a layer list
// of its own, then moves it into place and merges it into the box's list.
[[nodiscard]] int Layout_layoutOwnLayer(LayoutBox **box, Edr_Node *node, Edr_Style *style,
                                        LineCounter *lines);
// The containing rectangle of an absolute, fixed or relative box, written
// to box->avail; *flags Layout_placedX and Layout_placedY by what the
// style gave. Always 0.
int Layout_positionBox(LayoutBox *box, Edr_Style *style, uint32_t *flags);
// Gives the box a float area of its own (box->items; the caller keeps the
// previous one). 0 or 1.
[[nodiscard]] int Layout_makeFloatArea(LayoutBox *box);
// Finds room for a floated box whose items are in layers and whose
// rectangle is *rect, moves both there and reserves its side of the
// float area. 0, 0x1003 when there is no free rectangle at all, or the
// region break's error.
[[nodiscard]] int Layout_placeFloat(LayoutBox **box, LayerList *layers, Rect *rect);
// Asks the box's overflow operation for the next region; when there is one
// *box is that region's box, the line counter (null allowed) starts a line
// and *out is its first free rectangle in walk mode (null when none). *out
// is null when there is no further region. 0 or the operation's error.
[[nodiscard]] int Layout_breakRegion(LayoutBox **box, const Rect **out, int32_t mode,
                                     LineCounter *lines);
// Lays out the floats iter deferred, each with a fresh line counter, their
// rectangles united into *out when given. 0 or the first other result.
[[nodiscard]] int Layout_layoutDeferred(LayoutBox **box, BoxIter *iter, Rect *out);
// Lays out an inline-block cell whose top-left corner is (x, y) with a
// float area, layer list and band of its own, and merges its items into
// the box's list; *size (when given) receives its width and height. 0 or
// an error.
[[nodiscard]] int Layout_layoutCell(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t x,
                                    int32_t y, int32_t size[2]);
// Places a table in the first free rectangle wide enough for it. 0,
// 0x1003 when none is, Res_stackExhausted (after posting event 35) when
// too little stack is left, or an error.
[[nodiscard]] int Layout_placeTable(LayoutBox **box, Edr_Style *style, Edr_Node *node);
// Lays out a frame set in the box of size (width, height; 0 for the free
// width and the page's height) from the first free corner: its rows and
// cols lists split the box, each frame drawing its document in its cell
// and a nested set filling its own; without lists the frames follow one
// another (side by side for columns). size receives the extent of the
// set. 0 or an error.
[[nodiscard]] int Layout_layoutFrameSet(LayoutBox **box, Edr_Node *node, Edr_Style *style,
                                        int32_t size[2]);
// An overflow operation that answers there is no further region.
int Layout_noRegion(LayoutBox **box, int *moved);

// Display values laid out as blocks.
int Layout_isBlockDisplay(const Edr_Style *style);
// Groups of a table (engine property 112 from 181 to 186; sections to 187).
int Layout_isTablePart(const Edr_Style *style, Edr_Node *node);
int Layout_isTableSection(const Edr_Style *style, Edr_Node *node);
// A displayed group positioned absolutely.
int Layout_isOutOfFlow(const Edr_Style *style, Edr_Node *node);
// A property-value node of position with the value absolute or 10.
int Layout_isOffsetMarker(Edr_Node *node);

// Box rectangles: {x0, y0, x1, y1}; empty is the empty bound.
void Rect_setEmpty(Rect *r);
int Rect_isNonEmpty(const Rect *r);
// r unchanged when s is empty, s when r is, else their union.
void Rect_unionNonEmpty(Rect *r, const Rect *s);
// Unites the item's shown box, clipped to a non-empty clip, into r (and
// stores it in *out when given).
void Rect_addItemBounds(Rect *r, const ObjHeader *item, Rect *out, const Rect *clip);

// ------------------------------------------------------------ block builder

// Lays out the content that follows an absolute-position marker (already
// read; the caller pushed a state with its style applied).
[[nodiscard]] int Layout_absoluteBlock(LayoutBox **box, BoxIter *iter, Edr_Style *style,
                                       Edr_Node *marker);
// Places the anchored drawing objects among node's content with the x and y
// origin of the block; the box's positioned operation. 0 or an error.
[[nodiscard]] int Layout_positionedObjects(LayoutBox *box, Edr_Style *style, Edr_Node *node,
                                           int32_t x, int32_t y);
// 1 for a group laid out as a block.
int Layout_isBlockLevel(const Edr_Style *style, Edr_Node *node);
// A text entry whose remaining text starts with a line break: resume
// moves past it (CR LF and LF CR count as one) and 1; else 0.
int Layout_skipLineBreak(IterEntry *entry);
// Reads past the text entries that hold only white space and pushes the
// first other entry back. 0 or an error.
[[nodiscard]] int Layout_skipBlankText(BoxIter *iter, LayoutBox *box);
// Makes the block's border and background item around content (widened by
// the box's borders and paddings), puts it first in the lowest layer of
// the box's list and unites its extent into the bounds. 0 or an error.
[[nodiscard]] int Layout_addBlockItem(LayoutBox *box, Edr_Node *node, Edr_Style *style,
                                      const Rect *content);
// 1 when node heads a header, footer or page background group.
int Layout_isDecorationGroup(Edr_Node *node, Edr_Doc *doc);
