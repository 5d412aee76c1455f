// Cell keys and ranges, the ranges registered over a sheet store shifted by
// row and column edits, and HLINK bodies.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>
#include <string>

#include "core/mem/mem.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/reader/ranges.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

class Ranges : public LeakCheckedContextTest<(4u << 20)> {};

TEST_F(Ranges, KeysOrderByRowThenColumn)
{
    ExcelCellKey a{3, 9}, b{4, 0}, c{4, 2};
    EXPECT_EQ(Excel_keyCompare(&a, &b), -1);
    EXPECT_EQ(Excel_keyCompare(&c, &b), 1);
    EXPECT_EQ(Excel_keyCompare(&b, &b), 0);

    // The range B3:D5 given by its corners in either order.
    ExcelCellKey tl{2, 1}, br{4, 3};
    struct Case {
        ExcelCellKey key;
        int want;
    } cases[] = {{{2, 1}, 0},  {{4, 3}, 0}, {{3, 2}, 0}, {{1, 5}, -1},
                 {{3, 0}, -1}, {{3, 4}, 1}, {{5, 0}, 1}, {{2, 0}, -1}};
    for (const Case &k : cases) {
        EXPECT_EQ(Excel_keyInRange(&k.key, &tl, &br), k.want) << k.key.row << "," << k.key.column;
        EXPECT_EQ(Excel_keyInRange(&k.key, &br, &tl), k.want) << "reversed corners";
    }
}

TEST_F(Ranges, RectanglesIntersectUpToButNotIncludingTheirLastCell)
{
    ExcelCellKey c1{10, 2}, c2{12, 4};
    struct Case {
        const char *what;
        ExcelCellKey first, last;
        bool single;
        int want;
    } cases[] = {
        {"overlapping corner", {8, 0}, {11, 3}, false, 1},
        {"ends just before the range's rows", {0, 0}, {10, 5}, false, 0},
        {"ends just before the range's columns", {10, 0}, {13, 2}, false, 0},
        {"starts on the range's last cell", {12, 4}, {20, 20}, false, 1},
        {"starts after the range", {13, 0}, {20, 20}, false, 0},
        {"empty rectangle", {11, 3}, {11, 9}, false, 0},
        {"one cell inside", {11, 3}, {}, true, 1},
        {"one cell outside", {9, 3}, {}, true, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Excel_rangeIntersects(&c.first, c.single ? nullptr : &c.last, &c1, &c2), c.want)
            << c.what;
}

TEST_F(Ranges, ShiftFollowsInsertedAndDeletedRowsAndColumns)
{
    struct Case {
        const char *what;
        uint32_t op, index, count;
        ExcelCellKey first, last;
        uint32_t valid;
        ExcelCellKey wantFirst, wantLast;
    } cases[] = {
        {"5 rows in at 10 move 12-20",
         ExcelRange_insertRows,
         10,
         5,
         {12, 0},
         {20, 3},
         1,
         {17, 0},
         {25, 3}},
        {"5 rows in at 10 leave 2-8",
         ExcelRange_insertRows,
         10,
         5,
         {2, 0},
         {8, 3},
         1,
         {2, 0},
         {8, 3}},
        {"rows in inside a range stretch it",
         ExcelRange_insertRows,
         5,
         2,
         {3, 1},
         {7, 1},
         1,
         {3, 1},
         {9, 1}},
        {"first row pushed off the sheet",
         ExcelRange_insertRows,
         0,
         10,
         {65530, 0},
         {65535, 0},
         0,
         {},
         {}},
        {"last row cut at the sheet's end",
         ExcelRange_insertRows,
         0,
         10,
         {100, 0},
         {65530, 0},
         1,
         {110, 0},
         {65535, 0}},
        {"whole rows ignore columns in",
         ExcelRange_insertColumns,
         0,
         3,
         {4, 0},
         {4, 255},
         1,
         {4, 0},
         {4, 255}},
        {"columns in move a range",
         ExcelRange_insertColumns,
         1,
         3,
         {4, 2},
         {6, 5},
         1,
         {4, 5},
         {6, 8}},
        {"last column cut",
         ExcelRange_insertColumns,
         1,
         10,
         {0, 2},
         {0, 250},
         1,
         {0, 12},
         {0, 255}},
        {"deleting 10-14 removes 11-13", ExcelRange_deleteRows, 10, 5, {11, 0}, {13, 0}, 0, {}, {}},
        {"deleting 10-14 cuts 8-12 to 8-9",
         ExcelRange_deleteRows,
         10,
         5,
         {8, 0},
         {12, 0},
         1,
         {8, 0},
         {9, 0}},
        {"deleting 10-14 moves 20-30 back",
         ExcelRange_deleteRows,
         10,
         5,
         {20, 0},
         {30, 0},
         1,
         {15, 0},
         {25, 0}},
        {"deleting 10-14 shrinks 12-30",
         ExcelRange_deleteRows,
         10,
         5,
         {12, 0},
         {30, 0},
         1,
         {10, 0},
         {25, 0}},
        {"deleting 10-14 shrinks 5-30",
         ExcelRange_deleteRows,
         10,
         5,
         {5, 0},
         {30, 0},
         1,
         {5, 0},
         {25, 0}},
        {"a last row at the end stays",
         ExcelRange_deleteRows,
         10,
         5,
         {20, 0},
         {65535, 0},
         1,
         {15, 0},
         {65535, 0}},
        {"deleting columns before",
         ExcelRange_deleteColumns,
         0,
         2,
         {1, 4},
         {1, 6},
         1,
         {1, 2},
         {1, 4}},
    };
    for (const Case &c : cases) {
        ExcelCellKey a = c.first, b = c.last;
        uint32_t valid = 7;
        ASSERT_EQ(Excel_rangeShift(&a, &b, c.op, c.index, c.count, &valid), 0) << c.what;
        EXPECT_EQ(valid, c.valid) << c.what;
        if (!c.valid)
            continue;
        EXPECT_EQ(a.row, c.wantFirst.row) << c.what;
        EXPECT_EQ(a.column, c.wantFirst.column) << c.what;
        EXPECT_EQ(b.row, c.wantLast.row) << c.what;
        EXPECT_EQ(b.column, c.wantLast.column) << c.what;
    }
    ExcelCellKey a{1, 1}, b{2, 2};
    uint32_t valid = 0;
    EXPECT_EQ(Excel_rangeShift(&a, &b, ExcelRange_insertRows, 0, 0, &valid), 8);
    EXPECT_EQ(Excel_rangeShift(nullptr, &b, ExcelRange_insertRows, 0, 1, &valid), 8);
    EXPECT_EQ(Excel_rangeShift(&a, &b, 4, 0, 1, &valid), 8);
}

int released = 0;

void countRelease(TaggedRecord *)
{
    released++;
}

std::vector<std::array<intptr_t, 4>> rangesOf(const SheetGrid *g, TaggedDisposeFn tag)
{
    std::vector<std::array<intptr_t, 4>> out;
    for (TaggedNode *n = g->taggedLists; n; n = n->next)
        if (n->tag == tag)
            for (TaggedRecord *r = n->first; r; r = r->next)
                out.push_back({r->words[0], r->words[1], r->words[2], r->words[3]});
    return out;
}

TEST_F(Ranges, RegisteredRangesShiftAndInvalidOnesAreReleased)
{
    SheetGrid *g = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
    ASSERT_NE(g, nullptr);
    const char16_t target[] = u"http://example.com/";
    ASSERT_EQ(Excel_rangeHandlerAdd(g, Excel_hyperlinkTag, 12, 3, 20, 3, target, sizeof target), 0);
    ASSERT_EQ(Excel_rangeHandlerAdd(g, Excel_hyperlinkTag, 2, 0, 8, 1, target, sizeof target), 0);
    ASSERT_EQ(Excel_rangeHandlerAdd(g, countRelease, 11, 1, 13, 1, nullptr, 0), 0);

    released = 0;
    ASSERT_EQ(Excel_shiftRangeHandlers(g, ExcelRange_insertRows, 10, 5), 0);
    using R = std::vector<std::array<intptr_t, 4>>;
    EXPECT_EQ(rangesOf(g, Excel_hyperlinkTag), (R{{17, 3, 25, 3}, {2, 0, 8, 1}}));
    EXPECT_EQ(rangesOf(g, countRelease), (R{{16, 1, 18, 1}}));
    // The target travels with its range.
    const TaggedNode *links = g->taggedLists;
    while (links && links->tag != Excel_hyperlinkTag)
        links = links->next;
    ASSERT_NE(links, nullptr);
    EXPECT_EQ(std::u16string(Excel_hyperlinkTarget(links->first)), std::u16string(target));

    // Deleting rows 16-20 removes the note's range (released, and its
    // handler with it) and cuts the first link.
    ASSERT_EQ(Excel_shiftRangeHandlers(g, ExcelRange_deleteRows, 16, 5), 0);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(rangesOf(g, countRelease), R{});
    for (TaggedNode *n = g->taggedLists; n; n = n->next)
        EXPECT_NE(n->tag, countRelease) << "an empty handler is removed";
    EXPECT_EQ(rangesOf(g, Excel_hyperlinkTag), (R{{16, 3, 20, 3}, {2, 0, 8, 1}}));
    EXPECT_EQ(Excel_shiftRangeHandlers(nullptr, ExcelRange_insertRows, 0, 1), 16);
    EXPECT_EQ(Excel_shiftRangeHandlers(g, ExcelRange_insertRows, 0, 0), 8);
    Excel_gridLayoutFree(g);
}

// ------------------------------------------------------------ hyperlinks

std::string utf16(const std::string &s, bool nul = true)
{
    std::string out;
    for (char ch : s)
        out += std::string{ch, '\0'};
    if (nul)
        out += std::string(2, '\0');
    return out;
}

std::string head(uint32_t flags)
{
    return u16(0) + u16(0) + u16(3) + u16(3) + std::string(16, '\x11') + u32(2) + u32(flags);
}

const std::string urlId = u32(0x79EAC9E0) + std::string(12, '\x22');
const std::string fileId = u32(0x00000303) + std::string(12, '\x33');

std::string counted(const std::string &s)
{
    return u32(uint32_t(s.size() + 1)) + utf16(s);
}

TEST_F(Ranges, HyperlinkBodiesGiveTheirTargets)
{
    std::string url = utf16("http://example.com/");
    std::string path = utf16("C:\\docs\\plan.xls", false);
    struct Case {
        const char *what;
        std::string body;
        int rc;
        const char *target;
    } cases[] = {
        {"URL moniker after a description",
         head(0x17) + counted("Example") + urlId + u32(uint32_t(url.size())) + url, 0,
         "http://example.com/"},
        {"target frame skipped too",
         head(0x97) + counted("Ex") + counted("_top") + urlId + u32(uint32_t(url.size())) + url, 0,
         "http://example.com/"},
        {"a string of its own", head(0x114) + counted("Shown") + counted("Sheet2!A1"), 0,
         "Sheet2!A1"},
        {"file moniker, 16-bit path",
         head(0x01) + fileId + u16(0) + u32(9) + std::string("plan.xls\0", 9) + u16(0xFFFF) +
             u16(0xDEAD) + std::string(20, '\0') + u32(uint32_t(path.size() + 6)) +
             u32(uint32_t(path.size())) + u16(3) + path,
         0, "C:\\docs\\plan.xls"},
        {"file moniker, 8-bit path only",
         head(0x01) + fileId + u16(1) + u32(9) + std::string("plan.xls\0", 9) + u16(0xFFFF) +
             u16(0xDEAD) + std::string(20, '\0') + u32(0),
         0, "plan.xls"},
        {"another moniker", head(0x01) + u32(0x12345678) + std::string(12, '\0') + u32(4) + u32(0),
         0, nullptr},
        {"no target at all", head(0x00), 0, nullptr},
        {"URL longer than the body", head(0x03) + urlId + u32(400) + url, 12544, nullptr},
        {"description longer than the body", head(0x14) + u32(0x7FFFFFFF), 12544, nullptr},
        {"shorter than its head", head(0x03).substr(0, 31), 12544, nullptr},
    };
    for (const Case &c : cases) {
        ExcelHyperlink link{};
        ASSERT_EQ(Excel_parseHyperlink(reinterpret_cast<const uint8_t *>(c.body.data()),
                                       c.body.size(), &link),
                  c.rc)
            << c.what;
        if (c.rc == 0) {
            EXPECT_EQ(link.firstColumn, 3) << c.what;
            EXPECT_EQ(link.lastColumn, 3) << c.what;
        }
        if (!c.target) {
            EXPECT_EQ(link.target, nullptr) << c.what;
        } else {
            ASSERT_NE(link.target, nullptr) << c.what;
            std::string got;
            for (const char16_t *p = link.target; *p; p++)
                got += char(*p);
            EXPECT_EQ(got, c.target) << c.what;
        }
        Excel_hyperlinkFree(&link);
    }
    EXPECT_EQ(Excel_parseHyperlink(nullptr, 40, nullptr), 16);
}

} // namespace
