// Save-as through the application: the notification codes the host hears,
// the target written directly or replaced through a temporary file that
// never outlives the save, the original intact when the document fails to
// write itself, and the source question declined.
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/mem/mem.h"
#include "core/text/charset.h"
#include "document/edr/doc.h"
#include "platform/url/url.h"
#include "tests/platform/requests_fixture.h"
#include "viewer/hostquery.h"

namespace
{

// What the fake save callback does: write "saved", or write a part and fail.
bool saveFails = false;

int fakeSave(Edr_Doc *, const Url *target)
{
    char16_t *path = nullptr;
    char *text = nullptr;
    if (!Url_getPart(target, UrlPart_path, &path) || !path ||
        Charset_fromUstr(path, &text, CharsetCode_utf8, nullptr) != 0) {
        Mem_free(path);
        return 1;
    }
    std::ofstream(text, std::ios::binary) << (saveFails ? "part" : "saved");
    Mem_free(text);
    Mem_free(path);
    return saveFails ? 1 : 0;
}

class SaveAsTest : public RequestsFixture
{
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
                Charset_fromUstr(path, &text, CharsetCode_utf8, nullptr) == 0)
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

} // namespace
