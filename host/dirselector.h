// The archive folder that the main window lists and the directory dialog
// shows: the entries of one folder inside an archive, the folder's path,
// the chosen entry and whether a new listing is on its way.
#pragma once

#include <QList>
#include <QString>

#include "host/qalien.h"

struct DirSelector {
    QList<DirEntry> entries;
    QString path;
    int selected = -1;
    bool refreshing = false;
};
