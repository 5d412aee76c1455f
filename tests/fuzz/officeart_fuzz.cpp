// Fuzz target for the OfficeArt record reader. Input: OfficeArt records
// from memory, as a drawing group container followed by drawing
// containers. The drawing group is opened, every blip of its store is
// loaded (without decoding), each drawing container after it is read and
// every shape's properties are looked up through its master; the input is
// also parsed whole as one property table. No read may pass the input,
// no walk may hang, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "office/officeart/escher.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void lookups(const EscherShape *s, const EscherDrawingGroup *g)
{
    for (uint32_t id : {4u, 260u, 325u, 326u, 385u, 447u, 459u, 511u, 769u})
        (void)Escher_propFindInherited(id, s->props, g);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    TestHeap &heap = FuzzHeap_get(16 << 20);
    size_t before = TestHeap_usedBytes();
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    // An exact copy, so that the sanitizer sees any overrun.
    std::vector<uint8_t> bytes(data, data + size);

    EscherPropSet *set = Escher_propParse(bytes.data(), uint32_t(size), uint32_t(size / 6));
    Escher_propFree(set);

    EscherDrawing *d = nullptr;
    if (Escher_openDrawingMemory(ctx, bytes.data(), uint32_t(size), &d, nullptr, nullptr, nullptr,
                                 nullptr) == Res_ok) {
        for (uint32_t i = 0; i < d->blipCount; i++) {
            int err = Escher_blipLoad(d, &d->blips[i], 0);
            require(err != Res_ok || d->blips[i].data || d->blips[i].blipType == 0 ||
                    d->blips[i].size == 0);
            Escher_blipRelease(d, i);
        }
        for (int n = 0; n < 16 && EscherSource_tell(&d->main) < size; n++) {
            EscherDrawingGroup *g = nullptr;
            if (Escher_readDrawingGroup(d, &g) != Res_ok)
                break;
            // A container without an FDG gives no group.
            if (!g)
                continue;
            require(g->count <= g->capacity);
            lookups(&g->self, g);
            for (uint32_t i = 0; i < g->count; i++)
                lookups(&g->shapes[i], g);
            Escher_drawingGroupFreeBlips(d, g);
        }
        Escher_drawingStateFree(d);
    }

    heap.instance->context = nullptr;
    Mem_free(ctx);
    require(TestHeap_usedBytes() == before);
    return 0;
}
