// Memory streams: lending without copying, shared blocks and clones, seeks,
// info codes, mode checks and ownership of the data on every path.
#include "tests/platform/file_fixture.h"

#include <cstring>
#include <string>

#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"

namespace {

class MemStreamTest : public HeapFixture {
  protected:
    size_t baseline = 0;

    void SetUp() override
    {
        HeapFixture::SetUp();
        baseline = TestHeap_usedBytes();
    }

    // A heap copy of text for a stream to own.
    static uint8_t *heapBytes(const std::string &text)
    {
        uint8_t *p = static_cast<uint8_t *>(Mem_malloc(text.size() ? text.size() : 1));
        memcpy(p, text.data(), text.size());
        return p;
    }

    static std::string lendAll(VfsHandle *h, size_t consume)
    {
        const uint8_t *p = nullptr;
        size_t len = 0;
        EXPECT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_ok);
        std::string s(reinterpret_cast<const char *>(p), len);
        EXPECT_EQ(Vfs_readDone(h, consume), Res_ok);
        return s;
    }
};

TEST_F(MemStreamTest, LendsTheWholeRestWithoutCopying)
{
    static const uint8_t data[] = "0123456789";
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, data, 10, 0, Vfs_modeRead, &h, &accepted), Res_ok);
    EXPECT_EQ(accepted, Vfs_modeRead | Vfs_modeSeekable | Vfs_modeMemory);
    EXPECT_EQ(h->mode, accepted);
    EXPECT_EQ(h->type, VfsType_mem);
    EXPECT_EQ(h->url, nullptr);
    const uint8_t *p = nullptr;
    size_t len = 0;
    ASSERT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_ok);
    EXPECT_EQ(p, data) << "the block itself";
    EXPECT_EQ(len, 10u) << "everything, whatever was asked";
    EXPECT_EQ(Vfs_readDone(h, 3), Res_ok);
    EXPECT_EQ(lendAll(h, 100), "3456789");
    EXPECT_EQ(lendAll(h, 0), "");
    uint64_t pos = 0;
    EXPECT_EQ(Vfs_tell(h, &pos), Res_ok);
    EXPECT_EQ(pos, 10u) << "consuming stops at the end";
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(MemStreamTest, AnEmptyBlockLendsNothingAtOnce)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, nullptr, 0, 0, Vfs_modeRead, &h, &accepted), Res_ok);
    EXPECT_EQ(lendAll(h, 0), "");
    uint8_t buf[4];
    size_t got = 9;
    EXPECT_EQ(Vfs_readBytes(h, buf, 4, &got), Res_vfsShortRead);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(MemStreamTest, SeeksAndTheLentState)
{
    static const uint8_t data[] = "abcdefgh";
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, data, 8, 0, 0x31, &h, &accepted), Res_ok);
    EXPECT_EQ(Vfs_seek(h, 5), Res_ok);
    EXPECT_EQ(lendAll(h, 1), "fgh");
    EXPECT_EQ(Vfs_seek(h, 0x100000000), Res_fileSeek);
    EXPECT_EQ(Vfs_seek(h, 100), Res_ok) << "beyond the end";
    EXPECT_EQ(lendAll(h, 5), "");
    uint64_t pos = 0;
    EXPECT_EQ(Vfs_tell(h, &pos), Res_ok);
    EXPECT_EQ(pos, 100u);
    ASSERT_EQ(Vfs_seekFrom(h, -3, 2), Res_ok);
    EXPECT_EQ(lendAll(h, 0), "fgh");
    const uint8_t *p = nullptr;
    size_t len = 0;
    EXPECT_EQ(Vfs_readDone(h, 1), Res_vfsNothingLent);
    ASSERT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_ok);
    EXPECT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_tell(h, &pos), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_seek(h, 0), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_close(h), Res_vfsBufferLent);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(MemStreamTest, ClonesShareTheBlockAndReadOnTheirOwn)
{
    VfsHandle *a = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, heapBytes("shared data"), 11, 1, 0x31, &a, &accepted), Res_ok);
    ASSERT_EQ(
        Vfs_setInfo(a, VfsInfo_mime, reinterpret_cast<uintptr_t>(Ustr_fromCstr("text/plain"))),
        Res_ok);
    const uint8_t *p = nullptr;
    size_t len = 0;
    // A clone made while a buffer is lent starts with nothing lent.
    ASSERT_EQ(Vfs_getReadBuf(a, 1, &p, &len), Res_ok);
    VfsHandle *b = nullptr;
    ASSERT_EQ(Vfs_clone(a, &b), Res_ok);
    EXPECT_EQ(Vfs_readDone(a, 7), Res_ok);
    EXPECT_FALSE(b->mode & Vfs_modeLent);
    EXPECT_EQ(b->mode, a->mode);
    EXPECT_EQ(b->type, VfsType_mem);
    EXPECT_EQ(lendAll(b, 2), "shared data");
    EXPECT_EQ(lendAll(a, 0), "data");
    // The block's properties are shared.
    uintptr_t v = 0;
    ASSERT_EQ(Vfs_getInfo(b, VfsInfo_mime, &v), Res_ok);
    EXPECT_EQ(S(reinterpret_cast<const char16_t *>(v)), "text/plain");
    size_t withBoth = TestHeap_usedBytes();
    EXPECT_EQ(Vfs_close(a), Res_ok);
    EXPECT_LT(TestHeap_usedBytes(), withBoth);
    EXPECT_EQ(lendAll(b, 0), "ared data") << "the data outlive the first handle";
    VfsHandle *c = nullptr;
    ASSERT_EQ(Vfs_clone(b, &c), Res_ok);
    EXPECT_EQ(Vfs_close(b), Res_ok);
    EXPECT_EQ(lendAll(c, 0), "shared data");
    EXPECT_EQ(Vfs_close(c), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), baseline) << "the last close frees the owned data";
}

TEST_F(MemStreamTest, InfoCodes)
{
    static const uint8_t data[] = "12345";
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, data, 5, 0, Vfs_modeRead, &h, &accepted), Res_ok);
    uintptr_t v = 0;
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size, &v), Res_ok);
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(v), 5u);
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size11, &v), Res_ok) << "falls back to the size";
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(v), 5u);
    EXPECT_EQ(Vfs_getInfo(h, VfsInfo_mime, &v), Res_ok);
    EXPECT_EQ(v, 0u) << "no MIME type until one is set";
    EXPECT_EQ(Vfs_getInfo(h, VfsInfo_modTime, &v), Res_vfsInfoUnknown);
    char16_t *s2 = Ustr_fromCstr("second");
    EXPECT_EQ(Vfs_setInfo(h, VfsInfo_string2, reinterpret_cast<uintptr_t>(s2)), Res_ok);
    // Setting the same string again keeps it; a new one replaces it.
    EXPECT_EQ(Vfs_setInfo(h, VfsInfo_string2, reinterpret_cast<uintptr_t>(s2)), Res_ok);
    EXPECT_EQ(Vfs_setInfo(h, VfsInfo_string2, reinterpret_cast<uintptr_t>(Ustr_fromCstr("third"))),
              Res_ok);
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_string2, &v), Res_ok);
    EXPECT_EQ(S(reinterpret_cast<const char16_t *>(v)), "third");
    EXPECT_EQ(Vfs_setInfo(h, VfsInfo_size, 1), Res_vfsInfoNotSettable);
    uint32_t len32 = 0;
    EXPECT_EQ(Vfs_getLength32(h, &len32), Res_ok);
    EXPECT_EQ(len32, 5u);
    Url *u = reinterpret_cast<Url *>(1);
    EXPECT_EQ(Vfs_getUrl(h, &u), Res_ok);
    EXPECT_EQ(u, nullptr);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(MemStreamTest, RefusedModesAndFailuresFreeOwnedData)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    for (uint32_t mode : {0x2u, 0x4u, 0x8u, 0x100u | 1, 0x8000u | 1}) {
        EXPECT_EQ(Vfs_openMemory(ctx, heapBytes("x"), 1, 1, mode, &h, &accepted),
                  Res_vfsNotAvailable)
            << std::hex << mode;
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(TestHeap_usedBytes(), baseline) << "refused data are freed";
    // A stream opened without read access lends nothing.
    static const uint8_t data[] = "ab";
    ASSERT_EQ(Vfs_openMemory(ctx, data, 2, 0, 0x10, &h, &accepted), Res_ok);
    const uint8_t *p = nullptr;
    size_t len = 0;
    EXPECT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_vfsNotOpenedFor);
    VfsHandle *c = nullptr;
    EXPECT_EQ(Vfs_clone(h, &c), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_close(h), Res_ok);

    int r = Res_noMemory;
    int n = 1;
    for (; n < 50 && r != Res_ok; n++) {
        uint8_t *bytes = heapBytes("owned");
        Mem_failAfter(n);
        r = Vfs_openMemory(ctx, bytes, 5, 1, Vfs_modeRead, &h, &accepted);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(TestHeap_usedBytes(), baseline) << n;
        }
    }
    ASSERT_EQ(r, Res_ok);
    EXPECT_GT(n, 3);
    for (r = Res_noMemory, n = 1; n < 50 && r != Res_ok; n++) {
        Mem_failAfter(n);
        r = Vfs_clone(h, &c);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(c, nullptr);
        }
    }
    ASSERT_EQ(r, Res_ok);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(lendAll(c, 0), "owned");
    EXPECT_EQ(Vfs_close(c), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(MemStreamTest, EventsWithoutSubscriptionSlotArriveAtOnce)
{
    static const uint8_t data[] = "x";
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, data, 1, 0, Vfs_modeRead, &h, &accepted), Res_ok);
    static std::string seen;
    seen.clear();
    VfsEventFn record = [](VfsHandle *, void *arg, uint32_t bit) {
        seen += std::string(static_cast<const char *>(arg)) + std::to_string(bit) + " ";
        return 0;
    };
    EXPECT_EQ(Vfs_subscribe(h, record, const_cast<char *>("e"), 0x35), Res_ok);
    EXPECT_EQ(seen, "e1 e4 ") << "low four bits, lowest first";
    EXPECT_EQ(Vfs_subscribe(h, record, const_cast<char *>("e"), 0), Res_ok);
    EXPECT_EQ(Vfs_subscribe(h, nullptr, nullptr, 15), Res_ok);
    EXPECT_EQ(seen, "e1 e4 ");
    EXPECT_EQ(Vfs_close(h), Res_ok);
}

} // namespace
