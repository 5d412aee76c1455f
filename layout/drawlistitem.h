// The display item of a drawing-list node: a drawing-list item
// (graphics/drawlist.h) over the node's shared list.
#pragma once

struct Edr_Node;
struct ObjHeader;

// A new item showing the drawing-list node, its box the list's bounds,
// or *out null when the node holds no figure (or is not a drawing-list
// node). 0 or 1.
[[nodiscard]] int DrawListItem_create(Edr_Node *node, ObjHeader **out);
