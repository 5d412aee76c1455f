// Loading: recognition, character sets and byte-order marks, chunked reads
// and the handler's open.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include <vector>

#include "core/style/propids.h"
#include "core/text/charset_cjk.h"
#include "core/style/stylerule.h"
#include "graphics/image.h"
#include "document/edr/doc.h"
#include "platform/api/request.h"
#include "platform/url/file.h"
#include "platform/vfs/hosthooks.h"
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
            EXPECT_EQ(Vfs_readDone(h, 0), 0);
            EXPECT_EQ(Vfs_close(h), 0);
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
const char kRussian[] =
    "Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая электрификация южных "
    "губерний даст мощный толчок подъёму сельского хозяйства.";
const char kJapanese[] =
    "これは日本語の文書です。漢字とひらがなとカタカナを含みます。東京都の天気は晴れです。";

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

// Pages whose charset a byte-order mark, an HTML5 meta element or the
// bytes themselves decide (tests/fixtures/html/make_page_fixtures.py): all
// read as written, whole and in small chunks, with detection on and a
// Latin-1 default; the mark wins over a declaration naming another charset,
// and UTF-8 after more than a read of ASCII is still found.
TEST_F(HtmlLoadTest, DeclaredMarkedAndDetectedCharsets)
{
    struct Case {
        const char *file;
        const char *text; // the body's first paragraph
        uint32_t charset; // the document's charset afterwards
    } cases[] = {
        {"cs_meta_charset.html", "café don’t", CharsetCode_utf8},
        {"cs_bom_utf8.html", "café don’t", CharsetCode_utf8},
        {"cs_bom_utf16le.html", "café don’t", CharsetCode_utf16le},
        {"cs_bom_utf16be.html", "café don’t", CharsetCode_utf16be},
        {"cs_bom_over_meta.html", "café don’t", CharsetCode_utf8},
        {"cs_late_utf8.html", "café don’t", CharsetCode_utf8},
        {"cs_late_meta.html", "café don’t", CharsetCode_utf8},
        {"cs_emoji_meta.html", "smile 😀", CharsetCode_utf8},
        {"cs_emoji.html", "smile 😀", CharsetCode_utf8},
        {"cs_meta_latin1.html", "café", CharsetCode_latin1},
    };
    run([&] {
        setInt("EnableAutoDetect", 1);
        setText("DefaultCharacterSet", u"ISO-8859-1");
        for (const Case &c : cases) {
            SCOPED_TRACE(c.file);
            std::string bytes = readFixture(c.file);
            ASSERT_FALSE(bytes.empty());
            for (uint32_t chunk : {0u, 7u}) {
                Edr_Doc *doc = load(bytes, chunk);
                std::string tree = render(doc);
                EXPECT_NE(tree.find(std::string("p(\"") + c.text + "\")"), std::string::npos)
                    << tree << " chunk " << chunk;
                EXPECT_EQ(Edr_Doc_getCharset(doc), c.charset) << "chunk " << chunk;
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
        {"meta_cp1251.html", CharsetCode_win1250 + 1, "Пример",
         "html(head(meta meta title) body(p(\"Съешь\") p(\"ещё\") \"\n\"))"},
        {"meta_euc_jp.html", CharsetCode_eucJp, "日本語",
         "html(head(meta title) body(p(\"これは日本語の文書です。\") \"\n\"))"},
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

// A restart forgets what the dropped tree told the layout context: the
// body seen before the meta element is not taken for a second one. The
// last bytes, which the charset guessed first reads as a cut character,
// are read again with the named one.
TEST_F(HtmlLoadTest, ARestartInTheBodyKeepsTheBody)
{
    run([&] {
        setInt("EnableAutoDetect", 1);
        setText("DefaultCharacterSet", u"ISO-8859-1");
        const std::string page = "<body><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                 "charset=windows-1251\"><p>\xcf\xf0\xe8";
        for (uint32_t chunk : {0u, 5u}) {
            Edr_Doc *doc = load(page, chunk);
            EXPECT_EQ(render(doc), "body(meta p(\"При\"))") << chunk;
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
            EXPECT_EQ(Vfs_close(h), 0);
            Edr_Doc_readLock(doc);
            // The rule goes to the node current at the end: the body.
            Edr_Node *body = Edr_Node_firstChild(Edr_Node_firstChild(Edr_Doc_root(doc)));
            const uint32_t *ids = Edr_Node_group(body)->ids;
            bool unset = frame[0] < 0 && !frame[2];
            // The first class number of the load matches the rule.
            if (unset)
                EXPECT_TRUE(!ids || !ids[0]);
            else
                EXPECT_TRUE(ids && ids[0] == 0x10000 && !ids[1]);
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
        EXPECT_EQ(Vfs_close(h), 0);
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
        page += "<p class=\"c" + std::to_string(i) + "\">line " + std::to_string(i) +
                " &amp; \xc3\xa9t\xc3\xa9";
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

// The messages of a load: event 34 for the document once its first chunk
// is read, and a report when the default charset setting names no charset.
class HtmlEventTest : public HtmlLoadTest {
  protected:
    std::vector<int32_t> codes;
    std::vector<intptr_t> reports;
    std::string reportText;
    Edr_Doc *watched = nullptr;

    static void listener(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *t = static_cast<HtmlEventTest *>(context);
        if (msg->kind == 1) {
            auto *m = static_cast<EventProcCodeMsg *>(msg->payload);
            if (m->document == t->watched)
                t->codes.push_back(m->code);
        } else if (msg->kind == 0) {
            auto *m = static_cast<EventProcDocMsg *>(msg->payload);
            t->reports.push_back(m->word);
            t->reportText = S(m->text);
        }
    }
};

TEST_F(HtmlEventTest, TheFirstChunkAndAnUnknownCharsetAreReported)
{
    run([&] {
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 0, listener, this), 0);
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, listener, this), 0);
        setText("DefaultCharacterSet", u"no-such-charset");
        for (uint32_t chunk : {0u, 3u}) {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            watched = doc;
            VfsHandle *h = memoryStream("<p>" + std::string(9000, 'x'));
            ASSERT_EQ(Html_loadDocumentChunked(ctx(), doc, h, Edr_Doc_root(doc), 0, nullptr,
                                               chunk ? chunk : 4096),
                      0);
            EXPECT_EQ(Vfs_close(h), 0);
            AppMsg_drain(ctx()->eventProc);
            // Once per load, however many chunks.
            EXPECT_EQ(codes, std::vector<int32_t>{34}) << chunk;
            EXPECT_EQ(reports, std::vector<intptr_t>{0x400}) << chunk;
            EXPECT_EQ(reportText, "no-such-charset");
            codes.clear();
            reports.clear();
            watched = nullptr;
            Edr_Doc_release(doc);
        }
        // A known name, or none, is not reported; a fragment posts nothing.
        setText("DefaultCharacterSet", u"");
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        watched = doc;
        std::u16string text = u"<p>a";
        VfsHandle *h =
            memoryStream(std::string(reinterpret_cast<const char *>(text.data()), text.size() * 2));
        ASSERT_EQ(Html_loadDocument(ctx(), doc, h, Edr_Doc_root(doc), 1, nullptr), 0);
        EXPECT_EQ(Vfs_close(h), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_TRUE(codes.empty());
        EXPECT_TRUE(reports.empty());
        watched = nullptr;
        Edr_Doc_release(doc);
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 0, listener, this), 0);
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, listener, this), 0);
    });
}

// The margins rule of a frame's document: the frame record comes with the
// open (as the argument), and a frame-set document has no margins.
TEST_F(HtmlLoadTest, TheFrameRecordOfTheOpenGivesTheMargins)
{
    // The margin values of the rule matched by the load's first class.
    auto margins = [](Edr_Doc *doc) {
        std::vector<int32_t> out;
        Request *r = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
        while (r) {
            Request_lock(r);
            for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule)) {
                if (StyleRule_firstKey(rule) != 0x10000)
                    continue;
                for (uint32_t id : {uint32_t(PropId_marginTop), uint32_t(PropId_marginLeft),
                                    uint32_t(PropId_width)}) {
                    StylePropItem *item = StyleRule_findProp(rule, id);
                    out.push_back(item ? Prop_getLength(&item->value) : -7);
                }
            }
            Request_unlock(r);
            Request *next = nullptr;
            EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
            Request_release(r);
            r = next;
        }
        return out;
    };
    run([&] {
        Obj *record = Obj_newDefault();
        ASSERT_NE(record, nullptr);
        const int32_t words[5] = {6144, 10240, 0x50000, 0, 0x60};
        for (int i = 0; i < 5; i++)
            record->words[i] = uintptr_t(words[i]);
        struct {
            const char *markup;
            std::vector<int32_t> want;
        } cases[] = {
            {"<body>x", {10240, 6144, 0x50000}},
            {"<frameset><frame></frameset>", {0, 0, 0x50000}},
        };
        for (const auto &c : cases) {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            VfsHandle *h = memoryStream(c.markup);
            ASSERT_EQ(desc.open(ctx(), &desc, record, h, doc, Edr_Doc_root(doc)), 0);
            EXPECT_EQ(margins(doc), c.want) << c.markup;
            Edr_Doc_release(doc);
        }
        // A size of -1 is no size; a negated one (fixed by the frame set)
        // counts by its magnitude.
        const int32_t sizes[][2] = {{-1, -1}, {-0x30000, 0x20000}};
        const std::vector<int32_t> wants[] = {{10240, 6144, -7}, {10240, 6144, 0x30000}};
        for (int k = 0; k < 2; k++) {
            record->words[2] = uintptr_t(uint32_t(sizes[k][0]));
            record->words[3] = uintptr_t(uint32_t(sizes[k][1]));
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            VfsHandle *h = memoryStream("<body>x");
            ASSERT_EQ(desc.open(ctx(), &desc, record, h, doc, Edr_Doc_root(doc)), 0);
            EXPECT_EQ(margins(doc), wants[k]) << k;
            Edr_Doc_release(doc);
        }
        // Without a frame record only a frame-set document gets the rule.
        Edr_Doc *doc = load("<frameset><frame></frameset>");
        EXPECT_EQ(margins(doc), (std::vector<int32_t>{0, 0, -7}));
        Edr_Doc_release(doc);
        doc = load("<body>x");
        EXPECT_TRUE(margins(doc).empty());
        Edr_Doc_release(doc);
        Obj_finalizeFree(&record);
    });
}

TEST_F(HtmlLoadTest, ARefreshKeepsItsDelayAndTarget)
{
    struct Case {
        const char16_t *content;
        int32_t delay; // -1: ignored
        const char *target;
    } cases[] = {
        {u"5; URL=next.html", 5000, "http://example.com/dir/next.html"},
        {u"0,url='/top.html' ", 0, "http://example.com/top.html"},
        {u" 2 ;  http://other.org/a\tb", 2000, "http://other.org/ab"},
        {u"7", 7000, "http://example.com/dir/page.html"},
        {u"2073600; x.html", 2073600000, "http://example.com/dir/x.html"},
        {u"2073601; x.html", -1, nullptr},
        {u"99999999999999999999; x.html", -1, nullptr},
        {u"soon; x.html", -1, nullptr},
    };
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *url = Url_new(u"http://example.com/dir/page.html");
        ASSERT_EQ(Edr_Doc_setUrl(doc, url), 0);
        Url_free(url);
        for (const Case &c : cases) {
            SCOPED_TRACE(S(c.content));
            HtmlParser p;
            ASSERT_EQ(Html_parserInit(ctx(), &p, doc), 0);
            p.refreshDelay = -1;
            std::u16string text = c.content;
            EXPECT_EQ(Html_metaRefresh(&p, text.data(), text.size()), 0);
            EXPECT_EQ(p.refreshDelay, c.delay);
            char *got = p.refreshUrl ? Url_toUtf8(p.refreshUrl, 31) : nullptr;
            EXPECT_EQ(got ? std::string(got) : "(none)", c.target ? c.target : "(none)");
            Mem_free(got);
            EXPECT_EQ(Html_parserFinish(ctx(), &p, 1), 0);
        }
        Edr_Doc_release(doc);
        // A page with a refresh loads as usual (the redirection comes later).
        EXPECT_EQ(tree("<meta http-equiv=refresh content=\"1;url=b.html\"><p>a"), "meta p(\"a\")");
    });
}

// The document model's content replacement loads HTML text into a group.
TEST_F(HtmlLoadTest, ReplacingAGroupsContentLoadsTheText)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        ASSERT_EQ(Edr_Doc_setHandler(doc, &desc), 0);
        Edr_Node *div = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, HtmlEl_Div, &div), 0);
        ASSERT_EQ(Edr_Node_createText(doc, div, Edr_Insert_lastChild, nullptr, u"old", 3), 0);
        for (bool second : {false, true}) {
            char16_t *text = static_cast<char16_t *>(Mem_malloc(64));
            ASSERT_NE(text, nullptr);
            std::u16string t = second ? u"<i>two</i>" : u"one <b>&amp;</b>";
            memcpy(text, t.c_str(), (t.size() + 1) * 2);
            EXPECT_EQ(second ? Edr_Node_replaceContent2(doc, div, text)
                             : Edr_Node_replaceContent(doc, div, text),
                      0);
            Edr_Doc_readLock(doc);
            EXPECT_EQ(renderNode(div), second ? "div(i(\"two\"))" : "div(\"one \" b(\"&\"))");
            Edr_Doc_readUnlock(doc);
        }
        Edr_Node_release(doc, div);
        ASSERT_EQ(Edr_Doc_setHandler(doc, nullptr), 0);
        Edr_Doc_release(doc);
    });
}

// External text: read whole in the charset the caller names, else the
// parser's; the content mode 11 chooses no converter.
TEST_F(HtmlLoadTest, FetchedTextIsConvertedWhole)
{
    ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
    ASSERT_EQ(RomFs_createTable(ctx()), 0);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        HtmlParser p;
        ASSERT_EQ(Html_parserInit(ctx(), &p, doc), 0);
        p.charset = CharsetCode_latin1;
        std::u16string name = U(std::string("file://root") + VEXLAN_FIXTURES + "/html/cp1251.html");
        Url *url = Url_new(name.c_str());
        ASSERT_NE(url, nullptr);
        ASSERT_EQ(Html_fetchResourceText(&p, url, 9), 0);
        std::u16string text(p.fetchedText, p.fetchedLength);
        EXPECT_NE(text.find(U(kRussian)), std::u16string::npos);
        EXPECT_TRUE(p.fetchedUrl && Url_equals(p.fetchedUrl, url));
        // No charset of the caller's: the parser's, ISO-8859-1.
        ASSERT_EQ(Html_fetchResourceText(&p, url, 36), 0);
        text.assign(p.fetchedText, p.fetchedLength);
        EXPECT_EQ(text.find(U(kRussian)), std::u16string::npos);
        EXPECT_EQ(text.size(), readFixture("cp1251.html").size());
        uint32_t code = 99;
        EXPECT_NE(Html_chooseConverter(&p, nullptr, 9, nullptr, 0, &code), nullptr);
        EXPECT_EQ(code, 9u);
        p.contentMode = 11;
        EXPECT_EQ(Html_chooseConverter(&p, nullptr, 9, nullptr, 0, &code), nullptr);
        // A missing resource is an error and leaves no text.
        Url *missing =
            Url_new(U(std::string("file://root") + VEXLAN_FIXTURES + "/html/none.html").c_str());
        EXPECT_NE(Html_fetchResourceText(&p, missing, 9), 0);
        EXPECT_EQ(p.fetchedText, nullptr);
        Url_free(missing);
        Url_free(url);
        EXPECT_EQ(Html_parserFinish(ctx(), &p, 1), 0);
        Edr_Doc_release(doc);
    });
    RomFs_freeTable(ctx());
    AlienFile_finiLayer(ctx());
}

// A frame's document is created under the frame's node and its source is
// opened into it with the frame record; an inline frame starts empty.
class HtmlSubdocTest : public HtmlLoadTest {
  protected:
    std::vector<std::vector<int32_t>> records; // one per open request
    std::vector<Link> links;                   // their targets: kind, document, node
    static void listener(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *t = static_cast<HtmlSubdocTest *>(context);
        auto *m = static_cast<EventProcKind6Msg *>(msg->payload);
        t->links.push_back(m->link);
        std::vector<int32_t> r;
        if (m->object)
            for (uintptr_t w : m->object->words)
                r.push_back(int32_t(w));
        t->records.push_back(r);
        char *u = m->url ? Url_toUtf8(m->url, 31) : nullptr;
        t->urls.push_back(u ? u : "");
        Mem_free(u);
    }
    std::vector<std::string> urls; // the sources opened

    // From a task: loads a page at http://example.com/page.html into a
    // frame of width by height (16.16 inches) and opens what its frames
    // show; the tree comes back, the opens are in records and urls.
    std::string loadFrames(const std::string &html, int32_t width, int32_t height)
    {
        records.clear();
        urls.clear();
        EXPECT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 6, listener, this), 0);
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *page = Url_new(u"http://example.com/page.html");
        EXPECT_EQ(Edr_Doc_setUrl(doc, page), 0);
        Url_free(page);
        EXPECT_EQ(Edr_Doc_setMode(doc, Html_modeQuirks), 0);
        VfsHandle *stream = memoryStream(html);
        stream->url = Url_new(u"http://example.com/page.html"); // the page's own address
        const int32_t frame[5] = {0, 0, width, height, 0x60};
        EXPECT_EQ(Html_loadDocumentChunked(ctx(), doc, stream, Edr_Doc_root(doc), 0, frame, 4096),
                  0);
        EXPECT_EQ(Vfs_close(stream), 0);
        AppMsg_drain(ctx()->eventProc);
        std::string out = render(doc);
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 6, listener, this), 0);
        flushListeners();
        links.clear();
        Edr_Doc_release(doc);
        return out;
    }
};

TEST_F(HtmlSubdocTest, AFrameOpensItsSourceWithItsFrameRecord)
{
    run([&] {
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 6, listener, this), 0);
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        Url *page = Url_new(u"http://example.com/page.html");
        ASSERT_EQ(Edr_Doc_setUrl(doc, page), 0);
        Url *source = Url_new(u"http://example.com/frame.html");
        // Both margins absent: 9 and 15 pixels; one absent: 0.
        EXPECT_EQ(Html_createSubdocument(ctx(), doc, 2, root, 0x30000, -1, -1, -1, 1, source), 0);
        EXPECT_EQ(Html_createSubdocument(ctx(), doc, 2, root, 0x30000, 0x20000, 512, -1, 1, source),
                  0);
        // An inline frame opens its source too; without one it stays empty.
        EXPECT_EQ(Html_createSubdocument(ctx(), doc, 1, root, -1, -1, -1, -1, 1, source), 0);
        EXPECT_EQ(Html_createSubdocument(ctx(), doc, 1, root, -1, -1, -1, -1, 1, nullptr), 0);
        AppMsg_drain(ctx()->eventProc);
        const std::vector<std::vector<int32_t>> want = {{6144, 10240, 0x30000, -1, 0x60},
                                                        {0, 512, 0x30000, 0x20000, 0x60},
                                                        {6144, 10240, -1, -1, 0x60}};
        EXPECT_EQ(records, want);
        Edr_Doc_readLock(doc);
        std::string kids;
        std::vector<Edr_Doc *> children;
        for (Edr_Node *c = Edr_Node_firstChild(root); c; c = Edr_Node_nextSibling(c)) {
            kids += renderNode(c) + " ";
            children.push_back(Edr_Node_subdocPayload(c) ? Edr_Node_subdocPayload(c)->child
                                                         : nullptr);
        }
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(kids, "@subdoc @subdoc @subdoc @subdoc ");
        // Each source loads into its own frame's document, not the top one.
        ASSERT_EQ(links.size(), 3u);
        for (size_t i = 0; i < links.size(); i++) {
            EXPECT_EQ(links[i].kind, 2);
            EXPECT_EQ(links[i].document, children[i]);
            EXPECT_NE(links[i].document, nullptr);
        }
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 6, listener, this), 0);
        flushListeners();
        Url_free(source);
        Url_free(page);
        Edr_Doc_release(doc);
    });
}

// A frame-set page splits its frame by its rows and cols lists and opens
// each frame's source into a frame of its cell's size (less the border),
// with the frame's own margins; a frame set inside a cell splits that cell.
TEST_F(HtmlSubdocTest, AFrameSetPageOpensEachFrameInItsCell)
{
    constexpr int32_t W = 0x40000, H = 0x30000, B = 2730; // 4 by 3 inches, the border
    struct Case {
        const char *html;
        std::vector<std::string> urls;
        std::vector<std::vector<int32_t>> records; // margin width, height, width, height, placement
    } cases[] = {
        {"<frameset cols=\"25%,*\"><frame src=a.html><frame src=b.html marginwidth=3 "
         "frameborder=no>",
         {"http://example.com/a.html", "http://example.com/b.html"},
         {{6144, 10240, 0x10000 - B, H - B, 0x60}, {2048, 0, 0x30000, H, 0x60}}},
        // 100 pixels, then the rest; the second row is split in halves.
        {"<frameset rows=\"100,*\"><frame src=top.html><frameset cols=\"50%,50%\">"
         "<frame src=l.html marginheight=6><frame src=r.html></frameset></frameset>",
         {"http://example.com/top.html", "http://example.com/l.html", "http://example.com/r.html"},
         {{6144, 10240, W - B, 68266 - B, 0x60},
          {0, 4096, 0x20000 - B, H - 68266 - B, 0x60},
          {6144, 10240, 0x20000 - B, H - 68266 - B, 0x60}}},
        // Pixels only are stretched to the frame; a cell sized by both
        // lists goes negated.
        {"<frameset rows=\"1,2\" cols=\"1,3\"><frame src=a.html>",
         {"http://example.com/a.html"},
         {{6144, 10240, -(0x10000 - B), -(0x10000 - B), 0x60}}},
        // A frame past the grid, one without a source, one with an empty
        // source: only the first opens.
        {"<frameset cols=\"*,*\"><frame src=a.html><frame><frame src=c.html></frameset>",
         {"http://example.com/a.html"},
         {{6144, 10240, 0x20000 - B, H - B, 0x60}}},
        // No lists: the one frame fills the page.
        {"<frameset><frame src=a.html frameborder=0 marginwidth=96 marginheight=0>",
         {"http://example.com/a.html"},
         {{0x10000, 0, W, H, 0x60}}},
        // A body first: no frames at all.
        {"<body><frameset cols=\"*,*\"><frame src=a.html>", {}, {}},
    };
    run([&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.html);
            loadFrames(c.html, W, H);
            EXPECT_EQ(urls, c.urls);
            EXPECT_EQ(records, c.records);
        }
        // The tree: rows of frames, each frame holding its document.
        EXPECT_EQ(
            loadFrames("<frameset rows=\"*,*\"><frame src=a.html><frame src=b.html></frameset>", W,
                       H),
            "frameset(okalafh(frame(@subdoc)) okalafh(frame(@subdoc)))");
    });
}

// Hostile lists and nesting (of frame sets, of objects, of thousands of
// ordinary elements) end the load in time with at most one open per frame
// or object written.
TEST_F(HtmlSubdocTest, HostileFrameSetsLoadInTime)
{
    std::string many;
    for (int i = 0; i < 100000; i++)
        many += "99999999999%,";
    std::string deep;
    for (int i = 0; i < 3000; i++)
        deep += "<frameset cols=\"-5,*,x\" rows=\"9999999999*,,\"><frame src=f.html>";
    std::string objects;
    for (int i = 0; i < 300; i++)
        objects += "<object data=x.zzz><div>";
    objects += "<object data=i.png></object>";
    for (int i = 0; i < 300; i++)
        objects += "</div></object>";
    std::string nested;
    for (const char *tag : {"div", "span"}) {
        for (int i = 0; i < 5000; i++)
            nested += std::string("<") + tag + ">";
        nested += "x";
        for (int i = 0; i < 5000; i++)
            nested += std::string("</") + tag + ">";
    }
    const std::string cases[] = {
        nested,
        objects,
        "<frameset cols=\"" + many + "\" rows=\"" + many +
            "\"><frame src=a.html><frame src=b.html>",
        "<frameset cols=\"-1,-2,garbage,%%%,***\" rows=\"0,0,0\"><frame src=a.html><frame "
        "src=b.html>",
        deep,
    };
    run([&] {
        for (const std::string &c : cases) {
            SCOPED_TRACE(c.substr(0, 60));
            loadFrames(c, 0x40000, 0x30000);
            EXPECT_LE(records.size(), 3000u);
            for (const auto &r : records)
                EXPECT_EQ(r.size(), 5u);
        }
    });
}

// Objects and embeds show a picture as an image node and a document in a
// frame of their size, in place of their fallback content; a movie gets an
// image node; an object the engine cannot show keeps its fallback.
TEST_F(HtmlSubdocTest, ObjectsEmbedWhatTheyCanShowElseTheirFallback)
{
    struct Case {
        const char *html;
        const char *tree;
        std::vector<std::string> urls;
        std::vector<std::vector<int32_t>> records;
    } cases[] = {
        // A picture by its extension: an image node, no frame.
        {"<object data=a.png width=0.8 height=7><p>fallback</p></object>",
         "object(@image)",
         {},
         {}},
        // A document: the frame's default margins and border.
        {"<object data=b.html>fallback</object>",
         "object(@subdoc)",
         {"http://example.com/b.html"},
         {{6144, 10240, 0, 0, 0x60}}},
        // The type named wins over the extension; an unknown one falls
        // back to the extension.
        {"<object type=image/gif data=c.txt>f</object>", "object(@image)", {}, {}},
        {"<object type=x-unknown/thing data=c.jpg>f</object>", "object(@image)", {}, {}},
        {"<object type=text/html data=c.jpg>f</object>",
         "object(@subdoc)",
         {"http://example.com/c.jpg"},
         {{6144, 10240, 0, 0, 0x60}}},
        // Types the engine cannot show, no data, or only declared: the
        // fallback.
        {"<object data=d.zzz><p>fallback</p></object>", "object(p(\"fallback\"))", {}, {}},
        {"<object type=text/javascript data=d.js>f</object>", "object(\"f\")", {}, {}},
        {"<object type=image/png>f</object>", "object(\"f\")", {}, {}},
        {"<object declare data=a.png>f</object>", "object(\"f\")", {}, {}},
        // Nesting: the inner object is the outer one's fallback.
        {"<object data=x.zzz><div><object data=i.png>inner</object>outer</div></object>",
         "object(div(object(@image) \"outer\"))",
         {},
         {}},
        {"<object data=o.gif><div><object data=i.html>inner</object>outer</div></object>",
         "object(@image)",
         {},
         {}},
        // embed takes its data from src.
        {"<p><embed src=e.bmp height=10>t", "p(embed(@image) \"t\")", {}, {}},
        {"<p><embed src=e.zzz>t", "p(embed \"t\")", {}, {}},
        // A movie by its class id (either case), from its movie params.
        {"<object classid=\"CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000\"><param name=Movie "
         "value=m.swf>"
         "<param name=other value=x>f</object>",
         "object(@image)",
         {},
         {}},
        // An unclosed object never embeds.
        {"<object data=a.png>fallback", "object(\"fallback\")", {}, {}},
    };
    run([&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.html);
            EXPECT_EQ(loadFrames(c.html, 0, 0), c.tree);
            EXPECT_EQ(urls, c.urls);
            EXPECT_EQ(records, c.records);
        }
    });
}

// A frame never opens a page that a document around it shows, so a page
// cannot hold itself for ever.
TEST_F(HtmlSubdocTest, AFrameOfItsOwnPageStaysEmpty)
{
    run([&] {
        loadFrames("<frameset cols=\"*,*\"><frame src=page.html#x><frame src=other.html>", 0x40000,
                   0x30000);
        EXPECT_EQ(urls, std::vector<std::string>{"http://example.com/other.html"});
        loadFrames("<iframe src=\"/page.html\"></iframe><iframe src=b.html width=96></iframe>", 0,
                   0);
        EXPECT_EQ(urls, std::vector<std::string>{"http://example.com/b.html"});
        EXPECT_EQ(records, (std::vector<std::vector<int32_t>>{{6144, 10240, 0x10000, -1, 0x60}}));
    });
}

// A picture opened on its own: a group of the "screensize" class (white,
// with a frame's margins) holding a group with the image node; docrender
// checks the page it makes (tests/fixtures/images/pictures). The open
// waits for the picture, in this thread or on the image workers: a picture
// without a codec for it, or a damaged one, ends the open with an error.
TEST_F(HtmlLoadTest, APictureOpensAsADocument)
{
    ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
    ASSERT_EQ(RomFs_createTable(ctx()), 0);
    std::string damaged = testing::TempDir() + "/i67_damaged.png";
    {
        std::ofstream out(damaged, std::ios::binary);
        out << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xff", 18);
    }
    // The margins of the "screensize" rule: top, bottom, left, right (-7
    // for none).
    auto margins = [](Edr_Doc *doc) {
        std::vector<int32_t> out;
        Request *r = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
        while (r) {
            Request_lock(r);
            for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule)) {
                if (!StyleRule_findProp(rule, PropId_backgroundColor))
                    continue;
                for (uint32_t id : {uint32_t(PropId_marginTop), uint32_t(PropId_marginBottom),
                                    uint32_t(PropId_marginLeft), uint32_t(PropId_marginRight)}) {
                    StylePropItem *item = StyleRule_findProp(rule, id);
                    out.push_back(item ? Prop_getLength(&item->value) : -7);
                }
            }
            Request_unlock(r);
            Request *next = nullptr;
            EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
            Request_release(r);
            r = next;
        }
        return out;
    };
    auto open = [&](const std::string &path, std::string *shape, Obj *record = nullptr,
                    std::vector<int32_t> *rule = nullptr) {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *u = Url_new(U("file://root" + path).c_str());
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_open(ctx(), u, 0x31, &h, &accepted), Res_ok);
        Url_free(u);
        int err = Html_openImageDocument(ctx(), nullptr, h, doc, record, 0);
        if (shape) {
            Edr_Doc_readLock(doc);
            Edr_Node *outer = Edr_Node_firstChild(Edr_Doc_root(doc));
            *shape = outer ? renderNode(outer) : "";
            Edr_Doc_readUnlock(doc);
        }
        if (rule)
            *rule = margins(doc);
        Edr_Doc_release(doc);
        return err;
    };
    run([&] {
        const std::string png = std::string(VEXLAN_FIXTURES) + "/types/image.png";
        // No codec registered yet; with images off the picture is not read.
        EXPECT_NE(open(png, nullptr), 0);
        setInt("EnableImages", 0);
        std::string empty;
        EXPECT_EQ(open(png, &empty), 0);
        EXPECT_EQ(empty, "#0(#0(@image))");
        setInt("EnableImages", 1);
        // Decoded in this thread, then on the image workers.
        for (uint32_t storeFlags : {uint32_t(ImageStore_noWorkers), 0u}) {
            SCOPED_TRACE(storeFlags);
            ASSERT_EQ(ImageStore_acquire(ctx(), storeFlags, 4), Res_ok);
            ASSERT_EQ(Edr_App_registerImageCodecs(ctx()), Res_ok);
            std::string shape;
            std::vector<int32_t> rule;
            for (const char *picture : {"/images/png/ga8.png", "/images/jpeg/baseline.jpg"}) {
                SCOPED_TRACE(picture);
                shape.clear();
                EXPECT_EQ(open(std::string(VEXLAN_FIXTURES) + picture, &shape, nullptr, &rule), 0);
                EXPECT_EQ(shape, "#0(#0(@image))");
                EXPECT_EQ(rule, (std::vector<int32_t>{-7, -7, -7, -7}));
            }
            const std::string good = std::string(VEXLAN_FIXTURES) + "/images/png/ga8.png";
            // A frame's margins; a negative one is none.
            Obj *record = Obj_newDefault();
            ASSERT_NE(record, nullptr);
            const int32_t words[5] = {6144, 10240, 0x50000, 0, 0x60};
            for (int i = 0; i < 5; i++)
                record->words[i] = uintptr_t(uint32_t(words[i]));
            EXPECT_EQ(open(good, nullptr, record, &rule), 0);
            EXPECT_EQ(rule, (std::vector<int32_t>{10240, 10240, 6144, 6144}));
            record->words[0] = uintptr_t(uint32_t(-1));
            EXPECT_EQ(open(good, nullptr, record, &rule), 0);
            EXPECT_EQ(rule, (std::vector<int32_t>{10240, 10240, -7, -7}));
            Obj_finalizeFree(&record);
            // A damaged picture fails the open rather than opening blank;
            // so does one without any picture data.
            for (const std::string &bad :
                 {damaged, std::string(VEXLAN_FIXTURES) + "/images/png/bad_zlib.png", png})
                EXPECT_NE(open(bad, nullptr), 0) << bad;
            // An animated GIF opens once its first frame is shown: its
            // later frames never make it final while it plays.
            EXPECT_EQ(open(std::string(VEXLAN_FIXTURES) + "/images/gif/delays.gif", &shape), 0);
            EXPECT_EQ(shape, "#0(#0(@image))");
            // Releasing the animation's document stops its image; the
            // workers still decode what comes next.
            EXPECT_EQ(open(good, nullptr), 0);
            ImageStore_release(ctx());
        }
    });
    std::remove(damaged.c_str());
    RomFs_freeTable(ctx());
    AlienFile_finiLayer(ctx());
}

} // namespace
