// Byte streams over virtual streams: the lending variant over files (byte
// by byte, positions, 64-bit seeks, what closing leaves behind), the
// copying variant (unknown lengths, incremental fills, seeks that never
// touch the stream), the choice between them, the control operations,
// stream errors as status, and every deflate fixture inflated from a
// byte stream over its file URL.
#include "tests/platform/file_fixture.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/stream/inflate.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"
#include "tests/core/stream_support.h"

namespace {

class VfsByteStreamTest : public FileFixture {
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

    VfsHandle *openFile(const std::string &name, uint32_t mode = Vfs_modeRead | Vfs_modeSeekable)
    {
        Url *u = fileUrl(name);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_open(ctx, u, mode, &h, &accepted), Res_ok);
        Url_free(u);
        return h;
    }

    VfsHandle *openMemory(const std::string &bytes)
    {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, bytesOf(bytes), bytes.size(), 0,
                                 Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  Res_ok);
        return h;
    }

    static uint64_t positionOf(ByteStream *s)
    {
        uint64_t at = 0;
        EXPECT_EQ(ByteStream_control(s, ByteStream_opPosition, &at), Res_ok);
        return at;
    }

    static uint64_t tellOf(VfsHandle *h)
    {
        uint64_t at = 0;
        EXPECT_EQ(Vfs_tell(h, &at), Res_ok);
        return at;
    }

    static std::string readAll(ByteStream *s)
    {
        std::string out;
        uint8_t b;
        while (ByteStream_readByte(s, &b) == Res_ok)
            out += char(b);
        return out;
    }
};

TEST_F(VfsByteStreamTest, LendingReadsAFileByteByByteWithItsPositions)
{
    std::string bytes = randomBytes(10000, 1);
    writeFile("a.bin", bytes);
    VfsHandle *h = openFile("a.bin");
    ASSERT_NE(h, nullptr);
    ByteStream *s = nullptr;
    ASSERT_EQ(VfsByteStream_create(h, &s, 0, 1), Res_ok);
    VfsByteStream *v = reinterpret_cast<VfsByteStream *>(s);
    EXPECT_EQ(s->getByte, v->base.getByte);
    EXPECT_EQ(s->length, 10000u);
    EXPECT_EQ(positionOf(s), 0u);
    for (size_t i = 0; i < 5000; i++) {
        uint8_t b;
        ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
        ASSERT_EQ(b, uint8_t(bytes[i])) << i;
    }
    EXPECT_EQ(positionOf(s), 5000u);
    EXPECT_EQ(v->fill, 0u) << "nothing copied";
    ASSERT_EQ(ByteStream_seek(s, 17), Res_ok);
    EXPECT_EQ(positionOf(s), 17u);
    EXPECT_EQ(readAll(s), bytes.substr(17));
    EXPECT_EQ(positionOf(s), 10000u);
    EXPECT_EQ(s->status, 0);
    // Positions beyond 4 GiB stay 64-bit.
    ASSERT_EQ(ByteStream_seek(s, 0x100000010ull), Res_ok);
    EXPECT_EQ(positionOf(s), 0x100000010ull);
    uint8_t b;
    EXPECT_EQ(ByteStream_readByte(s, &b), Res_byteStreamEnded);
    EXPECT_EQ(ByteStream_close(s), Res_ok);
}

TEST_F(VfsByteStreamTest, ClosingALendingStreamLeavesTheStreamAfterTheWholeBuffer)
{
    std::string bytes = randomBytes(10000, 2);
    writeFile("b.bin", bytes);
    VfsHandle *h = openFile("b.bin");
    ASSERT_NE(h, nullptr);
    ByteStream *s = nullptr;
    ASSERT_EQ(VfsByteStream_create(h, &s, 0, 0), Res_ok);
    uint8_t three[3];
    ASSERT_EQ(ByteStream_readExact(s, three, 3), Res_ok);
    EXPECT_EQ(size_t(s->end - s->readPtr), 4093u);
    EXPECT_EQ(ByteStream_close(s), Res_ok);
    EXPECT_EQ(tellOf(h), 4096u);
    EXPECT_EQ(Vfs_close(h), Res_ok) << "not owned: still open";
}

TEST_F(VfsByteStreamTest, CopyingReadsAStreamOfUnknownLengthWholeAndSeeksWithoutIt)
{
    std::string bytes = randomBytes(10000, 3);
    VfsHandle *h = openMemory(bytes);
    ASSERT_NE(h, nullptr);
    // A stream that neither seeks nor knows its size.
    static_cast<MemFileHandle *>(h->priv)->shared->size = 0;
    h->mode &= ~uint32_t(Vfs_modeSeekable);
    ByteStream *s = nullptr;
    ASSERT_EQ(VfsByteStream_create(h, &s, 1, 0), Res_ok);
    VfsByteStream *v = reinterpret_cast<VfsByteStream *>(s);
    EXPECT_EQ(s->length, 10000u);
    EXPECT_EQ(v->fill, 10000u);
    ASSERT_NE(v->buffer, nullptr);
    EXPECT_EQ(memcmp(v->buffer, bytes.data(), 10000), 0);
    EXPECT_EQ(tellOf(h), 10000u);
    EXPECT_EQ(readAll(s).size(), 10000u);
    // Backwards: the virtual stream is not touched.
    ASSERT_EQ(ByteStream_seek(s, 9990), Res_ok);
    EXPECT_EQ(positionOf(s), 9990u);
    EXPECT_EQ(readAll(s), bytes.substr(9990));
    ASSERT_EQ(ByteStream_seek(s, 1), Res_ok);
    EXPECT_EQ(readAll(s), bytes.substr(1));
    EXPECT_EQ(tellOf(h), 10000u);
    EXPECT_EQ(ByteStream_close(s), Res_ok);
    EXPECT_EQ(Vfs_close(h), Res_ok);
}

TEST_F(VfsByteStreamTest, CopyingFillsAsItGoesWhenTheLengthIsKnown)
{
    std::string bytes = randomBytes(20000, 4);
    writeFile("c.bin", bytes);
    VfsHandle *h = openFile("c.bin");
    ASSERT_NE(h, nullptr);
    h->mode |= VfsByteStream_modeNoLend;
    ByteStream *s = nullptr;
    ASSERT_EQ(VfsByteStream_create(h, &s, 1, 1), Res_ok);
    VfsByteStream *v = reinterpret_cast<VfsByteStream *>(s);
    EXPECT_EQ(v->fill, 0u) << "a known length is not read ahead";
    uint8_t b;
    ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
    EXPECT_EQ(v->fill, 4096u);
    EXPECT_EQ(v->capacity, 20000u) << "the first buffer is the length";
    ASSERT_EQ(ByteStream_seek(s, 9000), Res_ok);
    EXPECT_EQ(v->fill, 9000u + 4096u);
    ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
    EXPECT_EQ(b, uint8_t(bytes[9000]));
    ASSERT_EQ(ByteStream_seek(s, 30000), Res_ok) << "past the end";
    EXPECT_EQ(v->fill, 20000u);
    EXPECT_EQ(positionOf(s), 20000u);
    EXPECT_EQ(ByteStream_readByte(s, &b), Res_byteStreamEnded);
    ASSERT_EQ(ByteStream_seek(s, 5), Res_ok);
    EXPECT_EQ(readAll(s), bytes.substr(5));
    EXPECT_EQ(ByteStream_close(s), Res_ok);
}

TEST_F(VfsByteStreamTest, TheVariantFollowsTheWishAndTheModeWord)
{
    std::string bytes = "variant";
    struct Case {
        uint32_t setBits, clearBits;
        int wantCopy;
        bool copies;
    } cases[] = {
        {0, 0, 0, false},
        {0, 0, 1, false},                        // seekable: lent all the same
        {0, Vfs_modeSeekable, 1, true},          // cannot seek
        {VfsByteStream_modeNoLend, 0, 1, true},  // marked
        {VfsByteStream_modeNoLend, 0, 0, false}, // no wish, no copy
        {0, Vfs_modeSeekable, 0, false},
    };
    for (const Case &c : cases) {
        VfsHandle *h = openMemory(bytes);
        ASSERT_NE(h, nullptr);
        h->mode = (h->mode | c.setBits) & ~c.clearBits;
        ByteStream *s = nullptr;
        ASSERT_EQ(VfsByteStream_create(h, &s, c.wantCopy, 1), Res_ok);
        uint8_t b;
        ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
        VfsByteStream *v = reinterpret_cast<VfsByteStream *>(s);
        EXPECT_EQ(v->fill != 0, c.copies) << c.setBits << " " << c.clearBits << " " << c.wantCopy;
        EXPECT_EQ(readAll(s), "ariant");
        EXPECT_EQ(ByteStream_close(s), Res_ok);
    }
    ByteStream *s = reinterpret_cast<ByteStream *>(1);
    EXPECT_EQ(VfsByteStream_create(nullptr, &s, 0, 0), Res_missingArgument);
    EXPECT_EQ(s, nullptr);
    VfsHandle *h = openMemory(bytes);
    Mem_failAfter(1);
    EXPECT_EQ(VfsByteStream_create(h, &s, 0, 1), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(Vfs_close(h), Res_ok) << "the handle stays the caller's";
}

TEST_F(VfsByteStreamTest, ControlOperationsOfBothVariants)
{
    writeFile("note.txt", "hello");
    for (int copy : {0, 1}) {
        SCOPED_TRACE(copy);
        VfsHandle *h = openFile("note.txt");
        ASSERT_NE(h, nullptr);
        if (copy)
            h->mode |= VfsByteStream_modeNoLend;
        ByteStream *s = nullptr;
        ASSERT_EQ(VfsByteStream_create(h, &s, copy, 1), Res_ok);
        EXPECT_EQ(ByteStream_control(s, ByteStream_opKeepInfo, nullptr), Res_byteStreamNoControl);
        uint32_t word = 9;
        EXPECT_EQ(ByteStream_control(s, ByteStream_opIsMemory, &word), Res_ok);
        EXPECT_EQ(word, 0u);
        EXPECT_EQ(ByteStream_control(s, ByteStream_opMimeId, &word), Res_ok);
        EXPECT_EQ(word, 25u) << "text/plain";
        s->length = 0;
        uint64_t length = 0;
        EXPECT_EQ(ByteStream_control(s, ByteStream_opLength, &length), Res_ok);
        EXPECT_EQ(length, 5u);
        EXPECT_EQ(s->length, 5u) << "kept";
        Url *u = nullptr;
        EXPECT_EQ(ByteStream_control(s, ByteStream_opUrl, &u), Res_ok);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(TakeC(Url_toUtf8(u, UrlPart_all)), "file://root" + path("note.txt"));
        Url_free(u);
        uint8_t two[2];
        ASSERT_EQ(ByteStream_readExact(s, two, 2), Res_ok);
        EXPECT_EQ(positionOf(s), 2u);
        EXPECT_EQ(ByteStream_control(s, 77, nullptr), Res_byteStreamNoControl);
        EXPECT_EQ(ByteStream_close(s), Res_ok);
    }
    VfsHandle *h = openMemory("mem");
    ByteStream *s = nullptr;
    ASSERT_EQ(VfsByteStream_create(h, &s, 0, 1), Res_ok);
    uint32_t word = 0;
    EXPECT_EQ(ByteStream_control(s, ByteStream_opIsMemory, &word), Res_ok);
    EXPECT_EQ(word, 1u);
    EXPECT_EQ(ByteStream_control(s, ByteStream_opMimeId, &word), Res_ok);
    EXPECT_EQ(word, 0u) << "no MIME type";
    Url *u = reinterpret_cast<Url *>(1);
    EXPECT_EQ(ByteStream_control(s, ByteStream_opUrl, &u), Res_ok);
    EXPECT_EQ(u, nullptr);
    EXPECT_EQ(ByteStream_close(s), Res_ok);
}

TEST_F(VfsByteStreamTest, StreamErrorsBecomeTheStatus)
{
    writeFile("w.bin", "data");
    for (int copy : {0, 1}) {
        VfsHandle *h = openFile("w.bin", Vfs_modeAppend);
        ASSERT_NE(h, nullptr);
        h->mode &= ~uint32_t(Vfs_modeSeekable);
        ByteStream *s = nullptr;
        ASSERT_EQ(VfsByteStream_create(h, &s, copy, 1), Res_ok);
        uint8_t b;
        EXPECT_EQ(s->getByte(s), ByteStream_end);
        EXPECT_EQ(s->status, Res_vfsNotOpenedFor);
        EXPECT_EQ(ByteStream_readByte(s, &b), Res_vfsNotOpenedFor);
        EXPECT_EQ(ByteStream_close(s), Res_ok);
    }
}

TEST_F(VfsByteStreamTest, EveryFixtureInflatesFromAByteStreamOverItsFile)
{
    for (const DeflateCase &c : deflateCases()) {
        if (c.expect != "ok")
            continue;
        SCOPED_TRACE(c.file);
        Url *u = url("file://root" + streamFixturePath(c.file));
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted), Res_ok);
        Url_free(u);
        ByteStream *s = nullptr;
        ASSERT_EQ(VfsByteStream_create(h, &s, 0, 1), Res_ok);
        InflateStream *z = nullptr;
        ASSERT_EQ(InflateStream_create(&z, c.zlib ? Inflate_modeZlib : Inflate_modeRaw), Res_ok);
        std::string out;
        uint8_t room[1000];
        int done = 0;
        while (!done) {
            // The window as it stands, refilled when empty; at the end of
            // the file, zlib may still hold output.
            bool more = ByteStream_available(s, 0) > 0;
            size_t inCount = more ? size_t(s->end - s->readPtr) : 0, space = sizeof room;
            size_t offered = inCount;
            ASSERT_EQ(
                InflateStream_decode(more ? s->readPtr : nullptr, &inCount, room, &space, &done, z),
                Res_ok);
            if (more)
                s->readPtr += offered - inCount;
            out.append(reinterpret_cast<char *>(room), sizeof room - space);
            if (!more && space == sizeof room)
                break;
        }
        EXPECT_TRUE(done);
        EXPECT_EQ(out, readStreamFixture(c.source));
        EXPECT_EQ(InflateStream_destroy(z), Res_ok);
        EXPECT_EQ(ByteStream_close(s), Res_ok);
    }
}

} // namespace
