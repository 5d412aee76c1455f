// The font engine as the document model uses it.
//
// Only the services that modules built before the font engine call are
// declared here so far.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct EngineInstance;
struct FontList;
struct Matrix;

// Unregisters a font that a document registered.
void FontEngine_unregisterFont(EngineContext *context, void *font);

// Create and free the font engine at engine start-up and teardown. 0 or an
// error; free accepts an engine that never started.
int FontEngine_init(EngineContext *context);
void FontEngine_free(EngineContext *context);
// Registers the built-in fonts, font packs, CMaps and character-set tables
// of every language module, in their fixed order (the hosts' configuration
// hooks call it once at start-up).
void FontEngine_registerBuiltins(EngineContext *context);
// Registers the font directory (the URL stays the caller's). 0 or an error.
int FontEngine_setLocation(EngineContext *context, const Url *url);
// The font engine's in-memory list: the 8-bit file names whose files the
// buffered reader (core/stream/bufstream.h) reads whole into memory, where
// a file's URL ends in "/" and one of them. *names (lent) and *count; null
// and 0 when the engine keeps no list.
void FontEngine_getMemoryList(EngineContext *context, const char *const **names, uint32_t *count);
// Makes a font list for the first count family names of families (8-bit),
// with the matching flags and the text matrix (null: identity): up to
// eight faces in preference order, one reference into *out. 0, 1 when
// memory runs out, or 13 when no face matches; *out null on failure.
[[nodiscard]] int Font_listCreate(EngineInstance *instance, const char *const *families, uint32_t count,
                                  uint32_t flags, const Matrix *matrix, FontList **out);
// Drops a reference on a font list (null allowed).
void Font_listRelease(FontList *list);
