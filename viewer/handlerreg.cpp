// The display manager's handler registry.
#include "viewer/handlerreg.h"

#include <cstddef>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

struct HandlerEntry {
    HandlerRegFn function;
    void *data;
    void *key; // the entry itself
    CollLink link;
};

int matchKey(const void *key, const void *item)
{
    return static_cast<const HandlerEntry *>(item)->key == key;
}

} // namespace

int HandlerReg_init(HandlerRegistry *registry, void *owner)
{
    if (Coll_create(&registry->entries, nullptr, offsetof(HandlerEntry, link)) != 0)
        return 1;
    Coll_setMatchFn(&registry->entries, matchKey);
    registry->owner = owner;
    registry->word = 0;
    registry->iface = HandlerRegIface{owner, HandlerReg_add, HandlerReg_remove};
    return 0;
}

void HandlerReg_fini(HandlerRegistry *registry)
{
    while (void *item = Coll_first(&registry->entries)) {
        Coll_remove(&registry->entries, item);
        Mem_free(item);
    }
    (void)Coll_destroy(&registry->entries);
}

void *HandlerReg_add(HandlerRegistry *registry, HandlerRegFn function, void *data)
{
    HandlerEntry *e = static_cast<HandlerEntry *>(Mem_calloc(1, sizeof(HandlerEntry)));
    if (!e)
        return nullptr;
    e->function = function;
    e->data = data;
    e->key = e;
    if (Coll_pushFront(&registry->entries, e) != 0) {
        Mem_free(e);
        return nullptr;
    }
    return e;
}

int HandlerReg_remove(HandlerRegistry *registry, void *key)
{
    // Look the key up first: a stale key must not be taken for an entry.
    void *e = key ? Coll_find(&registry->entries, key) : nullptr;
    if (!e)
        return Res_nullInput;
    int r = Coll_remove(&registry->entries, e);
    if (r == 0)
        Mem_free(e);
    return r;
}

int HandlerReg_call(HandlerRegistry *registry, const HandlerKeyRecord *record, void *argument)
{
    if (!record || !record->key)
        return 0;
    HandlerEntry *e = static_cast<HandlerEntry *>(Coll_find(&registry->entries, record->key));
    if (!e)
        return 0;
    void *data = record->data ? record->data : e->data;
    return e->function(registry->owner, data, argument);
}
