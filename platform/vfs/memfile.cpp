// Memory streams: the Mem stream type over a shared block.
//
// A read lends every byte from the handle's position to the end of the
// block at once, so a reader of a memory stream never copies and never
// comes back for more than one buffer. Positions are offsets, not
// pointers, so a seek beyond the end is harmless: it lends 0 bytes.
#include "platform/vfs/memfile.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "platform/vfs/vfs.h"

namespace {

// The mode bits the Mem type accepts, and the marks it adds.
constexpr uint32_t acceptedBits = 0x6007C31;
constexpr uint32_t addedMarks = Vfs_modeMemory | Vfs_modeSeekable;

MemFileHandle *recordOf(VfsHandle *h)
{
    return h ? static_cast<MemFileHandle *>(h->priv) : nullptr;
}

bool isLent(const VfsHandle *h)
{
    return (h->mode & Vfs_modeLent) != 0;
}

void freeData(const uint8_t *data, int own)
{
    if (own)
        Mem_free(const_cast<uint8_t *>(data));
}

// Drops one use of the block; the last frees it.
void releaseShared(MemFileShared *s)
{
    Lock_acquire(&s->lock);
    uint32_t left = --s->useCount;
    Lock_release(&s->lock);
    if (left != 0)
        return;
    freeData(s->data, s->ownsData);
    Mem_free(s->mime);
    Mem_free(s->string2);
    Lock_fini(&s->lock);
    Mem_free(s);
}

} // namespace

const VfsTypeOps VfsMemOps = {
    .name = "Mem",
    .flags = 0,
    // No open: Vfs_openMemory makes Mem streams.
    .close = MemFile_close,           // 4
    .getReadBuf = MemFile_getReadBuf, // 5
    .readDone = MemFile_readDone,     // 6
    .tell = MemFile_tell,             // 11
    .seek = MemFile_seek,             // 12
    .getInfo = MemFile_getInfo,       // 13
    .setInfo = MemFile_setInfo,       // 14
    .clone = MemFile_clone,           // 17
};

int MemFile_open(EngineContext *context, VfsHandle *handle, const uint8_t *data, size_t length,
                 int own, uint32_t mode, uint32_t *accepted)
{
    *accepted = 0;
    if (!handle || (!data && length)) {
        freeData(data, own);
        return Res_missingArgument;
    }
    if (mode & ~acceptedBits) {
        freeData(data, own);
        return Res_vfsNotAvailable;
    }
    MemFileShared *s = static_cast<MemFileShared *>(Mem_calloc(1, sizeof(MemFileShared)));
    MemFileHandle *h = static_cast<MemFileHandle *>(Mem_calloc(1, sizeof(MemFileHandle)));
    if (!s || !h) {
        Mem_free(s);
        Mem_free(h);
        freeData(data, own);
        return Res_noMemory;
    }
    s->data = data;
    s->length = length;
    s->size = length;
    s->ownsData = own ? 1 : 0;
    s->useCount = 1;
    Lock_init(context, &s->lock);
    h->shared = s;
    handle->priv = h;
    handle->ctx = context;
    *accepted = mode | addedMarks;
    return Res_ok;
}

int MemFile_close(VfsHandle *handle)
{
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_ok;
    int r = isLent(handle) ? Res_vfsBufferLent : Res_ok;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    releaseShared(h->shared);
    Mem_free(h);
    handle->priv = nullptr;
    return r;
}

int MemFile_clone(VfsHandle *handle, VfsHandle *newHandle)
{
    MemFileHandle *h = recordOf(handle);
    if (!h || !newHandle)
        return Res_missingArgument;
    MemFileHandle *c = static_cast<MemFileHandle *>(Mem_calloc(1, sizeof(MemFileHandle)));
    if (!c)
        return Res_noMemory;
    MemFileShared *s = h->shared;
    Lock_acquire(&s->lock);
    s->useCount++;
    Lock_release(&s->lock);
    c->shared = s;
    newHandle->priv = c;
    return Res_ok;
}

int MemFile_getReadBuf(VfsHandle *handle, size_t, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_missingArgument;
    int r = Task_checkStop(handle->ctx);
    if (r != Res_ok)
        return r;
    return MemFile_lendBytes(handle, h->shared->data, h->shared->length, h->position, ptr, len);
}

int MemFile_readDone(VfsHandle *handle, size_t n)
{
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_vfsNothingLent;
    return MemFile_endLending(handle, h->shared->length, &h->position, n);
}

int MemFile_lendBytes(VfsHandle *handle, const uint8_t *data, size_t length, size_t position,
                      const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    if (isLent(handle))
        return Res_vfsBufferLent;
    size_t at = position < length ? position : length;
    *ptr = data ? data + at : nullptr;
    *len = length - at;
    handle->mode |= Vfs_modeLent;
    return Res_ok;
}

int MemFile_endLending(VfsHandle *handle, size_t length, size_t *position, size_t n)
{
    if (!isLent(handle))
        return Res_vfsNothingLent;
    size_t left = *position < length ? length - *position : 0;
    *position += n < left ? n : left;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    return Res_ok;
}

int MemFile_tellPosition(VfsHandle *handle, size_t position, uint64_t *out)
{
    *out = 0;
    if (isLent(handle))
        return Res_vfsBufferLent;
    *out = position;
    return Res_ok;
}

int MemFile_tell(VfsHandle *handle, uint64_t *position)
{
    *position = 0;
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_missingArgument;
    return MemFile_tellPosition(handle, h->position, position);
}

int MemFile_seek(VfsHandle *handle, uint64_t position)
{
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_missingArgument;
    // A memory stream's positions are 32-bit.
    if (position > UINT32_MAX)
        return Res_fileSeek;
    if (isLent(handle))
        return Res_vfsBufferLent;
    h->position = size_t(position);
    return Res_ok;
}

int MemFile_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value)
{
    *value = 0;
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_missingArgument;
    MemFileShared *s = h->shared;
    switch (code) {
    case VfsInfo_size: *value = reinterpret_cast<uintptr_t>(&s->size); return Res_ok;
    case VfsInfo_mime: *value = reinterpret_cast<uintptr_t>(s->mime); return Res_ok;
    case VfsInfo_string2: *value = reinterpret_cast<uintptr_t>(s->string2); return Res_ok;
    default: return Res_vfsInfoUnknown;
    }
}

int MemFile_setInfo(VfsHandle *handle, uint32_t code, uintptr_t value)
{
    MemFileHandle *h = recordOf(handle);
    if (!h)
        return Res_missingArgument;
    MemFileShared *s = h->shared;
    char16_t **slot = code == VfsInfo_mime      ? &s->mime
                      : code == VfsInfo_string2 ? &s->string2
                                                : nullptr;
    if (!slot)
        return Res_vfsInfoNotSettable;
    char16_t *text = reinterpret_cast<char16_t *>(value);
    if (text != *slot)
        Mem_free(*slot);
    *slot = text;
    return Res_ok;
}
