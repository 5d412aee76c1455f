// The host's screen changes: a turn of the display and a new content size
// after full screen toggles, run on the application thread where the
// viewer turns or resizes its screen.
#pragma once

#include <cstdint>

struct EngineInstance;

// The screen's turn chosen by the host: 0x10003 upright, 0x10006 or
// 0x10004 (a quarter turn either way).
int App_setRotation(EngineInstance *instance, intptr_t value);
// The content size after a full-screen change; a and b are 0.
int App_setScreenSize(EngineInstance *instance, int32_t width, int32_t height, intptr_t a,
                      intptr_t b);
