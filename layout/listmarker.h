// List counters, the text of numbered list markers, and the per-document
// cache of font lists keyed by family text.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Style;
struct FontList;
struct LayoutBox;
struct ObjHeader;

// One list counter; the stack's top is the box's counters field. Records
// belong to whoever pushed them: popping never frees.
struct ListCounter {
    int32_t count;
    ListCounter *next; // the enclosing counter
};

// Sets counter to 0 and makes it the box's top counter.
void ListCounter_push(ListCounter *counter, LayoutBox *box);
// The enclosing counter becomes the top (nothing without a counter).
void ListCounter_pop(LayoutBox *box);
void ListCounter_increment(LayoutBox *box);
// Sets the top counter's count (nothing without a counter).
void ListCounter_set(LayoutBox *box, int32_t count);
// The top counter's count, 0 without one.
int32_t ListCounter_value(const LayoutBox *box);
// A new NUL-terminated marker text in the list style type (a keyword): in
// a paged section every counter above 0, outermost first, otherwise only
// the innermost above 0, each formatted and followed by a full stop; then
// a space. Null when out of memory; the caller frees it.
char16_t *ListCounter_text(const LayoutBox *box, uint32_t listStyleType);

// The marker item of a list item with style: the list picture when the
// style names one, else a text item with the counter text (numbered types)
// or a bullet. *item null when there is none. 0, 1 or another error
// (nothing is left behind).
[[nodiscard]] int Layout_makeListMarker(LayoutBox *box, Edr_Style *style, ObjHeader **item);

// One cached font list, newest first.
struct FontCacheEntry {
    FontList *fonts;  // one reference
    uint32_t key;     // the caller's style key (bullets use 3)
    char16_t *family; // copy of the family text, or null for the default family
    uint32_t used;    // handed out since the last clearing
    FontCacheEntry *next;
};

enum : uint32_t {
    FontCache_maxNames = 8, // family names passed to the font engine
    FontCache_bulletKey = 3,
};

// The font list of the family text (null: the default family) and key:
// from the cache, or made and cached. The cache keeps the reference. 0,
// 1 when out of memory (the cache unchanged), or the font engine's error.
[[nodiscard]] int FontCache_get(EngineContext *app, FontCacheEntry **head, const char16_t *family,
                                uint32_t key, FontList **out);
void FontCache_clearUsed(FontCacheEntry *head);
// Releases every font list and frees the entries; *head becomes null.
void FontCache_free(FontCacheEntry **head);
// Splits an 8-bit family text in place at commas into at most eight
// names, each trimmed and unquoted, empty ones dropped; returns the count.
uint32_t FontCache_splitNames(char *text, const char *names[FontCache_maxNames]);
// Trims white space at both ends of text in place and, when the rest is
// quoted with " or ', the quotes and the white space just inside them;
// returns the new start.
char *Layout_trimQuotes(char *text);
