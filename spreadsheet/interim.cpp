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

// Interim: raw-record lists are made by the workbook loader, which does not
// exist yet, so every list is empty: clearing the ends is all there is.
void RecList_free(RecListEntry **head, RecListEntry **tail)
{
    if (head)
        *head = nullptr;
    if (tail)
        *tail = nullptr;
}

#include "spreadsheet/sheetedit.h"

// Interim: the cell-store edits of cell styles, row modes and columns are
// not built yet: each answers "not implemented".
int Excel_Sheet_setCellStyle(SheetGrid *, uint32_t, uint32_t, StyleRule *)
{
    return Res_notImplemented;
}

int Excel_Sheet_setRowMode(EngineContext *, SheetGrid *, uint32_t, uint32_t)
{
    return Res_notImplemented;
}

int Excel_Sheet_setColumnMode(EngineContext *, SheetGrid *, uint32_t, uint32_t)
{
    return Res_notImplemented;
}
