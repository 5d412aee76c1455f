// The lazily expanded entry tree, its entry release, child store and walk.
#include "html/entrytree.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

constexpr int32_t treeTemplate[EntryTree_templateWords] = {0, 0, 0, 0, 0, 0, -3640};

EntryTreeChildren *newChildren()
{
    return static_cast<EntryTreeChildren *>(Mem_calloc(1, sizeof(EntryTreeChildren)));
}

// Releases entry and everything below it, children first.
void releaseTree(EntryTreeEntry *entry)
{
    if (!entry)
        return;
    if (entry->kind == EntryTree_list) {
        EntryTreeChildren *c = reinterpret_cast<EntryTreeList *>(entry)->children;
        if (c)
            for (uint32_t i = 0; i < c->count; i++)
                releaseTree(c->entries[i]);
    }
    EntryTree_releaseEntry(entry);
}

// Stores a new entry at the cursor's insertion index under the lock; on a
// failure its data word is cleared and it is released.
int storeAtCursor(EntryTreeCursor *cursor, EntryTreeEntry *entry, void **dataWord)
{
    EntryTree *tree = cursor->tree;
    Lock_acquire(&tree->lock);
    int r = EntryTree_storeChild(cursor->current->children, cursor->index, entry);
    Lock_release(&tree->lock);
    if (r != Res_ok) {
        *dataWord = nullptr;
        EntryTree_releaseEntry(entry);
    }
    return r;
}

template <typename T> T *newEntry(int32_t kind)
{
    T *e = static_cast<T *>(Mem_calloc(1, sizeof(T)));
    if (e)
        e->kind = kind;
    return e;
}

int walkList(EntryTreeWalker *walker, EntryTree *tree, EntryTreeList *list);

// Opens list through its open callback when it has not been opened.
int openList(EntryTreeWalker *walker, EntryTree *tree, EntryTreeList *list)
{
    if (list->opened || !list->open)
        return Res_ok;
    EntryTreeCursor cursor = {tree, walker->scale, list, 0};
    int r = list->open(&cursor, list->data, list->value);
    if (r == Res_ok)
        list->loaded = list->opened = 1;
    return r;
}

int visit(EntryTreeWalker *walker, EntryTree *tree, EntryTreeEntry *entry)
{
    switch (entry->kind) {
    case EntryTree_leaf:
        return walker->leaf ? walker->leaf(walker, reinterpret_cast<EntryTreeLeaf *>(entry))
                            : Res_ok;
    case EntryTree_list: return walkList(walker, tree, reinterpret_cast<EntryTreeList *>(entry));
    default: {
        EntryTreeRef *ref = reinterpret_cast<EntryTreeRef *>(entry);
        if (walker->reference) {
            int r = walker->reference(walker, ref);
            if (r != Res_ok || walker->stop)
                return r;
        }
        EntryTree *target = ref->resolve ? ref->resolve(ref->reference) : nullptr;
        if (!target)
            return Res_ok;
        for (int32_t i = 0; i < walker->depth; i++)
            if (walker->path[i] == target)
                return Res_entryTreeCycle;
        Lock_acquire(&target->lock);
        EntryTreeList *root = target->root;
        Lock_release(&target->lock);
        return root ? walkList(walker, target, root) : Res_ok;
    }
    }
}

int walkList(EntryTreeWalker *walker, EntryTree *tree, EntryTreeList *list)
{
    if (walker->depth >= EntryTree_maxWalkDepth)
        return Res_entryTreeTooDeep;
    int r = openList(walker, tree, list);
    if (r != Res_ok)
        return r;
    walker->path[walker->depth++] = tree;
    for (uint32_t i = 0;; i++) {
        if (walker->stop)
            break;
        // The array may grow while a callback runs: read it afresh.
        Lock_acquire(&tree->lock);
        EntryTreeChildren *c = list->children;
        uint32_t n = c ? c->count : 0;
        EntryTreeEntry *child = nullptr;
        if (i < n)
            child = c->entries[walker->reverse ? n - 1 - i : i];
        Lock_release(&tree->lock);
        if (i >= n)
            break;
        if (!child)
            continue;
        r = visit(walker, tree, child);
        if (r != Res_ok)
            break;
    }
    walker->depth--;
    return r;
}

} // namespace

void EntryTree_releaseEntry(EntryTreeEntry *entry)
{
    if (!entry)
        return;
    switch (entry->kind) {
    case EntryTree_leaf: {
        EntryTreeLeaf *e = reinterpret_cast<EntryTreeLeaf *>(entry);
        if (e->release)
            e->release(e->data);
        break;
    }
    case EntryTree_list: {
        EntryTreeList *e = reinterpret_cast<EntryTreeList *>(entry);
        if (e->release)
            e->release(e->data);
        if (e->children) {
            Mem_free(e->children->entries);
            Mem_free(e->children);
        }
        break;
    }
    default: {
        EntryTreeRef *e = reinterpret_cast<EntryTreeRef *>(entry);
        if (e->release)
            e->release(e->reference);
        break;
    }
    }
    Mem_free(entry);
}

int EntryTree_storeChild(EntryTreeChildren *children, uint32_t index, EntryTreeEntry *entry)
{
    if (!children)
        return Res_missingArgument;
    if (index < children->count) {
        // Opened again: the child is there already.
        EntryTree_releaseEntry(entry);
        return Res_ok;
    }
    if (index >= children->capacity) {
        uint32_t cap = children->capacity ? children->capacity : 2;
        while (cap <= index) {
            if (cap > 0x3FFFFFFFu)
                return Res_noMemory;
            cap *= 2;
        }
        if (children->capacity && cap == children->capacity)
            cap *= 2;
        void *grown = Mem_realloc(children->entries, size_t(cap) * sizeof(EntryTreeEntry *));
        if (!grown)
            return Res_noMemory;
        children->entries = static_cast<EntryTreeEntry **>(grown);
        for (uint32_t i = children->capacity; i < cap; i++)
            children->entries[i] = nullptr;
        children->capacity = cap;
    }
    children->entries[index] = entry;
    children->count = index + 1;
    return Res_ok;
}

int EntryTree_walk(EntryTreeWalker *walker, EntryTree *tree, EntryTreeList *list)
{
    if (!walker || !tree || !list)
        return Res_missingArgument;
    walker->depth = 0;
    walker->stop = 0;
    return walkList(walker, tree, list);
}

int EntryTree_create(EngineContext *context, EntryTree **out)
{
    *out = nullptr;
    EntryTree *t = static_cast<EntryTree *>(Mem_calloc(1, sizeof(EntryTree)));
    if (!t)
        return Res_noMemory;
    int r = Lock_init(context, &t->lock);
    if (r != Res_ok) {
        Mem_free(t);
        return r;
    }
    memcpy(t->templateWords, treeTemplate, sizeof(treeTemplate));
    t->params[0] = t->params[1] = 2;
    *out = t;
    return Res_ok;
}

void EntryTree_free(EntryTree *tree)
{
    if (!tree)
        return;
    releaseTree(reinterpret_cast<EntryTreeEntry *>(tree->root));
    Lock_fini(&tree->lock);
    Mem_free(tree);
}

int EntryTree_setRoot(EntryTree *tree, void *data, intptr_t value, EntryTreeOpenFn open,
                      EntryTreeReleaseFn release)
{
    if (!tree)
        return Res_missingArgument;
    EntryTreeList *root = newEntry<EntryTreeList>(EntryTree_list);
    if (!root)
        return Res_noMemory;
    root->children = newChildren();
    if (!root->children) {
        Mem_free(root);
        return Res_noMemory;
    }
    root->data = data;
    root->value = value;
    root->open = open;
    root->release = release;
    Lock_acquire(&tree->lock);
    EntryTreeList *old = tree->root;
    tree->root = root;
    memcpy(tree->templateWords, treeTemplate, sizeof(treeTemplate));
    Lock_release(&tree->lock);
    releaseTree(reinterpret_cast<EntryTreeEntry *>(old));
    return Res_ok;
}

int EntryTree_addList(EntryTreeCursor *cursor, void *data, intptr_t value, EntryTreeOpenFn open,
                      EntryTreeReleaseFn release)
{
    if (!cursor || !cursor->current)
        return Res_missingArgument;
    EntryTreeList *e = newEntry<EntryTreeList>(EntryTree_list);
    if (!e)
        return Res_noMemory;
    e->data = data;
    e->value = value;
    e->open = open;
    e->release = release;
    e->parent = cursor->current->children;
    e->children = newChildren();
    if (!e->children) {
        e->data = nullptr;
        EntryTree_releaseEntry(reinterpret_cast<EntryTreeEntry *>(e));
        return Res_noMemory;
    }
    return storeAtCursor(cursor, reinterpret_cast<EntryTreeEntry *>(e), &e->data);
}

int EntryTree_addRef(EntryTreeCursor *cursor, void *reference, intptr_t valueA,
                     EntryTreeResolveFn resolve, intptr_t valueB, intptr_t valueC,
                     EntryTreeReleaseFn release)
{
    if (!cursor || !cursor->current)
        return Res_missingArgument;
    EntryTreeRef *e = newEntry<EntryTreeRef>(EntryTree_ref);
    if (!e)
        return Res_noMemory;
    e->reference = reference;
    e->valueA = valueA;
    e->resolve = resolve;
    e->valueB = valueB;
    e->valueC = valueC;
    e->release = release;
    e->parent = cursor->current->children;
    return storeAtCursor(cursor, reinterpret_cast<EntryTreeEntry *>(e), &e->reference);
}

int EntryTree_addLeaf(EntryTreeCursor *cursor, void *data, intptr_t valueA, intptr_t valueB,
                      EntryTreeReleaseFn release)
{
    if (!cursor || !cursor->current)
        return Res_missingArgument;
    EntryTreeLeaf *e = newEntry<EntryTreeLeaf>(EntryTree_leaf);
    if (!e)
        return Res_noMemory;
    e->data = data;
    e->valueA = valueA;
    e->valueB = valueB;
    e->release = release;
    return storeAtCursor(cursor, reinterpret_cast<EntryTreeEntry *>(e), &e->data);
}

void EntryTree_advance(EntryTreeCursor *cursor)
{
    if (!cursor)
        return;
    Lock_acquire(&cursor->tree->lock);
    cursor->index++;
    Lock_release(&cursor->tree->lock);
}

void *EntryTree_currentData(EntryTreeCursor *cursor)
{
    if (!cursor || !cursor->current)
        return nullptr;
    void *result = nullptr;
    Lock_acquire(&cursor->tree->lock);
    EntryTreeChildren *c = cursor->current->children;
    if (c && cursor->index < c->count && c->entries[cursor->index]) {
        EntryTreeEntry *e = c->entries[cursor->index];
        switch (e->kind) {
        case EntryTree_leaf: result = reinterpret_cast<EntryTreeLeaf *>(e)->data; break;
        case EntryTree_list: result = reinterpret_cast<EntryTreeList *>(e)->children; break;
        default: result = reinterpret_cast<EntryTreeRef *>(e)->reference; break;
        }
    }
    Lock_release(&cursor->tree->lock);
    return result;
}

void *EntryTree_nodeData(const EntryTreeCursor *cursor)
{
    return cursor && cursor->current ? cursor->current->data : nullptr;
}

int EntryTree_needsOpen(const EntryTreeCursor *cursor)
{
    return cursor && cursor->current && !cursor->current->opened ? 1 : 0;
}

int32_t EntryTree_getState(EntryTree *tree)
{
    if (!tree)
        return 0;
    Lock_acquire(&tree->lock);
    int32_t s = tree->state;
    Lock_release(&tree->lock);
    return s;
}

void EntryTree_getParams(EntryTree *tree, int32_t *first, int32_t *second)
{
    if (!tree)
        return;
    Lock_acquire(&tree->lock);
    if (first)
        *first = tree->params[0];
    if (second)
        *second = tree->params[1];
    Lock_release(&tree->lock);
}
