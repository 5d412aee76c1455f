// The display manager's context: start-up with its settings, buffers,
// listeners, hooks and three updaters, and a tear-down that gives every
// block back; a second start, an unallocatable page buffer and every
// failing allocation of start-up; the busy count and the updaters it
// wakes; and the producers of requests.
#include <gtest/gtest.h>

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/page.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/dispqueue.h"

namespace {

using DispmanTest = DispmanFixture;

int32_t taskCount(Scheduler *s)
{
    int32_t n = 0;
    for (Task *t = s->taskList; t; t = t->nextTask)
        if (!(t->flags & Task_ended))
            n++;
    return n;
}

TEST_F(DispmanTest, StartsWithItsSettingsAndThreeUpdatersAndStopsClean)
{
    int32_t before = taskCount(sched());
    set("RendererQualityUi", u"7");
    start();
    DispmanCtx *d = dm();
    EXPECT_EQ(d->context, ctx());
    EXPECT_EQ(d->pageBandSize, 71680u);
    EXPECT_EQ(d->thumbBandSize, 12288u);
    EXPECT_NE(d->pageBandMemory, nullptr);
    EXPECT_NE(d->thumbBandMemory, nullptr);
    EXPECT_NE(d->renderBuffers, nullptr);
    EXPECT_EQ(d->pageBorder, 32);
    const int32_t quality[] = {15, 15, 15, 15, 7, 10};
    const int32_t cost[] = {0, 377, 993, 237, 65536, 2, 379, 1000};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(d->quality[i], quality[i]) << i;
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(d->cost[i], cost[i]) << i;
    EXPECT_EQ(d->redrawMode, 0x10001);
    EXPECT_EQ(d->maxHqInterrupts, 8u);
    EXPECT_EQ(d->thumbnailsEnabled, 1u);
    EXPECT_EQ(d->renderingEnabled, 1u);
    EXPECT_EQ(d->keepHqAlive, 1u);
    EXPECT_EQ(d->interruptAllowed, 1u);
    EXPECT_EQ(d->thumbLockOnClear, 1u);
    // A key read for the first time takes its default into the store.
    run([&] {
        EXPECT_EQ(Config_getIntA(ctx(), store, nullptr, "DispmanPageBorderWidth", 99), 32u);
    });

    // Three updaters with their names and priorities, each waiting.
    EXPECT_EQ(taskCount(sched()), before + 3);
    EXPECT_STREQ(d->quickUpdater->name, "DispMan_quickUpdater");
    EXPECT_STREQ(d->hqUpdater->name, "DispMan_hqUpdater");
    EXPECT_STREQ(d->thumbUpdater->name, "DispMan_tnUpdater");
    EXPECT_EQ(Task_getPriority(d->quickUpdater), 3);
    EXPECT_EQ(Task_getPriority(d->hqUpdater), 1);
    EXPECT_EQ(Task_getPriority(d->thumbUpdater), 0);
    EXPECT_TRUE(waiting(d->quickUpdater) && waiting(d->hqUpdater) && waiting(d->thumbUpdater));

    // The priority switch of the high-quality updater.
    run([&] {
        Dispman_setHqPriority(ctx(), 0);
        EXPECT_EQ(Task_getPriority(dm()->hqUpdater), 3);
        Dispman_setHqPriority(ctx(), 1);
        EXPECT_EQ(Task_getPriority(dm()->hqUpdater), 1);
    });

    // Documents made now copy the display hooks.
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        EXPECT_EQ(doc->displayHooks.argument, ctx());
        EXPECT_EQ(doc->displayHooks.areaChanged, &Dispman_queueArea);
        EXPECT_EQ(doc->displayHooks.objectChanged, &Dispman_queueObjectRedraw);
        EXPECT_NE(doc->displayHooks.thumbnail, nullptr);
        Edr_Doc_release(doc);
    });

    // The engine's stop step, then the free step: the updaters end, the
    // hooks go, and the fixture sees every block back.
    run([&] {
        Dispman_stopUpdaters(ctx());
        EXPECT_EQ(dm()->quickUpdater, nullptr);
        EXPECT_EQ(dm()->hqUpdater, nullptr);
        EXPECT_EQ(dm()->thumbUpdater, nullptr);
        Dispman_stopUpdaters(ctx()); // twice is harmless
        Dispman_free(ctx());
    });
    EXPECT_EQ(ctx()->dispman, nullptr);
    EXPECT_EQ(ctx()->edrApp->displayHooks.areaChanged, nullptr);
    EXPECT_EQ(taskCount(sched()), before);
}

TEST_F(DispmanTest, ASecondStartChangesNothing)
{
    start();
    DispmanCtx *first = dm();
    void *band = first->pageBandMemory;
    run([&] { EXPECT_EQ(Dispman_init(ctx()), 0); });
    EXPECT_EQ(dm(), first);
    EXPECT_EQ(dm()->pageBandMemory, band);
}

TEST_F(DispmanTest, AnUnallocatablePageBufferLeavesNoContext)
{
    set("DispmanPageBufferSize", u"4000000000");
    run([&] { EXPECT_EQ(Dispman_init(ctx()), Res_noMemory); });
    EXPECT_EQ(ctx()->dispman, nullptr);
    EXPECT_EQ(ctx()->edrApp->displayHooks.areaChanged, nullptr);
}

// Fault injection: each allocation of start-up fails in turn; every
// failure leaves no context, no updater and no block behind.
TEST_F(DispmanTest, EveryFailedAllocationOfStartUpIsUndone)
{
    int32_t before = taskCount(sched());
    size_t used = TestHeap_usedBytes();
    int result = -1;
    for (uint64_t n = 1; n < 200 && result != 0; n++) {
        run([&] {
            Mem_failAfter(n);
            result = Dispman_init(ctx());
            Mem_failAfter(0);
        });
        if (result == 0)
            break;
        EXPECT_EQ(result, Res_noMemory) << n;
        EXPECT_EQ(ctx()->dispman, nullptr) << n;
        EXPECT_EQ(taskCount(sched()), before) << n;
        EXPECT_EQ(TestHeap_usedBytes(), used) << n;
    }
    EXPECT_EQ(result, 0);
}

TEST_F(DispmanTest, BusyMessagesHoldTheThumbnailUpdater)
{
    start();
    run([&] {
        busy();
        busy();
        code(15);
        EXPECT_EQ(dm()->busyCount, 1);
        EXPECT_TRUE(waiting(dm()->thumbUpdater));
        EXPECT_FALSE(waiting(dm()->quickUpdater));
    });
    run([&] {
        EXPECT_TRUE(waiting(dm()->quickUpdater));
        code(16);
        EXPECT_EQ(dm()->busyCount, 0);
        EXPECT_FALSE(waiting(dm()->thumbUpdater));
        EXPECT_FALSE(waiting(dm()->quickUpdater));
    });
    // The count never goes below 0, and both updaters are woken.
    run([&] {
        code(15);
        EXPECT_EQ(dm()->busyCount, 0);
        EXPECT_FALSE(waiting(dm()->thumbUpdater));
        EXPECT_FALSE(waiting(dm()->quickUpdater));
    });
}

TEST_F(DispmanTest, LoadMessagesRememberTheDocumentAndReachTheListener)
{
    start();
    Edr_Doc *doc = nullptr;
    run([&] {
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        // Through the event processor: the listener is registered.
        EventProcCodeMsg m{15, doc, nullptr, 0};
        ASSERT_EQ(EventProc_postPlainCode(ctx()->eventProc, &m), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(dm()->markAllDoc, doc);
        dm()->failedDoc = doc;
        code(7, nullptr); // other codes change nothing
        EXPECT_EQ(dm()->markAllDoc, doc);
        code(0);
        EXPECT_EQ(dm()->markAllDoc, nullptr);
        EXPECT_EQ(dm()->failedDoc, nullptr);
        // Code 14 for the awaited document posts the completion.
        dm()->awaited = doc;
        code(14, nullptr);
        uint32_t count = 9;
        EXPECT_EQ(Sem_getCount(&dm()->completion, &count), 0);
        EXPECT_EQ(count, 0u);
        code(14, doc);
        EXPECT_EQ(Sem_getCount(&dm()->completion, &count), 0);
        EXPECT_EQ(count, 1u);
        Sem_wait(&dm()->completion);
        dm()->awaited = nullptr;
        Edr_Doc_release(doc);
    });
}

// ------------------------------------------------------------ producers

TEST_F(DispmanTest, ProducersQueueAndWakeTheQuickUpdater)
{
    start();
    run([&] {
        DispmanQueue *q = &dm()->queue;
        DispmanView *view = reinterpret_cast<DispmanView *>(0x100);
        // Mode 2 is refused, and the updater is still woken.
        EXPECT_EQ(Dispman_queueRedraw(ctx(), 2, 2, view), Res_dispmanBadMode);
        EXPECT_FALSE(waiting(dm()->quickUpdater));
        EXPECT_EQ(q->incoming.count, 0);
        // An empty rectangle queues nothing.
        DispmanRedrawArg arg{view, {5, 5, 5, 10}};
        EXPECT_EQ(Dispman_queueRedraw(ctx(), 2, 0, &arg), 0);
        arg.rect = {0, 9, 10, 3};
        EXPECT_EQ(Dispman_queueRedraw(ctx(), 2, 0, &arg), 0);
        EXPECT_EQ(q->incoming.count, 0);
        arg.rect = {1, 2, 3, 4};
        EXPECT_EQ(Dispman_queueRedraw(ctx(), 4, 0, &arg), 0);
        ASSERT_EQ(q->incoming.count, 1);
        const DispmanRequest &r = q->incoming.entries[0];
        EXPECT_EQ(r.kind, 0u);
        EXPECT_EQ(r.subCode, 4u);
        EXPECT_EQ(r.report, 1u);
        EXPECT_EQ(r.interrupt, 1u);
        EXPECT_EQ(r.redraw.view, view);
        EXPECT_EQ(r.redraw.rect.x1, 3);
    });
    // The quick updater took the batch and dropped what no view took.
    EXPECT_EQ(dm()->queue.incoming.count, 0);
    EXPECT_TRUE(waiting(dm()->quickUpdater));
}

TEST_F(DispmanTest, PageProducersHoldAndGiveBackViewReferences)
{
    start();
    Edr_Doc *doc = nullptr, *other = nullptr;
    run([&] {
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &other, nullptr), 0);
        DispmanQueue *q = &dm()->queue;
        DispmanView *view = reinterpret_cast<DispmanView *>(0x100);
        Edr_Node *node = reinterpret_cast<Edr_Node *>(0x200);
        // A pan step of no distance queues nothing; an end always queues.
        EXPECT_EQ(Dispman_queuePan(ctx(), 2, view, doc, 1, 0, node, 0, 0), 0);
        EXPECT_EQ(q->incoming.count, 0);
        EXPECT_EQ(doc->viewCount, 0u);
        EXPECT_EQ(Dispman_queuePan(ctx(), 3, view, doc, 1, 0, node, 0, 0), 0);
        EXPECT_EQ(Dispman_queuePan(ctx(), 4, view, doc, 1, 0, node, 3, 0), 0);
        ASSERT_EQ(q->incoming.count, 2);
        EXPECT_EQ(q->incoming.entries[0].subCode, 6u);
        EXPECT_EQ(q->incoming.entries[1].subCode, 7u);
        EXPECT_EQ(q->incoming.lastPan, 1);
        EXPECT_EQ(Dispman_queueZoom(ctx(), 11, view, doc, 1, 0, node, 0x20000, 4, 5), 0);
        EXPECT_EQ(q->incoming.lastZoom, 2);
        EXPECT_EQ(Dispman_queueKind4(ctx(), 4, view, doc, 1, 0, node, 7, 8), 0);
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), 2, view, doc, 1, 0, node, other, 3, 0), 0);
        EXPECT_EQ(doc->viewCount, 5u);
        EXPECT_EQ(other->viewCount, 1u);
        // A failed push gives the references back.
        while (q->incoming.count < q->incoming.capacity)
            ASSERT_EQ(Dispman_queueKind4(ctx(), 4, view, doc, 1, 0, node, 7, 8), 0);
        uint32_t held = doc->viewCount;
        Mem_failAfter(1);
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), 2, view, doc, 1, 0, node, other, 3, 0),
                  Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(doc->viewCount, held);
        EXPECT_EQ(other->viewCount, 1u);
    });
    // The quick updater discarded the whole batch: every reference is back.
    EXPECT_EQ(doc->viewCount, 0u);
    EXPECT_EQ(other->viewCount, 0u);
    run([&] {
        Edr_Doc_release(doc);
        Edr_Doc_release(other);
    });
}

TEST_F(DispmanTest, AreaAndObjectHooks)
{
    start();
    Edr_Doc *doc = nullptr;
    run([&] {
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        rec->bounds[1] = -(20 << 16);
        rec->bounds[2] = 30 << 16;
        ASSERT_EQ(Edr_Page_publishLayout(doc, 4, 0, 0, rec, 0, 1), 0);
        DispmanQueue *q = &dm()->queue;
        const intptr_t progress[4] = {1, 2, 3, 4};
        // Mode 1 takes the page's rectangle; an absent page queues nothing.
        DispmanArea a{doc, 4, 0, {0, 0, 0, 0}, 0};
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 1, &a, 0, 0, progress), 0);
        ASSERT_EQ(q->incoming.count, 1);
        const DispmanRequest &r = q->incoming.entries[0];
        EXPECT_EQ(r.kind, 1u);
        EXPECT_EQ(r.interrupt, 0u);
        EXPECT_EQ(r.progress[3], 4);
        EXPECT_EQ(r.area.rect.y0, -(20 << 16));
        EXPECT_EQ(r.area.rect.x1, 30 << 16);
        a.pageKey = 5;
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 1, &a, 0, 0, nullptr), 0);
        EXPECT_EQ(q->incoming.count, 1);
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 2, &a, 0, 0, nullptr), Res_dispmanBadMode);
        // Mode 0: an empty area queues nothing.
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 0, &a, 0, 1, nullptr), 0);
        EXPECT_EQ(q->incoming.count, 1);
        a.rect = {0, 0, 5, 5};
        // With the thumbnail flag the page's thumbnail is told; an absent
        // page answers the page list's error.
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 0, &a, 1, 1, nullptr), Edr_Page_noSuchPage);
        a.pageKey = 4;
        EXPECT_EQ(Dispman_queueArea(ctx(), 3, 0, &a, 1, 1, nullptr), 0);
        EXPECT_EQ(q->incoming.count, 3);
        // The object hook: kind 6, sub-code 13.
        EXPECT_EQ(Dispman_queueObjectRedraw(ctx(), &a, 0, progress), 0);
        ASSERT_EQ(q->incoming.count, 4);
        EXPECT_EQ(q->incoming.entries[3].kind, 6u);
        EXPECT_EQ(q->incoming.entries[3].subCode, 13u);
        EXPECT_EQ(q->incoming.entries[3].progress[0], 1);
        // Layout's change reports reach the queue through the document's
        // hook.
        ViewChangeReport report{doc, 4, 0, {1, 2, 3, 4}};
        EXPECT_EQ(View_invalidateRect(&report, 0, 0), 0);
        EXPECT_EQ(q->incoming.count, 5);
        Edr_Doc_release(doc);
    });
}

} // namespace
