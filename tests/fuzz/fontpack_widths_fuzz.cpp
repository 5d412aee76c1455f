// Fuzz target for the font-pack width-table loader and the advance lookup.
// The input: a flag byte (bit 0 reads the table little-endian, bit 1 lets
// the directory entry claim 64 bytes more than the file holds), units per
// em (16-bit big-endian), then the table. The loader must refuse or read
// a table whose entries fit the bytes; the lookup must agree with a plain
// search of the table read back, give 0 for code 0xFFFF and never touch a
// code of another run; nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontface.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "fontpack_widths_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    uint8_t flags = data[0];
    uint16_t unitsPerEm = uint16_t(data[1] << 8 | data[2]);
    const uint8_t *table = data + 3;
    size_t tableSize = size - 3;

    TestHeap &heap = FuzzHeap_get(8 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    FontFace *face = nullptr;
    require(Font_faceCreate(ctx, 0, 0, nullptr, &face) == Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, table, tableSize, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == Res_ok);
    uint32_t order = (flags & 1) ? BufStream_littleEndian : BufStream_bigEndian;
    require(BufStream_open(ctx, nullptr, h, uint32_t(tableSize), order, &face->reader) == Res_ok);
    FontTableDir dir{};
    uint32_t claimed = uint32_t(tableSize) + ((flags & 2) ? 64 : 0);
    dir.tables[FontTable_ffhm] = {0, claimed};
    face->tables = &dir;
    face->unitsPerEm = unitsPerEm;

    FontPackWidths *t = nullptr;
    int r = FontPack_loadWidths(face, &t);
    require(face->reader->windowLength == 0);
    require(r == Res_ok || t == nullptr);
    if (t) {
        require(12 + 4 * uint64_t(t->count) <= claimed);
        face->widths = t;
    }

    // Codes: some of the table's, neighbours, 0xFFFF; every third in
    // another run.
    std::vector<uint16_t> codes = {0, 1, 0xFFFF, 0xFFFE, 0x8000};
    for (uint32_t i = 0; t && i < t->count && i < 64; i++) {
        codes.push_back(t->codes[i]);
        codes.push_back(uint16_t(t->codes[i] + 1));
    }
    std::vector<uint8_t> tags(codes.size());
    for (size_t i = 0; i < codes.size(); i++)
        tags[i] = uint8_t(i % 3 == 2 ? 0xF9 : 0xF8 | 2);
    std::vector<uint16_t> zero(codes.size(), 0xAAAA), advance(codes.size(), 0xAAAA);
    r = FontPack_getAdvances(face, codes.data(), uint32_t(codes.size()), 2, tags.data(),
                             zero.data(), advance.data());
    require(r == Res_ok || !t);
    for (size_t i = 0; r == Res_ok && i < codes.size(); i++) {
        if ((tags[i] & 7) != 2) {
            require(zero[i] == 0xAAAA && advance[i] == 0xAAAA);
            continue;
        }
        require(zero[i] == 0);
        const FontPackWidths *w = face->widths;
        if (codes[i] == 0xFFFF || !w || unitsPerEm == 0) {
            require(advance[i] == 0);
            continue;
        }
        // Where the codes are sorted, the search must find what a walk finds.
        bool sorted = true;
        for (uint32_t k = 1; k < w->count; k++)
            sorted = sorted && w->codes[k - 1] < w->codes[k];
        if (!sorted)
            continue;
        uint16_t units = w->defaultAdvance;
        for (uint32_t k = 0; k < w->count; k++) {
            if (w->codes[k] == codes[i])
                units = w->advances[k];
        }
        require(advance[i] == uint16_t(uint32_t(units) * 16384u / unitsPerEm));
    }

    FontPack_freeWidths(face);
    BufStream_close(face->reader);
    face->reader = nullptr;
    Font_faceRelease(face);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
