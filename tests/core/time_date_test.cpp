// Dates and times: the calendar against Python's (fixture made by
// tests/fixtures/time/make_time_fixtures.py), carries of out-of-range
// fields, 64-bit dates past 2038, the local-time offset, the three HTTP date
// forms and refused texts, and the timestamp text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/time/date.h"
#include "core/time/localeset.h"
#include "tests/support/test_engine.h"

namespace {

BrokenTime utc(int year, int month, int day, int hour = 0, int min = 0, int sec = 0)
{
    BrokenTime t = {};
    t.year = year - 1900;
    t.mon = month - 1;
    t.mday = day;
    t.hour = hour;
    t.min = min;
    t.sec = sec;
    return t;
}

struct CalendarLine {
    int64_t seconds;
    int year, month, day, hour, min, sec, wday, yday;
};

std::vector<CalendarLine> readCalendar()
{
    std::vector<CalendarLine> lines;
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/time/calendar.txt");
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream s(text);
        CalendarLine l;
        s >> l.seconds >> l.year >> l.month >> l.day >> l.hour >> l.min >> l.sec >> l.wday >>
            l.yday;
        if (s)
            lines.push_back(l);
    }
    return lines;
}

// ------------------------------------------------------------- calendar

TEST(DateCalendar, AgreesWithPython)
{
    std::vector<CalendarLine> lines = readCalendar();
    ASSERT_GT(lines.size(), 600u);
    for (const CalendarLine &l : lines) {
        BrokenTime t;
        memset(&t, 0x55, sizeof t);
        Time_gmtime(l.seconds, &t);
        SCOPED_TRACE(l.seconds);
        EXPECT_EQ(t.year + 1900, l.year);
        EXPECT_EQ(t.mon + 1, l.month);
        EXPECT_EQ(t.mday, l.day);
        EXPECT_EQ(t.hour, l.hour);
        EXPECT_EQ(t.min, l.min);
        EXPECT_EQ(t.sec, l.sec);
        EXPECT_EQ(t.wday, l.wday);
        EXPECT_EQ(t.yday, l.yday);
        EXPECT_EQ(t.isdst, -1);

        BrokenTime f;
        f.isdst = 7;
        Time_fromSeconds(&f, l.seconds);
        EXPECT_EQ(f.isdst, 7);
        f.isdst = -1;
        EXPECT_EQ(memcmp(&f, &t, sizeof t), 0);

        BrokenTime back = utc(l.year, l.month, l.day, l.hour, l.min, l.sec);
        back.wday = 99;
        back.yday = -7;
        EXPECT_EQ(Time_timegm(&back), l.seconds);
    }
}

TEST(DateCalendar, KnownInstants)
{
    BrokenTime t;
    Time_gmtime(0, &t);
    EXPECT_EQ(t.year, 70);
    EXPECT_EQ(t.wday, 4);
    Time_gmtime(-1, &t);
    EXPECT_EQ(t.year, 69);
    EXPECT_EQ(t.mday, 31);
    EXPECT_EQ(t.wday, 3);
    EXPECT_EQ(t.yday, 364);
    Time_gmtime(951782400, &t);
    EXPECT_EQ(t.mon, 1);
    EXPECT_EQ(t.mday, 29);
    // Past the 32-bit limit.
    Time_gmtime(int64_t(INT32_MAX) + 1, &t);
    EXPECT_EQ(t.year + 1900, 2038);
    EXPECT_EQ(t.mday, 19);
    EXPECT_EQ(t.hour, 3);
    EXPECT_EQ(t.min, 14);
    EXPECT_EQ(t.sec, 8);
    Time_gmtime(4102444800, &t); // 2100-01-01
    EXPECT_EQ(t.year + 1900, 2100);
    EXPECT_EQ(t.yday, 0);
    EXPECT_EQ(t.wday, 5);
    Time_gmtime(0, nullptr);
    Time_fromSeconds(nullptr, 0);
}

TEST(DateCalendar, YearsAfter2036AreNotCapped)
{
    BrokenTime y2040 = utc(2040, 1, 1);
    EXPECT_EQ(Time_timegm(&y2040), 2208988800);
    BrokenTime y2100 = utc(2100, 3, 1);
    EXPECT_EQ(Time_timegm(&y2100), 4107542400);
    BrokenTime y2106 = utc(2106, 2, 7, 6, 28, 16);
    EXPECT_EQ(Time_timegm(&y2106), int64_t(UINT32_MAX) + 1);
}

TEST(DateCalendar, FieldsOutOfRangeCarry)
{
    struct Case {
        BrokenTime t;
        BrokenTime same;
    } cases[] = {
        {utc(1999, 13, 1), utc(2000, 1, 1)},   // month 12
        {utc(2000, 0, 15), utc(1999, 12, 15)}, // month -1
        {utc(2000, -11, 1), utc(1999, 1, 1)},  // month -12
        {utc(2000, -12, 1), utc(1998, 12, 1)}, // month -13
        {utc(2001, 3, 0), utc(2001, 2, 28)},   // day 0
        {utc(2000, 3, 0), utc(2000, 2, 29)},
        {utc(2100, 1, 60), utc(2100, 3, 1)}, // 2100 has no Feb 29
        {utc(1970, 1, 1, 24), utc(1970, 1, 2)},
        {utc(1970, 1, 1, 0, 0, -1), utc(1969, 12, 31, 23, 59, 59)},
        {utc(1970, 1, 1, 0, -61), utc(1969, 12, 31, 22, 59)},
        {utc(2024, 1, 366), utc(2024, 12, 31)},
        {utc(2023, 1 + 12 * 10, 1), utc(2033, 1, 1)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Time_timegm(&c.t), Time_timegm(&c.same))
            << c.t.year << " " << c.t.mon << " " << c.t.mday;
}

TEST(DateCalendar, ExtremesStayDefined)
{
    // Every field at its limits: 64-bit arithmetic cannot overflow.
    BrokenTime big = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, 0};
    BrokenTime small = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 0, 0, 0};
    EXPECT_GT(Time_timegm(&big), 0);
    EXPECT_LT(Time_timegm(&small), 0);

    // Far instants round-trip while the year fits the record.
    for (int64_t s :
         {int64_t(1) << 40, -(int64_t(1) << 40), Time_limitSeconds, -Time_limitSeconds}) {
        BrokenTime t;
        Time_gmtime(s, &t);
        EXPECT_EQ(Time_timegm(&t), s) << s;
    }
    // Beyond the limit the limit is taken.
    BrokenTime a, b;
    Time_gmtime(INT64_MAX, &a);
    Time_gmtime(Time_limitSeconds, &b);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    Time_gmtime(INT64_MIN, &a);
    Time_gmtime(-Time_limitSeconds, &b);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(Time_timegm(nullptr), 0);
}

TEST(DateNames, Tables)
{
    EXPECT_STREQ(Date_monthName(0), "January");
    EXPECT_STREQ(Date_monthName(8), "September");
    EXPECT_STREQ(Date_monthName(11), "December");
    EXPECT_STREQ(Date_monthShortName(4), "May");
    EXPECT_STREQ(Date_monthShortName(11), "Dec");
    EXPECT_STREQ(Date_weekdayName(0), "Sunday");
    EXPECT_STREQ(Date_weekdayName(3), "Wednesday");
    EXPECT_STREQ(Date_weekdayName(6), "Saturday");
    for (int32_t bad : {-1, 12, INT32_MIN}) {
        EXPECT_EQ(Date_monthName(bad), nullptr);
        EXPECT_EQ(Date_monthShortName(bad), nullptr);
    }
    EXPECT_EQ(Date_weekdayName(7), nullptr);
    EXPECT_EQ(Date_weekdayName(-1), nullptr);
}

// ----------------------------------------------------------- local time

class LocalTime : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 0, 0));
    }
    void TearDown() override
    {
        TestHeap_close(&heap);
    }
    TestHeap heap{};
};

TEST_F(LocalTime, MktimeTakesTheZoneAndDaylightSaving)
{
    BrokenTime t = utc(2040, 6, 1, 12);
    int64_t gm = Time_timegm(&t);
    EXPECT_EQ(Time_zoneOffset(), 0);
    EXPECT_EQ(Std_mktime(&t), gm);
    Time_setZoneOffset(heap.instance, 3600); // local = UTC + 1 h
    EXPECT_EQ(Time_zoneOffset(), 3600);
    EXPECT_EQ(Std_mktime(&t), gm - 3600);
    t.isdst = 1;
    EXPECT_EQ(Std_mktime(&t), gm - 7200);
    t.isdst = -1;
    Time_setZoneOffset(heap.instance, -5 * 3600);
    EXPECT_EQ(Std_mktime(&t), gm + 5 * 3600);
    EXPECT_EQ(Time_dstState(), -1);
    EXPECT_EQ(Std_mktime(nullptr), 0);

    // 2038 and later give the right seconds, not a clamped value.
    Time_setZoneOffset(heap.instance, 0);
    BrokenTime late = utc(2038, 1, 19, 3, 14, 8);
    EXPECT_EQ(Std_mktime(&late), int64_t(INT32_MAX) + 1);

    Host_setInstance(heap.host, nullptr);
    EXPECT_EQ(Time_zoneOffset(), 0);
    Host_setInstance(heap.host, heap.instance);
    Time_setZoneOffset(nullptr, 99);
}

TEST_F(LocalTime, HostLocalTimeCanBeSetByHand)
{
    HostLocalTime set = {2101, 3, 1, 9, 30, 15, 2, 250};
    Headless_setLocalTime(heap.host, &set);
    HostLocalTime got = {};
    Host_getLocalTime(heap.host, &got);
    EXPECT_EQ(memcmp(&set, &got, sizeof set), 0);
    Headless_setLocalTime(heap.host, nullptr);
    Host_getLocalTime(heap.host, &got);
    EXPECT_GE(got.year, 2024);
    EXPECT_GE(got.month, 1);
    EXPECT_LE(got.month, 12);
    EXPECT_LE(got.weekday, 6);
    EXPECT_LE(got.millisecond, 999);
}

// ------------------------------------------------------------ HTTP dates

// Parses text from a buffer of exactly its length, without a terminator,
// so that any read past the length is caught by the sanitizer build.
int parse(const std::string &text, BrokenTime *out, char *zone)
{
    std::vector<char> exact(text.begin(), text.end());
    return Date_parseHttp(exact.empty() ? "" : exact.data(), exact.size(), out, zone);
}

TEST(HttpDate, TheThreeForms)
{
    struct Case {
        const char *text;
        const char *zone;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", "GMT"},
        {"Sunday, 06-Nov-94 08:49:37 GMT", "GMT"},
        {"Sun Nov  6 08:49:37 1994", ""},
    };
    for (const Case &c : cases) {
        BrokenTime t;
        char zone[Date_zoneNameSize] = {'x', 'x', 'x', 'x'};
        ASSERT_EQ(parse(c.text, &t, zone), 0) << c.text;
        EXPECT_EQ(t.year, 94);
        EXPECT_EQ(t.mon, 10);
        EXPECT_EQ(t.mday, 6);
        EXPECT_EQ(t.hour, 8);
        EXPECT_EQ(t.min, 49);
        EXPECT_EQ(t.sec, 37);
        EXPECT_EQ(t.wday, 0);
        EXPECT_EQ(t.yday, 309);
        EXPECT_EQ(t.isdst, 0);
        EXPECT_STREQ(zone, c.zone);
        EXPECT_EQ(Time_timegm(&t), 784111777);
        EXPECT_EQ(parse(c.text, &t, nullptr), 0);
    }
}

TEST(HttpDate, MoreAcceptedDates)
{
    struct Case {
        const char *text;
        int64_t seconds;
    } cases[] = {
        {"Sunday, 06-Nov-50 08:49:37 GMT", 2551337377},  // 50 is 2050
        {"Tuesday, 06-Nov-51 08:49:37 GMT", -572886623}, // 51 is 1951
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Wed, 31 Dec 1969 23:59:59 GMT", -1},
        {"Tue, 19 Jan 2038 03:14:08 GMT", 2147483648},
        {"Mon, 01 Mar 2100 00:00:00 GMT", 4107542400},
        {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799},
        {"Thu, 29 Feb 2024 12:00:00 GMT", 1709208000},
        {"Sat, 29 Feb 2000 00:00:00 GMT", 951782400},
        {"Sat, 31 Dec 2016 23:59:60 GMT", 1483228800}, // a leap second carries
        {"Thu Feb 29 23:59:59 2024", 1709251199},
        {"Fri Nov 15 00:00:00 2030 and more", 1920931200},
        {"Sun, 06 Nov 1994 08:49:37 GMT+junk after", 784111777},
        {"Mon, 06 Nov 1994 08:49:37 GMT", 784111777}, // weekday taken as given
    };
    for (const Case &c : cases) {
        BrokenTime t;
        ASSERT_EQ(parse(c.text, &t, nullptr), 0) << c.text;
        EXPECT_EQ(Time_timegm(&t), c.seconds) << c.text;
    }
}

TEST(HttpDate, RefusedTexts)
{
    const char *bad[] = {
        "sun, 06 Nov 1994 08:49:37 GMT", // lower-case weekday
        "Sun, 06 nov 1994 08:49:37 GMT", // lower-case month
        "Sun, 06 Nov 1994 08:49:37 GM",  // 28 bytes
        "Sun Nov  6 08:49:37 199",       // 23 bytes
        "Sun, 06 Nov 1994 08:49:37",
        "Xyz, 06 Nov 1994 08:49:37 GMT",
        "Sunday 06-Nov-94 08:49:37 GMT", // no comma
        "Sunday,06-Nov-94 08:49:37 GMT", // no space
        "Sunday, 06-Nov-94 08:49:37",    // too short for the zone
        "Sundae, 06-Nov-94 08:49:37 GMT",
        "Sun,06 Nov 1994 08:49:37 GMT ",
        "Sun, 06-Nov-1994 08:49:37 GMT",
        "Sun, 6 Nov 1994 08:49:37 GMT ",
        "Sun, 06 Nov 94 08:49:37 GMT   ",
        "Sun, 06 Nov 1994 08.49.37 GMT",
        "Sun, 06 Nov 1994 8:49:37 GMT ",
        "Sun, 06 Nov 19x4 08:49:37 GMT",
        "Sun, -6 Nov 1994 08:49:37 GMT",
        "Sun Nov 6 08:49:37 1994 ", // day not padded
        "Sun Nov  6 08:49:37 94  ",
        "Sun Nov  x 08:49:37 1994",
        "Sun Noo  6 08:49:37 1994",
        // Out of range: refused rather than carried into another date.
        "Sun, 00 Nov 1994 08:49:37 GMT",
        "Sun, 32 Jan 1994 08:49:37 GMT",
        "Sun, 31 Nov 1994 08:49:37 GMT",
        "Sun, 99 Nov 1994 08:49:37 GMT",
        "Wed, 29 Feb 2023 08:49:37 GMT",
        "Sat, 29 Feb 2100 08:49:37 GMT",
        "Sun, 06 Nov 1994 24:00:00 GMT",
        "Sun, 06 Nov 1994 08:60:37 GMT",
        "Sun, 06 Nov 1994 08:49:61 GMT",
        "Sunday, 31-Apr-94 08:49:37 GMT",
        "Sun Feb 30 08:49:37 1994",
        "Sun Nov  0 08:49:37 1994",
        "",
    };
    for (const char *text : bad) {
        BrokenTime t;
        memset(&t, 0x55, sizeof t);
        char zone[Date_zoneNameSize] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(parse(text, &t, zone), Res_badHttpDate) << text;
        BrokenTime zero = {};
        EXPECT_EQ(memcmp(&t, &zero, sizeof t), 0) << text;
        EXPECT_EQ(zone[0], 0) << text;
    }
    BrokenTime t;
    EXPECT_EQ(Date_parseHttp(nullptr, 30, &t, nullptr), Res_badHttpDate);
    EXPECT_EQ(Date_parseHttp("Sun, 06 Nov 1994 08:49:37 GMT", 29, nullptr, nullptr), Res_nullInput);
}

TEST(HttpDate, FieldReaders)
{
    EXPECT_EQ(Date_parse2Digits("07"), 7);
    EXPECT_EQ(Date_parse2Digits("99x"), 99);
    EXPECT_EQ(Date_parse2Digits("7a"), -1);
    EXPECT_EQ(Date_parse2Digits(" 7"), -1);
    EXPECT_EQ(Date_parse2Digits("-1"), -1);
    EXPECT_EQ(Date_parse2Digits("1"), -1);
    EXPECT_EQ(Date_parse2Digits(""), -1);
    EXPECT_EQ(Date_parse4Digits("1994"), 1994);
    EXPECT_EQ(Date_parse4Digits("0000"), 0);
    EXPECT_EQ(Date_parse4Digits("199"), -1);
    EXPECT_EQ(Date_parse4Digits("19 4"), -1);
    EXPECT_EQ(Date_parseMonth("Jan"), 0);
    EXPECT_EQ(Date_parseMonth("Novx"), 10);
    EXPECT_EQ(Date_parseMonth("Dec"), 11);
    EXPECT_EQ(Date_parseMonth("nov"), -1);
    EXPECT_EQ(Date_parseMonth("NOV"), -1);
    EXPECT_EQ(Date_parseMonth("No"), -1);
    EXPECT_EQ(Date_parseMonth(""), -1);
}

// -------------------------------------------------------- timestamp text

TEST_F(LocalTime, TimestampText)
{
    struct Case {
        BrokenTime t;
        const char *text;
        const char *japanese;
    } cases[] = {
        {utc(1994, 11, 6, 8, 49, 37), "11/06/1994 08:49:37", "1994/11/06 08:49:37"},
        {utc(2100, 12, 31, 23, 59, 59), "12/31/2100 23:59:59", "2100/12/31 23:59:59"},
        {utc(2000, 13, 0), "01/01/2000 00:00:00", "2000/01/01 00:00:00"},
        {utc(9999, 1, 1), "01/01/9999 00:00:00", "9999/01/01 00:00:00"},
        {utc(10000, 1, 1), "01/01/0000 00:00:00", "0000/01/01 00:00:00"},
        {utc(0, 1, 1), "01/01/0000 00:00:00", "0000/01/01 00:00:00"},
        {utc(-1, 1, 1), "01/01/0000 00:00:00", "0000/01/01 00:00:00"},
        {utc(2001, 2, 32, 24, 60, 60), "02/01/2001 00:00:00", "2001/02/01 00:00:00"},
        {{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 0, 0, 0},
         "01/01/0000 00:00:00",
         "0000/01/01 00:00:00"},
        {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, 0},
         "01/01/0000 00:00:00",
         "0000/01/01 00:00:00"},
    };
    for (int japanese = 0; japanese < 2; japanese++) {
        ASSERT_EQ(Locale_setCurrent(heap.instance, japanese ? "ja-jp" : "en-us"), 1);
        for (const Case &c : cases) {
            // Exactly the documented size, so an overrun is caught.
            std::vector<char> out(Date_timestampSize, 'x');
            ASSERT_EQ(Date_formatTimestamp(&c.t, out.data()), 0);
            EXPECT_STREQ(out.data(), japanese ? c.japanese : c.text);
            EXPECT_EQ(out[Date_timestampSize - 1], 0);
        }
    }
    char out[Date_timestampSize];
    EXPECT_EQ(Date_formatTimestamp(nullptr, out), Res_nullInput);
    BrokenTime t = utc(2000, 1, 1);
    EXPECT_EQ(Date_formatTimestamp(&t, nullptr), Res_nullInput);
}

TEST(TimestampText, WithoutAnEngineUsesTheDefaultOrder)
{
    BrokenTime t = utc(2038, 1, 19, 3, 14, 8);
    char out[Date_timestampSize];
    ASSERT_EQ(Date_formatTimestamp(&t, out), 0);
    EXPECT_STREQ(out, "01/19/2038 03:14:08");
}

// Date_now: the host's local time less the zone offset.
class DateNowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 0, 0));
    }
    void TearDown() override
    {
        Headless_setLocalTime(heap.host, nullptr);
        TestHeap_close(&heap);
    }
    TestHeap heap{};
};

TEST_F(DateNowTest, LocalTimeLessTheZoneOffset)
{
    struct Case {
        HostLocalTime local;
        int32_t zone;
        int64_t seconds;
    };
    const Case cases[] = {
        {{1970, 1, 1, 0, 0, 0, 4, 0}, 0, 0},
        {{2024, 2, 29, 13, 45, 30, 4, 999}, 0, 1709214330},
        {{2024, 2, 29, 13, 45, 30, 4, 0}, 3600, 1709214330 - 3600},
        {{2024, 2, 29, 13, 45, 30, 4, 0}, -5 * 3600, 1709214330 + 5 * 3600},
        // Past 2038 the count goes on.
        {{2040, 2, 29, 12, 0, 0, 3, 0}, 0, 2214129600},
        {{2106, 2, 7, 6, 28, 16, 0, 0}, 0, 4294967296},
    };
    for (const Case &c : cases) {
        Headless_setLocalTime(heap.host, &c.local);
        Time_setZoneOffset(heap.instance, c.zone);
        int64_t stored = -1;
        EXPECT_EQ(Date_now(&stored), c.seconds) << c.local.year;
        EXPECT_EQ(stored, c.seconds);
        EXPECT_EQ(Date_now(nullptr), c.seconds);
    }
}

TEST_F(DateNowTest, TheSystemClockByDefault)
{
    Time_setZoneOffset(heap.instance, 0);
    int64_t before = int64_t(time(nullptr));
    int64_t now = Date_now(nullptr);
    // The host's local time read as UTC: within a day of the system time.
    EXPECT_LT(now > before ? now - before : before - now, 86400 + 60);
}

} // namespace
