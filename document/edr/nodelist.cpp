// Node reference lists and the focus order of link and form navigation.
//
// A list entry holds one node reference, taken and given back under the
// document mutex only, so the lists work inside and outside tree locks.
// The focus rules read the tree without locking (their callers hold the
// tree lock); the tab order collects its candidates under the read lock
// and announces the new focus after letting go of it.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/nodelist.h"
#include "document/edr/webops.h"
#include "platform/api/engine.h"

using edr::group;
using edr::isGroup;

// ------------------------------------------------------------ node lists

void Edr_NodeList_init(Edr_NodeList *list)
{
    list->items = nullptr;
    list->count = 0;
    list->capacity = 0;
}

int Edr_NodeList_append(Edr_Doc *doc, Edr_NodeList *list, Edr_Node *node)
{
    if (!doc || !list || !node)
        return Res_missingArgument;
    if (list->count == list->capacity) {
        uint32_t capacity =
            list->capacity ? list->capacity * 2 : uint32_t(Edr_NodeList_firstCapacity);
        if (capacity <= list->capacity)
            return Res_noMemory;
        void *grown = Mem_realloc(list->items, size_t(capacity) * sizeof(Edr_Node *));
        if (!grown)
            return Res_noMemory;
        list->items = static_cast<Edr_Node **>(grown);
        list->capacity = capacity;
    }
    int err = Edr_Node_addRefLive(doc, node);
    if (err)
        return err;
    list->items[list->count++] = node;
    return Res_ok;
}

void Edr_NodeList_clear(Edr_Doc *doc, Edr_NodeList *list)
{
    if (!list)
        return;
    if (doc)
        for (uint32_t i = list->count; i > 0; i--)
            Edr_Node_dropRefLocked(doc, list->items[i - 1]);
    Mem_free(list->items);
    Edr_NodeList_init(list);
}

int Edr_NodeList_copy(Edr_Doc *doc, const Edr_NodeList *source, Edr_NodeList *out)
{
    Edr_NodeList_init(out);
    if (!source || source->count == 0)
        return Res_ok;
    if (!doc)
        return Res_missingArgument;
    Edr_Node **items =
        static_cast<Edr_Node **>(Mem_malloc(size_t(source->count) * sizeof(Edr_Node *)));
    if (!items)
        return Res_noMemory;
    int err = Res_ok;
    uint32_t taken = 0;
    Edr_Doc_readLock(doc);
    for (; taken < source->count; taken++) {
        err = Edr_Node_addRefLive(doc, source->items[taken]);
        if (err)
            break;
        items[taken] = source->items[taken];
    }
    if (err)
        while (taken > 0)
            Edr_Node_dropRefLocked(doc, items[--taken]);
    Edr_Doc_readUnlock(doc);
    if (err) {
        Mem_free(items);
        return err;
    }
    out->items = items;
    out->count = source->count;
    out->capacity = source->count;
    return Res_ok;
}

int Edr_NodeList_contains(const Edr_NodeList *list, const Edr_Node *node)
{
    for (uint32_t i = list ? list->count : 0; i > 0; i--)
        if (list->items[i - 1] == node)
            return 1;
    return 0;
}

void Edr_NodeList_moveTo(Edr_NodeList *list, Edr_Node *node, uint32_t index)
{
    if (!list || list->count == 0)
        return;
    uint32_t at = list->count;
    while (at > 0 && list->items[at - 1] != node)
        at--;
    if (at == 0)
        return;
    uint32_t to = index < list->count - 1 ? index : list->count - 1;
    list->items[at - 1] = list->items[to];
    list->items[to] = node;
}

// ------------------------------------------------------- navigation mode

uint32_t Edr_App_getNavigationMode(EngineContext *app)
{
    Edr_App *ea = app ? Edr_App_get(app) : nullptr;
    return ea ? uint32_t(ea->navigationMode) : uint32_t(Edr_Nav_links);
}

void Edr_App_setNavigationMode(EngineContext *app, uint32_t mode)
{
    Edr_App *ea = app ? Edr_App_get(app) : nullptr;
    if (ea)
        ea->navigationMode = intptr_t(mode);
}

// ---------------------------------------------------------- focus rules

namespace {

enum : uint32_t {
    kTypeHtml = 227,

    // Element codes of the HTML importer that decide focus by themselves.
    kElementArea = 16,
    kElementNoFocusA = 24,
    kElementNoFocusB = 43,

    // The three bits of a form control's flag word that make it focusable.
    kControlFocusBits = 0x100 | 0x200 | 0x4000,
};

uint32_t navMode(Edr_Doc *doc)
{
    return Edr_App_getNavigationMode(doc ? doc->app : nullptr);
}

// Event types whose handler records make a group a link for the focus:
// focus and blur, the key events, the mouse events and activation.
bool isFocusEventType(uint32_t key)
{
    return key == 8 || key == 9 || (key >= 12 && key <= 21) || key == 24;
}

bool linkRule(Edr_Node *g)
{
    if (Edr_Node_hasUrl(g))
        return true;
    const Edr_GroupExt *ext = group(g)->ext;
    if (!ext)
        return false;
    for (const Edr_AttrRecord *r = ext->records; r; r = r->next)
        if (isFocusEventType(r->key))
            return true;
    return false;
}

bool formRule(Edr_Node *g)
{
    const void *control = Edr_Node_isFormGroup(g) ? group(g)->subtypeValue : nullptr;
    uint32_t flags = 0;
    if (Edr_Web_widgetGetFlags(nullptr, control, &flags) != 0)
        return false;
    return (flags & kControlFocusBits) == kControlFocusBits;
}

bool isHtmlFormElement(uint32_t element)
{
    return element == 26 || element == 44 || element == 64 || element == 96 || element == 107;
}

} // namespace

int Edr_Node_isFocusable(Edr_Doc *doc, Edr_Node *g)
{
    if (!isGroup(g))
        return 0;
    if (navMode(doc) == Edr_Nav_images && Edr_Node_wrapsImage(g))
        return 1;
    if (!doc || Edr_Doc_getTypeCode(doc) != kTypeHtml)
        return Edr_Node_hasUrl(g);
    uint32_t element = group(g)->element;
    if (element == kElementArea)
        return 1;
    if (element == kElementNoFocusA || element == kElementNoFocusB)
        return 0;
    if (isHtmlFormElement(element))
        return formRule(g);
    return linkRule(g);
}

int Edr_Node_isFocusableLocked(Edr_Doc *doc, Edr_Node *g)
{
    if (!doc)
        return Edr_Node_isFocusable(doc, g);
    Edr_Doc_readLock(doc);
    int r = Edr_Node_isFocusable(doc, g);
    Edr_Doc_readUnlock(doc);
    return r;
}

Edr_Node *Edr_Node_findFocusAncestor(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return nullptr;
    uint32_t mode = navMode(doc);
    if (Edr_Node_isFormGroup(node)) {
        if (mode != Edr_Nav_links)
            return nullptr;
        Edr_Node *top = node;
        for (Edr_Node *p = top->parentNode;
             p && Edr_Node_isFormGroup(p) && Edr_Node_isFocusable(doc, p); p = p->parentNode)
            top = p;
        return top;
    }
    if (mode == Edr_Nav_none)
        return nullptr;
    for (Edr_Node *n = isGroup(node) ? node : node->parentNode; n; n = n->parentNode) {
        if (mode == Edr_Nav_images ? Edr_Node_wrapsImage(n) != 0
                                   : Edr_Node_isFocusable(doc, n) != 0)
            return n;
    }
    return nullptr;
}

int Edr_Node_isFocusTarget(Edr_Doc *doc, Edr_Node *node)
{
    Edr_Node *ancestor = Edr_Node_findFocusAncestor(doc, node);
    if (!ancestor)
        return 0;
    if (!isGroup(node))
        return 1;
    const Edr_GroupExt *ext = group(node)->ext;
    if (Edr_Node_hasUrl(node) || (ext && ext->records))
        return 1;
    if (Edr_Node_isFormGroup(node) && ancestor == node && Edr_Node_isFocusable(doc, node))
        return 1;
    return navMode(doc) == Edr_Nav_images && Edr_Node_wrapsImage(node);
}

// ------------------------------------------------------- focus changes

int Edr_Doc_setFocus(Edr_Doc *doc, Edr_Node *node)
{
    if (!doc)
        return Res_missingArgument;
    if (node) {
        int err = Edr_Node_addRefLive(doc, node);
        if (err)
            return err;
    }
    // The message takes a view reference of its own; this one keeps the
    // document's record alive while the message is made.
    Edr_Doc *view = nullptr;
    Edr_Doc_getView(&view, doc);
    EventProcKind2Msg m{};
    m.type = Edr_Focus_set;
    m.subject = doc;
    m.object = node;
    EventProc *processor = doc->app ? doc->app->eventProc : nullptr;
    int err = processor ? EventProc_postKind2(processor, &m) : int(Res_missingArgument);
    if (err && node)
        Edr_Node_dropRefLocked(doc, node);
    Edr_Doc_releaseView(view);
    return err;
}

int Edr_Doc_clearFocus(Edr_Doc *doc)
{
    if (!doc)
        return Res_missingArgument;
    EventProcKind2Msg m{};
    m.type = Edr_Focus_cleared;
    m.subject = doc;
    EventProc *processor = doc->app ? doc->app->eventProc : nullptr;
    return processor ? EventProc_postKind2(processor, &m) : int(Res_missingArgument);
}

namespace {

struct TabCollect {
    Edr_Doc *doc;
    Edr_NodeList *list;
};

int collectTarget(Edr_Node *node, int *, int *, void *context)
{
    TabCollect *c = static_cast<TabCollect *>(context);
    if (!Edr_Node_isFocusTarget(c->doc, node))
        return Res_ok;
    return Edr_NodeList_append(c->doc, c->list, node);
}

int32_t tabIndexOf(const Edr_Node *node)
{
    const Edr_GroupExt *ext = isGroup(node) ? group(node)->ext : nullptr;
    return ext ? ext->tabIndex : 0;
}

// The entry to move to from items[at]: the smallest step not below 0 in
// the direction of travel, the first met winning ties; null when none.
Edr_Node *pickByTab(const Edr_NodeList *list, uint32_t at, int forward)
{
    int32_t c = tabIndexOf(list->items[at]);
    Edr_Node *best = nullptr;
    int32_t bestStep = 0;
    uint32_t n = list->count;
    for (uint32_t k = 1; k < n; k++) {
        uint32_t i = forward ? (at + k) % n : (at + n - k) % n;
        int32_t t = tabIndexOf(list->items[i]);
        int32_t d = forward ? t - c : c - t;
        if (d < 0)
            continue;
        if (!best || d < bestStep) {
            best = list->items[i];
            bestStep = d;
        }
    }
    return best;
}

} // namespace

int Edr_Doc_focusByTab(Edr_Doc *doc, Edr_Node *current, int forward)
{
    if (!doc)
        return Res_missingArgument;
    Edr_NodeList list;
    Edr_NodeList_init(&list);
    TabCollect c{doc, &list};
    Edr_Doc_readLock(doc);
    int err = Edr_Node_walkCore(doc, collectTarget, nullptr, 1, 0, &c, nullptr, doc->root);
    Edr_Node *chosen = nullptr;
    bool held = false;
    if (!err) {
        uint32_t at = list.count;
        while (at > 0 && list.items[at - 1] != current)
            at--;
        if (at == 0)
            err = Res_noFocusTarget;
        else if ((chosen = pickByTab(&list, at - 1, forward)) == nullptr)
            err = Res_noFocusTarget;
        else
            held = Edr_Node_addRefLocked(doc, chosen) == 0; // kept beyond the list
    }
    Edr_Doc_readUnlock(doc);
    Edr_NodeList_clear(doc, &list);
    if (err)
        return err;
    err = Edr_Doc_setFocus(doc, chosen);
    if (held)
        Edr_Node_dropRefLocked(doc, chosen);
    return err;
}
