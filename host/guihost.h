// The GUI program's side of the host services: the host data behind the
// host context, the posting of custom events to the bridge object, the
// translated texts and the engine calls that the bridge and the services
// make.
//
// The services of core/host/hostservices.h run on engine threads and never touch a
// widget: they record what the GUI thread reads after its engine call
// returns (the pending screen update, the host flags) and post custom
// events to the bridge (QAlien), which handles them on the GUI thread.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

#include "core/host/hostservices.h"

class QObject;
struct EditData;
struct EngineContext;
struct HostQuery;
struct ZipEntryList;
struct ZipListRequest;

// The custom event types the services post to the bridge and the bridge
// posts to itself (Qt user types from 1001).
enum : int {
    EvTimerStart = 1001,
    EvTimerStop = 1002,
    EvEditContents = 1003,
    EvZoom = 1004,
    EvResized = 1005,
    EvEditingMode = 1006,
    EvAlert = 1007,
    EvError = 1008,
    EvWorkStarted = 1009,
    EvDocLoaded = 1010,
    EvSaved = 1011,
    EvConfirm = 1012,
    EvPage = 1013,
    EvCloseDown = 1014,
    EvBusy = 1015,
    EvReady = 1016,
    EvQuestionQuery = 1017,
    EvPasswordQuery = 1018,
    EvReopen = 1019,
    EvResetEditing = 1020,
    EvReflow = 1021,
    EvZipEntry = 1022,
    EvLocation = 1023,
    EvSearchWrapped = 1024,
    EvSearchEnded = 1025,
    // The view's place on the current page (an FvScrollReport copy).
    EvScroll = 1026,
};

// The engine heap's size when none is configured, and its floor.
enum : size_t {
    HostGui_defaultHeap = size_t(64) << 20,
    HostGui_minimumHeap = size_t(1) << 20,
};

// The host's own data, behind HostContext::hostPrivate.
struct GuiHostData {
    // The content size: width, height and the full-screen height.
    int32_t width = 0;
    int32_t height = 0;
    int32_t fullHeight = 0;
    // The largest content the window may grow to: the engine's screen
    // memory holds a picture of this size.
    int32_t maxWidth = 0;
    int32_t maxHeight = 0;

    // The pending screen update: the engine's pixels and the bounding box
    // of every rectangle presented since the last flush (w 0: none).
    const uint16_t *updatePixels = nullptr;
    int32_t updateX = 0, updateY = 0, updateW = 0, updateH = 0;
    int32_t updateRowBytes = 0;

    int32_t lastZoom = 0x10000;     // the zoom last reported to the GUI
    int32_t alertPending = 0;       // a one-shot alert is on its way
    int32_t editFailurePending = 0; // notification 4 or 22 came; 35 is expected
    int32_t editSuppression = 0;    // the document has no edit support: 4 and 22 are ignored
    int32_t keepSelection = 0;      // a selection made (4) stays for copying: no contents editor
    int32_t documentEditable = 0;   // from the document information request

    int32_t clockStarted = 0;
    int64_t clockBase = 0;
    char *cwd = nullptr; // the last text Host_getcwd gave

    ZipListRequest *listing = nullptr; // the archive listing in progress
    // The file and reason of the last failed load, for the alert that
    // follows (empty when none is waiting).
    QString loadFailure;

    // Queries handed to the host and not yet given back, by serial number:
    // the GUI reaches a query only through its serial, so a query that the
    // engine withdrew is never touched again.
    std::mutex queryLock;
    std::map<intptr_t, HostQuery *> queries;
    intptr_t nextQuery = 1;
};

// "<file name>: <reason>." for a failed load: the engine's report kind
// (-1: the open did not start; 0 kind not supported; 1 no data; 2 failed;
// 3 refused; 4 stopped; 5 out of memory) and result code, with the file's
// own state telling a missing or unreadable file from a damaged one.
QString HostGui_loadFailureText(int32_t kind, int32_t code, const QString &path);

// The process's host context (null when no bridge runs).
HostContext *HostGui_current();
void HostGui_setCurrent(HostContext *host);
GuiHostData *HostGui_data(HostContext *host);

// Blocks that AlienMemory_malloc gave and Host_releaseBlock has not taken
// back, over the whole process.
int64_t HostGui_blocksHeld();

// The language code handed to the engine ("en-gb" until set); at most 5
// characters are kept.
void HostGui_setLanguageCode(const char *code);
const char *HostGui_languageCode();

// Posts a custom event to the bridge of the host context (nothing without
// one; the payload is then disposed of). From any thread.
void HostEvent_post(HostContext *host, int type, void *data, void (*dispose)(void *) = nullptr);
void HostEvent_postValue(HostContext *host, int type, intptr_t value);
// Posts 1007 (an alert) or 1008 (an error) with a copy of the text.
void HostEvent_postAlert(HostContext *host, const QString &text);
void HostEvent_postError(HostContext *host, const QString &text);
// The translation of key in the context. A key without a translation is
// posted as an error (its own text) and gives a null string, as does an
// empty translation.
QString Host_translate(HostContext *host, const char *context, const char *key);
// The translation, or the key itself when there is none.
QString HostGui_text(const char *context, const char *key);

// A query the GUI holds: its serial goes with the custom event. Taking it
// back removes it (null when the engine withdrew it meanwhile); peeking
// leaves it.
HostQuery *HostGui_peekQuery(HostContext *host, intptr_t serial);
HostQuery *HostGui_takeQuery(HostContext *host, intptr_t serial);

// The engine calls that the bridge and the services make, as one table: the
// engine's own functions, unless a test put recorders in their place.
struct HostEngineCalls {
    int (*openDocument)(EngineInstance *, const char *path, intptr_t a, intptr_t flags);
    int (*saveDocumentAs)(EngineInstance *, const char *path);
    int (*isModified)(EngineInstance *);
    int (*clearModified)(EngineInstance *);
    int (*setupEditMode)(EngineInstance *);
    int (*postPageStep)(EngineInstance *, intptr_t code);
    int (*gotoPage)(EngineInstance *, int32_t number);
    // Asks for the view's place on the current page (request 0x10026).
    int (*scrollReport)(EngineInstance *);
    int (*fit)(EngineInstance *, intptr_t code);
    int (*setRotation)(EngineInstance *, intptr_t value);
    int (*setScreenSize)(EngineInstance *, int32_t width, int32_t height, intptr_t a, intptr_t b);
    int (*deliverReply)(EngineInstance *, void *query);
    int (*gotoElement)(EngineInstance *, const char *text, intptr_t flag);
    int (*searchStart)(EngineInstance *, const char *text, intptr_t a, intptr_t b, intptr_t c);
    int (*searchNext)(EngineInstance *);
    int (*searchFollowUp)(EngineInstance *);
    int (*searchCancel)(EngineInstance *);
    int (*setConfigInt)(EngineInstance *, const char *key, uint32_t value);
    int (*setConfigString)(EngineInstance *, const char *key, const char *value);
    int (*sendKey)(EngineInstance *, intptr_t value);
    int (*documentShown)(EngineInstance *);
    int (*postContents)(EngineInstance *, const EditData *record, intptr_t mode);
    int (*insertCells)(EngineInstance *, intptr_t code);
    int (*deleteCells)(EngineInstance *, intptr_t code);
    int (*toggleContents)(EngineInstance *);
    int (*primaryAction)(EngineInstance *);
    int (*secondaryAction)(EngineInstance *);
    // The pointer: down, pan by a step (or its end), zoom about a point.
    int (*pointerDown)(EngineInstance *);
    int (*pointerPan)(EngineInstance *, intptr_t dx, intptr_t dy, intptr_t action);
    int (*pointerZoom)(EngineInstance *, intptr_t x, intptr_t y, intptr_t action, intptr_t zoom);
    int (*editCall)(EngineInstance *, intptr_t x, intptr_t y, intptr_t code);
    int (*viewActionsEnabled)(EngineInstance *);
    int (*viewEditActive)(EngineInstance *);
    int (*listNext)(EngineInstance *, ZipListRequest *request, int32_t batchSize);
    int (*listClose)(EngineInstance *, ZipListRequest *request);
    int (*listFree)(ZipEntryList *list);
    int (*keyPress)(EngineInstance *, intptr_t key, intptr_t repeat);
    int (*keyRelease)(EngineInstance *, intptr_t key);
    int (*setFunctionNames)(EngineInstance *, const char *const *names);
    int (*setLocale)(EngineInstance *, const char *tag);
    int (*setDateNames)(EngineInstance *, const char *longDate, const char *shortDate,
                        const char *time, const char *dateTime, const char *const *days,
                        const char *const *dayAbbreviations, const char *const *months,
                        const char *const *monthAbbreviations, const char *const *ampm);
    void (*registerFonts)(EngineContext *);
};

HostEngineCalls &HostGui_engineCalls();
// Puts the engine's own functions back.
void HostGui_resetEngineCalls();
