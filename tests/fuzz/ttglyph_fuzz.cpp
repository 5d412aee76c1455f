// Fuzz target for the TrueType glyph loader over random 'glyf' bytes. The
// input: a flag byte (bit 0 sets the 'head' flag that turns alignment off,
// bit 1 asks for alignment), units per em (16-bit big-endian), a glyph
// count g, g + 1 glyph offsets (16-bit big-endian, not sorted, not
// checked), then the 'glyf' table. Every glyph is loaded, and one offset
// past the table. A load either fails with its outline null or gives a
// well-formed point-record outline of at most 65535 points; the reader's
// window is always released and nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/ttglyph.h"
#include "fonts/fontface.h"
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
    fprintf(stderr, "ttglyph_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

int locate(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    auto *offsets = static_cast<const std::vector<uint32_t> *>(face->locationData);
    *offset = 0;
    if (glyph >= offsets->size())
        return Res_notFound;
    *offset = (*offsets)[glyph];
    return Res_ok;
}

// A side bearing made from the code.
int bearing(FontFace *, const uint16_t *codes, uint32_t n, uint32_t, const uint8_t *,
            uint16_t *zero, uint16_t *advance)
{
    for (uint32_t i = 0; i < n; i++) {
        zero[i] = uint16_t(codes[i] * 977u);
        advance[i] = 0;
    }
    return Res_ok;
}

void checkOutline(const GlyphPath *o)
{
    require(o->kind == GlyphPath_kindPoints);
    if (!o->bytes) {
        require(o->lastSize == 0);
        return;
    }
    uint32_t used = o->lastStart + o->lastSize;
    require(o->lastSize == GlyphPoint_wideSize && used <= o->byteCapacity);
    uint32_t points = 0;
    for (uint32_t at = 0; at < used; at += GlyphPoint_wideSize) {
        uint8_t f = o->bytes[at];
        require(f & GlyphPoint_wide);
        require(bool(f & GlyphPoint_last) == (at + GlyphPoint_wideSize == used));
        points++;
    }
    require(points >= 1 && points <= TtGlyph_maxPoints);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    uint8_t flags = data[0];
    uint16_t unitsPerEm = uint16_t(data[1] << 8 | data[2]);
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
    face->tables = &dir;
    face->unitsPerEm = unitsPerEm;
    face->headFlags = (flags & 1) ? FontFace_headNoAlign : 0;
    face->advance = bearing;
    face->locationData = &offsets;
    face->locateGlyph = locate;

    offsets.push_back(uint32_t(glyfSize) + 3);
    for (size_t g = 0; g < offsets.size(); g++) {
        GlyphPath *o = nullptr;
        uint16_t code = uint16_t(g);
        int r = TtGlyph_load(face, offsets[g], &o, (flags & 2) ? &code : nullptr);
        require((r == Res_ok) == (o != nullptr));
        require(face->reader->windowLength == 0);
        if (o) {
            checkOutline(o);
            GlyphPath_destroy(o);
        }
        // The loader by index, and its outline as a path.
        face->glyphCount = uint16_t(offsets.size() - 1);
        o = nullptr;
        r = TrueType_loadGlyph(face, code, &o);
        require((r == Res_ok) == (o != nullptr));
        if (o) {
            Path *path = nullptr;
            if (GlyphPath_toPath(o, &path) == Res_ok)
                Path_destroy(path);
            GlyphPath_destroy(o);
        }
    }

    BufStream_close(face->reader);
    face->reader = nullptr;
    Font_faceRelease(face);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
