// GoogleTest fixtures that give each test its own engine heap and check,
// after the test, that every heap byte came back and the heap is sound;
// the second also gives it a bare engine context on that heap.
//
// A derived fixture calls the base SetUp first and the base TearDown last
// (after freeing what its own SetUp made).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "platform/vfs/vfs.h"
#include "tests/support/document_ops.h"
#include "tests/support/stream_types.h"
#include "tests/support/test_engine.h"

template <size_t HeapBytes = (4u << 20)> class LeakCheckedHeapTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, HeapBytes, 0));
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        EXPECT_EQ(Mem_check(), 0);
        TestHeap_close(&heap);
    }
    TestHeap heap{};
    size_t baseline = 0;
};

template <size_t HeapBytes = (4u << 20)>
class LeakCheckedContextTest : public LeakCheckedHeapTest<HeapBytes> {
  protected:
    // The baseline counts the context: tests compare against it while the
    // context lives.
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedHeapTest<HeapBytes>::SetUp());
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        ASSERT_NE(ctx, nullptr);
        ctx->instance = this->heap.instance;
        this->heap.instance->context = ctx;
        ASSERT_TRUE(TestSupport_registerStreamTypes(ctx));
        ASSERT_TRUE(TestSupport_installDocumentOps(ctx));
        this->baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), this->baseline) << "heap bytes leaked";
        if (ctx) {
            Vfs_unregisterTypes(ctx);
            this->heap.instance->context = nullptr;
            Mem_free(ctx);
            ctx = nullptr;
        }
        this->baseline = TestHeap_usedBytes();
        LeakCheckedHeapTest<HeapBytes>::TearDown();
    }
    EngineContext *ctx = nullptr;
};
