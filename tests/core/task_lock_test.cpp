// Locks, semaphores and reader/writer locks: ownership and hand-over,
// priority inheritance through chains of locks and through a joiner, the
// fatal paths (deadlock, waits while held, waits on the GUI thread) that
// abort to the host, semaphore counting and wake order, the signal that
// arrives while its waiter is switching out, and readers against writers.
#include <cstdint>

#include "core/result.h"
#include "tests/support/task_fixture.h"

namespace {

using LockTest = TaskFixture;

std::string str(int v)
{
    return std::to_string(v);
}

TEST_F(LockTest, UncontendedLockTakesAndFrees)
{
    Lock l;
    Lock_init(ctx(), &l);
    Task *t = nullptr;
    t = spawn("A", 1, [&] {
        Lock_acquire(&l);
        EXPECT_EQ(l.owner, t);
        EXPECT_EQ(t->completion.nextHeld, &l);
        Lock_release(&l);
        EXPECT_EQ(l.owner, nullptr);
        EXPECT_EQ(t->completion.nextHeld, nullptr);
    });
    EXPECT_EQ(slice(), 0);
}

TEST_F(LockTest, UninitialisedPrimitivesDoNothing)
{
    Lock l{};
    Sem s{};
    uint32_t count = 7;
    spawn("A", 1, [&] {
        Lock_acquire(&l);
        Lock_release(&l);
        Sem_wait(&s);
        Sem_signal(&s);
        log("done");
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "done | ");
    EXPECT_EQ(Sem_getCount(&s, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Sem_getCount(&s, nullptr), Res_nullInput);
}

TEST_F(LockTest, WaitersGetTheLockByPriorityThenArrival)
{
    Lock l;
    Lock_init(ctx(), &l);
    Sem go;
    Sem_init(ctx(), &go, 0, 1);
    spawn("owner", 9, [&] {
        Lock_acquire(&l);
        Sem_wait(&go);
        Lock_release(&l);
    });
    struct W {
        const char *name;
        int prio;
    } waiters[] = {{"a", 1}, {"b", 3}, {"c", 1}, {"d", 3}, {"e", 2}};
    for (W w : waiters) {
        spawn(w.name, w.prio, [this, &l, w] {
            Lock_acquire(&l);
            log(w.name);
            Lock_release(&l);
        });
    }
    EXPECT_EQ(slice(), 0);
    Sem_signal(&go);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| b d e a c | ");
}

// T1 holds L1; T2 holds L2 and waits for L1; T3 holds L3 and waits for L2;
// T4 waits for L3. T4's priority reaches T1 through the chain, and every
// owner drops back as it hands its lock on.
TEST_F(LockTest, PriorityInheritanceThroughAChainOfThreeLocks)
{
    Lock l1, l2, l3;
    Lock_init(ctx(), &l1);
    Lock_init(ctx(), &l2);
    Lock_init(ctx(), &l3);
    Sem start[4], hold;
    for (Sem &s : start)
        Sem_init(ctx(), &s, 0, 1);
    Sem_init(ctx(), &hold, 0, 1);
    Task *t[4];
    t[0] = spawn("T1", 1, [&] {
        Sem_wait(&start[0]);
        Lock_acquire(&l1);
        Sem_wait(&hold);
        Lock_release(&l1);
        log("T1:" + str(Task_getPriority(t[0])));
    });
    t[1] = spawn("T2", 2, [&] {
        Sem_wait(&start[1]);
        Lock_acquire(&l2);
        Lock_acquire(&l1);
        log("T2-got-L1");
        Lock_release(&l1);
        Lock_release(&l2);
        log("T2:" + str(Task_getPriority(t[1])));
    });
    t[2] = spawn("T3", 3, [&] {
        Sem_wait(&start[2]);
        Lock_acquire(&l3);
        Lock_acquire(&l2);
        log("T3-got-L2");
        Lock_release(&l2);
        Lock_release(&l3);
        log("T3:" + str(Task_getPriority(t[2])));
    });
    t[3] = spawn("T4", 5, [&] {
        Sem_wait(&start[3]);
        Lock_acquire(&l3);
        log("T4-got-L3");
        Lock_release(&l3);
        log("T4:" + str(Task_getPriority(t[3])));
    });
    EXPECT_EQ(slice(), 0);
    int expect[4][4] = {{1, 2, 3, 5}, {2, 2, 3, 5}, {3, 3, 3, 5}, {5, 5, 5, 5}};
    for (int step = 0; step < 4; step++) {
        Sem_signal(&start[step]);
        EXPECT_EQ(slice(), 0);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(Task_getPriority(t[i]), expect[step][i]) << "step " << step << " task " << i;
    }
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(t[i]->basePriority, i == 3 ? 5 : i + 1);
    trace.clear();
    Sem_signal(&hold);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "T2-got-L1 T3-got-L2 T4-got-L3 T4:5 T3:3 T2:2 T1:1 | ");
}

// A joiner lends its priority to the task it joins: the joined task runs
// ahead of a task that would otherwise come first.
TEST_F(LockTest, PriorityInheritanceThroughAJoiner)
{
    Sem sT, sM, sJ;
    Sem_init(ctx(), &sT, 0, 1);
    Sem_init(ctx(), &sM, 0, 1);
    Sem_init(ctx(), &sJ, 0, 1);
    Task *target = nullptr;
    target = spawn("T", 1, [&] {
        Sem_wait(&sT);
        log("T:" + str(Task_getPriority(target)));
    });
    spawn("M", 2, [&] {
        Sem_wait(&sM);
        log("M");
    });
    spawn("J", 4, [&] {
        Sem_wait(&sJ);
        EXPECT_EQ(Task_join(target), 0);
        log("joined");
    });
    EXPECT_EQ(slice(), 0);
    Sem_signal(&sJ);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(Task_getPriority(target), 4);
    EXPECT_EQ(target->basePriority, 1);
    Sem_signal(&sM);
    Sem_signal(&sT);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| | T:4 joined M | ");
    EXPECT_EQ(sched()->taskCount, 2); // the joined task was reaped
}

// A task whose priority falls while it waits must not leave its old priority
// on the owner for good: the owner drops back when it releases the lock.
TEST_F(LockTest, OwnerDropsALoanFromAWaiterWhosePriorityFell)
{
    Lock l;
    Lock_init(ctx(), &l);
    Sem go, start;
    Sem_init(ctx(), &go, 0, 1);
    Sem_init(ctx(), &start, 0, 1);
    Task *owner = nullptr, *waiter = nullptr;
    owner = spawn("U", 1, [&] {
        Lock_acquire(&l);
        Sem_wait(&go);
        Lock_release(&l);
        log("U:" + str(Task_getPriority(owner)));
    });
    waiter = spawn("T", 5, [&] {
        Sem_wait(&start);
        Lock_acquire(&l);
        log("T:" + str(Task_getPriority(waiter)));
        Lock_release(&l);
    });
    EXPECT_EQ(slice(), 0);
    Sem_signal(&start);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(Task_getPriority(owner), 5);
    Task_setPriority(waiter, 2);
    EXPECT_EQ(Task_getPriority(waiter), 2);
    EXPECT_EQ(Task_getPriority(owner), 5); // the loan stays while U holds the lock
    Sem_signal(&go);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| | T:2 U:1 | ");
}

TEST_F(LockTest, SetPriorityKeepsWhatInheritanceLent)
{
    Lock l;
    Lock_init(ctx(), &l);
    Sem go, start;
    Sem_init(ctx(), &go, 0, 1);
    Sem_init(ctx(), &start, 0, 1);
    Task *owner = nullptr;
    owner = spawn("U", 1, [&] {
        Lock_acquire(&l);
        Sem_wait(&go);
        Lock_release(&l);
        log("U:" + str(Task_getPriority(owner)));
    });
    spawn("T", 6, [&] {
        Sem_wait(&start);
        Lock_acquire(&l);
        Lock_release(&l);
    });
    EXPECT_EQ(slice(), 0);
    Sem_signal(&start);
    EXPECT_EQ(slice(), 0);
    Task_setPriority(owner, 3); // below the loan: only the base changes
    EXPECT_EQ(Task_getPriority(owner), 6);
    EXPECT_EQ(owner->basePriority, 3);
    Task_setPriority(owner, 8); // above it: raised at once
    EXPECT_EQ(Task_getPriority(owner), 8);
    Task_setPriority(owner, 3);
    Sem_signal(&go);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| | U:3 | ");
}

// -------------------------------------------------------------- fatal paths

struct FatalCase {
    const char *name;
    // Sets up the tasks of the case; each logs "after" if it survives the
    // call that must abort.
    void (*setup)(LockTest *t, Lock *a, Lock *b);
};

class AbortTest : public LockTest, public ::testing::WithParamInterface<FatalCase> {
  public:
    using LockTest::ctx;
    using LockTest::log;
    using LockTest::spawn;
};

const FatalCase fatalCases[] = {
    {"RelockOwnLock",
     [](LockTest *t, Lock *a, Lock *) {
         static_cast<AbortTest *>(t)->spawn("A", 1, [t, a] {
             Lock_acquire(a);
             Lock_acquire(a);
             static_cast<AbortTest *>(t)->log("after");
         });
     }},
    {"TwoTasksCrossingTwoLocks",
     [](LockTest *t, Lock *a, Lock *b) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 1, [f, a, b] {
             Lock_acquire(a);
             Task_reschedule(f->ctx());
             Lock_acquire(b);
             f->log("after");
         });
         f->spawn("B", 1, [f, a, b] {
             Lock_acquire(b);
             Lock_acquire(a);
             f->log("after");
         });
     }},
    {"ThreeTasksInACycle",
     [](LockTest *t, Lock *a, Lock *b) {
         AbortTest *f = static_cast<AbortTest *>(t);
         static Lock c;
         Lock_init(f->ctx(), &c);
         f->spawn("A", 1, [f, a, b] {
             Lock_acquire(a);
             Task_reschedule(f->ctx());
             Lock_acquire(b);
             f->log("after");
         });
         f->spawn("B", 1, [f, b] {
             Lock_acquire(b);
             Task_reschedule(f->ctx());
             Lock_acquire(&c);
             f->log("after");
         });
         f->spawn("C", 1, [f, a] {
             Lock_acquire(&c);
             Lock_acquire(a);
             f->log("after");
         });
     }},
    {"JoinOneself",
     [](LockTest *t, Lock *, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 1, [f] {
             EXPECT_EQ(Task_join(Task_current(f->ctx())), 0);
             f->log("after");
         });
     }},
    {"JoinATaskThatWaitsForTheJoiner",
     [](LockTest *t, Lock *a, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         Task *joiner = nullptr;
         static Task *target;
         target = f->spawn("T", 1, [f, a] {
             Task_reschedule(f->ctx());
             Lock_acquire(a);
             f->log("after");
         });
         joiner = f->spawn("J", 1, [f, a] {
             Lock_acquire(a);
             Task_reschedule(f->ctx());
             EXPECT_EQ(Task_join(target), 0);
             f->log("after");
         });
         (void)joiner;
     }},
    {"SemaphoreWaitWhileHeld",
     [](LockTest *t, Lock *, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 1, [f] {
             static Sem s;
             Sem_init(f->ctx(), &s, 0, 1);
             Task_holdScheduler(f->ctx(), 1);
             Sem_wait(&s);
             f->log("after");
         });
     }},
    {"LockWhileHeld",
     [](LockTest *t, Lock *a, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 1, [f, a] {
             Task_holdScheduler(f->ctx(), 1);
             Lock_acquire(a);
             f->log("after");
         });
     }},
    {"ReleaseOfALockOwnedByAnother",
     [](LockTest *t, Lock *a, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 2, [a] { Lock_acquire(a); });
         f->spawn("B", 1, [f, a] {
             Lock_release(a);
             f->log("after");
         });
     }},
    {"TaskEndingWhileHeld",
     [](LockTest *t, Lock *, Lock *) {
         AbortTest *f = static_cast<AbortTest *>(t);
         f->spawn("A", 1, [f] { Task_holdScheduler(f->ctx(), 1); });
         f->spawn("B", 1, [f] { f->log("after"); });
     }},
};

// Every impossible state ends the engine: the slice returns through the
// recovery point, every engine thread is gone and nothing runs on.
TEST_P(AbortTest, AbortsToTheHost)
{
    Lock a, b;
    Lock_init(ctx(), &a);
    Lock_init(ctx(), &b);
    GetParam().setup(this, &a, &b);
    int tasks = sched()->taskCount;
    EXPECT_GT(hostThreads(), 1);
    EXPECT_EQ(slice(), -1);
    EXPECT_EQ(trace, "abort ");
    EXPECT_EQ(e.instance->abortMark, 1);
    EXPECT_EQ(e.host->threadList, nullptr);
    EXPECT_EQ(e.host->mainThread, nullptr);
    EXPECT_EQ(sched()->current, nullptr);
    EXPECT_EQ(sched()->taskCount, tasks);
    for (Task *t = sched()->taskList; t; t = t->nextTask)
        EXPECT_EQ(t->thread, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Fatal, AbortTest, ::testing::ValuesIn(fatalCases),
                         [](const ::testing::TestParamInfo<FatalCase> &i) { return i.param.name; });

void guiLock(void *arg)
{
    Lock_acquire(static_cast<Lock *>(arg));
}

void guiWait(void *arg)
{
    Sem_wait(static_cast<Sem *>(arg));
}

TEST_F(LockTest, GuiThreadMayTakeAUnitButNeverWaitOrLock)
{
    Sem s;
    Sem_init(ctx(), &s, 1, 1);
    EXPECT_EQ(TestEngine_catch(&e, guiWait, &s), 0); // a unit was there
    EXPECT_EQ(TestEngine_catch(&e, guiWait, &s), -1);
    EXPECT_EQ(e.instance->abortMark, 1);
    EXPECT_EQ(e.host->threadList, nullptr);
}

TEST_F(LockTest, GuiThreadLockAborts)
{
    Lock l;
    Lock_init(ctx(), &l);
    spawn("never", 1, [this] { log("ran"); });
    EXPECT_EQ(TestEngine_catch(&e, guiLock, &l), -1);
    EXPECT_EQ(e.host->threadList, nullptr);
    EXPECT_EQ(trace, "");
}

// --------------------------------------------------------------- semaphores

TEST_F(LockTest, SignalsWithoutWaitersCountUpToTheMaximum)
{
    Sem s;
    Sem_init(ctx(), &s, 0, 1);
    for (int i = 0; i < 3; i++)
        Sem_signal(&s);
    uint32_t count = 0;
    EXPECT_EQ(Sem_getCount(&s, &count), 0);
    EXPECT_EQ(count, 1u);
    Sem big;
    Sem_init(ctx(), &big, 2, 4);
    for (int i = 0; i < 5; i++)
        Sem_signal(&big);
    EXPECT_EQ(Sem_getCount(&big, &count), 0);
    EXPECT_EQ(count, 4u);
    spawn("A", 1, [&] {
        for (int i = 0; i < 4; i++)
            Sem_wait(&big);
        log("took4");
        Sem_wait(&big);
        log("took5");
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(Sem_getCount(&big, &count), 0);
    EXPECT_EQ(count, 0u);
    Sem_signal(&big); // straight to the waiter, not the count
    EXPECT_EQ(Sem_getCount(&big, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "took4 | took5 | ");
}

TEST_F(LockTest, SemaphoreWakesHigherPriorityFirstThenInArrivalOrder)
{
    Sem s;
    Sem_init(ctx(), &s, 0, 1);
    struct W {
        const char *name;
        int prio;
    } waiters[] = {{"a", 1}, {"b", 1}, {"c", 2}, {"d", 1}};
    for (W w : waiters)
        spawn(w.name, w.prio, [this, &s, w] {
            Sem_wait(&s);
            log(w.name);
        });
    EXPECT_EQ(slice(), 0);
    for (int i = 0; i < 4; i++)
        Sem_signal(&s);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| c a b d | ");
}

TEST_F(LockTest, SignalToAHigherPriorityWaiterSwitchesAtOnce)
{
    Sem s;
    Sem_init(ctx(), &s, 0, 1);
    spawn("H", 5, [&] {
        Sem_wait(&s);
        log("H");
    });
    spawn("E", 5, [&] {
        Sem_wait(&s);
        log("E");
    });
    spawn("L", 1, [&] {
        log("L0");
        Sem_signal(&s); // H outranks us: it runs now
        log("L1");
        Task_setPriority(Task_current(ctx()), 5);
        Sem_signal(&s); // E only equals us now: it waits its turn
        log("L2");
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "L0 H L1 L2 E | ");
}

// A signal that comes from inside the waiter's own switch (here from the
// clock read at its yield point) hands it the unit on the spot: the waiter
// goes on without leaving the processor.
TEST_F(LockTest, SignalDuringTheWaitersOwnSwitchEndsTheWaitInPlace)
{
    struct Hook {
        Sem *sem;
        int armed;
    };
    Sem s;
    Sem_init(ctx(), &s, 0, 1);
    Hook hook{&s, 0};
    Headless_setClockHook(
        e.host,
        [](void *p) {
            Hook *h = static_cast<Hook *>(p);
            if (h->armed) {
                h->armed = 0;
                Sem_signal(h->sem);
            }
        },
        &hook);
    spawn("W", 1, [&] {
        hook.armed = 1;
        Sem_wait(&s);
        log("woken");
    });
    spawn("X", 0, [this] { log("other"); });
    EXPECT_EQ(slice(), 0);
    Headless_setClockHook(e.host, nullptr, nullptr);
    EXPECT_EQ(trace, "woken other | ");
    uint32_t count = 9;
    EXPECT_EQ(Sem_getCount(&s, &count), 0);
    EXPECT_EQ(count, 0u);
}

// ------------------------------------------------------- reader/writer lock

TEST_F(LockTest, WriterWaitsForBothReadersAndThenBlocksNewReaders)
{
    RwLock rw;
    ASSERT_EQ(RwLock_init(ctx(), &rw), 0);
    Sem leave, writerDone;
    Sem_init(ctx(), &leave, 0, 2);
    Sem_init(ctx(), &writerDone, 0, 1);
    Task *writer = nullptr;
    for (const char *name : {"R1", "R2"}) {
        spawn(name, 1, [this, &rw, &leave, name] {
            RwLock_readLock(&rw);
            log(std::string(name) + "-in");
            Sem_wait(&leave);
            RwLock_readUnlock(&rw);
            log(std::string(name) + "-out");
        });
    }
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(rw.readers, 2);
    writer = spawn("W", 2, [&] {
        EXPECT_EQ(RwLock_writeLock(&rw, 0), Res_readersPresent);
        EXPECT_EQ(rw.lock.owner, nullptr);
        log("W-wait");
        EXPECT_EQ(RwLock_writeLock(&rw, 1), 0);
        log("W-in");
        Sem_wait(&writerDone);
        RwLock_writeUnlock(&rw);
        log("W-out");
    });
    EXPECT_EQ(slice(), 0);
    Sem_signal(&leave);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "R1-in R2-in | W-wait | R1-out | ");
    Sem_signal(&leave);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "R1-in R2-in | W-wait | R1-out | W-in R2-out | ");
    EXPECT_EQ(rw.lock.owner, writer);
    Task *r3 = spawn("R3", 3, [&] {
        RwLock_readLock(&rw);
        log("R3-in");
        RwLock_readUnlock(&rw);
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_TRUE(r3->flags & Task_lockWait);
    EXPECT_EQ(Task_getPriority(writer), 3); // the blocked reader lends its priority
    Sem_signal(&writerDone);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "R1-in R2-in | W-wait | R1-out | W-in R2-out | | R3-in W-out | ");
    EXPECT_EQ(rw.readers, 0);
    RwLock_fini(&rw);
}

TEST_F(LockTest, StoppedWriterGivesUpWithoutTheLock)
{
    RwLock rw;
    EXPECT_EQ(RwLock_init(ctx(), &rw), 0);
    Sem leave;
    Sem_init(ctx(), &leave, 0, 1);
    spawn("R", 1, [&] {
        RwLock_readLock(&rw);
        Sem_wait(&leave);
        RwLock_readUnlock(&rw);
    });
    Task *w = spawn("W", 1, [&] { log(str(RwLock_writeLock(&rw, 1))); });
    Task *w2 = spawn("W2", 1, [&] {
        RwLock_writeLockWait(&rw);
        log("W2-in");
        RwLock_writeUnlock(&rw);
    });
    (void)w2;
    EXPECT_EQ(slice(), 0);
    Task_requestStop(w);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(rw.lock.owner, nullptr);
    Sem_signal(&leave);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| 48 | W2-in | ");
}

// A mixed run of locks, semaphores, joins and yields, repeated: every round
// must give the same trace and leave nothing behind.
TEST_F(LockTest, MixedRunRepeatsExactly)
{
    std::string first;
    for (int round = 0; round < 60; round++) {
        trace.clear();
        Lock l;
        Lock_init(ctx(), &l);
        Sem s;
        Sem_init(ctx(), &s, 0, 100);
        RwLock rw;
        EXPECT_EQ(RwLock_init(ctx(), &rw), 0);
        Task *workers[4];
        for (int i = 0; i < 4; i++) {
            std::string name = "w" + str(i);
            workers[i] = spawn("W", i % 3, [this, &l, &s, &rw, name, i] {
                for (int k = 0; k < 3; k++) {
                    Lock_acquire(&l);
                    log(name + "L");
                    advance(30);
                    Task_yield(ctx());
                    Lock_release(&l);
                    if (i % 2) {
                        RwLock_readLock(&rw);
                        Task_reschedule(ctx());
                        RwLock_readUnlock(&rw);
                    } else {
                        RwLock_writeLockWait(&rw);
                        log(name + "W");
                        RwLock_writeUnlock(&rw);
                    }
                    Sem_signal(&s);
                }
            });
        }
        spawn("J", 1, [&] {
            for (int i = 0; i < 12; i++)
                Sem_wait(&s);
            for (Task *w : workers)
                EXPECT_EQ(Task_join(w), 0);
            log("J");
        });
        int slices = TestEngine_runAll(&e);
        ASSERT_GT(slices, 0);
        // The joiner is the last task: reap it too.
        ASSERT_EQ(sched()->taskCount, 1);
        EXPECT_EQ(Task_join(sched()->taskList), 0);
        spawn("R", 0, [] {});
        Task_detach(sched()->taskList);
        ASSERT_EQ(TestEngine_runAll(&e), 1);
        ASSERT_EQ(sched()->taskCount, 0);
        ASSERT_EQ(hostThreads(), 1);
        ASSERT_EQ(TestHeap_usedBytes(), baseline);
        if (round == 0)
            first = trace;
        ASSERT_EQ(trace, first) << "round " << round;
    }
    EXPECT_NE(first.find(" J "), std::string::npos);
}

} // namespace
