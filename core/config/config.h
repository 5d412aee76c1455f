// The configuration store: every tunable of the engine as a named setting.
//
// One store per engine instance (EngineContext::config) holds the feature
// switches, colours, sizes, limits, paths and locale texts of every module.
// A setting is addressed by a domain and a key, both 16-bit strings, and its
// value is always kept as 16-bit text; integers are stored as their unsigned
// decimal text (a signed -1 reads back as 4294967295). A null domain means
// the domain "default". Readers give a default with every read, and the
// first read of a missing setting stores that default, so that the store
// ends up listing every setting the engine consulted. Writers go through
// setters that also tell the change watchers registered on the domain and
// key. Settings are never deleted.
//
// Watchers live in a registry beside the store (EngineContext::
// configWatches), keyed by the watch name: the domain as given (nothing for
// null), ".", and the key. So a watch with a null domain hears setters that
// pass a null domain, not setters that name "default". Watch callbacks run
// without any lock of the store or of the watch list held: a callback may
// read and write settings and may add or remove watches, its own included.
//
// The store lock is held across every lookup and put, and each table takes
// its own lock inside it (store, then table). Both are engine locks: with a
// scheduler, the store is used from engine tasks only.
#pragma once

#include <cstdint>

#include "core/config/keyedlist.h"
#include "core/task/lock.h"

struct EngineContext;

struct ConfigStore {
    char *datPath;      // working directory, "/", store name (Latin-1), ".dat"; may be null
    Lock lock;          // guards the domain table and every key table
    KeyedList *domains; // key type 1; entries are ConfigDomain records
    uint32_t changed;   // set by every successful put, never cleared
    EngineContext *owner;
};

// An entry of the domain table: entry.key is the domain name (16-bit,
// owned), entry.value the domain's key table (a KeyedList of key type 1
// whose entries are ConfigKey records).
struct ConfigDomain {
    KeyedEntry entry;
    int32_t mark; // the mark it was made with; 1 once a put with mark 1 reached it
};

// An entry of a key table: entry.key is the key (16-bit, owned), entry.value
// the value (16-bit, owned, may be null).
struct ConfigKey {
    KeyedEntry entry;
    int32_t mark;
};

// A change watcher: called with the engine context and the user data given
// when it was registered. From Config_notify, a non-zero result drops this
// registration after the call.
typedef int32_t (*ConfigWatchFn)(EngineContext *context, void *userData);

// One registration. Serials grow with every registration on a list, so the
// pairs are in serial order.
struct ConfigWatchPair {
    ConfigWatchFn callback;
    void *userData;
    uint64_t serial;
};

// The registrations under one watch name.
struct WatchList {
    Lock lock;
    ConfigWatchPair *pairs; // heap array of count pairs, grown one pair at a time
    uint32_t count;
    uint64_t nextSerial; // the serial of the next registration (from 1)
};

// Longest watch name in characters, the dot and the terminator counted.
enum : uint32_t { Config_watchNameMax = 100 };

// ------------------------------------------------------------- the store

// A new empty store named name (16-bit; its datPath is derived from the
// host's working directory; a failure there leaves datPath null). The caller
// owns the store and frees it with Config_freeStore. Null when memory runs
// out or name is null.
ConfigStore *Config_createStore(EngineContext *context, const char16_t *name);

// Frees the store, its domains, keys and values, and its datPath. Null is
// ignored.
void Config_freeStore(EngineContext *context, ConfigStore *store);

// Stores value (copied; null stores a key without value) under the domain
// (null: "default"; made when missing, with this mark) and the key: keyA (an
// 8-bit key, widened byte by byte) when it is non-null, else key. A mark of
// 1 also marks the domain. 1 stored; 0 not stored (no key, no memory), and
// then the setting keeps the value it had. Takes no lock: the caller holds
// the store lock.
int Config_put(ConfigStore *store, const char16_t *domain, const char16_t *key, const char *keyA,
               const char16_t *value, int32_t mark);

// ------------------------------------------------------------- getters
// An 8-bit key (the *A forms) reaches the same setting as the 16-bit key
// with the same characters (bytes read as Latin-1). Keys and domains are
// case-sensitive.

// The setting's value read as an unsigned decimal number (digits only, at
// least one, wrapping modulo 2^32); the default when the stored text is not
// such a number (the text stays). A missing setting, or one without value,
// gets the default stored as decimal text (unless memory runs out) and the
// default comes back. A null store or key answers the default and stores
// nothing.
uint32_t Config_getInt(EngineContext *context, ConfigStore *store, const char16_t *domain,
                       const char16_t *key, uint32_t defaultValue);
uint32_t Config_getIntA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                        const char *key, uint32_t defaultValue);

// A new copy of the setting's value (null when it has none), owned by the
// caller. A missing setting gets the default stored (a null default stores
// a key without value) and a new copy of the default comes back (null for a
// null default). A null store or key answers a copy of the default (or
// null) and stores nothing. Null also when memory for the copy runs out.
char16_t *Config_getUstr(EngineContext *context, ConfigStore *store, const char16_t *domain,
                         const char16_t *key, const char16_t *defaultValue);
char16_t *Config_getUstrA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                          const char *key, const char16_t *defaultValue);

// ------------------------------------------------------------- setters
// Each stores the value (integers as unsigned decimal text) under the
// domain (null: "default") and key with the mark, then tells the watchers
// of the domain exactly as given (null stays null) and the key. A value that
// cannot be stored (no memory, null store) leaves the old value in place;
// the watchers are told all the same. Nothing is reported.
void Config_setInt(EngineContext *context, ConfigStore *store, const char16_t *domain,
                   const char16_t *key, uint32_t value, int32_t mark);
void Config_setIntA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                    const char *key, uint32_t value, int32_t mark);
void Config_setUstr(EngineContext *context, ConfigStore *store, const char16_t *domain,
                    const char16_t *key, const char16_t *value, int32_t mark);
void Config_setUstrA(EngineContext *context, ConfigStore *store, const char16_t *domain,
                     const char *key, const char16_t *value, int32_t mark);

// -------------------------------------------------------------- watches

// Makes the watch registry at context->configWatches. 0; 1 or the map's
// error, with the registry left null (watching and notifying then do
// nothing).
[[nodiscard]] int Config_createWatchRegistry(EngineContext *context);

// Frees the registry and every watch list; clears context->configWatches.
void Config_freeWatchRegistry(EngineContext *context);

// Registers callback(context, userData) for the watch name of domain and
// key. The same pair may be registered more than once; each registration is
// called. With callNow non-zero the callback is also called once at once
// (after the list's lock is released), its result ignored and the
// registration kept. 0 (also when the registry is missing or key is null);
// Res_nullInput when the name would exceed Config_watchNameMax
// characters (domain length + key length + 2); Res_missingArgument
// for a null callback; 1 or the map's error when the registration cannot be
// made.
[[nodiscard]] int Config_watch(EngineContext *context, const char16_t *domain, const char16_t *key,
                               ConfigWatchFn callback, void *userData, int callNow);

// Removes the first registration of this pair under the watch name (nothing
// when there is none; a list left empty stays registered). 0 (also when the
// registry is missing or key is null); Res_nullInput for an over-long name; 19
// (Res_mapNotFound) when the name was never watched.
[[nodiscard]] int Config_unwatch(EngineContext *context, const char16_t *domain,
                                 const char16_t *key, ConfigWatchFn callback, void *userData);

// Calls, in registration order, every watcher registered under the name
// when the notice starts, each at most once; a watcher removed by an earlier
// callback of the same notice is not called, one added during it waits for
// the next notice. A watcher that returns non-zero is removed. Nothing
// happens when the registry is missing, key is null or nothing watches the
// name.
void Config_notify(EngineContext *context, const char16_t *domain, const char16_t *key);
