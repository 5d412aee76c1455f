// Typed cell input: numbers, grouped numbers, scientific notation, dates
// in the locale's order, times, dates with times, and text.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/time/date.h"
#include "core/time/localeset.h"
#include "core/time/httpdate.h"
#include "spreadsheet/format/input.h"
#include "spreadsheet/format/numfmt.h"
#include "tests/support/heap_fixture.h"

namespace {

class TypedInput : public LeakCheckedContextTest<(4u << 20)> {
  protected:
    struct Result {
        double value;
        uint16_t format;
    };
    Result parse(const char *text)
    {
        Result r{-1, 0xFFFF};
        EXPECT_EQ(Excel_Input_parse(nullptr, text, &r.value, &r.format), 0) << text;
        return r;
    }
    static double serial(int32_t y, int32_t m, int32_t d)
    {
        Excel_Date date{d, m - 1, y - 1900};
        return Excel_Date_toSerial(&date);
    }
};

TEST_F(TypedInput, Numbers)
{
    const struct {
        const char *text;
        double value;
        uint16_t format;
    } cases[] = {
        {"1234", 1234, 0},   {"  -12.5  ", -12.5, 0}, {"+7", 7, 0},
        {"1,234", 1234, 3},  {"1,234.5", 1234.5, 4},  {"-1,234,567.25", -1234567.25, 4},
        {"1.5E3", 1500, 11}, {"2e-2", 0.02, 11},      {"1,23", 0, 49},
        {"1,2345", 0, 49},   {"1234,567", 0, 49},     {"1.2.3", 0, 49},
        {"1E2E3", 0, 49},    {"1.5,000", 0, 49},      {".5", 0, 49},
        {"E5", 0, 49},       {"12abc", 0, 49},        {"", 0, 49},
        {"hello", 0, 49},
    };
    for (const auto &c : cases) {
        Result r = parse(c.text);
        EXPECT_EQ(r.format, c.format) << c.text;
        EXPECT_DOUBLE_EQ(r.value, c.value) << c.text;
    }
    EXPECT_EQ(Excel_Input_parse(nullptr, nullptr, nullptr, nullptr), 16);
}

TEST_F(TypedInput, DatesAndTimes)
{
    BrokenTime now;
    Date_toLocalParts(&now, Date_now(nullptr));
    int32_t year = now.year + 1900;
    const struct {
        const char *text;
        double value;
        uint16_t format;
    } cases[] = {
        {"3/4/2007", serial(2007, 4, 3), 14}, // day first by default
        {"31/02/2007", 0, 49},                // no such day
        {"29/02/1900", 60, 14},
        {"29/02/1901", 0, 49},
        {"01-03-1900", 61, 14},
        {"31.12.2007", serial(2007, 12, 31), 14},
        {"1.2.3", 0, 49}, // points need a four-digit year
        {"3/4/07", serial(2007, 4, 3), 14},
        {"3/4/45", serial(1945, 4, 3), 14},
        {"3/4", serial(year, 4, 3), 14},
        {"3 Jan 2007", serial(2007, 1, 3), 14},
        {"Jan 3, 2007", serial(2007, 1, 3), 14},
        {"3 september 2007", serial(2007, 9, 3), 14},
        {"3 Ja 2007", 0, 49}, // names need three letters
        {"3/13/2007", 0, 49},
        {"3/4/1899", 0, 49},
        {"3/4/10000", 0, 49},
        {"3//4/2007", 0, 49},
        {"3/4-2007", 0, 49},
        {"12:30", 0.5208333333333334, 20},
        {"12:30:15", (12 * 3600 + 30 * 60 + 15) / 86400.0, 21},
        {"0:00:01.5", 1.5 / 86400, 21},
        {"6:00 PM", 0.75, 20},
        {"12:00am", 0, 20},
        {"13:00 PM", 0, 49},
        {"12:60", 0, 49},
        {"3/4/2007 12:30", serial(2007, 4, 3) + 0.5208333333333334, 22},
        {"3/4/2007 00:00", serial(2007, 4, 3), 14},
        {"3/4/2007 x", 0, 49},
    };
    for (const auto &c : cases) {
        Result r = parse(c.text);
        EXPECT_EQ(r.format, c.format) << c.text;
        EXPECT_NEAR(r.value, c.value, 1e-12) << c.text;
    }
}

TEST_F(TypedInput, LocaleOrder)
{
    ctx->config = Config_createStore(ctx, u"test");
    ASSERT_NE(ctx->config, nullptr);
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateShort", u"mm/dd/yyyy", 0);
    Result r = parse("3/4/2007");
    EXPECT_EQ(r.value, serial(2007, 3, 4));
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateShort", u"yyyy-mm-dd", 0);
    r = parse("2007-03-04");
    EXPECT_EQ(r.value, serial(2007, 3, 4));
    EXPECT_EQ(r.format, 14);
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
    // Without configuration the Japanese locale puts the year first.
    ASSERT_EQ(Locale_setCurrent(heap.instance, "ja-jp"), 1);
    r = parse("2007/3/4");
    EXPECT_EQ(r.value, serial(2007, 3, 4));
    ASSERT_EQ(Locale_setCurrent(heap.instance, "en-gb"), 1);
}

// A workbook's load asks for the locale's date code without a default,
// which leaves the key in the configuration without a text. Typed text
// and dates are still read (with the day-month-year order), not refused as
// a failure to find memory.
TEST_F(TypedInput, ALocaleKeyWithoutTextFallsBackToTheDefaultOrder)
{
    ctx->config = Config_createStore(ctx, u"test");
    ASSERT_NE(ctx->config, nullptr);
    Mem_free(Config_getUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateShort", nullptr));
    Result r = parse("Item and more");
    EXPECT_EQ(r.format, Excel_inputText);
    r = parse("3/4/2007");
    EXPECT_EQ(r.value, serial(2007, 4, 3));
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
}

TEST_F(TypedInput, Readers)
{
    double v;
    uint16_t f;
    int grouped;
    EXPECT_EQ(Excel_Input_parseNumber("1,234.5x", &v, &f, &grouped), 7u);
    EXPECT_EQ(grouped, 1);
    EXPECT_EQ(Excel_Input_parseNumber("x1", &v, &f, &grouped), 0u);
    EXPECT_EQ(Excel_Input_parseNumber("1e", &v, &f, &grouped), 1u);
    EXPECT_EQ(Excel_Input_parseTime("7:05 rest", &v), 4u);
    EXPECT_NEAR(v, (7 * 60 + 5) / 1440.0, 1e-15);
    EXPECT_EQ(Excel_Input_parseTime("7", &v), 0u);
    Excel_Date d;
    EXPECT_EQ(Excel_Input_parseDate("4/5 9:00", &d, "mdy", 100), 3u);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 5);
    EXPECT_EQ(d.year, 100);
    double value = 0.25;
    Excel_Input_makeDate(1, 1, 1900, &f, &value);
    EXPECT_EQ(f, 22);
    EXPECT_EQ(value, 1.25);
    value = 0;
    Excel_Input_makeDate(31, 12, 9999, &f, &value);
    EXPECT_EQ(f, 14);
    EXPECT_EQ(value, 2958465.0);
    Excel_Input_makeDate(0, 12, 2000, &f, &value);
    EXPECT_EQ(f, 49);
}

TEST_F(TypedInput, OutOfMemory)
{
    ctx->config = Config_createStore(ctx, u"test");
    ASSERT_NE(ctx->config, nullptr);
    for (uint32_t n = 1;; n++) {
        double v;
        uint16_t f;
        Mem_failAfter(n);
        int rc = Excel_Input_parse(nullptr, "3/4/2007", &v, &f);
        Mem_failAfter(0);
        if (rc == 0) {
            EXPECT_EQ(f, 14);
            break;
        }
        EXPECT_EQ(rc, 1);
        ASSERT_LT(n, 50u);
    }
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
}

} // namespace
