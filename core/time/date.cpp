// Dates and times: the calendar, the HTTP date forms and timestamp text.
//
// Day counts go through the civil-date formulas on 400-year eras (146097
// days each), which are exact for negative years and days as well, so the
// conversions agree with the Gregorian calendar everywhere (2100 is not a
// leap year; 2000 is). All arithmetic is 64-bit: the record's 32-bit
// fields can never overflow it.
#include "core/time/date.h"

#include "core/context/context.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/time/localeset.h"
#include "core/host/hostservices.h"

namespace {

const char *const monthNames[12] = {"January",   "February", "March",    "April",
                                    "May",       "June",     "July",     "August",
                                    "September", "October",  "November", "December"};
const char *const monthShort[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const weekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Day of the year of each month's first day, for common and leap years.
const int32_t monthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// Every field of the timestamp is clamped to its width, so its longest text
// is exactly this long.
static_assert(sizeof("MM/DD/YYYY hh:mm:ss") == Date_timestampSize);
static_assert(sizeof("GMT") == Date_zoneNameSize);

constexpr int64_t secondsPerDay = 86400;
constexpr int64_t daysPerEra = 146097; // days in 400 Gregorian years
constexpr int64_t epochShift = 719468; // days from 0000-03-01 to 1970-01-01

int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t floorMod(int64_t a, int64_t b)
{
    return a - floorDiv(a, b) * b;
}

bool isLeap(int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Days from 1970-01-01 to the first day of month (1-12) of the calendar
// year.
int64_t daysFromCivil(int64_t year, int64_t month)
{
    year -= month <= 2;
    int64_t era = floorDiv(year, 400);
    int64_t yearOfEra = year - era * 400;                                    // 0-399
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5; // from March 1
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * daysPerEra + dayOfEra - epochShift;
}

// Fills the date fields (mday, mon, year, wday, yday) of days since 1970.
void civilFromDays(int64_t days, BrokenTime *out)
{
    int64_t z = days + epochShift;
    int64_t era = floorDiv(z, daysPerEra);
    int64_t dayOfEra = z - era * daysPerEra; // 0-146096
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153; // 0 = March
    int64_t mday = dayOfYear - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9; // 1-12
    int64_t year = yearOfEra + era * 400 + (month <= 2);

    out->mday = int32_t(mday);
    out->mon = int32_t(month - 1);
    out->year = int32_t(year - 1900);
    out->yday = monthStart[isLeap(year)][month - 1] + int32_t(mday) - 1;
    out->wday = int32_t(floorMod(days + 4, 7)); // 1970-01-01 was a Thursday
}

void fillFromSeconds(int64_t seconds, BrokenTime *out)
{
    if (seconds > Time_limitSeconds)
        seconds = Time_limitSeconds;
    if (seconds < -Time_limitSeconds)
        seconds = -Time_limitSeconds;
    int64_t days = floorDiv(seconds, secondsPerDay);
    int64_t rest = seconds - days * secondsPerDay; // 0-86399
    out->hour = int32_t(rest / 3600);
    out->min = int32_t(rest / 60 % 60);
    out->sec = int32_t(rest % 60);
    civilFromDays(days, out);
}

int32_t digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

int32_t daysInMonth(int64_t year, int32_t month)
{
    int leap = isLeap(year);
    return monthStart[leap][month + 1] - monthStart[leap][month];
}

// The weekday whose abbreviation is the first three bytes of text, else -1.
int32_t parseWeekdayShort(const char *text)
{
    for (int32_t i = 0; i < 7; i++)
        if (text[0] == weekdayNames[i][0] && text[1] == weekdayNames[i][1] &&
            text[2] == weekdayNames[i][2])
            return i;
    return -1;
}

// The weekday whose full name followed by ',' starts text (length bytes),
// else -1; *after receives the position after the comma.
int32_t parseWeekdayFull(const char *text, size_t length, size_t *after)
{
    for (int32_t i = 0; i < 7; i++) {
        const char *name = weekdayNames[i];
        size_t k = 0;
        while (name[k] && k < length && text[k] == name[k])
            k++;
        if (!name[k] && k < length && text[k] == ',') {
            *after = k + 1;
            return i;
        }
    }
    return -1;
}

// The fields read from the text, before checking.
struct HttpFields {
    int32_t wday, mday, mon, year, hour, min, sec;
    size_t zoneAt; // 0: no zone (asctime)
};

bool parseRfc1123(const char *t, size_t length, HttpFields *f)
{
    if (length < 29 || t[7] != ' ' || t[11] != ' ' || t[16] != ' ' || t[25] != ' ' ||
        t[19] != ':' || t[22] != ':')
        return false;
    f->mday = Date_parse2Digits(t + 5);
    f->mon = Date_parseMonth(t + 8);
    f->year = Date_parse4Digits(t + 12);
    f->hour = Date_parse2Digits(t + 17);
    f->min = Date_parse2Digits(t + 20);
    f->sec = Date_parse2Digits(t + 23);
    f->zoneAt = 26;
    return true;
}

bool parseRfc850(const char *t, size_t length, size_t p, HttpFields *f)
{
    if (length < p + 22 || t[p + 2] != '-' || t[p + 6] != '-' || t[p + 9] != ' ' ||
        t[p + 12] != ':' || t[p + 15] != ':' || t[p + 18] != ' ')
        return false;
    f->mday = Date_parse2Digits(t + p);
    f->mon = Date_parseMonth(t + p + 3);
    int32_t yy = Date_parse2Digits(t + p + 7);
    f->year = yy < 0 ? -1 : (yy > 50 ? 1900 : 2000) + yy;
    f->hour = Date_parse2Digits(t + p + 10);
    f->min = Date_parse2Digits(t + p + 13);
    f->sec = Date_parse2Digits(t + p + 16);
    f->zoneAt = p + 19;
    return true;
}

bool parseAsctime(const char *t, HttpFields *f)
{
    if (t[7] != ' ' || t[10] != ' ' || t[19] != ' ' || t[13] != ':' || t[16] != ':')
        return false;
    f->mon = Date_parseMonth(t + 4);
    f->mday = t[8] == ' ' ? digit(t[9]) : Date_parse2Digits(t + 8);
    f->hour = Date_parse2Digits(t + 11);
    f->min = Date_parse2Digits(t + 14);
    f->sec = Date_parse2Digits(t + 17);
    f->year = Date_parse4Digits(t + 20);
    f->zoneAt = 0;
    return true;
}

bool fieldsInRange(const HttpFields *f)
{
    if (f->mday < 0 || f->mon < 0 || f->year < 0 || f->hour < 0 || f->min < 0 || f->sec < 0)
        return false;
    return f->mday >= 1 && f->mday <= daysInMonth(f->year, f->mon) && f->hour <= 23 &&
           f->min <= 59 && f->sec <= 60;
}

int32_t clampField(int32_t value, int32_t low, int32_t high, int32_t replacement)
{
    return value < low || value > high ? replacement : value;
}

} // namespace

const char *Date_monthName(int32_t month)
{
    return uint32_t(month) < 12 ? monthNames[month] : nullptr;
}

const char *Date_monthShortName(int32_t month)
{
    return uint32_t(month) < 12 ? monthShort[month] : nullptr;
}

const char *Date_weekdayName(int32_t weekday)
{
    return uint32_t(weekday) < 7 ? weekdayNames[weekday] : nullptr;
}

void Time_gmtime(int64_t seconds, BrokenTime *out)
{
    if (!out)
        return;
    fillFromSeconds(seconds, out);
    out->isdst = -1;
}

void Time_fromSeconds(BrokenTime *out, int64_t seconds)
{
    if (out)
        fillFromSeconds(seconds, out);
}

int64_t Time_timegm(const BrokenTime *t)
{
    if (!t)
        return 0;
    int64_t year = int64_t(t->year) + 1900 + floorDiv(t->mon, 12);
    int64_t month = floorMod(t->mon, 12) + 1;
    int64_t days = daysFromCivil(year, month) + int64_t(t->mday) - 1;
    return int64_t(t->sec) + 60 * (int64_t(t->min) + 60 * (int64_t(t->hour) + 24 * days));
}

int64_t Std_mktime(const BrokenTime *t)
{
    if (!t)
        return 0;
    int64_t seconds = Time_timegm(t) - Time_zoneOffset();
    if (t->isdst > 0)
        seconds -= 3600;
    return seconds;
}

int32_t Time_zoneOffset()
{
    EngineInstance *instance = Host_getThreadContext();
    return instance ? instance->locale.zoneOffset : 0;
}

void Time_setZoneOffset(EngineInstance *instance, int32_t seconds)
{
    if (instance)
        instance->locale.zoneOffset = seconds;
}

int32_t Time_dstState()
{
    return -1;
}

int32_t Date_parse2Digits(const char *text)
{
    int32_t hi = digit(text[0]);
    if (hi < 0)
        return -1;
    int32_t lo = digit(text[1]);
    return lo < 0 ? -1 : hi * 10 + lo;
}

int32_t Date_parse4Digits(const char *text)
{
    int32_t hi = Date_parse2Digits(text);
    if (hi < 0)
        return -1;
    int32_t lo = Date_parse2Digits(text + 2);
    return lo < 0 ? -1 : hi * 100 + lo;
}

int32_t Date_parseMonth(const char *text)
{
    for (int32_t i = 0; i < 12; i++)
        if (text[0] == monthShort[i][0] && text[1] == monthShort[i][1] &&
            text[2] == monthShort[i][2])
            return i;
    return -1;
}

int Date_parseHttp(const char *text, size_t length, BrokenTime *out, char *zone)
{
    if (!out)
        return Res_nullInput;
    *out = BrokenTime{};
    if (zone)
        zone[0] = 0;
    if (!text || length < 24)
        return Res_badHttpDate;

    HttpFields f = {};
    bool shaped;
    if (text[3] == ',' || text[3] == ' ') {
        f.wday = parseWeekdayShort(text);
        if (f.wday < 0)
            return Res_badHttpDate;
        if (text[3] == ',')
            shaped = text[4] == ' ' && parseRfc1123(text, length, &f);
        else
            shaped = parseAsctime(text, &f);
    } else {
        size_t after = 0;
        f.wday = parseWeekdayFull(text, length, &after);
        if (f.wday < 0)
            return Res_badHttpDate;
        shaped = text[after] == ' ' && parseRfc850(text, length, after + 1, &f);
    }
    if (!shaped || !fieldsInRange(&f))
        return Res_badHttpDate;

    out->sec = f.sec;
    out->min = f.min;
    out->hour = f.hour;
    out->mday = f.mday;
    out->mon = f.mon;
    out->year = f.year - 1900;
    out->wday = f.wday;
    out->yday = monthStart[isLeap(f.year)][f.mon] + f.mday - 1;
    out->isdst = 0;
    if (zone && f.zoneAt) {
        for (size_t i = 0; i < 3; i++)
            zone[i] = text[f.zoneAt + i];
        zone[3] = 0;
    }
    return Res_ok;
}

int Date_formatTimestamp(const BrokenTime *t, char *out)
{
    if (!t || !out)
        return Res_nullInput;
    int64_t fullYear = int64_t(t->year) + 1900;
    int32_t year = fullYear < 0 || fullYear > 9999 ? 0 : int32_t(fullYear);
    int32_t month = clampField(t->mon, 0, 11, 0) + 1;
    int32_t day = clampField(t->mday, 1, 31, 1);
    int32_t hour = clampField(t->hour, 0, 23, 0);
    int32_t min = clampField(t->min, 0, 59, 0);
    int32_t sec = clampField(t->sec, 0, 59, 0);
    const LocaleEntry *row = Locale_getCurrentRow();
    if (row && Cstr_cmp(row->tag, "ja-jp") == 0)
        Fmt_snprintf(out, Date_timestampSize, "%04d/%02d/%02d %02d:%02d:%02d", year, month, day,
                     hour, min, sec);
    else
        Fmt_snprintf(out, Date_timestampSize, "%02d/%02d/%04d %02d:%02d:%02d", month, day, year,
                     hour, min, sec);
    return Res_ok;
}

// The host's local time now, as engine seconds.
int64_t Date_now(int64_t *out)
{
    EngineInstance *instance = Host_getThreadContext();
    HostLocalTime local{};
    Host_getLocalTime(instance ? instance->host : nullptr, &local);
    BrokenTime t{};
    t.sec = local.second;
    t.min = local.minute;
    t.hour = local.hour;
    t.mday = local.day;
    t.mon = local.month - 1;
    t.year = local.year - 1900;
    t.wday = local.weekday;
    t.isdst = Time_dstState();
    int64_t seconds = Std_mktime(&t);
    if (out)
        *out = seconds;
    return seconds;
}
