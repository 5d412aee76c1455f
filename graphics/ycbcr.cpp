// Table-driven RGB565 to YCbCr 4:2:0 conversion.
#include "graphics/ycbcr.h"

#include <cstring>

namespace {

constexpr int32_t fix(double x)
{
    return int32_t(x * 65536.0 + 0.5);
}

// Eight sub-tables of 256 16.16 entries indexed by an 8-bit component
// already scaled to the video range: red, green and blue to Y (with the
// rounding half in blue's), red and green to Cb, blue to Cb and red to Cr
// (with the offset 128 and the rounding just under a half), green and
// blue to Cr.
struct Table {
    int32_t e[2048];
};

constexpr Table makeTable()
{
    Table t{};
    for (int32_t i = 0; i < 256; i++) {
        t.e[i] = fix(0.299) * i;
        t.e[256 + i] = fix(0.587) * i;
        t.e[512 + i] = fix(0.114) * i + 32768;
        t.e[768 + i] = -fix(0.16874) * i;
        t.e[1024 + i] = -fix(0.33126) * i;
        t.e[1280 + i] = fix(0.5) * i + 128 * 65536 + 32767;
        t.e[1536 + i] = -fix(0.41869) * i;
        t.e[1792 + i] = -fix(0.08131) * i;
    }
    return t;
}

constexpr Table kTable = makeTable();

inline uint32_t load(const uint8_t *row, int32_t x)
{
    uint16_t p;
    memcpy(&p, row + size_t(x) * 2, 2);
    return p;
}

inline uint8_t luma(uint32_t p)
{
    const int32_t *t = kTable.e;
    uint32_t r = 16 + (((p >> 11) * 1752) >> 8);
    uint32_t g = 16 + ((((p >> 5) & 63) * 876) >> 8);
    uint32_t b = 16 + (((p & 31) * 1752) >> 8);
    return uint8_t((t[r] + t[256 + g] + t[512 + b]) >> 16);
}

// Cb and Cr of the block of pixels a, b (one row) and c, d (the row
// below).
inline void chroma(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint8_t *cb, uint8_t *cr)
{
    const int32_t *t = kTable.e;
    uint32_t sr = (a >> 11) + (b >> 11) + (c >> 11) + (d >> 11);
    uint32_t sg = ((a >> 5) & 63) + ((b >> 5) & 63) + ((c >> 5) & 63) + ((d >> 5) & 63);
    uint32_t sb = (a & 31) + (b & 31) + (c & 31) + (d & 31);
    uint32_t r = 16 + ((((sr * 8) >> 2) * 219) >> 8);
    uint32_t g = 16 + ((sg * 219) >> 8);
    uint32_t bl = 16 + ((((sb * 8) >> 2) * 219) >> 8);
    *cb = uint8_t((t[768 + r] + t[1024 + g] + t[1280 + bl]) >> 16);
    *cr = uint8_t((t[1280 + r] + t[1536 + g] + t[1792 + bl]) >> 16);
}

} // namespace

void Pixel565_toYCbCr420(const uint16_t *source, uint8_t *destination, uint32_t stride,
                         int32_t width, int32_t height)
{
    if (!source || !destination || width <= 0 || height <= 0)
        return;
    const size_t evenW = (size_t(width) + 1) & ~size_t(1);
    const size_t evenH = (size_t(height) + 1) & ~size_t(1);
    uint8_t *yPlane = destination;
    uint8_t *cbPlane = yPlane + evenW * evenH;
    uint8_t *crPlane = cbPlane + evenW * evenH / 4;
    const uint8_t *base = reinterpret_cast<const uint8_t *>(source);
    const int32_t pairs = width / 2;
    for (int32_t y = 0; y < height; y += 2) {
        const uint8_t *top = base + size_t(y) * stride;
        // An odd height: the last row is its own second row.
        const uint8_t *below = y + 1 < height ? top + stride : top;
        uint8_t *y0 = yPlane + size_t(y) * evenW;
        uint8_t *y1 = y0 + evenW;
        uint8_t *cb = cbPlane + size_t(y / 2) * (evenW / 2);
        uint8_t *cr = crPlane + size_t(y / 2) * (evenW / 2);
        for (int32_t i = 0; i < pairs; i++) {
            uint32_t a = load(top, 2 * i), b = load(top, 2 * i + 1);
            uint32_t c = load(below, 2 * i), d = load(below, 2 * i + 1);
            y0[2 * i] = luma(a);
            y0[2 * i + 1] = luma(b);
            y1[2 * i] = luma(c);
            y1[2 * i + 1] = luma(d);
            chroma(a, b, c, d, cb + i, cr + i);
        }
        if (width & 1) {
            // An odd width: the last pixel is its own right neighbour.
            uint32_t a = load(top, width - 1), c = load(below, width - 1);
            y0[width - 1] = y0[width] = luma(a);
            y1[width - 1] = y1[width] = luma(c);
            chroma(a, a, c, c, cb + pairs, cr + pairs);
        }
    }
}
