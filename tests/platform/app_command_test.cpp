// The command wrappers: each posts its code with its block to the
// application slot that handles it; events 23 and 24 only with their slots
// set; open-URL and open-document records are released when their event
// is discarded; page moves, settings loads and the event-12 call are
// posted to the application thread; the timed event carries the clock.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "platform/api/command.h"
#include "viewer/api/forward.h"
#include "platform/url/url.h"
#include "tests/support/engine_fixture.h"

namespace {

class CommandTest : public EngineFixture {
  protected:
    static std::string words(std::initializer_list<intptr_t> list)
    {
        std::string s;
        for (intptr_t w : list)
            s += std::to_string(w) + ",";
        return s;
    }
    void SetUp() override
    {
        EngineFixture::SetUp();
        FvAppCallbacks &cb = app.callbacks;
        cb.key = [](EngineInstance *, intptr_t a) { return note("key:" + words({a})), 0; };
        cb.event8 = [](EngineInstance *) { return note("8:"), 0; };
        cb.event9 = [](EngineInstance *, intptr_t a) { return note("9:" + words({a})), 0; };
        cb.event13 = [](EngineInstance *, intptr_t a) { return note("13:" + words({a})), 0; };
        cb.event14 = [](EngineInstance *, intptr_t a, intptr_t b) {
            return note("14:" + words({a, b})), 0;
        };
        cb.pan = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
            return note("pan:" + words({a, b, c})), 0;
        };
        cb.event16 = [](EngineInstance *, intptr_t a) { return note("16:" + words({a})), 0; };
        cb.event17 = [](EngineInstance *) { return note("17:"), 0; };
        cb.pointer = [](EngineInstance *, intptr_t w3, intptr_t w1, intptr_t w2, intptr_t w4) {
            return note("pointer:" + words({w3, w1, w2, w4})), 0;
        };
        cb.pointerPress = [](EngineInstance *) { return note("19:"), 0; };
        cb.event20 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
            return note("20:" + words({a, b, c})), 0;
        };
        cb.event21 = [](EngineInstance *, intptr_t, intptr_t b, intptr_t c) {
            return note("21:" + words({b, c})), 0;
        };
        cb.event22 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
            return note("22:" + words({a, b, c})), 0;
        };
        cb.event25 = [](EngineInstance *) { return note("25:"), 0; };
        cb.event26 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
            return note("26:" + words({a, b, c})), 0;
        };
        cb.promptAnswer = [](EngineInstance *, intptr_t a) { return note("27:" + words({a})), 0; };
        cb.event12 = [](EngineInstance *, intptr_t a) { return note("12:" + words({a})), 0; };
        cb.openPath = [](EngineInstance *, intptr_t a, const char *path, intptr_t flags) {
            return note(std::string("open:") + std::to_string(a) + "," + path + "," +
                        std::to_string(flags)),
                   0;
        };
        cb.openUrl = [](EngineInstance *, intptr_t a, intptr_t url, intptr_t b) {
            char *text = Url_toUtf8(reinterpret_cast<const Url *>(url), UrlPart_all);
            note(std::string("url:") + std::to_string(a) + "," + text + "," + std::to_string(b));
            Mem_free(text);
            return 0;
        };
    }
    void run()
    {
        while (fire()) {
        }
    }
};

TEST_F(CommandTest, EachWrapperReachesItsSlotWithItsBlock)
{
    start();
    struct Case {
        std::function<int()> post;
        const char *expect;
    } cases[] = {
        {[&] { return App_sendKey(inst, App_keyOn); }, "key:65537, "},
        {[&] { return App_sendEvent8(inst); }, "8: "},
        {[&] { return App_sendEvent9(inst, 4); }, "9:4, "},
        {[&] { return App_sendEvent13(inst); }, "13:0, "},
        {[&] { return App_sendEvent14(inst, 1, 2); }, "14:1,2, "},
        {[&] { return App_sendPointer15(inst, 3, 4, 0x10005); }, "pan:3,4,65541, "},
        {[&] { return App_sendPanGesture(inst, 5, 6, 0x10005); }, "pan:5,6,65541, "},
        {[&] { return App_sendEvent16(inst, 9); }, "16:9, "},
        {[&] { return App_sendEvent17(inst); }, "17: "},
        {[&] { return App_sendPointer18(inst, 1, 2, 3, 0x10005); }, "pointer:3,1,2,65541, "},
        {[&] { return App_sendEvent19(inst); }, "19: "},
        {[&] { return App_sendEvent20(inst, 1, 2, 3); }, "20:1,2,3, "},
        {[&] { return App_sendEvent21(inst, 1, 2, 3); }, "21:2,3, "},
        {[&] { return App_sendTimedEvent21(inst, 4, 5); }, "21:4,5, "},
        {[&] { return App_sendEvent22(inst, 4, 5, 6); }, "22:4,5,6, "},
        {[&] { return App_sendEvent25(inst); }, "25: "},
        {[&] { return App_sendEvent25(inst, 1); }, "25: "},
        {[&] { return App_sendEvent26(inst, 7, 8, 9); }, "26:7,8,9, "},
        {[&] { return App_sendEvent27(inst, 0x10001); }, "27:65537, "},
        {[&] { return App_queueEvent12Call(inst, 42); }, "12:42, "},
        {[&] { return App_postOpenUrl(inst, 1, Url_newFromCstr("file://root/a.txt"), 2); },
         "url:1,file://root/a.txt,2 "},
        {[&] { return App_openDocument(inst, "/d/e.txt", 3, 1); }, "open:3,/d/e.txt,1 "},
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(i++);
        log().clear();
        EXPECT_EQ(c.post(), 1);
        run();
        EXPECT_EQ(log(), c.expect);
    }
    // A null instance posts nothing.
    EXPECT_EQ(App_sendEvent20(nullptr, 1, 2, 3), 0);
    EXPECT_EQ(App_sendEvent21(nullptr, 1, 2, 3), 0);
    EXPECT_EQ(App_sendTimedEvent21(nullptr, 1, 2), 0);
    EXPECT_EQ(App_sendEvent22(nullptr, 1, 2, 3), 0);
}

// The timed form puts the engine clock, in milliseconds, before its two
// words.
TEST_F(CommandTest, TimedEventCarriesTheClock)
{
    app.callbacks.event21 = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c) {
        return note("21:" + words({a, b, c})), 0;
    };
    start();
    Headless_advanceClock(host, 1234);
    const int64_t t = now();
    ASSERT_GE(t, 1234);
    log().clear();
    EXPECT_EQ(App_sendTimedEvent21(inst, 7, 8), 1);
    run();
    EXPECT_EQ(log(), "21:" + words({intptr_t(t), 7, 8}) + " ");
}

TEST_F(CommandTest, ChoiceEventsArePostedOnlyWhenTheirSlotsAreSet)
{
    start();
    EXPECT_EQ(App_sendEvent23(inst, 5), 0);
    EXPECT_EQ(App_sendEvent23Full(inst, 1, 2, 3, 4), 0);
    EXPECT_EQ(App_sendEvent24(inst, 5), 0);
    run();
    EXPECT_EQ(log(), "");
}

TEST_F(CommandTest, ChoiceEventsReachTheirSlots)
{
    app.callbacks.choice = [](EngineInstance *, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                              intptr_t e) {
        return note("23:" + words({a, b, c, d, e})), 0;
    };
    app.callbacks.event24 = [](EngineInstance *, intptr_t a) {
        return note("24:" + words({a})), 0;
    };
    start();
    EXPECT_EQ(App_sendEvent23(inst, 5), 1);
    EXPECT_EQ(App_sendEvent23Full(inst, 1, 2, 3, 4), 1);
    EXPECT_EQ(App_sendEvent24(inst, 6), 1);
    run();
    EXPECT_EQ(log(), "23:0,0,0,0,5, 23:1,2,3,4,0, 24:6, ");
}

TEST_F(CommandTest, DiscardedOpenEventsReleaseWhatTheyOwn)
{
    start();
    // Posted but never run: the stop disposes of them, and their URL and
    // path copies are released (the heap check below would see a leak).
    MemStats before{};
    ASSERT_EQ(Mem_getStats(&before), 0);
    EXPECT_EQ(App_postOpenUrl(inst, 0, Url_newFromCstr("file://root/x.txt"), 0), 1);
    EXPECT_EQ(App_openDocument(inst, "/y.txt", 0, 0), 1);
    EXPECT_EQ(App_setConfigString(inst, "K", "V"), 1);
    // Dispose of them the way a stop does.
    EventQ_clear(inst->queue->ring);
    MemStats after{};
    ASSERT_EQ(Mem_getStats(&after), 0);
    EXPECT_EQ(after.usedBytes, before.usedBytes);
    run();
    EXPECT_EQ(log(), "");
}

TEST_F(CommandTest, PageNumberZeroIsPostedAndThenDoesNothing)
{
    start();
    EXPECT_EQ(App_gotoPageNumber(inst, 0), 1);
    EXPECT_EQ(App_postPageStep(inst, App_pageStepNext), 1);
    run();
    // Without a viewer the calls only free their copies.
    EXPECT_EQ(log(), "");
}

TEST_F(CommandTest, EventOneIsRefusedWhileAHostEventIsInside)
{
    app.callbacks.event1 = [](EngineInstance *, intptr_t a) { return note("1:" + words({a})), 0; };
    start();
    static int refused;
    refused = 0;
    inst->queue->sendGuard = 1;
    EXPECT_EQ(App_sendEvent1(inst, 5, [](void *) { refused++; }), 0);
    EXPECT_EQ(refused, 1);
    inst->queue->sendGuard = 0;
    EXPECT_EQ(App_sendEvent1(inst, 6, nullptr), 1);
    EXPECT_EQ(inst->queue->sendGuard, 0);
    run();
    EXPECT_EQ(log(), "1:6, ");
}

// The host's answer to a query runs the reply slot at once, under the send
// guard, and is refused without a slot, a live engine, or while another host
// call is inside.
TEST_F(CommandTest, RepliesRunTheReplySlotAtOnce)
{
    static int guardSeen;
    app.callbacks.reply = [](EngineInstance *instance, void *record) {
        guardSeen = instance->queue->sendGuard;
        note("reply:" + words({*static_cast<intptr_t *>(record)}));
        return 7;
    };
    start();
    intptr_t record = 42;
    EXPECT_EQ(App_deliverReply(inst, &record), 7);
    EXPECT_EQ(guardSeen, 1);
    EXPECT_EQ(inst->queue->sendGuard, 0);
    EXPECT_EQ(log(), "reply:42, ");
    inst->queue->sendGuard = 1;
    EXPECT_EQ(App_deliverReply(inst, &record), 0);
    inst->queue->sendGuard = 0;
    inst->queue->callbacks.reply = nullptr;
    EXPECT_EQ(App_deliverReply(inst, &record), 0);
    EXPECT_EQ(App_deliverReply(nullptr, &record), 0);
    EXPECT_EQ(log(), "reply:42, ");
}

} // namespace
