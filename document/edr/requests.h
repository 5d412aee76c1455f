// The request table of a document: the reference-counted requests (sets of
// style rules with a URL, platform/api/request.h) made on it, in the order
// they were added.
//
// The document model creates the table with the document, frees it with
// the document, appends requests and iterates them; the selection and
// editing code walks it too. Changes and walks run under the document's
// tree lock, taken by the callers.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Request;

// A sub-record of the table whose first and fourth words are owned blocks.
struct DocRequestSub {
    void *block0;
    intptr_t words[2];
    void *block3;
};

struct DocRequestTable {
    Edr_Doc *doc;       // the owning document
    Request **requests; // null-terminated, one reference each; null while empty
    DocRequestSub *sub; // owned, or null
    void *context;      // given at creation, not owned
    intptr_t words5[3];
    void *blocks8[2]; // owned
    intptr_t words10[2];
    void *block12; // owned
};

// *out = a new empty table of doc (zeroed). 0; 1 when memory runs out (*out
// null).
[[nodiscard]] int DocRequests_create(Edr_Doc *doc, void *context, DocRequestTable **out);
// Frees the sub-record and its two blocks, releases every request in
// array order, frees the array, the three owned blocks and the table. Null
// is ignored.
void DocRequests_free(DocRequestTable *table);
// Stores request at the end; the table takes over the caller's reference.
// 0; 1 when memory runs out (the table is unchanged and the reference stays
// the caller's).
[[nodiscard]] int DocRequests_append(DocRequestTable *table, Request *request);
// The first request, with a reference added for the caller; null for an
// empty or null table.
Request *Request_firstOfDoc(DocRequestTable *table);
// The request after request, with a reference added; null when request is
// the last one or not in the table, or the table is empty.
Request *Request_nextOfDoc(DocRequestTable *table, Request *request);
// The number of requests of kind 2.
uint32_t DocRequests_countKind2(const DocRequestTable *table);
// The n-th (from 0) request of kind 2 in array order, with a reference
// added; null when there are not that many.
Request *DocRequests_nthKind2(DocRequestTable *table, uint32_t n);

// The request at index, lent (no reference added: valid while the tree
// lock is held); null at the end of the array or for an empty or null
// table. Walks go from index 0 up to the first null.
inline Request *DocRequests_lentAt(const DocRequestTable *table, uint32_t index)
{
    return table && table->requests ? table->requests[index] : nullptr;
}
