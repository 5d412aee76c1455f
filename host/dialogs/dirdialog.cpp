#include "host/dialogs/dirdialog.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

// Draws the two pictures: a yellow folder with a tab, and a white page
// with a folded corner and text lines.
QPixmap picture(bool folder)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x40, 0x40, 0x40));
    if (folder) {
        p.setBrush(QColor(0xE8, 0xC0, 0x40));
        p.drawRect(3, 6, 11, 4);
        p.drawRect(3, 9, 26, 18);
    } else {
        const QPoint page[] = {{7, 3}, {20, 3}, {26, 9}, {26, 29}, {7, 29}};
        p.setBrush(Qt::white);
        p.drawPolygon(page, 5);
        p.drawLine(20, 3, 20, 9);
        p.drawLine(20, 9, 26, 9);
        for (int y = 13; y <= 25; y += 4)
            p.drawLine(10, y, 23, y);
    }
    return pixmap;
}

} // namespace

QPixmap EzxDirDialog::folderPicture()
{
    return picture(true);
}

QPixmap EzxDirDialog::documentPicture()
{
    return picture(false);
}

EzxDirDialog::EzxDirDialog(QWidget *parent, DirSelector *selector)
    : EZXBaseDialog(false, false, parent, true, selector), m_selector(selector),
      m_folder(folderPicture()), m_document(documentPicture())
{
    setCaption(QCoreApplication::translate("DirDialog", "RES_DIR_CAPTION"));
    m_list = new QListBox(contentArea());
    fill();
    contentLayout()->addWidget(m_list);
    contentLayout()->addStretch(1);
    m_list->setMinimumHeight(216);
    m_list->setMinimumWidth(m_list->maxItemWidth() + 10);
    connect(m_list, &QListBox::doubleClicked, this, &EzxDirDialog::itemSelected);
    setFocusProxy(m_list);
}

void EzxDirDialog::fill()
{
    m_list->clear();
    for (const DirEntry &entry : m_selector->entries)
        m_list->insertItem(entry.isDirectory ? m_folder : m_document, entry.name);
    if (m_list->count() > 0)
        m_list->setCurrentItem(0);
}

void EzxDirDialog::itemSelected()
{
    if (m_selector->refreshing)
        return;
    const int index = m_list->currentItem();
    if (index < 0 || index >= m_selector->entries.size())
        return;
    m_selector->selected = index;
    if (m_selector->entries[index].isDirectory) {
        m_list->setEnabled(false);
        Q_EMIT refresh(m_selector);
    } else {
        editEnterHandler();
    }
}

void EzxDirDialog::refreshDone(DirSelector *)
{
    m_list->setEnabled(true);
    fill();
}

void EzxDirDialog::accept()
{
    m_selector->selected = m_list->currentItem();
    m_list->setEnabled(false);
    EZXBaseDialog::accept();
}
