// The display manager's handler registry: clients register a function
// with its data and get back a key (the entry's own address); a caller
// holding a key record reaches the function through the registry.
#pragma once

#include <cstdint>

#include "core/container/coll.h"

struct HandlerRegistry;

// A registered handler: called with the registry's owner, the data word
// and the caller's argument.
typedef int (*HandlerRegFn)(void *owner, void *data, void *argument);

// The interface handed to clients: the owner and the two operations.
struct HandlerRegIface {
    void *owner;
    void *(*add)(HandlerRegistry *registry, HandlerRegFn function, void *data);
    int (*remove)(HandlerRegistry *registry, void *key);
};

struct HandlerRegistry {
    void *owner; // the display manager
    intptr_t word;
    HandlerRegIface iface;
    Coll entries;
};

// What a caller gives HandlerReg_call: the key in the third word and, when
// non-null, a data word that replaces the one registered.
struct HandlerKeyRecord {
    void *callerWords[2]; // the caller's, not read
    void *key;
    void *data;
};

// Sets up an empty registry for owner. 0; 1 when the entry list cannot be
// made.
int HandlerReg_init(HandlerRegistry *registry, void *owner);
// Frees every entry and the entry list.
void HandlerReg_fini(HandlerRegistry *registry);
// Registers function with data at the front; the key, or null when out of
// memory.
void *HandlerReg_add(HandlerRegistry *registry, HandlerRegFn function, void *data);
// Removes and frees the entry of key. 0; Res_nullInput when the key is not
// registered.
int HandlerReg_remove(HandlerRegistry *registry, void *key);
// Calls the handler of record->key with (owner, data, argument) and gives
// its result; 0 without calling anything when the key is not registered.
int HandlerReg_call(HandlerRegistry *registry, const HandlerKeyRecord *record, void *argument);
