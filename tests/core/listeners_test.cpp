// Viewer listeners: order, ids, removal also from inside a dispatch, out of
// memory.
#include <gtest/gtest.h>

#include <string>

#include "core/mem/mem.h"
#include "core/task/listeners.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

// ------------------------------------------------------------- listeners

class ListenerTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedHeapTest::SetUp());
        Listener_init(&list, viewer());
        trace().clear();
        self() = this;
    }
    void TearDown() override
    {
        Listener_freeAll(&list);
        EXPECT_EQ(list.head, nullptr);
        LeakCheckedHeapTest::TearDown();
    }
    FvViewer *viewer()
    {
        return reinterpret_cast<FvViewer *>(&viewerWord);
    }
    int nodes()
    {
        int n = 0;
        for (ListenerNode *node = list.head; node; node = node->next)
            n++;
        return n;
    }

    static std::string &trace()
    {
        static std::string text;
        return text;
    }
    static ListenerTest *&self()
    {
        static ListenerTest *test;
        return test;
    }
    // Each listener notes its name, the viewer it got and its argument.
    static void note(const char *name, FvViewer *viewer, void *argument)
    {
        trace() += name;
        if (viewer != self()->viewer())
            trace() += "(wrong viewer)";
        if (argument)
            trace() += static_cast<const char *>(argument);
        trace() += ' ';
    }
    static void a(FvViewer *v, void *arg)
    {
        note("a", v, arg);
    }
    static void b(FvViewer *v, void *arg)
    {
        note("b", v, arg);
    }
    static void c(FvViewer *v, void *arg)
    {
        note("c", v, arg);
    }
    // Removes itself and b, then adds c.
    static void meddler(FvViewer *v, void *arg)
    {
        note("m", v, arg);
        Listener_remove(&self()->list, meddler);
        Listener_remove(&self()->list, b);
        EXPECT_EQ(Listener_add(&self()->list, 1, c), 1);
    }
    // Frees the whole list from inside the dispatch.
    static void wrecker(FvViewer *v, void *arg)
    {
        note("w", v, arg);
        Listener_freeAll(&self()->list);
    }
    // Dispatches another id from inside a dispatch, then removes a.
    static void nester(FvViewer *v, void *arg)
    {
        note("n", v, arg);
        Listener_dispatch(&self()->list, 2, nullptr);
        Listener_remove(&self()->list, a);
    }

    int viewerWord = 0;
    ListenerList list{};
};

TEST_F(ListenerTest, DispatchCallsTheListenersOfTheIdInOrder)
{
    ASSERT_EQ(Listener_add(&list, 1, a), 1);
    ASSERT_EQ(Listener_add(&list, 2, b), 1);
    ASSERT_EQ(Listener_add(&list, 1, c), 1);
    ASSERT_EQ(Listener_add(&list, 1, a), 1); // the same function again
    char arg[] = "!";
    EXPECT_EQ(Listener_dispatch(&list, 1, arg), 1);
    EXPECT_EQ(trace(), "a! c! a! ");
    trace().clear();
    EXPECT_EQ(Listener_dispatch(&list, 2, nullptr), 1);
    EXPECT_EQ(trace(), "b ");
    trace().clear();
    EXPECT_EQ(Listener_dispatch(&list, 3, arg), 0);
    EXPECT_EQ(trace(), "");
}

TEST_F(ListenerTest, EmptyListAndNullArgumentsAreHarmless)
{
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 0);
    EXPECT_EQ(Listener_hasFunction(&list, a), 0);
    Listener_remove(&list, a);
    EXPECT_EQ(Listener_add(&list, 1, nullptr), 0);
    EXPECT_EQ(Listener_add(nullptr, 1, a), 0);
    EXPECT_EQ(Listener_dispatch(nullptr, 1, nullptr), 0);
    Listener_freeAll(nullptr);
    EXPECT_EQ(nodes(), 0);
}

TEST_F(ListenerTest, RemoveTakesOnlyTheFirstNodeOfAFunction)
{
    ASSERT_EQ(Listener_add(&list, 1, a), 1);
    ASSERT_EQ(Listener_add(&list, 2, b), 1);
    ASSERT_EQ(Listener_add(&list, 3, a), 1);
    Listener_remove(&list, a);
    EXPECT_EQ(nodes(), 2);
    EXPECT_EQ(Listener_hasFunction(&list, a), 1);
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 0);
    EXPECT_EQ(Listener_dispatch(&list, 3, nullptr), 1);
    Listener_remove(&list, a);
    EXPECT_EQ(Listener_hasFunction(&list, a), 0);
    Listener_remove(&list, c); // never added
    EXPECT_EQ(nodes(), 1);
}

TEST_F(ListenerTest, AddWithoutMemoryLeavesTheListAsItWas)
{
    ASSERT_EQ(Listener_add(&list, 1, a), 1);
    Mem_failAfter(1);
    EXPECT_EQ(Listener_add(&list, 1, b), 0);
    Mem_takeOutOfMemory();
    EXPECT_EQ(nodes(), 1);
    EXPECT_EQ(Listener_hasFunction(&list, b), 0);
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 1);
    EXPECT_EQ(trace(), "a ");
}

// A listener that removes itself and the one after it, and adds another,
// while the list is being walked: the removed one is not called, the added
// one waits for the next dispatch, and nothing is freed under the walk.
TEST_F(ListenerTest, ListenersMayChangeTheListWhileItDispatches)
{
    ASSERT_EQ(Listener_add(&list, 1, a), 1);
    ASSERT_EQ(Listener_add(&list, 1, meddler), 1);
    ASSERT_EQ(Listener_add(&list, 1, b), 1);
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 1);
    EXPECT_EQ(trace(), "a m ");
    EXPECT_EQ(nodes(), 2); // a and c; the removed nodes are gone
    EXPECT_EQ(Listener_hasFunction(&list, meddler), 0);
    EXPECT_EQ(Listener_hasFunction(&list, b), 0);
    trace().clear();
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 1);
    EXPECT_EQ(trace(), "a c ");
}

TEST_F(ListenerTest, NestedDispatchAndFreeingFromInside)
{
    ASSERT_EQ(Listener_add(&list, 1, nester), 1);
    ASSERT_EQ(Listener_add(&list, 2, a), 1);
    ASSERT_EQ(Listener_add(&list, 1, a), 1);
    EXPECT_EQ(Listener_dispatch(&list, 1, nullptr), 1);
    // a ran once for id 2 inside; its first node was then removed, so the
    // id-1 node of a (the second) still ran.
    EXPECT_EQ(trace(), "n a a ");
    EXPECT_EQ(nodes(), 2);

    trace().clear();
    ASSERT_EQ(Listener_add(&list, 5, wrecker), 1);
    ASSERT_EQ(Listener_add(&list, 5, b), 1);
    EXPECT_EQ(Listener_dispatch(&list, 5, nullptr), 1);
    EXPECT_EQ(trace(), "w ");
    EXPECT_EQ(list.head, nullptr);
}

} // namespace
