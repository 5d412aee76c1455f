// ToUnicode maps: code space ranges, single codes, counting ranges and
// arrays, multi-character destinations, usecmap names and damaged maps.
#include <gtest/gtest.h>

#include <string>

#include "core/mem/mem.h"
#include "pdf/tounicode.h"
#include "tests/support/heap_fixture.h"

namespace {

using PdfToUnicodeTest = LeakCheckedHeapTest<>;

// The text of code (length bytes) under the map, "" when it has none.
std::u16string lookup(const PdfToUnicode *map, uint32_t code, uint32_t length)
{
    char16_t text[PdfToUnicode_maxText];
    uint32_t n = Pdf_ToUnicode_lookup(map, code, length, text);
    return std::u16string(text, n);
}

PdfToUnicode *parse(const std::string &text)
{
    PdfToUnicode *map = nullptr;
    EXPECT_EQ(
        Pdf_ToUnicode_parse(reinterpret_cast<const uint8_t *>(text.data()), text.size(), &map), 0);
    return map;
}

const char kHeader[] = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                       "/CMapName /Test-UCS def\n";

TEST_F(PdfToUnicodeTest, CodesReadAsTheirCharactersLigaturesAndRanges)
{
    PdfToUnicode *map =
        parse(std::string(kHeader) +
              "1 begincodespacerange <00> <FF> endcodespacerange\n"
              "4 beginbfchar\n<01> <0044>\n<02> <006600660069>\n<03> /Delta\n<04> (A)\n"
              "endbfchar\n"
              "2 beginbfrange\n<20> <22> <0061>\n<30> <32> [<0058> <00590059> (Z)]\nendbfrange\n"
              "endcmap\nCMapName currentdict /CMap defineresource pop end end\n");
    ASSERT_NE(map, nullptr);
    struct Case {
        uint32_t code;
        std::u16string text;
        const char *why;
    } cases[] = {
        {0x01, u"D", "a single code"},
        {0x02, u"ffi", "a ligature reads as three characters"},
        {0x03, u"\u2206", "a glyph name goes through the glyph list"},
        {0x04, u"A", "a one-byte literal string is one character"},
        {0x20, u"a", "a counting range starts at its destination"},
        {0x22, u"c", "and counts up with the code"},
        {0x23, u"", "past its end nothing"},
        {0x30, u"X", "an array gives each code its own text"},
        {0x31, u"YY", "of any length"},
        {0x32, u"Z", "a literal string of one byte in an array"},
        {0x05, u"", "an unmapped code"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(lookup(map, c.code, 1), c.text) << c.why;
    EXPECT_EQ(lookup(map, 0x01, 2), u"") << "a code is found only at its own length";
    Pdf_ToUnicode_free(map);
    // Sections labelled as CID sections, with numbers for characters.
    map = parse("begincidrange <0003> <0005> 68 endcidrange 1 begincidchar <0010> 1046 endcidchar");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(lookup(map, 0x0004, 2), u"E");
    EXPECT_EQ(lookup(map, 0x0010, 2), u"\u0416");
    Pdf_ToUnicode_free(map);
}

TEST_F(PdfToUnicodeTest, CodeSpaceRangesOfOneToFourBytesSplitStrings)
{
    PdfToUnicode *map =
        parse(std::string(kHeader) +
              "3 begincodespacerange\n<00> <80>\n<8140> <9FFC>\n<A0A0A0A0> <A1FFFFFF>\n"
              "endcodespacerange\n"
              "1 beginbfchar\n<8140> <3000>\nendbfchar\n"
              "1 beginbfrange\n<A0A0A0A0> <A0A0A0FF> <0100>\nendbfrange\nendcmap\n");
    ASSERT_NE(map, nullptr);
    struct Case {
        std::string bytes;
        uint32_t length;
    } cases[] = {
        {"\x41\x81\x40", 1},     {"\x81\x40\x41", 2},
        {"\xA0\xA0\xA0\xA1", 4}, {"\xA0\xA0", 2}, // cut short: never past the end
        {"\xF0\x41", 2},                          // in no range: the map's lengths decide
    };
    for (const Case &c : cases)
        EXPECT_EQ(Pdf_ToUnicode_codeLength(map, reinterpret_cast<const uint8_t *>(c.bytes.data()),
                                           c.bytes.size()),
                  c.length)
            << c.bytes.size() << " bytes";
    EXPECT_EQ(lookup(map, 0x8140, 2), u"\u3000");
    EXPECT_EQ(lookup(map, 0xA0A0A0A1, 4), u"\u0101") << "four-byte codes count too";
    Pdf_ToUnicode_free(map);
}

TEST_F(PdfToUnicodeTest, LaterDefinitionsWinAndWideRangesAreFound)
{
    PdfToUnicode *map =
        parse(std::string(kHeader) + "1 beginbfrange\n<0000> <FFFF> <0000>\nendbfrange\n"
                                     "2 beginbfchar\n<0041> <0061>\n<0041> <0062>\nendbfchar\n"
                                     "1 beginbfrange\n<1000> <10FF> <2000>\nendbfrange\nendcmap\n");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(lookup(map, 0x0041, 2), u"b") << "the last definition of a code wins";
    EXPECT_EQ(lookup(map, 0x0042, 2), u"B") << "the identity range answers the rest";
    EXPECT_EQ(lookup(map, 0x10FE, 2), u"\u20FE");
    EXPECT_EQ(lookup(map, 0xFFFE, 2), u"\uFFFE");
    // No code space: the lengths of the codes seen decide.
    uint8_t two[2] = {0x41, 0x42};
    EXPECT_EQ(Pdf_ToUnicode_codeLength(map, two, 2), 2u);
    Pdf_ToUnicode_free(map);
}

TEST_F(PdfToUnicodeTest, UsecmapNamesAndDamagedMapsKeepWhatWasRead)
{
    PdfToUnicode *map = parse("/Adobe-Japan1-UCS2 usecmap\n1 beginbfchar <01> <0041> endbfchar\n"
                              "1 beginbfrange <02> <03> [<0042> ) junk (\n");
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(map->useName, "Adobe-Japan1-UCS2");
    EXPECT_EQ(lookup(map, 1, 1), u"A");
    EXPECT_EQ(lookup(map, 2, 1), u"B") << "the array's element before the damage";
    Pdf_ToUnicode_free(map);
    struct Case {
        std::string text;
        const char *why;
    } empty[] = {
        {"", "nothing at all"},
        {"beginbfchar <0102030405> <0041> endbfchar", "a code longer than four bytes"},
        {"beginbfrange <05> <01> <0041> endbfrange", "a reversed range"},
        {"beginbfrange <01> <0002> <0041> endbfrange", "ends of different lengths"},
        {"beginbfchar <01> 0 endbfchar", "the number 0 as destination"},
        {"beginbfchar <01", "the text ends inside a string"},
    };
    for (const Case &c : empty) {
        map = parse(c.text);
        ASSERT_NE(map, nullptr) << c.why;
        EXPECT_EQ(map->entryCount, 0u) << c.why;
        EXPECT_EQ(lookup(map, 1, 1), u"") << c.why;
        Pdf_ToUnicode_free(map);
    }
}

} // namespace
