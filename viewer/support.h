// Small viewer routines offered to focus navigation and other subsystems:
// the directional search for the next focusable object, the test whether
// a rectangle lies substantially inside another, the configured test, the
// largest of a list of doubles and the registration of the HTML handler.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "office/focus/focusband.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

// Directional search from rect (the focused object's rectangle in the
// document) for the next focusable object in direction (orientation flags:
// 0x400 or 0x100 exchange x and y, 0x800 or 0x100 mirror, so that the
// search always looks right in the turned frame). *node, *nodeDoc and
// *serial give the focused object (its references stay the caller's); on
// a find they take the found object, whose node and document references
// move to the caller; otherwise all three become 0. The document is
// read-locked by the caller. 0 or an error (the outputs cleared).
[[nodiscard]] int View_findInDirection(Edr_Doc *doc, uint32_t direction, Edr_Node **node,
                                       Edr_Doc **nodeDoc, uint32_t *serial, const Rect *rect,
                                       FocusFilterFn filter, void *filterArgument);

// 1 when b lies substantially inside a on both axes, else 0: the two must
// overlap strictly, and a b that sticks out of a on one side must overlap
// at least a tenth of a's extent or have its middle inside a.
int Rect_overlapsEnough(const Rect *a, const Rect *b);

// The engine's configured word (bit 0 set once Engine_configure has run to
// its end); 0 for a null context or one without a viewer.
int32_t App_isConfigured(const EngineContext *context);

// The largest of the n (at least 1) values: a later element equal to the
// maximum replaces it, one that does not compare (a NaN) never does.
double Double_maxOf(const double *values, int32_t n);

// Registers the HTML importer with the document-type registry: 1 when
// registered, 0 when the context or its application record is null or the
// registration fails.
int Html_registerHandler(EngineContext *context);

struct Edr_PageEntry;
struct FvViewer;
struct Screen;

// A visitor of View_visitPageTree: (entry, argument, x offset, y offset);
// its result is not read.
typedef int (*View_PageTreeVisitFn)(Edr_PageEntry *entry, void *argument, int32_t x, int32_t y);
// Calls visitor(entry, argument, x, y), then, for the entry and every
// following one, visits the pages of the documents embedded in its records
// (their first page entry found by the embedded page's key pair under read
// locks) at the offset moved by the embedding record's x0 and y1. The
// walk goes as deep as documents may nest (7 levels below the entry), so a
// page that embeds itself ends there.
void View_visitPageTree(Edr_PageEntry *entry, View_PageTreeVisitFn visitor, void *argument,
                        int32_t x, int32_t y);

// Tell the viewer's listeners of code 5 (resize starting) or 6 (resize
// done) with the ResizeNotice {screen index, rotating, size given,
// orientation}. 1 when a listener was called, else 0.
int Fv_notifyResizeStart(FvViewer *viewer, const Screen *screen, int32_t orientation,
                         int32_t rotating, int32_t sizeGiven);
int Fv_notifyResizeDone(FvViewer *viewer, const Screen *screen, int32_t orientation,
                        int32_t rotating, int32_t sizeGiven);

// The shown page's column flags: *before and *after 1 when the page's
// scrolled column has more content before or after the shown part, else 0
// (both 0 without a viewer or page). Returns the page's columnMoreAfter
// word.
uint32_t App_readColumnFlags(EngineContext *context, int32_t *before, int32_t *after);
