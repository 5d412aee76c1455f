// The overlay manager: sprites composed over the screen at every present.
//
// Only the two services that presenting asks are declared so far.
#pragma once

struct EngineContext;

// 1 when the engine has an overlay manager.
int Overlay_exists(EngineContext *engine);
// Composes the sprites over the screen's image and flushes it to the host:
// 1 done, 0 not possible (the caller then presents itself).
int Overlay_redrawAll(EngineContext *engine);
