// Lookups over the style vocabulary, number conversion and the HTML colour
// reader.
#include "html/css/csstables.h"
#include "core/text/number.h"

#include <cstring>

#include "core/mem/mem.h"

namespace {

char16_t fold(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
}

// Compares text (length units) with an ASCII name, ignoring ASCII case:
// the common prefix first, then the lengths.
int compareName(const char16_t *text, size_t length, const char *name)
{
    size_t n = strlen(name);
    size_t common = length < n ? length : n;
    for (size_t i = 0; i < common; i++) {
        int a = fold(text[i]);
        int b = fold(char16_t(static_cast<unsigned char>(name[i])));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (length == n)
        return 0;
    return length < n ? -1 : 1;
}

// Binary search of rows lo..hi-1 of a table whose rows start with a name.
template <typename Row>
int32_t findName(const Row *rows, uint32_t lo, uint32_t hi, const char16_t *text, size_t length)
{
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int c = compareName(text, length, rows[mid].name);
        if (c == 0)
            return int32_t(mid);
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return -1;
}

char16_t *copyName(const char *name)
{
    size_t n = strlen(name);
    char16_t *out = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        out[i] = char16_t(static_cast<unsigned char>(name[i]));
    out[n] = 0;
    return out;
}

int isLetter(char16_t c)
{
    c = fold(c);
    return c >= 'a' && c <= 'z';
}

void setColour(uint8_t rgba[4], uint8_t r, uint8_t g, uint8_t b)
{
    rgba[0] = r;
    rgba[1] = g;
    rgba[2] = b;
    rgba[3] = 255;
}

// Properties that never take a negative value.
const char *const nonNegative[] = {
    "border",         "border-bottom", "border-left",   "border-right", "border-top",
    "border-width",   "font-size",     "height",        "line-height",  "padding",
    "padding-bottom", "padding-left",  "padding-right", "padding-top",  "width",
};

} // namespace

uint32_t Css_propertyIndex(const char16_t *name, size_t length)
{
    if (!name)
        return 0;
    int32_t i = findName(Css_propertyRows, 1, Css_propertyCount, name, length);
    return i < 0 ? 0 : uint32_t(i);
}

uint32_t Css_propertyEngineId(uint32_t index)
{
    return index < Css_propertyCount ? Css_propertyRows[index].engineId : 0;
}

uint32_t Css_propertyIdByName(const char16_t *name)
{
    size_t n = 0;
    while (name && name[n])
        n++;
    return Css_propertyEngineId(Css_propertyIndex(name, n));
}

char16_t *Css_propertyName(uint32_t index)
{
    return index < Css_propertyCount ? copyName(Css_propertyRows[index].name) : nullptr;
}

const CssKeywordRow *Css_keywordLookup(const char16_t *text, size_t length)
{
    if (!text)
        return nullptr;
    if (compareName(text, length, "none") == 0)
        return &Css_keywordRows[0];
    int32_t i = findName(Css_keywordRows, Css_keywordFirstSorted, Css_keywordCount, text, length);
    return i < 0 ? nullptr : &Css_keywordRows[i];
}

char16_t *Css_keywordName(uint32_t value)
{
    for (uint32_t i = 0; i < Css_keywordCount; i++)
        if (Css_keywordRows[i].value == value && (Css_keywordRows[i].valueClass || i == 0))
            return copyName(Css_keywordRows[i].name);
    return nullptr;
}

int Css_colourByName(const char16_t *text, size_t length, uint8_t rgba[4])
{
    if (!text || !length || !isLetter(text[0]))
        return 0;
    int32_t i = findName(Css_colourRows, 0, Css_colourCount, text, length);
    if (i < 0)
        return 0;
    setColour(rgba, Css_colourRows[i].red, Css_colourRows[i].green, Css_colourRows[i].blue);
    return 1;
}

int Css_colourFromHex(const char16_t *text, size_t length, uint8_t rgba[4])
{
    if (!text)
        return 0;
    if (length && text[0] == '#') {
        text++;
        length--;
    }
    if (length != 3 && length != 6)
        return 0;
    int d[6];
    for (size_t i = 0; i < length; i++)
        if ((d[i] = Hex_digitValue(text[i])) < 0)
            return 0;
    if (length == 3)
        setColour(rgba, uint8_t(d[0] * 17), uint8_t(d[1] * 17), uint8_t(d[2] * 17));
    else
        setColour(rgba, uint8_t(d[0] << 4 | d[1]), uint8_t(d[2] << 4 | d[3]),
                  uint8_t(d[4] << 4 | d[5]));
    return 1;
}

int Css_numberValue(uint32_t integer, uint16_t fraction, int negative, uint32_t unit, uint32_t mode,
                    uint32_t property, CssTypedValue *out)
{
    uint32_t limit = unit == CssUnit_cm ? 327 : unit == CssUnit_mm ? 3276 : 32767;
    if (integer > limit)
        integer = limit;
    int64_t v = int64_t(integer) << 16 | fraction;
    uint32_t type = 2; // a length in inches
    switch (unit) {
    case CssUnit_number:
        if (mode == 1)
            type = 1;
        else if (mode == 2) {
            type = 1;
            v = integer;
        } else
            v /= 96;
        break;
    case CssUnit_percent: type = 7; break;
    case CssUnit_em:
    case CssUnit_ex: type = 3; break;
    case CssUnit_px: v /= 96; break;
    case CssUnit_cm: v = v * 100 / 254; break;
    case CssUnit_mm: v = v * 10 / 254; break;
    case CssUnit_in: break;
    case CssUnit_pt: v /= 72; break;
    case CssUnit_pc: v /= 6; break;
    default: return 0;
    }
    if (negative && v) {
        if (property < Css_propertyCount)
            for (const char *name : nonNegative)
                if (!strcmp(name, Css_propertyRows[property].name))
                    return 0;
        v = -v;
    }
    out->type = type;
    out->valueClass = CssClass_numeric;
    out->payload = uint32_t(int32_t(v));
    return 1;
}

uint32_t Css_fontWeightKeyword(uint32_t integer, uint16_t fraction)
{
    if (fraction || integer < 100 || integer > 900 || integer % 100)
        return 0;
    return 21 + integer / 100;
}

void Html_parseColour(const char16_t *text, size_t length, uint8_t rgba[4])
{
    setColour(rgba, 0, 0, 0);
    if (!text)
        return;
    if (Css_colourByName(text, length, rgba))
        return;
    if (length && text[0] == '#') {
        text++;
        length--;
    }
    auto digit = [](char16_t c) {
        int d = Hex_digitValue(c);
        return d < 0 ? 0 : d;
    };
    if (length >= 7 && Hex_digitValue(text[0]) >= 0) {
        text += length - 6;
        length = 6;
    }
    if (length == 6)
        setColour(rgba, uint8_t(digit(text[0]) << 4 | digit(text[1])),
                  uint8_t(digit(text[2]) << 4 | digit(text[3])),
                  uint8_t(digit(text[4]) << 4 | digit(text[5])));
    else if (length == 5)
        setColour(rgba, uint8_t(digit(text[0]) << 4 | digit(text[1])),
                  uint8_t(digit(text[2]) << 4 | digit(text[3])), uint8_t(digit(text[4]) << 4));
    else if (length == 4)
        setColour(rgba, uint8_t(digit(text[0]) << 4 | digit(text[1])),
                  uint8_t(digit(text[2]) << 4 | digit(text[3])), 0);
}

int32_t Table_findInt(const void *table, uint32_t count, uint32_t stride, int32_t key)
{
    if (!table || !count || stride < sizeof(int32_t))
        return -1;
    const unsigned char *base = static_cast<const unsigned char *>(table);
    auto keyAt = [&](uint32_t i) {
        int32_t k;
        memcpy(&k, base + size_t(i) * stride, sizeof k);
        return k;
    };
    uint32_t step = 1;
    while (step <= count / 2)
        step <<= 1;
    // pos: the last index known to hold a key not above key, or -1.
    int64_t pos = -1;
    for (; step; step >>= 1) {
        int64_t next = pos + step;
        if (next < count && keyAt(uint32_t(next)) <= key)
            pos = next;
    }
    return (pos >= 0 && keyAt(uint32_t(pos)) == key) ? int32_t(pos) : -1;
}
