// Fuzz target for the CFF reader of embedded font programs. Byte 0 picks
// the key mode (0 SID, 1 code, 2 CID + 1); the rest is the program, which
// is opened and built into an engine font with a glyph-name list and its
// code table. A built font is registered once and unregistered; a failed
// build registers nothing; nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/container/array.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/fontengine.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfcff.h"
#include "pdf/resources/pdfstream.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "pdf_cff_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();
    require(FontEngine_create(ctx) == Res_ok);

    ByteStream *s = nullptr;
    require(Pdf_Stream_openMemory(data + 1, size - 1, &s) == Res_ok);
    PdfCffProgram *p = nullptr;
    int r = Pdf_Cff_open(s, &p);
    require((r == Res_ok) == (p != nullptr));
    if (p) {
        PdfGlyphNameList *names = nullptr;
        require(Pdf_Font_glyphNamesNew(&names) == Res_ok);
        EmbeddedFont *font = nullptr;
        uint16_t *table = nullptr;
        r = Pdf_Cff_buildFont(ctx, p, 0, names, &font, &table, data[0] % 3);
        require((r == Res_ok) == (font != nullptr));
        if (font) {
            require(ctx->fontEngine->fonts && ctx->fontEngine->fonts->count == 1);
            Font_unregister(ctx, font->face);
            EmbeddedFont_release(font);
        }
        require(!ctx->fontEngine->fonts || ctx->fontEngine->fonts->count == 0);
        Mem_free(table);
        Pdf_Font_glyphNamesFree(names);
        Pdf_Cff_close(p);
    }
    (void)ByteStream_close(s);
    FontEngine_destroy(ctx);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
