// The focus calls of a document's view on synthetic page views: giving,
// asking for and clearing the focus with the node events each sends,
// stepping and activating it, the pointer notifications, the item under a
// point, the walks over page views, the change reports and the focus
// reference given back at tear-down.
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "tests/document/events_fixture.h"
#include "viewer/dispman.h"
#include "viewer/dispqueue.h"
#include "viewer/focuscalls.h"
#include "viewer/focusnav.h"
#include "viewer/select/focus.h"
#include "viewer/select/highlight.h"

namespace {

// What reached the application's processor as kind-2 messages.
struct Notice {
    int32_t type;
    void *subject;
    void *object;
    intptr_t x, y;
};

void listenNotices(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    auto *seen = static_cast<std::vector<Notice> *>(context);
    if (msg->kind != 2)
        return;
    auto *m = static_cast<EventProcKind2Msg *>(msg->payload);
    seen->push_back({m->type, m->subject, m->object, reinterpret_cast<intptr_t>(m->detail[0]),
                     reinterpret_cast<intptr_t>(m->detail[1])});
}

// The display hooks' calls, and whether the document's hook lock was free
// in each (the thumbnail hook a hook may tell takes it).
bool hookLockHeld = false;
struct HookCall {
    int kind; // 0 area, 1 object
    uint32_t subCode;
    int32_t mode;
    DispmanArea area;
    int32_t thumbnails;
    uint32_t interrupt;
    intptr_t progress[4];
};
std::vector<HookCall> hookCalls;

int areaHook(EngineContext *, uint32_t subCode, int32_t mode, const DispmanArea *area,
             int32_t thumbnails, uint32_t interrupt, const intptr_t *progress)
{
    hookLockHeld |= area->document->hookLock.owner != nullptr;
    HookCall c{0, subCode, mode, *area, thumbnails, interrupt, {}};
    for (int i = 0; i < 4; i++)
        c.progress[i] = progress ? progress[i] : -1;
    hookCalls.push_back(c);
    return 0;
}

int objectHook(EngineContext *, const DispmanArea *area, int32_t mode, const intptr_t *progress)
{
    hookLockHeld |= area->document->hookLock.owner != nullptr;
    HookCall c{1, 0, mode, *area, 0, 0, {}};
    c.progress[0] = progress ? 1 : 0;
    hookCalls.push_back(c);
    return 0;
}

class FocusCallsTest : public EdrFixture {
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
    // Publishes page key 5 with items as its content and hangs the view on
    // its entry.
    static void showView(Edr_Doc *doc, PageView *view, ObjHeader *items)
    {
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        rec->objects = items;
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
        Select_removeHighlights(e->views, 0);
        Select_removeHighlights(e->views, 1);
        e->views = nullptr;
        Edr_Page_release(e, 0);
    }
    static HighlightStyle *styleOf(Edr_Doc *doc)
    {
        return static_cast<HighlightStyle *>(doc->pageList->view);
    }
    void settle(Edr_Doc *doc)
    {
        for (int i = 0; i < 3; i++) {
            AppMsg_drain(doc->events);
            AppMsg_drain(ctx()->eventProc);
        }
    }
    static Edr_Node *link(Edr_Doc *doc, Edr_Node *root)
    {
        Edr_Node *l = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        setUrl(doc, l, u"http://a.example/");
        return l;
    }
    static Edr_Node *focused(Edr_Doc *doc)
    {
        Edr_Node *node = nullptr;
        ObjHeader *part = nullptr;
        int32_t kind = 0;
        EXPECT_EQ(View_focusedNode(doc, &node, &part, &kind), 0);
        if (node)
            Edr_Node_release(doc, node);
        return node;
    }
};

TEST_F(FocusCallsTest, GiveAskAndClearTheFocus)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        EventSpy spy;
        spy.attach(ctx(), doc);
        Edr_Node *a = link(doc, root);
        Edr_Node *b = link(doc, root);
        Edr_Node *plain = makeGroup(doc, root, Edr_Insert_lastChild, 6);
        Edr_Node *unshown = link(doc, root);
        PageView view{};
        view.doc = doc;
        view.origin[0] = 1000;
        view.items =
            item(a, 0, 0, 100, 50, item(b, 0, 100, 100, 150, item(plain, 0, 200, 100, 250)));
        showView(doc, &view, view.items);
        const uint32_t refA = Edr_Node_refCount(a);

        // Nothing focused: clearing sends nothing, asking gives nothing.
        ASSERT_EQ(View_clearFocus(doc), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "");
        EXPECT_EQ(focused(doc), nullptr);
        int32_t entry = 9, rect[4] = {9, 9, 9, 9}, kind = 9;
        Edr_Doc *nodeDoc = nullptr;
        Edr_Node *node = nullptr;
        ObjHeader *part = nullptr;
        ASSERT_EQ(View_focusInfo(doc, &entry, rect, &nodeDoc, &node, &part, &kind), 0);
        EXPECT_EQ(entry, -1);
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(nodeDoc, nullptr);

        // Giving: the mouse-over and focus events, the node held once.
        ASSERT_EQ(View_giveFocus(doc, a, 0, 0), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "2:16 4:8");
        EXPECT_EQ(focused(doc), a);
        EXPECT_EQ(Edr_Node_refCount(a), refA + 1);
        ASSERT_EQ(View_focusInfo(doc, &entry, rect, &nodeDoc, &node, &part, &kind), 0);
        EXPECT_EQ(entry, 0);
        EXPECT_EQ(node, a);
        EXPECT_EQ(nodeDoc, doc);
        EXPECT_EQ(kind, 0);
        const int32_t shown[4] = {1000, 0, 1100, 50};
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(rect[i], shown[i]) << "the reported area inset by 1820";
        Edr_Node_release(doc, node);
        Edr_Doc_release(nodeDoc);

        // The same focus again is nothing unless forced; a new kind is a
        // change.
        spy.seen.clear();
        ASSERT_EQ(View_giveFocus(doc, a, 0, 0), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "");
        ASSERT_EQ(View_giveFocus(doc, a, 1, 0), 0);
        ASSERT_EQ(View_giveFocus(doc, a, 0, 1), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "2:16 4:8 2:16 4:8");
        EXPECT_EQ(Edr_Node_refCount(a), refA + 1) << "one reference however often given";
        EXPECT_EQ(view.highlights->colour, styleOf(doc)->activeFill);

        // A node that cannot take the focus, and one no view shows.
        spy.seen.clear();
        ASSERT_EQ(View_giveFocus(doc, plain, 1, 0), 0);
        EXPECT_EQ(View_giveFocus(doc, unshown, 1, 0), Select_notShown);
        settle(doc);
        EXPECT_EQ(spy.joined(), "");
        EXPECT_EQ(focused(doc), nullptr) << "the failed focus let the old one go";

        // Clearing: mouse-out, blur and the focus-change notice.
        ASSERT_EQ(View_giveFocus(doc, b, 0, 0), 0);
        settle(doc);
        spy.seen.clear();
        ASSERT_EQ(View_clearFocus(doc), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "2:19 4:9 3:29");
        EXPECT_EQ(focused(doc), nullptr);
        EXPECT_EQ(Edr_Node_refCount(a), refA);
        EXPECT_EQ(Edr_Node_refCount(b), refA);
        EXPECT_EQ(view.highlights, nullptr);

        // The highlight rectangle of a node leaves the focus alone.
        ASSERT_EQ(View_highlightRect(doc, b, rect), 0);
        EXPECT_EQ(rect[1], 100 - 1820);
        EXPECT_EQ(rect[3], 150 + 1820);
        EXPECT_EQ(View_highlightRect(doc, unshown, rect), Select_notShown);
        EXPECT_EQ(focused(doc), nullptr);

        // Setting the focus through the selection code: mode 2 tells of a
        // moved focus once.
        spy.seen.clear();
        ASSERT_EQ(View_setFocusNode(doc, a, 2, 0), 0);
        ASSERT_EQ(View_setFocusNode(doc, a, 2, 0), 0);
        ASSERT_EQ(View_setFocusNode(doc, b, 0, 0), 0);
        settle(doc);
        EXPECT_EQ(spy.joined(), "3:28");
        EXPECT_EQ(focused(doc), b);
        ASSERT_EQ(View_clearFocus(doc), 0);
        settle(doc);

        hideView(doc);
        for (Edr_Node *n : {a, b, plain, unshown})
            Edr_Node_release(doc, n);
    });
}

TEST_F(FocusCallsTest, StepTheFocusThroughTheCallback)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *links[3];
        for (Edr_Node *&l : links)
            l = link(doc, root);
        // Three links in a row.
        ObjHeader *items = item(links[0], 0, 0, 10, 10,
                                item(links[1], 40, 0, 50, 10, item(links[2], 80, 0, 90, 10)));
        PageView view{};
        view.doc = doc;
        view.items = items;
        showView(doc, &view, items);

        struct Offers {
            std::vector<Edr_Node *> nodes;
            std::vector<int32_t> x0;
            int answerAt; // the index of the offer to accept; others are skipped
            int other;    // when non-zero, answered to the first offer instead
        };
        auto offer = [](Edr_Doc *, Edr_Node *node, const int32_t rect[4], uint32_t,
                        void *argument) -> int {
            Offers *o = static_cast<Offers *>(argument);
            o->nodes.push_back(node);
            o->x0.push_back(rect[0]);
            if (o->other)
                return o->other;
            return int(o->nodes.size()) - 1 == o->answerAt ? ViewStep_accept : ViewStep_skip;
        };

        // Every candidate skipped: the step ends, nothing is focused.
        Offers skipAll{{}, {}, -1, 0};
        ASSERT_EQ(View_stepFocus(doc, 0, offer, &skipAll), 0);
        ASSERT_EQ(skipAll.nodes.size(), 3u);
        EXPECT_EQ(skipAll.nodes[0], links[0]) << "nothing focused: the first focusable first";
        EXPECT_EQ(skipAll.nodes[2], links[2]);
        EXPECT_EQ(skipAll.x0[1], 40) << "the rectangle without the highlight's margin";
        EXPECT_EQ(focused(doc), nullptr);

        // The second offer accepted.
        Offers second{{}, {}, 1, 0};
        ASSERT_EQ(View_stepFocus(doc, 0, offer, &second), 0);
        EXPECT_EQ(focused(doc), links[1]);
        // From the focus rightwards, skipping everything: the focus stays.
        Offers skip{{}, {}, -1, 0};
        ASSERT_EQ(View_stepFocus(doc, 0, offer, &skip), 0);
        ASSERT_EQ(skip.nodes.size(), 1u);
        EXPECT_EQ(skip.nodes[0], links[2]);
        EXPECT_EQ(focused(doc), links[1]);
        // Any other answer ends the step with it.
        Offers stop{{}, {}, -1, 7};
        EXPECT_EQ(View_stepFocus(doc, 0x800, offer, &stop), 7);
        ASSERT_EQ(stop.nodes.size(), 1u);
        EXPECT_EQ(stop.nodes[0], links[0]) << "leftwards";
        EXPECT_EQ(focused(doc), links[1]);
        // Without a callback the first candidate is taken.
        ASSERT_EQ(View_stepFocus(doc, 0, nullptr, nullptr), 0);
        EXPECT_EQ(focused(doc), links[2]);

        // Activation: the focused link.
        Edr_Node *target = nullptr;
        int32_t what = -1;
        ASSERT_EQ(View_activateFocus(doc, &target, &what), 0);
        EXPECT_EQ(what, int32_t(ViewActivate_link));
        EXPECT_EQ(target, links[2]);
        Edr_Node_release(doc, target);
        ASSERT_EQ(View_clearFocus(doc), 0);
        settle(doc);
        ASSERT_EQ(View_activateFocus(doc, &target, &what), 0);
        EXPECT_EQ(what, int32_t(ViewActivate_none));
        EXPECT_EQ(target, nullptr);

        for (Edr_Node *l : links)
            EXPECT_EQ(Edr_Node_refCount(l), 1u) << "every candidate's reference came back";
        hideView(doc);
        for (Edr_Node *l : links)
            Edr_Node_release(doc, l);
    });
}

TEST_F(FocusCallsTest, PointerEventsBecomeFocusNotifications)
{
    std::vector<Notice> seen;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 2, listenNotices, &seen), 0);
        Edr_Node *a = link(doc, root);
        const struct {
            int32_t code;
            std::vector<int32_t> types;
            bool point;
        } cases[] = {
            {16, {12, 13}, false}, {17, {14}, false}, {32, {15}, true},
            {33, {18}, true},      {5, {}, false},
        };
        for (const auto &c : cases) {
            seen.clear();
            ViewPointerEvent ev{c.code, a, 70, -3};
            ASSERT_EQ(View_notifyPointer(doc, &ev), 0);
            AppMsg_drain(ctx()->eventProc);
            ASSERT_EQ(seen.size(), c.types.size()) << c.code;
            for (size_t i = 0; i < seen.size(); i++) {
                EXPECT_EQ(seen[i].type, c.types[i]);
                EXPECT_EQ(seen[i].subject, doc);
                EXPECT_EQ(seen[i].object, c.point ? nullptr : a);
                EXPECT_EQ(seen[i].x, c.point ? 70 : 0);
                EXPECT_EQ(seen[i].y, c.point ? -3 : 0);
            }
        }
        EXPECT_EQ(Edr_Node_refCount(a), 1u);
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 2, listenNotices, &seen), 0);
        Edr_Node_release(doc, a);
    });
}

TEST_F(FocusCallsTest, ItemUnderAPoint)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = link(doc, root);
        ObjHeader *low = item(a, 0, 0, 100, 100);
        ObjHeader *top = item(a, 50, 50, 150, 150);
        ObjHeader *hidden = item(a, 60, 60, 70, 70);
        hidden->flags |= Obj_hidden;
        Obj_setNext(low, top);
        Obj_setNext(top, hidden);
        const struct {
            int32_t x, y;
            ObjHeader *want;
        } cases[] = {{10, 10, low},   {60, 60, top},       {65, 65, top},
                     {149, 149, top}, {150, 150, nullptr}, {-1, 0, nullptr}};
        for (const auto &c : cases) {
            ObjHeader *out = reinterpret_cast<ObjHeader *>(1);
            ASSERT_EQ(View_itemAtPoint(low, 0, 0, c.x, c.y, &out), 0);
            EXPECT_EQ(out, c.want) << c.x << "," << c.y;
        }
        // Through a page entry's view, moved by its origin.
        PageView view{};
        view.doc = doc;
        view.origin[0] = 1000;
        view.items = low;
        showView(doc, &view, low);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
        ObjHeader *out = nullptr;
        ASSERT_EQ(View_pageItemAtPoint(e, 1010, 10, &out), 0);
        EXPECT_EQ(out, low);
        ASSERT_EQ(View_pageItemAtPoint(e, 10, 10, &out), 0);
        EXPECT_EQ(out, nullptr);
        Edr_Page_release(e, 0);
        hideView(doc);
        Edr_Node_release(doc, a);
    });
}

TEST_F(FocusCallsTest, NearestFocusableByDirection)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *near = link(doc, root);
        Edr_Node *far = link(doc, root);
        Edr_Node *behind = link(doc, root);
        ObjHeader *items =
            item(far, 300, 0, 310, 10, item(near, 100, 0, 110, 10, item(behind, -100, 0, -90, 10)));
        PageView view{};
        view.doc = doc;
        view.items = items;
        showView(doc, &view, items);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, doc, 0, 0), 0);
        FocusScoreRecord record{};
        // The candidates inside the area score by their distance from its
        // leading edge; the one behind scores after every such one.
        record.flags = FocusDir_right;
        record.focus = Rect{0, 0, 10, 10};
        record.area = Rect{10, -1000, 100000, 1000};
        Edr_Node *found = nullptr;
        ASSERT_EQ(View_nearestFocusable(doc, e, &record, &found), 0);
        EXPECT_EQ(found, near);
        Edr_Node_release(doc, found);
        record.flags = FocusDir_left;
        record.area = Rect{-100000, -1000, -10, 1000};
        ASSERT_EQ(View_nearestFocusable(doc, e, &record, &found), 0);
        EXPECT_EQ(found, behind);
        Edr_Node_release(doc, found);
        Edr_Page_release(e, 0);
        hideView(doc);
        for (Edr_Node *n : {near, far, behind})
            Edr_Node_release(doc, n);
    });
}

TEST_F(FocusCallsTest, WalksVisitEveryItemAndStop)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = link(doc, root);
        // A group view holding two leaves, then a leaf after the group.
        PageView leaf1{}, leaf2{}, group{}, after{};
        leaf1.items = item(a, 0, 0, 1, 1, item(a, 1, 0, 2, 1));
        leaf2.items = item(a, 2, 0, 3, 1);
        after.items = item(a, 3, 0, 4, 1);
        leaf1.next = &leaf2;
        group.kind = PageView_group;
        group.firstChild = &leaf1;
        group.next = &after;
        struct Seen {
            std::vector<int32_t> x0;
            int stopAt;
            int answer;
        };
        auto visit = [](ObjHeader *o, void *argument, PageView *, uint32_t *stop) -> int {
            Seen *s = static_cast<Seen *>(argument);
            s->x0.push_back(Obj_box(o).x0);
            if (int(s->x0.size()) == s->stopAt) {
                if (s->answer)
                    return s->answer;
                *stop |= 1;
            }
            return 0;
        };
        Seen all{{}, 0, 0};
        uint32_t stop = 0;
        ASSERT_EQ(Select_walkView(&group, visit, &all, &stop), 0);
        EXPECT_EQ(all.x0, (std::vector<int32_t>{0, 1, 2, 3}));
        EXPECT_EQ(stop & 1, 0u);
        Seen stopped{{}, 2, 0};
        ASSERT_EQ(Select_walkView(&group, visit, &stopped, &stop), 0);
        EXPECT_EQ(stopped.x0.size(), 2u);
        EXPECT_EQ(stop & 1, 1u);
        Seen deleted{{}, 1, Select_deletedNode};
        ASSERT_EQ(Select_walkView(&group, visit, &deleted, &stop), 0);
        EXPECT_EQ(deleted.x0.size(), 4u) << "1551 is passed over";
        Seen failed{{}, 3, 77};
        EXPECT_EQ(Select_walkView(&group, visit, &failed, &stop), 77);
        EXPECT_EQ(failed.x0.size(), 3u);
        EXPECT_EQ(stop & 1, 1u);
        for (PageView *v : {&leaf1, &leaf2, &after})
            Edr_Page_freeObjects(v->items);
        Edr_Node_release(doc, a);
    });
}

TEST_F(FocusCallsTest, ChangeReportsReachTheHooks)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        hookCalls.clear();
        ViewChangeReport report{doc, 4, 2, {1, 2, 3, 4}};
        // Without hooks nothing is called.
        EXPECT_EQ(View_invalidateRect(&report, 1, 0), 0);
        EXPECT_EQ(View_reportAreas(&report), 0);
        EXPECT_TRUE(hookCalls.empty());
        EXPECT_NE(View_invalidateRect(nullptr, 0, 0), 0);

        doc->displayHooks = Edr_DisplayHooks{ctx(), areaHook, objectHook, nullptr};
        EXPECT_EQ(View_invalidateRect(&report, 1, 0), 0);
        EXPECT_EQ(View_reportAreas(&report), 0);
        ASSERT_EQ(hookCalls.size(), 2u);
        EXPECT_FALSE(hookLockHeld) << "the hooks run with the hook lock free";
        const HookCall &area = hookCalls[0];
        EXPECT_EQ(area.kind, 0);
        EXPECT_EQ(area.subCode, 3u);
        EXPECT_EQ(area.mode, 0);
        EXPECT_EQ(area.area.document, doc);
        EXPECT_EQ(area.area.pageKey, 4);
        EXPECT_EQ(area.area.pageKind, 2u);
        EXPECT_EQ(area.area.rect.x1, 3);
        EXPECT_EQ(area.thumbnails, 1);
        EXPECT_EQ(area.interrupt, 0u);
        EXPECT_EQ(area.progress[0], 1);
        EXPECT_EQ(area.progress[1] | area.progress[2], 0);
        EXPECT_EQ(hookCalls[1].kind, 1);
        EXPECT_EQ(hookCalls[1].mode, 0);
        EXPECT_EQ(hookCalls[1].progress[0], 0);
        EXPECT_EQ(hookCalls[1].area.rect.y1, 4);
        // The object hook alone is not enough.
        hookCalls.clear();
        doc->displayHooks = Edr_DisplayHooks{ctx(), nullptr, objectHook, nullptr};
        EXPECT_EQ(View_reportAreas(&report), 0);
        EXPECT_TRUE(hookCalls.empty());

        // A node's box found in the views and reported; nothing for a node
        // not shown.
        doc->displayHooks = Edr_DisplayHooks{ctx(), areaHook, objectHook, nullptr};
        Edr_Node *a = link(doc, root);
        Edr_Node *unshown = link(doc, root);
        PageView view{};
        view.doc = doc;
        view.origin[1] = 500;
        view.items = item(a, 10, 20, 30, 40);
        showView(doc, &view, view.items);
        ViewChangeReport node{doc, 7, 0, {}};
        EXPECT_EQ(Select_invalidateNode(&node, doc, unshown, 0, 1), 0);
        EXPECT_TRUE(hookCalls.empty());
        EXPECT_EQ(Select_invalidateNode(&node, doc, a, 0, 1), 0);
        ASSERT_EQ(hookCalls.size(), 1u);
        EXPECT_EQ(hookCalls[0].area.pageKey, 7);
        EXPECT_EQ(hookCalls[0].area.rect.y0, 520);
        EXPECT_EQ(hookCalls[0].area.rect.x1, 30);
        EXPECT_EQ(hookCalls[0].interrupt, 1u);
        doc->displayHooks = Edr_DisplayHooks{};
        hideView(doc);
        Edr_Node_release(doc, a);
        Edr_Node_release(doc, unshown);
    });
}

TEST_F(FocusCallsTest, SubDocumentRectangleFromTheViews)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *holder = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *unshown = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        PageView view{};
        view.doc = doc;
        view.origin[0] = 100;
        view.items = item(holder, 10, 20, 30, 40, item(holder, 0, 50, 5, 60));
        showView(doc, &view, view.items);
        int32_t out[4] = {9, 9, 9, 9};
        Edr_Doc_readLock(doc);
        ASSERT_EQ(View_focusHitTest(doc, holder, out, nullptr), 0);
        const int32_t want[4] = {100, 20, 130, 60};
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(out[i], want[i]);
        ASSERT_EQ(View_focusHitTest(doc, unshown, out, nullptr), 0);
        EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0) << "not shown: where the parent is";
        Edr_Doc_readUnlock(doc);
        hideView(doc);
        Edr_Node_release(doc, holder);
        Edr_Node_release(doc, unshown);
    });
}

TEST_F(FocusCallsTest, FocusInfoDescendsIntoAnEmbeddedDocument)
{
    run([&] {
        Edr_Doc *parent = nullptr, *child = nullptr;
        Edr_Node *parentRoot = nullptr, *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &parent, &parentRoot), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, &childRoot), 0);
        Edr_Node *host = nullptr;
        ASSERT_EQ(Edr_Node_createSubdoc(parent, parentRoot, Edr_Insert_lastChild, &host, child,
                                        nullptr, 0, 0),
                  0);
        Edr_Node *inner = link(child, childRoot);
        // The host node is shown at (1000, 2000) in the parent; the link at
        // (10, 20)-(30, 40) in the child.
        PageView outerView{}, innerView{};
        outerView.doc = parent;
        outerView.items = item(host, 1000, 2000, 1100, 2100);
        showView(parent, &outerView, outerView.items);
        innerView.doc = child;
        innerView.items = item(inner, 10, 20, 30, 40);
        showView(child, &innerView, innerView.items);

        int32_t entry = -1, rect[4], kind = 0;
        Edr_Doc *nodeDoc = nullptr;
        Edr_Node *node = nullptr;
        ObjHeader *part = nullptr;
        // The host focused in the parent, nothing in the child: the host.
        Edr_Doc_readLock(parent);
        ASSERT_EQ(Select_setFocus(ctx(), parent, styleOf(parent), host, nullptr, 0,
                                  Select_focusMake, nullptr),
                  0);
        for (int i = 0; i < 4; i++)
            styleOf(parent)->reported.rect[i] = styleOf(parent)->focusRect[i];
        Edr_Doc_readUnlock(parent);
        ASSERT_EQ(View_focusInfo(parent, &entry, rect, &nodeDoc, &node, &part, &kind), 0);
        EXPECT_EQ(node, host);
        EXPECT_EQ(nodeDoc, parent);
        EXPECT_EQ(rect[0], 1000);
        Edr_Node_release(nodeDoc, node);
        Edr_Doc_release(nodeDoc);

        // The link focused in the child: its focus, moved by the host's
        // place.
        ASSERT_EQ(View_giveFocus(child, inner, 0, 1), 0);
        settle(child);
        ASSERT_EQ(View_focusInfo(parent, &entry, rect, &nodeDoc, &node, &part, &kind), 0);
        EXPECT_EQ(node, inner);
        EXPECT_EQ(nodeDoc, child);
        EXPECT_EQ(kind, 1);
        const int32_t want[4] = {1010, 2020, 1030, 2040};
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(rect[i], want[i]);
        Edr_Node_release(nodeDoc, node);
        Edr_Doc_release(nodeDoc);

        ASSERT_EQ(View_clearFocus(child), 0);
        settle(child);
        Edr_Doc_readLock(parent);
        ASSERT_EQ(Select_setFocus(ctx(), parent, styleOf(parent), nullptr, nullptr, 0,
                                  Select_focusMake, nullptr),
                  0);
        Edr_Doc_readUnlock(parent);
        EXPECT_EQ(Edr_Node_refCount(inner), 1u);
        hideView(parent);
        hideView(child);
        Edr_Node_release(child, inner);
        Edr_Node_release(parent, host);
        Edr_Doc_release(parent);
        Edr_Doc_release(child);
    });
}

TEST_F(FocusCallsTest, DrawingHoldsTheCurrentViewLock)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        View_lockCurrent(doc, 0);
        EXPECT_NE(styleOf(doc)->lock.owner, nullptr);
        View_unlockCurrent(doc, 0);
        EXPECT_EQ(styleOf(doc)->lock.owner, nullptr);
        View_lockCurrent(nullptr, 0); // nothing to lock
        View_unlockCurrent(nullptr, 0);
    });
}

TEST_F(FocusCallsTest, TearDownGivesTheFocusReferenceBack)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = link(doc, root);
        PageView view{};
        view.doc = doc;
        view.items = item(a, 0, 0, 10, 10);
        showView(doc, &view, view.items);
        ASSERT_EQ(View_giveFocus(doc, a, 0, 0), 0);
        settle(doc);
        EXPECT_EQ(Edr_Node_refCount(a), 2u);
        View_releaseFocus(styleOf(doc), doc);
        EXPECT_EQ(Edr_Node_refCount(a), 1u);
        EXPECT_EQ(styleOf(doc)->focusNode, nullptr);
        View_releaseFocus(styleOf(doc), doc); // nothing left to give back
        EXPECT_EQ(Edr_Node_refCount(a), 1u);
        // A focus still held when the document goes is given back by the
        // tear-down (the sanitizer build sees a misused node).
        ASSERT_EQ(View_giveFocus(doc, a, 1, 0), 0);
        settle(doc);
        hideView(doc);
        Edr_Node_release(doc, a);
    });
}

} // namespace
