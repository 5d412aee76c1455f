// The application event ring: admission limits and filters, deferred call
// placement, take, and disposal.
#include <gtest/gtest.h>

#include <string>

#include "core/result.h"
#include "core/task/appevent.h"
#include "core/task/task.h"
#include "tests/support/task_fixture.h"

namespace {

// Completions count their calls in a table the test owns; a block's word 5
// (argument 2) says which counter.
int doneCount[8];
intptr_t doneArg;

void countDone(void *arg)
{
    intptr_t *block = static_cast<intptr_t *>(arg);
    doneCount[block[3] & 7]++;
}

void countDoneWord4(void *arg)
{
    doneArg = reinterpret_cast<intptr_t>(arg);
    doneCount[0]++;
}

void fnA(EngineInstance *, void *) {}
void fnB(EngineInstance *, void *) {}

class RingTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        for (int &c : doneCount)
            c = 0;
        doneArg = 0;
        e.instance->queueOptionA = 0;
        e.instance->queueOptionB = 0;
        ASSERT_EQ(EventQ_create(e.context, &ring), 0);
    }
    void TearDown() override
    {
        EventQ_destroy(ring);
        if (actors.empty()) {
            EXPECT_EQ(TestHeap_usedBytes(), baseline);
        }
        TaskFixture::TearDown();
    }

    AppEvent host(intptr_t code, intptr_t a = 0, intptr_t b = 0)
    {
        AppEvent ev{};
        ev.kind = AppEvent_kindHost;
        ev.block[0] = code;
        ev.block[1] = reinterpret_cast<intptr_t>(e.instance);
        ev.block[2] = a;
        ev.block[3] = b;
        return ev;
    }
    AppEvent keyPress(intptr_t key, intptr_t repeat = 0)
    {
        return host(AppEvent_codeKeyPress, key, repeat);
    }
    AppEvent keyRelease(intptr_t key)
    {
        return host(AppEvent_codeKeyRelease, key);
    }
    AppEvent app(intptr_t code, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0)
    {
        AppEvent ev{};
        ev.kind = AppEvent_kindApp;
        ev.block[0] = code;
        ev.block[1] = reinterpret_cast<intptr_t>(e.instance);
        ev.block[2] = a;
        ev.block[3] = b;
        ev.block[4] = c;
        ev.block[5] = d;
        return ev;
    }
    AppEvent pan(intptr_t dx, intptr_t dy)
    {
        return app(AppEvent_codePan, dx, dy, AppEvent_moveStep);
    }
    AppEvent pointer(intptr_t x, intptr_t y, intptr_t extra = 0)
    {
        return app(AppEvent_codePointer, x, y, extra, AppEvent_moveStep);
    }
    AppEvent call6(AppCallFn fn, intptr_t counter, intptr_t mode)
    {
        AppEvent ev =
            app(AppEvent_codeCallAmongMoves, reinterpret_cast<intptr_t>(fn), counter, mode);
        ev.completion = countDone;
        return ev;
    }

    // The queue from the head: K key press (Kr repeat), R release, P pan,
    // M pointer move, C call6 (a, b, c by function), A application event.
    std::string describe()
    {
        std::string s;
        for (int32_t i = 0; i < ring->count; i++) {
            const AppEvent *ev = EventQ_at(ring, i);
            const intptr_t *w = ev->block;
            char buf[48];
            if (ev->kind == AppEvent_kindHost && w[0] == AppEvent_codeKeyPress)
                snprintf(buf, sizeof buf, w[3] > 0 ? "Kr%ld" : "K%ld", long(w[2]));
            else if (ev->kind == AppEvent_kindHost && w[0] == AppEvent_codeKeyRelease)
                snprintf(buf, sizeof buf, "R%ld", long(w[2]));
            else if (ev->kind == AppEvent_kindHost)
                snprintf(buf, sizeof buf, "H%lx", long(w[0]));
            else if (w[0] == AppEvent_codePan)
                snprintf(buf, sizeof buf, "P(%ld,%ld)", long(w[2]), long(w[3]));
            else if (w[0] == AppEvent_codePointer)
                snprintf(buf, sizeof buf, "M(%ld,%ld)", long(w[2]), long(w[3]));
            else if (w[0] == AppEvent_codeCallAmongMoves)
                snprintf(buf, sizeof buf, "C%c",
                         w[2] == reinterpret_cast<intptr_t>(fnA)   ? 'a'
                         : w[2] == reinterpret_cast<intptr_t>(fnB) ? 'b'
                                                                   : 'c');
            else
                snprintf(buf, sizeof buf, "A%ld:%ld", long(w[0]), long(w[2]));
            if (!s.empty())
                s += ' ';
            s += buf;
        }
        return s;
    }
    void post(const AppEvent &ev)
    {
        ASSERT_EQ(EventQ_post(ring, &ev), 1) << describe();
    }

    AppEventRing *ring = nullptr;
};

TEST_F(RingTest, CreatesEmptyRingWithLimitsFromTheInstanceOptions)
{
    EXPECT_EQ(ring->count, 0);
    EXPECT_EQ(ring->capacity, 56);
    EXPECT_EQ(ring->keyLimit, 8);
    EXPECT_EQ(ring->moveLimit, 20);
    for (const AppEvent &slot : ring->slots) {
        EXPECT_EQ(slot.kind, 0);
        EXPECT_EQ(slot.block[0], 0x10003);
        EXPECT_EQ(slot.completion, nullptr);
    }
    AppEventRing *other = nullptr;
    e.instance->queueOptionB = 1;
    ASSERT_EQ(EventQ_create(e.context, &other), 0);
    EXPECT_EQ(other->keyLimit, 4);
    EXPECT_EQ(other->optionB, 1);
    EventQ_destroy(other);

    EXPECT_EQ(EventQ_create(nullptr, &other), Res_missingArgument);
    EXPECT_EQ(EventQ_create(e.context, nullptr), Res_missingArgument);
    Mem_failAfter(1);
    EXPECT_EQ(EventQ_create(e.context, &other), Res_noMemory);
    EXPECT_EQ(other, nullptr);
}

TEST_F(RingTest, TakesInOrderAcrossTheWrapOfTheSlots)
{
    // Enough posts and takes to run the head round the ring twice, with the
    // queue three deep.
    AppEvent out;
    for (int i = 0; i < 3; i++)
        post(app(40, i));
    for (int i = 3; i < 150; i++) {
        post(app(40, i));
        ASSERT_EQ(EventQ_take(ring, &out), 0);
        EXPECT_EQ(out.block[2], i - 3);
    }
    EXPECT_EQ(describe(), "A40:147 A40:148 A40:149");
    AppEvent front = app(41, 7);
    ASSERT_EQ(EventQ_pushFront(ring, &front), 1);
    EXPECT_EQ(describe(), "A41:7 A40:147 A40:148 A40:149");
    EventQ_clear(ring);
    EXPECT_EQ(ring->count, 0);
    EXPECT_EQ(EventQ_take(nullptr, &out), Res_missingArgument);
    EXPECT_EQ(EventQ_post(ring, nullptr), 0);
    EXPECT_EQ(EventQ_pushFront(nullptr, &front), 0);
}

TEST_F(RingTest, KeyPressLimitDropsTheOldestPlainPressFirst)
{
    for (int k = 1; k <= 8; k++)
        post(keyPress(k));
    post(keyPress(9));
    EXPECT_EQ(describe(), "K2 K3 K4 K5 K6 K7 K8 K9");
}

TEST_F(RingTest, UnderPressureRepeatsGoFirstAndARepeatIsRefused)
{
    post(keyPress(1));
    post(keyPress(2, 1));
    for (int k = 3; k <= 8; k++)
        post(keyPress(k, k == 5 ? 2 : 0));
    EXPECT_EQ(describe(), "K1 Kr2 K3 K4 Kr5 K6 K7 K8");
    AppEvent repeat = keyPress(9, 1);
    EXPECT_EQ(EventQ_post(ring, &repeat), 0);
    post(keyPress(9));
    EXPECT_EQ(describe(), "K1 K3 K4 K6 K7 K8 K9");
}

TEST_F(RingTest, PressReleasePairsGoBeforeSinglePresses)
{
    post(keyPress(1));
    post(keyPress(2));
    post(keyRelease(2));
    for (int k = 3; k <= 8; k++)
        post(keyPress(k));
    post(keyPress(9));
    EXPECT_EQ(describe(), "K1 K3 K4 K5 K6 K7 K8 K9");
}

TEST_F(RingTest, OptionBLowersTheLimitAndKeepsReleases)
{
    ASSERT_EQ(EventQ_setOptions(ring, 0, 1), 1);
    EXPECT_EQ(ring->keyLimit, 4);
    post(keyPress(1));
    post(keyRelease(1));
    for (int k = 2; k <= 4; k++)
        post(keyPress(k));
    post(keyPress(5));
    // The pair stays; the oldest plain press goes.
    EXPECT_EQ(describe(), "R1 K2 K3 K4 K5");

    // With option A repeats stay too.
    ASSERT_EQ(EventQ_setOptions(ring, 1, 1), 1);
    EventQ_clear(ring);
    post(keyPress(1, 3));
    for (int k = 2; k <= 4; k++)
        post(keyPress(k));
    post(keyPress(5));
    EXPECT_EQ(describe(), "Kr1 K3 K4 K5");

    EXPECT_EQ(EventQ_setOptions(ring, 2, 0), 0);
    EXPECT_EQ(EventQ_setOptions(ring, 0, -1), 0);
    EXPECT_EQ(ring->keyLimit, 4);
}

TEST_F(RingTest, TwentyFirstPanMoveMergesTheOldestTwo)
{
    post(app(40, 0));
    for (int i = 1; i <= 20; i++)
        post(pan(i, 10 * i));
    post(pan(21, 210));
    ASSERT_EQ(ring->count, 21);
    const AppEvent *merged = EventQ_at(ring, 1);
    EXPECT_EQ(merged->block[2], 3);  // 1 + 2
    EXPECT_EQ(merged->block[3], 30); // 10 + 20
    EXPECT_EQ(EventQ_at(ring, 20)->block[2], 21);
}

TEST_F(RingTest, PointerMovesMergeOnlyWithTheSameTarget)
{
    // Twenty moves, alternating targets: nothing adjacent has the same
    // target, so under pressure no move filter applies and the move is
    // refused (no key to drop either).
    for (int i = 0; i < 20; i++)
        post(pointer(i % 2, 0, i));
    AppEvent more = pointer(5, 5);
    EXPECT_EQ(EventQ_post(ring, &more), 0);
    EventQ_clear(ring);
    for (int i = 0; i < 19; i++)
        post(pointer(i, 0));
    post(pointer(18, 0, 99));
    post(pointer(30, 0));
    ASSERT_EQ(ring->count, 20);
    // The earlier of the two moves to (18, 0) went; the later one stays.
    EXPECT_EQ(EventQ_at(ring, 18)->block[2], 18);
    EXPECT_EQ(EventQ_at(ring, 18)->block[4], 99);
}

TEST_F(RingTest, AFullRingOfUndroppableEntriesRefusesAndDisposesNothing)
{
    for (int i = 0; i < 56; i++) {
        AppEvent ev = app(AppEvent_codeCall, 0, 1);
        ev.completion = countDone;
        post(ev);
    }
    AppEvent ev = app(AppEvent_codeCall, 0, 2);
    ev.completion = countDone;
    EXPECT_EQ(EventQ_post(ring, &ev), 0);
    EXPECT_EQ(EventQ_pushFront(ring, &ev), 0);
    EXPECT_EQ(doneCount[1] + doneCount[2], 0);
    EXPECT_EQ(ring->count, 56);
    // A key press in a full ring makes room by dropping the oldest press.
    EventQ_clear(ring);
    EXPECT_EQ(doneCount[1], 56);
    post(keyPress(1));
    for (int i = 1; i < 56; i++)
        post(app(40, i));
    post(keyPress(2));
    EXPECT_EQ(ring->count, 56);
    EXPECT_EQ(EventQ_at(ring, 55)->block[2], 2);
    EXPECT_EQ(EventQ_at(ring, 0)->block[0], 40);
}

TEST_F(RingTest, ARefusedDeferredCallIsNeitherRunNorDisposed)
{
    for (int i = 0; i < 56; i++)
        post(app(40, i));
    AppEvent call = call6(fnA, 3, 1);
    EXPECT_EQ(EventQ_post(ring, &call), 0);
    EXPECT_EQ(doneCount[3], 0);
    EXPECT_EQ(ring->count, 56);
}

TEST_F(RingTest, OnlyTheNewestCallOfAFunctionStaysQueued)
{
    post(call6(fnA, 1, 1));
    post(app(40, 0));
    post(call6(fnB, 2, 1));
    post(call6(fnA, 3, 1));
    EXPECT_EQ(describe(), "A40:0 Cb Ca");
    EXPECT_EQ(doneCount[1], 1);
    EXPECT_EQ(EventQ_at(ring, 2)->block[3], 3);
}

TEST_F(RingTest, DeferredCallsArePlacedAfterTheRunOfMovesTheyFollow)
{
    struct Case {
        const char *name;
        intptr_t mode;
        std::string expect;
    };
    // Queue: A40 P P A41 M A42 Cb(mode 2)
    const Case cases[] = {
        {"mode 1 stops at the pointer move", 1, "A40:0 P(1,1) P(2,2) A41:0 Ca M(5,5) A42:0 Cb"},
        {"mode 2: a call of its own mode closes the run", 2,
         "A40:0 P(1,1) P(2,2) A41:0 M(5,5) A42:0 Cb Ca"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EventQ_clear(ring);
        post(app(40));
        post(pan(1, 1));
        post(pan(2, 2));
        post(app(41));
        post(pointer(5, 5));
        post(app(42));
        post(call6(fnB, 0, 2));
        post(call6(fnA, 0, c.mode));
        EXPECT_EQ(describe(), c.expect);
    }

    // Mode 2 after pointer moves, stopped by a pan move.
    EventQ_clear(ring);
    post(pointer(1, 1));
    post(app(41));
    post(pan(3, 3));
    post(call6(fnA, 0, 2));
    EXPECT_EQ(describe(), "M(1,1) A41:0 Ca P(3,3)");

    // A call of another function and mode stops the scan; one of the same
    // mode closes the run, and without a new run the call goes to the tail.
    EventQ_clear(ring);
    post(pan(1, 1));
    post(call6(fnB, 0, 2));
    post(pointer(2, 2));
    post(call6(fnA, 0, 1));
    EXPECT_EQ(describe(), "P(1,1) Ca Cb M(2,2)");
    EventQ_clear(ring);
    post(pan(1, 1));
    post(call6(fnB, 0, 1));
    post(pointer(2, 2));
    post(call6(fnA, 0, 1));
    EXPECT_EQ(describe(), "P(1,1) Cb M(2,2) Ca");

    // Inserting before the head's successor works across the slot wrap.
    EventQ_clear(ring);
    AppEvent out;
    for (int i = 0; i < 54; i++) {
        post(app(40, i));
        EventQ_take(ring, &out);
    }
    post(pan(1, 1));
    post(pointer(2, 2));
    post(call6(fnA, 0, 1));
    EXPECT_EQ(describe(), "P(1,1) Ca M(2,2)");
}

TEST_F(RingTest, TakeCall6TakesTheFirstCallOutOfOrder)
{
    post(app(40));
    post(call6(fnA, 1, 1));
    post(call6(fnB, 2, 1));
    AppEvent out;
    EXPECT_EQ(EventQ_takeCall6(ring, &out), 0);
    EXPECT_EQ(out.block[2], reinterpret_cast<intptr_t>(fnA));
    EXPECT_EQ(describe(), "A40:0 Cb");
    EXPECT_EQ(doneCount[1], 0);
    EventQ_clear(ring);
    EXPECT_EQ(EventQ_takeCall6(ring, &out), 0);
    EXPECT_EQ(out.kind, 0);
    EXPECT_EQ(out.block[0], 0x10003);
    EXPECT_EQ(EventQ_takeCall6(ring, nullptr), Res_missingArgument);
}

TEST_F(RingTest, RemoveIfCompressAndClearDisposeOnce)
{
    for (int i = 0; i < 3; i++) {
        AppEvent ev = app(50 + i, 0, i);
        ev.completion = countDone;
        post(ev);
    }
    EXPECT_EQ(
        EventQ_removeIf(ring, nullptr,
                        [](const AppEvent *ev, void *) { return ev->block[0] == 51 ? 1 : 0; }),
        1);
    EXPECT_EQ(doneCount[1], 1);
    EXPECT_EQ(describe(), "A50:0 A52:0");

    // Code 1: the completion gets the first argument.
    AppEvent one = app(1, 1234);
    one.completion = countDoneWord4;
    post(one);
    EventQ_clear(ring);
    EXPECT_EQ(doneCount[0], 2);
    EXPECT_EQ(doneCount[2], 1);
    EXPECT_EQ(doneArg, 1234);

    post(pan(1, 1));
    post(pan(2, 2));
    post(pan(3, 3));
    post(pointer(1, 1));
    post(pointer(1, 1));
    post(pointer(2, 2));
    post(pan(4, 4));
    EventQ_compress(ring, AppEvent_codePan);
    EXPECT_EQ(describe(), "P(1,1) M(1,1) M(1,1) M(2,2) P(4,4)");
    EventQ_compress(ring, AppEvent_codePointer);
    EXPECT_EQ(describe(), "P(1,1) M(1,1) M(2,2) P(4,4)");
    EventQ_compress(ring, 40);
    EXPECT_EQ(ring->count, 4);
}

TEST_F(RingTest, ACompletionMayPostWhileTheRingIsCleared)
{
    struct Ctx {
        AppEventRing *ring;
        int posted;
    };
    static Ctx ctx;
    ctx = Ctx{ring, 0};
    AppEvent ev = app(60);
    ev.completion = [](void *) {
        AppEvent again{};
        again.kind = AppEvent_kindApp;
        again.block[0] = 61;
        ctx.posted += EventQ_post(ctx.ring, &again);
    };
    post(ev);
    post(app(62));
    EventQ_clear(ring);
    EXPECT_EQ(ctx.posted, 1);
    EXPECT_EQ(ring->count, 0);
}

TEST_F(RingTest, TakeSleepsUntilAnEntryIsQueued)
{
    AppEvent got{};
    spawn("SimpleAppThread", 2, [&] {
        log("take");
        EventQ_take(ring, &got);
        log("got");
    });
    EXPECT_EQ(slice(), 0);
    AppEvent ev = app(40, 77);
    ASSERT_EQ(EventQ_post(ring, &ev), 1);
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(trace, "take | got | ");
    EXPECT_EQ(got.block[2], 77);
}

} // namespace
