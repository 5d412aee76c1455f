// Fuzz target for the Type 1 charstring interpreter. Byte 0 gives lenIV
// (bit 7: none, else 0-7) and the number of Subrs (bits 4-6); bytes 1-2
// the length of each Subrs entry; the rest is the charstring, preceded by
// the Subrs data. The interpreter ends with a known result and the outline
// it wrote reads back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/programs/type1.h"
#include "graphics/glyphpath.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "type1_glyph_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    (void)FuzzHeap_get(8 << 20);
    size_t baseline = TestHeap_usedBytes();
    int32_t lenIV = (data[0] & 0x80) ? -1 : (data[0] & 7);
    uint32_t count = (data[0] >> 4) & 7;
    uint32_t each = static_cast<uint32_t>(data[1] | data[2] << 8) % 512;
    const uint8_t *p = data + 3;
    size_t left = size - 3;
    Type1Subr subrs[8] = {};
    for (uint32_t i = 0; i < count; i++) {
        uint32_t n = left < each ? static_cast<uint32_t>(left) : each;
        subrs[i] = {const_cast<uint8_t *>(p), n};
        p += n;
        left -= n;
    }
    GlyphPath *o = nullptr;
    require(GlyphPath_create(&o, GlyphPath_kindCodes) == Res_ok);
    int32_t sb = 0, adv = 0;
    int r = Type1_buildGlyph(o, subrs, count, p, static_cast<uint32_t>(left), &sb, &adv, lenIV);
    require(r == Res_ok || r == Res_noMemory ||
            (r >= Type1_tooFewArguments && r <= Type1_subrsTooDeep));
    if (r == Res_ok) {
        require(GlyphPath_finish(o) == Res_ok);
        GlyphPathMeasure m;
        GlyphPath_count(o, &m);
    }
    GlyphPath_destroy(o);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
