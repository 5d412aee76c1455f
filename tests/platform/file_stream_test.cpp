// The File stream type: lent read and write buffers, read-ahead, seeking
// inside the buffer, tell, info codes and URL operations.
#include "tests/platform/file_fixture.h"

#include <cstring>
#include <string>

#include "core/result.h"
#include "platform/vfs/vfs.h"

namespace {

class FileStreamTest : public FileFixture {
  protected:
    VfsHandle handle{};

    // Opens the scratch file name as the stream layer would.
    int open(const std::string &name, uint32_t mode)
    {
        handle = VfsHandle{};
        handle.type = VfsType_file;
        Url *u = fileUrl(name);
        uint32_t accepted = 0;
        int r = FileStream_open(ctx, &handle, u, mode, &accepted);
        Url_free(u);
        handle.mode = accepted;
        return r;
    }

    std::string read(size_t want)
    {
        const uint8_t *p = nullptr;
        size_t len = 0;
        EXPECT_EQ(FileStream_getReadBuf(&handle, want, &p, &len), 0);
        std::string s(reinterpret_cast<const char *>(p), len);
        EXPECT_EQ(FileStream_readDone(&handle, len < want ? len : want), 0);
        return s.substr(0, want);
    }

    void write(const std::string &s)
    {
        uint8_t *p = nullptr;
        size_t len = 0;
        ASSERT_EQ(FileStream_getWriteBuf(&handle, s.size(), &p, &len), 0);
        ASSERT_GE(len, s.size());
        memcpy(p, s.data(), s.size());
        ASSERT_EQ(FileStream_writeDone(&handle, s.size()), 0);
    }

    uint64_t tell()
    {
        uint64_t pos = 0;
        EXPECT_EQ(FileStream_tell(&handle, &pos), 0);
        return pos;
    }
};

TEST_F(FileStreamTest, ATenByteFileLendsTenThenNothing)
{
    writeFile("ten", "0123456789");
    ASSERT_EQ(open("ten", AlienFile_modeRead), 0);
    EXPECT_EQ(handle.mode, Vfs_modeRead | Vfs_modeSeekable);
    const uint8_t *p = nullptr;
    size_t len = 0;
    ASSERT_EQ(FileStream_getReadBuf(&handle, 4096, &p, &len), 0);
    EXPECT_EQ(len, 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(p), len), "0123456789");
    EXPECT_EQ(FileStream_readDone(&handle, 10), 0);
    ASSERT_EQ(FileStream_getReadBuf(&handle, 4096, &p, &len), 0);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(FileStream_readDone(&handle, 0), 0);
    EXPECT_EQ(FileStream_close(&handle), 0);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileStreamTest, LentBuffersBlockOtherCalls)
{
    writeFile("f", "abcdef");
    ASSERT_EQ(open("f", AlienFile_modeRead), 0);
    const uint8_t *p = nullptr;
    size_t len = 0;
    uint64_t pos = 0;
    uintptr_t v = 0;
    EXPECT_EQ(FileStream_readDone(&handle, 1), Res_vfsNothingLent);
    ASSERT_EQ(FileStream_getReadBuf(&handle, 2, &p, &len), 0);
    EXPECT_TRUE(handle.mode & Vfs_modeLent);
    EXPECT_EQ(FileStream_getReadBuf(&handle, 2, &p, &len), Res_vfsBufferLent);
    EXPECT_EQ(FileStream_tell(&handle, &pos), Res_vfsBufferLent);
    EXPECT_EQ(FileStream_seek(&handle, 0), Res_vfsBufferLent);
    EXPECT_EQ(FileStream_getHandle(&handle, &v), Res_vfsBufferLent);
    EXPECT_EQ(FileStream_close(&handle), Res_vfsBufferLent) << "closes all the same";
    EXPECT_EQ(handle.priv, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileStreamTest, ReadAheadFetchesBlocksAndKeepsAlignment)
{
    std::string data;
    for (int i = 0; i < 10000; i++)
        data += char('A' + i % 23);
    writeFile("f", data);
    ASSERT_EQ(open("f", AlienFile_modeRead | AlienFile_optReadAhead), 0);
    FileStream *fs = static_cast<FileStream *>(handle.priv);
    std::string got;
    size_t offsets = 0;
    while (got.size() < data.size()) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        ASSERT_EQ(FileStream_getReadBuf(&handle, 7, &p, &len), 0);
        if (len == 0)
            break;
        // A byte's buffer address keeps the word alignment of its offset.
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4 -
                      (reinterpret_cast<uintptr_t>(fs->buffer) % 4),
                  got.size() % 4);
        size_t take = len < 7 ? len : 7;
        got.append(reinterpret_cast<const char *>(p), take);
        ASSERT_EQ(FileStream_readDone(&handle, take), 0);
        offsets++;
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(tell(), 10000u);
    EXPECT_EQ(FileStream_close(&handle), 0);
}

TEST_F(FileStreamTest, SeekingBackInsideTheBufferDoesNotReadAgain)
{
    writeFile("f", "0123456789abcdef" + std::string(6000, '.'));
    ASSERT_EQ(open("f", AlienFile_modeRead | AlienFile_optReadAhead), 0);
    EXPECT_EQ(read(4), "0123");
    EXPECT_EQ(read(4), "4567");
    uint64_t before = 0;
    FileStream *fs = static_cast<FileStream *>(handle.priv);
    EXPECT_EQ(AlienFile_tell(fs->file, &before), 0);
    // Change the file under the stream: a read from the file would see it.
    writeFile("f", std::string(6016, '#'));
    EXPECT_EQ(FileStream_seek(&handle, 2), 0);
    EXPECT_EQ(tell(), 2u);
    EXPECT_EQ(read(4), "2345");
    uint64_t after = 0;
    EXPECT_EQ(AlienFile_tell(fs->file, &after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(FileStream_seek(&handle, 6), 0) << "the current position";
    EXPECT_EQ(read(2), "67");
    // Outside the buffer (4096 bytes read ahead) the stream seeks the file.
    EXPECT_EQ(FileStream_seek(&handle, 5000), 0);
    EXPECT_EQ(tell(), 5000u);
    EXPECT_EQ(read(4), "####");
    EXPECT_EQ(FileStream_seek(&handle, 0x8000000000000000u), Res_fileSeek);
    EXPECT_EQ(FileStream_close(&handle), 0);
}

TEST_F(FileStreamTest, WritesAppendInModeTwo)
{
    writeFile("log", "first;");
    ASSERT_EQ(open("log", AlienFile_modeAppend), 0);
    EXPECT_EQ(tell(), 6u);
    write("second;");
    EXPECT_EQ(tell(), 13u) << "tell flushes and counts written bytes";
    write("third");
    EXPECT_EQ(FileStream_close(&handle), 0);
    EXPECT_EQ(readFile("log"), "first;second;third");
}

TEST_F(FileStreamTest, WritingLargeDataFlushesAsTheBufferFills)
{
    ASSERT_EQ(open("out", AlienFile_modeWriteNew), 0);
    std::string expect;
    for (int i = 0; i < 3000; i++) {
        std::string piece = std::to_string(i) + ",";
        write(piece);
        expect += piece;
    }
    uintptr_t v = 0;
    ASSERT_EQ(FileStream_getInfo(&handle, 0, &v), 0);
    EXPECT_EQ(*reinterpret_cast<uint64_t *>(v), expect.size()) << "the size sees pending bytes";
    EXPECT_EQ(FileStream_close(&handle), 0);
    EXPECT_EQ(readFile("out"), expect);
}

TEST_F(FileStreamTest, ReadingAndWritingSwitchAtASeek)
{
    writeFile("rw", "abcdef");
    ASSERT_EQ(open("rw", AlienFile_modeReadAppend), 0);
    EXPECT_EQ(handle.mode & 3, 3u);
    EXPECT_EQ(FileStream_seek(&handle, 0), 0);
    EXPECT_EQ(read(3), "abc");
    uint8_t *p = nullptr;
    size_t len = 0;
    EXPECT_EQ(FileStream_getWriteBuf(&handle, 2, &p, &len), Res_vfsNotAvailable)
        << "unread data in the buffer";
    EXPECT_EQ(FileStream_seek(&handle, 6), 0);
    write("XY");
    const uint8_t *rp = nullptr;
    EXPECT_EQ(FileStream_getReadBuf(&handle, 1, &rp, &len), Res_vfsNotAvailable)
        << "written bytes pending";
    EXPECT_EQ(FileStream_seek(&handle, 0), 0);
    EXPECT_EQ(read(8), "abcdefXY");
    EXPECT_EQ(FileStream_writeDone(&handle, 1), Res_vfsNothingLent);
    EXPECT_EQ(FileStream_close(&handle), 0);
}

TEST_F(FileStreamTest, WriteDoneRefusesMoreThanWasLent)
{
    ASSERT_EQ(open("o", AlienFile_modeWriteNew), 0);
    uint8_t *p = nullptr;
    size_t len = 0;
    ASSERT_EQ(FileStream_getWriteBuf(&handle, 8, &p, &len), 0);
    EXPECT_EQ(FileStream_writeDone(&handle, len + 1), Res_vfsRequestTooLarge);
    EXPECT_EQ(FileStream_close(&handle), 0);
    EXPECT_EQ(readFile("o"), "");
}

TEST_F(FileStreamTest, InfoCodes)
{
    writeFile("doc.txt", "12345");
    ASSERT_EQ(open("doc.txt", AlienFile_modeRead), 0);
    uintptr_t v = 0;
    ASSERT_EQ(FileStream_getInfo(&handle, 0, &v), 0);
    EXPECT_EQ(*reinterpret_cast<uint64_t *>(v), 5u);
    ASSERT_EQ(FileStream_getInfo(&handle, 1, &v), 0);
    EXPECT_NE(reinterpret_cast<const char16_t *>(v), nullptr);
    EXPECT_EQ(handle.mime, reinterpret_cast<const char16_t *>(v)) << "cached in the handle";
    EXPECT_EQ(FileStream_getInfo(&handle, 2, &v), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(FileStream_getInfo(&handle, 6, &v), 0);
    EXPECT_EQ(v, handle.mimeId);
    EXPECT_EQ(FileStream_getInfo(&handle, 10, &v), 0);
    EXPECT_EQ(FileStream_getInfo(&handle, 4, &v), Res_vfsInfoUnknown);
    ASSERT_NE(v, 0u);
    EXPECT_EQ(*reinterpret_cast<uint32_t *>(v), 0u);
    EXPECT_EQ(FileStream_getInfo(&handle, 9, &v), Res_vfsInfoUnknown);
    EXPECT_EQ(FileStream_getInfo(&handle, 77, &v), Res_vfsInfoUnknown);
    EXPECT_EQ(FileStream_setInfo(&handle, 1, 0), Res_vfsInfoNotSettable);
    uintptr_t native = 5;
    EXPECT_EQ(FileStream_getHandle(&handle, &native), Res_vfsNotAvailable);
    EXPECT_EQ(FileStream_close(&handle), 0);
}

TEST_F(FileStreamTest, MemoryFilesOpenOnlyThroughMarkedUrls)
{
    static const char text[] = "in memory";
    Url *u = nullptr;
    ASSERT_EQ(AlienFile_ramUrl(ctx, text, 9, "txt", &u), 0);
    uint32_t accepted = 0;
    ASSERT_EQ(FileStream_open(ctx, &handle, u, AlienFile_modeRead, &accepted), 0);
    handle.mode = accepted;
    EXPECT_EQ(read(9), "in memory");
    EXPECT_EQ(FileStream_close(&handle), 0);
    // The same text without the mark reaches nothing, even asking for it.
    Url_setFlag16(u, 0);
    handle = VfsHandle{};
    EXPECT_EQ(FileStream_open(ctx, &handle, u, AlienFile_modeRead | AlienFile_optMemory, &accepted),
              Res_fileCannotOpen);
    Url_free(u);
    AlienFile_ramRelease(ctx, text);
}

TEST_F(FileStreamTest, ListingsThroughTheStream)
{
    writeFile("a.doc", "");
    writeFile("b.doc", "");
    ASSERT_EQ(open("*.doc", AlienFile_modeList), 0);
    EXPECT_EQ(handle.mode, Vfs_modeList);
    const char16_t *name = nullptr;
    ASSERT_EQ(FileStream_readDirEntry(&handle, &name), 0);
    EXPECT_EQ(S(name), "a.doc");
    ASSERT_EQ(FileStream_readDirEntry(&handle, &name), 0);
    EXPECT_EQ(S(name), "b.doc");
    ASSERT_EQ(FileStream_readDirEntry(&handle, &name), 0);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(FileStream_close(&handle), 0);
}

TEST_F(FileStreamTest, UrlOperations)
{
    writeFile("s", "x");
    Url *s = fileUrl("s"), *t = fileUrl("t"), *deep = fileUrl("p/q/r/file");
    EXPECT_EQ(FileStream_copy(ctx, s, t), 0);
    EXPECT_EQ(readFile("t"), "x");
    EXPECT_EQ(FileStream_remove(ctx, t), 0);
    EXPECT_EQ(FileStream_rename(ctx, s, t), 0);
    EXPECT_FALSE(exists("s"));
    EXPECT_EQ(FileStream_makeDirs(ctx, deep), 0);
    EXPECT_TRUE(exists("p/q/r"));
    Headless_captureDebug(heap.host, 1);
    EXPECT_EQ(FileStream_rename(ctx, s, t), Res_fileRename);
    EXPECT_NE(std::string(Headless_debugText(heap.host)).find("Error renaming "),
              std::string::npos);
    Headless_clearDebug(heap.host);
    EXPECT_EQ(FileStream_copy(ctx, s, t), Res_fileCopy);
    EXPECT_NE(std::string(Headless_debugText(heap.host)).find("Error copying "), std::string::npos);
    Url *bad = url("file://nowhere/x");
    EXPECT_EQ(FileStream_remove(ctx, bad), Res_fileBadHost);
    Url *zip = url("file://root/a/B.ZIP/c");
    EXPECT_EQ(FileStream_pathQuery(ctx, zip, 10, 0), Res_vfsNotAvailable);
    EXPECT_EQ(FileStream_pathQuery(ctx, s, 10, 0), Res_vfsInfoUnknown);
    EXPECT_EQ(FileStream_pathQuery(ctx, zip, 0, 0), Res_vfsInfoUnknown);
    EXPECT_EQ(FileStream_pathQuery(ctx, zip, 4, 0), Res_vfsInfoUnknown);
    for (Url *u : {s, t, deep, bad, zip})
        Url_free(u);
}

} // namespace
