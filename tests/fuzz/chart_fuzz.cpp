// Fuzz target for the chart substream reader: the input is a chart
// substream (the records after its BOF), read into a chart record with
// BIFF8 or BIFF5 rules (the first byte chooses), then scaled and its
// values read the way the drawing reads them. The read must end with a
// code and nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "platform/api/engine.h"
#include "spreadsheet/chart/chart.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    uint32_t version = (data[0] & 1) ? 0x0500 : 0x0600;
    (void)FuzzHeap_get(64 << 20);
    size_t baseline = TestHeap_usedBytes();
    XlsChart *chart = Excel_chartCreate();
    require(chart != nullptr);
    int rc = Excel_readChartBytes(data + 1, size - 1, 0, version, nullptr, chart);
    require(rc == 0 || rc == 1 || rc == XlsChart_errMalformed || rc == XlsChart_errBeforeStart ||
            rc == XlsChart_errExternSheets);
    if (rc == 0) {
        XlsChartScale scale;
        Excel_chartScale(chart, nullptr, 4 << 16, 1 << 16, &scale);
        for (uint32_t s = 0; s < chart->seriesCount; s++)
            for (uint32_t p = 0; p < Excel_chartSeriesValueCount(chart->series[s]) && p < 64; p++)
                (void)Excel_chartValue(chart, nullptr, s, 1, p);
    }
    Excel_chartRelease(chart);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
