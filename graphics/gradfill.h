// Gradient fills of shapes and chart frames: turns fill settings (kind,
// two colours, angle, focus, a preset or caller stops) into a gradient
// record, with the 24 preset gradients and the mirrored stops of the
// diagonal directions.
#pragma once

#include <cstdint>

#include "core/container/gradient.h"

enum : uint32_t {
    FillKind_none = 4,          // no gradient
    FillKind_focus = 5,         // from the focus point out to the far corner
    FillKind_centre = 6,        // from the corner to the centre
    FillKind_linear = 7,        // linear toward a focus corner
    FillFlag_shadeColour = 0x8, // colour 2 is derived from colour 1 by the shade word
    FillPreset_first = 136,
    FillPreset_last = 159,
};

struct FillSettings {
    uint32_t kind;
    uint8_t colour1[4]; // red, green, blue, alpha
    uint8_t colour2[4];
    uint32_t shade;         // bits 8-15 a modifier code, bits 16-23 an amount
    int32_t angle;          // whole degrees
    const StopEntry *stops; // caller stops (colours red in the low byte), or null
    uint32_t stopCount;
    uint32_t preset;        // 136-159, 0 for none
    uint32_t flags;         // FillFlag_*
    int32_t focusX, focusY; // 16.16
    uint32_t focusCorner;   // 0-3
};

// The direction of an angle in 45-degree steps: 0 horizontal, 1 and 3
// diagonal, 2 vertical.
uint32_t Fill_direction(int32_t angle);

// The colour derived from colour 1 by the shade word (darker or lighter),
// with colour 2's alpha, as {red, green, blue, alpha} with red in the low
// byte.
uint32_t Fill_shadeColour(const uint8_t colour1[4], uint32_t shade, uint8_t alpha);

// *out = the gradient of the settings, or null for kinds without one (4
// and kinds other than 5, 6, 7). 0; 1 when memory runs out; 5123 for a
// stop count outside 2 to 20 (caller stops). On failure *out is null.
[[nodiscard]] int Fill_buildGradient(const FillSettings *settings, Gradient **out);
