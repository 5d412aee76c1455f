// The application queue: posting, deferred calls and the application loop.
//
// The application runs on its own engine task, "SimpleAppThread", which
// sleeps on the application event ring and runs one event at a time. Other
// threads never call the application directly: they post an application
// event (a code and up to five arguments, or a deferred function call) and
// return. The loop hands each event to the application's callback table
// (FvAppCallbacks) or runs the deferred call, until the close event.
//
// Posting is allowed from the GUI thread and from engine tasks at any time.
// An urgent post from the GUI thread runs one slice at once; an ordinary
// one arms the host timer. A post that is not queued never loses ownership:
// its completion routine runs once, with the argument block.
#pragma once

#include <cstdint>

#include "core/task/appevent.h"
#include "platform/api/handlers.h"

struct EngineInstance;
struct EngineContext;
struct HandlerList;
struct Map;

// The application's callbacks: one slot per use, in slot order; each gets
// the engine instance first. An empty slot makes its event do nothing.
// "wN" is argument N of the event's block (the first argument is w1).
struct FvAppCallbacks {
    int (*keyPress)(EngineInstance *, intptr_t key, intptr_t repeat); // 0: host 0x10004
    int (*keyRelease)(EngineInstance *, intptr_t key);                // 1: host 0x10005
    int (*suspend)(EngineInstance *); // 2: host 0x1000A, synchronous
    int (*resume)(EngineInstance *);  // 3: host 0x1000B
    int (*close)(EngineInstance *);   // 4: host 0x10009, after the close hooks
    int (*configure)(EngineInstance *,
                     intptr_t *keyWords);         // 5: event 0, before the built-in handling;
                                                  //    {key, type, value}
    int (*event1)(EngineInstance *, intptr_t w1); // 6: event 1
    int (*openPath)(EngineInstance *, intptr_t w1, const char *url,
                    intptr_t w3); // 7: event 3 without slot 9
    int (*openResolved)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3, intptr_t w4,
                        intptr_t w5); // 8: event 2; w4 is freed afterwards
    int (*openUrl)(EngineInstance *, intptr_t w1, intptr_t url, intptr_t w3); // 9: event 3
    int (*notEvented)(EngineInstance *);           // 10: not called by an event
    int (*event16)(EngineInstance *, intptr_t w1); // 11: event 16
    int (*event20)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3); // 12: event 20
    int (*event21)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3); // 13: event 21
    int (*event22)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3); // 14: event 22
    int (*pointer)(EngineInstance *, intptr_t w3, intptr_t w1, intptr_t w2,
                   intptr_t w4);                                         // 15: event 18
    int (*pointerPress)(EngineInstance *);                               // 16: event 19
    int (*pan)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3); // 17: event 15
    int (*event17)(EngineInstance *);                                    // 18: event 17
    int (*event14)(EngineInstance *, intptr_t w1, intptr_t w2);          // 19: event 14
    int (*choice)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3, intptr_t w4,
                  intptr_t w5);                                              // 20: event 23
    int (*event24)(EngineInstance *, intptr_t w1);                           // 21: event 24
    int (*event25)(EngineInstance *);                                        // 22: event 25
    int (*event26)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3); // 23: event 26
    int (*promptAnswer)(EngineInstance *, intptr_t w1);                      // 24: event 27
    int (*key)(EngineInstance *, intptr_t w1);                               // 25: event 7
    int (*event8)(EngineInstance *);                                         // 26: event 8
    int (*event9)(EngineInstance *, intptr_t w2);                            // 27: event 9
    int (*event10)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t w3,
                   intptr_t w4);                  // 28: event 10
    int (*unused29)(EngineInstance *);            // 29
    int (*reply)(EngineInstance *, void *record); // 30: host reply, synchronous
    int (*panGesture)(EngineInstance *, intptr_t w1, intptr_t w2, intptr_t *out1,
                      intptr_t *out2);               // 31: pan gesture pre-step
    int (*event12)(EngineInstance *, intptr_t w1);   // 32: event 12
    int (*releaseKeys)(EngineInstance *);            // 33
    int (*recreateKeys)(EngineInstance *);           // 34
    int (*event13)(EngineInstance *, intptr_t zero); // 35: event 13
    int (*unused36)(EngineInstance *);               // 36
};

// A stop hook: asked before the engine stops; 0 refuses.
typedef int (*AppStopFn)(EngineInstance *instance);
struct AppStopHook {
    AppStopHook *next;
    AppStopFn function;
};

// An object closed by the close event (the instance's two close hooks).
struct AppCloseHook {
    void (*close)(AppCloseHook *hook, EngineInstance *instance);
};

// One per engine instance.
struct AppQueueRecord {
    FvAppCallbacks callbacks; // a copy of the table given at creation
    AppStopHook *stopHooks;
    int32_t timerId;        // the host timer's id; 0x12345678 until the first start
    int32_t pendingTimerId; // recorded while the dispatcher is busy
    int64_t wokenAt;        // engine clock when last woken from idle
    AppEventRing *ring;
    int32_t sendGuard; // non-zero while a host event is inside the engine
    int32_t shuttingDown;
    int32_t modeFlag;       // 0: the application always runs on its own task
    int32_t dispatcherBusy; // nothing sets it; timer events go straight through
    int32_t timerPending;
    int32_t timerArmed;
    HandlerList *handlers; // request and error handlers
    Map *objects;          // application objects by small id (1: the viewer)
};

enum : int32_t {
    AppQueue_noTimer = 0x12345678,
    App_objectViewer = 1,
};

// Posting flags.
enum : int {
    AppEvent_urgent = 1, // at the head, and from the GUI thread a slice at once
    AppEvent_hold = 2,   // the scheduler may not switch while the ring changes
};

// Application event codes with a meaning of their own here.
enum : intptr_t {
    AppEvent_codeConfig = 0,
    AppEvent_codeOpenResolved = 2,
    AppEvent_codeOpenUrl = 3,
};

// Creates the instance's queue record with a copy of callbacks (null: all
// empty), its handler list, object map, ring and the instance's exit list, and
// stores it in the instance. 0; 1 without memory; Res_missingArgument for a
// null instance or one without a context; another creation error as it is. On
// failure nothing is left behind.
[[nodiscard]] int AppEvent_queueCreate(EngineInstance *instance, const FvAppCallbacks *callbacks);

// Opens an 8-bit path or URL text through the application's open slot
// (slot 7) at once, for the parts of the engine below the application.
// The slot's answer; Res_notImplemented without a queue or with the slot empty.
int AppEvent_openPath(EngineInstance *instance, intptr_t w1, const char *path, intptr_t w3);

// Frees the queue record and what it holds (pending entries are disposed
// of, stop hooks freed), and clears the instance's pointer. Null is ignored.
void AppEvent_queueDestroy(EngineInstance *instance);

// Posts an application event. block holds seven words: {code, instance, up
// to five arguments}; unused words should be 0. Flags: AppEvent_urgent,
// AppEvent_hold. 1 when queued; 0 when not (refused by the ring, no live
// engine, or the engine is shutting down), and then the completion routine
// has been called once with block (with block[2] for code 1).
int AppEvent_post(const intptr_t *block, AppEventDoneFn completion, int flags);

// Deferred calls: function(instance, argument) on the application thread.
// 0 when queued, 1 when refused (the completion, when given, has then been
// called once with the block {code, instance, function, argument}).
int App_postCall(EngineInstance *instance, AppCallFn function, void *argument,
                 AppEventDoneFn completion);
// The same with the scheduler held while the ring changes.
int App_postCallHeld(EngineInstance *instance, AppCallFn function, void *argument,
                     AppEventDoneFn completion);
// Posts until the ring accepts (tasks run between tries: the application
// thread empties the ring), giving up after a bounded number of tries.
int App_postCallRetry(EngineInstance *instance, AppCallFn function, void *argument,
                      AppEventDoneFn completion);
// A code 6 call: mode 1 runs after the queued pan moves it follows, mode 2
// after the pointer moves; only the newest call of a function stays queued.
int App_postCall6(EngineInstance *instance, AppCallFn function, void *argument,
                  AppEventDoneFn completion, int mode);

// Code 15 posts a pan move {a, b}, code 18 a pointer move {a, b, c}. 0 when
// queued; 1 when refused or for another code.
int App_postMove(EngineInstance *instance, intptr_t code, intptr_t a, intptr_t b, intptr_t c);
// Drops adjacent pan (15) or pointer (18) moves, keeping the first of each.
void App_compressMoves(EngineInstance *instance, intptr_t code);

// Takes the first queued code 6 call out of order and runs it now, on the
// calling (application) thread. The result of the ring's take (0, or 48 when
// the task was asked to stop; the call runs all the same); Res_missingArgument
// without a queue.
int App_runPendingCall(EngineInstance *instance);

// The application loop: takes and dispatches entries until the close event
// (or a failed take). Runs on the application task. Returns 0.
int App_eventLoop(EngineContext *context);
// One entry: non-zero when it was the close event.
int App_dispatchEntry(EngineInstance *instance, const AppEvent *entry);
// Host events queued for the application: key press, key release, resume,
// and the close event (clears the task's stop request, closes the close
// hooks, the second first, then calls slot 4).
void App_handleApiEvent(EngineInstance *instance, const intptr_t *hostEvent);
// Application events 0 to 27; other codes do nothing.
void App_dispatchAppEvent(EngineInstance *instance, const intptr_t *block);

// Sends a request to the host, then offers {code, record, instance} to the
// request handlers.
void App_sendRequest(EngineInstance *instance, int32_t code, void *record);
// Reports an error to the host's alert service, then offers {code,
// argument, instance} to the error handlers.
void App_reportError(EngineInstance *instance, int32_t code, intptr_t argument);

// Request and error handlers (see platform/api/handlers.h for results).
[[nodiscard]] int App_addRequestListener(EngineInstance *instance, HandlerFn handler,
                                         HandlerFn reference, int position, void *userData);
void App_removeRequestListener(EngineInstance *instance, HandlerFn handler);
int App_addErrorListener(EngineInstance *instance, HandlerFn handler, HandlerFn reference,
                         int position, void *userData);

// Application objects by small id: register sets or replaces; the objects stay
// their owners'. 0, 1 without memory, Res_missingArgument without a queue or
// for id 0.
int App_registerObject(EngineInstance *instance, int32_t id, void *object);
void App_unregisterObject(EngineInstance *instance, int32_t id);
// The object registered under id 1 (the viewer), or null.
void *App_getObject(EngineInstance *instance);

// Pushes a stop hook at the head of the list. 0; Res_missingArgument without a
// queue record; 1 without memory.
int App_addStopHook(EngineInstance *instance, AppStopFn function);
