// Byte streams over virtual streams: the lending and the copying variant.
//
// The lending variant's window is the buffer the stream lent last; it is
// handed back whole when the window runs dry, so the stream's position is
// always just after the window and the byte stream's position is what was
// handed back before plus the offset in the window.
//
// The copying variant's window is the part of its buffer read so far; it
// asks the stream for more in requests of up to 4096 bytes and stops
// asking once a request comes back short (the end of the data).
#include "platform/vfs/vfsbytestream.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr size_t step = Vfs_maxRequest;
// The info code that control operation 8 clears.
constexpr uint32_t keepInfoCode = 3;

VfsByteStream *vbsOf(ByteStream *s)
{
    return reinterpret_cast<VfsByteStream *>(s);
}

// Gives back a buffer that a failed call left lent.
void releaseLent(VfsHandle *h)
{
    if (h->mode & Vfs_modeLent)
        (void)Vfs_readDone(h, 0);
}

// The stream's size (info code 0), 0 when it has none.
uint64_t handleSize(VfsHandle *h)
{
    uintptr_t value = 0;
    if (Vfs_getInfo(h, VfsInfo_size, &value) != Res_ok || !value)
        return 0;
    return *reinterpret_cast<const uint64_t *>(value);
}

// ---------------------------------------------------------- copying

// Moves the window to a new buffer address, keeping the read offset.
void rebase(VfsByteStream *v, uint8_t *buffer)
{
    size_t offset = size_t(v->base.readPtr - v->buffer);
    v->buffer = buffer;
    v->base.readPtr = buffer + offset;
    v->base.end = buffer + v->fill;
}

// Grows the buffer to hold at least need bytes: the first buffer is the
// stream's length (4096 when unknown), then it doubles. False when memory
// runs out.
bool growFor(VfsByteStream *v, size_t need)
{
    if (need <= v->capacity)
        return true;
    size_t capacity = v->capacity;
    if (!capacity)
        capacity = v->base.length && v->base.length <= SIZE_MAX ? size_t(v->base.length) : step;
    while (capacity < need)
        capacity = capacity > SIZE_MAX / 2 ? need : capacity * 2;
    uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(v->buffer, capacity));
    if (!grown)
        return false;
    v->capacity = capacity;
    rebase(v, grown);
    return true;
}

// Fills the buffer up to n bytes, or to the end of the data.
void VfsByteStream_fillTo(VfsByteStream *v, uint64_t n)
{
    if (v->base.status)
        return;
    bool ended = false;
    while (v->fill < n) {
        uint64_t missing = n - v->fill;
        size_t want = missing < step ? size_t(missing) : step;
        const uint8_t *p = nullptr;
        size_t len = 0;
        int r = Vfs_getReadBuf(v->handle, want, &p, &len);
        if (r != Res_ok) {
            v->base.status = r;
            releaseLent(v->handle);
            break;
        }
        size_t use = len < want ? len : want;
        if (!growFor(v, v->fill + use)) {
            v->base.status = Res_noMemory;
            releaseLent(v->handle);
            break;
        }
        if (use)
            memcpy(v->buffer + v->fill, p, use);
        v->fill += use;
        r = Vfs_readDone(v->handle, use);
        if (r != Res_ok) {
            v->base.status = r;
            break;
        }
        if (len < want) {
            ended = true;
            break;
        }
    }
    v->base.end = v->buffer + v->fill;
    if (ended && v->fill < v->capacity && v->fill) {
        // The data are all here: give the rest of the buffer back.
        if (uint8_t *shrunk = static_cast<uint8_t *>(Mem_realloc(v->buffer, v->fill))) {
            v->capacity = v->fill;
            rebase(v, shrunk);
        }
    }
}

int VfsByteStream_getByteCopy(ByteStream *s)
{
    VfsByteStream *v = vbsOf(s);
    if (s->status)
        return ByteStream_end;
    if (s->readPtr >= s->end) {
        uint64_t at = uint64_t(s->readPtr - v->buffer);
        VfsByteStream_fillTo(v, at + step);
    }
    return s->readPtr < s->end ? *s->readPtr++ : int(ByteStream_end);
}

int VfsByteStream_seekCopy(ByteStream *s, uint64_t position)
{
    VfsByteStream *v = vbsOf(s);
    if (position > v->fill) {
        uint64_t ahead = position > UINT64_MAX - step ? UINT64_MAX : position + uint64_t(step);
        VfsByteStream_fillTo(v, ahead < s->length ? ahead : s->length);
    }
    s->readPtr = v->buffer + (position < v->fill ? size_t(position) : v->fill);
    return s->status;
}

int VfsByteStream_controlCopy(ByteStream *s, uint32_t op, void *arg)
{
    int r = VfsByteStream_control(s, op, arg);
    if (r == Res_byteStreamNoControl && op == ByteStream_opPosition) {
        *static_cast<uint64_t *>(arg) = uint64_t(s->readPtr - vbsOf(s)->buffer);
        return Res_ok;
    }
    return r;
}

int VfsByteStream_closeCopy(ByteStream *s)
{
    VfsByteStream *v = vbsOf(s);
    int r = v->ownsHandle ? Vfs_close(v->handle) : Res_ok;
    Mem_free(v->buffer);
    Mem_free(v);
    return r;
}

// ---------------------------------------------------------- lending

// Hands the lent buffer back with used bytes consumed and empties the
// window.
int giveBack(VfsByteStream *v, size_t used)
{
    if (!v->buffer)
        return Res_ok;
    v->buffer = nullptr;
    v->base.readPtr = v->base.end = nullptr;
    return Vfs_readDone(v->handle, used);
}

int VfsByteStream_getByteLend(ByteStream *s)
{
    VfsByteStream *v = vbsOf(s);
    if (s->status)
        return ByteStream_end;
    if (s->readPtr < s->end)
        return *s->readPtr++;
    if (v->buffer) {
        size_t whole = size_t(s->end - v->buffer);
        int r = giveBack(v, whole);
        if (r != Res_ok) {
            s->status = r;
            return ByteStream_end;
        }
        v->consumed += whole;
    }
    const uint8_t *p = nullptr;
    size_t len = 0;
    int r = Vfs_getReadBuf(v->handle, step, &p, &len);
    if (r != Res_ok) {
        s->status = r;
        releaseLent(v->handle);
        return ByteStream_end;
    }
    if (!len) {
        (void)Vfs_readDone(v->handle, 0);
        return ByteStream_end;
    }
    v->buffer = const_cast<uint8_t *>(p);
    s->readPtr = p;
    s->end = p + len;
    return *s->readPtr++;
}

int VfsByteStream_seekLend(ByteStream *s, uint64_t position)
{
    VfsByteStream *v = vbsOf(s);
    int r = giveBack(v, 0);
    if (r == Res_ok)
        r = VfsByteStream_seekHandle(v->handle, position);
    if (r == Res_ok)
        v->consumed = position;
    return r;
}

int VfsByteStream_controlLend(ByteStream *s, uint32_t op, void *arg)
{
    int r = VfsByteStream_control(s, op, arg);
    if (r == Res_byteStreamNoControl && op == ByteStream_opPosition) {
        VfsByteStream *v = vbsOf(s);
        uint64_t inWindow = v->buffer ? uint64_t(s->readPtr - v->buffer) : 0;
        *static_cast<uint64_t *>(arg) = v->consumed + inWindow;
        return Res_ok;
    }
    return r;
}

int VfsByteStream_closeLend(ByteStream *s)
{
    VfsByteStream *v = vbsOf(s);
    int r = v->buffer ? giveBack(v, size_t(s->end - v->buffer)) : Res_ok;
    if (v->ownsHandle) {
        int c = Vfs_close(v->handle);
        if (r == Res_ok)
            r = c;
    }
    Mem_free(v);
    return r;
}

} // namespace

int VfsByteStream_seekHandle(VfsHandle *handle, uint64_t position)
{
    return Vfs_seek(handle, position);
}

int VfsByteStream_control(ByteStream *s, uint32_t op, void *arg)
{
    VfsByteStream *v = vbsOf(s);
    switch (op) {
    case ByteStream_opKeepInfo: {
        int r = Vfs_setInfo(v->handle, keepInfoCode, 0);
        return r == Res_vfsNotAvailable || r == Res_vfsInfoNotSettable
                   ? int(Res_byteStreamNoControl)
                   : r;
    }
    case ByteStream_opIsMemory:
        *static_cast<uint32_t *>(arg) = (v->handle->mode & Vfs_modeMemory) ? 1 : 0;
        return Res_ok;
    case ByteStream_opLength: {
        uint64_t *length = static_cast<uint64_t *>(arg);
        *length = 0;
        uintptr_t value = 0;
        int r = Vfs_getInfo(v->handle, VfsInfo_size, &value);
        if (r != Res_ok)
            return r;
        if (value)
            *length = *reinterpret_cast<const uint64_t *>(value);
        if (*length)
            s->length = *length;
        return Res_ok;
    }
    case ByteStream_opUrl: {
        Url **copy = static_cast<Url **>(arg);
        *copy = nullptr;
        Url *url = nullptr;
        (void)Vfs_getUrl(v->handle, &url);
        if (url && !(*copy = Url_copy(url)))
            return Res_noMemory;
        return Res_ok;
    }
    case ByteStream_opMimeId: {
        uint32_t *id = static_cast<uint32_t *>(arg);
        *id = 0;
        uintptr_t value = 0;
        if (Vfs_getInfo(v->handle, VfsInfo_mime, &value) == Res_ok && value) {
            const char16_t *mime = reinterpret_cast<const char16_t *>(value);
            *id = Mime_typeFromString(mime, Ustr_len(mime));
        }
        return Res_ok;
    }
    default: return Res_byteStreamNoControl;
    }
}

int VfsByteStream_create(VfsHandle *handle, ByteStream **stream, int wantCopy, int ownHandle)
{
    *stream = nullptr;
    uint32_t mode = 0;
    int r = Vfs_getFlags(handle, &mode);
    if (r != Res_ok)
        return r;
    VfsByteStream *v = static_cast<VfsByteStream *>(Mem_calloc(1, sizeof(VfsByteStream)));
    if (!v)
        return Res_noMemory;
    v->handle = handle;
    v->ownsHandle = ownHandle ? 1 : 0;
    v->base.length = handleSize(handle);
    bool copy = wantCopy && (mode & VfsByteStream_lendMask) != Vfs_modeSeekable;
    if (copy) {
        v->base.getByte = VfsByteStream_getByteCopy;
        v->base.seek = VfsByteStream_seekCopy;
        v->base.close = VfsByteStream_closeCopy;
        v->base.control = VfsByteStream_controlCopy;
        if (!v->base.length) {
            VfsByteStream_fillTo(v, UINT64_MAX);
            v->base.length = v->fill;
        }
    } else {
        v->base.getByte = VfsByteStream_getByteLend;
        v->base.seek = VfsByteStream_seekLend;
        v->base.close = VfsByteStream_closeLend;
        v->base.control = VfsByteStream_controlLend;
    }
    *stream = &v->base;
    return Res_ok;
}
