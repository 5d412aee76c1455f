// Image readiness (see imageready.h).
#include "graphics/imageready.h"

#include "core/context/context.h"
#include "core/result.h"
#include "graphics/image.h"

namespace {

void onReady(void *user, int32_t, int32_t, int32_t, int32_t)
{
    Image_checkReady(static_cast<ImageWait *>(user));
}

void onSize(void *user, int32_t, int32_t, int32_t)
{
    Image_checkReady(static_cast<ImageWait *>(user));
}

} // namespace

void Image_checkReady(ImageWait *wait)
{
    if (wait->flags & ImageWait_decodeState) {
        // Decoding has come far enough once the header is known or the
        // image is finished (decoded, failed or animating); an image that
        // cannot answer ends the wait too.
        int32_t info[6];
        bool ready = Image_getDocImageInfo(wait->handle, info, nullptr, nullptr) != Res_ok;
        if (!ready) {
            ImageObject *image = ImageHandle_lockImage(wait->handle, 4);
            ready = !image || image->headerKnown || image->state >= ImageState_done;
            ImageHandle_unlockImage(wait->handle, image, 4);
        }
        if (ready)
            wait->flags &= ~uint32_t(ImageWait_decodeState);
    }
    if (!wait->flags)
        Sem_signal(&wait->sem); // the maximum of 1 keeps one wake-up
}

int Image_waitReady(ImageObject *image, uint32_t flags)
{
    ImageWait wait{};
    Sem_init(image->app, &wait.sem, 0, 1);
    ImageHandle *handle = nullptr;
    int r = ImageHandle_clone(image->app, image, &handle);
    if (r == Res_ok) {
        wait.handle = handle;
        wait.flags = flags;
        Image_checkReady(&wait);
        if (wait.flags)
            Image_setReadyCallbacks(handle, onReady, onSize, &wait);
        r = Sem_waitStoppable(&wait.sem);
        ImageHandle_release(handle);
    }
    Sem_fini(&wait.sem);
    return r;
}

int ImageHandle_clone(EngineContext *context, ImageObject *image, ImageHandle **handle)
{
    *handle = nullptr;
    ImageStore *store = context->imageStore;
    if (store)
        Lock_acquire(&store->lock);
    ImageHandle *h = nullptr;
    int r = ImageHandle_create(context, &h, nullptr, 0);
    if (r == Res_ok) {
        Anim_addImage(image, h);
        *handle = h;
    }
    if (store)
        Lock_release(&store->lock);
    return r;
}
