// The blitter's pixel conversion.
#include "host/blitrows.h"

#include <cstring>

void Blit_rows565To18(const uint8_t *src, int srcRowBytes, uint8_t *dst, int dstLineStep, int w, int h)
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
            uint32_t v0 = Blit_pixel18(p[0]) | 0xFC0000u, v1 = Blit_pixel18(p[1]) | 0xFC0000u;
            uint32_t v2 = Blit_pixel18(p[2]) | 0xFC0000u, v3 = Blit_pixel18(p[3]) | 0xFC0000u;
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
