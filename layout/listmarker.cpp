// List counters, marker texts and the font-list cache.
#include "layout/listmarker.h"

#include <cstring>

#include "core/container/intern.h"
#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "core/style/propids.h"
#include "layout/line.h"
#include "document/edr/doc.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "fonts/fontengine.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "layout/layout.h"
#include "layout/listnum.h"

namespace {

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

// List style types whose markers are numbers.
constexpr uint32_t kNumberedTypes[] = {
    KwId_armenian,   KwId_cjkIdeographic, KwId_decimal,    KwId_decimalLeadingZero,
    KwId_georgian,   KwId_hebrew,         KwId_hiragana,   KwId_hiraganaIroha,
    KwId_kitakana,   KwId_kitakanaIroha,  KwId_lowerAlpha, KwId_lowerGreek,
    KwId_lowerLatin, KwId_lowerRoman,     KwId_upperAlpha, KwId_upperLatin,
    KwId_upperRoman,
};

constexpr int32_t kBulletSize = 0xF0000; // 15 points
constexpr char16_t kBulletFamily[] = u"courier";

bool numbered(uint32_t type)
{
    for (uint32_t t : kNumberedTypes)
        if (t == type)
            return true;
    return false;
}

char16_t bulletOf(uint32_t type)
{
    switch (type) {
    case KwId_none: return 0x00A0; // no marker: a no-break space keeps its place
    case KwId_circle: return 0x25E6;
    case KwId_square: return 0x25AA;
    default: return 0x2022;
    }
}

// The text style flags of a format's decoration word.
uint32_t runFlags(const TextFormat &f)
{
    return f.decoration & (TextStyle_decorations | TextStyle_rightToLeft);
}

} // namespace

int Layout_textFormatEqual(const void *record, const void *key)
{
    const TextFormat *a = static_cast<const TextFormat *>(record);
    const TextFormat *b = static_cast<const TextFormat *>(key);
    return a->flags == b->flags && a->decoration == b->decoration && a->size == b->size &&
           a->font == b->font && a->letterSpacing == b->letterSpacing &&
           a->wordSpacing == b->wordSpacing && a->styleWords[0] == b->styleWords[0] &&
           a->styleWords[1] == b->styleWords[1];
}

int Layout_internTextFormat(Edr_Doc *doc, const TextFormat *format, InternNode **out)
{
    *out = nullptr;
    LayoutCache *cache = doc ? static_cast<LayoutCache *>(Edr_Page_listHead2(doc)) : nullptr;
    if (!cache)
        return Res_nullInput;
    return InternList_acquire(&cache->textStyles, format, sizeof(TextFormat),
                              Layout_textFormatEqual, out);
}

int Layout_makeListMarker(LayoutBox *box, Edr_Style *style, ObjHeader **out)
{
    *out = nullptr;
    // A list picture named by the style.
    Edr_StylePayload image{};
    if (Edr_Style_get(style, PropId_listImageRef, &image) == PropType_int && image.word != 0 &&
        Edr_Style_get(style, PropId_listStyleImage, nullptr) == PropType_ustr)
        return BoxBackground_findImage(box, int32_t(image.word), 0, out);

    uint32_t type = Edr_Style_get(style, PropId_listStyleType, nullptr);
    TextFormat format{};
    char16_t *text = nullptr;
    int err = Res_ok;
    if (numbered(type)) {
        text = ListCounter_text(box, type);
        if (!text)
            return Res_noMemory;
        err = Layout_textFormat(box, style, &format);
    } else {
        text = static_cast<char16_t *>(Mem_malloc(2 * sizeof(char16_t)));
        if (!text)
            return Res_noMemory;
        text[0] = bulletOf(type);
        text[1] = 0;
        LayoutCache *cache = static_cast<LayoutCache *>(Edr_Page_listHead2(box->document));
        format.size = kBulletSize;
        format.styleWords[0] = 1, format.styleWords[1] = 0;
        err = cache ? FontCache_get(box->context, &cache->fonts, kBulletFamily, FontCache_bulletKey,
                                    &format.font)
                    : Res_nullInput;
    }
    InternNode *node = nullptr;
    if (!err)
        err = Layout_internTextFormat(box->document, &format, &node);
    ObjHeader *item = nullptr;
    if (!err) {
        item = Obj_create(&TextItem_class, 0);
        if (!item) {
            InternList_release(node);
            err = Res_noMemory;
        }
    }
    if (err) {
        Mem_free(text);
        return err;
    }
    const TextFormat *shared = static_cast<const TextFormat *>(node->record);
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    part->format = node;
    part->base.fonts = shared->font;
    part->base.size = shared->size;
    part->base.styleFlags = runFlags(*shared);
    part->base.style = shared->styleWords;
    part->base.charSpacing = shared->letterSpacing;
    part->base.wordSpacing = shared->wordSpacing;
    part->base.chars = text;
    part->base.start = 0;
    part->base.count = uint32_t(Ustr_len(text));
    item->block = text;
    item->flags |= Obj_ownsData | Obj_formatInterned;
    if (Edr_Style_testProp87(style, 0, 0))
        item->flags |= Obj_hidden;
    uint8_t rgba[4];
    Edr_Style_getWithFallback(style, PropId_color, rgba, 0);
    part->colour = uint32_t(rgba[0]) | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]) << 16 |
                   uint32_t(rgba[3]) << 24;
    err = Layout_measureLabel(item);
    if (err) {
        Obj_destroy(item);
        return err;
    }
    *out = item;
    return Res_ok;
}

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

void ListCounter_set(LayoutBox *box, int32_t count)
{
    if (box->counters)
        box->counters->count = count;
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
        if (const ListCounter *c = partAt(box, i))
            length += ListNum_format(c->count, listStyleType, nullptr) + 1;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
    if (!text)
        return nullptr;
    size_t at = 0;
    for (uint32_t i = parts; i-- > 0;) {
        const ListCounter *c = partAt(box, i);
        if (!c)
            continue;
        at += ListNum_format(c->count, listStyleType, text + at);
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
