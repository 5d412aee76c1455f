// The browsing history list.
//
// Declared here so far: the module step of engine start-up, and the list
// object that the application keeps as its second close hook.
#pragma once

struct EngineContext;
struct EngineInstance;
struct AppCloseHook;
struct Url;

// The history module of the second start-up stage. 0 or an error; the
// teardown accepts a module that never started.
int History_initModule(EngineContext *context);
void History_freeModule(EngineContext *context);

// Creates the history list object. Its close operation (called when the
// application closes) frees it and clears the instance's close hook that
// holds it. Null when memory runs out.
AppCloseHook *History_create(EngineInstance *instance);
// Adds a loaded URL (copied) to the list. Nothing for a null list or URL.
void History_addUrl(AppCloseHook *list, const Url *url);
