// The main window's dialogs opened from its menu and requests, with the
// real engine: the answers reach the engine and the settings as they
// should, and a dialog left unanswered changes nothing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <memory>

#include "host/dialogs/dirdialog.h"
#include "host/dialogs/simpleeditdialog.h"
#include "host/dialogs/smalldialogs.h"
#include "host/ezxmainwidget.h"
#include "tests/host/gui_fixture.h"

namespace {

class Launchers : public ::testing::Test {
  protected:
    void SetUp() override
    {
        oldData = qgetenv("MYSTUFF_DATA_PATH");
        qputenv("MYSTUFF_DATA_PATH", dir.path().toLocal8Bit());
        argv = {"vexlanedit"};
        argc = 1;
        window = std::make_unique<EzxMainWidget>(argc, const_cast<char **>(argv.data()));
        window->show();
        pumpEvents();
        ASSERT_TRUE(window->bridge());
        ASSERT_TRUE(runUntil([&] { return window->bridge()->keysEnabled(); }));
        CallRecorder::clear();
    }
    void TearDown() override
    {
        window.reset();
        qputenv("MYSTUFF_DATA_PATH", oldData);
    }
    // The one dialog of that class that is shown.
    template <class D> D *shown()
    {
        D *found = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<D *>(w); d && d->isVisible()) {
                EXPECT_EQ(found, nullptr) << "two dialogs shown";
                found = d;
            }
        }
        return found;
    }
    QByteArray settingsFile()
    {
        QFile file(window->settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }

    Catalogue catalogue;
    CallRecorder recorder;
    QTemporaryDir dir;
    QByteArray oldData;
    int argc = 0;
    std::vector<const char *> argv;
    std::unique_ptr<EzxMainWidget> window;
};

TEST_F(Launchers, APageNumberTypedIntoThePromptGoesThere)
{
    window->menuSelected(Menu_gotoPage);
    auto *dialog = shown<EzxSimpleEditDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(window->dialogKind(), int(Dialog_prompt));
    dialog->field()->setText(QStringLiteral("3"));
    dialog->softKey(7)->click();
    pumpEvents();
    std::vector<EngineCall> calls = CallRecorder::named("gotoPage");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].a, 3);
    EXPECT_EQ(window->dialogKind(), int(Dialog_none));
    EXPECT_EQ(shown<EzxSimpleEditDialog>(), nullptr);

    // Backing out goes nowhere.
    CallRecorder::clear();
    window->menuSelected(Menu_gotoPage);
    dialog = shown<EzxSimpleEditDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->field()->setText(QStringLiteral("4"));
    dialog->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(CallRecorder::count("gotoPage"), 0);
}

TEST_F(Launchers, RejectedPreferencesLeaveTheSettingsAcceptedOnesAreWritten)
{
    const HostSettings before = window->settings();
    const QByteArray fileBefore = settingsFile();
    window->menuSelected(Menu_preferences);
    auto *dialog = shown<EzxPrefDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->singlePageBox()->setChecked(!before.singlePage);
    dialog->autoEncodingBox()->setChecked(!before.autoEncoding);
    dialog->encodingBox()->setCurrentIndex(7);
    dialog->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(window->settings().singlePage, before.singlePage);
    EXPECT_EQ(window->settings().autoEncoding, before.autoEncoding);
    EXPECT_EQ(window->settings().encoding, before.encoding);
    EXPECT_EQ(settingsFile(), fileBefore);

    window->menuSelected(Menu_preferences);
    dialog = shown<EzxPrefDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->encodingBox()->setCurrentIndex(7);
    dialog->softKey(7)->click();
    pumpEvents();
    EXPECT_EQ(window->settings().encoding, 7);
    EXPECT_TRUE(settingsFile().contains("Encoding=7"));
}

TEST_F(Launchers, AboutAndHelpOpenAndClose)
{
    window->menuSelected(Menu_about);
    auto *about = shown<EzxAboutDialog>();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->view()->toPlainText().isEmpty());
    about->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(window->dialogKind(), int(Dialog_none));

    window->menuSelected(Menu_help);
    auto *help = shown<EzxHelpDialog>();
    ASSERT_NE(help, nullptr);
    help->softKey(7)->click();
    pumpEvents();
    EXPECT_EQ(shown<EzxHelpDialog>(), nullptr);
    EXPECT_EQ(window->dialogKind(), int(Dialog_none));
}

} // namespace

namespace {

TEST_F(Launchers, ArchiveFoldersListTheParentAndRefill)
{
    const QString folder = QStringLiteral("/books/a");
    DirEntry up{QStringLiteral(".."), true};
    DirEntry doc{QStringLiteral("notes.txt"), false};
    window->zipEntry(folder, &up);
    window->zipEntry(folder, &doc);
    window->zipEntry(folder, nullptr);
    auto *dialog = shown<EzxDirDialog>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->list()->count(), 2);
    EXPECT_EQ(dialog->list()->text(1), QStringLiteral("notes.txt"));

    CallRecorder::clear();
    dialog->list()->setCurrentItem(0);
    dialog->itemSelected();
    std::vector<EngineCall> opened = CallRecorder::named("openDocument");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, "/books");
    EXPECT_FALSE(dialog->list()->isEnabled());
    // A second choice while the listing is on its way asks nothing more.
    dialog->itemSelected();
    EXPECT_EQ(CallRecorder::count("openDocument"), 1);

    // The parent's entries arrive and the same dialog shows them in order.
    DirEntry a{QStringLiteral("a"), true};
    DirEntry b{QStringLiteral("b.doc"), false};
    window->zipEntry(QStringLiteral("/books"), &a);
    window->zipEntry(QStringLiteral("/books"), &b);
    window->zipEntry(QStringLiteral("/books"), nullptr);
    EXPECT_EQ(shown<EzxDirDialog>(), dialog);
    EXPECT_TRUE(dialog->list()->isEnabled());
    ASSERT_EQ(dialog->list()->count(), 2);
    EXPECT_EQ(dialog->list()->text(0), QStringLiteral("a"));
    EXPECT_EQ(dialog->list()->text(1), QStringLiteral("b.doc"));
    dialog->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(window->dialogKind(), int(Dialog_none));
}

} // namespace
