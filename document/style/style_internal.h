// Helpers shared by the files of the style code (not for callers outside
// document/style): the keys and match state of a node, and the rule index.
#pragma once

#include <cstdint>

#include "document/edr/node.h"
#include "document/style/style.h"

namespace style {

// A node offers at most this many keys to the rule index.
constexpr uint32_t maxNodeKeys = 8;

// The group payload of a node, or null when it is not a group.
inline Edr_Group *groupOf(Edr_Node *node)
{
    return node && (node->flags & Edr_Node_typeMask) == Edr_NodeType_group
               ? reinterpret_cast<Edr_Group *>(node + 1)
               : nullptr;
}

// The distinct keys of a group (its element, its further keys, the id name
// of its attribute record), at most maxNodeKeys; returns the count.
uint32_t nodeKeys(Edr_Node *node, uint32_t keys[maxNodeKeys]);

// The match state a node's attribute record gives: bit 3 for a group with a
// URL, bit 4 instead when the URL was given flagged.
uint32_t nodeState(Edr_Node *node);

// Whether the document has any style sheet.
bool hasSheets(Edr_Doc *doc);

// Collects into context->entries the rules of the document's sheets that
// match node (state for the node itself; ancestors are matched only when
// withAncestors is set), compiling the index first when it is missing or
// stale. 0, or 1 when memory runs out.
int collectRules(Edr_StyleCtx *context, Edr_Node *node, const uint32_t *keys, uint32_t keyCount,
                 uint32_t state, bool withAncestors);

// Frees a compiled index (null allowed).
void freeIndex(Edr_StyleIndex *index);

// Learns the ids of "body", "okalasection" and "*" while they are unknown.
void learnNames(Edr_StyleCtx *context);

// Grows a heap array of items of size bytes to hold at least need items.
int grow(void **array, uint32_t *capacity, uint32_t need, size_t size);

} // namespace style
