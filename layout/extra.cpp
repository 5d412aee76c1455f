// Layout extra records of groups and the span tracker of table grids.
#include <cstring>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/node.h"
#include "layout/tablegrid.h"
#include "document/style/lookup.h"
#include "layout/measure.h"
#include "document/style/style.h"
#include "layout/layout.h"
#include "layout/table.h"

int Edr_Node_extraEnsure(EngineContext *, Edr_Node *node)
{
    // Only groups carry an extra record: a record made for another node
    // would have nowhere to go.
    if (!node || Edr_Node_type(node) != Edr_NodeType_group || Edr_Node_getExtra(node))
        return Res_ok;
    void *x = Mem_calloc(1, sizeof(LayoutExtra));
    if (!x)
        return Res_noMemory;
    Edr_Node_setExtra(node, x);
    return Res_ok;
}

void Edr_Node_extraDrop(EngineContext *, Edr_Node *node)
{
    if (!node)
        return;
    Edr_Node_extraFree(Edr_Node_getExtra(node));
    Edr_Node_setExtra(node, nullptr);
}

void Edr_Node_extraFree(void *record)
{
    LayoutExtra *x = static_cast<LayoutExtra *>(record);
    if (!x)
        return;
    Mem_free(x->borders);
    for (uint32_t i = 0; i < x->columnCount && x->columns; i++)
        Edr_Style_release(x->columns[i].style);
    Mem_free(x->columns);
    for (TableWidths *w : x->widths)
        Layout_freeTripleBuf(w);
    if (x->object)
        Obj_destroy(x->object);
    Mem_free(x);
}

int Edr_Node_measureExtra(LayoutBox *box, Edr_Node *node, Edr_Style *style)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return Res_ok;
    if (int err = Edr_Node_extraEnsure(box->context, node))
        return err;
    LayoutCursor cursor{};
    int32_t start[2] = {0, 0};
    LayoutCursor_init(&cursor, start, style);
    cursor.box = box;
    cursor.document = box->document;
    int ended = 0;
    if (int err = Edr_Measure_group(&cursor, node, style, 0, &ended))
        return err;
    LayoutExtra *x = static_cast<LayoutExtra *>(Edr_Node_getExtra(node));
    x->measuredWidth = cursor.narrowest;
    x->measuredHeight = cursor.widest;
    return Res_ok;
}

SpanTracker *SpanTracker_create()
{
    return static_cast<SpanTracker *>(Mem_calloc(1, sizeof(SpanTracker)));
}

int SpanTracker_ensure(SpanTracker *tracker, uint32_t index)
{
    if (index < tracker->capacity)
        return Res_ok;
    if (index >= 0x10000000u)
        return Res_noMemory;
    uint32_t cap = tracker->capacity ? tracker->capacity : 8;
    while (cap <= index)
        cap *= 2;
    void *grown = Mem_realloc(tracker->entries, size_t(cap) * sizeof(int32_t));
    if (!grown)
        return Res_noMemory;
    tracker->entries = static_cast<int32_t *>(grown);
    std::memset(tracker->entries + tracker->capacity, 0,
                size_t(cap - tracker->capacity) * sizeof(int32_t));
    tracker->capacity = cap;
    return Res_ok;
}

void Layout_freeTripleBuf(SpanTracker *tracker)
{
    if (!tracker)
        return;
    Mem_free(tracker->entries);
    Mem_free(tracker);
}
