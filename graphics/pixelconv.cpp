// Row converters from 32-bit colour pixels: the colour row converters of
// the image conversion module, under the names the readers use.
#include "graphics/pixelconv.h"

PixelConvFn PixelConv_fromRgb32(EngineContext *context, uint32_t format)
{
    return RowConv_forFormat(context, format);
}

void PixelConv_rows(PixelConvFn convert, const uint32_t *source, size_t sourceStride, uint32_t width,
                    uint32_t rows, uint8_t *destination, size_t destinationStride)
{
    if (!convert || !source || !destination)
        return;
    RowConv_applyRowsDirect(convert, reinterpret_cast<const uint8_t *>(source), sourceStride, width, rows,
                            destination, destinationStride);
}
