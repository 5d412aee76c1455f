// Host files and the engine's exit list: every open host descriptor is
// registered with an exit handler, so that an engine shut down with files
// still open closes them; closing a file removes its handler.
#include "tests/platform/file_fixture.h"

#include <dirent.h>
#include <fcntl.h>

#include <string>

#include "core/result.h"
#include "platform/vfs/vfs.h"

namespace {

class FileExitTest : public FileFixture {
  protected:
    ExitList *list = nullptr;

    void SetUp() override
    {
        FileFixture::SetUp();
        ASSERT_EQ(ExitList_create(heap.instance, &list), Res_ok);
        heap.instance->exitList = list;
        layerBaseline = TestHeap_usedBytes();
    }

    void TearDown() override
    {
        heap.instance->exitList = nullptr;
        ExitList_free(&list);
        FileFixture::TearDown();
    }

    AlienFile *openPath(const std::string &p, uint32_t mode = AlienFile_modeRead)
    {
        std::u16string w = U(p);
        AlienFile *f = nullptr;
        EXPECT_EQ(AlienFile_open(ctx, &f, w.c_str(), mode), Res_ok) << p;
        return f;
    }

    int handlers()
    {
        int n = 0;
        for (ExitHandler *h = list->first; h; h = h->next)
            n++;
        return n;
    }

    static bool isOpen(int fd)
    {
        return fcntl(fd, F_GETFD) != -1;
    }

    static int openDescriptors()
    {
        int n = 0;
        DIR *d = opendir("/proc/self/fd");
        while (d && readdir(d))
            n++;
        if (d)
            closedir(d);
        return n;
    }
};

TEST_F(FileExitTest, OpenRegistersAndCloseRemoves)
{
    writeFile("a", "1");
    writeFile("b", "2");
    AlienFile *a = openPath(path("a"));
    AlienFile *b = openPath(path("b"), AlienFile_modeAppend);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->exitId, 0u);
    EXPECT_NE(b->exitId, a->exitId);
    EXPECT_EQ(handlers(), 2);
    EXPECT_EQ(AlienFile_close(a), Res_ok);
    EXPECT_EQ(handlers(), 1);
    EXPECT_EQ(list->first->argument, b);
    EXPECT_EQ(AlienFile_close(b), Res_ok);
    EXPECT_EQ(handlers(), 0);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileExitTest, ShutDownClosesOpenDescriptorsOnce)
{
    writeFile("a", "1");
    writeFile("b", "2");
    AlienFile *a = openPath(path("a"));
    AlienFile *b = openPath(path("b"));
    ASSERT_TRUE(a && b);
    int fdA = a->fd, fdB = b->fd;
    ExitList_runAll(list);
    EXPECT_FALSE(isOpen(fdA));
    EXPECT_FALSE(isOpen(fdB));
    EXPECT_EQ(a->fd, -1);
    EXPECT_EQ(a->exitId, 0u);
    // The system hands the numbers out again; closing the old records must
    // not close the new files.
    AlienFile *c = openPath(path("a"));
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->fd == fdA || c->fd == fdB);
    EXPECT_EQ(AlienFile_close(a), Res_ok);
    EXPECT_EQ(AlienFile_close(b), Res_ok);
    EXPECT_TRUE(isOpen(c->fd));
    EXPECT_EQ(AlienFile_close(c), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileExitTest, OnlyHostDescriptorsAreRegistered)
{
    AlienFile *rom = openPath("/okala_dir/Fonts/map");
    AlienFile *listing = openPath(dir + "/*", AlienFile_modeList);
    ASSERT_TRUE(rom && listing);
    EXPECT_EQ(handlers(), 0);
    EXPECT_EQ(AlienFile_close(rom), 0);
    EXPECT_EQ(AlienFile_close(listing), 0);

    // Without an exit list a file still opens.
    heap.instance->exitList = nullptr;
    writeFile("a", "1");
    AlienFile *a = openPath(path("a"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->exitId, 0u);
    EXPECT_EQ(AlienFile_close(a), Res_ok);
    heap.instance->exitList = list;
    EXPECT_EQ(handlers(), 0);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST_F(FileExitTest, FailedRegistrationClosesTheDescriptor)
{
    writeFile("a", "1");
    std::u16string w = U(path("a"));
    int before = openDescriptors();
    int r = Res_noMemory;
    int n = 1;
    for (; n < 20 && r != Res_ok; n++) {
        AlienFile *f = nullptr;
        Mem_failAfter(n);
        r = AlienFile_open(ctx, &f, w.c_str(), AlienFile_modeRead);
        Mem_failAfter(0);
        if (r != Res_ok) {
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(f, nullptr);
            EXPECT_EQ(openDescriptors(), before) << n;
            EXPECT_EQ(handlers(), 0);
        } else {
            EXPECT_EQ(handlers(), 1);
            EXPECT_EQ(AlienFile_close(f), Res_ok);
        }
    }
    EXPECT_EQ(r, Res_ok);
    EXPECT_GT(n, 3) << "the registration's allocation was among those failed";
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

// A file stream left open when the engine stops: the exit list closes it.
TEST_F(FileExitTest, StreamsLeftOpenAreClosedAtExit)
{
    writeFile("a", "data");
    Url *u = fileUrl("a");
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_open(ctx, u, 1, &h, &accepted), Res_ok);
    Url_free(u);
    int fd = static_cast<FileStream *>(h->priv)->file->fd;
    EXPECT_TRUE(isOpen(fd));
    ExitList_runAll(list);
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

} // namespace
