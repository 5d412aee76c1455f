// Drawing lists: a sequence of painted figures kept as 32-bit words in a
// drawing-list node. Each entry is a header word, a coarse box word, the
// paint words that changed since the previous entry, and one packed path.
//
// Header bits: 0 a fill colour word follows, 1 a stroke colour word
// follows, 2 the outline is drawn, 3 even-odd fill, 4 a pen width word
// follows, 5 pen flag bit 0, 6-7 pen flag bits 1-2, 8 a miter word
// follows, 9-10 pen flag bits 3-4, 11-12 pen flag bits 5-6, 13 and 14 the
// two arrow words follow, 15-22 the element count (0: a count word
// follows), 23-31 the path word count (0: a word-count word follows).
// The box word holds x0, x1, y0, y1 in bytes 0 to 3, each in 256ths of the
// whole list's bounding box.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "graphics/path.h"

struct EngineContext;

// The paint of one entry. Words 3 to 8 are the pen record of a fill
// request: style flags, width, miter limit, arrow half width, arrow
// length and the dash word (always 0 when read back).
struct DrawPaint {
    uint32_t fillColour;   // 0xAABBGGRR; alpha 0 fills nothing
    uint32_t strokeColour; // 0xAABBGGRR; alpha 0 draws no outline
    uint32_t fillRule;     // bit 0: even-odd
    uint32_t penFlags;
    int32_t penWidth;
    int32_t penParam5;
    int32_t penParam6;
    int32_t penParam7;
    int32_t penParam8;
};

// The builder: the paint last written (the defaults at first), then the
// owned word buffer.
struct DrawStyle {
    DrawPaint last;
    uint32_t used;     // words in use
    uint32_t capacity; // words
    int32_t *words;    // owned
};

enum : uint32_t {
    DrawList_firstCapacity = 16384,
    DrawListItem_identifier = 0x44726C73,
};

// The default paint: opaque black fill and outline, non-zero winding, a
// zero pen with miter word 0x10000.
extern const DrawPaint DrawPaint_defaults;

void DrawStyle_init(DrawStyle *style);
void DrawStyle_free(DrawStyle *style);
// Appends path painted with paint. A null or empty path adds nothing. The
// caller's path is left empty either way. 0; 1 when memory runs out (the
// list is then unchanged).
[[nodiscard]] int DrawStyle_appendPath(DrawStyle *style, Path *path, const DrawPaint *paint);
// Decodes the entry at *cursor into a packed path view over the list's
// words and the paint (updated from the words the entry carries), and
// moves *cursor past it.
void DrawStyle_readEntry(const int32_t **cursor, Path *view, DrawPaint *paint);
// Walks the count words of list: stores every entry's box word and the
// list's bounding rectangle in *out (inverted-empty when nothing has a
// box). 0, 1 when memory runs out, or the stroker's error (the entries
// walked so far keep their boxes).
[[nodiscard]] int DrawList_bounds(EngineContext *context, int32_t *words, uint32_t count,
                                  Rect *out);
// 0 when list b holds the same entries as the count words of list a (box
// words not compared), 1 at the first difference.
int DrawList_equal(const int32_t *a, const int32_t *b, uint32_t count);

// The display item of a drawing-list node: the class part points at the
// node's shared list, which lives as long as the node (items hold no
// reference on their nodes).
struct DrawListItemPart {
    const int32_t *words;
    uint32_t count;
    Rect bounds; // the words' bounds: layout moves the item's box from them
};

extern const ObjClass DrawListItem_class;

// Layout makes the items of drawing-list nodes: DrawListItem_create
// (layout/drawlistitem.h).
