// Colour transfer and grey stages, and the 5-6-5 channel mapping.
#include "graphics/transfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/result.h"
#include "graphics/pixelbuf.h"

namespace {

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t *p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}

inline uint32_t widen5(uint32_t c)
{
    return (c << 3) | (c >> 2);
}

inline uint32_t widen6(uint32_t c)
{
    return (c << 2) | (c >> 4);
}

inline uint16_t transferPixel(const uint8_t *t, uint16_t p)
{
    uint32_t r = t[widen5(p >> 11)] >> 3;
    uint32_t g = t[widen6((p >> 5) & 63)] >> 2;
    uint32_t b = t[widen5(p & 31)] >> 3;
    return uint16_t(r << 11 | g << 5 | b);
}

// The grey level of a pixel taken in a pair, from the channels as stored.
inline uint32_t greyPaired(uint16_t p)
{
    return (77 * (uint32_t(p) >> 11) + 75 * ((uint32_t(p) >> 5) & 63) + 29 * (p & 31u)) >> 7;
}

// The grey level of a pixel taken alone, from the widened channels.
inline uint32_t greyAlone(uint16_t p)
{
    return (77 * widen5(uint32_t(p) >> 11) + 150 * widen6((uint32_t(p) >> 5) & 63) +
            29 * widen5(p & 31u)) >>
           10;
}

inline uint16_t greyPixel(uint32_t g6)
{
    return uint16_t((g6 >> 1) << 11 | g6 << 5 | (g6 >> 1));
}

uint32_t transferColour(const uint8_t *t, uint32_t c)
{
    return uint32_t(t[c & 255]) | uint32_t(t[(c >> 8) & 255]) << 8 |
           uint32_t(t[(c >> 16) & 255]) << 16;
}

uint32_t greyColour(uint32_t c)
{
    uint32_t g = (77 * (c & 255) + 150 * ((c >> 8) & 255) + 29 * ((c >> 16) & 255)) >> 8;
    return g | g << 8 | g << 16;
}

// ----- transfer routines

int transferConstant(const uint8_t *input, ptrdiff_t, void *parameter, int32_t, int32_t, int32_t,
                     int32_t, uint8_t *output, ptrdiff_t)
{
    uint32_t c;
    std::memcpy(&c, input, 4);
    c = transferColour(static_cast<const uint8_t *>(parameter), c);
    std::memcpy(output, &c, 4);
    return Res_ok;
}

int transferRowsCopy(const uint8_t *input, ptrdiff_t inputStride, void *parameter, int32_t, int32_t,
                     int32_t width, int32_t rows, uint8_t *output, ptrdiff_t outputStride)
{
    const uint8_t *t = static_cast<const uint8_t *>(parameter);
    for (int32_t r = 0; r < rows; r++)
        for (int32_t i = 0; i < width; i++)
            store16(output + r * outputStride + 2 * i,
                    transferPixel(t, load16(input + r * inputStride + 2 * i)));
    return Res_ok;
}

int transferRowsInPlace(uint8_t *pixels, ptrdiff_t stride, void *parameter, int32_t, int32_t,
                        int32_t width, int32_t rows)
{
    return transferRowsCopy(pixels, stride, parameter, 0, 0, width, rows, pixels, stride);
}

// ----- grey routines

int greyConstant(const uint8_t *input, ptrdiff_t, void *, int32_t, int32_t, int32_t, int32_t,
                 uint8_t *output, ptrdiff_t)
{
    uint32_t c;
    std::memcpy(&c, input, 4);
    c = greyColour(c);
    std::memcpy(output, &c, 4);
    return Res_ok;
}

// Pixels are paired from each row's first pixel; the last pixel of an odd
// row is taken alone.
int greyRowsCopy(const uint8_t *input, ptrdiff_t inputStride, void *, int32_t, int32_t,
                 int32_t width, int32_t rows, uint8_t *output, ptrdiff_t outputStride)
{
    int32_t paired = width & ~1;
    for (int32_t r = 0; r < rows; r++) {
        const uint8_t *s = input + r * inputStride;
        uint8_t *d = output + r * outputStride;
        for (int32_t i = 0; i < paired; i++)
            store16(d + 2 * i, greyPixel(greyPaired(load16(s + 2 * i))));
        if (width & 1)
            store16(d + 2 * paired, greyPixel(greyAlone(load16(s + 2 * paired))));
    }
    return Res_ok;
}

int greyRowsInPlace(uint8_t *pixels, ptrdiff_t stride, void *, int32_t, int32_t, int32_t width,
                    int32_t rows)
{
    return greyRowsCopy(pixels, stride, nullptr, 0, 0, width, rows, pixels, stride);
}

int declare(uint32_t isBuffer, uint32_t format, int32_t width, int stageBefore, StageRecord *stage,
            StageCopyFn constant, StageCopyFn copy, StageInPlaceFn inPlace)
{
    if (!isBuffer && format == Pixel_formatRGBA) {
        stage->routine.copy = constant;
        stage->outputIsBuffer = 0;
        stage->outputFormat = Pixel_formatRGBA;
        stage->worksInPlace = 0;
        stage->outputBytes = 4;
        return Res_ok;
    }
    if (isBuffer && format == Pixel_format565 && width >= 0) {
        stage->outputIsBuffer = 1;
        stage->outputFormat = Pixel_format565;
        stage->outputBytes = (uint32_t(width) * 2 + 3) & ~3u;
        stage->worksInPlace = stageBefore ? 1 : 0;
        if (stageBefore)
            stage->routine.inPlace = inPlace;
        else
            stage->routine.copy = copy;
        return Res_ok;
    }
    return Stage_badInput;
}

} // namespace

void Pixel_buildTransferTable(double gamma, int32_t brightness, int32_t contrast,
                              uint8_t table[256])
{
    double b = std::max(double(contrast) + 255.0, 0.0);
    double c = double(brightness) + 128.0;
    for (int i = 0; i < 256; i++) {
        double x = i == 0 ? 0.0 : 255.0 * std::pow(i / 255.0, gamma);
        double v = std::trunc((x - 128.0) * b / 255.0 + c);
        table[i] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
}

int Transfer_declareStage(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width, int32_t,
                          int stageBefore, void *parameter, StageRecord *stage)
{
    if (!parameter)
        return Stage_badInput;
    return declare(inputIsBuffer, inputFormat, width, stageBefore, stage, transferConstant,
                   transferRowsCopy, transferRowsInPlace);
}

int Grey_declareStage(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width, int32_t,
                      int stageBefore, void *, StageRecord *stage)
{
    return declare(inputIsBuffer, inputFormat, width, stageBefore, stage, greyConstant,
                   greyRowsCopy, greyRowsInPlace);
}

const StageOps Transfer_stageOps = {Transfer_declareStage};
const StageOps Grey_stageOps = {Grey_declareStage};

void Pixel_mapChannels565(const uint8_t *tables, const uint8_t *source, uint8_t *destination,
                          int32_t width, int32_t rows, ptrdiff_t sourceStride,
                          ptrdiff_t destinationStride)
{
    for (int32_t r = 0; r < rows; r++) {
        const uint8_t *s = source + r * sourceStride;
        uint8_t *d = destination + r * destinationStride;
        for (int32_t i = 0; i < width; i++) {
            uint32_t p = load16(s + 2 * i);
            uint32_t q = uint32_t(tables[p >> 11] & 31) << 11 |
                         uint32_t(tables[32 + ((p >> 5) & 63)] & 63) << 5 |
                         uint32_t(tables[96 + (p & 31)] & 31);
            store16(d + 2 * i, uint16_t(q));
        }
    }
}
