// The workbook record: its items and their life, shared strings, formats,
// XFs and styles; the FONT, FORMAT and XF parsers against python3-xlrd's
// reading of the style fixtures (BIFF8 from LibreOffice, BIFF5 from
// gnumeric); the resolution of XF references.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "core/text/ustr.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/workbook.h"
#include "tests/spreadsheet/format_support.h"
#include "tests/support/heap_fixture.h"

namespace {

class Workbook : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    struct Record {
        uint16_t type;
        std::string body;
    };

    // The records of the globals substream of a fixture's "Workbook" or
    // "Book" stream, up to its EOF.
    std::vector<Record> globals(const char *name)
    {
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string file = ss.str();
        EXPECT_FALSE(file.empty()) << name;
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        VfsHandle *vfs = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        OleHandle *ole = nullptr;
        EXPECT_EQ(Ole_openStream(vfs, &ole), 0);
        OleStream *s = nullptr;
        if (Ole_streamOpenByName(ole, &s, 0, u"Workbook") != 0) {
            EXPECT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Book"), 0);
        }
        std::string data;
        char buf[4096];
        size_t got = 0;
        while (s && Ole_streamRead(s, sizeof buf, &got, buf) == 0 && got)
            data.append(buf, got);
        data.append(buf, got);
        Ole_streamClose(&s);
        Ole_close(&ole);
        Vfs_close(vfs);
        std::vector<Record> records;
        for (size_t at = 0; at + 4 <= data.size();) {
            uint16_t type = uint8_t(data[at]) | uint8_t(data[at + 1]) << 8;
            uint16_t len = uint8_t(data[at + 2]) | uint8_t(data[at + 3]) << 8;
            records.push_back({type, data.substr(at + 4, len)});
            at += 4 + size_t(len);
            if (type == 0x000A)
                break;
        }
        return records;
    }

    static std::vector<std::string> expected(const char *name)
    {
        std::vector<std::string> lines;
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // Parses every FONT, FORMAT and XF record and lists them as the
    // fixture generator lists xlrd's reading.
    std::vector<std::string> parsed(const char *file, uint32_t version)
    {
        std::vector<std::string> fonts, formats, xfs;
        for (const Record &r : globals(file)) {
            const uint8_t *b = reinterpret_cast<const uint8_t *>(r.body.data());
            if (r.type == 0x0031 || r.type == 0x0231) {
                ExcelFont *f = nullptr;
                EXPECT_EQ(Excel_parseFont(b, r.body.size(), &f, version), 0);
                if (!f)
                    continue;
                char line[512];
                // Font index 4 does not exist: xlrd's list skips it too, so
                // the numbers follow xlrd's.
                size_t i = fonts.size() >= 4 ? fonts.size() + 1 : fonts.size();
                snprintf(line, sizeof line, "font %zu %u %u %u %d %d %u %u %s", i, f->height,
                         f->weight, f->colourSlot, (f->options & Excel_fontItalic) ? 1 : 0,
                         (f->options & Excel_fontStrikeout) ? 1 : 0, f->underline, f->escapement,
                         utf8(f->name).c_str());
                fonts.push_back(line);
                Mem_free(f);
            } else if (r.type == 0x041E) {
                ExcelFormatRecord fr;
                EXPECT_EQ(Excel_parseFormat(b, r.body.size(), &fr, version), 0);
                formats.push_back("format " + std::to_string(fr.index) + " " + utf8(fr.text));
                Mem_free(fr.text);
            } else if (r.type == 0x00E0) {
                ExcelXf x;
                EXPECT_EQ(Excel_parseXf(b, r.body.size(), &x, version), 0);
                char line[256];
                snprintf(line, sizeof line,
                         "xf %zu %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u", xfs.size(),
                         x.fontIndex, x.formatIndex, x.alignment & 7, (x.alignment >> 4) & 7,
                         x.alignment >> 8, (x.alignment >> 3) & 1, x.indent, x.borderStyle[0],
                         x.borderStyle[1], x.borderStyle[2], x.borderStyle[3], x.borderColour[0],
                         x.borderColour[1], x.borderColour[2], x.borderColour[3], x.pattern,
                         x.patternFg, x.patternBg);
                xfs.push_back(line);
            }
        }
        // Insert the missing font 4 as xlrd shows it.
        std::vector<std::string> out;
        for (size_t i = 0; i < fonts.size(); i++) {
            if (i == 4)
                out.push_back("font 4 0 400 0 0 0 0 0 Dummy Font");
            out.push_back(fonts[i]);
        }
        out.insert(out.end(), formats.begin(), formats.end());
        out.insert(out.end(), xfs.begin(), xfs.end());
        return out;
    }

    // xlrd's lines with its colour indexes mapped to palette entries.
    static std::vector<std::string> mapped(const std::vector<std::string> &lines)
    {
        std::vector<std::string> out;
        for (const std::string &line : lines) {
            std::istringstream in(line);
            std::string kind;
            in >> kind;
            if (kind == "format" || line.rfind("font 4 ", 0) == 0) {
                out.push_back(line);
                continue;
            }
            std::vector<std::string> f;
            for (std::string w; in >> w;)
                f.push_back(w);
            std::string rebuilt = kind;
            if (kind == "font") {
                // index height weight colour italic strike underline escapement name...
                f[3] = std::to_string(Excel_Palette_slot(std::stoul(f[3]) & 0x7F));
            } else {
                for (size_t k = 12; k <= 15; k++)
                    f[k] = std::to_string(Excel_Palette_slot(std::stoul(f[k])));
                f[17] = std::to_string(Excel_Palette_slot(std::stoul(f[17])));
                f[18] = std::to_string(Excel_Palette_slot(std::stoul(f[18])));
            }
            for (const std::string &w : f)
                rebuilt += " " + w;
            out.push_back(rebuilt);
        }
        return out;
    }
};

TEST_F(Workbook, StylesOfLibreOfficeFile)
{
    EXPECT_EQ(parsed("styles.xls", Excel_biff8), mapped(expected("styles.txt")));
}

TEST_F(Workbook, StylesOfGnumericBiff5File)
{
    EXPECT_EQ(parsed("styles5.xls", Excel_biff5), mapped(expected("styles5.txt")));
}

TEST_F(Workbook, FormatRecordsOfFormatTable)
{
    // Every code of the format table is a FORMAT record of formats.xls.
    std::vector<std::string> records;
    for (const Record &r : globals("formats.xls")) {
        if (r.type != 0x041E)
            continue;
        ExcelFormatRecord fr;
        ASSERT_EQ(Excel_parseFormat(reinterpret_cast<const uint8_t *>(r.body.data()), r.body.size(),
                                    &fr, Excel_biff8),
                  0);
        records.push_back(std::to_string(fr.index) + "\t" + utf8(fr.text));
        Mem_free(fr.text);
    }
    for (const std::string &line : expected("formats.txt")) {
        std::vector<std::string> f = splitTabs(line);
        std::string want = f[0] + "\t" + unescapeField(f[1]);
        EXPECT_NE(std::find(records.begin(), records.end(), want), records.end()) << want;
    }
}

TEST_F(Workbook, ParserBounds)
{
    uint8_t font[40] = {0xC8, 0, 2, 0, 10, 0,   0xBC, 2,   1, 0,    1,
                        0,    0, 0, 3, 1,  'A', 0,    'b', 0, 0x20, 0x4E};
    ExcelFont *f = nullptr;
    ASSERT_EQ(Excel_parseFont(font, 22, &f, Excel_biff8), 0);
    EXPECT_EQ(f->height, 200);
    EXPECT_EQ(f->weight, 700);
    EXPECT_EQ(f->colourSlot, 2u);
    EXPECT_EQ(f->escapement, 1);
    EXPECT_EQ(f->underline, 1);
    EXPECT_EQ(f->wideName, 1);
    EXPECT_EQ(std::u16string(f->name), u"Ab\u4E20");
    Mem_free(f);
    // The name runs past the body: refused, nothing made.
    EXPECT_EQ(Excel_parseFont(font, 21, &f, Excel_biff8), Res_excelMalformed);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(Excel_parseFont(font, 10, &f, Excel_biff5), Res_excelMalformed);
    EXPECT_EQ(Excel_parseFont(nullptr, 10, &f, Excel_biff5), Res_missingArgument);
    // BIFF5: 8-bit name at 15.
    uint8_t font5[20] = {0xA0, 0, 0, 0, 0x7F, 0, 0x90, 1, 0, 0, 0, 0, 0, 0, 2, 'X', 'y'};
    ASSERT_EQ(Excel_parseFont(font5, 17, &f, Excel_biff5), 0);
    EXPECT_EQ(std::u16string(f->name), u"Xy");
    EXPECT_EQ(f->colourSlot, 0u); // the system colour 0x7F
    Mem_free(f);

    uint8_t fmt8[] = {0xA4, 0, 3, 0, 0, '0', '.', '0'};
    ExcelFormatRecord fr;
    ASSERT_EQ(Excel_parseFormat(fmt8, sizeof fmt8, &fr, Excel_biff8), 0);
    EXPECT_EQ(fr.index, 164);
    EXPECT_EQ(std::u16string(fr.text), u"0.0");
    Mem_free(fr.text);
    EXPECT_EQ(Excel_parseFormat(fmt8, 7, &fr, Excel_biff8), Res_excelMalformed);
    EXPECT_EQ(fr.text, nullptr);
    uint8_t fmt16[] = {5, 0, 1, 0, 1, 0xAC, 0x20};
    ASSERT_EQ(Excel_parseFormat(fmt16, sizeof fmt16, &fr, Excel_biff8), 0);
    EXPECT_EQ(std::u16string(fr.text), u"\u20AC");
    Mem_free(fr.text);
    uint8_t fmt5[] = {7, 0, 2, '#', '0'};
    ASSERT_EQ(Excel_parseFormat(fmt5, sizeof fmt5, &fr, Excel_biff5), 0);
    EXPECT_EQ(std::u16string(fr.text), u"#0");
    Mem_free(fr.text);

    uint8_t xf[20] = {};
    ExcelXf x;
    EXPECT_EQ(Excel_parseXf(xf, 19, &x, Excel_biff8), Res_excelMalformed);
    EXPECT_EQ(Excel_parseXf(xf, 15, &x, Excel_biff5), Res_excelMalformed);
    // Fill pattern 20 (bits 26-31 of the word at 14) becomes 0; diagonal
    // flags and colour.
    xf[6] = 0x2B;  // right aligned, wrap, vertical 2
    xf[7] = 135;   // 45 degrees clockwise
    xf[13] = 0xC0; // both diagonal flags
    uint32_t w14 = (20u << 26) | (5u << 21) | (10u << 14);
    memcpy(xf + 14, &w14, 4);
    ASSERT_EQ(Excel_parseXf(xf, 20, &x, Excel_biff8), 0);
    EXPECT_EQ(x.pattern, 0);
    EXPECT_EQ(x.diagonal, 3);
    EXPECT_EQ(x.diagonalStyle, 5);
    EXPECT_EQ(x.diagonalColour, 2);
    EXPECT_EQ(Excel_xfRotation(&x), -45);
    EXPECT_EQ(Excel_xfWrapKeyword(&x), 209u);
    // BIFF5 orientation: 1 stacked, 2 and 3 the two quarter turns.
    uint8_t xf5[16] = {};
    for (uint8_t o = 0; o < 4; o++) {
        xf5[7] = o;
        ASSERT_EQ(Excel_parseXf(xf5, 16, &x, Excel_biff5), 0);
        static const uint8_t rotation[4] = {0, 255, 90, 180};
        EXPECT_EQ(x.alignment >> 8, rotation[o]);
    }
}

TEST_F(Workbook, RotationsAndKeywords)
{
    ExcelXf x{};
    const struct {
        uint8_t raw;
        int32_t degrees;
    } rotations[] = {{0, 0}, {45, 45}, {90, 90}, {91, -1}, {135, -45}, {180, -90}, {255, 0}};
    for (const auto &r : rotations) {
        x.alignment = static_cast<uint16_t>(r.raw << 8);
        EXPECT_EQ(Excel_xfRotation(&x), r.degrees) << int(r.raw);
    }
    EXPECT_EQ(Excel_rotationAlignKeyword(-90), 86u);
    EXPECT_EQ(Excel_rotationAlignKeyword(0), 86u);
    EXPECT_EQ(Excel_rotationAlignKeyword(89), 86u);
    EXPECT_EQ(Excel_rotationAlignKeyword(90), 117u);
    EXPECT_EQ(Excel_rotationAlignKeyword(-45), 117u);
    x.alignment = 0;
    EXPECT_EQ(Excel_xfWrapKeyword(&x), 104u);
}

TEST_F(Workbook, ItemsKeepTheRecordAlive)
{
    ExcelWorkbook *wb = nullptr;
    ASSERT_EQ(Excel_workbookCreate(&wb), 0);
    ExcelWorkbook *again = wb;
    EXPECT_EQ(Excel_workbookCreate(&again), 0);
    EXPECT_EQ(again, wb);
    EXPECT_EQ(Excel_workbookCreate(nullptr), Res_missingArgument);
    EXPECT_EQ(wb->palette.entries[0][0], 0xFF);

    int sheetA = 0, sheetB = 0, chart = 0;
    ExcelBookItem *a = nullptr, *b = nullptr, *c = nullptr, *m = nullptr;
    ASSERT_EQ(Excel_bookAddSheet(wb, reinterpret_cast<ExcelSheet *>(&sheetA), u"One", &a), 0);
    ASSERT_EQ(Excel_bookAddChart(wb, reinterpret_cast<XlsChart *>(&chart), u"Chart", 1, &c), 0);
    ASSERT_EQ(Excel_bookAddSheet(wb, reinterpret_cast<ExcelSheet *>(&sheetB), u"Two", &b), 0);
    ExcelExtent *extent = static_cast<ExcelExtent *>(Mem_malloc(sizeof(ExcelExtent)));
    ASSERT_EQ(Excel_bookAddExtent(Excel_itemModule, wb, extent, u"Module1", &m), 0);
    EXPECT_EQ(Excel_bookAddExtent(Excel_itemChart, wb, extent, u"x", &m), Res_missingArgument);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(Excel_bookItemCreate(6, nullptr, nullptr), nullptr);

    EXPECT_EQ(Excel_bookFindByName(wb->items, u"Two"), b);
    EXPECT_EQ(Excel_bookFindByName(wb->items, u"two"), nullptr);
    EXPECT_EQ(Excel_bookSheetAt(wb, 0), a);
    EXPECT_EQ(Excel_bookSheetAt(wb, 1), b); // the chart sheet is not counted
    EXPECT_EQ(Excel_bookWorksheetAt(wb, 2), nullptr);
    EXPECT_NE(Excel_bookSheetAt(wb, 2), nullptr);
    EXPECT_EQ(Excel_bookItemOfSheet(wb, reinterpret_cast<ExcelSheet *>(&sheetB)), b);
    ExcelBookItem **charts = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(Excel_bookCharts(wb, &charts, &count), 0);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(charts[0], c);
    Mem_free(charts);

    // EXTERNSHEET entries through the workbook's own supporting book.
    const uint8_t self[4] = {2, 0, 1, 4};
    ASSERT_EQ(Excel_bookAddSupBook(wb, self, 4), 0);
    const uint8_t external[6] = {1, 0, 2, 0, 'x', 0};
    ASSERT_EQ(Excel_bookAddSupBook(wb, external, 6), 0);
    ASSERT_EQ(Excel_bookAddExternSheet(wb, 0, 1, 1), 0);
    ASSERT_EQ(Excel_bookAddExternSheet(wb, 1, 1, 1), 0);
    ASSERT_EQ(Excel_bookAddExternSheet(wb, 0, 0, 1), 0);
    ASSERT_EQ(Excel_bookAddExternSheet(wb, 0, 1, 2), 0);
    ExcelBookItem *item = nullptr;
    ASSERT_EQ(Excel_bookExternSheet(wb, 0, &count, &item), 0);
    EXPECT_EQ(item, b);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Excel_bookExternSheet(wb, 1, &count, &item), Res_nullInput);
    EXPECT_EQ(Excel_bookExternSheet(wb, 9, &count, &item), Res_nullInput);
    uint16_t *indices = nullptr;
    ASSERT_EQ(Excel_bookRefsTo(wb, b, &count, &indices), 0);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[1], 3);
    Mem_free(indices);
    ExcelBookItem stranger{};
    EXPECT_EQ(Excel_bookRefsTo(wb, &stranger, &count, &indices), Res_mapNotFound);

    // The workbook's own item goes first; the record stays for the sheets
    // and the chart, and goes with the last of them, the module aside.
    Excel_workbookRelease(wb);
    Excel_sheetDetach(wb, reinterpret_cast<ExcelSheet *>(&sheetA));
    Excel_chartDetach(wb, reinterpret_cast<XlsChart *>(&chart));
    EXPECT_EQ(Excel_bookRemoveItem(wb, &stranger), Res_mapNotFound);
    EXPECT_EQ(wb->items, b);
    Excel_sheetDetach(wb, reinterpret_cast<ExcelSheet *>(&sheetB)); // frees everything
}

TEST_F(Workbook, SharedStringsFormatsAndXfs)
{
    ExcelWorkbook *wb = nullptr;
    ASSERT_EQ(Excel_workbookCreate(&wb), 0);
    ExcelSstEntry *table = static_cast<ExcelSstEntry *>(Mem_calloc(2, sizeof(ExcelSstEntry)));
    table[0].text = Ustr_dup(u"alpha");
    table[1].text = Ustr_dup(u"beta");
    table[1].runCount = 1;
    table[1].runs = static_cast<ExcelRun *>(Mem_malloc(sizeof(ExcelRun)));
    table[1].runs[0] = ExcelRun{1, 5};
    Excel_sstSet(wb, table, 2);

    ExcelSstEntry e{};
    e.text = Ustr_dup(u"alpha");
    uint32_t index = 99;
    int taken = 1;
    ASSERT_EQ(Excel_sstAdd(wb, &e, &index, &taken), 0);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(taken, 0);
    Mem_free(e.text);
    e.text = Ustr_dup(u"beta"); // same text, other runs
    ASSERT_EQ(Excel_sstAdd(wb, &e, &index, &taken), 0);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(Excel_sstAdd(wb, nullptr, &index, &taken), Res_missingArgument);

    Excel_sstAddRef(wb, 1);
    Excel_sstAddRef(wb, 1);
    Excel_sstAddRef(wb, 7);
    Excel_sstRelease(wb, 1);
    EXPECT_NE(wb->sst[1].text, nullptr);
    Excel_sstRelease(wb, 1);
    EXPECT_EQ(wb->sst[1].text, nullptr); // waits on the pending list
    EXPECT_EQ(wb->sst[1].runs, nullptr);
    ASSERT_NE(wb->pending, nullptr);
    EXPECT_EQ(std::u16string(wb->pending->text), u"beta");
    Excel_sstRelease(wb, 1);
    Excel_sstRelease(wb, 70);

    // Formats: index 1024 is the last slot; a larger one is refused.
    EXPECT_EQ(Excel_formatSet(wb, 1024, Ustr_dup(u"0.0")), 0);
    EXPECT_EQ(wb->formatCount, 1025u);
    EXPECT_EQ(Excel_formatSet(wb, 1025, Ustr_dup(u"0.0")), Res_tableFull);
    EXPECT_EQ(Excel_formatSet(nullptr, 3, Ustr_dup(u"0.0")), Res_missingArgument);
    ASSERT_EQ(Excel_addBuiltinFormats(nullptr, wb), 0);
    EXPECT_EQ(utf8(wb->formats[14]), "dd/mm/yyyy");
    EXPECT_EQ(wb->formats[30][0], 0);
    // A FORMAT record with index 14 replaces the locale date format.
    EXPECT_EQ(Excel_formatSet(wb, 14, Ustr_dup(u"yyyy-mm-dd")), 0);
    EXPECT_EQ(utf8(wb->formats[14]), "yyyy-mm-dd");
    EXPECT_EQ(Excel_formatSet(wb, 200, Ustr_dup(u"GENERAL")), 0);

    ExcelXf x{};
    x.fontIndex = 5;
    x.formatIndex = 200;
    EXPECT_EQ(Excel_xfAdd(wb, &x, 0), 0);
    EXPECT_EQ(Excel_xfAdd(wb, &x, 0), 1);
    EXPECT_EQ(Excel_xfAdd(wb, &x, 1), 0);
    x.indent = 2;
    EXPECT_EQ(Excel_xfAdd(wb, &x, 1), 2);
    x.fontIndex = 1;
    x.formatIndex = 14;
    EXPECT_EQ(Excel_xfAdd(wb, &x, 1), 3);
    EXPECT_EQ(Excel_styleAdd(wb, 0x8000 | 15), 0);
    EXPECT_EQ(wb->styleCount, 1u);

    // Fonts: index 5 is the fifth font read (slot 4); "GENERAL" is format 0.
    ExcelFont *fonts[5];
    for (int i = 0; i < 5; i++) {
        fonts[i] = static_cast<ExcelFont *>(Mem_calloc(1, sizeof(ExcelFont)));
        fonts[i]->height = static_cast<uint16_t>(100 + i);
    }
    ASSERT_EQ(Excel_resolveXfRefs(wb->xfs, wb->xfCount, fonts, 5, wb->formats, wb->formatCount), 0);
    EXPECT_EQ(wb->xfs[0].font, fonts[4]);
    EXPECT_EQ(wb->xfs[0].formatIndex, 0);
    EXPECT_EQ(utf8(wb->xfs[0].format), "General");
    EXPECT_EQ(wb->xfs[3].font, fonts[1]);
    EXPECT_EQ(utf8(wb->xfs[3].format), "yyyy-mm-dd");
    EXPECT_EQ(Excel_resolveXfRefs(wb->xfs, wb->xfCount, fonts, 4, wb->formats, wb->formatCount),
              Res_excelNoFont);
    EXPECT_EQ(Excel_resolveXfRefs(nullptr, 1, fonts, 5, wb->formats, wb->formatCount),
              Res_excelNoXfTable);
    // The workbook owns its fonts.
    wb->fonts = static_cast<ExcelFont **>(Mem_malloc(sizeof fonts));
    memcpy(wb->fonts, fonts, sizeof fonts);
    wb->fontCount = 5;
    Excel_workbookRelease(wb);
}

TEST_F(Workbook, OutOfMemory)
{
    for (uint32_t n = 1;; n++) {
        ExcelWorkbook *wb = nullptr;
        Mem_failAfter(n);
        int rc = Excel_workbookCreate(&wb);
        if (rc == 0)
            rc = Excel_addBuiltinFormats(nullptr, wb);
        ExcelBookItem *item = nullptr;
        int sheet = 0;
        if (rc == 0)
            rc = Excel_bookAddSheet(wb, reinterpret_cast<ExcelSheet *>(&sheet), u"S", &item);
        Mem_failAfter(0);
        if (wb) {
            if (item)
                Excel_sheetDetach(wb, reinterpret_cast<ExcelSheet *>(&sheet));
            Excel_workbookRelease(wb);
        }
        if (rc == 0)
            break;
        EXPECT_EQ(rc, 1);
        ASSERT_LT(n, 200u);
    }
}

} // namespace
