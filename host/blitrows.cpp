// The blitter's pixel conversion.
#include "host/blitrows.h"

#include <cstring>

namespace {

// The 18-bit value with its written mark, in two halves: the low byte of a
// pixel holds blue and the low half of green, the high byte red and the
// rest of green.
struct HalfTables {
    uint32_t low[256];
    uint32_t high[256];
    constexpr HalfTables() : low(), high()
    {
        for (uint32_t b = 0; b < 256; b++) {
            low[b] = Blit_pixel18(uint16_t(b)) | 0xFC0000u;
            high[b] = Blit_pixel18(uint16_t(b << 8));
        }
    }
};

constexpr HalfTables tables;

inline uint32_t marked(uint16_t p)
{
    return tables.low[p & 0xFF] | tables.high[p >> 8];
}

} // namespace

void Blit_rows565To18(const uint8_t *src, int srcRowBytes, uint8_t *dst, int dstLineStep, int w,
                      int h)
{
    if (!src || !dst || w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        const uint8_t *s = src + intptr_t(y) * srcRowBytes;
        uint8_t *d = dst + intptr_t(y) * dstLineStep;
        int x = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // Four pixels make twelve bytes: three 32-bit stores.
        for (; x + 4 <= w; x += 4, s += 8, d += 12) {
            uint16_t p[4];
            memcpy(p, s, sizeof(p));
            uint32_t v0 = marked(p[0]), v1 = marked(p[1]), v2 = marked(p[2]), v3 = marked(p[3]);
            uint32_t words[3] = {v0 | v1 << 24, v1 >> 8 | v2 << 16, v2 >> 16 | v3 << 8};
            memcpy(d, words, sizeof(words));
        }
#endif
        for (; x < w; x++, s += 2, d += 3) {
            uint16_t p;
            memcpy(&p, s, sizeof(p));
            uint32_t v = Blit_pixel18(p);
            d[0] = uint8_t(v);
            d[1] = uint8_t(v >> 8);
            d[2] = uint8_t(0xFC | v >> 16);
        }
    }
}
