// Document animation (see anim.h).
#include "viewer/anim/anim.h"

#include <cstdlib>

#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/timerq.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/image.h"
#include "core/task/clock.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"

namespace {

// ------------------------------------------------------- image clocks

enum ClockAction { pauseClock, startClock, stopClock, restartClock };

int changeImageClock(ImageHandle *handle, ClockAction action)
{
    if (!handle)
        return Res_ok;
    ImageObject *image = ImageHandle_lockImage(handle, 4);
    if (!image)
        return Res_ok;
    int r = Res_ok;
    if (image->clock) {
        switch (action) {
        case pauseClock: Clock_pause(image->clock); break;
        case startClock: r = Clock_start(image->clock); break;
        case stopClock: Clock_stop(image->clock); break;
        case restartClock:
            Clock_stop(image->clock);
            r = Clock_start(image->clock);
            break;
        }
    }
    image->animStopped = action == pauseClock || action == stopClock ? 1 : 0;
    ImageHandle_unlockImage(handle, image, 4);
    return r;
}

int visitDocument(Edr_Doc *doc, bool start);

int visitNode(Edr_Node *node, int *, int *, void *context)
{
    bool start = context != nullptr;
    switch (Edr_Node_type(node)) {
    case Edr_NodeType_subdoc: {
        Edr_SubdocNode *sub = Edr_Node_subdocPayload(node);
        return sub && sub->child ? visitDocument(sub->child, start) : Res_ok;
    }
    case Edr_NodeType_image: {
        Edr_ImageNode *image = Edr_Node_imagePayload(node);
        if (!image || !image->image)
            return Res_ok;
        return start ? Anim_restartDocImage(image->image) : Anim_stopDocImage(image->image);
    }
    default: return Res_ok;
    }
}

int visitDocument(Edr_Doc *doc, bool start)
{
    if (!doc)
        return Res_ok;
    // Any non-null context word asks for starts.
    return Edr_Doc_walkLocked(doc, visitNode, nullptr, start ? doc : nullptr, 0, doc->root);
}

// ------------------------------------------------------- the tick

HighlightStyle *viewRecord(Edr_Doc *doc)
{
    return doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
}

void moveItems(PageView *view, int32_t by)
{
    bool horizontal = view->scrollBox->direction < 2;
    for (ObjHeader *item = view->items; item; item = Obj_next(item)) {
        if (horizontal)
            item->origin[0] = int32_t(uint32_t(item->origin[0]) + uint32_t(by));
        else
            item->origin[1] = int32_t(uint32_t(item->origin[1]) - uint32_t(by));
    }
}

int addRect(AnimRectList *list, const int32_t box[4])
{
    if (list->count == list->capacity) {
        int32_t capacity = list->capacity ? list->capacity * 2 : 8;
        Rect *grown =
            static_cast<Rect *>(Mem_realloc(list->rects, size_t(capacity) * sizeof(Rect)));
        if (!grown)
            return Res_noMemory;
        list->rects = grown;
        list->capacity = capacity;
    }
    list->rects[list->count++] = Rect{box[0], box[1], box[2], box[3]};
    return Res_ok;
}

// The move of one step of a due box (stepsDone already counted).
int32_t stepMove(const ScrollBox *box)
{
    int32_t move;
    switch (box->behaviour) {
    case ScrollBox_round:
        move = box->stepsDone % box->stepsPerPass == 0 ? (box->stepsPerPass - 1) * box->step
                                                       : -box->step;
        break;
    case ScrollBox_alternate:
        move = (box->stepsDone / box->stepsPerPass) % 2 ? box->step : -box->step;
        break;
    default: move = -box->step; break;
    }
    return box->direction == 1 || box->direction == 2 ? -move : move;
}

} // namespace

int Anim_stopDocument(Edr_Doc *doc)
{
    return visitDocument(doc, false);
}

int Anim_startDocument(Edr_Doc *doc)
{
    return visitDocument(doc, true);
}

int Anim_pauseDocImage(ImageHandle *handle)
{
    return changeImageClock(handle, pauseClock);
}

int Anim_startDocImage(ImageHandle *handle)
{
    return changeImageClock(handle, startClock);
}

int Anim_stopDocImage(ImageHandle *handle)
{
    return changeImageClock(handle, stopClock);
}

int Anim_restartDocImage(ImageHandle *handle)
{
    return changeImageClock(handle, restartClock);
}

void Anim_setupScrollBox(PageView *view, int32_t contentWidth, int32_t contentHeight)
{
    ScrollBox *box = view ? view->scrollBox : nullptr;
    if (!box)
        return;
    int32_t width = view->box[2] - view->box[0];
    int32_t height = view->box[3] - view->box[1];
    if (box->delay < Anim_minDelay)
        box->delay = Anim_minDelay;
    box->step = int32_t((uint32_t(box->amount) * 65536u) / 96u);
    box->stepsDone = 0;
    if (box->step == 0) {
        // Nothing to move: the box counts as finished at once.
        box->totalSteps = 1;
        box->stepsPerPass = 0;
        box->stepsDone = 1;
    } else {
        bool horizontal = box->direction < 2;
        int32_t extent = horizontal ? width : height;
        int32_t content = horizontal ? contentWidth : contentHeight;
        switch (box->behaviour) {
        case ScrollBox_round: box->stepsPerPass = (extent + content) / box->step; break;
        case ScrollBox_alternate: box->stepsPerPass = std::abs(extent - content) / box->step; break;
        default: box->stepsPerPass = extent / box->step; break;
        }
        box->totalSteps = box->behaviour == ScrollBox_slideIn ? box->stepsPerPass
                                                              : box->loops * box->stepsPerPass;
        if (!horizontal)
            box->step = -box->step;
    }
    int32_t shift;
    bool alternate = box->behaviour == ScrollBox_alternate;
    switch (box->direction) {
    case 0: shift = alternate ? width - contentWidth : width; break;
    case 1: shift = alternate ? 0 : -contentWidth; break;
    case 2: shift = alternate ? height - contentHeight : height; break;
    default: shift = alternate ? 0 : -contentHeight; break;
    }
    moveItems(view, shift);
}

int Anim_scheduleTick(Edr_Doc *doc)
{
    HighlightStyle *record = viewRecord(doc);
    if (!record)
        return Res_nullInput;
    Lock_acquire(&doc->mutex);
    int r = Res_ok;
    if (!doc->closing)
        r = TimerQ_add(doc->app, doc->app->eventProc, Anim_tickMs, 0, Anim_onTick, doc,
                       &record->tickTimer);
    Lock_release(&doc->mutex);
    return r;
}

void Anim_cancelTick(Edr_Doc *doc)
{
    HighlightStyle *record = viewRecord(doc);
    if (!record)
        return;
    Lock_acquire(&doc->mutex);
    uint32_t timer = record->tickTimer;
    record->tickTimer = 0;
    record->tickCount = 0;
    Lock_release(&doc->mutex);
    if (timer && doc->app->eventProc)
        // A timer that has already ended needs no cancelling.
        (void)TimerQ_cancel(doc->app->eventProc, &timer);
}

int Anim_restartTick(Edr_Doc *doc)
{
    Anim_cancelTick(doc);
    if (!viewRecord(doc))
        return Res_ok;
    bool scrolls = false;
    Edr_Page_readLockList(doc);
    Edr_PageEntry *first = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc));
    for (PageView *v = first ? first->views : nullptr; v && !scrolls; v = v->next)
        scrolls = v->scrollBox != nullptr;
    Edr_Page_readUnlockList(doc);
    return scrolls ? Anim_scheduleTick(doc) : Res_ok;
}

void Anim_tick(void *, EventProcMsg *, Edr_Doc *doc)
{
    (void)Anim_restartTick(doc);
}

void Anim_onTick(EngineContext *, void *argument)
{
    TimerRun *run = static_cast<TimerRun *>(argument);
    Edr_Doc *doc = static_cast<Edr_Doc *>(run->argument);
    AnimRectList list{};
    if (Anim_collectDirtyRects(doc, &list) == Res_ok)
        for (int32_t i = 0; i < list.count; i++)
            (void)Anim_reportAreas(&list.rects[i], 0, doc);
    Mem_free(list.rects);
    (void)Anim_scheduleTick(doc);
}

int Anim_collectDirtyRects(Edr_Doc *doc, AnimRectList *list)
{
    HighlightStyle *record = viewRecord(doc);
    if (!record)
        return Res_ok;
    Lock_acquire(&doc->mutex);
    uint32_t n = record->tickCount++;
    uint32_t stopping = doc->closing;
    Lock_release(&doc->mutex);
    if (stopping)
        return Res_ok;
    int r = Res_ok;
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    Edr_PageEntry *first = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc));
    uint32_t t = n * uint32_t(Anim_tickMs);
    for (PageView *v = first ? first->views : nullptr; v && r == Res_ok; v = v->next) {
        ScrollBox *box = v->scrollBox;
        if (!box)
            continue;
        uint32_t delay = uint32_t(box->delay);
        // Due when a multiple of the delay lies in (t - 21, t + 21], in
        // unsigned arithmetic: the first tick (t = 0) is never due.
        uint32_t k = (t + Anim_tickMs / 2) / delay;
        bool due = t - uint32_t(Anim_tickMs / 2) < k * delay;
        if (!due || (box->totalSteps && box->stepsDone >= box->totalSteps))
            continue;
        box->stepsDone++;
        if (box->stepsPerPass == 0)
            break; // a box that never moves ends this tick's walk
        moveItems(v, stepMove(box));
        r = addRect(list, v->box);
    }
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    return r;
}

int Anim_reportAreas(const Rect *rect, intptr_t tag, Edr_Doc *doc)
{
    ViewChangeReport report{doc, int32_t(tag), 0, {rect->x0, rect->y0, rect->x1, rect->y1}};
    return View_reportAreas(&report);
}

int Fv_registerBuiltinImages(EngineContext *context)
{
    for (const RomFsEntry &image : Fv_builtinImages)
        RomFs_addFile(context, image.path, image.data, image.length);
    return Res_ok;
}

// ---------------------------------------------------- listener lists

int Anim_forEachListener(AnimListenerList *list, AnimListenerFn callback, void *argument)
{
    for (AnimRecord *r = list->head; r;) {
        AnimRecord *next = r->next;
        int answer = callback(argument, r);
        if (answer)
            return answer;
        r = next;
    }
    return 0;
}

AnimRecord *Anim_findListener(AnimListenerList *list, const AnimListenerQuery *query)
{
    for (AnimRecord *r = list->head; r; r = r->next) {
        const int32_t *c = r->colourTransform;
        bool identity = c[0] == 0x10000 && c[1] == 0x10000 && c[2] == 0x10000 && c[3] == 0x10000 &&
                        c[4] == 0 && c[5] == 0 && c[6] == 0 && c[7] == 0;
        if (!identity == (query->colourTransform != 0) && (r->flag != 0) == (query->flag != 0))
            return r;
    }
    return nullptr;
}

void Anim_holdListeners(AnimListenerList *list)
{
    list->holds++;
    for (AnimRecord *r = list->head; r; r = r->next)
        r->holds++;
}

void Anim_releaseListeners(AnimListenerList *list)
{
    list->holds--;
    for (AnimRecord *r = list->head; r; r = r->next)
        r->holds--;
}

void Anim_attachListener(AnimListenerList *list, AnimRecord *record)
{
    if (record->next != record)
        return; // attached already
    record->prev = nullptr;
    record->next = list->head;
    if (list->head)
        list->head->prev = record;
    list->head = record;
    record->holds += list->holds;
}

void Anim_detachListener(AnimListenerList *list, AnimRecord *record)
{
    if (record->next == record)
        return;
    if (record->prev)
        record->prev->next = record->next;
    else
        list->head = record->next;
    if (record->next)
        record->next->prev = record->prev;
    record->next = record;
    record->prev = nullptr;
}

void Anim_initRecord(AnimRecord *record, intptr_t a, intptr_t b)
{
    *record = AnimRecord{};
    for (int i = 0; i < 4; i++)
        record->colourTransform[i] = 0x10000;
    record->words[0] = a;
    record->words[1] = b;
    record->next = record;
}
