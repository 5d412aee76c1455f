// The focus calls of a document's view: asking for, giving, clearing and
// stepping the focus, the activation target of the focused object, the
// pointer notifications, and the display item under a point.
//
// Every call that reads or moves the focus takes the document's read lock,
// then the page-list read lock, then the highlight style's lock, and lets
// them go in reverse order. Node events go to the document's own
// dispatcher; the focus notifications of View_notifyPointer go to the
// application's processor as kind-2 messages {type, document, object,
// {x, y}} (the document and object as plain words, no references).
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct Edr_Doc;
struct Edr_Node;
struct Edr_PageEntry;
struct ObjHeader;
struct FocusScoreRecord;

enum : int32_t {
    // Pointer events of View_notifyPointer and the notifications they give.
    ViewPointer_over = 16,    // the object under the pointer: 12, then 13
    ViewPointer_move = 17,    // the object under the pointer: 14
    ViewPointer_press = 32,   // two coordinates: 15
    ViewPointer_release = 33, // two coordinates: 18
    ViewNotice_enter = 12,
    ViewNotice_entered = 13,
    ViewNotice_move = 14,
    ViewNotice_press = 15,
    ViewNotice_release = 18,

    // What View_activateFocus resolves.
    ViewActivate_none = 0,
    ViewActivate_link = 1,
    ViewActivate_form = 2,

    // View_stepFocus callback answers besides other stop values.
    ViewStep_accept = 0,
    ViewStep_skip = 1,
};

// A pointer event: the object under the pointer (events 16 and 17) or the
// point (32 and 33).
struct ViewPointerEvent {
    int32_t code;
    Edr_Node *object;
    int32_t x, y;
};

// *node the focused node with a reference of the caller's (null when none),
// *part the display item the focus was set from, *kind the focus kind. 0,
// or 16 without a document or view record.
[[nodiscard]] int View_focusedNode(Edr_Doc *doc, Edr_Node **node, ObjHeader **part, int32_t *kind);
// Makes node the focus in the colours of kind (0 focus, else active).
// Nothing (0) when force is 0 and node, no focus part and kind already
// are the focus, or when node cannot take the focus. Otherwise node
// becomes the focus and is sent node event 2 (a user action) of type 16,
// then node event 4 of type 8. 0, 4102 when no view shows node, or an
// error.
[[nodiscard]] int View_giveFocus(Edr_Doc *doc, Edr_Node *node, int32_t force, int32_t kind);
// Sends the focused node node event 2 of type 19, node event 4 of type 9
// and the focus-change event, then clears the focus. Nothing when nothing
// is focused. 0 or an error.
[[nodiscard]] int View_clearFocus(Edr_Doc *doc);
// The focus: *entry the index of the page entry that shows it, rect the
// last reported focus area inset by 1820 on every side, *nodeDoc the
// document holding the node (a document reference of the caller's),
// *node (a node reference of the caller's), *part and *kind. Everything
// null or 0, the index -1, when nothing is focused. When the focused node
// hosts an embedded document with a focus of its own, that focus is given
// instead (nested as deep as documents nest), its rectangle moved by the
// host node's place in the view. 0, or 16.
int View_focusInfo(Edr_Doc *doc, int32_t *entry, int32_t rect[4], Edr_Doc **nodeDoc,
                   Edr_Node **node, ObjHeader **part, int32_t *kind);
// The highlight rectangle of node (its boxes grown by 1820) without
// changing the focus. 0, 4102 when not shown, or an error.
[[nodiscard]] int View_highlightRect(Edr_Doc *doc, Edr_Node *node, int32_t rect[4]);
// Makes node the focus through the selection code; with mode 2 and a
// focus that really moved, the focus-change event follows. 0 or an error.
[[nodiscard]] int View_setFocusNode(Edr_Doc *doc, Edr_Node *node, int32_t mode, int32_t kind);
// When node differs from old, posts node event 3 (a notice) of type 29
// (28 when mode is 2) with no payload, to node (else to old). The caller
// holds the document's read lock. 0 or the post's error.
[[nodiscard]] int View_sendFocusEvent(Edr_Doc *doc, Edr_Node *node, Edr_Node *old, int32_t mode);

// A step candidate: its document and node (lent for the call), its
// rectangle (the focus highlight's without the 1820 margin) and the
// direction. 0 accepts it, 1 skips it and steps on from it, anything else
// ends the step with that value. Called with the document read-locked.
typedef int (*View_FocusStepFn)(Edr_Doc *doc, Edr_Node *node, const int32_t rect[4],
                                uint32_t direction, void *argument);
// Steps the focus in a direction (orientation flags of View_findInDirection:
// 0 right, 0x800 left, 0x100 up, 0x400 down) from the focused object, or
// from the first focusable one when nothing is focused: each candidate is
// offered to callback (null: accept). An accepted candidate becomes the
// focus as View_giveFocus makes it; when none is left the focus stays. 0,
// the callback's stop value, or an error.
[[nodiscard]] int View_stepFocus(Edr_Doc *doc, uint32_t direction, View_FocusStepFn callback,
                                 void *argument);
// What activating the focus means: *what 1 for a link (the focused node
// that carries a URL), 2 for a form control (the form group that takes the
// focus for it), 0 when nothing is focused or the focus is neither; *target
// the node with a reference of the caller's (null for 0). 0 or 16.
[[nodiscard]] int View_activateFocus(Edr_Doc *doc, Edr_Node **target, int32_t *what);
// Turns pointer events 16, 17, 32 and 33 into focus notifications 12 then
// 13, 14, 15 and 18 on the application's processor; other codes send
// nothing. 0 or the first post error.
[[nodiscard]] int View_notifyPointer(Edr_Doc *doc, const ViewPointerEvent *event);

// The topmost (last drawn) display item from first whose shown box,
// moved by (dx, dy), holds the point; hidden items are passed over and
// containers are searched inside. *out null when none. 0.
int View_itemAtPoint(ObjHeader *first, int32_t dx, int32_t dy, int32_t x, int32_t y,
                     ObjHeader **out);
// The same over a page entry: its views (each moved by its origin) or,
// without views, its records.
int View_pageItemAtPoint(Edr_PageEntry *entry, int32_t x, int32_t y, ObjHeader **out);
// The best focusable object of entry's page tree (View_visitPageTree: the page
// and the pages embedded from it on) for the search record
// (View_scoreCandidate; its offset is set for each page and given back): *out
// the node with a reference of the caller's, or null. The document is
// read-locked by the caller. 0, or Res_missingArgument for a missing argument.
[[nodiscard]] int View_nearestFocusable(Edr_Doc *doc, Edr_PageEntry *entry,
                                        FocusScoreRecord *record, Edr_Node **out);
