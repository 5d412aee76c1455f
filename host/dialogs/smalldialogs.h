// The about, help and preferences dialogs of the main menu.
#pragma once

#include "host/dialogs/basedialog.h"
#include "host/settingsfile.h"

class QCheckBox;
class QComboBox;
class QTextBrowser;

// The program's version and credits. texts holds three strings from the
// main window: the version, the issue and the licensee.
class EzxAboutDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    EzxAboutDialog(QWidget *parent, QString *texts);
    QTextBrowser *view() const
    {
        return m_view;
    }
    // The about text for the three strings.
    static QString aboutText(const QString *texts);

  private:
    QTextBrowser *m_view;
};

// The help file (UTF-8 text), or "Help file missing".
class EzxHelpDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    // An empty path means the path found at program start.
    explicit EzxHelpDialog(QWidget *parent, const QString &path = QString());
    QTextBrowser *view() const
    {
        return m_view;
    }

  private:
    QTextBrowser *m_view;
};

// The host preferences: single-page loading, the default character
// encoding and its automatic detection. The record is the opener's copy;
// it is written only on accept.
class EzxPrefDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    EzxPrefDialog(QWidget *parent, HostSettings *record);
    QCheckBox *singlePageBox() const
    {
        return m_single;
    }
    QCheckBox *autoEncodingBox() const
    {
        return m_auto;
    }
    QComboBox *encodingBox() const
    {
        return m_encoding;
    }

  public Q_SLOTS:
    void accept() override;

  private:
    QCheckBox *m_single;
    QCheckBox *m_auto;
    QComboBox *m_encoding;
    HostSettings *m_record;
};
