// Fuzz target for embedded TrueType programs. Byte 0: bits 0-3 pick the
// preferred map rank (59 + value), bit 4 asks for the symbol remap; the
// rest is the program. An opened face is registered once, maps and
// measures a few codes and unregisters; a refused program stays the
// caller's and registers nothing; nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/container/array.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "fonts/docfonts.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "embedded_truetype_fuzz: check on line %d failed\n", line);
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

    uint8_t *program = static_cast<uint8_t *>(Mem_malloc(size));
    require(program != nullptr);
    memcpy(program, data + 1, size - 1);
    FontFace *f = nullptr;
    int r = FontEngine_openEmbeddedTrueType(ctx, program, size - 1, &f, 59u + (data[0] & 15u),
                                            (data[0] & 0x10) ? uint32_t(DocFonts_flagSymbol) : 0u);
    require((r == Res_ok) == (f != nullptr));
    if (f) {
        require(ctx->fontEngine->fonts && ctx->fontEngine->fonts->count == 1);
        uint16_t codes[] = {0, 0x20, 0x41, 0xF041, 0x3000, 0xFFFF};
        uint16_t glyphs[6] = {};
        uint8_t tags[6] = {};
        uint32_t remaining = 6;
        (void)f->map(f, codes, 6, 0, glyphs, tags, &remaining);
        uint16_t sb[6], adv[6];
        (void)f->advance(f, glyphs, 6, 0, tags, sb, adv);
        for (uint16_t g : glyphs) {
            GlyphPath *o = nullptr;
            if (f->outline && f->outline(f, g, &o) == Res_ok)
                GlyphPath_destroy(o);
        }
        Font_unregister(ctx, f);
        require(ctx->fontEngine->fonts->count == 0);
        Font_faceRelease(f);
    } else {
        require(!ctx->fontEngine->fonts || ctx->fontEngine->fonts->count == 0);
        Mem_free(program);
    }
    FontEngine_destroy(ctx);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
