// Highlight records on page views: a highlight's fill and outline on one
// path, removing those of one kind with the areas they report, restyling
// the temporary ones, and the run visit of a node's text items.
#include <vector>

#include "core/container/obj.h"
#include "document/edit/selection.h"
#include "document/edr/page.h"
#include "graphics/path.h"
#include "layout/layout.h"
#include "tests/document/events_fixture.h"
#include "viewer/dispqueue.h"
#include "viewer/select/highlight.h"

namespace {

std::vector<Rect> reported;

int recordArea(EngineContext *, uint32_t, int32_t, const DispmanArea *area, int32_t, uint32_t,
               const intptr_t *)
{
    reported.push_back(area->rect);
    return 0;
}

class HighlightTest : public EdrFixture {
  protected:
    static Path *box(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
    {
        Path *p = nullptr;
        EXPECT_EQ(Path_create(&p, 0x10000), 0);
        Rect r{x0, y0, x1, y1};
        EXPECT_EQ(Path_addRect(p, &r), 0);
        return p;
    }
    static PageView viewOf(Edr_Doc *doc)
    {
        PageView v{};
        v.doc = doc;
        v.pageKey[0] = 3;
        v.pageKey[1] = 4;
        return v;
    }
    static void expectRect(const Rect &r, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
    {
        EXPECT_EQ(r.x0, x0);
        EXPECT_EQ(r.y0, y0);
        EXPECT_EQ(r.x1, x1);
        EXPECT_EQ(r.y1, y1);
    }
};

TEST_F(HighlightTest, FillAndOutlineShareOnePath)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        doc->displayHooks = Edr_DisplayHooks{ctx(), recordArea, nullptr, nullptr};
        reported.clear();
        PageView v = viewOf(doc);
        void *handle = nullptr;
        ASSERT_EQ(Select_addHighlight(ctx(), v.pageKey, &v, &handle, box(10, 20, 110, 220), nullptr,
                                      0, 0xFF0000FF, Highlight_outlineWidth, 0x400000FF, 1),
                  0);
        HighlightRecord *fill = v.highlights;
        ASSERT_NE(fill, nullptr);
        HighlightRecord *outline = fill->next;
        ASSERT_NE(outline, nullptr);
        EXPECT_EQ(handle, outline);
        EXPECT_EQ(outline->next, nullptr);
        EXPECT_EQ(fill->path, outline->path);
        EXPECT_EQ(fill->flags, uint32_t(Highlight_temporary));
        EXPECT_EQ(outline->flags, uint32_t(Highlight_temporary | Highlight_ownsPath));
        EXPECT_EQ(fill->style[0], 0);
        EXPECT_EQ(fill->style[1], 1);
        const int32_t outlineStyle[7] = {1, 0, 1820, 182000, 9100, 18200, 0};
        for (int i = 0; i < 7; i++)
            EXPECT_EQ(outline->style[i], outlineStyle[i]);
        EXPECT_EQ(fill->colour, 0x400000FFu);
        EXPECT_EQ(outline->colour, 0xFF0000FFu);
        expectRect(outline->bounds, 10, 20, 110, 220);
        ASSERT_EQ(reported.size(), 1u);
        expectRect(reported[0], 10, 20, 110, 220);

        // Border width 0: only the fill, which owns the path.
        ASSERT_EQ(Select_addHighlight(ctx(), v.pageKey, &v, nullptr, box(0, 0, 5, 5), nullptr, 0, 1,
                                      0, 2, 0),
                  0);
        HighlightRecord *lone = v.highlights;
        EXPECT_EQ(lone->next, fill);
        EXPECT_EQ(lone->flags, uint32_t(Highlight_ownsPath));
        EXPECT_EQ(lone->colour, 2u);
        Select_removeHighlights(&v, 0);
        Select_removeHighlights(&v, 1);
        EXPECT_EQ(v.highlights, nullptr);

        // Out of memory at each of the four allocations: nothing stays
        // linked and the path is freed (the fixture checks the heap).
        for (uint64_t n = 1; n <= 4; n++) {
            Path *p = box(0, 0, 5, 5);
            Mem_failAfter(n);
            EXPECT_EQ(
                Select_addHighlight(ctx(), v.pageKey, &v, nullptr, p, nullptr, 0, 1, 1820, 2, 1), 1)
                << n;
            Mem_failAfter(0);
            EXPECT_EQ(v.highlights, nullptr);
        }
    });
}

TEST_F(HighlightTest, RemovingOneKindKeepsTheOthersInOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        doc->displayHooks = Edr_DisplayHooks{ctx(), recordArea, nullptr, nullptr};
        PageView v = viewOf(doc);
        // From the head: lasting A, temporary B (fill, outline), lasting C.
        ASSERT_EQ(Select_addHighlight(ctx(), v.pageKey, &v, nullptr, box(0, 0, 10, 10), nullptr, 0,
                                      1, 0, 1, 0),
                  0);
        ASSERT_EQ(Select_addHighlight(ctx(), v.pageKey, &v, nullptr, box(100, 100, 200, 150),
                                      nullptr, 0, 2, 1820, 2, 1),
                  0);
        ASSERT_EQ(Select_addHighlight(ctx(), v.pageKey, &v, nullptr, box(50, 0, 60, 10), nullptr, 0,
                                      3, 0, 3, 0),
                  0);
        v.highlights->origin[0] = 7; // C is shown moved
        HighlightRecord *c = v.highlights;
        HighlightRecord *a = c->next->next->next;
        reported.clear();
        Select_removeHighlights(&v, 1);
        ASSERT_EQ(v.highlights, c);
        ASSERT_EQ(c->next, a);
        EXPECT_EQ(a->next, nullptr);
        // Each removed record reports its bounds grown by 1820.
        ASSERT_EQ(reported.size(), 2u);
        for (const Rect &r : reported)
            expectRect(r, 100 - 1820, 100 - 1820, 200 + 1820, 150 + 1820);
        reported.clear();
        Select_removeHighlights(&v, 0);
        EXPECT_EQ(v.highlights, nullptr);
        ASSERT_EQ(reported.size(), 2u);
        expectRect(reported[0], 57 - 1820, -1820, 67 + 1820, 10 + 1820);
    });
}

TEST_F(HighlightTest, RestyleChoosesColoursByKindAndStyle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        doc->displayHooks = Edr_DisplayHooks{ctx(), recordArea, nullptr, nullptr};
        PageView group = viewOf(doc);
        group.kind = PageView_group;
        PageView leaf = viewOf(doc);
        group.firstChild = &leaf;
        ASSERT_EQ(Select_addHighlight(ctx(), leaf.pageKey, &leaf, nullptr, box(0, 0, 10, 10),
                                      nullptr, 0, 1, 1820, 1, 1),
                  0);
        ASSERT_EQ(Select_addHighlight(ctx(), leaf.pageKey, &leaf, nullptr, box(20, 0, 30, 10),
                                      nullptr, 0, 9, 0, 9, 0),
                  0);
        const HighlightColours colours{0x11, 0x22, 0x33, 0x44};
        uint32_t border = 0, fill = 0;
        Select_pickColours(&border, &fill, &colours, 0);
        EXPECT_EQ(border, 0x11u);
        EXPECT_EQ(fill, 0x22u);
        Select_pickColours(&border, &fill, &colours, 2);
        EXPECT_EQ(border, 0x33u);
        EXPECT_EQ(fill, 0x44u);
        reported.clear();
        Select_restyleHighlights(&group, &colours, 1);
        HighlightRecord *lasting = leaf.highlights;
        EXPECT_EQ(lasting->colour, 9u) << "lasting records keep their colour";
        EXPECT_EQ(lasting->next->colour, 0x44u);       // the temporary fill
        EXPECT_EQ(lasting->next->next->colour, 0x33u); // its outline
        ASSERT_EQ(reported.size(), 1u);
        expectRect(reported[0], 0, 0, 10, 10);
        // A view of another kind is left alone.
        PageView odd = viewOf(doc);
        odd.kind = 2;
        odd.highlights = leaf.highlights;
        reported.clear();
        Select_restyleHighlights(&odd, &colours, 0);
        EXPECT_TRUE(reported.empty());
        Select_removeHighlights(&leaf, 0);
        Select_removeHighlights(&leaf, 1);
    });
}

TEST_F(HighlightTest, RunsOfANodeAcrossTheViewChain)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        static constexpr ObjClass textClass{nullptr, int32_t(sizeof(ObjTextPart)), nullptr,
                                            Obj_itemText};
        Edr_Node *t = makeText(doc, root, u"hello");
        ObjHeader *items[2];
        for (int i = 0; i < 2; i++) {
            items[i] = Obj_create(&textClass, 0);
            items[i]->node = t;
            Rect r{0, i * 20, 50, i * 20 + 12};
            Obj_setBox(items[i], &r);
            auto *part = static_cast<ObjTextPart *>(Obj_part(items[i]));
            part->chars = Edr_Node_textPayload(t)->chars;
            part->start = uint32_t(i * 2);
            part->count = 2;
        }
        PageView second = viewOf(doc);
        second.items = items[1];
        second.origin[1] = 100;
        PageView first = viewOf(doc);
        first.items = items[0];
        first.next = &second;
        std::vector<std::pair<int32_t, char16_t>> seen;
        auto visit = [](LaidOutTextRun *run, void *context) {
            static_cast<std::vector<std::pair<int32_t, char16_t>> *>(context)->push_back(
                {run->corners[1] + run->translation[1], run->text[0]});
            return 0;
        };
        ASSERT_EQ(Select_visitViewNodes(&first, t, visit, &seen, nullptr, 0), 0);
        ASSERT_EQ(seen.size(), 1u);
        ASSERT_EQ(Select_visitViewNodes(&first, t, visit, &seen, nullptr, 1), 0);
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[2].first, 120);
        EXPECT_EQ(seen[2].second, u'l');
        Edr_Page_freeObjects(items[0]);
        Edr_Page_freeObjects(items[1]);
        Edr_Node_release(doc, t);
    });
}

} // namespace
