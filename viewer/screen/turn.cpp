// Turning a 16-bit image by a quarter, half or three-quarter turn (see
// screen.h). The quarter turns walk the image in square tiles, so that the
// reads of a tile's rows and the writes of its turned rows both stay in a
// few cache lines.
#include "viewer/screen/screen.h"

namespace
{

constexpr int32_t tile = 32;

inline uint32_t strideOf(int32_t width)
{
    return Screen_rowBytes(width, 2) / 2; // in pixels
}

// Quarter turns: destination (dx(x, y), dy(x, y)) from source (x, y).
template <int Orientation>
void quarter(const uint16_t *source, int32_t w, int32_t h, uint16_t *out)
{
    const uint32_t in = strideOf(w), to = strideOf(h);
    for (int32_t ty = 0; ty < h; ty += tile) {
        int32_t yEnd = ty + tile < h ? ty + tile : h;
        for (int32_t tx = 0; tx < w; tx += tile) {
            int32_t xEnd = tx + tile < w ? tx + tile : w;
            for (int32_t x = tx; x < xEnd; x++) {
                // Source column x becomes one destination row.
                const uint16_t *s = source + x;
                if (Orientation == 1) {
                    // (x, y) -> (h - 1 - y, x): row x, columns falling with y.
                    uint16_t *d = out + size_t(x) * to + (h - 1);
                    for (int32_t y = ty; y < yEnd; y++)
                        d[-y] = s[size_t(y) * in];
                } else {
                    // (x, y) -> (y, w - 1 - x).
                    uint16_t *d = out + size_t(w - 1 - x) * to;
                    for (int32_t y = ty; y < yEnd; y++)
                        d[y] = s[size_t(y) * in];
                }
            }
        }
    }
}

void half(const uint16_t *source, int32_t w, int32_t h, uint16_t *out)
{
    const uint32_t stride = strideOf(w);
    for (int32_t y = 0; y < h; y++) {
        const uint16_t *s = source + size_t(y) * stride;
        uint16_t *d = out + size_t(h - 1 - y) * stride + (w - 1);
        for (int32_t x = 0; x < w; x++)
            d[-x] = s[x];
    }
}

} // namespace

void Screen_turn16(const uint16_t *source, int32_t width, int32_t height, uint16_t *out,
                   int32_t orientation)
{
    if (!source || !out || width <= 0 || height <= 0)
        return;
    switch (orientation) {
    case 1:
        quarter<1>(source, width, height, out);
        break;
    case 2:
        half(source, width, height, out);
        break;
    case 3:
        quarter<3>(source, width, height, out);
        break;
    default:
        break;
    }
}
