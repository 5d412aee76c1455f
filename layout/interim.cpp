// Interim definitions of layout services whose module is not built yet.
// Each does the least its callers need and says so; the real definitions
// replace them when layout is built.
#include <algorithm>
#include <cstdlib>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/boxitem.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/listmarker.h"
#include "layout/rectcollector.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/style/styleread.h"
#include "graphics/textitem.h"
#include "graphics/textrun.h"

// Interim: pages have no headers, footers or background pictures yet; a
// paged page keeps its top and bottom margins free of content.
int PageDecor_place(LayoutBox *box)
{
    if (!box->section || !box->section->paged || !box->items)
        return Res_ok;
    int32_t top = 0, bottom = 0;
    (void)Edr_Style_getLength(box->section->style, PropId_marginTop, &top);
    (void)Edr_Style_getLength(box->section->style, PropId_marginBottom, &bottom);
    Rect above{INT32_MIN, box->pageRect[3] - std::abs(top), INT32_MAX, INT32_MAX};
    Rect below{INT32_MIN, INT32_MIN, INT32_MAX, box->pageRect[1] + std::abs(bottom)};
    int err = top ? FloatArea_occupy(box->items, &above) : Res_ok;
    return !err && bottom ? FloatArea_occupy(box->items, &below) : err;
}

// Interim: the item is a plain box item over the content rectangle (the
// page record carries the background colour); borders and paddings wait
// for replaced-item layout.
int Layout_makeBoxItem(LayoutBox *, Edr_Node *, ObjHeader **item, Rect *rect, Edr_Style *,
                       const Rect *content, const int32_t *, const int32_t *, int, int)
{
    *item = BoxItem_create(content);
    if (!*item)
        return Res_noMemory;
    *rect = *content;
    return Res_ok;
}

// Interim: nothing is laid out or shown yet, so there is nothing to redraw.
int Layout_redrawNode(EngineContext *, Edr_Doc *, Edr_Node *)
{
    return 0;
}

// Interim: a label's box is its run's extent from the pen, with no
// alignment or transform.
int Layout_measureLabel(ObjHeader *item)
{
    const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(item));
    Rect extent{};
    int err =
        TextRun_measureFit(t->fonts, t->size, t->styleFlags, t->style, t->chars + t->start,
                           t->count, t->charSpacing, t->wordSpacing, 0x7FFFFFFF, nullptr, &extent);
    if (err)
        return err;
    Obj_setBox(item, &extent);
    return Res_ok;
}

// Interim: document images are not shown as list pictures yet.
int BoxBackground_findImage(LayoutBox *, int32_t, uint32_t, ObjHeader **item)
{
    *item = nullptr;
    return Res_ok;
}

// Interim: tables are not laid out; the widths already in the node's extra
// record (none: all 0) are what measuring reads.
int Layout_layoutTable(LayoutBox *, Edr_Node *, Edr_Style *)
{
    return Res_ok;
}

// Interim: images add nothing until image sizes are known.
int Layout_measureImage(LayoutCursor *, Edr_Style *, Edr_Node *)
{
    return Res_ok;
}

// Interim: a control is as wide as its width property says.
int Layout_measureControl(EngineContext *, Edr_Node *, Edr_Style *, int32_t, int32_t width,
                          int32_t *outWidth)
{
    *outWidth = width;
    return Res_ok;
}

// Interim: sub-documents have no laid-out size yet.
void Layout_subdocSize(Edr_Node *, int32_t out[2])
{
    out[0] = 0;
    out[1] = 0;
}

// Interim: index 17 (no background) is transparent, every other index
// opaque black.
void Layout_paletteColour(uint32_t index, uint8_t out[4])
{
    out[0] = out[1] = out[2] = 0;
    out[3] = index == 17 ? 0 : 0xFF;
}

// Interim rectangle collector: the union of the boxes.
void RectCollector_reset(RectCollector *collector)
{
    collector->bounds = Rect_emptyBound;
}

void RectCollector_add(RectCollector *collector, const Rect *box)
{
    Rect_union(&collector->bounds, box);
}

// Interim item clipping: an item goes when its box shares no point with
// the rectangle; nothing else is cut.
int RectCollector_clipItem(ObjHeader *item, const Rect *rect, uint32_t)
{
    Rect box = Obj_box(item);
    return Rect_disjoint(&box, rect);
}

// Interim: replaced content, paths, grids and drawings place nothing until
// replaced-item layout is built.
int Layout_placeImageBox(LayoutBox *, LineState *, IterEntry *)
{
    return Res_ok;
}

int Layout_placeFormControl(LayoutBox *, LineState *, IterEntry *)
{
    return Res_ok;
}

int Layout_placeObject(LayoutBox *, LineState *, IterEntry *, Edr_Node *)
{
    return Res_ok;
}

int Layout_makeImageNodeItem(LayoutBox *, ObjHeader **item, IterEntry *)
{
    *item = nullptr;
    return Res_ok;
}

int PathItem_place(LayoutBox *, BoxIter *, IterEntry *)
{
    return Res_ok;
}

int GridLayout_run(LayoutBox *, Edr_Node *)
{
    return Res_ok;
}

int Layout_placeDrawing(LayoutBox *, BoxIter *, int32_t, int32_t, uint32_t)
{
    return Res_ok;
}

// Interim: tables have no width and place nothing until table layout is
// built; a multi-column block lays out as one column.
int TableLayout_measure(LayoutBox *, Edr_Node *, Edr_Style *, int32_t *minWidth, int32_t *maxWidth)
{
    *minWidth = *maxWidth = 0;
    return Res_ok;
}

int TableLayout_run(LayoutBox *, Edr_Node *, Edr_Style *, const Rect *, LayerList *, Rect *extent)
{
    *extent = Rect_emptyBound;
    return Res_ok;
}

int Columns_layoutBlock(LayoutBox **box, Edr_Style *style, Edr_Node *node)
{
    return (*box)->nestedBlock ? (*box)->nestedBlock(box, node, style) : Res_ok;
}


// Interim: background pictures of pages are not drawn until layout draws
// box backgrounds.
int Layout_addBackgroundImage(LayoutBox *, const BackgroundImage *, int)
{
    return Res_ok;
}
