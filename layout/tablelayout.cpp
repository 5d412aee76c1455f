// Table layout: every cell laid out as a block in its column rectangle, the
// rows sized from their cells (row spans shared over their rows), the
// cells' content aligned, the caption placed above or below.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "layout/tablegrid.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/block.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/table.h"

namespace {

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

LayoutExtra *extraOf(Edr_Node *node)
{
    return node ? static_cast<LayoutExtra *>(Edr_Node_getExtra(node)) : nullptr;
}

uint32_t keyword(const Edr_Style *style, uint32_t id)
{
    return style ? Edr_Style_get(style, id, nullptr) : 0;
}

int32_t lengthOf(const Edr_Style *style, uint32_t id)
{
    int32_t v = 0;
    return Edr_Style_getLength(style, id, &v) ? std::max(v, 0) : 0;
}

// A cell laid out and waiting for its rows' final heights.
struct PendingCell {
    PendingCell *next;
    Edr_Node *node;
    Edr_Style *style; // one reference
    LayerList *items; // laid out with the content's top at y 0
    LayerList *rest;  // what a page break kept back for the next page
    int32_t restHeight;
    int32_t row, rowSpan, column, columnSpan;
    int32_t contentHeight;
    Edr_Edges border, padding;
    uint32_t align;
    bool rtl;
};

struct RowSpan {
    RowSpan *next;
    int32_t row, span, needed;
};

struct Table {
    LayoutBox **box;
    Edr_Doc *doc;
    Edr_Node *node;
    LayoutExtra *x;
    int32_t *columns; // resolved widths
    int32_t *rows;    // heights
    int32_t *specifiedRows;
    int32_t rowCount;
    int32_t left; // x of the first column (after border, padding)
    int32_t hspace, vspace;
    PendingCell *cells;
    RowSpan *spans;
    int32_t colFirst, colLast; // the column window being laid out
};

// The column after the last of a cell's columns inside the window.
int32_t spanEnd(const Table &t, const PendingCell *p)
{
    return int32_t(std::min<int64_t>(int64_t(p->column) + p->columnSpan, int64_t(t.colLast) + 1));
}

// Lays the content of a cell or caption out between x0 and x1 with its top
// at y 0, unbounded below, into own: *height is the content's height.
int layoutContent(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t x0, int32_t x1,
                  LayerList *own, int32_t *height)
{
    *height = 0;
    LayoutBox *b = *box;
    if (b->context && Task_hasCurrent(b->context))
        if (int stop = Task_checkStop(b->context))
            return stop;
    Rect cell{x0, INT32_MIN, std::max(x1, sat(int64_t(x0) + 1)), 0};
    FloatArea *area = nullptr;
    if (int err = FloatArea_create(&cell, &area))
        return err;
    Rect outerBounds = Box_boundsRect(b);
    int32_t outerMaxX = b->maxX, outerMinY = b->minY;
    if (int err = Box_pushState(b)) {
        FloatArea_destroy(area);
        return err;
    }
    Box_applyStyle(b, style);
    // The table draws the cell's edges: the content fills the rectangle.
    std::memset(b->block.margin, 0, sizeof(b->block.margin));
    std::memset(b->block.border, 0, sizeof(b->block.border));
    std::memset(b->block.padding, 0, sizeof(b->block.padding));
    b->block.boxFlags &= ~uint32_t(BoxFlag_width | BoxFlag_outOfFlow | BoxFlag_positioned);
    b->block.width = 0;
    b->block.leftOffset = b->block.rightOffset = 0;
    b->block.contentLeft = b->block.contentRight = 0;
    FloatArea *savedItems = b->items;
    LayerList *savedLayers = b->layers;
    auto savedOverflow = b->overflow;
    int32_t savedWidth = b->availableWidth;
    int32_t savedAvail[4];
    std::memcpy(savedAvail, b->avail, sizeof(savedAvail));
    uint32_t savedFlags = b->stateFlags;
    b->items = area;
    b->layers = own;
    b->overflow = Layout_noRegion;
    b->availableWidth = sat(int64_t(cell.x1) - cell.x0);
    b->avail[0] = cell.x0;
    b->avail[1] = cell.y0;
    b->avail[2] = cell.x1;
    b->avail[3] = cell.y1;
    b->stateFlags |= BoxState_tableCell;
    FloatArea_setBand(area, 0, 0, 0, 0);
    LineCounter lines{};
    int err = Layout_layoutByDisplay(box, node, style, &lines);
    b = *box;
    Rect content = Box_boundsRect(b);
    if (Rect_isNonEmpty(&content))
        *height = sat(int64_t(0) - content.y0 + LineCounter_extent(&lines));
    b->items = savedItems;
    b->layers = savedLayers;
    b->overflow = savedOverflow;
    b->availableWidth = savedWidth;
    std::memcpy(b->avail, savedAvail, sizeof(savedAvail));
    b->stateFlags = savedFlags;
    Box_popState(b);
    Box_setBoundsRect(b, outerBounds);
    b->maxX = outerMaxX;
    b->minY = outerMinY;
    FloatArea_destroy(area);
    return err;
}

int32_t sumOf(const int32_t *values, int32_t first, int32_t count, int32_t limit)
{
    int64_t s = 0;
    for (int32_t i = std::max(first, 0); i < first + count && i < limit; i++)
        s += values[i];
    return sat(s);
}

int layoutCell(Table &t, Edr_Node *cell, Edr_Style *cellStyle)
{
    LayoutExtra *cx = extraOf(cell);
    if (!cx || cx->row < 0 || cx->column < 0 || cx->row >= t.rowCount ||
        cx->column >= t.x->colCount || cx->column < t.colFirst || cx->column > t.colLast)
        return Res_ok;
    Edr_Style *style = nullptr;
    if (int err = TableLayout_cellStyle(t.doc, t.x, cellStyle, cx->column, &style))
        return err;
    PendingCell *p = static_cast<PendingCell *>(Mem_calloc(1, sizeof(PendingCell)));
    LayerList *own = p ? LayerList_create() : nullptr;
    if (!own) {
        Mem_free(p);
        Edr_Style_release(style);
        return Res_noMemory;
    }
    p->node = cell;
    p->style = style;
    p->items = own;
    p->row = cx->row;
    p->rowSpan = std::max(cx->rowSpan, 1);
    p->column = cx->column;
    p->columnSpan = std::max(cx->columnSpan, 1);
    p->align = cx->verticalAlign;
    p->rtl = keyword(style, PropId_direction) == KwId_rtl;
    Edr_Style_getEdges(style, nullptr, &p->border, &p->padding, (*t.box)->availableWidth);
    p->next = t.cells;
    t.cells = p;
    int32_t n = t.x->colCount;
    int64_t x0 = int64_t(t.left) + t.hspace / 2 +
                 sumOf(t.columns, t.colFirst, p->column - t.colFirst, n) + t.hspace / 2;
    int64_t x1 = int64_t(t.left) + t.hspace / 2 +
                 sumOf(t.columns, t.colFirst, spanEnd(t, p) - t.colFirst, n) - t.hspace / 2;
    int64_t inner0 = x0 + p->border.left + p->padding.left;
    int64_t inner1 = x1 - p->border.right - p->padding.right;
    int32_t h = 0;
    int err =
        layoutContent(t.box, cell, style, sat(inner0), sat(std::max(inner1, inner0 + 1)), own, &h);
    if (err)
        return err;
    p->contentHeight = h;
    cx->contentHeight = h;
    // The row heights the cell asks for.
    int64_t V =
        int64_t(p->border.top) + p->border.bottom + p->padding.top + p->padding.bottom + t.vspace;
    int64_t bare = int64_t(p->border.top) + p->border.bottom + t.vspace;
    auto term = [&](int32_t height) { return height > 0 ? height + V : bare; };
    int32_t specified = std::max(cx->height, 0);
    if (p->rowSpan < 2) {
        int32_t &row = t.rows[p->row];
        row = sat(std::max({int64_t(row), term(h), term(specified)}));
        t.specifiedRows[p->row] = std::max(t.specifiedRows[p->row], specified);
    } else {
        RowSpan *s = static_cast<RowSpan *>(Mem_calloc(1, sizeof(RowSpan)));
        if (!s)
            return Res_noMemory;
        *s = RowSpan{t.spans, p->row, p->rowSpan, sat(std::max(h, specified) + V)};
        t.spans = s;
    }
    return Res_ok;
}

int TableLayout_layoutCellFn(void *table, Edr_Node *cell, Edr_Style *style)
{
    return layoutCell(*static_cast<Table *>(table), cell, style);
}

// Frees the pending cells and row spans, keeping the arrays.
void freeCells(Table &t)
{
    while (PendingCell *p = t.cells) {
        t.cells = p->next;
        for (LayerList *l : {p->items, p->rest})
            if (l) {
                LayerList_freeItems(l);
                LayerList_destroy(l);
            }
        Edr_Style_release(p->style);
        Mem_free(p);
    }
    while (RowSpan *s = t.spans) {
        t.spans = s->next;
        Mem_free(s);
    }
}

void freeTable(Table &t)
{
    freeCells(t);
    Mem_free(t.columns);
    Mem_free(t.rows);
    Mem_free(t.specifiedRows);
}

// Adds the border-and-background item of a box around content (y up) with
// borders and paddings {top, bottom, left, right} first in list.
int addEdgeItem(LayoutBox *box, Edr_Node *node, Edr_Style *style, LayerList *list,
                const Rect &content, const Edr_Edges &border, const Edr_Edges &padding)
{
    const int32_t b[4] = {border.top, border.bottom, border.left, border.right};
    const int32_t p[4] = {padding.top, padding.bottom, padding.left, padding.right};
    ObjHeader *item = nullptr;
    Rect extent{};
    int err = Layout_makeBoxItem(box, node, &item, &extent, style, &content, b, p, 0, 0);
    if (!err && item) {
        LayerList_selectFirst(list);
        LayerList_prepend(list, item);
        LayerList_selectKey(list, LayerList_normalKey);
    }
    return err;
}

// Moves every finished cell to its place under the table's top y and
// hands its items to list.
int TableLayout_finishCells(Table &t, int32_t top, int32_t firstRow, int32_t lastRow,
                            LayerList *list)
{
    LayoutBox *box = *t.box;
    int32_t n = t.x->colCount;
    int32_t tableLeft = t.left,
            tableRight = sat(int64_t(t.left) + t.hspace +
                             sumOf(t.columns, t.colFirst, t.colLast + 1 - t.colFirst, n));
    for (PendingCell *p = t.cells; p; p = p->next) {
        if (p->row < firstRow || p->row > lastRow || !p->items)
            continue;
        int64_t y0 = int64_t(top) - t.vspace / 2 -
                     sumOf(t.rows, firstRow, p->row - firstRow, t.rowCount) - t.vspace / 2;
        int64_t y1 = int64_t(top) - t.vspace / 2 -
                     sumOf(t.rows, firstRow, p->row + p->rowSpan - firstRow, t.rowCount) +
                     t.vspace / 2;
        int64_t x0 = int64_t(t.left) + t.hspace / 2 +
                     sumOf(t.columns, t.colFirst, p->column - t.colFirst, n) + t.hspace / 2;
        int64_t x1 = int64_t(t.left) + t.hspace / 2 +
                     sumOf(t.columns, t.colFirst, spanEnd(t, p) - t.colFirst, n) - t.hspace / 2;
        if (y1 >= y0)
            y1 = y0 - 1;
        if (x1 <= x0)
            x1 = x0 + 1;
        int64_t innerTop = y0 - p->border.top - p->padding.top;
        int64_t innerBottom = y1 + p->border.bottom + p->padding.bottom;
        int32_t shift =
            TableLayout_alignCell(p->align, sat(innerTop - innerBottom), p->contentHeight);
        LayerList_translate(p->items, 0, sat(innerTop - shift));
        Rect content{sat(x0 + p->border.left + p->padding.left), sat(innerBottom),
                     sat(x1 - p->border.right - p->padding.right), sat(innerTop)};
        if (content.x1 < content.x0)
            content.x1 = content.x0;
        if (content.y0 > content.y1)
            content.y0 = content.y1;
        if (int err = addEdgeItem(box, p->node, p->style, p->items, content, p->border, p->padding))
            return err;
        if (p->rtl) {
            // A right-to-left cell is mirrored inside the table.
            int64_t dx = int64_t(tableLeft) + tableRight - (x0 + x1);
            LayerList_translate(p->items, sat(dx), 0);
        }
        int err = LayerList_merge(list, p->items);
        LayerList_destroy(p->items);
        p->items = nullptr;
        if (err)
            return err;
    }
    return Res_ok;
}

int TableLayout_caption(LayoutBox **box, Edr_Node *caption, Edr_Style *tableStyle,
                        const Rect &table, LayerList *list, Rect *extent)
{
    Edr_Style *cs = nullptr;
    if (int err = Edr_Style_computeForNode((*box)->document, &cs, tableStyle, caption))
        return err;
    LayerList *own = LayerList_create();
    if (!own) {
        Edr_Style_release(cs);
        return Res_noMemory;
    }
    Edr_Edges margin{}, border{}, padding{};
    Edr_Style_getEdges(cs, &margin, &border, &padding, sat(int64_t(table.x1) - table.x0));
    int64_t x0 = int64_t(table.x0) + margin.left + border.left + padding.left;
    int64_t x1 = int64_t(table.x1) - margin.right - border.right - padding.right;
    int32_t h = 0;
    int err = layoutContent(box, caption, cs, sat(x0), sat(std::max(x1, x0 + 1)), own, &h);
    int64_t total = int64_t(h) + margin.top + margin.bottom + border.top + border.bottom +
                    padding.top + padding.bottom;
    bool below = keyword(cs, PropId_verticalAlign) == KwId_bottom;
    if (!err) {
        int64_t top = below ? int64_t(table.y0) : int64_t(table.y1);
        if (!below)
            LayerList_translate(list, 0, sat(-total));
        int64_t innerTop = top - margin.top - border.top - padding.top;
        LayerList_translate(own, 0, sat(innerTop));
        Rect content{sat(x0), sat(innerTop - h), sat(std::max(x1, x0)), sat(innerTop)};
        err = addEdgeItem(*box, caption, cs, own, content, border, padding);
    }
    if (!err)
        err = LayerList_merge(list, own);
    if (err)
        LayerList_freeItems(own);
    LayerList_destroy(own);
    Edr_Style_release(cs);
    if (!err)
        extent->y0 = sat(int64_t(extent->y0) - total);
    return err;
}

// Splits the cells of row (laid out with their content's top at y 0) at
// room, the height the row may take on this page: the items below the
// break are kept back for the next page, moved up to start at y 0.
int TableLayout_continueCells(Table &t, int32_t row, int32_t room)
{
    for (PendingCell *p = t.cells; p; p = p->next) {
        if (p->row != row || !p->items)
            continue;
        int64_t inner = int64_t(room) - t.vspace - p->border.top - p->padding.top -
                        p->border.bottom - p->padding.bottom;
        int32_t breakY = sat(-std::max<int64_t>(inner, 0));
        ObjHeader *chain = nullptr;
        (void)LayerList_takeItems(p->items, &chain);
        LayerList *later = LayerList_create();
        if (!later) {
            for (ObjHeader *o = chain; o;) {
                ObjHeader *next = Obj_next(o);
                Obj_setNext(o, nullptr);
                LayerList_append(p->items, o);
                o = next;
            }
            return Res_noMemory;
        }
        int32_t top = INT32_MIN, bottom = 0;
        for (ObjHeader *o = chain; o;) {
            ObjHeader *next = Obj_next(o);
            Obj_setNext(o, nullptr);
            Rect box = Obj_box(o);
            if (box.y1 <= breakY) {
                LayerList_append(later, o);
                top = std::max(top, box.y1);
                bottom = std::min(bottom, box.y0);
            } else {
                LayerList_append(p->items, o);
            }
            o = next;
        }
        if (!LayerList_hasItems(later)) {
            LayerList_destroy(later);
            p->rest = nullptr;
            continue;
        }
        LayerList_translate(later, 0, sat(-int64_t(top)));
        p->rest = later;
        p->restHeight = sat(int64_t(top) - bottom);
    }
    return Res_ok;
}

// The first row of the next part of the table: the split row again, with
// its cells' kept-back items, or the row after last.
int32_t TableLayout_continueRow(Table &t, int32_t last, int32_t rest)
{
    if (rest <= 0)
        return last + 1;
    int32_t need = rest;
    for (PendingCell *p = t.cells; p; p = p->next) {
        if (p->row != last)
            continue;
        if (p->items) {
            LayerList_freeItems(p->items);
            LayerList_destroy(p->items);
        }
        p->items = p->rest;
        p->rest = nullptr;
        p->contentHeight = p->items ? p->restHeight : 0;
        p->align = 0;
        if (!p->items)
            p->items = LayerList_create();
        int64_t v = int64_t(p->contentHeight) + t.vspace + p->border.top + p->padding.top +
                    p->border.bottom + p->padding.bottom;
        need = std::max(need, sat(v));
    }
    t.rows[last] = need;
    return last;
}

} // namespace

int32_t TableLayout_columnWindow(const LayoutExtra *table, int32_t *columns, int32_t width,
                                 int32_t start, int32_t *end)
{
    int32_t n = table->colCount;
    const TableWidths *mins = table->widths[TableWidths_minimum];
    const TableWidths *maxs = table->widths[TableWidths_maximum];
    int64_t w = width, spare = 0;
    int32_t last = start;
    for (int32_t i = start; i < n; i++) {
        if (i > start && w < columns[i])
            break;
        w -= columns[i];
        if (mins && maxs)
            spare += std::max<int64_t>(int64_t(maxs->widths[i]) - mins->widths[i], 0);
        last = i;
    }
    *end = last;
    int64_t total = 0;
    bool whole = start == 0 && last == n - 1;
    for (int32_t i = start; i <= last; i++) {
        if (!whole && w > 0 && spare > 0 && mins && maxs) {
            // What is left of the width goes to the columns by their spare
            // room, none beyond it.
            int64_t room = std::max<int64_t>(int64_t(maxs->widths[i]) - mins->widths[i], 0);
            columns[i] = sat(columns[i] + std::min(room, w * room / spare));
        }
        total += columns[i];
    }
    return sat(total);
}

void TableLayout_shareSpan(int32_t *rows, int32_t first, int32_t span, int32_t needed)
{
    int64_t have = 0;
    for (int32_t i = 0; i < span; i++)
        have += rows[first + i];
    int64_t missing = int64_t(needed) - have;
    if (missing <= 0 || span < 1)
        return;
    if (have <= 0) {
        // Rows without height share evenly, adding up exactly.
        for (int32_t i = 0; i < span; i++)
            rows[first + i] = sat(rows[first + i] + (missing + span - 1 - i) / span);
        return;
    }
    int64_t given = 0;
    for (int32_t i = 0; i < span; i++) {
        int64_t add = missing * rows[first + i] / have;
        given += add;
        rows[first + i] = sat(rows[first + i] + add);
    }
    // What truncation left over goes to the last row.
    rows[first + span - 1] = sat(rows[first + span - 1] + (missing - given));
}

int32_t TableLayout_alignCell(uint32_t align, int32_t innerHeight, int32_t contentHeight)
{
    int64_t spare = int64_t(innerHeight) - contentHeight;
    if (spare <= 0)
        return 0;
    if (align == KwId_bottom)
        return sat(spare);
    if (align == KwId_middle || align == KwId_baseline)
        return sat(spare / 2);
    return 0;
}

int TableLayout_cellStyle(Edr_Doc *doc, const LayoutExtra *table, Edr_Style *style, int32_t column,
                          Edr_Style **out)
{
    *out = nullptr;
    Edr_Style *colStyle =
        table && table->columns && column >= 0 && uint32_t(column) < table->columnCount
            ? table->columns[column].style
            : nullptr;
    Edr_Style *set = Edr_Style_retain(style);
    if (!colStyle || !colStyle->ownCount) {
        *out = set;
        return Res_ok;
    }
    if (int err = Edr_Style_makeWritable(&set, doc)) {
        Edr_Style_release(set);
        return err;
    }
    // The column's own values apply where the cell sets none of its own.
    for (uint32_t i = 0; i < colStyle->ownCount; i++) {
        const Prop &v = colStyle->ownValues[i];
        bool own = false;
        for (uint32_t k = 0; k < style->ownCount && !own; k++)
            own = style->ownValues[k].id == v.id;
        if (own || v.id == PropId_display)
            continue;
        if (int err = Edr_Style_setValue(set, &v)) {
            Edr_Style_release(set);
            return err;
        }
    }
    *out = set;
    return Res_ok;
}

int Layout_layoutTable(LayoutBox *box, Edr_Node *table, Edr_Style *style)
{
    int32_t minWidth = 0, maxWidth = 0;
    return TableLayout_measure(box, table, style, &minWidth, &maxWidth);
}

int TableLayout_run(LayoutBox **box, Edr_Node *table, Edr_Style *style, const Rect *rect,
                    LayerList *layers, Rect *extent)
{
    *extent = Rect_emptyBound;
    LayoutBox *start = *box;
    LayoutExtra *x = extraOf(table);
    if (!x || !x->widths[TableWidths_minimum]) {
        int32_t a = 0, c = 0;
        if (int err = TableLayout_measure(start, table, style, &a, &c))
            return err;
        x = extraOf(table);
        if (!x || !x->widths[TableWidths_minimum])
            return Res_ok;
    }
    Table t{};
    t.box = box;
    t.doc = start->document;
    t.node = table;
    t.x = x;
    t.rowCount = std::max(x->rowCount, 0);
    int32_t n = std::max(x->colCount, 0);
    t.columns = static_cast<int32_t *>(Mem_calloc(size_t(n) + 1, sizeof(int32_t)));
    t.rows = static_cast<int32_t *>(Mem_calloc(size_t(t.rowCount) + 1, sizeof(int32_t)));
    t.specifiedRows = static_cast<int32_t *>(Mem_calloc(size_t(t.rowCount) + 1, sizeof(int32_t)));
    if (!t.columns || !t.rows || !t.specifiedRows) {
        freeTable(t);
        return Res_noMemory;
    }
    int32_t tableWidth = 0;
    TableLayout_resolveWidths(start, x, style, sat(int64_t(rect->x1) - rect->x0), t.columns,
                              &tableWidth);
    bool collapse = keyword(style, PropId_borderCollapse) == KwId_collapse;
    t.hspace = collapse ? 0 : lengthOf(style, PropId_borderSpacingX);
    t.vspace = collapse ? 0 : lengthOf(style, PropId_borderSpacingY);
    Edr_Edges border{}, padding{};
    Edr_Style_getEdges(style, nullptr, &border, &padding, sat(int64_t(rect->x1) - rect->x0));
    int32_t available = sat(int64_t(rect->x1) - rect->x0);
    int32_t *full = static_cast<int32_t *>(Mem_calloc(size_t(n) + 1, sizeof(int32_t)));
    if (!full) {
        freeTable(t);
        return Res_noMemory;
    }
    std::memcpy(full, t.columns, size_t(n) * sizeof(int32_t));
    Rect region = *rect;
    int err = Res_ok;
    for (int32_t window = 0; window < std::max(n, 1) && !err;) {
        // In flow mode 1 a table wider than the room is laid out in windows
        // of the columns that fit, one below the other.
        std::memcpy(t.columns, full, size_t(n) * sizeof(int32_t));
        t.colFirst = window;
        t.colLast = n - 1;
        int32_t partWidth = tableWidth;
        if (start->flowMode == 1 && tableWidth > available && n > 0) {
            int32_t edges = TableLayout_edges(style);
            int32_t inner = TableLayout_columnWindow(x, t.columns, sat(int64_t(available) - edges),
                                                     window, &t.colLast);
            partWidth = sat(int64_t(inner) + edges);
        }
        window = std::max(t.colLast, window) + 1;
        // A fresh row state for every window.
        freeCells(t);
        std::memset(t.rows, 0, (size_t(t.rowCount) + 1) * sizeof(int32_t));
        std::memset(t.specifiedRows, 0, (size_t(t.rowCount) + 1) * sizeof(int32_t));
        t.left = sat(int64_t(region.x0) + border.left + padding.left);
        // A collapsed row takes no room and its cells are not laid out.
        err = TableLayout_forEachCell(t.doc, table, style, 1, TableLayout_layoutCellFn, &t);
        if (err)
            break;
        for (RowSpan *s = t.spans; s; s = s->next) {
            int32_t span = std::min(s->span, t.rowCount - s->row);
            if (span > 0)
                TableLayout_shareSpan(t.rows, s->row, span, s->needed);
        }
        int64_t height = sumOf(t.rows, 0, t.rowCount, t.rowCount) + int64_t(border.top) +
                         border.bottom + padding.top + padding.bottom + t.vspace;
        int32_t specified = lengthOf(style, PropId_height);
        if (specified > height) {
            int64_t excess = specified - height;
            int32_t open = 0;
            for (int32_t i = 0; i < t.rowCount; i++)
                open += t.specifiedRows[i] <= 0 ? 1 : 0;
            for (int32_t i = 0; i < t.rowCount && open > 0; i++) {
                if (t.specifiedRows[i] > 0)
                    continue;
                int64_t add = excess / open--;
                t.rows[i] = sat(t.rows[i] + add);
                excess -= add;
            }
        }
        int64_t edgesV =
            int64_t(border.top) + border.bottom + padding.top + padding.bottom + t.vspace;
        // A paged table taller than its region continues on the next page:
        // the rows that do not fit start a new part of the table there.
        int32_t first = 0;
        Rect start0 = region;
        while (!err) {
            LayoutBox *cur = *box;
            bool paged = cur->section && cur->section->paged && cur->overflow &&
                         region.y0 > INT32_MIN + 1 && region.y0 != Layout_unset;
            int32_t last = t.rowCount - 1;
            int32_t rest = 0; // what a row split at the page's end leaves
            if (paged) {
                int64_t room = int64_t(region.y1) - region.y0 - edgesV, used = 0;
                for (int32_t i = first; i < t.rowCount; i++) {
                    if (i > first && used + t.rows[i] > room) {
                        last = i - 1;
                        break;
                    }
                    used += t.rows[i];
                }
                if (last == first && t.rows[first] > room && room > 0) {
                    // A row taller than the page: its cells are split.
                    err = TableLayout_continueCells(t, first, sat(room));
                    if (err)
                        break;
                    rest = sat(int64_t(t.rows[first]) - room);
                    t.rows[first] = sat(room);
                    last = first;
                }
            }
            int64_t partHeight = sumOf(t.rows, first, last - first + 1, t.rowCount) + edgesV;
            int32_t top = region.y1;
            Rect grid{region.x0, sat(int64_t(top) - partHeight),
                      sat(int64_t(region.x0) + partWidth), top};
            bool more = last < t.rowCount - 1 || rest > 0;
            LayerList *part = more ? LayerList_create() : layers;
            if (!part) {
                err = Res_noMemory;
                break;
            }
            int32_t dx = region.x0 - start0.x0;
            if (dx)
                for (PendingCell *p = t.cells; p; p = p->next)
                    if (p->items && p->row >= first && p->row <= last)
                        LayerList_translate(p->items, dx, 0);
            t.left = sat(int64_t(region.x0) + border.left + padding.left);
            err = TableLayout_finishCells(t, sat(int64_t(top) - border.top - padding.top), first,
                                          last, part);
            if (!err) {
                Rect content{sat(int64_t(grid.x0) + border.left + padding.left),
                             sat(int64_t(grid.y0) + border.bottom + padding.bottom),
                             sat(int64_t(grid.x1) - border.right - padding.right),
                             sat(int64_t(grid.y1) - border.top - padding.top)};
                if (content.x1 < content.x0)
                    content.x1 = content.x0;
                if (content.y0 > content.y1)
                    content.y0 = content.y1;
                err = addEdgeItem(cur, table, style, part, content, border, padding);
            }
            Rect_unionNonEmpty(extent, &grid);
            if (!more) {
                // The next window starts below this part.
                region.y1 = grid.y0;
                break;
            }
            // This page's part goes onto its page before the flow moves on.
            if (!err)
                err = LayerList_merge(cur->layers, part);
            if (err)
                LayerList_freeItems(part);
            LayerList_destroy(part);
            if (!err) {
                Rect taken{INT32_MIN, grid.y0, INT32_MAX, grid.y1};
                err = FloatArea_occupy(cur->items, &taken);
            }
            int moved = 0;
            if (!err)
                err = cur->overflow(box, &moved);
            const Rect *next = nullptr;
            if (!err && moved && (*box)->items)
                FloatArea_first((*box)->items, &next, FloatArea_fromLeft);
            if (err || !next) {
                // No further page: the rest of the table stays below.
                if (!err) {
                    region.y1 = grid.y0;
                    region.y0 = Layout_unset;
                    first = TableLayout_continueRow(t, last, rest);
                }
                continue;
            }
            region = *next;
            *extent = Rect_emptyBound;
            first = TableLayout_continueRow(t, last, rest);
        }
    }
    if (!err && x->caption && Rect_isNonEmpty(extent)) {
        Rect grid = *extent;
        err = TableLayout_caption(box, x->caption, style, grid, layers, extent);
    }
    Mem_free(full);
    freeTable(t);
    return err;
}
