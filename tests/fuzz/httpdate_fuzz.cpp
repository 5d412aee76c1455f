// Fuzz target for the HTTP date parsers. Input: the text itself, handed over
// with its exact length and no terminator to the calendar's reader, and
// NUL-terminated to the web layer's lenient reader, whose dates must
// survive the trip through the RFC 1123 writer. An accepted date must have every
// field in range and must survive the trip to seconds and back (a leap
// second carries into the next minute); a refused one must leave the
// record cleared. The timestamp text of an accepted date must fit its
// buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/result.h"
#include "core/time/date.h"
#include "core/time/httpdate.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

// The lenient reader: a date it accepts is not before 1900 (years from
// 1900 to 1969 are dates before the epoch, negative times) and reads back
// the same from the writer's text.
void checkLenient(const uint8_t *data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back(0);
    int64_t seconds = HttpDate_parse(text.data());
    require(seconds >= -2208988800); // 1900-01-01 00:00:00
    (void)HttpDate_monthIndex(text.data());
    if (seconds == 0)
        return;
    BrokenTime t;
    Time_gmtime(seconds, &t);
    if (t.year + 1900 > 9999)
        return; // the writer has four digits for the year
    char out[HttpDate_textSize];
    HttpDate_format(&t, out);
    require(out[HttpDate_textSize - 1] == 0);
    require(HttpDate_parse(out) == seconds);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkLenient(data, size);
    std::vector<char> text(data, data + size);
    BrokenTime t;
    memset(&t, 0x55, sizeof t);
    char zone[Date_zoneNameSize] = {'x', 'x', 'x', 'x'};
    int result = Date_parseHttp(size ? text.data() : "", size, &t, zone);
    if (result != 0) {
        require(result == Res_badHttpDate);
        BrokenTime zero = {};
        require(memcmp(&t, &zero, sizeof t) == 0 && zone[0] == 0);
        return 0;
    }
    require(size >= 24);
    require(t.sec >= 0 && t.sec <= 60 && t.min >= 0 && t.min <= 59 && t.hour >= 0 && t.hour <= 23 &&
            t.mday >= 1 && t.mday <= 31 && t.mon >= 0 && t.mon <= 11 && t.year >= -1900 &&
            t.year <= 9999 - 1900 && t.wday >= 0 && t.wday <= 6 && t.yday >= 0 && t.yday <= 365 &&
            t.isdst == 0);
    require(strlen(zone) <= 3);

    BrokenTime back;
    Time_gmtime(Time_timegm(&t), &back);
    if (t.sec < 60)
        require(back.year == t.year && back.mon == t.mon && back.mday == t.mday &&
                back.hour == t.hour && back.min == t.min && back.sec == t.sec &&
                back.yday == t.yday);

    std::vector<char> stamp(Date_timestampSize, 'x');
    require(Date_formatTimestamp(&t, stamp.data()) == 0);
    require(strlen(stamp.data()) == Date_timestampSize - 1);
    return 0;
}
