// The synchronous host event interface and the host timer protocol.
//
// The host drives the engine through one entry point, VexlanApp_eventSend,
// always from its GUI thread, and through a single-shot timer that it arms
// when the engine asks. Each call may run engine tasks for one time slice,
// queue an event for the application thread, or start or stop the engine.
// Only one host call may be inside the engine at a time (the send guard).
// The outermost call on the GUI thread owns the recovery point: a fatal
// engine error long-jumps back to it, the engine goes down and the host
// gets its close-down notice.
//
// Between calls the engine keeps a run state and asks for the timer:
// 0x10003 work and timers pending, 0x10004 work pending (both re-armed with
// the timer period), 0x10005 only timers pending (armed for the next due
// time), 0x10006 idle (not armed).
#pragma once

#include <cstdint>

#include "core/task/task.h"
#include "platform/api/engine.h"

struct EngineInstance;
struct HostContext;

// Host event codes.
enum : intptr_t {
    HostEvent_slice = 0x10003,
    HostEvent_keyPress = 0x10004,
    HostEvent_keyRelease = 0x10005,
    HostEvent_timer = 0x10006,
    HostEvent_start = 0x10007,
    HostEvent_stopRequest = 0x10008,
    HostEvent_shutdown = 0x10009,
    HostEvent_suspend = 0x1000A,
    HostEvent_resume = 0x1000B,
    HostEvent_words = 10,
};

// Run states.
enum : int32_t {
    Engine_busyAndTimers = 0x10003,
    Engine_busy = 0x10004,
    Engine_timersOnly = 0x10005,
    Engine_idle = 0x10006,
};

// Sends one host event: ten words {code, instance, eight arguments}; the
// instance is 0 only in the start event. Returns 1 or the handler's result;
// 0 when refused (no live engine, or another host call is inside the
// engine: "SERIOUS ERROR, VexlanApp_eventSend called from 2 threads") or
// failed. After a successful shut-down the instance is gone.
[[nodiscard]] int VexlanApp_eventSend(const intptr_t *event);

// Starts an engine (host event 0x10007): options are the four start option
// words (the first an 8-bit start document path, or 0), entry the
// application entry, installer the thread operations of the platform, heap
// flags 0 or 1 (small chunks). The host must be current; it receives the
// instance in its context. Returns the entry's result (0 = failure, and
// then nothing of the engine is left).
[[nodiscard]] int Engine_start(HostContext *host, const intptr_t *options, EngineEntryFn entry,
                               TaskInstallerFn installer, int heapFlags);

// Stops the engine when every stop hook agrees: asks the application task
// to stop and sends host event 0x10009. 1 when the engine went down; 0 when
// a hook refused or the instance is not a live engine (a second stop).
int Engine_stop(EngineInstance *instance);

// The host's timer slot: sends host event 0x10006 with the timer id (while
// the dispatcher is busy the id is only recorded). 1, or 0 when refused.
int Engine_timerExpired(EngineInstance *instance, int32_t timerId);
// Clears the dispatcher-busy flag and sends a recorded timer event now.
int Engine_replayTimer(EngineInstance *instance);

int Engine_keyPress(EngineInstance *instance, intptr_t key, intptr_t repeat);
int Engine_keyRelease(EngineInstance *instance, intptr_t key);
int Engine_suspend(EngineInstance *instance);
int Engine_resume(EngineInstance *instance);

// Sets the scheduler's slice and the timer period, when the period is not
// negative and the slice non-zero. The host passes 0 and 100.
void Engine_setTimeSlice(EngineInstance *instance, int32_t period, int32_t slice);
// Sets the ring's options (when it exists) and the instance's. The host
// passes 0 and 0.
void Engine_setQueueOptions(EngineInstance *instance, int optionA, int optionB);

// Runs engine tasks for one slice on the GUI thread; afterwards an
// allocation failure since the last check is reported to the host as error
// 0x10006. 1 when tasks are still ready.
[[nodiscard]] int Engine_runSlice(EngineInstance *instance);

// Arms the host timer for ms (stopping it first when armed; a stop that
// does not answer 1 is returned and nothing is armed). 1 when armed.
int AlienTimer_arm(EngineInstance *instance, int32_t *timerId, int32_t ms);
// A timer expiry (host event 0x10006): runs the due engine timers and one
// slice, computes the run state and re-arms the timer by it. An id other
// than the armed timer's is ignored ("Unknown timer").
void AlienTimer_expired(EngineInstance *instance, int32_t timerId);
// After a host event was queued: wakes an idle engine (run state 0x10003,
// timer armed with the period) or re-arms a timer that is not armed.
void AlienTimer_reschedule(EngineInstance *instance);
