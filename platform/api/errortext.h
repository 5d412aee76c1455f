// Two engine-wide diagnostics: the text shown for an error code that has
// no message of its own, and the check that stops the engine on a result
// that cannot be non-zero in a sound engine.
#pragma once

#include <cstdint>

// The constant 16-bit text "Unknown error (%1,%2,%3)", the same pointer
// whatever the code. The placeholders stay for whoever formats the
// message. Callers copy the text (Ustr_dup) and never change or free it.
const char16_t *Engine_unknownErrorText(int32_t code);

// Returns when result is 0. Any other result is fatal: the engine's abort
// path (Std_abort) runs and this does not return. Nothing is logged.
void Engine_abortIfError(int result);
