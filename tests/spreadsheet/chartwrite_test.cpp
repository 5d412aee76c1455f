// Chart substreams of the BIFF8 writer: charts of loaded workbooks written
// after a cell edit and read back with the engine's chart reader (series
// counts, references, names from their cells, value caches holding the
// current values), a BIFF5 substream converted record by record, and the
// refusals of malformed series blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "spreadsheet/edit/celledit.h"
#include "core/text/strtable.h"
#include "office/ole2/ole.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/chartwrite.h"
#include "tests/document/edr_fixture.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/spreadsheet/objwrite_support.h"
#include "tests/support/heap_fixture.h"

using namespace objwrite;
using biff::rec;
using biff::u16;
using biff::u32;

namespace {

enum : uint16_t {
    recBlank = 0x0201,
    recNumber = 0x0203,
    recLabel = 0x0204,
    recSeries = 0x1003,
    recSeriesText = 0x100D,
    recBrai = 0x1051,
    recSiIndex = 0x1065,
};

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

std::string tokens(const XlsChartRef &r)
{
    return r.tokens ? std::string(reinterpret_cast<const char *>(r.tokens), r.length)
                    : std::string();
}

// Reads a written substream (an EOF added) back into a new chart.
XlsChart *readBack(const std::string &out, uint32_t version = 0x0600)
{
    std::string data = out + biff::eof();
    XlsChart *c = Excel_chartCreate();
    EXPECT_EQ(Excel_readChartBytes(reinterpret_cast<const uint8_t *>(data.data()), data.size(), 0,
                                   version, nullptr, c),
              0);
    return c;
}

size_t countOf(const std::vector<Record> &recs, uint16_t type)
{
    size_t n = 0;
    for (const Record &r : recs)
        n += r.type == type;
    return n;
}

class ChartWriteBook : public EdrFixture {
  protected:
    // Loads a fixture into a document (its source kept open) and runs fn.
    void withBook(const char *name, std::function<void(Edr_Doc *, ExcelWorkbook *, SourceRig *)> fn)
    {
        std::string file = readFixture(name);
        ASSERT_FALSE(file.empty());
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            {
                SourceRig src(ctx());
                ASSERT_NO_FATAL_FAILURE(src.open(file));
                ASSERT_EQ(Excel_loadWorkbook(ctx(), src.handle(), doc, root), 0);
                ExcelFindContext find{doc, nullptr};
                ASSERT_EQ(Edr_Node_walk(Excel_walkFindRecord, nullptr, &find, 1, root), 0);
                ASSERT_NE(find.found, nullptr);
                fn(doc, find.found, &src);
            }
            Edr_Doc_release(doc);
        });
    }

    void setCell(Edr_Doc *doc, ExcelWorkbook *book, const char16_t *sheet, uint32_t row,
                 uint32_t column, const char *text)
    {
        ExcelBookItem *item = Excel_bookFindByName(book->items, sheet);
        ASSERT_NE(item, nullptr);
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        EXPECT_EQ(Excel_CellEdit_setValue(ctx(), static_cast<SheetGrid *>(item->payload), row,
                                          column, text, 0),
                  0);
        Edr_Doc_writeUnlock(doc);
    }

    std::string write(ExcelWorkbook *book, SourceRig *src, XlsChart *chart)
    {
        WriterRig rig(ctx());
        rig.begin(src->stream, book);
        EXPECT_EQ(XlsWriter_writeChart(&rig.writer, chart), 0);
        return rig.finish();
    }
};

TEST_F(ChartWriteBook, CachesAndCountsFollowTheEditedCells)
{
    // WriteExcel's column chart and pie sheet plot B2:B4 (3, 7, 12) of
    // "Data" with the categories A2:A4; East becomes 30.
    withBook("chart_writeexcel.xls", [&](Edr_Doc *doc, ExcelWorkbook *book, SourceRig *src) {
        setCell(doc, book, u"Data", 3, 1, "30");
        ExcelBookItem **items = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Excel_bookCharts(book, &items, &n), 0);
        ASSERT_EQ(n, 2u);
        for (uint32_t k = 0; k < n; k++) {
            SCOPED_TRACE(k);
            auto *chart = static_cast<XlsChart *>(items[k]->payload);
            std::string out = write(book, src, chart);
            std::vector<Record> recs = records(out);
            // One set of caches: categories, values and the empty third.
            EXPECT_EQ(countOf(recs, recSiIndex), 3u);
            EXPECT_EQ(countOf(recs, recNumber), 3u);
            // The categories are texts, but the series declares numbers:
            // they are left blank, where a LABEL would make the chart
            // unreadable.
            EXPECT_EQ(countOf(recs, recLabel), 0u);
            EXPECT_EQ(countOf(recs, recBlank), 3u);
            // The source's BRAI records of link 3 are kept.
            size_t bubbles = 0;
            for (const Record &r : recs)
                bubbles += r.type == recBrai && r.body[0] == 3;
            EXPECT_EQ(bubbles, 1u);

            XlsChart *back = readBack(out);
            EXPECT_EQ(back->type, chart->type);
            ASSERT_EQ(back->seriesCount, chart->seriesCount);
            const XlsChartSeries *s = back->series[0];
            EXPECT_EQ(s->declared[0], 3u);
            EXPECT_EQ(s->declared[1], 3u);
            for (int link = 0; link < 3; link++)
                EXPECT_EQ(tokens(s->refs[link]), tokens(chart->series[0]->refs[link])) << link;
            EXPECT_EQ(utf8(s->name), utf8(chart->series[0]->name));
            const Excel_RefArray *values = s->lists[XlsChart_linkValues];
            ASSERT_NE(values, nullptr);
            ASSERT_EQ(values->count, 3u);
            EXPECT_EQ(values->items[0].u.number, 3.0);
            EXPECT_EQ(values->items[1].u.number, 7.0);
            EXPECT_EQ(values->items[2].u.number, 30.0);
            Excel_chartRelease(back);
        }
        Mem_free(items);
    });
}

TEST_F(ChartWriteBook, EmbeddedChartInsideTheDrawingIsRewritten)
{
    // The column chart's substream follows its OBJ inside the sheet's
    // drawing: it is written from the chart model, with the edited value.
    withBook("chart_writeexcel.xls", [&](Edr_Doc *doc, ExcelWorkbook *book, SourceRig *src) {
        setCell(doc, book, u"Data", 3, 1, "30");
        ExcelBookItem *item = Excel_bookFindByName(book->items, u"Data");
        ASSERT_NE(item, nullptr);
        XlsSheetEntry entry{};
        entry.kind = XlsSheet_worksheet;
        entry.model = item->payload;
        entry.drawing = item->drawing;
        for (int i = 0; i < 2; i++)
            for (int k = 0; k < 2; k++)
                entry.records[i][k] = item->records[i][k];
        WriterRig rig(ctx());
        rig.begin(src->stream, book);
        ASSERT_EQ(XlsWriter_writeDrawing(&rig.writer, &entry), 0);
        std::vector<Record> recs = records(rig.finish());
        // The records between the chart's BOF and its EOF.
        std::string sub;
        int depth = 0;
        for (const Record &r : recs) {
            if (r.type == 0x0809 && le16(r.body, 2) == 0x0020 && depth++ == 0)
                continue;
            if (depth && r.type == 0x000A && --depth == 0)
                break;
            if (depth)
                sub += rec(r.type, r.body);
        }
        ASSERT_FALSE(sub.empty());
        XlsChart *back = readBack(sub);
        ASSERT_EQ(back->seriesCount, 1u);
        const Excel_RefArray *values = back->series[0]->lists[XlsChart_linkValues];
        ASSERT_NE(values, nullptr);
        ASSERT_EQ(values->count, 3u);
        EXPECT_EQ(values->items[2].u.number, 30.0);
        Excel_chartRelease(back);
    });
}

TEST_F(ChartWriteBook, SeriesNameTakesItsCellsText)
{
    withBook("chart_writeexcel.xls", [&](Edr_Doc *doc, ExcelWorkbook *book, SourceRig *src) {
        ExcelBookItem **items = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Excel_bookCharts(book, &items, &n), 0);
        ASSERT_GE(n, 1u);
        auto *chart = static_cast<XlsChart *>(items[0]->payload);
        Mem_free(items);
        // The series is named by the cell A2 of "Data" (a 3-D reference of
        // the values' external sheet) instead of its text "Sales".
        XlsChartSeries *series = chart->series[0];
        XlsChartRef &name = series->refs[XlsChart_linkName];
        const XlsChartRef &values = series->refs[XlsChart_linkValues];
        ASSERT_GE(values.length, 3u);
        Mem_free(name.tokens);
        name.tokens = static_cast<uint8_t *>(Mem_malloc(7));
        name.tokens[0] = 0x3A;
        name.tokens[1] = values.tokens[1];
        name.tokens[2] = values.tokens[2];
        memcpy(name.tokens + 3, "\x01\x00\x00\xC0", 4);
        name.length = 7;
        name.type = 2;
        Excel_RefArray_free(series->lists[XlsChart_linkName]);
        series->lists[XlsChart_linkName] = Excel_RefArray_create(1);
        ASSERT_EQ(Excel_RefArray_setCell(u"Data", 1, 0, series->lists[XlsChart_linkName], 0), 0);
        setCell(doc, book, u"Data", 1, 0, "Renamed");
        std::string out = write(book, src, chart);
        XlsChart *back = readBack(out);
        ASSERT_GE(back->seriesCount, 1u);
        EXPECT_EQ(utf8(back->series[0]->name), "Renamed");
        EXPECT_EQ(tokens(back->series[0]->refs[XlsChart_linkName]), tokens(name));
        Excel_chartRelease(back);
    });
}

// ------------------------------------------------ substreams in memory

std::string begin()
{
    return rec(0x1033, "");
}
std::string end()
{
    return rec(0x1034, "");
}

std::string chartRec(const std::string &body)
{
    return rec(0x1002, std::string(16, '\0')) + begin() + body + end();
}

class ChartWrite : public LeakCheckedContextTest<(16u << 20)> {
  protected:
    // Reads data (after the BOF, ending with EOF) into a chart and writes
    // it back; out gets the written records.
    int roundTrip(const std::string &data, uint32_t version, std::string *out,
                  XlsChart **chart = nullptr)
    {
        XlsChart *c = Excel_chartCreate();
        int rc = Excel_readChartBytes(reinterpret_cast<const uint8_t *>(data.data()), data.size(),
                                      0, version, nullptr, c);
        EXPECT_EQ(rc, 0);
        WriterRig rig(ctx);
        rig.begin(nullptr, nullptr);
        // The substream without its EOF, as the workbook writer hands it.
        rc = XlsWriter_writeChartBytes(
            &rig.writer, c, reinterpret_cast<const uint8_t *>(data.data()), data.size() - 4);
        *out = rig.finish();
        if (chart)
            *chart = c;
        else
            Excel_chartRelease(c);
        return rc;
    }
};

TEST_F(ChartWrite, Biff5ChartConvertedRecordByRecord)
{
    // A BIFF5 chart: its external-sheet table, a window, a line format
    // with a colour, a series whose values are a BIFF5 3-D area on the
    // first sheet and whose name is text, and BIFF5 caches.
    std::string area5 = std::string(1, '\x3B') + u16(0xFFFF) + std::string(8, '\0') + u16(0) +
                        u16(0) + u16(1) + u16(3) + std::string{1, 1};
    std::string series =
        rec(recSeries, u16(1) + u16(1) + u16(3) + u16(3) + u16(1) + u16(0)) + begin() +
        rec(recBrai, std::string{0, 1} + u16(0) + u16(0) + u16(0)) +
        rec(recBrai, std::string{1, 2} + u16(0) + u16(0) + u16(uint32_t(area5.size())) + area5) +
        rec(recSeriesText, u16(0) + std::string{5} + "Sales") + end();
    std::string data =
        rec(0x0016, u16(1)) + rec(0x0017, std::string{5, 3} + "Data") +
        rec(0x003D, std::string(18, 0)) + rec(0x004D, std::string(4, 0)) +
        chartRec(series + rec(0x1007, std::string(10, '\0'))) + rec(0x0200, std::string(10, '\0')) +
        rec(recSiIndex, u16(1)) + biff::number(0, 0, 1.0, 0) + biff::number(1, 0, 2.0, 0) +
        biff::number(2, 0, 3.0, 0) + rec(0x023E, std::string(10, '\0')) + biff::eof();
    std::string out;
    XlsChart *chart = nullptr;
    ASSERT_EQ(roundTrip(data, 0x0500, &out, &chart), 0);
    std::vector<Record> recs = records(out);
    for (uint16_t gone : {0x0016, 0x0017, 0x003D, 0x004D, 0x0200})
        EXPECT_EQ(countOf(recs, gone), 0u) << gone;
    EXPECT_EQ(countOf(recs, recSiIndex), 3u);
    for (const Record &r : recs) {
        if (r.type == 0x1007) {
            EXPECT_EQ(r.body.size(), 12u) << "the line colour becomes a palette index";
        }
        if (r.type == 0x023E) {
            ASSERT_EQ(r.body.size(), 18u);
            EXPECT_EQ(le16(r.body, 0), 0x0200u) << "only the selected flag";
        }
        if (r.type == recBrai && r.body[0] == 1) {
            ASSERT_EQ(r.body.size(), 8u + 11u) << "the area in the BIFF8 layout";
            EXPECT_EQ(uint8_t(r.body[8]), 0x3B);
            EXPECT_EQ(le16(r.body, 8 + 3), 1u);
            EXPECT_EQ(le16(r.body, 8 + 5), 3u);
        }
        if (r.type == recSeriesText) {
            EXPECT_EQ(r.body, (u16(0) + std::string{5, 0} + "Sales"));
        }
    }
    // The BIFF8 substream reads back with the same series and values.
    XlsChart *back = readBack(out);
    ASSERT_EQ(back->seriesCount, 1u);
    EXPECT_EQ(utf8(back->series[0]->name), "Sales");
    const Excel_RefArray *values = back->series[0]->lists[XlsChart_linkValues];
    ASSERT_NE(values, nullptr);
    ASSERT_EQ(values->count, 3u);
    EXPECT_EQ(values->items[0].u.number, 1.0);
    EXPECT_EQ(values->items[2].u.number, 3.0);
    Excel_chartRelease(back);
    Excel_chartRelease(chart);
}

TEST_F(ChartWrite, MalformedSeriesBlocksAreRefused)
{
    std::string values = std::string{1, 1} + u16(0) + u16(0) + u16(0);
    std::string cache = rec(recSiIndex, u16(1)) + biff::number(0, 0, 4.0, 0);
    // A series block holding a link above 3.
    std::string out;
    EXPECT_EQ(roundTrip(chartRec(rec(recSeries, std::string(12, '\0')) + begin() +
                                 rec(recBrai, std::string{4, 1} + std::string(6, 0)) + end()) +
                            cache + biff::eof(),
                        0x0600, &out),
              8);
    // The reader refuses a series without Begin, so the model of another
    // chart meets it: the writer refuses it too.
    XlsChart *c = nullptr;
    ASSERT_EQ(
        roundTrip(chartRec(rec(recSeries, std::string(12, '\0')) + begin() + end()) + biff::eof(),
                  0x0600, &out, &c),
        0);
    std::string broken = chartRec(rec(recSeries, std::string(12, '\0')) + rec(recBrai, values));
    WriterRig rig(ctx);
    rig.begin(nullptr, nullptr);
    EXPECT_EQ(XlsWriter_writeChartBytes(
                  &rig.writer, c, reinterpret_cast<const uint8_t *>(broken.data()), broken.size()),
              17);
    EXPECT_EQ(XlsWriter_writeChartBytes(&rig.writer, nullptr, nullptr, 0), 16);
    rig.finish();
    Excel_chartRelease(c);
}

} // namespace
