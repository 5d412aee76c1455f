// Clearing cell-list entries inside cell ranges, checked against a direct
// reference (every cell of every range looked up in the list) on random
// lists and ranges, plus the edges: locked entries, the last entry, a
// whole-sheet range over a large list.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/mem/mem.h"
#include "spreadsheet/celllist.h"
#include "tests/support/heap_fixture.h"

namespace {

class CellListTest : public LeakCheckedContextTest<> {
  protected:
    // A heap list of the entries; a payload block for each used entry.
    CellList make(const std::vector<CellEntry> &entries)
    {
        CellList list{uint32_t(entries.size()), nullptr};
        if (entries.empty())
            return list;
        list.entries = static_cast<CellEntry *>(Mem_calloc(entries.size(), sizeof(CellEntry)));
        for (size_t i = 0; i < entries.size(); i++) {
            list.entries[i] = entries[i];
            list.entries[i].payload = entries[i].key[2] ? Mem_malloc(8) : nullptr;
        }
        return list;
    }
    void release(CellList &list)
    {
        for (uint32_t i = 0; i < list.count; i++)
            Mem_free(list.entries[i].payload);
        Mem_free(list.entries);
        list = CellList{};
    }
};

CellEntry entry(uint32_t row, uint32_t column, uint8_t k0, uint8_t k1, uint8_t used,
                uint32_t lock = 0)
{
    CellEntry e{};
    e.row = row;
    e.column = column;
    e.lock = lock;
    e.key[0] = k0;
    e.key[1] = k1;
    e.key[2] = used;
    return e;
}

// What the list looks like after clearing, by the direct rule: every cell
// of every range clears the first lockless entry at it; the used entries
// keep their order, and when some were dropped they are sorted by key.
std::vector<CellEntry> reference(std::vector<CellEntry> e, const std::vector<CellRange> &ranges)
{
    for (const CellRange &r : ranges)
        for (uint32_t row = r.firstRow; row <= r.lastRow; row++)
            for (uint32_t col = r.firstColumn; col <= r.lastColumn; col++)
                for (CellEntry &c : e)
                    if (c.row == row && c.column == col && c.lock == 0) {
                        c.key[2] = 0;
                        break;
                    }
    std::vector<CellEntry> used;
    for (const CellEntry &c : e)
        if (c.key[2])
            used.push_back(c);
    if (used.size() != e.size())
        std::stable_sort(used.begin(), used.end(), [](const CellEntry &a, const CellEntry &b) {
            return memcmp(a.key, b.key, 3) < 0;
        });
    return used;
}

void expectSame(const CellList &list, const std::vector<CellEntry> &want)
{
    ASSERT_EQ(list.count, want.size());
    if (want.empty()) {
        EXPECT_EQ(list.entries, nullptr);
        return;
    }
    for (size_t i = 0; i < want.size(); i++) {
        const CellEntry &a = list.entries[i], &b = want[i];
        EXPECT_EQ(a.row, b.row) << i;
        EXPECT_EQ(a.column, b.column) << i;
        EXPECT_EQ(a.lock, b.lock) << i;
        EXPECT_EQ(memcmp(a.key, b.key, 3), 0) << i;
        EXPECT_NE(a.payload, nullptr) << i;
    }
}

TEST_F(CellListTest, MatchesTheDirectRuleOnRandomLists)
{
    std::mt19937 rng(76);
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE(round);
        std::vector<CellEntry> entries(rng() % 24);
        for (CellEntry &c : entries)
            c = entry(uint32_t(rng() % 8), uint32_t(rng() % 8), uint8_t(rng() % 3),
                      uint8_t(rng() % 3), uint8_t(rng() % 4 ? 1 + rng() % 2 : 0),
                      rng() % 5 == 0 ? 1u : 0u);
        // Never empty, so that the data pointer is not null even for no ranges.
        std::vector<CellRange> ranges(1 + rng() % 4);
        for (CellRange &r : ranges) {
            uint32_t c0 = uint32_t(rng() % 8), r0 = uint32_t(rng() % 8);
            r = CellRange{c0, r0, c0 + uint32_t(rng() % 4), r0 + uint32_t(rng() % 4)};
        }
        CellList list = make(entries);
        uint32_t count = uint32_t(ranges.size()) - uint32_t(round % 2); // none at all when 0
        ASSERT_EQ(CellList_clearRanges(ctx, &list, ranges.data(), count), 0);
        expectSame(list, reference(entries,
                                   std::vector<CellRange>(ranges.begin(), ranges.begin() + count)));
        release(list);
    }
}

TEST_F(CellListTest, Edges)
{
    // A range over no entry changes nothing; the order stays.
    std::vector<CellEntry> e = {entry(0, 0, 2, 0, 1), entry(1, 0, 1, 0, 1)};
    CellList list = make(e);
    CellRange far{5, 5, 6, 6};
    ASSERT_EQ(CellList_clearRanges(ctx, &list, &far, 1), 0);
    expectSame(list, e);
    release(list);

    // Clearing the only entry leaves an empty list without an array.
    list = make({entry(3, 4, 0, 0, 1)});
    CellRange one{4, 3, 4, 3};
    ASSERT_EQ(CellList_clearRanges(ctx, &list, &one, 1), 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.entries, nullptr);

    // A locked entry is never cleared; the first lockless one behind it is.
    list = make({entry(0, 0, 1, 0, 1, 1), entry(0, 0, 2, 0, 1), entry(0, 0, 3, 0, 1)});
    CellRange cell{0, 0, 0, 0};
    ASSERT_EQ(CellList_clearRanges(ctx, &list, &cell, 1), 0);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.entries[0].key[0], 1);
    EXPECT_EQ(list.entries[1].key[0], 3);
    release(list);

    EXPECT_EQ(CellList_clearRanges(nullptr, &list, &cell, 1), 16);
    EXPECT_EQ(CellList_clearRanges(ctx, nullptr, &cell, 1), 0);
    EXPECT_EQ(CellList_clearRanges(ctx, &list, nullptr, 1), 0);
}

// A range from the file may cover the whole sheet: the clear does not walk
// its 16.7 million cells (before, every cell scanned the whole list).
TEST_F(CellListTest, WholeSheetRangeOverALargeList)
{
    std::vector<CellEntry> e;
    for (uint32_t i = 0; i < 20000; i++)
        e.push_back(entry(i % 65536, i % 256, uint8_t(i), 0, 1));
    e.push_back(entry(70000, 3, 0, 0, 1)); // outside the sheet's rows
    CellList list = make(e);
    CellRange all[3] = {{0, 0, 255, 65535}, {0, 0, 255, 65535}, {0, 0, 0xFFFFFFFF, 0xFFFFFFFF}};
    ASSERT_EQ(CellList_clearRanges(ctx, &list, all, 2), 0);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.entries[0].row, 70000u);
    ASSERT_EQ(CellList_clearRanges(ctx, &list, all + 2, 1), 0);
    EXPECT_EQ(list.count, 0u);
}

TEST_F(CellListTest, OutOfMemoryChangesNothing)
{
    std::vector<CellEntry> e = {entry(0, 0, 2, 0, 1), entry(1, 1, 1, 0, 1)};
    CellRange r{0, 0, 0, 0};
    for (int n = 1; n <= 4; n++) {
        CellList list = make(e);
        Mem_failAfter(n);
        int rc = CellList_clearRanges(ctx, &list, &r, 1);
        Mem_failAfter(0);
        if (rc == 1)
            expectSame(list, e);
        else
            expectSame(list, reference(e, {r}));
        release(list);
    }
}

} // namespace
