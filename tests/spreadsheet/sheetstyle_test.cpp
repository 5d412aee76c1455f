// The style side of a laid-out sheet: XFs found or made for style rules,
// cell styles, border lines between cells, automatic sizes, column widths
// for the edit dialog and the hit test, over sheets loaded from small
// record streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/geom/geom.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstyle.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

int32_t points(int32_t p)
{
    return int32_t(int64_t(p) * 65536 / 72);
}

// A rule built from a list of properties.
struct RuleProp {
    uint32_t id;
    uint32_t keyword;     // a keyword, or 0
    int32_t length;       // a length when not 0
    const char16_t *text; // a text when not null
    uint32_t colour;      // a colour R | G << 8 | B << 16 | A << 24 when not 0
};

StyleRule *makeRule(const std::vector<RuleProp> &props)
{
    StyleRule *rule = nullptr;
    EXPECT_EQ(StyleRule_create(&rule), 0);
    for (const RuleProp &p : props) {
        Prop v{};
        Prop_zero(&v);
        if (p.keyword)
            Prop_setType(&v, p.id, uint16_t(p.keyword));
        else if (p.length)
            Prop_setLength(&v, p.id, p.length);
        else if (p.text)
            Prop_setUstr(&v, p.id, Ustr_dup(p.text), uint32_t(Ustr_len(p.text)));
        else
            Prop_setWord(&v, p.id, PropType_colour, p.colour);
        EXPECT_EQ(StyleRule_appendProp(rule, &v), 0);
        Prop_free(&v);
    }
    return rule;
}

constexpr uint32_t propUnderline = 95;

class SheetStyle : public LeakCheckedContextTest<(32u << 20)> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;
    SheetGrid *g = nullptr;

    // Loads one worksheet; tweak runs on the workbook before the layout.
    void layOut(const std::string &records, void (*tweak)(ExcelWorkbook *) = nullptr,
                const std::string &globals = "")
    {
        std::string file = compound(book8(globals, {records}));
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
        load.context = ctx;
        ASSERT_EQ(Excel_readWorkbookStream(&load, ole), 0);
        if (tweak)
            tweak(load.workbook);
        ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
        ASSERT_NE(g, nullptr);
    }

    void TearDown() override
    {
        Excel_gridLayoutFree(g);
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        LeakCheckedContextTest::TearDown();
    }

    const ExcelXf &xfOf(uint32_t row, uint32_t column)
    {
        const ExcelCell *c = Excel_Sheet_cellAt(g, row, column);
        EXPECT_NE(c, nullptr);
        return g->workbook->xfs[c ? c->xf : 15];
    }
};

TEST_F(SheetStyle, XfAtAndFindXf)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 1) + number(0, 0, 1)));
    ExcelWorkbook *wb = g->workbook;
    EXPECT_EQ(Excel_xfAt(&load, 20), &wb->xfs[20]);
    EXPECT_EQ(Excel_xfAt(&load, 21), nullptr);
    EXPECT_EQ(Excel_xfAt(nullptr, 0), nullptr);
    // The 21 XFs of the book are alike: an equal XF is the first of them.
    uint32_t index = 99;
    ExcelXf xf = wb->xfs[15];
    ASSERT_EQ(Excel_Sheet_findXf(g, &xf, &index), 0);
    EXPECT_EQ(index, 0u);
    xf.borderStyle[Excel_borderTop] = 2;
    ASSERT_EQ(Excel_Sheet_findXf(g, &xf, &index), 0);
    EXPECT_EQ(index, 21u);
    ASSERT_EQ(Excel_Sheet_findXf(g, &xf, &index), 0);
    EXPECT_EQ(index, 21u);
    EXPECT_EQ(wb->xfCount, 22u);
    // A full table still finds what it holds and refuses the rest.
    ExcelXf filler = wb->xfs[0];
    while (wb->xfCount < 0xFFFF) {
        filler.indent = uint8_t(wb->xfCount);
        ASSERT_GE(Excel_xfAdd(wb, &filler, 0), 0);
    }
    ASSERT_EQ(Excel_Sheet_findXf(g, &xf, &index), 0);
    EXPECT_EQ(index, 21u);
    xf.borderStyle[Excel_borderTop] = 3;
    EXPECT_EQ(Excel_Sheet_findXf(g, &xf, &index), 14);
    EXPECT_EQ(Excel_Sheet_findXf(nullptr, &xf, &index), 16);
}

TEST_F(SheetStyle, StylePropertiesOfARule)
{
    StyleRule *rule = makeRule({{PropId_fontFamily, 0, 0, u"Courier New", 0},
                                {PropId_color, 0, 0, nullptr, 0xFF0000FF},
                                {PropId_fontSize, 0, points(12), nullptr, 0},
                                {PropId_fontStyle, KwId_oblique, 0, nullptr, 0},
                                {PropId_fontWeight, KwId_bold, 0, nullptr, 0},
                                {PropId_textDecoration, 88, 0, nullptr, 0},
                                {propUnderline, 168, 0, nullptr, 0}});
    ExcelStyleProps p;
    Excel_styleProps(rule, &p);
    EXPECT_EQ(p.has, 0x7Fu);
    EXPECT_EQ(std::u16string(p.family), u"Courier New");
    EXPECT_EQ(p.colour, 0xFF0000FFu);
    EXPECT_EQ(p.height, 240u);
    EXPECT_EQ(p.italic, 1u);
    EXPECT_EQ(p.weight, 700u);
    EXPECT_EQ(p.strikeout, 1u);
    EXPECT_EQ(p.underline, 0x22u);
    StyleRule_destroy(rule);
    struct Case {
        uint32_t id;
        uint32_t keyword;
        uint32_t weight, italic, underline;
    } cases[] = {
        {PropId_fontWeight, KwId_weight100, 100, 0, 0},
        {PropId_fontWeight, KwId_weight900, 900, 0, 0},
        {PropId_fontStyle, KwId_italic, 0, 1, 0},
        {propUnderline, 129, 0, 0, 1},
        {propUnderline, 60, 0, 0, 2},
        {propUnderline, 166, 0, 0, 1},
        {propUnderline, 167, 0, 0, 0x21},
    };
    for (const Case &c : cases) {
        rule = makeRule({{c.id, c.keyword, 0, nullptr, 0}});
        Excel_styleProps(rule, &p);
        EXPECT_EQ(p.weight, c.weight) << c.keyword;
        EXPECT_EQ(p.italic, c.italic) << c.keyword;
        EXPECT_EQ(p.underline, c.underline) << c.keyword;
        StyleRule_destroy(rule);
    }
    Excel_styleProps(nullptr, &p);
    EXPECT_EQ(p.has, 0u);
}

// Rules given to cells, and the XF and font each one gets (the book has
// one font, Arial 10 points, and 21 plain XFs).
TEST_F(SheetStyle, CellStylesGiveXfs)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 4) + number(0, 0, 1) + number(0, 1, 2) +
                                   number(0, 2, 3) + number(0, 3, 4)));
    ExcelWorkbook *wb = g->workbook;
    struct Case {
        const char *what;
        std::vector<RuleProp> props;
        uint32_t column;
        uint32_t xf, fontIndex, height, weight, options, underline, alignment;
    } cases[] = {
        {"new font, right, top",
         {{PropId_fontFamily, 0, 0, u"Courier New", 0},
          {PropId_fontSize, 0, points(12), nullptr, 0},
          {PropId_fontWeight, KwId_weight700, 0, nullptr, 0},
          {PropId_fontStyle, KwId_italic, 0, nullptr, 0},
          {propUnderline, 129, 0, nullptr, 0},
          {PropId_textAlign, KwId_right, 0, nullptr, 0},
          {PropId_verticalAnchor, KwId_top, 0, nullptr, 0}},
         0,
         21,
         1,
         240,
         700,
         0x0002,
         1,
         0x0003},
        {"same font, left, bottom",
         {{PropId_fontFamily, 0, 0, u"Courier New", 0},
          {PropId_fontSize, 0, points(12), nullptr, 0},
          {PropId_fontWeight, KwId_weight700, 0, nullptr, 0},
          {PropId_fontStyle, KwId_italic, 0, nullptr, 0},
          {propUnderline, 129, 0, nullptr, 0},
          {PropId_textAlign, KwId_left, 0, nullptr, 0},
          {PropId_verticalAnchor, KwId_bottom, 0, nullptr, 0}},
         1,
         22,
         1,
         240,
         700,
         0x0002,
         1,
         0x0021},
        {"the book's own font and XF",
         {{PropId_fontFamily, 0, 0, u"Arial", 0}, {PropId_fontSize, 0, points(10), nullptr, 0}},
         2,
         0,
         0,
         200,
         400,
         0,
         0,
         0},
        {"centred, justified, struck out, double underline",
         {{PropId_textAlign, KwId_center, 0, nullptr, 0},
          {PropId_verticalAnchor, KwId_justify, 0, nullptr, 0},
          {PropId_textDecoration, 88, 0, nullptr, 0},
          {propUnderline, 60, 0, nullptr, 0}},
         3,
         23,
         2,
         200,
         400,
         0x0008,
         2,
         0x0032},
    };
    for (const Case &c : cases) {
        uint16_t rulesBefore = g->formatTable->count;
        ASSERT_EQ(Excel_Sheet_setCellStyle(g, 0, c.column, makeRule(c.props)), 0) << c.what;
        const ExcelCell *cell = Excel_Sheet_cellAt(g, 0, c.column);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(g->formatTable->count, rulesBefore + 1) << c.what;
        EXPECT_EQ(cell->rule, rulesBefore) << c.what;
        EXPECT_EQ(cell->xf, c.xf) << c.what;
        const ExcelXf &xf = wb->xfs[cell->xf];
        EXPECT_EQ(xf.fontIndex, c.fontIndex) << c.what;
        ASSERT_NE(xf.font, nullptr);
        EXPECT_EQ(xf.font->height, c.height) << c.what;
        EXPECT_EQ(xf.font->weight, c.weight) << c.what;
        EXPECT_EQ(xf.font->options, c.options) << c.what;
        EXPECT_EQ(xf.font->underline, c.underline) << c.what;
        EXPECT_EQ(xf.alignment, c.alignment) << c.what;
    }
    EXPECT_EQ(wb->fontCount, 3u);
    EXPECT_EQ(std::u16string(wb->fonts[1]->name), u"Courier New");
    // An equal rule is shared, and a missing cell is made in its place.
    uint32_t cells = g->cellTable->count;
    uint16_t rules = g->formatTable->count;
    ASSERT_EQ(Excel_Sheet_setCellStyle(g, 2, 5, makeRule(cases[0].props)), 0);
    EXPECT_EQ(g->formatTable->count, rules);
    EXPECT_EQ(g->cellTable->count, cells + 1);
    const ExcelCell *made = Excel_Sheet_cellAt(g, 2, 5);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->kind, uint32_t(Excel_cellNoText));
    EXPECT_EQ(made->xf, 21u);
    EXPECT_EQ(made->rule, Excel_Sheet_cellAt(g, 0, 0)->rule);
    for (uint32_t i = 1; i < g->cellTable->count; i++) {
        const ExcelCell &a = g->cellTable->cells[i - 1], &b = g->cellTable->cells[i];
        EXPECT_TRUE(a.row < b.row || (a.row == b.row && a.column < b.column));
    }
    StyleRule *rule = makeRule(cases[0].props);
    EXPECT_EQ(Excel_Sheet_setCellStyle(g, g->metrics->rowCount, 0, rule), 8);
    EXPECT_EQ(Excel_Sheet_setCellStyle(nullptr, 0, 0, rule), 16);
    StyleRule_destroy(rule);
}

// A style on a merged range goes to its top-left cell; its other entries
// take the same format with their own borders.
TEST_F(SheetStyle, MergedRangeTakesTheStyle)
{
    std::string merged = rec(0x00E5, u16(1) + u16(4) + u16(5) + u16(0) + u16(1));
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(4, 2) + rowRec(5, 2) + number(4, 0, 1, 16) +
                                       rec(0x0201, cell(5, 1, 17)) + merged,
                                   [](ExcelWorkbook *wb) {
                                       wb->xfs[17].borderStyle[Excel_borderRight] = 5;
                                       wb->xfs[17].borderColour[Excel_borderRight] = 12;
                                   }));
    StyleRule *rule = makeRule({{PropId_textAlign, KwId_right, 0, nullptr, 0}});
    ASSERT_EQ(Excel_Sheet_setCellStyle(g, 5, 1, rule), 0);
    const ExcelXf &top = xfOf(4, 0), &inner = xfOf(5, 1);
    EXPECT_EQ(top.alignment & 7, 3);
    EXPECT_EQ(inner.alignment & 7, 3);
    EXPECT_EQ(top.borderStyle[Excel_borderRight], 0u);
    EXPECT_EQ(inner.borderStyle[Excel_borderRight], 5u);
    EXPECT_EQ(inner.borderColour[Excel_borderRight], 12u);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 4, 0)->rule, g->formatTable->count - 1);
}

// Every allocation failing in turn: a clean 1, the cells, rules and XFs
// as they were, and the caller's rule still its own.
TEST_F(SheetStyle, FailedStyleLeavesTheTablesValid)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 2) + number(0, 0, 1)));
    std::vector<RuleProp> props = {{PropId_fontFamily, 0, 0, u"Times", 0},
                                   {PropId_textAlign, KwId_center, 0, nullptr, 0}};
    for (uint64_t n = 1;; n++) {
        uint32_t cells = g->cellTable->count, xfs = g->workbook->xfCount;
        uint16_t rules = g->formatTable->count;
        StyleRule *rule = makeRule(props);
        Mem_failAfter(n);
        int rc = Excel_Sheet_setCellStyle(g, 3, 3, rule);
        Mem_failAfter(0);
        if (rc == 0)
            break;
        ASSERT_EQ(rc, 1) << n;
        EXPECT_EQ(g->cellTable->count, cells);
        EXPECT_EQ(g->formatTable->count, rules);
        EXPECT_EQ(g->workbook->xfCount, xfs);
        EXPECT_EQ(Excel_Sheet_cellAt(g, 3, 3), nullptr);
        StyleRule_destroy(rule);
        ASSERT_LT(n, 100u);
    }
    EXPECT_NE(Excel_Sheet_cellAt(g, 3, 3), nullptr);
}

void borderXfs(ExcelWorkbook *wb)
{
    wb->xfs[16].borderStyle[Excel_borderBottom] = 1; // bottom line
    wb->xfs[16].borderColour[Excel_borderBottom] = 8;
    wb->xfs[17].borderStyle[Excel_borderTop] = 2; // top line
    wb->xfs[17].borderColour[Excel_borderTop] = 10;
    wb->xfs[18].pattern = 1;                       // filled
    wb->xfs[19].borderStyle[Excel_borderLeft] = 6; // left line
    wb->xfs[19].borderColour[Excel_borderLeft] = 9;
}

// Row 0: A bottom, B bottom, C filled, D plain, E merged with E2;
// row 1: A top, G left.
std::string borderSheet()
{
    return rowRec(0, 5) + rowRec(1, 7) + number(0, 0, 1, 16) + number(0, 1, 1, 16) +
           number(0, 2, 1, 18) + number(0, 3, 1) + number(0, 4, 1, 16) + number(1, 0, 1, 17) +
           number(1, 6, 1, 19) + rec(0x00E5, u16(1) + u16(0) + u16(1) + u16(4) + u16(4));
}

TEST_F(SheetStyle, BorderBetweenCells)
{
    ASSERT_NO_FATAL_FAILURE(layOut(borderSheet(), borderXfs));
    struct Case {
        const char *what;
        uint32_t row, column;
        int vertical;
        uint8_t style, colour;
    } cases[] = {
        {"the top of the cell after wins", 1, 0, 0, 2, 10},
        {"the bottom of the cell before", 1, 1, 0, 1, 8},
        {"a filled cell draws no grid line", 1, 2, 0, 0, 0},
        {"plain cells show the grid line", 1, 3, 0, 14, 15},
        {"inside a merged range", 1, 4, 0, 0, 0},
        {"the grid's top edge", 0, 0, 0, 14, 15},
        {"the grid's bottom edge takes the cell above", 30, 0, 0, 14, 15},
        {"the left of the cell after", 1, 6, 1, 6, 9},
        {"a missing cell before it", 1, 7, 1, 14, 15},
        {"beside a filled cell", 0, 3, 1, 0, 0},
    };
    for (const Case &c : cases) {
        ExcelLineCell line{99, 99};
        Excel_Sheet_borderBetween(g, c.row, c.column, c.vertical, &line);
        EXPECT_EQ(line.style, c.style) << c.what;
        EXPECT_EQ(line.colour, c.colour) << c.what;
    }
}

std::vector<std::vector<uint32_t>> segments(const GridEdgeList &l)
{
    std::vector<std::vector<uint32_t>> out;
    for (uint32_t i = 0; i < l.count; i++)
        out.push_back(
            {l.segments[i].start, l.segments[i].end, l.segments[i].kind, l.segments[i].colour});
    return out;
}

TEST_F(SheetStyle, BorderLinesRebuilt)
{
    ASSERT_NO_FATAL_FAILURE(layOut(borderSheet(), borderXfs));
    using S = std::vector<std::vector<uint32_t>>;
    GridEdgeList &row1 = g->edgeLists->rows[1];
    Mem_free(row1.segments);
    row1 = GridEdgeList{};
    ASSERT_EQ(Excel_Sheet_rowBorders(g, 1), 0);
    EXPECT_EQ(segments(row1), (S{{0, 0, 2, 10},
                                 {1, 1, 1, 8},
                                 {2, 2, 0, 0},
                                 {3, 3, 14, 15},
                                 {4, 4, 0, 0},
                                 {5, 9, 14, 15}}));
    ASSERT_EQ(Excel_Sheet_columnBorders(g, 6), 0);
    EXPECT_EQ(segments(g->edgeLists->columns[6]),
              (S{{0, 0, 14, 15}, {1, 1, 6, 9}, {2, 29, 14, 15}}));
    // A cell that changes format changes its lines when they are rebuilt.
    ExcelCell *a2 = const_cast<ExcelCell *>(Excel_Sheet_cellAt(g, 1, 0));
    a2->xf = 15;
    ASSERT_EQ(Excel_Sheet_rowBorders(g, 1), 0);
    EXPECT_EQ(segments(row1)[0], (std::vector<uint32_t>{0, 1, 1, 8}));
    EXPECT_EQ(Excel_Sheet_rowBorders(g, g->metrics->rowCount + 1), 8);
    EXPECT_EQ(Excel_Sheet_columnBorders(nullptr, 0), 16);
    // Out of memory leaves the line as it was.
    S before = segments(row1);
    Mem_failAfter(1);
    EXPECT_EQ(Excel_Sheet_rowBorders(g, 1), 1);
    Mem_failAfter(0);
    EXPECT_EQ(segments(row1), before);
}

TEST_F(SheetStyle, HiddenGridLinesStayHidden)
{
    // WINDOW2 without the grid-line bit.
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 1) + number(0, 0, 1, 16) +
                                       rec(0x023E, u16(0x0000) + u16(0) + u16(0) + u32(0)),
                                   borderXfs));
    using S = std::vector<std::vector<uint32_t>>;
    ASSERT_EQ(Excel_Sheet_rowBorders(g, 0), 0);
    EXPECT_EQ(segments(g->edgeLists->rows[0]), (S{{0, 9, 14, 1}}));
    ASSERT_EQ(Excel_Sheet_rowBorders(g, 1), 0);
    EXPECT_EQ(segments(g->edgeLists->rows[1]), (S{{0, 0, 1, 8}, {1, 9, 0, 0}}));
}

TEST_F(SheetStyle, ResolvedBorderOfACellBetweenTwo)
{
    // A1 has a bottom line, A3 nothing: A2 between them takes the line on
    // its top. B2 between plain cells gets nothing; G2 sits right of a
    // missing F2 and left of a missing H2.
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 2) + rowRec(2, 2) + number(0, 0, 1, 16) +
                                       number(2, 0, 1) + number(0, 1, 1) + number(2, 1, 1, 19),
                                   borderXfs));
    uint32_t cells = g->cellTable->count;
    ASSERT_EQ(Excel_Sheet_resolveBorder(g, 1, 0, 0), 0);
    EXPECT_EQ(g->cellTable->count, cells + 1);
    EXPECT_EQ(xfOf(1, 0).borderStyle[Excel_borderTop], 1u);
    EXPECT_EQ(xfOf(1, 0).borderColour[Excel_borderTop], 8u);
    ASSERT_EQ(Excel_Sheet_resolveBorder(g, 1, 1, 0), 0);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 1, 1), nullptr);
    // Along the columns: B3 between A3 (plain) and C3 (missing): nothing.
    ASSERT_EQ(Excel_Sheet_resolveBorder(g, 2, 1, 1), 0);
    EXPECT_EQ(xfOf(2, 1).borderStyle[Excel_borderLeft], 6u); // its own
    ASSERT_EQ(Excel_Sheet_resolveBorder(g, 0, 0, 0), 0);     // no row above
    EXPECT_EQ(Excel_Sheet_resolveBorder(g, 0, 0, 2), 8);
    EXPECT_EQ(Excel_Sheet_resolveBorder(g, 99, 0, 0), 8);
    EXPECT_EQ(Excel_Sheet_resolveBorder(nullptr, 0, 0, 0), 16);
}

TEST_F(SheetStyle, ColumnWidthForTheEditDialog)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 1) + number(0, 0, 1)));
    struct Case {
        uint16_t raw;
        uint32_t scale;
        uint32_t width;
    } cases[] = {{2048, 5060, 40480}, {2560, 5060, 50600},    {100, 5060, 1976},   {30, 5060, 656},
                 {0, 5060, 0},        {65280, 5060, 1290300}, {2048, 6072, 48576}, {1, 6072, 23}};
    for (const Case &c : cases) {
        g->metrics->rawWidths[1] = c.raw;
        EXPECT_EQ(Excel_Sheet_getColWidth(g, 1, c.scale), c.width) << c.raw << " " << c.scale;
    }
    EXPECT_EQ(Excel_Sheet_getColWidth(g, g->metrics->columnCount, 5060u), 0u);
    EXPECT_EQ(Excel_Sheet_getColWidth(nullptr, 0, 5060u), 0u);
}

// A measurer of 1000 units a character and 5000 (or, for texts starting
// with "tall", 30000) a line.
int fakeMeasure(void *, const StyleRule *, const char16_t *text, int32_t *width, int32_t *height)
{
    *width = int32_t(1000 * Ustr_len(text));
    *height = text[0] == u't' ? 30000 : 5000;
    return 0;
}

std::string label(uint16_t row, uint16_t col, const std::string &s)
{
    return rec(0x0204, cell(row, col, 15) + str8(s));
}

TEST_F(SheetStyle, AutomaticColumnWidths)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 3) + rowRec(1, 3) + label(0, 0, "abc") +
                                   label(0, 1, "abc") + label(1, 1, std::string(60, 'x')) +
                                   label(0, 2, "abc")));
    ExcelMeasurer m{fakeMeasure, nullptr};
    // Column A holds a short text (20000 at least), column B a text of
    // 60000 + 2 x 1747: they are 43974 wide to start with.
    struct Case {
        uint32_t column, mode;
        uint16_t raw;
        uint32_t width;
    } cases[] = {
        {0, 0, 2048, 43974}, // only grows
        {0, 1, 836, 20018},  // shrinks to hold 20000
        {1, 1, 2048, 43974}, // only shrinks
        {1, 0, 3036, 63502}, // grows to hold 63494
        {2, 2, 836, 20018},  // both ways
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Excel_Sheet_autoColWidth(ctx, g, c.column, c.mode, &m), 0);
        EXPECT_EQ(g->metrics->rawWidths[c.column], c.raw) << c.column << " " << c.mode;
        EXPECT_EQ(Excel_Sheet_getColWidth(g, c.column), c.width) << c.column << " " << c.mode;
    }
    EXPECT_EQ(Excel_Sheet_autoColWidth(ctx, g, g->metrics->columnCount, 2, &m), 8);
    EXPECT_EQ(Excel_Sheet_autoColWidth(ctx, nullptr, 0, 2, &m), 16);
    // The modes of the edit bridge: 2 sizes automatically, 0 goes back to
    // the default width.
    ASSERT_EQ(Excel_Sheet_setColumnMode(ctx, g, 1, 0, nullptr), 0);
    EXPECT_EQ(g->metrics->rawWidths[1], 2048u);
    ASSERT_EQ(Excel_Sheet_setColumnMode(ctx, g, 1, 2, nullptr), 0);
    EXPECT_GT(g->metrics->rawWidths[1], 2048u); // 60 characters at 0.6 em of 10 points
    EXPECT_EQ(Excel_Sheet_setColumnMode(ctx, g, 1, 1, nullptr), 8);
    // With a measurer the automatic width is the measured one.
    ASSERT_EQ(Excel_Sheet_setColumnMode(ctx, g, 1, 2, &m), 0);
    EXPECT_EQ(g->metrics->rawWidths[1], 3036u);
}

TEST_F(SheetStyle, AutomaticRowHeights)
{
    ASSERT_NO_FATAL_FAILURE(
        layOut(rowRec(0, 2) + rowRec(1, 2) + label(0, 0, "short") + label(1, 0, "tall text")));
    ExcelMeasurer m{fakeMeasure, nullptr};
    uint32_t start = Excel_Sheet_getRowHeight(g, 0);
    ASSERT_EQ(start, 11605u); // 255 twentieths of a point
    struct Case {
        uint32_t row, mode, height;
    } cases[] = {
        {0, 0, 11605}, // 10000 is lower: only grows
        {0, 1, 10000}, // shrinks to the least height
        {1, 1, 11605}, // 30000 is higher: only shrinks
        {1, 0, 30000}, {1, 2, 30000},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Excel_Sheet_autoRowHeight(ctx, g, c.row, c.mode, &m), 0);
        EXPECT_EQ(Excel_Sheet_getRowHeight(g, c.row), c.height) << c.row << " " << c.mode;
    }
    // The rows below move with the heights.
    EXPECT_EQ(g->metrics->rowPositions[1], 40000u);
    EXPECT_EQ(Excel_Sheet_autoRowHeight(ctx, g, g->metrics->rowCount, 2, &m), 8);
    // Without a measurer: one line of 10 points is 1.2 x 9102, under the least.
    ASSERT_EQ(Excel_Sheet_setRowMode(ctx, g, 1, 2, nullptr), 0);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 1), 10922u);
    ASSERT_EQ(Excel_Sheet_setRowMode(ctx, g, 1, 0, nullptr), 0);
    EXPECT_EQ(Excel_Sheet_setRowMode(ctx, g, 1, 3, nullptr), 8);
    // With a measurer the automatic height is the measured one.
    ASSERT_EQ(Excel_Sheet_setRowMode(ctx, g, 1, 2, &m), 0);
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 1), 30000u);
}

TEST_F(SheetStyle, MeasuredCellBox)
{
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 2) + label(0, 0, "abcde") + label(0, 1, "ab\ncd")));
    int32_t box[4];
    // 5 x 0.6 x 9102 (10 points) + 2 x 1747 wide, one line of 1.2 em.
    ASSERT_EQ(Excel_Sheet_measureCell(g, Excel_Sheet_cellAt(g, 0, 0), nullptr, box), 0);
    EXPECT_EQ(std::vector<int32_t>(box, box + 4),
              (std::vector<int32_t>{0, 0, 27305 + 3494, 10922}));
    ASSERT_EQ(Excel_Sheet_measureCell(g, Excel_Sheet_cellAt(g, 0, 1), nullptr, box), 0);
    EXPECT_EQ(std::vector<int32_t>(box, box + 4),
              (std::vector<int32_t>{0, 0, 10922 + 3494, 21844}));
    EXPECT_EQ(Excel_Sheet_measureCell(g, nullptr, nullptr, box), 16);
}

// A grid record node around the grid, as the page body holds it.
struct GridNode {
    Edr_Node node;
    Edr_GridNode grid;
};

TEST_F(SheetStyle, HitTest)
{
    std::string merged = rec(0x00E5, u16(1) + u16(2) + u16(3) + u16(1) + u16(2));
    ASSERT_NO_FATAL_FAILURE(layOut(rowRec(0, 1) + number(0, 0, 1) + merged));
    GridNode n{};
    n.node.flags = Edr_NodeType_grid;
    n.grid.record = g;
    int32_t height = int32_t(g->metrics->rowPositions[g->metrics->rowCount - 1]);
    int32_t column = 43974, row = 11605;
    struct Case {
        const char *what;
        int32_t x, y; // from the lower left corner, y upward
        uint32_t rtl;
        int rc;
        uint32_t row, column;
    } cases[] = {
        {"top left", 0, height - 1, 0, 0, 0, 0},
        {"second row, second column", column, height - row - 1, 0, 0, 1, 1},
        {"row edge belongs below", 5, height - row, 0, 0, 1, 0},
        {"inside a merged range", 2 * column + 10, height - 3 * row - 10, 0, 0, 2, 1},
        {"right to left: the left edge is the last column", 5, height - 1, 1, 0, 0, 9},
        {"right to left: the right edge is column A", 10 * column - 1, height - 1, 1, 0, 0, 0},
        {"above the grid", 10, height + 1, 0, 8, 0, 0},
        {"left of the grid", -1, 10, 0, 8, 0, 0},
        {"right of the grid", 10 * column, 10, 0, 8, 0, 0},
    };
    for (const Case &c : cases) {
        g->rightToLeft = c.rtl;
        Point p{c.x, c.y};
        uint32_t r = 99, k = 99;
        EXPECT_EQ(Excel_Sheet_hitTest(&n.node, &p, &r, &k), c.rc) << c.what;
        if (c.rc == 0) {
            EXPECT_EQ(r, c.row) << c.what;
            EXPECT_EQ(k, c.column) << c.what;
        }
    }
    g->rightToLeft = 0;
    Point p{0, height - 5};
    uint32_t r = 0, k = 0;
    ASSERT_EQ(Excel_Sheet_hitTest(&n.node, &p, &r, &k), 0);
    EXPECT_EQ(p.y, 5); // from the top
    n.node.flags = Edr_NodeType_group;
    EXPECT_EQ(Excel_Sheet_hitTest(&n.node, &p, &r, &k), 8);
    EXPECT_EQ(Excel_Sheet_hitTest(nullptr, &p, &r, &k), 16);
}

} // namespace
