// Page rendering: a laid-out page drawn into a view's bitmap in bands.
//
// A laid-out page is a chain of page-record pieces (document/edr/page.h):
// content pieces carry display items and, optionally, clip paths; embedded
// pieces show a page of another document. PageRender_walk cuts a damaged
// rectangle around the embedded pages, has what is left drawn by a page
// draw routine and then recurses into each embedded page with its own
// chain, so that no pixel is painted by two documents. The draw routines
// render a page in horizontal bands through one fixed block of band memory
// (no allocation per page): the band memory holds one band buffer, or,
// when pieces are clipped, three (band, scratch and backdrop) through which
// clipped pieces are composited. Every band is copied into the target
// through Edr_Page_fillBackground, whose painter callback
// (PageRender_noteDrawn) grows the view's damage rectangle and draws the
// grey page frame.
//
// Device rectangles are y-up pixel rectangles of the target bitmap: bands
// run from the top (largest y) down. A matrix maps page units to device
// units (Rect_toDevice, graphics/rects.h); items are drawn with its translation
// set to 0 and placed through the draw target's dx and dy at the page's
// top-left corner.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "document/edr/page.h"
#include "graphics/clippath.h"
#include "graphics/keptpath.h"

struct Bitmap;
struct DispmanView;
struct DrawFlags;
struct EngineContext;
struct Edr_Doc;
struct Path;
struct PixelBuf;

enum : int32_t {
    PageRender_bandTooSmall = 23552, // 0x5C00: the band memory holds no row
    PageRender_imageBandTooSmall = 4354,
    PageRender_frameColour = int32_t(0xFF808080),
};

// What an embedded-page piece shows: a page of a document, placed by a
// matrix; the payload of the node of the piece's object item.
struct EmbeddedPageRef {
    Edr_Doc *document;
    Matrix matrix;
    int32_t pageKey;
    uint32_t pageKind;
};

// The reference of an embedded-page piece, or null for other pieces.
const EmbeddedPageRef *PagePiece_embeddedRef(const Edr_PageRec *piece);
// The matrix of an embedded page: the reference's matrix, then the piece's
// own when it has one, with the piece's x0 and y1 added to its
// translation.
void PagePiece_embeddedMatrix(Matrix *out, const Edr_PageRec *piece, const EmbeddedPageRef *ref);

// Looks up the page an embedded-page piece shows (Edr_Page_find, mode 0)
// and the matrix that places it: the embedded matrix followed by matrix.
// 0 with *entry the page's entry (its locks held: release it with
// Edr_Page_release(*entry, 0)); non-zero (*entry null) for a piece that is
// not an embedded page or a page that is not there.
[[nodiscard]] int PagePiece_findEmbedded(const Edr_PageRec *piece, const Matrix *matrix,
                                         Edr_PageEntry **entry, Matrix *combined);

// The band buffers over a block of band memory: the engine context, the
// memory (the caller's, never freed here) and its size, the band, scratch
// and backdrop buffers and the band and scratch bitmaps, re-pointed into
// the memory for every draw.
struct RenderBuffers {
    EngineContext *context;
    void *memory;
    uint32_t size;
    PixelBuf *band;
    PixelBuf *scratch;
    PixelBuf *backdrop;
    Bitmap *bandBitmap;
    Bitmap *scratchBitmap;
    KeptPaths kept; // device paths kept across the bands of one drawing
};

// A new record over memory of size bytes. 0 with *out the record; 1 when
// memory runs out (*out null, nothing kept).
[[nodiscard]] int RenderBuffers_create(EngineContext *ctx, RenderBuffers **out, void *memory,
                                       uint32_t size);
// Frees the buffer records, the bitmaps and the record (null allowed); never
// the band memory.
void RenderBuffers_free(RenderBuffers *buffers);
// Gives both bitmaps' first scratch buffer back to the heap.
void RenderBuffers_trim(RenderBuffers *buffers);

// A page draw routine: draws chain into the device rectangle rect of bitmap;
// pageRect is the page's device rectangle and matrix maps page units to device
// units. 0 or an error (Res_stopRequested when the task is asked to stop).
typedef int (*PageDrawFn)(EngineContext *ctx, void *routineArg, Edr_PageRec *chain,
                          const Rect *rect, Edr_ScreenHooks *hooks, Bitmap *bitmap,
                          const Rect *pageRect, const Matrix *matrix, const DrawFlags *flags,
                          Edr_FillDoneFn painter, void *painterArg, intptr_t extra);

// Draws the parts of clip outside the chain's embedded pages with drawRoutine
// and, with recurse set, the embedded pages' own chains inside them (each cut
// to its piece and to clip). 0; Res_stopRequested when a draw routine returned
// 48 (other errors of the routine are ignored); the first error of a recursion;
// 1 when the rectangle list cannot be made (nothing drawn). A list that cannot
// grow leaves rectangles whole; embedded pages nested deeper than Edr_maxDepth
// are neither entered nor cut out.
[[nodiscard]] int PageRender_walk(EngineContext *ctx, Edr_PageRec *chain, const Matrix *matrix,
                                  const Rect *clip, const Rect *pageRect, Bitmap *bitmap,
                                  Edr_ScreenHooks *hooks, const DrawFlags *flags,
                                  Edr_FillDoneFn painter, void *painterArg, PageDrawFn drawRoutine,
                                  void *routineArg, int recurse, intptr_t extra);

// The banded draw routine (routineArg: the RenderBuffers): draws rect in
// bands of one height through the band memory (the last band aligned to
// rect's bottom, overlapping the one above), each content piece's items
// (a first item that is a box item covering the piece replaced by a plain
// fill of the page colour), each clipped piece composited through its clip
// paths over the band as it was before the piece, then the highlight items
// (unless flags has DrawFlags_noHighlights, in which case every band is
// first filled with the page colour), and copies the band into bitmap. 0;
// 23552 when the memory holds no row of rect; an item drawing error at
// once (the band is not copied out); the copy's error.
[[nodiscard]] int PageRender_drawBanded(EngineContext *ctx, void *routineArg, Edr_PageRec *chain,
                                        const Rect *rect, Edr_ScreenHooks *hooks, Bitmap *bitmap,
                                        const Rect *pageRect, const Matrix *matrix,
                                        const DrawFlags *flags, Edr_FillDoneFn painter,
                                        void *painterArg, intptr_t extra);

// The simpler routine: the view's backdrop document goes to
// PageRender_drawBackdrop; a page with its own drawing object draws nothing; a
// page without a page image is filled with its colour; otherwise the page image
// is drawn scaled to the page in bands through the display manager's page band
// memory with the first piece's items on top. 0; Res_dispmanNoTile when the
// memory holds no row; the fill's or an item's error.
[[nodiscard]] int PageRender_drawWithImage(EngineContext *ctx, DispmanView *view,
                                           Edr_PageRec *chain, const Rect *rect,
                                           Edr_ScreenHooks *hooks, Bitmap *bitmap,
                                           const Rect *pageRect, const Matrix *matrix,
                                           const DrawFlags *flags);

// The measured cost of drawing the chain's content pieces into *cost
// (0xFFFFFFFF until it is known), summed until it exceeds the flags' cost
// limit. 0 or the first measuring error.
[[nodiscard]] int PageRender_measureCost(EngineContext *ctx, Edr_PageRec *chain, const Rect *rect,
                                         DispmanView *view, const Rect *pageRect,
                                         const Matrix *matrix, const DrawFlags *flags,
                                         uint32_t *cost);

// Paints rect of the view's bitmap with the backdrop: the view's tile
// repeated from (0, 0), or, without one, the chain's colour. 0 or the
// first fill error.
[[nodiscard]] int PageRender_drawBackdrop(Edr_PageRec *chain, const Rect *rect, DispmanView *view);
// Edr_Page_fillBackground over rect of the view's bitmap with the view's
// hooks and PageRender_noteDrawn as painter.
[[nodiscard]] int PageRender_fillArea(const PixelBuf *paint, const Point *paintOrigin,
                                      const PixelBuf *mask, const Point *maskOrigin,
                                      Edr_PageRec *chain, DispmanView *view, const Rect *rect);

// The painter callback (argument: the DispmanView): unites rect into the
// view's damage rectangle (replacing an empty one) and, with the view's
// frame flag, frames it (PageRender_drawFrame).
void PageRender_noteDrawn(void *view, const Rect *rect);
// Draws one-pixel lines of colour 0xFF808080 on the sides of the view's
// page frame that rect (cut to the frame) reaches.
void PageRender_drawFrame(DispmanView *view, const Rect *rect);
// Writes colour (0xAABBGGRR) packed for the bitmap's format into every
// pixel of rect (the whole bitmap for null), cut to the bitmap: formats 1,
// 2, 3 and 4; other formats are left alone.
void Bitmap_fillRect16(Bitmap *bitmap, const Rect *rect, uint32_t colour);

// Draws band (its lower-left corner at device point origin) through the
// clip entry into target: inside the entry's path (one sub-pixel bit, its
// matrix moved by (dx, dy), then matrix) the band's pixels replace the
// target's. 0 or the drawing's error.
[[nodiscard]] int PageRender_clipBand(const PixelBuf *band, const Point *origin,
                                      const Matrix *matrix, const ClipEntry *entry, Bitmap *target);
