// Fuzz target for the TrueType collection header. The input is the start
// of a collection file; the offsets read must be the file's own words and
// never more than the cap.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/result.h"
#include "fonts/fontmap.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "fontcollection_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint32_t offsets[FontCollection_maxFaces], count = 12345;
    int rc = FontCollection_readHeader(data, size, offsets, &count);
    if (rc != Res_ok) {
        require(rc == Res_fontUnsupported || rc == Res_fontFileUnreadable);
        require(count == 0);
        return 0;
    }
    require(count >= 1 && count <= FontCollection_maxFaces);
    require(12 + 4 * size_t(count) <= size);
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *p = data + 12 + 4 * i;
        require(offsets[i] ==
                (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]));
    }
    return 0;
}
