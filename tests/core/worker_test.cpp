// The worker pool: worker numbering, the admission rule per class, stack
// choice, queue order, cancel, wait, detach and the pool's shut-down, with
// jobs that block on semaphores of their own so that each test decides
// which workers are busy.
#include <cstdint>
#include <deque>
#include <string>

#include "core/result.h"
#include "core/task/worker.h"
#include "tests/support/task_fixture.h"

namespace {

class PoolTest : public TaskFixture {
  protected:
    struct Job {
        PoolTest *test;
        std::string name;
        int block; // 0 runs through; 1 waits on gate; 2 waits stoppably
        Sem gate;
        int runs = 0;
        int dones = 0;
        int waitResult = -1;
        int ranOn = -1; // slot index
        WorkerJob *handle = nullptr;
    };

    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(Worker_initPool(ctx()), 0);
        pool = ctx()->workers;
    }
    void TearDown() override
    {
        if (ctx()->workers)
            run([this] { Worker_shutdownPool(ctx()); });
        EXPECT_EQ(ctx()->workers, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }

    // Runs fn on a detached task above the workers' priority, then every
    // slice: the jobs it submits start after it.
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }

    Job *job(const std::string &name, int block = 0)
    {
        jobs.push_back(Job{this, name, block});
        Sem_init(ctx(), &jobs.back().gate, 0, 1);
        return &jobs.back();
    }
    // From a task.
    int submit(Job *j, int32_t cls, size_t stack)
    {
        return Worker_submit(ctx(), &j->handle, cls, entry, j, done, stack, j->name.c_str());
    }
    void release(Job *j)
    {
        Sem_signal(&j->gate);
        TestEngine_runAll(&e);
    }
    int slotOf(const Job *j)
    {
        if (!j->handle || !j->handle->slot)
            return -1;
        return int(j->handle->slot - pool->slots);
    }

    static void entry(void *arg)
    {
        Job *j = static_cast<Job *>(arg);
        PoolTest *t = j->test;
        j->runs++;
        Task *self = Task_current(t->ctx());
        for (int i = 0; i < Worker_count; i++)
            if (t->pool->slots[i].task == self)
                j->ranOn = i;
        EXPECT_EQ(std::string(self->name), j->name); // the worker takes the job's name
        t->log(j->name);
        if (j->block == 1)
            Sem_wait(&j->gate);
        else if (j->block == 2)
            j->waitResult = Sem_waitStoppable(&j->gate);
    }
    static void done(void *arg)
    {
        static_cast<Job *>(arg)->dones++;
    }

    WorkerPool *pool = nullptr;
    std::deque<Job> jobs;
};

TEST_F(PoolTest, WorkersAreNumberedBySortedStack)
{
    const size_t expected[Worker_count] = {4096, 4096, 4096, 4096, 16384, 16384, 18432, 18432};
    for (int i = 0; i < Worker_count; i++) {
        const WorkerSlot &s = pool->slots[i];
        EXPECT_EQ(s.stackBytes, expected[i]) << i;
        EXPECT_EQ(std::string(s.name), "Worker" + std::to_string(i));
        EXPECT_EQ(std::string(s.task->name), s.name);
        EXPECT_EQ(Task_getPriority(s.task), 1);
        EXPECT_EQ(s.job, nullptr);
    }
    EXPECT_EQ(pool->idle, 8);
    EXPECT_EQ(Worker_initPool(ctx()), Res_slotInUse);
}

// A job of class c starts only while at least 3 - c workers are idle.
TEST_F(PoolTest, AdmissionRulePerClass)
{
    for (int idle = 0; idle <= 3; idle++) {
        for (int32_t cls = 0; cls < Worker_classes; cls++) {
            std::deque<Job *> blockers;
            Job *probe = job("probe", 0);
            run([&] {
                for (int i = 0; i < Worker_count - idle; i++) {
                    blockers.push_back(job("blocker", 1));
                    ASSERT_EQ(submit(blockers.back(), 2, 0), 0);
                }
                ASSERT_EQ(pool->idle, idle);
                ASSERT_EQ(submit(probe, cls, 0), 0);
            });
            bool started = idle >= 3 - cls;
            EXPECT_EQ(probe->runs, started ? 1 : 0) << "idle " << idle << " class " << cls;
            // A waiting probe starts once enough workers are idle.
            release(blockers.front());
            EXPECT_EQ(probe->runs, idle + 1 >= 3 - cls ? 1 : 0)
                << "idle " << idle << " class " << cls;
            for (Job *b : blockers)
                Sem_signal(&b->gate);
            TestEngine_runAll(&e);
            EXPECT_EQ(probe->runs, 1) << "idle " << idle << " class " << cls;
            run([&] {
                for (Job *b : blockers)
                    Worker_waitAndFree(b->handle);
                Worker_waitAndFree(probe->handle);
            });
            EXPECT_EQ(pool->idle, 8);
        }
    }
}

TEST_F(PoolTest, JobTakesTheFirstIdleWorkerWithEnoughStack)
{
    struct Case {
        size_t stack;
        int slot;
    };
    const Case cases[] = {{0, 0}, {4096, 0}, {4097, 4}, {16384, 4}, {16385, 6}, {18432, 6}};
    for (const Case &c : cases) {
        Job *j = job("sized");
        run([&] { ASSERT_EQ(submit(j, 0, c.stack), 0); });
        EXPECT_EQ(j->ranOn, c.slot) << c.stack;
        EXPECT_EQ(std::string(pool->slots[c.slot].task->name), pool->slots[c.slot].name);
        run([&] { Worker_waitAndFree(j->handle); });
    }
}

// A job no worker can run is refused instead of waiting for ever.
TEST_F(PoolTest, StackNoWorkerHasIsRefusedAtSubmit)
{
    Job *j = job("huge");
    run([&] {
        size_t before = TestHeap_usedBytes();
        j->handle = reinterpret_cast<WorkerJob *>(1);
        EXPECT_EQ(submit(j, 2, 18433), Res_jobStackTooLarge);
        EXPECT_EQ(j->handle, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        EXPECT_EQ(submit(j, 3, 0), Res_missingArgument);
        EXPECT_EQ(Worker_submit(ctx(), &j->handle, 0, nullptr, j, nullptr, 0, "x"),
                  Res_missingArgument);
        EXPECT_EQ(Worker_submit(ctx(), nullptr, 0, entry, j, nullptr, 0, "x"), Res_missingArgument);
    });
    EXPECT_EQ(j->dones, 0);
}

// Queued jobs of one class start in submission order as stacks allow; a job
// needing a large stack does not hold up smaller ones behind it.
TEST_F(PoolTest, QueueOrderAndLargeStacksDoNotBlockSmallJobs)
{
    Job *blockers[Worker_count];
    Job *big = job("big"), *small1 = job("small1"), *small2 = job("small2");
    run([&] {
        for (int i = 0; i < Worker_count; i++) {
            blockers[i] = job("blocker" + std::to_string(i), 1);
            ASSERT_EQ(submit(blockers[i], 2, 0), 0);
        }
        ASSERT_EQ(submit(big, 2, 18432), 0);
        ASSERT_EQ(submit(small1, 2, 4096), 0);
        ASSERT_EQ(submit(small2, 2, 4096), 0);
    });
    trace.clear();
    release(blockers[0]);
    EXPECT_EQ(trace, "small1 small2 ");
    EXPECT_EQ(big->runs, 0);
    release(blockers[7]);
    EXPECT_EQ(trace, "small1 small2 big ");
    EXPECT_EQ(big->ranOn, 7);
    for (int i = 1; i < 7; i++)
        Sem_signal(&blockers[i]->gate);
    TestEngine_runAll(&e);
    run([&] {
        for (Job &j : jobs)
            Worker_waitAndFree(j.handle);
    });
}

// A job held back by the admission rule starts as soon as a worker frees
// up, even when only another, sleeping worker has the stack for it.
TEST_F(PoolTest, HeldBackJobGoesToAnIdleWorkerThatFits)
{
    Job *blockers[6];
    Job *big = job("big");
    run([&] {
        for (int i = 0; i < 6; i++) {
            blockers[i] = job("blocker", 1);
            ASSERT_EQ(submit(blockers[i], 2, i < 4 ? 4096 : 16384), 0);
        }
        ASSERT_EQ(pool->idle, 2); // workers 6 and 7
        ASSERT_EQ(submit(big, 0, 18432), 0);
    });
    EXPECT_EQ(big->runs, 0);
    release(blockers[0]); // idle 3, but worker 0 is too small
    EXPECT_EQ(big->runs, 1);
    EXPECT_EQ(big->ranOn, 6);
    for (int i = 1; i < 6; i++)
        Sem_signal(&blockers[i]->gate);
    TestEngine_runAll(&e);
    run([&] {
        for (Job &j : jobs)
            Worker_waitAndFree(j.handle);
    });
}

TEST_F(PoolTest, CancelQueuedJobCallsItsDoneCallbackOnce)
{
    Job *blockers[Worker_count];
    Job *queued = job("queued"), *detachedJob = job("detached");
    run([&] {
        for (int i = 0; i < Worker_count; i++) {
            blockers[i] = job("blocker", 1);
            ASSERT_EQ(submit(blockers[i], 2, 0), 0);
        }
        ASSERT_EQ(submit(queued, 1, 0), 0);
        ASSERT_EQ(submit(detachedJob, 1, 0), 0);
        EXPECT_EQ(Worker_cancel(queued->handle), 0);
        EXPECT_EQ(queued->dones, 1);
        EXPECT_EQ(Worker_cancel(queued->handle), 0);
        EXPECT_EQ(queued->dones, 1);
        // A detached job cancelled while queued is freed with it.
        Worker_detach(detachedJob->handle);
        EXPECT_EQ(Worker_cancel(detachedJob->handle), 0);
        EXPECT_EQ(detachedJob->dones, 1);
    });
    for (Job *b : blockers)
        Sem_signal(&b->gate);
    TestEngine_runAll(&e);
    run([&] {
        Worker_waitAndFree(queued->handle); // no second done callback
        for (Job *b : blockers)
            Worker_waitAndFree(b->handle);
    });
    EXPECT_EQ(queued->runs, 0);
    EXPECT_EQ(queued->dones, 1);
    EXPECT_EQ(detachedJob->runs, 0);
}

// Cancelling a running job asks its worker to stop; the request ends with
// the job, so the worker's next job runs normally.
TEST_F(PoolTest, CancelRunningJobStopsItOnly)
{
    Job *first = job("first", 2), *second = job("second", 2);
    run([&] { ASSERT_EQ(submit(first, 2, 0), 0); });
    EXPECT_EQ(first->runs, 1);
    run([&] { EXPECT_EQ(Worker_cancel(first->handle), 0); });
    EXPECT_EQ(first->waitResult, Res_stopRequested);
    EXPECT_EQ(first->dones, 1);
    EXPECT_FALSE(pool->slots[0].task->flags & Task_stopRequested);
    run([&] {
        Worker_cancel(first->handle); // done: nothing happens
        ASSERT_EQ(submit(second, 2, 0), 0);
    });
    EXPECT_EQ(second->ranOn, 0);
    EXPECT_EQ(second->waitResult, -1); // still waiting, not stopped
    release(second);
    EXPECT_EQ(second->waitResult, 0);
    run([&] {
        Worker_waitAndFree(first->handle);
        Worker_waitAndFree(second->handle);
    });
}

TEST_F(PoolTest, WaitAndFreeWaitsForARunningJob)
{
    Job *j = job("slow", 1);
    run([&] { ASSERT_EQ(submit(j, 2, 0), 0); });
    Task_detach(spawn("waiter", 0, [&] {
        log("wait");
        Worker_waitAndFree(j->handle);
        log("freed");
    }));
    TestEngine_runAll(&e);
    EXPECT_EQ(trace, "slow wait ");
    release(j);
    EXPECT_EQ(trace, "slow wait freed ");
    EXPECT_EQ(j->dones, 1);
}

TEST_F(PoolTest, DetachedJobsAreFreedWhenDone)
{
    Job *running = job("running", 1), *finished = job("finished");
    run([&] {
        ASSERT_EQ(submit(running, 2, 0), 0);
        ASSERT_EQ(submit(finished, 2, 0), 0);
    });
    run([&] {
        Worker_detach(running->handle);  // freed by its worker later
        Worker_detach(finished->handle); // done: freed now
    });
    release(running);
    EXPECT_EQ(running->dones, 1);
    EXPECT_EQ(finished->dones, 1);
}

// Stopping the pool runs the done callback of every job exactly once: of
// the running ones after they end, of the queued ones without running
// them, including a job held back by the admission rule that only a
// worker with a large stack could take.
TEST_F(PoolTest, StoppingRunsEveryDoneCallbackOnce)
{
    Job *late = job("late");
    run([&] {
        for (int i = 0; i < 6; i++)
            ASSERT_EQ(submit(job("busy", 2), 2, i < 4 ? 4096 : 16384), 0);
        ASSERT_EQ(submit(job("held", 0), 0, 18432), 0); // idle 2: waits
        ASSERT_EQ(submit(job("q1", 0), 1, 4096), 0);    // idle 2: starts on worker 6
        ASSERT_EQ(submit(job("q2", 0), 1, 4096), 0);    // idle 1: waits
        ASSERT_EQ(submit(job("q3", 0), 0, 0), 0);
        ASSERT_EQ(submit(job("urgent", 2), 2, 0), 0); // idle 1: starts on worker 7
    });
    EXPECT_EQ(pool->idle, 1); // q1 is done; q2 waits for a second idle worker
    run([&] {
        Worker_stopAll(ctx());
        EXPECT_EQ(submit(late, 2, 0), Res_poolStopping);
        EXPECT_EQ(late->handle, nullptr);
        Worker_joinAll(ctx());
    });
    for (Job &j : jobs) {
        if (&j == late)
            continue;
        EXPECT_EQ(j.dones, 1) << j.name;
        EXPECT_TRUE(j.handle->done) << j.name;
        if (j.block == 2) {
            EXPECT_EQ(j.runs, 1) << j.name;
            EXPECT_EQ(j.waitResult, Res_stopRequested) << j.name;
        } else {
            EXPECT_EQ(j.runs, j.name == "q1" ? 1 : 0) << j.name;
        }
    }
    EXPECT_EQ(late->dones, 0);
    run([&] {
        for (Job &j : jobs)
            Worker_waitAndFree(j.handle);
        Worker_destroyPool(ctx());
    });
}

// Set-up that runs out of memory, or gets no task, takes down what it made.
TEST_F(PoolTest, InitFailureLeavesNothingBehind)
{
    run([&] { Worker_shutdownPool(ctx()); });
    size_t before = TestHeap_usedBytes();
    int succeeded = 0;
    for (uint64_t n = 1; !succeeded && n < 100; n++) {
        run([&] {
            Mem_failAfter(n);
            int r = Worker_initPool(ctx());
            Mem_failAfter(0);
            if (r == 0) {
                succeeded = 1;
                Worker_shutdownPool(ctx());
            } else {
                EXPECT_EQ(r, Res_noMemory);
                EXPECT_EQ(ctx()->workers, nullptr);
            }
        });
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
    }
    EXPECT_TRUE(succeeded);
    // The same on the GUI thread, which cannot wait for the workers to end.
    Mem_failAfter(4);
    EXPECT_EQ(Worker_initPool(ctx()), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(ctx()->workers, nullptr);
    run([] {}); // the next switch reaps the joined workers
    EXPECT_EQ(TestHeap_usedBytes(), before);
}

} // namespace
