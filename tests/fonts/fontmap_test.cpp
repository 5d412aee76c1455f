// The font map file, file kinds, collection headers and 'name' tables.
#include "fonts/fontmap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/platform/file_fixture.h"

namespace {

TEST(FontFileKind, ByTheThreeLettersAfterTheLastDot)
{
    struct Case {
        const char16_t *path;
        uint32_t kind;
    } cases[] = {
        {u"/f/a.ttf", FontFile_trueType},
        {u"/f/A.TTF", FontFile_trueType},
        {u"/f/x.TtC", FontFile_collection},
        {u"/f/b.ef1", FontFile_ef1},
        {u"/f/c.ffs", FontFile_fontPack},
        {u"/f/d.otf", FontFile_notFont},
        {u"/f/noext", FontFile_notFont},
        {u"/f.ttf/file", FontFile_notFont},
        {u"/f/e.ttff", FontFile_notFont},
        {u"/f/e.tt", FontFile_notFont},
        {u".ttf", FontFile_trueType},
        {u"/f/a.ttf.", FontFile_notFont},
        {u"", FontFile_notFont},
        {nullptr, FontFile_notFont},
        {u"/f/a.t\u00c9f", FontFile_notFont},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.kind, FontFile_kind(c.path)) << (c.path ? S(c.path) : "null");
}

// What a reading handed to its handler: "section|line" per line.
struct Collected {
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, int>> answers; // line start -> result
};

int collect(void *arg, uint32_t section, char *line)
{
    auto *c = static_cast<Collected *>(arg);
    c->lines.push_back(std::to_string(section) + "|" + line);
    for (auto &[start, rc] : c->answers)
        if (std::string(line).rfind(start, 0) == 0)
            return rc;
    return 0;
}

std::vector<std::string> read(const std::string &text, int *rc = nullptr,
                              std::vector<std::pair<std::string, int>> answers = {})
{
    Collected c;
    c.answers = std::move(answers);
    int r = FontMap_readText(text.data(), text.size(), collect, &c);
    if (rc)
        *rc = r;
    else
        EXPECT_EQ(0, r);
    return c.lines;
}

TEST(FontMapRead, SectionsCommentsAndLineEnds)
{
    std::vector<std::string> got =
        read("before any section\n# comment\n\n[library]\r\nA,,,,,,a.ttf\r\n[Nothing]\nignored\n"
             "[Defaults]\nArial:Helvetica\n#x\n[SUPPLEMENTS]\nf.ttf: serif\n[Buffered]\nkeep me\n"
             "[Buffered\nnot a section line\nlast without end");
    std::vector<std::string> want = {
        std::to_string(FontMap_library) + "|A,,,,,,a.ttf",
        std::to_string(FontMap_defaults) + "|Arial:Helvetica",
        std::to_string(FontMap_supplements) + "|f.ttf: serif",
        std::to_string(FontMap_buffered) + "|keep me",
        std::to_string(FontMap_buffered) + "|[Buffered",
        std::to_string(FontMap_buffered) + "|not a section line",
        std::to_string(FontMap_buffered) + "|last without end",
    };
    EXPECT_EQ(want, got);
}

TEST(FontMapRead, LongLinesAreSkippedWholeNeverSplit)
{
    std::string fits(255, 'a'), over(256, 'b'), huge(2000, 'c');
    std::vector<std::string> got = read("[Buffered]\n" + fits + "\n" + over + "\n" + fits + "\r\n" +
                                        huge + "\r\nnext\n" + over);
    std::string b = std::to_string(FontMap_buffered) + "|";
    EXPECT_EQ((std::vector<std::string>{b + fits, b + fits, b + "next"}), got);
    // A NUL byte ends a line's text.
    got = read(std::string("[Buffered]\nab\0cd\n\0tail\n#\0\n", 26));
    EXPECT_EQ((std::vector<std::string>{b + "ab"}), got);
}

TEST(FontMapRead, SomeHandlerErrorsSkipTheLineOthersStopTheReading)
{
    int rc = -1;
    std::vector<std::string> got =
        read("[Library]\nmissing\nunreadable\nunsupported\nfine\nbad\nafter\n", &rc,
             {{"missing", Res_fileCannotOpen},
              {"unreadable", Res_fontFileUnreadable},
              {"unsupported", Res_fontUnsupported},
              {"bad", Res_fontMapLine}});
    EXPECT_EQ(Res_fontMapLine, rc);
    ASSERT_EQ(5u, got.size()) << "the line after the bad one is not read";
    EXPECT_EQ(std::to_string(FontMap_library) + "|bad", got[4]);
    got = read("[Library]\nx\n", &rc, {{"x", Res_noMemory}});
    EXPECT_EQ(Res_noMemory, rc);
}

TEST(FontMapLines, DefaultsAndSupplementsSplitAtTheFirstColon)
{
    struct Case {
        const char *line, *key, *value;
        int rc;
    } cases[] = {
        {"Arial:Helvetica,sans-serif", "Arial", "Helvetica,sans-serif", 0},
        {"tahoma.ttf: sans-serif: language", "tahoma.ttf", "sans-serif: language", 0},
        {" key :\t v \t", " key ", "v", 0},
        {"*:sans-serif", "*", "sans-serif", 0},
        {"empty:", "empty", "", 0},
        {"no colon here", nullptr, nullptr, Res_fontMapLine},
    };
    for (const Case &c : cases) {
        std::string line = c.line;
        char *key = reinterpret_cast<char *>(1), *value = reinterpret_cast<char *>(1);
        EXPECT_EQ(c.rc, FontMap_splitPair(line.data(), &key, &value)) << c.line;
        if (c.rc) {
            EXPECT_EQ(nullptr, key);
            continue;
        }
        EXPECT_STREQ(c.key, key) << c.line;
        EXPECT_STREQ(c.value, value) << c.line;
    }
}

TEST(FontMapLines, LibraryLinesGiveNamesStyleAndFile)
{
    struct Case {
        const char *line, *names;
        uint32_t style;
        const char *file;
        int rc;
    } cases[] = {
        {"Arial:Helvetica:SwissA:sans-serif,Italic,,Bold,,,swabi.ef1",
         "Arial:Helvetica:SwissA:sans-serif", 0x106, "swabi.ef1", 0},
        {" Times , oblique ,x, BLACK ,y,z,  f.ttf  ", "Times", 0x208, "f.ttf", 0},
        {"Mono,,,Regular,,,file://root/a,b.ttf", "Mono", 3, "file://root/a,b.ttf", 0},
        {"Odd,Italics,,Bolder,,,g.ttf", "Odd", 3, "g.ttf", 0},
        {"Five,,,Bold,,five.ttf", nullptr, 0, nullptr, Res_fontMapLine},
        {"none", nullptr, 0, nullptr, Res_fontMapLine},
    };
    for (const Case &c : cases) {
        std::string line = c.line;
        FontMapLibraryLine out;
        EXPECT_EQ(c.rc, FontMap_parseLibrary(line.data(), &out)) << c.line;
        if (c.rc)
            continue;
        EXPECT_STREQ(c.names, out.names) << c.line;
        EXPECT_EQ(c.style, out.style) << c.line;
        EXPECT_STREQ(c.file, out.file) << c.line;
    }
}

class FontMapFileTest : public FileFixture {};

TEST_F(FontMapFileTest, LibraryFilesKeepFullUrlsAndResolveTheRest)
{
    Url *dirUrl = url("file://root/okala_dir/Fonts/");
    struct Case {
        const char *file, *url;
    } cases[] = {
        {"file://root/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
         "file://root/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
        {"msyrr.ef1", "file://root/okala_dir/Fonts/msyrr.ef1"},
        {"sub/x.ttf", "file://root/okala_dir/Fonts/sub/x.ttf"},
        {"/abs/y.ttf", "file://root/abs/y.ttf"},
    };
    for (const Case &c : cases) {
        Url *out = nullptr;
        ASSERT_EQ(0, FontMap_fileUrl(ctx, dirUrl, c.file, &out)) << c.file;
        ASSERT_NE(nullptr, out);
        EXPECT_EQ(c.url, TakeC(Url_toUtf8(out, UrlPart_all))) << c.file;
        Url_free(out);
    }
    Url_free(dirUrl);
}

TEST_F(FontMapFileTest, ReadsTheDirectorysMapAndToleratesItsAbsence)
{
    Url *dirUrl = url("file://root" + dir + "/");
    Collected c;
    EXPECT_EQ(0, FontMap_readFile(ctx, dirUrl, collect, &c)) << "no map is no failure";
    EXPECT_TRUE(c.lines.empty());
    writeFile("map", "[Defaults]\r\nA:B\r\n[Library]\r\nA,,,,,,a.ttf");
    EXPECT_EQ(0, FontMap_readFile(ctx, dirUrl, collect, &c));
    EXPECT_EQ((std::vector<std::string>{std::to_string(FontMap_defaults) + "|A:B",
                                        std::to_string(FontMap_library) + "|A,,,,,,a.ttf"}),
              c.lines);
    Url_free(dirUrl);
    // The built-in map: every line of it reads and parses.
    dirUrl = url("file://root/okala_dir/Fonts/");
    c.lines.clear();
    EXPECT_EQ(0, FontMap_readFile(ctx, dirUrl, collect, &c));
    Url_free(dirUrl);
    int library = 0, pairs = 0;
    for (std::string &l : c.lines) {
        std::string section = l.substr(0, l.find('|')), text = l.substr(l.find('|') + 1);
        if (section == std::to_string(FontMap_library)) {
            FontMapLibraryLine lib;
            EXPECT_EQ(0, FontMap_parseLibrary(text.data(), &lib)) << text;
            library++;
        } else {
            char *k, *v;
            EXPECT_EQ(0, FontMap_splitPair(text.data(), &k, &v)) << text;
            pairs++;
        }
    }
    EXPECT_GT(library, 30);
    EXPECT_EQ(16 + 9, pairs) << "[Defaults] and [Supplements]";
}

// ---------------------------------------------------------- collections

std::vector<uint8_t> be32s(std::vector<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(uint8_t(w >> s));
    return out;
}

TEST(FontCollection, HeaderGivesTheFaceOffsetsUpToTheCap)
{
    const uint32_t ttcf = 0x74746366;
    uint32_t offsets[FontCollection_maxFaces], count = 9;
    std::vector<uint8_t> two = be32s({ttcf, 0x10000, 2, 32, 900});
    ASSERT_EQ(0, FontCollection_readHeader(two.data(), two.size(), offsets, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(32u, offsets[0]);
    EXPECT_EQ(900u, offsets[1]);
    std::vector<uint32_t> many = {ttcf, 0x10000, 1000};
    for (uint32_t i = 0; i < 1000; i++)
        many.push_back(100 + i);
    std::vector<uint8_t> big = be32s(many);
    ASSERT_EQ(0, FontCollection_readHeader(big.data(), big.size(), offsets, &count));
    EXPECT_EQ(uint32_t(FontCollection_maxFaces), count);
    EXPECT_EQ(100u + FontCollection_maxFaces - 1, offsets[FontCollection_maxFaces - 1]);
    struct Bad {
        std::vector<uint8_t> bytes;
        int rc;
    } bad[] = {
        {be32s({ttcf, 0x10000, 0}), Res_fontUnsupported},
        {be32s({ttcf, 0x10000}), Res_fontFileUnreadable},
        {be32s({ttcf, 0x10000, 3, 12, 16}), Res_fontFileUnreadable},
        {be32s({ttcf, 0x10000, 0xFFFFFFFF, 12}), Res_fontFileUnreadable},
        {{}, Res_fontFileUnreadable},
    };
    for (Bad &b : bad) {
        count = 9;
        EXPECT_EQ(b.rc, FontCollection_readHeader(b.bytes.data(), b.bytes.size(), offsets, &count));
        EXPECT_EQ(0u, count);
    }
}

// ---------------------------------------------------------- 'name' tables

struct NameRecord {
    uint16_t platform, encoding, language, id;
    std::u16string text;
};

std::vector<uint8_t> nameTable(const std::vector<NameRecord> &records)
{
    std::vector<uint8_t> out, strings;
    auto put16 = [&out](uint32_t v) {
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    };
    put16(0);
    put16(uint16_t(records.size()));
    put16(uint16_t(6 + 12 * records.size()));
    for (const NameRecord &r : records) {
        put16(r.platform);
        put16(r.encoding);
        put16(r.language);
        put16(r.id);
        put16(uint16_t(2 * r.text.size()));
        put16(uint16_t(strings.size()));
        for (char16_t c : r.text) {
            strings.push_back(uint8_t(c >> 8));
            strings.push_back(uint8_t(c));
        }
    }
    out.insert(out.end(), strings.begin(), strings.end());
    return out;
}

class FontNamesTest : public LeakCheckedHeapTest<> {
  protected:
    std::string names(const std::vector<uint8_t> &table, uint32_t *style = nullptr)
    {
        char *n = nullptr;
        uint32_t s = 0;
        EXPECT_EQ(0, FontNames_read(table.data(), table.size(), &n, &s));
        if (style)
            *style = s;
        std::string out = n ? n : "(null)";
        Mem_free(n);
        return out;
    }
};

TEST_F(FontNamesTest, WindowsEnglishFamilyFullAndPostScriptNames)
{
    uint32_t style = 0;
    std::string got = names(nameTable({
                                {1, 0, 0, 1, u"Mac Name"},
                                {3, 1, 0x0407, 1, u"Deutsch"},
                                {3, 1, 0x0409, 1, u"Liberation Sans"},
                                {3, 1, 0x0409, 2, u"Bold Italic"},
                                {3, 1, 0x0409, 3, u"Unique id"},
                                {3, 1, 0x0409, 4, u"  Liberation: Sans Bold Italic"},
                                {3, 0, 0x0409, 6, u"LiberationSans-BoldItalic"},
                                {3, 10, 0x0409, 4, u"Full repertoire"},
                                {3, 1, 0x0409, 4, u"\u00c9l\u00e8ve \u4e2d"},
                            }),
                            &style);
    EXPECT_EQ("Liberation Sans:Liberation; Sans Bold Italic:LiberationSans-BoldItalic:"
              "\u00c9l\u00e8ve \u4e2d",
              got);
    EXPECT_EQ(0x106u, style);
}

TEST_F(FontNamesTest, SubfamilyWordsGiveTheStyle)
{
    struct Case {
        const char16_t *subfamily;
        uint32_t style;
    } cases[] = {
        {u"Regular", 3},          {u"Bold", 6},        {u"Italic", 0x103},
        {u"Oblique", 0x203},      {u"Light", 1},       {u"Light Bold", 1},
        {u"Bold Oblique", 0x206}, {u"bold italic", 3}, {u"", 3},
    };
    for (const Case &c : cases) {
        uint32_t style = 0;
        names(nameTable({{3, 1, 0x0409, 2, c.subfamily}}), &style);
        EXPECT_EQ(c.style, style) << S(c.subfamily);
    }
}

TEST_F(FontNamesTest, ListStaysWithinItsLengthAndDamagedTablesGiveWhatIsSound)
{
    std::u16string longName(200, u'x');
    std::string got = names(nameTable({{3, 1, 0x0409, 1, u"Short"},
                                       {3, 1, 0x0409, 4, longName},
                                       {3, 1, 0x0409, 6, longName},
                                       {3, 1, 0x0409, 6, u"Tail"}}));
    EXPECT_EQ("Short:" + std::string(200, 'x') + ":Tail", got)
        << "the second long name is left out";
    std::vector<uint8_t> table =
        nameTable({{3, 1, 0x0409, 1, u"Good"}, {3, 1, 0x0409, 4, u"Second"}});
    // Every cut of the table: no crash, and only whole names.
    for (size_t cut = 0; cut <= table.size(); cut++) {
        std::vector<uint8_t> part(table.begin(), table.begin() + long(cut));
        std::string n = names(part);
        EXPECT_TRUE(n.empty() || n.rfind("G", 0) == 0) << cut << ": " << n;
    }
    // A string that points past the end; a header whose storage lies outside.
    std::vector<uint8_t> past = table;
    past[6 + 12 + 10] = 0x7F;
    EXPECT_EQ("Good", names(past));
    std::vector<uint8_t> outside = table;
    outside[4] = 0xFF;
    EXPECT_EQ("", names(outside));
    // Failing memory: an error and nothing held.
    for (uint64_t fail = 1; fail < 4; fail++) {
        char *n = reinterpret_cast<char *>(1);
        uint32_t s = 0;
        Mem_failAfter(fail);
        int rc = FontNames_read(table.data(), table.size(), &n, &s);
        Mem_failAfter(0);
        if (rc == 0) {
            Mem_free(n);
            continue;
        }
        EXPECT_EQ(Res_noMemory, rc);
        EXPECT_EQ(nullptr, n);
    }
}

// Fonts of the packages tools/install-deps.sh installs.
TEST_F(FontNamesTest, RealFontsNameThemselves)
{
    struct Case {
        const char *file, *names;
        uint32_t style;
    } cases[] = {
        {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
         "DejaVu Sans:DejaVu Sans Bold:DejaVuSans-Bold", 6},
        {"/usr/share/fonts/truetype/liberation2/LiberationSans-Italic.ttf",
         "Liberation Sans:Liberation Sans Italic:LiberationSans-Italic", 0x103},
    };
    for (const Case &c : cases) {
        std::ifstream in(c.file, std::ios::binary);
        std::vector<uint8_t> font((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        ASSERT_GT(font.size(), 12u) << c.file;
        auto be = [&font](size_t at, int n) {
            uint32_t v = 0;
            for (int i = 0; i < n; i++)
                v = v << 8 | font[at + i];
            return v;
        };
        std::vector<uint8_t> table;
        for (uint32_t t = 0; t < be(4, 2); t++) {
            size_t rec = 12 + 16 * t;
            if (be(rec, 4) == 0x6E616D65) // 'name'
                table.assign(font.begin() + be(rec + 8, 4),
                             font.begin() + be(rec + 8, 4) + be(rec + 12, 4));
        }
        ASSERT_FALSE(table.empty()) << c.file;
        uint32_t style = 0;
        EXPECT_EQ(c.names, names(table, &style)) << c.file;
        EXPECT_EQ(c.style, style) << c.file;
    }
}

TEST_F(FontNamesTest, AddingJoinsWithColonsWithinTheLimit)
{
    char *n = nullptr;
    ASSERT_EQ(0, FontNames_add(&n, "Arial"));
    ASSERT_EQ(0, FontNames_add(&n, "unicode"));
    EXPECT_STREQ("Arial:unicode", n);
    std::string fill(255 - strlen(n) - 1, 'y');
    ASSERT_EQ(0, FontNames_add(&n, fill.c_str()));
    EXPECT_EQ(255u, strlen(n));
    ASSERT_EQ(0, FontNames_add(&n, "z"));
    EXPECT_EQ(255u, strlen(n)) << "a 256th character is dropped";
    Mem_free(n);
}

} // namespace
