// Typed cell input: numbers (plain, with thousands separators, with an
// exponent), dates in the locale's order, times, dates with times, and
// text for anything else.
#include "spreadsheet/format/input.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "core/time/localeset.h"
#include "core/host/hostservices.h"
#include "core/time/httpdate.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/reader/workbook.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char *skipSpaces(const char *p)
{
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

} // namespace

size_t Excel_Input_parseNumber(const char *text, double *value, uint16_t *format, int *grouped)
{
    *value = 0;
    *format = Excel_inputGeneral;
    *grouped = 0;
    const char *p = text;
    if (*p == '+' || *p == '-')
        p++;
    if (!isDigit(*p))
        return 0;
    bool point = false, exponent = false, comma = false, bad = false;
    size_t group = 0; // digits since the start or the last ","
    char digits[72];
    size_t n = 0;
    if (*text == '-')
        digits[n++] = '-';
    for (;;) {
        char c = *p;
        if (isDigit(c)) {
            if (!point && !exponent)
                group++;
        } else if (c == ',') {
            if (point || exponent || (comma ? group != 3 : group == 0 || group > 3)) {
                bad = true;
                break;
            }
            comma = true;
            group = 0;
            p++;
            continue;
        } else if (c == '.') {
            if (point || exponent || (comma && group != 3)) {
                bad = true;
                break;
            }
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent) {
            const char *q = p + 1;
            if (*q == '+' || *q == '-')
                q++;
            if (!isDigit(*q))
                break;
            exponent = true;
            for (; p < q; p++)
                if (n < sizeof digits - 1)
                    digits[n++] = *p;
            continue;
        } else if (c == 'e' || c == 'E') {
            bad = true; // a second exponent
            break;
        } else {
            break;
        }
        if (n < sizeof digits - 1)
            digits[n++] = c;
        p++;
    }
    if (!bad && comma && !point && !exponent && group != 3)
        bad = true;
    digits[n] = 0;
    size_t consumed = static_cast<size_t>(p - text);
    if (bad || n >= sizeof digits - 1) {
        *format = Excel_inputText;
        return consumed;
    }
    *value = Std_atof(digits);
    *grouped = comma ? 1 : 0;
    if (exponent)
        *format = Excel_inputScientific;
    else if (comma)
        *format = point ? Excel_inputGroupedDecimal : Excel_inputGrouped;
    return consumed;
}

size_t Excel_Input_parseTime(const char *text, double *date)
{
    *date = 0;
    const char *p = text;
    int32_t part[3] = {0, 0, 0};
    int fields = 0;
    for (; fields < 3; fields++) {
        int32_t v = 0;
        int digits = 0;
        while (isDigit(*p) && digits < (fields == 0 ? 4 : 2)) {
            v = v * 10 + (*p++ - '0');
            digits++;
        }
        if (digits == 0 || isDigit(*p))
            return 0;
        part[fields] = v;
        if (*p != ':' || fields == 2)
            break;
        p++;
    }
    fields++;
    if (fields < 2 || part[1] > 59 || part[2] > 59)
        return 0;
    double seconds = part[2];
    if (fields == 3 && *p == '.' && isDigit(p[1])) {
        double scale = 0.1;
        for (p++; isDigit(*p); p++, scale /= 10)
            seconds += (*p - '0') * scale;
    }
    // "AM" and "PM" take hours 1-12.
    const char *q = skipSpaces(p);
    int32_t hour = part[0];
    if ((q[0] == 'a' || q[0] == 'A' || q[0] == 'p' || q[0] == 'P') &&
        (q[1] == 'm' || q[1] == 'M') &&
        !((q[2] >= 'a' && q[2] <= 'z') || (q[2] >= 'A' && q[2] <= 'Z'))) {
        if (hour < 1 || hour > 12)
            return 0;
        bool pm = q[0] == 'p' || q[0] == 'P';
        hour = hour % 12 + (pm ? 12 : 0);
        p = q + 2;
    }
    *date = (hour * 3600.0 + part[1] * 60.0 + seconds) / 86400.0;
    return static_cast<size_t>(p - text);
}

namespace {

// A month name or abbreviation of at least three letters: 1-12, or 0.
int32_t monthOfWord(const char *word, size_t n)
{
    if (n < 3)
        return 0;
    for (int32_t m = 0; m < 12; m++) {
        const char *names[2] = {Locale_getDateFormat(LocaleFormat_monthA, m), Date_monthName(m)};
        for (const char *name : names) {
            if (name && strlen(name) >= n && Cstr_nicmp(name, word, n) == 0)
                return m + 1;
        }
    }
    return 0;
}

struct Field {
    int32_t value;
    int digits; // 0 for a month name
};

} // namespace

size_t Excel_Input_parseDate(const char *text, Excel_Date *date, const char *order,
                             int32_t currentYear)
{
    *date = Excel_Date{0, 0, 0};
    Field fields[3];
    int count = 0;
    char sep = 0;
    const char *p = text;
    const char *end = text;
    while (count < 3) {
        Field f{0, 0};
        const char *start = p;
        if (isDigit(*p)) {
            while (isDigit(*p) && f.digits < 5) {
                f.value = f.value * 10 + (*p++ - '0');
                f.digits++;
            }
            // A number followed by ":" starts a time, not a date field.
            if (isDigit(*p) || *p == ':') {
                p = start;
                break;
            }
        } else if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) {
            while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))
                p++;
            f.value = monthOfWord(start, static_cast<size_t>(p - start));
            if (!f.value)
                return 0;
        } else {
            break;
        }
        fields[count++] = f;
        end = p;
        // One separator: "/", "-" or "." (the same each time), or spaces
        // (a "," may come before them: "Jan 3, 2007").
        if (*p == '/' || *p == '-' || *p == '.') {
            if (sep && sep != *p)
                return 0;
            sep = *p++;
            if (!isDigit(*p) && !((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')))
                return 0;
            continue;
        }
        if (*p == ',' && p[1] == ' ')
            p++;
        if (*p == ' ') {
            p = skipSpaces(p);
            continue;
        }
        break;
    }
    if (count < 2)
        return 0;
    int32_t day = 0, month = 0, year = currentYear + 1900;
    int yearDigits = 4;
    int names = 0;
    for (int i = 0; i < count; i++)
        names += fields[i].digits == 0;
    if (names > 1)
        return 0;
    // The fields in the locale's order: a month name is the month; the
    // numbers take the other places in order (without a year when only
    // two fields were typed).
    char places[4];
    size_t k = 0;
    for (const char *o = order; *o && k < 3; o++) {
        if (names && *o == 'm')
            continue;
        if (count == 2 && *o == 'y')
            continue;
        places[k++] = *o;
    }
    places[k] = 0;
    size_t next = 0;
    for (int i = 0; i < count; i++) {
        if (fields[i].digits == 0) {
            month = fields[i].value;
            continue;
        }
        char place = next < k ? places[next++] : 'd';
        if (names && count == 2 && fields[i].value > 31)
            place = 'y';
        if (place == 'd')
            day = fields[i].value;
        else if (place == 'm')
            month = fields[i].value;
        else {
            year = fields[i].value;
            yearDigits = fields[i].digits;
        }
    }
    if (names && count == 2 && day == 0)
        day = 1;
    // Two-digit years: 00-29 this century, 30-99 the last.
    if (yearDigits <= 2)
        year += year < 30 ? 2000 : 1900;
    // Points separate dates only with a four-digit year ("1.2.3" is text).
    if (sep == '.' && yearDigits != 4)
        return 0;
    *date = Excel_Date{day, month - 1, year - 1900};
    return static_cast<size_t>(end - text);
}

void Excel_Input_makeDate(int32_t day, int32_t month, int32_t year, uint16_t *format, double *value)
{
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > Excel_Date_daysInMonth(year, month)) {
        *format = Excel_inputText;
        *value = 0;
        return;
    }
    Excel_Date d{day, month - 1, year - 1900};
    double time = *value;
    *value = Excel_Date_toSerial(&d) + time;
    *format = time > 2.220446049250313e-16 ? Excel_inputDateTime : Excel_inputDate;
}

namespace {

// The order of day, month and year in the locale's short date code.
int dateOrder(char *order)
{
    EngineInstance *instance = Host_getThreadContext();
    EngineContext *ctx = instance ? instance->context : nullptr;
    const LocaleEntry *row = Locale_getCurrentRow();
    bool japanese = row && Cstr_icmp(row->tag, "ja-jp") == 0;
    const char *fallback = japanese ? "yyyy/mm/dd" : "dd/mm/yyyy";
    char16_t *code = nullptr;
    if (ctx && ctx->config) {
        char16_t *def = Ustr_fromCstr(fallback);
        if (!def)
            return Res_noMemory;
        // A key that is there without a text (a reader asked for it with
        // no default, which leaves it so) gives no code: the fallback
        // order holds, as it does for a code without d, m and y.
        code = Config_getUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateShort", def);
        Mem_free(def);
    }
    size_t k = 0;
    if (code) {
        for (const char16_t *p = code; *p && k < 3; p++) {
            char c = static_cast<char>(Ustr_lowerAscii(*p));
            if ((c == 'd' || c == 'm' || c == 'y') && !memchr(order, c, k))
                order[k++] = c;
        }
        Mem_free(code);
    }
    if (k != 3)
        memcpy(order, japanese ? "ymd" : "dmy", 3);
    order[3] = 0;
    return Res_ok;
}

} // namespace

int Excel_Input_parse(const ExcelWorkbook *workbook, const char *input, double *value,
                      uint16_t *format)
{
    if (value)
        *value = 0;
    if (format)
        *format = Excel_inputText;
    if (!input || !value || !format)
        return Res_missingArgument;
    const char *p = skipSpaces(input);
    if (!*p)
        return Res_ok;
    double v;
    uint16_t f;
    int grouped;
    size_t n = Excel_Input_parseNumber(p, &v, &f, &grouped);
    if (n && !*skipSpaces(p + n)) {
        if (f != Excel_inputText) {
            *value = v;
            *format = f;
        }
        return Res_ok;
    }
    char order[4];
    int rc = dateOrder(order);
    if (rc != Res_ok)
        return rc;
    BrokenTime now;
    Date_toLocalParts(&now, Date_now(nullptr));
    Excel_Date d;
    size_t dn = Excel_Input_parseDate(p, &d, order, now.year);
    if (dn) {
        const char *rest = skipSpaces(p + dn);
        double t = 0;
        if (*rest) {
            size_t tn = Excel_Input_parseTime(rest, &t);
            if (!tn || *skipSpaces(rest + tn))
                return Res_ok;
        }
        Excel_Input_makeDate(d.day, d.month + 1, d.year + 1900, &f, &t);
        if (f != Excel_inputText && workbook && workbook->date1904) {
            // The 1904 date system counts from 1904-01-01; earlier dates
            // have no serial there and stay text.
            t -= double(Excel_inputSerial1904);
            if (t < 0) {
                f = Excel_inputText;
                t = 0;
            }
        }
        if (f != Excel_inputText) {
            *value = t;
            *format = f;
        }
        return Res_ok;
    }
    double t;
    size_t tn = Excel_Input_parseTime(p, &t);
    if (tn && !*skipSpaces(p + tn)) {
        // A time alone: "h:mm", or "h:mm:ss" when seconds were typed.
        size_t colons = 0;
        for (size_t i = 0; i < tn; i++)
            colons += p[i] == ':';
        *value = t;
        *format = colons > 1 ? 21 : 20;
    }
    return Res_ok;
}
