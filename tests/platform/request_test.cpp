// Request objects: the kind's weight raise, order and position of rules,
// the change notice, and the last release freeing every rule once.
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "platform/api/request.h"
#include "tests/support/task_fixture.h"

namespace {

class RequestTest : public TaskFixture {
  protected:
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }
    static StyleRule *ruleOfWeight(uint32_t weight)
    {
        StyleRule *r = nullptr;
        EXPECT_EQ(StyleRule_create(&r), 0);
        EXPECT_EQ(StyleRule_addMatch(r, 1, 0, weight), 0);
        return r;
    }
};

TEST_F(RequestTest, KindRaisesTheWeightOfAddedRules)
{
    struct Case {
        uint32_t kind;
        uint32_t weight;
    };
    const Case cases[] = {{1, 1011}, {2, 2011}, {0, 11}, {3, 11}};
    run([&] {
        for (const Case &c : cases) {
            Request *req = nullptr;
            ASSERT_EQ(Request_new(ctx(), c.kind, &req), 0);
            StyleRule *rule = ruleOfWeight(11);
            ASSERT_EQ(Request_addItem(req, &rule), 0);
            EXPECT_EQ(rule, nullptr);
            EXPECT_EQ(Request_firstItem(req)->weight, c.weight) << c.kind;
            EXPECT_EQ(Request_firstItem(req)->owner, req);
            EXPECT_EQ(Request_isKind2(req), c.kind == 2);
            Request_release(req);
        }
    });
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

int notices = 0;
int notice(void *argument)
{
    notices++;
    return *static_cast<int *>(argument);
}

TEST_F(RequestTest, RulesInOrderWithNoticeAndPositions)
{
    run([&] {
        Request *req = nullptr;
        ASSERT_EQ(Request_new(ctx(), 1, &req), 0);
        StyleRule *a = ruleOfWeight(1), *b = ruleOfWeight(2);
        StyleRule *keepA = a, *keepB = b;
        ASSERT_EQ(Request_addItem(req, &a), 0);
        int answer = 77;
        Request_setCallback(req, &answer, notice);
        EXPECT_EQ(Request_getCallback(req), &answer);
        notices = 0;
        EXPECT_EQ(Request_addItem(req, &b), 77); // the notice's result
        EXPECT_EQ(notices, 1);
        EXPECT_EQ(Request_itemAt(req, 0), keepA);
        EXPECT_EQ(Request_itemAt(req, 1), keepB);
        EXPECT_EQ(Request_itemAt(req, 2), nullptr);
        EXPECT_EQ(Request_nextItem(req, keepA), keepB);
        Request_addRef(req);
        Request_release(req);
        EXPECT_EQ(req->refCount, 1u);
        Request_release(req); // frees both rules once
        Request_release(nullptr);
    });
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

TEST_F(RequestTest, CreateWithoutMemoryLeavesNothing)
{
    run([&] {
        Request *req = reinterpret_cast<Request *>(1);
        Mem_failAfter(1);
        EXPECT_EQ(Request_new(ctx(), 1, &req), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(req, nullptr);
    });
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

} // namespace
