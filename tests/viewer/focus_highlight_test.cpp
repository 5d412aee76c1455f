// The focus highlight: the default colours of a document's highlight
// style, setting, replacing and measuring the focus on synthetic page
// views, the focus part's connected boxes, and where a node is shown.
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "fonts/fontdata.h"
#include "tests/document/events_fixture.h"
#include "viewer/select/focus.h"
#include "viewer/select/highlight.h"
#include "viewer/view.h"

namespace {

class FocusHighlightTest : public EdrFixture {
  protected:
    static constexpr ObjClass plainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr,
                                         Obj_itemPlain};

    static ObjHeader *item(Edr_Node *node, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                           ObjHeader *next = nullptr)
    {
        ObjHeader *o = Obj_create(&plainClass, 0);
        o->node = node;
        Rect r{x0, y0, x1, y1};
        Obj_setBox(o, &r);
        Obj_setNext(o, next);
        return o;
    }
    // Publishes page key 5 and hangs the view on its entry.
    static void showView(Edr_Doc *doc, PageView *view)
    {
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        ASSERT_EQ(Edr_Page_publishLayout(doc, 5, 0, 0, rec, 0, 0), 0);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
        // The page's own view gives way to the test's.
        Select_freeViews(e->views);
        e->views = view;
        Edr_Page_release(e, 0);
    }
    static void hideView(Edr_Doc *doc)
    {
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
        e->views = nullptr;
        Edr_Page_release(e, 0);
    }
    static HighlightStyle *styleOf(Edr_Doc *doc)
    {
        return static_cast<HighlightStyle *>(doc->pageList->view);
    }
    static int count(const PageView &v, uint32_t temporary)
    {
        int n = 0;
        for (HighlightRecord *r = v.highlights; r; r = r->next)
            n += (r->flags & Highlight_temporary) == temporary;
        return n;
    }
};

TEST_F(FocusHighlightTest, DefaultColoursWithoutSettings)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        const HighlightStyle *s = styleOf(doc);
        uint32_t lime = 0, black = 0;
        Pixel_namedColour(&lime, 6);
        Pixel_namedColour(&black, 0);
        EXPECT_EQ(s->focusBorder, lime);
        EXPECT_EQ(s->focusFill, ((lime & 0xFEFEFEu) >> 1) | 0x40000000u);
        EXPECT_EQ(s->activeBorder, black);
        EXPECT_EQ(s->activeFill, ((black & 0xFEFEFEu) >> 1) | 0x40000000u);
        EXPECT_EQ(s->windowFirst, -1);
        EXPECT_EQ(s->windowLast, -1);
        EXPECT_EQ(s->focusNode, nullptr);
    });
}

TEST_F(FocusHighlightTest, SetReplaceMeasureAndNotShown)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        Edr_Node *b = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        Edr_Node *hidden = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        PageView view{};
        view.doc = doc;
        view.pageKey[0] = 5;
        view.origin[1] = 1000;
        view.items = item(a, 0, 0, 100, 50, item(b, 0, 100, 100, 150));
        showView(doc, &view);
        HighlightStyle *s = styleOf(doc);
        const uint32_t refA = Edr_Node_refCount(a), refB = Edr_Node_refCount(b);

        // A node no view shows.
        int32_t rect[4] = {1, 1, 1, 1};
        EXPECT_EQ(Select_setFocus(ctx(), doc, s, hidden, nullptr, 0, Select_focusMake, rect),
                  Select_notShown);
        EXPECT_EQ(s->focusNode, nullptr);
        EXPECT_EQ(view.highlights, nullptr);
        EXPECT_EQ(rect[0] | rect[1] | rect[2] | rect[3], 0);

        ASSERT_EQ(Select_setFocus(ctx(), doc, s, a, nullptr, 0, Select_focusMake, rect), 0);
        EXPECT_EQ(s->focusNode, a);
        EXPECT_EQ(Edr_Node_refCount(a), refA + 1);
        EXPECT_EQ(s->focusEntry, 0);
        const int32_t grownA[4] = {-1820, 1000 - 1820, 100 + 1820, 1050 + 1820};
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(rect[i], grownA[i]);
            EXPECT_EQ(s->focusRect[i], grownA[i]);
        }
        EXPECT_EQ(count(view, Highlight_temporary), 2) << "fill and outline";
        EXPECT_EQ(view.highlights->colour, s->focusFill);
        // A lasting highlight of b (mode 1) keeps the focus.
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, b, nullptr, 1, Select_focusLasting, nullptr), 0);
        EXPECT_EQ(s->focusNode, a);
        EXPECT_EQ(count(view, 0), 2);
        EXPECT_EQ(view.highlights->colour, s->activeFill) << "kind 1 draws in the active colours";
        // Measuring changes nothing.
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, b, nullptr, 0, Select_focusMeasure, rect), 0);
        EXPECT_EQ(rect[1], 1100 - 1820);
        EXPECT_EQ(s->focusNode, a);
        EXPECT_EQ(count(view, Highlight_temporary), 2);

        // A second focus removes the first's highlights and reference.
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, b, nullptr, 0, Select_focusMake, rect), 0);
        EXPECT_EQ(s->focusNode, b);
        EXPECT_EQ(Edr_Node_refCount(a), refA);
        EXPECT_EQ(Edr_Node_refCount(b), refB + 1);
        EXPECT_EQ(count(view, Highlight_temporary), 2);
        EXPECT_EQ(count(view, 0), 2);
        // No node: the focus goes.
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, nullptr, nullptr, 0, Select_focusMake, nullptr),
                  0);
        EXPECT_EQ(s->focusNode, nullptr);
        EXPECT_EQ(Edr_Node_refCount(b), refB);
        EXPECT_EQ(count(view, Highlight_temporary), 0);

        // Where the nodes are shown.
        int32_t index = 7;
        EXPECT_EQ(Select_findFocusAt(s->pages, hidden, rect, &index), 0);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(Select_findFocusAt(s->pages, b, rect, &index), 0);
        EXPECT_EQ(index, 0);
        const int32_t boxB[4] = {0, 1100, 100, 1150};
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(rect[i], boxB[i]);

        // The same box in pixels at 96 per inch: 65536 units are an inch.
        int32_t px = 9, py = 9, pw = 9, ph = 9;
        ASSERT_EQ(Select_nodeRectPixels(doc, hidden, &px, &py, &pw, &ph), 0);
        EXPECT_EQ(px | py | pw | ph, 0);
        view.items->origin[0] = 65536; // a moved by an inch
        ASSERT_EQ(Select_nodeRectPixels(doc, a, &px, &py, &pw, &ph), 0);
        EXPECT_EQ(px, 96);
        EXPECT_EQ(py, (-1050 * 96 + 32768) / 65536) << "y from -y1";
        EXPECT_EQ(pw, (100 * 96 + 32768) / 65536);
        EXPECT_EQ(ph, (50 * 96 + 32768) / 65536);

        Select_removeHighlights(&view, 0);
        hideView(doc);
        Edr_Page_freeObjects(view.items);
        for (Edr_Node *n : {a, b, hidden})
            Edr_Node_release(doc, n);
    });
}

TEST_F(FocusHighlightTest, FocusPartKeepsOnlyItsConnectedBoxes)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *link = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        // Two overlapping lines of one link, and a far piece of it.
        ObjHeader *far = item(link, 0, 5000, 100, 5050);
        ObjHeader *second = item(link, 0, 60, 80, 110, far);
        ObjHeader *first = item(link, 50, 0, 200, 50, second);
        PageView view{};
        view.doc = doc;
        view.items = first;
        showView(doc, &view);
        HighlightStyle *s = styleOf(doc);
        int32_t rect[4];
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, link, first, 0, Select_focusMeasure, rect), 0);
        EXPECT_EQ(rect[0], -1820);
        EXPECT_EQ(rect[1], -1820);
        EXPECT_EQ(rect[2], 200 + 1820);
        EXPECT_EQ(rect[3], 110 + 1820) << "the far piece is not connected";
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, link, far, 0, Select_focusMeasure, rect), 0);
        EXPECT_EQ(rect[1], 5000 - 1820);
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, link, nullptr, 0, Select_focusMeasure, rect), 0);
        EXPECT_EQ(rect[3], 5050 + 1820) << "without a part every box counts";
        hideView(doc);
        Edr_Page_freeObjects(first);
        Edr_Node_release(doc, link);
    });
}

TEST_F(FocusHighlightTest, KeysStepTheFocusOnASyntheticPage)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *links[4];
        for (Edr_Node *&l : links) {
            l = makeGroup(doc, root, Edr_Insert_lastChild, 5);
            setUrl(doc, l, u"http://a.example/");
        }
        // Three links in a row, and one below the first.
        ObjHeader *items = item(links[0], 0, 0, 10, 10,
                                item(links[1], 40, 0, 50, 10,
                                     item(links[2], 80, 0, 90, 10, item(links[3], 0, 40, 10, 50))));
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        rec->objects = items;
        ASSERT_EQ(Edr_Page_publishLayout(doc, 5, 0, 0, rec, 0, 0), 0);
        PageView view{};
        view.doc = doc;
        view.items = items;
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
        // The page's own view gives way to the test's.
        Select_freeViews(e->views);
        e->views = &view;
        Edr_Page_release(e, 0);

        FvView fv{};
        fv.doc = doc;
        HighlightStyle *s = styleOf(doc);
        auto step = [&](int32_t direction) -> Edr_Node * {
            void *object = nullptr;
            FvArea *area = nullptr;
            EXPECT_EQ(Fv_findFocusInDirection(&fv, nullptr, direction, &object, &area), 0);
            if (!object)
                return nullptr;
            FvArea *shown = nullptr;
            EXPECT_EQ(Fv_moveFocus(&fv, nullptr, object, &shown), 0);
            EXPECT_EQ(shown, &s->reported);
            return static_cast<Edr_Node *>(object);
        };
        EXPECT_EQ(step(3), links[0]) << "nothing focused: the first focusable";
        EXPECT_EQ(step(3), links[1]);
        EXPECT_EQ(step(3), links[2]);
        EXPECT_EQ(step(3), nullptr);
        EXPECT_EQ(s->focusNode, links[2]) << "the focus stays";
        EXPECT_EQ(step(4), links[1]);
        EXPECT_EQ(step(2), links[3]);
        EXPECT_EQ(step(1), links[0]);
        EXPECT_EQ(step(7), nullptr) << "not a direction";
        const uint32_t refs = Edr_Node_refCount(links[0]);
        ASSERT_EQ(Select_setFocus(ctx(), doc, s, nullptr, nullptr, 0, Select_focusMake, nullptr),
                  0);
        EXPECT_EQ(Edr_Node_refCount(links[0]), refs - 1);
        hideView(doc);
        for (Edr_Node *l : links)
            Edr_Node_release(doc, l);
    });
}

} // namespace
