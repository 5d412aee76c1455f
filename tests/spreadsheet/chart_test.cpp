// The chart reader, scale, drawing and binding: chart substreams written by
// Spreadsheet::WriteExcel and LibreOffice read into the model that their
// generator wrote, hand-made substreams for the malformed cases and
// hostile counts, the automatic scale and stacking against hand-computed
// figures, pie slice angles, and whole workbooks loaded into a document
// whose charts follow their cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/text/ustr.h"
#include "spreadsheet/edit/celledit.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "spreadsheet/reader/sheetpage.h"
#include "core/container/obj.h"
#include "layout/layout.h"
#include "document/style/value.h"
#include "graphics/path.h"
#include "office/ole2/oleprobe.h"
#include "document/edr/attach.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/document/edr_fixture.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/heap_fixture.h"

int Excel_chartPieAngles(const XlsChart *chart, ExcelValueCells *context, double *angles,
                         uint32_t capacity, uint32_t *count);

using namespace biff;

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string utf8(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += *s < 0x80 ? char(*s) : '?';
    return out;
}

// ------------------------------------------------------------ substreams

std::string i32(int32_t v)
{
    return u32(uint32_t(v));
}
std::string begin()
{
    return rec(0x1033, "");
}
std::string end()
{
    return rec(0x1034, "");
}

// A chart record with its body (records between Begin and End).
std::string chartRec(const std::string &body)
{
    return rec(0x1002, i32(0) + i32(0) + i32(360 << 16) + i32(216 << 16)) + begin() + body + end();
}

// A series of nCat categories (sdtX: 3 texts, 1 numbers) and nVal values.
std::string series(uint16_t nCat, uint16_t nVal, const std::string &body = "", uint16_t sdtX = 1)
{
    return rec(0x1003, u16(sdtX) + u16(1) + u16(nCat) + u16(nVal) + u16(1) + u16(0)) + begin() +
           body + end();
}

std::string axisParent(const std::string &body, uint16_t index = 0)
{
    return rec(0x1041, u16(index) + i32(400) + i32(400) + i32(3200) + i32(3200)) + begin() + body +
           end();
}

std::string chartGroup(const std::string &body)
{
    return rec(0x1014, std::string(20, '\0')) + begin() + body + end();
}

std::string valueRange(double mn, double mx, double major, uint16_t flags)
{
    return rec(0x101F, f64(mn) + f64(mx) + f64(major) + f64(0) + f64(0) + u16(flags));
}

std::string axis(uint16_t type, const std::string &body)
{
    return rec(0x101D, u16(type) + std::string(16, '\0')) + begin() + body + end();
}

std::string cache(uint16_t index, const std::vector<double> &values, uint16_t column = 0)
{
    std::string out = rec(0x1065, u16(index));
    for (size_t i = 0; i < values.size(); i++)
        out += number(uint16_t(i), column, values[i], 0);
    return out;
}

std::string bar(uint16_t gap = 150, uint16_t flags = 0)
{
    return rec(0x1017, u16(0) + u16(gap) + u16(flags));
}

std::string pie(uint16_t hole = 0)
{
    return rec(0x1019, u16(0) + u16(hole) + u16(0));
}

// A substream: the records after the BOF, ended by EOF.
std::string substream(const std::string &records)
{
    return records + eof();
}

class ChartRead : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    XlsChart *chart = nullptr;

    int read(const std::string &data, uint32_t version = 0x0600)
    {
        Excel_chartRelease(chart);
        chart = Excel_chartCreate();
        return Excel_readChartBytes(reinterpret_cast<const uint8_t *>(data.data()), data.size(),
                                    100, version, nullptr, chart);
    }

    double value(uint32_t s, uint32_t p)
    {
        return Excel_chartValue(chart, nullptr, s, 1, p);
    }

    void TearDown() override
    {
        Excel_chartRelease(chart);
        LeakCheckedContextTest::TearDown();
    }
};

// A bar chart of one series with cached values.
std::string barChart(const std::vector<double> &values, const std::string &axes = "",
                     uint16_t flags = 0, size_t seriesCount = 1)
{
    std::string s;
    for (size_t i = 0; i < seriesCount; i++)
        s += series(uint16_t(values.size()), uint16_t(values.size()));
    std::string out = chartRec(s + axisParent(axes + chartGroup(bar(150, flags))));
    for (size_t i = 0; i < seriesCount; i++)
        out += cache(1, values, uint16_t(i));
    return substream(out);
}

// ------------------------------------------------------------- the model

TEST_F(ChartRead, WriteExcelColumnChartAsItsGeneratorWroteIt)
{
    ASSERT_EQ(read(readFixture("chart_writeexcel_0.chart")), 0);
    EXPECT_EQ(chart->type, uint32_t(XlsChart_typeBar));
    EXPECT_EQ(chart->option2, 150); // the gap WriteExcel writes
    ASSERT_EQ(chart->seriesCount, 1);
    const XlsChartSeries *s = chart->series[0];
    EXPECT_EQ(utf8(s->name), "Sales");
    EXPECT_EQ(s->declared[0], 3);
    EXPECT_EQ(s->declared[1], 3);
    // Values and categories come from Data!$B$2:$B$4 and $A$2:$A$4.
    for (int link : {1, 2}) {
        EXPECT_EQ(s->refs[link].type, 2);
        ASSERT_EQ(s->refs[link].length, 11);
        EXPECT_EQ(s->refs[link].tokens[0], 0x3B);
        EXPECT_EQ(s->refs[link].tokens[3], 1); // first row
        EXPECT_EQ(s->refs[link].tokens[5], 3); // last row
        EXPECT_EQ(s->refs[link].tokens[7], link == 1 ? 1 : 0);
    }
    EXPECT_EQ(Excel_chartSeriesValueCount(s), 0u); // no cached values
    ASSERT_NE(chart->title, nullptr);
    EXPECT_EQ(utf8(chart->title->text), "Column");
    ASSERT_NE(chart->axes[0], nullptr);
    ASSERT_NE(chart->axes[1], nullptr);
    ASSERT_NE(chart->axes[1]->range, nullptr);
    EXPECT_TRUE(chart->axes[1]->hasLine[1]); // major gridlines
    EXPECT_NE(chart->legend, nullptr);
    EXPECT_TRUE(chart->hasPlot);
    EXPECT_EQ(chart->rect[2], int32_t((int64_t(0x01847FE8) / 72)));
    EXPECT_GT(chart->length, 0u);
}

TEST_F(ChartRead, PieSheetAndDoughnut)
{
    ASSERT_EQ(read(readFixture("chart_writeexcel_1.chart")), 0);
    EXPECT_EQ(chart->type, uint32_t(XlsChart_typePie));
    EXPECT_EQ(chart->plotFrame.line.pattern, 5); // a pie's plot area has no frame
    ASSERT_EQ(read(readFixture("chart_doughnut_0.chart")), 0);
    EXPECT_EQ(chart->type, uint32_t(XlsChart_typeDoughnut));
    EXPECT_EQ(chart->option2, 50);
    ASSERT_EQ(chart->seriesCount, 1);
    EXPECT_EQ(Excel_chartSeriesValueCount(chart->series[0]), 3u);
    EXPECT_EQ(value(0, 0), 1.0);
    EXPECT_EQ(value(0, 2), 3.0);
}

TEST_F(ChartRead, LibreOfficeLineAndBarCharts)
{
    ASSERT_EQ(read(readFixture("chart_lo_0.chart")), 0);
    EXPECT_EQ(chart->type, uint32_t(XlsChart_typeLine));
    ASSERT_NE(chart->title, nullptr);
    EXPECT_EQ(utf8(chart->title->text), "Trend");
    ASSERT_EQ(chart->seriesCount, 1);
    // The series name is a single cell: Data!B1.
    EXPECT_EQ(chart->series[0]->refs[0].tokens[0], 0x3A);
    ASSERT_EQ(read(readFixture("chart_lo_1.chart")), 0);
    EXPECT_EQ(chart->type, uint32_t(XlsChart_typeBar));
    ASSERT_NE(chart->title, nullptr);
    EXPECT_EQ(utf8(chart->title->text), "Signed");
}

TEST_F(ChartRead, MalformedSubstreams)
{
    struct Case {
        const char *what;
        std::string data;
        uint32_t version;
        int expect;
    };
    const std::string lf = rec(0x1007, std::string(12, '\0'));
    std::string huge;
    for (int i = 0; i < 5000; i++)
        huge += begin();
    const Case cases[] = {
        {"axis parent index 2", substream(chartRec(axisParent("", 2))), 0x0600, 12544},
        {"axes used 3", substream(chartRec(rec(0x1046, u16(3)))), 0x0600, 12544},
        {"axis of type 3", substream(chartRec(axisParent(axis(3, "")))), 0x0600, 12544},
        {"axis line 4", substream(chartRec(axisParent(axis(1, rec(0x1021, u16(4)) + lf)))), 0x0600,
         12544},
        {"axis line without format", substream(chartRec(axisParent(axis(1, rec(0x1021, u16(1)))))),
         0x0600, 12544},
        {"chart without its block", substream(rec(0x1002, std::string(16, '\0'))), 0x0600, 12544},
        {"frame without its block", substream(chartRec(rec(0x1032, u16(0) + u16(0)))), 0x0600,
         12544},
        {"plot area without frame", substream(chartRec(axisParent(rec(0x1035, "")))), 0x0600,
         12544},
        {"number into text categories", substream(chartRec(series(2, 2, "", 3)) + cache(2, {1.0})),
         0x0600, 12544},
        {"no EOF", chartRec(""), 0x0600, 12544},
        {"a record cut short", substream(chartRec("")).substr(0, 10), 0x0600, 12544},
        {"nested too deep", substream(chartRec(huge)), 0x0600, 12544},
        {"extern count twice", substream(rec(0x0016, u16(1)) + rec(0x0016, u16(1))), 0x0500, 17},
        {"extern sheet without count", substream(rec(0x0017, std::string{1, 3})), 0x0500, 17},
        {"extern sheet longer than its record",
         substream(rec(0x0016, u16(1)) + rec(0x0017, std::string{9, 3, 'a'})), 0x0500, 17},
        {"EOF with extern sheets pending",
         substream(rec(0x0016, u16(2)) + rec(0x0017, std::string{2, 3, 'a'})), 0x0500, 17},
    };
    for (const Case &c : cases)
        EXPECT_EQ(read(c.data, c.version), c.expect) << c.what;
}

TEST_F(ChartRead, SkippedAndDroppedRecords)
{
    // An unknown block holding a series is skipped whole; an area chart
    // group leaves the type at 0; a second GelFrame is skipped; a data
    // label text (link 4) and a text without link are dropped.
    std::string gel1 =
        rec(0x1066, std::string(8, '\0') + u16(0x0180) + u32(7) + u16(0x0181) + u32(0x0000FF));
    std::string gel2 = rec(0x1066, std::string(8, '\0') + u16(0x0180) + u32(5));
    std::string text4 = rec(0x1025, std::string(32, '\0')) + begin() +
                        rec(0x1027, u16(4) + u16(0) + u16(0)) + end();
    std::string plain = rec(0x1025, std::string(32, '\0'));
    std::string data = substream(chartRec(
        rec(0x1234, "") + begin() + series(1, 1) + end() + rec(0x1032, u16(0) + u16(0)) + begin() +
        gel1 + gel2 + end() + text4 + plain + axisParent(chartGroup(rec(0x101A, u16(0))))));
    ASSERT_EQ(read(data), 0);
    EXPECT_EQ(chart->seriesCount, 0);
    EXPECT_EQ(chart->type, 0u);
    EXPECT_EQ(chart->chartFrame.gel.fillType, 7u);
    EXPECT_EQ(chart->chartFrame.gel.fillColour, 0xFFu);
    EXPECT_EQ(chart->title, nullptr);
}

TEST_F(ChartRead, TitlesByTheirLinks)
{
    auto text = [](uint16_t link, const char *s) {
        return rec(0x1025, std::string(32, '\0')) + begin() +
               rec(0x1027, u16(link) + u16(0) + u16(0)) +
               rec(0x100D, u16(0) + std::string(1, char(strlen(s))) + std::string(1, '\0') + s) +
               end();
    };
    std::string data =
        substream(chartRec(text(1, "Main") + text(1, "Second") +
                           axisParent(text(2, "Values") + text(3, "Cats") + text(3, "Depth"))));
    ASSERT_EQ(read(data), 0);
    EXPECT_EQ(utf8(chart->title->text), "Main");
    EXPECT_EQ(utf8(chart->axes[1]->title->text), "Values");
    EXPECT_EQ(utf8(chart->axes[0]->title->text), "Cats");
    EXPECT_EQ(utf8(chart->axes[2]->title->text), "Depth");
}

TEST_F(ChartRead, HostileCountsStayBounded)
{
    // A series declaring 65535 points and 200 series each with one cached
    // point at the far end: the caches may not grow past what the
    // substream's size allows.
    std::string s, c = rec(0x1065, u16(1));
    for (int i = 0; i < 200; i++) {
        s += series(0xFFFF, 0xFFFF);
        c += number(0xFFFE, uint16_t(i), 1.0, 0);
    }
    ASSERT_EQ(read(substream(chartRec(s) + c)), 0);
    size_t total = 0;
    for (uint32_t i = 0; i < chart->seriesCount; i++)
        total += Excel_chartSeriesValueCount(chart->series[i]);
    EXPECT_LE(total, 4096u * 2);
    // An EXTERNCOUNT of 65535 allocates for what can follow.
    ASSERT_EQ(read(substream(rec(0x0016, u16(0xFFFF))), 0x0500), 17);
}

TEST_F(ChartRead, Biff5ExternSheetsAndCaches)
{
    std::string ext = rec(0x0016, u16(2)) + rec(0x0017, std::string{5, 3} + "Data") +
                      rec(0x0017, std::string{1, 2});
    // BIFF5 caches count the points of every series on.
    std::string data =
        substream(ext + chartRec(series(2, 2) + series(2, 2) + axisParent(chartGroup(bar()))) +
                  rec(0x1065, u16(1)) + number(0, 0, 5.0, 0) + number(1, 0, 6.0, 0) +
                  number(2, 1, 7.0, 0) + number(3, 1, 8.0, 0));
    ASSERT_EQ(read(data, 0x0500), 0);
    ASSERT_EQ(chart->externCount, 2);
    EXPECT_EQ(chart->externs[0].kind, 1u);
    EXPECT_EQ(utf8(chart->externs[0].name), "Data");
    EXPECT_EQ(chart->externs[1].kind, 2u);
    EXPECT_EQ(value(0, 1), 6.0);
    EXPECT_EQ(value(1, 0), 7.0);
    EXPECT_EQ(value(1, 1), 8.0);
}

// --------------------------------------------------------------- scaling

TEST_F(ChartRead, AutomaticAndFixedScales)
{
    struct Case {
        const char *what;
        std::vector<double> values;
        std::string axes;
        int32_t n, z;
        double step, minimum, maximum;
    };
    const Case cases[] = {
        // 0..12: decade base 1, target 12.6, step 1 -> 2, 7 intervals.
        {"3, 7, 12", {3, 7, 12}, "", 7, 0, 2, 0, 14},
        {"fixed major unit of 25",
         {10, 90},
         axis(1, valueRange(0, 100, 25, 0x08)),
         4,
         0,
         25,
         0,
         100},
        // -4..6: range 10, decade 1, target 10.5; the step grows 0.1,
        // 0.5, 2.5 and n is 5; two intervals lie below zero.
        {"negative values", {-4, 6, -2}, "", 5, 2, 2.5, -5, 7.5},
        // From 2: the search over 2..12 gives 5 steps of 2.5.
        {"fixed minimum", {3, 7, 12}, axis(1, valueRange(2, 0, 0, 0x1E)), 5, 0, 2.5, 2, 14.5},
        {"fixed maximum", {3, 7, 12}, axis(1, valueRange(0, 20, 0, 0x1D)), 5, 0, 5, 0, 25},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(read(barChart(c.values, c.axes)), 0) << c.what;
        XlsChartScale s;
        Excel_chartScale(chart, nullptr, 700, 40, &s);
        EXPECT_EQ(s.n, c.n) << c.what;
        EXPECT_EQ(s.z, c.z) << c.what;
        EXPECT_DOUBLE_EQ(s.step, c.step) << c.what;
        EXPECT_DOUBLE_EQ(s.minimum, c.minimum) << c.what;
        EXPECT_DOUBLE_EQ(s.maximum, c.maximum) << c.what;
        EXPECT_EQ(s.interval, c.n ? 700 / c.n : 0) << c.what;
        EXPECT_EQ(s.leftTwentieth, 2) << c.what;
    }
    EXPECT_DOUBLE_EQ(Excel_chartDecade(12, 1), 10);
    EXPECT_DOUBLE_EQ(Excel_chartDecade(10, 1), 1);
    EXPECT_DOUBLE_EQ(Excel_chartDecade(120, 1), 100);
    int32_t n = 0;
    EXPECT_DOUBLE_EQ(Excel_chartNiceStep(0, 12, 1, 4, 10, &n, 1), 2);
    EXPECT_EQ(n, 7);
}

TEST_F(ChartRead, LogarithmicAxisClampsSmallLogarithms)
{
    ASSERT_EQ(read(barChart({0.5, 10, 1000}, axis(1, valueRange(0, 0, 0, 0x3F)))), 0);
    XlsChartScale s;
    Excel_chartScale(chart, nullptr, 600, 0, &s);
    // log10(0.5) < 0 counts as 0; the data runs 0..3.
    EXPECT_EQ(s.z, 0);
    EXPECT_DOUBLE_EQ(s.minimum, 0);
    EXPECT_GE(s.maximum, 3);
}

TEST_F(ChartRead, StackingAndHundredPercent)
{
    // Two series of the same values: stacked, the second adds the first.
    ASSERT_EQ(read(barChart({1, 2, 0}, "", 0x02, 2)), 0);
    EXPECT_EQ(Excel_chartIsStacked(chart), 1);
    EXPECT_EQ(value(1, 1), 4.0);
    EXPECT_EQ(value(0, 1), 2.0);
    // 100 %: 2 of a total 4 is 50; a point whose total is 0 keeps the raw
    // sum.
    ASSERT_EQ(read(barChart({1, 2, 0}, "", 0x06, 2)), 0);
    EXPECT_DOUBLE_EQ(value(0, 1), 50.0);
    EXPECT_DOUBLE_EQ(value(1, 1), 100.0);
    EXPECT_DOUBLE_EQ(value(1, 2), 0.0);
    EXPECT_EQ(Excel_chartValue(chart, nullptr, 0, 0, 1), 0.0); // which 0
}

TEST_F(ChartRead, PieSliceAngles)
{
    ASSERT_EQ(read(substream(chartRec(series(3, 3) + axisParent(chartGroup(pie()))) +
                             cache(1, {3, 7, 12}))),
              0);
    double a[3];
    uint32_t n = 0;
    ASSERT_EQ(Excel_chartPieAngles(chart, nullptr, a, 3, &n), 0);
    ASSERT_EQ(n, 3u);
    EXPECT_NEAR(a[0], 3.0 / 22 * 360, 1e-9);  // 49.09
    EXPECT_NEAR(a[1], 7.0 / 22 * 360, 1e-9);  // 114.55
    EXPECT_NEAR(a[2], 12.0 / 22 * 360, 1e-9); // 196.36
    // Negative values count by their size.
    ASSERT_EQ(
        read(substream(chartRec(series(2, 2) + axisParent(chartGroup(pie()))) + cache(1, {-1, 3}))),
        0);
    ASSERT_EQ(Excel_chartPieAngles(chart, nullptr, a, 3, &n), 0);
    EXPECT_NEAR(a[0], 90, 1e-9);
}

TEST_F(ChartRead, ValueCellListsSortAndReplace)
{
    ExcelValueCells *list = ExcelValueCells_create();
    ASSERT_NE(list, nullptr);
    const uint32_t keys[][2] = {{3, 1}, {1, 2}, {1, 1}, {3, 1}};
    for (int i = 0; i < 4; i++) {
        ExcelValueCell c{Edr_Value_new(nullptr, keys[i], Edr_valueInt), Ustr_fromCstr("Data")};
        ASSERT_EQ(Edr_Value_setInt(c.value, i), 0);
        ASSERT_EQ(ExcelValueCells_add(&c, list), 0);
    }
    ASSERT_EQ(list->count, 3u);
    std::string order;
    for (ExcelValueCell *c = ExcelValueCells_first(list); c; c = ExcelValueCells_next(list))
        order += std::to_string(c->value->key[0]) + "," + std::to_string(c->value->key[1]) + "=" +
                 std::to_string(Edr_Value_getInt(c->value)) + ";";
    EXPECT_EQ(order, "1,1=2;1,2=1;3,1=3;"); // the second (3, 1) replaced the first
    const uint32_t missing[2] = {2, 0};
    EXPECT_EQ(ExcelValueCells_find(list, missing, nullptr), nullptr);
    EXPECT_EQ(ExcelValueCells_index(keys[0], list), 2u);
    Edr_Value *src = Edr_Value_new(nullptr, nullptr, Edr_valueNumber);
    ASSERT_EQ(Edr_Value_setNumber(src, 2.5), 0);
    ASSERT_EQ(ExcelValueCells_setAt(src, 0, list), 0);
    EXPECT_EQ(list->cells[0].value->type, uint32_t(Edr_valueNumber));
    EXPECT_EQ(ExcelValueCells_setAt(src, 9, list), 8);
    Edr_Value_free(src);
    ExcelValueCells_free(list);
}

// ------------------------------------------------------------ documents

class ChartDoc : public EdrFixture {
  protected:
    // Loads a fixture into a new document and runs fn with it.
    void withBook(const char *name, std::function<void(Edr_Doc *, Edr_Node *)> fn)
    {
        std::string file = readFixture(name);
        ASSERT_FALSE(file.empty());
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
            memcpy(copy, file.data(), file.size());
            VfsHandle *vfs = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &vfs, &accepted),
                      0);
            OleHandle *ole = nullptr;
            ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
            ASSERT_EQ(Excel_loadWorkbook(ctx(), ole, doc, root), 0);
            Ole_close(&ole);
            Vfs_close(vfs);
            fn(doc, root);
        });
    }

    static ExcelBookRef *refOf(Edr_Doc *doc, Edr_Node *node)
    {
        void *data = nullptr;
        (void)Edr_Node_getPrivate(doc, node, &data);
        return static_cast<ExcelBookRef *>(data);
    }

    // The node types of a chart group's children: "p" paths, "t" texts,
    // "d" data nodes.
    static std::string shape(Edr_Node *group)
    {
        std::string out;
        for (Edr_Node *n = Edr_Node_firstChild(group); n; n = Edr_Node_nextSibling(n))
            if (Edr_Node_type(n) == Edr_NodeType_path)
                out += "p";
            else if (Edr_Node_type(n) == Edr_NodeType_text)
                out += "t";
        return out;
    }
};

TEST_F(ChartDoc, PieChartSheetIsBoundToItsCellsAndFollowsThem)
{
    withBook("chart_writeexcel.xls", [&](Edr_Doc *doc, Edr_Node *) {
        Edr_Node **nodes = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Excel_collectChartNodes(doc, nullptr, &nodes, &count), 0);
        // The embedded column chart on the data sheet and the chart sheet.
        ASSERT_EQ(count, 2u);
        ExcelBookRef *first = refOf(doc, nodes[0]);
        ASSERT_NE(first, nullptr);
        if (first->chart->type != uint32_t(XlsChart_typePie))
            std::swap(nodes[0], nodes[1]);
        ExcelBookRef *embedded = nullptr;
        embedded = refOf(doc, nodes[1]);
        ASSERT_NE(embedded, nullptr);
        EXPECT_NE(embedded->chart->type, uint32_t(XlsChart_typePie));
        ExcelBookRef *ref = refOf(doc, nodes[0]);
        ASSERT_NE(ref, nullptr);
        XlsChart *chart = ref->chart;
        ASSERT_EQ(chart->type, uint32_t(XlsChart_typePie));
        ASSERT_EQ(chart->seriesCount, 1);
        const Excel_RefArray *values = chart->series[0]->lists[XlsChart_linkValues];
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(values->kind, uint32_t(Excel_refArea));
        EXPECT_EQ(Excel_RefArray_count(values), 3u);
        ExcelFindContext find{doc, nullptr};
        ASSERT_EQ(Edr_Node_walk(Excel_walkFindRecord, nullptr, &find, 1, nodes[0]), 0);
        EXPECT_EQ(find.found, ref->workbook);

        ExcelValueCells *cells = nullptr;
        ASSERT_EQ(Excel_chartSeriesCells(chart, &cells), 0);
        ASSERT_EQ(Excel_fillValueCells(ref->workbook, cells), 0);
        double a[3];
        uint32_t n = 0;
        ASSERT_EQ(Excel_chartPieAngles(chart, cells, a, 3, &n), 0);
        ASSERT_EQ(n, 3u);
        EXPECT_NEAR(a[2], 12.0 / 22 * 360, 1e-9);
        ExcelValueCells_free(cells);
        // Chart and plot areas, three slices, the legend frame and its
        // three boxes with their texts.
        EXPECT_EQ(shape(nodes[0]), "ppppppptptpt");
        // The category texts name the legend entries.
        std::string legend;
        for (Edr_Node *c = Edr_Node_firstChild(nodes[0]); c; c = Edr_Node_nextSibling(c)) {
            char16_t *t = nullptr;
            if (Edr_Node_type(c) == Edr_NodeType_text && Edr_Node_copyText(doc, c, &t) == 0)
                legend += utf8(t) + ";";
            Mem_free(t);
        }
        EXPECT_EQ(legend, "North;South;East;");

        // East becomes 30: the rebuilt chart draws the new value.
        ExcelBookItem *data = Excel_bookFindByName(ref->workbook->items, u"Data");
        ASSERT_NE(data, nullptr);
        SheetGrid *grid = static_cast<SheetGrid *>(data->payload);
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        ASSERT_EQ(Excel_CellEdit_setValue(ctx(), grid, 3, 1, "30", 0), 0);
        Edr_Doc_writeUnlock(doc);
        ASSERT_EQ(Excel_bindCharts(ref->workbook, doc), 0);
        ASSERT_EQ(Excel_chartSeriesCells(chart, &cells), 0);
        ASSERT_EQ(Excel_fillValueCells(ref->workbook, cells), 0);
        ASSERT_EQ(Excel_chartPieAngles(chart, cells, a, 3, &n), 0);
        EXPECT_NEAR(a[2], 30.0 / 40 * 360, 1e-9);
        ExcelValueCells_free(cells);
        EXPECT_EQ(shape(nodes[0]), "ppppppptptpt");

        // Five rows inserted at row 1 move the values B2:B4 to B7:B9, in
        // the list and in the series' formula.
        EXPECT_EQ(Excel_sheetStructureChanged(ref->workbook, grid, 0, 1, 0, doc), 8);
        SheetGrid other{};
        EXPECT_EQ(Excel_sheetStructureChanged(ref->workbook, &other, 0, 1, 5, doc), 8);
        ASSERT_EQ(Excel_sheetStructureChanged(ref->workbook, grid, 0, 1, 5, doc), 0);
        EXPECT_EQ(values->first.row, 6u);
        EXPECT_EQ(values->last.row, 8u);
        const uint8_t *t = chart->series[0]->refs[XlsChart_linkValues].tokens;
        EXPECT_EQ(t[3] | t[4] << 8, 6);
        EXPECT_EQ(t[5] | t[6] << 8, 8);
        // Deleting them again brings the references back.
        ASSERT_EQ(Excel_sheetStructureChanged(ref->workbook, grid, 1, 1, 5, doc), 0);
        EXPECT_EQ(values->first.row, 1u);
        EXPECT_EQ(t[3] | t[4] << 8, 1);
        Mem_free(nodes);
    });
}

TEST_F(ChartDoc, EmbeddedColumnChartPlacedFromItsObject)
{
    std::string file = readFixture("chart_writeexcel.xls");
    ASSERT_FALSE(file.empty());
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        VfsHandle *vfs = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        OleHandle *ole = nullptr;
        ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
        ExcelLoad load{};
        load.context = ctx();
        load.doc = doc;
        load.root = root;
        ASSERT_EQ(Excel_readWorkbookStream(&load, ole), 0);
        ExcelSheetEntry *data = load.sheets;
        ASSERT_NE(data->sheet, nullptr);
        SheetGrid *grid = nullptr;
        ASSERT_EQ(Excel_sheetLayout(&load, data, &grid), 0);
        const ExcelObject *object = nullptr;
        for (uint32_t i = 0; i < data->sheet->objectCount; i++)
            if (data->sheet->objects[i].type == Excel_objChart)
                object = &data->sheet->objects[i];
        ASSERT_NE(object, nullptr);
        const int32_t rect[4] = {4 << 16, 1 << 16, 5 << 16, 3 << 16};
        ASSERT_EQ(Excel_chartPlaceObject(&load, object, doc, root, rect, data->name), 0);
        // Not a chart: refused.
        ExcelObject picture{};
        picture.type = Excel_objPicture;
        EXPECT_EQ(Excel_chartPlaceObject(&load, &picture, doc, root, rect, data->name), 8);
        ASSERT_EQ(Excel_resolveChartRefs(&load), 0);
        ASSERT_EQ(Excel_bindCharts(load.workbook, doc), 0);
        Edr_Node **nodes = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Excel_collectChartNodes(doc, nullptr, &nodes, &count), 0);
        ASSERT_EQ(count, 1u);
        XlsChart *chart = refOf(doc, nodes[0])->chart;
        EXPECT_EQ(chart->rect[0], 4 << 16);
        // 3, 7 and 12: the two areas, the gridlines (one path), three
        // bars, the legend's frame and box; the axis runs 0 to 14 (8
        // labels), three category labels, the title and the legend text.
        std::string s = shape(nodes[0]);
        EXPECT_EQ(std::count(s.begin(), s.end(), 'p'), 2 + 1 + 3 + 2);
        EXPECT_EQ(std::count(s.begin(), s.end(), 't'), 8 + 3 + 1 + 1);
        ExcelBookItem **items = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Excel_bookCharts(load.workbook, &items, &n), 0);
        ASSERT_EQ(n, 1u);
        EXPECT_EQ(items[0]->kind, uint32_t(Excel_itemChart));
        Mem_free(items);
        Mem_free(nodes);
        Excel_gridLayoutFree(grid);
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
    });
}

TEST_F(ChartDoc, DoughnutShowsItsAreasOnly)
{
    withBook("chart_doughnut.xls", [&](Edr_Doc *doc, Edr_Node *) {
        Edr_Node **nodes = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Excel_collectChartNodes(doc, nullptr, &nodes, &count), 0);
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(refOf(doc, nodes[0])->chart->type, uint32_t(XlsChart_typeDoughnut));
        EXPECT_EQ(shape(nodes[0]), "pp");
        Mem_free(nodes);
    });
}

TEST_F(ChartDoc, AllZeroValuesDrawTheTwoAreasOnly)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::string data = barChart({0, 0, 0}, "");
        XlsChart *chart = Excel_chartCreate();
        ASSERT_EQ(Excel_readChartBytes(reinterpret_cast<const uint8_t *>(data.data()), data.size(),
                                       0, 0x0600, nullptr, chart),
                  0);
        Edr_Node *group = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &group), 0);
        ASSERT_EQ(Excel_chartBuild(chart, nullptr, doc, group), 0);
        EXPECT_EQ(shape(group), "pp");
        // A value of 5: the axis runs 0 to 6 in steps of 1 (the gridlines
        // and 7 labels), one bar of the three has a height, three category
        // labels; a rebuild replaces the drawing.
        ASSERT_EQ(Excel_RefArray_setNumber(5, chart->series[0]->lists[1], 1), 0);
        ASSERT_EQ(Excel_chartBuild(chart, nullptr, doc, group), 0);
        std::string s = shape(group);
        EXPECT_EQ(s.substr(0, 2), "pp");
        EXPECT_EQ(std::count(s.begin(), s.end(), 'p'), 2 + 1 + 1);
        EXPECT_EQ(std::count(s.begin(), s.end(), 't'), 7 + 3);
        ASSERT_EQ(Excel_chartBuild(chart, nullptr, doc, group), 0);
        EXPECT_EQ(shape(group), s);
        Edr_Node_release(doc, group);
        Excel_chartRelease(chart);
    });
}

TEST_F(ChartDoc, NegativeBarsHangFromTheZeroLine)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::string data = barChart({-4, 6, -2}, "");
        XlsChart *chart = Excel_chartCreate();
        ASSERT_EQ(Excel_readChartBytes(reinterpret_cast<const uint8_t *>(data.data()), data.size(),
                                       0, 0x0600, nullptr, chart),
                  0);
        // The plot rectangle is taken as read: 400, 400, 3200 x 3200.
        XlsChartScale s;
        Excel_chartScale(chart, nullptr, 3200, 400, &s);
        ASSERT_EQ(s.z, 2);
        const int32_t zero = 400 + 3200 - s.z * s.interval;
        Edr_Node *group = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &group), 0);
        ASSERT_EQ(Excel_chartBuild(chart, nullptr, doc, group), 0);
        std::vector<Rect> paths;
        for (Edr_Node *n = Edr_Node_firstChild(group); n; n = Edr_Node_nextSibling(n)) {
            if (Edr_Node_type(n) != Edr_NodeType_path)
                continue;
            Rect r = Rect_emptyBound;
            Pen pen{0, 0, 0, 0, 0, nullptr};
            ASSERT_EQ(Path_strokeBounds(nullptr, static_cast<const Path *>(Edr_Node_payload(n)), &r,
                                        Matrix_identity(), &pen),
                      0);
            paths.push_back(r);
        }
        // The areas, the gridlines, then the three bars (y upward).
        ASSERT_EQ(paths.size(), 6u);
        const double unit = 3200.0 / (s.maximum - s.minimum); // -5 to 7.5
        EXPECT_NEAR(paths[3].y1, -zero, 1);                   // -4 hangs from the zero line
        EXPECT_NEAR(paths[3].y0, -(zero + 4 * unit), 2);
        EXPECT_NEAR(paths[4].y0, -zero, 1); // 6 stands on it
        EXPECT_NEAR(paths[4].y1, -(zero - 6 * unit), 2);
        EXPECT_NEAR(paths[5].y1 - paths[5].y0, 2 * unit, 2);
        EXPECT_LT(paths[3].x1, paths[4].x0); // side by side in category order
        EXPECT_LT(paths[4].x1, paths[5].x0);
        Edr_Node_release(doc, group);
        Excel_chartRelease(chart);
    });
}

} // namespace

TEST_F(ChartDoc, EmbeddedChartIsLaidOutAtItsAnchorCell)
{
    withBook("chart_writeexcel.xls", [&](Edr_Doc *doc, Edr_Node *) {
        Edr_Node **nodes = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Excel_collectChartNodes(doc, nullptr, &nodes, &count), 0);
        ASSERT_EQ(count, 2u);
        Edr_Node *embedded =
            nodes[refOf(doc, nodes[0])->chart->type == uint32_t(XlsChart_typePie) ? 1 : 0];
        Edr_Node *pie = nodes[embedded == nodes[0] ? 1 : 0];
        ExcelBookItem *data = Excel_bookFindByName(refOf(doc, embedded)->workbook->items, u"Data");
        Mem_free(nodes);
        ASSERT_NE(data, nullptr);
        const SheetGrid *grid = static_cast<SheetGrid *>(data->payload);
        Edr_Doc_readLock(doc);
        int err = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(err, 0);

        // The display items each chart's nodes became, page by page, in
        // drawing order (page boxes are y upward from the body's top).
        auto itemsOf = [&](Edr_Node *chart, uint32_t *page) {
            std::vector<Rect> out;
            uint32_t pages = 0;
            Edr_Page_count(doc, &pages);
            for (uint32_t i = 0; i < pages && out.empty(); i++) {
                int32_t key = -1;
                uint32_t kind = 0;
                Edr_PageEntry *e = nullptr;
                if (Edr_Page_getKeyByIndex(&key, &kind, doc, i) != 0 ||
                    Edr_Page_find(&e, doc, key, kind, 0) != 0 || !e)
                    continue;
                std::function<void(ObjHeader *)> walk = [&](ObjHeader *o) {
                    for (; o; o = Obj_next(o)) {
                        if (o->node && Edr_Node_parent(o->node) == chart)
                            out.push_back(Obj_shownBox(o));
                        if (Obj_itemKind(o) == Obj_itemContainer)
                            walk(Obj_children(o));
                    }
                };
                walk(Edr_Page_deref(e)->objects);
                Edr_Page_release(e, 0);
                *page = i;
            }
            return out;
        };
        uint32_t page = 0;
        std::vector<Rect> items = itemsOf(embedded, &page);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(page, 0u);
        // The chart is anchored at D2 with no offsets: its chart area starts
        // at the left edge of column D (the grid's left edge at the page's
        // left margin) and the top of row 2 (the grid's top at the body's),
        // inside the shape's default text insets (0.02 and 0.01 inch).
        const uint32_t *cw = grid->metrics->columnWidths;
        const int32_t left = Excel_Page_margin(0.75) + int32_t(cw[0] + cw[1] + cw[2]) + 1310;
        const int32_t top = -int32_t(grid->metrics->rowPositions[0]) - 655;
        const Rect area = items[0];
        EXPECT_EQ(area.x0, left);
        EXPECT_EQ(area.y1, top);
        EXPECT_GT(area.x1 - area.x0, int32_t(cw[3]));
        // Every other part of the chart (plot area, bars, labels, legend)
        // lies within its chart area.
        for (size_t i = 1; i < items.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_GE(items[i].x0, area.x0);
            EXPECT_LE(items[i].x1, area.x1);
            EXPECT_LE(items[i].y1, area.y1);
            EXPECT_GE(items[i].y0, area.y0);
        }

        // The chart sheet fills its page body from the body's corner.
        items = itemsOf(pie, &page);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(page, 1u);
        EXPECT_EQ(items[0].x0, 0);
        EXPECT_EQ(items[0].y1, 0);
    });
}
