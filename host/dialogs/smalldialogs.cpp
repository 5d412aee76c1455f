#include "host/dialogs/smalldialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTextBrowser>
#include <QTextStream>
#include <QVBoxLayout>

#include "host/startup.h"

namespace {

QString dialogText(const char *context, const char *key)
{
    return QCoreApplication::translate(context, key);
}

QFont sizedFont(int points)
{
    QFont font = QApplication::font();
    font.setPointSize(points);
    return font;
}

} // namespace

// ------------------------------------------------------------ about

QString EzxAboutDialog::aboutText(const QString *texts)
{
    QString version = texts ? texts[0] : QString();
    QString issue = texts ? texts[1] : QString();
    QString licensee = texts ? texts[2] : QString();
    return QStringLiteral("<h3>Vexlan</h3>"
                          "<p>Version %1 (%2)</p>"
                          "<p>A document viewer with light editing: word processing, spreadsheet, "
                          "presentation, PDF, web and plain text documents.</p>"
                          "<p>Licence: %3</p>"
                          "<p>Copyright the Vexlan developers. All rights reserved.</p>")
        .arg(version.toHtmlEscaped(), issue.toHtmlEscaped(), licensee.toHtmlEscaped());
}

EzxAboutDialog::EzxAboutDialog(QWidget *parent, QString *texts)
    : EZXBaseDialog(false, false, parent, true, texts)
{
    setCaption(dialogText("AboutDialog", "RES_ABOUT_CAPTION"));
    m_view = new QTextBrowser(contentArea());
    m_view->setFont(sizedFont(14));
    m_view->setHtml(aboutText(texts));
    contentLayout()->addWidget(m_view);
}

// ------------------------------------------------------------ help

EzxHelpDialog::EzxHelpDialog(QWidget *parent, const QString &path)
    : EZXBaseDialog(false, false, parent, true, nullptr)
{
    setCaption(dialogText("HelpDialog", "RES_HELP_CAPTION"));
    m_view = new QTextBrowser(contentArea());
    m_view->setFont(sizedFont(14));
    QFile file(path.isEmpty() ? Startup_helpPath() : path);
    if (!file.fileName().isEmpty() && file.open(QIODevice::ReadOnly)) {
        QTextStream stream(&file);
        stream.setEncoding(QStringConverter::Utf8);
        m_view->setText(stream.readAll());
        file.close();
    } else {
        m_view->setText(QStringLiteral("Help file missing"));
    }
    contentLayout()->addWidget(m_view);
}

// ------------------------------------------------------------ preferences

EzxPrefDialog::EzxPrefDialog(QWidget *parent, HostSettings *record)
    : EZXBaseDialog(false, false, parent, true, record), m_record(record)
{
    spacedLayout();
    setCaption(dialogText("PrefDialog", "RES_PREF_CAPTION"));
    const QFont font = sizedFont(12);
    QWidget *area = contentArea();
    QVBoxLayout *layout = contentLayout();

    m_single = new QCheckBox(dialogText("PrefDialog", "RES_PREF_SINGLEPAGE"), area);
    m_single->setFont(font);
    m_single->setChecked(record->singlePage);
    layout->addWidget(m_single);
    layout->addSpacing(10);

    auto *heading = new QLabel(dialogText("PrefDialog", "RES_PREF_CHARENCODING"), area);
    heading->setFont(font);
    layout->addWidget(heading);
    auto *line = new QFrame(area);
    line->setFrameStyle(QFrame::HLine | QFrame::Raised);
    line->setMidLineWidth(1);
    layout->addWidget(line);
    auto *label = new QLabel(dialogText("PrefDialog", "RES_PREF_DEFENCODING"), area);
    label->setFont(font);
    layout->addWidget(label);

    static const char *const encodings[] = {
        "RES_PREF_ENCODING_ISO88591",   "RES_PREF_ENCODING_BIG5",      "RES_PREF_ENCODING_GBK",
        "RES_PREF_ENCODING_SHIFTJIS",   "RES_PREF_ENCODING_ISO2022JP", "RES_PREF_ENCODING_EUCJP",
        "RES_PREF_ENCODING_WINDOWS949", "RES_PREF_ENCODING_UTF8",
    };
    m_encoding = new QComboBox(area);
    m_encoding->setFont(font);
    m_encoding->setMaximumWidth(contentRect().width());
    for (const char *key : encodings)
        m_encoding->addItem(dialogText("PrefDialog", key));
    // A record from a damaged settings file may hold any index: show the
    // first encoding rather than none.
    m_encoding->setCurrentIndex(record->encoding >= 0 && record->encoding < 8 ? record->encoding
                                                                              : 0);
    layout->addWidget(m_encoding);

    m_auto = new QCheckBox(dialogText("PrefDialog", "RES_PREF_AUTOENCODING"), area);
    m_auto->setFont(font);
    m_auto->setChecked(record->autoEncoding);
    layout->addWidget(m_auto);
    layout->addStretch(1);
}

void EzxPrefDialog::accept()
{
    m_record->singlePage = m_single->isChecked();
    m_record->autoEncoding = m_auto->isChecked();
    m_record->encoding = m_encoding->currentIndex();
    EZXBaseDialog::accept();
}
