// Text items of a display list: one run of characters in one style, drawn
// with its pen at the left end of the item's baseline.
#pragma once

#include <cstdint>

#include "core/container/obj.h"

enum : uint32_t {
    TextItem_identifier = 0x54455854, // what the measure slot reports
};

struct InternNode;

// The class part: the run (ObjTextPart first, as layer lists read it), its
// colour (0xAABBGGRR), the baseline's height above the box's lower edge and
// the interned text format the run's fonts and style words come from.
// Destroying the item releases the format when the item's flags have
// Obj_formatInterned; its owned characters sit in the header's block.
struct TextItemPart {
    ObjTextPart base;
    uint32_t colour;
    int32_t baseline;
    InternNode *format;
};

extern const ObjClass TextItem_class;

// Frees a heap record whose first word holds a heap block (the text it
// carries): the block, then the record. Null is ignored.
void TextItem_free(void *record);
