// The program's main window on the toolkit's portrait window: the window
// geometry from the screen regions, the soft-key bar with the menu, the
// open and save dialogs, message boxes, the wait cursor, the press-and-hold
// animation, the full-screen key and the start-up from the first event.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>

#include "host/mainwidget.h"
#include "host/toolkit/toolkit.h"

class QFrame;
class QKeyEvent;
class QLabel;

class EzxMainWidget : public ZMainWidget, public MainWidgetCommon {
    Q_OBJECT
  public:
    // The document named by the first argument opens at start.
    EzxMainWidget(int &argc, char **argv, QWidget *parent = nullptr);
    ~EzxMainWidget() override;

    bool init(const char *startDocument) override;

    void openDialog() override;
    void saveDialog() override;
    void alertBox(QString *text) override;
    void errorBox(QString *text) override;
    bool questionBox(QString *text) override;
    void promptDialog(Prompt *prompt) override;
    void editDialog(QAlien::EditData *data) override;
    void preferencesDialog(HostSettings *settings) override;
    void aboutDialog() override;
    void helpDialog() override;
    void docLoaded(bool loaded) override;
    void drawExtras() override;
    void contentResized() override;
    void busy(bool on) override;
    void editingMode(QAlien::EditingMode mode) override;
    void closedown() override;
    void directoryDialog(int id) override;

    void setRaised(bool below);
    bool isRaisedBelow() const
    {
        return m_raised;
    }
    ZPushButton *menuButton() const
    {
        return m_menuButton;
    }
    ZPushButton *fullScreenButton() const
    {
        return m_fullButton;
    }
    int animationFrame() const
    {
        return m_frame;
    }
    int lastEditingMode() const
    {
        return m_mode;
    }
    // The hold animation's frames (24 x 24).
    static QPixmap holdFrame(int index);

  public Q_SLOTS:
    void fullScreenSlot();
    void showMenu();

  Q_SIGNALS:
    void mouseEvent(int x, int y, int kind);
    void keyEvent(QKeyEvent *event, bool pressed);

  protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    bool closeDiscardingEdits();
    bool handleKey(QKeyEvent *event, bool pressed);
    void dialogClosed(QEvent *event, bool accepted);
    // Clears the frame buffer under the title strip, so that the window's
    // strip shows there after a move.
    void clearStripPixels();
    // The window has a new size: the content, the blitter, the soft keys
    // and the engine's screen follow it.
    void windowResized();
    // Places the soft keys in thirds of the bar.
    void placeSoftKeys();

    bool m_raised = true;
    bool m_fullButtonOn = false;
    QRect m_windowRect;
    int m_statusHeight;
    int m_softKeyHeight;
    bool m_fullScreenRequest = false;
    QPixmap m_frames[9];
    int m_frame = 0;
    int m_mode = 0;
    QFrame *m_softKeys = nullptr;
    ZPushButton *m_fullButton = nullptr;
    ZPushButton *m_menuButton = nullptr;
    ZPushButton *m_exitButton = nullptr;
    QLabel *m_hold = nullptr;
};
