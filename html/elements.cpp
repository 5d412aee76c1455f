// The element table, the element sets and the two close matrices.
//
// The matrices are written as rows "tag: elements it closes" and turned
// into bit tables when the program is compiled.
#include "html/parser.h"

#include <algorithm>
#include <cstring>

extern constexpr const char *const Html_elementNames[Html_elementCount] = {
    "!--[if",       "![cdata",     "![endif",  "![endif]--", "![if",       "![ignore",
    "![include",    "!doctype",    "?xml",     "]]",         "a",          "abbr",
    "acronym",      "address",     "applet",   "area",       "b",          "base",
    "basefont",     "bdo",         "big",      "blink",      "blockquote", "body",
    "br",           "button",      "caption",  "center",     "cite",       "code",
    "col",          "colgroup",    "dd",       "del",        "dfn",        "dir",
    "div",          "dl",          "dt",       "em",         "embed",      "okalafh",
    "okalasection", "okalawidget", "fieldset", "font",       "form",       "frame",
    "frameset",     "h1",          "h2",       "h3",         "h4",         "h5",
    "h6",           "head",        "hr",       "html",       "i",          "iframe",
    "ilayer",       "image",       "img",      "input",      "ins",        "isindex",
    "kbd",          "label",       "layer",    "legend",     "li",         "link",
    "map",          "marquee",     "menu",     "meta",       "multicol",   "nextid",
    "nobr",         "noembed",     "noframes", "nolayer",    "noscript",   "object",
    "ol",           "optgroup",    "option",   "p",          "param",      "plaintext",
    "pre",          "q",           "s",        "samp",       "script",     "select",
    "small",        "span",        "strike",   "strong",     "style",      "sub",
    "sup",          "table",       "tbody",    "td",         "textarea",   "tfoot",
    "th",           "thead",       "title",    "tr",         "tt",         "u",
    "ul",           "var",         "xmp"};

namespace {

constexpr uint32_t kIds = Html_elementCount + 1;

// Not constexpr: a misspelt name in a table stops the compilation.
inline void unknownName() {}

constexpr uint32_t idOf(const char *s, size_t n)
{
    for (uint32_t i = 0; i < Html_elementCount; i++) {
        const char *name = Html_elementNames[i];
        size_t k = 0;
        while (k < n && name[k] && name[k] == s[k])
            k++;
        if (k == n && !name[k])
            return i + 1;
    }
    return 0;
}

struct Bits {
    uint8_t b[15];
    constexpr void set(uint32_t id)
    {
        b[id / 8] = uint8_t(b[id / 8] | (1u << (id % 8)));
    }
    constexpr bool has(uint32_t id) const
    {
        return id < kIds && (b[id / 8] >> (id % 8)) & 1;
    }
};

// Names separated by ", " or spaces.
constexpr Bits parseList(const char *s)
{
    Bits bits{};
    while (*s) {
        while (*s == ' ' || *s == ',')
            s++;
        const char *start = s;
        while (*s && *s != ' ' && *s != ',')
            s++;
        if (s > start) {
            uint32_t id = idOf(start, size_t(s - start));
            if (!id)
                unknownName();
            bits.set(id);
        }
    }
    return bits;
}

struct Matrix {
    Bits rows[kIds];
};

template <size_t N> constexpr Matrix parseMatrix(const char *const (&rows)[N])
{
    Matrix m{};
    for (const char *row : rows) {
        const char *colon = row;
        while (*colon != ':')
            colon++;
        uint32_t id = idOf(row, size_t(colon - row));
        if (!id)
            unknownName();
        m.rows[id] = parseList(colon + 1);
    }
    return m;
}

constexpr const char *kStartRows[] = {
    "a: a",
    "address: p",
    "applet: object",
    "blockquote: p",
    "body: head, meta",
    "center: p",
    "colgroup: colgroup",
    "dd: dd, li, p",
    "dir: p",
    "div: p",
    "dl: p",
    "dt: dd, dt, li, p",
    "fieldset: p",
    "frameset: head",
    "h1: p",
    "h2: p",
    "h3: p",
    "h4: p",
    "h5: p",
    "h6: p",
    "hr: p",
    "isindex: p",
    "li: li, p",
    "menu: p",
    "object: object",
    "ol: p",
    "option: option",
    "p: p",
    "pre: p",
    "select: option",
    "table: a, table, tr",
    "tbody: col, colgroup, dir, div, menu, ol, span, tbody, tfoot, thead, ul",
    "td: b, bdo, big, blink, blockquote, center, dir, div, font, i, map, menu, nobr, ol, p, small, "
    "span, strike, strong, sub, sup, td, th, tt, u, ul",
    "tfoot: dir, div, menu, ol, span, tbody, td, tfoot, th, thead, tr, ul",
    "th: b, bdo, big, blink, blockquote, center, dir, div, font, i, menu, nobr, ol, p, small, "
    "span, strike, strong, sub, sup, th, tt, u, ul",
    "thead: colgroup, dir, div, menu, ol, span, tbody, td, tfoot, th, thead, tr, ul",
    "tr: b, bdo, big, blink, blockquote, center, col, colgroup, dir, div, font, i, menu, nobr, ol, "
    "p, small, span, strike, strong, sub, sup, td, th, tr, tt, u, ul",
    "ul: p",
};

constexpr const char *kEndRows[] = {
    "![endif: ![if",
    "![endif]--: !--[if",
    "]]: ![cdata, ![ignore, ![include",
    "a: div, p, span",
    "address: dir, menu, ol, ul",
    "b: li",
    "bdo: li",
    "big: li",
    "blink: li",
    "blockquote: dir, li, menu, ol, p, ul",
    "body: button, object, p",
    "button: button, dir, menu, ol, p, ul",
    "center: a, li, p",
    "colgroup: colgroup, tbody, td, tfoot, thead, tr",
    "dd: a, dt, li, p",
    "dir: dd, li, menu, ol, p, ul",
    "div: a, dd, dir, dl, dt, form, menu, ol, p, ul",
    "dl: dd, dir, dt, li, menu, ol, p, ul",
    "dt: a, dd, dt, p",
    "fieldset: p",
    "font: li",
    "form: button",
    "frameset: okalafh",
    "h1: h2, h3, h4, h5, h6, p, span",
    "h2: h1, h3, h4, h5, h6, p, span",
    "h3: h1, h2, h4, h5, h6, p, span",
    "h4: h1, h2, h3, h5, h6, p, span",
    "h5: h1, h2, h3, h4, h6, p, span",
    "h6: h1, h2, h3, h4, h5, p, span",
    "head: meta",
    "hr: p",
    "html: button, object",
    "i: li",
    "iframe: iframe, p",
    "input: button, option",
    "isindex: option, p",
    "li: a, li, p",
    "map: map",
    "marquee: a, dir, menu, ol, ul",
    "menu: dd, dir, li, ol, p, ul",
    "nobr: li",
    "noembed: noembed",
    "noframes: noframes",
    "noscript: noscript",
    "object: param",
    "ol: dd, dir, li, menu, p, ul",
    "option: button, option",
    "p: li, p",
    "plaintext: plaintext",
    "pre: dir, menu, ol, p, ul",
    "script: script",
    "select: button, option, select",
    "small: li, small",
    "span: dd, dt, form, li, p",
    "strike: li",
    "strong: li",
    "style: style",
    "sub: li",
    "sup: li",
    "table: b, bdo, big, blink, blockquote, center, colgroup, dd, dl, dt, font, form, h1, h2, h3, "
    "h4, h5, h6, i, li, nobr, option, p, pre, small, span, strike, strong, sub, sup, tbody, td, "
    "tfoot, th, thead, tr, tt, u",
    "tbody: a, b, bdo, big, blink, blockquote, center, cite, colgroup, dd, dir, div, dl, dt, font, "
    "form, i, menu, nobr, ol, option, small, span, strike, strong, sub, sup, td, tfoot, thead, tr, "
    "tt, u, ul",
    "td: a, b, bdo, big, blink, blockquote, center, cite, dd, dir, div, dl, dt, font, form, h1, "
    "h2, h3, h4, h5, h6, i, li, map, menu, nobr, ol, option, p, pre, select, small, span, strike, "
    "strong, sub, sup, tbody, tfoot, thead, tt, u, ul",
    "textarea: option, textarea",
    "tfoot: a, b, bdo, big, blink, blockquote, center, cite, colgroup, dd, dir, div, dl, dt, font, "
    "form, i, menu, nobr, ol, option, small, span, strike, strong, sub, sup, tbody, td, th, thead, "
    "tr, tt, u, ul",
    "th: a, b, bdo, big, blink, blockquote, center, cite, dd, dir, div, dl, dt, font, form, h1, "
    "h2, h3, h4, h5, h6, i, li, menu, nobr, ol, option, small, span, strike, strong, sub, sup, "
    "tbody, td, tfoot, thead, tt, u, ul",
    "thead: a, b, bdo, big, blink, blockquote, center, cite, colgroup, dd, dir, div, dl, dt, font, "
    "form, i, menu, nobr, ol, option, small, span, strike, strong, sub, sup, tbody, td, tfoot, th, "
    "tr, tt, u, ul",
    "title: title",
    "tr: a, b, bdo, big, blink, blockquote, center, cite, dd, dir, div, dl, dt, font, form, h1, "
    "h2, h3, h4, h5, h6, i, li, menu, nobr, ol, option, p, pre, small, span, strike, strong, sub, "
    "sup, tbody, td, tfoot, th, thead, tt, u, ul",
    "tt: li",
    "u: li",
    "ul: dd, dir, li, menu, ol, p",
    "xmp: xmp",
};

constexpr Matrix kStartMatrix = parseMatrix(kStartRows);
constexpr Matrix kEndMatrix = parseMatrix(kEndRows);

constexpr Bits kSets[HtmlSet_count] = {
    parseList("!--[if ![cdata ![endif ![endif]-- ![if ![ignore ![include ]] iframe noembed "
              "noframes noscript "
              "plaintext script style textarea title xmp"),
    parseList("!doctype ?xml area base basefont br col embed frame hr image img input isindex link "
              "meta param"),
    parseList(
        "?xml a area base basefont br col frame hr ilayer img input isindex link meta nobr param"),
    parseList("b bdo big blink font i nobr small span strike strong sub sup tt u"),
    parseList("dd dir div dl dt iframe ol p pre ul"),
    parseList("!doctype ?xml body head html"),
    parseList("button input optgroup option select textarea"),
};

// Element ids in the order of their names, for the binary search.
struct Sorted {
    uint8_t ids[Html_elementCount];
};

constexpr bool nameLess(const char *a, const char *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return uint8_t(*a) < uint8_t(*b);
}

constexpr Sorted sortNames()
{
    Sorted s{};
    for (uint32_t i = 0; i < Html_elementCount; i++)
        s.ids[i] = uint8_t(i + 1);
    for (uint32_t i = 1; i < Html_elementCount; i++)
        for (uint32_t j = i; j > 0 && nameLess(Html_elementNames[s.ids[j] - 1],
                                               Html_elementNames[s.ids[j - 1] - 1]);
             j--) {
            uint8_t t = s.ids[j];
            s.ids[j] = s.ids[j - 1];
            s.ids[j - 1] = t;
        }
    return s;
}

constexpr Sorted kSorted = sortNames();

// For each first character (below 128) the range of kSorted whose names
// begin with it.
struct FirstRanges {
    uint8_t lo[128];
    uint8_t hi[128];
};

constexpr FirstRanges firstRanges()
{
    FirstRanges r{};
    for (uint32_t i = 0; i < Html_elementCount; i++) {
        uint8_t c = uint8_t(Html_elementNames[kSorted.ids[i] - 1][0]);
        if (r.hi[c] == 0)
            r.lo[c] = uint8_t(i);
        r.hi[c] = uint8_t(i + 1);
    }
    return r;
}

constexpr FirstRanges kFirst = firstRanges();

// Compares a 16-bit name (ASCII case ignored) with a table name.
int compareName(const char16_t *name, size_t n, const char *entry)
{
    for (size_t i = 0;; i++) {
        if (i == n)
            return entry[i] ? -1 : 0;
        if (!entry[i])
            return 1;
        char16_t c = name[i];
        uint32_t a = c >= u'A' && c <= u'Z' ? uint32_t(c + 32) : uint32_t(c);
        uint32_t b = uint8_t(entry[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
}

} // namespace

const uint32_t Html_reopenOrder[12] = {HtmlEl_B,     HtmlEl_Big,    HtmlEl_Font, HtmlEl_I,
                                       HtmlEl_U,     HtmlEl_Sub,    HtmlEl_Sup,  HtmlEl_Strike,
                                       HtmlEl_Small, HtmlEl_Strong, HtmlEl_Nobr, HtmlEl_Bdo};

uint32_t Html_elementId(const char16_t *name, size_t length)
{
    if (!length)
        return 0;
    char16_t first = name[0] >= u'A' && name[0] <= u'Z' ? char16_t(name[0] + 32) : name[0];
    if (first >= 128)
        return 0;
    size_t lo = kFirst.lo[first], hi = kFirst.hi[first];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        uint32_t id = kSorted.ids[mid];
        int c = compareName(name, length, Html_elementNames[id - 1]);
        if (c == 0)
            return id;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 0;
}

constexpr HtmlSetBits setBits()
{
    HtmlSetBits out{};
    for (uint32_t set = 0; set < HtmlSet_count; set++)
        for (uint32_t i = 0; i < 15; i++)
            out.rows[set][i] = kSets[set].b[i];
    return out;
}

constexpr HtmlSetBits Html_setBits = setBits();

int Html_closes(int end, uint32_t tag, uint32_t current)
{
    if (tag >= kIds)
        return 0;
    return (end ? kEndMatrix : kStartMatrix).rows[tag].has(current);
}
