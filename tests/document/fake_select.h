// A fake of the viewer's highlight services for the document tests: page
// views are FakeViews whose laid-out runs a test sets, and added
// highlights are recorded on the view. Linked into the document tests in
// place of viewer/select/interim.cpp.
#pragma once

#include <vector>

#include "core/geom/rect.h"
#include "layout/layout.h"
#include "viewer/docview.h"

struct FakeHighlight {
    Rect bounds;        // of the outline
    uint32_t border;
    uint32_t fill;
    int flag;
};

struct FakeView {
    PageView base;      // first: the selection sees this
    std::vector<LaidOutTextRun> runs;
    std::vector<FakeHighlight> highlights;
    int removals = 0;
};
