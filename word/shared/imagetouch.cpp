// The image store's most-recently-used move.
#include "word/shared/imagetouch.h"

#include "core/context/context.h"
#include "graphics/image.h"

namespace {

bool linked(const ImageStore *store, const ImageObject *image)
{
    return image->prev ? image->prev->next == image : store->first == image;
}

} // namespace

void ImageStore_touch(ImageHandle *handle)
{
    if (!handle || !handle->app || !handle->app->imageStore)
        return;
    ImageStore *store = handle->app->imageStore;
    Lock_acquire(&store->lock);
    ImageObject *image = ImageHandle_lockImage(handle, 4);
    if (image) {
        bool queued = image->state == ImageState_queued || image->state == ImageState_available;
        if (queued && linked(store, image) && store->first != image) {
            // Out of its place (it has a predecessor, being linked and not
            // the head)...
            image->prev->next = image->next;
            if (image->next)
                image->next->prev = image->prev;
            else
                store->last = image->prev;
            // ...and in at the head.
            image->prev = nullptr;
            image->next = store->first;
            store->first->prev = image;
            store->first = image;
        }
    }
    ImageHandle_unlockImage(handle, image, 4);
    Lock_release(&store->lock);
}
