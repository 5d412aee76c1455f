// The shared-exclusive gate: refusal beyond the shared maximum, leaving
// what is not held, finishing a held gate, and an exclusive entry that
// waits on an engine task until the last shared holder leaves.
#include "core/result.h"
#include "html/web/gate.h"
#include "tests/support/task_fixture.h"

namespace {

using GateTest = TaskFixture;

TEST_F(GateTest, EdgeCases)
{
    Gate *g = nullptr;
    ASSERT_EQ(Gate_create(e.context, &g, 1), 0);
    EXPECT_EQ(Gate_isHeld(g), 0);
    uint32_t n = 9;
    EXPECT_EQ(Gate_sharedCount(g, &n), 0);
    EXPECT_EQ(n, 0u);
    Task_detach(spawn("a", 3, [&] {
        EXPECT_EQ(Gate_enterShared(g), 0);
        EXPECT_EQ(Gate_enterShared(g), Res_gateFull); // refused, not waited for
        EXPECT_EQ(Gate_sharedCount(g, nullptr), 1);
        EXPECT_EQ(Gate_destroy(g), Res_gateHeld);
        EXPECT_EQ(Gate_leaveShared(g), 0);
        EXPECT_EQ(Gate_leaveShared(g), Res_gateNotHeld);
        EXPECT_EQ(Gate_leaveExclusive(g), Res_gateNotHeld);
        EXPECT_EQ(Gate_enterExclusive(g), 0);
        EXPECT_EQ(Gate_isHeld(g), 1);
        EXPECT_EQ(Gate_fini(g), Res_gateHeld);
        EXPECT_EQ(Gate_leaveExclusive(g), 0);
        EXPECT_EQ(Gate_leaveExclusive(g), Res_gateNotHeld);
    }));
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(Gate_destroy(g), 0);
}

TEST_F(GateTest, ExclusiveWaitsForTheLastSharedHolder)
{
    Gate *g = nullptr;
    ASSERT_EQ(Gate_create(e.context, &g, 2), 0);
    Task_detach(spawn("reader", 3, [&] {
        EXPECT_EQ(Gate_enterShared(g), 0);
        EXPECT_EQ(Gate_enterShared(g), 0);
        log("in");
        Task_yield(e.context); // the writer runs and waits
        log("out1");
        EXPECT_EQ(Gate_leaveShared(g), 0);
        Task_yield(e.context);
        log("out2");
        EXPECT_EQ(Gate_leaveShared(g), 0);
    }));
    Task_detach(spawn("writer", 3, [&] {
        EXPECT_EQ(Gate_enterExclusive(g), 0);
        log("writer");
        EXPECT_EQ(Gate_leaveExclusive(g), 0);
    }));
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(trace, "in out1 out2 writer ");
    EXPECT_EQ(Gate_destroy(g), 0);
}

} // namespace
