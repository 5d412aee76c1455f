// Dates and times of the number-format engine: serial numbers and calendar
// dates (1900 counted as a leap year, as spreadsheets have always done),
// the built-in date and time formats, and date and time codes cut into
// tokens ("yyyy", "mmm", "d", "hh", "[h]", "ss.00", "AM/PM", eras).
#include <cmath>
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "core/time/localeset.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/format/numfmt_internal.h"

namespace {

constexpr int32_t monthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

// Days before the end of each month, minus one.
constexpr int32_t monthEnds[2][12] = {
    {30, 58, 89, 119, 150, 180, 211, 242, 272, 303, 333, 364},
    {30, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
};

constexpr int64_t serialMax = 2958465; // 9999-12-31
constexpr int64_t serial1904 = 1462;   // 1904-01-01 in the 1900 system

bool isLeap(int32_t year)
{
    return year == 1900 || (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The proleptic Gregorian date of days since 1970-01-01 (the 400-year
// cycle of 146097 days).
void civilFromDays(int64_t z, int32_t *year, int32_t *month, int32_t *day)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int32_t>(y + (m <= 2));
    *month = static_cast<int32_t>(m);
    *day = static_cast<int32_t>(d);
}

} // namespace

int32_t Excel_Date_daysInMonth(int32_t year, int32_t month)
{
    if (month < 1 || month > 12)
        return 0;
    return monthDays[isLeap(year) ? 1 : 0][month - 1];
}

double Excel_Date_toSerial(const Excel_Date *date)
{
    if (!date)
        return 0.0;
    int32_t y = date->year;
    int32_t m = date->month < 0 ? 0 : date->month > 11 ? 11 : date->month;
    int32_t leap = y == 0 ? 1 : isLeap(y + 1900) ? 1 : 0;
    int64_t days = int64_t(y - 70) * 365 + (y / 4 - y / 100 + (y + 300) / 400 - 17 - leap);
    days += monthEnds[leap][m] - monthDays[leap][m] + date->day;
    return static_cast<double>(days + 25569);
}

bool Excel_Date_fromSerial(int64_t serial, Excel_Date *date)
{
    if (!date || serial < 0 || serial > serialMax)
        return false;
    if (serial == 60) {
        *date = Excel_Date{29, 1, 0};
        return true;
    }
    // Before the false 1900-02-29 every serial stands one day later.
    int64_t days = serial < 60 ? serial + 1 : serial;
    int32_t y, m, d;
    civilFromDays(days - 25569, &y, &m, &d);
    *date = Excel_Date{d, m - 1, y - 1900};
    return true;
}

namespace {

// ------------------------------------------------------------ broken down

struct DateParts {
    Excel_Date date;
    int32_t weekday;      // 0 Sunday
    int64_t elapsedHours; // whole hours since serial 0
    int32_t hour, minute, second;
    int32_t fraction; // of a second, in units of 10^-fractionDigits
    bool dateValid;
};

// Breaks v (not negative) down, the time rounded to fractionDigits decimals
// of a second.
void breakDown(double v, int32_t fractionDigits, bool date1904, DateParts *parts)
{
    int64_t unit = 1;
    for (int32_t i = 0; i < fractionDigits; i++)
        unit *= 10;
    double scaled = std::floor(v * 86400.0 * double(unit) + 0.5);
    if (scaled > 9.0e15)
        scaled = 9.0e15;
    int64_t total = static_cast<int64_t>(scaled);
    int64_t perDay = 86400 * unit;
    int64_t days = total / perDay;
    int64_t rem = total % perDay;
    parts->fraction = static_cast<int32_t>(rem % unit);
    int64_t secs = rem / unit;
    parts->hour = static_cast<int32_t>(secs / 3600);
    parts->minute = static_cast<int32_t>(secs / 60 % 60);
    parts->second = static_cast<int32_t>(secs % 60);
    parts->elapsedHours = total / unit / 3600;
    int64_t serial = days + (date1904 ? serial1904 : 0);
    parts->dateValid = Excel_Date_fromSerial(serial, &parts->date);
    // Weekday of the calendar date shown (1899-12-30 was a Saturday).
    int64_t real = serial < 60 ? serial + 1 : serial;
    parts->weekday = static_cast<int32_t>((real + 6) % 7);
}

// --------------------------------------------------------- names and words

const char *monthName(int32_t m)
{
    const char *s = Locale_getDateFormat(LocaleFormat_monthA, m);
    return s && s[0] ? s : Date_monthName(m);
}

const char *weekdayName(int32_t w)
{
    const char *s = Locale_getDateFormat(LocaleFormat_weekdayA, w);
    return s && s[0] ? s : Date_weekdayName(w);
}

const char *dayWord(int32_t hour)
{
    const char *s = Locale_getDateFormat(LocaleFormat_further, hour < 12 ? 0 : 1);
    return s && s[0] ? s : hour < 12 ? "AM" : "PM";
}

// The first three characters of a name.
void putAbbreviation(ExcelFmtOut *out, const char *name)
{
    for (int i = 0; i < 3 && name[i]; i++)
        Excel_FmtOut_put(out, static_cast<unsigned char>(name[i]));
}

void putUtf16(ExcelFmtOut *out, const char16_t *s)
{
    Excel_FmtOut_putN(out, s, Ustr_len(s));
}

struct Era {
    int32_t year, month, day; // first day
    char16_t letter;
    char16_t name[3];
};

constexpr Era eras[] = {
    {2019, 5, 1, 'R', {0x4EE4, 0x548C, 0}},   // Reiwa
    {1989, 1, 8, 'H', {0x5E73, 0x6210, 0}},   // Heisei
    {1926, 12, 25, 'S', {0x662D, 0x548C, 0}}, // Showa
    {1912, 7, 30, 'T', {0x5927, 0x6B63, 0}},  // Taisho
    {1868, 1, 1, 'M', {0x660E, 0x6CBB, 0}},   // Meiji
};

const Era *eraOf(const Excel_Date &d, int32_t *eraYear)
{
    int32_t y = d.year + 1900;
    for (const Era &e : eras) {
        if (y > e.year || (y == e.year &&
                           (d.month + 1 > e.month || (d.month + 1 == e.month && d.day >= e.day)))) {
            *eraYear = y - e.year + 1;
            return &e;
        }
    }
    *eraYear = y;
    return nullptr;
}

// ------------------------------------------------------------------ tokens

enum TokenKind : uint8_t {
    tokLiteral,  // text at lit
    tokYear,     // count 2 or 4
    tokMonthMin, // "m" or "mm", month or minute decided later
    tokMonth,    // count 1, 2: number; 3 abbreviation; 4 name; 5 letter
    tokMinute,   // count 1 or 2
    tokDay,      // count 1-4
    tokHour,     // count 1 or 2
    tokElapsed,  // "[h]"
    tokSecond,   // count 1 or 2
    tokFraction, // count 1-3 digits
    tokAmPm,
    tokEraName, // "ggg": count 3; "gg": first character; "g": letter
    tokEraYear, // "e"
    tokWeekday, // "aaa" count 3, "aaaa" count 4
    tokText,    // "@"
};

struct Token {
    TokenKind kind;
    uint8_t count;
    const char16_t *lit;
    uint16_t litLen;
};

constexpr int32_t maxTokens = 128;

struct Tokens {
    Token t[maxTokens];
    int32_t n;
    int32_t fractionDigits;
    bool ampm;
    bool usesDate;
    bool elapsed;
    const char *locale; // from a "[$-xxx]" bracket, else the request's
};

void add(Tokens *ts, TokenKind kind, uint8_t count, const char16_t *lit = nullptr,
         size_t litLen = 0)
{
    if (ts->n >= maxTokens)
        return;
    ts->t[ts->n++] =
        Token{kind, count, lit, static_cast<uint16_t>(litLen > 0xFFFF ? 0xFFFF : litLen)};
}

size_t runOf(const char16_t *p, const char16_t *end, char16_t letter)
{
    size_t n = 0;
    while (p + n < end && Ustr_lowerAscii(p[n]) == letter)
        n++;
    return n;
}

bool startsWithIgnoringCase(const char16_t *p, const char16_t *end, const char *word)
{
    for (size_t i = 0; word[i]; i++) {
        if (p + i >= end ||
            Ustr_lowerAscii(p[i]) != Ustr_lowerAscii(static_cast<unsigned char>(word[i])))
            return false;
    }
    return true;
}

// A locale named by "[$-xxx]": 0x411 Japanese, 0x404 and 0x804 Chinese.
const char *localeOfBracket(const char16_t *content, size_t n)
{
    uint32_t id = 0;
    size_t i = 0;
    while (i < n && content[i] != '-')
        i++;
    for (i++; i < n; i++) {
        char16_t c = content[i];
        uint32_t d = c >= '0' && c <= '9'   ? c - '0'
                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                            : 16;
        if (d == 16)
            break;
        id = (id << 4 | d) & 0xFFFFFF;
    }
    switch (id & 0xFFFF) {
    case 0x411: return "ja-jp";
    case 0x404: return "zh-tw";
    case 0x804: return "zh-cn";
    default: return nullptr;
    }
}

void tokenise(const char16_t *s, const char16_t *end, Tokens *ts)
{
    for (const char16_t *p = s; p < end;) {
        char16_t c = *p;
        char16_t lc = static_cast<char16_t>(Ustr_lowerAscii(c));
        if (c == '"') {
            const char16_t *q = p + 1;
            while (q < end && *q != '"')
                q++;
            add(ts, tokLiteral, 0, p + 1, static_cast<size_t>(q - p - 1));
            p = q < end ? q + 1 : q;
            continue;
        }
        if (c == '\\') {
            if (p + 1 < end)
                add(ts, tokLiteral, 0, p + 1, 1);
            p = p + 1 < end ? p + 2 : end;
            continue;
        }
        if (c == '_' || c == '*') {
            p = p + 1 < end ? p + 2 : end;
            continue;
        }
        if (c == '[') {
            const char16_t *q = p + 1;
            while (q < end && *q != ']')
                q++;
            const char16_t *content = p + 1;
            size_t n = static_cast<size_t>(q - content);
            if (n >= 1 && Ustr_lowerAscii(content[0]) == 'h' && runOf(content, q, 'h') == n) {
                add(ts, tokElapsed, static_cast<uint8_t>(n > 2 ? 2 : n));
                ts->elapsed = true;
            } else if (n >= 1 && content[0] == '$') {
                size_t i = 1;
                while (i < n && content[i] != '-')
                    i++;
                if (i > 1)
                    add(ts, tokLiteral, 0, content + 1, i - 1);
                if (const char *loc = localeOfBracket(content, n))
                    ts->locale = loc;
            }
            p = q < end ? q + 1 : q;
            continue;
        }
        if (startsWithIgnoringCase(p, end, "am/pm")) {
            add(ts, tokAmPm, 0);
            ts->ampm = true;
            p += 5;
            continue;
        }
        size_t run;
        switch (lc) {
        case 'y':
            run = runOf(p, end, 'y');
            add(ts, tokYear, run <= 2 ? 2 : 4);
            ts->usesDate = true;
            p += run;
            continue;
        case 'm':
            run = runOf(p, end, 'm');
            if (run <= 2) {
                add(ts, tokMonthMin, static_cast<uint8_t>(run));
            } else {
                add(ts, tokMonth, static_cast<uint8_t>(run > 5 ? 4 : run));
                ts->usesDate = true;
            }
            p += run;
            continue;
        case 'd':
            run = runOf(p, end, 'd');
            add(ts, tokDay, static_cast<uint8_t>(run > 4 ? 4 : run));
            ts->usesDate = true;
            p += run;
            continue;
        case 'h':
            run = runOf(p, end, 'h');
            add(ts, tokHour, static_cast<uint8_t>(run > 2 ? 2 : run));
            p += run;
            continue;
        case 's':
            run = runOf(p, end, 's');
            add(ts, tokSecond, static_cast<uint8_t>(run > 2 ? 2 : run));
            p += run;
            continue;
        case 'g':
            run = runOf(p, end, 'g');
            add(ts, tokEraName, static_cast<uint8_t>(run > 3 ? 3 : run));
            ts->usesDate = true;
            p += run;
            continue;
        case 'e':
            run = runOf(p, end, 'e');
            add(ts, tokEraYear, static_cast<uint8_t>(run > 2 ? 2 : run));
            ts->usesDate = true;
            p += run;
            continue;
        case 'a':
            run = runOf(p, end, 'a');
            if (run >= 3) {
                add(ts, tokWeekday, static_cast<uint8_t>(run > 4 ? 4 : 3));
                ts->usesDate = true;
                p += run;
                continue;
            }
            break;
        case '@':
            add(ts, tokText, 0);
            p++;
            continue;
        default: break;
        }
        if (c == '.' && p + 1 < end && p[1] == '0') {
            size_t zeros = 0;
            while (p + 1 + zeros < end && p[1 + zeros] == '0')
                zeros++;
            int32_t digits = static_cast<int32_t>(zeros > 3 ? 3 : zeros);
            add(ts, tokFraction, static_cast<uint8_t>(digits));
            if (digits > ts->fractionDigits)
                ts->fractionDigits = digits;
            p += 1 + zeros;
            continue;
        }
        add(ts, tokLiteral, 0, p, 1);
        p++;
    }
    // "m" and "mm" are minutes right after hours or right before seconds.
    for (int32_t i = 0; i < ts->n; i++) {
        Token &t = ts->t[i];
        if (t.kind != tokMonthMin)
            continue;
        bool minute = false;
        for (int32_t j = i - 1; j >= 0; j--) {
            if (ts->t[j].kind == tokLiteral)
                continue;
            minute = ts->t[j].kind == tokHour || ts->t[j].kind == tokElapsed;
            break;
        }
        for (int32_t j = i + 1; j < ts->n && !minute; j++) {
            if (ts->t[j].kind == tokLiteral)
                continue;
            minute = ts->t[j].kind == tokSecond;
            break;
        }
        t.kind = minute ? tokMinute : tokMonth;
        if (!minute)
            ts->usesDate = true;
    }
}

void render(const Tokens &ts, const DateParts &dp, const Excel_FmtRequest *request,
            ExcelFmtOut *out)
{
    bool japanese = Excel_Fmt_localeIs(ts.locale, "ja-jp");
    const Excel_Date &d = dp.date;
    int32_t eraYear = 0;
    const Era *era = eraOf(d, &eraYear);
    for (int32_t i = 0; i < ts.n; i++) {
        const Token &t = ts.t[i];
        switch (t.kind) {
        case tokLiteral: Excel_FmtOut_putN(out, t.lit, t.litLen); break;
        case tokYear:
            if (t.count == 2)
                Excel_FmtOut_printf(out, "%02d", (d.year + 1900) % 100);
            else
                Excel_FmtOut_printf(out, "%04d", d.year + 1900);
            break;
        case tokMonth:
            if (t.count == 1)
                Excel_FmtOut_printf(out, "%d", d.month + 1);
            else if (t.count == 2)
                Excel_FmtOut_printf(out, "%02d", d.month + 1);
            else if (t.count == 3)
                Excel_FmtOut_putAscii(out, Date_monthShortName(d.month));
            else if (t.count == 4)
                Excel_FmtOut_putAscii(out, monthName(d.month));
            else
                Excel_FmtOut_put(out, static_cast<unsigned char>(monthName(d.month)[0]));
            break;
        case tokMinute: Excel_FmtOut_printf(out, t.count == 1 ? "%d" : "%02d", dp.minute); break;
        case tokDay:
            if (t.count == 1) {
                Excel_FmtOut_printf(out, "%d", d.day);
            } else if (t.count == 2) {
                Excel_FmtOut_printf(out, "%02d", d.day);
            } else if (t.count == 3) {
                putAbbreviation(out, weekdayName(dp.weekday));
            } else {
                Excel_FmtOut_putAscii(out, weekdayName(dp.weekday));
            }
            break;
        case tokHour: {
            int32_t h = dp.hour;
            if (ts.ampm) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            Excel_FmtOut_printf(out, t.count == 1 ? "%d" : "%02d", h);
            break;
        }
        case tokElapsed: {
            char buf[32];
            Fmt_snprintf(
                buf, sizeof buf, t.count == 1 ? "%d" : "%02d",
                static_cast<int>(dp.elapsedHours > 0x7FFFFFFF ? 0x7FFFFFFF : dp.elapsedHours));
            Excel_FmtOut_putAscii(out, buf);
            break;
        }
        case tokSecond: Excel_FmtOut_printf(out, t.count == 1 ? "%d" : "%02d", dp.second); break;
        case tokFraction: {
            // Digits of the rounded fraction, as many as this token shows.
            int32_t f = dp.fraction;
            for (int32_t k = ts.fractionDigits; k > t.count; k--)
                f /= 10;
            Excel_FmtOut_put(out, '.');
            Excel_FmtOut_printf(out, t.count == 1 ? "%01d" : t.count == 2 ? "%02d" : "%03d", f);
            break;
        }
        case tokAmPm: Excel_FmtOut_putAscii(out, dayWord(dp.hour)); break;
        case tokEraName:
            if (!era)
                break;
            if (t.count >= 3)
                putUtf16(out, era->name);
            else if (t.count == 2)
                Excel_FmtOut_put(out, era->name[0]);
            else
                Excel_FmtOut_put(out, era->letter);
            break;
        case tokEraYear:
            Excel_FmtOut_printf(out, t.count == 1 ? "%d" : "%02d", era ? eraYear : d.year + 1900);
            break;
        case tokWeekday:
            if (japanese) {
                static constexpr char16_t names[7] = {0x65E5, 0x6708, 0x706B, 0x6C34,
                                                      0x6728, 0x91D1, 0x571F};
                Excel_FmtOut_put(out, names[dp.weekday]);
                if (t.count == 4) {
                    Excel_FmtOut_put(out, 0x66DC);
                    Excel_FmtOut_put(out, 0x65E5);
                }
            } else if (t.count == 4) {
                Excel_FmtOut_putAscii(out, weekdayName(dp.weekday));
            } else {
                putAbbreviation(out, weekdayName(dp.weekday));
            }
            break;
        case tokText:
        case tokMonthMin: break;
        }
    }
    (void)request;
}

// The system long-date and time codes ("[$-F800]", "[$-F400]").
bool systemCode(const char16_t *s, const char16_t *end, const char *which)
{
    for (const char16_t *p = s; p + 7 <= end; p++) {
        if (p[0] == '[' && startsWithIgnoringCase(p + 1, end, which))
            return true;
    }
    return false;
}

bool formatSection(const Excel_FmtRequest *request, const char16_t *s, const char16_t *end,
                   double v, ExcelFmtOut *out, int depth)
{
    // "[$-F800]" and "[$-F400]" stand for the locale's long date and time.
    if (depth == 0 && (systemCode(s, end, "$-F800]") || systemCode(s, end, "$-F400]"))) {
        bool longDate = systemCode(s, end, "$-F800]");
        const char *loc = request->locale;
        if (longDate && (Excel_Fmt_localeIs(loc, "ja-jp") || Excel_Fmt_localeIs(loc, "zh-tw") ||
                         Excel_Fmt_localeIs(loc, "zh-cn"))) {
            // The long date of these locales: year, month and day with
            // their unit characters.
            static constexpr char16_t cjk[] = {'y', 'y',    'y', 'y',   0x5E74,
                                               'm', 0x6708, 'd', 0x65E5};
            return formatSection(request, cjk, cjk + 9, v, out, depth + 1);
        }
        char16_t *code =
            longDate
                ? Excel_Fmt_configText(request, "Vexlan_excelLocaleDateLong", "dd mmmm yyyy")
                : Excel_Fmt_configText(request, "Vexlan_excelLocaleTime",
                                       Excel_Fmt_localeIs(loc, "ja-jp") ? "h:mm:ss" : "hh:mm:ss");
        if (!code)
            return false;
        bool ok = formatSection(request, code, code + Ustr_len(code), v, out, depth + 1);
        Mem_free(code);
        return ok;
    }
    Tokens *ts = static_cast<Tokens *>(Mem_malloc(sizeof(Tokens)));
    if (!ts)
        return false;
    ts->n = 0;
    ts->fractionDigits = 0;
    ts->ampm = false;
    ts->usesDate = false;
    ts->elapsed = false;
    ts->locale = request->locale;
    tokenise(s, end, ts);
    bool ok = true;
    if (v < 0) {
        // Only elapsed hours can be negative.
        if (ts->elapsed) {
            Excel_FmtOut_put(out, '-');
            v = -v;
        } else {
            ok = false;
        }
    }
    if (ok && v > double(serialMax + 1))
        ok = !ts->usesDate && v < 1e12;
    if (ok) {
        DateParts dp;
        breakDown(v, ts->fractionDigits, (request->flags & Excel_fmtDate1904) != 0, &dp);
        if (ts->usesDate && !dp.dateValid)
            ok = false;
        else
            render(*ts, dp, request, out);
    }
    Mem_free(ts);
    return ok;
}

} // namespace

bool Excel_Fmt_formatDateSection(const Excel_FmtRequest *request, const char16_t *code,
                                 size_t length, double v, ExcelFmtOut *out)
{
    return formatSection(request, code, code + length, v, out, 0);
}

bool Excel_Fmt_formatBuiltinDate(const Excel_FmtRequest *request, uint32_t index, double v,
                                 ExcelFmtOut *out)
{
    if (v < 0 || v > double(serialMax + 1))
        return false;
    DateParts dp;
    breakDown(v, index == 47 ? 1 : 0, (request->flags & Excel_fmtDate1904) != 0, &dp);
    bool needsDate = index == 15 || index == 16 || index == 17 || index == 22 || index == 30 ||
                     index == 31 || (index >= 55 && index <= 58);
    if (needsDate && !dp.dateValid)
        return false;
    const Excel_Date &d = dp.date;
    int32_t h12 = dp.hour % 12 == 0 ? 12 : dp.hour % 12;
    // Unit characters of the East Asian formats.
    constexpr char16_t nen = 0x5E74, tsuki = 0x6708, hi = 0x65E5, ji = 0x6642, fun = 0x5206,
                       byou = 0x79D2;
    switch (index) {
    case 15:
        Excel_FmtOut_printf(out, "%d-%s-%02d", d.day, Date_monthShortName(d.month),
                            (d.year + 1900) % 100);
        break;
    case 16: Excel_FmtOut_printf(out, "%d-%s", d.day, Date_monthShortName(d.month)); break;
    case 17:
        Excel_FmtOut_printf(out, "%s-%02d", Date_monthShortName(d.month), (d.year + 1900) % 100);
        break;
    case 18: Excel_FmtOut_printf(out, "%d:%02d %s", h12, dp.minute, dayWord(dp.hour)); break;
    case 19:
        Excel_FmtOut_printf(out, "%d:%02d:%02d %s", h12, dp.minute, dp.second, dayWord(dp.hour));
        break;
    case 20: Excel_FmtOut_printf(out, "%d:%02d", dp.hour, dp.minute); break;
    case 21: Excel_FmtOut_printf(out, "%d:%02d:%02d", dp.hour, dp.minute, dp.second); break;
    case 22:
        Excel_FmtOut_printf(out, "%d/%d/%02d %d:%02d", d.month + 1, d.day, (d.year + 1900) % 100,
                            dp.hour, dp.minute);
        break;
    case 30:
        Excel_FmtOut_printf(out, "%02d/%02d/%02d", d.month + 1, d.day, (d.year + 1900) % 100);
        break;
    case 31:
    case 57:
        Excel_FmtOut_printf(out, "%d", d.year + 1900);
        Excel_FmtOut_put(out, nen);
        Excel_FmtOut_printf(out, "%d", d.month + 1);
        Excel_FmtOut_put(out, tsuki);
        Excel_FmtOut_printf(out, "%d", d.day);
        Excel_FmtOut_put(out, hi);
        break;
    case 32:
    case 33:
        Excel_FmtOut_printf(out, "%d", dp.hour);
        Excel_FmtOut_put(out, ji);
        Excel_FmtOut_printf(out, "%02d", dp.minute);
        Excel_FmtOut_put(out, fun);
        if (index == 33) {
            Excel_FmtOut_printf(out, "%02d", dp.second);
            Excel_FmtOut_put(out, byou);
        }
        break;
    case 45: Excel_FmtOut_printf(out, "%02d:%02d", dp.minute, dp.second); break;
    case 46:
        Excel_FmtOut_printf(out, "%d:%02d:%02d", static_cast<int>(dp.elapsedHours), dp.minute,
                            dp.second);
        break;
    case 47: Excel_FmtOut_printf(out, "%02d:%02d.%01d", dp.minute, dp.second, dp.fraction); break;
    case 55:
        Excel_FmtOut_printf(out, "%d", d.year + 1900);
        Excel_FmtOut_put(out, nen);
        Excel_FmtOut_printf(out, "%d", d.month + 1);
        Excel_FmtOut_put(out, tsuki);
        break;
    case 56:
    case 58:
        Excel_FmtOut_printf(out, "%d", d.month + 1);
        Excel_FmtOut_put(out, tsuki);
        Excel_FmtOut_printf(out, "%d", d.day);
        Excel_FmtOut_put(out, hi);
        break;
    default: return false;
    }
    return true;
}
