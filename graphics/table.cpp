// Binary search with a power-of-two probe: the step halves every round,
// so the search never computes a midpoint and needs no bounds of its own.
#include "graphics/table.h"

#include <cstring>

#include "core/text/number.h"

namespace {

uint32_t keyAt(const void *table, size_t strideBytes, uint32_t index)
{
    uint32_t key;
    memcpy(&key, static_cast<const uint8_t *>(table) + size_t(index) * strideBytes, sizeof key);
    return key;
}

} // namespace

int32_t Table_find(const void *table, uint32_t count, size_t strideBytes, uint32_t key)
{
    if (!table || count == 0)
        return -1;
    uint32_t n = Math_floorPow2(count);
    uint32_t probe = n - 1;
    if (key > keyAt(table, strideBytes, probe))
        probe = count - n;
    for (;;) {
        uint32_t k = keyAt(table, strideBytes, probe);
        if (k == key)
            return int32_t(probe);
        n >>= 1;
        if (n == 0)
            return -1;
        // A table out of order could send the probe outside; it then
        // answers "not found" instead of reading past either end.
        if (key < k) {
            if (probe < n)
                return -1;
            probe -= n;
        } else {
            if (probe + n >= count)
                return -1;
            probe += n;
        }
    }
}
