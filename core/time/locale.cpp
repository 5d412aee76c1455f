// Locales: the locale table, the number-format table and the yen filter.
//
// Both tables are constant; the tag comparison ignores ASCII case because
// hosts hand over language codes in either case ("EN-GB").
#include "core/time/locale.h"

#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/time/localeset.h"

namespace {

// Number formats by class.
const NumberFormatRow numberFormats[Locale_numberFormatCount] = {
    {".", ",", {3}},                        // 0
    {".", ",", {4}},                        // 1
    {",", " ", {3}},                        // 2
    {",", ".", {3}},                        // 3
    {".", ",", {3, 2, 2, Locale_groupEnd}}, // 4: Indian lakh and crore
    {",", "", {}},                          // 5
    {".", "", {}},                          // 6
};

constexpr uint32_t latin = CharsetCode_win1252;
constexpr uint32_t hebrew = CharsetCode_win1250 + 5; // windows-1255
constexpr uint32_t arabic = CharsetCode_win1250 + 6; // windows-1256

const LocaleEntry locales[Locale_count] = {
    {"en-gb", latin, 0},
    {"ar-ar", arabic, 2},
    {"bn-in", latin, 4},
    {"cs-cz", latin, 2},
    {"da-dk", latin, 3},
    {"de-de", latin, 5},
    {"el-gr", latin, 2},
    {"en-us", latin, 0},
    {"es-co", latin, 5},
    {"es-do", latin, 5},
    {"es-es", latin, 5},
    {"fi-fi", latin, 3},
    {"fr-ca", latin, 2},
    {"fr-fr", latin, 5},
    {"gu-in", latin, 4},
    {"he-il", hebrew, 0},
    {"hi-in", latin, 4},
    {"hr-hr", latin, 6},
    {"hu-hu", latin, 5},
    {"it-it", latin, 5},
    {"ja-jp", CharsetCode_shiftJis, 1},
    {"kn-in", latin, 4},
    {"ko-kr", CharsetCode_korean, 0},
    {"ml-in", latin, 4},
    {"mr-in", latin, 4},
    {"nl-nl", latin, 5},
    {"no-no", latin, 3},
    {"or-in", latin, 4},
    {"pa-in", latin, 4},
    {"pl-pl", latin, 5},
    {"pt-br", latin, 5},
    {"pt-pt", latin, 5},
    {"ro-ro", latin, 5},
    {"ru-ru", latin, 3},
    {"sk-sk", latin, 2},
    {"sv-se", latin, 2},
    {"sv-sv", latin, 3},
    {"ta-in", latin, 4},
    {"te-in", latin, 4},
    {"th-th", CharsetCode_win874, 0},
    {"tr-tr", latin, 5},
    {"uk-ua", latin, 2},
    {"uk-uk", latin, 2},
    {"vi-vn", CharsetCode_win1258, 2},
    {"zh-cn", CharsetCode_gbk, 1},
    {"zh-tw", CharsetCode_big5, 1},
};

constexpr int32_t tagLength = 5;
constexpr char16_t backslash = 0x5C;
constexpr char16_t yenSign = 0xA5;

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isValidIndex(int32_t index)
{
    return uint32_t(index) < uint32_t(Locale_count);
}

} // namespace

int32_t Locale_find(const char *tag)
{
    if (!tag)
        return -1;
    int32_t length = 0;
    while (length <= tagLength && tag[length])
        length++;
    if (length != tagLength)
        return -1;
    for (int32_t i = 0; i < Locale_count; i++) {
        int32_t k = 0;
        while (k < tagLength && foldAscii(tag[k]) == locales[i].tag[k])
            k++;
        if (k == tagLength)
            return i;
    }
    return -1;
}

const LocaleEntry *Locale_entry(int32_t index)
{
    return isValidIndex(index) ? &locales[index] : nullptr;
}

uint32_t Locale_charset(int32_t index)
{
    return isValidIndex(index) ? locales[index].charset : latin;
}

int32_t Locale_findByCharset(uint32_t code)
{
    for (int32_t i = 0; i < Locale_count; i++)
        if (locales[i].charset == code)
            return i;
    return -1;
}

const NumberFormatRow *Locale_numberFormat(int32_t index)
{
    return &numberFormats[locales[isValidIndex(index) ? index : 0].numberFormat];
}

int Locale_yenApplies(const CharFilter *, const char16_t *, int32_t)
{
    return 1;
}

int32_t Locale_yenMap(const char16_t *src, char16_t *dst, int32_t n)
{
    if (n <= 0)
        return 0;
    for (int32_t i = 0; i < n; i++)
        dst[i] = src[i] == backslash ? yenSign : src[i];
    return n;
}
