// Fuzz target for the Type 1 loader: a program that loads is registered,
// answers an outline for each of its glyphs and is unregistered; a refused
// program registers nothing; nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/container/array.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/programs/type1.h"
#include "graphics/glyphpath.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "type1_load_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();
    require(FontEngine_create(ctx) == Res_ok);
    ByteStream *s = nullptr;
    require(Pdf_Stream_openMemory(data, size, &s) == Res_ok);
    PdfGlyphNameList names{-768, nullptr};
    EmbeddedFont *font = nullptr;
    uint16_t *encoding = nullptr;
    int r = Type1_load(ctx, s, &names, &font, &encoding);
    require((r == Res_ok) == (font != nullptr));
    if (font) {
        require(ctx->fontEngine->fonts && ctx->fontEngine->fonts->count == 1);
        int32_t n = EmbeddedFont_glyphCount(font);
        for (int32_t g = 0; g < n && g < 64; g++) {
            GlyphPath *o = nullptr;
            if (font->face->outline(font->face, static_cast<uint16_t>(g), &o) == Res_ok)
                GlyphPath_destroy(o);
        }
        Font_unregister(ctx, font->face);
        EmbeddedFont_release(font);
    } else {
        require(encoding == nullptr);
        require(!ctx->fontEngine->fonts || ctx->fontEngine->fonts->count == 0);
    }
    Mem_free(encoding);
    Pdf_Font_glyphNamesClear(&names);
    (void)ByteStream_close(s);
    FontEngine_destroy(ctx);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
