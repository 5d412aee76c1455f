// The host's search entry points and the search's work on the application
// thread.
//
// Each entry point copies its arguments on the GUI thread and posts a
// deferred call to the application thread; results come back as host
// request 0x11000 with a SearchReport. Each answers 1 when posted and 0
// otherwise. The search itself is the viewer's search engine (the
// SearchOps table on the engine context, viewer/search/searchops.h): its
// results move the view to the match and tell the host. A document whose
// pages are built on demand is searched one page at a time, the walk
// wrapping around at either end. The entry points and the walk are built
// over the viewer, in viewer/api/search.cpp.
#pragma once

#include <cstdint>

struct EngineInstance;
struct FvViewer;
struct FvPage;
struct Point;
struct SearchOutcome;

enum : int32_t { App_requestSearch = 0x11000 };

// Outcomes and directions of request 0x11000.
enum : int32_t {
    Search_outcomeMatch = 0x10000, // the match is shown
    Search_outcomeNoMatch = 0x10001,
    Search_outcomeEnd = 0x10002,      // the end of the range was reached
    Search_outcomeError = 0x10003,    // an error, or the search ended
    Search_outcomeNextPage = 0x10004, // the search goes on with the next page
    SearchReport_forward = 0x10000,
    SearchReport_backward = 0x10001,
    SearchReport_silent = 0x10002, // the host ignores the record
};

// The record of request 0x11000. Status reports carry {0x10003, status}.
struct SearchReport {
    int32_t outcome;   // 0x10000 to 0x10004
    int32_t direction; // 0x10000 forward, 0x10001 backward, 0x10002 (not for the host)
    int32_t page;      // 1-based page current when the result arrived
};

// Phases of the page-by-page walk.
enum : int32_t {
    SearchPhase_idle = 0,
    SearchPhase_moving = 1,      // moving to the next page to search
    SearchPhase_stepPending = 2, // a page is done; the host asks for the next step
    SearchPhase_started = 3,
    SearchPhase_found = 4,
};

// The viewer's walk through the pages of a page-on-demand document,
// created at its first search and kept with the viewer (the document's
// search engine keeps its own SearchState for the search itself).
struct SearchWalkState {
    int32_t current;   // the page being searched
    int32_t start;     // the page the search started on
    int32_t direction; // of the last result: 0 forward, 1 backward
    int32_t phase;     // SearchPhase_*
    int32_t busy;      // screen output is blocked
    int32_t wrapped;   // one backward wrap is done
    int32_t spare;
};

// Starts a search for the 8-bit (UTF-8) text (copied as UTF-16); a > 0
// searches backward, b and c are the engine's option words. 0 for an
// empty or unconvertible text.
int App_searchStart(EngineInstance *instance, const char *text, intptr_t a, intptr_t b, intptr_t c);
int App_searchNext(EngineInstance *instance);
int App_searchPrevious(EngineInstance *instance);
// The follow-up step (direction 2): the search goes on after a match.
int App_searchFollowUp(EngineInstance *instance);
// Makes the engine's search go on from the page index.
int App_searchSetPage(EngineInstance *instance, intptr_t index);
int App_searchCancel(EngineInstance *instance);

// The deferred calls.
void Search_runStart(EngineInstance *instance, void *request);
void Search_runNext(EngineInstance *instance, void *unused);
void Search_runPrevious(EngineInstance *instance, void *unused);
void Search_runFollowUp(EngineInstance *instance, void *unused);
void Search_runSetPage(EngineInstance *instance, void *index);
void Search_runCancel(EngineInstance *instance, void *unused);
// The completion of a start request that never ran: frees it.
void Search_freeStartRequest(void *block);

// The engine's result callback (on the search worker; owner is the
// instance): posts the result to the application thread.
void Search_onResult(void *owner, int32_t status, const SearchOutcome *result);
// Shows a result and tells the host (message: the posted copy, freed).
void Search_deliverResult(EngineInstance *instance, void *message);
// A result of a page-by-page search: the walk to the next page, or the
// result delivered.
void Search_onResultPaged(EngineInstance *instance, void *message);

// Sends {0x10003, status} to the host.
void Search_reportStatus(EngineInstance *instance, int32_t status);
// 1 blocks screen output (and marks the state busy), 0 releases and
// refreshes it.
void Search_setBusy(FvViewer *viewer, int flag);
// The document point of the view's top-left corner (moved by the view's
// left and top margins).
void Search_viewOrigin(FvViewer *viewer, FvPage *page, Point *out);
// One step of the engine in direction 0, 1 or 2. 0 or an error.
[[nodiscard]] int Search_step(FvViewer *viewer, FvPage *page, int32_t direction);
// The viewer's page-ready event: a walk moving to its next page (phase 1)
// starts the step there in its direction.
void Search_onPageReady(FvViewer *viewer);
