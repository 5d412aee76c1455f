// The PostScript token reader: token kinds and bytes, escapes, hex
// strings, comments and the syntax errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/pslexer.h"
#include "pdf/resources/pdfstream.h"
#include "core/mem/mem.h"
#include "tests/support/heap_fixture.h"

namespace {

using PsLexerTest = LeakCheckedHeapTest<>;

struct Tok {
    uint32_t kind;
    std::string text;
    int32_t value;
};

// The tokens of input and the status after the last one.
std::vector<Tok> lex(const std::string &input, int *status)
{
    ByteStream *s = nullptr;
    EXPECT_EQ(
        Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(input.data()), input.size(), &s),
        0);
    PsLexer *lx = nullptr;
    EXPECT_EQ(PsLexer_create(s, &lx), 0);
    std::vector<Tok> out;
    while (PsToken *t = PsToken_next(lx)) {
        EXPECT_EQ(t->text[t->length], 0);
        out.push_back(
            {t->kind, std::string(t->text, t->length), t->kind == PsToken_integer ? t->value : 0});
        PsToken_free(t);
    }
    *status = PsToken_status(lx);
    EXPECT_EQ(PsToken_status(lx), 0); // taking the status clears it
    PsToken_destroy(lx);
    (void)ByteStream_close(s);
    return out;
}

struct Case {
    const char *name;
    std::string input;
    std::vector<Tok> tokens;
};

TEST_F(PsLexerTest, Tokens)
{
    const Case cases[] = {
        {"nested parentheses", "(a(b)c)", {{3, "a(b)c", 0}}},
        {"backslash before a digit", "(a\\101)", {{3, "a101", 0}}},
        {"escapes", "(\\n\\r\\t\\b\\f\\\\\\(\\)\\q)", {{3, "\n\r\t\b\f\\()q", 0}}},
        {"backslash before a line end", "(a\\\nb\\\r\nc)", {{3, "ab\nc", 0}}},
        {"odd hex digits", "<48 65 6c 6>", {{3, std::string("\x48\x65\x6c\x60"), 0}}},
        {"hex with comment", "<41%x\n42>", {{3, "AB", 0}}},
        {"literal name and array",
         "/Name[1 2]",
         {{2, "Name", 0}, {0, "[", 0}, {1, "1", 1}, {1, "2", 2}, {0, "]", 0}}},
        {"name with digits first", "12abc", {{0, "12abc", 0}}},
        {"leading zeros", "007", {{1, "007", 7}}},
        {"signed and decimal numbers", "-1 3.5", {{0, "-1", 0}, {0, "3.5", 0}}},
        {"dictionaries and procedures",
         "<</A{x}>>",
         {{0, "<<", 0}, {2, "A", 0}, {0, "{", 0}, {0, "x", 0}, {0, "}", 0}, {0, ">>", 0}}},
        {"comments and control bytes", "%c\r\na\x01%d\fb", {{0, "a", 0}, {0, "b", 0}}},
        {"empty strings", "() <> /", {{3, "", 0}, {3, "", 0}, {2, "", 0}}},
        {"long token", std::string(300, 'x'), {{0, std::string(300, 'x'), 0}}},
    };
    for (const Case &c : cases) {
        int status = -1;
        std::vector<Tok> got = lex(c.input, &status);
        EXPECT_EQ(status, 0) << c.name;
        ASSERT_EQ(got.size(), c.tokens.size()) << c.name;
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(got[i].kind, c.tokens[i].kind) << c.name << " " << i;
            EXPECT_EQ(got[i].text, c.tokens[i].text) << c.name << " " << i;
            EXPECT_EQ(got[i].value, c.tokens[i].value) << c.name << " " << i;
        }
    }
}

TEST_F(PsLexerTest, SyntaxErrorsStopWithNoToken)
{
    const struct {
        std::string input;
        size_t before; // tokens read before the error
    } cases[] = {
        {"a )", 1}, {"> b", 0}, {"(open", 0}, {"(end\\", 0}, {"<41 4g>", 0}, {"<41", 0},
    };
    for (const auto &c : cases) {
        int status = 0;
        std::vector<Tok> got = lex(c.input, &status);
        EXPECT_EQ(status, PsLexer_syntaxError) << c.input;
        EXPECT_EQ(got.size(), c.before) << c.input;
    }
}

TEST_F(PsLexerTest, EqualsComparesLengthAndBytes)
{
    int status = 0;
    std::string in = "begincmap";
    ByteStream *s = nullptr;
    ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(in.data()), in.size(), &s),
              0);
    PsLexer *lx = nullptr;
    ASSERT_EQ(PsLexer_create(s, &lx), 0);
    PsToken *t = PsToken_next(lx);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(PsToken_equals(t, "begincmap"));
    EXPECT_FALSE(PsToken_equals(t, "begin"));
    EXPECT_FALSE(PsToken_equals(t, "begincmapx"));
    PsToken_free(t);
    status = PsToken_status(lx);
    EXPECT_EQ(status, 0);
    PsToken_destroy(lx);
    (void)ByteStream_close(s);
}

// Tokens are handed out again once freed: tokens held together keep their
// own texts whatever was freed in between (short and long, so that a
// spare record too small for a text is not reused), and tokens still held
// when the reader goes away stay readable and are freed after it (the
// heap check finds anything left behind).
TEST_F(PsLexerTest, HeldTokensKeepTheirTextsAndOutliveTheReader)
{
    std::string longName = std::string(300, 'n');
    std::string in = "a /bb 123 (ccc) " + longName + " d <4545> e f g h i j k l m n o p";
    ByteStream *s = nullptr;
    ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(in.data()), in.size(), &s),
              0);
    PsLexer *lx = nullptr;
    ASSERT_EQ(PsLexer_create(s, &lx), 0);
    std::vector<PsToken *> held;
    for (int i = 0; i < 4; i++)
        held.push_back(PsToken_next(lx));
    ASSERT_TRUE(held[0] && held[1] && held[2] && held[3]);
    PsToken_free(held[1]); // "bb" goes back to the reader
    PsToken_free(held[3]); // "ccc" too
    PsToken *big = PsToken_next(lx);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(std::string(big->text, big->length), longName);
    EXPECT_EQ(big->text[big->length], 0);
    std::vector<PsToken *> more;
    while (PsToken *t = PsToken_next(lx))
        more.push_back(t);
    EXPECT_EQ(PsToken_status(lx), 0);
    ASSERT_EQ(more.size(), 14u);
    EXPECT_TRUE(PsToken_equals(held[0], "a"));
    EXPECT_EQ(held[2]->kind, PsToken_integer);
    EXPECT_EQ(held[2]->value, 123);
    EXPECT_TRUE(PsToken_equals(more[0], "d"));
    EXPECT_EQ(more[1]->kind, PsToken_string);
    EXPECT_TRUE(PsToken_equals(more[1], "EE"));
    EXPECT_EQ(more[1]->value, 0);
    EXPECT_TRUE(PsToken_equals(more[13], "p"));
    for (size_t i = 0; i + 3 < more.size(); i++)
        PsToken_free(more[i]);
    PsToken_destroy(lx);
    // Held past the reader's end: still readable, freed one by one.
    EXPECT_TRUE(PsToken_equals(more[11], "n"));
    EXPECT_TRUE(PsToken_equals(big, longName.c_str()));
    PsToken_free(held[0]);
    PsToken_free(held[2]);
    PsToken_free(big);
    for (size_t i = more.size() - 3; i < more.size(); i++)
        PsToken_free(more[i]);
    (void)ByteStream_close(s);
}

TEST_F(PsLexerTest, OutOfMemoryIsReported)
{
    std::string in = "(" + std::string(200, 'x') + ")";
    ByteStream *s = nullptr;
    ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(in.data()), in.size(), &s),
              0);
    PsLexer *lx = nullptr;
    ASSERT_EQ(PsLexer_create(s, &lx), 0);
    Mem_failAfter(1);
    PsToken *t = PsToken_next(lx);
    Mem_failAfter(0);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(PsToken_status(lx), Res_noMemory);
    PsToken_destroy(lx);
    (void)ByteStream_close(s);
}

} // namespace
