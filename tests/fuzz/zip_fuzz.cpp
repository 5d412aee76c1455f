// Fuzz target for zip archives: the input is an archive. It is opened
// over a memory stream, every entry is listed and every member read (at
// most 256 KiB each, so that a small input claiming a huge member ends
// soon); then the same bytes, as a "RAM:" file ending in ".zip", are
// listed through the zip stream type (the top level and each folder in
// it) and each top-level member is read through it, with a seek back to
// its start. Failures must come back as codes; nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/streamtypes.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "office/zip/zip.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
EngineContext *ctx = nullptr;
constexpr size_t readLimit = 256u << 10;

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "zip_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void setUp()
{
    require(TestHeap_open(&heap, 16 << 20, 0));
    ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    require(Vfs_initLayer(ctx) == Res_ok);
    require(App_registerStreamTypes(ctx) == Res_ok);
    // The memory-file registry keeps its array once made: make it now, so
    // that the leak check of every run starts from it.
    static const uint8_t warm[1] = {0};
    Url *u = nullptr;
    require(AlienFile_ramUrl(ctx, warm, 1, "x", &u) == Res_ok);
    AlienFile_ramRelease(ctx, warm);
    Url_free(u);
}

void readMember(ZipMember *m)
{
    static uint8_t buf[8192];
    size_t total = 0;
    for (;;) {
        size_t got = 0;
        int r = Zip_memberRead(m, buf, sizeof buf, &got);
        require(got <= sizeof buf);
        total += got;
        if (r != Res_ok || got == 0 || total >= readLimit)
            return;
    }
}

void throughTheArchiveReader(const uint8_t *data, size_t size)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, data, size, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) ==
            Res_ok);
    ZipHandle *zip = nullptr;
    int r = Zip_open(ctx, h, &zip);
    require((r == Res_ok) == (zip != nullptr));
    if (zip) {
        ZipArchive *a = Zip_getArchive(zip);
        const ZipMemberInfo *info = nullptr;
        while (Zip_next(zip, &info) == Res_ok && info) {
            require(info->name != nullptr);
            ZipMember *m = nullptr;
            r = Zip_memberOpenInfo(a, info, &m);
            require((r == Res_ok) == (m != nullptr));
            if (m) {
                readMember(m);
                if (Zip_memberRewind(m) == Res_ok)
                    readMember(m);
                Zip_memberClose(m);
            }
            // The lookup by name finds an entry of that name.
            ZipMemberInfo found{};
            if (Zip_findEntry(a, &found, info->name) == Res_ok)
                require(Ustr_cmp(found.name, info->name) == 0);
            Zip_infoClear(&found);
        }
        Zip_close(zip);
    }
    (void)Vfs_close(h);
}

// A URL of the RAM file with a path after it.
Url *below(const Url *ram, const char16_t *name)
{
    Url *u = Url_copy(ram);
    require(u != nullptr);
    char16_t *path = Ustr_appendDup(Ustr_appendDup(Ustr_dup(ram->path), u"/"), name);
    require(path != nullptr && Url_setPart(u, UrlPart_path, path));
    Mem_free(path);
    return u;
}

void readStream(const Url *u)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (Vfs_open(ctx, u, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != Res_ok)
        return;
    size_t total = 0;
    for (int pass = 0; pass < 2; pass++) {
        for (;;) {
            const uint8_t *p = nullptr;
            size_t len = 0;
            if (Vfs_getReadBuf(h, 4096, &p, &len) != Res_ok)
                break;
            require(Vfs_readDone(h, len) == Res_ok);
            total += len;
            if (len == 0 || total >= readLimit)
                break;
        }
        if (Vfs_seek(h, 0) != Res_ok)
            break;
    }
    (void)Vfs_close(h);
}

void listFolder(const Url *u, const Url *ram, int depth)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (Vfs_open(ctx, u, Vfs_modeList, &h, &accepted) != Res_ok)
        return;
    for (int n = 0; n < 1000; n++) {
        const char16_t *name = nullptr;
        if (Vfs_readDir(h, &name) != Res_ok || !name)
            break;
        if (depth == 0) {
            char16_t *copy = Ustr_dup(name);
            require(copy != nullptr);
            Url *child = below(ram, copy);
            Mem_free(copy);
            readStream(child);
            listFolder(child, ram, 1);
            Url_free(child);
        }
    }
    (void)Vfs_close(h);
}

void throughTheStreamLayer(const uint8_t *data, size_t size)
{
    Url *ram = nullptr;
    require(AlienFile_ramUrl(ctx, data, size, "zip", &ram) == Res_ok);
    listFolder(ram, ram, 0);
    AlienFile_ramRelease(ctx, data);
    Url_free(ram);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    if (!ctx)
        setUp();
    size_t before = TestHeap_usedBytes();
    // The input in its own block, so that reads past it are caught.
    std::vector<uint8_t> bytes(data, data + size);
    const uint8_t *p = bytes.empty() ? reinterpret_cast<const uint8_t *>("") : bytes.data();
    throughTheArchiveReader(p, size);
    if (size)
        throughTheStreamLayer(p, size);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
