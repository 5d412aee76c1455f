// The contents edit dialog: the text of a selection or a spreadsheet cell
// with its style, size, colour, highlight and font and, for a cell, its
// number format, alignment, column width and row height, or the insertion
// and deletion of rows and columns. The record is the bridge's; accepting
// writes the choices into it.
#pragma once

#include <cstdint>

#include "host/dialogs/basedialog.h"
#include "host/qalien.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class NumberFormatPicker;

class EzxContentsEditDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    // styleIcons: five pixmaps for B, I, S, U and D (the array or an entry
    // may be null: the button keeps its letter).
    EzxContentsEditDialog(QWidget *parent, QPixmap **styleIcons, QAlien::EditData *data);

    // The pages of a cell: 0 style and font, 1 format and layout, 2 resize,
    // 3 insert and delete.
    int currentPage() const
    {
        return m_page;
    }
    QLineEdit *textField() const
    {
        return m_text;
    }
    QPushButton *styleButton(int index) const
    {
        return m_styles[index];
    }
    QComboBox *sizeBox() const
    {
        return m_size;
    }
    QComboBox *colourBox() const
    {
        return m_colourBox;
    }
    QPushButton *colourButton() const
    {
        return m_colourButton;
    }
    QComboBox *highlightBox() const
    {
        return m_highlight;
    }
    QComboBox *fontBox() const
    {
        return m_font;
    }
    NumberFormatPicker *formatPicker() const
    {
        return m_picker;
    }
    QComboBox *alignBox(int vertical) const
    {
        return m_align[vertical];
    }
    QLineEdit *sizeField(int height) const
    {
        return m_extent[height];
    }
    QCheckBox *autoFitBox() const
    {
        return m_autoFit;
    }
    QButtonGroup *insertDeleteGroup() const
    {
        return m_insertDelete;
    }
    uint32_t rgbColour() const
    {
        return m_rgb;
    }

  public Q_SLOTS:
    void accept() override;
    void menuItemSelected(int id);
    void openColourPicker();

  protected:
    bool event(QEvent *event) override;

  private:
    void buildStylePage(QWidget *page, QGridLayout *grid, QPixmap **styleIcons);
    void buildCellPages();
    void repaintColourButton();

    QAlien::EditData *m_data;
    QWidgetStack *m_stack = nullptr;
    int m_page = 0;
    QPushButton *m_styles[5] = {};
    QComboBox *m_colourBox = nullptr;
    QPushButton *m_colourButton = nullptr;
    QLineEdit *m_text = nullptr;
    QComboBox *m_size = nullptr;
    QComboBox *m_font = nullptr;
    QComboBox *m_highlight = nullptr;
    uint32_t m_rgb = 0;
    NumberFormatPicker *m_picker = nullptr;
    QComboBox *m_align[2] = {};
    QButtonGroup *m_insertDelete = nullptr;
    QLineEdit *m_extent[2] = {};
    QCheckBox *m_autoFit = nullptr;
    QFont m_font12;
};
