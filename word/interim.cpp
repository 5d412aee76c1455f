// Interim definition of the Word reader's load sequence, which is not
// built yet: recognition works, loading does not.
#include "core/result.h"
#include "platform/vfs/vfs.h"
#include "word/reader/word.h"

// Interim: open takes the stream over, so it closes it, and fails.
int Word_loadDocument(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *,
                      Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

// Interim: the list tables are not built yet, so the outline list has no
// levels to refresh.
int Word_olstToLevels(const WordAnlv *, uint32_t, const char16_t *, WordReader *)
{
    return Res_ok;
}

// Interim: until the dithered scalers are built, both scale by nearest
// neighbour through the 16-bit row copier, without dithering.
#include "fonts/office/bitmapscale.h"
#include "word/rects.h"

namespace
{

void scale565(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst, int32_t dstW,
              int32_t dstH, int32_t startX, int32_t startY, uint32_t srcStride, int32_t width,
              int32_t height, uint32_t dstStride)
{
    if (width <= 0 || height <= 0 || srcW <= 0 || srcH <= 0 || dstW < 1 || dstH < 1)
        return;
    const uint8_t *base = reinterpret_cast<const uint8_t *>(src);
    for (int32_t y = 0; y < height; y++) {
        // The nearest source row of scaled row startY + y, the half going down.
        int64_t j = int64_t(startY) + y;
        int64_t s = dstH > 1 ? (2 * j * (srcH - 1) + (dstH - 1) - 1) / (2 * int64_t(dstH - 1)) : 0;
        s = s < srcH ? s : srcH - 1;
        Bitmap_scaleRow16(srcW, dstW, base + size_t(s) * srcStride,
                          reinterpret_cast<uint8_t *>(dst) + size_t(y) * dstStride, startX, width);
    }
}

} // namespace

void Pixel565_scaleDitherUp(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                            int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                            uint32_t srcStride, int32_t width, int32_t height, uint32_t dstStride)
{
    scale565(src, srcW, srcH, dst, dstW, dstH, startX, startY, srcStride, width, height, dstStride);
}

void Pixel565_scaleDitherDown(const uint16_t *src, int32_t srcW, int32_t srcH, uint16_t *dst,
                              int32_t dstW, int32_t dstH, int32_t startX, int32_t startY,
                              uint32_t srcStride, int32_t width, int32_t height, uint32_t dstStride)
{
    scale565(src, srcW, srcH, dst, dstW, dstH, startX, startY, srcStride, width, height, dstStride);
}

// Interim: the stops of the value's stop list as they stand (at most 20;
// a missing list gives two black stops) until the Word reader builds paint
// servers from its own gradient records.
#include "core/container/stoplist.h"
#include "core/mem/mem.h"
#include "layout/replaced.h"

int Word_paintServerFromProp(PaintServer *out, uintptr_t value)
{
    const StopList *list = reinterpret_cast<const StopList *>(value);
    uint32_t count = list && list->count >= 2 ? uint32_t(list->count) : 2;
    if (count > PaintServer_maxStops)
        count = PaintServer_maxStops;
    out->kind = 1;
    out->count = 0;
    out->stops = static_cast<int32_t *>(Mem_calloc(size_t(count) * 2, sizeof(int32_t)));
    if (!out->stops)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        bool given = list && list->count >= 2;
        out->stops[2 * i] = given ? list->stops[i].position : int32_t(i * 0x10000);
        out->stops[2 * i + 1] = given ? int32_t(list->stops[i].value) : int32_t(0xFF000000u);
    }
    out->count = count;
    return Res_ok;
}
