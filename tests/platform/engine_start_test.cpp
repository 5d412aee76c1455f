// Engine start-up and shut-down through the host event interface: the
// whole round trip, stop hooks, failed starts, the fatal-error path, the
// send guard and the recovery point.
#include <gtest/gtest.h>

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "platform/host/hostthread.h"
#include "tests/support/engine_fixture.h"

namespace {

class EngineStartTest : public EngineFixture {};

TEST_F(EngineStartTest, StartPostThreeCallsStopAndEveryBlockComesBack)
{
    ASSERT_EQ(TestApp_start(host, &app), 1);
    inst = host->instance;
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(Engine_isLive(inst), 1);
    // The start arms the timer for 20 ms with work pending.
    int64_t due = 0;
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now() + 20);
    EXPECT_EQ(inst->runState, Engine_busy);
    EXPECT_EQ(Headless_requestCount(host), 0);
    // The host's settings took: queue options 0, 0 and slice 100.
    EXPECT_EQ(inst->queue->ring->keyLimit, 8);
    EXPECT_EQ(inst->scheduler->sliceMs, 100);
    EXPECT_EQ(inst->timerPeriod, 0);

    // First slice: the application thread reports ready and sleeps.
    ASSERT_EQ(fire(), 1);
    ASSERT_EQ(Headless_requestCount(host), 1);
    EXPECT_EQ(Headless_request(host, 0).code, 0x10004);
    EXPECT_EQ(Headless_request(host, 0).record, &app.readyRecord);
    EXPECT_EQ(inst->runState, Engine_idle);
    EXPECT_FALSE(armed());

    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("a"), nullptr), 0);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("b"), nullptr), 0);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("c"), nullptr), 0);
    EXPECT_EQ(log(), "");
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now()); // period 0
    EXPECT_EQ(inst->runState, Engine_busyAndTimers);
    ASSERT_EQ(fire(), 1);
    EXPECT_EQ(log(), "a@SimpleAppThread b@SimpleAppThread c@SimpleAppThread ");

    EXPECT_EQ(Engine_stop(inst), 1);
    EXPECT_EQ(app.loopEnded, 1);
    EXPECT_EQ(host->instance, nullptr);
    EXPECT_EQ(Headless_blocksHeld(host), 0);
    EXPECT_EQ(host->threadList, nullptr);
    EXPECT_FALSE(armed());
    // A second stop, and any later host event, is refused harmlessly.
    EXPECT_EQ(Engine_stop(inst), 0);
    EXPECT_EQ(Engine_keyPress(inst, 65, 0), 0);
    EXPECT_EQ(Engine_timerExpired(inst, 1), 0);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("d"), nullptr), 1);
    EXPECT_EQ(Headless_blocksHeld(host), 0);
}

TEST_F(EngineStartTest, ShutDownRunsTheCloseEventOnTheApplicationThreadFirst)
{
    static AppCloseHook first, second;
    first.close = [](AppCloseHook *, EngineInstance *i) {
        note(std::string("hook1@") + TestApp_currentTaskName(i));
    };
    second.close = [](AppCloseHook *, EngineInstance *) { note("hook2"); };
    app.callbacks.close = [](EngineInstance *i) {
        note(std::string("close@") + TestApp_currentTaskName(i));
        return 1;
    };
    start();
    inst->closeHooks[0] = &first;
    inst->closeHooks[1] = &second;
    // Events still queued when the stop comes are disposed of, not run.
    static int disposed;
    disposed = 0;
    App_postCall(inst, logCall, const_cast<char *>("late"), [](void *) { disposed++; });
    int32_t id = 0;
    ASSERT_EQ(ExitList_add(
                  inst->exitList, [](void *, void *) { note("exit1"); }, nullptr, &id),
              0);
    ASSERT_EQ(ExitList_add(
                  inst->exitList, [](void *, void *) { note("exit2"); }, nullptr, &id),
              0);
    ASSERT_EQ(ExitList_add(
                  inst->exitList, [](void *, void *) { note("gone"); }, nullptr, &id),
              0);
    ExitList_remove(inst->exitList, &id);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Engine_stop(inst), 1);
    EXPECT_EQ(log(), "hook2 hook1@SimpleAppThread close@SimpleAppThread exit2 exit1 ");
    EXPECT_EQ(disposed, 1);
    EXPECT_EQ(app.loopEnded, 1);
}

TEST_F(EngineStartTest, CloseWithoutSlotFourStillEndsTheLoop)
{
    start();
    EXPECT_EQ(Engine_stop(inst), 1);
    EXPECT_EQ(app.loopEnded, 1);
}

TEST_F(EngineStartTest, AStopHookThatRefusesKeepsTheEngineRunning)
{
    static int allow;
    allow = 0;
    start();
    ASSERT_EQ(App_addStopHook(inst, [](EngineInstance *) { return allow; }), 0);
    EXPECT_EQ(Engine_canStop(inst, 0), 0);
    EXPECT_EQ(Engine_stop(inst), 0);
    intptr_t shutdown[10] = {HostEvent_shutdown, reinterpret_cast<intptr_t>(inst)};
    EXPECT_EQ(VexlanApp_eventSend(shutdown), 0);
    EXPECT_EQ(host->instance, inst);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("x"), nullptr), 0);
    fire();
    EXPECT_EQ(log(), "x@SimpleAppThread ");
    allow = 1;
    EXPECT_EQ(Engine_stop(inst), 1);
    EXPECT_EQ(Headless_blocksHeld(host), 0);
    EXPECT_EQ(App_addStopHook(nullptr, nullptr), Res_missingArgument);
}

TEST_F(EngineStartTest, AFailedStartLeavesNothingBehind)
{
    struct Case {
        const char *name;
        int failEntry, skipQueue, heapFlags, failBlocks;
        int failedRequests;
    };
    const Case cases[] = {
        {"the entry answers 0", 1, 0, 0, 0, 0},
        {"the entry makes no queue", 0, 1, 0, 0, 0},
        {"heap flags 2", 0, 0, 2, 0, 0},
        {"no host block", 0, 0, 0, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Headless_clearRecords(host);
        TestApp failing{};
        failing.failEntry = c.failEntry;
        failing.skipQueue = c.skipQueue;
        Headless_failHostBlocks(host, c.failBlocks);
        EXPECT_EQ(TestApp_start(host, &failing, c.heapFlags), 0);
        Headless_failHostBlocks(host, 0);
        EXPECT_EQ(host->instance, nullptr);
        EXPECT_EQ(Headless_blocksHeld(host), 0);
        EXPECT_EQ(host->threadList, nullptr);
        EXPECT_EQ(Headless_requestsOf(host, Engine_requestFailed), c.failedRequests);
        EXPECT_FALSE(armed());
    }
    // The host can start an engine afterwards, in small-chunk mode too.
    ASSERT_EQ(TestApp_start(host, &app, 1), 1);
    EXPECT_EQ(Mem_getChunkMode(), 1);
    fire();
    EXPECT_EQ(Headless_requestsOf(host, Engine_requestReady), 1);
}

TEST_F(EngineStartTest, ASecondEngineOnTheSameHostIsRefused)
{
    start();
    TestApp other{};
    EXPECT_EQ(TestApp_start(host, &other), 0);
    EXPECT_EQ(host->instance, inst);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("still"), nullptr), 0);
    fire();
    EXPECT_EQ(log(), "still@SimpleAppThread ");
}

// ------------------------------------------------------- fatal errors

Lock deadlockLock;

void deadlock(EngineInstance *instance, void *)
{
    Lock_init(instance->context, &deadlockLock);
    Lock_acquire(&deadlockLock);
    Lock_acquire(&deadlockLock);
    EngineFixture::log() += "not reached ";
}

void postThenDeadlock(EngineInstance *instance, void *)
{
    // A post from an engine task: it must not move the recovery point.
    App_postCall(
        instance, [](EngineInstance *, void *) {}, nullptr, nullptr);
    deadlock(instance, nullptr);
}

TEST_F(EngineStartTest, ADeadlockInATaskAbortsToTheHostWhichCanStartAgain)
{
    struct Case {
        const char *name;
        AppCallFn call;
        int urgent;
    };
    const Case cases[] = {
        {"in a timer slice", deadlock, 0},
        {"in an urgent post's slice", deadlock, 1},
        {"after a post from the task", postThenDeadlock, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Headless_clearRecords(host);
        log().clear();
        app = TestApp{};
        start();
        static int disposed;
        disposed = 0;
        App_postCall(inst, logCall, const_cast<char *>("first"), nullptr);
        intptr_t block[7] = {AppEvent_codeCall, reinterpret_cast<intptr_t>(inst),
                             reinterpret_cast<intptr_t>(c.call)};
        int posted = AppEvent_post(block, nullptr, c.urgent ? AppEvent_urgent : 0);
        App_postCall(inst, logCall, const_cast<char *>("never"), [](void *) { disposed++; });
        if (c.urgent) {
            // The urgent call ran first, in the post's own slice.
            EXPECT_EQ(posted, 0);
            EXPECT_EQ(log(), "");
        } else {
            EXPECT_EQ(posted, 1);
            EXPECT_EQ(fire(), 1);
            EXPECT_EQ(log(), "first@SimpleAppThread ");
        }
        EXPECT_EQ(Headless_closeDownCount(host), 1);
        EXPECT_EQ(host->instance, nullptr);
        EXPECT_EQ(Headless_blocksHeld(host), 0);
        EXPECT_EQ(host->threadList, nullptr);
        EXPECT_EQ(log().find("not reached"), std::string::npos);
        EXPECT_EQ(log().find("never@"), std::string::npos);
        // Queued and disposed of by the abort, or refused after it: its
        // completion ran once either way.
        EXPECT_EQ(disposed, 1);
        EXPECT_FALSE(armed());
    }
    // A fresh engine afterwards.
    Headless_clearRecords(host);
    log().clear();
    app = TestApp{};
    start();
    App_postCall(inst, logCall, const_cast<char *>("fresh"), nullptr);
    fire();
    EXPECT_EQ(log(), "fresh@SimpleAppThread ");
    EXPECT_EQ(Engine_stop(inst), 1);
}

TEST_F(EngineStartTest, AnAbortAfterANestedEntryReturnsToTheOutermostOne)
{
    // Suspend runs slot 2 on the GUI thread inside the host event. There a
    // post (a nested entry) returns, and only then does the slice that the
    // slot runs deadlock: the fatal error must land in the host event, whose
    // frame is still live.
    app.callbacks.suspend = [](EngineInstance *i) {
        App_postCall(i, deadlock, nullptr, nullptr);
        EXPECT_EQ(Engine_runSlice(i), 0);
        note("not reached");
        return 1;
    };
    start();
    EXPECT_EQ(Engine_suspend(inst), 0);
    EXPECT_EQ(Headless_closeDownCount(host), 1);
    EXPECT_EQ(host->instance, nullptr);
    EXPECT_EQ(Headless_blocksHeld(host), 0);
    EXPECT_EQ(log().find("not reached"), std::string::npos);
}

TEST_F(EngineStartTest, AnAbortDuringTheEntryFreesEverything)
{
    // The entry itself runs on the GUI thread: taking a lock there aborts.
    ASSERT_TRUE(host->instance == nullptr);
    intptr_t options[4] = {};
    EXPECT_EQ(Engine_start(
                  host, options,
                  [](EngineInstance *i, const AppEvent *) {
                      Lock l;
                      Lock_init(i->context, &l);
                      Lock_acquire(&l);
                      return 1;
                  },
                  AlienThread_getInstaller(), 0),
              0);
    EXPECT_EQ(Headless_closeDownCount(host), 1);
    EXPECT_EQ(host->instance, nullptr);
    EXPECT_EQ(Headless_blocksHeld(host), 0);
}

// ------------------------------------------------------- the send guard

TEST_F(EngineStartTest, TheSendGuardStaysWithTheHostEventThatTookIt)
{
    static int keyResult;
    keyResult = -1;
    app.callbacks.keyPress = [](EngineInstance *, intptr_t key, intptr_t) {
        note("key" + std::to_string(key));
        return 1;
    };
    start();
    // Inside the timer event's slice, a task posts (which must not release
    // the guard) and then tries a host event of its own.
    App_postCall(
        inst,
        [](EngineInstance *i, void *) {
            App_postCall(i, logCall, const_cast<char *>("posted"), nullptr);
            keyResult = Engine_keyPress(i, 65, 0);
        },
        nullptr, nullptr);
    fire();
    EXPECT_EQ(keyResult, 0);
    EXPECT_NE(strstr(Headless_debugText(host),
                     "SERIOUS ERROR, VexlanApp_eventSend called from 2 threads\n"),
              nullptr);
    EXPECT_EQ(log(), "posted@SimpleAppThread ");
    // Released when that event ended.
    EXPECT_EQ(inst->queue->sendGuard, 0);
    EXPECT_EQ(Engine_keyPress(inst, 66, 0), 1);
    fire();
    EXPECT_EQ(log(), "posted@SimpleAppThread key66 ");
}

} // namespace

namespace {

TEST_F(EngineStartTest, AHostEventFromAnEngineTaskIsRefused)
{
    static int result;
    result = -1;
    start();
    // An urgent post from the GUI thread runs its slice without a host
    // event inside the engine; a task that sends a host event is refused
    // all the same.
    intptr_t block[7] = {
        AppEvent_codeCall, reinterpret_cast<intptr_t>(inst),
        reinterpret_cast<intptr_t>(+[](EngineInstance *i, void *) { result = Engine_stop(i); })};
    EXPECT_EQ(AppEvent_post(block, nullptr, AppEvent_urgent), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host->instance, inst);
    EXPECT_NE(strstr(Headless_debugText(host), "SERIOUS ERROR"), nullptr);
}

TEST_F(EngineStartTest, QueueCreationFailsCleanlyAtEveryAllocation)
{
    start();
    AppQueueRecord *q = inst->queue;
    ExitList *exits = inst->exitList;
    inst->queue = nullptr;
    inst->exitList = nullptr;
    MemStats before;
    Mem_getStats(&before);
    int n = 1;
    for (;; n++) {
        Mem_failAfter(uint64_t(n));
        int r = AppEvent_queueCreate(inst, nullptr);
        Mem_failAfter(0);
        if (r == 0)
            break;
        // The handler list reports its own code for a list it cannot make.
        EXPECT_TRUE(r == Res_noMemory || r == Res_handlersNoList) << r;
        EXPECT_EQ(inst->queue, nullptr);
        MemStats s;
        Mem_getStats(&s);
        EXPECT_EQ(s.usedBytes, before.usedBytes) << "failing allocation " << n;
        ASSERT_LT(n, 50);
    }
    EXPECT_GT(n, 4);
    AppEvent_queueDestroy(inst);
    ExitList_free(&inst->exitList);
    inst->queue = q;
    inst->exitList = exits;
    EXPECT_EQ(AppEvent_queueCreate(nullptr, nullptr), Res_missingArgument);
}

} // namespace
