// The built-in file table and its lookups.
//
// A small growable array of {path, data, length} rows in the engine
// context. Lookups are linear: the table holds tens of files and is
// searched only when a file opens. A listing of a directory returns the
// rows that lie directly in it, in table order. The bytes themselves are
// constant data of the program (romfs_data.cpp) and are never copied.
#include "platform/vfs/romfs.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"

namespace {

constexpr int32_t firstRow = 2;
constexpr int32_t growStep = 16;

RomFsTable *tableOf(EngineContext *ctx)
{
    return ctx ? static_cast<RomFsTable *>(ctx->romFiles) : nullptr;
}

// A direct child of the listing prefix (which ends in "/").
int isChild(const char *path, const char *prefix)
{
    size_t n = std::strlen(prefix);
    return std::strncmp(path, prefix, n) == 0 && !std::strchr(path + n, '/');
}

} // namespace

int RomFs_grow(RomFsTable *table, int32_t capacity)
{
    if (!table)
        return Res_missingArgument;
    if (capacity < table->count)
        capacity = table->count;
    if (capacity < 1)
        capacity = 1;
    void *rows = Mem_realloc(table->entries, size_t(capacity) * sizeof(RomFsEntry));
    if (!rows)
        return Res_noMemory;
    table->entries = static_cast<RomFsEntry *>(rows);
    table->capacity = capacity;
    return Res_ok;
}

int RomFs_createTable(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    RomFs_freeTable(context);
    RomFsTable *t = static_cast<RomFsTable *>(Mem_calloc(1, sizeof(RomFsTable)));
    if (!t)
        return Res_noMemory;
    if (RomFs_grow(t, growStep) != Res_ok) {
        Mem_free(t);
        return Res_noMemory;
    }
    for (int32_t i = 0; i < firstRow; i++)
        t->entries[i] = RomFsEntry{"", nullptr, 0};
    t->count = firstRow;
    t->firstIndex = firstRow;
    context->romFiles = t;
    RomFs_addBuiltins(context);
    return Res_ok;
}

void RomFs_freeTable(EngineContext *context)
{
    RomFsTable *t = tableOf(context);
    if (!t)
        return;
    Mem_free(t->entries);
    Mem_free(t);
    context->romFiles = nullptr;
}

void RomFs_addBuiltins(EngineContext *context)
{
    for (const RomFsEntry &e : RomFs_builtins)
        RomFs_addFile(context, e.path, e.data, e.length);
}

void RomFs_addFile(EngineContext *context, const char *path, const uint8_t *data, uint32_t length)
{
    RomFsTable *t = tableOf(context);
    if (!t || !path)
        return;
    for (int32_t i = 0; i < t->count; i++) {
        if (t->entries[i].length == length && std::strcmp(t->entries[i].path, path) == 0)
            return;
    }
    if (t->count >= t->capacity && RomFs_grow(t, t->capacity + growStep) != Res_ok)
        return;
    t->entries[t->count++] = RomFsEntry{path, data, length};
}

int RomFs_trim(EngineContext *context)
{
    RomFsTable *t = tableOf(context);
    return t ? RomFs_grow(t, t->count) : Res_ok;
}

int32_t RomFs_count(EngineContext *context)
{
    RomFsTable *t = tableOf(context);
    return t ? t->count : 0;
}

const RomFsEntry *RomFs_entries(EngineContext *context)
{
    RomFsTable *t = tableOf(context);
    return t ? t->entries : nullptr;
}

int RomFs_open(EngineContext *context, AlienFile **record, const char *path, uint32_t mode,
               int *handled)
{
    if (record)
        *record = nullptr;
    if (handled)
        *handled = 0;
    RomFsTable *t = tableOf(context);
    if (!t || !record || !path || !handled)
        return Res_missingArgument;
    int listing = (mode & AlienFile_modeMask) == AlienFile_modeList;
    char *prefix = nullptr;
    if (listing) {
        size_t n = std::strlen(path);
        int slash = n && path[n - 1] == '/';
        prefix = static_cast<char *>(Mem_malloc(n + 2));
        if (!prefix)
            return Res_noMemory;
        std::memcpy(prefix, path, n);
        if (!slash)
            prefix[n++] = '/';
        prefix[n] = 0;
    }
    int32_t row = -1;
    for (int32_t i = t->firstIndex; i < t->count && row < 0; i++) {
        const char *p = t->entries[i].path;
        if (listing ? isChild(p, prefix) : std::strcmp(p, path) == 0)
            row = i;
    }
    if (row < 0) {
        Mem_free(prefix);
        return Res_ok;
    }
    AlienFile *f = static_cast<AlienFile *>(Mem_calloc(1, sizeof(AlienFile)));
    if (!f) {
        Mem_free(prefix);
        return Res_noMemory;
    }
    f->ctx = context;
    f->kind = AlienFile_kindRom;
    f->fd = -row;
    f->romEntry = &t->entries[row];
    f->romCursor = -1;
    f->romListing = listing;
    f->listingPath = prefix;
    *record = f;
    *handled = 1;
    return Res_ok;
}

int RomFs_isEntry(const AlienFile *f)
{
    if (!f || f->fd >= 0 || !f->romEntry)
        return 0;
    RomFsTable *t = tableOf(f->ctx);
    return t && -f->fd < t->count;
}

namespace {

// The record's row, looked up again by index: the array may have moved
// since the record was opened (files are added while others are open).
const RomFsEntry *rowOf(AlienFile *f)
{
    RomFsTable *t = RomFs_isEntry(f) ? tableOf(f->ctx) : nullptr;
    if (!t)
        return nullptr;
    f->romEntry = &t->entries[-f->fd];
    return f->romEntry;
}

} // namespace

int RomFs_read(AlienFile *f, void *buffer, size_t *n, int *handled)
{
    const RomFsEntry *row = rowOf(f);
    *handled = row != nullptr;
    if (!row)
        return Res_ok;
    uint64_t length = row->length;
    size_t count = 0;
    if (f->position < length && !f->romListing) {
        count = size_t(length - f->position) < *n ? size_t(length - f->position) : *n;
        if (count)
            std::memcpy(buffer, row->data + f->position, count);
    }
    f->position += count;
    *n = count;
    return Res_ok;
}

int RomFs_tell(AlienFile *f, uint64_t *position, int *handled)
{
    *handled = RomFs_isEntry(f);
    if (*handled)
        *position = f->position;
    return Res_ok;
}

int RomFs_seek(AlienFile *f, uint64_t offset, int *handled)
{
    const RomFsEntry *row = rowOf(f);
    *handled = row != nullptr;
    if (row)
        f->position = offset < row->length ? offset : row->length;
    return Res_ok;
}

int RomFs_size(AlienFile *f, uint64_t *size, int *handled)
{
    const RomFsEntry *row = rowOf(f);
    *handled = row != nullptr;
    if (row)
        *size = row->length;
    return Res_ok;
}

int RomFs_close(AlienFile *f, int *handled)
{
    *handled = RomFs_isEntry(f);
    return Res_ok;
}

int RomFs_readDir(AlienFile *f, const char16_t **name, int *handled)
{
    *name = nullptr;
    *handled = RomFs_isEntry(f);
    if (!*handled || !f->romListing || !f->listingPath)
        return Res_ok;
    RomFsTable *t = tableOf(f->ctx);
    Mem_free(f->entryName);
    f->entryName = nullptr;
    if (!t)
        return Res_ok;
    for (int32_t i = f->romCursor + 1; i < t->count; i++) {
        const char *path = t->entries[i].path;
        if (!isChild(path, f->listingPath))
            continue;
        f->romCursor = i;
        const char *base = std::strrchr(path, '/');
        if (!base || !base[1])
            return Res_romFsBadEntry;
        if (!(f->entryName = Ustr_fromCstr(base + 1)))
            return Res_noMemory;
        *name = f->entryName;
        return Res_ok;
    }
    // The end: the listing is cleared.
    f->romCursor = t->count;
    f->romListing = 0;
    return Res_ok;
}
