// Worksheet cell spans: merged ranges in array order and their ends (the
// sheet limits outside every range), runs centred across the selection,
// the row-record cell test, tagged lists, the locked hook and the field
// block of a grid record.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/sheetspan.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/sheetgrid_support.h"
#include "tests/support/heap_fixture.h"

using namespace gridtest;

namespace {

class SheetSpanTest : public LeakCheckedHeapTest<> {};

TEST_F(SheetSpanTest, MergedRangesAreFoundInArrayOrderWithInclusiveEdges)
{
    SheetGrid *g = makeGrid(10, 10, 10, 10);
    // {first column, first row, last column, last row}
    setMerged(g, {{1, 1, 2, 3}, {0, 0, 5, 5}, {7, 7, 7, 7}});
    struct Case {
        uint32_t row, column;
        int32_t index;
        uint32_t endRow, endColumn;
    } cases[] = {
        {1, 1, 0, 3, 2},        // corner of the first range
        {3, 2, 0, 3, 2},        // far corner, inclusive
        {0, 0, 1, 5, 5},        // only in the second range
        {4, 2, 1, 5, 5},        // below the first range: the second
        {7, 7, 2, 7, 7},        // a one-cell range
        {6, 6, -1, 65536, 256}, // outside every range: the sheet's limits
        {8, 7, -1, 65536, 256},
    };
    for (const Case &c : cases) {
        ExcelCell cell{};
        cell.row = c.row;
        cell.column = c.column;
        EXPECT_EQ(Sheet_findMergedRange(g, &cell), c.index) << c.row << "," << c.column;
        EXPECT_EQ(Sheet_isMerged(g, &cell), c.index >= 0);
        uint32_t end[2];
        Sheet_mergedEnd(end, g, &cell);
        EXPECT_EQ(end[0], c.endRow);
        EXPECT_EQ(end[1], c.endColumn);
    }
    EXPECT_EQ(Sheet_findMergedRange(nullptr, nullptr), -1);
    Excel_gridLayoutFree(g);
}

TEST_F(SheetSpanTest, ACentredRunStopsAtTextAGapOrAnotherAlignment)
{
    SheetGrid *g = makeGrid(3, 10, 10, 10);
    ExcelWorkbook book{};
    ExcelXf xfs[3]{};
    xfs[1].alignment = 6 | 0x30; // centre across, other bits set too
    xfs[2].alignment = 2;
    book.xfs = xfs;
    book.xfCount = 3;
    g->workbook = &book;
    setCells(g, {
                    {0, 0, 1, u"a", 0, 1}, // 0: starts a run
                    {0, 1, 4, nullptr, 0, 1},
                    {0, 2, 4, nullptr, 0, 1}, // 2: the run's end
                    {0, 3, 1, u"b", 0, 1},    // 3: text stops it
                    {0, 5, 4, nullptr, 0, 1}, // 4: a gap before it
                    {1, 0, 1, u"c", 0, 1},    // 5
                    {1, 1, 4, nullptr, 0, 2}, // 6: another alignment
                    {2, 0, 1, u"d", 0, 2},    // 7: not centred across
                    {2, 1, 4, nullptr, 0, 9}, // 8: XF outside the table
                });
    const ExcelCell *cells = g->cellTable->cells;
    EXPECT_EQ(Sheet_spanEnd(g, 0), &cells[2]);
    EXPECT_EQ(Sheet_spanEnd(g, 3), &cells[3]); // the next entry skips a column
    EXPECT_EQ(Sheet_spanEnd(g, 5), &cells[5]);
    EXPECT_EQ(Sheet_spanEnd(g, 7), &cells[7]);
    EXPECT_EQ(Sheet_spanEnd(g, 8), &cells[8]);
    EXPECT_EQ(Sheet_spanEnd(g, 9), nullptr); // past the count
    g->workbook = nullptr;
    EXPECT_EQ(Sheet_spanEnd(g, 0), &cells[0]); // no workbook: no alignment
    Excel_gridLayoutFree(g);
}

TEST_F(SheetSpanTest, ARowHasACellInItsEntriesOrItsOverflowList)
{
    SheetRowEntry entries[2]{};
    entries[0].id = 5;
    entries[1].id = 9;
    SheetRowOverflow second{};
    second.id = 12;
    SheetRowOverflow first{};
    first.id = 11;
    first.next = &second;
    SheetRow row{2, entries, &first};
    for (uint32_t id : {5u, 9u, 11u, 12u})
        EXPECT_EQ(Sheet_hasCell(&row, id), 1) << id;
    for (uint32_t id : {0u, 6u, 13u})
        EXPECT_EQ(Sheet_hasCell(&row, id), 0) << id;
    EXPECT_EQ(Sheet_hasCell(nullptr, 5), 0);
}

void tagA(TaggedRecord *) {}
void tagB(TaggedRecord *) {}

TEST_F(SheetSpanTest, TaggedListsPutANewTagFirstAndKeepRecordOrder)
{
    TaggedNode *head = nullptr;
    EXPECT_EQ(TaggedList_append(nullptr, tagA, 0, 0, 0, 0, nullptr, 0), Res_nullInput);
    const int32_t payload[2] = {0x11223344, 0x55667788};
    ASSERT_EQ(TaggedList_append(&head, tagA, 1, 2, 3, 4, payload, sizeof payload), 0);
    ASSERT_EQ(TaggedList_append(&head, tagB, 5, 0, 0, 0, nullptr, 0), 0);
    ASSERT_EQ(TaggedList_append(&head, tagA, 6, 0, 0, 0, nullptr, 0), 0);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->tag, tagB); // the new tag went to the head
    ASSERT_NE(head->next, nullptr);
    TaggedNode *a = head->next;
    EXPECT_EQ(a->tag, tagA);
    ASSERT_NE(a->first, nullptr);
    EXPECT_EQ(a->first->words[0], 1);
    EXPECT_EQ(a->first->words[3], 4);
    EXPECT_EQ(std::memcmp(a->first + 1, payload, sizeof payload), 0);
    ASSERT_NE(a->first->next, nullptr);
    EXPECT_EQ(a->first->next->words[0], 6);

    // Out of memory for the record or the new node changes nothing.
    for (uint64_t n : {1u, 2u}) {
        Mem_failAfter(n);
        EXPECT_EQ(TaggedList_append(&head, nullptr, 7, 0, 0, 0, nullptr, 0), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(head->tag, tagB);
    }
    SheetGrid g{};
    g.taggedLists = head;
    Excel_gridLayoutFreeLists(&g);
    EXPECT_EQ(g.taggedLists, nullptr);
}

struct HookCalls {
    int calls = 0;
    uint32_t length = 0;
};

int hook(void *context, const char16_t *, uint32_t length)
{
    HookCalls *h = static_cast<HookCalls *>(context);
    h->calls++;
    h->length = length;
    return 42;
}

TEST_F(SheetSpanTest, TheHookRunsOnlyWhileTheRecordIsInUse)
{
    HookCalls calls;
    HookRecord r{};
    r.hook = hook;
    r.context = &calls;
    EXPECT_EQ(Hook_callLocked(&r, u"ab", 2), 0); // use count 0
    EXPECT_EQ(calls.calls, 0);
    r.useCount = 1;
    EXPECT_EQ(Hook_callLocked(&r, u"ab", 2), 42);
    EXPECT_EQ(calls.calls, 1);
    EXPECT_EQ(calls.length, 2u);
    r.hook = nullptr;
    EXPECT_EQ(Hook_callLocked(&r, u"ab", 2), 0);
    EXPECT_EQ(Hook_callLocked(nullptr, u"ab", 2), 0);
}

TEST_F(SheetSpanTest, TheFieldBlockFollowsTheFiveHeaderWords)
{
    SheetGrid g{};
    EXPECT_EQ(Rec_fieldAt20(&g), static_cast<void *>(&g.widthCells));
    EXPECT_EQ(Rec_fieldAt20(nullptr), nullptr);
}

} // namespace
