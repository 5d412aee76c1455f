// Fuzz target for the CMap readers. Byte 0 chooses the reader (low 2
// bits: 0 text CMap, 1 to-Unicode CMap, 2 binary CMap, 3 binary to-Unicode
// table); byte 1 is the length of a string to decode at the end of the
// input, the rest is the file. A CMap that loads decodes the string in
// both modes: the result holds at most one unit per byte and no 0. A
// failed load leaves no record; nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/fontengine.h"
#include "fonts/pdfcmap.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "cmap_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void decode(CMap *c, const uint8_t *text, size_t n, EngineContext *ctx)
{
    for (uint32_t mode = 0; mode < 2; mode++) {
        char16_t *out = nullptr;
        require(CMap_decodeString(ctx, c, mode, text, n, &out) == Res_ok);
        size_t units = 0;
        while (out[units])
            units++;
        require(units <= n);
        Mem_free(out);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    uint32_t reader = data[0] & 3;
    size_t textLength = data[1] < size - 2 ? data[1] : size - 2;
    const uint8_t *file = data + 2;
    size_t fileSize = size - 2 - textLength;
    const uint8_t *text = file + fileSize;

    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();
    require(FontEngine_create(ctx) == Res_ok);

    ByteStream *s = nullptr;
    require(Pdf_Stream_openMemory(file, fileSize, &s) == Res_ok);
    CMap *c = reinterpret_cast<CMap *>(1);
    uint16_t *table = reinterpret_cast<uint16_t *>(1);
    int r = 0;
    CMapSysInfo info{"Adobe", "Japan1", 0};
    if (reader == 0 || reader == 2) {
        r = reader == 0 ? CMap_parseTextStream(ctx, &info, s, &c)
                        : CMap_readBinary(ctx, &info, s, 0, &c);
        require((r == Res_ok) == (c != nullptr));
        if (c) {
            for (uint32_t i = 1; i < c->rangeCount; i++)
                require(__builtin_memcmp(c->ranges[i - 1].low, c->ranges[i].low, 6) <= 0);
            decode(c, text, textLength, ctx);
            CMap_free(c);
        }
    } else {
        r = reader == 1 ? CMap_parseToUnicodeStream(s, &table) : CMap_readBinaryUnicode(s, &table);
        require((r == Res_ok) == (table != nullptr));
        if (table) {
            CMap *id = nullptr;
            require(CMap_load(ctx, nullptr, "Identity-H", nullptr, &id) == Res_ok);
            id->toUnicode = table;
            decode(id, text, textLength, ctx);
            CMap_free(id);
        }
    }
    (void)ByteStream_close(s);
    FontEngine_destroy(ctx);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
