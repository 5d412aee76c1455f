// The graphics subsystem's module steps at engine start-up and teardown.
//
// The module hook of the first start-up stage and the services hook of
// the second, each with its teardown. The teardowns accept a module that
// never started.
#pragma once

#include <cstdint>

struct EngineContext;

// First stage: the graphics module. 0 or an error.
int Graphics_initModule(EngineContext *context);
void Graphics_finiModule(EngineContext *context);
// Second stage: the graphics services (image store, codecs). 0 or an error.
int Graphics_initServices(EngineContext *context);
void Graphics_freeServices(EngineContext *context);
