// Fuzz target for the compound-file reader: the input is opened as a
// compound file from a memory stream, once seekable and once forward-only;
// when it opens, every entry is looked up by id and by name, and every
// stream is read to its end, in pieces and at a few offsets. A failure must
// come back as a code with the handle cleared, and nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void readAll(OleHandle *ole)
{
    uint8_t buf[700];
    for (OleDirEntry *e = ole->entries; e; e = e->next) {
        uint32_t id = 0;
        require(Ole_entryFindByName(ole, e->parentId, &id, e->name) == Res_ok);
        OleStream *s = nullptr;
        if (Ole_streamOpenById(ole, e->id, &s) != Res_ok)
            continue;
        size_t got = 0;
        uint64_t total = 0;
        int r;
        while ((r = Ole_streamRead(s, sizeof buf, &got, buf)) == Res_ok && got)
            total += got;
        total += got;
        require(total <= Ole_streamSize(s));
        require(r != Res_ok || total == Ole_streamSize(s));
        (void)Ole_streamReadAt(s, Ole_streamSize(s) / 2, 3, &got, buf);
        uint32_t count = 0;
        (void)Ole_streamSeek(s, 0, 0);
        (void)Ole_streamReadCstr(s, reinterpret_cast<char *>(buf), sizeof buf, &count);
        require(count <= sizeof buf);
        require(Ole_streamClose(&s) == Res_ok && s == nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(16 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    for (int seekable = 1; seekable >= 0; seekable--) {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        require(Vfs_openMemory(ctx, data, size, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                               &accepted) == 0);
        if (!seekable)
            h->mode &= ~uint32_t(Vfs_modeSeekable);
        OleHandle *ole = nullptr;
        int r = Ole_openStream(h, &ole);
        require((r == 0) == (ole != nullptr));
        if (ole) {
            readAll(ole);
            Ole_close(&ole);
            require(ole == nullptr);
        }
        (void)Vfs_close(h); // a fuzz run only looks for crashes
        require(TestHeap_usedBytes() == baseline);
    }
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
