// Fuzz target for opening PDF files: the input is a file, opened from
// memory with the PDF reader (no host, so a password question counts as
// cancelled), every cross-reference entry resolved (a forced flush half
// way through), then closed. Nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/document.h"
#include "pdf/obj.h"
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

// Resolves every entry (at most limit of them); the first error of each is
// dropped.
void resolveAll(PdfDoc *doc, uint32_t limit)
{
    uint32_t seen = 0;
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
        for (uint32_t i = 0; i < s->count && seen < limit; i++, seen++) {
            PdfXrefEntry *e = &s->entries[i];
            if (!(e->flags & PdfXref_inUse))
                continue;
            PdfObj ref{PdfObj_indirect, {}, nullptr};
            ref.value.entry = e;
            PdfObj *obj = &ref;
            (void)Pdf_Obj_resolve(doc, &obj);
            uint32_t count = 0;
            (void)Pdf_Obj_getCount(doc, obj, &count);
        }
    }
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
        resolveAll(doc, 2000);
        Pdf_Doc_flushCache(doc, nullptr, 1);
        resolveAll(doc, 2000);
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
