// The engine's two records.
//
// One EngineInstance heads the host's first memory block; the heap context
// (MemHeap) follows it in the same block and the rest of the block is the
// heap's first chunk. Every host call passes the instance back, and every
// engine thread reaches it through Host_getThreadContext.
//
// The EngineContext is allocated from the heap at start-up and is the first
// argument of nearly every engine routine. Both records are plain data that
// every layer of the engine reads; the services that create, run and stop
// an engine are the engine's door to the host (platform/api/engine.h).
#pragma once

#include <csetjmp>
#include <cstdint>

#include "core/time/localeset.h"

struct MemHeap;
struct EngineContext;
struct FvViewer;
struct AppQueueRecord;
struct ExitList;
struct KeyRepeat;
struct FvView;
struct IdentRecord;
struct Task;
struct Sem;
struct HostContext;
struct Scheduler;
struct WorkerPool;
struct EventProc;
struct ConfigStore;
struct CharsetHooks;
struct TimerThread;
struct FileLayer;
struct Edr_App;
struct Map;
struct ImageStore;
struct ImageCache;
struct Lock;
struct Screen;
struct ScreenList;
struct OverlayMgr;
struct FontEngine;
struct FormsModule;
struct CookieStore;
struct HttpCache;

// The engine clock hook: called with the engine context and the clock value
// on every engine clock read (core/task/timerq.h).
typedef void (*ClockHookFn)(struct EngineContext *context, int64_t now);
// The buffered reader's in-memory list (platform/vfs/bufstream.h): the 8-bit
// file names whose files it reads whole into memory, *names (lent) and
// *count; null and 0 for none.
typedef void (*MemoryListFn)(struct EngineContext *context, const char *const **names,
                             uint32_t *count);

struct AppEvent;
struct AppCloseHook;

// The application entry given by the start event: called on the GUI thread
// with the new instance and the start event (a host event of code 0x10007:
// block word 3 the host context, words 4 to 7 the start options, the first
// of them the start document path or 0). It creates the application queue
// (AppEvent_queueCreate) and the application task, and answers non-zero on
// success; 0 makes the start fail and everything it made is freed.
typedef int (*EngineEntryFn)(struct EngineInstance *instance, const AppEvent *startEvent);

struct EngineInstance {
    MemHeap *heap;          // the heap context right behind this record
    EngineContext *context; // the engine's core context
    EngineEntryFn entry;    // the application entry
    FvViewer *viewer;       // the application record
    AppQueueRecord *queue;  // the application queue record
    int32_t timerPeriod;    // ms between host timer re-arms while busy
    int32_t nextDelay;      // last computed delay; -1 = do not re-arm
    int32_t runState;       // 0x10003 .. 0x10006
    int32_t queueOptionA;
    int32_t queueOptionB;
    ExitList *exitList;
    int32_t stopping;            // set when shut-down begins
    int32_t entryResult;         // what the application entry returned
    int32_t appFailed;           // application record or thread not created
    jmp_buf recovery;            // recovery point of the fatal-error path
    int64_t lastExpiry;          // host clock (ms) at the last timer expiry
    HostContext *host;           // the host's context, passed to host services
    KeyRepeat *keys;             // key auto-repeat (viewer/api/keys.h; null: none)
    AppCloseHook *closeHooks[2]; // closed (the second first) by the close event
    IdentRecord *ident;
    Task *appTask; // the task running the application thread
    Sem *replySem; // waits for the host's answer to a question

    // Words used by single modules.
    int32_t firstChunkGiven; // the host has handed out the first chunk
    int32_t abortMark;       // an abort to the host is under way
    int32_t timerArmed;      // the host timer is armed
    int32_t timerId;         // id of the armed host timer
    int64_t clockLast;       // engine clock guard: last value returned
    int64_t clockOffset;     // engine clock guard: correction applied
    LocaleSettings locale;   // the engine's locale settings (core/time/localeset.h)
    char *tokenPos;          // string library: where Cstr_tok goes on
    uint32_t randSeed;       // number conversion: Std_rand's seed (0 = from the clock)
    Scheduler *scheduler;    // tasks: the scheduler, also in the context
    int64_t clockSeen;       // timer queue: last clock value seen by the clock hook
    ClockHookFn clockHook;   // timer queue: called on every engine clock read (null: none)
    int32_t entryDepth;      // host entries on the GUI thread in progress; the
                             // outermost one owns the recovery point
    FvView *keyView;         // key handling: the view that keys act on (viewer/view.h;
                             // set and cleared by the viewer; null: none)
    ScreenList *screens;     // screens: the engine's screen list (viewer/screen/screen.h)
    Screen *lastPresented;   // screens: the screen that last handed its pixels to the host
    OverlayMgr
        *overlay; // overlay: sprites composed over the screen (viewer/screen/overlay.h; null: none)
};

// The engine's core context: allocated from the heap at start-up, first
// argument of nearly every engine routine. Modules that need a word of their
// own add it in the second group, with a comment naming its owner.
struct EngineContext {
    void *dispman;              // display-manager context
    void *docHandlers;          // document-handler registry
    EventProc *eventProc;       // the event processor
    ConfigStore *config;        // the configuration store
    void *romFiles;             // the built-in file table
    WorkerPool *workers;        // the worker pool
    Scheduler *scheduler;       // the task scheduler
    void *startOptions;         // start options given to module start-up
    EngineInstance *instance;   // the owning instance
    void *sheetFunctionNames;   // spreadsheet function-name table
    void *textTone;             // the text tone table (html/texttone.h)
    CharsetHooks *charsetHooks; // character-set conversion hooks (charset_cjk.h)
    int32_t sheetSetting;       // spreadsheet setting word
    void *teardownBlock;        // a block freed at teardown
    void *streamHooks;          // host stream hooks

    // Words of single modules.
    void *fmtConversions;     // formatter: registered conversion letters
    TimerThread *timerThread; // timer queue: the running "timerThread" record (null: none)
    FileLayer *fileLayer;     // file URLs: temp-file lock and the memory-block registry
    struct VfsTypeRegistry *streamTypes; // virtual streams: the registered stream types
                                         // (platform/vfs/vfs.h; null: none registered)
    uint32_t flowMode;    // view mode: 0 pages, 1 flow, 3 flow variant (viewer/flowmode.h)
    uint32_t flowWidth;   // view mode: the width text flows to, 16.16 (0 with pages)
    int32_t flowTextSize; // view mode: the flow layout's text size, 16.16
    Edr_App *edrApp;      // document model: the application's eDR record (null: none)
    const struct Edr_WebOps *webOps; // document model: the web layer's operations, installed by
                                     // the web layer (document/edr/webops.h; null: none)
    const struct Edr_LayoutOps *layoutOps; // document model: layout's operations, installed by
                                           // layout (document/edr/layoutops.h; null: none)
    const struct Edr_ViewOps *viewOps;     // document model: the viewer's operations, installed by
                                           // the viewer (document/edr/viewops.h; null: none)
    // Layout: lays out a sheet grid node under its style set, installed by
    // the spreadsheet code (spreadsheet/gridlayout.h; null: a grid node
    // places nothing).
    int (*layoutGridNode)(struct LayoutBox *box, struct Edr_Node *node, struct Edr_Style *style);
    // Configuration: a setting changed while the engine runs; the viewer
    // installs it while it shows documents, to read its zoom, pan and
    // key-repeat settings again (null: nobody to tell).
    void (*settingsChanged)(struct EngineInstance *instance);
    Map *configWatches;      // configuration store: watch name -> WatchList (null: none)
    void *hostHooksState;    // host stream hooks: the module's state word (0: none)
    ImageStore *imageStore;  // image store: the shared images and their workers (null: none)
    ImageCache *imageCache;  // image cache: decoded pictures under the byte budget (null: none)
    Lock *scaledEntryLock;   // guards scaled-image cache entries (viewer/scaledentry.h; null: none)
    int32_t loadTrackers;    // load progress: live trackers (document/edr/loadprogress.h)
    void *drawEffects;       // drawing effects: the stage lists of Obj_kindRecord (null: none yet)
    FontEngine *fontEngine;  // fonts: the font engine (fonts/fontengine.h; null: none)
    MemoryListFn memoryList; // buffered reader: its in-memory list, installed by the font
                             // engine (platform/vfs/bufstream.h; null: none)
    FormsModule *forms;      // form widgets: the class registry and default font (null: none)
    uint32_t featureFlags;   // engine features: bit 1 image data streams are shared
                             // (graphics/sharedstream.h)
    int32_t *thumbSizes;     // viewer: thumbnail side limits {minimum, maximum} (null: not watched)
    struct SearchOps
        *searchOps; // viewer: the text search operations (viewer/search/searchops.h; null: none)
    CookieStore *cookies; // cookie store (html/web/cookie.h; null: not open)
    HttpCache *httpCache; // HTTP response cache (html/web/httpcache.h; null: not installed)
};
