// Directory listings for the host's file dialog: batches of the host's
// size until 0x18003, folders told from files, a failed open, and a
// failure in the middle of a listing followed by the host's close.
#include <sys/stat.h>

#include "core/mem/mem.h"
#include "tests/platform/requests_fixture.h"

namespace {

class ZipListTest : public RequestsFixture {
  protected:
    void SetUp() override
    {
        RequestsFixture::SetUp();
        ASSERT_EQ(start(), 1);
    }
    // A folder of n files "fNN" of NN bytes each; its listing path as the
    // host passes a disk folder, the file driver's pattern "folder/*".
    std::string folder(const std::string &name, int n)
    {
        std::string p = path(name) + "/*";
        EXPECT_EQ(mkdir(path(name).c_str(), 0700), 0);
        for (int i = 0; i < n; i++) {
            char file[32];
            snprintf(file, sizeof file, "/f%02d", i);
            writeFile(name + file, std::string(size_t(i), 'x'));
        }
        return p;
    }
    // Drives until the listing answered once more.
    void settle()
    {
        size_t before = listCodes.size();
        ASSERT_TRUE(drive([&] { return listCodes.size() > before; }));
    }
    // Lists the folder as the host does: batches of 32 until 0x18003 or a
    // failure, then the close. The request codes as "0x18001 0x18002 ...".
    std::string listAll(const std::string &p)
    {
        EXPECT_EQ(ZipList_open(inst, p.c_str()), 1);
        settle();
        while (listCodes.back() == App_requestListOpened ||
               listCodes.back() == App_requestListEntries) {
            EXPECT_EQ(ZipList_next(inst, listing, 32), 1);
            settle();
        }
        close();
        return codeText();
    }
    void close()
    {
        if (listing) {
            EXPECT_EQ(ZipList_close(inst, listing), 1);
            onAppThread([] {});
            listing = nullptr;
        }
    }
    std::string codeText() const
    {
        std::string out;
        char buf[16];
        for (int32_t c : listCodes) {
            snprintf(buf, sizeof buf, "%s0x%x", out.empty() ? "" : " ", unsigned(c));
            out += buf;
        }
        return out;
    }
};

TEST_F(ZipListTest, BatchesOfTheHostsSize)
{
    struct Row {
        int files;
        const char *codes;
        std::vector<int32_t> batches;
    };
    const Row rows[] = {
        {0, "0x18001 0x18003", {0}},
        {32, "0x18001 0x18002 0x18003", {32, 0}},
        {40, "0x18001 0x18002 0x18002 0x18003", {32, 8, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.files);
        listCodes.clear();
        batchSizes.clear();
        names.clear();
        EXPECT_EQ(listAll(folder("d" + std::to_string(row.files), row.files)), row.codes);
        EXPECT_EQ(batchSizes, row.batches);
        EXPECT_EQ(names.size(), size_t(row.files));
    }
}

TEST_F(ZipListTest, FoldersAndFileSizes)
{
    folder("top", 3);
    ASSERT_EQ(mkdir(path("top/sub").c_str(), 0700), 0);
    EXPECT_EQ(listAll(path("top/*")), "0x18001 0x18002 0x18003");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f00 0", "f01 1", "f02 2", "sub/ 0"}));
}

TEST_F(ZipListTest, RefusedCallsAndFailedOpen)
{
    EXPECT_EQ(ZipList_open(nullptr, "x"), 0);
    EXPECT_EQ(ZipList_open(inst, nullptr), 0);
    EXPECT_EQ(ZipList_next(inst, nullptr, 32), 0);
    ZipListRequest request{};
    EXPECT_EQ(ZipList_next(inst, &request, 0), 0);
    EXPECT_EQ(ZipList_close(inst, nullptr), 0);
    EXPECT_EQ(ZipList_free(nullptr), 1);
    EXPECT_EQ(ZipList_open(inst, path("missing/*").c_str()), 1);
    settle();
    EXPECT_EQ(codeText(), "0x18000");
    EXPECT_EQ(listing, nullptr);
}

TEST_F(ZipListTest, FailureMidListingThenClose)
{
    std::string p = folder("d", 40);
    ASSERT_EQ(ZipList_open(inst, p.c_str()), 1);
    settle();
    ASSERT_EQ(ZipList_next(inst, listing, 32), 1);
    settle();
    // The second batch runs out of memory once its list is made: the
    // listing stream is closed and cleared, so the host's close that
    // follows does not close it again.
    ASSERT_EQ(ZipList_next(inst, listing, 32), 1);
    Mem_failAfter(3);
    settle();
    Mem_failAfter(0);
    EXPECT_EQ(codeText(), "0x18001 0x18002 0x18000");
    EXPECT_EQ(listing->stream, nullptr);
    close();
}

} // namespace
