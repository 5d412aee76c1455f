// The writer's steps shared between its files.
#pragma once

#include <cstdint>

struct XlsWriter;
struct XlsSheetEntry;

// The globals: merged with the kept source records, or written from the
// model alone.
[[nodiscard]] int XlsWriter_mergeGlobals(XlsWriter *w);
[[nodiscard]] int XlsWriter_writeFreshGlobals(XlsWriter *w);
// SST and EXTSST of the workbook's shared strings.
[[nodiscard]] int XlsWriter_writeSst(XlsWriter *w);
// A worksheet's substream from its BOF to its EOF.
[[nodiscard]] int XlsWriter_writeSheet(XlsWriter *w, XlsSheetEntry *entry);
// INDEX (reserved, then completed), ROW, cell and DBCELL records.
[[nodiscard]] int XlsWriter_reserveIndex(XlsWriter *w, XlsSheetEntry *entry);
[[nodiscard]] int XlsWriter_writeRows(XlsWriter *w, XlsSheetEntry *entry);
// Converts a height in layout units (16.16 inches) to twips.
uint32_t XlsWriter_twips(uint32_t units);
