// Fuzz target for the compound-file probe and the reader behind it: the
// input is a file opened as a compound file from a memory stream. When it
// opens, the "WordDocument" stream (if any) is read at a few offsets. A
// failure must come back as a code with the handle cleared, and nothing
// may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/mem/mem.h"
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(8 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, data, size, 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) ==
            0);
    OleHandle *ole = nullptr;
    int r = Ole_openStream(h, &ole);
    require((r == 0) == (ole != nullptr));
    if (ole) {
        uint8_t buf[64];
        (void)Ole_readAt(ole, buf, 0, sizeof buf);
        OleStream *s = nullptr;
        if (Ole_streamOpenByName(ole, &s, 0, u"WordDocument") == 0) {
            size_t got = 0;
            for (uint64_t at : {uint64_t(0), uint64_t(100), uint64_t(4095), Ole_streamSize(s)}) {
                (void)Ole_streamReadAt(s, at, sizeof buf, &got, buf);
                require(got <= sizeof buf);
            }
        }
        Ole_close(&ole);
        require(ole == nullptr);
    }
    (void)Vfs_close(h); // a fuzz run only looks for crashes
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
