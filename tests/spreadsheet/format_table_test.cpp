// The format engine against LibreOffice: every (code, value) cell of the
// format fixtures (tests/fixtures/spreadsheet/formats*.txt, made by
// make_spreadsheet_fixtures.py) must show as LibreOffice shows it, except
// the cells listed below with the reason (the 1900 date system only).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/spreadsheet/format_support.h"
#include "tests/support/heap_fixture.h"

namespace {

class FormatTable : public LeakCheckedContextTest<(4u << 20)> {};

struct Exception {
    const char *code;
    const char *value;
    const char *ours; // what the engine shows instead
    const char *reason;
};

// Cells where the engine deliberately differs from LibreOffice.
const char *const leap1900 = "1900 counts as a leap year: serial 60 is 1900-02-29, earlier "
                             "serials stand one day later than in LibreOffice";
const char *const exponentDigits = "the exponent has at least two digits, not three";
const char *const roundedTime = "times are rounded to the second shown, not cut";
const char *const skipWidth = "\"_x\" writes nothing";
const Exception exceptions[] = {
    {"General", "1e-11", "0.00000000001", "fixed notation down to 1e-15 without a width limit"},
    {"General", "1e-15", "0.000000000000001", "fixed notation down to 1e-15 without a width limit"},
    {"General", "1e+21", "1E+21", exponentDigits},
    {"General", "1e+20", "1E+20", exponentDigits},
    {"General", "1.2345678901234567e+19", "1.23456789012346E+19", exponentDigits},
    {"General", "0.000123456789012345", "1.23456789012345E-04",
     "fixed notation only below 20 characters"},
    {"00.00E+00", "12345.0", "12.35E+03", "the mantissa has as many integer digits as zeros"},
    {"dd/mm/yyyy", "1.0", "01/01/1900", leap1900},
    {"dd/mm/yyyy", "59.0", "28/02/1900", leap1900},
    {"dd/mm/yyyy", "60.0", "29/02/1900", leap1900},
    {"yyyy\\-mm\\-dd\\ hh:mm:ss", "40000.5001", "2009-07-06 12:00:09", roundedTime},
    {"mm:ss", "0.0123", "17:43", roundedTime},
    {"hh:mm", "0.999999", "00:00", roundedTime},
    {"[$-409]h:mm:ss", "0.52083333333", "12:30:00", roundedTime},
    {"#,##0_);\\(#,##0\\)", "1234.0", "1,234", skipWidth},
    {"0_)", "5.0", "5", skipWidth},
};

void checkTable(const char *file, uint32_t flags)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + file);
    ASSERT_TRUE(in.good()) << file;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> f = splitTabs(line);
        ASSERT_EQ(f.size(), 5u) << line;
        uint16_t index = static_cast<uint16_t>(std::atoi(f[0].c_str()));
        std::u16string code = utf16(unescapeField(f[1]));
        std::string shown = unescapeField(f[4]);
        std::string got;
        if (f[2] == "s") {
            std::u16string text = utf16(unescapeField(f[3]));
            got = formatWith(index, &code, 0, nullptr, flags, 0, nullptr, &text);
        } else {
            got = formatWith(index, &code, std::strtod(f[3].c_str(), nullptr), nullptr, flags);
        }
        const Exception *ex = nullptr;
        for (const Exception &e : exceptions)
            if (flags == 0 && e.code && unescapeField(f[1]) == e.code && f[3] == e.value)
                ex = &e;
        if (ex)
            EXPECT_EQ(got, ex->ours) << file << ": " << line << " (" << ex->reason << ")";
        else
            EXPECT_EQ(got, shown) << file << ": " << line;
        checked++;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(FormatTable, LibreOfficeShowsTheSame)
{
    checkTable("formats.txt", 0);
}

TEST_F(FormatTable, DateSystem1904)
{
    checkTable("formats1904.txt", Excel_fmtDate1904);
}

} // namespace
