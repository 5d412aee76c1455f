// The toolkit layer over Qt 6 Widgets.
#include "host/toolkit/toolkit.h"

#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>
#include <vector>

// ------------------------------------------------------------ custom events

QCustomEvent::QCustomEvent(int type, void *data, Disposer dispose)
    : QEvent(QEvent::Type(type)), m_data(data), m_dispose(dispose)
{
}

QCustomEvent::~QCustomEvent()
{
    if (m_dispose && m_data)
        m_dispose(m_data);
}

QCustomEvent *QCustomEvent::withValue(int type, intptr_t value)
{
    return new QCustomEvent(type, reinterpret_cast<void *>(value));
}

void *QCustomEvent::takeData()
{
    void *data = m_data;
    m_data = nullptr;
    return data;
}

// ------------------------------------------------------------ application

QString ZLanguage::getSystemLanguageCode()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = getenv(name);
        if (value && *value)
            return QString::fromLocal8Bit(value);
    }
    return QStringLiteral("en_GB");
}

namespace {
bool waitCursorShown = false;
}

ZApplication::ZApplication(int &argc, char **argv) : QApplication(argc, argv) {}

ZApplication::~ZApplication()
{
    stopShowWaitCursor();
}

void ZApplication::startShowWaitCursor(int, const QString &)
{
    if (waitCursorShown)
        return;
    waitCursorShown = true;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void ZApplication::stopShowWaitCursor()
{
    if (!waitCursorShown)
        return;
    waitCursorShown = false;
    QGuiApplication::restoreOverrideCursor();
}

bool ZApplication::isShowingWaitCursor()
{
    return waitCursorShown;
}

// ------------------------------------------------------------ screen regions

namespace {

constexpr int statusBarHeight = 20;
constexpr int softKeyBarHeight = 36;
constexpr int dialogTitleHeight = 24;

QSize readScreenSize()
{
    QSize size(480, 640);
    const char *text = getenv("VEXLAN_SCREEN_SIZE");
    if (!text || !*text)
        return size;
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('x'));
    bool okW = false, okH = false;
    int w = parts.value(0).toInt(&okW);
    int h = parts.value(1).toInt(&okH);
    // A size that makes no sense leaves the phone's own.
    if (parts.size() == 2 && okW && okH && w >= 64 && h >= 96 && w <= 4096 && h <= 4096)
        size = QSize(w, h);
    return size;
}

} // namespace

QSize ZGlobal::screenSize()
{
    static const QSize size = readScreenSize();
    return size;
}

QRect ZGlobal::getScreenR()
{
    return QRect(QPoint(0, 0), screenSize());
}

QRect ZGlobal::getGnbR()
{
    return QRect(0, 0, screenSize().width(), statusBarHeight);
}

QRect ZGlobal::getCstR()
{
    QSize s = screenSize();
    return QRect(0, s.height() - softKeyBarHeight, s.width(), softKeyBarHeight);
}

QRect ZGlobal::getCst3_1R()
{
    QRect bar = getCstR();
    return QRect(bar.left(), bar.top(), bar.width() / 3, bar.height());
}

QRect ZGlobal::getCst3_2R()
{
    QRect bar = getCstR();
    int third = bar.width() / 3;
    return QRect(bar.left() + third, bar.top(), bar.width() - 2 * third, bar.height());
}

QRect ZGlobal::getCst3_3R()
{
    QRect bar = getCstR();
    int third = bar.width() / 3;
    return QRect(bar.right() + 1 - third, bar.top(), third, bar.height());
}

QRect ZGlobal::getDlgLargeR()
{
    QSize s = screenSize();
    return QRect(0, statusBarHeight, s.width(), s.height() - statusBarHeight - softKeyBarHeight);
}

QRect ZGlobal::getDlgTitleLR()
{
    return QRect(0, statusBarHeight, screenSize().width(), dialogTitleHeight);
}

QRect ZGlobal::diffRect(const QRect &a, const QRect &b)
{
    return b.translated(-a.topLeft());
}

void ZGlobal::getPopupMenuTopLeft(const QWidget *button, const QMenu *menu, QPoint &point)
{
    QPoint corner = button ? button->mapToGlobal(QPoint(0, 0)) : QPoint(0, getCstR().top());
    QSize size = menu ? menu->sizeHint() : QSize();
    QRect screen = getScreenR();
    int x =
        qBound(screen.left(), corner.x(), qMax(screen.left(), screen.right() + 1 - size.width()));
    int y = qMax(screen.top(), corner.y() - size.height());
    point = QPoint(x, y);
}

// ------------------------------------------------------------ frame buffer

namespace {

// The frame buffer's memory and size: the screen's at first, grown when a
// window reaches beyond it (a resized desktop window).
struct FrameMemory {
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;
};

FrameMemory &frame()
{
    static FrameMemory memory = [] {
        FrameMemory m;
        m.width = ZGlobal::screenSize().width();
        m.height = ZGlobal::screenSize().height();
        m.bytes.assign(size_t(m.width) * size_t(m.height) * 3, 0);
        return m;
    }();
    return memory;
}

std::vector<uint8_t> &frameMemory()
{
    return frame().bytes;
}

QRect frameRect()
{
    return QRect(0, 0, frame().width, frame().height);
}

constexpr uint8_t writtenMarker = 0xFC;

inline uint32_t widen6(uint32_t c)
{
    return (c << 2) | (c >> 4);
}

// The frame buffer under a main window's content slot: it paints every
// written pixel of the memory beneath it and leaves the rest to the window.
class FrameBufferView : public QWidget {
  public:
    explicit FrameBufferView(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QPoint origin = mapToGlobal(QPoint(0, 0));
        const QRect screen = frameRect();
        for (const QRect &local : event->region()) {
            QRect area = local.translated(origin).intersected(screen);
            if (area.isEmpty())
                continue;
            QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
            const uint8_t *bits = ZFrameBuffer::bits();
            const int step = ZFrameBuffer::lineStep();
            for (int y = 0; y < area.height(); y++) {
                const uint8_t *src =
                    bits + size_t(area.top() + y) * size_t(step) + size_t(area.left()) * 3;
                QRgb *dst = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < area.width(); x++, src += 3) {
                    int64_t colour = ZFrameBuffer::shownColour(src);
                    dst[x] = colour < 0 ? 0 : (0xFF000000u | uint32_t(colour));
                }
            }
            painter.drawImage(area.topLeft() - origin, image);
        }
    }
};

// Clicks the soft keys of a main window for F1 (left), F2 (right) and F5
// (centre). The key event goes on to the window, which may ignore it.
class SoftKeyFilter : public QObject {
  public:
    explicit SoftKeyFilter(ZMainWidget *window) : QObject(window), m_window(window) {}

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        int kind = key->key() == Qt::Key_F1   ? 6
                   : key->key() == Qt::Key_F2 ? 5
                   : key->key() == Qt::Key_F5 ? 7
                                              : 0;
        if (!kind || key->isAutoRepeat())
            return false;
        ZPushButton *button = m_window->softKey(kind);
        if (button && button->isEnabled() && button->isVisible())
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        return false;
    }

  private:
    ZMainWidget *m_window;
};

} // namespace

uint8_t *ZFrameBuffer::bits()
{
    return frameMemory().data();
}

int ZFrameBuffer::width()
{
    return frame().width;
}

int ZFrameBuffer::height()
{
    return frame().height;
}

void ZFrameBuffer::ensureSize(int width, int height)
{
    FrameMemory &m = frame();
    // A size beyond any screen is a mistake: the memory stays.
    if ((width <= m.width && height <= m.height) || width > 16384 || height > 16384)
        return;
    const int w = std::max(width, m.width), h = std::max(height, m.height);
    std::vector<uint8_t> bytes(size_t(w) * size_t(h) * 3, 0);
    for (int y = 0; y < m.height; y++)
        std::copy_n(m.bytes.data() + size_t(y) * size_t(m.width) * 3, size_t(m.width) * 3,
                    bytes.data() + size_t(y) * size_t(w) * 3);
    m.bytes.swap(bytes);
    m.width = w;
    m.height = h;
}

int ZFrameBuffer::lineStep()
{
    return width() * 3;
}

int64_t ZFrameBuffer::shownColour(const uint8_t *pixel)
{
    if ((pixel[2] & writtenMarker) != writtenMarker)
        return -1;
    uint32_t v = uint32_t(pixel[0]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[2]) << 16;
    uint32_t b = widen6(v & 63), g = widen6((v >> 6) & 63), r = widen6((v >> 12) & 63);
    return int64_t(r << 16 | g << 8 | b);
}

void ZFrameBuffer::clear()
{
    std::fill(frameMemory().begin(), frameMemory().end(), uint8_t(0));
}

QDirectPainter::QDirectPainter(const QWidget *owner) : m_owner(owner)
{
    if (!owner)
        return;
    // The owner's content: a main window's content slot, else the widget.
    const ZMainWidget *window = qobject_cast<const ZMainWidget *>(owner);
    const QWidget *content = window ? window->m_frameView : owner;
    if (!content->isVisible())
        return;
    QRect area(content->mapToGlobal(QPoint(0, 0)), content->size());
    if (area.left() >= 0 && area.top() >= 0)
        ZFrameBuffer::ensureSize(area.right() + 1, area.bottom() + 1);
    m_region = QRegion(area.intersected(frameRect()));
    const QWidget *top = owner->window();
    for (QWidget *other : QApplication::topLevelWidgets()) {
        if (other != top && other->isVisible())
            m_region -= QRegion(other->frameGeometry());
    }
}

QDirectPainter::~QDirectPainter()
{
    if (m_region.isEmpty())
        return;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (ZMainWidget *window = qobject_cast<ZMainWidget *>(top))
            window->m_frameView->update(
                m_region.translated(-window->m_frameView->mapToGlobal(QPoint(0, 0))));
    }
}

void QDirectPainter::setClipRect(const QRect &rect)
{
    if (m_owner)
        m_region &= QRegion(rect.translated(m_owner->mapToGlobal(QPoint(0, 0))));
}

int QDirectPainter::numRects() const
{
    return m_region.rectCount();
}

QRect QDirectPainter::rect(int index) const
{
    int i = 0;
    for (const QRect &r : m_region) {
        if (i++ == index)
            return r;
    }
    return QRect();
}

// ------------------------------------------------------------ windows

ZMainWidget::ZMainWidget(bool, QWidget *parent, const char *name, Qt::WindowFlags flags)
    // The phone's windows have no frame: a window's corner is its content's.
    : QWidget(parent, parent ? flags : flags | Qt::FramelessWindowHint),
      m_frameView(new FrameBufferView(this)), m_softKeys(new SoftKeyFilter(this))
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    if (!parent)
        setGeometry(ZGlobal::getScreenR());
    m_frameView->lower();
    installEventFilter(m_softKeys);
    layoutSlots();
}

ZMainWidget::~ZMainWidget() = default;

QWidget *ZMainWidget::setContentWidget(QWidget *widget)
{
    QWidget *old = m_content;
    m_content = widget;
    if (widget) {
        widget->setParent(this);
        widget->show();
    }
    layoutSlots();
    return old;
}

QWidget *ZMainWidget::setCSTWidget(QWidget *widget)
{
    QWidget *old = m_cst;
    m_cst = widget;
    if (widget) {
        widget->setParent(this);
        widget->show();
    }
    layoutSlots();
    return old;
}

QWidget *ZMainWidget::getContentWidget(bool create)
{
    if (!m_content && create)
        setContentWidget(new QWidget(this));
    return m_content;
}

QWidget *ZMainWidget::getCSTWidget(bool create)
{
    if (!m_cst && create)
        setCSTWidget(new QWidget(this));
    return m_cst;
}

ZPushButton *ZMainWidget::softKey(int kind) const
{
    if (!m_cst)
        return nullptr;
    for (ZPushButton *button : m_cst->findChildren<ZPushButton *>()) {
        if (button->kind() == kind)
            return button;
    }
    return nullptr;
}

void ZMainWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutSlots();
}

void ZMainWidget::layoutSlots()
{
    int cstHeight = m_cst && !m_cst->isHidden() ? ZGlobal::getCstR().height() : 0;
    QRect content(0, 0, width(), qMax(0, height() - cstHeight));
    m_frameView->setGeometry(content);
    if (m_content)
        m_content->setGeometry(content);
    if (m_cst)
        m_cst->setGeometry(0, content.bottom() + 1, width(),
                           cstHeight ? cstHeight : ZGlobal::getCstR().height());
}

ZPushButton::ZPushButton(const QString &resourceId, QWidget *parent, int kind, int width,
                         int height)
    : QPushButton(parent), m_kind(kind)
{
    setResourceID(resourceId);
    if (width > 0 && height > 0)
        resize(width, height);
    setFocusPolicy(Qt::NoFocus);
}

void ZPushButton::setResourceID(const QString &resourceId)
{
    m_resource = resourceId;
    static const struct {
        const char *id;
        const char *text;
    } texts[] = {
        {"CST_Menu", "Menu"}, {"CST_Exit", "Exit"}, {"CST_Back", "Back"}, {"CST_Select", "Select"}};
    for (const auto &t : texts) {
        if (resourceId == QLatin1String(t.id)) {
            setText(QCoreApplication::translate("ZPushButton", t.text));
            return;
        }
    }
}

ZScrollView::ZScrollView(QWidget *parent, const char *name, Qt::WindowFlags) : QScrollArea(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWidgetResizable(true);
}

void ZScrollView::setContentsPos(int x, int y)
{
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
}

int ZScrollView::contentsX() const
{
    return horizontalScrollBar()->value();
}

int ZScrollView::contentsY() const
{
    return verticalScrollBar()->value();
}

// ------------------------------------------------------------ skin

ZSkin *ZSkin::skin()
{
    static ZSkin instance;
    return &instance;
}

QPixmap ZSkin::getPixmap(const QString &name) const
{
    // Round badges of the skin's own: a colour and a sign.
    static const struct {
        const char *name;
        QRgb colour;
        const char *sign;
    } icons[] = {
        {"Dialog_Exclamatory_Mark.g", 0xE0A000, "!"},
        {"Dialog_Error.g", 0xC02020, "x"},
        {"Dialog_Question_Mark.g", 0x2050C0, "?"},
    };
    for (const auto &icon : icons) {
        if (name != QLatin1String(icon.name))
            continue;
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(icon.colour));
        painter.drawEllipse(1, 1, 30, 30);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(22);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromLatin1(icon.sign));
        return pixmap;
    }
    return QPixmap();
}

// ------------------------------------------------------------ message boxes

int ZMessageBox::information(QWidget *parent, const QPixmap &icon, const QString &text,
                             const QString &button0, const QString &button1, const QString &button2,
                             int defaultButton)
{
    QMessageBox box(parent);
    box.setIconPixmap(icon);
    box.setText(text);
    QList<QAbstractButton *> buttons;
    for (const QString *label : {&button0, &button1, &button2}) {
        if (!label->isNull())
            buttons.append(box.addButton(*label, QMessageBox::AcceptRole));
    }
    if (buttons.isEmpty())
        buttons.append(box.addButton(QMessageBox::Ok));
    box.setEscapeButton(buttons.last());
    int preferred = defaultButton > 0 ? defaultButton - 1 : 0;
    if (auto *push = qobject_cast<QPushButton *>(buttons.value(preferred)))
        box.setDefaultButton(push);
    box.exec();
    int chosen = int(buttons.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : int(buttons.size()) - 1;
}

// ------------------------------------------------------------ file dialogs

namespace {

QString storageDirectory(const QString &)
{
    return QDir::homePath();
}

QFileDialog *makeFileDialog(QWidget *parent, const QStringList &filters, const QString &storage)
{
    auto *dialog = new QFileDialog(parent, QString(), storageDirectory(storage));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilter(filters.join(QLatin1Char(' ')));
    return dialog;
}

} // namespace

ZOpenDlg::ZOpenDlg(const QStringList &filters, const QString &storage, bool multiple,
                   QWidget *parent)
    : m_dialog(makeFileDialog(parent, filters, storage))
{
    m_dialog->setAcceptMode(QFileDialog::AcceptOpen);
    m_dialog->setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
}

ZOpenDlg::~ZOpenDlg()
{
    delete m_dialog;
}

int ZOpenDlg::exec()
{
    return m_dialog->exec();
}

QString ZOpenDlg::getFile() const
{
    return m_dialog->selectedFiles().value(0);
}

ZSaveDlg::ZSaveDlg(const QStringList &filters, const QString &storage, QWidget *parent)
    : m_dialog(makeFileDialog(parent, filters, storage))
{
    m_dialog->setAcceptMode(QFileDialog::AcceptSave);
    m_dialog->setFileMode(QFileDialog::AnyFile);
}

ZSaveDlg::~ZSaveDlg()
{
    delete m_dialog;
}

int ZSaveDlg::exec()
{
    return m_dialog->exec();
}

QString ZSaveDlg::getSaveName() const
{
    return m_dialog->selectedFiles().value(0);
}

// ------------------------------------------------------------ popup menus

QPopupMenu::QPopupMenu(QWidget *parent, const char *name) : QMenu(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    connect(this, &QMenu::triggered, this, [this](QAction *action) {
        int id = action->data().toInt();
        if (m_items.value(id) == action)
            Q_EMIT activated(id);
    });
}

QAction *QPopupMenu::place(QAction *action, int index)
{
    const QList<QAction *> current = actions();
    if (index >= 0 && index < current.size())
        insertAction(current.at(index), action);
    else
        addAction(action);
    return action;
}

int QPopupMenu::insertItem(const QString &text, int id, int index)
{
    if (id < 0)
        id = m_nextAutoId--;
    auto *action = new QAction(text, this);
    action->setData(id);
    m_items.insert(id, place(action, index));
    return id;
}

int QPopupMenu::insertItem(const QString &text, QPopupMenu *submenu, int id, int index)
{
    if (id < 0)
        id = m_nextAutoId--;
    QAction *action = submenu->menuAction();
    action->setText(text);
    action->setData(id);
    m_items.insert(id, place(action, index));
    return id;
}

int QPopupMenu::insertSeparator(int index)
{
    int id = m_nextAutoId--;
    auto *action = new QAction(this);
    action->setSeparator(true);
    action->setData(id);
    m_items.insert(id, place(action, index));
    return id;
}

void QPopupMenu::removeItem(int id)
{
    QAction *action = m_items.take(id);
    if (!action)
        return;
    removeAction(action);
    if (action->parent() == this)
        delete action;
}

void QPopupMenu::changeItem(int id, const QString &text)
{
    if (QAction *action = m_items.value(id))
        action->setText(text);
}

QString QPopupMenu::text(int id) const
{
    QAction *action = m_items.value(id);
    return action ? action->text() : QString();
}

void QPopupMenu::setItemEnabled(int id, bool enabled)
{
    if (QAction *action = m_items.value(id))
        action->setEnabled(enabled);
}

bool QPopupMenu::isItemEnabled(int id) const
{
    QAction *action = m_items.value(id);
    return action && action->isEnabled();
}

void QPopupMenu::setItemChecked(int id, bool checked)
{
    if (QAction *action = m_items.value(id)) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

bool QPopupMenu::isItemChecked(int id) const
{
    QAction *action = m_items.value(id);
    return action && action->isChecked();
}

int QPopupMenu::idAt(int index) const
{
    QAction *action = actions().value(index);
    return action ? action->data().toInt() : -1;
}

int QPopupMenu::indexOf(int id) const
{
    QAction *action = m_items.value(id);
    return action ? int(actions().indexOf(action)) : -1;
}

int QPopupMenu::count() const
{
    return int(actions().size());
}

void QPopupMenu::clear()
{
    m_items.clear();
    QMenu::clear();
}

int QPopupMenu::exec(const QPoint &point)
{
    QAction *action = QMenu::exec(point);
    return action && action->data().isValid() ? action->data().toInt() : -1;
}

// ------------------------------------------------------------ lists and stacks

QListBox::QListBox(QWidget *parent, const char *name) : QListWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    connect(this, &QListWidget::itemActivated, this, &QListBox::doubleClicked);
}

void QListBox::insertItem(const QPixmap &picture, const QString &text)
{
    new QListWidgetItem(QIcon(picture), text, this);
}

void QListBox::insertItem(const QString &text)
{
    new QListWidgetItem(text, this);
}

QString QListBox::text(int index) const
{
    QListWidgetItem *it = QListWidget::item(index);
    return it ? it->text() : QString();
}

int QListBox::maxItemWidth() const
{
    constexpr int gap = 4;
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int i = 0; i < QListWidget::count(); i++) {
        QListWidgetItem *it = QListWidget::item(i);
        int w = metrics.horizontalAdvance(it->text());
        if (!it->icon().isNull())
            w += iconSize().width() + gap;
        widest = qMax(widest, w);
    }
    return widest;
}

QWidgetStack::QWidgetStack(QWidget *parent, const char *name) : QStackedWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
}

int QWidgetStack::addWidget(QWidget *widget, int id)
{
    if (id < 0) {
        id = 0;
        for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it)
            id = qMax(id, it.key() + 1);
    }
    QStackedWidget::addWidget(widget);
    m_ids.insert(id, widget);
    return id;
}

void QWidgetStack::raiseWidget(int id)
{
    if (QWidget *w = m_ids.value(id))
        setCurrentWidget(w);
}

void QWidgetStack::raiseWidget(QWidget *widget)
{
    if (widget && indexOf(widget) >= 0)
        setCurrentWidget(widget);
}

QWidget *QWidgetStack::widget(int id) const
{
    return m_ids.value(id);
}

int QWidgetStack::id(QWidget *widget) const
{
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it) {
        if (it.value() == widget)
            return it.key();
    }
    return -1;
}

// ------------------------------------------------------------ translations

QString findTranslation(QTranslator *translator, const QString &directory, const QString &baseName,
                        const QString &pattern)
{
    const QString filter = baseName + QLatin1Char('-') + pattern + QStringLiteral(".qm");
    QDir dir(directory, QString(), QDir::IgnoreCase, QDir::AllEntries);
    const QStringList entries =
        dir.entryList(QStringList(filter), QDir::Files | QDir::Readable, QDir::NoSort);
    for (const QString &entry : entries) {
        if (translator->load(entry, directory, QStringLiteral(""), QString()))
            return entry;
    }
    return QString();
}
