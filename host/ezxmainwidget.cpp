// The program's main window.
#include "host/ezxmainwidget.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <QtMath>

#include <cstring>

#include "host/blitter.h"
#include "host/desktopkeys.h"
#include "host/hostfiles.h"
#include "host/dialogs/contentseditdialog.h"
#include "host/dialogs/dirdialog.h"
#include "host/dialogs/simpleeditdialog.h"
#include "host/dialogs/smalldialogs.h"

namespace {

QString commonText(const char *key)
{
    return QCoreApplication::translate("MainWidgetCommon", key);
}

// The phone's own keys that the window leaves alone: the soft keys.
bool isSoftKey(int key)
{
    return key == Qt::Key_F1 || key == Qt::Key_F2 || key == Qt::Key_F5;
}

} // namespace

QPixmap EzxMainWidget::holdFrame(int index)
{
    // A ring of eight dots in red, green, blue and grey; the dot of the
    // frame is lit, and the ninth frame lights them all.
    static const QColor colours[4] = {QColor(220, 40, 40), QColor(40, 180, 60), QColor(40, 90, 220),
                                      QColor(128, 128, 128)};
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int dot = 0; dot < 8; dot++) {
        const double angle = dot * M_PI / 4;
        const QPointF centre(12 + 8 * qSin(angle), 12 - 8 * qCos(angle));
        const bool lit = index == 8 || dot == index;
        painter.setBrush(lit ? colours[dot % 3] : colours[3]);
        painter.drawEllipse(centre, lit ? 3.0 : 2.0, lit ? 3.0 : 2.0);
    }
    return pixmap;
}

EzxMainWidget::EzxMainWidget(int &argc, char **argv, QWidget *parent)
    : ZMainWidget(true, parent), MainWidgetCommon(this), m_windowRect(ZGlobal::getScreenR()),
      m_statusHeight(ZGlobal::getGnbR().height()), m_softKeyHeight(ZGlobal::getCstR().height())
{
    setGeometry(m_windowRect);
    if (parent)
        parent->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("vexlanedit"));
    // The start document: the first argument.
    const QString start = HostFiles_startDocument(argc > 1 && argv ? argv[1] : nullptr);
    QCoreApplication::postEvent(
        this, new QCustomEvent(1000, start.isEmpty() ? nullptr : strdup(start.toUtf8().constData()),
                               free));
    m_titleFontSize = 12;
    for (int i = 0; i < 9; i++)
        m_frames[i] = holdFrame(i);
    m_hold = new QLabel(this);
    m_hold->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_hold->resize(24, 24);
    m_hold->hide();
}

EzxMainWidget::~EzxMainWidget()
{
    shutdown();
}

bool EzxMainWidget::init(const char *startDocument)
{
    // 1. The content size.
    m_width = m_windowRect.width();
    m_height = m_fullHeight = m_windowRect.bottom() - m_windowRect.top() - 15;
    // 2. The blitter; a frame buffer it cannot serve ends the program.
    m_blitter = std::make_unique<DirectPainterBlitter>(this, m_width, m_fullHeight);
    if (!m_blitter->probe()) {
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::exit(0); }, Qt::QueuedConnection);
        return true;
    }
    // 3. The soft-key bar: menu, full screen, exit.
    m_softKeys = new QFrame(this);
    const QRect bar = ZGlobal::getCstR();
    m_softKeys->resize(bar.size());
    m_menuButton = new ZPushButton(QStringLiteral("CST_Menu"), m_softKeys, 6);
    m_fullButton = new ZPushButton(QString(), m_softKeys, 7);
    m_exitButton = new ZPushButton(QStringLiteral("CST_Exit"), m_softKeys, 5);
    placeSoftKeys();
    connect(m_menuButton, &QPushButton::clicked, this, &EzxMainWidget::showMenu);
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);
    setCSTWidget(m_softKeys);
    contentResized();
    m_softKeys->show();
    // 4. The content's height below the strip and above the soft keys.
    m_height = m_windowRect.bottom() - m_windowRect.top() - m_softKeyHeight - 15;
    // 5. The engine.
    return MainWidgetCommon::init(startDocument);
}

void EzxMainWidget::placeSoftKeys()
{
    if (!m_softKeys || !m_menuButton)
        return;
    const int width = m_softKeys->width(), height = m_softKeyHeight, third = width / 3;
    m_menuButton->setGeometry(0, 0, third, height);
    m_fullButton->setGeometry(third, 0, width - 2 * third, height);
    m_exitButton->setGeometry(width - third, 0, third, height);
}

void EzxMainWidget::resizeEvent(QResizeEvent *event)
{
    ZMainWidget::resizeEvent(event);
    placeSoftKeys();
    windowResized();
}

void EzxMainWidget::windowResized()
{
    m_windowRect = geometry();
    if (!m_blitter || !m_bridge)
        return;
    // The window's height as it would be over the status bar: moving it
    // below the bar and back (setRaised) is no new size.
    const int whole = height() + (m_raised ? m_statusHeight : 0);
    const int full = whole - titleHeight;
    const int normal = whole - m_statusHeight - m_softKeyHeight - titleHeight;
    if (width() == m_width && full == m_fullHeight && normal == m_height)
        return;
    m_bridge->setContentSize(width(), normal, full);
    m_width = width();
    m_height = normal;
    m_fullHeight = full;
    const QRect clip = m_blitter->clipRect();
    m_blitter = std::make_unique<DirectPainterBlitter>(this, m_width, m_fullHeight);
    if (m_blitter->probe())
        m_blitter->setClipRect(clip);
    contentResized();
    repaintTitle();
}

void EzxMainWidget::showMenu()
{
    QPoint corner;
    ZGlobal::getPopupMenuTopLeft(m_menuButton, m_mainMenu, corner);
    m_mainMenu->exec(corner);
}

void EzxMainWidget::setRaised(bool below)
{
    if (below == m_raised)
        return;
    // The state changes first: the resize that follows is no new content
    // size (windowResized).
    m_raised = below;
    m_windowRect.setTop(below ? m_statusHeight : 0);
    setGeometry(m_windowRect);
    if (!below)
        raise();
}

void EzxMainWidget::clearStripPixels()
{
    const int top = geometry().top();
    const int rows = std::min(titleHeight, ZFrameBuffer::height() - top);
    if (top < 0 || rows <= 0)
        return;
    memset(ZFrameBuffer::bits() + size_t(top) * size_t(ZFrameBuffer::lineStep()), 0,
           size_t(rows) * size_t(ZFrameBuffer::lineStep()));
}

void EzxMainWidget::contentResized()
{
    if (m_fullScreen) {
        setRaised(false);
        if (m_softKeys)
            m_softKeys->hide();
        if (m_blitter)
            m_blitter->setClipRect(QRect(0, 0, width(), height()));
    } else {
        setRaised(true);
        if (m_softKeys)
            m_softKeys->show();
        if (m_blitter)
            m_blitter->setClipRect(QRect(0, 0, width(), std::max(0, height() - m_softKeyHeight)));
    }
    // The content slot takes the soft keys' band when they hide and gives
    // it back when they show.
    layoutSlots();
    placeSoftKeys();
    clearStripPixels();
    update();
}

// ------------------------------------------------------------ dialogs

void EzxMainWidget::openDialog()
{
    ZOpenDlg dialog(QStringList(QStringLiteral("*")), QStringLiteral("card"), false, this);
    if (dialog.exec() == QDialog::Accepted)
        openDocument(dialog.getFile());
    update();
}

void EzxMainWidget::saveDialog()
{
    const int kind = m_bridge ? m_bridge->documentKind() : 0;
    if (kind != 1 && kind != 2)
        return;
    ZSaveDlg dialog(QStringList(kind == 1 ? QStringLiteral("*.doc") : QStringLiteral("*.xls")),
                    QStringLiteral("card"), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_saveName = dialog.getSaveName();
    m_bridge->saveDocument(m_saveName);
}

void EzxMainWidget::alertBox(QString *text)
{
    ZMessageBox::information(
        this, ZSkin::skin()->getPixmap(QStringLiteral("Dialog_Exclamatory_Mark.g")),
        text ? *text : QString(), commonText("RES_OK"), QString(), QString(), 1);
}

void EzxMainWidget::errorBox(QString *text)
{
    ZMessageBox::information(this, ZSkin::skin()->getPixmap(QStringLiteral("Dialog_Error.g")),
                             text ? *text : QString(), commonText("RES_OK"), QString(), QString(),
                             1);
}

bool EzxMainWidget::questionBox(QString *text)
{
    return ZMessageBox::information(
               this, ZSkin::skin()->getPixmap(QStringLiteral("Dialog_Question_Mark.g")),
               text ? *text : QString(), commonText("RES_YES"), commonText("RES_NO"), QString(),
               1) == 0;
}

// Each dialog reports back with event 1001 or 1002 (dialogClosed).
void EzxMainWidget::promptDialog(Prompt *prompt)
{
    (new EzxSimpleEditDialog(this, prompt))->show();
}

void EzxMainWidget::editDialog(QAlien::EditData *data)
{
    if (!data)
        return;
    m_dialogKind = Dialog_edit;
    (new EzxContentsEditDialog(this, nullptr, data))->show();
}

// The dialog works on a copy; the settings change only when it is accepted.
void EzxMainWidget::preferencesDialog(HostSettings *settings)
{
    (new EzxPrefDialog(this, new HostSettings(settings ? *settings : HostSettings())))->show();
}

void EzxMainWidget::aboutDialog()
{
    static QString texts[3] = {QStringLiteral("1.0"), QStringLiteral("1"),
                               QStringLiteral("personal use")};
    (new EzxAboutDialog(this, texts))->show();
}

void EzxMainWidget::helpDialog()
{
    (new EzxHelpDialog(this))->show();
}

void EzxMainWidget::directoryDialog(int)
{
    auto *dialog = new EzxDirDialog(this, &m_selector);
    connect(dialog, &EzxDirDialog::refresh, m_helper, &MainWidgetHelper::refreshDir);
    connect(m_helper, &MainWidgetHelper::refreshDirDone, dialog, &EzxDirDialog::refreshDone);
    dialog->show();
}

// ------------------------------------------------------------ state

void EzxMainWidget::busy(bool on)
{
    if (on)
        ZApplication::startShowWaitCursor(0, QString());
    else
        ZApplication::stopShowWaitCursor();
}

void EzxMainWidget::editingMode(QAlien::EditingMode mode)
{
    m_mode = int(mode);
    update(QRect(m_pressX - 12, m_pressY - 12, 24, 24));
    drawExtras();
}

void EzxMainWidget::drawExtras()
{
    // The animation shows above the frame buffer's content, in its own
    // small widget.
    if (m_mode != QAlien::ModePressed) {
        m_frame = 0;
        m_hold->hide();
        return;
    }
    m_hold->setPixmap(m_frames[m_frame]);
    m_hold->move(m_pressX - 12, m_pressY - 12);
    m_hold->show();
    m_hold->raise();
    m_frame = m_frame >= 8 ? 0 : m_frame + 1;
}

void EzxMainWidget::closedown()
{
    QCoreApplication::postEvent(this, new QCloseEvent);
}

void EzxMainWidget::docLoaded(bool loaded)
{
    if (m_fullButton) {
        disconnect(m_fullButton, &QPushButton::clicked, this, &EzxMainWidget::fullScreenSlot);
        m_fullButton->setText(loaded ? commonText("RES_FULLSCREEN") : QString());
        if (loaded)
            connect(m_fullButton, &QPushButton::clicked, this, &EzxMainWidget::fullScreenSlot);
    }
    m_fullButtonOn = loaded;
    MainWidgetCommon::docLoaded(loaded);
}

void EzxMainWidget::fullScreenSlot()
{
    if (m_bridge)
        m_bridge->toggleFullScreen();
}

// ------------------------------------------------------------ events

bool EzxMainWidget::handleKey(QKeyEvent *event, bool pressed)
{
    if (!m_bridge)
        return false;
    const int key = event->key();
    if (isSoftKey(key))
        return false;
    const DesktopBinding binding = DesktopKeys_binding(key, event->modifiers());
    if (binding.command != Desktop_none && binding.command != Desktop_engineKey) {
        // A command runs on its press (F3 again on each repeat).
        if (pressed && (!event->isAutoRepeat() || binding.command == Desktop_findAgain))
            desktopCommand(binding.command);
        return true;
    }
    if (pressed)
        keyPress(event);
    else
        keyRelease(event);
    return true;
}

void EzxMainWidget::dialogClosed(QEvent *event, bool accepted)
{
    auto *custom = static_cast<QCustomEvent *>(event);
    switch (m_dialogKind) {
    case Dialog_edit:
        if (m_bridge)
            m_bridge->editDone(static_cast<QAlien::EditData *>(custom->takeData()));
        break;
    case Dialog_prompt: promptClosed(static_cast<Prompt *>(custom->takeData()), accepted); break;
    case Dialog_preferences: {
        std::unique_ptr<HostSettings> copy(static_cast<HostSettings *>(custom->takeData()));
        if (accepted && copy)
            settingsChanged(*copy);
        break;
    }
    case Dialog_directory: directoryClosed(accepted); break;
    default: break;
    }
    m_dialogKind = Dialog_none;
}

// The engine refuses to stop while the document has edits that are not
// saved: the user decides whether to close without them.
bool EzxMainWidget::closeDiscardingEdits()
{
    if (!m_bridge || !m_bridge->canSave())
        return false;
    if (QMessageBox::question(
            this, tr("Unsaved changes"),
            tr("The document has changes that are not saved. Close without saving them?"),
            QMessageBox::Discard | QMessageBox::Cancel,
            QMessageBox::Cancel) != QMessageBox::Discard)
        return false;
    m_bridge->stopDiscarding();
    return true;
}

bool EzxMainWidget::event(QEvent *e)
{
    if (filterEvent(e))
        return true;
    switch (int(e->type())) {
    case QEvent::Hide: setRaised(true); break;
    case QEvent::FocusOut:
        if (static_cast<QFocusEvent *>(e)->reason() != Qt::PopupFocusReason)
            setRaised(true);
        break;
    case QEvent::Show: setRaised(false); break;
    case QEvent::WindowActivate:
        if (m_blitter) {
            const bool full = m_fullScreen;
            m_fullScreen = false;
            contentResized();
            if (full) {
                m_fullScreen = true;
                contentResized();
            }
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (handleKey(static_cast<QKeyEvent *>(e), e->type() == QEvent::KeyPress))
            return true;
        e->ignore();
        return false;
    case 1001:
    case 1002: dialogClosed(e, int(e->type()) == 1001); return true;
    case QEvent::Close:
        if (!m_bridge || m_bridge->stop() || closeDiscardingEdits()) {
            e->accept();
            QApplication::exit(0);
        } else {
            e->ignore();
        }
        return true;
    default: break;
    }
    return ZMainWidget::event(e);
}
