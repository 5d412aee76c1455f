// The synthetic "Spaces" font: the face that draws the space characters no
// real font supplies.
#pragma once

struct EngineContext;

// Creates the "Spaces" face and stores it in the context's font engine.
// 0 or 1.
[[nodiscard]] int SpacesFont_create(EngineContext *context);
// Drops the font engine's "Spaces" face.
void SpacesFont_release(EngineContext *context);
