// The reader's tables of every Word fixture against the generator's own
// parse of the same file (tests/fixtures/word/make_word_fixtures.py): FIB
// fields and pairs, pieces, sections with their SEPX bytes, styles with
// their names and bases, header and footer stories, bookmarks and the
// paragraph texts found through the paragraph bin table.
#include "tests/word/word_support.h"

namespace {

class WordFixtureTest : public WordTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(WordFixtureTest, TablesEqualTheGeneratorsParse)
{
    std::string name = GetParam();
    std::vector<std::string> expected = expectLines(name);
    ASSERT_FALSE(expected.empty()) << name;
    ASSERT_EQ(openDoc(wordFixture(name)), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    std::vector<std::string> got = dumpTables(reader);
    size_t n = std::max(got.size(), expected.size());
    for (size_t i = 0; i < n; i++) {
        ASSERT_LT(i, got.size()) << name << ": missing " << expected[i];
        ASSERT_LT(i, expected.size()) << name << ": extra " << got[i];
        ASSERT_EQ(got[i], expected[i]) << name << " line " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WordFixtureTest,
                         ::testing::Values("runs.doc", "sections.doc", "links.doc", "word6.doc",
                                           "pieces.doc", "encrypted.doc", "protected.doc"));

TEST_F(WordTest, EncryptedFileOpensWithItsFlag)
{
    // Recognition still accepts the file; the load sequence refuses it
    // from the flag read here.
    ASSERT_EQ(openDoc(wordFixture("encrypted.doc")), Res_ok);
    EXPECT_NE(reader->fib.flags & Word_flagEncrypted, 0u);
    ASSERT_EQ(openDoc(wordFixture("pieces.doc")), Res_ok);
    EXPECT_EQ(reader->fib.flags & Word_flagEncrypted, 0u);
}

TEST_F(WordTest, WordSixTablesComeFromTheDocumentStream)
{
    ASSERT_EQ(openDoc(wordFixture("word6.doc")), Res_ok);
    EXPECT_EQ(reader->tableStream, reader->docStream);
    EXPECT_EQ(reader->fib.csw, 14);
    EXPECT_EQ(reader->fib.wMagicCreated, 0x6A62);
    ASSERT_EQ(loadTables(reader), Res_ok);
    // The Word 6 style sheet: 8-bit names made 16-bit, a base chain.
    ASSERT_EQ(reader->styleCount, 5u);
    const WordStyleEntry &cafe = reader->styles[3];
    EXPECT_EQ(std::u16string(cafe.name + 1, cafe.name[0]), u"Caf\u00e9 style");
    EXPECT_EQ(cafe.pap.jc, 1) << "from the base style";
    EXPECT_EQ(cafe.pap.dxaLeft, 800);
    EXPECT_EQ(cafe.chp.fBold, 1) << "from the base style";
    EXPECT_EQ(cafe.chp.hps, 24);
    EXPECT_FALSE(reader->styles[1].defined);
    // A paragraph style's character record names the default paragraph font.
    EXPECT_EQ(reader->istdDefaultFont, 4u);
    EXPECT_EQ(reader->styles[2].chp.istd, 0) << "built before the default font was known";
}

TEST_F(WordTest, WordSixPropertiesFromOneByteModifiers)
{
    ASSERT_EQ(openDoc(wordFixture("word6.doc")), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    // Paragraph 0: its style (2, bold, justified 1) then sprmPJc 1.
    WordPap pap;
    Word_defaultPap(&pap);
    ASSERT_EQ(Word_applyParaProps(0, &pap, nullptr, reader), Res_ok);
    EXPECT_EQ(pap.istd, 2);
    EXPECT_EQ(pap.jc, 1);
    // Paragraph 1: an empty style slot gives the normal style; left indent 0x240.
    Word_defaultPap(&pap);
    ASSERT_EQ(Word_applyParaProps(31, &pap, nullptr, reader), Res_ok);
    EXPECT_EQ(pap.istd, 0);
    EXPECT_EQ(pap.dxaLeft, 0x240);
    // Runs: bold on the first four characters, 14 points from 10 to 40.
    WordChp chp;
    Word_defaultChp(&chp);
    ASSERT_EQ(Word_applyRunProps(2, &chp, reader), Res_ok);
    EXPECT_EQ(chp.fBold, 1);
    Word_defaultChp(&chp);
    ASSERT_EQ(Word_applyRunProps(12, &chp, reader), Res_ok);
    EXPECT_EQ(chp.hps, 28);
    EXPECT_EQ(chp.fBold, 0);
    uint32_t end = 0;
    ASSERT_EQ(Word_nextRunEnd(0, &end, reader), Res_ok);
    EXPECT_EQ(end, 4u);
    ASSERT_EQ(Word_nextRunEnd(12, &end, reader), Res_ok);
    EXPECT_EQ(end, 40u);
    // Sections: the first has a page break kind, story flags and one column.
    WordSep sep;
    Word_defaultSep(&sep);
    ASSERT_EQ(Word_readSectionProps(5, &sep, reader), Res_ok);
    EXPECT_EQ(sep.bkc, 2);
    EXPECT_EQ(sep.grpfIhdt, 0x09);
    EXPECT_EQ(sep.ccolM1, 1);
    Word_defaultSep(&sep);
    ASSERT_EQ(Word_readSectionProps(120, &sep, reader), Res_ok);
    EXPECT_EQ(sep.xaPage, 0x3DA0);
    uint32_t mark = 0;
    ASSERT_EQ(Word_isSectionMark(108, &mark, reader), Res_ok);
    EXPECT_EQ(mark, 1u);
    ASSERT_EQ(Word_isSectionMark(107, &mark, reader), Res_ok);
    EXPECT_EQ(mark, 0u);
}

TEST_F(WordTest, PiecesFileFollowsParagraphsAcrossPieces)
{
    ASSERT_EQ(openDoc(wordFixture("pieces.doc")), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    // The bin tables list one page each; the second followed in the file.
    EXPECT_EQ(reader->chpx.count, 2u);
    EXPECT_EQ(reader->papx.count, 2u);
    EXPECT_EQ(reader->papx.pages[1], reader->papx.pages[0] + 1);
    // Paragraph 3 starts in an 8-bit piece and ends two pieces later.
    uint32_t end = 0;
    ASSERT_EQ(Word_nextParaEnd(77, &end, reader), Res_ok);
    EXPECT_EQ(end, 119u);
    uint32_t same = 1;
    ASSERT_EQ(Word_samePiece(77, 118, &same, reader), Res_ok);
    EXPECT_EQ(same, 0u);
    // The piece modifiers of a complex file: a short bold modifier on piece
    // 1, the Prc lists (italic; underline) on pieces 2 and 3.
    struct {
        uint32_t cp;
        uint8_t bold, kul;
    } cases[] = {{25, 1, 0}, {65, 0, 0}, {85, 0, 1}, {110, 0, 0}};
    for (const auto &c : cases) {
        WordChp chp;
        Word_defaultChp(&chp);
        ASSERT_EQ(Word_applyRunProps(c.cp, &chp, reader), Res_ok) << c.cp;
        EXPECT_EQ(chp.fBold, c.bold) << c.cp;
        EXPECT_EQ(chp.kul, c.kul) << c.cp;
    }
    WordChp chp;
    Word_defaultChp(&chp);
    ASSERT_EQ(Word_applyRunProps(65, &chp, reader), Res_ok);
    EXPECT_EQ(chp.fItalic, 1) << "Prc 0 of piece 2";
    // Styles: a base defined later in the sheet is resolved first.
    const WordStyleEntry &heading = reader->styles[1];
    EXPECT_EQ(heading.pap.dxaLeft, 360) << "from Body, its base";
    EXPECT_EQ(heading.pap.jc, 1);
    EXPECT_EQ(heading.chp.fBold, 1);
    EXPECT_EQ(reader->styles[2].chp.hps, 32);
    EXPECT_EQ(reader->styles[2].chp.fBold, 1) << "through Heading";
    EXPECT_EQ(reader->istdDefaultFont, 5u);
}

TEST_F(WordTest, BookmarkEndsSortedAndCursors)
{
    ASSERT_EQ(openDoc(wordFixture("pieces.doc")), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    WordBookmarks *b = reader->bookmarks;
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->count, 3u);
    // outer 2-90, inner 40-50, empty 60-60: ends in the order 50, 60, 90.
    EXPECT_EQ(b->ends[0].index, 1u);
    EXPECT_EQ(b->ends[1].index, 2u);
    EXPECT_EQ(b->ends[2].index, 0u);
    EXPECT_EQ(b->firstStart, Word_noBookmark);
    Word_bookmarksForRange(reader, 0, 157);
    EXPECT_EQ(b->firstStart, 0u);
    EXPECT_EQ(b->lastStart, 2u);
    EXPECT_EQ(b->firstEnd, 0u);
    EXPECT_EQ(b->lastEnd, 2u);
    // Walking the text places the anchors in order.
    std::vector<std::string> events;
    for (uint32_t cp = 0; cp <= 157; cp++) {
        uint32_t i;
        while ((i = Word_bookmarkEndAt(reader, 0, cp, 157)) != Word_noBookmark) {
            events.push_back("end " + std::to_string(b->ends[i].index) + "@" + std::to_string(cp));
            Word_bookmarkEnded(reader, i);
        }
        while ((i = Word_bookmarkStartAt(reader, cp, 158)) != Word_noBookmark) {
            events.push_back("start " + std::to_string(i) + "@" + std::to_string(cp));
            Word_bookmarkStarted(reader, 100 + i, i);
        }
    }
    std::vector<std::string> want = {"start 0@2", "start 1@40", "end 1@50",
                                     "end 2@60",  "start 2@60", "end 0@90"};
    EXPECT_EQ(events, want);
    EXPECT_EQ(b->entries[2].nodeId, 102u);
    EXPECT_EQ(std::u16string(Word_bookmarkName(reader, 1)), u"inner");
    EXPECT_EQ(Word_bookmarkName(reader, 3), nullptr);
    // A range with no start leaves the start cursors at none.
    Word_bookmarksForRange(reader, 70, 80);
    EXPECT_EQ(b->firstStart, Word_noBookmark);
    EXPECT_EQ(b->lastStart, Word_noBookmark);
}

TEST_F(WordTest, SectionsFileHeaderStories)
{
    ASSERT_EQ(openDoc(wordFixture("sections.doc")), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    ASSERT_EQ(reader->sectionCount, 2u);
    // The first section's odd header holds its text.
    uint32_t start = 0, end = 0;
    ASSERT_EQ(Word_headerRange(0, 1, &start, &end, reader), Res_ok);
    EXPECT_EQ(readText(reader, start, end).substr(0, 15), u"Odd page header");
    ASSERT_EQ(Word_headerRange(0, 4, &start, &end, reader), Res_ok);
    EXPECT_EQ(readText(reader, start, end).substr(0, 17), u"First page header");
    // The second section: landscape, two columns.
    WordSep sep;
    Word_defaultSep(&sep);
    ASSERT_EQ(Word_readSectionProps(reader->sections[1].start, &sep, reader), Res_ok);
    EXPECT_EQ(sep.ccolM1, 1);
    EXPECT_GT(sep.xaPage, sep.yaPage);
    uint32_t rel = 0;
    ASSERT_EQ(Word_cpInSubdoc(2, start, &rel, &reader->fib), Res_ok);
    EXPECT_EQ(rel, start - reader->fib.ccpText);
}

TEST_F(WordTest, RunsFileHasSeveralPagesAndItsRunProperties)
{
    ASSERT_EQ(openDoc(wordFixture("runs.doc")), Res_ok);
    ASSERT_EQ(loadTables(reader), Res_ok);
    EXPECT_GT(reader->chpx.count, 2u);
    EXPECT_GT(reader->papx.count, 2u);
    // Every run of the main text ends after it starts, and the runs tile
    // the text; sizes come in several values.
    std::vector<uint16_t> sizes;
    uint32_t runs = 0;
    for (uint32_t cp = 0; cp < reader->fib.ccpText; runs++) {
        uint32_t end = 0;
        ASSERT_EQ(Word_nextRunEnd(cp, &end, reader), Res_ok);
        ASSERT_GT(end, cp);
        WordChp chp;
        Word_defaultChp(&chp);
        ASSERT_EQ(Word_applyRunProps(cp, &chp, reader), Res_ok);
        if (std::find(sizes.begin(), sizes.end(), chp.hps) == sizes.end())
            sizes.push_back(chp.hps);
        cp = end;
    }
    EXPECT_GT(runs, 400u);
    EXPECT_GE(sizes.size(), 12u);
    // The styles as the office suite writes them: each with its own
    // properties (it flattens the base chain of the source).
    auto named = [&](const std::u16string &n) {
        for (uint32_t i = 0; i < reader->styleCount; i++)
            if (reader->styles[i].name &&
                std::u16string(reader->styles[i].name + 1, reader->styles[i].name[0]) == n)
                return &reader->styles[i];
        return static_cast<WordStyleEntry *>(nullptr);
    };
    ASSERT_NE(named(u"Chain1"), nullptr);
    ASSERT_NE(named(u"Chain2"), nullptr);
    EXPECT_EQ(named(u"Chain1")->chp.fItalic, 1);
    EXPECT_EQ(named(u"Chain2")->pap.jc, 1);
}

} // namespace
