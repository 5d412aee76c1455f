// The playback clock (see clock.h).
#include "core/task/clock.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/task/timer.h"
#include "core/task/timerq.h"

namespace {

uint32_t nowMs(PlayClock *clock)
{
    return uint32_t(AlienTimer_getTimeMs(clock->owner->instance));
}

bool validSlot(int32_t slot)
{
    return slot == 0 || slot == 1;
}

// Queues the slot's timer at its due time (clock lock held, clock running).
int queueSlot(PlayClock *clock, ClockSlot *slot)
{
    EventProc *processor = clock->owner ? clock->owner->eventProc : nullptr;
    // The due time is a 32-bit clock value: widen it next to the engine
    // clock so that a due time past a 32-bit wrap stays in the future.
    int64_t now = AlienTimer_readClock(clock->owner->instance);
    int64_t due = now + int32_t(slot->dueTime - uint32_t(now));
    return TimerQ_addAt(clock->owner, processor, due, Clock_onTimer, slot, &slot->timerHandle);
}

// Arms the slot at offset (clock lock held).
int armSlot(PlayClock *clock, ClockSlot *slot, uint32_t offset)
{
    slot->offset = offset;
    slot->slotState = ClockSlot_armed;
    slot->dueTime = clock->startTime + offset;
    if (clock->state == Clock_running)
        return queueSlot(clock, slot);
    return Res_ok;
}

void cancelHandle(PlayClock *clock, uint32_t handle)
{
    if (handle && clock->owner && clock->owner->eventProc)
        (void)TimerQ_cancel(clock->owner->eventProc, &handle);
}

} // namespace

int Clock_create(EngineContext *context, PlayClock **out)
{
    *out = nullptr;
    PlayClock *clock = static_cast<PlayClock *>(Mem_calloc(1, sizeof(PlayClock)));
    if (!clock)
        return Res_noMemory;
    Lock_init(context, &clock->lock);
    clock->owner = context;
    clock->startTime = nowMs(clock);
    clock->state = Clock_stopped;
    clock->ownerFlag = 1;
    for (ClockSlot &s : clock->slot)
        s.clock = clock;
    *out = clock;
    return Res_ok;
}

void Clock_destroy(PlayClock *clock)
{
    if (!clock)
        return;
    Clock_setState(clock, Clock_ended);
    Lock_fini(&clock->lock);
    Mem_free(clock);
}

void Clock_setCallback(PlayClock *clock, int32_t slot, ClockCallbackFn callback, void *argument)
{
    if (!clock || !validSlot(slot))
        return;
    Lock_acquire(&clock->lock);
    clock->slot[slot].callback = callback;
    clock->slot[slot].callbackArg = argument;
    Lock_release(&clock->lock);
}

void Clock_setListener(PlayClock *clock, int32_t slot, ClockListenerFn listener, void *argument)
{
    if (!clock || !validSlot(slot))
        return;
    Lock_acquire(&clock->lock);
    clock->slot[slot].listener = listener;
    clock->slot[slot].listenerArg = argument;
    Lock_release(&clock->lock);
}

int Clock_start(PlayClock *clock)
{
    if (!clock)
        return Res_ok;
    Lock_acquire(&clock->lock);
    uint32_t now = nowMs(clock);
    int32_t old = clock->state;
    uint32_t shift = 0;
    switch (old) {
    case Clock_stopped: clock->startTime = now; break;
    case Clock_paused: {
        uint32_t newStart = now - clock->pausedElapsed;
        shift = newStart - clock->startTime;
        clock->startTime = newStart;
        break;
    }
    case Clock_running:
    case Clock_changing:
    case Clock_ended: Lock_release(&clock->lock); return Res_ok;
    default: Std_abort();
    }
    clock->state = Clock_running;
    int result = Res_ok;
    for (ClockSlot &s : clock->slot) {
        if (s.slotState == ClockSlot_armed) {
            s.dueTime = clock->startTime + s.offset;
            result = queueSlot(clock, &s);
        }
        if (s.listener) {
            ClockChange change{old, Clock_running, clock->startTime, shift};
            s.listener(clock, s.listenerArg, &change);
        }
    }
    Lock_release(&clock->lock);
    return result;
}

void Clock_stop(PlayClock *clock)
{
    Clock_setState(clock, Clock_stopped);
}

void Clock_pause(PlayClock *clock)
{
    Clock_setState(clock, Clock_paused);
}

void Clock_setState(PlayClock *clock, int32_t state)
{
    if (!clock)
        return;
    if (state != Clock_stopped && state != Clock_paused && state != Clock_ended)
        Std_abort();
    Lock_acquire(&clock->lock);
    int32_t old = clock->state;
    bool applies = state == Clock_ended ||
                   (state == Clock_stopped && (old == Clock_running || old == Clock_paused)) ||
                   (state == Clock_paused && old == Clock_running);
    if (!applies) {
        Lock_release(&clock->lock);
        return;
    }
    clock->state = Clock_changing;
    uint32_t handles[2] = {0, 0};
    for (int i = 0; i < 2; i++) {
        if (clock->slot[i].slotState != ClockSlot_idle) {
            handles[i] = clock->slot[i].timerHandle;
            clock->slot[i].timerHandle = 0;
        }
    }
    Lock_release(&clock->lock);
    if (old == Clock_running)
        for (uint32_t h : handles)
            cancelHandle(clock, h);
    Lock_acquire(&clock->lock);
    if (state == Clock_stopped) {
        clock->pausedElapsed = 0;
        for (ClockSlot &s : clock->slot) {
            s.slotState = ClockSlot_idle;
            s.offset = 0;
        }
    } else if (state == Clock_paused) {
        clock->pausedElapsed = nowMs(clock) - clock->startTime;
    }
    clock->state = state;
    for (ClockSlot &s : clock->slot) {
        if (s.listener) {
            ClockChange change{old, state, clock->pausedElapsed, 0};
            s.listener(clock, s.listenerArg, &change);
        }
    }
    Lock_release(&clock->lock);
}

int Clock_elapsedMs(PlayClock *clock, uint32_t *elapsed)
{
    *elapsed = 0;
    if (!clock)
        return Res_nullInput;
    Lock_acquire(&clock->lock);
    if (clock->state == Clock_running || clock->state == Clock_changing)
        *elapsed = nowMs(clock) - clock->startTime;
    else
        *elapsed = clock->pausedElapsed;
    Lock_release(&clock->lock);
    return Res_ok;
}

int Clock_setTimer(PlayClock *clock, int32_t slot, uint32_t offset)
{
    if (!clock || !validSlot(slot))
        return Res_ok;
    Lock_acquire(&clock->lock);
    ClockSlot *s = &clock->slot[slot];
    int result = Res_ok;
    switch (s->slotState) {
    case ClockSlot_idle: result = armSlot(clock, s, offset); break;
    case ClockSlot_rearm:
        if (offset < s->pendingOffset)
            s->pendingOffset = offset;
        break;
    case ClockSlot_firing:
        s->slotState = ClockSlot_rearm;
        s->pendingOffset = offset;
        break;
    default: // armed: the earlier armed time stands
        break;
    }
    Lock_release(&clock->lock);
    return result;
}

void Clock_requestTimer(PlayClock *clock, int32_t slot, uint32_t offset)
{
    if (!clock || !validSlot(slot))
        return;
    Lock_acquire(&clock->lock);
    ClockSlot *s = &clock->slot[slot];
    if (!(s->slotState == ClockSlot_rearm && s->pendingOffset < offset)) {
        s->slotState = ClockSlot_rearm;
        s->pendingOffset = offset;
    }
    Lock_release(&clock->lock);
}

void Clock_cancelTimer(PlayClock *clock, int32_t slot)
{
    if (!clock || !validSlot(slot))
        return;
    Lock_acquire(&clock->lock);
    ClockSlot *s = &clock->slot[slot];
    s->slotState = ClockSlot_idle;
    uint32_t handle = s->timerHandle;
    s->timerHandle = 0;
    Lock_release(&clock->lock);
    cancelHandle(clock, handle);
}

void Clock_getOwnerFlag(PlayClock *clock, uint32_t *flag)
{
    Lock_acquire(&clock->lock);
    *flag = clock->ownerFlag;
    Lock_release(&clock->lock);
}

void Clock_setOwnerFlag(PlayClock *clock)
{
    Lock_acquire(&clock->lock);
    clock->ownerFlag = 1;
    Lock_release(&clock->lock);
}

void Clock_clearOwnerFlag(PlayClock *clock)
{
    Lock_acquire(&clock->lock);
    clock->ownerFlag = 0;
    Lock_release(&clock->lock);
}

void Clock_onTimer(EngineContext *context, void *argument)
{
    ClockSlot *s = static_cast<ClockSlot *>(argument);
    PlayClock *clock = s->clock;
    Lock_acquire(&clock->lock);
    s->timerHandle = 0; // the one-shot timer is used up
    if (clock->state == Clock_changing || s->slotState != ClockSlot_armed) {
        Lock_release(&clock->lock);
        return;
    }
    s->slotState = ClockSlot_firing;
    ClockCallbackFn callback = s->callback;
    void *callbackArg = s->callbackArg;
    Lock_release(&clock->lock);
    if (callback)
        callback(context, callbackArg);
    Lock_acquire(&clock->lock);
    if (s->slotState == ClockSlot_rearm)
        (void)armSlot(clock, s, s->pendingOffset);
    else if (s->slotState == ClockSlot_firing)
        s->slotState = ClockSlot_idle;
    Lock_release(&clock->lock);
}
