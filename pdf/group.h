// Page group records: the drawing made for a page, or for a group nested
// in it, collected as a chain of display items with its rectangle, a kind
// word and a stack of markers, until the page hands them on.
#pragma once

#include <cstdint>

#include "core/container/obj.h"

// One marker: three words of the caller's and a fourth, newest first.
struct PdfMarker {
    intptr_t words[3];
    intptr_t fourth;
    PdfMarker *next;
};

struct PdfGroupRecord {
    float rect[4];              // x0 y0 x1 y1
    uint32_t kind;
    PdfMarker *markers;         // the marker stack, newest first
    ObjHeader *items;           // the first display item of the record's chain
    PdfGroupRecord *next;       // the next group record of the page
};

// The rectangle of records made without one: unbounded.
extern const float PdfGroup_defaultRect[4];

// A new record of kind with rect (null: the default rectangle); the items
// of list (null allowed) are moved to the end of the new record's chain and
// the list holder is freed. 0 or 1 (list left as it was).
[[nodiscard]] int PdfGroup_create(ObjList *list, const float *rect, uint32_t kind, PdfGroupRecord **out);
// Moves the items of list to the end of the last record of record's chain
// and frees the list holder (null allowed).
void PdfGroup_appendItems(PdfGroupRecord *record, ObjList *list);
// Destroys the record's items.
void PdfGroup_freeItems(PdfGroupRecord *record);
// Frees every record of the chain with its items and markers (null
// allowed).
void PdfGroup_freeChain(PdfGroupRecord *first);

// Marker stack: push a new top entry; clear the stack; replace the whole
// stack by one entry. Push and replace: 0 or 1 (nothing changed).
[[nodiscard]] int PdfGroup_pushMarker(PdfGroupRecord *record, const intptr_t *words, intptr_t fourth);
void PdfGroup_clearMarkers(PdfGroupRecord *record);
[[nodiscard]] int PdfGroup_replaceMarkers(PdfGroupRecord *record, const intptr_t *words, intptr_t fourth);
