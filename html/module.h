// The web layer's module steps at engine start-up and teardown: its
// display settings, its browsing settings and the form controls. The
// teardowns accept a module that never started.
#pragma once

#include <cstdint>

struct EngineContext;

// The web display settings. 0 or an error.
int Web_initDisplaySettings(EngineContext *context);
void Web_freeDisplaySettings(EngineContext *context);
// The browsing settings: the settings directory (URL text), a flag and a
// mode word. 0 or an error.
int Web_initBrowsing(EngineContext *context, const char *settingsDir, int flag, int32_t mode);
void Web_freeBrowsing(EngineContext *context);
// The form-control classes. 0 or an error.
int Form_initModule(EngineContext *context);
void Form_freeModule(EngineContext *context);
