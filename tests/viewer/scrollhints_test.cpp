// The page record's column scroll hints: reset to {2, 2, 0, 0} whatever
// the page shows, and the page view's answer of what it shows.
#include <gtest/gtest.h>

#include "core/result.h"
#include "document/edr/doc.h"
#include "platform/api/app.h"
#include "tests/platform/app_fixture.h"
#include "viewer/fvdisplay.h"
#include "viewer/scrollhints.h"
#include "viewer/viewer.h"

namespace {

void expectReset(const FvPage &page)
{
    EXPECT_EQ(page.columnMoreBefore, 2u);
    EXPECT_EQ(page.columnMoreAfter, 2u);
    EXPECT_EQ(page.columnHint2, 0u);
    EXPECT_EQ(page.columnHint3, 0u);
}

TEST(ScrollHints, WithoutADocumentOrAPageViewTheHintsAreReset)
{
    FvViewer viewer{};
    EXPECT_EQ(FvPage_refreshScrollHints(&viewer), 0) << "no page record";
    EXPECT_EQ(FvPage_refreshScrollHints(nullptr), 0);
    FvPage page{};
    viewer.page = &page;
    page.columnMoreBefore = 1;
    page.columnMoreAfter = 0;
    page.columnHint2 = 9;
    page.columnHint3 = 9;
    EXPECT_EQ(FvPage_refreshScrollHints(&viewer), 0);
    expectReset(page);

    // A document but no page view showing anything.
    page.columnMoreBefore = 0;
    page.document = reinterpret_cast<Edr_Doc *>(&page);
    EXPECT_EQ(FvPage_refreshScrollHints(&viewer), 0);
    expectReset(page);

    Edr_Doc *doc = nullptr;
    int32_t index = 7;
    EXPECT_EQ(Edr_Fwd_findSubdocPage(nullptr, &doc, &index), 0);
    FvPageView empty{nullptr, nullptr};
    EXPECT_EQ(Edr_Fwd_findSubdocPage(&empty, &doc, &index), 0);
    EXPECT_EQ(doc, nullptr);
    EXPECT_EQ(index, -1) << "no page shown";
}

class ScrollHintsAppTest : public AppFixture {};

TEST_F(ScrollHintsAppTest, TheShownDocumentsPageIsFoundAndTheHintsAreReset)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(writeFile("t.txt", "one\ntwo\n")));
    onAppThread([&] {
        FvViewer *viewer = Fv_fromApp(inst);
        ASSERT_NE(viewer, nullptr);
        FvPage *page = viewer->page;
        ASSERT_NE(page, nullptr);
        ASSERT_NE(page->pageView, nullptr);
        Edr_Doc *shown = nullptr;
        int32_t index = 99;
        if (Edr_Fwd_findSubdocPage(page->pageView, &shown, &index)) {
            EXPECT_EQ(shown, page->document);
            EXPECT_EQ(index, 0);
        }
        page->columnMoreBefore = 5;
        page->columnHint3 = 5;
        EXPECT_EQ(FvPage_refreshScrollHints(viewer), 0);
        // Text pages keep no scrolled column: nothing answers.
        expectReset(*page);

        // A page record whose document is not the one its view shows.
        Edr_Doc *own = page->document;
        page->document = reinterpret_cast<Edr_Doc *>(viewer);
        EXPECT_EQ(FvPage_refreshScrollHints(viewer), 0);
        expectReset(*page);
        page->document = own;
    });
}

} // namespace
