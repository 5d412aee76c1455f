// Body sources of the MIME reader, and the list that holds them.
//
// A body source stands for one piece of a message body that a reader hands
// on: owned bytes (kind 1) or a payload that its owner releases through
// callbacks. The list grows by doubling and keeps each source at the index
// its producer gives, so sources that arrive out of order land in place.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

// Release callbacks of a body source.
typedef void (*MimeSrcFn)(void *data);

enum : uint32_t {
    MimeSrc_kindBytes = 1,   // data with a free callback, and an owned buffer pair
    MimeSrc_kindPayload = 2, // a payload released by the second callback
    MimeSrc_listStart = 2,   // the list's first capacity
};

// One body source (an engine heap record, freed by Mime_srcFree).
struct MimeSrc {
    uint32_t kind;
    MimeSrcFn release; // first callback: kind 1 frees data with it; other kinds (not 2) the payload
    MimeSrcFn release2; // second callback: kind 2 releases the payload with it
    void *data;         // kind 1: the data; other kinds: the payload
    void *buffers[2];   // kind 1: the owned buffer pair (engine heap, null allowed)
};

// A list of body sources; its users hold its lock around changes.
struct MimeSrcList {
    Lock lock;
    MimeSrc **sources; // capacity entries, unused ones null
    uint32_t count;    // one past the highest index stored
    uint32_t capacity;
};

// Frees a body source by its kind: kind 1 calls its release callback on
// its data and frees its buffer pair; kind 2 calls release2 on the payload;
// any other kind calls release on the payload. A missing callback is
// skipped; null is ignored.
void Mime_srcFree(MimeSrc *source);
// Stores source at index, growing the array by doubling from 2 as needed;
// at or beyond the count the count becomes index + 1. An index below the
// count frees the new source instead (the one stored there stays). The
// list takes the source in every case. 0; 1 out of memory (the source is
// freed); Res_missingArgument for a null list.
[[nodiscard]] int Mime_srcListPut(MimeSrcList *list, uint32_t index, MimeSrc *source);
