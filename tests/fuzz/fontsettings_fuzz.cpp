// Fuzz target for a font's private settings table: the input is the
// table. The two settings are either their defaults or values read from
// the table (0 - 65535), and nothing is read past the table's end (the
// input is copied into a block of its own size).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fonts/fontdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> table(data, data + size);
    int32_t s[2] = {-1, -1};
    Font_readSettingsTable(table.empty() ? nullptr : table.data(), table.size(), s);
    for (int32_t v : s)
        if (v < 0 || v > 65535)
            abort();
    return 0;
}
