// Spreadsheet-side records of a document that the document model keeps.
#pragma once

#include "document/edr/docmarks.h"

struct Edr_Doc;
struct EditModeRecord;
struct FvViewer;
struct SheetGrid;

// Edit mode of spreadsheets (type code 228), built in
// viewer/sheetview.cpp. Attaching gives the viewer its spreadsheet
// edit state (1, also when it has one already; 0 on failure); the other
// three fill the edit-mode record for a shown spreadsheet: the cell rules'
// font names, the handlers of the cell editor, the defaults and the
// workbook palette (56 entries as 0xRRGGBBAA).
int Excel_View_attach(FvViewer *viewer);
void Excel_Doc_fontList(FvViewer *viewer, EditModeRecord *record);
void Excel_View_installHandlers(FvViewer *viewer, EditModeRecord *record);
void Excel_Edit_init(FvViewer *viewer, EditModeRecord *record);
