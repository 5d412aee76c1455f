// Directional focus search: the next focusable object to the right of the
// focused one, in a frame turned so that the wanted direction points right
// (office/focus/focusband.h, Rect_orient).
#pragma once

#include <cstdint>

#include "office/focus/focusband.h"

struct Edr_Doc;
struct Edr_Node;

// The focused object, or a candidate, in the turned frame. The document
// and node are counted references held by whoever holds the item.
struct FocusItem {
    Edr_Doc *doc;
    Edr_Node *node;
    uint32_t serial; // the object's number in the walk of focusables (from 1)
    int32_t left, top, right, bottom;
};

// Replaces *item (the focused object of doc, its rectangle turned by the
// orientation flags) by the next focusable object to its right: the
// candidate's document and node references move to the caller. When there
// is none, *item is cleared (null document and node, serial 0). The
// references *item held on entry are not touched. filter (may be null)
// decides which objects count. 0, or 1 when out of memory.
int Focus_findNext(Edr_Doc *doc, FocusItem *item, uint32_t flags, FocusFilterFn filter,
                   void *filterArgument);
