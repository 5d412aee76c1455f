// The formula table (tests/fixtures/spreadsheet/formulas): every formula
// of a LibreOffice workbook, as the workbook loader reads its tokens,
// evaluated against the workbook's own input cells, must give the value
// LibreOffice computed, or the failure or value the table states (with
// its reason) where the evaluator's rule differs on purpose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string fixture(const std::string &name, bool binary)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/formulas/" + name,
                     binary ? std::ios::binary : std::ios::in);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The input cells as the loader stored them (cached results of formula
// cells included).
int readLoadCell(void *data, uint32_t row, uint32_t column, Excel_FormulaCell *cell)
{
    *cell = Excel_FormulaCell{};
    const ExcelCellValue *v =
        Excel_loadCellAt(static_cast<const ExcelLoadSheet *>(data), row, column);
    if (!v)
        return 0;
    switch (v->kind) {
    case Excel_valBoolean:
        cell->type = Excel_cellBoolean;
        cell->value.boolean = v->value.boolean;
        break;
    case Excel_valInteger:
        cell->type = Excel_cellInteger;
        cell->value.integer = v->value.integer;
        break;
    case Excel_valNumber:
        cell->type = Excel_cellNumber;
        cell->value.number = v->value.number;
        break;
    case Excel_valError:
        cell->type = Excel_cellError;
        cell->value.error = v->errorCode;
        break;
    case Excel_valString:
        cell->type = Excel_cellText;
        cell->value.text = v->value.text.text;
        break;
    default: break;
    }
    return 0;
}

struct Expect {
    std::string formula;
    std::string libreOffice;
    std::string expect;
};

std::string narrow(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += *s < 0x80 ? char(*s) : '?';
    return out;
}

class FormulaTable : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest::SetUp());
        ASSERT_EQ(FuncNames_init(ctx), 0);
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        FuncNames_free(ctx);
        baseline = TestHeap_usedBytes();
        LeakCheckedContextTest::TearDown();
    }

    // Checks one evaluation against its line of the table.
    void check(uint32_t row, const Expect &e, int err, const Excel_Value &v)
    {
        SCOPED_TRACE("row " + std::to_string(row) + ": " + e.formula + " (" + e.expect + ")");
        std::string want = e.expect.substr(0, e.expect.find(" #"));
        if (want == "skip")
            return;
        if (want.rfind("error ", 0) == 0) {
            EXPECT_EQ(err, int(std::strtol(want.c_str() + 6, nullptr, 16)));
            return;
        }
        ASSERT_EQ(err, 0);
        std::string kind = "lo", value = e.libreOffice;
        if (want != "lo") {
            kind = want.substr(0, want.find(' '));
            value = want.substr(want.find(' ') + 1);
        }
        if (value == "TRUE" || value == "FALSE") {
            ASSERT_EQ(v.kind, uint32_t(Excel_kindBoolean));
            EXPECT_EQ(v.u.b, value == "TRUE" ? 1u : 0u);
            return;
        }
        char *end = nullptr;
        double d = std::strtod(value.c_str(), &end);
        if (end != value.c_str() && (*end == 0 || (*end == '%' && end[1] == 0))) {
            if (*end == '%')
                d /= 100;
            ASSERT_TRUE(v.kind == Excel_kindNumber || v.kind == Excel_kindInteger)
                << "kind " << v.kind;
            double got = Excel_Func_argToDouble(&v);
            EXPECT_LE(std::fabs(got - d), 1e-9 * std::max(1.0, std::fabs(d)))
                << got << " against " << d;
            return;
        }
        ASSERT_EQ(v.kind, uint32_t(Excel_kindText));
        EXPECT_EQ(narrow(v.u.text), value);
    }
};

TEST_F(FormulaTable, EveryFormulaGivesItsValue)
{
    std::map<uint32_t, Expect> table;
    std::istringstream lines(fixture("formulas.expect", false));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream f(line);
        std::string row;
        Expect e;
        std::getline(f, row, '\t');
        std::getline(f, e.formula, '\t');
        std::getline(f, e.libreOffice, '\t');
        std::getline(f, e.expect);
        table[uint32_t(std::stoul(row))] = e;
    }
    ASSERT_GT(table.size(), 90u);

    std::string file = fixture("formulas.xls", true);
    ASSERT_FALSE(file.empty());
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
    ASSERT_NE(copy, nullptr);
    memcpy(copy, file.data(), file.size());
    uint32_t accepted = 0;
    ASSERT_EQ(
        Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs, &accepted),
        0);
    ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
    load.context = ctx;
    ASSERT_EQ(Excel_readWorkbookStream(&load, ole), 0);
    ASSERT_NE(load.sheets, nullptr);
    ExcelLoadSheet *sheet = load.sheets->sheet;
    ASSERT_NE(sheet, nullptr);

    uint32_t evaluated = 0;
    for (ExcelLoadFormula *f = sheet->formulas; f; f = f->next) {
        if (f->column != 4)
            continue;
        auto it = table.find(f->row);
        ASSERT_NE(it, table.end()) << "row " << f->row;
        Excel_FormulaContext fc;
        Excel_Formula_evalInit(ctx, &fc, f->tokens, f->length, nullptr);
        fc.readCell = readLoadCell;
        fc.readData = sheet;
        Excel_Value v{};
        int err = Excel_Formula_eval(&fc, &v);
        check(f->row, it->second, err, v);
        if (v.kind == Excel_kindText)
            Mem_free(v.u.text);
        if (it->second.formula.rfind("SIN(", 0) == 0) {
            EXPECT_EQ(fc.unsupported, 1u);
        }
        evaluated++;
    }
    EXPECT_EQ(evaluated, table.size()) << "every formula of the table was read";
}

} // namespace
