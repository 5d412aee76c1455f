// The viewer's document events: the application's event-processor
// messages that concern documents (load reports, document changes, links,
// page updates) are taken by a filter into the viewer's event queue and
// run one at a time on the application thread by Fv_onDocEvent. Also the
// host-facing services those events use: load progress, the thumbnail of
// a loaded document, link confirmation and stopping the loads.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct EventProcMsg;
struct FvPage;
struct FvViewer;
struct Url;

typedef void (*FvDocEventFn)(FvViewer *viewer, EventProcMsg *msg);

// Pending events (copies of the processor's messages, owned), oldest first.
struct FvEventQueue {
    Lock lock;
    EventProcMsg **events;
    uint32_t capacity; // 8 at creation; back to 8 when drained
    uint32_t count;
    FvViewer *viewer;
    FvDocEventFn handler; // Fv_onDocEvent
    int32_t running;      // a job to empty it is posted
};

// on: makes the queue and registers the viewer's filter for event kinds
// 0, 1, 6, 9, 2, 3, 4 and 8; off: removes them and frees the queue with
// what it holds. 0; 1 without memory; the registration's error.
[[nodiscard]] int Fv_registerDocEvents(FvViewer *viewer, int on);

// One document event: the page set's bookkeeping, then by kind and code.
// A load status (kind 0) of the shown document is not alerted here: the
// page record's load outcome sends the one alert of a failed load
// (Fv_loadStatusAlert, out of memory as 0x10006), so that it is never
// doubled; kind 0 only lets a closing document's end go on.
void Fv_onDocEvent(FvViewer *viewer, EventProcMsg *msg);

// The host alert of a load status (0-15); 0 for none. firstDisplayPending
// silences status 4.
int32_t Fv_loadStatusAlert(int32_t status, int32_t firstDisplayPending);

// The load percentage (0-100) of the page's document; -1 without a
// document or a tracker, or while it cannot be computed.
int32_t Fv_readLoadProgress(FvViewer *viewer, FvPage *page);

// When interactiveMode is 0 and the event's document is the page's: a
// thumbnail of the page ("Vexlan_thumbnailWidth" x "Vexlan_thumbnailHeight",
// ratio "Vexlan_thumbnailHeightToWidthRatio" percent) goes to the host as
// request 0x10006.
void Thumb_readSizeSettings(EngineContext *context, EventProcMsg *msg, FvViewer *viewer);

// Event kind 9, a page's thumbnail changed: the page (found by its key
// pair in the event's document) is rendered as a thumbnail within the
// host's limits ("Vexlan_thumbnailWidth", "Vexlan_thumbnailHeight",
// "Vexlan_thumbnailHeightToWidthRatio") and sent to the host as request
// 0x10006 with its page index and key. Nothing for a page that is gone.
void Fv_sendPageThumbnail(FvViewer *viewer, EventProcMsg *msg);

// Event kind 6, a link was activated in a document. A link into the shown
// document (same scheme, host, path and query) goes to View_openUrl, which
// moves to its fragment without a load. A link of scheme "file" or
// "about" is asked about first (Fv_confirmLink, flag word 0) and, when the
// user accepts, opened in the page record (a failure other than memory is
// alerted as 0x10002). A link of any other scheme is handed to the host as
// request 0x10022 {0x1000e, the URL as UTF-8 text, 0x10000}.
void Fv_onLinkEvent(FvViewer *viewer, EventProcMsg *msg);

// Asks the user whether to follow a link to url with the link's flags
// (flagWord: 1 to open it as a new document). *accepted is 1 when the host
// answered yes. 0; 1 without memory for the URL text.
[[nodiscard]] int Fv_confirmLink(FvViewer *viewer, FvPage *page, const Url *url, int32_t linkFlags,
                                 int32_t flagWord, int32_t *accepted);
// The host query kind of a link's flags: bit 3 0x10001, else bit 6
// 0x10003, else bit 5 0x10002, else 0x10000.
int32_t Fv_linkKind(int32_t linkFlags);

// The application's stop handler: stops the shown document's translation
// and images unless it is fully loaded. 0.
int Fv_stopDocuments(FvViewer *viewer);

// Deferred call of event kind 1 code 0: request 0x10024 straight to the
// host, and the page's first display is pending again. 1.
int Fv_onLoadStarted(EngineContext *context, FvViewer *viewer);
