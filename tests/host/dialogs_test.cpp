// The program's dialogs: the shared frame and its result events, the
// one-line prompt, the colour picker, about, help, preferences and the
// archive folder browser.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QKeyEvent>

#include "host/dialogs/colourpicker.h"
#include "host/dialogs/dirdialog.h"
#include "host/dialogs/simpleeditdialog.h"
#include "host/dialogs/smalldialogs.h"
#include "tests/host/gui_fixture.h"

namespace {

// The opener: records the result events it receives and their data.
class Opener : public QWidget {
  public:
    struct Result {
        int type;
        void *data;
    };
    std::vector<Result> results;
    int count(int type) const
    {
        int n = 0;
        for (const Result &r : results)
            n += r.type == type;
        return n;
    }

  protected:
    bool event(QEvent *e) override
    {
        const int type = int(e->type());
        if (type == DialogAccepted || type == DialogRejected) {
            results.push_back({type, static_cast<QCustomEvent *>(e)->data()});
            return true;
        }
        return QWidget::event(e);
    }
};

Prompt pagePrompt()
{
    Prompt p;
    p.title = QStringLiteral("Go to page");
    p.hint = QStringLiteral("Page number");
    p.text = QStringLiteral("5");
    p.id = 13;
    return p;
}

TEST(DialogBase, BackKeyPostsOneRejectAndLeavesTheRecord)
{
    Opener opener;
    Prompt p = pagePrompt();
    QPointer<EzxSimpleEditDialog> dialog = new EzxSimpleEditDialog(&opener, &p);
    dialog->show();
    dialog->field()->setText(QStringLiteral("9"));
    ZPushButton *back = dialog->softKey(5);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->text(), QStringLiteral("Back"));
    back->click();
    // A second press before the dialog is gone reports nothing more.
    if (dialog)
        dialog->reject();
    pumpEvents();
    ASSERT_EQ(opener.results.size(), 1u);
    EXPECT_EQ(opener.results[0].type, DialogRejected);
    EXPECT_EQ(opener.results[0].data, &p);
    EXPECT_EQ(p.text, QStringLiteral("5"));
    EXPECT_TRUE(dialog.isNull()) << "a closed dialog deletes itself";
}

TEST(DialogBase, EnterAcceptsOnlyAfterTheDialogsOwnEvent)
{
    Opener opener;
    Prompt p = pagePrompt();
    QPointer<EzxSimpleEditDialog> dialog = new EzxSimpleEditDialog(&opener, &p);
    dialog->show();
    dialog->field()->setText(QStringLiteral("3"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog->field(), &enter);
    EXPECT_TRUE(opener.results.empty());
    EXPECT_EQ(p.text, QStringLiteral("5")) << "nothing is copied before the deferred accept";
    pumpEvents();
    ASSERT_EQ(opener.results.size(), 1u);
    EXPECT_EQ(opener.results[0].type, DialogAccepted);
    EXPECT_EQ(p.text, QStringLiteral("3"));
    EXPECT_TRUE(dialog.isNull());
}

TEST(DialogBase, WithoutAMenuTheLeftKeyIsBlankAndDisabled)
{
    Opener opener;
    Prompt p = pagePrompt();
    auto *dialog = new EzxSimpleEditDialog(&opener, &p);
    dialog->show();
    ZPushButton *left = dialog->softKey(6);
    ASSERT_NE(left, nullptr);
    EXPECT_TRUE(left->text().isEmpty());
    EXPECT_FALSE(left->isEnabled());
    left->click();
    dialog->popupMenuSlot();
    pumpEvents();
    EXPECT_TRUE(opener.results.empty());
    ZPushButton *ok = dialog->softKey(7);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QCoreApplication::translate("MainWidgetCommon", "RES_OK"));
    dialog->close();
}

TEST(DialogBase, SoftKeysAreRebuiltOnEachShowWithoutPilingUp)
{
    Opener opener;
    Prompt p = pagePrompt();
    auto *dialog = new EzxSimpleEditDialog(&opener, &p);
    for (int i = 0; i < 3; i++) {
        dialog->show();
        dialog->hide();
    }
    dialog->show();
    EXPECT_EQ(dialog->findChildren<FixedCSTWidget *>().size(), 1);
    ZPushButton *back = dialog->softKey(5);
    ASSERT_NE(back, nullptr);
    back->click();
    pumpEvents();
    EXPECT_EQ(opener.count(DialogRejected), 1);
}

TEST(DialogBase, GeometryTitleAndScrolling)
{
    Opener opener;
    Prompt p = pagePrompt();
    auto *dialog = new EzxSimpleEditDialog(&opener, &p);
    dialog->show();
    const QRect screen = ZGlobal::getScreenR();
    EXPECT_EQ(dialog->width(), screen.width());
    EXPECT_EQ(dialog->geometry().bottom(), screen.bottom());
    EXPECT_EQ(dialog->caption(), p.title);
    // The content area lies between the title and the soft keys.
    EXPECT_EQ(dialog->scrollView()->geometry().top(), ZGlobal::getDlgTitleLR().height());
    EXPECT_EQ(dialog->scrollView()->geometry().bottom() + 1,
              dialog->softKey(5)->parentWidget()->geometry().top());

    auto *wide = new QWidget;
    wide->setMinimumSize(2000, 2000);
    FixedScrollView view;
    view.setWidgetResizable(false);
    view.setWidget(wide);
    wide->resize(2000, 2000);
    view.resize(200, 200);
    view.show();
    view.setContentsPos(50, 30);
    EXPECT_EQ(view.contentsX(), 0);
    EXPECT_EQ(view.contentsY(), 30);

    dialog->handleKBMenu(0x4321);
    EXPECT_FALSE(dialog->isInputShown());
    dialog->handleKBMenu(7);
    EXPECT_TRUE(dialog->isInputShown());
    dialog->close();
}

TEST(SimpleEdit, AnEmptyFieldIsAcceptedAsEmpty)
{
    Opener opener;
    Prompt p = pagePrompt();
    auto *dialog = new EzxSimpleEditDialog(&opener, &p);
    dialog->show();
    dialog->field()->clear();
    dialog->softKey(7)->click();
    pumpEvents();
    ASSERT_EQ(opener.count(DialogAccepted), 1);
    EXPECT_TRUE(p.text.isEmpty());
}

TEST(SimpleEdit, ThePasswordPromptHidesWhatIsTyped)
{
    Opener opener;
    Prompt p;
    p.id = 1;
    auto *dialog = new EzxSimpleEditDialog(&opener, &p);
    EXPECT_EQ(dialog->field()->echoMode(), QLineEdit::Password);
    dialog->close();
}

TEST(ColourPicker, FieldsAndSlidersInStep)
{
    struct Case {
        int channel;
        const char *typed;
        int slider;
        const char *field;
    } cases[] = {
        {0, "300", 255, "255"}, // clamped, and the field rewritten
        {1, "", 0, ""},         // a cleared field is 0
        {2, "7", 7, "7"},
        {2, "x", 0, "x"}, // not a number: 0
    };
    for (const Case &c : cases) {
        Opener opener;
        uint32_t colour = 0x12345678;
        auto *dialog = new EzxColourPickerDialog(&opener, &colour);
        dialog->show();
        dialog->field(c.channel)->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(dialog->slider(c.channel)->value(), c.slider) << c.typed;
        EXPECT_EQ(dialog->field(c.channel)->text(), QString::fromLatin1(c.field)) << c.typed;
        dialog->softKey(7)->click();
        pumpEvents();
        const uint32_t shift = 16 - 8 * c.channel;
        EXPECT_EQ((colour >> shift) & 0xFF, uint32_t(c.slider)) << c.typed;
        EXPECT_EQ(colour >> 24, 0xFFu);
        ASSERT_EQ(opener.count(DialogAccepted), 1);
        EXPECT_EQ(opener.results[0].data, nullptr);
    }
}

TEST(ColourPicker, SlidersRewriteTheFieldsAndRejectKeepsTheColour)
{
    Opener opener;
    uint32_t colour = 0x00102030;
    auto *dialog = new EzxColourPickerDialog(&opener, &colour);
    dialog->show();
    EXPECT_EQ(dialog->field(0)->text(), QStringLiteral("16"));
    EXPECT_EQ(dialog->field(2)->text(), QStringLiteral("48"));
    dialog->slider(1)->setValue(200);
    EXPECT_EQ(dialog->field(1)->text(), QStringLiteral("200"));
    EXPECT_EQ(dialog->current(), 0x10C830u);
    dialog->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(colour, 0x00102030u);
    EXPECT_EQ(opener.count(DialogRejected), 1);
}

TEST(ColourPicker, AcceptingUnchangedSetsTheTopByte)
{
    Opener opener;
    uint32_t colour = 0x00ABCDEF;
    auto *dialog = new EzxColourPickerDialog(&opener, &colour);
    dialog->show();
    dialog->accept();
    pumpEvents();
    EXPECT_EQ(colour, 0xFFABCDEFu);
}

TEST(HelpDialog, ShowsTheFileOrSaysItIsMissing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("help.qht"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Page \xC3\xBC"
               "ber");
    file.close();
    Opener opener;
    auto *found = new EzxHelpDialog(&opener, path);
    EXPECT_EQ(found->view()->toPlainText(), QString::fromUtf8("Page \xC3\xBC"
                                                              "ber"));
    found->close();

    auto *missing = new EzxHelpDialog(&opener, dir.filePath(QStringLiteral("none.qht")));
    missing->show();
    EXPECT_EQ(missing->view()->toPlainText(), QStringLiteral("Help file missing"));
    missing->softKey(7)->click();
    pumpEvents();
    ASSERT_EQ(opener.count(DialogAccepted), 1);
    EXPECT_EQ(opener.results.back().data, nullptr);
}

TEST(AboutDialog, ShowsTheThreeTexts)
{
    Opener opener;
    QString texts[3] = {QStringLiteral("2.5"), QStringLiteral("7"), QStringLiteral("A <b> Tester")};
    auto *dialog = new EzxAboutDialog(&opener, texts);
    const QString shown = dialog->view()->toPlainText();
    EXPECT_TRUE(shown.contains(QStringLiteral("2.5")));
    EXPECT_TRUE(shown.contains(QStringLiteral("A <b> Tester"))) << "the texts are shown as text";
    dialog->reject();
    pumpEvents();
    ASSERT_EQ(opener.count(DialogRejected), 1);
    EXPECT_EQ(opener.results[0].data, texts);
}

TEST(PrefDialog, AcceptWritesTheRecordRejectLeavesIt)
{
    for (bool accept : {false, true}) {
        Opener opener;
        HostSettings record;
        record.singlePage = false;
        record.autoEncoding = true;
        record.encoding = 2;
        auto *dialog = new EzxPrefDialog(&opener, &record);
        dialog->show();
        EXPECT_EQ(dialog->encodingBox()->count(), 8);
        EXPECT_EQ(dialog->encodingBox()->currentIndex(), 2);
        dialog->singlePageBox()->setChecked(true);
        dialog->autoEncodingBox()->setChecked(false);
        dialog->encodingBox()->setCurrentIndex(7);
        dialog->softKey(accept ? 7 : 5)->click();
        pumpEvents();
        ASSERT_EQ(opener.results.size(), 1u);
        EXPECT_EQ(opener.results[0].data, &record);
        EXPECT_EQ(record.singlePage, accept);
        EXPECT_EQ(record.autoEncoding, !accept);
        EXPECT_EQ(record.encoding, accept ? 7 : 2);
    }
}

TEST(PrefDialog, AnEncodingOutOfRangeShowsTheFirst)
{
    Opener opener;
    HostSettings record;
    record.encoding = 40;
    auto *dialog = new EzxPrefDialog(&opener, &record);
    EXPECT_EQ(dialog->encodingBox()->currentIndex(), 0);
    dialog->accept();
    pumpEvents();
    EXPECT_EQ(record.encoding, 0);
}

DirSelector folder()
{
    DirSelector s;
    s.path = QStringLiteral("/docs");
    s.entries = {{QStringLiteral(".."), true},
                 {QStringLiteral("zeta.txt"), false},
                 {QStringLiteral("alpha"), true},
                 {QStringLiteral("beta.doc"), false}};
    return s;
}

TEST(DirDialog, EntriesKeepTheSelectorsOrderWithTheirPictures)
{
    Opener opener;
    DirSelector s = folder();
    auto *dialog = new EzxDirDialog(&opener, &s);
    dialog->show();
    ASSERT_EQ(dialog->list()->count(), 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(dialog->list()->text(i), s.entries[i].name);
    EXPECT_GE(dialog->list()->minimumHeight(), 216);
    EXPECT_EQ(EzxDirDialog::folderPicture().size(), QSize(32, 32));
    EXPECT_EQ(EzxDirDialog::documentPicture().size(), QSize(32, 32));
    EXPECT_EQ(dialog->caption(), QCoreApplication::translate("DirDialog", "RES_DIR_CAPTION"));
    dialog->close();
}

TEST(DirDialog, AFolderAsksForItsListingAndTheNewEntriesShow)
{
    Opener opener;
    DirSelector s = folder();
    auto *dialog = new EzxDirDialog(&opener, &s);
    std::vector<DirSelector *> asked;
    QObject::connect(dialog, &EzxDirDialog::refresh, [&](DirSelector *sel) {
        asked.push_back(sel);
        // What the main window does: the parent folder's entries.
        sel->path = QString();
        sel->entries = {{QStringLiteral("docs"), true}, {QStringLiteral("readme.txt"), false}};
        sel->refreshing = true;
    });
    dialog->show();
    dialog->list()->setCurrentItem(0);
    dialog->itemSelected();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(s.selected, 0);
    EXPECT_FALSE(dialog->list()->isEnabled());
    // A choice while the listing is pending changes nothing.
    dialog->itemSelected();
    EXPECT_EQ(asked.size(), 1u);
    s.refreshing = false;
    dialog->refreshDone(&s);
    EXPECT_TRUE(dialog->list()->isEnabled());
    ASSERT_EQ(dialog->list()->count(), 2);
    EXPECT_EQ(dialog->list()->text(0), QStringLiteral("docs"));
    EXPECT_EQ(dialog->list()->text(1), QStringLiteral("readme.txt"));
    pumpEvents();
    EXPECT_TRUE(opener.results.empty());

    // A document accepts later, with the selector.
    dialog->list()->setCurrentItem(1);
    dialog->itemSelected();
    EXPECT_TRUE(opener.results.empty());
    pumpEvents();
    ASSERT_EQ(opener.count(DialogAccepted), 1);
    EXPECT_EQ(opener.results[0].data, &s);
    EXPECT_EQ(s.selected, 1);
}

TEST(DirDialog, TheCentreKeyAcceptsTheCurrentItemEvenAFolder)
{
    Opener opener;
    DirSelector s = folder();
    auto *dialog = new EzxDirDialog(&opener, &s);
    dialog->show();
    dialog->list()->setCurrentItem(2);
    dialog->softKey(7)->click();
    pumpEvents();
    ASSERT_EQ(opener.count(DialogAccepted), 1);
    EXPECT_EQ(s.selected, 2);
}

} // namespace
