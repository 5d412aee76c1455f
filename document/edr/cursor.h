// Node query cursors: lazy answers to questions such as "the elements with
// this name", "the controls of this form" or "the third image".
//
// A cursor holds a root node (or the whole document), a chain of filters
// and the matches gathered so far, in document order. It walks the tree
// only as far as a read asks, and notices tree changes through the
// document's structure stamp: when the stamp moved, the matches are
// dropped and gathered again. The matches hold node references, so a
// cursor stays valid across lock releases; the document itself is not
// counted and must outlive the cursor.
//
// Filter kinds: 0 and 4 every node; 1 form elements; 2 elements 62 and 63;
// 3 element 87; 5 the first child of elements 48 and 60 (gathered in their
// place); 6 children of the walk's start; 7 the same without text nodes;
// 8 a name; 9 an id; 10 a name or an id; 11 nodes with an id; 12 an
// element name. The element codes are the HTML importer's; element 47 as
// the root makes the cursor range over the controls the form owns.
#pragma once

#include <cstdint>

#include "document/edr/nodelist.h"

struct Edr_Doc;
struct Edr_Node;

struct Edr_CursorFilter {
    Edr_CursorFilter *nextFilter;
    uint32_t kind;
    uint32_t a; // the id of "#" + text (kinds 9 and 10), 0 when not found
    uint32_t b; // the id of the text (kinds 8, 10 and 12), 0 when not found
};

struct Edr_Cursor {
    Edr_Doc *doc;              // not counted
    Edr_Node *root;            // one reference, or null for the whole document
    Edr_CursorFilter *filters; // owned chain, the newest first
    uint16_t stamp;            // the document's structure stamp when last refreshed
    int32_t total;             // the number of matches, -1 while not known
    Edr_NodeList found;        // the matches gathered so far
    uint32_t formScope;        // the root is a form (element 47)
};

enum : uint32_t {
    Edr_Query_first = 0,  // the first match as a node
    Edr_Query_cursor = 1, // the filtered cursor
    Edr_Query_auto = 2,   // nothing, the one match, or the cursor for two or more
};

// Under the read lock: a cursor on doc below root (null: the whole
// document) into *out (null on failure). 1536 without a document, 1551
// when root is deleted, 1 out of memory.
[[nodiscard]] int Edr_Cursor_create(Edr_Doc *doc, Edr_Node *root, Edr_Cursor **out);
// Releases the matches and the root, frees the filters and the cursor.
// Null allowed.
void Edr_Cursor_destroy(Edr_Cursor *cursor);
// A new cursor on the same document and root with copies of the filters
// and of the matches (references taken). 1536 without a document, 1 out of
// memory; *out null on failure.
[[nodiscard]] int Edr_Cursor_clone(const Edr_Cursor *cursor, Edr_Cursor **out);
// Adds a filter of the kind; the text (null allowed) is looked up in the
// document's name table, never added to it. The matches are gathered again
// on the next read. 1536 without a document, 1 out of memory.
[[nodiscard]] int Edr_Cursor_addFilter(Edr_Cursor *cursor, uint32_t kind, const char16_t *text);

// The number of matches, gathering up to limit of them (-1: all): the
// total when it is known, else the number found, which becomes the total
// when fewer than limit were found. 1536 without a document, 1 out of
// memory.
[[nodiscard]] int Edr_Cursor_count(Edr_Cursor *cursor, int32_t *out, int32_t limit);
// The same with limit 2 (nothing, one or more than one).
[[nodiscard]] int Edr_Cursor_countTwo(Edr_Cursor *cursor, int32_t *out);
// The match at index with a new reference into *out, null past the last match.
// 1536 without a document, Res_nodeDeleted when the node was deleted, 1 out of
// memory.
[[nodiscard]] int Edr_Cursor_item(Edr_Cursor *cursor, uint32_t index, Edr_Node **out);
// The position of node among the matches into *out, -1 when it is not one.
// 1536 without a document, 1 out of memory.
[[nodiscard]] int Edr_Cursor_indexOf(Edr_Cursor *cursor, Edr_Node *node, int32_t *out);

// Narrows a cursor by one more filter: a clone with the filter added
// answers by how (Edr_Query_*): the first match into *outNode, the clone
// into *outCursor, or (auto) nothing, the single match or the clone. Both
// outs are cleared first; what is handed out is the caller's (a node
// reference, a cursor to destroy). 1536 without a document, 1 out of
// memory.
[[nodiscard]] int Edr_Cursor_query(Edr_Cursor *cursor, uint32_t kind, const char16_t *text,
                                   uint32_t how, Edr_Node **outNode, Edr_Cursor **outCursor);
// The same over a fresh cursor on (doc, root).
[[nodiscard]] int Edr_Doc_query(Edr_Doc *doc, Edr_Node *root, uint32_t kind, const char16_t *text,
                                uint32_t how, Edr_Node **outNode, Edr_Cursor **outCursor);
