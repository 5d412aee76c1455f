// The engine command API: the host's wrappers that turn actions into host
// events and application events.
//
// Declared so far: the handling of a configuration event on the
// application thread.
#pragma once

#include <cstdint>

struct EngineInstance;

// Applies a configuration block {0, instance, key, type, value} (key a
// 16-bit string, type 0 an integer value, 1 a 16-bit string value; the
// block owns the strings): the application's configuration slot sees it
// first; the strings are freed afterwards.
void App_setConfigFromEvent(EngineInstance *instance, intptr_t *block);
