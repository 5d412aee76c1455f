// Task lifecycle: creation and its failures, ending, join, detach and
// reaping (records freed, threads joined), tasks that never run, stop
// requests, and the stack left to a task.
#include <cstdint>

#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/task_fixture.h"

namespace {

using TaskLifeTest = TaskFixture;

void noop(void *) {}

TEST_F(TaskLifeTest, CreateRefusesMissingArgumentsAndLeavesNothing)
{
    Task *t = reinterpret_cast<Task *>(uintptr_t(16));
    EXPECT_EQ(Task_create(ctx(), nullptr, 1, noop, nullptr, "x", 0), Res_missingArgument);
    EXPECT_EQ(Task_create(ctx(), &t, 1, nullptr, nullptr, "x", 0), Res_missingArgument);
    EXPECT_EQ(t, nullptr);
    t = reinterpret_cast<Task *>(uintptr_t(16));
    EXPECT_EQ(Task_create(nullptr, &t, 1, noop, nullptr, "x", 0), Res_missingArgument);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(sched()->taskCount, 0);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(TaskLifeTest, CreateFailsCleanlyWithoutMemoryOrThread)
{
    Task *t = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(Task_create(ctx(), &t, 1, noop, nullptr, "x", 0), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(t, nullptr);
    // No GUI thread registered: the platform cannot make a thread that could
    // ever hand the baton back.
    HostThreadRec *gui = e.host->mainThread;
    e.host->mainThread = nullptr;
    EXPECT_EQ(Task_create(ctx(), &t, 1, noop, nullptr, "x", 0), Res_noMemory);
    e.host->mainThread = gui;
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(sched()->taskCount, 0);
    EXPECT_EQ(sched()->readyQueue, nullptr);
    EXPECT_EQ(hostThreads(), 1);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(TaskLifeTest, NewTaskIsReadyWithItsOwnThread)
{
    Task *t = spawn("N", 4, [] {});
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(sched()->readyQueue, t);
    EXPECT_EQ(sched()->taskList, t);
    EXPECT_EQ(sched()->taskCount, 1);
    EXPECT_EQ(sched()->runnable, 1);
    EXPECT_EQ(t->state, 1);
    EXPECT_EQ(t->basePriority, 4);
    EXPECT_EQ(t->priority, 4);
    EXPECT_EQ(t->completion.owner, t);
    EXPECT_TRUE(t->flags & Task_ownThread);
    EXPECT_NE(t->thread, nullptr);
    EXPECT_EQ(hostThreads(), 2);
    Task_setName(t, "renamed");
    EXPECT_STREQ(t->name, "renamed");
}

TEST_F(TaskLifeTest, CurrentTaskAndContextFromTasksAndTheGuiThread)
{
    Task *t = nullptr;
    t = spawn("C", 1, [&] {
        EXPECT_EQ(Task_current(ctx()), t);
        EXPECT_EQ(Task_current(nullptr), t);
        EXPECT_EQ(Task_hasCurrent(nullptr), 1);
        EXPECT_EQ(Task_getSchedulerCtx(nullptr), ctx());
        EXPECT_EQ(Task_getSchedulerCtx(t), ctx());
    });
    EXPECT_EQ(Task_current(ctx()), nullptr);
    EXPECT_EQ(Task_hasCurrent(ctx()), 0);
    EXPECT_EQ(Task_getSchedulerCtx(nullptr), ctx());
    EXPECT_EQ(slice(), 0);
}

// A task that ends is reaped: record freed, thread joined, counts back.
TEST_F(TaskLifeTest, DetachedTaskIsReapedWhenItEnds)
{
    int ran = 0;
    Task *t = spawn("D", 1, [&] { ran++; });
    EXPECT_EQ(Task_detach(t), 0);
    EXPECT_TRUE(t->flags & Task_detached);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(sched()->taskCount, 0);
    EXPECT_EQ(sched()->taskList, nullptr);
    EXPECT_EQ(sched()->reapList, nullptr);
    EXPECT_EQ(hostThreads(), 1);
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(TaskLifeTest, JoiningAnEndedTaskReturnsAtOnceAndASecondJoinIsRefused)
{
    Task *t = spawn("E", 1, [] {});
    EXPECT_EQ(slice(), 0);
    EXPECT_TRUE(t->flags & Task_ended);
    EXPECT_TRUE(t->flags & Task_stopRequested);
    EXPECT_EQ(sched()->finishedList, t);
    EXPECT_EQ(hostThreads(), 2); // waits to be joined
    EXPECT_EQ(Task_join(t), 0);  // from the GUI thread: no wait needed
    EXPECT_EQ(Task_join(t), Res_notJoinable);
    EXPECT_EQ(sched()->finishedList, nullptr);
    EXPECT_EQ(sched()->reapList, t);
    // Reaped by the next thread that runs after a switch.
    spawn("F", 1, [] {});
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(sched()->reapList, nullptr);
    EXPECT_EQ(sched()->taskCount, 1);
    EXPECT_EQ(hostThreads(), 2);
}

TEST_F(TaskLifeTest, JoinWaitsForTheTaskThenReapsIt)
{
    Task *worker = nullptr;
    worker = spawn("W", 1, [this] {
        log("w0");
        advance(50);
        Task_yield(ctx());
        log("w1");
    });
    spawn("J", 1, [&] {
        log("join");
        EXPECT_EQ(Task_join(worker), 0);
        log("joined");
        EXPECT_EQ(sched()->reapList, worker);
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "w0 join w1 joined | ");
    EXPECT_EQ(sched()->taskCount, 1); // the joiner waits in the finished list
    EXPECT_EQ(hostThreads(), 2);
}

TEST_F(TaskLifeTest, SecondJoinerIsRefused)
{
    Sem gate;
    Sem_init(ctx(), &gate, 0, 1);
    Task *target = spawn("T", 1, [&] { Sem_wait(&gate); });
    spawn("J1", 1, [&] { EXPECT_EQ(Task_join(target), 0); });
    spawn("J2", 1, [&] { log(std::to_string(Task_join(target))); });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "34 | ");
    Sem_signal(&gate);
    EXPECT_EQ(slice(), 0);
}

TEST_F(TaskLifeTest, TaskThatNeverRanIsDestroyedWithoutRunning)
{
    int ran = 0;
    spawn("never", 1, [&] { ran = 1; });
    spawn("never2", 5, [&] { ran = 1; });
    EXPECT_EQ(hostThreads(), 3);
    HostThread_destroyAll(e.host);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(e.host->threadList, nullptr);
}

TEST_F(TaskLifeTest, ManyTasksComeAndGo)
{
    for (int round = 0; round < 50; round++) {
        int ran = 0;
        for (int i = 0; i < 8; i++)
            Task_detach(spawn("M", i % 3, [&] {
                ran++;
                Task_reschedule(ctx());
                ran++;
            }));
        ASSERT_EQ(TestEngine_runAll(&e), 1);
        ASSERT_EQ(ran, 16);
        ASSERT_EQ(sched()->taskCount, 0);
        ASSERT_EQ(hostThreads(), 1);
        ASSERT_EQ(TestHeap_usedBytes(), baseline);
    }
}

// ----------------------------------------------------------- stop requests

TEST_F(TaskLifeTest, CheckStopSeesARequestUntilCleared)
{
    Task *t = nullptr;
    t = spawn("S", 1, [&] {
        log(std::to_string(Task_checkStop(ctx())));
        EXPECT_EQ(Task_requestStop(t), 0);
        EXPECT_EQ(Task_requestStop(t), 0); // already requested
        log(std::to_string(Task_checkStop(ctx())));
        Task_clearStop(ctx());
        log(std::to_string(Task_checkStop(ctx())));
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "0 48 0 | ");
    EXPECT_EQ(Task_checkStop(ctx()), 0); // the GUI thread is no task
    EXPECT_EQ(Task_requestStop(nullptr), Res_missingArgument);
}

// A stop request wakes a task in a stoppable wait ahead of the other waiters,
// and the wait returns 48.
TEST_F(TaskLifeTest, StopRequestWakesAStoppableWaitFirst)
{
    Sem sem;
    Sem_init(ctx(), &sem, 0, 5);
    Task *w[3];
    for (int i = 0; i < 3; i++) {
        std::string name = "w" + std::to_string(i);
        w[i] = spawn("W", 1, [this, &sem, name] {
            int r = Sem_waitStoppable(&sem);
            log(name + ":" + std::to_string(r));
        });
    }
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(sem.waitQueue, w[0]);
    EXPECT_EQ(Task_requestStop(w[2]), 0);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| w2:48 | ");
    Sem_signal(&sem);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| w2:48 | w0:0 | ");
    uint32_t count = 9;
    EXPECT_EQ(Sem_getCount(&sem, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(sem.waitQueue, w[1]);
    // A stop requested before the wait ends it at once.
    Task *late = spawn("L", 1, [&] {
        Task_requestStop(Task_current(ctx()));
        log(std::to_string(Sem_waitStoppable(&sem)));
    });
    (void)late;
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| w2:48 | w0:0 | 48 | ");
    Task_requestStop(w[1]);
    EXPECT_EQ(slice(), 0);
}

// A task woken by a real signal but stopped before it runs reports the stop;
// the unit it was handed goes on to the next waiter, so none is lost.
TEST_F(TaskLifeTest, UnitOfAStoppedWaiterIsPassedOn)
{
    Sem sem;
    Sem_init(ctx(), &sem, 0, 5);
    Task *a = spawn("A", 1, [&] { log("a:" + std::to_string(Sem_waitStoppable(&sem))); });
    spawn("B", 1, [&] { log("b:" + std::to_string(Sem_waitStoppable(&sem))); });
    EXPECT_EQ(slice(), 0);
    Sem_signal(&sem); // A gets the unit
    EXPECT_EQ(a->flags & Task_semWait, 0u);
    Task_requestStop(a);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "| a:48 b:0 | ");
    uint32_t count = 9;
    EXPECT_EQ(Sem_getCount(&sem, &count), 0);
    EXPECT_EQ(count, 0u);
}

// ------------------------------------------------------------------- stack

int recurse(EngineContext *c, int depth, size_t *deepest)
{
    volatile char pad[512];
    pad[0] = char(depth);
    if (depth == 0) {
        *deepest = Task_stackLeft(c, nullptr);
        return pad[0];
    }
    return recurse(c, depth - 1, deepest) + pad[0];
}

TEST_F(TaskLifeTest, StackLeftIsMeasuredOnTheRealStack)
{
    Task *other = spawn("O", 0, [] {});
    size_t top = 0, deep = 0;
    spawn("S", 1, [&] {
        top = Task_stackLeft(ctx(), nullptr);
        recurse(ctx(), 100, &deep);
        EXPECT_GE(Task_stackLeft(ctx(), other), size_t(HostThread_minStack));
    });
    EXPECT_EQ(Task_stackLeft(ctx(), nullptr), 0u); // the GUI thread is no task
    EXPECT_EQ(slice(), 0);
    EXPECT_GT(top, size_t(128 * 1024));
    EXPECT_LT(deep + 100 * 512, top);
}

} // namespace

// ------------------------------------------------------- scheduler set-up

namespace {

int installs = 0;
void countingInstaller(EngineInstance *)
{
    installs++;
}

TEST(SchedulerSetUp, InitNeedsAContextAndMemoryAndFiniUndoesIt)
{
    TestHeap heap;
    ASSERT_TRUE(TestHeap_open(&heap, 0, 0));
    EngineInstance *inst = heap.instance;
    size_t empty = TestHeap_usedBytes();
    installs = 0;
    EXPECT_EQ(Task_initScheduler(inst, countingInstaller), Res_noMemory); // no context
    EXPECT_EQ(installs, 0);
    EngineContext *context = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ASSERT_NE(context, nullptr);
    inst->context = context;
    size_t withContext = TestHeap_usedBytes();
    Mem_failAfter(1);
    EXPECT_EQ(Task_initScheduler(inst, countingInstaller), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(inst->scheduler, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), withContext);

    ASSERT_EQ(Task_initScheduler(inst, countingInstaller), 0);
    EXPECT_EQ(installs, 1);
    ASSERT_NE(inst->scheduler, nullptr);
    EXPECT_EQ(context->scheduler, inst->scheduler);
    EXPECT_EQ(inst->scheduler->instance, inst);
    Task_finiScheduler(inst);
    EXPECT_EQ(inst->scheduler, nullptr);
    EXPECT_EQ(context->scheduler, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), withContext);

    // Shut-down may free the context before the scheduler goes.
    ASSERT_EQ(Task_initScheduler(inst, countingInstaller), 0);
    inst->context = nullptr;
    Mem_free(context);
    EXPECT_EQ(Task_current(nullptr), nullptr);
    Task_finiScheduler(inst);
    EXPECT_EQ(inst->scheduler, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), empty);
    TestHeap_close(&heap);
}

} // namespace
