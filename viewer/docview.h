// Viewer services that the document model calls: the document's view
// record and shared lists, and the display record whose rectangle the view
// forwarders read.
//
// Only the services that modules built before the viewer call are declared
// here so far; the viewer defines the records.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct Edr_Doc;

// The part of a view's display record that the rectangle accessors use:
// its own lock, the four-word rectangle and the current page's two size
// words.
struct DispPageSize {
    int32_t width;
    int32_t height;
};
struct DispView {
    Lock lock;
    int32_t rect[4];
    DispPageSize *currentPage;
};

// The document's view record (its first word heads the page-entry list).
int View_createHighlightStyle(EngineContext *context, void **cell);
void View_destroyHighlightStyle(void *record);
// The document's shared lists.
int View_createSharedLists(void **cell);
void View_destroySharedLists(void *record);
// Non-zero when the document's view has a focused editing object.
int View_hasEditFocus(Edr_Doc *doc);
