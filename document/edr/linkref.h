// Link references {kind, document, node}: which document (top-level or
// inside a frame) and which node a followed link or a fragment names. The
// record is the document model's; the web layer resolves link nodes and
// target names into it (html/link.h).
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;

// A link reference: {kind, document, node}; Link_init sets {1, 0, 0}.
// kind 0: unresolved, 1: a top-level document, 2: a document inside a
// frame. document is counted; node is an Edr_Node of it holding a node
// reference, or 0.
struct Link {
    int32_t kind;
    Edr_Doc *document;
    intptr_t node;
};

// Releases what the link reference holds (null allowed) and makes it the
// empty link; the record itself stays its owner's.
void Link_release(Link *link);

// Sets the empty link {1, 0, 0}.
void Link_init(Link *link);
// dst (cleared first) becomes a copy of src holding its own references.
// 0, or 1 when memory runs out (dst is then the empty link).
[[nodiscard]] int Link_copy(Link *dst, const Link *src);
// 1 when the link is of the kind.
int Link_isKind(const Link *link, int32_t kind);
// A reference to the document's root into *out: kind 1 for a top-level
// document, 2 for one inside a frame. 0, Res_deadNode when it has no root.
[[nodiscard]] int Link_resolveTarget(Edr_Doc *doc, Link *out);
// A reference to node of doc (kind as Link_resolveTarget). 0, Res_deadNode when
// the document has no root or the node is dead.
[[nodiscard]] int Link_resolveTargetNode(Edr_Doc *doc, Edr_Node *node, Link *out);
// The node a link names (with a node reference; the root when it names only a
// document) and its document (with a document reference); both null when it
// names none. 0, or Res_deadNode when the document has no root or the node is
// gone.
[[nodiscard]] int Link_resolveNode(const Link *link, Edr_Node **node, Edr_Doc **doc);
