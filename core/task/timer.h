// The engine clock and the timer queue.
//
// The engine reads time in milliseconds through the engine clock: the host's
// monotonic millisecond clock, kept from running backwards by small steps,
// and on every read a chance for the timer thread to notice a due timer.
// Differences of clock values are taken in unsigned arithmetic and read as
// signed, so that comparisons stay right across a wrap.
#pragma once

#include <cstdint>

struct EngineInstance;

// The engine clock of the instance in milliseconds (0 without an instance).
int64_t AlienTimer_getTimeMs(EngineInstance *instance);
