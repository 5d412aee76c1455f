// The border lines of a laid-out worksheet, line by line, against the
// lines worked out cell by cell from the parsed cell formats: rows with
// gaps between them, rows of different lengths, rows without cells,
// filled cells, and merged ranges that overlap, cover one row or one
// column, reach past the sheet or are turned inside out. Then a sheet
// that declares the largest extent with one cell and many merged ranges
// over all of it, and one of 65,536 rows of formatted blanks.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/spreadsheet/sheet_fixture.h"

using namespace biff;

namespace sheetborders {

// A BIFF8 XF of font 0 with the given border and fill words.
std::string bordersXf(uint16_t styles, uint16_t sideColours, uint32_t topBottomPattern,
                      uint16_t fill = 0)
{
    return rec(0x00E0, u16(0) + u16(0) + u16(0) + u16(0) + u16(0) + u16(styles) + u16(sideColours) +
                           u32(topBottomPattern) + u16(fill));
}

// The formats after the 21 plain ones: 21 framed all round in four
// colours, 22 filled, 23 with a double bottom, 24 with a left line only.
std::string bordersXfs()
{
    return bordersXf(0x1111, 10 | (11 << 7), 12 | (13 << 7)) + bordersXf(0, 0, 1u << 26, 10) +
           bordersXf(0x6000, 0, 14u << 7) + bordersXf(0x0005, 12, 0);
}

std::string bordersDimensions(uint32_t rows, uint16_t cols)
{
    return rec(0x0200, u32(0) + u32(rows) + u16(0) + u16(cols) + u16(0));
}

// WINDOW2 with the grid lines shown.
std::string bordersWindow2()
{
    return rec(0x023E, u16(0x06B6) + std::string(16, '\0'));
}

std::string bordersBlank(uint16_t row, uint16_t col, uint16_t xf)
{
    return rec(0x0201, cell(row, col, xf));
}

std::string bordersMerged(const std::vector<ExcelRange> &ranges)
{
    std::string body = u16(uint32_t(ranges.size()));
    for (const ExcelRange &r : ranges)
        body += u16(r.firstRow) + u16(r.lastRow) + u16(r.firstColumn) + u16(r.lastColumn);
    return rec(0x00E5, body);
}

struct Line {
    uint32_t style;
    uint32_t colour;
    bool operator==(const Line &o) const
    {
        return style == o.style && colour == o.colour;
    }
};

class SheetBorders : public LaidOutSheetTestOn<(96u << 20)> {
  protected:
    std::map<std::pair<uint32_t, uint32_t>, uint16_t> xfAt;
    std::vector<ExcelRange> merged;

    const ExcelXf *xf(uint32_t row, uint32_t column)
    {
        auto it = xfAt.find({row, column});
        return &load.workbook->xfs[it == xfAt.end() ? 15 : it->second];
    }

    // The line between two cells (null beyond the grid) as the sheet shows it.
    static Line between(const ExcelXf *before, int beforeSide, const ExcelXf *after, int afterSide)
    {
        if (after && after->borderStyle[afterSide])
            return {after->borderStyle[afterSide], after->borderColour[afterSide]};
        if (before && before->borderStyle[beforeSide])
            return {before->borderStyle[beforeSide], before->borderColour[beforeSide]};
        if ((after && after->pattern) || (before && before->pattern))
            return {0, 0};
        return {Excel_gridLineStyle, Excel_gridLineColour};
    }

    // The line along the given line at position i, worked out from the cells.
    Line expected(bool vertical, uint32_t line, uint32_t i)
    {
        const uint32_t rows = grid->metrics->rowCount, cols = grid->metrics->columnCount;
        for (const ExcelRange &m : merged) {
            uint32_t lo = vertical ? m.firstColumn : m.firstRow,
                     hi = vertical ? m.lastColumn : m.lastRow;
            uint32_t from = vertical ? m.firstRow : m.firstColumn,
                     to = vertical ? m.lastRow : m.lastColumn;
            if (line > lo && line <= hi && i >= from && i <= to)
                return {0, 0};
        }
        if (vertical)
            return between(line > 0 ? xf(i, line - 1) : nullptr, Excel_borderRight,
                           line < cols ? xf(i, line) : nullptr, Excel_borderLeft);
        return between(line > 0 ? xf(line - 1, i) : nullptr, Excel_borderBottom,
                       line < rows ? xf(line, i) : nullptr, Excel_borderTop);
    }

    // Every line's segments: they cover the line from its start in order,
    // neighbours differ, and each place shows what the cells give.
    void checkAllLines()
    {
        const uint32_t rows = grid->metrics->rowCount, cols = grid->metrics->columnCount;
        for (int vertical = 0; vertical < 2; vertical++) {
            uint32_t lines = vertical ? cols : rows, length = vertical ? rows : cols;
            for (uint32_t line = 0; line <= lines; line++) {
                const GridEdgeList &l =
                    vertical ? grid->edgeLists->columns[line] : grid->edgeLists->rows[line];
                uint32_t at = 0;
                for (uint32_t s = 0; s < l.count; s++) {
                    const GridSegment &g = l.segments[s];
                    ASSERT_EQ(g.start, at) << (vertical ? "column " : "row ") << line;
                    ASSERT_GE(g.end, g.start);
                    if (s > 0) {
                        ASSERT_FALSE(g.kind == l.segments[s - 1].kind &&
                                     g.colour == l.segments[s - 1].colour)
                            << (vertical ? "column " : "row ") << line << " segment " << s;
                    }
                    for (uint32_t i = g.start; i <= g.end; i++) {
                        Line want = expected(vertical, line, i);
                        ASSERT_TRUE(want == (Line{g.kind, g.colour}))
                            << (vertical ? "column " : "row ") << line << " at " << i << ": "
                            << g.kind << "/" << unsigned(g.colour) << " for " << want.style << "/"
                            << want.colour;
                    }
                    at = g.end + 1;
                }
                ASSERT_EQ(at, length) << (vertical ? "column " : "row ") << line;
            }
        }
    }
};

TEST_F(SheetBorders, EveryLineMatchesItsCellsAroundGapsRowsOfAnyLengthAndMergedRanges)
{
    const struct {
        const char *name;
        std::vector<ExcelRange> merged;
    } cases[] = {
        {"none", {}},
        {"overlapping, one row, one column, past the sheet, inside out",
         {{2, 5, 1, 3},
          {4, 8, 2, 6},
          {10, 10, 0, 11},
          {12, 20, 5, 5},
          {30, 60, 8, 300},
          {9, 7, 1, 1},
          {6, 6, 4, 2}}},
        {"nested and touching", {{1, 30, 1, 10}, {3, 4, 3, 4}, {31, 35, 1, 10}, {20, 25, 0, 0}}},
        {"the whole sheet", {{0, 39, 0, 11}}},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.name);
        xfAt.clear();
        merged = k.merged;
        std::string sheet = bordersDimensions(40, 12) + bordersWindow2();
        // Rows 3, 15 and 25 only as ROW records, without cells.
        for (uint16_t r : {3, 15, 25})
            sheet += rowRec(r, 12);
        uint32_t seed = 7;
        for (uint16_t r = 0; r < 40; r++) {
            if (r % 7 == 5 || r == 3 || r == 15 || r == 25)
                continue; // rows that are gaps or have no cells
            uint16_t width = uint16_t(1 + r % 12);
            for (uint16_t c = 0; c < width; c++) {
                seed = seed * 1103515245u + 12345u;
                uint32_t pick = (seed >> 16) % 6;
                if (pick >= 4)
                    continue;
                uint16_t x = uint16_t(21 + pick);
                xfAt[{r, c}] = x;
                sheet += bordersBlank(r, c, x);
            }
        }
        if (!merged.empty())
            sheet += bordersMerged(merged);
        layoutFile(compound(book8(bordersXfs(), {sheet})));
        // The grid reaches the merged ranges (within 256 columns) as it
        // reaches the cells.
        uint32_t rows = 40, columns = 12;
        for (const ExcelRange &m : merged)
            if (m.firstRow <= m.lastRow && m.firstColumn <= m.lastColumn) {
                rows = std::max<uint32_t>(rows, m.lastRow + 1u);
                columns = std::max<uint32_t>(columns, std::min(m.lastColumn + 1u, 256u));
            }
        ASSERT_EQ(grid->metrics->rowCount, rows);
        ASSERT_EQ(grid->metrics->columnCount, columns);
        checkAllLines();
        unload();
    }
}

// The largest extent with one framed cell and 4,108 merged ranges over all
// of it: every line inside the grid is hidden, the frame's outer sides and
// the grid's edges stay.
TEST_F(SheetBorders, ManyMergedRangesOverTheLargestExtentHideEveryInnerLine)
{
    std::string sheet = bordersDimensions(65536, 256) + bordersWindow2() + bordersBlank(0, 0, 21);
    std::vector<ExcelRange> whole(1027, ExcelRange{0, 65535, 0, 255});
    for (int i = 0; i < 4; i++)
        sheet += bordersMerged(whole);
    layoutFile(compound(book8(bordersXfs(), {sheet})));
    const uint32_t cols = grid->metrics->columnCount;
    ASSERT_EQ(grid->metrics->rowCount, 65536u);
    for (int vertical = 0; vertical < 2; vertical++)
        for (uint32_t line = 1; line < (vertical ? cols : 65536u); line++) {
            const GridEdgeList &l =
                vertical ? grid->edgeLists->columns[line] : grid->edgeLists->rows[line];
            ASSERT_EQ(l.count, 1u) << line;
            ASSERT_EQ(l.segments[0].kind, 0u) << line;
        }
    // The outer edges: the frame's top and left at the cell, grid lines on.
    const GridEdgeList &top = grid->edgeLists->rows[0];
    ASSERT_EQ(top.count, 2u);
    EXPECT_EQ(top.segments[0].kind, 1u);
    EXPECT_EQ(top.segments[0].end, 0u);
    EXPECT_EQ(top.segments[1].kind, uint32_t(Excel_gridLineStyle));
    EXPECT_EQ(top.segments[1].end, cols - 1);
    const GridEdgeList &left = grid->edgeLists->columns[0];
    ASSERT_EQ(left.count, 2u);
    EXPECT_EQ(left.segments[0].kind, 1u);
    EXPECT_EQ(left.segments[1].end, 65535u);
}

// 65,536 rows each of one framed blank: one segment per horizontal line
// runs over the empty columns, and the first vertical lines alternate
// nothing: each is a single run down the sheet.
TEST_F(SheetBorders, RowsOfFormattedBlanksDownTheWholeSheetGiveOneRunPerColumn)
{
    std::string sheet = bordersDimensions(65536, 1) + bordersWindow2();
    for (uint32_t r = 0; r < 65536; r++)
        sheet += bordersBlank(uint16_t(r), 0, 21);
    layoutFile(compound(book8(bordersXfs(), {sheet})));
    ASSERT_EQ(grid->metrics->rowCount, 65536u);
    for (uint32_t r = 1; r < 65536; r++) {
        const GridEdgeList &l = grid->edgeLists->rows[r];
        ASSERT_EQ(l.count, 2u) << r;
        ASSERT_EQ(l.segments[0].kind, 1u) << r;
        ASSERT_EQ(l.segments[0].colour, load.workbook->xfs[21].borderColour[Excel_borderTop]) << r;
        ASSERT_EQ(l.segments[1].kind, uint32_t(Excel_gridLineStyle)) << r;
    }
    for (uint32_t c = 0; c <= grid->metrics->columnCount; c++) {
        const GridEdgeList &l = grid->edgeLists->columns[c];
        ASSERT_EQ(l.count, 1u) << c;
        EXPECT_EQ(l.segments[0].kind, c <= 1 ? 1u : uint32_t(Excel_gridLineStyle)) << c;
        EXPECT_EQ(l.segments[0].end, 65535u);
    }
}

} // namespace sheetborders
