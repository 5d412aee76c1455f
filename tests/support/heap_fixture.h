// A GoogleTest fixture that gives each test its own engine heap and checks,
// after the test, that every heap byte came back and the heap is sound.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "core/mem/mem.h"
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
