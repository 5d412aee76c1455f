// Host thread services: the baton between the GUI thread and new threads,
// threads that never run, threads destroyed inside a switch, routines that
// return, the signal mask and stack of new threads.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "host/headless/headless.h"
#include "platform/host/hostthread.h"

namespace {

class HostThreadTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        host = Headless_createContext(0);
        ASSERT_NE(host, nullptr);
        gui = HostThread_create(host, nullptr, nullptr, 0);
        ASSERT_NE(gui, nullptr);
    }
    void TearDown() override
    {
        HostThread_destroyAll(host);
        EXPECT_EQ(host->threadList, nullptr);
        EXPECT_EQ(host->mainThread, nullptr);
        Headless_destroyContext(host);
    }
    HostContext *host = nullptr;
    HostThreadRec *gui = nullptr;
    std::string trace; // appended by whichever thread holds the baton
};

struct Ctx {
    HostThreadTest *test;
    HostContext *host;
    std::string *trace;
    const char *name;
    int rounds;
};

// Logs its name and a round number, then hands the baton back, rounds times.
void pingRoutine(void *arg)
{
    Ctx *c = static_cast<Ctx *>(arg);
    for (int i = 0; i < c->rounds; i++) {
        *c->trace += c->name;
        *c->trace += std::to_string(i);
        *c->trace += ' ';
        HostThread_switchTo(c->host, nullptr);
    }
    *c->trace += "never ";
    HostThread_switchTo(c->host, nullptr);
}

TEST_F(HostThreadTest, RegisteringTheGuiThreadMakesItMainAndCurrent)
{
    EXPECT_EQ(host->mainThread, gui);
    EXPECT_EQ(host->currentThread, gui);
    EXPECT_TRUE(pthread_equal(gui->thread, pthread_self()));
    // A second registration is listed but leaves main alone.
    HostThreadRec *again = HostThread_create(host, nullptr, nullptr, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(host->mainThread, gui);
    HostThread_destroy(host, again);
}

TEST_F(HostThreadTest, BatonAlternatesAndRecordZeroMeansTheGuiThread)
{
    Ctx a{this, host, &trace, "a", 2};
    Ctx b{this, host, &trace, "b", 2};
    HostThreadRec *ra = HostThread_create(host, pingRoutine, &a, 4096);
    HostThreadRec *rb = HostThread_create(host, pingRoutine, &b, 4096);
    ASSERT_NE(ra, nullptr);
    ASSERT_NE(rb, nullptr);
    trace += "g ";
    HostThread_switchTo(host, rb);
    EXPECT_EQ(host->currentThread, gui);
    trace += "g ";
    HostThread_switchTo(host, ra);
    HostThread_switchTo(host, ra);
    HostThread_switchTo(host, rb);
    trace += "g";
    EXPECT_EQ(trace, "g b0 g a0 a1 b1 g");
    // Both now wait inside a switch; destroying them never returns there.
    HostThread_destroy(host, ra);
    HostThread_destroy(host, rb);
    EXPECT_EQ(trace, "g b0 g a0 a1 b1 g");
    EXPECT_EQ(host->threadList, gui);
}

void mustNotRun(void *arg)
{
    *static_cast<int *>(arg) = 1;
}

TEST_F(HostThreadTest, ThreadThatNeverRanEndsWithoutCallingItsRoutine)
{
    int called = 0;
    HostThreadRec *r = HostThread_create(host, mustNotRun, &called, 0);
    ASSERT_NE(r, nullptr);
    HostThread_destroy(host, r);
    EXPECT_EQ(called, 0);
    EXPECT_EQ(host->threadList, gui);
    EXPECT_EQ(host->currentThread, gui);
}

void returnsAtOnce(void *arg)
{
    *static_cast<int *>(arg) += 1;
}

TEST_F(HostThreadTest, RoutineThatReturnsHandsTheBatonBack)
{
    int runs = 0;
    HostThreadRec *r = HostThread_create(host, returnsAtOnce, &runs, 0);
    ASSERT_NE(r, nullptr);
    HostThread_switchTo(host, r);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(host->currentThread, gui);
    // Switching to it again only bounces the baton back.
    HostThread_switchTo(host, r);
    EXPECT_EQ(runs, 1);
    HostThread_destroy(host, r);
}

struct MaskProbe {
    HostContext *host;
    int alarmBlocked;
    size_t stackSize;
};

void probeMask(void *arg)
{
    MaskProbe *p = static_cast<MaskProbe *>(arg);
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    p->alarmBlocked = sigismember(&now, SIGALRM);
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstacksize(&attr, &p->stackSize);
    pthread_attr_destroy(&attr);
}

TEST_F(HostThreadTest, NewThreadsBlockTheTimerSignalAndGetAGenerousStack)
{
    MaskProbe probe{host, 0, 0};
    HostThreadRec *r = HostThread_create(host, probeMask, &probe, 512);
    ASSERT_NE(r, nullptr);
    HostThread_switchTo(host, r);
    EXPECT_EQ(probe.alarmBlocked, 1);
    EXPECT_GE(probe.stackSize, size_t(HostThread_minStack));
    sigset_t mine;
    pthread_sigmask(SIG_BLOCK, nullptr, &mine);
    EXPECT_EQ(sigismember(&mine, SIGALRM), 0) << "the GUI thread's mask must be restored";
    HostThread_destroy(host, r);
}

TEST_F(HostThreadTest, DestroyingTheMainRecordOnlyUnregistersIt)
{
    HostThread_destroy(host, gui);
    EXPECT_EQ(host->mainThread, nullptr);
    EXPECT_EQ(host->currentThread, nullptr);
    EXPECT_EQ(host->threadList, nullptr);
    // Without a holder of the baton a switch does nothing.
    HostThread_switchTo(host, nullptr);
}

// Many threads passing the baton round in a ring, many times: every hand-over
// must reach exactly the target and nothing may run out of turn.
struct RingCtx {
    HostContext *host;
    HostThreadRec **ring;
    int index, count;
    int *counter;
    int *order;
};

void ringRoutine(void *arg)
{
    RingCtx *c = static_cast<RingCtx *>(arg);
    for (;;) {
        c->order[(*c->counter)++] = c->index;
        HostThreadRec *next = c->index + 1 < c->count ? c->ring[c->index + 1] : nullptr;
        HostThread_switchTo(c->host, next);
    }
}

TEST_F(HostThreadTest, RingOfThreadsKeepsStrictTurnsUnderRepetition)
{
    constexpr int n = 6, laps = 300;
    HostThreadRec *ring[n];
    RingCtx ctx[n];
    int counter = 0;
    static int order[n * laps];
    for (int i = 0; i < n; i++) {
        ctx[i] = RingCtx{host, ring, i, n, &counter, order};
        ring[i] = HostThread_create(host, ringRoutine, &ctx[i], 0);
        ASSERT_NE(ring[i], nullptr);
    }
    for (int lap = 0; lap < laps; lap++)
        HostThread_switchTo(host, ring[0]);
    ASSERT_EQ(counter, n * laps);
    for (int i = 0; i < n * laps; i++)
        ASSERT_EQ(order[i], i % n) << "at " << i;
    HostThread_destroyAll(host);
    EXPECT_EQ(host->threadList, nullptr);
}

TEST_F(HostThreadTest, CreateAndDestroyRepeatedly)
{
    for (int i = 0; i < 200; i++) {
        int runs = 0;
        HostThreadRec *r = HostThread_create(host, returnsAtOnce, &runs, 0);
        ASSERT_NE(r, nullptr);
        if (i % 2)
            HostThread_switchTo(host, r);
        HostThread_destroy(host, r);
        ASSERT_EQ(runs, i % 2);
    }
    EXPECT_EQ(host->threadList, gui);
}

} // namespace
