// The table grid builder. Tables follow the HTML table model: rows are
// walked in order (a footer group after every other group), each cell
// takes the first column to the right of the current one that no cell
// above still covers with its row span, and column elements add entries to
// the table's column array. Spans come from properties 97 (columns) and 98
// (rows) and are clamped so that a file cannot make the grid huge.
#include "layout/tablegrid.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/style/lookup.h"
#include "layout/measure.h"
#include "document/style/style.h"
#include "layout/layout.h"
#include "layout/table.h"

namespace {

constexpr uint32_t kPropIndent = 93;
constexpr uint32_t kPropColumnSpan = 97;
constexpr uint32_t kPropRowSpan = 98;
constexpr uint32_t kDisplayMask = 0x3FF;

LayoutExtra *extraOf(Edr_Node *node)
{
    return static_cast<LayoutExtra *>(Edr_Node_getExtra(node));
}

uint32_t displayOf(const Edr_Style *style)
{
    return Edr_Style_get(style, PropId_display, nullptr);
}

int32_t clamp64(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// An integer given in pixels of 1/96 inch, as a 16.16 length.
int32_t pixelsToLength(int32_t value)
{
    return clamp64(int64_t(value) * 65536 / 96);
}

// A size of property 90 or 44: the length, or 0 and the whole percent.
void readSize(const Edr_Style *style, uint32_t id, int32_t *length, int32_t *percent)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(style, id, &p);
    int32_t v = int32_t(uint32_t(p.word));
    *length = 0;
    *percent = 0;
    if (type == PropType_length)
        *length = v;
    else if (type == PropType_percent)
        *percent = v / 65536;
    else if (type == PropType_int)
        *length = pixelsToLength(v);
}

// A length, or an integer in pixels; else 0.
int32_t readLengthOrPixels(const Edr_Style *style, uint32_t id)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(style, id, &p);
    int32_t v = int32_t(uint32_t(p.word));
    if (type == PropType_length)
        return v;
    if (type == PropType_int)
        return pixelsToLength(v);
    return 0;
}

int32_t readLength(const Edr_Style *style, uint32_t id)
{
    Edr_StylePayload p{};
    return Edr_Style_get(style, id, &p) == PropType_length ? int32_t(uint32_t(p.word)) : 0;
}

// Empties an extra record for a new build: what it owns is freed, the
// table widths stay.
void resetExtra(LayoutExtra *x, uint32_t keyword)
{
    Mem_free(x->borders);
    for (uint32_t i = 0; i < x->columnCount && x->columns; i++)
        Edr_Style_release(x->columns[i].style);
    Mem_free(x->columns);
    int32_t minWidth = x->minWidth, maxWidth = x->maxWidth, fixedWidth = x->fixedWidth;
    // A new grid makes table layout's width records stale.
    for (TableWidths *w : x->widths)
        Layout_freeTripleBuf(w);
    std::memset(x, 0, sizeof(*x));
    x->minWidth = minWidth;
    x->maxWidth = maxWidth;
    x->fixedWidth = fixedWidth;
    x->row = -1;
    x->column = -1;
    x->rowSpan = 1;
    x->columnSpan = 1;
    x->flags = keyword & kDisplayMask;
}

void postStackEvent(TableBuilder *b)
{
    EventProc *processor = b->eventProc;
    if (!processor && b->doc && b->doc->app)
        processor = b->doc->app->eventProc;
    if (!processor)
        return;
    EventProcCodeMsg m{DocMsg_codeStackExhausted, b->doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(processor, &m);
}

// Grows the table's column array to hold n entries (new ones zeroed).
int growColumns(LayoutExtra *t, uint32_t n)
{
    if (n <= t->columnCapacity)
        return Res_ok;
    uint32_t cap = t->columns ? t->columnCapacity * 2 : 0;
    cap = std::max(cap, n);
    if (!t->columns)
        cap = std::max<uint32_t>(cap, 10);
    void *grown = Mem_realloc(t->columns, size_t(cap) * sizeof(TableColumn));
    if (!grown)
        return Res_noMemory;
    t->columns = static_cast<TableColumn *>(grown);
    std::memset(t->columns + t->columnCapacity, 0,
                size_t(cap - t->columnCapacity) * sizeof(TableColumn));
    t->columnCapacity = cap;
    return Res_ok;
}

// The values of add laid over base: base (or a copy of it) with add's
// own values. *out holds one reference; base's is given up.
int mergeOver(Edr_Doc *doc, Edr_Style *base, Edr_Style *add, Edr_Style **out)
{
    *out = nullptr;
    Edr_Style *set = base;
    if (int err = Edr_Style_makeWritable(&set, doc))
        return err;
    for (uint32_t i = 0; i < add->ownCount; i++)
        if (int err = Edr_Style_setValue(set, &add->ownValues[i])) {
            Edr_Style_release(set);
            return err;
        }
    *out = set;
    return Res_ok;
}

// The vertical alignments a cell takes; any other keyword leaves it unset.
bool tablegridIsCellAlign(uint32_t keyword)
{
    return keyword == KwId_baseline || keyword == KwId_bottom || keyword == KwId_middle ||
           keyword == KwId_top;
}

} // namespace

void TableBuilder_init(TableBuilder *builder, Edr_Doc *doc)
{
    std::memset(builder, 0, sizeof(*builder));
    builder->doc = doc;
    builder->context = doc ? doc->app : nullptr;
    builder->eventProc = builder->context ? builder->context->eventProc : nullptr;
}

int32_t Table_spanOf(const Edr_Style *style, uint32_t id, int32_t limit)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(style, id, &p);
    int64_t v = int32_t(uint32_t(p.word));
    if (type == PropType_length)
        v = (v + 256) / 65536;
    else if (type != PropType_int)
        v = 1;
    if (v < 1)
        return 1;
    return int32_t(std::min<int64_t>(v, limit));
}

int Table_initCellExtra(TableBuilder *builder, Edr_Node *node, Edr_Style *style, uint32_t keyword)
{
    LayoutExtra *x = extraOf(node);
    if (!x)
        return Res_noMemory;
    resetExtra(x, keyword);
    x->rowSpan = Table_spanOf(style, kPropRowSpan, Table_maxRowSpan);
    x->columnSpan = Table_spanOf(style, kPropColumnSpan, Table_maxColumnSpan);
    readSize(style, PropId_width, &x->width, &x->widthPercent);
    readSize(style, PropId_height, &x->height, &x->heightPercent);
    uint32_t align = Edr_Style_get(style, PropId_verticalAlign, nullptr);
    x->verticalAlign = tablegridIsCellAlign(align) ? align : 0;
    if (keyword == TableKw_table || keyword == TableKw_cell) {
        CellBorders *b = static_cast<CellBorders *>(Mem_calloc(1, sizeof(CellBorders)));
        if (!b)
            return Res_noMemory;
        b->node = node;
        b->hidden = Edr_Style_testProp87(style, 0, 0) ? 1 : 0;
        for (uint32_t side = 0; side < 4; side++)
            (void)Edr_Style_getBorder(style, 14 + side, &b->sides[side]);
        if (Edr_Style_get(style, PropId_backgroundColor, nullptr) == PropType_colour) {
            Edr_Style_getWithFallback(style, PropId_backgroundColor, b->background, 0);
            b->background[3] = 255;
        }
        x->borders = b;
    }
    if (keyword == TableKw_table) {
        x->borders->spacing[0] = readLength(style, PropId_borderSpacingX);
        x->borders->spacing[1] = readLength(style, PropId_borderSpacingY);
        for (uint32_t i = 0; i < 4; i++)
            x->borders->padding[i] = readLength(style, PropId_paddingTop + i);
    } else {
        x->indent = readLengthOrPixels(style, kPropIndent);
    }
    Edr_StylePayload p{};
    if (Edr_Style_get(style, PropId_backgroundImageRef, &p) == PropType_int)
        x->imageNumber = int32_t(uint32_t(p.word));
    x->sizeWord = readLengthOrPixels(style, PropId_marginLeft);
    (void)builder;
    return Res_ok;
}

int Table_addColumns(TableBuilder *builder, Edr_Node *columnNode, Edr_Style *style, Edr_Node *table,
                     int groupFlag)
{
    LayoutExtra *t = extraOf(table);
    if (!t)
        return Res_noMemory;
    Edr_StylePayload p{};
    int32_t span = 1;
    if (Edr_Style_get(style, kPropColumnSpan, &p) == PropType_int)
        span = std::clamp<int32_t>(int32_t(uint32_t(p.word)), 1, Table_maxColumnSpan);
    uint32_t first = t->columnCount;
    if (int err = growColumns(t, first + uint32_t(span)))
        return err;
    int32_t width = 0, percent = 0;
    readSize(style, PropId_width, &width, &percent);
    for (int32_t i = 0; i < span; i++) {
        Edr_Style *own = nullptr;
        if (int err = Edr_Style_computeDefault(builder->doc, &own, columnNode))
            return err;
        TableColumn *c = &t->columns[t->columnCount];
        // A col inside a group keeps the group's width unless it gives one.
        if (!c->style || width > 0 || percent > 0) {
            c->width = std::max(width, 0);
            c->widthPercent = std::max(percent, 0);
        }
        if (c->style) {
            Edr_Style *merged = nullptr;
            int err = mergeOver(builder->doc, c->style, own, &merged);
            Edr_Style_release(own);
            if (err)
                return err;
            own = merged;
        }
        c->style = own;
        if (groupFlag && i == 0)
            c->firstOfGroup = 1;
        c->lastOfGroup = 0;
        t->columnCount++;
    }
    if (!groupFlag)
        return Res_ok;
    uint32_t end = t->columnCount;
    t->columnCount = first;
    for (Edr_Node *child = Edr_Node_firstChild(columnNode); child;
         child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        if (int err = Edr_Style_computeForNode(builder->doc, &cs, style, child)) {
            t->columnCount = std::max(t->columnCount, end);
            return err;
        }
        int err = Res_ok;
        if (displayOf(cs) != TableKw_column) {
            Edr_Style_release(cs);
            Edr_Node_extraDrop(builder->context, columnNode);
            break;
        }
        err = Table_addColumns(builder, child, cs, table, 0);
        Edr_Style_release(cs);
        if (err) {
            t->columnCount = std::max(t->columnCount, end);
            return err;
        }
    }
    if (t->columnCount < end)
        t->columnCount = end;
    if (t->columnCount > 0)
        t->columns[t->columnCount - 1].lastOfGroup = 1;
    return Res_ok;
}

int Table_walkCellContent(TableBuilder *builder, Edr_Node *node, Edr_Style *style)
{
    if (Edr_Style_stackLeft(builder->doc) <= Edr_Measure_stackMargin) {
        postStackEvent(builder);
        return Res_stackExhausted;
    }
    if (builder->context)
        Task_yield(builder->context);
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        if (int err = Edr_Style_computeForNode(builder->doc, &cs, style, child))
            return err;
        int err;
        if (displayOf(cs) == TableKw_table) {
            if (builder->nested) {
                err = builder->nested(builder, child, cs);
            } else {
                TableBuilder inner = *builder;
                inner.depth++;
                err = Table_buildGrid(&inner, child, cs);
            }
        } else {
            err = Table_walkCellContent(builder, child, cs);
        }
        Edr_Style_release(cs);
        if (err)
            return err;
    }
    return Res_ok;
}

int Table_placeCell(TableBuilder *builder, Edr_Node *cell, Edr_Style *style, Edr_Node *table,
                    int32_t *maxColumns, int32_t *maxRows, SpanTracker *tracker, int32_t *column,
                    int32_t *row, int32_t rowHeight)
{
    if (int err = SpanTracker_ensure(tracker, uint32_t(*column)))
        return err;
    if (int err = Edr_Node_extraEnsure(builder->context, cell))
        return err;
    if (builder->cellHook)
        if (int err = builder->cellHook(builder, table, cell, style, *column))
            return err;
    if (int err = Table_initCellExtra(builder, cell, style, TableKw_cell))
        return err;
    LayoutExtra *x = extraOf(cell);
    if (int err = SpanTracker_ensure(tracker, uint32_t(*column + x->columnSpan - 1)))
        return err;
    if (rowHeight > 0)
        x->height = rowHeight;
    if (int err = Table_walkCellContent(builder, cell, style))
        return err;
    while (uint32_t(*column) < tracker->count && tracker->entries[*column] != 0)
        ++*column;
    int32_t end = *column + x->columnSpan;
    *maxColumns = std::max(*maxColumns, end);
    *maxRows = int32_t(
        std::min<int64_t>(std::max<int64_t>(*maxRows, int64_t(*row) + x->rowSpan - 1), INT32_MAX));
    if (uint32_t(*maxColumns) > tracker->count) {
        if (int err = SpanTracker_ensure(tracker, uint32_t(*maxColumns - 1)))
            return err;
        tracker->count = uint32_t(*maxColumns);
    }
    for (int32_t c = *column; c < end; c++)
        tracker->entries[c] = std::max(tracker->entries[c], x->rowSpan);
    x->row = *row - 1;
    x->column = *column;
    *column = end;
    return Res_ok;
}

int Table_walkRows(TableBuilder *builder, Edr_Node *node, Edr_Style *style, Edr_Node *table,
                   int32_t *maxColumns, int32_t *maxRows, SpanTracker *tracker, int32_t *column,
                   int32_t *row, int isRow)
{
    uint32_t savedWhiteSpace = builder->whiteSpace;
    builder->whiteSpace = uint32_t(Edr_Style_testProp87(style, 0, 0));
    int err = Res_ok;
    int32_t rowHeight = 0;
    if (isRow) {
        err = Edr_Node_extraEnsure(builder->context, node);
        if (!err)
            err = Table_initCellExtra(builder, node, style, TableKw_row);
        if (!err) {
            LayoutExtra *x = extraOf(node);
            rowHeight = x->height;
            x->row = *row;
            *column = 0;
            if (*row < INT32_MAX)
                ++*row;
            for (uint32_t i = 0; i < tracker->count; i++)
                if (tracker->entries[i] > 0)
                    tracker->entries[i]--;
        }
    }
    for (Edr_Node *child = err ? nullptr : Edr_Node_firstChild(node); child;
         child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        err = Edr_Style_computeForNode(builder->doc, &cs, style, child);
        if (err)
            break;
        uint32_t kw = displayOf(cs);
        if (kw == TableKw_cell)
            err = Table_placeCell(builder, child, cs, table, maxColumns, maxRows, tracker, column,
                                  row, rowHeight);
        else if (kw == TableKw_row)
            err = Table_walkRows(builder, child, cs, table, maxColumns, maxRows, tracker, column,
                                 row, 1);
        else if (kw != TableKw_skip && (kw < TableKw_table || kw > TableKw_rowGroup))
            err = Table_walkRows(builder, child, cs, table, maxColumns, maxRows, tracker, column,
                                 row, 0);
        Edr_Style_release(cs);
        if (err)
            break;
    }
    builder->whiteSpace = savedWhiteSpace;
    return err;
}

int Table_walk(TableBuilder *builder, Edr_Node *node, Edr_Style *style, Edr_Node *table,
               int32_t *maxColumns, int32_t *maxRows, SpanTracker *tracker, int32_t *column,
               int32_t *row)
{
    if (Edr_Style_stackLeft(builder->doc) <= Edr_Measure_stackMargin) {
        postStackEvent(builder);
        return Res_stackExhausted;
    }
    int err = Edr_Node_extraEnsure(builder->context, node);
    if (!err)
        err = Table_initCellExtra(builder, node, style, displayOf(style));
    Edr_Node *footer = nullptr;
    Edr_Style *footerStyle = nullptr;
    for (Edr_Node *child = err ? nullptr : Edr_Node_firstChild(node); child;
         child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        err = Edr_Style_computeForNode(builder->doc, &cs, style, child);
        if (err)
            break;
        uint32_t kw = displayOf(cs);
        switch (kw) {
        case TableKw_column: err = Table_addColumns(builder, child, cs, table, 0); break;
        case TableKw_columnGroup: err = Table_addColumns(builder, child, cs, table, 1); break;
        case TableKw_caption: extraOf(table)->caption = child; break;
        case TableKw_row:
            err = Table_walkRows(builder, child, cs, table, maxColumns, maxRows, tracker, column,
                                 row, 1);
            break;
        case TableKw_footerGroup:
            Edr_Style_release(footerStyle);
            footer = child;
            footerStyle = Edr_Style_retain(cs);
            break;
        case TableKw_skip:
        case TableKw_table:
        case TableKw_cell: break;
        default:
            err = Table_walk(builder, child, cs, table, maxColumns, maxRows, tracker, column, row);
            break;
        }
        Edr_Style_release(cs);
        if (err)
            break;
    }
    if (!err && footer)
        err = Table_walk(builder, footer, footerStyle, table, maxColumns, maxRows, tracker, column,
                         row);
    Edr_Style_release(footerStyle);
    if (err)
        Edr_Node_extraDrop(builder->context, node);
    return err;
}

int Table_buildGrid(TableBuilder *builder, Edr_Node *table, Edr_Style *style)
{
    SpanTracker *tracker = SpanTracker_create();
    if (!tracker)
        return Res_noMemory;
    int32_t maxColumns = 0, maxRows = 0, column = 0, row = 0;
    int err =
        Table_walk(builder, table, style, table, &maxColumns, &maxRows, tracker, &column, &row);
    if (!err) {
        LayoutExtra *x = extraOf(table);
        x->rowCount = maxRows;
        x->colCount = maxColumns;
    }
    Layout_freeTripleBuf(tracker);
    return err;
}

void Table_dropExtras(EngineContext *context, Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return;
    // Iterative walk of the subtree: down through first children, then
    // across and back up.
    Edr_Node *n = node;
    while (n) {
        Edr_Node_extraDrop(context, n);
        Edr_Node *next = nullptr;
        for (Edr_Node *c = Edr_Node_firstChild(n); c; c = Edr_Node_nextSibling(c))
            if (Edr_Node_type(c) == Edr_NodeType_group) {
                next = c;
                break;
            }
        while (!next && n != node) {
            for (Edr_Node *s = Edr_Node_nextSibling(n); s; s = Edr_Node_nextSibling(s))
                if (Edr_Node_type(s) == Edr_NodeType_group) {
                    next = s;
                    break;
                }
            if (!next)
                n = Edr_Node_parent(n);
        }
        n = next;
    }
}
