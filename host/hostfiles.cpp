// The host's settings file and recent files list.
#include "host/hostfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTextStream>

#include <cstdio>

QString HostFiles_directory()
{
    QString dir = qEnvironmentVariable("MYSTUFF_DATA_PATH");
    // Without it the files would land at the file system's root.
    return dir.isEmpty() ? QDir::homePath() : dir;
}

QString HostFiles_path(const char *name)
{
    return HostFiles_directory() + QLatin1Char('/') + QLatin1String(name);
}

// ------------------------------------------------------------ settings

bool HostSettings_read(const QString &path, HostSettings *settings)
{
    *settings = HostSettings();
    FILE *file = fopen(QFile::encodeName(path).constData(), "r");
    if (!file)
        return false;
    HostSettings_parse(file, settings);
    fclose(file);
    return true;
}

bool HostSettings_write(const QString &path, const HostSettings &settings)
{
    FILE *file = fopen(QFile::encodeName(path).constData(), "w");
    if (!file)
        return false;
    bool written = HostSettings_print(file, settings);
    return fclose(file) == 0 && written;
}

// ------------------------------------------------------------ recent files

RecentFiles::RecentFiles(int maximum, const QString &path) : m_maximum(maximum), m_path(path)
{
    load();
}

RecentFiles::~RecentFiles()
{
    save();
}

void RecentFiles::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd())
        m_entries.append(in.readLine());
}

void RecentFiles::save() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    for (const QString &entry : m_entries)
        out << entry << '\n';
}

void RecentFiles::add(const QString &path)
{
    m_entries.removeAll(path);
    if (m_entries.size() >= m_maximum && !m_entries.isEmpty()) {
        const QString last = m_entries.last();
        m_entries.removeAll(last);
    }
    m_entries.prepend(path);
    save();
}

void RecentFiles::remove(const QString &path)
{
    m_entries.removeAll(path);
    save();
}

QString HostFiles_startDocument(const char *argument)
{
    if (!argument || !*argument)
        return QString();
    const QString text = QString::fromLocal8Bit(argument);
    if (text.contains(QStringLiteral("://")) || QDir::isAbsolutePath(text))
        return text;
    return QFileInfo(text).absoluteFilePath();
}
