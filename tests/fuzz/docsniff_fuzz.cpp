// Fuzz target for the content sniffers of the document-type registry: the
// plain-text test, the PDF header test and sniffer, and Word recognition,
// over the input as a memory stream. Each sniffer must answer a valid
// score, leave the stream at its start and leak nothing; a PDF header
// never counts as text.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/text/charset_cjk.h"
#include "document/import/textsniff.h"
#include "pdf/pdf.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"
#include "word/reader/word.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void requireAtStart(VfsHandle *h)
{
    uint64_t at = 1;
    require(Vfs_tell(h, &at) == 0 && at == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(8 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    require(Charset_createHooks(ctx) == 0 && Charset_installJapanese(ctx->charsetHooks) == 0);
    size_t baseline = TestHeap_usedBytes();

    int pdf = Pdf_sniffHeader(ctx, data, size);
    int text = TextDoc_sniffText(ctx, data, size);
    require(pdf == 0 || pdf == 1);
    require(text == 0 || text == 1);
    require(!(pdf && text));

    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, data, size, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) ==
            0);
    int32_t score = -1;
    uint32_t type = 0;
    require(Pdf_sniff(ctx, nullptr, h, &score, &type) == 0);
    require(score == 0 || (score == 50 && type == 22));
    requireAtStart(h);
    score = -1;
    require(Word_recognise(ctx, nullptr, h, &score, &type) == 0);
    require(score == 0 || (score == 100 && type == 6));
    requireAtStart(h);
    (void)Vfs_close(h); // a fuzz run only looks for crashes

    require(TestHeap_usedBytes() == baseline);
    Charset_destroyHooks(ctx);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
