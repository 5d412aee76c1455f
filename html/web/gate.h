// Shared-exclusive gate: admits up to a fixed number of shared holders at
// once, or one exclusive holder, built from an engine lock and a
// semaphore. Waiters loop: a signal wakes one of them, and a woken waiter
// that still finds the gate busy waits again.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

struct Gate {
    uint8_t maxShared;  // most shared holders at once
    uint8_t shared;     // current shared holders
    uint32_t exclusive; // 1 while held exclusively
    Lock lock;          // guards the counters
    Sem wake;           // count 0, maximum 1: the gate may have become free
};

// Clears the counters and readies the lock and semaphore. 0.
int Gate_init(EngineContext *context, Gate *gate, uint8_t maxShared);
// A new gate from the heap through *out; 1 when memory runs out.
[[nodiscard]] int Gate_create(EngineContext *context, Gate **out, uint8_t maxShared);
// 14084 while the gate is held (nothing finished); else 0.
int Gate_fini(Gate *gate);
// As Gate_fini, then frees the record (null allowed).
int Gate_destroy(Gate *gate);
// Waits while the gate is held exclusively; then 14085 when maxShared
// holders are already in, else takes a shared place and answers 0.
int Gate_enterShared(Gate *gate);
// 14083 without a shared holder; else leaves, the last one out waking a
// waiter.
int Gate_leaveShared(Gate *gate);
// Waits while there are shared holders or an exclusive one, then holds
// the gate exclusively. 0.
int Gate_enterExclusive(Gate *gate);
// 14083 when not held exclusively; else frees it and wakes a waiter.
int Gate_leaveExclusive(Gate *gate);
// 1 when shared or exclusive holders exist.
int Gate_isHeld(Gate *gate);
// The shared count into *count (when not null); 1 when it is not 0.
int Gate_sharedCount(Gate *gate, uint32_t *count);
