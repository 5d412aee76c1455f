// Thumbnail rendering: the display manager's thumbnail pass.
//
// The thumbnail thread runs Dispman_thumbnailPass whenever it is woken.
// The pass first marks the queued requests (viewer/thumbqueue.h) whose
// page a view shows (directly or embedded in the view's backdrop page),
// drops those of a view's own backdrop document and of the document that
// failed last, then takes the marked entries one by one: it renders the
// page, with every page embedded in it, through the thumbnail band memory
// into a 16-bit picture (format 4, scale word 8) of the page's thumbnail
// size, stores the picture as the page's image (Edr_PageRec::thumb) and
// tells the application that the page's thumbnail changed (a kind-9
// message). Drawing reuses the banded page drawing (viewer/pagerender.h)
// with the screen's quality settings and no highlights.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "document/edr/page.h"

struct DispmanView;
struct EngineContext;
struct Matrix;
struct ThumbEntry;

enum : int32_t {
    Thumb_pictureScale = 8, // the scale word of thumbnail pictures
};

// One pass over the queue. 0; Res_stopRequested when the task was asked to stop
// (every entry freed); 1 when memory ran out (every entry freed, the entry's
// document remembered as the failed document).
[[nodiscard]] int Dispman_thumbnailPass(EngineContext *ctx);
// 1 when the entry's page is embedded in chain at any depth (to the
// document depth limit), else 0.
int ThumbRender_isEmbedded(Edr_PageRec *chain, const ThumbEntry *entry);
