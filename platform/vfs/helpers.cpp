// Stream helpers and small platform records.
//
// The stream helpers hide the lent-buffer protocol from readers that want
// plain copies: each read borrows one buffer, copies out of it and gives
// it back at once, so no buffer stays lent between calls.
#include "platform/vfs/helpers.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/ustr.h"
#include "platform/vfs/vfs.h"

// ------------------------------------------------------------ streams

int Vfs_openForReading(EngineContext *context, VfsHandle **handle, const Url *url)
{
    *handle = nullptr;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    int r =
        Vfs_open(context, url, Vfs_modeRead | Vfs_modeSeekable | Vfs_modeReadAhead, &h, &accepted);
    if (r != Res_ok)
        return r;
    if (!(accepted & Vfs_modeRead)) {
        r = Vfs_close(h);
        return r != Res_ok ? r : Res_vfsNotReadable;
    }
    *handle = h;
    return Res_ok;
}

int Vfs_closeHolder(VfsHandle **holder)
{
    if (!holder)
        return Res_ok;
    int r = Vfs_close(*holder);
    *holder = nullptr;
    return r;
}

int Vfs_readBytes(VfsHandle *handle, void *buffer, size_t n, size_t *got)
{
    *got = 0;
    size_t want = n < Vfs_maxRequest ? n : Vfs_maxRequest;
    const uint8_t *p = nullptr;
    size_t len = 0;
    int r = Vfs_getReadBuf(handle, want, &p, &len);
    if (r != Res_ok)
        return r;
    size_t take = len < want ? len : want;
    if (take)
        std::memcpy(buffer, p, take);
    r = Vfs_readDone(handle, take);
    if (r != Res_ok)
        return r;
    *got = take;
    return take < want ? Res_vfsShortRead : Res_ok;
}

int Vfs_seekFrom(VfsHandle *handle, int64_t offset, int whence)
{
    uint64_t base = 0;
    int r = Res_ok;
    switch (whence) {
    case 0: break;
    case 1: r = Vfs_tell(handle, &base); break;
    case 2: r = Vfs_getSize(handle, &base); break;
    default: return Res_nullInput;
    }
    if (r != Res_ok)
        return r;
    // Unsigned sum: a negative offset wraps to the signed target, and a
    // negative target has its high bit set, which every stream refuses.
    uint64_t target = base + uint64_t(offset);
    r = Vfs_seek(handle, target);
    if (r != Res_ok)
        return r;
    uint64_t at = 0;
    r = Vfs_tell(handle, &at);
    if (r != Res_ok)
        return r;
    return at == target ? Res_ok : Res_vfsSeekMissed;
}

int Vfs_isSeekable(VfsHandle *handle, int *flag)
{
    *flag = 0;
    uint32_t mode = 0;
    int r = Vfs_getFlags(handle, &mode);
    if (r == Res_ok)
        *flag = (mode & Vfs_modeSeekable) != 0;
    return r;
}

int Vfs_getSize(VfsHandle *handle, uint64_t *size)
{
    *size = 0;
    uintptr_t value = 0;
    int r = Vfs_getInfo(handle, VfsInfo_size, &value);
    if (r == Res_ok && value)
        *size = *reinterpret_cast<const uint64_t *>(value);
    return r;
}

namespace {

// Reads exactly n bytes (in requests of at most 4096): Res_vfsShortRead when
// fewer came.
int readExactly(VfsHandle *h, uint8_t *buffer, size_t n)
{
    while (n) {
        size_t got = 0;
        int r = Vfs_readBytes(h, buffer, n, &got);
        if (r != Res_ok)
            return r;
        buffer += got;
        n -= got;
    }
    return Res_ok;
}

} // namespace

int File_readIndexTable(EngineContext *context, const Url *url, uint32_t *count, uint32_t *values,
                        uint32_t capacity)
{
    *count = 0;
    VfsHandle *h = nullptr;
    int r = Vfs_openForReading(context, &h, url);
    if (r != Res_ok)
        return r;
    uint8_t header[12];
    uint32_t n = 0;
    r = readExactly(h, header, sizeof header);
    if (r == Res_ok) {
        n = Bytes_peekU32Be(header + 8);
        // The count comes from the file: never write past the caller's table.
        if (n > capacity)
            r = Res_vfsRequestTooLarge;
    }
    for (uint32_t i = 0; r == Res_ok && i < n; i++) {
        uint8_t word[4];
        r = readExactly(h, word, sizeof word);
        if (r == Res_ok)
            values[i] = Bytes_peekU32Be(word);
    }
    int c = Vfs_close(h);
    if (r == Res_ok)
        r = c;
    if (r == Res_ok)
        *count = n;
    return r;
}

// ---------------------------------------------------- non-local jumps

void Jmp_long(JmpBuf buffer, int value)
{
    longjmp(buffer, value == 0 ? 1 : value);
}

// ------------------------------------------------- start and end steps

int Module_startNoop()
{
    return Res_ok;
}

void Module_endNoop() {}
