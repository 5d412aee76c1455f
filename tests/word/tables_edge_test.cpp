// The Word tables on hand-made files: the piece table with and without a
// CLX, CP and FC mapping, damaged pieces and pages, tables outside their
// streams, the style sheet's limits and long base chains, the section and
// header tables, and bookmark tables that do not agree.
#include "tests/word/word_support.h"

namespace {

std::string pcdt(const std::vector<uint32_t> &cps, const std::vector<uint32_t> &fcs,
                 uint32_t prm = 0)
{
    std::string plc;
    for (uint32_t c : cps)
        plc += le32(c);
    for (uint32_t fc : fcs)
        plc += le16(0) + le32(fc) + le16(prm);
    return bytes({2}) + le32(uint32_t(plc.size())) + plc;
}

class TablesTest : public WordTest {
  public:
    // A Word 97 file whose table stream holds the CLX at 16.
    int withClx(const std::string &clx, uint32_t docSize = 4096)
    {
        std::string table = std::string(16, '\0') + clx;
        Fib97 fib;
        fib.pair(WordPair_clx, 16, uint32_t(clx.size())).ccp(0, 20);
        return openStreams(placeAt(fib.b, docSize - 1, bytes({0})), table);
    }
};

TEST_F(TablesTest, PieceMappingWithClx)
{
    // An 8-bit piece at byte 0x400 (fc 0x40000800) and a 16-bit one at 0x800.
    ASSERT_EQ(withClx(pcdt({0, 10, 20}, {0x40000800, 0x800})), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    ASSERT_EQ(reader->pieceCount, 2u);
    uint32_t fc = 0, is16 = 0, cp = 0, start = 0, end = 0;
    ASSERT_EQ(Word_cpToFc(5, &fc, &is16, reader), Res_ok);
    EXPECT_EQ(fc, 0x405u);
    EXPECT_EQ(is16, 0u);
    ASSERT_EQ(Word_cpToFc(15, &fc, &is16, reader), Res_ok);
    EXPECT_EQ(fc, 0x80Au);
    EXPECT_EQ(is16, 1u);
    // The last piece's end: found by the inclusive lookup, not the strict one.
    ASSERT_EQ(Word_cpToFc(20, &fc, &is16, reader), Res_ok);
    EXPECT_EQ(fc, 0x814u);
    EXPECT_EQ(Word_pieceAtCp(20, &start, &end, &is16, reader), Res_wordNoPieceAtCp);
    EXPECT_EQ(Word_cpToFc(21, &fc, &is16, reader), Res_wordNoPieceAtCp);
    ASSERT_EQ(Word_fcToCp(0x405, &cp, reader), Res_ok);
    EXPECT_EQ(cp, 5u);
    ASSERT_EQ(Word_fcToCp(0x80A, &cp, reader), Res_ok);
    EXPECT_EQ(cp, 15u);
    EXPECT_EQ(Word_fcToCp(0x900, &cp, reader), Res_wordNoPieceAtFc);
    uint32_t last = 0;
    ASSERT_EQ(Word_pieceLastCp(3, &last, reader), Res_ok);
    EXPECT_EQ(last, 9u);
    ASSERT_EQ(Word_pieceEndCp(20, &end, reader), Res_ok);
    EXPECT_EQ(end, 20u);
    uint32_t same = 0;
    ASSERT_EQ(Word_samePiece(2, 9, &same, reader), Res_ok);
    EXPECT_EQ(same, 1u);
    ASSERT_EQ(Word_samePiece(9, 10, &same, reader), Res_ok);
    EXPECT_EQ(same, 0u);
}

TEST_F(TablesTest, PrcListsAndDamagedClx)
{
    // Two Prc entries before the pieces.
    std::string prcs = bytes({1}) + le16(3) + le16(0x0835) + bytes({1}) + bytes({1}) + le16(0);
    ASSERT_EQ(withClx(prcs + pcdt({0, 20}, {0x40000800}, 1)), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    EXPECT_EQ(reader->prcCount, 2u);
    EXPECT_EQ(reader->pieceCount, 1u);
    reader->fib.flags |= 4;
    WordChp chp;
    Word_defaultChp(&chp);
    ASSERT_EQ(Word_applyPrm(1, WordGrpprl_chpList, nullptr, nullptr, &chp, nullptr, reader),
              Res_ok);
    EXPECT_EQ(chp.fBold, 1);
    // The first byte after the Prc list is not 2: no pieces, no error.
    ASSERT_EQ(withClx(prcs + bytes({3, 0, 0, 0, 0})), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    EXPECT_EQ(reader->pieceCount, 0u);
    uint32_t fc = 0, is16 = 0;
    EXPECT_EQ(Word_cpToFc(0, &fc, &is16, reader), Res_wordNoPieceAtCp);
    // A PlcPcd longer than what is left of the CLX: no pieces.
    std::string clx = pcdt({0, 20}, {0x40000800});
    put32(clx, 1, 4000);
    ASSERT_EQ(withClx(clx), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    EXPECT_EQ(reader->pieceCount, 0u);
    // A Prc whose size runs past the CLX.
    ASSERT_EQ(withClx(bytes({1}) + le16(900) + bytes({0, 0})), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    EXPECT_EQ(reader->pieceCount, 0u);
}

TEST_F(TablesTest, SyntheticPiecesWithoutClx)
{
    struct {
        uint32_t fcMin, fcMac, pieces, lastLength;
    } cases[] = {
        {0x400, 0x400 + 70000, 3, 4464}, {0x400, 0x400 + 65536, 2, 32768}, {0x800, 0x400, 0, 0}};
    for (const auto &c : cases) {
        ASSERT_EQ(openStreams(Fib97().fc(c.fcMin, c.fcMac).b, std::string(16, '\0')), Res_ok);
        ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
        ASSERT_EQ(reader->pieceCount, c.pieces);
        if (c.pieces) {
            EXPECT_EQ(reader->pieceCps[1], 32768u);
            EXPECT_EQ(reader->pieceCps[c.pieces] - reader->pieceCps[c.pieces - 1], c.lastLength);
            EXPECT_EQ(reader->pieces[1].fc, c.fcMin + 32768);
        }
        uint32_t fc = 0, is16 = 0, end = 0;
        ASSERT_EQ(Word_cpToFc(40000, &fc, &is16, reader), Res_ok);
        EXPECT_EQ(fc, c.fcMin + 40000);
        // A text that ends before it begins has no end CP, never a negative one.
        EXPECT_EQ(Word_pieceEndCp(0, &end, reader), c.pieces ? Res_ok : Res_wordNotFound);
    }
}

TEST_F(TablesTest, TablesOutsideTheirStreams)
{
    uint8_t *out = nullptr;
    ASSERT_EQ(openStreams(Fib97().b, std::string(100, '\0')), Res_ok);
    EXPECT_EQ(Word_readBlock(reader->tableStream, 101, 1, &out), Res_oleSeekBeyond);
    EXPECT_EQ(Word_readBlock(reader->tableStream, -4, 1, &out), Res_oleSeekBeyond);
    EXPECT_EQ(Word_readBlock(reader->tableStream, 90, 0xFFFFFFF0u, &out), Res_oleStreamEnd);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(Word_readBlock(reader->tableStream, 90, 10, &out), Res_ok);
    Mem_free(out);
    // The loaders: a CLX, a section table and a style sheet beyond the
    // stream give its error; headers and bookmarks are then absent.
    Fib97 fib;
    fib.pair(WordPair_clx, 50, 0x7FFFFFFF)
        .pair(WordPair_plcfsed, 0x10000, 20)
        .pair(WordPair_stshf, 99, 40)
        .pair(WordPair_plcfhdd, 8, 0x40000000)
        .pair(WordPair_sttbfbkmk, 0, 0x80000000)
        .pair(WordPair_plcfbkf, 0, 8)
        .pair(WordPair_plcfbkl, 0, 8);
    ASSERT_EQ(openStreams(fib.b, std::string(100, '\0')), Res_ok);
    EXPECT_EQ(Word_readPieceTable(reader), Res_oleStreamEnd);
    EXPECT_EQ(Word_readSections(reader), Res_oleSeekBeyond);
    EXPECT_EQ(Word_readStyleSheet(reader), Res_oleStreamEnd);
    EXPECT_EQ(Word_readHeaderTable(reader), Res_ok);
    EXPECT_EQ(reader->hddLength, 0u);
    EXPECT_EQ(Word_readBookmarks(reader), Res_ok);
    EXPECT_EQ(reader->bookmarks, nullptr);
}

// A page: FCs, run entries and the byte 511.
std::string page(const std::vector<uint32_t> &rgfc, const std::vector<uint8_t> &offsets,
                 uint32_t entry, uint8_t crun)
{
    std::string p(512, '\0');
    for (size_t i = 0; i < rgfc.size(); i++)
        put32(p, 4 * i, rgfc[i]);
    for (size_t k = 0; k < offsets.size(); k++)
        p[4 * rgfc.size() + entry * k] = char(offsets[k]);
    p[511] = char(crun);
    return p;
}

TEST_F(TablesTest, DamagedPages)
{
    // Text at 0x400; CHPX pages at 0x600 and 0x800; bin table of two pages.
    std::string chp1 = page({0x400, 0x404, 0x410}, {0xF0, 0xFE}, 1, 2);
    chp1[0x1E0] = 3;
    chp1[0x1E1] = 0x35;
    chp1[0x1E2] = 0x08;
    chp1[0x1E3] = 1;
    chp1[0x1FC] = 40; // the second run's CHPX would pass the page's end
    std::string chp2 = page({0x410, 0x420}, {0}, 1, 200); // crun overruns the page
    std::string doc = placeAt(
        placeAt(Fib97().fc(0x400, 0x420).ccp(0, 0x20).cpnBte(2, 0).b, 0x600, chp1), 0x800, chp2);
    std::string table =
        std::string(16, '\0') + le32(0x400) + le32(0x410) + le32(0x420) + le32(3) + le32(4);
    Fib97 fib;
    fib.fc(0x400, 0x420).ccp(0, 0x20).cpnBte(2, 0).pair(WordPair_plcfbteChpx, 16, 20);
    doc.replace(0, 898, fib.b);
    ASSERT_EQ(openStreams(doc, table), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    ASSERT_EQ(Word_readBinTables(reader), Res_ok);
    ASSERT_EQ(reader->chpx.count, 2u);
    const uint8_t *chpx = nullptr;
    ASSERT_EQ(Word_chpxAtCp(1, &chpx, reader), Res_ok);
    ASSERT_NE(chpx, nullptr);
    WordChp chp;
    Word_defaultChp(&chp);
    ASSERT_EQ(Word_applyRunProps(1, &chp, reader), Res_ok);
    EXPECT_EQ(chp.fBold, 1);
    ASSERT_EQ(Word_chpxAtCp(5, &chpx, reader), Res_ok);
    EXPECT_EQ(chpx, nullptr) << "a CHPX past the page is ignored";
    EXPECT_EQ(Word_chpxAtCp(0x18, &chpx, reader), Res_wordNotFound)
        << "a page whose runs overrun it has none";
    EXPECT_EQ(Word_chpxAtCp(0x30, &chpx, reader), Res_wordNotFound);
}

TEST_F(TablesTest, PapxPastItsPageIsIgnored)
{
    // Two paragraph runs: the first PAPX fits (justification 2), the
    // second's cw would carry it past the page's end.
    std::string p = page({0x400, 0x408, 0x410}, {0xF0, 0xFD}, 13, 2);
    p.replace(0x1E0, 7, bytes({3, 0, 0, 0x03, 0x24, 2, 0}));
    p[0x1FA] = char(40);
    put32(p, 4 * 3 + 1 + 8, 12); // the first run's height word
    p[4 * 3 + 1 + 2] = 2;        // over two lines
    Fib97 fib;
    fib.fc(0x400, 0x410).ccp(0, 0x10).cpnBte(0, 1).pair(WordPair_plcfbtePapx, 16, 12);
    std::string doc = placeAt(placeAt(fib.b, 0x600, p), 0x9FF, bytes({0}));
    ASSERT_EQ(openStreams(doc, std::string(16, '\0') + le32(0x400) + le32(0x410) + le32(3)),
              Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    ASSERT_EQ(Word_readBinTables(reader), Res_ok);
    const uint8_t *papx = nullptr;
    uint32_t height = 0;
    ASSERT_EQ(Word_papxAtCp(2, &height, &papx, reader), Res_ok);
    ASSERT_NE(papx, nullptr);
    EXPECT_EQ(height, 24u);
    WordPap pap;
    Word_defaultPap(&pap);
    ASSERT_EQ(Word_applyParaProps(2, &pap, nullptr, reader), Res_ok);
    EXPECT_EQ(pap.jc, 2);
    ASSERT_EQ(Word_papxAtCp(9, &height, &papx, reader), Res_ok);
    EXPECT_EQ(papx, nullptr);
    // The strict test: the end of the last run is no run.
    EXPECT_EQ(Word_papxAtCp(0x10, &height, &papx, reader), Res_wordNotFound);
}

TEST_F(TablesTest, BinTableShorterThanItsPageCount)
{
    // Three consecutive PAPX pages at 0x600, 0x800, 0xA00; the table lists
    // the first only, cpnBte counts three (the stream holds eight pages).
    std::string p1 = page({0x400, 0x408}, {0}, 13, 1);
    std::string p2 = page({0x408, 0x410}, {0}, 13, 1);
    std::string p3 = page({0x410, 0x418, 0x420}, {0, 0}, 13, 2);
    Fib97 fib;
    fib.fc(0x400, 0x420).ccp(0, 0x20).cpnBte(0, 3).pair(WordPair_plcfbtePapx, 16, 12);
    std::string doc = placeAt(placeAt(placeAt(fib.b, 0x600, p1), 0x800, p2), 0xA00, p3);
    doc = placeAt(doc, 0xFFF, bytes({0}));
    std::string table = std::string(16, '\0') + le32(0x400) + le32(0x408) + le32(3);
    ASSERT_EQ(openStreams(doc, table), Res_ok);
    ASSERT_EQ(Word_readPieceTable(reader), Res_ok);
    ASSERT_EQ(Word_readBinTables(reader), Res_ok);
    ASSERT_EQ(reader->papx.count, 3u);
    EXPECT_EQ(reader->papx.fcs[1], 0x408u);
    EXPECT_EQ(reader->papx.fcs[2], 0x410u);
    EXPECT_EQ(reader->papx.fcs[3], 0x420u);
    std::vector<uint32_t> ends;
    for (uint32_t cp = 0, end = 0; cp < 0x20; cp = end) {
        ASSERT_EQ(Word_nextParaEnd(cp, &end, reader), Res_ok);
        ends.push_back(end);
    }
    EXPECT_EQ(ends, (std::vector<uint32_t>{8, 16, 24, 32}));
    uint32_t end = 0;
    EXPECT_EQ(Word_nextParaEnd(0x20, &end, reader), Res_wordSubdocEnd);
    // A page count far beyond the stream sizes nothing beyond its pages.
    fib.cpnBte(0, 0x7FFFFFFF);
    doc.replace(0, 898, fib.b);
    ASSERT_EQ(openStreams(doc, table), Res_ok);
    ASSERT_EQ(Word_readBinTables(reader), Res_ok);
    EXPECT_EQ(reader->papx.count, 3u);
}

// A Word 97 style sheet: the header, then the STDs.
std::string styleSheet(const std::vector<std::string> &stds, uint32_t cstd = 0)
{
    std::string head = le16(cstd ? cstd : uint32_t(stds.size())) + le16(10) + le16(1) + le16(91) +
                       le16(15) + le16(0) + le16(0) + le16(0) + le16(0) + le16(0);
    std::string out = le16(uint32_t(head.size())) + head;
    for (const std::string &s : stds)
        out += le16(uint32_t(s.size())) + s;
    return out;
}

std::string std97(uint32_t sti, uint32_t sgc, uint32_t base, const std::u16string &name,
                  const std::vector<std::string> &upxs)
{
    std::string s =
        le16(sti) + le16(sgc | (base << 4)) + le16(uint32_t(upxs.size())) + le16(0) + le16(0);
    s += le16(uint32_t(name.size()));
    for (char16_t c : name)
        s += le16(c);
    s += le16(0);
    for (const std::string &u : upxs) {
        if (s.size() & 1)
            s += '\0';
        s += le16(uint32_t(u.size())) + u;
    }
    if (s.size() & 1)
        s += '\0';
    return s;
}

int openStyles(TablesTest *t, const std::string &sheet)
{
    Fib97 fib;
    fib.pair(WordPair_stshf, 16, uint32_t(sheet.size()));
    return t->openStreams(fib.b, std::string(16, '\0') + sheet);
}

TEST_F(TablesTest, LongBaseChainUsesNoRecursion)
{
    // Style i is based on i + 1; the last sets bold. Four thousand deep
    // (a base index has twelve bits).
    const uint32_t n = 4000;
    std::vector<std::string> stds;
    stds.push_back(std97(0, 1, 4095, u"Normal", {le16(0), ""}));
    for (uint32_t i = 1; i < n; i++)
        stds.push_back(std97(100, 1, i + 1 < n ? i + 1 : 4095, u"S",
                             {le16(i), i + 1 < n ? std::string() : le16(0x0835) + bytes({1})}));
    ASSERT_EQ(openStyles(this, styleSheet(stds)), Res_ok);
    ASSERT_EQ(Word_readStyleSheet(reader), Res_ok);
    ASSERT_EQ(reader->styleCount, n);
    EXPECT_EQ(reader->styles[1].chp.fBold, 1);
    EXPECT_EQ(reader->styles[1].pap.istd, 1);
    EXPECT_EQ(reader->styles[n / 2].chp.fBold, 1);
}

TEST_F(TablesTest, BaseLoopsEmptySlotsAndLaterBases)
{
    std::vector<std::string> stds = {
        std97(0, 1, 4095, u"Normal", {le16(0), ""}),
        std97(1, 1, 2, u"A", {le16(1) + le16(0x2403) + bytes({1}), ""}),
        std97(2, 1, 1, u"B", {le16(2), le16(0x0835) + bytes({1})}),
        "",
        std97(4, 1, 5, u"Later", {le16(4), ""}),
        std97(5, 1, 0, u"Base", {le16(5) + le16(0x840F) + le16(720), ""}),
        std97(65, 2, 4095, u"Default Paragraph Font", {""}),
        std97(7, 1, 3, u"On empty", {le16(7), ""}),
        std97(8, 1, 4000, u"Past the end", {le16(8), ""}),
    };
    ASSERT_EQ(openStyles(this, styleSheet(stds)), Res_ok);
    ASSERT_EQ(Word_readStyleSheet(reader), Res_ok);
    // A and B name each other: B started from the defaults (A was in
    // progress), then A took B's records.
    EXPECT_EQ(reader->styles[2].pap.jc, 0);
    EXPECT_EQ(reader->styles[2].chp.fBold, 1);
    EXPECT_EQ(reader->styles[1].pap.jc, 1);
    EXPECT_EQ(reader->styles[1].chp.fBold, 1);
    EXPECT_FALSE(reader->styles[3].defined);
    EXPECT_EQ(reader->styles[4].pap.dxaLeft, 720) << "its base comes later in the sheet";
    EXPECT_EQ(reader->styles[7].pap.dxaLeft, 0) << "based on an empty slot";
    EXPECT_TRUE(reader->styles[8].defined) << "a base past the sheet starts from the defaults";
    EXPECT_EQ(reader->istdDefaultFont, 6u);
    EXPECT_EQ(reader->styles[7].chp.istd, 6) << "a paragraph style's character style";
    const uint8_t *std = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(Word_findStd(3, &std, &size, reader), Res_wordEmptyStyle);
    EXPECT_EQ(Word_findStd(9, &std, &size, reader), Res_wordBadIstd);
}

TEST_F(TablesTest, StyleSheetHeaders)
{
    WordStshi h;
    ASSERT_EQ(openStreams(Fib97().b, std::string(16, '\0')), Res_ok);
    std::string shortHead = le16(12) + std::string(12, '\0');
    const uint8_t *b = reinterpret_cast<const uint8_t *>(shortHead.data());
    EXPECT_EQ(Word_readStshi(b, uint32_t(shortHead.size()), &h, reader), Res_wordShortStshi);
    reader->fib.wIdent = 0x1234;
    EXPECT_EQ(Word_readStshi(b, uint32_t(shortHead.size()), &h, reader), Res_wordNotWord);
    reader->fib.wIdent = Word_identWord97;
    std::string big = le16(30) + std::string(20, '\0');
    b = reinterpret_cast<const uint8_t *>(big.data());
    EXPECT_EQ(Word_readStshi(b, uint32_t(big.size()), &h, reader), Res_wordBigStshi);
    // A 14-byte header: the further fonts stay 0; a first font beyond the
    // font table becomes 0.
    std::string w6 =
        le16(14) + le16(3) + le16(8) + std::string(8, '\0') + le16(9) + le16(7) + le16(7);
    b = reinterpret_cast<const uint8_t *>(w6.data());
    reader->fontCount = 5;
    ASSERT_EQ(Word_readStshi(b, uint32_t(w6.size()), &h, reader), Res_ok);
    EXPECT_EQ(h.cstd, 3);
    EXPECT_EQ(h.ftcStandardChp[0], 0);
    EXPECT_EQ(h.ftcStandardChp[1], 0);
    // A huge style count in a small sheet sizes only the slots it holds.
    ASSERT_EQ(openStyles(this, styleSheet({std97(0, 1, 4095, u"Normal", {le16(0), ""})}, 65535)),
              Res_ok);
    ASSERT_EQ(Word_readStyleSheet(reader), Res_ok);
    EXPECT_LE(reader->styleCount, 64u);
    EXPECT_TRUE(reader->styles[0].defined);
}

TEST_F(TablesTest, SectionTables)
{
    // No table: one section over the main text.
    ASSERT_EQ(openStreams(Fib97().ccp(0, 50).b, std::string(16, '\0')), Res_ok);
    ASSERT_EQ(Word_readSections(reader), Res_ok);
    ASSERT_EQ(reader->sectionCount, 1u);
    EXPECT_EQ(reader->sections[0].end, 50u);
    EXPECT_EQ(reader->sections[0].sepx, nullptr);
    uint32_t start = 0, end = 0, flag = 0;
    EXPECT_EQ(Word_sectionAtCp(50, &start, &end, reader), Res_wordNotFound);
    ASSERT_EQ(Word_isSectionMark(49, &flag, reader), Res_ok);
    EXPECT_EQ(flag, 0u);
    // A length that does not fit 16-byte entries.
    Fib97 bad;
    bad.pair(WordPair_plcfsed, 16, 21);
    ASSERT_EQ(openStreams(bad.b, std::string(64, '\0')), Res_ok);
    EXPECT_EQ(Word_readSections(reader), Res_wordBadSections);
    // A SEPX beyond the document stream gives the stream's error.
    Fib97 far;
    far.pair(WordPair_plcfsed, 16, 20);
    std::string table =
        std::string(16, '\0') + le32(0) + le32(10) + le16(0) + le32(900000) + le16(0) + le32(0);
    ASSERT_EQ(openStreams(far.b, table), Res_ok);
    EXPECT_EQ(Word_readSections(reader), Res_oleStreamEnd);
    uint32_t rel = 0;
    EXPECT_EQ(Word_cpInSubdoc(8, 0, &rel, &reader->fib), Res_wordBadSubdoc);
}

TEST_F(TablesTest, HeaderRanges)
{
    // Word 97: a table that ends before the second section's stories.
    std::string hdd;
    for (uint32_t i = 0; i < 14; i++)
        hdd += le32(10 * i);
    Fib97 fib;
    fib.ccp(0, 100).ccp(1, 5).pair(WordPair_plcfhdd, 16, uint32_t(hdd.size()));
    ASSERT_EQ(openStreams(fib.b, std::string(16, '\0') + hdd), Res_ok);
    ASSERT_EQ(Word_readHeaderTable(reader), Res_ok);
    uint32_t start = 0, end = 0;
    ASSERT_EQ(Word_headerRange(0, 1, &start, &end, reader), Res_ok);
    EXPECT_EQ(start, 70u + 105u);
    EXPECT_EQ(end, 80u + 105u);
    ASSERT_EQ(Word_headerRange(1, 1, &start, &end, reader), Res_ok);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
    // Word 6: story flags 0x05 after one separator story: the even header
    // (kind 0) is story 1, the odd header (kind 1) is absent, the even
    // footer (kind 2) is story 2.
    reader->fib.wIdent = Word_identWord6;
    reader->hddStoryCounter = 1;
    reader->sectGrpfIhdt = 0x05;
    ASSERT_EQ(Word_headerRange(0, 0, &start, &end, reader), Res_ok);
    EXPECT_EQ(start, 10u + 105u);
    EXPECT_EQ(end, 20u + 105u);
    ASSERT_EQ(Word_headerRange(0, 1, &start, &end, reader), Res_ok);
    EXPECT_EQ(end, 0u);
    ASSERT_EQ(Word_headerRange(0, 2, &start, &end, reader), Res_ok);
    EXPECT_EQ(start, 20u + 105u);
    // The last entry of the table: an empty range without the offset.
    reader->hddStoryCounter = 13;
    reader->sectGrpfIhdt = 0x01;
    ASSERT_EQ(Word_headerRange(0, 0, &start, &end, reader), Res_ok);
    EXPECT_EQ(start, 130u);
    EXPECT_EQ(end, 130u);
    reader->fib.wIdent = 0x1234;
    EXPECT_EQ(Word_headerRange(0, 0, &start, &end, reader), Res_wordNotWord);
}

TEST_F(TablesTest, BookmarkTablesThatDoNotAgree)
{
    std::string sttb = le16(0xFFFF) + le16(3) + le16(0);
    for (const char16_t *n : {u"a", u"bb", u"ccc"}) {
        std::u16string s(n);
        sttb += le16(uint32_t(s.size()));
        for (char16_t c : s)
            sttb += le16(c);
    }
    auto plc = [](std::vector<uint32_t> cps, std::string data) {
        std::string s;
        for (uint32_t c : cps)
            s += le32(c);
        return s + data;
    };
    struct {
        std::string bkf, bkl;
        uint32_t count;
    } cases[] = {
        {plc({1, 2, 3, 9}, le32(0) + le32(1) + le32(2)), plc({5, 6, 7, 9}, ""), 3},
        {plc({1, 2, 3, 9}, le32(0) + le32(1) + le32(2)).substr(0, 27), plc({5, 6, 7, 9}, ""), 0},
        {plc({1, 2, 3, 9}, le32(0) + le32(1) + le32(2)), plc({5, 6, 7}, ""), 0},
        {plc({1, 2, 3, 9}, le32(0) + le32(9) + le32(2)), plc({5, 6, 7, 9}, ""), 0},
    };
    for (const auto &c : cases) {
        std::string table = std::string(16, '\0') + sttb;
        Fib97 fib;
        fib.pair(WordPair_sttbfbkmk, 16, uint32_t(sttb.size()));
        fib.pair(WordPair_plcfbkf, uint32_t(table.size()), uint32_t(c.bkf.size()));
        table += c.bkf;
        fib.pair(WordPair_plcfbkl, uint32_t(table.size()), uint32_t(c.bkl.size()));
        table += c.bkl;
        ASSERT_EQ(openStreams(fib.b, table), Res_ok);
        ASSERT_EQ(Word_readBookmarks(reader), Res_ok);
        EXPECT_EQ(reader->bookmarks ? reader->bookmarks->count : 0u, c.count);
    }
}

TEST_F(TablesTest, OutOfMemoryWhileLoadingFailsCleanly)
{
    std::string file = wordFixture("pieces.doc");
    for (int n = 1; n < 400; n++) {
        ASSERT_EQ(openDoc(file), Res_ok);
        Mem_failAfter(n);
        int err = loadTables(reader);
        Mem_failAfter(0);
        closeDoc();
        if (err == Res_ok)
            return;
        ASSERT_EQ(err, Res_noMemory) << n;
    }
    FAIL() << "never succeeded";
}

} // namespace
