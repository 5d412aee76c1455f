// The section list of a page laid out without pages: its section pages,
// the section jobs still to be laid out and the pages of embedded
// sub-documents, in page order, with a current position.
//
// The list is a body-source list (core/container/mimesrc.h) with a position, a
// state, an information record and a page width; its entries are body
// sources with further callbacks, freed as body sources are: a page (kind
// 0) through its first callback, a job (kind 1) through its first callback
// with its buffer pair, a sub-document page (kind 2) through its second
// callback.
#pragma once

#include <cstdint>

#include "core/container/mimesrc.h"

struct EngineContext;
struct Edr_Node;
struct Edr_PageRecRef;
struct Edr_Style;
struct Rect;

enum : uint32_t {
    ByteSrc_page = 0,
    ByteSrc_job = 1,
    ByteSrc_subdoc = 2,
    // States.
    ByteSrcList_open = 0,
    ByteSrcList_closed = 1,
};

struct ByteSrcList;

// The callbacks of the entry kinds.
typedef Edr_PageRecRef *(*ByteSrcPageRefFn)(void *record);
typedef void (*ByteSrcExtentFn)(void *record, Rect *out);
typedef int (*ByteSrcRunFn)(void *record, void *argument, ByteSrcList *list);
typedef int (*ByteSrcOpenFn)(void *record);
typedef void (*ByteSrcCloseFn)(void *record);
typedef void *(*ByteSrcPageFn)(void *record);

// One entry: the body source (its data is the entry's record) and the
// callbacks of its kind.
struct ByteSrcEntry {
    MimeSrc src;
    uint32_t kind;            // ByteSrc_*
    ByteSrcPageRefFn pageRef; // kind 0
    ByteSrcExtentFn extent;   // kind 0
    void *argument;           // kind 1: what the job lays out
    ByteSrcRunFn run;         // kind 1
    Edr_Node *node;           // kind 2
    ByteSrcOpenFn open;       // kind 2
    ByteSrcCloseFn close;     // kind 2
    ByteSrcPageFn page;       // kind 2
};

// What the list's owner tells its sections: the default section
// background (one reference, or null).
struct ByteSrcInfo {
    Edr_Style *style;
};

struct ByteSrcList {
    MimeSrcList base;  // the entries (ByteSrcEntry), count in use
    uint32_t position; // the current position
    uint32_t state;    // ByteSrcList_open or _closed
    ByteSrcInfo info;
    int32_t width; // the page width
};

// A new open, empty list of page width into *out. 0, or 1 when out of
// memory (*out null). Freed with ByteSrcList_free (or, as a body-source
// list, with Mime_srcListFree after its information record is dropped).
[[nodiscard]] int ByteSrcList_create(EngineContext *ctx, int32_t width, ByteSrcList **out);
// Frees every entry, the information style and the list (null allowed).
void ByteSrcList_free(ByteSrcList *list);
// The list of a body-source list made by ByteSrcList_create.
ByteSrcList *ByteSrcList_of(MimeSrcList *base);

// The record of the entry at the current position, or null.
void *ByteSrcList_current(ByteSrcList *list);
// The entry at index, or null.
ByteSrcEntry *ByteSrcList_entry(ByteSrcList *list, uint32_t index);
ByteSrcInfo *ByteSrcList_info(ByteSrcList *list);
// Moves the current position on by one (never past the end).
void ByteSrcList_advance(ByteSrcList *list);
int ByteSrcList_isOpen(const ByteSrcList *list);
int32_t ByteSrcList_width(const ByteSrcList *list);
// Closes the list: nothing more is inserted by the section code.
void ByteSrcList_close(ByteSrcList *list);
// Sets the default section background (a reference is taken; the old one
// is released).
void ByteSrcList_setInfoStyle(ByteSrcList *list, Edr_Style *style);

// Insert an entry of each kind at the current position under the list's
// lock (the entries from there move one on). 0, or 1 when out of memory;
// on failure the caller frees its record.
[[nodiscard]] int ByteSrcList_insertPage(ByteSrcList *list, void *record, ByteSrcPageRefFn pageRef,
                                         ByteSrcExtentFn extent, MimeSrcFn destroy);
[[nodiscard]] int ByteSrcList_insertJob(ByteSrcList *list, void *record, void *argument,
                                        ByteSrcRunFn run, MimeSrcFn destroy);
[[nodiscard]] int ByteSrcList_insertSubdoc(ByteSrcList *list, void *record, Edr_Node *node,
                                           ByteSrcOpenFn open, ByteSrcCloseFn close,
                                           ByteSrcPageFn page, MimeSrcFn destroy);
// Runs every job of the list in order, each with the position just after
// it so that the pages it makes follow it; a job that has run leaves the
// list. Jobs that running queues are run too. 0 or the first error (the
// jobs not yet run stay).
[[nodiscard]] int ByteSrcList_runJobs(ByteSrcList *list);
