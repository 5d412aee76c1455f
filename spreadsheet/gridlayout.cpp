// Worksheet grid layout: fills, border lines and cell text of a sheet grid
// into one cell grid item and the text items beside it.
#include "spreadsheet/gridlayout.h"

#include <algorithm>

#include "core/container/intern.h"
#include "core/context/context.h"
#include "layout/layerlist.h"
#include "core/geom/fixed.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/cellgrid.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"
#include "spreadsheet/sheetspan.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    kRowsPerYield = 128,
    kColumnsPerYield = 256,
    kNoColumn = 65535,
};

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

const SheetMetrics *metricsOf(const GridLayoutCtx *ctx)
{
    return ctx->grid->metrics;
}

// The sum of the widths of columns first..last - 1 (clamped to the grid).
int64_t widthOf(const SheetMetrics *m, uint32_t first, uint32_t last)
{
    int64_t w = 0;
    last = std::min(last, m->columnCount);
    for (uint32_t c = first; c < last && m->columnWidths; c++)
        w += m->columnWidths[c];
    return w;
}

// The distance from the grid's top to the top of row r (0 for row 0; the
// bottom of the last row for r at the row count or beyond).
int64_t rowTop(const SheetMetrics *m, uint32_t r)
{
    if (r == 0 || !m->rowPositions || m->rowCount == 0)
        return 0;
    return m->rowPositions[std::min(r, m->rowCount) - 1];
}

int32_t mirrorX(const GridLayoutCtx *ctx, int64_t x)
{
    return ctx->rightToLeft ? sat(int64_t(ctx->mirror) - x) : sat(x);
}

// The x of the left edge of column c in the grid's own (unmirrored) frame.
int64_t columnLeft(const GridLayoutCtx *ctx, uint32_t c)
{
    return int64_t(ctx->originX) + widthOf(metricsOf(ctx), 0, c);
}

uint32_t keywordOf(const Edr_Style *style, uint32_t id)
{
    return style ? Edr_Style_get(style, id, nullptr) : 0;
}

// ------------------------------------------------------------ cell text

// The room to the right of the cell's last column and to the left of its
// first, up to the nearest cell that holds something or merged range.
void freeRoom(const GridLayoutCtx *ctx, uint32_t index, uint32_t lastColumn, int64_t *left,
              int64_t *right)
{
    const SheetCellTable *t = ctx->grid->cellTable;
    const ExcelCell *cell = &t->cells[index];
    const SheetMetrics *m = metricsOf(ctx);
    uint32_t rightLimit = kNoColumn;
    for (uint32_t i = index + 1; i < t->count && t->cells[i].row == cell->row; i++)
        if (t->cells[i].kind != Excel_cellNoText && t->cells[i].column > lastColumn) {
            rightLimit = t->cells[i].column;
            break;
        }
    int64_t leftLimit = -1;
    for (uint32_t i = index; i-- > 0 && t->cells[i].row == cell->row;)
        if (t->cells[i].kind != Excel_cellNoText && t->cells[i].column < cell->column) {
            leftLimit = t->cells[i].column;
            break;
        }
    for (uint32_t i = 0; t->merged && i < t->mergedCount; i++) {
        const SheetMergedRange &r = t->merged[i];
        if (int64_t(cell->row) < r.firstRow || int64_t(cell->row) > r.lastRow)
            continue;
        if (r.firstColumn > int64_t(lastColumn))
            rightLimit = std::min(rightLimit, uint32_t(r.firstColumn));
        if (r.lastColumn < int64_t(cell->column))
            leftLimit = std::max<int64_t>(leftLimit, r.lastColumn);
    }
    *right = rightLimit == kNoColumn ? int64_t(GridLayout_openRight)
                                     : widthOf(m, lastColumn + 1, rightLimit);
    *left = cell->column == 0 ? 0 : widthOf(m, uint32_t(leftLimit + 1), cell->column);
}

uint32_t horizontalAlign(const Edr_Style *style)
{
    uint32_t k = keywordOf(style, PropId_textAlign);
    switch (k) {
    case KwId_right:
    case KwId_center:
    case KwId_justify:
    case KwId_left:
    case GridLayout_kwFill: return k;
    case GridLayout_kwCentreAcross: return KwId_center;
    default: return KwId_left;
    }
}

uint32_t verticalAlign(const Edr_Style *style)
{
    uint32_t k = keywordOf(style, PropId_verticalAnchor);
    return k == KwId_center || k == KwId_justify || k == KwId_top ? k : uint32_t(KwId_bottom);
}

// The limits {L, W, a, b} of the extent table.
void textExtent(uint32_t rawAlign, bool rotated, bool wraps, bool merged, int64_t w, int64_t fl,
                int64_t fr, int64_t out[4])
{
    bool centre = rawAlign == KwId_center || rawAlign == GridLayout_kwCentreAcross;
    int64_t openRight = GridLayout_openRight, openLeft = GridLayout_openLeft;
    int64_t centred = w - 0x20000000;
    auto set = [out](int64_t l, int64_t width, int64_t a, int64_t b) {
        out[0] = l, out[1] = width, out[2] = a, out[3] = b;
    };
    if (rotated)
        set(0, w, 0, w);
    else if (wraps)
        set(0, w, 0, rawAlign == GridLayout_kwFill ? openRight : w);
    else if (merged) {
        if (centre)
            set(0, w, centred, openRight);
        else if (rawAlign == KwId_justify)
            set(0, w, 0, w);
        else if (rawAlign == KwId_right)
            set(0, w, openLeft, w);
        else
            set(0, w, 0, openRight);
    } else if (centre)
        set(fl, w + fr, centred, openRight);
    else if (rawAlign == KwId_justify)
        set(0, w, 0, w);
    else if (rawAlign == KwId_left)
        set(0, w + fr, 0, openRight);
    else if (rawAlign == KwId_right)
        set(fl, w, openLeft, w);
    else
        set(0, w, 0, openRight);
}

// Rotated text trades its alignments: the horizontal becomes the vertical
// and the vertical the horizontal.
void turnAlignments(GridTextPlacement *p)
{
    bool positive = p->angle > 0;
    uint32_t h = p->horizontal, v = p->vertical;
    p->vertical = h == KwId_center  ? uint32_t(KwId_center)
                  : h == KwId_right ? (positive ? uint32_t(KwId_bottom) : uint32_t(KwId_top))
                                    : (positive ? uint32_t(KwId_top) : uint32_t(KwId_bottom));
    p->horizontal = v == KwId_center ? uint32_t(KwId_center)
                    : v == KwId_top  ? (positive ? uint32_t(KwId_right) : uint32_t(KwId_left))
                                     : (positive ? uint32_t(KwId_left) : uint32_t(KwId_right));
}

// Lays the lines of one cell's text into cell, from the top of the text
// box down. *used = the height the lines take.
int layoutLines(GridLayoutCtx *ctx, const GridTextPlacement *p, const TextFormat *format,
                Edr_Node *textNode, uint32_t ws, LayerList *cell, int32_t *used)
{
    LayoutBox *box = ctx->box;
    IterEntry entry{ctx->style, textNode, 0, 0, 0, 0, 0};
    const Edr_TextNode *text = Edr_Node_textPayload(textNode);
    uint32_t direction = keywordOf(ctx->style, PropId_direction);
    int32_t left = sat(int64_t(p->box[0]) + GridLayout_textInset);
    int32_t right = sat(int64_t(p->box[1]) - GridLayout_textInset);
    int32_t y = p->box[2];
    int err = Res_ok;
    *used = 0;
    while (!err && uint32_t(entry.resume) < text->length) {
        LayerList *line = LayerList_create();
        if (!line)
            return Res_noMemory;
        box->block.lineLeft = left;
        box->block.lineRight = right;
        LineState st{
            line, nullptr, {left, right}, sat(int64_t(right) - left), direction, ctx->style, 1,
            0,    0};
        int32_t before = entry.resume;
        int r = Res_ok;
        while (r == Res_ok && uint32_t(entry.resume) < text->length) {
            r = Layout_placeTextRun(box, &st, nullptr, &entry, format, nullptr, st.span, ws);
            st.startOfLine = 0;
            if (r == Res_ok && entry.resume == before)
                break;
            before = entry.resume;
        }
        bool stop = false;
        if (r == Layout_contentEnd || r == Layout_nothingFits) {
            stop = entry.resume == before && !LayerList_hasItems(line);
            r = Res_ok;
        } else if (r == Layout_lineFull) {
            r = Res_ok;
        }
        if (r) {
            LayerList_freeItems(line);
            LayerList_destroy(line);
            return r;
        }
        // The line's extent above and below the baseline.
        int32_t ascent = 0, descent = 0;
        bool any = false;
        for (Layer *l = line->first; l; l = l->next)
            for (ObjHeader *o = l->first; o; o = Obj_next(o)) {
                Rect b = Obj_box(o);
                ascent = any ? std::max(ascent, b.y1) : b.y1;
                descent = any ? std::max(descent, -b.y0) : -b.y0;
                any = true;
            }
        if (!any)
            Layout_formatAscent(format, &ascent, &descent);
        // Items were placed from the left limit on; alignment and the
        // shear of rotated text move them as a whole.
        int32_t freeWidth = sat(int64_t(box->block.lineRight) - box->block.lineLeft);
        int64_t dx = int64_t(Layout_alignOffset(p->horizontal, ws, direction, freeWidth)) +
                     (p->angle ? Fixed_shearForAngle(sat(int64_t(ascent) + descent), p->angle) : 0);
        int32_t baseline = sat(int64_t(y) - ascent);
        LayerList_translate(line, sat(dx), baseline);
        y = sat(int64_t(baseline) - descent);
        err = LayerList_merge(cell, line);
        if (err)
            LayerList_freeItems(line);
        LayerList_destroy(line);
        if (stop || !any)
            break;
    }
    *used = sat(int64_t(p->box[2]) - y);
    return err;
}

// Hands the text items to the grid's node instead of the scratch text
// node they were made for.
void adoptItems(LayerList *list, Edr_Node *node)
{
    for (Layer *l = list->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o))
            o->node = node;
}

int layoutCell(GridLayoutCtx *ctx, uint32_t index)
{
    const ExcelCell *cell = &ctx->grid->cellTable->cells[index];
    const SheetFormatTable *formats = ctx->grid->formatTable;
    const StyleRule *rule = formats && formats->rules && cell->rule < formats->count
                                ? formats->rules[cell->rule]
                                : nullptr;
    // A format without a rule shows its text in the node's own style.
    InternNode *interned = rule ? ctx->formats[cell->rule] : ctx->plainFormat;
    if (!interned || !cell->text)
        return Res_ok;
    Edr_Style_setOverrides(ctx->style, rule ? rule : ctx->savedOverrides);
    GridTextPlacement p{};
    GridLayout_placeText(ctx, index, &p);
    if (int64_t(p.box[1]) - p.box[0] <= 2 * GridLayout_textInset)
        return Res_ok;
    const TextFormat *format = static_cast<const TextFormat *>(interned->record);
    uint32_t ws = keywordOf(ctx->style, PropId_whiteSpace);

    uint32_t length = 0;
    while (cell->text[length])
        length++;
    Edr_Node *textNode = nullptr;
    int err = Edr_Node_allocate(&textNode, Edr_NodeType_text, sizeof(Edr_TextNode));
    if (err)
        return err;
    // The items lend the cell's own characters, which live as long as the
    // grid's node.
    *Edr_Node_textPayload(textNode) = Edr_TextNode{cell->text, length};
    LayerList *list = LayerList_create();
    if (!list) {
        Edr_Node_destroy(nullptr, textNode);
        return Res_noMemory;
    }
    int32_t used = 0;
    err = layoutLines(ctx, &p, format, textNode, ws, list, &used);
    adoptItems(list, ctx->node);
    Edr_Node_destroy(nullptr, textNode);
    if (!err) {
        int64_t rest = int64_t(p.box[2]) - p.box[3] - used;
        if (rest > 0 && p.vertical == KwId_bottom)
            LayerList_translate(list, 0, sat(-rest));
        else if (rest > 0 && p.vertical == KwId_center)
            LayerList_translate(list, 0, sat(-(rest / 2)));
        if (p.angle) {
            Matrix turn;
            if (p.rotation) {
                turn = *p.rotation;
            } else {
                int32_t s = Fixed_sinDeg(p.angle), c = Fixed_sinDeg(90 - p.angle);
                turn = Matrix{c, s, -s, c, 0, 0};
            }
            Point top, bottom;
            GridLayout_cellRect(ctx, cell->row, cell->column, cell->row, cell->column, &top,
                                &bottom);
            Point anchor{p.angle > 0 ? p.box[0] : p.box[1], top.y};
            err = LayerList_transform(list, &turn, &anchor, 0);
        } else {
            Rect clip{p.clip[0], p.clip[3], p.clip[1], p.clip[2]};
            err = LayerList_clipToRect(list, &clip, 0);
        }
    }
    if (!err)
        err = LayerList_merge(ctx->box->layers, list);
    if (err)
        LayerList_freeItems(list);
    LayerList_destroy(list);
    return err;
}

void setFillCorners(const GridLayoutCtx *ctx, const GridFillEntry &e, GridFill *out)
{
    uint32_t r1 = e.second ? e.second->row : e.first.row;
    uint32_t c1 = e.second ? e.second->column : e.first.column;
    Point tl, br;
    GridLayout_cellRect(ctx, e.first.row, e.first.column, r1, c1, &tl, &br);
    int32_t h = sat(int64_t(tl.y) - br.y);
    int32_t shearRight = e.angles ? Fixed_shearForAngle(h, e.angles[1]) : 0;
    int32_t shearLeft = e.angles ? Fixed_shearForAngle(h, e.angles[0]) : 0;
    out->corners[0] = tl;
    out->corners[1] = {br.x, tl.y};
    out->corners[2] = {sat(int64_t(br.x) + shearRight), br.y};
    out->corners[3] = {sat(int64_t(tl.x) + shearLeft), br.y};
}

uint32_t fillColour(const SheetGrid *grid, const GridFillEntry &e)
{
    uint32_t second = GridLayout_colour(grid, e.colour2);
    if (e.pattern < 2)
        return second;
    // A pattern shows as the mean of its two colours, alpha included.
    uint32_t first = GridLayout_colour(grid, e.colour1), out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= (((first >> shift) & 0xFF) + ((second >> shift) & 0xFF)) / 2 << shift;
    return out;
}

} // namespace

int32_t Fixed_shearForAngle(int32_t length, int32_t degrees)
{
    if (degrees == 0 || degrees < -89 || degrees > 89)
        return 0;
    int32_t t = Fixed_tanDeg(degrees > 0 ? degrees - 90 : degrees + 90);
    return sat(-(int64_t(length) * t) / 65536);
}

uint32_t GridLayout_colour(const SheetGrid *grid, uint32_t index)
{
    return grid->palette[index < SheetGrid_paletteSize ? index : 0];
}

int GridLayout_create(GridLayoutCtx **out, Edr_Node *node, Edr_Style *style, LayoutBox *box)
{
    *out = nullptr;
    if (!node || Edr_Node_type(node) != Edr_NodeType_grid)
        return Res_nullInput;
    SheetGrid *grid =
        static_cast<SheetGrid *>(static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record);
    if (!grid || !grid->metrics || !grid->cellTable || !grid->edgeLists || !grid->fillTable)
        return Res_nullInput;
    GridLayoutCtx *ctx = static_cast<GridLayoutCtx *>(Mem_calloc(1, sizeof(GridLayoutCtx)));
    if (!ctx)
        return Res_noMemory;
    ctx->grid = grid;
    ctx->node = node;
    ctx->box = box;
    ctx->style = style ? Edr_Style_retain(style) : nullptr;
    ctx->savedOverrides = style ? style->overrides : nullptr;
    ctx->formatCount = grid->formatTable ? grid->formatTable->count : 0;
    ctx->formats =
        ctx->formatCount
            ? static_cast<InternNode **>(Mem_calloc(ctx->formatCount, sizeof(InternNode *)))
            : nullptr;
    ctx->fills = static_cast<GridFillList *>(Mem_calloc(1, sizeof(GridFillList)));
    ctx->lines = static_cast<GridLineList *>(Mem_calloc(1, sizeof(GridLineList)));
    if ((ctx->formatCount && !ctx->formats) || !ctx->fills || !ctx->lines) {
        GridLayout_free(ctx, 1);
        return Res_noMemory;
    }
    *out = ctx;
    return Res_ok;
}

void GridLayout_free(GridLayoutCtx *ctx, int failed)
{
    if (!ctx)
        return;
    if (ctx->style) {
        Edr_Style_setOverrides(ctx->style, ctx->savedOverrides);
        Edr_Style_release(ctx->style);
    }
    for (uint32_t i = 0; ctx->formats && i < ctx->formatCount; i++)
        InternList_release(ctx->formats[i]);
    InternList_release(ctx->plainFormat);
    Mem_free(ctx->formats);
    if (failed == 1) {
        GridFillList_free(ctx->fills);
        GridLineList_free(ctx->lines);
    }
    Mem_free(ctx);
}

int GridLayout_loadFonts(GridLayoutCtx *ctx)
{
    const SheetFormatTable *formats = ctx->grid->formatTable;
    LayoutCache *cache = ctx->box && ctx->box->document
                             ? static_cast<LayoutCache *>(Edr_Page_listHead2(ctx->box->document))
                             : nullptr;
    if (!ctx->style || !cache)
        return Res_ok;
    for (uint32_t i = 0; i <= ctx->formatCount; i++) {
        // The formats in order, then the node's own style.
        const StyleRule *rule = i < ctx->formatCount
                                    ? (formats && formats->rules ? formats->rules[i] : nullptr)
                                    : ctx->savedOverrides;
        if (i < ctx->formatCount && !rule)
            continue;
        Edr_Style_setOverrides(ctx->style, rule);
        TextFormat format{};
        int err = Layout_textFormat(ctx->box, ctx->style, &format);
        if (err)
            return err;
        // Cell text keeps its runs of spaces.
        format.decoration &= ~uint32_t(TextDecor_collapse);
        InternNode **slot = i < ctx->formatCount ? &ctx->formats[i] : &ctx->plainFormat;
        err = InternList_acquire(&cache->textStyles, &format, sizeof(TextFormat),
                                 Layout_textFormatEqual, slot);
        if (err)
            return err;
    }
    Edr_Style_setOverrides(ctx->style, ctx->savedOverrides);
    return Res_ok;
}

void GridLayout_cellRect(const GridLayoutCtx *ctx, uint32_t firstRow, uint32_t firstColumn,
                         uint32_t lastRow, uint32_t lastColumn, Point *topLeft, Point *bottomRight)
{
    const SheetMetrics *m = metricsOf(ctx);
    uint32_t lastC = m->columnCount ? m->columnCount - 1 : 0;
    uint32_t lastR = m->rowCount ? m->rowCount - 1 : 0;
    firstColumn = std::min(firstColumn, lastC);
    lastColumn = std::min(lastColumn, lastC);
    firstRow = std::min(firstRow, lastR);
    lastRow = std::min(lastRow, lastR);
    int64_t left = columnLeft(ctx, firstColumn);
    int64_t right = left + widthOf(m, firstColumn, lastColumn + 1);
    int32_t top = sat(-rowTop(m, firstRow));
    int32_t bottom = sat(-rowTop(m, lastRow + 1));
    if (ctx->rightToLeft) {
        int32_t l = mirrorX(ctx, right), r = mirrorX(ctx, left);
        *topLeft = {l, top};
        *bottomRight = {r, bottom};
    } else {
        *topLeft = {sat(left), top};
        *bottomRight = {sat(right), bottom};
    }
}

int GridLayout_buildFills(GridLayoutCtx *ctx)
{
    const GridFillTable *t = ctx->grid->fillTable;
    uint32_t n = t->entries ? t->count : 0;
    if (n == 0)
        return Res_ok;
    GridFill *fills = static_cast<GridFill *>(Mem_calloc(n, sizeof(GridFill)));
    if (!fills)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++) {
        fills[i].colour = fillColour(ctx->grid, t->entries[i]);
        setFillCorners(ctx, t->entries[i], &fills[i]);
    }
    ctx->fills->entries = fills;
    ctx->fills->count = n;
    return Res_ok;
}

void GridLayout_placeText(const GridLayoutCtx *ctx, uint32_t index, GridTextPlacement *out)
{
    *out = GridTextPlacement{};
    const ExcelCell *cell = &ctx->grid->cellTable->cells[index];
    const Edr_Style *style = ctx->style;
    uint32_t raw = keywordOf(style, PropId_textAlign);
    out->horizontal = horizontalAlign(style);
    out->vertical = verticalAlign(style);
    int32_t angle = 0;
    if (style && Edr_Style_getKeyword(style, GridLayout_propRotation, &angle))
        out->angle = angle;
    out->rotation =
        style ? reinterpret_cast<const Matrix *>(Edr_Style_getType11(style, PropId_transform))
              : nullptr;
    out->wraps = keywordOf(style, PropId_whiteSpace) != KwId_nowrap;

    bool merged = Sheet_isMerged(ctx->grid, cell);
    uint32_t lastColumn = cell->column, lastRow = cell->row;
    if (merged) {
        uint32_t end[2];
        Sheet_mergedEnd(end, ctx->grid, cell);
        lastRow = end[0];
        lastColumn = end[1];
    } else if (const ExcelCell *span = Sheet_spanEnd(ctx->grid, index)) {
        lastColumn = span->column;
    }
    const SheetMetrics *m = metricsOf(ctx);
    int64_t w = widthOf(m, cell->column, lastColumn + 1);
    int64_t fl = 0, fr = 0;
    bool spills = !merged && !out->wraps && out->angle == 0;
    if (spills) {
        freeRoom(ctx, index, lastColumn, &fl, &fr);
        if (ctx->rightToLeft)
            std::swap(fl, fr);
    }
    int64_t e[4];
    textExtent(raw, out->angle != 0, out->wraps, merged, w, fl, fr, e);
    Point tl, br;
    GridLayout_cellRect(ctx, cell->row, cell->column, lastRow, lastColumn, &tl, &br);
    out->clip[0] = sat(tl.x - e[0]);
    out->clip[1] = sat(tl.x + e[1]);
    out->clip[2] = tl.y;
    out->clip[3] = br.y;
    out->box[0] = sat(tl.x + e[2]);
    out->box[1] = sat(tl.x + e[3]);
    out->box[2] = tl.y;
    out->box[3] = br.y;
    if (out->angle == 0)
        return;

    if (ctx->rightToLeft) {
        out->angle = -out->angle;
        if (out->horizontal == GridLayout_kwStart || out->horizontal == KwId_left)
            out->horizontal = KwId_right;
        else if (out->horizontal == KwId_right)
            out->horizontal = KwId_left;
    }
    int64_t height = int64_t(tl.y) - br.y;
    int32_t s = Fixed_sinDeg(out->angle < 0 ? -out->angle : out->angle);
    int64_t along = s > 0 ? (height << 16) / s : height;
    int64_t left = tl.x - (out->angle < 0 ? along - w : 0);
    out->box[0] = sat(left);
    out->box[1] = sat(left + along);
    out->box[2] = br.y;
    out->box[3] = sat(int64_t(br.y) - w);
    turnAlignments(out);
}

int GridLayout_layoutCells(GridLayoutCtx *ctx)
{
    const SheetCellTable *t = ctx->grid->cellTable;
    if (!t->cells || !ctx->style || !ctx->box || !ctx->box->layers)
        return Res_ok;
    for (uint32_t i = 0; i < t->count; i++) {
        if (t->cells[i].kind == Excel_cellNoText)
            continue;
        Task_yield(ctx->box->context);
        int err = layoutCell(ctx, i);
        // A text that does not fit ends where it is.
        if (err == Layout_lineFull || err == Layout_cannotMeasure)
            err = Res_ok;
        if (err)
            return err;
    }
    return Res_ok;
}

int GridLayout_buildLines(GridLayoutCtx *ctx)
{
    const SheetMetrics *m = metricsOf(ctx);
    const GridEdgeList *rows = ctx->grid->edgeLists->rows;
    if (!rows)
        return Res_ok;
    uint32_t n = 0;
    for (uint32_t r = 0; r <= m->rowCount; r++)
        for (uint32_t i = 0; rows[r].segments && i < rows[r].count; i++)
            n += rows[r].segments[i].kind != 0;
    if (n == 0)
        return Res_ok;
    GridLine *lines = static_cast<GridLine *>(Mem_calloc(n, sizeof(GridLine)));
    if (!lines)
        return Res_noMemory;
    uint32_t k = 0;
    for (uint32_t r = 0; r <= m->rowCount; r++) {
        if (r && r % kRowsPerYield == 0 && ctx->box)
            Task_yield(ctx->box->context);
        int32_t y = sat(-rowTop(m, r));
        uint32_t heightRow = r < m->rowCount ? r : (r ? r - 1 : 0);
        int32_t rowHeight = sat(rowTop(m, heightRow + 1) - rowTop(m, heightRow));
        for (uint32_t i = 0; rows[r].segments && i < rows[r].count; i++) {
            const GridSegment &s = rows[r].segments[i];
            if (s.kind == 0)
                continue;
            Point a, b, c, d;
            GridLayout_cellRect(ctx, heightRow, s.start, heightRow, s.start, &a, &b);
            GridLayout_cellRect(ctx, heightRow, s.end, heightRow, s.end, &c, &d);
            int32_t x0 = std::min(a.x, c.x), x1 = std::max(b.x, d.x);
            lines[k++] = GridLine{GridLayout_colour(ctx->grid, s.colour),
                                  sat(int64_t(x0) + Fixed_shearForAngle(rowHeight, s.angleStart)),
                                  sat(int64_t(x1) + Fixed_shearForAngle(rowHeight, s.angleEnd)),
                                  y,
                                  s.kind == GridLayout_lineKindDouble ? 2 * GridLayout_lineWidth
                                                                      : GridLayout_lineWidth,
                                  GridLine_endsSquare | (s.kind << GridLine_styleShift)};
        }
    }
    ctx->lines->horizontal = lines;
    ctx->lines->horizontalCount = k;
    return Res_ok;
}

int GridLayout_buildEdgeLines(GridLayoutCtx *ctx)
{
    const SheetMetrics *m = metricsOf(ctx);
    const GridEdgeList *columns = ctx->grid->edgeLists->columns;
    if (!columns)
        return Res_ok;
    uint32_t straight = 0, slanted = 0;
    for (uint32_t c = 0; c <= m->columnCount; c++)
        for (uint32_t i = 0; columns[c].segments && i < columns[c].count; i++) {
            const GridSegment &s = columns[c].segments[i];
            if (s.kind != 0)
                (s.angleStart ? slanted : straight)++;
        }
    GridLine *lines =
        straight ? static_cast<GridLine *>(Mem_calloc(straight, sizeof(GridLine))) : nullptr;
    GridSlantLine *slants =
        slanted ? static_cast<GridSlantLine *>(Mem_calloc(slanted, sizeof(GridSlantLine)))
                : nullptr;
    if ((straight && !lines) || (slanted && !slants)) {
        Mem_free(lines);
        Mem_free(slants);
        return Res_noMemory;
    }
    uint32_t k = 0, j = 0;
    // The left edge advances by each column's width in turn: summing the
    // widths afresh for every column would cost the square of the count.
    int64_t left = columnLeft(ctx, 0);
    for (uint32_t c = 0; c <= m->columnCount; c++) {
        if (c && c % kColumnsPerYield == 0 && ctx->box)
            Task_yield(ctx->box->context);
        if (c && m->columnWidths)
            left += m->columnWidths[c - 1];
        int32_t x = mirrorX(ctx, left);
        for (uint32_t i = 0; columns[c].segments && i < columns[c].count; i++) {
            const GridSegment &s = columns[c].segments[i];
            if (s.kind == 0)
                continue;
            Point tl, br, tl2, br2;
            GridLayout_cellRect(ctx, s.start, 0, s.start, 0, &tl, &br);
            GridLayout_cellRect(ctx, s.end, 0, s.end, 0, &tl2, &br2);
            int32_t top = tl.y, bottom = br2.y;
            uint32_t colour = GridLayout_colour(ctx->grid, s.colour);
            bool doubled = s.kind == GridLayout_lineKindDouble;
            if (s.angleStart) {
                int32_t shear = Fixed_shearForAngle(sat(int64_t(top) - bottom), s.angleStart);
                slants[j++] =
                    GridSlantLine{colour,
                                  {sat(int64_t(x) + shear), top},
                                  {x, bottom},
                                  doubled ? 2 * GridLayout_slantWidth : GridLayout_slantWidth,
                                  s.kind};
            } else {
                lines[k++] = GridLine{colour,
                                      x,
                                      top,
                                      bottom,
                                      doubled ? 2 * GridLayout_lineWidth : GridLayout_lineWidth,
                                      GridLine_endsSquare | (s.kind << GridLine_styleShift)};
            }
        }
    }
    ctx->lines->vertical = lines;
    ctx->lines->verticalCount = k;
    ctx->lines->slant = slants;
    ctx->lines->slantCount = j;
    return Res_ok;
}

int GridLayout_emit(GridLayoutCtx *ctx)
{
    ObjHeader *item = CellGrid_create(ctx->fills, ctx->lines);
    // The item owns the lists from here on, made or not.
    ctx->fills = nullptr;
    ctx->lines = nullptr;
    if (!item)
        return Res_noMemory;
    item->node = ctx->node;
    Rect bounds = Rect_emptyBound;
    const ObjItemOps *ops = Obj_itemOps(item);
    int err = ops ? ops->bounds(ctx->box ? ctx->box->context : nullptr, item, &bounds)
                  : int(Res_unexpectedKind);
    if (err) {
        Obj_destroy(item);
        return err;
    }
    Obj_setBox(item, &bounds);
    LayoutBox *box = ctx->box;
    if (!box || !box->layers) {
        Obj_destroy(item);
        return Res_nullInput;
    }
    LayerList_selectKey(box->layers, 0);
    LayerList_prepend(box->layers, item);
    LayerList_selectKey(box->layers, LayerList_normalKey);
    if (bounds.x0 <= bounds.x1) {
        box->block.lineLeft = bounds.x1;
        // The grid takes no room in its line, yet a page sized by its
        // content reaches the grid's far corner: the page shows every cell
        // as well as the shapes anchored on them.
        box->maxX = std::max(box->maxX, bounds.x1);
        box->minY = std::min(box->minY, bounds.y0);
    }
    return Res_ok;
}

int GridLayout_run(LayoutBox *box, Edr_Node *node, Edr_Style *style)
{
    GridLayoutCtx *ctx = nullptr;
    int err = GridLayout_create(&ctx, node, style, box);
    // A node that holds no grid has nothing to show; the rest of the page
    // still lays out.
    if (err == Res_nullInput)
        return Res_ok;
    if (err)
        return err;
    const int32_t lineLeft = box ? box->block.lineLeft : 0;
    const int32_t lineRight = box ? box->block.lineRight : 0;
    err = GridLayout_loadFonts(ctx);
    if (!err) {
        const SheetMetrics *m = metricsOf(ctx);
        ctx->height = m->totalHeight;
        ctx->width = m->totalWidth;
        ctx->originX = lineLeft;
        ctx->bottom = sat(-int64_t(m->totalHeight));
        ctx->rightToLeft = ctx->grid->rightToLeft == 1;
        if (ctx->rightToLeft)
            ctx->mirror = sat(int64_t(m->totalWidth) + 2 * int64_t(lineLeft));
        err = GridLayout_buildFills(ctx);
    }
    if (!err)
        err = GridLayout_layoutCells(ctx);
    if (box) {
        // Cell text borrows the line limits; the grid item moves the left
        // one past itself.
        box->block.lineLeft = lineLeft;
        box->block.lineRight = lineRight;
    }
    if (!err)
        err = GridLayout_buildLines(ctx);
    if (!err)
        err = GridLayout_buildEdgeLines(ctx);
    if (!err)
        err = GridLayout_emit(ctx);
    GridLayout_free(ctx, err ? 1 : 0);
    return err;
}

int Excel_installGridLayout(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    context->layoutGridNode = GridLayout_run;
    return Res_ok;
}
