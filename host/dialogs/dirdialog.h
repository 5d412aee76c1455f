// The folder browser of an opened archive: the entries of one folder with a
// folder or document picture. Choosing a folder asks the main window for
// that folder's listing and refills the list when it has arrived; choosing
// any other entry accepts, and the main window opens it.
#pragma once

#include <QPixmap>

#include "host/dialogs/basedialog.h"
#include "host/dirselector.h"

class EzxDirDialog : public EZXBaseDialog {
    Q_OBJECT
  public:
    EzxDirDialog(QWidget *parent, DirSelector *selector);

    QListBox *list() const
    {
        return m_list;
    }
    // The 32 x 32 pictures of folders and documents.
    static QPixmap folderPicture();
    static QPixmap documentPicture();

  public Q_SLOTS:
    void itemSelected();
    void refreshDone(DirSelector *selector);
    void accept() override;

  Q_SIGNALS:
    void refresh(DirSelector *selector);

  private:
    void fill();

    QListBox *m_list;
    DirSelector *m_selector;
    QPixmap m_folder, m_document;
};
