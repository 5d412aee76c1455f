// The Excel handler as the document-type registry sees it.
//
// Only the services that modules built before the spreadsheet reader call
// are declared here so far; spreadsheet/interim.cpp holds interim
// definitions.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the Excel handler's descriptor. 0.
int Excel_describe(EngineContext *context, Edr_HandlerDesc *desc);

// A raw-record list entry of the BIFF8 reader (type, length and stream
// position of a record the writer copies). Built by the workbook loader.
struct RecListEntry;

// Frees a raw-record list and clears its head and tail. Null pointers are
// fine.
void RecList_free(RecListEntry **head, RecListEntry **tail);
