// The screen's first paint of an animated picture, opened as a document or
// placed in an HTML page: it shows the first frame whatever the frame
// delays and however far the animation's clock ran while the page loaded.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "host/headless/headless.h"
#include "tests/platform/app_fixture.h"

namespace {

class AnimPaintTest : public AppFixture {
  protected:
    // The frames' colours found in a hand-over of the screen: bit 0 red,
    // bit 1 green, bit 2 blue (5-6-5 pixels; greys and blends are none).
    static int frameColours(const HeadlessScreenUpdate *u)
    {
        int found = 0;
        if (!u || !u->pixels || u->format != 0x10005)
            return 0;
        for (int32_t y = 0; y < u->height; y++)
            for (int32_t x = 0; x < u->width; x++) {
                uint16_t v;
                std::memcpy(&v, u->pixels + size_t(y) * size_t(u->rowBytes) + 2 * size_t(x), 2);
                found |= v == 0xF800 ? 1 : v == 0x07E0 ? 2 : v == 0x001F ? 4 : 0;
            }
        return found;
    }
    // The index of the first hand-over from `from` on that shows one of
    // the colours in `wanted` (any frame colour by default), driving the
    // engine until one comes; -1 when none does.
    int firstShowing(int from, int wanted = 7, int limit = 4000)
    {
        int index = -1, next = from; // each hand-over is looked at once
        drive(
            [&] {
                for (; next < Headless_screenUpdateCount(host); next++)
                    if (frameColours(Headless_screenUpdate(host, next)) & wanted) {
                        index = next;
                        return true;
                    }
                return false;
            },
            limit);
        return index;
    }
    // Opens the picture fixture gif as a document, or placed in an HTML
    // page, under the file name stem.
    void openPicture(const std::string &stem, const char *gif, bool html)
    {
        std::string bytes = fixture(gif);
        ASSERT_FALSE(bytes.empty());
        std::string file = writeFile(stem + ".gif", bytes);
        if (html)
            file = writeFile(stem + ".html",
                             "<html><body><p>Before</p><img src=\"" + stem +
                                 ".gif\" width=\"64\" height=\"48\"><p>After</p></body></html>");
        ASSERT_TRUE(open(file));
    }
    std::string fixture(const char *name)
    {
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/images/stills/" + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

// Frames red, green and blue shown for 70, 250 and 30 ms, and the same
// frames with no delays (all due at once): the first paint that shows the
// picture shows red only, though the clock has made a later frame current
// by then.
TEST_F(AnimPaintTest, TheFirstPaintShowsTheFirstFrame)
{
    ASSERT_EQ(start(), 1);
    struct Case {
        const char *name;
        const char *gif;
        bool html;
    } cases[] = {
        {"document", "anim3.gif", false},
        {"documentNoDelay", "anim3_nodelay.gif", false},
        {"htmlImage", "anim3.gif", true},
        {"htmlImageNoDelay", "anim3_nodelay.gif", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int from = Headless_screenUpdateCount(host);
        ASSERT_NO_FATAL_FAILURE(openPicture(c.name, c.gif, c.html));
        int first = firstShowing(from);
        ASSERT_GE(first, 0);
        EXPECT_EQ(frameColours(Headless_screenUpdate(host, first)), 1) << "hand-over " << first;
    }
}

// Once the clock has moved past the first frame's 70 ms, the frame it
// moved to reaches the screen by itself: a later hand-over shows green,
// with no input and no new layout asked for by the test.
TEST_F(AnimPaintTest, LaterFramesReachTheScreen)
{
    ASSERT_EQ(start(), 1);
    struct Case {
        const char *name;
        bool html;
    } cases[] = {
        {"runningDocument", false},
        {"runningHtmlImage", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int from = Headless_screenUpdateCount(host);
        ASSERT_NO_FATAL_FAILURE(openPicture(c.name, "anim3.gif", c.html));
        int first = firstShowing(from);
        ASSERT_GE(first, 0);
        ASSERT_EQ(frameColours(Headless_screenUpdate(host, first)), 1) << "hand-over " << first;
        int later = firstShowing(first + 1, 2);
        ASSERT_GT(later, first) << Headless_screenUpdateCount(host) << " hand-overs";
        // The second frame covers the picture: no red is left beside it.
        const HeadlessScreenUpdate *u = Headless_screenUpdate(host, later);
        EXPECT_EQ(frameColours(u) & 1, 0) << "hand-over " << later;
    }
}

} // namespace
