// Image objects and the image-job queue, as the document model uses them.
//
// Only the services that modules built before the graphics subsystem call
// are declared here so far; the image store defines the records.
#pragma once

#include <cstdint>

struct EngineContext;
struct ImageObject;
struct ImageCodec;
struct Edr_DrawList;
struct Edr_Doc;
struct Url;
struct Edr_PageThumb;

enum : uint32_t {
    Image_stateComplete = 1,            // bit 0 of the state word
    Image_stateCompletionReported = 1u << 28,
    Image_stateProgressReported = 1u << 29,
};

// Raise and lower the hold count of the application's image-job queue.
void Image_pauseJobs(EngineContext *app);
void Image_resumeJobs(EngineContext *app);
// Sets the image's stop state under the image store's lock.
void Image_setStopped(ImageObject *image, int flag);
// Tells the image that its node is going.
void Image_detachFromNode(ImageObject *image);
// Releases an image handle.
void ImageHandle_release(ImageObject *image);
// The image's size (width, height) and state word. 0 or an error.
int Image_getDocImageInfo(ImageObject *image, int32_t *size, int32_t zero, uint32_t *state);
// Non-zero when the image's document-level state asks for the loaded notice.
int Image_getDocImageState(ImageObject *image);
// Stores the ready callbacks of an image.
typedef void (*ImageDoneFn)(void *user);
typedef void (*ImageSizeFn)(void *user, int32_t width, int32_t height, int32_t resolution);
void Image_setReadyCallbacks(ImageObject *image, ImageDoneFn done, ImageSizeFn size, void *user);

// The codec descriptors, registered with the application's plug-in table.
const ImageCodec *Codec_gifDescriptor();
const ImageCodec *Codec_jpegDescriptor();
const ImageCodec *Codec_bmpDescriptor();
const ImageCodec *Codec_wbmpDescriptor();
const ImageCodec *Codec_pngDescriptor();
int Plugin_register(EngineContext *app, const ImageCodec *codec);

// Computes and stores the bounds words of a drawing list. 0 or an error.
int Draw_registerBounds(EngineContext *app, const int32_t *words, uint32_t count, Edr_DrawList *list);
// Compares drawing words of a list (0 when equal).
int Draw_compareWords(EngineContext *context, const int32_t *words, uint32_t count);

// The load accountant an image load charges its bytes to: (document, bytes
// done, bytes in total).
typedef int (*ImageLoadChargeFn)(Edr_Doc *doc, uint32_t done, uint32_t total);
// Opens the picture behind url and starts its decoding, charging the load
// to doc; layout holds the image node's six layout words (null allowed).
// 0 with *image (a handle the caller releases), or an error.
int Image_openUrl(EngineContext *app, const Url *url, ImageLoadChargeFn charge, Edr_Doc *doc,
                  const int32_t *layout, ImageObject **image);

struct Edr_HandlerDesc;
// Fills the image document handler's descriptor. 0.
int ImageDoc_describe(EngineContext *context, Edr_HandlerDesc *desc);
// Rescales the thumbnail in *thumb into the rectangle rect ({x0, y0, x1, y1})
// over the background colour (little-endian bytes R, G, B, A). 0 or an
// error; on an error the thumbnail is left as it was.
int Bitmap_refit(EngineContext *app, Edr_PageThumb **thumb, const int32_t rect[4], uint32_t background);
