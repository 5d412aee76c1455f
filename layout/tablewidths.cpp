// Table column widths: the fixed, minimum and maximum width records
// measured from the cells, span constraints spread over their columns, and
// the widths resolved against the room a table is given.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "layout/tablegrid.h"
#include "document/style/lookup.h"
#include "layout/measure.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/layout.h"
#include "layout/table.h"

namespace {

// Free stack below which a table is not measured: one level of measuring
// with its style sets, for 64-bit frames and the sanitizer build.
constexpr size_t kMeasureStackMargin = 32 * 1024;

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

LayoutExtra *extraOf(Edr_Node *node)
{
    return static_cast<LayoutExtra *>(Edr_Node_getExtra(node));
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

bool collapsed(const Edr_Style *style)
{
    return keyword(style, PropId_borderCollapse) == KwId_collapse;
}

void postStackEvent(Edr_Doc *doc)
{
    EngineContext *app = doc ? doc->app : nullptr;
    if (!app || !app->eventProc)
        return;
    EventProcCodeMsg m{DocMsg_codeStackExhausted, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(app->eventProc, &m);
}

struct Measure {
    LayoutBox *box;
    Edr_Doc *doc;
    TableWidths *rec[3];
    bool fixedLayout;
    int32_t spacing; // horizontal spacing, 0 when collapsed
};

int TableLayout_measureCell(Measure &m, Edr_Node *cell, Edr_Style *style)
{
    LayoutExtra *x = extraOf(cell);
    if (!x || x->row < 0 || x->column < 0)
        return Res_ok;
    if (m.fixedLayout && x->row != 0)
        return Res_ok;
    // The content's narrowest and widest widths.
    LayoutCursor cursor{};
    int32_t start[2] = {0, 0};
    LayoutCursor_init(&cursor, start, style);
    cursor.box = m.box;
    cursor.document = m.doc;
    int ended = 0;
    int fixedWidth = x->width > 0 ? 1 : 0;
    if (int err = Edr_Measure_group(&cursor, cell, style, fixedWidth, &ended))
        return err;
    x->minWidth = std::max(cursor.narrowest, 1);
    x->maxWidth = std::max(cursor.widest, x->minWidth);
    if (x->columnSpan < 1)
        x->columnSpan = 1;
    int32_t borders[2] = {0, 0}, paddings[2] = {0, 0};
    Edr_Style_getHorizontalEdges(style, nullptr, borders, paddings, m.box->availableWidth);
    int64_t extra = int64_t(borders[0]) + borders[1] + paddings[0] + paddings[1] + m.spacing;
    int32_t first = x->column, span = x->columnSpan;
    TableWidths *fixed = m.rec[TableWidths_fixed];
    if (int err = TableWidths_reserve(fixed, first + span - 1))
        return err;
    if (x->width > 0 || x->widthPercent > 0) {
        int32_t w = x->width > 0 ? sat(x->width + extra) : 0;
        if (int err = TableWidths_add(fixed, w, x->widthPercent, first, span))
            return err;
    } else if (span == 1 && fixed->widths[first] > 0 &&
               fixed->widths[first] < int64_t(x->maxWidth) + extra) {
        // A wider cell without a width: the column's fixed width is given up.
        fixed->widths[first] = -1;
    }
    if (int err = TableWidths_add(m.rec[TableWidths_minimum], sat(x->minWidth + extra),
                                  x->widthPercent, first, span))
        return err;
    return TableWidths_add(m.rec[TableWidths_maximum], sat(x->maxWidth + extra), x->widthPercent,
                           first, span);
}

int TableLayout_measureCellFn(void *measure, Edr_Node *cell, Edr_Style *style)
{
    return TableLayout_measureCell(*static_cast<Measure *>(measure), cell, style);
}

void freeRecords(TableWidths *rec[3])
{
    for (int i = 0; i < 3; i++) {
        Layout_freeTripleBuf(rec[i]);
        rec[i] = nullptr;
    }
}

} // namespace

// ------------------------------------------------------------ cell walk

int TableLayout_forEachCell(Edr_Doc *doc, Edr_Node *node, Edr_Style *style, int skipCollapsedRows,
                            TableCellFn visit, void *argument)
{
    Edr_Node *footer = nullptr;
    for (Edr_Node *c = Edr_Node_firstChild(node);; c = Edr_Node_nextSibling(c)) {
        bool last = false;
        if (!c) {
            if (!footer)
                return Res_ok;
            c = footer;
            last = true;
        }
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        if (int err = Edr_Style_computeForNode(doc, &cs, style, c))
            return err;
        int err = Res_ok;
        switch (keyword(cs, PropId_display)) {
        case KwId_tableColumn:
        case KwId_tableColumnGroup:
        case KwId_inlineTable:
        case KwId_table:
        case KwId_tableCaption: break;
        case KwId_tableCell: err = visit(argument, c, cs); break;
        case KwId_tableRow:
            if (!skipCollapsedRows || keyword(cs, PropId_visibility) != KwId_collapse)
                err = TableLayout_forEachCell(doc, c, cs, skipCollapsedRows, visit, argument);
            break;
        case KwId_tableFooterGroup:
            if (!last) {
                // Only the last footer group counts; it comes after the rest.
                footer = c;
                break;
            }
            [[fallthrough]];
        default:
            err = TableLayout_forEachCell(doc, c, cs, skipCollapsedRows, visit, argument);
            break;
        }
        Edr_Style_release(cs);
        if (err || last)
            return err;
    }
}

// ------------------------------------------------------------ records

TableWidths *TableWidths_create()
{
    return static_cast<TableWidths *>(Mem_calloc(1, sizeof(TableWidths)));
}

int TableWidths_reserve(TableWidths *w, int32_t lastColumn)
{
    if (lastColumn < w->capacity)
        return Res_ok;
    if (lastColumn < 0 || lastColumn >= 0x100000)
        return Res_noMemory;
    int32_t cap = lastColumn + 1;
    int32_t *widths = static_cast<int32_t *>(Mem_calloc(size_t(cap), sizeof(int32_t)));
    int32_t *percents = static_cast<int32_t *>(Mem_calloc(size_t(cap), sizeof(int32_t)));
    TableSpan **spans = static_cast<TableSpan **>(Mem_calloc(size_t(cap), sizeof(TableSpan *)));
    if (!widths || !percents || !spans) {
        Mem_free(widths);
        Mem_free(percents);
        Mem_free(spans);
        return Res_noMemory;
    }
    if (w->capacity) {
        std::memcpy(widths, w->widths, size_t(w->capacity) * sizeof(int32_t));
        std::memcpy(percents, w->percents, size_t(w->capacity) * sizeof(int32_t));
        std::memcpy(spans, w->spans, size_t(w->capacity) * sizeof(TableSpan *));
    }
    Mem_free(w->widths);
    Mem_free(w->percents);
    Mem_free(w->spans);
    w->widths = widths;
    w->percents = percents;
    w->spans = spans;
    w->capacity = cap;
    return Res_ok;
}

int TableWidths_add(TableWidths *w, int32_t width, int32_t percent, int32_t first, int32_t span)
{
    if (first < 0 || span < 1)
        return Res_ok;
    int32_t last = sat(int64_t(first) + span - 1);
    if (int err = TableWidths_reserve(w, last))
        return err;
    w->count = std::max(w->count, last + 1);
    if (span == 1) {
        if (w->widths[first] != -1)
            w->widths[first] = std::max(w->widths[first], width);
        w->percents[first] = percent;
        return Res_ok;
    }
    TableSpan **at = &w->spans[last];
    while (*at && (*at)->span < span)
        at = &(*at)->next;
    if (*at && (*at)->span == span) {
        (*at)->width = std::max((*at)->width, width);
        (*at)->percent = std::max((*at)->percent, percent);
        return Res_ok;
    }
    TableSpan *s = static_cast<TableSpan *>(Mem_calloc(1, sizeof(TableSpan)));
    if (!s)
        return Res_noMemory;
    *s = TableSpan{*at, width, percent, span};
    *at = s;
    return Res_ok;
}

void TableWidths_clearSpans(TableWidths *w)
{
    for (int32_t i = 0; w && i < w->capacity; i++)
        while (TableSpan *s = w->spans[i]) {
            w->spans[i] = s->next;
            Mem_free(s);
        }
}

void Layout_freeTripleBuf(TableWidths *w)
{
    if (!w)
        return;
    TableWidths_clearSpans(w);
    Mem_free(w->widths);
    Mem_free(w->percents);
    Mem_free(w->spans);
    Mem_free(w);
}

void TableWidths_spread(TableWidths *w, TableWidths *maximum, const TableWidths *fixed)
{
    auto at = [](const TableWidths *r, int32_t i) -> int64_t {
        return r && i < r->capacity ? r->widths[i] : 0;
    };
    for (int32_t last = 0; last < w->capacity; last++) {
        while (TableSpan *s = w->spans[last]) {
            w->spans[last] = s->next;
            int32_t first = std::max(0, last - s->span + 1);
            int32_t span = last - first + 1;
            int64_t have = 0, weights = 0, freeWeights = 0, freeCount = 0, percents = 0;
            for (int32_t i = first; i <= last; i++) {
                int64_t weight = std::max(at(maximum, i), at(fixed, i));
                have += std::max(int64_t(w->widths[i]), at(fixed, i));
                weights += weight;
                if (w->percents[i] > 0) {
                    percents += w->percents[i];
                } else {
                    freeCount++;
                    freeWeights += weight;
                }
            }
            int64_t e = s->width - have;
            if (e > 0) {
                int64_t total = 0;
                for (int32_t i = first; i <= last; i++) {
                    int64_t v;
                    if (have < 1 || weights < 1)
                        v = e / span + 1;
                    else
                        v = std::max(at(fixed, i), int64_t(w->widths[i])) +
                            e * std::max(at(maximum, i), at(fixed, i)) / weights;
                    w->widths[i] = sat(v);
                    total += w->widths[i];
                    if (w != maximum && w != fixed && maximum && i < maximum->capacity)
                        maximum->widths[i] = std::max(maximum->widths[i], w->widths[i]);
                }
                if (total < s->width)
                    w->widths[first] = sat(w->widths[first] + (s->width - total));
            }
            int64_t q = s->percent - percents;
            if (q > 0 && freeCount > 0) {
                for (int32_t i = first; i <= last; i++) {
                    if (w->percents[i] > 0)
                        continue;
                    int64_t weight = std::max(at(maximum, i), at(fixed, i));
                    w->percents[i] =
                        sat(freeWeights > 0 ? q * weight / freeWeights : q / freeCount);
                }
            }
            Mem_free(s);
        }
    }
}

// ------------------------------------------------------------ measuring

int32_t TableLayout_edges(Edr_Style *style)
{
    int32_t borders[2] = {0, 0}, paddings[2] = {0, 0};
    Edr_Style_getHorizontalEdges(style, nullptr, borders, paddings, 0);
    int64_t e = int64_t(borders[0]) + borders[1] + paddings[0] + paddings[1];
    if (!collapsed(style))
        e += lengthOf(style, PropId_borderSpacingX);
    return sat(e);
}

int TableLayout_measure(LayoutBox *box, Edr_Node *table, Edr_Style *style, int32_t *minWidth,
                        int32_t *maxWidth)
{
    *minWidth = *maxWidth = 0;
    Edr_Doc *doc = box->document;
    // Measuring recurses through the cells' content into nested tables:
    // with too little stack left nothing is measured and the caller learns
    // why.
    if (Edr_Style_stackLeft(doc) <= kMeasureStackMargin) {
        postStackEvent(doc);
        return Res_stackExhausted;
    }
    if (box->context && Task_hasCurrent(box->context))
        if (int stop = Task_checkStop(box->context))
            return stop;
    // A table inside a table being measured or placed was measured (and
    // its grid built) with the enclosing one: it is not measured again.
    LayoutExtra *x = extraOf(table);
    bool nested = box->inTable > 1 && x && x->rowCount >= 0 && (x->flags & Table_keywordMask);
    if (nested && x->widths[TableWidths_minimum]) {
        *minWidth = x->minWidth;
        *maxWidth = x->maxWidth;
        return Res_ok;
    }
    if (!nested) {
        TableBuilder builder{};
        TableBuilder_init(&builder, doc);
        if (int err = Table_buildGrid(&builder, table, style))
            return err;
        x = extraOf(table);
    }
    if (!x)
        return Res_ok;
    int32_t n = std::max(x->colCount, 0);
    Measure m{};
    m.box = box;
    m.doc = doc;
    m.fixedLayout = keyword(style, PropId_tableLayout) == KwId_fixed;
    m.spacing = collapsed(style) ? 0 : lengthOf(style, PropId_borderSpacingX);
    int err = Res_ok;
    for (int i = 0; i < 3 && !err; i++) {
        m.rec[i] = TableWidths_create();
        if (!m.rec[i])
            err = Res_noMemory;
        else if (n > 0)
            err = TableWidths_reserve(m.rec[i], i == TableWidths_maximum ? n : n - 1);
        if (m.rec[i])
            m.rec[i]->count = n;
    }
    uint32_t savedInTable = box->inTable;
    box->inTable = std::max(savedInTable, 1u) + 1;
    if (!err)
        err = TableLayout_forEachCell(m.doc, table, style, 0, TableLayout_measureCellFn, &m);
    // A column's own width (a col element's) counts as a width of its
    // cells where none of them gives one.
    for (uint32_t i = 0; !err && x->columns && i < x->columnCount; i++) {
        const TableColumn &c = x->columns[i];
        TableWidths *fixed = m.rec[TableWidths_fixed];
        if ((c.width <= 0 && c.widthPercent <= 0) || (err = TableWidths_reserve(fixed, int32_t(i))))
            continue;
        if (int32_t(i) < fixed->count && (fixed->widths[i] > 0 || fixed->percents[i] > 0))
            continue;
        err = TableWidths_add(fixed, c.width > 0 ? sat(int64_t(c.width) + m.spacing) : 0,
                              c.widthPercent, int32_t(i), 1);
    }
    box->inTable = savedInTable;
    if (err) {
        freeRecords(m.rec);
        return err;
    }
    TableWidths *fixed = m.rec[TableWidths_fixed], *mins = m.rec[TableWidths_minimum],
                *maxs = m.rec[TableWidths_maximum];
    n = std::max({n, fixed->count, mins->count, maxs->count});
    for (int i = 0; i < 3 && !err; i++) {
        err = n > 0 ? TableWidths_reserve(m.rec[i], n) : Res_ok;
        m.rec[i]->count = n;
    }
    if (err) {
        freeRecords(m.rec);
        return err;
    }
    for (int32_t i = 0; i < n; i++)
        if (fixed->widths[i] == -1)
            fixed->widths[i] = 0;
    TableWidths_spread(mins, maxs, fixed);
    TableWidths_spread(maxs, maxs, fixed);
    TableWidths_spread(fixed, maxs, fixed);
    if (!m.fixedLayout)
        for (int32_t i = 0; i < n; i++) {
            maxs->widths[i] = std::max(maxs->widths[i], mins->widths[i]);
            if (fixed->widths[i] > 0 && fixed->widths[i] < mins->widths[i])
                fixed->widths[i] = mins->widths[i];
        }
    freeRecords(x->widths);
    for (int i = 0; i < 3; i++)
        x->widths[i] = m.rec[i];
    x->colCount = n;
    int64_t edges = TableLayout_edges(style);
    int64_t low = edges, high = edges;
    for (int32_t i = 0; i < n; i++) {
        low += mins->widths[i];
        high +=
            std::max(fixed->widths[i] > 0 ? fixed->widths[i] : maxs->widths[i], mins->widths[i]);
    }
    x->minWidth = sat(low);
    x->maxWidth = sat(high);
    int32_t specified = lengthOf(style, PropId_width);
    x->fixedWidth = specified;
    if (specified > 0)
        x->maxWidth = std::max(specified, x->minWidth);
    *minWidth = x->minWidth;
    *maxWidth = x->maxWidth;
    return Res_ok;
}

// ------------------------------------------------------------ resolving

void TableLayout_distribute(int32_t *c, TableWidths *fixed, TableWidths *maximum, int32_t specified,
                            int32_t available, int32_t edges)
{
    int32_t n = std::min(fixed->count, maximum->count);
    const int32_t *f = fixed->widths, *pIn = fixed->percents, *m = maximum->widths;
    int32_t *p = maximum->percents;
    int64_t P = 0, sumC = 0, S = 0, Sa = 0, Sf = 0, Sx = 0;
    for (int32_t i = 0; i < n; i++) {
        int64_t want = std::max(pIn[i], 0);
        p[i] = int32_t(std::min(want, 100 - P));
        P += p[i];
        sumC += c[i];
        if (p[i] > 0)
            continue;
        if (f[i] <= 0) {
            S += std::max(f[i], m[i]);
            Sa += m[i];
        } else {
            S += std::max(f[i], c[i]);
            Sf += std::max(f[i] - c[i], 0);
            Sx += f[i];
        }
    }
    int64_t target;
    if (specified > 0) {
        target = int64_t(specified) - edges;
    } else if (P < 100) {
        target = S * P / (100 - P) + S;
        for (int32_t i = 0; i < n; i++)
            if (p[i] > 0)
                target = std::max(target, int64_t(100) * c[i] / p[i]);
        target = std::min(target, int64_t(available) - edges);
    } else {
        target = int64_t(available) - edges;
    }
    int64_t extra = target - sumC;
    if (extra < 1)
        return;
    auto give = [&](int32_t i, int64_t v) {
        v = std::max<int64_t>(std::min(v, extra), 0);
        c[i] = sat(c[i] + v);
        extra -= v;
    };
    // a. Percentage columns up to their share of the target.
    int64_t Sw = 0;
    for (int32_t i = 0; i < n; i++)
        if (p[i] > 0)
            Sw += std::max<int64_t>(p[i] * target / 100 - c[i], 0);
    for (int32_t i = 0; i < n && extra > 0 && Sw > 0; i++) {
        if (p[i] <= 0)
            continue;
        int64_t want = p[i] * target / 100 - c[i];
        if (want <= 0)
            continue;
        int64_t base = extra;
        give(i, std::min(want, want * base / Sw));
        Sw -= want;
    }
    if (extra < 1)
        return;
    // b. Fixed columns up to their fixed width.
    for (int32_t i = 0; i < n && extra > 0 && Sf >= 1; i++) {
        if (f[i] <= 0 || p[i] > 0)
            continue;
        int64_t want = std::max(f[i] - c[i], 0);
        give(i, std::min(want, want * extra / Sf));
        Sf -= want;
    }
    if (extra < 1)
        return;
    // c. Automatic columns up to their maximum width.
    int64_t Sm = 0;
    for (int32_t i = 0; i < n; i++)
        if (f[i] == 0 && p[i] <= 0 && m[i] > c[i])
            Sm += m[i] - c[i];
    for (int32_t i = 0; i < n && extra > 0 && Sm > 0; i++) {
        if (f[i] != 0 || p[i] > 0 || m[i] <= c[i])
            continue;
        int64_t want = m[i] - c[i];
        give(i, std::min(want, want * extra / Sm));
        Sm -= want;
    }
    if (extra < 1)
        return;
    // d. The rest over automatic columns by their maximum widths,
    for (int32_t i = 0; i < n && extra > 0 && Sa > 0; i++) {
        if (f[i] > 0 || p[i] > 0)
            continue;
        give(i, m[i] * extra / Sa);
        Sa -= m[i];
    }
    if (extra < 1)
        return;
    // e. else over fixed columns by their fixed widths,
    for (int32_t i = 0; i < n && extra > 0 && Sx > 0; i++) {
        if (f[i] <= 0 || p[i] > 0)
            continue;
        give(i, f[i] * extra / Sx);
        Sx -= f[i];
    }
    if (extra < 1)
        return;
    // f. else over percentage columns by their percentages.
    for (int32_t i = 0; i < n && extra > 0 && P > 0; i++) {
        if (p[i] <= 0)
            continue;
        give(i, extra * p[i] / P);
        P -= p[i];
    }
}

void TableLayout_resolveWidths(const LayoutBox *box, LayoutExtra *x, Edr_Style *style,
                               int32_t availableWidth, int32_t *columns, int32_t *tableWidth)
{
    int32_t n = x->colCount;
    TableWidths *fixed = x->widths[TableWidths_fixed], *mins = x->widths[TableWidths_minimum],
                *maxs = x->widths[TableWidths_maximum];
    int32_t available = std::max(availableWidth, x->minWidth);
    int32_t edges = TableLayout_edges(style);
    int32_t specified = lengthOf(style, PropId_width);
    Edr_StylePayload pw{};
    if (Edr_Style_get(style, PropId_width, &pw) == PropType_percent) {
        int64_t percent = int32_t(uint32_t(pw.word));
        specified = sat(int64_t(available) * percent / (100 * 65536));
    }
    if (specified > 0 && box->flowMode && specified >= available)
        specified = available;
    for (int32_t i = 0; i < n; i++)
        columns[i] = mins ? mins->widths[i] : 0;
    if (fixed && maxs)
        TableLayout_distribute(columns, fixed, maxs, specified, available, edges);
    int64_t sum = edges;
    for (int32_t i = 0; i < n; i++)
        sum += columns[i];
    *tableWidth = sat(sum);
}
