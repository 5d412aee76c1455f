// Time to read a workbook and lay its first sheet out as the loader does
// (the cell table, the cell style rules and the border lines of page 1),
// without drawing it. The workbooks are named in VEXLAN_SHEET_XLS,
// separated by colons; each is a benchmark of its own, reporting its cell
// entries, its style rules and the grid's rows, columns and border
// segments.
//
// Workbooks worth naming: the largest of the shared corpus, the large
// benchmark workbook (bench/office_load --make-xls FILE.xls) and the
// files of tests/fixtures/spreadsheet/make_large_sheets.py (a declared
// extent of 65,536 x 256 with thousands of merged ranges over it, 65,536
// rows of formatted blanks, 200,000 formatted blanks).
// Goals: page 1 of a workbook of about 2 MB within 0.5 s of CPU; every
// file of make_large_sheets.py within 1 s here (a release build).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "office/ole2/ole.h"
#include "office/ole2/oleprobe.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/support/test_engine.h"

namespace {

constexpr size_t heapBytes = size_t(1) << 30;

struct Laid {
    uint32_t cells = 0, rules = 0, rows = 0, columns = 0, segments = 0;
};

// Reads the workbook and lays out its first sheet that has one; false
// when it does not open.
bool layOut(const std::string &file, Laid *out)
{
    TestHeap heap{};
    if (!TestHeap_open(&heap, heapBytes, 0))
        return false;
    bool ok = false;
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    VfsHandle *vfs = nullptr;
    OleHandle *ole = nullptr;
    ExcelLoad load{};
    SheetGrid *grid = nullptr;
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
    uint32_t accepted = 0;
    if (ctx && copy) {
        ctx->instance = heap.instance;
        heap.instance->context = ctx;
        memcpy(copy, file.data(), file.size());
        if (Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                           &accepted) == 0 &&
            Ole_openStream(vfs, &ole) == 0) {
            load.context = ctx;
            if (Excel_readWorkbookStream(&load, ole) == 0) {
                for (ExcelSheetEntry *e = load.sheets; e && !grid; e = e->next)
                    if (e->sheet && Excel_sheetLayout(&load, e, &grid) != 0)
                        break;
                ok = grid != nullptr;
            }
        }
    } else {
        Mem_free(copy);
    }
    if (grid) {
        *out = Laid{grid->cellTable ? grid->cellTable->count : 0,
                    grid->formatTable ? grid->formatTable->count : 0u, grid->metrics->rowCount,
                    grid->metrics->columnCount, 0};
        for (uint32_t r = 0; r <= grid->metrics->rowCount; r++)
            out->segments += grid->edgeLists->rows[r].count;
        for (uint32_t c = 0; c <= grid->metrics->columnCount; c++)
            out->segments += grid->edgeLists->columns[c].count;
    }
    Excel_gridLayoutFree(grid);
    Excel_loadFree(&load);
    Ole_close(&ole);
    Vfs_close(vfs);
    Mem_free(ctx);
    TestHeap_close(&heap);
    return ok;
}

void LayOutFirstSheet(benchmark::State &state, const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), {});
    if (file.empty()) {
        state.SkipWithError("the workbook could not be read");
        return;
    }
    Laid laid;
    for (auto _ : state)
        if (!layOut(file, &laid)) {
            state.SkipWithError("the workbook did not open");
            return;
        }
    state.counters["cells"] = laid.cells;
    state.counters["rules"] = laid.rules;
    state.counters["rows"] = laid.rows;
    state.counters["columns"] = laid.columns;
    state.counters["segments"] = laid.segments;
    state.counters["file_MB"] = double(file.size()) / 1e6;
}

// One benchmark per workbook named in VEXLAN_SHEET_XLS.
const int registered = [] {
    const char *list = getenv("VEXLAN_SHEET_XLS");
    std::string all = list ? list : "";
    size_t at = 0;
    while (at < all.size()) {
        size_t end = all.find(':', at);
        if (end == std::string::npos)
            end = all.size();
        std::string path = all.substr(at, end - at);
        if (!path.empty()) {
            std::string name = "LayOutFirstSheet/" + path.substr(path.find_last_of('/') + 1);
            benchmark::RegisterBenchmark(name.c_str(), LayOutFirstSheet, path)
                ->Unit(benchmark::kMillisecond);
        }
        at = end + 1;
    }
    return 0;
}();

} // namespace
