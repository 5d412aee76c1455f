// Document events: the event-type table, the dispatch of node events in
// capture, target and bubble order with the default actions, the click
// synthesis and link following.
//
// A user action on a document (a click on a link, a key on a form control)
// or a change made by the document's own code reaches the document as a
// node event (Edr_NodeEvent, posted with Edr_Doc_postNodeEvent) on its own
// dispatcher. The dispatcher's kind-5 handler delivers it to the nodes on
// the path from the root to the target, performs the default action and,
// for a click on a link, asks the application to open the link's URL with
// an open-URL message (kind 6) on the application's event processor. The
// engine itself runs no handler code: delivery gathers a node's handler
// records for the phase and lets go of the tree lock while they would run.
#pragma once

#include <cstdint>

struct EngineContext;
struct EventProcMsg;
struct Edr_Doc;
struct Edr_Node;
struct Edr_NodeEvent;
struct Edr_NodeList;
struct Link;
struct Obj;
struct Url;

// Event types: the index of a handler attribute, also the key of a group's
// event-handler records. Their names are Html_eventName's.
enum : uint32_t {
    Edr_Event_load = 0,
    Edr_Event_unload = 1,
    Edr_Event_abort = 2,
    Edr_Event_error = 3,
    Edr_Event_select = 4,
    Edr_Event_change = 5,
    Edr_Event_submit = 6,
    Edr_Event_reset = 7,
    Edr_Event_focus = 8,
    Edr_Event_blur = 9,
    Edr_Event_resize = 10,
    Edr_Event_scroll = 11,
    Edr_Event_keyDown = 12,
    Edr_Event_keyPress = 13,
    Edr_Event_keyUp = 14,
    Edr_Event_mouseDown = 15,
    Edr_Event_mouseOver = 16,
    Edr_Event_mouseMove = 17,
    Edr_Event_mouseUp = 18,
    Edr_Event_mouseOut = 19,
    Edr_Event_click = 20,
    Edr_Event_dblClick = 21,
    Edr_Event_focusIn = 22,
    Edr_Event_focusOut = 23,
    Edr_Event_activate = 24,
    Edr_Event_addition = 25,
    Edr_Event_modification = 26,
    Edr_Event_removal = 27,
    Edr_Event_hardFocusGain = 28,
    Edr_Event_hardFocusLoss = 29,
    Edr_Event_count = 30,

    // The action word of a node event.
    Edr_Action_user = 2,   // a user action (pointer, key)
    Edr_Action_notice = 3, // a notice (load and the like)
    Edr_Action_modify = 5, // a modification of a node

    // Delivery phases (the key2 of handler records).
    Edr_Phase_target = 0, // the target itself and the bubbling ancestors
    Edr_Phase_capture = 1,

    // Flags of Edr_Doc_followUrl.
    Edr_Follow_fromClick = 1,
    Edr_Follow_keepDocUrl = 16, // leave the document URL alone, do not ask again

    // Clicks further apart than this (ms) start a new click count.
    Edr_Click_doubleMs = 500,
};

// 1 when events of the type bubble; 0 for unknown types.
int Edr_Event_bubbles(uint32_t type);

// The handler registered for kind 5 on a document's dispatcher (context:
// the document): dispatches the node event the message carries, then tells
// the manager the document settled when the event is the load notice
// (action 3, type 0). The message is lent.
void Edr_Doc_onNodeEvent(EngineContext *app, EventProcMsg *msg, void *doc, int *remove);

// Dispatches the node event of a kind-5 message (lent): capture from the
// root down to the target's parent, the target, the default action and the
// bubble back up, then link following for a click and the release of the
// target reference the event owns. Runs on the dispatcher's task without a
// tree lock held. 0, 1 when memory runs out (the event is then given up
// after releasing its target), or Res_missingArgument for missing arguments.
[[nodiscard]] int Edr_Doc_dispatchNodeEvent(EngineContext *app, EventProcMsg *msg, Edr_Doc *doc);

// Delivers an event to one node's handler records of the phase (records
// whose key is type and key2 is phase): they are gathered into a temporary
// array and the read lock, which the caller holds, is let go while they
// would run. *handlers (may be null) gets their number. 0 or 1 when the
// array cannot be made.
[[nodiscard]] int Edr_Node_deliverEvent(Edr_Node *node, Edr_Doc *doc, uint32_t phase, uint32_t type,
                                        Edr_NodeEvent *record, uint32_t *handlers);

// The click synthesis of a user action without a default action: a mouse
// down remembers its target and time; a mouse up on the same target posts
// a click and an activation (then a double click when the previous click
// was at most 500 ms before), a mouse up elsewhere forgets the down. The
// state is the four words of the document's dispatcher side block. 0 or
// the first post error.
[[nodiscard]] int Edr_Doc_synthesizeClick(Edr_Doc *doc, const Edr_NodeEvent *record);

// Follows a link: url, extra and what the posted message holds are taken
// over in every case; link (null allowed) is copied. A null url or a
// javascript URL opens nothing. The URL is resolved against the document,
// a sub-document asks its marked ancestor before leaving a secure page, the
// document URL becomes the referrer, and the open-URL request {view of doc,
// url, link, flags, extra} is posted to the application (kind 6). 0 (also
// when nothing was to be opened or the leave was refused), or the post's
// error.
[[nodiscard]] int Edr_Doc_followUrl(EngineContext *app, Edr_Doc *doc, Url *url, const Link *link,
                                    uint32_t flags, Obj *extra);

// *out (cleared first) becomes the list of node (its parent for a
// non-group) and all its ancestors, root-most first, each with a node
// reference. Call with the tree lock held. 0, or 1 when memory runs out
// (every reference given back).
[[nodiscard]] int Edr_Node_ancestorChain(Edr_Doc *doc, Edr_Node *node, Edr_NodeList *out);

// Frees a group's event-handler records (null and non-groups allowed).
// The caller holds the write lock.
void Edr_Node_freeRecordsList(Edr_Node *group);
