// Reading the eDR tree: the iterative walk, the locked getters that hand
// out new references, the predicates and the unlocked accessors for code
// that already holds the tree lock; and the document locks themselves.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "document/edr/webops.h"

using edr::count;
using edr::group;
using edr::isGroup;

// ------------------------------------------------------------------ locks

void Edr_Doc_readLock(Edr_Doc *doc)
{
    RwLock_readLock(&doc->treeLock);
}

void Edr_Doc_readUnlock(Edr_Doc *doc)
{
    RwLock_readUnlock(&doc->treeLock);
}

int Edr_Doc_writeLock(Edr_Doc *doc)
{
    return RwLock_writeLock(&doc->treeLock, 1);
}

void Edr_Doc_writeLockWait(Edr_Doc *doc)
{
    RwLock_writeLockWait(&doc->treeLock);
}

void Edr_Doc_writeUnlock(Edr_Doc *doc)
{
    RwLock_writeUnlock(&doc->treeLock);
}

void Edr_Page_readLockList(Edr_Doc *doc)
{
    RwLock_readLock(&doc->pageList->lock);
}

void Edr_Page_readUnlockList(Edr_Doc *doc)
{
    RwLock_readUnlock(&doc->pageList->lock);
}

int Edr_Page_writeLockList(Edr_Doc *doc)
{
    return RwLock_writeLock(&doc->pageList->lock, 1);
}

int Edr_Page_tryWriteLockList(Edr_Doc *doc)
{
    return RwLock_writeLock(&doc->pageList->lock, 0);
}

void Edr_Page_writeUnlockList(Edr_Doc *doc)
{
    RwLock_writeUnlock(&doc->pageList->lock);
}

// ------------------------------------------------------------------ walks

namespace {

Edr_Node *firstGroupFrom(Edr_Node *n)
{
    while (n && !isGroup(n))
        n = n->next;
    return n;
}

int visitPre(Edr_Doc *doc, Edr_PreVisitFn pre, Edr_Node *n, int holdRefs, void *context, int *stop,
             int *skip)
{
    *skip = 0;
    if (!pre)
        return 0;
    if (holdRefs)
        // A count at its maximum stays there and the node is never freed, so the reference holds
        // either way.
        (void)Edr_Node_addRefLocked(doc, n);
    int err = pre(n, stop, skip, context);
    if (holdRefs)
        Edr_Node_dropRefLocked(doc, n);
    return err;
}

int visitPost(Edr_Doc *doc, Edr_PostVisitFn post, Edr_Node *n, int holdRefs, void *context,
              int *stop)
{
    if (!post)
        return 0;
    if (holdRefs)
        // A count at its maximum stays there and the node is never freed, so the reference holds
        // either way.
        (void)Edr_Node_addRefLocked(doc, n);
    int err = post(n, stop, context);
    if (holdRefs)
        Edr_Node_dropRefLocked(doc, n);
    return err;
}

} // namespace

int Edr_Node_walkCore(Edr_Doc *doc, Edr_PreVisitFn pre, Edr_PostVisitFn post, int groupsOnly,
                      int holdRefs, void *context, int *stop, Edr_Node *start)
{
    int localStop = 0;
    if (!stop)
        stop = &localStop;
    *stop = 0;
    if (!start)
        return 0;
    Edr_Node *n = start;
    for (;;) {
        int skip = 0;
        int err = visitPre(doc, pre, n, holdRefs, context, stop, &skip);
        if (err)
            return err;
        if (*stop)
            return 0;
        if (!skip && isGroup(n)) {
            Edr_Node *child = group(n)->firstChild;
            if (groupsOnly)
                child = firstGroupFrom(child);
            if (child) {
                n = child;
                continue;
            }
        }
        // Climb until a next sibling is found or the walk is back at start.
        for (;;) {
            err = visitPost(doc, post, n, holdRefs, context, stop);
            if (err)
                return err;
            if (*stop || n == start)
                return 0;
            Edr_Node *next = groupsOnly ? firstGroupFrom(n->next) : n->next;
            if (next) {
                n = next;
                break;
            }
            n = n->parentNode;
            if (!n)
                return 0;
        }
    }
}

int Edr_Node_walk(Edr_PreVisitFn pre, Edr_PostVisitFn post, void *context, int groupsOnly,
                  Edr_Node *start)
{
    if (!start || (groupsOnly && !isGroup(start)))
        return 0;
    return Edr_Node_walkCore(nullptr, pre, post, groupsOnly, 0, context, nullptr, start);
}

int Edr_Doc_walkLocked(Edr_Doc *doc, Edr_PreVisitFn pre, Edr_PostVisitFn post, void *context,
                       int groupsOnly, Edr_Node *start)
{
    if (!start || (groupsOnly && !isGroup(start)))
        return 0;
    Edr_Doc_readLock(doc);
    int err = Edr_Node_walkCore(doc, pre, post, groupsOnly, 1, context, nullptr, start);
    Edr_Doc_readUnlock(doc);
    return err;
}

// --------------------------------------------------------- locked getters

int Edr_Node_getWith(Edr_Doc *doc, Edr_Node *node, Edr_Node **out, Edr_NodeGetterFn getter)
{
    *out = nullptr;
    if (!doc || !node)
        return Res_ok;
    Edr_Doc_readLock(doc);
    int err = Edr_Node_checkLive(doc, node);
    if (!err) {
        Edr_Node *found = getter(node);
        if (found && Edr_Node_addRefLocked(doc, found) == 0)
            *out = found;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

namespace {

Edr_Node *firstEnabled(Edr_Node *n)
{
    while (n && !Edr_Node_isEnabled(n))
        n = n->next;
    return n;
}

Edr_Node *getFirstChild(Edr_Node *n)
{
    return isGroup(n) ? firstEnabled(group(n)->firstChild) : nullptr;
}

Edr_Node *getLastChild(Edr_Node *n)
{
    if (!isGroup(n))
        return nullptr;
    Edr_Node *last = group(n)->lastChild;
    if (last && Edr_Node_isEnabled(last))
        return last;
    Edr_Node *found = nullptr;
    for (Edr_Node *c = group(n)->firstChild; c; c = c->next)
        if (Edr_Node_isEnabled(c))
            found = c;
    return found;
}

Edr_Node *getNextSibling(Edr_Node *n)
{
    return n->parentNode ? firstEnabled(n->next) : nullptr;
}

Edr_Node *getParent(Edr_Node *n)
{
    return n->parentNode;
}

Edr_Node *getFirstChildAny(Edr_Node *n)
{
    return isGroup(n) ? group(n)->firstChild : nullptr;
}

Edr_Node *getFirstSubdoc(Edr_Node *n)
{
    return Edr_Node_firstSubdoc(n);
}

} // namespace

int Edr_Node_getFirstChild(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getFirstChild);
}

int Edr_Node_getLastChild(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getLastChild);
}

int Edr_Node_getNextSibling(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getNextSibling);
}

int Edr_Node_getParent(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getParent);
}

int Edr_Node_getFirstChildAny(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getFirstChildAny);
}

int Edr_Node_getFirstSubdoc(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    return Edr_Node_getWith(doc, node, out, getFirstSubdoc);
}

int Edr_Doc_getRoot(Edr_Doc *doc, Edr_Node **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    if (doc->root && Edr_Node_addRefLocked(doc, doc->root) == 0)
        *out = doc->root;
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

int Edr_Doc_nthRootChild(Edr_Doc *doc, uint32_t n, Edr_Node **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    Edr_Node *c = doc->root ? group(doc->root)->firstChild : nullptr;
    while (c && n--)
        c = c->next;
    if (c && !(c->flags & Edr_Node_deletedBit) && Edr_Node_addRefLocked(doc, c) == 0)
        *out = c;
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

int Edr_Node_findAncestorByElement(Edr_Doc *doc, Edr_Node *node, uint32_t element, Edr_Node **out)
{
    *out = nullptr;
    if (!node)
        return Res_ok;
    Edr_Doc_readLock(doc);
    int err = Edr_Node_checkLive(doc, node);
    if (!err) {
        for (Edr_Node *a = node->parentNode; a; a = a->parentNode) {
            if (group(a)->element == element) {
                if (Edr_Node_addRefLocked(doc, a) == 0)
                    *out = a;
                break;
            }
        }
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_getStyle(Edr_Doc *doc, Edr_Node *groupNode, uint32_t *out)
{
    *out = 0;
    Edr_Doc_readLock(doc);
    int err = isGroup(groupNode) ? 0 : int(Res_notGroup);
    if (!err)
        *out = group(groupNode)->element;
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_copyText(Edr_Doc *doc, Edr_Node *node, char16_t **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (!node || Edr_Node_type(node) != Edr_NodeType_text) {
        err = Res_notText;
    } else {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        *out = Ustr_dupN(t->chars, t->length);
        if (!*out)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_getGridRecord(Edr_Doc *doc, Edr_Node *node, void **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (!node || Edr_Node_type(node) != Edr_NodeType_grid)
        err = Res_notGridRecord;
    else
        *out = static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record;
    Edr_Doc_readUnlock(doc);
    return err;
}

// -------------------------------------------------------------- predicates

namespace {

int typeIsLocked(Edr_Doc *doc, Edr_Node *node, uint32_t type)
{
    if (!node)
        return 0;
    Edr_Doc_readLock(doc);
    int r = Edr_Node_type(node) == type;
    Edr_Doc_readUnlock(doc);
    return r;
}

} // namespace

int Edr_Node_isText(Edr_Doc *doc, Edr_Node *node)
{
    return typeIsLocked(doc, node, Edr_NodeType_text);
}

int Edr_Node_isWithin(Edr_Doc *doc, Edr_Node *node, Edr_Node *ancestor)
{
    if (!node || !ancestor)
        return 0;
    Edr_Doc_readLock(doc);
    int r = 0;
    for (Edr_Node *n = node; n; n = n->parentNode)
        if (n == ancestor) {
            r = 1;
            break;
        }
    Edr_Doc_readUnlock(doc);
    return r;
}

// ------------------------------------------------------ unlocked accessors

Edr_Node *Edr_Doc_root(const Edr_Doc *doc)
{
    return doc ? doc->root : nullptr;
}

Edr_Node *Edr_Node_parent(const Edr_Node *node)
{
    return node ? node->parentNode : nullptr;
}

Edr_Node *Edr_Node_firstChild(const Edr_Node *node)
{
    return isGroup(node) ? group(node)->firstChild : nullptr;
}

Edr_Node *Edr_Node_nextSibling(const Edr_Node *node)
{
    return node ? node->next : nullptr;
}

uint32_t Edr_Node_type(const Edr_Node *node)
{
    return node ? node->flags & Edr_Node_typeMask : 0;
}

uint32_t Edr_Node_subtype(const Edr_Node *node)
{
    return node ? (node->flags & Edr_Node_subtypeMask) >> Edr_Node_subtypeShift : 0;
}

int Edr_Node_isChanged(const Edr_Node *node)
{
    return node && (node->flags & Edr_Node_changedBit) != 0;
}

int Edr_Node_isEnabled(const Edr_Node *node)
{
    if (!node)
        return 0;
    if (Edr_Node_isFormGroup(node))
        return Edr_Web_controlEnabled(nullptr, group(node)->subtypeValue) != 0;
    return (node->flags & Edr_Node_enabledBit) != 0;
}

int Edr_Node_isFormGroup(const Edr_Node *node)
{
    return isGroup(node) && Edr_Node_subtype(node) == Edr_Subtype_formControl;
}

int Edr_Node_wrapsImage(const Edr_Node *node)
{
    if (!isGroup(node) || !group(node)->firstChild)
        return 0;
    uint32_t t = Edr_Node_type(group(node)->firstChild);
    return t == Edr_NodeType_picture || t == Edr_NodeType_image;
}

Edr_Node *Edr_Node_firstSubdoc(const Edr_Node *node)
{
    if (!isGroup(node))
        return nullptr;
    for (Edr_Node *c = group(node)->firstChild; c; c = c->next)
        if (Edr_Node_type(c) == Edr_NodeType_subdoc)
            return c;
    return nullptr;
}

int Edr_Node_hasUrl(const Edr_Node *node)
{
    return isGroup(node) && group(node)->ext && group(node)->ext->url;
}

void Edr_Node_setDropped(Edr_Node *node, int on)
{
    if (!isGroup(node))
        return;
    if (on)
        node->flags |= Edr_Node_droppedBit;
    else
        node->flags &= ~uint32_t(Edr_Node_droppedBit);
}

int Edr_Node_isDropped(const Edr_Node *node)
{
    return isGroup(node) && (node->flags & Edr_Node_droppedBit) != 0;
}

void *Edr_Node_getExtra(const Edr_Node *node)
{
    return isGroup(node) ? group(node)->extra : nullptr;
}

void Edr_Node_setExtra(Edr_Node *node, void *extra)
{
    if (isGroup(node))
        group(node)->extra = extra;
}

EngineContext *Edr_Doc_getApp(const Edr_Doc *doc)
{
    return doc ? doc->app : nullptr;
}

uint32_t Edr_Doc_getTypeCode(const Edr_Doc *doc)
{
    return doc->typeCode;
}

uint32_t Edr_Doc_getMarkFlag(const Edr_Doc *doc)
{
    return doc->markFlag;
}

DocRequestTable *Edr_Doc_requestTable(const Edr_Doc *doc)
{
    return doc->requests;
}

StrTable *Edr_Doc_stringTable(const Edr_Doc *doc)
{
    return doc->strings;
}

void *Edr_Page_listHead(const Edr_Doc *doc)
{
    return doc->pageList && doc->pageList->view ? *static_cast<void **>(doc->pageList->view)
                                                : nullptr;
}

void *Edr_Page_listHead2(const Edr_Doc *doc)
{
    return doc->pageList ? doc->pageList->sharedLists : nullptr;
}

int Edr_Doc_stampChanged(const Edr_Doc *doc, uint16_t *copy)
{
    uint16_t now = doc->stamp;
    int changed = *copy != now;
    *copy = now;
    return changed;
}

// ------------------------------------------------------------- other reads

namespace {

struct SameType {
    Edr_Node *target;
    bool passed;
    Edr_Node *found;
};

} // namespace

void Edr_Doc_nudgeParent(Edr_Doc *doc)
{
    Edr_Doc *parent = doc->parent;
    if (parent && !parent->closed)
        (void)Edr_Mgr_queueChange(parent); // a parent that cannot queue redraws at its next change
}

int Edr_Doc_needsManager(Edr_Doc *doc)
{
    if (doc->closed)
        return 0;
    if (doc->markFlag || doc->variantFlag || doc->depth)
        return 1;
    if (!doc->hostNode)
        return 0;
    return !doc->stopFlag;
}

void Edr_Doc_setLayoutWord(Edr_Doc *doc, intptr_t word)
{
    doc->manager.layoutWord = word;
}
