// Fuzz target for object streams read through a cross-reference stream:
// the input is split at its first byte's value into an object stream's
// data and the rows of a cross-reference stream (widths 1 4 2), and a file
// is written around them: a catalogue, the object stream (object 3) and
// the cross-reference stream. The file is opened from memory, every entry
// resolved (a forced flush half way through) and closed. Nothing may leak.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/document.h"
#include "pdf/obj.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void resolveAll(PdfDoc *doc)
{
    uint32_t seen = 0;
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
        for (uint32_t i = 0; i < s->count && seen < 2000; i++, seen++) {
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

std::string fileAround(const uint8_t *data, size_t size)
{
    size_t cut = size ? data[0] : 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    std::string stm = size > 1 ? std::string(bytes + 1, std::min(cut, size - 1)) : std::string();
    std::string rows =
        size > 1 + cut ? std::string(bytes + 1 + cut, size - 1 - cut) : std::string();
    std::string d = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    d += "3 0 obj\n<< /Type /ObjStm /N 4 /First 12 /Length " + std::to_string(stm.size()) +
         " >>\nstream\n" + stm + "\nendstream\nendobj\n";
    size_t at = d.size();
    d += "4 0 obj\n<< /Type /XRef /Size 9 /W [1 4 2] /Root 1 0 R /Length " +
         std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
    return d + "startxref\n" + std::to_string(at) + "\n%%EOF\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string file = fileAround(data, size);
    TestHeap heap;
    require(TestHeap_open(&heap, 32 << 20, 0));
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                           Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) == Res_ok);
    PdfDoc *doc = nullptr;
    int err = Pdf_openDocument(nullptr, &doc, h, nullptr, 0);
    if (err == Res_ok) {
        resolveAll(doc);
        Pdf_Doc_flushCache(doc, nullptr, 1);
        resolveAll(doc);
        Pdf_closeDocument(doc, nullptr);
    } else {
        require(doc == nullptr);
        (void)Vfs_close(h); // a fuzz run only looks for crashes
    }

    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    require(Mem_check() == 0);
    TestHeap_close(&heap);
    return 0;
}
