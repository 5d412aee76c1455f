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

#include "spreadsheet/sheetedit.h"

// Interim: the cell-store edit of values is not built yet: it answers
// "not implemented".
int Excel_Sheet_setCellText(EngineContext *, SheetGrid *, uint32_t, uint32_t, const char *, uint32_t)
{
    return Res_notImplemented;
}
