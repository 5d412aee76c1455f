// The style side of a laid-out worksheet: XFs for style rules, the rule
// table, border lines, automatic sizes and the hit test.
#include "spreadsheet/reader/sheetstyle.h"

#include <algorithm>
#include <cstring>

#include "core/geom/geom.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/node.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    propUnderline = 95, // underline kind (the cell formats' own property)
    kwLineThrough = 88, // text-decoration: line-through
    kwUnderlineSingle = 129,
    kwUnderlineDouble = 60,
    kwUnderlineSingleAlt = 166,
    kwUnderlineSingleAccounting = 167,
    kwUnderlineDoubleAccounting = 168,
    maxFonts = 0xFFFE,      // a font index must stay within 16 bits (index 4 is skipped)
    textInset = 1747,       // room kept free on each side of a cell's text
    minColumnText = 20000,  // the narrowest width an automatic column takes
    minRowHeight = 10000,   // the lowest height an automatic row takes
    defaultFontSize = 9102, // 10 points in layout units
};

ExcelWorkbook *workbookOf(const SheetGrid *grid)
{
    return grid ? grid->workbook : nullptr;
}

const ExcelXf *xfOfGrid(const SheetGrid *grid, uint32_t index)
{
    const ExcelWorkbook *wb = workbookOf(grid);
    return wb && index < wb->xfCount ? &wb->xfs[index] : nullptr;
}

// The XF index of the cell at (row, column): 15 for a missing cell.
uint32_t xfIndexAt(const SheetGrid *grid, uint32_t row, uint32_t column)
{
    const ExcelCell *c = Excel_Sheet_cellAt(grid, row, column);
    return c ? c->xf : uint32_t(Excel_defaultXf);
}

// The slot of a font index: index 4 does not exist, so f >= 5 is slot f - 1.
uint32_t fontIndexOfSlot(uint32_t slot)
{
    return slot >= 4 ? slot + 1 : slot;
}

// The entry at (row, column), made as a format-only entry of XF 15 when
// missing (*made 1). Null when memory runs out.
ExcelCell *cellMake(SheetGrid *grid, uint32_t row, uint32_t column, int *made)
{
    *made = 0;
    SheetCellTable *t = grid->cellTable;
    uint32_t at = Excel_cellTableIndex(t, row, column);
    if (at < t->count && t->cells[at].row == row && t->cells[at].column == column)
        return &t->cells[at];
    ExcelCell *cells =
        static_cast<ExcelCell *>(Mem_realloc(t->cells, (size_t(t->count) + 1) * sizeof(ExcelCell)));
    if (!cells)
        return nullptr;
    t->cells = cells;
    memmove(cells + at + 1, cells + at, (size_t(t->count) - at) * sizeof(ExcelCell));
    t->count++;
    ExcelCell &c = cells[at];
    c = ExcelCell{};
    c.rule = uint16_t(Excel_defaultXf);
    c.xf = uint16_t(Excel_defaultXf);
    c.row = row;
    c.column = column;
    c.kind = Excel_cellNoText;
    c.sst = -1;
    *made = 1;
    return &c;
}

// Takes out an entry cellMake made (it owns nothing yet).
void cellUnmake(SheetGrid *grid, const ExcelCell *cell)
{
    SheetCellTable *t = grid->cellTable;
    uint32_t at = uint32_t(cell - t->cells);
    memmove(t->cells + at, t->cells + at + 1, (size_t(t->count) - at - 1) * sizeof(ExcelCell));
    t->count--;
}

void setXf(ExcelCell *cell, uint32_t xf)
{
    for (ExcelCell *c = cell; c; c = c->next)
        c->xf = uint16_t(xf);
}

int sameName(const char16_t *a, const char16_t *b)
{
    return Ustr_cmp(a ? a : u"", b ? b : u"") == 0;
}

int fontEqual(const ExcelFont *a, const ExcelFont *b)
{
    return a->height == b->height && a->weight == b->weight && a->colourSlot == b->colourSlot &&
           a->escapement == b->escapement && a->underline == b->underline &&
           a->options == b->options && sameName(a->name, b->name);
}

// The font as the rule changes it, found among the workbook's fonts or
// appended to them; *slot its place in the table.
int fontFor(ExcelWorkbook *wb, const ExcelFont *base, const ExcelStyleProps &p, uint32_t *slot)
{
    ExcelFont f = base ? *base : ExcelFont{200, 400, 0, 0, 0, 0, 0, nullptr};
    const char16_t *name = p.has & Excel_styleHasFamily ? p.family : (base ? base->name : u"Arial");
    if (p.has & Excel_styleHasSize)
        f.height = p.height;
    if (p.has & Excel_styleHasWeight)
        f.weight = p.weight;
    if (p.has & Excel_styleHasItalic)
        f.options =
            uint16_t(p.italic ? f.options | Excel_fontItalic : f.options & ~Excel_fontItalic);
    if (p.has & Excel_styleHasStrikeout)
        f.options = uint16_t(p.strikeout ? f.options | Excel_fontStrikeout
                                         : f.options & ~Excel_fontStrikeout);
    if (p.has & Excel_styleHasUnderline)
        f.underline = p.underline;
    if (p.has & Excel_styleHasColour) {
        uint8_t rgb[3] = {uint8_t(p.colour), uint8_t(p.colour >> 8), uint8_t(p.colour >> 16)};
        f.colourSlot = Excel_Palette_slot(Excel_Palette_nearest(&wb->palette, rgb));
    }
    f.name = const_cast<char16_t *>(name);
    for (uint32_t i = 0; i < wb->fontCount; i++) {
        if (wb->fonts[i] && fontEqual(wb->fonts[i], &f)) {
            *slot = i;
            return Res_ok;
        }
    }
    if (wb->fontCount >= maxFonts)
        return Res_tableFull;
    // The name lives in the font's own block, as the font reader makes it.
    size_t n = Ustr_len(name ? name : u"");
    ExcelFont *made =
        static_cast<ExcelFont *>(Mem_malloc(sizeof(ExcelFont) + (n + 1) * sizeof(char16_t)));
    if (!made)
        return Res_noMemory;
    ExcelFont **fonts = static_cast<ExcelFont **>(
        Mem_realloc(wb->fonts, (size_t(wb->fontCount) + 1) * sizeof(ExcelFont *)));
    if (!fonts) {
        Mem_free(made);
        return Res_noMemory;
    }
    wb->fonts = fonts;
    *made = f;
    made->name = reinterpret_cast<char16_t *>(made + 1);
    if (n)
        memcpy(made->name, name, n * sizeof(char16_t));
    made->name[n] = 0;
    fonts[wb->fontCount] = made;
    *slot = wb->fontCount++;
    return Res_ok;
}

// The font an XF uses: its resolved font, else its slot in the table.
const ExcelFont *fontOfXf(const ExcelWorkbook *wb, const ExcelXf &xf)
{
    if (xf.font)
        return xf.font;
    uint32_t f = xf.fontIndex >= 4 ? xf.fontIndex - 1u : xf.fontIndex;
    return f < wb->fontCount ? wb->fonts[f] : nullptr;
}

uint32_t keywordOf(const StyleRule *rule, uint32_t id, int *found)
{
    StylePropItem *p = StyleRule_findProp(rule, id);
    *found = p && Prop_getType(&p->value) >= PropType_firstKeyword;
    return *found ? Prop_getType(&p->value) : 0;
}

} // namespace

const ExcelXf *Excel_xfAt(const ExcelLoad *load, uint32_t index)
{
    const ExcelWorkbook *wb = load ? load->workbook : nullptr;
    return wb && index < wb->xfCount ? &wb->xfs[index] : nullptr;
}

void Excel_styleProps(const StyleRule *rule, ExcelStyleProps *out)
{
    if (!out)
        return;
    *out = ExcelStyleProps{};
    if (!rule)
        return;
    for (StylePropItem *item = StyleRule_firstProp(rule); item; item = item->next) {
        const Prop *v = &item->value;
        uint16_t type = Prop_getType(v);
        uint32_t kw = type >= PropType_firstKeyword ? type : 0;
        switch (Prop_getId(v)) {
        case PropId_fontFamily:
            if (type == PropType_ustr && Prop_getPointer(v)) {
                out->family = static_cast<const char16_t *>(Prop_getPointer(v));
                out->has |= Excel_styleHasFamily;
            }
            break;
        case PropId_color:
            if (type == PropType_colour) {
                out->colour = Prop_getColour(v);
                out->has |= Excel_styleHasColour;
            }
            break;
        case PropId_fontSize:
            if (type == PropType_length && Prop_getLength(v) > 0) {
                // 16.16 inches to twentieths of a point, rounded.
                int64_t h = (int64_t(Prop_getLength(v)) * 1440 + 32768) >> 16;
                out->height = uint16_t(std::min<int64_t>(h, 0x7FFF));
                out->has |= Excel_styleHasSize;
            }
            break;
        case PropId_fontStyle:
            if (kw) {
                out->italic = kw == KwId_italic || kw == KwId_oblique;
                out->has |= Excel_styleHasItalic;
            }
            break;
        case PropId_fontWeight:
            if (kw >= KwId_weight100 && kw <= KwId_weight900) {
                out->weight = uint16_t(100 * (kw - KwId_weight100 + 1));
                out->has |= Excel_styleHasWeight;
            } else if (kw == KwId_bold) {
                out->weight = 700;
                out->has |= Excel_styleHasWeight;
            }
            break;
        case PropId_textDecoration:
            if (kw) {
                out->strikeout = kw == kwLineThrough;
                out->has |= Excel_styleHasStrikeout;
            }
            break;
        case propUnderline:
            if (kw) {
                out->underline = kw == kwUnderlineSingle || kw == kwUnderlineSingleAlt ? 1
                                 : kw == kwUnderlineDouble                             ? 2
                                 : kw == kwUnderlineSingleAccounting                   ? 0x21
                                 : kw == kwUnderlineDoubleAccounting                   ? 0x22
                                                                                       : 0;
                out->has |= Excel_styleHasUnderline;
            }
            break;
        default: break;
        }
    }
}

int Excel_Sheet_findXf(SheetGrid *grid, const ExcelXf *xf, uint32_t *index)
{
    ExcelWorkbook *wb = workbookOf(grid);
    if (!wb || !xf || !index)
        return Res_missingArgument;
    for (uint32_t i = 0; i < wb->xfCount; i++) {
        if (Excel_xfEqual(&wb->xfs[i], xf)) {
            *index = i;
            return Res_ok;
        }
    }
    if (wb->xfCount >= 0xFFFF)
        return Res_tableFull;
    int32_t at = Excel_xfAdd(wb, xf, 0);
    if (at < 0)
        return Res_noMemory;
    *index = uint32_t(at);
    return Res_ok;
}

int Excel_Sheet_styleToXf(ExcelCell *cell, const StyleRule *rule, ExcelCell *run, SheetGrid *grid)
{
    ExcelWorkbook *wb = workbookOf(grid);
    if (!cell || !rule || !wb || !grid->cellTable)
        return Res_missingArgument;
    if (cell->xf >= wb->xfCount)
        return Res_nullInput;
    ExcelXf xf = wb->xfs[cell->xf];
    ExcelStyleProps p;
    Excel_styleProps(rule, &p);
    uint32_t slot = 0;
    int rc = fontFor(wb, fontOfXf(wb, xf), p, &slot);
    if (rc != Res_ok)
        return rc;
    xf.fontIndex = uint16_t(fontIndexOfSlot(slot));
    xf.font = wb->fonts[slot];
    int found = 0;
    uint32_t h = keywordOf(rule, PropId_textAlign, &found);
    if (found && (h == KwId_left || h == KwId_center || h == KwId_right))
        xf.alignment = uint16_t((xf.alignment & ~7u) | (h == KwId_left     ? 1u
                                                        : h == KwId_center ? 2u
                                                                           : 3u));
    uint32_t v = keywordOf(rule, PropId_verticalAnchor, &found);
    if (found) {
        uint32_t bits = v == KwId_bottom ? 32 : v == KwId_justify ? 48 : v == KwId_top ? 0 : 16;
        xf.alignment = uint16_t((xf.alignment & ~0x70u) | bits);
    }
    uint32_t index = 0;
    rc = Excel_Sheet_findXf(grid, &xf, &index);
    if (rc != Res_ok)
        return rc;
    uint32_t row = cell->row, column = cell->column;
    const SheetMergedRange *m = Excel_Sheet_findRangeAt(grid, &row, &column);
    if (m) {
        // The other entries of the range take the same format with their
        // own borders. Their XFs are made first, so that a failure leaves
        // every entry as it was.
        SheetCellTable *t = grid->cellTable;
        uint32_t from = Excel_cellTableIndex(t, uint32_t(m->firstRow), 0);
        uint32_t *made = nullptr;
        uint32_t n = 0;
        for (uint32_t pass = 0; pass < 2 && rc == Res_ok; pass++) {
            uint32_t k = 0;
            for (uint32_t i = from;
                 i < t->count && t->cells[i].row <= uint32_t(m->lastRow) && rc == Res_ok; i++) {
                ExcelCell &c = t->cells[i];
                if (&c == cell || c.column < uint32_t(m->firstColumn) ||
                    c.column > uint32_t(m->lastColumn))
                    continue;
                if (pass == 0) {
                    n++;
                    continue;
                }
                ExcelXf own = xf;
                if (const ExcelXf *old = xfOfGrid(grid, c.xf)) {
                    memcpy(own.borderStyle, old->borderStyle, sizeof own.borderStyle);
                    memcpy(own.borderColour, old->borderColour, sizeof own.borderColour);
                    own.diagonal = old->diagonal;
                    own.diagonalStyle = old->diagonalStyle;
                    own.diagonalColour = old->diagonalColour;
                }
                rc = Excel_Sheet_findXf(grid, &own, &made[k++]);
            }
            if (pass == 0 && n) {
                made = static_cast<uint32_t *>(Mem_malloc(n * sizeof(uint32_t)));
                if (!made)
                    rc = Res_noMemory;
            }
            if (pass == 0 && !n)
                break;
        }
        if (rc == Res_ok && n) {
            uint32_t k = 0;
            for (uint32_t i = from; i < t->count && t->cells[i].row <= uint32_t(m->lastRow); i++) {
                ExcelCell &c = t->cells[i];
                if (&c == cell || c.column < uint32_t(m->firstColumn) ||
                    c.column > uint32_t(m->lastColumn))
                    continue;
                setXf(&c, made[k++]);
            }
        }
        Mem_free(made);
        if (rc != Res_ok)
            return rc;
    }
    setXf(cell, index);
    if (run)
        run->font = xf.fontIndex;
    return Res_ok;
}

int Excel_Sheet_setCellStyle(SheetGrid *grid, uint32_t row, uint32_t column, StyleRule *rule)
{
    if (!grid || !rule || !grid->cellTable || !grid->formatTable || !grid->metrics ||
        !workbookOf(grid))
        return Res_missingArgument;
    if (row >= grid->metrics->rowCount || column >= grid->metrics->columnCount)
        return Res_nullInput;
    (void)Excel_Sheet_findRangeAt(grid, &row, &column);
    // The rule joins the table unless an equal one is there.
    SheetFormatTable *ft = grid->formatTable;
    uint32_t index = ft->count;
    for (uint32_t i = 0; i < ft->count; i++) {
        if (ft->rules[i] && StyleRule_equalProps(ft->rules[i], rule)) {
            index = i;
            break;
        }
    }
    int added = 0;
    if (index == ft->count) {
        if (ft->count >= 0xFFFF)
            return Res_tableFull;
        StyleRule **rules = static_cast<StyleRule **>(
            Mem_realloc(ft->rules, (size_t(ft->count) + 1) * sizeof(StyleRule *)));
        if (!rules)
            return Res_noMemory;
        ft->rules = rules;
        rules[ft->count++] = rule;
        added = 1;
    }
    int made = 0;
    ExcelCell *cell = cellMake(grid, row, column, &made);
    int rc = cell ? Excel_Sheet_styleToXf(cell, ft->rules[index], nullptr, grid) : Res_noMemory;
    if (rc != Res_ok) {
        // The caller keeps its rule; the table and the cells are as they were.
        if (made)
            cellUnmake(grid, cell);
        if (added)
            ft->count--;
        return rc;
    }
    for (ExcelCell *c = cell; c; c = c->next)
        c->rule = uint16_t(index);
    if (!added)
        StyleRule_destroy(rule);
    return Res_ok;
}

// ----------------------------------------------------------------- borders

namespace {

// 1 when the two cells lie in the same merged range.
int sameRange(const SheetGrid *grid, uint32_t r0, uint32_t c0, uint32_t r1, uint32_t c1)
{
    uint32_t ar = r0, ac = c0, br = r1, bc = c1;
    const SheetMergedRange *a = Excel_Sheet_findRangeAt(grid, &ar, &ac);
    const SheetMergedRange *b = Excel_Sheet_findRangeAt(grid, &br, &bc);
    return a && a == b;
}

// 1 when the top line of the grid shows the ordinary grid line in colour
// slot 1: the mark the layout leaves where the sheet hides grid lines.
int gridLinesHidden(const SheetGrid *grid)
{
    const GridEdgeList &top = grid->edgeLists->rows[0];
    for (uint32_t i = 0; i < top.count; i++)
        if (top.segments[i].kind == Excel_gridLineStyle)
            return top.segments[i].colour == 1;
    return 0;
}

int rebuildLine(SheetGrid *grid, uint32_t line, int vertical)
{
    if (!grid || !grid->metrics || !grid->edgeLists || !grid->cellTable)
        return Res_missingArgument;
    uint32_t lines = vertical ? grid->metrics->columnCount : grid->metrics->rowCount;
    uint32_t count = vertical ? grid->metrics->rowCount : grid->metrics->columnCount;
    if (line > lines)
        return Res_nullInput;
    int hidden = gridLinesHidden(grid);
    ExcelLineCell *cells =
        static_cast<ExcelLineCell *>(Mem_malloc((count ? count : 1) * sizeof(ExcelLineCell)));
    if (!cells)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        Excel_Sheet_borderBetween(grid, vertical ? i : line, vertical ? line : i, vertical,
                                  &cells[i]);
        if (hidden && cells[i].style == Excel_gridLineStyle &&
            cells[i].colour == Excel_gridLineColour) {
            if (!vertical && line == 0)
                cells[i].colour = 1;
            else
                cells[i] = {0, 0};
        }
    }
    GridEdgeList *list = vertical ? &grid->edgeLists->columns[line] : &grid->edgeLists->rows[line];
    int rc = Excel_borderLineSet(cells, count, list);
    Mem_free(cells);
    return rc;
}

} // namespace

void Excel_Sheet_borderBetween(const SheetGrid *grid, uint32_t row, uint32_t column, int vertical,
                               ExcelLineCell *out)
{
    *out = {0, 0};
    if (!grid || !grid->metrics)
        return;
    uint32_t rows = grid->metrics->rowCount, cols = grid->metrics->columnCount;
    uint32_t at = vertical ? column : row;
    uint32_t limit = vertical ? cols : rows;
    int hasBefore = at > 0 && at <= limit;
    int hasAfter = at < limit;
    uint32_t br = vertical ? row : row - 1, bc = vertical ? column - 1 : column;
    if (hasBefore && hasAfter && sameRange(grid, br, bc, row, column))
        return; // no line inside a merged range
    const ExcelXf *before = hasBefore ? xfOfGrid(grid, xfIndexAt(grid, br, bc)) : nullptr;
    const ExcelXf *after = hasAfter ? xfOfGrid(grid, xfIndexAt(grid, row, column)) : nullptr;
    uint32_t afterSide = vertical ? Excel_borderLeft : Excel_borderTop;
    uint32_t beforeSide = vertical ? Excel_borderRight : Excel_borderBottom;
    if (after && after->borderStyle[afterSide])
        *out = {after->borderStyle[afterSide], after->borderColour[afterSide]};
    else if (before && before->borderStyle[beforeSide])
        *out = {before->borderStyle[beforeSide], before->borderColour[beforeSide]};
    else if (!(after && after->pattern) && !(before && before->pattern))
        *out = {uint8_t(Excel_gridLineStyle), uint8_t(Excel_gridLineColour)};
}

int Excel_Sheet_rowBorders(SheetGrid *grid, uint32_t line)
{
    return rebuildLine(grid, line, 0);
}

int Excel_Sheet_columnBorders(SheetGrid *grid, uint32_t line)
{
    return rebuildLine(grid, line, 1);
}

int Excel_Sheet_resolveBorder(SheetGrid *grid, uint32_t row, uint32_t column, uint32_t axis)
{
    if (!grid || !grid->metrics || !grid->cellTable || !workbookOf(grid))
        return Res_missingArgument;
    uint32_t rows = grid->metrics->rowCount, cols = grid->metrics->columnCount;
    if (row >= rows || column >= cols || axis > 1)
        return Res_nullInput;
    int vertical = axis == 1;
    uint32_t at = vertical ? column : row, limit = vertical ? cols : rows;
    if (at == 0 || at + 1 >= limit)
        return Res_ok; // a neighbour is missing: nothing lies between them
    uint32_t br = vertical ? row : row - 1, bc = vertical ? column - 1 : column;
    uint32_t ar = vertical ? row : row + 1, ac = vertical ? column + 1 : column;
    const ExcelXf *before = xfOfGrid(grid, xfIndexAt(grid, br, bc));
    const ExcelXf *after = xfOfGrid(grid, xfIndexAt(grid, ar, ac));
    uint32_t afterSide = vertical ? Excel_borderLeft : Excel_borderTop;
    uint32_t beforeSide = vertical ? Excel_borderRight : Excel_borderBottom;
    ExcelLineCell line{0, 0};
    if (after && after->borderStyle[afterSide])
        line = {after->borderStyle[afterSide], after->borderColour[afterSide]};
    else if (before && before->borderStyle[beforeSide])
        line = {before->borderStyle[beforeSide], before->borderColour[beforeSide]};
    if (!line.style)
        return Res_ok;
    ExcelWorkbook *wb = grid->workbook;
    if (wb->xfCount == 0)
        return Res_nullInput;
    int made = 0;
    ExcelCell *cell = cellMake(grid, row, column, &made);
    if (!cell)
        return Res_noMemory;
    const ExcelXf *own = xfOfGrid(grid, cell->xf);
    ExcelXf xf =
        own ? *own : wb->xfs[wb->xfCount > Excel_defaultXf ? uint32_t(Excel_defaultXf) : 0u];
    xf.borderStyle[afterSide] = line.style;
    xf.borderColour[afterSide] = line.colour;
    uint32_t index = 0;
    int rc = Excel_Sheet_findXf(grid, &xf, &index);
    if (rc != Res_ok) {
        if (made)
            cellUnmake(grid, cell);
        return rc;
    }
    setXf(cell, index);
    return Res_ok;
}

// ---------------------------------------------------------------- geometry

namespace {

const StyleRule *ruleOfCell(const SheetGrid *grid, const ExcelCell *cell)
{
    const SheetFormatTable *ft = grid->formatTable;
    return ft && ft->rules && cell->rule < ft->count ? ft->rules[cell->rule] : nullptr;
}

int32_t fontSizeOf(const SheetGrid *grid, const ExcelCell *cell, const StyleRule *rule)
{
    StylePropItem *p = rule ? StyleRule_findProp(rule, PropId_fontSize) : nullptr;
    if (p && Prop_getType(&p->value) == PropType_length && Prop_getLength(&p->value) > 0)
        return Prop_getLength(&p->value);
    const ExcelXf *xf = xfOfGrid(grid, cell->xf);
    const ExcelWorkbook *wb = workbookOf(grid);
    const ExcelFont *f = xf && wb ? fontOfXf(wb, *xf) : nullptr;
    return f && f->height ? int32_t(int64_t(f->height) * 65536 / 1440) : int32_t(defaultFontSize);
}

// A text measured as fixed advances: 0.6 em a character (1 em for the wide
// scripts from U+1100 on), 1.2 em a line; lines end at line feeds.
void estimate(const char16_t *text, int32_t size, int64_t *widest, uint32_t *lines)
{
    int64_t line = 0;
    *lines = 1;
    for (const char16_t *p = text; p && *p; p++) {
        if (*p == u'\n') {
            *widest = std::max(*widest, line);
            line = 0;
            ++*lines;
            continue;
        }
        line += *p >= 0x1100 ? int64_t(size) : int64_t(size) * 3 / 5;
    }
    *widest = std::max(*widest, line);
}

} // namespace

int Excel_Sheet_measureCell(const SheetGrid *grid, const ExcelCell *cell,
                            const ExcelMeasurer *measurer, int32_t out[4])
{
    if (!grid || !cell || !out)
        return Res_missingArgument;
    out[0] = out[1] = out[2] = out[3] = 0;
    const StyleRule *rule = ruleOfCell(grid, cell);
    int32_t size = fontSizeOf(grid, cell, rule);
    int64_t width = 0, height = 0;
    for (const ExcelCell *c = cell; c; c = c->next) {
        if (!c->text || !c->text[0])
            continue;
        int32_t w = 0, h = 0;
        if (measurer && measurer->measure) {
            int rc = measurer->measure(measurer->arg, ruleOfCell(grid, c), c->text, &w, &h);
            if (rc != Res_ok)
                return rc;
        } else {
            int64_t widest = 0;
            uint32_t lines = 1;
            estimate(c->text, size, &widest, &lines);
            w = int32_t(std::min<int64_t>(widest, 0x3FFFFFFF));
            h = int32_t(std::min<int64_t>(int64_t(lines) * size * 6 / 5, 0x3FFFFFFF));
        }
        width += w;
        height = std::max<int64_t>(height, h);
    }
    // A wrapping cell breaks its text at the column's width.
    const ExcelXf *xf = xfOfGrid(grid, cell->xf);
    uint32_t room = Excel_Sheet_getColWidth(grid, cell->column);
    if (xf && (xf->alignment & Excel_alignWrap) && room > 2u * textInset &&
        width > int64_t(room) - 2 * textInset) {
        int64_t inner = int64_t(room) - 2 * textInset;
        height *= (width + inner - 1) / inner;
        width = inner;
    }
    out[2] = int32_t(std::min<int64_t>(width + 2 * textInset, 0x3FFFFFFF));
    out[3] = int32_t(std::min<int64_t>(height, 0x3FFFFFFF));
    return Res_ok;
}

uint32_t Excel_Sheet_getColWidth(const SheetGrid *grid, uint32_t column, uint32_t scale)
{
    const SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !m->rawWidths || column >= m->columnCount)
        return 0;
    uint32_t w = uint32_t((uint64_t(m->rawWidths[column]) * scale) >> 8);
    uint32_t f = (w * 100u) % 65536u;
    uint32_t g = 65535u - f;
    return g > 6553 ? w : w + (g + 99) / 100;
}

int Excel_Sheet_autoColWidth(EngineContext *context, SheetGrid *grid, uint32_t column,
                             uint32_t mode, const ExcelMeasurer *measurer)
{
    if (!grid || !grid->metrics || !grid->cellTable)
        return Res_missingArgument;
    const SheetMetrics *m = grid->metrics;
    if (!grid->formatTable || !grid->formatTable->rules || column >= m->columnCount ||
        m->scale <= 0)
        return Res_nullInput;
    int64_t right = minColumnText;
    const SheetCellTable *t = grid->cellTable;
    for (uint32_t i = 0; i < t->count; i++) {
        const ExcelCell &c = t->cells[i];
        if (c.column != column)
            continue;
        uint32_t r = c.row, k = c.column;
        const SheetMergedRange *range = Excel_Sheet_findRangeAt(grid, &r, &k);
        if (range && range->firstColumn != range->lastColumn)
            continue; // the text spreads over the range's columns
        int32_t box[4];
        int rc = Excel_Sheet_measureCell(grid, &c, measurer, box);
        if (rc != Res_ok)
            return rc;
        right = std::max<int64_t>(right, box[2]);
    }
    int64_t current = Excel_Sheet_getColWidth(grid, column);
    if ((right < current && mode != 0) || (right > current && mode != 1)) {
        // Layout width = scale x raw / 256 + 3494: the raw width that
        // holds the text, rounded up.
        int64_t inner = std::max<int64_t>(right - SheetGrid_minColumnWidth, 0);
        int64_t width = inner + (m->scale + 255) / 256;
        return Excel_Sheet_setColumnWidth(context, grid, column,
                                          uint32_t(std::min<int64_t>(width, 0x7FFFFFFF)));
    }
    return Res_ok;
}

int Excel_Sheet_autoRowHeight(EngineContext *, SheetGrid *grid, uint32_t row, uint32_t mode,
                              const ExcelMeasurer *measurer)
{
    if (!grid || !grid->metrics || !grid->cellTable)
        return Res_missingArgument;
    if (row >= grid->metrics->rowCount)
        return Res_nullInput;
    const SheetCellTable *t = grid->cellTable;
    int64_t top = 0, bottom = 0;
    for (uint32_t i = Excel_cellTableIndex(t, row, 0); i < t->count && t->cells[i].row == row;
         i++) {
        uint32_t r = row, k = t->cells[i].column;
        const SheetMergedRange *range = Excel_Sheet_findRangeAt(grid, &r, &k);
        if (range && range->firstRow != range->lastRow)
            continue; // the text spreads over the range's rows
        int32_t box[4];
        int rc = Excel_Sheet_measureCell(grid, &t->cells[i], measurer, box);
        if (rc != Res_ok)
            return rc;
        top = std::min<int64_t>(top, box[1]);
        bottom = std::max<int64_t>(bottom, box[3]);
    }
    int64_t span = std::max<int64_t>(bottom - top, minRowHeight);
    int64_t current = Excel_Sheet_getRowHeight(grid, row);
    if ((span > current && mode != 1) || (span < current && mode != 0))
        return Excel_Sheet_setRowHeight(grid, row, uint32_t(std::min<int64_t>(span, 0x7FFFFFFF)));
    return Res_ok;
}

int Excel_Sheet_setRowMode(EngineContext *context, SheetGrid *grid, uint32_t row, uint32_t mode,
                           const ExcelMeasurer *measurer)
{
    if (!grid || !grid->metrics)
        return Res_missingArgument;
    if (row >= grid->metrics->rowCount || (mode != 0 && mode != 2))
        return Res_nullInput;
    // Mode 0: the height was set by hand and stays.
    return mode == 2 ? Excel_Sheet_autoRowHeight(context, grid, row, 2, measurer) : Res_ok;
}

int Excel_Sheet_setColumnMode(EngineContext *context, SheetGrid *grid, uint32_t column,
                              uint32_t mode, const ExcelMeasurer *measurer)
{
    SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !m->rawWidths || !m->columnWidths)
        return Res_missingArgument;
    if (column >= m->columnCount || (mode != 0 && mode != 2))
        return Res_nullInput;
    if (mode == 2)
        return Excel_Sheet_autoColWidth(context, grid, column, 2, measurer);
    // Mode 0: back to the sheet's default width.
    uint32_t chars = m->defaultColumnChars > 0 ? uint32_t(m->defaultColumnChars) : 8u;
    m->rawWidths[column] = uint16_t(std::min<uint32_t>(chars * 256u, 65280u));
    Excel_colWidthsCompute(grid);
    return Res_ok;
}

// --------------------------------------------------------------- hit test

int Excel_Sheet_hitTest(Edr_Node *node, Point *point, uint32_t *row, uint32_t *column)
{
    if (!node || !point || !row || !column)
        return Res_missingArgument;
    if (Edr_Node_type(node) != Edr_NodeType_grid)
        return Res_nullInput;
    const Edr_GridNode *g = static_cast<const Edr_GridNode *>(Edr_Node_payload(node));
    const SheetGrid *grid = g ? static_cast<const SheetGrid *>(g->record) : nullptr;
    const SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !m->rowPositions || !m->columnWidths || m->rowCount == 0 || m->columnCount == 0)
        return Res_nullInput;
    int64_t total = 0;
    for (uint32_t c = 0; c < m->columnCount; c++)
        total += m->columnWidths[c];
    int64_t height = m->rowPositions[m->rowCount - 1];
    int64_t x = point->x;
    int64_t y = height - int64_t(point->y);
    if (grid->rightToLeft)
        x = total - x;
    if (x < 0 || y < 0 || x >= total || y >= height)
        return Res_nullInput;
    uint32_t c = 0;
    for (int64_t edge = 0; c < m->columnCount; c++) {
        edge += m->columnWidths[c];
        if (edge > x)
            break;
    }
    uint32_t r = 0;
    while (r < m->rowCount && int64_t(m->rowPositions[r]) <= y)
        r++;
    if (c >= m->columnCount || r >= m->rowCount)
        return Res_nullInput;
    (void)Excel_Sheet_findRangeAt(grid, &r, &c);
    point->x = int32_t(x);
    point->y = int32_t(y);
    *row = r;
    *column = c;
    return Res_ok;
}
