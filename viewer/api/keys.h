// Key handling: engine key codes become view actions, and held keys repeat.
//
// The host sends engine key codes (press and release, application events
// of the host) to the application thread. A press is dispatched to the
// view the keys act on (EngineInstance::keyView, viewer/view.h): key hooks
// first, then focus movement, panning, zooming, page jumps, fit modes and
// rotation. Pans and zooms do not move the view themselves: they post pan
// messages (application event 15) and ask the viewer to zoom, so that a
// run of key actions merges with pointer gestures in the application queue.
//
// Auto-repeat is the engine's, not the host's: the first press of a key
// arms a delay timer ("Vexlan_keyAutorepeatDelay", 250 ms), after which a
// periodic timer ("Vexlan_keyAutorepeatRate", 40 ms) delivers repeats
// until the key is released. A host release is delivered to the view 300
// ms late (a release followed soon by a press of the same key is taken as
// the key still held), or at once as well when
// "Vexlan_actionAllSoftKeyReleases" is set. The timers run on the timer
// thread; they only post deferred calls, so presses, repeats and releases
// all run on the application thread, one at a time.
//
// The application wires it up: slot 0 of its callback table is
// Key_pressEvent, slot 1 Key_releaseEvent, and its key record is made by
// KeyRepeat_create with Key_repeatCallback and Key_releaseCallback and
// kept in EngineInstance::keys.
#pragma once

#include <cstdint>

#include "viewer/view.h"

struct EngineInstance;

// Engine key codes.
enum : int32_t {
    Key_up = 0x10003,
    Key_down = 0x10004,
    Key_right = 0x10005,
    Key_left = 0x10006,
    Key_zoomIn = 0x10007,
    Key_rotate = 0x10008,
    Key_zoomOut = 0x10009,
    Key_previousPage = 0x1000A,
    Key_nextPage = 0x1000B,
    Key_fitMode1 = 0x1000C,
    Key_firstPage = 0x1000D,
    Key_lastPage = 0x1000E,
    Key_screenMode = 0x10010,
    Key_noAction = 0x10011,
    Key_fitMode2 = 0x10012,
    Key_fitMode4 = 0x10013,
    Key_pageUp = 0x10014,
    Key_pageDown = 0x10015,
    Key_pageRight = 0x10016,
    Key_pageLeft = 0x10017,
    Key_appAction = 0x1001A,

    Key_none = 0x100000,      // heldKey when no key is held
    Key_releaseDelayMs = 300, // a release reaches the view this late
    Key_panMessage = 15,      // the application events that carry pans
    Key_zoomMessage = 18,     // and zooms
    Key_appActionEvent = 26,  // the application event that key 0x1001A runs
};

// ------------------------------------------------------------ key actions

// One press (repeatCount 0) or one repeat (repeatCount > 0) of key on the
// view; arm 1 lets the action arm auto-repeat. *handled (when given) is 1
// when the key was used, 0 when it does not apply (no view, no document,
// page record or settings, a modal viewer, or a key without action).
void Key_dispatch(FvView *view, int32_t key, int32_t repeatCount, int *handled, int arm);

// The release of key on the view: key hooks, then the end of its
// auto-repeat and the settle of a pan or zoom. *handled as above.
void Key_release(FvView *view, int32_t key, int *handled);

// Pans the view for a direction or page key by posting pan messages.
void Key_pan(FvView *view, int32_t key, int32_t repeatCount, int arm);

// The pan vector of a direction or page key into *dx, *dy (both 0 when
// the key does not move): direction keys by the settings' distances,
// turned with the screen, page keys by the view's size less a tenth and
// the margins.
void Key_panDelta(FvView *view, int32_t key, int32_t repeatCount, int32_t *dx, int32_t *dy);

// Zooms in (0x10007) or out (0x10009) about (x, y) by the settings'
// factor.
void Key_zoom(FvView *view, int32_t key, int32_t repeatCount, int32_t x, int32_t y, int arm);

// Previous, next, first or last page.
void Key_pageJump(FvView *view, int32_t key);

// Pushes a key hook at the head of the view's hook list. 0; 1 without
// memory; Res_missingArgument for a null view or hook.
[[nodiscard]] int Key_pushHook(FvView *view, KeyHookFn hook);
// Frees the view's key hooks.
void Key_freeHooks(FvView *view);

// --------------------------------------------- the application's entries
// Each finds the view in EngineInstance::keyView; without one nothing
// happens and the result is 0. Results are 1 when the key was handled.

// Callback slot 0: a host key press (word is the host's second key word,
// taken as a repeat count).
int Key_pressEvent(EngineInstance *instance, intptr_t key, intptr_t word);
// Callback slot 1: a host key release; it reaches the view through the
// auto-repeat's release timing.
int Key_releaseEvent(EngineInstance *instance, intptr_t key);
// The key record's repeat callback: dispatches repeat count of key again
// (the view's in-repeat word set meanwhile), unless the viewer's modal hook
// takes it.
int Key_repeatCallback(EngineInstance *instance, intptr_t key, intptr_t count);
// The key record's release callback: delivers the release to the view.
int Key_releaseCallback(EngineInstance *instance, intptr_t key);

// ------------------------------------------------------------ auto-repeat

typedef int (*KeyRepeatFn)(EngineInstance *instance, intptr_t key, intptr_t count);
typedef int (*KeyReleaseFn)(EngineInstance *instance, intptr_t key);

// The key event being handled when the auto-repeat hears of a key.
enum : int32_t {
    KeyRepeat_noEvent = 0, // a repeat tick, or a key action outside a host event
    KeyRepeat_pressEvent = 1,
    KeyRepeat_releaseEvent = 2,
};

// One per application (EngineInstance::keys). Timer ids are those of the
// context's event processor; 0 when not armed.
struct KeyRepeat {
    EngineInstance *application;
    uint32_t repeatTimer; // the delay timer, then the rate timer
    uint32_t releaseTimer;
    int32_t key;         // the key being repeated
    int32_t repeatCount; // repeats delivered for it
    int32_t heldKey;     // Key_none when no key is held
    KeyRepeatFn repeatCallback;
    KeyReleaseFn releaseCallback;
    int32_t allSoftKeyReleases; // "Vexlan_actionAllSoftKeyReleases" non-zero
    int32_t delayMs;            // "Vexlan_keyAutorepeatDelay"
    int32_t rateMs;             // "Vexlan_keyAutorepeatRate"
    int32_t settingsDirty;      // the three settings are read at the next key
    int32_t event;              // KeyRepeat_*Event of the key being handled
};

// Makes the application's key record with its two callbacks (no key held, 250
// ms delay, 40 ms rate, settings to be read). 0 with *out set; 1 without
// memory; Res_missingArgument for a null argument. The caller owns the record
// and frees it with KeyRepeat_free.
[[nodiscard]] int KeyRepeat_create(EngineInstance *application, KeyRepeatFn repeatCallback,
                                   KeyReleaseFn releaseCallback, KeyRepeat **out);
// Cancels both timers, delivers the release of a held key, frees the
// record and clears *record (null or an empty cell: nothing). From the
// application thread.
void KeyRepeat_free(EngineInstance *application, KeyRepeat **record);
// A key event for the auto-repeat (every press, repeat and release that
// acts): remembers the held key, arms the delay on a first press and
// times the release (see above).
void KeyRepeat_onKey(EngineInstance *application, int32_t key, int32_t repeatCount);
// A host press of key, before it is dispatched: while a release waits, the
// same key pressed again is taken as still held (the wait ends, nothing is
// delivered); another key means the first one is gone, and its release is
// delivered now, before the new key acts.
void KeyRepeat_pressArrives(EngineInstance *application, int32_t key);
// Ends the repeat: no key held, the repeat timer cancelled.
void KeyRepeat_stop(EngineInstance *application);
// The three settings are read again at the next key (after a configuration
// change).
void KeyRepeat_markDirty(EngineInstance *application);
// Repeats delivered for the key repeated last (0 without a record).
int32_t KeyRepeat_count(EngineInstance *application);
