// Fuzz target for the Excel workbook loader: the input is the "Workbook"
// stream, wrapped in a compound file here, and read by the record walk
// into the workbook record and the cell stores. Every cell's display text
// is formatted. The load must end with a code and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"
#include "tests/word/cfb_build.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void showAll(ExcelLoad *load)
{
    for (ExcelSheetEntry *e = load->sheets; e; e = e->next) {
        const ExcelLoadSheet *s = e->sheet;
        if (!s)
            continue;
        for (uint32_t r = 0; r < s->rowCount; r++) {
            require(r == 0 || s->rows[r - 1]->row < s->rows[r]->row);
            for (uint32_t c = 0; c < s->rows[r]->slots; c++) {
                char16_t *t = nullptr;
                int rc = Excel_cellDisplayText(load, s, &s->rows[r]->cells[c],
                                               Excel_cellWidth(s, s->rows[r]->row, c), &t);
                require(rc == 0 || rc == 1);
                Mem_free(t);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::string file =
        Cfb_build({{u"Workbook", std::string(reinterpret_cast<const char *>(data), size)}});
    TestHeap &heap = FuzzHeap_get(64 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                           Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) == 0);
    OleHandle *ole = nullptr;
    if (Ole_openStream(h, &ole) == 0) {
        ExcelLoad load{};
        load.context = ctx;
        if (Excel_readWorkbookStream(&load, ole) == 0)
            showAll(&load);
        Excel_loadFree(&load);
        Ole_close(&ole);
    }
    (void)Vfs_close(h); // a fuzz run only looks for crashes
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
