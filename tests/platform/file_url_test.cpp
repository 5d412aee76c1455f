// File URLs: mapping by host and environment, escapes blocked, and the
// platform file records (host files, listings, built-in files, memory
// blocks, directories, remove, rename, copy, temporary files).
#include "tests/platform/file_fixture.h"

#include <string>
#include <vector>

#include "core/result.h"

namespace {

using FileUrlTest = FileFixture;

struct MapCase {
    const char *env[3]; // OKALA_DIRECTORY, OKALA_DIRECTORY_RO, OKALA_FSROOT (null: unset)
    const char *url;
    int result;
    const char *path;
};

const MapCase mapCases[] = {
    {{nullptr, nullptr, nullptr}, "file://root/tmp/a", 0, "/tmp/a"},
    {{nullptr, nullptr, nullptr}, "file:///tmp/a", 0, "/tmp/a"},
    {{nullptr, nullptr, nullptr}, "file://localhost/tmp/a", 0, "/tmp/a"},
    {{"/data", nullptr, nullptr}, "file://localhost/x/y", 0, "/data/x/y"},
    {{"/data", nullptr, nullptr}, "file:///x", 0, "/data/x"},
    {{"/data", "/ro", nullptr}, "file://resource/x", 0, "/ro/x"},
    {{"/data", nullptr, nullptr}, "file://resource/x", 0, "/data/x"},
    {{nullptr, nullptr, nullptr}, "file://resource/x", 0, "/x"},
    {{nullptr, nullptr, "/home/me"}, "file://home/docs/a.doc", 0, "/home/me/docs/a.doc"},
    {{nullptr, nullptr, nullptr}, "file://home/a", 0, "/a"},
    {{"/data", nullptr, nullptr}, "file://root/x", 0, "/x"},
    {{nullptr, nullptr, nullptr}, "file://elsewhere/x", Res_fileBadHost, ""},
    {{nullptr, nullptr, nullptr}, "file://Localhost/x", Res_fileBadHost, ""},
    {{nullptr, nullptr, nullptr}, "file:/x", Res_urlIncomplete, ""},
    {{"/data", nullptr, nullptr}, "file://localhost/a%20b%3Fc", 0, "/data/a b?c"},
    // The variables' values are UTF-8, like every path the engine hands the
    // system: each maps to itself.
    {{"/home/jos\xc3\xa9", nullptr, nullptr}, "file://localhost/x", 0, "/home/jos\xc3\xa9/x"},
    {{nullptr, "/r\xc3\xa9s", nullptr}, "file://resource/x", 0, "/r\xc3\xa9s/x"},
    {{nullptr, nullptr, "/\xe6\x97\xa5\xf0\x9f\x98\x80"},
     "file://home/a",
     0,
     "/\xe6\x97\xa5\xf0\x9f\x98\x80/a"},
    // Escapes are blocked: dot segments, also escaped ones, stay inside.
    {{"/data", nullptr, nullptr}, "file://localhost/../etc/passwd", 0, "/data/etc/passwd"},
    {{"/data", nullptr, nullptr}, "file://localhost/a/../../b", 0, "/data/b"},
    {{"/data", nullptr, nullptr}, "file://localhost/%2e%2e/%2E%2E/x", 0, "/data/x"},
    {{"/data", nullptr, nullptr}, "file://localhost/a/..%2f..%2fx", 0, "/data/x"},
    {{"/ro", nullptr, nullptr}, "file://resource/..", 0, "/ro/"},
    {{nullptr, nullptr, "/home/me"}, "file://home/./../../root", 0, "/home/me/root"},
    {{"/data", nullptr, nullptr}, "file://localhost", 0, "/data/"},
};

TEST_F(FileUrlTest, UrlsMapByHostAndEnvironment)
{
    const char *names[3] = {"OKALA_DIRECTORY", "OKALA_DIRECTORY_RO", "OKALA_FSROOT"};
    for (const MapCase &c : mapCases) {
        for (int i = 0; i < 3; i++) {
            if (c.env[i])
                setenv(names[i], c.env[i], 1);
            else
                unsetenv(names[i]);
        }
        Url *u = url(c.url);
        char16_t *p = nullptr;
        EXPECT_EQ(File_urlToPath(ctx, u, &p), c.result) << c.url;
        EXPECT_EQ(S(p ? p : u""), c.path) << c.url;
        Mem_free(p);
        Url_free(u);
    }
    // A path set without a leading "/" is read from the root as well.
    setenv("OKALA_DIRECTORY", "/data", 1);
    Url *u = url("file://localhost/x");
    Url_setPart(u, UrlPart_path, u"../../etc");
    char16_t *p = nullptr;
    EXPECT_EQ(File_urlToPath(ctx, u, &p), 0);
    EXPECT_EQ(Take(p), "/data/etc");
    Url_free(u);
    EXPECT_STREQ(Env_getDirectory("OKALA_DIRECTORY_RO"), "/data");
}

std::u16string pathOf(const std::string &p)
{
    return U(p);
}

TEST_F(FileUrlTest, HostFilesReadWriteSeekAndSize)
{
    writeFile("a.txt", "0123456789");
    std::u16string p = pathOf(path("a.txt"));
    AlienFile *f = nullptr;
    ASSERT_EQ(AlienFile_open(ctx, &f, p.c_str(), AlienFile_modeRead), 0);
    EXPECT_EQ(f->kind, AlienFile_kindHost);
    char buf[32] = {};
    size_t n = 4;
    EXPECT_EQ(AlienFile_read(f, buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "0123");
    EXPECT_EQ(AlienFile_seek(f, 8), 0);
    n = sizeof buf;
    EXPECT_EQ(AlienFile_read(f, buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "89");
    n = sizeof buf;
    EXPECT_EQ(AlienFile_read(f, buf, &n), 0);
    EXPECT_EQ(n, 0u);
    uint64_t size = 0, pos = 0;
    EXPECT_EQ(AlienFile_getSize(f, &size), 0);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(AlienFile_tell(f, &pos), 0);
    EXPECT_EQ(pos, 10u);
    EXPECT_EQ(AlienFile_seek(f, 0x8000000000000000u), Res_fileSeek);
    EXPECT_EQ(AlienFile_write(f, "x", 1), Res_fileWrite) << "opened for reading";
    uintptr_t h = 1;
    EXPECT_EQ(AlienFile_getHandle(f, &h), Res_vfsNotAvailable);
    EXPECT_EQ(AlienFile_close(f), 0);

    // Mode 2 appends; mode 4 truncates; "//" runs collapse.
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf("//" + path("a.txt")).c_str(), AlienFile_modeAppend),
              0);
    EXPECT_EQ(AlienFile_tell(f, &pos), 0);
    EXPECT_EQ(pos, 10u);
    EXPECT_EQ(AlienFile_write(f, "AB", 2), 0);
    EXPECT_EQ(AlienFile_close(f), 0);
    EXPECT_EQ(readFile("a.txt"), "0123456789AB");
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf(dir + "///a.txt").c_str(), AlienFile_modeWriteNew), 0);
    EXPECT_EQ(AlienFile_write(f, "new", 3), 0);
    EXPECT_EQ(AlienFile_close(f), 0);
    EXPECT_EQ(readFile("a.txt"), "new");
    testing::internal::CaptureStdout();
    EXPECT_EQ(AlienFile_open(ctx, &f, pathOf(path("none")).c_str(), AlienFile_modeRead),
              Res_fileCannotOpen);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileUrlTest, SizesAndSeeksAre64Bit)
{
    std::string p8 = path("big");
    FILE *fp = fopen(p8.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(fseeko(fp, 0x140000000LL, SEEK_SET), 0); // 5 GiB, sparse
    fputc('Z', fp);
    fclose(fp);
    AlienFile *f = nullptr;
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf(p8).c_str(), AlienFile_modeRead), 0);
    uint64_t size = 0;
    EXPECT_EQ(AlienFile_getSize(f, &size), 0);
    EXPECT_EQ(size, 0x140000001ULL);
    EXPECT_EQ(AlienFile_seek(f, 0x140000000u), 0);
    char c = 0;
    size_t n = 1;
    EXPECT_EQ(AlienFile_read(f, &c, &n), 0);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(c, 'Z');
    EXPECT_EQ(AlienFile_close(f), 0);
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf(p8).c_str(), AlienFile_modeReadAppend), 0);
    uint64_t pos = 0;
    EXPECT_EQ(AlienFile_tell(f, &pos), 0);
    EXPECT_EQ(pos, 0x140000001ULL) << "the end of a large file";
    EXPECT_EQ(AlienFile_close(f), 0);
}

TEST_F(FileUrlTest, BuiltInPathsNeverReachTheDisk)
{
    AlienFile *f = nullptr;
    ASSERT_EQ(AlienFile_open(ctx, &f, u"/okala_dir//Fonts/map/", AlienFile_modeRead), 0);
    EXPECT_EQ(f->kind, AlienFile_kindRom);
    uint64_t size = 0;
    EXPECT_EQ(AlienFile_getSize(f, &size), 0);
    EXPECT_GT(size, 1000u);
    EXPECT_EQ(AlienFile_write(f, "x", 1), Res_fileWrite);
    EXPECT_EQ(AlienFile_close(f), 0);
    // A host file under a mapped "/okala_dir/" is not looked at.
    mkdir(path("okala_dir").c_str(), 0700);
    writeFile("okala_dir/choices.txt", "a=1");
    EXPECT_EQ(AlienFile_open(ctx, &f, u"/okala_dir/choices.txt", AlienFile_modeRead),
              Res_fileCannotOpen);
    // Through a URL: with OKALA_DIRECTORY set the path is a host path.
    setenv("OKALA_DIRECTORY", dir.c_str(), 1);
    Url *u = url("file://localhost/okala_dir/choices.txt");
    char16_t *p = nullptr;
    ASSERT_EQ(File_urlToPath(ctx, u, &p), 0);
    EXPECT_EQ(AlienFile_open(ctx, &f, p, AlienFile_modeRead), 0);
    EXPECT_EQ(AlienFile_close(f), 0);
    Mem_free(p);
    Url_free(u);
    // A built-in listing through the driver.
    ASSERT_EQ(AlienFile_open(ctx, &f, u"/okala_dir/Fonts/bincmaps", AlienFile_modeList), 0);
    std::vector<std::string> names;
    const char16_t *name = nullptr;
    while (AlienFile_readDirEntry(ctx, f, &name) == 0 && name)
        names.push_back(S(name));
    EXPECT_EQ(names, (std::vector<std::string>{"identity-v.dat", "identity-h.dat"}));
    EXPECT_EQ(AlienFile_close(f), 0);
}

TEST_F(FileUrlTest, HostListings)
{
    for (const char *n : {"b.doc", "a.doc", ".h.doc", "x.txt"})
        writeFile(n, "");
    AlienFile *f = nullptr;
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf(dir + "/*.doc").c_str(), AlienFile_modeList), 0);
    std::vector<std::string> names;
    const char16_t *name = nullptr;
    while (AlienFile_readDirEntry(ctx, f, &name) == 0 && name)
        names.push_back(S(name));
    EXPECT_EQ(names, (std::vector<std::string>{"a.doc", "b.doc"}));
    size_t n = 4;
    char buf[4];
    EXPECT_EQ(AlienFile_read(f, buf, &n), Res_fileRead) << "a listing has no bytes";
    EXPECT_EQ(AlienFile_close(f), 0);
    ASSERT_EQ(AlienFile_open(ctx, &f, pathOf(dir + "/*.pdf").c_str(), AlienFile_modeList), 0);
    EXPECT_EQ(f->kind, AlienFile_kindEmpty);
    EXPECT_EQ(AlienFile_readDirEntry(ctx, f, &name), 0);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(AlienFile_close(f), 0);
    EXPECT_EQ(AlienFile_open(ctx, &f, u"pattern", AlienFile_modeList), Res_fileBadPattern);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileUrlTest, MemoryUrlsNameRegisteredBlocksOnly)
{
    static const char text[] = "memory file contents";
    Url *u = nullptr;
    ASSERT_EQ(AlienFile_ramUrl(ctx, text, 20, "txt", &u), 0);
    std::string rendered = Take(Url_toString(u, 31));
    EXPECT_EQ(rendered, "file://localhost/RAM:00000001/00000014/.txt");
    EXPECT_EQ(rendered.find("RAM:" + std::to_string(reinterpret_cast<uintptr_t>(text))),
              std::string::npos);
    char16_t *p = nullptr;
    ASSERT_EQ(File_urlToPath(ctx, u, &p), 0);
    AlienFile *f = nullptr;
    // Only with the memory-file option (set for URLs with the mark).
    EXPECT_EQ(AlienFile_open(ctx, &f, p, AlienFile_modeRead), Res_fileCannotOpen);
    ASSERT_EQ(AlienFile_open(ctx, &f, p, AlienFile_modeRead | AlienFile_optMemory), 0);
    EXPECT_EQ(f->kind, AlienFile_kindMemory);
    char buf[64] = {};
    size_t n = 6;
    EXPECT_EQ(AlienFile_read(f, buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "memory");
    EXPECT_EQ(AlienFile_seek(f, 15), 0);
    n = sizeof buf;
    EXPECT_EQ(AlienFile_read(f, buf, &n), 0);
    EXPECT_EQ(std::string(buf, n), "tents");
    EXPECT_EQ(AlienFile_close(f), 0);
    // It names no capacity: writing fails.
    EXPECT_EQ(AlienFile_open(ctx, &f, p, AlienFile_modeWriteNew | AlienFile_optMemory),
              Res_fileCannotOpen);
    // The same block registers once.
    Url *again = nullptr;
    ASSERT_EQ(AlienFile_ramUrl(ctx, text, 20, "txt", &again), 0);
    EXPECT_TRUE(Url_equals(u, again));
    Url_free(again);
    // After release the URL reaches nothing.
    AlienFile_ramRelease(ctx, text);
    EXPECT_EQ(AlienFile_open(ctx, &f, p, AlienFile_modeRead | AlienFile_optMemory),
              Res_fileCannotOpen);
    Mem_free(p);
    Url_free(u);
}

TEST_F(FileUrlTest, MemoryPathsCannotAskForMoreThanRegistered)
{
    static char block[16] = "0123456789";
    size_t length = 10;
    uint32_t id = 0;
    ASSERT_EQ(AlienFile_ramRegister(ctx, block, 10, 16, &length, &id), 0);
    char path16[64];
    struct Case {
        const char *fmt;
        uint32_t mode;
        int result;
    } cases[] = {
        {"/RAM:%08x/0000000a/.txt", AlienFile_modeRead, 0},
        {"/RAM:%08x/0000000b/.txt", AlienFile_modeRead, Res_fileCannotOpen},
        {"/RAM:%08x/.txt", AlienFile_modeRead, 0},
        {"/RAM:%08x/00000004/00000010/.bin", AlienFile_modeWriteNew, 0},
        {"/RAM:%08x/00000004/00000011/.bin", AlienFile_modeWriteNew, Res_fileCannotOpen},
        {"/RAM:%08x/00000004/00000002/.bin", AlienFile_modeWriteNew, Res_fileCannotOpen},
        {"/RAM:%08x/00000004/.bin", AlienFile_modeWriteNew, Res_fileCannotOpen},
        {"/RAM:%08x/00000004/00000010/7fff0000/.bin", AlienFile_modeRead, Res_fileCannotOpen},
        {"/RAM:%08x/0000000a/.txt", AlienFile_modeAppend, Res_fileCannotOpen},
        {"/RAM:deadbeef/00000001/.txt", AlienFile_modeRead, Res_fileCannotOpen},
        {"/RAM:/00000001/.txt", AlienFile_modeRead, Res_fileCannotOpen},
        {"/RAM:0x%x/.txt", AlienFile_modeRead, Res_fileCannotOpen},
    };
    for (const Case &c : cases) {
        snprintf(path16, sizeof path16, c.fmt, id);
        std::u16string w = U(path16);
        AlienFile *f = nullptr;
        EXPECT_EQ(AlienFile_open(ctx, &f, w.c_str(), c.mode | AlienFile_optMemory), c.result)
            << path16;
        EXPECT_EQ(AlienFile_close(f), 0);
    }
    // Writing within the capacity updates the length word; past it fails.
    snprintf(path16, sizeof path16, "/RAM:%08x/00000000/00000010/.bin", id);
    std::u16string w = U(path16);
    AlienFile *f = nullptr;
    ASSERT_EQ(AlienFile_open(ctx, &f, w.c_str(), AlienFile_modeWriteNew | AlienFile_optMemory), 0);
    EXPECT_EQ(AlienFile_write(f, "abcdefghijkl", 12), 0);
    EXPECT_EQ(length, 12u);
    EXPECT_EQ(AlienFile_write(f, "mnopq", 5), Res_fileWrite);
    EXPECT_EQ(std::string(block, 12), "abcdefghijkl");
    EXPECT_EQ(AlienFile_close(f), 0);
}

TEST_F(FileUrlTest, MakeDirsRemoveRenameCopy)
{
    std::string target = dir + "/x/\xc3\xa9t\xc3\xa9/z/file";
    EXPECT_EQ(AlienFile_makeDirs(ctx, pathOf(target).c_str()), 0);
    EXPECT_TRUE(exists("x/\xc3\xa9t\xc3\xa9/z")) << "UTF-8 names like every other call";
    EXPECT_FALSE(exists("x/\xc3\xa9t\xc3\xa9/z/file")) << "the last component is not made";
    writeFile("blocker", "");
    EXPECT_EQ(AlienFile_makeDirs(ctx, pathOf(dir + "/blocker/sub/").c_str()), Res_fileCannotOpen);

    writeFile("s", "data");
    EXPECT_EQ(AlienFile_copy(ctx, pathOf(path("s")).c_str(), pathOf(path("t")).c_str()), 0);
    EXPECT_EQ(readFile("t"), "data");
    EXPECT_EQ(AlienFile_copy(ctx, pathOf(path("nope")).c_str(), pathOf(path("t")).c_str()),
              Res_fileCopy);
    EXPECT_EQ(AlienFile_rename(ctx, pathOf(path("t")).c_str(), pathOf(path("u")).c_str()), 0);
    EXPECT_EQ(AlienFile_rename(ctx, pathOf(path("t")).c_str(), pathOf(path("u")).c_str()),
              Res_fileRename);
    EXPECT_EQ(AlienFile_remove(ctx, pathOf(path("u")).c_str()), 0);
    EXPECT_EQ(AlienFile_remove(ctx, pathOf(path("u")).c_str()), Res_fileRemove);
}

TEST_F(FileUrlTest, TempFilesAreFreshAndNeverTakenOver)
{
    std::u16string d = U(dir);
    std::vector<std::string> made;
    for (int i = 0; i < 20; i++) {
        Url *u = nullptr;
        ASSERT_EQ(File_createTemp(ctx, d.c_str(), u"tmp", &u), 0);
        char16_t *p = nullptr;
        ASSERT_EQ(File_urlToPath(ctx, u, &p), 0);
        std::string name = Take(p);
        EXPECT_EQ(name.rfind("/" + dir + "/tmp", 0), 0u) << "a local path URL: " << name;
        for (const std::string &m : made)
            EXPECT_NE(m, name);
        made.push_back(name);
        Url_free(u);
    }
    for (const std::string &m : made)
        EXPECT_EQ(access(m.c_str(), F_OK), 0) << m;
    Url *u = nullptr;
    EXPECT_EQ(File_createTemp(ctx, U(dir + "/missing").c_str(), nullptr, &u), Res_fileCannotOpen);
    EXPECT_EQ(u, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

} // namespace
