// A GoogleTest fixture for scheduler tests: a test engine with a manual
// clock, tasks whose bodies are lambdas, and a trace that tasks and the GUI
// thread append to. Only the holder of the baton runs, so the trace needs
// no lock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/task/lock.h"
#include "core/task/task.h"
#include "host/headless/headless.h"
#include "platform/host/hostthread.h"
#include "tests/support/test_engine.h"

class TaskFixture : public ::testing::Test {
  protected:
    struct Actor {
        std::function<void()> body;
    };

    static void actorMain(void *arg)
    {
        static_cast<Actor *>(arg)->body();
    }

    void SetUp() override
    {
        ASSERT_TRUE(TestEngine_open(&e));
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        TestEngine_close(&e);
    }

    // A new ready task running body; fails the test when it cannot be made.
    Task *spawn(const char *name, int32_t priority, std::function<void()> body)
    {
        actors.push_back(std::make_unique<Actor>(Actor{std::move(body)}));
        Task *t = nullptr;
        EXPECT_EQ(Task_create(e.context, &t, priority, actorMain, actors.back().get(), name, 4096),
                  0);
        return t;
    }

    void log(const std::string &s)
    {
        trace += s;
        trace += ' ';
    }
    // Runs one slice and marks its end in the trace; returns its result.
    int slice()
    {
        int r = TestEngine_runSlice(&e);
        log(r < 0 ? "abort" : "|");
        return r;
    }
    void advance(int64_t ms)
    {
        Headless_advanceClock(e.host, ms);
    }
    EngineContext *ctx()
    {
        return e.context;
    }
    Scheduler *sched()
    {
        return e.scheduler;
    }
    int hostThreads()
    {
        int n = 0;
        for (HostThreadRec *r = e.host->threadList; r; r = r->next)
            n++;
        return n;
    }
    static bool inQueue(Task *queue, Task *t)
    {
        for (; queue; queue = queue->queueLink)
            if (queue == t)
                return true;
        return false;
    }

    TestEngine e{};
    size_t baseline = 0;
    std::string trace;
    std::vector<std::unique_ptr<Actor>> actors;
};
