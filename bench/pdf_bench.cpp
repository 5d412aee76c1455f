// PDF reader speed:
// - the lexer over 1 MiB of content-stream syntax (numbers, names, strings
//   and operators, as page contents are): bytes per second;
// - opening a file of 20,000 small objects with one classic
//   cross-reference table and resolving every object: objects per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

struct MemoryStream {
    ByteStream base;
    const std::string *data;
    size_t at;

    static int getByte(ByteStream *s)
    {
        MemoryStream *m = reinterpret_cast<MemoryStream *>(s);
        if (m->at >= m->data->size())
            return ByteStream_end;
        size_t n = std::min<size_t>(4096, m->data->size() - m->at);
        const uint8_t *p = reinterpret_cast<const uint8_t *>(m->data->data()) + m->at;
        m->at += n;
        s->readPtr = p + 1;
        s->end = p + n;
        return p[0];
    }
};

std::string contentSyntax()
{
    std::string s;
    for (int i = 0; s.size() < (1u << 20); i++) {
        char line[160];
        snprintf(line, sizeof line,
                 "q %d.5 0 0 %d 72 %d cm BT /F%d 12 Tf (text run %d) Tj ET 0.25 0.5 0.75 rg %d %d "
                 "m %d %d l S "
                 "Q\n",
                 i % 7, i % 11, i % 800, i % 4, i, i, i + 1, i + 2, i + 3);
        s += line;
    }
    return s;
}

void BM_LexContent(benchmark::State &state)
{
    TestHeap heap;
    if (!TestHeap_open(&heap, 64 << 20, 0)) {
        state.SkipWithError("no heap");
        return;
    }
    std::string data = contentSyntax();
    PdfDoc *doc = static_cast<PdfDoc *>(Mem_calloc(1, sizeof(PdfDoc)));
    (void)Pdf_NameTable_create(&doc->names);
    for (auto _ : state) {
        MemoryStream m{};
        m.base.getByte = MemoryStream::getByte;
        m.data = &data;
        PdfLexer *lx = nullptr;
        (void)Pdf_Lex_create(&lx, &m.base);
        size_t objects = 0;
        for (;;) {
            PdfObj obj{PdfObj_null, {}, nullptr};
            int produced = 0;
            if (Pdf_Lex_next(doc, lx, &obj, &produced) != Res_ok || !produced)
                break;
            Pdf_Obj_freeContents(&obj, 0);
            objects++;
        }
        benchmark::DoNotOptimize(objects);
        Pdf_Lex_destroy(lx);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    Pdf_NameTable_destroy(doc->names);
    Mem_free(doc);
    TestHeap_close(&heap);
}
BENCHMARK(BM_LexContent)->Unit(benchmark::kMillisecond);

std::string manyObjects(uint32_t count)
{
    std::string d = "%PDF-1.4\n";
    std::string xref = "xref\n0 " + std::to_string(count + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (uint32_t n = 1; n <= count; n++) {
        snprintf(line, sizeof line, "%010zu 00000 n \n", d.size());
        xref += line;
        if (n == 1)
            d += "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
        else
            d += std::to_string(n) + " 0 obj\n<< /Type /Thing /N " + std::to_string(n) + " /Next " +
                 std::to_string(n % count + 1) + " 0 R /Box [0 0 612 792] /S (object) >>\nendobj\n";
    }
    size_t at = d.size();
    return d + xref + "trailer\n<< /Size " + std::to_string(count + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
}

void BM_OpenAndResolve(benchmark::State &state)
{
    TestHeap heap;
    if (!TestHeap_open(&heap, 64 << 20, 0)) {
        state.SkipWithError("no heap");
        return;
    }
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    const uint32_t count = 20000;
    std::string file = manyObjects(count);
    for (auto _ : state) {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        PdfDoc *doc = nullptr;
        if (Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                           Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != Res_ok ||
            Pdf_openDocument(nullptr, &doc, h, nullptr, 0) != Res_ok) {
            state.SkipWithError("open failed");
            break;
        }
        for (uint32_t n = 1; n <= count; n++) {
            PdfObj ref{PdfObj_indirect, {}, nullptr};
            ref.value.entry = Pdf_Xref_find(doc, n, 0);
            PdfObj *obj = &ref;
            (void)Pdf_Obj_resolve(doc, &obj);
        }
        Pdf_closeDocument(doc, nullptr);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * count);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_OpenAndResolve)->Unit(benchmark::kMillisecond);

} // namespace
