#include "host/dialogs/basedialog.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

void FixedScrollView::setContentsPos(int, int y)
{
    ZScrollView::setContentsPos(0, y);
}

EZXBaseDialog::EZXBaseDialog(bool inputOnShow, bool hasMenu, QWidget *parent, bool modal,
                             void *data)
    : ZMainWidget(true, parent, nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_contentRect(ZGlobal::getScreenR()), m_parent(parent), m_data(data),
      m_inputOnShow(inputOnShow), m_hasMenu(hasMenu)
{
    setAttribute(Qt::WA_DeleteOnClose);
    if (modal)
        setWindowModality(Qt::ApplicationModal);
    const QRect screen = ZGlobal::getScreenR();
    const QRect g = ZGlobal::getGnbR();
    const int gnbH = g.bottom() - g.top();
    const QRect c = ZGlobal::getCstR();
    const int cstH = c.bottom() - c.top() + 1;
    setGeometry(QRect(screen.left(), screen.top() + gnbH + 1, screen.width(),
                      (screen.bottom() - screen.top()) - gnbH));
    setCaption(QStringLiteral("Vexlan"));
    const int titleH = m_title->geometry().bottom() - m_title->geometry().top() + 1;
    setFixedWidth(geometry().width());

    m_scroll = new FixedScrollView(this);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_area = new QWidget;
    m_layout = new QVBoxLayout(m_area);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidget(m_area);
    setContentWidget(m_scroll);
    m_contentRect.setHeight((screen.bottom() - screen.top()) - gnbH - cstH - titleH);
    m_contentRect.moveTop(titleH);
    placeScrollView();
}

EZXBaseDialog::~EZXBaseDialog() = default;

void EZXBaseDialog::spacedLayout()
{
    m_layout->addSpacing(4);
    m_layout->setSpacing(2);
}

void EZXBaseDialog::placeScrollView()
{
    if (m_scroll)
        m_scroll->setGeometry(m_contentRect);
    if (m_title)
        m_title->raise();
}

void EZXBaseDialog::resizeEvent(QResizeEvent *event)
{
    // The toolkit lays its content slot over the whole window; the dialog's
    // content area sits below the title.
    ZMainWidget::resizeEvent(event);
    placeScrollView();
}

void EZXBaseDialog::setCaption(const QString &caption)
{
    if (!m_title) {
        m_title = new QLabel(caption, this);
        QFont font = QApplication::font();
        font.setWeight(QFont::Bold);
        m_title->setFont(font);
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Button));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::ButtonText));
        m_title->setPalette(palette);
        m_title->setAutoFillBackground(true);
        m_title->setAlignment(Qt::AlignCenter);
        m_title->setTextFormat(Qt::PlainText);
        m_title->setGeometry(ZGlobal::diffRect(ZGlobal::getDlgLargeR(), ZGlobal::getDlgTitleLR()));
    } else {
        m_title->setText(caption);
    }
    m_title->raise();
    setWindowTitle(caption);
}

QString EZXBaseDialog::caption() const
{
    return m_title ? m_title->text() : QString();
}

QWidget *EZXBaseDialog::setCSTWidget(QWidget *old)
{
    delete old;
    const QRect g = ZGlobal::getGnbR();
    const int gnbH = g.bottom() - g.top();
    auto *bar = new FixedCSTWidget(this);
    m_okKey = new ZPushButton(QString(), bar, 7, -1, -1);
    m_okKey->setText(QCoreApplication::translate("MainWidgetCommon", "RES_OK"));
    m_backKey = new ZPushButton(QStringLiteral("CST_Exit"), bar, 5, -1, -1);
    if (m_hasMenu) {
        m_menuKey = new ZPushButton(QStringLiteral("CST_Menu"), bar, 6, -1, -1);
    } else {
        m_menuKey = new ZPushButton(QString(), bar, 6, -1, -1);
        m_menuKey->setEnabled(false);
    }
    m_menuKey->setGeometry(ZGlobal::getCst3_1R().translated(0, -ZGlobal::getCst3_1R().top()));
    m_okKey->setGeometry(ZGlobal::getCst3_2R().translated(0, -ZGlobal::getCst3_2R().top()));
    m_backKey->setGeometry(ZGlobal::getCst3_3R().translated(0, -ZGlobal::getCst3_3R().top()));
    bar->setGeometry(ZGlobal::getCstR().translated(0, -(gnbH + 1)));
    connect(m_backKey, &QPushButton::clicked, this, &EZXBaseDialog::reject);
    connect(m_okKey, &QPushButton::clicked, this, &EZXBaseDialog::accept);
    connect(m_menuKey, &QPushButton::clicked, this, &EZXBaseDialog::popupMenuSlot);
    // Every dialog shows "Back" on its right key.
    m_backKey->setResourceID(QStringLiteral("CST_Back"));
    QWidget *replaced = ZMainWidget::setCSTWidget(bar);
    placeScrollView();
    return replaced == old ? nullptr : replaced;
}

void EZXBaseDialog::finish(int type, bool accepted)
{
    // A dialog reports once: a second key press while it closes (or an
    // accept still queued) posts nothing more.
    if (m_finished)
        return;
    m_finished = true;
    if (accepted) {
        if (m_parent)
            QApplication::postEvent(m_parent, new QCustomEvent(type, m_data));
        Q_EMIT done(true);
    } else {
        Q_EMIT done(false);
        if (m_parent)
            QApplication::postEvent(m_parent, new QCustomEvent(type, m_data));
    }
    close();
}

void EZXBaseDialog::accept()
{
    finish(DialogAccepted, true);
}

void EZXBaseDialog::reject()
{
    finish(DialogRejected, false);
}

void EZXBaseDialog::editEnterHandler()
{
    hideInputWidget();
    m_inputShown = false;
    QApplication::postEvent(this, new QCustomEvent(DialogAcceptLater));
}

void EZXBaseDialog::popupMenuSlot()
{
    if (!m_popup)
        return;
    QPoint point(0, 0);
    ZGlobal::getPopupMenuTopLeft(m_menuKey, m_popup, point);
    m_popup->exec(point);
}

void EZXBaseDialog::handleKBMenu(int id)
{
    hideInputWidget();
    m_inputShown = false;
    if (id != 0x4321) {
        invokeInputWidget();
        m_inputShown = true;
    }
}

bool EZXBaseDialog::event(QEvent *e)
{
    const int type = int(e->type());
    if (type == QEvent::Show) {
        setCSTWidget(getCSTWidget());
        setFocus();
        if (m_inputOnShow) {
            invokeInputWidget();
            m_inputShown = true;
        }
    } else if (type == DialogAcceptLater) {
        accept();
        return true;
    }
    return ZMainWidget::event(e);
}
