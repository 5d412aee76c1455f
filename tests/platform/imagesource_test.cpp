// Image sources over stream handles: the open slot hands the handle over
// to a byte stream once; the release slot closes a handle never handed
// over; nothing leaks on any path. Image sources over URLs: equal URLs are
// the same source, and the file opens anew for every stream.
#include "tests/platform/file_fixture.h"

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "platform/vfs/imagesource.h"
#include "platform/vfs/vfs.h"

namespace {

class ImageSourceTest : public HeapFixture {
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
        EXPECT_EQ(Vfs_openMemory(ctx, gif, 6, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
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

class UrlSourceTest : public FileFixture {};

TEST_F(UrlSourceTest, EqualUrlsAreTheSameEachOpenReadsTheFileAndTheFirstErrorStays)
{
    size_t before = TestHeap_usedBytes();
    writeFile("pic.bin", "FAKE picture");
    Url *u = fileUrl("pic.bin");
    Url *other = fileUrl("other.bin");
    ImageSource *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(ByteSrc_openUrl(u, &a), Res_ok);
    ASSERT_EQ(ByteSrc_openUrl(u, &b), Res_ok);
    ASSERT_EQ(ByteSrc_openUrl(other, &c), Res_ok);
    EXPECT_EQ(a->same, ImageSource_sameUrl);
    EXPECT_EQ(a->release, ImageSource_closeUrl);
    EXPECT_NE(a->same(ctx, a, b), 0);
    EXPECT_EQ(a->same(ctx, a, c), 0);
    for (int round = 0; round < 2; round++) {
        ByteStream *s = nullptr;
        ASSERT_EQ(a->openStream(ctx, a, &s), Res_ok) << round;
        uint8_t sig[4];
        ASSERT_EQ(ByteStream_readExact(s, sig, 4), Res_ok);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(sig), 4), "FAKE");
        EXPECT_EQ(ByteStream_close(s), Res_ok);
    }
    // A missing file: the first error stays the answer, even once the file
    // is there.
    ByteStream *missing = reinterpret_cast<ByteStream *>(1);
    int first = c->openStream(ctx, c, &missing);
    EXPECT_NE(first, Res_ok) << "no such file";
    EXPECT_EQ(missing, nullptr);
    writeFile("other.bin", "FAKE now");
    EXPECT_EQ(c->openStream(ctx, c, &missing), first);
    EXPECT_EQ(missing, nullptr);
    // Running out of memory is not remembered: the next open may work.
    ByteStream *later = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(b->openStream(ctx, b, &later), Res_noMemory);
    Mem_failAfter(0);
    ASSERT_EQ(b->openStream(ctx, b, &later), Res_ok);
    EXPECT_EQ(ByteStream_close(later), Res_ok);
    // No URL, or a URL without any part: no source and no error.
    Url *empty = url("");
    ASSERT_NE(empty, nullptr);
    for (const Url *none : {static_cast<const Url *>(nullptr), static_cast<const Url *>(empty)}) {
        ImageSource *src = reinterpret_cast<ImageSource *>(1);
        EXPECT_EQ(ByteSrc_openUrl(none, &src), Res_ok);
        EXPECT_EQ(src, nullptr);
    }
    Url_free(empty);
    for (ImageSource *src : {a, b, c})
        src->release(ctx, src);
    ImageSource_closeUrl(ctx, nullptr);
    Url_free(u);
    Url_free(other);
    EXPECT_EQ(TestHeap_usedBytes(), before);
}

} // namespace
