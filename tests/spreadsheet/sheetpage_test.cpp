// Spreadsheet pages: the element names and style sheet, page rules and
// margins, and the header and footer table built from "&" codes, on a fake
// workbook (three sheets, a default cell format whose font may be missing).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/fmt.h"
#include "core/text/strtable.h"
#include "document/edr/edr_internal.h"
#include "spreadsheet/reader/sheetpage.h"
#include "platform/api/request.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/document/edr_fixture.h"

namespace {

// A workbook of three sheets and a default format, all on the stack.
struct FakeBook {
    ExcelWorkbook workbook{};
    ExcelBookItem items[4]{};
    char16_t names[3][8] = {u"First", u"Second", u"Third"};
    ExcelXf xfs[16]{};
    ExcelFont font{};
    char16_t fontName[8] = u"Verdana";
    ExcelLoad load{};

    FakeBook(EngineContext *ctx, Edr_Doc *doc, Edr_Node *root, uint32_t sheet, bool withFont)
    {
        items[0].kind = Excel_itemWorkbook;
        for (int i = 0; i < 3; i++) {
            items[i + 1].kind = Excel_itemWorksheet;
            items[i + 1].name = names[i];
        }
        for (int i = 0; i < 3; i++)
            items[i].next = &items[i + 1];
        workbook.items = items;
        font.height = 200; // 10 points
        font.name = fontName;
        xfs[15].font = withFont ? &font : nullptr;
        workbook.xfs = xfs;
        workbook.xfCount = 16;
        load.context = ctx;
        load.workbook = &workbook;
        load.doc = doc;
        load.root = root;
        load.currentSheet = &items[sheet];
    }
    ~FakeBook()
    {
        Request_release(load.styleSheet);
    }
};

std::string sheetPageNarrow(const char16_t *s, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; i++)
        out += char(s[i]);
    return out;
}

// The children of a group: text nodes as their text, data nodes as
// "<property>=<payload>" (k: keyword, L: length, '-': type 0, S: string).
std::string describe(Edr_Node *group)
{
    std::string out;
    for (Edr_Node *n = Edr_Node_firstChild(group); n; n = Edr_Node_nextSibling(n)) {
        if (!out.empty())
            out += " ";
        if (Edr_Node_type(n) == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(n);
            out += "'" + sheetPageNarrow(t->chars, t->length) + "'";
        } else if (Edr_Node_type(n) == Edr_NodeType_data) {
            const Prop *p = static_cast<const Prop *>(Edr_Node_payload(n));
            out += std::to_string(p->id) + "=";
            if (p->type == PropType_length)
                out += "L" + std::to_string(Prop_getLength(p));
            else if (p->type == PropType_ustr)
                out += "S" +
                       sheetPageNarrow(reinterpret_cast<const char16_t *>(p->payload), p->payload2);
            else if (p->type == 0)
                out += "-";
            else
                out += "k" + std::to_string(p->type);
        } else {
            out += "node" + std::to_string(Edr_Node_type(n));
        }
    }
    return out;
}

uint32_t firstId(Edr_Node *group)
{
    Edr_Group *g = Edr_Node_group(group);
    return g && g->ids ? g->ids[0] : 0;
}

class SheetPageTest : public EdrFixture {};

struct HeaderCase {
    const char *name;
    const char16_t *text;
    uint32_t sheet; // 1-based item index of the current sheet
    bool font;      // the default format has a font
    const char *left, *centre, *right;
};

TEST_F(SheetPageTest, HeaderAndFooterCodes)
{
    const HeaderCase cases[] = {
        {"three sections, page code on sheet 3", u"&LLeft&CPage &P&RRight", 3, false, "'Left'",
         "'Page ' '3'", "'Right'"},
        {"no section code", u"plain text & more", 1, true, "", "", ""},
        {"text before the first code is not shown", u"lost&Lshown", 1, false, "'shown'", "", ""},
        {"default font first", u"&Cx", 1, true, "", "37=SVerdana 38=L9000 'x'", ""},
        {"page plus 2", u"&C&P+2", 1, false, "", "'3'", ""},
        {"page minus 5", u"&C&P-5", 3, false, "", "'-2'", ""},
        {"lone plus", u"&C&P+", 1, false, "", "'1' '+'", ""},
        {"plus without a digit", u"&C&P+x", 2, false, "", "'2' '+x'", ""},
        {"long page offset", u"&C&P+65530", 3, false, "", "'65533'", ""},
        {"huge page offset", u"&C&P+99999999999999", 1, false, "", "'4294967295'", ""},
        {"font, style and size", u"&L&\"Arial,Bold Italic\"&14Total", 1, false,
         "37=SArial 43=k40 41=k79 38=L12740 'Total'", "", ""},
        {"font without style", u"&L&\"Times\"x", 1, false, "43=k103 41=k103 'x'", "", ""},
        {"family with comma", u"&L&\"A,B,Bold\"", 1, false, "37=SA,B 43=k40 41=k103", "", ""},
        {"unterminated font", u"&L&\"Arial,Italic", 1, false, "37=SArial 43=k103 41=k79", "", ""},
        {"bold twice", u"&R&Ba&Bb", 1, false, "", "", "43=k40 'a' 43=k103 'b'"},
        {"italic, strike, underline", u"&L&I&S&U&I&S&U", 1, false,
         "41=k79 80=k88 95=k129 41=k103 80=- 95=-", "", ""},
        {"unknown code letter shows", u"&L&Qx", 1, false, "'Qx'", "", ""},
        {"ampersand and sheet name", u"&L&&&A", 2, false, "'&' 'Second'", "", ""},
        {"codes without output", u"&L&D&F&N&T&E&X&Yz", 1, false, "'z'", "", ""},
        {"many-digit size is clamped", u"&L&99999999999a", 1, false, "38=L372190 'a'", "", ""},
        {"segment twice", u"&La&Cb&Lc", 1, false, "'a' 'c'", "'b'", ""},
        {"trailing ampersand", u"&Lx&", 1, false, "'x'", "", ""},
    };
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        for (const HeaderCase &c : cases) {
            SCOPED_TRACE(c.name);
            FakeBook book(ctx(), doc, root, c.sheet, c.font);
            Edr_Node *section = nullptr;
            ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &section), 0);
            ASSERT_EQ(Excel_HeaderFooter_build(&book.load, section, c.text), 0);
            Edr_Node *table = Edr_Node_firstChild(section);
            ASSERT_NE(table, nullptr);
            EXPECT_EQ(firstId(table), uint32_t(ExcelPage_elementTable));
            Edr_Node *row = Edr_Node_firstChild(table);
            EXPECT_EQ(firstId(row), uint32_t(ExcelPage_elementRow));
            Edr_Node *left = Edr_Node_firstChild(row);
            Edr_Node *centre = Edr_Node_nextSibling(left);
            Edr_Node *right = Edr_Node_nextSibling(centre);
            ASSERT_NE(right, nullptr);
            EXPECT_EQ(firstId(left), uint32_t(ExcelPage_elementCellLeft));
            EXPECT_EQ(firstId(centre), uint32_t(ExcelPage_elementCellCentre));
            EXPECT_EQ(firstId(right), uint32_t(ExcelPage_elementCellRight));
            EXPECT_EQ(describe(left), c.left);
            EXPECT_EQ(describe(centre), c.centre);
            EXPECT_EQ(describe(right), c.right);
            EXPECT_EQ(Edr_Node_remove(doc, section), 0);
        }
    });
}

TEST_F(SheetPageTest, Margins)
{
    const struct {
        double inches;
        int32_t length;
    } cases[] = {{0.0, 7000},       {0.05, 7000},          {1.0, 65536},
                 {-3.0, 7000},      {0.75, 49152},         {std::nan(""), 7000},
                 {1e30, INT32_MAX}, {HUGE_VAL, INT32_MAX}, {-HUGE_VAL, 7000}};
    for (const auto &c : cases)
        EXPECT_EQ(Excel_Page_margin(c.inches), c.length) << c.inches;
}

TEST_F(SheetPageTest, PagesShareOneStyleSheet)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        FakeBook book(ctx(), doc, root, 1, true);
        ExcelPageSetup setup{u"&CHead", u"&RFoot", 1.0, 1.0, 0.75, 0.5};
        SheetGrid *grid = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
        ASSERT_EQ(Excel_Page_build(&book.load, &setup, grid, 5, 0), 0);
        ASSERT_NE(book.load.styleSheet, nullptr);
        Request *sheet = book.load.styleSheet;
        EXPECT_EQ(book.load.nextElementId, 10u);

        // The eight element rules, then the page rule with id 9.
        uint32_t keys[9] = {}, n = 0;
        for (StyleRule *r = Request_firstItem(sheet); r && n < 9; r = Request_nextItem(sheet, r))
            keys[n++] = StyleRule_firstKey(r);
        ASSERT_EQ(n, 9u);
        const uint32_t want[9] = {1, 2, 3, 4, 8, 6, 5, 7, 9};
        for (uint32_t i = 0; i < 9; i++)
            EXPECT_EQ(keys[i], want[i]) << i;
        // The header section's top margin is a third of the first page's.
        StyleRule *header =
            Request_nextItem(sheet, Request_nextItem(sheet, Request_firstItem(sheet)));
        StylePropItem *top = StyleRule_findProp(header, 51);
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(Prop_getLength(&top->value), 49152 / 3);
        EXPECT_EQ(header->weight, 2010u);
        StyleRule *page = sheet->last;
        const uint32_t order[7] = {2, 34, 113, 51, 53, 54, 52};
        StylePropItem *item = StyleRule_firstProp(page);
        for (uint32_t id : order) {
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->value.id, id);
            item = item->next;
        }
        EXPECT_EQ(Prop_getLength(&StyleRule_findProp(page, 53)->value), 32768);
        EXPECT_EQ(Prop_getInt(&StyleRule_findProp(page, 113)->value), 5);

        // The element names have their fixed ids.
        EXPECT_EQ(firstId(root), 1u);
        Edr_Node *body = Edr_Node_firstChild(root);
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(firstId(body), 9u);
        Edr_Node *record = Edr_Node_firstChild(body);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Edr_Node_type(record), uint32_t(Edr_NodeType_grid));

        // A second page adds no second style sheet; its rule is 10.
        SheetGrid *grid2 = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
        ExcelPageSetup plain{nullptr, nullptr, 0, 0, 0, 0};
        ASSERT_EQ(Excel_Page_build(&book.load, &plain, grid2, 6, 1), 0);
        EXPECT_EQ(book.load.styleSheet, sheet);
        EXPECT_EQ(book.load.nextElementId, 11u);
        EXPECT_EQ(StyleRule_firstKey(sheet->last), 10u);
        // The caller's flag makes the display value one of type 0.
        EXPECT_EQ(Prop_getType(&StyleRule_findProp(sheet->last, 34)->value), 0);
    });
}

// Running out of memory at any step of a page build gives 1 and leaks
// nothing: the grid record is freed or belongs to the tree.
TEST_F(SheetPageTest, OutOfMemoryAtEveryStep)
{
    bool done = false;
    for (int n = 1; n < 400 && !done; n++) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            FakeBook book(ctx(), doc, root, 1, true);
            ExcelPageSetup setup{u"&L&BHead&P", u"&R&\"Arial,Bold\"&12Foot", 1, 1, 1, 1};
            SheetGrid *grid = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
            ASSERT_NE(grid, nullptr);
            Mem_failAfter(uint64_t(n));
            int rc = Excel_Page_build(&book.load, &setup, grid, 1, 0);
            Mem_failAfter(0);
            EXPECT_TRUE(rc == 0 || rc == 1) << n << " " << rc;
            done = rc == 0;
        });
    }
    EXPECT_TRUE(done);
}

} // namespace
