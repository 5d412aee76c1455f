// List numbering text.
#include "layout/listnum.h"

#include <algorithm>

#include "core/style/propids.h"

namespace {

constexpr char romanLetters[] = "iiiviiixxxlxxxcccdcccmmm";
constexpr uint8_t romanStart[10] = {0, 0, 0, 0, 2, 3, 3, 3, 3, 6};
constexpr uint8_t romanLength[10] = {0, 1, 2, 3, 2, 1, 2, 3, 4, 2};

constexpr char16_t cjkDigits[10] = {u'0',      u'\u4E00', u'\u4E8C', u'\u4E09', u'\u56DB',
                                    u'\u4E94', u'\u516D', u'\u4E03', u'\u516B', u'\u4E5D'};
constexpr char16_t cjkUnits[10] = {0,         u'\u5341', u'\u767E', u'\u5343', u'\u4E07',
                                   u'\u5104', u'\u5146', u'\u4EAC', u'\u5793', 0};

void put(char16_t *buffer, uint32_t &n, char16_t c)
{
    if (buffer)
        buffer[n] = c;
    n++;
}

void upperCase(char16_t *buffer, uint32_t n)
{
    if (!buffer)
        return;
    for (uint32_t i = 0; i < n; i++)
        if (buffer[i] >= u'a' && buffer[i] <= u'z')
            buffer[i] = char16_t(buffer[i] - 32);
}

} // namespace

uint32_t ListNum_decimal(int32_t number, char16_t *buffer)
{
    uint32_t n = 0;
    int64_t value = number;
    if (value < 0) {
        put(buffer, n, u'-');
        value = -value;
    }
    int64_t power = 1;
    while (power * 10 <= value)
        power *= 10;
    for (; power > 0; power /= 10)
        put(buffer, n, char16_t(u'0' + (value / power) % 10));
    return n;
}

uint32_t ListNum_letters(int32_t number, char16_t *buffer)
{
    if (number <= 0)
        return ListNum_decimal(number, buffer);
    int32_t q = (number - 1) / 26, r = (number - 1) % 26;
    uint32_t count = uint16_t(q + 1);
    if (buffer)
        std::fill(buffer, buffer + count, char16_t(u'a' + r));
    return count;
}

uint32_t ListNum_roman(int32_t number, char16_t *buffer)
{
    if (number < 0 || number >= 5000)
        return ListNum_decimal(number, buffer);
    uint32_t n = 0;
    if (number > 3999) {
        put(buffer, n, u'm');
        number -= 1000;
    }
    int32_t place = 1000;
    for (int group = 3; group >= 0; group--, place /= 10) {
        int d = (number / place) % 10;
        int start = group * 7 + romanStart[d];
        for (int k = 0; k < romanLength[d]; k++)
            put(buffer, n, char16_t(romanLetters[start + k]));
    }
    return n;
}

uint32_t ListNum_cjk(int32_t number, char16_t *buffer)
{
    if (number < 0)
        return 0;
    uint32_t n = 0;
    if (number == 0) {
        put(buffer, n, cjkDigits[0]);
        return n;
    }
    int32_t rest = number;
    int p = 0;
    while (rest > 0) {
        int d = rest % 10;
        rest /= 10;
        if (d != 0) {
            if (p % 4 == 0 && p >= 4)
                put(buffer, n, cjkUnits[std::min(p / 4 + 3, 8)]);
            if (p % 4 != 0)
                put(buffer, n, cjkUnits[p % 4]);
            // A 1 before ten, hundred or thousand is left out, except at a
            // thousand place of 10^7 and up with nothing (of the next group) above it.
            bool keepOne = p % 4 == 3 && p >= 7 && rest % 10000 == 0;
            if (d != 1 || p % 4 == 0 || keepOne)
                put(buffer, n, cjkDigits[d]);
        }
        p = p >= 35 ? 0 : p + 1;
    }
    if (buffer)
        std::reverse(buffer, buffer + n);
    return n;
}

uint32_t ListNum_format(int32_t number, uint32_t keyword, char16_t *buffer)
{
    uint32_t n;
    switch (keyword) {
    case KwId_lowerAlpha:
    case KwId_lowerLatin: return ListNum_letters(number, buffer);
    case KwId_upperAlpha:
    case KwId_upperLatin:
        n = ListNum_letters(number, buffer);
        upperCase(buffer, n);
        return n;
    case KwId_lowerRoman: return ListNum_roman(number, buffer);
    case KwId_upperRoman:
        n = ListNum_roman(number, buffer);
        upperCase(buffer, n);
        return n;
    case KwId_cjkIdeographic: return ListNum_cjk(number, buffer);
    case KwId_decimalLeadingZero:
        n = 0;
        if (number >= 0 && number < 10)
            put(buffer, n, u'0');
        return n + ListNum_decimal(number, buffer ? buffer + n : nullptr);
    default: return ListNum_decimal(number, buffer);
    }
}
