// Host stream hooks, and objects with a finaliser.
//
// A host may watch the engine's cached (network) streams: when a Cache
// stream is opened the host is asked first and may attach a cookie; every
// later buffer lend, consumption, seek, notification and close of that
// stream is reported to it. The hooks are optional: with none installed
// every call below does nothing and answers 0, which is how the headless
// host runs. The record hangs off the engine context (streamHooks).
//
// Objects with a finaliser: a record whose first word is its finaliser
// (called with the object before it is freed) and whose second word is its
// clone function; the rest of the record is its owner's.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;

// The host's callbacks; hookCtx is their first argument. A null slot means
// the event is not reported.
struct HostStreamHooks {
    int (*onOpen)(void *hookCtx, const Url *url, uint32_t flag, uint32_t *cookie);
    int (*onNotify)(void *hookCtx, uint32_t cookie, uintptr_t value);
    int (*onBuffer)(void *hookCtx, uint32_t cookie, VfsHandle *handle, const uint8_t *ptr,
                    size_t len);
    int (*onConsumed)(void *hookCtx, uint32_t cookie, size_t n);
    int (*onSeek)(void *hookCtx, uint32_t cookie, uint64_t offset);
    int (*onClose)(void *hookCtx, uint32_t cookie);
    void *hookCtx; // an engine heap block (or null), freed by HostHooks_free
};

// Installs the hooks: makes the record when the context has none and
// stores the seven words. The record owns hookCtx from now on; a different
// block installed earlier is freed. 0 (also for a null context), or 1 when
// out of memory (nothing changes).
[[nodiscard]] int HostHooks_install(EngineContext *context,
                                    decltype(HostStreamHooks::onOpen) onOpen,
                                    decltype(HostStreamHooks::onNotify) onNotify,
                                    decltype(HostStreamHooks::onBuffer) onBuffer,
                                    decltype(HostStreamHooks::onConsumed) onConsumed,
                                    decltype(HostStreamHooks::onSeek) onSeek,
                                    decltype(HostStreamHooks::onClose) onClose, void *hookCtx);
// Frees the record and its hookCtx block and clears the context's pointer
// (engine shut-down). Null context or no record: nothing happens.
void HostHooks_free(EngineContext *context);

// Each calls its slot with hookCtx first and returns its answer; 0 when the
// context is null, no record is installed or the slot is null. onOpen
// clears *cookie first.
int HostHooks_onOpen(EngineContext *context, const Url *url, uint32_t flag, uint32_t *cookie);
int HostHooks_onNotify(EngineContext *context, uint32_t cookie, uintptr_t value);
int HostHooks_onBuffer(EngineContext *context, uint32_t cookie, VfsHandle *handle,
                       const uint8_t *ptr, size_t len);
int HostHooks_onConsumed(EngineContext *context, uint32_t cookie, size_t n);
int HostHooks_onSeek(EngineContext *context, uint32_t cookie, uint64_t offset);
int HostHooks_onClose(EngineContext *context, uint32_t cookie);

// Module start and end steps: each clears the module's state word in the
// context (0: none). 0 / nothing.
int HostHooks_initModule(EngineContext *context);
void HostHooks_finiModule(EngineContext *context);
// Answers 0.
int HostHooks_noop();

// ----------------------------------------------- objects with a finaliser

struct Obj {
    void (*finalize)(Obj *obj);
    Obj *(*clone)(Obj *obj);
    uintptr_t words[5]; // the owner's
};

// A new object with an empty finaliser, Obj_clone as its clone function
// and zero elsewhere; null when out of memory.
Obj *Obj_newDefault();
// A new copy of the record (sizeof(Obj) bytes); null for null or when out
// of memory.
Obj *Obj_clone(Obj *obj);
// When *obj is non-null: calls its finaliser (when it has one), frees it
// and clears *obj.
void Obj_finalizeFree(Obj **obj);
