// The engine-wide words that must start clean for every engine: the
// formatter's registered conversion letters and the heap's statistics.
#pragma once

// Clears the calling thread's engine's registry of formatter conversion
// letters (freeing it) and the heap's statistics words (the out-of-memory
// indicator). Called once at engine creation; does nothing without an
// engine on the thread.
void Engine_resetStatics();
