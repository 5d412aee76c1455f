// Chart data binding: each chart placed in the document is a group node
// whose private data is a workbook reference; after loading and after
// every edit the charts' cells are read back from the sheets (a sorted
// list of value cells) and the charts are rebuilt from them.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/node.h"
#include "document/style/value.h"
#include "document/edr/attach.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/ranges.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetgrid.h"

namespace {

// Orders two cells by key, then by sheet name.
int compareCell(const uint32_t ka[2], const char16_t *sa, const uint32_t kb[2], const char16_t *sb)
{
    ExcelCellKey a{ka[0], ka[1]}, b{kb[0], kb[1]};
    int c = Excel_keyCompare(&a, &b);
    if (c || !sa || !sb)
        return c;
    int s = Ustr_cmp(sa, sb);
    return s < 0 ? -1 : s > 0 ? 1 : 0;
}

void freeCell(ExcelValueCell *cell)
{
    Edr_Value_free(cell->value);
    Mem_free(cell->sheet);
    cell->value = nullptr;
    cell->sheet = nullptr;
}

} // namespace

// ------------------------------------------------------------ value cells

ExcelValueCells *ExcelValueCells_create()
{
    return static_cast<ExcelValueCells *>(Mem_calloc(1, sizeof(ExcelValueCells)));
}

void ExcelValueCells_free(ExcelValueCells *list)
{
    if (!list)
        return;
    for (uint32_t i = 0; i < list->count; i++)
        freeCell(&list->cells[i]);
    Mem_free(list->cells);
    Mem_free(list);
}

uint32_t ExcelValueCells_index(const uint32_t key[2], const ExcelValueCells *list)
{
    if (!list || !key)
        return 0;
    uint32_t lo = 0, hi = list->count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (compareCell(list->cells[mid].value->key, nullptr, key, nullptr) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int ExcelValueCells_add(ExcelValueCell *cell, ExcelValueCells *list)
{
    if (!cell || !list || !cell->value) {
        if (cell)
            freeCell(cell);
        return Res_missingArgument;
    }
    uint32_t at = ExcelValueCells_index(cell->value->key, list);
    for (uint32_t i = at; i < list->count; i++) {
        int c = compareCell(list->cells[i].value->key, list->cells[i].sheet, cell->value->key,
                            cell->sheet);
        if (c == 0) {
            // The same cell: it takes the new value.
            Edr_Value_free(list->cells[i].value);
            list->cells[i].value = cell->value;
            Mem_free(cell->sheet);
            *cell = ExcelValueCell{};
            return Res_ok;
        }
        if (c > 0)
            break;
        at = i + 1;
    }
    if (list->count == list->capacity) {
        ExcelValueCell *n = static_cast<ExcelValueCell *>(
            Mem_realloc(list->cells, size_t(list->capacity + 10) * sizeof(ExcelValueCell)));
        if (!n) {
            freeCell(cell);
            return Res_noMemory;
        }
        list->cells = n;
        list->capacity += 10;
    }
    memmove(list->cells + at + 1, list->cells + at,
            size_t(list->count - at) * sizeof(ExcelValueCell));
    list->cells[at] = *cell;
    list->count++;
    *cell = ExcelValueCell{};
    return Res_ok;
}

ExcelValueCell *ExcelValueCells_first(ExcelValueCells *list)
{
    if (!list)
        return nullptr;
    list->iteration = 0;
    return list->count ? &list->cells[0] : nullptr;
}

ExcelValueCell *ExcelValueCells_next(ExcelValueCells *list)
{
    if (!list || list->iteration + 1 >= list->count)
        return nullptr;
    return &list->cells[++list->iteration];
}

ExcelValueCell *ExcelValueCells_find(ExcelValueCells *list, const uint32_t key[2],
                                     const char16_t *sheet)
{
    if (!list || !key)
        return nullptr;
    for (uint32_t i = ExcelValueCells_index(key, list); i < list->count; i++) {
        ExcelValueCell *c = &list->cells[i];
        if (compareCell(c->value->key, nullptr, key, nullptr) != 0)
            break;
        if (!sheet || !c->sheet || Ustr_cmp(sheet, c->sheet) == 0)
            return c;
    }
    return nullptr;
}

int ExcelValueCells_setAt(const Edr_Value *source, uint32_t index, ExcelValueCells *list)
{
    if (!source || !list)
        return Res_missingArgument;
    if (index >= list->count)
        return Res_nullInput;
    Edr_Value *v = list->cells[index].value;
    uint32_t type = Edr_Value_getType(source);
    int rc;
    switch (type) {
    case Edr_valueInt:
        rc = Edr_Value_convert(v, Edr_valueInt);
        if (rc == Res_ok || v->type == Edr_valueNone)
            v->type = Edr_valueInt, rc = Edr_Value_setInt(v, Edr_Value_getInt(source));
        return rc;
    case Edr_valueNumber:
        rc = Edr_Value_convert(v, Edr_valueNumber);
        if (rc == Res_ok || v->type == Edr_valueNone)
            v->type = Edr_valueNumber, rc = Edr_Value_setNumber(v, Edr_Value_getNumber(source));
        return rc;
    case Edr_valueText: v->type = Edr_valueText; return Edr_Value_setText(v, source->text);
    default: return Res_nullInput;
    }
}

namespace {

struct Collect {
    ExcelValueCells *list;
    int rc;
};

void collectCell(void *data, const char16_t *sheetName, const Excel_RefCell *cell)
{
    Collect *c = static_cast<Collect *>(data);
    if (c->rc != Res_ok)
        return;
    uint32_t key[2] = {cell->row, cell->column};
    ExcelValueCell v{};
    v.value = Edr_Value_new(nullptr, key, Edr_valueNone);
    v.sheet = sheetName ? Ustr_dup(sheetName) : nullptr;
    if (!v.value || (sheetName && !v.sheet)) {
        freeCell(&v);
        c->rc = Res_noMemory;
        return;
    }
    c->rc = ExcelValueCells_add(&v, c->list);
}

} // namespace

int Excel_chartSeriesCells(const XlsChart *chart, ExcelValueCells **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!chart)
        return Res_missingArgument;
    Collect c{ExcelValueCells_create(), Res_ok};
    if (!c.list)
        return Res_noMemory;
    for (uint32_t i = 0; i < chart->seriesCount && c.rc == Res_ok; i++) {
        for (uint32_t which = 0; which < 3 && c.rc == Res_ok; which++) {
            const Excel_RefArray *a = chart->series[i]->lists[which];
            if (!a ||
                (a->kind == Excel_refList && (a->count == 0 || a->items[0].kind != Excel_itemCell)))
                continue;
            int rc = Excel_RefArray_forEachCell(a, collectCell, &c);
            if (c.rc == Res_ok)
                c.rc = rc;
        }
    }
    if (c.rc != Res_ok) {
        ExcelValueCells_free(c.list);
        return c.rc;
    }
    *out = c.list;
    return Res_ok;
}

int Excel_fillValueCells(ExcelWorkbook *workbook, ExcelValueCells *cells)
{
    if (!workbook || !cells)
        return Res_missingArgument;
    for (uint32_t i = 0; i < cells->count; i++) {
        ExcelValueCell *c = &cells->cells[i];
        ExcelBookItem *item = c->sheet ? Excel_bookFindByName(workbook->items, c->sheet) : nullptr;
        if (!item || item->kind != Excel_itemWorksheet || !item->payload)
            continue; // a sheet that is gone: the cell keeps its value
        SheetGrid *grid = static_cast<SheetGrid *>(item->payload);
        ExcelCellEdit *edit = nullptr;
        const char16_t *text = nullptr;
        uint16_t xf;
        if (Excel_Sheet_getCellEdit(grid, c->value->key[0], c->value->key[1], &edit, &text, &xf) !=
            Res_ok)
            continue;
        Edr_Value *v = c->value;
        if (edit || text) {
            if (v->type == Edr_valueNone)
                v->type = Edr_valueText;
            int rc = Edr_Value_convert(v, Edr_valueText);
            if (rc == Res_ok)
                rc = Edr_Value_setText(v, text ? text
                                          : edit && edit->kind == Excel_editText &&
                                                  edit->value.text.text
                                              ? edit->value.text.text
                                              : u"");
            if (rc != Res_ok)
                return rc == Res_noMemory ? rc : Res_nullInput;
        }
        // A number: the edit's, else the value the cell was loaded with.
        double loaded = 0.0;
        uint32_t kind =
            edit ? edit->kind
                 : Excel_Sheet_valueAt(grid, c->value->key[0], c->value->key[1], &loaded);
        if (kind == Excel_editInteger || kind == Excel_editNumber) {
            int rc;
            if (kind == Excel_editInteger) {
                v->type = Edr_valueInt;
                rc = Edr_Value_setInt(v, edit ? edit->value.integer : int32_t(loaded));
            } else {
                v->type = Edr_valueNumber;
                rc = Edr_Value_setNumber(v, edit ? edit->value.number : loaded);
            }
            if (rc != Res_ok)
                return rc == Res_noMemory ? rc : Res_nullInput;
        }
    }
    return Res_ok;
}

// ------------------------------------------------------- workbook links

int ExcelBookRef_create(EngineContext *context, XlsChart *chart, ExcelWorkbook *workbook,
                        ExcelBookRef **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!chart)
        return Res_missingArgument;
    int rc = Excel_chartAddRef(chart);
    if (rc != Res_ok)
        return rc;
    ExcelBookRef *r = static_cast<ExcelBookRef *>(Mem_calloc(1, sizeof(ExcelBookRef)));
    if (!r) {
        Excel_chartRelease(chart);
        return Res_noMemory;
    }
    r->refs = 1;
    r->chart = chart;
    r->app = context;
    r->workbook = workbook;
    *out = r;
    return Res_ok;
}

int ExcelBookRef_addRef(ExcelBookRef *ref)
{
    if (!ref)
        return Res_missingArgument;
    if (ref->refs == UINT32_MAX)
        return 11;
    ref->refs++;
    return Res_ok;
}

void ExcelBookRef_release(void *data)
{
    ExcelBookRef *ref = static_cast<ExcelBookRef *>(data);
    if (!ref)
        return;
    if (ref->refs > 1) {
        ref->refs--;
        return;
    }
    // The chart's item goes with its last node; the workbook may go with
    // it when nothing else holds it.
    if (ref->workbook && ref->chart)
        Excel_chartDetach(ref->workbook, ref->chart);
    Excel_chartRelease(ref->chart);
    Mem_free(ref);
}

int ExcelBookRef_attach(ExcelBookRef *ref, Edr_Doc *document, Edr_Node *node, Edr_Node **out)
{
    if (out)
        *out = nullptr;
    if (!ref || !document || !node)
        return Res_missingArgument;
    Edr_Node *group = nullptr;
    int rc = Edr_Node_createGroup(document, node, Edr_Insert_lastChild, 0, &group);
    if (rc != Res_ok)
        return rc;
    rc = ExcelBookRef_addRef(ref);
    if (rc == Res_ok) {
        rc = Edr_Node_setPrivate(document, group, ref, ExcelBookRef_release);
        if (rc != Res_ok)
            ref->refs--;
    }
    if (rc == Res_ok && out)
        *out = group;
    else
        Edr_Node_release(document, group);
    return rc;
}

int Excel_chartItemAttach(EngineContext *context, ExcelBookItem *item, ExcelWorkbook *workbook,
                          Edr_Doc *document, Edr_Node *node, Edr_Node **out)
{
    if (out)
        *out = nullptr;
    if (!item || !document || !node)
        return Res_missingArgument;
    if (item->kind != Excel_itemChart && item->kind != Excel_itemChartSheet)
        return Res_nullInput;
    ExcelBookRef *ref = nullptr;
    int rc = ExcelBookRef_create(context, static_cast<XlsChart *>(item->payload), workbook, &ref);
    if (rc != Res_ok)
        return rc;
    rc = ExcelBookRef_attach(ref, document, node, out);
    // The node holds its own share; a reference whose attach failed only
    // gives back the chart.
    if (ref->refs > 1) {
        ref->refs--;
    } else {
        Excel_chartRelease(ref->chart);
        Mem_free(ref);
    }
    return rc;
}

// ------------------------------------------------------- finding charts

int Excel_walkFindRecord(Edr_Node *node, int *stop, int *, void *context)
{
    ExcelFindContext *c = static_cast<ExcelFindContext *>(context);
    if (!c || !node)
        return Res_ok;
    Edr_PrivateDestructor d = nullptr;
    (void)Edr_Node_getPrivateDestructor(c->document, node, &d);
    if (d != ExcelBookRef_release)
        return Res_ok;
    void *data = nullptr;
    (void)Edr_Node_getPrivate(c->document, node, &data);
    ExcelBookRef *ref = static_cast<ExcelBookRef *>(data);
    if (ref && ref->workbook) {
        c->found = ref->workbook;
        *stop = 1;
    }
    return Res_ok;
}

namespace {

struct NodeList {
    Edr_Doc *document;
    Edr_Node **nodes;
    uint32_t count;
    uint32_t capacity;
};

int collectVisit(Edr_Node *node, int *, int *, void *context)
{
    NodeList *l = static_cast<NodeList *>(context);
    Edr_PrivateDestructor d = nullptr;
    (void)Edr_Node_getPrivateDestructor(l->document, node, &d);
    if (d != ExcelBookRef_release)
        return Res_ok;
    if (l->count == l->capacity) {
        uint32_t cap = l->capacity ? l->capacity * 2 : 8;
        Edr_Node **n = static_cast<Edr_Node **>(Mem_realloc(l->nodes, cap * sizeof(Edr_Node *)));
        if (!n)
            return Res_noMemory;
        l->nodes = n;
        l->capacity = cap;
    }
    l->nodes[l->count++] = node;
    return Res_ok;
}

} // namespace

int Excel_collectChartNodes(Edr_Doc *document, Edr_Node *group, Edr_Node ***nodes, uint32_t *count)
{
    if (!nodes || !count)
        return Res_missingArgument;
    *nodes = nullptr;
    *count = 0;
    if (!document)
        return Res_missingArgument;
    Edr_Node *start = group;
    Edr_Node *root = nullptr;
    if (!start) {
        int rc = Edr_Doc_getRoot(document, &root);
        if (rc != Res_ok)
            return rc;
        start = root;
    }
    NodeList l{document, nullptr, 0, 0};
    int rc = Edr_Node_walk(collectVisit, nullptr, &l, 1, start);
    Edr_Node_release(document, root);
    if (rc != Res_ok) {
        Mem_free(l.nodes);
        return rc;
    }
    *nodes = l.nodes;
    *count = l.count;
    return Res_ok;
}

int Excel_bindCharts(ExcelWorkbook *workbook, Edr_Doc *document)
{
    if (!workbook || !document)
        return Res_missingArgument;
    Edr_Node **nodes = nullptr;
    uint32_t count = 0;
    int rc = Excel_collectChartNodes(document, nullptr, &nodes, &count);
    if (rc != Res_ok)
        return rc;
    for (uint32_t i = 0; i < count && rc == Res_ok; i++) {
        void *data = nullptr;
        (void)Edr_Node_getPrivate(document, nodes[i], &data);
        ExcelBookRef *ref = static_cast<ExcelBookRef *>(data);
        if (!ref || !ref->chart || ref->workbook != workbook)
            continue;
        // A node in the tree may have no holder: hold it while it is
        // rebuilt (a deleted node is passed over).
        if (Edr_Node_addRefLive(document, nodes[i]) != Res_ok)
            continue;
        ExcelValueCells *cells = nullptr;
        rc = Excel_chartSeriesCells(ref->chart, &cells);
        if (rc == Res_ok)
            rc = Excel_fillValueCells(workbook, cells);
        if (rc == Res_ok)
            rc = Excel_chartBuild(ref->chart, cells, document, nodes[i]);
        ExcelValueCells_free(cells);
        Edr_Node_release(document, nodes[i]);
    }
    Mem_free(nodes);
    return rc;
}

int Excel_sheetStructureChanged(ExcelWorkbook *workbook, SheetGrid *sheet, uint32_t operation,
                                uint32_t index, uint32_t count, Edr_Doc *document)
{
    if (!workbook || !sheet)
        return Res_missingArgument;
    if (!count || operation > 3)
        return Res_nullInput;
    ExcelBookItem *item = nullptr;
    for (ExcelBookItem *i = workbook->items; i; i = i->next)
        if (i->kind == Excel_itemWorksheet && i->payload == sheet)
            item = i;
    if (!item)
        return Res_nullInput;
    int rc = Excel_shiftRangeHandlers(sheet, operation, index, count);
    if (rc != Res_ok)
        return rc;
    uint16_t *indices = nullptr;
    uint32_t n = 0;
    rc = Excel_bookRefsTo(workbook, item, &n, &indices);
    if (rc != Res_ok)
        return rc;
    // Range operations: 0 insert rows, 1 delete rows, 2 insert columns,
    // 3 delete columns; reference changes order them differently.
    static const uint32_t changes[4] = {Excel_insertRows, Excel_deleteRows, Excel_insertColumns,
                                        Excel_deleteColumns};
    for (ExcelBookItem *i = workbook->items; i && rc == Res_ok; i = i->next) {
        if ((i->kind == Excel_itemChart || i->kind == Excel_itemChartSheet) && i->payload &&
            item->name)
            rc = Excel_Chart_adjustRefs(static_cast<XlsChart *>(i->payload), changes[operation],
                                        item->name, indices, n, index, count);
    }
    Mem_free(indices);
    if (rc == Res_ok && document)
        rc = Excel_bindCharts(workbook, document);
    return rc;
}
