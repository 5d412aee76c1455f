// The playback clock on the hand-driven engine clock: pause and resume,
// stops that change nothing, starts while running, slot arming and
// re-arming from inside a callback, listeners.
#include <cstdint>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/timerq.h"
#include "tests/support/task_fixture.h"
#include "core/task/clock.h"

namespace {

class ClockTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(AppMsg_createDispatcher(ctx(), &proc), 0);
        ASSERT_EQ(TimerQ_startThread(ctx(), proc), 0);
        ctx()->eventProc = proc;
        run([this] { ASSERT_EQ(Clock_create(ctx(), &clock), 0); });
        ASSERT_NE(clock, nullptr);
    }
    void TearDown() override
    {
        run([this] {
            // The listeners' vectors are gone with the test body.
            Clock_setListener(clock, 0, nullptr, nullptr);
            Clock_setListener(clock, 1, nullptr, nullptr);
            Clock_destroy(clock);
            EXPECT_EQ(TimerQ_stopThread(ctx(), proc), 0);
        });
        ctx()->eventProc = nullptr;
        AppMsg_destroyDispatcher(proc);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("clock", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }
    // Moves the engine clock on and lets the timer thread run what is due.
    void passMs(int64_t ms)
    {
        advance(ms);
        TimerQ_wakeThread(ctx());
        TestEngine_runAll(&e);
    }
    uint32_t elapsed()
    {
        uint32_t v = 0xdeadbeef;
        run([&] { EXPECT_EQ(Clock_elapsedMs(clock, &v), 0); });
        return v;
    }

    struct Fired {
        ClockTest *test;
        std::vector<uint32_t> at; // elapsed clock time of each firing
        int rearmEvery = 0;       // > 0: ask for the next firing this much later
    };
    static void onFire(EngineContext *, void *arg)
    {
        Fired *f = static_cast<Fired *>(arg);
        uint32_t now = 0;
        Clock_elapsedMs(f->test->clock, &now);
        f->at.push_back(now);
        if (f->rearmEvery)
            Clock_requestTimer(f->test->clock, 0, now + uint32_t(f->rearmEvery));
    }
    static void onChange(PlayClock *, void *arg, const ClockChange *c)
    {
        static_cast<std::vector<std::string> *>(arg)->push_back(
            std::to_string(c->oldState) + ">" + std::to_string(c->newState) + "@" +
            std::to_string(c->time) + "+" + std::to_string(c->shift));
    }

    EventProc *proc = nullptr;
    PlayClock *clock = nullptr;
};

TEST_F(ClockTest, PauseAt700ResumesFrom700AndSlotsFollowTheShiftedStart)
{
    Fired f{this};
    run([&] {
        Clock_setCallback(clock, 0, onFire, &f);
        EXPECT_EQ(Clock_setTimer(clock, 0, 1000), 0);
        EXPECT_EQ(Clock_start(clock), 0);
    });
    passMs(700);
    run([&] { Clock_pause(clock); });
    EXPECT_EQ(elapsed(), 700u);
    passMs(5000); // paused: time stands and the slot does not fire
    EXPECT_EQ(elapsed(), 700u);
    EXPECT_TRUE(f.at.empty());
    run([&] { Clock_start(clock); });
    passMs(299);
    EXPECT_EQ(elapsed(), 999u);
    EXPECT_TRUE(f.at.empty());
    passMs(1);
    ASSERT_EQ(f.at.size(), 1u);
    EXPECT_EQ(f.at[0], 1000u);
    EXPECT_EQ(clock->slot[0].slotState, ClockSlot_idle);
}

TEST_F(ClockTest, StopOrPauseOnAStoppedClockCallsNothing)
{
    std::vector<std::string> changes;
    run([&] {
        Clock_setListener(clock, 0, onChange, &changes);
        Clock_pause(clock);
        Clock_stop(clock);
    });
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(clock->state, Clock_stopped);
    EXPECT_EQ(elapsed(), 0u);
    // A real round: start at 100, pause at 350, stop; the listener sees each.
    passMs(100);
    run([&] { Clock_start(clock); });
    passMs(250);
    run([&] {
        Clock_pause(clock);
        Clock_pause(clock); // paused already: nothing
        Clock_stop(clock);
        Clock_stop(clock); // stopped already: nothing
    });
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0], "0>1@100+0");
    EXPECT_EQ(changes[1], "1>2@250+0");
    EXPECT_EQ(changes[2], "2>0@0+0");
}

TEST_F(ClockTest, StartWhileRunningOrEndedReturnsZeroAndChangesNothing)
{
    passMs(40);
    std::vector<std::string> changes;
    run([&] {
        Clock_setListener(clock, 1, onChange, &changes);
        EXPECT_EQ(Clock_start(clock), 0);
    });
    passMs(60);
    run([&] { EXPECT_EQ(Clock_start(clock), 0); });
    EXPECT_EQ(clock->startTime, 40u);
    EXPECT_EQ(elapsed(), 60u);
    run([&] {
        Clock_setState(clock, Clock_ended);
        EXPECT_EQ(Clock_start(clock), 0);
    });
    EXPECT_EQ(clock->state, Clock_ended);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1], "1>4@0+0");
}

TEST_F(ClockTest, ArmingAnArmedSlotKeepsTheEarlierTime)
{
    Fired f{this};
    run([&] {
        Clock_setCallback(clock, 0, onFire, &f);
        Clock_start(clock);
        Clock_setTimer(clock, 0, 200);
        Clock_setTimer(clock, 0, 100); // armed: the 200 stands
        Clock_setTimer(clock, 0, 300);
    });
    EXPECT_EQ(clock->slot[0].offset, 200u);
    passMs(150);
    EXPECT_TRUE(f.at.empty());
    passMs(50);
    ASSERT_EQ(f.at.size(), 1u);
    EXPECT_EQ(f.at[0], 200u);
}

TEST_F(ClockTest, RequestsDuringAFiringKeepTheSmallerOffset)
{
    Fired f{this};
    f.rearmEvery = 100;
    run([&] {
        Clock_setCallback(clock, 0, onFire, &f);
        Clock_setTimer(clock, 0, 50);
        Clock_start(clock);
    });
    passMs(50);
    passMs(100);
    passMs(100);
    ASSERT_EQ(f.at.size(), 3u);
    EXPECT_EQ(f.at[1], 150u);
    EXPECT_EQ(f.at[2], 250u);
    // Two requests in one firing: the smaller one is taken either way round.
    run([&] {
        clock->slot[0].slotState = ClockSlot_firing;
        Clock_requestTimer(clock, 0, 400);
        Clock_requestTimer(clock, 0, 900);
        EXPECT_EQ(clock->slot[0].pendingOffset, 400u);
        Clock_setTimer(clock, 0, 380);
        EXPECT_EQ(clock->slot[0].pendingOffset, 380u);
        clock->slot[0].slotState = ClockSlot_idle;
        Clock_cancelTimer(clock, 0);
    });
}

TEST_F(ClockTest, ASlotArmedWhileStoppedIsQueuedAtStart)
{
    Fired f{this};
    run([&] {
        Clock_setCallback(clock, 1, onFire, &f);
        Clock_setTimer(clock, 1, 30);
    });
    EXPECT_EQ(clock->slot[1].slotState, ClockSlot_armed);
    EXPECT_EQ(clock->slot[1].timerHandle, 0u); // marked, not queued
    passMs(500);
    EXPECT_TRUE(f.at.empty());
    run([&] { Clock_start(clock); });
    EXPECT_NE(clock->slot[1].timerHandle, 0u);
    passMs(30);
    ASSERT_EQ(f.at.size(), 1u);
    EXPECT_EQ(f.at[0], 30u);
    // A stop returns the slots to idle with offset 0 and cancels the timer.
    run([&] {
        Clock_setTimer(clock, 1, 70);
        Clock_stop(clock);
    });
    EXPECT_EQ(clock->slot[1].slotState, ClockSlot_idle);
    EXPECT_EQ(clock->slot[1].offset, 0u);
    passMs(100);
    EXPECT_EQ(f.at.size(), 1u);
}

TEST_F(ClockTest, ElapsedTimeWrapsInUnsigned32Bits)
{
    // The engine clock a little below 2^32: the difference stays right.
    passMs(int64_t(UINT32_MAX) - 9);
    run([&] { Clock_start(clock); });
    passMs(30);
    EXPECT_EQ(elapsed(), 30u);
}

TEST_F(ClockTest, OwnerFlag)
{
    uint32_t flag = 7;
    run([&] {
        Clock_getOwnerFlag(clock, &flag);
        EXPECT_EQ(flag, 1u);
        Clock_clearOwnerFlag(clock);
        Clock_getOwnerFlag(clock, &flag);
        EXPECT_EQ(flag, 0u);
        Clock_setOwnerFlag(clock);
        Clock_getOwnerFlag(clock, &flag);
    });
    EXPECT_EQ(flag, 1u);
}

} // namespace
