// The format menus of the contents edit dialog for a spreadsheet cell: a
// category list, up to three detail lists and a custom-format field, set
// from a cell's format code and composed back into one on accept.
#pragma once

#include <QObject>
#include <QString>

#include "host/dialogs/numberformats.h"

class QComboBox;
class QLineEdit;
class QWidget;

class NumberFormatPicker : public QObject {
    Q_OBJECT
  public:
    // The widgets are made on parent; the locale entries come from the
    // translations.
    explicit NumberFormatPicker(QWidget *parent);

    QComboBox *categoryBox() const
    {
        return m_category;
    }
    QComboBox *detailBox(int index) const
    {
        return m_details[index];
    }
    QLineEdit *customField() const
    {
        return m_custom;
    }
    const NumberFormatLocale &locale() const
    {
        return m_locale;
    }

    // Selects the menu choices of a cell's format code.
    void setUp(const QString &code);
    // The code of the choices; code is left as it was when the catalogue
    // has no code for them.
    void compose(QString *code) const;
    // The key of the current choices.
    uint32_t currentKey() const;

  public Q_SLOTS:
    void formatSelected(int category);
    void detailSelected(int index);

  private:
    void fillFormats(int category);

    QComboBox *m_category;
    QComboBox *m_details[3];
    QLineEdit *m_custom;
    NumberFormatLocale m_locale;
};
