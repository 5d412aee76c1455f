// The plain-text import of whole documents: the tree it builds, the
// character-set choice, links, spaces that start lines, powerzoom
// paragraphs, chunk boundaries and running out of memory.
#include <gtest/gtest.h>

#include <string>

#include "core/text/charset.h"
#include "document/import/plaintext.h"
#include "tests/document/plaintext_fixture.h"

namespace {

class TextImportTest : public TextFixture {
  protected:
    // Loads bytes into a new document (whole mode) and renders its root.
    std::string load(const std::string &bytes)
    {
        std::string out;
        run([&] {
            Edr_Doc *doc = newDoc();
            EXPECT_EQ(open(doc, bytes), 0);
            out = render(doc, Edr_Doc_root(doc));
            Edr_Doc_release(doc);
        });
        return out;
    }

    // Appends the pieces to a fresh group through one appender and renders
    // the group's children.
    std::string append(const std::vector<std::u16string> &pieces, uint32_t powerzoom = 0,
                       bool merge = false)
    {
        std::string out;
        run([&] {
            Edr_Doc *doc = newDoc();
            Edr_Node *g = nullptr;
            ASSERT_EQ(Edr_Node_createGroup(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, 0, &g), 0);
            TextAppender a{};
            a.doc = doc;
            a.group = g;
            a.powerzoom = powerzoom;
            for (const std::u16string &p : pieces) {
                std::u16string copy = p;
                ASSERT_EQ(TextDoc_appendText(&a, copy.data(), uint32_t(copy.size()), 0), 0);
            }
            ASSERT_EQ(TextDoc_appendText(&a, nullptr, 0, 1), 0);
            TextDoc_finishAppender(&a);
            out = page(doc, 0, merge);
            Edr_Node_release(doc, g);
            Edr_Doc_release(doc);
        });
        return out;
    }
};

TEST_F(TextImportTest, WholeTextIsOneGroupWithTheDocumentMarked)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, "Hello\n world\r\n  two"), 0);
        EXPECT_EQ(render(doc, Edr_Doc_root(doc)), "[ [1 \"Hello\n~world\r\n~ two\"]]");
        EXPECT_EQ(Edr_Doc_getTypeCodeLocked(doc), uint32_t(TextDoc_typeCode));
        EXPECT_TRUE(Edr_Doc_hasFeatureFlags(doc, 1 | 2 | 4 | 8));
        // A whole document keeps no loader state: the stream is closed.
        EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr);
        Edr_Doc_release(doc);
    });
}

TEST_F(TextImportTest, EmptyStreamGivesAnEmptyGroup)
{
    EXPECT_EQ(load(""), "[ [1]]");
}

// Which character set reads the bytes, by mark, setting and detection.
TEST_F(TextImportTest, CharacterSetChoice)
{
    struct Case {
        const char *name;
        std::string bytes;
        int autoDetect;          // -1: unset
        const char16_t *charset; // null: unset
        std::u16string text;
    };
    const Case cases[] = {
        {"mark, no stray character", "\xEF\xBB\xBFh\xC3\xA9!", -1, nullptr, u"h\u00E9!"},
        {"mark wins over the setting", "\xEF\xBB\xBF\xC3\xA9", 0, u"koi8-r", u"\u00E9"},
        {"no detection, no default: windows-1252", "\x80\x93x", 0, nullptr, u"\u20AC\u201Cx"},
        {"no detection, named default", "\xC1\xC2", 0, u"koi8-r", u"\u0430\u0431"},
        {"unknown default name: windows-1252", "\x80", 0, u"no-such-set", u"\u20AC"},
        {"detection finds UTF-8", "caf\xC3\xA9 cr\xC3\xA8me", -1, nullptr, u"caf\u00E9 cr\u00E8me"},
        {"detection keeps ASCII", "plain", 1, u"koi8-r", u"plain"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string text;
        run([&] {
            if (c.autoDetect >= 0)
                setInt(u"Core", "EnableAutoDetect", uint32_t(c.autoDetect));
            if (c.charset)
                setText(u"Core", "DefaultCharacterSet", c.charset);
            Edr_Doc *doc = newDoc();
            EXPECT_EQ(open(doc, c.bytes), 0);
            text = textOf(doc, 0);
            Edr_Doc_release(doc);
            Config_setUstrA(ctx(), ctx()->config, u"Core", "DefaultCharacterSet", nullptr, 0);
            setInt(u"Core", "EnableAutoDetect", 1);
        });
        EXPECT_EQ(S(text.c_str()), S(c.text.c_str()));
    }
}

TEST_F(TextImportTest, PickCharsetFallsBackWhenATableIsMissing)
{
    run([&] {
        // Shift_JIS needs the Japanese table, which this engine lacks.
        setInt(u"Core", "EnableAutoDetect", 0);
        setText(u"Core", "DefaultCharacterSet", u"shift_jis");
        CharsetConverter convert = nullptr;
        uint32_t code = 99;
        CharsetState state{7, 7};
        ASSERT_EQ(TextDoc_pickCharset(ctx(), nullptr, 0, 0, &convert, &code, &state), 0);
        EXPECT_EQ(code, uint32_t(CharsetCode_latin1));
        EXPECT_EQ(convert, Charset_latin1ToUtf16);
        EXPECT_EQ(state.shift, 0u);
        ASSERT_EQ(TextDoc_pickCharset(ctx(), nullptr, 0, 1, &convert, &code, &state), 0);
        EXPECT_EQ(code, uint32_t(CharsetCode_utf8));
    });
}

TEST_F(TextImportTest, AddressesBecomeLinkGroups)
{
    struct Case {
        std::u16string text;
        std::string tree;
    };
    const Case cases[] = {
        {u"see HTTP://Example.com/a?b=1 and more",
         "\"see \" [2<http://Example.com/a?b=1> \"HTTP://Example.com/a?b=1\"] \" and more\""},
        {u"https://x.org", "[2<https://x.org> \"https://x.org\"]"},
        {u"xhttps://a\nb", "\"x\" [2<https://a> \"https://a\"] \"\nb\""},
        {u"htt", "\"htt\""},
        {u"http:/", "\"http:/\""},
        {u"hhttp://q", "\"h\" [2<http://q> \"http://q\"]"},
        {u"http://a\u00FFb\u20ACc", "[2<http://a\u00FFb> \"http://a\u00FFb\"] \"\u20ACc\""},
        {u"(http://t\u00A0u)", "\"(\" [2<http://t> \"http://t\"] \"~u)\""},
        {u"a http://r\rb", "\"a \" [2<http://r> \"http://r\"] \"\rb\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(S(c.text.c_str()));
        EXPECT_EQ(append({c.text}), c.tree);
    }
}

// Cut anywhere, the text builds the tree it builds whole: a prefix or an
// address cut off waits for the rest, and a space after the cut is an
// ordinary space.
TEST_F(TextImportTest, SplitsAnywhereGiveTheSameTree)
{
    const std::u16string texts[] = {
        u"go to https://example.org/x y now",
        u"line\n http://a.b\n c",
        u"end http://tail.example",
        u"ab cd",
    };
    for (const std::u16string &t : texts) {
        std::string whole = append({t});
        for (size_t k = 0; k <= t.size(); k++) {
            SCOPED_TRACE(S(t.c_str()) + " cut at " + std::to_string(k));
            EXPECT_EQ(append({t.substr(0, k), t.substr(k)}, 0, true), whole);
        }
        for (size_t k = 1; k + 1 < t.size(); k++) {
            SCOPED_TRACE(S(t.c_str()) + " three pieces at " + std::to_string(k));
            EXPECT_EQ(append({t.substr(0, k), t.substr(k, 1), t.substr(k + 1)}, 0, true), whole);
        }
    }
}

TEST_F(TextImportTest, SpacesThatStartALineBecomeNoBreakSpaces)
{
    EXPECT_EQ(append({u" a\n b\r  c d"}), "\"~a\n~b\r~ c d\"");
    // A space at the start of a later call is like any other.
    EXPECT_EQ(append({u"ab", u" c"}), "\"ab\" \" c\"");
    EXPECT_EQ(append({u"ab\n", u" c"}), "\"ab\n\" \"~c\"");
}

// A space that is the first byte of the second chunk follows a letter: it
// stays a space.
TEST_F(TextImportTest, SpaceAtAChunkBoundaryStaysASpace)
{
    std::string bytes(4096, 'x');
    bytes += " y";
    std::u16string text;
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, bytes), 0);
        text = textOf(doc, 0);
        Edr_Doc_release(doc);
    });
    ASSERT_EQ(text.size(), 4098u);
    EXPECT_EQ(text[4096], u' ');
    EXPECT_EQ(text.find(char16_t(0xA0)), std::u16string::npos);
}

// Characters cut by a chunk boundary are read whole from the next chunk; a
// character cut by the end of the text becomes U+FFFD.
TEST_F(TextImportTest, CharactersCutByChunksAndTheEnd)
{
    std::string bytes(4095, 'a');
    bytes += "\xE2\x82\xAC"; // the euro sign across the first boundary
    bytes += std::string(4093, 'b');
    bytes += "\xF0\x9F\x98\x80"; // a character above U+FFFF across the second
    bytes += "z\xE2\x82";        // and one cut off at the end
    std::u16string text;
    run([&] {
        setInt(u"Core", "EnableAutoDetect", 0);
        setText(u"Core", "DefaultCharacterSet", u"utf-8");
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, bytes), 0);
        text = textOf(doc, 0);
        Edr_Doc_release(doc);
    });
    std::u16string want = std::u16string(4095, u'a') + u"\u20AC" + std::u16string(4093, u'b') +
                          u"\U0001F600" + u"z\uFFFD";
    EXPECT_EQ(text == want, true) << "length " << text.size() << " want " << want.size();
}

TEST_F(TextImportTest, PowerzoomStartsAParagraphAfterALongLine)
{
    std::u16string longLine(130, u'a');
    std::string tree = append({u"short\n" + longLine + u"\nnext\n" + longLine + u"\nlast"}, 1);
    std::string a130(130, 'a');
    EXPECT_EQ(tree, "\"short\n" + a130 + "\n\" [3 \"next\n" + a130 + "\n\"] [3 \"last\"]");
    // 128 characters are not more than 128.
    std::u16string line128(128, u'b');
    EXPECT_EQ(append({line128 + u"\nx"}, 1), "\"" + std::string(128, 'b') + "\nx\"");
    // The count goes on across calls.
    EXPECT_EQ(append({std::u16string(100, u'c'), std::u16string(29, u'c') + u"\ny"}, 1),
              "\"" + std::string(100, 'c') + "\" \"" + std::string(29, 'c') + "\n\" [3 \"y\"]");
}

TEST_F(TextImportTest, PowerzoomThroughTheImporter)
{
    std::string tree;
    run([&] {
        setInt(nullptr, "OptimiseTextDaForPowerzoom", 1);
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, std::string(200, 'p') + "\nq"), 0);
        tree = render(doc, Edr_Doc_root(doc));
        Edr_Doc_release(doc);
    });
    EXPECT_EQ(tree, "[ [1 \"" + std::string(200, 'p') + "\n\" [3 \"q\"]]]");
}

// Every allocation that fails gives 1 (or is absorbed where a failure
// only loses a notice) and leaves nothing behind once the document is
// released; the loop ends with the first run that no failure reached.
TEST_F(TextImportTest, RunningOutOfMemoryFailsCleanly)
{
    std::string bytes =
        "first line\n" + std::string(5000, 'w') + " http://cut.example/" + std::string(3000, 'z');
    // A first load stores the defaults of the settings it reads.
    run([&] {
        Edr_Doc *doc = newDoc();
        EXPECT_EQ(open(doc, bytes), 0);
        Edr_Doc_release(doc);
        flushListeners();
    });
    settle();
    size_t before = TestHeap_usedBytes();
    bool reached = true;
    int n = 1;
    for (; n < 5000 && reached; n++) {
        int result = -1;
        run([&] {
            Edr_Doc *doc = newDoc();
            VfsHandle *stream = memoryStream(bytes);
            ASSERT_NE(stream, nullptr);
            (void)Mem_takeOutOfMemory();
            Mem_failAfter(uint64_t(n));
            result = desc.open(ctx(), &desc, nullptr, stream, doc, Edr_Doc_root(doc));
            Mem_failAfter(0);
            reached = Mem_takeOutOfMemory() != 0;
            if (!reached) {
                EXPECT_EQ(textOf(doc, 0).size(), 11u + 5000 + 20 + 3000);
            }
            Edr_Doc_release(doc);
            flushListeners();
        });
        EXPECT_TRUE(result == 0 || (reached && result == 1)) << "result " << result << " at " << n;
        settle();
        EXPECT_EQ(TestHeap_usedBytes(), before) << "after failing allocation " << n;
    }
    EXPECT_FALSE(reached);
    EXPECT_GT(n, 10);
}

} // namespace
