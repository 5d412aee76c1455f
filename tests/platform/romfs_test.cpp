// Built-in files: the table, lookups, listings, reads, and the formats of
// the generated data.
#include "tests/platform/file_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/result.h"

namespace {

using RomFsTest = FileFixture;

std::vector<std::string> listDir(EngineContext *ctx, const char *path, int *result)
{
    std::vector<std::string> names;
    AlienFile *f = nullptr;
    int handled = 0;
    *result = RomFs_open(ctx, &f, path, AlienFile_modeList, &handled);
    if (!f)
        return names;
    for (;;) {
        const char16_t *name = nullptr;
        int r = RomFs_readDir(f, &name, &handled);
        if (r != 0) {
            *result = r;
            break;
        }
        if (!name)
            break;
        names.push_back(S(name));
    }
    EXPECT_EQ(AlienFile_close(f), 0);
    return names;
}

TEST_F(RomFsTest, TableStartsWithPlaceholdersAndTheCoreFiles)
{
    ASSERT_EQ(RomFs_count(ctx), 10);
    const RomFsEntry *rows = RomFs_entries(ctx);
    EXPECT_STREQ(rows[0].path, "");
    EXPECT_STREQ(rows[1].path, "");
    EXPECT_STREQ(rows[2].path, "/okala_dir/Fonts/bincmaps/identity-v.dat");
    EXPECT_STREQ(rows[9].path, "/okala_dir/Resource/image/unreachable.png");
    EXPECT_EQ(RomFs_createTable(nullptr), Res_missingArgument);
    EXPECT_EQ(RomFs_createTable(ctx), 0) << "replaces the old table";
    EXPECT_EQ(RomFs_count(ctx), 10);
}

TEST_F(RomFsTest, ListingsGiveDirectChildrenInTableOrder)
{
    int r = 0;
    EXPECT_EQ(listDir(ctx, "/okala_dir/Resource/image", &r),
              (std::vector<std::string>{"unknown.png", "broken.png", "placeholder.png",
                                        "unreachable.png"}));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(listDir(ctx, "/okala_dir/Fonts/", &r),
              (std::vector<std::string>{"psbase14.bfm", "map"}));
    EXPECT_TRUE(listDir(ctx, "/okala_dir", &r).empty()) << "no direct children";
    EXPECT_TRUE(listDir(ctx, "/okala_dir/Font", &r).empty());
}

TEST_F(RomFsTest, ListingARowThatEndsInASlashFails)
{
    static const uint8_t none[1] = {0};
    RomFs_addFile(ctx, "/okala_dir/odd/", none, 0);
    int r = 0;
    listDir(ctx, "/okala_dir/odd", &r);
    EXPECT_EQ(r, Res_romFsBadEntry);
}

TEST_F(RomFsTest, DuplicatesAndGrowth)
{
    static const uint8_t a[3] = {1, 2, 3}, b[4] = {4, 5, 6, 7};
    RomFs_addFile(ctx, "/okala_dir/x", a, 3);
    RomFs_addFile(ctx, "/okala_dir/x", b, 3);
    EXPECT_EQ(RomFs_count(ctx), 11) << "same path and length: kept once";
    RomFs_addFile(ctx, "/okala_dir/x", b, 4);
    EXPECT_EQ(RomFs_count(ctx), 12) << "another length: a second row";
    AlienFile *f = nullptr;
    int handled = 0;
    ASSERT_EQ(RomFs_open(ctx, &f, "/okala_dir/x", AlienFile_modeRead, &handled), 0);
    ASSERT_EQ(handled, 1);
    // Growing the table moves the rows; the open record still reads its file.
    static char names[40][32];
    for (int i = 0; i < 40; i++) {
        snprintf(names[i], sizeof names[i], "/okala_dir/g/%d", i);
        RomFs_addFile(ctx, names[i], a, 3);
    }
    EXPECT_EQ(RomFs_count(ctx), 52);
    uint8_t buf[8];
    size_t n = sizeof buf;
    EXPECT_EQ(RomFs_read(f, buf, &n, &handled), 0);
    EXPECT_EQ(handled, 1);
    ASSERT_EQ(n, 3u) << "the lookup finds the first row";
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(AlienFile_close(f), 0);
    EXPECT_EQ(RomFs_trim(ctx), 0);
    EXPECT_EQ(RomFs_count(ctx), 52);
}

TEST_F(RomFsTest, ReadSeekAndSize)
{
    AlienFile *f = nullptr;
    int handled = 0;
    ASSERT_EQ(
        RomFs_open(ctx, &f, "/okala_dir/Resource/image/unknown.png", AlienFile_modeRead, &handled),
        0);
    ASSERT_TRUE(RomFs_isEntry(f));
    uint64_t size = 0;
    RomFs_size(f, &size, &handled);
    EXPECT_EQ(size, 415u);
    EXPECT_EQ(RomFs_seek(f, 400, &handled), 0);
    uint8_t buf[100];
    size_t n = sizeof buf;
    EXPECT_EQ(RomFs_read(f, buf, &n, &handled), 0);
    EXPECT_EQ(n, 15u);
    n = sizeof buf;
    EXPECT_EQ(RomFs_read(f, buf, &n, &handled), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(RomFs_seek(f, 100000, &handled), 0);
    uint64_t pos = 0;
    EXPECT_EQ(RomFs_tell(f, &pos, &handled), 0);
    EXPECT_EQ(pos, 415u) << "seeks clamp to the length";
    EXPECT_EQ(AlienFile_close(f), 0);
    EXPECT_EQ(RomFs_open(ctx, &f, "/okala_dir/Resource/image", AlienFile_modeRead, &handled), 0);
    EXPECT_EQ(handled, 0) << "a directory is no file";
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(RomFs_open(ctx, nullptr, "/x", 1, &handled), Res_missingArgument);
    AlienFile host = {};
    host.fd = 3;
    EXPECT_EQ(RomFs_read(&host, buf, &n, &handled), 0);
    EXPECT_EQ(handled, 0) << "not a built-in record";
}

// ------------------------------------------------------- the data files

std::string fileBytes(const char *path)
{
    for (const RomFsEntry &e : RomFs_builtins) {
        if (std::strcmp(e.path, path) == 0)
            return std::string(reinterpret_cast<const char *>(e.data), e.length);
    }
    return "";
}

std::string inflateAll(const std::string &z)
{
    std::string out(1 << 16, '\0');
    uLongf len = out.size();
    if (uncompress(reinterpret_cast<Bytef *>(out.data()), &len,
                   reinterpret_cast<const Bytef *>(z.data()), z.size()) != Z_OK)
        return "<bad zlib>";
    out.resize(len);
    return out;
}

TEST_F(RomFsTest, IdentityCMapsHaveTheBinaryCMapLayout)
{
    std::string v = fileBytes("/okala_dir/Fonts/bincmaps/identity-v.dat");
    EXPECT_EQ(v, std::string("BINCMAP1Identity\0\0\0\0", 20));
    std::string h = fileBytes("/okala_dir/Fonts/bincmaps/identity-h.dat");
    ASSERT_GT(h.size(), 18u);
    EXPECT_EQ(h.substr(0, 18), std::string("BINCMAP3Identity\0\0", 18));
    // One 2-byte range block 0000-FFFF -> CID 0 (high stored less low + 1),
    // then the end block.
    EXPECT_EQ(inflateAll(h.substr(18)),
              std::string("\x00\x01\x82\x00\x00\x00\x00\xff\xfe\x00\x00", 11));
}

TEST_F(RomFsTest, ImagesArePngsOfTheirFixedLengths)
{
    struct {
        const char *path;
        size_t length;
    } images[] = {{"/okala_dir/Resource/image/unknown.png", 415},
                  {"/okala_dir/Resource/image/broken.png", 411},
                  {"/okala_dir/Resource/image/placeholder.png", 339},
                  {"/okala_dir/Resource/image/unreachable.png", 217}};
    for (auto &im : images) {
        std::string b = fileBytes(im.path);
        EXPECT_EQ(b.size(), im.length) << im.path;
        EXPECT_EQ(b.substr(0, 8), "\x89PNG\r\n\x1a\n") << im.path;
        EXPECT_EQ(b.substr(12, 4), "IHDR") << im.path;
        EXPECT_EQ(b.substr(b.size() - 8, 4), "IEND") << im.path;
    }
}

TEST_F(RomFsTest, FontMapHasItsSections)
{
    std::string m = fileBytes("/okala_dir/Fonts/map");
    for (const char *s :
         {"[Buffered]\n", "[Library]\n", "[Defaults]\n", "[Supplements]\n",
          "Arial:Helvetica:SwissA:sans-serif,Italic,,Bold,,,"
          "file://root/usr/share/fonts/truetype/liberation2/LiberationSans-BoldItalic.ttf\n",
          "Symbol PS:Symbol:MathGreek,,,Regular,,,msyrr.ef1\n",
          "MS "
          "Gothic,,,Regular,,,file://root/usr/share/fonts/truetype/droid/"
          "DroidSansFallbackFull.ttf\n",
          "*:sans-serif\n", "tahoma.ttf: sans-serif: language\n"})
        EXPECT_NE(m.find(s), std::string::npos) << s;
    EXPECT_EQ(m.find('\r'), std::string::npos);
    EXPECT_EQ(m.find("Shree"), std::string::npos) << "no font for that script";
    EXPECT_EQ(m.find("override"), std::string::npos);
    size_t start = 0;
    while (start < m.size()) {
        size_t end = m.find('\n', start);
        EXPECT_LE(end - start, 255u) << "map lines fit the reader's line buffer";
        start = end + 1;
    }
}

uint16_t le16(const std::string &b, size_t at)
{
    return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}

TEST_F(RomFsTest, Base14MetricsHeaderIsConsistent)
{
    std::string b = fileBytes("/okala_dir/Fonts/psbase14.bfm");
    ASSERT_GT(b.size(), 130u);
    EXPECT_EQ(le16(b, 0), b.size());
    EXPECT_EQ(le16(b, 2), 130);
    const int zlibEntries[] = {2, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    for (int e = 0; e < 21; e++) {
        uint16_t a = le16(b, 4 + 6 * e), len = le16(b, 6 + 6 * e), off = le16(b, 8 + 6 * e);
        ASSERT_LE(130u + off + len, b.size()) << "entry " << e;
        if (std::find(std::begin(zlibEntries), std::end(zlibEntries), e) != std::end(zlibEntries)) {
            EXPECT_EQ(inflateAll(b.substr(130 + off, len)).size(), a) << "entry " << e;
        }
    }
    // Code ranges: A / 4 - 1 ranges, starts rising, the closing base ends
    // the glyph count that the width indices of a font of the group hold.
    for (int e : {4, 5, 6}) {
        uint16_t a = le16(b, 4 + 6 * e), off = le16(b, 8 + 6 * e);
        ASSERT_EQ(a % 4, 0u);
        for (size_t r = 1; r < a / 4; r++)
            EXPECT_LT(le16(b, 130 + off + 4 * (r - 1)), le16(b, 130 + off + 4 * r));
        uint16_t glyphs = le16(b, 130 + off + a - 2);
        int widths = e == 4 ? 7 : e == 5 ? 19 : 20;
        EXPECT_EQ(le16(b, 4 + 6 * widths), glyphs) << "entry " << e;
    }
    // Space in Helvetica (font 4: widths entry 15) is 278 thousandths:
    // decode the width list and look code 32 (range start 0, base 0) up.
    std::vector<int> widths;
    {
        uint16_t count = le16(b, 4), off = le16(b, 8);
        std::vector<int> nib;
        for (size_t i = 0; i < le16(b, 6); i++) {
            uint8_t v = uint8_t(b[130 + off + i]);
            nib.push_back(v & 15);
            nib.push_back(v >> 4);
        }
        int cur = -1;
        for (size_t i = 0; widths.size() < count; i++) {
            if (nib[i] < 15) {
                cur += nib[i] + 1;
            } else {
                cur += ((nib[i + 1] << 8) | (nib[i + 2] << 4) | nib[i + 3]) + 1;
                i += 3;
            }
            widths.push_back(cur);
        }
    }
    std::string helv = inflateAll(b.substr(130 + le16(b, 8 + 6 * 15), le16(b, 6 + 6 * 15)));
    EXPECT_EQ(widths.at(uint8_t(helv.at(0))), 278);
}

} // namespace
