// The session history: the URLs visited in the viewer, in memory only,
// with a current position, a size bound from the settings and a report of
// whether going back and forward is possible after each addition.
//
// The application keeps the history as its second close hook: closing the
// application destroys it.
#pragma once

#include <cstdint>

#include "platform/api/appqueue.h"

struct EngineInstance;
struct List;
struct Url;

// Navigation states reported after an addition.
enum : int32_t {
    SessionHistory_forwardOnly = 1,
    SessionHistory_backAndForward = 2,
    SessionHistory_backOnly = 3,
    SessionHistory_neither = 4,
    SessionHistory_defaultMaxEntries = 64,
};

typedef void (*SessionHistoryNotifyFn)(int32_t state, void *data);

struct SessionHistory {
    AppCloseHook hook;             // its close destroys the history
    List *list;                    // entries: owned Url copies
    int32_t current;               // index of the current entry, -1 when none
    SessionHistoryNotifyFn notify; // may be null
    void *notifyData;
    EngineInstance *owner; // its context and settings are used
    void (*destroyFn)(EngineInstance *owner);
};

// A new, empty history of the owner (pool 4, growth 4). Null when memory
// runs out.
SessionHistory *SessionHistory_create(EngineInstance *owner);
// Adds a visited URL (copied) after the current entry, dropping the
// forward entries and the oldest ones beyond the "Vexlan_sessionHistoryMaxEntries"
// bound (64 by default; 0: no bound), then reports the navigation state.
// Nothing for a null history or URL.
void Session_historyAdd(SessionHistory *history, const Url *url);
// Renders the current entry's URL with all its parts as 8-bit text and asks the
// application to open it on its own thread. 0; 1 when memory runs out or the
// call cannot be queued; Res_notFound when there is no current entry.
int SessionHistory_openCurrent(EngineInstance *owner);
// Destroys the owner's history (its second close hook) and clears the
// hook. Nothing when it has none.
void SessionHistory_destroy(EngineInstance *owner);
