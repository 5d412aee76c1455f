// Image sources over stream handles and URLs.
#include "platform/vfs/imagesource.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"

int ImageSource_createForStream(VfsHandle *handle, ImageSource **source)
{
    *source = nullptr;
    ImageStreamSource *s =
        static_cast<ImageStreamSource *>(Mem_calloc(1, sizeof(ImageStreamSource)));
    if (!s) {
        (void)Vfs_close(handle);
        return Res_noMemory;
    }
    s->ops.openStream = ImageSource_open;
    s->ops.release = ImageSource_close;
    s->handle = handle;
    *source = &s->ops;
    return Res_ok;
}

int ImageSource_open(EngineContext *, ImageSource *source, ByteStream **stream)
{
    *stream = nullptr;
    ImageStreamSource *s = reinterpret_cast<ImageStreamSource *>(source);
    if (!s->handle)
        return Res_notFound;
    // Decoders seek back to frames and headers: a stream that cannot seek
    // is copied.
    int r = VfsByteStream_create(s->handle, stream, 1, 1);
    if (r == Res_ok)
        s->handle = nullptr;
    return r;
}

void ImageSource_close(EngineContext *, ImageSource *source)
{
    if (!source)
        return;
    ImageStreamSource *s = reinterpret_cast<ImageStreamSource *>(source);
    (void)Vfs_close(s->handle);
    Mem_free(s);
}

// ------------------------------------------------------------ URL sources

int ByteSrc_openUrl(const Url *url, ImageSource **source)
{
    *source = nullptr;
    if (!url || Url_getPartsMask(url) == 0)
        return Res_ok;
    ImageUrlSource *s = static_cast<ImageUrlSource *>(Mem_calloc(1, sizeof(ImageUrlSource)));
    if (!s)
        return Res_noMemory;
    s->url = Url_copy(url);
    if (!s->url) {
        Mem_free(s);
        return Res_noMemory;
    }
    s->ops.same = ImageSource_sameUrl;
    s->ops.openStream = ImageSource_openUrl;
    s->ops.release = ImageSource_closeUrl;
    *source = &s->ops;
    return Res_ok;
}

int ImageSource_sameUrl(EngineContext *, ImageSource *source, ImageSource *other)
{
    if (!source || !other || other->same != ImageSource_sameUrl)
        return 0;
    const ImageUrlSource *a = reinterpret_cast<const ImageUrlSource *>(source);
    const ImageUrlSource *b = reinterpret_cast<const ImageUrlSource *>(other);
    return Url_equals(a->url, b->url) ? 1 : 0;
}

int ImageSource_openUrl(EngineContext *context, ImageSource *source, ByteStream **stream)
{
    *stream = nullptr;
    ImageUrlSource *s = reinterpret_cast<ImageUrlSource *>(source);
    if (s->error)
        return s->error;
    VfsHandle *handle = nullptr;
    uint32_t accepted = 0;
    int r = Vfs_open(context, s->url, Vfs_modeRead | Vfs_modeSeekable, &handle, &accepted);
    if (r == Res_ok) {
        // Decoders seek back to frames and headers: a stream that cannot
        // seek is copied. The byte stream owns the handle once it exists.
        r = VfsByteStream_create(handle, stream, 1, 1);
        if (r != Res_ok)
            (void)Vfs_close(handle);
    }
    // Running out of memory passes; any other failure stays the answer.
    if (r != Res_noMemory)
        s->error = r;
    return r;
}

void ImageSource_closeUrl(EngineContext *, ImageSource *source)
{
    if (!source)
        return;
    ImageUrlSource *s = reinterpret_cast<ImageUrlSource *>(source);
    Url_free(s->url);
    Mem_free(s);
}
