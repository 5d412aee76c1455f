// The bridge object between the GUI thread and the document engine.
//
// QAlien owns the host context through which the engine's host services
// reach the GUI, starts the engine, gives it its time slices from a timer,
// forwards the user's commands as engine calls, and turns the custom events
// that the host services post (types 1001 to 1025) into state changes,
// engine calls and signals for the main window. There is one at a time.
//
// Engine memory never reaches the GUI after the engine stopped: a pending
// screen update is shown before the stop or dropped.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>

#include "host/pointer.h"
#include "platform/api/editing.h"

class QKeyEvent;
class QTimer;
struct EngineInstance;
struct HostContext;
struct GuiHostData;

namespace Gui {

// The record that the contents-edit dialog works on. The bridge makes it
// from the engine's edit request and frees it in editDone.
struct EditData {
    QString text;
    QString numberFormat;       // a cell's number format (isCell only)
    char **fontNames = nullptr; // UTF-8 names, the bridge's
    int fontCount = 0;
    int fontIndex = 0;
    int extra1 = 0; // carried from the engine's request
    int extra2 = 0;
    uint32_t size = 0;           // points, 16.16
    uint32_t colour = 0;         // 0xRRGGBBAA when colourIsRgb, else a palette index
    int highlight = 0;           // palette index; -1 none; -2 not offered
    uint32_t *palette = nullptr; // 0xRRGGBBAA, the bridge's
    int paletteCount = 0;
    int hAlign = 1;    // 0 left, 1 centre, 2 right
    int vAlign = 1;    // 0 top, 1 centre, 2 bottom
    bool flag = false; // carried from the engine's request
    bool editable = true;
    bool bold = false, italic = false, strike = false, underline = false, doubleUnderline = false;
    QString title;   // appended to the dialog's caption
    int width = -1;  // column width, 16.16; -1 none
    int height = -1; // row height, 16.16; -1 none
    int action = 0;  // 0 none; 1 apply; 2, 3 insert a row, a column; 4, 5 delete one
    bool isCell = false;
    bool colourIsRgb = false;
    bool accepted = false; // the dialog's result flag
    int reserved = 0;
};

} // namespace Gui

// One entry of an archive listing.
struct DirEntry {
    QString name;
    bool isDirectory = false;
};

class QAlien : public QObject {
    Q_OBJECT
  public:
    using EditData = Gui::EditData;

    // A question for the user: the receiver of askQuestion writes the
    // answer (non-zero: yes) before the signal returns.
    struct Question {
        QString text;
        int answer = 0;
    };

    // The pointer machine's states, reported through editingMode.
    enum EditingMode {
        ModeIdle = 0,
        ModePanning = 1,
        ModeZooming = 2,
        ModeSwiping = 3,
        ModeSelecting = 4,
        ModePressed = 5,
    };
    Q_ENUM(EditingMode)

    // Open states.
    enum { OpenIdle = 0, OpenStopping = 1, OpenInProgress = 2 };

    QAlien(int heapBytes, int width, int height, int fullHeight);
    ~QAlien() override;

    // Starts the engine, with a document to open at once when startDocument
    // is not empty. False when it could not start (nothing is left then).
    bool init(const QString &startDocument);

    // Commands; each forwards to one engine call.
    bool openDocument(const QString &name);
    bool saveDocument(const QString &name);
    bool stop();
    // Stops the engine even when its stop hooks refuse (edits the user
    // chose not to keep); the edits are lost.
    void stopDiscarding();
    bool canSave() const;
    void setBusy(bool on);
    void pageStep(int direction);
    void fitWidth();
    void fitHeight();
    void rotate();
    void toggleFullScreen();
    // The window's content has a new size (width, the height above the soft
    // keys and the full-screen height): the engine's screen follows it,
    // up to the largest size (setMaximumSize).
    void setContentSize(int width, int height, int fullHeight);
    // The largest content size, before init: the engine's screen memory.
    void setMaximumSize(int width, int height);
    int maximumWidth() const
    {
        return m_maxWidth;
    }
    int maximumHeight() const
    {
        return m_maxHeight;
    }
    // The mouse wheel: a pan of the content by (dx, dy) pixels, which at a
    // page's end goes on to the adjacent page.
    void wheel(int dx, int dy);
    // One zoom step in or out (a tap of the zoom key).
    void zoomStep(bool in);
    void passwordEntered(const QString &text);
    void gotoPage(int number);
    void gotoElement(const QString &text);
    void startSearch(const QString &text);
    void searchAgain();
    void cancelSearch();
    void applySettings(bool singlePage, bool autoDetect, int encoding);
    void setReflow(bool on);
    // Puts the selected text on the system clipboard: the engine reads the
    // selection out as for the contents editor, and the text goes to the
    // clipboard instead (the selection is cleared then). False when there
    // is no selection.
    bool copySelection();
    bool hasSelection() const;
    // The desktop's mouse selection (PointerMachine::setDragSelects): a
    // drag selects text, and the selection stays for copying rather than
    // opening the contents editor.
    void setDesktopSelection(bool on);

    // State for the main window.
    EngineInstance *engine() const
    {
        return m_engine;
    }
    HostContext *hostContext() const
    {
        return m_host;
    }
    bool keysEnabled() const
    {
        return m_keysEnabled;
    }
    bool isBusy() const
    {
        return m_busy;
    }
    bool isFullScreen() const
    {
        return m_fullScreen;
    }
    // True for a web page's name: the engine lays a web page out as one
    // continuous page, which the window shows fitted to its width from the
    // top, as a desktop viewer shows a continuous document, rather than
    // whole (a long page would shrink to a thin strip).
    static bool isContinuousDocument(const QString &name);
    // A continuous document shows as screenfuls: the number of steps of
    // the visible height its height takes (at least 1), and the one the
    // view stands at, from how much of it lies above the view (the last
    // once its end shows; a step partly scrolled counts from its half).
    static void screenfulPosition(int top, int height, int visible, int *current, int *count);
    // The view's place on a continuous document's page when one was
    // reported (the page is then shown by screenfuls).
    bool screenfulsKnown() const
    {
        return m_continuous && m_scrollVisible > 0;
    }
    // The engine's key that fits the page to the window's width.
    static constexpr int32_t fitWidthKey = 0x10012;
    bool reflowAvailable() const
    {
        return m_reflowAvailable;
    }
    bool searchWrapped() const
    {
        return m_searchWrapped;
    }
    int openState() const
    {
        return m_openState;
    }
    int currentPage() const
    {
        return m_currentPage;
    }
    int pageCount() const
    {
        return m_pageCount;
    }
    int rotationIndex() const
    {
        return m_rotation;
    }
    int documentKind() const
    {
        return m_documentKind;
    }
    QString documentName() const
    {
        return m_documentName;
    }
    // The editing-mode record last reported (zero before the first).
    const EditModeReport &editingRecord() const
    {
        return m_editing;
    }
    // Row bytes of the pixels of the last screen update shown.
    int updateRowBytes() const
    {
        return m_updateRowBytes;
    }

    // The engine key code of a Qt key with its modifiers: the desktop's
    // bindings first, then the phone's table; 0 for a key the engine does
    // not take (or a desktop command), reflowToggleKey for the reflow
    // toggle.
    enum { reflowToggleKey = 1 };
    // The engine's screen-mode key, which the bridge turns into its own
    // full-screen switch (toggleFullScreen).
    enum { screenModeKey = 0x10010 };
    static int32_t engineKeyCode(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A press or release of an engine key code (reflowToggleKey acts on
    // its release).
    void sendEngineKey(int32_t code, bool pressed);
    // The pointer machine (its clock can be replaced).
    PointerMachine &pointer()
    {
        return m_pointer;
    }

  public Q_SLOTS:
    void mouseEvent(int x, int y, int kind);
    void clickExpired();
    void processKeyEvent(QKeyEvent *event, bool pressed);
    void editDone(EditData *data);
    void timerExpired();

  Q_SIGNALS:
    void screenUpdateAvailable(const short *pixels, int x, int y, int width, int height);
    void busy(bool on);
    void closedown();
    void editContents(EditData *data);
    void showAlert(QString *text);
    void showError(QString *text);
    void saved(bool ok);
    void askQuestion(QAlien::Question *question);
    void editingMode(QAlien::EditingMode mode);
    void pageInfo(QString *text);
    void locInfo(QString *text);
    void docLoaded(bool editable);
    void resizeCompleted(int height);
    void getPassword(QString prompt);
    void zipEntry(const QString &path, DirEntry *entry);
    // The selected text reached the clipboard.
    void copied(const QString &text);

  protected:
    bool event(QEvent *event) override;

  private:
    // Shows the pending screen update, if any, and clears it.
    void flushScreenUpdate();
    // Forgets a pending screen update without showing it.
    void dropScreenUpdate();
    // Builds a question, emits askQuestion and gives the answer.
    bool ask(const QString &text);
    void freeEditingArrays();
    void handleEditRequest(EditData *data);
    void handleConfirmQuery(intptr_t serial);
    void handlePasswordQuery(intptr_t serial);
    void handleSearchEnded();
    // A continuous document's screenfuls: asks the engine where the view
    // stands, one question at a time (an update meanwhile asks again).
    void askScroll();
    void applyScroll(int top, int height, int visible);
    // Page and count as the title strip shows them: pageInfo when they
    // changed.
    void showPagePosition(int current, int count);
    // Moves a continuous document's view by dy pixels of its height (down
    // for a positive dy).
    void scrollBy(int dy);
    void applyEditingRecord(EditModeReport *block);
    void stopEngine();
    void releaseHost();

    static void armClickTimer(void *owner, int32_t ms);
    static void stateChanged(void *owner, int32_t state);

    intptr_t m_pendingQuery = 0; // the serial of the password query waiting for its answer
    EngineInstance *m_engine = nullptr;
    QTimer *m_sliceTimer = nullptr;
    QTimer *m_clickTimer = nullptr;
    bool m_keysEnabled = false;
    bool m_busy = false;
    bool m_fullScreen = false;
    bool m_resetPending = false;
    bool m_copyPending = false; // the next contents record goes to the clipboard    // the
                                // editing-mode record is to be reset on arrival
    bool m_searchWrapped = false;
    bool m_reflowAvailable = false;
    int m_heapBytes;
    int m_currentPage = 1;
    int m_pageCount = 1;
    // The current document is continuous (a web page); where its view
    // stands (screen pixels); a report asked for, and an update since.
    bool m_continuous = false;
    bool m_scrollAsked = false;
    bool m_scrollStale = false;
    int m_scrollTop = 0, m_scrollHeight = 0, m_scrollVisible = 0;
    int m_rotation = 0;
    int m_width;
    int m_height;
    int m_fullHeight;
    int m_maxWidth = 0, m_maxHeight = 0;
    int m_documentKind = 0;
    int m_openState = OpenIdle;
    QString m_documentName;
    EditModeReport m_editing{};
    QString m_archivePath;
    int m_updateRowBytes = 0;
    HostContext *m_host = nullptr;
    PointerMachine m_pointer;
    // The pointer's active rectangle, outside which a drag selection
    // scrolls: the phone's keeps a margin from the edges, the desktop's is
    // the whole content.
    void applyPointerArea();
    // The keys held down (by scan code, or Qt key without one), with the
    // engine code their press sent.
    QHash<int, int32_t> m_heldKeys;
};
