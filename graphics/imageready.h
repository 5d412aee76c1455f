// Image readiness: a task's wait until an image has come far enough,
// another handle on the same image, and the MIME type of an image codec.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct ImageHandle;
struct ImageObject;

enum : uint32_t {
    ImageWait_decodeState = 1, // wait until the image's decode state is non-zero
};

// The record of one wait, on the waiting task's stack.
struct ImageWait {
    Sem sem;             // count 0, maximum 1
    ImageHandle *handle; // the clone the callbacks come through
    uint32_t flags;      // ImageWait_* still waited for
};

// Blocks the calling task until the flags are met: 0, the clone's error,
// or 48 when the task is asked to stop meanwhile. An image that is ready
// already returns at once.
int Image_waitReady(ImageObject *image, uint32_t flags);
// The test of a wait: clears what is met and wakes the waiter when
// nothing is left.
void Image_checkReady(ImageWait *wait);
// A new handle on image, linked into its handle list under the store lock.
// 0, or 1 when memory runs out (*handle null).
int ImageHandle_clone(EngineContext *context, ImageObject *image, ImageHandle **handle);

enum : int32_t {
    ImageMime_unknown = 36, // "application/octet-stream"
};
// The MIME type id of a codec's type id (ImageDA_docType's table: BMP 3 ->
// 4, GIF 6 -> 10, JPEG 7 -> 16, PNG 10 -> 23, WBMP 12 -> 33), 36 for any
// other.
int32_t Image_mimeTypeForCodec(int32_t typeId);
