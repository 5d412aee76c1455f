// Fuzz target for scan conversion and draw items: random paths (lines,
// hidden lines, curves, closes, open subpaths, plain or packed), random
// matrices, sub-pixel bits and fill rules are drawn into small 8-bit and
// 5-6-5 bitmaps with random placements, clips, paint and mask buffers and
// chunking stages; two random paths become crossing tables that are
// intersected and drawn as a coverage mask; every draw is hit-tested at a
// few pixels. Nothing may crash, write outside the bitmap's rows (guard
// bytes around them stay untouched) or leak.
//
// Input: a header of 16 bytes (flags, sizes, placement, clip), then
// records of the two paths: an opcode byte (low 3 bits: 0 move, 1 line,
// 2 hidden line, 3 quadratic, 4 cubic, 5 close, 6 switch to the second
// path, 7 matrix) followed by its points as 16-bit or, with bit 3 of the
// opcode, 32-bit little-endian coordinates; a matrix record has six 32-bit
// words.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
bool ready = false;

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "raster_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

struct Reader {
    const uint8_t *p;
    size_t left;
    bool take(void *out, size_t n)
    {
        if (left < n)
            return false;
        memcpy(out, p, n);
        p += n;
        left -= n;
        return true;
    }
    int32_t coord(bool wide)
    {
        if (wide) {
            int32_t v = 0;
            take(&v, 4);
            return v;
        }
        int16_t v = 0;
        take(&v, 2);
        return int32_t(v) * 16;
    }
};

// A stage that copies its input rows when they are a buffer, or makes
// grey rows otherwise, so that draws run in chunks.
int copyRows(const uint8_t *in, ptrdiff_t inStride, void *, int32_t, int32_t y, int32_t width,
             int32_t rows, uint8_t *out, ptrdiff_t stride)
{
    for (int32_t r = 0; r < rows; r++)
        for (int32_t i = 0; i < width; i++)
            out[r * stride + i] = inStride ? in[r * inStride + i] : uint8_t(y - r + i);
    return 0;
}

int declareCopy(uint32_t, uint32_t, int32_t width, int32_t, int, void *, StageRecord *rec)
{
    rec->routine.copy = copyRows;
    rec->outputIsBuffer = 1;
    rec->outputFormat = Pixel_formatGrey8;
    rec->outputBytes = uint32_t(width);
    return 0;
}

const StageOps copyOps = {declareCopy};

constexpr size_t guard = 64;

void run(Reader rd)
{
    uint8_t h[16] = {};
    if (!rd.take(h, sizeof h))
        return;
    const uint32_t s = h[0] & 7; // 0 to 7 (4 and up paint nothing)
    const uint32_t rule = (h[0] >> 3) & 1;
    const uint32_t format = (h[0] & 0x10) ? Pixel_format565 : Pixel_formatGrey8;
    const bool pack = h[0] & 0x20;
    const bool stages = h[0] & 0x40;
    const bool paintBuffer = h[0] & 0x80;
    const int32_t w = 1 + h[1] % 40, ht = 1 + h[2] % 40;
    const int32_t dx = int8_t(h[3]), dy = int8_t(h[4]);
    const Rect clip = {int8_t(h[5]), int8_t(h[6]), int8_t(h[5]) + h[7] % 48,
                       int8_t(h[6]) + h[8] % 48};
    const bool useClip = h[9] & 1;
    const int32_t scale = (h[9] & 2) ? 0x10000 : 0x8000 + (h[10] << 4);

    Path *paths[2] = {};
    require(Path_create(&paths[0], 0x10000) == Res_ok);
    require(Path_create(&paths[1], 0x10000) == Res_ok);
    Matrix m = {0x100, 0, 0, 0x100, 0, 0};
    int which = 0;
    uint8_t op;
    while (rd.take(&op, 1)) {
        bool wide = op & 8;
        Path *p = paths[which];
        int32_t c[6];
        switch (op & 7) {
        case 0:
            c[0] = rd.coord(wide), c[1] = rd.coord(wide);
            (void)Path_moveTo(p, c[0], c[1]);
            break;
        case 1:
            c[0] = rd.coord(wide), c[1] = rd.coord(wide);
            (void)Path_lineTo(p, c[0], c[1]);
            break;
        case 2:
            c[0] = rd.coord(wide), c[1] = rd.coord(wide);
            (void)Path_lineToOp1(p, c[0], c[1]);
            break;
        case 3:
            for (int i = 0; i < 4; i++)
                c[i] = rd.coord(wide);
            (void)Path_quadTo(p, c[0], c[1], c[2], c[3]);
            break;
        case 4:
            for (int i = 0; i < 6; i++)
                c[i] = rd.coord(wide);
            (void)Path_curveTo(p, c[0], c[1], c[2], c[3], c[4], c[5]);
            break;
        case 5: (void)Path_close(p); break;
        case 6: which ^= 1; break;
        default: rd.take(&m, sizeof m); break;
        }
    }
    if (pack)
        (void)Path_pack(paths[0]);

    // The bitmap's rows with guard bytes on both sides.
    uint32_t stride = 0;
    uint64_t bytes = 0;
    require(Pixel_bufferSize(w, ht, format, &stride, &bytes) == Res_ok);
    std::vector<uint8_t> memory(bytes + 2 * guard, 0xA5);
    uint8_t identity[256];
    for (int i = 0; i < 256; i++)
        identity[i] = uint8_t(i);
    EngineContext context{};
    context.textTone = identity;
    Bitmap *b = nullptr;
    require(Bitmap_create(&context, &b, w, ht, format, scale, memory.data() + guard, 0) == Res_ok);
    PixelBuf *paint = nullptr;
    if (paintBuffer)
        require(PixelBuf_create(&paint, 1 + h[11] % 20, 1 + h[12] % 20, Pixel_formatGrey8,
                                0x10000) == Res_ok);
    if (paint)
        memset(paint->pixels, 0x77, size_t(paint->stride) * paint->height);
    StageNode *list = stages ? StageNode_create(&copyOps, nullptr, nullptr) : nullptr;

    DrawItem *item = b->drawItem;
    item->kind = DrawItem_kindPath;
    item->shape.path = FillRequest{paths[0], s, &m, 0, Pen{rule, 0, 0, 0, 0, nullptr}};
    if (paint && format == Pixel_formatGrey8) {
        item->paintKind = DrawItem_sourceBuffer;
        item->paint.buffer = {paint, int8_t(h[13]), int8_t(h[14])};
    } else {
        item->paintKind = DrawItem_sourceSolid;
        item->paint.solid = {format == Pixel_formatGrey8 ? uint32_t(Pixel_formatGrey8)
                                                         : uint32_t(Pixel_formatRGBA),
                             0x00FFFFFFu};
    }
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid = {Pixel_formatGrey8, 1u + h[15] % 255};
    item->cachedRowOp = nullptr;
    const DrawTarget target = {b, useClip ? &clip : nullptr, dx, dy};
    (void)DrawItem_render(item, format == Pixel_formatGrey8 ? list : nullptr, nullptr, &target);
    for (int k = 0; k < 4; k++) {
        int out = -1;
        (void)DrawItem_hitTest(item, dx, dy, b, int8_t(h[5 + k]), int8_t(h[6 + k]), &out);
        require(out == 0 || out == 1);
    }

    // Two tables, intersected and drawn as a coverage mask.
    FillRequest ra = {paths[0], s & 3, &m, 0, Pen{rule, 0, 0, 0, 0, nullptr}};
    FillRequest rb = {paths[1], s & 3, nullptr, 0, Pen{rule ^ (h[10] & 1), 0, 0, 0, 0, nullptr}};
    CrossingTable *ta = nullptr, *tb = nullptr, *both = nullptr;
    if (Fill_newCrossingTable(&ta, &ra, b) == Res_ok &&
        Fill_newCrossingTable(&tb, &rb, b) == Res_ok &&
        CrossingTable_intersect(ta, tb, &both, s & 3) == Res_ok && both) {
        item->kind = DrawItem_kindCoverageMask;
        item->shape.coverage = {both, s & 3};
        item->cachedRowOp = nullptr;
        (void)DrawItem_render(item, nullptr, nullptr, &target);
    }
    CrossingTable_free(both);
    CrossingTable_free(ta);
    CrossingTable_free(tb);

    for (size_t i = 0; i < guard; i++) {
        require(memory[i] == 0xA5);
        require(memory[guard + bytes + i] == 0xA5);
    }
    StageList_free(list);
    PixelBuf_destroy(paint);
    Bitmap_destroy(b);
    Path_destroy(paths[0]);
    Path_destroy(paths[1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    if (!ready) {
        require(TestHeap_open(&heap, 8 << 20, 0));
        ready = true;
    }
    size_t before = TestHeap_usedBytes();
    // The data in their own block, so that reads past them are caught.
    std::vector<uint8_t> copy(data, data + size);
    run(Reader{copy.data(), copy.size()});
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
