// The host's search entry points.
//
// Each copies its arguments on the GUI thread and posts a deferred call to
// the application thread; results come back as host request 0x11000 with a
// SearchReport. Each answers 1 when posted and 0 otherwise.
//
// Only the entry points that the host calls are declared here so far.
#pragma once

#include <cstdint>

struct EngineInstance;

enum : int32_t { App_requestSearch = 0x11000 };

// The record of request 0x11000.
struct SearchReport {
    int32_t outcome;            // 0x10000 to 0x10004
    int32_t direction;          // 0x10000 forward, 0x10001 backward, 0x10002 (not for the host)
    int32_t page;               // 1-based page current when the result arrived
};

// Starts a search for the 8-bit (UTF-8) text (copied); a, b and c are the
// search options (the host passes 0).
int App_searchStart(EngineInstance *instance, const char *text, intptr_t a, intptr_t b, intptr_t c);
int App_searchNext(EngineInstance *instance);
// The follow-up step: the search goes on from the start after a wrap.
int App_searchFollowUp(EngineInstance *instance);
int App_searchCancel(EngineInstance *instance);
