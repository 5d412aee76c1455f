// The frame every dialog of the program shares: a full-window dialog with a
// bold title line, a content area that scrolls only vertically and a
// soft-key bar (Menu, OK, Back). A dialog reports its outcome to the window
// that opened it with a posted custom event: 1001 when accepted, 1002 when
// rejected, each carrying the dialog's data pointer. The dialog deletes
// itself when it closes.
#pragma once

#include <QFrame>
#include <QRect>

#include "host/toolkit/toolkit.h"

class QLabel;
class QVBoxLayout;

// The result events and the dialog's own deferred accept.
enum : int {
    DialogAccepted = 1001,
    DialogRejected = 1002,
    DialogAcceptLater = 2000,
};

// A scroll view that never moves sideways.
class FixedScrollView : public ZScrollView {
    Q_OBJECT
  public:
    explicit FixedScrollView(QWidget *parent = nullptr) : ZScrollView(parent) {}
    void setContentsPos(int x, int y) override;
};

// The container of the three soft keys.
class FixedCSTWidget : public QFrame {
    Q_OBJECT
  public:
    explicit FixedCSTWidget(QWidget *parent = nullptr) : QFrame(parent) {}
};

class EZXBaseDialog : public ZMainWidget {
    Q_OBJECT
  public:
    EZXBaseDialog(bool inputOnShow, bool hasMenu, QWidget *parent, bool modal, void *data);
    ~EZXBaseDialog() override;

    void setCaption(const QString &caption) override;
    QString caption() const;

    // The widget inside the scroll view that the dialog's widgets go on, and
    // its vertical layout (margin 0).
    QWidget *contentArea() const
    {
        return m_area;
    }
    QVBoxLayout *contentLayout() const
    {
        return m_layout;
    }
    FixedScrollView *scrollView() const
    {
        return m_scroll;
    }
    QRect contentRect() const
    {
        return m_contentRect;
    }
    void *data() const
    {
        return m_data;
    }
    // The popup menu of the left soft key (null: none).
    QPopupMenu *popupMenu() const
    {
        return m_popup;
    }
    void setPopupMenu(QPopupMenu *menu)
    {
        m_popup = menu;
    }
    // Whether the phone's input widget is raised (this host has none; the
    // state is kept so that the dialog behaves the same).
    bool isInputShown() const
    {
        return m_inputShown;
    }

  public Q_SLOTS:
    virtual void accept();
    virtual void reject();
    virtual void editEnterHandler();
    virtual void popupMenuSlot();
    void handleKBMenu(int id);
    QWidget *setCSTWidget(QWidget *old) override;

  Q_SIGNALS:
    void done(bool accepted);

  protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Adds 4 pixels at the top of the content layout and sets its spacing
    // to 2, as most dialogs do.
    void spacedLayout();

  private:
    void placeScrollView();
    void finish(int type, bool accepted);

    QRect m_contentRect;
    ZPushButton *m_menuKey = nullptr;
    ZPushButton *m_okKey = nullptr;
    ZPushButton *m_backKey = nullptr;
    QPopupMenu *m_popup = nullptr;
    QWidget *m_parent;
    void *m_data;
    QLabel *m_title = nullptr;
    bool m_inputOnShow;
    bool m_hasMenu;
    bool m_inputShown = false;
    bool m_finished = false;
    FixedScrollView *m_scroll = nullptr;
    QWidget *m_area = nullptr;
    QVBoxLayout *m_layout = nullptr;
};
