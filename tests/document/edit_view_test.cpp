// The selection on laid-out pages: lines, highlights, the caret bar, the
// caret rectangle and extension to a point, over test page views whose
// runs advance by the same width for every character.
#include <gtest/gtest.h>

#include "core/container/obj.h"
#include "document/edit/selection.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "tests/document/edit_fixture.h"
#include "tests/document/fake_select.h"

namespace {

using namespace edittest;

constexpr int32_t kLine = 20 << 16;
constexpr int32_t kX = 100 << 16, kY = 50 << 16;

class SelectView : public EdrFixture {
  protected:
    // One paragraph: "Hello world" laid out as "Hello " on the first line
    // and "world" on the second, followed on that line by "next line".
    void withPage(std::function<void(Edr_Doc *, std::vector<Edr_Node *> &)> fn,
                  uint32_t active = 0x606060FF)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            setUpDoc(ctx(), doc);
            FakeSelect_install(ctx(), &ops);
            std::vector<Edr_Node *> t;
            para(doc, root, {u"Hello world", u"next line"}, &t);
            static const char *const families[] = {"serif"};
            FontList *fonts = nullptr;
            ASSERT_EQ(Font_listCreate(nullptr, families, 1, 0, nullptr, &fonts), 0);
            measure = ObjTextPart{fonts, 12 << 16, 0, nullptr, 0, 0, nullptr, 0, 0};
            view = FakeView{};
            view.base.pageKey[0] = 7;
            const char16_t *a = Edr_Node_textPayload(t[0])->chars,
                           *b = Edr_Node_textPayload(t[1])->chars;
            view.runs = {run(t[0], a, 6, 0, 0), run(t[0], a + 6, 5, 0, kLine),
                         run(t[1], b, 9, 5, kLine)};
            w = Edr_Sel_measurePrefix(&view.runs[0], 1);
            ASSERT_GT(w, 0);
            // Runs now know their widths.
            view.runs = {run(t[0], a, 6, 0, 0), run(t[0], a + 6, 5, 0, kLine),
                         run(t[1], b, 9, 5, kLine)};

            Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            rec->doc = doc;
            ASSERT_EQ(Edr_Page_publishLayout(doc, 7, 0, 0, rec, 0, 0), 0);
            AppMsg_drain(ctx()->eventProc);
            Edr_PageEntry *e = nullptr;
            ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
            // The page's own view gives way to the test's.
            Edr_View_freeViews(ctx(), e->views);
            e->views = &view.base;
            static_cast<HighlightStyle *>(doc->pageList->view)->activeBorder = active;
            Edr_Page_release(e, 0);

            fn(doc, t);
            Edr_Sel_clear(doc);
            ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
            e->views = nullptr;
            Edr_Page_release(e, 0);
            Font_listRelease(fonts);
            FakeSelect_remove(ctx());
        });
    }
    LaidOutTextRun run(Edr_Node *node, const char16_t *text, uint32_t n, int32_t column,
                       int32_t top)
    {
        LaidOutTextRun r{};
        r.corners[0] = column * w;
        r.corners[1] = top;
        r.corners[2] = (column + int32_t(n)) * w;
        r.corners[3] = top + kLine;
        r.translation[0] = kX;
        r.translation[1] = kY;
        r.node = node;
        r.length = n;
        r.measure = &measure;
        r.text = text;
        return r;
    }

    ObjTextPart measure{};
    FakeView view;
    Edr_ViewOps ops{};
    int32_t w = 1;
};

TEST_F(SelectView, LineSelectsTheRunsOnTheHitLine)
{
    withPage([&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 7, 7, Edr_SelMode_line), 0);
        EXPECT_EQ(selection(doc), "\"Hello world\" \"next line\" [6,9) caret 7@\"Hello world\"");
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 2, 2, Edr_SelMode_line), 0);
        EXPECT_EQ(selection(doc), "\"Hello world\" [0,6) caret 2@\"Hello world\"");
    });
}

TEST_F(SelectView, HighlightsCoverTheSelectedPartsOfRuns)
{
    withPage([&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        // The word "world" runs on into "next " of the following node: its
        // whole run and the start of the next, in the brightened fill colour.
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 7, 7, Edr_SelMode_word), 0);
        ASSERT_EQ(view.highlights.size(), 1u);
        Rect r = view.highlights[0].bounds;
        EXPECT_EQ(r.x0, kX);
        EXPECT_EQ(r.x1, kX + 10 * w);
        EXPECT_EQ(r.y0, kY + kLine);
        EXPECT_EQ(r.y1, kY + 2 * kLine);
        EXPECT_EQ(view.highlights[0].fill, 0x808080FFu);
        // A range over two nodes: from "ld" to the end of "next".
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 9, Edr_SelMode_extendStart), 0);
        ASSERT_EQ(Edr_Sel_select(doc, t[1], 0, 4, Edr_SelMode_extend), 0);
        ASSERT_EQ(view.highlights.size(), 1u);
        r = view.highlights[0].bounds;
        EXPECT_EQ(r.x0, kX + 3 * w);
        EXPECT_EQ(r.x1, kX + 9 * w);
        // Another selection replaces the highlight; clearing removes it.
        Edr_Sel_clear(doc);
        EXPECT_TRUE(view.highlights.empty());
        EXPECT_GT(view.removals, 0);
    });
}

TEST_F(SelectView, TheCaretIsABarAFifthOfTheLineWide)
{
    withPage([&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 2, Edr_SelMode_caret), 0);
        ASSERT_EQ(view.highlights.size(), 1u);
        Rect r = view.highlights[0].bounds;
        EXPECT_EQ(r.x0, kX + 2 * w);
        EXPECT_EQ(r.x1, kX + 2 * w + kLine / 5);
        EXPECT_EQ(r.y0, kY);
        EXPECT_EQ(r.y1, kY + kLine);
        EXPECT_EQ(view.highlights[0].border, 0x808080FFu);

        Rect caret{};
        int32_t key[2] = {-1, -1};
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 8, Edr_SelMode_caret), 0);
        ASSERT_EQ(Edr_Sel_caretRect(doc, &caret, key), 0);
        EXPECT_EQ(caret.x0, kX + 2 * w);
        EXPECT_EQ(caret.x1, kX + 2 * w);
        EXPECT_EQ(caret.y0, kY + kLine);
        EXPECT_EQ(caret.y1, kY + 2 * kLine);
        EXPECT_EQ(key[0], 7);
    });
}

TEST_F(SelectView, BrightColoursClampAt255)
{
    withPage(
        [&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
            ASSERT_EQ(Edr_Sel_select(doc, t[0], 1, 1, Edr_SelMode_char), 0);
            ASSERT_EQ(view.highlights.size(), 1u);
            EXPECT_EQ(view.highlights[0].fill, 0xFF408090u);
        },
        0xF0306090);
}

TEST_F(SelectView, ExtendingToAPointFindsTheNearestRun)
{
    withPage([&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 0, Edr_SelMode_extendStart), 0);
        // Inside "world", in the leading half of its fourth character.
        EXPECT_EQ(Edr_Sel_extendToPoint(doc, kX + 3 * w + w / 4, kY + kLine + 1), 1);
        EXPECT_EQ(selection(doc), "\"Hello world\" [0,9) caret 9@\"Hello world\"");
        // In the trailing half: behind that character.
        EXPECT_EQ(Edr_Sel_extendToPoint(doc, kX + 3 * w + 3 * w / 4, kY + kLine + 1), 1);
        EXPECT_EQ(selection(doc), "\"Hello world\" [0,10) caret 10@\"Hello world\"");
        // Below and left of everything: the start of the nearest line's first run.
        EXPECT_EQ(Edr_Sel_extendToPoint(doc, 0, kY + 3 * kLine), 1);
        EXPECT_EQ(selection(doc), "\"Hello world\" [0,6) caret 6@\"Hello world\"");
        // Right of the second line: the end of "next line".
        EXPECT_EQ(Edr_Sel_extendToPoint(doc, kX + 40 * w, kY + kLine + 2), 1);
        EXPECT_EQ(selection(doc), "\"Hello world\" \"next line\" [0,9) caret 9@\"next line\"");
        Edr_Sel_clear(doc);
        EXPECT_EQ(Edr_Sel_extendToPoint(doc, 0, 0), 0);
    });
}

} // namespace
