// Character filters of the font engine.
//
// Before glyphs are looked up, the characters of a text run pass through a
// short list of filters, each covering a range of 16-bit codes: the first
// filter whose test answers non-zero rewrites the run. Other modules add
// filters at start-up (the locale code adds one that draws the backslash as
// a yen sign in the Japanese locale).
#pragma once

#include <cstddef>
#include <cstdint>

struct CharFilter;

// Whether the filter applies to the n codes at codes: non-zero when it does.
typedef int (*CharFilterTestFn)(const CharFilter *filter, const char16_t *codes, int32_t n);
// Copies n codes from src to dst, rewriting those the filter maps; answers
// the number of codes written.
typedef int32_t (*CharFilterMapFn)(const char16_t *src, char16_t *dst, int32_t n);

struct CharFilter {
    uint32_t size;  // the byte size of this record (sizeof(CharFilter))
    uint32_t kind;  // mapping id; its meaning belongs to the font engine
    uint16_t first; // first code covered
    uint16_t last;  // last code covered
    CharFilterTestFn test;
    CharFilterMapFn map;
    uintptr_t reserved; // always 0
};

enum : int32_t { CharFilter_max = 16 };

// Up to 16 filters, kept in ascending order of their first code.
struct CharFilterList {
    int32_t count;
    CharFilter entries[CharFilter_max];
};

// Copies filter into list before the first entry whose first code is
// higher (after any with the same first code), moving the later ones up.
// 1 when inserted; 0 when the list already holds 16 (nothing changes) or
// either pointer is null. The list keeps no pointer to filter.
int FontCache_addCharMapping(CharFilterList *list, const CharFilter *filter);

// When the current locale (of the calling thread's engine) is "ja-jp",
// adds to the font engine's filter list a filter of kind 14 for U+005C
// that draws every backslash as a yen sign (U+00A5). Answers 1, also in
// every other locale (where it adds nothing); 0 when the list is full or
// null.
int Locale_installYenMapping(CharFilterList *list);
