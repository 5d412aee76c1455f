// What the engine needs of its host application.
//
// Two hosts implement these services: the GUI program and the headless host
// in host/headless/ that the tests and the command-line tools link. The
// engine calls them and nothing else of the host. The interface sits in
// core, the lowest layer, so that every engine folder may call the host
// without depending on the hosts; the hosts include it from here.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineInstance;
struct HostThreadRec;
struct HostPlatform;
struct AppEvent;
struct HostQuery;

// The application entry that Engine_start runs (as in platform/api/engine.h).
typedef int (*EngineEntryFn)(struct EngineInstance *instance, const AppEvent *startEvent);

// The host's context. The engine treats it as opaque except for the
// instance and the three thread fields that the host thread services use.
struct HostContext {
    EngineInstance *instance;     // set by Host_setInstance
    HostThreadRec *mainThread;    // the GUI thread's record
    HostThreadRec *currentThread; // the thread that holds the baton
    HostThreadRec *threadList;    // every thread record known to the host
    size_t heapBytes;             // configured engine heap size
    void *hostPrivate;            // the host's own data
    HostPlatform *platform;       // the host platform record: file services and the
                                  // pointer state of the GUI (null: none)

    // The GUI host's words (zero in the headless host).
    EngineEntryFn (*appEntry)(); // returns the application entry (App_getEntry)
    void **ownerCell;            // holds the object that receives the posted events
    intptr_t startWord;          // 0 at start
    int32_t toggleValue;         // the reflow toggle: 0x10000 off, 0x10001 on
    int32_t togglePending;       // a toggle was sent and not yet confirmed
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

// ------------------------------------------------------ screen and queries

// The screen geometry, eleven values into out: 0 (unused), the display
// origin x0 and y0, the area's width and height, the full display's width
// and height, the minimum back-buffer width and height (0: none), the host
// pixel format code (0x10005: 16-bit RGB 5-6-5) and the buffer alignment
// (0x10000: exact).
void AlienScreen_getGeometry(HostContext *host, int32_t out[11]);

// A screen hands its output to the host: the buffer of 16-bit pixels, its
// format code, width and height, its row bytes, the changed rectangle
// (x, y counted from the top-left corner; w, h) and the area's origin. The
// buffer stays the engine's: the host shows it after the current host call
// returns, and not after the engine stopped.
void Host_screenUpdate(HostContext *host, const uint16_t *pixels, int32_t format, int32_t width,
                       int32_t height, int32_t lineStep, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t originX, int32_t originY);

// The page now shown (1-based) and the page count.
void Host_reportPage(HostContext *host, int32_t page, int32_t count);

// A host query (viewer/hostquery.h) for the user. The host either refuses
// it at once (status 0x10002 before the call returns) or completes it later
// with App_deliverReply; it never leaves one unanswered.
void Host_onOverlayChange(HostContext *host, HostQuery *query);
// The engine withdraws a query it handed over and not yet got back: the
// host forgets it and never touches it again. 1 when the host still held it
// and dropped it; 0 when it had let go of it already (its answer has been
// or is being handed back with App_deliverReply).
int Host_cancelQuery(HostContext *host, HostQuery *query);

// ------------------------------------------------------- engine start-up

struct EngineContext;

// The host's configuration hook, called once by the engine's second
// start-up stage on an engine task: it installs the host's own values
// (built-in fonts, host settings). 0, or an error that aborts the start-up.
[[nodiscard]] int Host_configure(EngineContext *context);
