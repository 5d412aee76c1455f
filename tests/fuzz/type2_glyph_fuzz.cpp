// Fuzz target for the Type 2 charstring interpreter with random Subrs.
// Byte 0: local Subrs count (bits 0-2) and global count (bits 3-5);
// byte 1: the length of each Subrs entry; the Subrs data follow, then
// the charstring. The interpreter ends with a known result; nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/programs/cff.h"
#include "graphics/glyphpath.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "type2_glyph_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    (void)FuzzHeap_get(8 << 20);
    size_t baseline = TestHeap_usedBytes();
    uint32_t local = data[0] & 7, global = (data[0] >> 3) & 7, each = data[1];
    const uint8_t *p = data + 2;
    size_t left = size - 2;
    FontFileEntry subrs[16] = {};
    for (uint32_t i = 0; i < local + global; i++) {
        uint32_t n = left < each ? static_cast<uint32_t>(left) : each;
        subrs[i] = {const_cast<uint8_t *>(p), n};
        p += n;
        left -= n;
    }
    Type2Context ctx{};
    ctx.defaultWidthX = 500;
    ctx.nominalWidthX = 100;
    ctx.matrix[0] = ctx.matrix[3] = 1.0f;
    ctx.localSubrs = subrs;
    ctx.localCount = local;
    ctx.globalSubrs = subrs + local;
    ctx.globalCount = global;
    GlyphPath *o = nullptr;
    require(GlyphPath_create(&o, GlyphPath_kindCodes) == Res_ok);
    int32_t sb = 0, adv = 0;
    int r = Type2_buildGlyph(nullptr, o, p, static_cast<uint32_t>(left), &ctx, &sb, &adv);
    require(r == Res_ok || r == Res_noMemory ||
            (r >= Type2_tooFewArguments && r <= Type2_badCharstring));
    if (r == Res_ok)
        require(GlyphPath_finish(o) == Res_ok);
    GlyphPath_destroy(o);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
