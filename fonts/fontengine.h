// The font engine as the document model uses it.
//
// Only the services that modules built before the font engine call are
// declared here so far.
#pragma once

struct EngineContext;

// Unregisters a font that a document registered.
void FontEngine_unregisterFont(EngineContext *context, void *font);
