// The keyed map: a red-black tree with a header node above the root and a
// shared nil leaf, following the classic textbook insertion and removal.
//
// The nil leaf is a real node so that the removal fix-up may start from it:
// its parent field is written during a removal (and means nothing
// afterwards); its colour stays black and its key and value null.
#include "core/container/map.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

MapNode *rootOf(const Map *m)
{
    return m->header->left;
}

void setRoot(Map *m, MapNode *n)
{
    m->header->left = n;
    n->parent = m->header;
}

// Puts n in place of old under old's parent (the header for the root).
void replaceChild(Map *m, MapNode *old, MapNode *n)
{
    MapNode *p = old->parent;
    if (p == m->header)
        m->header->left = n;
    else if (old == p->left)
        p->left = n;
    else
        p->right = n;
    n->parent = p;
}

} // namespace

void Map_rotateLeft(Map *m, MapNode *x)
{
    MapNode *y = x->right;
    x->right = y->left;
    if (y->left != m->nil)
        y->left->parent = x;
    replaceChild(m, x, y);
    y->left = x;
    x->parent = y;
}

void Map_rotateRight(Map *m, MapNode *x)
{
    MapNode *y = x->left;
    x->left = y->right;
    if (y->right != m->nil)
        y->right->parent = x;
    replaceChild(m, x, y);
    y->right = x;
    x->parent = y;
}

namespace {

void insertFixup(Map *m, MapNode *z)
{
    while (z->parent->red) {
        MapNode *p = z->parent;
        MapNode *g = p->parent;
        if (p == g->left) {
            MapNode *u = g->right;
            if (u->red) {
                p->red = 0;
                u->red = 0;
                g->red = 1;
                z = g;
                continue;
            }
            if (z == p->right) {
                z = p;
                Map_rotateLeft(m, z);
                p = z->parent;
                g = p->parent;
            }
            p->red = 0;
            g->red = 1;
            Map_rotateRight(m, g);
        } else {
            MapNode *u = g->left;
            if (u->red) {
                p->red = 0;
                u->red = 0;
                g->red = 1;
                z = g;
                continue;
            }
            if (z == p->left) {
                z = p;
                Map_rotateRight(m, z);
                p = z->parent;
                g = p->parent;
            }
            p->red = 0;
            g->red = 1;
            Map_rotateLeft(m, g);
        }
    }
    rootOf(m)->red = 0;
}

} // namespace

void Map_removeFixup(Map *m, MapNode *x)
{
    while (x != rootOf(m) && !x->red) {
        MapNode *p = x->parent;
        if (x == p->left) {
            MapNode *w = p->right;
            if (w->red) {
                w->red = 0;
                p->red = 1;
                Map_rotateLeft(m, p);
                w = p->right;
            }
            if (!w->left->red && !w->right->red) {
                w->red = 1;
                x = p;
                continue;
            }
            if (!w->right->red) {
                w->left->red = 0;
                w->red = 1;
                Map_rotateRight(m, w);
                w = p->right;
            }
            w->red = p->red;
            p->red = 0;
            w->right->red = 0;
            Map_rotateLeft(m, p);
            x = rootOf(m);
        } else {
            MapNode *w = p->left;
            if (w->red) {
                w->red = 0;
                p->red = 1;
                Map_rotateRight(m, p);
                w = p->left;
            }
            if (!w->right->red && !w->left->red) {
                w->red = 1;
                x = p;
                continue;
            }
            if (!w->left->red) {
                w->right->red = 0;
                w->red = 1;
                Map_rotateLeft(m, w);
                w = p->left;
            }
            w->red = p->red;
            p->red = 0;
            w->left->red = 0;
            Map_rotateRight(m, p);
            x = rootOf(m);
        }
    }
    x->red = 0;
}

MapNode *List_treeFind(const void *key, MapNode *start, const Map *map)
{
    for (MapNode *n = start; n && n != map->nil;) {
        int32_t c = map->compare(n->key, key);
        if (c == 0)
            return n;
        n = c > 0 ? n->left : n->right;
    }
    return nullptr;
}

namespace {

// The first node equal to key on the search path from the root, or nil.
MapNode *search(const Map *m, const void *key)
{
    MapNode *n = List_treeFind(key, rootOf(m), m);
    return n ? n : m->nil;
}

void mapFreeEntry(Map *m, MapNode *n)
{
    if (m->freeKey)
        m->freeKey(n->key);
    m->freeValue(n->value);
    Mem_free(n);
}

void freeSubtree(Map *m, MapNode *n)
{
    if (n == m->nil)
        return;
    freeSubtree(m, n->left);
    freeSubtree(m, n->right);
    mapFreeEntry(m, n);
}

int walkSubtree(Map *m, MapNode *n)
{
    if (n == m->nil)
        return 0;
    if (int r = walkSubtree(m, n->left))
        return r;
    if (int r = walkSubtree(m, n->right))
        return r;
    return m->walkCallback(n->key, n->value, m->walkData);
}

void enter(Map *m)
{
    if (m->locked)
        Lock_acquire(&m->lock);
}

void leave(Map *m)
{
    if (m->locked)
        Lock_release(&m->lock);
}

} // namespace

int Map_create(EngineContext *context, MapCompareFn compare, MapFreeFn freeKey, MapFreeFn freeValue,
               int locked, Map **map)
{
    if (map)
        *map = nullptr;
    if (!compare || !freeValue || !map)
        return Res_missingArgument;
    Map *m = static_cast<Map *>(Mem_calloc(1, sizeof(Map)));
    MapNode *header = static_cast<MapNode *>(Mem_calloc(1, sizeof(MapNode)));
    MapNode *nil = static_cast<MapNode *>(Mem_calloc(1, sizeof(MapNode)));
    if (!m || !header || !nil) {
        Mem_free(m);
        Mem_free(header);
        Mem_free(nil);
        return Res_noMemory;
    }
    nil->left = nil->right = nil->parent = nil;
    header->left = nil;
    header->right = nil;
    header->parent = nil;
    m->compare = compare;
    m->freeKey = freeKey;
    m->freeValue = freeValue;
    m->header = header;
    m->nil = nil;
    if (locked) {
        m->locked = 1;
        Lock_init(context, &m->lock);
    }
    *map = m;
    return Res_ok;
}

int Map_destroy(Map *map)
{
    if (!map)
        return Res_missingArgument;
    enter(map);
    freeSubtree(map, rootOf(map));
    map->header->left = map->nil;
    map->count = 0;
    leave(map);
    Mem_free(map->header);
    Mem_free(map->nil);
    if (map->locked)
        Lock_fini(&map->lock);
    Mem_free(map);
    return Res_ok;
}

int Map_insert(Map *map, void *key, void *value)
{
    if (!map || !key)
        return Res_missingArgument;
    MapNode *z = static_cast<MapNode *>(Mem_malloc(sizeof(MapNode)));
    if (!z)
        return Res_noMemory;
    enter(map);
    z->key = key;
    z->value = value;
    z->left = z->right = map->nil;
    z->red = 1;
    MapNode *parent = map->header;
    bool right = false;
    for (MapNode *n = rootOf(map); n != map->nil;) {
        parent = n;
        right = map->compare(n->key, key) <= 0;
        n = right ? n->right : n->left;
    }
    if (parent == map->header)
        setRoot(map, z);
    else if (right)
        parent->right = z, z->parent = parent;
    else
        parent->left = z, z->parent = parent;
    insertFixup(map, z);
    map->count++;
    leave(map);
    return Res_ok;
}

int Map_find(Map *map, const void *key, void **value)
{
    if (value)
        *value = nullptr;
    if (!map || !key || !value)
        return Res_missingArgument;
    enter(map);
    MapNode *n = search(map, key);
    int r = Res_mapNotFound;
    if (n != map->nil) {
        *value = n->value;
        r = Res_ok;
    }
    leave(map);
    return r;
}

int Map_remove(Map *map, const void *key)
{
    if (!map || !key)
        return Res_missingArgument;
    enter(map);
    MapNode *nil = map->nil;
    MapNode *z = search(map, key);
    if (z == nil) {
        leave(map);
        return Res_mapNotFound;
    }
    MapNode *y = z;
    if (z->left != nil && z->right != nil) {
        y = z->right;
        while (y->left != nil)
            y = y->left;
    }
    MapNode *x = y->left != nil ? y->left : y->right;
    // Splice y out; x takes its place (the nil leaf too, for the fix-up).
    replaceChild(map, y, x);
    if (!y->red)
        Map_removeFixup(map, x);
    if (y != z) {
        // The successor node takes z's position, links and colour.
        y->left = z->left;
        y->right = z->right;
        y->red = z->red;
        replaceChild(map, z, y);
        if (y->left != nil)
            y->left->parent = y;
        if (y->right != nil)
            y->right->parent = y;
    }
    nil->parent = nil;
    nil->red = 0;
    map->count--;
    mapFreeEntry(map, z);
    leave(map);
    return Res_ok;
}

int Map_nodeInfo(Map *map, const void *key, int *red, void **leftValue, void **rightValue)
{
    if (red)
        *red = 0;
    if (leftValue)
        *leftValue = nullptr;
    if (rightValue)
        *rightValue = nullptr;
    if (!map || !key || !red || !leftValue || !rightValue)
        return Res_missingArgument;
    enter(map);
    MapNode *n = search(map, key);
    int r = Res_mapNotFound;
    if (n != map->nil) {
        *red = n->red ? 1 : 0;
        *leftValue = n->left != map->nil ? n->left->value : nullptr;
        *rightValue = n->right != map->nil ? n->right->value : nullptr;
        r = Res_ok;
    }
    leave(map);
    return r;
}

void *Map_rootValue(const Map *map)
{
    if (!map)
        return nullptr;
    MapNode *root = rootOf(map);
    return root != map->nil ? root->value : nullptr;
}

int Map_walk(Map *map, MapWalkFn callback, void *userData)
{
    if (!map)
        return Res_missingArgument;
    if (!callback)
        return Res_ok;
    enter(map);
    map->walkCallback = callback;
    map->walkData = userData;
    int r = walkSubtree(map, rootOf(map));
    map->walkCallback = nullptr;
    map->walkData = nullptr;
    leave(map);
    return r;
}
