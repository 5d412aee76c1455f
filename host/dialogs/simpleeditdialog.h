// The one-line prompt: a caption, a prompt label and one text field (go to
// page, go to element, search, password). The record is the opener's; the
// field's text is written back only on accept.
#pragma once

#include "host/dialogs/basedialog.h"
#include "host/mainwidget.h"

class QLineEdit;

class EzxSimpleEditDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    EzxSimpleEditDialog(QWidget *parent, Prompt *record);

    QLineEdit *field() const
    {
        return m_field;
    }

  public Q_SLOTS:
    void accept() override;

  private:
    QLineEdit *m_field;
    Prompt *m_record;
};
