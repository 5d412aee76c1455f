// The marks that code outside the display manager leaves on its views.
#pragma once

struct EngineContext;

// Clears the marks that code outside the display manager leaves on its
// views (the draw-through flag and the spare word) on every view of the
// engine's display manager; nothing without one.
void DocList_clearViewMarks(EngineContext *context);
