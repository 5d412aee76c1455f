// Highlight records: the outline and fill shapes of selected text, search
// matches and the focused object, kept on the highlight lists of a
// document's page views and drawn with the page.
//
// One highlight is a fill record and an outline record sharing one path
// (either may be left out); the record that owns the path frees it. Every
// change is reported as an area of the view through View_invalidateRect.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "viewer/docview.h"

struct Path;

enum : uint32_t {
    Highlight_ownsPath = 1u << 0,
    Highlight_temporary = 1u << 2, // a focus highlight
    Highlight_hidden = 1u << 7,
};

enum : int32_t {
    Highlight_grow = 1820,         // one thirty-sixth of an inch, in view units
    Highlight_outlineWidth = 1820,
    Highlight_badStyle = 4868,     // a paint style other than fill and outline
};

// A paint style of seven words: word 0 is 1 for an outline, 0 for a fill.
// An outline's words: {1, flags, width, 182000, 9100, 18200, 0}.
struct HighlightRecord {
    Rect bounds;          // the shape's bounding box in view units
    int32_t origin[2];    // its offset in the view
    HighlightRecord *next;
    uint32_t flags;
    Path *path;           // shared by the fill and outline of one highlight
    int32_t *style;       // owned
    uint32_t paintKind;   // 0 plain colour
    uint32_t colour;      // 0xAABBGGRR
};

// The four highlight colours and the focus kind a restyle chooses from.
struct HighlightColours {
    uint32_t focusBorder, focusFill, activeBorder, activeFill;
};

// The active colours when kind is non-zero, else the focus colours.
void Select_pickColours(uint32_t *border, uint32_t *fill, const HighlightColours *colours, int32_t kind);
// Gives every temporary record of the view (a group view: of its child
// views) the colour chosen for its style by Select_pickColours and paint
// kind 0, and reports the union of their areas once.
void Select_restyleHighlights(PageView *view, const HighlightColours *colours, int32_t kind);
// The bounding box of every point of an unpacked path (control points
// included); false for an empty or packed path.
bool Highlight_pathBounds(const Path *path, Rect *out);
