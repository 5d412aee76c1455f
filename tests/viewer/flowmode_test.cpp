// Flow view on the running viewer: asking for it with and without a shown
// document, pages that cannot flow, the screen-update block held while the
// flowed layout is built, leaving it with the zoom kept, the text size, and
// the host's view-mode requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "platform/url/url.h"
#include "tests/platform/app_fixture.h"
#include "viewer/flowmode.h"
#include "viewer/navigate.h"
#include "viewer/reports.h"
#include "viewer/screen/screen.h"
#include "viewer/zoompan.h"

namespace {

class FlowModeTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Headless_setRequestHook(host, hook, this);
    }
    void TearDown() override
    {
        if (listening && inst)
            onAppThread([&] {
                EngineContext *context = inst->context;
                EXPECT_EQ(EventProc_removeListener(context->eventProc, 1, onMessage, this), 0);
            });
        AppFixture::TearDown();
    }
    static void hook(void *arg, int32_t code, void *record)
    {
        FlowModeTest *t = static_cast<FlowModeTest *>(arg);
        AppFixture::onRequest(arg, code, record);
        if (code == Fv_requestViewMode && record)
            t->modes.push_back(*static_cast<const FvViewModeReport *>(record));
    }
    // Counts the flow messages (24 on, 25 off) the layout receives.
    static void onMessage(EngineContext *, EventProcMsg *msg, void *arg, int *)
    {
        FlowModeTest *t = static_cast<FlowModeTest *>(arg);
        const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
        if (m && (m->code == Fv_messageFlowOn || m->code == Fv_messageFlowOff))
            t->messages.push_back(m->code);
    }
    void listen()
    {
        onAppThread([&] {
            EngineContext *context = inst->context;
            ASSERT_EQ(EventProc_addListener(context, context->eventProc, 1, onMessage, this), 0);
        });
        listening = true;
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    int32_t blocks()
    {
        int32_t n = 0;
        onAppThread([&] { n = Screen_set(ScreenBinding_screen(viewer()->screen))->blockCount; });
        return n;
    }
    // Lets the event processor deliver what was posted.
    void settle()
    {
        Headless_runTimers(host, 20);
    }
    void openText()
    {
        ASSERT_TRUE(open(writeFile("flow.txt", "Text that flows to the width of the screen.\n")));
    }
    // Makes the page's URL one of a type that cannot flow.
    void pdfUrl()
    {
        onAppThread([&] {
            FvPage *page = viewer()->page;
            Url_free(page->url);
            page->url = Url_newFromCstr("file:///doc/report.pdf");
            page->flowOverride = 0;
            ASSERT_NE(page->url, nullptr);
        });
    }
    bool lastMode(int32_t mode, int32_t result)
    {
        return !modes.empty() && modes.back().mode == mode && modes.back().result == result;
    }

    std::vector<FvViewModeReport> modes;
    std::vector<int32_t> messages;
    bool listening = false;
};

TEST_F(FlowModeTest, WithoutADocumentTheModeIsStoredAndReported)
{
    ASSERT_EQ(start(), 1);
    listen();
    onAppThread([&] {
        EXPECT_EQ(FlowMode_setMode(viewer(), FvViewMode_flow), 0);
        EXPECT_EQ(viewer()->options.word[FvStart_pageMode], FvViewMode_flow);
        EXPECT_EQ(inst->context->flowMode, 0u); // nothing to flow yet
    });
    settle();
    EXPECT_TRUE(lastMode(FvViewMode_flow, 1));
    EXPECT_TRUE(messages.empty());
}

TEST_F(FlowModeTest, WithoutADocumentAPageThatCannotFlowReports0x10000)
{
    ASSERT_EQ(start(), 1);
    pdfUrl();
    onAppThread([&] { EXPECT_EQ(FlowMode_setMode(viewer(), FvViewMode_flow), 0); });
    EXPECT_TRUE(lastMode(FvViewMode_flow, 0x10000));
}

TEST_F(FlowModeTest, APageThatCannotFlowPostsPagesAndHoldsOneBlockUntilLeft)
{
    ASSERT_EQ(start(), 1);
    openText();
    pdfUrl();
    listen();
    int32_t before = blocks();
    // The block is taken at once; the layout pass that would end flow view
    // runs only once the posted messages are delivered, after this call.
    modes.clear();
    onAppThread([&] {
        FvViewer *v = viewer();
        int32_t *count = &Screen_set(ScreenBinding_screen(v->screen))->blockCount;
        EXPECT_EQ(FlowMode_setMode(v, FvViewMode_flow), 0);
        EXPECT_EQ(*count, before + 1);
        // Asking again while engaged takes no second block.
        EXPECT_EQ(FlowMode_setMode(v, FvViewMode_flow), 0);
        EXPECT_EQ(*count, before + 1);
        FlowMode_leave(v, 0);
        EXPECT_EQ(FlowMode_ops(v)->engaged, 0);
        EXPECT_EQ(FlowMode_ops(v)->notifyHost, 0);
        EXPECT_EQ(*count, before);
    });
    EXPECT_TRUE(lastMode(FvViewMode_flow, 0));
    // Leaving again, by hand or by the end of the layout pass, does nothing.
    modes.clear();
    onAppThread([&] { FlowMode_leave(viewer(), 0); });
    settle();
    EXPECT_EQ(messages, (std::vector<int32_t>{Fv_messageFlowOff, Fv_messageFlowOff}));
    EXPECT_EQ(blocks(), before);
    EXPECT_TRUE(modes.empty());
}

TEST_F(FlowModeTest, ATextFlowsToTheScreenWidthAndLeavingKeepsAZoomAbove100)
{
    ASSERT_EQ(start(), 1);
    openText();
    listen();
    onAppThread([&] {
        FvViewer *v = viewer();
        FvPage *page = v->page;
        EXPECT_TRUE(Fv_canFlow(page));
        EXPECT_EQ(FlowMode_setMode(v, FvViewMode_flow), 0);
        EXPECT_EQ(inst->context->flowMode, 1u);
        // 240 pixels at 106 pixels an inch.
        EXPECT_EQ(inst->context->flowWidth, (240u << 16) / 106u);
        EXPECT_EQ(FlowMode_getMode(v), FvViewMode_flow);
        EXPECT_EQ(Fv_viewMode(v), FvViewMode_flow);
        // Flowed to the screen's width, the text is not shrunk below 100 %.
        int32_t lo = 0, hi = 0;
        Fv_zoomLimits(v, page, &lo, &hi);
        EXPECT_EQ(lo, 0x10000);
        // Back to pages at 150 %: leaving with a refit keeps the zoom.
        EXPECT_EQ(FlowMode_setMode(v, FvViewMode_page), 0);
        EXPECT_EQ(inst->context->flowMode, 0u);
        v->zoom = 0x18000;
        Fv_setPageZoom(page, 0x18000, 10, -1, -1);
        FlowMode_leave(v, 1);
        EXPECT_EQ(Fv_pageZoom(page), 0x18000);
        EXPECT_EQ(v->zoom, 0x18000);
    });
    settle();
    EXPECT_EQ(messages, (std::vector<int32_t>{Fv_messageFlowOn, Fv_messageFlowOff}));
    EXPECT_TRUE(lastMode(FvViewMode_page, 1));
}

TEST_F(FlowModeTest, ATextSizeAlreadyInForcePostsNothing)
{
    ASSERT_EQ(start(), 1);
    openText();
    onAppThread([&] { EXPECT_EQ(FlowMode_setMode(viewer(), FvViewMode_flow), 0); });
    settle();
    listen();
    onAppThread([&] {
        FlowMode_setTextSize(viewer(), 0x10002);
        EXPECT_EQ(ViewMode_getTextSize(inst->context), 10 << 16);
    });
    settle();
    EXPECT_EQ(messages.size(), 1u);
    onAppThread([&] { FlowMode_setTextSize(viewer(), 0x10002); });
    settle();
    EXPECT_EQ(messages.size(), 1u);
    onAppThread([&] {
        FlowMode_setTextSize(viewer(), 0x10000);
        EXPECT_EQ(ViewMode_getTextSize(inst->context), 6 << 16);
        FlowMode_setTextSize(viewer(), 7);
        EXPECT_EQ(ViewMode_getTextSize(inst->context), 8 << 16);
    });
}

TEST_F(FlowModeTest, HostRequestsForTheViewMode)
{
    ASSERT_EQ(start(), 1);
    openText();
    onAppThread([&] { Fv_queryViewMode(viewer()); });
    EXPECT_TRUE(lastMode(FvViewMode_page, 1));
    // A page that cannot flow stays in page view and says so.
    pdfUrl();
    onAppThread([&] {
        Fv_setViewMode(viewer(), FvViewMode_flow);
        EXPECT_EQ(inst->context->flowMode, 0u);
        Fv_queryViewMode(viewer());
    });
    EXPECT_TRUE(lastMode(FvViewMode_page, 0x10000));
    // Without the flow view operations the engine shows pages only.
    onAppThread([&] {
        FlowMode_free(viewer());
        Fv_setViewMode(viewer(), FvViewMode_flow);
        EXPECT_TRUE(lastMode(FvViewMode_page, 0));
        Fv_queryViewMode(viewer());
        EXPECT_TRUE(lastMode(FvViewMode_page, 0));
        EXPECT_EQ(Fv_viewMode(viewer()), FvViewMode_page);
        EXPECT_EQ(FlowMode_install(viewer()), 1);
    });
}

TEST_F(FlowModeTest, TheHostsKeyTogglesFlowViewAndTheEndOfThePassReportsIt)
{
    ASSERT_EQ(start(), 1);
    openText();
    // The shown document's first display tells the host it can flow.
    ASSERT_TRUE(drive([&] { return lastMode(FvViewMode_page, 1); }));
    EXPECT_EQ(blocks(), 0);
    // Flow on: the layout pass ends the flow view's screen block and the
    // host hears the mode confirmed.
    size_t before = modes.size();
    ASSERT_EQ(App_sendKey(inst, 0x10001), 1);
    ASSERT_TRUE(drive([&] { return modes.size() > before; }));
    EXPECT_TRUE(lastMode(FvViewMode_flow, 1));
    EXPECT_EQ(inst->context->flowMode, 1u);
    EXPECT_EQ(blocks(), 0);
    // And off again.
    before = modes.size();
    ASSERT_EQ(App_sendKey(inst, 0x10000), 1);
    ASSERT_TRUE(drive([&] { return modes.size() > before; }));
    EXPECT_TRUE(lastMode(FvViewMode_page, 1));
    EXPECT_EQ(inst->context->flowMode, 0u);
    EXPECT_EQ(blocks(), 0);
    // A page that cannot flow refuses the key at once.
    pdfUrl();
    before = modes.size();
    ASSERT_EQ(App_sendKey(inst, 0x10001), 1);
    ASSERT_TRUE(drive([&] { return modes.size() > before; }));
    EXPECT_TRUE(lastMode(FvViewMode_page, 0x10000));
    EXPECT_EQ(inst->context->flowMode, 0u);
    EXPECT_EQ(blocks(), 0);
}

} // namespace
