// The engine's locale settings: current locale, own number format, date and
// time formats and names, with and without an engine on the thread, and the
// formats under memory failure (all or nothing, nothing leaked).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/time/localeset.h"
#include "platform/api/engine.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

class LocaleSettingsTest : public LeakCheckedHeapTest<> {
  protected:
    void TearDown() override
    {
        Locale_freeFormats(heap.instance);
        LeakCheckedHeapTest::TearDown();
    }
    // Runs fn with no engine on the thread.
    template <typename Fn> void withoutEngine(Fn fn)
    {
        Host_setInstance(heap.host, nullptr);
        fn();
        Host_setInstance(heap.host, heap.instance);
    }
};

const char *const weekdaysA[7] = {"dimanche", "lundi",    "mardi", "mercredi",
                                  "jeudi",    "vendredi", "samedi"};
const char *const weekdaysB[7] = {"dim.", nullptr, "mar.", nullptr, nullptr, nullptr, "sam."};
const char *const monthsA[12] = {"janvier",   "fevrier", "mars",     "avril",
                                 "mai",       "juin",    "juillet",  "aout",
                                 "septembre", "octobre", "novembre", "decembre"};
const char *const monthsB[12] = {"janv.", nullptr};
const char *const further[2] = {"AM", "PM"};

int setFrench(EngineInstance *instance)
{
    return Locale_setFormats(instance, "%A %d %B %Y", "%d.%m.%Y", "%Hh%M", "%d.%m.%Y %Hh%M",
                             weekdaysA, weekdaysB, monthsA, monthsB, further);
}

void expectDefaults()
{
    EXPECT_STREQ(Locale_getDateFormat(0, 0), "%d/%m/%Y %H:%M:%S");
    EXPECT_STREQ(Locale_getDateFormat(1, 0), "%d %B %Y");
    EXPECT_STREQ(Locale_getDateFormat(2, 0), "%d/%m/%Y");
    EXPECT_STREQ(Locale_getDateFormat(3, 0), "%H:%M:%S");
    for (int32_t kind = 4; kind <= 9; kind++)
        EXPECT_STREQ(Locale_getDateFormat(kind, 0), "") << kind;
}

void expectFrench()
{
    EXPECT_STREQ(Locale_getDateFormat(0, 0), "%d.%m.%Y %Hh%M");
    EXPECT_STREQ(Locale_getDateFormat(1, 0), "%A %d %B %Y");
    EXPECT_STREQ(Locale_getDateFormat(2, 0), "%d.%m.%Y");
    EXPECT_STREQ(Locale_getDateFormat(3, 0), "%Hh%M");
    EXPECT_STREQ(Locale_getDateFormat(4, 0), "dim.");
    EXPECT_STREQ(Locale_getDateFormat(4, 1), "lundi"); // set B missing: set A
    EXPECT_STREQ(Locale_getDateFormat(5, 0), "dimanche");
    EXPECT_STREQ(Locale_getDateFormat(6, 0), "janv.");
    EXPECT_STREQ(Locale_getDateFormat(6, 11), "decembre");
    EXPECT_STREQ(Locale_getDateFormat(7, 0), "janvier");
    EXPECT_STREQ(Locale_getDateFormat(8, 1), "PM");
}

TEST_F(LocaleSettingsTest, DefaultsWithNothingSet)
{
    expectDefaults();
    const LocaleEntry *row = Locale_getCurrentRow();
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->tag, "en-gb");
    EXPECT_EQ(Locale_getDefaultCharset(), 10u);
    EXPECT_EQ(Locale_getNumberFormat(), Locale_numberFormat(0));
}

TEST_F(LocaleSettingsTest, WithoutAnEngine)
{
    ASSERT_EQ(Locale_setCurrent(heap.instance, "ja-jp"), 1);
    ASSERT_EQ(setFrench(heap.instance), 1);
    withoutEngine([] {
        EXPECT_EQ(Locale_getCurrentRow(), nullptr);
        EXPECT_EQ(Locale_getDefaultCharset(), 10u);
        EXPECT_EQ(Locale_getNumberFormat(), Locale_numberFormat(0));
        expectDefaults();
    });
    EXPECT_EQ(Locale_setCurrent(nullptr, "en-gb"), 0);
    EXPECT_EQ(Locale_setNumberFormat(nullptr, ".", ",", "\3"), 0);
    EXPECT_EQ(setFrench(nullptr), 0);
    Locale_freeFormats(nullptr);
}

TEST_F(LocaleSettingsTest, SetCurrent)
{
    EXPECT_EQ(Locale_setCurrent(heap.instance, "JA-JP"), 1);
    EXPECT_STREQ(Locale_getCurrentRow()->tag, "ja-jp");
    EXPECT_EQ(Locale_getDefaultCharset(), 31u);
    EXPECT_EQ(Locale_getNumberFormat(), Locale_numberFormat(20));
    // Unknown tags change nothing.
    for (const char *bad : {"xx-yy", "ja", "ja-jp ", ""})
        EXPECT_EQ(Locale_setCurrent(heap.instance, bad), 0) << bad;
    EXPECT_EQ(Locale_setCurrent(heap.instance, nullptr), 0);
    EXPECT_STREQ(Locale_getCurrentRow()->tag, "ja-jp");
    EXPECT_EQ(Locale_setCurrent(heap.instance, "he-il"), 1);
    EXPECT_EQ(Locale_getDefaultCharset(), 13u);
}

TEST_F(LocaleSettingsTest, OwnNumberFormat)
{
    ASSERT_EQ(Locale_setCurrent(heap.instance, "de-de"), 1);
    const char groups7[] = {3, 2, 2, 2, 2, 2, 127, 0};
    ASSERT_EQ(Locale_setNumberFormat(heap.instance, "<.>", "'''", groups7), 1);
    const NumberFormatRow *row = Locale_getNumberFormat();
    EXPECT_STREQ(row->decimalPoint, "<.>");
    EXPECT_STREQ(row->thousandsSep, "'''");
    EXPECT_EQ(memcmp(row->grouping, groups7, 7), 0);
    EXPECT_EQ(row->grouping[7], 0);

    struct Bad {
        const char *point, *separator, *grouping;
    } bad[] = {
        {",", ".", "\3\3\3\3\3\3\3\3"}, // 8 group sizes
        {"", ".", "\3"},                // empty decimal point
        {nullptr, ".", "\3"},           // missing decimal point
        {"....", ".", "\3"},            // decimal point of 4
        {",", "    ", "\3"},            // separator of 4
    };
    for (const Bad &b : bad) {
        EXPECT_EQ(Locale_setNumberFormat(heap.instance, b.point, b.separator, b.grouping), 0);
        EXPECT_STREQ(Locale_getNumberFormat()->decimalPoint, "<.>");
    }
    // Separator and grouping may be missing.
    ASSERT_EQ(Locale_setNumberFormat(heap.instance, ",", nullptr, nullptr), 1);
    row = Locale_getNumberFormat();
    EXPECT_STREQ(row->decimalPoint, ",");
    EXPECT_STREQ(row->thousandsSep, "");
    EXPECT_EQ(row->grouping[0], 0);
}

TEST_F(LocaleSettingsTest, FormatsAndNames)
{
    ASSERT_EQ(setFrench(heap.instance), 1);
    expectFrench();
    // Indices out of range and unknown kinds give "".
    for (int32_t kind : {4, 5})
        for (int32_t index : {-1, 7, 1000})
            EXPECT_STREQ(Locale_getDateFormat(kind, index), "") << kind << " " << index;
    EXPECT_STREQ(Locale_getDateFormat(6, 12), "");
    EXPECT_STREQ(Locale_getDateFormat(8, 2), "");
    EXPECT_STREQ(Locale_getDateFormat(9, 0), "");
    EXPECT_STREQ(Locale_getDateFormat(-1, 0), "");
    // Missing arguments return to their defaults.
    ASSERT_EQ(Locale_setFormats(heap.instance, nullptr, "%Y-%m-%d", nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr),
              1);
    EXPECT_STREQ(Locale_getDateFormat(2, 0), "%Y-%m-%d");
    EXPECT_STREQ(Locale_getDateFormat(1, 0), "%d %B %Y");
    EXPECT_STREQ(Locale_getDateFormat(5, 0), "");
    Locale_freeFormats(heap.instance);
    expectDefaults();
    // No exit list on this instance: nothing was registered.
    EXPECT_EQ(heap.instance->locale.cleanupRegistered, 0);
}

TEST_F(LocaleSettingsTest, UnsafeFormatKeepsTheOldOnes)
{
    ASSERT_EQ(setFrench(heap.instance), 1);
    const char *unsafe[] = {"%x", "%d %X", "%c", "%Y%"};
    for (const char *u : unsafe) {
        EXPECT_EQ(Locale_setFormats(heap.instance, u, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr),
                  0)
            << u;
        EXPECT_EQ(Locale_setFormats(heap.instance, nullptr, nullptr, nullptr, u, nullptr, nullptr,
                                    nullptr, nullptr, nullptr),
                  0)
            << u;
        expectFrench();
    }
}

// The current strings may be handed back in (a host that re-applies what it
// read): they are copied before the old ones are freed.
TEST_F(LocaleSettingsTest, CurrentStringsCanBeSetAgain)
{
    ASSERT_EQ(setFrench(heap.instance), 1);
    const char *days[7], *months[12], *more[2];
    for (int32_t i = 0; i < 7; i++)
        days[i] = Locale_getDateFormat(5, i);
    for (int32_t i = 0; i < 12; i++)
        months[i] = Locale_getDateFormat(7, i);
    for (int32_t i = 0; i < 2; i++)
        more[i] = Locale_getDateFormat(8, i);
    const char *daysB[7] = {
        Locale_getDateFormat(4, 0), nullptr, Locale_getDateFormat(4, 2), nullptr, nullptr, nullptr,
        Locale_getDateFormat(4, 6)};
    const char *monthsB[12] = {Locale_getDateFormat(6, 0)};
    ASSERT_EQ(Locale_setFormats(heap.instance, Locale_getDateFormat(1, 0),
                                Locale_getDateFormat(2, 0), Locale_getDateFormat(3, 0),
                                Locale_getDateFormat(0, 0), days, daysB, months, monthsB, more),
              1);
    expectFrench();
}

TEST(LocaleSafeFormat, Table)
{
    struct Case {
        const char *format;
        int safe;
    } cases[] = {
        {"%d/%m/%Y", 1}, {"%x", 0}, {"%X", 0},    {"%c", 0},    {"at %H%", 0},
        {"%", 0},        {"%%", 1}, {"%%x", 1},   {"100%%", 1}, {"%%%", 0},
        {"%%%x", 0},     {"", 1},   {"x c X", 1}, {"%C", 1},    {"%Ex", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Locale_isSafeFormat(c.format), c.safe) << c.format;
    EXPECT_EQ(Locale_isSafeFormat(nullptr), 1);
}

// Every allocation of a replacement set may fail: the call then answers 0
// and the engine keeps exactly the formats it had, with nothing leaked.
TEST_F(LocaleSettingsTest, OutOfMemoryIsAllOrNothing)
{
    const char *const otherMonths[12] = {"m0", "m1", "m2", "m3", "m4",  "m5",
                                         "m6", "m7", "m8", "m9", "m10", "m11"};
    ASSERT_EQ(setFrench(heap.instance), 1);
    size_t held = TestHeap_usedBytes();
    int failures = 0;
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        int ok = Locale_setFormats(heap.instance, "%d", "%m", "%Y", "%H", weekdaysA, nullptr,
                                   otherMonths, nullptr, further);
        Mem_failAfter(0);
        if (ok) {
            EXPECT_STREQ(Locale_getDateFormat(1, 0), "%d");
            EXPECT_STREQ(Locale_getDateFormat(6, 3), "m3");
            EXPECT_STREQ(Locale_getDateFormat(4, 0), "dimanche");
            break;
        }
        failures++;
        expectFrench();
        EXPECT_EQ(TestHeap_usedBytes(), held) << n;
        ASSERT_LT(n, 100u);
    }
    EXPECT_EQ(failures, 4 + 7 + 12 + 2);
}

} // namespace
