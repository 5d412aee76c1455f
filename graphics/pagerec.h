// The page record: one piece of a laid-out page, as layout builds it and
// the page drawing code draws it (a background colour, a clip list, a
// matrix and a chain of display items).
#pragma once

#include <cstdint>

struct AltRect;
struct ClipEntry;
struct Edr_Doc;
struct Matrix;
struct MimeSrcList;
struct ObjHeader;
struct PageView;
struct PixelBuf;

enum : uint32_t {
    // Build states of a record, which are also the kinds of page pieces.
    Edr_PageBuild_ready = 0,    // a finished content piece
    Edr_PageBuild_embedded = 3, // an embedded-page piece; it owns its matrix
    Edr_PageBuild_building = 4,
};

// A laid-out page, made by layout: a chain of pieces through nextRec, the
// page's own record first. bounds are the piece rectangle, 16.16 values
// {x0, y0, x1, y1} with y growing downwards from 0 (y0 is minus the page
// height; 0x80000000 when unset). A record owns its page image, block,
// clip list, alternate rectangle and, as its kind says, its matrix and its
// items.
struct Edr_PageRec {
    Edr_Doc *doc; // the owner document
    intptr_t words1[2];
    int32_t bounds[4];
    intptr_t boundsTail;   // the word after the bounds, copied from a template
    uint8_t background[4]; // colour 0xAABBGGRR, read little-endian; top byte: alpha
    PixelBuf *thumb;       // the page image (its thumbnail picture), or null
    intptr_t thumbTail;    // the word after the page image, kept
    void *block;           // owned heap block
    ClipEntry *layout;     // the clip list (first entry, or null), owned
    uint32_t buildState;   // the piece kind Edr_PageBuild_*: 0 content, 3 embedded page
    Matrix *matrix;        // the piece's matrix, or null; owned by an embedded-page piece
    AltRect *altRect;      // the page's own drawing object (rectangle: the shared default)
    ObjHeader *objects;    // content: the first display item, the chain freed with the record;
                           // embedded page: the object item whose node's payload is the
                           // EmbeddedPageRef (graphics/pagerender.h), not owned
    ObjHeader *overlays;   // the highlight items, always freed with the record
    Edr_PageRec *nextRec;  // the next piece (records freed together are chained too)
    MimeSrcList *sources;  // the body sources of a page laid out without pages, owned
    PageView *views;       // the page entry's views while the record is current (lent):
                           // their highlights are drawn over the page
};
