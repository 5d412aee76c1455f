// The host's settings file and recent files list.
#include "host/hostfiles.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

constexpr size_t fieldLimit = 255;

// One key=value line (without its end of line) into key and value; false
// for a line of another form or out of bounds.
bool splitLine(const char *line, size_t length, char *key, char *value)
{
    const char *equals = static_cast<const char *>(memchr(line, '=', length));
    if (!equals || equals == line)
        return false;
    size_t keyLength = size_t(equals - line), valueLength = length - keyLength - 1;
    if (keyLength > fieldLimit || valueLength == 0 || valueLength > fieldLimit)
        return false;
    memcpy(key, line, keyLength);
    key[keyLength] = 0;
    memcpy(value, equals + 1, valueLength);
    value[valueLength] = 0;
    return true;
}

bool decimal(const char *text, long *out)
{
    errno = 0;
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r')
        end++;
    if (*end)
        return false;
    *out = v;
    return true;
}

} // namespace

bool HostSettings_read(const QString &path, HostSettings *settings)
{
    *settings = HostSettings();
    FILE *file = fopen(QFile::encodeName(path).constData(), "r");
    if (!file)
        return false;
    // A line fits the buffer with its key, "=", its value and "\n".
    char line[2 * fieldLimit + 3];
    char key[fieldLimit + 1], value[fieldLimit + 1];
    while (fgets(line, sizeof(line), file)) {
        size_t length = strlen(line);
        bool whole = length > 0 && line[length - 1] == '\n';
        if (!whole && !feof(file)) {
            // Too long: the rest of the line goes with it.
            int c;
            while ((c = fgetc(file)) != EOF && c != '\n') {
            }
            continue;
        }
        if (whole)
            length--;
        long v = 0;
        if (!splitLine(line, length, key, value) || !decimal(value, &v))
            continue;
        if (!strcmp(key, "SinglePage"))
            settings->singlePage = v != 0;
        else if (!strcmp(key, "AutoEncoding"))
            settings->autoEncoding = v != 0;
        else if (!strcmp(key, "Encoding"))
            settings->encoding = v >= 0 && v <= 7 ? int(v) : 0;
    }
    fclose(file);
    return true;
}

bool HostSettings_write(const QString &path, const HostSettings &settings)
{
    FILE *file = fopen(QFile::encodeName(path).constData(), "w");
    if (!file)
        return false;
    fprintf(file, "SinglePage=%d\n", settings.singlePage ? 1 : 0);
    fprintf(file, "AutoEncoding=%d\n", settings.autoEncoding ? 1 : 0);
    fprintf(file, "Encoding=%d\n", settings.encoding);
    return fclose(file) == 0;
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
