#include "host/dialogs/contentseditdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "host/dialogs/colourpicker.h"
#include "host/dialogs/numberformatpicker.h"

namespace {

QString text(const char *id)
{
    return QCoreApplication::translate("ContentsEditDialog", id);
}

// A 16 x 12 swatch of an 0xRRGGBB colour.
QPixmap swatch(uint32_t rgb)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(QColor(QRgb(rgb & 0xFFFFFF)));
    return pixmap;
}

const int sizeItems[9] = {4, 8, 10, 12, 16, 24, 36, 48, 72};

// A typed number, or false when the text is not a finite number.
bool readNumber(const QString &typed, double *value)
{
    bool ok = false;
    *value = typed.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value);
}

} // namespace

EzxContentsEditDialog::EzxContentsEditDialog(QWidget *parent, QPixmap **styleIcons,
                                             QAlien::EditData *data)
    : EZXBaseDialog(false, data->isCell, parent, true, data), m_data(data)
{
    m_font12 = QApplication::font();
    m_font12.setPointSize(12);
    spacedLayout();
    setCaption(text("RES_CED_TITLE") + data->title);
    if (data->colourIsRgb)
        m_rgb = data->colour >> 8;

    QWidget *page = contentArea();
    QGridLayout *grid;
    if (data->isCell) {
        m_stack = new QWidgetStack(contentArea());
        contentLayout()->addWidget(m_stack);
        page = new QWidget;
        grid = new QGridLayout(page);
        grid->setContentsMargins(2, 2, 2, 2);
        m_stack->addWidget(page, 0);
    } else {
        grid = new QGridLayout;
        grid->setSpacing(2);
        contentLayout()->addLayout(grid);
    }
    buildStylePage(page, grid, styleIcons);
    if (data->isCell) {
        buildCellPages();
        m_stack->raiseWidget(0);
        m_picker->setUp(data->numberFormat);

        auto *menu = new QPopupMenu(this);
        menu->setCheckable(true);
        menu->insertItem(text("RES_CED_STYLEFONTMENU"), 0);
        menu->insertItem(text("RES_CED_FORMATLAYOUTMENU"), 1);
        menu->insertItem(text("RES_CED_RESIZEMENU"), 2);
        menu->insertSeparator();
        menu->insertItem(text("RES_CED_INSERTDELETEMENU"), 3);
        menu->setItemChecked(0, true);
        connect(menu, &QPopupMenu::activated, this, &EzxContentsEditDialog::menuItemSelected);
        setPopupMenu(menu);
    }
}

void EzxContentsEditDialog::buildStylePage(QWidget *page, QGridLayout *grid, QPixmap **styleIcons)
{
    auto label = [&](const char *id, int row) {
        auto *l = new QLabel(text(id), page);
        l->setFont(m_font12);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(l, row, 0);
    };
    m_text = new QLineEdit(m_data->text, page);
    m_text->setFont(m_font12);
    m_text->setEnabled(m_data->editable);
    grid->addWidget(m_text, 0, 0, 1, 2);

    label("RES_CED_STYLE", 1);
    auto *row = new QHBoxLayout;
    static const char *const letters[5] = {"B", "I", "S", "U", "D"};
    const bool flags[5] = {m_data->bold, m_data->italic, m_data->strike, m_data->underline,
                           m_data->doubleUnderline};
    for (int i = 0; i < 5; i++) {
        auto *b = new QPushButton(QString::fromLatin1(letters[i]), page);
        b->setFont(m_font12);
        b->setCheckable(true);
        b->setChecked(flags[i]);
        if (styleIcons && styleIcons[i]) {
            b->setIcon(QIcon(*styleIcons[i]));
            b->setText(QString());
        }
        b->setMaximumWidth(b->sizeHint().height() + 9);
        row->addWidget(b);
        m_styles[i] = b;
    }
    row->addStretch(1);
    grid->addLayout(row, 1, 1);

    label("RES_CED_SIZE", 2);
    m_size = new QComboBox(page);
    m_size->setFont(m_font12);
    m_size->setEditable(true);
    for (int s : sizeItems)
        m_size->addItem(QString::number(s));
    m_size->setCurrentIndex(m_size->findText(QString::number(m_data->size >> 16)));
    m_size->setEditText(QString::number(double(m_data->size & ~0xFFFu) / 65536.0, 'g', 6));
    grid->addWidget(m_size, 2, 1);

    label("RES_CED_COLOUR", 3);
    if (m_data->colourIsRgb) {
        m_colourButton = new QPushButton(page);
        const int side = m_styles[0]->sizeHint().height();
        m_colourButton->setMinimumSize(side, side);
        repaintColourButton();
        connect(m_colourButton, &QPushButton::clicked, this,
                &EzxContentsEditDialog::openColourPicker);
        grid->addWidget(m_colourButton, 3, 1, Qt::AlignLeft);
    } else {
        m_colourBox = new QComboBox(page);
        m_colourBox->setFont(m_font12);
        for (int i = 0; i < m_data->paletteCount; i++)
            m_colourBox->addItem(QIcon(swatch(m_data->palette[i] >> 8)), QString());
        m_colourBox->setCurrentIndex(
            int(m_data->colour) < m_data->paletteCount ? int(m_data->colour) : 0);
        grid->addWidget(m_colourBox, 3, 1);
    }

    int next = 4;
    if (m_data->highlight >= -1) {
        label("RES_CED_HIGHLIGHT", next);
        m_highlight = new QComboBox(page);
        m_highlight->setFont(m_font12);
        m_highlight->addItem(text("RES_CED_NOCOLOUR"));
        for (int i = 0; i < m_data->paletteCount; i++)
            m_highlight->addItem(QIcon(swatch(m_data->palette[i] >> 8)), QString());
        m_highlight->setCurrentIndex(
            m_data->highlight + 1 < m_highlight->count() ? m_data->highlight + 1 : 0);
        grid->addWidget(m_highlight, next++, 1);
    }

    label("RES_CED_FONT", next);
    m_font = new QComboBox(page);
    m_font->setFont(m_font12);
    for (int i = 0; i < m_data->fontCount; i++)
        m_font->addItem(QString::fromUtf8(
            m_data->fontNames && m_data->fontNames[i] ? m_data->fontNames[i] : ""));
    m_font->setCurrentIndex(m_data->fontIndex);
    grid->addWidget(m_font, next, 1);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(next + 1, 1);
}

void EzxContentsEditDialog::buildCellPages()
{
    const int width = contentRect().width();
    // Format and layout.
    auto *format = new QWidget;
    auto *grid = new QGridLayout(format);
    grid->setContentsMargins(2, 2, 2, 2);
    auto addLabel = [&](QGridLayout *g, QWidget *p, const char *id, int row) {
        auto *l = new QLabel(text(id), p);
        l->setFont(m_font12);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        g->addWidget(l, row, 0);
    };
    addLabel(grid, format, "RES_CED_FORMAT", 0);
    m_picker = new NumberFormatPicker(format);
    m_picker->categoryBox()->setFont(m_font12);
    m_picker->categoryBox()->setMaximumWidth(width);
    grid->addWidget(m_picker->categoryBox(), 0, 1);
    m_picker->customField()->setText(m_data->numberFormat);
    m_picker->customField()->setMaximumWidth(width - 4);
    grid->addWidget(m_picker->customField(), 1, 0, 1, 2);
    for (int i = 0; i < 3; i++) {
        m_picker->detailBox(i)->setFont(m_font12);
        m_picker->detailBox(i)->setMaximumWidth(width - 4);
        grid->addWidget(m_picker->detailBox(i), 1 + i, 0, 1, 2);
    }
    grid->addItem(new QSpacerItem(0, 8), 4, 0);
    addLabel(grid, format, "RES_CED_LAYOUT", 5);
    static const char *const aligns[2][3] = {
        {"RES_CED_LAYLEFT", "RES_CED_LAYHCENTRE", "RES_CED_LAYRIGHT"},
        {"RES_CED_LAYTOP", "RES_CED_LAYVCENTRE", "RES_CED_LAYBOTTOM"}};
    const int current[2] = {m_data->hAlign, m_data->vAlign};
    for (int v = 0; v < 2; v++) {
        m_align[v] = new QComboBox(format);
        m_align[v]->setFont(m_font12);
        for (const char *id : aligns[v])
            m_align[v]->addItem(text(id));
        m_align[v]->setCurrentIndex(current[v] >= 0 && current[v] < 3 ? current[v] : 1);
        grid->addWidget(m_align[v], 5 + v, 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);
    m_stack->addWidget(format, 1);

    // Resize.
    auto *resize = new QWidget;
    auto *rgrid = new QGridLayout(resize);
    rgrid->setContentsMargins(2, 2, 2, 2);
    static const char *const extentIds[2] = {"RES_CED_RESIZEWIDTH", "RES_CED_RESIZEHEIGHT"};
    const int extents[2] = {m_data->width, m_data->height};
    for (int i = 0; i < 2; i++) {
        addLabel(rgrid, resize, extentIds[i], i);
        m_extent[i] = new QLineEdit(QString::number(double(extents[i]) / 65536.0, 'g', 3), resize);
        m_extent[i]->setFont(m_font12);
        m_extent[i]->setDisabled(true);
        rgrid->addWidget(m_extent[i], i, 1);
    }
    m_autoFit = new QCheckBox(text("RES_CED_AUTOFIT"), resize);
    m_autoFit->setFont(m_font12);
    m_autoFit->setChecked(true);
    for (QLineEdit *field : m_extent)
        connect(m_autoFit, &QCheckBox::toggled, field, &QWidget::setDisabled);
    rgrid->addWidget(m_autoFit, 2, 0, 1, 2);
    rgrid->setRowStretch(3, 1);
    m_stack->addWidget(resize, 2);

    // Insert and delete.
    auto *insert = new QWidget;
    auto *layout = new QVBoxLayout(insert);
    m_insertDelete = new QButtonGroup(insert);
    static const char *const actions[4] = {"RES_CED_INSERTROWBEFORE", "RES_CED_INSERTCOLUMNBEFORE",
                                           "RES_CED_DELETECURRENTROW",
                                           "RES_CED_DELETECURRENTCOLUMN"};
    for (int i = 0; i < 4; i++) {
        if (i == 2)
            layout->addSpacing(8);
        auto *radio = new QRadioButton(text(actions[i]), insert);
        radio->setFont(m_font12);
        m_insertDelete->addButton(radio, 2 + i);
        layout->addWidget(radio);
    }
    layout->addStretch(1);
    m_stack->addWidget(insert, 3);
}

void EzxContentsEditDialog::menuItemSelected(int id)
{
    if (!m_stack || id < 0 || id > 3)
        return;
    m_stack->raiseWidget(id);
    m_page = id;
    for (int i = 0; i < 4; i++)
        popupMenu()->setItemChecked(i, i == id);
}

void EzxContentsEditDialog::openColourPicker()
{
    (new EzxColourPickerDialog(this, &m_rgb))->show();
}

void EzxContentsEditDialog::repaintColourButton()
{
    if (!m_colourButton)
        return;
    m_colourButton->setIcon(QIcon(swatch(m_rgb)));
    m_colourButton->setIconSize(QSize(16, 12));
}

bool EzxContentsEditDialog::event(QEvent *e)
{
    // The colour picker's results: it has written the colour already.
    if (int(e->type()) == DialogAccepted) {
        repaintColourButton();
        return true;
    }
    if (int(e->type()) == DialogRejected)
        return true;
    return EZXBaseDialog::event(e);
}

void EzxContentsEditDialog::accept()
{
    QAlien::EditData &d = *m_data;
    if (m_page == 3) {
        const int id = m_insertDelete->checkedId();
        if (id >= 2 && id <= 5) {
            d.action = id;
            d.accepted = true;
        }
    } else {
        d.width = d.height = -1;
        if (d.isCell) {
            m_picker->compose(&d.numberFormat);
            d.hAlign = m_align[0]->currentIndex();
            d.vAlign = m_align[1]->currentIndex();
            if (!m_autoFit->isChecked()) {
                // A width or height that is not a number of points the
                // engine can hold is left unchanged.
                int *targets[2] = {&d.width, &d.height};
                for (int i = 0; i < 2; i++) {
                    double value = 0;
                    if (readNumber(m_extent[i]->text(), &value) && value >= 0 && value < 32768.0)
                        *targets[i] = int(value * 65536.0);
                }
            }
        }
        if (d.colourIsRgb) {
            d.colour = (m_rgb << 8) | 0xFF;
        } else {
            const int index = m_colourBox->currentIndex();
            d.colour = index >= 0 && index < d.paletteCount ? uint32_t(index) : 0;
        }
        d.text = m_text->text();
        // A size that is not a positive number of points the record can
        // hold keeps the size the text had.
        double size = 0;
        if (readNumber(m_size->currentText(), &size) && size > 0 && size < 65536.0)
            d.size = uint32_t(size * 65536.0) & ~0xFFFu;
        if (m_font->currentIndex() >= 0)
            d.fontIndex = m_font->currentIndex();
        bool *flags[5] = {&d.bold, &d.italic, &d.strike, &d.underline, &d.doubleUnderline};
        for (int i = 0; i < 5; i++)
            *flags[i] = m_styles[i]->isChecked();
        if (d.highlight >= -1 && m_highlight)
            d.highlight = m_highlight->currentIndex() - 1;
        d.action = 1;
        d.accepted = true;
    }
    d.text.replace(QChar(0x00F7), QLatin1Char('/'));
    d.text.replace(QChar(0x00D7), QLatin1Char('*'));
    EZXBaseDialog::accept();
}
