// Reports of changed page areas to a document's view: the records the
// display hooks of a document (document/edr/doc.h) are called with, and the
// calls that read the hooks under the document's hook lock and call them
// after it is let go (a hook may tell the thumbnail hook, which takes that
// lock). Layout reports a published page, the viewer its highlights.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Doc;

// The sub-code with which a changed area only joins the high-quality list
// of its views (the display manager's own sub-codes: viewer/dispqueue.h).
enum : uint32_t {
    Edr_AreaSub_hqOnly = 3,
};

// An area of a page: the document, the page's key pair and a rectangle in
// page units. Requests of kinds 1 and 6 carry one (its last word spare);
// in a high-quality list the last word is the notify flag. Empty when the
// document is null or the rectangle holds no point.
struct DispmanArea {
    Edr_Doc *document;
    int32_t pageKey;
    uint32_t pageKind;
    Rect rect;
    intptr_t notify;
};

// A changed page rectangle reported to the document's view.
struct ViewChangeReport {
    Edr_Doc *document;
    int32_t section;
    int32_t page;
    int32_t rect[4];
};

// Reports a changed page rectangle to the document's view: its area hook
// (read under the document's hook lock) hears of it (sub-code 3, the area as a
// rectangle, notifyThumbnails, interrupt and the progress words {1, 0, 0}).
// The hook's result; 0 without a hook.
[[nodiscard]] int View_invalidateRect(const ViewChangeReport *report, int32_t notifyThumbnails,
                                      int32_t interrupt);
// Reports the areas of a report to the document's object hook (mode 0, no
// progress) when the view's hooks are set. The hook's result; 0 without
// hooks.
[[nodiscard]] int View_reportAreas(const ViewChangeReport *report);
