// Viewer listeners.
//
// The listener list lives in the viewer record: view changes (page, zoom,
// margins, pan limits, the cursor overlay) are announced through it by an
// integer id, and every listener registered for that id hears of it.
//
// A listener may add or remove listeners (itself included) while the list
// dispatches: a node removed during a dispatch is unlinked and freed when
// the outermost dispatch ends, and nodes added during a dispatch are first
// called by the next one.
#pragma once

#include <cstdint>

struct FvViewer;

// A listener: called with the viewer that owns the list and the argument
// of the announcement.
typedef void (*ListenerFn)(FvViewer *viewer, void *argument);

struct ListenerNode {
    int32_t id;
    ListenerFn function; // null once removed during a dispatch
    ListenerNode *next;
};

// The list head, a field of the viewer record.
struct ListenerList {
    ListenerNode *head;
    FvViewer *viewer;    // what the listeners are called with
    int32_t dispatching; // dispatches in progress
    int32_t removed;     // nodes removed during them, freed at the end
};

// Empties the list without freeing anything and binds it to viewer. Called
// once when the engine is configured, before the list is used.
void Listener_init(ListenerList *list, FvViewer *viewer);

// Frees every node. Null is ignored. From inside a dispatch the nodes are
// only marked removed and go when the dispatch ends.
void Listener_freeAll(ListenerList *list);

// Appends a listener for id at the tail (the same function may be added
// more than once, for the same or another id). 1 when added; 0 without
// memory, or for a null list or function.
int Listener_add(ListenerList *list, int32_t id, ListenerFn function);

// Removes the first node (in list order) with that function, whatever its
// id. Nothing when there is none.
void Listener_remove(ListenerList *list, ListenerFn function);

// Calls, in list order, every listener registered for id with (viewer,
// argument). 1 when at least one was called, else 0.
int Listener_dispatch(ListenerList *list, int32_t id, void *argument);

// 1 when a listener with that function is registered, else 0.
int Listener_hasFunction(const ListenerList *list, ListenerFn function);
