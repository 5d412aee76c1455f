// HTTP dates of the web layer: the RFC 1123 writer, the lenient reader of
// the three forms found in HTTP and cookie headers, and the local
// breakdown of an engine time for display.
#pragma once

#include <cstddef>
#include <cstdint>

struct BrokenTime;

enum : size_t {
    HttpDate_textSize = 30, // HttpDate_format's buffer: 29 characters and a NUL
};

// Writes parts as "Sun, 06 Nov 1994 08:49:37 GMT" into out (30 bytes, byte
// 29 always 0). Out-of-range parts are replaced, not refused: weekday by 0
// (Sunday), day by 1, month by 0 (January), a calendar year outside
// 0-9999 by 0, hour, minute and second by 0. Null parts or out: nothing.
void HttpDate_format(const BrokenTime *parts, char *out);

// 0-11 when the first three characters of text are a month abbreviation,
// ignoring case ("jan", "FEB"); -1 otherwise (null included).
int32_t HttpDate_monthIndex(const char *text);

// The engine time (seconds since 1970, UTC) of an HTTP date in one of the
// forms
//   RFC 1123  "Sun, 06 Nov 1994 08:49:37 GMT" (full year)
//   RFC 850   "Sunday, 06-Nov-94 08:49:37 GMT" (two-digit years 70-99 are
//             19xx, 00-69 20xx; four-digit years above 1900; the month may
//             be a number 1-12)
//   asctime   "Sun Nov  6 08:49:37 1994", also with a zone word before the
//             year when the text contains "DST"
// Month names ignore case; every zone is taken as GMT. 0 when the text is
// not such a date (null and 256 characters or more after the day name
// included), and for the instant that is 0 itself.
int64_t HttpDate_parse(const char *text);

// Breaks the engine time down as local time: the time plus the zone
// offset, plus an hour with the flag set when daylight saving is in force
// (isdst 0 otherwise). A null out is ignored.
void Date_toLocalParts(BrokenTime *out, int64_t time);
