// The timer queue with the hand-driven clock: order of timers due together,
// late repeating timers, suspension, cancelling (also a running callback,
// also from inside the callback), the timer thread's wake-ups through the
// clock hook and the host, and the guarded engine clock.
#include <cstdint>
#include <string>

#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/timerq.h"
#include "tests/support/task_fixture.h"

namespace {

class TimerTest : public TaskFixture {
  protected:
    struct Probe {
        TimerTest *test;
        std::string name;
        int calls = 0;
        std::function<void(TimerRun *)> body; // record-style only
    };

    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(AppMsg_createDispatcher(ctx(), &proc), 0);
        ASSERT_EQ(TimerQ_startThread(ctx(), proc), 0);
    }
    void TearDown() override
    {
        if (proc) {
            run([this] { EXPECT_EQ(TimerQ_stopThread(ctx(), proc), 0); });
            EXPECT_EQ(ctx()->timerThread, nullptr);
            AppMsg_destroyDispatcher(proc);
            EXPECT_EQ(TestHeap_usedBytes(), baseline);
        }
        TaskFixture::TearDown();
    }

    // Runs fn on a detached task of priority 3 and every slice after it.
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("setup", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }
    // What the host does when its timer expires, then the slices.
    void expire()
    {
        TimerQ_wakeThread(ctx());
        TestEngine_runAll(&e);
    }
    // Any engine clock read on the GUI thread reaches the clock hook.
    void readClock()
    {
        AlienTimer_getTimeMs(e.instance);
        TestEngine_runAll(&e);
    }

    static void plainCb(EngineContext *, void *arg)
    {
        Probe *p = static_cast<Probe *>(arg);
        p->calls++;
        p->test->log(p->name);
    }
    static void recordCb(EngineContext *, void *arg)
    {
        TimerRun *run = static_cast<TimerRun *>(arg);
        Probe *p = static_cast<Probe *>(run->argument);
        p->calls++;
        p->test->log(p->name);
        if (p->body)
            p->body(run);
    }
    TimerEntry *entry(uint32_t id)
    {
        for (TimerEntry *t = proc->timers.head; t; t = t->next)
            if (t->id == id)
                return t;
        return nullptr;
    }
    int listed()
    {
        int n = 0;
        for (TimerEntry *t = proc->timers.head; t; t = t->next)
            n++;
        return n;
    }

    EventProc *proc = nullptr;
};

TEST_F(TimerTest, IdsStartAtOneAndTheNextDueIsTheEarliest)
{
    Probe a{this, "a"}, b{this, "b"};
    uint32_t ida = 0, idb = 0;
    run([&] {
        EXPECT_EQ(TimerQ_add(ctx(), proc, 300, 0, recordCb, &a, &ida), 0);
        EXPECT_EQ(TimerQ_add(ctx(), proc, 120, 0, recordCb, &b, &idb), 0);
    });
    EXPECT_EQ(ida, 1u);
    EXPECT_EQ(idb, 2u);
    EXPECT_EQ(TimerQ_nextDue(ctx()), 120);
    advance(119);
    readClock();
    EXPECT_EQ(b.calls, 0);
    advance(1);
    readClock(); // the clock hook alone wakes the timer thread
    EXPECT_EQ(trace, "b ");
    EXPECT_EQ(TimerQ_nextDue(ctx()), 300);
    advance(500);
    expire(); // the host's expiry wakes it too
    EXPECT_EQ(trace, "b a ");
    EXPECT_EQ(TimerQ_nextDue(ctx()), 0);
    EXPECT_EQ(listed(), 0); // finished entries went with the next pass
}

// Timers due together run in one pass, earliest due first; among timers
// due at the same time the one added later runs first.
TEST_F(TimerTest, TimersDueTogetherRunInOnePassInDueOrder)
{
    Probe a{this, "a"}, b{this, "b"}, c{this, "c"}, d{this, "d"};
    run([&] {
        EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 100, 0, plainCb, &a), 0);
        EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 100, 0, plainCb, &b), 0);
        EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 40, 0, plainCb, &c), 0);
        EXPECT_EQ(TimerQ_addAtNoId(ctx(), proc, 100, plainCb, &d), 0);
    });
    advance(150);
    run([&] { TimerQ_runDue(ctx(), &proc->timers, 150); });
    EXPECT_EQ(trace, "c d b a ");
}

TEST_F(TimerTest, LateRepeatingTimerKeepsItsBeat)
{
    Probe p{this, "p"};
    uint32_t id = 0;
    // One pass runs it once, and its next due time is a period after the
    // old one, not a period after now (a list without a timer thread, run
    // by hand).
    EventProc *other = nullptr;
    ASSERT_EQ(AppMsg_createDispatcher(ctx(), &other), 0);
    run([&] {
        EXPECT_EQ(TimerQ_add(ctx(), other, 100, 1, recordCb, &p, &id), 0);
        TimerQ_runDue(ctx(), &other->timers, 350);
    });
    EXPECT_EQ(p.calls, 1);
    EXPECT_EQ(other->timers.head->due, 200);
    AppMsg_destroyDispatcher(other);

    p.calls = 0;
    run([&] { EXPECT_EQ(TimerQ_add(ctx(), proc, 100, 1, recordCb, &p, &id), 0); });
    advance(350);
    // The timer thread catches up pass by pass: 200 and 300, not 400.
    readClock();
    EXPECT_EQ(p.calls, 3);
    EXPECT_EQ(entry(id)->due, 400);
    EXPECT_EQ(TimerQ_nextDue(ctx()), 400);
    // A callback that changes the period starts the new beat from now.
    p.body = [](TimerRun *r) { r->period = 500; };
    advance(60); // 410
    readClock();
    EXPECT_EQ(p.calls, 4);
    EXPECT_EQ(entry(id)->due, 410 + 500);
    EXPECT_EQ(entry(id)->period, 500);
    // Clearing the repeat flag ends it.
    p.body = [](TimerRun *r) { r->repeat = 0; };
    advance(500);
    readClock();
    advance(2000);
    readClock();
    EXPECT_EQ(p.calls, 5);
    EXPECT_EQ(TimerQ_nextDue(ctx()), 0);
}

TEST_F(TimerTest, RepeatingTimerOfPeriodZeroDoesNotSpin)
{
    Probe p{this, "p"};
    run([&] { EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 0, 1, plainCb, &p), 0); });
    readClock();
    EXPECT_EQ(p.calls, 1);
    advance(3);
    readClock();
    EXPECT_EQ(p.calls, 4);
    run([&] { EXPECT_EQ(TimerQ_cancelMatching(proc, plainCb, &p, 1, 1), 0); });
}

TEST_F(TimerTest, SuspendedTimerNeverRunsNorCountsForTheWakeTime)
{
    Probe a{this, "a"}, b{this, "b"};
    uint32_t idb = 0;
    run([&] {
        EXPECT_EQ(TimerQ_add(ctx(), proc, 100, 0, recordCb, &a, nullptr), 0);
        EXPECT_EQ(TimerQ_add(ctx(), proc, 50, 0, recordCb, &b, &idb), 0);
        EXPECT_EQ(TimerQ_pause(proc, idb), 0);
    });
    EXPECT_EQ(TimerQ_nextDue(ctx()), 100);
    advance(200);
    readClock();
    EXPECT_EQ(trace, "a ");
    EXPECT_EQ(TimerQ_nextDue(ctx()), 0);
    // Resuming a timer that is already late wakes the thread at once.
    run([&] { EXPECT_EQ(TimerQ_resume(proc, idb), 0); });
    EXPECT_EQ(TimerQ_nextDue(ctx()), 50);
    readClock();
    EXPECT_EQ(trace, "a b ");
    run([&] {
        EXPECT_EQ(TimerQ_pause(proc, idb), Res_notFound); // finished
        EXPECT_EQ(TimerQ_resume(proc, 99), Res_notFound);
        EXPECT_EQ(TimerQ_pauseMatching(proc, recordCb, &a, 100, 0), Res_notFound);
    });
}

TEST_F(TimerTest, CancelOfAnIdleTimerReturnsAtOnceAndTheNextPassFreesIt)
{
    Probe a{this, "a"}, b{this, "b"}, c{this, "c"};
    uint32_t ida = 0, idc = 0;
    run([&] {
        EXPECT_EQ(TimerQ_add(ctx(), proc, 100, 1, recordCb, &a, &ida), 0);
        EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 100, 1, plainCb, &b), 0);
        EXPECT_EQ(TimerQ_addAt(ctx(), proc, 70, plainCb, &c, &idc), 0);
        uint32_t copy = ida;
        EXPECT_EQ(TimerQ_cancel(proc, &copy), 0);
        EXPECT_EQ(copy, 0u);
        EXPECT_EQ(TimerQ_cancelMatching(proc, plainCb, &b, 100, 1), 0);
        EXPECT_EQ(TimerQ_cancelAt(proc, 70, plainCb, &c), 0);
        EXPECT_EQ(TimerQ_cancelAt(proc, 70, plainCb, &c), Res_notFound);
        uint32_t again = ida;
        EXPECT_EQ(TimerQ_cancel(proc, &again), Res_notFound);
        uint32_t none = 0;
        EXPECT_EQ(TimerQ_cancel(proc, &none), 0);
    });
    EXPECT_EQ(entry(ida)->state, TimerQ_finished);
    EXPECT_EQ(listed(), 3);
    advance(100);
    readClock();
    EXPECT_EQ(trace, "");
    EXPECT_EQ(listed(), 0);
}

// A canceller of a running callback returns only after the callback ended.
TEST_F(TimerTest, CancellingARunningTimerWaitsForItsCallback)
{
    Sem gate;
    Sem_init(ctx(), &gate, 0, 1);
    Probe p{this, "cb-start"};
    p.body = [&](TimerRun *) {
        Sem_wait(&gate);
        log("cb-end");
    };
    uint32_t id = 0;
    run([&] { EXPECT_EQ(TimerQ_add(ctx(), proc, 10, 1, recordCb, &p, &id), 0); });
    advance(10);
    TimerQ_wakeThread(ctx());
    uint32_t copy = id;
    Task_detach(spawn("canceller", 1, [&] {
        log("cancel");
        EXPECT_EQ(TimerQ_cancel(proc, &copy), 0);
        log("cancelled");
    }));
    Task_detach(spawn("releaser", 1, [&] {
        log("release");
        Sem_signal(&gate);
    }));
    TestEngine_runAll(&e);
    EXPECT_EQ(trace, "cb-start cancel release cb-end cancelled ");
    EXPECT_EQ(entry(id)->state, TimerQ_finished);
    EXPECT_EQ(entry(id)->waiters, 0);
    advance(100);
    expire();
    EXPECT_EQ(p.calls, 1);
    EXPECT_EQ(listed(), 0);
}

// A callback that cancels its own timer ends it without waiting for itself.
TEST_F(TimerTest, CallbackCancellingItsOwnTimerDoesNotHang)
{
    Probe p{this, "p"};
    uint32_t id = 0;
    p.body = [&](TimerRun *) {
        EXPECT_EQ(TimerQ_cancel(proc, &id), 0);
        log("back");
    };
    run([&] { EXPECT_EQ(TimerQ_add(ctx(), proc, 10, 1, recordCb, &p, &id), 0); });
    advance(10);
    readClock();
    EXPECT_EQ(trace, "p back ");
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(TimerQ_nextDue(ctx()), 0);
    advance(100);
    readClock();
    EXPECT_EQ(p.calls, 1);
    EXPECT_EQ(listed(), 0);
}

TEST_F(TimerTest, CallbacksMayAddTimers)
{
    Probe second{this, "second"};
    Probe first{this, "first"};
    first.body = [&](TimerRun *) {
        EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 5, 0, plainCb, &second), 0);
    };
    run([&] { EXPECT_EQ(TimerQ_add(ctx(), proc, 10, 0, recordCb, &first, nullptr), 0); });
    advance(10);
    readClock();
    EXPECT_EQ(trace, "first ");
    EXPECT_EQ(TimerQ_nextDue(ctx()), 15);
    advance(5);
    readClock();
    EXPECT_EQ(trace, "first second ");
}

TEST_F(TimerTest, TimersAddedBeforeTheThreadStartsRunOnceItDoes)
{
    Probe p{this, "p"};
    run([&] { EXPECT_EQ(TimerQ_stopThread(ctx(), proc), 0); });
    EXPECT_EQ(TimerQ_nextDue(ctx()), 0);
    EXPECT_EQ(TimerQ_threadPriority(ctx()), 2);
    run([&] { EXPECT_EQ(TimerQ_addPlain(ctx(), proc, 20, 0, plainCb, &p), 0); });
    advance(50);
    readClock();
    EXPECT_EQ(p.calls, 0); // kept, never run without the thread
    ASSERT_EQ(TimerQ_startThread(ctx(), proc), 0);
    EXPECT_EQ(TimerQ_nextDue(ctx()), 20);
    EXPECT_EQ(TimerQ_threadPriority(ctx()), 2);
    readClock();
    EXPECT_EQ(p.calls, 1);
}

TEST_F(TimerTest, SecondThreadIsRefused)
{
    EXPECT_EQ(TimerQ_startThread(ctx(), proc), Res_timerThreadRunning);
    EventProc *other = nullptr;
    ASSERT_EQ(AppMsg_createDispatcher(ctx(), &other), 0);
    EXPECT_EQ(TimerQ_startThread(ctx(), other), Res_timerThreadRunning);
    AppMsg_destroyDispatcher(other);
}

TEST_F(TimerTest, AddFailsCleanlyWithoutMemory)
{
    Probe p{this, "p"};
    run([&] {
        size_t before = TestHeap_usedBytes();
        uint32_t id = 7;
        Mem_failAfter(1);
        EXPECT_EQ(TimerQ_add(ctx(), proc, 10, 0, recordCb, &p, &id), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        EXPECT_EQ(TimerQ_add(ctx(), proc, 10, 0, nullptr, &p, &id), Res_missingArgument);
    });
    EXPECT_EQ(listed(), 0);
}

// ---------------------------------------------------------------- clock

struct ClockStep {
    int64_t step;     // host clock change
    int64_t expected; // engine clock after it
};

TEST_F(TimerTest, EngineClockIgnoresSmallBackwardSteps)
{
    const ClockStep steps[] = {
        {10000, 10000},                // forward: taken
        {-3000, 10000},                // 3000 back: the last value again
        {1000, 10000},                 // still 2000 behind
        {2500, 10500},                 // ahead again
        {-5999, 10500},                // just under the limit
        {5999, 10500},  {-6000, 4500}, // 6000 back: taken
        {3000, 7500},   {-7000, 500},  // 7000 back: taken
    };
    int64_t host = 0;
    for (const ClockStep &s : steps) {
        host += s.step;
        advance(s.step);
        EXPECT_EQ(AlienTimer_readClock(e.instance), s.expected) << "host clock " << host;
    }
    EXPECT_EQ(AlienTimer_getTimeMs(e.instance), 500);
    EXPECT_EQ(Time_nowMs(), 500);
    EXPECT_EQ(AlienTimer_readClock(nullptr), 0);
}

TEST_F(TimerTest, ClockHookSeesEveryReadAndCanBeRemoved)
{
    struct Seen {
        int calls = 0;
        int64_t last = -1;
    };
    // The hook has no argument of its own: the test reaches its record
    // through the engine context's spare word.
    static_assert(sizeof(void *) == sizeof(ctx()->teardownBlock));
    Seen seen;
    ClockHookFn saved = e.instance->clockHook;
    EXPECT_EQ(saved, TimerQ_clockHook);
    ctx()->teardownBlock = &seen;
    AlienTimer_setHook(ctx(), [](EngineContext *c, int64_t now) {
        Seen *s = static_cast<Seen *>(c->teardownBlock);
        s->calls++;
        s->last = now;
    });
    advance(42);
    EXPECT_EQ(Time_nowMs(), 42);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.last, 42);
    AlienTimer_readClock(e.instance); // the plain guarded clock skips the hook
    EXPECT_EQ(seen.calls, 1);
    AlienTimer_clearHook(ctx());
    Time_nowMs();
    EXPECT_EQ(seen.calls, 1);
    ctx()->teardownBlock = nullptr;
    AlienTimer_setHook(ctx(), saved);
}

TEST(TimerClock, NoEngineMeansClockZero)
{
    Headless_setCurrent(nullptr);
    EXPECT_EQ(Time_nowMs(), 0);
    EXPECT_EQ(AlienTimer_getTimeMs(nullptr), 0);
    EXPECT_EQ(TimerQ_nextDue(nullptr), 0);
    EXPECT_EQ(TimerQ_threadPriority(nullptr), 2);
    TimerQ_wakeThread(nullptr);
}

} // namespace
