// Base-14 font metrics.
//
// Documents (PDF above all) name the 14 standard PostScript fonts without
// embedding them. The engine draws them with its own faces but measures
// them with the standard metrics, so that text keeps the width it was set
// with. The four Courier fonts need no data (every glyph is 0.6 em wide);
// the other ten take their widths and kerning from the built-in file
// "psbase14.bfm" in the fonts directory (its coding is described in
// tools/gen/gen_romfs.py, which makes it). Widths are stored in
// thousandths of an em and handed out in 16384ths (w * 16384 / 1000,
// truncated).
//
// One record per font engine: the 14 font slots, the file and the tables
// decoded from it (on the first slot that needs them).
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct Base14Metrics;
struct Base14Slot;

enum : uint32_t {
    Base14_fontCount = 14,
    Base14_fixedAdvance = 9830, // 0.6 em: Courier, codes below 32, codes without metrics
    Base14_zapfDingbats = 13,
};

// Advances of a run: for each i below n whose tags[i] has its low 3 bits
// equal to runTag (every i when tags is null), first[i] = 0 (the side
// bearing) and advances[i] = the code's advance in 1/16384 em. 0.
typedef int (*Base14MetricsFn)(Base14Slot *slot, const uint16_t *codes, uint32_t n, uint32_t runTag,
                               const uint8_t *tags, uint16_t *first, uint16_t *advances);
// Kerning of a run: for each neighbouring pair i, i + 1 that both belong
// to runTag (as above), the pair's kerning is added to advances[i]. 0.
typedef int (*Base14KerningFn)(Base14Slot *slot, const uint16_t *codes, uint32_t n, uint32_t runTag,
                               const uint8_t *tags, uint16_t *advances);

// One standard font. Lengths are in 1/16384 em.
struct Base14Slot {
    uint32_t inUse;
    Base14Metrics *owner;
    uint32_t index;   // 0 to 13
    const char *name; // its standard name
    int32_t box[4];   // llx, lly, urx, ury
    int32_t underlinePosition;
    int32_t underlineThickness;
    int32_t ascender;
    int32_t descender;
    uint8_t *widthIndex; // owned: per glyph of the group, an index into the width list
    uint32_t widthIndexLength;
    uint8_t *kernClasses; // owned: per kerned pair, an index into the kerning values
    uint32_t kernClassLength;
    const struct Base14Ranges *ranges; // the code ranges of the font's group (shared)
    Base14MetricsFn metrics;           // null: no standard metrics (the file is missing)
    Base14KerningFn kerning;           // null: no kerning
};

// The code ranges of a group of fonts: range i holds the codes from
// start[i] + 32 on, whose glyph indices run from base[i] up to base[i + 1]
// (the closing record's base ends the last range).
struct Base14Ranges {
    uint16_t *start;
    uint16_t *base;
    uint32_t count; // ranges, without the closing record
};

struct Base14Metrics {
    Base14Slot slots[Base14_fontCount];
    Url *url; // "psbase14.bfm" in the fonts directory
    uint32_t fileExists;
    uint32_t loaded; // the shared tables below are decoded
    uint8_t *image;  // the file's bytes
    uint32_t imageLength;
    uint32_t *pairBits; // pair bitmap: bit (a << 8 | b), most significant bit first
    uint32_t pairWords;
    uint32_t *pairRank; // set bits before each word
    uint32_t pairCount; // set bits in all
    int16_t *widths;    // the width list (thousandths of an em)
    uint32_t widthCount;
    int16_t *kernValues; // the kerning value list
    uint32_t kernValueCount;
    uint16_t *kernCodes; // the kerned codes, rising
    uint32_t kernCodeCount;
    uint16_t cachedCode; // one-entry cache of the kerning code search
    uint16_t cachedIndex;
    Base14Ranges ranges[3]; // standard fonts, Symbol, ZapfDingBats
};

// *out = a new record with its 14 slots closed; "psbase14.bfm" is resolved
// against fontsDir and tried (missing or unreadable: no standard metrics for
// the ten fonts that need it). 0; 1; Res_stopRequested when the try is stopped.
[[nodiscard]] int Base14_create(EngineContext *engine, Base14Metrics **out, const Url *fontsDir);
// Frees the record, its slots' tables and the shared tables (null allowed).
void Base14_free(Base14Metrics *metrics);
// *slot = the open slot of the standard font named name (exact names;
// "ZapfDingbats" also opens "ZapfDingBats"), or null for any other name. Its
// tables are loaded on first use. 0; 1; Res_inflateData for a damaged file (no
// slot); the file's read errors.
[[nodiscard]] int Base14_open(EngineContext *engine, Base14Metrics *metrics, const char *name,
                              Base14Slot **slot);
// The slot's font index by name as Base14_open matches it; -1 for none.
int32_t Base14_indexOf(const char *name);
