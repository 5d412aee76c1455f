// The colour picker of the contents edit dialog: a slider and a number
// field for each of red, green and blue, kept in step, and a swatch. The
// colour (0x..RRGGBB) is the opener's; on accept it becomes
// 0xFF000000 | RGB.
#pragma once

#include <QPixmap>

#include <cstdint>

#include "host/dialogs/basedialog.h"

class QLabel;
class QLineEdit;
class QSlider;

class EzxColourPickerDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    EzxColourPickerDialog(QWidget *parent, uint32_t *colour);

    QSlider *slider(int channel) const
    {
        return m_sliders[channel];
    }
    QLineEdit *field(int channel) const
    {
        return m_fields[channel];
    }
    // The sliders' colour, 0xRRGGBB.
    uint32_t current() const;

  public Q_SLOTS:
    void accept() override;
    void rSliderSlot(int value)
    {
        sliderSlot(0, value);
    }
    void gSliderSlot(int value)
    {
        sliderSlot(1, value);
    }
    void bSliderSlot(int value)
    {
        sliderSlot(2, value);
    }
    void rEditSlot(const QString &text)
    {
        editSlot(0, text);
    }
    void gEditSlot(const QString &text)
    {
        editSlot(1, text);
    }
    void bEditSlot(const QString &text)
    {
        editSlot(2, text);
    }

  private:
    void sliderSlot(int channel, int value);
    void editSlot(int channel, const QString &text);
    void repaintSwatch();

    QSlider *m_sliders[3];
    QLineEdit *m_fields[3];
    QLabel *m_swatch;
    QPixmap m_pixmap;
    uint32_t *m_colour;
};
