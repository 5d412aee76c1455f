// The focus highlight: making a node the document's focus (its boxes in
// the page views outlined as one temporary highlight), and finding where a
// node is shown.
#pragma once

#include <cstdint>

#include "viewer/docview.h"

enum : int32_t {
    Select_notShown = 4102, // no page view shows the node
    // Modes of Select_setFocus.
    Select_focusMake = 0,    // make the node the focus
    Select_focusLasting = 1, // add a lasting highlight for the node
    Select_focusMeasure = 2, // only measure the node's focus rectangle
};

// Sets the focus of the document's highlight style to node (mode 0),
// highlights node without keeping it (mode 1) or only measures it (mode
// 2). In mode 0 the old focus goes first: its temporary highlights are
// removed from every view and its reference dropped. The node's boxes in
// the views, each grown by 1820 units (only those connected by overlap to
// the focus part's box when a part is given), are outlined as one path
// and highlighted in the colours of the focus kind; outRect (may be null)
// gets their bounding box. 0, 4102 when no view shows the node, or an
// error.
[[nodiscard]] int Select_setFocus(EngineContext *context, Edr_Doc *doc, HighlightStyle *style,
                                  Edr_Node *node, ObjHeader *part, int32_t kind, int32_t mode,
                                  int32_t outRect[4]);

// Where node is shown among the page entries from first: *rect the
// bounding box of its items' boxes moved by their origins, *index the
// index of the entry that shows it (-1 when no view shows it). 0.
int Select_findFocusAt(Edr_PageEntry *first, const Edr_Node *node, int32_t rect[4], int32_t *index);

// The box of node in the page views of the document, in pixels at 96 per
// inch (p = (v * 96 + 32768) / 65536 of view units): x from x0, y from
// -y1, the width x1 - x0 and the height y1 - y0. All four are cleared
// first and stay 0 when no view shows the node. 0.
int Select_nodeRectPixels(Edr_Doc *doc, const Edr_Node *node, int32_t *x, int32_t *y,
                          int32_t *width, int32_t *height);
