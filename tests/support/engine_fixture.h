// A GoogleTest fixture for engine start-up tests: a headless host with a
// hand-driven clock, an engine started through the host event interface
// with the TestApp entry, and a log that deferred calls and callbacks
// append to (only one engine thread runs at a time, so it needs no lock).
// Tear-down stops a running engine and checks that every host block came
// back and no host thread is left.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/task/task.h"
#include "host/headless/headless.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "tests/support/test_app.h"

class EngineFixture : public ::testing::Test {
  public:
    static std::string &log()
    {
        static std::string text;
        return text;
    }
    // A deferred call that logs its argument (a C string) and the task it
    // ran on.
    static void logCall(EngineInstance *instance, void *arg)
    {
        log() += static_cast<const char *>(arg);
        log() += "@";
        log() += TestApp_currentTaskName(instance);
        log() += " ";
    }
    static void note(const std::string &s)
    {
        log() += s;
        log() += " ";
    }

  protected:
    void SetUp() override
    {
        host = Headless_createContext(size_t(2) << 20);
        ASSERT_NE(host, nullptr);
        Headless_setCurrent(host);
        Headless_setManualClock(host, 1);
        Headless_captureDebug(host, 1);
        log().clear();
    }
    void TearDown() override
    {
        if (host->instance)
            Engine_stop(host->instance);
        EXPECT_EQ(host->instance, nullptr);
        EXPECT_EQ(Headless_blocksHeld(host), 0);
        EXPECT_EQ(host->threadList, nullptr);
        Headless_destroyContext(host);
    }

    // Starts the engine and runs its first slice, in which the application
    // thread reports ready and enters its loop.
    void start()
    {
        ASSERT_EQ(TestApp_start(host, &app), 1);
        inst = host->instance;
        ASSERT_NE(inst, nullptr);
        ASSERT_EQ(Headless_fireTimer(host), 1);
        ASSERT_EQ(Headless_requestsOf(host, Engine_requestReady), 1);
    }
    // Fires the host timer once; 0 when it was not armed.
    int fire()
    {
        return Headless_fireTimer(host);
    }
    bool armed(int64_t *due = nullptr)
    {
        return Headless_timerArmed(host, nullptr, due) != 0;
    }
    int64_t now()
    {
        return AlienTimer_getMs(host);
    }

    HostContext *host = nullptr;
    EngineInstance *inst = nullptr;
    TestApp app{};
};
