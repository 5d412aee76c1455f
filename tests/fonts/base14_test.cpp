// Base-14 metrics: the slots, the built-in "psbase14.bfm" against the URW
// AFM numbers (tests/fixtures/fonts/base14-metrics.txt), a missing file
// and damaged files.
#include "fonts/base14.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/result.h"
#include "tests/platform/file_fixture.h"

namespace {

struct AfmFont {
    std::string name;
    std::map<int, int> widths;                // code -> thousandths
    std::map<std::pair<int, int>, int> kerns; // codes -> thousandths
};

std::vector<AfmFont> readTable()
{
    std::vector<AfmFont> fonts;
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/fonts/base14-metrics.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string kind;
        s >> kind;
        if (kind == "font") {
            int index;
            fonts.emplace_back();
            s >> index >> fonts.back().name;
        } else if (kind == "w") {
            int c, w;
            s >> c >> w;
            fonts.back().widths[c] = w;
        } else if (kind == "k") {
            int a, b, v;
            s >> a >> b >> v;
            fonts.back().kerns[{a, b}] = v;
        }
    }
    return fonts;
}

uint16_t units(int thousandths)
{
    return uint16_t(uint32_t(thousandths) * 16384u / 1000u);
}

class Base14Test : public FileFixture {
  protected:
    Base14Metrics *m = nullptr;

    void TearDown() override
    {
        Base14_free(m);
        m = nullptr;
        FileFixture::TearDown();
    }
    void create(const std::string &fontsDir = "file://root/okala_dir/Fonts/")
    {
        Url *dirUrl = url(fontsDir);
        ASSERT_NE(dirUrl, nullptr);
        ASSERT_EQ(0, Base14_create(ctx, &m, dirUrl));
        Url_free(dirUrl);
        ASSERT_NE(m, nullptr);
    }
    Base14Slot *open(const char *name)
    {
        Base14Slot *slot = reinterpret_cast<Base14Slot *>(1);
        EXPECT_EQ(0, Base14_open(ctx, m, name, &slot)) << name;
        return slot;
    }
    uint16_t advance(Base14Slot *slot, uint16_t code)
    {
        uint16_t first = 7, adv = 0;
        EXPECT_EQ(0, slot->metrics(slot, &code, 1, 0, nullptr, &first, &adv));
        EXPECT_EQ(0, first);
        return adv;
    }
    int32_t kern(Base14Slot *slot, uint16_t a, uint16_t b)
    {
        uint16_t codes[2] = {a, b}, adv[2] = {20000, 20000};
        EXPECT_EQ(0, slot->kerning(slot, codes, 2, 0, nullptr, adv));
        EXPECT_EQ(20000, adv[1]);
        return int32_t(adv[0]) - 20000;
    }
    std::string builtinBytes()
    {
        for (const RomFsEntry &e : RomFs_builtins)
            if (std::string(e.path) == "/okala_dir/Fonts/psbase14.bfm")
                return std::string(reinterpret_cast<const char *>(e.data), e.length);
        return "";
    }
};

TEST_F(Base14Test, EveryWidthAndKerningPairEqualsTheAfmFiles)
{
    create();
    ASSERT_TRUE(m->fileExists);
    std::vector<AfmFont> table = readTable();
    ASSERT_EQ(14u, table.size());
    for (const AfmFont &font : table) {
        Base14Slot *slot = open(font.name.c_str());
        ASSERT_NE(slot, nullptr) << font.name;
        ASSERT_NE(slot->metrics, nullptr) << font.name;
        EXPECT_EQ(font.name, slot->name);
        ASSERT_GT(font.widths.size(), 180u) << font.name;
        for (auto [code, w] : font.widths)
            EXPECT_EQ(units(w), advance(slot, uint16_t(code))) << font.name << " code " << code;
        if (!slot->kerning) {
            EXPECT_TRUE(font.kerns.empty()) << font.name;
            continue;
        }
        // Every listed pair, and no kerning for any other pair of kerned codes.
        std::set<int> kerned;
        for (auto &[pair, v] : font.kerns) {
            EXPECT_EQ(int32_t(v) * 16384 / 1000,
                      kern(slot, uint16_t(pair.first), uint16_t(pair.second)))
                << font.name << " " << pair.first << " " << pair.second;
            kerned.insert(pair.first);
            kerned.insert(pair.second);
        }
        for (int a : kerned) {
            for (int b : kerned) {
                if (!font.kerns.count({a, b})) {
                    EXPECT_EQ(0, kern(slot, uint16_t(a), uint16_t(b)))
                        << font.name << " " << a << " " << b;
                }
            }
        }
    }
}

TEST_F(Base14Test, FixedAdvancesAndNames)
{
    create();
    Base14Slot *helv = open("Helvetica");
    ASSERT_NE(helv, nullptr);
    EXPECT_EQ(10928, advance(helv, 'A'));
    Base14Slot *courier = open("Courier");
    ASSERT_NE(courier, nullptr);
    EXPECT_EQ(nullptr, courier->kerning);
    EXPECT_EQ(nullptr, courier->widthIndex) << "Courier owns no tables";
    for (uint16_t c : {0, 9, 31, 32, 65, 0xE9, 0x4E00, 0xFFFF})
        EXPECT_EQ(Base14_fixedAdvance, advance(courier, c)) << c;
    for (const char *name : {"Helvetica", "Times-Roman", "Symbol", "ZapfDingBats"}) {
        Base14Slot *slot = open(name);
        ASSERT_NE(slot, nullptr);
        for (uint16_t c : {0, 10, 31})
            EXPECT_EQ(Base14_fixedAdvance, advance(slot, c)) << name << " " << c;
    }
    // Codes the font has no glyph for.
    EXPECT_EQ(Base14_fixedAdvance, advance(helv, 0x4E00));
    EXPECT_EQ(Base14_fixedAdvance, advance(helv, 0x7F));
    // Exact names only...
    for (const char *name : {"courier", "Helvetica ", "Times", "Arial", "", "ZAPFDINGBATS"})
        EXPECT_EQ(nullptr, open(name)) << name;
    Base14Slot *none = reinterpret_cast<Base14Slot *>(1);
    EXPECT_EQ(0, Base14_open(ctx, m, nullptr, &none));
    EXPECT_EQ(nullptr, none);
    // ...but both spellings of the dingbats font, and an open slot again.
    Base14Slot *dingbats = open("ZapfDingBats");
    EXPECT_EQ(dingbats, open("ZapfDingbats"));
    EXPECT_EQ(13u, dingbats->index);
    EXPECT_EQ(helv, open("Helvetica"));
    // The slot's fixed line values.
    EXPECT_EQ(-1638, helv->underlinePosition);
    EXPECT_EQ(819, helv->underlineThickness);
    EXPECT_EQ(11763, helv->ascender);
    EXPECT_EQ(-3391, helv->descender);
    EXPECT_EQ(15253, helv->box[3]);
}

TEST_F(Base14Test, DingbatsMapUnicodeToTheirOwnCodes)
{
    create();
    Base14Slot *d = open("ZapfDingbats");
    ASSERT_NE(d, nullptr);
    struct Case {
        uint16_t unicode, own;
    } cases[] = {
        {9985, 33},   {9988, 36},   {9990, 38},   {10025, 73},  {10059, 107},
        {9312, 172},  {9321, 181},  {8594, 213},  {9830, 169},  {10102, 182},
        {10159, 239}, {10161, 241}, {10174, 254}, {63703, 128},
    };
    for (const Case &c : cases)
        EXPECT_EQ(advance(d, c.own), advance(d, c.unicode)) << c.unicode;
    EXPECT_NE(advance(d, 33), advance(d, 213)) << "the cases tell widths apart";
    EXPECT_EQ(Base14_fixedAdvance, advance(d, 9989)) << "between two ranges";
    // Other fonts do not remap.
    Base14Slot *s = open("Symbol");
    EXPECT_EQ(Base14_fixedAdvance, advance(s, 9985));
}

TEST_F(Base14Test, RunsMeasureAndKernTheirOwnPositionsOnly)
{
    create();
    Base14Slot *t = open("Times-Roman");
    const uint16_t codes[4] = {'A', 'V', 'A', 'V'};
    const uint8_t tags[4] = {0x08 | 1, 1, 2, 1};
    uint16_t first[4] = {5, 5, 5, 5}, adv[4] = {1, 1, 1, 1};
    ASSERT_EQ(0, t->metrics(t, codes, 4, 1, tags, first, adv));
    EXPECT_EQ(0, first[0]);
    EXPECT_EQ(5, first[2]) << "another font's position";
    EXPECT_EQ(1, adv[2]);
    uint16_t a = advance(t, 'A');
    EXPECT_EQ(a, adv[0]);
    ASSERT_EQ(0, t->kerning(t, codes, 4, 1, tags, adv));
    EXPECT_LT(adv[0], a) << "A V of the same font kerns";
    EXPECT_EQ(1, adv[2]) << "a pair broken by another font does not";
    EXPECT_EQ(advance(t, 'V'), adv[1]);
}

TEST_F(Base14Test, MissingFileLeavesTheTenFontsWithoutMetrics)
{
    create("file://root" + dir + "/");
    EXPECT_FALSE(m->fileExists);
    Base14Slot *times = open("Times-Roman");
    ASSERT_NE(times, nullptr);
    EXPECT_EQ(nullptr, times->metrics);
    EXPECT_EQ(nullptr, times->kerning);
    Base14Slot *courier = open("Courier-Bold");
    ASSERT_NE(courier, nullptr);
    EXPECT_EQ(Base14_fixedAdvance, advance(courier, 'W'));
}

TEST_F(Base14Test, DamagedFilesGiveAnErrorAndNoSlot)
{
    const std::string good = builtinBytes();
    ASSERT_GT(good.size(), 1000u);
    std::vector<std::string> bad;
    for (size_t cut :
         {size_t(0), size_t(3), size_t(129), size_t(130), size_t(500), good.size() - 1})
        bad.push_back(good.substr(0, cut));
    // A wrong total, an entry pointing outside, corrupt packed data.
    std::string wrongTotal = good;
    wrongTotal[0] = char(wrongTotal[0] ^ 1);
    bad.push_back(wrongTotal);
    std::string outside = good;
    outside[8] = char(0xFF), outside[9] = char(0xFF);
    bad.push_back(outside);
    std::string packed = good;
    uint16_t off15 = uint16_t(uint8_t(good[8 + 6 * 15]) | uint8_t(good[9 + 6 * 15]) << 8);
    packed[130 + off15 + 3] = char(packed[130 + off15 + 3] ^ 0x5A);
    bad.push_back(packed);
    for (size_t i = 0; i < bad.size(); i++) {
        writeFile("psbase14.bfm", bad[i]);
        create("file://root" + dir + "/");
        EXPECT_TRUE(m->fileExists);
        Base14Slot *slot = reinterpret_cast<Base14Slot *>(1);
        int rc = Base14_open(ctx, m, "Helvetica", &slot);
        EXPECT_NE(0, rc) << "case " << i;
        EXPECT_EQ(nullptr, slot) << "case " << i;
        // Courier needs no file; the failed slot stays closed.
        EXPECT_NE(nullptr, open("Courier"));
        EXPECT_FALSE(m->slots[4].inUse);
        Base14_free(m);
        m = nullptr;
    }
    // Every other byte value at every position: an error or sound
    // metrics, never a crash.
    for (size_t at = 0; at < good.size(); at += 7) {
        std::string b = good;
        b[at] = char(~b[at]);
        writeFile("psbase14.bfm", b);
        create("file://root" + dir + "/");
        for (const char *name : {"Helvetica", "Symbol", "Times-Bold", "ZapfDingBats"}) {
            Base14Slot *slot = nullptr;
            if (Base14_open(ctx, m, name, &slot) == 0 && slot && slot->metrics) {
                for (uint16_t c = 0; c < 400; c += 3)
                    advance(slot, c);
                if (slot->kerning)
                    kern(slot, 'A', 'V');
            }
        }
        Base14_free(m);
        m = nullptr;
    }
}

TEST_F(Base14Test, OutOfMemoryLeavesNothingBehind)
{
    for (uint64_t fail = 1;; fail++) {
        Url *dirUrl = url("file://root/okala_dir/Fonts/");
        Mem_failAfter(fail);
        int rc = Base14_create(ctx, &m, dirUrl);
        Base14Slot *slot = nullptr;
        if (rc == 0)
            rc = Base14_open(ctx, m, "Times-Italic", &slot);
        Mem_failAfter(0);
        Url_free(dirUrl);
        if (rc == 0) {
            ASSERT_NE(slot, nullptr);
            EXPECT_EQ(units(611), advance(slot, 'A')) << "fail " << fail;
            break;
        }
        EXPECT_EQ(Res_noMemory, rc) << "fail " << fail;
        EXPECT_EQ(nullptr, slot);
        Base14_free(m);
        m = nullptr;
        ASSERT_LT(fail, 200u);
    }
}

} // namespace
