// The history module step of engine start-up. (The session history itself
// is html/web/sessionhistory.h.)
#pragma once

struct EngineContext;

// The history module of the second start-up stage. 0 or an error; the
// teardown accepts a module that never started.
int History_initModule(EngineContext *context);
void History_freeModule(EngineContext *context);
