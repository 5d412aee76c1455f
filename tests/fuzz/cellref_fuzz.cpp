// Fuzz target for A1 cell references: the input bytes are typed as a
// reference to go to. A reference that parses must name a row and column
// that print back to the same reference (upper-cased, without leading
// zeros), and printing any pair must fit its buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "spreadsheet/edit/celledit.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back(0);
    int32_t row = -7, column = -7;
    int rc = Excel_CellEdit_parseRef(text.data(), &row, &column);
    require(rc == 0 || rc == 25);
    if (rc == 0) {
        require(row >= -1 && row < 99999 && column >= 0 && column < 702);
        if (row >= 0) {
            char back[24];
            size_t n = Excel_CellEdit_refText(uint32_t(row), uint32_t(column), back, sizeof back);
            require(n == strlen(back));
            // Compare against the input upper-cased with leading zeros dropped.
            std::vector<char> want;
            const char *p = text.data();
            for (; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); p++)
                want.push_back(char(*p & ~0x20));
            while (*p == '0' && p[1])
                p++;
            for (; *p; p++)
                want.push_back(*p);
            want.push_back(0);
            require(strcmp(back, want.data()) == 0);
        }
    } else {
        require(row == 0 && column == 0);
    }
    uint32_t r = 0, c = 0;
    if (size)
        memcpy(&r, data, size < 4 ? size : 4);
    if (size > 4)
        memcpy(&c, data + 4, size - 4 < 4 ? size - 4 : 4);
    char out[24];
    require(Excel_CellEdit_refText(r, c, out, sizeof out) < sizeof out);
    return 0;
}
