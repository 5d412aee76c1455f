// The viewer's text search engine as its callers reach it: a table of
// operations, each taking the document first. A step runs on the search
// worker and reports its result to a callback.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct EngineContext;
struct Edr_Doc;

// The result of one step (eight words).
struct SearchResult {
    int32_t code;               // 0 no match, 1 match, 2 and 3 end of range backward and forward, 4 error
    Rect rect;                  // the match, document units
    int32_t page;               // the match's page index
    int32_t minZoom;            // the smallest and largest zoom (16.16) to show it at
    int32_t maxZoom;
};

// The step's callback: status 0 forward, 1 backward, 2 a step the host is
// not told about.
typedef void (*SearchResultFn)(void *owner, int32_t status, const SearchResult *result);

struct SearchOps {
    // 0: prepares a search for text from the page index, backward or not,
    // from the start point, with the option words (b << 16, c << 16).
    int (*prepare)(Edr_Doc *doc, const char16_t *text, int32_t page, int32_t backward, int32_t x,
                   int32_t y, int32_t optionB, int32_t optionC);
    int (*slot1)(Edr_Doc *doc);
    // 2: starts one step in direction 0, 1 or 2; the callback gets owner.
    int (*step)(Edr_Doc *doc, int32_t direction, void *owner, SearchResultFn callback);
    int (*cancel)(Edr_Doc *doc);                          // 3
    int (*setStart)(Edr_Doc *doc, int32_t x, int32_t y);  // 4
    int (*hasStart)(Edr_Doc *doc);                        // 5: non-zero when a start point is set
    int (*setPage)(Edr_Doc *doc, int32_t index);          // 6
};

// The engine's search operations (*ops stays valid for the engine's
// life). 0, or an error with *ops null.
int Search_createInterface(EngineContext *context, const SearchOps **ops);
