// The engine's locale settings: current locale, own number format, date
// and time formats and names.
//
// Setting the formats is all or nothing: the new strings are copied before
// the old ones are freed, so a copy that runs out of memory leaves the
// formats the engine had (rather than a mix of new copies and defaults).
#include "core/time/localeset.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/task/exitlist.h"
#include "core/text/cstr.h"
#include "core/host/hostservices.h"

namespace {

constexpr size_t maxSeparator = 3;
constexpr size_t maxGroups = 7;

const char defaultDateTime[] = "%d/%m/%Y %H:%M:%S";
const char defaultLongDate[] = "%d %B %Y";
const char defaultShortDate[] = "%d/%m/%Y";
const char defaultTime[] = "%H:%M:%S";

LocaleSettings *settingsOf(EngineInstance *instance)
{
    return instance ? &instance->locale : nullptr;
}

LocaleSettings *currentSettings()
{
    return settingsOf(Host_getThreadContext());
}

// Every string slot of the record, in one list, so that copying, freeing
// and swapping treat them alike.
struct StringSlots {
    char **slot[4 + 2 * Locale_weekdayNames + 2 * Locale_monthNames + Locale_furtherStrings];
    size_t count;
};

void collectSlots(LocaleSettings *s, StringSlots *out)
{
    size_t n = 0;
    out->slot[n++] = &s->longDate;
    out->slot[n++] = &s->shortDate;
    out->slot[n++] = &s->time;
    out->slot[n++] = &s->dateTime;
    for (int32_t i = 0; i < Locale_weekdayNames; i++)
        out->slot[n++] = &s->weekdaysA[i];
    for (int32_t i = 0; i < Locale_weekdayNames; i++)
        out->slot[n++] = &s->weekdaysB[i];
    for (int32_t i = 0; i < Locale_monthNames; i++)
        out->slot[n++] = &s->monthsA[i];
    for (int32_t i = 0; i < Locale_monthNames; i++)
        out->slot[n++] = &s->monthsB[i];
    for (int32_t i = 0; i < Locale_furtherStrings; i++)
        out->slot[n++] = &s->further[i];
    out->count = n;
}

// The given strings in slot order (null where an argument is missing).
struct GivenStrings {
    const char *text[sizeof(StringSlots::slot) / sizeof(StringSlots::slot[0])];
};

void collectGiven(GivenStrings *g, const char *longDate, const char *shortDate, const char *time,
                  const char *dateTime, const char *const *weekdaysA, const char *const *weekdaysB,
                  const char *const *monthsA, const char *const *monthsB,
                  const char *const *further)
{
    size_t n = 0;
    g->text[n++] = longDate;
    g->text[n++] = shortDate;
    g->text[n++] = time;
    g->text[n++] = dateTime;
    for (int32_t i = 0; i < Locale_weekdayNames; i++)
        g->text[n++] = weekdaysA ? weekdaysA[i] : nullptr;
    for (int32_t i = 0; i < Locale_weekdayNames; i++)
        g->text[n++] = weekdaysB ? weekdaysB[i] : nullptr;
    for (int32_t i = 0; i < Locale_monthNames; i++)
        g->text[n++] = monthsA ? monthsA[i] : nullptr;
    for (int32_t i = 0; i < Locale_monthNames; i++)
        g->text[n++] = monthsB ? monthsB[i] : nullptr;
    for (int32_t i = 0; i < Locale_furtherStrings; i++)
        g->text[n++] = further ? further[i] : nullptr;
}

void freeAll(char **copies, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        Mem_free(copies[i]);
        copies[i] = nullptr;
    }
}

// The exit list's clean-up: frees the strings when the engine stops.
void freeFormatsAtExit(void *, void *argument)
{
    EngineInstance *instance = static_cast<EngineInstance *>(argument);
    Locale_freeFormats(instance);
    instance->locale.cleanupRegistered = 0;
    instance->locale.cleanupId = 0;
}

// Registers the clean-up the first time formats are set on an instance
// that has an exit list. false when the registration failed.
bool registerCleanup(EngineInstance *instance)
{
    LocaleSettings *s = &instance->locale;
    if (s->cleanupRegistered || !instance->exitList)
        return true;
    int32_t id = 0;
    if (ExitList_add(instance->exitList, freeFormatsAtExit, instance, &id) != 0)
        return false;
    s->cleanupRegistered = 1;
    s->cleanupId = id;
    return true;
}

const char *orEmpty(const char *text)
{
    return text ? text : "";
}

const char *nameAt(char *const *names, int32_t count, int32_t index)
{
    return uint32_t(index) < uint32_t(count) ? names[index] : nullptr;
}

} // namespace

int Locale_setCurrent(EngineInstance *instance, const char *tag)
{
    LocaleSettings *s = settingsOf(instance);
    int32_t index = Locale_find(tag);
    if (!s || index < 0)
        return 0;
    s->current = index;
    return 1;
}

const LocaleEntry *Locale_getCurrentRow()
{
    LocaleSettings *s = currentSettings();
    return s ? Locale_entry(s->current) : nullptr;
}

uint32_t Locale_getDefaultCharset()
{
    LocaleSettings *s = currentSettings();
    return Locale_charset(s ? s->current : -1);
}

const NumberFormatRow *Locale_getNumberFormat()
{
    LocaleSettings *s = currentSettings();
    if (!s)
        return Locale_numberFormat(-1);
    if (s->customNumber.decimalPoint[0] != 0)
        return &s->customNumber;
    return Locale_numberFormat(s->current);
}

int Locale_setNumberFormat(EngineInstance *instance, const char *decimalPoint,
                           const char *thousandsSep, const char *grouping)
{
    LocaleSettings *s = settingsOf(instance);
    if (!s || !decimalPoint)
        return 0;
    size_t pointLength = strlen(decimalPoint);
    size_t sepLength = thousandsSep ? strlen(thousandsSep) : 0;
    size_t groupLength = grouping ? strlen(grouping) : 0;
    if (pointLength == 0 || pointLength > maxSeparator || sepLength > maxSeparator ||
        groupLength > maxGroups)
        return 0;
    NumberFormatRow row = {};
    memcpy(row.decimalPoint, decimalPoint, pointLength);
    if (sepLength)
        memcpy(row.thousandsSep, thousandsSep, sepLength);
    if (groupLength)
        memcpy(row.grouping, grouping, groupLength);
    s->customNumber = row;
    return 1;
}

const char *Locale_getDateFormat(int32_t kind, int32_t index)
{
    LocaleSettings *s = currentSettings();
    switch (kind) {
    case LocaleFormat_dateTime: return s && s->dateTime ? s->dateTime : defaultDateTime;
    case LocaleFormat_longDate: return s && s->longDate ? s->longDate : defaultLongDate;
    case LocaleFormat_shortDate: return s && s->shortDate ? s->shortDate : defaultShortDate;
    case LocaleFormat_time: return s && s->time ? s->time : defaultTime;
    default: break;
    }
    if (!s)
        return "";
    const char *name = nullptr;
    switch (kind) {
    case LocaleFormat_weekdayB:
        name = nameAt(s->weekdaysB, Locale_weekdayNames, index);
        if (!name)
            name = nameAt(s->weekdaysA, Locale_weekdayNames, index);
        break;
    case LocaleFormat_weekdayA: name = nameAt(s->weekdaysA, Locale_weekdayNames, index); break;
    case LocaleFormat_monthB:
        name = nameAt(s->monthsB, Locale_monthNames, index);
        if (!name)
            name = nameAt(s->monthsA, Locale_monthNames, index);
        break;
    case LocaleFormat_monthA: name = nameAt(s->monthsA, Locale_monthNames, index); break;
    case LocaleFormat_further: name = nameAt(s->further, Locale_furtherStrings, index); break;
    default: break;
    }
    return orEmpty(name);
}

int Locale_setFormats(EngineInstance *instance, const char *longDate, const char *shortDate,
                      const char *time, const char *dateTime, const char *const *weekdaysA,
                      const char *const *weekdaysB, const char *const *monthsA,
                      const char *const *monthsB, const char *const *further)
{
    LocaleSettings *s = settingsOf(instance);
    if (!s)
        return 0;
    const char *formats[] = {longDate, shortDate, time, dateTime};
    for (const char *f : formats)
        if (f && !Locale_isSafeFormat(f))
            return 0;
    if (!registerCleanup(instance))
        return 0;

    GivenStrings given;
    collectGiven(&given, longDate, shortDate, time, dateTime, weekdaysA, weekdaysB, monthsA,
                 monthsB, further);
    StringSlots slots;
    collectSlots(s, &slots);
    char *copies[sizeof(StringSlots::slot) / sizeof(StringSlots::slot[0])] = {};
    for (size_t i = 0; i < slots.count; i++) {
        if (!given.text[i])
            continue;
        copies[i] = Cstr_dup(given.text[i]);
        if (!copies[i]) {
            freeAll(copies, slots.count);
            return 0;
        }
    }
    for (size_t i = 0; i < slots.count; i++) {
        Mem_free(*slots.slot[i]);
        *slots.slot[i] = copies[i];
    }
    return 1;
}

void Locale_freeFormats(EngineInstance *instance)
{
    LocaleSettings *s = settingsOf(instance);
    if (!s)
        return;
    StringSlots slots;
    collectSlots(s, &slots);
    for (size_t i = 0; i < slots.count; i++) {
        Mem_free(*slots.slot[i]);
        *slots.slot[i] = nullptr;
    }
}

int Locale_isSafeFormat(const char *format)
{
    if (!format)
        return 1;
    for (const char *p = format; *p; p++) {
        if (*p != '%')
            continue;
        char c = p[1];
        if (c == 0 || c == 'X' || c == 'c' || c == 'x')
            return 0;
        p++; // skip the conversion letter (a second '%' included)
    }
    return 1;
}
