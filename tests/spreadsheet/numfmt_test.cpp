// The number-format engine on its own: General with and without a width
// limit, number codes, built-in indexes, dates, digit patterns with
// conditions, colours, value kinds, locale rules and the configuration
// keys.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config/config.h"
#include "core/text/ustr.h"
#include "fonts/fontdata.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/reader/workbook.h"
#include "tests/spreadsheet/format_support.h"
#include "tests/support/heap_fixture.h"

namespace {

class NumFmt : public LeakCheckedContextTest<(4u << 20)> {};

std::string code(const char *c, double v, const char *locale = nullptr)
{
    std::u16string s = utf16(c);
    return formatWith(0xFFFF, &s, v, locale);
}

std::string builtin(uint16_t index, double v, const char *locale = nullptr)
{
    return formatWith(index, nullptr, v, locale);
}

TEST_F(NumFmt, NumberCodes)
{
    struct {
        const char *code;
        double value;
        const char *shown;
    } cases[] = {
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"# ##0", 1234567.891, "1 234 568"},
        {"#-##0", 1234567, "1-234-567"},
        {"0.0%", 0.125, "12.5%"},
        {"0.00E+00", 12345.678, "1.23E+04"},
        {"0.00E+00", -0.00012345, "-1.23E-04"},
        {"0.00E+000", 1e100, "1.00E+100"},
        {"0.00E+00", 9.999e9, "1.00E+10"},
        {"##0.0E+0", 12345.678, "12.3E+3"},
        {"##0.0E+0", 0.00012345, "123.5E-6"},
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        {"0.00", 1.005, "1.01"}, // 1.00500000000000 on 15 digits, rounded half up
        {"0.00", 0.1 + 0.2, "0.30"},
        {"#,##0", 0.4, "0"},
        {"#", 0, ""},
        {".00", 5.25, "5.25"},
        {"#,##0;(#,##0)", -1234.4, "(1,234)"},
        {"0.00;-0.00;\"zero\"", 0, "zero"},
        {"0.00", -0.001, "0.00"}, // no sign on a value that rounds to zero
        {"\"USD \"0.00", -12.5, "-USD 12.50"},
        {"\\$0", 5, "$5"},
        {"[$\xE2\x82\xAC-407] 0.00", 5, "\xE2\x82\xAC 5.00"},
        {"General;-General", -2.5, "-2.5"},
        {"# ?/?", 1.25, "1 1/4"},
        {"# ?\?/?\?", 3.14159, "3 14/99"},
        {"# ?/?", 0.5, " 1/2"},
        {"# ?/?", 2.99, "3    "},
        {"?/?", 1.25, "5/4"},
        {"# ?/8", 0.3, " 2/8"},
        {"0 ?/?", -1.75, "-1 3/4"},
        {"# ?\?/?\?", -0.49, "- 25/51"}, // between -0.5 and 0: a fraction, with its sign
        {"?/?", -0.3, "-2/7"},
        {"# ?/?", -0.01, "0    "},    // no sign on a value that shows as zero
        {"?/???", 3e9, "3000000000"}, // a numerator beyond 32 bits: General
    };
    for (const auto &c : cases)
        EXPECT_EQ(code(c.code, c.value), c.shown) << c.code << " " << c.value;
}

TEST_F(NumFmt, GeneralWithAndWithoutWidth)
{
    std::u16string general = u"General";
    struct {
        double value;
        uint32_t width;
        const char *shown;
    } cases[] = {
        {0.1 + 0.2, 11, "0.3"},
        {0.1 + 0.2, 0, "0.3"},
        {1e-11, 11, "1E-11"},
        {1e-11, 0, "0.00000000001"},
        {1e21, 11, "1E+21"},
        {1.5e21, 11, "1.5E+21"},
        {1e21, 0, "1E+21"},
        {123456789.123456, 11, "123456789.1"},
        {-123456789.123456, 11, "-123456789.1"}, // 12 characters for a negative value
        {2.0 / 3, 11, "0.666666667"},
        {2.0 / 3, 0, "0.666666666666667"},
        {123456789012.0, 11, "1.23457E+11"},
        {123456789012.0, 0, "123456789012"},
        {1234.5, 30, "1234.5"}, // a wider limit counts as 11
        {0, 11, "0"},
        {1e-320, 0, "0"},
        {-1234.5678, 0, "-1234.5678"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatWith(0, &general, c.value, nullptr, 0, c.width), c.shown)
            << c.value << " width " << c.width;
}

TEST_F(NumFmt, SerialDates)
{
    EXPECT_EQ(code("d mmmm yyyy", 60), "29 February 1900");
    EXPECT_EQ(code("d mmmm yyyy", 61), "1 March 1900");
    EXPECT_EQ(code("d mmmm yyyy", 59), "28 February 1900");
    EXPECT_EQ(code("d mmmm yyyy", 1), "1 January 1900");
    EXPECT_EQ(code("dddd d mmm yyyy", 1462), "Friday 1 Jan 1904");
    EXPECT_EQ(code("yyyy-mm-dd", 2958465), "9999-12-31");
    EXPECT_EQ(code("yyyy-mm-dd", 2958466), "gmtime()?");
    EXPECT_EQ(code("yyyy-mm-dd", -1), "gmtime()?");
    EXPECT_EQ(code("[h]:mm:ss", -1.5), "-36:00:00");
    EXPECT_EQ(code("[h]:mm", 2.5), "60:00");
    EXPECT_EQ(code("h:mm:ss.000", 0.5 + 0.25 / 86400), "12:00:00.250");
    EXPECT_EQ(code("hh \"h\" mm \"min\"", 0.75), "18 h 00 min");
    EXPECT_EQ(code("mm/dd hh:mm", 40000.75),
              "07/06 18:00"); // month before a day, minute after hours
    EXPECT_EQ(code("h:mm AM/PM", 0.0), "12:00 AM");
    EXPECT_EQ(code("[$-411]ggge\"\xE5\xB9\xB4\"", 43600), "\xE4\xBB\xA4\xE5\x92\x8C"
                                                          "1\xE5\xB9\xB4");
    EXPECT_EQ(code("ge.m.d", 40000), "H21.7.6");
    // The 1904 date system counts from 1904-01-01.
    std::u16string c = u"yyyy-mm-dd";
    EXPECT_EQ(formatWith(0xFFFF, &c, 0, nullptr, Excel_fmtDate1904), "1904-01-01");

    Excel_Date d{1, 0, 4};
    EXPECT_EQ(Excel_Date_toSerial(&d), 1462.0);
    d = Excel_Date{29, 1, 0};
    EXPECT_EQ(Excel_Date_toSerial(&d), 60.0);
    d = Excel_Date{1, 2, 0};
    EXPECT_EQ(Excel_Date_toSerial(&d), 61.0);
    d = Excel_Date{1, 0, 70};
    EXPECT_EQ(Excel_Date_toSerial(&d), 25569.0);
    d = Excel_Date{31, 11, 8099};
    EXPECT_EQ(Excel_Date_toSerial(&d), 2958465.0);
    EXPECT_EQ(Excel_Date_daysInMonth(1900, 2), 29);
    EXPECT_EQ(Excel_Date_daysInMonth(2000, 2), 29);
    EXPECT_EQ(Excel_Date_daysInMonth(2100, 2), 28);
    EXPECT_EQ(Excel_Date_daysInMonth(2023, 13), 0);
    // Every serial breaks down and comes back.
    for (int64_t s = 0; s <= 2958465; s += 997) {
        Excel_Date back;
        ASSERT_TRUE(Excel_Date_fromSerial(s, &back));
        if (s > 0) {
            EXPECT_EQ(Excel_Date_toSerial(&back), double(s)) << s;
        }
    }
}

TEST_F(NumFmt, BuiltinIndexes)
{
    struct {
        uint16_t index;
        double value;
        const char *locale;
        const char *shown;
    } cases[] = {
        {0, 1234.5, nullptr, "1234.5"},
        {11, 12345.678, nullptr, "1.23E+04"},
        {12, 1.25, nullptr, "1 1/4"},
        {13, 0.3333, nullptr, "  1/3 "},
        {14, 40000, nullptr, "06/07/2009"},
        {14, 40000, "ja-jp", "2009/07/06"},
        {22, 40000.75, nullptr, "06/07/2009 18:00"},
        {22, 40000.75, "ja-jp", "2009/07/06 18:00"},
        {15, 40000, nullptr, "6-Jul-09"},
        {16, 40000, nullptr, "6-Jul"},
        {17, 40000, nullptr, "Jul-09"},
        {18, 0.75, nullptr, "6:00 PM"},
        {19, 0.25 + 1.0 / 86400, nullptr, "6:00:01 AM"},
        {20, 0.5, nullptr, "12:00"},
        {21, 0.52083333333, nullptr, "12:30:00"},
        {30, 40000, nullptr, "07/06/09"},
        {31, 40000, nullptr,
         "2009\xE5\xB9\xB4"
         "7\xE6\x9C\x88"
         "6\xE6\x97\xA5"},
        {32, 0.75, nullptr,
         "18\xE6\x99\x82"
         "00\xE5\x88\x86"},
        {39, -1234.5, nullptr, "(1,234.50)"},
        {39, -1234.5, "ja-jp", "-1,234.50"},
        {40, -1234.5, nullptr, "(1,234.50)"},
        {45, 0.0123, nullptr, "17:43"},
        {46, 1.5, nullptr, "36:00:00"},
        {47, 0.000123, nullptr, "00:10.6"},
        {48, 12345.678, nullptr, "12.3E+3"},
        {49, 1234.5, nullptr, "1234.5"},
        {3, 1234.5, nullptr, "1234.5"}, // a code index without its code: General
        {200, 7, nullptr, "7"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(builtin(c.index, c.value, c.locale), c.shown) << "index " << c.index;
    // The request's code stands for indexes 1-10 and the like.
    std::u16string money = u"#,##0.00";
    EXPECT_EQ(formatWith(4, &money, 1234.5), "1,234.50");
}

TEST_F(NumFmt, ConfigurationKeys)
{
    ctx->config = Config_createStore(ctx, u"test");
    ASSERT_NE(ctx->config, nullptr);
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateShort", u"yyyy.mm.dd", 0);
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_excelLocaleDateLong", u"d. mmmm yyyy", 0);
    EXPECT_EQ(builtin(14, 40000), "2009.07.06");
    EXPECT_EQ(code("[$-F800]dddd, mmmm dd, yyyy", 40000), "6. July 2009");
    EXPECT_EQ(code("[$-F400]h:mm:ss AM/PM", 0.75), "18:00:00");
    EXPECT_EQ(code("[$-F800]dddd, mmmm dd, yyyy", 40000, "ja-jp"), "2009\xE5\xB9\xB4"
                                                                   "7\xE6\x9C\x88"
                                                                   "6\xE6\x97\xA5");
    // The built-in format table takes the same keys.
    ExcelWorkbook *wb = nullptr;
    ASSERT_EQ(Excel_workbookCreate(&wb), 0);
    ASSERT_EQ(Excel_addBuiltinFormats(ctx, wb), 0);
    EXPECT_EQ(utf8(wb->formats[14]), "yyyy.mm.dd");
    EXPECT_EQ(utf8(wb->formats[22]), "dd/mm/yyyy hh:mm");
    EXPECT_EQ(utf8(wb->formats[44]), "_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)");
    EXPECT_EQ(Excel_Fmt_findFormat(wb, u"0.00%"), 10);
    EXPECT_EQ(Excel_Fmt_findFormat(wb, u"0.000"), -1);
    Excel_workbookRelease(wb);
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
}

TEST_F(NumFmt, DigitPatternsAndConditions)
{
    struct {
        const char *code;
        double value;
        const char *shown;
    } cases[] = {
        {"00000", 1234, "01234"},
        {"00000", 123456, "123456"},
        {"[>0]#,##0", 1234567, "1,234,567"},
        {"[>0]# ##0", 1234567, "1 234 567"},
        {"[>0]000-00-0000", 123456789, "123-45-6789"},
        {"###-####", 5551234, "555-1234"},
        {"[<=9999999]###-####;(###) ###-####", 5105551234, "(510) 555-1234"},
        // A less-than-or-equal condition holds for 100 and 99.5, not 100.5.
        {"[<=100]\"A\"00000;\"B\"00000", 100, "A00100"},
        {"[<=100]\"A\"00000;\"B\"00000", 99.5, "A00100"},
        {"[<=100]\"A\"00000;\"B\"00000", 100.5, "B00101"},
        {"[<100]\"A\"00000;\"B\"00000", 100, "B00100"},
        {"[<>5]\"A\"0;\"B\"0", 5, "B5"},
        {"[=5]\"A\"0;\"B\"0", 5, "A5"},
        {"[]\"A\"0;\"B\"0", 5, "B5"},       // an empty comparison never holds
        {"[>0](00000)", 1234, "(01234)"},   // both parentheses kept
        {"[>0]00000)", 1234, "(01234)"},    // a lone ")" gets its "("
        {"[<=100]0.00;0.0", 99.5, "99.50"}, // decimals stay decimals
        {"[<100]0;\"big\"", 100, "big"},    // a section of literals
        {"[Red][<0]0;[Blue]0", -5, "-5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(code(c.code, c.value), c.shown) << c.code << " " << c.value;

    EXPECT_TRUE(Excel_Fmt_isDigitPattern(u"00000"));
    EXPECT_TRUE(Excel_Fmt_isDigitPattern(u"###-####"));
    EXPECT_TRUE(Excel_Fmt_isDigitPattern(u"##\\-##"));
    EXPECT_TRUE(Excel_Fmt_isDigitPattern(u"[<=100]0"));
    EXPECT_TRUE(Excel_Fmt_isDigitPattern(u"[]0"));
    EXPECT_FALSE(Excel_Fmt_isDigitPattern(u"[Red]0"));
    EXPECT_FALSE(Excel_Fmt_isDigitPattern(u"[h]:mm"));
    EXPECT_FALSE(Excel_Fmt_isDigitPattern(u"000-00-0000"));

    char buf[64];
    EXPECT_EQ(Excel_Fmt_digitPattern(u"[>0]000-00-0000", buf, sizeof buf, 123456789), 11u);
    EXPECT_STREQ(buf, "123-45-6789");
    // layDigits leaves the digits alone without a group pattern, above a
    // capacity of 255, or for an empty string.
    strcpy(buf, "1234");
    Excel_Fmt_layDigits(u"\"x\"", buf, sizeof buf);
    EXPECT_STREQ(buf, "1234");
    char big[300] = "1234";
    Excel_Fmt_layDigits(u"00000", big, sizeof big);
    EXPECT_STREQ(big, "1234");
    buf[0] = 0;
    Excel_Fmt_layDigits(u"00000", buf, sizeof buf);
    EXPECT_STREQ(buf, "");
    Excel_Fmt_layDigits(nullptr, buf, sizeof buf);
    // A small capacity bounds the result.
    char small[6] = "12345";
    Excel_Fmt_layDigits(u"0000000000", small, sizeof small);
    EXPECT_LT(strlen(small), sizeof small);
}

TEST_F(NumFmt, SectionsAndColours)
{
    uint32_t red, blue;
    Pixel_namedColour(&red, 12);
    Pixel_namedColour(&blue, 2);
    uint32_t colour = 0;
    std::u16string c = u"#,##0.00_);[Red](#,##0.00)";
    EXPECT_EQ(formatWith(0xFFFF, &c, -1234.5, nullptr, 0, 0, &colour), "(1,234.50)");
    EXPECT_EQ(colour, red);
    EXPECT_EQ(formatWith(0xFFFF, &c, 1234.5, nullptr, 0, 0, &colour), "1,234.50");
    EXPECT_EQ(colour, Excel_fmtNoColour);
    std::u16string b = u"[Blue]0;[Red]-0";
    EXPECT_EQ(formatWith(0xFFFF, &b, 3, nullptr, 0, 0, &colour), "3");
    EXPECT_EQ(colour, blue);

    EXPECT_TRUE(Excel_Fmt_colourOf(u"[Red]0", &colour));
    EXPECT_EQ(colour, red);
    const struct {
        const char16_t *code;
        int32_t named; // -1: none
    } colours[] = {{u"[Green]0", 6},  {u"[Black]0", 1},   {u"[Cyan]0", 0},    {u"[Magenta]0", 3},
                   {u"[White]0", 16}, {u"[Yellow]0", 15}, {u"[Blue]0", 2},    {u"[h]:mm", -1},
                   {u"[$-409]0", -1}, {u"0;[Red]0", -1},  {u"\"[Red]\"0", -1}};
    for (const auto &e : colours) {
        uint32_t want = 0;
        Pixel_namedColour(&want, e.named);
        uint32_t got = 0;
        EXPECT_EQ(Excel_Fmt_colourOf(e.code, &got), e.named >= 0) << utf8(e.code);
        if (e.named >= 0) {
            EXPECT_EQ(got, want) << utf8(e.code);
        }
    }

    const char16_t *starts[4];
    size_t lengths[4];
    EXPECT_EQ(Excel_Fmt_splitSections(u"0;\"a;b\";[<0]0;\\;@", starts, lengths), 4u);
    EXPECT_EQ(std::u16string(starts[1], lengths[1]), u"\"a;b\"");
    EXPECT_EQ(std::u16string(starts[3], lengths[3]), u"\\;@");
    EXPECT_EQ(Excel_Fmt_splitSections(u"0;0;0;0;0", starts, lengths), 4u);
    EXPECT_EQ(Excel_Fmt_splitSections(nullptr, starts, lengths), 0u);

    EXPECT_EQ(Excel_Fmt_sectionOf(Excel_fmtNumber, 2), 0u);
    EXPECT_EQ(Excel_Fmt_sectionOf(Excel_fmtNumber, -2), 1u);
    EXPECT_EQ(Excel_Fmt_sectionOf(Excel_fmtInteger, 0), 2u);
    EXPECT_EQ(Excel_Fmt_sectionOf(Excel_fmtText, 0), 3u);
    EXPECT_EQ(Excel_Fmt_sectionOf(Excel_fmtBoolean, 0), 4u);
    EXPECT_TRUE(Excel_Fmt_isGeneral(u"general"));
    EXPECT_TRUE(Excel_Fmt_isGeneral(u"GENERAL"));
    EXPECT_FALSE(Excel_Fmt_isGeneral(u"General "));
}

TEST_F(NumFmt, ValueKinds)
{
    Excel_FmtRequest r{};
    char16_t *out = nullptr;
    auto run = [&](uint32_t kind, const void *value) {
        r.kind = kind;
        r.value = value;
        out = nullptr;
        int rc = Excel_Fmt_formatValue(&r, &out);
        std::string s = out ? utf8(out) : "<null>";
        Mem_free(out);
        return rc == 0 ? s : "<error " + std::to_string(rc) + ">";
    };
    uint8_t yes = 1, no = 0;
    int32_t i = -42;
    double tiny = 1e-320;
    EXPECT_EQ(run(Excel_fmtEmpty, nullptr), "");
    EXPECT_EQ(run(Excel_fmtBoolean, &yes), "TRUE");
    EXPECT_EQ(run(Excel_fmtBoolean, &no), "FALSE");
    EXPECT_EQ(run(Excel_fmtInteger, &i), "-42");
    EXPECT_EQ(run(Excel_fmtError, "#N/A"), "#N/A");
    EXPECT_EQ(run(Excel_fmtText, u"a\\b"), "a\\b");
    EXPECT_EQ(run(Excel_fmtArray, nullptr), "array type");
    EXPECT_EQ(run(6, &i), "unsupport");
    EXPECT_EQ(run(Excel_fmtNumber, &tiny), " ");
    r.flags = Excel_fmtShowZero;
    EXPECT_EQ(run(Excel_fmtNumber, &tiny), "0");
    EXPECT_EQ(run(Excel_fmtNumber, nullptr), "<error 16>");
    EXPECT_EQ(Excel_Fmt_formatValue(nullptr, &out), 16);
    EXPECT_EQ(Excel_Fmt_formatValue(&r, nullptr), 16);
    // "ja-jp" shows a backslash as a yen sign and reads code bytes
    // 0x80-0x9F as Windows-1252.
    r.locale = "ja-jp";
    EXPECT_EQ(run(Excel_fmtText, u"a\\b"), "a\xC2\xA5"
                                           "b");
    std::u16string euro = u"0\x0080";
    r.code = euro.c_str();
    r.formatIndex = 164;
    double five = 5;
    EXPECT_EQ(run(Excel_fmtNumber, &five), "5\xE2\x82\xAC");
    r.locale = nullptr;
    // Text values: a fourth section, or one section with "@".
    std::u16string sections = u"0;-0;0;\"T:\"@";
    r.code = sections.c_str();
    EXPECT_EQ(run(Excel_fmtText, u"abc"), "T:abc");
    std::u16string plain = u"0.00";
    r.code = plain.c_str();
    EXPECT_EQ(run(Excel_fmtText, u"abc"), "abc");
}

TEST_F(NumFmt, OutputStaysWithin256Characters)
{
    std::string lit(400, 'x');
    std::u16string c = utf16("\"" + lit + "\"0");
    EXPECT_EQ(formatWith(0xFFFF, &c, 5).size(), 256u);
    std::u16string zeros = utf16(std::string(300, '0'));
    EXPECT_EQ(formatWith(0xFFFF, &zeros, 5).size(), 256u);
    std::u16string many = utf16("0." + std::string(300, '0'));
    EXPECT_LE(formatWith(0xFFFF, &many, 1.0 / 3).size(), 256u);
    std::u16string pattern = utf16("[>0]" + std::string(300, '0'));
    EXPECT_LE(formatWith(0xFFFF, &pattern, 1e300).size(), 256u);
}

TEST_F(NumFmt, OutOfMemory)
{
    std::u16string c = u"#,##0.00;[Red]-#,##0.00";
    double v = -1234.5;
    Excel_FmtRequest r{};
    r.formatIndex = 14;
    r.kind = Excel_fmtNumber;
    r.value = &v;
    for (uint32_t n = 1;; n++) {
        Mem_failAfter(n);
        char16_t *out = nullptr;
        int rc = Excel_Fmt_formatValue(&r, &out);
        Mem_failAfter(0);
        if (rc == 0) {
            EXPECT_EQ(utf8(out), "gmtime()?");
            Mem_free(out);
            break;
        }
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(out, nullptr);
        ASSERT_LT(n, 50u);
    }
    r.formatIndex = 164;
    r.code = c.c_str();
    Mem_failAfter(1);
    char16_t *out = nullptr;
    EXPECT_EQ(Excel_Fmt_formatValue(&r, &out), 1);
    Mem_failAfter(0);
}

} // namespace
