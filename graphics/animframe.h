// Frame sequences of animated images.
//
// An animated image (kind 2) keeps a small pool of decoded frames instead
// of one picture. The decoder takes a free frame, decodes into it and
// queues it with the time at which it must appear; the image's playback
// clock (PlayClock, core/task/clock.h) fires at those times, the due frame
// becomes current and the handles are asked to redraw; drawing borrows the
// current frame while it draws. Frames that have been shown and are no
// longer borrowed go back to the pool, which wakes the decoder. The queue
// is kept in display-time order, equal times in the order they were queued;
// its head is the current frame.
//
// Pool and queue fields change under the image lock: the functions below
// expect it held, except Anim_takeFreeFrame, which waits
// and takes it itself, and Anim_onClockTick.
#pragma once

#include <cstdint>

struct EngineContext;
struct ImageObject;
struct PixelBuf;

struct AnimFrame {
    int32_t queued;   // in the queue
    int32_t waited;   // somebody waits for it to be passed
    int32_t useCount; // borrowers
    int32_t time;     // display time in milliseconds on the clock
    AnimFrame *next;  // queue or pool link
    int32_t loop;     // the loop counter given by the codec
    PixelBuf *picture;
    PixelBuf *mask;
};

enum : int32_t {
    Anim_minFrames = 2,
};

// Makes the image a frame sequence: its clock (tick Anim_onClockTick),
// started unless the image is frozen, the clock events cleared, kind 2,
// the formats, and a pool of frameCount frames (at least 2). 0 or an error.
[[nodiscard]] int Anim_setupFrames(ImageObject *image, int32_t withMask, uint32_t pictureFormat,
                                   uint32_t maskFormat, int32_t frameCount);
// Makes count frames (the view's existing buffers go to frame 0) and the
// two semaphores. 0x1C04 when the view holds buffers of another size or
// format; 1 when memory runs out (nothing is left).
[[nodiscard]] int Anim_allocFrames(ImageObject *image, int32_t count, int32_t withMask);
// Takes a free frame for decoding (see the header comment). 0; 0x1C08 when
// the animation loop should go round at once; 0x1C07 when no frame is free
// and the decoder must not wait; 48 when the task is asked to stop.
[[nodiscard]] int Anim_takeFreeFrame(ImageObject *image, AnimFrame **frame, PixelBuf **picture,
                                     PixelBuf **mask);
// Queues frame for display at time (ms) with the codec's loop counter.
void Anim_queueFrame(ImageObject *image, AnimFrame *frame, int32_t time, int32_t loop);
// The decoder gives a frame back without queueing it.
void Anim_releaseFrame(ImageObject *image, AnimFrame *frame);
// Passes every queued frame and sets the current frame's time to 0.
void Anim_rewind(ImageObject *image);
// Low-memory mode: frees every frame's buffers and empties queue and pool.
void Anim_dropFrames(ImageObject *image);
// Passes the queue up to frame (or all of it): the head becomes frame.
void Anim_advanceTo(ImageObject *image, AnimFrame *frame, int all);
// Makes the last frame due at now current: 1 with *nextTime the following
// frame's time, else 0. *loop gets the current loop counter.
int Anim_pickCurrentAt(ImageObject *image, int64_t now, int32_t *nextTime, int32_t *loop);
// The same at the clock's elapsed time.
int Anim_pickCurrent(ImageObject *image, int32_t *nextTime, int32_t *loop);
// The clock's slot-0 callback: makes the due frame current, arms the clock
// for the next one and tells the handles.
void Anim_onClockTick(EngineContext *context, void *image);
// A clock state change (a to b) sets the image's clock-event bits and wakes
// the animation worker.
void Anim_onClockEvent(EngineContext *app, ImageObject *image, int32_t a, int32_t b);

// Borrows the current frame's buffers (nulls when there is none). In
// low-memory mode once the frames were dropped, the codec first decodes the
// current frame into a new frame. 0 or that decode's error.
[[nodiscard]] int Image_acquireCurrentFrame(ImageObject *image, PixelBuf **picture,
                                            PixelBuf **mask);
// The same for the sequence's first frame, whatever frame the clock has
// made current: the first frame itself while it is queued, else the copy
// kept when the clock passed it (the current frame when no copy could be
// kept). A still picture of the image (a page render, a thumbnail) draws
// this one. Release with Image_releaseFrame, as for the current frame.
[[nodiscard]] int Image_acquireStillFrame(ImageObject *image, PixelBuf **picture, PixelBuf **mask);
// The frame a paint of the screen shows: the first frame (as
// Image_acquireStillFrame) from the first paint until the clock makes
// another frame current, whatever frames the clock passed before that
// paint; the current frame afterwards. Image lock held.
int Image_acquireShownFrame(ImageObject *image, PixelBuf **picture, PixelBuf **mask);
// Gives back the frame whose picture was borrowed (in low-memory mode with
// dropped frames every frame is freed).
void Image_releaseFrame(ImageObject *image, PixelBuf *picture);
// Non-zero when a current frame exists and another follows it.
int Image_hasNextFrame(ImageObject *image);
// Frees the frames, the semaphores and the clock of a frame sequence.
void Image_freeFrames(ImageObject *image);
// The store's "Vexlan_maxAnimLoops".
int32_t Image_getMaxAnimLoops(ImageObject *image);
// Marks image animated under its own lock. 0.
int Image_markAnimated(ImageObject *image);
