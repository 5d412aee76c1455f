// Frame sequences of animated images.
#include "graphics/animframe.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/clock.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

namespace {

bool lowMemory(const ImageObject *image)
{
    return (image->options & ImageOpt_lowMemAnim) != 0;
}

// Signals the decoder side: the frame semaphore, or the store's animation
// wake-up when the animation loop drives the image.
void wakeDecoder(ImageObject *image, Sem *sem)
{
    if (image->moreFrames && image->app && image->app->imageStore)
        Anim_wake(image->app);
    else
        Sem_signal(sem);
}

// Returns a frame to the pool when nobody borrows it and it is not queued.
void toPool(ImageObject *image, AnimFrame *frame)
{
    if (frame->useCount != 0 || frame->queued)
        return;
    frame->next = image->freeFrames;
    image->freeFrames = frame;
    frame->time = 0;
    wakeDecoder(image, &image->frameFreed);
}

void freeStill(ImageObject *image)
{
    PixelBuf_destroy(image->stillPicture);
    PixelBuf_destroy(image->stillMask);
    image->stillPicture = image->stillMask = nullptr;
}

// The first frame is being passed: its pixels are kept as the still
// before the pool takes the frame back for later frames. Without memory
// no still is kept and stills show the current frame instead.
void keepStill(ImageObject *image, AnimFrame *frame)
{
    image->firstFrame = nullptr;
    if (image->stillPicture || !frame->picture)
        return;
    if (PixelBuf_clone(frame->picture, &image->stillPicture) != Res_ok ||
        (frame->mask && PixelBuf_clone(frame->mask, &image->stillMask) != Res_ok))
        freeStill(image);
}

void freeBuffers(ImageObject *image)
{
    for (int32_t i = 0; i < image->frameCount; i++) {
        PixelBuf_destroy(image->frames[i].picture);
        PixelBuf_destroy(image->frames[i].mask);
        image->frames[i].picture = image->frames[i].mask = nullptr;
    }
}

} // namespace

int Anim_allocFrames(ImageObject *image, int32_t count, int32_t withMask)
{
    // A sequence decoded again starts from a new pool.
    if (image->frames) {
        PlayClock *clock = image->clock;
        image->clock = nullptr;
        Image_freeFrames(image);
        image->clock = clock;
    }
    ImageView *view = image->targetView;
    PixelBuf *oldPicture = view ? view->picture : nullptr;
    PixelBuf *oldMask = view ? view->mask : nullptr;
    const PixelBuf *held[2] = {oldPicture, oldMask};
    const uint32_t formats[2] = {image->pictureFormat, image->maskFormat};
    for (int i = 0; i < 2; i++) {
        const PixelBuf *b = held[i];
        if (b &&
            (b->width != image->width || b->height != image->height || b->format != formats[i]))
            return Res_imageSizeChanged;
    }
    AnimFrame *frames = static_cast<AnimFrame *>(Mem_calloc(size_t(count), sizeof(AnimFrame)));
    if (!frames)
        return Res_noMemory;
    int r = Sem_init(image->app, &image->frameFreed, uint32_t(count), 0x7fffffff);
    if (r == Res_ok) {
        r = Sem_init(image->app, &image->frameShown, 1, 0x7fffffff);
        if (r != Res_ok)
            Sem_fini(&image->frameFreed);
    }
    if (r != Res_ok) {
        Mem_free(frames);
        return r;
    }
    image->frames = frames;
    image->frameCount = count;
    for (int32_t i = 0; i < count; i++)
        frames[i].next = i + 1 < count ? &frames[i + 1] : nullptr;
    image->freeFrames = frames;
    image->queue = nullptr;
    for (int32_t i = 0; i < count && r == Res_ok; i++) {
        if (i == 0 && (oldPicture || oldMask)) {
            frames[0].picture = oldPicture;
            frames[0].mask = oldMask;
            view->picture = view->mask = nullptr;
        }
        if (!frames[i].picture)
            r = PixelBuf_create(&frames[i].picture, image->width, image->height,
                                image->pictureFormat, 0x10000);
        if (r == Res_ok && withMask && !frames[i].mask)
            r = PixelBuf_create(&frames[i].mask, image->width, image->height, image->maskFormat,
                                0x10000);
    }
    if (r != Res_ok)
        Image_freeFrames(image);
    return r;
}

namespace {

// The clock's slot listener: stops, pauses and restarts reach the
// animation (the end of the clock, at the image's destruction, does not).
void onClockChange(PlayClock *, void *argument, const ClockChange *change)
{
    ImageObject *image = static_cast<ImageObject *>(argument);
    if (change->newState != Clock_ended)
        Anim_onClockEvent(image->app, image, change->oldState, change->newState);
}

} // namespace

int Anim_setupFrames(ImageObject *image, int32_t withMask, uint32_t pictureFormat,
                     uint32_t maskFormat, int32_t frameCount)
{
    if (!image->clock) {
        int r = Clock_create(image->app, &image->clock);
        if (r != Res_ok)
            return r;
        Clock_setCallback(image->clock, 0, Anim_onClockTick, image);
        Clock_setListener(image->clock, 0, onClockChange, image);
    }
    if (!image->frozen)
        (void)Clock_start(image->clock);
    image->clockEvents[0] = image->clockEvents[1] = 0;
    image->kind = 2;
    image->pictureFormat = pictureFormat;
    image->maskFormat = maskFormat;
    image->keepMask = withMask;
    return Anim_allocFrames(image, frameCount < Anim_minFrames ? Anim_minFrames : frameCount,
                            withMask);
}

int Anim_takeFreeFrame(ImageObject *image, AnimFrame **frame, PixelBuf **picture, PixelBuf **mask)
{
    *frame = nullptr;
    *picture = *mask = nullptr;
    image->alternate ^= 1;
    if (image->state == ImageState_animated && image->alternate)
        return Res_imageGoRound;
    if (image->app && Task_checkStop(image->app) == Res_stopRequested)
        return Res_stopRequested;
    if (!image->moreFrames) {
        if (Sem_waitStoppable(&image->frameFreed) == Res_stopRequested)
            return Res_stopRequested;
    }
    Image_lockFields(image);
    if (!image->freeFrames && image->moreFrames && lowMemory(image) && image->framesDropped) {
        AnimFrame *grown = static_cast<AnimFrame *>(
            Mem_realloc(image->frames, size_t(image->frameCount + 1) * sizeof(AnimFrame)));
        int r = grown ? Res_ok : Res_noMemory;
        if (grown) {
            image->frames = grown;
            AnimFrame *f = &grown[image->frameCount];
            *f = AnimFrame{};
            r = PixelBuf_create(&f->picture, image->width, image->height, image->pictureFormat,
                                0x10000);
            if (r == Res_ok && image->keepMask)
                r = PixelBuf_create(&f->mask, image->width, image->height, image->maskFormat,
                                    0x10000);
            if (r == Res_ok) {
                image->frameCount++;
                image->freeFrames = f;
            } else {
                PixelBuf_destroy(f->picture);
            }
        }
        if (r != Res_ok) {
            Image_unlockFields(image);
            return r;
        }
    }
    AnimFrame *f = image->freeFrames;
    if (!f) {
        Image_unlockFields(image);
        return Res_imageNoFreeFrame;
    }
    image->freeFrames = f->next;
    f->next = nullptr;
    f->useCount++;
    *frame = f;
    *picture = f->picture;
    *mask = f->mask;
    Image_unlockFields(image);
    return Res_ok;
}

void Anim_queueFrame(ImageObject *image, AnimFrame *frame, int32_t time, int32_t loop)
{
    frame->queued = 1;
    frame->time = time;
    frame->loop = loop;
    AnimFrame **link = &image->queue;
    while (*link && (*link)->time <= time)
        link = &(*link)->next;
    frame->next = *link;
    *link = frame;
    if (!image->firstQueued) {
        image->firstQueued = 1;
        image->firstFrame = frame;
    }
    if (loop != 0)
        image->animates = 1;
    if (!lowMemory(image) && image->clock)
        (void)Clock_setTimer(image->clock, 0, uint32_t(time));
}

void Anim_releaseFrame(ImageObject *image, AnimFrame *frame)
{
    if (frame->useCount > 0)
        frame->useCount--;
    toPool(image, frame);
}

void Anim_advanceTo(ImageObject *image, AnimFrame *frame, int all)
{
    AnimFrame *f = image->queue;
    while (f && (all || f != frame)) {
        AnimFrame *next = f->next;
        f->queued = 0;
        f->next = nullptr;
        if (f == image->firstFrame)
            keepStill(image, f);
        if (f->waited) {
            f->waited = 0;
            wakeDecoder(image, &image->frameShown);
        }
        toPool(image, f);
        f = next;
    }
    image->queue = all ? nullptr : frame;
}

void Anim_rewind(ImageObject *image)
{
    AnimFrame *current = image->queue;
    Anim_advanceTo(image, nullptr, 1);
    if (current)
        current->time = 0;
}

void Anim_dropFrames(ImageObject *image)
{
    image->savedFrameCount = image->frameCount;
    // Frames decoded on demand never come back to the first one for a
    // still: its copy is kept before the buffers go.
    if (image->firstFrame)
        keepStill(image, image->firstFrame);
    freeBuffers(image);
    for (int32_t i = 0; i < image->frameCount; i++)
        image->frames[i] = AnimFrame{};
    image->queue = image->freeFrames = nullptr;
    image->framesDropped = 1;
}

int Anim_pickCurrentAt(ImageObject *image, int64_t now, int32_t *nextTime, int32_t *loop)
{
    *nextTime = 0;
    AnimFrame *current = image->queue;
    for (AnimFrame *f = image->queue; f && f->time <= now; f = f->next)
        current = f;
    if (current && current != image->queue) {
        Anim_advanceTo(image, current, 0);
        // A frame shown since the first paint: the animation runs.
        if (image->firstPaint == 1)
            image->firstPaint = 2;
    }
    if (current)
        image->loopCounter = current->loop;
    if (loop)
        *loop = image->loopCounter;
    if (current && current->next) {
        *nextTime = current->next->time;
        return 1;
    }
    return 0;
}

int Anim_pickCurrent(ImageObject *image, int32_t *nextTime, int32_t *loop)
{
    uint32_t elapsed = 0;
    if (image->clock)
        (void)Clock_elapsedMs(image->clock, &elapsed);
    return Anim_pickCurrentAt(image, elapsed, nextTime, loop);
}

void Anim_onClockTick(EngineContext *, void *argument)
{
    ImageObject *image = static_cast<ImageObject *>(argument);
    Lock_acquire(&image->imageLock);
    int32_t nextTime = 0, loop = 0;
    int more = 0;
    ImageCodec *codec = ImageCodec_of(image);
    if (lowMemory(image) && codec && codec->nextFrame && image->moreFrames) {
        int32_t time = 0;
        if (!image->framesDropped && !(image->clockEvents[0] & 1)) {
            if (!Anim_pickCurrent(image, &nextTime, &loop)) {
                image->clockEvents[0] |= 1;
                more = codec->nextFrame(image, image->codecInstance, 0, &time, &image->loopCounter);
            } else {
                more = 1;
                time = nextTime;
            }
        } else {
            if (image->clockEvents[0] & 1) {
                Anim_dropFrames(image);
                image->clockEvents[0] &= ~1;
            }
            more = codec->nextFrame(image, image->codecInstance, 1, &time, &image->loopCounter);
            // The frame decoded on demand is the one the clock moved to.
            if (image->firstPaint == 1)
                image->firstPaint = 2;
        }
        if (!more)
            image->state = ImageState_animEnded;
        nextTime = time;
    } else {
        more = Anim_pickCurrent(image, &nextTime, &loop);
    }
    if (more && image->clock)
        (void)Clock_setTimer(image->clock, 0, uint32_t(nextTime));
    Lock_release(&image->imageLock);
    Image_invalidateAll(image);
}

void Anim_onClockEvent(EngineContext *app, ImageObject *image, int32_t a, int32_t b)
{
    if (a == b)
        return;
    if (b == 0) {
        image->clockEvents[0] |= 4;
        image->clockEvents[1] = 0;
        if (a == 1)
            image->clockEvents[0] = (image->clockEvents[0] | 1) & ~2;
    } else if (b == 1) {
        image->clockEvents[0] |= 1 | 2;
    } else if (a == 1 && b == 2) {
        image->clockEvents[0] = (image->clockEvents[0] | 1) & ~2;
    }
    Anim_wake(app);
}

int Image_acquireCurrentFrame(ImageObject *image, PixelBuf **picture, PixelBuf **mask)
{
    *picture = *mask = nullptr;
    if (lowMemory(image) && image->framesDropped) {
        // No frame is kept: the codec decodes the current one now into a
        // new frame, which the release frees again.
        ImageCodec *codec = ImageCodec_of(image);
        EngineContext *app = image->app;
        if (codec && codec->decode && image->codecInstance && image->stream && app &&
            app->imageStore) {
            freeBuffers(image);
            image->frameCount = 0;
            image->queue = image->freeFrames = nullptr;
            ImageCodecParams params{Image_getCapFlags(image), app->imageStore->targetFormat,
                                    image->maskFormat, image->hook, image->hookArg};
            int r = codec->decode(app, image->codecInstance, image->stream, image, &params);
            if (r != Res_ok)
                return r;
        }
    }
    AnimFrame *current = image->queue;
    if (!current)
        return Res_ok;
    current->useCount++;
    *picture = current->picture;
    *mask = current->mask;
    return Res_ok;
}

int Image_acquireStillFrame(ImageObject *image, PixelBuf **picture, PixelBuf **mask)
{
    *picture = *mask = nullptr;
    AnimFrame *first = image->firstFrame;
    if (first && first->queued && first->picture) {
        first->useCount++;
        *picture = first->picture;
        *mask = first->mask;
        return Res_ok;
    }
    if (image->stillPicture) {
        // The copy never changes while the sequence lives: nothing to count.
        *picture = image->stillPicture;
        *mask = image->stillMask;
        return Res_ok;
    }
    return Image_acquireCurrentFrame(image, picture, mask);
}

int Image_acquireShownFrame(ImageObject *image, PixelBuf **picture, PixelBuf **mask)
{
    if (image->firstPaint == 2)
        return Image_acquireCurrentFrame(image, picture, mask);
    image->firstPaint = 1;
    return Image_acquireStillFrame(image, picture, mask);
}

void Image_releaseFrame(ImageObject *image, PixelBuf *picture)
{
    if (!picture)
        return;
    if (lowMemory(image) && image->framesDropped) {
        freeBuffers(image);
        image->frameCount = 0;
        image->queue = image->freeFrames = nullptr;
        return;
    }
    for (int32_t i = 0; i < image->frameCount; i++) {
        AnimFrame *f = &image->frames[i];
        if (f->picture != picture)
            continue;
        if (f->useCount > 0)
            f->useCount--;
        toPool(image, f);
        return;
    }
}

int Image_hasNextFrame(ImageObject *image)
{
    return image->queue && image->queue->next;
}

void Image_freeFrames(ImageObject *image)
{
    if (image->clock) {
        Clock_destroy(image->clock);
        image->clock = nullptr;
    }
    freeStill(image);
    image->firstFrame = nullptr;
    image->firstQueued = 0;
    if (!image->frames)
        return;
    freeBuffers(image);
    Mem_free(image->frames);
    Sem_fini(&image->frameFreed);
    Sem_fini(&image->frameShown);
    image->frames = nullptr;
    image->frameCount = 0;
    image->queue = image->freeFrames = nullptr;
}

int32_t Image_getMaxAnimLoops(ImageObject *image)
{
    return image->app && image->app->imageStore ? image->app->imageStore->maxAnimLoops : 0;
}

int Image_markAnimated(ImageObject *image)
{
    Lock_acquire(&image->imageLock);
    image->animated = 1;
    Lock_release(&image->imageLock);
    return Res_ok;
}

// ------------------------------------------------------ the animation loop

namespace {

// The loop gives way while the queue is held or another task waits for
// the animation lock.
bool paused(ImageStore *store)
{
    Lock_acquire(&store->waiterLock);
    bool p = store->animHold > 0 || store->animWaiters > 0;
    Lock_release(&store->waiterLock);
    return p;
}

// A frame is done: the first one since the image (re)started shows the
// whole area once; later frames reach the handles through the clock.
void frameDone(ImageObject *image)
{
    Lock_acquire(&image->imageLock);
    image->animWords[0] = 1;
    bool first = image->animWords[1] == 0;
    image->animWords[1] = 1;
    Lock_release(&image->imageLock);
    if (first)
        Image_invalidateAll(image);
}

// Takes image off the animation list (animation lock held) after a result
// that ends its animation: an error fails it, 0 leaves it decoded with the
// frame it shows.
void finishAnimation(ImageObject **link, ImageObject *image, int result)
{
    *link = image->animNext;
    image->animNext = nullptr;
    Lock_acquire(&image->imageLock);
    if (result != Res_ok) {
        if (image->clock) {
            Clock_destroy(image->clock);
            image->clock = nullptr;
        }
        Image_closeCodec(image);
        if (image->targetView)
            ImageView_freeBuffers(image->targetView);
        image->state = ImageState_failed;
        image->reason = ImageReason_decode;
        image->errorCode = result;
    } else {
        image->state = ImageState_done;
        image->reason = ImageReason_none;
    }
    Image_dropDecoder(image, 1);
    Lock_release(&image->imageLock);
    Image_invalidateAll(image);
}

} // namespace

int Anim_runLoop(EngineContext *app)
{
    ImageStore *store = app->imageStore;
    if (Sem_waitStoppable(&store->animWake) == Res_stopRequested)
        return Res_stopRequested;
    for (bool again = true; again;) {
        again = false;
        Lock_acquire(&store->animLock);
        ImageObject **link = &store->animList;
        while (*link && !paused(store)) {
            ImageObject *image = *link;
            if ((image->options & 0x20) && image->loopCounter != 0) {
                link = &image->animNext;
                continue;
            }
            int32_t events = image->clockEvents[0];
            image->clockEvents[0] = 0;
            ImageCodec *codec = ImageCodec_of(image);
            int r = codec ? Res_ok : Res_notImplemented;
            if (codec && (events & (1 | 4 | 8)) && codec->restart) {
                // A restart shows its first frame again.
                Lock_acquire(&image->imageLock);
                image->animWords[0] = 1;
                image->animWords[1] = 0;
                Lock_release(&image->imageLock);
                const ImageRestart request{4, 0};
                r = codec->restart(app, image->codecInstance, image, &request);
            }
            if (r == Res_ok) {
                ImageCodecParams params{Image_getCapFlags(image), store->targetFormat,
                                        store->targetWord, image->hook, image->hookArg};
                r = codec->decode(app, image->codecInstance, image->stream, image, &params);
            }
            if (r == Res_stopRequested) {
                Lock_release(&store->animLock);
                return Res_stopRequested;
            }
            if (r == Res_imageFrameDone || r == Res_imageNoFreeFrame || r == Res_imageGoRound) {
                if (r == Res_imageFrameDone)
                    frameDone(image);
                again = again || r == Res_imageGoRound;
                link = &image->animNext;
                continue;
            }
            finishAnimation(link, image, r);
        }
        Lock_release(&store->animLock);
    }
    return Res_ok;
}
