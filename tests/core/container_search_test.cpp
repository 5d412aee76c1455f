// The power-of-two search of sorted 16-bit-keyed tables, against a linear
// search for every table size up to 40 and every key around the stored
// ones, with records of several strides; and owned-block records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/container/array.h"
#include "core/container/owned.h"
#include "core/mem/mem.h"
#include "tests/support/heap_fixture.h"

namespace {

TEST(ArrayBsearchU16, AgreesWithALinearSearch)
{
    for (uint32_t stride : {2u, 6u, 10u}) {
        for (uint32_t n = 0; n <= 40; n++) {
            // Keys 3, 6, 9, ...: every probe key from 0 to past the last.
            std::vector<uint8_t> table(n * stride + 1, 0xAB);
            for (uint32_t i = 0; i < n; i++) {
                uint16_t key = uint16_t(3 * (i + 1));
                memcpy(&table[1 + i * stride], &key, 2); // unaligned on purpose
            }
            for (uint32_t key = 0; key <= 3 * n + 4; key++) {
                int32_t want = key % 3 == 0 && key >= 3 && key <= 3 * n ? int32_t(key / 3 - 1) : -1;
                EXPECT_EQ(Array_bsearchU16(&table[1], n, stride, uint16_t(key)), want)
                    << "n " << n << " stride " << stride << " key " << key;
            }
        }
    }
    // The extremes of the key range.
    const uint16_t edges[3] = {0, 1, 0xFFFF};
    EXPECT_EQ(Array_bsearchU16(edges, 3, 2, 0), 0);
    EXPECT_EQ(Array_bsearchU16(edges, 3, 2, 0xFFFF), 2);
    EXPECT_EQ(Array_bsearchU16(edges, 3, 2, 2), -1);
}

using OwnedTest = LeakCheckedHeapTest<>;

TEST_F(OwnedTest, SetReplacesAndClearFrees)
{
    OwnedBlock record = {42, nullptr};
    EXPECT_EQ(Owned_set(&record, Mem_malloc(10)), 0);
    EXPECT_EQ(Owned_set(&record, Mem_malloc(20)), 0); // the first block is freed
    EXPECT_NE(record.block, nullptr);
    EXPECT_EQ(Owned_set(&record, nullptr), 0);
    EXPECT_EQ(record.block, nullptr);
    record.block = Mem_malloc(30);
    Owned_clear(&record);
    EXPECT_EQ(record.block, nullptr);
    Owned_clear(&record);
    EXPECT_EQ(record.word, 42);
}

} // namespace
