// The text tone table: its default and its tuning.
#include <gtest/gtest.h>

#include <cstring>

#include "core/mem/mem.h"
#include "graphics/texttone.h"
#include "tests/support/heap_fixture.h"

namespace {

using TextToneTest = LeakCheckedContextTest<>;

// ------------------------------------------------------------ tone table

TEST_F(TextToneTest, ToneTableStartsFromTheDefault)
{
    ASSERT_EQ(TextTone_init(ctx), 0);
    const uint8_t *t = static_cast<const uint8_t *>(ctx->textTone);
    ASSERT_NE(t, nullptr);
    struct {
        int index, value;
    } entries[] = {{0, 0},     {1, 32},    {2, 33},    {43, 64},   {123, 124}, {124, 124},
                   {128, 128}, {132, 132}, {133, 132}, {215, 194}, {254, 223}, {255, 255}};
    for (auto e : entries)
        EXPECT_EQ(t[e.index], e.value) << e.index;
    for (int i = 1; i < 254; i++) {
        EXPECT_GE(t[i + 1], t[i]) << i;
        EXPECT_LE(t[i + 1], t[i] + 1) << i;
    }
    for (int i = 124; i <= 132; i++)
        EXPECT_EQ(t[i], i);
    EXPECT_EQ(memcmp(t, TextTone_defaultTable(), TextTone_size), 0);

    // Tuning rewrites it in place; identity tuning gives the identity.
    TextTone_setTuning(ctx, 1.0, 0, 0);
    EXPECT_EQ(ctx->textTone, t);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(t[i], i) << i;

    TextTone_fini(ctx);
    EXPECT_EQ(ctx->textTone, nullptr);
    TextTone_fini(ctx);                 // a second teardown frees nothing twice
    TextTone_setTuning(ctx, 1.0, 0, 0); // no table: nothing
}

TEST_F(TextToneTest, ToneTableOutOfMemory)
{
    Mem_failAfter(1);
    EXPECT_EQ(TextTone_init(ctx), 1);
    EXPECT_EQ(ctx->textTone, nullptr);
    Mem_failAfter(0);
}

} // namespace
