// What the viewer asks of sub-document nodes and page records: their size,
// scale and target page, display requests for the view that shows them,
// and a document's top image (the image that the first group under the
// root names through its background picture).
#pragma once

#include <cstdint>

struct DispmanView;
struct Edr_Doc;
struct Edr_Node;
struct FvDisplay;
struct Path;
struct Url;

// The shown width and height of a sub-document node (placement words 5
// and 6), read under the document's read lock; 0 and 0 for other nodes.
void Edr_Subdoc_getSize(void *viewer, Edr_Doc *doc, Edr_Node *node, int32_t *width,
                        int32_t *height);
// The 16.16 scale of a sub-document node; 0x10000 for other nodes.
int32_t Edr_Subdoc_getScale(void *viewer, Edr_Doc *doc, Edr_Node *node);
// Copies the child document (lent), page kind and page key of a
// sub-document node under the read lock: 1; 0 when an argument is null or
// the node is not a sub-document.
int Edr_Subdoc_getTarget(Edr_Doc *doc, Edr_Node *node, Edr_Doc **child, intptr_t *pageKind,
                         intptr_t *pageKey);
// The position of a sub-document's page in its child document's page
// list: 1 with *child (lent) and *pageIndex, else 0. The parent's lock is
// dropped before the child's is taken; the child is held by a reference
// meanwhile.
int Edr_Subdoc_findPage(void *viewer, Edr_Doc *doc, Edr_Node *node, Edr_Doc **child,
                        uint32_t *pageIndex);
// Display requests for the view of a sub-document: a node that is not a
// sub-document gives its type and queues nothing; else the queue's result.
int Edr_Subdoc_queueKind4(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, int32_t b,
                          uint32_t c);
int Edr_Subdoc_queueZoom(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, uint32_t b,
                         int32_t c, int32_t d);
int Edr_Subdoc_queuePan(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, int32_t b,
                        int32_t c);

// The top image node of doc (lent), or null: out null and 0 when there is
// none, else the lookup's error. Caller holds the read lock.
[[nodiscard]] int Edr_Doc_findTopImage(Edr_Doc *doc, Edr_Node **out);
// 1 when the document has a top image, else 0.
int Edr_Doc_hasTopImage(Edr_Doc *doc);
// *out = a copy of the top image's URL (null when there is no top image).
// 0, 1 when the copy fails, or the lookup's error.
[[nodiscard]] int Edr_Doc_copyTopImageUrl(Edr_Doc *doc, Url **out);

// A chain of path records: each owns its block and its path.
struct Edr_PathItem {
    intptr_t word;
    void *block;
    intptr_t words[2];
    Edr_PathItem *next;
    Path *path;
};
// Frees the chain from first (null allowed).
void Edr_PathItems_free(Edr_PathItem *first);

// The word with bits 24-31 cleared.
uint32_t Color_clearTop(uint32_t word);
