// The buffered reader: random windows, skips, runs and integers in both
// byte orders against direct indexing of the same file, over a URL and
// over a given stream; the window edge cases; the in-memory copy of listed
// files; files that grow or shrink behind the reader; allocation failures.
#include "tests/platform/file_fixture.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "platform/vfs/vfs.h"

namespace {

class BufStreamTest : public FileFixture {
  protected:
    void TearDown() override
    {
        EXPECT_EQ(TestHeap_usedBytes(), layerBaseline) << "heap bytes leaked";
        FileFixture::TearDown();
    }

    std::string randomBytes(size_t n, uint32_t seed)
    {
        std::mt19937 rng(seed);
        std::string s(n, '\0');
        for (char &c : s)
            c = char(rng());
        return s;
    }

    // A reader over the file name in the scratch directory.
    BufStream *openUrl(const std::string &name, uint32_t order = BufStream_bigEndian)
    {
        Url *u = fileUrl(name);
        BufStream *r = nullptr;
        EXPECT_EQ(BufStream_open(ctx, u, nullptr, 0, order, &r), Res_ok);
        Url_free(u);
        return r;
    }

    // A reader over a memory stream of bytes, handed over with its size.
    BufStream *openGiven(const std::string &bytes, uint32_t order)
    {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  Res_ok);
        BufStream *r = nullptr;
        EXPECT_EQ(BufStream_open(ctx, nullptr, h, uint32_t(bytes.size()), order, &r), Res_ok);
        return r;
    }

    static uint32_t integer(const std::string &b, size_t at, size_t size, uint32_t order)
    {
        uint32_t v = 0;
        for (size_t i = 0; i < size; i++) {
            size_t k = order == BufStream_littleEndian ? size - 1 - i : i;
            v = (v << 8) | uint8_t(b[at + k]);
        }
        return v;
    }

    // Random windows, then random operations in each, checked against the
    // bytes by index.
    void randomRun(BufStream *r, const std::string &bytes, uint32_t order, uint32_t seed)
    {
        std::mt19937 rng(seed);
        std::vector<uint8_t> out(9000);
        for (int w = 0; w < 60; w++) {
            uint32_t start = rng() % (bytes.size() + 1);
            uint32_t length = rng() % (bytes.size() - start + 1);
            ASSERT_EQ(BufStream_setRange(ctx, r, start, length), Res_ok);
            uint32_t pos = 0;
            for (int op = 0; op < 40; op++) {
                size_t left = length - pos;
                int kind = rng() % 5;
                size_t n = kind == 3 ? rng() % 9000 : kind == 4 ? rng() % 2000 : size_t(1) << kind;
                int res;
                uint32_t value = 0;
                switch (kind) {
                case 0: {
                    uint8_t v;
                    res = BufStream_readU8(&v, r);
                    value = v;
                    break;
                }
                case 1: {
                    uint16_t v;
                    res = BufStream_readU16(&v, r);
                    value = v;
                    break;
                }
                case 2: res = BufStream_readU32(&value, r); break;
                case 3: res = BufStream_read(r, out.data(), n); break;
                default: res = BufStream_skip(r, n);
                }
                if (n > left) {
                    ASSERT_EQ(res, kind == 4 ? Res_bufSkipPastEnd : Res_bufWindowShort);
                    if (kind == 3) {
                        // A run stops where the window ends; what fit was copied.
                        ASSERT_EQ(
                            memcmp(out.data(), bytes.data() + start + pos, BufStream_tell(r) - pos),
                            0);
                        pos = BufStream_tell(r);
                    }
                    ASSERT_EQ(BufStream_tell(r), pos);
                    continue;
                }
                ASSERT_EQ(res, Res_ok) << "window " << w << " op " << op;
                if (kind <= 2) {
                    ASSERT_EQ(value, integer(bytes, start + pos, n, order));
                } else if (kind == 3) {
                    ASSERT_EQ(memcmp(out.data(), bytes.data() + start + pos, n), 0);
                }
                pos += uint32_t(n);
                ASSERT_EQ(BufStream_tell(r), pos);
            }
        }
    }
};

TEST_F(BufStreamTest, RandomWindowsAgreeWithTheFileInBothByteOrders)
{
    std::string bytes = randomBytes(20000, 5);
    writeFile("data.bin", bytes);
    for (uint32_t order : {uint32_t(BufStream_littleEndian), uint32_t(BufStream_bigEndian), 0u}) {
        SCOPED_TRACE(order);
        BufStream *r = openUrl("data.bin", order);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->sourceSize, bytes.size());
        EXPECT_EQ(r->isOpen, 0u) << "opened lazily";
        randomRun(r, bytes, order, order + 1);
        EXPECT_EQ(r->memoryState, BufStream_memoryAllowed) << "no list: no copy";
        BufStream_close(r);

        r = openGiven(bytes, order);
        ASSERT_NE(r, nullptr);
        randomRun(r, bytes, order, order + 2);
        BufStream_close(r);
    }
}

TEST_F(BufStreamTest, WindowEdgesAndIntegerOrders)
{
    std::string bytes = "\x12\x34\x56\x78\x9a\xbc\xde\xf0";
    writeFile("e.bin", bytes);
    BufStream *r = openUrl("e.bin", BufStream_littleEndian);
    ASSERT_NE(r, nullptr);
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    uint8_t v8 = 0;

    // An empty window at the very end is fine; any read in it is not.
    ASSERT_EQ(BufStream_setRange(ctx, r, 8, 0), Res_ok);
    EXPECT_EQ(BufStream_readU8(&v8, r), Res_bufWindowShort);
    EXPECT_EQ(BufStream_skip(r, 0), Res_ok);
    EXPECT_EQ(BufStream_setRange(ctx, r, 8, 1), Res_bufWindowBeyond);
    EXPECT_EQ(r->isOpen, 0u) << "a failed window closes the file";
    // Sums that would wrap in 32 bits are refused, not wrapped.
    EXPECT_EQ(BufStream_setRange(ctx, r, 0xFFFFFFF8u, 0x10), Res_bufWindowBeyond);
    EXPECT_EQ(BufStream_setRange(ctx, r, 4, 0xFFFFFFFFu), Res_bufWindowBeyond);

    ASSERT_EQ(BufStream_setRange(ctx, r, 0, 8), Res_ok);
    ASSERT_EQ(BufStream_readU16(&v16, r), Res_ok);
    EXPECT_EQ(v16, 0x3412);
    r->byteOrder = BufStream_bigEndian;
    ASSERT_EQ(BufStream_readU16(&v16, r), Res_ok);
    EXPECT_EQ(v16, 0x5678);
    // The file is lent whole, but the window ends after 5 bytes: reading
    // 4 bytes 3 before its end fails and moves nothing.
    ASSERT_EQ(BufStream_setRange(ctx, r, 0, 5), Res_ok);
    ASSERT_EQ(BufStream_readU16(&v16, r), Res_ok);
    ASSERT_EQ(r->blockFill, 8u);
    EXPECT_EQ(BufStream_readU32(&v32, r), Res_bufWindowShort);
    EXPECT_EQ(v32, 0u);
    EXPECT_EQ(BufStream_tell(r), 2u);
    uint8_t run[4];
    EXPECT_EQ(BufStream_read(r, run, 4), Res_bufWindowShort);
    EXPECT_EQ(BufStream_tell(r), 5u) << "the bytes that fit were taken";
    EXPECT_EQ(memcmp(run, "\x56\x78\x9a", 3), 0);
    // Skipping exactly to the end is allowed, one byte more is not.
    ASSERT_EQ(BufStream_setRange(ctx, r, 1, 6), Res_ok);
    EXPECT_EQ(BufStream_skip(r, 7), Res_bufSkipPastEnd);
    EXPECT_EQ(BufStream_skip(r, SIZE_MAX), Res_bufSkipPastEnd) << "no wrap";
    EXPECT_EQ(BufStream_skip(r, 6), Res_ok);
    EXPECT_EQ(BufStream_readU8(&v8, r), Res_bufWindowShort);
    // The limit moves the window's end within the source.
    EXPECT_EQ(BufStream_setLimit(r, 8), Res_bufWindowBeyond);
    EXPECT_EQ(BufStream_setLimit(r, 7), Res_ok);
    ASSERT_EQ(BufStream_readU8(&v8, r), Res_ok);
    EXPECT_EQ(v8, 0xf0);
    EXPECT_EQ(BufStream_getStart(r), 1u);
    EXPECT_EQ(BufStream_getLimit(r), 7u);
    // A flush ends the window.
    EXPECT_EQ(BufStream_flush(r), Res_ok);
    EXPECT_EQ(BufStream_getLimit(r), 0u);
    ASSERT_EQ(BufStream_setRange(ctx, r, 0, 8), Res_ok);
    EXPECT_EQ(BufStream_flush(r), Res_ok);
    EXPECT_EQ(BufStream_readU8(&v8, r), Res_bufWindowShort);
    BufStream_close(r);
    BufStream_close(nullptr);
}

TEST_F(BufStreamTest, AListedFileIsReadIntoMemoryOnceAndServedFromThere)
{
    std::string bytes = randomBytes(10000, 9);
    ASSERT_EQ(mkdir(path("fonts").c_str(), 0755), 0);
    writeFile("fonts/face.ttf", bytes);
    const char *const list[] = {"other.ttf", "face.ttf"};
    BufStream *r = openUrl("fonts/face.ttf");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(BufStream_openSourceListed(ctx, r, list, 2), Res_ok);
    EXPECT_EQ(r->memoryState, BufStream_memoryDone);
    ASSERT_EQ(r->memoryLength, bytes.size());
    EXPECT_EQ(memcmp(r->memoryCopy, bytes.data(), bytes.size()), 0);
    const uint8_t *copy = r->memoryCopy;
    // Later windows come from memory, even with the file gone.
    ASSERT_EQ(BufStream_closeFile(r), Res_ok);
    ASSERT_EQ(unlink(path("fonts/face.ttf").c_str()), 0);
    ASSERT_EQ(BufStream_setRange(ctx, r, 9000, 1000), Res_ok);
    uint32_t v = 0;
    ASSERT_EQ(BufStream_readU32(&v, r), Res_ok);
    EXPECT_EQ(v, integer(bytes, 9000, 4, BufStream_bigEndian));
    EXPECT_EQ(r->memoryCopy, copy) << "copied once";
    BufStream_close(r);
}

TEST_F(BufStreamTest, OnlyTheFileNameItselfMatchesTheList)
{
    const char *const list[] = {"face.ttf"};
    ASSERT_EQ(mkdir(path("face.ttf").c_str(), 0755), 0);
    writeFile("face.ttf/inner.bin", "abcd");
    writeFile("myface.ttf", "abcd");
    for (const char *name : {"face.ttf/inner.bin", "myface.ttf"}) {
        SCOPED_TRACE(name);
        BufStream *r = openUrl(name);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(BufStream_openSourceListed(ctx, r, list, 1), Res_ok);
        EXPECT_EQ(r->memoryState, BufStream_memoryNo);
        EXPECT_EQ(r->memoryCopy, nullptr);
        ASSERT_EQ(BufStream_setRange(ctx, r, 0, 4), Res_ok);
        BufStream_close(r);
    }
}

TEST_F(BufStreamTest, TheCopyStopsAtTheSizeReadAtOpenWhenTheFileHasGrown)
{
    std::string bytes = randomBytes(5000, 3);
    writeFile("grow.ttf", bytes);
    BufStream *r = openUrl("grow.ttf");
    ASSERT_NE(r, nullptr);
    writeFile("grow.ttf", bytes + randomBytes(9000, 4));
    const char *const list[] = {"grow.ttf"};
    ASSERT_EQ(BufStream_openSourceListed(ctx, r, list, 1), Res_ok);
    ASSERT_EQ(r->memoryState, BufStream_memoryDone);
    EXPECT_EQ(r->memoryLength, 5000u);
    EXPECT_EQ(Mem_check(), 0);
    EXPECT_EQ(BufStream_setRange(ctx, r, 0, 5001), Res_bufWindowBeyond);
    ASSERT_EQ(BufStream_setRange(ctx, r, 0, 5000), Res_ok);
    std::vector<uint8_t> out(5000);
    ASSERT_EQ(BufStream_read(r, out.data(), 5000), Res_ok);
    EXPECT_EQ(memcmp(out.data(), bytes.data(), 5000), 0);
    BufStream_close(r);
}

TEST_F(BufStreamTest, AFileCutShortAnswers2319InsteadOfReadingPastTheLend)
{
    std::string bytes = randomBytes(3000, 8);
    writeFile("cut.bin", bytes);
    for (bool listed : {false, true}) {
        SCOPED_TRACE(listed);
        BufStream *r = openUrl("cut.bin");
        ASSERT_NE(r, nullptr);
        writeFile("cut.bin", bytes.substr(0, 1000));
        const char *const list[] = {"cut.bin"};
        ASSERT_EQ(BufStream_openSourceListed(ctx, r, list, listed ? 1 : 0), Res_ok);
        ASSERT_EQ(BufStream_setRange(ctx, r, 0, 3000), Res_ok);
        std::vector<uint8_t> out(3000);
        ASSERT_EQ(BufStream_read(r, out.data(), 998), Res_ok);
        uint32_t v = 0;
        EXPECT_EQ(BufStream_readU32(&v, r), Res_bufEmptyLend) << "2 bytes lent, 4 needed";
        EXPECT_EQ(BufStream_tell(r), 998u);
        uint16_t v16 = 0;
        ASSERT_EQ(BufStream_readU16(&v16, r), Res_ok);
        EXPECT_EQ(v16, integer(bytes, 998, 2, BufStream_bigEndian));
        uint8_t v8 = 0;
        EXPECT_EQ(BufStream_readU8(&v8, r), Res_bufEmptyLend);
        EXPECT_EQ(BufStream_skip(r, 1000), Res_ok) << "skips only move";
        EXPECT_EQ(BufStream_readU8(&v8, r), Res_bufEmptyLend);
        BufStream_close(r);
        writeFile("cut.bin", bytes);
    }
}

TEST_F(BufStreamTest, ClosingTheFileWhileABufferIsLentLeavesNothingDangling)
{
    std::string bytes = randomBytes(2000, 2);
    writeFile("c.bin", bytes);
    BufStream *r = openUrl("c.bin");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(BufStream_setRange(ctx, r, 100, 1000), Res_ok);
    uint8_t v = 0;
    ASSERT_EQ(BufStream_readU8(&v, r), Res_ok);
    ASSERT_NE(r->blockFill, 0u);
    EXPECT_EQ(BufStream_closeFile(r), Res_ok);
    EXPECT_EQ(r->isOpen, 0u);
    EXPECT_EQ(r->source, nullptr);
    EXPECT_EQ(r->blockFill, 0u);
    EXPECT_EQ(BufStream_readU8(&v, r), Res_bufWindowShort) << "the window went with the file";
    ASSERT_EQ(BufStream_setRange(ctx, r, 100, 1000), Res_ok);
    ASSERT_EQ(BufStream_readU8(&v, r), Res_ok);
    EXPECT_EQ(v, uint8_t(bytes[100]));
    BufStream_close(r);
}

TEST_F(BufStreamTest, OpenFailuresAndAllocationFailuresLeaveNothingBehind)
{
    Url *missing = fileUrl("missing.bin");
    BufStream *r = reinterpret_cast<BufStream *>(1);
    EXPECT_EQ(BufStream_open(ctx, missing, nullptr, 0, 24, &r), Res_fileCannotOpen);
    EXPECT_EQ(r, nullptr);
    Url_free(missing);

    std::string bytes = randomBytes(6000, 6);
    writeFile("oom.ttf", bytes);
    const char *const list[] = {"oom.ttf"};
    for (uint64_t n = 1;; n++) {
        Url *u = fileUrl("oom.ttf");
        Mem_failAfter(n);
        int res = BufStream_open(ctx, u, nullptr, 0, 24, &r);
        uint32_t v = 0;
        if (res == Res_ok) {
            res = BufStream_openSourceListed(ctx, r, list, 1);
            if (res == Res_ok)
                res = BufStream_setRange(ctx, r, 4000, 2000);
            if (res == Res_ok)
                res = BufStream_readU32(&v, r);
        }
        Mem_failAfter(0);
        BufStream_close(r);
        Url_free(u);
        if (res == Res_ok) {
            EXPECT_EQ(v, integer(bytes, 4000, 4, BufStream_bigEndian));
            break;
        }
        EXPECT_EQ(res, Res_noMemory) << "allocation " << n;
        EXPECT_EQ(TestHeap_usedBytes(), layerBaseline) << "allocation " << n;
        ASSERT_LT(n, 100u);
    }
}

} // namespace
