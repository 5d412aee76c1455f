// Word lists and tables: the list and override tables read from hand-made
// table streams (each by its own length, in either order), the counters
// with their restarts, number texts with formats, legal numbering and
// symbol bullets, the fixed lists of Word 6/95 files, and the table
// builder's row kinds, cell borders, shading and column spans; then the
// LibreOffice fixtures loaded into the tree.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/api/request.h"
#include "tests/document/edr_fixture.h"
#include "tests/word/word_support.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"

namespace {

// ------------------------------------------------------- hand-made lists

// One LVLF with its modifiers and number text, as stored.
std::string lvlf(int32_t start, uint8_t nfc, uint8_t flags, std::vector<uint8_t> nums,
                 uint8_t follow, const std::u16string &text,
                 const std::string &chpx = std::string(), const std::string &papx = std::string())
{
    std::string b = le32(uint32_t(start)) + char(nfc) + char(flags);
    nums.resize(9, 0);
    for (uint8_t n : nums)
        b += char(n);
    b += char(follow);
    b += le32(360) + le32(0);
    b += char(chpx.size());
    b += char(papx.size());
    b += le16(0);
    b += papx + chpx + le16(uint32_t(text.size()));
    for (char16_t c : text)
        b += le16(c);
    return b;
}

// A PlfLst of simple lists (one level each) followed by their levels.
std::string plfLst(const std::vector<uint32_t> &lsids, std::string *levels,
                   const std::vector<std::string> &lvls)
{
    std::string b = le16(uint32_t(lsids.size()));
    for (uint32_t lsid : lsids) {
        b += le32(lsid) + le32(0);
        for (int k = 0; k < 9; k++)
            b += le16(Word_noStyle);
        b += bytes({1, 0});
    }
    *levels = "";
    for (const std::string &l : lvls)
        *levels += l;
    return b;
}

// A PlfLfo: one LFO per lsid, each with the overrides given.
struct Override {
    int32_t start;
    uint8_t flags; // ilvl, fStartAt (0x10), fFormatting (0x20)
    std::string level;
};

std::string plfLfo(const std::vector<uint32_t> &lsids,
                   const std::vector<std::vector<Override>> &overrides)
{
    std::string b = le32(uint32_t(lsids.size()));
    for (size_t i = 0; i < lsids.size(); i++)
        b += le32(lsids[i]) + std::string(8, '\0') + char(overrides[i].size()) +
             std::string(3, '\0');
    for (size_t i = 0; i < lsids.size(); i++) {
        if (overrides[i].empty())
            continue;
        b += le32(0);
        for (const Override &o : overrides[i])
            b += le32(uint32_t(o.start)) + char(o.flags) + std::string(3, '\0') + o.level;
    }
    return b;
}

std::u16string num(std::initializer_list<char16_t> cs)
{
    return std::u16string(cs);
}

class ListTableTest : public WordTest {
  public:
    // A Word 97 file whose table stream holds the list table at lstAt and
    // the override table at lfoAt (either may come first).
    int withLists(const std::string &lst, const std::string &levels, uint32_t lstAt,
                  const std::string &lfo, uint32_t lfoAt, uint32_t lstLength = 0xFFFFFFFF)
    {
        std::string table(4096, '\0');
        table.replace(lstAt, lst.size() + levels.size(), lst + levels);
        table.replace(lfoAt, lfo.size(), lfo);
        Fib97 fib;
        fib.pair(WordPair_plfLst, lstAt, lstLength == 0xFFFFFFFF ? uint32_t(lst.size()) : lstLength)
            .pair(WordPair_plfLfo, lfoAt, uint32_t(lfo.size()))
            .ccp(0, 20);
        return openStreams(placeAt(fib.b, 4095, bytes({0})), table);
    }

    // The number text of a paragraph at (ilfo, ilvl), as UTF-8-ish ASCII.
    std::string number(uint32_t ilfo, uint32_t ilvl, int *err = nullptr)
    {
        WordPap pap;
        Word_defaultPap(&pap);
        pap.ilfo = uint16_t(ilfo);
        pap.ilvl = uint8_t(ilvl);
        char16_t *text = nullptr;
        uint32_t n = 0;
        WordChp chp;
        int e = Word_listNumberText(&pap, &text, &n, &chp, reader);
        if (err)
            *err = e;
        std::string out;
        for (uint32_t i = 0; i < n; i++)
            out += text[i] == 9 ? '|' : text[i] < 0x80 ? char(text[i]) : '?';
        Mem_free(text);
        return out;
    }
};

TEST_F(ListTableTest, CountersRestartBelowAndKeepWithNoRestart)
{
    // List 1: levels "%0." decimal and "%1)" lower letter (nine levels,
    // the rest empty); list 2 the same with fNoRestart on level 1.
    auto nine = [](uint8_t flags1) {
        std::string l =
            lvlf(1, 0, 0, {1}, 0, num({0, u'.'})) + lvlf(1, 4, flags1, {1}, 0, num({1, u')'}));
        for (int k = 2; k < 9; k++)
            l += lvlf(1, 0, 0, {}, 2, u"");
        return l;
    };
    std::string lst = le16(2);
    for (uint32_t lsid : {11u, 22u}) {
        lst += le32(lsid) + le32(0);
        for (int k = 0; k < 9; k++)
            lst += le16(Word_noStyle);
        lst += bytes({0, 0});
    }
    std::string levels = nine(0) + nine(WordLevel_noRestart);
    ASSERT_EQ(withLists(lst, levels, 100, plfLfo({11, 22}, {{}, {}}), 3000), Res_ok);
    ASSERT_EQ(Word_readLists(reader), Res_ok);
    ASSERT_EQ(reader->listCount, 2u);
    ASSERT_EQ(reader->lfoCount, 2u);
    std::vector<std::string> got;
    for (auto [lfo, lvl] :
         std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 1}, {1, 0}, {1, 1}, {1, 0}})
        got.push_back(number(uint32_t(lfo), uint32_t(lvl)));
    EXPECT_EQ(got, (std::vector<std::string>{"1.|", "a)|", "b)|", "2.|", "a)|", "3.|"}));
    got.clear();
    for (auto [lfo, lvl] : std::vector<std::pair<int, int>>{{2, 0}, {2, 1}, {2, 0}, {2, 1}})
        got.push_back(number(uint32_t(lfo), uint32_t(lvl)));
    EXPECT_EQ(got, (std::vector<std::string>{"1.|", "a)|", "2.|", "b)|"}));
    // No list number: ilfo 0, ilvl 255, an LFO beyond the table.
    EXPECT_EQ(number(0, 0), "");
    EXPECT_EQ(number(1, 255), "");
    EXPECT_EQ(number(9, 0), "");
}

TEST_F(ListTableTest, OverridesLegalNumberingAndMissingLists)
{
    // lsid 5: level 0 upper roman "%0.", simple. lsid 6: nine levels, level
    // 1 legal "%0.%1." over an upper-roman level 0.
    std::string lst = le16(2);
    lst += le32(5) + le32(0);
    for (int k = 0; k < 9; k++)
        lst += le16(Word_noStyle);
    lst += bytes({1, 0});
    lst += le32(6) + le32(0);
    for (int k = 0; k < 9; k++)
        lst += le16(Word_noStyle);
    lst += bytes({0, 0});
    std::string levels = lvlf(1, 1, 0, {1}, 1, num({0, u'.'}));
    levels += lvlf(1, 1, 0, {1}, 0, num({0, u'.'}));
    levels += lvlf(1, 1, WordLevel_legal, {1, 3}, 0, num({0, u'.', 1, u'.'}));
    for (int k = 2; k < 9; k++)
        levels += lvlf(1, 0, 0, {}, 2, u"");
    // LFO 1: lsid 5 restarted at 5; LFO 2: lsid 5 with a formatting
    // override (lower letter); LFO 3: lsid 6; LFO 4: lsid 77 (no list).
    std::vector<std::vector<Override>> ov = {
        {{5, 0x10, ""}}, {{1, 0x30, lvlf(1, 4, 0, {1}, 2, num({0, u')'}))}}, {}, {}};
    ASSERT_EQ(withLists(lst, levels, 200, plfLfo({5, 5, 6, 77}, ov), 2000), Res_ok);
    ASSERT_EQ(Word_readLists(reader), Res_ok);
    EXPECT_EQ(number(1, 0), "V. ");
    EXPECT_EQ(number(1, 0), "VI. ");
    EXPECT_EQ(number(2, 0), "a)");
    // Legal: both counters decimal although level 0 is upper roman.
    EXPECT_EQ(number(3, 0), "I.|");
    EXPECT_EQ(number(3, 1), "1.1.|");
    EXPECT_EQ(number(3, 1), "1.2.|");
    EXPECT_EQ(number(3, 0), "II.|");
    EXPECT_EQ(number(3, 1), "2.1.|");
    // An lsid no list has: a new empty list, no number text.
    uint32_t before = reader->listCount;
    EXPECT_EQ(number(4, 0), "");
    EXPECT_EQ(reader->listCount, before + 1);
    uint32_t index = 0;
    EXPECT_EQ(Word_findList(77, &index, reader), Res_ok);
    EXPECT_EQ(Word_findList(78, &index, reader), Res_wordNoList);
    EXPECT_EQ(Word_listLevelReset(reader->listCount, 0, reader), Res_wordBadListIndex);
}

TEST_F(ListTableTest, TablesAreReadByTheirOwnLengths)
{
    std::string levels;
    std::string lst = plfLst({9}, &levels, {lvlf(3, 0, 0, {1}, 2, num({0, u'.'}))});
    std::string lfo = plfLfo({9}, {{}});
    // The override table before the list table: each is read by its own
    // length, so the lists do not depend on the order.
    for (auto [lstAt, lfoAt] :
         std::vector<std::pair<uint32_t, uint32_t>>{{100, 2000}, {2000, 100}}) {
        SCOPED_TRACE(lstAt);
        ASSERT_EQ(withLists(lst, levels, lstAt, lfo, lfoAt), Res_ok);
        ASSERT_EQ(Word_readLists(reader), Res_ok);
        ASSERT_EQ(reader->listCount, 1u);
        ASSERT_NE(reader->lists[0].levels[0], nullptr);
        EXPECT_EQ(number(1, 0), "3.");
    }
    // A list table shorter than its count needs; one outside the stream.
    ASSERT_EQ(withLists(lst, levels, 100, lfo, 2000, 20), Res_ok);
    EXPECT_EQ(Word_readListTable(reader), Res_wordShortLists);
    ASSERT_EQ(withLists(lst, levels, 100, lfo, 2000, 5000), Res_ok);
    EXPECT_EQ(Word_readListTable(reader), Res_wordShortLists);
    // A number text running past the table stream.
    std::string cut = lvlf(1, 0, 0, {1}, 2, num({0, u'.'}));
    put16(cut, 28, 60000);
    lst = plfLst({9}, &levels, {cut});
    ASSERT_EQ(withLists(lst, levels, 4000, lfo, 100), Res_ok);
    EXPECT_EQ(Word_readListTable(reader), Res_noMemory);
}

TEST_F(ListTableTest, DamagedOverrideTables)
{
    std::string levels;
    std::string lst = plfLst({9}, &levels, {lvlf(1, 0, 0, {1}, 2, num({0, u'.'}))});
    struct Case {
        const char *what;
        std::string lfo;
    } cases[] = {
        {"clfolvl above 9", plfLfo({9}, {std::vector<Override>(10, Override{1, 0, ""})})},
        {"count beyond the table", le32(5) + std::string(16, '\0')},
        {"override level cut off", plfLfo({9}, {{{0, 0x20, std::string(10, '\0')}}})},
        {"overrides cut off", plfLfo({9}, {{{1, 0x10, ""}, {1, 0x11, ""}}}).substr(0, 30)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string lfo = c.lfo;
        if (std::string(c.what) == "overrides cut off") {
            // The LFO claims two overrides; the table ends after the first.
            lfo = le32(1) + le32(9) + std::string(8, '\0') + char(2) + std::string(3, '\0') +
                  le32(0) + le32(1) + bytes({0x10, 0, 0, 0});
        }
        ASSERT_EQ(withLists(lst, levels, 100, lfo, 2000), Res_ok);
        ASSERT_EQ(Word_readListTable(reader), Res_ok);
        EXPECT_EQ(Word_readLfoTable(reader), Res_wordNotFound);
        EXPECT_EQ(reader->lfos, nullptr);
        EXPECT_EQ(reader->lfoCount, 0u);
    }
}

TEST_F(ListTableTest, AbsentLevelsAndWord6Lists)
{
    // A simple list whose text names level 3.
    std::string levels;
    std::string lst = plfLst({9}, &levels, {lvlf(1, 0, 0, {1}, 2, num({3, u'.'}))});
    ASSERT_EQ(withLists(lst, levels, 100, plfLfo({9}, {{}}), 2000), Res_ok);
    ASSERT_EQ(Word_readLists(reader), Res_ok);
    int err = 0;
    EXPECT_EQ(number(1, 0, &err), "");
    EXPECT_EQ(err, Res_wordAbsentLevel);

    // Word 6/95: four fixed lists and four LFOs.
    closeDoc();
    ASSERT_EQ(Word_readerNew(&reader), Res_ok);
    reader->ctx = ctx;
    reader->fib.wIdent = Word_identWord6;
    reader->symbolFont = 3;
    ASSERT_EQ(Word_readLists(reader), Res_ok);
    ASSERT_EQ(reader->listCount, 4u);
    ASSERT_EQ(reader->lfoCount, 4u);
    EXPECT_EQ(reader->lists[2].tplc, uint32_t(-4));
    WordPap pap;
    Word_defaultPap(&pap);
    auto run = [&](uint32_t code) {
        pap.ilvl = uint8_t(code);
        char16_t *text = nullptr;
        uint32_t n = 0;
        WordChp chp;
        EXPECT_EQ(Word_listNumberText(&pap, &text, &n, &chp, reader), Res_ok);
        std::u16string s(text ? text : u"", n);
        Mem_free(text);
        return s;
    };
    // Numbered paragraphs (code 10): "(" before, ")" after, lower roman,
    // start 3; a change of the number text restarts the counter.
    pap.anld.lv.nfc = 2;
    pap.anld.lv.cxchTextBefore = 1;
    pap.anld.lv.cxchTextAfter = 1;
    pap.anld.lv.iStartAt = 3;
    pap.anld.lv.ftc = 0xFFFF;
    pap.anld.text[0] = u'(';
    pap.anld.text[1] = u')';
    EXPECT_EQ(run(10), u"(iii)\t");
    EXPECT_EQ(run(10), u"(iv)\t");
    pap.anld.text[1] = u']';
    EXPECT_EQ(run(10), u"(iii]\t");
    // A bullet (code 11): the text without a placeholder; in the Symbol
    // font 0xB7 arrives as 0xF0B7 and shows as the bullet.
    pap.anld.lv.cxchTextBefore = 1;
    pap.anld.lv.cxchTextAfter = 0;
    pap.anld.lv.ftc = 3;
    pap.anld.text[0] = char16_t(0xF0B7);
    EXPECT_EQ(run(11), u"\u2022\t");
    // Codes 0 and above 11: no number.
    EXPECT_EQ(run(0), u"");
    EXPECT_EQ(run(12), u"");
}

// ------------------------------------------------------------------ tables

WordTap tapOf(std::initializer_list<int16_t> edges)
{
    WordTap tap;
    Word_clearTap(&tap);
    int i = 0;
    for (int16_t e : edges)
        tap.rgdxaCenter[i++] = e;
    tap.itcMac = uint16_t(i - 1);
    return tap;
}

WordBorder border(int8_t style, uint8_t colour)
{
    return WordBorder{style, colour, 65536 / 72, 0};
}

TEST(WordTableRules, BordersByPositionWithInsideVerticalBetweenCells)
{
    WordTap tap = tapOf({0, 100, 200, 300});
    // Table top 1, left 2, bottom 3, right 4, inside H 5, inside V 6
    // (the colour index tells them apart).
    for (int k = 0; k < 6; k++)
        tap.rgbrcTable[k] = border(1, uint8_t(k + 1));
    struct Case {
        uint32_t cell, kind;
        uint8_t top, left, bottom, right;
    } cases[] = {
        {0, 1, 1, 2, 5, 6}, // first row, first cell
        {1, 2, 5, 6, 5, 6}, // inner cell: its sides take the inside vertical
        {2, 4, 5, 6, 3, 4}, // last row, last cell
        {1, 5, 1, 6, 3, 6}, // the only row: top and bottom from the table
    };
    for (const Case &c : cases) {
        WordBorder out[4];
        Word_tableCellBorders(&tap, c.cell, 3, c.kind, out);
        EXPECT_EQ(out[0].colour, c.top) << c.cell << "/" << c.kind;
        EXPECT_EQ(out[1].colour, c.left) << c.cell << "/" << c.kind;
        EXPECT_EQ(out[2].colour, c.bottom) << c.cell << "/" << c.kind;
        EXPECT_EQ(out[3].colour, c.right) << c.cell << "/" << c.kind;
    }
    // A cell's own border wins; no inside borders leave inner edges bare.
    tap.rgtc[1].brc[1] = border(3, 9);
    tap.rgbrcTable[5] = WordBorder{};
    WordBorder out[4];
    Word_tableCellBorders(&tap, 1, 3, 2, out);
    EXPECT_EQ(out[1].colour, 9);
    EXPECT_EQ(out[3].style, 0);
}

TEST(WordTableRules, RowKindsSpansAndLooks)
{
    WordTableState t{};
    struct Kind {
        uint32_t rows, last, itl, kind;
    } kinds[] = {{1, 1, 0, 5}, {1, 0, 0, 1}, {3, 1, 0, 4},  {2, 0, 0, 2},
                 {3, 0, 0, 3}, {4, 0, 0, 2}, {3, 0, 25, 2}, {4, 0, 25, 3}};
    for (const Kind &k : kinds) {
        t.rowCount = k.rows;
        t.tap.tlp.itl = uint16_t(k.itl);
        EXPECT_EQ(Word_tableRowKind(&t, k.last), k.kind) << k.rows << " " << k.last << " " << k.itl;
    }
    // Spans from the distinct left edges 0, 100, 200, 300.
    const int32_t edges[] = {0, 100, 200, 300};
    struct Span {
        int32_t left, right;
        uint32_t span;
    } spans[] = {{0, 100, 1},  {0, 200, 2},  {100, 400, 3}, {50, 150, 1},
                 {50, 250, 2}, {50, 350, 3}, {200, 100, 1}};
    for (const Span &s : spans)
        EXPECT_EQ(Word_tableCellSpan(edges, 4, s.left, s.right), s.span)
            << s.left << "-" << s.right;
    // Built-in looks: given rows, and the rest taken from look 0.
    const uint8_t *l = Word_tableLookShading(8, 4);
    EXPECT_EQ(l[0] * 100 + l[1] * 10 + l[2], 9 * 100 + 8 * 10 + 1);
    l = Word_tableLookShading(5, 2);
    EXPECT_EQ(l[0], 12);
    l = Word_tableLookShading(20, 0);
    EXPECT_EQ(l[0] * 100 + l[1] * 10 + l[2], 8 * 100 + 1 * 10 + 0);
}

TEST(WordTableRules, ShadingThroughTheLook)
{
    WordTap tap = tapOf({0, 100, 200});
    tap.rgshd[0] = WordShd{1, 8, 0}; // the default: black on white, clear
    tap.rgshd[1] = WordShd{2, 7, 1}; // solid blue
    uint32_t has = 0;
    // Look 0 and looks beyond the table: the cells' own shading.
    for (uint16_t itl : {0, 50}) {
        tap.tlp.itl = itl;
        tap.tlp.flags = 0;
        EXPECT_EQ(Word_tableCellShading(&tap, 1, 2, 2, &has), Word_cellShadingColour(&tap, 1))
            << itl;
        EXPECT_EQ(has, 1u);
    }
    // A look without its shading flag makes none.
    tap.tlp.itl = 8;
    tap.tlp.flags = 0;
    Word_tableCellShading(&tap, 0, 2, 1, &has);
    EXPECT_EQ(has, 0u);
    // With it: a default cell takes the look's class (look 8, heading row
    // class 0: solid black); a cell of its own shading keeps it.
    tap.tlp.flags = (1u << 1) | (1u << 5);
    uint32_t c = Word_tableCellShading(&tap, 0, 2, 1, &has);
    EXPECT_EQ(has, 1u);
    EXPECT_EQ(c & 0xFFFFFFu, 0u);
    EXPECT_EQ(Word_tableCellShading(&tap, 1, 2, 1, &has), Word_cellShadingColour(&tap, 1));
}

// ------------------------------------------------------ fixtures in the tree

uint32_t elementOf(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_group ? Edr_Node_group(n)->element : 0;
}

void textOf(Edr_Node *node, std::u16string *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group)
            textOf(c, out);
        else if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            out->append(t->chars, t->length);
        }
    }
}

void collect(Edr_Node *node, uint32_t cls, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (elementOf(c) == cls)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collect(c, cls, out);
    }
}

std::map<uint32_t, Prop> propsOf(Edr_Doc *doc, Edr_Node *node)
{
    std::map<uint32_t, Prop> out;
    const Edr_Group *g = Edr_Node_group(node);
    if (!g->ids)
        return out;
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request))
        return out;
    while (request) {
        for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r))
            for (const uint32_t *id = g->ids; *id; id++)
                if (r->matches && r->matches->key == *id && *id >= Word_firstStyleId)
                    for (StylePropItem *p = r->firstProp; p; p = p->next)
                        out[p->value.id] = p->value;
        Request *next = nullptr;
        int err = Edr_Doc_getRequest(doc, request, &next);
        Request_release(request);
        request = err ? nullptr : next;
    }
    return out;
}

std::u16string fontOf(const std::map<uint32_t, Prop> &props)
{
    auto it = props.find(37);
    if (it == props.end())
        return u"";
    return std::u16string(reinterpret_cast<const char16_t *>(it->second.payload),
                          it->second.payload2);
}

class WordListLoadTest : public EdrFixture {
  protected:
    void load(const std::string &name, std::function<void(Edr_Doc *, Edr_Node *)> check)
    {
        std::string file = wordFixture(name);
        ASSERT_FALSE(file.empty()) << name;
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
            ASSERT_NE(copy, nullptr);
            memcpy(copy, file.data(), file.size());
            VfsHandle *stream = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &stream, &accepted),
                      0);
            EXPECT_EQ(Word_loadDocument(ctx(), nullptr, nullptr, stream, doc, root), 0);
            check(doc, root);
            Edr_Doc_release(doc);
        });
    }
};

TEST_F(WordListLoadTest, ListParagraphsLeadWithTheirNumberTexts)
{
    load("lists.doc", [&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> paras;
        collect(root, WordClass_paragraph, &paras);
        std::vector<std::u16string> leads;
        std::vector<std::u16string> fonts, bodyFonts;
        for (Edr_Node *p : paras) {
            std::vector<Edr_Node *> groups;
            collect(p, WordClass_textGroup, &groups);
            if (groups.size() < 2)
                continue;
            std::u16string lead;
            textOf(groups[0], &lead);
            leads.push_back(lead);
            fonts.push_back(fontOf(propsOf(doc, groups[0])));
            bodyFonts.push_back(fontOf(propsOf(doc, groups[1])));
        }
        std::vector<std::u16string> want = {
            u"1.\t",     u"2.\t", u"a)\t",   u"b)\t",   u"i.\t",  u"3.\t",    u"a)\t", u"\u2022\t",
            u"\u2022\t", u"I.\t", u"I.1.\t", u"I.2.\t", u"II.\t", u"II.1.\t", u"5.\t", u"6.\t"};
        ASSERT_EQ(leads.size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(leads[i], want[i]) << i;
            // Number texts take the text's font; the bullets are in Symbol,
            // which names no font of its own once converted.
            if (want[i][0] == u'\u2022')
                EXPECT_EQ(fonts[i], u"") << i;
            else
                EXPECT_EQ(fonts[i], bodyFonts[i]) << i;
        }
    });
}

TEST_F(WordListLoadTest, NumberedParagraphsCarryTheirListRecordForTheWriter)
{
    load("lists.doc", [&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> paras;
        collect(root, WordClass_paragraph, &paras);
        struct Seen {
            uint32_t lsid;
            uint32_t level; // 1 to 9
            uint8_t nfc;
            int32_t start;
            std::u16string text;
        };
        std::vector<Seen> seen;
        uint32_t plain = 0;
        for (Edr_Node *p : paras) {
            const WordParaList *list = Word_paraListOf(doc, p);
            std::vector<Edr_Node *> groups;
            collect(p, WordClass_textGroup, &groups);
            intptr_t editable = 1;
            if (!list) {
                plain++;
                // Without a list record every text group is editable.
                for (Edr_Node *g : groups) {
                    ASSERT_EQ(Word_textGroupEditable(doc, reinterpret_cast<intptr_t>(g), &editable),
                              0);
                    EXPECT_EQ(editable, 1);
                }
                continue;
            }
            // One level present, the paragraph's; a fresh list's flags.
            uint32_t present = 0, level = 0;
            for (uint32_t k = 0; k < 9; k++)
                if (list->levels[k]) {
                    present++;
                    level = k + 1;
                }
            ASSERT_EQ(present, 1u);
            EXPECT_EQ(list->flags, WordParaList_created);
            const WordParaListLevel *l = Word_paraListFirstLevel(list);
            ASSERT_NE(l, nullptr);
            EXPECT_EQ(l->ixchFollow, 0);
            EXPECT_NE(l->rgbxchNums[0] | (l->text && l->text[0] >= 32 ? 1 : 0), 0);
            seen.push_back({list->lsid, level, l->nfc, l->iStartAt,
                            std::u16string(l->text ? l->text : u"", l->textLength)});
            // The lead-in (the first text group) is not editable, the body is.
            ASSERT_GE(groups.size(), 2u);
            ASSERT_EQ(Word_textGroupEditable(doc, reinterpret_cast<intptr_t>(groups[0]), &editable),
                      0);
            EXPECT_EQ(editable, 0);
            ASSERT_EQ(Word_textGroupEditable(doc, reinterpret_cast<intptr_t>(groups[1]), &editable),
                      0);
            EXPECT_EQ(editable, 1);
            ASSERT_EQ(Word_textGroupEditable(doc, reinterpret_cast<intptr_t>(p), &editable), 0);
            EXPECT_EQ(editable, 1);
        }
        ASSERT_EQ(seen.size(), 16u);
        EXPECT_EQ(plain, paras.size() - 16);
        // The decimal list: levels 1, 2 and 3 with their formats and texts
        // (placeholder 0 for the level number).
        EXPECT_EQ(seen[0].level, 1u);
        EXPECT_EQ(seen[0].nfc, 0);
        EXPECT_EQ(seen[0].text, std::u16string(u"\x00.", 2));
        EXPECT_EQ(seen[2].level, 2u);
        EXPECT_EQ(seen[2].nfc, 4); // lower letter
        EXPECT_EQ(seen[4].level, 3u);
        EXPECT_EQ(seen[4].nfc, 2); // lower roman
        EXPECT_EQ(seen[1].lsid, seen[0].lsid);
        EXPECT_EQ(seen[6].lsid, seen[0].lsid);
        // Bullets: another list, a text of one character and no placeholder.
        EXPECT_NE(seen[7].lsid, seen[0].lsid);
        EXPECT_EQ(seen[7].text.size(), 1u);
        // The outline list: upper roman at level 1, level 2 naming both
        // counters; the list from five starts at 5.
        EXPECT_EQ(seen[9].nfc, 1);
        EXPECT_EQ(seen[10].level, 2u);
        EXPECT_EQ(seen[10].text, std::u16string(u"\x00.\x01.", 4));
        EXPECT_EQ(seen[14].start, 5);
        EXPECT_EQ(seen[15].start, 5);
    });
}

TEST_F(WordListLoadTest, Word6AutoNumberedParagraphs)
{
    // Numbered paragraphs (level code 10) count on; the bullet (code 11) is
    // byte 0xB7 of the Symbol font.
    load("word6-lists.doc", [&](Edr_Doc *, Edr_Node *root) {
        std::vector<Edr_Node *> paras;
        collect(root, WordClass_paragraph, &paras);
        std::vector<std::u16string> texts;
        for (Edr_Node *p : paras) {
            std::u16string t;
            textOf(p, &t);
            texts.push_back(t);
        }
        EXPECT_EQ(texts, (std::vector<std::u16string>{u"Numbered:", u"1.\tone", u"2.\ttwo",
                                                      u"\u2022\tapple", u"End."}));
    });
}

TEST_F(WordListLoadTest, TablesBecomeRowsAndCellsWithSpansMergesAndShading)
{
    load("table.doc", [&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> tables, groups, rows;
        collect(root, WordClass_table, &tables);
        ASSERT_EQ(tables.size(), 1u);
        collect(tables[0], WordClass_tableRowGroup, &groups);
        ASSERT_EQ(groups.size(), 1u);
        collect(groups[0], WordClass_tableRow, &rows);
        ASSERT_EQ(rows.size(), 3u);
        std::vector<std::vector<std::u16string>> texts;
        std::map<std::u16string, std::map<uint32_t, Prop>> cellProps;
        for (Edr_Node *row : rows) {
            std::vector<Edr_Node *> cells;
            collect(row, WordClass_tableCell, &cells);
            texts.emplace_back();
            for (Edr_Node *cell : cells) {
                std::u16string t;
                textOf(cell, &t);
                texts.back().push_back(t);
                cellProps[t] = propsOf(doc, cell);
            }
        }
        std::vector<std::vector<std::u16string>> want = {
            {u"Wide head", u"Red"}, {u"Tall", u"b2", u"c2"}, {u"\u00a0", u"b3", u"c3"}};
        EXPECT_EQ(texts, want);
        // The head cell spans two columns; the others none.
        ASSERT_TRUE(cellProps[u"Wide head"].count(97));
        EXPECT_EQ(cellProps[u"Wide head"][97].payload, 2u);
        EXPECT_FALSE(cellProps[u"b2"].count(97));
        // The tall cell starts a vertical merge that the cell below continues.
        // (A keyword value is the property's type.)
        EXPECT_EQ(cellProps[u"Tall"][100].type, 188u);
        EXPECT_EQ(cellProps[u"\u00a0"][100].type, 189u);
        EXPECT_FALSE(cellProps[u"b2"].count(100));
        EXPECT_EQ(cellProps[u"b2"][34].type, 136u);
        // The tall cell spans the two rows (property 98); the cell it covers
        // is not displayed (keyword 0), so the row's other cells keep their
        // columns.
        ASSERT_TRUE(cellProps[u"Tall"].count(98));
        EXPECT_EQ(cellProps[u"Tall"][98].payload, 2u);
        EXPECT_EQ(cellProps[u"Tall"][34].type, 136u);
        ASSERT_TRUE(cellProps[u"\u00a0"].count(34));
        EXPECT_EQ(cellProps[u"\u00a0"][34].type, 0u);
        EXPECT_FALSE(cellProps[u"\u00a0"].count(98));
        // Widths: two inches each, four for the head cell.
        EXPECT_NEAR(double(cellProps[u"b2"][90].payload) / 65536, 2.0, 0.02);
        EXPECT_NEAR(double(cellProps[u"Wide head"][90].payload) / 65536, 4.0, 0.02);
        // Yellow shading; a red left border (colour property 11).
        EXPECT_EQ(cellProps[u"c2"][2].payload & 0xFFFFFFu, 0x00FFFFu);
        EXPECT_EQ(cellProps[u"Tall"][2].payload & 0xFFFFFFu, 0x00FFFFu);
        EXPECT_EQ(cellProps[u"Red"][11].payload & 0xFFFFFFu, 0x0000FFu);
        // The paragraph after the table is the section's again.
        std::vector<Edr_Node *> paras;
        collect(root, WordClass_paragraph, &paras);
        ASSERT_FALSE(paras.empty());
        EXPECT_EQ(elementOf(Edr_Node_parent(paras.back())), WordClass_section);
        std::u16string last;
        textOf(paras.back(), &last);
        EXPECT_EQ(last, u"After the table.");
    });
}

TEST_F(WordListLoadTest, VerticalMergesSpanTheirRowsAndHideTheCellsTheyCover)
{
    // Column 1 merged over rows 1-3, then again over rows 4-5; column 3
    // over rows 1-2. Per cell: displayed, and its row span (1: none).
    load("merges.doc", [&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> rows;
        collect(root, WordClass_tableRow, &rows);
        ASSERT_EQ(rows.size(), 5u);
        struct Cell {
            bool shown;
            uint32_t span;
        };
        const std::vector<std::vector<Cell>> want = {
            {{true, 3}, {true, 1}, {true, 2}},  {{false, 1}, {true, 1}, {false, 1}},
            {{false, 1}, {true, 1}, {true, 1}}, {{true, 2}, {true, 1}, {true, 1}},
            {{false, 1}, {true, 1}, {true, 1}},
        };
        for (size_t r = 0; r < rows.size(); r++) {
            std::vector<Edr_Node *> cells;
            collect(rows[r], WordClass_tableCell, &cells);
            ASSERT_EQ(cells.size(), want[r].size()) << "row " << r;
            for (size_t c = 0; c < cells.size(); c++) {
                std::map<uint32_t, Prop> props = propsOf(doc, cells[c]);
                EXPECT_EQ(props[34].type, want[r][c].shown ? 136u : 0u) << r << "," << c;
                uint32_t span = props.count(98) ? uint32_t(props[98].payload) : 1;
                EXPECT_EQ(span, want[r][c].span) << r << "," << c;
            }
        }
    });
}

// The tree below node as text: "<" a table ">", "[" a row "]", "(" a
// cell ")", and each paragraph's text followed by ";".
void outline(Edr_Node *node, std::u16string *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        uint32_t cls = elementOf(c);
        if (cls == WordClass_paragraph) {
            textOf(c, out);
            *out += u";";
            continue;
        }
        const char16_t *marks = cls == WordClass_table       ? u"<>"
                                : cls == WordClass_tableRow  ? u"[]"
                                : cls == WordClass_tableCell ? u"()"
                                                             : nullptr;
        if (marks)
            *out += marks[0];
        if (Edr_Node_type(c) == Edr_NodeType_group)
            outline(c, out);
        if (marks)
            *out += marks[1];
    }
}

TEST_F(WordListLoadTest, NestedTablesStandInTheCellsThatHoldThem)
{
    // A table in a cell of the outer table's second row, and a third one in
    // that table's last cell; each table's rows end at their own marks, which
    // make no paragraphs, and the text after each nested table goes back to
    // the cell that holds it.
    load("nested.doc", [&](Edr_Doc *doc, Edr_Node *root) {
        std::u16string got;
        outline(root, &got);
        EXPECT_EQ(got, u"Before the table.;"
                       u"<[(A1;)(B1;)]"
                       u"[(A2;<[(i1;)(i2;)][(i3;)(i4;<[(d1;)]>i4 end;)]>after inner;)(B2;)]"
                       u"[(A3;)(B3;)]>"
                       u"After the table.;");
        // Every cell of every level has its four borders.
        std::vector<Edr_Node *> cells;
        collect(root, WordClass_tableCell, &cells);
        ASSERT_EQ(cells.size(), 11u);
        for (Edr_Node *cell : cells) {
            std::map<uint32_t, Prop> props = propsOf(doc, cell);
            std::u16string text;
            textOf(cell, &text);
            for (uint32_t id : {14u, 15u, 16u, 17u})
                EXPECT_TRUE(props.count(id))
                    << std::string(text.begin(), text.end()) << " border " << id;
        }
        // The inner table is as wide as its two cells, within its cell.
        std::vector<Edr_Node *> tables;
        collect(root, WordClass_table, &tables);
        ASSERT_EQ(tables.size(), 3u);
        std::vector<Edr_Node *> innerCells;
        collect(tables[1], WordClass_tableCell, &innerCells);
        std::map<uint32_t, Prop> i1 = propsOf(doc, innerCells[0]);
        ASSERT_TRUE(i1.count(90));
        EXPECT_GT(i1[90].payload, 0u);
    });
}

} // namespace
