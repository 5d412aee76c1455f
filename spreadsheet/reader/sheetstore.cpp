// The sheet store of a laid-out worksheet (see sheetstore.h): cell entries
// made and cleared, pending edits kept sorted and rendered into their
// cells, strings stored through the shared-string table, the formula list
// and the recalculation driver.
#include "spreadsheet/reader/sheetstore.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "spreadsheet/errortext.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/reader/cellstyle.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    textColourProp = 154, // the text colour of a cell's style rule
    nameErrorCode = 29,   // #NAME?
    unsupportedCode = 0x6600,
};

// Functions whose results cannot stand in for the real ones: a formula
// using one of them shows #NAME? when the edited cell itself is evaluated.
constexpr uint16_t unapproximated[] = {1, 9, 77, 83, 101, 102, 163, 164, 165, 345, 346, 347};

enum : uint32_t {
    valueLimit = 0x1000000, // one value per cell of 65536 rows x 256 columns
};

// The index of the first loaded value at or after the key (row << 8 |
// column).
uint32_t valueIndex(const SheetValueTable &v, uint32_t key)
{
    uint32_t lo = 0, hi = v.count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if ((v.keys[mid] & Excel_valueKeyMask) < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

ExcelCell *cellFind(SheetGrid *grid, uint32_t row, uint32_t column)
{
    SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t || !t->cells)
        return nullptr;
    uint32_t i = Excel_cellTableIndex(t, row, column);
    return i < t->count && t->cells[i].row == row && t->cells[i].column == column ? &t->cells[i]
                                                                                  : nullptr;
}

// The rule slot a new cell of the XF is drawn with: the XF's own slot when
// the table has made it, else the default XF's.
uint16_t ruleOf(const SheetGrid *grid, uint16_t xf)
{
    const SheetFormatTable *f = grid->formatTable;
    if (f && f->rules && xf < f->count && f->rules[xf])
        return xf;
    return uint16_t(Excel_defaultXf);
}

// The width a value of the cell is formatted within: the raw width of its
// column, or of a merged range's columns together (the same width the
// loader formats with).
uint32_t renderWidth(const SheetGrid *grid, uint32_t row, uint32_t column)
{
    const SheetMetrics *m = grid->metrics;
    if (!m || !m->rawWidths)
        return Excel_defaultRawWidth;
    uint32_t first = column, last = column;
    uint32_t r = row, c = column;
    if (const SheetMergedRange *range = Excel_Sheet_findRangeAt(grid, &r, &c)) {
        first = uint32_t(range->firstColumn);
        last = uint32_t(range->lastColumn);
    }
    uint32_t sum = 0;
    for (uint32_t k = first; k <= last && k < m->columnCount; k++)
        sum += m->rawWidths[k];
    return sum;
}

const char16_t *formatCode(const ExcelWorkbook *wb, uint32_t index)
{
    return wb && wb->formats && index < wb->formatCount ? wb->formats[index] : nullptr;
}

// The format flags of values given to the sheet's cells: the sheet's own,
// with the workbook's date system.
uint32_t displayFlags(const SheetGrid *grid)
{
    uint32_t flags = grid->displayFlags;
    if (grid->workbook && grid->workbook->date1904)
        flags |= Excel_fmtDate1904;
    return flags;
}

void freeFormula(SheetFormula *f)
{
    if (f->length)
        Mem_free(f->tokens);
    Mem_free(f);
}

// The 5-byte ptgExp or ptgTbl head that ties the members of a shared
// formula or table together.
bool sharedHead(const SheetFormula *f)
{
    return f->tokens && f->length >= 5 && (f->tokens[0] == 0x01 || f->tokens[0] == 0x02);
}

// The number format a formula's result is shown with: the cell's own
// XF's when that is not General (a loaded formula cell keeps its format
// through recalculations), else the one the evaluation gave.
int32_t resultFormat(SheetGrid *grid, uint32_t row, uint32_t column, int32_t evaluated)
{
    const ExcelCell *c = cellFind(grid, row, column);
    const ExcelWorkbook *wb = grid->workbook;
    if (!c || !wb || c->xf >= wb->xfCount)
        return evaluated;
    // Some writers give General a number of its own.
    uint32_t index = wb->xfs[c->xf].formatIndex;
    const char16_t *code = formatCode(wb, index);
    return index != 0 && code && !Excel_Fmt_isGeneral(code) ? int32_t(index) : evaluated;
}

// True when a formula cell without a pending edit already shows the
// result as it was loaded: the same number, truth value or error in the
// value table, or the same text. Such a cell is left alone, so that a
// recalculation makes pending edits only for the results that changed.
bool showsAlready(SheetGrid *grid, uint32_t row, uint32_t column, const ExcelFormulaResult &result)
{
    if (Excel_editFind(grid->widthCells, nullptr, row, column))
        return false;
    double loaded = 0;
    uint32_t kind = Excel_Sheet_valueAt(grid, row, column, &loaded);
    const Excel_Value *v = result.value;
    if (result.isError)
        return kind == Excel_editError && v && loaded == double(v->u.i);
    bool numeric = kind == Excel_editInteger || kind == Excel_editNumber;
    if (!v || v->kind == Excel_kindEmpty)
        return numeric && loaded == 0;
    switch (v->kind) {
    case Excel_kindNumber:
    case Excel_kindGuess: return numeric && loaded == v->u.d;
    case Excel_kindInteger: return numeric && loaded == double(v->u.i);
    case Excel_kindBoolean: return kind == Excel_editBoolean && (loaded != 0) == (v->u.b != 0);
    case Excel_kindText: {
        const ExcelCell *cell = cellFind(grid, row, column);
        return kind == 0 && cell && cell->text && v->u.text && Ustr_cmp(cell->text, v->u.text) == 0;
    }
    default: return false;
    }
}

bool usesUnapproximated(const Excel_FormulaContext &c)
{
    for (uint32_t i = 0; i < c.funcCount && i < Excel_maxRecordedFuncs; i++)
        for (uint16_t id : unapproximated)
            if (c.funcIds[i] == id)
                return true;
    return false;
}

} // namespace

int Excel_keyCompare(const ExcelCellKey *a, const ExcelCellKey *b)
{
    if (a->row != b->row)
        return a->row < b->row ? -1 : 1;
    if (a->column != b->column)
        return a->column < b->column ? -1 : 1;
    return 0;
}

// ------------------------------------------------------------ cells

ExcelCell *Excel_Sheet_cellCreate(SheetGrid *grid, uint32_t row, uint32_t column)
{
    SheetCellTable *t = grid ? grid->cellTable : nullptr;
    if (!t)
        return nullptr;
    uint32_t i = Excel_cellTableIndex(t, row, column);
    if (t->cells && i < t->count && t->cells[i].row == row && t->cells[i].column == column)
        return &t->cells[i];
    // The array grows by one entry; a failed realloc leaves it as it was.
    ExcelCell *cells =
        static_cast<ExcelCell *>(Mem_realloc(t->cells, (size_t(t->count) + 1) * sizeof(ExcelCell)));
    if (!cells)
        return nullptr;
    t->cells = cells;
    memmove(cells + i + 1, cells + i, (size_t(t->count) - i) * sizeof(ExcelCell));
    t->count++;
    ExcelCell &c = cells[i];
    c = ExcelCell{};
    c.row = row;
    c.column = column;
    c.kind = Excel_cellNoText;
    c.sst = -1;
    return &c;
}

int Excel_Sheet_mergedTopLeft(const SheetGrid *grid, uint32_t *row, uint32_t *column)
{
    if (!grid || !row || !column)
        return Res_missingArgument;
    (void)Excel_Sheet_findRangeAt(grid, row, column);
    return Res_ok;
}

void Excel_cellClearText(ExcelWorkbook *workbook, ExcelCell *cell)
{
    if (!cell)
        return;
    if (cell->kind == Excel_cellSharedText) {
        if (cell->sst >= 0)
            Excel_sstRelease(workbook, uint32_t(cell->sst));
    } else if (cell->text) {
        // The page may still show the text until it is laid out again.
        ExcelPendingText *p =
            workbook ? static_cast<ExcelPendingText *>(Mem_malloc(sizeof(ExcelPendingText)))
                     : nullptr;
        if (p) {
            p->text = cell->text;
            p->next = workbook->pending;
            workbook->pending = p;
        } else {
            Mem_free(cell->text);
        }
    }
    cell->kind = Excel_cellNoText;
    cell->sst = -1;
    cell->text = nullptr;
}

void Excel_cellClear(ExcelWorkbook *workbook, ExcelCell *cell)
{
    if (!cell)
        return;
    Excel_cellClearText(workbook, cell);
    ExcelCell *run = cell->next;
    cell->next = nullptr;
    while (run) {
        ExcelCell *next = run->next;
        Excel_cellClearText(workbook, run);
        Mem_free(run);
        run = next;
    }
}

int Excel_Sheet_removeLine(SheetGrid *grid, int64_t row, int64_t column)
{
    if (!grid)
        return Res_missingArgument;
    if (row < 0 && column < 0)
        return Res_ok;
    auto onLine = [row, column](uint32_t r, uint32_t c) {
        return row >= 0 ? int64_t(r) == row : int64_t(c) == column;
    };
    if (SheetCellTable *t = grid->cellTable) {
        uint32_t k = 0;
        for (uint32_t i = 0; t->cells && i < t->count; i++) {
            if (onLine(t->cells[i].row, t->cells[i].column)) {
                Excel_cellClear(grid->workbook, &t->cells[i]);
                continue;
            }
            t->cells[k++] = t->cells[i];
        }
        t->count = k;
    }
    for (ExcelCellEdit **link = &grid->widthCells; *link;) {
        ExcelCellEdit *e = *link;
        if (onLine(e->row, e->column)) {
            *link = e->next;
            Mem_free(e);
        } else {
            link = &e->next;
        }
    }
    for (SheetFormula **link = &grid->formulaCells; *link;) {
        SheetFormula *f = *link;
        if (onLine(f->words[0], f->words[1])) {
            *link = f->next;
            freeFormula(f);
        } else {
            link = &f->next;
        }
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < grid->sharedCount; i++) {
        SheetSharedFormula &e = grid->sharedFormulas[i];
        if (onLine(e.words[0], e.words[1]))
            Mem_free(e.tokens);
        else
            grid->sharedFormulas[kept++] = e;
    }
    grid->sharedCount = kept;
    SheetValueTable &v = grid->values;
    kept = 0;
    for (uint32_t i = 0; i < v.count; i++) {
        uint32_t key = v.keys[i] & Excel_valueKeyMask;
        if (onLine(key >> 8, key & 0xFF))
            continue;
        v.keys[kept] = v.keys[i];
        v.values[kept++] = v.values[i];
    }
    v.count = kept;
    return Res_ok;
}

// ------------------------------------------------------------ loaded values

int Excel_Sheet_reserveValues(SheetGrid *grid, uint32_t count)
{
    if (!grid)
        return Res_missingArgument;
    SheetValueTable &v = grid->values;
    if (uint64_t(v.count) + count <= v.capacity)
        return Res_ok;
    if (uint64_t(v.count) + count > valueLimit)
        return Res_noMemory;
    uint32_t want = v.count + count;
    // Each array is swapped in as soon as it has grown: a failure of the
    // second leaves the first larger, which changes nothing that counts.
    uint32_t *keys = static_cast<uint32_t *>(Mem_realloc(v.keys, size_t(want) * sizeof(uint32_t)));
    if (!keys)
        return Res_noMemory;
    v.keys = keys;
    double *values = static_cast<double *>(Mem_realloc(v.values, size_t(want) * sizeof(double)));
    if (!values)
        return Res_noMemory;
    v.values = values;
    v.capacity = want;
    return Res_ok;
}

int Excel_Sheet_putValue(SheetGrid *grid, uint32_t row, uint32_t column, uint32_t kind,
                         double value)
{
    if (!grid)
        return Res_missingArgument;
    if (kind < Excel_editBoolean || kind > Excel_editError || row > 0xFFFF || column > 0xFF)
        return Res_nullInput;
    SheetValueTable &v = grid->values;
    uint32_t key = row << 8 | column;
    uint32_t i = valueIndex(v, key);
    if (i < v.count && (v.keys[i] & Excel_valueKeyMask) == key) {
        v.keys[i] = kind << Excel_valueKindShift | key;
        v.values[i] = value;
        return Res_ok;
    }
    if (v.count == v.capacity) {
        // Out-of-order stores grow the table by a quarter at a time.
        uint32_t more = std::max<uint32_t>(v.capacity / 4, 16);
        if (Excel_Sheet_reserveValues(grid, more) != Res_ok &&
            Excel_Sheet_reserveValues(grid, 1) != Res_ok)
            return Res_noMemory;
    }
    memmove(v.keys + i + 1, v.keys + i, (size_t(v.count) - i) * sizeof(uint32_t));
    memmove(v.values + i + 1, v.values + i, (size_t(v.count) - i) * sizeof(double));
    v.keys[i] = kind << Excel_valueKindShift | key;
    v.values[i] = value;
    v.count++;
    return Res_ok;
}

uint32_t Excel_Sheet_valueAt(const SheetGrid *grid, uint32_t row, uint32_t column, double *value)
{
    if (!grid || row > 0xFFFF || column > 0xFF)
        return 0;
    const SheetValueTable &v = grid->values;
    uint32_t key = row << 8 | column;
    uint32_t i = valueIndex(v, key);
    if (i >= v.count || (v.keys[i] & Excel_valueKeyMask) != key)
        return 0;
    uint32_t kind = v.keys[i] >> Excel_valueKindShift;
    if (kind && value)
        *value = v.values[i];
    return kind;
}

void Excel_Sheet_dropValue(SheetGrid *grid, uint32_t row, uint32_t column)
{
    if (!grid || row > 0xFFFF || column > 0xFF)
        return;
    SheetValueTable &v = grid->values;
    uint32_t key = row << 8 | column;
    uint32_t i = valueIndex(v, key);
    if (i < v.count && (v.keys[i] & Excel_valueKeyMask) == key)
        v.keys[i] = key;
}

// ------------------------------------------------------------ pending edits

ExcelCellEdit *Excel_editNew(uint32_t kind, uint32_t row, uint32_t column, const char16_t *text)
{
    size_t chars = kind == Excel_editText ? (text ? Ustr_len(text) : 0) + 1 : 0;
    ExcelCellEdit *e = static_cast<ExcelCellEdit *>(
        Mem_calloc(1, sizeof(ExcelCellEdit) + chars * sizeof(char16_t)));
    if (!e)
        return nullptr;
    e->xf = uint16_t(Excel_defaultXf);
    e->row = row;
    e->column = column;
    e->kind = kind;
    if (kind == Excel_editText) {
        // The text lives behind the record and goes with it.
        char16_t *inline_ = reinterpret_cast<char16_t *>(e + 1);
        if (text)
            memcpy(inline_, text, (chars - 1) * sizeof(char16_t));
        inline_[chars - 1] = 0;
        e->value.text.text = inline_;
    }
    return e;
}

ExcelCellEdit *Excel_editFind(ExcelCellEdit *edits, ExcelCellEdit **previous, uint32_t row,
                              uint32_t column)
{
    ExcelCellKey key{row, column};
    ExcelCellEdit *prev = nullptr;
    ExcelCellEdit *e = edits;
    for (; e; prev = e, e = e->next) {
        ExcelCellKey k{e->row, e->column};
        if (Excel_keyCompare(&k, &key) >= 0)
            break;
    }
    if (previous)
        *previous = prev;
    return e && e->row == row && e->column == column ? e : nullptr;
}

void Excel_editInsert(ExcelCellEdit **list, ExcelCellEdit *edit)
{
    if (!list || !edit)
        return;
    ExcelCellEdit *prev = nullptr;
    (void)Excel_editFind(*list, &prev, edit->row, edit->column);
    ExcelCellEdit **link = prev ? &prev->next : list;
    edit->next = *link;
    *link = edit;
}

ExcelCellEdit *Excel_editRemove(ExcelCellEdit **list, uint32_t row, uint32_t column)
{
    if (!list)
        return nullptr;
    ExcelCellEdit *prev = nullptr;
    ExcelCellEdit *e = Excel_editFind(*list, &prev, row, column);
    if (!e)
        return nullptr;
    (prev ? prev->next : *list) = e->next;
    e->next = nullptr;
    return e;
}

int Excel_Sheet_getCellEdit(SheetGrid *grid, uint32_t row, uint32_t column, ExcelCellEdit **edit,
                            const char16_t **text, uint16_t *xf)
{
    if (!grid || !edit || !text || !xf)
        return Res_missingArgument;
    *edit = nullptr;
    *text = nullptr;
    *xf = uint16_t(Excel_defaultXf);
    const ExcelCell *cell = cellFind(grid, row, column);
    if (cell)
        *xf = cell->xf;
    if (ExcelCellEdit *e = Excel_editFind(grid->widthCells, nullptr, row, column)) {
        *edit = e;
        if (!cell)
            *xf = e->xf;
        return Res_ok;
    }
    if (cell)
        *text = cell->text;
    return Res_ok;
}

int Excel_Sheet_renderEdit(EngineContext *context, ExcelCellEdit *edit, SheetGrid *grid, int force)
{
    if (!edit || !grid)
        return Res_missingArgument;
    if (!force && edit->kind == Excel_editText)
        return Res_ok;
    ExcelWorkbook *wb = grid->workbook;
    Excel_FmtRequest r{};
    uint8_t truth = 0;
    Excel_editFormatRequest(edit, &r, &truth);
    r.formatIndex = edit->format;
    r.code = formatCode(wb, edit->format);
    r.width = renderWidth(grid, edit->row, edit->column);
    r.flags = displayFlags(grid);
    r.context = context;
    char16_t *shown = nullptr;
    int rc = Excel_Fmt_formatValue(&r, &shown);
    if (rc != Res_ok)
        return rc;
    bool fresh = !cellFind(grid, edit->row, edit->column);
    ExcelCell *cell = Excel_Sheet_cellCreate(grid, edit->row, edit->column);
    if (!cell) {
        Mem_free(shown);
        return Res_noMemory;
    }
    if (fresh) {
        cell->xf = edit->xf;
        cell->rule = ruleOf(grid, edit->xf);
    }
    Excel_cellClearText(wb, cell);
    cell->text = shown;
    cell->kind = Excel_cellOwnText;
    return Res_ok;
}

int Excel_Sheet_applyEdit(EngineContext *context, SheetGrid *grid, ExcelCellEdit *edit,
                          uint32_t mode)
{
    if (!grid || !edit)
        return Res_missingArgument;
    for (ExcelCellEdit *e = grid->widthCells; e; e = e->next)
        if (e == edit)
            return Res_missingArgument;
    if (edit->kind > Excel_editText) {
        Mem_free(edit);
        return Res_nullInput;
    }
    edit->next = nullptr;
    ExcelCellEdit *old = Excel_editFind(grid->widthCells, nullptr, edit->row, edit->column);
    if (old && (mode == 2 || (mode == 1 && old->format != 0))) {
        edit->format = old->format;
        edit->xf = old->xf;
    }
    if (edit->kind == Excel_editNone) {
        Mem_free(Excel_editRemove(&grid->widthCells, edit->row, edit->column));
        Excel_cellClearText(grid->workbook, cellFind(grid, edit->row, edit->column));
        Excel_Sheet_dropValue(grid, edit->row, edit->column);
        Mem_free(edit);
        return Res_ok;
    }
    int rc = Excel_Sheet_renderEdit(context, edit, grid, 1);
    if (rc != Res_ok) {
        Mem_free(edit);
        return rc;
    }
    Excel_Sheet_dropValue(grid, edit->row, edit->column);
    Mem_free(Excel_editRemove(&grid->widthCells, edit->row, edit->column));
    Excel_editInsert(&grid->widthCells, edit);
    return Res_ok;
}

int Excel_Sheet_setCellText(SheetGrid *grid, uint32_t row, uint32_t column, uint32_t formatIndex,
                            const char16_t *text)
{
    if (!grid || !text || !grid->cellTable)
        return Res_missingArgument;
    ExcelWorkbook *wb = grid->workbook;
    ExcelCellEdit *edit = Excel_editNew(Excel_editText, row, column, text);
    char16_t *copy = Ustr_dup(text);
    if (!edit || !copy) {
        Mem_free(edit);
        Mem_free(copy);
        return Res_noMemory;
    }
    edit->format = uint16_t(formatIndex);
    int32_t index = -1;
    if (wb) {
        ExcelSstEntry entry{};
        entry.text = copy;
        uint32_t at = 0;
        int taken = 0;
        int rc = Excel_sstAdd(wb, &entry, &at, &taken);
        if (!taken)
            Mem_free(copy);
        copy = nullptr;
        if (rc != Res_ok) {
            Mem_free(edit);
            return rc;
        }
        index = int32_t(at);
    }
    bool fresh = !cellFind(grid, row, column);
    ExcelCell *cell = Excel_Sheet_cellCreate(grid, row, column);
    if (!cell) {
        // An appended shared string without references stays unused.
        Mem_free(copy);
        Mem_free(edit);
        return Res_noMemory;
    }
    if (fresh) {
        cell->xf = uint16_t(Excel_defaultXf);
        cell->rule = ruleOf(grid, cell->xf);
    }
    Excel_cellClearText(wb, cell);
    if (index >= 0) {
        Excel_sstAddRef(wb, uint32_t(index));
        cell->kind = Excel_cellSharedText;
        cell->sst = index;
        cell->text = wb->sst[index].text;
        edit->value.text.refs = 0;
    } else {
        cell->kind = Excel_cellOwnText;
        cell->text = copy;
    }
    edit->xf = cell->xf;
    Excel_Sheet_dropValue(grid, row, column);
    Mem_free(Excel_editRemove(&grid->widthCells, row, column));
    Excel_editInsert(&grid->widthCells, edit);
    return Res_ok;
}

int Excel_Sheet_renderColumn(EngineContext *context, SheetGrid *grid, uint32_t column)
{
    if (!grid)
        return Res_missingArgument;
    for (ExcelCellEdit *e = grid->widthCells; e; e = e->next) {
        if (e->column != column)
            continue;
        int rc = Excel_Sheet_renderEdit(context, e, grid, 0);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

// ------------------------------------------------------------ formulas

int Excel_Sheet_putFormula(SheetGrid *grid, SheetFormula *formula)
{
    if (!grid || !formula)
        return Res_missingArgument;
    for (SheetFormula *f = grid->formulaCells; f; f = f->next)
        if (f == formula)
            return Res_missingArgument;
    bool shared = sharedHead(formula);
    for (SheetFormula **link = &grid->formulaCells; *link;) {
        SheetFormula *f = *link;
        bool same = f->words[0] == formula->words[0] && f->words[1] == formula->words[1];
        bool sibling = shared && sharedHead(f) && memcmp(f->tokens, formula->tokens, 5) == 0;
        if (same || sibling) {
            *link = f->next;
            freeFormula(f);
        } else {
            link = &f->next;
        }
    }
    if (!formula->tokens || formula->length == 0) {
        freeFormula(formula);
        return Res_ok;
    }
    formula->next = grid->formulaCells;
    grid->formulaCells = formula;
    return Res_ok;
}

int Excel_Sheet_putSharedFormula(SheetGrid *grid, const SheetSharedFormula *entry)
{
    if (!grid || !entry)
        return Res_missingArgument;
    for (uint32_t i = 0; i < grid->sharedCount; i++) {
        SheetSharedFormula &e = grid->sharedFormulas[i];
        if (&e == entry || (entry->tokens && e.tokens == entry->tokens))
            return Res_missingArgument;
        if (e.words[0] == entry->words[0] && e.words[1] == entry->words[1]) {
            Mem_free(e.tokens);
            e = *entry;
            return Res_ok;
        }
    }
    SheetSharedFormula *grown = static_cast<SheetSharedFormula *>(Mem_realloc(
        grid->sharedFormulas, (size_t(grid->sharedCount) + 1) * sizeof(SheetSharedFormula)));
    if (!grown)
        return Res_noMemory;
    grid->sharedFormulas = grown;
    grown[grid->sharedCount++] = *entry;
    return Res_ok;
}

const SheetSharedFormula *Excel_Sheet_findSharedFormula(const SheetGrid *grid, uint32_t row,
                                                        uint32_t column)
{
    for (uint32_t i = 0; grid && i < grid->sharedCount; i++)
        if (grid->sharedFormulas[i].words[0] == row && grid->sharedFormulas[i].words[1] == column)
            return &grid->sharedFormulas[i];
    return nullptr;
}

SheetFormula *Excel_Sheet_findFormula(const SheetGrid *grid, uint32_t row, uint32_t column)
{
    for (SheetFormula *f = grid ? grid->formulaCells : nullptr; f; f = f->next)
        if (f->words[0] == row && f->words[1] == column)
            return f;
    return nullptr;
}

int Excel_Sheet_applyResultFormat(ExcelCellEdit *edit, SheetGrid *grid, uint32_t row,
                                  uint32_t column)
{
    if (!edit || !grid)
        return Res_missingArgument;
    const char16_t *code = formatCode(grid->workbook, edit->format);
    if (edit->format == 0 || !code)
        return Res_ok;
    const ExcelCell *cell = cellFind(grid, row, column);
    const SheetFormatTable *t = grid->formatTable;
    const StyleRule *source =
        cell && t && t->rules && cell->rule < t->count ? t->rules[cell->rule] : nullptr;
    if (!source)
        return Res_ok;
    uint32_t colour = Excel_fmtNoColour;
    if (edit->kind != Excel_editError) {
        Excel_FmtRequest r{};
        uint8_t truth = 0;
        Excel_editFormatRequest(edit, &r, &truth);
        r.formatIndex = edit->format;
        r.code = code;
        r.flags = displayFlags(grid);
        r.colour = &colour;
        char16_t *ignored = nullptr;
        int rc = Excel_Fmt_formatValue(&r, &ignored);
        Mem_free(ignored);
        if (rc != Res_ok)
            return rc;
    }
    StyleRule *rule = nullptr;
    int rc = StyleRule_clone(&rule, source);
    if (rc != Res_ok)
        return rc;
    int removed = 0;
    (void)StyleRule_removeProp(rule, textColourProp, &removed);
    // Without a colour to set or take away the cell keeps its style: a
    // style set again would turn its displayed alignment into its format's.
    if (colour == Excel_fmtNoColour && !removed) {
        StyleRule_destroy(rule);
        return Res_ok;
    }
    if (colour != Excel_fmtNoColour) {
        Prop scratch{};
        rc =
            Excel_setRuleProp(nullptr, Excel_ruleColour, &scratch, textColourProp, colour, rule, 0);
    }
    if (rc == Res_ok) {
        rc = Excel_Sheet_setCellStyle(grid, row, column, rule);
        if (rc == Res_ok)
            rule = nullptr;
    }
    StyleRule_destroy(rule);
    return rc;
}

int Excel_Sheet_setFormulaResult(EngineContext *context, const ExcelFormulaResult *result,
                                 uint32_t row, uint32_t column, SheetGrid *grid, uint32_t mode)
{
    if (!result || !grid)
        return Res_missingArgument;
    const Excel_Value *v = result->value;
    ExcelCellEdit *edit = nullptr;
    if (result->isError) {
        edit = Excel_editNew(Excel_editError, row, column, nullptr);
        if (edit)
            edit->value.error = Excel_errorText(v ? uint32_t(v->u.i) : nameErrorCode);
    } else if (v && v->kind == Excel_kindText) {
        edit = Excel_editNew(Excel_editText, row, column, v->u.text);
    } else if (v && (v->kind == Excel_kindNumber || v->kind == Excel_kindGuess)) {
        if ((edit = Excel_editNew(Excel_editNumber, row, column, nullptr)))
            edit->value.number = v->u.d;
    } else if (v && v->kind == Excel_kindBoolean) {
        if ((edit = Excel_editNew(Excel_editBoolean, row, column, nullptr)))
            edit->value.integer = v->u.b ? 1 : 0;
    } else {
        // An integer, or an empty result, which a cell shows as 0.
        if ((edit = Excel_editNew(Excel_editInteger, row, column, nullptr)))
            edit->value.integer = v && v->kind == Excel_kindInteger ? v->u.i : 0;
    }
    if (!edit)
        return Res_noMemory;
    if (result->format != -1) {
        edit->format = uint16_t(result->format);
        // The colour of the format's section is an addition to the value:
        // only running out of memory keeps the value from being stored.
        if (Excel_Sheet_applyResultFormat(edit, grid, row, column) == Res_noMemory) {
            Mem_free(edit);
            return Res_noMemory;
        }
    }
    return Excel_Sheet_applyEdit(context, grid, edit, mode);
}

uint32_t Excel_Formula_errorCode(int code)
{
    switch (code) {
    case 0x6601: return 15; // #VALUE!
    case 0x6602: return 23; // #REF!
    case 0x6603: return 36; // #NUM!
    case 0x6604: return 0;  // #NULL!
    case 0x6605: return 42; // #N/A
    case 0x6606: return 7;  // #DIV/0!
    default: return nameErrorCode;
    }
}

int Excel_Sheet_setFormulaError(EngineContext *context, SheetGrid *grid, int32_t format, int code,
                                uint32_t row, uint32_t column)
{
    if (!grid)
        return Res_missingArgument;
    Excel_Value v{};
    v.kind = Excel_kindInteger;
    v.u.i = int32_t(Excel_Formula_errorCode(code));
    ExcelFormulaResult r{&v, 1, format};
    return Excel_Sheet_setFormulaResult(context, &r, row, column, grid, 2);
}

int Excel_Formula_recalcCells(EngineContext *context, SheetGrid *grid, uint32_t row,
                              uint32_t column, uint32_t mode)
{
    if (!grid)
        return Res_missingArgument;
    uint32_t count = 0;
    for (SheetFormula *f = grid->formulaCells; f; f = f->next)
        count++;
    if (count == 0)
        return Res_ok;
    // The formulas are gathered first and put in dependency order: storing
    // a result never changes the list, so the records stay where they are.
    // A circular reference changes no cell.
    Excel_RecalcCell *cells =
        static_cast<Excel_RecalcCell *>(Mem_malloc(count * sizeof(Excel_RecalcCell)));
    const SheetFormula **listed =
        static_cast<const SheetFormula **>(Mem_malloc(count * sizeof(SheetFormula *)));
    const SheetFormula **formulas =
        static_cast<const SheetFormula **>(Mem_malloc(count * sizeof(SheetFormula *)));
    if (!cells || !listed || !formulas) {
        Mem_free(cells);
        Mem_free(listed);
        Mem_free(formulas);
        return Res_noMemory;
    }
    uint32_t n = 0;
    for (SheetFormula *f = grid->formulaCells; f && n < count; f = f->next) {
        listed[n] = f;
        cells[n++] = {f->words[0], f->words[1], f->tokens, f->length};
    }
    uint32_t *order = nullptr;
    if (int e = Excel_Formula_recalcOrder(cells, n, &order)) {
        Mem_free(cells);
        Mem_free(listed);
        Mem_free(formulas);
        return e;
    }
    for (uint32_t i = 0; i < n; i++)
        formulas[i] = listed[order[i]];
    Mem_free(order);
    Mem_free(cells);
    Mem_free(listed);
    int last = Res_ok;
    int rc = Res_ok;
    for (uint32_t i = 0; i < n && rc == Res_ok; i++) {
        if (context)
            Task_yield(context);
        const SheetFormula *f = formulas[i];
        uint32_t r = f->words[0], c = f->words[1];
        bool self = r == row && c == column;
        Excel_FormulaContext ec;
        Excel_Formula_evalInit(context, &ec, f->tokens, f->length, grid);
        Excel_Value value{};
        value.kind = Excel_kindEmpty;
        int e = Excel_Formula_eval(&ec, &value);
        ec.format = resultFormat(grid, r, c, ec.format);
        if (e == Res_noMemory) {
            rc = Res_noMemory;
        } else if (e == Res_notImplemented || (e == Res_formulaBadToken && !self)) {
            // Nothing here can evaluate it (a function or an operator
            // without a handler): the cell keeps the value it has, which
            // for a formula from the file is its stored result.
        } else if (e == Res_ok && ec.unsupported == 0) {
            ExcelFormulaResult result{&value, 0, ec.format};
            if (self || !showsAlready(grid, r, c, result))
                rc = Excel_Sheet_setFormulaResult(context, &result, r, c, grid, self ? 1 : 2);
        } else if (e == Res_ok) {
            if (mode != 1 || usesUnapproximated(ec))
                rc = Excel_Sheet_setFormulaError(context, grid, ec.format, unsupportedCode, r, c);
        } else {
            last = e;
            Excel_Value code{};
            code.kind = Excel_kindInteger;
            code.u.i = int32_t(Excel_Formula_errorCode(e));
            ExcelFormulaResult result{&code, 1, ec.format};
            if (self || !showsAlready(grid, r, c, result))
                rc = Excel_Sheet_setFormulaError(context, grid, ec.format, e, r, c);
        }
        if (value.kind == Excel_kindText)
            Mem_free(value.u.text);
    }
    Mem_free(formulas);
    return rc != Res_ok ? rc : last;
}

void Excel_editFormatRequest(const ExcelCellEdit *e, Excel_FmtRequest *r, uint8_t *truth)
{
    switch (e->kind) {
    case Excel_editBoolean:
        *truth = e->value.integer ? 1 : 0;
        r->kind = Excel_fmtBoolean;
        r->value = truth;
        break;
    case Excel_editInteger:
        r->kind = Excel_fmtInteger;
        r->value = &e->value.integer;
        break;
    case Excel_editNumber:
        r->kind = Excel_fmtNumber;
        r->value = &e->value.number;
        break;
    case Excel_editError:
        r->kind = Excel_fmtError;
        r->value = e->value.error ? e->value.error : "";
        break;
    case Excel_editText:
        r->kind = Excel_fmtText;
        r->value = e->value.text.text ? e->value.text.text : u"";
        break;
    default:
        r->kind = Excel_fmtEmpty;
        r->value = nullptr;
        break;
    }
}
