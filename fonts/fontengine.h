// The font engine: the one record through which the rest of the engine
// reaches fonts.
//
// Each engine context owns one FontEngine (EngineContext::fontEngine),
// null before it is created and after it is destroyed. Module start-up
// creates it, configuration gives it the fonts directory (the catalogue of
// installed faces, the base-14 metrics and the glyph caches come then),
// and teardown destroys it. A configuration that fails destroys the whole
// font engine, so every caller must be ready to find none.
//
// The record's lock (a cooperative engine lock, not recursive) is held by
// every public operation that reads or changes the catalogue, the document
// fonts, the font instances or a face's client data.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "fonts/charfilter.h"
#include "fonts/fontface.h"
#include "fonts/fontlist.h"
#include "fonts/fontmatch.h"

struct Array;
struct DrawTarget;
struct Rect;
struct Base14Metrics;
struct EngineContext;
struct EngineInstance;
struct FontCatalogue;
struct FontInstance;
struct FontList;
struct LruArena;
struct LruCache;
struct Matrix;
struct Url;

// The character-map formats the engine reads, in table order. 9998 is the
// engine's pair table of symbol fonts and embedded code tables, 9999 the
// compact CJK bitmap of the font packs.
enum : uint32_t {
    CmapFormat_0,
    CmapFormat_2,
    CmapFormat_4,
    CmapFormat_6,
    CmapFormat_pairs,  // format number 9998
    CmapFormat_bitmap, // format number 9999
    CmapFormat_count,
    CmapFormat_pairsNumber = 9998,
    CmapFormat_bitmapNumber = 9999,
};

// The handlers by format: each entry {map, load, release} in the shape of
// the single-byte encoding handler; an entry whose map is null is not
// available. Creation fills the first five; the CJK language modules
// install the sixth.
struct CmapFormatTable {
    SingleByteEncoding entries[CmapFormat_count];
};

struct FontEngine {
    Lock lock;                // guards everything below
    Url *fontsDir;            // owned copy of the fonts directory (null before configuration)
    FontCatalogue *catalogue; // installed faces (fonts/catalogue.h)
    Array *fonts;             // document fonts; each item holds one face reference (null: none)
    FontFace *spacesFont;     // the synthetic "Spaces" font (owned reference, may be null)
    Base14Metrics *metrics;   // "psbase14.bfm" (fonts/base14.h; null: none)
    FontInstance **instances; // faces opened for drawing, shared by the font lists
    uint32_t instanceCount;
    uint32_t instanceCapacity;
    LruCache *pathCache; // glyph outlines by font instance and glyph (null: no cache)
    LruArena *maskCache; // clip masks (null: no cache)
    CmapFormatTable *cmapFormats;
    FontPackOps *packOps; // the font packs' operations (null until a language module
                          // installs them)
    void *layoutOps;      // optional per-font layout operations: never installed
    CharFilterList *charFilters;
    FontMatchContext match; // the family matcher's view of the catalogue
};

// A face opened for drawing (a font instance): one per face, shared by
// every font list that holds it. Its cached outlines and masks are keyed
// by the instance and dropped with its last reference.
struct FontInstance {
    uint32_t refs;    // references held by font lists
    FontFace *face;   // one reference, taken at creation
    void *glyphWalk;  // per-face drawing state of the glyph walk (null: none kept)
    void *decoration; // per-face decoration state (null: none kept)
};

// The instance list of the engine. Callers hold the engine's lock.
// Init: an empty list (0). Get: the instance of face with one reference
// more (made when there is none; the face gains a reference either way);
// 0, or 1 when memory runs out (*out null). Create: a new instance with no
// reference appended to the list (the array holds 8 pointers at first and
// doubles); 0 or 1. Release: one reference less, the last destroys the
// instance. Destroy: removes the instance (the later ones move down), drops
// its face reference and every cached outline and mask keyed by it, frees
// it (null: nothing). FreeAll: destroys every instance, last first, and
// frees the array (null engine: nothing).
int FontEngine_instancesInit(FontEngine *engine);
[[nodiscard]] int FontEngine_instanceGet(FontEngine *engine, FontFace *face, FontInstance **out);
[[nodiscard]] int FontEngine_instanceCreate(FontEngine *engine, FontFace *face, FontInstance **out);
void FontEngine_instanceRelease(FontEngine *engine, FontInstance *instance);
void FontEngine_instanceDestroy(FontEngine *engine, FontInstance *instance);
void FontEngine_instancesFreeAll(FontEngine *engine);

// The character substitution table (one per engine, in charFilters; the
// entries are fonts/charfilter.h's). Create: makes the table in *slot
// unless one is there: 1 when a table exists afterwards, 0 for a null
// slot or no memory. Free: frees it and clears *slot (null: nothing).
int FontEngine_createSubstTable(CharFilterList **slot);
void FontEngine_freeSubstTable(CharFilterList **slot);
// The first entry, in table order, whose test answers non-zero for the
// count characters; null when none (or no table).
const CharFilter *SubstTable_find(const CharFilterList *table, const char16_t *chars,
                                  int32_t count);
// The text transformer through which a font list's runs pass the
// substitution table (fonts/fontlist.h): filled for table by
// SubstTable_initTransformer. One run at a time (the list's lock is held).
struct SubstTransformer {
    TextTransformer base;
    const CharFilterList *table;
    const CharFilter *entry; // of the current run
    const char16_t *chars;
    uint32_t count;
};
void SubstTable_initTransformer(SubstTransformer *transformer, const CharFilterList *table);

// Scans the font directories named by the setting "Vexlan_fontsDirectory"
// (several joined by commas, each a path or URL), in order, into the
// catalogue; a piece that does not make a URL is skipped. Without the
// setting or a font engine: nothing.
void FontEngine_addConfiguredDirectories(EngineContext *context);
// Scans one directory into the catalogue under the engine's lock. The
// scan's result; Res_nullInput without a font engine or directory.
[[nodiscard]] int FontEngine_addDirectory(EngineContext *context, const Url *directory);

// Settings of the "Font Engine" section: the cache budgets, kilobytes
// below 1024 (bytes from 1024 up), 0 for no cache.
enum : uint32_t {
    FontEngine_defaultPathCache = 64,
    FontEngine_defaultMaskCache = 128,
};

// Creates the context's font engine: lock, empty catalogue, the "Spaces"
// font, the character-map formats 0, 2, 4, 6 and 9998, the filter list.
// 0; 1 when memory runs out (everything made is destroyed again and the
// context has no font engine); Res_nullInput for a null context.
[[nodiscard]] int FontEngine_create(EngineContext *context);
// Configures the created font engine with the fonts directory (the URL stays
// the caller's): copies it, reads its font map and scans it into the catalogue
// (font files that cannot be read are skipped), loads the base-14 metrics and
// makes the caches from the settings "cache.path.size" (64) and
// "cache.clipmask.size" (128). Any failure destroys the whole font engine and
// is returned. 0; 1; Res_nullInput for a null context or URL, or no font
// engine.
[[nodiscard]] int FontEngine_configure(EngineContext *context, const Url *fontsDir);
// Under the font engine's lock sizes the glyph path cache and the clip-mask
// cache from "cache.path.size" and "cache.clipmask.size" of "Font Engine"
// (64 and 128 without configuration; 0 leaves a cache as it is). 0; 8
// without a font engine; when a resize fails both caches are freed and
// the failure returned.
[[nodiscard]] int FontEngine_setCacheSizes(EngineContext *context);
// FontEngine_create then FontEngine_configure.
[[nodiscard]] int FontEngine_init(EngineContext *context, const Url *fontsDir);
// Destroys the font engine and clears the context's pointer. A null
// context or one without a font engine: nothing (so twice is harmless).
void FontEngine_destroy(EngineContext *context);
// In the Japanese locale ("ja-jp") adds the filter that draws every
// backslash as a yen sign; elsewhere nothing. Without a font engine:
// nothing.
void FontEngine_installYenFilter(EngineContext *context);
// Scans the directory into the catalogue again. The scan's result; 8
// without a font engine.
[[nodiscard]] int FontEngine_rescanFonts(EngineContext *context, const Url *fontsDir);
// Closes the file of every catalogue face (it opens again on the next
// read). Null context or no font engine: nothing.
void FontEngine_closeFontFiles(EngineContext *context);
// Hangs client data on a face: the face's previous release runs with its
// previous data (when both are set), then data, word and release are
// stored. Null context, font engine or face: nothing.
void FontEngine_setFaceClientData(EngineContext *context, FontFace *face, void *data,
                                  uintptr_t word, FontFaceCloseFn release);

// Registers the built-in fonts, font packs, CMaps and character-set tables
// of every language module, in their fixed order (the hosts' configuration
// hooks call it at start-up; a second call changes nothing). When the font
// engine is configured already its catalogue is read again, so that the
// map's lines naming the built-in files find them.
void FontEngine_registerBuiltins(EngineContext *context);
// The font engine's in-memory list: the 8-bit file names whose files the
// buffered reader (platform/vfs/bufstream.h; installed in the
// context as its memory list) reads whole into memory, where
// a file's URL ends in "/" and one of them. *names (lent) and *count; null
// and 0 when the engine keeps no list.
void FontEngine_getMemoryList(EngineContext *context, const char *const **names, uint32_t *count);
// Makes a font list for the first count family names of families (8-bit),
// with the matching flags and the text matrix (null: identity): up to
// eight faces in preference order, one reference into *out. 0, 1 when
// memory runs out, or Res_notFound when no face matches; *out null on failure.
[[nodiscard]] int Font_listCreate(EngineInstance *instance, const char *const *families,
                                  uint32_t count, uint32_t flags, const Matrix *matrix,
                                  FontList **out);
// Drops a reference on a font list (null allowed); the last one releases
// its font instances and frees it.
void Font_listRelease(FontList *list);
// Adds a reference to list and answers it in *out (null for a null list).
void Font_listRetain(EngineInstance *instance, FontList **out, FontList *list);
// The font instances of a list made by the font engine (*count 0 and null
// for the box font's list).
FontInstance *const *Font_listHandles(const FontList *list, uint32_t *count);

// The engine's side of font lists (fonts/fontlist.cpp): fills the
// matcher's context of a new font engine.
void FontList_initMatching(FontEngine *engine);

// Captions in the default family ("verdana", 8 points): the extent of the
// text (UTF-16, zero-terminated) into *bounds, cleared first and left
// clear without text. 0 or the fonts' error.
[[nodiscard]] int Font_measureCaption(EngineInstance *instance, const char16_t *text, Rect *bounds);
