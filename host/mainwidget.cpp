// The platform-neutral half of the main window.
#include "host/mainwidget.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <cstdlib>

#include "host/blitter.h"
#include "host/desktopkeys.h"
#include "host/guihost.h"
#include "host/toolkit/toolkit.h"

namespace {

// The one main window of the process.
MainWidgetCommon *instance = nullptr;

QString menuText(const char *key)
{
    return QCoreApplication::translate("MainWidgetCommon", key);
}

// The strip's markers: a frame for the normal view, four corners for full
// screen; 12 x 12 pixels in the strip's text colour.
QPixmap markerIcon(bool full, const QColor &colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(colour);
    if (full) {
        for (int x : {0, 8})
            for (int y : {0, 8}) {
                painter.drawLine(x, y + (y ? 3 : 0), x + 3, y + (y ? 3 : 0));
                painter.drawLine(x + (x ? 3 : 0), y, x + (x ? 3 : 0), y + 3);
            }
    } else {
        painter.drawRect(0, 0, 11, 11);
        painter.drawLine(0, 3, 11, 3);
    }
    return pixmap;
}

} // namespace

void MainWidgetHelper::editContents(QAlien::EditData *data)
{
    // The window opens the contents edit dialog on the record.
    m_owner->editDialog(data);
}

MainWidgetCommon::MainWidgetCommon(QWidget *window) : m_window(window), m_recent(10)
{
    if (instance) {
        QApplication::exit(1);
        return;
    }
    instance = this;
    m_helper = new MainWidgetHelper(this);
    buildMenus();
}

MainWidgetCommon::~MainWidgetCommon()
{
    delete m_bridge;
    m_bridge = nullptr;
    delete m_mainMenu;
    delete m_helper;
    if (instance == this)
        instance = nullptr;
}

void MainWidgetCommon::shutdown()
{
    delete m_bridge;
    m_bridge = nullptr;
    if (m_blitter)
        m_blitter->setGeometry();
}

int MainWidgetCommon::heapBytesFor(const QString &kilobytes)
{
    bool ok = false;
    qlonglong kb = kilobytes.trimmed().toLongLong(&ok);
    // The heap's size is an int of bytes.
    if (!ok || kb <= 0 || kb > (qlonglong(INT32_MAX) >> 10))
        return int(HostGui_defaultHeap);
    return int(kb << 10);
}

// ------------------------------------------------------------ menus

void MainWidgetCommon::buildMenus()
{
    m_mainMenu = new QPopupMenu(nullptr, "main");
    m_fileMenu = new QPopupMenu(m_mainMenu, "file");
    m_recentMenu = new QPopupMenu(m_fileMenu, "recent");
    m_viewMenu = new QPopupMenu(m_mainMenu, "view");
    m_documentMenu = new QPopupMenu(m_mainMenu, "document");

    m_fileMenu->insertItem(menuText("RES_MENU_OPEN"), Menu_open);
    m_fileMenu->insertItem(menuText("RES_MENU_SAVE"), Menu_save);
    m_fileMenu->insertItem(menuText("RES_MENU_RECENT"), m_recentMenu, Menu_recent);

    m_viewMenu->setCheckable(true);
    m_viewMenu->insertItem(menuText("RES_MENU_NEXTPAGE"), Menu_nextPage);
    m_viewMenu->insertItem(menuText("RES_MENU_PREVPAGE"), Menu_prevPage);
    m_viewMenu->insertSeparator();
    m_viewMenu->insertItem(menuText("RES_MENU_FITWIDTH"), Menu_fitWidth);
    m_viewMenu->insertItem(menuText("RES_MENU_FITHEIGHT"), Menu_fitHeight);
    m_viewMenu->insertSeparator();
    m_viewMenu->insertItem(menuText("RES_MENU_ROTATEDOC"), Menu_rotate);
    m_viewMenu->insertSeparator();
    m_viewMenu->insertItem(menuText("RES_MENU_REFLOW"), Menu_reflow);

    m_documentMenu->insertItem(menuText("RES_MENU_GOTOPAGE"), Menu_gotoPage);
    m_documentMenu->insertItem(menuText("RES_MENU_GOTOELEMENT"), Menu_gotoElement);
    m_documentMenu->insertSeparator();
    m_documentMenu->insertItem(menuText("RES_MENU_SEARCH"), Menu_search);
    m_documentMenu->insertItem(menuText("RES_MENU_SEARCH_AGAIN"), Menu_searchAgain);
    m_documentMenu->insertSeparator();
    m_documentMenu->insertItem(menuText("RES_MENU_COPY"), Menu_copy);

    m_mainMenu->insertItem(menuText("RES_MENU_FILE"), m_fileMenu, Menu_file);
    m_mainMenu->insertItem(menuText("RES_MENU_VIEW"), m_viewMenu, Menu_view);
    m_mainMenu->insertItem(menuText("RES_MENU_DOCUMENT"), m_documentMenu, Menu_document);
    m_mainMenu->insertSeparator();
    m_mainMenu->insertItem(menuText("RES_MENU_PREFERENCES"), Menu_preferences);
    m_mainMenu->insertItem(menuText("RES_MENU_HELP"), Menu_help);
    m_mainMenu->insertItem(menuText("RES_MENU_ABOUT"), Menu_about);

    for (QPopupMenu *menu : {m_mainMenu, m_fileMenu, m_recentMenu, m_viewMenu, m_documentMenu})
        QObject::connect(menu, SIGNAL(activated(int)), m_helper, SLOT(menuSelectedSlot(int)));
    QObject::connect(m_mainMenu, SIGNAL(aboutToShow()), m_helper, SLOT(menuAboutToShowSlot()));
}

bool MainWidgetCommon::menuEnabled(int id, const MenuState &s)
{
    switch (id) {
    case Menu_save: return s.canSave && s.editable;
    case Menu_recent: return s.hasRecent;
    case Menu_searchAgain: return s.searchAgain;
    case Menu_copy: return s.selection;
    case Menu_reflow: return s.reflowAvailable;
    case Menu_nextPage: return s.currentPage < s.pageCount;
    case Menu_prevPage: return s.currentPage > 1;
    case Menu_gotoPage: return s.pageCount > 1;
    case Menu_gotoElement: return s.spreadsheet;
    case Menu_view:
    case Menu_document: return s.loaded;
    default: return true;
    }
}

MenuState MainWidgetCommon::menuState() const
{
    MenuState s;
    s.loaded = m_documentLoaded;
    s.canSave = m_bridge && m_bridge->canSave();
    if (m_bridge) {
        const EditModeReport &record = m_bridge->editingRecord();
        s.editable = record.editable && record.savable;
        s.spreadsheet = record.defaults[1] != 0;
        s.reflowAvailable = m_bridge->reflowAvailable();
        s.selection = m_bridge->hasSelection();
    }
    s.searchAgain = m_searchAgain;
    s.reflowOn = m_reflowOn;
    s.hasRecent = !m_recent.entries().isEmpty();
    s.currentPage = m_currentPage;
    s.pageCount = m_pageCount;
    return s;
}

void MainWidgetCommon::updateMenus(const MenuState &s)
{
    m_recentMenu->clear();
    const QStringList &entries = m_recent.entries();
    for (int n = 0; n < entries.size(); n++) {
        const QString &path = entries.at(n);
        m_recentMenu->insertItem(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1),
                                 Menu_recentBase + n);
    }
    m_fileMenu->setItemEnabled(Menu_save, menuEnabled(Menu_save, s));
    m_fileMenu->setItemEnabled(Menu_recent, menuEnabled(Menu_recent, s));
    m_documentMenu->setItemEnabled(Menu_searchAgain, menuEnabled(Menu_searchAgain, s));
    m_documentMenu->setItemEnabled(Menu_copy, menuEnabled(Menu_copy, s));
    m_viewMenu->setItemChecked(Menu_reflow, s.reflowOn);
    for (int id : {Menu_reflow, Menu_nextPage, Menu_prevPage})
        m_viewMenu->setItemEnabled(id, menuEnabled(id, s));
    for (int id : {Menu_gotoPage, Menu_gotoElement})
        m_documentMenu->setItemEnabled(id, menuEnabled(id, s));
    for (int id : {Menu_view, Menu_document})
        m_mainMenu->setItemEnabled(id, menuEnabled(id, s));
}

void MainWidgetCommon::menuAboutToShow()
{
    updateMenus(menuState());
}

void MainWidgetCommon::menuSelected(int id)
{
    if (id >= Menu_recentBase) {
        const QStringList &entries = m_recent.entries();
        if (id - Menu_recentBase < entries.size())
            openDocument(entries.at(id - Menu_recentBase));
        return;
    }
    switch (id) {
    case Menu_open: openDialog(); break;
    case Menu_save: saveDialog(); break;
    case Menu_nextPage:
        if (m_bridge)
            m_bridge->pageStep(1);
        break;
    case Menu_prevPage:
        if (m_bridge)
            m_bridge->pageStep(-1);
        break;
    case Menu_fitWidth:
        if (m_bridge)
            m_bridge->fitWidth();
        break;
    case Menu_fitHeight:
        if (m_bridge)
            m_bridge->fitHeight();
        break;
    case Menu_rotate:
        if (m_bridge)
            m_bridge->rotate();
        break;
    case Menu_reflow:
        m_reflowOn = !m_reflowOn;
        if (m_bridge)
            m_bridge->setReflow(m_reflowOn);
        break;
    case Menu_gotoPage: prompt("GOTOPAGE", QString(), Menu_gotoPage); break;
    case Menu_gotoElement: prompt("GOTOELEMENT", QString(), Menu_gotoElement); break;
    case Menu_search:
        if (m_bridge)
            m_bridge->cancelSearch();
        prompt("SEARCH", QString(), Menu_search);
        break;
    case Menu_searchAgain:
        if (m_bridge)
            m_bridge->searchAgain();
        break;
    case Menu_copy: copySelection(); break;
    case Menu_preferences:
        m_dialogKind = Dialog_preferences;
        preferencesDialog(&m_settings);
        break;
    case Menu_help:
        m_dialogKind = Dialog_help;
        helpDialog();
        break;
    case Menu_about:
        m_dialogKind = Dialog_about;
        aboutDialog();
        break;
    default: break;
    }
}

// ------------------------------------------------------------ prompts

void MainWidgetCommon::prompt(const char *kind, const QString &text, int id)
{
    auto *p = new Prompt;
    p->title = menuText(QByteArray("RES_TITLE_").append(kind).constData());
    p->hint = menuText(QByteArray("RES_HINT_").append(kind).constData());
    p->text = text;
    p->id = id;
    m_dialogKind = Dialog_prompt;
    promptDialog(p);
}

void MainWidgetCommon::promptClosed(Prompt *p, bool accepted)
{
    if (!p)
        return;
    if (m_bridge) {
        switch (p->id) {
        case 1: m_bridge->passwordEntered(accepted ? p->text : QString()); break;
        case Menu_gotoPage:
            if (accepted)
                m_bridge->gotoPage(p->text.toInt());
            break;
        case Menu_gotoElement:
            if (accepted)
                m_bridge->gotoElement(p->text);
            break;
        case Menu_search:
            if (accepted) {
                m_bridge->startSearch(p->text);
                m_searchAgain = true;
            }
            break;
        default: break;
        }
    }
    delete p;
}

void MainWidgetCommon::getPassword(const QString &text)
{
    prompt("PASSWORD", text, 1);
}

void MainWidgetCommon::askQuestion(QAlien::Question *question)
{
    if (question)
        question->answer = questionBox(&question->text) ? 1 : 0;
}

// ------------------------------------------------------------ start-up

bool MainWidgetCommon::init(const char *startDocument)
{
    m_titleColour = QColor(255, 255, 255);
    m_titleBackground = QColor(40, 60, 110);
    m_normalIcon = markerIcon(false, m_titleColour);
    m_fullIcon = markerIcon(true, m_titleColour);
    if (m_normalIcon.isNull() || m_fullIcon.isNull())
        return false;
    // The strip's font: "Arial" is drawn with Liberation Sans here.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));

    const int heap = heapBytesFor(menuText("RES_MEMORY_HEAP_KB"));
    m_bridge = new QAlien(heap, m_width, m_height, m_fullHeight);
    // The window may grow to the screen's size.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_bridge->setMaximumSize(screen->size().width(), screen->size().height() - titleHeight);
    QAlien *b = m_bridge;
    MainWidgetHelper *h = m_helper;
    QObject::connect(b, &QAlien::screenUpdateAvailable, h, &MainWidgetHelper::renderUpdate);
    QObject::connect(b, &QAlien::busy, h, &MainWidgetHelper::busy);
    QObject::connect(b, &QAlien::closedown, h, &MainWidgetHelper::closedown);
    QObject::connect(b, &QAlien::editContents, h, &MainWidgetHelper::editContents);
    QObject::connect(b, &QAlien::showAlert, h, &MainWidgetHelper::showAlert);
    QObject::connect(b, &QAlien::showError, h, &MainWidgetHelper::showError);
    QObject::connect(b, &QAlien::saved, h, &MainWidgetHelper::saved);
    QObject::connect(b, &QAlien::askQuestion, h, &MainWidgetHelper::askQuestion);
    QObject::connect(b, &QAlien::editingMode, h, &MainWidgetHelper::editingMode);
    QObject::connect(b, &QAlien::pageInfo, h, &MainWidgetHelper::pageInfo);
    QObject::connect(b, &QAlien::locInfo, h, &MainWidgetHelper::locInfo);
    QObject::connect(b, &QAlien::docLoaded, h, &MainWidgetHelper::docLoaded);
    QObject::connect(b, &QAlien::resizeCompleted, h, &MainWidgetHelper::resizeCompleted);
    QObject::connect(b, &QAlien::getPassword, h, &MainWidgetHelper::getPassword);
    QObject::connect(b, &QAlien::zipEntry, h, &MainWidgetHelper::zipEntry);
    if (auto *app = qobject_cast<ZApplication *>(QCoreApplication::instance()))
        QObject::connect(app, &ZApplication::signalOpenDoc, h, &MainWidgetHelper::openDoc);

    m_startDocument = startDocument ? QString::fromUtf8(startDocument) : QString();
    if (!m_bridge->init(m_startDocument)) {
        delete m_bridge;
        m_bridge = nullptr;
        return false;
    }
    m_bridge->setDesktopSelection(true);
    m_settingsPath = HostFiles_path(".vexlaneditrc");
    if (HostSettings_read(m_settingsPath, &m_settings))
        m_bridge->applySettings(m_settings.singlePage, m_settings.autoEncoding,
                                m_settings.encoding);
    return true;
}

void MainWidgetCommon::settingsChanged(const HostSettings &settings)
{
    m_settings = settings;
    if (m_bridge)
        m_bridge->applySettings(m_settings.singlePage, m_settings.autoEncoding,
                                m_settings.encoding);
    HostSettings_write(m_settingsPath.isEmpty() ? HostFiles_path(".vexlaneditrc") : m_settingsPath,
                       m_settings);
}

// ------------------------------------------------------------ input

void MainWidgetCommon::keyPress(QKeyEvent *event)
{
    if (m_bridge)
        m_bridge->processKeyEvent(event, true);
}

void MainWidgetCommon::keyRelease(QKeyEvent *event)
{
    if (m_bridge)
        m_bridge->processKeyEvent(event, false);
}

void MainWidgetCommon::mousePress(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    m_pressX = p.x();
    m_pressY = p.y();
    if (p.y() < titleHeight && m_documentLoaded) {
        // The title strip switches full screen; its release is no tap.
        if (m_bridge)
            m_bridge->toggleFullScreen();
        m_ignoreRelease = true;
        return;
    }
    if (m_bridge)
        m_bridge->mouseEvent(p.x(), p.y() - titleHeight, 0);
}

void MainWidgetCommon::mouseRelease(QMouseEvent *event)
{
    if (m_ignoreRelease) {
        m_ignoreRelease = false;
        return;
    }
    const QPoint p = event->position().toPoint();
    if (m_bridge)
        m_bridge->mouseEvent(p.x(), p.y() - titleHeight, 1);
}

void MainWidgetCommon::mouseMove(QMouseEvent *event)
{
    if (m_ignoreRelease)
        return;
    const QPoint p = event->position().toPoint();
    if (m_bridge)
        m_bridge->mouseEvent(p.x(), p.y() - titleHeight, 2);
}

void MainWidgetCommon::mouseDoubleClick(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    if (p.y() < titleHeight && m_documentLoaded) {
        // A quick second press on the strip is a press like the first:
        // every press switches full screen, and its release is no tap.
        if (m_bridge)
            m_bridge->toggleFullScreen();
        m_ignoreRelease = true;
        return;
    }
    if (m_bridge)
        m_bridge->mouseEvent(p.x(), p.y() - titleHeight, 3);
}

void MainWidgetCommon::wheel(QWheelEvent *event)
{
    if (!m_bridge)
        return;
    // One notch is 120 eighths of a degree; touchpads send less at a time.
    constexpr int notch = 120;
    constexpr int scrollPerNotch = 48;
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        m_wheelX = 0;
        m_wheelY += delta.y();
        while (m_wheelY >= notch) {
            m_wheelY -= notch;
            m_bridge->zoomStep(true);
        }
        while (m_wheelY <= -notch) {
            m_wheelY += notch;
            m_bridge->zoomStep(false);
        }
        return;
    }
    // The remainders are kept in pixels times a notch, so that no part of
    // a small turn is lost.
    m_wheelX += delta.x() * scrollPerNotch;
    m_wheelY += delta.y() * scrollPerNotch;
    const int dx = m_wheelX / notch, dy = m_wheelY / notch;
    m_wheelX -= dx * notch;
    m_wheelY -= dy * notch;
    // The wheel turned away from the reader (positive) shows what is above:
    // the content moves down, as a drag down would move it.
    m_bridge->wheel(dx, dy);
}

void MainWidgetCommon::desktopCommand(int command)
{
    switch (command) {
    case Desktop_find:
        if (m_documentLoaded)
            menuSelected(Menu_search);
        break;
    case Desktop_findAgain:
        if (m_searchAgain)
            menuSelected(Menu_searchAgain);
        else if (m_documentLoaded)
            menuSelected(Menu_search);
        break;
    case Desktop_gotoPage:
        if (m_documentLoaded && m_pageCount > 1)
            menuSelected(Menu_gotoPage);
        break;
    case Desktop_fullScreen:
        if (m_documentLoaded && m_bridge)
            m_bridge->toggleFullScreen();
        break;
    case Desktop_open: menuSelected(Menu_open); break;
    case Desktop_quit:
        if (m_window)
            m_window->close();
        break;
    case Desktop_copy: copySelection(); break;
    default: break;
    }
}

bool MainWidgetCommon::copySelection()
{
    return m_bridge && m_bridge->copySelection();
}

bool MainWidgetCommon::filterEvent(QEvent *event)
{
    switch (int(event->type())) {
    case QEvent::Wheel: wheel(static_cast<QWheelEvent *>(event)); return true;
    case QEvent::MouseButtonPress: mousePress(static_cast<QMouseEvent *>(event)); return true;
    case QEvent::MouseButtonRelease: mouseRelease(static_cast<QMouseEvent *>(event)); return true;
    case QEvent::MouseButtonDblClick:
        mouseDoubleClick(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::MouseMove: mouseMove(static_cast<QMouseEvent *>(event)); return true;
    case QEvent::Paint: {
        // The frame buffer shows beneath the window by itself; the window
        // paints its extras and the strip.
        drawExtras();
        QPainter painter(m_window);
        paintTitle(painter);
        return true;
    }
    case 1000: {
        // A second main window only waits for the application to quit.
        if (instance != this)
            return true;
        auto *start = static_cast<QCustomEvent *>(event);
        if (!init(static_cast<const char *>(start->data())))
            exit(0);
        return true;
    }
    default: return false;
    }
}

// ------------------------------------------------------------ engine notices

void MainWidgetCommon::renderUpdate(const short *pixels, int x, int y, int w, int h)
{
    if (!m_blitter)
        return;
    if (m_bridge)
        m_blitter->setSourceRowBytes(m_bridge->updateRowBytes());
    QRect rect(QPoint(x, y + titleHeight), QPoint(x + w - 1, y + titleHeight + h - 1));
    m_blitter->blit(pixels, &rect);
}

void MainWidgetCommon::docLoaded(bool loaded)
{
    if (loaded) {
        m_title = m_startDocument;
        m_recent.add(m_title);
        m_documentLoaded = true;
    } else {
        m_currentPage = 0;
        m_title.clear();
        m_documentLoaded = false;
    }
    m_searchAgain = false;
    repaintTitle();
}

void MainWidgetCommon::pageInfo(QString *text)
{
    if (text) {
        m_pageText = *text;
        m_currentPage = m_bridge ? m_bridge->currentPage() : 0;
        m_pageCount = m_bridge ? m_bridge->pageCount() : 0;
    } else {
        m_pageText = QStringLiteral("-/-");
        m_currentPage = m_pageCount = 0;
    }
    repaintTitle();
}

void MainWidgetCommon::locInfo(QString *text)
{
    m_locationText = text ? *text : QString();
    repaintTitle();
}

void MainWidgetCommon::resized(int height)
{
    bool full = height == m_fullHeight;
    if (full == m_fullScreen)
        return;
    m_fullScreen = full;
    contentResized();
    repaintTitle();
}

void MainWidgetCommon::saved(bool ok)
{
    if (!ok)
        return;
    m_title = m_saveName;
    m_recent.add(m_title);
    repaintTitle();
}

void MainWidgetCommon::openDocument(const QString &path)
{
    if (path.isEmpty() || !m_bridge)
        return;
    m_startDocument = path;
    m_bridge->openDocument(path);
}

void MainWidgetCommon::repaintTitle()
{
    if (m_window)
        m_window->update(0, 0, m_width, titleHeight);
}

QString MainWidgetCommon::titleRightText() const
{
    QString right = m_locationText;
    if (m_pageCount > 1)
        right += QStringLiteral(" | ") + m_pageText;
    return right;
}

void MainWidgetCommon::paintTitle(QPainter &painter)
{
    const int width = m_width > 0 ? m_width : m_window->width();
    painter.fillRect(0, 0, width, titleHeight, m_titleBackground);
    if (!m_documentLoaded)
        return;
    painter.drawPixmap(width - 15, 1, m_fullScreen ? m_fullIcon : m_normalIcon);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(m_titleFontSize);
    font.setWeight(QFont::Normal);
    painter.setFont(font);
    painter.setPen(m_titleColour);
    const QString right = titleRightText();
    const QRect rightArea(QPoint(width / 2, 0), QPoint(width - 20, titleHeight - 1));
    QRect used;
    painter.drawText(rightArea, Qt::AlignRight | Qt::AlignVCenter, right, &used);
    const QString name = m_title.mid(m_title.lastIndexOf(QLatin1Char('/')) + 1);
    const int end = right.isEmpty() ? width - 20 : used.left() - 4;
    painter.drawText(QRect(QPoint(2, 0), QPoint(std::max(2, end), titleHeight - 1)),
                     Qt::AlignLeft | Qt::AlignVCenter, name);
}

// ------------------------------------------------------------ archive folders

QString MainWidgetCommon::selectedPath() const
{
    const DirEntry &entry = m_selector.entries.at(m_selector.selected);
    if (entry.name == QLatin1String(".."))
        return m_selector.path.left(
            std::max<qsizetype>(0, m_selector.path.lastIndexOf(QLatin1Char('/'))));
    return m_selector.path + QLatin1Char('/') + entry.name;
}

void MainWidgetCommon::zipEntry(const QString &path, DirEntry *entry)
{
    if (path != m_selector.path) {
        m_selector.path = path;
        m_selector.entries.clear();
    }
    if (entry) {
        m_selector.entries.append(*entry);
        return;
    }
    m_selector.selected = -1;
    busy(false);
    if (m_selector.refreshing) {
        m_selector.refreshing = false;
        Q_EMIT m_helper->refreshDirDone(&m_selector);
    } else if (!m_selector.entries.isEmpty()) {
        m_dialogKind = Dialog_directory;
        directoryDialog(0);
    }
}

void MainWidgetCommon::refreshDir(DirSelector *selector)
{
    if (selector != &m_selector || m_selector.selected < 0 ||
        m_selector.selected >= m_selector.entries.size())
        return;
    m_selector.refreshing = false;
    if (!m_selector.entries.at(m_selector.selected).isDirectory)
        return;
    busy(true);
    m_selector.refreshing = true;
    const QString path = selectedPath();
    m_selector.entries.clear();
    if (m_bridge)
        m_bridge->openDocument(path);
}

void MainWidgetCommon::directoryClosed(bool accepted)
{
    m_selector.refreshing = false;
    if (!accepted || m_selector.selected < 0 || m_selector.selected >= m_selector.entries.size())
        return;
    const bool directory = m_selector.entries.at(m_selector.selected).isDirectory;
    const QString path = selectedPath();
    m_selector.entries.clear();
    if (directory) {
        if (m_bridge)
            m_bridge->openDocument(path);
    } else {
        openDocument(path);
    }
}
