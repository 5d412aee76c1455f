// Gain and offset of 8-bit values as a draw item stage.
#include "graphics/level.h"

#include <cstring>

#include "core/result.h"
#include "graphics/pixelbuf.h"

namespace {

struct Levels {
    int32_t gain, offset;
};

Levels readLevels(const void *p)
{
    int16_t w[2];
    memcpy(w, p, 4);
    return Levels{w[0], w[1]};
}

inline uint8_t adjust(uint8_t v, Levels l)
{
    int32_t r = l.offset + (int32_t(v) * l.gain) / 256;
    return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

int levelConstant(const uint8_t *source, ptrdiff_t sourceStride, void *levels, int32_t x, int32_t y,
                  int32_t width, int32_t height, uint8_t *target, ptrdiff_t targetStride)
{
    (void)Pixel_levelOne(source, sourceStride, levels, x, y, width, height, target, targetStride);
    return Res_ok;
}

} // namespace

int Pixel_levelConverter(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width, int32_t, int,
                         void *levels, StageRecord *stage)
{
    if (inputIsBuffer > 1 || inputFormat != Pixel_formatGrey8 || !levels || width < 0)
        return Level_badFormats;
    stage->outputIsBuffer = inputIsBuffer;
    stage->outputFormat = Pixel_formatGrey8;
    stage->worksInPlace = 0;
    stage->outputBytes = inputIsBuffer
                             ? (uint32_t(width) * Pixel_bytesPerPixel(Pixel_formatGrey8) + 3) & ~3u
                             : Pixel_bytesPerPixel(Pixel_formatGrey8);
    stage->routine.copy = inputIsBuffer ? Pixel_levelRows : levelConstant;
    stage->parameter = levels;
    return Res_ok;
}

const StageOps Level_stageOps = {Pixel_levelConverter};

int Pixel_levelRows(const uint8_t *source, ptrdiff_t sourceStride, void *levels, int32_t, int32_t,
                    int32_t width, int32_t height, uint8_t *target, ptrdiff_t targetStride)
{
    const Levels l = readLevels(levels);
    for (int32_t r = 0; r < height; r++) {
        const uint8_t *s = source + r * sourceStride;
        uint8_t *t = target + r * targetStride;
        for (int32_t i = 0; i < width; i++)
            t[i] = adjust(s[i], l);
    }
    return Res_ok;
}

int Pixel_levelOne(const uint8_t *source, ptrdiff_t, void *levels, int32_t, int32_t, int32_t,
                   int32_t, uint8_t *target, ptrdiff_t)
{
    *target = adjust(*source, readLevels(levels));
    return *target;
}
