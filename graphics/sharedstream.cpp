// Shared stream readers (see sharedstream.h).
#include "graphics/sharedstream.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/image.h"
#include "graphics/imageready.h"

namespace {

void lockShared(SharedStream *shared)
{
    if (shared->locked)
        Lock_acquire(&shared->lock);
}

void unlockShared(SharedStream *shared)
{
    if (shared->locked)
        Lock_release(&shared->lock);
}

SharedStreamReader *readerOf(ByteStream *stream)
{
    return reinterpret_cast<SharedStreamReader *>(stream);
}

} // namespace

int SharedStream_create(EngineContext *context, ByteStream *stream, int locked, SharedStream **out)
{
    *out = nullptr;
    SharedStream *shared = static_cast<SharedStream *>(Mem_calloc(1, sizeof(SharedStream)));
    if (!shared) {
        ByteStream_close(stream);
        return Res_noMemory;
    }
    if (locked) {
        int r = Lock_init(context, &shared->lock);
        if (r != Res_ok) {
            ByteStream_close(stream);
            Mem_free(shared);
            return r;
        }
        shared->locked = 1;
    }
    shared->stream = stream;
    shared->refs = 1;
    *out = shared;
    return Res_ok;
}

void SharedStream_release(SharedStream *shared)
{
    lockShared(shared);
    int32_t left = --shared->refs;
    unlockShared(shared);
    if (left > 0)
        return;
    ByteStream_close(shared->stream);
    if (shared->locked)
        Lock_fini(&shared->lock);
    Mem_free(shared);
}

void SharedStream_releaseIfAny(SharedStream *shared)
{
    if (shared)
        SharedStream_release(shared);
}

int SharedStream_openReader(SharedStream *shared, SharedStreamReader **out)
{
    *out = nullptr;
    SharedStreamReader *reader =
        static_cast<SharedStreamReader *>(Mem_calloc(1, sizeof(SharedStreamReader)));
    if (!reader)
        return Res_noMemory;
    reader->base.getByte = SharedStreamReader_refill;
    reader->base.seek = SharedStreamReader_seek;
    reader->base.close = SharedStreamReader_close;
    reader->base.control = SharedStreamReader_control;
    reader->base.readPtr = reader->buffer;
    reader->base.end = reader->buffer;
    reader->shared = shared;
    lockShared(shared);
    reader->base.length = shared->stream->length;
    reader->base.status = 0;
    shared->refs++;
    unlockShared(shared);
    *out = reader;
    return Res_ok;
}

int SharedStreamReader_refill(ByteStream *stream)
{
    SharedStreamReader *reader = readerOf(stream);
    if (reader->error)
        return ByteStream_end;
    SharedStream *shared = reader->shared;
    ByteStream *under = shared->stream;
    lockShared(shared);
    uint64_t at = 0;
    if (ByteStream_control(under, ByteStream_opPosition, &at) != Res_ok || at != reader->position) {
        int r = ByteStream_seek(under, reader->position);
        if (r != Res_ok) {
            reader->error = r;
            reader->base.status = r;
            unlockShared(shared);
            return ByteStream_end;
        }
    }
    int first = under->readPtr < under->end ? *under->readPtr++ : under->getByte(under);
    if (first < 0) {
        if (first == ByteStream_noData) {
            unlockShared(shared);
            return ByteStream_noData;
        }
        reader->error = under->status ? under->status : ByteStream_end;
        reader->base.status = under->status;
        unlockShared(shared);
        return ByteStream_end;
    }
    reader->buffer[0] = uint8_t(first);
    size_t more = size_t(under->end - under->readPtr);
    if (more > SharedStreamReader_bufferSize - 1)
        more = SharedStreamReader_bufferSize - 1;
    memcpy(reader->buffer + 1, under->readPtr, more);
    under->readPtr += more;
    reader->position += 1 + more;
    unlockShared(shared);
    reader->base.readPtr = reader->buffer + 1;
    reader->base.end = reader->buffer + 1 + more;
    return first;
}

int SharedStreamReader_seek(ByteStream *stream, uint64_t position)
{
    SharedStreamReader *reader = readerOf(stream);
    SharedStream *shared = reader->shared;
    lockShared(shared);
    // The new position is the one to check: a position the underlying
    // stream cannot take fails here, not at the next read.
    int r = ByteStream_seek(shared->stream, position);
    if (r == Res_ok) {
        reader->position = position;
        reader->base.readPtr = reader->buffer;
        reader->base.end = reader->buffer;
    }
    unlockShared(shared);
    return r;
}

int SharedStreamReader_close(ByteStream *stream)
{
    SharedStreamReader *reader = readerOf(stream);
    SharedStream_release(reader->shared);
    Mem_free(reader);
    return Res_ok;
}

int SharedStreamReader_control(ByteStream *stream, uint32_t op, void *arg)
{
    SharedStreamReader *reader = readerOf(stream);
    if (op == ByteStream_opPosition) {
        *static_cast<uint64_t *>(arg) =
            reader->position - uint64_t(reader->base.end - reader->base.readPtr);
        return Res_ok;
    }
    SharedStream *shared = reader->shared;
    ByteStream *under = shared->stream;
    if (!under->control)
        return SharedStream_noControl;
    lockShared(shared);
    int r = under->control(under, op, arg);
    if (r == Res_ok && op == ByteStream_opLength)
        reader->base.length = under->length;
    unlockShared(shared);
    return r;
}

int Image_shareDataStream(ImageObject *image)
{
    if (image->sharedStream || !(image->app->featureFlags & 2) || !image->dataStream)
        return Res_ok;
    int r = SharedStream_create(image->app, image->dataStream, 1, &image->sharedStream);
    image->dataStream = nullptr;
    if (r == Res_ok) {
        SharedStreamReader *first = nullptr;
        r = SharedStream_openReader(image->sharedStream, &first);
        if (r == Res_ok) {
            image->dataStream = &first->base;
            return Res_ok;
        }
    }
    SharedStream_releaseIfAny(image->sharedStream);
    image->sharedStream = nullptr;
    image->dataStream = nullptr;
    return r;
}
