// The configuration store and its change watchers.
//
// The store is a keyed list of domains, each a keyed list of keys whose
// values are 16-bit text. Getters store the default they are given on the
// first read of a missing setting; setters store and then tell the watchers
// registered under "domain.key" in the watch registry, a locked keyed map
// of watch lists.
//
// A replacement is built completely (key, value, table node) before the old
// entry goes, so a setting whose new value cannot be stored keeps its old
// one. Watchers are called with no lock held, so that a watcher may watch,
// unwatch, read or write settings; the walk over a watch list finds its
// place again after each call by the registrations' serial numbers.
#include "core/config/config.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"
#include "core/host/hostservices.h"
#include "core/container/map.h"

namespace {

constexpr char16_t defaultDomain[] = u"default";

// Room for "%u" of any 32-bit value and the terminator.
constexpr size_t numberTextMax = 11;

const char16_t *domainOrDefault(const char16_t *domain)
{
    return domain ? domain : defaultDomain;
}

KeyedList *keysOf(ConfigDomain *d)
{
    return static_cast<KeyedList *>(d->entry.value);
}

// ------------------------------------------------------------ datPath

// The host's working directory, "/" unless it ends in one, the store name
// in Latin-1 and ".dat"; null when anything is missing.
char *makeDatPath(EngineContext *context, const char16_t *name)
{
    if (!context || !context->instance || !context->instance->host)
        return nullptr;
    const char *dir = nullptr;
    if (Host_getcwd(context->instance->host, &dir) != 0 || !dir)
        return nullptr;
    char *base = nullptr;
    if (Charset_fromUstr(context, name, &base, 0) != 0)
        return nullptr;
    size_t dirLen = strlen(dir);
    bool slash = dirLen == 0 || dir[dirLen - 1] != '/';
    size_t baseLen = strlen(base);
    char *path = static_cast<char *>(Mem_malloc(dirLen + (slash ? 1 : 0) + baseLen + 5));
    if (path) {
        char *p = path;
        memcpy(p, dir, dirLen);
        p += dirLen;
        if (slash)
            *p++ = '/';
        memcpy(p, base, baseLen);
        p += baseLen;
        memcpy(p, ".dat", 5);
    }
    Mem_free(base);
    return path;
}

// ------------------------------------------------------------ lookups

ConfigDomain *findDomain(ConfigStore *store, const char16_t *domain)
{
    KeyedEntry *e = nullptr;
    // A missing entry leaves e null.
    (void)KeyedList_get(store->domains, domainOrDefault(domain), KeyedList_keyUstr, &e);
    return reinterpret_cast<ConfigDomain *>(e);
}

// The key record of a setting, lent; null when missing. keyA, when given,
// is the key.
ConfigKey *findKey(ConfigStore *store, const char16_t *domain, const char16_t *key,
                   const char *keyA)
{
    ConfigDomain *d = findDomain(store, domain);
    if (!d)
        return nullptr;
    KeyedEntry *e = nullptr; // a missing entry leaves e null
    if (keyA)
        (void)KeyedList_get(keysOf(d), keyA, KeyedList_keyCstr, &e);
    else
        (void)KeyedList_get(keysOf(d), key, KeyedList_keyUstr, &e);
    return reinterpret_cast<ConfigKey *>(e);
}

ConfigDomain *createDomain(ConfigStore *store, const char16_t *name, int32_t mark)
{
    ConfigDomain *d = static_cast<ConfigDomain *>(Mem_calloc(1, sizeof(ConfigDomain)));
    if (!d)
        return nullptr;
    d->mark = mark;
    KeyedList *keys = nullptr;
    d->entry.key = Ustr_dup(name);
    if (d->entry.key && KeyedList_create(store->owner, &keys, KeyedList_keyUstr) == Res_ok) {
        d->entry.value = keys;
        if (KeyedList_put(store->domains, &d->entry) == Res_ok)
            return d;
        KeyedList_destroy(keys);
    }
    Mem_free(d->entry.key);
    Mem_free(d);
    return nullptr;
}

// ------------------------------------------------------------ getters

uint32_t getInt(ConfigStore *store, const char16_t *domain, const char16_t *key, const char *keyA,
                uint32_t defaultValue)
{
    if (!store || (!key && !keyA))
        return defaultValue;
    uint32_t result = defaultValue;
    Lock_acquire(&store->lock);
    ConfigKey *k = findKey(store, domain, key, keyA);
    const char16_t *text = k ? static_cast<const char16_t *>(k->entry.value) : nullptr;
    if (text) {
        uint32_t v = 0;
        if (Ustr_parseUint(text, nullptr, nullptr, &v))
            result = v;
    } else {
        char16_t buf[numberTextMax];
        Fmt_snprintf16(buf, numberTextMax, "%u", defaultValue);
        Config_put(store, domain, key, keyA, buf, 0);
    }
    Lock_release(&store->lock);
    return result;
}

char16_t *getUstr(ConfigStore *store, const char16_t *domain, const char16_t *key, const char *keyA,
                  const char16_t *defaultValue)
{
    if (!store || (!key && !keyA))
        return Ustr_dup(defaultValue);
    char16_t *result = nullptr;
    Lock_acquire(&store->lock);
    ConfigKey *k = findKey(store, domain, key, keyA);
    if (k) {
        result = Ustr_dup(static_cast<const char16_t *>(k->entry.value));
    } else {
        Config_put(store, domain, key, keyA, defaultValue, 0);
        result = Ustr_dup(defaultValue);
    }
    Lock_release(&store->lock);
    return result;
}

// ------------------------------------------------------------ watch names

// Writes domain (nothing for null), "." and the key (16-bit, or keyA when
// given) into buf of Config_watchNameMax units. false when it does not fit.
bool buildWatchName(char16_t *buf, const char16_t *domain, const char16_t *key, const char *keyA)
{
    size_t domainLen = Ustr_len(domain);
    size_t keyLen = keyA ? strlen(keyA) : Ustr_len(key);
    if (domainLen + keyLen + 2 > Config_watchNameMax)
        return false;
    char16_t *p = buf;
    for (size_t i = 0; i < domainLen; i++)
        *p++ = domain[i];
    *p++ = u'.';
    for (size_t i = 0; i < keyLen; i++)
        *p++ = keyA ? char16_t(static_cast<unsigned char>(keyA[i])) : key[i];
    *p = 0;
    return true;
}

int32_t compareNames(const void *stored, const void *probe)
{
    return Ustr_cmp(static_cast<const char16_t *>(stored), static_cast<const char16_t *>(probe));
}

void freeName(void *name)
{
    Mem_free(name);
}

void WatchList_free(void *item)
{
    WatchList *list = static_cast<WatchList *>(item);
    if (!list)
        return;
    Lock_fini(&list->lock);
    Mem_free(list->pairs);
    Mem_free(list);
}

// The watch list of a name, lent (lists stay registered until the registry
// goes); null when the name is not watched.
WatchList *findList(EngineContext *context, const char16_t *name)
{
    void *value = nullptr;
    if (Map_find(context->configWatches, name, &value) != Res_ok)
        return nullptr;
    return static_cast<WatchList *>(value);
}

// Removes the pair at index i; later pairs move down. Under the list lock.
void removeAt(WatchList *list, uint32_t i)
{
    memmove(&list->pairs[i], &list->pairs[i + 1], (list->count - i - 1) * sizeof(ConfigWatchPair));
    list->count--;
}

void notifyName(EngineContext *context, const char16_t *domain, const char16_t *key,
                const char *keyA)
{
    if (!context || !context->configWatches || (!key && !keyA))
        return;
    char16_t name[Config_watchNameMax];
    if (!buildWatchName(name, domain, key, keyA))
        return;
    WatchList *list = findList(context, name);
    if (!list)
        return;
    Lock_acquire(&list->lock);
    uint64_t limit = list->nextSerial;
    uint64_t last = 0;
    for (;;) {
        uint32_t i = 0;
        while (i < list->count && list->pairs[i].serial <= last)
            i++;
        if (i == list->count || list->pairs[i].serial >= limit)
            break;
        ConfigWatchPair pair = list->pairs[i];
        last = pair.serial;
        Lock_release(&list->lock);
        int32_t drop = pair.callback(context, pair.userData);
        Lock_acquire(&list->lock);
        if (drop) {
            for (uint32_t j = 0; j < list->count; j++) {
                if (list->pairs[j].serial == pair.serial) {
                    removeAt(list, j);
                    break;
                }
            }
        }
    }
    Lock_release(&list->lock);
}

void set(EngineContext *context, ConfigStore *store, const char16_t *domain, const char16_t *key,
         const char *keyA, const char16_t *value, int32_t mark)
{
    if (store && (key || keyA)) {
        Lock_acquire(&store->lock);
        Config_put(store, domain, key, keyA, value, mark);
        Lock_release(&store->lock);
    }
    notifyName(context, domain, key, keyA);
}

void setInt(EngineContext *context, ConfigStore *store, const char16_t *domain, const char16_t *key,
            const char *keyA, uint32_t value, int32_t mark)
{
    char16_t buf[numberTextMax];
    Fmt_snprintf16(buf, numberTextMax, "%u", value);
    set(context, store, domain, key, keyA, buf, mark);
}

} // namespace

// ---------------------------------------------------------------- store

ConfigStore *Config_createStore(EngineContext *context, const char16_t *name)
{
    if (!name)
        return nullptr;
    ConfigStore *store = static_cast<ConfigStore *>(Mem_calloc(1, sizeof(ConfigStore)));
    if (!store)
        return nullptr;
    Lock_init(context, &store->lock);
    store->datPath = makeDatPath(context, name);
    store->owner = context;
    if (KeyedList_create(context, &store->domains, KeyedList_keyUstr) != Res_ok) {
        Mem_free(store->datPath);
        Lock_fini(&store->lock);
        Mem_free(store);
        return nullptr;
    }
    return store;
}

void Config_freeStore(EngineContext *, ConfigStore *store)
{
    if (!store)
        return;
    KeyedEntry *e = nullptr;
    KeyedList_next(store->domains, nullptr, &e);
    while (e) {
        ConfigDomain *d = reinterpret_cast<ConfigDomain *>(e);
        KeyedList_destroy(keysOf(d));
        d->entry.value = nullptr;
        KeyedList_next(store->domains, e, &e);
    }
    KeyedList_destroy(store->domains);
    Mem_free(store->datPath);
    Lock_fini(&store->lock);
    Mem_free(store);
}

int Config_put(ConfigStore *store, const char16_t *domain, const char16_t *key, const char *keyA,
               const char16_t *value, int32_t mark)
{
    if (!store || (!key && !keyA))
        return 0;
    const char16_t *domainName = domainOrDefault(domain);
    ConfigDomain *d = findDomain(store, domainName);
    if (d) {
        if (mark == 1 && d->mark == 0)
            d->mark = 1;
    } else if (!(d = createDomain(store, domainName, mark))) {
        return 0;
    }
    ConfigKey *k = static_cast<ConfigKey *>(Mem_calloc(1, sizeof(ConfigKey)));
    if (!k)
        return 0;
    k->mark = mark;
    k->entry.key = keyA ? Ustr_fromCstr(keyA) : Ustr_dup(key);
    bool valueMade = !value || (k->entry.value = Ustr_dup(value)) != nullptr;
    if (k->entry.key && valueMade && KeyedList_put(keysOf(d), &k->entry) == Res_ok) {
        store->changed = 1;
        return 1;
    }
    Mem_free(k->entry.value);
    Mem_free(k->entry.key);
    Mem_free(k);
    return 0;
}

// ---------------------------------------------------------------- getters

uint32_t Config_getInt(EngineContext *, ConfigStore *store, const char16_t *domain,
                       const char16_t *key, uint32_t defaultValue)
{
    return getInt(store, domain, key, nullptr, defaultValue);
}

uint32_t Config_getIntA(EngineContext *, ConfigStore *store, const char16_t *domain,
                        const char *key, uint32_t defaultValue)
{
    return key ? getInt(store, domain, nullptr, key, defaultValue) : defaultValue;
}

char16_t *Config_getUstr(EngineContext *, ConfigStore *store, const char16_t *domain,
                         const char16_t *key, const char16_t *defaultValue)
{
    return getUstr(store, domain, key, nullptr, defaultValue);
}

char16_t *Config_getUstrA(EngineContext *, ConfigStore *store, const char16_t *domain,
                          const char *key, const char16_t *defaultValue)
{
    return key ? getUstr(store, domain, nullptr, key, defaultValue) : Ustr_dup(defaultValue);
}

// ---------------------------------------------------------------- setters

void Config_setInt(EngineContext *context, ConfigStore *store, const char16_t *domain,
                   const char16_t *key, uint32_t value, int32_t mark)
{
    if (key)
        setInt(context, store, domain, key, nullptr, value, mark);
}

void Config_setIntA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                    const char *key, uint32_t value, int32_t mark)
{
    if (key)
        setInt(context, store, domain, nullptr, key, value, mark);
}

void Config_setUstr(EngineContext *context, ConfigStore *store, const char16_t *domain,
                    const char16_t *key, const char16_t *value, int32_t mark)
{
    if (key)
        set(context, store, domain, key, nullptr, value, mark);
}

void Config_setUstrA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                     const char *key, const char16_t *value, int32_t mark)
{
    if (key)
        set(context, store, domain, nullptr, key, value, mark);
}

// ---------------------------------------------------------------- watches

int Config_createWatchRegistry(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    context->configWatches = nullptr;
    Map *map = nullptr;
    int r = Map_create(context, compareNames, freeName, WatchList_free, 1, &map);
    if (r != Res_ok)
        return r;
    context->configWatches = map;
    return Res_ok;
}

void Config_freeWatchRegistry(EngineContext *context)
{
    if (!context || !context->configWatches)
        return;
    Map_destroy(context->configWatches);
    context->configWatches = nullptr;
}

int Config_watch(EngineContext *context, const char16_t *domain, const char16_t *key,
                 ConfigWatchFn callback, void *userData, int callNow)
{
    if (!context || !context->configWatches || !key)
        return Res_ok;
    char16_t name[Config_watchNameMax];
    if (!buildWatchName(name, domain, key, nullptr))
        return Res_nullInput;
    if (!callback)
        return Res_missingArgument;
    void *found = nullptr;
    int r = Map_find(context->configWatches, name, &found);
    WatchList *list = static_cast<WatchList *>(found);
    bool made = false;
    if (r == Res_mapNotFound) {
        char16_t *heapName = Ustr_dup(name);
        list = static_cast<WatchList *>(Mem_calloc(1, sizeof(WatchList)));
        if (!heapName || !list) {
            Mem_free(heapName);
            Mem_free(list);
            return Res_noMemory;
        }
        Lock_init(context, &list->lock);
        list->nextSerial = 1;
        r = Map_insert(context->configWatches, heapName, list);
        if (r != Res_ok) {
            Mem_free(heapName);
            WatchList_free(list);
            return r;
        }
        made = true;
    } else if (r != Res_ok) {
        return r;
    }
    Lock_acquire(&list->lock);
    ConfigWatchPair *grown = static_cast<ConfigWatchPair *>(
        Mem_realloc(list->pairs, (size_t(list->count) + 1) * sizeof(ConfigWatchPair)));
    if (!grown) {
        Lock_release(&list->lock);
        // A list made for this registration goes again.
        if (made)
            Map_remove(context->configWatches, name);
        return Res_noMemory;
    }
    list->pairs = grown;
    list->pairs[list->count++] = ConfigWatchPair{callback, userData, list->nextSerial++};
    Lock_release(&list->lock);
    if (callNow)
        callback(context, userData);
    return Res_ok;
}

int Config_unwatch(EngineContext *context, const char16_t *domain, const char16_t *key,
                   ConfigWatchFn callback, void *userData)
{
    if (!context || !context->configWatches || !key)
        return Res_ok;
    char16_t name[Config_watchNameMax];
    if (!buildWatchName(name, domain, key, nullptr))
        return Res_nullInput;
    WatchList *list = findList(context, name);
    if (!list)
        return Res_mapNotFound;
    Lock_acquire(&list->lock);
    for (uint32_t i = 0; i < list->count; i++) {
        if (list->pairs[i].callback == callback && list->pairs[i].userData == userData) {
            removeAt(list, i);
            break;
        }
    }
    Lock_release(&list->lock);
    return Res_ok;
}

void Config_notify(EngineContext *context, const char16_t *domain, const char16_t *key)
{
    notifyName(context, domain, key, nullptr);
}
