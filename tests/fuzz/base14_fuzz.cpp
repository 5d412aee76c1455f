// Fuzz target for the base-14 metrics file ("psbase14.bfm"). The input is
// the file, served as a built-in file of a fonts directory. Every font
// must open with sound tables or fail with an error and no slot; widths
// and kerning of the opened fonts are asked for a spread of codes; nothing
// may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/base14.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/romfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/stream_types.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "base14_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

const char *const names[] = {
    "Courier",          "Helvetica",    "Helvetica-Bold",       "Helvetica-Oblique",
    "Symbol",           "Times-Roman",  "Times-Bold",           "Times-Italic",
    "Times-BoldItalic", "ZapfDingbats", "Helvetica-BoldOblique"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(8 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    require(AlienFile_initLayer(ctx) == Res_ok);
    require(TestSupport_registerStreamTypes(ctx));
    require(RomFs_createTable(ctx) == Res_ok);
    RomFs_addFile(ctx, "/okala_dir/Fuzz/psbase14.bfm", data, uint32_t(size));
    size_t baseline = TestHeap_usedBytes();

    Url *dir = Url_newFromCstr("file://root/okala_dir/Fuzz/");
    require(dir != nullptr);
    Base14Metrics *m = nullptr;
    require(Base14_create(ctx, &m, dir) == Res_ok);
    Url_free(dir);
    for (const char *name : names) {
        Base14Slot *slot = nullptr;
        int r = Base14_open(ctx, m, name, &slot);
        require(r == Res_ok ? slot != nullptr : slot == nullptr);
        if (!slot || !slot->metrics)
            continue;
        uint16_t codes[64], first[64], advances[64];
        uint8_t tags[64];
        for (uint32_t base = 0; base < 0x2800; base += 64 * 7) {
            for (uint32_t i = 0; i < 64; i++) {
                codes[i] = uint16_t(base + i * 7);
                tags[i] = uint8_t(i % 5 == 4 ? 1 : 0);
            }
            require(slot->metrics(slot, codes, 64, 0, tags, first, advances) == Res_ok);
            if (slot->kerning)
                require(slot->kerning(slot, codes, 64, 0, tags, advances) == Res_ok);
        }
    }
    Base14_free(m);

    require(TestHeap_usedBytes() == baseline);
    RomFs_freeTable(ctx);
    AlienFile_finiLayer(ctx);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
