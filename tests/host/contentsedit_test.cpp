// The contents edit dialog: what accepting writes into the edit record on
// each page, the size steps, the highlight row, the operator signs, and
// the colour picker it opens.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "host/dialogs/colourpicker.h"
#include "host/dialogs/contentseditdialog.h"
#include "host/dialogs/numberformatpicker.h"
#include "tests/host/gui_fixture.h"

namespace {

class Opener : public QWidget {
  public:
    int accepted = 0, rejected = 0;

  protected:
    bool event(QEvent *e) override
    {
        if (int(e->type()) == DialogAccepted) {
            accepted++;
            return true;
        }
        if (int(e->type()) == DialogRejected) {
            rejected++;
            return true;
        }
        return QWidget::event(e);
    }
};

struct Record {
    uint32_t palette[3] = {0xFF0000FF, 0x00FF00FF, 0x0000FFFF};
    char font0[6] = "Serif";
    char font1[5] = "Sans";
    char *fonts[2] = {font0, font1};
    QAlien::EditData data;

    explicit Record(bool cell)
    {
        data.text = QStringLiteral("hello");
        data.numberFormat = QStringLiteral("0.0000");
        data.fontNames = fonts;
        data.fontCount = 2;
        data.fontIndex = 1;
        data.size = 12u << 16;
        data.colour = 2;
        data.highlight = -1;
        data.palette = palette;
        data.paletteCount = 3;
        data.isCell = cell;
        data.width = 20 << 16;
        data.height = 15 << 16;
        data.bold = true;
    }
};

TEST(ContentsEdit, TextAcceptWritesTheFieldsInSixteenthsOfAPoint)
{
    Opener opener;
    Record r(false);
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    dialog->show();
    EXPECT_FALSE(dialog->softKey(6)->isEnabled()) << "text has no page menu";
    EXPECT_EQ(dialog->sizeBox()->currentText(), QStringLiteral("12"));
    EXPECT_EQ(dialog->colourBox()->currentIndex(), 2);
    EXPECT_EQ(dialog->highlightBox()->currentIndex(), 0);
    EXPECT_EQ(dialog->fontBox()->currentText(), QStringLiteral("Sans"));
    EXPECT_TRUE(dialog->styleButton(0)->isChecked());

    dialog->textField()->setText(QString::fromUtf8("6\xC3\xB7"
                                                   "3\xC3\x97"
                                                   "2"));
    dialog->sizeBox()->setEditText(QStringLiteral("11.3"));
    dialog->colourBox()->setCurrentIndex(1);
    dialog->highlightBox()->setCurrentIndex(3);
    dialog->styleButton(0)->setChecked(false);
    dialog->styleButton(4)->setChecked(true);
    dialog->softKey(7)->click();
    pumpEvents();
    EXPECT_EQ(opener.accepted, 1);
    EXPECT_EQ(r.data.text, QStringLiteral("6/3*2"));
    EXPECT_EQ(r.data.size, uint32_t(11.3 * 65536.0) & ~0xFFFu);
    EXPECT_EQ(r.data.size & 0xFFF, 0u);
    EXPECT_EQ(r.data.colour, 1u);
    EXPECT_EQ(r.data.highlight, 2);
    EXPECT_FALSE(r.data.bold);
    EXPECT_TRUE(r.data.doubleUnderline);
    EXPECT_EQ(r.data.action, 1);
    EXPECT_TRUE(r.data.accepted);
    EXPECT_EQ(r.data.width, -1);
    EXPECT_EQ(r.data.numberFormat, QStringLiteral("0.0000"))
        << "not a cell: the format is left alone";
}

TEST(ContentsEdit, AFractionalSizeShowsAsItIsWithNoItemChosen)
{
    Opener opener;
    Record r(false);
    r.data.size = uint32_t(10.5 * 65536);
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    EXPECT_EQ(dialog->sizeBox()->currentText(), QStringLiteral("10.5"));
    dialog->close();
}

TEST(ContentsEdit, UnreadableSizesAndExtentsKeepTheRecordsValues)
{
    for (const char *typed : {"abc", "-4", "1e30", ""}) {
        Opener opener;
        Record r(true);
        auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
        dialog->sizeBox()->setEditText(QString::fromLatin1(typed));
        dialog->autoFitBox()->setChecked(false);
        dialog->sizeField(0)->setText(QString::fromLatin1(typed));
        dialog->accept();
        pumpEvents();
        EXPECT_EQ(r.data.size, 12u << 16) << typed;
        EXPECT_EQ(r.data.width, -1) << typed;
        EXPECT_TRUE(r.data.accepted);
    }
}

TEST(ContentsEdit, NoHighlightRowStaysNotOffered)
{
    Opener opener;
    Record r(false);
    r.data.highlight = -2;
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    EXPECT_EQ(dialog->highlightBox(), nullptr);
    dialog->accept();
    pumpEvents();
    EXPECT_EQ(r.data.highlight, -2);
}

TEST(ContentsEdit, ACellAcceptedOnItsFirstPageWritesItsFormat)
{
    Opener opener;
    Record r(true);
    r.data.numberFormat = QStringLiteral("0.00%");
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    dialog->show();
    EXPECT_TRUE(dialog->softKey(6)->isEnabled());
    EXPECT_EQ(dialog->softKey(6)->text(), QStringLiteral("Menu"));
    EXPECT_EQ(dialog->currentPage(), 0);
    EXPECT_EQ(dialog->formatPicker()->categoryBox()->currentIndex(), int(Format_percentage));
    dialog->formatPicker()->detailBox(0)->setCurrentIndex(0);
    dialog->alignBox(0)->setCurrentIndex(2);
    dialog->alignBox(1)->setCurrentIndex(0);
    dialog->autoFitBox()->setChecked(false);
    EXPECT_TRUE(dialog->sizeField(0)->isEnabled());
    dialog->sizeField(0)->setText(QStringLiteral("25.5"));
    dialog->accept();
    pumpEvents();
    EXPECT_EQ(r.data.numberFormat, QStringLiteral("0%"));
    EXPECT_EQ(r.data.hAlign, 2);
    EXPECT_EQ(r.data.vAlign, 0);
    EXPECT_EQ(r.data.width, int(25.5 * 65536));
    EXPECT_EQ(r.data.height, 15 << 16);
    EXPECT_EQ(r.data.action, 1);
    EXPECT_TRUE(r.data.accepted);
}

TEST(ContentsEdit, InsertAndDeleteNeedAChoice)
{
    for (int chosen : {-1, 2, 5}) {
        Opener opener;
        Record r(true);
        auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
        dialog->menuItemSelected(3);
        EXPECT_EQ(dialog->currentPage(), 3);
        EXPECT_TRUE(dialog->popupMenu()->isItemChecked(3));
        EXPECT_FALSE(dialog->popupMenu()->isItemChecked(0));
        if (chosen > 0)
            dialog->insertDeleteGroup()->button(chosen)->setChecked(true);
        dialog->textField()->setText(QStringLiteral("changed"));
        dialog->accept();
        pumpEvents();
        EXPECT_EQ(opener.accepted, 1);
        EXPECT_EQ(r.data.accepted, chosen > 0);
        EXPECT_EQ(r.data.action, chosen > 0 ? chosen : 0);
        EXPECT_EQ(r.data.text, QStringLiteral("hello")) << "the insert page writes no fields";
        EXPECT_EQ(r.data.width, 20 << 16);
    }
}

TEST(ContentsEdit, RgbColourThroughThePicker)
{
    Opener opener;
    Record r(false);
    r.data.colourIsRgb = true;
    r.data.colour = 0x102030FF;
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    dialog->show();
    ASSERT_NE(dialog->colourButton(), nullptr);
    EXPECT_EQ(dialog->rgbColour(), 0x102030u);
    dialog->colourButton()->click();
    auto pickers = dialog->findChildren<EzxColourPickerDialog *>();
    ASSERT_EQ(pickers.size(), 1);
    pickers[0]->slider(0)->setValue(255);
    pickers[0]->accept();
    pumpEvents();
    EXPECT_EQ(opener.accepted, 0) << "the picker reports to the edit dialog only";
    EXPECT_EQ(dialog->rgbColour(), 0xFFFF2030u);
    dialog->accept();
    pumpEvents();
    EXPECT_EQ(r.data.colour, 0xFF2030FFu);
}

TEST(ContentsEdit, RejectLeavesTheRecordAsItWas)
{
    Opener opener;
    Record r(true);
    auto *dialog = new EzxContentsEditDialog(&opener, nullptr, &r.data);
    dialog->show();
    dialog->textField()->setText(QStringLiteral("other"));
    dialog->softKey(5)->click();
    pumpEvents();
    EXPECT_EQ(opener.rejected, 1);
    EXPECT_EQ(r.data.text, QStringLiteral("hello"));
    EXPECT_FALSE(r.data.accepted);
    EXPECT_EQ(r.data.action, 0);
}

} // namespace
