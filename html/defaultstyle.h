// Default element styles: every element type's built-in rule, added to
// the document's style request the first time such an element occurs, and
// the link colour rules.
#pragma once

#include <cstdint>

#include "html/parser.h"

struct StyleRule;
struct Request;

enum : uint32_t {
    Html_defaultPropCount = 90,
    Html_defaultRowBytes = 23,
    Html_errBadDefaultProp = 11776,
};

// Value kinds of a default property record.
enum : int16_t {
    HtmlDefKind_int = 1,
    HtmlDefKind_keyword = 2,
    HtmlDefKind_string = 3, // only font-family "monospace"
    HtmlDefKind_length = 4, // 16.16 inches
    HtmlDefKind_em = 5,     // 16.16 factor of the font size
    HtmlDefKind_colour = 6, // bytes red, green, blue, alpha
};

struct HtmlDefaultProp {
    int16_t id;
    int16_t kind;
    uint32_t value;
};

extern const HtmlDefaultProp Html_defaultProps[Html_defaultPropCount];
extern const uint8_t Html_defaultRows[Html_elementCount + 1][Html_defaultRowBytes];

// Appends record index's property to rule unless the rule has its id. 0,
// 1 when memory runs out, Html_errBadDefaultProp for an invalid kind.
int Html_addDefaultProp(uint32_t index, StyleRule *rule);
// Adds a link-colour rule for the link state (8 link, 16 visited, 64
// active): colour rgba and an underline. 0 or 1.
int Html_addLinkColour(Request *request, uint32_t state, const uint8_t rgba[4]);
// The two rules of the start of a load: blue links and purple visited links.
int Html_addDefaultLinkColours(Request *request);
