// The viewer's page set: every document the viewer shows or loads, keyed
// by small integers, each entry with the document's load-progress tracker.
//
// Keys run 1, 2, 3 ... from the last key handed out, skipping 0 and keys in
// use; after 0xffffffff (the set's maxKey) comes 1. The set is guarded by
// its own lock.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct Edr_Doc;
struct EventProcMsg;
struct FvPage;
struct LoadProgress;

enum : int {
    Res_pageSetNoEntry = 27392,       // no entry for the key
    Res_pageSetNoTracker = 27393,     // the entry has no progress tracker
    Res_pageSetKeysExhausted = 27394, // no free key: the search came back to the last key
};

struct FvPageSetEntry {
    Edr_Doc *document; // reference held, or null
    uint32_t key;      // never 0
    FvPage *page;
    LoadProgress *tracker; // made on first use (reference held)
    FvPageSetEntry *next;
};

struct FvPageSet {
    EngineContext *context;
    FvPageSetEntry *head;
    Lock lock;
    uint32_t lastKey; // 0 before the first key
    uint32_t maxKey;  // the largest key: 0xffffffff (tests lower it to reach the wrap and the end)
};

// 0; 1 without memory (*set null).
[[nodiscard]] int PageSet_create(EngineContext *context, FvPageSet **set);
// Frees every entry (its tracker and document reference) and the set.
void PageSet_free(FvPageSet *set);
// A new entry for page at the tail, with a fresh key. 0; 1 without memory;
// 27394 when every key is in use.
[[nodiscard]] int PageSet_add(FvPageSet *set, FvPage *page, uint32_t *key);
// Unlinks and frees the entry; nothing when absent.
void PageSet_remove(FvPageSet *set, uint32_t key);
// Stores document (a reference is taken; null clears). With a document the
// tracker is made (or reset), the document takes it, and the counters of
// documents (2) and dependent objects (3) are started (total 1, done 0).
// 0; 1 without memory; 27392 without the entry. Key 0, the viewer's own
// page, has its entry made here with its first document.
[[nodiscard]] int PageSet_setDocument(FvPageSet *set, uint32_t key, Edr_Doc *document);
// Gives document the entry's existing tracker and restarts counters 2 and
// 3. 0; 27392 without the entry; 27393 without a tracker.
[[nodiscard]] int PageSet_restartTracking(FvPageSet *set, uint32_t key, Edr_Doc *document);
// Marks counters 2 and 3 of the entry's tracker done.
void PageSet_finishTracking(FvPageSet *set, uint32_t key);
// The entry's tracker or page record; null when absent.
LoadProgress *PageSet_tracker(FvPageSet *set, uint32_t key);
FvPage *PageSet_page(FvPageSet *set, uint32_t key);
// Progress bookkeeping of a document event before the viewer's handler:
// code messages 15 and 16 (a part of the document loaded) advance counter
// 3 of the document's tracker; when it reaches its total the application
// is sent code message 17 (first page available) for the document.
void PageSet_onEvent(FvPageSet *set, const EventProcMsg *msg);
