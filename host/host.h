// What the engine needs of its host application.
//
// Two hosts implement these services: the GUI program and the headless host
// in host/headless/ that the tests and the command-line tools link. The
// engine calls them and nothing else of the host.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineInstance;
struct HostThreadRec;
struct HostPlatform;

// The host's context. The engine treats it as opaque except for the
// instance and the three thread fields that the host thread services use.
struct HostContext {
    EngineInstance *instance;      // set by Host_setInstance
    HostThreadRec *mainThread;     // the GUI thread's record
    HostThreadRec *currentThread;  // the thread that holds the baton
    HostThreadRec *threadList;     // every thread record known to the host
    size_t heapBytes;              // configured engine heap size
    void *hostPrivate;             // the host's own data
    HostPlatform *platform;        // the host platform record of the file services (null: none)
};

// The engine instance stored in the host context at start (null when none).
EngineInstance *Host_getThreadContext();

// Stores the engine instance in the host context for all later calls.
void Host_setInstance(HostContext *host, EngineInstance *instance);

// A block from the system allocator. The host gives at least its configured
// heap size (never below 1 MiB) and at least *size, and writes back the size
// it gave. Null when the system has no memory.
void *AlienMemory_malloc(size_t *size);

// Milliseconds since the first call (which returns 0).
int64_t AlienTimer_getMs(HostContext *host);

// The host's debug text sink.
void HostDebug_print(const char *text);
