// Chart substreams of the BIFF8 writer: the source substream of a chart
// sheet or an embedded chart walked record by record, with the records
// that depend on the cells written anew from the chart model and the
// current cells (each series' counts, its name, its references and the
// cached values the chart shows before it is recalculated). A BIFF5
// substream is brought to BIFF8 on the way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/writer/xlswriter.h"

enum : int {
    XlsChartWrite_errBadLink = 8,  // a BRAI link id above 3 in a series block
    XlsChartWrite_errNoBegin = 17, // a Series record not followed by Begin
};

// The walk over one source substream.
struct XlsChartWriter {
    XlsWriter *writer;
    XlsChart *chart;
    const uint8_t *data; // the source substream (after its BOF, before its EOF)
    size_t size;
    size_t pos;      // the next record
    uint32_t series; // Series records met
    uint8_t cachesWritten;
    uint8_t *scratch;       // a record body being converted (BIFF5)
    Excel_RefTables tables; // the external sheets of converted BIFF5 references
};

// XlsWriter_writeChart and XlsWriter_writeChartCaches are declared in
// xlswriter.h. Besides their results there: 8 for a BRAI link id above 3
// in a series block, 17 for a Series record not followed by Begin, 8
// without a source stream, and the record conversion's errors.

// XlsWriter_writeChart over a substream already in memory (data[0..size),
// after its BOF and before its EOF).
[[nodiscard]] int XlsWriter_writeChartBytes(XlsWriter *writer, XlsChart *chart, const uint8_t *data,
                                            size_t size);
