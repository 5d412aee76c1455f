// The load-complete report of every document kind: once a document's first
// page can be shown, the application reports the editing mode (request
// 0x10017), which is what the windowed host takes as "the document is
// loaded" (title, page count, menus, recent files). The report must come
// for each kind, whether the document was named at start-up or opened
// later, once per document.
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "platform/api/editing.h"
#include "viewer/api/textedit.h"
#include "viewer/navigate.h"
#include "tests/platform/requests_fixture.h"

namespace {

struct KindCase {
    const char *name;
    const char *file; // under the fixtures folder
};

const KindCase kindCases[] = {
    {"text", "app/five_pages.txt"},        {"pdf", "pdf/gs.pdf"},
    {"word", "word/sections.doc"},         {"sheet", "spreadsheet/formats.xls"},
    {"slides", "presentation/slides.ppt"}, {"html", "html/styled.html"},
};

class DocLoadedTest : public RequestsFixture, public ::testing::WithParamInterface<KindCase> {
  protected:
    void SetUp() override
    {
        RequestsFixture::SetUp();
        // Editing is set up while the engine starts, as the windowed host
        // does, so it is in place before a start document loads.
        Headless_setConfigureHook(
            host, [](EngineContext *context, void *) { App_setupEditMode(context->instance); },
            nullptr);
    }
    static std::string fixture(const char *file)
    {
        return std::string(VEXLAN_FIXTURES) + "/" + file;
    }
    bool loadedTimes(int n)
    {
        return drive([&] { return count(App_requestEditMode) >= n; }) && settle() &&
               count(App_requestEditMode) == n;
    }
    // Runs the engine until its timer stops or a bound is reached, so a
    // second report would have arrived.
    bool settle()
    {
        Headless_runTimers(host, 2000);
        return true;
    }
    int32_t pageCount()
    {
        int32_t pages = -1;
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            pages = viewer && viewer->page ? viewer->page->pageCount : -1;
        });
        return pages;
    }
};

TEST_P(DocLoadedTest, StartDocumentReportsLoaded)
{
    std::string file = fixture(GetParam().file);
    ASSERT_EQ(start(file.c_str()), 1);
    EXPECT_TRUE(loadedTimes(1)) << "reports: " << count(App_requestEditMode);
    // The host was told the first page and the whole count.
    int32_t pages = pageCount();
    ASSERT_GT(Headless_pageReportCount(host), 0);
    HeadlessPageReport shown = Headless_pageReport(host, Headless_pageReportCount(host) - 1);
    EXPECT_EQ(shown.page, 1);
    EXPECT_EQ(shown.count, pages);
    int32_t docPages = -1;
    onAppThread([&] {
        uint32_t n = 0;
        if (Edr_Page_count(Fv_fromApp(inst)->page->document, &n) == 0)
            docPages = int32_t(n);
    });
    EXPECT_EQ(pages, docPages);
    // Turning to the second page is no new load: no second report.
    if (pageCount() >= 2) {
        int32_t current = -1;
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            ASSERT_EQ(Fv_gotoPage(viewer, viewer->page, 1), 0);
        });
        settle();
        onAppThread([&] { current = Fv_fromApp(inst)->page->currentIndex; });
        EXPECT_EQ(current, 1);
        EXPECT_EQ(count(App_requestEditMode), 1);
    }
}

TEST_P(DocLoadedTest, OpenedAfterTextReportsLoaded)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(fixture("app/hello.txt")));
    ASSERT_TRUE(loadedTimes(1));
    ASSERT_TRUE(open(fixture(GetParam().file)));
    EXPECT_TRUE(loadedTimes(2)) << "reports: " << count(App_requestEditMode);
    // The record is the new document's own, not the text's: only flowing
    // text and sheets install editing handlers.
    onAppThread([&] {
        FvViewer *viewer = Fv_fromApp(inst);
        uint32_t type = Edr_Doc_getTypeCodeLocked(viewer->page->document);
        bool editing = type == TextEdit_typeText || type == TextEdit_typeSheet;
        EXPECT_EQ(viewer->editMode->handlers.contents != nullptr, editing) << "type " << type;
    });
}

TEST_P(DocLoadedTest, OpenedFirstReportsLoaded)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(fixture(GetParam().file)));
    EXPECT_TRUE(loadedTimes(1)) << "reports: " << count(App_requestEditMode);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DocLoadedTest, ::testing::ValuesIn(kindCases),
                         [](const ::testing::TestParamInfo<KindCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
