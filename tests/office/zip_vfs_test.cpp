// Zip archives through the stream layer (the Zvfs type): which URLs it
// takes (the last ".zip" followed by "/", ignoring case; nested archives),
// folder listings with each folder once, member bytes as unzip gives them,
// the lent-buffer protocol, seeks, and the information codes.
#include <cstring>

#include <sys/stat.h>

#include "core/mem/mem.h"
#include "core/time/date.h"
#include "office/zip/zipvfs.h"
#include "platform/url/file.h"
#include "platform/vfs/helpers.h"
#include "tests/office/zip_support.h"
#include "tests/office/zip_writer.h"

namespace {

class ZipVfsTest : public ZipFixture {
  protected:
    // Opens the fixture URL with a path after it: the result, *h.
    int open(const std::string &name, const std::string &after, uint32_t mode, VfsHandle **h,
             uint32_t *accepted = nullptr)
    {
        Url *u = fixtureUrl(name, after);
        uint32_t got = 0;
        int r = Vfs_open(ctx, u, mode, h, &got);
        Url_free(u);
        if (accepted)
            *accepted = got;
        return r;
    }
    std::vector<std::string> list(const std::string &name, const std::string &after, int *result,
                                  uint32_t *accepted = nullptr)
    {
        VfsHandle *h = nullptr;
        *result = open(name, after, Vfs_modeList, &h, accepted);
        if (*result != Res_ok)
            return {};
        std::vector<std::string> names = vfsListAll(h, result);
        EXPECT_EQ(h->type, VfsType_zvfs);
        (void)Vfs_close(h);
        return names;
    }
};

using Names = std::vector<std::string>;

TEST_F(ZipVfsTest, FoldersAreListedOnceAndFilesAsTheyCome)
{
    struct Case {
        const char *file;
        const char *after;
        Names names;
        bool topLevel;
    };
    const Case cases[] = {
        {"folders.zip", "", {"d", "z"}, true},
        {"folders.zip", "/", {"d", "z"}, true},
        {"folders.zip", "/d", {"x", "y"}, false},
        {"folders.zip", "/d/", {"x", "y"}, false},
        {"basic.zip", "", {"stored.txt", "deflated.txt"}, true},
        {"a.zip", "/b.zip", {"c"}, true}, // the top level of an archive inside an archive
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + c.after);
        int r = -1;
        uint32_t accepted = 0;
        EXPECT_EQ(list(c.file, c.after, &r, &accepted), c.names);
        EXPECT_EQ(r, Res_ok);
        EXPECT_EQ(accepted, uint32_t(Vfs_modeList) | uint32_t(ZipVfs_modeMarks) |
                                (c.topLevel ? uint32_t(ZipVfs_modeTopLevel) : 0u));
    }
    int r = -1;
    EXPECT_TRUE(list("folders.zip", "/q", &r).empty());
    EXPECT_EQ(r, Res_fileBadPattern) << "a folder no entry lies in";
    EXPECT_TRUE(list("folders.zip", "/z", &r).empty());
    EXPECT_EQ(r, Res_fileBadPattern) << "a file is no folder";
}

TEST_F(ZipVfsTest, ManyFoldersAndLongNamesAreEachListedOnce)
{
    // 100 folders (more than the first folder list holds) with long names
    // (more than the first name pool holds), each with two files, the
    // entries of the folders interleaved, and files at the top between.
    std::vector<ZipWriterEntry> entries;
    Names want;
    for (int round = 0; round < 2; round++) {
        for (int i = 99; i >= 0; i--) {
            std::string folder =
                "folder-" + std::string(20, char('a' + i % 26)) + std::to_string(i);
            entries.push_back({folder + "/f" + std::to_string(round), "x", false});
            if (round == 0)
                want.push_back(folder);
        }
        entries.push_back({"top" + std::to_string(round), "t", false});
        want.push_back("top" + std::to_string(round));
    }
    const std::string bytes = zipWrite(entries);
    Url *ram = nullptr;
    ASSERT_EQ(AlienFile_ramUrl(ctx, bytes.data(), bytes.size(), "zip", &ram), Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_open(ctx, ram, Vfs_modeList, &h, &accepted), Res_ok);
    int r = -1;
    EXPECT_EQ(vfsListAll(h, &r), want);
    EXPECT_EQ(r, Res_ok);
    (void)Vfs_close(h);
    // A member of it by URL.
    Url *member = Url_copy(ram);
    ASSERT_TRUE(Url_setPart(member, UrlPart_path, (std::u16string(ram->path) + u"/top1").c_str()));
    ASSERT_EQ(Vfs_open(ctx, member, Vfs_modeRead, &h, &accepted), Res_ok);
    EXPECT_EQ(vfsReadAll(h, 4096, &r), "t");
    (void)Vfs_close(h);
    Url_free(member);
    Url_free(ram);
    AlienFile_ramRelease(ctx, bytes.data());
}

TEST_F(ZipVfsTest, MembersReadAsUnzipGivesThem)
{
    struct Case {
        const char *file;
        const char *after;
        std::string want;
    };
    const Case cases[] = {
        {"basic.zip", "/stored.txt", zipExpectedContent("basic", "stored.txt")},
        {"basic.zip", "/deflated.txt", zipExpectedContent("basic", "deflated.txt")},
        {"stub.zip", "/deflated.txt", zipExpectedContent("basic", "deflated.txt")},
        {"folders.zip", "/d/y", zipExpectedContent("folders", "d/y")},
        {"a.zip", "/b.zip", zipExpectedContent("a", "b.zip")},
        {"a.zip", "/b.zip/c", zipExpectedContent("b", "c")},
        {"Docs.ZIP", "/x.html", zipExpectedContent("Docs", "x.html")},
    };
    for (const Case &c : cases) {
        for (size_t want : {size_t(1), size_t(100), size_t(4096)}) {
            SCOPED_TRACE(std::string(c.file) + c.after + " want " + std::to_string(want));
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(open(c.file, c.after, Vfs_modeRead, &h, &accepted), Res_ok);
            EXPECT_EQ(h->type, VfsType_zvfs);
            EXPECT_EQ(accepted, uint32_t(Vfs_modeRead) | uint32_t(ZipVfs_modeMarks));
            uint64_t size = 0;
            ASSERT_EQ(Vfs_getSize(h, &size), Res_ok);
            EXPECT_EQ(size, c.want.size());
            int r = -1;
            EXPECT_EQ(vfsReadAll(h, want, &r), c.want);
            EXPECT_EQ(r, Res_ok);
            EXPECT_EQ(Vfs_close(h), Res_ok);
        }
    }
}

TEST_F(ZipVfsTest, TheUrlDecidesWhetherTheZipTypeTakesIt)
{
    struct Case {
        const char *what;
        std::string path; // after the fixtures' zip folder
        uint32_t mode;
        int result;
        uint32_t type; // when opened
    };
    const std::string deep = "/a.zip/b.zip/c.zip/d.zip/e.zip/f.zip/g.zip/h.zip/i.zip/j";
    const Case cases[] = {
        {"upper-case extension", "/Docs.ZIP/x.html", Vfs_modeRead, Res_ok, VfsType_zvfs},
        {"nested", "/a.zip/b.zip/c", Vfs_modeRead, Res_ok, VfsType_zvfs},
        {"the archive itself", "/basic.zip", Vfs_modeRead, Res_ok, VfsType_file},
        {"no such member", "/basic.zip/nothing", Vfs_modeRead, Res_zipNoEntry, 0},
        {"a folder entry is no member", "/folders.zip/d", Vfs_modeRead, Res_zipNoEntry, 0},
        {"no such archive: the file driver's answer", "/missing.zip/x", Vfs_modeRead,
         Res_fileCannotOpen, 0},
        {"writing is left to the file driver", "/basic.zip/new.txt", Vfs_modeWrite,
         Res_fileCannotOpen, 0},
        {"a damaged archive", "/trailing.zip/stored.txt", Vfs_modeRead, Res_zipBad, 0},
        {"a bzip2 member", "/bzip2.zip/deflated.txt", Vfs_modeRead, Res_zipBad, 0},
        {"an encrypted member", "/encrypted.zip/stored.txt", Vfs_modeRead, Res_zipBad, 0},
        {"nine archives deep", deep, Vfs_modeRead, Res_zipBad, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Url *u = url("file://root" + zipFixturePath("") + c.path.substr(1));
        VfsHandle *h = reinterpret_cast<VfsHandle *>(1);
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_open(ctx, u, c.mode, &h, &accepted), c.result);
        if (c.result == Res_ok) {
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(h->type, c.type);
        } else {
            EXPECT_EQ(h, nullptr);
        }
        (void)Vfs_close(c.result == Res_ok ? h : nullptr);
        Url_free(u);
    }
}

TEST_F(ZipVfsTest, EscapedNamesInFileUrlsReachTheirMembers)
{
    // A user path escapes "%", "?" and "#" of file names; the member's
    // name is plain.
    const std::string bytes = zipWrite({{"50% #1?.txt", "odd name", true}});
    writeFile("odd.zip", bytes);
    Url *u = nullptr;
    ASSERT_EQ(
        Url_newFromUserString(("file://root" + path("odd.zip") + "/50% #1?.txt").c_str(), &u, 1),
        Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_open(ctx, u, Vfs_modeRead, &h, &accepted), Res_ok);
    int r = -1;
    EXPECT_EQ(vfsReadAll(h, 4096, &r), "odd name");
    (void)Vfs_close(h);
    Url_free(u);
}

TEST_F(ZipVfsTest, MemberNamesThatClimbStayInsideTheArchive)
{
    // A member named "../../x" is found by its name inside the archive:
    // the path never climbs to the files beside the archive, whether the
    // name is a member or not.
    ASSERT_EQ(mkdir(path("a").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(path("a/b").c_str(), 0700), 0);
    writeFile("a/b/t.zip", zipWrite({{"../../x", "inside", false}, {"notes.txt", "notes", true}}));
    writeFile("a/x", "outside x");
    writeFile("a/y", "outside y");
    const struct {
        const char *after;
        int result;
        const char *want;
    } cases[] = {
        {"/../../x", Res_ok, "inside"},
        {"/../../y", Res_zipNoEntry, ""},
        {"/notes.txt", Res_ok, "notes"},
        {"/../notes.txt", Res_zipNoEntry, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.after);
        Url *u = url("file://root" + path("a/b/t.zip") + c.after);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, Vfs_modeRead, &h, &accepted), c.result);
        if (h) {
            EXPECT_EQ(h->type, VfsType_zvfs);
            int r = -1;
            EXPECT_EQ(vfsReadAll(h, 4096, &r), c.want);
            (void)Vfs_close(h);
        }
        Url_free(u);
    }
    EXPECT_EQ(readFile("a/x"), "outside x");
}

TEST_F(ZipVfsTest, SeeksMoveForwardRewindBackwardAndStopAtTheEnd)
{
    const std::string want = zipExpectedContent("basic", "deflated.txt");
    VfsHandle *h = nullptr;
    ASSERT_EQ(open("basic.zip", "/deflated.txt", Vfs_modeRead | Vfs_modeSeekable, &h), Res_ok);
    auto readAt = [&](uint64_t at, size_t n) {
        EXPECT_EQ(Vfs_seek(h, at), Res_ok) << at;
        uint64_t told = 0;
        EXPECT_EQ(Vfs_tell(h, &told), Res_ok);
        EXPECT_EQ(told, at);
        const uint8_t *p = nullptr;
        size_t len = 0;
        EXPECT_EQ(Vfs_getReadBuf(h, n, &p, &len), Res_ok);
        std::string got(reinterpret_cast<const char *>(p), std::min(len, n));
        EXPECT_EQ(Vfs_readDone(h, got.size()), Res_ok);
        return got;
    };
    // Forward far, back inside the buffer, back before it (inflating
    // again from the start), to the end.
    for (uint64_t at : {uint64_t(20000), uint64_t(20010), uint64_t(19000), uint64_t(5), uint64_t(0),
                        uint64_t(want.size() - 3)}) {
        size_t n = std::min<size_t>(100, want.size() - at);
        EXPECT_EQ(readAt(at, 100), want.substr(at, n)) << at;
    }
    EXPECT_EQ(readAt(want.size(), 100), "") << "the end lends nothing";
    EXPECT_EQ(Vfs_seek(h, want.size() + 1), Res_fileSeek);
    EXPECT_EQ(Vfs_seek(h, 0x80000000u), Res_fileSeek);
    (void)Vfs_close(h);
}

TEST_F(ZipVfsTest, ALoanIsLentOnceAndGivenBackOnce)
{
    const std::string want = zipExpectedContent("basic", "deflated.txt");
    VfsHandle *h = nullptr;
    ASSERT_EQ(open("basic.zip", "/deflated.txt", Vfs_modeRead, &h), Res_ok);
    const uint8_t *p = nullptr;
    size_t len = 0;
    ASSERT_EQ(Vfs_getReadBuf(h, 10, &p, &len), Res_ok);
    EXPECT_GE(len, 10u);
    const uint8_t *q = nullptr;
    size_t qlen = 0;
    EXPECT_EQ(Vfs_getReadBuf(h, 10, &q, &qlen), Res_vfsBufferLent);
    uint64_t position = 0;
    EXPECT_EQ(Vfs_tell(h, &position), Res_vfsBufferLent);
    EXPECT_EQ(Vfs_seek(h, 0), Res_vfsBufferLent);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(p), len), want.substr(0, len));
    size_t used = len - 96;
    EXPECT_EQ(Vfs_readDone(h, used), Res_ok);
    EXPECT_EQ(Vfs_readDone(h, 0), Res_vfsNothingLent);
    // 96 bytes are left in the buffer: a request for 4096 still gets them
    // all, followed by what comes next.
    ASSERT_EQ(Vfs_getReadBuf(h, 4096, &p, &len), Res_ok);
    ASSERT_GE(len, 4096u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(p), len), want.substr(used, len));
    // Closing while lent closes and says so.
    EXPECT_EQ(Vfs_close(h), Res_vfsBufferLent);
}

TEST_F(ZipVfsTest, InformationCodesGiveSizeTypeAndTime)
{
    VfsHandle *h = nullptr;
    ASSERT_EQ(open("Docs.ZIP", "/x.html", Vfs_modeRead, &h), Res_ok);
    uintptr_t value = 0;
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size, &value), Res_ok);
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(value),
              zipExpectedContent("Docs", "x.html").size());
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size11, &value), Res_ok) << "through code 0";
    EXPECT_EQ(*reinterpret_cast<const uint64_t *>(value),
              zipExpectedContent("Docs", "x.html").size());
    // Code 1 is the MIME type, as for every stream: documents and the byte
    // streams over them take it for one.
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_mime, &value), Res_ok);
    EXPECT_EQ(S(reinterpret_cast<const char16_t *>(value)), "text/html");
    BrokenTime t{};
    t.year = 121;
    t.mon = 2;
    t.mday = 4;
    t.hour = 5;
    t.min = 6;
    t.sec = 8;
    ASSERT_EQ(Vfs_getInfo(h, VfsInfo_modTime, &value), Res_ok);
    EXPECT_EQ(int64_t(value), Time_timegm(&t) - Time_zoneOffset());
    EXPECT_EQ(Vfs_getInfo(h, VfsInfo_string2, &value), Res_vfsInfoUnknown);
    EXPECT_EQ(Vfs_getInfo(h, VfsInfo_mimeId, &value), Res_vfsInfoUnknown);
    (void)Vfs_close(h);
}

} // namespace
