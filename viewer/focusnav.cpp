// Focus navigation: scoring candidates for a step in a direction. Every
// rectangle is turned into a frame in which the travel goes towards larger
// x (office/focus/focusband.h), so one set of edge rules serves all four
// directions.
#include "viewer/focusnav.h"

#include "core/container/obj.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "office/focus/focusband.h"
#include "viewer/docview.h"
#include "viewer/select/focus.h"
#include "viewer/select/highlight.h"
#include "viewer/support.h"
#include "viewer/view.h"

namespace {

constexpr int64_t worst = 0x7fffffff;
constexpr int64_t behind = 0x40000000;

// The orientation that turns a direction into travel towards larger x.
uint32_t orientationOf(uint32_t direction)
{
    switch (direction) {
    case FocusDir_left: return 0x800;
    case FocusDir_down: return 0x400;
    case FocusDir_up: return 0x100;
    default: return 0;
    }
}

bool overlaps(const Rect &a, const Rect &b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

int64_t isqrt(int64_t v)
{
    int64_t r = 0;
    for (int64_t bit = int64_t(1) << 62; bit; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return r;
}

} // namespace

int View_scoreCandidate(const FocusScoreRecord *record, const Rect *candidate, int64_t *primary,
                        int64_t *secondary)
{
    *primary = worst;
    *secondary = 0;
    const Rect moved{candidate->x0 + record->offset[0], candidate->y0 + record->offset[1],
                     candidate->x1 + record->offset[0], candidate->y1 + record->offset[1]};
    const uint32_t direction = record->flags & FocusDir_mask;
    if (direction != FocusDir_left && direction != FocusDir_right && direction != FocusDir_up &&
        direction != FocusDir_down) {
        const int64_t dx = (int64_t(moved.x0) + moved.x1) / 2 - record->focus.x0;
        const int64_t dy = (int64_t(moved.y0) + moved.y1) / 2 - record->focus.y0;
        *primary = isqrt(dx * dx + dy * dy);
        return 1;
    }
    if (record->region) {
        const bool inside = overlaps(moved, *record->region);
        if ((record->flags & FocusDir_visibleOnly) && !inside)
            return 0;
    }
    const uint32_t turn = orientationOf(direction);
    Rect c, f, a;
    Rect_orient(&c, &moved, turn);
    Rect_orient(&f, &record->focus, turn);
    Rect_orient(&a, &record->area, turn);
    // 1. Outside the area across the travel, or beyond its far edge.
    const int64_t cy = (int64_t(c.y0) + c.y1) / 2;
    if (cy < a.y0 || cy > a.y1 || c.x1 > a.x1)
        return 0;
    if (c.x0 >= a.x0 || c.x1 > f.x0) {
        // 2. Inside the leading edge, or reaching back to the focus.
        if (record->flags & FocusDir_strict)
            return 0;
        *primary = int64_t(c.x0) - a.x0;
        *secondary = 0;
    } else {
        // 3. Wholly before the leading edge and the focus.
        const int64_t distance = behind + (int64_t(a.x0) - c.x1);
        if (distance > worst) {
            *primary = worst;
            *secondary = 0;
        } else {
            int64_t side = 0;
            if (cy < f.y0)
                side = cy - f.y0;
            else if (cy > f.y1)
                side = cy - f.y1;
            *primary = distance;
            *secondary = (side < 0 ? -side : side) / 16;
        }
    }
    // 4. With a region but not visible-only: a candidate off the area
    // scores last.
    if (record->region && !(record->flags & FocusDir_visibleOnly) && !overlaps(c, a)) {
        *primary = worst;
        *secondary = 0;
    }
    return 1;
}

// ------------------------------------------------ stepping the focus by key

namespace {

// The search orientation of a key direction: 1 up, 2 down, 3 right, 4 left.
bool orientationOfKey(int32_t direction, uint32_t *flags)
{
    switch (direction) {
    case 1: *flags = 0x100; return true;
    case 2: *flags = 0x400; return true;
    case 3: *flags = 0; return true;
    case 4: *flags = 0x800; return true;
    default: return false;
    }
}

HighlightStyle *styleOf(Edr_Doc *doc)
{
    return doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
}

struct FirstFocusable {
    Edr_Doc *doc;
    Edr_Node *node;
};

int takeFirst(ObjHeader *object, void *context)
{
    FirstFocusable *f = static_cast<FirstFocusable *>(context);
    if (!object->node || Edr_Node_acquire(f->doc, object->node, &f->node) != Res_ok)
        return 0;
    return 1;
}

} // namespace

int Fv_findFocusInDirection(FvView *view, FvPage *, int32_t direction, void **object, FvArea **area)
{
    *object = nullptr;
    *area = nullptr;
    Edr_Doc *doc = view ? view->doc : nullptr;
    HighlightStyle *style = styleOf(doc);
    uint32_t flags = 0;
    if (!style || !orientationOfKey(direction, &flags))
        return Res_ok;
    int err = Res_ok;
    Edr_Doc_readLock(doc);
    if (style->focusNode) {
        // The focused object's own box: the focus rectangle without the
        // margin its highlight adds.
        const Rect r{style->focusRect[0] + Highlight_grow, style->focusRect[1] + Highlight_grow,
                     style->focusRect[2] - Highlight_grow, style->focusRect[3] - Highlight_grow};
        Edr_Node *node = style->focusNode;
        Edr_Doc *nodeDoc = doc;
        uint32_t serial = 0;
        err = View_findInDirection(doc, flags, &node, &nodeDoc, &serial, &r, nullptr, nullptr);
        if (!err && node) {
            // The found node and its document reference go to the move.
            *object = node;
        }
    } else {
        // Nothing focused yet: the first focusable object of the view.
        static constexpr int32_t everywhere[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
        FirstFocusable first{doc, nullptr};
        (void)Edr_Doc_walkFocusables(doc, takeFirst, everywhere, &first);
        if (first.node) {
            Edr_Doc_addRef(doc);
            *object = first.node;
        }
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Fv_moveFocus(FvView *view, FvPage *, void *object, FvArea **area)
{
    *area = nullptr;
    Edr_Doc *doc = view ? view->doc : nullptr;
    HighlightStyle *style = styleOf(doc);
    Edr_Node *node = static_cast<Edr_Node *>(object);
    if (!style || !node)
        return Res_ok;
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    int err = Select_setFocus(Edr_Doc_getApp(doc), doc, style, node, nullptr, 0, Select_focusMake,
                              nullptr);
    if (!err) {
        for (int i = 0; i < 4; i++)
            style->reported.rect[i] = style->focusRect[i];
        *area = &style->reported;
    }
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    // The references the search handed over.
    Edr_Node_release(doc, node);
    Edr_Doc_release(doc);
    return err;
}

void Fv_showFocusArea(FvView *view, FvPage *page, FvArea *area, int32_t)
{
    Fv_showArea(view, page, area, 0);
}
