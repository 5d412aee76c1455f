// Memory of an open workbook's sheet stores, with the values of their
// loaded cells, on the large benchmark workbook (20 sheets of 5000 rows x
// 10 columns of texts, dates, numbers, percentages and formulas): make it
// once with `bench/office_load --make-xls FILE.xls` and name it in
// VEXLAN_LARGE_XLS.
//
// OpenGrids reads the workbook stream and lays every sheet out as the
// loader does, on an engine heap of its own, and reports:
//   - peak_MiB: heap in use with the load-time store and every grid alive
//     (the loader's high-water mark before the pages are built);
//   - grids_MiB: heap in use once the load-time store is gone (the open
//     workbook's cells);
//   - values_MiB and values: the loaded-value tables of all sheets (12
//     bytes a value) and their entry count; cells: the cell entries.
// Goal: the values add a small share to the grids (they are 12 bytes
// beside a cell entry and its display text), and the open workbook stays
// well inside the host's default 64 MiB heap.
//
// SumLoadedColumn evaluates =SUM(D1:D5000) on every sheet: 100,000 loaded
// numbers looked up in the value tables per iteration.
//
// EditRecalculates types a number into one cell of the first sheet twice
// and reports how long each edit took with the recalculation of the
// sheet's 15,000 formulas over loaded values (first_ms, second_ms), and
// the heap the results' pending edits took (edits_MiB).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "spreadsheet/edit/celledit.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/support/test_engine.h"

namespace {

constexpr size_t heapBytes = size_t(1) << 30;

std::string largeWorkbook()
{
    const char *path = getenv("VEXLAN_LARGE_XLS");
    if (!path || !*path)
        return {};
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

double mib(size_t bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

size_t used()
{
    MemStats s{};
    return Mem_getStats(&s) == 0 ? s.usedBytes : 0;
}

// An engine heap with a bare context, and the workbook opened on it.
struct Open {
    TestHeap heap{};
    EngineContext *ctx = nullptr;
    VfsHandle *vfs = nullptr;
    OleHandle *ole = nullptr;
    ExcelLoad load{};
    std::vector<SheetGrid *> grids;

    bool start(const std::string &file)
    {
        if (!TestHeap_open(&heap, heapBytes, 0))
            return false;
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        if (!ctx)
            return false;
        ctx->instance = heap.instance;
        heap.instance->context = ctx;
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        if (!copy)
            return false;
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        if (Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                           &accepted) != 0 ||
            Ole_openStream(vfs, &ole) != 0)
            return false;
        load.context = ctx;
        if (Excel_readWorkbookStream(&load, ole) != 0)
            return false;
        for (ExcelSheetEntry *e = load.sheets; e; e = e->next) {
            SheetGrid *g = nullptr;
            if (e->sheet && Excel_sheetLayout(&load, e, &g) != 0)
                return false;
            if (g)
                grids.push_back(g);
        }
        return true;
    }

    // Frees the load-time store; the grids keep the workbook record.
    void dropLoad()
    {
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
    }

    void stop()
    {
        for (SheetGrid *g : grids)
            Excel_gridLayoutFree(g);
        grids.clear();
        dropLoad();
        if (ctx) {
            heap.instance->context = nullptr;
            Mem_free(ctx);
            ctx = nullptr;
        }
        TestHeap_close(&heap);
    }
};

void OpenGrids(benchmark::State &state)
{
    std::string file = largeWorkbook();
    if (file.empty()) {
        state.SkipWithError(
            "VEXLAN_LARGE_XLS names no workbook (bench/office_load --make-xls FILE.xls)");
        return;
    }
    size_t peak = 0, grids = 0, values = 0, entries = 0, cells = 0;
    for (auto _ : state) {
        Open o;
        if (!o.start(file)) {
            o.stop();
            state.SkipWithError("the workbook did not open");
            return;
        }
        peak = used();
        o.dropLoad();
        grids = used();
        values = entries = cells = 0;
        for (SheetGrid *g : o.grids) {
            values += size_t(g->values.capacity) * (sizeof(uint32_t) + sizeof(double));
            entries += g->values.count;
            cells += g->cellTable ? g->cellTable->count : 0;
        }
        o.stop();
    }
    state.counters["peak_MiB"] = mib(peak);
    state.counters["grids_MiB"] = mib(grids);
    state.counters["values_MiB"] = mib(values);
    state.counters["values"] = double(entries);
    state.counters["cells"] = double(cells);
}
BENCHMARK(OpenGrids)->Unit(benchmark::kMillisecond)->Iterations(1);

void SumLoadedColumn(benchmark::State &state)
{
    std::string file = largeWorkbook();
    if (file.empty()) {
        state.SkipWithError(
            "VEXLAN_LARGE_XLS names no workbook (bench/office_load --make-xls FILE.xls)");
        return;
    }
    Open o;
    if (!o.start(file)) {
        o.stop();
        state.SkipWithError("the workbook did not open");
        return;
    }
    o.dropLoad();
    // SUM(D1:D5000): ptgArea rows 0-4999, column 3 (relative), then
    // ptgFuncVar with one argument, function 4.
    const uint8_t tokens[] = {0x25, 0x00, 0x00, 0x87, 0x13, 0x03, 0xC0,
                              0x03, 0xC0, 0x22, 0x01, 0x04, 0x00};
    double total = 0;
    for (auto _ : state) {
        total = 0;
        for (SheetGrid *g : o.grids) {
            Excel_FormulaContext ec;
            Excel_Formula_evalInit(o.ctx, &ec, tokens, sizeof tokens, g);
            Excel_Value v{};
            if (Excel_Formula_eval(&ec, &v) == 0 && v.kind == Excel_kindNumber)
                total += v.u.d;
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["sum"] = total;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(o.grids.size()) * 5000);
    o.stop();
}
BENCHMARK(SumLoadedColumn)->Unit(benchmark::kMillisecond);

void EditRecalculates(benchmark::State &state)
{
    std::string file = largeWorkbook();
    if (file.empty()) {
        state.SkipWithError(
            "VEXLAN_LARGE_XLS names no workbook (bench/office_load --make-xls FILE.xls)");
        return;
    }
    Open o;
    if (!o.start(file) || o.grids.empty()) {
        o.stop();
        state.SkipWithError("the workbook did not open");
        return;
    }
    o.dropLoad();
    double first = 0, second = 0;
    size_t before = used(), after = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        int rc = Excel_CellEdit_setValue(o.ctx, o.grids[0], 2, 3, "12", 0);
        auto t1 = std::chrono::steady_clock::now();
        if (rc == 0)
            rc = Excel_CellEdit_setValue(o.ctx, o.grids[0], 3, 3, "13", 0);
        auto t2 = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError("the edit failed");
            break;
        }
        first = std::chrono::duration<double, std::milli>(t1 - t0).count();
        second = std::chrono::duration<double, std::milli>(t2 - t1).count();
        after = used();
    }
    state.counters["first_ms"] = first;
    state.counters["second_ms"] = second;
    state.counters["edits_MiB"] = mib(after > before ? after - before : 0);
    o.stop();
}
BENCHMARK(EditRecalculates)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
