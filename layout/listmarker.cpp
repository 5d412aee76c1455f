// List counters, marker texts and the font-list cache.
#include "layout/listmarker.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "fonts/fontengine.h"
#include "layout/layout.h"
#include "layout/listnum.h"

namespace
{

bool isSpace(uint32_t c)
{
    return c == 32 || (c >= 9 && c <= 13);
}

// How many counters take part: every one above 0 when paged, else the
// innermost above 0.
uint32_t partCount(const LayoutBox *box, bool paged)
{
    uint32_t n = 0;
    for (const ListCounter *c = box->counters; c; c = c->next)
        if (c->count > 0) {
            n++;
            if (!paged)
                break;
        }
    return n;
}

// The i-th taking part counter from the inside (0 the innermost).
const ListCounter *partAt(const LayoutBox *box, uint32_t i)
{
    for (const ListCounter *c = box->counters; c; c = c->next)
        if (c->count > 0 && i-- == 0)
            return c;
    return nullptr;
}

} // namespace

void ListCounter_push(ListCounter *counter, LayoutBox *box)
{
    counter->count = 0;
    counter->next = box->counters;
    box->counters = counter;
}

void ListCounter_pop(LayoutBox *box)
{
    if (box->counters)
        box->counters = box->counters->next;
}

void ListCounter_increment(LayoutBox *box)
{
    if (box->counters)
        box->counters->count++;
}

int32_t ListCounter_value(const LayoutBox *box)
{
    return box->counters ? box->counters->count : 0;
}

char16_t *ListCounter_text(const LayoutBox *box, uint32_t listStyleType)
{
    bool paged = box->section && box->section->paged;
    uint32_t parts = partCount(box, paged);
    size_t length = 1;
    for (uint32_t i = 0; i < parts; i++)
        length += ListNum_format(partAt(box, i)->count, listStyleType, nullptr) + 1;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
    if (!text)
        return nullptr;
    size_t at = 0;
    for (uint32_t i = parts; i-- > 0;) {
        at += ListNum_format(partAt(box, i)->count, listStyleType, text + at);
        text[at++] = u'.';
    }
    text[at++] = u' ';
    text[at] = 0;
    return text;
}

char *Layout_trimQuotes(char *text)
{
    auto trim = [](char *s) {
        while (*s && isSpace(uint8_t(*s)))
            s++;
        size_t n = std::strlen(s);
        while (n > 0 && isSpace(uint8_t(s[n - 1])))
            s[--n] = 0;
        return s;
    };
    text = trim(text);
    size_t n = std::strlen(text);
    if (n >= 2 && (text[0] == '"' || text[0] == '\'') && text[n - 1] == text[0]) {
        text[n - 1] = 0;
        text = trim(text + 1);
    }
    return text;
}

uint32_t FontCache_splitNames(char *text, const char *names[FontCache_maxNames])
{
    uint32_t count = 0;
    char *start = text;
    for (;;) {
        char *comma = std::strchr(start, ',');
        if (comma)
            *comma = 0;
        char *name = Layout_trimQuotes(start);
        if (*name && count < FontCache_maxNames)
            names[count++] = name;
        if (!comma || count == FontCache_maxNames)
            break;
        start = comma + 1;
    }
    return count;
}

int FontCache_get(EngineContext *app, FontCacheEntry **head, const char16_t *family, uint32_t key,
                  FontList **out)
{
    *out = nullptr;
    // Leading commas and white space are not part of the family text.
    const char16_t *start = family;
    while (start && (*start == u',' || isSpace(*start)))
        start++;
    for (FontCacheEntry *e = *head; e; e = e->next) {
        bool match =
            start ? e->family && e->key == key && Ustr_cmp(e->family, start) == 0 : !e->family;
        if (match) {
            e->used = 1;
            *out = e->fonts;
            return Res_ok;
        }
    }
    FontCacheEntry *entry = static_cast<FontCacheEntry *>(Mem_calloc(1, sizeof(FontCacheEntry)));
    if (!entry)
        return Res_noMemory;
    if (family) {
        entry->family = Ustr_dup(start);
        if (!entry->family) {
            Mem_free(entry);
            return Res_noMemory;
        }
    }
    const char *names[FontCache_maxNames];
    const char *defaultName = "";
    uint32_t count = 0;
    char *utf8 = nullptr;
    if (start) {
        size_t size = 0;
        Ustr_utf8Len(start, &size, nullptr);
        utf8 = static_cast<char *>(Mem_malloc(size));
        if (!utf8) {
            Mem_free(entry->family);
            Mem_free(entry);
            return Res_noMemory;
        }
        Ustr_toUtf8(utf8, start);
        count = FontCache_splitNames(Layout_trimQuotes(utf8), names);
    }
    if (count == 0) {
        names[0] = defaultName;
        count = 1;
    }
    int err =
        Font_listCreate(app ? app->instance : nullptr, names, count, key, nullptr, &entry->fonts);
    Mem_free(utf8);
    if (err) {
        Mem_free(entry->family);
        Mem_free(entry);
        return err;
    }
    entry->key = key;
    entry->used = 1;
    entry->next = *head;
    *head = entry;
    *out = entry->fonts;
    return Res_ok;
}

void FontCache_clearUsed(FontCacheEntry *head)
{
    for (FontCacheEntry *e = head; e; e = e->next)
        e->used = 0;
}

void FontCache_free(FontCacheEntry **head)
{
    while (FontCacheEntry *e = *head) {
        *head = e->next;
        Font_listRelease(e->fonts);
        Mem_free(e->family);
        Mem_free(e);
    }
}
