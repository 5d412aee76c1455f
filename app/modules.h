// Engine module start-up and teardown.
//
// Once the engine instance exists and "SimpleAppThread" runs, the modules
// come up in two stages in a fixed order, each into its own word of the
// EngineContext, and go down in one fixed order. Every teardown routine
// accepts a module that was never created (or is gone already): one
// teardown serves the normal end and the unwinding of a start that failed
// half-way, and running it twice does nothing the second time.
//
// First stage (Engine_initModules): random seed from the date, the task
// system check, the spreadsheet setting word, the 256-entry table, the
// worker pool, the event processor and its timer thread, the formatter's
// URL conversion, the graphics module, the file layer with the built-in
// files, the character-set hooks, the font engine and the spreadsheet
// function names.
//
// Second stage (Engine_initServices): the settings file, the font
// location, the web display settings, the history list, the East Asian
// codecs, the browsing settings, the host's configuration hook, the
// graphics services, the form controls, the document model, the view
// settings, the display manager, the thumbnail size watches, the host
// stream hooks, the document-type registry with the host's handlers, and
// the display settings.
//
// Both stages run on an engine task; the teardown waits for tasks and so
// runs on one too.
#pragma once

#include <cstdint>

#include "platform/api/app.h"

struct EngineContext;

// The first stage. options is stored in the context (the caller keeps it). 0;
// Res_nullInput for a null context; the task-system check's error (nothing torn
// down); otherwise the first module's error after a full teardown.
[[nodiscard]] int Engine_initModules(EngineContext *context, void *options);

// The second stage; needs the configuration store in context->config. fontUrl
// is the font directory's URL text, settingsDir the directory of the settings
// file (URL text ending in "/"), hostHook the host's configuration hook. 0;
// Res_nullInput when any of the three is null (nothing torn down); otherwise
// the first error, after the store has been freed and every module torn down.
[[nodiscard]] int Engine_initServices(EngineContext *context, const char *fontUrl,
                                      const char *settingsDir, EngineHostHookFn hostHook);

// Stops the active parts: the event processor (what it holds is
// delivered), the timer thread, the workers (every job ends), the display
// manager's updaters and the thumbnail watches. From a task.
void Engine_stopModules(EngineContext *context);

// Engine_stopModules, then every module released in the fixed order.
// Nothing when context is null or keep is non-zero. From a task.
void Engine_finiModules(EngineContext *context, int keep);

// The table of the three above that the viewer's configuration runs
// (FvViewer::modules).
extern const FvModuleOps Engine_moduleOps;

// The task-system check of the first stage: the context must have a
// scheduler and the caller must be one of its tasks. 0, or 16.
int Engine_checkTaskSystem(EngineContext *context);
