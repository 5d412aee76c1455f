// Link references {kind, document, node} of the web layer.
//
// Only the services that modules built before the web layer call are
// declared here so far; the web layer defines the record.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

// A link reference: {kind, document, node}; Link_init sets {1, 0, 0}.
struct Link {
    int32_t kind;
    Edr_Doc *document;
    intptr_t node;
};

// Releases what the link reference holds (null allowed); the record itself
// stays its owner's.
void Link_release(Link *link);

// Finds the node a URL fragment names and its rectangle (four words) and
// page; an empty name or "top" gives the document's top. 0 or an error.
int Link_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t rect[4], int32_t *page);
// Sets the empty link {1, 0, 0}.
void Link_init(Link *link);
// dst (cleared first) becomes a copy of src holding its own references.
// 0, or 1 when memory runs out (dst is then the empty link).
int Link_copy(Link *dst, const Link *src);
// 1 when the link is of the kind.
int Link_isKind(const Link *link, int32_t kind);
// A link reference to a node of a document into *out. 0 or an error (out
// is then the empty link).
int Link_fromNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node, Link *out);
// The document's current link target into *out (the empty link when there
// is none). 0 or an error.
int Link_resolveTarget(Edr_Doc *doc, Link *out);
// The node a link names (with a node reference) and its document (with a
// document reference); both null when it names none. 0 or an error.
int Link_resolveNode(const Link *link, Edr_Node **node, Edr_Doc **doc);

// The first group in document order whose name equals name, or whose id
// equals it (element, when not 0, must match too), with a node reference
// into *out (null when none). 0 or an error.
int Link_findNamed(Edr_Doc *doc, Edr_Node **out, uint32_t element, const char16_t *name, size_t length);
