// The external-reference tables of the workbook writer: supporting books
// (this workbook and external ones) and EXTERNSHEET entries; and the
// growable u32 lists of chart series.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/workbook.h"

int Excel_ExternSheet_find(Excel_RefTables *tables, int32_t supbook, uint32_t firstSheet,
                           uint32_t lastSheet, uint32_t *index)
{
    if (!tables || !index)
        return Res_missingArgument;
    for (uint32_t i = 0; i < tables->externSheetCount; i++) {
        const Excel_ExternSheet &e = tables->externSheets[i];
        if (e.supbook == supbook && e.firstSheet == firstSheet && e.lastSheet == lastSheet) {
            *index = i;
            return Res_ok;
        }
    }
    void *p = Mem_realloc(tables->externSheets,
                          (tables->externSheetCount + 1) * sizeof(Excel_ExternSheet));
    if (!p)
        return Res_noMemory;
    tables->externSheets = static_cast<Excel_ExternSheet *>(p);
    tables->externSheets[tables->externSheetCount] =
        Excel_ExternSheet{supbook, firstSheet, lastSheet};
    *index = tables->externSheetCount++;
    return Res_ok;
}

namespace {

void supBookFree(Excel_SupBook *b)
{
    for (uint32_t i = 0; i < b->sheetCount; i++)
        Mem_free(b->sheetNames[i]);
    Mem_free(b->sheetNames);
    Mem_free(b->fileName);
    Mem_free(b);
}

void append(Excel_RefTables *tables, Excel_SupBook *b, uint32_t *index)
{
    Excel_SupBook **link = &tables->supBooks;
    while (*link)
        link = &(*link)->next;
    *link = b;
    *index = tables->supBookCount++;
}

} // namespace

int Excel_SupBook_self(Excel_RefTables *tables, uint32_t *index)
{
    if (!tables || !index)
        return Res_missingArgument;
    uint32_t i = 0;
    for (Excel_SupBook *b = tables->supBooks; b; b = b->next, i++) {
        if (!b->fileName) {
            *index = i;
            return Res_ok;
        }
    }
    Excel_SupBook *b = static_cast<Excel_SupBook *>(Mem_calloc(1, sizeof(Excel_SupBook)));
    if (!b)
        return Res_noMemory;
    uint32_t n = 0;
    const ExcelWorkbook *wb = tables->workbook;
    for (ExcelBookItem *it = wb ? wb->items : nullptr; it; it = it->next)
        n += it->kind == Excel_itemWorksheet || it->kind == Excel_itemChart;
    if (n) {
        b->sheetNames = static_cast<char **>(Mem_calloc(n, sizeof(char *)));
        if (!b->sheetNames) {
            supBookFree(b);
            return Res_noMemory;
        }
        for (ExcelBookItem *it = wb->items; it; it = it->next) {
            if (it->kind != Excel_itemWorksheet && it->kind != Excel_itemChart)
                continue;
            const char16_t *name = it->name ? it->name : u"";
            char *copy = Cstr_fromUstrN(name, Ustr_len(name));
            if (!copy) {
                supBookFree(b);
                return Res_noMemory;
            }
            b->sheetNames[b->sheetCount++] = copy;
        }
    }
    append(tables, b, index);
    return Res_ok;
}

int Excel_SupBook_external(Excel_RefTables *tables, const char *fileName, uint32_t *index)
{
    if (!tables || !fileName || !index)
        return Res_missingArgument;
    uint32_t i = 0;
    for (Excel_SupBook *b = tables->supBooks; b; b = b->next, i++) {
        if (b->fileName && Cstr_cmp(b->fileName, fileName) == 0) {
            *index = i;
            return Res_ok;
        }
    }
    Excel_SupBook *b = static_cast<Excel_SupBook *>(Mem_calloc(1, sizeof(Excel_SupBook)));
    if (!b)
        return Res_noMemory;
    b->fileName = Cstr_dup(fileName);
    if (!b->fileName) {
        supBookFree(b);
        return Res_noMemory;
    }
    append(tables, b, index);
    return Res_ok;
}

void Excel_RefTables_free(Excel_RefTables *tables)
{
    if (!tables)
        return;
    while (Excel_SupBook *b = tables->supBooks) {
        tables->supBooks = b->next;
        supBookFree(b);
    }
    tables->supBookCount = 0;
    Mem_free(tables->externSheets);
    tables->externSheets = nullptr;
    tables->externSheetCount = 0;
}

int Excel_U32List_append(uint32_t **list, uint16_t *count, uint32_t value)
{
    if (!list || !count)
        return Res_missingArgument;
    if (!*list && *count != 0)
        return Res_nullInput;
    if (value == 0)
        return Res_ok;
    if (*count == 0xFFFF)
        return Res_tableFull;
    void *p = Mem_realloc(*list, (size_t(*count) + 1) * sizeof(uint32_t));
    if (!p)
        return Res_noMemory;
    *list = static_cast<uint32_t *>(p);
    (*list)[(*count)++] = value;
    return Res_ok;
}
