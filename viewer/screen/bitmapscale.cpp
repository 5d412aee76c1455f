// Nearest-neighbour scaling by an error term (see bitmapscale.h).
#include "viewer/screen/bitmapscale.h"

#include <cstring>

#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "viewer/screen/screen.h"
#include "graphics/scale565.h"

namespace {

// Steps the error term of one axis: every scaled position adds
// 2 x (source - 1), every source step takes off 2 x (scaled - 1). A scaled
// size of 1 has no step (it keeps the first source position), and the
// source never moves past its last position.
struct Stepper {
    int64_t error;
    int64_t add;
    int64_t take;
    int32_t position;
    int32_t last;

    Stepper(int32_t source, int32_t scaled)
        : error(1 - int64_t(scaled)), add(2 * (int64_t(source) - 1)),
          take(2 * (int64_t(scaled) - 1)), position(0), last(source - 1)
    {
    }
    // One scaled position further; true when the source position moved.
    bool next()
    {
        if (take <= 0)
            return false;
        error += add;
        bool moved = false;
        while (error > 0) {
            error -= take;
            if (position < last) {
                position++;
                moved = true;
            }
        }
        return moved;
    }
};

template <typename Pixel>
void scaleRow(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow, void *destinationRow,
              int32_t firstColumn, int32_t count)
{
    const Pixel *source = static_cast<const Pixel *>(sourceRow);
    Pixel *out = static_cast<Pixel *>(destinationRow);
    Stepper step(sourceWidth, scaledWidth);
    for (int32_t i = 0; i < firstColumn; i++)
        step.next();
    out[0] = source[step.position];
    for (int32_t i = 1; i < count; i++) {
        step.next();
        out[i] = source[step.position];
    }
}

typedef void (*RowFn)(int32_t, int32_t, const void *, void *, int32_t, int32_t);

} // namespace

void Bitmap_scaleRow8(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                      void *destinationRow, int32_t firstColumn, int32_t count)
{
    scaleRow<uint8_t>(sourceWidth, scaledWidth, sourceRow, destinationRow, firstColumn, count);
}

void Bitmap_scaleRow16(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                       void *destinationRow, int32_t firstColumn, int32_t count)
{
    scaleRow<uint16_t>(sourceWidth, scaledWidth, sourceRow, destinationRow, firstColumn, count);
}

void Bitmap_scaleRow32(int32_t sourceWidth, int32_t scaledWidth, const void *sourceRow,
                       void *destinationRow, int32_t firstColumn, int32_t count)
{
    scaleRow<uint32_t>(sourceWidth, scaledWidth, sourceRow, destinationRow, firstColumn, count);
}

int Bitmap_scaleNearest(const PixelBuf *source, int32_t scaledWidth, int32_t scaledHeight,
                        const PixelBuf *destination, int32_t firstRow, int32_t firstColumn)
{
    if (!source || !destination)
        return Res_nullInput;
    uint32_t format = source->format;
    if (format != destination->format ||
        (format != Pixel_formatGrey8 && format != Pixel_format565 && format != Pixel_formatRGBA))
        return Res_scaleFormatPair;
    if (destination->width <= 0 || destination->height <= 0 || source->width <= 0 ||
        source->height <= 0 || scaledWidth < 1 || scaledHeight < 1 || !source->pixels ||
        !destination->pixels)
        return Res_ok;
    firstRow = firstRow > 0 ? firstRow : 0;
    firstColumn = firstColumn > 0 ? firstColumn : 0;

    if (format == Pixel_format565) {
        bool up = source->width <= scaledWidth && source->height <= scaledHeight;
        bool down = source->width >= scaledWidth && source->height >= scaledHeight;
        if (up || down) {
            (up ? Pixel565_scaleDitherUp : Pixel565_scaleDitherDown)(
                reinterpret_cast<const uint16_t *>(source->pixels), source->width, source->height,
                reinterpret_cast<uint16_t *>(destination->pixels), scaledWidth, scaledHeight,
                firstColumn, firstRow, source->stride, destination->width, destination->height,
                destination->stride);
            return Res_ok;
        }
    }

    RowFn row = format == Pixel_formatGrey8 ? Bitmap_scaleRow8
                : format == Pixel_format565 ? Bitmap_scaleRow16
                                            : Bitmap_scaleRow32;
    size_t rowBytes = size_t(destination->width) << (format == Pixel_formatGrey8 ? 0
                                                     : format == Pixel_format565 ? 1
                                                                                 : 2);
    Stepper step(source->height, scaledHeight);
    for (int32_t i = 0; i < firstRow; i++)
        step.next();
    const uint8_t *in = source->pixels + size_t(step.position) * source->stride;
    uint8_t *out = destination->pixels;
    row(source->width, scaledWidth, in, out, firstColumn, destination->width);
    for (int32_t y = 1; y < destination->height; y++) {
        uint8_t *previous = out;
        out += destination->stride;
        if (step.next()) {
            in = source->pixels + size_t(step.position) * source->stride;
            row(source->width, scaledWidth, in, out, firstColumn, destination->width);
        } else {
            // The same source row as above: copy the pixels of the window
            // only, never the stride's padding beyond them.
            memcpy(out, previous, rowBytes);
        }
    }
    return Res_ok;
}

Bitmap *Bitmap_createFromRecord(const Screen *screen)
{
    if (!screen)
        return nullptr;
    uint32_t flags = screen->flags & Screen_flagIndirect ? uint32_t(Bitmap_flagIndirect) : 0u;
    Bitmap *bitmap = nullptr;
    if (Bitmap_create(screen->engine, &bitmap, screen->width, screen->height, screen->format,
                      screen->resolution, screen->pixels, flags) != Res_ok)
        return nullptr;
    return bitmap;
}
