// Key handling: key actions on the view and the engine's auto-repeat.
//
// Everything here runs on the application thread except the two timer
// callbacks, which run on the timer thread and only post deferred calls.
// A posted call carries the id of the timer that fired; the record may have
// moved on by the time the call runs (the key released, another key held),
// so a call whose id is no longer the armed timer's is stale and does
// nothing. The record itself is always found afresh through the instance,
// so a call that runs after the record was freed finds none.
#include "viewer/api/keys.h"

#include <cmath>
#include <cstdint>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/appevent.h"
#include "core/task/eventproc.h"
#include "core/task/timerq.h"
#include "document/edr/page.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/screen/resize.h"
#include "viewer/view.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

// The hidden key sequence that shows the identity screen: up, up, down,
// down, left, right and the key without action.
constexpr int32_t hiddenSequence[7] = {Key_up,   Key_up,    Key_down,    Key_down,
                                       Key_left, Key_right, Key_noAction};

// Direction keys in the order in which the screen turns them.
constexpr int32_t turnOrder[4] = {Key_up, Key_right, Key_down, Key_left};

bool isDirectionKey(int32_t key)
{
    return key >= Key_up && key <= Key_left;
}

bool isPageKey(int32_t key)
{
    return key >= Key_pageUp && key <= Key_pageLeft;
}

bool isPanKey(int32_t key)
{
    return isDirectionKey(key) || isPageKey(key);
}

bool isZoomKey(int32_t key)
{
    return key == Key_zoomIn || key == Key_zoomOut;
}

// The focus-navigation direction of a key: 1 up, 2 down, 3 right, 4 left.
int32_t focusDirection(int32_t key)
{
    switch (key) {
    case Key_up:
    case Key_pageUp: return 1;
    case Key_down:
    case Key_pageDown: return 2;
    case Key_right:
    case Key_pageRight: return 3;
    case Key_left:
    case Key_pageLeft: return 4;
    default: return 0;
    }
}

int32_t saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// A configuration value used as a count of milliseconds or steps.
int32_t asCount(uint32_t v)
{
    return v > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(v);
}

EngineContext *contextOf(EngineInstance *instance)
{
    return instance ? instance->context : nullptr;
}

ConfigStore *storeOf(EngineContext *context)
{
    return context ? context->config : nullptr;
}

EventProc *timersOf(EngineInstance *instance)
{
    EngineContext *context = contextOf(instance);
    return context ? context->eventProc : nullptr;
}

int isMessage(const AppEvent *entry, void *code)
{
    return entry->kind == AppEvent_kindApp && entry->block[0] == *static_cast<intptr_t *>(code);
}

// Drops the queued application events of code (pan or zoom messages).
void cancelMessages(EngineInstance *instance, intptr_t code)
{
    if (instance && instance->queue && instance->queue->ring)
        EventQ_removeIf(instance->queue->ring, &code, isMessage);
}

void postPan(EngineInstance *instance, int64_t dx, int64_t dy)
{
    if (!instance || (dx == 0 && dy == 0))
        return;
    App_postMove(instance, Key_panMessage, intptr_t(dx), -intptr_t(dy), 0);
}

void followHiddenSequence(FvView *view, int32_t key)
{
    if (key != hiddenSequence[view->keySequence]) {
        view->keySequence = 0;
        return;
    }
    if (++view->keySequence < 7)
        return;
    view->keySequence = 0;
    View_showIdentity(view->viewer, 0);
}

// Focus navigation: 1 when the viewer found something to focus or show
// for the key (which then does not pan).
bool moveFocus(FvView *view, int32_t key, int32_t repeatCount, int arm)
{
    int32_t direction = focusDirection(key);
    if (!direction)
        return false;
    void *object = nullptr;
    FvArea *area = nullptr;
    if (Fv_findFocusInDirection(view, view->page, direction, &object, &area) != Res_ok)
        return false;
    if (!object && !area)
        return false;
    if (object) {
        Fv_cancelPanAnimation(view);
        FvArea *shown = nullptr;
        // A move that fails leaves the focus where it was and nothing to
        // show; the key is handled either way.
        (void)Fv_moveFocus(view, view->page, object, &shown);
        if (shown)
            Fv_showFocusArea(view, view->page, shown, 1);
    } else {
        // Navigation keys jump to the area; an animation would lag behind
        // the key's own repeats.
        Fv_showArea(view, view->page, area, 0);
    }
    if (arm)
        KeyRepeat_onKey(view->instance, key, repeatCount);
    return true;
}

// Applies the view's zoom to a power-zoom pan component and keeps it
// within the pan limits on the side of zero the key points to: a move
// that the zoom makes small is still at least the minimum, and no key
// moves the view against its direction or along the other axis.
int32_t scalePowerPan(const FvView *view, int32_t v)
{
    if (v == 0)
        return 0;
    const FvZoomPanSettings *s = view->settings;
    int64_t scaled = int64_t(v) * view->zoom / 65536;
    int64_t lo = v > 0 ? s->panVertMin : -int64_t(s->panVertMax);
    int64_t hi = v > 0 ? s->panVertMax : -int64_t(s->panVertMin);
    if (scaled < lo)
        scaled = lo;
    if (scaled > hi)
        scaled = hi;
    return saturate(scaled);
}

} // namespace

// ------------------------------------------------------------ key actions

namespace {

// A view bound to the viewer moves and fits through it; a view without one
// only remembers the page index and fit mode, so that the next key starts
// from them.
void applyFit(FvView *view, int32_t mode)
{
    view->fitMode = mode;
    if (view->viewer && view->page)
        Fv_applyPageFitDefault(view->viewer, view->page, mode, 0);
}

void gotoIndex(FvView *view, int32_t index)
{
    if (view->viewer) {
        (void)Fv_gotoPage(view->viewer, view->page, index);
        return;
    }
    uint32_t count = 0;
    if (view->doc)
        Edr_Page_count(view->doc, &count);
    if (index >= 0 && uint32_t(index) < count)
        view->pageIndex = index;
}

// The action of a key on a view that shows something: 1 when the key was
// used.
int actOnKey(FvView *view, int32_t key, int32_t repeatCount, int arm)
{
    for (KeyHook *h = view->hooks; h; h = h->next) {
        if (h->hook(view, key, repeatCount, 0)) {
            if (arm)
                KeyRepeat_onKey(view->instance, key, repeatCount);
            return 1;
        }
    }
    if ((view->settings->panFocusObjsOnscreen || view->settings->smartScrolling) &&
        moveFocus(view, key, repeatCount, arm))
        return 1;
    if (isPanKey(key)) {
        Key_pan(view, key, repeatCount, arm);
        return 1;
    }
    if (isZoomKey(key)) {
        Key_zoom(view, key, repeatCount, view->zoomCentre[0], view->zoomCentre[1], arm);
        return 1;
    }
    if (repeatCount > 0)
        return 0;
    switch (key) {
    case Key_fitMode1: applyFit(view, 1); return 1;
    case Key_fitMode2: applyFit(view, 2); return 1;
    case Key_fitMode4: applyFit(view, 4); return 1;
    case Key_previousPage:
    case Key_nextPage:
    case Key_firstPage:
    case Key_lastPage: Key_pageJump(view, key); return 1;
    case Key_appAction:
        if (view->instance) {
            intptr_t block[7] = {Key_appActionEvent, reinterpret_cast<intptr_t>(view->instance)};
            App_dispatchAppEvent(view->instance, block);
        }
        return 1;
    case Key_rotate:
        // The key is taken even when no other orientation is allowed; a
        // failed turn leaves the screen as it was.
        (void)Fv_rotateNext(view->viewer);
        return 1;
    case Key_screenMode: Fv_screenModeAction(view->viewer); return 1;
    case Key_noAction: return 1;
    default: return 0;
    }
}

// The release of a key on a view: 1 when the key was one of the view's.
int actOnRelease(FvView *view, int32_t key)
{
    EngineInstance *instance = view->instance;
    bool repeating = instance && instance->keys && instance->keys->key == key;
    for (KeyHook *h = view->hooks; h; h = h->next) {
        if (h->hook(view, key, 0, 1)) {
            // The hook has the release, but the key's repeat ends all the
            // same: nothing else would stop it.
            if (repeating)
                KeyRepeat_stop(instance);
            return 1;
        }
    }
    int handled = 0;
    if (isPanKey(key) || isZoomKey(key)) {
        bool pan = isPanKey(key);
        handled = 1;
        KeyRepeat_stop(instance);
        Fv_scheduleSettle(view->page, pan ? 1 : 2);
        if (KeyRepeat_count(instance) >= 1)
            cancelMessages(instance, pan ? Key_panMessage : Key_zoomMessage);
    } else if (repeating) {
        // A key that some action armed (a hook's key) stops repeating when
        // it is released.
        KeyRepeat_stop(instance);
    }
    Fv_postKeyUpdate(view);
    return handled;
}

} // namespace

void Key_dispatch(FvView *view, int32_t key, int32_t repeatCount, int *handledOut, int arm)
{
    int handled = 0;
    if (view) {
        if (repeatCount == 0)
            followHiddenSequence(view, key);
        if (view->doc && view->page && view->settings && !view->modal) {
            if (repeatCount == 0)
                // Settings that cannot be read keep their values and are read again later.
                (void)Fv_readZoomPanSettings(view->viewer, view->settings);
            handled = actOnKey(view, key, repeatCount, arm);
            if (handled && view->interaction == 1)
                view->keyUsed = 1;
        }
    }
    if (handledOut)
        *handledOut = handled;
}

void Key_release(FvView *view, int32_t key, int *handledOut)
{
    int handled = view ? actOnRelease(view, key) : 0;
    if (handledOut)
        *handledOut = handled;
}

void Key_pan(FvView *view, int32_t key, int32_t repeatCount, int arm)
{
    if (!view || !view->settings)
        return;
    // Settings that cannot be read keep their values and are read again later.
    (void)Fv_readZoomPanSettings(view->viewer, view->settings);
    if (repeatCount == 0)
        cancelMessages(view->instance, Key_panMessage);
    const FvZoomPanSettings *s = view->settings;
    int32_t steps =
        view->displayMode == Fv_displayPowerZoom ? s->powerZoomPanIterations : s->panIterations;
    // More messages than the queue takes moves would only be refused.
    if (steps > EventQ_moveLimit)
        steps = EventQ_moveLimit;
    view->panState = view->panState == 2 ? 0 : 1;

    int32_t dx = 0, dy = 0;
    Key_panDelta(view, key, repeatCount, &dx, &dy);
    if (steps < 2) {
        postPan(view->instance, dx, dy);
    } else {
        int64_t stepX = dx / steps, stepY = dy / steps;
        for (int32_t i = 0; i < steps - 1; i++)
            postPan(view->instance, stepX, stepY);
        postPan(view->instance, dx - stepX * (steps - 1), dy - stepY * (steps - 1));
    }
    if (arm)
        KeyRepeat_onKey(view->instance, key, repeatCount);
}

void Key_panDelta(FvView *view, int32_t key, int32_t repeatCount, int32_t *dx, int32_t *dy)
{
    *dx = 0;
    *dy = 0;
    if (!view || !view->settings)
        return;
    const FvZoomPanSettings *s = view->settings;
    bool power = view->displayMode == Fv_displayPowerZoom;

    if (isDirectionKey(key)) {
        uint32_t o = (view->screenFlags & Fv_orientationMask) >> Fv_orientationShift;
        int i = 0;
        while (turnOrder[i] != key)
            i++;
        key = turnOrder[(i + o) % 4];
        bool repeat = repeatCount > 0;
        int64_t x = 0, y = 0;
        switch (key) {
        case Key_up: y = repeat ? s->panUpRepeat : s->panUp; break;
        case Key_down: y = repeat ? s->panDownRepeat : s->panDown; break;
        case Key_right: x = repeat ? s->panRightRepeat : s->panRight; break;
        default: x = repeat ? s->panLeftRepeat : s->panLeft; break;
        }
        int64_t tx = x, ty = y;
        switch (o) {
        case 1:
            tx = y;
            ty = -x;
            break;
        case 2:
            tx = -x;
            ty = -y;
            break;
        case 3:
            tx = -y;
            ty = x;
            break;
        default: break;
        }
        *dx = saturate(tx);
        *dy = saturate(ty);
        if (power) {
            *dx = scalePowerPan(view, *dx);
            *dy = scalePowerPan(view, *dy);
        }
        return;
    }

    if (repeatCount > 0) {
        bool permitted = false;
        if (key == Key_pageUp || key == Key_pageDown) {
            EngineContext *context = contextOf(view->instance);
            permitted = Config_getIntA(context, storeOf(context), nullptr,
                                       "Vexlan_keyPageUpDownRepeat", 0) == 1;
        }
        if (!permitted)
            return;
    }
    int64_t horizontal = 0, vertical = 0;
    if (power) {
        int32_t m[4] = {0, 0, 0, 0};
        Fv_queryMargins(view->viewer, &m[0], &m[2], &m[1], &m[3]);
        horizontal = int64_t(m[0]) + m[2];
        vertical = int64_t(m[1]) + m[3];
    }
    int64_t w = view->width, h = view->height;
    switch (key) {
    case Key_pageDown: *dy = saturate(h - h / 10 - vertical); break;
    case Key_pageRight: *dx = saturate(w - w / 10 - horizontal); break;
    case Key_pageLeft: *dx = saturate(w / 10 - w + horizontal); break;
    default: *dy = saturate(h / 10 - h + vertical); break;
    }
}

void Key_zoom(FvView *view, int32_t key, int32_t repeatCount, int32_t x, int32_t y, int arm)
{
    if (!view || !view->settings || !isZoomKey(key))
        return;
    const FvZoomPanSettings *s = view->settings;
    bool power = view->displayMode == Fv_displayPowerZoom;
    bool repeat = repeatCount > 0;
    if (power && repeat) {
        cancelMessages(view->instance, Key_zoomMessage);
        view->zoom = Edr_Fwd_subdocScale(view->page ? view->page->pageView : nullptr);
    }
    double factor;
    if (key == Key_zoomIn)
        factor = power ? (repeat ? s->powerZoomInRepeat : s->powerZoomIn)
                       : (repeat ? s->zoomInRepeat : s->zoomIn);
    else
        factor = power ? (repeat ? s->powerZoomOutRepeat : s->powerZoomOut)
                       : (repeat ? s->zoomOutRepeat : s->zoomOut);
    // A factor that is not a positive number would give no zoom at all or
    // an undefined one.
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    double zoom = key == Key_zoomIn ? view->zoom * factor : view->zoom / factor;
    // The zoom stays a positive 16.16 value: 0 could never grow again.
    int32_t fresh = zoom >= double(INT32_MAX) ? INT32_MAX : zoom < 1.0 ? 1 : int32_t(zoom);
    if (view->viewer && view->page) {
        // The viewer clamps and snaps the zoom; the page view's zoom comes
        // back into the view, and the host hears it.
        Fv_zoomAboutPoint(view->viewer, view->page, fresh, x, y, FvPhase_step);
        Fv_reportZoom(view->viewer);
    } else {
        view->zoom = fresh;
    }
    if (arm)
        KeyRepeat_onKey(view->instance, key, repeatCount);
}

void Key_pageJump(FvView *view, int32_t key)
{
    if (!view)
        return;
    Fv_cancelPanAnimation(view);
    view->zoomCentre[0] = -1;
    view->zoomCentre[1] = -1;
    switch (key) {
    case Key_previousPage:
    case Key_nextPage: {
        int32_t direction = key == Key_previousPage ? 1 : 2;
        int32_t index = 0;
        if (view->viewer)
            (void)Fv_gotoAdjacentPage(view->viewer, view->page, direction, &index);
        else
            gotoIndex(view, view->pageIndex + (direction == 1 ? -1 : 1));
        break;
    }
    case Key_firstPage: gotoIndex(view, 0); break;
    case Key_lastPage: {
        uint32_t count = 0;
        Edr_Page_count(view->doc, &count);
        if (count > 0)
            gotoIndex(view, count > uint32_t(INT32_MAX) ? INT32_MAX - 1 : int32_t(count - 1));
        // The last page shows down to its end: a continuous document's
        // one long page shows its end, not its top again.
        if (count > 0 && view->viewer)
            Fv_showPageEnd(view->viewer, view->page);
        break;
    }
    default: break;
    }
}

int Key_pushHook(FvView *view, KeyHookFn hook)
{
    if (!view || !hook)
        return Res_missingArgument;
    KeyHook *node = static_cast<KeyHook *>(Mem_malloc(sizeof(KeyHook)));
    if (!node)
        return Res_noMemory;
    node->hook = hook;
    node->next = view->hooks;
    view->hooks = node;
    return Res_ok;
}

void Key_freeHooks(FvView *view)
{
    if (!view)
        return;
    while (KeyHook *h = view->hooks) {
        view->hooks = h->next;
        Mem_free(h);
    }
}

// --------------------------------------------- the application's entries

namespace {

bool asKey(intptr_t value, int32_t *key)
{
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    *key = int32_t(value);
    return true;
}

} // namespace

int Key_pressEvent(EngineInstance *instance, intptr_t key, intptr_t word)
{
    int32_t code = 0;
    FvView *view = instance ? instance->keyView : nullptr;
    if (!view || !asKey(key, &code))
        return 0;
    int32_t count = word <= 0 ? 0 : word > INT32_MAX ? INT32_MAX : int32_t(word);
    KeyRepeat_pressArrives(instance, code);
    if (instance->keys)
        instance->keys->event = KeyRepeat_pressEvent;
    int handled = 0;
    Key_dispatch(view, code, count, &handled, 1);
    if (instance->keys)
        instance->keys->event = KeyRepeat_noEvent;
    return handled;
}

int Key_releaseEvent(EngineInstance *instance, intptr_t key)
{
    int32_t code = 0;
    if (!instance || !asKey(key, &code))
        return 0;
    if (!instance->keys)
        return Key_releaseCallback(instance, code);
    instance->keys->event = KeyRepeat_releaseEvent;
    KeyRepeat_onKey(instance, code, 0);
    if (instance->keys)
        instance->keys->event = KeyRepeat_noEvent;
    return 1;
}

int Key_repeatCallback(EngineInstance *instance, intptr_t key, intptr_t count)
{
    int32_t code = 0;
    FvView *view = instance ? instance->keyView : nullptr;
    if (!view || !asKey(key, &code))
        return 0;
    if (view->modalHook && view->modalHook(view, code))
        return 1;
    int handled = 0;
    view->inRepeat = 1;
    Key_dispatch(view, code,
                 count <= 0          ? 1
                 : count > INT32_MAX ? INT32_MAX
                                     : int32_t(count),
                 &handled, 1);
    view->inRepeat = 0;
    return handled;
}

int Key_releaseCallback(EngineInstance *instance, intptr_t key)
{
    int32_t code = 0;
    if (!instance || !asKey(key, &code))
        return 0;
    FvView *view = instance->keyView;
    if (!view) {
        // Without a view nobody else would end the repeat.
        KeyRepeat_stop(instance);
        return 0;
    }
    int handled = 0;
    Key_release(view, code, &handled);
    return handled;
}

// ------------------------------------------------------------ auto-repeat

namespace {

void *idArgument(uint32_t id)
{
    return reinterpret_cast<void *>(uintptr_t(id));
}

uint32_t idOf(void *argument)
{
    return uint32_t(reinterpret_cast<uintptr_t>(argument));
}

void cancelTimer(EngineInstance *application, uint32_t *id)
{
    if (!*id)
        return;
    EventProc *timers = timersOf(application);
    if (timers)
        TimerQ_cancel(timers, id);
    *id = 0;
}

void armTimer(EngineInstance *application, int32_t delay, int repeat, TimerFn callback,
              uint32_t *id)
{
    *id = 0;
    EventProc *timers = timersOf(application);
    if (timers) // a timer that cannot be made is only missed: *id stays 0
        (void)TimerQ_add(application->context, timers, delay, repeat, callback, nullptr, id);
}

void deliverRelease(EngineInstance *application, KeyRepeat *r, int32_t key)
{
    if (r->releaseCallback)
        r->releaseCallback(application, key);
}

void onRepeatTimer(EngineContext *context, void *argument);

// On the application thread: one tick of the delay or rate timer.
void repeatTick(EngineInstance *application, void *argument)
{
    KeyRepeat *r = application ? application->keys : nullptr;
    uint32_t id = idOf(argument);
    if (!r || !r->repeatTimer || r->repeatTimer != id)
        return;
    if (r->repeatCount == 0) {
        // The delay has passed: repeats now come at the rate.
        cancelTimer(application, &r->repeatTimer);
        armTimer(application, r->rateMs, 1, onRepeatTimer, &r->repeatTimer);
    }
    r->repeatCount++;
    if (r->repeatCallback)
        r->repeatCallback(application, r->key, r->repeatCount);
}

// On the timer thread: hands the tick to the application thread.
void onRepeatTimer(EngineContext *context, void *argument)
{
    TimerRun *run = static_cast<TimerRun *>(argument);
    if (context && context->instance)
        App_postCall(context->instance, repeatTick, idArgument(run->id), nullptr);
}

// On the application thread: the release wait has passed.
void releaseTick(EngineInstance *application, void *argument)
{
    KeyRepeat *r = application ? application->keys : nullptr;
    uint32_t id = idOf(argument);
    if (!r || !r->releaseTimer || r->releaseTimer != id)
        return;
    r->releaseTimer = 0; // a one-shot timer: the timer thread frees it
    if (r->heldKey != Key_none)
        deliverRelease(application, r, r->heldKey);
}

void onReleaseTimer(EngineContext *context, void *argument)
{
    TimerRun *run = static_cast<TimerRun *>(argument);
    if (context && context->instance)
        App_postCall(context->instance, releaseTick, idArgument(run->id), nullptr);
}

void readSettings(EngineInstance *application, KeyRepeat *r)
{
    EngineContext *context = contextOf(application);
    ConfigStore *store = storeOf(context);
    r->delayMs = asCount(Config_getInt(context, store, nullptr, u"Vexlan_keyAutorepeatDelay", 250));
    r->rateMs = asCount(Config_getInt(context, store, nullptr, u"Vexlan_keyAutorepeatRate", 40));
    if (r->rateMs < 1)
        r->rateMs = 1;
    r->allSoftKeyReleases =
        Config_getInt(context, store, nullptr, u"Vexlan_actionAllSoftKeyReleases", 0) != 0;
    r->settingsDirty = 0;
}

} // namespace

int KeyRepeat_create(EngineInstance *application, KeyRepeatFn repeatCallback,
                     KeyReleaseFn releaseCallback, KeyRepeat **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!application)
        return Res_missingArgument;
    KeyRepeat *r = static_cast<KeyRepeat *>(Mem_calloc(1, sizeof(KeyRepeat)));
    if (!r)
        return Res_noMemory;
    r->application = application;
    r->heldKey = Key_none;
    r->repeatCallback = repeatCallback;
    r->releaseCallback = releaseCallback;
    r->delayMs = 250;
    r->rateMs = 40;
    r->settingsDirty = 1;
    *out = r;
    return Res_ok;
}

void KeyRepeat_free(EngineInstance *application, KeyRepeat **record)
{
    if (!record || !*record)
        return;
    KeyRepeat *r = *record;
    cancelTimer(application, &r->repeatTimer);
    cancelTimer(application, &r->releaseTimer);
    if (r->heldKey != Key_none) {
        int32_t key = r->heldKey;
        r->heldKey = Key_none;
        deliverRelease(application, r, key);
        cancelTimer(application, &r->repeatTimer);
    }
    *record = nullptr;
    Mem_free(r);
}

void KeyRepeat_onKey(EngineInstance *application, int32_t key, int32_t repeatCount)
{
    KeyRepeat *r = application ? application->keys : nullptr;
    if (!r)
        return;
    if (r->settingsDirty)
        readSettings(application, r);

    r->heldKey = key;

    if (r->event == KeyRepeat_pressEvent && repeatCount == 0) {
        if (r->repeatTimer && r->key != key)
            cancelTimer(application, &r->repeatTimer);
        if (!r->repeatTimer) {
            r->key = key;
            r->repeatCount = 0;
            armTimer(application, r->delayMs, 0, onRepeatTimer, &r->repeatTimer);
        }
    } else if (r->event == KeyRepeat_releaseEvent) {
        cancelTimer(application, &r->releaseTimer);
        if (r->allSoftKeyReleases)
            deliverRelease(application, r, key);
        armTimer(application, Key_releaseDelayMs, 0, onReleaseTimer, &r->releaseTimer);
    }
}

void KeyRepeat_pressArrives(EngineInstance *application, int32_t key)
{
    KeyRepeat *r = application ? application->keys : nullptr;
    if (!r || !r->releaseTimer)
        return;
    cancelTimer(application, &r->releaseTimer);
    if (r->heldKey != Key_none && r->heldKey != key)
        deliverRelease(application, r, r->heldKey);
}

void KeyRepeat_stop(EngineInstance *application)
{
    KeyRepeat *r = application ? application->keys : nullptr;
    if (!r)
        return;
    r->heldKey = Key_none;
    cancelTimer(application, &r->repeatTimer);
}

void KeyRepeat_markDirty(EngineInstance *application)
{
    if (application && application->keys)
        application->keys->settingsDirty = 1;
}

int32_t KeyRepeat_count(EngineInstance *application)
{
    return application && application->keys ? application->keys->repeatCount : 0;
}
