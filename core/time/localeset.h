// The engine's locale settings.
//
// Each engine instance has a current locale (an index into the locale
// table), an optional number format of its own, and optional date and time
// formats and names that override the built-in defaults. The host sets them
// at start-up; the date, number and character-set code of the whole engine
// reads them. The record is part of the engine instance (reached from any
// engine thread through Host_getThreadContext), so it exists as soon as the
// instance does: a zeroed record is the first locale ("en-gb") with every
// default in force.
#pragma once

#include <cstdint>

#include "core/time/locale.h"

struct EngineInstance;

enum : int32_t {
    Locale_weekdayNames = 7,
    Locale_monthNames = 12,
    Locale_furtherStrings = 2,
};

// Kinds of Locale_getDateFormat.
enum LocaleFormatKind : int32_t {
    LocaleFormat_dateTime = 0, // date and time format
    LocaleFormat_longDate = 1,
    LocaleFormat_shortDate = 2,
    LocaleFormat_time = 3,
    LocaleFormat_weekdayB = 4, // weekday name of set B, else set A
    LocaleFormat_weekdayA = 5,
    LocaleFormat_monthB = 6, // month name of set B, else set A
    LocaleFormat_monthA = 7,
    LocaleFormat_further = 8,
};

// Every string is a heap copy owned by the instance; null means the default.
struct LocaleSettings {
    int32_t current;              // index into the locale table
    NumberFormatRow customNumber; // in use when its first byte is not 0
    char *longDate;
    char *shortDate;
    char *time;
    char *dateTime;
    char *weekdaysA[Locale_weekdayNames];
    char *weekdaysB[Locale_weekdayNames];
    char *monthsA[Locale_monthNames];
    char *monthsB[Locale_monthNames];
    char *further[Locale_furtherStrings];
    int32_t cleanupRegistered; // the exit list frees the strings
    int32_t cleanupId;         // the clean-up's id on the exit list
    int32_t zoneOffset;        // dates: local time minus UTC, in seconds
};

// Makes the locale with this 5-character tag (any ASCII case) current: 1;
// 0 when the tag is not in the locale table or instance is null (nothing
// changes).
int Locale_setCurrent(EngineInstance *instance, const char *tag);

// The current locale's table entry; null without an engine instance.
const LocaleEntry *Locale_getCurrentRow();

// The current locale's default character set; 10 without an instance.
uint32_t Locale_getDefaultCharset();

// The instance's own number format when one was set, else the current
// locale's (entry 0's without an instance). Never null; the row stays valid
// until the number format is set again.
const NumberFormatRow *Locale_getNumberFormat();

// Sets the instance's own number format: a decimal point of 1 to 3
// characters, a thousands separator of up to 3 (null or "" for none) and a
// grouping of up to 7 group sizes as bytes (null or "" for none; 127 ends
// the grouping). 1; 0 for a null instance, a missing or empty decimal
// point, a decimal point or separator longer than 3 characters, or a
// grouping longer than 7 (nothing changes then).
int Locale_setNumberFormat(EngineInstance *instance, const char *decimalPoint,
                           const char *thousandsSep, const char *grouping);

// A format or name of the calling thread's engine, by kind (LocaleFormatKind)
// and, for names, index (weekdays 0-6 from Sunday, months 0-11, further
// strings 0-1). Formats not set give their defaults: date and time
// "%d/%m/%Y %H:%M:%S", long date "%d %B %Y", short date "%d/%m/%Y", time
// "%H:%M:%S". Names not set, an index out of range, a kind above 8 and
// anything without an engine give "". Never null; the text stays valid
// until the formats are set or freed.
const char *Locale_getDateFormat(int32_t kind, int32_t index);

// Replaces every format and name: the four formats, then the weekday names
// of sets A and B (7 entries each), the month names of sets A and B (12
// each) and the further strings (2). Any argument may be null, and so may
// any entry of an array: that entry returns to its default. Each given
// format must pass Locale_isSafeFormat. The strings are copied. The first
// time, the instance's exit list (when it has one) is given a clean-up that
// frees the copies when the engine stops. 1 on success; 0 for a null
// instance, an unsafe format, a failed registration or a failed copy, and
// then the old formats and names all stay as they were.
int Locale_setFormats(EngineInstance *instance, const char *longDate, const char *shortDate,
                      const char *time, const char *dateTime, const char *const *weekdaysA,
                      const char *const *weekdaysB, const char *const *monthsA,
                      const char *const *monthsB, const char *const *further);

// Frees every format and name of the instance (they return to their
// defaults). Null instance: nothing.
void Locale_freeFormats(EngineInstance *instance);

// 0 when format holds a conversion "%X", "%c" or "%x" (which would expand
// to the locale's own formats) or ends in a lone "%"; 1 otherwise ("%%" is
// a literal percent sign; a null format is safe: it means the default).
int Locale_isSafeFormat(const char *format);
