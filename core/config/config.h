// The configuration store: settings read by domain and key.
//
// Only the services that modules built before the configuration store call
// are declared here so far; the store's own module defines the rest.
#pragma once

#include <cstdint>

struct EngineContext;
struct ConfigStore;

// The value of the 8-bit key in the domain ("default" when null), or the
// default, which a first read stores for the key.
uint32_t Config_getIntA(EngineContext *context, ConfigStore *store, const char16_t *domain, const char *key,
                        uint32_t defaultValue);
