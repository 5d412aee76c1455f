// Image views: their buffers, colour transform and canvas preparation, and
// their life in the image's view list and the image cache.
#include "graphics/imageview.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/image.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

// ------------------------------------------------------------ buffers

void ImageView_setBuffers(ImageView *view, PixelBuf *picture, PixelBuf *mask)
{
    view->picture = picture;
    view->mask = mask;
    const PixelBuf *from = picture ? picture : mask;
    view->width = from ? from->width : 0;
    view->height = from ? from->height : 0;
    view->scale = from ? from->scale : 0;
    view->pictureFormat = picture ? picture->format : 0;
    view->maskFormat = mask ? mask->format : 0;
}

void ImageView_init(ImageView *view, ImageObject *image, ImageCacheEvictFn evict)
{
    view->image = image;
    view->target = nullptr;
    view->transform = nullptr;
    ImageCache_initEntry(&view->entry, evict);
    view->picture = view->mask = nullptr;
    view->width = view->height = view->scale = 0;
    view->pictureFormat = view->maskFormat = 0;
    view->level = 0;
    view->version = 0;
    view->viewFlags = 0;
    view->nextView = view->prevView = view;
}

namespace {

uint64_t bufferBytes(const PixelBuf *buf)
{
    if (!buf || buf->width <= 0 || buf->height <= 0)
        return 0;
    uint64_t row = (uint64_t(buf->width) * Pixel_bytesPerPixel(buf->format) + 3) & ~uint64_t(3);
    return uint64_t(buf->height) * row;
}

bool bufferMatches(const ImageView *view, const PixelBuf *buf, uint32_t format)
{
    return !buf || (buf->width == view->width && buf->height == view->height &&
                    buf->scale == view->scale && buf->format == format);
}

bool isIdentity(const ColourTransform *t)
{
    for (int i = 0; i < 4; i++)
        if (t->multiply[i] != 0x10000 || t->offset[i] != 0)
            return false;
    return true;
}

bool inList(const ImageView *view)
{
    return view->nextView != view;
}

} // namespace

uint64_t ImageView_byteSize(const ImageView *view)
{
    if (!view)
        return 0;
    return bufferBytes(view->picture) + bufferBytes(view->mask);
}

int ImageView_geometryMatches(const ImageView *view)
{
    return bufferMatches(view, view->picture, view->pictureFormat) &&
                   bufferMatches(view, view->mask, view->maskFormat)
               ? 1
               : 0;
}

void ImageView_freeBuffers(ImageView *view)
{
    PixelBuf_destroy(view->picture);
    PixelBuf_destroy(view->mask);
    Mem_free(view->target);
    Mem_free(view->transform);
    view->picture = view->mask = nullptr;
    view->target = nullptr;
    view->transform = nullptr;
}

void ImageView_freeIfAny(ImageView *view)
{
    if (view)
        ImageView_freeBuffers(view);
}

int ImageView_ensureBuffers(ImageView *view, int wantPicture, int wantMask,
                            const ImageViewGeometry *geometry)
{
    view->width = geometry->width;
    view->height = geometry->height;
    view->scale = geometry->scale;
    view->pictureFormat = geometry->pictureFormat;
    view->maskFormat = geometry->maskFormat;
    if (!ImageView_geometryMatches(view))
        ImageView_freeBuffers(view);
    int r = Res_ok;
    if (wantPicture && !view->picture)
        r = PixelBuf_create(&view->picture, view->width, view->height, view->pictureFormat,
                            view->scale);
    else if (!wantPicture && view->picture) {
        PixelBuf_destroy(view->picture);
        view->picture = nullptr;
    }
    if (r == Res_ok) {
        if (wantMask && !view->mask)
            r = PixelBuf_create(&view->mask, view->width, view->height, view->maskFormat,
                                view->scale);
        else if (!wantMask && view->mask) {
            PixelBuf_destroy(view->mask);
            view->mask = nullptr;
        }
    }
    if (r != Res_ok)
        ImageView_freeBuffers(view);
    return r;
}

int ImageView_setColourTransform(ImageView *view, const ColourTransform *transform)
{
    if (!transform || isIdentity(transform)) {
        Mem_free(view->transform);
        view->transform = nullptr;
        return Res_ok;
    }
    if (!view->transform) {
        view->transform = static_cast<ColourTransform *>(Mem_calloc(1, sizeof(ColourTransform)));
        if (!view->transform)
            return Res_noMemory;
    }
    *view->transform = *transform;
    return Res_ok;
}

// The background answer comes from the image hook's op 34: an answer of
// four bytes is the background word; no answer keeps white.
int Image_prepareCanvas(ImageObject *image, ImageView *view, int withMask)
{
    uint32_t background = 0xFFFFFF;
    if (image->hook) {
        int32_t size = 0;
        int r = image->hook(image->hookArg, 34, nullptr, &size);
        if (r != Res_ok)
            return r;
        if (size == 4) {
            uint32_t value = 0;
            r = image->hook(image->hookArg, 34, &value, &size);
            if (r != Res_ok)
                return r;
            background = value;
        }
    }
    ImageViewGeometry g{image->width, image->height, image->pictureWord, image->pictureFormat,
                        image->maskFormat};
    view->level = image->levelAchieved;
    int r = ImageView_ensureBuffers(view, 1, withMask, &g);
    if (r != Res_ok)
        return r;
    PixelBuf *stagePicture = nullptr, *stageMask = nullptr;
    if (image->stagingRows > 0) {
        int32_t width = 0, height = 0;
        Image_codecSize(image, &width, &height);
        r = PixelBuf_create(&stagePicture, width, image->stagingRows, image->pictureFormat,
                            image->pictureWord);
        if (r == Res_ok && withMask)
            r = PixelBuf_create(&stageMask, width, image->stagingRows, image->maskFormat,
                                image->pictureWord);
        if (r != Res_ok) {
            PixelBuf_destroy(stagePicture);
            ImageView_freeBuffers(view);
            return r;
        }
    }
    if (background != 0)
        PixelBuf_fillRectWhite(view->picture, 0, 0, view->width, view->height);
    else
        PixelBuf_fillRect(view->picture, 0, 0, view->width, view->height, 0);
    PixelBuf_fillRect(view->mask, 0, 0, view->width, view->height, 0);
    PixelBuf_destroy(image->stagingPicture);
    PixelBuf_destroy(image->stagingMask);
    image->stagingPicture = stagePicture;
    image->stagingMask = stageMask;
    return Res_ok;
}

// --------------------------------------------------------- view lists

int ImageView_create(ImageObject *image, ImageView **view)
{
    *view = static_cast<ImageView *>(Mem_calloc(1, sizeof(ImageView)));
    if (!*view)
        return Res_noMemory;
    ImageView_init(*view, image, ImageView_evict);
    return Res_ok;
}

void ImageView_attach(ImageObject *image, ImageView *view)
{
    if (inList(view))
        return;
    view->prevView = nullptr;
    view->nextView = image->views;
    if (image->views)
        image->views->prevView = view;
    image->views = view;
    view->image = image;
    view->entry.pins += image->pinCount;
}

namespace {

void unlinkView(ImageView *view)
{
    if (!inList(view))
        return;
    ImageObject *image = view->image;
    // A synchronous decode leaves the image's target on the view it drew
    // into; a view that goes must not stay the target.
    if (image && image->targetView == view)
        image->targetView = nullptr;
    if (view->prevView)
        view->prevView->nextView = view->nextView;
    else if (image)
        image->views = view->nextView;
    if (view->nextView)
        view->nextView->prevView = view->prevView;
    view->nextView = view->prevView = view;
}

bool matchesKey(const ImageView *view, const ImageViewKey *key)
{
    int transformed = view->transform && !isIdentity(view->transform) ? 1 : 0;
    int converted = view->target ? 1 : 0;
    return transformed == (key->transformed ? 1 : 0) && converted == (key->converted ? 1 : 0);
}

} // namespace

ImageView *ImageView_find(ImageObject *image, const ImageViewKey *key)
{
    for (ImageView *v = image->views; v; v = v->nextView)
        if (matchesKey(v, key))
            return v;
    return nullptr;
}

int ImageView_findOrCreate(ImageObject *image, const ImageViewKey *key, ImageView **view)
{
    *view = ImageView_find(image, key);
    if (*view)
        return Res_ok;
    return ImageView_create(image, view);
}

void ImageView_pinAll(ImageObject *image)
{
    Lock_acquire(&image->imageLock);
    image->pinCount++;
    for (ImageView *v = image->views; v; v = v->nextView)
        ImageCache_pinHeld(&v->entry);
    Lock_release(&image->imageLock);
}

void ImageView_unpinAll(ImageObject *image)
{
    Lock_acquire(&image->imageLock);
    if (image->pinCount > 0)
        image->pinCount--;
    for (ImageView *v = image->views; v; v = v->nextView)
        ImageCache_unpinHeld(&v->entry);
    Lock_release(&image->imageLock);
}

void ImageView_settle(ImageView *view)
{
    ImageObject *image = view->image;
    EngineContext *app = image->app;
    ImageCache_lock(app);
    Lock_acquire(&image->imageLock);
    bool keep = (view->viewFlags & ImageView_keepWithImage) != 0;
    if (keep)
        ImageCache_remove(app, &view->entry);
    bool offer =
        !(image->options & ImageOpt_releaseDecoder) && image->state == ImageState_done && !keep;
    int stays = 1;
    if (offer)
        stays = ImageCache_settle(app, &view->entry, ImageView_byteSize(view));
    Lock_release(&image->imageLock);
    // The evict callback takes the image lock itself.
    if (!stays)
        ImageView_evict(app, &view->entry);
    ImageCache_unlock(app);
}

void ImageView_release(EngineContext *app, ImageObject *image, uint32_t generation,
                       ImageView **views, int32_t count)
{
    ImageStore *store = app ? app->imageStore : nullptr;
    if (!store)
        return;
    Lock_acquire(&store->lock);
    if (ImageStore_holds(store, image, generation)) {
        for (int32_t i = 0; i < count; i++)
            if (views[i])
                ImageView_settle(views[i]);
        ImageCache_lock(app);
        ImageView_unpinAll(image);
        ImageCache_unlock(app);
    }
    Lock_release(&store->lock);
}

void ImageView_evict(EngineContext *, ImageCacheEntry *entry)
{
    ImageView *view = reinterpret_cast<ImageView *>(entry);
    ImageObject *image = view->image;
    if (image)
        Lock_acquire(&image->imageLock);
    ImageView_free(view);
    if (image)
        Lock_release(&image->imageLock);
}

void ImageView_dropFromCache(EngineContext *app, ImageView *view)
{
    ImageCache_remove(app, &view->entry);
    ImageView_free(view);
}

void ImageView_free(ImageView *view)
{
    if (!view)
        return;
    ImageView_freeBuffers(view);
    unlinkView(view);
    Mem_free(view);
}
