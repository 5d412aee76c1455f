// The host services of the GUI program.
//
// Every service runs on whichever engine thread calls it, one at a time,
// and never touches a widget: it records what the GUI thread reads after
// its engine call returns, or posts a custom event to the bridge object.
#include <QCoreApplication>
#include <QFileInfo>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/time/localeset.h"
#include "document/edit/editdata.h"
#include "fonts/fontengine.h"
#include "host/guihost.h"
#include "host/qalien.h"
#include "host/toolkit/toolkit.h"
#include "platform/api/app.h"
#include "app/screenreq.h"
#include "platform/api/command.h"
#include "platform/api/editing.h"
#include "platform/api/engine.h"
#include "viewer/api/forward.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/api/hostevent.h"
#include "platform/api/search.h"
#include "viewer/hostquery.h"
#include "viewer/reports.h"
#include "viewer/viewer.h"

namespace {

HostContext *currentHost = nullptr;
std::atomic<int64_t> blocksHeld{0};
char languageCode[6] = "en-gb";

// The engine asks for archive entries in batches of this size.
constexpr int32_t listBatch = 32;

QObject *bridgeOf(HostContext *host)
{
    return host && host->ownerCell ? static_cast<QObject *>(*host->ownerCell) : nullptr;
}

int64_t monotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void disposeScroll(void *p)
{
    delete static_cast<FvScrollReport *>(p);
}

void disposeString(void *p)
{
    delete static_cast<QString *>(p);
}

void disposeEntry(void *p)
{
    delete static_cast<DirEntry *>(p);
}

void disposeEditData(void *p)
{
    delete static_cast<Gui::EditData *>(p);
}

void disposeEditingRecord(void *p)
{
    auto *block = static_cast<EditModeReport *>(p);
    for (int i = 0; block->fontNames && i < block->fontCount; i++)
        free(block->fontNames[i]);
    free(block->fontNames);
    free(block->palette);
    free(block);
}

// A one-shot alert: dropped while another is on its way.
void postAlertOnce(HostContext *host, const char *key)
{
    GuiHostData *data = HostGui_data(host);
    if (!data || data->alertPending)
        return;
    data->alertPending = 1;
    HostEvent_postAlert(host, HostGui_text("Core", key));
}

void alert(HostContext *host, const char *key)
{
    HostEvent_postAlert(host, HostGui_text("Core", key));
}

void error(HostContext *host, const char *key)
{
    HostEvent_postError(host, HostGui_text("Core", key));
}

// An error about the document that failed to load: the alert's text, then
// the file and why, when the engine told why.
void loadError(HostContext *host, GuiHostData *data, const char *key)
{
    QString text = HostGui_text("Core", key);
    if (data && !data->loadFailure.isEmpty())
        text += QLatin1Char('\n') + data->loadFailure;
    if (data)
        data->loadFailure.clear();
    HostEvent_postError(host, text);
}

// ------------------------------------------------------------ requests

void editNotification(HostContext *host, GuiHostData *data, int32_t code)
{
    EngineInstance *engine = host->instance;
    HostEngineCalls &calls = HostGui_engineCalls();
    switch (code) {
    case 0: HostEvent_postValue(host, EvBusy, 1); break;
    case 1: HostEvent_postValue(host, EvBusy, 0); break;
    case 4:
        // The desktop's selections are copied, not edited.
        if (data->keepSelection)
            break;
        [[fallthrough]];
    case 22:
        if (!data->editSuppression) {
            data->editFailurePending = 1;
            calls.secondaryAction(engine);
        }
        break;
    case 6:
    case 7:
    case 23: calls.primaryAction(engine); break;
    case 8: alert(host, "RES_ALERT_NOTHINGSELECTED"); break;
    case 16: error(host, "RES_ALERT_FAILEDTODESELECT"); break;
    case 19: HostEvent_postValue(host, EvSaved, 1); break;
    case 20: HostEvent_postValue(host, EvSaved, 0); break;
    case 24: alert(host, "RES_ALERT_GOTOFAILED"); break;
    case 25: alert(host, "RES_ALERT_INVALIDGOTO"); break;
    case 26: alert(host, "RES_ALERT_GOTOERROR"); break;
    case 28: alert(host, "RES_ALERT_COULDNOTINSERTHERE"); break;
    case 29: alert(host, "RES_ALERT_COULDNOTINSERTMAX"); break;
    case 30: error(host, "RES_ALERT_FAILEDTOINSERT"); break;
    case 33: error(host, "RES_ALERT_FAILEDTODELETE"); break;
    case 35:
        // A failed edit that the host itself started (4 or 22) ends quietly.
        if (data->editFailurePending) {
            data->editFailurePending = 0;
            break;
        }
        calls.primaryAction(engine);
        error(host, "RES_ALERT_FAILEDTOEDIT");
        break;
    case 40: error(host, "RES_ALERT_INVALIDFONTSIZE"); break;
    case 43: error(host, "RES_ALERT_FAILEDTOUPDATE"); break;
    case 44: HostEvent_post(host, EvReopen, nullptr); break;
    case 45: HostEvent_post(host, EvConfirm, nullptr); break;
    case 48: alert(host, "RES_ALERT_DOCNOTEDITABLE"); break;
    case 4096: error(host, "RES_ALERT_ERRORINFORMULA"); break;
    case 4097: alert(host, "RES_ALERT_FORMULAUNSUPPORTED"); break;
    case 4098: alert(host, "RES_ALERT_CIRCULARDEPENDENCY"); break;
    case 4099: alert(host, "RES_ALERT_ARRAYNOTSUPPORTED"); break;
    case 4100:
        HostEvent_post(host, EvResetEditing, nullptr);
        alert(host, "RES_ALERT_FORMULASUNSUPPORTED");
        break;
    default: break;
    }
}

void searchNotification(HostContext *host, const SearchReport *report)
{
    if (!report || report->direction == 0x10002)
        return;
    EngineInstance *engine = host->instance;
    HostEngineCalls &calls = HostGui_engineCalls();
    switch (report->outcome) {
    case 0x10000:
        calls.searchFollowUp(engine);
        HostEvent_post(host, EvSearchWrapped, nullptr);
        break;
    case 0x10001: HostEvent_post(host, EvSearchEnded, nullptr); break;
    case 0x10002:
    case 0x10004: calls.searchNext(engine); break;
    case 0x10003:
        calls.searchCancel(engine);
        error(host, "RES_ALERT_SEARCHERROR");
        break;
    default: break;
    }
}

// A deep copy of the editing-mode report for the GUI (null without memory).
EditModeReport *copyEditingRecord(const EditModeReport *record)
{
    auto *copy = static_cast<EditModeReport *>(calloc(1, sizeof(EditModeReport)));
    if (!copy)
        return nullptr;
    *copy = *record;
    copy->fontNames = nullptr;
    copy->palette = nullptr;
    copy->fontCount = 0;
    copy->paletteCount = 0;
    bool ok = true;
    if (record->fontNames && record->fontCount > 0) {
        copy->fontNames = static_cast<char **>(calloc(size_t(record->fontCount), sizeof(char *)));
        ok = copy->fontNames != nullptr;
        for (int i = 0; ok && i < record->fontCount; i++) {
            copy->fontNames[i] = strdup(record->fontNames[i] ? record->fontNames[i] : "");
            ok = copy->fontNames[i] != nullptr;
            copy->fontCount = i + 1;
        }
    }
    if (ok && record->palette && record->paletteCount > 0) {
        copy->palette =
            static_cast<uint32_t *>(malloc(sizeof(uint32_t) * size_t(record->paletteCount)));
        ok = copy->palette != nullptr;
        if (ok) {
            memcpy(copy->palette, record->palette, sizeof(uint32_t) * size_t(record->paletteCount));
            copy->paletteCount = record->paletteCount;
        }
    }
    if (!ok) {
        disposeEditingRecord(copy);
        return nullptr;
    }
    return copy;
}

int dialogAlignment(uint32_t code)
{
    return code == 0x10001 ? 0 : code == 0x10002 ? 2 : 1;
}

// The dialog's record for an edit request.
Gui::EditData *makeEditData(const EditData *r)
{
    auto *d = new Gui::EditData;
    d->text = r->text ? QString::fromUtf8(r->text) : QString(QLatin1String(""));
    d->isCell = r->formatString && (r->kind & 0x100);
    if (d->isCell)
        d->numberFormat = QString::fromUtf8(r->formatString);
    d->fontIndex = r->fontIndex;
    d->extra1 = int(r->extra1);
    d->extra2 = int(r->extra3);
    d->size = r->fontSize;
    d->colour = r->colourIndex;
    d->highlight = (r->kind & 4) ? r->colourIndex2 : -2;
    d->hAlign = dialogAlignment(r->hAlign);
    d->vAlign = dialogAlignment(r->vAlign);
    d->flag = r->extra2 != 0;
    d->editable = r->formulaUnreadable == 0;
    d->bold = r->styleFlags & 1;
    d->italic = r->styleFlags & 2;
    d->strike = r->styleFlags & 16;
    d->underline = r->styleFlags & 4;
    d->doubleUnderline = r->styleFlags & 8;
    d->title =
        (r->kind & 1) && r->cellRef ? QString::fromUtf8(r->cellRef) : QString(QLatin1String(""));
    d->width = (r->kind & 0x200) ? int(r->columnWidth) : -1;
    d->height = (r->kind & 0x400) ? int(r->rowHeight) : -1;
    d->colourIsRgb = r->kind & 16;
    d->action = 0;
    d->accepted = false;
    d->reserved = 0;
    return d;
}

void editRequest(HostContext *host, GuiHostData *data, const EditData *record)
{
    if (!record)
        return;
    if (!data->editFailurePending) {
        HostEvent_post(host, EvEditContents, makeEditData(record), disposeEditData);
        return;
    }
    // The edit that this request belongs to already failed: no dialog, and
    // the engine leaves its contents editing.
    data->editFailurePending = 0;
    if ((record->kind & 1) && record->cellRef)
        HostEvent_post(host, EvLocation, new QString(QString::fromUtf8(record->cellRef)),
                       disposeString);
    HostGui_engineCalls().toggleContents(host->instance);
}

void endListing(HostContext *host, GuiHostData *data)
{
    HostEvent_post(host, EvZipEntry, nullptr);
    if (data->listing)
        HostGui_engineCalls().listClose(host->instance, data->listing);
    data->listing = nullptr;
}

void listEntries(HostContext *host, GuiHostData *data, ZipEntryList *list)
{
    for (int i = 0; list && list->entries && i < list->count; i++) {
        const ZipEntryInfo *info = list->entries[i];
        if (!info)
            continue;
        auto *entry = new DirEntry;
        entry->name = QString::fromUtf8(info->name ? info->name : "");
        entry->isDirectory = info->isDirectory != 0;
        HostEvent_post(host, EvZipEntry, entry, disposeEntry);
    }
    ZipListRequest *request = data->listing ? data->listing : list ? list->request : nullptr;
    if (list)
        HostGui_engineCalls().listFree(list);
    if (request)
        HostGui_engineCalls().listNext(host->instance, request, listBatch);
}

// ------------------------------------------------------------ engine calls

HostEngineCalls engineTable()
{
    HostEngineCalls t{};
    t.openDocument = App_openDocument;
    t.saveDocumentAs = App_saveDocumentAs;
    t.isModified = App_isModified;
    t.clearModified = App_clearModified;
    t.setupEditMode = App_setupEditMode;
    t.postPageStep = App_postPageStep;
    t.gotoPage = App_gotoPageNumber;
    t.scrollReport = App_postScrollReport;
    t.fit = App_sendEvent27;
    t.setRotation = App_setRotation;
    t.setScreenSize = App_setScreenSize;
    t.deliverReply = App_deliverReply;
    t.gotoElement = App_postNamedValue;
    t.searchStart = App_searchStart;
    t.searchNext = App_searchNext;
    t.searchFollowUp = App_searchFollowUp;
    t.searchCancel = App_searchCancel;
    t.setConfigInt = App_setConfigInt;
    t.setConfigString = App_setConfigString;
    t.sendKey = App_sendKey;
    t.documentShown = App_sendEvent8;
    t.postContents = App_postContents;
    t.insertCells = App_postValue2;
    t.deleteCells = App_postValue3;
    t.toggleContents = App_postToggleContents;
    t.primaryAction = App_postEditHook1;
    t.secondaryAction = App_postEditHook3;
    t.pointerDown = App_sendEvent19;
    t.pointerPan = App_sendPointer15;
    t.pointerZoom = App_sendPointer18;
    t.editCall = App_postEditCall;
    t.viewActionsEnabled = App_viewActionsEnabled;
    t.viewEditActive = App_viewEditActive;
    t.listNext = ZipList_next;
    t.listClose = ZipList_close;
    t.listFree = ZipList_free;
    t.keyPress = Engine_keyPress;
    t.keyRelease = Engine_keyRelease;
    t.setFunctionNames = Engine_setFunctionNames;
    t.setLocale = Locale_setCurrent;
    t.setDateNames = Locale_setFormats;
    t.registerFonts = FontEngine_registerBuiltins;
    return t;
}

HostEngineCalls activeCalls = engineTable();

} // namespace

// ------------------------------------------------------------ the GUI host

QString HostGui_loadFailureText(int32_t kind, int32_t code, const QString &path)
{
    auto text = [](const char *source) { return QCoreApplication::translate("Core", source); };
    QString reason;
    const QFileInfo file(path);
    if (kind == 5 || code == 1)
        reason = text("there is not enough memory to open it");
    else if (kind == 0)
        reason = text("its kind of document is not supported");
    else if (kind == 1)
        reason = text("it holds no data");
    else if (kind == 4)
        reason = text("its loading was stopped");
    else if (!path.isEmpty() && !file.exists())
        reason = text("the file does not exist");
    else if (!path.isEmpty() && (file.isDir() || !file.isReadable()))
        reason = text("the file cannot be read");
    else if (kind == 2 || kind == 3)
        reason = text("the file is damaged (error %1)").arg(code);
    else
        reason = text("it cannot be opened (error %1)").arg(code);
    const QString name = path.isEmpty() ? text("The document") : file.fileName();
    return name + QStringLiteral(": ") + reason + QLatin1Char('.');
}

HostContext *HostGui_current()
{
    return currentHost;
}

void HostGui_setCurrent(HostContext *host)
{
    currentHost = host;
}

GuiHostData *HostGui_data(HostContext *host)
{
    return host ? static_cast<GuiHostData *>(host->hostPrivate) : nullptr;
}

void HostGui_setLanguageCode(const char *code)
{
    if (!code)
        return;
    strncpy(languageCode, code, sizeof(languageCode) - 1);
    languageCode[sizeof(languageCode) - 1] = 0;
}

const char *HostGui_languageCode()
{
    return languageCode;
}

HostEngineCalls &HostGui_engineCalls()
{
    return activeCalls;
}

void HostGui_resetEngineCalls()
{
    activeCalls = engineTable();
}

void HostEvent_post(HostContext *host, int type, void *data, void (*dispose)(void *))
{
    QObject *bridge = bridgeOf(host);
    if (!bridge) {
        if (dispose && data)
            dispose(data);
        return;
    }
    QCoreApplication::postEvent(bridge, new QCustomEvent(type, data, dispose));
}

void HostEvent_postValue(HostContext *host, int type, intptr_t value)
{
    HostEvent_post(host, type, reinterpret_cast<void *>(value));
}

void HostEvent_postAlert(HostContext *host, const QString &text)
{
    HostEvent_post(host, EvAlert, new QString(text), disposeString);
}

void HostEvent_postError(HostContext *host, const QString &text)
{
    HostEvent_post(host, EvError, new QString(text), disposeString);
}

QString HostGui_text(const char *context, const char *key)
{
    return QCoreApplication::translate(context, key);
}

QString Host_translate(HostContext *host, const char *context, const char *key)
{
    QString text = QCoreApplication::translate(context, key);
    if (text == QLatin1String(key)) {
        HostEvent_postError(host, text);
        return QString();
    }
    return text.isEmpty() ? QString() : text;
}

HostQuery *HostGui_peekQuery(HostContext *host, intptr_t serial)
{
    GuiHostData *data = HostGui_data(host);
    if (!data)
        return nullptr;
    std::lock_guard<std::mutex> hold(data->queryLock);
    auto it = data->queries.find(serial);
    return it == data->queries.end() ? nullptr : it->second;
}

HostQuery *HostGui_takeQuery(HostContext *host, intptr_t serial)
{
    GuiHostData *data = HostGui_data(host);
    if (!data)
        return nullptr;
    std::lock_guard<std::mutex> hold(data->queryLock);
    auto it = data->queries.find(serial);
    if (it == data->queries.end())
        return nullptr;
    HostQuery *query = it->second;
    data->queries.erase(it);
    return query;
}

// ------------------------------------------------------------ host services

EngineInstance *Host_getThreadContext()
{
    return currentHost ? currentHost->instance : nullptr;
}

void Host_setInstance(HostContext *host, EngineInstance *instance)
{
    if (host)
        host->instance = instance;
}

void *AlienMemory_malloc(size_t *size)
{
    size_t want = currentHost && currentHost->heapBytes ? currentHost->heapBytes
                                                        : size_t(HostGui_defaultHeap);
    want = std::max(want, size_t(HostGui_minimumHeap));
    want = std::max(want, *size);
    void *block = malloc(want);
    if (block) {
        *size = want;
        blocksHeld++;
    }
    return block;
}

void Host_releaseBlock(void *block)
{
    if (!block)
        return;
    blocksHeld--;
    free(block);
}

int64_t HostGui_blocksHeld()
{
    return blocksHeld;
}

int64_t AlienTimer_getMs(HostContext *host)
{
    GuiHostData *data = HostGui_data(host);
    if (!data)
        return 0;
    int64_t now = monotonicMs();
    if (!data->clockStarted) {
        data->clockStarted = 1;
        data->clockBase = now;
    }
    return now - data->clockBase;
}

void HostDebug_print(const char *) {}

void Host_getLocalTime(HostContext *, HostLocalTime *out)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    time_t now = ts.tv_sec;
    tm local;
    if (!localtime_r(&now, &local)) {
        *out = HostLocalTime{1970, 1, 1, 0, 0, 0, 4, 0};
        return;
    }
    *out = HostLocalTime{
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
        local.tm_min,         local.tm_sec,     local.tm_wday, int32_t(ts.tv_nsec / 1000000)};
}

int Host_getcwd(HostContext *host, const char **dir)
{
    *dir = nullptr;
    GuiHostData *data = HostGui_data(host);
    if (!data)
        return 1;
    char *text = getcwd(nullptr, 0);
    if (!text)
        return 1;
    free(data->cwd);
    data->cwd = text;
    *dir = text;
    return 0;
}

void Host_postCloseDown(HostContext *host)
{
    if (QObject *bridge = bridgeOf(host))
        QCoreApplication::postEvent(bridge, new QEvent(QEvent::Type(EvCloseDown)));
}

void HostTimer_start(HostContext *host, int32_t *timerId, int32_t ms)
{
    if (timerId)
        *timerId = 0;
    HostEvent_postValue(host, EvTimerStart, ms > 0 ? ms : 0);
}

int HostTimer_stop(HostContext *host, int32_t *)
{
    HostEvent_post(host, EvTimerStop, nullptr);
    return 1;
}

void Host_showErrorAlert(HostContext *host, int32_t code)
{
    switch (code) {
    case 0x10000:
    case 0x10002:
    case 0x10004: loadError(host, HostGui_data(host), "RES_ALERT_DOCTRANSLATIONFAILED"); break;
    case 0x10003: error(host, "RES_ALERT_INTERNALERROR"); break;
    case Engine_errorOutOfMemory:
        if (GuiHostData *data = HostGui_data(host)) {
            data->editFailurePending = 0;
            // A document too large for the memory says which.
            if (!data->loadFailure.isEmpty() && !data->alertPending) {
                data->alertPending = 1;
                HostEvent_postAlert(host, HostGui_text("Core", "RES_ALERT_OUTOFMEMORY") +
                                              QLatin1Char('\n') + data->loadFailure);
                data->loadFailure.clear();
                break;
            }
        }
        postAlertOnce(host, "RES_ALERT_OUTOFMEMORY");
        break;
    case 0x10008: break;
    default: error(host, "RES_ALERT_UNKNOWNERROR"); break;
    }
}

void Host_engineRequest(HostContext *host, int32_t code, void *record)
{
    GuiHostData *data = HostGui_data(host);
    if (!data)
        return;
    switch (code) {
    case 0x10000:
    case 0x10019: postAlertOnce(host, "RES_ALERT_IMAGESUBSAMPLED"); break;
    case Fv_requestResized:
        if (auto *report = static_cast<const FvResizeReport *>(record); report && report->success)
            HostEvent_postValue(host, EvResized, report->height);
        break;
    case Fv_requestZoom:
        if (auto *report = static_cast<const FvZoomReport *>(record);
            report && report->zoom != data->lastZoom) {
            data->lastZoom = report->zoom;
            HostEvent_postValue(host, EvZoom, report->zoom);
        }
        break;
    case Engine_requestReady: // the application is ready
    case 0x10007:             // the identity screen ended
        HostEvent_post(host, EvReady, nullptr);
        break;
    case 0x10008: HostEvent_post(host, EvCloseDown, nullptr); break;
    case Engine_requestFailed: Host_postCloseDown(host); break;
    case Fv_requestScroll:
        if (auto *report = static_cast<const FvScrollReport *>(record))
            HostEvent_post(host, EvScroll, new FvScrollReport(*report), disposeScroll);
        break;
    case Fv_requestLoadFailed:
        if (auto *report = static_cast<const FvLoadFailedReport *>(record))
            data->loadFailure =
                HostGui_loadFailureText(report->kind, report->code,
                                        report->path ? QString::fromUtf8(report->path) : QString());
        break;
    case Fv_requestDocInfo:
        data->documentEditable = record && static_cast<const FvDocInfo *>(record)->mime != nullptr;
        break;
    case App_requestNotify:
        if (record)
            editNotification(host, data, static_cast<const EditNotice *>(record)->code);
        break;
    case App_requestEditMode: {
        if (!record)
            break;
        auto *report = static_cast<const EditModeReport *>(record);
        HostEvent_postValue(host, EvDocLoaded, data->documentEditable);
        data->editSuppression = report->defaults[1] == 0;
        if (EditModeReport *copy = copyEditingRecord(report))
            HostEvent_post(host, EvEditingMode, copy, disposeEditingRecord);
        break;
    }
    case 0x10024: HostEvent_post(host, EvWorkStarted, nullptr); break;
    case App_requestSearch:
        searchNotification(host, static_cast<const SearchReport *>(record));
        break;
    case Fv_requestViewMode:
        if (auto *report = static_cast<const FvViewModeReport *>(record)) {
            host->toggleValue = report->mode;
            host->togglePending = 0;
            HostEvent_postValue(host, EvReflow, report->result == 1);
        }
        break;
    case App_requestContents: editRequest(host, data, static_cast<const EditData *>(record)); break;
    case App_requestListOpened:
        data->listing = static_cast<ZipListRequest *>(record);
        if (data->listing)
            HostGui_engineCalls().listNext(host->instance, data->listing, listBatch);
        break;
    case App_requestListEntries:
        listEntries(host, data, static_cast<ZipEntryList *>(record));
        break;
    case App_requestListEnd:
        if (record)
            HostGui_engineCalls().listFree(static_cast<ZipEntryList *>(record));
        endListing(host, data);
        break;
    case App_requestListFailed:
        // The listing ends: the GUI stops waiting, and an open request is
        // closed.
        endListing(host, data);
        break;
    default: break;
    }
}

void AlienScreen_getGeometry(HostContext *host, int32_t out[11])
{
    GuiHostData *data = HostGui_data(host);
    int32_t width = data ? data->width : 0;
    int32_t height = data ? data->height : 0;
    int32_t full = data ? data->fullHeight : 0;
    // The display: as large as the window may become, so that a resized
    // window's content fits the engine's screen memory.
    int32_t displayW = data ? std::max(width, data->maxWidth) : 0;
    int32_t displayH = data ? std::max(full, data->maxHeight) : 0;
    const int32_t values[11] = {0, 0, 0, width, height, displayW, displayH, 0, 0, 0x10005, 0x10000};
    memcpy(out, values, sizeof(values));
}

void Host_screenUpdate(HostContext *host, const uint16_t *pixels, int32_t, int32_t width,
                       int32_t height, int32_t lineStep, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t, int32_t)
{
    GuiHostData *data = HostGui_data(host);
    if (!data || !pixels)
        return;
    // Only the part inside the image is ever read.
    int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    int32_t x1 = std::min(int64_t(x) + w, int64_t(width)),
            y1 = std::min(int64_t(y) + h, int64_t(height));
    if (x1 <= x0 || y1 <= y0)
        return;
    // Every rectangle presented before the flush shows: the pending area
    // grows to their bounding box.
    if (data->updateW > 0) {
        x0 = std::min(x0, data->updateX);
        y0 = std::min(y0, data->updateY);
        x1 = std::max(x1, data->updateX + data->updateW);
        y1 = std::max(y1, data->updateY + data->updateH);
    }
    data->updatePixels = pixels;
    data->updateRowBytes = lineStep;
    data->updateX = x0;
    data->updateY = y0;
    data->updateW = x1 - x0;
    data->updateH = y1 - y0;
}

void Host_reportPage(HostContext *host, int32_t page, int32_t count)
{
    uint64_t word = uint64_t(uint32_t(page)) | uint64_t(uint32_t(count)) << 32;
    HostEvent_postValue(host, EvPage, intptr_t(word));
}

void Host_onOverlayChange(HostContext *host, HostQuery *query)
{
    if (!query)
        return;
    GuiHostData *data = HostGui_data(host);
    int type = query->code == HostQuery_password ? EvPasswordQuery
               : query->code == HostQuery_confirmLoss || query->code == HostQuery_linkQuestion
                   ? EvQuestionQuery
                   : 0;
    // A query the GUI cannot show is refused at once, so that its asker
    // never waits for an answer that cannot come.
    if (!type || !data || !bridgeOf(host)) {
        query->status = HostQuery_refused;
        return;
    }
    intptr_t serial;
    {
        std::lock_guard<std::mutex> hold(data->queryLock);
        serial = data->nextQuery++;
        data->queries.emplace(serial, query);
    }
    HostEvent_postValue(host, type, serial);
}

int Host_cancelQuery(HostContext *host, HostQuery *query)
{
    GuiHostData *data = HostGui_data(host);
    if (!data || !query)
        return 0;
    std::lock_guard<std::mutex> hold(data->queryLock);
    int dropped = 0;
    for (auto it = data->queries.begin(); it != data->queries.end();) {
        if (it->second == query) {
            it = data->queries.erase(it);
            dropped = 1;
        } else {
            ++it;
        }
    }
    return dropped;
}

// ------------------------------------------------------------ configuration

int Host_configure(EngineContext *context)
{
    EngineInstance *instance = context ? context->instance : nullptr;
    HostContext *host = instance ? instance->host : nullptr;
    if (!host)
        return 0;
    HostEngineCalls &calls = HostGui_engineCalls();

    // 1. Built-in fonts, font packs and CMaps.
    calls.registerFonts(context);

    // 2. The language.
    calls.setLocale(instance, languageCode);

    // 3. Date names: RES_DAY_1 (Sunday) and on, translated in "DateTime".
    static const struct {
        const char *group;
        int count;
    } groups[5] = {{"DAY", 7}, {"DAYABBR", 7}, {"MONTH", 12}, {"MONTHABBR", 12}, {"AMPM", 2}};
    std::vector<QByteArray> names[5];
    std::vector<const char *> pointers[5];
    for (int g = 0; g < 5; g++) {
        for (int n = 1; n <= groups[g].count; n++) {
            QByteArray key =
                QStringLiteral("RES_%1_%2").arg(QLatin1String(groups[g].group)).arg(n).toLatin1();
            QString text = Host_translate(host, "DateTime", key.constData());
            names[g].push_back(text.isNull() ? key : text.toUtf8());
        }
        for (const QByteArray &name : names[g])
            pointers[g].push_back(name.constData());
    }
    calls.setDateNames(instance, nullptr, nullptr, nullptr, nullptr, pointers[0].data(),
                       pointers[1].data(), pointers[2].data(), pointers[3].data(),
                       pointers[4].data());

    // 4. Date formats, stored as string settings.
    static const char *const formats[4][2] = {
        {"RES_TIMEDATE_LONGDATEFORMAT", "Vexlan_excelLocaleDateLong"},
        {"RES_TIMEDATE_DATEFORMAT", "Vexlan_excelLocaleDateShort"},
        {"RES_TIMEDATE_DATETIMEFORMAT", "Vexlan_excelLocaleDateAndTime"},
        {"RES_TIMEDATE_TIMEFORMAT", "Vexlan_excelLocaleTime"},
    };
    for (const auto &format : formats) {
        QString text = Host_translate(host, "DateTime", format[0]);
        if (!text.isNull())
            calls.setConfigString(instance, format[1], text.toUtf8().constData());
    }

    // 5. Spreadsheet function names.
    static const char *const functionKeys[FuncNames_count] = {
        "RES_FUNC_NOW",     "RES_FUNC_FV",      "RES_FUNC_IRR",   "RES_FUNC_NPER",
        "RES_FUNC_NPV",     "RES_FUNC_PMT",     "RES_FUNC_PV",    "RES_FUNC_RATE",
        "RES_FUNC_AND",     "RES_FUNC_FALSE",   "RES_FUNC_IF",    "RES_FUNC_NOT",
        "RES_FUNC_OR",      "RES_FUNC_TRUE",    "RES_FUNC_ABS",   "RES_FUNC_INT",
        "RES_FUNC_LN",      "RES_FUNC_LOG",     "RES_FUNC_LOG10", "RES_FUNC_MOD",
        "RES_FUNC_POWER",   "RES_FUNC_PRODUCT", "RES_FUNC_ROUND", "RES_FUNC_SQRT",
        "RES_FUNC_SUM",     "RES_FUNC_SUMIF",   "RES_FUNC_TRUNC", "RES_FUNC_AVERAGE",
        "RES_FUNC_COUNTIF", "RES_FUNC_MAX",     "RES_FUNC_MIN",
    };
    std::vector<QByteArray> functions;
    std::vector<const char *> functionPointers;
    for (const char *key : functionKeys) {
        QString text = Host_translate(host, "FunctionNames", key);
        functions.push_back(text.isNull() ? QByteArray(key) : text.toUtf8());
    }
    for (const QByteArray &name : functions)
        functionPointers.push_back(name.constData());
    calls.setFunctionNames(instance, functionPointers.data());

    // 6. The editing support.
    calls.setupEditMode(instance);

    // 7. The host's integer settings.
    static const struct {
        const char *key;
        uint32_t value;
    } settings[] = {
        {"Vexlan_cursorEnable", 0},        {"RendererRedrawMode", 0x10002},
        {"FV_singlePageLoad", 0},          {"Vexlan_flowModeKeepZoom", 0},
        {"RendererCostLimit", 0x40000000}, {"Vexlan_rotatedScreens", 0x10005},
    };
    for (const auto &setting : settings)
        calls.setConfigInt(instance, setting.key, setting.value);
    return 0;
}
