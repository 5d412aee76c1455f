// HTTP dates against the table that make_httpdates.py wrote with Python's
// email.utils, plus the writer's replacements of out-of-range parts, month
// names and the local breakdown.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/time/date.h"
#include "core/time/httpdate.h"
#include "tests/support/test_engine.h"

namespace {

TEST(HttpDate, ParseAndFormatMatchThePythonTable)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/web/httpdates.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        size_t a = line.find('\t'), b = line.find('\t', a + 1);
        ASSERT_NE(b, std::string::npos) << line;
        std::string kind = line.substr(0, a), x = line.substr(a + 1, b - a - 1),
                    y = line.substr(b + 1);
        if (kind == "P") {
            EXPECT_EQ(HttpDate_parse(x.c_str()), std::stoll(y)) << x;
        } else {
            BrokenTime t;
            Time_gmtime(std::stoll(x), &t);
            char out[HttpDate_textSize];
            memset(out, 'x', sizeof out);
            HttpDate_format(&t, out);
            EXPECT_EQ(std::string(out), y) << x;
        }
        rows++;
    }
    EXPECT_GT(rows, 40);
    EXPECT_EQ(HttpDate_parse(nullptr), 0);
}

TEST(HttpDate, FormatReplacesOutOfRangeParts)
{
    struct Case {
        BrokenTime t;
        const char *text;
    } cases[] = {
        {{37, 49, 8, 6, 10, 94, 0, 0, 0}, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {{37, 49, 8, 6, 12, 94, 0, 0, 0}, "Sun, 06 Jan 1994 08:49:37 GMT"},
        {{37, 49, 8, 6, -1, 94, 7, 0, 0}, "Sun, 06 Jan 1994 08:49:37 GMT"},
        {{37, 49, 8, 0, 10, 10000 - 1900, 6, 0, 0}, "Sat, 01 Nov 0000 08:49:37 GMT"},
        {{60, 60, 24, 32, 10, -1901, -1, 0, 0}, "Sun, 01 Nov 0000 00:00:00 GMT"},
        {{59, 59, 23, 31, 11, 9999 - 1900, 5, 0, 0}, "Fri, 31 Dec 9999 23:59:59 GMT"},
    };
    for (const Case &c : cases) {
        char out[HttpDate_textSize];
        memset(out, 'x', sizeof out);
        HttpDate_format(&c.t, out);
        EXPECT_EQ(out[29], 0);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(HttpDate, MonthIndexIgnoresCaseAndNeedsThreeLetters)
{
    EXPECT_EQ(HttpDate_monthIndex("Jan"), 0);
    EXPECT_EQ(HttpDate_monthIndex("dEcember"), 11);
    EXPECT_EQ(HttpDate_monthIndex("SEP"), 8);
    EXPECT_EQ(HttpDate_monthIndex("Ja"), -1);
    EXPECT_EQ(HttpDate_monthIndex(""), -1);
    EXPECT_EQ(HttpDate_monthIndex(nullptr), -1);
}

// The dashed date takes a year of two or four digits; any other count is
// malformed, however many digits there are (a long run once overflowed the
// year while it was being summed).
TEST(HttpDate, DashedDateYearsOfTwoOrFourDigitsOnly)
{
    const std::string longYear(60, '3');
    const struct {
        std::string text;
        int64_t seconds;
    } cases[] = {
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-994 08:49:37 GMT", 0},
        {"Sunday, 06-Nov-19940 08:49:37 GMT", 0},
        {"Sunday, 06-Nov-4294967296 08:49:37 GMT", 0},
        {"Wednesday, 08-Apr-94" + longYear + " 08:49:17 GMT", 0},
        {"Wednesday, 08-Apr-" + longYear + " 08:49:17 GMT", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HttpDate_parse(c.text.c_str()), c.seconds) << c.text;
}

TEST(HttpDate, RoundTripAfter2038)
{
    for (int64_t s : {int64_t(2147483648), int64_t(4102444800), int64_t(4294967296) + 12345}) {
        BrokenTime t;
        Time_gmtime(s, &t);
        char out[HttpDate_textSize];
        HttpDate_format(&t, out);
        EXPECT_EQ(HttpDate_parse(out), s) << out;
    }
}

TEST(HttpDate, LocalPartsAddTheZoneOffset)
{
    TestEngine e{};
    ASSERT_TRUE(TestEngine_open(&e));
    Time_setZoneOffset(e.instance, 3600);
    BrokenTime t;
    Date_toLocalParts(&t, 784111777);
    EXPECT_EQ(t.hour, 9);
    EXPECT_EQ(t.min, 49);
    EXPECT_EQ(t.mday, 6);
    EXPECT_EQ(t.isdst, 0);
    Date_toLocalParts(nullptr, 0);
    Time_setZoneOffset(e.instance, 0);
    TestEngine_close(&e);
}

} // namespace
