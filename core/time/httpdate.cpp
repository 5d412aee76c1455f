// HTTP dates: see httpdate.h. The calendar is core/time's.
#include "core/time/httpdate.h"

#include <cstring>

#include "core/time/date.h"

namespace {

const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum : size_t { kRestLimit = 256 };

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// A small reader with the conversions of the date patterns: a number
// (optional sign, digits; white space skipped first), a word (white space
// skipped, then up to the next white space), white space and a literal.
struct Scan {
    const char *p;
};

bool scanInt(Scan *s, int32_t *out)
{
    while (isSpace(*s->p))
        s->p++;
    bool negative = false;
    if (*s->p == '+' || *s->p == '-')
        negative = *s->p++ == '-';
    if (!isDigit(*s->p))
        return false;
    int64_t v = 0;
    while (isDigit(*s->p)) {
        if (v < 100000000)
            v = v * 10 + (*s->p - '0');
        s->p++;
    }
    *out = int32_t(negative ? -v : v);
    return true;
}

// The word is lent (start and length); the rest of the text is below 256
// characters, so a word never exceeds it.
bool scanWord(Scan *s, const char **word, size_t *length)
{
    while (isSpace(*s->p))
        s->p++;
    if (!*s->p)
        return false;
    *word = s->p;
    while (*s->p && !isSpace(*s->p))
        s->p++;
    *length = size_t(s->p - *word);
    return true;
}

bool scanChar(Scan *s, char c)
{
    if (*s->p != c)
        return false;
    s->p++;
    return true;
}

bool scanClock(Scan *s, BrokenTime *t)
{
    return scanInt(s, &t->hour) && scanChar(s, ':') && scanInt(s, &t->min) && scanChar(s, ':') &&
           scanInt(s, &t->sec);
}

// The month of a word: its first three characters (fewer never match).
int32_t monthOfWord(const char *word, size_t length)
{
    return length >= 3 ? HttpDate_monthIndex(word) : -1;
}

// RFC 850 date word "06-Nov-94": day, month (name or number 1-12) and year.
bool readRfc850Word(const char *word, size_t length, BrokenTime *t)
{
    const char *end = word + length;
    const char *p = word;
    if (p == end || !isDigit(*p))
        return false;
    int32_t day = 0;
    while (p < end && isDigit(*p)) {
        if (day < 1000)
            day = day * 10 + (*p - '0');
        p++;
    }
    if (p == end || *p != '-')
        return false;
    p++;
    const char *dash = static_cast<const char *>(memchr(p, '-', size_t(end - p)));
    if (!dash)
        return false;
    int32_t month;
    if (p < dash && isDigit(*p)) {
        int32_t n = 0;
        for (const char *q = p; q < dash && isDigit(*q); q++)
            n = n < 1000 ? n * 10 + (*q - '0') : n;
        if (n > 12)
            return false;
        month = n - 1;
    } else {
        if (size_t(dash - p) >= kRestLimit)
            return false;
        month = monthOfWord(p, size_t(dash - p));
    }
    const char *y = dash + 1;
    size_t digits = size_t(end - y);
    // Two or four digits: longer years are malformed, and are refused before
    // they are summed so that no count of digits can overflow the year.
    if (digits != 2 && digits != 4)
        return false;
    for (const char *q = y; q < end; q++)
        if (!isDigit(*q))
            return false;
    int32_t year = 0;
    for (const char *q = y; q < end; q++)
        year = year * 10 + (*q - '0');
    if (digits == 2)
        year += year < 70 ? 2000 : 1900;
    else if (year <= 1900)
        return false;
    t->mday = day;
    t->mon = month;
    t->year = year - 1900;
    return true;
}

} // namespace

void HttpDate_format(const BrokenTime *parts, char *out)
{
    if (!parts || !out)
        return;
    int32_t wday = parts->wday >= 0 && parts->wday <= 6 ? parts->wday : 0;
    int32_t mday = parts->mday >= 1 && parts->mday <= 31 ? parts->mday : 1;
    int32_t mon = parts->mon >= 0 && parts->mon <= 11 ? parts->mon : 0;
    int64_t year = int64_t(parts->year) + 1900;
    if (year < 0 || year > 9999)
        year = 0;
    int32_t hour = parts->hour >= 0 && parts->hour <= 23 ? parts->hour : 0;
    int32_t min = parts->min >= 0 && parts->min <= 59 ? parts->min : 0;
    int32_t sec = parts->sec >= 0 && parts->sec <= 59 ? parts->sec : 0;
    char *p = out;
    memcpy(p, Date_weekdayName(wday), 3);
    p += 3;
    *p++ = ',';
    *p++ = ' ';
    *p++ = char('0' + mday / 10);
    *p++ = char('0' + mday % 10);
    *p++ = ' ';
    memcpy(p, kMonths[mon], 3);
    p += 3;
    *p++ = ' ';
    int32_t y = int32_t(year);
    *p++ = char('0' + y / 1000);
    *p++ = char('0' + y / 100 % 10);
    *p++ = char('0' + y / 10 % 10);
    *p++ = char('0' + y % 10);
    *p++ = ' ';
    const int32_t clock[3] = {hour, min, sec};
    for (int32_t v : clock) {
        *p++ = char('0' + v / 10);
        *p++ = char('0' + v % 10);
        *p++ = ':';
    }
    p[-1] = ' ';
    memcpy(p, "GMT", 3);
    out[HttpDate_textSize - 1] = 0;
}

int32_t HttpDate_monthIndex(const char *text)
{
    if (!text)
        return -1;
    for (int32_t m = 0; m < 12; m++) {
        int i = 0;
        while (i < 3 && text[i] && lower(text[i]) == lower(kMonths[m][i]))
            i++;
        if (i == 3)
            return m;
    }
    return -1;
}

int64_t HttpDate_parse(const char *text)
{
    if (!text)
        return 0;
    const char *s = text;
    while (isBlank(*s))
        s++;
    const char *space = strchr(s, ' ');
    const char *comma = strchr(s, ',');
    if (!space && !comma)
        return 0;
    const char *sep = (comma && (!space || comma < space)) ? comma : space;
    const char *rest = sep + 1;
    while (isBlank(*rest))
        rest++;
    if (strnlen(rest, kRestLimit) >= kRestLimit)
        return 0;

    BrokenTime t = {};
    Scan sc = {rest};
    bool ok;
    if (!isLetter(rest[0])) {
        bool dashed = rest[0] && (rest[1] == '-' || (rest[1] && rest[2] == '-'));
        if (!dashed) {
            const char *word;
            size_t length;
            int32_t year = 0;
            ok = scanInt(&sc, &t.mday) && scanWord(&sc, &word, &length) && scanInt(&sc, &year) &&
                 scanClock(&sc, &t);
            if (ok) {
                t.mon = monthOfWord(word, length);
                t.year = year - 1900;
            }
        } else {
            const char *word;
            size_t length;
            ok = scanWord(&sc, &word, &length) && scanClock(&sc, &t) &&
                 readRfc850Word(word, length, &t);
        }
    } else {
        const char *word;
        size_t length;
        int32_t year = 0;
        ok = scanWord(&sc, &word, &length) && scanInt(&sc, &t.mday) && scanClock(&sc, &t);
        if (ok && strstr(rest, "DST")) {
            const char *zone;
            size_t zoneLength;
            ok = scanWord(&sc, &zone, &zoneLength);
        }
        ok = ok && scanInt(&sc, &year);
        if (ok) {
            t.mon = monthOfWord(word, length);
            t.year = year - 1900;
        }
    }
    if (!ok || t.mday < 1 || t.mday > 31 || t.mon < 0 || t.mon > 11 || t.hour < 0 || t.hour > 23 ||
        t.min < 0 || t.min > 59 || t.sec < 0 || t.sec > 59 || t.year < 0)
        return 0;
    int64_t seconds = Time_timegm(&t);
    return seconds == -1 ? 0 : seconds;
}

void Date_toLocalParts(BrokenTime *out, int64_t time)
{
    if (!out)
        return;
    int64_t local = time + Time_zoneOffset();
    int32_t dst = Time_dstState() > 0;
    if (dst)
        local += 3600;
    Time_gmtime(local, out);
    out->isdst = dst;
}
