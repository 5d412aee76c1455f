// The graphics subsystem's module steps at engine start-up and teardown.
//
// Declared here so far: the module hook of the first start-up stage and
// the services hook of the second, each with its teardown. The teardowns
// accept a module that never started.
#pragma once

#include <cstdint>

struct EngineContext;

// First stage: the graphics module. 0 or an error.
int Graphics_initModule(EngineContext *context);
void Graphics_finiModule(EngineContext *context);
// Second stage: the graphics services (image store, codecs). 0 or an error.
int Graphics_initServices(EngineContext *context);
void Graphics_freeServices(EngineContext *context);

// Draws a page's display list into bitmap through matrix (page units to
// the bitmap's units). 0 or the drawing's error.
struct Bitmap;
struct Edr_PageRec;
struct Matrix;
int DisplayList_drawPage(EngineContext *ctx, Edr_PageRec *page, Bitmap *bitmap, const Matrix *matrix);

// The scrolled-column flags of document's page (key, kind): whether its
// column has content before and after the shown part (0 or 1) into
// *before and *after. 0; 4097 when the page is absent or has no column
// (the words are left as they were).
struct Edr_Doc;
int Page_queryScrollHints(Edr_Doc *document, int32_t key, uint32_t kind, uint32_t *before, uint32_t *after);
