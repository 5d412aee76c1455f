// Interim definitions of core services whose modules are not built yet.
#include "core/config/config.h"

// Interim: there is no configuration store yet, so every setting reads as
// its default.
uint32_t Config_getIntA(EngineContext *, ConfigStore *, const char16_t *, const char *, uint32_t defaultValue)
{
    return defaultValue;
}
