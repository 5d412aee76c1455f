// The "choices.txt" parser: line kinds, the number syntax of values, the
// last line without LF, over-long lines, windows of every size, read and
// close errors, and running out of memory part-way.
#include "tests/core/config_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/config/settings.h"
#include "core/result.h"

namespace {

// A source that lends windows of a text: as many bytes as asked; with a
// limit, what the last window left unconsumed plus at most `limit` new
// bytes (a stream that fills its buffer in pieces); with `generous`,
// everything that is left whatever is asked. readError fails the read of
// that number (1 = the first).
struct FakeSource {
    std::string data;
    size_t pos = 0;
    size_t limit = 0;
    bool generous = false;
    int reads = 0;
    int readError = 0;
    int closeResult = 0;
    bool lent = false;
    bool closed = false;
    size_t lastLen = 0;
    size_t left = 0; // bytes of the last window not consumed

    static int getReadBuf(void *h, size_t want, const uint8_t **ptr, size_t *len)
    {
        FakeSource *s = static_cast<FakeSource *>(h);
        *ptr = nullptr;
        *len = 0;
        EXPECT_FALSE(s->lent) << "a second lend without a done call";
        EXPECT_LE(want, size_t(Settings_window));
        if (++s->reads == s->readError)
            return Res_fileRead;
        size_t n = s->data.size() - s->pos;
        if (!s->generous) {
            n = std::min(n, want);
            if (s->limit)
                n = std::min(n, s->left + s->limit);
        }
        s->lastLen = n;
        *ptr = reinterpret_cast<const uint8_t *>(s->data.data()) + s->pos;
        *len = n;
        s->lent = true;
        return 0;
    }
    static int readDone(void *h, size_t n)
    {
        FakeSource *s = static_cast<FakeSource *>(h);
        EXPECT_TRUE(s->lent);
        s->lent = false;
        s->pos += n;
        s->left = s->lastLen - n;
        EXPECT_LE(s->pos, s->data.size());
        return 0;
    }
    static int close(void *h)
    {
        FakeSource *s = static_cast<FakeSource *>(h);
        s->closed = true;
        return s->closeResult;
    }
    SettingsSource source()
    {
        return SettingsSource{this, getReadBuf, readDone, close};
    }
};

class SettingsParseTest : public ConfigFixture {
  protected:
    // Reads text through a fake source; returns the result.
    int read(const std::string &text, size_t limit = 0, bool generous = false)
    {
        FakeSource src;
        src.data = text;
        src.limit = limit;
        src.generous = generous;
        SettingsSource s = src.source();
        int r = Settings_readSource(ctx, store, &s);
        EXPECT_TRUE(src.closed);
        EXPECT_LT(src.reads, int(text.size()) + 3) << "reads must make progress";
        return r;
    }
    // The store after reading text into a fresh store.
    std::map<std::string, std::string> parse(const std::string &text, size_t limit = 0,
                                             bool generous = false)
    {
        Config_freeStore(ctx, store);
        store = Config_createStore(ctx, u"x");
        EXPECT_EQ(read(text, limit, generous), 0);
        return ConfigDump(store);
    }
};

TEST_F(SettingsParseTest, SectionsKeysAndValues)
{
    auto all = parse("[Core]\n"
                     "a=12\n"
                     "a =  12\n"
                     "b=12 \n"
                     "name=Vexlan viewer\n"
                     "ab=\n"
                     "[View]\n"
                     "a=x=y\n"
                     " spaced key = v \n");
    std::map<std::string, std::string> expected = {
        {"Core/a", "12"},
        {"Core/a ", "12"},
        {"Core/b", "12 "},
        {"Core/name", "Vexlan viewer"},
        {"Core/ab", ""},
        {"View/a", "x=y"},
        {"View/ spaced key ", " v "},
    };
    EXPECT_EQ(all, expected);
}

TEST_F(SettingsParseTest, IgnoredLines)
{
    auto all = parse("early=1\n" // before any section
                     "[S]\n"
                     "a=\n" // shorter than 3 bytes
                     "[]\n"
                     "#c=1\n" // comment
                     "no equals\n"
                     "x]y[z\n" // "]" before "[": no section
                     "[open\n" // no "]"
                     "k=v\n"
                     "[\n"
                     "\n"
                     "\r\n");
    std::map<std::string, std::string> expected = {{"S/k", "v"}};
    EXPECT_EQ(all, expected);
}

TEST_F(SettingsParseTest, SectionLines)
{
    // "[" anywhere makes a section line, even in what looks like a value;
    // the name ends at the first "]" from the second byte on.
    auto all = parse("[A]\n"
                     "url=http://h/[x]\n"
                     "k=1\n"
                     "[B]junk]\n"
                     "k=2\n"
                     "]x[C]\n" // "]" at byte 0 is not searched
                     "k=3\n"
                     "[]x\n" // an empty name
                     "k=4\n");
    std::map<std::string, std::string> expected = {
        {"x/k", "1"}, {"B/k", "2"}, {"C/k", "3"}, {"/k", "4"}};
    EXPECT_EQ(all, expected);
}

TEST_F(SettingsParseTest, CrlfLinesAndBytesAsLatinOne)
{
    auto all = parse("[S]\r\nk=5\r\nname=caf\xe9\r\nlone=a\rb\r\n");
    std::map<std::string, std::string> expected = {
        {"S/k", "5"}, {"S/name", "caf\xe9"}, {"S/lone", "a\rb"}};
    EXPECT_EQ(all, expected);
    char16_t *v = Config_getUstr(ctx, store, u"S", u"name", nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[3], 0xe9);
    Mem_free(v);
}

struct NumberCase {
    const char *text;
    bool number;
    uint32_t value;
};

TEST_F(SettingsParseTest, NumberSyntax)
{
    const NumberCase cases[] = {
        {"12", true, 12},
        {" 12", true, 12},
        {"\t\v\f+ +12", true, 12},
        {"0", true, 0},
        {"0x1F", true, 31},
        {"0xff", true, 255},
        {"0x", true, 0}, // the "0" is a digit
        {"010", true, 8},
        {"2K", true, 2048},
        {"2k", true, 2048},
        {"3Mb", true, 3145728},
        {"0x2kB", true, 2048},
        {"-1", true, 4294967295u},
        {"+-5", true, 4294967291u},
        {"4294967295", true, 4294967295u},
        {"-4294967295", true, 1},
        {"0xFFFFFFFF", true, 4294967295u},
        {"037777777777", true, 4294967295u},
        {"4095M", true, 4095u << 20},
        {"4194303K", true, 4194303u << 10},
        // Magnitudes beyond 32 bits are not numbers (they used to wrap).
        {"4294967296", false, 0},
        {"4294967297", false, 0},
        {"-4294967296", false, 0},
        {"0x100000000", false, 0},
        {"040000000000", false, 0},
        {"4096M", false, 0},
        {"5000M", false, 0},
        {"4194304K", false, 0},
        {"99999999999999999999999", false, 0},
        {"12K junk", true, 12288},
        {"0X1F", false, 0},
        {"09", false, 0},
        {"08", false, 0},
        {"1e", false, 0},
        {"0b", false, 0},
        {"-+5", false, 0},
        {"--5", false, 0},
        {"12 ", false, 0},
        {"1.5", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"K", false, 0},
        {"0xg", false, 0},
        {"abc", false, 0},
    };
    for (const NumberCase &c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t v = 99;
        EXPECT_EQ(Settings_parseNumber(c.text, &v), c.number ? 1 : 0);
        EXPECT_EQ(v, c.value);
    }

    // Through the file, numbers are stored as unsigned decimal text and
    // everything else as written.
    std::string text = "[N]\n";
    for (size_t i = 0; i < std::size(cases); i++)
        text += "v" + std::to_string(i) + "=" + cases[i].text + "\n";
    auto all = parse(text);
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].text);
        std::string expected =
            cases[i].number ? std::to_string(cases[i].value) : std::string(cases[i].text);
        EXPECT_EQ(all["N/v" + std::to_string(i)], expected);
    }
}

TEST_F(SettingsParseTest, LastLineWithoutLfIsApplied)
{
    EXPECT_EQ(parse("[S]\nk=1"), (std::map<std::string, std::string>{{"S/k", "1"}}));
    EXPECT_EQ(parse("[S]\nk=1\r"), (std::map<std::string, std::string>{{"S/k", "1"}}));
    EXPECT_EQ(parse("[S]"), (std::map<std::string, std::string>{}));
    EXPECT_EQ(parse(""), (std::map<std::string, std::string>{}));
    // Ending exactly on a window boundary.
    std::string text = "[S]\nk=" + std::string(Settings_window - 6, 'v');
    ASSERT_EQ(text.size(), size_t(Settings_window));
    EXPECT_EQ(parse(text)["S/k"].size(), size_t(Settings_window - 6));
}

TEST_F(SettingsParseTest, OverLongLinesAreSkippedWhole)
{
    std::string longest = "k=" + std::string(Settings_lineMax - 3, 'v'); // 4095 bytes
    std::string tooLong = "t=" + std::string(Settings_lineMax - 2, 'v'); // 4096 bytes
    std::string huge = "h=" + std::string(3 * Settings_window + 17, 'v');
    std::string text = "[S]\n" + longest + "\n" + tooLong + "\na=1\n" + huge + "\nb=2\n" + huge;
    for (size_t limit : {size_t(0), size_t(1), size_t(7), size_t(4095)}) {
        SCOPED_TRACE(limit);
        auto all = parse(text, limit);
        EXPECT_EQ(all.size(), 3u);
        EXPECT_EQ(all["S/k"].size(), longest.size() - 2);
        EXPECT_EQ(all["S/a"], "1");
        EXPECT_EQ(all["S/b"], "2");
    }
    // A source that lends more than asked gives the same result.
    EXPECT_EQ(parse(text, 0, true).size(), 3u);
}

// Whatever the window sizes, the result is the same.
TEST_F(SettingsParseTest, WindowSizesDoNotMatter)
{
    std::string text = "# settings\n[Core]\nzoom=0x10\nname=a b c\r\n[View]\n"
                       "pan=3K\nlast=-2";
    auto whole = parse(text, 0, true);
    EXPECT_EQ(whole.size(), 4u);
    for (size_t limit = 1; limit <= text.size() + 1; limit++)
        EXPECT_EQ(parse(text, limit), whole) << "windows of " << limit;
}

TEST_F(SettingsParseTest, ParseLinesReportsWhereItStopped)
{
    SettingsParser p;
    Settings_parserInit(ctx, &p, store);
    const std::string text = "[S]\nk=1\npart";
    const uint8_t *data = reinterpret_cast<const uint8_t *>(text.data());
    size_t used = 99;
    EXPECT_EQ(Settings_parseLines(&p, data, text.size(), 0, &used), 0);
    EXPECT_EQ(used, 8u) << "just after the last LF";
    EXPECT_EQ(stored("S", "k"), "1");
    EXPECT_EQ(Settings_parseLines(&p, data + used, text.size() - used, 1, &used), 0);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(Settings_parseLines(&p, nullptr, 0, 0, &used), 0);
    EXPECT_EQ(used, 0u);
    Settings_parserFini(&p);
    EXPECT_EQ(p.section, nullptr);
}

TEST_F(SettingsParseTest, ReadAndCloseErrors)
{
    FakeSource src;
    src.data = "[S]\na=1\nb=2\n";
    src.limit = 8;
    src.readError = 2;
    src.closeResult = Res_fileWrite;
    SettingsSource s = src.source();
    EXPECT_EQ(Settings_readSource(ctx, store, &s), Res_fileRead) << "the first error wins";
    EXPECT_TRUE(src.closed);
    EXPECT_EQ(ConfigDump(store), (std::map<std::string, std::string>{{"S/a", "1"}}));

    FakeSource ok;
    ok.data = "[S]\nc=3\n";
    ok.closeResult = Res_fileWrite;
    s = ok.source();
    EXPECT_EQ(Settings_readSource(ctx, store, &s), Res_fileWrite);
    EXPECT_EQ(stored("S", "c"), "3");
}

TEST_F(SettingsParseTest, WatchersHearSettingsFromTheFile)
{
    std::string log;
    ASSERT_EQ(Config_watch(
                  ctx, u"S", u"k",
                  [](EngineContext *, void *user) {
                      *static_cast<std::string *>(user) += "k ";
                      return int32_t(0);
                  },
                  &log, 0),
              0);
    parse("[S]\nk=1\nk=two\nother=3\n");
    EXPECT_EQ(log, "k k ");
}

// Running out of memory stops the parse at that line with 1: the lines
// before it have taken effect, nothing leaks, and the stream is closed.
TEST_F(SettingsParseTest, OutOfMemoryStopsAtTheLine)
{
    const std::string text = "[S]\na=1\n[T]\nb=string value\n[U]\nc=3";
    auto full = parse(text);
    ASSERT_EQ(full.size(), 3u);
    for (uint64_t n = 1;; n++) {
        Config_freeStore(ctx, store);
        store = Config_createStore(ctx, u"x");
        FakeSource src;
        src.data = text;
        SettingsSource s = src.source();
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        int r = Settings_readSource(ctx, store, &s);
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        EXPECT_TRUE(src.closed);
        EXPECT_TRUE(r == 0 || r == Res_noMemory) << r;
        auto got = ConfigDump(store);
        for (auto &[k, v] : got)
            EXPECT_EQ(full[k], v) << k;
        if (r == Res_noMemory) {
            EXPECT_LT(got.size(), full.size());
        }
        if (!failed) {
            EXPECT_EQ(got, full);
            break;
        }
        ASSERT_LT(n, 200u);
    }
}

} // namespace
