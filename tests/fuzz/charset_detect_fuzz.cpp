// Fuzz target for character-set detection. Input: a default-code byte, a
// chunk-size byte, a byte whose bits choose the installed tables, then the
// bytes to examine, fed in chunks. The guess must be a valid code (or the
// default), the same guess must come from feeding the bytes byte by byte
// unless the UTF-16 probe (judged per buffer) decided, and nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "core/text/charset_detect.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

uint32_t guess(EngineContext *ctx, const uint8_t *data, size_t size, size_t chunk, uint32_t def)
{
    CharsetDetector *d = nullptr;
    require(Charset_detectorNew(ctx, &d) == 0);
    for (size_t i = 0; i < size; i += chunk)
        Charset_detectorFeed(d, data + i, size - i < chunk ? size - i : chunk);
    uint32_t code = Charset_detectorGuess(d, def);
    Charset_detectorFree(d);
    return code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    uint32_t def = data[0] % 37;
    size_t chunk = 1 + data[1] % 64;
    uint32_t tables = data[2];
    data += 3;
    size -= 3;

    (void)FuzzHeap_get(1 << 20);
    size_t baseline = TestHeap_usedBytes();
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx && Charset_createHooks(ctx) == 0);
    CharsetHooks *h = ctx->charsetHooks;
    require(!(tables & 1) || Charset_installJapanese(h) == 0);
    require(!(tables & 2) || Charset_installBig5(h) == 0);
    require(!(tables & 4) || Charset_installKorean(h) == 0);
    require(!(tables & 8) || Charset_installChinese(h) == 0);

    uint32_t code = guess(ctx, data, size, chunk, def);
    require(code == def || code < 36);
    require(code == def || Charset_isAvailable(ctx, code));
    if (code != CharsetCode_utf16le && code != CharsetCode_utf16be && size > 0) {
        uint32_t bytewise = guess(ctx, data, size, 1, def);
        require(bytewise == code || bytewise == CharsetCode_utf16le ||
                bytewise == CharsetCode_utf16be || code == def);
    }

    Charset_destroyHooks(ctx);
    Mem_free(ctx);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
