// Line building and inline placement: filling the current line of a block
// with its inline content (text pieces cut at break opportunities, tabs,
// forced breaks, inline boxes, opposite-direction runs, replaced content),
// the text format of a style, tab stops, vertical alignment, form controls
// in a line, outline items, and the ordering of a page's record pieces.
//
// Geometry is in signed 16.16 layout units with y growing upward. Every
// placed piece is a display item (core/container/obj.h) appended to the
// line's LayerList; the block builder aligns the line and moves its items
// to the page.
#pragma once

#include <cstddef>
#include <cstdint>

struct BoxIter;
struct Edr_Node;
struct Edr_PageRec;
struct Edr_Style;
struct FontList;
struct IterEntry;
struct LayerList;
struct LayoutBox;
struct ObjClass;
struct ObjHeader;
struct Rect;

// Flow results passed between the layout steps, never returned outside
// layout.
enum : int {
    Layout_lineFull = 0x1003,    // the line or region is full
    Layout_contentEnd = 0x1004,  // no more content
    Layout_breakNeeded = 0x1005, // a line break is needed
    Layout_nothingFits = 0x1006, // nothing of it fits (an empty line)
    Layout_restart = 0x1009,     // commit and restart the line loop
};

// ------------------------------------------------------------- line counter

// The current line's extent (the pending margin between blocks) and the
// number of lines started.
struct LineCounter {
    int32_t extent;
    uint32_t count;
    // A list item's marker handed down to the first line of the block it
    // starts with (null when none), and the marker's width.
    ObjHeader *handedMarker;
    int32_t handedMarkerWidth;
};

// Starts a line: the extent becomes 0 and the count grows by 1.
void LineCounter_newLine(LineCounter *lines);
uint32_t LineCounter_count(const LineCounter *lines);
int32_t LineCounter_extent(const LineCounter *lines);
// Extent and count 0.
void LineCounter_reset(LineCounter *lines);
// *value = the larger of *value and candidate.
void Layout_raise(int32_t *value, int32_t candidate);

// -------------------------------------------------------------- text format

enum : uint32_t {
    // TextFormat::flags.
    TextFormat_weightMask = 0xF, // weight step 0 ("100") to 8 ("900"); 3 normal, 6 bold
    TextFormat_italic = 0x100,
    TextFormat_oblique = 0x200,
    TextFormat_smallCaps = 0x30,
    TextFormat_variant194 = 0x20,
    TextFormat_flag138 = 0x1000,
    // TextFormat::decoration.
    TextDecor_underline = 1,
    TextDecor_overline = 2,
    TextDecor_lineThrough = 4,
    TextDecor_rightToLeft = 32,
    TextDecor_hidden = 64,
    TextDecor_kerning = 8,
    TextDecor_collapse = 16, // runs of spaces collapse; cleared under pre and pre-wrap
    TextDecor_initial = TextDecor_kerning | TextDecor_collapse,
};

// The text format of a text node, from its computed style. Interned in the
// document's layout cache when a text item takes it.
// The decoration word is also the run's style flags (graphics/textrun.h).
struct TextFormat {
    FontList *font; // from the document's font-list cache (not counted)
    uint32_t flags;
    uint32_t decoration;
    int32_t size;          // points, 16.16
    int32_t letterSpacing; // signed lengths, 0 when unset
    int32_t wordSpacing;
    int32_t styleWords[2]; // the run's style record: underline count 1, 2 (double) or 0; thickness
                           // (0: the font's)
};

// The size factors of Layout_fontSizeScale's modes (0 sub and super).
enum : int32_t {
    Layout_scaleSubSuper = 39322, // 0.6
    Layout_scaleMode1 = 182,
    Layout_scaleMode3 = 501,
};

// Fills *out from the style: weight, style, variant and decoration words,
// the size in points (16.0 when the style gives no length, 8.0 when it is
// below 1, the reflow limit in the reflowing modes, 0.6 of it for sub and
// super), the font list of the family and flags from the document's
// font-list cache (box may be null or lack a document: no font list), and
// the spacings. 0, 1 when out of memory, or the font engine's error; *out
// is filled as far as it got.
[[nodiscard]] int Layout_textFormat(LayoutBox *box, Edr_Style *style, TextFormat *out);
struct LayoutCache;
// Frees what the document's layout cache holds (its font lists and
// interned text formats), leaving it empty; null allowed.
void Layout_clearCache(LayoutCache *cache);
// The ascent above and descent below the baseline of the style's font at
// its size, both as positive distances: the first font's metrics (the box
// font's without a font list) times the size over 18.0. 0 or an error.
[[nodiscard]] int Layout_textAscent(LayoutBox *box, Edr_Style *style, int32_t *ascent,
                                    int32_t *descent);
// The same for a text format already made.
void Layout_formatAscent(const TextFormat *format, int32_t *ascent, int32_t *descent);
// size scaled by the 16.16 factor of mode (0: 0.6, 1, 3).
int32_t Layout_fontSizeScale(int32_t size, uint32_t mode);
// 16.16 log2 taken piecewise linearly; 0 for 1.0 or less.
int32_t Layout_log2Fixed(int32_t value);

// ----------------------------------------------------------------- tab stops

// Tab stops of a line: the origin, the default interval, the line start
// positions for left-to-right (ref[0]) and right-to-left (ref[1]) lines, the
// explicit stops (lent from the style; spreadWidth not 0: stop i stands at
// (i + 1) x spreadWidth / count instead) and the line's direction keyword.
struct TabList {
    int32_t origin;
    int32_t interval;
    int32_t ref[2];
    int32_t stopCount;
    const int32_t *stops; // pairs {position from the origin, kind}
    int32_t spreadWidth;
    uint32_t direction;
};

// Fills *out from the style (tab interval, origin and stop list) for the
// line width; flow set cuts the interval to width/4 and spreads stops that
// reach past the width. Returns out, or null when the style has no tab
// interval. The references and direction are left 0 for the line builder.
TabList *Layout_tabStops(const Edr_Style *style, TabList *out, int32_t width, uint32_t flow);
// Moves *x to the next tab stop. 1 when a stop was found, 0 when not (a
// negative interval without a further explicit stop).
int Layout_tabStop(const TabList *tabs, int32_t *x);

// ------------------------------------------------------------ line building
//
// Items of a line sit with their baseline on y = 0: a text item's box
// reaches from minus its descent to its ascent (its baseline word holds
// the descent), shifted by vertical alignment; items with Obj_alignTop or
// Obj_alignBottom are aligned to the line's top or bottom by the block
// builder instead.

// The state of one line that the inline placement steps share.
struct LineState {
    LayerList *line;             // the items of the line (the block builder's)
    LayerList *reverse;          // the opposite-direction run being collected, or null
    int32_t start[2];            // line start positions {left-to-right, right-to-left}
    int32_t span;                // the whole width of the line at its start
    uint32_t direction;          // the direction pieces are placed in (the run's)
    const Edr_Style *blockStyle; // the block's set (its own text is not an inline element)
    uint32_t startOfLine;        // nothing placed on the line yet
    uint32_t afterTab;           // the last piece was a tab
    uint32_t endedInSpace;       // the last consumed character was white space
    BoxIter *iter;               // the walk the line's entries come from
};

// Places the entries of the block (whose style is blockStyle) that iter
// delivers on the current line (box->block.lineLeft to lineRight, the
// width limit box->availableWidth) into the list line. 0 (the line is
// full), Layout_contentEnd, Layout_breakNeeded, Layout_restart (commit and
// restart the line: a float was deferred before anything was placed), or
// an error. firstLine is set for the first line of the block.
[[nodiscard]] int Layout_buildLine(LayoutBox *box, BoxIter *iter, Edr_Node *blockNode,
                                   Edr_Style *blockStyle, LineCounter *lines, int firstLine,
                                   LayerList *line);
// Places one entry by node type. 0, Layout_lineFull, Layout_nothingFits
// or an error. The entry's resume advances by what was consumed.
[[nodiscard]] int Layout_placeInline(LayoutBox *box, LineState *state, BoxIter *iter,
                                     IterEntry *entry, int32_t limit, uint32_t whiteSpace);
// One line piece of a text entry in the format (item class cls: null for
// the text item class), with the tab list (null: none). 0,
// Layout_lineFull, Layout_nothingFits or an error.
[[nodiscard]] int Layout_placeTextRun(LayoutBox *box, LineState *state, const ObjClass *cls,
                                      IterEntry *entry, const TextFormat *format,
                                      const TabList *tabs, int32_t limit, uint32_t whiteSpace);
// The text of a text entry from its resume offset: *text the node's
// characters, *start the offset, *length the characters left. None (all
// null and 0) for a list marker (engine property 123 set) or a node
// without text.
void Layout_nodeText(const IterEntry *entry, const char16_t **text, uint32_t *start,
                     uint32_t *length);
// The marker text of list number number in the style's marker keyword
// (engine property 123): a new NUL-terminated text into *out and its
// length. 0 or 1 when out of memory.
[[nodiscard]] int Layout_listMarkerText(int32_t number, const Edr_Style *style, char16_t **out,
                                        uint32_t *length);
// Makes a text item of count characters (copied into the item when
// transformed is set, else lent from the node) in the format, with the
// advance and the vertical extent {y0, y1} from measuring, places it at
// the start limit with the inline element's insets and appends it (and
// the element's border item before it) to the line. 0 or 1.
[[nodiscard]] int Layout_makeTextItem(LayoutBox *box, LineState *state, const ObjClass *cls,
                                      const IterEntry *entry, const TextFormat *format,
                                      int transformed, const char16_t *chars, uint32_t count,
                                      int32_t advance, const int32_t extent[2]);
// The horizontal shift of a line with free width free.
int32_t Layout_alignOffset(uint32_t textAlign, uint32_t whiteSpace, uint32_t direction,
                           int32_t free);
// Puts item at the start limit (the right one under rtl) with the insets
// and moves that limit past it.
void Layout_placeAtLimit(ObjHeader *item, uint32_t direction, int32_t *left, int32_t *right,
                         int32_t leading, int32_t trailing);
// Moves a collected opposite-direction run into the main list at the start
// limit and frees the run list (*run becomes null). 0 or 1.
[[nodiscard]] int Layout_flushReverseRun(LayerList *main, LayerList **run, uint32_t direction,
                                         int32_t *left, int32_t *right);
// Applies the style's clear through the box's float area. Always 0.
int Layout_clearPosition(LayoutBox *box, const Edr_Style *style);

// Break opportunities in text of length characters. findBefore: *index
// moves back to the last opportunity at or before it (1, or 0 when the
// start is reached); findAfter: forward to the next one (1, or 0 at the
// end, *index the end).
int LineBreak_findBefore(const char16_t *text, uint32_t length, uint32_t *index);
int LineBreak_findAfter(const char16_t *text, uint32_t length, uint32_t *index);
// 1 when c is a word character (white space and most scripts' characters
// outside the listed high bytes are opportunities).
int LineBreak_isWordChar(uint32_t c);

// ------------------------------------------------------ inline objects

// Vertical alignment of an inline item by the style's vertical-align,
// with the line's ascent and descent (positive distances). Sets the
// item's align bits or its baseline shift (*shift, positive up).
void Layout_verticalAlign(LayoutBox *box, Edr_Style *style, ObjHeader *item, int32_t *shift,
                          int32_t lineAscent, int32_t lineDescent);
// The ascent and descent of the parent style's text. 0 or an error.
[[nodiscard]] int Layout_parentTextMetrics(LayoutBox *box, Edr_Style *style, int32_t *ascent,
                                           int32_t *descent);

// Places the form control of the entry's node on the current line (state
// not null) or in the first free band (state null). 0, Layout_lineFull
// (retry on the next line) or an error.
[[nodiscard]] int Layout_placeWidget(LayoutBox *box, LineState *state, BoxIter *iter,
                                     IterEntry *entry, Edr_Style *style, int32_t width);
// Makes the items of the node's form control and the nested controls
// below it into layers; *rect their extent. Layout_nothingFits when
// nothing is to be placed.
[[nodiscard]] int Layout_widgetItems(LayoutBox *box, Edr_Node *node, Edr_Style *style,
                                     LayerList *layers, Rect *rect, int32_t width, int32_t height);
// One form-control item in layers' layer 1; *rect its extent; *baseline
// given (not 0x80000000: stored) or taken; *made (when given) the item.
// 0, 1 or the widget's error.
[[nodiscard]] int Layout_makeWidgetItem(LayoutBox *box, Edr_Node *node, Edr_Style *style,
                                        Rect *rect, int32_t height, int32_t *baseline,
                                        LayerList *layers, int32_t width,
                                        ObjHeader **made = nullptr);
// The form-control item class.
extern const ObjClass Layout_widgetItemClass;

// An outline item (edges all edge[2] wide, no fill) of width x height plus
// the edges around the top-left corner (x, y), appended to layer 1 of the
// box's layers and united into its bounds. 0 or 1.
[[nodiscard]] int Layout_makeOutlineItem(LayoutBox *box, Edr_Node *node, int32_t x, int32_t y,
                                         int32_t width, int32_t height, const int32_t edge[3]);

// ---------------------------------------------------------------- page pieces

// *out = a new page-record piece: the first eight words of template
// copied, transparent, kind 3 owned by owner (an outline item) or kind 0.
// 0 or 1.
[[nodiscard]] int PagePiece_create(Edr_PageRec **out, const Edr_PageRec *templ, ObjHeader *owner);
// Appends piece at the end of head's chain.
void PagePiece_append(Edr_PageRec *head, Edr_PageRec *piece);
// Orders the pieces chained behind a content page record as their owning
// items come in the page's item order; pieces without an owner follow.
void PagePiece_orderByItems(Edr_PageRec *page);

// ------------------------------------------------------------- index lists

// A counted chain of items, each carrying its position in the chain in
// its spare[1] word.
struct IndexNode {
    ObjHeader *item;
    IndexNode *next;
};
struct IndexList {
    uint32_t count;
    IndexNode *first;
};

// Moves item to the end (adding it when absent). 0, 1 or 8 (null list).
[[nodiscard]] int IndexList_moveToEnd(IndexList *list, ObjHeader *item);
// Removes item when present; later positions drop by one.
void IndexList_remove(IndexList *list, ObjHeader *item);
// Frees every node.
void IndexList_free(IndexList *list);
// The position an item carries.
uint32_t IndexList_position(const ObjHeader *item);
