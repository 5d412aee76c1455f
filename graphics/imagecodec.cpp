// The codec table of the image store and the row output operations that
// codecs call while they decode.
#include "graphics/imagecodec.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

// ----------------------------------------------------------- registration

int Plugin_register(EngineContext *app, ImageCodec *codec)
{
    if (!codec)
        return Res_noMemory;
    ImageStore *store = app ? app->imageStore : nullptr;
    if (!store) {
        Mem_free(codec);
        return Res_missingArgument;
    }
    int32_t type = codec->typeId ? codec->typeId() : 0;
    Lock_acquire(&store->lock);
    int32_t freeSlot = -1;
    bool duplicate = false;
    for (int32_t i = 0; i < ImageStore_codecSlots; i++) {
        ImageCodec *c = store->codecs[i];
        if (!c) {
            if (freeSlot < 0)
                freeSlot = i;
            continue;
        }
        if (type != 0 && c->typeId && c->typeId() == type) {
            duplicate = true;
            break;
        }
    }
    int r = Res_ok;
    bool stored = false;
    if (!duplicate) {
        if (freeSlot < 0) {
            r = Res_imageCodecsFull;
        } else {
            if (codec->init)
                r = codec->init(app);
            if (r == Res_ok) {
                store->codecs[freeSlot] = codec;
                stored = true;
            }
        }
    }
    Lock_release(&store->lock);
    if (!stored)
        Mem_free(codec);
    return r;
}

void ImageCodec_teardown(EngineContext *app)
{
    ImageStore *store = app ? app->imageStore : nullptr;
    if (!store)
        return;
    for (ImageCodec *&codec : store->codecs) {
        if (!codec)
            continue;
        if (codec->shutdown)
            codec->shutdown();
        Mem_free(codec);
        codec = nullptr;
    }
}

ImageCodec *ImageCodec_of(const ImageObject *image)
{
    ImageStore *store = image->app ? image->app->imageStore : nullptr;
    if (!store || image->codecIndex < 0 || image->codecIndex >= ImageStore_codecSlots)
        return nullptr;
    return store->codecs[image->codecIndex];
}

// ------------------------------------------------------------ row output

int ImageDec_setHeader(ImageObject *image, int32_t width, int32_t height, int32_t dpi,
                       int32_t bandRows, int32_t colourKind, int32_t *reduction)
{
    if (width <= 0 || height <= 0)
        return Res_imageZeroSize;
    int32_t stated = dpi > 0 ? dpi : 0;
    if (dpi <= 0)
        dpi = (image->options & ImageOpt_screenResolution) ? 96 : 72;
    if (image->hook) {
        int32_t size = 0;
        if (image->hook(image->hookArg, 3, nullptr, &size) == Res_ok && size == 4) {
            int32_t answer = 0;
            if (image->hook(image->hookArg, 3, &answer, &size) == Res_ok && answer > 0)
                dpi = stated = answer;
        }
    }
    if (bandRows < 0)
        bandRows = 0;
    else if (bandRows > 0 && bandRows < 8)
        bandRows = 8;
    Image_lockFields(image);
    bool changed =
        image->headerKnown && (image->nominalWidth != width || image->nominalHeight != height);
    image->stagingRows = bandRows;
    image->colourKind = (image->options & ImageDec_flagColourKind) ? colourKind : 3;
    int32_t codecMax = reduction && *reduction > 0 ? *reduction : 0;
    int32_t level = (image->options & ImageOpt_staticSubsample)
                        ? codecMax
                        : std::min(codecMax, image->levelStart);
    Image_setNominalSize(image, width, height, dpi, level);
    image->statedResolution = stated;
    if (reduction)
        *reduction = image->levelAchieved - image->extraLevels;
    image->headerKnown = 1;
    bool tell = !changed && !image->syncPass && !image->sizeReported;
    if (tell)
        image->sizeReported = 1;
    Image_unlockFields(image);
    if (changed)
        return Res_imageSizeChanged;
    if (tell)
        Image_notifySize(image, width, height, dpi);
    return Res_ok;
}

int ImageDec_getBuffers(ImageObject *image, PixelBuf **outPicture, uint32_t pictureFormat,
                        PixelBuf **outMask, uint32_t maskFormat, int32_t hasTransparency)
{
    *outPicture = nullptr;
    if (outMask)
        *outMask = nullptr;
    Image_lockFields(image);
    image->pictureFormat = pictureFormat;
    image->maskFormat = maskFormat;
    image->transparency = hasTransparency;
    image->stagingRows = 0;
    image->reportCount = 0;
    image->dirty = Rect{0x7fffffff, 0x7fffffff, int32_t(0x80000000), int32_t(0x80000000)};
    image->changed = image->dirty;
    image->nextFlush = 0;
    int r = Res_ok;
    if (image->extraLevels > 0) {
        r = Res_imageRowShift;
    } else if (!image->targetView) {
        r = Res_notFound;
    } else {
        if (image->kind == 0)
            image->kind = 1;
        ImageView *view = image->targetView;
        view->level = image->levelAchieved;
        ImageViewGeometry g{image->width, image->height, image->pictureWord, pictureFormat,
                            maskFormat};
        r = ImageView_ensureBuffers(view, 1, outMask ? 1 : 0, &g);
        if (!outMask)
            image->noMask = 1;
        if (r == Res_ok) {
            *outPicture = view->picture;
            if (outMask)
                *outMask = view->mask;
        }
    }
    Image_unlockFields(image);
    return r;
}

int ImageDec_rowsDone(ImageObject *image, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (Task_checkStop(image->app) == Res_stopRequested)
        return Res_stopRequested;
    if (image->syncPass)
        return Res_ok;
    // Codec rows are in the codec's own (reduced) coordinates; the handles
    // think in the nominal size.
    int32_t shift = image->levelAchieved - image->extraLevels;
    auto scaled = [shift](int64_t v) {
        return shift >= 32 ? int64_t(0) : v << (shift > 0 ? shift : 0);
    };
    int64_t x0 = std::max<int64_t>(scaled(x), 0), y0 = std::max<int64_t>(scaled(y), 0);
    int64_t x1 = scaled(int64_t(x) + width), y1 = scaled(int64_t(y) + height);
    Lock_acquire(&image->imageLock);
    x1 = std::min<int64_t>(x1, image->nominalWidth);
    y1 = std::min<int64_t>(y1, image->nominalHeight);
    Rect &d = image->dirty;
    if (x0 < x1 && y0 < y1) {
        d.x0 = std::min<int32_t>(d.x0, int32_t(x0));
        d.y0 = std::min<int32_t>(d.y0, int32_t(y0));
        d.x1 = std::max<int32_t>(d.x1, int32_t(x1));
        d.y1 = std::max<int32_t>(d.y1, int32_t(y1));
        // The changed rectangle keeps everything written since the picture began.
        Rect &c = image->changed;
        c.x0 = std::min<int32_t>(c.x0, int32_t(x0));
        c.y0 = std::min<int32_t>(c.y0, int32_t(y0));
        c.x1 = std::max<int32_t>(c.x1, int32_t(x1));
        c.y1 = std::max<int32_t>(c.y1, int32_t(y1));
    }
    int64_t now = Time_nowMs();
    bool whole =
        d.x0 <= 0 && d.y0 <= 0 && d.x1 >= image->nominalWidth && d.y1 >= image->nominalHeight;
    bool flush = image->reportCount >= 100 || whole || now >= image->nextFlush;
    image->reportCount++;
    Rect report = d;
    if (flush) {
        d = Rect{0x7fffffff, 0x7fffffff, int32_t(0x80000000), int32_t(0x80000000)};
        image->reportCount = 0;
        image->nextFlush = now + 500;
    }
    Lock_release(&image->imageLock);
    if (flush && report.x0 < report.x1 && report.y0 < report.y1)
        Image_invalidate(image, &report);
    return Res_ok;
}

void ImageDec_dropMask(ImageObject *image)
{
    Image_lockFields(image);
    if (ImageView *view = image->targetView) {
        PixelBuf_destroy(view->mask);
        view->mask = nullptr;
        view->maskFormat = 0;
    }
    image->noMask = 1;
    Image_unlockFields(image);
}

void ImageDec_setTransparency(ImageObject *image, int32_t flag)
{
    Image_lockFields(image);
    image->transparency = flag;
    Image_unlockFields(image);
}
