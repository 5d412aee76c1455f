// Stand-ins for graphics services that the core calls before the graphics
// subsystem exists. Each does the least its callers need and says so; the
// real definitions replace them when the subsystem is built.
#include "document/types/doctype.h"
#include <cstring>

#include "core/result.h"
#include "graphics/glyphmask.h"
#include "graphics/graphics.h"
#include "graphics/image.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"

// Interim: glyph masks are not made yet, so none can be placed, painted or
// hit; a glyph-mask item reports 259.
int GlyphMask_prepare(const GlyphMaskShape *, Bitmap *, int32_t, int32_t, SpanRecord *, Rect *)
{
    return Res_notImplemented;
}

int GlyphMask_emit(SpanRecord *, RowOpSetupFn, uint8_t *, ptrdiff_t, const uint8_t *, ptrdiff_t, const uint8_t *,
                   ptrdiff_t, const uint8_t *)
{
    return Res_notImplemented;
}

int GlyphMask_hit(SpanRecord *, int32_t, int32_t, int *out)
{
    *out = 0;
    return Res_notImplemented;
}

// Interim: the whole placement, until page piece drawing brings its own:
// the table's pixel box placed at (dx, dy) cuts the rectangle.
int CoverageMask_prepare(const CoverageMaskShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy, SpanRecord *spans,
                         Rect *rect)
{
    Rect box;
    CrossingTable_bounds(shape->table, shape->s, &box);
    box = Rect{int32_t(uint32_t(box.x0) + uint32_t(dx)), int32_t(uint32_t(box.y0) + uint32_t(dy)),
               int32_t(uint32_t(box.x1) + uint32_t(dx)), int32_t(uint32_t(box.y1) + uint32_t(dy))};
    spans->table = PreparedTableSpans{shape->table, shape->s, bitmap, 0, 0, int32_t(uint32_t(dy) - uint32_t(rect->y1))};
    Rect_intersect(rect, &box);
    spans->table.xOffset = rect->x0 - box.x0;
    spans->table.yOffset = rect->y0 - box.y0;
    return Res_ok;
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
