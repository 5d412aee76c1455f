// Fuzz target for the engine heap: the input is a script of heap operations
// (malloc, calloc, realloc, free) on 64 slots. Every live block carries a
// fill pattern that must survive; after every step the heap's invariants
// are checked, and at the end every byte must be back in the free trees.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/support/test_engine.h"

namespace {

struct Slot {
    uint8_t *p;
    size_t n;
    uint8_t fill;
};

void require(bool ok)
{
    if (!ok)
        abort();
}

void checkFill(const Slot &s)
{
    for (size_t i = 0; i < s.n; i++)
        require(s.p[i] == uint8_t(s.fill + i));
}

void setFill(Slot &s, size_t from)
{
    for (size_t i = from; i < s.n; i++)
        s.p[i] = uint8_t(s.fill + i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap heap;
    if (!TestHeap_open(&heap, 1 << 20, data && size && (data[0] & 0x80) ? 1 : 0))
        return 0;
    Slot slots[64] = {};
    size_t at = size ? 1 : 0;
    while (at + 3 <= size) {
        uint8_t op = data[at] & 3;
        Slot &s = slots[data[at] >> 2];
        size_t n = size_t(data[at + 1]) | size_t(data[at + 2]) << 8;
        if (data[at + 1] & 0x80)
            n <<= 4; // sometimes large requests
        at += 3;
        if (op == 0 || op == 1) {
            if (s.p)
                continue;
            s.p = static_cast<uint8_t *>(op == 0 ? Mem_malloc(n) : Mem_calloc(n, 1));
            s.n = s.p ? n : 0;
            s.fill = uint8_t(n * 7 + at);
            if (s.p && op == 1)
                for (size_t i = 0; i < n; i++)
                    require(s.p[i] == 0);
            if (s.p)
                setFill(s, 0);
            Mem_takeOutOfMemory();
        } else if (op == 2) {
            if (s.p)
                checkFill(s);
            uint8_t *q = static_cast<uint8_t *>(Mem_realloc(s.p, n));
            if (q || n == 0) {
                size_t old = s.p ? s.n : 0;
                s.p = q;
                s.n = q ? n : 0;
                if (s.p) {
                    for (size_t i = 0; i < (old < n ? old : n); i++)
                        require(s.p[i] == uint8_t(s.fill + i));
                    setFill(s, old < n ? old : n);
                }
            }
            Mem_takeOutOfMemory();
        } else {
            if (s.p)
                checkFill(s);
            Mem_free(s.p);
            s = Slot{};
        }
        require(Mem_check() == 0);
    }
    for (Slot &s : slots) {
        if (s.p)
            checkFill(s);
        Mem_free(s.p);
    }
    require(Mem_check() == 0);
    require(TestHeap_usedBytes() == 0);
    TestHeap_close(&heap);
    return 0;
}
