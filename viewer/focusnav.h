// Focus navigation: scoring the focusable objects of a page against the
// focused one for a step in a direction.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

enum : uint32_t {
    // Direction codes in bits 1-3 of the search flags; any other value
    // scores by plain distance.
    FocusDir_mask = 0x0E,
    FocusDir_left = 8,
    FocusDir_right = 10,
    FocusDir_up = 12,            // towards smaller y
    FocusDir_down = 14,          // towards larger y
    FocusDir_strict = 0x20,      // only candidates beyond the leading edge count
    FocusDir_visibleOnly = 0x40, // candidates outside the region are rejected
};

// What a step scores candidates against. The area is the part of the page
// searched: its leading edge is the one the travel starts from, its far
// edge the one it goes towards.
struct FocusScoreRecord {
    uint32_t flags;
    const Rect *region; // the visible region, or null
    Rect focus;         // the current focus rectangle
    Rect area;          // the search area
    int32_t offset[2];  // the page's offset, added to every candidate
};

// Scores a candidate rectangle (in page units): 1 with *primary and
// *secondary set when it is taken (the smallest primary, then the smallest
// secondary, wins), 0 when it is rejected.
int View_scoreCandidate(const FocusScoreRecord *record, const Rect *candidate, int64_t *primary,
                        int64_t *secondary);
