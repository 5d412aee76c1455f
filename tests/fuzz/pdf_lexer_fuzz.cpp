// Fuzz target for the PDF lexer. Byte 0 chooses how many bytes each refill
// of the byte stream hands out (1 to 256); the rest is PDF syntax, read
// object by object until the end or the first error. Every object is
// released; nothing may leak, and a failed lexer must stay failed.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

struct ChunkStream {
    ByteStream base;
    const uint8_t *data;
    size_t size, at, chunk;
};

int chunkGetByte(ByteStream *s)
{
    ChunkStream *c = reinterpret_cast<ChunkStream *>(s);
    if (c->at >= c->size)
        return ByteStream_end;
    size_t n = c->size - c->at < c->chunk ? c->size - c->at : c->chunk;
    s->readPtr = c->data + c->at + 1;
    s->end = c->data + c->at + n;
    c->at += n;
    return c->data[c->at - n];
}

int chunkSeek(ByteStream *s, uint64_t position)
{
    ChunkStream *c = reinterpret_cast<ChunkStream *>(s);
    c->at = position < c->size ? size_t(position) : c->size;
    s->readPtr = s->end = nullptr;
    return Res_ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    (void)FuzzHeap_get(16 << 20);
    size_t baseline = TestHeap_usedBytes();

    ChunkStream s{};
    s.base.getByte = chunkGetByte;
    s.base.seek = chunkSeek;
    s.data = data + 1;
    s.size = size - 1;
    s.base.length = s.size;
    s.chunk = size_t(data[0]) + 1;

    PdfDoc *doc = static_cast<PdfDoc *>(Mem_calloc(1, sizeof(PdfDoc)));
    require(doc != nullptr);
    doc->xrefTail = &doc->xrefHead;
    require(Pdf_NameTable_create(&doc->names) == Res_ok);
    PdfLexer *lx = nullptr;
    require(Pdf_Lex_create(&lx, &s.base) == Res_ok);
    for (int i = 0; i < 100000; i++) {
        PdfObj *obj = nullptr;
        int err = Pdf_Obj_parse(doc, lx, &obj);
        if (err != Res_ok) {
            if (lx->state == PdfLex_stateFailed) {
                require(Pdf_Obj_parse(doc, lx, &obj) == Res_pdfSyntax && !obj);
            }
            break;
        }
        if (!obj)
            break;
        uint32_t count = 0;
        (void)Pdf_Obj_getCount(doc, obj, &count);
        Pdf_Obj_release(doc, obj);
    }
    Pdf_Lex_destroy(lx);
    while (doc->freeCount)
        Mem_free(doc->freeList[--doc->freeCount]);
    Pdf_NameTable_destroy(doc->names);
    Mem_free(doc);

    require(TestHeap_usedBytes() == baseline);
    require(Mem_check() == 0);
    return 0;
}
