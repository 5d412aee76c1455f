// Interim definitions of spreadsheet services whose modules are not built
// yet.
#include "document/interim.h"
#include "document/types/doctype.h"
#include "spreadsheet/reader/excel.h"
#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "spreadsheet/docside.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/sheetgrid.h"

// Interim: the importer that lists grids in a workbook is not built yet,
// so a grid only forgets its link.
void Excel_gridDetachWorkbook(SheetGrid *grid)
{
    if (grid)
        grid->workbook = nullptr;
}

// Interim: the Excel reader is not built yet, so its handler recognises nothing.
int Excel_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}

// Interim: no spreadsheet importer queues updates yet, so there is never
// anything pending.
int Excel_Doc_takeUpdates(Edr_Doc *, void **updates)
{
    *updates = nullptr;
    return 0;
}

void Excel_Doc_dropUpdates(Edr_Doc *, void *)
{
}

void Excel_Doc_returnUpdates(Edr_Doc *, void *)
{
}

#include "core/context/context.h"
#include "core/result.h"
#include "graphics/transfer.h"
#include "spreadsheet/imageutil.h"

// Interim: raw-record lists are made by the workbook loader, which does not
// exist yet, so every list is empty: clearing the ends is all there is.
void RecList_free(RecListEntry **head, RecListEntry **tail)
{
    if (head)
        *head = nullptr;
    if (tail)
        *tail = nullptr;
}

// Interim: the cell store is not built yet, so no sheet holds a cell or a
// pending edit.
int Excel_Sheet_getCellEdit(ExcelSheet *sheet, uint32_t, uint32_t, ExcelCellEdit **edit,
                            const char16_t **text, uint16_t *xf)
{
    if (!sheet || !edit || !text || !xf)
        return 16;
    *edit = nullptr;
    *text = nullptr;
    *xf = 15;
    return 0;
}

// Interim: spreadsheets have no cell editor yet: attaching succeeds with
// nothing to attach, and a shown spreadsheet gets no fonts, handlers or
// palette (its edit calls answer that no handler is installed).
int Excel_View_attach(FvViewer *)
{
    return 1;
}

void Excel_Doc_fontList(FvViewer *, EditModeRecord *)
{
}

void Excel_View_installHandlers(FvViewer *, EditModeRecord *)
{
}

void Excel_Edit_init(FvViewer *, EditModeRecord *)
{
}
