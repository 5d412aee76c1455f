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

// Bytes of stack left below the caller's frame on the calling thread (0
// when the host cannot tell). Recursion guards compare it with a margin.
size_t Host_stackLeft();

// ------------------------------------------------ engine to host traffic

// A request from the engine (application ready 0x10004, engine failed
// 0x10009, ...). The record, when there is one, stays the engine's and is
// valid during the call only.
void Host_engineRequest(HostContext *host, int32_t code, void *record);

// Shows the alert for an engine error code: 0x10000, 0x10002 and 0x10004
// document translation failed, 0x10003 internal error, 0x10006 out of
// memory, 0x10008 nothing, any other code an unknown error.
void Host_showErrorAlert(HostContext *host, int32_t code);

// The host's close-down notice after a fatal engine error: the engine is
// gone, the host closes its application (or starts a fresh engine).
void Host_postCloseDown(HostContext *host);

// The single-shot engine timer: start writes the new timer's id into
// *timerId and fires it once after ms; on expiry the host calls
// Engine_timerExpired (instance, id) from its GUI thread. Stop answers 1
// when the timer is not running afterwards.
void HostTimer_start(HostContext *host, int32_t *timerId, int32_t ms);
int HostTimer_stop(HostContext *host, int32_t *timerId);

// Gives a block from AlienMemory_malloc back to the system.
void Host_releaseBlock(void *block);
// A local wall-clock time as the host reads it.
struct HostLocalTime {
    int32_t year;        // calendar year (2024)
    int32_t month;       // 1-12
    int32_t day;         // 1-31
    int32_t hour;        // 0-23
    int32_t minute;      // 0-59
    int32_t second;      // 0-60
    int32_t weekday;     // 0 Sunday to 6 Saturday
    int32_t millisecond; // 0-999
};

// The host's local time now, written to *out (which must not be null).
void Host_getLocalTime(HostContext *host, HostLocalTime *out);

// The process's current working directory as 8-bit text through *dir. The
// text stays the host's: it is valid until the next call or until the host
// context is destroyed. 0; 1 when the directory cannot be read, with *dir
// null.
int Host_getcwd(HostContext *host, const char **dir);
