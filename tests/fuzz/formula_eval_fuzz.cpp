// Fuzz target for the formula evaluator: the input is a BIFF8 token string,
// evaluated against a small sheet of numbers, texts, a truth value and an
// error cell, and ordered for recalculation together with formulas of the
// sheet that refer to each other through it. Every run must end with a
// code, a text result must be a string the caller owns, and nothing may
// leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "spreadsheet/formula/funcnames.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/ptg.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// The sheet: A1:A4 numbers and texts, B1 TRUE, B2 #DIV/0!, C1:C3 integers.
int readCell(void *, uint32_t row, uint32_t column, Excel_FormulaCell *cell)
{
    *cell = Excel_FormulaCell{};
    if (column == 0 && row < 4) {
        if (row == 2) {
            cell->type = Excel_cellText;
            cell->value.text = u"abc";
        } else {
            cell->type = Excel_cellNumber;
            cell->value.number = 1.5 * (row + 1);
            cell->format = 14;
        }
    } else if (column == 1 && row == 0) {
        cell->type = Excel_cellBoolean;
        cell->value.boolean = 1;
    } else if (column == 1 && row == 1) {
        cell->type = Excel_cellError;
        cell->value.error = 7;
    } else if (column == 2 && row < 3) {
        cell->type = Excel_cellInteger;
        cell->value.integer = int32_t(row) - 1;
    }
    return 0;
}

// Whole-sheet areas cost millions of cell reads; the target keeps to
// areas of a bounded size so that each run stays quick.
bool areasSmall(const uint8_t *data, size_t size)
{
    size_t pos = 0;
    uint8_t id;
    while (Excel_Ptg_nextRef(data, size, &pos, &id) == 0 && id != 0) {
        if (id == Excel_ptgArea || id == Excel_ptgAreaN) {
            uint32_t r0 = uint32_t(data[pos + 1] | data[pos + 2] << 8),
                     r1 = uint32_t(data[pos + 3] | data[pos + 4] << 8);
            uint32_t rows = (r0 > r1 ? r0 - r1 : r1 - r0) + 1;
            uint32_t columns = uint32_t(abs(int(data[pos + 5]) - int(data[pos + 7]))) + 1;
            if (uint64_t(rows) * columns > 20000)
                return false;
        }
        pos += Excel_Ptg_size[id];
    }
    return true;
}

void fuzzEvaluate(EngineContext *ctx, const uint8_t *data, size_t size)
{
    Excel_FormulaContext fc;
    Excel_Formula_evalInit(ctx, &fc, data, size, nullptr);
    fc.readCell = readCell;
    Excel_Value v{};
    int err = Excel_Formula_eval(&fc, &v);
    require(err == 0 || err == Res_noMemory || (err >= 0x6600 && err <= 0x6606));
    require(fc.funcCount <= Excel_maxRecordedFuncs);
    if (err != 0)
        require(v.kind == Excel_kindEmpty);
    require(v.kind <= Excel_kindGuess);
    if (v.kind == Excel_kindText) {
        require(v.u.text != nullptr);
        (void)Ustr_len(v.u.text);
        Mem_free(v.u.text);
    }
}

// The input as the formula of A4 beside two formulas that read it.
void fuzzOrder(const uint8_t *data, size_t size)
{
    static const uint8_t readA4[] = {0x24, 3, 0, 0, 0xC0, 0x1E, 1, 0, 0x03};
    static const uint8_t sumA[] = {0x25, 0, 0, 5, 0, 0, 0xC0, 0, 0xC0, 0x19, 0x10, 0, 0};
    Excel_RecalcCell cells[] = {
        {5, 1, readA4, sizeof readA4}, {3, 0, data, size}, {9, 9, sumA, sizeof sumA}};
    uint32_t *order = nullptr;
    int err = Excel_Formula_recalcOrder(cells, 3, &order);
    require(err == 0 || err == Res_formulaCircular || err == Res_noMemory);
    if (err == 0) {
        bool seen[3] = {};
        for (int i = 0; i < 3; i++) {
            require(order[i] < 3 && !seen[order[i]]);
            seen[order[i]] = true;
        }
    } else {
        require(order == nullptr);
    }
    Mem_free(order);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096 || !areasSmall(data, size))
        return 0;
    TestHeap &heap = FuzzHeap_get(16 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    require(FuncNames_init(ctx) == 0);
    size_t baseline = TestHeap_usedBytes();
    fuzzEvaluate(ctx, data, size);
    fuzzOrder(data, size);
    require(TestHeap_usedBytes() == baseline);
    FuncNames_free(ctx);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
