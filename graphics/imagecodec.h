// The image codec interface: decoder descriptors, their registration, and
// the row output through which a decoder publishes its header and rows.
//
// Every decoder is an ImageCodec of ten function slots. The image store
// holds 15 of them, in registration order; the first registration of a
// type id wins. For each image the store rates the first bytes with every
// codec's recogniser (0-100) and keeps the winner, then drives it: read the
// header, create an instance, decode rows into the image's buffers, and
// for animations step and restart frames. The shared pixel converters are
// in graphics/imageconv.h.
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageObject;
struct PixelBuf;

// The decode parameters, built afresh for every decode call.
struct ImageCodecParams {
    uint32_t flags;       // the decode flags (ImageDec_*)
    uint32_t pixelFormat; // the picture format the store wants
    uint32_t maskFormat;  // the mask format (0: 8-bit alpha)
    ImageHook hook;
    void *hookArg;
};

// A restart request: {flags word, frame word}.
struct ImageRestart {
    uint32_t flags;
    int32_t frame;
};

// Decode flag bits codecs test (the image's capability flags).
enum : uint32_t {
    ImageDec_flagSync = 0x1,
    ImageDec_flagRecognise = 0x4,  // every built-in recogniser answers 0 without it
    ImageDec_flagUnfinished = 0x8, // with bit 0 clear: leave the image unfinished after a frame
    ImageDec_flagAnimation = 0x80,
    ImageDec_flagColourKind = 0x200, // the colour kind given to the header is kept
    ImageDec_flagAsync = 0x800000,
    ImageDec_flagManyFrames = 0x1000000,
    ImageDec_flagLowMemAnim = 0x2000000,
};

// A decoder descriptor: ten slots, null when unused. Allocated cleared from
// the engine heap by the codec's constructor; owned by the store once
// registered.
struct ImageCodec {
    // Run once at registration; non-zero refuses the codec.
    int (*init)(EngineContext *app);
    // Run for every registered codec at tear-down, before it is freed.
    void (*shutdown)();
    // Rates the first count bytes: *score 0-100. Never consumes data.
    int (*recognise)(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                     uint32_t count, uint32_t flags);
    // Makes the codec's instance for image (optional).
    int (*createInstance)(EngineContext *app, ImageObject *image, uint32_t flags, void **instance);
    // Reads only as far as the size and publishes it (ImageDec_setHeader).
    int (*readHeader)(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                      void *hookArg);
    // Decodes the image, or its next frame, into the image's buffers.
    int (*decode)(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
                  const ImageCodecParams *params);
    // 1 while frames remain, 0 at the end (optional).
    int (*nextFrame)(ImageObject *image, void *instance, int32_t advance, int32_t *timeMs,
                     int32_t *loopCounter);
    // Restarts frames (optional).
    int (*restart)(EngineContext *app, void *instance, ImageObject *image,
                   const ImageRestart *request);
    // Frees the instance and what it holds (optional).
    void (*destroyInstance)(ImageObject *image, void *instance);
    // The codec's type number.
    int32_t (*typeId)();
};

// Registers codec with the context's image store, which takes it over in
// every case: 0 when stored or when a codec of its type id is there already
// (the new one is freed); 1 for null; 0x1C00 when all 15 slots are taken;
// the codec's init error; 16 without a store. The descriptor is freed on
// any failure.
[[nodiscard]] int Plugin_register(EngineContext *app, ImageCodec *codec);
// Runs every registered codec's shutdown and frees the descriptors.
void ImageCodec_teardown(EngineContext *app);
// The codec of image (null when none was chosen).
ImageCodec *ImageCodec_of(const ImageObject *image);

// ------------------------------------------------------------ row output
// Called by a codec on its image while a pass runs; the image's lock is
// taken inside unless the pass is synchronous.

// Publishes the size: 0x1C05 for a width or height of 0 or less; dpi 0 is
// 72, or 96 for an image opened with ImageOpt_screenResolution (the image
// hook's 4-byte answer to op 3 overrides it; either is the stated one); bandRows 1 to 7
// become 8. *reduction (optional) holds the largest shift the codec can
// reduce by while decoding and gets the shift the store wants. 0x1C04 when
// a size was published before and this one differs (the new one is kept:
// the store decodes again).
[[nodiscard]] int ImageDec_setHeader(ImageObject *image, int32_t width, int32_t height, int32_t dpi,
                                     int32_t bandRows, int32_t colourKind, int32_t *reduction);
// Makes the target view's picture (and, with outMask, the mask) at the
// image's size and returns them (owned by the view); resets the progress
// reports. 0x1C0E when the store reduces rows itself; 1 when memory runs
// out.
[[nodiscard]] int ImageDec_getBuffers(ImageObject *image, PixelBuf **outPicture,
                                      uint32_t pictureFormat, PixelBuf **outMask,
                                      uint32_t maskFormat, int32_t hasTransparency);
// A decoded rectangle (codec coordinates): 48 when the task is asked to
// stop; the area joins the dirty rectangle, which goes to the handles at
// most once per 100 reports or 500 ms unless it covers the whole image.
[[nodiscard]] int ImageDec_rowsDone(ImageObject *image, int32_t x, int32_t y, int32_t width,
                                    int32_t height);
// Frees the mask of the picture; the image has no mask from then on.
void ImageDec_dropMask(ImageObject *image);
// Records that the image has transparent pixels.
void ImageDec_setTransparency(ImageObject *image, int32_t flag);
