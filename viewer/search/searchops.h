// The engine's text search operations: a table of seven operations that
// the engine installs on its context at start-up and calls for the
// viewer's search commands. Each takes the document's locks in a fixed
// order (document read lock, then the page-list read lock) and hands over
// to the document's search (viewer/search/search.h). A step runs as the job
// "doSearchWorker" on the worker pool and ends by calling the requester's
// result callback on the worker, with the locks held; a match found
// becomes the highlighted selection of the document.
#pragma once

#include <cstdint>

#include "viewer/search/search.h"

struct EngineContext;
struct Edr_Doc;

// The result handed to a search callback: the search's outcome record.
typedef SearchOutcome SearchResult;

struct SearchOps {
    // Stores a search text (length units) folded by the options, the start
    // page and point (x, y) and two scale words, and starts a fresh search.
    // A null or empty text changes nothing. 0 or 1 when out of memory.
    int (*setText)(Edr_Doc *doc, const char16_t *text, uint32_t length, int32_t startPage,
                   uint32_t options, int32_t x, int32_t y, int32_t scale1, int32_t scale2);
    // Stops any step and forgets the search and its text.
    void (*clearText)(Edr_Doc *doc);
    // Runs one step on a worker: direction 0 forward, 1 backward, 2 repeat.
    // A step still running from an earlier start is cancelled and waited
    // for first. Without a search it does nothing. 0 or the pool's error.
    int (*start)(Edr_Doc *doc, int32_t direction, void *context, SearchCallback callback);
    // Removes the current match's highlight and ends the search (the text
    // stays).
    void (*stop)(Edr_Doc *doc);
    // A fresh search from the start page and point when a text is set.
    int (*restart)(Edr_Doc *doc, int32_t startPage, int32_t x, int32_t y);
    // 1 while a search is set up.
    int32_t (*isActive)(Edr_Doc *doc);
    // Makes the next step go on from the page when it is below the page
    // count; 0 or the page count's error.
    int (*setStartPage)(Edr_Doc *doc, int32_t page);
};

// Installs the table on the context: 0 at once for a null context or when
// the table exists; 1 when out of memory.
[[nodiscard]] int Search_createInterface(EngineContext *context);
// Frees the table (null context allowed).
void Search_destroyInterface(EngineContext *context);

// The operations of the table, callable directly.
[[nodiscard]] int Search_setText(Edr_Doc *doc, const char16_t *text, uint32_t length,
                                 int32_t startPage, uint32_t options, int32_t x, int32_t y,
                                 int32_t scale1, int32_t scale2);
void Search_clearText(Edr_Doc *doc);
[[nodiscard]] int Search_start(Edr_Doc *doc, int32_t direction, void *context,
                               SearchCallback callback);
void Search_stop(Edr_Doc *doc);
[[nodiscard]] int Search_restartLocked(Edr_Doc *doc, int32_t startPage, int32_t x, int32_t y);
int32_t Search_isActive(Edr_Doc *doc);
[[nodiscard]] int Search_setStartPage(Edr_Doc *doc, int32_t page);

// A record of two words (null when out of memory), and its release.
int32_t *Search_newPair(void);
void Search_freePair(int32_t *pair);
