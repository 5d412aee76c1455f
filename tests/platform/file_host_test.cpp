// Host file services: open flags, the regular-file check and its messages,
// seeking, directories, listings with patterns and the chunked copy.
#include "tests/platform/file_fixture.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/host/hostfile.h"
#include "platform/host/hostplatform.h"

namespace {

using HostFileTest = FileFixture;

TEST_F(HostFileTest, OpenReadWriteSeekAndSize)
{
    std::string p = path("a.bin");
    int fd = HostFile_open(nullptr, p.c_str(), HostFile_create | HostFile_truncate);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(HostFile_write(nullptr, fd, "hello world", 11), 11);
    int64_t off = 6;
    EXPECT_EQ(HostFile_seek(nullptr, fd, &off, HostFile_seekSet), 6);
    char buf[16] = {};
    EXPECT_EQ(HostFile_read(nullptr, fd, buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(HostFile_seek(nullptr, fd, nullptr, HostFile_seekEnd), 11);
    off = -5;
    EXPECT_EQ(HostFile_seek(nullptr, fd, &off, HostFile_seekCur), 6);
    EXPECT_EQ(HostFile_seek(nullptr, fd, &off, 0x10006), -1);
    EXPECT_EQ(HostFile_seek(nullptr, fd, nullptr, HostFile_seekCur), 6)
        << "a bad origin does not move";
    HostStat st{};
    uint64_t size = 0;
    ASSERT_EQ(HostFile_stat(nullptr, fd, &st), 0);
    EXPECT_EQ(HostFile_statSize(nullptr, fd, &st, &size), 0);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(HostFile_stat(nullptr, -1, &st), -1);
    EXPECT_EQ(st.size, 0u);
    EXPECT_EQ(HostFile_statSize(nullptr, fd, nullptr, &size), -1);
    EXPECT_EQ(HostFile_sync(nullptr, fd), 0);
    EXPECT_EQ(HostFile_close(nullptr, fd), 0);

    // Read only refuses writes; write only refuses reads.
    fd = HostFile_open(nullptr, p.c_str(), HostFile_readOnly);
    EXPECT_EQ(HostFile_write(nullptr, fd, "x", 1), -1);
    EXPECT_EQ(HostFile_close(nullptr, fd), 0);
    fd = HostFile_open(nullptr, p.c_str(), HostFile_writeOnly);
    EXPECT_EQ(HostFile_read(nullptr, fd, buf, 1), -1);
    EXPECT_EQ(HostFile_close(nullptr, fd), 0);
    // Truncate empties; the leading "//" form names the same file.
    fd = HostFile_open(nullptr, ("/" + p).c_str(), HostFile_truncate);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(HostFile_close(nullptr, fd), 0);
    EXPECT_EQ(readFile("a.bin"), "");
    struct stat s;
    ASSERT_EQ(stat(p.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0600u);
}

TEST_F(HostFileTest, FailedOpensPrintTheirMessages)
{
    struct Case {
        std::string path;
        uint32_t flags;
        std::string message;
    } cases[] = {
        {dir, HostFile_readOnly, "alien-file: " + dir + " is not a regular file\n"},
        {path("missing"), HostFile_readOnly,
         "alien-file: Opening " + path("missing") + " failed : " + strerror(ENOENT) + "\n"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(HostFile_open(nullptr, c.path.c_str(), c.flags), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    }
    // A pipe is refused without blocking on it.
    std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(HostFile_open(nullptr, fifo.c_str(), HostFile_readOnly), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "alien-file: " + fifo + " is not a regular file\n");
}

TEST_F(HostFileTest, ExclusiveCreateNeverTakesOverAFile)
{
    writeFile("x", "keep");
    testing::internal::CaptureStdout();
    EXPECT_EQ(HostFile_open(nullptr, path("x").c_str(),
                            HostFile_create | HostFile_writeOnly | HostFile_truncate |
                                HostFile_exclusive),
              -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(readFile("x"), "keep");
    int fd = HostFile_open(nullptr, path("y").c_str(),
                           HostFile_create | HostFile_writeOnly | HostFile_exclusive);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(HostFile_close(nullptr, fd), 0);
}

TEST_F(HostFileTest, MkdirRenameRemove)
{
    EXPECT_EQ(HostFile_mkdir(nullptr, path("d").c_str()), 0);
    EXPECT_EQ(HostFile_mkdir(nullptr, path("d").c_str()), 0) << "an existing directory is fine";
    struct stat s;
    ASSERT_EQ(stat(path("d").c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0700u);
    writeFile("f", "1");
    EXPECT_EQ(HostFile_mkdir(nullptr, path("f").c_str()), -1) << "a file is not a directory";
    EXPECT_EQ(HostFile_mkdir(nullptr, path("no/such").c_str()), -1);
    EXPECT_EQ(HostFile_rename(nullptr, path("f").c_str(), path("g").c_str()), 0);
    EXPECT_EQ(readFile("g"), "1");
    EXPECT_EQ(HostFile_rename(nullptr, path("f").c_str(), path("h").c_str()), -1);
    EXPECT_EQ(HostFile_remove(nullptr, path("g").c_str()), 0);
    EXPECT_EQ(HostFile_remove(nullptr, path("g").c_str()), -1);
}

std::vector<std::string> listAll(const std::string &pattern, int *first)
{
    std::vector<std::string> names;
    HostListing l;
    const char *name = nullptr;
    *first = HostFile_lsFirst(nullptr, pattern.c_str(), &l, &name);
    if (*first == HostFile_lsFound) {
        do {
            names.push_back(name);
            const char *cur = nullptr;
            EXPECT_EQ(HostFile_lsCurrent(nullptr, pattern.c_str(), &l, &cur), HostFile_lsFound);
            EXPECT_STREQ(cur, name);
        } while (HostFile_lsNext(nullptr, pattern.c_str(), &l, &name) == HostFile_lsFound);
        EXPECT_EQ(HostFile_lsNext(nullptr, pattern.c_str(), &l, &name), HostFile_lsNoMore);
        EXPECT_EQ(HostFile_lsCurrent(nullptr, pattern.c_str(), &l, &name), HostFile_lsNoMore);
    }
    HostFile_lsClose(nullptr, &l);
    HostFile_lsClose(nullptr, &l); // closing twice is harmless
    return names;
}

TEST_F(HostFileTest, ListingsMatchPatternsInAlphabeticalOrder)
{
    for (const char *n : {"b.doc", "a.doc", ".a.doc", "c.txt", "d.DOC"})
        writeFile(n, "");
    int first = 0;
    EXPECT_EQ(listAll(dir + "/*.doc", &first), (std::vector<std::string>{"a.doc", "b.doc"}));
    EXPECT_EQ(first, HostFile_lsFound);
    EXPECT_EQ(listAll(dir + "/.*.doc", &first), (std::vector<std::string>{".a.doc"}));
    EXPECT_EQ(listAll(dir + "/*", &first),
              (std::vector<std::string>{"a.doc", "b.doc", "c.txt", "d.DOC"}));
    EXPECT_TRUE(listAll(dir + "/*.pdf", &first).empty());
    EXPECT_EQ(first, HostFile_lsNoMore);
    EXPECT_TRUE(listAll("nodir", &first).empty());
    EXPECT_EQ(first, HostFile_lsNoSlash);
    EXPECT_TRUE(listAll(dir + "/missing/*", &first).empty());
    EXPECT_EQ(first, HostFile_lsFailed);
}

TEST_F(HostFileTest, CopyCopiesAndCleansUp)
{
    std::string big(10000, 'x');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = char('a' + i % 26);
    writeFile("src", big);
    EXPECT_EQ(HostFile_copy(nullptr, path("src").c_str(), path("dst").c_str()), 0);
    EXPECT_EQ(readFile("dst"), big);

    // A missing source leaves an existing destination untouched.
    writeFile("dst", "old");
    EXPECT_EQ(HostFile_copy(nullptr, path("nothing").c_str(), path("dst").c_str()), -1);
    EXPECT_EQ(readFile("dst"), "old");
    // An unopenable destination fails.
    EXPECT_EQ(HostFile_copy(nullptr, path("src").c_str(), path("no/dir/x").c_str()), -1);
}

TEST_F(HostFileTest, CopyStopsOnAReadError)
{
    // A directory opens for reading but every read fails: the copy ends
    // with -1 and leaves no destination behind.
    mkdir(path("d").c_str(), 0700);
    EXPECT_EQ(HostFile_copy(nullptr, path("d").c_str(), path("dst").c_str()), -1);
    EXPECT_FALSE(exists("dst"));
}

TEST_F(HostFileTest, CopyOntoAFullDiskLeavesNoDestination)
{
    writeFile("src", std::string(20000, 'z'));
    // A file size limit makes writes past 8 KiB fail as on a full disk.
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = {8192, old.rlim_max};
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    int r = HostFile_copy(nullptr, path("src").c_str(), path("dst").c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(exists("dst"));
}

TEST_F(HostFileTest, PlatformRecord)
{
    HostPlatform *hp = HostPlatform_create(this);
    ASSERT_NE(hp, nullptr);
    EXPECT_EQ(hp->owner, this);
    EXPECT_EQ(hp->scale, 0x10000);
    EXPECT_EQ(hp->screenHeight, 0x40000000);
    EXPECT_EQ(hp->areaX0, int32_t(0xC0000000u));
    EXPECT_EQ(hp->areaX1, 0x40000000);
    HostPlatform_setScreenArea(hp, 32, 32, 208, 319);
    HostPlatform_setKeyMode(hp, 15);
    Host_setScreenHeight(hp, 320);
    EXPECT_EQ(hp->areaY1, 319);
    EXPECT_EQ(hp->keyMode, 15u);
    EXPECT_EQ(hp->screenHeight, 320);
    EXPECT_EQ(HostFile_pathSuffix(hp, "/x"), nullptr);
    HostPlatform_destroy(hp);
    void *p = malloc(8);
    Host_freeAndClear(&p);
    EXPECT_EQ(p, nullptr);
}

} // namespace
