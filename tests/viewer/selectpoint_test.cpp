// Selecting at a screen point on the running application: the point is
// taken through the display's view and page-link matrices into the shown
// page, where the laid-out run under it gives the node and the unit the
// selection is built at. Points in a margin or off the page select nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "layout/layout.h"
#include "tests/platform/app_fixture.h"
#include "viewer/docview.h"
#include "viewer/fvdisplay.h"
#include "viewer/viewer.h"

namespace {

struct LaidRun {
    Rect box; // page units
    std::u16string text;
    std::vector<int32_t> centres; // each unit's middle x, page units
};

int collectRun(LaidOutTextRun *run, void *context)
{
    auto *runs = static_cast<std::vector<LaidRun> *>(context);
    Rect box{run->corners[0] + run->translation[0], run->corners[1] + run->translation[1],
             run->corners[2] + run->translation[0], run->corners[3] + run->translation[1]};
    LaidRun r{box, std::u16string(run->text ? run->text : u"", run->text ? run->length : 0), {}};
    for (uint32_t i = 0; i < r.text.size(); i++)
        r.centres.push_back(
            box.x0 + (Edr_Sel_measurePrefix(run, i) + Edr_Sel_measurePrefix(run, i + 1)) / 2);
    runs->push_back(r);
    return 0;
}

std::string utf8(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += *s < 0x80 ? char(*s) : '?';
    return out;
}

class SelectPointTest : public AppFixture {
  protected:
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    // The laid-out runs of the shown document's first page.
    std::vector<LaidRun> runs(Edr_Doc *doc)
    {
        std::vector<LaidRun> out;
        Edr_PageEntry *e = nullptr;
        if (Edr_Page_findByIndex(&e, doc, 0, 0) != 0)
            return out;
        (void)Select_visitEntryRuns(e, nullptr, collectRun, &out);
        Edr_Page_release(e, 0);
        return out;
    }
    // The selected text, or "" with no selection.
    std::string selected(Edr_Doc *doc)
    {
        char16_t *text = nullptr;
        uint32_t caret = 0;
        if (Edr_Sel_getText(doc, &text, &caret) != 0)
            return "<error>";
        std::string s = utf8(text);
        Mem_free(text);
        return s;
    }
};

TEST_F(SelectPointTest, TheWordUnderThePointIsSelected)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/word/pieces.doc"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        FvPageView *pv = viewer()->page->pageView;
        Edr_Doc *doc = viewer()->page->document;
        std::vector<LaidRun> found = runs(doc);
        struct Case {
            const char16_t *word;
            uint32_t mode; // the view's selection mode: 1 word, 4 block
            const char *text;
        } cases[] = {
            {u"First", 1, "First"},
            {u"paragraph", 1, "paragraph"},
            {u"text", 1, "text"},
            {u"Second", 1, "Second"},
            {u"eight", 4, "First paragraph in eight-bit text"},
        };
        // The page's text in laid-out order, each unit with its run.
        std::u16string all;
        std::vector<std::pair<const LaidRun *, size_t>> where;
        for (const LaidRun &r : found)
            for (size_t i = 0; i < r.text.size(); i++) {
                all += r.text[i];
                where.push_back({&r, i});
            }
        for (const Case &c : cases) {
            size_t at = all.find(c.word);
            ASSERT_NE(at, std::u16string::npos) << c.text;
            // The middle of the word's middle character, half-way down its run.
            auto [run, i] = where[at + std::char_traits<char16_t>::length(c.word) / 2];
            Point page{run->centres[i], (run->box.y0 + run->box.y1) / 2};
            Point px{};
            ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &page, &px), 0);
            ASSERT_EQ(Edr_Fwd_selectAtPoint(pv, px.x, px.y, c.mode), 0) << c.text;
            std::string s = selected(doc);
            while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n'))
                s.pop_back();
            EXPECT_EQ(s, c.text);
            // The screen point comes back as a point of the same page,
            // within the pixel it stands for.
            Point back{}, again{};
            ASSERT_EQ(Edr_Fwd_pagePoint(pv, doc, &px, &back), 0);
            ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &back, &again), 0);
            EXPECT_NEAR(again.x, px.x, 1);
            EXPECT_NEAR(again.y, px.y, 1);
        }
    });
}

TEST_F(SelectPointTest, MarginsAndPointsOffThePageSelectNothing)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/word/pieces.doc"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        FvPageView *pv = viewer()->page->pageView;
        Edr_Doc *doc = viewer()->page->document;
        Rect shown{};
        Edr_Fwd_getViewRect(pv, &shown);
        ASSERT_GT(shown.x1 - shown.x0, 20);
        // A first selection that a miss must not leave standing.
        std::vector<LaidRun> found = runs(doc);
        ASSERT_FALSE(found.empty());
        Point page{(found[0].box.x0 + found[0].box.x1) / 2,
                   (found[0].box.y0 + found[0].box.y1) / 2};
        Point px{};
        ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &page, &px), 0);
        ASSERT_EQ(Edr_Fwd_selectAtPoint(pv, px.x, px.y, 1), 0);
        EXPECT_FALSE(selected(doc).empty());

        struct Case {
            const char *what;
            Point at;
        } cases[] = {
            {"the bottom margin", {(shown.x0 + shown.x1) / 2, shown.y1 - 2}},
            {"left of the page", {shown.x0 - 3, (shown.y0 + shown.y1) / 2}},
            {"far outside the view", {-100000, -100000}},
        };
        for (const Case &c : cases) {
            EXPECT_EQ(Edr_Fwd_selectAtPoint(pv, c.at.x, c.at.y, 1), 4356) << c.what;
            Point back{};
            bool onPage = Edr_Fwd_pagePoint(pv, doc, &c.at, &back) == 0;
            EXPECT_EQ(onPage, std::string(c.what) == "the bottom margin") << c.what;
        }
        // A mode outside the view's eight is refused before any lookup.
        EXPECT_EQ(Edr_Fwd_selectAtPoint(pv, px.x, px.y, 8), 8);
        // Another document than the one shown has no page point there.
        Edr_Doc *other = reinterpret_cast<Edr_Doc *>(uintptr_t(16));
        Point back{};
        EXPECT_NE(Edr_Fwd_pagePoint(pv, other, &px, &back), 0);
    });
}

// The selection shows on the screen: the word's pixels, mostly the page's
// white before, take the highlight's colour once it is selected.
TEST_F(SelectPointTest, TheSelectedWordIsHighlightedOnTheScreen)
{
    const int32_t geometry[11] = {0, 0, 0, 600, 800, 600, 800, 0, 0, 0x10005, 0x10000};
    Headless_setScreenGeometry(host, geometry);
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/word/pieces.doc"));
    drive([] { return false; }, 400);
    Rect word{}; // the word's pixels
    Point px{};  // the point selected at
    onAppThread([&] {
        FvPageView *pv = viewer()->page->pageView;
        Edr_Doc *doc = viewer()->page->document;
        std::vector<LaidRun> found = runs(doc);
        std::u16string all;
        std::vector<std::pair<const LaidRun *, size_t>> where;
        for (const LaidRun &r : found)
            for (size_t i = 0; i < r.text.size(); i++) {
                all += r.text[i];
                where.push_back({&r, i});
            }
        size_t at = all.find(u"Second");
        ASSERT_NE(at, std::u16string::npos);
        auto [first, i] = where[at];
        auto [last, j] = where[at + 5];
        Point a{first->centres[i], first->box.y0}, b{last->centres[j], last->box.y1}, pa{}, pb{};
        ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &a, &pa), 0);
        ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &b, &pb), 0);
        word = Rect{std::min(pa.x, pb.x), std::min(pa.y, pb.y), std::max(pa.x, pb.x),
                    std::max(pa.y, pb.y)};
        Point mid{where[at + 2].first->centres[where[at + 2].second],
                  (first->box.y0 + first->box.y1) / 2};
        ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &mid, &px), 0);
    });
    ASSERT_GT(word.x1 - word.x0, 4);
    ASSERT_GT(word.y1 - word.y0, 2);
    auto whiteIn = [&]() {
        int n = Headless_screenUpdateCount(host);
        const HeadlessScreenUpdate *u = n ? Headless_screenUpdate(host, n - 1) : nullptr;
        if (!u || !u->pixels)
            return -1;
        int white = 0;
        // View pixels count up from the bottom; the picture's rows down
        // from the top.
        for (int y = word.y0; y < word.y1; y++)
            for (int x = word.x0; x < word.x1; x++) {
                uint16_t p;
                size_t row = size_t(u->height - 1 - y);
                memcpy(&p, u->pixels + row * size_t(u->rowBytes) + size_t(x) * 2, 2);
                white += p == 0xffff;
            }
        return white;
    };
    int before = whiteIn();
    int area = (word.x1 - word.x0) * (word.y1 - word.y0);
    EXPECT_GT(before, area / 3) << "the page is white around the letters";
    int updates = Headless_screenUpdateCount(host);
    onAppThread(
        [&] { EXPECT_EQ(Edr_Fwd_selectAtPoint(viewer()->page->pageView, px.x, px.y, 1), 0); });
    drive([&] { return Headless_screenUpdateCount(host) > updates; }, 400);
    Headless_runTimers(host, 100);
    drive([] { return false; }, 100);
    int after = whiteIn();
    EXPECT_LT(after, before / 4) << "before " << before << " of " << area;
    Headless_setScreenGeometry(host, nullptr);
}

} // namespace

// Plain text and web pages are read only, but their text is selected as a
// Word document's is: a word under the point, and a drag's extension to a
// point past a line's end stops at that line's end on the shown page.
TEST_F(SelectPointTest, PlainTextAndWebPagesSelectTheirText)
{
    struct Case {
        const char *name;
        const char *bytes;
    } cases[] = {
        {"words.txt", "alpha bravo charlie\ndelta echo foxtrot\n"},
        {"words.html",
         "<html><body><p>alpha bravo charlie</p><p>delta echo foxtrot</p></body></html>"},
    };
    ASSERT_EQ(start(), 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(open(writeFile(c.name, c.bytes)));
        Headless_runTimers(host, 100);
        onAppThread([&] {
            FvPageView *pv = viewer()->page->pageView;
            Edr_Doc *doc = viewer()->page->document;
            ASSERT_TRUE(Edr_Doc_hasNodeTest(doc));
            std::vector<LaidRun> found = runs(doc);
            const LaidRun *first = nullptr;
            size_t at = std::u16string::npos;
            for (const LaidRun &r : found)
                if ((at = r.text.find(u"bravo")) != std::u16string::npos) {
                    first = &r;
                    break;
                }
            ASSERT_NE(first, nullptr);
            Point page{first->centres[at + 2], (first->box.y0 + first->box.y1) / 2};
            Point px{};
            ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &page, &px), 0);
            ASSERT_EQ(Edr_Fwd_selectAtPoint(pv, px.x, px.y, 1), 0);
            std::string s = selected(doc);
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            EXPECT_EQ(s, "bravo");
            // A caret before "bravo", extended to a point right of the
            // line's end: the rest of that line, not of the text.
            // A third of a letter's width left of the middle of the "b",
            // well inside its leading half whatever pixel it rounds to.
            Point before{first->centres[at] - (first->centres[at + 1] - first->centres[at]) / 3,
                         page.y};
            ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &before, &px), 0);
            ASSERT_EQ(Edr_Fwd_selectAtPoint(pv, px.x, px.y, 6), 0);
            Point beyond{first->box.x1 + 0x8000, page.y};
            ASSERT_EQ(Edr_Fwd_scalePoint(pv, doc, &beyond, &px), 0);
            ASSERT_EQ(Edr_Fwd_extendAtPoint(pv, px.x, px.y), 1);
            s = selected(doc);
            while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n'))
                s.pop_back();
            EXPECT_EQ(s, "bravo charlie");
        });
    }
}

// A PDF page's text is drawn, not held as text nodes: nothing under a
// point is selectable.
TEST_F(SelectPointTest, PdfTextIsNotSelectable)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(VEXLAN_FIXTURES "/pdf/gs.pdf"));
    Headless_runTimers(host, 100);
    onAppThread([&] {
        FvPageView *pv = viewer()->page->pageView;
        Edr_Doc *doc = viewer()->page->document;
        EXPECT_TRUE(runs(doc).empty());
        Rect shown{};
        Edr_Fwd_getViewRect(pv, &shown);
        EXPECT_EQ(
            Edr_Fwd_selectAtPoint(pv, (shown.x0 + shown.x1) / 2, (shown.y0 + shown.y1) / 2, 1),
            4356);
    });
}
