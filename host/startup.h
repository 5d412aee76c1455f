// Program start: the language code, the translation catalogue that
// matches it, and the help text that goes with the catalogue.
#pragma once

#include <QString>

class QTranslator;

// The language code of a system language code: lower case, at most five
// characters, "-" at index 2 when there are five ("en_GB.UTF-8" gives
// "en-gb").
QString Startup_languageCode(const QString &system);

// What the lookup found.
struct CatalogueChoice {
    QString directory; // the program's directory ("." when argv[0] has none)
    QString baseName;  // the program's name
    QString file;      // the catalogue's file name
    QString language;  // the language code in use from now on
    QString helpPath;  // directory/name-of-the-catalogue.qht
};

// Looks for the catalogue of the program at argv0 for the language code:
// the code itself; for a five-character code, then "zh-tw" for "zh-hk" and
// the first three characters with "*"; then "en-gb". False when none
// loaded into the translator.
bool Startup_findCatalogue(QTranslator *translator, const char *argv0, const QString &language,
                           CatalogueChoice *choice);

// The help text's path of the catalogue in use (empty before start-up).
QString Startup_helpPath();
void Startup_setHelpPath(const QString &path);

// Finds and installs the catalogue for the system's language and sets the
// process's language code and help path. Without one, prints "main: unable
// to load translations, aborting!!!" on standard output and gives false.
// The translator stays the caller's.
bool Startup_installTranslations(QTranslator *translator, const char *argv0);
