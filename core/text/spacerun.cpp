// White-space collapsing of 16-bit text.
#include "core/text/spacerun.h"

namespace {

bool spaceRunIsSpace(char16_t c)
{
    return c < 33 || c == 0x3000;
}

} // namespace

uint32_t Ustr_collapseSpaceRuns(char16_t *destination, const char16_t *source, uint32_t n)
{
    uint32_t count = 0;
    bool lastSpace = false;
    for (uint32_t i = 0; i < n; i++) {
        char16_t c = source[i];
        bool space = spaceRunIsSpace(c);
        if (space && lastSpace)
            continue;
        if (destination)
            destination[count] = space ? u' ' : c;
        count++;
        lastSpace = space;
    }
    return count;
}
