// The document tests' fake of the layout subsystem (fake_layout.h). It
// defines every service of layout/interim.cpp, so that file is never linked
// into these tests.
#include "tests/document/fake_layout.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/style/style.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/rectcollector.h"
#include "layout/replaced.h"
#include "core/container/obj.h"

// The pass: the stand-in in the document's layout word answers, when there
// is one; otherwise nothing is laid out.
int Layout_document(Edr_Doc *doc)
{
    const FakeLayout *fake = doc ? reinterpret_cast<const FakeLayout *>(doc->manager.layoutWord) : nullptr;
    return fake && fake->pass ? fake->pass(fake->argument, doc) : 0;
}

// As the interim: nothing is laid out or shown yet, so there is nothing to redraw.
int Layout_redrawNode(EngineContext *, Edr_Doc *, Edr_Node *)
{
    return 0;
}

// As the interim: the text format is the style's font size in points (16.16), no
// font list, no flags or spacing.
int Layout_fontForStyle(LayoutBox *, Edr_Style *style, LayoutFont *out)
{
    *out = LayoutFont{};
    int64_t points = int64_t(Edr_Style_fontSize(style)) * 72;
    out->size = points > INT32_MAX ? INT32_MAX : int32_t(points);
    return Res_ok;
}

// As the interim: a line may break after each stretch of spaces, tabs and line
// ends that follows other text.
uint32_t Layout_nextBreak(const char16_t *text, uint32_t length, uint32_t *)
{
    auto white = [](char16_t c) { return c == u' ' || (c >= 9 && c <= 13); };
    uint32_t i = 0;
    while (i < length && !white(text[i]))
        i++;
    while (i < length && white(text[i]))
        i++;
    return i;
}

// As the interim: tables are not laid out; the widths already in the node's extra
// record (none: all 0) are what measuring reads.
int Layout_layoutTable(LayoutBox *, Edr_Node *, Edr_Style *)
{
    return Res_ok;
}

// As the interim: images add nothing until image sizes are known.
int Layout_measureImage(LayoutCursor *, Edr_Style *, Edr_Node *)
{
    return Res_ok;
}

// As the interim: a control is as wide as its width property says.
int Layout_measureControl(EngineContext *, Edr_Node *, Edr_Style *, int32_t, int32_t width, int32_t *outWidth)
{
    *outWidth = width;
    return Res_ok;
}

// As the interim: sub-documents have no laid-out size yet.
void Layout_subdocSize(Edr_Node *, int32_t out[2])
{
    out[0] = 0;
    out[1] = 0;
}

// As the interim: index 17 (no background) is transparent, every other index
// opaque black.
void Layout_paletteColour(uint32_t index, uint8_t out[4])
{
    out[0] = out[1] = out[2] = 0;
    out[3] = index == 17 ? 0 : 0xFF;
}

// As the interim: the format a list marker needs, the style's font size in
// points (16.0 without one) and no font list.
int Layout_textFormat(LayoutBox *, Edr_Style *style, TextFormat *out)
{
    *out = TextFormat{};
    out->styleWords[0] = out->styleWords[1] = 1;
    int64_t points = int64_t(Edr_Style_fontSize(style)) * 72;
    out->size = points > INT32_MAX ? INT32_MAX : int32_t(points);
    return Res_ok;
}

// Labels keep the box they were made with.
int Layout_measureLabel(ObjHeader *)
{
    return Res_ok;
}

// As the interim: there are no list pictures.
int BoxBackground_findImage(LayoutBox *, int32_t, uint32_t, ObjHeader **item)
{
    *item = nullptr;
    return Res_ok;
}

// Page background pictures: the record is made, but no picture is found,
// so nothing is added.
int BoxBackground_create(const Edr_Style *, int32_t imageId, const Rect *rect, BoxBackground **out)
{
    *out = static_cast<BoxBackground *>(Mem_calloc(1, sizeof(BoxBackground)));
    if (!*out)
        return Res_noMemory;
    (*out)->imageId = imageId;
    (*out)->rect = rect ? *rect : Rect{1, 1, 0, 0};
    return Res_ok;
}

void BoxBackground_free(BoxBackground *record)
{
    Mem_free(record);
}

int BoxBackground_addItem(LayoutBox *, const BoxBackground *, uint32_t)
{
    return Res_ok;
}

// As the interim: the collector keeps the union of the boxes, and an item
// goes when its box shares no point with the rectangle.
void RectCollector_reset(RectCollector *collector)
{
    collector->bounds = Rect_emptyBound;
}

void RectCollector_add(RectCollector *collector, const Rect *box)
{
    Rect_union(&collector->bounds, box);
}

int RectCollector_clipItem(ObjHeader *item, const Rect *rect, uint32_t)
{
    Rect box = Obj_box(item);
    return Rect_disjoint(&box, rect);
}
