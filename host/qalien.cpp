// The bridge object: start and stop of the engine, the user's commands,
// and the engine's custom events on the GUI thread.
#include "host/qalien.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "document/edit/editdata.h"
#include "host/guihost.h"
#include "host/toolkit/toolkit.h"
#include "app/app.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "platform/host/hostfile.h"
#include "platform/host/hostplatform.h"
#include "platform/host/hostthread.h"
#include "viewer/hostquery.h"
#include "viewer/reports.h"

// What the engine reports to the window, for the screenshot tests
// (QT_LOGGING_RULES="vexlan.host.debug=true").
Q_LOGGING_CATEGORY(hostLog, "vexlan.host", QtWarningMsg)

namespace {

// The usable height and active rectangle of the pointer machine keep this
// margin from the content's edges.
constexpr int pointerMargin = 32;

HostEngineCalls &calls()
{
    return HostGui_engineCalls();
}

char *copyUtf8(const QString &text)
{
    return strdup(text.toUtf8().constData());
}

// Engine alignment codes and the dialog's: 0x10001 left (0), 0x10000
// centre (1), 0x10002 right (2).
uint32_t engineAlignment(int align)
{
    return align == 0 ? 0x10001 : align == 2 ? 0x10002 : 0x10000;
}

} // namespace

QAlien::QAlien(int heapBytes, int width, int height, int fullHeight)
    : QObject(nullptr), m_heapBytes(heapBytes), m_width(width), m_height(height),
      m_fullHeight(fullHeight)
{
}

QAlien::~QAlien()
{
    if (!m_host)
        return;
    m_pointer.setEngine(nullptr);
    m_pointer.setPlatform(nullptr);
    if (m_host->platform) {
        HostPlatform_destroy(m_host->platform);
        m_host->platform = nullptr;
    }
    m_openState = OpenStopping;
    // The pending pixels live in the engine's heap: show them before the
    // stop, and drop whatever the stop itself presents.
    flushScreenUpdate();
    stopEngine();
    dropScreenUpdate();
    freeEditingArrays();
    releaseHost();
}

void QAlien::stopEngine()
{
    if (!Engine_isLive(m_engine))
        return;
    // An engine whose stop hooks refuse goes down all the same: the host
    // context it runs on is about to go.
    if (!Engine_stop(m_engine) && Engine_isLive(m_engine))
        Engine_abortToHost(m_engine);
    m_engine = nullptr;
}

void QAlien::releaseHost()
{
    if (!m_host)
        return;
    HostThread_destroy(m_host, m_host->mainThread);
    if (m_host->platform)
        HostPlatform_destroy(m_host->platform);
    GuiHostData *data = HostGui_data(m_host);
    if (data)
        free(data->cwd);
    delete data;
    free(m_host->ownerCell);
    if (HostGui_current() == m_host)
        HostGui_setCurrent(nullptr);
    free(m_host);
    m_host = nullptr;
    m_engine = nullptr;
}

bool QAlien::init(const QString &startDocument)
{
    // One bridge at a time: the host services find it through the process.
    if (m_host || HostGui_current())
        return false;

    // 1. The host context and the owner cell.
    m_host = static_cast<HostContext *>(calloc(1, sizeof(HostContext)));
    void **cell = static_cast<void **>(malloc(sizeof(void *)));
    GuiHostData *data = m_host && cell ? new GuiHostData : nullptr;
    if (!data) {
        free(cell);
        free(m_host);
        m_host = nullptr;
        return false;
    }
    *cell = this;
    m_host->ownerCell = cell;
    m_host->hostPrivate = data;
    m_host->heapBytes = m_heapBytes > 0 ? size_t(m_heapBytes) : 0;
    data->width = m_width;
    data->height = m_height;
    data->fullHeight = m_fullHeight;
    data->maxWidth = std::max(m_width, m_maxWidth);
    data->maxHeight = std::max(m_fullHeight, m_maxHeight);
    HostGui_setCurrent(m_host);

    // 2. The GUI thread is the engine's main thread.
    if (!HostThread_create(m_host, nullptr, nullptr, 0)) {
        releaseHost();
        return false;
    }

    // 3. The thread operations and the application entry.
    TaskInstallerFn installer = AlienThread_getInstaller();
    m_host->startWord = 0;
    m_host->appEntry = App_getEntry;

    // 4. The slice and click timers.
    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setSingleShot(true);
    connect(m_sliceTimer, SIGNAL(timeout()), this, SLOT(timerExpired()));
    m_clickTimer = new QTimer(this);
    m_clickTimer->setSingleShot(true);
    connect(m_clickTimer, SIGNAL(timeout()), this, SLOT(clickExpired()));

    // 5. The start options: the start document, an int and a byte (0).
    intptr_t options[4] = {0, 0, 0, 0};
    m_host->togglePending = 0;
    char *start = nullptr;
    if (!startDocument.isEmpty()) {
        m_documentName = startDocument;
        start = copyUtf8(startDocument);
        options[0] = reinterpret_cast<intptr_t>(start);
        setBusy(true);
    }

    // 6. Start the engine.
    dropScreenUpdate();
    int started = Engine_start(m_host, options, m_host->appEntry(), installer, 0);
    // 7. The engine keeps its own copy of the document path.
    free(start);
    if (!started) {
        delete m_sliceTimer;
        delete m_clickTimer;
        m_sliceTimer = m_clickTimer = nullptr;
        releaseHost();
        setBusy(false);
        return false;
    }
    m_engine = m_host->instance;

    // 8, 9. The pointer state with its hooks, height and active rectangle.
    m_host->platform = HostPlatform_create(m_host);
    HostPlatform_setCallback(m_host->platform, armClickTimer,
                             reinterpret_cast<void *>(&QAlien::stateChanged), this);
    Host_setScreenHeight(m_host->platform, m_height - pointerMargin);
    m_pointer.setEngine(m_engine);
    m_pointer.setPlatform(m_host->platform);
    applyPointerArea();

    // 10. Queue options and the time slice.
    Engine_setQueueOptions(m_engine, 0, 0);
    Engine_setTimeSlice(m_engine, 0, 100);

    // The desktop's ways with keys and scrolling: a key's release reaches
    // the view at once, so that a tap is one step and only a held key
    // repeats; and a scroll down past a page's end goes on to the next
    // page (up past its top, to the previous one).
    calls().setConfigInt(m_engine, "Vexlan_actionAllSoftKeyReleases", 1);
    calls().setConfigInt(m_engine, "FV_panToPageEnable", 1);

    // 11. Whatever the start presented.
    flushScreenUpdate();
    return true;
}

// ------------------------------------------------------------ commands

bool QAlien::openDocument(const QString &name)
{
    m_documentName = name;
    m_archivePath = name;
    m_openState = OpenInProgress;
    if (GuiHostData *data = HostGui_data(m_host))
        data->alertPending = 0;
    if (!m_engine)
        return false;
    int r = calls().openDocument(m_engine, name.toUtf8().constData(), 0, 0);
    flushScreenUpdate();
    return r != 0;
}

bool QAlien::saveDocument(const QString &name)
{
    m_documentName = name;
    if (!m_engine)
        return false;
    return calls().saveDocumentAs(m_engine, name.toUtf8().constData()) != 0;
}

bool QAlien::stop()
{
    m_openState = OpenStopping;
    if (!m_engine)
        return true;
    flushScreenUpdate();
    if (!Engine_stop(m_engine))
        return false;
    m_engine = nullptr;
    m_pointer.setEngine(nullptr);
    dropScreenUpdate();
    return true;
}

void QAlien::stopDiscarding()
{
    m_openState = OpenStopping;
    flushScreenUpdate();
    stopEngine();
    m_pointer.setEngine(nullptr);
    dropScreenUpdate();
}

bool QAlien::canSave() const
{
    return m_engine && calls().isModified(m_engine) != 0;
}

void QAlien::setBusy(bool on)
{
    if (on == m_busy)
        return;
    m_busy = on;
    Q_EMIT busy(on);
}

void QAlien::pageStep(int direction)
{
    if (!m_engine)
        return;
    if (screenfulsKnown() && m_pageCount > 1) {
        gotoPage(m_currentPage + (direction == 1 ? 1 : -1));
        return;
    }
    calls().postPageStep(m_engine, direction == 1 ? 0x10002 : 0x10003);
    flushScreenUpdate();
}

bool QAlien::isContinuousDocument(const QString &name)
{
    // The engine's web page kinds, by the name's extension.
    const QString base = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString ext = base.mid(dot + 1).toLower();
    for (const char *web : {"html", "htm", "shtml", "php", "mht", "mhtml", "eml"})
        if (ext == QLatin1String(web))
            return true;
    return false;
}

void QAlien::screenfulPosition(int top, int height, int visible, int *current, int *count)
{
    *current = *count = 1;
    if (visible <= 0 || height <= visible)
        return;
    const int64_t n = (int64_t(height) + visible - 1) / visible;
    *count = int(std::min<int64_t>(n, INT32_MAX));
    if (int64_t(top) + visible >= height) {
        *current = *count;
        return;
    }
    const int64_t step = (std::max<int64_t>(top, 0) + visible / 2) / visible + 1;
    *current = int(std::clamp<int64_t>(step, 1, n));
}

void QAlien::askScroll()
{
    if (!m_engine || !m_continuous || !calls().scrollReport)
        return;
    if (m_scrollAsked) {
        m_scrollStale = true;
        return;
    }
    m_scrollAsked = calls().scrollReport(m_engine) != 0;
    m_scrollStale = false;
}

void QAlien::applyScroll(int top, int height, int visible)
{
    m_scrollAsked = false;
    if (m_scrollStale)
        askScroll();
    if (!m_continuous || visible <= 0 || height <= 0)
        return;
    m_scrollTop = top;
    m_scrollHeight = height;
    m_scrollVisible = visible;
    // A document of several pages of its own keeps its own numbers.
    int current = 1, count = 1;
    screenfulPosition(top, height, visible, &current, &count);
    showPagePosition(current, count);
}

void QAlien::showPagePosition(int current, int count)
{
    if (current == m_currentPage && count == m_pageCount)
        return;
    m_currentPage = current;
    m_pageCount = count;
    Q_EMIT locInfo(nullptr);
    QString text = QStringLiteral("%1/%2").arg(m_currentPage).arg(m_pageCount);
    qCDebug(hostLog, "page %d/%d", m_currentPage, m_pageCount);
    Q_EMIT pageInfo(&text);
}

void QAlien::scrollBy(int dy)
{
    if (!m_engine || !dy)
        return;
    // A drag's step: the content moves up to show what is below.
    calls().pointerPan(m_engine, 0, -dy, 0x10004);
    calls().pointerPan(m_engine, 0, 0, 0x10005);
    flushScreenUpdate();
}

void QAlien::fitWidth()
{
    if (m_engine)
        calls().fit(m_engine, 0x10000);
}

void QAlien::fitHeight()
{
    if (m_engine)
        calls().fit(m_engine, 0x10001);
}

void QAlien::rotate()
{
    // A quarter turn at a time, the same way round: upright, a quarter,
    // upside down, three quarters, upright again.
    static const intptr_t values[4] = {0x10003, 0x10006, 0x10005, 0x10004};
    m_rotation = (m_rotation + 1) % 4;
    if (m_engine)
        calls().setRotation(m_engine, values[m_rotation]);
}

void QAlien::wheel(int dx, int dy)
{
    if (!m_engine || (!dx && !dy))
        return;
    // A pan gesture of one step: the content moves as a drag would move it.
    calls().pointerPan(m_engine, dx, dy, 0x10004);
    calls().pointerPan(m_engine, 0, 0, 0x10005);
    flushScreenUpdate();
}

void QAlien::zoomStep(bool in)
{
    if (!m_engine)
        return;
    const int32_t code = in ? 0x10007 : 0x10009;
    sendEngineKey(code, true);
    sendEngineKey(code, false);
    flushScreenUpdate();
}

void QAlien::toggleFullScreen()
{
    m_fullScreen = !m_fullScreen;
    int height = m_fullScreen ? m_fullHeight : m_height;
    if (m_engine)
        calls().setScreenSize(m_engine, m_width, height, 0, 0);
    if (m_host)
        Host_setScreenHeight(m_host->platform, height - pointerMargin);
}

void QAlien::setMaximumSize(int width, int height)
{
    m_maxWidth = width;
    m_maxHeight = height;
}

void QAlien::setContentSize(int width, int height, int fullHeight)
{
    // The engine's screen memory bounds the content.
    const int maxW = std::max(m_width, m_maxWidth), maxH = std::max(m_fullHeight, m_maxHeight);
    width = std::clamp(width, 64, std::max(64, maxW));
    fullHeight = std::clamp(fullHeight, 64, std::max(64, maxH));
    height = std::clamp(height, 32, fullHeight);
    if (width == m_width && height == m_height && fullHeight == m_fullHeight)
        return;
    m_width = width;
    m_height = height;
    m_fullHeight = fullHeight;
    if (GuiHostData *data = m_host ? HostGui_data(m_host) : nullptr) {
        data->width = width;
        data->height = height;
        data->fullHeight = fullHeight;
    }
    const int shown = m_fullScreen ? m_fullHeight : m_height;
    qCDebug(hostLog, "screen %dx%d", m_width, shown);
    if (m_engine)
        calls().setScreenSize(m_engine, m_width, shown, 0, 0);
    if (m_host && m_host->platform) {
        Host_setScreenHeight(m_host->platform, shown - pointerMargin);
        applyPointerArea();
    }
}

void QAlien::applyPointerArea()
{
    if (!m_host || !m_host->platform)
        return;
    // The phone's drag selection scrolls once the pointer comes within the
    // margin of an edge; the desktop's mouse only once it leaves the
    // content, so that text at the edges can be selected where it stands.
    const int shown = m_fullScreen ? m_fullHeight : m_height;
    if (m_pointer.dragSelects())
        HostPlatform_setScreenArea(m_host->platform, 0, 0, m_width - 1, shown - 1);
    else
        HostPlatform_setScreenArea(m_host->platform, pointerMargin, pointerMargin,
                                   m_width - pointerMargin, shown - pointerMargin);
}

void QAlien::passwordEntered(const QString &text)
{
    intptr_t serial = m_pendingQuery;
    m_pendingQuery = 0;
    HostQuery *query = serial ? HostGui_takeQuery(m_host, serial) : nullptr;
    if (!query)
        return; // none asked, or the engine withdrew it
    char *reply = nullptr;
    if (text.isNull()) {
        query->status = HostQuery_no;
    } else {
        reply = copyUtf8(text);
        if (auto *pair = static_cast<HostQueryText *>(query->data))
            pair->reply = reply;
        query->status = HostQuery_yes;
    }
    if (m_engine)
        calls().deliverReply(m_engine, query);
    free(reply);
    flushScreenUpdate();
}

void QAlien::gotoPage(int number)
{
    if (!m_engine)
        return;
    if (screenfulsKnown() && m_pageCount > 1) {
        // The screenful's top, or the document's end for the last.
        const int n = std::clamp(number, 1, m_pageCount);
        const int64_t target = std::min<int64_t>(int64_t(n - 1) * m_scrollVisible,
                                                 std::max(m_scrollHeight - m_scrollVisible, 0));
        scrollBy(int(target - m_scrollTop));
        return;
    }
    calls().gotoPage(m_engine, number);
}

void QAlien::gotoElement(const QString &text)
{
    if (m_documentKind != 2) {
        startSearch(text);
        return;
    }
    if (m_engine)
        calls().gotoElement(m_engine, text.toUtf8().constData(), 1);
}

void QAlien::startSearch(const QString &text)
{
    if (text.isEmpty() || !m_engine)
        return;
    m_searchWrapped = false;
    if (calls().searchStart(m_engine, text.toUtf8().constData(), 0, 0, 0) &&
        calls().searchNext(m_engine))
        setBusy(true);
}

void QAlien::searchAgain()
{
    if (m_engine && calls().searchNext(m_engine))
        setBusy(true);
}

void QAlien::cancelSearch()
{
    if (m_engine)
        calls().searchCancel(m_engine);
    setBusy(false);
}

void QAlien::applySettings(bool singlePage, bool autoDetect, int encoding)
{
    if (!m_engine)
        return;
    calls().setConfigInt(m_engine, "FV_singlePageLoad", singlePage ? 1 : 0);
    calls().setConfigInt(m_engine, "EnableAutoDetect", autoDetect ? 1 : 0);
    calls().setConfigInt(m_engine, "DefaultCharacterSet", uint32_t(encoding) + 0x10000);
}

void QAlien::setReflow(bool on)
{
    if (m_engine)
        calls().sendKey(m_engine, on ? 0x10001 : 0x10000);
}

// ------------------------------------------------------------ slots

void QAlien::timerExpired()
{
    if (!m_engine)
        return;
    Engine_timerExpired(m_engine, 0);
    flushScreenUpdate();
}

void QAlien::editDone(EditData *data)
{
    if (data && data->accepted && m_engine) {
        switch (data->action) {
        case 1: {
            ::EditData record{};
            record.text = copyUtf8(data->text);
            record.fontIndex = data->fontIndex;
            record.styleFlags = (data->bold ? 1u : 0u) | (data->italic ? 2u : 0u) |
                                (data->underline ? 4u : 0u) | (data->doubleUnderline ? 8u : 0u) |
                                (data->strike ? 16u : 0u);
            record.fontSize = data->size;
            record.colourIndex = data->colour;
            record.colourIndex2 = data->highlight;
            record.hAlign = engineAlignment(data->hAlign);
            record.vAlign = engineAlignment(data->vAlign);
            if (data->isCell)
                record.formatString = copyUtf8(data->numberFormat);
            if (data->width >= 0) {
                record.columnWidth = uint32_t(data->width);
                record.rowHeight = uint32_t(data->height);
                record.resizeMode = 0x10000;
            } else {
                record.resizeMode = 0x10003;
            }
            calls().postContents(m_engine, &record, 0);
            free(record.text);
            free(record.formatString);
            break;
        }
        case 2: calls().insertCells(m_engine, 0x10000); break;
        case 3: calls().insertCells(m_engine, 0x10002); break;
        case 4: calls().deleteCells(m_engine, 0x10001); break;
        case 5: calls().deleteCells(m_engine, 0x10002); break;
        default: break;
        }
    }
    // The font names and the palette are the bridge's: only the record goes.
    delete data;
    if (m_engine)
        calls().primaryAction(m_engine);
    flushScreenUpdate();
}

void QAlien::armClickTimer(void *owner, int32_t ms)
{
    auto *self = static_cast<QAlien *>(owner);
    if (!self || !self->m_clickTimer)
        return;
    self->m_clickTimer->stop();
    if (ms >= 1)
        self->m_clickTimer->start(ms);
}

void QAlien::stateChanged(void *owner, int32_t state)
{
    qCDebug(hostLog, "pointer %d", int(state));
    if (auto *self = static_cast<QAlien *>(owner))
        Q_EMIT self->editingMode(EditingMode(state));
}

// ------------------------------------------------------------ screen updates

void QAlien::flushScreenUpdate()
{
    GuiHostData *data = HostGui_data(m_host);
    if (!data || data->updateW <= 0)
        return;
    const short *pixels = reinterpret_cast<const short *>(data->updatePixels);
    int x = data->updateX, y = data->updateY, w = data->updateW, h = data->updateH;
    m_updateRowBytes = data->updateRowBytes;
    dropScreenUpdate();
    Q_EMIT screenUpdateAvailable(pixels, x, y, w, h);
    askScroll();
}

void QAlien::dropScreenUpdate()
{
    if (GuiHostData *data = HostGui_data(m_host)) {
        data->updatePixels = nullptr;
        data->updateX = data->updateY = data->updateW = data->updateH = 0;
    }
}

// ------------------------------------------------------------ custom events

bool QAlien::ask(const QString &text)
{
    Question question;
    question.text = text;
    question.answer = 0;
    Q_EMIT askQuestion(&question);
    return question.answer != 0;
}

void QAlien::freeEditingArrays()
{
    for (int i = 0; m_editing.fontNames && i < m_editing.fontCount; i++)
        free(m_editing.fontNames[i]);
    free(m_editing.fontNames);
    free(m_editing.palette);
    m_editing.fontNames = nullptr;
    m_editing.palette = nullptr;
    m_editing.fontCount = 0;
    m_editing.paletteCount = 0;
}

void QAlien::applyEditingRecord(EditModeReport *block)
{
    // The block and its two arrays are the host's copies: the arrays become
    // the bridge's, the block goes.
    freeEditingArrays();
    m_editing = *block;
    free(block);
    m_documentKind = m_editing.defaults[1] ? 2 : 1;
    if (m_resetPending) {
        m_editing.editable = 0;
        m_editing.savable = 0;
        HostPlatform_setKeyMode(m_host ? m_host->platform : nullptr, 7);
        return;
    }
    uint32_t mask = 7;
    if (m_editing.editable && m_editing.savable) {
        uint32_t word2 = m_editing.defaults[0];
        mask = (word2 & 0x20 ? 15 : 7) + ((word2 & 0xC0) == 0xC0 ? 16 : 0);
    }
    HostPlatform_setKeyMode(m_host ? m_host->platform : nullptr, mask);
}

bool QAlien::hasSelection() const
{
    return m_engine && calls().viewEditActive(m_engine);
}

void QAlien::setDesktopSelection(bool on)
{
    m_pointer.setDragSelects(on);
    applyPointerArea();
    if (GuiHostData *data = m_host ? HostGui_data(m_host) : nullptr)
        data->keepSelection = on ? 1 : 0;
}

bool QAlien::copySelection()
{
    if (!hasSelection()) {
        qCDebug(hostLog, "nothing selected to copy");
        return false;
    }
    m_copyPending = true;
    calls().secondaryAction(m_engine);
    return true;
}

void QAlien::handleEditRequest(EditData *data)
{
    if (m_copyPending) {
        // The selection's text, read out for copying: it goes to the
        // clipboard, and the edit ends as a cancelled one does.
        m_copyPending = false;
        const QString text = data->text;
        delete data;
        if (QClipboard *clipboard = QGuiApplication::clipboard())
            clipboard->setText(text, QClipboard::Clipboard);
        qCDebug(hostLog, "copied %d characters", int(text.size()));
        if (m_engine)
            calls().primaryAction(m_engine);
        Q_EMIT copied(text);
        return;
    }
    data->fontNames = m_editing.fontNames;
    data->fontCount = m_editing.fontCount;
    data->palette = m_editing.palette;
    data->paletteCount = m_editing.paletteCount;
    if (!data->title.isEmpty())
        Q_EMIT locInfo(&data->title);
    // The record goes to the dialog, which hands it back to editDone; with
    // nobody to edit it, it ends here.
    if (isSignalConnected(QMetaMethod::fromSignal(&QAlien::editContents)))
        Q_EMIT editContents(data);
    else
        delete data;
}

void QAlien::handleConfirmQuery(intptr_t serial)
{
    HostQuery *query = HostGui_peekQuery(m_host, serial);
    if (!query)
        return;
    setBusy(false);
    bool yes;
    if (query->code == HostQuery_linkQuestion) {
        auto *link = static_cast<HostQueryLink *>(query->data);
        QString text = HostGui_text("Core", "RES_CONFIRM_FOLLOWLINK");
        if (link && link->urlText)
            text += QLatin1Char('\n') + QString::fromUtf8(link->urlText);
        yes = ask(text);
        // The engine may have withdrawn the query while the question was open.
        query = HostGui_takeQuery(m_host, serial);
        if (!query)
            return;
        if (link)
            link->answer = yes ? HostQuery_yes : HostQuery_no;
        query->status = HostQuery_yes;
    } else {
        yes = ask(HostGui_text("Core", "RES_CONFIRM_CONTENTLOSS"));
        query = HostGui_takeQuery(m_host, serial);
        if (!query)
            return;
        query->status = yes ? HostQuery_yes : HostQuery_no;
    }
    if (m_engine)
        calls().deliverReply(m_engine, query);
    flushScreenUpdate();
}

void QAlien::handlePasswordQuery(intptr_t serial)
{
    HostQuery *query = HostGui_peekQuery(m_host, serial);
    if (!query)
        return;
    // A password still unanswered is answered "cancelled": no query is ever
    // left without its answer.
    if (m_pendingQuery)
        passwordEntered(QString());
    m_pendingQuery = serial;
    setBusy(false);
    auto *pair = static_cast<HostQueryText *>(query->data);
    Q_EMIT getPassword(pair && pair->prompt ? QString::fromUtf8(pair->prompt) : QString());
}

void QAlien::handleSearchEnded()
{
    setBusy(false);
    if (!m_searchWrapped) {
        cancelSearch();
        QString text = HostGui_text("Core", "RES_ALERT_SEARCHFAILED");
        Q_EMIT showAlert(&text);
        return;
    }
    if (ask(HostGui_text("Core", "RES_ALERT_SEARCHWRAPPED")))
        searchAgain();
    else
        cancelSearch();
}

bool QAlien::event(QEvent *e)
{
    int type = int(e->type());
    if (type < EvTimerStart || type > EvScroll)
        return QObject::event(e);
    auto *custom = dynamic_cast<QCustomEvent *>(e);
    intptr_t value = custom ? custom->value() : 0;
    switch (type) {
    case EvTimerStart:
        if (m_sliceTimer)
            m_sliceTimer->start(int(value));
        break;
    case EvTimerStop:
        if (m_sliceTimer)
            m_sliceTimer->stop();
        break;
    case EvEditContents:
        if (auto *data = static_cast<EditData *>(custom ? custom->takeData() : nullptr))
            handleEditRequest(data);
        break;
    case EvZoom:
        if (value >= 1 && m_host && m_host->platform)
            m_host->platform->scale = int32_t(value);
        qCDebug(hostLog, "zoom 0x%x", unsigned(value));
        break;
    case EvResized: Q_EMIT resizeCompleted(int(value)); break;
    case EvEditingMode:
        if (auto *block = static_cast<EditModeReport *>(custom ? custom->takeData() : nullptr))
            applyEditingRecord(block);
        break;
    case EvAlert:
    case EvError: {
        QString *text = static_cast<QString *>(custom ? custom->takeData() : nullptr);
        setBusy(false);
        qCDebug(hostLog, "%s %s", type == EvAlert ? "alert" : "error",
                text ? qPrintable(*text) : "");
        if (type == EvAlert)
            Q_EMIT showAlert(text);
        else
            Q_EMIT showError(text);
        delete text;
        break;
    }
    case EvWorkStarted:
        m_resetPending = false;
        setBusy(true);
        break;
    case EvDocLoaded:
        qCDebug(hostLog, "document loaded %d", int(value != 0));
        Q_EMIT docLoaded(value != 0);
        m_openState = OpenIdle;
        if (m_engine)
            calls().documentShown(m_engine);
        m_continuous = value && isContinuousDocument(m_documentName);
        m_scrollVisible = 0;
        if (m_continuous) {
            // The fit key, as I sends it: it comes after the first
            // display's own fit.
            qCDebug(hostLog, "continuous document: fitted to the width");
            calls().keyPress(m_engine, fitWidthKey, 0);
            calls().keyRelease(m_engine, fitWidthKey);
        }
        setBusy(false);
        break;
    case EvSaved: {
        setBusy(false);
        Q_EMIT saved(value != 0);
        QString text = HostGui_text("Core", value ? "RES_ALERT_DOCSAVEDSUCCESSFULLY"
                                                  : "RES_ALERT_DOCSAVEERROR");
        if (value)
            Q_EMIT showAlert(&text);
        else
            Q_EMIT showError(&text);
        break;
    }
    case EvConfirm:
        setBusy(false);
        if (ask(HostGui_text("Core", m_openState == OpenInProgress ? "RES_CONFIRM_OPENNEW"
                                                                   : "RES_CONFIRM_CONFIRMQUIT")) &&
            m_engine)
            calls().clearModified(m_engine);
        break;
    case EvPage: {
        // Page and count travel in one 64-bit word: page in the low half.
        uint64_t word = uint64_t(value);
        const int current = int(uint32_t(word));
        const int count = int(uint32_t(word >> 32));
        if (screenfulsKnown() && count <= 1) {
            // One continuous page: its screenfuls stand for pages.
            int step = 1, steps = 1;
            screenfulPosition(m_scrollTop, m_scrollHeight, m_scrollVisible, &step, &steps);
            m_currentPage = m_pageCount = -1;
            showPagePosition(step, steps);
            break;
        }
        m_currentPage = current;
        m_pageCount = count;
        Q_EMIT locInfo(nullptr);
        QString text = QStringLiteral("%1/%2").arg(m_currentPage).arg(m_pageCount);
        qCDebug(hostLog, "page %d/%d", m_currentPage, m_pageCount);
        Q_EMIT pageInfo(&text);
        break;
    }
    case EvCloseDown:
        m_openState = OpenStopping;
        Q_EMIT closedown();
        break;
    case EvBusy: setBusy(value != 0); break;
    case EvReady: m_keysEnabled = true; break;
    case EvQuestionQuery: handleConfirmQuery(value); break;
    case EvPasswordQuery: handlePasswordQuery(value); break;
    case EvReopen:
        if (m_openState == OpenInProgress)
            openDocument(m_documentName);
        else
            Q_EMIT closedown();
        break;
    case EvResetEditing:
        m_editing.editable = 0;
        m_editing.savable = 0;
        HostPlatform_setKeyMode(m_host ? m_host->platform : nullptr, 7);
        m_resetPending = true;
        break;
    case EvReflow:
        qCDebug(hostLog, "reflow %d", int(value != 0));
        m_reflowAvailable = value != 0;
        break;
    case EvZipEntry: {
        DirEntry *entry = static_cast<DirEntry *>(custom ? custom->takeData() : nullptr);
        Q_EMIT zipEntry(m_archivePath, entry);
        delete entry;
        break;
    }
    case EvLocation: {
        QString *text = static_cast<QString *>(custom ? custom->takeData() : nullptr);
        Q_EMIT locInfo(text);
        delete text;
        break;
    }
    case EvSearchWrapped:
        setBusy(false);
        m_searchWrapped = true;
        break;
    case EvSearchEnded: handleSearchEnded(); break;
    case EvScroll:
        if (auto *report = static_cast<FvScrollReport *>(custom ? custom->takeData() : nullptr)) {
            const FvScrollReport copy = *report;
            delete report;
            if (copy.height > 0)
                qCDebug(hostLog, "scroll %d of %d by %d", copy.top, copy.height, copy.visible);
            applyScroll(copy.top, copy.height, copy.visible);
        } else {
            m_scrollAsked = false;
        }
        break;
    default: break;
    }
    flushScreenUpdate();
    return true;
}
