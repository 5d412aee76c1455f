// Archives with the engine running: a document opens from a URL inside an
// archive, and the host's archive listing (ZipList_*) lists folders of
// archives and of the disk in batches through the stream layer.
#include <sys/stat.h>

#include "core/context/context.h"
#include "platform/api/editing.h"
#include "tests/office/zip_support.h"
#include "tests/office/zip_writer.h"
#include "tests/platform/app_fixture.h"

namespace {

class ZipAppTest : public AppFixture {
  protected:
    struct Entry {
        std::string name;
        int directory;
        uint64_t size;
        uint32_t info4;
    };

    void SetUp() override
    {
        AppFixture::SetUp();
        Headless_setRequestHook(host, onListing, this);
    }

    // Keeps the fixture's record of every request, and takes the listing
    // requests as the host would: it reads each batch and frees it.
    static void onListing(void *arg, int32_t code, void *record)
    {
        ZipAppTest *t = static_cast<ZipAppTest *>(arg);
        AppFixture::onRequest(arg, code, record);
        if (code == App_requestListOpened)
            t->listing = static_cast<ZipListRequest *>(record);
        if (code == App_requestListEntries || code == App_requestListEnd) {
            ZipEntryList *list = static_cast<ZipEntryList *>(record);
            std::vector<Entry> batch;
            for (int32_t i = 0; i < list->count; i++) {
                const ZipEntryInfo *e = list->entries[i];
                batch.push_back({e->name, e->isDirectory, e->size, e->info4});
            }
            t->batches.push_back(batch);
            EXPECT_EQ(ZipList_free(list), 1);
        }
    }

    int answers() const
    {
        return count(App_requestListOpened) + count(App_requestListEntries) +
               count(App_requestListEnd) + count(App_requestListFailed);
    }
    // Posts fn's call and drives the engine until it answered.
    bool answered(const std::function<int()> &post)
    {
        int before = answers();
        if (post() != 1)
            return false;
        return drive([&] { return answers() > before; });
    }
    // Opens a listing of the path: true when it opened.
    bool openListing(const std::string &path)
    {
        listing = nullptr;
        batches.clear();
        EXPECT_TRUE(answered([&] { return ZipList_open(inst, path.c_str()); }));
        return listing != nullptr;
    }
    // Asks for batches of 32 until the end or a failure.
    void listToTheEnd()
    {
        for (int i = 0; i < 10; i++) {
            int ends = count(App_requestListEnd), failures = count(App_requestListFailed);
            ASSERT_TRUE(answered([&] { return ZipList_next(inst, listing, 32); }));
            if (count(App_requestListEnd) > ends || count(App_requestListFailed) > failures)
                return;
        }
        FAIL() << "no end";
    }
    void closeListing()
    {
        ASSERT_EQ(ZipList_close(inst, listing), 1);
        onAppThread([] {}); // the close ran before it
        listing = nullptr;
    }

    ZipListRequest *listing = nullptr;
    std::vector<std::vector<Entry>> batches;
};

TEST_F(ZipAppTest, ADocumentOpensFromInsideAnArchive)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(zipFixturePath("Docs.ZIP") + "/notes.txt"));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    const Seen *info = nullptr;
    for (const Seen &s : seen)
        if (s.code == Fv_requestDocInfo)
            info = &s;
    ASSERT_NE(info, nullptr);
    EXPECT_NE(info->url.find("/Docs.ZIP/notes.txt"), std::string::npos) << info->url;
    EXPECT_EQ(info->mime, "text/plain") << "the member's type, from its name";
    EXPECT_NE(tree().find("Notes kept in an archive."), std::string::npos) << tree();
}

TEST_F(ZipAppTest, ArchiveFoldersListInBatchesWithTheirKinds)
{
    ASSERT_EQ(start(), 1);
    const std::string folders = "file://root" + zipFixturePath("folders.zip");
    ASSERT_TRUE(openListing(folders));
    ASSERT_NO_FATAL_FAILURE(listToTheEnd());
    ASSERT_EQ(batches.size(), 2u);
    ASSERT_EQ(batches[0].size(), 2u);
    EXPECT_EQ(batches[0][0].name, "d");
    EXPECT_EQ(batches[0][0].directory, 1);
    EXPECT_EQ(batches[0][0].size, 0u);
    EXPECT_EQ(batches[0][1].name, "z");
    EXPECT_EQ(batches[0][1].directory, 0);
    EXPECT_EQ(batches[0][1].size, zipExpectedContent("folders", "z").size());
    EXPECT_NE(batches[0][1].info4, 0u) << "the member's time";
    EXPECT_TRUE(batches[1].empty()) << "0x18003 with an empty list";
    closeListing();

    // A folder inside the archive; a local path rather than a URL.
    ASSERT_TRUE(openListing(zipFixturePath("folders.zip") + "/d"));
    ASSERT_NO_FATAL_FAILURE(listToTheEnd());
    ASSERT_EQ(batches.size(), 2u);
    ASSERT_EQ(batches[0].size(), 2u);
    EXPECT_EQ(batches[0][0].name, "x");
    EXPECT_EQ(batches[0][1].name, "y");
    closeListing();

    // Nothing to list: a failure and no request.
    int failures = count(App_requestListFailed);
    EXPECT_FALSE(openListing(folders + "/nothing"));
    EXPECT_EQ(count(App_requestListFailed), failures + 1);
}

TEST_F(ZipAppTest, FortyEntriesComeAsThirtyTwoThenEightThenTheEnd)
{
    ASSERT_EQ(start(), 1);
    std::vector<ZipWriterEntry> forty;
    for (int i = 0; i < 40; i++)
        forty.push_back({"f" + std::to_string(i), "1234", i % 2 == 0});
    writeFile("forty.zip", zipWrite(forty));
    ASSERT_TRUE(openListing("file://root" + path("forty.zip")));
    ASSERT_NO_FATAL_FAILURE(listToTheEnd());
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].size(), 32u);
    EXPECT_EQ(batches[1].size(), 8u);
    EXPECT_TRUE(batches[2].empty());
    int i = 0;
    for (const auto &batch : batches)
        for (const Entry &e : batch) {
            EXPECT_EQ(e.name, "f" + std::to_string(i++));
            EXPECT_EQ(e.directory, 0) << e.name;
            EXPECT_EQ(e.size, 4u) << e.name;
        }
    closeListing();

    // A disk folder whose listing holds only "." and "..": the end at once.
    ASSERT_EQ(mkdir(path("empty").c_str(), 0700), 0);
    ASSERT_TRUE(openListing("file://root" + path("empty") + "/.*"));
    ASSERT_NO_FATAL_FAILURE(listToTheEnd());
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_TRUE(batches[0].empty());
    closeListing();
}

TEST_F(ZipAppTest, RefusedCallsAnswerAsFailures)
{
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(ZipList_open(nullptr, "x"), 0);
    EXPECT_EQ(ZipList_open(inst, nullptr), 0);
    ZipListRequest none{};
    EXPECT_EQ(ZipList_next(inst, nullptr, 32), 0);
    EXPECT_EQ(ZipList_next(inst, &none, 0), 0);
    EXPECT_EQ(ZipList_close(inst, nullptr), 0);
    EXPECT_EQ(ZipList_free(nullptr), 1);

    // A queue that takes nothing: the open is refused, its copy freed, and
    // the host told.
    ASSERT_TRUE(openListing("file://root" + zipFixturePath("folders.zip")));
    int failures = count(App_requestListFailed);
    inst->queue->shuttingDown = 1;
    EXPECT_EQ(ZipList_open(inst, "file://root/x.zip"), 0);
    EXPECT_EQ(ZipList_next(inst, listing, 32), 0);
    EXPECT_EQ(count(App_requestListFailed), failures + 2);
    EXPECT_EQ(ZipList_close(inst, listing), 0) << "and the listing is closed and freed";
    inst->queue->shuttingDown = 0;
}

} // namespace
