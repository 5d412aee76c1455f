// Formula text: the parser against python3-xlwt's formula compiler
// (tests/fixtures/spreadsheet/formulatext/xlwt_tokens.txt, token classes
// folded) and against exact token strings, its syntax errors, the renderer
// over token strings and its refusals, and the round trips: text to tokens
// to text gives the canonical text, and every formula of the spreadsheet
// fixtures renders to text that parses back to its tokens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/formula/formulatext.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "tests/support/heap_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hexBytes(const std::string &hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string hexOf(const Bytes &b)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

std::string num(double v)
{
    uint8_t b[9] = {0x1F};
    memcpy(b + 1, &v, 8);
    return hexOf(Bytes(b, b + 9));
}

// The token string with every id folded to its base class.
std::string folded(const Bytes &t)
{
    Bytes out = t;
    for (size_t pos = 0; pos < out.size();) {
        size_t n = 0;
        if (Excel_Ptg_tokenSize(out.data(), out.size(), pos, &n) != Res_ok)
            return "bad:" + hexOf(t);
        out[pos] = uint8_t(Excel_Ptg_fold(out[pos]));
        pos += n;
    }
    return hexOf(out);
}

class FormulaText : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    int parse(const std::string &text, Bytes *tokens, Excel_FormulaTokens *keep = nullptr)
    {
        Excel_FormulaSource src{ctx, text.c_str()};
        Excel_FormulaTokens out;
        int rc = Excel_Formula_parseText(&src, &out);
        tokens->assign(out.tokens, out.tokens + out.length);
        if (rc == Res_ok) {
            EXPECT_NE(out.tokens, nullptr);
        } else {
            EXPECT_EQ(out.tokens, nullptr);
            EXPECT_EQ(out.length, 0u);
        }
        if (keep)
            *keep = out;
        else
            Excel_FormulaTokens_free(&out);
        return rc;
    }

    std::string parsed(const std::string &text)
    {
        Bytes t;
        int rc = parse(text, &t);
        return rc == Res_ok ? hexOf(t) : "error " + std::to_string(rc);
    }

    int render(const Bytes &t, std::string *text)
    {
        char *s = nullptr;
        int rc = Excel_Formula_toText(ctx, t.data(), t.size(), &s);
        if (rc == Res_ok) {
            EXPECT_NE(s, nullptr);
            *text = s ? s : "";
        } else {
            EXPECT_EQ(s, nullptr);
        }
        Mem_free(s);
        return rc;
    }

    std::string rendered(const std::string &hex)
    {
        std::string text;
        int rc = render(hexBytes(hex), &text);
        return rc == Res_ok ? text : "error " + std::to_string(rc);
    }

    void TearDown() override
    {
        FuncNames_free(ctx);
        LeakCheckedContextTest::TearDown();
    }
};

TEST_F(FormulaText, TokensMatchXlwt)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/formulatext/xlwt_tokens.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        std::string text = line.substr(0, tab);
        Bytes mine;
        ASSERT_EQ(parse(text, &mine), Res_ok) << text;
        EXPECT_EQ(folded(mine), folded(hexBytes(line.substr(tab + 1)))) << text;
        count++;
    }
    EXPECT_GT(count, 50);
}

TEST_F(FormulaText, ExactTokens)
{
    struct Case {
        const char *text;
        std::string hex;
    };
    const Case cases[] = {
        // Names are read in any case; a one-argument SUM is the sum attribute.
        {"sum(a1:b2)", "250000010000c001c0"
                       "19100000"},
        {"1+2*3", "1e01001e02001e03000503"},
        {"2^3^2", "1e02001e030007"
                  "1e020007"},
        // The minus sign goes with the number, before "^".
        {"-2^2", num(-2) + "1e020007"},
        {"-A1^2", "24000000c0"
                  "13"
                  "1e020007"},
        {"--1", num(-1) + "13"},
        {"65535", "1effff"},
        {"65536", num(65536)},
        {"1.5", num(1.5)},
        {"-1", num(-1)},
        {"1E3", "1ee803"},
        {".5", num(0.5)},
        // Areas are stored top-left first; each end keeps its own flags.
        {"B3:A1", "250000020000c001c0"},
        {"$B3:A$1", "25000002000040"
                    "0180"},
        {"IV65536", "24ffffffc0"},
        {"A:B", "250000ffff00c001c0"},
        {"$A:B", "250000ffff008001c0"},
        {"1:3", "25000002"
                "0000c0ffc0"},
        {"$1:3", "250000020000"
                 "40ffc0"},
        // IF with and without a false branch.
        {"IF(A1>0,1)", "44000000c01e00000d"
                       "19020700"
                       "1e0100"
                       "19080300"
                       "42020100"},
        {"IF(A1,B1,C1)", "44000000c0"
                         "19020900"
                         "24000001c0"
                         "19080c00"
                         "24000002c0"
                         "19080300"
                         "42030100"},
        // A reference an operator works on is read as a value.
        {"A1+B1", "44000000c0"
                  "24000001c0"
                  "03"},
        {"SQRT(A1)", "44000000c0"
                     "411400"},
        {"IRR(A1:A5,A1)", "250000040000c000c0"
                          "44000000c0"
                          "42023e00"},
        {"SUM(IF(A1,1,2))", "44000000c0"
                            "19020700"
                            "1e0100"
                            "19080a00"
                            "1e0200"
                            "19080300"
                            "22030100"
                            "19100000"},
        {"SUM(A1,,B1)", "24000000c0"
                        "16"
                        "24000001c0"
                        "42030400"},
        {"ROUND(A1,)", "44000000c0"
                       "16"
                       "411b00"},
        {"NOW()", "19010000"
                  "414a00"},
        {"TRUE()", "412200"},
        {"true", "1d01"},
        {"\"Abc\"", "170300416263"},
        {"\"\xC3\xA9\"", "170100e9"},
        {"\"\xE2\x82\xAC\"", "170101ac20"},
        {"#ref!+1", "2a00000000"
                    "1e0100"
                    "03"},
        {"(1)", "1e0100"
                "15"},
        {"50%", "1e3200"
                "14"},
        // Blanks are kept in front of what they precede.
        {"1 + 2", "1e0100"
                  "19400001"
                  "1e0200"
                  "19400001"
                  "03"},
        {"\r\n1", "19400101"
                  "1e0100"},
        {" SUM(A1 )", "24000000c0"
                      "19400001"
                      "19400401"
                      "19100000"},
        {" ( 1 )", "19400001"
                   "1e0100"
                   "19400201"
                   "19400401"
                   "15"},
        {"1  ", "1e0100"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parsed(c.text), c.hex) << c.text;
}

TEST_F(FormulaText, ParseResults)
{
    Excel_FormulaTokens out;
    Bytes t;
    ASSERT_EQ(parse("NOW()+PV(1,2,3)+SUM(1)", &t, &out), Res_ok);
    EXPECT_EQ(out.isVolatile, 1u);
    EXPECT_EQ(out.format, 8);
    EXPECT_EQ(out.lastToken, out.length - 1);
    Excel_FormulaTokens_free(&out);
    ASSERT_EQ(parse("1+A1", &t, &out), Res_ok);
    EXPECT_EQ(out.isVolatile, 0u);
    EXPECT_EQ(out.format, -1);
    Excel_FormulaTokens_free(&out);
    ASSERT_EQ(parse("NOW()", &t, &out), Res_ok);
    EXPECT_EQ(out.format, 22);
    Excel_FormulaTokens_free(&out);

    EXPECT_EQ(Excel_Formula_parseText(nullptr, &out), Res_missingArgument);
    EXPECT_EQ(out.tokens, nullptr);
    Excel_FormulaSource src{ctx, "1"};
    EXPECT_EQ(Excel_Formula_parseText(&src, nullptr), Res_missingArgument);
}

TEST_F(FormulaText, SyntaxErrors)
{
    const std::string quote = "\"";
    const std::string cases[] = {
        "",
        " ",
        "1+",
        "(1",
        "1)",
        "()",
        "SUM(",
        "SUM()",
        "SQRT(1,2)",
        "MOD(1)",
        "IF(1)",
        "IF(1,2,3,4)",
        "NOW(1)",
        "#N/A",
        "#REF",
        "#DIV/0!",
        "A1:",
        ":A1",
        "1 2",
        quote + "abc",
        "SIN(1)",
        "A1B",
        "1E",
        "1E+",
        "1.2.3",
        "..5",
        ",1",
        "(1,2)",
        "ABC1",
        "$",
        "$A",
        "A$",
        "A$$1",
        "IW1",
        "A65537",
        "A0",
        "A:B3",
        "1:B",
        "A",
        "1&2",
        "1+*2",
        "SUM(1+)",
        "SUM(-)",
        "SUM (1)",
        quote + "a" + quote + quote + "b" + quote,
        "1E999",
        "A1 B1",
        "TRUEX",
        "1\t+2",
        "=1",
        "A1:B2:C3",
        "\xFF",
        "1+\xC3",
        std::string("1") + std::string(1023, ' ').substr(1) + "+",
        quote + std::string(256, 'x') + quote,
        std::string(1024, '1'),
    };
    for (const std::string &text : cases) {
        Bytes t;
        EXPECT_EQ(parse(text, &t), Res_formulaSyntax) << "[" << text << "]";
    }
    // The limits themselves parse.
    Bytes t;
    EXPECT_EQ(parse(quote + std::string(255, 'x') + quote, &t), Res_ok);
    EXPECT_EQ(t.size(), 258u);
    std::string longest = "1";
    while (longest.size() < 1023)
        longest += "+1";
    EXPECT_EQ(parse(longest, &t), Res_ok);
    EXPECT_EQ(parse("A1+" + std::string(1020, ' '), &t), Res_formulaSyntax);
}

TEST_F(FormulaText, TranslatedNames)
{
    std::vector<const char *> names(FuncNames_defaults, FuncNames_defaults + FuncNames_count);
    names[24] = "SUMME";
    names[FuncNames_trueIndex] = "Wahr";
    names[FuncNames_falseIndex] = "FALSCH";
    names[1] = "Zw"; // FV, with a small letter
    ASSERT_EQ(FuncNames_set(ctx, names.data()), Res_ok);
    EXPECT_EQ(parsed("summe(a1:a2)"), "250000010000c000c019100000");
    EXPECT_EQ(parsed("wahr"), "1d01");
    EXPECT_EQ(parsed("Falsch()"), "412300");
    EXPECT_EQ(parsed("zw(1,2,3)"), "1e01001e02001e030042033900");
    EXPECT_EQ(parsed("SUM(1)"), "error " + std::to_string(Res_formulaSyntax));
    EXPECT_EQ(parsed("TRUE"), "error " + std::to_string(Res_formulaSyntax));
    EXPECT_EQ(rendered("1d01"
                       "1d00"
                       "03"),
              "Wahr+FALSCH");
    EXPECT_EQ(rendered("250000010000c000c019100000"), "SUMME(A1:A2)");
}

TEST_F(FormulaText, Render)
{
    struct Case {
        std::string hex;
        std::string text;
    };
    const Case cases[] = {
        {"2400000000"
         "24010001c0"
         "03",
         "$A$1+B2"},
        {"250000020000c000c019100000", "SUM(A1:A3)"},
        {"24000000c01e0200"
         "07",
         "A1^2"},
        {"240000"
         "1a00",
         "$AA$1"},
        {"240000"
         "ffc0",
         "IV1"},
        {"250000ffff00c000c0", "A:A"},
        {"250000ffff0000"
         "0100",
         "$A:$B"},
        {"250000000000c0ffc0", "1:1"},
        {"250000020000"
         "00ff00",
         "$1:$3"},
        {"250100030001c0"
         "0240",
         "B2:C$4"},
        {"1e01001e0200"
         "03"
         "15"
         "1e0300"
         "05",
         "(1+2)*3"},
        {"1e0100"
         "13"
         "14",
         "-1%"},
        {"1e0100"
         "12",
         "+1"},
        {"1e01001e0200"
         "09"
         "1e0300"
         "0e",
         "1<2<>3"},
        {num(1.5) + num(-0.25) + "06", "1.5/-.25"},
        {num(0.1), ".1"},
        {num(1e20), "1.e+20"},
        {"1d01"
         "1d00"
         "0b",
         "TRUE=FALSE"},
        {"170300616263", "\"abc\""},
        {"170201e900ac20", "\"\xC3\xA9\xE2\x82\xAC\""},
        {"16", ""},
        {"2a00000000"
         "2b0000000000000000"
         "03",
         "#REF!+#REF!"},
        {"24000000c0"
         "19020700"
         "1e0100"
         "19080300"
         "42020100",
         "IF(A1,1)"},
        {"44000000c0"
         "16"
         "411b00",
         "ROUND(A1,)"},
        {"19010000"
         "414a00",
         "NOW()"},
        {"4200"
         "c500",
         "TRUNC()"},
        {"1e0100"
         "1e0200"
         "42021b00",
         "ROUND(1,2)"},
        {"1e0100"
         "411400",
         "SQRT(1)"},
        {"1e0100"
         "415a01",
         "error " + std::to_string(Res_formulaSyntax)},
        // Blanks before what they precede, and around parentheses.
        {"1e0100"
         "19400002"
         "1e0200"
         "19400101"
         "03",
         "1\n+  2"},
        {"1e0100"
         "19400202"
         "19400401"
         "15",
         "  (1 )"},
        {"24000000c0"
         "19400001"
         "19400401"
         "19100000",
         " SUM(A1 )"},
        {"1e0100"
         "19400901",
         "1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rendered(c.hex), c.text) << c.hex;

    const std::string bad = "error " + std::to_string(Res_formulaSyntax);
    const std::string unknown = "error " + std::to_string(Res_formulaUnknownFunction);
    const Case refused[] = {
        {"3a000000000000", bad},         // 3-D reference
        {"3b00000000000000000000", bad}, // 3-D area
        {"2301000000", bad},             // defined name
        {"1e01001e020008", bad},         // "&"
        {"24000000c024000001c011", bad}, // range operator
        {"1c07", bad},                   // error constant
        {"2000000000000000", bad},       // array
        {"1e010042010f00", unknown},     // SIN through ptgFuncVar
        {"1e0100410f00", unknown},       // SIN through ptgFunc
        {"1e01004201"
         "0480",
         bad},                 // command function
        {"1e0100415a01", bad}, // COUNTIF without its arguments
        {"03", bad},           // missing operands
        {"1e0100"
         "13"
         "13"
         "42030400",
         bad},
        {"1e01001e0200", bad}, // two fragments left
        {"", bad},
        {"1e01", bad}, // cut short
        {"80", bad},
        {"1e0100"
         "19200000",
         bad}, // unknown attribute
        {"1e0100"
         "19410000",
         bad},
        {num(NAN), bad},
        {num(INFINITY), bad},
    };
    for (const Case &c : refused)
        EXPECT_EQ(rendered(c.hex), c.text) << c.hex;

    char letters[3];
    EXPECT_EQ(Excel_Formula_colText(0, letters), 1u);
    EXPECT_STREQ(letters, "A");
    EXPECT_EQ(Excel_Formula_colText(26, letters), 2u);
    EXPECT_STREQ(letters, "AA");
    EXPECT_EQ(Excel_Formula_colText(255, letters), 2u);
    EXPECT_STREQ(letters, "IV");
    char *s = nullptr;
    EXPECT_EQ(Excel_Formula_toText(ctx, nullptr, 3, &s), Res_missingArgument);
    EXPECT_EQ(Excel_Formula_toText(ctx, nullptr, 0, nullptr), Res_missingArgument);
}

TEST_F(FormulaText, CanonicalTextRoundTrip)
{
    struct Case {
        const char *text;
        const char *canonical;
    };
    const Case cases[] = {
        {"sum(a1:b2)", "SUM(A1:B2)"},
        {"b3:a1", "A1:B3"},
        {"$b3:a$1", "A$1:$B3"},
        {"a1+$b$2*c$3", "A1+$B$2*C$3"},
        {"-2^2", "-2^2"},
        {"--1", "--1"},
        {"0.5", ".5"},
        {"1E3", "1000"},
        {"1.5e-3", ".0015"},
        {"if(a1>0,\"Yes\",\"no\")", "IF(A1>0,\"Yes\",\"no\")"},
        {"IF(A1,,)", "IF(A1,,)"},
        {"a:a", "A:A"},
        {"$1:3", "$1:3"},
        {"#ref!", "#REF!"},
        {"1 +  2", "1 +  2"},
        {" ( 1 )*2", " ( 1 )*2"},
        {"(1\r\n)", "(1\n)"},
        {"NOW()", "NOW()"},
        {"true+FALSE", "TRUE+FALSE"},
        {"log10(100)+ln(2)+trunc(1.5,1)", "LOG10(100)+LN(2)+TRUNC(1.5,1)"},
        {"countif(a1:a5,\">=2\")", "COUNTIF(A1:A5,\">=2\")"},
    };
    for (const Case &c : cases) {
        Bytes t;
        ASSERT_EQ(parse(c.text, &t), Res_ok) << c.text;
        std::string text;
        ASSERT_EQ(render(t, &text), Res_ok) << c.text;
        EXPECT_EQ(text, c.canonical) << c.text;
        Bytes again;
        ASSERT_EQ(parse(text, &again), Res_ok) << text;
        EXPECT_EQ(hexOf(again), hexOf(t)) << c.text;
    }
    // Every formula of the xlwt list as well.
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/formulatext/xlwt_tokens.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::string text = line.substr(0, line.find('\t'));
        Bytes t, again;
        ASSERT_EQ(parse(text, &t), Res_ok) << text;
        std::string shown;
        ASSERT_EQ(render(t, &shown), Res_ok) << text;
        ASSERT_EQ(parse(shown, &again), Res_ok) << shown;
        EXPECT_EQ(hexOf(again), hexOf(t)) << text << " -> " << shown;
    }
}

TEST_F(FormulaText, NumbersReadBackExactly)
{
    std::mt19937_64 rng(82);
    std::vector<double> values = {0.1,
                                  0.2,
                                  1.0 / 3,
                                  3.141592653589793,
                                  2.718281828459045,
                                  1e-300,
                                  1e300,
                                  123456789.123,
                                  65535.5,
                                  65536,
                                  4294967296.0,
                                  1e-5,
                                  9.999999999999999e22,
                                  5e-324,
                                  1e308,
                                  2.2250738585072014e-308};
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 400; i++)
        values.push_back(std::ldexp(unit(rng), int(rng() % 200) - 100));
    for (double v : values) {
        for (double s : {v, -v}) {
            std::string text;
            ASSERT_EQ(render(hexBytes(num(s)), &text), Res_ok) << s;
            Bytes t;
            ASSERT_EQ(parse(text, &t), Res_ok) << text;
            // The text reads back to the same double (an integer in range
            // becomes a ptgInt).
            double back;
            if (t[0] == Excel_ptgInt) {
                back = t[1] | t[2] << 8;
            } else {
                ASSERT_EQ(t.size(), 9u) << text;
                memcpy(&back, t.data() + 1, 8);
            }
            EXPECT_EQ(back, s) << text;
        }
    }
}

// Every formula of the spreadsheet fixtures: the text it renders to parses
// back to the same tokens, classes folded; formulas the text language
// cannot hold are refused with the syntax code.
TEST_F(FormulaText, FixtureFormulasRoundTrip)
{
    std::string dir = std::string(VEXLAN_FIXTURES) + "/spreadsheet";
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    std::vector<std::string> files;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".xls")
            files.push_back(name);
    }
    closedir(d);
    int rendered = 0, refused = 0;
    for (const std::string &name : files) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        ASSERT_NE(copy, nullptr);
        memcpy(copy, file.data(), file.size());
        VfsHandle *vfs = nullptr;
        OleHandle *ole = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        ExcelLoad load{};
        load.context = ctx;
        if (Ole_openStream(vfs, &ole) == 0 && Excel_readWorkbookStream(&load, ole) == 0) {
            for (ExcelSheetEntry *e = load.sheets; e; e = e->next) {
                for (const ExcelLoadFormula *f = e->sheet ? e->sheet->formulas : nullptr; f;
                     f = f->next) {
                    if (!f->tokens)
                        continue;
                    Bytes tokens(f->tokens, f->tokens + f->length);
                    std::string text;
                    int rc = render(tokens, &text);
                    if (rc != Res_ok) {
                        EXPECT_TRUE(rc == Res_formulaSyntax || rc == Res_formulaUnknownFunction)
                            << name << " " << hexOf(tokens);
                        refused++;
                        continue;
                    }
                    Bytes again;
                    ASSERT_EQ(parse(text, &again), Res_ok) << name << " " << text;
                    EXPECT_EQ(folded(again), folded(tokens)) << name << " " << text;
                    rendered++;
                }
            }
        }
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
    }
    EXPECT_GT(rendered, 5);
    EXPECT_GT(refused, 0);
}

TEST_F(FormulaText, OutOfMemoryIsClean)
{
    const char *text = "IF(SUM(A1:B2)>1,\"yes\",ROUND(-A1^2,2))+ (1)";
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        Excel_FormulaSource src{ctx, text};
        Excel_FormulaTokens out;
        int rc = Excel_Formula_parseText(&src, &out);
        bool failed = Mem_failPending() == 0;
        Mem_failAfter(0);
        if (rc == Res_ok) {
            ASSERT_FALSE(failed);
            for (uint64_t m = 1;; m++) {
                Mem_failAfter(m);
                char *s = nullptr;
                int r2 = Excel_Formula_toText(ctx, out.tokens, out.length, &s);
                bool f2 = Mem_failPending() == 0;
                Mem_failAfter(0);
                if (r2 == Res_ok) {
                    EXPECT_STREQ(s, "IF(SUM(A1:B2)>1,\"yes\",ROUND(-A1^2,2))+ (1)");
                    Mem_free(s);
                    break;
                }
                EXPECT_TRUE(f2);
                EXPECT_EQ(r2, Res_noMemory);
                EXPECT_EQ(s, nullptr);
            }
            Excel_FormulaTokens_free(&out);
            break;
        }
        EXPECT_EQ(rc, Res_noMemory);
        EXPECT_EQ(out.tokens, nullptr);
    }
}

} // namespace
