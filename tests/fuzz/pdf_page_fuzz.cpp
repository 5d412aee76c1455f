// Fuzz target for PDF pages: the input is a file, opened from memory with
// the PDF reader and every page of its tree (at most 64) loaded without a
// document model: the page-tree descent, the inherited attributes and the
// content interpreter run, the output is dropped. Nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/document.h"
#include "pdf/obj.h"
#include "pdf/page.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, data, size, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) ==
            Res_ok);
    PdfDoc *doc = nullptr;
    int err = Pdf_openDocument(nullptr, &doc, h, nullptr, 0);
    if (err == Res_ok) {
        for (uint32_t page = 1; page <= 64; page++) {
            int r = Pdf_Page_load(doc, page);
            require(doc->pageAttrs == nullptr);
            if (r == Res_pdfPageRange)
                break;
        }
        Pdf_closeDocument(doc, nullptr);
    } else {
        require(doc == nullptr);
        (void)Vfs_close(h); // a fuzz run only looks for crashes
    }

    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    require(Mem_check() == 0);
    return 0;
}
