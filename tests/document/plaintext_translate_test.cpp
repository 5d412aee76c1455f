// Text files through translation: a file URL recognised by the registry
// as the host registers its handlers, loaded by the "docTranslate" job,
// the manager's final pass and the settle message, and pages of a
// page-on-demand text served by later jobs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dockinds.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/text/ustr.h"
#include "document/edr/handler.h"
#include "document/import/plaintext.h"
#include "document/types/doctype.h"
#include "document/types/translate.h"
#include "host/headless/headless.h"
#include "platform/url/file.h"
#include "platform/vfs/romfs.h"
#include "tests/document/plaintext_fixture.h"

namespace {

class TextTranslateTest : public TextFixture {
  protected:
    DocTypeRegistry *registry = nullptr;
    Edr_Doc *watched = nullptr;
    std::vector<int32_t> codes;   // code messages naming the watched document
    std::vector<int32_t> reports; // report codes (the failure's code)
    Sem ended;                    // signalled at code 13 or a report

    static void listener(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        TextTranslateTest *t = static_cast<TextTranslateTest *>(context);
        if (!t->watched)
            return;
        if (msg->kind == 1) {
            EventProcCodeMsg *m = static_cast<EventProcCodeMsg *>(msg->payload);
            if (m->document != t->watched)
                return;
            t->codes.push_back(m->code);
            if (m->code == 13)
                Sem_signal(&t->ended);
        } else if (msg->kind == 0) {
            EventProcDocMsg *m = static_cast<EventProcDocMsg *>(msg->payload);
            if (m->view != t->watched)
                return;
            t->reports.push_back(int32_t(m->word));
            Sem_signal(&t->ended);
        }
    }

    void SetUp() override
    {
        TextFixture::SetUp();
        unsetenv("OKALA_DIRECTORY");
        unsetenv("OKALA_DIRECTORY_RO");
        unsetenv("OKALA_FSROOT");
        ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
        ASSERT_EQ(RomFs_createTable(ctx()), 0);
        ASSERT_EQ(DocType_newRegistry(ctx(), &registry), Res_ok);
        ctx()->docHandlers = registry;
        ASSERT_EQ(Sem_init(ctx(), &ended, 0, 1000), 0);
        run([this] {
            ASSERT_EQ(App_registerDocumentKinds(ctx()), 1);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 0, listener, this), 0);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, listener, this), 0);
        });
    }
    void TearDown() override
    {
        run([this] {
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 0, listener, this), 0);
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, listener, this), 0);
            flushListeners();
        });
        Sem_fini(&ended);
        DocType_freeRegistry(ctx(), registry);
        ctx()->docHandlers = nullptr;
        RomFs_freeTable(ctx());
        AlienFile_finiLayer(ctx());
        TextFixture::TearDown();
    }

    static Url *fixtureUrl(const char *name)
    {
        std::u16string w = U(std::string("file://root") + VEXLAN_FIXTURES + "/plaintext/" + name);
        return Url_new(w.c_str());
    }

    // From a task: a top-level document (the manager runs its passes),
    // watched.
    Edr_Doc *topDoc()
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_Doc_setMarkFlag(doc, 1);
        watched = doc;
        return doc;
    }
    // From a task: waits for the end of the job started last.
    void waitForEnd()
    {
        Sem_wait(&ended);
        AppMsg_drain(ctx()->eventProc);
    }
    // The messages of the translation and the manager, in order.
    std::string seen() const
    {
        std::string out;
        for (int32_t c : codes)
            if (c == 0 || c == 13 || c == 14 || c == 15 || c == 38)
                out += std::to_string(c) + " ";
        return out;
    }
};

TEST_F(TextTranslateTest, TextFileThroughAFileUrl)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = topDoc();
        Translate_start(ctx(), doc, Edr_Doc_root(doc), fixtureUrl("notes.txt"), nullptr);
        waitForEnd();
    });
    // Started, recognised as text (MIME type set), loaded; the import's end
    // ran the manager's final pass at once: it ended with nothing scheduled
    // and the document settled.
    settle();
    EXPECT_EQ(seen(), "0 38 13 14 15 ");
    EXPECT_TRUE(reports.empty());
    run([&] {
        Edr_HandlerDesc *handler = Edr_Doc_getHandler(doc);
        ASSERT_NE(handler, nullptr);
        EXPECT_EQ(handler->open, TextDoc_open);
        char16_t *mime = nullptr;
        uint32_t id = 0;
        ASSERT_EQ(Edr_Doc_getMimeType(doc, &mime, &id), Res_ok);
        EXPECT_EQ(Take(mime), "text/plain");
        EXPECT_EQ(id, 25u);
        EXPECT_EQ(Edr_Doc_getTypeCodeLocked(doc), uint32_t(TextDoc_typeCode));
        EXPECT_EQ(render(doc, Edr_Doc_root(doc)),
                  "[ [1 \"Notes\n~see \" [2<https://example.org/notes?a=1> "
                  "\"https://example.org/notes?a=1\"] "
                  "\" for more\nend \u00E9t\u00E9\n\"]]");
        Edr_Doc_release(doc);
    });
}

// The handler as the registry sees it: its sniffer peeks without
// consuming, and text wins by content alone or by the MIME type.
TEST_F(TextTranslateTest, RecognitionOfText)
{
    struct Case {
        const char *name;
        std::string bytes;
        const char16_t *mime;
        int32_t score;
        bool textHandler;
    };
    const Case cases[] = {
        {"ASCII", "plain words\n", u"application/octet-stream", 50, true},
        {"UTF-8 mark", "\xEF\xBB\xBFmark", u"application/octet-stream", 50, true},
        {"PDF header", "%PDF-1.4\n", u"application/octet-stream", 0, false},
        {"binary with a text MIME type", std::string("\x01\x02\x03\x00\x05", 5), u"TEXT/Plain", 0,
         true},
    };
    run([&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            VfsHandle *h = memoryStream(c.bytes);
            ASSERT_NE(h, nullptr);
            ASSERT_EQ(Vfs_setInfo(h, VfsInfo_mime, reinterpret_cast<uintptr_t>(Ustr_dup(c.mime))),
                      0);
            int32_t score = -1;
            uint32_t type = 99;
            ASSERT_EQ(TextDoc_sniff(ctx(), nullptr, h, &score, &type), 0);
            EXPECT_EQ(score, c.score);
            EXPECT_EQ(type, c.score ? 25u : 0u);
            uint64_t at = 1;
            ASSERT_EQ(Vfs_tell(h, &at), 0);
            EXPECT_EQ(at, 0u);
            const char16_t *mime = nullptr;
            Edr_HandlerDesc *handler = nullptr;
            int err = DocType_recognise(ctx(), h, &mime, &handler);
            EXPECT_EQ(err == 0 && handler && handler->open == TextDoc_open, c.textHandler) << err;
            if (c.textHandler && c.score) {
                EXPECT_EQ(S(mime), "text/plain");
            }
            EXPECT_EQ(Vfs_close(h), 0);
        }
        int32_t score = -1;
        EXPECT_EQ(TextDoc_matchMime(ctx(), nullptr, u"text/PLAIN", &score), 0);
        EXPECT_EQ(score, 100);
        EXPECT_EQ(TextDoc_matchMime(ctx(), nullptr, u"text/html", &score), 0);
        EXPECT_EQ(score, 0);
        EXPECT_EQ(TextDoc_matchMime(ctx(), nullptr, nullptr, &score), 0);
        EXPECT_EQ(score, 0);
    });
}

// A page-on-demand text: the first job builds page 0 and records four
// pages; a page request starts a job without URL that builds the page.
TEST_F(TextTranslateTest, PagesServedByLaterJobs)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        pageOnDemand();
        doc = topDoc();
        Translate_start(ctx(), doc, Edr_Doc_root(doc), fixtureUrl("pages.txt"), nullptr);
        waitForEnd();
    });
    settle();
    ASSERT_TRUE(reports.empty());
    auto line = [](int i) {
        char buf[64];
        snprintf(buf, sizeof buf, "line %03d of the pages fixture\n", i);
        return std::string(buf);
    };
    auto lines = [&](int from, int to) {
        std::string s;
        for (int i = from; i < to; i++)
            s += line(i);
        return "\"" + s + "\"";
    };
    run([&] {
        EXPECT_EQ(rootChildren(doc), 4u);
        EXPECT_EQ(page(doc, 0, true), lines(0, 66));
        EXPECT_EQ(page(doc, 2), "");
        codes.clear();
        EXPECT_EQ(Translate_requestPage(doc, Edr_Doc_root(doc), 2), 0);
        waitForEnd();
    });
    settle();
    EXPECT_EQ(seen(), "0 13 14 15 ");
    run([&] {
        EXPECT_EQ(page(doc, 2, true), lines(132, 198));
        EXPECT_EQ(page(doc, 0), "");
        EXPECT_EQ(Edr_Doc_getSelectedRootChild(doc), 2u);
        EXPECT_EQ(Translate_requestPage(doc, Edr_Doc_root(doc), 3), 0);
        waitForEnd();
        EXPECT_EQ(page(doc, 3, true), lines(198, 200));
        EXPECT_EQ(page(doc, 2), "");
        Edr_Doc_release(doc);
    });
}

} // namespace
