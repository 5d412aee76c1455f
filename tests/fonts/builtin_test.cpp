// The data of the built-in symbol fonts and binary CMaps.
#include "fonts/builtin/builtin.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <set>
#include <string>

namespace {

std::string bytes(const RomFsEntry &e)
{
    return std::string(reinterpret_cast<const char *>(e.data), e.length);
}

uint32_t be32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
}

TEST(BuiltinData, SymbolFontsAreTrueTypeWithOutlinesAndAUnicodeMap)
{
    const char *paths[] = {"/okala_dir/Fonts/msyrr.ef1", "/okala_dir/Fonts/dbtrr.ef1"};
    for (int i = 0; i < 2; i++) {
        const RomFsEntry &e = Builtin_symbolFonts[i];
        EXPECT_STREQ(paths[i], e.path);
        std::string b = bytes(e);
        ASSERT_GT(b.size(), 12u);
        EXPECT_EQ(0x00010000u, be32(b, 0)) << e.path;
        uint32_t tables = uint32_t(uint8_t(b[4])) << 8 | uint8_t(b[5]);
        std::set<std::string> tags;
        for (uint32_t t = 0; t < tables; t++) {
            std::string tag = b.substr(12 + 16 * t, 4);
            tags.insert(tag);
            EXPECT_LE(uint64_t(be32(b, 12 + 16 * t + 8)) + be32(b, 12 + 16 * t + 12), b.size())
                << tag;
        }
        for (const char *need :
             {"cmap", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "name", "OS/2"})
            EXPECT_TRUE(tags.count(need)) << e.path << " lacks " << need;
        EXPECT_FALSE(tags.count("CFF ")) << e.path;
    }
}

// Every CMap file of a collection: the right magic, an inflatable body,
// and a usecmap parent that is built in beside it.
void checkCollection(const RomFsEntry *files, size_t count, const char *unicodeFile,
                     const char *ordering)
{
    std::set<std::string> names;
    for (size_t i = 0; i < count; i++) {
        std::string path = files[i].path;
        ASSERT_EQ(0u, path.find("/okala_dir/Fonts/bincmaps/")) << path;
        names.insert(path.substr(26));
    }
    EXPECT_EQ(count, names.size()) << "no file twice";
    ASSERT_TRUE(names.count(unicodeFile));
    for (size_t i = 0; i < count; i++) {
        std::string b = bytes(files[i]), name = std::string(files[i].path).substr(26);
        std::vector<unsigned char> out(1 << 20);
        uLongf outLength = out.size();
        if (name == unicodeFile) {
            ASSERT_EQ("BINCMAP2", b.substr(0, 8));
            uint32_t n = uint32_t(uint8_t(b[8])) << 8 | uint8_t(b[9]);
            ASSERT_EQ(Z_OK,
                      uncompress(out.data(), &outLength,
                                 reinterpret_cast<const Bytef *>(b.data() + 10), b.size() - 10));
            EXPECT_EQ(2 * n, outLength);
            EXPECT_GT(n, 10000u);
            continue;
        }
        ASSERT_EQ("BINCMAP3", b.substr(0, 8)) << name;
        size_t end = b.find('\0', 8);
        ASSERT_LT(end, size_t(8 + 32)) << name;
        std::string order = b.substr(8, end - 8);
        EXPECT_NE(std::string::npos, order.find(ordering)) << name << ": " << order;
        size_t useEnd = b.find('\0', end + 1);
        ASSERT_LT(useEnd, end + 1 + 65) << name;
        std::string parent = b.substr(end + 1, useEnd - end - 1);
        if (!parent.empty()) {
            for (char &c : parent)
                c = char(std::tolower(uint8_t(c)));
            EXPECT_TRUE(names.count(parent + ".dat")) << name << " uses " << parent;
        }
        ASSERT_EQ(Z_OK, uncompress(out.data(), &outLength,
                                   reinterpret_cast<const Bytef *>(b.data() + useEnd + 1),
                                   b.size() - useEnd - 1))
            << name;
        ASSERT_GE(outLength, 2u);
        EXPECT_EQ(0, out[outLength - 1] | out[outLength - 2]) << name << " ends with the end block";
    }
}

TEST(BuiltinData, CMapsOfTheFourCollections)
{
    checkCollection(Builtin_japanCmaps, 22, "adobe-japan1-ucs2.dat", "Japan1");
    checkCollection(Builtin_koreanCmaps, 13, "adobe-korea1-ucs2.dat", "Korea1");
    checkCollection(Builtin_simplifiedChineseCmaps, 18, "adobe-gb1-ucs2.dat", "GB1");
    checkCollection(Builtin_traditionalChineseCmaps, 28, "adobe-cns1-ucs2.dat", "CNS1");
}

} // namespace
