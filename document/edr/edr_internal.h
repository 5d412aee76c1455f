// Helpers shared by the files of the eDR document model (not for callers
// outside document/edr).
#pragma once

#include <cstdint>

#include "document/edr/doc.h"
#include "document/edr/node.h"

namespace edr {

inline uint32_t count(const Edr_Node *n)
{
    return (n->flags & Edr_Node_countMask) >> Edr_Node_countShift;
}

inline bool isGroup(const Edr_Node *n)
{
    return n && (n->flags & Edr_Node_typeMask) == Edr_NodeType_group;
}

inline Edr_Group *group(Edr_Node *n)
{
    return reinterpret_cast<Edr_Group *>(n + 1);
}

inline const Edr_Group *group(const Edr_Node *n)
{
    return reinterpret_cast<const Edr_Group *>(n + 1);
}

// Appends a run (linked through next, last->next null) to the unlinked chain.
void appendUnlinked(Edr_Doc *doc, Edr_Node *first);
// Unlinks [first .. last] from its parent (last null: to the parent's last
// child); the run keeps its next links, last->next becomes null.
void unlinkRun(Edr_Doc *doc, Edr_Node *first, Edr_Node *last);
// Takes a node that is neither in the tree nor on the chain (or on the
// chain) off the chain and destroys it. For creators whose linking failed.
void discardNode(Edr_Doc *doc, Edr_Node *node);
// Checks a group argument: 1537 dead, 1540 not a group, 0 ok (Res_nullInput for
// null).
int checkGroup(Edr_Doc *doc, Edr_Node *group);
// Frees a group's extension record and what it owns.
void freeExt(Edr_GroupExt *ext);
// Frees a list of attribute records.
void freeRecords(Edr_AttrRecord *r);

} // namespace edr
