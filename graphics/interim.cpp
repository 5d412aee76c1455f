// Stand-ins for graphics services that the core calls before the graphics
// subsystem exists. Each does the least its callers need and says so; the
// real definitions replace them when the subsystem is built.
#include "document/types/doctype.h"
#include <cmath>
#include <cstring>

#include "core/result.h"
#include "graphics/glyphmask.h"
#include "graphics/graphics.h"
#include "graphics/image.h"
#include "graphics/path.h"
#include "graphics/vector.h"

// Floor of the square root of v: the double-precision root (correctly
// rounded, so the same everywhere), corrected to the exact floor.
static uint32_t isqrt64(uint64_t v)
{
    uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
    if (root > 0xFFFFFFFFu)
        root = 0xFFFFFFFFu;
    while (root * root > v)
        root--;
    while (root < 0xFFFFFFFFu && (root + 1) * (root + 1) <= v)
        root++;
    return static_cast<uint32_t>(root);
}

// Interim: the whole operation, since the step toward a point depends on it.
void Vector_setLength(Point *v, int32_t length)
{
    if (v->x == 0 && v->y == 0)
        return;
    if (length == 0) {
        *v = Point{0, 0};
        return;
    }
    int64_t x = v->x, y = v->y;
    uint32_t current = isqrt64(static_cast<uint64_t>(x * x) + static_cast<uint64_t>(y * y));
    if (current == 0) {
        *v = Point{0, 0};
        return;
    }
    uint64_t len = length < 0 ? 0u - static_cast<uint64_t>(static_cast<int64_t>(length))
                              : static_cast<uint64_t>(length);
    uint64_t ax = static_cast<uint64_t>(x < 0 ? -x : x);
    uint64_t ay = static_cast<uint64_t>(y < 0 ? -y : y);
    // |component| <= current length, so each quotient is at most |length|.
    uint32_t qx = static_cast<uint32_t>(len * ax / current);
    uint32_t qy = static_cast<uint32_t>(len * ay / current);
    if ((x < 0) != (length < 0))
        qx = 0u - qx;
    if ((y < 0) != (length < 0))
        qy = 0u - qy;
    *v = Point{static_cast<int32_t>(qx), static_cast<int32_t>(qy)};
}

// Interim: the whole operation, since the stroker and the dasher measure
// with it.
uint32_t Path_pointDistance(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    int64_t dx = static_cast<int32_t>(static_cast<uint32_t>(x1) - static_cast<uint32_t>(x0));
    int64_t dy = static_cast<int32_t>(static_cast<uint32_t>(y1) - static_cast<uint32_t>(y0));
    return isqrt64(static_cast<uint64_t>(dx * dx) + static_cast<uint64_t>(dy * dy));
}

// Interim: the packed walker comes with the scan converter; until then a
// walk of a packed path answers "not implemented" rather than misread the
// bit stream.
int Path_walkPacked(const Path *, const PathWalkFn *, void *)
{
    return Res_notImplemented;
}

// Interim: the whole copy, since the glyph-mask cache stores masks with it.
void GlyphMask_copyTo(void *block, const GlyphMask *mask)
{
    uint8_t *base = static_cast<uint8_t *>(block);
    uint8_t *rows = base + sizeof(GlyphMask);
    uint8_t *codes = rows + mask->rowsSize;
    GlyphMask header = *mask;
    if (mask->rowsSize != 0)
        memmove(rows, mask->rows, mask->rowsSize);
    if (mask->codesSize != 0 && mask->codes)
        memmove(codes, mask->codes, mask->codesSize);
    header.rows = reinterpret_cast<uint32_t *>(rows);
    header.codes = mask->codes ? codes : nullptr;
    memcpy(base, &header, sizeof header);
}

// Interim image services: no image store exists yet, so there is no image
// object, no queue to hold and no codec to register; drawing lists keep
// zero bounds and compare equal.
#include <cstring>

#include "core/mem/mem.h"
#include "graphics/image.h"

void Image_pauseJobs(EngineContext *)
{
}

void Image_resumeJobs(EngineContext *)
{
}

void Image_setStopped(ImageObject *, int)
{
}

void Image_detachFromNode(ImageObject *)
{
}

void ImageHandle_release(ImageObject *)
{
}

int Image_getDocImageInfo(ImageObject *, int32_t *size, int32_t, uint32_t *state)
{
    if (size)
        size[0] = size[1] = 0;
    if (state)
        *state = 0;
    return 0;
}

int Image_getDocImageState(ImageObject *)
{
    return 0;
}

void Image_setReadyCallbacks(ImageObject *, ImageDoneFn, ImageSizeFn, void *)
{
}

const ImageCodec *Codec_gifDescriptor()
{
    return nullptr;
}

const ImageCodec *Codec_jpegDescriptor()
{
    return nullptr;
}

const ImageCodec *Codec_bmpDescriptor()
{
    return nullptr;
}

const ImageCodec *Codec_wbmpDescriptor()
{
    return nullptr;
}

const ImageCodec *Codec_pngDescriptor()
{
    return nullptr;
}

int Plugin_register(EngineContext *, const ImageCodec *)
{
    return 0;
}

int Draw_registerBounds(EngineContext *, const int32_t *, uint32_t, Edr_DrawList *)
{
    return 0;
}

int Draw_compareWords(EngineContext *, const int32_t *, uint32_t)
{
    return 0;
}

// Interim: no picture can be decoded before the image store exists.
int Image_openUrl(EngineContext *, const Url *, ImageLoadChargeFn, Edr_Doc *, const int32_t *, ImageObject **image)
{
    if (image)
        *image = nullptr;
    return Res_notImplemented;
}

// Interim: the image document module is not built yet, so its handler recognises nothing.
int ImageDoc_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return DocType_describeInterim(context, desc);
}
// Interim text measurement: no fonts exist yet, so every character is half
// an em wide (size / 144 in 16.16 inches for a size in 16.16 points) and the
// box is {0, 0, width, size / 72}; as many characters fit as the limit
// allows.
#include "graphics/textrun.h"

int TextRun_measureFit(FontList *, int32_t size, uint32_t, const int32_t *, const char16_t *, uint32_t count,
                       int32_t, int32_t, int32_t maxWidth, uint32_t *fitted, Rect *out)
{
    int64_t advance = size > 0 ? size / 144 : 0;
    uint32_t n = count;
    if (advance > 0 && int64_t(n) * advance > maxWidth)
        n = uint32_t(maxWidth / advance);
    if (fitted)
        *fitted = n;
    *out = Rect{0, 0, int32_t(int64_t(n) * advance), n ? (size > 0 ? size / 72 : 0) : 0};
    return 0;
}

// Interim: thumbnails cannot be rescaled before the bitmap module, so a
// refit is refused and the caller drops the thumbnail.
int Bitmap_refit(EngineContext *, Edr_PageThumb **, const int32_t *, uint32_t)
{
    return Res_notImplemented;
}

// Interim: the graphics module and services keep no state before they are
// built.
int Graphics_initModule(EngineContext *)
{
    return Res_ok;
}

void Graphics_finiModule(EngineContext *)
{
}

int Graphics_initServices(EngineContext *)
{
    return Res_ok;
}

void Graphics_freeServices(EngineContext *)
{
}

#include "graphics/layerpayload.h"

// Interim group payloads: an origin only, the group covering everything,
// until the display groups are built.
struct LayerPayload {
    Point origin;
};

int LayerPayload_derive(const LayerPayload *parent, const void *, LayerPayload **out)
{
    *out = static_cast<LayerPayload *>(Mem_calloc(1, sizeof(LayerPayload)));
    if (!*out)
        return Res_noMemory;
    if (parent)
        (*out)->origin = parent->origin;
    return Res_ok;
}

void LayerPayload_release(LayerPayload *payload)
{
    Mem_free(payload);
}

Point *LayerPayload_origin(LayerPayload *payload)
{
    return &payload->origin;
}

void LayerPayload_bounds(const LayerPayload *, Rect *out)
{
    *out = *Rect_getInfinite();
}
