// Fuzz target for the Word font table parser: the first byte picks the
// file version (bit 0: Word 6/95, else Word 97), the rest is the table.
// A failure leaves no entries; a success gives NUL-terminated names; and
// nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "word/reader/wordfonts.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"
#include "word/reader/word.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    (void)FuzzHeap_get(64 << 20);
    size_t baseline = TestHeap_usedBytes();
    WordReader *r = nullptr;
    require(Word_readerNew(&r) == Res_ok);
    r->fib.wIdent = uint16_t(data[0] & 1 ? Word_identWord6 : Word_identWord97);
    int err = Word_parseFontTable(data + 1, size - 1, r);
    if (err != Res_ok) {
        require(r->fonts == nullptr && r->fontCount == 0);
    } else {
        for (uint32_t i = 0; i < r->fontCount; i++) {
            require(r->fonts[i].name != nullptr);
            size_t n = 0;
            while (r->fonts[i].name[n])
                n++;
            require(n > 0 && n <= 170);
        }
    }
    Word_readerFree(r);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
