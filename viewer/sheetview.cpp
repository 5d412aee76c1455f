// Spreadsheet editing in the viewer (see sheetview.h): the eight handler
// slots of the edit-mode record for spreadsheets (type code 228), the
// current cell, and the viewer's events for the spreadsheet state.
//
// The grid is read under the document's read lock and changed under its
// write lock; the lock is released before the relayout is queued.
#include "viewer/sheetview.h"

#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/task/eventproc.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "core/time/localeset.h"
#include "core/time/locale.h"
#include "spreadsheet/edit/celledit.h"
#include "document/edit/editdata.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "fonts/textrun.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "graphics/rectlist.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "viewer/api/forward.h"
#include "viewer/api/textedit.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/docside.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/formula/formulatext.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/sheetstyle.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "viewer/docview.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

constexpr uint32_t sheetDefaults[6] = {0, 0, 0, 1, 0, 0};
constexpr int32_t hostOutOfMemory = 0x10006;
constexpr int32_t requestEvent35 = 0x10019;
constexpr int32_t requestEvent42 = 4096;

FvViewer *viewerOf(EngineInstance *instance)
{
    return Fv_fromApp(instance);
}

SheetEditState *stateOf(FvViewer *viewer)
{
    return viewer ? viewer->sheetEdit : nullptr;
}

void notify(FvViewer *viewer, int32_t code)
{
    App_notifyHost(viewer, code);
}

EngineInstance *sheetViewInstanceOf(FvViewer *viewer)
{
    return viewer && viewer->context ? viewer->context->instance : nullptr;
}

// Reports an engine error: 1 when something was reported.
int reportError(FvViewer *viewer, int code)
{
    int32_t notice = 0, host = 0;
    Excel_CellEdit_errorReport(code, &notice, &host);
    if (notice)
        notify(viewer, notice);
    else if (host)
        App_reportError(sheetViewInstanceOf(viewer), host, 0);
    return code ? 1 : 0;
}

// The n-th grid record node in document order (read lock held).
SheetGrid *nthGrid(Edr_Node *node, uint32_t *n)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_grid) {
            if ((*n)-- == 0)
                return static_cast<SheetGrid *>(
                    static_cast<Edr_GridNode *>(Edr_Node_payload(c))->record);
        } else if (Edr_Node_type(c) == Edr_NodeType_group) {
            if (SheetGrid *g = nthGrid(c, n))
                return g;
        }
    }
    return nullptr;
}

// The shown document, its page index and that page's grid.
bool currentSheet(FvViewer *viewer, Edr_Doc **doc, int32_t *index, SheetGrid **grid)
{
    *doc = nullptr;
    *index = -1;
    *grid = nullptr;
    if (!viewer || !viewer->page || !viewer->page->pageView ||
        !Edr_Fwd_findSubdocPage(viewer->page->pageView, doc, index) || !*doc || *index < 0)
        return false;
    Edr_Doc_readLock(*doc);
    uint32_t n = uint32_t(*index);
    Edr_Node *root = (*doc)->root;
    *grid = root ? nthGrid(root, &n) : nullptr;
    Edr_Doc_readUnlock(*doc);
    return *grid != nullptr;
}

void setCurrent(SheetCurrentCell &cur, SheetGrid *grid, uint32_t row, uint32_t column)
{
    cur.sheet = grid;
    cur.hasCell = 1;
    cur.row = row;
    cur.column = column;
    uint32_t r = row, c = column;
    const SheetMergedRange *m = Excel_Sheet_findRangeAt(grid, &r, &c);
    cur.range[0] = m ? uint32_t(m->firstColumn) : column;
    cur.range[1] = m ? uint32_t(m->firstRow) : row;
    cur.range[2] = m ? uint32_t(m->lastColumn) : column;
    cur.range[3] = m ? uint32_t(m->lastRow) : row;
}

// A UTF-16 text as a new UTF-8 string ("" for null); null without memory.
char *utf8Of(const char16_t *s)
{
    char *out = nullptr;
    if (!s)
        return Cstr_dup("");
    return Charset_fromUstr(nullptr, s, &out, CharsetCode_utf8) == Res_ok ? out : nullptr;
}

// Gathers the cell (read lock held) into a new record.
int gather(FvViewer *viewer, SheetGrid *grid, uint32_t row, uint32_t column, CellEdit **out)
{
    *out = nullptr;
    uint32_t r = row, c = column;
    Excel_Sheet_findRangeAt(grid, &r, &c);
    CellEdit *e = Excel_CellEdit_new(r, c);
    if (!e)
        return Res_noMemory;
    e->rowHeight = Excel_Sheet_getRowHeight(grid, r);
    e->columnWidth = Excel_Sheet_getColWidth(grid, c);
    const ExcelCell *cell = Excel_Sheet_cellAt(grid, r, c);
    const ExcelWorkbook *wb = grid->workbook;
    int err = Res_ok;
    if (cell && wb && cell->xf < wb->xfCount) {
        const ExcelXf &xf = wb->xfs[cell->xf];
        e->formatIndex = xf.formatIndex;
        if (xf.format && !(e->formatString = utf8Of(xf.format)))
            err = Res_noMemory;
    }
    const EditModeRecord *record = viewer->editMode;
    const uint32_t *palette = record ? record->report.palette : nullptr;
    uint32_t count = record ? uint32_t(record->report.paletteCount) : 0;
    const SheetFormatTable *formats = grid->formatTable;
    if (cell && formats && formats->rules && cell->rule < formats->count &&
        formats->rules[cell->rule])
        for (StylePropItem *p = StyleRule_firstProp(formats->rules[cell->rule]); p; p = p->next)
            Excel_CellEdit_takeProp(e, &p->value, palette, count);
    // The edit text: a formula as its text; a value the cell was given
    // since loading in its edit format; else the text the cell shows. A
    // formula that cannot be written as text shows its value.
    char *formula = nullptr;
    const SheetFormula *f = Excel_Sheet_findFormula(grid, r, c);
    if (err == Res_ok && f && f->tokens && f->length) {
        int rc = Excel_Formula_toText(viewer->context, f->tokens, f->length, &formula);
        if (rc == Res_noMemory)
            err = rc;
        else if (rc != Res_ok)
            e->formulaReadable = 0;
    }
    ExcelCellEdit *pending = nullptr;
    const char16_t *shown = nullptr;
    uint16_t shownXf = 0;
    uint32_t date1904 = wb && wb->date1904 ? 1 : 0;
    if (err == Res_ok && formula)
        err = Excel_CellEdit_valueText(viewer->context, nullptr, formula, nullptr, date1904,
                                       &e->text);
    else if (err == Res_ok &&
             Excel_Sheet_getCellEdit(grid, r, c, &pending, &shown, &shownXf) == Res_ok && pending)
        err = Excel_CellEdit_valueText(viewer->context, pending, nullptr, nullptr, date1904,
                                       &e->text);
    else if (err == Res_ok && cell && cell->kind != Excel_cellNoText &&
             !(e->text = utf8Of(cell->text)))
        err = Res_noMemory;
    Mem_free(formula);
    if (err == Res_ok)
        err = Excel_CellEdit_finish(e);
    if (err != Res_ok) {
        Excel_CellEdit_free(e);
        return err;
    }
    *out = e;
    return Res_ok;
}

// The frame of the current cell on its page's views.
int drawFrame(FvViewer *viewer, Edr_Doc *doc, int32_t index, const Rect &rect)
{
    Edr_PageEntry *entry = nullptr;
    int err = Edr_Page_findByIndex(&entry, doc, uint32_t(index), 0);
    if (err != Res_ok)
        return err == Edr_Page_noSuchPage ? Res_ok : err;
    const EditModeRecord *record = viewer->editMode;
    uint32_t border = record ? record->borderColour : 0xFF0000FF;
    uint32_t fill = record ? record->fillColour : 0;
    int width = record && record->borderWidth ? int(record->borderWidth) : 1;
    for (PageView *v = entry->views; v && err == Res_ok; v = v->next) {
        Select_removeHighlights(v, 1);
        RectList *list = nullptr;
        Path *path = nullptr;
        err = RectList_create(&list);
        if (err == Res_ok)
            err = RectList_add(list, 0, rect.x0, rect.y0, rect.x1, rect.y1);
        if (err == Res_ok)
            err = RectList_toPath(list, &path);
        RectList_destroy(&list);
        if (err == Res_ok && path)
            err = Select_addHighlight(viewer->context, v->pageKey, v, nullptr, path, nullptr, 0,
                                      border, width, fill, 1);
    }
    Edr_Page_release(entry, 0);
    return err;
}

void removeFrames(FvViewer *viewer)
{
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!currentSheet(viewer, &doc, &index, &grid))
        return;
    Edr_PageEntry *entry = nullptr;
    if (Edr_Page_findByIndex(&entry, doc, uint32_t(index), 0) != Res_ok)
        return;
    for (PageView *v = entry->views; v; v = v->next)
        Select_removeHighlights(v, 1);
    Edr_Page_release(entry, 0);
}

// The format string's index in the workbook: an equal one, else the next
// free index from 164. 0, 1 without memory.
int internFormat(ExcelWorkbook *wb, const char *format, uint32_t *index)
{
    *index = CellEdit_userFormat;
    if (!wb)
        return Res_ok;
    char16_t *wide = nullptr;
    int err = Charset_toUstr(nullptr, format, &wide, CharsetCode_utf8);
    if (err != Res_ok)
        return err;
    int32_t found = Excel_Fmt_findFormat(wb, wide);
    if (found >= 0) {
        *index = uint32_t(found);
        Mem_free(wide);
        return Res_ok;
    }
    uint32_t i = CellEdit_userFormat;
    while (i < wb->formatCount && wb->formats[i])
        i++;
    *index = i;
    return Excel_formatSet(wb, i, wide); // takes the text, also on failure
}

void markChanged(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    Edr_Node *root = doc->root;
    Edr_Doc_readUnlock(doc);
    if (root)
        (void)Edr_Node_touch(doc, root);
}

// Applies a returned record to the current cell.
void apply(FvViewer *viewer, CellEdit *e)
{
    SheetEditState *state = stateOf(viewer);
    EditModeRecord *record = viewer->editMode;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!state || !state->current.hasCell || !currentSheet(viewer, &doc, &index, &grid)) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    EngineContext *ctx = viewer->context;
    CellEdit *cur = nullptr;
    Edr_Doc_readLock(doc);
    int err = gather(viewer, grid, state->current.row, state->current.column, &cur);
    Edr_Doc_readUnlock(doc);
    if (err == Res_ok)
        err = Edr_Doc_writeLock(doc);
    if (err != Res_ok) {
        reportError(viewer, err);
        Excel_CellEdit_free(cur);
        return;
    }
    record->modified = 1;
    if (!e->formatString || !*e->formatString) {
        Mem_free(e->formatString);
        e->formatString = Cstr_dup(cur->formatString ? cur->formatString : "General");
        notify(viewer, CellEdit_noticeNoFormat);
        if (!e->formatString)
            err = Res_noMemory;
    }
    uint32_t formatIndex = 0;
    if (err == Res_ok)
        err = internFormat(grid->workbook, e->formatString, &formatIndex);
    bool changed = strcmp(e->text ? e->text : "", cur->text ? cur->text : "") != 0 ||
                   formatIndex != cur->formatIndex;
    if (err == Res_ok && changed)
        err = Excel_CellEdit_setValue(ctx, grid, cur->row, cur->column, e->text ? e->text : "",
                                      formatIndex);
    StyleRule *rule = nullptr;
    int32_t notices[3];
    uint32_t noticeCount = 0;
    if (err == Res_ok)
        err = Excel_CellEdit_makeRule(e, cur, record->report.palette,
                                      uint32_t(record->report.paletteCount), &rule, notices,
                                      &noticeCount);
    for (uint32_t i = 0; i < noticeCount; i++)
        notify(viewer, notices[i]);
    if (err == Res_ok) {
        err = Excel_Sheet_setCellStyle(grid, cur->row, cur->column, rule);
        if (err == Res_ok)
            rule = nullptr;
    }
    StyleRule_destroy(rule);
    uint32_t mode = e->resizeMode;
    // Automatic sizes measure the cells' texts with layout's fonts.
    SheetTextMeasure measure{ctx, doc, nullptr};
    if (err == Res_ok)
        err = Edr_Style_create(doc, &measure.style);
    ExcelMeasurer measurer{Excel_View_measureText, &measure};
    if (err == Res_ok && mode != CellEdit_resizeHeightAuto && mode != CellEdit_resizeNone) {
        if (e->rowHeight != cur->rowHeight)
            err = Excel_Sheet_setRowHeight(grid, cur->row,
                                           Excel_CellEdit_clampRowHeight(e->rowHeight));
        if (err == Res_ok)
            err = Excel_Sheet_setRowMode(ctx, grid, cur->row, 0, &measurer);
    } else if (err == Res_ok) {
        err = Excel_Sheet_setRowMode(ctx, grid, cur->row, 2, &measurer);
    }
    if (err == Res_ok && mode == CellEdit_resizeResetColumn) {
        err = Excel_Sheet_setColumnMode(ctx, grid, cur->column, 0, &measurer);
    } else if (err == Res_ok && mode != CellEdit_resizeWidthAuto && mode != CellEdit_resizeNone) {
        uint32_t least =
            grid->metrics ? 2 * uint32_t(grid->metrics->scale > 0 ? grid->metrics->scale : 0) : 0;
        if (e->columnWidth != cur->columnWidth)
            err = Excel_Sheet_setColumnWidth(ctx, grid, cur->column,
                                             e->columnWidth < least ? least : e->columnWidth);
    } else if (err == Res_ok) {
        err = Excel_Sheet_setColumnMode(ctx, grid, cur->column, 2, &measurer);
    }
    Edr_Style_release(measure.style);
    Edr_Doc_writeUnlock(doc);
    Excel_CellEdit_free(cur);
    // Charts that plot the cell are drawn again from the new value.
    if (err == Res_ok && changed && grid->workbook)
        err = Excel_bindCharts(grid->workbook, doc);
    if (err != Res_ok) {
        reportError(viewer, err);
        return;
    }
    markChanged(doc);
    notify(viewer, App_noticeApplied);
}

// ------------------------------------------------------------ handlers

void onSelect(EngineInstance *instance, const intptr_t *args)
{
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = viewer ? viewer->editMode : nullptr;
    SheetEditState *state = stateOf(viewer);
    if (!record || !state) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    if (record->contentsEditing) {
        notify(viewer, App_noticeContentsOpen);
        return;
    }
    if (args[2] != 0x10005) {
        notify(viewer, App_noticeBadMode);
        return;
    }
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!currentSheet(viewer, &doc, &index, &grid)) {
        notify(viewer, App_noticeNotSelected);
        return;
    }
    if (!Edr_Doc_hasNodeTest(doc)) {
        notify(viewer, App_noticeNotEditable);
        return;
    }
    Point in{int32_t(args[0]), int32_t(args[1])}, page{};
    Fv_orientPoint(viewer, &in.x, &in.y);
    uint32_t row = 0, column = 0;
    int none = Edr_Fwd_pagePoint(viewer->page->pageView, doc, &in, &page) != 0;
    Edr_Doc_readLock(doc);
    none = none || Excel_Sheet_cellAtPoint(grid, &page, &row, &column) != 0;
    if (!none)
        setCurrent(state->current, grid, row, column);
    Edr_Doc_readUnlock(doc);
    if (none) {
        notify(viewer, App_noticeNotSelected);
        return;
    }
    // The cell is current either way; bringing it into view is best effort.
    (void)Excel_View_showCurrentCell(viewer, 1);
    state->current.selected = 1;
    record->editMode = 1;
    notify(viewer, App_noticeSelected);
}

void endEdit(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer) {
        notify(viewer, App_noticeNotCleared);
        return;
    }
    if (viewer->editMode) {
        viewer->editMode->editMode = 0;
        viewer->editMode->contentsEditing = 0;
    }
    if (SheetEditState *state = stateOf(viewer))
        state->current.selected = 0;
    removeFrames(viewer);
    notify(viewer, App_noticeCleared);
}

void onArrow(EngineInstance *instance, intptr_t value)
{
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = viewer ? viewer->editMode : nullptr;
    if (!record || !stateOf(viewer)) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    if (record->contentsEditing) {
        notify(viewer, App_noticeValueWhileContents);
        return;
    }
    switch (value) {
    case 0x10000: Excel_View_moveCell(viewer, -1, 0); break;
    case 0x10001: Excel_View_moveCell(viewer, 1, 0); break;
    case 0x10002: Excel_View_moveCell(viewer, 0, -1); break;
    case 0x10003: Excel_View_moveCell(viewer, 0, 1); break;
    default: notify(viewer, 13); break;
    }
}

void gotoCell(EngineInstance *instance, const char *text, intptr_t select)
{
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = viewer ? viewer->editMode : nullptr;
    SheetEditState *state = stateOf(viewer);
    if (!record || !state) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    if (record->contentsEditing) {
        notify(viewer, App_noticeNamedWhileContents);
        return;
    }
    int32_t row = 0, column = 0;
    if (Excel_CellEdit_parseRef(text, &row, &column) != Res_ok) {
        notify(viewer, CellEdit_noticeGotoBadRef);
        return;
    }
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!currentSheet(viewer, &doc, &index, &grid) || !grid->metrics || row < 0 ||
        uint32_t(row) >= grid->metrics->rowCount ||
        uint32_t(column) >= grid->metrics->columnCount) {
        notify(viewer, CellEdit_noticeGotoOutside);
        return;
    }
    Edr_Doc_readLock(doc);
    setCurrent(state->current, grid, uint32_t(row), uint32_t(column));
    Edr_Doc_readUnlock(doc);
    if (select) {
        state->current.selected = 1;
        record->editMode = 1;
    }
    notify(viewer, Excel_View_showCurrentCell(viewer, 1) == Res_ok ? CellEdit_noticeGotoDone
                                                                   : CellEdit_noticeGotoNotShown);
}

// Inserts or deletes the selected range's rows or columns.
void changeLines(FvViewer *viewer, bool insert, bool columns)
{
    SheetEditState *state = stateOf(viewer);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!state || !state->current.hasCell || !currentSheet(viewer, &doc, &index, &grid)) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    SheetCurrentCell &cur = state->current;
    uint32_t first = columns ? cur.range[0] : cur.range[1];
    uint32_t last = columns ? cur.range[2] : cur.range[3];
    uint32_t n = last >= first ? last - first + 1 : 1;
    int err = Edr_Doc_writeLock(doc);
    if (err != Res_ok) {
        reportError(viewer, err);
        return;
    }
    if (insert && Excel_Sheet_edgeLinesUsed(grid, columns ? 1 : 0, n)) {
        Edr_Doc_writeUnlock(doc);
        notify(viewer, CellEdit_noticeLinesInUse);
        return;
    }
    EngineContext *ctx = viewer->context;
    for (uint32_t i = 0; i < n && err == Res_ok; i++)
        err = insert ? (columns ? Excel_Sheet_insertColumn(ctx, grid, first)
                                : Excel_Sheet_insertRow(ctx, grid, first))
                     : (columns ? Excel_Sheet_deleteColumn(ctx, grid, first)
                                : Excel_Sheet_deleteRow(ctx, grid, first));
    if (err == Res_ok)
        setCurrent(cur, grid, columns ? cur.row : first, columns ? first : cur.column);
    // Hyperlink and note ranges and the charts' series references follow
    // the moved lines; the charts are drawn again below, unlocked, as after
    // a cell edit.
    if (err == Res_ok && grid->workbook)
        err = Excel_sheetStructureChanged(
            grid->workbook, grid, (insert ? 0u : 1u) + (columns ? 2u : 0u), first, n, nullptr);
    // The formulas read their moved references again; what they cannot
    // evaluate keeps its value, and only running out of memory fails.
    if (err == Res_ok &&
        Excel_Formula_recalcCells(ctx, grid, UINT32_MAX, UINT32_MAX, 1) == Res_noMemory)
        err = Res_noMemory;
    Edr_Doc_writeUnlock(doc);
    // The hyperlinks' nodes are made again over their moved ranges.
    if (err == Res_ok)
        err = Excel_placeLinkNodes(doc, grid);
    if (err == Res_ok && grid->workbook)
        err = Excel_bindCharts(grid->workbook, doc);
    if (err != Res_ok) {
        reportError(viewer, err);
        return;
    }
    if (viewer->editMode)
        viewer->editMode->modified = 1;
    markChanged(doc);
    // The cell is current either way; bringing it into view is best effort.
    (void)Excel_View_showCurrentCell(viewer, 1);
    notify(viewer, insert ? CellEdit_noticeInserted : CellEdit_noticeDeleted);
}

void onInsert(EngineInstance *instance, intptr_t value)
{
    FvViewer *viewer = viewerOf(instance);
    if (value == 0x10000 || value == 0x10002)
        changeLines(viewer, true, value == 0x10002);
    else
        notify(viewer, CellEdit_noticeInsertBadCode);
}

void onDelete(EngineInstance *instance, intptr_t value)
{
    FvViewer *viewer = viewerOf(instance);
    if (value == 0x10001 || value == 0x10002)
        changeLines(viewer, false, value == 0x10002);
    else
        notify(viewer, CellEdit_noticeDeleteBadCode);
}

void editCell(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    SheetEditState *state = stateOf(viewer);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!viewer || !viewer->editMode || !state || !state->current.hasCell ||
        !currentSheet(viewer, &doc, &index, &grid)) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    CellEdit *e = nullptr;
    Edr_Doc_readLock(doc);
    int err = gather(viewer, grid, state->current.row, state->current.column, &e);
    Edr_Doc_readUnlock(doc);
    EditData data{};
    if (err == Res_ok)
        err = EditData_fromCell(e, viewer->editMode, &data);
    Excel_CellEdit_free(e);
    if (err != Res_ok) {
        reportError(viewer, err);
        return;
    }
    viewer->editMode->contentsEditing = 1;
    App_sendRequest(instance, App_requestContents, &data);
    EditData_freeStrings(&data);
}

// Checks the text of a returned record as a formula against the current
// sheet; a failure is reported. 1 when one was.
bool checkFormula(FvViewer *viewer, const char *text)
{
    if (!text || !Excel_CellEdit_isFormulaText(text))
        return false;
    SheetEditState *state = stateOf(viewer);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    bool sheet = state && state->current.hasCell && currentSheet(viewer, &doc, &index, &grid);
    if (sheet)
        Edr_Doc_readLock(doc);
    int err = Excel_CellEdit_checkFormula(viewer->context, sheet ? grid : nullptr,
                                          sheet ? state->current.row : 0,
                                          sheet ? state->current.column : 0, text);
    if (sheet)
        Edr_Doc_readUnlock(doc);
    if (err == Res_ok)
        return false;
    reportError(viewer, err);
    return true;
}

void applyEdit(EngineInstance *instance, EditData *data, intptr_t mode)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer || !viewer->editMode) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    CellEdit *e = nullptr;
    int err = EditData_toCellEdit(data, viewer->editMode, &e);
    if (err != Res_ok) {
        reportError(viewer, err == Res_noMemory ? err : int(Res_noMemory));
        return;
    }
    if (mode == 1) {
        int32_t code = Excel_CellEdit_validate(e);
        if (code) {
            notify(viewer, code);
        } else if (!checkFormula(viewer, e->text)) {
            notify(viewer, CellEdit_noticeValid);
        }
    } else {
        viewer->editMode->contentsEditing = 0;
        apply(viewer, e);
    }
    Excel_CellEdit_free(e);
}

// The viewer's document events (kind 1) for the spreadsheet state.
void onEvent(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    FvViewer *viewer = static_cast<FvViewer *>(context);
    SheetEditState *state = stateOf(viewer);
    if (!state || !msg || msg->kind != 1 || !msg->payload)
        return;
    int32_t code = static_cast<const EventProcCodeMsg *>(msg->payload)->code;
    switch (code) {
    case 3:
        Mem_free(state->pages);
        state->pages = nullptr;
        state->pageCount = 0;
        state->current = SheetCurrentCell{};
        break;
    case 14:
        if (state->current.hasCell)
            // The cell is current either way; bringing it into view is best effort.
            (void)Excel_View_showCurrentCell(viewer, 1);
        break;
    case 15: {
        Edr_Doc *doc = viewer->page ? viewer->page->document : nullptr;
        uint32_t count = 0;
        if (!doc || Edr_Doc_getTypeCodeLocked(doc) != TextEdit_typeSheet ||
            Edr_Page_count(doc, &count) != Res_ok)
            break;
        SheetPageRecord *pages =
            count ? static_cast<SheetPageRecord *>(Mem_calloc(count, sizeof(SheetPageRecord)))
                  : nullptr;
        if (count && !pages) {
            App_reportError(sheetViewInstanceOf(viewer), hostOutOfMemory, 0);
            break;
        }
        for (uint32_t i = 0; i < count; i++)
            pages[i].index = i;
        Mem_free(state->pages);
        state->pages = pages;
        state->pageCount = count;
        break;
    }
    case 35: App_sendRequest(sheetViewInstanceOf(viewer), requestEvent35, nullptr); break;
    case 42: App_sendRequest(sheetViewInstanceOf(viewer), requestEvent42, nullptr); break;
    default: break;
    }
}

void detachCleanup(EngineInstance *instance)
{
    Excel_View_detach(viewerOf(instance));
}

} // namespace

// ------------------------------------------------------------ measuring

int Excel_View_measureText(void *arg, const StyleRule *rule, const char16_t *text, int32_t *width,
                           int32_t *height)
{
    SheetTextMeasure *m = static_cast<SheetTextMeasure *>(arg);
    if (!m || !m->style || !width || !height)
        return Res_missingArgument;
    *width = *height = 0;
    LayoutBox box{};
    box.context = m->context;
    box.document = m->document;
    const StyleRule *saved = m->style->overrides;
    if (rule)
        Edr_Style_setOverrides(m->style, rule);
    TextFormat format{};
    int err = Layout_textFormat(&box, m->style, &format);
    Edr_Style_setOverrides(m->style, saved);
    if (err != Res_ok)
        return err;
    int32_t ascent = 0, descent = 0;
    Layout_formatAscent(&format, &ascent, &descent);
    int64_t widest = 0, lines = 0;
    for (const char16_t *p = text; p;) {
        const char16_t *end = p;
        while (*end && *end != u'\n')
            end++;
        Rect r{};
        err = TextRun_measureFit(format.font, format.size, format.decoration, nullptr, p,
                                 uint32_t(end - p), format.letterSpacing, format.wordSpacing,
                                 0x7FFFFFFF, nullptr, &r);
        if (err != Res_ok)
            return err;
        if (end > p)
            widest = std::max<int64_t>(widest, int64_t(r.x1) - r.x0 + 1);
        lines++;
        p = *end ? end + 1 : nullptr;
    }
    *width = int32_t(std::min<int64_t>(widest, 0x3FFFFFFF));
    *height = int32_t(std::min<int64_t>(lines * (int64_t(ascent) + descent), 0x3FFFFFFF));
    return Res_ok;
}

// ------------------------------------------------------------ geometry

int Excel_View_cellRect(const SheetGrid *grid, uint32_t row, uint32_t column, Rect *out)
{
    *out = Rect{};
    const SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !m->rowPositions || !m->columnWidths || row >= m->rowCount ||
        column >= m->columnCount)
        return Res_missingArgument;
    uint32_t r0 = row, c0 = column, r1 = row, c1 = column;
    const SheetMergedRange *range = Excel_Sheet_findRangeAt(grid, &r0, &c0);
    if (range) {
        r1 = range->lastRow < 0 ? r0 : std::min(uint32_t(range->lastRow), m->rowCount - 1);
        c1 = range->lastColumn < 0 ? c0 : std::min(uint32_t(range->lastColumn), m->columnCount - 1);
    }
    int64_t left = 0, right = 0, total = 0;
    for (uint32_t c = 0; c < m->columnCount; c++) {
        if (c < c0)
            left += m->columnWidths[c];
        if (c <= c1)
            right += m->columnWidths[c];
        total += m->columnWidths[c];
    }
    if (grid->rightToLeft) {
        int64_t l = total - right;
        right = total - left;
        left = l;
    }
    out->x0 = int32_t(left);
    out->x1 = int32_t(right);
    out->y0 = r0 == 0 ? 0 : int32_t(m->rowPositions[r0 - 1]);
    out->y1 = int32_t(m->rowPositions[r1]);
    return Res_ok;
}

void Excel_View_stepCell(const SheetGrid *grid, uint32_t *row, uint32_t *column, int32_t dcol,
                         int32_t drow)
{
    const SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m)
        return;
    if (grid->rightToLeft)
        dcol = -dcol;
    uint32_t r0 = *row, c0 = *column;
    const SheetMergedRange *start = Excel_Sheet_findRangeAt(grid, &r0, &c0);
    int64_t r = *row, c = *column;
    for (;;) {
        int64_t nr = r + drow, nc = c + dcol;
        if (nr < 0 || nc < 0 || nr >= m->rowCount || nc >= m->columnCount)
            break;
        r = nr;
        c = nc;
        if (!start || r < start->firstRow || r > start->lastRow || c < start->firstColumn ||
            c > start->lastColumn)
            break;
    }
    *row = uint32_t(r);
    *column = uint32_t(c);
}

void Excel_View_moveCell(FvViewer *viewer, int32_t dcol, int32_t drow)
{
    SheetEditState *state = stateOf(viewer);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!state || !state->current.hasCell || !currentSheet(viewer, &doc, &index, &grid)) {
        notify(viewer, App_noticeNoRecord);
        return;
    }
    Edr_Doc_readLock(doc);
    uint32_t row = state->current.row, column = state->current.column;
    Excel_View_stepCell(grid, &row, &column, dcol, drow);
    setCurrent(state->current, grid, row, column);
    Edr_Doc_readUnlock(doc);
    // The cell is current either way; bringing it into view is best effort.
    (void)Excel_View_showCurrentCell(viewer, 1);
}

int Excel_View_showCurrentCell(FvViewer *viewer, int redraw)
{
    SheetEditState *state = stateOf(viewer);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!state || !state->current.hasCell || !currentSheet(viewer, &doc, &index, &grid))
        return Res_notFound;
    Edr_Doc_readLock(doc);
    int err =
        Excel_View_cellRect(grid, state->current.row, state->current.column, &state->current.rect);
    Edr_Doc_readUnlock(doc);
    if (err == Res_ok && redraw)
        err = drawFrame(viewer, doc, index, state->current.rect);
    if (err == Res_ok)
        Fv_showRect(viewer, viewer->page, &state->current.rect, 0, 0);
    return err;
}

// ------------------------------------------------------------ set-up

int Excel_View_attach(FvViewer *viewer)
{
    if (!viewer)
        return 0;
    if (viewer->sheetEdit)
        return 1; // already attached
    SheetEditState *state = static_cast<SheetEditState *>(Mem_calloc(1, sizeof(SheetEditState)));
    if (!state)
        return 0;
    if (App_addListener(viewer, EventProc_kindCode, onEvent, viewer) != Res_ok) {
        Mem_free(state);
        return 0;
    }
    if (App_pushCleanup(viewer, detachCleanup) != Res_ok) {
        // A listener that is already gone needs no removing; teardown goes on.
        (void)App_removeListener(viewer, EventProc_kindCode, onEvent, viewer);
        Mem_free(state);
        return 0;
    }
    viewer->sheetEdit = state;
    return 1;
}

void Excel_View_detach(FvViewer *viewer)
{
    SheetEditState *state = stateOf(viewer);
    if (!state)
        return;
    // A listener that is already gone needs no removing; teardown goes on.
    (void)App_removeListener(viewer, EventProc_kindCode, onEvent, viewer);
    Mem_free(state->pages);
    Mem_free(state);
    viewer->sheetEdit = nullptr;
}

void Excel_View_installHandlers(FvViewer *, EditModeRecord *record)
{
    if (!record)
        return;
    record->handlers = EditHandlers{};
    record->handlers.editCall = onSelect;
    record->handlers.hook1 = endEdit;
    record->handlers.hook2 = onArrow;
    record->handlers.valueHook = gotoCell;
    record->handlers.value2 = onInsert;
    record->handlers.value3 = onDelete;
    record->handlers.hook3 = editCell;
    record->handlers.contents = applyEdit;
}

void Excel_Edit_init(FvViewer *viewer, EditModeRecord *record)
{
    if (!record)
        return;
    memcpy(record->report.defaults, sheetDefaults, sizeof sheetDefaults);
    Mem_free(record->report.palette);
    record->report.palette = nullptr;
    record->report.paletteCount = 0;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    SheetGrid *grid = nullptr;
    if (!currentSheet(viewer, &doc, &index, &grid) || !grid->workbook)
        return;
    uint32_t *palette =
        static_cast<uint32_t *>(Mem_malloc(CellEdit_paletteSize * sizeof(uint32_t)));
    if (!palette)
        return;
    // Each entry read as a big-endian word: 0xRRGGBBAA.
    for (uint32_t i = 0; i < CellEdit_paletteSize; i++) {
        const uint8_t *b = grid->workbook->palette.entries[i];
        palette[i] = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    }
    record->report.palette = palette;
    record->report.paletteCount = CellEdit_paletteSize;
}

void Excel_Doc_fontList(FvViewer *viewer, EditModeRecord *record)
{
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!record || !viewer || !viewer->page || !viewer->page->pageView ||
        !Edr_Fwd_findSubdocPage(viewer->page->pageView, &doc, &index) || !doc)
        return;
    Edr_Doc_readLock(doc);
    Edr_Node *root = doc->root;
    for (uint32_t n = 0;; n++) {
        uint32_t k = n;
        SheetGrid *grid = root ? nthGrid(root, &k) : nullptr;
        if (!grid)
            break;
        const SheetFormatTable *t = grid->formatTable;
        for (uint16_t i = 0; t && t->rules && i < t->count; i++) {
            StylePropItem *p = t->rules[i] ? StyleRule_findProp(t->rules[i], 37) : nullptr;
            if (!p || Prop_getType(&p->value) != PropType_ustr)
                continue;
            char16_t *name = Prop_dupUstr(&p->value);
            char *utf8 = name ? utf8Of(name) : nullptr;
            if (utf8 && *utf8)
                (void)FontList_add(record, utf8);
            Mem_free(utf8);
            Mem_free(name);
        }
    }
    Edr_Doc_readUnlock(doc);
}
