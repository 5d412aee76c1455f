// Pages on demand: the page table the import records, the first page built
// at once, later pages built by the handler's step as the translation job
// asks for them, and a stateful character set read right on later pages.
//
// The expected pages come from a model of the page rule over the decoded
// text: a line ends at a line feed or at its 86th character (carriage
// returns do not count), and a page ends after 66 lines, the next page
// starting at the next character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "document/import/plaintext.h"
#include "tests/document/plaintext_fixture.h"

namespace {

// Where each page starts in the text.
std::vector<size_t> modelPages(const std::u16string &t)
{
    std::vector<size_t> starts{0};
    uint32_t column = 0, lines = 0;
    bool pending = false;
    for (size_t i = 0; i < t.size(); i++) {
        if (pending) {
            starts.push_back(i);
            pending = false;
        }
        if (t[i] == u'\n') {
            lines++;
            column = 0;
        } else if (t[i] != u'\r' && ++column == 86) {
            lines++;
            column = 0;
        }
        if (lines == 66) {
            lines = 0;
            pending = true;
        }
    }
    return starts;
}

// The text of a page as its group holds it: spaces that start a line
// (the page's first character included) are no-break spaces.
std::u16string modelPageText(const std::u16string &t, const std::vector<size_t> &starts, size_t k)
{
    size_t end = k + 1 < starts.size() ? starts[k + 1] : t.size();
    std::u16string s = t.substr(starts[k], end - starts[k]);
    for (size_t i = 0; i < s.size(); i++)
        if (s[i] == u' ' && (i == 0 || s[i - 1] == u'\n' || s[i - 1] == u'\r'))
            s[i] = 0xA0;
    return s;
}

bool endsAddress(char16_t c)
{
    return c == 0 || c == 0xA0 || c == u' ' || c == u'\r' || c == u'\n' || c > 0xFF;
}

// The addresses of a page's text.
std::vector<std::u16string> modelLinks(const std::u16string &s)
{
    std::vector<std::u16string> out;
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (size_t i = 0; i < s.size(); i++) {
        size_t m = 0;
        for (const char16_t *form : {u"http://", u"https://"}) {
            size_t k = 0;
            while (form[k] && i + k < s.size() && lower(s[i + k]) == form[k])
                k++;
            if (!form[k])
                m = k;
        }
        if (!m)
            continue;
        size_t j = i + m;
        while (j < s.size() && !endsAddress(s[j]))
            j++;
        out.push_back(s.substr(i, j - i));
        i = j - 1;
    }
    return out;
}

// UTF-8 of one code point.
std::string utf8(uint32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += char(cp);
    } else if (cp < 0x800) {
        s += char(0xC0 | cp >> 6);
        s += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += char(0xE0 | cp >> 12);
        s += char(0x80 | (cp >> 6 & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    } else {
        s += char(0xF0 | cp >> 18);
        s += char(0x80 | (cp >> 12 & 0x3F));
        s += char(0x80 | (cp >> 6 & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    }
    return s;
}

// About a megabyte of UTF-8 text after a byte-order mark: lines of 0 to 200
// characters with words, spaces that start lines, carriage returns,
// characters of two, three and four bytes and addresses. It starts with
// lines of 85 letters, so that the chunks (which start after the mark, at
// bytes 3, 4099 and 8195) cut an address prefix on the first page and an
// address on the second.
std::string megabyteText()
{
    std::string head;
    while (head.size() < 8600)
        head += std::string(85, 'a') + "\n";
    auto patch = [&](size_t at, const std::string &text) { head.replace(at, text.size(), text); };
    patch(4092, " http://split.example/a ");           // "htt" ends the first chunk
    patch(8180, " https://across.example/long/path "); // the address crosses byte 8195
    std::string s = "\xEF\xBB\xBF" + head;
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    while (s.size() < (size_t(1) << 20)) {
        uint32_t length = next(201);
        std::string line;
        if (next(5) == 0)
            line += "  ";
        uint32_t chars = 0;
        while (chars < length) {
            uint32_t r = next(40);
            if (r == 0) {
                line += next(2) ? "http://example.org/p" : "HTTPS://Mixed.Case/q";
                line += std::to_string(next(1000));
                chars += 24;
            } else if (r == 1) {
                line += utf8(0xE9);
                chars++;
            } else if (r == 2) {
                line += utf8(0x20AC);
                chars++;
            } else if (r == 3) {
                line += utf8(0x1F600);
                chars += 2;
            } else if (r < 10) {
                line += ' ';
                chars++;
            } else {
                line += char('a' + next(26));
                chars++;
            }
        }
        s += line;
        s += next(7) == 0 ? "\r\n" : "\n";
    }
    return s;
}

class TextPagesTest : public TextFixture {
  protected:
    void SetUp() override
    {
        TextFixture::SetUp();
        run([this] { pageOnDemand(); });
    }

    static TextLoader *loaderOf(Edr_Doc *doc)
    {
        return static_cast<TextLoader *>(Edr_Doc_getLoaderData(doc));
    }

    // What the translation job does for a page request: the requested page
    // is loading, the handler builds it, the current page is dropped and
    // the requested one becomes current.
    static int request(Edr_Doc *doc, uint32_t page)
    {
        uint32_t current = Edr_Doc_getSelectedRootChild(doc);
        int err = Edr_Doc_dropPage(doc, page, 0);
        if (err == Res_ok)
            err = TextDoc_step(doc, page);
        if (err != Res_ok) {
            (void)Edr_Doc_dropPage(doc, page, 1);
            return err;
        }
        if (current != page && (err = Edr_Doc_dropPage(doc, current, 1)) != Res_ok)
            return err;
        return Edr_Doc_markRootChild(doc, page);
    }

    static std::string show(const std::u16string &s)
    {
        return S(s.c_str());
    }
};

TEST_F(TextPagesTest, MegabyteTextLoadsPageByPage)
{
    std::string bytes = megabyteText();
    std::u16string text = U(bytes.substr(3));
    std::vector<size_t> starts = modelPages(text);
    ASSERT_GT(starts.size(), 100u);
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        // A top-level document: the manager runs its passes.
        Edr_Doc_setMarkFlag(doc, 1);
        ASSERT_EQ(open(doc, bytes), 0);
        ASSERT_TRUE(Edr_Doc_isPageOnDemand(doc));
        TextLoader *loader = loaderOf(doc);
        ASSERT_NE(loader, nullptr);
        EXPECT_EQ(loader->pageCount, starts.size());
        EXPECT_EQ(loader->pageStarts[0], 3u);
        EXPECT_EQ(loader->pageChars[0], 0u);
        ASSERT_EQ(rootChildren(doc), starts.size());
        // The first page is built at once, with the cut prefix read whole.
        std::u16string first = modelPageText(text, starts, 0);
        EXPECT_EQ(show(textOf(doc, 0)), show(first));
        EXPECT_EQ(linksOf(doc, 0), std::vector<std::u16string>{u"http://split.example/a"});
        // The other pages wait, their contents dropped.
        EXPECT_EQ(page(doc, 1), "");
        EXPECT_EQ(render(doc, childAt(Edr_Doc_root(doc), uint32_t(starts.size() - 1))), "[1!]");
    });
    ASSERT_NE(doc, nullptr);
    // Every page built on request holds its part of the text; the page it
    // replaces is emptied. Page 0 is built again at the end. Between
    // requests the manager collects the nodes of dropped pages.
    size_t linkCount = 0;
    for (uint32_t k = 1; k <= starts.size(); k++) {
        uint32_t p = k % uint32_t(starts.size());
        SCOPED_TRACE("page " + std::to_string(p));
        run([&] {
            ASSERT_EQ(request(doc, p), 0);
            std::u16string want = modelPageText(text, starts, p);
            ASSERT_EQ(show(textOf(doc, p)), show(want));
            std::vector<std::u16string> links = linksOf(doc, p);
            EXPECT_EQ(links, modelLinks(want));
            linkCount += links.size();
            if (p == 1) {
                EXPECT_EQ(show(links.at(0)), "https://across.example/long/path");
            }
            uint32_t previous = (p + uint32_t(starts.size()) - 1) % uint32_t(starts.size());
            EXPECT_EQ(page(doc, previous), "");
        });
        advance(2000);
        settle();
    }
    EXPECT_GT(linkCount, 500u);
    run([&] { Edr_Doc_release(doc); });
}

// Texts in a one-byte character set (windows-1252 here) whose page ends
// fall anywhere in their chunks: every page starts where the page rule
// says, and pages built on request hold their part of the text.
TEST_F(TextPagesTest, OneByteTextPagesFollowTheRule)
{
    uint32_t seed = 99;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    // Lines of 0 to 300 characters (many of them 85, 86, 87 or 172 long),
    // ending in LF, CRLF, or CR alone (no line end); letters, spaces and
    // the bytes 0xE9 and 0x80.
    std::string mixed;
    while (mixed.size() < 300000) {
        const uint32_t lengths[] = {0, 1, 85, 86, 87, 172, next(301)};
        uint32_t n = lengths[next(7)];
        for (uint32_t i = 0; i < n; i++) {
            uint32_t r = next(30);
            mixed += r == 0 ? '\xE9' : r == 1 ? '\x80' : r < 6 ? ' ' : char('a' + next(26));
        }
        uint32_t end = next(8);
        mixed += end == 0 ? "\r\n" : end == 1 ? "\r" : end == 2 ? "\r\r\n" : "\n";
    }
    struct Case {
        const char *name;
        std::string bytes;
    };
    const Case cases[] = {
        {"mixed lines", mixed},
        {"one line of 200,000 characters", std::string(200000, 'w')},
        {"lines of 85 characters",
         [] {
             std::string t;
             while (t.size() < 100000)
                 t += std::string(85, 'q') + "\n";
             return t;
         }()},
        {"carriage returns only", std::string(50000, '\r') + std::string(20000, 'c')},
    };
    auto decode = [](const std::string &b) {
        std::u16string t;
        for (char c : b)
            t += c == '\xE9' ? u'\u00E9' : c == '\x80' ? u'\u20AC' : char16_t(uint8_t(c));
        return t;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string text = decode(c.bytes);
        std::vector<size_t> starts = modelPages(text);
        ASSERT_GT(starts.size(), 3u);
        run([&] {
            setInt(u"Core", "EnableAutoDetect", 0);
            setText(u"Core", "DefaultCharacterSet",
                    U(Charset_getName(CharsetCode_win1252)).c_str());
            Edr_Doc *doc = newDoc();
            ASSERT_EQ(open(doc, c.bytes), 0);
            TextLoader *loader = loaderOf(doc);
            ASSERT_NE(loader, nullptr);
            ASSERT_EQ(loader->pageCount, starts.size());
            ASSERT_EQ(rootChildren(doc), starts.size());
            for (size_t k = 0; k < starts.size(); k++)
                ASSERT_EQ(loader->pageStarts[k] + loader->pageChars[k], starts[k]) << "page " << k;
            // The entry after the last page is the end of the text.
            EXPECT_EQ(loader->pageStarts[starts.size()] + loader->pageChars[starts.size()],
                      text.size());
            EXPECT_EQ(show(textOf(doc, 0)), show(modelPageText(text, starts, 0)));
            for (uint32_t p : {1u, uint32_t(starts.size() / 2), uint32_t(starts.size() - 1)}) {
                SCOPED_TRACE("page " + std::to_string(p));
                ASSERT_EQ(request(doc, p), 0);
                EXPECT_EQ(show(textOf(doc, p)), show(modelPageText(text, starts, p)));
            }
            Edr_Doc_release(doc);
        });
    }
}

TEST_F(TextPagesTest, PageFiveOnRequest)
{
    std::string bytes;
    for (int line = 0; line < 66 * 8; line++)
        bytes += "page " + std::to_string(line / 66) + " line " + std::to_string(line % 66) + "\n";
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, bytes), 0);
        ASSERT_EQ(rootChildren(doc), 8u);
        EXPECT_EQ(page(doc, 5), "");
        ASSERT_EQ(request(doc, 5), 0);
        std::string want;
        for (int line = 0; line < 66; line++)
            want += "page 5 line " + std::to_string(line) + "\n";
        EXPECT_EQ(page(doc, 5), "\"" + want + "\"");
        EXPECT_EQ(render(doc, childAt(Edr_Doc_root(doc), 0)), "[1!]");
        EXPECT_EQ(Edr_Doc_getSelectedRootChild(doc), 5u);
        // Pages beyond the text, and no document.
        EXPECT_EQ(TextDoc_step(doc, 8), int(Res_nullInput));
        EXPECT_EQ(TextDoc_step(nullptr, 0), int(Res_missingArgument));
        Edr_Doc_release(doc);
    });
}

// Lines longer than 86 characters count once per 86; a text that ends with
// a full page gets no empty page after it; a single-page setting loads the
// whole text at once.
TEST_F(TextPagesTest, LinesAndPageEnds)
{
    std::string lines63;
    for (int i = 0; i < 63; i++)
        lines63 += "x\n";
    struct Case {
        const char *name;
        std::string bytes;
        uint32_t pages;
        std::string secondPageStart;
    };
    const Case cases[] = {
        {"200 characters are three lines", lines63 + std::string(200, 'y') + "\nafter\n", 2,
         "after"},
        {"172 characters and a line feed are three lines",
         lines63 + std::string(172, 'y') + "\nnext", 2, "next"},
        {"86 characters are one line", lines63 + std::string(86, 'y') + "\nz\nlast", 2, "last"},
        {"carriage returns do not count", lines63 + "\r\r\na\r\nb\r\nc", 2, "c"},
        {"exactly 66 lines", lines63 + "1\n2\n3\n", 1, ""},
        {"66 lines and one character", lines63 + "1\n2\n3\n4", 2, "4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        run([&] {
            Edr_Doc *doc = newDoc();
            ASSERT_EQ(open(doc, c.bytes), 0);
            EXPECT_EQ(rootChildren(doc), c.pages);
            if (c.pages > 1) {
                ASSERT_EQ(request(doc, 1), 0);
                EXPECT_EQ(S(textOf(doc, 1).c_str()).substr(0, c.secondPageStart.size()),
                          c.secondPageStart);
            }
            Edr_Doc_release(doc);
        });
    }
    run([&] {
        setInt(u"Core", "Vexlan_TextDaSinglePage", 1);
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, cases[0].bytes), 0);
        EXPECT_EQ(rootChildren(doc), 1u);
        EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr);
        EXPECT_EQ(textOf(doc, 0).size(), cases[0].bytes.size());
        Edr_Doc_release(doc);
    });
}

// ISO-2022-JP keeps a shift state: the second page starts in a chunk whose
// bytes are two-byte JIS only because an escape two chunks earlier said
// so. The page reads as the import read it.
TEST_F(TextPagesTest, StatefulCharsetReadsRightOnLaterPages)
{
    ASSERT_EQ(Charset_createHooks(ctx()), 0);
    ASSERT_EQ(Charset_installJapanese(ctx()->charsetHooks), 0);
    const uint32_t pairs = 66 * 86 + 500;
    std::string bytes = "\x1B$B";
    for (uint32_t i = 0; i < pairs; i++)
        bytes += "\x30\x21"; // U+4E9C
    bytes += "\x1B(B\nend";
    run([&] {
        setInt(u"Core", "EnableAutoDetect", 0);
        setText(u"Core", "DefaultCharacterSet", U(Charset_getName(CharsetCode_iso2022jp)).c_str());
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, bytes), 0);
        ASSERT_EQ(rootChildren(doc), 2u);
        TextLoader *loader = loaderOf(doc);
        // The page starts in the third chunk, in two-byte mode.
        EXPECT_GT(loader->pageStarts[1], 8000u);
        EXPECT_NE(loader->pageStates[1].shift, 0u);
        EXPECT_EQ(textOf(doc, 0), std::u16string(66 * 86, u'\u4E9C'));
        ASSERT_EQ(request(doc, 1), 0);
        EXPECT_EQ(show(textOf(doc, 1)), show(std::u16string(500, u'\u4E9C') + u"\nend"));
        ASSERT_EQ(request(doc, 0), 0);
        EXPECT_EQ(textOf(doc, 0), std::u16string(66 * 86, u'\u4E9C'));
        Edr_Doc_release(doc);
    });
    Charset_destroyHooks(ctx());
}

// Pages are only made for the document's own root: a text opened under
// another group loads whole.
TEST_F(TextPagesTest, TextUnderAnotherGroupLoadsWhole)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        Edr_Node *g = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, 0, &g), 0);
        std::string bytes;
        for (int i = 0; i < 200; i++)
            bytes += "line\n";
        VfsHandle *stream = memoryStream(bytes);
        ASSERT_EQ(desc.open(ctx(), &desc, nullptr, stream, doc, g), 0);
        EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr);
        EXPECT_EQ(render(doc, g), "[ [1 \"" + bytes + "\"]]");
        Edr_Node_release(doc, g);
        Edr_Doc_release(doc);
    });
}

} // namespace
