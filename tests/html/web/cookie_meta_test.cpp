// A meta http-equiv "set-cookie" hands its content to the cookie store with
// the document's URL; a refused cookie does not fail the load. Under the
// confirm policy the user is asked (question kind 0) before a new or
// changed cookie is kept and before a cookie is sent.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "html/forms/websupport.h"
#include "core/task/eventproc.h"
#include "html/web/redirect.h"
#include "document/edr/doc.h"
#include "html/web/cookie.h"
#include "tests/html/html_fixture.h"

namespace {

class CookieMetaTest : public HtmlFixture {
  protected:
    void SetUp() override
    {
        HtmlFixture::SetUp();
        dir = "/tmp/i70/cookie-meta-" + std::to_string(getpid());
        mkdir("/tmp/i70", 0700);
        mkdir(dir.c_str(), 0700);
        mkdir((dir + "/ck").c_str(), 0700);
        setenv("OKALA_DIRECTORY", dir.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("OKALA_DIRECTORY");
        EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
        HtmlFixture::TearDown();
    }
    std::string dir;
};

// The fake host: answers every cookie question with `answer` and notes
// the cookie's name, value and domain.
struct Host {
    int32_t answer = 0;
    std::vector<std::string> asked;
};

void onQuestion(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    auto *host = static_cast<Host *>(context);
    auto *q = static_cast<HostQuestionRecord *>(msg->payload);
    if (q->kind != UserQuestion_cookie)
        return;
    auto text = [](uintptr_t w) {
        return std::string(w ? reinterpret_cast<const char *>(w) : "-");
    };
    host->asked.push_back(text(q->words[4]) + "=" + text(q->words[5]) + "@" + text(q->words[6]));
    *reinterpret_cast<int32_t *>(q->words[0]) = host->answer;
}

TEST_F(CookieMetaTest, TheConfirmPolicyAsksTheUser)
{
    Host host;
    run([&] {
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, UserQuestion_messageKind,
                                        onQuestion, &host),
                  0);
        Config_setUstrA(ctx(), ctx()->config, u"Paths", "Cookies", u"ck/", 0);
        ASSERT_EQ(CookieStore_open(ctx()), 0);
        ASSERT_EQ(CookieStore_setPolicy(ctx(), "example.com", CookiePolicy_confirm), 0);
    });
    Url *url = nullptr;
    auto storeIt = [&](const char *value, int confirm) {
        int r = -1;
        run([&] {
            if (!url)
                url = Url_new(u"http://www.example.com/");
            r = Cookie_storeHeader(ctx(), url, value, confirm);
        });
        return r;
    };
    auto sent = [&](int confirm) {
        std::string out;
        run([&] {
            char *text = nullptr;
            EXPECT_EQ(Cookie_buildRequestHeader(ctx(), url, 0, confirm, &text), 0);
            out = text ? text : "";
            Mem_free(text);
        });
        return out;
    };
    EXPECT_EQ(storeIt("a=1", 1), 0); // refused by the user
    EXPECT_EQ(sent(0), "");
    host.answer = 1;
    EXPECT_EQ(storeIt("a=1", 1), 0);
    EXPECT_EQ(storeIt("a=1", 1), 0); // the same text: not asked again
    EXPECT_EQ(storeIt("b=2", 0), 0); // the caller asks for no confirmation
    EXPECT_EQ(host.asked, (std::vector<std::string>{"a=1@www.example.com", "a=1@www.example.com"}));
    EXPECT_EQ(sent(0), "a=1; b=2");
    host.answer = 0;
    EXPECT_EQ(sent(1), "");
    EXPECT_EQ(host.asked.size(), 4u);
    run([&] {
        Url_free(url);
        CookieStore_close(ctx());
        EXPECT_EQ(
            EventProc_removeListener(ctx()->eventProc, UserQuestion_messageKind, onQuestion, &host),
            0);
        flushListeners();
    });
}

TEST_F(CookieMetaTest, MetaSetCookieStoresTheCookie)
{
    run([&] {
        Config_setUstrA(ctx(), ctx()->config, u"Paths", "Cookies", u"ck/", 0);
        ASSERT_EQ(CookieStore_open(ctx()), 0);
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *url = Url_new(u"http://www.example.com/dir/page.html");
        ASSERT_EQ(Edr_Doc_setUrl(doc, url), 0);
        VfsHandle *stream =
            memoryStream("<meta http-equiv=\"Set-Cookie\" content=\"theme=dark; path=/\">"
                         "<meta http-equiv=set-cookie content=\"bad=1; domain=other.com\"><p>a");
        ASSERT_NE(stream, nullptr);
        // The document takes its URL from the stream.
        Url_free(stream->url);
        stream->url = Url_copy(url);
        EXPECT_EQ(desc.open(ctx(), &desc, nullptr, stream, doc, Edr_Doc_root(doc)), 0);
        EXPECT_EQ(render(doc), "meta meta p(\"a\")");
        char *sent = nullptr;
        ASSERT_EQ(Cookie_buildRequestHeader(ctx(), url, 0, 0, &sent), 0);
        EXPECT_STREQ(sent, "theme=dark");
        Mem_free(sent);
        Url_free(url);
        Edr_Doc_release(doc);
        CookieStore_close(ctx());
    });
}

} // namespace
