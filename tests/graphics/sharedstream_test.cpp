// Shared stream readers over an in-memory stream that hands out windows of
// 100 bytes: alternating readers, tell, the reference count, sticky
// errors, seeks to positions the stream cannot take, control operations,
// and the image's data stream made shared.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/task_fixture.h"
#include "graphics/image.h"
#include "graphics/sharedstream.h"

namespace {

struct WindowStream {
    ByteStream base{};
    std::vector<uint8_t> data;
    size_t at = 0; // the position after the window
    int closes = 0;
    int failSeeks = 0; // seeks fail while set
    bool noControl = false;
};

int windowGetByte(ByteStream *s)
{
    WindowStream *w = reinterpret_cast<WindowStream *>(s);
    if (s->readPtr < s->end)
        return *s->readPtr++;
    if (w->at >= w->data.size())
        return ByteStream_end;
    size_t n = std::min<size_t>(100, w->data.size() - w->at);
    s->readPtr = w->data.data() + w->at;
    s->end = s->readPtr + n;
    w->at += n;
    return *s->readPtr++;
}

int windowSeek(ByteStream *s, uint64_t position)
{
    WindowStream *w = reinterpret_cast<WindowStream *>(s);
    if (w->failSeeks || position > w->data.size())
        return 0x3B01;
    w->at = size_t(position);
    s->readPtr = s->end = nullptr;
    return Res_ok;
}

int windowClose(ByteStream *s)
{
    reinterpret_cast<WindowStream *>(s)->closes++;
    return Res_ok;
}

int windowControl(ByteStream *s, uint32_t op, void *arg)
{
    WindowStream *w = reinterpret_cast<WindowStream *>(s);
    if (op == ByteStream_opPosition) {
        *static_cast<uint64_t *>(arg) = w->at - uint64_t(s->end - s->readPtr);
        return Res_ok;
    }
    if (op == ByteStream_opLength) {
        s->length = w->data.size();
        *static_cast<uint64_t *>(arg) = s->length;
        return Res_ok;
    }
    return 259;
}

class SharedStreamTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        for (int i = 0; i < 1000; i++)
            w.data.push_back(uint8_t(i * 7 + i / 256));
        w.base.getByte = windowGetByte;
        w.base.seek = windowSeek;
        w.base.close = windowClose;
        w.base.control = windowControl;
    }
    void TearDown() override
    {
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("reader", 3, std::move(fn)));
        ASSERT_GE(TestEngine_runAll(&e), 0);
    }
    static int next(SharedStreamReader *r)
    {
        uint8_t b = 0;
        return ByteStream_readByte(&r->base, &b) == 0 ? b : -1;
    }
    static uint64_t tell(SharedStreamReader *r)
    {
        uint64_t at = 0;
        EXPECT_EQ(ByteStream_control(&r->base, ByteStream_opPosition, &at), 0);
        return at;
    }
    WindowStream w;
};

TEST_F(SharedStreamTest, AlternatingReadersEachReadTheirOwnBytes)
{
    run([&] {
        SharedStream *shared = nullptr;
        ASSERT_EQ(SharedStream_create(ctx(), &w.base, 1, &shared), 0);
        SharedStreamReader *a = nullptr, *b = nullptr;
        ASSERT_EQ(SharedStream_openReader(shared, &a), 0);
        ASSERT_EQ(SharedStream_openReader(shared, &b), 0);
        EXPECT_EQ(next(a), w.data[0]);
        EXPECT_EQ(tell(a), 1u); // one byte taken of a whole refill
        EXPECT_EQ(tell(b), 0u);
        // b reads ahead in bigger steps, then they alternate byte by byte
        // across several refills of each.
        for (int i = 0; i < 350; i++)
            ASSERT_EQ(next(b), w.data[size_t(i)]) << i;
        for (int i = 1; i < 651; i++) {
            ASSERT_EQ(next(a), w.data[size_t(i)]) << i;
            ASSERT_EQ(next(b), w.data[size_t(349 + i)]) << i;
        }
        EXPECT_EQ(tell(a), 651u);
        EXPECT_EQ(tell(b), 1000u);
        EXPECT_EQ(next(b), -1); // the end
        // A reader's seek drops its buffer and reads from there.
        EXPECT_EQ(next(b), -1) << "the end sticks";
        EXPECT_EQ(ByteStream_seek(&a->base, 10), 0);
        EXPECT_EQ(tell(a), 10u);
        EXPECT_EQ(next(a), w.data[10]);
        ByteStream_close(&a->base);
        ByteStream_close(&b->base);
        EXPECT_EQ(w.closes, 0);
        SharedStream_release(shared);
    });
    EXPECT_EQ(w.closes, 1);
}

TEST_F(SharedStreamTest, TheLastReleaseClosesTheStreamOnce)
{
    run([&] {
        SharedStream *shared = nullptr;
        ASSERT_EQ(SharedStream_create(ctx(), &w.base, 0, &shared), 0);
        SharedStreamReader *a = nullptr, *b = nullptr;
        ASSERT_EQ(SharedStream_openReader(shared, &a), 0);
        ASSERT_EQ(SharedStream_openReader(shared, &b), 0);
        EXPECT_EQ(shared->refs, 3);
        SharedStream_release(shared);
        ByteStream_close(&a->base);
        EXPECT_EQ(w.closes, 0);
        ByteStream_close(&b->base);
        EXPECT_EQ(w.closes, 1);
        SharedStream_releaseIfAny(nullptr);
    });
    EXPECT_EQ(w.closes, 1);
}

TEST_F(SharedStreamTest, AReaderWhoseRepositioningFailedKeepsGivingMinusOne)
{
    run([&] {
        SharedStream *shared = nullptr;
        ASSERT_EQ(SharedStream_create(ctx(), &w.base, 1, &shared), 0);
        SharedStreamReader *a = nullptr, *b = nullptr;
        ASSERT_EQ(SharedStream_openReader(shared, &a), 0);
        ASSERT_EQ(SharedStream_openReader(shared, &b), 0);
        for (int i = 0; i < 100; i++)
            next(a); // a's buffer is used up
        EXPECT_EQ(ByteStream_seek(&b->base, 500), 0);
        next(b); // the stream stands elsewhere now
        w.failSeeks = 1;
        EXPECT_EQ(next(a), -1);
        w.failSeeks = 0;
        EXPECT_EQ(next(a), -1) << "the error sticks";
        EXPECT_EQ(next(a), -1);
        EXPECT_EQ(next(b), w.data[501]) << "the other reader is not touched";
        ByteStream_close(&a->base);
        ByteStream_close(&b->base);
        SharedStream_release(shared);
    });
}

// A seek to a position the stream cannot take fails at once and the
// reader keeps reading where it was.
TEST_F(SharedStreamTest, ABadSeekFailsAndTheReaderStaysWhereItWas)
{
    run([&] {
        SharedStream *shared = nullptr;
        ASSERT_EQ(SharedStream_create(ctx(), &w.base, 1, &shared), 0);
        SharedStreamReader *a = nullptr;
        ASSERT_EQ(SharedStream_openReader(shared, &a), 0);
        EXPECT_EQ(ByteStream_seek(&a->base, 500), 0);
        EXPECT_EQ(next(a), w.data[500]);
        EXPECT_NE(ByteStream_seek(&a->base, 5000), 0);
        EXPECT_EQ(tell(a), 501u);
        EXPECT_EQ(next(a), w.data[501]);
        EXPECT_EQ(a->error, 0);
        ByteStream_close(&a->base);
        SharedStream_release(shared);
    });
}

TEST_F(SharedStreamTest, ControlOperationsAndOutOfMemory)
{
    run([&] {
        SharedStream *shared = nullptr;
        ASSERT_EQ(SharedStream_create(ctx(), &w.base, 1, &shared), 0);
        SharedStreamReader *a = nullptr;
        ASSERT_EQ(SharedStream_openReader(shared, &a), 0);
        EXPECT_EQ(a->base.length, 0u);
        uint64_t length = 0;
        EXPECT_EQ(ByteStream_control(&a->base, ByteStream_opLength, &length), 0);
        EXPECT_EQ(length, 1000u);
        EXPECT_EQ(a->base.length, 1000u); // copied from the stream
        EXPECT_EQ(ByteStream_control(&a->base, ByteStream_opMimeId, &length), 259);
        w.base.control = nullptr;
        EXPECT_EQ(ByteStream_control(&a->base, ByteStream_opMimeId, &length),
                  SharedStream_noControl);
        w.base.control = windowControl;
        Mem_failAfter(1);
        SharedStreamReader *none = nullptr;
        EXPECT_EQ(SharedStream_openReader(shared, &none), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(shared->refs, 2);
        ByteStream_close(&a->base);
        SharedStream_release(shared);
        EXPECT_EQ(w.closes, 1);
        // Out of memory for the record closes the stream given.
        Mem_failAfter(1);
        EXPECT_EQ(SharedStream_create(ctx(), &w.base, 1, &shared), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(shared, nullptr);
        EXPECT_EQ(w.closes, 2);
    });
}

TEST_F(SharedStreamTest, AnImagesDataStreamBecomesSharedWhenTheFeatureIsOn)
{
    run([&] {
        ImageObject image{};
        image.app = ctx();
        image.dataStream = &w.base;
        // Feature bit 1 off: the raw stream stays.
        EXPECT_EQ(Image_shareDataStream(&image), 0);
        EXPECT_EQ(image.sharedStream, nullptr);
        EXPECT_EQ(image.dataStream, &w.base);
        ctx()->featureFlags = 2;
        EXPECT_EQ(Image_shareDataStream(&image), 0);
        ASSERT_NE(image.sharedStream, nullptr);
        ASSERT_NE(image.dataStream, &w.base); // a first reader took its place
        EXPECT_EQ(image.sharedStream->refs, 2);
        EXPECT_EQ(image.sharedStream->locked, 1u);
        uint8_t b = 0;
        ASSERT_EQ(ByteStream_readByte(image.dataStream, &b), 0);
        EXPECT_EQ(b, w.data[0]);
        // Shared once: a second call changes nothing.
        SharedStream *shared = image.sharedStream;
        EXPECT_EQ(Image_shareDataStream(&image), 0);
        EXPECT_EQ(image.sharedStream, shared);
        ByteStream_close(image.dataStream);
        SharedStream_release(image.sharedStream);
        EXPECT_EQ(w.closes, 1);
        ctx()->featureFlags = 0;
    });
}

} // namespace
