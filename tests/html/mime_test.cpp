// MIME archives: the body and header decoders against Python's base64,
// quopri and email.header (tests/fixtures/mime/decoders.txt) and the
// decoders' own rules; header lookup, values and parameters; the parser,
// whose tree must not depend on how the source is cut into chunks; and
// archives opened over the fixtures (tests/fixtures/mime), their document
// part, part URLs and part streams.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/charset.h"
#include "html/web/mime.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string fixture(const std::string &name)
{
    return readFile(std::string(VEXLAN_FIXTURES) + "/" + name);
}

std::string fromHex(const std::string &hex)
{
    std::string out;
    if (hex == "-")
        return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string utf8(const char16_t *s)
{
    std::string out;
    if (!s)
        return "(null)";
    char *bytes = nullptr;
    size_t n = 0;
    while (s[n])
        n++;
    if (Charset_fromUstrN(nullptr, s, n, &bytes, CharsetCode_utf8) != Res_ok)
        return "(error)";
    out = bytes;
    Mem_free(bytes);
    return out;
}

// Runs a body decoder over input cut at split (the unconsumed rest offered
// again in front of the next chunk), into an output of cap bytes at a time.
std::string decode(CharsetConverter fn, const std::string &input, size_t split = 0,
                   size_t cap = 1 << 16)
{
    std::string out, pending;
    size_t pos = 0;
    std::vector<uint8_t> buf(cap);
    auto feed = [&](bool last) {
        for (int guard = 0; guard < 100000; guard++) {
            size_t used = 0, made = 0;
            fn(nullptr, reinterpret_cast<const uint8_t *>(pending.data()), pending.size(),
               buf.data(), cap, &used, &made, nullptr);
            out.append(reinterpret_cast<char *>(buf.data()), made);
            pending.erase(0, used);
            if (!used && !made)
                return;
            if (!last && pending.size() < 8)
                return;
        }
    };
    while (split && pos + split < input.size()) {
        pending.append(input, pos, split);
        pos += split;
        feed(false);
    }
    pending.append(input, pos, std::string::npos);
    feed(true);
    return out;
}

class MimeTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestEngine_open(&e));
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "engine memory left behind";
        TestEngine_close(&e);
    }
    EngineContext *ctx()
    {
        return e.context;
    }
    // Runs body on an engine task (memory streams and archives take
    // engine locks, which belong to tasks).
    void onTask(std::function<void()> body)
    {
        struct Box {
            std::function<void()> f;
            bool done;
        } box{std::move(body), false};
        Task *t = nullptr;
        ASSERT_EQ(Task_create(
                      ctx(), &t, 3,
                      [](void *arg) {
                          Box *b = static_cast<Box *>(arg);
                          b->f();
                          b->done = true;
                      },
                      &box, "mime", 4096),
                  0);
        Task_detach(t);
        TestEngine_runAll(&e, 1000000);
        EXPECT_TRUE(box.done);
    }
    TestEngine e{};
    size_t baseline = 0;
};

// ------------------------------------------------------------ decoders

TEST_F(MimeTest, DecodersAgreeWithPython)
{
    std::istringstream lines(fixture("mime/decoders.txt"));
    std::string kind, in, want;
    int count = 0;
    while (lines >> kind >> in >> want) {
        std::string input = fromHex(in), expected = fromHex(want);
        count++;
        if (kind == "word") {
            char16_t *text = Mime_decodeHeaderText(ctx(), input.c_str());
            EXPECT_EQ(utf8(text), expected) << input;
            Mem_free(text);
            continue;
        }
        CharsetConverter fn = kind == "b64" ? Mime_base64Decode : Mime_qpDecode;
        EXPECT_EQ(decode(fn, input), expected) << kind << " " << input;
        // Cut anywhere, with the rest offered again, the result is the same.
        for (size_t split = 1; split < input.size() && split < 40; split++)
            ASSERT_EQ(decode(fn, input, split), expected)
                << kind << " " << input << " at " << split;
        // A small output stops the decoder where a quantum or escape no
        // longer fits; going on gives the same bytes.
        // (a white-space run is copied whole, so the quoted-printable
        // decoder needs room for the longest run).
        for (size_t cap : {3, 5, 64}) {
            if (kind == "b64" || cap == 64) {
                ASSERT_EQ(decode(fn, input, 0, cap), expected)
                    << kind << " " << input << " cap " << cap;
            }
        }
    }
    EXPECT_GT(count, 40);
}

TEST_F(MimeTest, BodyDecodersWhereTheyDifferFromPython)
{
    struct Case {
        bool base64;
        std::string in, out;
    } cases[] = {
        {true, "QUJD", "ABC"},
        {true, "QQ==", "A"},
        {true, "QQ==QUJD", "AABC"}, // padding does not end decoding
        {true, "QU\r\nJD", "ABC"},
        {true, "Q!U#J$D", "ABC"},
        {true, "QUJ", ""}, // an unfinished quantum waits
        {false, "a=3Db", "a=b"},
        {false, "a=3db", "a=3db"}, // lower-case digits are no escape
        {false, "a=\r\nb", "ab"},
        {false, "a=\nb", "ab"},
        {false, "a \nb", "a\nb"},    // white space before LF goes
        {false, "a \r\nb", "a \nb"}, // before CR LF it stays, the CR goes
        {false, "a\r\nb\x01\xff", "a\nb"},
        {false, "=x", "x"},
        {false, "=4x", "=4x"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode(c.base64 ? Mime_base64Decode : Mime_qpDecode, c.in), c.out) << c.in;
    // Consumed counts: an unfinished quantum, escape or white-space run is
    // left for later, even when nothing else came before it (dropping it
    // would make the result depend on where the input was cut).
    struct Count {
        bool base64;
        std::string in;
        size_t consumed;
    } counts[] = {
        {true, "QUJDQU", 4}, {true, " \r\nQUJD\r\n", 9}, {false, "ab=4", 2}, {false, "ab  ", 2},
        {false, "=", 0},     {false, "  ", 0},
    };
    for (const Count &c : counts) {
        uint8_t out[16];
        size_t used = 99, made = 99;
        CharsetConverter fn = c.base64 ? Mime_base64Decode : Mime_qpDecode;
        EXPECT_EQ(fn(nullptr, reinterpret_cast<const uint8_t *>(c.in.data()), c.in.size(), out,
                     sizeof out, &used, &made, nullptr),
                  0);
        EXPECT_EQ(used, c.consumed) << c.in;
    }
}

TEST_F(MimeTest, EncodedWords)
{
    struct Case {
        const char *value;
        const char *text;
    } cases[] = {
        {"=?utf-8?q?caf=C3=A9?=", "caf\u00e9"},
        {"=?utf-8?q?a_b?=", "a_b"}, // underscores stay
        {"=?iso-8859-1?Q?na=EFve?=\r\n =?utf-8?B?w6k=?=", "na\u00efve\u00e9"},
        {"plain =?utf-8?q?caf=C3=A9?=", "plain =?utf-8?q?caf=C3=A9?="},
        {"=?utf-8?x?raw?=", "raw"},
        {"=?utf-8?q?no end", "=?utf-8?q?no end"},
        {"=?utf-8?q?sp ace?=", "=?utf-8?q?sp ace?="},
        {"=?no-such-set?q?abc?=", "abc"},
        // A base64 group with a character after padding fails: the value
        // is decoded up to that word.
        {"=?utf-8?q?ok?=\r\n =?us-ascii?b?QQ=A?=", "ok"},
        {"=?us-ascii?b?QUJ?=", ""},
        // The 16-bit set reads two bytes per unit; an odd last byte is
        // dropped, never read past the decoded bytes.
        {"=?utf-16?q?A=00B=00?=", "AB"},
        {"=?utf-16?q?A=00B?=", "A"},
        {"=?utf-16?q?A?=", ""},
    };
    for (const Case &c : cases) {
        char16_t *text = Mime_decodeHeaderText(ctx(), c.value);
        EXPECT_EQ(utf8(text), c.text) << c.value;
        Mem_free(text);
    }
    uint8_t *out = nullptr;
    size_t n = 0;
    EXPECT_EQ(Mime_decodeWordText(4, reinterpret_cast<const uint8_t *>("QQ=A"), 4, &out, &n),
              Res_mimeBadWord);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Mime_decodeWordText(5, reinterpret_cast<const uint8_t *>("ab"), 2, &out, &n),
              Res_mimeBadWord);
    ASSERT_EQ(Mime_decodeWordText(1, reinterpret_cast<const uint8_t *>("ab"), 2, &out, &n), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), "ab");
    Mem_free(out);
    uint8_t three[3];
    EXPECT_EQ(Mime_base64Quantum(reinterpret_cast<const uint8_t *>("QUJD"), three), 0);
    EXPECT_EQ(Mime_base64Quantum(reinterpret_cast<const uint8_t *>("QQ=="), three), 2);
    EXPECT_EQ(Mime_base64Quantum(reinterpret_cast<const uint8_t *>("QQ=A"), three), -1);

    struct QCase {
        std::string in, out;
    } q[] = {
        {"a=41b", "aAb"},     {"a=4", "a4"},         {"a=4xb", "a4xb"},
        {"a=xb", "axb"},      {"a =\r\n.b", "a .b"}, {"a=\r\n..b", "a.b"},
        {"a  \r\nb", "a\nb"}, {"a \rb", "a b"},      {"a\x01\x7f b", "a b"},
    };
    for (const QCase &c : q) {
        size_t len = 0;
        uint8_t *bytes =
            Mime_wordQDecode(reinterpret_cast<const uint8_t *>(c.in.data()), c.in.size(), &len);
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), len), c.out) << c.in;
        Mem_free(bytes);
    }
}

// ------------------------------------------------------------- headers

MimePart *partWithHeaders(MimeParser **parser, const char *headers)
{
    MimePart *root = nullptr;
    *parser = Mime_parserNew(&root, 0);
    root->headers = static_cast<char *>(Mem_malloc(strlen(headers) + 1));
    strcpy(root->headers, headers);
    root->headersLength = root->headersCapacity = uint32_t(strlen(headers));
    return root;
}

void freeParser(MimeParser *parser, MimePart *root)
{
    Mime_parserFree(parser);
    Mem_free(parser);
    Mime_partFree(root);
}

std::string take(char *s)
{
    std::string out = s ? s : "(null)";
    Mem_free(s);
    return out;
}

TEST_F(MimeTest, HeaderValuesAndParameters)
{
    MimeParser *parser = nullptr;
    MimePart *p = partWithHeaders(
        &parser,
        "content-type: Application/X-Thing; filename=\"file.txt\";\r\n NAME = \"real.txt\"; "
        "charset=utf-8; type=\"a;name=x\"\r\n"
        "Content-ID: <one@host>\r\n"
        "Content-Location: \"http://h/a b\"\r\n"
        "Content-Disposition: inline\r\n\tfolded\r\n");
    EXPECT_EQ(take(Mime_findHeader(p->headers, MimeHdr_contentDisposition)),
              "Content-Disposition: inline\r\n\tfolded\r\n");
    EXPECT_EQ(take(Mime_findHeader(p->headers, MimeHdr_contentTransferEncoding)), "(null)");
    EXPECT_EQ(take(Mime_findHeader("\nContent-ID: <x>\r\n", MimeHdr_contentId)),
              "Content-ID: <x>\r\n");
    EXPECT_EQ(take(Mime_findHeader("Content-IDx: 1\rContent-ID: 2", MimeHdr_contentId)),
              "Content-IDx: 1\r");
    EXPECT_EQ(take(Mime_getHeaderValue(p, MimeHdr_contentType)), "Application/X-Thing");
    EXPECT_EQ(take(Mime_getHeaderValue(p, MimeHdr_contentId)), "<one@host>");
    EXPECT_EQ(take(Mime_getHeaderValue(p, MimeHdr_contentLocation)), "http://h/a b");
    EXPECT_EQ(take(Mime_getHeaderValue(p, MimeHdr_contentDisposition)), "inline\r\n");
    // Whole names after ';', ignoring case: "name" is not found inside
    // "filename", nor inside a quoted value.
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentType, MimeParam_name)), "real.txt");
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentType, MimeParam_filename)), "file.txt");
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentType, MimeParam_charset)), "utf-8");
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentType, MimeParam_type)), "a;name=x");
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentType, MimeParam_boundary)), "(null)");
    EXPECT_EQ(take(Mime_getParam(p, MimeHdr_contentId, MimeParam_name)), "(null)");
    EXPECT_EQ(Mime_parseContentHeaders(p), 0);
    EXPECT_EQ(p->type, MimeType_application);
    EXPECT_EQ(p->subtype, MimeSub_none);
    freeParser(parser, p);

    struct Case {
        const char *headers;
        int result;
        uint32_t type, subtype, encoding;
        const char *boundary;
    } cases[] = {
        {"Content-Type: TEXT/HTML\r\nContent-Transfer-Encoding: Base64\r\n", 0, 2, 6, 4, nullptr},
        {"Content-Transfer-Encoding: quoted-printable\r\n", 0, 7, 12, 3, nullptr},
        {"Content-Transfer-Encoding: b\r\n", 0, 7, 12, 4, nullptr}, // a prefix: the last name wins
        {"Content-Transfer-Encoding: \r\n", 0, 7, 12, 0, nullptr},  // no token, no encoding
        {"Content-Type: image/jpeg\r\n", 0, 4, 9, 0, nullptr},
        {"Content-Type: multipart/related; boundary=\"Ab=c\"\r\n", 0, 1, 2, 0, "Ab=c"},
        {"Content-Type: multipart/mixed; boundary=xyz\r\n", 0, 1, 0, 0, "xyz"},
        {"Content-Type: multipart/related; type=\"text/html\"\r\n", Res_mimeNoBoundary, 1, 2, 0,
         nullptr},
        {"Content-Type: message/rfc822\r\n", 0, 0, 12, 0, nullptr},
    };
    for (const Case &c : cases) {
        p = partWithHeaders(&parser, c.headers);
        EXPECT_EQ(Mime_parseContentHeaders(p), c.result) << c.headers;
        EXPECT_EQ(p->type, c.type) << c.headers;
        EXPECT_EQ(p->subtype, c.subtype) << c.headers;
        EXPECT_EQ(p->encoding, c.encoding) << c.headers;
        EXPECT_EQ(std::string(p->boundary ? p->boundary : "(null)"),
                  c.boundary ? c.boundary : "(null)");
        freeParser(parser, p);
    }
}

// --------------------------------------------------------------- parser

// A text form of a tree: every part's numbers, type codes, headers,
// boundary and decoded body, depth first.
std::string describe(const MimePart *root)
{
    std::string out;
    const MimePart *p = root;
    while (p) {
        char line[160];
        snprintf(line, sizeof line, "%u@%u: start %u length %u type %u/%u enc %u kids %d\n",
                 p->number, p->depth, p->bodyStart, p->bodyLength, p->type, p->subtype, p->encoding,
                 p->firstChild ? 1 : 0);
        out += line;
        out += std::string(p->headers ? p->headers : "", p->headersLength);
        out += "|" + std::string(p->boundary ? p->boundary : "") + "|";
        out += std::string(
            reinterpret_cast<const char *>(p->decoded ? p->decoded : (const uint8_t *)""),
            p->decodedLength);
        out += "\n";
        if (p->firstChild) {
            p = p->firstChild;
            continue;
        }
        while (p && !p->nextSibling)
            p = p->parent;
        if (p)
            p = p->nextSibling;
    }
    return out;
}

struct Parsed {
    int result = 0;
    std::string tree;
    uint32_t parts = 0;
};

// Parses data read chunk bytes at a time, as the archive loader does: the
// unconsumed rest comes again in front of the next read.
Parsed parseInChunks(const std::string &data, size_t chunk, uint32_t collect, EngineContext *ctx)
{
    Parsed out;
    MimePart *root = nullptr;
    MimeParser *parser = Mime_parserNew(&root, collect);
    size_t pos = 0, readEnd = 0;
    for (;;) {
        readEnd = std::min(data.size(), readEnd + chunk);
        bool final = readEnd == data.size();
        uint32_t used = 0;
        out.result = Mime_parse(ctx, reinterpret_cast<const uint8_t *>(data.data()) + pos,
                                uint32_t(readEnd - pos), &used, uint32_t(pos), final, parser);
        if (out.result || final)
            break;
        pos += used;
    }
    out.parts = parser->counter;
    Mime_parserFree(parser);
    Mem_free(parser);
    out.tree = describe(root);
    Mime_partFree(root);
    return out;
}

// Bodies with lines that look like delimiters from the middle, escapes
// and quanta across lines, lone CR line breaks and an unterminated end.
const char kTricky[] = "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
                       "\r\n"
                       "preamble --b not a delimiter\r\n"
                       "--b\r\n"
                       "Content-Type: text/plain\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n"
                       "\r\n"
                       "abc--b in a line=\r\n"
                       "x=3Dy   \r\n"
                       "tail =\r"
                       "\r\n"
                       "--b\r"
                       "Content-Type: image/png\r"
                       "Content-Transfer-Encoding: base64\r"
                       "\r"
                       "QUJD\r\nQU\r\nJD QQ==QUJD\r\n"
                       "--b\n"
                       "Content-Type: multipart/alternative; boundary=b2\n"
                       "\n"
                       "--b2\n"
                       "Content-Type: text/html; charset=utf-8\n"
                       "Content-Location: http://h/a&amp;b\n"
                       "Content-Description: caf&eacute; &amp; tea\n"
                       "\n"
                       "<p>x</p>\n"
                       "--b--\n"
                       "epilogue\n"
                       "--b\n"
                       "Content-Type: text/plain\n"
                       "\n"
                       "cut short";

TEST_F(MimeTest, ChunkedParsingEqualsWholeParsing)
{
    std::vector<std::string> sources = {fixture("mime/page.mht"), fixture("mime/alternative.mht"),
                                        fixture("mime/words.eml"), fixture("mime/noid.mht"),
                                        std::string(kTricky),
                                        // no parts: the root becomes text/plain in every cut
                                        std::string("Subject: hi\r\n\r\nml\r\n\r\nline three\r\n")};
    for (const std::string &data : sources) {
        for (uint32_t collect : {0u, 1u}) {
            Parsed whole = parseInChunks(data, data.size() + 1, collect, ctx());
            ASSERT_EQ(whole.result, 0);
            ASSERT_GT(whole.parts, 0u);
            for (size_t chunk = 1; chunk <= 5000; chunk++) {
                Parsed cut = parseInChunks(data, chunk, collect, ctx());
                ASSERT_EQ(cut.result, 0) << "chunk " << chunk;
                ASSERT_EQ(cut.tree, whole.tree) << "collect " << collect << " chunk " << chunk;
            }
        }
    }
    // The tricky source, whole: what each part became.
    Parsed whole = parseInChunks(kTricky, sizeof kTricky, 1, ctx());
    EXPECT_NE(whole.tree.find("||abc--b in a linex=y   \ntail \n2@1"), std::string::npos)
        << whole.tree;
    EXPECT_NE(whole.tree.find("|ABCABCAABC\n"), std::string::npos) << whole.tree;
    EXPECT_NE(whole.tree.find("Content-Location: http://h/a&amp;b\n"), std::string::npos);
    EXPECT_NE(whole.tree.find("Content-Description: caf\xe9 & tea\n"), std::string::npos);
    EXPECT_NE(whole.tree.find("|<p>x</p>\n\n"), std::string::npos) << whole.tree;
    EXPECT_NE(whole.tree.find("|cut short\n"), std::string::npos) << whole.tree;
}

TEST_F(MimeTest, BodyOffsetsAndTheEnd)
{
    // The line break in front of a delimiter belongs to the body; a
    // closing delimiter ends its multipart after the line.
    const std::string msg = "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
                            "--B\r\nContent-Type: text/plain\r\n\r\nhello\r\n--B--\r\nafter\r\n";
    MimePart *root = nullptr;
    MimeParser *parser = Mime_parserNew(&root, 0);
    uint32_t used = 0;
    ASSERT_EQ(Mime_parse(ctx(), reinterpret_cast<const uint8_t *>(msg.data()), uint32_t(msg.size()),
                         &used, 0, 1, parser),
              0);
    MimePart *kid = root->firstChild;
    ASSERT_NE(kid, nullptr);
    EXPECT_EQ(msg.substr(kid->bodyStart, kid->bodyLength), "hello\r\n");
    EXPECT_EQ(msg.substr(root->bodyStart, root->bodyLength),
              "--B\r\nContent-Type: text/plain\r\n\r\nhello\r\n--B--\r\n");
    EXPECT_EQ(parser->state, MimeState_closed);
    freeParser(parser, root);

    // A boundary is compared with case: "--b" does not end a "B" part, and
    // the part that the input ends inside runs to the end.
    const std::string open = "Content-Type: multipart/mixed; boundary=B\n\n--B\n\nbody\n--b\nmore";
    root = nullptr;
    parser = Mime_parserNew(&root, 0);
    ASSERT_EQ(Mime_parse(ctx(), reinterpret_cast<const uint8_t *>(open.data()),
                         uint32_t(open.size()), &used, 0, 1, parser),
              0);
    ASSERT_NE(root->firstChild, nullptr);
    EXPECT_EQ(open.substr(root->firstChild->bodyStart, root->firstChild->bodyLength),
              "body\n--b\nmore");
    freeParser(parser, root);

    // The nearest multipart's boundary wins: "--ab" opens a part of the
    // inner "ab" multipart only, though it starts with the outer "--a" too.
    const std::string prefix =
        "Content-Type: multipart/mixed; boundary=a\n\n--a\n"
        "Content-Type: multipart/mixed; boundary=ab\n\n--ab\n\none\n--ab--\n--a--\n";
    root = nullptr;
    parser = Mime_parserNew(&root, 0);
    ASSERT_EQ(Mime_parse(ctx(), reinterpret_cast<const uint8_t *>(prefix.data()),
                         uint32_t(prefix.size()), &used, 0, 1, parser),
              0);
    ASSERT_NE(root->firstChild, nullptr);
    EXPECT_EQ(root->firstChild->nextSibling, nullptr);
    ASSERT_NE(root->firstChild->firstChild, nullptr);
    EXPECT_EQ(prefix.substr(root->firstChild->firstChild->bodyStart,
                            root->firstChild->firstChild->bodyLength),
              "one\n");
    EXPECT_EQ(parser->counter, 3u);
    freeParser(parser, root);

    // No Content-Type: the body becomes a text/plain root, blank lines kept.
    for (uint32_t collect : {0u, 1u}) {
        const std::string plain = "Subject: hi\r\n\r\nline one\r\n\r\nline three";
        root = nullptr;
        parser = Mime_parserNew(&root, collect);
        ASSERT_EQ(Mime_parse(ctx(), reinterpret_cast<const uint8_t *>(plain.data()),
                             uint32_t(plain.size()), &used, 0, 1, parser),
                  0);
        EXPECT_EQ(root->type, MimeType_text);
        EXPECT_EQ(root->subtype, MimeSub_plain);
        EXPECT_STREQ(root->headers, "Content-type: text/plain\n");
        EXPECT_EQ(root->headersLength, 25u);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(root->decoded), root->decodedLength),
                  "line one\r\n\r\nline three")
            << collect;
        freeParser(parser, root);
    }
}

TEST_F(MimeTest, ParseErrors)
{
    struct Case {
        const char *source;
        int result;
    } cases[] = {
        {"Content-Type: multipart/related; type=\"text/html\"\r\n\r\nbody\r\n", Res_mimeNoBoundary},
        {"Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\n"
         "Content-Type: multipart/alternative\r\n\r\n",
         Res_mimeNoBoundary},
        {"Content-Type: text/html\r\n\r\n", Res_mimeNoBody},
        {"Content-Type: text/html\r\n\r\nx", 0},
        {"", 0},
    };
    for (const Case &c : cases)
        for (size_t chunk : {size_t(1), size_t(7), size_t(4096)})
            EXPECT_EQ(parseInChunks(c.source, chunk, 0, ctx()).result, c.result) << c.source;
}

// 10,000 multiparts, each inside the last, then an HTML part beside the
// outermost: parts below the nesting limit stay leaves, and parsing,
// lookups and freeing walk without recursion.
std::string deepSource(int depth)
{
    std::string s = "Content-Type: multipart/mixed; boundary=\"r\"\r\n\r\n--r\r\n"
                    "Content-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
    for (int i = 1; i < depth; i++)
        s += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"b" +
             std::to_string(i) + "\"\r\n\r\n";
    for (int i = depth - 1; i >= 0; i--)
        s += "--b" + std::to_string(i) + "--\r\n";
    s += "--r\r\nContent-Type: text/html\r\nContent-Location: "
         "http://h/deep.html\r\n\r\n<p>deep</p>\r\n--r--\r\n";
    return s;
}

TEST_F(MimeTest, DeepNestingEndsWithoutExhaustingTheStack)
{
    const std::string data = deepSource(10000);
    for (size_t chunk : {size_t(4096), data.size()}) {
        MimePart *root = nullptr;
        MimeParser *parser = Mime_parserNew(&root, 1);
        size_t pos = 0, readEnd = 0;
        int r = 0;
        for (;;) {
            readEnd = std::min(data.size(), readEnd + chunk);
            bool final = readEnd == data.size();
            uint32_t used = 0;
            r = Mime_parse(ctx(), reinterpret_cast<const uint8_t *>(data.data()) + pos,
                           uint32_t(readEnd - pos), &used, uint32_t(pos), final, parser);
            if (r || final)
                break;
            pos += used;
        }
        ASSERT_EQ(r, 0);
        uint32_t deepest = 0;
        for (MimePart *p = root->firstChild; p; p = p->firstChild)
            deepest = p->depth;
        EXPECT_EQ(deepest, uint32_t(Mime_maxDepth));
        MimePart *doc = MimeArchive_findDocPart(ctx(), root, nullptr);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->type, MimeType_text);
        Url *missing = Url_newFromCstr("http://h/none.png");
        EXPECT_EQ(MimeArchive_findPartByUrl(ctx(), root, missing), nullptr);
        Url_free(missing);
        EXPECT_EQ(Mime_findChildByType(root, "image/"), nullptr);
        Mime_parserFree(parser);
        Mem_free(parser);
        Mime_partFree(root);
    }
}

// -------------------------------------------------------------- archives

struct Archive {
    MimeArchive *archive = nullptr;
    int result = 0;
};

Archive openArchive(EngineContext *ctx, const std::string &bytes)
{
    Archive a;
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(bytes.size() + 1));
    memcpy(copy, bytes.data(), bytes.size());
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (Vfs_openMemory(ctx, copy, bytes.size(), 1, Vfs_modeRead, &h, &accepted) != Res_ok)
        return a;
    a.result = MimeArchive_open(ctx, h, &a.archive);
    return a;
}

// Reads a URL (text relative to base) through the stream layer: its bytes,
// or "error N".
std::string readUrl(EngineContext *ctx, const Url *base, const char16_t *text,
                    std::string *mime = nullptr, std::string *charset = nullptr)
{
    Url *url = Url_resolveText(ctx, text, base);
    if (!url)
        return "no url";
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    int r = Vfs_open(ctx, url, Vfs_modeRead, &h, &accepted);
    Url_free(url);
    if (r)
        return "error " + std::to_string(r);
    std::string out;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t n = 0;
        if (Vfs_getReadBuf(h, 4096, &p, &n) != Res_ok || !n) {
            if (p) {
                EXPECT_EQ(Vfs_readDone(h, 0), 0);
            }
            break;
        }
        out.append(reinterpret_cast<const char *>(p), n);
        EXPECT_EQ(Vfs_readDone(h, n), 0);
    }
    uintptr_t value = 0;
    if (mime && Vfs_getInfo(h, VfsInfo_mime, &value) == Res_ok)
        *mime = utf8(reinterpret_cast<const char16_t *>(value));
    if (charset && Vfs_getInfo(h, VfsInfo_string2, &value) == Res_ok)
        *charset = utf8(reinterpret_cast<const char16_t *>(value));
    EXPECT_EQ(Vfs_close(h), 0);
    return out;
}

std::string urlText(const Url *url)
{
    char16_t *t = Url_toString(url, 31);
    std::string out = utf8(t);
    Mem_free(t);
    return out;
}

TEST_F(MimeTest, PageWithImagesAndSheet)
{
    onTask([&] {
        Archive a = openArchive(ctx(), fixture("mime/page.mht"));
        ASSERT_EQ(a.result, 0);
        Url *main = nullptr;
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        MimeArchive_release(a.archive); // the URL holds it now
        EXPECT_EQ(urlText(main), "http://example.com/dir/page.html");
        EXPECT_TRUE(Mime_claimsHandler(Url_getHandler(main)));
        std::string mime, charset;
        std::string html = readUrl(ctx(), main, u"", &mime, &charset);
        EXPECT_EQ(mime, "text/html");
        EXPECT_EQ(charset, "utf-8");
        EXPECT_NE(html.find("<p class=\"lead\">Caf\xc3\xa9 = caf\xc3\xa9, long line xxx"),
                  std::string::npos)
            << html;
        EXPECT_NE(html.find("x end.</p><img src=\"cid:logo@example.com\">"), std::string::npos)
            << html;
        // Images by "cid:" and by their saved location, the sheet by location.
        EXPECT_EQ(readUrl(ctx(), main, u"cid:logo@example.com", &mime),
                  fixture("images/png/phys_unit0.png"));
        EXPECT_EQ(mime, "image/png");
        EXPECT_EQ(readUrl(ctx(), main, u"pic.gif"), fixture("images/gif/codesize1.gif"));
        EXPECT_EQ(readUrl(ctx(), main, u"style.css", &mime), "p.lead { color: #123456 }\r\n");
        EXPECT_EQ(mime, "text/css");
        // A part opens again after its bytes went to the first stream.
        EXPECT_EQ(readUrl(ctx(), main, u"pic.gif"), fixture("images/gif/codesize1.gif"));
        // A URL that no part has is opened without the archive (http has no
        // stream type of its own here).
        EXPECT_EQ(readUrl(ctx(), main, u"other.png"), "error " + std::to_string(Res_vfsNoType));
        Url *other = Url_resolveText(ctx(), u"other.png", main);
        EXPECT_EQ(MimeArchive_hasUrl(ctx(), other), 0);
        EXPECT_EQ(Url_getHandler(other), nullptr);
        Url_free(other);
        Url *logo = Url_resolveText(ctx(), u"cid:logo@example.com", main);
        EXPECT_EQ(MimeArchive_hasUrl(ctx(), logo), 1);
        // Slot 22 answers the source's URL (a memory source has none); slot 23
        // closes the source, after which parts no longer open.
        uintptr_t base = 1;
        EXPECT_EQ(Vfs_handlerQuery(ctx(), logo, &base), 0);
        EXPECT_EQ(base, 0u);
        EXPECT_EQ(Vfs_urlSlot23(ctx(), logo, 0), 0);
        EXPECT_EQ(readUrl(ctx(), main, u"cid:logo@example.com"),
                  "error " + std::to_string(Res_fileCannotOpen));
        Url_free(logo);
        Url_free(main);
    });
}

TEST_F(MimeTest, CollectModeDecodesWhileLoading)
{
    onTask([&] {
        Archive a = openArchive(ctx(), fixture("mime/page.mht"));
        ASSERT_EQ(a.result, 0);
        ASSERT_EQ(MimeArchive_load(ctx(), a.archive, 1), 0);
        MimePart *logo = a.archive->root->firstChild->nextSibling;
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(logo->decoded), logo->decodedLength),
                  fixture("images/png/phys_unit0.png"));
        Url *main = nullptr;
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        // The stream takes the collected bytes; the next open decodes anew.
        EXPECT_EQ(readUrl(ctx(), main, u"cid:logo@example.com"),
                  fixture("images/png/phys_unit0.png"));
        EXPECT_EQ(logo->decoded, nullptr);
        EXPECT_EQ(readUrl(ctx(), main, u"cid:logo@example.com"),
                  fixture("images/png/phys_unit0.png"));
        Url_free(main);
        MimeArchive_release(a.archive);
    });
}

TEST_F(MimeTest, DocumentPartChoice)
{
    onTask([&] {
        // The nested alternative shows its HTML when HTML is wanted, its
        // first part otherwise.
        Archive a = openArchive(ctx(), fixture("mime/alternative.mht"));
        ASSERT_EQ(a.result, 0);
        MimePart *html = MimeArchive_findDocPart(ctx(), a.archive->root, "text/html");
        ASSERT_NE(html, nullptr);
        EXPECT_EQ(html->subtype, MimeSub_html);
        MimePart *first = MimeArchive_findDocPart(ctx(), a.archive->root, nullptr);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->subtype, MimeSub_plain);
        Url *main = nullptr;
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        EXPECT_EQ(urlText(main), "cid:oKALA3");
        EXPECT_NE(readUrl(ctx(), main, u"").find("<p>Rich words.</p>"), std::string::npos);
        EXPECT_EQ(readUrl(ctx(), main, u"cid:dot"), fixture("images/gif/codesize1.gif"));
        Url_free(main);
        MimeArchive_release(a.archive);

        struct Case {
            const char *name;
            std::string source;
            const char *wanted;
            const char *location; // of the chosen part, or null for none
        } cases[] = {
            {"start names the document",
             "Content-Type: multipart/related; boundary=x; start=\"cid:two\"\r\n\r\n"
             "--x\r\nContent-Type: text/html\r\nContent-Location: http://h/one\r\n\r\n1\r\n"
             "--x\r\nContent-Type: text/html\r\nContent-ID: <two>\r\n\r\n2\r\n--x--\r\n",
             "text/html", nullptr},
            {"type parameter",
             "Content-Type: multipart/related; boundary=x; type=\"image/gif\"\r\n\r\n"
             "--x\r\nContent-Type: text/html\r\nContent-Location: http://h/one\r\n\r\n1\r\n"
             "--x\r\nContent-Type: image/gif\r\nContent-Location: "
             "http://h/two\r\n\r\n2\r\n--x--\r\n",
             nullptr, "http://h/two"},
            {"start naming the multipart itself does not loop",
             "Content-Type: multipart/related; boundary=x; start=\"cid:oKALA0\"\r\n\r\n"
             "--x\r\nContent-Type: text/plain\r\nContent-Location: "
             "http://h/one\r\n\r\n1\r\n--x--\r\n",
             nullptr, "http://h/one"},
            {"a single text/html message is its own document",
             "Content-Type: text/html\r\nContent-Location: http://h/self\r\n\r\n<p>x</p>\r\n",
             "text/html", "http://h/self"},
            {"no type: no document",
             "Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n\r\nabc\r\n--x--\r\n",
             nullptr, ""},
        };
        for (const Case &c : cases) {
            a = openArchive(ctx(), c.source);
            ASSERT_EQ(a.result, 0) << c.name;
            main = nullptr;
            int r = MimeArchive_mainUrl(ctx(), a.archive, &main, c.wanted);
            if (c.location && !*c.location) {
                EXPECT_EQ(r, Res_mimeNoDocPart) << c.name;
            } else {
                ASSERT_EQ(r, 0) << c.name;
                EXPECT_EQ(urlText(main), c.location ? c.location : "cid:two") << c.name;
            }
            Url_free(main);
            MimeArchive_release(a.archive);
        }
    });
}

TEST_F(MimeTest, PartUrls)
{
    onTask([&] {
        // Encoded words in Content-Location and Content-ID; a part with
        // neither is "cid:oKALA" and its number.
        Archive a = openArchive(ctx(), fixture("mime/words.eml"));
        ASSERT_EQ(a.result, 0);
        MimePart *html = a.archive->root->firstChild;
        ASSERT_NE(html, nullptr);
        char16_t *text = Mime_partUrlString(ctx(), html);
        EXPECT_EQ(utf8(text), "http://example.com/caf\u00e9.html");
        Mem_free(text);
        // "cid:" comes in front before decoding, so an encoded word in a
        // Content-ID stays as written; the part is still found by it.
        text = Mime_partUrlString(ctx(), html->nextSibling);
        EXPECT_EQ(utf8(text), "cid:=?iso-8859-1?Q?<na=EFve@example.com>?=");
        Mem_free(text);
        Url *own = Mime_partUrl(ctx(), html->nextSibling);
        EXPECT_EQ(MimeArchive_findPartByUrl(ctx(), a.archive->root, own), html->nextSibling);
        Url_free(own);
        text = Mime_partUrlString(ctx(), a.archive->root);
        EXPECT_EQ(utf8(text), "cid:oKALA0");
        Mem_free(text);
        Url *main = nullptr;
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        EXPECT_EQ(urlText(main), "http://example.com/caf\u00e9.html");
        EXPECT_NE(readUrl(ctx(), main, u"").find("Encoded words."), std::string::npos);
        Url_free(main);
        MimeArchive_release(a.archive);

        a = openArchive(ctx(), fixture("mime/noid.mht"));
        ASSERT_EQ(a.result, 0);
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        EXPECT_EQ(urlText(main), "cid:oKALA1");
        EXPECT_EQ(readUrl(ctx(), main, u"cid:oKALA2"), fixture("images/gif/codesize1.gif"));
        EXPECT_EQ(readUrl(ctx(), main, u"cid:oKALA9"),
                  "error " + std::to_string(Res_fileCannotOpen));
        Url_free(main);
        MimeArchive_release(a.archive);

        // File URLs match by scheme and path whatever the host, query or
        // fragment; backslashes in a location are slashes.
        a = openArchive(ctx(), "Content-Type: multipart/related; boundary=x\r\n\r\n"
                               "--x\r\nContent-Type: text/html\r\nContent-Location: "
                               "file:///C:\\saved\\page.htm\r\n\r\n"
                               "<p>x</p>\r\n--x--\r\n");
        ASSERT_EQ(a.result, 0);
        Url *wanted = Url_newFromCstr("file://elsewhere/C:/saved/page.htm?q=1#frag");
        MimePart *found = MimeArchive_findPartByUrl(ctx(), a.archive->root, wanted);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->number, 1u);
        Url_free(wanted);
        wanted = Url_newFromCstr("http://elsewhere/C:/saved/page.htm");
        EXPECT_EQ(MimeArchive_findPartByUrl(ctx(), a.archive->root, wanted), nullptr);
        Url_free(wanted);
        MimeArchive_release(a.archive);
    });
}

TEST_F(MimeTest, OpenErrors)
{
    onTask([&] {
        // A multipart without boundary fails the open and frees everything,
        // the source included (the fixture checks the heap).
        Archive a = openArchive(ctx(), "Content-Type: multipart/related\r\n\r\n--x\r\n\r\nabc\r\n");
        EXPECT_EQ(a.result, Res_mimeNoBoundary);
        EXPECT_EQ(a.archive, nullptr);
        a = openArchive(ctx(), "Content-Type: text/html\r\n\r\n");
        EXPECT_EQ(a.result, Res_mimeNoBody);
        // An empty part opens as nothing (780); a part of an unknown encoding
        // has no decoder... the encoding names cover every code the parser
        // sets, so only emptiness is reachable here.
        a = openArchive(ctx(),
                        "Content-Type: multipart/related; boundary=x\r\n\r\n"
                        "--x\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n"
                        "--x\r\nContent-Type: text/css\r\nContent-ID: <empty>\r\n\r\n--x--\r\n");
        ASSERT_EQ(a.result, 0);
        Url *main = nullptr;
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        EXPECT_EQ(readUrl(ctx(), main, u"cid:empty"),
                  "error " + std::to_string(Res_fileCannotOpen));
        Url_free(main);
        // The deep archive opens, shows its HTML part and frees.
        MimeArchive_release(a.archive);
        a = openArchive(ctx(), deepSource(10000));
        ASSERT_EQ(a.result, 0);
        ASSERT_EQ(MimeArchive_mainUrl(ctx(), a.archive, &main, "text/html"), 0);
        EXPECT_EQ(readUrl(ctx(), main, u""), "<p>deep</p>\r\n");
        Url_free(main);
        MimeArchive_release(a.archive);
    });
}

} // namespace
