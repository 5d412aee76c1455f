// The image store: every picture of an engine instance, shared by source.
//
// One ImageStore per engine instance (EngineContext::imageStore) keeps each
// image as an ImageObject, found again by its byte source so that a picture
// used in several places is decoded once. Users hold ImageHandles; an image
// lives while at least one handle points at it. Decoding runs on the
// store's two "imageJob" workers, or in the caller's thread for images
// opened synchronously (option 0x1). The decoder is the registered codec
// (graphics/imagecodec.h) that rates the first bytes highest. Large pictures
// are subsampled by powers of two; decoded pixels live in image views
// (graphics/imageview.h) counted against the image cache's budget.
//
// Lock order: the store lock, a handle's mutex, the image cache lock, an
// image's handleLock, then its imageLock. Handle callbacks (size and ready)
// run with only the image's handleLock held: they may lock the image
// (ImageHandle_lockImage with mode 4) but must not take the store lock or
// release a handle of the image that calls them.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "platform/vfs/imagesource.h"
#include "core/task/lock.h"

struct ByteStream;
struct EngineContext;
struct ImageCodec;
struct ImageHandle;
struct ImageObject;
struct ImageView;
struct PixelBuf;
struct Task;
struct Edr_DrawList;
struct Edr_Doc;
struct Url;
struct AnimFrame;
struct PlayClock;
struct SharedStream;

// The owner's question hook: hook(hookArg, op, buffer, &size). With a null
// buffer it stores the size of its answer in *size (0 or less: no answer);
// with a buffer it writes the answer there. 0 or an error. The store calls
// hook(hookArg, 0, null, null) once when the image goes.
typedef int (*ImageHook)(void *hookArg, int32_t op, void *buffer, int32_t *size);

// Handle callbacks: a changed region of the picture (x, y, width, height)
// and the size the decoder reported.
typedef void (*ImageReadyFn)(void *user, int32_t x, int32_t y, int32_t width, int32_t height);
typedef void (*ImageSizeFn)(void *user, int32_t width, int32_t height, int32_t resolution);

// Option word of an image (given to Image_open).
enum : uint32_t {
    ImageOpt_sync = 0x1,             // decoded in the caller's thread on demand
    ImageOpt_recognise = 0x4,        // content recognition (codecs claim nothing without it)
    ImageOpt_neverShare = 0x40,      // always a new image
    ImageOpt_animations = 0x80,      // animation wanted; set with ImageOpt_lowMemAnim
    ImageOpt_releaseDecoder = 0x100, // drop the decoder after decoding
    ImageOpt_staticSubsample = 0x200,
    ImageOpt_screenResolution = 0x100000, // no resolution stated: 96 per inch, not 72
    ImageOpt_lowMemAnim = 0x2000000,      // frames decoded on demand ("LowMemoryAnimations" 1)
};

// Capability flags (Image_getCapFlags): the option word plus these.
enum : uint32_t {
    ImageCap_frameDelayed = 0x200000,  // a frame was queued with a delay
    ImageCap_hasMaskBuffer = 0x400000, // the image has a mask (noMask clear)
    ImageCap_async = 0x800000,         // not state 5
    ImageCap_moreFrames = 0x1000000,
    ImageCap_maskWord = 0x4000000,  // the first mask word is set
    ImageCap_alphaWord = 0x8000000, // the second mask word is set
    ImageCap_final = 0x10000000,    // the picture will not change any more
    ImageCap_sequence = 0x20000000, // a frame sequence
    ImageCap_drawable = 0x40000000, // a frame is current, or views may differ
};

// Decode states and results.
enum : int32_t {
    ImageState_queued = 1,    // the next free worker takes it
    ImageState_available = 2, // queued with its data at hand; waits while the store is held
    ImageState_decoding = 3,
    ImageState_publishing = 4,
    ImageState_done = 5, // decoded, or synchronous and not yet decoded
    ImageState_failed = 6,
    ImageState_animated = 7,     // the animation loop decodes further frames
    ImageState_animOnDemand = 8, // low-memory animation
    ImageState_animEnded = 9,
};

// Failure reasons.
enum : int32_t {
    ImageReason_none = -1,
    ImageReason_decode = 1,  // decoding failed or memory ran out
    ImageReason_source = 2,  // the source failed to open or gave no data
    ImageReason_noCodec = 3, // no codec recognised the data
};

// Store flags.
enum : uint32_t {
    ImageStore_noWorkers = 0x1,   // every image decodes synchronously
    ImageStore_keepEncoded = 0x2, // decode from an in-memory copy of the data
    ImageStore_staticSubsample = 0x40000000,
};

enum : int32_t {
    ImageStore_workerMax = 2,
    ImageStore_codecSlots = 15,
    ImageStore_maxExtraLevels = 4, // row reductions the store adds to a banded codec
    ImageStore_noLevelLimit = 31,
};

struct ImageStore {
    Lock lock;          // the image list, workers, hold counts and queued states
    ImageObject *first; // every live image, in creation order
    ImageObject *last;
    Task *workers[ImageStore_workerMax];
    uint32_t nextGeneration;
    int32_t animWorker;    // index of the animation worker; -1 none, -2 wanted
    int32_t holdCount;     // while positive, state-2 images are not started
    int32_t deferredCount; // worker wake-ups swallowed while held
    int32_t stopping;
    int32_t refCount;
    uint32_t flags;        // ImageStore_* flags
    uint32_t targetFormat; // the pixel format decoders convert into (1-3 become 4)
    uint32_t targetWord;   // passed to decoders beside it (0)
    int32_t workerCount;   // 2, or 0 without workers
    Sem workAvailable;     // one unit per queued image
    Sem animWake;          // wakes the animation loop
    PixelBuf *placeholders[4];
    ImageCodec *codecs[ImageStore_codecSlots];
    char16_t *resourceDir;      // the built-in images' directory (empty by default)
    Lock animLock;              // the animation list: the queue of the animation loop
    ImageObject *animList;      // images in state 7, newest first
    Lock waiterLock;            // guards the two counts below
    int32_t animHold;           // while positive the animation loop runs no image
    int32_t animWaiters;        // tasks waiting for animLock: the loop gives way to them
    int32_t subsampleThreshold; // "subsample.threshold" in "Image"
    int32_t maxAnimLoops;       // "Vexlan_maxAnimLoops"
};

struct ImageObject {
    ImageObject *next, *prev; // the store list
    ImageObject *animNext;    // the animation list
    int32_t worker;           // the decoding worker's index; -2 at creation, -1 none
    uint32_t generation;
    EngineContext *app;
    ImageHook hook;
    void *hookArg;
    uint32_t options;
    int32_t sizeGiven; // the caller gave a width or height hint
    intptr_t extra;    // the caller's word (a scale word for the item)
    Sem done;          // signalled when a decoding pass ends
    Lock handleLock;
    ImageHandle *handles;
    Lock imageLock;
    ImageSource *source;
    ByteStream *stream; // the open decoder stream, null when closed
    uint8_t *encoded;   // the in-memory copy (ImageStore_keepEncoded)
    size_t encodedSize;
    int32_t kind;                      // 0 none, 1 one picture in a view, 2 a frame sequence
    int32_t width, height, resolution; // after subsampling (resolution >= 1)
    int32_t headerKnown;
    int32_t sizeReported; // the handles were told the size
    int32_t animWords[2];
    int32_t codecSizeWord;
    int32_t fullWidth, fullHeight;
    int32_t nominalWidth, nominalHeight, nominalResolution;
    int32_t statedResolution; // the resolution the data or the hook stated; 0 none (nominal 72)
    int32_t extraLevels, maxExtraLevels, levelStart, levelAchieved;
    int32_t maskWord, alphaWord; // capability bits 0x4000000 and 0x8000000
    int32_t frozen;
    int32_t stagingRows; // rows per band; non-zero allows extra levels
    int32_t stagingRow;  // the first row of the band handed out
    PixelBuf *stagingPicture, *stagingMask;
    uint32_t version; // content version: views of older versions are stale
    Rect changed;
    int32_t animTiming[2];
    int32_t state, result, reason, codecIndex, moreFrames, noMask, errorCode;
    ImageView *views;      // the view list
    int32_t pinCount;      // pins every view of the image carries
    ImageView *targetView; // the view a decoding pass draws into
    void *codecInstance;
    int32_t syncPass; // a pass runs in the caller's thread: no image locks
    // Row output of the running decode.
    uint32_t pictureFormat, maskFormat;
    int32_t pictureWord; // the scale word given to Image_beginPicture
    int32_t transparency;
    int32_t colourKind;
    int32_t reportCount;
    Rect dirty;
    int64_t nextFlush;
    // Frame sequences (kind 2, graphics/animframe.h).
    PlayClock *clock;
    int32_t frameCount, savedFrameCount, keepMask;
    AnimFrame *frames;      // frameCount records
    AnimFrame *queue;       // shown or scheduled frames by display time; the head is current
    AnimFrame *freeFrames;  // the free pool
    int32_t clockEvents[2]; // bits 1 restart wanted, 2, 4 stopped; a word cleared on stop
    Sem frameFreed;         // a frame went back to the pool
    Sem frameShown;         // a waited-for frame was passed
    int32_t framesDropped, alternate, animates, loopCounter;
    int32_t animated;    // marked animated (Image_markAnimated)
    int32_t animStopped; // the document stopped or paused the clock (viewer/anim/anim.h)
    // The still of a frame sequence: its first frame, which pictures of
    // their own (page renders, thumbnails) show whatever the clock did.
    int32_t firstQueued;    // the sequence's first frame has been queued
    AnimFrame *firstFrame;  // that frame while it has not been passed
    PixelBuf *stillPicture; // copies of it made when it was passed
    PixelBuf *stillMask;
    // The screen's first paint of a frame sequence shows the first frame
    // too, and later paints go on showing it until the clock moves to
    // another frame: 0 not painted yet, 1 painted, 2 the clock moved on.
    int32_t firstPaint;
    // Data readers (graphics/sharedstream.h): the raw data stream, replaced
    // by a first reader once the stream is shared. Both go with the image.
    ByteStream *dataStream;
    SharedStream *sharedStream;
};

struct ImageHandle {
    Lock mutex; // only for lockable handles
    ImageObject *image;
    ImageHandle *nextHandle;
    void *owner; // the user's word (the document item)
    EngineContext *app;
    int32_t lockable;
    ImageReadyFn ready;
    ImageSizeFn size;
    void *user;
};

// The image lock around a pass's own field changes: none in a synchronous
// pass, whose caller holds what it needs.
inline void Image_lockFields(ImageObject *image)
{
    if (!image->syncPass)
        Lock_acquire(&image->imageLock);
}
inline void Image_unlockFields(ImageObject *image)
{
    if (!image->syncPass)
        Lock_release(&image->imageLock);
}

// ----------------------------------------------------------- the store

// Creates the context's store with its cache, settings and (without
// ImageStore_noWorkers) two workers, or adds a reference. 0; 1 when memory
// runs out; the worker task's error. Nothing is left on failure.
[[nodiscard]] int ImageStore_acquire(EngineContext *app, uint32_t flags, uint32_t pixelFormat);
// Drops a reference; the last stops and joins the workers and frees the
// codecs, the placeholders, the cache and the store. Images still alive
// then are left to their handles. From an engine task when workers run.
void ImageStore_release(EngineContext *app);
// Reads "subsample.threshold" (section "Image", 320), "DynamicSubsampling"
// (0 sets static subsampling) and "Vexlan_maxAnimLoops" (0).
void ImageStore_applySettings(EngineContext *app);
// 1 when image is in the store list with that generation (store lock
// held); the image itself is only compared, never read.
int ImageStore_holds(const ImageStore *store, const ImageObject *image, uint32_t generation);
// Starts worker index ("imageJob", priority 1, stack label 4096); on failure
// the slot stays clear. 0 or the task error.
[[nodiscard]] int ImageStore_startWorker(EngineContext *app, int32_t index);
// Asks worker index to stop, joins it and clears the slot.
void ImageStore_stopWorker(EngineContext *app, int32_t index);

// The store's hold: while held, images whose data is at hand wait and the
// animation loop runs no image; the worker wake-ups swallowed meanwhile are
// given back when the last hold goes, and the loop is woken. Nothing
// without a store.
void Image_pauseJobs(EngineContext *app);
void Image_resumeJobs(EngineContext *app);

// The animation list's lock taken as a waiter: the waiter count is raised
// while the task waits, so that a running animation loop stops at the next
// image and lets it in. ImageStore_unlockQueue wakes the loop and releases
// the lock. Both need the store.
void ImageStore_lockQueue(EngineContext *app);
void ImageStore_unlockQueue(EngineContext *app);
// Adds delta to the waiter count (under its lock).
void ImageStore_addWaiters(ImageStore *store, int32_t delta);

// ------------------------------------------------------ images, handles

// Opens source as an image: an existing image with an equal source (same
// `same` operation answering non-zero), the same hook, hookArg and options
// (the image's 0x100 ignored unless options has it) is shared and source
// released at once; otherwise a new image is made (ImageOpt_neverShare
// always makes one). Hints of 0 mean none. 0 with *handle a new handle the
// caller releases with ImageHandle_release; on failure *handle is null, the
// source has been released and the hook told (hook(hookArg, 0, 0, 0)).
[[nodiscard]] int Image_open(EngineContext *app, ImageSource *source, ImageCheckFn checkFn,
                             void *checkArg, void *owner, ImageHook hook, void *hookArg,
                             int32_t widthHint, int32_t heightHint, uint32_t options,
                             intptr_t extra, ImageHandle **handle);
// The load accountant an image load charges its bytes to: (document, bytes
// done, bytes in total).
typedef int (*ImageLoadChargeFn)(Edr_Doc *doc, uint32_t done, uint32_t total);
// Opens the picture behind url (a URL byte source, ByteSrc_openUrl) with
// Image_open and recognition on: Image_openUrlFlags with ImageOpt_recognise.
// The load is not charged to doc. 0 with *image a new handle, or an error
// (*image null): 10 for a URL without any part.
int Image_openUrl(EngineContext *app, const Url *url, ImageLoadChargeFn charge, Edr_Doc *doc,
                  const int32_t *layout, ImageHandle **image);
// As Image_openUrl with the caller's option word and ImageOpt_animations
// (128) added.
[[nodiscard]] int Image_openUrlFlags(EngineContext *app, const Url *url, ImageLoadChargeFn charge,
                                     Edr_Doc *doc, const int32_t *layout, uint32_t flags,
                                     ImageHandle **image);
// A new copy of the URL behind the handle's image when it was opened from
// a URL byte source, else null (no image, another source, or no memory).
Url *Image_getSourceUrl(ImageHandle *handle);

// A new handle for no image yet. 0 or 1.
[[nodiscard]] int ImageHandle_create(EngineContext *app, ImageHandle **handle, void *owner,
                                     int32_t lockable);
void ImageHandle_free(ImageHandle *handle);
// Releases the handle; the image goes with its last handle, after any
// running pass ended. Null is ignored.
void ImageHandle_release(ImageHandle *handle);
// A new handle on the image of handle (none when it has none), with the
// same owner. 0 or 1.
[[nodiscard]] int ImageHandle_clone(ImageHandle *handle, ImageHandle **out);
// The handle's image (null when none) with the locks of mode left held:
// 1 the store lock (taken even for no image), 2 the cache lock (the image's
// views are pinned), 4 the image lock. The caller releases what it asked
// for (ImageHandle_unlockImage).
ImageObject *ImageHandle_lockImage(ImageHandle *handle, uint32_t mode);
// Releases what ImageHandle_lockImage(handle, mode) took (image may be
// null); mode 2 also unpins the views.
void ImageHandle_unlockImage(ImageHandle *handle, ImageObject *image, uint32_t mode);
void ImageHandle_setImage(ImageHandle *handle, ImageObject *image);
// Points handle at image and links it into the image's handle list (the
// caller holds the store lock).
void Anim_addImage(ImageObject *image, ImageHandle *handle);

// Destroys image unless it still has handles; called with the store lock
// held, which it releases in every case. A running pass is stopped and
// waited for first.
void Image_destroyObject(EngineContext *app, ImageObject *image);

// Stops the decoding of the handle's image without losing what it shows
// (called with the store lock held, which it releases): a queued image, or
// with onlyQueued 0 one being decoded or animated, is replaced for this
// handle by a frozen copy with the current picture; an animated frame
// sequence only pauses.
void Image_freeze(ImageHandle *handle, int onlyQueued);
void Image_stopLoading(ImageHandle *handle);
void Image_stopQueued(ImageHandle *handle);
// Moves a lockable handle to no image, destroying the image with its last
// handle.
void Image_detachHandle(ImageHandle *handle);
// Stop state of a document's images: 1 stops the loading of the handle's
// image (Image_stopLoading); 0 leaves it as it is.
void Image_setStopped(ImageHandle *handle, int flag);
// The handle's node goes: the handle is moved to no image.
void Image_detachFromNode(ImageHandle *handle);

// Stores the handle's callbacks; when the image is not being decoded the
// size callback and then the ready callback (whole area) are called at once.
void Image_setReadyCallbacks(ImageHandle *handle, ImageReadyFn ready, ImageSizeFn size, void *user);
// Raises the image's version and reports rect (x0, y0, x1, y1) to every
// handle's ready callback; Image_invalidateAll reports the nominal area.
void Image_invalidate(ImageObject *image, const Rect *rect);
void Image_invalidateAll(ImageObject *image);
// Tells every handle's size callback the size.
void Image_notifySize(ImageObject *image, int32_t width, int32_t height, int32_t resolution);
// Reports the region (x, y, width, height) to the handle's ready callback
// when it has one; Image_notifyAllRegion to every handle of the image
// (under its handleLock, which the callbacks must not take).
void Image_notifyRegion(ImageHandle *handle, int32_t x, int32_t y, int32_t width, int32_t height);
void Image_notifyAllRegion(ImageObject *image, int32_t x, int32_t y, int32_t width, int32_t height);
// Copies the image's changed rectangle (x0, y0, x1, y1: the rows a running
// decode has written since it began its picture) under the image lock;
// nothing for a null output.
void Image_rectSnapshot(ImageObject *image, Rect *out);

// ------------------------------------------------------------- queries

// Fills info[6] = {nominal width, height, resolution, scale, subsampled
// resolution, codec size word}, *loopCounter (0 unless a frame sequence)
// and *capFlags (each may be null); a synchronous image reads its header
// first. 0; 13 for a handle without image; 48 when the header read stopped.
[[nodiscard]] int Image_getDocImageInfo(ImageHandle *handle, int32_t *info, int32_t *loopCounter,
                                        uint32_t *capFlags);
// The resolution (dots per inch) that the picture's data, or its owner's
// hook, states; 0 when nothing states one (the nominal resolution is then
// the default 72) and for a handle without image.
int32_t Image_getStatedResolution(ImageHandle *handle);
// Non-zero unless the image failed (result 6).
int Image_isUsable(ImageHandle *handle);
// The image's error code (0 for none or no image).
int Image_getDocImageState(ImageHandle *handle);
// Subsampled width and height, and the item's scale divided by 2 to the
// achieved level (rounded up, at least 1). 0 or 13.
[[nodiscard]] int Image_getScaledSize(ImageHandle *handle, int32_t *width, int32_t *height,
                                      int32_t *scale);
// 1 for a failed image or one without codec, else the codec's type id (0
// when it has none).
int32_t Image_getTypeId(ImageObject *image);
uint32_t Image_getCapFlags(ImageObject *image);

// ------------------------------------------------------------ decoding

// One decoding pass into view (used by the workers and by drawing): opens
// the decoder, picks the codec and decodes, retrying coarser levels (from
// firstLevel, below maxLevel) when memory runs out. The image's result,
// reason and error code are set. 48 when the pass was stopped, else 0;
// *reason gets the pass's reason.
[[nodiscard]] int Image_decode(EngineContext *app, ImageObject *image, int32_t *reason,
                               int32_t firstLevel, int32_t maxLevel, ImageView *view);
// Reads only the header of a synchronous image whose size is unknown.
// *state and *reason get the mapped result. 48 when stopped, else 0.
[[nodiscard]] int Image_readHeaderNow(ImageObject *image, int32_t *state, int32_t *reason);
// Chooses the image's codec from the first 12 bytes of its open stream
// (kept once chosen). 0, 7169 (*reason 3), 7189 (*reason 2) or the error
// of the stream or a recogniser.
[[nodiscard]] int Image_pickCodec(EngineContext *app, ImageObject *image, int32_t *reason);
// Stores the nominal size and computes the subsampled one (level: in
// static mode the most halvings the codec can make, in dynamic mode the
// level it decodes at).
void Image_setNominalSize(ImageObject *image, int32_t width, int32_t height, int32_t resolution,
                          int32_t level);
// The size the codec decodes at: the nominal size reduced by the levels
// the codec applies itself (the achieved level minus the store's extra
// row levels).
void Image_codecSize(const ImageObject *image, int32_t *width, int32_t *height);
// Closes the codec instance and frees the staging buffers.
void Image_closeCodec(ImageObject *image);
// Closes the decoder; partial keeps the in-memory copy of the data.
void Image_dropDecoder(ImageObject *image, int partial);

// Decoder output of codecs that write whole rows. Image_beginPicture
// starts the picture (kind 1) in the target view: buffers of the
// subsampled size filled with the background, staging buffers for banded
// codecs. 0 or an error.
[[nodiscard]] int Image_beginPicture(ImageObject *image, uint32_t pictureFormat,
                                     uint32_t maskFormat, int withMask, int32_t word);
// A band of rows starting at row: the staging buffers (*count rows) for a
// banded codec, else for row 0 the view's own buffers (*count the height)
// and nothing for later rows.
int Image_getRowBuffer(ImageObject *image, PixelBuf **pictureRows, PixelBuf **maskRows, int32_t row,
                       int32_t *count);
// Hands the band back: staged rows are reduced by the extra levels into
// the view. 0.
int Image_putRows(ImageObject *image, PixelBuf *pictureRows, PixelBuf *maskRows);
// Whether the store drops codec row `row` when it reduces the staged rows
// by its extra levels (only every 2^level-th row is kept): a codec may
// leave such a row of its band unwritten.
bool Image_rowDropped(const ImageObject *image, int32_t row);

// ----------------------------------------- animation list (frame loop)

// Moves image to the animation list (state 7) and wants an animation
// worker; signals the image's done semaphore.
void Anim_enterAnimList(ImageObject *image);
void Anim_leaveAnimList(ImageObject *image);
// The animation worker's body: 0 to keep the worker, non-zero when it
// should end.
[[nodiscard]] int Anim_runLoop(EngineContext *app);
// Wakes the animation loop.
void Anim_wake(EngineContext *app);

// ------------------------------------------------ other graphics services

// The codec descriptors of the built-in decoders, each a new descriptor
// that Plugin_register takes over (null before the decoder exists).
ImageCodec *Codec_gifDescriptor();
ImageCodec *Codec_jpegDescriptor();
ImageCodec *Codec_bmpDescriptor();
ImageCodec *Codec_wbmpDescriptor();
ImageCodec *Codec_pngDescriptor();

// Refits a thumbnail picture to width x height: a new buffer of its
// format filled with the background colour (format 6), the old picture
// resampled into it keeping its proportions, as large as fits, at the top
// left; the old buffer is freed. 0; 1 when memory runs out or 8 for a size
// below 1 (the old buffer then stays).
[[nodiscard]] int Bitmap_refit(EngineContext *app, PixelBuf **thumb, int32_t width, int32_t height,
                               uint32_t colour);
