// The PDF lexer: its edge cases as one table, each input read whole and in
// refills of one and three bytes (the result must not depend on where the
// stream's buffers end); references against a cross-reference table; the
// failed state; nesting and length limits; keywords; number conversion.
#include <cfloat>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "tests/pdf/pdf_support.h"
#include "tests/support/heap_fixture.h"

namespace {

class LexerTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest::SetUp();
        doc = static_cast<PdfDoc *>(Mem_calloc(1, sizeof(PdfDoc)));
        ASSERT_NE(doc, nullptr);
        doc->xrefTail = &doc->xrefHead;
        ASSERT_EQ(Pdf_NameTable_create(&doc->names), Res_ok);
    }
    void TearDown() override
    {
        doc->xrefHead = nullptr;
        while (doc->freeCount)
            Mem_free(doc->freeList[--doc->freeCount]);
        Pdf_NameTable_destroy(doc->names);
        Mem_free(doc);
        LeakCheckedHeapTest::TearDown();
    }

    // Every object of text, then "end" or "error N".
    std::string lexAll(const std::string &text, size_t chunk = 4096, size_t limit = 50)
    {
        TestByteStream s;
        s.init(&text, chunk);
        PdfLexer *lx = nullptr;
        EXPECT_EQ(Pdf_Lex_create(&lx, &s.base), Res_ok);
        std::string out;
        for (size_t i = 0; i < limit; i++) {
            PdfObj obj{PdfObj_null, {}, nullptr};
            int produced = 0;
            int err = Pdf_Lex_next(doc, lx, &obj, &produced);
            if (err != Res_ok) {
                out += "error " + std::to_string(err);
                break;
            }
            if (!produced) {
                out += "end";
                break;
            }
            out += describe(&obj) + "; ";
            Pdf_Obj_freeContents(&obj, 0);
        }
        Pdf_Lex_destroy(lx);
        return out;
    }

    PdfDoc *doc = nullptr;
};

struct LexCase {
    const char *input;
    const char *expect;
};

TEST_F(LexerTest, EdgeCasesGiveTheSameObjectsWhateverTheRefills)
{
    static const LexCase cases[] = {
        // Integers held back for "n g R", and handed out when no "R" comes.
        {"0 0 1 RG", "int 0; int 0; int 1; keyword RG; end"},
        {"1 2 3", "int 1; int 2; int 3; end"},
        {"1 2 3 4 R", "int 1; int 2; unresolved 3 4; end"},
        {"1 0 R", "unresolved 1 0; end"},
        {"[1 0 R 2]", "array [unresolved 1 0, int 2]; end"},
        {"1 R", "error 5971"},
        {"5 -3 .5", "int 5; int -3; float 0.5; end"},
        {"1 2.5", "int 1; float 2.5; end"},
        {"1-2", "int 1; int -2; end"},
        // Real numbers.
        {"-.5", "float -0.5; end"},
        {"+5", "error 5971"},
        {"3.", "float 3; end"},
        {"0.0005", "float 0.0005; end"},
        // Literal strings: nesting, escapes, line ends.
        {"(a(b)c)", "string a(b)c; end"},
        {"(\\101)", "string A; end"},
        {"(\\1012)", "string A2; end"},
        {"(\\7x)", "string \x07x; end"},
        {"(a\\\nb)", "string ab; end"},
        {"(a\\\r\nb)", "string ab; end"},
        {"(a\r\nb)", "string a\rb; end"},
        {"(a\nb)", "string ab; end"},
        {"(\\n\\r\\t\\b\\f\\\\\\(\\)\\q)", "string \n\r\t\b\f\\()q; end"},
        {"(50%) 1", "string 50%; int 1; end"},
        {"(abc", "error 5971"},
        // Hexadecimal strings.
        {"<41 4>", "string A@; end"},
        {"<4a4B>", "string JK; end"},
        {"<4<>", "error 5971"},
        {"<4g>", "error 5971"},
        // Names.
        {"/A#42", "name AB; end"},
        {"/A#G", "name AG; end"},
        {"/A#4/B", "name A\x04; name B; end"},
        {"/A%c\n/B", "name A; name B; end"},
        {"/", "name ; end"},
        // Keywords and their neighbours.
        {"true false null", "bool 1; bool 0; null; end"},
        {"T* f* '", "keyword T*; keyword f*; keyword '; end"},
        {"abcdefghi", "error 5955"},
        {"endobj", "error 5955"},
        {"q Q", "keyword q; keyword Q; end"},
        // Containers.
        {"[1 [2] << /K /V >> (s)]",
         "array [int 1, array [int 2], dict {K: name V}, string s]; end"},
        {"[]", "array []; end"},
        {"<<>>", "dict {}; end"},
        {"<< /A >>", "dict {}; end"},
        {"<< 1 2 >>", "error 5971"},
        {"<< /A 1 > ", "error 5971"},
        {"[1 2", "error 5971"},
        {"]", "error 5971"},
        {">", "error 5971"},
        {"<< /A 1 >> sc", "dict {A: int 1}; keyword sc; end"},
        // Comments read as ends of line.
        {"1 % one\n2", "int 1; int 2; end"},
        {"%only a comment", "end"},
        // Anything else fails.
        {"{", "error 5971"},
        {"\x80", "error 5971"},
    };
    for (const LexCase &c : cases) {
        for (size_t chunk : {size_t(4096), size_t(1), size_t(3)})
            EXPECT_EQ(lexAll(c.input, chunk), c.expect)
                << "input " << c.input << " chunk " << chunk;
    }
}

TEST_F(LexerTest, ADictionaryFollowedByStreamGivesTheOffsetAfterTheEndOfLine)
{
    // The lexer does not read the data: here they happen to read as a number.
    EXPECT_EQ(lexAll("<< /Length 3 >>stream\r\n123"), "stream {Length: int 3} @23; int 123; end");
    EXPECT_EQ(lexAll("<< /Length 3 >>\nstream\n123"), "stream {Length: int 3} @23; int 123; end");
    EXPECT_EQ(lexAll("<< /Length 3 >> stream\r123"), "stream {Length: int 3} @23; int 123; end");
    EXPECT_EQ(lexAll("<< >> strong"), "dict {}; error 5955");
}

TEST_F(LexerTest, ReferencesFindTheirEntries)
{
    PdfXrefEntry entries[3] = {};
    entries[1] = {PdfXref_inUse, 0, 1, 10, nullptr};
    entries[2] = {0, 1, 2, 0, nullptr}; // free, generation 1
    PdfXrefSubsection s{0, 3, entries, nullptr};
    doc->xrefHead = &s;
    EXPECT_EQ(lexAll("1 0 R"), "ref 1 0; end");
    // A free entry keeps the numbers it was written with and resolves to Null.
    EXPECT_EQ(lexAll("2 0 R"), "unresolved 2 0; end");
    EXPECT_EQ(lexAll("9 0 R"), "unresolved 9 0; end");
    EXPECT_EQ(lexAll("1 7 R"), "unresolved 1 7; end");
}

TEST_F(LexerTest, TheFailedStateHoldsUntilASeek)
{
    std::string text = "] 1 2";
    TestByteStream s;
    s.init(&text);
    PdfLexer *lx = nullptr;
    ASSERT_EQ(Pdf_Lex_create(&lx, &s.base), Res_ok);
    PdfObj obj{PdfObj_null, {}, nullptr};
    int produced = 0;
    EXPECT_EQ(Pdf_Lex_next(doc, lx, &obj, &produced), Res_pdfSyntax);
    EXPECT_STREQ(lx->failMessage, "array ended not in array!");
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Pdf_Lex_next(doc, lx, &obj, &produced), Res_pdfSyntax);
    ASSERT_EQ(Pdf_Lex_seek(lx, 2), Res_ok);
    EXPECT_EQ(Pdf_Lex_next(doc, lx, &obj, &produced), Res_ok);
    EXPECT_EQ(describe(&obj), "int 1");
    Pdf_Lex_destroy(lx);
}

TEST_F(LexerTest, DeepNestingFailsCleanly)
{
    std::string deep(100000, '[');
    EXPECT_EQ(lexAll(deep), "error 5971");
    std::string fits = std::string(PdfLex_maxDepth, '[') + std::string(PdfLex_maxDepth, ']');
    EXPECT_EQ(lexAll(fits).substr(0, 7), "array [");
    std::string over =
        std::string(PdfLex_maxDepth + 1, '[') + std::string(PdfLex_maxDepth + 1, ']');
    EXPECT_EQ(lexAll(over), "error 5971");
    std::string dicts;
    for (int i = 0; i < 1000; i++)
        dicts += "<< /A ";
    EXPECT_EQ(lexAll(dicts), "error 5971");
}

TEST_F(LexerTest, StringsAndNamesStopAt65536Bytes)
{
    std::string fits = "(" + std::string(65535, 'x') + ")";
    EXPECT_EQ(lexAll(fits).size(), std::string("string ; end").size() + 65535);
    EXPECT_EQ(lexAll("(" + std::string(65536, 'x') + ")"), "error 5971");
    EXPECT_EQ(lexAll("<" + std::string(2 * 65536, 'a') + ">"), "error 5971");
    EXPECT_EQ(lexAll("/" + std::string(65536, 'n')), "error 5971");
    EXPECT_EQ(lexAll(std::string(5000, '7')), "error 5971"); // "Number too big!"
}

TEST_F(LexerTest, EveryKeywordMapsToItsIndex)
{
    for (uint32_t k = 0; k < PdfLex_keywordCount; k++) {
        const char *w = PdfLex_keywords[k];
        EXPECT_EQ(Pdf_Lex_keywordIndex(w, strlen(w)), int32_t(k)) << w;
    }
    EXPECT_EQ(PdfLex_keywords[44], std::string("\""));
    EXPECT_EQ(PdfLex_keywords[113], std::string("b*"));
    for (const char *w : {"obj", "R", "stream", "Tx", "", "bitshifts", "xref"})
        EXPECT_EQ(Pdf_Lex_keywordIndex(w, strlen(w)), -1) << w;
}

TEST_F(LexerTest, RealNumbersKeepA20BitMantissa)
{
    auto conv = [](const std::string &s) {
        return Pdf_Lex_strToFloat(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    };
    EXPECT_EQ(conv("1234567890123456789012345678901234567890.0"), FLT_MAX);
    EXPECT_EQ(conv("-1234567890123456789012345678901234567890.5"), -FLT_MAX);
    EXPECT_EQ(conv("0." + std::string(40, '0') + "1"), 0.0f);
    EXPECT_EQ(conv("-0.5"), -0.5f);
    EXPECT_EQ(conv("12345.678"), 12345.67f); // digits past the mantissa are dropped
    EXPECT_EQ(conv("007.25"), 7.25f);
    EXPECT_FLOAT_EQ(conv("612.0"), 612.0f);
}

TEST_F(LexerTest, IntegersSaturateAsTheyAreHandedOut)
{
    auto parse = [](const std::string &s) {
        return Pdf_Lex_parseInt(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    };
    EXPECT_EQ(parse("3000000000"), 3000000000LL);
    EXPECT_EQ(parse("-12"), -12);
    EXPECT_EQ(parse("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(lexAll("4294967292"), "int -4; end"); // read unsigned, kept as bits
    EXPECT_EQ(lexAll("-3000000000"), "int -2147483648; end");
    EXPECT_EQ(lexAll("5000000000"), "int -1; end");
}

TEST_F(LexerTest, ExpectKeepsTheOffendingCharacter)
{
    std::string text = "  xrefz trailer";
    TestByteStream s;
    s.init(&text, 2);
    PdfLexer *lx = nullptr;
    ASSERT_EQ(Pdf_Lex_create(&lx, &s.base), Res_ok);
    EXPECT_EQ(Pdf_Lex_expect(lx, "xref"), Res_ok);
    EXPECT_EQ(Pdf_Lex_tell(lx), 6u);
    EXPECT_EQ(Pdf_Lex_expect(lx, "trailer"), Res_pdfSyntax);
    EXPECT_EQ(Pdf_Lex_tell(lx), 6u) << "the z is kept";
    EXPECT_EQ(Pdf_Lex_getc(lx), 'z');
    EXPECT_EQ(Pdf_Lex_expect(lx, "*ler"), Res_ok);
    EXPECT_EQ(Pdf_Lex_expect(lx, "x"), Res_pdfSyntax) << "the data ended";
    uint64_t tell = 0, pos = 0;
    EXPECT_EQ(Pdf_Lex_getStreamPos(lx, &tell, &pos), Res_ok);
    EXPECT_EQ(tell, text.size());
    EXPECT_EQ(pos, text.size());
    Pdf_Lex_destroy(lx);
}

TEST_F(LexerTest, RawReadsAndSeeksCountFromTheBase)
{
    std::string text = "JUNK%PDF-1.4 12 (abc)";
    TestByteStream s;
    s.init(&text, 5);
    PdfLexer *lx = nullptr;
    ASSERT_EQ(Pdf_Lex_create(&lx, &s.base), Res_ok);
    Pdf_Lex_setBase(lx, 4);
    ASSERT_EQ(Pdf_Lex_seek(lx, 9), Res_ok);
    int64_t v = 0;
    EXPECT_EQ(Pdf_Lex_readInt(lx, &v), Res_ok);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(Pdf_Lex_tell(lx), 12u) << "the white space after it is dropped";
    uint8_t buf[8] = {};
    size_t count = 4;
    EXPECT_EQ(Pdf_Lex_readRaw(lx, &count, buf), Res_ok);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 4), "(abc");
    count = 8;
    EXPECT_EQ(Pdf_Lex_readRaw(lx, &count, buf), Res_byteStreamEnded);
    EXPECT_EQ(count, 7u);
    ASSERT_EQ(Pdf_Lex_seek(lx, 0), Res_ok);
    EXPECT_EQ(Pdf_Lex_readInt(lx, &v), Res_pdfSyntax) << "a % is no digit";
    Pdf_Lex_destroy(lx);
    EXPECT_EQ(Pdf_Lex_tell(nullptr), 0u);
}

TEST_F(LexerTest, TheTokenBufferGrowsForLongStringsAndShrinksBack)
{
    std::string text = "(" + std::string(10000, 'y') + ")";
    TestByteStream s;
    s.init(&text);
    PdfLexer *lx = nullptr;
    ASSERT_EQ(Pdf_Lex_create(&lx, &s.base), Res_ok);
    PdfObj obj{PdfObj_null, {}, nullptr};
    int produced = 0;
    ASSERT_EQ(Pdf_Lex_next(doc, lx, &obj, &produced), Res_ok);
    EXPECT_EQ(obj.value.str->length, 10000u);
    EXPECT_EQ(lx->tokenCapacity, 16384u);
    Pdf_Lex_shrinkBuffer(lx);
    EXPECT_EQ(lx->tokenCapacity, size_t(PdfLex_tokenStart));
    Pdf_Obj_freeContents(&obj, 0);
    Pdf_Lex_destroy(lx);
}

} // namespace
