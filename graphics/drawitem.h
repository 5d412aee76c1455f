// The draw item: the engine's single drawing command.
//
// A draw item paints a shape (a path, a cached glyph mask, a rectangle or
// a prepared coverage mask) with a paint (a solid colour, a pixel buffer,
// or pixels from a callback) under an opacity (a constant alpha, an 8-bit
// mask buffer, or a mask from a callback) into a bitmap. Every bitmap
// carries one (graphics/bitmap.h); paths, text, images and clip
// composites fill it in and render it.
//
// Rendering clips the work to one rectangle (the bitmap, the target's
// clip, the paint and mask buffers), lets the shape kind prepare its spans
// and shrink the rectangle to its extent, finds the row operation for the
// format triple (graphics/rowops.h), optionally runs pixel stages over the
// paint and the mask, and hands chunks of rows, top row first, to the
// shape kind's emitter.
//
// Placement: the target's dx and dy put the item's coordinate origin in
// the bitmap's y-up pixel space; a device point (x, y) of a path (8
// fractional bits, graphics/fill.h) lands on the y-up pixel (dx + x / 256,
// dy + y / 256), and buffer origins of the paint and the mask are relative
// to the origin too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/rect.h"
#include "graphics/fill.h"
#include "graphics/glyphmask.h"
#include "graphics/rowops.h"

struct Bitmap;
struct PixelBuf;

enum : uint32_t {
    // Shape kinds.
    DrawItem_kindPath = 0,
    DrawItem_kindGlyphMask = 1,
    DrawItem_kindRect = 2,
    DrawItem_kindCoverageMask = 3,
    // Paint and mask kinds.
    DrawItem_sourceSolid = 0,    // paint: {colour format, colour}; mask: {mask format, alpha}
    DrawItem_sourceBuffer = 1,   // {PixelBuf, x origin, y origin}
    DrawItem_sourceCallback = 2, // {fetch routine, release routine, user data}
};

// The shape of a prepared coverage mask (kind 3): a crossing table made
// once (Fill_newCrossingTable, CrossingTable_intersect) and drawn any
// number of times; the item never frees it.
struct CoverageMaskShape {
    const CrossingTable *table;
    uint32_t s;
};

// The shape words, by kind (a rectangle, kind 2, has none).
union DrawShape {
    FillRequest path;           // kind 0
    GlyphMaskShape glyph;       // kind 1
    CoverageMaskShape coverage; // kind 3
};

// Asks for the pixels of a callback paint or mask: *bufferOut receives a
// buffer whose first pixel lies at rect's top-left (y-up: column rect.x0,
// row rect.y1 - 1), of *formatOut; the routine may shrink *rect. A
// non-zero result ends the draw with it.
typedef int (*DrawFetchFn)(void *user, uint32_t *formatOut, PixelBuf **bufferOut, Rect *rect,
                           int32_t dx, int32_t dy, Bitmap *bitmap, int32_t bitmapScale);
// Gives the fetched buffer back (null when the fetch did not run or gave
// none); called once after every draw of a callback kind, also after an
// error.
typedef void (*DrawReleaseFn)(void *user, PixelBuf *buffer);

// A paint or a mask, by its kind.
union DrawSource {
    struct {
        uint32_t format; // paint: the colour's format; mask: the mask format (0)
        uint32_t value;  // paint: the colour; mask: the alpha in its low byte
    } solid;
    struct {
        const PixelBuf *buffer;
        int32_t x, y; // its lower-left corner relative to the item's origin
    } buffer;
    struct {
        DrawFetchFn fetch;
        DrawReleaseFn release;
        void *user;
    } callback;
};

struct DrawItem {
    uint32_t kind;      // the shape kind
    DrawShape shape;    // the shape, by kind
    uint32_t paintKind; // DrawItem_source*
    DrawSource paint;
    intptr_t unused;   // a word rendering does not read
    uint32_t maskKind; // DrawItem_source*
    DrawSource mask;
    RowOpSetupFn cachedRowOp; // the row operation last found for this item, or null
    uint32_t cachedFormat;    // the destination format it was found for
};

// Where an item is drawn: the bitmap, an optional clip rectangle (y-up
// pixels) and the placement of the item's origin.
struct DrawTarget {
    Bitmap *bitmap;
    const Rect *clip;
    int32_t dx, dy;
};

// The span words of a prepared coverage mask (kind 3).
struct PreparedTableSpans {
    const CrossingTable *table;
    uint32_t s;
    Bitmap *bitmap;
    int32_t xOffset;   // the work rectangle's x0 inside the table's pixel box
    int32_t yOffset;   // its y0 inside the box
    int32_t topOffset; // dy minus the work rectangle's y1 before it was cut
};

// What an emitter gets: the work rectangle's size, the chunk, and the
// words its kind's prepare routine filled.
struct SpanRecord {
    int32_t width; // of the work rectangle
    int32_t height;
    int32_t chunkRows; // rows in the current chunk
    int32_t rowsDone;  // rows drawn in earlier chunks (chunks run from the top down)
    union {
        FillContext fill;         // kind 0
        GlyphMaskSpans glyph;     // kind 1
        PreparedTableSpans table; // kind 3
    };
};

// A shape kind's prepare routine: may shrink *rect (y-up pixels of the
// bitmap) to the shape's extent and fills the kind's span words; a
// non-zero result ends the draw.
typedef int (*ShapePrepareFn)(const DrawShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                              SpanRecord *spans, Rect *rect);
// A shape kind's emitter: draws one chunk; destination, source and mask
// point at the chunk's top-left pixel (a constant source or mask at its
// value, stride 0).
typedef int (*ShapeEmitFn)(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                           ptrdiff_t destinationStride, const uint8_t *source,
                           ptrdiff_t sourceStride, const uint8_t *mask, ptrdiff_t maskStride,
                           const uint8_t *coverageTable);

// ------------------------------------------------------------- life cycle

// A new item: a rectangle painted with colour 0 of format 6 under a
// constant alpha of 0 (so nothing is drawn until the caller sets one), no
// cached row operation. 0 with *out the item (freed with
// DrawItem_destroy); 1 when memory runs out (*out null).
[[nodiscard]] int DrawItem_create(DrawItem **out);
// Frees an item (null allowed); never its shape's path, table or mask.
void DrawItem_destroy(DrawItem *item);

// ----------------------------------------------------------------- stages
//
// A stage list runs over the paint or the mask before it is drawn, a chunk
// of rows at a time, in the bitmap's scratch buffer 1. Each stage says in
// its declare operation what it produces and which routine runs it.

struct StageRecord;

// Declares a stage: given the current output (a buffer or not, its
// format), the work size, whether a stage came before, and the node's
// parameter, fills the record. Non-zero ends the draw with it.
typedef int (*StageDeclareFn)(uint32_t isBuffer, uint32_t format, int32_t width, int32_t height,
                              int hadStage, void *parameter, StageRecord *record);
// A stage that works in place on rows rows of width pixels at pixels.
typedef int (*StageInPlaceFn)(uint8_t *pixels, ptrdiff_t stride, void *parameter, int32_t x,
                              int32_t y, int32_t width, int32_t rows);
// A stage that reads its input rows and writes its output rows.
typedef int (*StageCopyFn)(const uint8_t *input, ptrdiff_t inputStride, void *parameter, int32_t x,
                           int32_t y, int32_t width, int32_t rows, uint8_t *output,
                           ptrdiff_t outputStride);

struct StageOps {
    StageDeclareFn declare;
};

// One stage's record, kept in the arena while a draw runs.
struct StageRecord {
    union {
        StageInPlaceFn inPlace; // worksInPlace 1
        StageCopyFn copy;       // worksInPlace 0
    } routine;
    uint32_t outputIsBuffer; // 1 rows of pixels, 0 one constant
    uint32_t outputFormat;
    uint32_t worksInPlace;
    uint32_t outputBytes; // per row for a buffer, in all for a constant
    void *parameter;
};

struct StageNode {
    const StageOps *ops; // null: the node is skipped
    void *parameter;
    StageNode *next;
};

// A new node before next; null when memory runs out.
StageNode *StageNode_create(const StageOps *ops, void *parameter, StageNode *next);
// Frees a list node by node (null allowed).
void StageList_free(StageNode *list);

// Bump allocation in the bitmap's scratch buffer 1.
struct ScratchArena {
    uint8_t *base;
    uint32_t size;
    uint32_t used;
};

// n bytes (rounded up to a multiple of 8) at base + used, the buffer grown
// when it lacks room (which may move base: callers keep offsets, not
// pointers, across allocations); null when it cannot grow.
void *ScratchArena_alloc(Bitmap *bitmap, ScratchArena *arena, uint32_t n);

// ---------------------------------------------------------------- drawing

// Draws the item into the target. Returns 0 (also when nothing is to be
// drawn: a zero constant alpha, an empty work rectangle), 1 when memory
// runs out, 8 for a bitmap or buffer without pixels, 265 when no row
// operation serves the format triple, or the first error of a prepare,
// fetch, stage or emit routine. Callback paints and masks are released on
// every path.
[[nodiscard]] int DrawItem_render(DrawItem *item, const StageNode *paintStages,
                                  const StageNode *maskStages, const DrawTarget *target);

// Whether the item drawn with origin (dx, dy) into bitmap covers the y-up
// pixel (x, y): *out 1 or 0. A path covers it when its fill rule puts the
// pixel's centre inside; a rectangle always; a pixel outside the paint or
// mask buffer never. 0, or the first error of the prepare routine or the
// pixel test.
[[nodiscard]] int DrawItem_hitTest(DrawItem *item, int32_t dx, int32_t dy, Bitmap *bitmap,
                                   int32_t x, int32_t y, int *out);

// Narrows *rect (y-up pixels) to the area covered by the item's paint
// buffer and mask buffer when placed at (dx, dy); other kinds of paint and
// mask leave it as it is. The result may be empty. Returns 0.
int DrawItem_clipToBuffers(const DrawItem *item, int32_t dx, int32_t dy, Rect *rect);

// The emitter of rectangles (kind 2): every pixel of the chunk. Returns 0.
int DrawItem_emitRect(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                      ptrdiff_t destinationStride, const uint8_t *source, ptrdiff_t sourceStride,
                      const uint8_t *mask, ptrdiff_t maskStride, const uint8_t *coverageTable);

// The prepare routine of prepared coverage masks (kind 3), defined with
// page piece drawing (graphics/piecedraw.cpp): places the table's pixel
// box at (dx, dy), cuts rect to it and fills the span words (the table,
// s, the bitmap, the cut rectangle's offsets inside the box, and dy minus
// rect's y1 before the cut). Returns 0.
int CoverageMask_prepare(const CoverageMaskShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                         SpanRecord *spans, Rect *rect);
