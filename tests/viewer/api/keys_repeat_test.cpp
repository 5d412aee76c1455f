// Key auto-repeat on a running engine with the hand-driven clock: the first
// action at once, the first repeat after the delay, then one per rate; the
// release reaching the view 300 ms after the release event (or at once with
// "Vexlan_actionAllSoftKeyReleases"), a second release restarting the wait;
// page keys repeating only with "Vexlan_keyPageUpDownRepeat"; hooked keys
// repeating into their hook; and a second key taking over from the first.
#include <string>

#include "tests/viewer/api/keys_fixture.h"

namespace {

class KeyRepeatTest : public KeyFixture {
  protected:
    // A hook that lets every key through but logs releases.
    static int releaseLogger(FvView *, int32_t key, int32_t, int isRelease)
    {
        if (isRelease)
            note("release:" + std::to_string(key - Key_up) + "@" + std::to_string(elapsed()));
        return 0;
    }
    // A hook that consumes key 0x10030 and logs what it got.
    static int hook30(FvView *, int32_t key, int32_t repeatCount, int isRelease)
    {
        if (key != 0x10030)
            return 0;
        note(std::string(isRelease ? "hook-release" : "hook") + ":" + std::to_string(repeatCount) +
             "@" + std::to_string(elapsed()));
        return 1;
    }
    void logReleases()
    {
        onApp([this] { ASSERT_EQ(Key_pushHook(&view, releaseLogger), 0); });
    }
    // The expected log of repeats of 30 from first to last (ms), every 40.
    static std::string repeats(int first, int last, const char *delta = "0,30")
    {
        std::string s;
        for (int t = first; t <= last; t += 40)
            s += std::to_string(t) + ":" + delta + " ";
        return s;
    }
};

TEST_F(KeyRepeatTest, HeldKeyRepeatsAfterTheDelayAtTheRateUntilTheReleaseArrives)
{
    logReleases();
    mark();
    press(Key_down);
    runTo(400);
    EXPECT_EQ(log(), "0:0,10 " + repeats(250, 370));
    EXPECT_EQ(KeyRepeat_count(inst), 4);

    // The release event at 400 reaches the view at 700; the key goes on
    // repeating until then.
    log().clear();
    release(Key_down);
    runTo(1200);
    EXPECT_EQ(log(), repeats(410, 690) + "release:1@700 ");
    EXPECT_EQ(inst->keys->heldKey, Key_none);
    EXPECT_EQ(inst->keys->repeatTimer, 0u);
    EXPECT_FALSE(armed());
}

TEST_F(KeyRepeatTest, ConfiguredDelayAndRate)
{
    setConfig(u"Vexlan_keyAutorepeatDelay", 100);
    setConfig(u"Vexlan_keyAutorepeatRate", 75);
    setConfig(u"Vexlan_actionAllSoftKeyReleases", 1);
    mark();
    press(Key_down);
    runTo(300);
    release(Key_down);
    runTo(1000);
    EXPECT_EQ(log(), "0:0,10 100:0,30 175:0,30 250:0,30 ");
    EXPECT_EQ(inst->keys->delayMs, 100);
    EXPECT_EQ(inst->keys->rateMs, 75);
}

TEST_F(KeyRepeatTest, AllSoftKeyReleasesDeliversTheReleaseAtOnceAndOnlyOnce)
{
    setConfig(u"Vexlan_actionAllSoftKeyReleases", 1);
    logReleases();
    mark();
    press(Key_down);
    runTo(300);
    release(Key_down);
    runTo(1000);
    EXPECT_EQ(log(), "0:0,10 250:0,30 290:0,30 release:1@300 ");
}

TEST_F(KeyRepeatTest, ASecondReleaseEventRestartsTheWait)
{
    logReleases();
    mark();
    press(Key_up);
    runTo(100);
    release(Key_up);
    runTo(200);
    release(Key_up);
    runTo(1000);
    // The release reaches the view 300 ms after the second release event.
    EXPECT_EQ(log(), "0:0,-10 250:0,-30 290:0,-30 330:0,-30 370:0,-30 410:0,-30 450:0,-30 "
                     "490:0,-30 release:0@500 ");
}

TEST_F(KeyRepeatTest, PageKeysRepeatOnlyWhenAllowed)
{
    mark();
    press(Key_pageDown);
    runTo(400);
    release(Key_pageDown);
    runTo(1000);
    EXPECT_EQ(log(), "0:0,90 ");

    setConfig(u"Vexlan_keyPageUpDownRepeat", 1);
    mark();
    press(Key_pageDown);
    runTo(300);
    release(Key_pageDown);
    runTo(1000);
    EXPECT_EQ(log(), "0:0,90 " + repeats(250, 570, "0,90"));
}

TEST_F(KeyRepeatTest, HookedKeyNeverPansButRepeatsIntoItsHookAndStopsOnRelease)
{
    setConfig(u"Vexlan_actionAllSoftKeyReleases", 1);
    onApp([this] { ASSERT_EQ(Key_pushHook(&view, hook30), 0); });
    mark();
    press(0x10030);
    EXPECT_NE(inst->keys->repeatTimer, 0u);
    runTo(300);
    release(0x10030);
    runTo(1000);
    EXPECT_EQ(log(), "hook:0@0 hook:1@250 hook:2@290 hook-release:0@300 ");
    EXPECT_EQ(inst->keys->repeatTimer, 0u);
}

// A press of the same key while its release waits is the key still held;
// a press of another key delivers the waiting release first and repeats
// the new key.
TEST_F(KeyRepeatTest, PressesWhileAReleaseWaits)
{
    logReleases();
    mark();
    press(Key_down);
    runTo(100);
    release(Key_down);
    runTo(150);
    press(Key_down);
    runTo(300);
    EXPECT_EQ(log(), "0:0,10 150:0,10 250:0,30 290:0,30 ");
    // Held on: no release at 400.
    log().clear();
    runTo(450);
    EXPECT_EQ(log(), repeats(330, 450));

    log().clear();
    release(Key_down);
    runTo(500);
    press(Key_right);
    runTo(800);
    EXPECT_EQ(log(), "490:0,30 release:1@500 500:7,0 750:21,0 790:21,0 ");
    release(Key_right);
    runTo(2000);
}

// A second key pressed while the first is still held takes the repeat over.
TEST_F(KeyRepeatTest, ASecondHeldKeyTakesTheRepeatOver)
{
    mark();
    press(Key_down);
    runTo(300);
    press(Key_right);
    runTo(600);
    EXPECT_EQ(log(), "0:0,10 250:0,30 290:0,30 300:7,0 550:21,0 590:21,0 ");
    setConfig(u"Vexlan_actionAllSoftKeyReleases", 1);
    release(Key_right);
    release(Key_down);
    runTo(1000);
    EXPECT_EQ(inst->keys->repeatTimer, 0u);
}

TEST_F(KeyRepeatTest, NothingIsLeftArmedWhenTheRecordIsFreedWhileAKeyIsHeld)
{
    logReleases();
    mark();
    press(Key_left);
    runTo(260);
    onApp([this] { KeyRepeat_free(inst, &inst->keys); });
    EXPECT_EQ(inst->keys, nullptr);
    runTo(1000);
    // The held key's release was delivered once by the free.
    EXPECT_EQ(log(), "0:-7,0 250:-21,0 release:3@260 ");
    EXPECT_FALSE(armed());
    // The fixture's tear-down frees a record that is no longer there.
}

} // namespace

namespace {

// The delay timer fires, and before its tick reaches the application thread
// the key is released and another pressed: the tick, queued behind them,
// belongs to the key released and must not start the new key's repeats
// early.
TEST_F(KeyRepeatTest, ATickOfTheReleasedKeyDoesNotRepeatTheNextOne)
{
    setConfig(u"Vexlan_actionAllSoftKeyReleases", 1);
    logReleases();
    mark();
    press(Key_up);
    runTo(249);
    Headless_advanceClock(host, 1);
    onApp([this] {
        // Whichever runs first, the timer thread or this call, the tick is
        // queued behind this call.
        TimerQ_runDue(context, &context->eventProc->timers, Time_nowMs());
        Key_releaseEvent(inst, Key_up);
        Key_pressEvent(inst, Key_down, 0);
    });
    int64_t pressed = elapsed();
    runTo(pressed + 300);
    EXPECT_EQ(log(), "0:0,-10 release:0@" + std::to_string(pressed) + " " +
                         std::to_string(pressed) + ":0,10 " + std::to_string(pressed + 250) +
                         ":0,30 " + std::to_string(pressed + 290) + ":0,30 ");
    onApp([this] { Key_releaseEvent(inst, Key_down); });
}

} // namespace
