// Reference arrays: the values behind one chart series dimension, as a
// list of items (cells, errors, numbers, texts) or as a rectangular area
// of one sheet, and their shifting when rows or columns are inserted or
// deleted.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"

namespace {

void clearItem(Excel_RefItem *item)
{
    if (item->kind == Excel_itemCell)
        Mem_free(item->u.ref.cell);
    else if (item->kind == Excel_itemText)
        Mem_free(item->u.text);
    memset(item, 0, sizeof *item);
}

void clearItems(Excel_RefArray *array)
{
    for (uint32_t i = 0; i < array->count; i++)
        clearItem(&array->items[i]);
    Mem_free(array->items);
    array->items = nullptr;
    array->count = 0;
}

int itemAt(Excel_RefArray *array, uint32_t i, Excel_RefItem **item)
{
    if (!array)
        return Res_missingArgument;
    if (array->kind != Excel_refList || i >= array->count)
        return Res_nullInput;
    *item = &array->items[i];
    return Res_ok;
}

// The value cell of the named sheet: its pending edit or its text, and
// its sheet (null when the sheet is gone).
const ExcelCellEdit *cellEdit(const ExcelWorkbook *workbook, const char16_t *sheetName,
                              const Excel_RefCell &cell, const char16_t **text,
                              const SheetGrid **grid = nullptr)
{
    *text = nullptr;
    if (grid)
        *grid = nullptr;
    if (!workbook || !sheetName)
        return nullptr;
    ExcelBookItem *item = Excel_bookFindByName(workbook->items, sheetName);
    if (!item || item->kind != Excel_itemWorksheet || !item->payload)
        return nullptr;
    ExcelCellEdit *edit = nullptr;
    uint16_t xf;
    if (Excel_Sheet_getCellEdit(static_cast<SheetGrid *>(item->payload), cell.row, cell.column,
                                &edit, text, &xf) != Res_ok)
        return nullptr;
    if (grid)
        *grid = static_cast<const SheetGrid *>(item->payload);
    return edit;
}

// The cell of item or area cell i and its sheet name (owned copy), or
// false when i names no cell.
bool cellOf(const Excel_RefArray *array, uint32_t i, Excel_RefCell *cell, char16_t **sheetName)
{
    *sheetName = nullptr;
    if (array->kind == Excel_refArea) {
        if (i >= Excel_RefArray_count(array))
            return false;
        *cell = Excel_RefArray_areaCell(array, i);
        *sheetName = StrTable_getName(array->names, array->sheet);
        return true;
    }
    if (i >= array->count || array->items[i].kind != Excel_itemCell)
        return false;
    *cell = *array->items[i].u.ref.cell;
    *sheetName = StrTable_getName(array->names, array->items[i].u.ref.sheet);
    return true;
}

} // namespace

Excel_RefArray *Excel_RefArray_create(uint32_t n)
{
    Excel_RefArray *a = static_cast<Excel_RefArray *>(Mem_calloc(1, sizeof(Excel_RefArray)));
    if (!a)
        return nullptr;
    a->kind = Excel_refList;
    a->names = StrTable_create(nullptr);
    if (n)
        a->items = static_cast<Excel_RefItem *>(Mem_calloc(n, sizeof(Excel_RefItem)));
    if (!a->names || (n && !a->items)) {
        StrTable_destroy(a->names);
        Mem_free(a->items);
        Mem_free(a);
        return nullptr;
    }
    a->count = n;
    return a;
}

void Excel_RefArray_free(Excel_RefArray *array)
{
    if (!array)
        return;
    clearItems(array);
    StrTable_destroy(array->names);
    Mem_free(array);
}

int Excel_RefArray_setCell(const char16_t *sheetName, uint32_t row, uint32_t column,
                           Excel_RefArray *array, uint32_t i)
{
    Excel_RefItem *item;
    int rc = itemAt(array, i, &item);
    if (rc != Res_ok)
        return rc;
    if (!sheetName)
        return Res_missingArgument;
    uint16_t id = StrTable_intern(array->names, sheetName);
    Excel_RefCell *cell = static_cast<Excel_RefCell *>(Mem_malloc(sizeof(Excel_RefCell)));
    if (!id || !cell) {
        Mem_free(cell);
        return Res_noMemory;
    }
    *cell = Excel_RefCell{row, column};
    clearItem(item);
    item->kind = Excel_itemCell;
    item->u.ref.sheet = id;
    item->u.ref.cell = cell;
    return Res_ok;
}

int Excel_RefArray_setError(Excel_RefArray *array, uint32_t i)
{
    Excel_RefItem *item;
    int rc = itemAt(array, i, &item);
    if (rc != Res_ok)
        return rc;
    clearItem(item);
    item->kind = Excel_itemError;
    return Res_ok;
}

int Excel_RefArray_setNumber(double value, Excel_RefArray *array, uint32_t i)
{
    Excel_RefItem *item;
    int rc = itemAt(array, i, &item);
    if (rc != Res_ok)
        return rc;
    clearItem(item);
    item->kind = Excel_itemNumber;
    item->u.number = value;
    return Res_ok;
}

int Excel_RefArray_setText(const char16_t *text, Excel_RefArray *array, uint32_t i)
{
    Excel_RefItem *item;
    int rc = itemAt(array, i, &item);
    if (rc != Res_ok)
        return rc;
    if (!text)
        return Res_missingArgument;
    char16_t *copy = Ustr_dup(text);
    if (!copy)
        return Res_noMemory;
    clearItem(item);
    item->kind = Excel_itemText;
    item->u.text = copy;
    return Res_ok;
}

int Excel_RefArray_setArea(const char16_t *sheetName, uint32_t firstRow, uint32_t firstColumn,
                           uint32_t lastRow, uint32_t lastColumn, Excel_RefArray *array)
{
    if (!array || !sheetName)
        return Res_missingArgument;
    uint16_t id = StrTable_intern(array->names, sheetName);
    if (!id)
        return Res_noMemory;
    clearItems(array);
    array->kind = Excel_refArea;
    array->sheet = id;
    array->first = Excel_RefCell{firstRow, firstColumn};
    array->last = Excel_RefCell{lastRow, lastColumn};
    return Res_ok;
}

uint32_t Excel_RefArray_count(const Excel_RefArray *array)
{
    if (!array)
        return 0;
    if (array->kind == Excel_refList)
        return array->count;
    if (array->last.row < array->first.row || array->last.column < array->first.column)
        return 0;
    uint64_t n = uint64_t(array->last.row - array->first.row + 1) *
                 (array->last.column - array->first.column + 1);
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
}

Excel_RefCell Excel_RefArray_areaCell(const Excel_RefArray *array, uint32_t k)
{
    uint32_t rows = array->last.row - array->first.row + 1;
    return Excel_RefCell{array->first.row + k % rows, array->first.column + k / rows};
}

double Excel_RefArray_numberAt(const Excel_RefArray *array, uint32_t i,
                               const ExcelWorkbook *workbook)
{
    if (!array)
        return 0.0;
    if (array->kind == Excel_refList && i < array->count &&
        array->items[i].kind == Excel_itemNumber)
        return array->items[i].u.number;
    Excel_RefCell cell;
    char16_t *name;
    if (!cellOf(array, i, &cell, &name))
        return 0.0;
    const char16_t *text;
    const SheetGrid *grid = nullptr;
    const ExcelCellEdit *edit = cellEdit(workbook, name, cell, &text, &grid);
    Mem_free(name);
    if (edit && edit->kind == Excel_editNumber)
        return edit->value.number;
    if (edit && edit->kind == Excel_editInteger)
        return edit->value.integer;
    double value = 0.0;
    uint32_t kind = !edit ? Excel_Sheet_valueAt(grid, cell.row, cell.column, &value) : 0;
    return kind == Excel_editNumber || kind == Excel_editInteger ? value : 0.0;
}

char16_t *Excel_RefArray_textAt(const Excel_RefArray *array, uint32_t i,
                                const ExcelWorkbook *workbook)
{
    if (!array)
        return nullptr;
    if (array->kind == Excel_refList && i < array->count) {
        if (array->items[i].kind == Excel_itemError)
            return Ustr_fromCstr("#REF");
        if (array->items[i].kind == Excel_itemText)
            return Ustr_dup(array->items[i].u.text);
    }
    Excel_RefCell cell;
    char16_t *name;
    if (!cellOf(array, i, &cell, &name))
        return nullptr;
    const char16_t *text;
    const ExcelCellEdit *edit = cellEdit(workbook, name, cell, &text);
    Mem_free(name);
    if (edit && edit->kind == Excel_editText && edit->value.text.text)
        return Ustr_dup(edit->value.text.text);
    return text ? Ustr_dup(text) : nullptr;
}

int Excel_RefArray_forEachCell(const Excel_RefArray *array, Excel_RefCellFn fn, void *data)
{
    if (!array || !fn)
        return Res_missingArgument;
    if (array->kind == Excel_refList) {
        for (uint32_t i = 0; i < array->count; i++) {
            if (array->items[i].kind != Excel_itemCell)
                continue;
            char16_t *name = StrTable_getName(array->names, array->items[i].u.ref.sheet);
            if (!name)
                return Res_noMemory;
            fn(data, name, array->items[i].u.ref.cell);
            Mem_free(name);
            break;
        }
        return Res_ok;
    }
    if (Excel_RefArray_count(array) == 0)
        return Res_ok;
    char16_t *name = StrTable_getName(array->names, array->sheet);
    if (!name)
        return Res_noMemory;
    for (uint32_t r = array->first.row;; r++) {
        for (uint32_t c = array->first.column;; c++) {
            Excel_RefCell cell{r, c};
            fn(data, name, &cell);
            if (c == array->last.column)
                break;
        }
        if (r == array->last.row)
            break;
    }
    Mem_free(name);
    return Res_ok;
}

namespace {

// Shifts one index for the change; false when it was deleted.
bool shiftIndex(uint32_t *v, bool deleting, uint32_t at, uint32_t count)
{
    if (*v < at)
        return true;
    if (!deleting) {
        *v = *v + count;
        return true;
    }
    if (*v < at + count)
        return false;
    *v -= count;
    return true;
}

// Shifts the span [first, last]; false when all of it was deleted.
bool shiftSpan(uint32_t *first, uint32_t *last, bool deleting, uint32_t at, uint32_t count)
{
    if (!deleting) {
        shiftIndex(first, false, at, count);
        shiftIndex(last, false, at, count);
        return true;
    }
    uint32_t end = at + count; // deleted: [at, end)
    if (*first >= at && *last < end)
        return false;
    uint32_t f = *first, l = *last;
    f = f < at ? f : f < end ? at : f - count;
    l = l < at ? l : l < end ? at - 1 : l - count;
    *first = f;
    *last = l;
    return true;
}

} // namespace

int Excel_RefArray_adjust(Excel_RefArray *array, uint32_t change, const char16_t *sheetName,
                          uint32_t at, uint32_t count, int *alive)
{
    if (!array || !sheetName || !alive)
        return Res_missingArgument;
    *alive = 1;
    if (count == 0 || change > Excel_deleteColumns)
        return Res_ok;
    uint16_t id = StrTable_find(array->names, sheetName);
    if (!id)
        return Res_ok;
    bool rows = change == Excel_insertRows || change == Excel_deleteRows;
    bool deleting = change == Excel_deleteRows || change == Excel_deleteColumns;
    if (array->kind == Excel_refArea) {
        if (array->sheet != id)
            return Res_ok;
        bool ok = rows ? shiftSpan(&array->first.row, &array->last.row, deleting, at, count)
                       : shiftSpan(&array->first.column, &array->last.column, deleting, at, count);
        if (ok)
            return Res_ok;
        // The area is gone: a one-item list holding an error.
        Excel_RefItem *item = static_cast<Excel_RefItem *>(Mem_calloc(1, sizeof(Excel_RefItem)));
        if (!item)
            return Res_noMemory;
        array->kind = Excel_refList;
        array->items = item;
        array->count = 1;
        item->kind = Excel_itemError;
        *alive = 0;
        return Res_ok;
    }
    for (uint32_t i = 0; i < array->count; i++) {
        Excel_RefItem &item = array->items[i];
        if (item.kind != Excel_itemCell || item.u.ref.sheet != id)
            continue;
        uint32_t *v = rows ? &item.u.ref.cell->row : &item.u.ref.cell->column;
        if (!shiftIndex(v, deleting, at, count)) {
            clearItem(&item);
            item.kind = Excel_itemError;
            *alive = 0;
        }
    }
    return Res_ok;
}
