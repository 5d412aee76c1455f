// Fuzz target for the 'name' table reader. The input is the table; the
// names read must form a list of at most 255 characters without empty
// aliases, the style must keep to its bits, and nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontmap.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "fontnames_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)FuzzHeap_get(1 << 20);
    size_t baseline = TestHeap_usedBytes();
    char *names = nullptr;
    uint32_t style = 0;
    require(FontNames_read(data, size, &names, &style) == Res_ok);
    require(names != nullptr);
    size_t n = strlen(names);
    require(n <= FontNames_maxLength);
    require(!n || (names[0] != ':' && names[n - 1] != ':' && !strstr(names, "::")));
    require((style & ~0x30Fu) == 0);
    uint32_t weight = style & 15;
    require(weight == 1 || weight == 3 || weight == 6);
    Mem_free(names);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
