// Digit patterns: format codes that lay the digits of a whole number into
// a pattern right to left ("00000", "###-####", "000-00-0000" and codes
// with conditions such as "[<=9999999]###-####;(###) ###-####"). The value
// is printed as a whole number, a section is chosen by the conditions, and
// the digits are laid into it, surplus digits in front.
#include <cstring>

#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/format/numfmt_internal.h"

namespace {

constexpr double epsilon = 2.220446049250313e-16;

bool isConditionChar(char16_t c)
{
    return (c >= '0' && c <= '9') || c == ':' || c == ';' || c == '<' || c == '=' || c == '>';
}

bool contains(const char16_t *s, const char16_t *end, const char *needle)
{
    size_t n = strlen(needle);
    for (const char16_t *p = s; p + n <= end; p++) {
        size_t i = 0;
        while (i < n && p[i] == static_cast<unsigned char>(needle[i]))
            i++;
        if (i == n)
            return true;
    }
    return false;
}

// Whether the comparison holds: any of its characters' tests.
bool comparisonHolds(const char16_t *cmp, size_t n, double v, double number)
{
    for (size_t i = 0; i < n; i++) {
        double d = v - number;
        if ((cmp[i] == '<' && d < -epsilon) || (cmp[i] == '=' && (d < epsilon && d > -epsilon)) ||
            (cmp[i] == '>' && d > epsilon))
            return true;
    }
    return false;
}

const char16_t *findChar(const char16_t *p, char16_t c)
{
    while (*p && *p != c)
        p++;
    return *p ? p : nullptr;
}

// The end of the section at s: its first ";" or the end of the code.
const char16_t *sectionEnd(const char16_t *s)
{
    while (*s && *s != ';')
        s++;
    return s;
}

} // namespace

bool Excel_Fmt_isDigitPattern(const char16_t *code)
{
    if (!code)
        return false;
    if (Ustr_cmpCstr(code, "00000") == 0)
        return true;
    const char16_t *end = code + Ustr_len(code);
    if (contains(code, end, "##-#") || contains(code, end, "##\\-#"))
        return true;
    for (const char16_t *p = code; p < end; p++) {
        if (*p != '[')
            continue;
        const char16_t *q = p + 1;
        while (q < end && *q != ']' && isConditionChar(*q))
            q++;
        if (q < end && *q == ']')
            return true;
    }
    return false;
}

const char16_t *Excel_Fmt_chooseDigitSection(const char16_t *code, double v)
{
    if (!code)
        return nullptr;
    const char16_t *cur = code;
    for (int tries = 0; tries < 4; tries++) {
        const char16_t *open = findChar(cur, '[');
        if (!open)
            break;
        const char16_t *p = open + 1;
        const char16_t *cmp = p;
        size_t cmpLen = 0;
        while (*p && *p != ']' && !(*p >= '0' && *p <= '9') && cmpLen < 23) {
            p++;
            cmpLen++;
        }
        char number[254];
        size_t numLen = 0;
        while (*p >= '0' && *p <= '9' && numLen < 253)
            number[numLen++] = static_cast<char>(*p++);
        number[numLen] = 0;
        if (*p == ']')
            p++;
        if (comparisonHolds(cmp, cmpLen, v, static_cast<double>(Std_atol(number))))
            return p;
        const char16_t *semi = findChar(p, ';');
        if (!semi)
            break;
        cur = semi + 1;
        const char16_t *send = sectionEnd(cur);
        bool hasBracket = false;
        for (const char16_t *q = cur; q < send; q++)
            hasBracket = hasBracket || *q == ']';
        if (!hasBracket)
            return cur;
    }
    return code;
}

size_t Excel_Fmt_digitPattern(const char16_t *code, char *buffer, size_t capacity, double value)
{
    if (!buffer || capacity == 0)
        return 0;
    buffer[0] = 0;
    if (!code)
        return 0;
    size_t cap = capacity > 255 ? 255 : capacity;
    Fmt_snprintf(buffer, cap, "%0.0f", value);
    Excel_Fmt_layDigits(Excel_Fmt_chooseDigitSection(code, value), buffer, cap);
    return strlen(buffer);
}

namespace {

struct GroupRow {
    const char *pattern;
    char sep;
    bool on;
};

// The group patterns in the order they are looked for. A "-" pattern lays
// the digits by position (telephone numbers, identifiers): grouping by
// threes would put separators where the pattern has none.
constexpr GroupRow groupRows[] = {
    {"#-##", '-', false}, {"# ##", ' ', true}, {"#,##", ',', true},
    {"###", ' ', false},  {"00", ' ', false},
};

const GroupRow *groupRowOf(const char16_t *section, const char16_t *send)
{
    for (const GroupRow &r : groupRows)
        if (contains(section, send, r.pattern))
            return &r;
    return nullptr;
}

} // namespace

bool Excel_Fmt_hasGroupPattern(const char16_t *section)
{
    return section && groupRowOf(section, sectionEnd(section)) != nullptr;
}

void Excel_Fmt_layDigits(const char16_t *section, char *digits, size_t capacity)
{
    if (!section || !digits || !digits[0] || capacity > 255)
        return;
    const char16_t *send = sectionEnd(section);
    const GroupRow *row = groupRowOf(section, send);
    if (!row)
        return;
    bool grouping = row->on;
    int32_t len = static_cast<int32_t>(strlen(digits));
    const char *dot = strchr(digits, '.');
    int32_t lastInt;
    bool inInt;
    if (dot) {
        lastInt = static_cast<int32_t>(dot - digits) - 1;
        inInt = false;
    } else {
        lastInt = digits[len - 1] >= '0' && digits[len - 1] <= '9' ? len - 1 : len - 2;
        inInt = true;
    }
    if (lastInt < 0)
        return;
    int32_t dc = inInt ? lastInt : len - 1;
    const char16_t *sc = send - 1;
    char work[256];
    size_t produced = 0;
    size_t limit = capacity >= 2 ? capacity - 2 : 0;
    uint8_t count = 0;
    bool mark = false;
    bool paren = false;
    auto write = [&](char c) {
        if (produced < sizeof work)
            work[produced++] = c;
    };
    while ((dc >= 0 || sc >= section) && produced < limit) {
        if (dc >= 0 && digits[dc] == '.') {
            inInt = true;
            write('.');
            dc--;
            continue;
        }
        if (sc < section) {
            write(digits[dc--]);
            count++;
            mark = true;
        } else {
            char16_t c = *sc--;
            if (sc >= section && *sc == '\\') {
                // An escaped character is written as it stands.
                write(c < 0x100 ? static_cast<char>(c) : '?');
                sc--;
                c = 0;
            }
            switch (c) {
            case 0: break;
            case '#':
                count++;
                if (dc >= 0) {
                    write(digits[dc--]);
                    mark = true;
                }
                break;
            case '0':
                count++;
                write(dc >= 0 ? digits[dc--] : '0');
                mark = true;
                break;
            case '-':
                if (sc >= section && *sc != '_' && *sc != '*')
                    write('-');
                break;
            case ' ':
                if (!grouping)
                    write(' ');
                break;
            case '(':
            case ')':
                // The parentheses stand around the whole number; a
                // grouped pattern stays grouped inside them.
                write(static_cast<char>(c));
                paren = !paren;
                break;
            case '"':
                // Quoted text is written as it stands: literal texts of
                // the pattern, such as the ") " of "(###) ###-####".
                while (sc >= section && *sc != '"') {
                    write(*sc < 0x100 ? static_cast<char>(*sc) : '?');
                    sc--;
                }
                sc--;
                break;
            case ']':
                while (sc >= section && *sc != '[')
                    sc--;
                sc--;
                break;
            case ',':
            case '*':
            case '.':
            case ';':
            case '@':
            case '\\':
            case '_': break;
            default: write(c < 0x100 ? static_cast<char>(c) : '?'); break;
            }
        }
        if (grouping && inInt && mark && dc < lastInt && count % 3 == 0 && dc >= 0 &&
            digits[dc] >= '0' && digits[dc] <= '9') {
            write(row->sep);
            mark = false;
        }
    }
    size_t n = 0;
    if (paren && n + 1 < capacity)
        digits[n++] = '(';
    for (size_t i = produced; i > 0 && n + 1 < capacity; i--)
        digits[n++] = work[i - 1];
    digits[n] = 0;
}
