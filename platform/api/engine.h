// The engine instance record.
//
// One EngineInstance heads the host's first memory block; the heap context
// (MemHeap) follows it in the same block and the rest of the block is the
// heap's first chunk. Every host call passes the instance back, and every
// engine thread reaches it through Host_getThreadContext.
#pragma once

#include <csetjmp>
#include <cstdint>

struct MemHeap;
struct EngineContext;
struct FvViewer;
struct AppQueueRecord;
struct ExitList;
struct KeyRecord;
struct IdentRecord;
struct Task;
struct Sem;
struct HostContext;

// The application entry given by the start event.
typedef int (*EngineEntryFn)(struct EngineInstance *instance, void *startEvent);

struct EngineInstance {
    MemHeap *heap;              // the heap context right behind this record
    EngineContext *context;     // the engine's core context
    EngineEntryFn entry;        // the application entry
    FvViewer *viewer;           // the application record
    AppQueueRecord *queue;      // the application queue record
    int32_t timerPeriod;        // ms between host timer re-arms while busy
    int32_t nextDelay;          // last computed delay; -1 = do not re-arm
    int32_t runState;           // 0x10003 .. 0x10006
    int32_t queueOptionA;
    int32_t queueOptionB;
    ExitList *exitList;
    int32_t stopping;           // set when shut-down begins
    int32_t entryResult;        // what the application entry returned
    int32_t appFailed;          // application record or thread not created
    jmp_buf recovery;           // recovery point of the fatal-error path
    int64_t lastExpiry;         // host clock (ms) at the last timer expiry
    HostContext *host;          // the host's context, passed to host services
    KeyRecord *keys;
    void *closeHooks[2];
    IdentRecord *ident;
    Task *appTask;              // the task running the application thread
    Sem *replySem;              // waits for the host's answer to a question

    // Words used by single modules.
    int32_t firstChunkGiven;    // the host has handed out the first chunk
    int32_t abortMark;          // an abort to the host is under way
    int32_t timerArmed;         // the host timer is armed
    int32_t timerId;            // id of the armed host timer
    int64_t clockLast;          // engine clock guard: last value returned
    int64_t clockOffset;        // engine clock guard: correction applied
    void *localeSettings;       // the engine's locale settings
};
