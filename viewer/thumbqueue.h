// The thumbnail queue and the viewer's callback slots.
//
// The display manager (DispmanCtx, viewer/dispman.h) keeps a doubly linked
// list of thumbnail requests under its thumbnail lock: the viewer adds
// entries, the thumbnail pass (viewer/thumbrender.h) walks and removes
// them, and the display manager's teardown clears the list. When the list
// becomes empty the application's event processor hears code 8. Every
// entry holds one view reference of its document.
//
// The viewer record's callback record (ViewCallbacks, viewer/viewer.h) has
// three slots: the viewer's own operations, its mode operations and the
// identity-screen operations; it is made and filled here and freed here.
#pragma once

#include <cstdint>

struct DispmanCtx;
struct EngineContext;
struct Edr_Doc;
struct FvViewer;

enum : uint32_t {
    ThumbKind_renderLast = 1, // render, then end the pass
    ThumbKind_discard = 2,    // free the page's stored picture
    ThumbQueue_merged = 4352, // the request was merged into a queued one
    ThumbQueue_emptyCode = 8, // the code posted when the list empties
};

// A thumbnail request.
struct ThumbEntry {
    uint32_t kind;     // ThumbKind_*; other values render
    Edr_Doc *document; // with one view reference
    int32_t pageKey;   // the key pair of the page (Edr_Page_find)
    uint32_t pageKind;
    uint32_t marked; // 1 when the entry is to be processed
    uint32_t busy;   // set under the lock when processing starts
    ThumbEntry *next;
    ThumbEntry *previous;
};

// Queues a request for page (key, kind) of document, taking over the
// caller's view reference of document. A queued entry of the same page
// that is not busy takes the new kind instead (the caller's reference is
// dropped then): 0 when the new kind is 1, else 4352. 0 for a new entry;
// 1 when memory runs out (the list unchanged, the reference still the
// caller's).
[[nodiscard]] int ThumbQueue_add(DispmanCtx *dm, uint32_t kind, Edr_Doc *document, int32_t pageKey,
                                 uint32_t pageKind);
// Moves *cursor to the next entry (the first when it is null) under the
// lock and returns it; null after the last.
ThumbEntry *ThumbQueue_next(DispmanCtx *dm, ThumbEntry **cursor);
// Unlinks and frees the cursor's entry (its view reference dropped), moving
// *cursor to the previous entry (null when it was the first); posts code 8
// when the list is now empty.
void ThumbQueue_remove(DispmanCtx *dm, ThumbEntry **cursor);
// Frees every entry (under the lock when dm->thumbLockOnClear says so),
// then posts code 8.
void ThumbQueue_clear(DispmanCtx *dm);
// Posts code 8 (no document, argument 0) to the context's event
// processor. 0 or the posting error.
[[nodiscard]] int ThumbQueue_postEmpty(EngineContext *ctx);

// Allocates the viewer's callback record (freeing one it had) and fills
// slots 2 and 3. 0; 1 when memory runs out; Res_nullInput for a null viewer.
[[nodiscard]] int FvViewer_createCallbacks(FvViewer *viewer);
// Stores a new identity-screen operation record {show, stop, running} in
// slot 3 (the old one freed). 1 when stored; 0 for a null viewer, a
// missing callback record, or no memory (slot 3 then null).
int FvViewer_installIdentOps(FvViewer *viewer);
// Frees the three slot records and the callback record (slot 1 must be a
// heap record or null); the viewer's slot becomes null.
void FvViewer_freeCallbacks(FvViewer *viewer);

// A thumbnail of the document's first page, at most width x height with
// the height-to-width ratio (16.16): 16-bit 5-6-5 pixels (a new block the
// caller frees) with their size and stride in bytes. 0; 1 without memory;
// 13 when the document has no page to show.
int Thumb_renderDocument(EngineContext *context, Edr_Doc *doc, int32_t width, int32_t height,
                         uint32_t ratio, uint16_t **pixels, int32_t *outWidth, int32_t *outHeight,
                         int32_t *stride);
