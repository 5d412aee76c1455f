// Whole-file access by file URL: see webfile.h.
#include "html/web/webfile.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/file.h"
#include "platform/url/url.h"

namespace {

enum : size_t { kPiece = 4096 };

int openUrl(EngineContext *ctx, const Url *url, uint32_t mode, AlienFile **file)
{
    *file = nullptr;
    char16_t *path = nullptr;
    int err = File_urlToPath(ctx, url, &path);
    if (err)
        return err;
    err = AlienFile_open(ctx, file, path, mode);
    Mem_free(path);
    return err;
}

int writeAll(AlienFile *f, const uint8_t *p, size_t length)
{
    while (length) {
        size_t n = std::min<size_t>(length, kPiece);
        int err = AlienFile_write(f, p, n);
        if (err)
            return err;
        p += n;
        length -= n;
    }
    return Res_ok;
}

// path + suffix in a new string.
char16_t *withSuffix(const char16_t *path, const char16_t *suffix)
{
    size_t a = Ustr_len(path), b = Ustr_len(suffix);
    char16_t *s = static_cast<char16_t *>(Mem_malloc((a + b + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    memcpy(s, path, a * sizeof(char16_t));
    memcpy(s + a, suffix, (b + 1) * sizeof(char16_t));
    return s;
}

} // namespace

int WebFile_read(EngineContext *context, const Url *url, uint8_t **data, size_t *length)
{
    *data = nullptr;
    *length = 0;
    AlienFile *f;
    int err = openUrl(context, url, AlienFile_modeRead, &f);
    if (err)
        return err;
    uint64_t size = 0;
    err = AlienFile_getSize(f, &size);
    if (!err && size > SIZE_MAX / 2)
        err = Res_fileSize;
    uint8_t *buffer = nullptr;
    if (!err && size) {
        buffer = static_cast<uint8_t *>(Mem_malloc(size_t(size)));
        if (!buffer)
            err = Res_noMemory;
    }
    size_t got = 0;
    while (!err && got < size) {
        size_t n = std::min<size_t>(size_t(size) - got, kPiece);
        err = AlienFile_read(f, buffer + got, &n);
        if (!err && n == 0)
            err = Res_fileRead;
        got += n;
    }
    (void)AlienFile_close(f); // a close failure leaves nothing to undo here
    if (err) {
        Mem_free(buffer);
        return err;
    }
    *data = buffer;
    *length = got;
    return Res_ok;
}

int WebFile_replace(EngineContext *context, const Url *url, const void *data, size_t length)
{
    char16_t *path = nullptr;
    int err = File_urlToPath(context, url, &path);
    if (err)
        return err;
    char16_t *temp = withSuffix(path, u".new");
    if (!temp) {
        Mem_free(path);
        return Res_noMemory;
    }
    AlienFile *f = nullptr;
    err = AlienFile_open(context, &f, temp, AlienFile_modeWriteNew);
    if (!err) {
        err = writeAll(f, static_cast<const uint8_t *>(data), length);
        int closeErr = AlienFile_close(f);
        if (!err)
            err = closeErr;
        if (!err)
            err = AlienFile_rename(context, temp, path);
        if (err)
            (void)AlienFile_remove(context, temp);
    }
    Mem_free(temp);
    Mem_free(path);
    return err;
}

int WebFile_writeAt(EngineContext *context, const Url *url, uint64_t offset, const void *data,
                    size_t length)
{
    AlienFile *f;
    int err = openUrl(context, url, AlienFile_modeReadAppend, &f);
    if (err)
        return err;
    err = AlienFile_seek(f, offset);
    if (!err)
        err = writeAll(f, static_cast<const uint8_t *>(data), length);
    int closeErr = AlienFile_close(f);
    return err ? err : closeErr;
}

int WebFile_append(EngineContext *context, const Url *url, const void *data, size_t length,
                   uint64_t *written)
{
    AlienFile *f;
    int err = openUrl(context, url, AlienFile_modeAppend, &f);
    if (err)
        return err;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    while (!err && length) {
        size_t n = std::min<size_t>(length, kPiece);
        err = AlienFile_write(f, p, n);
        if (!err) {
            *written += n;
            p += n;
            length -= n;
        }
    }
    int closeErr = AlienFile_close(f);
    return err ? err : closeErr;
}

int WebFile_readAt(EngineContext *context, const Url *url, uint64_t offset, void *data,
                   size_t length, size_t *got)
{
    *got = 0;
    AlienFile *f;
    int err = openUrl(context, url, AlienFile_modeRead, &f);
    if (err)
        return err;
    err = AlienFile_seek(f, offset);
    uint8_t *p = static_cast<uint8_t *>(data);
    while (!err && *got < length) {
        size_t n = std::min<size_t>(length - *got, kPiece);
        err = AlienFile_read(f, p + *got, &n);
        if (!err && n == 0)
            break;
        *got += n;
    }
    (void)AlienFile_close(f); // a close failure leaves nothing to undo here
    return err;
}

int WebFile_create(EngineContext *context, const Url *url)
{
    AlienFile *f;
    int err = openUrl(context, url, AlienFile_modeWriteNew, &f);
    if (err)
        return err;
    return AlienFile_close(f);
}

int WebFile_exists(EngineContext *context, const Url *url, uint64_t *size)
{
    AlienFile *f;
    if (openUrl(context, url, AlienFile_modeRead, &f))
        return 0;
    uint64_t s = 0;
    int ok = AlienFile_getSize(f, &s) == Res_ok;
    (void)AlienFile_close(f); // a close failure leaves nothing to undo here
    if (size)
        *size = s;
    return ok;
}

int WebFile_remove(EngineContext *context, const Url *url)
{
    char16_t *path = nullptr;
    int err = File_urlToPath(context, url, &path);
    if (!err)
        err = AlienFile_remove(context, path);
    Mem_free(path);
    return err;
}

int WebFile_rename(EngineContext *context, const Url *from, const Url *to)
{
    char16_t *a = nullptr, *b = nullptr;
    int err = File_urlToPath(context, from, &a);
    if (!err)
        err = File_urlToPath(context, to, &b);
    if (!err)
        err = AlienFile_rename(context, a, b);
    Mem_free(a);
    Mem_free(b);
    return err;
}
