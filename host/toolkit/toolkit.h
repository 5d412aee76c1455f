// The host's toolkit layer: the phone's application framework and window
// classes, rebuilt in small form over Qt 6 Widgets.
//
// The GUI program is written against a handful of framework classes (the
// application object, the portrait main window with its soft-key bar, skin
// icons, message boxes, file dialogs, popup menus, list boxes, widget
// stacks, custom events and a direct frame-buffer painter). This layer
// gives those classes, with the calls and behaviour the program relies on,
// and nothing more. Key codes are Qt 6's: the phone's Prior and Next are
// Key_PageUp and Key_PageDown, and its soft keys are F1 (left), F2 (right)
// and F5 (centre).
//
// The screen is a portrait area of 480 x 640 pixels unless the environment
// variable "VEXLAN_SCREEN_SIZE" says otherwise ("WxH"). Beneath the
// widgets lies a frame buffer of that size, 3 bytes a pixel (18-bit colour),
// which programs write through QDirectPainter and which the main windows
// show.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QRegion>
#include <QScrollArea>
#include <QStackedWidget>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <QWidget>

#include <cstdint>

class QFileDialog;

// ------------------------------------------------------------ custom events

// An event of a type of the program's own (Qt's user types: 1000 and up)
// with one pointer-sized payload: a pointer, or an integer carried as
// intptr_t. A payload that the receiver never takes is disposed of with the
// event when a disposer was given (an event still queued for an object
// that is destroyed, for instance).
class QCustomEvent : public QEvent {
  public:
    typedef void (*Disposer)(void *data);

    explicit QCustomEvent(int type, void *data = nullptr, Disposer dispose = nullptr);
    ~QCustomEvent() override;

    // An event whose payload is an integer.
    static QCustomEvent *withValue(int type, intptr_t value);

    void *data() const
    {
        return m_data;
    }
    intptr_t value() const
    {
        return reinterpret_cast<intptr_t>(m_data);
    }
    // Hands the payload to the caller: the event no longer disposes of it.
    void *takeData();

  private:
    void *m_data;
    Disposer m_dispose;
};

// ------------------------------------------------------------ application

namespace ZLanguage {
// The system's language code: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty, as it stands ("en_GB.UTF-8"); "en_GB" when
// none is.
QString getSystemLanguageCode();
} // namespace ZLanguage

class ZApplication : public QApplication {
    Q_OBJECT
  public:
    ZApplication(int &argc, char **argv);
    ~ZApplication() override;

    void setMainWidget(QWidget *widget)
    {
        m_mainWidget = widget;
    }
    QWidget *mainWidget() const
    {
        return m_mainWidget;
    }

    // The wait cursor over the whole application; calls do not nest.
    static void startShowWaitCursor(int kind, const QString &text);
    static void stopShowWaitCursor();
    static bool isShowingWaitCursor();

  Q_SIGNALS:
    // Another program asked this one to open a document.
    void signalOpenDoc(const QString &path);

  private:
    QWidget *m_mainWidget = nullptr;
};

// The screen regions of the phone's layout, in screen coordinates. The
// values are this layer's choice; they follow the screen size.
namespace ZGlobal {
QSize screenSize();
QRect getScreenR();    // the whole screen
QRect getGnbR();       // the status bar along the top (20 pixels)
QRect getCstR();       // the soft-key bar along the bottom (36 pixels)
QRect getCst3_1R();    // its left third: the menu key
QRect getCst3_2R();    // its centre third
QRect getCst3_3R();    // its right third: the exit or back key
QRect getDlgLargeR();  // a full dialog: between the status and soft-key bars
QRect getDlgTitleLR(); // a dialog's title line (24 pixels) at its top
// b in the coordinates of a's top-left corner.
QRect diffRect(const QRect &a, const QRect &b);
// Where a popup menu opened from the button shows: its top-left corner just
// above the button (inside the screen), in screen coordinates, into point.
void getPopupMenuTopLeft(const QWidget *button, const QMenu *menu, QPoint &point);
} // namespace ZGlobal

// ------------------------------------------------------------ frame buffer

// The frame buffer beneath the windows: 18-bit pixels of 3 bytes, each
// B | G << 6 | R << 12 stored little-endian with the top 6 bits of the third
// byte set; memory whose marker bits are not all set has not been written
// and lets the window beneath show through.
namespace ZFrameBuffer {
uint8_t *bits(); // width x height x 3 bytes
int width();     // the screen's size, or more once grown
int height();
int lineStep(); // width x 3
// The 8-bit RGB value (0xRRGGBB) a written 3-byte pixel shows as: each
// 6-bit channel widened by repeating its top bits. -1 for an unwritten one.
int64_t shownColour(const uint8_t *pixel);
// Clears the whole memory (nothing written).
void clear();
// Grows the memory to at least width x height pixels (what was written
// stays where it was); a direct painter grows it to cover its window.
void ensureSize(int width, int height);
} // namespace ZFrameBuffer

// A direct painter over the frame buffer for a widget: the rectangles of the
// widget's visible region (in screen coordinates, within the screen and
// outside other windows) that may be written, depth 18, orientation 0.
// When the painter goes, the region is shown anew.
class QDirectPainter {
  public:
    explicit QDirectPainter(const QWidget *owner);
    ~QDirectPainter();
    QDirectPainter(const QDirectPainter &) = delete;
    QDirectPainter &operator=(const QDirectPainter &) = delete;

    int transformOrientation() const
    {
        return 0;
    }
    int depth() const
    {
        return 18;
    }
    int lineStep() const
    {
        return ZFrameBuffer::lineStep();
    }
    uint8_t *frameBuffer() const
    {
        return ZFrameBuffer::bits();
    }
    int width() const
    {
        return ZFrameBuffer::width();
    }
    int height() const
    {
        return ZFrameBuffer::height();
    }
    // Restricts the region to a rectangle in the owner's coordinates.
    void setClipRect(const QRect &rect);
    int numRects() const;
    QRect rect(int index) const;

  private:
    const QWidget *m_owner;
    QRegion m_region;
};

// ------------------------------------------------------------ windows

class ZPushButton;

// The program's portrait window: a top-level window of the screen's size
// with a content slot above a soft-key bar slot. The window paints the
// frame buffer beneath its widgets. The soft keys of the bar also answer
// the keys F1 (left), F2 (right) and F5 (centre).
class ZMainWidget : public QWidget {
    Q_OBJECT
  public:
    explicit ZMainWidget(bool editorMode = false, QWidget *parent = nullptr,
                         const char *name = nullptr, Qt::WindowFlags flags = {});
    ~ZMainWidget() override;

    // Each returns the widget it replaces.
    QWidget *setContentWidget(QWidget *widget);
    virtual QWidget *setCSTWidget(QWidget *widget);
    // With create, a plain widget is made when there is none.
    QWidget *getContentWidget(bool create = false);
    QWidget *getCSTWidget(bool create = false);

    // The phone's on-screen input method: there is none here.
    void hideInputWidget() {}
    void invokeInputWidget() {}

    virtual void setCaption(const QString &caption)
    {
        setWindowTitle(caption);
    }

    // The soft key of a kind (5 right, 6 left, 7 centre) in the bar; null
    // when there is none.
    ZPushButton *softKey(int kind) const;

  protected:
    void resizeEvent(QResizeEvent *event) override;
    // Places the content and soft-key slots (the bar shown or hidden).
    void layoutSlots();

  private:
    friend class QDirectPainter;

    QWidget *m_frameView;
    QObject *m_softKeys;
    QWidget *m_content = nullptr;
    QWidget *m_cst = nullptr;
};

// A soft key: kind 5 the right key, 6 the left key, 7 the centre key. Its
// text comes from a resource id ("CST_Menu", "CST_Exit", "CST_Back").
class ZPushButton : public QPushButton {
    Q_OBJECT
  public:
    ZPushButton(const QString &resourceId, QWidget *parent, int kind, int width = -1,
                int height = -1);

    void setResourceID(const QString &resourceId);
    QString resourceID() const
    {
        return m_resource;
    }
    int kind() const
    {
        return m_kind;
    }

  private:
    QString m_resource;
    int m_kind;
};

// A scroll view whose contents position can be set.
class ZScrollView : public QScrollArea {
    Q_OBJECT
  public:
    explicit ZScrollView(QWidget *parent = nullptr, const char *name = nullptr,
                         Qt::WindowFlags flags = {});

    virtual void setContentsPos(int x, int y);
    int contentsX() const;
    int contentsY() const;
};

// The skin: the program's icons by resource name ("Dialog_Exclamatory_Mark.g",
// "Dialog_Error.g", "Dialog_Question_Mark.g"); a null pixmap for others.
class ZSkin {
  public:
    static ZSkin *skin();
    QPixmap getPixmap(const QString &name) const;

  private:
    ZSkin() = default;
};

// A modal message box with an icon and up to three buttons (null texts are
// left out). Returns the index (0 to 2) of the button chosen; closing the
// box chooses the last button. defaultButton is the 1-based number of the
// button that Return presses (0: the first).
namespace ZMessageBox {
int information(QWidget *parent, const QPixmap &icon, const QString &text, const QString &button0,
                const QString &button1 = QString(), const QString &button2 = QString(),
                int defaultButton = 0);
}

// The file dialogs. The storage names where they start: "card" is the
// home directory. exec() answers QDialog::Accepted or Rejected.
class ZOpenDlg {
  public:
    ZOpenDlg(const QStringList &filters, const QString &storage, bool multiple,
             QWidget *parent = nullptr);
    ~ZOpenDlg();
    int exec();
    QString getFile() const;
    QFileDialog *dialog() const
    {
        return m_dialog;
    }

  private:
    QFileDialog *m_dialog;
};

class ZSaveDlg {
  public:
    ZSaveDlg(const QStringList &filters, const QString &storage, QWidget *parent = nullptr);
    ~ZSaveDlg();
    int exec();
    QString getSaveName() const;
    QFileDialog *dialog() const
    {
        return m_dialog;
    }

  private:
    QFileDialog *m_dialog;
};

// ------------------------------------------------------------ menus and lists

// A popup menu whose items are known by integer ids: an item made without
// an id gets a negative one of its own. "activated(int)" names the item
// chosen in this menu (not in its submenus); "aboutToShow()" comes before
// it opens.
class QPopupMenu : public QMenu {
    Q_OBJECT
  public:
    explicit QPopupMenu(QWidget *parent = nullptr, const char *name = nullptr);

    // Each returns the item's id; index -1 appends.
    int insertItem(const QString &text, int id = -1, int index = -1);
    int insertItem(const QString &text, QPopupMenu *submenu, int id = -1, int index = -1);
    int insertSeparator(int index = -1);
    void removeItem(int id);
    void changeItem(int id, const QString &text);
    QString text(int id) const;
    void setItemEnabled(int id, bool enabled);
    bool isItemEnabled(int id) const;
    void setItemChecked(int id, bool checked);
    bool isItemChecked(int id) const;
    void setCheckable(bool checkable)
    {
        m_checkable = checkable;
    }
    bool isCheckable() const
    {
        return m_checkable;
    }
    int idAt(int index) const;
    int indexOf(int id) const;
    int count() const;
    void clear();
    // Shows the menu at a screen point and waits: the chosen id, or -1.
    int exec(const QPoint &point);

  Q_SIGNALS:
    void activated(int id);

  private:
    QAction *place(QAction *action, int index);

    QHash<int, QAction *> m_items;
    int m_nextAutoId = -2;
    bool m_checkable = false;
};

typedef QListWidgetItem QListBoxItem;

// A list of texts with optional pictures; "doubleClicked(QListBoxItem*)"
// when an item is chosen.
class QListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit QListBox(QWidget *parent = nullptr, const char *name = nullptr);

    void insertItem(const QPixmap &picture, const QString &text);
    void insertItem(const QString &text);
    QString text(int index) const;
    int currentItem() const
    {
        return currentRow();
    }
    void setCurrentItem(int index)
    {
        setCurrentRow(index);
    }
    // The width of the widest item: its picture, a gap and its text.
    int maxItemWidth() const;

  Q_SIGNALS:
    void doubleClicked(QListBoxItem *item);
};

// A stack of widgets known by ids, one of them raised.
class QWidgetStack : public QStackedWidget {
    Q_OBJECT
  public:
    explicit QWidgetStack(QWidget *parent = nullptr, const char *name = nullptr);

    // Adds the widget under the id (-1: the next free id); returns the id.
    int addWidget(QWidget *widget, int id = -1);
    void raiseWidget(int id);
    void raiseWidget(QWidget *widget);
    QWidget *widget(int id) const;
    int id(QWidget *widget) const;
    QWidget *visibleWidget() const
    {
        return currentWidget();
    }

  private:
    QHash<int, QWidget *> m_ids;
};

// ------------------------------------------------------------ translations

// Looks for catalogues named baseName-pattern.qm (pattern may hold
// wildcards) in the directory, matching names without regard to case and
// trying them in case-insensitive name order; the first that loads into
// the translator ends the search. The file name (without the directory)
// that loaded, or a null string when none did.
QString findTranslation(QTranslator *translator, const QString &directory, const QString &baseName,
                        const QString &pattern);
