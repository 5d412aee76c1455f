// Save-as through the application: the notification codes the host hears,
// the target written directly or replaced through a temporary file that
// never outlives the save, the original intact when the document fails to
// write itself, and the source question declined.
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "document/edr/doc.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "tests/platform/requests_fixture.h"
#include "tests/support/scratch_files.h"
#include "viewer/fvdisplay.h"
#include "viewer/hostquery.h"

namespace {

// What the fake save callback does: write "saved", or write a part and fail.
bool saveFails = false;

int fakeSave(Edr_Doc *, const Url *target)
{
    char16_t *path = nullptr;
    char *text = nullptr;
    if (!Url_getPart(target, UrlPart_path, &path) || !path ||
        Charset_fromUstr(nullptr, path, &text, CharsetCode_utf8) != 0) {
        Mem_free(path);
        return 1;
    }
    std::ofstream(text, std::ios::binary) << (saveFails ? "part" : "saved");
    Mem_free(text);
    Mem_free(path);
    return saveFails ? 1 : 0;
}

class SaveAsTest : public RequestsFixture {
  protected:
    void SetUp() override
    {
        RequestsFixture::SetUp();
        saveFails = false;
        source = writeFile("doc.txt", "some text\n");
        ASSERT_EQ(start(), 1);
        ASSERT_TRUE(open(source));
        onAppThread([&] {
            doc = Fv_fromApp(inst)->page->document;
            Edr_Doc_setCallbackA(doc, fakeSave);
        });
    }
    // Saves under target and drives the engine until the outcome came.
    void saveAs(const std::string &target)
    {
        notices.clear();
        ASSERT_EQ(App_saveDocumentAs(inst, target.c_str()), 1);
        ASSERT_TRUE(drive([&] { return notices.size() >= 3; }));
    }
    std::string read(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return in ? s.str() : "<none>";
    }
    // The scratch directory's names, sorted.
    std::string listing()
    {
        std::vector<std::string> names;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string &n : names)
            out += (out.empty() ? "" : " ") + n;
        return out;
    }
    std::string docUrl()
    {
        std::string out;
        onAppThread([&] {
            Url *url = nullptr;
            ASSERT_EQ(Edr_Doc_getUrl(doc, &url), 0);
            char16_t *path = nullptr;
            char *text = nullptr;
            if (url && Url_getPart(url, UrlPart_path, &path) && path &&
                Charset_fromUstr(nullptr, path, &text, CharsetCode_utf8) == 0)
                out = text;
            // The URL keeps a local path with a doubled leading "/".
            if (out.rfind("//", 0) == 0)
                out.erase(0, 1);
            Mem_free(text);
            Mem_free(path);
            Url_free(url);
        });
        return out;
    }

    std::string source;
    Edr_Doc *doc = nullptr;
};

TEST_F(SaveAsTest, NewPathIsWrittenDirectly)
{
    saveAs(path("new.txt"));
    EXPECT_EQ(noticeText(), "0 1 19");
    EXPECT_EQ(read(path("new.txt")), "saved");
    EXPECT_EQ(listing(), "doc.txt new.txt");
    EXPECT_EQ(docUrl(), path("new.txt"));
}

TEST_F(SaveAsTest, ExistingTargetIsReplacedWithoutATemporaryFileLeft)
{
    writeFile("old.txt", "original");
    saveAs(path("old.txt"));
    EXPECT_EQ(noticeText(), "0 1 19");
    EXPECT_EQ(read(path("old.txt")), "saved");
    EXPECT_EQ(listing(), "doc.txt old.txt");
    EXPECT_EQ(docUrl(), path("old.txt"));
}

TEST_F(SaveAsTest, FailedSaveKeepsTheOriginalAndLeavesNothing)
{
    saveFails = true;
    writeFile("old.txt", "original");
    saveAs(path("old.txt"));
    EXPECT_EQ(noticeText(), "0 1 20");
    EXPECT_EQ(read(path("old.txt")), "original");
    EXPECT_EQ(listing(), "doc.txt old.txt");
    // A new target that the document failed to write is removed again.
    saveAs(path("new.txt"));
    EXPECT_EQ(noticeText(), "0 1 20");
    EXPECT_EQ(listing(), "doc.txt old.txt");
    EXPECT_EQ(docUrl(), source);
}

TEST_F(SaveAsTest, BadTargetsFail)
{
    // A directory that does not exist, and an empty path.
    saveAs(path("missing/new.txt"));
    EXPECT_EQ(noticeText(), "0 1 20");
    saveAs("");
    EXPECT_EQ(noticeText(), "0 1 20");
    EXPECT_EQ(listing(), "doc.txt");
    EXPECT_EQ(App_saveDocumentAs(nullptr, "x"), 0);
}

TEST_F(SaveAsTest, SourceQuestionDeclinedOrAccepted)
{
    // The importer keeps reading the document's file, which is gone.
    onAppThread([&] { doc->extraFlags |= 2; });
    ASSERT_EQ(remove(source.c_str()), 0);
    Headless_setQueryMode(host, HeadlessQuery_answer, HostQuery_no, 0);
    saveAs(path("new.txt"));
    EXPECT_EQ(noticeText(), "0 1 21");
    EXPECT_EQ(Headless_queryCount(host), 1);
    EXPECT_EQ(listing(), "");
    Headless_setQueryMode(host, HeadlessQuery_answer, HostQuery_yes, 0);
    saveAs(path("new.txt"));
    EXPECT_EQ(noticeText(), "0 1 19");
    EXPECT_EQ(listing(), "new.txt");
    // The document now lives at new.txt, which is there: nothing is asked.
    saveAs(path("doc.txt"));
    EXPECT_EQ(noticeText(), "0 1 19");
    EXPECT_EQ(Headless_queryCount(host), 2);
}

// The engine's own writers saving through the save-as while the file
// system fails as a full disk or a read-only folder does: the save is
// reported as failed with the file layer's reason, the original and any
// file at the target stay byte for byte as they were, and no temporary
// or half-written file is left.
class SaveAsFaultTest : public RequestsFixture {
  protected:
    std::string read(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return in ? s.str() : "<none>";
    }
    std::string listing()
    {
        std::vector<std::string> names;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string &n : names)
            out += (out.empty() ? "" : " ") + n;
        return out;
    }
    // The outcome of a save-as: "CODE REASON".
    std::string saveAs(const std::string &target)
    {
        notices.clear();
        reasons.clear();
        EXPECT_EQ(App_saveDocumentAs(inst, target.c_str()), 1);
        EXPECT_TRUE(drive([&] { return notices.size() >= 3; }));
        if (notices.size() < 3)
            return "none";
        return std::to_string(notices[2]) + " " + std::to_string(reasons[2]);
    }
    // Drives the engine until the display shows a page of the document:
    // the save-as saves the document of the page shown.
    bool shown()
    {
        bool found = false;
        for (int i = 0; i < 2000 && !found; i++) {
            onAppThread([&] {
                FvViewer *viewer = Fv_fromApp(inst);
                Edr_Doc *doc = nullptr;
                int32_t index = -1;
                found = viewer && viewer->page && viewer->page->pageView &&
                        Edr_Fwd_findSubdocPage(viewer->page->pageView, &doc, &index) && doc;
            });
            if (!found)
                (void)Headless_fireTimer(host);
        }
        return found;
    }
    void fault(int64_t room, uint32_t readOnly)
    {
        onAppThread([&] {
            AlienFile_injectFullDisk(Fv_fromApp(inst)->context, room);
            AlienFile_injectReadOnly(Fv_fromApp(inst)->context, readOnly);
        });
    }
};

TEST_F(SaveAsFaultTest, AFullDiskOrAReadOnlyFolderLeavesEveryFileAsItWas)
{
    const char *const sources[][2] = {{"spreadsheet", "lo_book.xls"}, {"word", "runs.doc"}};
    for (const auto &source : sources) {
        SCOPED_TRACE(source[1]);
        std::string name = source[1];
        std::string ext = name.substr(name.rfind('.'));
        std::string original = TestFiles::copyFixture(dir, source[0], name);
        std::string bytes = read(original);
        ASSERT_NE(bytes, "<none>");
        if (!inst) {
            ASSERT_EQ(start(), 1);
        }
        ASSERT_TRUE(open(original));
        ASSERT_TRUE(shown());
        // What a whole save writes, to cut it short at points inside.
        ASSERT_EQ(saveAs(path("whole" + ext)), "19 0");
        uint64_t size = read(path("whole" + ext)).size();
        ASSERT_GT(size, 1024u);
        std::string other = writeFile("other" + ext, "kept as it was");
        std::string before = listing();
        const int64_t rooms[] = {0, 1, 511, int64_t(size / 2), int64_t(size * 3 / 4)};
        for (int64_t room : rooms) {
            SCOPED_TRACE(room);
            fault(room, 0);
            // Over the file it was opened from, over another file, and to
            // a new name.
            EXPECT_EQ(saveAs(original), "20 " + std::to_string(Res_fileWrite));
            EXPECT_EQ(saveAs(other), "20 " + std::to_string(Res_fileWrite));
            EXPECT_EQ(saveAs(path("new" + ext)), "20 " + std::to_string(Res_fileWrite));
            fault(-1, 0);
            EXPECT_TRUE(read(original) == bytes) << "the original changed";
            EXPECT_EQ(read(other), "kept as it was");
            EXPECT_EQ(listing(), before);
        }
        fault(-1, 1);
        EXPECT_EQ(saveAs(original), "20 " + std::to_string(Res_fileCannotOpen));
        EXPECT_EQ(saveAs(path("new" + ext)), "20 " + std::to_string(Res_fileCannotOpen));
        fault(-1, 0);
        EXPECT_TRUE(read(original) == bytes) << "the original changed";
        EXPECT_EQ(listing(), before);
        // With room again the same save goes through.
        EXPECT_EQ(saveAs(path("new" + ext)), "19 0");
        EXPECT_GT(read(path("new" + ext)).size(), 1024u);
        ASSERT_EQ(remove(path("new" + ext).c_str()), 0);
        ASSERT_EQ(remove(path("whole" + ext).c_str()), 0);
        ASSERT_EQ(remove(other.c_str()), 0);
    }
}

} // namespace
