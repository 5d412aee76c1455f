// Layout's operations that the document model calls: the layout pass of a
// document, a node's redraw, a group's extra record, the palette and the
// layout cache. Layout installs the table on the engine context when it
// starts (layout/docops.h); the document model calls through the
// Edr_Layout_ functions below. Without a table a pass lays out nothing
// (0), a redraw is not asked for (0), records are not freed and a palette
// colour is transparent black.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

struct Edr_LayoutOps {
    int (*layoutDocument)(Edr_Doc *doc);
    int (*redrawNode)(EngineContext *app, Edr_Doc *doc, Edr_Node *node);
    void (*extraFree)(void *record);
    void (*paletteColour)(uint32_t index, uint8_t out[4]);
    void (*clearCache)(void *cache);
};

// The installed table of context, or of the calling engine thread's
// context when context is null; null when none is installed.
const Edr_LayoutOps *Edr_LayoutOps_get(EngineContext *context);

// The calls through the table (context null: the calling thread's).
[[nodiscard]] int Edr_Layout_document(EngineContext *context, Edr_Doc *doc);
[[nodiscard]] int Edr_Layout_redrawNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node);
void Edr_Layout_extraFree(EngineContext *context, void *record);
void Edr_Layout_paletteColour(EngineContext *context, uint32_t index, uint8_t out[4]);
void Edr_Layout_clearCache(EngineContext *context, void *cache);
