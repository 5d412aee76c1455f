// Update-rectangle lists: the rectangles of a page that must be redrawn or
// highlighted (changed animation frames, selections and highlights, edited
// contents), each with the caller's tag, and the outline of their union as
// one path for clipping or drawing.
//
// A list is a doubly linked chain of nodes whose first node (the head)
// holds the first rectangle; the caller keeps the head. A fresh or cleared
// list is one zeroed head that holds no rectangle (used 0). Rectangles are
// half-open {x0, y0, x1, y1} in the caller's units; for the tag selection
// two rectangles overlap when their closed bounds meet (touching counts).
// A list belongs to one owner and has no lock.
#pragma once

#include <cstdint>

struct Path;
struct Rect;

struct RectList {
    int32_t x0, y0, x1, y1;
    RectList *next;
    RectList *prev;  // null for the head
    uint32_t merged; // taken into an outline, or selected by RectList_keepTag
    uint32_t used;   // the node holds a rectangle
    uint32_t tag;    // the caller's word
};

enum : uint32_t {
    RectList_maxSteps = 501,      // corners of one outline before the bounding rectangle is used
    RectList_maxOutlines = 501,   // outlines before the bounding rectangle is used
    RectList_maxCells = 1u << 20, // cells of the rectangles' edge grid the outline walk may use
};

// Called for each rectangle of a walk; a non-zero result stops it.
typedef int (*RectListFn)(RectList *node, uint32_t tag, void *context);

// *out = a new empty list (one zeroed head). 0; 1 when memory runs out
// (*out null).
[[nodiscard]] int RectList_create(RectList **out);
// Frees every node after the head and marks the head empty (all zeros).
void RectList_clear(RectList *list);
// Clears the list, frees the head and nulls *list. Null is ignored.
void RectList_destroy(RectList **list);
// Adds a rectangle with the tag: an empty head takes it, otherwise a new
// node is appended at the tail. 0; 1 when memory runs out (the list is
// unchanged).
[[nodiscard]] int RectList_add(RectList *list, uint32_t tag, int32_t x0, int32_t y0, int32_t x1,
                               int32_t y1);
// *out = the smallest rectangle holding every node's rectangle (the
// minimum x0 and y0, the maximum x1 and y1), starting from the head.
void RectList_bounds(const RectList *list, Rect *out);
// Calls fn(node, tag, context) for each node that holds a rectangle, in
// list order. 0 or the first non-zero result.
[[nodiscard]] int RectList_forEach(RectList *list, RectListFn fn, void *context);
// Keeps the rectangles with the tag and every rectangle connected to them
// through a chain of overlapping rectangles, and frees the others (the
// head too: its successor then becomes the first node and *list is moved
// to it). Nothing changes when no rectangle has the tag.
void RectList_keepTag(RectList **list, uint32_t tag);
// *out = a new path (scale 0x10000) holding the outline of the union of
// the rectangles: every boundary of the union, outer ones clockwise (y
// growing downwards) and the boundaries of enclosed holes the other way,
// each a subpath of its corners closed with Path_close, so the path fills
// exactly the union under either fill rule. Rectangles lying inside
// another one are marked unused first; every rectangle taken into the
// outline is marked merged. An outline of RectList_maxSteps corners or
// more, RectList_maxOutlines outlines or more, or a grid of more than
// RectList_maxCells cells gives instead the bounding rectangle (unless it
// is empty, when the path is handed out as it is). A list holding no
// rectangle gives *out null and 0. 0; 1 when memory runs out, or a path
// error (then no path is handed out).
[[nodiscard]] int RectList_toPath(RectList *list, Path **out);
