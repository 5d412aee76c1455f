// HTML attributes: the attribute names with their ids and value kinds,
// which attribute applies to which element, the value getters, and the
// dispatcher that turns a tag's presentational attributes into a style
// rule of its node.
#pragma once

#include <cstddef>
#include <cstdint>

#include "html/parser.h"

struct Edr_Doc;
struct Prop;
struct StyleRule;

enum : uint32_t { Html_attrCount = 159 };

// Value kinds of attributes.
enum : uint8_t {
    HtmlAttrKind_none = 0,
    HtmlAttrKind_length = 1,
    HtmlAttrKind_keyword = 2,
    HtmlAttrKind_colour = 3,
    HtmlAttrKind_integer = 5,
    HtmlAttrKind_url = 7,
    HtmlAttrKind_text = 8,
};

// Attribute ids: the names in sorted order ("None" first).
enum : uint32_t {
    HtmlAttr_none = 0,
    HtmlAttr_abbr = 1,
    HtmlAttr_above = 2,
    HtmlAttr_accept = 3,
    HtmlAttr_accept_charset = 4,
    HtmlAttr_accesskey = 5,
    HtmlAttr_action = 6,
    HtmlAttr_align = 7,
    HtmlAttr_alink = 8,
    HtmlAttr_alt = 9,
    HtmlAttr_archive = 10,
    HtmlAttr_autocomplete = 11,
    HtmlAttr_axis = 12,
    HtmlAttr_background = 13,
    HtmlAttr_behavior = 14,
    HtmlAttr_below = 15,
    HtmlAttr_bgcolor = 16,
    HtmlAttr_blink = 17,
    HtmlAttr_border = 18,
    HtmlAttr_bordercolor = 19,
    HtmlAttr_bordercolordark = 20,
    HtmlAttr_bordercolorlight = 21,
    HtmlAttr_cellpadding = 22,
    HtmlAttr_cellspacing = 23,
    HtmlAttr_char = 24,
    HtmlAttr_charoff = 25,
    HtmlAttr_charset = 26,
    HtmlAttr_checked = 27,
    HtmlAttr_cite = 28,
    HtmlAttr_class = 29,
    HtmlAttr_classid = 30,
    HtmlAttr_clear = 31,
    HtmlAttr_clip = 32,
    HtmlAttr_code = 33,
    HtmlAttr_codebase = 34,
    HtmlAttr_codetype = 35,
    HtmlAttr_color = 36,
    HtmlAttr_cols = 37,
    HtmlAttr_colspan = 38,
    HtmlAttr_compact = 39,
    HtmlAttr_content = 40,
    HtmlAttr_controls = 41,
    HtmlAttr_coords = 42,
    HtmlAttr_data = 43,
    HtmlAttr_datetime = 44,
    HtmlAttr_declare = 45,
    HtmlAttr_defer = 46,
    HtmlAttr_dir = 47,
    HtmlAttr_direction = 48,
    HtmlAttr_disabled = 49,
    HtmlAttr_dynsrc = 50,
    HtmlAttr_encoding = 51,
    HtmlAttr_enctype = 52,
    HtmlAttr_event = 53,
    HtmlAttr_face = 54,
    HtmlAttr_for = 55,
    HtmlAttr_frame = 56,
    HtmlAttr_frameborder = 57,
    HtmlAttr_frames = 58,
    HtmlAttr_framespacing = 59,
    HtmlAttr_gutter = 60,
    HtmlAttr_headers = 61,
    HtmlAttr_height = 62,
    HtmlAttr_hidden = 63,
    HtmlAttr_href = 64,
    HtmlAttr_hreflang = 65,
    HtmlAttr_hspace = 66,
    HtmlAttr_http_equiv = 67,
    HtmlAttr_id = 68,
    HtmlAttr_ie = 69,
    HtmlAttr_ismap = 70,
    HtmlAttr_label = 71,
    HtmlAttr_lang = 72,
    HtmlAttr_language = 73,
    HtmlAttr_left = 74,
    HtmlAttr_leftmargin = 75,
    HtmlAttr_link = 76,
    HtmlAttr_longdesc = 77,
    HtmlAttr_loop = 78,
    HtmlAttr_lowsrc = 79,
    HtmlAttr_marginheight = 80,
    HtmlAttr_marginwidth = 81,
    HtmlAttr_maxlength = 82,
    HtmlAttr_mayscript = 83,
    HtmlAttr_media = 84,
    HtmlAttr_method = 85,
    HtmlAttr_multiple = 86,
    HtmlAttr_n = 87,
    HtmlAttr_name = 88,
    HtmlAttr_nohref = 89,
    HtmlAttr_noresize = 90,
    HtmlAttr_noshade = 91,
    HtmlAttr_notab = 92,
    HtmlAttr_nowrap = 93,
    HtmlAttr_object = 94,
    HtmlAttr_onabort = 95,
    HtmlAttr_onblur = 96,
    HtmlAttr_onchange = 97,
    HtmlAttr_onclick = 98,
    HtmlAttr_ondblclick = 99,
    HtmlAttr_onerror = 100,
    HtmlAttr_onfocus = 101,
    HtmlAttr_onkeydown = 102,
    HtmlAttr_onkeypress = 103,
    HtmlAttr_onkeyup = 104,
    HtmlAttr_onload = 105,
    HtmlAttr_onmousedown = 106,
    HtmlAttr_onmousemove = 107,
    HtmlAttr_onmouseout = 108,
    HtmlAttr_onmouseover = 109,
    HtmlAttr_onmouseup = 110,
    HtmlAttr_onreset = 111,
    HtmlAttr_onselect = 112,
    HtmlAttr_onsubmit = 113,
    HtmlAttr_onunload = 114,
    HtmlAttr_palette = 115,
    HtmlAttr_pluginspace = 116,
    HtmlAttr_profile = 117,
    HtmlAttr_prompt = 118,
    HtmlAttr_readonly = 119,
    HtmlAttr_rel = 120,
    HtmlAttr_rev = 121,
    HtmlAttr_rows = 122,
    HtmlAttr_rowspan = 123,
    HtmlAttr_rules = 124,
    HtmlAttr_scheme = 125,
    HtmlAttr_scope = 126,
    HtmlAttr_scrollamount = 127,
    HtmlAttr_scrolldelay = 128,
    HtmlAttr_scrolling = 129,
    HtmlAttr_selected = 130,
    HtmlAttr_shape = 131,
    HtmlAttr_size = 132,
    HtmlAttr_span = 133,
    HtmlAttr_src = 134,
    HtmlAttr_standby = 135,
    HtmlAttr_start = 136,
    HtmlAttr_style = 137,
    HtmlAttr_summary = 138,
    HtmlAttr_tabindex = 139,
    HtmlAttr_taborder = 140,
    HtmlAttr_target = 141,
    HtmlAttr_text = 142,
    HtmlAttr_title = 143,
    HtmlAttr_top = 144,
    HtmlAttr_topmargin = 145,
    HtmlAttr_type = 146,
    HtmlAttr_units = 147,
    HtmlAttr_usemap = 148,
    HtmlAttr_valign = 149,
    HtmlAttr_value = 150,
    HtmlAttr_valuetype = 151,
    HtmlAttr_version = 152,
    HtmlAttr_visible = 153,
    HtmlAttr_vlink = 154,
    HtmlAttr_vspace = 155,
    HtmlAttr_width = 156,
    HtmlAttr_wrap = 157,
    HtmlAttr_zindex = 158,
};

struct HtmlAttrRecord {
    const char *name;
    uint8_t kind;
};

extern const HtmlAttrRecord Html_attrRecords[Html_attrCount];
extern const uint8_t Html_attrMatrix[Html_attrCount][15];

// 1 when the attribute applies to the element.
int Html_attrApplies(uint32_t attr, uint32_t element);

// The value of the first attribute of the tag named attr's name (ASCII
// case ignored), with its length; null when absent. A boolean attribute
// written without a value answers its own name; others an empty value.
const char16_t *Html_getAttr(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                             uint32_t attr, size_t *length);
// As Html_getAttr, without leading and trailing white space.
const char16_t *Html_getAttrTrimmed(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                                    uint32_t attr, size_t *length);

// A parsed length: Prop type 2 (16.16 inches), 3 (em) or 7 (percent).
struct HtmlLength {
    uint16_t type;
    int32_t value;
};
// Reads a length: a number with up to four fraction digits and a unit
// ("pt", "px" or none, "pc", "mm", "cm", "in", "em", "ex", "%"). 1 when it
// parses.
int Html_parseLength(const char16_t *text, size_t length, HtmlLength *out);
// The font size of a size step ("3", "+1", "-2"): 1 and the size in 16.16
// inches; 0 when the text has no number.
int Html_parseFontStep(const char16_t *text, size_t length, int32_t *inches);
// A pixel count below 32768 as 16.16 inches at 96 per inch; -1 when the
// text is no such count.
int32_t Html_getAttrInches(const char16_t *text, size_t length);

enum : uint32_t {
    Html_valueFirst = 21, // ids of the value table: 21..66
    Html_valueCount = 46,
};
// The value table: keyword values of attributes, index id - 21.
extern const char *const Html_valueNames[Html_valueCount];
// The value-table id of a text (ASCII case ignored), or 0.
uint32_t Html_valueId(const char16_t *text, size_t length);

// The name of an attribute id (null out of range; "None" for 0).
const char *Html_attrName(uint32_t attr);
// The value-table name of a keyword property (Prop type 21..66), or null.
const char *Html_valueName(const Prop *value);

// 1 and *out when the attribute's trimmed value is an unsigned decimal of
// at least one digit (Uint: up to 4294967295; U16: up to 65535).
int Html_getAttrUint(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr,
                     uint32_t *out);
int Html_getAttrU16(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr,
                    uint32_t *out);
// 1 when the attribute is present with a non-empty value.
int Html_attrPresent(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr);
// Stores the attribute's value into list (the attribute properties, ids
// being attribute ids) by its value kind: a length, a keyword (the value's
// id in the value table, else its text), a colour, an
// integer up to 65535, or the text. Absent, empty or unreadable values add
// nothing. 0 or 1 when memory runs out.
int Html_setAttrProp(StyleRule *list, const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                     uint32_t attr);
// A new copy of a URL attribute without TAB, LF and CR and with '\'
// turned into '/'; under Shift_JIS (shiftJis set) a U+00A5 or U+2035 gets
// a '\' or '~' written before it. *outLength is its length. Null when
// memory runs out.
char16_t *Html_cleanUrlText(const char16_t *text, size_t length, int shiftJis, size_t *outLength);

// Gives doc its string table when it has none: the element names first, so
// that each element's name has its element id. 0 or 1 (out of memory).
int Html_ensureStringTable(Edr_Doc *doc);
