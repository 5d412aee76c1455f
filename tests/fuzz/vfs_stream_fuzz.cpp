// Fuzz target for streams over outside data. The input is a short script
// and a payload: byte 0 holds the number of steps (low 4 bits), then two
// bytes per step {operation, argument}, then the payload. The payload is
// read as a memory stream by the script (copy-out reads, lent buffers,
// seeks by origin, clones, tell) against a model of the position; then as
// a table file through a "RAM:" file URL; then as a 16-bit file name and
// MIME string for the extension table. Nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/streamtypes.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/romfs.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
EngineContext *ctx = nullptr;

// Aborts, naming the failed check's line.
void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "vfs_stream_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void setUp()
{
    require(TestHeap_open(&heap, 8 << 20, 0));
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

// Runs the script on a memory stream over the payload.
void runScript(const uint8_t *ops, size_t steps, const uint8_t *payload, size_t size)
{
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, payload, size, 0, 0x31, &h, &accepted) == Res_ok);
    uint64_t pos = 0; // the model's position
    std::vector<uint8_t> buf(5000);
    for (size_t i = 0; i < steps; i++) {
        uint8_t op = ops[2 * i] % 5, arg = ops[2 * i + 1];
        switch (op) {
        case 0: { // copy-out read
            size_t n = size_t(arg) * 37 % 5000, got = 0;
            int r = Vfs_readBytes(h, buf.data(), n, &got);
            size_t want = n < 4096 ? n : 4096;
            size_t left = pos < size ? size_t(size - pos) : 0;
            size_t expect = want < left ? want : left;
            require(got == expect);
            require(r == (expect < want ? Res_vfsShortRead : Res_ok));
            require(got == 0 || memcmp(buf.data(), payload + pos, got) == 0);
            pos += got;
            break;
        }
        case 1: { // seek by origin
            int whence = arg % 3;
            int64_t offset = (int64_t(arg) - 128) * 13;
            uint64_t base = whence == 0 ? 0 : whence == 1 ? pos : size;
            uint64_t target = base + uint64_t(offset);
            uint64_t o = uint64_t(offset);
            int r = Vfs_seekFrom(h, int64_t(o), whence);
            if (target >> 32) {
                require(r == Res_fileSeek);
            } else {
                require(r == Res_ok);
                pos = target;
            }
            break;
        }
        case 2: { // lend and give back part
            const uint8_t *p = nullptr;
            size_t len = 0;
            require(Vfs_getReadBuf(h, arg, &p, &len) == Res_ok);
            size_t left = pos < size ? size_t(size - pos) : 0;
            require(len == left);
            require(len == 0 || p == payload + pos);
            require(Vfs_readDone(h, arg) == Res_ok);
            pos += arg < left ? arg : left;
            break;
        }
        case 3: { // a clone reads from the start on its own
            VfsHandle *c = nullptr;
            require(Vfs_clone(h, &c) == Res_ok);
            const uint8_t *p = nullptr;
            size_t len = 0;
            require(Vfs_getReadBuf(c, 1, &p, &len) == Res_ok);
            require(len == size);
            require(Vfs_readDone(c, len) == Res_ok);
            require(Vfs_close(c) == Res_ok);
            break;
        }
        default: {
            uint64_t at = 0;
            require(Vfs_tell(h, &at) == Res_ok);
            require(at == pos);
            break;
        }
        }
    }
    require(Vfs_close(h) == Res_ok);
}

uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The payload as a table file behind a memory-file URL.
void readAsTable(const uint8_t *payload, size_t size)
{
    Url *u = nullptr;
    require(AlienFile_ramUrl(ctx, payload, size, "tab", &u) == Res_ok);
    uint32_t values[64];
    uint32_t count = 0;
    int r = File_readIndexTable(ctx, u, &count, values, 64);
    if (size < 12) {
        require(r == Res_vfsShortRead);
    } else {
        uint32_t n = be32(payload + 8);
        if (n > 64)
            require(r == Res_vfsRequestTooLarge);
        else if (size < 12 + size_t(n) * 4)
            require(r == Res_vfsShortRead);
        else
            require(r == Res_ok && count == n);
        for (uint32_t i = 0; r == Res_ok && i < n; i++)
            require(values[i] == be32(payload + 12 + 4 * i));
    }
    if (r != Res_ok)
        require(count == 0);
    AlienFile_ramRelease(ctx, payload);
    Url_free(u);
}

void lookUpAsName(const uint8_t *payload, size_t size)
{
    std::vector<char16_t> name(size / 2 + 1, 0);
    for (size_t i = 0; i < size / 2; i++)
        name[i] = char16_t(payload[2 * i] | (payload[2 * i + 1] << 8));
    const char16_t *mime = nullptr;
    uint32_t id = Mime_typeFromFileName(name.data(), &mime);
    require(mime != nullptr && id >= 3 && id <= 36);
    require(Mime_typeFromString(mime, Ustr_len(mime)) == id);
    uint32_t flags = Mime_flagsForFileName(name.data());
    require(flags == 0x800 || flags == 0x400);
    id = Mime_typeFromString(name.data(), size / 2);
    const char16_t *back = nullptr;
    require(Mime_stringForType(id, &back) == Res_ok && back != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0;
    if (!ctx)
        setUp();
    size_t before = TestHeap_usedBytes();
    size_t steps = size ? data[0] & 15 : 0;
    size_t head = 1 + 2 * steps;
    if (size < head)
        return 0;
    // The payload in its own block, so that reads past it are caught.
    std::vector<uint8_t> payload(data + head, data + size);
    const uint8_t *p = payload.empty() ? nullptr : payload.data();
    runScript(data + 1, steps, p, payload.size());
    if (p)
        readAsTable(p, payload.size());
    lookUpAsName(p ? p : data, payload.size());
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
