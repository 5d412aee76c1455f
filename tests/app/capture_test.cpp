// Screen captures through the application: the capture event fills the
// host's buffer from the viewer's screen and answers with request 0x1000F.
// The expected bytes come from tests/fixtures/capture/make_expected.py, a
// transcription of the conversions' integer formulas; frames of odd sizes
// show that the padding repeats the last pixel and row.
#include <fstream>
#include <sstream>

#include "app/capture.h"
#include "platform/api/pixel.h"
#include "tests/platform/requests_fixture.h"
#include "viewer/screen/screen.h"

namespace {

struct CaptureCase {
    std::string name;
    int32_t w = 0, h = 0;
    std::vector<uint16_t> frame;
    std::vector<std::pair<int32_t, std::vector<uint8_t>>> outputs;
};

std::vector<uint8_t> fromHex(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<CaptureCase> loadCases()
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/capture/expected.txt");
    std::vector<CaptureCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string word;
        s >> word;
        if (word == "case") {
            cases.emplace_back();
            s >> cases.back().name >> cases.back().w >> cases.back().h;
        } else if (word == "frame") {
            while (s >> word)
                cases.back().frame.push_back(uint16_t(std::stoul(word, nullptr, 16)));
        } else if (!word.empty()) {
            std::string hex;
            s >> hex;
            cases.back().outputs.emplace_back(int32_t(std::stoul(word, nullptr, 16)), fromHex(hex));
        }
    }
    return cases;
}

class CaptureTest : public RequestsFixture {
  protected:
    // Starts the engine on a w x h display.
    void startOn(int32_t w, int32_t h)
    {
        const int32_t g[11] = {0, 0, 0, w, h, w, h, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(host, g);
        ASSERT_EQ(start(), 1);
        ASSERT_EQ(count(Engine_requestReady), 1);
    }
    // Writes the frame into the screen's output buffer.
    void paint(const std::vector<uint16_t> &frame, int32_t w, int32_t h)
    {
        onAppThread([&] {
            Screen *s = ScreenBinding_screen(Fv_fromApp(inst)->screen);
            ASSERT_NE(s, nullptr);
            Screen_lock(s);
            uint16_t *p = static_cast<uint16_t *>(Screen_getBuffer(s));
            size_t stride = Screen_rowBytes(w, 2) / 2;
            for (int32_t y = 0; y < h; y++)
                for (int32_t x = 0; x < w; x++)
                    p[size_t(y) * stride + size_t(x)] = frame[size_t(y * w + x)];
            Screen_unlock(s);
        });
    }
    // Posts the capture event and drives the engine until it answered.
    CaptureReport capture(void *buffer, size_t size, int32_t format)
    {
        size_t before = captures.size();
        const intptr_t block[7] = {26,
                                   reinterpret_cast<intptr_t>(inst),
                                   reinterpret_cast<intptr_t>(buffer),
                                   intptr_t(size),
                                   format,
                                   0,
                                   0};
        EXPECT_EQ(AppEvent_post(block, nullptr, 0), 1);
        EXPECT_TRUE(drive([&] { return captures.size() > before; }));
        return captures.size() > before ? captures.back() : CaptureReport{-1, -1, -1, nullptr};
    }
};

class CaptureCaseTest : public CaptureTest, public ::testing::WithParamInterface<size_t> {};

// Black, white, width 3, both sizes odd, and a 4 x 4 frame of mixed colours.
TEST_P(CaptureCaseTest, FormatsMatchTheTranscribedFormulas)
{
    std::vector<CaptureCase> cases = loadCases();
    ASSERT_EQ(cases.size(), 5u);
    const CaptureCase &c = cases[GetParam()];
    SCOPED_TRACE(c.name);
    startOn(c.w, c.h);
    paint(c.frame, c.w, c.h);
    int32_t W = c.w + (c.w & 1), H = c.h + (c.h & 1);
    for (const auto &[format, expected] : c.outputs) {
        SCOPED_TRACE(format);
        // One guard byte behind the output shows nothing is written past it.
        std::vector<uint8_t> buffer(expected.size() + 1, 0xA5);
        CaptureReport r = capture(buffer.data(), buffer.size(), format);
        EXPECT_EQ(r.bytes, int32_t(expected.size()));
        EXPECT_EQ(r.buffer, buffer.data());
        EXPECT_EQ(r.width, format == Capture_ycc32 ? c.w : W);
        EXPECT_EQ(r.height, format == Capture_ycc32 ? c.h : H);
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end() - 1), expected);
        EXPECT_EQ(buffer.back(), 0xA5);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, CaptureCaseTest, ::testing::Range(size_t(0), size_t(5)));

TEST_F(CaptureTest, ShortBufferAndOtherCodesWriteNothing)
{
    startOn(3, 3);
    paint(std::vector<uint16_t>(9, 0x1234), 3, 3);
    struct Row {
        int32_t format;
        size_t size;
    };
    const Row rows[] = {
        {Capture_rgb565, 4 * 4 * 2 - 1},
        {Capture_ycc32, 3 * 3 * 4 - 1},
        {Capture_ycc420, 4 * 4 * 3 / 2 - 1},
        {Capture_ycc422Planar, 4 * 4 * 2 - 1},
        {Capture_ycc422Packed, 4 * 4 * 2 - 1},
        {0x10006, 100},
        {0x10007, 100},
        {0x1000C, 100},
        {0, 100},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.format);
        std::vector<uint8_t> buffer(row.size, 0xA5);
        CaptureReport r = capture(buffer.data(), buffer.size(), row.format);
        EXPECT_EQ(r.bytes, 0);
        EXPECT_EQ(r.width, 0);
        EXPECT_EQ(r.height, 0);
        EXPECT_EQ(buffer, std::vector<uint8_t>(row.size, 0xA5));
    }
    // The 4:2:0 format with room enough writes all its bytes.
    std::vector<uint8_t> buffer(4 * 4 * 3 / 2, 0xA5);
    CaptureReport r = capture(buffer.data(), buffer.size(), Capture_ycc420);
    EXPECT_EQ(r.bytes, 24);
    EXPECT_EQ(r.width, 4);
    EXPECT_EQ(r.height, 4);
}

TEST(PixelTest, ConvertersHonourPitches)
{
    // A 1 x 2 frame in rows of 3 pixels, into 32-bit words in rows of 2:
    // the pitches skip the source's and the destination's spare cells.
    const uint16_t src[6] = {0x0000, 0x7777, 0x7777, 0xFFFF, 0x7777, 0x7777};
    uint32_t dst[4] = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
    Pixel_rgb565ToYcc32(src, dst, 6, 1, 2, 8);
    EXPECT_EQ(dst[0], 0x108080u);
    EXPECT_EQ(dst[1], 0xDEADu);
    EXPECT_EQ(dst[2], 0xE67F7Fu);
    EXPECT_EQ(dst[3], 0xDEADu);
}

} // namespace
