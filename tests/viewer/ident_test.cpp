// The identity screen through the application on the headless host's
// screen: the picture chosen by the screen's shape, placed above the
// notice line, kept until its time is up or it is stopped, and the host
// told (request 0x10007) when the screen may be redrawn.
#include <fstream>

#include "core/context/context.h"
#include "graphics/imagerender.h"
#include "graphics/pixelbuf.h"
#include "viewer/screen/ident.h"
#include "tests/platform/requests_fixture.h"
#include "viewer/screen/screen.h"

namespace {

// A w x h BMP of one colour (24 bits).
std::string solidBmp(int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b)
{
    int32_t row = (w * 3 + 3) & ~3;
    std::string data;
    for (int32_t y = 0; y < h; y++) {
        std::string line;
        for (int32_t x = 0; x < w; x++)
            line += {char(b), char(g), char(r)};
        line.resize(size_t(row), '\0');
        data += line;
    }
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto le16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    return "BM" + le32(54 + uint32_t(data.size())) + le32(0) + le32(54) + le32(40) +
           le32(uint32_t(w)) + le32(uint32_t(h)) + le16(1) + le16(24) + le32(0) +
           le32(uint32_t(data.size())) + le32(2835) + le32(2835) + le32(0) + le32(0) + data;
}

constexpr uint16_t red = 0xF800, green = 0x07E0, blue = 0x001F;

class IdentTest : public RequestsFixture {
  protected:
    void startOn(int32_t w, int32_t h)
    {
        const int32_t g[11] = {0, 0, 0, w, h, w, h, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(host, g);
        ASSERT_EQ(start(), 1);
        ASSERT_EQ(count(Engine_requestReady), 1);
    }
    std::string picture(const std::string &name, int32_t w, int32_t h, uint16_t colour)
    {
        uint8_t r = uint8_t((colour >> 11) << 3), g = uint8_t(((colour >> 5) & 0x3F) << 2),
                b = uint8_t((colour & 0x1F) << 3);
        return "file://" + writeFile(name, solidBmp(w, h, r, g, b));
    }
    // Shows the identity screen on the viewer's screen.
    int show(const std::string &portrait, const std::string &landscape, int32_t ms,
             const IdentDone *done = nullptr)
    {
        int r = -1;
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            r = Ident_show(viewer->context, portrait.empty() ? nullptr : portrait.c_str(),
                           landscape.empty() ? nullptr : landscape.c_str(), &task, viewer->screen,
                           ms, done);
        });
        return r;
    }
    void stop()
    {
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            EXPECT_EQ(Ident_stop(viewer->context, viewer->screen, &task), 0);
        });
    }
    uint16_t pixel(int32_t x, int32_t y)
    {
        uint16_t p = 0;
        onAppThread([&] {
            Screen *s = ScreenBinding_screen(Fv_fromApp(inst)->screen);
            const uint8_t *rows = static_cast<const uint8_t *>(Screen_getBuffer(s));
            int32_t w = 0, h = 0;
            Screen_getSize(s, &w, &h, nullptr);
            memcpy(&p, rows + size_t(y) * Screen_rowBytes(w, 2) + size_t(x) * 2, 2);
        });
        return p;
    }
    int32_t blocks()
    {
        int32_t n = 0;
        onAppThread(
            [&] { n = Screen_set(ScreenBinding_screen(Fv_fromApp(inst)->screen))->blockCount; });
        return n;
    }

    Task *task = nullptr;
};

TEST_F(IdentTest, LandscapePictureOnAWideScreenStaysUntilStopped)
{
    startOn(320, 240);
    std::string portrait = picture("p.bmp", 60, 80, blue);
    std::string landscape = picture("l.bmp", 100, 60, red);
    int32_t before = blocks();
    ASSERT_EQ(show(portrait, landscape, 0), 0);
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(Ident_isRunning(&task), 1);
    EXPECT_EQ(blocks(), before + 1);
    // Centred above the notice line's 29 rows: x (320 - 100) / 2, y (240 - 89) / 2.
    EXPECT_EQ(pixel(110, 75), red);
    EXPECT_EQ(pixel(209, 134), red);
    EXPECT_EQ(pixel(109, 75), 0);
    EXPECT_EQ(pixel(110, 74), 0);
    EXPECT_EQ(pixel(210, 134), 0);
    // The notice line is drawn in grey below the picture, centred.
    int inked = 0, left = 320, right = 0;
    onAppThread([&] {
        Screen *s = ScreenBinding_screen(Fv_fromApp(inst)->screen);
        const uint8_t *rows = static_cast<const uint8_t *>(Screen_getBuffer(s));
        for (int32_t y = 135; y < 240; y++)
            for (int32_t x = 0; x < 320; x++) {
                uint16_t p;
                memcpy(&p, rows + size_t(y) * Screen_rowBytes(320, 2) + size_t(x) * 2, 2);
                if (p) {
                    inked++;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
    });
    EXPECT_GT(inked, 20);
    EXPECT_NEAR(left + right, 320, 12);
    // Duration 0: time passes and the picture stays.
    Headless_advanceClock(host, 60000);
    Headless_runTimers(host, 50);
    EXPECT_EQ(Ident_isRunning(&task), 1);
    EXPECT_EQ(count(0x10007), 0);
    stop();
    EXPECT_EQ(task, nullptr);
    EXPECT_EQ(Ident_isRunning(&task), 0);
    EXPECT_EQ(count(0x10007), 1);
    EXPECT_EQ(blocks(), before);
    // A second stop finds no task.
    stop();
    EXPECT_EQ(count(0x10007), 1);
}

TEST_F(IdentTest, PictureAsHighAsTheScreenIsDrawnAtTheTop)
{
    startOn(240, 320);
    std::string tall = picture("t.bmp", 40, 320, green);
    // A landscape picture is not taken on a tall screen.
    std::string landscape = picture("l.bmp", 100, 60, red);
    ASSERT_EQ(show(tall, landscape, 0), 0);
    EXPECT_EQ(pixel(100, 0), green);
    EXPECT_EQ(pixel(139, 319), green);
    EXPECT_EQ(pixel(99, 0), 0);
    stop();
}

TEST_F(IdentTest, TimedScreenRunsItsCompletion)
{
    startOn(320, 240);
    std::string portrait = picture("p.bmp", 60, 80, blue);
    // The landscape picture is missing: the portrait one is drawn.
    struct Flag {
        int runs = 0;
    } flag;
    IdentDone done{[](void *arg) { static_cast<Flag *>(arg)->runs++; }, &flag};
    ASSERT_EQ(show(portrait, "file://" + path("missing.bmp"), 500, &done), 0);
    EXPECT_EQ(pixel(130, 65), blue);
    EXPECT_EQ(flag.runs, 0);
    EXPECT_TRUE(drive([&] { return flag.runs == 1; }));
    stop();
    EXPECT_EQ(count(0x10007), 1);
}

TEST_F(IdentTest, NoPictureDrawsNothingAndTheRecordCanRefuse)
{
    startOn(320, 240);
    int32_t before = blocks();
    ASSERT_EQ(show("file://" + path("none.bmp"), "", 0), 0);
    EXPECT_EQ(blocks(), before);
    EXPECT_EQ(Ident_isRunning(&task), 1);
    stop();
    // A result word in the instance's identity record is answered at once.
    onAppThread([&] { inst->ident->result = 77; });
    EXPECT_EQ(show("file://" + path("none.bmp"), "", 0), 77);
    EXPECT_EQ(task, nullptr);
    onAppThread([&] { inst->ident->result = 0; });
}

TEST_F(IdentTest, ShippedPicturesLoadAndLeaveRoomForTheNotice)
{
    ASSERT_EQ(start(), 1);
    struct Row {
        const char *file;
        int32_t maxWidth, maxHeight;
    };
    for (const Row &row :
         {Row{"portrait.bmp", 240, 320 - 29}, Row{"landscape.bmp", 320, 240 - 29}}) {
        SCOPED_TRACE(row.file);
        std::string url =
            std::string("file://") + VEXLAN_FIXTURES + "/../../resources/ident/" + row.file;
        std::u16string text(url.begin(), url.end());
        onAppThread([&] {
            PixelBuf *p = nullptr;
            ASSERT_EQ(Image_loadUrlText(Fv_fromApp(inst)->context, text.c_str(), &p, nullptr), 0);
            EXPECT_LE(p->width, row.maxWidth);
            EXPECT_LE(p->height, row.maxHeight);
            PixelBuf_destroy(p);
        });
    }
}

} // namespace
