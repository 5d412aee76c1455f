// Node attachments and small services (document/edr/attach.h).
#include "document/edr/attach.h"

#include <climits>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/nodelist.h"
#include "platform/url/url.h"

namespace {

enum : uint32_t { firstCapacity = 16, defaultStackBudget = 64 * 1024 };

Edr_PrivateEntry *entries(Edr_Doc *doc)
{
    return doc->sideRecord ? static_cast<Edr_PrivateEntry *>(doc->sideRecord->buffer) : nullptr;
}

Edr_PrivateEntry *findAttachEntry(Edr_Doc *doc, Edr_Node *node)
{
    if (!node || !(node->flags & Edr_Node_privateBit) || !doc->sideRecord)
        return nullptr;
    Edr_PrivateEntry *e = entries(doc);
    for (uint32_t i = 0; i < doc->sideRecord->count; i++)
        if (e[i].node == node)
            return &e[i];
    return nullptr;
}

// Detaches without locking: the caller holds the write lock or the tree
// is being torn down.
void detach(Edr_Doc *doc, Edr_Node *node)
{
    Edr_PrivateEntry *entry = findAttachEntry(doc, node);
    if (node)
        node->flags &= ~uint32_t(Edr_Node_privateBit);
    if (!entry)
        return;
    void *data = entry->data;
    Edr_PrivateDestructor destructor = entry->destructor;
    if (entry->shares != 1) {
        Edr_PrivateEntry *e = entries(doc);
        for (uint32_t i = 0; i < doc->sideRecord->count; i++)
            if (&e[i] != entry && e[i].node && e[i].data == data)
                e[i].shares--;
    }
    uint32_t shares = entry->shares;
    *entry = Edr_PrivateEntry{};
    if (shares == 1 && destructor)
        destructor(data);
}

int attach(Edr_Doc *doc, Edr_Node *node, void *data, Edr_PrivateDestructor destructor)
{
    if (!doc->sideRecord) {
        doc->sideRecord = static_cast<Edr_SideRecord *>(Mem_calloc(1, sizeof(Edr_SideRecord)));
        if (!doc->sideRecord)
            return Res_noMemory;
    }
    Edr_SideRecord *t = doc->sideRecord;
    Edr_PrivateEntry *e = entries(doc);
    Edr_PrivateEntry *slot = nullptr;
    for (uint32_t i = 0; i < t->count && !slot; i++)
        if (!e[i].node)
            slot = &e[i];
    if (!slot) {
        if (t->count == t->capacity) {
            uint32_t capacity = t->capacity ? t->capacity * 2 : firstCapacity;
            void *grown = Mem_realloc(t->buffer, size_t(capacity) * sizeof(Edr_PrivateEntry));
            if (!grown)
                return Res_noMemory;
            t->buffer = grown;
            t->capacity = capacity;
            e = entries(doc);
        }
        slot = &e[t->count++];
    }
    uint32_t shares = 1;
    bool found = false;
    for (uint32_t i = 0; i < t->count; i++) {
        if (&e[i] == slot || !e[i].node || e[i].data != data)
            continue;
        if (!found) {
            shares = ++e[i].shares;
            found = true;
        } else {
            e[i].shares = shares;
        }
    }
    *slot = Edr_PrivateEntry{node, data, shares, destructor};
    node->flags |= Edr_Node_privateBit;
    return Res_ok;
}

struct NthState {
    Edr_Doc *doc;
    uint32_t n;
    uint32_t seen;
    Edr_Node *target; // for the index search
    Edr_Node *found;
    int32_t index;
};

int nthVisit(Edr_Node *node, int *stop, int *, void *context)
{
    NthState *s = static_cast<NthState *>(context);
    if (!Edr_Node_isFocusTarget(s->doc, node))
        return Res_ok;
    if (s->target ? node == s->target : s->seen == s->n) {
        s->found = node;
        s->index = int32_t(s->seen);
        *stop = 1;
    }
    s->seen++;
    return Res_ok;
}

int walkItems(ItemTreeVisitor *v, ItemTreeNode *node)
{
    char here = 0;
    size_t budget = v->stackBudget ? v->stackBudget : size_t(defaultStackBudget);
    size_t used =
        v->stackBase > &here ? size_t(v->stackBase - &here) : size_t(&here - v->stackBase);
    if (used > budget)
        return Res_stackExhausted;
    if (v->abort)
        return Res_ok;
    int err = v->enter ? v->enter(v, node) : Res_ok;
    if (err)
        return err;
    if (!node->loaded) {
        if (!v->loadAllowed)
            return Res_ok;
        v->loading = node;
        if (node->loader && (err = node->loader(v, node)) != Res_ok)
            return err;
        node->loaded = 1;
        node->exact = 1;
    }
    for (uint32_t k = 0; k < node->count && !err; k++) {
        uint32_t i = v->reverse ? node->count - 1 - k : k;
        if (v->perIndex && (err = v->perIndex(v, node, i)) != Res_ok)
            break;
        ItemTreeChild *c = &node->children[i];
        if (c->kind == 0) {
            if (!v->leafCallbacks || v->abort)
                continue;
            if (!node->exact) {
                if (!v->loadAllowed) {
                    v->abort = 1;
                    continue;
                }
                if (v->loadWhenNeeded && node->loader) {
                    v->loading = node;
                    if ((err = node->loader(v, node)) != Res_ok)
                        break;
                    node->exact = 1;
                    c = &node->children[i];
                }
            }
            Rect r{};
            if (c->getRect && (err = c->getRect(c->item, &r)) != Res_ok)
                break;
            if (!node->exact)
                ItemTree_estimateRect(node->width, &r);
            if (v->leaf)
                err = v->leaf(v, c->item, &r);
        } else if (c->kind == 1) {
            if (c->subtree)
                err = walkItems(v, c->subtree);
        } else if (!v->abort && v->other) {
            err = v->other(v, c->item);
        }
    }
    return err;
}

} // namespace

int Edr_Node_setPrivate(Edr_Doc *doc, Edr_Node *node, void *data, Edr_PrivateDestructor destructor)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    detach(doc, node);
    if (data)
        err = attach(doc, node, data, destructor);
    Edr_Doc_writeUnlock(doc);
    return err;
}

void Edr_Node_clearPrivate(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return;
    Edr_Doc_writeLockWait(doc);
    detach(doc, node);
    Edr_Doc_writeUnlock(doc);
}

int Edr_Node_getPrivate(Edr_Doc *doc, Edr_Node *node, void **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    if (Edr_PrivateEntry *e = findAttachEntry(doc, node))
        *out = e->data;
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

int Edr_Node_getPrivateDestructor(Edr_Doc *doc, Edr_Node *node, Edr_PrivateDestructor *out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    if (Edr_PrivateEntry *e = findAttachEntry(doc, node))
        *out = e->destructor;
    Edr_Doc_readUnlock(doc);
    return Res_ok;
}

void Edr_Node_detachPrivate(Edr_Doc *doc, Edr_Node *node)
{
    if (doc)
        detach(doc, node);
}

void Edr_Doc_freePrivateTable(Edr_Doc *doc)
{
    if (!doc->sideRecord)
        return;
    Mem_free(doc->sideRecord->buffer);
    Mem_free(doc->sideRecord);
    doc->sideRecord = nullptr;
}

Edr_Node *Edr_Doc_nthFocusable(Edr_Doc *doc, uint32_t n)
{
    NthState s{doc, n, 0, nullptr, nullptr, -1};
    (void)Edr_Node_walk(nthVisit, nullptr, &s, 0, Edr_Doc_root(doc));
    return s.found;
}

int Rect_pointInDoubled(int32_t a, int32_t b, int32_t x, int32_t y, int32_t, int32_t skip)
{
    if (skip)
        return 0;
    return int64_t(x) <= 2 * int64_t(a) && int64_t(y) <= 2 * int64_t(b) ? 1 : 2;
}

void ItemTree_estimateRect(int32_t width, Rect *rect)
{
    if (!(rect->x0 < rect->x1 && rect->y0 < rect->y1))
        return;
    int64_t divisor = int64_t(width) - 2 * int64_t(rect->x0);
    // A zero divisor (the rectangle centred on the whole width) leaves it
    // alone rather than dividing by zero.
    if (divisor == 0)
        return;
    double y0 = double(rect->y0) * (double(rect->x1) - double(rect->x0)) / double(divisor);
    // Truncated, and kept within the coordinate range.
    if (y0 > double(INT32_MAX))
        y0 = double(INT32_MAX);
    if (y0 < double(INT32_MIN))
        y0 = double(INT32_MIN);
    rect->y0 = int32_t(y0);
    rect->x1 = int32_t(int64_t(width) - rect->x0);
}

int ItemTree_walk(ItemTreeVisitor *visitor, ItemTreeNode *node)
{
    char base = 0;
    visitor->stackBase = &base;
    return walkItems(visitor, node);
}
