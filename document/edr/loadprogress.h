// Load progress: one tracker per document being loaded. Importers and the
// stream layer report what they expect and what they have done in five
// categories (0 source bytes, 1 parsing work, 2 documents, 3 images and
// other dependent objects, 4 downloaded bytes); the tracker turns them into
// one percentage (weights 30, 50, 10, 10, 0), posts event 31 when a
// category moved by 5 % or the percentage by a point, and enforces the
// download limit "Vexlan_downloadLimit" (bytes, 0 none): once category 4
// has passed it, event 32 is posted once, every report answers 0x6800
// and the percentage reads 100.
//
// A count of -1 means "unknown". Every read and write happens under the
// tracker's lock; events are posted after it is released.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

enum : int32_t {
    LoadProgress_categories = 5,
    LoadProgress_eventChanged = 31,      // the percentage or a category moved
    LoadProgress_eventLimitReached = 32, // the download limit was passed
};

enum : int {
    Res_downloadLimit = 0x6800, // the document fetched more than "Vexlan_downloadLimit" allows
};

struct LoadProgress {
    EngineContext *owner;
    Lock lock;
    int32_t counts[2 * LoadProgress_categories]; // done0, total0, done1, total1, ...
    uint32_t refs;
    int32_t limit;
    uint32_t limitReached;
    int32_t lastPercent;
    int32_t snapshot[2 * LoadProgress_categories];
};

// The default weights by category.
extern const uint32_t LoadProgress_defaultWeights[LoadProgress_categories];

// A new tracker (one reference) reading the limit from the owner's
// settings; counts the context's live trackers. 0; 1 memory (*out null).
[[nodiscard]] int LoadProgress_create(EngineContext *context, LoadProgress **out);
void LoadProgress_addRef(LoadProgress *tracker);
// Drops a reference; the last frees the tracker. Null allowed.
void LoadProgress_release(LoadProgress *tracker);
// Every count to 0 and the limit state cleared.
void LoadProgress_reset(LoadProgress *tracker);
// Store a count (done is clamped to a known total), then update.
[[nodiscard]] int LoadProgress_setDone(LoadProgress *tracker, uint32_t category, int32_t value);
[[nodiscard]] int LoadProgress_setTotal(LoadProgress *tracker, uint32_t category, int32_t value);
// Add to done (not to an unknown done; clamped to a known total), then
// update: the update's error, else 0x6800 once the limit was passed, else
// 0. Null trackers answer 0.
[[nodiscard]] int LoadProgress_addDone(LoadProgress *tracker, uint32_t category, int32_t n);
// 0x6800 without change once the limit was passed; else adds n to a known
// total and updates.
[[nodiscard]] int LoadProgress_addTotal(LoadProgress *tracker, uint32_t category, int32_t n);
// Each category: what is left of a known total becomes the total, and
// done 0 (a known total with an unknown done stays).
void LoadProgress_rebase(LoadProgress *tracker);
void LoadProgress_get(LoadProgress *tracker, uint32_t category, int32_t *done, int32_t *total);
// The overall percentage with weights (-1 when unknown); the announced one
// for the default weights.
int32_t LoadProgress_percent(LoadProgress *tracker,
                             const uint32_t weights[LoadProgress_categories]);
// The overall percentage of counts with weights, from a limit state and
// the counts alone (no lock).
int32_t LoadProgress_compute(const int32_t counts[2 * LoadProgress_categories],
                             uint32_t limitReached,
                             const uint32_t weights[LoadProgress_categories]);
