// The playback clock: a pausable millisecond clock with two timer slots that
// fire at fixed offsets from the clock's start.
//
// The clock keeps no thread: its slot timers are one-shot entries of the
// engine's timer queue, queued only while the clock runs, and its time is
// the engine clock. A pause freezes the elapsed time; the next start shifts
// the start time forward so that the elapsed time and every armed slot
// continue from where they stopped. Clock differences are taken in unsigned
// 32-bit arithmetic.
//
// One lock guards every field. Slot callbacks run without it, so a callback
// may re-arm its own slot (Clock_setTimer or Clock_requestTimer: the re-arm
// happens when the callback returns, at the smaller of the offsets asked).
// Listeners run with the lock held and must not call the clock's locked
// operations.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct PlayClock;

typedef void (*ClockCallbackFn)(EngineContext *context, void *argument);

// What a listener is told of a state change.
struct ClockChange {
    int32_t oldState;
    int32_t newState;
    uint32_t time;  // pausedElapsed after a stop, pause or end; the new startTime after a start
    uint32_t shift; // a start: how far startTime moved (0 from stopped)
};
typedef void (*ClockListenerFn)(PlayClock *clock, void *argument, const ClockChange *change);

enum : int32_t {
    Clock_stopped = 0,
    Clock_running = 1,
    Clock_paused = 2,
    Clock_changing = 3,
    Clock_ended = 4,
};

enum : int32_t {
    ClockSlot_idle = 0,
    ClockSlot_armed = 1,
    ClockSlot_rearm = 2,
    ClockSlot_firing = 3,
};

struct ClockSlot {
    PlayClock *clock;
    int32_t slotState;
    ClockCallbackFn callback;
    uint32_t timerHandle;
    void *callbackArg;
    uint32_t dueTime;
    uint32_t offset;
    uint32_t pendingOffset;
    ClockListenerFn listener;
    void *listenerArg;
};

struct PlayClock {
    EngineContext *owner;
    Lock lock;
    uint32_t startTime;
    uint32_t pausedElapsed;
    int32_t state;
    uint32_t ownerFlag;
    ClockSlot slot[2];
};

// A new stopped clock: 0, or 1 when memory runs out (nothing allocated).
[[nodiscard]] int Clock_create(EngineContext *context, PlayClock **clock);
// Ends the clock (its timers cancelled) and frees it (null ignored).
void Clock_destroy(PlayClock *clock);
void Clock_setCallback(PlayClock *clock, int32_t slot, ClockCallbackFn callback, void *argument);
void Clock_setListener(PlayClock *clock, int32_t slot, ClockListenerFn listener, void *argument);
// Starts a stopped clock or resumes a paused one, queueing the armed slots.
// 0 when already running, changing or ended; else the timer queue's result
// for the last slot queued (0 when none).
int Clock_start(PlayClock *clock);
void Clock_stop(PlayClock *clock);
void Clock_pause(PlayClock *clock);
// To 0 (from running or paused: slots idle, offsets 0), 2 (from running)
// or 4 (always). Any other state aborts the engine.
void Clock_setState(PlayClock *clock, int32_t state);
// The running time: now - startTime while running, else the frozen time.
int Clock_elapsedMs(PlayClock *clock, uint32_t *elapsed);
// Arms an idle slot at offset ms from the start; an armed slot keeps its
// time; a firing slot is re-armed after its callback at the smaller offset
// asked. The timer queue's result when it queued, else 0.
int Clock_setTimer(PlayClock *clock, int32_t slot, uint32_t offset);
// From inside the slot's callback: re-arm at offset after it (the smaller
// of two requests wins).
void Clock_requestTimer(PlayClock *clock, int32_t slot, uint32_t offset);
void Clock_cancelTimer(PlayClock *clock, int32_t slot);
void Clock_getOwnerFlag(PlayClock *clock, uint32_t *flag);
void Clock_setOwnerFlag(PlayClock *clock);
void Clock_clearOwnerFlag(PlayClock *clock);
// The timer queue's callback of a slot.
void Clock_onTimer(EngineContext *context, void *slot);
