// The application event ring.
//
// Everything that the host or another engine task asks of the application
// thread ("SimpleAppThread") passes through one fixed ring of AppEvent
// entries: host key events, pointer gestures, deferred calls and the final
// close event. The ring never grows. Under pressure it makes room by
// dropping or merging input that has gone stale (repeated key presses, key
// press/release pairs, pointer and pan moves) before it refuses anything.
// Deferred calls of code 6 are placed among the pan or pointer moves they
// follow. The application thread sleeps on the ring's semaphore in
// EventQ_take.
//
// Only one engine thread runs at a time, so no operation is interrupted
// half-way; the ring's lock exists for its owners and is not taken here.
// Events are copied by value: nothing is allocated after creation.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

// Called with the argument block of an entry that is removed without being
// run (for an application event of code 1: with its first argument).
typedef void (*AppEventDoneFn)(void *arg);

// A deferred call: runs on the application thread.
struct EngineInstance;
typedef void (*AppCallFn)(EngineInstance *instance, void *argument);

// Entry kinds and the codes the ring itself looks at.
enum : int32_t {
    AppEvent_kindHost = 0, // a host event (ten words)
    AppEvent_kindApp = 1,  // an application event
};
enum : intptr_t {
    AppEvent_codeEmpty = 0x10003,    // code of an empty slot (kind 0)
    AppEvent_codeKeyPress = 0x10004, // host key press: word 4 key, word 5 repeat (0 plain)
    AppEvent_codeKeyRelease = 0x10005,
    AppEvent_codeClose = 0x10009,    // the last event of the application loop
    AppEvent_codeCall = 5,           // deferred call at the tail
    AppEvent_codeCallAmongMoves = 6, // deferred call placed among moves
    AppEvent_codePan = 15,           // pan move: words 4, 5 the steps
    AppEvent_codePointer = 18,       // pointer move: words 4, 5 the target
    AppEvent_moveLive = 0x10003,     // move states that count as moves:
    AppEvent_moveStep = 0x10004,     // pan word 6, pointer word 7
};

// Ring figures.
enum : int32_t {
    EventQ_capacity = 56,
    EventQ_keyLimit = 8,   // key presses queued at most (option B clear)
    EventQ_keyLimitB = 4,  // the same with option B set
    EventQ_moveLimit = 20, // pan and pointer moves together
    EventQ_filterSlots = 8,
    AppEvent_blockWords = 10,
};

// One entry. The entry's words are numbered as in its argument block: word
// 2 is the code, word 3 the engine instance, words 4 to 11 the arguments;
// word n lives in block[n - 2]. A deferred call keeps its function in word
// 4, its argument in word 5 and (code 6) its placement mode, 1 (follows pan
// moves) or 2 (follows pointer moves), in word 6.
struct AppEvent {
    int32_t kind;
    AppEventDoneFn completion; // may be null
    intptr_t block[AppEvent_blockWords];
};

struct AppEventRing;
// A filter makes room under pressure: 1 when it removed something.
typedef int (*EventQ_FilterFn)(AppEventRing *ring);

struct AppEventRing {
    Lock lock;     // for the ring's owners
    Sem sem;       // count 0, maximum 1: signalled by every insertion
    int32_t count; // queued entries
    int32_t head;  // slot of the oldest entry
    AppEvent slots[EventQ_capacity];
    int32_t capacity;
    int32_t keyLimit;                            // 4 with option B, else 8
    int32_t moveLimit;                           // 20
    int32_t optionA;                             // keep repeated key presses
    int32_t optionB;                             // keep key releases; lower key limit
    EventQ_FilterFn filters[EventQ_filterSlots]; // tried in order; the last two empty
};

// Creates an empty ring with the options of the context's instance (queue
// options A and B). Returns 0 with *ring set; Res_missingArgument for
// a null argument; 1 without memory. The ring belongs to the caller until
// EventQ_destroy.
[[nodiscard]] int EventQ_create(EngineContext *context, AppEventRing **ring);

// Disposes of every entry (see EventQ_dispose) and frees the ring. Null is
// ignored.
void EventQ_destroy(AppEventRing *ring);

// Queues an event at the tail. A deferred call of code 6 first removes
// (and disposes of) every queued call of the same function and is then
// placed among the moves by its mode. 1 when queued; 0 when refused (full,
// and nothing a filter may drop) or for null arguments. A refused event is
// the caller's: nothing of it has run and its completion has not been
// called.
int EventQ_post(AppEventRing *ring, const AppEvent *event);

// Queues an event before the head, when admitted. 1 or 0 as EventQ_post.
int EventQ_pushFront(AppEventRing *ring, const AppEvent *event);

// Waits (engine tasks only) until an entry is queued, then moves the head entry
// to *out and empties its slot. 0, or Res_missingArgument for null arguments.
int EventQ_take(AppEventRing *ring, AppEvent *out);

// Takes the first queued deferred call of code 6 out of order, without
// disposing of it, and consumes the wake-up that its insertion gave the
// semaphore when there is one. *out is the empty entry when none is queued.
// Returns 0; Res_stopRequested when the current task has been asked to stop
// (the call, when one was taken, is in *out all the same); Res_missingArgument
// for null arguments. Never blocks.
[[nodiscard]] int EventQ_takeCall6(AppEventRing *ring, AppEvent *out);

// Removes and disposes of every entry for which predicate(entry, argument)
// is non-zero. Returns the number removed.
int EventQ_removeIf(AppEventRing *ring, void *argument,
                    int (*predicate)(const AppEvent *entry, void *argument));

// Code 15: removes the later of every two adjacent pan moves until none are
// adjacent; code 18: the same for adjacent pointer moves with the same
// target. Other codes do nothing. Removed entries are disposed of.
void EventQ_compress(AppEventRing *ring, intptr_t code);

// Both options must be 0 or 1 (else 0 and nothing changes); sets them and
// the key-press limit (4 when B is 1, else 8). Returns 1.
[[nodiscard]] int EventQ_setOptions(AppEventRing *ring, int optionA, int optionB);

// Disposes of every queued entry and empties the ring. Completion routines
// run with the ring already consistent, so they may post again.
void EventQ_clear(AppEventRing *ring);

// Calls the entry's completion routine, when it has one, as for an entry
// removed without being run.
void EventQ_dispose(const AppEvent *event);

// The empty entry: {kind 0, no completion, code 0x10003}.
void EventQ_emptyEntry(AppEvent *event);

// The entry at logical position i (0 = head), or null outside the queue.
const AppEvent *EventQ_at(const AppEventRing *ring, int32_t i);

// A slot index brought into 0 .. capacity - 1.
int32_t EventQ_wrap(const AppEventRing *ring, int32_t index);

// Admission: 1 when the event may be queued now (a filter may have made
// room for it), 0 when it is refused.
int EventQ_admit(AppEventRing *ring, const AppEvent *event);
