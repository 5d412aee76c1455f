// The workbook loader over small BIFF streams built in the test: records,
// strings across CONTINUE records, cells, formulas and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/formularec.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

class Biff : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;

    // Loads a compound file; the load stays for the checks.
    int open(const std::string &file)
    {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        EXPECT_EQ(Ole_openStream(vfs, &ole), 0);
        load.context = ctx;
        return Excel_readWorkbookStream(&load, ole);
    }

    int openBook(const std::string &globals, const std::vector<std::string> &sheets,
                 uint16_t version = 0x0600, const std::vector<uint16_t> &types = {})
    {
        return open(compound(book8(globals, sheets, version, types)));
    }

    void TearDown() override
    {
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        LeakCheckedContextTest::TearDown();
    }

    ExcelLoadSheet *sheet(uint32_t index = 0)
    {
        ExcelSheetEntry *e = load.sheets;
        for (uint32_t i = 0; e && i < index; i++)
            e = e->next;
        return e ? e->sheet : nullptr;
    }

    const ExcelCellValue *at(uint32_t row, uint32_t col, uint32_t index = 0)
    {
        return Excel_loadCellAt(sheet(index), row, col);
    }

    std::string shown(const ExcelCellValue *v, const ExcelLoadSheet *in = nullptr)
    {
        char16_t *t = nullptr;
        EXPECT_EQ(Excel_cellDisplayText(&load, in, v, 2048, &t), 0);
        std::string out;
        for (const char16_t *p = t; p && *p; p++)
            out += char(*p);
        Mem_free(t);
        return out;
    }

    static std::string text(const ExcelCellValue *v)
    {
        std::string out;
        for (const char16_t *p = v ? v->value.text.text : nullptr; p && *p; p++)
            out += *p < 0x80 ? char(*p) : '?';
        return out;
    }
};

TEST_F(Biff, RkValuesDecode)
{
    struct Case {
        uint32_t rk;
        uint32_t kind;
        double value;
    } cases[] = {
        {102, Excel_valInteger, 25}, // integer, not divided
        {603, Excel_valNumber, 1.5}, // 150 / 100
        {2403, Excel_valInteger, 6}, // 600 / 100 stays an integer
        {uint32_t(-20) | 2, Excel_valInteger, -5},
        {0x3FF00000, Excel_valNumber, 1.0},  // the high word of a double
        {0x3FF00001, Excel_valNumber, 0.01}, // divided by 100
        {uint32_t((-150) * 4) | 3, Excel_valNumber, -1.5},
    };
    for (const Case &c : cases) {
        ExcelCellValue v{};
        Excel_decodeRk(c.rk, &v);
        EXPECT_EQ(v.kind, c.kind) << c.rk;
        double got = v.kind == Excel_valInteger ? v.value.integer : v.value.number;
        EXPECT_DOUBLE_EQ(got, c.value) << c.rk;
    }
}

TEST_F(Biff, BofVersions)
{
    struct Case {
        uint16_t version;
        int rc;
    } cases[] = {{0x0500, 0}, {0x0600, 0}, {0x0680, 12556}, {0x0400, 12550}, {0x0200, 12550}};
    for (const Case &c : cases) {
        std::string body = u16(c.version) + u16(5);
        ExcelBof b;
        EXPECT_EQ(Excel_parseBof(reinterpret_cast<const uint8_t *>(body.data()), body.size(), &b),
                  c.rc);
    }
    ExcelBof b;
    EXPECT_EQ(Excel_parseBof(reinterpret_cast<const uint8_t *>("\x00\x06"), 2, &b), 12544);
}

TEST_F(Biff, RefusedWorkbooks)
{
    // Each file fails with its code and frees what it read.
    struct Case {
        const char *what;
        std::string file;
        int rc;
    } cases[] = {
        {"no stream", Cfb_build({{u"Other", bof(0x0600, 5) + eof()}}), 12545},
        {"filepass",
         compound(book8(rec(0x002F, u16(1) + std::string(52, '\0')), {number(0, 0, 1)})), 12552},
        {"bof 0x0680", compound(bof(0x0680, 5) + eof()), 12556},
        {"not a bof", compound(eof()), 12544},
        {"globals of type 0x10", compound(bof(0x0600, 0x10) + eof()), 12544},
        {"biff5 drawing group", compound(book8(rec(0x00EB, std::string(8, '\0')), {}, 0x0500)), 17},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(open(c.file), c.rc) << c.what;
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
    }
}

TEST_F(Biff, BookStreamLoads)
{
    std::string stream = book8("", {number(1, 2, 4.25)}, 0x0500);
    ASSERT_EQ(open(compound(stream, u"Book")), 0);
    EXPECT_EQ(load.version, 0x0500u);
    const ExcelCellValue *v = at(1, 2);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->kind, Excel_valNumber);
    EXPECT_DOUBLE_EQ(v->value.number, 4.25);
    EXPECT_EQ(shown(v), "4.25");
}

TEST_F(Biff, CellRecords)
{
    std::string sst = rec(0x00FC, u32(2) + u32(2) + str8("one") + str8("two"));
    std::string cells =
        rowRec(0, 6) + rowRec(1, 6) + number(0, 0, 2.5) + rk(0, 1, 102) +
        rec(0x00FD, cell(0, 2, 15) + u32(1)) +                     // "two"
        rec(0x00FD, cell(0, 3, 15) + u32(9)) +                     // beyond the table: blank
        rec(0x0205, cell(0, 4, 15) + std::string("\x01\x00", 2)) + // TRUE
        rec(0x0205, cell(0, 5, 15) + std::string("\x07\x01", 2)) + // #DIV/0!
        rec(0x00BD, u16(1) + u16(1) + u16(15) + u32(102) + u16(15) + u32(603) + u16(2)) +
        rec(0x00BE, u16(1) + u16(4) + u16(16) + u16(17) + u16(5)) +
        number(0, 0, 7.0); // replaces the first value
    ASSERT_EQ(openBook(sst, {cells}), 0);
    EXPECT_DOUBLE_EQ(at(0, 0)->value.number, 7.0);
    EXPECT_EQ(at(0, 1)->kind, Excel_valInteger);
    EXPECT_EQ(at(0, 1)->value.integer, 25);
    EXPECT_EQ(at(0, 2)->kind, Excel_valString);
    EXPECT_EQ(text(at(0, 2)), "two");
    EXPECT_EQ(at(0, 3)->kind, Excel_valBlank);
    EXPECT_EQ(at(0, 4)->kind, Excel_valBoolean);
    EXPECT_EQ(shown(at(0, 4)), "TRUE");
    EXPECT_EQ(at(0, 5)->kind, Excel_valError);
    EXPECT_EQ(shown(at(0, 5)), "#DIV/0!");
    EXPECT_EQ(at(1, 1)->value.integer, 25);
    EXPECT_DOUBLE_EQ(at(1, 2)->value.number, 1.5);
    EXPECT_EQ(at(1, 3)->kind, Excel_valFiller);
    EXPECT_EQ(at(1, 4)->kind, Excel_valBlank);
    EXPECT_EQ(at(1, 4)->xf, 16);
    EXPECT_EQ(at(1, 5)->xf, 17);
}

TEST_F(Biff, ZerosShowAsTheSheetsWindowSaysWhateverTheirRecord)
{
    // A zero stored as NUMBER (a double) and as RK (an integer) in a sheet
    // that shows zero values (WINDOW2 bit 4) and in one that hides them.
    const uint16_t options[2] = {0x06B6, 0x06A6};
    std::vector<std::string> sheets;
    for (uint16_t o : options)
        sheets.push_back(rowRec(0, 2) + number(0, 0, 0.0) + rk(0, 1, 2) +
                         rec(0x023E, u16(o) + u16(0) + u16(0) + u32(64)));
    ASSERT_EQ(openBook("", sheets), 0);
    for (uint32_t i = 0; i < 2; i++) {
        ASSERT_EQ(at(0, 0, i)->kind, Excel_valNumber);
        ASSERT_EQ(at(0, 1, i)->kind, Excel_valInteger);
        const char *want = (options[i] & 0x0010) ? "0" : " ";
        EXPECT_EQ(shown(at(0, 0, i), sheet(i)), want) << std::hex << options[i];
        EXPECT_EQ(shown(at(0, 1, i), sheet(i)), want) << std::hex << options[i];
    }
}

TEST_F(Biff, ShortMultipleRecordsAreRefused)
{
    // The last column (5) asks for five entries where the body has two,
    // and a MULBLANK's last column 200 for 200: both records are refused,
    // the cells around them load.
    std::string mulrk =
        rec(0x00BD, u16(0) + u16(1) + u16(15) + u32(102) + u16(15) + u32(102) + u16(5));
    std::string mulblank = rec(0x00BE, u16(1) + u16(0) + u16(15) + u16(200));
    std::string reversed = rec(0x00BE, u16(1) + u16(3) + u16(15) + u16(2));
    ASSERT_EQ(openBook("", {rowRec(0, 3) + rowRec(1, 3) + number(0, 0, 1) + mulrk + mulblank +
                            reversed + number(1, 0, 2)}),
              0);
    EXPECT_DOUBLE_EQ(at(0, 0)->value.number, 1.0);
    EXPECT_EQ(at(0, 1), nullptr);
    EXPECT_DOUBLE_EQ(at(1, 0)->value.number, 2.0);
    EXPECT_EQ(sheet()->extent[3], 1);
}

TEST_F(Biff, StrayCellsAndDefaultFormatRows)
{
    // A cell before its ROW record, and a row whose XF 20 fills columns
    // 0 to 9 with formatted blanks.
    std::string cells = number(3, 1, 1.0) + rowRec(2, 3, 0x0180, 20) + number(3, 0, 2.0);
    ASSERT_EQ(openBook("", {cells}), 0);
    ASSERT_NE(at(3, 1), nullptr);
    EXPECT_DOUBLE_EQ(at(3, 1)->value.number, 1.0);
    EXPECT_DOUBLE_EQ(at(3, 0)->value.number, 2.0);
    for (uint32_t c = 0; c < 10; c++) {
        ASSERT_NE(at(2, c), nullptr) << c;
        EXPECT_EQ(at(2, c)->kind, Excel_valBlank);
        EXPECT_EQ(at(2, c)->xf, 20);
    }
    ExcelLoadSheet *s = sheet();
    EXPECT_EQ(s->extent[1], 4);
    EXPECT_EQ(s->extent[3], 10);
    EXPECT_EQ(s->rowTableCount, 4u);
    EXPECT_EQ(s->colTableCount, 10u);
    EXPECT_EQ(s->colWidths[0], 8u << 8);
}

TEST_F(Biff, SharedStringsAcrossContinue)
{
    // "abcdef" breaks after "abc"; the rest comes as 16-bit characters
    // after a new flags byte. A second string follows whole.
    std::string first = u16(6) + std::string(1, '\0') + "abc";
    std::string cont = std::string(1, '\x01') + u16('d') + u16('e') + u16(0x20AC);
    std::string sst = rec(0x00FC, u32(2) + u32(2) + first) + rec(0x003C, cont + str8("xy"));
    std::string cells =
        rowRec(0, 2) + rec(0x00FD, cell(0, 0, 15) + u32(0)) + rec(0x00FD, cell(0, 1, 15) + u32(1));
    ASSERT_EQ(openBook(sst, {cells}), 0);
    ASSERT_EQ(load.workbook->sstCount, 2u);
    const char16_t *t = load.workbook->sst[0].text;
    EXPECT_EQ(std::u16string(t), u"abcde\u20AC");
    EXPECT_EQ(text(at(0, 1)), "xy");
}

TEST_F(Biff, SharedStringCountIsBoundedByTheRecord)
{
    // A unique count of 4 billion with room for two strings only.
    std::string sst = rec(0x00FC, u32(0xFFFFFFFF) + u32(0xFFFFFFFF) + str8("a") + str8("b"));
    ASSERT_EQ(openBook(sst, {rowRec(0, 1) + rec(0x00FD, cell(0, 0, 15) + u32(1))}), 0);
    EXPECT_EQ(load.workbook->sstCount, 2u);
    EXPECT_EQ(text(at(0, 0)), "b");
}

TEST_F(Biff, RichStringRuns)
{
    // A BIFF8 string with rich-text runs and extended data.
    std::string s =
        u16(2) + std::string(1, '\x0C') + u16(1) + u32(3) + "hi" + u16(1) + u16(5) + "ext";
    ExcelBody body{};
    body.data = reinterpret_cast<uint8_t *>(s.data());
    body.size = uint32_t(s.size());
    ExcelSstEntry e;
    ASSERT_EQ(Excel_readRichString(&body, &e, 1), 0);
    EXPECT_EQ(std::u16string(e.text), u"hi");
    ASSERT_EQ(e.runCount, 1);
    EXPECT_EQ(e.runs[0].first, 1u);
    EXPECT_EQ(e.runs[0].font, 5);
    EXPECT_EQ(body.pos, s.size());
    Mem_free(e.text);
    Mem_free(e.runs);
    // Cut short inside the characters.
    std::string cut = u16(9) + std::string(1, '\0') + "abc";
    body.data = reinterpret_cast<uint8_t *>(cut.data());
    body.size = uint32_t(cut.size());
    body.pos = 0;
    EXPECT_EQ(Excel_readRichString(&body, &e, 1), 12544);
    EXPECT_EQ(e.text, nullptr);
}

TEST_F(Biff, Biff8RStringUsesTheBiff8Layout)
{
    std::string body = cell(0, 0, 15) + u16(2) + std::string(1, '\x01') + u16(0x3042) + u16('z') +
                       u16(2) + u16(0) + u16(1) + u16(1) + u16(2);
    ASSERT_EQ(openBook("", {rowRec(0, 1) + rec(0x00D6, body)}), 0);
    const ExcelCellValue *v = at(0, 0);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->kind, Excel_valString);
    EXPECT_EQ(v->sst, -1);
    EXPECT_EQ(std::u16string(v->value.text.text), u"\u3042z");
    ASSERT_EQ(v->value.text.runCount, 2);
    EXPECT_EQ(v->value.text.runs[1].first, 1u);
    EXPECT_EQ(v->value.text.runs[1].font, 2);
}

TEST_F(Biff, Biff5RStringKeepsItsLayout)
{
    std::string body = cell(0, 0, 15) + u16(3) + "abc" + std::string(1, '\x01') + std::string{1, 6};
    ASSERT_EQ(openBook("", {rowRec(0, 1) + rec(0x00D6, body)}, 0x0500), 0);
    const ExcelCellValue *v = at(0, 0);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(text(v), "abc");
    ASSERT_EQ(v->value.text.runCount, 1);
    EXPECT_EQ(v->value.text.runs[0].font, 6);
}

TEST_F(Biff, PivotBlockIsSkipped)
{
    std::string cells = rowRec(0, 2) + rec(0x00B0, std::string(10, '\x01')) +
                        rec(0x00B1, std::string(4, '\0')) + rec(0x00C5, std::string(2, '\0')) +
                        number(0, 1, 3.0);
    ASSERT_EQ(openBook("", {cells}), 0);
    ASSERT_NE(at(0, 1), nullptr);
    EXPECT_DOUBLE_EQ(at(0, 1)->value.number, 3.0);
}

std::string formula(uint16_t row, uint16_t col, const std::string &result, uint16_t options,
                    const std::string &tokens)
{
    return rec(0x0006, cell(row, col, 15) + result + u16(options) + u32(0) +
                           u16(uint32_t(tokens.size())) + tokens);
}

std::string special(uint8_t type, uint8_t value)
{
    return std::string{char(type), 0, char(value), 0, 0, 0, char(0xFF), char(0xFF)};
}

TEST_F(Biff, FormulaCachedResults)
{
    std::string ref = std::string(1, '\x24') + u16(0) + u16(0xC000); // A1, relative
    std::string cells =
        rowRec(0, 6) + formula(0, 0, f64(1.0), 0, ref) + formula(0, 1, special(1, 1), 0, ref) +
        formula(0, 2, special(2, 0x07), 0, ref) + formula(0, 3, special(3, 0), 0, ref) +
        formula(0, 4, special(0, 0), 0, ref) + rec(0x0207, str8("done")) +
        formula(0, 5, special(0, 0), 0, ref) + rec(0x0207, str8(""));
    ASSERT_EQ(openBook("", {cells}), 0);
    EXPECT_EQ(at(0, 0)->kind, Excel_valNumber);
    EXPECT_DOUBLE_EQ(at(0, 0)->value.number, 1.0);
    EXPECT_EQ(at(0, 0)->formula, 1);
    EXPECT_EQ(at(0, 1)->kind, Excel_valBoolean);
    EXPECT_EQ(at(0, 1)->value.boolean, 1);
    EXPECT_EQ(shown(at(0, 2)), "#DIV/0!");
    EXPECT_EQ(at(0, 3)->kind, Excel_valBlank);
    EXPECT_EQ(text(at(0, 4)), "done");
    EXPECT_EQ(at(0, 5)->kind, Excel_valBlank);
    uint32_t count = 0;
    for (ExcelLoadFormula *f = sheet()->formulas; f; f = f->next)
        count++;
    EXPECT_EQ(count, 6u);
}

TEST_F(Biff, TextFormulaWithoutStringFails)
{
    std::string ref = std::string(1, '\x24') + u16(0) + u16(0xC000);
    std::string cells =
        rowRec(0, 2) + formula(0, 0, special(0, 0), 0, ref) + number(0, 1, 1) + number(0, 1, 2);
    EXPECT_EQ(openBook("", {cells}), 12544);
}

TEST_F(Biff, SharedFormulaRebasedPerCell)
{
    // Defined at B2 with ptgRefN row -1 (relative row and column, offset
    // 0): B2 reads B1; the member at B5 reads B4.
    std::string refN = std::string(1, '\x2C') + u16(0xFFFF) + u16(0xC000);
    std::string exp = std::string(1, '\x01') + u16(1) + u16(1);
    std::string shr = rec(0x04BC, u16(1) + u16(4) + std::string{1, 1} + std::string(2, '\0') +
                                      u16(uint32_t(refN.size())) + refN);
    std::string cells = rowRec(1, 2) + rowRec(4, 2) + formula(1, 1, f64(0), 8, exp) + shr +
                        formula(4, 1, f64(0), 8, exp);
    ASSERT_EQ(openBook("", {cells}), 0);
    std::vector<ExcelLoadFormula *> list;
    for (ExcelLoadFormula *f = sheet()->formulas; f; f = f->next)
        list.push_back(f);
    ASSERT_EQ(list.size(), 2u);
    for (ExcelLoadFormula *f : list) {
        ASSERT_EQ(f->length, 5u);
        EXPECT_EQ(f->tokens[0], 0x24);
        uint32_t row = f->tokens[1] | (f->tokens[2] << 8);
        uint32_t col = f->tokens[3] | (f->tokens[4] << 8);
        EXPECT_EQ(row, f->row - 1u) << f->row;
        EXPECT_EQ(col, 0xC001u);
    }
    EXPECT_EQ(sheet()->unsupported, 0u);
}

TEST_F(Biff, SharedMemberWithoutDefinitionKeepsItsValue)
{
    std::string exp = std::string(1, '\x01') + u16(7) + u16(7);
    ASSERT_EQ(openBook("", {rowRec(0, 1) + formula(0, 0, f64(4.0), 8, exp)}), 0);
    EXPECT_DOUBLE_EQ(at(0, 0)->value.number, 4.0);
    EXPECT_EQ(sheet()->formulas, nullptr);
    EXPECT_EQ(sheet()->unsupported, 1u);
}

TEST_F(Biff, SheetRecords)
{
    std::string cells =
        rowRec(0, 1) + number(0, 0, 1) + rec(0x0014, u16(3) + std::string(1, '\0') + "top") +
        rec(0x0014, u16(5) + std::string(1, '\0') + "later") + rec(0x0026, f64(1.25)) +
        rec(0x00E5, u16(1) + u16(0) + u16(1) + u16(0) + u16(2)) +
        rec(0x023E, u16(0x06B6) + u16(0) + u16(0) + u32(64)) +
        rec(0x007D, u16(0) + u16(1) + u16(5060) + u16(15) + u16(0) + u16(0)) +
        rec(0x001C, u16(0) + u16(0) + u16(0) + u16(1) + u16(0));
    ASSERT_EQ(openBook("", {cells}), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s->header, nullptr);
    EXPECT_EQ(std::u16string(s->header), u"top");
    EXPECT_DOUBLE_EQ(s->margins[0], 1.25);
    EXPECT_DOUBLE_EQ(s->margins[2], 0.3);
    ASSERT_EQ(s->mergedCount, 1u);
    EXPECT_EQ(s->merged[0].lastColumn, 2);
    EXPECT_EQ(s->window2Options, 0x06B6);
    EXPECT_EQ(s->colWidths[0], 5060);
    ASSERT_EQ(s->noteCount, 1u);
    EXPECT_EQ(s->notes[0].objectId, 1);
}

TEST_F(Biff, SubstreamsOfOtherKinds)
{
    // A chart (with a nested substream), a VB module and a workspace are
    // passed over, the module kept as an extent item; the worksheet after
    // them loads.
    std::string chart = bof(0x0600, 0x20) + rec(0x1001, u16(0)) + eof();
    ASSERT_EQ(openBook("", {chart, rec(0x0001, ""), "", number(0, 0, 9)}, 0x0600,
                       {0x20, 0x06, 0x100, 0x10}),
              0);
    EXPECT_EQ(load.sheetCount, 4u);
    ASSERT_NE(at(0, 0, 3), nullptr);
    EXPECT_DOUBLE_EQ(at(0, 0, 3)->value.number, 9.0);
    uint32_t modules = 0;
    for (ExcelBookItem *i = load.workbook->items; i; i = i->next)
        modules += i->kind == Excel_itemModule;
    EXPECT_EQ(modules, 1u);
}

TEST_F(Biff, UnknownSubstreamTypeFails)
{
    EXPECT_EQ(openBook("", {""}, 0x0600, {0x0033}), 12544);
}

TEST_F(Biff, LayoutOfASingleCell)
{
    // The only cell is A1: 30 rows and 10 columns; the default font of
    // 10 points gives the scale 5060 and a default column 43974 units.
    ASSERT_EQ(openBook("", {rowRec(0, 1) + number(0, 0, 1.5)}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    const SheetMetrics *m = g->metrics;
    EXPECT_EQ(m->rowCount, 30u);
    EXPECT_EQ(m->columnCount, 10u);
    EXPECT_EQ(m->scale, 5060);
    EXPECT_EQ(m->rawWidths[9], 2048);
    EXPECT_EQ(m->columnWidths[0], 43974u);
    EXPECT_EQ(m->totalWidth, 43974 * 10);
    EXPECT_EQ(m->rowPositions[0], (255u << 16) / 1440);
    EXPECT_EQ(m->rowPositions[29], uint32_t(30ull * (255u << 16) / 1440));
    ASSERT_EQ(g->cellTable->count, 1u);
    const ExcelCell &c = g->cellTable->cells[0];
    EXPECT_EQ(c.kind, Excel_cellOwnText);
    EXPECT_EQ(std::u16string(c.text), u"1.5");
    // Grid lines are shown: one default segment per line.
    ASSERT_EQ(g->edgeLists->rows[5].count, 1u);
    EXPECT_EQ(g->edgeLists->rows[5].segments[0].kind, 14u);
    EXPECT_EQ(g->edgeLists->rows[5].segments[0].end, 9u);
    EXPECT_EQ(g->workbook, load.workbook);
    Excel_gridLayoutFree(g);
}

TEST_F(Biff, ColumnsAndRowsPastTheUsedOnesTakeTheSheetsSizes)
{
    // Only A1 is used, yet the grid shows 10 columns and 30 rows: the
    // columns past A take the default width of 12 characters or the width
    // of a column record reaching them (the later record wins where two
    // overlap), the rows past 1 the default row height of 300 twips.
    std::string cells = rec(0x0055, u16(12)) + rec(0x0225, u16(0) + u16(300)) +
                        rec(0x007D, u16(5) + u16(255) + u16(3000) + u16(15) + u16(0) + u16(0)) +
                        rec(0x007D, u16(7) + u16(7) + u16(1000) + u16(15) + u16(0) + u16(0)) +
                        rowRec(0, 1) + number(0, 0, 1.5);
    ASSERT_EQ(openBook("", {cells}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    const SheetMetrics *m = g->metrics;
    ASSERT_EQ(m->columnCount, 10u);
    ASSERT_EQ(m->rowCount, 30u);
    const struct {
        uint32_t column;
        uint16_t raw;
    } widths[] = {{0, 3072}, {1, 3072}, {4, 3072}, {5, 3000},
                  {6, 3000}, {7, 1000}, {8, 3000}, {9, 3000}};
    for (const auto &w : widths) {
        EXPECT_EQ(m->rawWidths[w.column], w.raw) << w.column;
        EXPECT_EQ(m->columnWidths[w.column], uint32_t(5060 * w.raw / 256 + 3494)) << w.column;
    }
    for (uint32_t r : {0u, 1u, 29u})
        EXPECT_EQ(m->rowPositions[r], uint32_t((r + 1) * (300ull << 16) / 1440)) << r;
    Excel_gridLayoutFree(g);
    // Without a sheet a column is 8 characters wide.
    EXPECT_EQ(Excel_unusedColumnWidth(nullptr, 3), 2048);
}

TEST_F(Biff, GridReachesWhatTheSheetHoldsNotWhatItDeclares)
{
    // A sheet may declare every row and column, list rows of heights
    // alone, give every row a plain whole-row format or carry empty cells
    // of a plain format far out: none of that sizes the grid (or costs
    // cells past what the sheet holds). Values, fills, borders and merged
    // ranges do. XF 21 has a solid fill, XF 22 a bottom border.
    std::string fill =
        rec(0x00E0, u16(0) + u16(0) + std::string(13, '\0') + std::string(1, '\x04') + u16(0));
    std::string border =
        rec(0x00E0, u16(0) + u16(0) + std::string(6, '\0') + u16(0x1000) + std::string(8, '\0'));
    std::string claimAll = rec(0x0200, u32(0) + u32(65536) + u16(0) + u16(256) + u16(0));
    std::string heightsOnly, rowFormats;
    for (uint32_t r = 0; r < 20000; r++) {
        heightsOnly += rec(0x0208, u16(r) + u16(0) + u16(0) + u16(400) + u16(0) + u16(0) +
                                       u16(0x0140) + u16(15));
        rowFormats += rowRec(uint16_t(r), 256, 0x0180, 16);
    }
    const struct {
        const char *what;
        std::string body;
        uint32_t rows, columns;
    } cases[] = {
        {"declared whole sheet", claimAll + rowRec(0, 1) + number(0, 0, 1), 30, 10},
        {"rows of heights alone", claimAll + heightsOnly + number(1, 1, 2), 30, 10},
        {"plain whole-row formats on every row", rowFormats + number(1, 1, 2), 30, 10},
        {"a filled whole-row format", rowRec(0, 1) + number(0, 0, 1) + rowRec(40, 12, 0x0180, 21),
         41, 12},
        {"plain blanks far out",
         rowRec(0, 1) + number(0, 0, 1) + rowRec(60000, 201) + rec(0x0201, cell(60000, 200, 15)),
         30, 10},
        {"a filled blank",
         rowRec(0, 1) + number(0, 0, 1) + rowRec(40, 13) + rec(0x0201, cell(40, 12, 21)), 41, 13},
        {"a bordered blank",
         rowRec(0, 1) + number(0, 0, 1) + rowRec(50, 15) + rec(0x0201, cell(50, 14, 22)), 51, 15},
        {"plain blanks under a merged range",
         rowRec(0, 1) + number(0, 0, 1) + rowRec(35, 12) + rec(0x0201, cell(35, 11, 15)) +
             rec(0x00E5, u16(1) + u16(30) + u16(35) + u16(2) + u16(11)),
         36, 12},
        {"a value at the far corner",
         rowRec(0, 1) + number(0, 0, 1) + rowRec(65535, 256) + number(65535, 255, 3), 65536, 256},
    };
    for (const auto &c : cases) {
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        ASSERT_EQ(openBook(fill + border, {c.body}), 0) << c.what;
        SheetGrid *g = nullptr;
        ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0) << c.what;
        ASSERT_NE(g, nullptr) << c.what;
        EXPECT_EQ(g->metrics->rowCount, c.rows) << c.what;
        EXPECT_EQ(g->metrics->columnCount, c.columns) << c.what;
        EXPECT_LE(sheet()->rowCount, 30u) << c.what;
        Excel_gridLayoutFree(g);
    }
}

TEST_F(Biff, LayoutWithoutGridLinesKeepsMergedAndSharedTexts)
{
    std::string sst = rec(0x00FC, u32(1) + u32(1) + str8("wide"));
    std::string cells = rowRec(0, 3) + rec(0x00FD, cell(0, 0, 15) + u32(0)) +
                        rec(0x00E5, u16(1) + u16(0) + u16(1) + u16(0) + u16(2)) +
                        rec(0x023E, u16(0x00B4) + u16(0) + u16(0) + u32(64));
    ASSERT_EQ(openBook(sst, {cells}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->cellTable->count, 1u);
    EXPECT_EQ(g->cellTable->cells[0].kind, Excel_cellSharedText);
    EXPECT_EQ(g->cellTable->cells[0].sst, 0);
    ASSERT_EQ(g->cellTable->mergedCount, 1u);
    EXPECT_EQ(g->cellTable->merged[0].lastColumn, 2);
    EXPECT_EQ(g->cellTable->merged[0].lastRow, 1);
    // The top edge keeps its line in colour slot 1; inner lines go.
    EXPECT_EQ(g->edgeLists->rows[0].segments[0].kind, 14u);
    EXPECT_EQ(g->edgeLists->rows[0].segments[0].colour, 1);
    for (uint32_t i = 0; i < g->edgeLists->rows[3].count; i++)
        EXPECT_EQ(g->edgeLists->rows[3].segments[i].kind, 0u);
    Excel_gridLayoutFree(g);
}

TEST_F(Biff, EmptySheetHasNoLayout)
{
    ASSERT_EQ(openBook("", {""}), 0);
    SheetGrid *g = nullptr;
    EXPECT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    EXPECT_EQ(g, nullptr);
}

TEST_F(Biff, GridOutlivesTheLoad)
{
    // The grid's worksheet item keeps the workbook record after the load
    // has released its own reference.
    std::string sst = rec(0x00FC, u32(1) + u32(1) + str8("kept"));
    ASSERT_EQ(openBook(sst, {rowRec(0, 1) + rec(0x00FD, cell(0, 0, 15) + u32(0))}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    ExcelWorkbook *wb = load.workbook;
    Excel_loadFree(&load);
    EXPECT_EQ(g->workbook, wb);
    EXPECT_EQ(std::u16string(g->cellTable->cells[0].text), u"kept");
    Excel_gridLayoutFree(g);
}

std::string refTok(uint32_t row, uint32_t col)
{
    return std::string(1, '\x24') + u16(row) + u16(0xC000 | col);
}

std::string areaTok(uint32_t r0, uint32_t r1, uint32_t c0, uint32_t c1)
{
    return std::string(1, '\x25') + u16(r0) + u16(r1) + u16(0xC000 | c0) + u16(0xC000 | c1);
}

TEST_F(Biff, StructuralEditsMoveEverything)
{
    // A1, A3, a merged range over rows 1-2, and at B3 a formula reading
    // A3 and A1:A3.
    std::string tokens = refTok(2, 0) + areaTok(0, 2, 0, 0) + std::string(1, '\x03');
    std::string cells = rowRec(0, 2) + rowRec(2, 2) + number(0, 0, 1) + number(2, 0, 3) +
                        formula(2, 1, f64(4), 0, tokens) +
                        rec(0x00E5, u16(1) + u16(1) + u16(2) + u16(0) + u16(1));
    ASSERT_EQ(openBook("", {cells}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    uint32_t rows = g->metrics->rowCount;
    int32_t height = g->metrics->totalHeight;
    uint32_t rowHeight = Excel_Sheet_getRowHeight(g, 0);

    ASSERT_EQ(Excel_Sheet_insertRow(ctx, g, 1), 0);
    EXPECT_EQ(g->metrics->rowCount, rows + 1);
    EXPECT_EQ(g->metrics->totalHeight, height + int32_t(rowHeight));
    EXPECT_EQ(Excel_Sheet_getRowHeight(g, 1), rowHeight);
    EXPECT_NE(Excel_Sheet_cellAt(g, 0, 0), nullptr);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 2, 0), nullptr);
    ASSERT_NE(Excel_Sheet_cellAt(g, 3, 0), nullptr);
    EXPECT_EQ(std::u16string(Excel_Sheet_cellAt(g, 3, 0)->text), u"3");
    ASSERT_EQ(g->cellTable->mergedCount, 1u);
    EXPECT_EQ(g->cellTable->merged[0].firstRow, 2);
    EXPECT_EQ(g->cellTable->merged[0].lastRow, 3);
    uint32_t r = 1, c = 1;
    EXPECT_EQ(Excel_Sheet_findRangeAt(g, &r, &c), nullptr);
    r = 3, c = 1;
    ASSERT_NE(Excel_Sheet_findRangeAt(g, &r, &c), nullptr);
    EXPECT_EQ(r, 2u);
    EXPECT_EQ(c, 0u);
    ASSERT_NE(g->formulaCells, nullptr);
    SheetFormula *f = g->formulaCells;
    EXPECT_EQ(f->words[0], 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(f->tokens), f->length),
              refTok(3, 0) + areaTok(0, 3, 0, 0) + std::string(1, '\x03'));
    EXPECT_EQ(g->edgeLists->rows[rows + 1].count, 1u);

    // Deleting row 0: A1 goes, the rest moves up, the area's first row
    // stays and its end moves.
    ASSERT_EQ(Excel_Sheet_deleteRow(ctx, g, 0), 0);
    EXPECT_EQ(g->metrics->rowCount, rows);
    EXPECT_EQ(g->metrics->totalHeight, height);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 0, 0), nullptr);
    EXPECT_NE(Excel_Sheet_cellAt(g, 2, 0), nullptr);
    ASSERT_EQ(g->formulaCells, f);
    EXPECT_EQ(f->words[0], 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(f->tokens), f->length),
              refTok(2, 0) + areaTok(0, 2, 0, 0) + std::string(1, '\x03'));
    EXPECT_EQ(g->cellTable->merged[0].firstRow, 1);
    EXPECT_EQ(g->cellTable->merged[0].lastRow, 2);

    // Columns: A moves to B and the formula from B to C; deleting column
    // B takes the cells of A with it and narrows the merged range.
    ASSERT_EQ(Excel_Sheet_insertColumn(ctx, g, 0), 0);
    EXPECT_NE(Excel_Sheet_cellAt(g, 2, 1), nullptr);
    EXPECT_EQ(Excel_Sheet_cellAt(g, 2, 0), nullptr);
    EXPECT_EQ(f->words[1], 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(f->tokens), 5), refTok(2, 1));
    ASSERT_EQ(Excel_Sheet_deleteColumn(ctx, g, 1), 0);
    ASSERT_NE(Excel_Sheet_cellAt(g, 2, 1), nullptr); // the formula's cached value, moved in from C
    EXPECT_EQ(std::u16string(Excel_Sheet_cellAt(g, 2, 1)->text), u"4");
    EXPECT_EQ(Excel_Sheet_cellAt(g, 2, 0), nullptr);
    EXPECT_EQ(f->words[1], 1u);
    EXPECT_EQ(f->tokens[0], 0x2A);
    ASSERT_EQ(g->cellTable->mergedCount, 1u);
    EXPECT_EQ(g->cellTable->merged[0].firstColumn, 1);
    EXPECT_EQ(g->cellTable->merged[0].lastColumn, 1);

    EXPECT_EQ(Excel_Sheet_deleteRow(ctx, g, g->metrics->rowCount), 8);
    EXPECT_EQ(Excel_Sheet_insertRow(ctx, g, g->metrics->rowCount + 1), 8);
    EXPECT_EQ(Excel_Sheet_insertRow(ctx, nullptr, 0), 16);
    Excel_gridLayoutFree(g);
}

TEST_F(Biff, ShiftedReferencesPastTheEdgeBreak)
{
    struct Case {
        const char *what;
        std::string before;
        uint32_t at;
        int insert;
        int columns;
        std::string after;
    } cases[] = {
        {"row 65535 pushed off", refTok(65535, 1), 0, 1, 0,
         std::string(1, '\x2A') + u16(65535) + u16(0xC001)},
        {"column 255 pushed off", refTok(4, 255), 3, 1, 1,
         std::string(1, '\x2A') + u16(4) + u16(0xC0FF)},
        {"area start pushed off", areaTok(65535, 65535, 0, 0), 10, 1, 0,
         std::string(1, '\x2B') + areaTok(65535, 65535, 0, 0).substr(1)},
        {"area to the last row keeps its end", areaTok(5, 65535, 0, 0), 2, 1, 0,
         areaTok(6, 65535, 0, 0)},
        {"whole column stays", areaTok(0, 65535, 2, 2), 0, 1, 0, areaTok(0, 65535, 2, 2)},
        {"before the line stays", refTok(1, 1), 2, 1, 0, refTok(1, 1)},
        {"deleted row breaks", refTok(2, 0), 2, 0, 0,
         std::string(1, '\x2A') + refTok(2, 0).substr(1)},
        {"area over a deleted row shrinks", areaTok(1, 4, 0, 0), 2, 0, 0, areaTok(1, 3, 0, 0)},
        {"value-class reference", std::string(1, '\x44') + u16(65535) + u16(0), 0, 1, 0,
         std::string(1, '\x4A') + u16(65535) + u16(0)},
    };
    // The formula sits at A1 of a sheet reaching row 13 and column F; the
    // row or column is inserted or deleted through the sheet's structural
    // edits.
    for (const Case &c : cases) {
        std::string cells =
            rowRec(0, 1) + rowRec(12, 6) + formula(0, 0, f64(0), 0, c.before) + number(12, 5, 1);
        ASSERT_EQ(openBook("", {cells}), 0) << c.what;
        SheetGrid *g = nullptr;
        ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0) << c.what;
        ASSERT_NE(g, nullptr);
        int rc = c.columns ? (c.insert ? Excel_Sheet_insertColumn(ctx, g, c.at)
                                       : Excel_Sheet_deleteColumn(ctx, g, c.at))
                           : (c.insert ? Excel_Sheet_insertRow(ctx, g, c.at)
                                       : Excel_Sheet_deleteRow(ctx, g, c.at));
        EXPECT_EQ(rc, 0) << c.what;
        ASSERT_NE(g->formulaCells, nullptr) << c.what;
        const SheetFormula *f = g->formulaCells;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(f->tokens), f->length), c.after)
            << c.what;
        Excel_gridLayoutFree(g);
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
    }
}

TEST_F(Biff, NotesRegisterOverTheirCells)
{
    std::string cells =
        rowRec(0, 2) + number(0, 0, 1) + rec(0x001C, u16(0) + u16(1) + u16(0) + u16(7) + u16(0));
    ASSERT_EQ(openBook("", {cells}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    load.layoutSheet = load.sheets->sheet;
    Edr_Node *body = reinterpret_cast<Edr_Node *>(g); // only checked for null
    ASSERT_EQ(Excel_Sheet_buildGrid(&load, g, body), 0);
    ASSERT_EQ(Excel_rangeHandlerAdd(g, Excel_noteTag, 3, 4, 5, 6, nullptr, 0), 0);
    ASSERT_NE(g->taggedLists, nullptr);
    EXPECT_EQ(g->taggedLists->next, nullptr); // one list per handler
    TaggedRecord *r = g->taggedLists->first;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->words[0], 0);
    EXPECT_EQ(r->words[1], 1);
    ExcelNoteData note;
    memcpy(&note, r + 1, sizeof note);
    EXPECT_EQ(note.objectId, 7u);
    ASSERT_NE(r->next, nullptr);
    EXPECT_EQ(r->next->words[3], 6);
    EXPECT_EQ(Excel_rangeHandlerAdd(nullptr, Excel_noteTag, 0, 0, 0, 0, nullptr, 0), 8);
    // The cell entries by index.
    ASSERT_NE(Excel_cellEntryAt(g, 0), nullptr);
    EXPECT_EQ(Excel_cellEntryAt(g, 0)->column, 0u);
    EXPECT_EQ(Excel_cellEntryAt(g, 1), nullptr);
    Excel_gridLayoutFree(g);
}

TEST_F(Biff, Recognition)
{
    struct Case {
        const char *mime;
        int32_t score;
    } mimes[] = {
        {"application/vnd.ms-excel", 100}, {"Application/Excel", 100}, {"application/msword", 0}};
    for (const Case &c : mimes) {
        std::u16string m(c.mime, c.mime + strlen(c.mime));
        int32_t score = -1;
        EXPECT_EQ(Excel_matchMime(ctx, nullptr, m.c_str(), &score), 0);
        EXPECT_EQ(score, c.score) << c.mime;
    }
    struct File {
        std::string data;
        int32_t score;
    } files[] = {{compound(bof(0x0600, 5) + eof()), 100},
                 {compound(bof(0x0500, 5) + eof(), u"Book"), 100},
                 {Cfb_build({{u"WordDocument", std::string(64, '\0')}}), 0},
                 {"not a compound file", 0}};
    for (const File &f : files) {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(f.data.data()),
                                 f.data.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  0);
        int32_t score = -1;
        uint32_t type = 0;
        EXPECT_EQ(Excel_sniff(ctx, nullptr, h, &score, &type), 0);
        EXPECT_EQ(score, f.score);
        if (f.score) {
            EXPECT_EQ(type, 29u);
        }
        Vfs_close(h);
    }
}

TEST_F(Biff, ColumnWidthsSetInLayoutUnits)
{
    ASSERT_EQ(openBook("", {rowRec(0, 1) + number(0, 0, 1)}), 0);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    struct Case {
        uint32_t width;
        uint16_t raw;
        uint32_t shown;
    } cases[] = {
        {0, 0, 3494}, {5060 * 4, 1024, 5060 * 4 + 3494}, {0xFFFFFFFF, 65280, 5060 * 255 + 3494}};
    for (const Case &c : cases) {
        ASSERT_EQ(Excel_Sheet_setColumnWidth(ctx, g, 2, c.width), 0);
        EXPECT_EQ(g->metrics->rawWidths[2], c.raw) << c.width;
        EXPECT_EQ(Excel_Sheet_getColWidth(g, 2), c.shown) << c.width;
    }
    EXPECT_EQ(Excel_Sheet_setColumnWidth(ctx, g, 10, 100), 8);
    EXPECT_EQ(Excel_Sheet_setColumnWidth(ctx, nullptr, 0, 100), 16);
    // A value typed into the column is shown again for each new width.
    ExcelCellEdit *e = Excel_editNew(Excel_editNumber, 0, 2, nullptr);
    ASSERT_NE(e, nullptr);
    e->value.number = 1234567.891;
    ASSERT_EQ(Excel_Sheet_applyEdit(ctx, g, e, 0), 0);
    auto shown = [g] {
        const ExcelCell *c = Excel_Sheet_cellAt(g, 0, 2);
        return c && c->text ? std::u16string(c->text) : std::u16string();
    };
    std::u16string wide = shown();
    // 100 layout units: a raw width of 5, room for five characters.
    ASSERT_EQ(Excel_Sheet_setColumnWidth(ctx, g, 2, 100), 0);
    ASSERT_EQ(g->metrics->rawWidths[2], 5);
    EXPECT_NE(shown(), wide);
    ASSERT_EQ(Excel_Sheet_setColumnWidth(ctx, g, 2, 0xFFFFFFFF), 0);
    EXPECT_EQ(shown(), wide);
    Excel_gridLayoutFree(g);
}

} // namespace
