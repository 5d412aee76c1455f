// Installing the built-in character tables: all four at once, and an
// engine that goes on without them when memory runs out.
#include <gtest/gtest.h>

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "spreadsheet/engineentry.h"
#include "tests/support/heap_fixture.h"

namespace {

class BuiltinCharsetTest : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    void TearDown() override
    {
        Charset_destroyHooks(ctx);
        LeakCheckedContextTest<(8u << 20)>::TearDown();
    }
    // ISO-2022-JP for U+3042: the unit decoded, or the converter's error.
    int decodeA(uint32_t *unit)
    {
        const uint8_t in[] = {0x1B, '$', 'B', 0x24, 0x22};
        uint8_t dst[16] = {};
        size_t consumed = 0, produced = 0;
        CharsetState st = {0, 0};
        int r = Charset_decodeMultibyte(32, in, sizeof in, dst, sizeof dst, &consumed, &produced,
                                        &st, ctx->charsetHooks);
        char16_t u = 0;
        if (produced >= 2)
            std::memcpy(&u, dst, 2);
        *unit = u;
        return r;
    }
};

TEST_F(BuiltinCharsetTest, InstallsEveryTable)
{
    ASSERT_EQ(Engine_installBuiltinCharset(ctx), 1);
    CharsetHooks *h = ctx->charsetHooks;
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(h->japanese && h->big5 && h->korean && h->chinese);
    EXPECT_NE(h->gbRanges, nullptr);
    uint32_t unit = 0;
    decodeA(&unit);
    EXPECT_EQ(unit, 0x3042u);
    // Again: the tables already there are kept.
    CharsetTable *japanese = h->japanese;
    EXPECT_EQ(Engine_installBuiltinCharset(ctx), 1);
    EXPECT_EQ(ctx->charsetHooks->japanese, japanese);
    EXPECT_EQ(Engine_installBuiltinCharset(nullptr), 0);
}

TEST_F(BuiltinCharsetTest, OutOfMemoryLeavesAWorkingEngineWithoutTables)
{
    size_t base = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        ASSERT_LT(n, 30u);
        Mem_failAfter(n);
        int r = Engine_installBuiltinCharset(ctx);
        Mem_failAfter(0);
        if (r == 1)
            break;
        EXPECT_EQ(r, 0);
        CharsetHooks *h = ctx->charsetHooks;
        if (h) {
            // No half set: every table is gone, and decoding answers
            // cleanly that it has no table.
            EXPECT_FALSE(h->japanese || h->big5 || h->korean || h->chinese) << n;
            uint32_t unit = 0;
            EXPECT_NE(decodeA(&unit), Res_ok) << n;
        }
        Charset_destroyHooks(ctx);
        EXPECT_EQ(TestHeap_usedBytes(), base) << n;
    }
    uint32_t unit = 0;
    decodeA(&unit);
    EXPECT_EQ(unit, 0x3042u);
}

} // namespace
