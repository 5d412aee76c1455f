// The event processor: delivery by kind through the "emptyEventProcessor"
// job, kind slots, the merge rule, removal of listeners, stop and drain,
// inline mode, and what the message constructors take and give back.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/worker.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "platform/vfs/hosthooks.h"
#include "tests/support/task_fixture.h"

namespace {

class EventProcTest : public TaskFixture {
  protected:
    struct Ear {
        EventProcTest *test;
        std::string name;
        std::function<void(EventProcMsg *, int *)> body;
        int calls = 0;
        std::string taskName;
    };

    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(Worker_initPool(ctx()), 0);
        ASSERT_EQ(AppMsg_createDispatcher(ctx(), &proc), 0);
        // Two documents for the merge rule, not started.
        run([this] {
            ASSERT_EQ(Edr_Doc_create(ctx(), &A, nullptr), 0);
            ASSERT_EQ(Edr_Doc_create(ctx(), &B, nullptr), 0);
            ASSERT_EQ(Edr_Doc_clearStartFlag(A), 0);
            ASSERT_EQ(Edr_Doc_clearStartFlag(B), 0);
        });
    }
    void TearDown() override
    {
        run([this] {
            Edr_Doc_release(A);
            Edr_Doc_release(B);
            AppMsg_destroyDispatcher(proc);
            Worker_shutdownPool(ctx());
        });
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }

    void run(std::function<void()> fn, int32_t priority = 3)
    {
        Task_detach(spawn("driver", priority, std::move(fn)));
        TestEngine_runAll(&e);
    }

    Ear *ear(const std::string &name, std::function<void(EventProcMsg *, int *)> body = nullptr)
    {
        ears.push_back(Ear{this, name, std::move(body)});
        return &ears.back();
    }
    static void heard(EngineContext *c, EventProcMsg *msg, void *arg, int *remove)
    {
        Ear *ear = static_cast<Ear *>(arg);
        EXPECT_EQ(c, ear->test->ctx());
        ear->calls++;
        ear->taskName = Task_current(c)->name;
        std::string what = ear->name + ":" + std::to_string(msg->kind);
        if (msg->kind == 1)
            what += "/" + std::to_string(static_cast<EventProcCodeMsg *>(msg->payload)->code);
        ear->test->log(what);
        if (ear->body)
            ear->body(msg, remove);
    }
    // From a task.
    int code(int32_t c, Edr_Doc *doc = nullptr)
    {
        EventProcCodeMsg m{c, doc, nullptr, 0};
        return EventProc_postCode(proc, &m);
    }
    int queued()
    {
        int n = 0;
        for (EventProcNode *q = proc->queue; q; q = q->next)
            n++;
        return n;
    }

    EventProc *proc = nullptr;
    std::deque<Ear> ears;
    Edr_Doc *A = nullptr;
    Edr_Doc *B = nullptr;
};

TEST_F(EventProcTest, ListenersHearTheirKindInOrderOnTheDeliveryJob)
{
    Ear *one = ear("one"), *two = ear("two"), *other = ear("other");
    run([&] {
        ASSERT_EQ(EventProc_addListener(ctx(), proc, 1, heard, one), 0);
        ASSERT_EQ(EventProc_addListener(ctx(), proc, 2, heard, other), 0);
        ASSERT_EQ(EventProc_addListener(ctx(), proc, 1, heard, two), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 12, heard, two), Res_missingArgument);
        EXPECT_EQ(code(7), 0);
        EventProcKind2Msg k2{9, nullptr, nullptr, {nullptr, nullptr}};
        EXPECT_EQ(EventProc_postKind2(proc, &k2), 0);
        EXPECT_EQ(code(8), 0);
        EXPECT_EQ(queued(), 3);
        log("posted"); // delivery waits for the pool job
    });
    EXPECT_EQ(trace, "posted one:1/7 two:1/7 other:2 one:1/8 two:1/8 ");
    EXPECT_EQ(one->taskName, "emptyEventProcessor");
    EXPECT_EQ(queued(), 0);
}

TEST_F(EventProcTest, KindSlotHearsOnlyWhatNoListenerTakes)
{
    Ear *slot1 = ear("slot1"), *slot5 = ear("slot5"), *listener = ear("listener");
    run([&] {
        ASSERT_EQ(EventProc_setKindHandler(proc, 1, heard, slot1), 0);
        ASSERT_EQ(EventProc_setKindHandler(proc, 5, heard, slot5), 0);
        EXPECT_EQ(EventProc_setKindHandler(proc, 5, heard, slot1), Res_slotInUse);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, listener), 0);
        code(3);
        EventProcKind5Msg k5{};
        EXPECT_EQ(EventProc_postKind5(proc, &k5), 0);
        AppMsg_drain(proc);
        EXPECT_EQ(EventProc_clearKindHandler(proc, 5, heard, slot1), Res_notFound);
        EXPECT_EQ(EventProc_clearKindHandler(proc, 5, heard, slot5), 0);
        EXPECT_EQ(EventProc_postKind5(proc, &k5), 0);
        AppMsg_drain(proc);
        EXPECT_EQ(EventProc_setKindHandler(proc, 5, heard, slot1), 0);
    });
    EXPECT_EQ(trace, "listener:1/3 slot5:5 ");
    // A slot handler that sets the remove flag empties the slot.
    slot1->body = [](EventProcMsg *, int *remove) { *remove = 1; };
    run([&] {
        EventProcKind5Msg k5{};
        EXPECT_EQ(EventProc_postKind5(proc, &k5), 0);
        EXPECT_EQ(EventProc_postKind5(proc, &k5), 0);
        AppMsg_drain(proc);
        EXPECT_EQ(EventProc_setKindHandler(proc, 5, heard, slot5), 0);
    });
    EXPECT_EQ(slot1->calls, 1);
}

// Kind-1 messages with code 2, or code 1 for no (or a started) document,
// are dropped while an equal one is queued.
TEST_F(EventProcTest, RepeatsOfQueuedCodeMessagesMerge)
{
    Ear *all = ear("all");
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, all), 0);
        code(2, A);
        code(2, A); // merged
        code(2, B); // another document
        code(1);    // no document
        code(1);    // merged
        code(1, A); // a document that has not started: never merged
        code(1, A);
        code(3, A); // other codes never merge
        code(3, A);
        EventProcCodeMsg plain{2, A, nullptr, 0};
        EXPECT_EQ(EventProc_postPlainCode(proc, &plain), 0); // plain codes never merge
        EXPECT_EQ(queued(), 8);
    });
    EXPECT_EQ(trace, "all:1/2 all:1/2 all:1/1 all:1/1 all:1/1 all:1/3 all:1/3 all:1/2 ");
}

// A merge target that was delivered is gone: the next repeat is queued
// anew and heard, and a long queue of messages that never merge keeps its
// order around the merges.
TEST_F(EventProcTest, MergesAfterADeliveryQueueAnew)
{
    Ear *all = ear("all");
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, all), 0);
        code(2, A);
        code(2, A); // merged
        AppMsg_drain(proc);
        code(2, A); // its target was delivered: queued
        for (int i = 0; i < 100; i++)
            code(3, A);
        code(2, A); // merged into the first
        code(2, B);
        code(2, B); // merged
        EXPECT_EQ(queued(), 102);
    });
    std::string want = "all:1/2 all:1/2 ";
    for (int i = 0; i < 100; i++)
        want += "all:1/3 ";
    want += "all:1/2 ";
    EXPECT_EQ(trace, want);
}

// The message being delivered is no merge target: its listeners may have
// read the state already, so a repeat posted meanwhile must reach them.
TEST_F(EventProcTest, RepeatPostedDuringDeliveryIsDelivered)
{
    int reposted = 0;
    Ear *ear1 = ear("e", [&](EventProcMsg *, int *) {
        if (!reposted++) {
            EXPECT_EQ(code(2, A), 0);
        }
    });
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, ear1), 0);
        code(2, A);
    });
    EXPECT_EQ(ear1->calls, 2);
}

TEST_F(EventProcTest, RemovedListenersHearNoMore)
{
    Ear *once = ear("once", [](EventProcMsg *, int *remove) { *remove = 1; });
    Ear *gone = ear("gone"), *kept = ear("kept");
    Ear *self = ear("self");
    self->body = [&](EventProcMsg *, int *) {
        // Removing itself from inside its own call must not wait for itself.
        EXPECT_EQ(EventProc_removeListener(proc, 1, heard, self), 0);
    };
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, once), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, gone), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, kept), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, self), 0);
        EXPECT_EQ(EventProc_removeListener(proc, 1, heard, gone), 0);
        EXPECT_EQ(EventProc_removeListener(proc, 1, heard, gone), Res_notFound);
        EXPECT_EQ(EventProc_removeListener(proc, 2, heard, kept), Res_notFound);
        EXPECT_EQ(EventProc_removeListener(nullptr, 1, heard, kept), 0);
        code(5);
        code(6);
        AppMsg_drain(proc);
    });
    EXPECT_EQ(once->calls, 1);
    EXPECT_EQ(gone->calls, 0);
    EXPECT_EQ(kept->calls, 2);
    EXPECT_EQ(self->calls, 1);
    int left = 0;
    for (EventProcListener *l = proc->listeners; l; l = l->next)
        left++;
    EXPECT_EQ(left, 1); // the removed ones went with the second delivery
}

// A listener that matched when the delivery began keeps the kind's slot
// quiet, even when it was removed before its turn came.
TEST_F(EventProcTest, MatchedButRemovedListenerKeepsTheSlotQuiet)
{
    Ear *second = ear("second"), *slot = ear("slot");
    Ear *first = ear("first");
    first->body = [&](EventProcMsg *, int *) {
        EXPECT_EQ(EventProc_removeListener(proc, 1, heard, second), 0);
    };
    run([&] {
        ASSERT_EQ(EventProc_setKindHandler(proc, 1, heard, slot), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, first), 0);
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, second), 0);
        code(4);
        AppMsg_drain(proc);
        EXPECT_EQ(EventProc_removeListener(proc, 1, heard, first), 0);
        code(5); // nobody listens now: the slot hears it
        AppMsg_drain(proc);
    });
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(second->calls, 0);
    EXPECT_EQ(trace, "first:1/4 slot:1/5 ");
}

// Removal waits for a running call of the listener.
TEST_F(EventProcTest, RemovalWaitsForARunningCall)
{
    Sem gate;
    Sem_init(ctx(), &gate, 0, 1);
    Ear *slow = ear("slow", [&](EventProcMsg *, int *) {
        Sem_wait(&gate);
        log("slow-end");
    });
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, slow), 0);
        code(4);
    });
    run(
        [&] {
            log("remove");
            EXPECT_EQ(EventProc_removeListener(proc, 1, heard, slow), 0);
            log("removed");
        },
        0);
    run(
        [&] {
            log("open");
            Sem_signal(&gate);
        },
        0);
    EXPECT_EQ(trace, "slow:1/4 remove open slow-end removed ");
}

TEST_F(EventProcTest, StopRefusesPostsButDeliversWhatIsQueued)
{
    Ear *e1 = ear("e");
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 0, heard, e1), 0);
        EventProcDocMsg d{1, 0, nullptr, Ustr_dup(u"queued")};
        EXPECT_EQ(EventProc_postDoc(nullptr, proc, &d), 0);
        EventProc_stop(proc);
        size_t before = TestHeap_usedBytes();
        EventProcDocMsg late{2, 0, nullptr, Ustr_dup(u"late")};
        EXPECT_EQ(EventProc_postDoc(nullptr, proc, &late), Res_eventProcStopping);
        EXPECT_EQ(TestHeap_usedBytes(), before); // text and message freed
        AppMsg_drain(proc);
        EXPECT_EQ(e1->calls, 1);
        AppMsg_drain(proc); // empty: at once
    });
}

TEST_F(EventProcTest, InlineModeDeliversOnlyWhenDrained)
{
    EventProc *inl = nullptr;
    ASSERT_EQ(AppMsg_createDispatcherMode(ctx(), &inl, EventProc_inlineMode), 0);
    Ear *e1 = ear("e");
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), inl, 9, heard, e1), 0);
        EventProcKind9Msg k9{1, nullptr, 7, 2};
        EXPECT_EQ(EventProc_postKind9(A, inl, &k9), 0);
        EXPECT_EQ(EventProc_postKind9(nullptr, inl, &k9), 0);
    });
    EXPECT_EQ(e1->calls, 0);
    run([&] {
        log("drain");
        AppMsg_drain(inl);
        log("drained");
        AppMsg_destroyDispatcher(inl);
    });
    EXPECT_EQ(trace, "drain e:9 e:9 drained ");
    EXPECT_EQ(e1->taskName, "driver");
}

// A delivery job submitted before the pool stops still delivers: the
// delivery is the job's done callback.
TEST_F(EventProcTest, DeliveryRunsWhileThePoolStops)
{
    Ear *e1 = ear("e");
    run([&] {
        EXPECT_EQ(EventProc_addListener(ctx(), proc, 1, heard, e1), 0);
        code(9);
        Worker_stopAll(ctx());
        Worker_joinAll(ctx());
        EXPECT_EQ(e1->calls, 1);
        EXPECT_EQ(code(10), Res_poolStopping); // no job can be had now
        EXPECT_EQ(queued(), 0);
    });
}

struct Owned {
    int finalized = 0;
    int freed = 0;
    int copied = 0;
    int refuse = 0;
};

TEST_F(EventProcTest, MessagesFreeWhatTheirPayloadsOwn)
{
    static Owned owned; // reached from the handlers below, which get no context
    owned = Owned{};
    run([&] {
        EventProcKind5Msg k5{};
        k5.code = 14;
        k5.flag = 1;
        k5.block = Mem_malloc(100);
        EXPECT_EQ(EventProc_postKind5(proc, &k5), 0);

        EventProcKind6Msg k6{};
        Obj *obj = static_cast<Obj *>(Mem_calloc(1, sizeof(Obj)));
        obj->finalize = [](Obj *) { owned.finalized++; };
        k6.object = obj;
        EXPECT_EQ(EventProc_postKind6(proc, &k6), 0);

        EventProcKind11Msg k11{nullptr, Ustr_dup(u"eleven"), 3};
        EXPECT_EQ(EventProc_postKind11(proc, &k11), 0);

        EventProcKind7Msg k7{A, B};
        EXPECT_EQ(EventProc_postKind7(proc, &k7), 0);

        EventProcCustomMsg c{Mem_malloc(40), 1};
        auto freeFn = [](EventProcMsg *m, void *) {
            owned.freed++;
            Mem_free(static_cast<EventProcCustomMsg *>(m->payload)->data);
        };
        auto copyFn = [](const EventProcMsg *, EventProcMsg *dst) -> int {
            if (!dst)
                return owned.refuse;
            owned.copied++;
            return Res_notImplemented;
        };
        EXPECT_EQ(EventProc_postCustom(proc, &c, freeFn, copyFn), 0);
        owned.refuse = 77;
        size_t before = TestHeap_usedBytes();
        EventProcCustomMsg refused{nullptr, 2};
        EXPECT_EQ(EventProc_postCustom(proc, &refused, freeFn, copyFn), 77);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        AppMsg_drain(proc);
    });
    EXPECT_EQ(owned.finalized, 1);
    EXPECT_EQ(owned.freed, 1);
    // The fixture's heap check shows the rest went too.
}

TEST_F(EventProcTest, CopiesTakeTheirOwnTexts)
{
    run([&] {
        EventProcMsg *msg = nullptr;
        EventProcDocMsg d{8, 5, nullptr, Ustr_dup(u"unknown error")};
        EventProcDocMsg *payload = static_cast<EventProcDocMsg *>(Mem_malloc(sizeof d));
        *payload = d;
        msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
        msg->kind = 0;
        msg->freeFn = EventProc_releaseDoc;
        msg->copyFn = EventProc_copyDoc;
        msg->payload = payload;

        EventProcMsg *copy = nullptr;
        ASSERT_EQ(EventProcMsg_copy(msg, &copy), 0);
        EventProcDocMsg *cp = static_cast<EventProcDocMsg *>(copy->payload);
        EXPECT_NE(cp, payload);
        EXPECT_NE(cp->text, payload->text);
        EXPECT_EQ(Ustr_cmp(cp->text, u"unknown error"), 0);
        EXPECT_EQ(cp->code, 8);
        EXPECT_EQ(cp->word, 5);

        // Out of memory at each step: a clean failure.
        size_t before = TestHeap_usedBytes();
        for (uint64_t n = 1; n <= 3; n++) {
            EventProcMsg *again = reinterpret_cast<EventProcMsg *>(1);
            Mem_failAfter(n);
            EXPECT_EQ(EventProcMsg_copy(msg, &again), Res_noMemory) << n;
            Mem_failAfter(0);
            EXPECT_EQ(again, nullptr);
            EXPECT_EQ(TestHeap_usedBytes(), before);
        }
        EventProc_freeMsg(copy);
        EventProc_freeMsg(msg);

        // A message without a copy operation is refused.
        EventProcMsg k6{6,       EventProc_releaseOpenUrl,
                        nullptr, nullptr,
                        nullptr, Mem_calloc(1, sizeof(EventProcKind6Msg))};
        EventProcMsg *none = nullptr;
        EXPECT_EQ(EventProcMsg_copy(&k6, &none), Res_notImplemented);
        EventProc_releaseOpenUrl(&k6, nullptr);
        EXPECT_EQ(k6.payload, nullptr);
    });
}

// Posting under memory pressure either posts or fails cleanly, and the
// constructor gives back what it took over.
TEST_F(EventProcTest, PostingWithoutMemoryLeavesNothingBehind)
{
    Ear *e1 = ear("e");
    run([&] { EXPECT_EQ(EventProc_addListener(ctx(), proc, 0, heard, e1), 0); });
    int posted = 0;
    for (uint64_t n = 1; n <= 6; n++) {
        size_t before = TestHeap_usedBytes();
        run([&] {
            EventProcDocMsg d{1, 0, nullptr, Ustr_dup(u"text")};
            Mem_failAfter(n);
            int r = EventProc_postDoc(A, proc, &d);
            Mem_failAfter(0);
            if (r == 0) {
                posted++;
                AppMsg_drain(proc);
            } else {
                EXPECT_EQ(r, Res_noMemory) << n;
            }
        });
        // The delivery job frees itself after the drain has returned.
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
    }
    EXPECT_EQ(e1->calls, posted);
    EXPECT_GT(posted, 0);
}

} // namespace
