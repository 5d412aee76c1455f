// Host queries through the running application: refusals, answers, the
// gate that lets one synchronous query out at a time, and a task stopped
// while it waits for an answer the host still holds or has already taken.
#include <gtest/gtest.h>

#include "core/context/context.h"
#include "core/task/task.h"
#include "tests/platform/app_fixture.h"
#include "viewer/hostquery.h"

namespace {

class HostQueryTest : public AppFixture {
  protected:
    struct Asker {
        FvViewer *viewer;
        int32_t code;
        void *data;
        int result = -1;
        bool done = false;
        Task *task = nullptr;
    };

    static void askerBody(void *arg)
    {
        Asker *a = static_cast<Asker *>(arg);
        a->result = HostQuery_ask(a->viewer, 0, a->code, a->data, nullptr, nullptr);
        a->done = true;
    }
    // Starts an engine task that asks a (detached: it is reaped when done).
    void startAsker(Asker &a)
    {
        a.viewer = viewer();
        onAppThread([&] {
            ASSERT_EQ(Task_create(inst->context, &a.task, 2, askerBody, &a, "asker", 16384), 0);
            Task_detach(a.task);
        });
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    void idle()
    {
        drive([] { return false; }, 30);
    }
};

TEST_F(HostQueryTest, RefusedAnswersZeroWithoutWaiting)
{
    ASSERT_TRUE(start());
    int result = -1;
    // On the application thread itself: a wait there would never end.
    onAppThread([&] {
        result = HostQuery_ask(viewer(), 0, HostQuery_confirmLoss, nullptr, nullptr, nullptr);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Headless_queryCount(host), 0);
    HostQuery *posted = reinterpret_cast<HostQuery *>(1);
    onAppThread([&] {
        posted = HostQuery_post(viewer(), 0, HostQuery_confirmLoss, nullptr, nullptr, nullptr);
    });
    EXPECT_EQ(posted, nullptr);
}

TEST_F(HostQueryTest, AnswersAtOnce)
{
    ASSERT_TRUE(start());
    struct Case {
        int32_t status;
        int32_t answer;
        int expected;
    } cases[] = {{HostQuery_yes, HostQuery_yes, 1},
                 {HostQuery_no, HostQuery_no, 0},
                 {HostQuery_yes, HostQuery_no, 1}};
    for (const Case &c : cases) {
        Headless_setQueryMode(host, HeadlessQuery_answer, c.status, c.answer);
        HostQueryLink link{0, "file:///a.txt", nullptr, 0, 0, 0x10000, 0};
        int result = -1;
        onAppThread([&] {
            result = HostQuery_ask(viewer(), 0, HostQuery_linkQuestion, &link, nullptr, nullptr);
        });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(link.answer, c.answer);
    }
}

TEST_F(HostQueryTest, PostedQueryRunsItsCallbackOnce)
{
    ASSERT_TRUE(start());
    Headless_setQueryMode(host, HeadlessQuery_hold, 0, 0);
    int calls = 0;
    int32_t seenStatus = 0;
    struct Seen {
        int *calls;
        int32_t *status;
    } seen{&calls, &seenStatus};
    HostQuery *posted = nullptr;
    onAppThread([&] {
        posted = HostQuery_post(
            viewer(), 7, HostQuery_confirmLoss, nullptr,
            [](HostQuery *q, void *arg) {
                Seen *s = static_cast<Seen *>(arg);
                ++*s->calls;
                *s->status = q->status;
            },
            &seen);
    });
    ASSERT_NE(posted, nullptr);
    ASSERT_EQ(Headless_heldQueryCount(host), 1);
    HostQuery *held = Headless_takeQuery(host, 0);
    EXPECT_EQ(held, posted);
    EXPECT_EQ(held->kind, 7);
    EXPECT_EQ(Headless_answerQuery(host, held, HostQuery_no), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenStatus, HostQuery_no);
}

TEST_F(HostQueryTest, TwoAskersTakeTurns)
{
    ASSERT_TRUE(start());
    Headless_setQueryMode(host, HeadlessQuery_hold, 0, 0);
    Asker first{}, second{};
    first.code = second.code = HostQuery_confirmLoss;
    startAsker(first);
    startAsker(second);
    idle();
    // The second waits on the gate: the host sees only the first.
    ASSERT_EQ(Headless_heldQueryCount(host), 1);
    EXPECT_EQ(Headless_queryCount(host), 1);
    EXPECT_FALSE(first.done || second.done);
    Headless_answerQuery(host, Headless_takeQuery(host, 0), HostQuery_yes);
    ASSERT_TRUE(drive([&] { return first.done && Headless_heldQueryCount(host) == 1; }));
    EXPECT_EQ(first.result, 1);
    EXPECT_FALSE(second.done);
    Headless_answerQuery(host, Headless_takeQuery(host, 0), HostQuery_no);
    ASSERT_TRUE(drive([&] { return second.done; }));
    EXPECT_EQ(second.result, 0);
}

// A stopped asker answers 0 and gives the gate back. When the host still
// holds the query it drops it on the cancel; when it has already taken it,
// the query stays valid until its answer comes (the sanitizer build sees a
// write into a freed query).
TEST_F(HostQueryTest, StopWhileWaitingFreesOnlyAfterTheHostLetGo)
{
    ASSERT_TRUE(start());
    Headless_setQueryMode(host, HeadlessQuery_hold, 0, 0);
    for (bool hostTookIt : {false, true}) {
        SCOPED_TRACE(hostTookIt);
        Asker a{};
        a.code = HostQuery_password;
        HostQueryText text{"password", nullptr};
        a.data = &text;
        startAsker(a);
        idle();
        ASSERT_EQ(Headless_heldQueryCount(host), 1);
        HostQuery *taken = hostTookIt ? Headless_takeQuery(host, 0) : nullptr;
        onAppThread([&] { Task_requestStop(a.task); });
        ASSERT_TRUE(drive([&] { return a.done; }));
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(Headless_heldQueryCount(host), 0);
        if (taken) {
            EXPECT_EQ(Headless_answerQuery(host, taken, HostQuery_yes), 1);
        }
        // The gate is free again: the next asker reaches the host.
        Asker next{};
        next.code = HostQuery_confirmLoss;
        startAsker(next);
        ASSERT_TRUE(drive([&] { return Headless_heldQueryCount(host) == 1; }));
        Headless_answerQuery(host, Headless_takeQuery(host, 0), HostQuery_yes);
        ASSERT_TRUE(drive([&] { return next.done; }));
        EXPECT_EQ(next.result, 1);
    }
}

} // namespace
