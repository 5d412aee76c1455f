#include "host/dialogs/numberformats.h"

#include <vector>

namespace {

struct Currency {
    const char *before;   // written before the number
    const char *after;    // written after it
    bool numberNegatives; // the negative forms of plain numbers
};

// By currency number: UnitedKingdom_Pound, UnitedStates_Dollar, Euro,
// Euro_Alt, Sterling, FrenchCanada_Dollar and the three named forms.
const Currency currencies[9] = {
    {"[$\xC2\xA3-809]", "", false},
    {"[$$-409]", "", true},
    {"[$\xE2\x82\xAC-2]\\ ", "", false},
    {"", "\\ [$\xE2\x82\xAC-1]", false},
    {"\"\xC2\xA3\"", "", false},
    {"", "\\ [$$-C0C]", true},
    {"[$GBP]\\ ", "", false},
    {"[$USD]\\ ", "", false},
    {"[$EUR]\\ ", "", false},
};
const int currencyOrder[9] = {5, 4, 0, 1, 2, 3, 6, 7, 8};

const char *const fractions[9] = {"# ?/?",      "# ?\?/?\?", "#\\ ?\?\?/?\?\?",
                                  "#\\ ?/2",    "#\\ ?/4",   "#\\ ?/8",
                                  "#\\ ?\?/16", "#\\ ?/10",  "#\\ ?\?/100"};

// Accounting by currency number, whole numbers then two decimals.
const char *const accounting[9][2] = {
    {"_-[$\xC2\xA3-809]* #,##0_-;\\-[$\xC2\xA3-809]* #,##0_-;_-[$\xC2\xA3-809]* \"-\"_-;_-@_-",
     "_-[$\xC2\xA3-809]* #,##0.00_-;\\-[$\xC2\xA3-809]* #,##0.00_-;_-[$\xC2\xA3-809]* "
     "\"-\"?\?_-;_-@_-"},
    {"_-[$$-409]* #,##0_ ;_-[$$-409]* \\-#,##0\\ ;_-[$$-409]* \"-\"_ ;_-@_ ",
     "_-[$$-409]* #,##0.00_ ;_-[$$-409]* \\-#,##0.00\\ ;_-[$$-409]* \"-\"?\?_ ;_-@_ "},
    {"_-[$\xE2\x82\xAC-2]\\ * #,##0_-;\\-[$\xE2\x82\xAC-2]\\ * #,##0_-;_-[$\xE2\x82\xAC-2]\\ * "
     "\"-\"_-;_-@_-",
     "_-[$\xE2\x82\xAC-2]\\ * #,##0.00_-;\\-[$\xE2\x82\xAC-2]\\ * #,##0.00_-;_-[$\xE2\x82\xAC-2]\\ "
     "* \"-\"?\?_-;_-@_-"},
    {"_-* #,##0\\ [$\xE2\x82\xAC-1]_-;\\-* #,##0\\ [$\xE2\x82\xAC-1]_-;_-* \"-\"\\ "
     "[$\xE2\x82\xAC-1]_-;_-@_-",
     "_-* #,##0.00\\ [$\xE2\x82\xAC-1]_-;\\-* #,##0.00\\ [$\xE2\x82\xAC-1]_-;_-* \"-\"?\?\\ "
     "[$\xE2\x82\xAC-1]_-;_-@_-"},
    {"_-\"\xC2\xA3\"* #,##0_-;\\-\"\xC2\xA3\"* #,##0_-;_-\"\xC2\xA3\"* \"-\"_-;_-@_-",
     "_-\"\xC2\xA3\"* #,##0.00_-;\\-\"\xC2\xA3\"* #,##0.00_-;_-\"\xC2\xA3\"* \"-\"?\?_-;_-@_-"},
    {"_ * #,##0_ \\ [$$-C0C]_ ;_ * \\-#,##0\\ \\ [$$-C0C]_ ;_ * \"-\"_ \\ [$$-C0C]_ ;_ @_ ",
     "_ * #,##0.00_ \\ [$$-C0C]_ ;_ * \\-#,##0.00\\ \\ [$$-C0C]_ ;_ * \"-\"?\?_ \\ [$$-C0C]_ ;_ "
     "@_ "},
    {"_-[$GBP]\\ * #,##0_-;\\-[$GBP]\\ * #,##0_-;_-[$GBP]\\ * \"-\"_-;_-@_-",
     "_-[$GBP]\\ * #,##0.00_-;\\-[$GBP]\\ * #,##0.00_-;_-[$GBP]\\ * \"-\"?\?_-;_-@_-"},
    {"_-[$USD]\\ * #,##0_-;\\-[$USD]\\ * #,##0_-;_-[$USD]\\ * \"-\"_-;_-@_-",
     "_-[$USD]\\ * #,##0.00_-;\\-[$USD]\\ * #,##0.00_-;_-[$USD]\\ * \"-\"?\?_-;_-@_-"},
    {"_-[$EUR]\\ * #,##0_-;\\-[$EUR]\\ * #,##0_-;_-[$EUR]\\ * \"-\"_-;_-@_-",
     "_-[$EUR]\\ * #,##0.00_-;\\-[$EUR]\\ * #,##0.00_-;_-[$EUR]\\ * \"-\"?\?_-;_-@_-"},
};

// Dates and times by locale (0 ISO, 1 UnitedKingdom, 2 UnitedStates,
// 3 FrenchCanada, 4 Local); the catalogue lists locales 3, 1, 2, 0, 4.
const std::vector<const char *> dates[5] = {
    {"yyyy\\-mm\\-dd;@", "yyyymmdd;@", "yy\\-mm\\-dd;@", "yymmdd;@", "yyyy\\-mm;@", "yyyy;@",
     "yyyy\\-mm\\-dd\\ hh:mm:ss;@", "yyyymmdd\"T\"hhmmss;@"},
    {"dd/mm/yyyy;@", "dd/mm/yy;@", "d/m/yy;@", "d\\.m\\.yy;@", "yyyy\\-mm\\-dd;@",
     "[$-809]dd\\ mmmm\\ yyyy;@", "[$-809]d\\ mmmm\\ yyyy;@"},
    {"m/d;@", "m/d/yy;@", "mm/dd/yy;@", "[$-409]d\\-mmm;@", "[$-409]d\\-mmm\\-yy;@",
     "[$-409]dd\\-mmm\\-yy;@", "[$-409]mmm\\-yy;@", "[$-409]mmmm\\-yy;@",
     "[$-409]mmmm\\ d\\,\\ yyyy;@", "[$-409]m/d/yy\\ h:mm\\ AM/PM;@", "m/d/yy\\ h:mm;@",
     "[$-409]mmmmm;@", "[$-409]mmmmm\\-yy;@", "m/d/yyyy;@", "[$-409]d\\-mmm\\-yyyy;@"},
    {"yyyy\\-mm\\-dd;@", "yy\\-mm\\-dd;@", "dd\\-mm\\-yy;@", "yy\\ mm\\ dd;@", "dd/mm/yy;@",
     "[$-C0C]d\\ mmmm\\,\\ yyyy;@", "[$-C0C]d\\ mmm\\ yyyy;@"},
    {"dd/mm/yyyy hh:mm", "dd/mm/yyyy", "[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy"},
};
const std::vector<const char *> times[5] = {
    {"hh:mm:ss;@", "hhmmss;@", "hh:mm;@", "hhmm;@", "hh;@", "yyyy\\-mm\\-dd\\ hh:mm:ss;@",
     "yyyymmdd\"T\"hhmmss;@"},
    {"hh:mm:ss;@", "h:mm:ss;@", "[$-409]hh:mm:ss\\ AM/PM;@", "[$-409]h:mm:ss\\ AM/PM;@"},
    {"h:mm;@", "[$-409]h:mm\\ AM/PM;@", "h:mm:ss;@", "[$-409]h:mm:ss\\ AM/PM;@", "mm:ss.0;@",
     "[h]:mm:ss;@", "[$-409]m/d/yy\\ h:mm\\ AM/PM;@", "m/d/yy\\ h:mm;@"},
    {"hh:mm:ss;@", "h:mm:ss;@", "h\" h \"mm;@", "h:mm;@"},
    {"[$-F400]h:mm:ss\\ AM/PM"},
};
const int localeOrder[5] = {3, 1, 2, 0, 4};

// The five decimal choices: 0, 1, 2, 3 and 10 places.
std::string decimals(int choice)
{
    static const int places[5] = {0, 1, 2, 3, 10};
    return places[choice] ? "." + std::string(size_t(places[choice]), '0') : std::string();
}

// The four negative styles of a number part; the plain-number ones put the
// minus in a literal and keep a space for the closing bracket.
std::string negatives(const std::string &x, int style, bool numberForms)
{
    switch (style) {
    case 0: return x;
    case 1: return x + ";[Red]" + x;
    case 2: return numberForms ? x + "_ ;\\-" + x + "\\ " : x + ";\\-" + x;
    default: return numberForms ? x + "_ ;[Red]\\-" + x + "\\ " : x + ";[Red]\\-" + x;
    }
}

std::vector<NumberFormatEntry> build()
{
    std::vector<NumberFormatEntry> t;
    t.push_back({NumberFormat_key(Format_general), "General"});
    t.push_back({NumberFormat_key(Format_text), "@"});
    for (int separator = 0; separator < 2; separator++)
        for (int d = 0; d < 5; d++)
            for (int neg = 0; neg < 4; neg++)
                t.push_back({NumberFormat_key(Format_number, neg, d, separator),
                             negatives((separator ? "#,##0" : "0") + decimals(d), neg, true)});
    for (int d = 0; d < 5; d++)
        t.push_back({NumberFormat_key(Format_percentage, d), "0" + decimals(d) + "%"});
    for (int d = 0; d < 5; d++)
        t.push_back({NumberFormat_key(Format_scientific, d),
                     "0" + (d ? decimals(d) : std::string(".")) + "E+00"});
    for (int f = 0; f < 9; f++)
        t.push_back({NumberFormat_key(Format_fraction, f), fractions[f]});
    for (int c : currencyOrder)
        for (int d = 0; d < 2; d++)
            for (int neg = 0; neg < 4; neg++) {
                const std::string x = std::string(currencies[c].before) +
                                      (d ? "#,##0.00" : "#,##0") + currencies[c].after;
                t.push_back({NumberFormat_key(Format_currency, c, neg, d),
                             negatives(x, neg, currencies[c].numberNegatives)});
            }
    for (int c : currencyOrder)
        for (int d = 0; d < 2; d++)
            t.push_back({NumberFormat_key(Format_accounting, c, d), accounting[c][d]});
    for (int l : localeOrder)
        for (size_t i = 0; i < dates[l].size(); i++)
            t.push_back({NumberFormat_key(Format_date, l, int(i)), dates[l][i]});
    for (int l : localeOrder)
        for (size_t i = 0; i < times[l].size(); i++)
            t.push_back({NumberFormat_key(Format_time, l, int(i)), times[l][i]});
    return t;
}

const std::vector<NumberFormatEntry> &table()
{
    static const std::vector<NumberFormatEntry> entries = build();
    return entries;
}

} // namespace

const NumberFormatEntry *NumberFormat_table()
{
    return table().data();
}

size_t NumberFormat_count()
{
    return table().size();
}

int NumberFormat_details(int category)
{
    static const int details[Format_categories] = {0, 0, 3, 1, 1, 1, 3, 2, 2, 2, 0};
    return category >= 0 && category < Format_categories ? details[category] : 0;
}

uint32_t NumberFormat_findKey(std::string_view code, const NumberFormatLocale *locale)
{
    if (locale) {
        if (code == locale->dateFormat)
            return 0x10408;
        if (code == locale->dateTimeFormat)
            return 0x408;
    }
    for (const NumberFormatEntry &e : table()) {
        if (code == e.code)
            return e.key;
    }
    return Format_custom;
}

bool NumberFormat_findCode(uint32_t key, const NumberFormatLocale *locale, std::string *code)
{
    if (locale && key == 0x10408) {
        *code = locale->dateFormat;
        return true;
    }
    if (locale && key == 0x408) {
        *code = locale->dateTimeFormat;
        return true;
    }
    for (const NumberFormatEntry &e : table()) {
        if (e.key == key) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

int NumberFormat_countEntries(uint32_t key, int ignoredByte)
{
    const uint32_t mask = ~(0xFFu << (8 * (ignoredByte & 3)));
    int n = 0;
    for (const NumberFormatEntry &e : table())
        n += (e.key & mask) == (key & mask);
    return n;
}

std::string NumberFormat_display(std::string_view code)
{
    std::string out;
    for (size_t i = 0; i < code.size(); i++) {
        const char c = code[i];
        if (c == '[' && i + 1 < code.size() && code[i + 1] == '$') {
            const size_t end = code.find(']', i);
            if (end == std::string_view::npos)
                break; // an unclosed tag ends the text
            i = end;
            continue;
        }
        if (c == ';' && i + 1 < code.size() && code[i + 1] == '@') {
            i++;
            continue;
        }
        if (c == '\\' || c == '"')
            continue;
        out += c;
    }
    return out;
}
