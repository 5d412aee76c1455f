// Embedded objects (object, applet and embed elements) of a page: each
// element opens a plug-in object, its param children and attributes fill
// it, and its end closes it.
//
// Only the services that tree building calls are declared here so far.
#pragma once

struct PluginState;

// Opens a plug-in object under the current one (or as the root).
int Plugin_begin(PluginState *state);
// Closes the current object; closing the root embeds the whole tree.
int Plugin_end(PluginState *state);
// Frees the state and every object still in it (null allowed).
void Plugin_free(PluginState *state);
