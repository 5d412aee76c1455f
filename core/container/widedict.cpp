// Table keyed by 16-bit strings: hashing, bucket chains and value chains.
//
// A joined key "prefix:name" is hashed and compared piece by piece, so
// lookups and removals never build it; only adding copies it.
#include "core/container/widedict.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"

namespace {

const char16_t kColon[] = u":";

// A key made of up to three pieces.
struct KeyParts {
    const char16_t *text[3];
    size_t len[3];
    int count;
};

KeyParts partsOf(const char16_t *prefix, const char16_t *name)
{
    KeyParts k{};
    k.text[0] = prefix;
    k.len[0] = Ustr_len(prefix);
    k.count = 1;
    if (name) {
        k.text[1] = kColon;
        k.len[1] = 1;
        k.text[2] = name;
        k.len[2] = Ustr_len(name);
        k.count = 3;
    }
    return k;
}

size_t partsLength(const KeyParts &k)
{
    size_t n = 0;
    for (int i = 0; i < k.count; i++)
        n += k.len[i];
    return n;
}

uint32_t hashParts(const KeyParts &k)
{
    uint32_t h = 0, m = 63689;
    bool first = true;
    for (int i = 0; i < k.count; i++) {
        for (size_t j = 0; j < k.len[i]; j++) {
            uint32_t c = k.text[i][j];
            if (first) {
                h = c;
                first = false;
            } else {
                h = c + m * h;
                m *= 378551u;
            }
        }
    }
    return h;
}

bool keyEquals(const char16_t *key, const KeyParts &k)
{
    for (int i = 0; i < k.count; i++) {
        for (size_t j = 0; j < k.len[i]; j++) {
            if (*key++ != k.text[i][j])
                return false;
        }
    }
    return *key == 0;
}

size_t bucketOf(const WideDict *d, const KeyParts &k)
{
    return hashParts(k) % d->bucketCount;
}

// The link that points at the entry of k in its bucket (or at null).
WideDictEntry **findLink(const WideDict *d, const KeyParts &k, size_t bucket)
{
    WideDictEntry **link = &d->buckets[bucket];
    while (*link && !keyEquals((*link)->key, k))
        link = &(*link)->nextKey;
    return link;
}

void freeChain(WideDictEntry *e)
{
    while (e) {
        WideDictEntry *next = e->nextValue;
        Mem_free(e);
        e = next;
    }
}

int addParts(WideDict *d, const KeyParts &k, void *value, int allowSecond)
{
    size_t bucket = bucketOf(d, k);
    WideDictEntry **link = findLink(d, k, bucket);
    if (*link) {
        if (!allowSecond)
            return Res_slotInUse;
        WideDictEntry *v = static_cast<WideDictEntry *>(Mem_calloc(1, sizeof(WideDictEntry)));
        if (!v)
            return Res_noMemory;
        v->value = value;
        WideDictEntry *tail = *link;
        while (tail->nextValue)
            tail = tail->nextValue;
        tail->nextValue = v;
        return 0;
    }
    size_t len = partsLength(k);
    if (len > (SIZE_MAX - sizeof(WideDictEntry)) / sizeof(char16_t) - 1)
        return Res_noMemory;
    WideDictEntry *e = static_cast<WideDictEntry *>(
        Mem_malloc(sizeof(WideDictEntry) + (len + 1) * sizeof(char16_t)));
    if (!e)
        return Res_noMemory;
    e->key = reinterpret_cast<char16_t *>(e + 1);
    char16_t *p = e->key;
    for (int i = 0; i < k.count; i++) {
        memcpy(p, k.text[i], k.len[i] * sizeof(char16_t));
        p += k.len[i];
    }
    *p = 0;
    e->value = value;
    e->nextValue = nullptr;
    e->nextKey = d->buckets[bucket];
    d->buckets[bucket] = e;
    return 0;
}

// Unlinks and frees the entry of k with its whole value chain.
bool removeKey(WideDict *d, const KeyParts &k)
{
    WideDictEntry **link = findLink(d, k, bucketOf(d, k));
    WideDictEntry *e = *link;
    if (!e)
        return false;
    *link = e->nextKey;
    freeChain(e);
    return true;
}

// Takes the last value equal to value off the chain of k; the entry goes
// when it was its only value, and a value taken from the head is replaced
// by the next one.
void removeValue(WideDict *d, const KeyParts &k, void *value)
{
    WideDictEntry **link = findLink(d, k, bucketOf(d, k));
    WideDictEntry *e = *link;
    if (!e)
        return;
    WideDictEntry *prev = nullptr, *hitPrev = nullptr, *hit = nullptr;
    for (WideDictEntry *v = e; v; prev = v, v = v->nextValue) {
        if (v->value == value) {
            hit = v;
            hitPrev = prev;
        }
    }
    if (!hit)
        return;
    if (hit != e) {
        hitPrev->nextValue = hit->nextValue;
        Mem_free(hit);
    } else if (!e->nextValue) {
        *link = e->nextKey;
        Mem_free(e);
    } else {
        WideDictEntry *second = e->nextValue;
        e->value = second->value;
        e->nextValue = second->nextValue;
        Mem_free(second);
    }
}

} // namespace

WideDict *WideDict_create(size_t bucketCount)
{
    if (bucketCount == 0 || bucketCount > SIZE_MAX / sizeof(WideDictEntry *))
        return nullptr;
    WideDict *d = static_cast<WideDict *>(Mem_malloc(sizeof(WideDict)));
    if (!d)
        return nullptr;
    d->bucketCount = bucketCount;
    d->buckets = static_cast<WideDictEntry **>(Mem_calloc(bucketCount, sizeof(WideDictEntry *)));
    if (!d->buckets) {
        Mem_free(d);
        return nullptr;
    }
    return d;
}

int WideDict_add(WideDict *dict, const char16_t *key, void *value, int allowSecond)
{
    if (!dict || !key)
        return Res_nullInput;
    return addParts(dict, partsOf(key, nullptr), value, allowSecond);
}

int WideDict_addPrefixed(WideDict *dict, const char16_t *prefix, const char16_t *name, void *value)
{
    if (!dict || !prefix || !name)
        return Res_nullInput;
    KeyParts joined = partsOf(prefix, name);
    WideDictEntry *present = *findLink(dict, joined, bucketOf(dict, joined));
    if (present)
        return Res_slotInUse;
    KeyParts alone = partsOf(prefix, nullptr);
    int err = addParts(dict, alone, value, 1);
    if (err)
        return err;
    err = addParts(dict, joined, value, 0);
    if (err)
        removeValue(dict, alone, value);
    return err;
}

WideDictEntry *WideDict_lookup(const WideDict *dict, const char16_t *prefix, const char16_t *name,
                               size_t *bucket)
{
    if (bucket)
        *bucket = 0;
    if (!dict || !prefix)
        return nullptr;
    KeyParts k = partsOf(prefix, name);
    size_t b = bucketOf(dict, k);
    if (bucket)
        *bucket = b;
    return *findLink(dict, k, b);
}

int WideDict_listKeys(const WideDict *dict, const char16_t *prefix, void ***values, size_t *count,
                      int withSecond)
{
    *values = nullptr;
    *count = 0;
    WideDictEntry *e = WideDict_lookup(dict, prefix, nullptr, nullptr);
    if (!e)
        return 0;
    size_t n = 0;
    for (WideDictEntry *v = e; v && (withSecond || v == e); v = v->nextValue)
        n++;
    void **out = static_cast<void **>(Mem_malloc(n * sizeof(void *)));
    if (!out)
        return Res_noMemory;
    size_t i = 0;
    for (WideDictEntry *v = e; i < n; v = v->nextValue)
        out[i++] = v->value;
    *values = out;
    *count = n;
    return 0;
}

int WideDict_remove(WideDict *dict, const char16_t *prefix, const char16_t *name)
{
    if (!dict || !prefix)
        return 0;
    KeyParts k = partsOf(prefix, name);
    WideDictEntry *e = *findLink(dict, k, bucketOf(dict, k));
    if (!e)
        return 0;
    void *value = e->value;
    removeKey(dict, k);
    if (name)
        removeValue(dict, partsOf(prefix, nullptr), value);
    return 1;
}

void WideDict_free(WideDict *dict)
{
    if (!dict)
        return;
    for (size_t i = 0; i < dict->bucketCount; i++) {
        WideDictEntry *e = dict->buckets[i];
        while (e) {
            WideDictEntry *next = e->nextKey;
            freeChain(e);
            e = next;
        }
    }
    Mem_free(dict->buckets);
    Mem_free(dict);
}
