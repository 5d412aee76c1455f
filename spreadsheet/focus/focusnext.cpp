// Directional focus search: score every focusable object against the
// focused one, step past candidates that another object hides, and prefer
// at the end a candidate aligned with the focused object.
#include "spreadsheet/focus/focusnext.h"

#include "core/container/obj.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/pageobj.h"

namespace {

constexpr int64_t farAway = 0x7FFFFFFF;
constexpr int64_t lowest = -0x80000000LL;

struct Search {
    Edr_Doc *doc;
    FocusItem focus; // the focused object (its references stay the caller's)
    int64_t cy;      // its vertical centre
    FocusItem best;  // holds its own references when best.node is set
    int64_t bestDistance;
    int64_t lowerBound;
    uint32_t lastSerial; // the serial of the last candidate passed over
    uint32_t serial;     // objects met in the current walk
    uint32_t flags;
    FocusFilterFn filter;
    void *filterArgument;
    int error;
};

void dropItem(FocusItem *item)
{
    if (item->node)
        Edr_Node_release(item->doc, item->node);
    if (item->doc)
        Edr_Doc_release(item->doc);
    *item = FocusItem{};
}

// Makes the candidate the best, with references of its own.
void takeBest(Search *s, ObjHeader *object, const Rect &r, uint32_t serial, int64_t distance)
{
    dropItem(&s->best);
    Edr_Doc_addRef(s->doc);
    Edr_Node *node = nullptr;
    if (Edr_Node_acquire(s->doc, object->node, &node) != Res_ok) {
        Edr_Doc_release(s->doc);
        return;
    }
    s->best = FocusItem{s->doc, node, serial, r.x0, r.y0, r.x1, r.y1};
    s->bestDistance = distance;
}

// The candidate's place in the turned frame; false for objects the filter
// refuses.
bool candidate(Search *s, ObjHeader *object, Rect *r)
{
    if (s->filter && !s->filter(object, s->filterArgument))
        return false;
    Rect shown = Obj_shownBox(object);
    Rect_orient(r, &shown, s->flags);
    return object->node != nullptr;
}

int nearestVisitor(ObjHeader *object, void *context)
{
    Search *s = static_cast<Search *>(context);
    Rect c;
    if (!candidate(s, object, &c))
        return 0;
    const uint32_t serial = ++s->serial;
    const FocusItem &r = s->focus;
    bool taken = false;
    int64_t distance = 0;
    if (c.x0 < r.right && c.x1 > r.left && c.y0 < r.bottom && c.y1 > r.top) {
        const int64_t dx = (int64_t(c.x0) + c.x1) - (int64_t(r.left) + r.right);
        int64_t dy = (int64_t(c.y0) + c.y1) - (int64_t(r.top) + r.bottom);
        if (dy < 0)
            dy = -dy;
        taken = dx >= dy || c.x0 > (int64_t(r.left) + r.right) / 2;
        if (taken && dx == 0)
            taken = (s->flags & 0x300) ? c.x1 > r.right : c.x1 < r.right;
        distance = dx + dy - ((int64_t(c.x1) - c.x0) + (int64_t(r.right) - r.left));
    } else {
        const int64_t dx = int64_t(c.x0) - r.right;
        if (dx >= 0 && int64_t(r.top) - c.y1 <= dx && int64_t(c.y0) - r.bottom <= dx) {
            taken = true;
            int64_t dy = 0;
            if (s->cy < c.y0)
                dy = c.y0 - s->cy;
            else if (s->cy > c.y1)
                dy = s->cy - c.y1;
            distance = dx + dy;
        }
    }
    if (taken && distance > s->lowerBound && distance < s->bestDistance)
        takeBest(s, object, c, serial, distance);
    // Candidates after the one passed over, at its distance, become
    // eligible in the next walk.
    if (serial == s->lastSerial)
        s->lowerBound--;
    return 0;
}

int alignedVisitor(ObjHeader *object, void *context)
{
    Search *s = static_cast<Search *>(context);
    Rect c;
    if (!candidate(s, object, &c))
        return 0;
    const uint32_t serial = ++s->serial;
    const FocusItem &r = s->focus;
    const FocusItem &b = s->best;
    if (!(c.x0 >= r.right && c.y0 < r.bottom && c.y1 > r.top))
        return 0;
    const int64_t gap = int64_t(c.x0) - r.right;
    if (gap >= s->bestDistance)
        return 0;
    if (int64_t(c.x1) - b.right >= int64_t(b.right) - c.x0 &&
        int64_t(b.right) - c.x0 <= int64_t(c.x0) - b.left)
        return 0;
    takeBest(s, object, c, serial, gap);
    return 0;
}

int walk(Search *s, Edr_ObjVisitFn visitor)
{
    static constexpr int32_t everywhere[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    s->serial = 0;
    return Edr_Doc_walkFocusables(s->doc, visitor, everywhere, s);
}

} // namespace

int Focus_findNext(Edr_Doc *doc, FocusItem *item, uint32_t flags, FocusFilterFn filter,
                   void *filterArgument)
{
    if (!item)
        return Res_missingArgument;
    if (!doc) {
        *item = FocusItem{};
        return Res_ok;
    }
    Search s{};
    s.doc = doc;
    s.focus = *item;
    s.cy = (int64_t(item->top) + item->bottom) / 2;
    s.lowerBound = lowest;
    s.flags = flags;
    s.filter = filter;
    s.filterArgument = filterArgument;
    FocusItem kept{};
    int err = Res_ok;
    for (;;) {
        s.bestDistance = farAway;
        dropItem(&s.best);
        err = walk(&s, nearestVisitor);
        if (err)
            break;
        if (!s.best.node) {
            s.best = kept;
            kept = FocusItem{};
            break;
        }
        if (s.bestDistance < 1)
            break;
        const Rect a{s.focus.left, s.focus.top, s.focus.right, s.focus.bottom};
        const Rect b{s.best.left, s.best.top, s.best.right, s.best.bottom};
        const int between = Edr_Doc_anyFocusableBetween(doc, &a, &b, flags, filter, filterArgument);
        if (between == 0)
            break;
        s.lowerBound = s.bestDistance;
        s.lastSerial = s.best.serial;
        if (!kept.node && between == 1) {
            kept = s.best;
            s.best = FocusItem{};
        }
    }
    dropItem(&kept);
    if (!err && s.best.node && !(s.focus.top < s.best.bottom && s.focus.bottom > s.best.top)) {
        err = walk(&s, alignedVisitor);
    }
    if (err) {
        dropItem(&s.best);
        *item = FocusItem{};
        return err;
    }
    *item = s.best;
    return Res_ok;
}
