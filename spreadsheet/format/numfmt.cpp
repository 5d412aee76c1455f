// Number formats: the dispatch of Excel_Fmt_formatValue, the General
// format, sections and colours, and the number code interpreter (digit
// placeholders, grouping, percent, scientific notation, fractions and
// literal texts). Digit patterns are in digitpattern.cpp, dates and times
// in datefmt.cpp.
#include "spreadsheet/format/numfmt.h"

#include <cmath>
#include <cstdarg>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"
#include "fonts/fontdata.h"
#include "spreadsheet/errortext.h"
#include "core/host/hostservices.h"
#include "spreadsheet/format/numfmt_internal.h"
#include "spreadsheet/reader/workbook.h"

// ------------------------------------------------------------ output text

void Excel_FmtOut_put(ExcelFmtOut *out, char16_t c)
{
    if (out->n < Excel_fmtMaxOutput)
        out->s[out->n++] = c;
}

void Excel_FmtOut_putAscii(ExcelFmtOut *out, const char *text)
{
    for (; *text; text++)
        Excel_FmtOut_put(out, static_cast<unsigned char>(*text));
}

void Excel_FmtOut_putN(ExcelFmtOut *out, const char16_t *text, size_t n)
{
    for (size_t i = 0; i < n; i++)
        Excel_FmtOut_put(out, text[i]);
}

void Excel_FmtOut_printf(ExcelFmtOut *out, const char *format, ...)
{
    char buf[Excel_fmtMaxOutput + 1];
    va_list args;
    va_start(args, format);
    Fmt_vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    Excel_FmtOut_putAscii(out, buf);
}

// ---------------------------------------------------------- digit strings

void Excel_FmtDigits_of(double v, ExcelFmtDigits *digits)
{
    digits->n = 0;
    digits->exp = 0;
    v = std::fabs(v);
    if (!(v > 0) || std::isinf(v))
        return;
    // "d.dddddddddddddde+XXX": 15 significant digits.
    char buf[40];
    Fmt_snprintf(buf, sizeof buf, "%.14e", v);
    const char *p = buf;
    int32_t n = 0;
    for (; *p && *p != 'e'; p++) {
        if (*p >= '0' && *p <= '9' && n < 15)
            digits->d[n++] = *p;
    }
    int32_t e = 0;
    if (*p == 'e') {
        p++;
        bool neg = *p == '-';
        if (*p == '-' || *p == '+')
            p++;
        for (; *p >= '0' && *p <= '9'; p++)
            e = e * 10 + (*p - '0');
        if (neg)
            e = -e;
    }
    while (n > 0 && digits->d[n - 1] == '0')
        n--;
    digits->n = n;
    digits->exp = n ? e : 0;
}

namespace {

// Keeps the first keep digits, rounding half up on the next one.
void keepDigits(ExcelFmtDigits *digits, int32_t keep)
{
    if (keep >= digits->n)
        return;
    if (keep < 0) {
        digits->n = 0;
        digits->exp = 0;
        return;
    }
    bool up = digits->d[keep] >= '5';
    digits->n = keep;
    if (up) {
        int32_t i = keep - 1;
        while (i >= 0 && digits->d[i] == '9') {
            digits->d[i] = '0';
            i--;
        }
        if (i >= 0) {
            digits->d[i]++;
        } else {
            // A carry out of the first digit: 999 -> 1000.
            digits->d[0] = '1';
            digits->n = 1;
            digits->exp++;
        }
    }
    while (digits->n > 0 && digits->d[digits->n - 1] == '0')
        digits->n--;
    if (digits->n == 0)
        digits->exp = 0;
}

} // namespace

void Excel_FmtDigits_round(ExcelFmtDigits *digits, int32_t decimals)
{
    if (digits->n == 0)
        return;
    keepDigits(digits, digits->exp + 1 + decimals);
}

void Excel_FmtDigits_roundSignificant(ExcelFmtDigits *digits, int32_t count)
{
    keepDigits(digits, count < 1 ? 1 : count);
}

char Excel_FmtDigits_at(const ExcelFmtDigits *digits, int32_t power)
{
    int32_t i = digits->exp - power;
    return i >= 0 && i < digits->n ? digits->d[i] : '0';
}

// -------------------------------------------------------- configuration

char16_t *Excel_Fmt_configText(const Excel_FmtRequest *request, const char *key,
                               const char *defaultText)
{
    char16_t *fallback = Ustr_fromCstr(defaultText);
    if (!fallback)
        return nullptr;
    EngineContext *ctx = request->context;
    if (!ctx) {
        EngineInstance *instance = Host_getThreadContext();
        ctx = instance ? instance->context : nullptr;
    }
    if (!ctx || !ctx->config)
        return fallback;
    char16_t *text = Config_getUstrA(ctx, ctx->config, nullptr, key, fallback);
    if (text && text[0]) {
        Mem_free(fallback);
        return text;
    }
    Mem_free(text);
    return fallback;
}

bool Excel_Fmt_localeIs(const char *locale, const char *tag)
{
    return locale && Cstr_icmp(locale, tag) == 0;
}

// ------------------------------------------------------------- General

namespace {

// Scientific form: mantissa with up to maxDecimals decimals (trailing
// zeros dropped) and an exponent of at least two digits.
void putScientific(ExcelFmtOut *out, ExcelFmtDigits dg, int32_t maxDecimals)
{
    Excel_FmtDigits_roundSignificant(&dg, maxDecimals + 1);
    Excel_FmtOut_put(out, dg.n ? dg.d[0] : '0');
    if (dg.n > 1) {
        Excel_FmtOut_put(out, '.');
        for (int32_t i = 1; i < dg.n; i++)
            Excel_FmtOut_put(out, dg.d[i]);
    }
    Excel_FmtOut_printf(out, "E%+03d", dg.exp);
}

// Fixed form with the digits needed, no trailing zeros.
void putFixed(ExcelFmtOut *out, const ExcelFmtDigits &dg)
{
    if (dg.n == 0) {
        Excel_FmtOut_put(out, '0');
        return;
    }
    if (dg.exp < 0) {
        Excel_FmtOut_put(out, '0');
    } else {
        for (int32_t p = dg.exp; p >= 0; p--)
            Excel_FmtOut_put(out, static_cast<char16_t>(Excel_FmtDigits_at(&dg, p)));
    }
    int32_t last = dg.exp - dg.n + 1; // power of the last digit
    if (last < 0) {
        Excel_FmtOut_put(out, '.');
        for (int32_t p = -1; p >= last; p--)
            Excel_FmtOut_put(out, static_cast<char16_t>(Excel_FmtDigits_at(&dg, p)));
    }
}

// The length putFixed would give.
int32_t fixedLength(const ExcelFmtDigits &dg)
{
    if (dg.n == 0)
        return 1;
    int32_t intLen = dg.exp < 0 ? 1 : dg.exp + 1;
    int32_t last = dg.exp - dg.n + 1;
    return last < 0 ? intLen + 1 - last : intLen;
}

void formatGeneral(double v, uint32_t width, ExcelFmtOut *out)
{
    if (std::isnan(v) || std::isinf(v)) {
        Excel_FmtOut_putAscii(out, "#NUM!");
        return;
    }
    double a = std::fabs(v);
    if (a < 2.2250738585072014e-308) {
        Excel_FmtOut_put(out, '0');
        return;
    }
    ExcelFmtDigits dg;
    Excel_FmtDigits_of(v, &dg);
    if (v < 0)
        Excel_FmtOut_put(out, '-');
    if (width == 0) {
        if (a < 1e21 && a >= 1e-15 && fixedLength(dg) < 20)
            putFixed(out, dg);
        else
            putScientific(out, dg, 14);
        return;
    }
    int32_t w = static_cast<int32_t>(width > 11 ? 11 : width);
    if (v < 0)
        w++;
    int32_t sign = v < 0 ? 1 : 0;
    if (a >= 1e-10 && a < 1e21) {
        ExcelFmtDigits r = dg;
        Excel_FmtDigits_round(&r, 9);
        if (sign + fixedLength(r) > w) {
            int32_t intDigits = r.exp < 0 ? 1 : r.exp + 1;
            int32_t decimals = w - sign - intDigits - 1;
            if (decimals >= 0) {
                r = dg;
                Excel_FmtDigits_round(&r, decimals);
            }
            // Too many integer digits for the width: scientific form.
            if (decimals < 0 || sign + fixedLength(r) > w) {
                putScientific(out, dg, 5);
                return;
            }
        }
        if (r.n == 0) {
            Excel_FmtOut_put(out, '0');
            return;
        }
        putFixed(out, r);
        return;
    }
    putScientific(out, dg, 5);
}

// ------------------------------------------------------------- sections

// Skips a literal part starting at p (quoted text, escape, skip character,
// bracket); returns the position after it, or p when p starts none.
const char16_t *skipLiteral(const char16_t *p, const char16_t *end)
{
    if (p >= end)
        return p;
    if (*p == '"') {
        p++;
        while (p < end && *p != '"')
            p++;
        return p < end ? p + 1 : p;
    }
    if (*p == '\\' || *p == '_' || *p == '*')
        return p + 1 < end ? p + 2 : end;
    if (*p == '[') {
        while (p < end && *p != ']')
            p++;
        return p < end ? p + 1 : p;
    }
    return p;
}

bool isPlaceholder(char16_t c)
{
    return c == '0' || c == '#' || c == '?';
}

// The text of a bracket "[...]" at p (p at "["): its content and length.
size_t bracketContent(const char16_t *p, const char16_t *end, const char16_t **content)
{
    *content = p + 1;
    const char16_t *q = p + 1;
    while (q < end && *q != ']')
        q++;
    return static_cast<size_t>(q - (p + 1));
}

// The named colour of a bracket's content: a word of three or more letters
// whose first letter names it.
bool bracketColour(const char16_t *content, size_t n, uint32_t *colour)
{
    if (n < 3)
        return false;
    for (size_t i = 0; i < n; i++) {
        char16_t c = content[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    int32_t named;
    switch (Ustr_upperAscii(content[0])) {
    case 'R': named = 12; break;
    case 'G': named = 6; break;
    case 'B': named = Ustr_lowerAscii(content[2]) == 'u' ? 2 : 1; break;
    case 'C': named = 0; break;
    case 'M': named = 3; break;
    case 'W': named = 16; break;
    case 'Y': named = 15; break;
    default: return false;
    }
    Pixel_namedColour(colour, named);
    return true;
}

// The colour of one section.
bool sectionColour(const char16_t *s, const char16_t *end, uint32_t *colour)
{
    for (const char16_t *p = s; p < end;) {
        if (*p == '[') {
            const char16_t *content;
            size_t n = bracketContent(p, end, &content);
            if (bracketColour(content, n, colour))
                return true;
        }
        const char16_t *q = skipLiteral(p, end);
        p = q == p ? p + 1 : q;
    }
    return false;
}

} // namespace

bool Excel_Fmt_isGeneral(const char16_t *code)
{
    return code && Ustr_icmpCstr(code, "General") == 0;
}

uint32_t Excel_Fmt_sectionOf(uint32_t kind, double value)
{
    switch (kind) {
    case Excel_fmtEmpty:
    case Excel_fmtInteger:
    case Excel_fmtNumber:
    case Excel_fmtGeneral: return value > 0 ? 0 : value < 0 ? 1 : 2;
    case Excel_fmtText: return 3;
    default: return 4;
    }
}

uint32_t Excel_Fmt_splitSections(const char16_t *code, const char16_t **starts, size_t *lengths)
{
    if (!code)
        return 0;
    const char16_t *end = code + Ustr_len(code);
    uint32_t count = 0;
    const char16_t *start = code;
    const char16_t *p = code;
    while (p < end) {
        if (*p == ';') {
            if (count < 4) {
                starts[count] = start;
                lengths[count] = static_cast<size_t>(p - start);
            }
            count++;
            start = ++p;
            continue;
        }
        const char16_t *q = skipLiteral(p, end);
        p = q == p ? p + 1 : q;
    }
    if (count < 4) {
        starts[count] = start;
        lengths[count] = static_cast<size_t>(end - start);
    }
    count++;
    return count > 4 ? 4 : count;
}

bool Excel_Fmt_colourOf(const char16_t *code, uint32_t *colour)
{
    if (!code || !colour)
        return false;
    const char16_t *starts[4];
    size_t lengths[4];
    Excel_Fmt_splitSections(code, starts, lengths);
    return sectionColour(starts[0], starts[0] + lengths[0], colour);
}

int32_t Excel_Fmt_findFormat(const ExcelWorkbook *workbook, const char16_t *format)
{
    if (!workbook || !format)
        return -1;
    for (uint32_t i = 0; i < workbook->formatCount; i++) {
        if (workbook->formats[i] && Ustr_cmp(workbook->formats[i], format) == 0)
            return static_cast<int32_t>(i);
    }
    return -1;
}

// --------------------------------------------------------- number codes

namespace {

// The shape of one number section.
struct NumberLayout {
    int32_t intPlaces; // placeholders before the point (or before "E")
    int32_t decPlaces; // placeholders after the point
    bool percent;
    char16_t groupSep;     // 0: no grouping
    const char16_t *point; // the decimal point, or null
    const char16_t *expAt; // the "E" of scientific notation, or null
    char16_t expSign;      // '+' or '-'
    int32_t expPlaces;     // placeholders after "E+"
    bool intHasHash;       // a '#' among the integer placeholders
    bool anyPlaceholder;
};

void analyse(const char16_t *s, const char16_t *end, NumberLayout *l)
{
    *l = NumberLayout{};
    bool afterPoint = false;
    bool afterExp = false;
    bool afterIntPlace = false;
    char16_t pendingSep = 0; // an unescaped separator after an integer placeholder
    for (const char16_t *p = s; p < end;) {
        char16_t c = *p;
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            p = q;
            pendingSep = 0;
            continue;
        }
        if (isPlaceholder(c)) {
            l->anyPlaceholder = true;
            if (afterExp) {
                l->expPlaces++;
            } else if (afterPoint) {
                l->decPlaces++;
            } else {
                l->intPlaces++;
                if (c == '#')
                    l->intHasHash = true;
                // A separator between two integer placeholders groups.
                if (pendingSep && !l->groupSep)
                    l->groupSep = pendingSep;
                afterIntPlace = true;
            }
            pendingSep = 0;
        } else if (c == '.' && !afterPoint && !afterExp) {
            afterPoint = true;
            l->point = p;
        } else if ((c == 'E' || c == 'e') && !afterExp && p + 1 < end &&
                   (p[1] == '+' || p[1] == '-') && l->anyPlaceholder) {
            afterExp = true;
            l->expAt = p;
            l->expSign = p[1];
            p += 2;
            continue;
        } else if (c == '%') {
            l->percent = true;
        } else if ((c == ',' || c == ' ' || c == '-') && afterIntPlace && !afterPoint &&
                   !afterExp) {
            pendingSep = c;
            // "#,": a comma after the placeholders also asks for grouping.
            if (c == ',' && !l->groupSep)
                l->groupSep = ',';
        } else {
            pendingSep = 0;
        }
        p++;
    }
}

// Copies the literal part at p into out; returns the position after it.
const char16_t *putLiteral(const char16_t *p, const char16_t *end, ExcelFmtOut *out)
{
    char16_t c = *p;
    if (c == '"') {
        p++;
        while (p < end && *p != '"')
            Excel_FmtOut_put(out, *p++);
        return p < end ? p + 1 : p;
    }
    if (c == '\\') {
        if (p + 1 < end)
            Excel_FmtOut_put(out, p[1]);
        return p + 1 < end ? p + 2 : end;
    }
    if (c == '_' || c == '*')
        return p + 1 < end ? p + 2 : end;
    if (c == '[') {
        const char16_t *content;
        size_t n = bracketContent(p, end, &content);
        // "[$text-locale]" shows the text.
        if (n > 0 && content[0] == '$') {
            for (size_t i = 1; i < n && content[i] != '-'; i++)
                Excel_FmtOut_put(out, content[i]);
        }
        return content + n < end ? content + n + 1 : end;
    }
    return p;
}

// The integer digits of dg: the digit at power p (p >= 0).
struct IntDigits {
    const ExcelFmtDigits *dg;
    int32_t count; // number of integer digits (0 when the integer part is 0)
};

IntDigits intDigitsOf(const ExcelFmtDigits *dg)
{
    IntDigits r{dg, 0};
    if (dg->n > 0 && dg->exp >= 0)
        r.count = dg->exp + 1;
    return r;
}

// One integer position p laid by placeholder c, with the separator after it.
void putIntCell(ExcelFmtOut *out, const IntDigits &id, int32_t p, char16_t c, char16_t groupSep)
{
    char16_t ch = 0;
    if (p < id.count)
        ch = static_cast<char16_t>(Excel_FmtDigits_at(id.dg, p));
    else if (c == '0')
        ch = '0';
    else if (c == '?')
        ch = ' ';
    if (!ch)
        return;
    Excel_FmtOut_put(out, ch);
    if (groupSep && p > 0 && p % 3 == 0 && ch != ' ')
        Excel_FmtOut_put(out, groupSep);
}

// The decimals as shown: '#' drops trailing zeros, '?' turns them into
// spaces, '0' keeps them. shown[i] is the character of decimal i or 0.
void decimalCells(const ExcelFmtDigits *dg, const char16_t *end, const NumberLayout &l,
                  char16_t *shown)
{
    // The placeholder characters after the point, in order.
    char16_t kinds[64];
    int32_t k = 0;
    for (const char16_t *p = l.point ? l.point + 1 : end; p < end && k < 64;) {
        if (l.expAt && p >= l.expAt)
            break;
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            p = q;
            continue;
        }
        if (isPlaceholder(*p))
            kinds[k++] = *p;
        p++;
    }
    bool trailing = true;
    for (int32_t i = k - 1; i >= 0; i--) {
        char16_t d = static_cast<char16_t>(Excel_FmtDigits_at(dg, -1 - i));
        if (trailing && d == '0' && kinds[i] != '0') {
            shown[i] = kinds[i] == '?' ? ' ' : 0;
            continue;
        }
        trailing = false;
        shown[i] = d;
    }
}

// Lays a number (magnitude, rounded into dg) into a section whose layout
// is l; exponent is written at the "E" when the layout has one.
void layNumber(const char16_t *s, const char16_t *end, const NumberLayout &l,
               const ExcelFmtDigits &dg, int32_t exponent, ExcelFmtOut *out)
{
    IntDigits id = intDigitsOf(&dg);
    char16_t shown[64] = {};
    decimalCells(&dg, end, l, shown);
    int32_t intIndex = 0;
    int32_t decIndex = 0;
    int32_t expIndex = 0;
    bool afterPoint = false;
    bool afterExp = false;
    char expDigits[16];
    int32_t expLen = 0;
    if (l.expAt) {
        int32_t e = exponent < 0 ? -exponent : exponent;
        char tmp[16];
        Fmt_snprintf(tmp, sizeof tmp, "%d", e);
        expLen = static_cast<int32_t>(strlen(tmp));
        memcpy(expDigits, tmp, static_cast<size_t>(expLen) + 1);
    }
    // With no integer placeholder the integer digits stand at the point.
    bool intWritten = l.intPlaces > 0;
    for (const char16_t *p = s; p < end;) {
        char16_t c = *p;
        if (c == '"' || c == '\\' || c == '_' || c == '*' || c == '[') {
            p = putLiteral(p, end, out);
            continue;
        }
        if (isPlaceholder(c)) {
            if (afterExp) {
                int32_t pos = l.expPlaces - 1 - expIndex; // digit power in the exponent
                if (expIndex == 0) {
                    for (int32_t i = 0; i < expLen - l.expPlaces; i++)
                        Excel_FmtOut_put(out, static_cast<char16_t>(expDigits[i]));
                }
                if (pos < expLen)
                    Excel_FmtOut_put(out, static_cast<char16_t>(expDigits[expLen - 1 - pos]));
                else if (c == '0')
                    Excel_FmtOut_put(out, '0');
                else if (c == '?')
                    Excel_FmtOut_put(out, ' ');
                expIndex++;
            } else if (afterPoint) {
                if (decIndex < 64 && shown[decIndex])
                    Excel_FmtOut_put(out, shown[decIndex]);
                decIndex++;
            } else {
                int32_t pos = l.intPlaces - 1 - intIndex;
                if (intIndex == 0) {
                    for (int32_t q = id.count - 1; q > pos; q--)
                        putIntCell(out, id, q, '0', l.groupSep);
                }
                putIntCell(out, id, pos, c, l.groupSep);
                intIndex++;
            }
            p++;
            continue;
        }
        if (p == l.point) {
            if (!intWritten) {
                for (int32_t q = id.count - 1; q >= 0; q--)
                    putIntCell(out, id, q, '0', l.groupSep);
                intWritten = true;
            }
            Excel_FmtOut_put(out, '.');
            afterPoint = true;
            p++;
            continue;
        }
        if (p == l.expAt) {
            if (!intWritten) {
                for (int32_t q = id.count - 1; q >= 0; q--)
                    putIntCell(out, id, q, '0', l.groupSep);
                intWritten = true;
            }
            Excel_FmtOut_put(out, 'E');
            if (exponent < 0)
                Excel_FmtOut_put(out, '-');
            else if (l.expSign == '+')
                Excel_FmtOut_put(out, '+');
            afterExp = true;
            afterPoint = false;
            p += 2;
            continue;
        }
        // Grouping separators between the integer placeholders write
        // nothing: the groups come from the digits.
        if (l.groupSep && c == l.groupSep && !afterPoint && !afterExp && intIndex > 0 &&
            intIndex < l.intPlaces) {
            p++;
            continue;
        }
        if (c == ',' || c == '@') {
            p++;
            continue;
        }
        Excel_FmtOut_put(out, c);
        p++;
    }
    if (!intWritten && !afterPoint) {
        for (int32_t q = id.count - 1; q >= 0; q--)
            putIntCell(out, id, q, '0', l.groupSep);
    }
}

// A section with digit placeholders, percent or an exponent.
void formatNumberSection(const char16_t *s, const char16_t *end, double v, ExcelFmtOut *out)
{
    NumberLayout l;
    analyse(s, end, &l);
    if (l.percent)
        v *= 100.0;
    ExcelFmtDigits dg;
    Excel_FmtDigits_of(v, &dg);
    if (l.decPlaces > 30)
        l.decPlaces = 30;
    int32_t exponent = 0;
    if (l.expAt) {
        int32_t intPlaces = l.intPlaces;
        if (intPlaces < 1 || intPlaces > 30 || l.decPlaces > 30) {
            intPlaces = 1;
            l.decPlaces = 2;
        }
        // "##0.0E+0": with '#' among several integer placeholders the
        // exponent is a multiple of their count (engineering notation);
        // otherwise the mantissa has as many integer digits as placeholders.
        int32_t step = l.intHasHash && intPlaces > 1 ? intPlaces : 1;
        auto shownOf = [step, intPlaces](int32_t e) {
            if (step > 1)
                return (e >= 0 ? e / step : -((-e + step - 1) / step)) * step;
            return e - (intPlaces - 1);
        };
        int32_t e = dg.n ? dg.exp : 0;
        int32_t shown = shownOf(e);
        ExcelFmtDigits r = dg;
        Excel_FmtDigits_round(&r, l.decPlaces - shown);
        if (r.n && r.exp != e) {
            // The rounding carried into a new power of ten.
            shown = shownOf(r.exp);
            r = dg;
            Excel_FmtDigits_round(&r, l.decPlaces - shown);
        }
        dg = r;
        exponent = shown;
        dg.exp -= exponent;
    } else {
        Excel_FmtDigits_round(&dg, l.decPlaces);
    }
    layNumber(s, end, l, dg, exponent, out);
}

// ------------------------------------------------------------- fractions

struct FractionLayout {
    const char16_t *slash;
    const char16_t *numStart; // first placeholder of the numerator run
    int32_t numPlaces;
    int32_t denPlaces; // placeholders of the denominator
    int32_t fixedDen;  // a denominator written in digits, or 0
    bool hasWhole;     // placeholders before the numerator
};

bool findFraction(const char16_t *s, const char16_t *end, FractionLayout *f)
{
    *f = FractionLayout{};
    const char16_t *run = nullptr; // the placeholder run being read
    bool wholeSeen = false;        // a run ended before it: the whole part
    for (const char16_t *p = s; p < end;) {
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            if (run)
                wholeSeen = true;
            run = nullptr;
            p = q;
            continue;
        }
        if (isPlaceholder(*p)) {
            if (!run)
                run = p;
            p++;
            continue;
        }
        if (*p == '/' && run) {
            f->slash = p;
            f->numStart = run;
            f->numPlaces = static_cast<int32_t>(p - run);
            f->hasWhole = wholeSeen;
            const char16_t *d = p + 1;
            while (d < end && isPlaceholder(*d)) {
                f->denPlaces++;
                d++;
            }
            if (f->denPlaces == 0) {
                // A written denominator of up to five digits.
                int digits = 0;
                for (; d < end && *d >= '0' && *d <= '9'; d++, digits++)
                    f->fixedDen = digits < 5 ? f->fixedDen * 10 + (*d - '0') : f->fixedDen;
                if (f->fixedDen <= 0 || digits > 5)
                    return false;
            }
            return true;
        }
        if (run)
            wholeSeen = true;
        run = nullptr;
        p++;
    }
    return false;
}

// The closest fraction num/den of f (0 <= f < 1 with a whole part) with a
// denominator of at most maxDen; the smallest denominator wins a tie.
void bestFraction(double f, int32_t maxDen, int32_t fixedDen, int64_t *num, int64_t *den)
{
    if (fixedDen > 0) {
        *den = fixedDen;
        *num = static_cast<int64_t>(std::floor(f * fixedDen + 0.5));
        return;
    }
    double bestErr = 2.0;
    *num = 0;
    *den = 1;
    for (int32_t d = 1; d <= maxDen; d++) {
        double n = std::floor(f * d + 0.5);
        double err = std::fabs(f - n / d);
        if (err < bestErr - 1e-12) {
            bestErr = err;
            *num = static_cast<int64_t>(n);
            *den = d;
            if (err == 0)
                break;
        }
    }
}

void putPadded(ExcelFmtOut *out, int64_t value, int32_t places, bool left, char16_t pad)
{
    char digits[24];
    int32_t n = Fmt_snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
    if (!left)
        for (int32_t i = n; i < places; i++)
            Excel_FmtOut_put(out, pad);
    Excel_FmtOut_putAscii(out, digits);
    if (left)
        for (int32_t i = n; i < places; i++)
            Excel_FmtOut_put(out, pad);
}

// The largest denominator the layout's placeholders can show.
int32_t fractionMaxDen(const FractionLayout &f)
{
    int32_t denPlaces = f.denPlaces > 4 ? 4 : f.denPlaces;
    int32_t maxDen = 1;
    for (int32_t i = 0; i < denPlaces; i++)
        maxDen *= 10;
    return maxDen - 1;
}

// Whether v (not negative) shows as zero in the fraction layout: no whole
// part and a numerator of 0. A value such as 0.49 shows as a fraction
// although it rounds to a whole 0.
bool fractionShowsZero(const FractionLayout &f, double v)
{
    if (v > 2147483647.0)
        return v == 0;
    int32_t maxDen = fractionMaxDen(f);
    double whole = f.hasWhole ? std::floor(v) : 0.0;
    int64_t num, den;
    bestFraction(v - whole, maxDen < 1 ? 1 : maxDen, f.fixedDen, &num, &den);
    if (f.hasWhole && num == den) {
        whole += 1;
        num = 0;
    }
    return whole == 0 && num == 0;
}

void formatFractionSection(const char16_t *s, const char16_t *end, const FractionLayout &f,
                           double v, ExcelFmtOut *out)
{
    if (v > 2147483647.0) {
        formatGeneral(v, 0, out);
        return;
    }
    int32_t denPlaces = f.denPlaces > 4 ? 4 : f.denPlaces;
    int32_t maxDen = fractionMaxDen(f);
    // A numerator beyond 32 bits is shown in General.
    if (v * double(f.fixedDen ? f.fixedDen : maxDen) > 2147483647.0) {
        formatGeneral(v, 0, out);
        return;
    }
    double whole = f.hasWhole ? std::floor(v) : 0.0;
    int64_t num, den;
    bestFraction(v - whole, maxDen < 1 ? 1 : maxDen, f.fixedDen, &num, &den);
    if (f.hasWhole && num == den) {
        whole += 1;
        num = 0;
    }
    bool noFraction = num == 0 && (f.hasWhole || v == 0);
    int32_t denWidth = f.fixedDen ? 0 : denPlaces;
    // The whole part: the placeholders before the numerator.
    NumberLayout wl{};
    const char16_t *wholeEnd = f.numStart;
    analyse(s, wholeEnd, &wl);
    ExcelFmtDigits wd;
    Excel_FmtDigits_of(whole, &wd);
    // A zero whole part shows as "0" when there is no fraction to show.
    IntDigits id = intDigitsOf(&wd);
    int32_t intIndex = 0;
    for (const char16_t *p = s; p < wholeEnd;) {
        char16_t c = *p;
        if (c == '"' || c == '\\' || c == '_' || c == '*' || c == '[') {
            p = putLiteral(p, wholeEnd, out);
            continue;
        }
        if (isPlaceholder(c)) {
            int32_t pos = wl.intPlaces - 1 - intIndex;
            if (intIndex == 0)
                for (int32_t q = id.count - 1; q > pos; q--)
                    putIntCell(out, id, q, '0', wl.groupSep);
            char16_t kind = noFraction && pos == 0 ? '0' : c;
            putIntCell(out, id, pos, kind, wl.groupSep);
            intIndex++;
        } else if (c != ',') {
            Excel_FmtOut_put(out, c);
        }
        p++;
    }
    // Numerator, slash and denominator: spaces when there is no fraction.
    const char16_t *denEnd = f.slash + 1;
    if (f.fixedDen) {
        while (denEnd < end && *denEnd >= '0' && *denEnd <= '9')
            denEnd++;
    } else {
        denEnd += f.denPlaces;
    }
    if (noFraction) {
        for (const char16_t *p = f.numStart; p < denEnd; p++)
            Excel_FmtOut_put(out, ' ');
    } else {
        bool numZero = *f.numStart == '0';
        putPadded(out, num, f.numPlaces, false, numZero ? '0' : ' ');
        Excel_FmtOut_put(out, '/');
        if (f.fixedDen) {
            for (const char16_t *p = f.slash + 1; p < denEnd; p++)
                Excel_FmtOut_put(out, *p);
        } else {
            putPadded(out, den, denWidth, true, ' ');
        }
    }
    for (const char16_t *p = denEnd; p < end;) {
        char16_t c = *p;
        if (c == '"' || c == '\\' || c == '_' || c == '*' || c == '[') {
            p = putLiteral(p, end, out);
            continue;
        }
        if (!isPlaceholder(c) && c != ',')
            Excel_FmtOut_put(out, c);
        p++;
    }
}

// A section without any placeholder: its literals only.
void formatLiteralSection(const char16_t *s, const char16_t *end, ExcelFmtOut *out,
                          const char16_t *text)
{
    for (const char16_t *p = s; p < end;) {
        char16_t c = *p;
        if (c == '"' || c == '\\' || c == '_' || c == '*' || c == '[') {
            p = putLiteral(p, end, out);
            continue;
        }
        if (c == '@') {
            if (text)
                Excel_FmtOut_putN(out, text, Ustr_len(text));
        } else {
            Excel_FmtOut_put(out, c);
        }
        p++;
    }
}

// The word "General" (any case) in a section outside its literal parts,
// or null.
const char16_t *generalWord(const char16_t *s, const char16_t *end)
{
    static constexpr char word[] = "general";
    for (const char16_t *p = s; p < end;) {
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            p = q;
            continue;
        }
        size_t i = 0;
        while (word[i] && p + i < end && Ustr_lowerAscii(p[i]) == static_cast<uint32_t>(word[i]))
            i++;
        if (!word[i])
            return p;
        p++;
    }
    return nullptr;
}

bool sectionIsGeneral(const char16_t *s, const char16_t *end)
{
    return generalWord(s, end) != nullptr;
}

// A code is a number code when it holds '#', '0' or '?' outside literal
// parts; the "0"s of sub-second fields after "s." belong to a time.
bool isNumberCode(const char16_t *code, const char16_t *end)
{
    bool afterSeconds = false;
    for (const char16_t *p = code; p < end;) {
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            p = q;
            continue;
        }
        char16_t c = *p;
        if (c == 's' || c == 'S') {
            afterSeconds = true;
        } else if (c == '.' && afterSeconds) {
            p++;
            while (p < end && *p == '0')
                p++;
            afterSeconds = false;
            continue;
        } else if (c == '#' || c == '0' || c == '?') {
            return true;
        } else if (c != ':' && c != ' ') {
            afterSeconds = false;
        }
        p++;
    }
    return false;
}

bool hasScientific(const char16_t *code, const char16_t *end)
{
    for (const char16_t *p = code; p < end;) {
        const char16_t *q = skipLiteral(p, end);
        if (q != p) {
            p = q;
            continue;
        }
        if ((*p == 'E' || *p == 'e') && p + 2 < end && (p[1] == '+' || p[1] == '-') &&
            isPlaceholder(p[2]))
            return true;
        p++;
    }
    return false;
}

// Picks the section for a number by its sign: a negative number formatted
// by a section of its own loses its sign.
void chooseSection(const char16_t *code, double v, const char16_t **s, const char16_t **end,
                   bool *minus)
{
    const char16_t *starts[4];
    size_t lengths[4];
    uint32_t count = Excel_Fmt_splitSections(code, starts, lengths);
    uint32_t k = 0;
    *minus = false;
    if (v < 0) {
        if (count >= 2)
            k = 1;
        else
            *minus = true;
    } else if (v == 0 && count >= 3) {
        k = 2;
    }
    *s = starts[k];
    *end = starts[k] + lengths[k];
}

// Formats a number with a number code.
void formatNumberCode(const Excel_FmtRequest *request, const char16_t *code, double v,
                      ExcelFmtOut *out)
{
    const char16_t *s, *end;
    bool minus;
    chooseSection(code, v, &s, &end, &minus);
    if (request->colour)
        sectionColour(s, end, request->colour);
    double a = std::fabs(v);
    FractionLayout f;
    NumberLayout l;
    analyse(s, end, &l);
    if (const char16_t *word = generalWord(s, end)) {
        // "General" with literal text around it.
        if (minus)
            Excel_FmtOut_put(out, '-');
        formatLiteralSection(s, word, out, nullptr);
        formatGeneral(a, 0, out);
        formatLiteralSection(word + 7, end, out, nullptr);
        return;
    }
    if (!l.anyPlaceholder) {
        if (minus)
            Excel_FmtOut_put(out, '-');
        formatLiteralSection(s, end, out, nullptr);
        return;
    }
    const bool fraction = !l.expAt && findFraction(s, end, &f);
    if (minus && fraction) {
        // No minus sign for a value that shows as zero: a fraction shows
        // values between the whole numbers.
        if (!fractionShowsZero(f, a))
            Excel_FmtOut_put(out, '-');
    } else if (minus) {
        // No minus sign for a value that rounds to zero.
        ExcelFmtDigits dg;
        Excel_FmtDigits_of(l.percent ? a * 100 : a, &dg);
        if (!l.expAt)
            Excel_FmtDigits_round(&dg, l.decPlaces > 30 ? 30 : l.decPlaces);
        if (dg.n)
            Excel_FmtOut_put(out, '-');
    }
    if (fraction)
        formatFractionSection(s, end, f, a, out);
    else
        formatNumberSection(s, end, a, out);
}

// Formats a number through a code of any kind.
void formatCode(const Excel_FmtRequest *request, const char16_t *code, double v, ExcelFmtOut *out)
{
    const char16_t *end = code + Ustr_len(code);
    if (Excel_Fmt_isDigitPattern(code)) {
        // The section chosen by the conditions; a section with decimals,
        // an exponent or a percent sign is a number section.
        const char16_t *starts[4];
        size_t lengths[4];
        Excel_Fmt_splitSections(code, starts, lengths);
        char buf[Excel_fmtMaxOutput];
        const char16_t *section = nullptr;
        section = Excel_Fmt_chooseDigitSection(code, v);
        if (section) {
            const char16_t *send = section;
            while (send < end && *send != ';') {
                const char16_t *q = skipLiteral(send, end);
                send = q == send ? send + 1 : q;
            }
            NumberLayout l;
            analyse(section, send, &l);
            if (request->colour)
                sectionColour(section, send, request->colour);
            if (!l.anyPlaceholder) {
                // A section of literals only ("[<100]0;\"big\""): its text.
                formatLiteralSection(section, send, out, nullptr);
                return;
            }
            // Decimals, exponents, percent signs and sections without a
            // group pattern are laid as number sections: the digit laying
            // would drop them or their literal text.
            if (l.decPlaces > 0 || l.expAt || l.percent || !Excel_Fmt_hasGroupPattern(section)) {
                if (v < 0 && section == starts[0])
                    Excel_FmtOut_put(out, '-');
                formatNumberSection(section, send, std::fabs(v), out);
                return;
            }
        }
        size_t n = Excel_Fmt_digitPattern(code, buf, sizeof buf, v);
        for (size_t i = 0; i < n; i++)
            Excel_FmtOut_put(out, static_cast<unsigned char>(buf[i]));
        return;
    }
    if (Excel_Fmt_isGeneral(code)) {
        formatGeneral(v, request->width, out);
        return;
    }
    if (hasScientific(code, end) || isNumberCode(code, end)) {
        formatNumberCode(request, code, v, out);
        return;
    }
    if (sectionIsGeneral(code, end)) {
        formatNumberCode(request, code, v, out);
        return;
    }
    // A date and time code.
    const char16_t *s, *send;
    bool minus;
    chooseSection(code, v, &s, &send, &minus);
    if (request->colour)
        sectionColour(s, send, request->colour);
    ExcelFmtOut tmp;
    tmp.n = 0;
    if (!Excel_Fmt_formatDateSection(request, s, static_cast<size_t>(send - s),
                                     minus ? v : std::fabs(v), &tmp)) {
        Excel_FmtOut_putAscii(out, "gmtime()?");
        return;
    }
    Excel_FmtOut_putN(out, tmp.s, tmp.n);
}

// The text of a text value: the fourth section, or a single section with
// "@", shows it with its literals; otherwise the text as it is.
void formatText(const char16_t *code, const char16_t *text, ExcelFmtOut *out)
{
    if (code) {
        const char16_t *starts[4];
        size_t lengths[4];
        uint32_t count = Excel_Fmt_splitSections(code, starts, lengths);
        const char16_t *s = nullptr;
        size_t n = 0;
        if (count == 4) {
            s = starts[3];
            n = lengths[3];
        } else if (count == 1) {
            for (size_t i = 0; i < lengths[0]; i++)
                if (starts[0][i] == '@') {
                    s = starts[0];
                    n = lengths[0];
                }
        }
        if (s) {
            formatLiteralSection(s, s + n, out, text);
            return;
        }
    }
    Excel_FmtOut_putN(out, text, Ustr_len(text));
}

// Built-in codes of the indexes the engine lays out itself.
const char *builtinCode(uint32_t index, bool japanese)
{
    switch (index) {
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13: return "# ?\?/?\?";
    case 39: return japanese ? "#,##0.00;-#,##0.00" : "#,##0.00_);(#,##0.00)";
    case 40: return japanese ? "#,##0.00;[Red]-#,##0.00" : "#,##0.00_);[Red](#,##0.00)";
    case 48: return "##0.0E+0";
    default: return nullptr;
    }
}

bool isBuiltinDate(uint32_t index)
{
    return (index >= 15 && index <= 21) || (index >= 30 && index <= 33) ||
           (index >= 45 && index <= 47) || (index >= 55 && index <= 58);
}

// Code characters 0x80-0x9F read as Windows-1252 (the "ja-jp" rule).
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Formats a number by index and code into out.
int formatNumber(const Excel_FmtRequest *request, double v, ExcelFmtOut *out)
{
    uint32_t index = request->formatIndex;
    bool japanese = Excel_Fmt_localeIs(request->locale, "ja-jp");
    if (std::isnan(v) || std::isinf(v)) {
        Excel_FmtOut_putAscii(out, "#NUM!");
        return Res_ok;
    }
    if (request->kind == Excel_fmtGeneral || request->kind == Excel_fmtEmpty || index == 0 ||
        index == 49) {
        formatGeneral(v, request->width, out);
        return Res_ok;
    }
    if (isBuiltinDate(index)) {
        if (!Excel_Fmt_formatBuiltinDate(request, index, v, out))
            Excel_FmtOut_putAscii(out, "gmtime()?");
        return Res_ok;
    }
    const char16_t *code = request->code;
    char16_t *owned = nullptr;
    if (index == 14 || index == 22) {
        owned = index == 14
                    ? Excel_Fmt_configText(request, "Vexlan_excelLocaleDateShort",
                                           japanese ? "yyyy/mm/dd" : "dd/mm/yyyy")
                    : Excel_Fmt_configText(request, "Vexlan_excelLocaleDateAndTime",
                                           japanese ? "yyyy/mm/dd h:mm" : "dd/mm/yyyy hh:mm");
        if (!owned)
            return Res_noMemory;
        code = owned;
    } else if (const char *builtin = builtinCode(index, japanese)) {
        owned = Ustr_fromCstr(builtin);
        if (!owned)
            return Res_noMemory;
        code = owned;
    }
    if (!code || !code[0]) {
        formatGeneral(v, request->width, out);
        Mem_free(owned);
        return Res_ok;
    }
    if (japanese) {
        // Code bytes 0x80-0x9F of the Japanese locale are Windows-1252.
        size_t n = Ustr_len(code);
        char16_t *mapped = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
        if (!mapped) {
            Mem_free(owned);
            return Res_noMemory;
        }
        for (size_t i = 0; i <= n; i++)
            mapped[i] = code[i] >= 0x80 && code[i] <= 0x9F ? cp1252High[code[i] - 0x80] : code[i];
        Mem_free(owned);
        owned = mapped;
        code = owned;
    }
    formatCode(request, code, v, out);
    Mem_free(owned);
    return Res_ok;
}

} // namespace

int Excel_Fmt_formatValue(const Excel_FmtRequest *request, char16_t **result)
{
    if (result)
        *result = nullptr;
    if (!request || !result)
        return Res_missingArgument;
    const void *value = request->value;
    uint32_t kind = request->kind;
    if (!value && kind != Excel_fmtEmpty && kind != Excel_fmtArray)
        return Res_missingArgument;
    if (request->colour)
        *request->colour = Excel_fmtNoColour;
    ExcelFmtOut out;
    out.n = 0;
    int rc = Res_ok;
    switch (kind) {
    case Excel_fmtEmpty:
        if (value)
            rc = formatNumber(request, *static_cast<const double *>(value), &out);
        break;
    case Excel_fmtBoolean:
        Excel_FmtOut_putAscii(&out, *static_cast<const uint8_t *>(value) ? "TRUE" : "FALSE");
        break;
    case Excel_fmtInteger: {
        int32_t v = *static_cast<const int32_t *>(value);
        // A zero integer hides like a zero number.
        if (!(request->flags & Excel_fmtShowZero) && v == 0)
            Excel_FmtOut_put(&out, ' ');
        else
            rc = formatNumber(request, v, &out);
        break;
    }
    case Excel_fmtNumber:
    case Excel_fmtGeneral: {
        double v = *static_cast<const double *>(value);
        // Magnitudes below the smallest normal double show as a space
        // unless zero is to be shown.
        if (!(request->flags & Excel_fmtShowZero) && std::fabs(v) < 2.2250738585072014e-308)
            Excel_FmtOut_put(&out, ' ');
        else
            rc = formatNumber(request, v, &out);
        break;
    }
    case Excel_fmtError: Excel_FmtOut_putAscii(&out, static_cast<const char *>(value)); break;
    case Excel_fmtText:
        if (request->formatIndex == 0 || request->formatIndex == 49)
            Excel_FmtOut_putN(&out, static_cast<const char16_t *>(value),
                              Ustr_len(static_cast<const char16_t *>(value)));
        else
            formatText(request->code, static_cast<const char16_t *>(value), &out);
        break;
    case Excel_fmtArray: Excel_FmtOut_putAscii(&out, "array type"); break;
    default: Excel_FmtOut_putAscii(&out, "unsupport"); break;
    }
    if (rc != Res_ok)
        return rc;
    if (Excel_Fmt_localeIs(request->locale, "ja-jp")) {
        for (uint32_t i = 0; i < out.n; i++)
            if (out.s[i] == '\\')
                out.s[i] = 0x00A5;
    }
    char16_t *text = static_cast<char16_t *>(Mem_malloc((out.n + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    memcpy(text, out.s, out.n * sizeof(char16_t));
    text[out.n] = 0;
    *result = text;
    return Res_ok;
}
