// RGB565 to packed YCbCr 4:2:2 for screen captures, over one constant
// table of BT.601 coefficients.
//
// A channel is the sum of three table entries shifted right by 16; the
// rounding half and the chroma offset of 128 live in the table, so the
// per-pixel work is three lookups and two adds per channel.
#include "platform/api/pixel.h"

#include <cstddef>

namespace {

constexpr int tableSize = 256;

// The eight sub-tables: red, green, blue of Y; red, green of Cb; blue of Cb
// (also red of Cr); green and blue of Cr.
constexpr int32_t entryOf(int table, int i)
{
    switch (table) {
    case 0: return i * 19595;
    case 1: return i * 38470;
    case 2: return i * 7471 + 32768;
    case 3: return -i * 11059;
    case 4: return -i * 21709;
    case 5: return i * 32768 + 8421375;
    case 6: return -i * 27439;
    default: return -i * 5329;
    }
}

struct YccTable {
    int32_t e[8][tableSize];
};

constexpr YccTable makeTable()
{
    YccTable t{};
    for (int s = 0; s < 8; s++)
        for (int i = 0; i < tableSize; i++)
            t.e[s][i] = entryOf(s, i);
    return t;
}

constexpr YccTable ycc = makeTable();

// Component indices in the studio range.
int index5(uint32_t c)
{
    return 16 + int(c * 1752 / 256);
}

int index6(uint32_t c)
{
    return 16 + int(c * 876 / 256);
}

int pairIndex5(uint32_t a, uint32_t b)
{
    return 16 + int((((a + b) * 8) / 2 * 219) >> 8);
}

int pairIndex6(uint32_t a, uint32_t b)
{
    return 16 + int((((a + b) * 4) / 2 * 219) >> 8);
}

uint32_t red(uint16_t p)
{
    return p >> 11;
}

uint32_t green(uint16_t p)
{
    return (p >> 5) & 0x3F;
}

uint32_t blue(uint16_t p)
{
    return p & 0x1F;
}

uint32_t luma(uint16_t p)
{
    int32_t y = ycc.e[0][index5(red(p))] + ycc.e[1][index6(green(p))] + ycc.e[2][index5(blue(p))];
    return uint32_t(y >> 16) & 0xFF;
}

// Cb and Cr from three component indices.
uint32_t chromaB(int r, int g, int b)
{
    return uint32_t((ycc.e[3][r] + ycc.e[4][g] + ycc.e[5][b]) >> 16) & 0xFF;
}

uint32_t chromaR(int r, int g, int b)
{
    return uint32_t((ycc.e[5][r] + ycc.e[6][g] + ycc.e[7][b]) >> 16) & 0xFF;
}

// Cb and Cr of a pixel pair, from the averaged component indices.
void pairChroma(uint16_t p0, uint16_t p1, uint32_t *cb, uint32_t *cr)
{
    int r = pairIndex5(red(p0), red(p1));
    int g = pairIndex6(green(p0), green(p1));
    int b = pairIndex5(blue(p0), blue(p1));
    *cb = chromaB(r, g, b);
    *cr = chromaR(r, g, b);
}

} // namespace

int32_t Pixel_yccEntry(int table, int index)
{
    if (table < 0 || table > 7 || index < 0 || index >= tableSize)
        return 0;
    return ycc.e[table][index];
}

void Pixel_rgb565ToYcc422Packed(const uint16_t *src, uint16_t *dst, int32_t srcPitch, int32_t width,
                                int32_t height, int32_t dstPitch)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    for (int32_t row = 0; row < height; row++) {
        for (int32_t x = 0; x < width; x += 2) {
            uint16_t p0 = src[0];
            uint16_t p1 = x + 1 < width ? src[1] : p0;
            uint32_t cb, cr;
            pairChroma(p0, p1, &cb, &cr);
            dst[0] = uint16_t((luma(p0) << 8) | cb);
            dst[1] = uint16_t((luma(p1) << 8) | cr);
            dst += 2;
            src += x + 1 < width ? 2 : 1;
        }
        src += srcPitch / 2 - width;
        dst += dstPitch / 2 - width - (width & 1);
    }
}

void Pixel_rgb565ToYcc32(const uint16_t *src, uint32_t *dst, int32_t srcPitch, int32_t width,
                         int32_t height, int32_t dstPitch)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    for (int32_t row = 0; row < height; row++) {
        for (int32_t x = 0; x < width; x++) {
            uint16_t p = *src++;
            int r = index5(red(p)), g = index6(green(p)), b = index5(blue(p));
            *dst++ = (luma(p) << 16) | (chromaB(r, g, b) << 8) | chromaR(r, g, b);
        }
        src += srcPitch / 2 - width;
        dst += dstPitch / 4 - width;
    }
}

void Pixel_rgb565ToYcc422Planar(const uint16_t *src, uint8_t *dst, int32_t srcPitch, int32_t width,
                                int32_t height)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    size_t w = size_t(width + (width & 1)), h = size_t(height + (height & 1));
    uint8_t *y = dst;
    uint8_t *cb = dst + w * h;
    uint8_t *cr = cb + w * h / 2;
    for (int32_t row = 0; row < height; row++) {
        for (int32_t x = 0; x < width; x += 2) {
            uint16_t p0 = src[0];
            uint16_t p1 = x + 1 < width ? src[1] : p0;
            uint32_t b, r;
            pairChroma(p0, p1, &b, &r);
            *y++ = uint8_t(luma(p0));
            *cb++ = uint8_t(b);
            *cr++ = uint8_t(r);
            *y++ = uint8_t(luma(p1));
            src += x + 1 < width ? 2 : 1;
        }
        src += srcPitch / 2 - width;
    }
}
