// Path scan conversion: from a vector path to a table of edge crossings per
// sub-pixel row, ready for either fill rule.
//
// A fill maps its path into device space: signed 32-bit coordinates with 8
// fractional bits (256 is one pixel), the y axis pointing the same way as
// the y-up pixel rectangles of bitmaps and draw items. With s sub-pixel
// bits (0 to 8) each pixel row is sampled by 2^s sub-rows whose centres lie
// at r x 2^(8-s) + 2^(7-s), and crossings are measured in sub-columns of
// 1/2^s pixel. An edge crosses sub-row r exactly when its lower end lies
// below the row's centre and its upper end at or above it (ytop < centre <=
// ybottom, ytop being the smaller y), so edges that meet end to end cross
// every row once and horizontal edges none.
//
// The table lives in scratch buffer 0 of the target bitmap while a draw
// uses it (no allocation per edge): first one 32-bit word per sub-row, the
// offset of the row's record from `records` (offsets rather than pointers,
// so that the sizing pass can turn its counts into them in place on a
// 64-bit host), then the row records: a count n and room for the largest
// number of crossings the row can receive, the first n of which are used.
// A crossing word holds the x in sub-columns in bits 0-30 (never negative:
// the device path starts at x = 0) and in bit 31 the edge's direction: set
// when the edge runs toward smaller y (winding -1), clear otherwise (+1).
// After building, each row's crossings are in ascending x.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/stroke.h"
#include "graphics/rowops.h"

struct Bitmap;
struct EngineContext;
struct KeptPaths;
struct Path;
struct SpanRecord;

enum : uint32_t {
    Crossing_directionBit = 0x80000000u, // the edge runs toward smaller y
    Crossing_xMask = 0x7FFFFFFFu,
    Fill_ruleNonZero = 0, // fill rule words: 0 non-zero winding,
    Fill_ruleEvenOdd = 1, // any other value even-odd
    Fill_maxSubpixelBits = 8,
};

// A fill request: the shape of a path draw item (kind 0).
struct FillRequest {
    const Path *path; // the source path (plain or packed)
    uint32_t s;       // sub-pixel bits, 0 to 8
    const Matrix
        *matrix; // user space to the device space of a bitmap of the path's scale (null: identity)
    uint32_t penKind; // 0 fills the path itself; 1 and above fill the outline of the pen along it
    Pen pen;          // pen kind 0: pen.style is the fill rule word (0 non-zero, else even-odd)
    // Where the device path may be kept across bands (null: it is not):
    // with a store and a key (the figure's words), a path kept for the same
    // key, pen kind, matrix and scale is used instead of mapping the path
    // again; with keepNew set one prepared here is kept. A kept outline is
    // stroked without the band's clip, so that every band can use it.
    KeptPaths *kept;
    const void *keptKey;
    uint32_t keepNew;
};

// What a prepared fill hands to the crossing builder.
struct FillContext {
    Path *devicePath;     // the bitmap's work path (its clip path), in device units
    uint32_t s;           // sub-pixel bits
    uint32_t fillRule;    // 0 for pen outlines, the request's word otherwise
    Bitmap *bitmap;       // whose scratch buffer 0 holds the table
    uint32_t hiddenLines; // 1: hidden lines (opcode 1) are edges (the path itself is filled)
    int32_t xOffset;      // pixels from the path box's left edge to the clipped area's
};

struct CrossingTable {
    uint32_t *rows;      // rowCount offsets, one per sub-row, of its record from records
    uint32_t *lastGroup; // the entry of rows where the last pixel row's 2^s sub-rows begin
    uint32_t *records;   // the row records, one after another
    uint32_t rowCount;   // number of sub-rows
    int32_t yOffset;     // added to every y before conversion (device units)
    int32_t clipX0;      // left edge of the table's box in pixels
    int32_t clipX1;      // right edge of the table's box in pixels
    uint32_t fillRule;   // copied from the fill context
};

// The row record of sub-row r: its count word, then the crossings.
inline uint32_t *CrossingTable_row(const CrossingTable *table, uint32_t r)
{
    return table->records + table->rows[r];
}

// ------------------------------------------------------------ preparing

// Maps the request's path into device space in the bitmap's work path
// (its clip path, whose scale word is kept): the matrix (identity when
// none) is scaled by 256 x bitmap scale / path scale, the factor worked
// out in 64 bits. Pen kind 0 copies the path through it; pen kinds 1 and
// above stroke the path into it (graphics/stroke.h) in a space
// normalised by a power of two, the pen's width raised to one pixel when
// its style asks for it, then map the outline into device space. The
// path's pixel box ({x0 >> 8, y0 >> 8, (x1 + 255) >> 8, (y1 + 255) >> 8}
// of its device box) is intersected into *clip (pixels, the device space's
// own), and the path is moved so that x = 0 is the box's left edge and
// y = 0 the clipped lower edge (its smaller y). With a store in the
// request the path may come from it, or be kept in it (graphics/keptpath.h).
// *fc is filled. An empty *clip on return
// means nothing to draw. 0; 1 when memory runs out; 8 for a path scale of
// 0 or below or a factor beyond 32 bits; the stroker's error (259 until it
// exists); a bounds walk error.
[[nodiscard]] int Fill_prepareDevicePath(const FillRequest *request, Bitmap *bitmap,
                                         FillContext *fc, Rect *clip);

// Builds the crossings of the prepared path into table, whose rowCount
// and yOffset the caller has set, in scratch buffer 0 of fc->bitmap:
// fills rows, records, lastGroup and fillRule. The size of the table
// (rowCount plus the room of every row, in 32-bit words) is worked out in
// 64 bits. 0; 1 when the scratch buffer cannot hold it (the table is then
// unusable); 259 for an element the walk does not know.
[[nodiscard]] int Fill_buildCrossings(const FillContext *fc, CrossingTable *table);

// A table of its own for the request: the device path is prepared with
// the unbounded clip (the clip becomes the path's own pixel box), the
// crossings built with rowCount = box height x 2^s, then yOffset = box
// lower edge (its smaller y) x 256 and clipX0, clipX1 = the box's left and right edges; the
// bitmap's scratch buffer 0 is detached from it and belongs to the table
// (freed by CrossingTable_free). 0 with *out the table; 266 when the box
// is empty; 1 when memory runs out; the errors of the preparation (*out
// null on failure, nothing kept).
[[nodiscard]] int Fill_newCrossingTable(CrossingTable **out, const FillRequest *request,
                                        Bitmap *bitmap);

// The device rectangle (8 fractional bits) that the request would touch
// in a bitmap of the given scale word: for pen kind 0 the bounds of the
// path through the scaled matrix (graphics/pathbounds.h), starting
// from the empty bound; otherwise the stroker's bounds walk, its rectangle
// mapped through the rest of the matrix. 0 or the bounds walk's error
// (the stroker's error for pens); 8 as Fill_prepareDevicePath.
[[nodiscard]] int Fill_deviceBounds(EngineContext *context, const FillRequest *request,
                                    int32_t targetScale, Rect *out);

// --------------------------------------------------------------- drawing

// The emitter of path draw items (kind 0): builds the table for the
// chunk's rows of the span record's prepared fill and hands it to the span
// painter (graphics/spanpainter.h). The destination, source and mask
// point at the chunk's top row. 0, 1 or 259 as Fill_buildCrossings.
[[nodiscard]] int Fill_renderWithTable(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                                       ptrdiff_t destinationStride, const uint8_t *source,
                                       ptrdiff_t sourceStride, const uint8_t *mask,
                                       ptrdiff_t maskStride, const uint8_t *coverageTable);

// The emitter of prepared crossing tables (kind 3): paints the chunk's rows
// of the span record's table without changing the table. Returns 0.
[[nodiscard]] int Fill_renderPreparedTable(SpanRecord *spans, RowOpSetupFn setup,
                                           uint8_t *destination, ptrdiff_t destinationStride,
                                           const uint8_t *source, ptrdiff_t sourceStride,
                                           const uint8_t *mask, ptrdiff_t maskStride,
                                           const uint8_t *coverageTable);

// ----------------------------------------------------------------- tables

// Turns every sorted row of rowCount sub-rows into spans in place: pairs
// (start, end) of x with the direction bits cleared, the count word
// updated. Non-zero winding (evenOdd 0): a span runs from where the
// winding leaves 0 to where it returns; empty spans are dropped and a span
// starting where the last ended is merged into it. Even-odd: the crossings
// in order are the span edges, and one at the x of the last kept edge
// removes that edge instead.
void Rows_reduceToSpans(const uint32_t *rows, uint32_t *records, uint32_t rowCount,
                        uint32_t evenOdd);

// A new table (its own record and one block for rows and records) of the
// region inside both a and b, built with the same s: the rows both cover,
// clipX0 the larger and clipX1 the smaller, even-odd crossings. 0 with *out
// the table; 0 with *out null when the row ranges do not overlap or the
// overlap holds no crossing; 1 when memory runs out or the size cannot be
// held (nothing kept).
[[nodiscard]] int CrossingTable_intersect(const CrossingTable *a, const CrossingTable *b,
                                          CrossingTable **out, uint32_t s);

// Frees the table's row block and the record; null allowed.
void CrossingTable_free(CrossingTable *table);

// The table's pixel rectangle {clipX0, yOffset >> 8, clipX1, that +
// (rowCount >> s)}.
void CrossingTable_bounds(const CrossingTable *table, uint32_t s, Rect *out);

// -------------------------------------------------------------- internals

// Where Edge_addLine writes: the rows of a table being built.
struct EdgeRows {
    const uint32_t *rows;
    uint32_t *records;
    uint32_t rowCount;
    uint32_t shift; // 8 - s
};

// Adds the crossings of the line from (x0, y0) to (x1, y1) (device units,
// the table's yOffset already added) to the rows it crosses: sub-row r
// when ytop < centre(r) <= ybottom, clamped to the table; the x of each
// crossing is that of the line at the row's centre, exactly (as a
// rational number), in sub-columns rounded down after adding half a
// sub-column, clamped to 0 .. 0x7FFFFFFF. The caller sized the rows for it.
void Edge_addLine(const EdgeRows *rows, int64_t x0, int64_t y0, int64_t x1, int64_t y1);

// Sorts every one of rowCount rows by the low 31 bits of its crossings.
void Rows_sortCrossings(const uint32_t *rows, uint32_t *records, uint32_t rowCount);

// ceil(log2 v): 0 for 0 and 1.
uint32_t Bits_ceilLog2(uint32_t v);
