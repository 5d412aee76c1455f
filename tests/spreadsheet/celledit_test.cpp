// Spreadsheet contents editing steps: A1 references both ways, the edit
// text of values (the locale's date-time form of format 22), the palette
// match, the property exchange with a cell's rule, validation, row-height
// limits, error reports and the EditData round trip.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/number.h"
#include "spreadsheet/edit/celledit.h"
#include "document/edit/editdata.h"
#include "platform/api/editing.h"
#include "spreadsheet/reader/sheet.h"
#include "tests/support/heap_fixture.h"

namespace {

class CellEditTest : public LeakCheckedContextTest<> {};

TEST_F(CellEditTest, ReferencesBothWays)
{
    const struct {
        uint32_t row, column;
        const char *text;
    } out[] = {{0, 0, "A1"},   {9, 25, "Z10"},  {0, 26, "AA1"},  {65535, 255, "IV65536"},
               {4, 51, "AZ5"}, {0, 701, "ZZ1"}, {0, 702, "AAA1"}};
    for (const auto &c : out) {
        char buffer[24];
        size_t n = Excel_CellEdit_refText(c.row, c.column, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(n, strlen(c.text));
    }
    char buffer[24];
    Excel_CellEdit_refText(0xFFFFFFFF, 0xFFFFFFFF, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "MWLQKWV4294967296");

    const struct {
        const char *text;
        int result;
        int32_t row, column;
    } in[] = {
        {"A1", 0, 0, 0},
        {"AA1", 0, 0, 26},
        {"aa1", 0, 0, 26},
        {"iV65536", 0, 65535, 255},
        {"Z100", 0, 99, 25},
        {"A0", 0, -1, 0},
        {"A00001", 0, 0, 0},
        {"AB", 25, 0, 0},
        {"12", 25, 0, 0},
        {"1A", 25, 0, 0},
        {"A1B", 25, 0, 0},
        {"", 25, 0, 0},
        {"A 1", 25, 0, 0},
        {"A-1", 25, 0, 0},
        {"AAA1", 25, 0, 0},
        {"A123456", 25, 0, 0},
        {"ZZZZZZZZZZZZZZ1", 25, 0, 0},
        {"A99999999999999999999", 25, 0, 0},
    };
    for (const auto &c : in) {
        int32_t row = 7, column = 7;
        EXPECT_EQ(Excel_CellEdit_parseRef(c.text, &row, &column), c.result) << c.text;
        EXPECT_EQ(row, c.row) << c.text;
        EXPECT_EQ(column, c.column) << c.text;
    }
    int32_t row, column;
    EXPECT_EQ(Excel_CellEdit_parseRef(nullptr, &row, &column), 25);
}

TEST_F(CellEditTest, EditFormatsAndFormulaText)
{
    const uint32_t dates[] = {14, 15, 16, 17, 30, 31, 55, 56, 57, 58};
    for (uint32_t f : dates)
        EXPECT_EQ(Excel_CellEdit_editFormat(f), 14u) << f;
    const uint32_t times[] = {18, 19, 20, 21, 45, 47};
    for (uint32_t f : times)
        EXPECT_EQ(Excel_CellEdit_editFormat(f), 21u) << f;
    EXPECT_EQ(Excel_CellEdit_editFormat(22), 22u);
    EXPECT_EQ(Excel_CellEdit_editFormat(46), 46u);
    EXPECT_EQ(Excel_CellEdit_editFormat(2), 0u);
    EXPECT_EQ(Excel_CellEdit_editFormat(49), 0u);

    const struct {
        const char *text;
        int formula;
    } cases[] = {{"=A1", 1}, {"=", 0},  {"==A1", 0}, {"--1", 1}, {"+-1", 1}, {"++1", 1},
                 {"-+1", 1}, {"-1", 0}, {"+", 0},    {"abc", 0}, {"", 0}};
    for (const auto &c : cases)
        EXPECT_EQ(Excel_CellEdit_isFormulaText(c.text), c.formula) << c.text;
}

std::string valueText(EngineContext *ctx, const ExcelCellEdit &v, const char *formula,
                      const char *language, uint32_t date1904 = 0)
{
    char *out = nullptr;
    EXPECT_EQ(Excel_CellEdit_valueText(ctx, &v, formula, language, date1904, &out), 0);
    std::string s = out ? out : "<null>";
    Mem_free(out);
    return s;
}

TEST_F(CellEditTest, ValueTexts)
{
    ExcelCellEdit v{};
    v.kind = Excel_editNumber;
    v.format = 22;
    v.value.number = 39448.5; // 2008-01-01 12:00
    EXPECT_EQ(valueText(ctx, v, nullptr, "en-gb"), "01/01/2008 12:00:00");
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "01/01/2008 12:00:00");
    EXPECT_EQ(valueText(ctx, v, nullptr, "ja-jp"), "2008/01/01 12:00:00");
    // The same serial in a workbook of the 1904 date system.
    EXPECT_EQ(valueText(ctx, v, nullptr, "en-gb", 1), "02/01/2012 12:00:00");
    v.format = 15; // a date edits as format 14
    char16_t *f14 = nullptr;
    ASSERT_EQ(Excel_CellEdit_localeDateFormat(ctx, "en-gb", &f14), 0);
    EXPECT_EQ(std::u16string(f14), u"dd/mm/yyyy hh:mm:ss");
    Mem_free(f14);
    v.format = 2; // "0.00" edits as General
    v.value.number = 2.5;
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "2.5");
    v.format = 170; // a user format: a number as General
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "2.5");
    v.kind = Excel_editInteger;
    v.value.integer = -2147483647 - 1;
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "-2147483648");
    v.kind = Excel_editText;
    v.value.text = ExcelSstEntry{};
    v.value.text.text = const_cast<char16_t *>(u"Total");
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "Total");
    v.kind = Excel_editNone;
    EXPECT_EQ(valueText(ctx, v, nullptr, nullptr), "");
    EXPECT_EQ(valueText(ctx, v, "SUM(A1:A3)", nullptr), "=SUM(A1:A3)");
}

TEST_F(CellEditTest, NearestColour)
{
    const uint32_t palette[4] = {0x000000FF, 0xFF0000FF, 0x00FF00FF, 0xFF000000};
    const struct {
        uint8_t rgba[4];
        uint32_t index;
    } cases[] = {{{255, 0, 0, 255}, 1}, {{255, 0, 0, 0}, 3},    {{250, 10, 0, 255}, 1},
                 {{0, 200, 0, 255}, 2}, {{10, 10, 10, 255}, 0}, {{128, 128, 0, 255}, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(Excel_CellEdit_nearestColour(palette, 4, c.rgba), c.index);
    const uint8_t red[4] = {255, 0, 0, 255};
    EXPECT_EQ(Excel_CellEdit_nearestColour(nullptr, 0, red), 0u);
}

TEST_F(CellEditTest, PropertyExchange)
{
    const uint32_t palette[3] = {0x000000FF, 0xFF0000FF, 0x0000FFFF};
    CellEdit *e = Excel_CellEdit_new(2, 3);
    ASSERT_NE(e, nullptr);
    Prop v{};
    const struct {
        uint32_t id, keyword;
    } keys[] = {{43, 29}, {41, 105}, {80, 88}, {95, 168}, {79, 171}, {135, 147}};
    for (const auto &k : keys) {
        Prop_setType(&v, k.id, uint16_t(k.keyword));
        Excel_CellEdit_takeProp(e, &v, palette, 3);
    }
    const uint8_t blue[4] = {0, 0, 250, 255};
    Prop_setColour(&v, 29, blue);
    Excel_CellEdit_takeProp(e, &v, palette, 3);
    Prop_setLength(&v, 38, Units_pointsToLength(14));
    Excel_CellEdit_takeProp(e, &v, palette, 3);
    Prop_setUstr(&v, 37, const_cast<char16_t *>(u"Verdana"), 7);
    Excel_CellEdit_takeProp(e, &v, palette, 3);
    EXPECT_EQ(e->styleFlags,
              uint32_t(CellEdit_bold | CellEdit_italic | CellEdit_strike | CellEdit_underline2));
    EXPECT_EQ(e->hAlign, uint32_t(CellEdit_alignMiddle));
    EXPECT_EQ(e->vAlign, uint32_t(CellEdit_alignMiddle));
    EXPECT_EQ(e->colourIndex, 2u);
    EXPECT_EQ(e->fontSize, 14u);
    EXPECT_STREQ(e->fontName, "Verdana");

    // Back into a rule: every property of the exchange, in order.
    int32_t notices[3];
    uint32_t noticeCount = 9;
    StyleRule *rule = nullptr;
    ASSERT_EQ(Excel_CellEdit_makeRule(e, nullptr, palette, 3, &rule, notices, &noticeCount), 0);
    EXPECT_EQ(noticeCount, 0u);
    const struct {
        uint32_t id, type;
    } want[] = {{43, 28}, {41, 79}, {80, 88}, {95, 60},  {29, 8},
                {37, 9},  {38, 2},  {79, 86}, {135, 147}};
    StylePropItem *item = StyleRule_firstProp(rule);
    for (const auto &w : want) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->value.id, w.id);
        EXPECT_EQ(item->value.type, w.type) << w.id;
        item = item->next;
    }
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(Prop_getColour(&StyleRule_findProp(rule, 29)->value), 0xFFFF0000u);
    StyleRule_destroy(rule);

    // Out-of-range dialog values keep the current cell's and are reported.
    CellEdit *current = Excel_CellEdit_new(2, 3);
    current->fontSize = 11;
    current->colourIndex = 1;
    ASSERT_EQ(Excel_CellEdit_finish(current), 0);
    e->fontSize = 200;
    e->colourIndex = 56;
    e->fontName[0] = 0;
    e->styleFlags = 0;
    ASSERT_EQ(Excel_CellEdit_makeRule(e, current, palette, 3, &rule, notices, &noticeCount), 0);
    ASSERT_EQ(noticeCount, 3u);
    EXPECT_EQ(notices[0], 39);
    EXPECT_EQ(notices[1], 42);
    EXPECT_EQ(notices[2], 40);
    EXPECT_EQ(Prop_getLength(&StyleRule_findProp(rule, 38)->value), Units_pointsToLength(11));
    EXPECT_EQ(Prop_getType(&StyleRule_findProp(rule, 43)->value), 25);
    EXPECT_EQ(StyleRule_findProp(rule, 41), nullptr);
    StyleRule_destroy(rule);
    Excel_CellEdit_free(current);
    Excel_CellEdit_free(e);
}

TEST_F(CellEditTest, ValidationAndLimits)
{
    CellEdit *e = Excel_CellEdit_new(0, 0);
    ASSERT_EQ(Excel_CellEdit_finish(e), 0);
    EXPECT_EQ(e->fontSize, 10u);
    EXPECT_STREQ(e->fontName, "Arial");
    EXPECT_STREQ(e->text, "");
    EXPECT_EQ(Excel_CellEdit_validate(e), 41); // no format string
    e->formatString = static_cast<char *>(Mem_calloc(1, 1));
    EXPECT_EQ(Excel_CellEdit_validate(e), 0);
    e->fontSize = 200;
    EXPECT_EQ(Excel_CellEdit_validate(e), 40);
    e->fontSize = 1;
    EXPECT_EQ(Excel_CellEdit_validate(e), 40);
    e->fontSize = 144;
    e->colourIndex = 56;
    EXPECT_EQ(Excel_CellEdit_validate(e), 42);
    e->colourIndex = 55;
    Mem_free(e->fontName);
    e->fontName = nullptr;
    EXPECT_EQ(Excel_CellEdit_validate(e), 39);
    Excel_CellEdit_free(e);

    const struct {
        uint32_t in, out;
    } heights[] = {{5000, 10000}, {400000, 372245}, {10000, 10000},      {372245, 372245},
                   {0, 10000},    {20000, 20000},   {0xFFFFFFFF, 372245}};
    for (const auto &h : heights)
        EXPECT_EQ(Excel_CellEdit_clampRowHeight(h.in), h.out) << h.in;

    const struct {
        int code;
        int32_t notice, host;
    } errors[] = {{0, 0, 0},        {1, 0, 0x10006},     {26112, 4096, 0},
                  {26118, 4096, 0}, {26119, 4098, 0},    {26120, 4097, 0},
                  {26121, 4097, 0}, {26122, 0, 0x10003}, {259, 0, 0x10003}};
    for (const auto &c : errors) {
        int32_t notice = -1, host = -1;
        Excel_CellEdit_errorReport(c.code, &notice, &host);
        EXPECT_EQ(notice, c.notice) << c.code;
        EXPECT_EQ(host, c.host) << c.code;
    }
}

TEST_F(CellEditTest, EditDataRoundTrip)
{
    char a[] = "Arial", t[] = "Times", c[] = "Courier", rest[] = "Bold";
    char *names[3] = {a, t, c};
    char *rests[3] = {nullptr, rest, nullptr};
    EditModeRecord record{};
    record.report.fontCount = 3;
    record.report.fontNames = names;
    record.fontRests = rests;

    CellEdit *e = Excel_CellEdit_new(4, 27);
    e->text = static_cast<char *>(Mem_malloc(4));
    strcpy(e->text, "=A1");
    e->fontName = static_cast<char *>(Mem_malloc(8));
    strcpy(e->fontName, "Courier");
    e->fontSize = 12;
    e->colourIndex = 9;
    e->styleFlags = CellEdit_bold;
    e->formulaReadable = 0;
    e->rowHeight = 17000;
    e->columnWidth = 60000;
    EditData d{};
    ASSERT_EQ(EditData_fromCell(e, &record, &d), 0);
    EXPECT_EQ(d.kind, 4065u);
    EXPECT_STREQ(d.cellRef, "AB5");
    EXPECT_STREQ(d.text, "=A1");
    EXPECT_EQ(d.fontIndex, 2);
    EXPECT_EQ(d.fontSize, 12u << 16);
    EXPECT_EQ(d.formulaUnreadable, 1u);
    EXPECT_STREQ(d.formatString, "General");
    EXPECT_EQ(d.extra1, 0u);
    EXPECT_EQ(d.colourIndex2, 0);
    EXPECT_EQ(d.rowHeight, 17000u);
    Excel_CellEdit_free(e);

    d.fontIndex = 1;
    CellEdit *back = nullptr;
    ASSERT_EQ(EditData_toCellEdit(&d, &record, &back), 0);
    EXPECT_STREQ(back->fontName, "Times,Bold");
    EXPECT_EQ(back->fontSize, 12u);
    EXPECT_EQ(back->formatIndex, 164u);
    EXPECT_STREQ(back->formatString, "General");
    EXPECT_EQ(back->columnWidth, 60000u);
    Excel_CellEdit_free(back);
    // A font index outside the list leaves no name (validation says 39).
    d.fontIndex = 3;
    ASSERT_EQ(EditData_toCellEdit(&d, &record, &back), 0);
    EXPECT_EQ(back->fontName, nullptr);
    EXPECT_EQ(Excel_CellEdit_validate(back), 39);
    Excel_CellEdit_free(back);
    for (int n = 1; n <= 4; n++) {
        Mem_failAfter(n);
        int rc = EditData_toCellEdit(&d, &record, &back);
        Mem_failAfter(0);
        EXPECT_TRUE(rc == 0 || rc == 1);
        Excel_CellEdit_free(back);
    }
    EditData_freeStrings(&d);
}

} // namespace
