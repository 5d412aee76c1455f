// Posting, deferred calls, the application loop's dispatch, host events and
// the host timer protocol, on a running engine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/timerq.h"
#include "platform/api/handlers.h"
#include "tests/support/engine_fixture.h"

namespace {

class AppQueueTest : public EngineFixture {};

std::string w(intptr_t v)
{
    return std::to_string(long(v));
}

TEST_F(AppQueueTest, UrgentPostsRunInTheSameSliceOrdinaryOnesArmTheTimer)
{
    start();
    ASSERT_FALSE(armed());
    intptr_t urgent[7] = {AppEvent_codeCall, reinterpret_cast<intptr_t>(inst),
                          reinterpret_cast<intptr_t>(logCall), reinterpret_cast<intptr_t>("u")};
    EXPECT_EQ(AppEvent_post(urgent, nullptr, AppEvent_urgent), 1);
    EXPECT_EQ(log(), "u@SimpleAppThread ");
    EXPECT_FALSE(armed());

    intptr_t plain[7] = {AppEvent_codeCall, reinterpret_cast<intptr_t>(inst),
                         reinterpret_cast<intptr_t>(logCall), reinterpret_cast<intptr_t>("p")};
    EXPECT_EQ(AppEvent_post(plain, nullptr, 0), 1);
    EXPECT_EQ(log(), "u@SimpleAppThread ");
    EXPECT_TRUE(armed());
    // An urgent post overtakes a queued ordinary one.
    EXPECT_EQ(AppEvent_post(urgent, nullptr, AppEvent_urgent), 1);
    EXPECT_EQ(log(), "u@SimpleAppThread u@SimpleAppThread p@SimpleAppThread ");

    // A held post from the GUI thread leaves the scheduler free afterwards.
    EXPECT_EQ(App_postCallHeld(inst, logCall, const_cast<char *>("h"), nullptr), 0);
    EXPECT_EQ(inst->scheduler->hold, 0);
    fire();
    EXPECT_EQ(log(), "u@SimpleAppThread u@SimpleAppThread p@SimpleAppThread h@SimpleAppThread ");
}

TEST_F(AppQueueTest, PostsFromATaskRunAfterIt)
{
    start();
    App_postCall(
        inst,
        [](EngineInstance *i, void *) {
            EngineFixture::note("outer");
            App_postCall(i, logCall, const_cast<char *>("held"), nullptr);
            App_postCallHeld(i, logCall, const_cast<char *>("held2"), nullptr);
            EXPECT_EQ(i->scheduler->hold, 0);
            // A code 6 call runs now when flushed.
            App_postCall6(i, logCall, const_cast<char *>("pending"), nullptr, 1);
            EXPECT_EQ(App_runPendingCall(i), 0);
            EngineFixture::note("after");
        },
        nullptr, nullptr);
    fire();
    EXPECT_EQ(log(),
              "outer pending@SimpleAppThread after held@SimpleAppThread held2@SimpleAppThread ");
}

TEST_F(AppQueueTest, ARefusedDeferredCallIsNeverRunOnTheGuiThread)
{
    static int completions;
    completions = 0;
    start();
    // Fill the ring with calls that cannot be dropped.
    for (int i = 0; i < 56; i++)
        ASSERT_EQ(App_postCall(inst, logCall, const_cast<char *>("q"), nullptr), 0);
    auto done = [](void *arg) {
        completions++;
        intptr_t *block = static_cast<intptr_t *>(arg);
        EXPECT_EQ(strcmp(reinterpret_cast<const char *>(block[3]), "refused"), 0);
    };
    EXPECT_EQ(App_postCall6(inst, logCall, const_cast<char *>("refused"), done, 1), 1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(App_postCall(inst, logCall, const_cast<char *>("refused"), done), 1);
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(App_postMove(inst, AppEvent_codePointer, 1, 2, 3), 1);
    EXPECT_EQ(log(), "");
    fire();
    EXPECT_EQ(log().find("refused"), std::string::npos);
    EXPECT_EQ(log().find("q@SimpleAppThread"), 0u);

    // Retrying posts lets the application thread empty the ring between
    // tries.
    for (int i = 0; i < 56; i++)
        ASSERT_EQ(App_postCall(inst, logCall, const_cast<char *>("q"), nullptr), 0);
    log().clear();
    EXPECT_EQ(App_postCallRetry(inst, logCall, const_cast<char *>("retried"), done), 0);
    EXPECT_EQ(completions, 2);
    fire();
    EXPECT_NE(log().find("retried@SimpleAppThread"), std::string::npos);
}

// Callbacks that log their slot and arguments.
FvAppCallbacks loggingCallbacks()
{
    FvAppCallbacks cb{};
    cb.event1 = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s6(" + w(a) + ")"), 0;
    };
    cb.openResolved = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c, intptr_t,
                         intptr_t e) {
        return EngineFixture::note("s8(" + w(a) + "," + w(b) + "," + w(c) + "," + w(e) + ")"), 0;
    };
    cb.openUrl = [](EngineInstance *, intptr_t a, intptr_t, intptr_t c) {
        return EngineFixture::note("s9(" + w(a) + "," + w(c) + ")"), 0;
    };
    cb.key = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s25(" + w(a) + ")"), 0;
    };
    cb.event8 = [](EngineInstance *) { return EngineFixture::note("s26"), 0; };
    cb.event9 = [](EngineInstance *, intptr_t b) {
        return EngineFixture::note("s27(" + w(b) + ")"), 0;
    };
    cb.event10 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
        return EngineFixture::note("s28(" + w(a) + "," + w(b) + "," + w(c) + "," + w(d) + ")"), 0;
    };
    cb.event12 = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s32(" + w(a) + ")"), 0;
    };
    cb.event13 = [](EngineInstance *, intptr_t z) {
        return EngineFixture::note("s35(" + w(z) + ")"), 0;
    };
    cb.event14 = [](EngineInstance *, intptr_t a, intptr_t b) {
        return EngineFixture::note("s19(" + w(a) + "," + w(b) + ")"), 0;
    };
    cb.pan = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
        return EngineFixture::note("s17(" + w(a) + "," + w(b) + "," + w(c) + ")"), 0;
    };
    cb.event16 = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s11(" + w(a) + ")"), 0;
    };
    cb.event17 = [](EngineInstance *) { return EngineFixture::note("s18"), 0; };
    cb.pointer = [](EngineInstance *, intptr_t c, intptr_t a, intptr_t b, intptr_t d) {
        return EngineFixture::note("s15(" + w(c) + "," + w(a) + "," + w(b) + "," + w(d) + ")"), 0;
    };
    cb.pointerPress = [](EngineInstance *) { return EngineFixture::note("s16"), 0; };
    cb.event20 = [](EngineInstance *, intptr_t a, intptr_t, intptr_t c) {
        return EngineFixture::note("s12(" + w(a) + "," + w(c) + ")"), 0;
    };
    cb.event21 = [](EngineInstance *, intptr_t a, intptr_t, intptr_t) {
        return EngineFixture::note("s13(" + w(a) + ")"), 0;
    };
    cb.event22 = [](EngineInstance *, intptr_t a, intptr_t, intptr_t) {
        return EngineFixture::note("s14(" + w(a) + ")"), 0;
    };
    cb.choice = [](EngineInstance *, intptr_t a, intptr_t, intptr_t, intptr_t, intptr_t e) {
        return EngineFixture::note("s20(" + w(a) + "," + w(e) + ")"), 0;
    };
    cb.event24 = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s21(" + w(a) + ")"), 0;
    };
    cb.event25 = [](EngineInstance *) { return EngineFixture::note("s22"), 0; };
    cb.event26 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
        return EngineFixture::note("s23(" + w(a) + "," + w(b) + "," + w(c) + ")"), 0;
    };
    cb.promptAnswer = [](EngineInstance *, intptr_t a) {
        return EngineFixture::note("s24(" + w(a) + ")"), 0;
    };
    cb.configure = [](EngineInstance *, intptr_t *keyWords) {
        return EngineFixture::note("s5(" +
                                   std::string(reinterpret_cast<const char *>(keyWords[0])) + "," +
                                   w(keyWords[1]) + ")"),
               0;
    };
    return cb;
}

TEST_F(AppQueueTest, EachEventCodeReachesItsSlotWithItsArguments)
{
    app.callbacks = loggingCallbacks();
    start();
    struct Case {
        intptr_t code;
        const char *expect;
    };
    // Every event carries the arguments 1 to 5 = 11, 12, 13, 14, 15.
    const Case cases[] = {
        {1, "s6(11)"},
        {4, ""},
        {7, "s25(11)"},
        {8, "s26"},
        {9, "s27(12)"},
        {10, "s28(11,12,13,14)"},
        {11, ""},
        {12, "s32(11)"},
        {13, "s35(0)"},
        {14, "s19(11,12)"},
        {15, "s17(11,12,13)"},
        {16, "s11(11)"},
        {17, "s18"},
        {18, "s15(13,11,12,14)"},
        {19, "s16"},
        {20, "s12(11,13)"},
        {21, "s13(11)"},
        {22, "s14(11)"},
        {23, "s20(11,15)"},
        {24, "s21(11)"},
        {25, "s22"},
        {26, "s23(11,12,13)"},
        {27, "s24(11)"},
        {28, ""},
        {99, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        log().clear();
        intptr_t block[7] = {c.code, reinterpret_cast<intptr_t>(inst), 11, 12, 13, 14, 15};
        ASSERT_EQ(AppEvent_post(block, nullptr, AppEvent_urgent), 1);
        EXPECT_EQ(log(), c.expect[0] ? std::string(c.expect) + " " : "");
    }

    // Event 2 frees its fourth argument; event 3 goes to slot 9 when set;
    // event 0 shows the configuration slot the key and type, then frees the
    // strings.
    log().clear();
    size_t before = 0;
    {
        MemStats s;
        Mem_getStats(&s);
        before = s.usedBytes;
    }
    void *owned = Mem_malloc(64);
    intptr_t open2[7] = {2, reinterpret_cast<intptr_t>(inst),  1, 2,
                         3, reinterpret_cast<intptr_t>(owned), 5};
    ASSERT_EQ(AppEvent_post(open2, nullptr, AppEvent_urgent), 1);
    intptr_t open3[7] = {3, reinterpret_cast<intptr_t>(inst), 7, 0, 9};
    ASSERT_EQ(AppEvent_post(open3, nullptr, AppEvent_urgent), 1);
    char *key = static_cast<char *>(Mem_malloc(8));
    strcpy(key, "k");
    char *value = static_cast<char *>(Mem_malloc(8));
    intptr_t config[7] = {0, reinterpret_cast<intptr_t>(inst), reinterpret_cast<intptr_t>(key), 1,
                          reinterpret_cast<intptr_t>(value)};
    ASSERT_EQ(AppEvent_post(config, nullptr, AppEvent_urgent), 1);
    EXPECT_EQ(log(), "s8(1,2,3,5) s9(7,9) s5(k,1) ");
    MemStats s;
    Mem_getStats(&s);
    EXPECT_EQ(s.usedBytes, before);
}

TEST_F(AppQueueTest, HostKeyEventsReachTheirSlotsOnTheApplicationThread)
{
    app.callbacks.keyPress = [](EngineInstance *i, intptr_t key, intptr_t repeat) {
        return EngineFixture::note("press" + w(key) + "/" + w(repeat) + "@" +
                                   TestApp_currentTaskName(i)),
               1;
    };
    app.callbacks.keyRelease = [](EngineInstance *, intptr_t key) {
        return EngineFixture::note("release" + w(key)), 1;
    };
    app.callbacks.resume = [](EngineInstance *) { return EngineFixture::note("resume"), 1; };
    start();
    EXPECT_EQ(Engine_keyPress(inst, 65, 0), 1);
    EXPECT_EQ(Engine_keyRelease(inst, 65), 1);
    EXPECT_EQ(log(), "");
    fire();
    EXPECT_EQ(log(), "press65/0@SimpleAppThread release65 ");
    // Resume goes to the head and runs within its own host event.
    EXPECT_EQ(Engine_resume(inst), 1);
    EXPECT_EQ(log(), "press65/0@SimpleAppThread release65 resume ");
    // Suspend calls slot 2 at once; an empty slot answers 1.
    EXPECT_EQ(Engine_suspend(inst), 1);
}

TEST_F(AppQueueTest, UnsupportedAndUnknownHostEvents)
{
    app.callbacks.suspend = [](EngineInstance *i) {
        return EngineFixture::note(std::string("suspend@") + TestApp_currentTaskName(i)), 7;
    };
    start();
    EXPECT_EQ(Engine_suspend(inst), 7);
    EXPECT_EQ(log(), "suspend@ ");
    intptr_t stop[10] = {HostEvent_stopRequest, reinterpret_cast<intptr_t>(inst)};
    EXPECT_EQ(VexlanApp_eventSend(stop), 0);
    EXPECT_NE(strstr(Headless_debugText(host), "Stop event: unsupported\n"), nullptr);
    intptr_t odd[10] = {0x10020, reinterpret_cast<intptr_t>(inst)};
    EXPECT_EQ(VexlanApp_eventSend(odd), 0);
    EXPECT_NE(strstr(Headless_debugText(host), "unrecognised event\n"), nullptr);
    intptr_t noInstance[10] = {HostEvent_slice, 0};
    EXPECT_EQ(VexlanApp_eventSend(noInstance), 0);
    EXPECT_EQ(VexlanApp_eventSend(nullptr), 0);
    intptr_t slice[10] = {HostEvent_slice, reinterpret_cast<intptr_t>(inst)};
    EXPECT_EQ(VexlanApp_eventSend(slice), 1);
}

TEST_F(AppQueueTest, ATimerEventWithAnOldIdIsIgnored)
{
    start();
    App_postCall(inst, logCall, const_cast<char *>("a"), nullptr);
    int32_t id = 0;
    ASSERT_TRUE(Headless_timerArmed(host, &id, nullptr));
    EXPECT_EQ(Engine_timerExpired(inst, id + 100), 1);
    EXPECT_NE(strstr(Headless_debugText(host), "Unknown timer\n"), nullptr);
    EXPECT_EQ(log(), "");
    EXPECT_EQ(inst->queue->timerArmed, 1);
    EXPECT_EQ(inst->runState, Engine_busyAndTimers);
    fire();
    EXPECT_EQ(log(), "a@SimpleAppThread ");

    // While the dispatcher is busy the id is recorded and replayed later.
    App_postCall(inst, logCall, const_cast<char *>("b"), nullptr);
    ASSERT_TRUE(Headless_timerArmed(host, &id, nullptr));
    inst->queue->dispatcherBusy = 1;
    EXPECT_EQ(Engine_timerExpired(inst, id), 1);
    EXPECT_EQ(log(), "a@SimpleAppThread ");
    EXPECT_EQ(Engine_replayTimer(inst), 1);
    EXPECT_EQ(log(), "a@SimpleAppThread b@SimpleAppThread ");
}

TEST_F(AppQueueTest, WorkLeftAfterASliceKeepsTheTimerRunningWithThePeriod)
{
    start();
    // A task that needs more than one slice: it yields more often than one
    // slice allows switch decisions.
    App_postCall(
        inst,
        [](EngineInstance *i, void *) {
            Task *t = nullptr;
            EXPECT_EQ(Task_create(
                          i->context, &t, 1,
                          [](void *arg) {
                              EngineInstance *in = static_cast<EngineInstance *>(arg);
                              for (int n = 0; n < 15000; n++)
                                  Task_reschedule(in->context);
                              EngineFixture::note("busy done");
                          },
                          i, "busy", 4096),
                      0);
            Task_detach(t);
        },
        nullptr, nullptr);
    fire();
    EXPECT_EQ(inst->runState, Engine_busy);
    int64_t due = -1;
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now()); // period 0: the engine runs on between host events
    EXPECT_EQ(inst->nextDelay, 0);
    fire();
    EXPECT_EQ(log(), "busy done ");
    EXPECT_EQ(inst->runState, Engine_idle);
    EXPECT_EQ(inst->nextDelay, -1);
    EXPECT_FALSE(armed());

    // With a period of 50 the same holds with 50 ms.
    Engine_setTimeSlice(inst, 50, 100);
    App_postCall(inst, logCall, const_cast<char *>("x"), nullptr);
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now() + 50);
    // Negative periods and a zero slice are ignored.
    Engine_setTimeSlice(inst, -1, 100);
    Engine_setTimeSlice(inst, 10, 0);
    EXPECT_EQ(inst->timerPeriod, 50);
}

TEST_F(AppQueueTest, OnlyTimersPendingArmsForTheNextDueTime)
{
    static int fired;
    fired = 0;
    app.callbacks.close = [](EngineInstance *i) {
        EXPECT_EQ(TimerQ_stopThread(i->context, i->context->eventProc), 0);
        AppMsg_destroyDispatcher(i->context->eventProc);
        i->context->eventProc = nullptr;
        return 1;
    };
    start();
    App_postCall(
        inst,
        [](EngineInstance *i, void *) {
            EngineContext *ctx = i->context;
            ASSERT_EQ(AppMsg_createDispatcher(ctx, &ctx->eventProc), 0);
            ASSERT_EQ(TimerQ_startThread(ctx, ctx->eventProc), 0);
            ASSERT_EQ(
                TimerQ_addPlain(
                    ctx, ctx->eventProc, 500, 0, [](EngineContext *, void *) { fired++; }, nullptr),
                0);
        },
        nullptr, nullptr);
    fire();
    EXPECT_EQ(inst->runState, Engine_timersOnly);
    int64_t due = 0;
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now() + 500);
    EXPECT_EQ(fired, 0);
    fire();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(inst->runState, Engine_idle);
    EXPECT_FALSE(armed());

    // A post while only timers are pending stops that timer and wakes the
    // engine with the period.
    App_postCall(
        inst,
        [](EngineInstance *i, void *) {
            EXPECT_EQ(TimerQ_addPlain(
                          i->context, i->context->eventProc, 1000, 0,
                          [](EngineContext *, void *) { fired++; }, nullptr),
                      0);
            EngineFixture::note("t");
        },
        nullptr, nullptr);
    fire();
    EXPECT_EQ(inst->runState, Engine_timersOnly);
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now() + 1000);
    App_postCall(inst, logCall, const_cast<char *>("u"), nullptr);
    EXPECT_EQ(inst->runState, Engine_busyAndTimers);
    ASSERT_TRUE(armed(&due));
    EXPECT_EQ(due, now());
    fire();
    EXPECT_EQ(log(), "t u@SimpleAppThread ");
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(Engine_stop(inst), 1);
}

TEST_F(AppQueueTest, AnAllocationFailureInASliceRaisesTheOutOfMemoryAlert)
{
    static intptr_t seen;
    seen = 0;
    start();
    ASSERT_EQ(App_addErrorListener(
                  inst,
                  [](intptr_t code, intptr_t, intptr_t, void *) {
                      seen = code;
                      return 1;
                  },
                  nullptr, Handlers_atTail, nullptr),
              0);
    App_postCall(
        inst,
        [](EngineInstance *, void *) {
            Mem_failAfter(1);
            EXPECT_EQ(Mem_malloc(32), nullptr);
        },
        nullptr, nullptr);
    fire();
    ASSERT_EQ(Headless_alertCount(host), 1);
    EXPECT_EQ(Headless_alert(host, 0), 0x10006);
    EXPECT_EQ(seen, 0x10006);
    fire();
    EXPECT_EQ(Headless_alertCount(host), 1);
}

TEST_F(AppQueueTest, RequestsReachTheHostThenTheHandlersInOrder)
{
    start();
    static std::string order;
    order.clear();
    HandlerFn first = [](intptr_t code, intptr_t, intptr_t, void *) {
        order += "first" + w(code) + " ";
        return 0;
    };
    HandlerFn second = [](intptr_t code, intptr_t record, intptr_t, void *) {
        order += "second" + w(code) + " ";
        return record ? 1 : 0;
    };
    HandlerFn third = [](intptr_t, intptr_t, intptr_t, void *) {
        order += "third ";
        return 0;
    };
    ASSERT_EQ(App_addRequestListener(inst, second, nullptr, Handlers_atTail, nullptr), 0);
    ASSERT_EQ(App_addRequestListener(inst, first, second, Handlers_before, nullptr), 0);
    ASSERT_EQ(App_addRequestListener(inst, third, second, Handlers_after, nullptr), 0);
    int record = 0;
    App_sendRequest(inst, 0x1000A, &record);
    App_sendRequest(inst, 0x1000B, nullptr);
    EXPECT_EQ(order, "first65546 second65546 first65547 second65547 third ");
    EXPECT_EQ(Headless_requestsOf(host, 0x1000A), 1);
    App_removeRequestListener(inst, first);
    order.clear();
    App_sendRequest(inst, 1, nullptr);
    EXPECT_EQ(order, "second1 third ");
}

TEST_F(AppQueueTest, ObjectsAreSetReplacedAndRemovedById)
{
    start();
    EXPECT_EQ(App_getObject(inst), &app);
    int other = 0, third = 0;
    EXPECT_EQ(App_registerObject(inst, 1, &other), 0);
    EXPECT_EQ(App_getObject(inst), &other);
    EXPECT_EQ(App_registerObject(inst, 2, &third), 0);
    App_unregisterObject(inst, 1);
    EXPECT_EQ(App_getObject(inst), nullptr);
    EXPECT_EQ(App_registerObject(inst, 0, &third), Res_missingArgument);
    EXPECT_EQ(App_registerObject(nullptr, 1, &third), Res_missingArgument);
    EXPECT_EQ(App_getObject(nullptr), nullptr);
}

TEST_F(AppQueueTest, MovesAndTheirCompression)
{
    app.callbacks.pan = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
        return EngineFixture::note("pan" + w(a) + "," + w(b) + "/" + w(c)), 0;
    };
    app.callbacks.pointer = [](EngineInstance *, intptr_t c, intptr_t a, intptr_t b, intptr_t d) {
        return EngineFixture::note("ptr" + w(a) + "," + w(b) + "," + w(c) + "/" + w(d)), 0;
    };
    start();
    EXPECT_EQ(App_postMove(inst, AppEvent_codePan, 1, 2, 0), 0);
    EXPECT_EQ(App_postMove(inst, AppEvent_codePan, 3, 4, 0), 0);
    EXPECT_EQ(App_postMove(inst, AppEvent_codePointer, 5, 6, 7), 0);
    EXPECT_EQ(App_postMove(inst, 40, 0, 0, 0), 1);
    App_compressMoves(inst, AppEvent_codePan);
    fire();
    EXPECT_EQ(log(), "pan1,2/65540 ptr5,6,7/65540 ");
}

TEST_F(AppQueueTest, QueueOptionsReachTheRing)
{
    start();
    Engine_setQueueOptions(inst, 0, 1);
    EXPECT_EQ(inst->queue->ring->keyLimit, 4);
    EXPECT_EQ(inst->queueOptionB, 1);
    Engine_setQueueOptions(inst, 1, 0);
    EXPECT_EQ(inst->queue->ring->keyLimit, 8);
    EXPECT_EQ(inst->queue->ring->optionA, 1);
}

} // namespace
