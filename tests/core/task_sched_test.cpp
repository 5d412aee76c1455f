// The scheduler: deterministic traces with the hand-driven clock for round
// robin at yields, pre-emption by priority, slice deadlines, forced yields,
// the switch budget, the hold flag and priority changes.
#include <cstdint>

#include "tests/support/task_fixture.h"

namespace {

using SchedTest = TaskFixture;

// Two equal tasks that yield after each floor period take turns until the
// slice deadline, then the GUI thread gets control back with both ready.
TEST_F(SchedTest, EqualPrioritiesTakeTurnsOneFloorEach)
{
    Task *a = nullptr, *b = nullptr;
    auto body = [this](const char *name) {
        for (int i = 0; i < 4; i++) {
            log(name + std::to_string(i));
            advance(50);
            Task_yield(ctx());
        }
    };
    a = spawn("A", 1, [&] { body("A"); });
    b = spawn("B", 1, [&] { body("B"); });
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(trace, "A0 B0 A1 B1 | ");
    EXPECT_EQ(sched()->current, nullptr);
    EXPECT_TRUE(inQueue(sched()->readyQueue, a));
    EXPECT_TRUE(inQueue(sched()->readyQueue, b));
    EXPECT_EQ(sched()->runnable, 2);
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 B0 A1 B1 | A2 B2 A3 B3 | | ");
    EXPECT_EQ(sched()->runnable, 0);
}

TEST_F(SchedTest, YieldBeforeTheFloorKeepsRunning)
{
    spawn("A", 1, [this] {
        for (int i = 0; i < 3; i++) {
            log("A" + std::to_string(i));
            advance(20);
            Task_yield(ctx()); // at 20 and 40 too early; at 60 due
        }
    });
    spawn("B", 1, [this] { log("B"); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 A1 A2 B | ");
}

TEST_F(SchedTest, NewHigherPriorityTaskPreemptsAtTheNextSwitch)
{
    spawn("L", 1, [this] {
        log("L0");
        spawn("H", 3, [this] { log("H"); });
        log("L1"); // creating a task does not switch
        advance(50);
        Task_yield(ctx());
        log("L2");
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "L0 L1 H L2 | ");
}

TEST_F(SchedTest, LowerPriorityRunsOnlyWhenTheHigherOneIsDone)
{
    spawn("Lo", 1, [this] { log("lo"); });
    spawn("Hi", 3, [this] {
        for (int i = 0; i < 5; i++) {
            log("h" + std::to_string(i));
            advance(50);
            Task_yield(ctx());
        }
    });
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "h0 h1 h2 h3 | h4 lo | ");
}

TEST_F(SchedTest, RescheduleSwitchesBeforeTheFloorButNotPastTheDeadline)
{
    auto body = [this](const char *name) {
        for (int i = 0; i < 2; i++) {
            log(name + std::to_string(i));
            Task_reschedule(ctx());
        }
    };
    spawn("A", 1, [&] { body("A"); });
    spawn("B", 1, [&] { body("B"); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 B0 A1 B1 | ");

    trace.clear();
    spawn("C", 1, [this] {
        log("C0");
        advance(250);
        Task_reschedule(ctx());
        log("C1");
    });
    spawn("D", 1, [this] { log("D"); });
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "C0 | D C1 | ");
}

TEST_F(SchedTest, SliceEndsAtOnceWhenEveryTaskIsBlocked)
{
    Sem sem;
    Sem_init(ctx(), &sem, 0, 1);
    spawn("W", 1, [&] {
        log("w");
        Sem_wait(&sem);
        log("w2");
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(sched()->runnable, 0);
    EXPECT_EQ(slice(), 0); // nothing ready: no switch at all
    Sem_signal(&sem);      // the GUI thread may signal
    EXPECT_EQ(sched()->runnable, 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "w | | w2 | ");
}

TEST_F(SchedTest, SwitchBudgetBoundsTheDecisionsOfOneSlice)
{
    Task_setSlice(e.instance, 1);
    EXPECT_EQ(sched()->sliceMs, 1);
    EXPECT_EQ(sched()->floorMs, 1);
    EXPECT_EQ(sched()->budgetPerSlice, 100);
    int runs = 0;
    auto body = [&] {
        while (runs < 1000) {
            runs++;
            Task_reschedule(ctx());
        }
    };
    spawn("A", 1, body);
    spawn("B", 1, body);
    // The clock stands still, so only the budget ends the slice.
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(runs, 100);
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(runs, 200);
    EXPECT_GT(TestEngine_runAll(&e), 0);
    EXPECT_EQ(runs, 1000);
}

TEST_F(SchedTest, ExpireSliceReturnsAtTheNextDecision)
{
    spawn("A", 1, [this] {
        log("A0");
        Task_expireSlice(ctx());
        Task_reschedule(ctx());
        log("A1");
    });
    spawn("B", 1, [this] { log("B"); });
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 | B A1 | ");
}

TEST_F(SchedTest, SetSliceShrinksTheFloorAndIgnoresNegatives)
{
    Scheduler *s = sched();
    EXPECT_EQ(s->sliceMs, Task_defaultSliceMs);
    EXPECT_EQ(s->floorMs, Task_defaultFloorMs);
    EXPECT_EQ(s->budgetPerSlice, 20000);
    s->nextSwitch = 1000;
    Task_setSlice(e.instance, 30);
    EXPECT_EQ(s->sliceMs, 30);
    EXPECT_EQ(s->floorMs, 30);
    EXPECT_EQ(s->nextSwitch, 980);
    EXPECT_EQ(s->budgetPerSlice, 3000);
    Task_setSlice(e.instance, -5);
    EXPECT_EQ(s->sliceMs, 30);
    Task_setSlice(e.instance, 100);
    EXPECT_EQ(s->sliceMs, 100);
    EXPECT_EQ(s->floorMs, 30);
    EXPECT_EQ(s->budgetPerSlice, 10000);
}

TEST_F(SchedTest, SlicesAndFloorsHoldAcrossAClockWrap)
{
    advance(INT64_MAX - 120);
    auto body = [this](const char *name) {
        for (int i = 0; i < 4; i++) {
            log(name + std::to_string(i));
            advance(50);
            Task_yield(ctx());
        }
    };
    spawn("A", 1, [&] { body("A"); });
    spawn("B", 1, [&] { body("B"); });
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 B0 A1 B1 | A2 B2 A3 B3 | | ");
}

TEST_F(SchedTest, HoldFlagStopsSwitching)
{
    spawn("A", 1, [this] {
        Task_holdScheduler(ctx(), 1);
        log("A0");
        advance(500);
        Task_reschedule(ctx());
        log("A1");
        Task_holdScheduler(ctx(), 0);
        advance(-500);
        Task_reschedule(ctx());
        log("A2");
    });
    spawn("B", 1, [this] { log("B"); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 A1 B A2 | ");
}

TEST_F(SchedTest, RaisingAReadyTaskAboveTheRunningOneSwitchesAtOnce)
{
    Task *b = nullptr;
    spawn("A", 2, [&] {
        log("A0");
        Task_setPriority(b, 3);
        log("A1");
    });
    b = spawn("B", 1, [this] { log("B"); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 B A1 | ");
    EXPECT_EQ(Task_getPriority(nullptr), 0);
}

TEST_F(SchedTest, LoweringOneselfWaitsForTheNextSwitch)
{
    Task *a = nullptr;
    a = spawn("A", 3, [&] {
        Task_setPriority(a, 1);
        EXPECT_EQ(Task_getPriority(a), 1);
        EXPECT_EQ(a->basePriority, 1);
        log("A0");
        advance(50);
        Task_yield(ctx());
        log("A1");
    });
    spawn("B", 2, [this] { log("B"); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "A0 B A1 | ");
}

TEST_F(SchedTest, ReadyQueueIsByPriorityThenFirstInFirstOut)
{
    Task *t[5];
    int prio[5] = {1, 3, 1, 3, 2};
    for (int i = 0; i < 5; i++)
        t[i] = spawn("T", prio[i], [] {});
    Task *expect[5] = {t[1], t[3], t[4], t[0], t[2]};
    Task *q = sched()->readyQueue;
    for (Task *x : expect) {
        ASSERT_EQ(q, x);
        q = q->queueLink;
    }
    EXPECT_EQ(q, nullptr);
    // A second insertion of a queued task changes nothing.
    Task_queueInsert(&sched()->readyQueue, t[0]);
    Task_queueInsert(&sched()->readyQueue, t[1]);
    q = sched()->readyQueue;
    for (Task *x : expect) {
        ASSERT_EQ(q, x);
        q = q->queueLink;
    }
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(TestEngine_runAll(&e), 1);
}

// The same mixed run many times over: every run must give the same trace.
TEST_F(SchedTest, TracesRepeatExactly)
{
    std::string first;
    for (int round = 0; round < 100; round++) {
        trace.clear();
        for (int i = 0; i < 4; i++) {
            std::string name = "t" + std::to_string(i);
            Task *t = spawn("T", 1 + i % 2, [this, name] {
                for (int k = 0; k < 3; k++) {
                    log(name);
                    advance(25);
                    Task_yield(ctx());
                }
            });
            Task_detach(t);
        }
        while (slice() > 0) {
        }
        if (round == 0)
            first = trace;
        ASSERT_EQ(trace, first) << "round " << round;
        ASSERT_EQ(sched()->runnable, 0);
        ASSERT_EQ(sched()->taskCount, 0);
        ASSERT_EQ(hostThreads(), 1);
    }
    // Yields every 25 ms switch every other time (floor 50); the slice of
    // 200 ms ends in the middle of t0, which goes back behind t2.
    EXPECT_EQ(first, "t1 t1 t3 t3 t1 t3 t0 t0 | t2 t2 t0 t2 | ");
}

} // namespace
