// The standard security handler: MD5 and RC4 against their published
// vectors; encrypted fixtures opened with the empty password, a user and an
// owner password; the password question answered, asked again, cancelled,
// never taken, or left unanswered until a stop (a late answer must touch
// nothing freed); strings and stream data decrypted; the Encrypt
// dictionary's own strings left alone.
#include <cstring>
#include <string>
#include <vector>

#include "core/stream/inflate.h"
#include "pdf/md5.h"
#include "pdf/rc4.h"
#include "tests/pdf/pdf_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string hex(const uint8_t *b, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

TEST(PdfCryptoTest, Md5GivesTheDigestsOfRfc1321)
{
    struct {
        std::string text;
        const char *digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto &c : cases) {
        uint8_t d[16];
        Md5_digest(d, c.text.data(), c.text.size());
        EXPECT_EQ(hex(d, 16), c.digest) << c.text;
        // The same in uneven pieces.
        Md5 md5;
        Md5_init(&md5);
        for (size_t at = 0, step = 1; at < c.text.size(); at += step, step = step * 2 + 1)
            Md5_update(&md5, c.text.data() + at, std::min(step, c.text.size() - at));
        Md5_final(&md5, d);
        EXPECT_EQ(hex(d, 16), c.digest) << c.text;
    }
}

TEST(PdfCryptoTest, Rc4GivesThePublishedKeyStreams)
{
    struct {
        std::string key, text;
        const char *cipher;
    } cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (auto &c : cases) {
        Rc4 rc4;
        Rc4_init(reinterpret_cast<const uint8_t *>(c.key.data()), c.key.size(), &rc4);
        std::string data = c.text;
        // In two pieces: the key stream continues.
        Rc4_crypt(reinterpret_cast<uint8_t *>(data.data()), 2, &rc4);
        Rc4_crypt(reinterpret_cast<uint8_t *>(data.data()) + 2, data.size() - 2, &rc4);
        EXPECT_EQ(hex(reinterpret_cast<const uint8_t *>(data.data()), data.size()), c.cipher)
            << c.key;
    }
}

class PdfSecurityTest : public PdfDocFixture {
  protected:
    // The document information's Title, as the reader decrypted it.
    static std::string title(PdfDoc *doc)
    {
        PdfObj *info = nullptr, *t = nullptr;
        EXPECT_EQ(Pdf_Obj_dictGet(doc, "Info", doc->trailer, &info), Res_ok);
        EXPECT_EQ(Pdf_Obj_dictGet(doc, "Title", info, &t), Res_ok);
        return describe(t);
    }
};

TEST_F(PdfSecurityTest, TheEmptyUserPasswordOpensWithoutAQuestion)
{
    listen({});
    for (const char *file : {"rc4-40-empty.pdf", "rc4-128-empty.pdf"}) {
        questions = 0;
        std::string bytes = readPdfFixture(file);
        EXPECT_EQ(withDoc(bytes,
                          [&](PdfDoc *doc) {
                              ASSERT_NE(doc->security, nullptr);
                              EXPECT_EQ(title(doc), "string Vexlan test (fixtures)") << file;
                          }),
                  0)
            << file;
        EXPECT_EQ(questions, 0u) << file;
    }
}

TEST_F(PdfSecurityTest, UserAndOwnerPasswordsOpenBothRevisions)
{
    struct {
        const char *file;
        const char *password;
        uint32_t bits, revision;
    } cases[] = {
        {"rc4-40.pdf", "user", 40, 2},
        {"rc4-40.pdf", "owner", 40, 2},
        {"rc4-128.pdf", "user", 128, 3},
        {"rc4-128.pdf", "owner", 128, 3},
    };
    listen({});
    for (auto &c : cases) {
        answers = {{PdfSec_answerOk, c.password}};
        questions = 0;
        std::string bytes = readPdfFixture(c.file);
        EXPECT_EQ(withDoc(bytes,
                          [&](PdfDoc *doc) {
                              EXPECT_EQ(doc->security->keyBits, c.bits);
                              EXPECT_EQ(doc->security->revision, c.revision);
                              EXPECT_EQ(title(doc), "string Vexlan test (fixtures)");
                          }),
                  0)
            << c.file << " " << c.password;
        EXPECT_EQ(questions, 1u);
    }
}

TEST_F(PdfSecurityTest, AWrongPasswordOrAnotherAnswerAsksAgain)
{
    listen({{PdfSec_answerOk, "wrong"}, {7, ""}, {PdfSec_answerOk, "user"}});
    std::string bytes = readPdfFixture("rc4-128.pdf");
    EXPECT_EQ(withDoc(bytes, [](PdfDoc *) {}), 0);
    EXPECT_EQ(questions, 3u);
}

TEST_F(PdfSecurityTest, CancellingFailsTheOpen)
{
    listen({{PdfSec_answerOk, "wrong"}, {PdfSec_answerCancel, ""}});
    std::string bytes = readPdfFixture("rc4-40.pdf");
    EXPECT_EQ(withDoc(bytes, [](PdfDoc *) {}), Res_pdfCancelled);
    EXPECT_EQ(questions, 2u);
}

TEST_F(PdfSecurityTest, AQuestionNobodyTakesCountsAsCancelled)
{
    std::string bytes = readPdfFixture("rc4-40.pdf");
    EXPECT_EQ(withDoc(bytes, [](PdfDoc *) {}), Res_pdfCancelled);
}

TEST_F(PdfSecurityTest, AStopEndsTheWaitAndALateAnswerTouchesNothingFreed)
{
    listen({{PdfSec_answerOk, "", true}});
    std::string bytes = readPdfFixture("rc4-40.pdf");
    int result = -1;
    Task *t = spawn("opener", 3, [&] {
        PdfDoc *doc = nullptr;
        result = open(bytes, &doc);
        Pdf_closeDocument(doc, nullptr);
    });
    TestEngine_runAll(&e);
    ASSERT_EQ(questions, 1u);
    EXPECT_EQ(result, -1) << "still waiting";
    ASSERT_EQ(Task_requestStop(t), 0);
    TestEngine_runAll(&e);
    EXPECT_EQ(result, Res_stopRequested);
    Task_detach(t);
    TestEngine_runAll(&e);
    // The host answers now, through the copy it kept, and lets it go.
    ASSERT_EQ(kept.size(), 1u);
    run([this] {
        answerWith(static_cast<EventProcKind2Msg *>(kept[0]->payload), PdfSec_answerOk, "user");
        EventProc_freeMsg(kept[0]);
        kept.clear();
    });
}

TEST_F(PdfSecurityTest, UnsupportedEncryptionFailsWithoutAQuestion)
{
    listen({{PdfSec_answerOk, "user"}});
    for (const char *file : {"aes-128.pdf", "rc4-length44.pdf"}) {
        std::string bytes = readPdfFixture(file);
        EXPECT_EQ(withDoc(bytes, [](PdfDoc *) {}), Res_pdfEncryption) << file;
    }
    // The dictionary's checks, one at a time, on a file of our own.
    const std::string id = " /ID [<0123456789abcdef> <0123456789abcdef>]";
    const std::string o = "<" + std::string(64, 'a') + ">", u = "<" + std::string(64, 'b') + ">";
    struct {
        std::string dict;
        std::string trailer;
    } cases[] = {
        {"<< /Filter /Other /V 1 /R 2 /O " + o + " /U " + u + " /P -4 >>", id},
        {"<< /Filter /Standard /V 4 /R 4 /O " + o + " /U " + u + " /P -4 >>", id},
        {"<< /Filter /Standard /V 1 /R 5 /O " + o + " /U " + u + " /P -4 >>", id},
        {"<< /Filter /Standard /V 1 /R 2 /O <00> /U " + u + " /P -4 >>", id},
        {"<< /Filter /Standard /V 1 /R 2 /O " + o + " /U " + u + " >>", id},
        {"<< /Filter /Standard /V 1 /R 2 /O " + o + " /U " + u + " /P -4 >>", ""},
        {"<< /Filter /Standard /V 2 /R 3 /O " + o + " /U " + u + " /P -4 >>", id},
        {"<< /Filter /Standard /V 2 /R 3 /Length 136 /O " + o + " /U " + u + " /P -4 >>", id},
    };
    for (auto &c : cases) {
        std::string file =
            pdfFile(pdfObjects({{3, c.dict}}), " /Root 1 0 R /Encrypt 3 0 R" + c.trailer);
        EXPECT_EQ(withDoc(file, [](PdfDoc *) {}), Res_pdfEncryption) << c.dict << c.trailer;
    }
    EXPECT_EQ(questions, 0u);
}

TEST_F(PdfSecurityTest, TheEncryptDictionaryKeepsItsStringsAfterAFlush)
{
    std::string bytes = readPdfFixture("rc4-128-empty.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [](PdfDoc *doc) {
                          PdfXrefEntry *e = doc->security->encryptEntry;
                          ASSERT_NE(e, nullptr);
                          Pdf_Doc_flushCache(doc, nullptr, 1);
                          EXPECT_EQ(e->cached, nullptr);
                          PdfObj ref{PdfObj_indirect, {}, nullptr};
                          ref.value.entry = e;
                          PdfObj *o = nullptr;
                          PdfString *s = nullptr;
                          ASSERT_EQ(Pdf_Obj_dictGet(doc, "O", &ref, &o), Res_ok);
                          ASSERT_EQ(Pdf_Obj_getString(doc, o, &s), Res_ok);
                          ASSERT_EQ(s->length, 32u);
                          EXPECT_EQ(memcmp(PdfString_bytes(s), doc->security->O, 32), 0);
                      }),
              0);
}

TEST_F(PdfSecurityTest, StreamDataDecryptsThroughTheStage)
{
    std::string bytes = readPdfFixture("rc4-128-empty.pdf");
    EXPECT_EQ(
        withDoc(bytes,
                [&](PdfDoc *doc) {
                    PdfObj *pages = nullptr, *kids = nullptr, *page = nullptr, *contents = nullptr,
                           *length = nullptr;
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Pages", doc->catalog, &pages), Res_ok);
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Kids", pages, &kids), Res_ok);
                    ASSERT_EQ(Pdf_Obj_arrayGet(doc, 0, kids, &page), Res_ok);
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Contents", page, &contents), Res_ok);
                    ASSERT_EQ(contents->type, PdfObj_stream);
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Length", contents, &length), Res_ok);
                    int32_t n = 0;
                    ASSERT_EQ(Pdf_Obj_getInt(doc, length, &n), Res_ok);
                    std::string raw = bytes.substr(contents->value.stream->offset, size_t(n));
                    TestByteStream source;
                    source.init(&raw, 7);
                    ByteStream *stage = nullptr;
                    ASSERT_EQ(Pdf_Sec_streamNew(&stage, &source.base, doc, contents->owner->number,
                                                contents->owner->generation),
                              Res_ok);
                    std::string plain;
                    uint8_t b;
                    while (ByteStream_readByte(stage, &b) == Res_ok)
                        plain += char(b);
                    EXPECT_EQ(stage->status, 0);
                    EXPECT_EQ(ByteStream_close(stage), Res_ok);
                    ASSERT_EQ(plain.size(), size_t(n));
                    InflateStream *z = nullptr;
                    ASSERT_EQ(InflateStream_createZlib(&z), Res_ok);
                    std::vector<uint8_t> out(65536);
                    size_t in = plain.size(), space = out.size();
                    int done = 0;
                    EXPECT_EQ(InflateStream_decode(reinterpret_cast<const uint8_t *>(plain.data()),
                                                   &in, out.data(), &space, &done, z),
                              Res_ok);
                    EXPECT_EQ(done, 1) << "the decrypted data inflate to their end";
                    std::string content(reinterpret_cast<char *>(out.data()), out.size() - space);
                    EXPECT_NE(content.find("BT"), std::string::npos) << content;
                    InflateStream_destroy(z);
                }),
        0);
}

} // namespace
