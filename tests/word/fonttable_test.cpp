// The Word font table: the Word 97 and Word 6/95 forms written by
// tests/fixtures/word/make_font_tables.py, the count escape, alternative
// and empty names, malformed tables, the Symbol and Wingdings indexes,
// tables of 64 KiB and more, and the fonts of the fixtures' runs.
#include "word/reader/wordfonts.h"
#include "tests/word/word_support.h"

namespace {

std::string fontFixture(const std::string &name)
{
    return wordFixture("fonts/" + name);
}

std::string narrow(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += *s < 128 ? char(*s) : '?';
    return out;
}

class FontTableTest : public WordTest {
  public:
    WordReader *bare(uint32_t ident)
    {
        EXPECT_EQ(Word_readerNew(&reader), Res_ok);
        reader->ctx = ctx;
        reader->fib.wIdent = uint16_t(ident);
        return reader;
    }
    int parse(const std::string &bytes, uint32_t ident = Word_identWord97)
    {
        bare(ident);
        return Word_parseFontTable(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                   reader);
    }
    std::vector<std::string> names()
    {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < reader->fontCount; i++)
            out.push_back(narrow(reader->fonts[i].name));
        return out;
    }
    // A Word 97 file whose table stream holds the font table at 16.
    int withTable(const std::string &table)
    {
        Fib97 fib;
        fib.pair(WordPair_sttbfffn, 16, uint32_t(table.size())).ccp(0, 0);
        return openStreams(placeAt(fib.b, 4095, bytes({0})), std::string(16, '\0') + table);
    }
};

TEST_F(FontTableTest, ParsedTables)
{
    struct Case {
        const char *file;
        uint32_t ident;
        int result;
        std::vector<std::string> names;
    } cases[] = {
        {"escape97.bin", Word_identWord97, Res_ok, {"Times New Roman", "Arial", "Courier New"}},
        {"altname97.bin", Word_identWord97, Res_ok, {"Arial,Helvetica"}},
        {"empty97.bin", Word_identWord97, Res_ok, {"Times"}},
        {"short97.bin", Word_identWord97, Res_wordBadFontTable, {}},
        {"word6.bin", Word_identWord6, Res_ok, {"Times New Roman", "Symbol", "Caf?"}},
        {"word6bad.bin", Word_identWord6, Res_wordBadFontTable, {}},
        {"escape97.bin", 0x1234, Res_wordNotWord, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(parse(fontFixture(c.file), c.ident), c.result);
        EXPECT_EQ(names(), c.names);
        if (c.result != Res_ok) {
            EXPECT_EQ(reader->fonts, nullptr);
        }
        closeDoc();
    }
}

TEST_F(FontTableTest, FieldsOfAWord97Record)
{
    ASSERT_EQ(parse(fontFixture("escape97.bin")), Res_ok);
    const WordFont &f = reader->fonts[1];
    EXPECT_EQ(f.weight, 400u);
    EXPECT_EQ(f.flags, (0x16u & 7u) | (1u << 3)); // pitch 2, TrueType, family 1
    EXPECT_EQ(f.panose[9], 9u);
    EXPECT_EQ(f.signature[5], 6u);
    // Word 6 names are 8-bit: é arrives as U+00E9.
    closeDoc();
    ASSERT_EQ(parse(fontFixture("word6.bin"), Word_identWord6), Res_ok);
    EXPECT_EQ(reader->fonts[2].name[3], char16_t(0xE9));
}

TEST_F(FontTableTest, TruncatedTablesAreRefused)
{
    std::string t = fontFixture("escape97.bin");
    for (size_t n : {size_t(0), size_t(1), size_t(3), size_t(5), t.size() - 1}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(parse(t.substr(0, n)), Res_wordBadFontTable);
        EXPECT_EQ(reader->fontCount, 0u);
        closeDoc();
    }
}

TEST_F(FontTableTest, SymbolAndWingdingsIndexes)
{
    ASSERT_EQ(withTable(fontFixture("symbols97.bin")), Res_ok);
    ASSERT_EQ(Word_readFontTable(reader), Res_ok);
    EXPECT_EQ(reader->fontCount, 6u);
    EXPECT_EQ(reader->symbolFont, 5); // the later match wins
    EXPECT_EQ(uint16_t(reader->wingdingsFont), 0xFFFFu);
}

TEST_F(FontTableTest, ATableOf64KiBOrMoreIsReadWhole)
{
    std::string t = fontFixture("large97.bin");
    ASSERT_GE(t.size(), 65536u);
    ASSERT_EQ(withTable(t), Res_ok);
    ASSERT_EQ(Word_readFontTable(reader), Res_ok);
    ASSERT_EQ(reader->fontCount, 400u);
    EXPECT_EQ(narrow(reader->fonts[399].name),
              "Font number 399 with a long name to fill the record");
}

TEST_F(FontTableTest, NoTableGivesNoFonts)
{
    ASSERT_EQ(withTable(""), Res_ok);
    ASSERT_EQ(Word_readFontTable(reader), Res_ok);
    EXPECT_EQ(reader->fontCount, 0u);
    EXPECT_EQ(reader->fonts, nullptr);
}

} // namespace
