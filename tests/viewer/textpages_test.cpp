// Large texts opened page by page on the running application: with pages
// on demand ("FV_singlePageLoad" 1) a 100 MB text made at run time opens
// within the default 64 MiB engine heap with only its first page built,
// and a move of the display to page 10,000 builds that page and releases
// the first.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/mem/mem.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "tests/platform/app_fixture.h"
#include "viewer/dispqueue.h"
#include "viewer/fvdisplay.h"

namespace {

// The text's lines: a seven-digit line number and filler, 64 bytes with
// the line feed, so that every page holds 66 whole lines.
constexpr size_t lineBytes = 64;
constexpr uint32_t pageLines = 66;
constexpr size_t textBytes = size_t(100) << 20;

class TextPagesTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // The engine's default heap.
        Headless_destroyContext(host);
        host = Headless_createContext(0);
        ASSERT_NE(host, nullptr);
        Headless_setCurrent(host);
        Headless_setManualClock(host, 1);
        Headless_captureDebug(host, 1);
        Headless_setRequestHook(host, onRequest, this);
        // The screen is not looked at here, and the layout of every page
        // hands over a screen (thousands of copies of a whole screen).
        Headless_keepScreenUpdates(host, 0);
    }

    std::string writeLargeText()
    {
        std::string file = path("large.txt");
        std::ofstream out(file, std::ios::binary);
        std::string block;
        char line[lineBytes + 1];
        for (size_t n = 0; n * lineBytes < textBytes; n++) {
            snprintf(line, sizeof line,
                     "%07zu the quick brown fox jumps over the lazy dog, again.....\n", n);
            block.append(line, lineBytes);
            if (block.size() >= (size_t(1) << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
        return file;
    }

    // The indexes of the page groups that hold text, and the page count.
    struct Built {
        std::vector<uint32_t> pages;
        uint32_t groups = 0;
        uint32_t published = 0;
        std::string firstText; // the first 7 characters of the last built page
    };
    Built built()
    {
        Built b;
        onAppThread([&] {
            Edr_Doc *doc = Fv_fromApp(inst)->page->document;
            (void)Edr_Page_count(doc, &b.published);
            Edr_Doc_readLock(doc);
            for (Edr_Node *n = Edr_Node_firstChild(Edr_Doc_root(doc)); n;
                 n = Edr_Node_nextSibling(n), b.groups++) {
                if (!Edr_Node_firstChild(n))
                    continue;
                b.pages.push_back(b.groups);
                char16_t *text = nullptr;
                if (Edr_Node_copyText(doc, Edr_Node_firstChild(n), &text) == 0 && text) {
                    b.firstText.clear();
                    for (int i = 0; i < 7 && text[i]; i++)
                        b.firstText += char(text[i]);
                }
                Mem_free(text);
            }
            Edr_Doc_readUnlock(doc);
        });
        return b;
    }

    // Moves the display to page index of the shown document, as page
    // navigation does.
    void showPage(uint32_t index)
    {
        onAppThread([&] {
            FvPage *page = Fv_fromApp(inst)->page;
            int32_t key = 0;
            uint32_t kind = 0;
            ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, page->document, index), 0);
            FvPageView *view = page->pageView;
            ASSERT_NE(view, nullptr);
            Edr_SubdocNode *link = Edr_Node_subdocPayload(view->node);
            ASSERT_NE(link, nullptr);
            ASSERT_EQ(Dispman_queueDocSwitch(view->display->engine, DispmanSub_hqAndQuick,
                                             view->display->view, view->display->viewDocument,
                                             int32_t(link->pageKey), uint32_t(link->pageKind),
                                             view->node, page->document, key, kind),
                      0);
        });
    }
};

TEST_F(TextPagesTest, AHundredMegabyteTextOpensAndJumpsPageByPage)
{
    std::string file = writeLargeText();
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(App_setConfigInt(inst, "FV_singlePageLoad", 1), 1);
    ASSERT_TRUE(open(file));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    EXPECT_EQ(alerts(0x10006), 0);
    EXPECT_EQ(alerts(0x10002), 0);
    const uint32_t pages = uint32_t((textBytes / lineBytes + pageLines - 1) / pageLines);
    // The layout of every (empty) page settles.
    ASSERT_TRUE(drive([&] { return built().published == pages; }, 200000));
    Built first = built();
    EXPECT_EQ(first.groups, pages);
    ASSERT_EQ(first.pages, std::vector<uint32_t>{0});
    EXPECT_EQ(first.firstText, "0000000");

    showPage(9999);
    ASSERT_TRUE(drive([&] { return built().pages == std::vector<uint32_t>{9999}; }, 200000));
    char expected[8];
    snprintf(expected, sizeof expected, "%07u", 9999 * pageLines);
    EXPECT_EQ(built().firstText, expected);
    EXPECT_EQ(alerts(0x10006), 0);
}

} // namespace
