// Test page views for the selection tests: FakeViews whose laid-out runs a
// test sets, with the highlights added on them recorded. FakeSelect_install
// puts a table of the viewer's operations on the engine context that is the
// viewer's own but for the runs and highlights of the views, which it
// answers from the FakeViews.
#pragma once

#include <vector>

#include "core/geom/rect.h"
#include "document/edit/selection.h"
#include "document/edr/pageview.h"
#include "document/edr/viewops.h"

struct EngineContext;

struct FakeHighlight {
    Rect bounds; // of the outline
    uint32_t border;
    uint32_t fill;
    int flag;
};

struct FakeView {
    PageView base; // first: the selection sees this
    std::vector<LaidOutTextRun> runs;
    std::vector<FakeHighlight> highlights;
    int removals = 0;
};

// Fills table with the context's installed viewer operations (the
// viewer's own when none is installed), the runs and highlights replaced
// by the FakeViews', and installs it on context; the table must outlive
// its use. FakeSelect_remove puts the viewer's own table back.
void FakeSelect_install(EngineContext *context, Edr_ViewOps *table);
void FakeSelect_remove(EngineContext *context);
