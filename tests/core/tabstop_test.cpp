// Tab-stop lists: equality on position, alignment and leader only, copies,
// bounds of stores, and the power-of-two rounding.
#include <gtest/gtest.h>

#include "core/geom/tabstops.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

class TabStopTest : public LeakCheckedHeapTest<(1u << 20)> {};

TabStopList *make(std::initializer_list<TabStop> stops)
{
    TabStopList *l;
    if (TabStops_create(&l, static_cast<int32_t>(stops.size())) != 0)
        return nullptr;
    int32_t i = 0;
    for (const TabStop &s : stops)
        TabStops_set(l, i++, s);
    return l;
}

TEST_F(TabStopTest, EqualityLooksAtPositionAlignmentAndLeader)
{
    struct {
        const char *what;
        std::initializer_list<TabStop> a, b;
        int equal;
    } cases[] = {
        {"both empty", {}, {}, 1},
        {"same", {{720, 1}, {1440, 0x0A}}, {{720, 1}, {1440, 0x0A}}, 1},
        {"bits 6 and up differ", {{720, 0x41}}, {{720, 0xFFFFFFC1u}}, 1},
        {"alignment differs", {{720, 1}}, {{720, 2}}, 0},
        {"leader differs", {{720, 0x08}}, {{720, 0x10}}, 0},
        {"position differs", {{720, 1}}, {{721, 1}}, 0},
        {"count differs", {{720, 1}}, {{720, 1}, {1440, 1}}, 0},
    };
    for (auto &c : cases) {
        TabStopList *a = make(c.a), *b = make(c.b);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(TabStops_equal(a, b), c.equal) << c.what;
        EXPECT_EQ(TabStops_equal(b, a), c.equal) << c.what;
        TabStops_free(a);
        TabStops_free(b);
    }
    TabStopList *empty = make({});
    EXPECT_EQ(TabStops_equal(nullptr, empty), 1);
    EXPECT_EQ(TabStops_equal(nullptr, nullptr), 1);
    TabStops_free(empty);
}

TEST_F(TabStopTest, CreateSetAndCopy)
{
    TabStopList *l;
    EXPECT_EQ(TabStops_create(&l, -1), Res_nullInput);
    EXPECT_EQ(l, nullptr);
    ASSERT_EQ(TabStops_create(&l, 2), 0);
    EXPECT_EQ(l->stops[1].stopPosition, 0);
    EXPECT_EQ(TabStops_set(l, 1, {300, 7}), 0);
    EXPECT_EQ(TabStops_set(l, 2, {999, 9}), Res_nullInput) << "past the last stop";
    EXPECT_EQ(TabStops_set(l, -1, {999, 9}), Res_nullInput);
    TabStopList *copy;
    ASSERT_EQ(TabStops_copy(&copy, l), 0);
    EXPECT_NE(copy, l);
    EXPECT_EQ(copy->stopCount, 2);
    EXPECT_EQ(copy->stops[1].stopPosition, 300);
    EXPECT_EQ(copy->stops[1].stopKind, 7u);
    EXPECT_EQ(TabStops_equal(copy, l), 1);
    TabStops_free(copy);
    Mem_failAfter(1);
    EXPECT_EQ(TabStops_copy(&copy, l), Res_noMemory);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(TabStops_copy(&copy, nullptr), 0);
    EXPECT_EQ(copy, nullptr);
    TabStops_free(l);
    TabStops_free(nullptr);
}

TEST(TabStopPow2, Table)
{
    struct {
        uint32_t n, want;
    } cases[] = {
        {0, 1},
        {1, 2},
        {2, 4},
        {3, 4},
        {4, 8},
        {7, 8},
        {8, 16},
        {1000, 1024},
        {1024, 2048},
        {0x40000000, 0x80000000},
        {0x7FFFFFFF, 0x80000000},
        {0x80000000, 0},
        {0xFFFFFFFF, 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(TabStops_nextPow2(c.n), c.want) << c.n;
}

} // namespace
