// Highlight records: the outline and fill shapes of selected text, search
// matches and the focused object, kept on the highlight lists of a
// document's page views and drawn with the page.
//
// One highlight is a fill record and an outline record sharing one path
// (either may be left out); the record that owns the path frees it. Every
// change is reported as an area of the view through View_invalidateRect.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/fill.h"
#include "viewer/docview.h"

struct Path;

enum : uint32_t {
    Highlight_ownsPath = 1u << 0,
    Highlight_temporary = 1u << 2, // a focus highlight
    Highlight_hidden = 1u << 7,
};

enum : int32_t {
    Highlight_grow = 1820, // one thirty-sixth of an inch, in view units
    Highlight_outlineWidth = 1820,
    Highlight_badStyle = 4868, // a paint style other than fill and outline
};

// A paint style of seven words: word 0 is 1 for an outline, 0 for a fill.
// An outline's words: {1, flags, width, 182000, 9100, 18200, 0}.
struct HighlightRecord {
    Rect bounds;       // the shape's bounding box in view units
    int32_t origin[2]; // its offset in the view
    HighlightRecord *next;
    uint32_t flags;
    Path *path;         // shared by the fill and outline of one highlight
    int32_t *style;     // owned
    uint32_t paintKind; // 0 plain colour
    uint32_t colour;    // 0xAABBGGRR
};

// The four highlight colours and the focus kind a restyle chooses from.
struct HighlightColours {
    uint32_t focusBorder, focusFill, activeBorder, activeFill;
};

// The active colours when kind is non-zero, else the focus colours.
void Select_pickColours(uint32_t *border, uint32_t *fill, const HighlightColours *colours,
                        int32_t kind);
// Gives every temporary record of the view (a group view: of its child
// views) the colour chosen for its style by Select_pickColours and paint
// kind 0, and reports the union of their areas once.
void Select_restyleHighlights(PageView *view, const HighlightColours *colours, int32_t kind);
// The bounding box of every point of an unpacked path (control points
// included); false for an empty or packed path.
bool Highlight_pathBounds(const Path *path, Rect *out);

// ------------------------------------------------------------- drawing

struct DrawTarget;
struct EngineContext;
struct Matrix;

// A record's shape: the fill request of its path (request.matrix points at
// matrix, so the record is used where it was filled), its colour and the
// device box it touches at the path's own scale (its units with 8
// fractional bits).
struct HighlightShape {
    FillRequest request;
    Matrix matrix;
    uint32_t colour;
    Rect device;
};

// The colour of a record from a colour record: word 9 (the fill colour)
// for a fill style, word 10 (the border colour) for an outline. 0, or
// 4868 for another style kind (*out 0).
[[nodiscard]] int Highlight_colour(const HighlightRecord *record, const uint32_t *colours,
                                   uint32_t *out);
// Builds the record's shape through matrix (null: the identity) after its
// own origin. 0, 4868 for a style kind other than fill and outline, or the
// device box's error.
[[nodiscard]] int Highlight_shape(EngineContext *context, const HighlightRecord *record,
                                  const Matrix *matrix, HighlightShape *out);
// Renders the record into target: the path moved by the record's origin
// and then matrix, filled in the record's colour or outlined with its
// style's pen; a hidden record draws nothing. 0, 4868 for a style kind
// other than 0 and 1, or the render's error.
[[nodiscard]] int Highlight_draw(EngineContext *context, const HighlightRecord *record,
                                 const Matrix *matrix, const DrawTarget *target);

// ------------------------------------------------------------- walks

struct ObjHeader;
struct Edr_PageEntry;
struct ViewChangeReport;

enum : int32_t {
    Select_deletedNode = 1551, // a walk callback's answer for a deleted node: walking goes on
};

// Called for each display item of a view tree with the leaf view that
// holds it; 0 goes on, anything else (but 1551) ends the walk with that
// value. Setting bit 0 of *stop also ends it after this item.
typedef int (*Select_ItemWalkFn)(ObjHeader *item, void *argument, PageView *view, uint32_t *stop);
// Visits every display item of the view and of the views after it on its
// chain, group views through their children (pending siblings kept on an
// explicit stack, so depth costs no recursion). *stop (may be null) gets
// bit 0 when a callback ended the walk. 0, the callback's result, or 1
// when the stack cannot grow.
[[nodiscard]] int Select_walkView(PageView *view, Select_ItemWalkFn callback, void *argument,
                                  uint32_t *stop);
// Walks the chain of views of one page entry (an entry without views:
// the display items of its records).
[[nodiscard]] int Select_walkEntry(Edr_PageEntry *entry, Select_ItemWalkFn callback, void *argument,
                                   uint32_t *stop);
// Walks entries from first until a callback result is non-zero or a stop
// is asked for.
[[nodiscard]] int Select_walkEntries(Edr_PageEntry *first, Select_ItemWalkFn callback,
                                     void *argument, uint32_t *stop);

// What Select_locateNode looks for and what it found: the caller's report
// gets the item's box moved by its view's origin.
struct SelectLocate {
    const Edr_Node *node;
    ViewChangeReport *report;
    int found;
};
// The walk callback (argument: a SelectLocate) that stops at the first
// item showing the node.
int Select_locateNode(ObjHeader *item, void *argument, PageView *view, uint32_t *stop);
// Finds where node is shown in the document's page entries (under the
// document's and the page list's read locks) and reports that box, with
// the report's own identity words, through View_invalidateRect(a, b).
// Nothing is reported when no item shows the node. 0 or the report's
// result.
[[nodiscard]] int Select_invalidateNode(ViewChangeReport *report, Edr_Doc *doc,
                                        const Edr_Node *node, int32_t a, int32_t b);
