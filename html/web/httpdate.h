// HTTP dates of the web layer. Only the services that modules built before
// it call are declared here so far; html/interim.cpp holds interim
// definitions.
#pragma once

#include <cstdint>

struct BrokenTime;

// Breaks the engine time (seconds since 1970) down as local time: the
// time plus the zone offset (plus an hour when daylight saving is in
// force, which then sets the flag). A null out is ignored.
void Date_toLocalParts(BrokenTime *out, int64_t time);
