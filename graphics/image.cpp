// The image store: the store record and its workers, opening and sharing
// images, handles, destruction, freezing, notifications and queries. The
// decoding pass itself is in imagedecode.cpp.
#include "graphics/image.h"

#include "graphics/animframe.h"

#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/imagecache.h"
#include "graphics/imagecodec.h"
#include "graphics/sharedstream.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"

namespace {

constexpr Rect emptyChange = {0x7fffffff, 0x7fffffff, int32_t(0x80000000), int32_t(0x80000000)};

ImageStore *storeOf(EngineContext *app)
{
    return app ? app->imageStore : nullptr;
}

void workerMain(void *argument);

} // namespace

// ----------------------------------------------------------- the store

void ImageStore_applySettings(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    uint32_t threshold = Config_getIntA(app, app->config, u"Image", "subsample.threshold", 320);
    uint32_t dynamic = Config_getIntA(app, app->config, nullptr, "DynamicSubsampling", 0);
    uint32_t loops = Config_getIntA(app, app->config, nullptr, "Vexlan_maxAnimLoops", 0);
    Lock_acquire(&store->lock);
    store->subsampleThreshold = int32_t(threshold);
    if (dynamic == 0)
        store->flags |= ImageStore_staticSubsample;
    else
        store->flags &= ~uint32_t(ImageStore_staticSubsample);
    store->maxAnimLoops = int32_t(loops);
    Lock_release(&store->lock);
}

int ImageStore_acquire(EngineContext *app, uint32_t flags, uint32_t pixelFormat)
{
    if (!app)
        return Res_missingArgument;
    if (app->imageStore) {
        app->imageStore->refCount++;
        return Res_ok;
    }
    int r = ImageCache_acquire(app);
    if (r != Res_ok)
        return r;
    ImageStore *store = static_cast<ImageStore *>(Mem_calloc(1, sizeof(ImageStore)));
    char16_t *dir = static_cast<char16_t *>(Mem_calloc(1, sizeof(char16_t)));
    if (!store || !dir) {
        Mem_free(store);
        Mem_free(dir);
        ImageCache_release(app);
        return Res_noMemory;
    }
    store->refCount = 1;
    store->flags = flags & ~uint32_t(ImageStore_staticSubsample);
    store->targetFormat = Pixel_normaliseFormat(pixelFormat);
    store->workerCount = (flags & ImageStore_noWorkers) ? 0 : ImageStore_workerMax;
    store->animWorker = -1;
    store->resourceDir = dir;
    // Lock_init cannot fail.
    (void)Lock_init(app, &store->lock);
    (void)Lock_init(app, &store->animLock);
    (void)Lock_init(app, &store->waiterLock);
    // Sem_init cannot fail.
    (void)Sem_init(app, &store->workAvailable, 0, 0x7fffffff);
    (void)Sem_init(app, &store->animWake, 0, 1);
    app->imageStore = store;
    ImageStore_applySettings(app);
    for (int32_t i = 0; i < store->workerCount; i++) {
        r = ImageStore_startWorker(app, i);
        if (r != Res_ok) {
            ImageStore_release(app);
            return r;
        }
    }
    return Res_ok;
}

void ImageStore_release(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store || --store->refCount > 0)
        return;
    Lock_acquire(&store->lock);
    store->stopping = 1;
    for (Task *t : store->workers)
        if (t)
            // A task that has already ended needs no stop.
            (void)Task_requestStop(t);
    Lock_release(&store->lock);
    for (int32_t i = 0; i < ImageStore_workerMax; i++)
        ImageStore_stopWorker(app, i);
    ImageCodec_teardown(app);
    for (PixelBuf *&p : store->placeholders) {
        PixelBuf_destroy(p);
        p = nullptr;
    }
    Mem_free(store->resourceDir);
    Sem_fini(&store->workAvailable);
    Sem_fini(&store->animWake);
    Lock_fini(&store->waiterLock);
    Lock_fini(&store->animLock);
    Lock_fini(&store->lock);
    Mem_free(store);
    app->imageStore = nullptr;
    ImageCache_release(app);
}

int ImageStore_startWorker(EngineContext *app, int32_t index)
{
    ImageStore *store = storeOf(app);
    if (!store || index < 0 || index >= ImageStore_workerMax)
        return Res_missingArgument;
    Task *task = nullptr;
    int r = Task_create(app, &task, 1, workerMain, app, "imageJob", 4096);
    store->workers[index] = r == Res_ok ? task : nullptr;
    return r;
}

void ImageStore_stopWorker(EngineContext *app, int32_t index)
{
    ImageStore *store = storeOf(app);
    if (!store || index < 0 || index >= ImageStore_workerMax || !store->workers[index])
        return;
    Task *task = store->workers[index];
    // A task that has already ended needs no stop.
    (void)Task_requestStop(task);
    (void)Task_join(task);
    store->workers[index] = nullptr;
}

int ImageStore_holds(const ImageStore *store, const ImageObject *image, uint32_t generation)
{
    for (const ImageObject *i = store->first; i; i = i->next)
        if (i == image)
            return i->generation == generation ? 1 : 0;
    return 0;
}

void ImageStore_addWaiters(ImageStore *store, int32_t delta)
{
    Lock_acquire(&store->waiterLock);
    store->animWaiters += delta;
    Lock_release(&store->waiterLock);
}

void ImageStore_lockQueue(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    ImageStore_addWaiters(store, 1);
    Lock_acquire(&store->animLock);
    ImageStore_addWaiters(store, -1);
}

void ImageStore_unlockQueue(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    Sem_signal(&store->animWake);
    Lock_release(&store->animLock);
}

void Image_pauseJobs(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    Lock_acquire(&store->lock);
    store->holdCount++;
    Lock_release(&store->lock);
    ImageStore_lockQueue(app);
    store->animHold++;
    ImageStore_unlockQueue(app);
}

void Image_resumeJobs(EngineContext *app)
{
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    Lock_acquire(&store->lock);
    int32_t wakeups = 0;
    if (store->holdCount > 0 && --store->holdCount == 0) {
        wakeups = store->deferredCount;
        store->deferredCount = 0;
    }
    Lock_release(&store->lock);
    for (int32_t i = 0; i < wakeups; i++)
        Sem_signal(&store->workAvailable);
    // Unlocking the queue wakes the animation loop for what it skipped.
    ImageStore_lockQueue(app);
    if (store->animHold > 0)
        store->animHold--;
    ImageStore_unlockQueue(app);
}

// ------------------------------------------------------ animation list

void Anim_enterAnimList(ImageObject *image)
{
    EngineContext *app = image->app;
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    Lock_acquire(&store->lock);
    ImageStore_lockQueue(app);
    Lock_acquire(&image->imageLock);
    image->state = ImageState_animated;
    image->worker = -1;
    Lock_release(&image->imageLock);
    image->animNext = store->animList;
    store->animList = image;
    bool want = store->animWorker < 0;
    if (want)
        store->animWorker = -2;
    ImageStore_unlockQueue(app);
    Lock_release(&store->lock);
    if (want)
        Sem_signal(&store->workAvailable);
    Sem_signal(&image->done);
}

void Anim_leaveAnimList(ImageObject *image)
{
    EngineContext *app = image->app;
    ImageStore *store = storeOf(app);
    if (!store)
        return;
    ImageStore_lockQueue(app);
    for (ImageObject **link = &store->animList; *link; link = &(*link)->animNext) {
        if (*link == image) {
            *link = image->animNext;
            break;
        }
    }
    image->animNext = nullptr;
    ImageStore_unlockQueue(app);
}

void Anim_wake(EngineContext *app)
{
    if (ImageStore *store = storeOf(app))
        Sem_signal(&store->animWake);
}

// ------------------------------------------------------------ the workers

namespace {

// The first image a worker may start: queued, or with its data at hand
// while the store is not held. Store lock held.
ImageObject *claimImage(ImageStore *store, int32_t self)
{
    for (ImageObject *image = store->first; image; image = image->next) {
        Lock_acquire(&image->imageLock);
        bool take = image->state == ImageState_queued ||
                    (image->state == ImageState_available && store->holdCount == 0);
        if (take) {
            image->state = ImageState_decoding;
            image->worker = self;
        }
        Lock_release(&image->imageLock);
        if (take)
            return image;
    }
    return nullptr;
}

// One pass of a worker over a claimed image. The image is not touched
// after its done semaphore is signalled: its destroyer waits for that.
void runPass(EngineContext *app, ImageStore *store, ImageObject *image)
{
    ImageView *view = nullptr;
    ImageCache_lock(app);
    ImageView_pinAll(image);
    int err = ImageView_create(image, &view);
    if (err == Res_ok) {
        Lock_acquire(&image->imageLock);
        ImageView_attach(image, view);
        Lock_release(&image->imageLock);
    }
    ImageCache_unlock(app);
    int32_t reason = ImageReason_decode;
    if (err != Res_ok) {
        Lock_acquire(&image->imageLock);
        image->result = ImageState_failed;
        image->errorCode = err;
        Lock_release(&image->imageLock);
    } else {
        (void)Image_decode(app, image, &reason, 0, ImageStore_noLevelLimit, view);
    }
    uint32_t generation = image->generation;
    int32_t result = image->result;
    bool kept = result == ImageState_done && image->kind == 1 && view && view->picture;

    Lock_acquire(&store->lock);
    Lock_acquire(&image->imageLock);
    image->state = ImageState_publishing;
    image->reason = reason;
    image->targetView = nullptr;
    Lock_release(&image->imageLock);
    Lock_release(&store->lock);
    Image_invalidateAll(image);

    if (result == ImageState_animated) {
        Anim_enterAnimList(image);
    } else {
        Lock_acquire(&store->lock);
        Lock_acquire(&image->imageLock);
        image->state = result;
        image->worker = -1;
        Lock_release(&image->imageLock);
        Lock_release(&store->lock);
        Sem_signal(&image->done);
    }
    // From here the image pointer is only compared: the release checks
    // that the image is still listed with its generation. A failed pass
    // keeps its empty view with the image but still drops its pins.
    ImageView *views[1] = {kept ? view : nullptr};
    ImageView_release(app, image, generation, views, kept ? 1 : 0);
}

void workerMain(void *argument)
{
    EngineContext *app = static_cast<EngineContext *>(argument);
    ImageStore *store = app->imageStore;
    int32_t self = -1;
    for (;;) {
        if (store->stopping)
            break;
        if (Sem_waitStoppable(&store->workAvailable) == Res_stopRequested) {
            // Only a shut-down (which sets `stopping` first) ends a worker;
            // a stop aimed at a pass that has already finished is dropped.
            if (store->stopping)
                break;
            (void)Task_clearStop(app);
            continue;
        }
        Lock_acquire(&store->lock);
        if (self < 0) {
            Task *me = Task_current(app);
            for (int32_t i = 0; i < ImageStore_workerMax; i++)
                if (store->workers[i] == me)
                    self = i;
        }
        if (store->stopping) {
            Lock_release(&store->lock);
            break;
        }
        if (store->animWorker == -2) {
            store->animWorker = self;
            Lock_release(&store->lock);
            // The animation loop ends only with the store: a stop aimed at
            // one animation (its document released) leaves the loop running
            // for the others and for those still to come.
            while (Anim_runLoop(app) == 0 || !store->stopping)
                (void)Task_clearStop(app);
            break;
        }
        ImageObject *image = claimImage(store, self);
        if (!image && store->holdCount > 0)
            store->deferredCount++;
        Lock_release(&store->lock);
        if (!image)
            continue;
        runPass(app, store, image);
        // A stop request aimed at the finished pass must not end the worker;
        // a shut-down sets `stopping` first.
        if (Task_checkStop(app) == Res_stopRequested)
            (void)Task_clearStop(app);
    }
}

// ------------------------------------------------------ images, handles

void addHandle(ImageObject *image, ImageHandle *handle)
{
    Lock_acquire(&image->handleLock);
    handle->nextHandle = image->handles;
    image->handles = handle;
    Lock_release(&image->handleLock);
}

void removeHandle(ImageObject *image, ImageHandle *handle)
{
    Lock_acquire(&image->handleLock);
    for (ImageHandle **link = &image->handles; *link; link = &(*link)->nextHandle) {
        if (*link == handle) {
            *link = handle->nextHandle;
            break;
        }
    }
    handle->nextHandle = nullptr;
    Lock_release(&image->handleLock);
}

void appendImage(ImageStore *store, ImageObject *image)
{
    image->next = nullptr;
    image->prev = store->last;
    if (store->last)
        store->last->next = image;
    else
        store->first = image;
    store->last = image;
}

void unlinkImage(ImageStore *store, ImageObject *image)
{
    if (image->prev)
        image->prev->next = image->next;
    else if (store->first == image)
        store->first = image->next;
    if (image->next)
        image->next->prev = image->prev;
    else if (store->last == image)
        store->last = image->prev;
    image->next = image->prev = nullptr;
}

// Sets up the fields every new image starts with, its locks included.
ImageObject *newImage(EngineContext *app, ImageStore *store)
{
    ImageObject *image = static_cast<ImageObject *>(Mem_calloc(1, sizeof(ImageObject)));
    if (!image)
        return nullptr;
    image->app = app;
    image->generation = store->nextGeneration++;
    image->worker = -2;
    image->reason = ImageReason_none;
    image->codecIndex = -1;
    image->maxExtraLevels = ImageStore_maxExtraLevels;
    image->pictureWord = 0x10000;
    image->changed = emptyChange;
    image->dirty = emptyChange;
    // Sem_init cannot fail.
    (void)Sem_init(app, &image->done, 0, 1);
    // Lock_init cannot fail.
    (void)Lock_init(app, &image->handleLock);
    (void)Lock_init(app, &image->imageLock);
    return image;
}

void freeImageRecord(ImageObject *image)
{
    Sem_fini(&image->done);
    Lock_fini(&image->handleLock);
    Lock_fini(&image->imageLock);
    Mem_free(image);
}

void tellHookGone(ImageHook hook, void *hookArg)
{
    if (hook)
        (void)hook(hookArg, 0, nullptr, nullptr);
}

void releaseSource(EngineContext *app, ImageSource *source)
{
    if (source && source->release)
        source->release(app, source);
}

// Makes a new image (store lock held). On failure the hook is told, the
// source released and nothing is left.
int createImage(EngineContext *app, ImageStore *store, ImageSource *source, ImageCheckFn checkFn,
                void *checkArg, ImageHook hook, void *hookArg, int32_t widthHint,
                int32_t heightHint, uint32_t options, intptr_t extra, ImageObject **out)
{
    *out = nullptr;
    int err = Res_ok;
    ImageObject *image = nullptr;
    if (checkFn)
        err = checkFn(checkArg, 0, 0);
    if (err == Res_ok) {
        image = newImage(app, store);
        if (!image)
            err = Res_noMemory;
    }
    if (err == Res_ok && source && source->prepare)
        err = source->prepare(app, source, checkFn, checkArg);
    if (err != Res_ok) {
        tellHookGone(hook, hookArg);
        releaseSource(app, source);
        if (image)
            freeImageRecord(image);
        return err;
    }
    image->source = source;
    image->hook = hook;
    image->hookArg = hookArg;
    image->options = options;
    image->extra = extra;
    image->sizeGiven = widthHint > 0 || heightHint > 0;
    Image_setNominalSize(image, widthHint > 0 ? widthHint : 30, heightHint > 0 ? heightHint : 30,
                         72, 0);
    if (!source) {
        image->state = ImageState_failed;
        image->reason = 0;
    } else if (options & ImageOpt_sync) {
        image->state = ImageState_done;
    } else if (source->isAvailable && source->isAvailable(app, source)) {
        image->state = ImageState_available;
    } else {
        image->state = ImageState_queued;
    }
    image->result = image->state;
    appendImage(store, image);
    if (image->state == ImageState_queued ||
        (image->state == ImageState_available && store->holdCount == 0))
        Sem_signal(&store->workAvailable);
    else if (image->state == ImageState_available)
        store->deferredCount++;
    *out = image;
    return Res_ok;
}

// A new synchronous image that asked for it is decoded once at once into
// a view handed to the cache; a failure is not reported.
void decodeOnceNow(EngineContext *app, ImageObject *image)
{
    ImageView *view = nullptr;
    if (ImageView_create(image, &view) != Res_ok)
        return;
    ImageCache_lock(app);
    ImageView_pinAll(image);
    Lock_acquire(&image->imageLock);
    ImageView_attach(image, view);
    Lock_release(&image->imageLock);
    ImageCache_unlock(app);
    int32_t reason = 0;
    (void)Image_decode(app, image, &reason, 0, ImageStore_noLevelLimit, view);
    image->reason = reason;
    image->state = image->result;
    if (view->picture && image->state == ImageState_done) {
        ImageView_settle(view);
    }
    ImageCache_lock(app);
    ImageView_unpinAll(image);
    ImageCache_unlock(app);
}

} // namespace

int Image_open(EngineContext *app, ImageSource *source, ImageCheckFn checkFn, void *checkArg,
               void *owner, ImageHook hook, void *hookArg, int32_t widthHint, int32_t heightHint,
               uint32_t options, intptr_t extra, ImageHandle **handle)
{
    *handle = nullptr;
    ImageStore *store = storeOf(app);
    if (!store) {
        tellHookGone(hook, hookArg);
        releaseSource(app, source);
        return Res_missingArgument;
    }
    if (store->flags & ImageStore_noWorkers)
        options |= ImageOpt_sync;
    if (store->flags & ImageStore_staticSubsample)
        options |= ImageOpt_staticSubsample;
    // Read here rather than at creation, so that the options an image is
    // shared by already hold the low-memory bits.
    if (Config_getIntA(app, app->config, u"Core", "LowMemoryAnimations", 0) == 1)
        options |= ImageOpt_lowMemAnim | ImageOpt_animations;

    Lock_acquire(&store->lock);
    ImageObject *image = nullptr;
    if (!(options & ImageOpt_neverShare) && source && source->same) {
        for (ImageObject *i = store->first; i; i = i->next) {
            if (!i->source || i->source->same != source->same || i->hook != hook ||
                i->hookArg != hookArg)
                continue;
            uint32_t theirs = (options & ImageOpt_releaseDecoder)
                                  ? i->options
                                  : i->options & ~uint32_t(ImageOpt_releaseDecoder);
            if (theirs != options || !source->same(app, source, i->source))
                continue;
            image = i;
            break;
        }
        if (image)
            releaseSource(app, source);
    }
    bool created = false;
    if (!image) {
        int err = createImage(app, store, source, checkFn, checkArg, hook, hookArg, widthHint,
                              heightHint, options, extra, &image);
        if (err != Res_ok) {
            Lock_release(&store->lock);
            return err;
        }
        created = true;
    }
    ImageHandle *h = nullptr;
    int err = ImageHandle_create(app, &h, owner, (options & ImageOpt_sync) ? 0 : 1);
    if (err != Res_ok) {
        // Image_destroyObject leaves an image that other handles hold.
        Image_destroyObject(app, image);
        return err;
    }
    h->image = image;
    addHandle(image, h);
    Lock_release(&store->lock);
    if (created && (options & ImageOpt_sync) &&
        (options & (ImageOpt_releaseDecoder | ImageOpt_staticSubsample)))
        decodeOnceNow(app, image);
    *handle = h;
    return Res_ok;
}

int Image_openUrl(EngineContext *app, const Url *url, ImageLoadChargeFn charge, Edr_Doc *doc,
                  const int32_t *layout, ImageHandle **image)
{
    return Image_openUrlFlags(app, url, charge, doc, layout, ImageOpt_recognise, image);
}

int Image_openUrlFlags(EngineContext *app, const Url *url, ImageLoadChargeFn, Edr_Doc *,
                       const int32_t *, uint32_t flags, ImageHandle **image)
{
    *image = nullptr;
    ImageSource *source = nullptr;
    int r = ByteSrc_openUrl(url, &source);
    if (r != Res_ok)
        return r;
    if (!source)
        return Res_urlIncomplete;
    return Image_open(app, source, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                      flags | ImageOpt_animations, 0, image);
}

Url *Image_getSourceUrl(ImageHandle *handle)
{
    if (!handle)
        return nullptr;
    Url *copy = nullptr;
    ImageObject *image = ImageHandle_lockImage(handle, 4);
    if (image && image->source && image->source->openStream == ImageSource_openUrl)
        copy = Url_copy(reinterpret_cast<const ImageUrlSource *>(image->source)->url);
    ImageHandle_unlockImage(handle, image, 4);
    return copy;
}

int ImageHandle_create(EngineContext *app, ImageHandle **handle, void *owner, int32_t lockable)
{
    *handle = static_cast<ImageHandle *>(Mem_calloc(1, sizeof(ImageHandle)));
    if (!*handle)
        return Res_noMemory;
    (*handle)->owner = owner;
    (*handle)->app = app;
    (*handle)->lockable = lockable ? 1 : 0;
    if (lockable)
        // Lock_init cannot fail.
        (void)Lock_init(app, &(*handle)->mutex);
    return Res_ok;
}

void ImageHandle_free(ImageHandle *handle)
{
    if (!handle)
        return;
    if (handle->lockable)
        Lock_fini(&handle->mutex);
    Mem_free(handle);
}

void ImageHandle_release(ImageHandle *handle)
{
    if (!handle)
        return;
    EngineContext *app = handle->app;
    ImageStore *store = storeOf(app);
    if (!store) {
        ImageHandle_free(handle);
        return;
    }
    Lock_acquire(&store->lock);
    ImageObject *image = handle->image;
    if (image)
        removeHandle(image, handle);
    ImageHandle_free(handle);
    if (image)
        Image_destroyObject(app, image);
    else
        Lock_release(&store->lock);
}

int ImageHandle_clone(ImageHandle *handle, ImageHandle **out)
{
    *out = nullptr;
    if (!handle)
        return Res_nullInput;
    EngineContext *app = handle->app;
    ImageStore *store = storeOf(app);
    ImageHandle *h = nullptr;
    int err = ImageHandle_create(app, &h, handle->owner, handle->lockable);
    if (err != Res_ok)
        return err;
    if (store)
        Lock_acquire(&store->lock);
    ImageObject *image = handle->image;
    h->image = image;
    if (image)
        addHandle(image, h);
    if (store)
        Lock_release(&store->lock);
    *out = h;
    return Res_ok;
}

namespace {

ImageObject *readImage(ImageHandle *handle)
{
    if (!handle->lockable)
        return handle->image;
    Lock_acquire(&handle->mutex);
    ImageObject *image = handle->image;
    Lock_release(&handle->mutex);
    return image;
}

} // namespace

ImageObject *ImageHandle_lockImage(ImageHandle *handle, uint32_t mode)
{
    ImageStore *store = storeOf(handle->app);
    if ((mode & 1) && store)
        Lock_acquire(&store->lock);
    ImageObject *image = readImage(handle);
    if (!image)
        return nullptr;
    if (mode & 2) {
        ImageCache_lock(handle->app);
        ImageView_pinAll(image);
    }
    if (mode & 4)
        Lock_acquire(&image->imageLock);
    return image;
}

void ImageHandle_unlockImage(ImageHandle *handle, ImageObject *image, uint32_t mode)
{
    if (image && (mode & 4))
        Lock_release(&image->imageLock);
    if (image && (mode & 2)) {
        ImageView_unpinAll(image);
        ImageCache_unlock(handle->app);
    }
    ImageStore *store = storeOf(handle->app);
    if ((mode & 1) && store)
        Lock_release(&store->lock);
}

void ImageHandle_setImage(ImageHandle *handle, ImageObject *image)
{
    if (handle->lockable)
        Lock_acquire(&handle->mutex);
    handle->image = image;
    if (handle->lockable)
        Lock_release(&handle->mutex);
}

void Anim_addImage(ImageObject *image, ImageHandle *handle)
{
    ImageHandle_setImage(handle, image);
    addHandle(image, handle);
}

void Image_destroyObject(EngineContext *app, ImageObject *image)
{
    ImageStore *store = storeOf(app);
    if (image->handles) {
        Lock_release(&store->lock);
        return;
    }
    unlinkImage(store, image);
    bool busy = image->state == ImageState_decoding || image->state == ImageState_publishing;
    if (busy && image->worker >= 0 && image->worker < ImageStore_workerMax &&
        store->workers[image->worker])
        // A task that has already ended needs no stop.
        (void)Task_requestStop(store->workers[image->worker]);
    Lock_release(&store->lock);
    // The done semaphore may hold a unit from an earlier pass: wait until
    // the worker has really published this one.
    while (busy) {
        Sem_wait(&image->done);
        Lock_acquire(&store->lock);
        busy = image->state == ImageState_decoding || image->state == ImageState_publishing;
        Lock_release(&store->lock);
    }
    Anim_leaveAnimList(image);
    Image_closeCodec(image);
    Image_freeFrames(image);
    ImageCache_lock(app);
    Lock_acquire(&image->imageLock);
    while (image->views)
        ImageView_dropFromCache(app, image->views);
    Lock_release(&image->imageLock);
    ImageCache_unlock(app);
    Lock_acquire(&image->imageLock);
    Image_dropDecoder(image, 0);
    ImageSource *source = image->source;
    image->source = nullptr;
    Lock_release(&image->imageLock);
    releaseSource(app, source);
    ByteStream_close(image->dataStream);
    SharedStream_releaseIfAny(image->sharedStream);
    ImageHook hook = image->hook;
    void *hookArg = image->hookArg;
    freeImageRecord(image);
    tellHookGone(hook, hookArg);
}

// --------------------------------------------------------------- freezing

namespace {

bool stillAnimates(const ImageObject *)
{
    // Frame sequences do not exist yet: no picture of kind 2 animates.
    return false;
}

// The frozen copy of image: the same sizes and outcome, no source and no
// hook, holding a copy of the current picture (state 5) or nothing (6).
// The old image's pixels are copied, not shared, since the two images die
// apart. Null when memory runs out. Store lock held.
ImageObject *frozenCopy(EngineContext *app, ImageStore *store, ImageObject *old, bool queued)
{
    ImageObject *copy = newImage(app, store);
    if (!copy)
        return nullptr;
    Lock_acquire(&old->imageLock);
    copy->width = old->width;
    copy->height = old->height;
    copy->resolution = old->resolution;
    copy->fullWidth = old->fullWidth;
    copy->fullHeight = old->fullHeight;
    copy->nominalWidth = old->nominalWidth;
    copy->nominalHeight = old->nominalHeight;
    copy->nominalResolution = old->nominalResolution;
    copy->statedResolution = old->statedResolution;
    copy->extraLevels = old->extraLevels;
    copy->levelStart = old->levelStart;
    copy->levelAchieved = old->levelAchieved;
    copy->pictureFormat = old->pictureFormat;
    copy->maskFormat = old->maskFormat;
    copy->pictureWord = old->pictureWord;
    copy->headerKnown = old->headerKnown;
    copy->extra = old->extra;
    copy->errorCode = old->errorCode;
    copy->reason = 0;
    copy->kind = 1;
    copy->options = ImageOpt_sync | ImageOpt_releaseDecoder | ImageOpt_staticSubsample;
    copy->state = ImageState_failed;
    if (!queued) {
        const ImageView *from = old->targetView ? old->targetView : old->views;
        PixelBuf *picture = nullptr, *mask = nullptr;
        ImageView *view = nullptr;
        if (from && from->picture && PixelBuf_clone(from->picture, &picture) == Res_ok &&
            (!from->mask || PixelBuf_clone(from->mask, &mask) == Res_ok) &&
            ImageView_create(copy, &view) == Res_ok) {
            ImageView_setBuffers(view, picture, mask);
            view->level = from->level;
            ImageView_attach(copy, view);
            view->viewFlags |= ImageView_keepWithImage;
            copy->state = ImageState_done;
            copy->noMask = mask ? 0 : 1;
        } else {
            PixelBuf_destroy(picture);
            PixelBuf_destroy(mask);
        }
    }
    Lock_release(&old->imageLock);
    copy->result = copy->state;
    appendImage(store, copy);
    return copy;
}

} // namespace

void Image_freeze(ImageHandle *handle, int onlyQueued)
{
    EngineContext *app = handle->app;
    ImageStore *store = storeOf(app);
    ImageObject *image = handle->image;
    if (!image) {
        Lock_release(&store->lock);
        return;
    }
    if (image->kind == 2 && image->state == ImageState_animated) {
        Lock_acquire(&image->imageLock);
        image->frozen = 1;
        Lock_release(&image->imageLock);
        Lock_release(&store->lock);
        return;
    }
    int32_t state = image->state;
    bool queued = state == ImageState_queued || state == ImageState_available;
    bool active = state == ImageState_decoding || state == ImageState_animated ||
                  state == ImageState_animOnDemand ||
                  ((state == ImageState_publishing || state == ImageState_done) &&
                   image->kind == 2 && stillAnimates(image));
    if (!queued && !(onlyQueued == 0 && active)) {
        Lock_release(&store->lock);
        return;
    }
    ImageObject *copy = frozenCopy(app, store, image, queued);
    if (!copy) {
        Lock_release(&store->lock);
        return;
    }
    removeHandle(image, handle);
    ImageHandle_setImage(handle, copy);
    addHandle(copy, handle);
    Image_destroyObject(app, image);
    Image_notifySize(copy, copy->nominalWidth, copy->nominalHeight, copy->nominalResolution);
    Image_invalidateAll(copy);
}

void Image_stopLoading(ImageHandle *handle)
{
    if (!handle || !storeOf(handle->app))
        return;
    Lock_acquire(&storeOf(handle->app)->lock);
    Image_freeze(handle, 0);
}

void Image_stopQueued(ImageHandle *handle)
{
    if (!handle || !storeOf(handle->app))
        return;
    Lock_acquire(&storeOf(handle->app)->lock);
    Image_freeze(handle, 1);
}

void Image_detachHandle(ImageHandle *handle)
{
    if (!handle || !handle->lockable || !storeOf(handle->app))
        return;
    ImageStore *store = storeOf(handle->app);
    Lock_acquire(&store->lock);
    ImageObject *image = handle->image;
    if (!image) {
        Lock_release(&store->lock);
        return;
    }
    removeHandle(image, handle);
    ImageHandle_setImage(handle, nullptr);
    Image_destroyObject(handle->app, image);
}

void Image_setStopped(ImageHandle *handle, int flag)
{
    if (flag)
        Image_stopLoading(handle);
}

void Image_detachFromNode(ImageHandle *handle)
{
    Image_detachHandle(handle);
}

// ---------------------------------------------------------- notifications

void Image_setReadyCallbacks(ImageHandle *handle, ImageReadyFn ready, ImageSizeFn size, void *user)
{
    if (!handle)
        return;
    ImageObject *image = readImage(handle);
    if (!image) {
        handle->ready = ready;
        handle->size = size;
        handle->user = user;
        return;
    }
    Lock_acquire(&image->handleLock);
    handle->ready = ready;
    handle->size = size;
    handle->user = user;
    Lock_acquire(&image->imageLock);
    int32_t state = image->state;
    int32_t w = image->nominalWidth, h = image->nominalHeight, res = image->nominalResolution;
    Lock_release(&image->imageLock);
    Lock_release(&image->handleLock);
    // Callbacks run without the image's locks, so that they may query it.
    bool decoding = state >= ImageState_queued && state <= ImageState_publishing;
    if (decoding)
        return;
    if (size)
        size(user, w, h, res);
    if (ready)
        ready(user, 0, 0, w, h);
}

void Image_notifyRegion(ImageHandle *handle, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (handle->ready)
        handle->ready(handle->user, x, y, width, height);
}

void Image_notifyAllRegion(ImageObject *image, int32_t x, int32_t y, int32_t width, int32_t height)
{
    Lock_acquire(&image->handleLock);
    for (ImageHandle *h = image->handles; h; h = h->nextHandle)
        Image_notifyRegion(h, x, y, width, height);
    Lock_release(&image->handleLock);
}

void Image_invalidate(ImageObject *image, const Rect *rect)
{
    Lock_acquire(&image->imageLock);
    image->version++;
    Lock_release(&image->imageLock);
    Image_notifyAllRegion(image, rect->x0, rect->y0, rect->x1 - rect->x0, rect->y1 - rect->y0);
}

void Image_invalidateAll(ImageObject *image)
{
    Rect all{0, 0, image->nominalWidth, image->nominalHeight};
    Image_invalidate(image, &all);
}

void Image_notifySize(ImageObject *image, int32_t width, int32_t height, int32_t resolution)
{
    Lock_acquire(&image->handleLock);
    for (ImageHandle *h = image->handles; h; h = h->nextHandle)
        if (h->size)
            h->size(h->user, width, height, resolution);
    Lock_release(&image->handleLock);
}

void Image_rectSnapshot(ImageObject *image, Rect *out)
{
    if (!out)
        return;
    Lock_acquire(&image->imageLock);
    *out = image->changed;
    Lock_release(&image->imageLock);
}

// ------------------------------------------------------------- queries

uint32_t Image_getCapFlags(ImageObject *image)
{
    uint32_t f = image->options;
    if (image->maskWord)
        f |= ImageCap_maskWord;
    if (image->alphaWord)
        f |= ImageCap_alphaWord;
    int32_t s = image->state;
    bool lastFrame = image->kind != 2; // no frame sequence has a successor yet
    if (s == ImageState_failed || s == ImageState_animEnded ||
        ((s == ImageState_done || (s == ImageState_publishing && !image->moreFrames)) && lastFrame))
        f |= ImageCap_final;
    if (image->moreFrames)
        f |= ImageCap_moreFrames;
    if (s != ImageState_done)
        f |= ImageCap_async;
    if (!image->noMask)
        f |= ImageCap_hasMaskBuffer;
    if (image->kind == 2) {
        f |= ImageCap_sequence;
    } else {
        bool transformed = false;
        for (const ImageView *v = image->views; v; v = v->nextView)
            if (v->transform)
                transformed = true;
        if (!(s == ImageState_done && !transformed))
            f |= ImageCap_drawable;
    }
    return f;
}

namespace {

int32_t itemScale(const ImageObject *image)
{
    int32_t scale = image->extra ? int32_t(image->extra) : image->nominalResolution;
    return scale > 0 ? scale : 1;
}

} // namespace

int Image_getDocImageInfo(ImageHandle *handle, int32_t *info, int32_t *loopCounter,
                          uint32_t *capFlags)
{
    if (info)
        memset(info, 0, 6 * sizeof(int32_t));
    if (loopCounter)
        *loopCounter = 0;
    if (capFlags)
        *capFlags = 0;
    ImageObject *image = handle ? readImage(handle) : nullptr;
    if (!image)
        return Res_notFound;
    if (image->state == ImageState_done && !image->headerKnown) {
        int32_t state = 0, reason = 0;
        if (Image_readHeaderNow(image, &state, &reason) == Res_stopRequested)
            return Res_stopRequested;
    }
    Lock_acquire(&image->imageLock);
    if (info) {
        info[0] = image->nominalWidth;
        info[1] = image->nominalHeight;
        info[2] = image->nominalResolution;
        info[3] = itemScale(image);
        info[4] = image->resolution;
        info[5] = image->codecSizeWord;
    }
    if (capFlags)
        *capFlags = Image_getCapFlags(image);
    Lock_release(&image->imageLock);
    return Res_ok;
}

int32_t Image_getStatedResolution(ImageHandle *handle)
{
    ImageObject *image = handle ? ImageHandle_lockImage(handle, 4) : nullptr;
    if (!image)
        return 0;
    int32_t resolution = image->statedResolution;
    ImageHandle_unlockImage(handle, image, 4);
    return resolution;
}

int Image_isUsable(ImageHandle *handle)
{
    ImageObject *image = handle ? ImageHandle_lockImage(handle, 4) : nullptr;
    if (!image)
        return 0;
    int usable = image->result != ImageState_failed;
    ImageHandle_unlockImage(handle, image, 4);
    return usable;
}

int Image_getDocImageState(ImageHandle *handle)
{
    ImageObject *image = handle ? ImageHandle_lockImage(handle, 4) : nullptr;
    if (!image)
        return 0;
    int code = image->errorCode;
    ImageHandle_unlockImage(handle, image, 4);
    return code;
}

int Image_getScaledSize(ImageHandle *handle, int32_t *width, int32_t *height, int32_t *scale)
{
    *width = *height = *scale = 0;
    ImageObject *image = handle ? ImageHandle_lockImage(handle, 4) : nullptr;
    if (!image)
        return Res_notFound;
    *width = image->width;
    *height = image->height;
    int32_t level = image->levelAchieved;
    int64_t s = itemScale(image);
    if (level > 0)
        s = level >= 31 ? 1 : (s + (int64_t(1) << level) - 1) >> level;
    *scale = s > 0 ? int32_t(s) : 1;
    ImageHandle_unlockImage(handle, image, 4);
    return Res_ok;
}

int32_t Image_getTypeId(ImageObject *image)
{
    ImageCodec *codec = image ? ImageCodec_of(image) : nullptr;
    if (!image || image->result == ImageState_failed || !codec)
        return 1;
    return codec->typeId ? codec->typeId() : 0;
}
