// The flagged 31-bit setter and Word list-number texts.
#include "word/reader/listnum.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "layout/listnum.h"

void Bits_setLow31(uint32_t *word, uint32_t value)
{
    *word = (*word & 0x80000000u) | (value & 0x7FFFFFFFu);
}

uint32_t ListNum_wordFormatKeyword(uint32_t code)
{
    switch (code) {
    case WordNumFormat_upperRoman: return KwId_upperRoman;
    case WordNumFormat_lowerRoman: return KwId_lowerRoman;
    case WordNumFormat_upperAlpha: return KwId_upperAlpha;
    case WordNumFormat_lowerAlpha: return KwId_lowerAlpha;
    case WordNumFormat_cjkIdeographic: return KwId_cjkIdeographic;
    default: return KwId_decimal;
    }
}

int ListNum_wordFormatText(int32_t number, uint32_t code, char16_t **out)
{
    *out = nullptr;
    uint32_t keyword = ListNum_wordFormatKeyword(code);
    uint32_t length = ListNum_format(number, keyword, nullptr);
    char16_t *text = static_cast<char16_t *>(Mem_malloc((size_t(length) + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    ListNum_format(number, keyword, text);
    text[length] = 0;
    *out = text;
    return Res_ok;
}
