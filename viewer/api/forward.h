// Application forwarders and small entry points for the host and the
// viewer: posting helpers that copy an argument and run a step on the
// application thread, synchronous forwarders to other modules, the
// callback handlers for the zoom centre and the pan pre-step, and the
// embedding of a child document in a page.
//
// Posting entry points answer 1 when the work was posted (or run at once)
// and 0 otherwise; a copied argument is freed by the completion routine
// when the post is refused or discarded.
#pragma once

#include <cstdint>

#include "core/task/appevent.h"
#include "core/task/eventproc.h"

struct EngineContext;
struct EngineInstance;
struct Edr_Doc;
struct Edr_Node;
struct FvPage;
struct FvViewer;
struct Url;

// Step codes of the host's page prompt, its menu and its swipes.
enum : intptr_t {
    App_pageStepNext = 0x10002,
    App_pageStepPrevious = 0x10003,
};

// ------------------------------------------------------------- posting

// Posts the viewer's page step (previous or next page position) with a
// copy of the code.
int App_postPageStep(EngineInstance *instance, intptr_t code);
// Posts a call that reports the view's place on the current page to the
// host (request 0x10026, FvScrollReport).
int App_postScrollReport(EngineInstance *instance);
// Posts App_runGotoPage with a copy of the 1-based page number.
int App_gotoPageNumber(EngineInstance *instance, int32_t number);
// Frees the copy; with a viewer, a page record and a number of at least 1:
// moves to page number - 1 and, when the kept scroll position was (0, 0),
// shows the page's start.
void App_runGotoPage(EngineInstance *instance, void *copy);
// Runs App_loadSettingsUrl at once when an engine task is current, else
// posts it. The text is not copied: it must stay valid until the call ran.
int App_postLoadSettings(EngineInstance *instance, const char *urlText);
// Reads the settings file of the 8-bit URL text into the configuration
// store, sets the viewer's settings-changed word and marks the key-repeat
// settings dirty. Nothing when the text is null or no URL can be made.
void App_loadSettingsUrl(EngineInstance *instance, const char *urlText);
// The configuration changed: the viewer reads its zoom and pan settings
// again, and the keys their repeat settings, before they next act.
void App_settingsChanged(EngineInstance *instance);
// When no host event is inside the engine, posts event 1 {value} with the
// completion routine (flag 2); else 0.
int App_sendEvent1(EngineInstance *instance, intptr_t value, AppEventDoneFn completion);
// Posts (held) a call that runs callback slot 32 with the argument, when
// the slot is set.
int App_queueEvent12Call(EngineInstance *instance, intptr_t argument);
// Tells the viewer's timed-event hook (a, b) first, then posts event 21
// {engine clock in ms, a, b}.
int App_sendTimedEvent21(EngineInstance *instance, intptr_t a, intptr_t b);

// ---------------------------------------------------------- forwarders

// Edr_Doc_release.
void App_releaseDocument(Edr_Doc *doc);
// The size of page (key, kind) of the page record's document. 1; 0 with
// both sizes 0 when it has none.
int App_pageSize(FvPage *page, int32_t key, uint32_t kind, float *width, float *height);
// Starts the translation of url into doc under target (Translate_start;
// url taken over). Without a URL (a job that only serves pages) both the
// viewer and the document must be given, else nothing happens.
void App_translateDocument(EngineContext *context, FvViewer *viewer, Url *url, Edr_Doc *doc,
                           Edr_Node *target);
// Without a new document removes the sub-document node from doc, else
// gives it child (1 when that fails); then queues a redraw of every
// display view, whole, now and in high quality. 0 or 1.
int App_replaceSubdoc(EngineContext *context, Edr_Node *node, Edr_Doc *doc, Edr_Doc *child,
                      intptr_t key, intptr_t kind);
// Listeners on the engine's event processor. Results as EventProc_addListener
// and EventProc_removeListener; Res_missingArgument without a viewer.
[[nodiscard]] int App_addListener(FvViewer *viewer, int32_t kind, EventProcListenerFn routine,
                                  void *context);
int App_removeListener(FvViewer *viewer, int32_t kind, EventProcListenerFn routine, void *context);
// Callback slots 12 to 14: when the viewer's zoom-about-point state is on,
// (x, y) becomes its point; a missing state counts as off.
void App_setZoomCentre(FvViewer *viewer, intptr_t a, intptr_t x, intptr_t y);
// Callback slot 31: hands the pan step to the view-callback table (action
// 0x10003 to its tenth routine, 0x10004 to its eleventh, any other to its
// twelfth); nothing without a table.
void App_panPreStep(FvViewer *viewer, intptr_t x, intptr_t y, intptr_t *outA, intptr_t *outB,
                    intptr_t action);

// -------------------------------------------------------------- embedding

// Embeds child in doc: a new group as the last child of parent holding a
// sub-document node for child with the six placement words; the group gets
// the embedding rule; a manager pass is asked for. 0; on failure the
// child's event processor gets a message of code 8 with the error and the
// unknown-error text, and 1 comes back.
int App_embedDocument(EngineContext *context, Edr_Doc *doc, Edr_Node *parent,
                      const int32_t placement[6], Edr_Doc *child, intptr_t key, intptr_t kind);
// Adds the embedding rule (display keyword 175, width and height 100%,
// match key 2 of weight 10) to the document's first request and gives the
// group formatting id 2. Each call adds a new rule. 0 or an error.
[[nodiscard]] int App_markEmbedGroup(Edr_Doc *doc, Edr_Node *group);
