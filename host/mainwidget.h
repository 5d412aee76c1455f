// The platform-neutral half of the main window: the bridge and its
// signals, the menus and their enable rules, key and pointer routing, the
// 16-pixel title strip, the host settings file, the recent files list and
// the archive folder listing. The phone window (host/ezxmainwidget.h)
// derives from it and supplies the dialogs, message boxes and soft keys.
#pragma once

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <memory>

#include "host/dirselector.h"
#include "host/hostfiles.h"
#include "host/qalien.h"

class DirectPainterBlitter;
class MainWidgetHelper;
class QEvent;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QPainter;
class QPopupMenu;
class QWidget;

// Menu ids; recent entry n has the id recentBase + n.
enum MenuId {
    Menu_file = 0,
    Menu_open = 1,
    Menu_save = 2,
    Menu_copy = 3,
    Menu_recent = 4,
    Menu_view = 5,
    Menu_fitHeight = 6,
    Menu_fitWidth = 7,
    Menu_nextPage = 8,
    Menu_prevPage = 9,
    Menu_reflow = 10,
    Menu_rotate = 11,
    Menu_document = 12,
    Menu_gotoPage = 13,
    Menu_gotoElement = 14,
    Menu_search = 15,
    Menu_searchAgain = 16,
    Menu_preferences = 17,
    Menu_help = 18,
    Menu_about = 19,
    Menu_recentBase = 20,
};

// Dialog kinds: the last dialog asked for.
enum DialogKind {
    Dialog_none = 0,
    Dialog_edit = 1,
    Dialog_prompt = 2,
    Dialog_preferences = 3,
    Dialog_directory = 4,
    Dialog_help = 5,
    Dialog_about = 6,
};

// What a prompt asks: its title, hint, initial text and the id of what
// asked it (1 password, 13 go to page, 14 go to element, 15 search).
struct Prompt {
    QString title;
    QString hint;
    QString text;
    int id = 0;
};

// The enable state of the main menu's entries, from the document's state.
struct MenuState {
    bool loaded = false;      // a document is loaded
    bool canSave = false;     // it has unsaved changes
    bool editable = false;    // editing-mode words 0 and 1 both set
    bool spreadsheet = false; // editing-mode word 3 set
    bool searchAgain = false;
    bool reflowAvailable = false;
    bool reflowOn = false;
    bool selection = false; // text is selected (copy)
    bool hasRecent = false;
    int currentPage = 0;
    int pageCount = 0;
};

class MainWidgetCommon {
  public:
    static constexpr int titleHeight = 16;

    explicit MainWidgetCommon(QWidget *window);
    virtual ~MainWidgetCommon();
    MainWidgetCommon(const MainWidgetCommon &) = delete;
    MainWidgetCommon &operator=(const MainWidgetCommon &) = delete;

    // Deletes the bridge (which stops the engine).
    virtual void shutdown();
    virtual void keyPress(QKeyEvent *event);
    virtual void keyRelease(QKeyEvent *event);
    virtual void mousePress(QMouseEvent *event);
    virtual void mouseRelease(QMouseEvent *event);
    virtual void mouseMove(QMouseEvent *event);
    virtual void mouseDoubleClick(QMouseEvent *event);
    // The mouse wheel: Ctrl with it zooms a step a notch; without, it
    // scrolls (past a page's end to the adjacent page).
    virtual void wheel(QWheelEvent *event);
    // A desktop command of a key (host/desktopkeys.h, Desktop_find and on).
    void desktopCommand(int command);
    // Copies the selected text to the clipboard; false when there is none.
    virtual bool copySelection();
    // Creates the bridge with the heap size of the translations, connects
    // its signals, starts the engine with the start document and reads the
    // settings. False when the engine could not start.
    virtual bool init(const char *startDocument);

    virtual void openDialog() = 0;
    virtual void saveDialog() = 0;
    virtual void alertBox(QString *text) = 0;
    virtual void errorBox(QString *text) = 0;
    virtual bool questionBox(QString *text) = 0;
    virtual void promptDialog(Prompt *prompt) = 0;
    virtual void editDialog(QAlien::EditData *data) = 0;
    virtual void preferencesDialog(HostSettings *settings) = 0;
    virtual void aboutDialog() = 0;
    virtual void helpDialog() = 0;

    // Handles pointer events, paint events and the start event 1000; true
    // when the event was handled here.
    virtual bool filterEvent(QEvent *event);
    virtual void docLoaded(bool loaded);
    virtual void drawExtras() = 0;
    virtual void contentResized() {}
    virtual void busy(bool on) = 0;
    virtual void editingMode(QAlien::EditingMode mode) = 0;
    virtual void closedown() = 0;
    virtual void directoryDialog(int id) = 0;

    // Signal handlers, called through the helper.
    void menuSelected(int id);
    void menuAboutToShow();
    void renderUpdate(const short *pixels, int x, int y, int w, int h);
    void pageInfo(QString *text);
    void locInfo(QString *text);
    void resized(int height);
    void saved(bool ok);
    void askQuestion(QAlien::Question *question);
    void getPassword(const QString &prompt);
    void openDocument(const QString &path);
    void zipEntry(const QString &path, DirEntry *entry);
    void refreshDir(DirSelector *selector);

    // A prompt closed (accepted or not); the record is freed.
    void promptClosed(Prompt *prompt, bool accepted);
    // The directory dialog closed.
    void directoryClosed(bool accepted);
    // The preferences were accepted: applied and written.
    void settingsChanged(const HostSettings &settings);

    // The enable rules of the main menu's entries.
    static bool menuEnabled(int id, const MenuState &state);
    // Fills the menus from the enable rules (the recent menu refilled).
    void updateMenus(const MenuState &state);
    MenuState menuState() const;

    // Paints the title strip: the file name, the location and the page.
    void paintTitle(QPainter &painter);
    // The strip's right half: the location, then " | " and the page text
    // when there is more than one page.
    QString titleRightText() const;

    QAlien *bridge() const
    {
        return m_bridge;
    }
    DirectPainterBlitter *blitter() const
    {
        return m_blitter.get();
    }
    QPopupMenu *mainMenu() const
    {
        return m_mainMenu;
    }
    QPopupMenu *viewMenu() const
    {
        return m_viewMenu;
    }
    QPopupMenu *recentMenu() const
    {
        return m_recentMenu;
    }
    RecentFiles &recentFiles()
    {
        return m_recent;
    }
    const HostSettings &settings() const
    {
        return m_settings;
    }
    QString settingsPath() const
    {
        return m_settingsPath;
    }
    QString pageText() const
    {
        return m_pageText;
    }
    QString locationText() const
    {
        return m_locationText;
    }
    QString titleText() const
    {
        return m_title;
    }
    bool isFullScreen() const
    {
        return m_fullScreen;
    }
    bool isDocumentLoaded() const
    {
        return m_documentLoaded;
    }
    int dialogKind() const
    {
        return m_dialogKind;
    }
    DirSelector &dirSelector()
    {
        return m_selector;
    }
    int contentWidth() const
    {
        return m_width;
    }
    int contentHeight() const
    {
        return m_height;
    }
    int fullScreenHeight() const
    {
        return m_fullHeight;
    }

    // The engine heap in bytes for a translated size in KiB: 64 MiB when
    // the text is missing, not a number or not positive.
    static int heapBytesFor(const QString &kilobytes);

  protected:
    void buildMenus();
    void prompt(const char *kind, const QString &text, int id);
    void repaintTitle();
    // The path of a folder entry of the selector (".." goes up).
    QString selectedPath() const;

    QWidget *m_window;
    std::unique_ptr<DirectPainterBlitter> m_blitter;
    QAlien *m_bridge = nullptr;
    int m_width = 0, m_height = 0, m_fullHeight = 0;
    QString m_title;
    QString m_saveName;
    QString m_startDocument;
    QString m_pageText = QStringLiteral("-/-");
    QString m_locationText;
    int m_dialogKind = Dialog_none;
    bool m_searchAgain = false;
    int m_titleFontSize = 12;
    QPixmap m_normalIcon, m_fullIcon;
    QColor m_titleColour, m_titleBackground;
    bool m_ignoreRelease = false;
    int m_wheelX = 0, m_wheelY = 0; // the wheel's turn not yet acted on
    int m_pressX = 0, m_pressY = 0;
    bool m_fullScreen = false;
    HostSettings m_settings;
    RecentFiles m_recent;
    bool m_reflowOn = false;
    bool m_documentLoaded = false;
    QString m_settingsPath;
    int m_currentPage = 0, m_pageCount = 0;
    QPopupMenu *m_mainMenu = nullptr;
    QPopupMenu *m_fileMenu = nullptr;
    QPopupMenu *m_recentMenu = nullptr;
    QPopupMenu *m_viewMenu = nullptr;
    QPopupMenu *m_documentMenu = nullptr;
    MainWidgetHelper *m_helper = nullptr;
    DirSelector m_selector;
};

// The QObject through which the bridge's signals reach the main window.
class MainWidgetHelper : public QObject {
    Q_OBJECT
  public:
    explicit MainWidgetHelper(MainWidgetCommon *owner) : m_owner(owner) {}

  public Q_SLOTS:
    void menuSelectedSlot(int id)
    {
        m_owner->menuSelected(id);
    }
    void renderUpdate(const short *pixels, int x, int y, int w, int h)
    {
        m_owner->renderUpdate(pixels, x, y, w, h);
    }
    void menuAboutToShowSlot()
    {
        m_owner->menuAboutToShow();
    }
    void editContents(QAlien::EditData *data);
    void showAlert(QString *text)
    {
        m_owner->alertBox(text);
    }
    void showError(QString *text)
    {
        m_owner->errorBox(text);
    }
    void saved(bool ok)
    {
        m_owner->saved(ok);
    }
    void askQuestion(QAlien::Question *question)
    {
        m_owner->askQuestion(question);
    }
    void busy(bool on)
    {
        m_owner->busy(on);
    }
    void pageInfo(QString *text)
    {
        m_owner->pageInfo(text);
    }
    void locInfo(QString *text)
    {
        m_owner->locInfo(text);
    }
    void editingMode(QAlien::EditingMode mode)
    {
        m_owner->editingMode(mode);
    }
    void closedown()
    {
        m_owner->closedown();
    }
    void resizeCompleted(int height)
    {
        m_owner->resized(height);
    }
    void docLoaded(bool loaded)
    {
        m_owner->docLoaded(loaded);
    }
    void getPassword(QString prompt)
    {
        m_owner->getPassword(prompt);
    }
    void openDoc(const QString &path)
    {
        m_owner->openDocument(path);
    }
    void zipEntry(const QString &path, DirEntry *entry)
    {
        m_owner->zipEntry(path, entry);
    }
    void refreshDir(DirSelector *selector)
    {
        m_owner->refreshDir(selector);
    }

  Q_SIGNALS:
    void refreshDirDone(DirSelector *selector);

  private:
    MainWidgetCommon *m_owner;
};
