// Fonts and XFs as style rules, and the rule table of a sheet: property
// ids, keywords and types, rotations, the slots of cells and the sharing
// of equal rules.
#include <gtest/gtest.h>

#include <cstring>

#include "core/geom/fixed.h"
#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "spreadsheet/reader/cellstyle.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/workbook.h"
#include "tests/support/heap_fixture.h"

namespace {

// A rule table the test made: its lookup, then its rules (a loaded grid
// takes the rules over instead).
void freeRuleTable(ExcelRuleTable *table)
{
    Excel_ruleIndexFree(table);
    Excel_rulesFree(table->rules, table->count);
    *table = ExcelRuleTable{};
}

class CellStyle : public LeakCheckedContextTest<(4u << 20)> {
  protected:
    ExcelLoad load{};
    ExcelWorkbook *wb = nullptr;

    void SetUp() override
    {
        LeakCheckedContextTest::SetUp();
        ASSERT_EQ(Excel_workbookCreate(&wb), 0);
        Excel_Palette_setDefault(&wb->palette);
        load.context = ctx;
        load.workbook = wb;
        load.fonts = static_cast<ExcelFont **>(Mem_calloc(8, sizeof(ExcelFont *)));
        load.fontCapacity = 8;
    }

    void TearDown() override
    {
        Excel_rulesFree(load.fontRules, load.fontCount);
        wb->fonts = load.fonts; // the workbook frees them
        wb->fontCount = load.fontCount;
        Excel_workbookRelease(wb);
        LeakCheckedContextTest::TearDown();
    }

    ExcelFont *addFont(uint16_t height, uint16_t weight, uint16_t options, uint8_t underline,
                       uint32_t colourSlot, const char16_t *name)
    {
        size_t n = Ustr_len(name);
        ExcelFont *f = static_cast<ExcelFont *>(Mem_calloc(1, sizeof(ExcelFont) + (n + 1) * 2));
        f->height = height;
        f->weight = weight;
        f->options = options;
        f->underline = underline;
        f->colourSlot = colourSlot;
        f->name = reinterpret_cast<char16_t *>(f + 1);
        memcpy(f->name, name, (n + 1) * 2);
        load.fonts[load.fontCount++] = f;
        return f;
    }

    static const Prop *prop(const StyleRule *r, uint32_t id)
    {
        StylePropItem *i = StyleRule_findProp(r, id);
        return i ? &i->value : nullptr;
    }

    static uint32_t keyword(const StyleRule *r, uint32_t id)
    {
        const Prop *p = prop(r, id);
        return p ? Prop_getType(p) : 0;
    }
};

TEST_F(CellStyle, FontProperties)
{
    addFont(200, 450, 0, 0, 2, u"Arial");                                      // weight 450: 22
    addFont(240, 700, Excel_fontItalic | Excel_fontStrikeout, 1, 0, u"Times"); // 700: 28
    addFont(0, 200, 0, 2, 1, u"X");
    addFont(200, 900, 0, 0x21, 1, u"Y");
    addFont(200, 400, 0, 0x22, 60, u"Z"); // slot beyond the palette
    ASSERT_EQ(Excel_fontsToRules(&load), 0);
    StyleRule **r = load.fontRules;
    EXPECT_EQ(keyword(r[0], PropId_fontWeight), 22u);
    EXPECT_EQ(keyword(r[1], PropId_fontWeight), 28u);
    EXPECT_EQ(keyword(r[2], PropId_fontWeight), 23u);
    EXPECT_EQ(keyword(r[3], PropId_fontWeight), 30u);
    EXPECT_EQ(keyword(r[1], PropId_fontStyle), 79u);
    EXPECT_EQ(keyword(r[1], PropId_textDecoration), 88u);
    EXPECT_EQ(prop(r[0], PropId_fontStyle), nullptr);
    EXPECT_EQ(keyword(r[1], 95), 129u);
    EXPECT_EQ(keyword(r[2], 95), 60u);
    EXPECT_EQ(keyword(r[3], 95), 167u);
    EXPECT_EQ(keyword(r[4], 95), 168u);
    EXPECT_EQ(prop(r[0], 95), nullptr);
    // 12 points is a sixth of an inch.
    EXPECT_EQ(Prop_getLength(prop(r[1], PropId_fontSize)), 240 * 65536 / 1440);
    EXPECT_EQ(prop(r[2], PropId_fontSize), nullptr);
    EXPECT_EQ(Prop_getColour(prop(r[0], PropId_color)), 0xFF0000FFu); // entry 2: red
    EXPECT_EQ(prop(r[4], PropId_color), nullptr);
    char16_t *family = Prop_dupUstr(prop(r[1], PropId_fontFamily));
    EXPECT_EQ(std::u16string(family), u"Times");
    Mem_free(family);
}

TEST_F(CellStyle, XfProperties)
{
    addFont(200, 400, 0, 0, 1, u"Arial");
    ASSERT_EQ(Excel_fontsToRules(&load), 0);
    const struct {
        uint16_t alignment;
        uint8_t indent;
        uint32_t horizontal, vertical, wrap;
        int32_t angle; // 0: none
    } cases[] = {
        {0x0000, 0, 171, 147, 104, 0},   {0x0001, 2, 86, 147, 104, 0},
        {0x0012, 0, 45, 45, 104, 0},     {0x0023, 0, 117, 43, 104, 0},
        {0x0034, 0, 196, 80, 209, 0}, // vertical justify wraps
        {0x000D, 0, 80, 147, 209, 0}, // justify, wrap bit
        {0x0046, 0, 170, 43, 104, 0},    {0x0007, 0, 117, 147, 104, 0},
        {0x2D00, 0, 86, 147, 104, 45},   // 45 degrees counter-clockwise
        {0x8700, 0, 117, 147, 104, -45}, // 135: 45 degrees clockwise
        {0x5A00, 0, 117, 147, 104, 90},  {0xB400, 0, 86, 147, 104, -90},
        {0xFF03, 0, 117, 147, 104, 0}, // stacked text is not rotated
    };
    for (const auto &c : cases) {
        ExcelXf x{};
        x.alignment = c.alignment;
        x.indent = c.indent;
        StyleRule *r = nullptr;
        ASSERT_EQ(StyleRule_create(&r), 0);
        ASSERT_EQ(Excel_xfToRule(&x, &load, r), 0);
        EXPECT_EQ(keyword(r, PropId_textAlign), c.horizontal) << std::hex << c.alignment;
        EXPECT_EQ(keyword(r, PropId_verticalAnchor), c.vertical) << std::hex << c.alignment;
        EXPECT_EQ(keyword(r, PropId_whiteSpace), c.wrap) << std::hex << c.alignment;
        EXPECT_NE(prop(r, PropId_fontFamily), nullptr);
        if (c.indent) {
            EXPECT_EQ(Prop_getLength(prop(r, PropId_textIndent)), c.indent << 8);
        } else {
            EXPECT_EQ(prop(r, PropId_textIndent), nullptr);
        }
        const Prop *m = prop(r, PropId_transform);
        if (c.angle) {
            ASSERT_NE(m, nullptr);
            const Matrix *mat = static_cast<const Matrix *>(Prop_getPointer(m));
            EXPECT_EQ(mat->a, Fixed_sinDeg(c.angle + 90));
            EXPECT_EQ(mat->b, Fixed_sinDeg(c.angle));
            EXPECT_EQ(mat->c, -Fixed_sinDeg(c.angle));
            EXPECT_EQ(Prop_getInt(prop(r, 144)), c.angle);
        } else {
            EXPECT_EQ(m, nullptr);
        }
        StyleRule_destroy(r);
    }
    ExcelXf x{};
    EXPECT_EQ(Excel_xfToRule(&x, &load, nullptr), Res_excelNoRule);
}

TEST_F(CellStyle, RuleProperties)
{
    StyleRule *r = nullptr;
    ASSERT_EQ(StyleRule_create(&r), 0);
    Prop p;
    EXPECT_EQ(Excel_setRuleProp(ctx, 7, &p, 1, 0, r, 0), Res_excelBadPropType);
    EXPECT_EQ(
        Excel_setRuleProp(ctx, Excel_ruleUstr, &p, 37, reinterpret_cast<uintptr_t>(u""), r, 0), 0);
    EXPECT_TRUE(StyleRule_hasNoProps(r));
    EXPECT_EQ(Excel_setRuleProp(ctx, Excel_ruleText, &p, 37, reinterpret_cast<uintptr_t>("Caf\xE9"),
                                r, 10),
              0);
    char16_t *s = Prop_dupUstr(prop(r, 37));
    EXPECT_EQ(std::u16string(s), u"Caf\u00E9");
    Mem_free(s);
    EXPECT_EQ(Excel_setRuleProp(ctx, Excel_ruleKeyword, &p, 61, 2, r, 0), 0);
    EXPECT_EQ(Prop_getType(prop(r, 61)), PropType_int);
    EXPECT_EQ(Excel_setRuleProp(ctx, Excel_ruleColour, &p, 29, 0xFF336699, r, 0), 0);
    EXPECT_EQ(Prop_getColour(prop(r, 29)), 0xFF336699u);
    Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    Matrix_setIdentity(m);
    EXPECT_EQ(
        Excel_setRuleProp(ctx, Excel_ruleMatrix, &p, 134, reinterpret_cast<uintptr_t>(m), r, 0), 0);
    Matrix *lost = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    EXPECT_EQ(Excel_setRuleProp(ctx, Excel_ruleMatrix, nullptr, 134,
                                reinterpret_cast<uintptr_t>(lost), r, 0),
              Res_missingArgument);
    StyleRule_destroy(r);
}

TEST_F(CellStyle, CellSlots)
{
    addFont(200, 400, 0, 0, 1, u"Arial");
    addFont(200, 700, 0, 0, 1, u"Arial");
    ASSERT_EQ(Excel_fontsToRules(&load), 0);
    // 16 XFs: XF 15 the default (general), XF 3 centred, XF 5 bold general.
    for (int i = 0; i < 16; i++) {
        ExcelXf x{};
        x.fontIndex = i == 5 ? 1 : 0;
        x.alignment = i == 3 ? 2 : 0;
        ASSERT_EQ(Excel_xfAdd(wb, &x, 0), i);
    }
    load.window2Options = 0x40;
    ExcelRuleTable table;
    ASSERT_EQ(Excel_defaultRules(&load, &table), 0);
    EXPECT_EQ(table.count, 48u);
    EXPECT_EQ(table.rightToLeft, 1);
    ASSERT_NE(table.rules[15], nullptr);
    EXPECT_EQ(keyword(table.rules[15], PropId_textAlign), 171u);

    uint32_t red = 0xFF0000FF;
    ExcelCell cell{};
    uint32_t index = 0;
    const struct {
        uint16_t xf;
        uint32_t kind;
        bool coloured;
        uint32_t slot;
        uint32_t align;
    } cases[] = {
        {3, Excel_valueString, false, 3, 45},
        {3, Excel_valueNumber, false, 3, 45},    // aligned XF: its own slot
        {15, Excel_valueNumber, false, 31, 117}, // general: XF count + xf, right
        {15, Excel_valueInteger, true, 47, 117}, // coloured: 2 x XF count + xf
        {0, Excel_valueBoolean, false, 16, 45},  // booleans: XF count + 0, centred
        {15, Excel_valueString, false, 15, 171},
        {40, Excel_valueNumber, false, 40, 0}, // no XF entry: slot xf
    };
    for (const auto &c : cases) {
        cell.xf = c.xf;
        ASSERT_EQ(Excel_cellRule(&table, &load, c.kind, &cell, &index, c.coloured ? &red : nullptr),
                  0);
        EXPECT_EQ(index, c.slot) << c.xf << " " << c.kind;
        EXPECT_EQ(cell.rule, c.slot);
        EXPECT_EQ(keyword(table.rules[index], PropId_textAlign), c.align) << c.xf << " " << c.kind;
    }
    EXPECT_EQ(Prop_getColour(prop(table.rules[47], PropId_colourOverride)), red);
    EXPECT_EQ(table.count, 48u);
    // A boolean of the bold XF 5 finds slot 16 taken by another rule: its
    // own rule goes after the table; a second one shares it.
    cell.xf = 5;
    ASSERT_EQ(Excel_cellRule(&table, &load, Excel_valueBoolean, &cell, &index, nullptr), 0);
    EXPECT_EQ(index, 48u);
    EXPECT_EQ(keyword(table.rules[48], PropId_fontWeight), 28u);
    ASSERT_EQ(Excel_cellRule(&table, &load, Excel_valueBoolean, &cell, &index, nullptr), 0);
    EXPECT_EQ(index, 48u);
    // XF 0 numbers find their slot 16 taken by the booleans; their rule
    // equals the general rule of XF 15: shared.
    cell.xf = 0;
    ASSERT_EQ(Excel_cellRule(&table, &load, Excel_valueNumber, &cell, &index, nullptr), 0);
    EXPECT_EQ(index, 31u);
    EXPECT_EQ(table.count, 49u);
    freeRuleTable(&table);
}

// Sharing follows what the rules hold, not which XF they come from: a rule
// equal to rules of other XFs is shared with the lowest-placed of them,
// also one placed in a slot filled after the first sharing; a rule with a
// rotation is made once per XF; colours of number formats are
// told apart.
TEST_F(CellStyle, SharingFindsTheLowestEqualRule)
{
    addFont(200, 400, 0, 0, 1, u"Arial");
    addFont(240, 400, 0, 0, 1, u"Arial");
    ASSERT_EQ(Excel_fontsToRules(&load), 0);
    // 20 XFs: 15 default; 16 and 17 equal to 15; 18 of the larger font;
    // 19 turned by 45 degrees.
    for (int i = 0; i < 20; i++) {
        ExcelXf x{};
        x.fontIndex = i == 18 ? 1 : 0;
        x.alignment = i == 19 ? 0x2D00 : 0;
        ASSERT_EQ(Excel_xfAdd(wb, &x, 0), i);
    }
    ExcelRuleTable table{};
    ASSERT_EQ(Excel_defaultRules(&load, &table), 0);
    ASSERT_EQ(table.count, 60u);
    ExcelCell cell{};
    uint32_t index = 0;
    auto rule = [&](uint16_t xf, uint32_t kind, const uint32_t *colour = nullptr) {
        cell.xf = xf;
        EXPECT_EQ(Excel_cellRule(&table, &load, kind, &cell, &index, colour), 0);
        EXPECT_EQ(cell.rule, index);
        return index;
    };
    // Booleans go to slot 20 whatever their XF: the first takes it, an
    // equal one of another XF shares it, the larger font's goes after the
    // table and is shared by its next cells.
    EXPECT_EQ(rule(16, Excel_valueBoolean), 20u);
    EXPECT_EQ(rule(17, Excel_valueBoolean), 20u);
    EXPECT_EQ(rule(18, Excel_valueBoolean), 60u);
    EXPECT_EQ(rule(18, Excel_valueBoolean), 60u);
    // Numbers of XF 0 find slot 20 taken; their rule (right-aligned) is
    // new, then equal to the numbers' rule of XF 17 placed later at 37.
    EXPECT_EQ(rule(0, Excel_valueNumber), 61u);
    EXPECT_EQ(rule(17, Excel_valueNumber), 37u);
    EXPECT_EQ(rule(0, Excel_valueNumber), 37u);
    EXPECT_EQ(rule(16, Excel_valueNumber), 36u);
    EXPECT_EQ(rule(0, Excel_valueNumber), 36u);
    // A rule with a rotation equals no other rule, yet the cells of its XF
    // and kind all share the one made for the first.
    EXPECT_EQ(rule(19, Excel_valueString), 19u);
    EXPECT_EQ(rule(19, Excel_valueString), 19u);
    EXPECT_EQ(rule(19, Excel_valueNumber), 39u);
    EXPECT_EQ(rule(19, Excel_valueNumber), 39u);
    // Colours: each its own rule, the same colour shared.
    const uint32_t red = 0xFF0000FF, blue = 0xFFFF0000;
    EXPECT_EQ(rule(15, Excel_valueNumber, &red), 55u);
    EXPECT_EQ(rule(15, Excel_valueNumber, &blue), 62u);
    EXPECT_EQ(rule(15, Excel_valueNumber, &red), 55u);
    EXPECT_EQ(rule(15, Excel_valueNumber, &blue), 62u);
    EXPECT_EQ(Prop_getColour(prop(table.rules[62], PropId_colourOverride)), blue);
    EXPECT_EQ(table.count, 63u);
    freeRuleTable(&table);
    EXPECT_EQ(table.index, nullptr);
}

TEST_F(CellStyle, OutOfMemory)
{
    addFont(200, 700, Excel_fontItalic, 1, 2, u"Arial");
    for (int i = 0; i < 16; i++) {
        ExcelXf x{};
        x.alignment = 0x2D00;
        ASSERT_EQ(Excel_xfAdd(wb, &x, 0), i);
    }
    for (uint32_t n = 1;; n++) {
        Mem_failAfter(n);
        int rc = Excel_fontsToRules(&load);
        ExcelRuleTable table{};
        if (rc == 0)
            rc = Excel_defaultRules(&load, &table);
        ExcelCell cell{};
        cell.xf = 15;
        uint32_t index;
        uint32_t colour = 0xFF0000FF;
        if (rc == 0)
            rc = Excel_cellRule(&table, &load, Excel_valueNumber, &cell, &index, &colour);
        Mem_failAfter(0);
        freeRuleTable(&table);
        Excel_rulesFree(load.fontRules, load.fontCount);
        load.fontRules = nullptr;
        if (rc == 0)
            break;
        EXPECT_EQ(rc, 1);
        ASSERT_LT(n, 200u);
    }
}

} // namespace
