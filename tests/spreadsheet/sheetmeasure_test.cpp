// The cell editor's text measurer over layout's text format and run
// measuring: widths follow the text and the rule's font size, every line
// of a text counts one line height, and the rule stands in only while a
// text is measured.
#include <gtest/gtest.h>

#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "viewer/sheetview.h"
#include "document/style/style.h"
#include "tests/document/edr_fixture.h"
#include "core/text/number.h"

namespace {

class SheetMeasure : public EdrFixture {};

StyleRule *sizeRule(int32_t points)
{
    StyleRule *rule = nullptr;
    EXPECT_EQ(StyleRule_create(&rule), 0);
    Prop v{};
    Prop_setLength(&v, 38, Units_pointsToLength(points));
    EXPECT_EQ(StyleRule_appendProp(rule, &v), 0);
    return rule;
}

TEST_F(SheetMeasure, TextsInTheRulesFont)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        SheetTextMeasure m{ctx(), doc, nullptr};
        ASSERT_EQ(Edr_Style_create(doc, &m.style), 0);
        StyleRule *ten = sizeRule(10), *twenty = sizeRule(20);
        auto measure = [&](const StyleRule *rule, const char16_t *text, int32_t *w, int32_t *h) {
            ASSERT_EQ(Excel_View_measureText(&m, rule, text, w, h), 0) << (rule == ten ? 10 : 20);
        };
        int32_t w3 = 0, h1 = 0, w6 = 0, h6 = 0, w3big = 0, h1big = 0, w2lines = 0, h2lines = 0;
        measure(ten, u"abc", &w3, &h1);
        measure(ten, u"abcabc", &w6, &h6);
        measure(twenty, u"abc", &w3big, &h1big);
        measure(ten, u"abc\nab", &w2lines, &h2lines);
        EXPECT_GT(w3, 0);
        EXPECT_GT(h1, 0);
        EXPECT_NEAR(w6, 2 * w3, 2);    // twice the characters
        EXPECT_EQ(h6, h1);             // one line
        EXPECT_NEAR(w3big, 2 * w3, 4); // twice the size
        EXPECT_NEAR(h1big, 2 * h1, 2);
        EXPECT_EQ(w2lines, w3);     // the widest line
        EXPECT_EQ(h2lines, 2 * h1); // two lines
        // The rule only stands in while a text is measured.
        EXPECT_EQ(m.style->overrides, nullptr);
        int32_t w = 0, h = 0;
        ASSERT_EQ(Excel_View_measureText(&m, nullptr, u"", &w, &h), 0);
        EXPECT_EQ(w, 0);
        EXPECT_GT(h, 0);
        EXPECT_EQ(Excel_View_measureText(nullptr, ten, u"a", &w, &h), 16);
        StyleRule_destroy(ten);
        StyleRule_destroy(twenty);
        Edr_Style_release(m.style);
    });
}

} // namespace
