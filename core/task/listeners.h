// Viewer listeners, document feature flags and the current date.
//
// Three small services that the viewer and the importers share. The
// listener list lives in the viewer record: view changes (page, zoom,
// margins, pan limits, the cursor overlay) are announced through it by an
// integer id, and every listener registered for that id hears of it. The
// feature flags are one word of each document that importers set when they
// open a document (bits 1, 2, 4 and 8) and that the viewer and the
// page-on-demand test read. Date_now reads the host's local time as engine
// seconds.
//
// A listener may add or remove listeners (itself included) while the list
// dispatches: a node removed during a dispatch is unlinked and freed when
// the outermost dispatch ends, and nodes added during a dispatch are first
// called by the next one.
#pragma once

#include <cstdint>

struct FvViewer;
struct Edr_Doc;

// A listener: called with the viewer that owns the list and the argument
// of the announcement.
typedef void (*ListenerFn)(FvViewer *viewer, void *argument);

struct ListenerNode {
    int32_t id;
    ListenerFn function;        // null once removed during a dispatch
    ListenerNode *next;
};

// The list head, a field of the viewer record.
struct ListenerList {
    ListenerNode *head;
    FvViewer *viewer;           // what the listeners are called with
    int32_t dispatching;        // dispatches in progress
    int32_t removed;            // nodes removed during them, freed at the end
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

// ------------------------------------------------- document feature flags

// ORs bits into the document's feature flags under its write lock. 0; the
// lock's error when it could not be taken (nothing changes then). A null
// document gives 0.
[[nodiscard]] int Edr_Doc_setFlags(Edr_Doc *doc, uint32_t bits);

// 1 when every bit of the mask is set in the document's feature flags (so
// a mask of 0 gives 1), read under its read lock; 0 for a null document.
int Edr_Doc_testFlags(Edr_Doc *doc, uint32_t bits);

// ------------------------------------------------------------ the date

// The host's local time now as seconds since 1970-01-01 00:00 UTC (the
// engine's time-zone offset taken off), also stored through out when out
// is not null.
int64_t Date_now(int64_t *out);
