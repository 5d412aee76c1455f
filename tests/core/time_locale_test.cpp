// Locales: the locale and number-format tables, tag lookup, and the yen
// filter handed to the font engine in the Japanese locale.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "core/time/locale.h"
#include "core/time/localeset.h"
#include "fonts/charfilter.h"
#include "tests/support/test_engine.h"

namespace {

TEST(LocaleFind, Tags)
{
    struct Case {
        const char *tag;
        int32_t index;
    } cases[] = {
        {"en-gb", 0},   {"EN-GB", 0}, {"Ja-Jp", 20}, {"zh-tw", 45}, {"ar-ar", 1},  {"sv-sv", 36},
        {"en-gb ", -1}, {"en", -1},   {"", -1},      {"xx-xx", -1}, {"en_gb", -1}, {"en-gbx", -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Locale_find(c.tag), c.index) << c.tag;
    EXPECT_EQ(Locale_find(nullptr), -1);
}

TEST(LocaleTable, EveryTagIsFoundAtItsIndex)
{
    std::set<std::string> tags;
    for (int32_t i = 0; i < Locale_count; i++) {
        const LocaleEntry *e = Locale_entry(i);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(strlen(e->tag), 5u) << i;
        EXPECT_EQ(e->tag[2], '-') << e->tag;
        EXPECT_EQ(Locale_find(e->tag), i) << e->tag;
        EXPECT_LT(e->numberFormat, Locale_numberFormatCount) << e->tag;
        EXPECT_EQ(Locale_charset(i), e->charset);
        tags.insert(e->tag);
    }
    EXPECT_EQ(tags.size(), size_t(Locale_count));
}

TEST(LocaleTable, RowsThatDifferFromTheRest)
{
    struct Case {
        int32_t index;
        const char *tag;
        uint32_t charset;
        uint16_t format;
    } cases[] = {
        {0, "en-gb", 10, 0},  {1, "ar-ar", 14, 2},  {15, "he-il", 13, 0}, {17, "hr-hr", 10, 6},
        {20, "ja-jp", 31, 1}, {22, "ko-kr", 30, 0}, {39, "th-th", 7, 0},  {43, "vi-vn", 16, 2},
        {44, "zh-cn", 35, 1}, {45, "zh-tw", 34, 1}, {2, "bn-in", 10, 4},  {25, "nl-nl", 10, 5},
        {26, "no-no", 10, 3}, {42, "uk-uk", 10, 2},
    };
    for (const Case &c : cases) {
        const LocaleEntry *e = Locale_entry(c.index);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->tag, c.tag);
        EXPECT_EQ(e->charset, c.charset) << c.tag;
        EXPECT_EQ(e->numberFormat, c.format) << c.tag;
    }
}

TEST(LocaleTable, IndicesOutOfRange)
{
    for (int32_t bad : {46, -1, 1000, INT32_MIN}) {
        EXPECT_EQ(Locale_entry(bad), nullptr) << bad;
        EXPECT_EQ(Locale_charset(bad), 10u) << bad;
        EXPECT_EQ(Locale_numberFormat(bad), Locale_numberFormat(0)) << bad;
    }
}

TEST(LocaleTable, FindByCharset)
{
    EXPECT_EQ(Locale_findByCharset(10), 0);
    EXPECT_EQ(Locale_findByCharset(31), 20);
    EXPECT_EQ(Locale_findByCharset(14), 1);
    EXPECT_EQ(Locale_findByCharset(34), 45);
    EXPECT_EQ(Locale_findByCharset(0), -1);
    EXPECT_EQ(Locale_findByCharset(99), -1);
}

TEST(LocaleNumberFormat, Classes)
{
    struct Case {
        int32_t locale;
        const char *point;
        const char *separator;
        const char grouping[8];
    } cases[] = {
        {0, ".", ",", {3}},            // class 0
        {20, ".", ",", {4}},           // 1
        {1, ",", " ", {3}},            // 2
        {4, ",", ".", {3}},            // 3
        {2, ".", ",", {3, 2, 2, 127}}, // 4
        {5, ",", "", {}},              // 5
        {17, ".", "", {}},             // 6
    };
    for (const Case &c : cases) {
        const NumberFormatRow *row = Locale_numberFormat(c.locale);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->decimalPoint, c.point) << c.locale;
        EXPECT_STREQ(row->thousandsSep, c.separator) << c.locale;
        EXPECT_EQ(memcmp(row->grouping, c.grouping, 8), 0) << c.locale;
    }
}

// ------------------------------------------------------------ yen filter

class YenMapping : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 0, 0));
    }
    void TearDown() override
    {
        TestHeap_close(&heap);
    }
    static CharFilter filter(uint16_t first, uint32_t kind)
    {
        CharFilter f = {};
        f.size = sizeof(CharFilter);
        f.kind = kind;
        f.first = first;
        f.last = first;
        return f;
    }
    TestHeap heap{};
};

TEST_F(YenMapping, OtherLocalesAddNothing)
{
    CharFilterList list = {};
    for (const char *tag : {"en-gb", "zh-cn", "ko-kr"}) {
        ASSERT_EQ(Locale_setCurrent(heap.instance, tag), 1);
        EXPECT_EQ(Locale_installYenMapping(&list), 1) << tag;
        EXPECT_EQ(list.count, 0) << tag;
    }
}

TEST_F(YenMapping, JapaneseLocaleInsertsInOrderAndMaps)
{
    CharFilterList list = {};
    CharFilter low = filter(0x20, 1), high = filter(0x100, 2);
    ASSERT_EQ(FontCache_addCharMapping(&list, &low), 1);
    ASSERT_EQ(FontCache_addCharMapping(&list, &high), 1);
    ASSERT_EQ(Locale_setCurrent(heap.instance, "ja-jp"), 1);
    ASSERT_EQ(Locale_installYenMapping(&list), 1);
    ASSERT_EQ(list.count, 3);
    const CharFilter &yen = list.entries[1];
    EXPECT_EQ(yen.kind, 14u);
    EXPECT_EQ(yen.first, 0x5C);
    EXPECT_EQ(yen.last, 0x5C);
    EXPECT_EQ(yen.size, sizeof(CharFilter));
    EXPECT_EQ(yen.reserved, 0u);
    EXPECT_EQ(list.entries[0].kind, 1u);
    EXPECT_EQ(list.entries[2].kind, 2u);

    const char16_t text[] = u"a\\b\\";
    EXPECT_EQ(yen.test(&yen, text, 4), 1);
    char16_t out[5] = {};
    EXPECT_EQ(yen.map(text, out, 4), 4);
    EXPECT_EQ(std::u16string(out, 4), std::u16string(u"a\u00A5b\u00A5"));
    // In place, and nothing for an empty or negative run.
    char16_t same[] = u"\\x";
    EXPECT_EQ(Locale_yenMap(same, same, 2), 2);
    EXPECT_EQ(same[0], u'\u00A5');
    EXPECT_EQ(Locale_yenMap(same, same, 0), 0);
    EXPECT_EQ(Locale_yenMap(same, same, -3), 0);
}

TEST_F(YenMapping, FullListRefuses)
{
    CharFilterList list = {};
    for (uint16_t i = 0; i < CharFilter_max; i++) {
        CharFilter f = filter(uint16_t(0x1000 + i), i);
        ASSERT_EQ(FontCache_addCharMapping(&list, &f), 1);
    }
    ASSERT_EQ(Locale_setCurrent(heap.instance, "ja-jp"), 1);
    EXPECT_EQ(Locale_installYenMapping(&list), 0);
    ASSERT_EQ(list.count, CharFilter_max);
    for (uint16_t i = 0; i < CharFilter_max; i++) {
        EXPECT_EQ(list.entries[i].first, 0x1000 + i);
        EXPECT_EQ(list.entries[i].kind, i);
    }
    EXPECT_EQ(Locale_installYenMapping(nullptr), 0);
}

} // namespace
