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
