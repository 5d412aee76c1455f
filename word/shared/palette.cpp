// Palettes from colour stops.
#include "word/shared/palette.h"

#include <cstring>

#include "core/result.h"
#include "graphics/pixelbuf.h"

namespace {

inline void put(uint8_t *row, uint32_t i, uint32_t colour)
{
    memcpy(row + size_t(i) * 4, &colour, 4);
}

// Entries from..to-1 run from colour a towards colour b over distance
// to - from (b itself is written by the caller at to).
void ramp(uint8_t *row, uint32_t from, uint32_t to, uint32_t a, uint32_t b)
{
    int64_t value[4], step[4];
    const int64_t distance = int64_t(to) - from;
    for (int c = 0; c < 4; c++) {
        int64_t ca = (a >> (8 * c)) & 255, cb = (b >> (8 * c)) & 255;
        value[c] = ca << 16;
        step[c] = (cb - ca) * 65536 / distance;
    }
    for (uint32_t i = from; i < to; i++) {
        uint32_t colour = 0;
        for (int c = 0; c < 4; c++) {
            colour |= uint32_t((value[c] >> 16) & 255) << (8 * c);
            value[c] += step[c];
        }
        put(row, i, colour);
    }
}

} // namespace

int Palette_isTwoEntry(const uint32_t *stops, uint32_t flag)
{
    return stops && flag == 0 && stops[0] == 2 && stops[1] == 0 && stops[3] == 255 ? 1 : 0;
}

int Palette_fromStops(PixelBuf *buffer, const uint32_t *stops, uint32_t flag)
{
    if (!buffer || !stops || !buffer->pixels)
        return Res_nullInput;
    const uint32_t count = stops[0];
    if (count == 0)
        return Palette_noStops;
    const bool two = Palette_isTwoEntry(stops, flag);
    if (buffer->format != Pixel_formatRGBA || buffer->height < 1 || buffer->width < (two ? 2 : 256))
        return Palette_badBuffer;
    uint8_t *row = buffer->pixels;
    if (two) {
        put(row, 0, stops[2]);
        put(row, 1, stops[4]);
        return Res_ok;
    }
    auto position = [&](uint32_t i) { return stops[1 + 2 * i] < 255 ? stops[1 + 2 * i] : 255u; };
    auto colour = [&](uint32_t i) { return stops[2 + 2 * i]; };
    uint32_t at = position(0);
    for (uint32_t i = 0; i < at; i++)
        put(row, i, colour(0));
    put(row, at, colour(0));
    uint32_t last = 0;
    for (uint32_t s = 1; s < count; s++) {
        uint32_t to = position(s);
        if (to < at)
            break;
        if (to > at)
            ramp(row, at, to, colour(last), colour(s));
        put(row, to, colour(s));
        at = to;
        last = s;
    }
    for (uint32_t i = at + 1; i < 256; i++)
        put(row, i, colour(last));
    return Res_ok;
}
