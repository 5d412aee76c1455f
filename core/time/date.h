// Dates and times.
//
// The engine counts time in 64-bit seconds since 1970-01-01 00:00 UTC and
// converts it to and from a broken-down calendar record with its own
// routines (no platform calendar): for HTTP headers and the web cache, for
// file and document timestamps shown to the user, and for date fields in
// documents. The calendar is the proleptic Gregorian one, so every year
// the record can hold converts the same way: 1969, 2038 and 2100 included.
// Local time is UTC plus the engine's time-zone offset; daylight saving is
// never applied.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineInstance;

// A broken-down time. Converters fill every field; readers that say so
// accept fields out of their ranges.
struct BrokenTime {
    int32_t sec;   // 0-59 (60 for a leap second in parsed text)
    int32_t min;   // 0-59
    int32_t hour;  // 0-23
    int32_t mday;  // 1-31
    int32_t mon;   // 0-11
    int32_t year;  // years since 1900
    int32_t wday;  // 0 Sunday to 6 Saturday
    int32_t yday;  // 0-365
    int32_t isdst; // positive: daylight saving in force, 0: not, negative: unknown
};

enum : size_t {
    Date_timestampSize = 20, // Date_formatTimestamp's buffer: 19 characters and a NUL
    Date_zoneNameSize = 4,   // Date_parseHttp's zone buffer: 3 characters and a NUL
};

// Instants further than this from 1970 (about 1.1 billion years) are taken
// as this limit by Time_gmtime and Time_fromSeconds, so that the year
// always fits the record.
constexpr int64_t Time_limitSeconds = int64_t(1) << 55;

// English month names ("January"), their abbreviations ("Jan") and weekday
// names ("Sunday" for 0); null outside 0-11 (months) or 0-6 (weekdays).
const char *Date_monthName(int32_t month);
const char *Date_monthShortName(int32_t month);
const char *Date_weekdayName(int32_t weekday);

// The UTC date and time of seconds, every field filled and isdst -1.
// Negative seconds count backwards from 1970 with the time of day kept in
// 0-86399. A null out does nothing.
void Time_gmtime(int64_t seconds, BrokenTime *out);

// As Time_gmtime, but isdst is left as it was. A null out does nothing.
void Time_fromSeconds(BrokenTime *out, int64_t seconds);

// Seconds of the UTC broken-down time t: sec, min, hour, mday, mon and year
// are read (wday, yday and isdst are not). Fields out of their ranges
// carry over (month 12 is January of the next year, mday 0 the last day of
// the previous month, mon -1 December of the year before); nothing is
// written back.
int64_t Time_timegm(const BrokenTime *t);

// Seconds of the local broken-down time t: Time_timegm less the engine's
// time-zone offset, less 3600 more when isdst is positive.
int64_t Std_mktime(const BrokenTime *t);

// The calling thread's engine's time-zone offset (local time minus UTC) in
// seconds; 0 without an engine.
int32_t Time_zoneOffset();

// Sets the instance's time-zone offset; the host does this at start-up.
// Null instance: nothing.
void Time_setZoneOffset(EngineInstance *instance, int32_t seconds);

// Whether daylight saving is in force: always -1 (unknown).
int32_t Time_dstState();

// Reads an HTTP date of length bytes in one of the three forms of HTTP/1.1
// with case-sensitive English names:
//   RFC 1123  "Sun, 06 Nov 1994 08:49:37 GMT"
//   RFC 850   "Sunday, 06-Nov-94 08:49:37 GMT" (year above 50: 19xx, else 20xx)
//   asctime   "Sun Nov  6 08:49:37 1994"
// out is cleared first. On success every field is filled (wday from the
// text, yday from the date, isdst 0) and zone, when not null, receives the
// first three bytes of the zone name and a NUL ("" for asctime). 0 on
// success; Res_badHttpDate (16128) when the text is not a date of these
// forms or a field is out of range (day outside the month, hour above 23,
// minute above 59, second above 60); Res_nullInput for a null out. Text
// past the date is ignored.
[[nodiscard]] int Date_parseHttp(const char *text, size_t length, BrokenTime *out, char *zone);

// Writes t as "MM/DD/YYYY hh:mm:ss", or "YYYY/MM/DD hh:mm:ss" when the
// current locale is "ja-jp", into out (Date_timestampSize bytes), always
// NUL-terminated. Fields out of range are printed as: day 1, month January,
// year 0 (for a calendar year outside 0-9999), hour, minute and second 0.
// 0; Res_nullInput when t or out is null.
[[nodiscard]] int Date_formatTimestamp(const BrokenTime *t, char *out);

// The value of the two (four) decimal digits at text; -1 when one of them
// is not a digit (the text may end early: its NUL is not a digit).
int32_t Date_parse2Digits(const char *text);
int32_t Date_parse4Digits(const char *text);

// 0-11 when the first three bytes of text are a month abbreviation exactly
// (case-sensitive), else -1.
int32_t Date_parseMonth(const char *text);

// The host's local time now as seconds since 1970-01-01 00:00 UTC (the
// engine's time-zone offset taken off), also stored through out when out
// is not null.
int64_t Date_now(int64_t *out);
