// Multi-column layout: the content of a block flows into one column after
// the other; a full last column moves the flow to the next region, where
// the set starts again at column 0.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/task/task.h"
#include "document/edr/node.h"
#include "document/style/styleread.h"
#include "graphics/boxitem.h"
#include "layout/block.h"
#include "layout/columns.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"

namespace {

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

using OverflowFn = int (*)(LayoutBox **, int *);

// One set being filled: its context first (the box's record points here),
// then what the box held before the set took it over.
struct ColumnFlow {
    ColumnContext context;
    ColumnContext *outer; // the record the box had before
    ColumnSet set;
    Rect region;
    uint32_t rtl;
    bool installed; // the box's fields are the column's
    FloatArea *area;
    LayerList *own;
    FloatArea *savedItems;
    LayerList *savedLayers;
    OverflowFn savedOverflow;
    int32_t savedWidth;
    int32_t savedAvail[4];
    bool trial;      // a measuring pass: nothing placed is kept
    bool overflowed; // the measuring pass ran past the last column
};

ColumnFlow *flowOf(LayoutBox *box)
{
    return reinterpret_cast<ColumnFlow *>(LayoutBox_getColumnContext(box));
}

// The rectangle of column index of the current region.
Rect columnRect(const ColumnFlow *f, int32_t index)
{
    int64_t before = 0;
    for (int32_t i = 0; i < index && i < f->set.count; i++)
        before += int64_t(f->set.widths[i]) + f->set.gaps[i];
    int32_t w = f->set.widths[std::min(index, f->set.count - 1)];
    Rect r{0, f->region.y0, 0, f->region.y1};
    if (f->rtl) {
        r.x1 = sat(int64_t(f->region.x1) - before);
        r.x0 = sat(int64_t(r.x1) - w);
    } else {
        r.x0 = sat(int64_t(f->region.x0) + before);
        r.x1 = sat(int64_t(r.x0) + w);
    }
    return r;
}

// Gives the box a float area and layer list over the current column.
int openColumn(LayoutBox *box, ColumnFlow *f)
{
    if (box->context && Task_hasCurrent(box->context))
        if (int stop = Task_checkStop(box->context))
            return stop;
    Rect r = columnRect(f, f->context.index);
    FloatArea *area = nullptr;
    if (int err = FloatArea_create(&r, &area))
        return err;
    LayerList *own = LayerList_create();
    if (!own) {
        FloatArea_destroy(area);
        return Res_noMemory;
    }
    FloatArea_setBand(area, 0, 0, 0, 0);
    if (!f->installed) {
        f->savedItems = box->items;
        f->savedLayers = box->layers;
        f->savedOverflow = box->overflow;
        f->savedWidth = box->availableWidth;
        std::memcpy(f->savedAvail, box->avail, sizeof(f->savedAvail));
        f->installed = true;
    }
    f->area = area;
    f->own = own;
    box->items = area;
    box->layers = own;
    box->overflow = Columns_nextColumn;
    box->availableWidth = sat(int64_t(r.x1) - r.x0);
    box->avail[0] = r.x0;
    box->avail[1] = r.y0;
    box->avail[2] = r.x1;
    box->avail[3] = r.y1;
    f->set.index = f->context.index;
    return Res_ok;
}

// Ends the current column: its frame item goes behind its content, and its
// items join the list the box had before the set.
int Columns_endColumn(LayoutBox *box, ColumnFlow *f)
{
    int err = Res_ok;
    if (f->own && f->trial) {
        LayerList_freeItems(f->own);
        LayerList_destroy(f->own);
        f->own = nullptr;
    }
    if (f->own) {
        if (LayerList_hasItems(f->own)) {
            Rect r = columnRect(f, f->context.index);
            if (ObjHeader *frame = Columns_makeFrameItem(&r)) {
                LayerList_selectFirst(f->own);
                LayerList_prepend(f->own, frame);
                LayerList_selectKey(f->own, LayerList_normalKey);
            } else {
                err = Res_noMemory;
            }
        }
        if (!err)
            err = LayerList_merge(f->savedLayers, f->own);
        if (err)
            LayerList_freeItems(f->own);
        LayerList_destroy(f->own);
        f->own = nullptr;
    }
    FloatArea_destroy(f->area);
    f->area = nullptr;
    if (f->installed) {
        box->items = f->savedItems;
        box->layers = f->savedLayers;
        box->overflow = f->savedOverflow;
        box->availableWidth = f->savedWidth;
        std::memcpy(box->avail, f->savedAvail, sizeof(f->savedAvail));
        f->installed = false;
    }
    return err;
}

// Lays the content out into the columns of the current region, from
// column 0.
int Columns_flow(LayoutBox **box, Edr_Node *node, Edr_Style *style, ColumnFlow *f)
{
    f->context.index = 0;
    int err = openColumn(*box, f);
    if (!err && (*box)->nestedBlock) {
        LineCounter *outerLines = (*box)->lines;
        LineCounter lines{};
        (*box)->lines = &lines;
        err = (*box)->nestedBlock(box, node, style);
        (*box)->lines = outerLines;
    }
    int endErr = Columns_endColumn(*box, f);
    return err ? err : endErr;
}

// A measuring pass over columns of height h: *fits 1 when the content
// fits into them. What the pass places is thrown away and the box's
// bounds and extents are put back.
int Columns_tryHeight(LayoutBox **box, Edr_Node *node, Edr_Style *style, ColumnFlow *f, int32_t h,
                      int *fits)
{
    LayoutBox *b = *box;
    Rect region = f->region;
    Rect bounds = Box_boundsRect(b);
    int32_t maxX = b->maxX, minY = b->minY;
    LayerList *back = b->backLayers;
    b->backLayers = nullptr;
    f->region.y0 = sat(int64_t(f->region.y1) - h);
    f->trial = true;
    f->overflowed = false;
    Box_setBoundsRect(b, Rect_emptyBound);
    int err = Columns_flow(box, node, style, f);
    // Nothing in the pass moves to another page, so the box stays.
    b = *box;
    if (b->backLayers) {
        LayerList_freeItems(b->backLayers);
        LayerList_destroy(b->backLayers);
    }
    b->backLayers = back;
    Box_setBoundsRect(b, bounds);
    b->maxX = maxX;
    b->minY = minY;
    f->trial = false;
    f->region = region;
    // Content that finds no further column reports a full region.
    if (err == Layout_lineFull) {
        f->overflowed = true;
        err = Res_ok;
    }
    *fits = !f->overflowed;
    return err;
}

// The least height of the region (to within a point) whose columns hold
// all of the content, so that the columns come out about even; 0 when the
// content does not fit into the region at all (the set then fills it and
// goes on in the next one).
int Columns_balancedHeight(LayoutBox **box, Edr_Node *node, Edr_Style *style, ColumnFlow *f,
                           int32_t *out)
{
    *out = 0;
    int64_t whole = int64_t(f->region.y1) - f->region.y0;
    if (whole <= 0 || whole > INT32_MAX || f->set.count < 2)
        return Res_ok;
    int fits = 0;
    if (int err = Columns_tryHeight(box, node, style, f, int32_t(whole), &fits))
        return err;
    if (!fits)
        return Res_ok;
    // 16.16 inches: a point is 1/72 inch.
    constexpr int32_t point = 65536 / 72;
    int32_t low = 0, high = int32_t(whole);
    while (high - low > point) {
        int32_t mid = low + (high - low) / 2;
        if (int err = Columns_tryHeight(box, node, style, f, mid, &fits))
            return err;
        if (fits)
            high = mid;
        else
            low = mid;
    }
    *out = high;
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------ context

ColumnContext *LayoutBox_getColumnContext(const LayoutBox *box)
{
    return box->columnContext;
}

void LayoutBox_setColumnContext(LayoutBox *box, ColumnContext *context)
{
    box->columnContext = context;
}

// ------------------------------------------------------------ widths

void Columns_compute(const Edr_Style *style, const Rect *rect, int fit, ColumnSet *out)
{
    std::memset(out, 0, sizeof(*out));
    bool empty = !(rect->x0 < rect->x1 && rect->y0 < rect->y1);
    int32_t available = empty ? 1 : sat(int64_t(rect->x1) - rect->x0);
    const PropColumns *list = reinterpret_cast<const PropColumns *>(
        style ? Edr_Style_getPayload16(style, PropId_columns) : 0);
    if (list && list->count > 0) {
        int64_t remaining = available;
        int32_t n = std::min(list->count, int32_t(ColumnSet_max));
        for (int32_t i = 0; i < n; i++) {
            int32_t width = list->columns[i].width, gap = list->columns[i].gap;
            if (fit && available > 0 && width > available)
                width = available;
            if (width > remaining) {
                remaining = 0;
                break;
            }
            width = std::max(width, 1);
            gap = std::max(gap, 0);
            out->widths[out->count] = width;
            out->gaps[out->count] = gap;
            out->count++;
            remaining -= int64_t(width) + gap;
        }
    }
    if (out->count == 0) {
        out->widths[0] = available;
        out->gaps[0] = 0;
        out->count = 1;
    }
    out->widthCount = out->gapCount = out->count;
}

ObjHeader *Columns_makeFrameItem(const Rect *rect)
{
    ObjHeader *item = BoxItem_create(rect);
    if (!item)
        return nullptr;
    BoxItemPart *part = BoxItem_part(item);
    for (BoxBorder &b : part->borders)
        b = BoxBorder{4, 0xFF0000FFu, 0};
    part->background.colour = 0xFFFFFFFFu;
    return item;
}

// ------------------------------------------------------------ flow

int Columns_nextColumn(LayoutBox **box, int *moved)
{
    *moved = 0;
    ColumnFlow *f = flowOf(*box);
    if (!f)
        return Res_ok;
    if (f->context.index + 1 >= f->set.count) {
        if (f->trial) {
            // A measuring pass stays in its region and notes that the
            // content did not fit.
            f->overflowed = true;
            return Res_ok;
        }
        return Columns_nextRegion(box, moved);
    }
    if (int err = Columns_endColumn(*box, f))
        return err;
    f->context.index++;
    if (int err = openColumn(*box, f))
        return err;
    *moved = 1;
    return Res_ok;
}

int Columns_nextRegion(LayoutBox **box, int *moved)
{
    *moved = 0;
    ColumnFlow *f = flowOf(*box);
    if (!f)
        return Res_ok;
    if (int err = Columns_endColumn(*box, f))
        return err;
    OverflowFn parent = (*box)->overflow;
    if (!parent)
        return Res_ok;
    // The enclosing overflow sees the box as it was before the set.
    LayoutBox_setColumnContext(*box, f->outer);
    int next = 0;
    int err = parent(box, &next);
    LayoutBox_setColumnContext(*box, &f->context);
    if (err || !next)
        return err;
    const Rect *r = nullptr;
    if ((*box)->items)
        FloatArea_first((*box)->items, &r, FloatArea_fromLeft);
    if (!r)
        return Res_ok;
    f->region = *r;
    f->context.index = 0;
    if ((err = openColumn(*box, f)))
        return err;
    *moved = 1;
    return Res_ok;
}

int Columns_layout(LayoutBox **box, Edr_Node *node, Edr_Style *style, const Rect *free, Rect *used)
{
    ColumnFlow *f = static_cast<ColumnFlow *>(Mem_calloc(1, sizeof(ColumnFlow)));
    if (!f)
        return Res_noMemory;
    Columns_compute(style, free, 1, &f->set);
    f->region = *free;
    f->rtl = (*box)->rtl || (*box)->block.direction == KwId_rtl;
    f->context.count = f->set.count;
    f->context.columns = &f->set;
    f->context.region = &f->region;
    f->context.mark = -1;
    f->outer = LayoutBox_getColumnContext(*box);
    LayoutBox_setColumnContext(*box, &f->context);
    // A set nested in a block lays its content out from its own left
    // edge: the free rectangle already leaves out the enclosing block's
    // margins.
    bool nested = node && Edr_Node_parent(node) && Edr_Node_parent(Edr_Node_parent(node));
    BlockState savedBlock = (*box)->block;
    if (nested)
        (*box)->block.contentLeft = (*box)->block.contentRight = (*box)->block.leftOffset =
            (*box)->block.rightOffset = 0;
    int err = Res_ok;
    const PropColumns *list = reinterpret_cast<const PropColumns *>(
        style ? Edr_Style_getPayload16(style, PropId_columns) : 0);
    bool bounded = f->region.y0 > INT32_MIN + 1 && f->region.y0 != Layout_unset;
    if (list && (list->flags & 4) && bounded && (*box)->nestedBlock) {
        // Balanced columns: the region is cut to the least height that holds
        // the content in its columns.
        int32_t h = 0;
        err = Columns_balancedHeight(box, node, style, f, &h);
        if (!err && h > 0)
            f->region.y0 = sat(int64_t(f->region.y1) - h);
    }
    Rect savedBounds = Box_boundsRect(*box);
    Box_setBoundsRect(*box, Rect_emptyBound);
    if (!err)
        err = Columns_flow(box, node, style, f);
    LayoutBox *b = *box;
    if (nested) {
        b->block.contentLeft = savedBlock.contentLeft;
        b->block.contentRight = savedBlock.contentRight;
        b->block.leftOffset = savedBlock.leftOffset;
        b->block.rightOffset = savedBlock.rightOffset;
    }
    Rect content = Box_boundsRect(b);
    // The set takes the region's full height; without a bottom (unbounded
    // layout) it ends with its content.
    Rect set{f->region.x0, f->region.y0, f->region.x1, f->region.y1};
    int64_t sum = 0;
    for (int32_t i = 0; i < f->set.count; i++)
        sum += int64_t(f->set.widths[i]) + f->set.gaps[i];
    if (f->rtl)
        set.x0 = sat(int64_t(set.x1) - sum);
    else
        set.x1 = sat(int64_t(set.x0) + sum);
    if (set.y0 <= INT32_MIN + 1 || set.y0 == Layout_unset)
        set.y0 = Rect_isNonEmpty(&content) ? content.y0 : set.y1;
    *used = set;
    Rect all = savedBounds;
    if (b == *box && Rect_isNonEmpty(&content))
        Rect_unionNonEmpty(&all, &content);
    Box_setBoundsRect(b, all);
    LayoutBox_setColumnContext(b, f->outer);
    Mem_free(f);
    return err;
}

int Columns_layoutBlock(LayoutBox **box, Edr_Style *style, Edr_Node *node)
{
    const Rect *r = nullptr;
    if ((*box)->items)
        FloatArea_first((*box)->items, &r, FloatArea_fromLeft);
    if (!r) {
        // No room left here: the set starts in the next region.
        int moved = 0;
        if ((*box)->overflow)
            if (int err = (*box)->overflow(box, &moved))
                return err;
        if (!moved || !(*box)->items)
            return Res_ok;
        FloatArea_first((*box)->items, &r, FloatArea_fromLeft);
        if (!r)
            return Res_ok;
    }
    Rect free = *r;
    Rect used{};
    int err = Columns_layout(box, node, style, &free, &used);
    if (err)
        return err;
    LayoutBox *b = *box;
    if (Rect_isNonEmpty(&used)) {
        // Floats are kept out of the rows the set took, across the width.
        Rect taken{INT32_MIN, used.y0, INT32_MAX, used.y1};
        err = FloatArea_occupy(b->items, &taken);
        Rect all = Box_boundsRect(b);
        Rect_unionNonEmpty(&all, &used);
        Box_setBoundsRect(b, all);
    }
    return err;
}
