// Inflate streams against Python's zlib: every fixture of
// tests/fixtures/stream/ through Inflate_buffer, Inflate_wholeBuffer and
// InflateStream_decode fed in random windows; the growth rule, the codes of
// broken and missing input, and zlib's memory coming from the engine heap.
#include "tests/core/stream_support.h"

#include <cstring>
#include <memory>

#include "core/mem/mem.h"
#include "tests/support/heap_fixture.h"

namespace {

class InflateTest : public LeakCheckedHeapTest<(16u << 20)> {};

TEST_F(InflateTest, EveryFixtureInflatesThroughAllThreeEntryPoints)
{
    std::mt19937 rng(7);
    for (const DeflateCase &c : deflateCases()) {
        SCOPED_TRACE(c.file);
        std::string in = readStreamFixture(c.file);
        std::string want = readStreamFixture(c.source);
        if (c.zlib) {
            // Inflate_buffer knows the size: exactly enough room, and one
            // byte less.
            std::vector<uint8_t> out(want.size() + 1, 0xEE);
            int r = Inflate_buffer(bytesOf(in), in.size(), out.data(), want.size());
            if (c.expect == "ok") {
                EXPECT_EQ(r, Res_ok);
                EXPECT_EQ(std::string(out.begin(), out.begin() + want.size()), want);
                EXPECT_EQ(out[want.size()], 0xEE) << "nothing past the capacity";
                if (!want.empty()) {
                    EXPECT_EQ(Inflate_buffer(bytesOf(in), in.size(), out.data(), want.size() - 1),
                              Res_inflateData)
                        << "one byte short";
                }
            } else {
                EXPECT_EQ(r, Res_inflateData);
            }
        } else {
            uint8_t *buf = nullptr;
            size_t len = 99;
            int r = Inflate_wholeBuffer(bytesOf(in), in.size(), &buf, &len);
            if (c.expect == "ok") {
                ASSERT_EQ(r, Res_ok);
                EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), len), want);
            } else {
                EXPECT_EQ(r, Res_inflateData);
                EXPECT_EQ(buf, nullptr);
                EXPECT_EQ(len, 0u);
            }
            Mem_free(buf);
        }
        // Both raw modes take raw data.
        uint32_t modes[2] = {Inflate_modeZlib, Inflate_modeZlib};
        if (!c.zlib) {
            modes[0] = Inflate_modeRaw;
            modes[1] = Inflate_modeRawAlt;
        }
        for (uint32_t mode : modes) {
            FeedResult f = feedRandomWindows(in, mode, rng);
            if (c.expect == "ok") {
                EXPECT_EQ(f.result, Res_ok);
                EXPECT_TRUE(f.done);
                EXPECT_EQ(f.output, want);
            } else if (c.expect == "truncated") {
                EXPECT_EQ(f.result, Res_ok) << "truncated data is no error to the stream";
                EXPECT_FALSE(f.done);
                EXPECT_EQ(f.unused, 0u) << "all input taken";
                EXPECT_EQ(want.compare(0, f.output.size(), f.output), 0) << "a prefix";
            } else {
                EXPECT_EQ(f.result, Res_inflateData);
            }
        }
    }
}

TEST_F(InflateTest, WholeBufferGrowsByHalfRoundedToEightAndReportsTheExactLength)
{
    EXPECT_EQ(Inflate_roundCapacity(10), 12u);
    EXPECT_EQ(Inflate_roundCapacity(12 + 6), 20u);
    EXPECT_EQ(Inflate_roundCapacity(20 + 10), 36u);
    EXPECT_EQ(Inflate_roundCapacity(16), 16u);
    EXPECT_EQ(Inflate_roundCapacity(SIZE_MAX), 0u) << "cannot wrap";
    EXPECT_EQ(Inflate_roundCapacity(SIZE_MAX - 8), SIZE_MAX - 1);

    // 10 bytes of raw deflate making 30: the buffer goes 12, 20, 36.
    const uint8_t in[10] = {0x63, 0x60, 0x64, 0x62, 0x66, 0xc0, 0x81, 0x2b, 0x2a, 0x00};
    uint8_t *buf = nullptr;
    size_t len = 0;
    ASSERT_EQ(Inflate_wholeBuffer(in, sizeof in, &buf, &len), Res_ok);
    ASSERT_EQ(len, 30u);
    for (size_t i = 0; i < 28; i++)
        EXPECT_EQ(buf[i], i % 4);
    EXPECT_EQ(buf[28], 'x');
    Mem_free(buf);
}

TEST_F(InflateTest, WholeBufferRefusesMissingAndEmptyInput)
{
    const uint8_t in[2] = {0x03, 0x00}; // an empty final fixed block
    uint8_t *buf = reinterpret_cast<uint8_t *>(1);
    size_t len = 5;
    EXPECT_EQ(Inflate_wholeBuffer(nullptr, 2, &buf, &len), Res_inflateNullArg);
    EXPECT_EQ(Inflate_wholeBuffer(in, 2, nullptr, &len), Res_inflateNullArg);
    EXPECT_EQ(Inflate_wholeBuffer(in, 2, &buf, nullptr), Res_inflateNullArg);
    EXPECT_EQ(Inflate_wholeBuffer(in, 0, &buf, &len), Res_inflateData)
        << "empty input is truncated";
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(len, 0u);
    ASSERT_EQ(Inflate_wholeBuffer(in, 2, &buf, &len), Res_ok);
    EXPECT_EQ(len, 0u) << "a stream of nothing";
    EXPECT_NE(buf, nullptr);
    Mem_free(buf);
}

TEST_F(InflateTest, WholeBufferEndsWhenTheInputStopsShortOfTheStreamEnd)
{
    // Stored blocks that announce more data than the input holds, and a
    // non-final empty block with nothing after it: each used to loop for
    // ever with room left and no input.
    const std::string cases[] = {
        std::string("\x00\xff\x7f\x00\x80", 5) + std::string(100, 'q'),
        std::string("\x00\x00\x00\xff\xff", 5),
        std::string("\x02", 1),
    };
    for (const std::string &in : cases) {
        uint8_t *buf = nullptr;
        size_t len = 0;
        EXPECT_EQ(Inflate_wholeBuffer(bytesOf(in), in.size(), &buf, &len), Res_inflateData);
        EXPECT_EQ(buf, nullptr);
    }
}

TEST_F(InflateTest, DecodeAnswersNotDoneForAnEmptyWindowAndEightForNoStream)
{
    InflateStream *s = nullptr;
    ASSERT_EQ(InflateStream_createZlib(&s), Res_ok);
    uint8_t out[16];
    size_t inCount = 0, space = sizeof out;
    int done = 7;
    EXPECT_EQ(InflateStream_decode(nullptr, &inCount, out, &space, &done, s), Res_ok);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(space, sizeof out);
    // No room at all is no error either.
    const uint8_t header[2] = {0x78, 0x9c};
    inCount = 2;
    space = 0;
    EXPECT_EQ(InflateStream_decode(header, &inCount, nullptr, &space, &done, s), Res_ok);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(InflateStream_destroy(s), Res_ok);
    EXPECT_EQ(InflateStream_decode(header, &inCount, out, &space, &done, nullptr), Res_nullInput);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(InflateStream_destroy(nullptr), Res_ok);
    EXPECT_EQ(InflateStream_reset(nullptr), Res_ok);
}

TEST_F(InflateTest, ResetStartsOverForTheNextStreamAndUnknownModesAreRefused)
{
    std::string text = readStreamFixture("text.txt");
    std::string z = readStreamFixture("text-6.z");
    std::string broken = readStreamFixture("bad-header.z");
    InflateStream *s = nullptr;
    EXPECT_EQ(InflateStream_create(&s, 4), Res_inflateInit);
    EXPECT_EQ(s, nullptr);
    ASSERT_EQ(InflateStream_create(&s, Inflate_modeZlib), Res_ok);
    std::vector<uint8_t> out(text.size());
    for (const std::string *in : {&broken, &z, &z}) {
        size_t inCount = in->size(), space = out.size();
        int done = 0;
        int r = InflateStream_decode(bytesOf(*in), &inCount, out.data(), &space, &done, s);
        if (in == &broken) {
            EXPECT_EQ(r, Res_inflateData);
        } else {
            EXPECT_EQ(r, Res_ok);
            EXPECT_EQ(done, 1);
            EXPECT_EQ(inCount, 0u);
            EXPECT_EQ(space, 0u);
            EXPECT_EQ(memcmp(out.data(), text.data(), text.size()), 0);
        }
        EXPECT_EQ(InflateStream_reset(s), Res_ok);
    }
    EXPECT_EQ(InflateStream_destroy(s), Res_ok);
}

TEST_F(InflateTest, ZlibMemoryComesFromTheEngineHeap)
{
    size_t before = TestHeap_usedBytes();
    InflateStream *s = nullptr;
    ASSERT_EQ(InflateStream_createRaw(&s), Res_ok);
    EXPECT_GT(TestHeap_usedBytes() - before, size_t(7000)) << "zlib's state lives in the heap";
    EXPECT_EQ(InflateStream_destroy(s), Res_ok);

    // The record is the first allocation, zlib's state the second: failing
    // either answers 1 and leaks nothing.
    for (uint64_t n : {1, 2}) {
        Mem_failAfter(n);
        EXPECT_EQ(InflateStream_create(&s, Inflate_modeZlib), Res_noMemory);
        EXPECT_EQ(s, nullptr);
        Mem_failAfter(0);
    }
    std::string z = readStreamFixture("image-6.z");
    std::vector<uint8_t> out(readStreamFixture("image.bin").size());
    Mem_failAfter(1);
    EXPECT_EQ(Inflate_buffer(bytesOf(z), z.size(), out.data(), out.size()), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(TestHeap_usedBytes(), before);
}

TEST_F(InflateTest, WholeBufferFailsCleanlyWhereverMemoryRunsOut)
{
    std::string raw = readStreamFixture("repeat-9.raw");
    std::string want = readStreamFixture("repeat.bin");
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        uint8_t *buf = nullptr;
        size_t len = 0;
        int r = Inflate_wholeBuffer(bytesOf(raw), raw.size(), &buf, &len);
        Mem_failAfter(0);
        if (r == Res_ok) {
            EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), len), want);
            Mem_free(buf);
            break;
        }
        ASSERT_EQ(r, Res_noMemory) << "allocation " << n;
        EXPECT_EQ(buf, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
        ASSERT_LT(n, 200u);
    }
}

} // namespace
