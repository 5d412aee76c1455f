// The toolkit layer: custom events, language code, screen regions, menus,
// lists, stacks, catalogues, the frame buffer and its painter, soft keys
// and message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/host/gui_fixture.h"

namespace {

int disposed = 0;
void countDispose(void *)
{
    disposed++;
}

TEST(CustomEvent, UntakenPayloadIsDisposedTakenOneIsNot)
{
    disposed = 0;
    int payload = 0;
    {
        QCustomEvent e(1022, &payload, countDispose);
        EXPECT_EQ(int(e.type()), 1022);
        EXPECT_EQ(e.data(), &payload);
    }
    EXPECT_EQ(disposed, 1);
    {
        QCustomEvent e(1022, &payload, countDispose);
        EXPECT_EQ(e.takeData(), &payload);
    }
    EXPECT_EQ(disposed, 1);
    // Integer payloads are pointer-sized.
    std::unique_ptr<QCustomEvent> e(QCustomEvent::withValue(1013, intptr_t(70000) << 32 | 3));
    EXPECT_EQ(e->value(), intptr_t(70000) << 32 | 3);
}

// Events queued for an object that goes away take their payloads with them.
TEST(CustomEvent, QueuedForADeletedObjectDisposesPayload)
{
    disposed = 0;
    auto *target = new QObject;
    static int payload;
    QCoreApplication::postEvent(target, new QCustomEvent(1007, &payload, countDispose));
    delete target;
    pumpEvents();
    EXPECT_EQ(disposed, 1);
}

TEST(Language, SystemCodeComesFromTheFirstSetVariable)
{
    struct Case {
        const char *all, *messages, *lang, *expected;
    } cases[] = {
        {"fr_CA.UTF-8", "de_DE", "it_IT", "fr_CA.UTF-8"},
        {nullptr, "de_DE", "it_IT", "de_DE"},
        {"", "", "zh_HK", "zh_HK"},
        {nullptr, nullptr, nullptr, "en_GB"},
    };
    QByteArray saved[3] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
    const char *names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const Case &c : cases) {
        const char *values[3] = {c.all, c.messages, c.lang};
        for (int i = 0; i < 3; i++) {
            if (values[i])
                qputenv(names[i], values[i]);
            else
                qunsetenv(names[i]);
        }
        EXPECT_EQ(ZLanguage::getSystemLanguageCode(), QString::fromLatin1(c.expected));
    }
    for (int i = 0; i < 3; i++) {
        if (saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
}

TEST(ScreenRegions, BarsAndKeysTileTheScreen)
{
    QRect screen = ZGlobal::getScreenR();
    EXPECT_EQ(screen, QRect(0, 0, 480, 640));
    QRect gnb = ZGlobal::getGnbR(), cst = ZGlobal::getCstR();
    EXPECT_EQ(gnb.top(), 0);
    EXPECT_EQ(cst.bottom(), screen.bottom());
    EXPECT_EQ(cst.width(), screen.width());
    // The three soft keys cover the bar side by side, without gaps.
    QRect k1 = ZGlobal::getCst3_1R(), k2 = ZGlobal::getCst3_2R(), k3 = ZGlobal::getCst3_3R();
    EXPECT_EQ(k1.left(), 0);
    EXPECT_EQ(k2.left(), k1.right() + 1);
    EXPECT_EQ(k3.left(), k2.right() + 1);
    EXPECT_EQ(k3.right(), cst.right());
    for (const QRect &k : {k1, k2, k3})
        EXPECT_EQ(k.top(), cst.top());
    QRect dialog = ZGlobal::getDlgLargeR();
    EXPECT_EQ(dialog.top(), gnb.bottom() + 1);
    EXPECT_EQ(dialog.bottom(), cst.top() - 1);
    QRect title = ZGlobal::diffRect(dialog, ZGlobal::getDlgTitleLR());
    EXPECT_EQ(title.topLeft(), QPoint(0, 0));
}

TEST(PopupMenu, ItemsByIdAndActivatedOnlyFromTheirMenu)
{
    QPopupMenu main, view;
    std::vector<int> mainIds, viewIds;
    QObject::connect(&main, &QPopupMenu::activated, [&](int id) { mainIds.push_back(id); });
    QObject::connect(&view, &QPopupMenu::activated, [&](int id) { viewIds.push_back(id); });
    EXPECT_EQ(view.insertItem(QStringLiteral("Next"), 8), 8);
    EXPECT_EQ(view.insertItem(QStringLiteral("Previous"), 9), 9);
    int separator = view.insertSeparator();
    EXPECT_EQ(view.insertItem(QStringLiteral("Fit width"), 7, 0), 7);
    EXPECT_EQ(view.idAt(0), 7);
    EXPECT_EQ(view.indexOf(separator), 3);
    EXPECT_EQ(main.insertItem(QStringLiteral("View"), &view, 5), 5);
    int automatic1 = main.insertItem(QStringLiteral("A"));
    int automatic2 = main.insertItem(QStringLiteral("B"));
    EXPECT_LT(automatic1, 0);
    EXPECT_NE(automatic1, automatic2);

    view.setItemEnabled(9, false);
    EXPECT_FALSE(view.isItemEnabled(9));
    EXPECT_TRUE(view.isItemEnabled(8));
    view.setItemChecked(8, true);
    EXPECT_TRUE(view.isItemChecked(8));
    view.setItemChecked(8, false);
    EXPECT_FALSE(view.isItemChecked(8));

    // Choosing an item of the submenu reaches the submenu's receiver only.
    view.actions().at(1)->trigger(); // id 8
    EXPECT_EQ(viewIds, std::vector<int>{8});
    EXPECT_TRUE(mainIds.empty());
    main.actions().at(1)->trigger();
    EXPECT_EQ(mainIds, std::vector<int>{automatic1});

    view.removeItem(9);
    EXPECT_EQ(view.indexOf(9), -1);
    EXPECT_EQ(view.count(), 3);
    view.clear();
    EXPECT_EQ(view.count(), 0);
    EXPECT_FALSE(view.isItemEnabled(8));
}

TEST(ListBox, ItemsAndChoosing)
{
    QListBox list;
    QPixmap folder(32, 32);
    folder.fill(Qt::yellow);
    list.insertItem(folder, QStringLiteral("Documents"));
    list.insertItem(QStringLiteral("notes.txt"));
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.text(1), QStringLiteral("notes.txt"));
    EXPECT_TRUE(list.text(5).isNull());
    list.setCurrentItem(1);
    EXPECT_EQ(list.currentItem(), 1);
    EXPECT_GE(list.maxItemWidth(),
              QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("Documents")) +
                  list.iconSize().width());
    QListBoxItem *chosen = nullptr;
    QObject::connect(&list, &QListBox::doubleClicked, [&](QListBoxItem *item) { chosen = item; });
    Q_EMIT list.itemActivated(list.item(1));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->text(), QStringLiteral("notes.txt"));
}

TEST(WidgetStack, WidgetsById)
{
    QWidgetStack stack;
    auto *a = new QWidget, *b = new QWidget, *c = new QWidget;
    EXPECT_EQ(stack.addWidget(a, 3), 3);
    EXPECT_EQ(stack.addWidget(b), 4);
    EXPECT_EQ(stack.addWidget(c, 0), 0);
    stack.raiseWidget(4);
    EXPECT_EQ(stack.visibleWidget(), b);
    stack.raiseWidget(c);
    EXPECT_EQ(stack.visibleWidget(), c);
    EXPECT_EQ(stack.id(a), 3);
    EXPECT_EQ(stack.widget(0), c);
    EXPECT_EQ(stack.widget(7), nullptr);
    stack.raiseWidget(7);
    EXPECT_EQ(stack.visibleWidget(), c);
}

// lrelease built the en-gb catalogue; QTranslator loads it through the
// case-insensitive listing, and it holds the host's keys.
TEST(Catalogues, BuiltCatalogueLoadsAndTranslates)
{
    QTranslator translator;
    EXPECT_EQ(findTranslation(&translator, catalogueDirectory(), QStringLiteral("vexlanedit"),
                              QStringLiteral("en-gb")),
              QStringLiteral("vexlanedit-en-gb.qm"));
    EXPECT_EQ(translator.translate("Core", "RES_ALERT_SEARCHFAILED"),
              QStringLiteral("The text was not found."));
    EXPECT_EQ(translator.translate("MainWidgetCommon", "RES_MEMORY_HEAP_KB"),
              QStringLiteral("65536"));
    EXPECT_EQ(translator.translate("DateTime", "RES_MONTH_12"), QStringLiteral("December"));
    EXPECT_EQ(translator.translate("FunctionNames", "RES_FUNC_LOG10"), QStringLiteral("LOG10"));
    EXPECT_TRUE(QFile::exists(catalogueDirectory() + QStringLiteral("/vexlanedit-en-gb.qht")));
}

TEST(Catalogues, LookupIgnoresCaseSkipsBadFilesAndFailsCleanly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString built = catalogueDirectory() + QStringLiteral("/vexlanedit-en-gb.qm");
    // A catalogue in capitals, and a broken one that sorts before it.
    ASSERT_TRUE(QFile::copy(built, dir.path() + QStringLiteral("/VEXLANEDIT-FR-FR.QM")));
    QFile bad(dir.path() + QStringLiteral("/vexlanedit-fr-ca.qm"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a catalogue");
    bad.close();

    QTranslator translator;
    EXPECT_EQ(findTranslation(&translator, dir.path(), QStringLiteral("vexlanedit"),
                              QStringLiteral("fr-*")),
              QStringLiteral("VEXLANEDIT-FR-FR.QM"));
    EXPECT_EQ(findTranslation(&translator, dir.path(), QStringLiteral("vexlanedit"),
                              QStringLiteral("fr-fr")),
              QStringLiteral("VEXLANEDIT-FR-FR.QM"));
    EXPECT_TRUE(findTranslation(&translator, dir.path(), QStringLiteral("vexlanedit"),
                                QStringLiteral("fr-ca"))
                    .isNull());
    EXPECT_TRUE(
        findTranslation(&translator, dir.path(), QStringLiteral("vexlanedit"), QStringLiteral("de"))
            .isNull());
}

// Writes one 5-6-5 pixel as the screen blitter does.
void put565(uint8_t *out, uint16_t p)
{
    uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    r = r << 1 | r >> 4;
    b = b << 1 | b >> 4;
    uint32_t v = b | g << 6 | r << 12;
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    out[2] = uint8_t(0xFC | r >> 4);
}

TEST(FrameBuffer, WrittenPixelsShowWidenedUnwrittenShowNothing)
{
    const uint8_t unwritten[3] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(ZFrameBuffer::shownColour(unwritten), -1);
    struct Case {
        uint16_t pixel;
        uint8_t bytes[3];
        int64_t shown;
    } cases[] = {
        {0xF800, {0x00, 0xF0, 0xFF}, 0xFF0000}, {0x001F, {0x3F, 0x00, 0xFC}, 0x0000FF},
        {0xFFFF, {0xFF, 0xFF, 0xFF}, 0xFFFFFF}, {0x0000, {0x00, 0x00, 0xFC}, 0x000000},
        {0x07E0, {0xC0, 0x0F, 0xFC}, 0x00FF00}, {0x0820, {0x40, 0x20, 0xFC}, 0x080400},
    };
    for (const Case &c : cases) {
        uint8_t bytes[3];
        put565(bytes, c.pixel);
        EXPECT_EQ(bytes[0], c.bytes[0]) << std::hex << c.pixel;
        EXPECT_EQ(bytes[1], c.bytes[1]) << std::hex << c.pixel;
        EXPECT_EQ(bytes[2], c.bytes[2]) << std::hex << c.pixel;
        EXPECT_EQ(ZFrameBuffer::shownColour(bytes), c.shown) << std::hex << c.pixel;
    }
}

TEST(FrameBuffer, PainterRegionIsTheVisibleContent)
{
    ZMainWidget window;
    auto *bar = new QWidget;
    window.setCSTWidget(bar);
    window.show();
    pumpEvents();
    {
        QDirectPainter painter(&window);
        EXPECT_EQ(painter.depth(), 18);
        EXPECT_EQ(painter.transformOrientation(), 0);
        EXPECT_EQ(painter.lineStep(), 480 * 3);
        ASSERT_EQ(painter.numRects(), 1);
        EXPECT_EQ(painter.rect(0), QRect(0, 0, 480, 640 - ZGlobal::getCstR().height()));
        painter.setClipRect(QRect(10, 20, 100, 50));
        ASSERT_EQ(painter.numRects(), 1);
        EXPECT_EQ(painter.rect(0), QRect(10, 20, 100, 50));
    }
    // Another window on top takes its part away.
    QWidget other;
    other.setGeometry(0, 100, 480, 100);
    other.show();
    pumpEvents();
    {
        QDirectPainter painter(&window);
        QRegion region;
        for (int i = 0; i < painter.numRects(); i++)
            region += painter.rect(i);
        EXPECT_FALSE(region.contains(QPoint(10, 150)));
        EXPECT_TRUE(region.contains(QPoint(10, 50)));
        EXPECT_TRUE(region.contains(QPoint(10, 250)));
    }
    other.hide();
    window.hide();
    QDirectPainter hidden(&window);
    EXPECT_EQ(hidden.numRects(), 0);
}

// The window shows written frame-buffer pixels exactly, and its own
// background where nothing was written.
TEST(FrameBuffer, WindowShowsTheMemory)
{
    ZFrameBuffer::clear();
    ZMainWidget window;
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
    window.setPalette(palette);
    window.show();
    pumpEvents();
    {
        QDirectPainter painter(&window);
        uint8_t *bits = painter.frameBuffer();
        for (int y = 30; y < 40; y++)
            for (int x = 0; x < 64; x++) {
                uint32_t v = uint32_t(x) | uint32_t(63 - x) << 6 | uint32_t((x + y) & 63) << 12;
                uint8_t *p = bits + y * painter.lineStep() + x * 3;
                p[0] = uint8_t(v);
                p[1] = uint8_t(v >> 8);
                p[2] = uint8_t(0xFC | v >> 16);
            }
    }
    pumpEvents();
    QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto widen = [](uint32_t c) { return (c << 2) | (c >> 4); };
    for (int y = 30; y < 40; y++)
        for (int x = 0; x < 64; x++) {
            QRgb expected = qRgb(int(widen(uint32_t((x + y) & 63))), int(widen(uint32_t(63 - x))),
                                 int(widen(uint32_t(x))));
            ASSERT_EQ(shot.pixel(x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(shot.pixel(100, 100), qRgb(0x12, 0x34, 0x56));
    ZFrameBuffer::clear();
}

TEST(SoftKeys, FunctionKeysClickTheBarsKeys)
{
    ZMainWidget window;
    auto *bar = new QWidget;
    auto *left = new ZPushButton(QStringLiteral("CST_Menu"), bar, 6);
    auto *right = new ZPushButton(QStringLiteral("CST_Exit"), bar, 5);
    auto *centre = new ZPushButton(QString(), bar, 7);
    window.setCSTWidget(bar);
    window.show();
    pumpEvents();
    EXPECT_EQ(left->text(), QStringLiteral("Menu"));
    EXPECT_EQ(right->text(), QStringLiteral("Exit"));
    right->setResourceID(QStringLiteral("CST_Back"));
    EXPECT_EQ(right->text(), QStringLiteral("Back"));
    EXPECT_EQ(window.softKey(7), centre);

    std::vector<int> clicks;
    for (ZPushButton *b : {left, right, centre})
        QObject::connect(b, &QPushButton::clicked, [&clicks, b] { clicks.push_back(b->kind()); });
    for (int key : {int(Qt::Key_F1), int(Qt::Key_F2), int(Qt::Key_F5), int(Qt::Key_F3)}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &press);
        pumpEvents();
    }
    EXPECT_EQ(clicks, (std::vector<int>{6, 5, 7}));
    centre->setEnabled(false);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &press);
    pumpEvents();
    EXPECT_EQ(clicks.size(), 3u);
}

// Answers the next message box with the button of that index (-1: closes it).
void answerMessageBox(int index)
{
    QTimer::singleShot(0, [index] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (index < 0)
            box->reject();
        else
            box->buttons().value(index)->click();
    });
}

TEST(MessageBox, AnswersTheChosenButtonsIndex)
{
    QPixmap icon = ZSkin::skin()->getPixmap(QStringLiteral("Dialog_Question_Mark.g"));
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_TRUE(ZSkin::skin()->getPixmap(QStringLiteral("no such icon")).isNull());
    answerMessageBox(1);
    EXPECT_EQ(ZMessageBox::information(nullptr, icon, QStringLiteral("Quit?"),
                                       QStringLiteral("Yes"), QStringLiteral("No")),
              1);
    answerMessageBox(0);
    EXPECT_EQ(ZMessageBox::information(nullptr, icon, QStringLiteral("Quit?"),
                                       QStringLiteral("Yes"), QStringLiteral("No")),
              0);
    answerMessageBox(-1);
    EXPECT_EQ(
        ZMessageBox::information(nullptr, icon, QStringLiteral("Saved."), QStringLiteral("OK")), 0);
}

TEST(FileDialogs, ChosenFilesComeBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/notes.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    ZOpenDlg open({QStringLiteral("*")}, QStringLiteral("card"), false);
    open.dialog()->setDirectory(dir.path());
    QTimer::singleShot(0, [&] {
        open.dialog()->selectFile(path);
        QMetaObject::invokeMethod(open.dialog(), "accept");
    });
    EXPECT_EQ(open.exec(), int(QDialog::Accepted));
    EXPECT_EQ(open.getFile(), path);

    ZSaveDlg save({QStringLiteral("*.doc")}, QStringLiteral("card"));
    const QString target = dir.path() + QStringLiteral("/copy.doc");
    QTimer::singleShot(0, [&] {
        save.dialog()->selectFile(target);
        QMetaObject::invokeMethod(save.dialog(), "accept");
    });
    EXPECT_EQ(save.exec(), int(QDialog::Accepted));
    EXPECT_EQ(save.getSaveName(), target);

    ZOpenDlg cancelled({QStringLiteral("*")}, QStringLiteral("card"), false);
    QTimer::singleShot(0, [&] { cancelled.dialog()->reject(); });
    EXPECT_EQ(cancelled.exec(), int(QDialog::Rejected));
}

TEST(Application, WaitCursorDoesNotNest)
{
    ZApplication::startShowWaitCursor(0, QString());
    ZApplication::startShowWaitCursor(0, QString());
    EXPECT_TRUE(ZApplication::isShowingWaitCursor());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    ZApplication::stopShowWaitCursor();
    EXPECT_FALSE(ZApplication::isShowingWaitCursor());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ZApplication::stopShowWaitCursor();
}

} // namespace
