// Draw flags: what a renderer hands unchanged to every item it draws, and
// the settings items read from it (the quality and cost settings, and the
// bits that say how the picture is being drawn).
#pragma once

#include <cstdint>

struct EngineContext;

enum : uint32_t {
    // The quality settings, in their order: "RendererQualityBox",
    // "RendererQualityImage", "RendererQualityPath", "RendererQualityText",
    // "RendererQualityUi", "RendererQualityWa".
    DrawQuality_box = 0,
    DrawQuality_image = 1,
    DrawQuality_path = 2,
    DrawQuality_text = 3,
    DrawQuality_ui = 4,
    DrawQuality_wa = 5,
    DrawQuality_count = 6,

    // The cost settings, from "RendererCostLimit" to "RendererCostUi".
    DrawCost_limit = 0,
    DrawCost_path = 1,
    DrawCost_pathStroked = 2,
    DrawCost_image = 3,
    DrawCost_imageUncached = 4,
    DrawCost_glyph = 5,
    DrawCost_glyphUncached = 6,
    DrawCost_ui = 7,
    DrawCost_count = 8,

    // Bits of DrawFlags::flags.
    DrawFlags_offscreen = 1,    // drawing a picture of its own, not a view
    DrawFlags_fastBoxes = 2,    // box frames with one sub-pixel bit
    DrawFlags_noPoll = 4,       // item-list walks do not poll for a stop request
    DrawFlags_noHighlights = 8, // highlight items are not drawn (thumbnails)
    DrawFlags_still = 16,       // a still picture: animations show their first frame,
};

// What the renderer hands unchanged to item drawing: the flags word, a
// word, the six quality settings, the eight cost settings and a word.
struct DrawFlags {
    uint32_t flags;
    uint32_t lead; // word 1, passed through
    int32_t quality[DrawQuality_count];
    int32_t cost[DrawCost_count];
    uint32_t trail; // word 16, passed through
};

// Zeroes words 0-7 and 16 of flags (the cost settings stay).
void DrawFlags_clear(EngineContext *ctx, DrawFlags *flags);
