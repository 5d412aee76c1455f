// The host's files: the settings file and the recent files list.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "host/hostfiles.h"

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Sets an environment variable while it lives, then puts the old value back.
class EnvironmentValue {
  public:
    EnvironmentValue(const char *name, const QByteArray *value) : m_name(name)
    {
        m_had = qEnvironmentVariableIsSet(name);
        m_old = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvironmentValue()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

  private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

TEST(HostFiles, TheDirectoryComesFromTheEnvironmentOrIsTheHome)
{
    QByteArray dir("/some/where");
    {
        EnvironmentValue set("MYSTUFF_DATA_PATH", &dir);
        EXPECT_EQ(HostFiles_path(".vexlaneditrc"), QStringLiteral("/some/where/.vexlaneditrc"));
    }
    // Unset or empty: the home directory, never the file system's root.
    QByteArray empty;
    const QByteArray *values[] = {nullptr, &empty};
    for (const QByteArray *value : values) {
        EnvironmentValue unset("MYSTUFF_DATA_PATH", value);
        EXPECT_EQ(HostFiles_path(".vexlaneditmru"),
                  QDir::homePath() + QStringLiteral("/.vexlaneditmru"));
    }
}

TEST(HostFiles, TheStartDocumentIsMadeAbsolute)
{
    // The engine's file URLs start at the root: "notes.txt" from the shell
    // must reach it as the working directory's file.
    const QString here = QDir::currentPath();
    EXPECT_EQ(HostFiles_startDocument("notes.txt"), here + "/notes.txt");
    EXPECT_EQ(HostFiles_startDocument("./docs/../notes.txt"), here + "/notes.txt");
    EXPECT_EQ(HostFiles_startDocument("/tmp/notes.txt"), QStringLiteral("/tmp/notes.txt"));
    EXPECT_EQ(HostFiles_startDocument("file://root/a.txt"), QStringLiteral("file://root/a.txt"));
    EXPECT_TRUE(HostFiles_startDocument("").isEmpty());
    EXPECT_TRUE(HostFiles_startDocument(nullptr).isEmpty());
}

TEST(HostSettings, LinesAreReadWithinBoundsAndBadOnesSkipped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".vexlaneditrc"));
    const QByteArray longKey(300, 'K'), longValue(300, '7');
    const struct {
        const char *name;
        QByteArray text;
        bool single, autoEncoding;
        int encoding;
    } cases[] = {
        {"encoding 3", "Encoding=3\n", false, true, 3},
        {"all three", "SinglePage=1\nAutoEncoding=0\nEncoding=7\n", true, false, 7},
        {"non-zero is on", "SinglePage=5\n", true, true, 0},
        {"encoding out of range", "Encoding=8\n", false, true, 0},
        {"negative encoding", "Encoding=-1\n", false, true, 0},
        {"empty line and a line of '='", "\n=\n=5\nEncoding=2\n", false, true, 2},
        {"no '=' and no value", "SinglePage\nAutoEncoding=\nEncoding=4\n", false, true, 4},
        {"not a number", "Encoding=three\nSinglePage=1x\n", false, true, 0},
        {"unknown keys", "Colour=3\nencoding=5\n", false, true, 0},
        {"long key skipped whole", longKey + "=1\nEncoding=6\n", false, true, 6},
        {"long value skipped whole", "Encoding=" + longValue + "\nSinglePage=1\n", true, true, 0},
        {"no final end of line", "AutoEncoding=0", false, false, 0},
        {"a NUL inside a line", QByteArray("Encoding=") + '\0' + "2\nSinglePage=1\n", true, true,
         0},
        {"carriage returns", "Encoding=5\r\n", false, true, 5},
        {"binary", QByteArray("\0\0=\xff\n\x01\n", 7) + "Encoding=1\n", false, true, 1},
    };
    for (const auto &c : cases) {
        writeAll(path, c.text);
        HostSettings s;
        s.encoding = 99;
        ASSERT_TRUE(HostSettings_read(path, &s)) << c.name;
        EXPECT_EQ(s.singlePage, c.single) << c.name;
        EXPECT_EQ(s.autoEncoding, c.autoEncoding) << c.name;
        EXPECT_EQ(s.encoding, c.encoding) << c.name;
    }
}

TEST(HostSettings, AMissingFileLeavesTheDefaultsAndWritingGivesTheThreeLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".vexlaneditrc"));
    HostSettings s;
    s.singlePage = true;
    s.encoding = 5;
    EXPECT_FALSE(HostSettings_read(path, &s));
    EXPECT_FALSE(s.singlePage);
    EXPECT_TRUE(s.autoEncoding);
    EXPECT_EQ(s.encoding, 0);

    s.singlePage = true;
    s.autoEncoding = false;
    s.encoding = 3;
    ASSERT_TRUE(HostSettings_write(path, s));
    EXPECT_EQ(readAll(path), QByteArray("SinglePage=1\nAutoEncoding=0\nEncoding=3\n"));
    HostSettings back;
    ASSERT_TRUE(HostSettings_read(path, &back));
    EXPECT_TRUE(back.singlePage);
    EXPECT_FALSE(back.autoEncoding);
    EXPECT_EQ(back.encoding, 3);
    // A file that cannot be written is skipped.
    EXPECT_FALSE(HostSettings_write(dir.filePath(QStringLiteral("missing/.vexlaneditrc")), s));
}

TEST(RecentFiles, AddingMovesToTheFrontAndTheLimitDropsTheOldest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".vexlaneditmru"));
    RecentFiles recent(10, path);
    EXPECT_TRUE(recent.entries().isEmpty());
    for (int i = 0; i < 10; i++)
        recent.add(QStringLiteral("/docs/%1.txt").arg(i));
    ASSERT_EQ(recent.entries().size(), 10);
    EXPECT_EQ(recent.entries().front(), QStringLiteral("/docs/9.txt"));
    // Again: to the front, no growth.
    recent.add(QStringLiteral("/docs/4.txt"));
    ASSERT_EQ(recent.entries().size(), 10);
    EXPECT_EQ(recent.entries().front(), QStringLiteral("/docs/4.txt"));
    EXPECT_EQ(recent.entries().count(QStringLiteral("/docs/4.txt")), 1);
    // The eleventh drops the oldest.
    recent.add(QStringLiteral("/docs/new.txt"));
    ASSERT_EQ(recent.entries().size(), 10);
    EXPECT_EQ(recent.entries().front(), QStringLiteral("/docs/new.txt"));
    EXPECT_FALSE(recent.entries().contains(QStringLiteral("/docs/0.txt")));
    EXPECT_TRUE(recent.entries().contains(QStringLiteral("/docs/1.txt")));
    // Every change is written, most recent first, each line ended.
    QByteArray file = readAll(path);
    EXPECT_TRUE(file.startsWith("/docs/new.txt\n/docs/4.txt\n/docs/9.txt\n"));
    EXPECT_TRUE(file.endsWith(".txt\n"));
    EXPECT_EQ(file.count('\n'), 10);
    recent.remove(QStringLiteral("/docs/4.txt"));
    EXPECT_EQ(readAll(path).count('\n'), 9);
}

TEST(RecentFiles, AHandWrittenLongerListIsKeptAndNonAsciiSurvives)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".vexlaneditmru"));
    QByteArray twelve;
    for (int i = 0; i < 12; i++)
        twelve += "/hand/" + QByteArray::number(i) + "\n";
    writeAll(path, twelve);
    const QString accented =
        QStringLiteral("/home/z\u00fcrich/\u65e5\u672c\u8a9e \u00e9t\u00e9.txt");
    {
        RecentFiles recent(10, path);
        ASSERT_EQ(recent.entries().size(), 12);
        EXPECT_EQ(recent.entries().at(11), QStringLiteral("/hand/11"));
        recent.add(accented);
        // Only the last one goes: twelve stay.
        ASSERT_EQ(recent.entries().size(), 12);
        EXPECT_FALSE(recent.entries().contains(QStringLiteral("/hand/11")));
        EXPECT_TRUE(recent.entries().contains(QStringLiteral("/hand/10")));
    }
    QByteArray file = readAll(path);
    EXPECT_TRUE(file.startsWith(accented.toUtf8() + "\n"));
    EXPECT_TRUE(file.endsWith("\n"));
    RecentFiles again(10, path);
    ASSERT_EQ(again.entries().size(), 12);
    EXPECT_EQ(again.entries().front(), accented);
}

TEST(RecentFiles, AnEmptyListWritesAnEmptyFileAndAnUnwritableOneStaysInMemory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".vexlaneditmru"));
    writeAll(path, "/only\n");
    {
        RecentFiles recent(10, path);
        recent.remove(QStringLiteral("/only"));
    }
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(readAll(path), QByteArray());
    RecentFiles nowhere(10, dir.filePath(QStringLiteral("no/such/dir/.vexlaneditmru")));
    nowhere.add(QStringLiteral("/a"));
    EXPECT_EQ(nowhere.entries().size(), 1);
}
