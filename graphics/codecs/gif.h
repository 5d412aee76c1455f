// The GIF codec (type id 6): GIF87a and GIF89a files, still or animated.
//
// A GIF is a logical screen on which frames are drawn one after another,
// each a rectangle of palette indices compressed with the format's own
// variable-width LZW, optionally interlaced, with a graphic control block
// giving its delay, its transparent index and how it is disposed of before
// the next frame. The decoder keeps an instance per image: the screen, the
// colour tables, the LZW work block and the animation state (passes, loop
// limit, time, the kept previous frame). The codec slots decode the first
// frame into the image's picture and an 8-bit mask; Gif_stepFrame composes
// the frames of an animation one by one onto the caller's buffers, each
// frame the whole screen as it is shown. In low-memory mode the first
// decode records only where each frame ends; the frame to show is decoded
// again from the table when it is drawn. Codec_gifDescriptor
// (graphics/image.h) makes the descriptor; errors are 0x2201 to 0x2207
// (core/result.h).
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageCodecParams;
struct ImageObject;
struct ImageRestart;
struct PalConv;
struct PixelBuf;

enum : int32_t {
    Gif_typeId = 6,
    Gif_tableSize = 4096,   // LZW table entries (12-bit codes)
    Gif_shortDelayMs = 100, // the duration of a frame whose delay is below 10
};

// Decode states of the instance.
enum : int32_t {
    GifState_new = 0,
    GifState_firstFrame = 1,
    GifState_animating = 2,
    GifState_finished = 3,
    GifState_frameDone = 4,
};

// A graphic control record: delay in 1/100 s, transparent index or -1,
// disposal 0-7.
struct GifControl {
    int32_t present;
    int32_t delay;
    int32_t transparent;
    int32_t disposal;
};

// A recorded frame: its disposal, delay and the stream position just after it.
struct GifFrameEntry {
    int32_t disposal;
    int32_t delay;
    uint64_t endPosition;
};

struct GifDecoder {
    ByteStream *stream;
    ImageObject *image;
    uint64_t position;   // bytes taken from the stream
    uint64_t firstFrame; // where the first block after the screen starts
    int32_t is89a;
    // LZW reading.
    int32_t codeSize, codeWidth, clearCode, endCode;
    uint32_t bitBuffer;
    int32_t bitCount;
    int32_t blockLeft;   // bytes left in the current data sub-block
    int32_t blocksEnded; // a zero-length sub-block was read
    // The logical screen.
    int32_t screenWidth, screenHeight, screenPacked, background;
    uint8_t *globalTable;
    int32_t globalBits;
    // The current frame.
    int32_t left, top, width, height;
    int32_t prevLeft, prevTop, prevWidth, prevHeight;
    int32_t packed, interlaced;
    const uint8_t *table;
    int32_t tableBits;
    uint8_t *localTable;
    int32_t row, pass, rowsPlaced, frameComplete;
    GifControl control, previous;
    uint32_t palette[256];
    const PalConv *converter;
    // Animation.
    int32_t passes;    // completed passes over the frames
    int32_t loopLimit; // 0 endless
    int32_t maxLoops;  // the store's maximum (0 none)
    int64_t timeMs;
    int32_t state;
    int32_t maskNeeded;
    int32_t framesThisPass;
    int32_t pendingFrame;     // a frame's descriptor is read, its data not yet
    int32_t firstFrameDecode; // coarse interlace and row reports
    PixelBuf *picture, *mask; // where the current frame is written
    PixelBuf *keptPicture, *keptMask;
    int32_t hasKept;
    int32_t keptInBuffers; // the caller's buffers show the kept frame (frame stepping)
    uint32_t flags;
    // Frames recorded on the first pass.
    GifFrameEntry *frames;
    int32_t frameCapacity, frameCount, frameIndex;
};

// 1 for "GIF87a" or "GIF89a" in the first 6 of count bytes.
int Gif_isSignature(const uint8_t *bytes, uint32_t count);
// 100 for a GIF signature when the recognise flag (0x4) is set, else 0.
int Gif_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                  uint32_t count, uint32_t flags);
// A new instance (state 0, loop limit 1, the store's maximum loop count
// when image has a store). 0 or 1.
int Gif_createInstance(EngineContext *app, ImageObject *image, uint32_t flags, void **instance);
void Gif_destroyInstance(ImageObject *image, void *instance);
// Publishes the size: the screen of a GIF89a file, the first image of a
// GIF87a file. 0, 0x2204, 0x2205, 0x2206 or the store's error.
int Gif_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                   void *hookArg);
// Decodes the first frame into the image's picture and mask.
int Gif_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params);
// Steps the recorded frames: 1 while the animation goes on, 0 at its end.
int Gif_nextFrame(ImageObject *image, void *instance, int32_t advance, int32_t *timeMs,
                  int32_t *loopCounter);
int Gif_restart(EngineContext *app, void *instance, ImageObject *image,
                const ImageRestart *request);

// Reads the screen descriptor and global colour table from stream (once)
// and gives the screen size. 0 or an error.
int Gif_readScreen(GifDecoder *decoder, ByteStream *stream, int32_t *width, int32_t *height);
// Composes the next frame of the animation onto picture and mask (the
// screen's size, pixel format 2, 4 or 6 and an 8-bit mask; they must hold
// what the previous call left), passing over the file again until the loop
// limit. 0 with *shown 1 and *durationMs the frame's duration for a frame;
// 0 with *shown 0 once the loop limit is reached (or the file has no
// frame): the animation has ended and the buffers keep the last frame; an
// error otherwise.
int Gif_stepFrame(EngineContext *app, GifDecoder *decoder, ByteStream *stream, PixelBuf *picture,
                  PixelBuf *mask, int32_t *shown, int32_t *durationMs);
// The duration of a frame of delay (1/100 s): below 10 it is 100 ms.
int32_t Gif_frameDuration(int32_t delay);
