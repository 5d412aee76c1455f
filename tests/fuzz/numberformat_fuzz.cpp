// Fuzz target for the rules that read a cell's number-format code (codes
// come from the cells of opened files): finding its menu key, turning the
// key back into a code, and the menu text of a code. A code found in the
// catalogue must come back from its key, and the menu text is never longer
// than the code.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/dialogs/numberformats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view code(reinterpret_cast<const char *>(data), size);
    const NumberFormatLocale locale{"%d/%m/%Y", "%d/%m/%Y %H:%M"};
    const uint32_t key = NumberFormat_findKey(code, &locale);
    std::string back;
    if (key != Format_custom) {
        if (!NumberFormat_findCode(key, &locale, &back) ||
            NumberFormat_findKey(back, &locale) != key)
            abort();
    } else if (NumberFormat_findCode(key, &locale, &back)) {
        abort(); // Custom has no table entry
    }
    if (NumberFormat_display(code).size() > code.size())
        abort();
    for (int byte = 0; byte < 4; byte++)
        (void)NumberFormat_countEntries(key, byte);
    return 0;
}
