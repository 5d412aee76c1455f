// Document animation: the image clocks of a whole document, scrolling-text
// boxes moved on the document's 42 ms tick, the listener lists of image
// animation records, and the viewer's built-in pictures.
//
// A scroll box belongs to one page view. Every tick (counted from the last
// start of the tick) moves the boxes whose delay falls due in that tick's
// 42 ms window, and the moved views' boxes are reported to the display as
// changed areas. The tick runs on "timerThread" and takes the document's
// read lock, then the page list's.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "platform/vfs/romfs.h"

struct EngineContext;
struct Edr_Doc;
struct EventProcMsg;
struct ImageHandle;
struct PageView;

enum : int32_t {
    Anim_tickMs = 42,
    Anim_minDelay = 60,

    // Scroll box behaviours.
    ScrollBox_round = 0,
    ScrollBox_alternate = 1,
    ScrollBox_slideIn = 2,
};

struct ScrollBox {
    int32_t behaviour; // ScrollBox_*
    int32_t direction; // 0 and 1 horizontal, 2 and 3 vertical
    int32_t amount;    // step in pixels at 96 per inch
    int32_t delay;     // ms between steps (at least 60 after set-up)
    int32_t loops;     // passes, 0 endless
    int32_t step;      // view units (1/65536 inch), negative for directions 2 and 3
    int32_t stepsPerPass;
    int32_t totalSteps; // 0 endless
    int32_t stepsDone;
};

// The image clocks of every image of the document and its sub-documents:
// stopped, or stopped and started afresh. The walk's result.
int Anim_stopDocument(Edr_Doc *doc);
int Anim_startDocument(Edr_Doc *doc);
// One image's clock: pause, start, stop, stop-and-start; the image's
// stopped word follows (1, 0, 1, 0). 0 or the start's result; 0 for a
// handle without image or an image without clock.
int Anim_pauseDocImage(ImageHandle *handle);
int Anim_startDocImage(ImageHandle *handle);
int Anim_stopDocImage(ImageHandle *handle);
int Anim_restartDocImage(ImageHandle *handle);

// Prepares the view's scroll box for content of that size and moves the
// view's items to their start position.
void Anim_setupScrollBox(PageView *view, int32_t contentWidth, int32_t contentHeight);

// Queues the next tick 42 ms ahead (not while the document is closing).
// The timer queue's result.
[[nodiscard]] int Anim_scheduleTick(Edr_Doc *doc);
// Cancels the tick and restarts its count.
void Anim_cancelTick(Edr_Doc *doc);
// Cancels the tick and starts it again when a view of the first page has a
// scroll box. 0 or the scheduling result.
[[nodiscard]] int Anim_restartTick(Edr_Doc *doc);
// The document's settle notification (code 15): the tick starts afresh.
void Anim_tick(void *context, EventProcMsg *msg, Edr_Doc *doc);
// The tick's timer callback (argument: the document).
void Anim_onTick(EngineContext *context, void *doc);

// The changed areas of one tick.
struct AnimRectList {
    Rect *rects;
    int32_t count;
    int32_t capacity;
};
// Runs one tick: moves the due scroll boxes and adds their views' boxes to
// list. 0, or 1 when the list cannot grow.
[[nodiscard]] int Anim_collectDirtyRects(Edr_Doc *doc, AnimRectList *list);
// Reports one changed area of the document to its view.
int Anim_reportAreas(const Rect *rect, intptr_t tag, Edr_Doc *doc);

// The viewer's built-in pictures under "/okala_dir/Img/": the magnifier
// (911 bytes), the identity picture (13203 bytes) and its landscape
// variant, the cursor and the busy indicator (made by tools/gen/gen_romfs.py
// --viewer).
enum : int32_t { Fv_builtinImageCount = 5 };
extern const RomFsEntry Fv_builtinImages[Fv_builtinImageCount];
// Registers them with the built-in file table. 0.
int Fv_registerBuiltinImages(EngineContext *context);

// ---------------------------------------------------- listener lists

// An image animation record as the listener list keeps it.
struct AnimRecord {
    AnimRecord *next; // points to itself while the record is in no list
    AnimRecord *prev;
    int32_t holds;
    int32_t colourTransform[8]; // four 16.16 scales, four offsets
    uint32_t flag;
    intptr_t words[2]; // the record's owner words
};

struct AnimListenerList {
    AnimRecord *head;
    int32_t holds;
};

typedef int (*AnimListenerFn)(void *argument, AnimRecord *record);
// What Anim_findListener looks for.
struct AnimListenerQuery {
    int32_t colourTransform; // wants a colour transform that is not the identity
    int32_t flag;            // wants the record's flag set
};

// Calls callback for each record until one answers non-zero (the next link
// is read first, so the callback may detach its record). That answer, or 0.
int Anim_forEachListener(AnimListenerList *list, AnimListenerFn callback, void *argument);
AnimRecord *Anim_findListener(AnimListenerList *list, const AnimListenerQuery *query);
void Anim_holdListeners(AnimListenerList *list);
void Anim_releaseListeners(AnimListenerList *list);
// Inserts a detached record at the head, its holds raised by the list's.
void Anim_attachListener(AnimListenerList *list, AnimRecord *record);
void Anim_detachListener(AnimListenerList *list, AnimRecord *record);
// Identity colour transform, no holds, the two words, detached.
void Anim_initRecord(AnimRecord *record, intptr_t a, intptr_t b);
