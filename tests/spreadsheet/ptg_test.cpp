// Formula tokens: sizes and class folding, variable tokens, the reference
// scanner over the token strings of python3-xlwt files
// (tests/fixtures/spreadsheet/formulas.txt) and over damaged strings, the
// area iterator, 3-D references, the writer's reference tables, reference
// arrays and the BIFF5 chart record conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/result.h"
#include "core/text/ustr.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/workbook.h"
#include "tests/support/heap_fixture.h"

namespace {

class Ptg : public LeakCheckedHeapTest<(4u << 20)> {};

std::vector<uint8_t> hexBytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The references nextRef finds, as "ref R C" and "area R1 C1 R2 C2";
// "error" at a refusal.
std::vector<std::string> scan(const std::vector<uint8_t> &t)
{
    std::vector<std::string> refs;
    size_t pos = 0;
    for (;;) {
        uint8_t id = 0;
        int rc = Excel_Ptg_nextRef(t.data(), t.size(), &pos, &id);
        if (rc != Res_ok) {
            refs.push_back("error");
            return refs;
        }
        if (pos >= t.size())
            return refs;
        const uint8_t *op = t.data() + pos + 1;
        auto u16 = [](const uint8_t *p) { return unsigned(p[0] | p[1] << 8); };
        if (id == Excel_ptgRef || id == Excel_ptgRefN) {
            refs.push_back("ref " + std::to_string(u16(op)) + " " + std::to_string(op[2]));
            pos += 5;
        } else {
            refs.push_back("area " + std::to_string(u16(op)) + " " + std::to_string(op[4]) + " " +
                           std::to_string(u16(op + 2)) + " " + std::to_string(op[6]));
            pos += 9;
        }
    }
}

TEST_F(Ptg, SizesAndFolding)
{
    const uint8_t expected[64] = {1, 5, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1,  1, 1,  1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  2, 2,  3, 9,
                                  8, 3, 4, 5, 5, 9, 7, 7, 7, 3, 5, 9,  5, 9,  3, 3,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 7, 7, 11, 7, 11, 1, 1};
    for (int id = 0; id < 64; id++)
        EXPECT_EQ(Excel_Ptg_size[id], expected[id]) << std::hex << id;
    EXPECT_EQ(Excel_Ptg_fold(0x44), 0x24);
    EXPECT_EQ(Excel_Ptg_fold(0x64), 0x24);
    EXPECT_EQ(Excel_Ptg_fold(0x3B), 0x3B);
    EXPECT_EQ(Excel_Ptg_fold(0x7F), 0x3F);
    EXPECT_EQ(Excel_Ptg_fold(0x80), -1);
    EXPECT_EQ(Excel_Ptg_fold(0xFF), -1);
    // Every fixed id, in each class, takes its table size.
    for (uint32_t id = 0; id < 0x80; id++) {
        int32_t f = Excel_Ptg_fold(id);
        if (f == Excel_ptgStr || f == Excel_ptgExtended || f == Excel_ptgAttr)
            continue;
        std::vector<uint8_t> t(16, 0);
        t[0] = static_cast<uint8_t>(id);
        size_t size = 0;
        ASSERT_EQ(Excel_Ptg_tokenSize(t.data(), t.size(), 0, &size), 0) << id;
        EXPECT_EQ(size, expected[f]) << id;
        // One byte short: refused.
        EXPECT_EQ(Excel_Ptg_tokenSize(t.data(), expected[f] - 1, 0, &size), Res_formulaBadToken)
            << id;
    }
    uint8_t bad[] = {0x80, 0, 0, 0};
    size_t size = 7;
    EXPECT_EQ(Excel_Ptg_tokenSize(bad, sizeof bad, 0, &size), Res_formulaBadToken);
    EXPECT_EQ(size, 0u);
}

TEST_F(Ptg, VariableTokens)
{
    const struct {
        std::vector<uint8_t> token;
        size_t size; // 0: refused
    } cases[] = {
        {{0x17, 3, 1, 'a', 0, 'b', 0, 'c', 0}, 9},
        {{0x17, 3, 0, 'a', 'b', 'c'}, 6},
        {{0x17, 3, 1, 'a', 0, 'b', 0, 'c'}, 0}, // one byte short
        {{0x17, 0, 0}, 3},
        {{0x17, 2}, 0},
        {{0x19, 0x04, 2, 0, 6, 0, 10, 0, 14, 0}, 10}, // choose with count 2
        {{0x19, 0x04, 2, 0, 6, 0, 10, 0, 14}, 0},
        {{0x19, 0x04, 0xFF, 0xFF}, 0}, // a count far past the end
        {{0x19, 0x02, 7, 0}, 4},
        {{0x19, 0x41, 0, 0}, 4},
        {{0x19, 0x03, 0, 0}, 0}, // attribute not accepted
        {{0x19, 0x10, 0}, 0},
        {{0x18, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16},
        {{0x18, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{0x18, 1, 0, 0, 0, 0, 0}, 7},
        {{0x18}, 0},
    };
    for (const auto &c : cases) {
        size_t size = 0;
        int rc = Excel_Ptg_tokenSize(c.token.data(), c.token.size(), 0, &size);
        if (c.size) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(size, c.size);
        } else {
            EXPECT_EQ(rc, Res_formulaBadToken) << int(c.token[0]) << " " << c.token.size();
        }
    }
}

TEST_F(Ptg, ReferencesOfXlwtFormulas)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/formulas.txt");
    ASSERT_TRUE(in.good());
    int lines = 0;
    for (std::string line; std::getline(in, line); lines++) {
        std::vector<std::string> fields;
        std::stringstream ss(line);
        for (std::string f; std::getline(ss, f, '\t');)
            fields.push_back(f);
        std::vector<uint8_t> tokens = hexBytes(fields[0]);
        std::vector<std::string> want(fields.begin() + 1, fields.end());
        EXPECT_EQ(scan(tokens), want) << line;
        // Every cut of the string: refused or a prefix of the answer, and
        // nothing read past the cut (the sanitizer build checks).
        for (size_t cut = 0; cut < tokens.size(); cut++) {
            std::vector<uint8_t> part(tokens.begin(), tokens.begin() + long(cut));
            std::vector<std::string> got = scan(part);
            if (!got.empty() && got.back() == "error")
                got.pop_back();
            ASSERT_LE(got.size(), want.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << line << " cut " << cut;
        }
    }
    EXPECT_EQ(lines, 10);
    // A choose and a string before a reference are skipped by their sizes.
    std::vector<uint8_t> t = {0x19, 0x04, 1, 0,   4, 0,    8, 0, 0x17, 2,
                              1,    'x',  0, 'y', 0, 0x44, 3, 0, 2,    0xC0};
    EXPECT_EQ(scan(t), std::vector<std::string>{"ref 3 2"});
    t[0] = 0x80;
    EXPECT_EQ(scan(t), std::vector<std::string>{"error"});
}

TEST_F(Ptg, AreaIterator)
{
    auto walk = [](uint16_t r1, uint16_t r2, uint8_t c1, uint8_t c2, int keep, size_t *endPos) {
        uint8_t t[9] = {
            0x25, uint8_t(r1), uint8_t(r1 >> 8), uint8_t(r2), uint8_t(r2 >> 8), c1, 0xC0, c2, 0xC0};
        Excel_AreaIter it;
        Excel_RefCell cell;
        size_t pos = 0;
        std::string cells;
        Excel_AreaIter_begin(&it, t, &pos, keep, &cell);
        for (int guard = 0;; guard++) {
            cells += "(" + std::to_string(cell.row) + "," + std::to_string(cell.column) + ")";
            if (!it.more || guard > 100)
                break;
            Excel_AreaIter_next(&it, &cell, &pos, keep);
        }
        *endPos = pos;
        return cells;
    };
    size_t pos;
    EXPECT_EQ(walk(1, 2, 3, 4, 0, &pos), "(1,3)(1,4)(2,3)(2,4)");
    EXPECT_EQ(pos, 9u);
    EXPECT_EQ(walk(2, 1, 3, 4, 0, &pos),
              "(2,3)(2,4)(1,3)(1,4)"); // first cell below the last: backwards
    EXPECT_EQ(walk(1, 1, 4, 2, 0, &pos), "(1,4)(1,3)(1,2)");
    EXPECT_EQ(walk(5, 5, 7, 7, 0, &pos), "(5,7)");
    EXPECT_EQ(pos, 9u);
    EXPECT_EQ(walk(5, 5, 7, 7, 1, &pos), "(5,7)");
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(walk(0, 2, 0, 0, 1, &pos), "(0,0)(1,0)(2,0)");
    EXPECT_EQ(pos, 0u);
}

TEST_F(Ptg, ThreeDReferences)
{
    const uint8_t ref[] = {0x3A, 2, 0, 9, 0, 0x05, 0xC0};
    Excel_Ref3d r;
    ASSERT_EQ(Excel_Ref3d_read(ref, sizeof ref, &r), 0);
    EXPECT_EQ(r.id, 0x3A);
    EXPECT_EQ(r.ixti, 2);
    EXPECT_EQ(r.firstRow, 9);
    EXPECT_EQ(r.firstColumn, 5); // column word 0xC005
    EXPECT_EQ(r.firstColumnRelative, 1);
    EXPECT_EQ(r.firstRowRelative, 1);
    uint8_t out[11];
    size_t written = 0;
    ASSERT_EQ(Excel_Ref3d_write(&r, out, &written), 0);
    ASSERT_EQ(written, 7u);
    EXPECT_EQ(memcmp(out, ref, 7), 0);
    EXPECT_EQ(Excel_Ref3d_read(ref, 6, &r), Res_formulaBadToken);
    const uint8_t area[] = {0x7B, 1, 0, 1, 0, 4, 0, 0x02, 0x40, 0x03, 0x80};
    ASSERT_EQ(Excel_Ref3d_read(area, sizeof area, &r), 0);
    EXPECT_EQ(r.id, 0x3B);
    EXPECT_EQ(r.lastRow, 4);
    EXPECT_EQ(r.firstColumnRelative, 1);
    EXPECT_EQ(r.firstRowRelative, 0);
    EXPECT_EQ(r.lastColumnRelative, 0);
    EXPECT_EQ(r.lastRowRelative, 1);
    ASSERT_EQ(Excel_Ref3d_write(&r, out, &written), 0);
    EXPECT_EQ(written, 11u);
    EXPECT_EQ(out[0], 0x3B);
    EXPECT_EQ(memcmp(out + 1, area + 1, 10), 0);
    const uint8_t other[] = {0x24, 0, 0, 0, 0};
    ASSERT_EQ(Excel_Ref3d_read(other, sizeof other, &r), 0);
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(Excel_Ref3d_write(&r, out, &written), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Excel_Ref3d_read(ref, 7, nullptr), Res_nullInput);
    EXPECT_EQ(Excel_Ref3d_write(nullptr, out, &written), Res_missingArgument);
}

TEST_F(Ptg, Biff5ConversionAndTables)
{
    Excel_RefTables tables{};
    Excel_SheetMapEntry pairs[] = {{1, 3}};
    Excel_SheetMap map{pairs, 1};
    // External sheet (ixals -2: external index 1, supporting book 3),
    // sheets 4 to 5, row word 0xC00A (row 10, both relative), column 7.
    uint8_t t5[18] = {0x3A, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 5, 0, 0x0A, 0xC0, 7};
    size_t len = sizeof t5;
    ASSERT_EQ(Excel_Ref3d_fromBiff5(t5, &len, &map, &tables), 0);
    ASSERT_EQ(len, 7u);
    ASSERT_EQ(tables.externSheetCount, 1u);
    EXPECT_EQ(tables.externSheets[0].supbook, 3);
    EXPECT_EQ(tables.externSheets[0].firstSheet, 4u);
    EXPECT_EQ(tables.externSheets[0].lastSheet, 5u);
    const uint8_t want[7] = {0x3A, 0, 0, 10, 0, 7, 0xC0};
    EXPECT_EQ(memcmp(t5, want, 7), 0);
    // An internal area (ixals 1: unmapped index 0, supporting book 0).
    uint8_t a5[21] = {0x3B, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 9, 0, 1, 0x80, 3, 0x40, 2, 4};
    len = sizeof a5;
    ASSERT_EQ(Excel_Ref3d_fromBiff5(a5, &len, &map, &tables), 0);
    ASSERT_EQ(len, 11u);
    EXPECT_EQ(a5[1], 1); // a second EXTERNSHEET entry
    EXPECT_EQ(tables.externSheets[1].supbook, 0);
    EXPECT_EQ(tables.externSheets[1].firstSheet, 0u);
    const uint8_t areaWant[11] = {0x3B, 1, 0, 1, 0, 3, 0, 2, 0x80, 4, 0x40};
    EXPECT_EQ(memcmp(a5, areaWant, 11), 0);
    len = 17;
    EXPECT_EQ(Excel_Ref3d_fromBiff5(t5, &len, &map, &tables), Res_formulaBadToken);
    uint32_t index = 9;
    ASSERT_EQ(Excel_ExternSheet_find(&tables, 3, 4, 5, &index), 0);
    EXPECT_EQ(index, 0u);
    ASSERT_EQ(Excel_ExternSheet_find(&tables, 3, 4, 6, &index), 0);
    EXPECT_EQ(index, 2u);

    ExcelWorkbook *wb = nullptr;
    ASSERT_EQ(Excel_workbookCreate(&wb), 0);
    int s1 = 0, s2 = 0, c = 0;
    ExcelBookItem *item;
    ASSERT_EQ(Excel_bookAddSheet(wb, reinterpret_cast<ExcelSheet *>(&s1), u"Main", &item), 0);
    ASSERT_EQ(Excel_bookAddChart(wb, reinterpret_cast<XlsChart *>(&c), u"Chart1", 1, &item), 0);
    ASSERT_EQ(Excel_bookAddChart(wb, reinterpret_cast<XlsChart *>(&c), u"Embedded", 0, &item), 0);
    ASSERT_EQ(Excel_bookAddSheet(wb, reinterpret_cast<ExcelSheet *>(&s2), u"Data", &item), 0);
    tables.workbook = wb;
    ASSERT_EQ(Excel_SupBook_external(&tables, "a.xls", &index), 0);
    EXPECT_EQ(index, 0u);
    ASSERT_EQ(Excel_SupBook_self(&tables, &index), 0);
    EXPECT_EQ(index, 1u);
    ASSERT_EQ(Excel_SupBook_self(&tables, &index), 0);
    EXPECT_EQ(index, 1u);
    ASSERT_EQ(Excel_SupBook_external(&tables, "a.xls", &index), 0);
    EXPECT_EQ(index, 0u);
    ASSERT_EQ(Excel_SupBook_external(&tables, "A.xls", &index), 0);
    EXPECT_EQ(index, 2u);
    Excel_SupBook *self = tables.supBooks->next;
    ASSERT_EQ(self->sheetCount, 3u); // kinds 0 and 2, in workbook order
    EXPECT_STREQ(self->sheetNames[0], "Main");
    EXPECT_STREQ(self->sheetNames[1], "Embedded");
    EXPECT_STREQ(self->sheetNames[2], "Data");
    Excel_RefTables_free(&tables);
    Excel_workbookRelease(wb);
    Excel_sheetDetach(wb, reinterpret_cast<ExcelSheet *>(&s1));
    Excel_chartDetach(wb, reinterpret_cast<XlsChart *>(&c));
    Excel_chartDetach(wb, reinterpret_cast<XlsChart *>(&c));
    Excel_sheetDetach(wb, reinterpret_cast<ExcelSheet *>(&s2));
}

TEST_F(Ptg, ReferenceArrays)
{
    Excel_RefArray *a = Excel_RefArray_create(4);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Excel_RefArray_setCell(u"Data", 5, 2, a, 0), 0);
    ASSERT_EQ(Excel_RefArray_setNumber(2.5, a, 1), 0);
    ASSERT_EQ(Excel_RefArray_setText(u"label", a, 2), 0);
    ASSERT_EQ(Excel_RefArray_setError(a, 3), 0);
    EXPECT_EQ(Excel_RefArray_setError(a, 4), Res_nullInput);
    EXPECT_EQ(Excel_RefArray_setNumber(1, nullptr, 0), Res_missingArgument);
    EXPECT_EQ(Excel_RefArray_count(a), 4u);
    EXPECT_EQ(Excel_RefArray_numberAt(a, 1, nullptr), 2.5);
    EXPECT_EQ(Excel_RefArray_numberAt(a, 0, nullptr), 0.0);
    EXPECT_EQ(Excel_RefArray_numberAt(a, 2, nullptr), 0.0);
    char16_t *s = Excel_RefArray_textAt(a, 2, nullptr);
    EXPECT_EQ(std::u16string(s), u"label");
    Mem_free(s);
    s = Excel_RefArray_textAt(a, 3, nullptr);
    EXPECT_EQ(std::u16string(s), u"#REF");
    Mem_free(s);
    EXPECT_EQ(Excel_RefArray_textAt(a, 1, nullptr), nullptr);
    // Replacing an item frees its payload (the leak check sees it).
    ASSERT_EQ(Excel_RefArray_setText(u"other", a, 0), 0);
    ASSERT_EQ(Excel_RefArray_setCell(u"Data", 5, 2, a, 0), 0);
    ASSERT_EQ(Excel_RefArray_setCell(u"Other", 1, 1, a, 2), 0);

    // Rows inserted and deleted on Data move or kill its cells only.
    int alive = 0;
    ASSERT_EQ(Excel_RefArray_adjust(a, Excel_insertRows, u"Data", 3, 2, &alive), 0);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(a->items[0].u.ref.cell->row, 7u);
    EXPECT_EQ(a->items[2].u.ref.cell->row, 1u);
    ASSERT_EQ(Excel_RefArray_adjust(a, Excel_deleteColumns, u"Data", 1, 1, &alive), 0);
    EXPECT_EQ(a->items[0].u.ref.cell->column, 1u);
    ASSERT_EQ(Excel_RefArray_adjust(a, Excel_deleteRows, u"Data", 7, 1, &alive), 0);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(a->items[0].kind, uint32_t(Excel_itemError));
    EXPECT_EQ(a->items[2].kind, uint32_t(Excel_itemCell));

    struct Seen {
        std::string cells;
    } seen;
    auto record = [](void *data, const char16_t *sheet, const Excel_RefCell *cell) {
        static_cast<Seen *>(data)->cells += std::to_string(Ustr_len(sheet)) + ":" +
                                            std::to_string(cell->row) + "," +
                                            std::to_string(cell->column) + " ";
    };
    ASSERT_EQ(Excel_RefArray_forEachCell(a, record, &seen), 0);
    EXPECT_EQ(seen.cells, "5:1,1 "); // the first cell item only

    // An area: rows x columns, cells rows first within a column.
    ASSERT_EQ(Excel_RefArray_setArea(u"Data", 2, 1, 4, 2, a), 0);
    EXPECT_EQ(Excel_RefArray_count(a), 6u);
    Excel_RefCell c = Excel_RefArray_areaCell(a, 4);
    EXPECT_EQ(c.row, 3u);
    EXPECT_EQ(c.column, 2u);
    EXPECT_EQ(Excel_RefArray_setNumber(1, a, 0), Res_nullInput);
    seen.cells.clear();
    ASSERT_EQ(Excel_RefArray_forEachCell(a, record, &seen), 0);
    EXPECT_EQ(seen.cells, "4:2,1 4:2,2 4:3,1 4:3,2 4:4,1 4:4,2 ");
    ASSERT_EQ(Excel_RefArray_adjust(a, Excel_deleteRows, u"Data", 3, 1, &alive), 0);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(a->last.row, 3u);
    ASSERT_EQ(Excel_RefArray_adjust(a, Excel_deleteColumns, u"Data", 0, 5, &alive), 0);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(a->kind, uint32_t(Excel_refList));
    ASSERT_EQ(a->count, 1u);
    EXPECT_EQ(a->items[0].kind, uint32_t(Excel_itemError));
    Excel_RefArray_free(a);

    uint32_t *list = nullptr;
    uint16_t count = 0;
    EXPECT_EQ(Excel_U32List_append(&list, &count, 7), 0);
    EXPECT_EQ(Excel_U32List_append(&list, &count, 0), 0);
    EXPECT_EQ(Excel_U32List_append(&list, &count, 9), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(list[1], 9u);
    Mem_free(list);
    list = nullptr;
    count = 3;
    EXPECT_EQ(Excel_U32List_append(&list, &count, 1), Res_nullInput);
}

TEST_F(Ptg, ChartRecordConversion)
{
    ExcelPalette p;
    Excel_Palette_setDefault(&p);
    Excel_RefTables tables{};
    uint8_t body[64] = {};
    size_t len;

    body[0] = 255; // LINEFORMAT: red
    len = 10;
    ASSERT_EQ(Excel_Chart_convertRecord(0x1007, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 12u);
    EXPECT_EQ(body[10], 10);
    len = 12;
    EXPECT_EQ(Excel_Chart_convertRecord(0x1007, body, &len, sizeof body, &p, nullptr, &tables),
              Res_unexpectedKind);

    memset(body, 0, sizeof body);
    body[2] = 255; // MARKERFORMAT: blue foreground, white background
    body[4] = body[5] = body[6] = 255;
    len = 12;
    ASSERT_EQ(Excel_Chart_convertRecord(0x1009, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 20u);
    EXPECT_EQ(body[12], 12);
    EXPECT_EQ(body[14], 9);
    len = 12;
    ASSERT_EQ(Excel_Chart_convertRecord(0x100A, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 16u);
    len = 26;
    ASSERT_EQ(Excel_Chart_convertRecord(0x101E, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 30u);
    len = 26;
    ASSERT_EQ(Excel_Chart_convertRecord(0x1025, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 32u);
    len = 26;
    EXPECT_EQ(Excel_Chart_convertRecord(0x1025, body, &len, 30, &p, nullptr, &tables),
              Res_nullInput);
    len = 0;
    ASSERT_EQ(Excel_Chart_convertRecord(0x101B, body, &len, sizeof body, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(body[0], 100);
    EXPECT_EQ(body[2], 1);

    uint8_t text[] = {0, 0, 3, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0};
    len = 6;
    ASSERT_EQ(Excel_Chart_convertRecord(0x100D, text, &len, sizeof text, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 10u);
    const uint8_t wideText[] = {0, 0, 3, 1, 'a', 0, 'b', 0, 'c', 0};
    EXPECT_EQ(memcmp(text, wideText, 10), 0);
    uint8_t header[8] = {3, 'x', 'y', 'z'};
    len = 4;
    ASSERT_EQ(Excel_Chart_convertRecord(0x0014, header, &len, sizeof header, &p, nullptr, &tables),
              0);
    EXPECT_EQ(len, 6u);
    const uint8_t wideHeader[] = {3, 0, 0, 'x', 'y', 'z'};
    EXPECT_EQ(memcmp(header, wideHeader, 6), 0);
    len = 3;
    header[0] = 9;
    EXPECT_EQ(Excel_Chart_convertRecord(0x0015, header, &len, sizeof header, &p, nullptr, &tables),
              Res_unexpectedKind);

    // AI: an 18-byte BIFF5 reference then a trailing byte in the formula,
    // and two bytes after it.
    uint8_t ai[40] = {1, 2, 0, 0, 0, 0, 19, 0, 0x3A, 1, 0, 0,    0,    0,   0,
                      0, 0, 0, 0, 0, 0, 0,  0, 3,    0, 4, 0x16, 0xAA, 0xBB};
    len = 29;
    ASSERT_EQ(Excel_Chart_convertRecord(0x1051, ai, &len, sizeof ai, &p, nullptr, &tables), 0);
    EXPECT_EQ(len, 18u);
    EXPECT_EQ(ai[6], 8); // the formula: 7-byte reference and ptgMissArg
    const uint8_t aiWant[] = {0x3A, 0, 0, 3, 0, 4, 0, 0x16, 0xAA, 0xBB};
    EXPECT_EQ(memcmp(ai + 8, aiWant, sizeof aiWant), 0);
    Excel_RefTables_free(&tables);
}

} // namespace
