// Document animation: scroll boxes on the tick (by hand and on the timer
// thread with the hand-driven clock), image clocks of a document, and the
// listener lists of animation records.
#include <cstdint>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/timerq.h"
#include "document/edr/page.h"
#include "tests/document/edr_fixture.h"
#include "viewer/anim/anim.h"
#include "viewer/docview.h"

namespace {

const ObjItemOps noOps = {nullptr, nullptr, nullptr};
const ObjClass plainClass = {&noOps, 0, nullptr, Obj_itemPlain};

class AnimTest : public EdrFixture {
  protected:
    // A document with one published page whose first entry shows view.
    void withScrollingPage(std::function<void(Edr_Doc *)> fn)
    {
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            rec->doc = doc;
            ASSERT_EQ(Edr_Page_publishLayout(doc, 1, 0, 0, rec, 0, 1), 0);
            Edr_PageEntry *first = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc));
            ASSERT_NE(first, nullptr);
            item = Obj_create(&plainClass, 0);
            view.items = item;
            view.scrollBox = &box;
            // The page's own view gives way to the test's.
            Select_freeViews(first->views);
            first->views = &view;
            fn(doc);
            first->views = nullptr;
            Obj_destroy(item);
            Edr_Doc_release(doc);
        });
    }
    // Runs n ticks by hand; the ticks at which the items moved.
    std::vector<int> ticks(Edr_Doc *doc, int n)
    {
        std::vector<int> moved;
        for (int i = 0; i < n; i++) {
            int32_t before[2] = {item->origin[0], item->origin[1]};
            AnimRectList list{};
            EXPECT_EQ(Anim_collectDirtyRects(doc, &list), 0);
            if (before[0] != item->origin[0] || before[1] != item->origin[1]) {
                moved.push_back(i);
                EXPECT_EQ(list.count, 1);
            }
            Mem_free(list.rects);
        }
        return moved;
    }

    PageView view = [] {
        PageView v{};
        v.pageKey[0] = 1;
        v.box[2] = 96 << 16;
        v.box[3] = 20 << 16;
        return v;
    }();
    ScrollBox box{};
    ObjHeader *item = nullptr;
};

TEST_F(AnimTest, DelayOf100MovesAtTicks2_5And7)
{
    withScrollingPage([&](Edr_Doc *doc) {
        box = ScrollBox{ScrollBox_round, 0, 6, 100, 0};
        Anim_setupScrollBox(&view, 48 << 16, 20 << 16);
        EXPECT_EQ(box.step, 6 * 65536 / 96);
        EXPECT_EQ(box.stepsPerPass, ((96 << 16) + (48 << 16)) / box.step);
        EXPECT_EQ(box.totalSteps, 0);         // endless
        EXPECT_EQ(item->origin[0], 96 << 16); // starts beyond the right edge
        EXPECT_EQ(ticks(doc, 11), (std::vector<int>{2, 5, 7, 10}));
        EXPECT_EQ(item->origin[0], (96 << 16) - 4 * box.step);
    });
}

TEST_F(AnimTest, SetUpCases)
{
    struct Case {
        int32_t behaviour, direction, amount, delay, loops;
        int32_t delayAfter, stepsPerPass, totalSteps, stepsDone, startX, startY;
    } cases[] = {
        // amount 0: never moves, finished at once
        {ScrollBox_round, 0, 0, 100, 0, 100, 0, 1, 1, 96 << 16, 0},
        // a delay below 60 becomes 60
        {ScrollBox_round, 0, 96, 20, 1, 60, 144, 144, 0, 96 << 16, 0},
        // loops 2 of a round pass: twice the pass
        {ScrollBox_round, 1, 96, 80, 2, 80, 144, 288, 0, -(48 << 16), 0},
        // alternate: the difference of box and content
        {ScrollBox_alternate, 0, 96, 80, 3, 80, 48, 144, 0, 48 << 16, 0},
        // slide in once, vertical: the step is negative, items move down
        {ScrollBox_slideIn, 2, 96, 80, 5, 80, 20, 20, 0, 0, -(20 << 16)},
        {ScrollBox_alternate, 3, 96, 80, 1, 80, 10, 10, 0, 0, 0},
    };
    for (const Case &c : cases) {
        withScrollingPage([&](Edr_Doc *) {
            box = ScrollBox{c.behaviour, c.direction, c.amount, c.delay, c.loops};
            Anim_setupScrollBox(&view, 48 << 16, 30 << 16);
            EXPECT_EQ(box.delay, c.delayAfter) << c.behaviour << c.direction;
            EXPECT_EQ(box.stepsPerPass, c.stepsPerPass) << c.behaviour << c.direction;
            EXPECT_EQ(box.stepsDone, c.stepsDone);
            EXPECT_EQ(item->origin[0], c.startX);
            EXPECT_EQ(item->origin[1], c.startY);
            EXPECT_EQ(box.totalSteps, c.totalSteps);
            EXPECT_EQ(box.step,
                      c.direction < 2 || c.amount == 0 ? box.step : -(c.amount * 65536 / 96));
        });
    }
}

TEST_F(AnimTest, AmountZeroNeverMoves)
{
    withScrollingPage([&](Edr_Doc *doc) {
        box = ScrollBox{ScrollBox_round, 0, 0, 60, 0};
        Anim_setupScrollBox(&view, 48 << 16, 20 << 16);
        int32_t x = item->origin[0];
        EXPECT_TRUE(ticks(doc, 20).empty());
        EXPECT_EQ(item->origin[0], x);
    });
}

TEST_F(AnimTest, TwoLoopsStopAfterTwoPassesAndJumpBackAtEachPassEnd)
{
    withScrollingPage([&](Edr_Doc *doc) {
        view.box[2] = 2 << 16; // a box two steps wide, content one step
        box = ScrollBox{ScrollBox_round, 0, 96, 60, 2};
        Anim_setupScrollBox(&view, 1 << 16, 1 << 16);
        ASSERT_EQ(box.stepsPerPass, 3);
        ASSERT_EQ(box.totalSteps, 6);
        int32_t start = item->origin[0];
        std::vector<int32_t> xs;
        for (int i = 0; i < 40; i++) {
            int32_t x = item->origin[0];
            AnimRectList list{};
            ASSERT_EQ(Anim_collectDirtyRects(doc, &list), 0);
            Mem_free(list.rects);
            if (item->origin[0] != x)
                xs.push_back((item->origin[0] - start) >> 16);
        }
        EXPECT_EQ(xs, (std::vector<int32_t>{-1, -2, 0, -1, -2, 0}));
        EXPECT_EQ(box.stepsDone, 6);
    });
}

TEST_F(AnimTest, TheTickRunsOnTheTimerThreadUntilCancelled)
{
    run([&] { ASSERT_EQ(TimerQ_startThread(ctx(), ctx()->eventProc), 0); });
    withScrollingPage([&](Edr_Doc *doc) {
        box = ScrollBox{ScrollBox_round, 0, 6, 100, 0};
        Anim_setupScrollBox(&view, 48 << 16, 20 << 16);
        EXPECT_EQ(Anim_restartTick(doc), 0);
        HighlightStyle *record = static_cast<HighlightStyle *>(doc->pageList->view);
        EXPECT_NE(record->tickTimer, 0u);
        int32_t start = item->origin[0];
        // Three ticks (counts 0, 1, 2): the third is the first due one.
        for (int i = 0; i < 3; i++) {
            advance(42);
            TimerQ_runDue(ctx(), &ctx()->eventProc->timers, AlienTimer_readClock(e.instance));
        }
        EXPECT_EQ(item->origin[0], start - box.step);
        EXPECT_EQ(record->tickCount, 3u);
        Anim_cancelTick(doc);
        EXPECT_EQ(record->tickTimer, 0u);
        EXPECT_EQ(record->tickCount, 0u);
        advance(500);
        TimerQ_runDue(ctx(), &ctx()->eventProc->timers, AlienTimer_readClock(e.instance));
        EXPECT_EQ(item->origin[0], start - box.step);
        // Without a scroll box the restart queues nothing.
        view.scrollBox = nullptr;
        EXPECT_EQ(Anim_restartTick(doc), 0);
        EXPECT_EQ(record->tickTimer, 0u);
    });
    run([&] { EXPECT_EQ(TimerQ_stopThread(ctx(), ctx()->eventProc), 0); });
}

TEST_F(AnimTest, StartingADocumentWithoutClockedImagesChangesNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        EXPECT_EQ(Anim_startDocument(doc), 0);
        EXPECT_EQ(Anim_stopDocument(doc), 0);
    });
    run([&] {
        EXPECT_EQ(Anim_startDocImage(nullptr), 0);
        EXPECT_EQ(Anim_pauseDocImage(nullptr), 0);
    });
}

TEST(AnimListeners, HoldsAddUpAndAttachingTwiceChangesNothing)
{
    AnimListenerList list{};
    AnimRecord a, b;
    Anim_initRecord(&a, 1, 2);
    Anim_initRecord(&b, 3, 4);
    EXPECT_EQ(a.next, &a); // detached
    Anim_attachListener(&list, &a);
    Anim_holdListeners(&list);
    Anim_holdListeners(&list);
    EXPECT_EQ(a.holds, 2);
    Anim_attachListener(&list, &b);
    EXPECT_EQ(b.holds, 2);
    Anim_attachListener(&list, &b);
    EXPECT_EQ(b.holds, 2);
    EXPECT_EQ(list.head, &b);
    EXPECT_EQ(b.next, &a);
    Anim_releaseListeners(&list);
    EXPECT_EQ(a.holds, 1);
    EXPECT_EQ(b.holds, 1);
    EXPECT_EQ(list.holds, 1);

    // Search: a colour transform that is not the identity, and the flag.
    a.colourTransform[4] = 10;
    b.flag = 1;
    AnimListenerQuery coloured{1, 0}, flagged{0, 1}, plain{0, 0};
    EXPECT_EQ(Anim_findListener(&list, &coloured), &a);
    EXPECT_EQ(Anim_findListener(&list, &flagged), &b);
    EXPECT_EQ(Anim_findListener(&list, &plain), nullptr);

    // A callback may detach its own record; the walk goes on to the next.
    struct Walk {
        AnimListenerList *list;
        std::vector<AnimRecord *> seen;
    } walk{&list, {}};
    auto detachEach = [](void *arg, AnimRecord *r) {
        Walk *w = static_cast<Walk *>(arg);
        w->seen.push_back(r);
        Anim_detachListener(w->list, r);
        return 0;
    };
    EXPECT_EQ(Anim_forEachListener(&list, detachEach, &walk), 0);
    EXPECT_EQ(walk.seen, (std::vector<AnimRecord *>{&b, &a}));
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(a.next, &a);
    EXPECT_EQ(b.next, &b);
    // A detached record is detached once.
    Anim_detachListener(&list, &a);
    EXPECT_EQ(list.head, nullptr);
    // The first non-zero answer ends the walk.
    Anim_attachListener(&list, &a);
    Anim_attachListener(&list, &b);
    auto stopAtFirst = [](void *, AnimRecord *) { return 7; };
    EXPECT_EQ(Anim_forEachListener(&list, stopAtFirst, nullptr), 7);
}

} // namespace
