// The cookie block file: see cookie.h. Every change reads the whole file,
// changes it in memory and replaces the file whole (the files are small).
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "html/web/cookie.h"
#include "html/web/webfile.h"
#include "platform/url/url.h"

namespace {

const char kHeader[CookieFile_headerSize] = {'C', 'o', 'o', 'k', 'V', 'e', 'r', 's',
                                             'i', 'o', 'n', ' ', '1', '.', '0', 0};

struct Image {
    uint8_t *data;
    size_t size;
    uint32_t count;  // whole blocks
    uint32_t stride; // header + payload
};

uint8_t *blockAt(const Image &im, uint32_t i)
{
    return im.data + CookieFile_headerSize + size_t(i) * im.stride;
}

void setHeader(const Image &im, uint32_t i, uint32_t used, int32_t next, int32_t prev)
{
    uint8_t *b = blockAt(im, i);
    Bytes_putU32Le(b, used);
    Bytes_putU32Le(b + 4, uint32_t(next));
    Bytes_putU32Le(b + 8, uint32_t(prev));
}

bool isFree(const Image &im, uint32_t i)
{
    const uint8_t *b = blockAt(im, i);
    return Bytes_peekU32Le(b) == 0 && Bytes_peekU32Le(b + 4) == 0xFFFFFFFFu &&
           Bytes_peekU32Le(b + 8) == 0xFFFFFFFFu;
}

// Reads the file: a file shorter than the header gets the header written
// (its other bytes are dropped); another header is refused.
int load(CookieFile *file, Image *im)
{
    *im = {};
    im->stride = CookieFile_blockHeader + file->blockSize;
    int err = WebFile_read(file->ctx, file->url, &im->data, &im->size);
    if (err == Res_fileCannotOpen || (!err && im->size < CookieFile_headerSize)) {
        Mem_free(im->data);
        im->data = static_cast<uint8_t *>(Mem_malloc(CookieFile_headerSize));
        if (!im->data)
            return Res_noMemory;
        memcpy(im->data, kHeader, CookieFile_headerSize);
        im->size = CookieFile_headerSize;
        err = WebFile_replace(file->ctx, file->url, im->data, im->size);
    } else if (!err && memcmp(im->data, kHeader, CookieFile_headerSize) != 0) {
        err = Res_cookieFailed;
    }
    if (err) {
        Mem_free(im->data);
        *im = {};
        return err;
    }
    im->count =
        uint32_t(std::min<size_t>((im->size - CookieFile_headerSize) / im->stride, 0x7FFFFFFF));
    return Res_ok;
}

int save(CookieFile *file, Image *im)
{
    return WebFile_replace(file->ctx, file->url, im->data, im->size);
}

// The first free block from hint on, marked taken {256, -1, -1}; a block
// appended when none is free. -1 when memory runs out.
int32_t takeBlock(Image *im, uint32_t hint)
{
    for (uint32_t i = hint; i < im->count; i++) {
        if (isFree(*im, i)) {
            setHeader(*im, i, CookieFile_payload, -1, -1);
            return int32_t(i);
        }
    }
    if (im->count >= 0x7FFFFFFF)
        return -1;
    size_t size = im->size - (im->size - CookieFile_headerSize) % im->stride + im->stride;
    uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(im->data, size));
    if (!grown)
        return -1;
    im->data = grown;
    im->size = size;
    uint32_t i = im->count++;
    memset(blockAt(*im, i), 0, im->stride);
    setHeader(*im, i, CookieFile_payload, -1, -1);
    return int32_t(i);
}

void freeChainIn(Image *im, int32_t first)
{
    int32_t b = first;
    for (uint32_t steps = 0; b >= 0 && uint32_t(b) < im->count && steps < im->count; steps++) {
        int32_t next = int32_t(Bytes_peekU32Le(blockAt(*im, uint32_t(b)) + 4));
        setHeader(*im, uint32_t(b), 0, -1, -1);
        if (next == -1 || next == b)
            break;
        b = next;
    }
}

} // namespace

int CookieFile_open(EngineContext *context, const Url *url, uint32_t blockSize, CookieFile **out)
{
    *out = nullptr;
    if (!url || blockSize != CookieFile_payload)
        return Res_missingArgument;
    CookieFile *file = static_cast<CookieFile *>(Mem_calloc(1, sizeof(CookieFile)));
    if (!file)
        return Res_noMemory;
    file->ctx = context;
    file->blockSize = blockSize;
    file->url = Url_copy(url);
    int err = file->url ? int(Res_ok) : int(Res_noMemory);
    Image im;
    if (!err)
        err = load(file, &im);
    if (err) {
        Url_free(file->url);
        Mem_free(file);
        return err;
    }
    Mem_free(im.data);
    *out = file;
    return Res_ok;
}

void CookieFile_close(CookieFile *file)
{
    if (!file)
        return;
    Url_free(file->url);
    Mem_free(file);
}

int32_t CookieFile_writeChain(CookieFile *file, const void *bytes, size_t length)
{
    Image im;
    if (!file || load(file, &im))
        return -1;
    const uint8_t *src = static_cast<const uint8_t *>(bytes);
    size_t pieces = std::max<size_t>(1, (length + CookieFile_payload - 1) / CookieFile_payload);
    int32_t first = -1, prev = -1;
    uint32_t hint = 0;
    bool ok = true;
    for (size_t k = 0; k < pieces; k++) {
        int32_t b = takeBlock(&im, hint);
        if (b < 0) {
            ok = false;
            break;
        }
        size_t n = std::min<size_t>(length - k * CookieFile_payload, CookieFile_payload);
        setHeader(im, uint32_t(b), uint32_t(n), -1, prev);
        uint8_t *payload = blockAt(im, uint32_t(b)) + CookieFile_blockHeader;
        if (n)
            memcpy(payload, src + k * CookieFile_payload, n);
        memset(payload + n, 0, CookieFile_payload - n);
        if (prev >= 0)
            Bytes_putU32Le(blockAt(im, uint32_t(prev)) + 4, uint32_t(b));
        else
            first = b;
        prev = b;
        hint = uint32_t(b);
    }
    if (ok && save(file, &im))
        ok = false;
    Mem_free(im.data);
    return ok ? first : -1;
}

int CookieFile_readChain(CookieFile *file, int32_t first, char **text, size_t *length)
{
    *text = nullptr;
    *length = 0;
    Image im;
    if (!file || load(file, &im))
        return -1;
    char *out = nullptr;
    size_t total = 0;
    bool ok = first >= 0;
    int32_t b = first;
    uint32_t steps = 0;
    while (ok && b != -1) {
        if (b < 0 || uint32_t(b) >= im.count || ++steps > im.count) {
            ok = false;
            break;
        }
        const uint8_t *blk = blockAt(im, uint32_t(b));
        uint32_t used = Bytes_peekU32Le(blk);
        int32_t next = int32_t(Bytes_peekU32Le(blk + 4));
        if (next == b || used > CookieFile_payload || total + used > CookieFile_maxChain) {
            ok = false;
            break;
        }
        char *grown = static_cast<char *>(Mem_realloc(out, total + used + 1));
        if (!grown) {
            ok = false;
            break;
        }
        out = grown;
        memcpy(out + total, blk + CookieFile_blockHeader, used);
        total += used;
        out[total] = 0;
        b = next;
    }
    Mem_free(im.data);
    if (!ok) {
        Mem_free(out);
        return -1;
    }
    *text = out;
    *length = total;
    return 0;
}

void CookieFile_freeChain(CookieFile *file, int32_t first)
{
    Image im;
    if (!file || first < 0 || load(file, &im))
        return;
    freeChainIn(&im, first);
    (void)save(file, &im);
    Mem_free(im.data);
}
