// Layout services that the document model calls: the layout pass the eDR
// manager runs; the layout box and the measuring cursor of intrinsic widths, the
// cursor's run, line and break arithmetic, and the font, line-break, table,
// image, control, sub-document and palette services that the style code's
// measuring needs.
//
// Only the services that modules built before layout call are declared
// here so far, and the records hold only the fields those modules read;
// every service except the cursor arithmetic (layout/cursor.cpp) has an
// interim definition in layout/interim.cpp. Layout extends the records and
// replaces the interims when it is built.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct Edr_StyleCtx;
struct FontList;

// Lays the whole document out again. Called by the eDR manager once per
// pass under the document's read lock. 0 or an error (48 when the task was
// asked to stop).
int Layout_runPass(Edr_Doc *doc);
// Asks the display to redraw the area of a node. 0 or an error.
int Layout_redrawNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node);

// A layout box: the fields the intrinsic-width measurement uses. The first
// word is the engine context.
struct LayoutBox {
    EngineContext *context;
    Edr_Doc *document;
    int32_t contentLeft; // content rectangle, left and right edges
    int32_t contentRight;
    int32_t availableWidth;     // read and temporarily replaced by measuring
    Edr_StyleCtx *styleContext; // the context walkers create style sets in
};

// The layout cursor: a pen moved across a group's content that remembers
// the largest x and y reached. Intrinsic-width measuring reads its x
// extent as the narrowest width and its y extent as the widest; the
// cursor-driven placement of replaced items reads both as the extent of
// the content.
struct LayoutCursor {
    LayoutBox *box;
    Edr_Doc *document;
    int32_t *origin;     // the caller's start position pair
    int32_t originY;     // a copy of its second word
    int32_t narrowest;   // extent x: the widest unbreakable run seen
    int32_t widest;      // extent y: the longest line seen
    int32_t run;         // x: the current run
    int32_t line;        // y: the current line
    int32_t indentation; // extra: added to x and y when the extents are raised
    uint32_t whiteSpace; // keyword of property 88
    uint32_t keepRuns;   // fixed cell: in mode 104, breaks end runs only with this set
};

// Starts the cursor at the pair start: origin and originY from it, the
// extents, position and extra cleared, white-space normal (103), and
// keepRuns set when the style's width is set and its display is
// table-cell. The box and document fields are left as they are.
void LayoutCursor_init(LayoutCursor *cursor, int32_t *start, const Edr_Style *style);

// run += d; narrowest = max(narrowest, run + indentation).
void Layout_advanceX(LayoutCursor *cursor, int32_t d);
// line += d; widest = max(widest, line + indentation).
void Layout_advanceY(LayoutCursor *cursor, int32_t d);
// A break opportunity: run = 0, except in white-space mode 104 with
// keepRuns clear.
void Layout_newLine(LayoutCursor *cursor);

// The text format of a style: its font list (not counted), its size in
// points (16.16), style flags and spacings.
struct LayoutFont {
    FontList *fonts;
    int32_t size;
    uint32_t flags;
    int32_t charSpacing;
    int32_t wordSpacing;
};

// Fills *out with the text format of the style set. 0 or an error.
[[nodiscard]] int Layout_fontForStyle(LayoutBox *box, Edr_Style *style, LayoutFont *out);

// The length of text (length units) up to its next line-break opportunity;
// state carries what the rules need between calls (0 at the start).
uint32_t Layout_nextBreak(const char16_t *text, uint32_t length, uint32_t *state);

// What table layout leaves in a table node's extra record: the table's
// minimum, maximum and fixed widths. Layout adds its other fields.
struct LayoutExtra {
    int32_t minWidth;
    int32_t maxWidth;
    int32_t fixedWidth;
};

// Lays out a table node (box's first word is the engine context); its extra
// record then holds the widths. 0 or an error.
[[nodiscard]] int Layout_layoutTable(LayoutBox *box, Edr_Node *table, Edr_Style *style);
// Adds an image or picture-record node to the cursor. 0 or an error.
[[nodiscard]] int Layout_measureImage(LayoutCursor *cursor, Edr_Style *style, Edr_Node *node);
// Measures a form control given property 44 (height) and 90 (width);
// *width receives the control's width. 0 or an error.
[[nodiscard]] int Layout_measureControl(EngineContext *context, Edr_Node *node, Edr_Style *style,
                                        int32_t height, int32_t width, int32_t *outWidth);
// The laid-out size {width, height} of a sub-document node.
void Layout_subdocSize(Edr_Node *node, int32_t out[2]);
// The colour (R, G, B, A) of a palette index.
void Layout_paletteColour(uint32_t index, uint8_t out[4]);
