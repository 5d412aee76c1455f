// Loading: recognition, character sets and byte-order marks, chunked reads
// and the handler's open.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/text/charset_cjk.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "platform/api/request.h"
#include "tests/html/html_fixture.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream f(std::string(VEXLAN_FIXTURES) + "/html/" + name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class HtmlLoadTest : public HtmlFixture {
  protected:
    void SetUp() override
    {
        HtmlFixture::SetUp();
        ASSERT_EQ(Charset_createHooks(ctx()), 0);
        ASSERT_EQ(Charset_installJapanese(ctx()->charsetHooks), 0);
    }
    void TearDown() override
    {
        Charset_destroyHooks(ctx());
        HtmlFixture::TearDown();
    }
    int32_t sniff(const std::string &bytes, uint32_t *kind)
    {
        int32_t score = -1;
        run([&] {
            VfsHandle *h = memoryStream(bytes);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(desc.sniff(ctx(), &desc, h, &score, kind), 0);
            // Nothing was consumed.
            const uint8_t *p = nullptr;
            size_t n = 0;
            ASSERT_EQ(Vfs_getReadBuf(h, 4096, &p, &n), 0);
            EXPECT_EQ(n, bytes.size());
            Vfs_readDone(h, 0);
            Vfs_close(h);
        });
        return score;
    }
    std::string title(Edr_Doc *doc)
    {
        char16_t *t = nullptr;
        EXPECT_EQ(Edr_Doc_copyAuxText(doc, &t), 0);
        std::string out = t ? S(t) : "";
        Mem_free(t);
        return out;
    }
};

TEST_F(HtmlLoadTest, RecognisesMarkupAndText)
{
    uint32_t kind = 0;
    EXPECT_EQ(sniff("<HTML><body>x", &kind), 90);
    EXPECT_EQ(kind, uint32_t(Html_sniffKind));
    EXPECT_EQ(sniff("  text <<head>", &kind), 90);
    EXPECT_EQ(sniff("<!DocType html>", &kind), 90);
    // Too short to hold the word.
    EXPECT_EQ(sniff("<htm", &kind), 10);
    EXPECT_EQ(sniff("plain printable words", &kind), 10);
    EXPECT_EQ(kind, uint32_t(Html_sniffKind));
    // The marks count only within the first 1024 bytes.
    EXPECT_EQ(sniff(std::string(1100, 'a') + "<html>", &kind), 10);
    EXPECT_EQ(sniff(std::string("\x01\x02\x03\x00\xff\xfe\x00\x10", 8), &kind), 0);
    EXPECT_EQ(kind, 0u);
    int32_t score = -1;
    run([&] {
        EXPECT_EQ(desc.matchMime(ctx(), &desc, u"TEXT/html", &score), 0);
        EXPECT_EQ(score, 100);
        EXPECT_EQ(desc.matchMime(ctx(), &desc, u"text/plain", &score), 0);
        EXPECT_EQ(score, 0);
    });
}

TEST_F(HtmlLoadTest, OpenSetsTheDocumentUp)
{
    run([&] {
        Edr_Doc *doc = load("<p>x");
        EXPECT_EQ(Edr_Doc_getTypeCodeLocked(doc), uint32_t(Html_typeCode));
        EXPECT_EQ(Edr_Doc_testFlags(doc, 1 | 2 | 8), 1);
        EXPECT_EQ(Edr_Doc_getMode(doc), uint32_t(Html_modeQuirks));
        // The tree hangs under one top group.
        Edr_Doc_readLock(doc);
        Edr_Node *top = Edr_Node_firstChild(Edr_Doc_root(doc));
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(Edr_Node_group(top)->element, uint32_t(HtmlEl_Okalasection));
        EXPECT_EQ(Edr_Node_nextSibling(top), nullptr);
        Edr_Doc_readUnlock(doc);
        Edr_Doc_release(doc);
    });
}

// Each encoded fixture holds the same page in its language.
const char kRussian[] = "Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая электрификация южных "
                        "губерний даст мощный толчок подъёму сельского хозяйства.";
const char kJapanese[] = "これは日本語の文書です。漢字とひらがなとカタカナを含みます。東京都の天気は晴れです。";

struct Encoded {
    const char *file;
    const char16_t *charset; // the default with detection off; null: detected
    const char *title;
    const char *text;
};

const Encoded kEncoded[] = {
    {"cp1251.html", u"windows-1251", "Пример", kRussian},
    {"shift_jis.html", nullptr, "日本語", kJapanese},
    {"shift_jis.html", u"Shift_JIS", "日本語", kJapanese},
    {"euc_jp.html", u"EUC-JP", "日本語", kJapanese},
    {"utf16_bom.html", nullptr, "Пример", kRussian},
    {"utf16_bom.html", u"UTF-16LE", "Пример", kRussian},
    {"utf16be.html", nullptr, "Пример", kRussian},
    {"utf16be.html", u"UTF-16BE", "Пример", kRussian},
    {"utf8_bom.html", nullptr, "Пример", kRussian},
    {"utf8_bom.html", u"UTF-8", "Пример", kRussian},
};

TEST_F(HtmlLoadTest, EncodedFixturesDecode)
{
    const std::string expected = "html(head(title) body(p(\"%\") \"\n\"))";
    run([&] {
        for (const Encoded &e : kEncoded) {
            SCOPED_TRACE(e.file);
            setInt("EnableAutoDetect", e.charset ? 0 : 1);
            setText("DefaultCharacterSet", e.charset ? e.charset : u"ISO-8859-1");
            std::string bytes = readFixture(e.file);
            ASSERT_FALSE(bytes.empty());
            std::string want = expected;
            want.replace(want.find('%'), 1, e.text);
            Edr_Doc *doc = load(bytes);
            EXPECT_EQ(render(doc), want);
            EXPECT_EQ(title(doc), e.title);
            Edr_Doc_release(doc);
            // With the character set fixed, any chunk size reads the same
            // text, sequences cut at chunk ends included.
            if (!e.charset)
                continue;
            for (uint32_t chunk : {1u, 2u, 3u, 5u, 7u, 13u, 4095u}) {
                doc = load(bytes, chunk);
                EXPECT_EQ(render(doc), want) << "chunk " << chunk;
                Edr_Doc_release(doc);
            }
        }
    });
}

// A page that names its charset in a meta element is read again with it,
// once: a second meta naming another charset changes nothing, and the
// default rules added before the restart are not added twice.
TEST_F(HtmlLoadTest, AMetaCharsetRebuildsTheTreeOnce)
{
    struct Case {
        const char *file;
        uint32_t charset;
        const char *title;
        const char *tree;
    } cases[] = {
        {"meta_cp1251.html", CharsetCode_win1250 + 1, "Пример", "html(head(meta meta title) body(p(\"Съешь\") p(\"ещё\") \"\n\"))"},
        {"meta_euc_jp.html", CharsetCode_eucJp, "日本語", "html(head(meta title) body(p(\"これは日本語の文書です。\") \"\n\"))"},
    };
    auto pRules = [](Edr_Doc *doc) {
        int count = 0;
        Request *r = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
        while (r) {
            Request_lock(r);
            for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule))
                count += StyleRule_firstKey(rule) == HtmlEl_P;
            Request_unlock(r);
            Request *next = nullptr;
            EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
            Request_release(r);
            r = next;
        }
        return count;
    };
    run([&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.file);
            std::string bytes = readFixture(c.file);
            ASSERT_FALSE(bytes.empty());
            setInt("EnableAutoDetect", 1);
            setText("DefaultCharacterSet", u"ISO-8859-1");
            // Whole, and in small chunks so that detection sees too little
            // and the meta element has to restart the load.
            for (uint32_t chunk : {0u, 1u, 7u}) {
                Edr_Doc *doc = load(bytes, chunk);
                EXPECT_EQ(render(doc), c.tree) << "chunk " << chunk;
                EXPECT_EQ(title(doc), c.title) << "chunk " << chunk;
                EXPECT_EQ(Edr_Doc_getCharset(doc), c.charset) << "chunk " << chunk;
                EXPECT_EQ(pRules(doc), 1) << "chunk " << chunk;
                Edr_Doc_release(doc);
            }
            // With detection off the meta element changes nothing.
            setInt("EnableAutoDetect", 0);
            Edr_Doc *doc = load(bytes, 7);
            EXPECT_EQ(Edr_Doc_getCharset(doc), uint32_t(CharsetCode_latin1));
            EXPECT_NE(title(doc), c.title);
            Edr_Doc_release(doc);
        }
    });
}

TEST_F(HtmlLoadTest, AUserStyleSheetIsAddedBeforeTheDocument)
{
    // The document's requests: the user's sheet when set, then the
    // document's own sheet.
    auto requests = [](Edr_Doc *doc) {
        int n = 0;
        Request *r = nullptr;
        for (;;) {
            Request *next = nullptr;
            EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
            Request_release(r);
            if (!next)
                return n;
            r = next;
            n++;
        }
    };
    run([&] {
        std::string path = "file://" VEXLAN_FIXTURES "/html/user.css";
        std::u16string url(path.begin(), path.end());
        setText("Vexlan_userStyleSheet", url.c_str());
        Edr_Doc *doc = load("<p>x");
        EXPECT_EQ(requests(doc), 2);
        EXPECT_EQ(render(doc), "p(\"x\")");
        Edr_Doc_release(doc);
        setText("Vexlan_userStyleSheet", u"");
        doc = load("<p>x");
        EXPECT_EQ(requests(doc), 1);
        Edr_Doc_release(doc);
        // A sheet that cannot be read adds nothing and fails nothing.
        setText("Vexlan_userStyleSheet", u"file:///no/such/user.css");
        doc = load("<p>x");
        EXPECT_EQ(requests(doc), 1);
        EXPECT_EQ(render(doc), "p(\"x\")");
        Edr_Doc_release(doc);
    });
}

TEST_F(HtmlLoadTest, AFrameDocumentGetsItsMarginsAsARule)
{
    run([&] {
        const int32_t frames[][4] = {{6144, 10240, 0, 0}, {-1, -1, 0x20000, 0}, {-1, -1, 0, 0}};
        for (const auto &frame : frames) {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            VfsHandle *h = memoryStream("<body>x");
            ASSERT_EQ(Html_loadDocument(ctx(), doc, h, Edr_Doc_root(doc), 0, frame), 0);
            Vfs_close(h);
            Edr_Doc_readLock(doc);
            // The rule goes to the node current at the end: the body.
            Edr_Node *body = Edr_Node_firstChild(Edr_Node_firstChild(Edr_Doc_root(doc)));
            const uint32_t *ids = Edr_Node_group(body)->ids;
            bool unset = frame[0] < 0 && !frame[2];
            // The first class number of the load matches the rule.
            if (unset)
                EXPECT_TRUE(!ids || !ids[0]);
            else
                EXPECT_TRUE(ids && ids[0] == 5000 && !ids[1]);
            Edr_Doc_readUnlock(doc);
            Edr_Doc_release(doc);
        }
    });
}

TEST_F(HtmlLoadTest, AFragmentOf16BitTextGoesIntoItsTarget)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        Edr_Node *target = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, HtmlEl_Div, &target), 0);
        std::u16string text = u"a<b>b</b><!DOCTYPE html >&amp;";
        std::string bytes(reinterpret_cast<const char *>(text.data()), text.size() * 2);
        VfsHandle *h = memoryStream(bytes);
        ASSERT_EQ(Edr_Doc_setMode(doc, Html_modeQuirks), 0);
        ASSERT_EQ(Html_loadDocument(ctx(), doc, h, target, 1, nullptr), 0);
        EXPECT_EQ(Edr_Doc_getMode(doc), uint32_t(Html_modeQuirks));
        Vfs_close(h);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(renderNode(target), "div(\"a\" b(\"b\") !doctype \"&\")");
        // No top group of its own, and the mode is left alone.
        EXPECT_EQ(Edr_Node_firstChild(root), target);
        EXPECT_EQ(Edr_Node_nextSibling(target), nullptr);
        Edr_Doc_readUnlock(doc);
        Edr_Node_release(doc, target);
        Edr_Doc_release(doc);
    });
}

TEST_F(HtmlLoadTest, DetectionOffKeepsTheDefault)
{
    run([&] {
        setInt("EnableAutoDetect", 0);
        setText("DefaultCharacterSet", u"windows-1251");
        Edr_Doc *doc = load("<p>\xcf\xf0\xe8");
        EXPECT_EQ(render(doc), "p(\"При\")");
        EXPECT_EQ(Edr_Doc_getCharset(doc), 9u);
        Edr_Doc_release(doc);
        // An unknown name falls back to ISO-8859-1.
        setText("DefaultCharacterSet", u"no-such-charset");
        doc = load("<p>\xcf\xf0\xe8");
        EXPECT_EQ(render(doc), "p(\"Ïðè\")");
        EXPECT_EQ(Edr_Doc_getCharset(doc), 0u);
        Edr_Doc_release(doc);
    });
}

TEST_F(HtmlLoadTest, TextEndingInsideACharacterEndsWithAReplacement)
{
    run([&] {
        setInt("EnableAutoDetect", 0);
        setText("DefaultCharacterSet", u"UTF-8");
        for (uint32_t chunk : {0u, 1u, 2u})
            EXPECT_EQ(tree("<p>a\xe6\x97", chunk), "p(\"a\xef\xbf\xbd\")") << chunk;
    });
}

TEST_F(HtmlLoadTest, LongDocumentsReadTheSameInAnyChunkSize)
{
    // Runs, tags and comments longer than the buffer, cut anywhere.
    std::string page = "<html><body>";
    for (int i = 0; i < 400; i++) {
        page += "<p class=\"c" + std::to_string(i) + "\">line " + std::to_string(i) + " &amp; \xc3\xa9t\xc3\xa9";
        if (i % 50 == 0)
            page += "<!-- " + std::string(5000, '-') + " -->";
        if (i % 120 == 0)
            page += "<pre>" + std::string(9000, 'x') + "</pre>";
    }
    run([&] {
        setInt("EnableAutoDetect", 0);
        setText("DefaultCharacterSet", u"UTF-8");
        std::string whole = tree(page);
        EXPECT_NE(whole.find("p(\"line 399 & été\")"), std::string::npos);
        for (uint32_t chunk : {1u, 7u, 333u, 4096u})
            EXPECT_EQ(tree(page, chunk), whole) << chunk;
    });
}

} // namespace
