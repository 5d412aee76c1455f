// The host's own files: the settings file ".vexlaneditrc" and the recent
// files list ".vexlaneditmru", kept in the directory that
// "MYSTUFF_DATA_PATH" names (the home directory when it is unset or
// empty).
#pragma once

#include <QString>
#include <QStringList>

#include "host/settingsfile.h"

QString HostFiles_directory();
// The start document of the command line as the engine must get it: a
// relative local path made absolute against the working directory (the
// engine's file URLs start at the file-system root); a URL ("scheme://")
// or an absolute path stays as it is. Empty for none.
QString HostFiles_startDocument(const char *argument);
// The directory, "/" and the name.
QString HostFiles_path(const char *name);

// Reads key=value lines into settings (defaults first). Lines longer than
// the bounds (255 bytes of key, 255 of value), lines without a key, a "="
// or a decimal value, and unknown keys are skipped; an Encoding outside 0
// to 7 becomes 0. False when the file could not be opened (the defaults
// stay).
bool HostSettings_read(const QString &path, HostSettings *settings);
// Writes the three lines "SinglePage=%d", "AutoEncoding=%d", "Encoding=%d".
// False when the file could not be written.
bool HostSettings_write(const QString &path, const HostSettings &settings);

// The documents opened or saved most recently, most recent first, kept in
// a UTF-8 file of one path a line. The limit applies when adding; a longer
// list read from the file is kept as it is.
class RecentFiles {
  public:
    explicit RecentFiles(int maximum, const QString &path = HostFiles_path(".vexlaneditmru"));
    ~RecentFiles();
    RecentFiles(const RecentFiles &) = delete;
    RecentFiles &operator=(const RecentFiles &) = delete;

    const QStringList &entries() const
    {
        return m_entries;
    }
    void add(const QString &path);
    void remove(const QString &path);
    QString filePath() const
    {
        return m_path;
    }

  private:
    void load();
    void save() const;

    int m_maximum;
    QStringList m_entries;
    QString m_path;
};
