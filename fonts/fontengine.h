// The font engine as the document model uses it.
//
// Only the services that modules built before the font engine call are
// declared here so far.
#pragma once

struct EngineContext;
struct Url;

// Unregisters a font that a document registered.
void FontEngine_unregisterFont(EngineContext *context, void *font);

// Create and free the font engine at engine start-up and teardown. 0 or an
// error; free accepts an engine that never started.
int FontEngine_init(EngineContext *context);
void FontEngine_free(EngineContext *context);
// Registers the font directory (the URL stays the caller's). 0 or an error.
int FontEngine_setLocation(EngineContext *context, const Url *url);
