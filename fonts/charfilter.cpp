// Character filters of the font engine: insertion into the bounded,
// ordered filter list, and the yen filter of the Japanese locale.
#include "fonts/charfilter.h"

#include "core/text/cstr.h"
#include "core/time/locale.h"
#include "core/time/localeset.h"

namespace {

// The one code the yen filter covers.
constexpr uint16_t backslash = 0x5C;

} // namespace

int FontCache_addCharMapping(CharFilterList *list, const CharFilter *filter)
{
    if (!list || !filter || list->count < 0 || list->count >= CharFilter_max)
        return 0;
    int32_t at = 0;
    while (at < list->count && list->entries[at].first <= filter->first)
        at++;
    for (int32_t i = list->count; i > at; i--)
        list->entries[i] = list->entries[i - 1];
    list->entries[at] = *filter;
    list->count++;
    return 1;
}

int Locale_installYenMapping(CharFilterList *list)
{
    const LocaleEntry *row = Locale_getCurrentRow();
    if (!row || Cstr_cmp(row->tag, "ja-jp") != 0)
        return 1;
    CharFilter filter = {};
    filter.size = sizeof(CharFilter);
    filter.kind = Locale_yenMappingKind;
    filter.first = backslash;
    filter.last = backslash;
    filter.test = Locale_yenApplies;
    filter.map = Locale_yenMap;
    filter.reserved = 0;
    return FontCache_addCharMapping(list, &filter);
}
