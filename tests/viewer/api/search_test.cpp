// Search requests through the application with a scripted search engine:
// the reports the host receives (0x11000), the page-by-page walk of a
// page-on-demand document with its wrap, and the view's zoom at a match.
#include <deque>

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "tests/platform/requests_fixture.h"
#include "viewer/search/searchops.h"
#include "viewer/zoompan.h"

namespace {

// The scripted engine in the shape of the engine's search table: each
// step answers with the next scripted outcome (the step's direction as
// status), at once, as a worker would later.
struct Script {
    std::deque<SearchOutcome> results;
    std::vector<int32_t> steps;    // directions of the steps asked
    std::vector<int32_t> prepared; // start page and options word of each text set
    std::u16string text;
    int stops = 0;
    int setPages = 0;
    int active = 0; // a search is set up
    int restarts = 0;
    int failStep = 0;
};
Script script;

int fakeSetText(Edr_Doc *, const char16_t *text, uint32_t length, int32_t page, uint32_t options,
                int32_t, int32_t, int32_t, int32_t)
{
    script.text.assign(text, length);
    script.prepared.push_back(page);
    script.prepared.push_back(int32_t(options));
    script.active = 1;
    return 0;
}
void fakeClearText(Edr_Doc *)
{
    script.text.clear();
    script.active = 0;
}
int fakeStart(Edr_Doc *, int32_t direction, void *context, SearchCallback callback)
{
    script.steps.push_back(direction);
    if (script.failStep)
        return 1;
    if (!script.results.empty()) {
        SearchOutcome r = script.results.front();
        script.results.pop_front();
        callback(context, direction, &r);
    }
    return 0;
}
void fakeStop(Edr_Doc *)
{
    script.stops++;
    script.active = 0;
}
int fakeRestart(Edr_Doc *, int32_t, int32_t, int32_t)
{
    script.restarts++;
    script.active = 1;
    return 0;
}
int32_t fakeIsActive(Edr_Doc *)
{
    return script.active;
}
int fakeSetStartPage(Edr_Doc *, int32_t index)
{
    script.setPages++;
    return index >= 0 && index < 5 ? 0 : 1;
}
SearchOps fakeOps = {fakeSetText, fakeClearText, fakeStart,       fakeStop,
                     fakeRestart, fakeIsActive,  fakeSetStartPage};

SearchOutcome result(int32_t code, int32_t page = 0, int32_t minZoom = 0, int32_t maxZoom = 0)
{
    return SearchOutcome{code, 0, 0, 100, 100, page, minZoom, maxZoom};
}

class SearchEntryTest : public RequestsFixture {
  protected:
    void SetUp() override
    {
        RequestsFixture::SetUp();
        script = Script{};
        ASSERT_EQ(start(), 1);
    }
    void TearDown() override
    {
        // The engine's own table goes back before the engine frees it.
        if (context)
            onAppThread([&] { context->searchOps = engineOps; });
        RequestsFixture::TearDown();
    }
    // Puts ops (null: none) in place of the engine's search table.
    void useOps(SearchOps *ops)
    {
        onAppThread([&] {
            if (!context) {
                context = Fv_fromApp(inst)->context;
                engineOps = context->searchOps;
            }
            context->searchOps = ops;
        });
    }
    // Opens the document with the scripted engine; onDemand makes it a
    // document whose pages are built on demand.
    void openWith(const std::string &file, bool onDemand)
    {
        ASSERT_TRUE(open(file));
        Headless_runTimers(host, 100);
        useOps(&fakeOps);
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            if (onDemand) {
                Edr_Doc *doc = viewer->page->document;
                doc->featureFlags |= Edr_featurePageOnDemand;
                doc->pageOnDemand = 1;
            }
        });
    }
    // Runs the call and drives the engine until the host heard n more reports.
    void expectReports(const std::function<int()> &call, size_t n = 1)
    {
        size_t before = searches.size();
        ASSERT_EQ(call(), 1);
        EXPECT_TRUE(drive([&] { return searches.size() >= before + n; }, 2000));
    }
    std::string reportText() const
    {
        std::string out;
        char buf[48];
        for (const SearchReport &r : searches) {
            snprintf(buf, sizeof buf, "%s%x/%x/%d", out.empty() ? "" : " ", unsigned(r.outcome),
                     unsigned(r.direction), r.page);
            out += buf;
        }
        return out;
    }
    int32_t pageZoom()
    {
        int32_t zoom = 0;
        onAppThread([&] { zoom = Fv_pageZoom(Fv_fromApp(inst)->page); });
        return zoom;
    }
    int32_t currentPage()
    {
        int32_t index = -1;
        onAppThread([&] { index = Fv_fromApp(inst)->page->currentIndex; });
        return index;
    }

    EngineContext *context = nullptr;
    SearchOps *engineOps = nullptr; // the engine's table while a fake is in place
};

TEST_F(SearchEntryTest, ResultsOfAWholeDocumentSearch)
{
    openWith(writeFile("a.txt", "alpha beta\n"), false);
    ASSERT_EQ(App_searchStart(inst, "bëta", 0, 0, 0), 1);
    onAppThread([] {});
    EXPECT_EQ(script.text, u"bëta");
    EXPECT_EQ(script.prepared, (std::vector<int32_t>{0, 0}));
    // No match, the end of the range, an error, a code above 4; a step of
    // status 2 tells the host nothing.
    script.results = {result(0), result(3), result(4), result(7)};
    for (int i = 0; i < 4; i++)
        expectReports([&] { return App_searchNext(inst); });
    script.results = {result(2)};
    expectReports([&] { return App_searchPrevious(inst); });
    script.results = {result(1)};
    ASSERT_EQ(App_searchFollowUp(inst), 1);
    onAppThread([] {});
    onAppThread([] {});
    EXPECT_EQ(reportText(),
              "10001/10000/1 10002/10000/1 10003/10000/1 10003/10000/1 10002/10001/1");
    EXPECT_EQ(script.steps, (std::vector<int32_t>{0, 0, 0, 0, 1, 2}));
    ASSERT_EQ(App_searchCancel(inst), 1);
    onAppThread([] {});
    EXPECT_EQ(script.stops, 1);
}

TEST_F(SearchEntryTest, MatchZoomsOnlyOutsideItsRange)
{
    openWith(writeFile("a.txt", "alpha beta\n"), false);
    ASSERT_EQ(App_searchStart(inst, "beta", 0, 0, 0), 1);
    int32_t zoom = pageZoom();
    script.results = {result(1, 0, zoom / 2, zoom * 4)};
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(pageZoom(), zoom);
    script.results = {result(1, 0, zoom * 2, zoom * 4)};
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(pageZoom(), zoom * 2);
    EXPECT_EQ(reportText(), "10000/10000/1 10000/10000/1");
}

TEST_F(SearchEntryTest, SinglePageAnswersDirectly)
{
    openWith(writeFile("a.txt", "alpha beta\n"), true);
    ASSERT_EQ(App_searchStart(inst, "gamma", 0, 0, 0), 1);
    script.results = {result(3)};
    expectReports([&] { return App_searchNext(inst); });
    script.results = {result(2)};
    expectReports([&] { return App_searchPrevious(inst); });
    EXPECT_EQ(reportText(), "10002/10000/1 10002/10001/1");
}

TEST_F(SearchEntryTest, BackwardFromPageZeroWrapsToTheLastPage)
{
    openWith(VEXLAN_FIXTURES "/app/five_pages.txt", true);
    uint32_t count = 0;
    onAppThread([&] { Edr_Page_count(Fv_fromApp(inst)->page->document, &count); });
    ASSERT_EQ(count, 5u);
    ASSERT_EQ(App_searchStart(inst, "Line", 1, 0, 0), 1);
    onAppThread([] {});
    // The start page, and no matching flags: the direction is the step's.
    EXPECT_EQ(script.prepared, (std::vector<int32_t>{0, 0}));
    // Page 0 has no match backward: a second backward step first, then
    // the walk moves on to page 4.
    script.results = {result(2), result(2)};
    expectReports([&] { return App_searchPrevious(inst); });
    EXPECT_EQ(reportText(), "10004/10001/1");
    EXPECT_EQ(script.steps, (std::vector<int32_t>{1, 1}));
    ASSERT_EQ(App_searchNext(inst), 1);
    onAppThread([] {});
    Headless_runTimers(host, 100);
    EXPECT_EQ(currentPage(), 4);
    // Page 4 ready: the step runs there, backward, and matches.
    script.results = {result(1, 4)};
    size_t before = searches.size();
    onAppThread([&] { Search_onPageReady(Fv_fromApp(inst)); });
    EXPECT_TRUE(drive([&] { return searches.size() > before; }, 2000));
    EXPECT_EQ(reportText(), "10004/10001/1 10000/10001/5");
    EXPECT_EQ(script.steps, (std::vector<int32_t>{1, 1, 1}));
}

TEST_F(SearchEntryTest, ForwardWalkEndsBackAtItsStart)
{
    openWith(VEXLAN_FIXTURES "/app/five_pages.txt", true);
    ASSERT_EQ(App_searchStart(inst, "none", 0, 0, 0), 1);
    for (int page = 0; page < 5; page++) {
        SCOPED_TRACE(page);
        script.results = {result(3)};
        if (page == 0) {
            expectReports([&] { return App_searchNext(inst); });
        } else {
            size_t before = searches.size();
            onAppThread([&] { Search_onPageReady(Fv_fromApp(inst)); });
            EXPECT_TRUE(drive([&] { return searches.size() > before; }, 2000));
        }
        if (page < 4) {
            ASSERT_EQ(App_searchNext(inst), 1);
            onAppThread([] {});
            Headless_runTimers(host, 100);
            EXPECT_EQ(currentPage(), page + 1);
        }
    }
    // Four pages go on; the last, back at the start, finds no match.
    EXPECT_EQ(reportText(),
              "10004/10000/1 10004/10000/2 10004/10000/3 10004/10000/4 10001/10000/5");
}

TEST_F(SearchEntryTest, RefusalsAndEngineErrors)
{
    openWith(writeFile("a.txt", "alpha beta\n"), false);
    EXPECT_EQ(App_searchStart(inst, "", 0, 0, 0), 0);
    EXPECT_EQ(App_searchStart(inst, nullptr, 0, 0, 0), 0);
    EXPECT_EQ(App_searchStart(nullptr, "x", 0, 0, 0), 0);
    EXPECT_EQ(App_searchNext(nullptr), 0);
    // A failed step: the host shows its search error; a failed page
    // operation is silent.
    ASSERT_EQ(App_searchStart(inst, "beta", 0, 0, 0), 1);
    script.failStep = 1;
    expectReports([&] { return App_searchNext(inst); });
    expectReports([&] { return App_searchSetPage(inst, 9); });
    expectReports([&] { return App_searchFollowUp(inst); });
    EXPECT_EQ(reportText(), "10003/10000/0 10003/10002/0 10003/10002/0");
}

TEST_F(SearchEntryTest, WithoutASearchEngineTheStartFailsSilently)
{
    ASSERT_TRUE(open(writeFile("a.txt", "alpha beta\n")));
    useOps(nullptr);
    expectReports([&] { return App_searchStart(inst, "beta", 0, 0, 0); });
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(reportText(), "10003/10002/0 10003/10000/0");
}

// The engine's own search on a real text document: the match is found on
// the worker, the view is moved to it and the host hears the match; a
// text that is not there reports no match.
TEST_F(SearchEntryTest, EngineFindsTheMatchInATextDocument)
{
    ASSERT_TRUE(open(writeFile("a.txt", "alpha beta gamma\n")));
    Headless_runTimers(host, 100);
    ASSERT_EQ(App_searchStart(inst, "Gamma", 0, 0, 0), 1);
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(reportText(), "10000/10000/1");
    // The search stays set up with its match current (phase 1: a match
    // after the start point).
    int32_t active = 0;
    int32_t phase = -1;
    onAppThread([&] {
        FvViewer *viewer = Fv_fromApp(inst);
        Edr_Doc *doc = viewer->page->document;
        active = viewer->context->searchOps->isActive(doc);
        phase = Search_phase(doc);
    });
    EXPECT_EQ(active, 1);
    EXPECT_EQ(phase, 1);
    // A backward hint from the host does not make the match exact: "GAMMA"
    // still finds "gamma".
    searches.clear();
    ASSERT_EQ(App_searchStart(inst, "GAMMA", 1, 0, 0), 1);
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(reportText(), "10000/10000/1");
    searches.clear();
    ASSERT_EQ(App_searchStart(inst, "delta", 0, 0, 0), 1);
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(reportText(), "10002/10000/1");
    // Cancelling ends the engine's search.
    ASSERT_EQ(App_searchCancel(inst), 1);
    onAppThread([&] {
        FvViewer *viewer = Fv_fromApp(inst);
        active = viewer->context->searchOps->isActive(viewer->page->document);
    });
    EXPECT_EQ(active, 0);
}

// A word searched through the command API in a text of several pages:
// each step shows the next match, page after page, and the step after the
// last one reports the end of the range (where the host asks whether to
// go on from the start); as many matches as the file holds the word.
TEST_F(SearchEntryTest, EngineStepsThroughEveryMatchPageByPage)
{
    std::string text;
    size_t expected = 0;
    for (int line = 1; line <= 160; line++) {
        text += "line " + std::to_string(line) + " of filler text";
        // The word on a few lines, twice on one, in another case on one.
        if (line == 3 || line == 70 || line == 150) {
            text += " with a needle";
            expected++;
        } else if (line == 71) {
            text += " needle and NEEDLE";
            expected += 2;
        }
        text += "\n";
    }
    ASSERT_TRUE(open(writeFile("needles.txt", text)));
    Headless_runTimers(host, 100);
    uint32_t count = 0;
    onAppThread([&] { Edr_Page_count(Fv_fromApp(inst)->page->document, &count); });
    ASSERT_GE(count, 3u) << "the text runs over several pages";
    ASSERT_EQ(App_searchStart(inst, "needle", 0, 0, 0), 1);
    // The view moves to each match's page (a report names the page shown
    // when the match arrived).
    std::vector<int32_t> shown;
    for (size_t i = 0; i < expected; i++) {
        expectReports([&] { return App_searchNext(inst); });
        shown.push_back(currentPage());
    }
    expectReports([&] { return App_searchNext(inst); });
    ASSERT_EQ(searches.size(), expected + 1) << reportText();
    for (size_t i = 0; i < expected; i++) {
        EXPECT_EQ(searches[i].outcome, Search_outcomeMatch) << reportText();
        if (i) {
            EXPECT_GE(shown[i], shown[i - 1]) << i;
        }
    }
    EXPECT_EQ(shown.front(), 0);
    EXPECT_GT(shown.back(), 1) << "the matches lie on several pages";
    EXPECT_EQ(searches[expected].outcome, Search_outcomeEnd);
    // Going on: the pages before the start (none) hold no match, then the
    // search starts over at the first match.
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(searches.back().outcome, Search_outcomeNoMatch);
    expectReports([&] { return App_searchNext(inst); });
    EXPECT_EQ(searches.back().outcome, Search_outcomeMatch);
    EXPECT_EQ(currentPage(), 0);
    ASSERT_EQ(App_searchCancel(inst), 1);
}

} // namespace
