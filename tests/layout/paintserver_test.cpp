// The paint server of a path's stop-list property: the stops as given, two
// opaque black stops without a list, running out of memory.
#include <gtest/gtest.h>

#include "core/container/stoplist.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/replaced.h"
#include "tests/support/heap_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;

class PaintServerTest : public LeakCheckedHeapTest<> {};

TEST_F(PaintServerTest, OfTheStopList)
{
    StopList *list = nullptr;
    ASSERT_EQ(StopList_create(&list, 20), Res_ok);
    for (int32_t i = 0; i < 20; i++)
        ASSERT_EQ(StopList_set(list, i, StopEntry{i * 3000, 0xFF000000u | uint32_t(i)}), Res_ok);
    PaintServer server{};
    ASSERT_EQ(PaintServer_fromStopList(&server, reinterpret_cast<uintptr_t>(list)), Res_ok);
    EXPECT_EQ(server.kind, 1u);
    ASSERT_EQ(server.count, 20u);
    EXPECT_EQ(server.stops[2 * 19], 19 * 3000);
    EXPECT_EQ(uint32_t(server.stops[2 * 19 + 1]), 0xFF000013u);
    Mem_free(server.stops);
    StopList_free(list);
    // Without a list: two opaque black stops at the ends.
    ASSERT_EQ(PaintServer_fromStopList(&server, 0), Res_ok);
    ASSERT_EQ(server.count, 2u);
    EXPECT_EQ(server.stops[2], kOne);
    EXPECT_EQ(uint32_t(server.stops[3]), 0xFF000000u);
    Mem_free(server.stops);
    Mem_failAfter(1);
    EXPECT_EQ(PaintServer_fromStopList(&server, 0), Res_noMemory);
    Mem_failAfter(0);
}

} // namespace
