// Spreadsheet error values: the seven-row table of error texts and codes.
#include "spreadsheet/errortext.h"

#include "core/text/cstr.h"

namespace {

struct ErrorRow {
    char text[8];
    uint8_t code;
};

// Row 0 is also the answer for anything the other rows do not hold.
constexpr ErrorRow errorRows[7] = {
    {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
    {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A},
};

} // namespace

const char *Excel_errorText(uint32_t code)
{
    for (int row = 6; row >= 1; row--) {
        if (errorRows[row].code == code)
            return errorRows[row].text;
    }
    return errorRows[0].text;
}

uint8_t Excel_errorCode(const char *text)
{
    if (!text)
        return errorRows[0].code;
    for (int row = 6; row >= 1; row--) {
        if (Cstr_cmp(errorRows[row].text, text) == 0)
            return errorRows[row].code;
    }
    return errorRows[0].code;
}
