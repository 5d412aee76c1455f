// List counters and marker texts in paged and unpaged sections, trimming
// and splitting family texts, and the font-list cache's failure path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "layout/layout.h"
#include "layout/listmarker.h"
#include "tests/support/heap_fixture.h"

namespace {

using ListMarkerTest = LeakCheckedHeapTest<>;

std::u16string markerText(const LayoutBox &box, uint32_t type)
{
    char16_t *t = ListCounter_text(&box, type);
    EXPECT_NE(t, nullptr);
    std::u16string s = t ? std::u16string(t) : u"";
    Mem_free(t);
    return s;
}

TEST_F(ListMarkerTest, MarkerTextsOfNestedCounters)
{
    SectionRec section{};
    LayoutBox box{};
    box.section = &section;
    ListCounter outer{}, middle{}, inner{};
    ListCounter_push(&outer, &box);
    // A paged section with no counter above 0 gives one space.
    section.paged = 1;
    EXPECT_EQ(markerText(box, KwId_decimal), u" ");
    ListCounter_increment(&box);
    ListCounter_increment(&box);
    ListCounter_push(&middle, &box); // stays at 0: takes no part
    ListCounter_push(&inner, &box);
    for (int i = 0; i < 3; i++)
        ListCounter_increment(&box);
    EXPECT_EQ(ListCounter_value(&box), 3);
    struct Case {
        uint32_t paged, type;
        std::u16string text;
    } cases[] = {
        {1, KwId_decimal, u"2.3. "},
        {0, KwId_decimal, u"3. "},
        {1, KwId_upperRoman, u"II.III. "},
        {0, KwId_lowerAlpha, u"c. "},
    };
    for (const Case &c : cases) {
        section.paged = c.paged;
        EXPECT_EQ(markerText(box, c.type), c.text);
    }
    ListCounter_pop(&box);
    ListCounter_pop(&box);
    EXPECT_EQ(ListCounter_value(&box), 2);
    ListCounter_pop(&box);
    ListCounter_pop(&box); // popping past the bottom does nothing
    EXPECT_EQ(ListCounter_value(&box), 0);
    EXPECT_EQ(markerText(box, KwId_decimal), u" ");
}

TEST_F(ListMarkerTest, FamilyTextsSplitIntoTrimmedUnquotedNames)
{
    struct Case {
        const char *text;
        std::vector<std::string> names;
    } cases[] = {
        {"  ' Times New Roman ' , Arial", {"Times New Roman", "Arial"}},
        {"\"courier\"", {"courier"}},
        {" , ,serif,, ", {"serif"}},
        {"a,b,c,d,e,f,g,h,i", {"a", "b", "c", "d", "e", "f", "g", "h"}},
        {"", {}},
        {"'mismatched\"", {"'mismatched\""}},
    };
    for (const Case &c : cases) {
        std::string buffer = c.text;
        const char *names[FontCache_maxNames];
        uint32_t n = FontCache_splitNames(buffer.data(), names);
        std::vector<std::string> got(names, names + n);
        EXPECT_EQ(got, c.names) << c.text;
    }
    char quoted[] = "  \" x \"  ";
    EXPECT_STREQ(Layout_trimQuotes(quoted), "x");
}

TEST_F(ListMarkerTest, AFailingFontListLeavesTheCacheUnchanged)
{
    // The font engine has no faces here: creating a list fails and nothing
    // is cached.
    FontCacheEntry *head = nullptr;
    FontList *fonts = nullptr;
    int err = FontCache_get(nullptr, &head, u", 'courier', serif", FontCache_bulletKey, &fonts);
    if (err == Res_ok) {
        EXPECT_NE(head, nullptr);
        EXPECT_EQ(std::u16string(head->family), u"'courier', serif");
        FontList *again = nullptr;
        EXPECT_EQ(FontCache_get(nullptr, &head, u"'courier', serif", FontCache_bulletKey, &again),
                  0);
        EXPECT_EQ(again, fonts);
        EXPECT_EQ(head->next, nullptr);
    } else {
        EXPECT_EQ(head, nullptr);
        EXPECT_EQ(fonts, nullptr);
    }
    FontCache_clearUsed(head);
    FontCache_free(&head);
    EXPECT_EQ(head, nullptr);
}

} // namespace
