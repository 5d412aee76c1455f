#include "host/dialogs/numberformatpicker.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>

namespace {

QString label(const QString &id)
{
    const QByteArray key = id.toLatin1();
    return QCoreApplication::translate("ContentsEditDialog", key.constData());
}

QString labelOf(const char *prefix, int n)
{
    return label(QStringLiteral("RES_CED_%1%2").arg(QLatin1String(prefix)).arg(n));
}

const char *const categoryIds[Format_categories] = {
    "GENERAL",  "TEXT",       "NUMBER", "FRACTION", "PERCENTAGE", "SCIENTIFIC",
    "CURRENCY", "ACCOUNTING", "DATE",   "TIME",     "CUSTOM",
};
const char *const currencyIds[9] = {
    "UnitedKingdom_Pound",
    "UnitedStates_Dollar",
    "Euro",
    "Euro_Alt",
    "Sterling",
    "FrenchCanada_Dollar",
    "UnitedKingdom_Pound_Name",
    "UnitedStates_Dollar_Name",
    "Euro_Name",
};
const char *const localeIds[5] = {"ISO", "UnitedKingdom", "UnitedStates", "FrenchCanada", "Local"};

void fillNegatives(QComboBox *box)
{
    for (int i = 1; i <= 4; i++)
        box->addItem(labelOf("NEG", i));
}

void fillDecimals(QComboBox *box, bool five)
{
    static const int five_[5] = {0, 1, 2, 3, 10};
    static const int two[2] = {0, 2};
    if (five)
        for (int d : five_)
            box->addItem(labelOf("DP", d));
    else
        for (int d : two)
            box->addItem(labelOf("DP", d));
}

void fillList(QComboBox *box, const char *const *ids, int count)
{
    for (int i = 0; i < count; i++)
        box->addItem(label(QStringLiteral("RES_CED_%1").arg(QLatin1String(ids[i]))));
}

} // namespace

NumberFormatPicker::NumberFormatPicker(QWidget *parent) : QObject(parent)
{
    m_category = new QComboBox(parent);
    for (QComboBox *&box : m_details)
        box = new QComboBox(parent);
    m_custom = new QLineEdit(parent);
    m_locale.dateFormat =
        QCoreApplication::translate("DateTime", "RES_TIMEDATE_DATEFORMAT").toStdString();
    m_locale.dateTimeFormat =
        QCoreApplication::translate("DateTime", "RES_TIMEDATE_DATETIMEFORMAT").toStdString();
}

void NumberFormatPicker::setUp(const QString &code)
{
    const QByteArray utf8 = code.toUtf8();
    const uint32_t key =
        NumberFormat_findKey(std::string_view(utf8.constData(), size_t(utf8.size())), &m_locale);
    const int category = int(key & 0xFF);
    m_category->clear();
    fillList(m_category, categoryIds, Format_categories);
    m_category->setCurrentIndex(category);
    connect(m_category, &QComboBox::activated, this, &NumberFormatPicker::formatSelected,
            Qt::UniqueConnection);
    connect(m_details[0], &QComboBox::activated, this, &NumberFormatPicker::detailSelected,
            Qt::UniqueConnection);
    m_custom->setText(code);
    formatSelected(category);
    const int details = NumberFormat_details(category);
    for (int i = 0; i < details; i++) {
        m_details[i]->setCurrentIndex(int((key >> (8 * (i + 1))) & 0xFF));
        if (i == 0)
            detailSelected(m_details[0]->currentIndex());
    }
}

void NumberFormatPicker::formatSelected(int category)
{
    for (QComboBox *box : m_details)
        box->clear();
    switch (category) {
    case Format_number:
        fillNegatives(m_details[0]);
        fillDecimals(m_details[1], true);
        m_details[2]->addItem(label(QStringLiteral("RES_CED_NOCOMMAS")));
        m_details[2]->addItem(label(QStringLiteral("RES_CED_COMMAS")));
        break;
    case Format_fraction: {
        const int kinds = NumberFormat_countEntries(NumberFormat_key(Format_fraction), 1);
        for (int i = 1; i <= kinds; i++)
            m_details[0]->addItem(labelOf("FRAC", i));
        break;
    }
    case Format_percentage:
    case Format_scientific: fillDecimals(m_details[0], true); break;
    case Format_currency:
        fillList(m_details[0], currencyIds, 9);
        fillNegatives(m_details[1]);
        fillDecimals(m_details[2], false);
        break;
    case Format_accounting:
        fillList(m_details[0], currencyIds, 9);
        fillDecimals(m_details[1], false);
        break;
    case Format_date:
    case Format_time:
        fillList(m_details[0], localeIds, 5);
        fillFormats(category);
        break;
    default: break;
    }
    const int details = NumberFormat_details(category);
    for (int i = 0; i < 3; i++)
        m_details[i]->setVisible(i < details);
    m_custom->setVisible(category == Format_custom);
}

void NumberFormatPicker::detailSelected(int)
{
    const int category = m_category->currentIndex();
    if (category == Format_date || category == Format_time)
        fillFormats(category);
}

// The second list: the formats of the locale selected in the first.
void NumberFormatPicker::fillFormats(int category)
{
    QComboBox *box = m_details[1];
    box->clear();
    const int locale = qMax(0, m_details[0]->currentIndex());
    if (locale == 4) {
        if (category == Format_date) {
            box->addItem(label(QStringLiteral("RES_CED_DATETIMEFORMAT")));
            box->addItem(label(QStringLiteral("RES_CED_DATEFORMAT")));
            box->addItem(label(QStringLiteral("RES_CED_LONGDATEFORMAT")));
        } else {
            box->addItem(label(QStringLiteral("RES_CED_TIMEFORMAT")));
        }
        return;
    }
    const int count = NumberFormat_countEntries(NumberFormat_key(category, locale), 2);
    for (int i = 0; i < count; i++) {
        std::string code;
        if (NumberFormat_findCode(NumberFormat_key(category, locale, i), nullptr, &code))
            box->addItem(QString::fromStdString(NumberFormat_display(code)));
    }
}

uint32_t NumberFormatPicker::currentKey() const
{
    const int category = m_category->currentIndex();
    const int details = NumberFormat_details(category);
    int choice[3] = {0, 0, 0};
    for (int i = 0; i < details; i++)
        choice[i] = qMax(0, m_details[i]->currentIndex());
    return NumberFormat_key(category, choice[0], choice[1], choice[2]);
}

void NumberFormatPicker::compose(QString *code) const
{
    if (m_category->currentIndex() == Format_custom) {
        *code = m_custom->text();
        return;
    }
    std::string found;
    if (NumberFormat_findCode(currentKey(), &m_locale, &found))
        *code = QString::fromUtf8(found.data(), qsizetype(found.size()));
}
