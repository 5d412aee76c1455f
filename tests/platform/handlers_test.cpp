// The request and error handler list: positions, duplicates, kinds and the
// order of dispatch.
#include <gtest/gtest.h>

#include <string>

#include "core/result.h"
#include "platform/api/handlers.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

std::string trace;

int32_t h1(intptr_t a, intptr_t b, intptr_t c, void *data)
{
    trace += "h1(" + std::to_string(a) + std::to_string(b) + std::to_string(c) + ")";
    return data ? 1 : 0;
}
int32_t h2(intptr_t, intptr_t, intptr_t, void *data)
{
    trace += "h2";
    return data ? 1 : 0;
}
int32_t h3(intptr_t, intptr_t, intptr_t, void *)
{
    trace += "h3";
    return 0;
}

class HandlersTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedHeapTest::SetUp());
        ASSERT_EQ(Handlers_create(&list), 0);
        trace.clear();
    }
    void TearDown() override
    {
        Handlers_destroy(list);
        LeakCheckedHeapTest::TearDown();
    }
    HandlerList *list = nullptr;
};

TEST_F(HandlersTest, PositionsPlaceHandlersRelativeToEachOther)
{
    ASSERT_EQ(Handlers_addRequest(list, h2, nullptr, Handlers_atTail, nullptr), 0);
    ASSERT_EQ(Handlers_addRequest(list, h3, h2, Handlers_before, nullptr), 0);
    ASSERT_EQ(Handlers_addRequest(list, h1, nullptr, Handlers_atHead, nullptr), 0);
    Handlers_dispatchRequest(list, 1, 2, 3);
    EXPECT_EQ(trace, "h1(123)h3h2");

    // A missing reference, a reference of the other kind, an unknown
    // position and a null function are refused.
    EXPECT_EQ(Handlers_addError(list, h1, nullptr, Handlers_after, nullptr),
              Res_handlersInsertFailed);
    EXPECT_EQ(Handlers_addError(list, h1, h2, Handlers_after, nullptr), Res_handlersInsertFailed);
    EXPECT_EQ(Handlers_addError(list, h1, nullptr, 7, nullptr), Res_handlersInsertFailed);
    EXPECT_EQ(Handlers_addError(list, nullptr, nullptr, Handlers_atHead, nullptr),
              Res_handlersInsertFailed);
    EXPECT_EQ(Handlers_addRequest(nullptr, h1, nullptr, Handlers_atHead, nullptr),
              Res_handlersNullList);
    EXPECT_EQ(Handlers_create(nullptr), Res_handlersNoList);
}

TEST_F(HandlersTest, OneEntryPerFunctionAndKind)
{
    int handled = 1;
    ASSERT_EQ(Handlers_addRequest(list, h1, nullptr, Handlers_atTail, nullptr), 0);
    // The second registration changes nothing, its user data included.
    ASSERT_EQ(Handlers_addRequest(list, h1, nullptr, Handlers_atTail, &handled), 0);
    ASSERT_EQ(Handlers_addError(list, h1, nullptr, Handlers_atTail, &handled), 0);
    ASSERT_EQ(Handlers_addRequest(list, h2, nullptr, Handlers_atTail, nullptr), 0);
    Handlers_dispatchRequest(list, 0, 0, 0);
    EXPECT_EQ(trace, "h1(000)h2");
    trace.clear();
    // The error handler answers 1 (its user data): nothing after it.
    ASSERT_EQ(Handlers_addError(list, h2, nullptr, Handlers_atTail, nullptr), 0);
    Handlers_dispatchError(list, 4, 5, 6);
    EXPECT_EQ(trace, "h1(456)");
    Handlers_dispatchError(nullptr, 0, 0, 0);

    // Remove takes request handlers only.
    Handlers_remove(list, h1);
    trace.clear();
    Handlers_dispatchRequest(list, 0, 0, 0);
    Handlers_dispatchError(list, 7, 8, 9);
    EXPECT_EQ(trace, "h2h1(789)");
}

TEST_F(HandlersTest, AHandlerThatAnswersNonZeroHidesTheRequest)
{
    int yes = 1;
    ASSERT_EQ(Handlers_addRequest(list, h1, nullptr, Handlers_atTail, nullptr), 0);
    ASSERT_EQ(Handlers_addRequest(list, h2, nullptr, Handlers_atTail, &yes), 0);
    ASSERT_EQ(Handlers_addRequest(list, h3, nullptr, Handlers_atTail, nullptr), 0);
    Handlers_dispatchRequest(list, 1, 1, 1);
    EXPECT_EQ(trace, "h1(111)h2");
}

TEST_F(HandlersTest, OutOfMemoryAddsNothing)
{
    Mem_failAfter(1);
    EXPECT_EQ(Handlers_addRequest(list, h1, nullptr, Handlers_atTail, nullptr), Res_noMemory);
    Handlers_dispatchRequest(list, 0, 0, 0);
    EXPECT_EQ(trace, "");
    HandlerList *other = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(Handlers_create(&other), Res_handlersNoList);
    EXPECT_EQ(other, nullptr);
}

} // namespace
