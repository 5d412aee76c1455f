// The buffered reader: windows over a file, read through lent buffers.
//
// The reader keeps at most one buffer lent by its stream. Every read first
// checks the window (so a lent buffer that reaches past the window's end
// never lets a read through), then takes the bytes from the lent buffer or
// borrows a new one. The stream may lend fewer bytes than asked (at the
// end of its data, or a file cut short since it was opened): the reader
// asks once more while the lends grow and fails with 2319 otherwise, never
// reading past what was lent.
#include "platform/vfs/bufstream.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"

namespace {

// Sources are opened for reading and seeking.
constexpr uint32_t openMode = Vfs_modeRead | Vfs_modeSeekable;
// The smallest buffer BufStream_ensure borrows, and the largest step of a
// copy.
constexpr size_t minBorrow = 512;
constexpr size_t copyStep = Vfs_maxRequest;

uint32_t capSize(uint64_t size)
{
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

// The 64-bit size of an open stream (info code 0), 0 when it has none.
int streamSize(VfsHandle *h, uint32_t *size)
{
    *size = 0;
    uintptr_t value = 0;
    int r = Vfs_getInfo(h, VfsInfo_size, &value);
    if (r == Res_ok && value)
        *size = capSize(*reinterpret_cast<const uint64_t *>(value));
    return r;
}

// Bytes left in the window.
uint64_t windowLeft(const BufStream *b)
{
    return b->windowLength > b->position ? uint64_t(b->windowLength) - b->position : 0;
}

// True when text (length bytes) ends with "/" and then name.
bool endsWithListedName(const char *text, size_t length, const char *name)
{
    size_t n = strlen(name);
    if (n == 0 || n >= length)
        return false;
    return text[length - n - 1] == '/' && memcmp(text + length - n, name, n) == 0;
}

bool isListed(const Url *url, const char *const *names, uint32_t count)
{
    char *text = Url_toUtf8(url, UrlPart_all);
    if (!text)
        return false;
    size_t length = strlen(text);
    bool found = false;
    for (uint32_t i = 0; i < count && !found; i++)
        found = names[i] && endsWithListedName(text, length, names[i]);
    Mem_free(text);
    return found;
}

// Copies the whole open source into a new block of sourceSize bytes: never
// more, even when the file has grown since its size was read. On a failure
// the copy is dropped and the reader goes on with the file itself.
void copyIntoMemory(BufStream *b)
{
    size_t capacity = b->sourceSize ? b->sourceSize : 1;
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(capacity));
    if (!copy)
        return;
    size_t total = 0;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        if (Vfs_getReadBuf(b->source, copyStep, &p, &len) != Res_ok) {
            if (b->source->mode & Vfs_modeLent)
                (void)Vfs_readDone(b->source, 0);
            Mem_free(copy);
            return;
        }
        size_t room = b->sourceSize - total;
        size_t use = len < room ? len : room;
        if (use)
            memcpy(copy + total, p, use);
        total += use;
        (void)Vfs_readDone(b->source, use);
        if (len < copyStep || total == b->sourceSize)
            break;
    }
    b->memoryCopy = copy;
    b->memoryLength = total;
    b->memoryState = BufStream_memoryDone;
}

// Borrows a buffer of at least want bytes (asking for max(want, 512)).
int borrow(BufStream *b, size_t want)
{
    size_t ask = want > minBorrow ? want : minBorrow;
    size_t last = 0;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        int r = Vfs_getReadBuf(b->source, ask, &p, &len);
        if (r != Res_ok)
            return r;
        if (len >= want) {
            b->block = p;
            b->blockIndex = 0;
            b->blockFill = len;
            return Res_ok;
        }
        // A short lend: give it back untouched and ask again while the
        // stream keeps lending more.
        (void)Vfs_readDone(b->source, 0);
        if (len <= last)
            return Res_bufEmptyLend;
        last = len;
    }
}

// Reads an integer of size bytes at the read point, in the reader's order.
uint32_t takeInteger(BufStream *b, size_t size)
{
    const uint8_t *p = b->block + b->blockIndex;
    uint32_t v = 0;
    if (b->byteOrder == BufStream_littleEndian) {
        for (size_t i = size; i-- > 0;)
            v = (v << 8) | p[i];
    } else {
        for (size_t i = 0; i < size; i++)
            v = (v << 8) | p[i];
    }
    b->blockIndex += size;
    b->position += uint32_t(size);
    return v;
}

} // namespace

int BufStream_open(EngineContext *context, const Url *url, VfsHandle *stream, uint32_t size,
                   uint32_t byteOrder, BufStream **reader)
{
    *reader = nullptr;
    BufStream *b = static_cast<BufStream *>(Mem_calloc(1, sizeof(BufStream)));
    if (!b)
        return Res_noMemory;
    b->byteOrder = byteOrder;
    b->memoryState = BufStream_memoryAllowed;
    if (!url) {
        b->source = stream;
        b->sourceSize = size;
        *reader = b;
        return Res_ok;
    }
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    int r = Vfs_open(context, url, openMode, &h, &accepted);
    if (r == Res_ok)
        r = streamSize(h, &b->sourceSize);
    int c = Vfs_close(h);
    if (r == Res_ok)
        r = c;
    if (r == Res_ok && !(b->url = Url_copy(url)))
        r = Res_noMemory;
    if (r != Res_ok) {
        Mem_free(b);
        return r;
    }
    *reader = b;
    return Res_ok;
}

void BufStream_close(BufStream *b)
{
    if (!b)
        return;
    (void)BufStream_flush(b);
    (void)BufStream_closeFile(b);
    if (b->url)
        Url_free(b->url);
    else
        (void)Vfs_close(b->source);
    Mem_free(b->memoryCopy);
    Mem_free(b);
}

int BufStream_openSource(EngineContext *context, BufStream *b)
{
    const char *const *names = nullptr;
    uint32_t count = 0;
    if (!b->isOpen && b->memoryState == BufStream_memoryAllowed && context && context->memoryList)
        context->memoryList(context, &names, &count);
    return BufStream_openSourceListed(context, b, names, count);
}

int BufStream_openSourceListed(EngineContext *context, BufStream *b, const char *const *names,
                               uint32_t count)
{
    if (b->isOpen)
        return Res_ok;
    if (b->url) {
        uint32_t accepted = 0;
        int r = Res_ok;
        if (!b->memoryCopy) {
            r = Vfs_open(context, b->url, openMode, &b->source, &accepted);
            if (r != Res_ok)
                return r;
            if (b->memoryState == BufStream_memoryAllowed && count) {
                if (isListed(b->url, names, count))
                    copyIntoMemory(b);
                else
                    b->memoryState = BufStream_memoryNo;
            }
        }
        if (b->memoryCopy) {
            // Once copied, the file itself is never opened again.
            (void)Vfs_close(b->source);
            b->source = nullptr;
            r = Vfs_openMemory(context, b->memoryCopy, b->memoryLength, 0, openMode, &b->source,
                               &accepted);
            if (r != Res_ok)
                return r;
        }
    }
    b->isOpen = 1;
    return Res_ok;
}

int BufStream_setRange(EngineContext *context, BufStream *b, uint32_t offset, uint32_t length)
{
    int r = BufStream_flush(b);
    if (r == Res_ok)
        r = BufStream_openSource(context, b);
    if (r == Res_ok && uint64_t(offset) + length > b->sourceSize)
        r = Res_bufWindowBeyond;
    if (r == Res_ok)
        r = VfsByteStream_seekHandle(b->source, offset);
    if (r != Res_ok) {
        (void)BufStream_closeFile(b);
        return r;
    }
    b->position = 0;
    b->windowStart = offset;
    b->windowLength = length;
    return Res_ok;
}

int BufStream_setLimit(BufStream *b, uint32_t length)
{
    if (uint64_t(b->windowStart) + length > b->sourceSize)
        return Res_bufWindowBeyond;
    b->windowLength = length;
    return Res_ok;
}

int BufStream_flush(BufStream *b)
{
    if (!b)
        return Res_ok;
    int r = BufStream_releaseBlock(b);
    b->windowLength = 0;
    return r;
}

int BufStream_releaseBlock(BufStream *b)
{
    if (!b->blockFill)
        return Res_ok;
    b->blockFill = 0;
    b->block = nullptr;
    size_t used = b->blockIndex;
    b->blockIndex = 0;
    return Vfs_readDone(b->source, used);
}

int BufStream_ensure(BufStream *b, size_t count)
{
    if (windowLeft(b) < count)
        return Res_bufWindowShort;
    if (b->blockFill && b->blockFill - b->blockIndex >= count)
        return Res_ok;
    int r = BufStream_releaseBlock(b);
    if (r != Res_ok)
        return r;
    return borrow(b, count);
}

int BufStream_skip(BufStream *b, size_t count)
{
    if (count == 0)
        return Res_ok;
    if (windowLeft(b) < count)
        return Res_bufSkipPastEnd;
    if (b->blockFill && b->blockFill - b->blockIndex > count) {
        b->blockIndex += count;
        b->position += uint32_t(count);
        return Res_ok;
    }
    int r = BufStream_releaseBlock(b);
    if (r != Res_ok)
        return r;
    uint64_t target = uint64_t(b->windowStart) + b->position + count;
    r = VfsByteStream_seekHandle(b->source, target);
    if (r != Res_ok)
        return r;
    b->position += uint32_t(count);
    return Res_ok;
}

int BufStream_readU8(uint8_t *value, BufStream *b)
{
    *value = 0;
    int r = BufStream_ensure(b, 1);
    if (r == Res_ok)
        *value = uint8_t(takeInteger(b, 1));
    return r;
}

int BufStream_readU16(uint16_t *value, BufStream *b)
{
    *value = 0;
    int r = BufStream_ensure(b, 2);
    if (r == Res_ok)
        *value = uint16_t(takeInteger(b, 2));
    return r;
}

int BufStream_readU32(uint32_t *value, BufStream *b)
{
    *value = 0;
    int r = BufStream_ensure(b, 4);
    if (r == Res_ok)
        *value = takeInteger(b, 4);
    return r;
}

int BufStream_read(BufStream *b, void *destination, size_t count)
{
    uint8_t *out = static_cast<uint8_t *>(destination);
    // What the lent buffer holds first, within the window.
    size_t step = b->blockFill - b->blockIndex;
    if (step > count)
        step = count;
    if (step > windowLeft(b))
        step = size_t(windowLeft(b));
    for (;;) {
        if (step) {
            memcpy(out, b->block + b->blockIndex, step);
            out += step;
            b->blockIndex += step;
            b->position += uint32_t(step);
            count -= step;
        }
        if (!count)
            return Res_ok;
        step = count < copyStep ? count : copyStep;
        int r = BufStream_ensure(b, step);
        if (r != Res_ok)
            return r;
    }
}

int BufStream_closeFile(BufStream *b)
{
    if (!b)
        return Res_ok;
    int r = BufStream_flush(b);
    if (b->isOpen && b->url) {
        // Vfs_close frees the handle whatever it answers.
        int c = Vfs_close(b->source);
        b->source = nullptr;
        if (r == Res_ok)
            r = c;
    }
    b->isOpen = 0;
    return r;
}

uint32_t BufStream_getStart(const BufStream *b)
{
    return b->windowStart;
}

uint32_t BufStream_tell(const BufStream *b)
{
    return b->position;
}

uint32_t BufStream_getLimit(const BufStream *b)
{
    return b->windowLength;
}
