// Text items of a display list: one run of characters in one style, drawn
// with its pen at the left end of the item's baseline.
#pragma once

#include <cstdint>

#include "core/container/obj.h"

enum : uint32_t {
    TextItem_identifier = 0x54455854, // what the measure slot reports
};

// The class part: the run (ObjTextPart first, as layer lists read it), its
// colour (0xAABBGGRR) and the baseline's height above the box's lower edge.
struct TextItemPart {
    ObjTextPart base;
    uint32_t colour;
    int32_t baseline;
};

extern const ObjClass TextItem_class;

// The pixel test of a text item drawn under matrix into target: *index =
// the index (into the run's characters) of the glyph whose advance box
// holds the y-up pixel (x, y), or -1. 0 or an error.
[[nodiscard]] int TextItem_hitTest(ObjHeader *item, const Matrix *matrix, const DrawTarget *target,
                                   int32_t x, int32_t y, int32_t *index);
