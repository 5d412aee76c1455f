// Redirections and user questions: the policy over scheme pairs with a
// fake host answering, questions answered from another task or abandoned
// by a stop, and scheduled redirections on the hand-driven clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "html/forms/websupport.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "html/docweb.h"
#include "html/web/redirect.h"
#include "platform/url/url.h"
#include "core/task/postedvalue.h"
#include "tests/html/html_fixture.h"

namespace {

class RedirectTest : public HtmlFixture {
  protected:
    // The fake host: answers every question at once with `answer`, or,
    // with `hold` set, keeps a copy of the message to answer later.
    struct Host {
        int32_t answer = 1;
        bool hold = false;
        std::vector<std::string> asked; // "kind from to" per question
        EventProcMsg *held = nullptr;
        std::vector<std::string> opened;  // URLs of kind-6 open requests
        std::vector<std::string> notices; // "from to leavingSecure flags force" per notice
    };
    static void onNotice(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *host = static_cast<Host *>(context);
        auto *v = static_cast<PostedValue *>(msg->payload);
        if (!v || v->kind != 2)
            return;
        auto text = [](uintptr_t w) {
            return std::string(w ? reinterpret_cast<const char *>(w) : "-");
        };
        host->notices.push_back(text(v->words[0]) + " " + text(v->words[1]) + " " +
                                std::to_string(v->words[2]) + " " + std::to_string(v->words[3]) +
                                " " + std::to_string(v->words[4]));
    }
    static void onQuestion(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *host = static_cast<Host *>(context);
        auto *q = static_cast<HostQuestionRecord *>(msg->payload);
        auto text = [](uintptr_t w) {
            return std::string(w ? reinterpret_cast<const char *>(w) : "-");
        };
        host->asked.push_back(std::to_string(q->kind) + " " + text(q->words[2]) + " " +
                              text(q->words[3]));
        if (host->hold) {
            EXPECT_EQ(EventProcMsg_copy(msg, &host->held), 0);
            return;
        }
        *reinterpret_cast<int32_t *>(q->words[0]) = host->answer;
    }
    static void onOpen(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *host = static_cast<Host *>(context);
        auto *m = static_cast<EventProcKind6Msg *>(msg->payload);
        char *text = m && m->url ? Url_toUtf8(m->url, UrlPart_all) : nullptr;
        host->opened.push_back(text ? text : "?");
        Mem_free(text);
    }
    void listen(Host *host)
    {
        run([&] {
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, UserQuestion_messageKind,
                                            onQuestion, host),
                      0);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 6, onOpen, host), 0);
            ASSERT_EQ(
                EventProc_addListener(ctx(), ctx()->eventProc, PostedValue_msgKind, onNotice, host),
                0);
        });
    }
    void unlisten(Host *host)
    {
        run([&] {
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, UserQuestion_messageKind,
                                               onQuestion, host),
                      0);
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 6, onOpen, host), 0);
            EXPECT_EQ(
                EventProc_removeListener(ctx()->eventProc, PostedValue_msgKind, onNotice, host), 0);
            flushListeners();
        });
    }
    void setPolicy(uint32_t policy)
    {
        run([&] {
            Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_httpRedirectionPolicy", policy,
                           0);
        });
    }
};

TEST_F(RedirectTest, PolicyAsksByPolicyAndSchemes)
{
    Host host;
    listen(&host);
    const char *pairs[4][2] = {{"https://a.org/x", "http://b.org/y"},
                               {"http://a.org/x", "https://b.org/y"},
                               {"http://a.org/x", "http://b.org/y"},
                               {"https://a.org/x", "ftp://b.org/y"}};
    for (uint32_t policy : {0u, 1u, 2u}) {
        setPolicy(policy);
        for (int pair = 0; pair < 4; pair++) {
            for (int32_t answer : {0, 1}) {
                SCOPED_TRACE("policy " + std::to_string(policy) + " pair " + std::to_string(pair) +
                             " answer " + std::to_string(answer));
                host.answer = answer;
                host.asked.clear();
                host.notices.clear();
                int allowed = -1;
                run([&] {
                    std::string a = pairs[pair][0], b = pairs[pair][1];
                    Url *from = Url_new(std::u16string(a.begin(), a.end()).c_str());
                    Url *to = Url_new(std::u16string(b.begin(), b.end()).c_str());
                    ASSERT_NE(from, nullptr);
                    ASSERT_NE(to, nullptr);
                    allowed = Redirect_isAllowed(ctx(), from, to, 0, 0);
                    Url_free(from);
                    Url_free(to);
                });
                bool leavingSecure = pair == 0 || pair == 3;
                bool asks = policy == 1 || (policy == 2 && leavingSecure);
                EXPECT_EQ(allowed, asks ? answer : 1);
                ASSERT_EQ(host.asked.size(), asks ? 1u : 0u);
                if (asks) {
                    EXPECT_EQ(host.asked[0],
                              std::string("2 ") + pairs[pair][0] + " " + pairs[pair][1]);
                }
                // A redirection followed is told with both addresses.
                run([&] { flushListeners(); });
                std::vector<std::string> notices;
                if (!asks || answer)
                    notices.push_back(std::string(pairs[pair][0]) + " " + pairs[pair][1] +
                                      (leavingSecure ? " 1" : " 0") + " 0 0");
                EXPECT_EQ(host.notices, notices);
            }
        }
    }
    // Forced, the question comes under every policy.
    setPolicy(0);
    host.answer = 0;
    host.asked.clear();
    run([&] {
        Url *from = Url_new(u"http://a.org/");
        Url *to = Url_new(u"http://b.org/");
        EXPECT_EQ(Redirect_isAllowed(ctx(), from, to, 0, 1), 0);
        Url_free(from);
        Url_free(to);
    });
    EXPECT_EQ(host.asked.size(), 1u);
    unlisten(&host);
}

// The host keeps the question and answers it from another task; the asker
// waits until then. A kind-4 question gets its text answer as a copy.
TEST_F(RedirectTest, AQuestionHeldByTheHostIsAnsweredFromAnotherTask)
{
    Host host;
    host.hold = true;
    listen(&host);
    int result = -1;
    int32_t answer = 7;
    char *text = nullptr;
    char prompt[] = "Name?";
    Task_detach(spawn("asker", 3, [&] {
        HostQuestionRecord q{};
        q.kind = UserQuestion_text;
        q.words[0] = reinterpret_cast<uintptr_t>(&answer);
        q.words[3] = reinterpret_cast<uintptr_t>(prompt);
        q.words[4] = reinterpret_cast<uintptr_t>(&text);
        result = UserQuestion_ask(ctx()->eventProc, &q);
    }));
    TestEngine_runAll(&e, 100000);
    ASSERT_NE(host.held, nullptr);
    EXPECT_EQ(result, -1); // still waiting
    run([&] {
        auto *q = static_cast<HostQuestionRecord *>(host.held->payload);
        EXPECT_STREQ(reinterpret_cast<const char *>(q->words[3]), "Name?");
        *reinterpret_cast<int32_t *>(q->words[0]) = 1;
        char *reply = static_cast<char *>(Mem_malloc(4));
        memcpy(reply, "Ann", 4);
        *reinterpret_cast<char **>(q->words[4]) = reply;
        EventProc_freeMsg(host.held);
        host.held = nullptr;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(answer, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Ann");
    run([&] { Mem_free(text); });
    unlisten(&host);
}

// A stop request ends the wait with 48; the host's late answer then frees
// what is left.
TEST_F(RedirectTest, AStopAbandonsTheQuestion)
{
    Host host;
    host.hold = true;
    listen(&host);
    int result = -1;
    int32_t answer = 0;
    Task *asker = spawn("asker", 3, [&] {
        HostQuestionRecord q{};
        q.kind = UserQuestion_openUrl;
        q.words[0] = reinterpret_cast<uintptr_t>(&answer);
        q.words[2] = reinterpret_cast<uintptr_t>("http://a.org/");
        result = UserQuestion_ask(ctx()->eventProc, &q);
    });
    TestEngine_runAll(&e, 100000);
    ASSERT_NE(host.held, nullptr);
    run([&] { EXPECT_EQ(Task_requestStop(asker), 0); });
    Task_detach(asker);
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(result, 48);
    run([&] {
        *reinterpret_cast<int32_t *>(
            static_cast<HostQuestionRecord *>(host.held->payload)->words[0]) = 1;
        EventProc_freeMsg(host.held);
        host.held = nullptr;
    });
    EXPECT_EQ(answer, 0);
    unlisten(&host);
}

// Scheduled redirections on the hand-driven clock: delay 0 waits one
// millisecond, a second schedule replaces the first, a refused one opens
// nothing.
TEST_F(RedirectTest, ScheduledRedirectionsFollowTheirTimer)
{
    Host host;
    listen(&host);
    setPolicy(0);
    Edr_Doc *doc = nullptr;
    auto expire = [&] {
        TimerQ_wakeThread(ctx());
        TestEngine_runAll(&e, 100000);
        run([] {});
    };
    run([&] {
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *own = Url_new(u"http://example.com/a.html");
        ASSERT_EQ(Edr_Doc_setUrl(doc, own), 0);
        Url_free(own);
        EXPECT_EQ(Redirect_schedule(doc, 0, Url_new(u"http://example.com/zero.html")), 0);
    });
    expire();
    EXPECT_TRUE(host.opened.empty());
    advance(1);
    expire();
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0], "http://example.com/zero.html");
    // The second schedule replaces the first.
    run([&] {
        EXPECT_EQ(Redirect_schedule(doc, 1000, Url_new(u"http://example.com/first.html")), 0);
        EXPECT_EQ(Redirect_schedule(doc, 500, Url_new(u"http://example.com/second.html")), 0);
    });
    advance(499);
    expire();
    EXPECT_EQ(host.opened.size(), 1u);
    advance(600);
    expire();
    ASSERT_EQ(host.opened.size(), 2u);
    EXPECT_EQ(host.opened[1], "http://example.com/second.html");
    // Refused by the user: nothing opens.
    setPolicy(1);
    host.answer = 0;
    run([&] { EXPECT_EQ(Redirect_schedule(doc, 10, Url_new(u"http://example.com/no.html")), 0); });
    advance(10);
    expire();
    EXPECT_EQ(host.opened.size(), 2u);
    EXPECT_EQ(host.asked.size(), 1u);
    // A pending one goes with its document.
    run([&] {
        EXPECT_EQ(Redirect_schedule(doc, 10, Url_new(u"http://example.com/late.html")), 0);
        Edr_Doc_release(doc);
    });
    advance(20);
    expire();
    EXPECT_EQ(host.opened.size(), 2u);
    unlisten(&host);
}

} // namespace
