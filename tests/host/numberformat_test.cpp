// The cell number-format catalogue and the format menus built on it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include <set>

#include "host/dialogs/numberformatpicker.h"
#include "tests/host/gui_fixture.h"

namespace {

TEST(NumberFormats, TheTableHoldsEveryKeyOnceInItsGroups)
{
    ASSERT_EQ(NumberFormat_count(), 215u);
    const NumberFormatEntry *t = NumberFormat_table();
    std::set<uint32_t> keys;
    int perCategory[Format_categories] = {};
    for (size_t i = 0; i < NumberFormat_count(); i++) {
        EXPECT_TRUE(keys.insert(t[i].key).second) << std::hex << t[i].key;
        ASSERT_LT(t[i].key & 0xFF, 10u);
        perCategory[t[i].key & 0xFF]++;
    }
    const int expected[Format_categories] = {1, 1, 40, 9, 5, 5, 72, 18, 40, 24, 0};
    for (int c = 0; c < Format_categories; c++)
        EXPECT_EQ(perCategory[c], expected[c]) << c;
    EXPECT_EQ(NumberFormat_countEntries(NumberFormat_key(Format_fraction), 1), 9);
    EXPECT_EQ(NumberFormat_countEntries(NumberFormat_key(Format_date, 2), 2), 15);
    EXPECT_EQ(NumberFormat_countEntries(NumberFormat_key(Format_time, 4), 2), 1);
}

TEST(NumberFormats, CodesOfKeys)
{
    struct Case {
        uint32_t key;
        const char *code;
    } cases[] = {
        {NumberFormat_key(Format_general), "General"},
        {NumberFormat_key(Format_number, 1, 2, 1), "#,##0.00;[Red]#,##0.00"},
        {0x1020302, "#,##0.00_ ;[Red]\\-#,##0.00\\ "},
        {NumberFormat_key(Format_number, 0, 4, 0), "0.0000000000"},
        {NumberFormat_key(Format_scientific, 0), "0.E+00"},
        {NumberFormat_key(Format_scientific, 2), "0.00E+00"},
        {NumberFormat_key(Format_percentage, 4), "0.0000000000%"},
        {NumberFormat_key(Format_fraction, 8), "#\\ ?\?/100"},
        {NumberFormat_key(Format_currency, 0, 3, 1),
         "[$\xC2\xA3-809]#,##0.00;[Red]\\-[$\xC2\xA3-809]#,##0.00"},
        {NumberFormat_key(Format_currency, 5, 2, 0), "#,##0\\ [$$-C0C]_ ;\\-#,##0\\ [$$-C0C]\\ "},
        {NumberFormat_key(Format_currency, 4, 0, 0), "\"\xC2\xA3\"#,##0"},
        {NumberFormat_key(Format_accounting, 7, 0),
         "_-[$USD]\\ * #,##0_-;\\-[$USD]\\ * #,##0_-;_-[$USD]\\ * \"-\"_-;_-@_-"},
        {NumberFormat_key(Format_date, 2, 14), "[$-409]d\\-mmm\\-yyyy;@"},
        {NumberFormat_key(Format_time, 3, 2), "h\" h \"mm;@"},
    };
    for (const Case &c : cases) {
        std::string code;
        ASSERT_TRUE(NumberFormat_findCode(c.key, nullptr, &code)) << std::hex << c.key;
        EXPECT_EQ(code, c.code) << std::hex << c.key;
    }
    std::string none = "kept";
    EXPECT_FALSE(NumberFormat_findCode(NumberFormat_key(Format_custom), nullptr, &none));
    EXPECT_FALSE(NumberFormat_findCode(NumberFormat_key(Format_number, 4, 0, 0), nullptr, &none));
    EXPECT_EQ(none, "kept");
}

TEST(NumberFormats, KeysOfCodesTheFirstEntryWins)
{
    const NumberFormatLocale locale{"%d/%m/%Y", "%d/%m/%Y %H:%M"};
    struct Case {
        const char *code;
        uint32_t key;
    } cases[] = {
        {"yyyy\\-mm\\-dd;@", NumberFormat_key(Format_date, 3, 0)}, // before ISO and UK
        {"hh:mm:ss;@", NumberFormat_key(Format_time, 3, 0)},
        {"yyyy\\-mm\\-dd\\ hh:mm:ss;@", NumberFormat_key(Format_date, 0, 6)}, // dates before times
        {"0.0000", Format_custom},
        {"", Format_custom},
        {"%d/%m/%Y", 0x10408}, // the locale entries first
        {"General", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NumberFormat_findKey(c.code, &locale), c.key) << c.code;
    std::string code;
    ASSERT_TRUE(NumberFormat_findCode(0x408, &locale, &code));
    EXPECT_EQ(code, locale.dateTimeFormat);
}

TEST(NumberFormats, MenuTextOfCodes)
{
    EXPECT_EQ(NumberFormat_display("[$-409]d\\-mmm\\-yy;@"), "d-mmm-yy");
    EXPECT_EQ(NumberFormat_display("yyyymmdd\"T\"hhmmss;@"), "yyyymmddThhmmss");
    EXPECT_EQ(NumberFormat_display("[$-409"), "") << "an unclosed tag ends the text";
}

class Picker : public ::testing::Test {
  protected:
    Catalogue catalogue;
    QWidget parent;
    NumberFormatPicker picker{&parent};
    QString code;
    QString composed()
    {
        QString out = QStringLiteral("unchanged");
        picker.compose(&out);
        return out;
    }
    void choose(int category, std::initializer_list<int> details)
    {
        picker.categoryBox()->setCurrentIndex(category);
        picker.formatSelected(category);
        int i = 0;
        for (int d : details) {
            picker.detailBox(i)->setCurrentIndex(d);
            if (i == 0)
                picker.detailSelected(d);
            i++;
        }
    }
};

TEST_F(Picker, ACodeOpensAsItsFirstEntry)
{
    picker.setUp(QStringLiteral("yyyy\\-mm\\-dd;@"));
    EXPECT_EQ(picker.categoryBox()->currentIndex(), int(Format_date));
    EXPECT_EQ(picker.detailBox(0)->currentIndex(), 3);
    EXPECT_EQ(picker.detailBox(1)->currentIndex(), 0);
    EXPECT_EQ(picker.detailBox(1)->count(), 7);
    EXPECT_EQ(picker.detailBox(1)->itemText(5), QStringLiteral("d mmmm, yyyy"));
    EXPECT_FALSE(picker.detailBox(2)->isVisibleTo(&parent));
    EXPECT_FALSE(picker.customField()->isVisibleTo(&parent));
    EXPECT_EQ(composed(), QStringLiteral("yyyy\\-mm\\-dd;@"));
}

TEST_F(Picker, AnUnknownCodeOpensAsCustomAndRoundTrips)
{
    picker.setUp(QStringLiteral("0.0000"));
    EXPECT_EQ(picker.categoryBox()->currentIndex(), int(Format_custom));
    EXPECT_TRUE(picker.customField()->isVisibleTo(&parent));
    EXPECT_FALSE(picker.detailBox(0)->isVisibleTo(&parent));
    EXPECT_EQ(composed(), QStringLiteral("0.0000"));
}

TEST_F(Picker, ChoicesComposeTheirCodes)
{
    picker.setUp(QStringLiteral("General"));
    choose(Format_number, {1, 2, 1});
    EXPECT_EQ(composed(), QStringLiteral("#,##0.00;[Red]#,##0.00"));
    choose(Format_scientific, {0});
    EXPECT_EQ(composed(), QStringLiteral("0.E+00"));
    choose(Format_fraction, {});
    EXPECT_EQ(picker.detailBox(0)->count(), 9);
    ASSERT_TRUE(catalogue.loaded());
    choose(Format_date, {4, 0});
    EXPECT_EQ(picker.detailBox(1)->itemText(0),
              QCoreApplication::translate("ContentsEditDialog", "RES_CED_DATETIMEFORMAT"));
    EXPECT_EQ(composed(), QCoreApplication::translate("DateTime", "RES_TIMEDATE_DATETIMEFORMAT"));
    choose(Format_time, {2, 4});
    EXPECT_EQ(picker.detailBox(1)->count(), 8);
    EXPECT_EQ(composed(), QStringLiteral("mm:ss.0;@"));
}

TEST_F(Picker, TheLocaleDateFormatOpensAsLocal)
{
    picker.setUp(QCoreApplication::translate("DateTime", "RES_TIMEDATE_DATEFORMAT"));
    EXPECT_EQ(picker.categoryBox()->currentIndex(), int(Format_date));
    EXPECT_EQ(picker.detailBox(0)->currentIndex(), 4);
    EXPECT_EQ(picker.detailBox(1)->currentIndex(), 1);
}

} // namespace
