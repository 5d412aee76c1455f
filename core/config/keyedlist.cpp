// Keyed lists: newest-first linked tables with one entry per key, used by
// the configuration store for its domains and for the keys of each domain.
#include "core/config/keyedlist.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"

namespace {

// Widths of the fixed-field key types 2 to 6.
size_t fixedWidth(uint32_t type)
{
    switch (type) {
    case KeyedList_key1: return 1;
    case KeyedList_key2: return 2;
    case KeyedList_key4: return 4;
    case KeyedList_key8: return 8;
    case KeyedList_key16: return 16;
    default: return 0;
    }
}

// A 16-bit string against an 8-bit one whose bytes are read zero-extended.
bool ustrEqualsCstr(const char16_t *wide, const char *narrow)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(narrow);
    size_t i = 0;
    for (; wide[i] && b[i]; i++)
        if (wide[i] != b[i])
            return false;
    return wide[i] == 0 && b[i] == 0;
}

void freeEntry(KeyedEntry *entry)
{
    Mem_free(entry->value);
    Mem_free(entry->key);
    Mem_free(entry);
}

} // namespace

int KeyedList_keysEqual(const void *stored, uint32_t storedType, const void *probe,
                        uint32_t probeType)
{
    if (!stored || !probe)
        return 0;
    const char16_t *ws = static_cast<const char16_t *>(stored);
    const char16_t *wp = static_cast<const char16_t *>(probe);
    const char *cs = static_cast<const char *>(stored);
    const char *cp = static_cast<const char *>(probe);
    if (storedType == probeType) {
        if (storedType == KeyedList_keyCstr)
            return Cstr_cmp(cs, cp) == 0;
        if (storedType == KeyedList_keyUstr)
            return Ustr_cmp(ws, wp) == 0;
        size_t width = fixedWidth(storedType);
        return width && memcmp(stored, probe, width) == 0;
    }
    if (storedType == KeyedList_keyUstr && probeType == KeyedList_keyCstr)
        return ustrEqualsCstr(ws, cp);
    if (storedType == KeyedList_keyCstr && probeType == KeyedList_keyUstr)
        return ustrEqualsCstr(wp, cs);
    return 0;
}

int KeyedList_create(EngineContext *context, KeyedList **list, uint32_t keyType)
{
    if (!list)
        return Res_missingArgument;
    *list = nullptr;
    KeyedList *l = static_cast<KeyedList *>(Mem_calloc(1, sizeof(KeyedList)));
    if (!l)
        return Res_noMemory;
    l->keyType = keyType;
    l->magic = KeyedList_alive;
    Lock_init(context, &l->lock);
    *list = l;
    return Res_ok;
}

int KeyedList_destroy(KeyedList *list)
{
    if (!list || list->magic != KeyedList_alive)
        return Res_missingArgument;
    list->magic = KeyedList_dying;
    Lock_acquire(&list->lock);
    KeyedNode *node = list->head;
    list->head = nullptr;
    while (node) {
        KeyedNode *next = node->next;
        freeEntry(node->entry);
        Mem_free(node);
        node = next;
    }
    Lock_release(&list->lock);
    Lock_fini(&list->lock);
    Mem_free(list);
    return Res_ok;
}

// The node is allocated before the equal entry goes, so that a put that
// runs out of memory leaves the old entry in place.
int KeyedList_put(KeyedList *list, KeyedEntry *entry)
{
    if (!list || list->magic != KeyedList_alive || !entry || !entry->key)
        return Res_missingArgument;
    KeyedNode *node = static_cast<KeyedNode *>(Mem_malloc(sizeof(KeyedNode)));
    if (!node)
        return Res_noMemory;
    Lock_acquire(&list->lock);
    for (KeyedNode **link = &list->head; *link; link = &(*link)->next) {
        KeyedNode *old = *link;
        if (KeyedList_keysEqual(old->entry->key, list->keyType, entry->key, list->keyType)) {
            *link = old->next;
            freeEntry(old->entry);
            Mem_free(old);
            break;
        }
    }
    node->entry = entry;
    node->next = list->head;
    list->head = node;
    Lock_release(&list->lock);
    return Res_ok;
}

int KeyedList_get(KeyedList *list, const void *probe, uint32_t probeType, KeyedEntry **entry)
{
    if (entry)
        *entry = nullptr;
    if (!list || !probe || !entry)
        return Res_missingArgument;
    Lock_acquire(&list->lock);
    for (KeyedNode *n = list->head; n; n = n->next) {
        if (KeyedList_keysEqual(n->entry->key, list->keyType, probe, probeType)) {
            *entry = n->entry;
            break;
        }
    }
    Lock_release(&list->lock);
    return *entry ? Res_ok : Res_notFound;
}

int KeyedList_remove(KeyedList *list, const void *key, int *removed)
{
    if (removed)
        *removed = 0;
    if (!list || !key || !removed)
        return Res_missingArgument;
    Lock_acquire(&list->lock);
    for (KeyedNode **link = &list->head; *link; link = &(*link)->next) {
        KeyedNode *old = *link;
        if (KeyedList_keysEqual(old->entry->key, list->keyType, key, list->keyType)) {
            *link = old->next;
            freeEntry(old->entry);
            Mem_free(old);
            *removed = 1;
            break;
        }
    }
    Lock_release(&list->lock);
    return Res_ok;
}

int KeyedList_next(KeyedList *list, const KeyedEntry *entry, KeyedEntry **next)
{
    if (next)
        *next = nullptr;
    if (!list || !next)
        return Res_missingArgument;
    Lock_acquire(&list->lock);
    if (!entry) {
        if (list->head)
            *next = list->head->entry;
    } else {
        for (KeyedNode *n = list->head; n; n = n->next) {
            if (n->entry == entry) {
                if (n->next)
                    *next = n->next->entry;
                break;
            }
        }
    }
    Lock_release(&list->lock);
    return Res_ok;
}
