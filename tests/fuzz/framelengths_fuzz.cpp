// Fuzz target for the rows and cols lists of HTML frame sets. Input: four
// bytes of total size (little-endian), then the list, one byte a unit. The
// split must hand out one entry per comma plus one (count 0 for a single
// entry, which gets the whole size), every kind must be one of the three,
// and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "layout/frameset.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

TestHeap heap;
bool heapOpen;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4 || size > 4096)
        return 0;
    if (!heapOpen) {
        require(TestHeap_open(&heap, 4 << 20, 0));
        heapOpen = true;
    }
    size_t before = TestHeap_usedBytes();
    int32_t total = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                            uint32_t(data[3]) << 24);
    std::vector<char16_t> text(data + 4, data + size);
    size_t commas = 0;
    for (char16_t c : text)
        commas += c == u',';
    FrameLength *entries = nullptr;
    uint32_t count = 0;
    require(FrameSet_splitLengths(text.data(), text.size(), total, &entries, &count) == 0);
    require(entries != nullptr);
    if (commas == 0) {
        require(count == 0 && entries[0].value == total);
    } else {
        require(count == commas + 1);
        for (uint32_t i = 0; i < count; i++)
            require(entries[i].kind <= FrameLength_relative);
    }
    Mem_free(entries);
    require(TestHeap_usedBytes() == before);
    return 0;
}
