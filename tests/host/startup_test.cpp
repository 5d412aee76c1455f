// Program start: the language code and the catalogue lookup.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>

#include <vector>

#include "host/guihost.h"
#include "host/startup.h"
#include "tests/host/gui_fixture.h"

TEST(Startup, LanguageCodes)
{
    const struct {
        const char *system;
        const char *code;
    } cases[] = {
        {"en_GB.UTF-8", "en-gb"}, {"zh_HK", "zh-hk"}, {"fr_CA", "fr-ca"}, {"de", "de"}, {"C", "c"},
        {"pt_BR@euro", "pt-br"},  {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Startup_languageCode(QString::fromLatin1(c.system)), QString::fromLatin1(c.code))
            << c.system;
}

namespace {

// A program directory holding copies of the built catalogue under the
// given language codes.
class CatalogueLookup : public ::testing::Test {
  protected:
    void SetUp() override
    {
        source = catalogueDirectory() + QStringLiteral("/vexlanedit-en-gb.qm");
        ASSERT_TRUE(QFile::exists(source)) << source.toStdString();
    }
    void provide(std::vector<const char *> codes)
    {
        provideIn(dir, codes);
    }
    void provideIn(QTemporaryDir &where, std::vector<const char *> codes)
    {
        for (const char *code : codes)
            ASSERT_TRUE(QFile::copy(
                source,
                where.filePath(QStringLiteral("vexlanedit-%1.qm").arg(QLatin1String(code)))));
    }
    QByteArray program() const
    {
        return dir.filePath(QStringLiteral("vexlanedit")).toLocal8Bit();
    }

    QString source;
    QTemporaryDir dir;
    QTranslator translator;
    CatalogueChoice choice;
};

} // namespace

TEST_F(CatalogueLookup, RegionFallbacks)
{
    const struct {
        const char *language;
        std::vector<const char *> present;
        const char *file;
        const char *used;
    } cases[] = {
        {"en-gb", {"en-gb", "fr-fr"}, "vexlanedit-en-gb.qm", "en-gb"},
        {"zh-hk", {"zh-tw", "en-gb"}, "vexlanedit-zh-tw.qm", "zh-hk"},
        {"fr-ca", {"fr-fr", "en-gb"}, "vexlanedit-fr-fr.qm", "fr-ca"},
        {"de", {"de-de", "en-gb"}, "vexlanedit-en-gb.qm", "en-gb"},
        {"pt-br", {"pt-br", "pt-pt"}, "vexlanedit-pt-br.qm", "pt-br"},
    };
    for (const auto &c : cases) {
        QTemporaryDir fresh;
        provideIn(fresh, c.present);
        QTranslator t;
        const QByteArray programPath = fresh.filePath(QStringLiteral("vexlanedit")).toLocal8Bit();
        ASSERT_TRUE(Startup_findCatalogue(&t, programPath.constData(),
                                          QString::fromLatin1(c.language), &choice))
            << c.language;
        EXPECT_EQ(choice.file, QString::fromLatin1(c.file)) << c.language;
        EXPECT_EQ(choice.language, QString::fromLatin1(c.used)) << c.language;
        EXPECT_EQ(choice.directory, fresh.path());
        EXPECT_EQ(choice.baseName, QStringLiteral("vexlanedit"));
        EXPECT_EQ(choice.helpPath, fresh.path() + QLatin1Char('/') +
                                       QString::fromLatin1(c.file).chopped(3) +
                                       QStringLiteral(".qht"))
            << c.language;
    }
}

TEST_F(CatalogueLookup, AProgramWithoutADirectorySearchesTheCurrentOne)
{
    provide({"fr-fr"});
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    bool found = Startup_findCatalogue(&translator, "vexlanedit", QStringLiteral("fr-ca"), &choice);
    QDir::setCurrent(before);
    ASSERT_TRUE(found);
    EXPECT_EQ(choice.directory, QStringLiteral("."));
    EXPECT_EQ(choice.helpPath, QStringLiteral("./vexlanedit-fr-fr.qht"));
}

TEST_F(CatalogueLookup, AFileThatDoesNotLoadIsSkipped)
{
    QFile bad(dir.filePath(QStringLiteral("vexlanedit-fr-be.qm")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a catalogue");
    bad.close();
    provide({"fr-fr"});
    ASSERT_TRUE(Startup_findCatalogue(&translator, program().constData(), QStringLiteral("fr-ca"),
                                      &choice));
    EXPECT_EQ(choice.file, QStringLiteral("vexlanedit-fr-fr.qm"));
}

TEST_F(CatalogueLookup, NothingFoundPrintsTheMessageAndFails)
{
    provide({"fr-fr"});
    EXPECT_FALSE(
        Startup_findCatalogue(&translator, program().constData(), QStringLiteral("de"), &choice));
    // The whole start-up: the message on standard output.
    const QByteArray all = qgetenv("LC_ALL");
    qputenv("LC_ALL", "de_DE.UTF-8");
    testing::internal::CaptureStdout();
    bool installed = Startup_installTranslations(&translator, program().constData());
    std::string out = testing::internal::GetCapturedStdout();
    qputenv("LC_ALL", all);
    EXPECT_FALSE(installed);
    EXPECT_EQ(out, "main: unable to load translations, aborting!!!\n");
}

TEST_F(CatalogueLookup, InstallingSetsTheLanguageAndTheHelpPath)
{
    provide({"fr-fr"});
    const QByteArray all = qgetenv("LC_ALL");
    qputenv("LC_ALL", "fr_CA.UTF-8");
    bool installed = Startup_installTranslations(&translator, program().constData());
    qputenv("LC_ALL", all);
    ASSERT_TRUE(installed);
    QCoreApplication::removeTranslator(&translator);
    EXPECT_STREQ(HostGui_languageCode(), "fr-ca");
    EXPECT_EQ(Startup_helpPath(), dir.filePath(QStringLiteral("vexlanedit-fr-fr.qht")));
    HostGui_setLanguageCode("en-gb");
    Startup_setHelpPath(QString());
}
