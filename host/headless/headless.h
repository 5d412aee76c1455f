// The headless host: the host services over POSIX, without a screen.
//
// Tests and the command-line tools link it in place of the GUI host. It
// keeps one current host context for the process (Host_getThreadContext has
// no argument), a clock that tests can drive by hand, and a debug sink that
// can capture what the engine prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/host/hostservices.h"

// A new host context with the given engine heap size (0 = the default of
// 64 MiB; never below 1 MiB). Null when the system has no memory.
HostContext *Headless_createContext(size_t heapBytes);
void Headless_destroyContext(HostContext *host);

// Makes host the process's current context (null for none).
void Headless_setCurrent(HostContext *host);
HostContext *Headless_current();

// The clock: real (monotonic) by default; in manual mode it stands still
// until a test advances it.
void Headless_setManualClock(HostContext *host, int manual);
void Headless_advanceClock(HostContext *host, int64_t ms);

// A test hook called with arg on every clock read, before the value is
// returned (null turns it off). It runs on whichever thread reads the clock.
void Headless_setClockHook(HostContext *host, void (*hook)(void *arg), void *arg);

// Debug output: discarded unless capture is on; the captured text is kept
// until cleared.
void Headless_captureDebug(HostContext *host, int on);
const char *Headless_debugText(HostContext *host);
void Headless_clearDebug(HostContext *host);

// ----------------------------------------------- the engine, host side

struct EngineInstance;
struct EngineContext;
struct AppEvent;
typedef int (*EngineEntryFn)(struct EngineInstance *instance, const AppEvent *startEvent);

// Starts an engine the way the GUI host does: makes host current, sends the
// start event with the start document path (null for none) and entry, then
// sets the queue options (0, 0) and the time slice (period 0, slice 100).
// Returns the entry's result; the instance is in host->instance.
int Headless_startEngine(HostContext *host, const char *document, EngineEntryFn entry,
                         int heapFlags);

// The engine timer: 1 with its id and due time (host clock) when armed.
int Headless_timerArmed(HostContext *host, int32_t *timerId, int64_t *dueMs);
// Fires the armed timer: waits for its due time (a manual clock is advanced
// to it), disarms it and calls Engine_timerExpired. 1 when it fired.
int Headless_fireTimer(HostContext *host);
// Fires the timer until it is no longer armed or limit firings have run;
// returns the number of firings.
int Headless_runTimers(HostContext *host, int limit);

// Records of what the engine sent: host requests {code, record}, alert
// codes and close-down notices, in order. The record pointer is kept as it
// was sent and is not to be read after the request.
struct HeadlessRequest {
    int32_t code;
    void *record;
};
int Headless_requestCount(HostContext *host);
HeadlessRequest Headless_request(HostContext *host, int index);
// How many requests of that code arrived.
int Headless_requestsOf(HostContext *host, int32_t code);
int Headless_alertCount(HostContext *host);
int32_t Headless_alert(HostContext *host, int index);
int Headless_closeDownCount(HostContext *host);
// The page positions the engine reported (Host_reportPage): {page from 1,
// count}, in order; {0, 0} for an index out of range.
struct HeadlessPageReport {
    int32_t page;
    int32_t count;
};
int Headless_pageReportCount(HostContext *host);
HeadlessPageReport Headless_pageReport(HostContext *host, int index);
void Headless_clearRecords(HostContext *host);

// Called with every request as it arrives (null turns it off), on the
// thread that sent it.
void Headless_setRequestHook(HostContext *host, void (*hook)(void *arg, int32_t code, void *record),
                             void *arg);

// Blocks that AlienMemory_malloc gave and Host_releaseBlock has not taken
// back.
int64_t Headless_blocksHeld(HostContext *host);
// While on, AlienMemory_malloc gives nothing.
void Headless_failHostBlocks(HostContext *host, int on);
// The local time Host_getLocalTime gives: the system's by default; after a
// call with a time, that time, standing still, until a call with null.
void Headless_setLocalTime(HostContext *host, const HostLocalTime *time);

// What Host_configure answers (0 by default): a test makes the engine's
// start-up fail at the host's configuration hook with it.
void Headless_setConfigureResult(HostContext *host, int result);
// A call Host_configure makes after the built-in fonts (null: none), so a
// test can configure the engine at start-up as a windowed host does (for
// example, set up editing before the start document loads).
void Headless_setConfigureHook(HostContext *host, void (*hook)(EngineContext *context, void *arg),
                               void *arg);

// The screen. The geometry AlienScreen_getGeometry reports (its eleven
// values; null restores the default: a 240 x 320 display with a 240 x 300
// area at (0, 20), 16-bit 5-6-5 pixels (0x10005), no minimum back buffer,
// alignment 0x10000).
void Headless_setScreenGeometry(HostContext *host, const int32_t geometry[11]);
// One hand-over of Host_screenUpdate: its arguments and a copy of the
// whole image (rowBytes x height bytes) taken during the call. Kept until
// Headless_clearRecords.
struct HeadlessScreenUpdate {
    int32_t format;
    int32_t width, height;
    int32_t rowBytes;
    int32_t x, y, w, h; // the changed rectangle, y counted from the top
    int32_t originX, originY;
    uint8_t *pixels; // null when the copy could not be made
    size_t size;
};
int Headless_screenUpdateCount(HostContext *host);
// Whether hand-overs are kept (by default they are). A test that shows
// many pages and never looks at the screen turns keeping off: each copy
// is a whole screen, and a long layout hands over thousands.
void Headless_keepScreenUpdates(HostContext *host, int keep);
// Null for an index out of range.
const HeadlessScreenUpdate *Headless_screenUpdate(HostContext *host, int index);

// Host queries (viewer/hostquery.h). By default every query is refused at
// once. HeadlessQuery_answer answers each at once with status (and, for a
// link question, writes answer into its record); HeadlessQuery_hold keeps
// them for the test, which takes one (Headless_takeQuery: the host lets go
// of it, so a later cancel does not find it) and answers it
// (Headless_answerQuery: writes status and hands it back with
// App_deliverReply, from the test thread). Host_cancelQuery drops a held
// query.
struct HostQuery;
enum : int {
    HeadlessQuery_refuse = 0,
    HeadlessQuery_answer = 1,
    HeadlessQuery_hold = 2,
};
void Headless_setQueryMode(HostContext *host, int mode, int32_t status, int32_t answer);
// Queries shown (not refused) so far.
int Headless_queryCount(HostContext *host);
int Headless_heldQueryCount(HostContext *host);
HostQuery *Headless_heldQuery(HostContext *host, int index);
HostQuery *Headless_takeQuery(HostContext *host, int index);
int Headless_answerQuery(HostContext *host, HostQuery *query, int32_t status);

struct Edr_Doc;
// The document's tree as readable text, one node a line, two spaces of
// indent per level (groups with element code, class ids and link; text
// nodes with their escaped text, long ones cut). A new malloc'd string the
// caller frees, or null without memory. From an engine task (it takes the
// document's read lock).
char *Headless_dumpTree(Edr_Doc *doc);
struct Edr_Node;
// The same for one node of the document at an indent of `depth` levels:
// with `children` its whole subtree, else its own line alone (a document
// printed one page at a time prints the root's line, then each page).
char *Headless_dumpBranch(Edr_Doc *doc, Edr_Node *node, int depth, int children);
