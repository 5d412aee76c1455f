// Link references {kind, document, node} of the web layer.
//
// Only the services that modules built before the web layer call are
// declared here so far; the web layer defines the record.
#pragma once

#include <cstdint>

struct Edr_Doc;

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
