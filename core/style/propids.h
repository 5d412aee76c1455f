// Style property ids and keyword ids by name.
//
// A style property id names one slot of a style set (0 to 154); a keyword
// id is a payload-less property value (Prop type above 18), so the same
// number space holds the keywords of every property. Ids 1 to 92 are the
// CSS properties and keywords 22 to 161 the CSS keywords, in the order of
// the style engine's name tables (keywords sorted by name); the ids above
// them are the engine's own, set by importers and read by layout and
// drawing. An engine id gets its name here when code first uses it.
//
// Code passes these names, never bare numbers.
#pragma once

#include <cstdint>

// Property ids: the CSS properties.
enum PropId : uint32_t {
    PropId_none = 0,
    PropId_backgroundAttachment = 1, // background-attachment
    PropId_backgroundColor = 2,      // background-color
    PropId_backgroundImage = 3,      // background-image
    PropId_backgroundPositionX = 4,  // background-position-x
    PropId_backgroundPositionY = 5,  // background-position-y
    PropId_backgroundRepeat = 6,     // background-repeat
    PropId_borderCollapse = 7,       // border-collapse
    PropId_borderTopColor = 8,       // border-top-color
    PropId_borderRightColor = 9,     // border-right-color
    PropId_borderBottomColor = 10,   // border-bottom-color
    PropId_borderLeftColor = 11,     // border-left-color
    PropId_borderSpacingX = 12,      // border-spacing-x
    PropId_borderSpacingY = 13,      // border-spacing-y
    PropId_borderTopStyle = 14,      // border-top-style
    PropId_borderRightStyle = 15,    // border-right-style
    PropId_borderBottomStyle = 16,   // border-bottom-style
    PropId_borderLeftStyle = 17,     // border-left-style
    PropId_borderTopWidth = 18,      // border-top-width
    PropId_borderRightWidth = 19,    // border-right-width
    PropId_borderBottomWidth = 20,   // border-bottom-width
    PropId_borderLeftWidth = 21,     // border-left-width
    PropId_bottom = 22,              // bottom
    PropId_captionSide = 23,         // caption-side
    PropId_clear = 24,               // clear
    PropId_clipTop = 25,             // clip-top
    PropId_clipRight = 26,           // clip-right
    PropId_clipBottom = 27,          // clip-bottom
    PropId_clipLeft = 28,            // clip-left
    PropId_color = 29,               // color
    PropId_content = 30,             // content
    PropId_counterIncrement = 31,    // counter-increment
    PropId_counterReset = 32,        // counter-reset
    PropId_direction = 33,           // direction
    PropId_display = 34,             // display
    PropId_emptyCells = 35,          // empty-cells
    PropId_float = 36,               // float
    PropId_fontFamily = 37,          // font-family
    PropId_fontSize = 38,            // font-size
    PropId_fontSizeAdjust = 39,      // font-size-adjust
    PropId_fontStretch = 40,         // font-stretch
    PropId_fontStyle = 41,           // font-style
    PropId_fontVariant = 42,         // font-variant
    PropId_fontWeight = 43,          // font-weight
    PropId_height = 44,              // height
    PropId_left = 45,                // left
    PropId_letterSpacing = 46,       // letter-spacing
    PropId_lineHeight = 47,          // line-height
    PropId_listStyleImage = 48,      // list-style-image
    PropId_listStylePosition = 49,   // list-style-position
    PropId_listStyleType = 50,       // list-style-type
    PropId_marginTop = 51,           // margin-top
    PropId_marginRight = 52,         // margin-right
    PropId_marginBottom = 53,        // margin-bottom
    PropId_marginLeft = 54,          // margin-left
    PropId_markerOffset = 55,        // marker-offset
    PropId_marks = 56,               // marks
    PropId_maxHeight = 57,           // max-height
    PropId_maxWidth = 58,            // max-width
    PropId_minHeight = 59,           // min-height
    PropId_minWidth = 60,            // min-width
    PropId_orphans = 61,             // orphans
    PropId_outlineColor = 62,        // outline-color
    PropId_outlineStyle = 63,        // outline-style
    PropId_outlineWidth = 64,        // outline-width
    PropId_overflow = 65,            // overflow
    PropId_paddingTop = 66,          // padding-top
    PropId_paddingRight = 67,        // padding-right
    PropId_paddingBottom = 68,       // padding-bottom
    PropId_paddingLeft = 69,         // padding-left
    PropId_pageBreakAfter = 71,      // page-break-after
    PropId_pageBreakBefore = 72,     // page-break-before
    PropId_pageBreakInside = 73,     // page-break-inside
    PropId_position = 74,            // position
    PropId_quotes = 75,              // quotes
    PropId_right = 76,               // right
    PropId_size = 77,                // size
    PropId_tableLayout = 78,         // table-layout
    PropId_textAlign = 79,           // text-align
    PropId_textDecoration = 80,      // text-decoration
    PropId_textIndent = 81,          // text-indent
    PropId_textShadow = 82,          // text-shadow
    PropId_textTransform = 83,       // text-transform
    PropId_top = 84,                 // top
    PropId_unicodeBidi = 85,         // unicode-bidi
    PropId_verticalAlign = 86,       // vertical-align
    PropId_visibility = 87,          // visibility
    PropId_whiteSpace = 88,          // white-space
    PropId_widows = 89,              // widows
    PropId_width = 90,               // width
    PropId_wordSpacing = 91,         // word-spacing
    PropId_zIndex = 92,              // z-index

    // The engine's own properties.
    PropId_columns = 94,      // column list (Prop type 16)
    PropId_tabInterval = 102, // default tab interval, a length
    PropId_tabOrigin = 103,   // where default tabs are counted from, a length
    PropId_tabStops = 105,    // tab stop list (Prop type 14)
    PropId_backgroundStops =
        109, // colour stops painted instead of the background colour (Prop type 15)
    PropId_lineSpacing = 110,        // line spacing record (Prop type 17)
    PropId_boxRecord = 111,          // an importer's box record (Prop type 18)
    PropId_lineBreak = 112,          // a break of the line, column or page (KwId_break*)
    PropId_drawColour = 127,         // colour of drawn lines
    PropId_strokeWidth = 128,        // width of drawn lines, a length
    PropId_stroke = 129,             // how lines are drawn
    PropId_startArrow = 130,         // arrowhead at a line's start
    PropId_endArrow = 131,           // arrowhead at a line's end
    PropId_arrowWidth = 132,         // arrowhead width, a length
    PropId_arrowLength = 133,        // arrowhead length, a length
    PropId_transform = 134,          // transformation matrix (Prop type 11)
    PropId_verticalAnchor = 135,     // vertical anchoring of a box's content
    PropId_shape = 136,              // a drawing's shape: path, clip or text flow (Prop_set136)
    PropId_floatRegion = 139,        // the group starts a float region
    PropId_backgroundImageRef = 145, // resolved background picture
    PropId_listImageRef = 146,       // resolved list-marker picture
    PropId_colourOverride = 154,     // colour that wins over every other colour property

    PropId_count = 155, // slots of a style set
};

// Keyword ids: the CSS keywords.
enum KwId : uint32_t {
    KwId_none = 0,
    KwId_weight100 = 22,          // 100
    KwId_weight200 = 23,          // 200
    KwId_weight300 = 24,          // 300
    KwId_weight400 = 25,          // 400
    KwId_weight500 = 26,          // 500
    KwId_weight600 = 27,          // 600
    KwId_weight700 = 28,          // 700
    KwId_weight800 = 29,          // 800
    KwId_weight900 = 30,          // 900
    KwId_absolute = 31,           // absolute
    KwId_always = 32,             // always
    KwId_armenian = 33,           // armenian
    KwId_auto = 34,               // auto
    KwId_avoid = 35,              // avoid
    KwId_baseline = 36,           // baseline
    KwId_bidiOverride = 37,       // bidi-override
    KwId_blink = 38,              // blink
    KwId_block = 39,              // block
    KwId_bold = 40,               // bold
    KwId_bolder = 41,             // bolder
    KwId_both = 42,               // both
    KwId_bottom = 43,             // bottom
    KwId_capitalize = 44,         // capitalize
    KwId_center = 45,             // center
    KwId_circle = 46,             // circle
    KwId_cjkIdeographic = 47,     // cjk-ideographic
    KwId_closeQuote = 48,         // close-quote
    KwId_collapse = 49,           // collapse
    KwId_compact = 50,            // compact
    KwId_condensed = 51,          // condensed
    KwId_crop = 52,               // crop
    KwId_cross = 53,              // cross
    KwId_dashed = 54,             // dashed
    KwId_decimal = 55,            // decimal
    KwId_decimalLeadingZero = 56, // decimal-leading-zero
    KwId_disc = 58,               // disc
    KwId_dotted = 59,             // dotted
    KwId_double = 60,             // double
    KwId_embed = 61,              // embed
    KwId_expanded = 62,           // expanded
    KwId_extraCondensed = 63,     // extra-condensed
    KwId_extraExpanded = 64,      // extra-expanded
    KwId_fixed = 65,              // fixed
    KwId_georgian = 66,           // georgian
    KwId_groove = 67,             // groove
    KwId_hebrew = 68,             // hebrew
    KwId_hidden = 69,             // hidden
    KwId_hide = 70,               // hide
    KwId_hiragana = 71,           // hiragana
    KwId_hiraganaIroha = 72,      // hiragana-iroha
    KwId_inherit = 73,            // inherit
    KwId_inline = 74,             // inline
    KwId_inlineTable = 75,        // inline-table
    KwId_inset = 76,              // inset
    KwId_inside = 77,             // inside
    KwId_invert = 78,             // invert
    KwId_italic = 79,             // italic
    KwId_justify = 80,            // justify
    KwId_kitakana = 81,           // kitakana
    KwId_kitakanaIroha = 82,      // kitakana-iroha
    KwId_landscape = 83,          // landscape
    KwId_large = 84,              // large
    KwId_larger = 85,             // larger
    KwId_left = 86,               // left
    KwId_lighter = 87,            // lighter
    KwId_lineThrough = 88,        // line-through
    KwId_listItem = 89,           // list-item
    KwId_lowerAlpha = 90,         // lower-alpha
    KwId_lowerGreek = 91,         // lower-greek
    KwId_lowerLatin = 92,         // lower-latin
    KwId_lowerRoman = 93,         // lower-roman
    KwId_lowercase = 94,          // lowercase
    KwId_ltr = 95,                // ltr
    KwId_marker = 96,             // marker
    KwId_medium = 97,             // medium
    KwId_middle = 98,             // middle
    KwId_narrower = 99,           // narrower
    KwId_noCloseQuote = 100,      // no-close-quote
    KwId_noOpenQuote = 101,       // no-open-quote
    KwId_noRepeat = 102,          // no-repeat
    KwId_normal = 103,            // normal
    KwId_nowrap = 104,            // nowrap
    KwId_oblique = 105,           // oblique
    KwId_openQuote = 106,         // open-quote
    KwId_outset = 107,            // outset
    KwId_outside = 108,           // outside
    KwId_overline = 109,          // overline
    KwId_portrait = 110,          // portrait
    KwId_pre = 111,               // pre
    KwId_relative = 112,          // relative
    KwId_repeat = 113,            // repeat
    KwId_repeatX = 114,           // repeat-x
    KwId_repeatY = 115,           // repeat-y
    KwId_ridge = 116,             // ridge
    KwId_right = 117,             // right
    KwId_rtl = 118,               // rtl
    KwId_runIn = 119,             // run-in
    KwId_scroll = 121,            // scroll
    KwId_semiCondensed = 122,     // semi-condensed
    KwId_semiExpanded = 123,      // semi-expanded
    KwId_separate = 124,          // separate
    KwId_show = 125,              // show
    KwId_small = 126,             // small
    KwId_smallCaps = 127,         // small-caps
    KwId_smaller = 128,           // smaller
    KwId_solid = 129,             // solid
    KwId_square = 130,            // square
    KwId_static = 131,            // static
    KwId_sub = 132,               // sub
    KwId_super = 133,             // super
    KwId_table = 134,             // table
    KwId_tableCaption = 135,      // table-caption
    KwId_tableCell = 136,         // table-cell
    KwId_tableColumn = 137,       // table-column
    KwId_tableColumnGroup = 138,  // table-column-group
    KwId_tableFooterGroup = 139,  // table-footer-group
    KwId_tableHeaderGroup = 140,  // table-header-group
    KwId_tableRow = 141,          // table-row
    KwId_tableRowGroup = 142,     // table-row-group
    KwId_textBottom = 143,        // text-bottom
    KwId_textTop = 144,           // text-top
    KwId_thick = 145,             // thick
    KwId_thin = 146,              // thin
    KwId_top = 147,               // top
    KwId_transparent = 148,       // transparent
    KwId_ultraCondensed = 149,    // ultra-condensed
    KwId_ultraExpanded = 150,     // ultra-expanded
    KwId_underline = 151,         // underline
    KwId_upperAlpha = 152,        // upper-alpha
    KwId_upperLatin = 153,        // upper-latin
    KwId_upperRoman = 154,        // upper-roman
    KwId_uppercase = 155,         // uppercase
    KwId_visible = 156,           // visible
    KwId_wider = 157,             // wider
    KwId_xLarge = 158,            // x-large
    KwId_xSmall = 159,            // x-small
    KwId_xxLarge = 160,           // xx-large
    KwId_xxSmall = 161,           // xx-small

    // 57 (the default), 73 (inherit) and 120 (the colour) have their
    // meaning to the style set: Edr_Style_kw* in document/style/style.h.

    // The engine's own keywords.
    KwId_columnBlock = 172,     // display: a multi-column block
    KwId_framesetRows = 173,    // display: a frame set, frames stacked
    KwId_framesetColumns = 174, // display: a frame set, frames side by side
    KwId_replacedBox = 175,     // display: an embedded object or picture
    KwId_frameBox = 176,        // display: a frame
    KwId_controlBox = 177,      // display: a form control
    KwId_markedBlock = 179,     // display: a block that layout marks (box flag 8)
    KwId_breakFirst = 181,      // first of the line-break kinds (PropId_lineBreak)
    KwId_lineBreak = 187,       // a hard line break; the last break kind
    KwId_lineSolid = 204,       // PropId_stroke: a plain line, the initial stroke
    KwId_lineOutline = 205,     // PropId_stroke and arrows: an outline
    KwId_arrowFilled = 207,     // PropId_startArrow, PropId_endArrow: a drawn arrowhead
    KwId_preWrap = 209,         // white-space: kept, and lines wrap
};
