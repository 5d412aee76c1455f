// Virtual streams over files, built-in files and memory: opening by URL,
// the access-mode checks, the lent-buffer protocol with its 4096-byte
// limit, listings, writing, info codes, cloning, and out-of-memory runs.
#include "tests/platform/file_fixture.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"

namespace {

class VfsStreamTest : public FileFixture {
  protected:
    VfsHandle *h = nullptr;

    void TearDown() override
    {
        EXPECT_EQ(Vfs_close(h), 0);
        h = nullptr;
        FileFixture::TearDown();
    }

    int openUrl(const std::string &text, uint32_t mode)
    {
        Url *u = url(text);
        uint32_t accepted = 0;
        int r = Vfs_open(ctx, u, mode, &h, &accepted);
        Url_free(u);
        if (r == Res_ok)
            EXPECT_EQ(accepted, h->mode);
        else
            EXPECT_EQ(h, nullptr);
        return r;
    }

    int openFile(const std::string &name, uint32_t mode)
    {
        return openUrl("file://root" + path(name), mode);
    }

    // Reads to the end through lent buffers of at most `want` bytes.
    std::string readAll(size_t want = 4096)
    {
        std::string out;
        for (;;) {
            const uint8_t *p = nullptr;
            size_t len = 0;
            EXPECT_EQ(Vfs_getReadBuf(h, want, &p, &len), Res_ok);
            size_t take = len < want ? len : want;
            out.append(reinterpret_cast<const char *>(p), take);
            EXPECT_EQ(Vfs_readDone(h, take), Res_ok);
            if (len == 0)
                return out;
        }
    }

    uint64_t tell()
    {
        uint64_t pos = 0;
        EXPECT_EQ(Vfs_tell(h, &pos), Res_ok);
        return pos;
    }

    static std::string pattern(size_t n)
    {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += char('a' + i % 26);
        return s;
    }
};

TEST_F(VfsStreamTest, AccessModesOutsideTheAllowedSetAreRefused)
{
    writeFile("f", "x");
    struct Case {
        uint32_t mode;
        int result;
    } cases[] = {
        {0, Res_vfsNotAvailable},
        {6, Res_vfsNotAvailable}, // write at the end and from the start
        {7, Res_vfsNotAvailable},
        {9, Res_vfsNotAvailable}, // listing with reading
        {0x100 | 1, Res_vfsNotAvailable},
        {0x8000 | 1, Res_vfsNotAvailable}, // memory files are never asked for directly
        {0x80000000 | 1, Res_vfsNotAvailable},
        {1, Res_ok},
        {0x31, Res_ok},
        {0x2000011, Res_ok},
        {0x6000811, Res_ok},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(openFile("f", c.mode), c.result) << std::hex << c.mode;
        EXPECT_EQ(Vfs_close(h), 0);
        h = nullptr;
    }
    // A listing is accepted on its own.
    ASSERT_EQ(openUrl("file://root" + dir + "/*", 8), Res_ok);
    EXPECT_EQ(h->type, VfsType_file);
    EXPECT_EQ(h->mode, 8u);
}

TEST_F(VfsStreamTest, TypeChoiceByScheme)
{
    struct Case {
        const char *text;
        int result;
        uint32_t type;
    } cases[] = {
        {"file://root/tmp/a", Res_ok, VfsType_file},
        {"file:///tmp/a", Res_ok, VfsType_file},
        {"FILE://localhost/a.txt", Res_ok, VfsType_file},
        {"file://root", Res_urlIncomplete, VfsType_none}, // no path
        {"about:blank", Res_ok, VfsType_about},
        {"cid:part1@host", Res_ok, VfsType_mime},
        {"http://example.com/x", Res_vfsNoType, VfsType_none},
        {"https://example.com/", Res_vfsNoType, VfsType_none},
        {"ftp://example.com/x", Res_vfsNoType, VfsType_none},
        {"mailto:someone", Res_urlIncomplete, VfsType_none},
        {"plain/relative", Res_urlIncomplete, VfsType_none},
    };
    for (const Case &c : cases) {
        Url *u = url(c.text);
        uint32_t type = 99;
        EXPECT_EQ(Vfs_typeForUrl(ctx, u, &type), c.result) << c.text;
        EXPECT_EQ(type, c.type) << c.text;
        Url_free(u);
    }
    // Opening follows the same choice.
    EXPECT_EQ(openUrl("file://root", 1), Res_urlIncomplete);
    EXPECT_EQ(openUrl("http://example.com/x", 1), Res_vfsNoType);
    EXPECT_EQ(openUrl("cid:nothing", 1), Res_fileCannotOpen);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, FileReadsThroughLentBuffers)
{
    std::string data = pattern(10000);
    writeFile("f", data);
    ASSERT_EQ(openFile("f", 0x31), Res_ok);
    EXPECT_EQ(h->type, VfsType_file);
    EXPECT_EQ(h->mode, 0x31u);
    EXPECT_EQ(readAll(1000), data);
    EXPECT_EQ(tell(), 10000u);
    ASSERT_EQ(Vfs_seek(h, 9990), Res_ok);
    EXPECT_EQ(readAll(), data.substr(9990));
    EXPECT_EQ(Vfs_close(h), Res_ok);
    h = nullptr;
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, LendLimitAndLentState)
{
    writeFile("f", pattern(9000));
    ASSERT_EQ(openFile("f", 1), Res_ok);
    const uint8_t *p = nullptr;
    size_t len = 0;
    uint64_t pos = 0;
    // Above the limit the type is never asked: nothing is lent.
    EXPECT_EQ(Vfs_getReadBuf(h, 4097, &p, &len), Res_vfsRequestTooLarge);
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(h->mode & Vfs_modeLent);
    EXPECT_EQ(Vfs_readDone(h, 1), Res_vfsNothingLent);
    ASSERT_EQ(Vfs_getReadBuf(h, 4096, &p, &len), Res_ok);
    EXPECT_GE(len, 4096u);
    EXPECT_TRUE(h->mode & Vfs_modeLent);
    EXPECT_EQ(Vfs_getReadBuf(h, 10, &p, &len), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_tell(h, &pos), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_seek(h, 0), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_close(h), Res_vfsBufferLent) << "closes all the same";
    h = nullptr;
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, AccessKindChecks)
{
    writeFile("f", "abc");
    ASSERT_EQ(openFile("f", 1), Res_ok);
    uint8_t *w = nullptr;
    size_t len = 0;
    const char16_t *name = nullptr;
    EXPECT_EQ(Vfs_getWriteBuf(h, 3, &w, &len), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_writeDone(h, 3), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_readDir(h, &name), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;

    ASSERT_EQ(openFile("new", 4), Res_ok);
    const uint8_t *p = nullptr;
    EXPECT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_readDone(h, 0), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_getWriteBuf(h, 4097, &w, &len), Res_vfsRequestTooLarge);
    ASSERT_EQ(Vfs_getWriteBuf(h, 5, &w, &len), Res_ok);
    memcpy(w, "hello", 5);
    EXPECT_EQ(Vfs_writeDone(h, 4097), Res_vfsRequestTooLarge);
    EXPECT_EQ(Vfs_writeDone(h, 5), Res_ok);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    h = nullptr;
    EXPECT_EQ(readFile("new"), "hello");

    // Mode 2 appends to the existing file.
    ASSERT_EQ(openFile("new", 2), Res_ok);
    ASSERT_EQ(Vfs_getWriteBuf(h, 3, &w, &len), Res_ok);
    memcpy(w, "!!!", 3);
    EXPECT_EQ(Vfs_writeDone(h, 3), Res_ok);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    h = nullptr;
    EXPECT_EQ(readFile("new"), "hello!!!");
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, ListingsOfHostAndBuiltInDirectories)
{
    writeFile("b.doc", "1");
    writeFile("a.doc", "2");
    writeFile("c.txt", "3");
    ASSERT_EQ(openUrl("file://root" + dir + "/*.doc", 8), Res_ok);
    std::vector<std::string> names;
    const char16_t *name = nullptr;
    while (Vfs_readDir(h, &name) == Res_ok && name)
        names.push_back(S(name));
    EXPECT_EQ(names, (std::vector<std::string>{"a.doc", "b.doc"}));
    const uint8_t *p = nullptr;
    size_t len = 0;
    EXPECT_EQ(Vfs_getReadBuf(h, 1, &p, &len), Res_vfsNotOpenedFor);
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;

    ASSERT_EQ(openUrl("file://root/okala_dir/Resource/image", 8), Res_ok);
    names.clear();
    while (Vfs_readDir(h, &name) == Res_ok && name)
        names.push_back(S(name));
    EXPECT_EQ(names, (std::vector<std::string>{"unknown.png", "broken.png", "placeholder.png",
                                               "unreachable.png"}));
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, BuiltInFilesReadAsFiles)
{
    ASSERT_EQ(openUrl("file://root/okala_dir/Resource/image/unknown.png", 1), Res_ok);
    std::string all = readAll();
    ASSERT_EQ(all.size(), 415u);
    EXPECT_EQ(all.substr(1, 3), "PNG");
    ASSERT_EQ(Vfs_seek(h, 400), Res_ok);
    uint8_t buf[100];
    size_t got = 0;
    EXPECT_EQ(Vfs_readBytes(h, buf, 100, &got), Res_vfsShortRead);
    EXPECT_EQ(got, 15u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 15), all.substr(400));
    uint64_t size = 0;
    EXPECT_EQ(Vfs_getSize(h, &size), Res_ok);
    EXPECT_EQ(size, 415u);
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;
    // No fall-back to the host for paths under /okala_dir/.
    EXPECT_EQ(openUrl("file://root/okala_dir/nothing.png", 1), Res_fileCannotOpen);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, InfoCodesOfFileStreams)
{
    writeFile("Report.PDF", "%PDF-1.4");
    ASSERT_EQ(openFile("Report.PDF", 1), Res_ok);
    uintptr_t v = 0;
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size, &v), Res_ok);
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(v), 8u);
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_mime, &v), Res_ok);
    EXPECT_EQ(S(reinterpret_cast<const char16_t *>(v)), "application/pdf");
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_mimeId, &v), Res_ok);
    EXPECT_EQ(v, 22u);
    EXPECT_EQ(h->mimeId, 22u) << "derived once, kept in the handle";
    // Code 11 falls back to the size when the type does not answer it.
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size11, &v), Res_ok);
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(v), 8u);
    EXPECT_EQ(Vfs_getInfo(h, 99, &v), Res_vfsInfoUnknown);
    EXPECT_EQ(Vfs_setInfo(h, VfsInfo_mime, 0), Res_vfsInfoNotSettable);
    uint32_t len32 = 0;
    EXPECT_EQ(Vfs_getLength32(h, &len32), Res_ok);
    EXPECT_EQ(len32, 8u);
    Url *u = nullptr;
    EXPECT_EQ(Vfs_getUrl(h, &u), Res_ok);
    EXPECT_EQ(TakeC(Url_toUtf8(u, UrlPart_all)), "file://root" + path("Report.PDF"));
    int seekable = 0;
    EXPECT_EQ(Vfs_isSeekable(h, &seekable), Res_ok);
    EXPECT_EQ(seekable, 1);
    // A File stream cannot be cloned.
    VfsHandle *c = nullptr;
    EXPECT_EQ(Vfs_clone(h, &c), Res_vfsNotAvailable);
    EXPECT_EQ(c, nullptr);
}

TEST_F(VfsStreamTest, StreamHelpersSeekByOrigin)
{
    writeFile("f", "0123456789");
    Url *u = fileUrl("f");
    ASSERT_EQ(Vfs_openForReading(ctx, &h, u), Res_ok);
    Url_free(u);
    EXPECT_EQ(h->mode, 0x31u);
    char buf[16] = {};
    size_t got = 0;
    ASSERT_EQ(Vfs_readBytes(h, buf, 4, &got), Res_ok);
    EXPECT_EQ(std::string(buf, got), "0123");
    struct Case {
        int64_t offset;
        int whence;
        int result;
        uint64_t position; // after the call (unchanged on failure)
    } cases[] = {
        {2, 1, Res_ok, 6},                                     // from the current position
        {-3, 1, Res_ok, 3},        {7, 0, Res_ok, 7},          // from the start
        {-2, 2, Res_ok, 8},                                    // from the end
        {0, 2, Res_ok, 10},        {-11, 1, Res_fileSeek, 10}, // before the start: refused
        {1, 3, Res_nullInput, 10},                             // no such origin
        {4, 0, Res_ok, 4},         {-10, 1, Res_fileSeek, 4},
    };
    for (const Case &c : cases) {
        uint64_t o = uint64_t(c.offset);
        EXPECT_EQ(Vfs_seekFrom(h, o, c.whence), c.result) << c.offset << " " << c.whence;
        EXPECT_EQ(tell(), c.position) << c.offset << " " << c.whence;
    }
    ASSERT_EQ(Vfs_seekFrom(h, 0, 0), Res_ok);
    std::string big(10000, 0);
    EXPECT_EQ(Vfs_readBytes(h, big.data(), big.size(), &got), Res_vfsShortRead);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(Vfs_closeHolder(&h), Res_ok);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, ReadBytesCopiesAtMost4096)
{
    std::string data = pattern(10000);
    writeFile("f", data);
    ASSERT_EQ(openFile("f", 0x31), Res_ok);
    std::string out(10000, 0);
    size_t got = 0;
    EXPECT_EQ(Vfs_readBytes(h, out.data(), 10000, &got), Res_ok);
    EXPECT_EQ(got, 4096u);
    EXPECT_EQ(out.substr(0, 4096), data.substr(0, 4096));
    EXPECT_EQ(tell(), 4096u);
}

TEST_F(VfsStreamTest, UrlOperationsGoToTheFileType)
{
    writeFile("a", "data");
    Url *a = fileUrl("a");
    Url *b = fileUrl("sub/dir/b");
    Url *c = fileUrl("c");
    Url *web = url("http://example.com/x");
    EXPECT_EQ(Vfs_makeDir(ctx, b), Res_ok);
    EXPECT_EQ(Vfs_copy(ctx, a, b), Res_ok);
    EXPECT_EQ(readFile("sub/dir/b"), "data");
    EXPECT_EQ(Vfs_rename(ctx, b, c), Res_ok);
    EXPECT_FALSE(exists("sub/dir/b"));
    EXPECT_EQ(Vfs_urlOp15(ctx, c), Res_ok);
    EXPECT_FALSE(exists("c"));
    EXPECT_EQ(Vfs_pathQuery(ctx, a, 0, 0), Res_vfsInfoUnknown);
    EXPECT_EQ(Vfs_urlOp15(ctx, web), Res_vfsNoType);
    Url *about = url("about:blank");
    EXPECT_EQ(Vfs_urlOp15(ctx, about), Res_vfsNotAvailable);
    uintptr_t result = 7;
    EXPECT_EQ(Vfs_handlerQuery(ctx, a, &result), Res_ok);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Vfs_getTypeFlags(ctx, a), 0u);
    EXPECT_EQ(Vfs_isSecureTyped(ctx, web), 0);
    for (Url *u : {a, b, c, web, about})
        Url_free(u);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

// A URL handler object decides the type of the stream.
TEST_F(VfsStreamTest, HandlerObjectChoosesTheType)
{
    static int retains = 0;
    static const UrlHandlerOps ops = {[](UrlHandler *) { retains++; },
                                      [](UrlHandler *) { retains--; }};
    UrlHandler handler = {&ops, nullptr, VfsType_file};
    writeFile("f", "xyz");
    Url *u = fileUrl("f");
    Url_setHandler(u, &handler);
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_open(ctx, u, 1, &h, &accepted), Res_ok);
    EXPECT_EQ(h->type, VfsType_file);
    EXPECT_EQ(readAll(), "xyz");
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;
    handler.streamType = VfsType_mem; // a type without an open slot
    EXPECT_EQ(Vfs_open(ctx, u, 1, &h, &accepted), Res_vfsNotAvailable);
    handler.streamType = 17; // no such type
    EXPECT_EQ(Vfs_open(ctx, u, 1, &h, &accepted), Res_vfsNoType);
    EXPECT_EQ(h, nullptr);
    Url_free(u);
    EXPECT_EQ(retains, 0);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, AboutBlankIsAnEmptyHtmlDocument)
{
    ASSERT_EQ(openUrl("about:blank", 1), Res_ok);
    EXPECT_EQ(h->type, VfsType_about);
    EXPECT_EQ(S(h->mime), "text/html");
    EXPECT_EQ(readAll(), "");
    uintptr_t v = 0;
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size, &v), Res_ok);
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(v), 0u);
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_mimeId, &v), Res_ok);
    EXPECT_EQ(v, 11u);
    EXPECT_EQ(Vfs_seek(h, 0), Res_vfsNotAvailable);
    EXPECT_EQ(Vfs_close(h), 0);
    h = nullptr;
    EXPECT_EQ(openUrl("about:nothing", 1), Res_fileCannotOpen);
    EXPECT_EQ(openUrl("about:blank", 4), Res_vfsNotAvailable);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(VfsStreamTest, DrainReadsToTheEndAndComesBack)
{
    writeFile("f", pattern(9000));
    ASSERT_EQ(openFile("f", 0x31), Res_ok);
    ASSERT_EQ(Vfs_seek(h, 100), Res_ok);
    const uint8_t *p = nullptr;
    size_t len = 0;
    ASSERT_EQ(Vfs_getReadBuf(h, 10, &p, &len), Res_ok);
    EXPECT_EQ(Vfs_refillDrain(h, 10), Res_ok);
    EXPECT_FALSE(h->mode & Vfs_modeLent);
    EXPECT_EQ(tell(), 100u);
    EXPECT_EQ(readAll(), pattern(9000).substr(100));
}

TEST_F(VfsStreamTest, OpenUnderAllocationFailures)
{
    writeFile("f", "content");
    Url *u = fileUrl("f");
    size_t before = TestHeap_usedBytes();
    int r = Res_noMemory;
    int n = 1;
    for (; n < 200 && r != Res_ok; n++) {
        Mem_failAfter(n);
        uint32_t accepted = 0;
        r = Vfs_open(ctx, u, 0x31, &h, &accepted);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        }
    }
    ASSERT_EQ(r, Res_ok);
    EXPECT_GT(n, 3) << "allocations failed on the way";
    EXPECT_EQ(readAll(), "content");
    Url_free(u);
}

TEST_F(VfsStreamTest, InitLayerStartsAndStopsEverything)
{
    RomFs_freeTable(ctx);
    AlienFile_finiLayer(ctx);
    size_t before = TestHeap_usedBytes();
    int r = Res_noMemory;
    int n = 0;
    for (n = 1; n < 100 && r != Res_ok; n++) {
        Mem_failAfter(n);
        r = Vfs_initLayer(ctx);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(ctx->fileLayer, nullptr);
            EXPECT_EQ(ctx->romFiles, nullptr);
            EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        }
    }
    ASSERT_EQ(r, Res_ok);
    EXPECT_GT(n, 2) << "allocations failed on the way";
    EXPECT_NE(ctx->fileLayer, nullptr);
    EXPECT_GT(RomFs_count(ctx), 2);
    Vfs_finiLayer(ctx);
    EXPECT_EQ(ctx->fileLayer, nullptr);
    EXPECT_EQ(ctx->romFiles, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), before);
    Vfs_finiLayer(ctx); // nothing left to stop
    EXPECT_EQ(Vfs_initLayer(nullptr), Res_missingArgument);
    // The fixture's tear-down stops them again.
    ASSERT_EQ(Vfs_initLayer(ctx), Res_ok);
}

} // namespace
