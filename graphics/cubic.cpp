// Smooth image reduction with the cubic B-spline filter.
#include "graphics/cubic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pixelbuf.h"
#include "graphics/resample.h"
#include "graphics/imageutil.h"

namespace {

// The cubic B-spline: 1 / 6 of (4 - 6x^2 + 3|x|^3) inside one pixel,
// (2 - |x|)^3 from one to two.
double spline(double x)
{
    x = std::fabs(x);
    if (x < 1.0)
        return (4.0 - 6.0 * x * x + 3.0 * x * x * x) / 6.0;
    if (x < 2.0) {
        double u = 2.0 - x;
        return u * u * u / 6.0;
    }
    return 0.0;
}

// Rounds weights (adding up to 1) to 1/1024, the largest taking what the
// rounding left over so that they add up to exactly 1024.
void quantise(const double *w, int32_t n, int16_t *out)
{
    int32_t sum = 0, largest = 0;
    for (int32_t k = 0; k < n; k++) {
        out[k] = int16_t(std::lround(w[k] * 1024.0));
        sum += out[k];
        if (w[k] > w[largest])
            largest = k;
    }
    out[largest] = int16_t(out[largest] + 1024 - sum);
}

} // namespace

void Image_cubicWeights(uint32_t t, int32_t weights[4])
{
    // In 1/65536 so that the cubes stay within 64 bits.
    int64_t u = int64_t(t >> 14), one = 65536;
    int64_t v = one - u, cube = one * one * one;
    int64_t w0 = v * v * v, w3 = u * u * u;
    int64_t w1 = 3 * u * u * u - 6 * u * u * one + 4 * cube;
    // Rounded to 1/1024 (the weights are 1/6 of these).
    weights[0] = int32_t((w0 * 1024 / 6 + cube / 2) / cube);
    weights[1] = int32_t((w1 * 1024 / 6 + cube / 2) / cube);
    weights[3] = int32_t((w3 * 1024 / 6 + cube / 2) / cube);
    weights[2] = 1024 - weights[0] - weights[1] - weights[3];
}

void CubicTaps_free(CubicTaps *taps)
{
    Mem_free(taps->first);
    Mem_free(taps->count);
    Mem_free(taps->offset);
    Mem_free(taps->weights);
    *taps = CubicTaps{};
}

int Image_cubicTaps(int32_t sourceSize, int32_t destinationSize, CubicTaps *taps)
{
    *taps = CubicTaps{};
    double ratio = double(sourceSize) / double(destinationSize);
    double scale = std::max(ratio, 1.0);
    double support = 2.0 * scale;
    int32_t most = int32_t(2.0 * support) + 3;
    taps->first = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(destinationSize)));
    taps->count = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(destinationSize)));
    taps->offset = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * size_t(destinationSize)));
    taps->weights = static_cast<int16_t *>(
        Mem_malloc(sizeof(int16_t) * size_t(destinationSize) * size_t(most)));
    double *w = static_cast<double *>(Mem_malloc(sizeof(double) * size_t(most)));
    if (!taps->first || !taps->count || !taps->offset || !taps->weights || !w) {
        Mem_free(w);
        CubicTaps_free(taps);
        return Res_noMemory;
    }
    int32_t offset = 0;
    for (int32_t i = 0; i < destinationSize; i++) {
        // Pixel centres: output pixel i covers source [i, i + 1) x ratio.
        double centre = (i + 0.5) * ratio;
        int32_t start = std::max(int32_t(centre - support + 0.5), 0);
        int32_t stop = std::min(int32_t(centre + support + 0.5), sourceSize);
        if (stop <= start) { // a centre past the edge keeps its nearest pixel
            start = std::min(start, sourceSize - 1);
            stop = start + 1;
        }
        int32_t n = std::min(stop - start, most);
        double total = 0.0;
        for (int32_t k = 0; k < n; k++) {
            w[k] = spline((start + k - centre + 0.5) / scale);
            total += w[k];
        }
        // Taps cut off at the edges: the remaining ones share their weight.
        for (int32_t k = 0; k < n; k++)
            w[k] = total > 0.0 ? w[k] / total : (k == 0 ? 1.0 : 0.0);
        quantise(w, n, taps->weights + offset);
        taps->first[i] = start;
        taps->count[i] = n;
        taps->offset[i] = offset;
        offset += n;
    }
    Mem_free(w);
    return Res_ok;
}

int Image_resampleCubic(const PixelBuf *source, PixelBuf *destination)
{
    if (!source || !destination || !source->pixels || !destination->pixels)
        return Res_nullInput;
    if (source->format != destination->format)
        return Resample_badFormat;
    uint32_t bpp = Pixel_bytesPerPixel(source->format);
    if (source->format != Pixel_formatGrey8 && bpp != 4)
        return Resample_badFormat;
    int32_t sw = source->width, sh = source->height;
    int32_t dw = destination->width, dh = destination->height;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1)
        return Resample_badSize;
    CubicTaps h{}, v{};
    uint16_t *rows = nullptr;
    int r = Image_cubicTaps(sw, dw, &h);
    if (r == Res_ok)
        r = Image_cubicTaps(sh, dh, &v);
    size_t rowValues = size_t(dw) * bpp;
    if (r == Res_ok) {
        rows = static_cast<uint16_t *>(Mem_malloc(sizeof(uint16_t) * rowValues * size_t(sh)));
        if (!rows)
            r = Res_noMemory;
    }
    if (r != Res_ok) {
        CubicTaps_free(&h);
        CubicTaps_free(&v);
        return r;
    }
    // Rows: each value keeps eight bits below the byte (the sum of 1024ths
    // divided by 4); the columns then take away the remaining 18 bits.
    for (int32_t y = 0; y < sh; y++) {
        const uint8_t *src = source->pixels + size_t(y) * source->stride;
        uint16_t *out = rows + size_t(y) * rowValues;
        for (int32_t x = 0; x < dw; x++) {
            const int16_t *w = h.weights + h.offset[x];
            const uint8_t *s = src + size_t(h.first[x]) * bpp;
            int32_t n = h.count[x];
            if (bpp == 1) {
                int32_t sum = 0;
                for (int32_t k = 0; k < n; k++)
                    sum += w[k] * s[k];
                out[x] = uint16_t((sum + 2) >> 2);
            } else {
                int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
                for (int32_t k = 0; k < n; k++, s += 4) {
                    s0 += w[k] * s[0];
                    s1 += w[k] * s[1];
                    s2 += w[k] * s[2];
                    s3 += w[k] * s[3];
                }
                uint16_t *o = out + size_t(x) * 4;
                o[0] = uint16_t((s0 + 2) >> 2);
                o[1] = uint16_t((s1 + 2) >> 2);
                o[2] = uint16_t((s2 + 2) >> 2);
                o[3] = uint16_t((s3 + 2) >> 2);
            }
        }
    }
    // Columns, a whole output row at a time.
    int32_t *acc = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t) * rowValues));
    if (!acc) {
        Mem_free(rows);
        CubicTaps_free(&h);
        CubicTaps_free(&v);
        return Res_noMemory;
    }
    for (int32_t y = 0; y < dh; y++) {
        std::memset(acc, 0, sizeof(int32_t) * rowValues);
        const int16_t *w = v.weights + v.offset[y];
        for (int32_t k = 0; k < v.count[y]; k++) {
            const uint16_t *in = rows + size_t(v.first[y] + k) * rowValues;
            int32_t wk = w[k];
            for (size_t i = 0; i < rowValues; i++)
                acc[i] += wk * in[i];
        }
        uint8_t *d = destination->pixels + size_t(y) * destination->stride;
        for (size_t i = 0; i < rowValues; i++)
            d[i] = uint8_t(std::clamp((acc[i] + (1 << 17)) >> 18, 0, 255));
    }
    Mem_free(acc);
    Mem_free(rows);
    CubicTaps_free(&h);
    CubicTaps_free(&v);
    return Res_ok;
}

int Image_reduceSmooth(const PixelBuf *source, PixelBuf *destination)
{
    if (!source || !destination)
        return Res_nullInput;
    if (source->width < 4 || source->height < 4 || destination->width > source->width ||
        destination->height > source->height)
        return Resample_badSize;
    return Image_resampleCubic(source, destination);
}

int Image_drawScaled(EngineContext *ctx, PixelBuf *target, const PixelBuf *picture, int32_t width,
                     int32_t height, int32_t x, int32_t y, int32_t quality)
{
    if (!picture || !target)
        return Res_nullInput;
    if (picture->width == width && picture->height == height)
        quality = 0;
    if (quality >= 2 && picture->format == target->format) {
        PixelBuf *reduced = nullptr;
        if (PixelBuf_create(&reduced, width, height, picture->format, picture->scale) == Res_ok) {
            int r = Image_reduceSmooth(picture, reduced);
            if (r == Res_ok)
                r = Image_scaleIntoBuffer(ctx, reduced, width, height, target, x, y, 0);
            PixelBuf_destroy(reduced);
            if (r == Res_ok)
                return Res_ok;
        }
    }
    if (quality >= 1 &&
        Image_scaleIntoBuffer(ctx, picture, width, height, target, x, y, 1) == Res_ok)
        return Res_ok;
    return Image_scaleIntoBuffer(ctx, picture, width, height, target, x, y, 0);
}

void Pixel_halveRgb565(uint16_t *pixels, int32_t pitch, int32_t width, int32_t height)
{
    if (!pixels || width < 2 || height < 2 || pitch < width)
        return;
    // Output row y lies at or before input row 2y and output pixel x at or
    // before input pixel 2x, so reading ahead of writing is safe in place.
    for (int32_t y = 0; y < height / 2; y++) {
        const uint16_t *a = pixels + size_t(2 * y) * size_t(pitch);
        const uint16_t *b = a + pitch;
        uint16_t *d = pixels + size_t(y) * size_t(pitch);
        for (int32_t x = 0; x < width / 2; x++) {
            uint32_t p[4] = {a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]};
            uint32_t r = 2, g = 2, bl = 2;
            for (uint32_t v : p) {
                r += v >> 11;
                g += (v >> 5) & 0x3F;
                bl += v & 0x1F;
            }
            d[x] = uint16_t(((r >> 2) << 11) | ((g >> 2) << 5) | (bl >> 2));
        }
    }
}
