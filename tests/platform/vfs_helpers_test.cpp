// Stream helpers beyond reading and seeking: the table file reader, the
// non-local jump pair and the stateless module steps.
#include "tests/platform/file_fixture.h"

#include <string>

#include "core/result.h"
#include "platform/vfs/helpers.h"

namespace {

class VfsHelpersTest : public FileFixture {
  protected:
    static std::string be32(uint32_t v)
    {
        std::string s(4, 0);
        for (int i = 0; i < 4; i++)
            s[i] = char(v >> (24 - 8 * i));
        return s;
    }

    int readTable(const std::string &bytes, uint32_t *count, uint32_t *values, uint32_t capacity)
    {
        writeFile("table", bytes);
        Url *u = fileUrl("table");
        int r = File_readIndexTable(ctx, u, count, values, capacity);
        Url_free(u);
        return r;
    }
};

TEST_F(VfsHelpersTest, IndexTableFiles)
{
    uint32_t values[4] = {};
    uint32_t count = 99;
    std::string head = be32(0xdeadbeef) + be32(1);
    ASSERT_EQ(readTable(head + be32(3) + be32(10) + be32(0x01020304) + be32(0xffffffff), &count,
                        values, 4),
              Res_ok);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(values[0], 10u);
    EXPECT_EQ(values[1], 0x01020304u);
    EXPECT_EQ(values[2], 0xffffffffu);

    ASSERT_EQ(readTable(head + be32(0), &count, values, 0), Res_ok);
    EXPECT_EQ(count, 0u);

    // The count is the file's: a table larger than the caller's is refused
    // before anything is stored.
    values[0] = 7;
    EXPECT_EQ(readTable(head + be32(5) + std::string(20, 'x'), &count, values, 4),
              Res_vfsRequestTooLarge);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(values[0], 7u);
    EXPECT_EQ(readTable(head + be32(0x40000000), &count, values, 4), Res_vfsRequestTooLarge);

    // Short files.
    EXPECT_EQ(readTable(head + be32(2) + be32(1), &count, values, 4), Res_vfsShortRead);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(readTable("short", &count, values, 4), Res_vfsShortRead);

    // A large table crosses several 4096-byte reads.
    std::string big = head + be32(3000);
    for (uint32_t i = 0; i < 3000; i++)
        big += be32(i * 7);
    std::vector<uint32_t> many(3000);
    ASSERT_EQ(readTable(big, &count, many.data(), 3000), Res_ok);
    EXPECT_EQ(count, 3000u);
    EXPECT_EQ(many[2999], 2999u * 7);

    Url *missing = fileUrl("missing");
    EXPECT_EQ(File_readIndexTable(ctx, missing, &count, values, 4), Res_fileCannotOpen);
    Url_free(missing);
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

TEST(VfsHelpers, JumpsComeBackWithTheirValue)
{
    JmpBuf buffer;
    volatile int passes = 0;
    int v = Jmp_set(buffer);
    passes = passes + 1;
    if (passes == 1) {
        EXPECT_EQ(v, 0);
        Jmp_long(buffer, 5);
    } else if (passes == 2) {
        EXPECT_EQ(v, 5);
        Jmp_long(buffer, 0);
    }
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(v, 1) << "a value of 0 comes back as 1";
}

TEST(VfsHelpers, StatelessModuleSteps)
{
    EXPECT_EQ(Module_startNoop(), Res_ok);
    Module_endNoop();
}

} // namespace
