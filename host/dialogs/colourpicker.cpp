#include "host/dialogs/colourpicker.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

EzxColourPickerDialog::EzxColourPickerDialog(QWidget *parent, uint32_t *colour)
    : EZXBaseDialog(false, false, parent, true, nullptr), m_pixmap(40, 40), m_colour(colour)
{
    setCaption(QCoreApplication::translate("ContentsEditDialog", "RES_CED_COLOURPICKER"));
    spacedLayout();
    auto *grid = new QGridLayout;
    grid->setSpacing(2);
    contentLayout()->addLayout(grid);
    static const Qt::GlobalColor backgrounds[3] = {Qt::red, Qt::green, Qt::blue};
    for (int c = 0; c < 3; c++) {
        const int value = int((*colour >> (16 - 8 * c)) & 0xFF);
        auto *slider = new QSlider(Qt::Horizontal, contentArea());
        slider->setRange(0, 255);
        slider->setPageStep(1);
        slider->setValue(value);
        QPalette palette = slider->palette();
        palette.setColor(QPalette::Window, backgrounds[c]);
        slider->setPalette(palette);
        slider->setAutoFillBackground(true);
        auto *field = new QLineEdit(QString::number(value), contentArea());
        field->setMaxLength(3);
        field->setFrame(false);
        m_sliders[c] = slider;
        m_fields[c] = field;
        grid->addWidget(slider, c, 0);
        grid->addWidget(field, c, 1);
    }
    for (QLineEdit *field : m_fields)
        field->setMaximumWidth(m_fields[0]->sizeHint().height());
    m_swatch = new QLabel(contentArea());
    grid->addWidget(m_swatch, 3, 0, 1, 2, Qt::AlignHCenter);
    grid->setColumnStretch(0, 10);
    grid->setRowStretch(4, 10);
    repaintSwatch();

    connect(m_sliders[0], &QSlider::valueChanged, this, &EzxColourPickerDialog::rSliderSlot);
    connect(m_sliders[1], &QSlider::valueChanged, this, &EzxColourPickerDialog::gSliderSlot);
    connect(m_sliders[2], &QSlider::valueChanged, this, &EzxColourPickerDialog::bSliderSlot);
    connect(m_fields[0], &QLineEdit::textChanged, this, &EzxColourPickerDialog::rEditSlot);
    connect(m_fields[1], &QLineEdit::textChanged, this, &EzxColourPickerDialog::gEditSlot);
    connect(m_fields[2], &QLineEdit::textChanged, this, &EzxColourPickerDialog::bEditSlot);
}

uint32_t EzxColourPickerDialog::current() const
{
    return uint32_t(m_sliders[0]->value()) << 16 | uint32_t(m_sliders[1]->value()) << 8 |
           uint32_t(m_sliders[2]->value());
}

void EzxColourPickerDialog::sliderSlot(int channel, int value)
{
    // A change that came from the field itself leaves the field alone.
    if (m_fields[channel]->text().toInt() == value)
        return;
    m_fields[channel]->setText(QString::number(value));
    repaintSwatch();
}

void EzxColourPickerDialog::editSlot(int channel, const QString &text)
{
    const int value = text.toInt(); // 0 when not a number
    if (value == m_sliders[channel]->value())
        return;
    m_sliders[channel]->setValue(value); // clamped to 0..255
    repaintSwatch();
}

void EzxColourPickerDialog::repaintSwatch()
{
    m_pixmap.fill(QColor(QRgb(current())));
    m_swatch->setPixmap(m_pixmap);
}

void EzxColourPickerDialog::accept()
{
    *m_colour = 0xFF000000u | current();
    EZXBaseDialog::accept();
}
