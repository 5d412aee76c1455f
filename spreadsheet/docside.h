// Spreadsheet-side records of a document that the document model keeps.
//
// Only the services that modules built before the spreadsheet subsystem
// call are declared here so far.
#pragma once

struct Edr_Doc;

// Clear the three small-record words at creation; free the list at
// destruction.
void Edr_Doc_clearSubRecords(Edr_Doc *doc);
void Edr_Doc_freeSubRecords(Edr_Doc *doc);
// Frees a grid-layout record (grid record nodes).
void Excel_gridLayoutFree(void *record);
