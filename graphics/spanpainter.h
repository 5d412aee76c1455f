// The span painter: paints the rows of a crossing table (graphics/fill.h)
// through a row-operation set (graphics/rowops.h).
//
// Each pixel row is sampled by the 2^s sub-rows of the table. A sub-row
// is inside the shape between the crossings that the fill rule pairs up;
// a pixel's coverage is the share of its 2^s x 2^s sub-samples (sub-row
// centres, sub-column centres) that are inside, exactly: count x 255 /
// 4^s, rounded, then passed through the owner context's coverage table.
// The rows are swept once from left to right, merging the sub-rows' span
// edges in x order: a stretch of whole pixels at the same depth becomes
// one skip, one full span or one run of equal coverage, so the work per
// row grows with its edges, not with its width. Nothing is allocated and
// the table is only read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/rowops.h"

struct CrossingTable;

// What the emitters hand the painter.
struct SpanPaint {
    uint8_t *destination; // the pixel of the table's first painted row at the first painted column
    ptrdiff_t
        destinationStride;      // bytes from one table row to the next (negative: upward in memory)
    const uint8_t *source;      // the source at that pixel, or the constant colour
    ptrdiff_t sourceStride;     // 0 for a constant
    const uint8_t *mask;        // the mask at that pixel, or the constant alpha
    ptrdiff_t maskStride;       // 0 for a constant
    const CrossingTable *table; // its rows from the first painted one; only read
    int32_t xOffset;            // the first painted column, in pixels from the table's x = 0
    uint32_t width;             // pixels painted per row
    uint32_t rows;              // pixel rows painted (at most rowCount >> s of the table)
    uint32_t s;                 // sub-pixel bits of the table
    uint32_t fillRule;          // 0 non-zero winding, else even-odd
    RowOpSetupFn setup;         // fills the row-operation set
    const uint8_t *coverageTable; // 256 entries: coverage to weight
};

// Calls the setup routine, then paints every row: 0, 1, 2 and 3 sub-pixel
// bits each have their own row routine; 4 or more paint nothing. Returns 0.
int SpanPainter_paint(const SpanPaint *paint);
