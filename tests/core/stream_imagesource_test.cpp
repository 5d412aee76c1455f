// Image sources over stream handles: the open slot hands the handle over
// to a byte stream once; the release slot closes a handle never handed
// over; nothing leaks on any path.
#include "tests/platform/file_fixture.h"

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/stream/imagesource.h"
#include "platform/vfs/vfs.h"

namespace
{

class ImageSourceTest : public HeapFixture
{
  protected:
    size_t baseline = 0;
    void SetUp() override
    {
        HeapFixture::SetUp();
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        HeapFixture::TearDown();
    }
    VfsHandle *memoryHandle()
    {
        static const uint8_t gif[] = "GIF89a";
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(gif, 6, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted, ctx),
                  Res_ok);
        return h;
    }
};

TEST_F(ImageSourceTest, OpenHandsTheHandleToAByteStreamOnce)
{
    ImageSource *src = nullptr;
    ASSERT_EQ(ImageSource_createForStream(memoryHandle(), &src), Res_ok);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->openStream, ImageSource_open);
    EXPECT_EQ(src->release, ImageSource_close);
    EXPECT_EQ(src->same, nullptr);
    ByteStream *s = nullptr;
    ASSERT_EQ(src->openStream(ctx, src, &s), Res_ok);
    EXPECT_EQ(reinterpret_cast<ImageStreamSource *>(src)->handle, nullptr);
    uint8_t sig[6];
    ASSERT_EQ(ByteStream_readExact(s, sig, 6), Res_ok);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(sig), 6), "GIF89a");
    ByteStream *again = reinterpret_cast<ByteStream *>(1);
    EXPECT_EQ(ImageSource_open(ctx, src, &again), Res_notFound);
    EXPECT_EQ(again, nullptr);
    src->release(ctx, src);
    EXPECT_EQ(ByteStream_close(s), Res_ok) << "the byte stream closes the handle";
}

TEST_F(ImageSourceTest, ReleaseClosesAHandleNeverHandedOver)
{
    ImageSource *src = nullptr;
    ASSERT_EQ(ImageSource_createForStream(memoryHandle(), &src), Res_ok);
    // A failed open leaves the handle with the source.
    ByteStream *s = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(ImageSource_open(ctx, src, &s), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_NE(reinterpret_cast<ImageStreamSource *>(src)->handle, nullptr);
    ImageSource_close(ctx, src);
    ImageSource_close(ctx, nullptr);

    VfsHandle *h = memoryHandle();
    Mem_failAfter(1);
    EXPECT_EQ(ImageSource_createForStream(h, &src), Res_noMemory) << "and the handle is closed";
    Mem_failAfter(0);
    EXPECT_EQ(src, nullptr);
}

} // namespace
