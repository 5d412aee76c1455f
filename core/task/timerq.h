// The timer queue, "timerThread" and the guarded engine clock.
//
// Engine code asks for callbacks after a delay, once or every period, or at
// an absolute engine-clock time. The timers live in a list inside an event
// processor (core/task/eventproc.h) and one engine task, "timerThread", runs
// them: it sleeps on a wake-up semaphore and is woken whenever a timer may
// be due. Two things wake it: the clock hook, which every engine clock read
// calls and which notices that the earliest timer has come due, and the
// host's timer expiry (TimerQ_wakeThread), after which the host re-arms its
// timer for TimerQ_nextDue.
//
// The engine clock is the host's millisecond clock kept from running
// backwards by small steps: a reading less than 6000 ms below the last value
// returned gives that value again, a larger jump is taken as it is. Clock
// values are compared through their difference taken in unsigned arithmetic.
//
// The timer lock guards the list and every entry; callbacks run without it,
// so a callback may add, pause, resume or cancel timers, its own included.
// Everything that takes the timer lock is for engine tasks only; the clock,
// TimerQ_wakeThread and TimerQ_nextDue also serve the host's GUI thread.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "core/context/context.h"
#include "core/task/timer.h"

struct EngineContext;
struct EngineInstance;
struct EventProc;
struct Task;

// What a record-style callback gets: it may change the argument or the
// period (the next run is then due the new period after this run), or end a
// repeating timer by clearing repeat.
struct TimerRun {
    uint32_t id;
    void *argument;
    int32_t period;
    int32_t repeat;
};

// A timer callback: called on the task that runs the timers with the engine
// context and the argument (or a TimerRun for record-style timers).
typedef void (*TimerFn)(EngineContext *context, void *argument);

// Entry states.
enum : int32_t {
    TimerQ_idle = 0,
    TimerQ_running = 1,
    TimerQ_cancelRequested = 2, // cancelled while its callback runs
    TimerQ_finished = 3,        // freed by the next pass of the timer thread
};

struct TimerEntry {
    TimerFn callback;
    uint32_t id;
    void *argument;
    int64_t due;         // engine-clock milliseconds
    int32_t period;      // the delay given; 0 for absolute timers
    int32_t repeat;      // run again every period
    int32_t suspended;   // never due while set
    int32_t recordStyle; // the callback gets a TimerRun
    int32_t waiters;     // cancellers waiting for a running callback
    int32_t state;
    TimerEntry *next;    // timer list, in insertion order
    Sem done;            // count 0, max 1: a run ended for good
    TimerEntry *dueLink; // the due chain of one pass
};

// The "timerThread" record, also the timer list's wake record.
struct TimerThread {
    Task *task;
    Sem wake;        // count 0, maximum 1
    int64_t nextDue; // when active: the earliest due time
    int32_t active;  // 0: no timer is due at all
    EngineContext *context;
    EventProc *processor; // whose timers it runs
};

// The timers of one event processor.
struct TimerList {
    TimerEntry *head; // insertion order
    int32_t running;  // 1 while a pass runs: next-due updates wait for its end
    Lock lock;
    TimerThread *thread; // the wake record; null while no timer thread runs them
    uint32_t idCounter;  // pre-incremented: the first id is 1
    Task *runner;        // the task running a pass (its callbacks never wait for themselves)
};

// Sets up an empty timer list. Returns 0 (the lock needs no memory).
int TimerQ_initList(EngineContext *context, TimerList *list);
// Frees every entry (callbacks are not called). No timer thread may run
// the list any more.
void TimerQ_finiList(TimerList *list);

// ----------------------------------------------------------------- timers

// Adds a record-style timer due at now + delay, repeating every delay when
// repeat is non-zero. Its id goes to *id when id is given (0 on failure).
// Returns 0, 1 when memory ran out, Res_missingArgument without processor or
// callback.
[[nodiscard]] int TimerQ_add(EngineContext *context, EventProc *processor, int32_t delay,
                             int repeat, TimerFn callback, void *argument, uint32_t *id);
// The same, the callback getting the plain argument, without an id.
[[nodiscard]] int TimerQ_addPlain(EngineContext *context, EventProc *processor, int32_t delay,
                                  int repeat, TimerFn callback, void *argument);
// A one-shot timer at an absolute engine-clock time (period 0), with the
// plain argument; its id goes to *id when given. 0, 1 or 16 as above.
[[nodiscard]] int TimerQ_addAt(EngineContext *context, EventProc *processor, int64_t due,
                               TimerFn callback, void *argument, uint32_t *id);
[[nodiscard]] int TimerQ_addAtNoId(EngineContext *context, EventProc *processor, int64_t due,
                                   TimerFn callback, void *argument);

// Cancels the timer *id and clears *id (nothing for a null pointer or id 0).
// A timer whose callback runs is finished after that run, and the call
// returns only then, unless it is called from that very callback (or from
// any callback of the same pass), which ends the timer without waiting.
// Returns 0, or Res_notFound when no unfinished timer has that id.
int TimerQ_cancel(EventProc *processor, uint32_t *id);
// Cancels the first unfinished timer with that callback, argument, period
// and repeat flag, like TimerQ_cancel. 0 or 13.
int TimerQ_cancelMatching(EventProc *processor, TimerFn callback, void *argument, int32_t period,
                          int repeat);
// Cancels the one-shot timer set at that time with that callback and
// argument. 0 or 13.
int TimerQ_cancelAt(EventProc *processor, int64_t due, TimerFn callback, void *argument);

// Suspend or resume a timer: a suspended timer is never due. 0 or 13.
[[nodiscard]] int TimerQ_pause(EventProc *processor, uint32_t id);
[[nodiscard]] int TimerQ_resume(EventProc *processor, uint32_t id);
[[nodiscard]] int TimerQ_pauseMatching(EventProc *processor, TimerFn callback, void *argument,
                                       int32_t period, int repeat);

// Runs the timers of the list that are due at now, earliest first, then
// frees finished entries and recomputes the next due time. The timer
// thread's body; callable from any task.
void TimerQ_runDue(EngineContext *context, TimerList *list, int64_t now);

// Stores the next due time into the list's wake record (active 0: none);
// nothing when no timer thread runs the list. Returns 0.
int TimerQ_setWake(TimerList *list, int active, int64_t wake);

// ------------------------------------------------------------ the thread

// Starts "timerThread" (priority 2, stack 4096) for the processor's timers and
// installs the clock hook. Returns 0; Res_timerThreadRunning when a timer
// thread already runs (for this processor or for the engine); 1 when memory ran
// out; 16 without context or processor; the task error as it is.
[[nodiscard]] int TimerQ_startThread(EngineContext *context, EventProc *processor);
// Removes the clock hook, stops and joins the timer task and frees its
// record. From a task (joining waits). Returns 0 (also when none runs) or
// the error of stopping or joining.
[[nodiscard]] int TimerQ_stopThread(EngineContext *context, EventProc *processor);

// Host side (GUI thread or task): takes the engine clock as the hook's last
// value and wakes the timer thread so that it runs the due timers at the
// next slice. Nothing when no timer thread runs.
void TimerQ_wakeThread(EngineContext *context);
// The next due time of the running timer thread's timers; 0 when none.
int64_t TimerQ_nextDue(EngineContext *context);
// The timer task's current priority; 2 when there is none.
int32_t TimerQ_threadPriority(EngineContext *context);

// ------------------------------------------------------------- the clock

// The engine clock of the calling thread's engine instance in milliseconds;
// 0 when the engine has no context yet.
int64_t Time_nowMs();
// AlienTimer_getTimeMs (core/task/timer.h): the guarded clock, after which
// the clock hook, when one is set, is called with (context, now).
// The guarded host clock of the instance, without the hook (0 for null).
int64_t AlienTimer_readClock(EngineInstance *instance);
// Installs or removes the clock hook of the context's instance.
void AlienTimer_setHook(EngineContext *context, ClockHookFn hook);
void AlienTimer_clearHook(EngineContext *context);
// The timer queue's clock hook: remembers now and wakes the timer thread
// when its earliest timer has come due.
void TimerQ_clockHook(EngineContext *context, int64_t now);
