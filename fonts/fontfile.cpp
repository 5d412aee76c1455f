// Font data utilities: reading code points from UTF-16 text.
#include "fonts/fontfile.h"

int Ustr_nextCodePoint(const char16_t **pos, uint32_t *codePoint, const char16_t *end)
{
    const char16_t *p = *pos;
    if (end && p >= end)
        return 1;
    uint32_t first = *p++;
    if (first >= 0xD800 && first <= 0xDBFF) {
        if (end && p >= end)
            return 1; // the pair is cut by the end: nothing is consumed
        uint32_t second = *p;
        if (second >= 0xDC00 && second <= 0xDFFF) {
            p++;
            *codePoint = 0x10000 + (((first & 0x3FF) << 10) | (second & 0x3FF));
        } else {
            *codePoint = 0xFFFD;
        }
    } else if (first >= 0xDC00 && first <= 0xDFFF) {
        *codePoint = 0xFFFD;
    } else {
        *codePoint = first;
    }
    *pos = p;
    return 0;
}
