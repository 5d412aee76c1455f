// Drawing-effect records: the three kind records of a transfer record,
// kinds outside 1 to 3, out of memory, and lazily made slots.
#include <gtest/gtest.h>

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "graphics/transfer.h"
#include "graphics/imageutil.h"
#include "tests/support/heap_fixture.h"

namespace {

class DrawEffectsTest : public LeakCheckedContextTest<> {
  protected:
    void TearDown() override
    {
        Obj_transferFree(ctx);
        LeakCheckedContextTest<>::TearDown();
    }
};

TEST_F(DrawEffectsTest, KindRecordsOfTheTransferRecord)
{
    EXPECT_EQ(Obj_kindRecord(ctx, 0), nullptr);
    EXPECT_EQ(Obj_kindRecord(ctx, 4), nullptr);
    EXPECT_EQ(ctx->drawEffects, nullptr); // kinds without effect make nothing
    ASSERT_EQ(Obj_transferCreate(ctx), 0);
    const StageNode *grey = Obj_kindRecord(ctx, 1);
    const StageNode *transfer = Obj_kindRecord(ctx, 2);
    const StageNode *both = Obj_kindRecord(ctx, 3);
    ASSERT_TRUE(grey && transfer && both);
    EXPECT_EQ(grey->ops, &Grey_stageOps);
    EXPECT_EQ(grey->next, nullptr);
    EXPECT_EQ(transfer->ops, &Transfer_stageOps);
    EXPECT_EQ(transfer->next, nullptr);
    EXPECT_EQ(both->ops, &Transfer_stageOps);
    EXPECT_EQ(both->next, grey);
    EXPECT_EQ(both->parameter, transfer->parameter);
    uint8_t expected[256];
    Pixel_buildTransferTable(1.0, 64, 32, expected);
    EXPECT_EQ(std::memcmp(transfer->parameter, expected, 256), 0);
    EXPECT_EQ(Obj_kindRecord(ctx, 4), nullptr);
    // Stable across calls.
    EXPECT_EQ(Obj_kindRecord(ctx, 2), transfer);
}

TEST_F(DrawEffectsTest, OutOfMemoryGivesNoRecord)
{
    Mem_failAfter(1);
    EXPECT_EQ(Obj_kindRecord(ctx, 1), nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(Obj_transferCreate(ctx), 1);
    Mem_failAfter(0);
    EXPECT_NE(Obj_kindRecord(ctx, 3), nullptr); // made on first use
    // A failed re-creation keeps the record in place.
    const StageNode *grey = Obj_kindRecord(ctx, 1);
    Mem_failAfter(1);
    EXPECT_EQ(Obj_transferCreate(ctx), 1);
    Mem_failAfter(0);
    EXPECT_EQ(Obj_kindRecord(ctx, 1), grey);
}

TEST_F(DrawEffectsTest, LazyCreate)
{
    EXPECT_EQ(Obj_lazyCreate(nullptr, 16), 0);
    void *slot = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(Obj_lazyCreate(&slot, 16), 0);
    EXPECT_EQ(slot, nullptr);
    Mem_failAfter(0);
    ASSERT_EQ(Obj_lazyCreate(&slot, 16), 1);
    ASSERT_NE(slot, nullptr);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(static_cast<uint8_t *>(slot)[i], 0);
    void *first = slot;
    EXPECT_EQ(Obj_lazyCreate(&slot, 16), 1);
    EXPECT_EQ(slot, first); // a filled slot is kept
    Mem_free(slot);
}

} // namespace
