// Fuzz target for the TrueType and font-pack reader and the character maps.
// The input: an option byte (its low 4 bits plus 59 give the preferred map
// rank; bit 4 opens the file as an embedded font; bit 5 builds the symbol
// pairs), then the font file. A font that opens is mapped over a spread of
// codes, measured, kerned and located glyph by glyph, a few outlines are
// loaded, its caches are dropped and it is mapped again; every operation
// either succeeds or fails with a code, and nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/cmap.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/truetype.h"
#include "graphics/glyphpath.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "truetype_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void exercise(FontFace *f, bool symbol)
{
    std::vector<uint16_t> codes;
    for (uint32_t c = 0; c < 0x180; c++)
        codes.push_back(uint16_t(c));
    for (uint16_t c : {0x2002, 0x2022, 0x20A9, 0x3000, 0x30FB, 0x4E00, 0x8140, 0xAC00, 0xE000,
                       0xF041, 0xFFFD, 0xFFFF})
        codes.push_back(c);
    std::vector<uint16_t> glyphs(codes.size(), 0);
    std::vector<uint8_t> tags(codes.size(), 0);
    uint32_t remaining = uint32_t(codes.size());
    int r =
        f->map(f, codes.data(), uint32_t(codes.size()), 0, glyphs.data(), tags.data(), &remaining);
    require(remaining <= codes.size());
    if (symbol && r == Res_ok)
        (void)Cmap_buildSymbolPairs(f);
    uint32_t n = f->glyphCount < 600u ? f->glyphCount + 2u : 600u;
    std::vector<uint16_t> ids;
    for (uint32_t g = 0; g < n; g++)
        ids.push_back(uint16_t(g));
    ids.push_back(0xFFFF);
    std::vector<uint8_t> zero(ids.size(), 0);
    std::vector<uint16_t> advance(ids.size(), 0), bearing(ids.size(), 0);
    (void)f->advance(f, ids.data(), uint32_t(ids.size()), 0, zero.data(), bearing.data(),
                     advance.data());
    (void)f->kerning(f, ids.data(), uint32_t(ids.size()), 0, zero.data(), advance.data());
    for (uint16_t g : ids) {
        uint32_t at = 0;
        (void)f->locateGlyph(f, g, &at);
    }
    for (uint32_t g = 0; g < n && g < 24; g++) {
        GlyphPath *o = nullptr;
        r = f->outline(f, uint16_t(g), &o);
        require((r == Res_ok) == (o != nullptr));
        GlyphPath_destroy(o);
    }
    TrueType_dropCaches(f);
    std::fill(glyphs.begin(), glyphs.end(), 0);
    remaining = uint32_t(codes.size());
    (void)f->map(f, codes.data(), uint32_t(codes.size()), 1, glyphs.data(), tags.data(),
                 &remaining);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t options = data[0];
    const uint8_t *file = data + 1;
    size_t fileSize = size - 1;

    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();
    require(FontEngine_create(ctx) == Res_ok);
    require(FontPack_installOps(&ctx->fontEngine->packOps) == 1);
    require(Cmap_installBitmapFormat(ctx->fontEngine) == 1);

    FontFace *face = nullptr;
    uint32_t kind = (options & 0x10) ? uint32_t(FontFace_kindEmbeddedTrueType) : 0u;
    require(Font_faceCreate(ctx, kind, 0, nullptr, &face) == Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, file, fileSize, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == Res_ok);
    require(BufStream_open(ctx, nullptr, h, uint32_t(fileSize), BufStream_bigEndian,
                           &face->reader) == Res_ok);
    int r = TrueType_open(face, 0, 59u + (options & 15u));
    if (r == Res_ok) {
        require(face->tables != nullptr && face->destroy == TrueType_close);
        exercise(face, options & 0x20);
    } else {
        require(face->tables == nullptr);
        BufStream_close(face->reader);
        face->reader = nullptr;
    }
    Font_faceRelease(face);
    FontEngine_destroy(ctx);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
