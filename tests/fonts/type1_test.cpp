// Type 1 font programs: eexec forms, the dictionary reader and its errors,
// the charstring interpreter (numbers, flex, Subrs, errors) and the URW
// base-35 fonts' advances against their metrics files.
#include "tests/fonts/font_engine_support.h"

#include <dirent.h>

#include <cstring>
#include <map>

#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/programs/type1.h"
#include "graphics/glyphpath.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"

namespace {

const char *const urwDir = "/usr/share/fonts/type1/urw-base35";

std::string encrypt(const std::string &plain, uint16_t r)
{
    std::string out;
    for (unsigned char c : plain) {
        unsigned char e = static_cast<unsigned char>(c ^ (r >> 8));
        r = static_cast<uint16_t>((e + r) * 52845u + 22719u);
        out.push_back(static_cast<char>(e));
    }
    return out;
}

// Numbers are given as pushes, operators as op().
struct Cs {
    std::string bytes;
    Cs &n(int32_t v)
    {
        if (v >= -107 && v <= 107) {
            bytes += static_cast<char>(v + 139);
        } else if (v >= 108 && v <= 1131) {
            v -= 108;
            bytes += static_cast<char>(247 + v / 256);
            bytes += static_cast<char>(v % 256);
        } else if (v <= -108 && v >= -1131) {
            v = -v - 108;
            bytes += static_cast<char>(251 + v / 256);
            bytes += static_cast<char>(v % 256);
        } else {
            bytes += '\xff';
            for (int i = 3; i >= 0; i--)
                bytes += static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
        }
        return *this;
    }
    Cs &op(int o)
    {
        if (o >= 100) {
            bytes += '\x0c';
            bytes += static_cast<char>(o - 100);
        } else {
            bytes += static_cast<char>(o);
        }
        return *this;
    }
    std::string enc() const
    {
        return encrypt(std::string(4, '\0') + bytes, 4330);
    }
};

struct Op {
    int code;
    std::vector<int32_t> v;
    bool operator==(const Op &o) const
    {
        return code == o.code && v == o.v;
    }
};

// The codes of a kind-1 outline.
std::vector<Op> decode(const GlyphPath *o)
{
    std::vector<Op> out;
    if (!o->bytes)
        return out;
    const uint8_t *p = o->bytes;
    const uint8_t *end = o->bytes + o->lastStart + o->lastSize;
    while (p < end) {
        int code = *p & 15;
        bool wide = *p & 16;
        int n = code == GlyphCode_moveTo || code == GlyphCode_lineTo ? 2
                : code == GlyphCode_curveTo                          ? 6
                                                                     : 0;
        Op op{code, {}};
        const uint8_t *q = p + 1;
        for (int i = 0; i < n; i++) {
            if (wide) {
                op.v.push_back(static_cast<int16_t>(q[0] | q[1] << 8));
                q += 2;
            } else {
                op.v.push_back(static_cast<int8_t>(*q++));
            }
        }
        out.push_back(op);
        const uint8_t *next = GlyphPath_nextOp(p);
        if (next == p)
            break;
        p = next;
    }
    return out;
}

struct Glyph {
    int rc;
    int32_t sb, adv;
    std::vector<Op> ops;
};

Glyph build(const Cs &cs, const std::vector<Cs> &subrList = {}, int32_t lenIV = 4)
{
    std::vector<std::string> store;
    for (const Cs &s : subrList)
        store.push_back(s.enc());
    std::vector<Type1Subr> subrs;
    for (std::string &s : store)
        subrs.push_back({reinterpret_cast<uint8_t *>(s.data()), static_cast<uint32_t>(s.size())});
    std::string bytes = lenIV < 0 ? cs.bytes : cs.enc();
    GlyphPath *o = nullptr;
    EXPECT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), 0);
    Glyph g{};
    g.rc = Type1_buildGlyph(o, subrs.data(), static_cast<uint32_t>(subrs.size()),
                            reinterpret_cast<const uint8_t *>(bytes.data()),
                            static_cast<uint32_t>(bytes.size()), &g.sb, &g.adv, lenIV);
    g.ops = decode(o);
    GlyphPath_destroy(o);
    return g;
}

using Type1Test = FontEngineTest;

TEST_F(Type1Test, SideBearingExample)
{
    Glyph g = build(Cs().n(50).n(500).op(13).n(0).n(0).op(21).n(100).n(0).op(5).op(9).op(14));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.sb, 50);
    EXPECT_EQ(g.adv, 500);
    std::vector<Op> want = {
        {GlyphCode_moveTo, {50, 0}}, {GlyphCode_lineTo, {100, 0}}, {GlyphCode_close, {}}};
    EXPECT_EQ(g.ops, want);
}

TEST_F(Type1Test, NumberEncodingsAndCurves)
{
    // 1000 and -1000 take two bytes, 100000 five; curves are relative.
    Glyph g = build(
        Cs().n(0).n(1000).op(13).n(-1000).n(100000).op(21).n(10).n(20).n(30).n(40).op(30).op(14));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.adv, 1000);
    ASSERT_EQ(g.ops.size(), 2u);
    EXPECT_EQ(g.ops[0].v, (std::vector<int32_t>{-1000, static_cast<int16_t>(100000)}));
    EXPECT_EQ(g.ops[1].v, (std::vector<int32_t>{0, 10, 20, 30, 40, 0}));
}

TEST_F(Type1Test, SeacDrawsOnlyItsOwnContours)
{
    Glyph g = build(Cs().n(20)
                        .n(600)
                        .op(13)
                        .n(0)
                        .n(0)
                        .op(21)
                        .n(5)
                        .op(6)
                        .n(0)
                        .n(30)
                        .n(0)
                        .n(97)
                        .n(194)
                        .op(106)
                        .op(14));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.ops.size(), 2u);
}

TEST_F(Type1Test, FlexDrawsTwoCurves)
{
    std::vector<Cs> subrs = {Cs().n(3).n(0).op(116).op(117).op(117).op(133).op(11), // 0: flex end
                             Cs().n(0).n(1).op(116).op(11),                         // 1: flex start
                             Cs().n(0).n(2).op(116).op(11),                         // 2: flex point
                             Cs().op(11)};                                          // 3: hint swap
    Cs cs;
    cs.n(0).n(500).op(13).n(100).n(100).op(21).n(1).op(10);
    const int pairs[7][2] = {{10, 0}, {20, 0}, {20, 10}, {20, 0}, {20, 0}, {20, -10}, {20, 0}};
    for (const auto &p : pairs)
        cs.n(p[0]).n(p[1]).op(21).n(2).op(10);
    cs.n(50).n(210).n(100).n(0).op(10).n(0).n(-50).op(5).op(14);
    Glyph g = build(cs, subrs);
    ASSERT_EQ(g.rc, 0);
    std::vector<Op> want = {{GlyphCode_moveTo, {100, 100}},
                            {GlyphCode_curveTo, {30, 0, 20, 10, 20, 0}},
                            {GlyphCode_curveTo, {20, 0, 20, -10, 20, 0}},
                            {GlyphCode_lineTo, {0, -50}}};
    EXPECT_EQ(g.ops, want);
}

TEST_F(Type1Test, HintReplacementAndUnencrypted)
{
    std::vector<Cs> subrs = {Cs().op(11), Cs().op(11), Cs().op(11), Cs().op(11),
                             Cs().n(5).n(10).op(1).op(11)};
    // 4 1 3 callothersubr pop callsubr: the hints of Subrs 4 are skipped.
    Glyph g = build(
        Cs().n(0).n(300).op(13).n(4).n(1).n(3).op(116).op(117).op(10).n(7).op(22).op(14), subrs);
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.ops, (std::vector<Op>{{GlyphCode_moveTo, {7, 0}}}));
    Glyph plain = build(Cs().n(0).n(300).op(13).n(7).op(22).op(14), {}, -1);
    ASSERT_EQ(plain.rc, 0);
    EXPECT_EQ(plain.ops, g.ops);
}

TEST_F(Type1Test, InterpreterErrors)
{
    std::vector<Cs> self = {Cs().n(0).op(10)};
    Cs push25;
    for (int i = 0; i < 25; i++)
        push25.n(1);
    struct Case {
        const char *name;
        Cs cs;
        std::vector<Cs> subrs;
        int want;
    } cases[] = {
        {"no hsbw", Cs().n(0).n(0).op(21), {}, Type1_noSideBearing},
        {"hsbw short", Cs().n(5).op(13), {}, Type1_tooFewArguments},
        {"sbw with two arguments", Cs().n(5).n(6).op(107), {}, Type1_tooFewArguments},
        {"sbw with four arguments", Cs().n(5).n(6).n(700).n(0).op(107).op(14), {}, 0},
        {"rlineto short", Cs().n(0).n(1).op(13).n(1).op(5), {}, Type1_tooFewArguments},
        {"25 arguments", push25, {}, Type1_badCharstring},
        {"bad operator", Cs().n(0).n(1).op(13).op(2), {}, Type1_badCharstring},
        {"bad escape", Cs().n(0).n(1).op(13).op(140), {}, Type1_badCharstring},
        {"truncated number", Cs().n(0).n(1).op(13).op(255), {}, Type1_badCharstring},
        {"return at top", Cs().n(0).n(1).op(13).op(11), {}, Type1_returnOutside},
        {"subr out of range", Cs().n(0).n(1).op(13).n(1).op(10), self, Type1_badSubr},
        {"negative subr", Cs().n(0).n(1).op(13).n(-1).op(10), self, Type1_badSubr},
        {"self-calling subr", Cs().n(0).n(1).op(13).n(0).op(10), self, Type1_subrsTooDeep},
        {"othersubr 0", Cs().n(0).n(1).op(13).n(0).n(0).op(116), {}, Type1_othersubrDirect},
        {"othersubr 2", Cs().n(0).n(1).op(13).n(0).n(2).op(116), {}, Type1_othersubrDirect},
        {"othersubr short", Cs().n(0).n(1).op(13).n(3).n(9).op(116), {}, Type1_tooFewArguments},
        {"division by zero", Cs().n(0).n(1).op(13).n(4).n(0).op(112), {}, Type1_badCharstring},
        {"flex end short",
         Cs().n(0).n(1).op(13).n(0).n(1).op(116).n(5).n(0).op(10),
         {},
         Type1_tooFewArguments},
    };
    for (const Case &c : cases)
        EXPECT_EQ(build(c.cs, c.subrs).rc, c.want) << c.name;
    // Shorter than lenIV.
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), 0);
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(Type1_buildGlyph(o, nullptr, 0, two, 2, nullptr, nullptr, 4), Type1_badCharstring);
    GlyphPath_destroy(o);
}

TEST_F(Type1Test, DivisionAndPop)
{
    // 1000 4 div as the advance; an othersubr leaves its argument for pop.
    Glyph g = build(Cs().n(0).n(1000).n(4).op(112).op(13).op(14));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.adv, 250);
    g = build(Cs().n(0).n(77).n(1).n(9).op(116).op(117).op(13).op(14));
    ASSERT_EQ(g.rc, 0);
    EXPECT_EQ(g.adv, 77);
}

// ------------------------------------------------------------- loader

// A font text: clear part, then the private part eexec-encrypted in hex
// or binary.
std::string fontText(const std::string &clear, const std::string &priv, bool hex = true)
{
    std::string enc = encrypt("abcd" + priv, 55665);
    std::string out = clear + "currentfile eexec\n";
    if (!hex)
        return out + enc;
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < enc.size(); i++) {
        unsigned char c = static_cast<unsigned char>(enc[i]);
        out += digits[c >> 4];
        out += digits[c & 15];
        if (i % 32 == 31)
            out += "\r\n";
    }
    return out + "\n";
}

std::string charStringsEntry(const std::string &name, const Cs &cs)
{
    std::string e = cs.enc();
    return "/" + name + " " + std::to_string(e.size()) + " RD " + e + " ND\n";
}

const std::string clearPart = "%!FontType1\n/FontName /T def\n/Encoding StandardEncoding def\n";

std::string simplePrivate(const std::string &extra = "")
{
    return "/Private 2 dict dup begin\n" + extra + "/CharStrings 2 dict dup begin\n" +
           charStringsEntry("A",
                            Cs().n(10).n(600).op(13).n(0).n(0).op(21).n(100).n(0).op(5).op(14)) +
           charStringsEntry("B", Cs().n(20).n(700).op(13).op(14)) +
           "end\nmark currentfile closefile\n";
}

struct Loaded {
    int rc;
    EmbeddedFont *font;
    uint16_t *encoding;
};

class Type1LoadTest : public FontEngineTest {
  protected:
    PdfGlyphNameList names{-768, nullptr};

    void TearDown() override
    {
        Pdf_Font_glyphNamesClear(&names);
        FontEngineTest::TearDown();
    }

    Loaded load(const std::string &bytes, bool withNames = true, bool wantEncoding = false)
    {
        ByteStream *s = nullptr;
        EXPECT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                        bytes.size(), &s),
                  0);
        Loaded l{};
        l.rc = Type1_load(ctx, s, withNames ? &names : nullptr, &l.font,
                          wantEncoding ? &l.encoding : nullptr);
        (void)ByteStream_close(s);
        return l;
    }
    int parse(const std::string &bytes, uint16_t *unitsPerEm = nullptr)
    {
        ByteStream *s = nullptr;
        EXPECT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                        bytes.size(), &s),
                  0);
        Type1Parser p;
        int rc = Type1_parse(ctx, s, &names, &p);
        if (unitsPerEm)
            *unitsPerEm = p.unitsPerEm;
        Type1_freeParser(&p);
        (void)ByteStream_close(s);
        return rc;
    }
    void drop(Loaded &l)
    {
        if (l.font)
            Font_unregister(ctx, l.font->face);
        EmbeddedFont_release(l.font);
        Mem_free(l.encoding);
        l = Loaded{};
    }
};

TEST_F(Type1LoadTest, HexAndBinaryGiveTheSameGlyphs)
{
    std::vector<std::string> forms = {
        fontText(clearPart, simplePrivate(), true), fontText(clearPart, simplePrivate(), false),
        std::string("\x80\x01\x10\0\0\0", 6) + fontText(clearPart, simplePrivate())};
    std::vector<std::vector<Op>> first;
    for (const std::string &f : forms) {
        Pdf_Font_glyphNamesClear(&names);
        Loaded l = load(f);
        ASSERT_EQ(l.rc, 0);
        // The code table also holds the default glyph.
        ASSERT_EQ(EmbeddedFont_glyphCount(l.font), 3);
        std::vector<std::vector<Op>> glyphs;
        for (uint16_t g = 1; g <= 2; g++) {
            GlyphPath *o = nullptr;
            ASSERT_EQ(l.font->face->outline(l.font->face, g, &o), 0);
            glyphs.push_back(o ? decode(o) : std::vector<Op>());
            GlyphPath_destroy(o);
        }
        if (first.empty())
            first = glyphs;
        EXPECT_EQ(glyphs, first);
        drop(l);
    }
    EXPECT_FALSE(first.empty());
}

TEST_F(Type1LoadTest, KnownNamesNeedNoList)
{
    // A and B have codes of the glyph-name table, list or not.
    Loaded l = load(fontText(clearPart, simplePrivate()), false);
    ASSERT_EQ(l.rc, 0);
    EXPECT_EQ(EmbeddedFont_glyphCount(l.font), 3);
    drop(l);
}

TEST_F(Type1LoadTest, FontMatrixUnits)
{
    struct Case {
        const char *matrix;
        uint16_t units;
    } cases[] = {
        {"[0.001 0 0 0.001 0 0]", 1000},
        {"[0.0005 0 0 0.0005 0 0]", 2000},
        {"[-0.001 0 0 0.001 0 0]", 1000},
        {"[.000488 0 0 .000488 0 0]", 2049},
        {"[1 0 0 1 0 0]", 1},
        {"[2 0 0 2 0 0]", 1000}, // the reciprocal's integer part is 0
        {"[0 0 0 0 0 0]", 1000},
    };
    for (const Case &c : cases) {
        uint16_t units = 0;
        EXPECT_EQ(parse(fontText(clearPart + "/FontMatrix " + c.matrix + " def\n", simplePrivate()),
                        &units),
                  0);
        EXPECT_EQ(units, c.units) << c.matrix;
    }
}

TEST_F(Type1LoadTest, DictionaryErrors)
{
    std::string sub = "/Subrs 1 array\ndup 0 5 RD " + Cs().op(11).enc() + " NP\n";
    struct Case {
        const char *name;
        std::string text;
        int want;
    } cases[] = {
        {"eexec twice", fontText(clearPart, "currentfile eexec\n" + simplePrivate()),
         Type1_eexecError},
        {"empty encrypted part", clearPart + "currentfile eexec\n  ", Type1_eexecError},
        {"CharStrings twice",
         fontText(clearPart, simplePrivate().substr(0, 0) + "/CharStrings 1 dict dup begin\nend\n" +
                                 simplePrivate()),
         Type1_charStringsTwice},
        {"CharStrings bad entry", fontText(clearPart, "/CharStrings 1 dict dup begin\n/A x RD\n"),
         Type1_badCharStrings},
        {"CharStrings cut", fontText(clearPart, "/CharStrings 1 dict dup begin\n/A 50 RD abc"),
         Type1_badCharStrings},
        {"Subrs twice", fontText(clearPart, sub + sub + simplePrivate()), Type1_subrsTwice},
        {"Subrs wrong index", fontText(clearPart, "/Subrs 1 array\ndup 1 5 RD xxxxx NP\n"),
         Type1_badSubrs},
        {"Subrs no array", fontText(clearPart, "/Subrs 1 dict\n"), Type1_badSubrs},
        {"FontName integer", fontText("/FontName 5 def\n" + clearPart, simplePrivate()),
         Type1_badFontName},
        {"no Encoding", fontText("/FontName /T def\n", simplePrivate()), Type1_noEncoding},
        {"no CharStrings", fontText(clearPart, "/Private 1 dict\n"), Type1_noCharStrings},
        {"Encoding twice",
         fontText(clearPart + "/Encoding StandardEncoding def\n", simplePrivate()),
         Type1_encodingTwice},
        {"Encoding malformed", fontText("/Encoding 0 array\n", simplePrivate()), Type1_badEncoding},
        {"Encoding without def", "/Encoding 256 array\ndup 65 /A put\n", Type1_badEncoding},
        {"bad charstring",
         fontText(clearPart,
                  "/CharStrings 1 dict dup begin\n" + charStringsEntry("A", Cs().op(2)) + "end\n"),
         Type1_badCharstring},
        {"with Subrs", fontText(clearPart, sub + simplePrivate()), 0},
    };
    for (const Case &c : cases) {
        Loaded l = load(c.text);
        EXPECT_EQ(l.rc, c.want) << c.name;
        EXPECT_EQ(l.font == nullptr, c.want != 0) << c.name;
        drop(l);
    }
}

TEST_F(Type1LoadTest, EncodingTable)
{
    std::string clear =
        "/FontName /T def\n/Encoding 300 array\n0 1 255 {1 index exch /.notdef put} for\n"
        "dup 65 /A put\ndup 66 /B put\ndup 299 /B put\nreadonly def\n";
    Loaded l = load(fontText(clear, simplePrivate()), true, true);
    ASSERT_EQ(l.rc, 0);
    ASSERT_NE(l.encoding, nullptr);
    // The names' values from the glyph-name table; .notdef has none.
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(l.encoding[i], i == 65 || i == 66 ? i : 0) << i;
    drop(l);
    l = load(fontText(clearPart, simplePrivate()), true, true);
    ASSERT_EQ(l.rc, 0);
    EXPECT_EQ(l.encoding, nullptr); // StandardEncoding gives no table
    drop(l);
}

std::string readHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(Type1LoadTest, SegmentedAndHexFixturesAgree)
{
    std::string dir = std::string(VEXLAN_FIXTURES) + "/fontprograms/";
    std::vector<std::vector<Op>> forms[2];
    int i = 0;
    for (const char *name : {"type1-segmented.pfb", "type1-hex.pfa"}) {
        Pdf_Font_glyphNamesClear(&names);
        Loaded l = load(readHostFile(dir + name));
        ASSERT_EQ(l.rc, 0) << name;
        int32_t n = EmbeddedFont_glyphCount(l.font) - 1; // without the default glyph
        EXPECT_EQ(n, 6) << name;
        for (uint16_t g = 1; g <= n; g++) {
            GlyphPath *o = nullptr;
            ASSERT_EQ(l.font->face->outline(l.font->face, g, &o), 0);
            forms[i].push_back(o ? decode(o) : std::vector<Op>());
            GlyphPath_destroy(o);
        }
        drop(l);
        i++;
    }
    EXPECT_EQ(forms[0], forms[1]);
}

// Every glyph of every URW font builds with the advance of its metrics
// file.
TEST_F(Type1LoadTest, UrwAdvancesMatchMetrics)
{
    DIR *d = opendir(urwDir);
    if (!d)
        GTEST_SKIP() << "no URW base-35 fonts";
    std::vector<std::string> fonts;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".t1") == 0)
            fonts.push_back(n.substr(0, n.size() - 3));
    }
    closedir(d);
    ASSERT_FALSE(fonts.empty());
    for (const std::string &f : fonts) {
        std::map<std::string, int> afm;
        std::istringstream in(readHostFile(std::string(urwDir) + "/" + f + ".afm"));
        std::string line;
        while (std::getline(in, line)) {
            size_t wx = line.find("WX "), nn = line.find("; N ");
            if (line.rfind("C ", 0) != 0 || wx == std::string::npos || nn == std::string::npos)
                continue;
            std::string name = line.substr(nn + 4, line.find(' ', nn + 4) - nn - 4);
            afm[name] = std::stoi(line.substr(wx + 3));
        }
        std::string bytes = readHostFile(std::string(urwDir) + "/" + f + ".t1");
        ByteStream *s = nullptr;
        ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                        bytes.size(), &s),
                  0);
        Type1Parser p;
        ASSERT_EQ(Type1_parse(ctx, s, &names, &p), 0) << f;
        EXPECT_EQ(p.unitsPerEm, 1000) << f;
        size_t checked = 0;
        for (uint32_t i = 0; i < p.charStrings.count; i++) {
            NameDictEntry *e = NameDict_at(&p.charStrings, i);
            GlyphPath *o = nullptr;
            ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), 0);
            int32_t sb = 0, adv = 0;
            EXPECT_EQ(
                Type1_buildGlyph(o, p.subrs, p.subrCount, e->data, e->length, &sb, &adv, p.lenIV),
                0)
                << f << " " << e->name;
            GlyphPath_destroy(o);
            auto it = afm.find(e->name);
            if (it != afm.end()) {
                EXPECT_EQ(adv, it->second) << f << " " << e->name;
                checked++;
            }
        }
        EXPECT_GE(checked, afm.size()) << f;
        Type1_freeParser(&p);
        (void)ByteStream_close(s);
    }
}

} // namespace
