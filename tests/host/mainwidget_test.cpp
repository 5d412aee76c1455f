// The main window with the real engine: start-up from its first event,
// the settings file, key and pointer routing, the menus and their enable
// rules, and the title strip's texts.
#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include "host/blitter.h"
#include "host/dialogs/basedialog.h"
#include "host/ezxmainwidget.h"
#include "tests/host/gui_fixture.h"

TEST(MainMenu, EnableRules)
{
    MenuState none;
    MenuState loaded;
    loaded.loaded = true;
    loaded.currentPage = 1;
    loaded.pageCount = 1;
    MenuState middle = loaded;
    middle.currentPage = 2;
    middle.pageCount = 3;
    MenuState last = middle;
    last.currentPage = 3;
    MenuState editable = loaded;
    editable.canSave = editable.editable = editable.spreadsheet = true;
    editable.searchAgain = editable.reflowAvailable = editable.hasRecent = true;
    MenuState unsaved = loaded;
    unsaved.canSave = true; // changes, but the record does not allow editing

    const struct {
        int id;
        const MenuState &state;
        bool enabled;
    } cases[] = {
        {Menu_view, none, false},
        {Menu_view, loaded, true},
        {Menu_document, none, false},
        {Menu_document, loaded, true},
        {Menu_save, loaded, false},
        {Menu_save, unsaved, false},
        {Menu_save, editable, true},
        {Menu_recent, loaded, false},
        {Menu_recent, editable, true},
        {Menu_searchAgain, loaded, false},
        {Menu_searchAgain, editable, true},
        {Menu_reflow, loaded, false},
        {Menu_reflow, editable, true},
        {Menu_nextPage, loaded, false},
        {Menu_nextPage, middle, true},
        {Menu_nextPage, last, false},
        {Menu_prevPage, loaded, false},
        {Menu_prevPage, middle, true},
        {Menu_prevPage, last, true},
        {Menu_gotoPage, loaded, false},
        {Menu_gotoPage, middle, true},
        {Menu_gotoElement, loaded, false},
        {Menu_gotoElement, editable, true},
        {Menu_open, none, true},
        {Menu_file, none, true},
        {Menu_about, none, true},
        {Menu_help, none, true},
        {Menu_preferences, none, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MainWidgetCommon::menuEnabled(c.id, c.state), c.enabled) << "menu " << c.id;
}

TEST(MainMenu, HeapSizeFromTheTranslation)
{
    const struct {
        const char *text;
        int bytes;
    } cases[] = {
        {"65536", 64 << 20},
        {"1024", 1 << 20},
        {" 2048 ", 2 << 20},
        // Missing, not a number or not positive: the default, not 1 MiB.
        {"", 64 << 20},
        {"RES_MEMORY_HEAP_KB", 64 << 20},
        {"12ab", 64 << 20},
        {"0", 64 << 20},
        {"-5", 64 << 20},
        {"99999999999", 64 << 20},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MainWidgetCommon::heapBytesFor(QString::fromLatin1(c.text)), c.bytes) << c.text;
}

namespace {

// A main window whose host files live in a directory of the test's own,
// started from its first event with the engine, its calls recorded.
class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        oldData = qgetenv("MYSTUFF_DATA_PATH");
        qputenv("MYSTUFF_DATA_PATH", dir.path().toLocal8Bit());
        // Message boxes the engine's notices open are closed at once.
        QObject::connect(&closer, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                closedBoxes++;
                modal->close();
            }
        });
        closer.start(20);
    }
    void TearDown() override
    {
        window.reset();
        qputenv("MYSTUFF_DATA_PATH", oldData);
    }
    void writeSettings(const QByteArray &text)
    {
        QFile file(dir.filePath(QStringLiteral(".vexlaneditrc")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    // Makes the window with the arguments and runs its start-up.
    void open(std::vector<const char *> args = {"vexlanedit"})
    {
        argv.assign(args.begin(), args.end());
        argc = int(argv.size());
        window = std::make_unique<EzxMainWidget>(argc, const_cast<char **>(argv.data()));
        window->show();
        pumpEvents();
        ASSERT_TRUE(window->bridge());
        ASSERT_TRUE(runUntil([&] { return window->bridge()->keysEnabled(); }));
        CallRecorder::clear();
    }
    void key(int qtKey, bool press)
    {
        QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &e);
    }
    void mouse(QEvent::Type type, int x, int y)
    {
        QMouseEvent e(type, QPointF(x, y), window->mapToGlobal(QPointF(x, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &e);
    }

    Catalogue catalogue;
    QTimer closer;
    int closedBoxes = 0;
    CallRecorder recorder;
    QTemporaryDir dir;
    QByteArray oldData;
    int argc = 0;
    std::vector<const char *> argv;
    std::unique_ptr<EzxMainWidget> window;
};

} // namespace

TEST_F(MainWindow, StartsWithTheContentSizeSettingsAndSoftKeys)
{
    writeSettings("SinglePage=1\nthis line is no setting\nEncoding=3\n");
    CallRecorder::clear();
    argv = {"vexlanedit"};
    argc = 1;
    window = std::make_unique<EzxMainWidget>(argc, const_cast<char **>(argv.data()));
    window->show();
    pumpEvents();
    ASSERT_TRUE(window->bridge());
    // The content: below the strip, above the soft keys (full screen: to
    // the bottom), with the window below the status bar.
    const QRect screen = ZGlobal::getScreenR();
    EXPECT_EQ(window->contentWidth(), screen.width());
    EXPECT_EQ(window->fullScreenHeight(), screen.height() - 16);
    EXPECT_EQ(window->contentHeight(),
              screen.height() - ZGlobal::getGnbR().height() - ZGlobal::getCstR().height() - 16);
    EXPECT_EQ(window->geometry().top(), ZGlobal::getGnbR().height());
    ASSERT_TRUE(window->blitter());
    EXPECT_EQ(window->blitter()->depthCode(), 3);
    ASSERT_TRUE(window->menuButton());
    EXPECT_EQ(window->softKey(6), window->menuButton());
    EXPECT_TRUE(window->fullScreenButton()->text().isEmpty());
    // The strip's "Arial" is drawn with Liberation Sans.
    EXPECT_EQ(QFont::substitute(QStringLiteral("Arial"))
                  .compare(QStringLiteral("Liberation Sans"), Qt::CaseInsensitive),
              0);
    // The settings reached the engine: Encoding=3 is character set 0x10003.
    bool charset = false, single = false;
    for (const EngineCall &c : CallRecorder::named("setConfigInt")) {
        if (c.text == "DefaultCharacterSet" && c.a == 0x10003)
            charset = true;
        if (c.text == "FV_singlePageLoad" && c.a == 1)
            single = true;
    }
    EXPECT_TRUE(charset);
    EXPECT_TRUE(single);
    EXPECT_EQ(window->settings().encoding, 3);
    EXPECT_EQ(window->settingsPath(), dir.filePath(QStringLiteral(".vexlaneditrc")));
}

TEST_F(MainWindow, TheStartDocumentIsTheFirstArgument)
{
    const QString doc = QStringLiteral(VEXLAN_FIXTURES "/app/hello.txt");
    open({"vexlanedit", VEXLAN_FIXTURES "/app/hello.txt"});
    EXPECT_EQ(window->bridge()->documentName(), doc);
}

TEST_F(MainWindow, KeysReachTheEngineAndThePagingKeysTurnPages)
{
    open();
    const struct {
        int key;
        int32_t code; // 0: no engine key
    } cases[] = {
        {Qt::Key_PageUp, 0x10014},
        {Qt::Key_PageDown, 0x10015},
        {Qt::Key_Up, 0x10003},
        {Qt::Key_2, 0x10008},
        {Qt::Key_8, 0},
        {Qt::Key_3, 0x10007},
        {Qt::Key_Home, 0x1000D},
        {Qt::Key_F1, 0},
        {Qt::Key_F2, 0},
        {Qt::Key_F5, 0},
        {Qt::Key_Q, 0},
    };
    for (const auto &c : cases) {
        CallRecorder::clear();
        key(c.key, true);
        key(c.key, false);
        std::vector<EngineCall> presses = CallRecorder::named("keyPress");
        std::vector<EngineCall> releases = CallRecorder::named("keyRelease");
        if (!c.code) {
            EXPECT_TRUE(presses.empty() && releases.empty()) << "key 0x" << std::hex << c.key;
            continue;
        }
        ASSERT_EQ(presses.size(), 1u) << "key 0x" << std::hex << c.key;
        EXPECT_EQ(presses[0].a, c.code);
        ASSERT_EQ(releases.size(), 1u);
        EXPECT_EQ(releases[0].a, c.code);
    }
    // The screen-mode key 8 is the window's full screen, on its press
    // (the table's press turned it on): the engine's screen takes the
    // normal height, then the full one.
    EXPECT_TRUE(window->bridge()->isFullScreen());
    CallRecorder::clear();
    key(Qt::Key_8, true);
    EXPECT_FALSE(window->bridge()->isFullScreen());
    key(Qt::Key_8, false);
    key(Qt::Key_8, true);
    EXPECT_TRUE(window->bridge()->isFullScreen());
    key(Qt::Key_8, false);
    std::vector<EngineCall> sizes = CallRecorder::named("setScreenSize");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].b, window->contentHeight());
    EXPECT_EQ(sizes[1].b, window->fullScreenHeight());
}

TEST_F(MainWindow, ATapIsOneStepAndTheEngineRepeatsHeldKeys)
{
    // The engine hands a release to the view at once: a tap ends before
    // the engine's repeat starts.
    CallRecorder::clear();
    open();
    auto send = [&](QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods, bool autoRepeat) {
        QKeyEvent e(type, qtKey, mods, QString(), autoRepeat);
        QCoreApplication::sendEvent(window.get(), &e);
    };
    // The desktop's own repeats of a held pan or zoom key reach the engine
    // as nothing: it repeats the one press itself until the release.
    send(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, false);
    for (int i = 0; i < 3; i++) {
        send(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, true);
        send(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, true);
    }
    send(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, false);
    EXPECT_EQ(CallRecorder::count("keyPress"), 1);
    EXPECT_EQ(CallRecorder::count("keyRelease"), 1);
    // A held page key turns at the desktop's rate: each repeat is a tap.
    CallRecorder::clear();
    send(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier, false);
    send(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier, true);
    send(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier, true);
    send(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier, false);
    EXPECT_EQ(CallRecorder::count("keyPress"), 2);
    EXPECT_EQ(CallRecorder::count("keyRelease"), 2);
    // Ctrl let go before "+": the release still ends the zoom key's press,
    // or the engine would repeat it for ever.
    CallRecorder::clear();
    send(QEvent::KeyPress, Qt::Key_Plus, Qt::ControlModifier, false);
    send(QEvent::KeyRelease, Qt::Key_Plus, Qt::NoModifier, false);
    std::vector<EngineCall> releases = CallRecorder::named("keyRelease");
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].a, 0x10007);
    // Ctrl+Shift+"=" comes as Plus; with Shift let go first its release is
    // Equal's, of the same physical key: that release ends the press too.
    // Another key's release ends nothing.
    CallRecorder::clear();
    auto sendScan = [&](QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods, quint32 scan) {
        QKeyEvent e(type, qtKey, mods, scan, 0, 0);
        QCoreApplication::sendEvent(window.get(), &e);
    };
    sendScan(QEvent::KeyPress, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier, 21);
    sendScan(QEvent::KeyRelease, Qt::Key_Equal, Qt::ControlModifier, 22);
    EXPECT_EQ(CallRecorder::count("keyRelease"), 0);
    sendScan(QEvent::KeyRelease, Qt::Key_Equal, Qt::ControlModifier, 21);
    releases = CallRecorder::named("keyRelease");
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].a, 0x10007);
    EXPECT_EQ(CallRecorder::count("keyPress"), 1);
}

TEST_F(MainWindow, TheHostAsksForImmediateReleasesAndPansThatTurnPages)
{
    CallRecorder::clear();
    argv = {"vexlanedit"};
    argc = 1;
    window = std::make_unique<EzxMainWidget>(argc, const_cast<char **>(argv.data()));
    window->show();
    pumpEvents();
    ASSERT_TRUE(window->bridge());
    bool releases = false, turns = false;
    for (const EngineCall &c : CallRecorder::calls()) {
        if (c.name != "setConfigInt")
            continue;
        releases |= c.text == "Vexlan_actionAllSoftKeyReleases" && c.a == 1;
        turns |= c.text == "FV_panToPageEnable" && c.a == 1;
    }
    EXPECT_TRUE(releases);
    EXPECT_TRUE(turns);
}

TEST_F(MainWindow, DesktopCommandKeys)
{
    open();
    auto ctrl = [&](int qtKey) {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::ControlModifier);
        QCoreApplication::sendEvent(window.get(), &press);
        QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::ControlModifier);
        QCoreApplication::sendEvent(window.get(), &release);
    };
    // Without a document Find, Go to page and Full screen do nothing.
    ctrl(Qt::Key_F);
    ctrl(Qt::Key_G);
    key(Qt::Key_F11, true);
    key(Qt::Key_F11, false);
    EXPECT_EQ(window->dialogKind(), int(Dialog_none));
    EXPECT_FALSE(window->bridge()->isFullScreen());

    window->docLoaded(true);
    QCoreApplication::postEvent(window->bridge(),
                                QCustomEvent::withValue(1013, intptr_t(1) | intptr_t(4) << 32));
    pumpEvents();
    CallRecorder::clear();
    ctrl(Qt::Key_F);
    EXPECT_EQ(window->dialogKind(), int(Dialog_prompt));
    EXPECT_EQ(CallRecorder::count("searchCancel"), 1);
    EXPECT_EQ(CallRecorder::count("keyPress"), 0);
    key(Qt::Key_F11, true);
    key(Qt::Key_F11, false);
    EXPECT_TRUE(window->bridge()->isFullScreen());
    // F3 before any search asks for one; after a search it searches again.
    window->promptClosed(new Prompt{QString(), QString(), QStringLiteral("word"), Menu_search},
                         true);
    CallRecorder::clear();
    key(Qt::Key_F3, true);
    key(Qt::Key_F3, false);
    EXPECT_EQ(CallRecorder::count("searchNext"), 1);
    // The search prompt that Ctrl+F opened hands its record back when it
    // closes.
    for (EZXBaseDialog *dialog : window->findChildren<EZXBaseDialog *>())
        dialog->reject();
    pumpEvents();
}

TEST_F(MainWindow, TheWheelScrollsAndWithCtrlZooms)
{
    open();
    auto wheel = [&](int dy, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(100, 200), window->mapToGlobal(QPointF(100, 200)), QPoint(),
                      QPoint(0, dy), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.get(), &e);
    };
    // One notch towards the reader moves the content up by 48 pixels, as a
    // drag up would; half notches add up to one.
    wheel(-120, Qt::NoModifier);
    wheel(60, Qt::NoModifier);
    wheel(60, Qt::NoModifier);
    std::vector<EngineCall> pans = CallRecorder::named("pointerPan");
    ASSERT_EQ(pans.size(), 6u);
    EXPECT_EQ(pans[0].b, -48);
    EXPECT_EQ(pans[0].c, 0x10004);
    EXPECT_EQ(pans[1].c, 0x10005);
    EXPECT_EQ(pans[2].b, 24);
    EXPECT_EQ(pans[4].b, 24);
    // Ctrl: a notch away zooms in one step, towards zooms out; a tap each.
    CallRecorder::clear();
    wheel(120, Qt::ControlModifier);
    wheel(-60, Qt::ControlModifier);
    wheel(-60, Qt::ControlModifier);
    std::vector<EngineCall> presses = CallRecorder::named("keyPress");
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].a, 0x10007);
    EXPECT_EQ(presses[1].a, 0x10009);
    EXPECT_EQ(CallRecorder::count("keyRelease"), 2);
    EXPECT_EQ(CallRecorder::count("pointerPan"), 0);
}

TEST_F(MainWindow, APressOnTheStripTogglesFullScreenAndSwallowsItsRelease)
{
    open();
    int64_t now = 1000000;
    window->bridge()->pointer().setClock([&] { return now; });
    // Without a document the strip is content like any other.
    mouse(QEvent::MouseButtonPress, 100, 10);
    mouse(QEvent::MouseButtonRelease, 100, 10);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 1);
    EXPECT_FALSE(window->bridge()->isFullScreen());

    window->docLoaded(true);
    CallRecorder::clear();
    mouse(QEvent::MouseButtonPress, 100, 10);
    EXPECT_TRUE(window->bridge()->isFullScreen());
    mouse(QEvent::MouseButtonRelease, 100, 10);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 0);
    EXPECT_EQ(CallRecorder::count("primaryAction"), 0);
    // Every press switches, the second of a double press too: the window
    // is back to normal, and neither release reaches the engine.
    mouse(QEvent::MouseButtonPress, 100, 10);
    EXPECT_FALSE(window->bridge()->isFullScreen());
    mouse(QEvent::MouseButtonRelease, 100, 10);
    mouse(QEvent::MouseButtonDblClick, 100, 10);
    EXPECT_TRUE(window->bridge()->isFullScreen());
    mouse(QEvent::MouseButtonRelease, 100, 10);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 0);
    EXPECT_EQ(CallRecorder::count("primaryAction"), 0);
    mouse(QEvent::MouseButtonPress, 100, 10);
    mouse(QEvent::MouseButtonRelease, 100, 10);
    EXPECT_FALSE(window->bridge()->isFullScreen());
    // A tap below the strip reaches the engine.
    now += 1000;
    mouse(QEvent::MouseButtonPress, 100, 200);
    mouse(QEvent::MouseButtonRelease, 100, 200);
    EXPECT_EQ(CallRecorder::count("pointerDown"), 1);
    EXPECT_EQ(CallRecorder::count("primaryAction"), 1);
}

TEST_F(MainWindow, MenusAndTheirCommands)
{
    open();
    // The view menu's entries and separators, in order.
    QPopupMenu *view = window->viewMenu();
    std::vector<int> ids;
    for (int i = 0; i < view->count(); i++)
        ids.push_back(view->idAt(i) < 0 ? -1 : view->idAt(i));
    EXPECT_EQ(ids, (std::vector<int>{8, 9, -1, 7, 6, -1, 11, -1, 10}));
    EXPECT_LT(window->mainMenu()->idAt(3), 0); // the separator before the preferences
    EXPECT_EQ(window->mainMenu()->idAt(4), int(Menu_preferences));

    window->menuAboutToShow();
    EXPECT_FALSE(window->mainMenu()->isItemEnabled(Menu_view));
    window->docLoaded(true);
    window->menuAboutToShow();
    EXPECT_TRUE(window->mainMenu()->isItemEnabled(Menu_view));

    const struct {
        int id;
        const char *call;
        intptr_t value;
    } commands[] = {
        {Menu_nextPage, "postPageStep", 0x10002}, {Menu_prevPage, "postPageStep", 0x10003},
        {Menu_fitWidth, "fit", 0x10000},          {Menu_fitHeight, "fit", 0x10001},
        {Menu_reflow, "sendKey", 0x10001},
    };
    for (const auto &c : commands) {
        CallRecorder::clear();
        window->menuSelected(c.id);
        std::vector<EngineCall> made = CallRecorder::named(c.call);
        ASSERT_EQ(made.size(), 1u) << c.call;
        EXPECT_EQ(made[0].a, c.value) << c.call;
    }
    // The save command does nothing for a document that is neither a Word
    // nor an Excel document.
    CallRecorder::clear();
    window->menuSelected(Menu_save);
    EXPECT_EQ(CallRecorder::count("saveDocumentAs"), 0);
}

TEST_F(MainWindow, LoadedDocumentsFillTheRecentMenuAndTheTitle)
{
    open({"vexlanedit", "/tmp/some dir/notes.txt"});
    window->docLoaded(true);
    EXPECT_EQ(window->titleText(), QStringLiteral("/tmp/some dir/notes.txt"));
    ASSERT_FALSE(window->recentFiles().entries().isEmpty());
    EXPECT_EQ(window->recentFiles().entries().front(), QStringLiteral("/tmp/some dir/notes.txt"));
    window->menuAboutToShow();
    EXPECT_EQ(window->recentMenu()->text(Menu_recentBase), QStringLiteral("notes.txt"));
    EXPECT_EQ(window->fullScreenButton()->text(), QStringLiteral("Full screen"));

    // Page 3 of 5 shows after the location; one page shows the location only.
    QString where = QStringLiteral("Sheet1");
    window->locInfo(&where);
    QCoreApplication::postEvent(window->bridge(),
                                QCustomEvent::withValue(1013, intptr_t(3) | intptr_t(5) << 32));
    pumpEvents();
    EXPECT_EQ(window->pageText(), QStringLiteral("3/5"));
    window->locInfo(&where);
    EXPECT_EQ(window->titleRightText(), QStringLiteral("Sheet1 | 3/5"));
    QCoreApplication::postEvent(window->bridge(),
                                QCustomEvent::withValue(1013, intptr_t(1) | intptr_t(1) << 32));
    pumpEvents();
    window->locInfo(&where);
    EXPECT_EQ(window->titleRightText(), QStringLiteral("Sheet1"));
    window->docLoaded(false);
    EXPECT_TRUE(window->titleText().isEmpty());
    EXPECT_TRUE(window->fullScreenButton()->text().isEmpty());
}

TEST_F(MainWindow, AResizedWindowResizesTheEnginesScreenAndLaysOutAgain)
{
    open();
    window->docLoaded(true);
    ASSERT_TRUE(window->isRaisedBelow());
    CallRecorder::clear();
    // Below the status bar (20) the window is 600 high: as over the bar,
    // 620, so the content is 604 full and 604 - 20 - 36 = 548 above the
    // soft keys.
    window->resize(700, 600);
    pumpEvents();
    EXPECT_EQ(window->contentWidth(), 700);
    EXPECT_EQ(window->fullScreenHeight(), 604);
    EXPECT_EQ(window->contentHeight(), 548);
    std::vector<EngineCall> sizes = CallRecorder::named("setScreenSize");
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].a, 700);
    EXPECT_EQ(sizes[0].b, 548);
    ASSERT_TRUE(window->blitter());
    EXPECT_EQ(window->blitter()->width(), 700);
    EXPECT_EQ(window->blitter()->height(), 604);
    // The frame buffer covers the window, and the soft keys span it in
    // thirds.
    EXPECT_GE(ZFrameBuffer::width(), 700);
    EXPECT_EQ(window->softKey(5)->geometry().right(), 699);
    EXPECT_EQ(window->menuButton()->width(), 233);

    // Full screen and back: the engine's screen takes the full height,
    // then the height above the soft keys, which show again where they
    // were; the window moving over the status bar and back is no resize.
    CallRecorder::clear();
    const QRect keys = window->getCSTWidget()->geometry();
    window->fullScreenSlot();
    window->resized(604);
    pumpEvents();
    EXPECT_FALSE(window->getCSTWidget()->isVisible());
    window->fullScreenSlot();
    window->resized(548);
    pumpEvents();
    EXPECT_TRUE(window->getCSTWidget()->isVisible());
    EXPECT_EQ(window->getCSTWidget()->geometry(), keys);
    sizes = CallRecorder::named("setScreenSize");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].b, 604);
    EXPECT_EQ(sizes[1].b, 548);
    EXPECT_EQ(window->contentHeight(), 548);
}
