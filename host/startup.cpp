// Program start: the catalogue lookup.
#include "host/startup.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>

#include "host/guihost.h"
#include "host/toolkit/toolkit.h"

namespace {

QString &helpPath()
{
    static QString path;
    return path;
}

} // namespace

QString Startup_languageCode(const QString &system)
{
    QString code = system.toLower().left(5);
    if (code.size() == 5)
        code[2] = QLatin1Char('-');
    return code;
}

bool Startup_findCatalogue(QTranslator *translator, const char *argv0, const QString &language,
                           CatalogueChoice *choice)
{
    const QString program = QString::fromLocal8Bit(argv0 ? argv0 : "");
    const qsizetype slash = program.lastIndexOf(QLatin1Char('/'));
    choice->directory = slash < 0 ? QStringLiteral(".") : program.left(slash);
    choice->baseName = slash < 0 ? program : program.mid(slash + 1);
    choice->language = language;

    QString found = findTranslation(translator, choice->directory, choice->baseName, language);
    if (found.isNull() && language.size() == 5) {
        if (language == QLatin1String("zh-hk"))
            found = findTranslation(translator, choice->directory, choice->baseName,
                                    QStringLiteral("zh-tw"));
        if (found.isNull())
            found = findTranslation(translator, choice->directory, choice->baseName,
                                    language.left(3) + QLatin1Char('*'));
    }
    if (found.isNull()) {
        found = findTranslation(translator, choice->directory, choice->baseName,
                                QStringLiteral("en-gb"));
        choice->language = QStringLiteral("en-gb");
    }
    if (found.isNull())
        return false;
    choice->file = found;
    choice->helpPath = choice->directory + QLatin1Char('/') + found.left(found.size() - 3) +
                       QStringLiteral(".qht");
    return true;
}

QString Startup_helpPath()
{
    return helpPath();
}

void Startup_setHelpPath(const QString &path)
{
    helpPath() = path;
}

bool Startup_installTranslations(QTranslator *translator, const char *argv0)
{
    const QString language = Startup_languageCode(ZLanguage::getSystemLanguageCode());
    CatalogueChoice choice;
    if (!Startup_findCatalogue(translator, argv0, language, &choice)) {
        printf("main: unable to load translations, aborting!!!\n");
        fflush(stdout);
        return false;
    }
    Startup_setHelpPath(choice.helpPath);
    QCoreApplication::installTranslator(translator);
    HostGui_setLanguageCode(choice.language.toLatin1().constData());
    return true;
}
