// The property-modifier interpreter on hand-made lists: list kinds and
// lengths, variable sizes, Word 6/95 opcodes, toggles, tabs, style
// permutation, tables of more cells than the record holds, borders and
// the operand checks.
#include "tests/word/word_support.h"

namespace {

class SprmTest : public WordTest {
  protected:
    void SetUp() override
    {
        WordTest::SetUp();
        ASSERT_EQ(Word_readerNew(&reader), Res_ok);
        reader->ctx = ctx;
        reader->fib.wIdent = Word_identWord97;
        Word_defaultPap(&pap);
        Word_defaultChp(&chp);
        Word_defaultSep(&sep);
        Word_clearTap(&tap);
        memset(&pic, 0, sizeof pic);
    }
    // Styles 0 (normal, paragraph) to n - 1, all defined with defaults.
    void makeStyles(uint32_t n)
    {
        reader->styles = static_cast<WordStyleEntry *>(Mem_calloc(n, sizeof(WordStyleEntry)));
        ASSERT_NE(reader->styles, nullptr);
        reader->styleCount = n;
        for (uint32_t i = 0; i < n; i++) {
            reader->styles[i].defined = 1;
            reader->styles[i].sgc = 1;
            Word_defaultPap(&reader->styles[i].pap);
            Word_defaultChp(&reader->styles[i].chp);
            reader->styles[i].pap.istd = uint16_t(i);
        }
        reader->istdDefaultFont = n; // none
    }
    // A list applied as kind 3 (paragraph) or 8 (character) or 11 (section).
    int apply(uint32_t kind, const std::string &list)
    {
        std::string data = le16(uint32_t(list.size())) + list;
        return Word_applyGrpprl(&sep, &pap, &chp, &tap, &pic, kind,
                                reinterpret_cast<const uint8_t *>(data.data()), reader);
    }
    WordPap pap;
    WordChp chp;
    WordSep sep;
    WordTap tap;
    WordPic pic;
};

std::string op(uint32_t opcode)
{
    return le16(opcode);
}

TEST_F(SprmTest, KindsAndIdent)
{
    uint8_t data[4] = {2, 0, 0x03, 0x24};
    for (uint32_t kind : {0u, 4u, 5u, 9u, 10u, 13u})
        EXPECT_EQ(Word_applyGrpprl(&sep, &pap, &chp, &tap, &pic, kind, data, reader),
                  Res_wordBadGrpprlKind)
            << kind;
    EXPECT_EQ(Word_applyGrpprl(nullptr, nullptr, nullptr, nullptr, nullptr, 3, data, reader),
              Res_ok);
    EXPECT_EQ(Word_applyGrpprl(&sep, &pap, &chp, &tap, &pic, 3, nullptr, reader), Res_ok);
    reader->fib.wIdent = 0x1234;
    EXPECT_EQ(apply(3, op(0x2403) + bytes({1})), Res_wordBadIdent);
}

TEST_F(SprmTest, StoredLengthForms)
{
    // Kind 1: the length counts the style index before the list.
    std::string k1 = le16(5) + le16(7) + op(0x2403) + bytes({2});
    ASSERT_EQ(Word_applyGrpprl(nullptr, &pap, nullptr, nullptr, nullptr, 1,
                               reinterpret_cast<const uint8_t *>(k1.data()), reader),
              Res_ok);
    EXPECT_EQ(pap.jc, 2);
    // Kind 2: a zero cw byte in Word 97 is followed by the real one; the
    // style's paragraph record is copied first.
    makeStyles(3);
    reader->styles[2].pap.fKeep = 1;
    std::string k2 = bytes({0, 3}) + le16(2) + op(0x2406) + bytes({1, 0});
    ASSERT_EQ(Word_applyGrpprl(nullptr, &pap, nullptr, nullptr, nullptr, 2,
                               reinterpret_cast<const uint8_t *>(k2.data()), reader),
              Res_ok);
    EXPECT_EQ(pap.istd, 2);
    EXPECT_EQ(pap.fKeep, 1);
    EXPECT_EQ(pap.fKeepFollow, 1);
    // Kind 7: a byte length.
    std::string k7 = bytes({3}) + op(0x0835) + bytes({1});
    ASSERT_EQ(Word_applyGrpprl(nullptr, nullptr, &chp, nullptr, nullptr, 7,
                               reinterpret_cast<const uint8_t *>(k7.data()), reader),
              Res_ok);
    EXPECT_EQ(chp.fBold, 1);
}

TEST_F(SprmTest, EmptyAndTruncatedLists)
{
    // Two bytes whose first is 0: nothing.
    ASSERT_EQ(apply(3, bytes({0, 0x24})), Res_ok);
    // A list cut inside an operand keeps what came before.
    ASSERT_EQ(apply(3, op(0x2403) + bytes({1}) + op(0x840F) + bytes({5})), Res_ok);
    EXPECT_EQ(pap.jc, 1);
    EXPECT_EQ(pap.dxaLeft, 0);
    // A modifier of another group is skipped: paragraph lists leave the
    // character record alone, and the reverse.
    ASSERT_EQ(apply(3, op(0x0835) + bytes({1}) + op(0x2405) + bytes({1})), Res_ok);
    EXPECT_EQ(chp.fBold, 0);
    EXPECT_EQ(pap.fKeep, 1);
    ASSERT_EQ(apply(8, op(0x2404) + bytes({1}) + op(0x0836) + bytes({1})), Res_ok);
    EXPECT_EQ(pap.fSideBySide, 0);
    EXPECT_EQ(chp.fItalic, 1);
    // An invalid group (sgc 0) ends the list.
    ASSERT_EQ(apply(8, op(0x0035) + bytes({1}) + op(0x0837) + bytes({1})), Res_ok);
    EXPECT_EQ(chp.fStrike, 0);
}

TEST_F(SprmTest, IndentsInBothForms)
{
    // The older opcode and the newer one set the same field, signed twips;
    // the later of the two in a list wins.
    struct Case {
        uint32_t opcode;
        int32_t WordPap::*field;
    };
    const Case cases[] = {
        {0x840E, &WordPap::dxaRight}, {0x845D, &WordPap::dxaRight}, {0x840F, &WordPap::dxaLeft},
        {0x845E, &WordPap::dxaLeft},  {0x8411, &WordPap::dxaLeft1}, {0x8460, &WordPap::dxaLeft1},
    };
    for (const Case &c : cases) {
        Word_defaultPap(&pap);
        ASSERT_EQ(apply(3, op(c.opcode) + le16(0xFE98)), Res_ok) << std::hex << c.opcode;
        EXPECT_EQ(pap.*c.field, -360) << std::hex << c.opcode;
    }
    Word_defaultPap(&pap);
    ASSERT_EQ(
        apply(3, op(0x840F) + le16(720) + op(0x845E) + le16(1440) + op(0x8460) + le16(0xFD30)),
        Res_ok);
    EXPECT_EQ(pap.dxaLeft, 1440);
    EXPECT_EQ(pap.dxaLeft1, -720);
    // A cut operand of the newer form leaves the indent alone.
    Word_defaultPap(&pap);
    ASSERT_EQ(apply(3, op(0x845E) + bytes({5})), Res_ok);
    EXPECT_EQ(pap.dxaLeft, 0);
}

TEST_F(SprmTest, PlainTakesNoOperand)
{
    makeStyles(1);
    reader->styles[0].chp.hps = 30;
    chp.istdPara = 0;
    chp.fSpec = 1;
    chp.hps = 50;
    // The next opcode starts right after sprmCPlain.
    ASSERT_EQ(apply(8, op(0x2A33) + op(0x0835) + bytes({1})), Res_ok);
    EXPECT_EQ(chp.hps, 30);
    EXPECT_EQ(chp.fBold, 1);
    EXPECT_EQ(chp.fSpec, 1) << "the special-character flag stays";
    // A list may end with it.
    chp.hps = 50;
    ASSERT_EQ(apply(8, op(0x2A33)), Res_ok);
    EXPECT_EQ(chp.hps, 30);
}

TEST_F(SprmTest, TogglesRelativeToTheStyle)
{
    makeStyles(1);
    reader->styles[0].chp.fBold = 1;
    chp.istdPara = 0;
    struct {
        uint8_t operand, want;
    } cases[] = {{0x81, 0}, {0x80, 1}, {0x01, 1}, {0x00, 0}};
    for (const auto &c : cases) {
        chp.fBold = 7;
        ASSERT_EQ(apply(8, op(0x0835) + bytes({c.operand})), Res_ok);
        EXPECT_EQ(chp.fBold, c.want) << int(c.operand);
    }
    // A style that is not bold: 0x81 turns bold on.
    reader->styles[0].chp.fBold = 0;
    ASSERT_EQ(apply(8, op(0x0835) + bytes({0x81})), Res_ok);
    EXPECT_EQ(chp.fBold, 1);
}

TEST_F(SprmTest, ExtendedTabSizeAndTolerance)
{
    for (int16_t p : {700, 710, 720, 730, 740}) {
        pap.tabs[pap.itbdMac] = WordTab{p, 0, 0};
        pap.itbdMac++;
    }
    // 0xC615 with size byte 255: one deletion at 720 with tolerance 10 and
    // one addition at 1440 (centre, dots); then sprmPJc.
    std::string list = op(0xC615) + bytes({255, 1}) + le16(720) + le16(10) + bytes({1}) +
                       le16(1440) + bytes({1 | (1 << 3)}) + op(0x2403) + bytes({2});
    ASSERT_EQ(apply(3, list), Res_ok);
    ASSERT_EQ(pap.itbdMac, 3);
    EXPECT_EQ(pap.tabs[0].position, 700);
    EXPECT_EQ(pap.tabs[1].position, 740);
    EXPECT_EQ(pap.tabs[2].position, 1440);
    EXPECT_EQ(pap.tabs[2].jc, 1);
    EXPECT_EQ(pap.tabs[2].leader, 1);
    EXPECT_EQ(pap.jc, 2) << "the walk went on after the extended operand";
}

TEST_F(SprmTest, TabsAtMostSixtyFour)
{
    for (int k = 0; k < 64; k++) {
        std::string list =
            op(0xC60D) + bytes({5, 0, 1}) + le16(uint32_t(100 + 10 * k)) + bytes({0});
        ASSERT_EQ(apply(3, list), Res_ok);
    }
    ASSERT_EQ(pap.itbdMac, 64);
    // The 65th is not added; one at an existing position changes it only.
    ASSERT_EQ(apply(3, op(0xC60D) + bytes({5, 0, 1}) + le16(50) + bytes({2})), Res_ok);
    EXPECT_EQ(pap.itbdMac, 64);
    EXPECT_EQ(pap.tabs[0].position, 100);
    ASSERT_EQ(apply(3, op(0xC60D) + bytes({5, 0, 1}) + le16(110) + bytes({3 | (2 << 3)})), Res_ok);
    EXPECT_EQ(pap.itbdMac, 64);
    EXPECT_EQ(pap.tabs[1].jc, 3);
    EXPECT_EQ(pap.tabs[1].leader, 2);
    // Alignment and leader above 4 become 0.
    ASSERT_EQ(apply(3, op(0xC60D) + bytes({5, 0, 1}) + le16(120) + bytes({7 | (6 << 3)})), Res_ok);
    EXPECT_EQ(pap.tabs[2].jc, 0);
    EXPECT_EQ(pap.tabs[2].leader, 0);
}

TEST_F(SprmTest, TableOfMoreCellsThanTheRecordHolds)
{
    // sprmTDefTable: two-byte size minus one, 255 cells.
    std::string operand = bytes({255});
    for (int i = 0; i <= 255; i++)
        operand += le16(uint32_t(100 * i));
    for (int i = 0; i < 255; i++)
        operand += le16(1) + le16(0) + le32(0x00010208u) + le32(0) + le32(0) + le32(0);
    std::string list =
        op(0xD608) + le16(uint32_t(operand.size() + 1)) + operand + op(0x5400) + le16(2);
    ASSERT_EQ(apply(3, list), Res_ok);
    EXPECT_EQ(tap.itcMac, 64);
    EXPECT_EQ(tap.rgdxaCenter[64], 6400);
    EXPECT_EQ(tap.rgtc[63].flags, 1);
    EXPECT_EQ(tap.rgtc[63].brc[0].style, 2);
    EXPECT_EQ(tap.jc, 2) << "the walk went on after the table";
    // The shading lists stop at 64 cells too.
    std::string shd80;
    for (int i = 0; i < 100; i++)
        shd80 += le16(uint32_t(i & 0x1F));
    ASSERT_EQ(apply(3, op(0xD609) + bytes({200}) + shd80), Res_ok);
    EXPECT_EQ(tap.rgshd[63].fore, 63 & 0x1F);
    std::string shd(10 * 70, '\x11');
    ASSERT_EQ(apply(3, op(0xD612) + bytes({0xFF}) + shd.substr(0, 255)), Res_ok);
    EXPECT_EQ(tap.fNewShd, 1);
    EXPECT_EQ(tap.rgshdNew[24].foreRgb[0], 0x11);
}

TEST_F(SprmTest, TableBoundariesMove)
{
    tap.itcMac = 2;
    tap.rgdxaCenter[0] = -108;
    tap.rgdxaCenter[1] = 2000;
    tap.rgdxaCenter[2] = 4000;
    tap.dxaGapHalf = 108;
    // sprmTDxaGapHalf moves only the first boundary.
    ASSERT_EQ(apply(3, op(0x9602) + le16(50)), Res_ok);
    EXPECT_EQ(tap.rgdxaCenter[0], -50);
    EXPECT_EQ(tap.rgdxaCenter[1], 2000);
    // sprmTDxaLeft moves all three by operand - (first + gap).
    ASSERT_EQ(apply(3, op(0x9601) + le16(100)), Res_ok);
    EXPECT_EQ(tap.rgdxaCenter[0], 50);
    EXPECT_EQ(tap.rgdxaCenter[1], 2100);
    EXPECT_EQ(tap.rgdxaCenter[2], 4100);
}

TEST_F(SprmTest, WordSixOpcodes)
{
    reader->fib.wIdent = Word_identWord6;
    EXPECT_EQ(Word_sprm6To97(5), 0x2403);
    EXPECT_EQ(Word_sprm6To97(52), 0xFFFF);
    // An opcode without a counterpart ends the list; what came before stays.
    ASSERT_EQ(apply(3, bytes({5, 1, 52, 0, 5, 2})), Res_ok);
    EXPECT_EQ(pap.jc, 1);
    // The Word 6 symbol: three bytes, character 0xF000 + byte 2.
    ASSERT_EQ(apply(8, bytes({74, 3, 2, 0, 0x41})), Res_ok);
    EXPECT_EQ(chp.fSpec, 1);
    EXPECT_EQ(chp.ftcSym, 2);
    EXPECT_EQ(chp.xchSym, 0xF041);
    // 0xD620 takes five bytes without a size byte in a Word 6 file.
    ASSERT_EQ(apply(3, bytes({193, 1, 2, 3, 4, 5, 5, 2})), Res_ok);
    EXPECT_EQ(pap.jc, 2);
}

TEST_F(SprmTest, OperandSizesTable)
{
    uint8_t p[8] = {3, 0, 0, 0, 0, 0, 0, 0};
    uint32_t size = 0, sizeBytes = 0;
    struct {
        uint16_t opcode;
        bool word97;
        uint32_t size, sizeBytes;
    } cases[] = {
        {0x2403, true, 1, 0}, {0x4600, true, 2, 0},  {0x6412, true, 4, 0},  {0xEA08, true, 3, 0},
        {0x840F, true, 2, 0}, {0xA413, true, 2, 0},  {0xC63E, true, 3, 1},  {0xD605, true, 24, 1},
        {0xD608, true, 2, 2}, {0xD66F, true, 12, 0}, {0xD620, false, 5, 0}, {0xD620, true, 3, 1},
        {0x2A33, true, 0, 0},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(Word_sprmOperandSize(c.opcode, c.word97, p, sizeof p, &size, &sizeBytes))
            << c.opcode;
        EXPECT_EQ(size, c.size) << std::hex << c.opcode;
        EXPECT_EQ(sizeBytes, c.sizeBytes) << std::hex << c.opcode;
    }
    EXPECT_EQ(Word_prmSprm(85), 0x0835);
    EXPECT_EQ(Word_prmSprm(56), 0x2436);
    EXPECT_EQ(Word_prmSprm(3), 0);
}

TEST_F(SprmTest, OutlineLevelOnlyForStylesOneToNine)
{
    struct {
        uint16_t istd;
        uint8_t want;
    } cases[] = {{0, 9}, {1, 3}, {9, 3}, {10, 9}};
    for (const auto &c : cases) {
        Word_defaultPap(&pap);
        pap.istd = c.istd;
        ASSERT_EQ(apply(3, op(0x2640) + bytes({3})), Res_ok);
        EXPECT_EQ(pap.lvl, c.want) << c.istd;
    }
}

TEST_F(SprmTest, StylePermutation)
{
    makeStyles(6);
    reader->styles[5].pap.jc = 3;
    // istdFirst 2, istdLast 3: 2 -> 5, 3 -> 4.
    std::string list = op(0xC601) + bytes({10, 0, 0}) + le16(2) + le16(3) + le16(5) + le16(4);
    struct {
        uint16_t istd, want;
    } cases[] = {{2, 5}, {3, 4}, {1, 1}, {4, 4}};
    for (const auto &c : cases) {
        Word_defaultPap(&pap);
        pap.istd = c.istd;
        ASSERT_EQ(apply(3, list), Res_ok);
        EXPECT_EQ(pap.istd, c.want) << c.istd;
    }
    EXPECT_EQ(pap.jc, 0);
    pap.istd = 2;
    ASSERT_EQ(apply(3, list), Res_ok);
    EXPECT_EQ(pap.jc, 3);
    // A map shorter than its range: 3875.
    pap.istd = 3;
    EXPECT_EQ(apply(3, op(0xC601) + bytes({8, 0, 0}) + le16(2) + le16(3) + le16(5)),
              Res_wordShortOperand);
}

TEST_F(SprmTest, BordersDecoded)
{
    const uint8_t none[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t *p = none;
    WordBorder b;
    Word_readBrc80(&p, &b);
    EXPECT_EQ(b.style, -1);
    EXPECT_EQ(p, none + 4);
    p = none;
    Word_readBrc10(&p, &b);
    EXPECT_EQ(b.style, -1);
    // BRC80: width 12 eighths of a point, style 30 (becomes 1), colour 20
    // (becomes 0), space 3 points.
    const uint8_t brc80[4] = {12, 30, 20, 3};
    p = brc80;
    Word_readBrc80(&p, &b);
    EXPECT_EQ(b.width, (12 * 65536 / 72) / 8);
    EXPECT_EQ(b.style, 1);
    EXPECT_EQ(b.colour, 0);
    EXPECT_EQ(b.space, 3 * 65536 / 72);
    // BRC10: the sum of the widths picks the style.
    struct {
        uint16_t value;
        int8_t style;
        int32_t width;
    } cases[] = {
        {uint16_t(2 << 6), 2, 2 * 65536 / 72},                  // one line of 2
        {uint16_t((2 << 6) | (1 << 3) | 1), 2, 2 * 65536 / 72}, // sum 4
        {uint16_t((2 << 6) | (2 << 3) | 2), 6, 65536 / 72},     // sum 6
        {uint16_t((3 << 6) | (2 << 3) | 2), 5, 5 * 65536 / 72}, // sum 7
        {uint16_t((1 << 6) | (2 << 3) | 2), 0, 65536 / 72},     // sum 5
    };
    for (const auto &c : cases) {
        uint8_t raw[2] = {uint8_t(c.value), uint8_t(c.value >> 8)};
        p = raw;
        Word_readBrc10(&p, &b);
        EXPECT_EQ(b.style, c.style) << c.value;
        EXPECT_EQ(b.width, c.width) << c.value;
    }
}

TEST_F(SprmTest, PictureBorderStyles)
{
    ASSERT_EQ(apply(8, op(0x2E00) + bytes({2})), Res_ok);
    EXPECT_EQ(pic.brc[3].style, 3);
    EXPECT_EQ(pic.brc[0].width, 2730);
    EXPECT_EQ(apply(8, op(0x2E00) + bytes({4}) + op(0x0835) + bytes({1})), Res_wordBadPicBorder);
    EXPECT_EQ(chp.fBold, 0);
}

TEST_F(SprmTest, ShortOperandsAndColumns)
{
    // sprmPAnld shorter than the Word 97 descriptor.
    EXPECT_EQ(apply(3, op(0xC63E) + bytes({10}) + std::string(10, '\0')), Res_wordShortOperand);
    // Columns: a number past the section's table is ignored.
    ASSERT_EQ(apply(11, op(0xF203) + bytes({2}) + le16(3000) + op(0xF203) + bytes({100}) + le16(1)),
              Res_ok);
    EXPECT_EQ(sep.colWidth[2], 3000);
    ASSERT_EQ(apply(11, op(0xF204) + bytes({0x7F}) + le16(5) + op(0x3009) + bytes({1})), Res_ok);
    EXPECT_EQ(sep.bkc, 1);
    // Section modifiers are not applied by a paragraph list.
    ASSERT_EQ(apply(3, op(0x3009) + bytes({3})), Res_ok);
    EXPECT_EQ(sep.bkc, 1);
}

TEST_F(SprmTest, MajorityFallsBackToTheStyle)
{
    makeStyles(1);
    reader->styles[0].chp.hps = 24;
    chp.istdPara = 0;
    chp.fBold = 1;
    chp.hps = 20;
    chp.fItalic = 1;
    // The operand sets bold on the scratch record: the run's bold equals it
    // and falls back to the style; its size equals the scratch default 20.
    ASSERT_EQ(apply(8, op(0xCA47) + bytes({3}) + op(0x0835) + bytes({1})), Res_ok);
    EXPECT_EQ(chp.fBold, 0);
    EXPECT_EQ(chp.hps, 24);
    EXPECT_EQ(chp.fItalic, 1);
}

TEST_F(SprmTest, HugeParagraphExceptionFromDataStream)
{
    // The Data stream: a list that sets the justification and names itself
    // again; the nesting stops and the list is applied.
    std::string list = op(0x2403) + bytes({2}) + op(0x6646) + le32(0);
    std::string data = le16(uint32_t(list.size())) + list;
    ASSERT_EQ(openStreams(Fib97().b, std::string(16, '\0'), data), Res_ok);
    ASSERT_NE(reader->dataStream, nullptr);
    Word_defaultPap(&pap);
    ASSERT_EQ(apply(3, op(0x6646) + le32(0)), Res_ok);
    EXPECT_EQ(pap.jc, 2);
    // An offset beyond the stream gives the stream's error.
    EXPECT_EQ(apply(3, op(0x6646) + le32(5000)), Res_oleSeekBeyond);
}

} // namespace
