// Load progress: the overall percentage, announcements and the download
// limit.
#include <gtest/gtest.h>

#include "document/edr/loadprogress.h"
#include "tests/support/heap_fixture.h"

namespace {

class LoadProgressTest : public LeakCheckedContextTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest<>::SetUp());
        ASSERT_EQ(LoadProgress_create(ctx, &t), 0);
        EXPECT_EQ(ctx->loadTrackers, 1);
    }
    void TearDown() override
    {
        LoadProgress_release(t);
        EXPECT_EQ(ctx->loadTrackers, 0);
        LeakCheckedContextTest<>::TearDown();
    }
    // The counts as {done0, total0, ...}.
    static int32_t compute(std::initializer_list<int32_t> c, uint32_t limit = 0)
    {
        int32_t counts[10] = {};
        int i = 0;
        for (int32_t v : c)
            counts[i++] = v;
        return LoadProgress_compute(counts, limit, LoadProgress_defaultWeights);
    }
    LoadProgress *t = nullptr;
};

TEST_F(LoadProgressTest, OverallPercentageFollowsTheWeights)
{
    struct Case {
        std::initializer_list<int32_t> counts;
        int32_t percent;
    } cases[] = {
        {{0, 0, 0, 0, 0, 1, 0, 1}, 0},
        {{0, 0, 0, 0, 1, 1, 0, 1}, 40 + 50},        // documents done, no work known: + w1
        {{0, 0, 5, 10, 1, 1, 0, 1}, 40 + 25},       // half the work
        {{0, 0, 5, 10, 1, 1, 1, 2}, 40 + 25 + 5},   // half the images
        {{50, 100, 0, 10, 1, 2, 0, 1}, 5 + 15 + 7}, // half the documents, half the bytes
        {{0, -1, 0, 10, 1, 2, 0, 1}, 5 + 15 + 7},   // source length unknown: half the rest
        {{50, 100, 0, 10, 0, 2, 0, 1}, 15},         // no document done: the bytes alone
        {{0, 0, 0, 0, -1, 1, 0, 1}, -1},            // documents unknown
        {{0, 0, 0, 0, 0, 1, 0, -1}, -1},            // images unknown
        {{0, 0, 0, -1, 1, 1, 0, 1}, 40},            // work unknown, 100 - p is not w1: p stays
        {{0, 0, 0, 0, 0, 1, 0, 1}, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(compute(c.counts), c.percent);
    EXPECT_EQ(compute({0, 0, 0, 0, 0, 1, 0, 1}, 1), 100) << "the limit reached reads 100";
    // Work unknown with everything else complete: 100.
    EXPECT_EQ(compute({0, 0, 0, -1, 1, 1, 1, 1}), 100);
}

TEST_F(LoadProgressTest, CountsAbove16MiBDoNotOverflow)
{
    // 100 x done or done x 256 pass 2^32 beyond 16 Mi; the results stay
    // what smaller figures give.
    EXPECT_EQ(compute({0, 0, 150000000, 300000000, 1, 1, 0, 1}), 40 + 25);
    EXPECT_EQ(compute({0, 0, 5, 10, 1, 1, 0, 1}), 40 + 25);
    EXPECT_EQ(compute({150000000, 200000000, 0, 10, 0, 2, 0, 1}), 22); // 30 x 192 / 256
    EXPECT_EQ(compute({3, 4, 0, 10, 0, 2, 0, 1}), 22);
    ASSERT_EQ(LoadProgress_setTotal(t, 1, 200000000), 0);
    ASSERT_EQ(LoadProgress_setTotal(t, 2, 1), 0);
    ASSERT_EQ(LoadProgress_setTotal(t, 3, 1), 0);
    ASSERT_EQ(LoadProgress_addDone(t, 2, 1), 0);
    ASSERT_EQ(LoadProgress_addDone(t, 1, 100000000), 0);
    EXPECT_EQ(t->snapshot[2], 100000000) << "a 50 % move in category 1 was announced";
    EXPECT_EQ(LoadProgress_percent(t, LoadProgress_defaultWeights), 40 + 25);
}

TEST_F(LoadProgressTest, SmallMovesAreNotAnnounced)
{
    ASSERT_EQ(LoadProgress_setTotal(t, 3, 100), 0);
    ASSERT_EQ(LoadProgress_setTotal(t, 2, 1), 0);
    int32_t before[10];
    memcpy(before, t->snapshot, sizeof before);
    // 4 % of the images: 0.4 points overall, under both thresholds.
    ASSERT_EQ(LoadProgress_addDone(t, 3, 4), 0);
    EXPECT_EQ(memcmp(before, t->snapshot, sizeof before), 0) << "nothing announced";
    ASSERT_EQ(LoadProgress_addDone(t, 3, 1), 0);
    EXPECT_EQ(t->snapshot[6], 5) << "5 % announced";
    int32_t done = 0, total = 0;
    LoadProgress_get(t, 3, &done, &total);
    EXPECT_EQ(done, 5);
    EXPECT_EQ(total, 100);
}

TEST_F(LoadProgressTest, DownloadLimitTriggersOnceAboveTheLimit)
{
    t->limit = 1000;
    ASSERT_EQ(LoadProgress_addTotal(t, 4, 1000), 0);
    EXPECT_EQ(LoadProgress_addDone(t, 4, 1000), 0) << "at the limit: not above";
    EXPECT_EQ(LoadProgress_addDone(t, 1, 1), 0) << "other categories never trigger";
    ASSERT_EQ(LoadProgress_setTotal(t, 4, -1), 0);
    EXPECT_EQ(LoadProgress_addDone(t, 4, 1), Res_downloadLimit);
    EXPECT_EQ(t->limitReached, 1u);
    EXPECT_EQ(LoadProgress_addTotal(t, 1, 5), Res_downloadLimit);
    int32_t done = 0, total = 0;
    LoadProgress_get(t, 1, &done, &total);
    EXPECT_EQ(total, 0) << "addTotal changes nothing once the limit was passed";
    EXPECT_EQ(LoadProgress_percent(t, LoadProgress_defaultWeights), 100);
    LoadProgress_reset(t);
    EXPECT_EQ(t->limitReached, 0u);
    EXPECT_EQ(LoadProgress_addTotal(t, 1, 5), 0);

    // Without a limit nothing triggers.
    t->limit = 0;
    EXPECT_EQ(LoadProgress_addDone(t, 4, 2000000000), 0);
    EXPECT_EQ(t->limitReached, 0u);
}

TEST_F(LoadProgressTest, UnknownCountsStayUnknownAndRebaseKeepsTheRest)
{
    ASSERT_EQ(LoadProgress_setTotal(t, 0, -1), 0);
    EXPECT_EQ(LoadProgress_addTotal(t, 0, 10), 0);
    EXPECT_EQ(LoadProgress_addDone(t, 0, 500), 0);
    int32_t done = 0, total = 0;
    LoadProgress_get(t, 0, &done, &total);
    EXPECT_EQ(total, -1);
    EXPECT_EQ(done, 500) << "no clamp against an unknown total";
    ASSERT_EQ(LoadProgress_setTotal(t, 1, 10), 0);
    EXPECT_EQ(LoadProgress_addDone(t, 1, 25), 0);
    LoadProgress_get(t, 1, &done, &total);
    EXPECT_EQ(done, 10) << "clamped to the known total";
    ASSERT_EQ(LoadProgress_setTotal(t, 2, 8), 0);
    ASSERT_EQ(LoadProgress_setDone(t, 2, 3), 0);
    ASSERT_EQ(LoadProgress_setDone(t, 3, -1), 0);
    ASSERT_EQ(LoadProgress_setTotal(t, 3, 4), 0);
    LoadProgress_rebase(t);
    LoadProgress_get(t, 2, &done, &total);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(total, 5);
    LoadProgress_get(t, 3, &done, &total);
    EXPECT_EQ(done, -1) << "a known total with unknown done stays";
    EXPECT_EQ(total, 4);
    LoadProgress_get(t, 0, &done, nullptr);
    EXPECT_EQ(done, 0);
    LoadProgress_addRef(t);
    LoadProgress_release(t);
    LoadProgress_release(nullptr);
}

} // namespace
