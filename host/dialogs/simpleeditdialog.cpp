#include "host/dialogs/simpleeditdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

EzxSimpleEditDialog::EzxSimpleEditDialog(QWidget *parent, Prompt *record)
    : EZXBaseDialog(false, false, parent, true, record), m_record(record)
{
    spacedLayout();
    setCaption(record->title);
    auto *grid = new QGridLayout;
    grid->setSpacing(2);
    contentLayout()->addLayout(grid);
    grid->addWidget(new QLabel(record->hint, contentArea()), 0, 0, 1, 2);
    m_field = new QLineEdit(record->text, contentArea());
    // The password prompt does not show what is typed.
    if (record->id == 1)
        m_field->setEchoMode(QLineEdit::Password);
    grid->addWidget(m_field, 1, 0, 1, 2);
    contentLayout()->addStretch(1);
    connect(m_field, &QLineEdit::returnPressed, this, &EZXBaseDialog::editEnterHandler);
    setFocusProxy(m_field);
}

void EzxSimpleEditDialog::accept()
{
    m_record->text = m_field->text();
    EZXBaseDialog::accept();
}
