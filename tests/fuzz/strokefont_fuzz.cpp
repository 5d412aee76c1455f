// Fuzz target for the font packs' stroke-font glyphs over random glyph
// data. The input: a style byte (its low 4 bits the weight class), the two
// stroke settings (8 bits each), a glyph count g, g + 1 glyph offsets
// (16-bit big-endian, not sorted, not checked), then the glyph data. Every
// glyph id up to g + 1 is built and stroked into an outline: a build either
// fails with the outline null or gives a path outline; the reader's window
// is always released and nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontface.h"
#include "fonts/strokefont.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "strokefont_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

int locate(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    auto *offsets = static_cast<const std::vector<uint32_t> *>(face->locationData);
    *offset = glyph < offsets->size() ? (*offsets)[glyph] : 0;
    return Res_ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    uint8_t style = data[0];
    uint32_t count = data[3];
    size_t at = 4;
    std::vector<uint32_t> offsets;
    for (uint32_t g = 0; g <= count && at + 2 <= size; g++, at += 2)
        offsets.push_back(uint32_t(data[at] << 8 | data[at + 1]));
    const uint8_t *glyf = data + at;
    size_t glyfSize = size - at;

    TestHeap &heap = FuzzHeap_get(16 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    FontFace *face = nullptr;
    require(Font_faceCreate(ctx, 0, 0, nullptr, &face) == Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, glyf, glyfSize, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == Res_ok);
    require(BufStream_open(ctx, nullptr, h, uint32_t(glyfSize), BufStream_bigEndian,
                           &face->reader) == Res_ok);
    FontTableDir dir{};
    dir.tables[FontTable_glyf] = {0, uint32_t(glyfSize)};
    dir.packSetting1 = data[1];
    dir.packSetting2 = data[2];
    face->tables = &dir;
    face->unitsPerEm = 256;
    face->styleWord = style;
    face->glyphCount = uint16_t(offsets.size());
    face->locationData = &offsets;
    face->locateGlyph = locate;

    for (uint32_t g = 0; g <= offsets.size(); g++) {
        GlyphPath *o = nullptr;
        int r = FontPack_glyphOutline(face, uint16_t(g), &o);
        require((r == Res_ok) == (o != nullptr));
        require(face->reader->windowLength == 0);
        if (o) {
            Path *path = nullptr;
            if (GlyphPath_toPath(o, &path) == Res_ok)
                Path_destroy(path);
            GlyphPath_destroy(o);
        }
    }

    BufStream_close(face->reader);
    face->reader = nullptr;
    face->tables = nullptr;
    face->locationData = nullptr;
    Font_faceRelease(face);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
