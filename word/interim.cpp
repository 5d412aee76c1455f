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

// Interim: a two-stop gradient in the value's colour (black without one)
// until the Word reader builds paint servers from its stop lists.
#include "core/mem/mem.h"
#include "layout/replaced.h"

int Word_paintServerFromProp(PaintServer *out, uintptr_t value)
{
    out->kind = 1;
    out->count = 2;
    out->stops = static_cast<int32_t *>(Mem_calloc(4, sizeof(int32_t)));
    if (!out->stops) {
        out->count = 0;
        return Res_noMemory;
    }
    uint32_t colour = value ? uint32_t(value) | 0xFF000000u : 0xFF000000u;
    out->stops[0] = 0;
    out->stops[1] = int32_t(colour);
    out->stops[2] = 0x10000;
    out->stops[3] = int32_t(colour);
    return Res_ok;
}
