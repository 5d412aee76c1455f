// Wrapped text drawing: lines broken at the last opportunity that fits,
// white space after a break skipped, text cut after the last whole line,
// and the callback's errors passed on. The box font measures: every
// character 12744 units across at 18 points, ascent 14336, descent 2048.
#include "tests/support/heap_fixture.h"

#include <string>
#include <vector>

#include "core/geom/rect.h"
#include "core/result.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "layout/textbox.h"

namespace {

constexpr int32_t size18 = 0x120000;
constexpr int32_t lineHeight = BoxFont_ascent - BoxFont_descent;

struct Line {
    std::u16string text;
    int32_t x, y;
};

struct Log {
    std::vector<Line> lines;
    int failAt = -1;
};

int record(const char16_t *text, FontList *, int32_t, uint32_t count, int32_t x, int32_t y,
           void *arg)
{
    Log *log = static_cast<Log *>(arg);
    if (int(log->lines.size()) == log->failAt)
        return Res_noMemory;
    log->lines.push_back(Line{std::u16string(text, count), x, y});
    return Res_ok;
}

class TextBoxTest : public LeakCheckedHeapTest<> {
  protected:
    FontList *fonts = nullptr;

    void SetUp() override
    {
        LeakCheckedHeapTest::SetUp();
        ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &fonts), Res_ok);
    }
    void TearDown() override
    {
        Font_listRelease(fonts);
        LeakCheckedHeapTest::TearDown();
    }

    // Draws text into a box chars characters wide and lines lines high
    // (plus a little), its top at 100000: the first baseline lies a line
    // height below the top, so n lines need n heights and a descent.
    Log draw(const std::u16string &text, int chars, int lines, int failAt = -1)
    {
        Log log;
        log.failAt = failAt;
        Rect r{1000, 100000 - lines * lineHeight + BoxFont_descent - 100,
               1000 + chars * BoxFont_advance + 100, 100000};
        last = TextBox_draw(text.c_str(), fonts, size18, &r, record, &log);
        return log;
    }
    int last = 0;
};

TEST_F(TextBoxTest, BreaksAtTheLastOpportunityAndSkipsSpacesAfterIt)
{
    Log log = draw(u"aaa   bbb c dd", 5, 10);
    EXPECT_EQ(last, Res_ok);
    ASSERT_EQ(log.lines.size(), 3u);
    // A space where the width runs out is itself the break: the line keeps
    // the spaces before it, the next line starts after all of them.
    EXPECT_EQ(log.lines[0].text, u"aaa  ");
    EXPECT_EQ(log.lines[1].text, u"bbb c");
    EXPECT_EQ(log.lines[2].text, u"dd");
    for (size_t i = 0; i < log.lines.size(); i++) {
        EXPECT_EQ(log.lines[i].x, 1000);
        EXPECT_EQ(log.lines[i].y, 100000 - int32_t(i + 1) * lineHeight);
    }
}

TEST_F(TextBoxTest, TextTallerThanTheBoxIsCutAfterTheLastWholeLine)
{
    Log log = draw(u"one two three four five", 5, 2);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0].text, u"one");
    EXPECT_EQ(log.lines[1].text, u"two");
}

TEST_F(TextBoxTest, NothingToDrawAndErrors)
{
    // Empty boxes, empty text, a word wider than the box.
    Log log;
    Rect flat{0, 10, 100000, 10}, narrow{10, 0, 10, 100000};
    EXPECT_EQ(TextBox_draw(u"abc", fonts, size18, &flat, record, &log), Res_ok);
    EXPECT_EQ(TextBox_draw(u"abc", fonts, size18, &narrow, record, &log), Res_ok);
    EXPECT_EQ(TextBox_draw(u"abc", fonts, 0, &flat, record, &log), Res_ok);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(draw(u"", 5, 3).lines.empty());
    EXPECT_TRUE(draw(u"abcdefgh", 5, 3).lines.empty());
    // The callback's error ends the drawing.
    log = draw(u"aaa bbb ccc", 3, 5, 1);
    EXPECT_EQ(last, Res_noMemory);
    EXPECT_EQ(log.lines.size(), 1u);
}

} // namespace
