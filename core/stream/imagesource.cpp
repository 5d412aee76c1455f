// Image sources over stream handles.
#include "core/stream/imagesource.h"

#include "core/mem/mem.h"
#include "core/result.h"
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
