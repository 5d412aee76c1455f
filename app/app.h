// The application framework: the document viewer that runs inside the
// engine.
//
// App_start is the application entry that the host hands to Engine_start.
// It builds the application record (FvViewer, platform/api/app.h), fills
// the application's callback table and queue, and starts the task
// "SimpleAppThread". That task configures the engine (every module up, the
// settings read, the document handlers registered), opens the start
// document when the host gave one, tells the host that the application is
// ready (request 0x10004) and serves the application queue until the close
// event; then it takes the viewer and the modules down again.
#pragma once

#include <cstdint>

#include "platform/api/app.h"

// ------------------------------------------------------------ the entry

// The application entry (see engine.h): start options from the start
// event, the application record, queue and task. 1 on success; 0 on
// failure, with nothing of the application left and the instance's
// application-failed flag set.
int App_start(EngineInstance *instance, const AppEvent *startEvent);

// The application entry (App_start), for hosts that take it through a
// getter.
typedef int (*EngineEntryFn)(struct EngineInstance *instance, const AppEvent *startEvent);
EngineEntryFn App_getEntry();

// Fills the seventeen option words with their defaults; word 7 stays 0
// (App_start gives it its own copy of the default settings block).
void App_initStartOptions(FvStartOptions *options);

// Makes the viewer record with a copy of the options (taking over the
// settings block of word 7), the callback table, the key record
// (EngineInstance::keys), the
// application queue, the history listener and the viewer as application
// object 1. 1, or 0 with everything undone and the application-failed
// flag set (the settings block is then the caller's again).
int App_createContext(EngineInstance *instance, const FvStartOptions *options);

// Makes the start-document URL from the start event's first option word
// (an 8-bit path or URL text, 0 for none) and starts "SimpleAppThread". 1,
// or 0 with the viewer freed and the application-failed flag set.
int App_startThread(EngineInstance *instance, const AppEvent *startEvent);

// The body of "SimpleAppThread": App_run with the engine's fixed locations.
void App_threadMain(void *viewer);

// Configures the engine, opens the start document, reports readiness and
// serves the queue until the close event; then tears the application
// down. 1 after a normal close; 0 when the start failed (the host then
// receives request 0x10009).
int App_run(FvViewer *viewer, const char *rootUrl, const char *fontUrl, const char *resourceUrl);

// Stops the modules, frees the key record, forgets the viewer object and
// the history listener, tears the viewer down (which finishes the modules)
// and frees the viewer record. full is handed to the viewer's teardown.
// Nothing when the instance has no viewer.
void App_destroy(EngineInstance *instance, int full);

// ------------------------------------------------------- opening documents

// Asks the view to open url under the name (a page key). Takes over url.
// 0 when the view accepted or completed it; otherwise the URL is freed,
// error 0x10002 goes to the host unless the view answered 1 (a request it
// dropped), and the view's answer comes back.
int App_loadUrl(EngineInstance *instance, intptr_t name, Url *url, intptr_t flags);

// Callback slot 7: an 8-bit path or URL text made a URL and opened with
// App_loadUrl (name a, flags). Slot 8: the same after resolving the text
// in w2 against the base URL in w1 (null: none). Slot 9: a copy of the URL
// in the argument word is opened (the event's own URL stays the caller's).
int App_openPath(EngineInstance *instance, intptr_t a, const char *path, intptr_t flags);
int App_openResolved(EngineInstance *instance, intptr_t base, intptr_t text, intptr_t a,
                     intptr_t owned, intptr_t flags);
int App_openUrl(EngineInstance *instance, intptr_t a, intptr_t url, intptr_t flags);

// Callback slot 4: runs every cleanup callback with the instance (each node
// freed after its call), then frees the value list. 0.
int App_close(EngineInstance *instance);
