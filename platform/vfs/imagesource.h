// Image sources over stream handles.
//
// The image store decodes every picture from an ImageSource: a record of
// five operation slots followed by the source's own data. The source made
// here holds an open stream handle until the image code asks for bytes:
// its open slot then turns the handle into a byte stream (the lending or
// copying byte stream of platform/vfs/vfsbytestream.h) that owns the
// handle from then on.
#pragma once

#include <cstdint>

struct ByteStream;
struct EngineContext;
struct VfsHandle;

struct ImageSource;
struct Url;

// The image creator's admission check, called as checkFn(checkArg, 0, 0);
// non-zero refuses the image.
typedef int (*ImageCheckFn)(void *checkArg, int32_t a, int32_t b);

// The operation slots; any may be null.
struct ImageSource {
    // Non-zero when both sources give the same data.
    int (*same)(EngineContext *context, ImageSource *source, ImageSource *other);
    // Non-zero when the data are at hand.
    int (*isAvailable)(EngineContext *context, ImageSource *source);
    // Called once when the image is created; non-zero fails the creation.
    int (*prepare)(EngineContext *context, ImageSource *source, ImageCheckFn checkFn,
                   void *checkArg);
    // Opens the byte stream the decoder reads (the caller closes it).
    int (*openStream)(EngineContext *context, ImageSource *source, ByteStream **stream);
    // Frees the source; called exactly once.
    void (*release)(EngineContext *context, ImageSource *source);
};

// A source over a stream handle.
struct ImageStreamSource {
    ImageSource ops;
    VfsHandle *handle; // owned until the open slot hands it to a byte stream
};

// *source = a new source over handle, which it takes (its open and release
// slots are ImageSource_open and ImageSource_close). 0; 1 out of memory, and
// then the handle is closed. *source is null on failure.
[[nodiscard]] int ImageSource_createForStream(VfsHandle *handle, ImageSource **source);
// The open slot: *stream = a byte stream (copying when the handle cannot seek)
// that owns the handle; the source no longer holds it. 0; Res_notFound when the
// handle was handed over already; the byte stream's errors (the source keeps
// the handle). *stream is null on failure.
[[nodiscard]] int ImageSource_open(EngineContext *context, ImageSource *source,
                                   ByteStream **stream);
// The release slot: closes the handle the source still holds and frees
// the record (null allowed).
void ImageSource_close(EngineContext *context, ImageSource *source);

// The URL byte source: a source over the file behind a URL. Its stream is
// opened (read, random access) each time the image code asks for bytes;
// the first error (but running out of memory) is remembered and every
// later open answers it. Two URL
// sources are the same when their URLs are equal (Url_equals).
struct ImageUrlSource {
    ImageSource ops;
    Url *url;  // owned copy
    int error; // the first open error, 0 while none
};

// *source = a new URL byte source over a copy of url (its slots are
// ImageSource_sameUrl, ImageSource_openUrl and ImageSource_closeUrl). A
// null URL or one without any part gives no source and 0. 0; 1 out of
// memory (*source null).
[[nodiscard]] int ByteSrc_openUrl(const Url *url, ImageSource **source);
// The same slot: non-zero when other is a URL source with an equal URL.
int ImageSource_sameUrl(EngineContext *context, ImageSource *source, ImageSource *other);
// The open slot: opens the URL with mode 0x11 and makes a byte stream over
// the handle (the image reader gets the whole stream: a stream that cannot
// seek, or a zip member, is copied). 0, the remembered error, or the error
// of either step (remembered unless 1); *stream is null on failure. After a
// success it may be called again once the stream is closed.
[[nodiscard]] int ImageSource_openUrl(EngineContext *context, ImageSource *source,
                                      ByteStream **stream);
// The release slot: frees the URL copy and the record (null allowed).
void ImageSource_closeUrl(EngineContext *context, ImageSource *source);
