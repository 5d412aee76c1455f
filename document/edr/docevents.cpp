// Document events: dispatch of node events with capture, target and
// bubble phases, default actions, click synthesis and link following.
//
// A node event arrives as a node-event message (EventProc_kindNodeEvent)
// on the document's own dispatcher. The dispatcher builds the chain of the target's ancestors
// under the tree read lock (each held by a reference, so the chain stays
// valid while the lock is let go around handlers and default actions),
// walks it down and up, and finally follows a clicked link by posting an
// open-URL request to the application. The click synthesis turns a mouse
// down and up on the same node into click, activation and double-click
// events, posted back to the same dispatcher.
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/timerq.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/edr_internal.h"
#include "document/edr/nodelist.h"
#include "document/manager/manager.h"
#include "document/edr/webops.h"
#include "document/edr/layoutops.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "document/edr/viewops.h"

using edr::group;
using edr::isGroup;

// ------------------------------------------------------------ event table

namespace {

struct EventTypeFlags {
    uint8_t bubbles;
    uint8_t cancelable;
};

constexpr EventTypeFlags kEventTypes[Edr_Event_count] = {
    {1, 0}, // onload
    {0, 0}, // onunload
    {1, 0}, // onabort
    {1, 0}, // onerror
    {1, 0}, // onselect
    {1, 0}, // onchange
    {1, 1}, // onsubmit
    {1, 0}, // onreset
    {0, 0}, // onfocus
    {0, 0}, // onblur
    {1, 0}, // onresize
    {1, 0}, // onscroll
    {1, 0}, // onkeydown
    {1, 0}, // onkeypress
    {1, 0}, // onkeyup
    {1, 1}, // onmousedown
    {1, 1}, // onmouseover
    {1, 0}, // onmousemove
    {1, 1}, // onmouseup
    {1, 1}, // onmouseout
    {1, 1}, // onclick
    {1, 1}, // ondblclick
    {1, 0}, // onfocusIn
    {1, 0}, // onfocusOut
    {1, 1}, // onactivate
    {1, 0}, // onaddition
    {1, 0}, // onmodification
    {1, 0}, // onremoval
    {1, 0}, // onhardfocusgn
    {1, 0}, // onhardfocusls
};

enum : uint32_t {
    kControlDefaultBit = 0x400, // a form control with a default action
    kSubtypeArming = 3,         // groups of this subtype arm the default action
    kSubtypeTargetArming = 6,   // as the target, this subtype arms it too
};

} // namespace

int Edr_Event_bubbles(uint32_t type)
{
    return type < Edr_Event_count ? kEventTypes[type].bubbles : 0;
}

// ----------------------------------------------------------- small parts

void Edr_Node_freeRecordsList(Edr_Node *g)
{
    if (!isGroup(g) || !group(g)->ext)
        return;
    edr::freeRecords(group(g)->ext->records);
    group(g)->ext->records = nullptr;
}

int Edr_Node_ancestorChain(Edr_Doc *doc, Edr_Node *node, Edr_NodeList *out)
{
    Edr_NodeList_init(out);
    if (!node)
        return Res_ok;
    Edr_Node *start = isGroup(node) ? node : node->parentNode;
    uint32_t n = 0;
    for (Edr_Node *p = start; p; p = p->parentNode)
        n++;
    if (n == 0)
        return Res_ok;
    Edr_Node **items = static_cast<Edr_Node **>(Mem_malloc(size_t(n) * sizeof(Edr_Node *)));
    if (!items)
        return Res_noMemory;
    uint32_t i = n;
    for (Edr_Node *p = start; p; p = p->parentNode) {
        int err = Edr_Node_addRefLocked(doc, p);
        if (err) {
            while (i < n)
                Edr_Node_dropRefLocked(doc, items[i++]);
            Mem_free(items);
            return err;
        }
        items[--i] = p;
    }
    out->items = items;
    out->count = n;
    out->capacity = n;
    return Res_ok;
}

int Edr_Node_deliverEvent(Edr_Node *node, Edr_Doc *doc, uint32_t phase, uint32_t type,
                          Edr_NodeEvent *, uint32_t *handlers)
{
    if (handlers)
        *handlers = 0;
    const Edr_GroupExt *ext = isGroup(node) ? group(node)->ext : nullptr;
    uint32_t n = 0;
    for (const Edr_AttrRecord *r = ext ? ext->records : nullptr; r; r = r->next)
        if (r->key == type && r->key2 == phase)
            n++;
    if (n == 0)
        return Res_ok;
    // The handlers' texts are gathered first: a handler may change the
    // tree, so the records are not read again once the lock is let go.
    // Records that are replaced meanwhile wait on the document's
    // freeRecords list until the dispatch has ended.
    const char16_t **texts =
        static_cast<const char16_t **>(Mem_malloc(size_t(n) * sizeof(char16_t *)));
    if (!texts)
        return Res_noMemory;
    uint32_t k = 0;
    for (const Edr_AttrRecord *r = ext->records; r && k < n; r = r->next)
        if (r->key == type && r->key2 == phase)
            texts[k++] = r->value;
    Edr_Doc_readUnlock(doc);
    // No handler code runs inside the engine: the script side receives the
    // events it runs through its own hooks.
    Edr_Doc_readLock(doc);
    Mem_free(texts);
    if (handlers)
        *handlers = n;
    return Res_ok;
}

// ------------------------------------------------------- click synthesis

namespace {

// The four words of the dispatcher's side block.
enum : uint32_t {
    kSideDownNode = 0,
    kSideDownTime = 1,
    kSideLastClick = 2,
    kSideClickCount = 3,
};

int postCopy(Edr_Doc *doc, const Edr_NodeEvent *record, uint32_t type)
{
    Edr_NodeEvent copy = *record;
    copy.type = type;
    copy.ownsTarget = 0;
    return Edr_Doc_postNodeEvent(doc, record->target, &copy);
}

} // namespace

int Edr_Doc_synthesizeClick(Edr_Doc *doc, const Edr_NodeEvent *record)
{
    if (!doc || !record)
        return Res_missingArgument;
    intptr_t *side = doc->eventsSide;
    int64_t now = Time_nowMs();
    if (record->type == Edr_Event_mouseDown) {
        side[kSideDownNode] = reinterpret_cast<intptr_t>(record->target);
        side[kSideDownTime] = intptr_t(now);
        return Res_ok;
    }
    if (record->type != Edr_Event_mouseUp)
        return Res_ok;
    if (reinterpret_cast<Edr_Node *>(side[kSideDownNode]) != record->target || !record->target) {
        side[kSideDownNode] = 0;
        side[kSideDownTime] = 0;
        return Res_ok;
    }
    int err = postCopy(doc, record, Edr_Event_click);
    int err2 = postCopy(doc, record, Edr_Event_activate);
    if (!err)
        err = err2;
    if (now - int64_t(side[kSideLastClick]) > Edr_Click_doubleMs) {
        side[kSideClickCount] = 1;
    } else if (++side[kSideClickCount] >= 2) {
        err2 = postCopy(doc, record, Edr_Event_dblClick);
        if (!err)
            err = err2;
    }
    side[kSideLastClick] = intptr_t(now);
    return err;
}

// --------------------------------------------------------------- dispatch

namespace {

bool controlHasDefault(Edr_Node *n)
{
    if (!Edr_Node_isFormGroup(n))
        return false;
    uint32_t flags = 0;
    return Edr_Web_widgetGetFlags(nullptr, group(n)->subtypeValue, &flags) == 0 &&
           (flags & kControlDefaultBit);
}

// Event types whose default action on a form control is the form's own:
// selection, scrolling, pointer presses and moves, clicks and the hard
// focus; key events only while the view edits inside the control.
bool formActionRuns(Edr_Doc *doc, uint32_t type)
{
    switch (type) {
    case Edr_Event_select:
    case Edr_Event_scroll:
    case Edr_Event_mouseDown:
    case Edr_Event_mouseMove:
    case Edr_Event_mouseUp:
    case Edr_Event_click:
    case Edr_Event_dblClick:
    case Edr_Event_hardFocusGain:
    case Edr_Event_hardFocusLoss: return true;
    case Edr_Event_keyDown:
    case Edr_Event_keyPress:
    case Edr_Event_keyUp: return Edr_View_hasEditFocus(doc ? doc->app : nullptr, doc) != 0;
    default: return false;
    }
}

// The form hook. A control's own reaction to pointer and key input reaches
// it through its laid-out objects (Edr_Obj_formEvent), so there is nothing
// left for the dispatcher to do here.
void formHook(Edr_Doc *, Edr_Node *, const Edr_NodeEvent *) {}

// The default action on the candidate, run without the tree lock.
void performDefault(EngineContext *app, Edr_Doc *doc, Edr_Node *candidate, const Edr_NodeEvent *ev)
{
    if (ev->action == Edr_Action_modify) {
        Lock_acquire(&doc->mutex);
        candidate->flags &= ~uint32_t(Edr_Node_notifiedBit);
        Lock_release(&doc->mutex);
        if (ev->relayout) {
            if (ev->queueChange)
                // A change whose pass cannot be scheduled now is retried by the next change.
                (void)Edr_Mgr_queueChange(doc);
            else
                (void)Edr_Layout_redrawNode(app, doc, candidate);
        }
        return;
    }
    if (Edr_Node_isFormGroup(candidate) && formActionRuns(doc, ev->type))
        formHook(doc, candidate, ev);
}

// The state the walk down the chain leaves for the target and the link.
struct DispatchState {
    Edr_Node *candidate;
    Edr_Node *linkAncestor; // the nearest ancestor with a URL
    bool armed;
    int err; // the first delivery error
};

void deliver(DispatchState *s, Edr_Node *node, Edr_Doc *doc, uint32_t phase, Edr_NodeEvent *ev)
{
    int err = Edr_Node_deliverEvent(node, doc, phase, ev->type, ev, nullptr);
    if (err && !s->err)
        s->err = err;
}

void capture(DispatchState *s, const Edr_NodeList *chain, uint32_t ancestors, Edr_Doc *doc,
             Edr_NodeEvent *ev)
{
    for (uint32_t i = 0; i < ancestors && !ev->cancelled; i++) {
        Edr_Node *a = chain->items[i];
        if (Edr_Node_hasUrl(a))
            s->linkAncestor = a;
        uint32_t subtype = Edr_Node_subtype(a);
        if (subtype != Edr_Subtype_none && subtype != Edr_Subtype_formControl) {
            s->candidate = a;
            if (subtype == kSubtypeArming)
                s->armed = true;
        } else if (controlHasDefault(a)) {
            s->candidate = a;
            s->armed = true;
        }
        deliver(s, a, doc, Edr_Phase_capture, ev);
    }
}

// Follows the link of a click after the dispatch, holding a reference on
// the link node.
void followClickedLink(EngineContext *app, Edr_Doc *doc, Edr_Node *linkNode)
{
    if (linkNode->flags & Edr_Node_deletedBit)
        return;
    Url *url = nullptr;
    if (Edr_Node_getUrl(doc, linkNode, &url) != 0 || !url)
        return;
    Link link;
    if (Edr_Web_linkFromNode(app, doc, linkNode, &link) != 0)
        Link_init(&link);
    (void)Edr_Doc_followUrl(app, doc, url, &link, Edr_Follow_fromClick, nullptr);
    Link_release(&link);
}

void freeDetachedRecords(Edr_Doc *doc)
{
    if (Edr_Doc_writeLock(doc) != 0)
        return;
    Edr_AttrRecord *list = doc->freeRecords;
    doc->freeRecords = nullptr;
    Edr_Doc_writeUnlock(doc);
    edr::freeRecords(list);
}

} // namespace

int Edr_Doc_dispatchNodeEvent(EngineContext *app, EventProcMsg *msg, Edr_Doc *doc)
{
    if (!msg || !msg->payload || !doc)
        return Res_missingArgument;
    if (!app)
        app = doc->app;
    Edr_NodeEvent ev;
    Edr_NodeEvent_fromMsg(msg->payload, &ev);
    Edr_Node *target = ev.target;
    if (!target)
        return Res_missingArgument;

    // 1. The chain, root-most first.
    Edr_NodeList chain;
    Edr_Doc_readLock(doc);
    DispatchState s{nullptr, nullptr, false, Edr_Node_ancestorChain(doc, target, &chain)};
    Edr_Node *linkNode = nullptr;
    if (!s.err) {
        uint32_t ancestors = chain.count;
        if (ancestors && chain.items[ancestors - 1] == target)
            ancestors--;

        // 2. Capture, from the root down to the target's parent.
        capture(&s, &chain, ancestors, doc, &ev);

        // 3. The target: its own default action, or the click synthesis.
        if (isGroup(target)) {
            uint32_t subtype = Edr_Node_subtype(target);
            if (controlHasDefault(target) || subtype == kSubtypeArming ||
                subtype == kSubtypeTargetArming) {
                s.candidate = target;
                s.armed = true;
            }
        }
        if (!s.armed) {
            if (ev.action == Edr_Action_user) {
                (void)Edr_Doc_synthesizeClick(doc, &ev);
            } else if (ev.action == Edr_Action_modify) {
                s.candidate = target;
                s.armed = true;
            }
        }
        linkNode = Edr_Node_hasUrl(target) ? target : s.linkAncestor;

        // 4. Delivery to the target and the default action, without the
        // tree lock (the chain's references keep the nodes).
        if (!ev.defaultPrevented) {
            deliver(&s, target, doc, Edr_Phase_target, &ev);
            if (s.armed && !ev.defaultPrevented) {
                Edr_Doc_readUnlock(doc);
                performDefault(app, doc, s.candidate, &ev);
                Edr_Doc_readLock(doc);
            }
        }

        // 5. Bubble, from the target's parent upwards.
        if (Edr_Event_bubbles(ev.type))
            for (uint32_t i = ancestors; i > 0 && !ev.cancelled; i--)
                deliver(&s, chain.items[i - 1], doc, Edr_Phase_target, &ev);

        // The link node outlives the chain until the link is followed.
        if (linkNode && Edr_Node_addRefLocked(doc, linkNode) != 0)
            linkNode = nullptr;
    }

    // 6. The chain goes back.
    Edr_NodeList_clear(doc, &chain);
    Edr_Doc_readUnlock(doc);

    // 7. A click on a link opens it.
    if (linkNode) {
        if (!ev.defaultPrevented && ev.action == Edr_Action_user && ev.type == Edr_Event_click)
            followClickedLink(app, doc, linkNode);
        Edr_Node_release(doc, linkNode);
    }

    // 8. Records replaced during the dispatch, and the event's target.
    freeDetachedRecords(doc);
    if (ev.ownsTarget)
        Edr_Node_release(doc, target);
    return s.err;
}

void Edr_Doc_onNodeEvent(EngineContext *app, EventProcMsg *msg, void *context, int *)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(context);
    if (!msg || !msg->payload || !doc)
        return;
    Edr_NodeEvent ev;
    Edr_NodeEvent_fromMsg(msg->payload, &ev);
    (void)Edr_Doc_dispatchNodeEvent(app, msg, doc);
    if (ev.action == Edr_Action_notice && ev.type == Edr_Event_load)
        Edr_Mgr_flushSettle(doc);
}

// ---------------------------------------------------------- link following

namespace {

void freeFollow(Url *url, Url *docUrl, Obj *extra)
{
    Url_free(url);
    Url_free(docUrl);
    Obj_finalizeFree(&extra);
}

// The URL resolved against the document; the name/value list of the link's
// URL moves to the resolved one. url itself when it cannot be resolved.
Url *resolveAgainst(Edr_Doc *doc, Url *url)
{
    Url *base = nullptr;
    if (Edr_Doc_getBaseUrl(doc, &base) != 0 || !base)
        return url;
    Url *resolved = Url_resolve(base, url);
    Url_free(base);
    if (!resolved)
        return url;
    Url_setNameValues(resolved, Url_getNameValues(url));
    url->nameValues = nullptr;
    Url_free(url);
    return resolved;
}

} // namespace

int Edr_Doc_followUrl(EngineContext *app, Edr_Doc *doc, Url *url, const Link *link, uint32_t flags,
                      Obj *extra)
{
    if (!url || Url_getScheme(url) == UrlScheme_javascript) {
        freeFollow(url, nullptr, extra);
        return Res_ok;
    }
    if (!app && doc)
        app = doc->app;

    Url *docUrl = nullptr;
    if (doc) {
        // The document URL, re-stored with class 1 unless asked to keep it.
        int err = Edr_Doc_getUrl(doc, &docUrl);
        if (err) {
            freeFollow(url, nullptr, extra);
            return err;
        }
        if (docUrl && !(flags & Edr_Follow_keepDocUrl)) {
            Url_setClass(docUrl, 1);
            (void)Edr_Doc_setUrl(doc, docUrl);
        }
        url = resolveAgainst(doc, url);

        // A sub-document leaves a secure page only when the top document
        // that shows it agrees. A top document without a URL (a holder of
        // other documents) is no page to leave: its frames load freely.
        if (Edr_Doc_parentMarkFlag(doc) == 0) {
            Edr_Doc *marked = nullptr;
            Edr_Doc_findMarkedAncestor(doc, &marked);
            Url *markedUrl = nullptr;
            if (marked && (Edr_Doc_getUrl(marked, &markedUrl) != Res_ok || !markedUrl)) {
                Edr_Doc_release(marked);
                marked = nullptr;
            }
            Url_free(markedUrl);
            if (marked) {
                int go =
                    Edr_Doc_confirmLeaveSecure(app, marked, url, !(flags & Edr_Follow_keepDocUrl));
                Edr_Doc_release(marked);
                if (!go) {
                    freeFollow(url, docUrl, extra);
                    return Res_ok;
                }
            }
        }
    }

    Link copy;
    Link_init(&copy);
    if (link && link->kind != 0 && Link_copy(&copy, link) != 0) {
        freeFollow(url, docUrl, extra);
        return Res_noMemory;
    }
    if (docUrl) {
        char *referrer = Url_toLatin1(docUrl);
        if (referrer)
            Url_setCstr(url, referrer);
    }
    Url_free(docUrl);

    EventProcKind6Msg m{};
    Edr_Doc_getView(&m.view, doc);
    m.url = url;
    m.link = copy;
    m.words[0] = intptr_t(flags);
    m.object = extra;
    EventProc *processor = app ? app->eventProc : nullptr;
    if (!processor) {
        Edr_Doc_releaseView(m.view);
        Link_release(&m.link);
        freeFollow(url, nullptr, extra);
        return Res_missingArgument;
    }
    return EventProc_postKind6(processor, &m);
}

int Edr_Doc_controlChanged(Edr_Doc *doc, Edr_Node *node, int a, int b)
{
    // A control that changed is shown again by the next layout and redraw of
    // its document. A node event posted from here can outlive the control's
    // widget (a form torn down before the event is delivered reads the freed
    // widget), so nothing is posted until events hold the widget too.
    (void)doc;
    (void)node;
    (void)a;
    (void)b;
    return Res_ok;
}
