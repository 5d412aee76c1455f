// The display manager's handler registry and a view's clip rectangle.
#include <gtest/gtest.h>

#include "core/mem/mem.h"
#include "core/task/lock.h"
#include "tests/support/heap_fixture.h"
#include "viewer/docview.h"
#include "viewer/handlerreg.h"

namespace {

struct Calls {
    int count = 0;
    void *owner = nullptr, *data = nullptr, *argument = nullptr;
};
Calls g_calls;

int record(void *owner, void *data, void *argument)
{
    g_calls.count++;
    g_calls.owner = owner;
    g_calls.data = data;
    g_calls.argument = argument;
    return 77;
}

class HandlerRegTest : public LeakCheckedContextTest<> {};

TEST_F(HandlerRegTest, AddCallRemove)
{
    int owner = 0, data = 0, other = 0, arg = 0;
    HandlerRegistry reg{};
    ASSERT_EQ(HandlerReg_init(&reg, &owner), 0);
    EXPECT_EQ(reg.iface.owner, &owner);
    EXPECT_EQ(reg.iface.add, &HandlerReg_add);
    EXPECT_EQ(reg.iface.remove, &HandlerReg_remove);
    void *key = HandlerReg_add(&reg, record, &data);
    ASSERT_NE(key, nullptr);
    void *second = HandlerReg_add(&reg, record, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(key, second);

    g_calls = {};
    HandlerKeyRecord rec{{nullptr, nullptr}, key, nullptr};
    EXPECT_EQ(HandlerReg_call(&reg, &rec, &arg), 77);
    EXPECT_EQ(g_calls.count, 1);
    EXPECT_EQ(g_calls.owner, &owner);
    EXPECT_EQ(g_calls.data, &data);
    EXPECT_EQ(g_calls.argument, &arg);
    // The record's data word replaces the registered one.
    rec.data = &other;
    EXPECT_EQ(HandlerReg_call(&reg, &rec, nullptr), 77);
    EXPECT_EQ(g_calls.data, &other);

    // A removed key answers 0 and calls nothing; removing it again is an
    // error, not a second free.
    EXPECT_EQ(HandlerReg_remove(&reg, key), 0);
    g_calls = {};
    EXPECT_EQ(HandlerReg_call(&reg, &rec, &arg), 0);
    EXPECT_EQ(g_calls.count, 0);
    EXPECT_NE(HandlerReg_remove(&reg, key), 0);
    EXPECT_NE(HandlerReg_remove(&reg, nullptr), 0);
    HandlerKeyRecord none{};
    EXPECT_EQ(HandlerReg_call(&reg, &none, nullptr), 0);
    EXPECT_EQ(g_calls.count, 0);
    // fini frees what is still registered (the leak check sees it).
    HandlerReg_fini(&reg);
}

TEST_F(HandlerRegTest, OutOfMemory)
{
    int owner = 0;
    HandlerRegistry reg{};
    Mem_failAfter(1);
    EXPECT_EQ(HandlerReg_init(&reg, &owner), 1);
    Mem_failAfter(0);
    ASSERT_EQ(HandlerReg_init(&reg, &owner), 0);
    Mem_failAfter(1);
    EXPECT_EQ(HandlerReg_add(&reg, record, nullptr), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(Coll_count(&reg.entries), 0u);
    HandlerReg_fini(&reg);
}

TEST_F(HandlerRegTest, ClipRectangleIsClippedToTheView)
{
    DispView view{};
    ASSERT_EQ(Lock_init(ctx, &view.lock), 0);
    view.rect[0] = 10;
    view.rect[1] = 20;
    view.rect[2] = 110;
    view.rect[3] = 220;
    struct {
        int32_t in[4], out[4];
    } cases[] = {
        {{20, 30, 50, 60}, {20, 30, 50, 60}},   // inside
        {{0, 0, 500, 500}, {10, 20, 110, 220}}, // larger than the view
        {{100, 200, 300, 300}, {100, 200, 110, 220}},
    };
    for (auto &c : cases) {
        View_setClipRect(&view, c.in);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(view.clip[i], c.out[i]) << i;
    }
    // Null leaves the clip rectangle.
    View_setClipRect(&view, nullptr);
    EXPECT_EQ(view.clip[2], 110);
    View_setClipRect(nullptr, cases[0].in);
    Lock_fini(&view.lock);
}

} // namespace
