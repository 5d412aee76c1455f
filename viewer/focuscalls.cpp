// The focus calls of a document's view.
#include "viewer/focuscalls.h"

#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/nodelist.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "viewer/docview.h"
#include "viewer/focusnav.h"
#include "viewer/select/focus.h"
#include "viewer/select/highlight.h"
#include "viewer/support.h"

namespace {

enum : uint32_t {
    kActionFocus = 4, // the action word of the focus and blur events
};

HighlightStyle *styleOf(Edr_Doc *doc)
{
    return doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
}

// The three locks of a focus call, taken with the document read lock.
void lockFocus(Edr_Doc *doc, HighlightStyle *style)
{
    Edr_Page_readLockList(doc);
    Lock_acquire(&style->lock);
}

void unlockFocus(Edr_Doc *doc, HighlightStyle *style)
{
    Lock_release(&style->lock);
    Edr_Page_readUnlockList(doc);
}

int postEvent(Edr_Doc *doc, Edr_Node *node, uint32_t action, uint32_t type)
{
    Edr_NodeEvent ev{};
    ev.action = action;
    ev.type = type;
    return Edr_Doc_postNodeEvent(doc, node, &ev);
}

// Makes node the focus (the document read-locked by the caller) and sends
// it the events of a gained focus.
int focusLocked(Edr_Doc *doc, HighlightStyle *style, Edr_Node *node, int32_t force, int32_t kind)
{
    if (!Edr_Node_isFocusable(doc, node))
        return Res_ok;
    lockFocus(doc, style);
    if (!force && style->focusNode == node && !style->focusPart && style->focusKind == kind) {
        unlockFocus(doc, style);
        return Res_ok;
    }
    int err = Select_setFocus(Edr_Doc_getApp(doc), doc, style, node, nullptr, kind,
                              Select_focusMake, nullptr);
    if (!err)
        for (int i = 0; i < 4; i++)
            style->reported.rect[i] = style->focusRect[i];
    unlockFocus(doc, style);
    if (err)
        return err;
    err = postEvent(doc, node, Edr_Action_user, Edr_Event_mouseOver);
    int second = postEvent(doc, node, kActionFocus, Edr_Event_focus);
    return err ? err : second;
}

// The focused node's box, without the margin of its highlight.
void ownBox(const HighlightStyle *style, Rect *r)
{
    *r = Rect{style->focusRect[0] + Highlight_grow, style->focusRect[1] + Highlight_grow,
              style->focusRect[2] - Highlight_grow, style->focusRect[3] - Highlight_grow};
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

int View_focusedNode(Edr_Doc *doc, Edr_Node **node, ObjHeader **part, int32_t *kind)
{
    *node = nullptr;
    *part = nullptr;
    *kind = 0;
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    if (style->focusNode && Edr_Node_addRefLocked(doc, style->focusNode) == Res_ok) {
        *node = style->focusNode;
        *part = style->focusPart;
        *kind = style->focusKind;
    }
    unlockFocus(doc, style);
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

int View_giveFocus(Edr_Doc *doc, Edr_Node *node, int32_t force, int32_t kind)
{
    HighlightStyle *style = styleOf(doc);
    if (!style || !node)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    int err = focusLocked(doc, style, node, force, kind);
    Edr_Doc_readUnlock(doc);
    return err;
}

int View_clearFocus(Edr_Doc *doc)
{
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    Edr_Node *old = style->focusNode;
    if (old && Edr_Node_addRefLocked(doc, old) != Res_ok)
        old = nullptr;
    unlockFocus(doc, style);
    if (!old) {
        Edr_Doc_readUnlock(doc);
        return Res_ok;
    }
    int err = postEvent(doc, old, Edr_Action_user, Edr_Event_mouseOut);
    int r = postEvent(doc, old, kActionFocus, Edr_Event_blur);
    err = err ? err : r;
    r = View_sendFocusEvent(doc, nullptr, old, 0);
    err = err ? err : r;
    lockFocus(doc, style);
    r = Select_setFocus(Edr_Doc_getApp(doc), doc, style, nullptr, nullptr, 0, Select_focusMake,
                        nullptr);
    unlockFocus(doc, style);
    // Nothing shown any more counts as nothing focused.
    if (r != Select_notShown)
        err = err ? err : r;
    Edr_Node_dropRefLocked(doc, old);
    Edr_Doc_readUnlock(doc);
    return err;
}

namespace {

// The focus of one document; when the focused node hosts an embedded
// document that has a focus of its own, that one, its rectangle moved by
// where the host node is shown.
int focusInfoAt(Edr_Doc *doc, int32_t *entry, int32_t rect[4], Edr_Doc **nodeDoc, Edr_Node **node,
                ObjHeader **part, int32_t *kind, uint32_t depth)
{
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc *child = nullptr;
    int32_t host[4] = {0, 0, 0, 0};
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    if (style->focusNode && Edr_Node_addRefLocked(doc, style->focusNode) == Res_ok) {
        *node = style->focusNode;
        *part = style->focusPart;
        *kind = style->focusKind;
        *entry = style->focusEntry;
        rect[0] = style->reported.rect[0] + Highlight_grow;
        rect[1] = style->reported.rect[1] + Highlight_grow;
        rect[2] = style->reported.rect[2] - Highlight_grow;
        rect[3] = style->reported.rect[3] - Highlight_grow;
        Edr_Doc_addRef(doc);
        *nodeDoc = doc;
        if (Edr_Node_type(*node) == Edr_NodeType_subdoc && depth < Edr_maxDepth)
            if (const Edr_SubdocNode *sub = Edr_Node_subdocPayload(*node))
                Edr_Doc_tryAddRef(sub->child, &child);
    }
    unlockFocus(doc, style);
    if (child)
        (void)View_focusHitTest(doc, *node, host, nullptr);
    Edr_Doc_readUnlock(doc);
    if (!child)
        return Res_ok;
    int32_t inner[4];
    Edr_Doc *innerDoc = nullptr;
    Edr_Node *innerNode = nullptr;
    ObjHeader *innerPart = nullptr;
    int32_t innerKind = 0, innerEntry = -1;
    int err = focusInfoAt(child, &innerEntry, inner, &innerDoc, &innerNode, &innerPart, &innerKind,
                          depth + 1);
    Edr_Doc_release(child);
    if (err || !innerNode)
        return err;
    // The embedded document's focus replaces its host node's.
    Edr_Node_release(*nodeDoc, *node);
    Edr_Doc_release(*nodeDoc);
    *nodeDoc = innerDoc;
    *node = innerNode;
    *part = innerPart;
    *kind = innerKind;
    *entry = innerEntry;
    for (int i = 0; i < 4; i++)
        rect[i] = int32_t(uint32_t(inner[i]) + uint32_t(host[i & 1]));
    return Res_ok;
}

} // namespace

int View_focusInfo(Edr_Doc *doc, int32_t *entry, int32_t rect[4], Edr_Doc **nodeDoc,
                   Edr_Node **node, ObjHeader **part, int32_t *kind)
{
    *entry = -1;
    for (int i = 0; i < 4; i++)
        rect[i] = 0;
    *nodeDoc = nullptr;
    *node = nullptr;
    *part = nullptr;
    *kind = 0;
    return focusInfoAt(doc, entry, rect, nodeDoc, node, part, kind, 0);
}

int View_highlightRect(Edr_Doc *doc, Edr_Node *node, int32_t rect[4])
{
    for (int i = 0; i < 4; i++)
        rect[i] = 0;
    HighlightStyle *style = styleOf(doc);
    if (!style || !node)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    int err = Select_setFocus(Edr_Doc_getApp(doc), doc, style, node, nullptr, 0,
                              Select_focusMeasure, rect);
    unlockFocus(doc, style);
    Edr_Doc_readUnlock(doc);
    return err;
}

int View_setFocusNode(Edr_Doc *doc, Edr_Node *node, int32_t mode, int32_t kind)
{
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    Edr_Node *old = style->focusNode;
    // The old node is only compared with; no reference is needed.
    int err = Select_setFocus(Edr_Doc_getApp(doc), doc, style, node, nullptr, kind,
                              Select_focusMake, nullptr);
    if (!err)
        for (int i = 0; i < 4; i++)
            style->reported.rect[i] = style->focusRect[i];
    unlockFocus(doc, style);
    if (!err && mode == 2 && node && old != node)
        err = View_sendFocusEvent(doc, node, old, mode);
    Edr_Doc_readUnlock(doc);
    return err;
}

int View_sendFocusEvent(Edr_Doc *doc, Edr_Node *node, Edr_Node *old, int32_t mode)
{
    if (node == old)
        return Res_ok;
    Edr_Node *target = node ? node : old;
    return postEvent(doc, target, Edr_Action_notice,
                     mode == 2 ? Edr_Event_hardFocusGain : Edr_Event_hardFocusLoss);
}

int View_stepFocus(Edr_Doc *doc, uint32_t direction, View_FocusStepFn callback, void *argument)
{
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    // The object the search starts from, with references of its own.
    Edr_Node *from = nullptr;
    Edr_Doc *fromDoc = nullptr;
    uint32_t serial = 0;
    Rect rect{};
    lockFocus(doc, style);
    if (style->focusNode && Edr_Node_addRefLocked(doc, style->focusNode) == Res_ok) {
        from = style->focusNode;
        fromDoc = doc;
        Edr_Doc_addRef(doc);
        ownBox(style, &rect);
    }
    unlockFocus(doc, style);
    int result = Res_ok;
    Edr_Node *candidate = nullptr;
    Edr_Doc *candidateDoc = nullptr;
    bool first = !from;
    // Every skipped candidate lies further on in the direction, so the walk
    // ends; the count only guards against a search that goes round.
    for (uint32_t steps = 0; steps < 0x10000; steps++) {
        candidate = from;
        candidateDoc = fromDoc;
        uint32_t found = serial;
        if (first) {
            // Nothing focused: the first focusable object of the view.
            static constexpr int32_t everywhere[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
            FirstFocusable f{doc, nullptr};
            (void)Edr_Doc_walkFocusables(doc, takeFirst, everywhere, &f);
            candidate = f.node;
            candidateDoc = f.node ? doc : nullptr;
            if (candidateDoc)
                Edr_Doc_addRef(doc);
            first = false;
        } else {
            result = View_findInDirection(doc, direction, &candidate, &candidateDoc, &found, &rect,
                                          nullptr, nullptr);
        }
        if (result || !candidate)
            break;
        // The candidate's rectangle: its highlight's without the margin.
        int32_t box[4];
        lockFocus(doc, style);
        int err = Select_setFocus(Edr_Doc_getApp(doc), doc, style, candidate, nullptr, 0,
                                  Select_focusMeasure, box);
        unlockFocus(doc, style);
        Rect cr{box[0] + Highlight_grow, box[1] + Highlight_grow, box[2] - Highlight_grow,
                box[3] - Highlight_grow};
        int answer = err ? int(ViewStep_skip) : ViewStep_accept;
        if (!err && callback) {
            const int32_t shown[4] = {cr.x0, cr.y0, cr.x1, cr.y1};
            answer = callback(candidateDoc, candidate, shown, direction, argument);
        }
        // The step goes on from the candidate: its references replace the
        // ones of the object it came from.
        Edr_Node_dropRefOpt(fromDoc, from);
        if (fromDoc)
            Edr_Doc_release(fromDoc);
        from = candidate;
        fromDoc = candidateDoc;
        serial = found;
        if (!err)
            rect = cr;
        if (answer == ViewStep_accept) {
            result = focusLocked(doc, style, candidate, 1, 0);
            break;
        }
        if (answer != ViewStep_skip) {
            result = answer;
            break;
        }
    }
    Edr_Node_dropRefOpt(fromDoc, from);
    if (fromDoc)
        Edr_Doc_release(fromDoc);
    Edr_Doc_readUnlock(doc);
    return result;
}

int View_activateFocus(Edr_Doc *doc, Edr_Node **target, int32_t *what)
{
    *target = nullptr;
    *what = ViewActivate_none;
    HighlightStyle *style = styleOf(doc);
    if (!style)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    lockFocus(doc, style);
    Edr_Node *node = style->focusNode;
    Edr_Node *chosen = nullptr;
    int32_t kind = ViewActivate_none;
    if (node && Edr_Node_hasUrl(node)) {
        chosen = node;
        kind = ViewActivate_link;
    } else if (node && Edr_Node_isFormGroup(node)) {
        chosen = Edr_Node_findFocusAncestor(doc, node);
        kind = chosen ? int32_t(ViewActivate_form) : int32_t(ViewActivate_none);
    }
    if (chosen && Edr_Node_addRefLocked(doc, chosen) == Res_ok) {
        *target = chosen;
        *what = kind;
    }
    unlockFocus(doc, style);
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

int View_notifyPointer(Edr_Doc *doc, const ViewPointerEvent *event)
{
    if (!doc || !event)
        return Res_missingArgument;
    int32_t codes[2] = {0, 0};
    bool point = false;
    switch (event->code) {
    case ViewPointer_over:
        codes[0] = ViewNotice_enter;
        codes[1] = ViewNotice_entered;
        break;
    case ViewPointer_move: codes[0] = ViewNotice_move; break;
    case ViewPointer_press:
        codes[0] = ViewNotice_press;
        point = true;
        break;
    case ViewPointer_release:
        codes[0] = ViewNotice_release;
        point = true;
        break;
    default: return Res_ok;
    }
    EngineContext *app = Edr_Doc_getApp(doc);
    EventProc *processor = app ? app->eventProc : nullptr;
    if (!processor)
        return Res_missingArgument;
    for (int32_t code : codes) {
        if (!code)
            break;
        EventProcKind2Msg m{};
        m.type = code;
        m.subject = doc;
        if (point) {
            m.detail[0] = reinterpret_cast<void *>(intptr_t(event->x));
            m.detail[1] = reinterpret_cast<void *>(intptr_t(event->y));
        } else {
            m.object = event->object;
        }
        int err = EventProc_postKind2(processor, &m);
        if (err)
            return err;
    }
    return Res_ok;
}

// ------------------------------------------------------ items at a point

namespace {

bool holds(const Rect &r, int32_t x, int32_t y)
{
    return x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1;
}

void itemAt(ObjHeader *first, int64_t dx, int64_t dy, int32_t x, int32_t y, ObjHeader **out,
            int depth);

// The item itself when it holds the point, then what a container holds
// there.
void itemOne(ObjHeader *o, int64_t dx, int64_t dy, int32_t x, int32_t y, ObjHeader **out, int depth)
{
    if (o->flags & Obj_hidden)
        return;
    const int64_t px = int64_t(x) - dx, py = int64_t(y) - dy;
    if (px < INT32_MIN || px > INT32_MAX || py < INT32_MIN || py > INT32_MAX)
        return;
    if (!holds(Obj_shownBox(o), int32_t(px), int32_t(py)))
        return;
    *out = o;
    if (Obj_itemKind(o) == Obj_itemContainer && depth < 64)
        itemAt(reinterpret_cast<ObjHeader *>(o->owner[5]), dx, dy, x, y, out, depth + 1);
}

void itemAt(ObjHeader *first, int64_t dx, int64_t dy, int32_t x, int32_t y, ObjHeader **out,
            int depth)
{
    for (ObjHeader *o = first; o; o = Obj_next(o))
        itemOne(o, dx, dy, x, y, out, depth);
}

} // namespace

int View_itemAtPoint(ObjHeader *first, int32_t dx, int32_t dy, int32_t x, int32_t y,
                     ObjHeader **out)
{
    *out = nullptr;
    itemAt(first, dx, dy, x, y, out, 0);
    return Res_ok;
}

int View_pageItemAtPoint(Edr_PageEntry *entry, int32_t x, int32_t y, ObjHeader **out)
{
    *out = nullptr;
    if (!entry)
        return Res_ok;
    if (entry->views) {
        uint32_t stop = 0;
        struct At {
            int32_t x, y;
            ObjHeader *found;
        } at{x, y, nullptr};
        (void)Select_walkView(
            entry->views,
            [](ObjHeader *item, void *argument, PageView *view, uint32_t *) {
                At *a = static_cast<At *>(argument);
                ObjHeader *hit = nullptr;
                itemOne(item, view ? view->origin[0] : 0, view ? view->origin[1] : 0, a->x, a->y,
                        &hit, 0);
                if (hit)
                    a->found = hit;
                return 0;
            },
            &at, &stop);
        *out = at.found;
        return Res_ok;
    }
    for (Edr_PageRec *r = entry->rec; r; r = r->nextRec)
        if (r->buildState == Edr_PageBuild_ready) {
            ObjHeader *hit = nullptr;
            itemAt(r->objects, 0, 0, x, y, &hit, 0);
            if (hit)
                *out = hit;
        }
    return Res_ok;
}

// ------------------------------------------------ the nearest focusable

namespace {

struct Nearest {
    Edr_Doc *doc;
    FocusScoreRecord *record;
    Edr_Node *best;
    int64_t primary, secondary;
    bool any;
};

void scoreItems(Nearest *n, ObjHeader *first, int depth)
{
    for (ObjHeader *o = first; o; o = Obj_next(o)) {
        if (o->flags & Obj_hidden)
            continue;
        if (Obj_itemKind(o) == Obj_itemContainer && depth < 64)
            scoreItems(n, reinterpret_cast<ObjHeader *>(o->owner[5]), depth + 1);
        if (!o->node || !Edr_Node_isFocusTarget(n->doc, o->node))
            continue;
        const Rect box = Obj_shownBox(o);
        int64_t p = 0, s = 0;
        if (!View_scoreCandidate(n->record, &box, &p, &s))
            continue;
        // Ties keep the first in document order.
        if (!n->any || p < n->primary || (p == n->primary && s < n->secondary)) {
            n->best = o->node;
            n->primary = p;
            n->secondary = s;
            n->any = true;
        }
    }
}

int visitPage(Edr_PageEntry *entry, void *argument, int32_t x, int32_t y)
{
    Nearest *n = static_cast<Nearest *>(argument);
    n->record->offset[0] = x;
    n->record->offset[1] = y;
    for (Edr_PageRec *r = entry->rec; r; r = r->nextRec)
        if (r->buildState == Edr_PageBuild_ready)
            scoreItems(n, r->objects, 0);
    return 0;
}

} // namespace

int View_nearestFocusable(Edr_Doc *doc, Edr_PageEntry *entry, FocusScoreRecord *record,
                          Edr_Node **out)
{
    *out = nullptr;
    if (!doc || !entry || !record)
        return Res_missingArgument;
    Nearest n{doc, record, nullptr, 0, 0, false};
    const int32_t offset[2] = {record->offset[0], record->offset[1]};
    View_visitPageTree(entry, visitPage, &n, offset[0], offset[1]);
    record->offset[0] = offset[0];
    record->offset[1] = offset[1];
    if (n.best && Edr_Node_addRefLocked(doc, n.best) == Res_ok)
        *out = n.best;
    return Res_ok;
}
