// Default chart and drawing writers: the source records are copied as they
// stand. A chart substream keeps its cached values and series counts as
// they were read, and a drawing keeps its shapes, objects and notes as the
// source held them. The rewriting writers, when they are linked in,
// replace these definitions (they are weak for that reason).
#include "core/result.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

// The source records that belong to a sheet's drawing: its continuations,
// the objects and texts of its shapes, and the notes of its comments.
bool drawingFollower(uint16_t type)
{
    return type == Xls_recMsoDrawing || type == Xls_recContinue || type == Xls_recObj || type == Xls_recTxo ||
           type == Xls_recNote;
}

// Copies the source records from the header at position while they belong
// to the drawing, stopping at stop (the next kept drawing record) or at
// the first record of another kind. An embedded chart's substream (BOF
// ... EOF, nested pairs counted) is copied whole.
int copyDrawingRun(XlsWriter *w, uint32_t position, uint32_t stop)
{
    uint32_t at = position;
    int first = 1;
    for (;;) {
        if (!first && at == stop)
            return Res_ok;
        uint16_t type = 0, length = 0;
        if (XlsWriter_readSourceHeader(w, at, &type, &length) != Res_ok)
            return Res_ok; // the end of the stream
        if (!first && type == Xls_recBof) {
            uint32_t end = at, depth = 0;
            for (;;) {
                uint16_t t = 0, n = 0;
                if (XlsWriter_readSourceHeader(w, end, &t, &n) != Res_ok)
                    return Res_ok; // an unterminated substream is left out
                end += 4u + n;
                if (t == Xls_recBof)
                    depth++;
                else if (t == Xls_recEof && --depth == 0)
                    break;
            }
            int rc = XlsWriter_copyBytes(w, at, end - at);
            if (rc != Res_ok)
                return rc;
            at = end;
            continue;
        }
        if (!first && !drawingFollower(type))
            return Res_ok;
        first = 0;
        int rc = XlsWriter_copyBytes(w, at, 4u + length);
        if (rc != Res_ok)
            return rc;
        at += 4u + length;
    }
}

} // namespace

[[gnu::weak]] int XlsWriter_writeChart(XlsWriter *w, XlsChart *chart)
{
    if (!w || !chart)
        return Res_missingArgument;
    return XlsWriter_copyBytes(w, chart->start, chart->length);
}

[[gnu::weak]] int XlsWriter_writeChartCaches(XlsWriter *w, XlsChart *chart)
{
    return w && chart ? Res_ok : int(Res_missingArgument);
}

[[gnu::weak]] int XlsWriter_writeSeriesBlock(XlsWriter *w, XlsChart *chart, XlsChartSeries *series,
                                            uint32_t *position)
{
    return w && chart && series && position ? Res_ok : int(Res_missingArgument);
}

[[gnu::weak]] int XlsWriter_writeDrawing(XlsWriter *w, XlsSheetEntry *entry)
{
    if (!w || !entry)
        return Res_missingArgument;
    for (const RecListEntry *e = entry->records[1][0]; e; e = RecList_next(e)) {
        const RecListEntry *next = RecList_next(e);
        uint32_t stop = next ? RecList_position(next) - 4 : 0;
        int rc = copyDrawingRun(w, RecList_position(e) - 4, stop);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

[[gnu::weak]] int XlsDrawWriter_writeGroup(XlsDrawWriter *d)
{
    return d ? Res_ok : int(Res_missingArgument);
}

[[gnu::weak]] int XlsDrawWriter_writeShape(XlsDrawWriter *d)
{
    return d ? Res_ok : int(Res_missingArgument);
}
