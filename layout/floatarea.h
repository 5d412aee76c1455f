// The float area of a block: the block's content rectangle less everything
// already occupied by floats, tables, columns and boxes that exclude floats,
// kept as a list of maximal free rectangles (which overlap one another).
//
// Coordinates are signed layout units with y growing upward; the edges
// -0x55555554 and 0x55555554 stand for open edges. Layout walks the free
// rectangles of the current band from the left (mode 1) or from the right
// (mode 2), subtracts placed obstacles and asks where a side's floats end.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

enum : int32_t {
    FloatArea_openLow = -0x55555554,
    FloatArea_openHigh = 0x55555554,
};

enum : int32_t {
    FloatArea_fromLeft = 1,
    FloatArea_fromRight = 2,
};

struct FloatArea {
    Rect area;            // the block's content rectangle
    Rect band;            // what the current search looks at
    Rect used;            // bounds of everything occupied so far (empty at first)
    Rect **rects;         // the free rectangles, 16-byte heap blocks
    int32_t capacity;     // slots in rects (starts at 8, doubles)
    int32_t count;        // free rectangles held
    uint32_t sorted;      // rects is in the order of mode
    int32_t mode;         // 1 from the left, 2 from the right
    int32_t cursor;       // entries the walk has visited
    int32_t orderedCount; // leading entries walked in key order; -1 not computed
    int32_t lastIndex;    // entry returned last; -1 at the start
    int32_t clearOffset;  // distance from the area top where clearing starts the band
    int32_t bandTop;      // the top inset of the band
    Rect clip;            // the last free rectangle clipped to the band
    uint32_t flag;        // 1 when created, cleared by every occupation
};

// A new area for rect with the whole plane free. 0, or 1 when out of
// memory (nothing is left allocated).
[[nodiscard]] int FloatArea_create(const Rect *rect, FloatArea **out);
// Frees the area and its free rectangles; null allowed.
void FloatArea_destroy(FloatArea *area);
// Sets the band: the area less the side margins (together at most 95% of
// the width, the excess taken evenly from both), the bottom inset and the
// larger of the clear offset and the top inset.
void FloatArea_setBand(FloatArea *area, int32_t left, int32_t right, int32_t topInset,
                       int32_t bottomInset);
// Starts a walk in mode 1 or 2; *out is the first free rectangle clipped
// to the band (area->clip) or null.
void FloatArea_first(FloatArea *area, const Rect **out, int32_t mode);
// The next rectangle of the walk, or null at the end.
void FloatArea_next(FloatArea *area, const Rect **out);
// Subtracts the obstacle rect. 0, or 1 when out of memory.
[[nodiscard]] int FloatArea_occupy(FloatArea *area, const Rect *rect);
// Sets the clear offset below the floats of side 0 (left), 1 (right) or 2
// (both). Returns 0.
int FloatArea_clearTo(FloatArea *area, int32_t side);
int32_t FloatArea_clearOffset(const FloatArea *area);
// Sets the clear offset and moves the band top to the area top less the
// larger of the offset and the top inset.
void FloatArea_setClearOffset(FloatArea *area, int32_t offset);
int32_t FloatArea_bandWidth(const FloatArea *area);
// 1 when a free rectangle the walk has not visited yet reaches at least as
// high as rect's top and lies wholly beyond rect in the walk's direction.
int FloatArea_hasFurther(const FloatArea *area, const Rect *rect);
// Frees the first free rectangle and closes the gap.
void FloatArea_dropFirst(FloatArea *area);
Rect FloatArea_usedRect(const FloatArea *area);
void FloatArea_setFlag(FloatArea *area, uint32_t flag);
uint32_t FloatArea_getFlag(const FloatArea *area);
// The band's distances from the area's edges; returns the top inset.
int32_t FloatArea_margins(const FloatArea *area, int32_t *left, int32_t *right, int32_t *topInset,
                          int32_t *bottomInset);
