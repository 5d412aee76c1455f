// The compound-file reader: the sector layer, the directory walk and the
// stream operations, over the fixtures of tests/fixtures/office and byte
// patches of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "host/headless/headless.h"
#include "office/ole2/ole.h"
#include "platform/vfs/helpers.h"
#include "tests/document/types_support.h"
#include "tests/office/ole_support.h"
#include "word/reader/word.h"

namespace {

TEST_F(OleTest, FixturesListAsTheirListingsSay)
{
    const struct {
        const char *name;
        int code;
    } cases[] = {
        {"sample.cfb", Res_ok},
        {"swapped.cfb", Res_ok},
        {"sect128_difat.cfb", Res_ok},
        {"truncated.cfb", Res_ok},
        {"sibling_loop.cfb", Res_ok},
        {"list5000.cfb", Res_ok},
        {"types34.cfb", Res_ok},
        {"names31.cfb", Res_ok},
        {"word.doc", Res_ok},
        {"calc.xls", Res_ok},
        {"book5.xls", Res_ok},
        {"difat_short.cfb", Res_oleDifatLength},
        {"difat_long.cfb", Res_oleDifatLength},
        {"fat110_nodifat.cfb", Res_oleNoDifat},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(open(officeFixture(c.name)), c.code);
        if (c.code == Res_ok) {
            EXPECT_EQ(listing(), listingFile(c.name));
        }
    }
    // The Excel 95 file carries minor version 0x3E.
    ASSERT_EQ(open(officeFixture("book5.xls")), Res_ok);
    EXPECT_EQ(ole->minorVersion, 0x3E);
    EXPECT_NE(entry(0, u"Book"), nullptr);
}

TEST_F(OleTest, EntriesInWalkOrderWithTheirParents)
{
    ASSERT_EQ(open(officeFixture("sample.cfb")), Res_ok);
    // Each sibling tree left subtree first; a storage's children after
    // the whole tree it stands in.
    std::vector<std::string> names;
    for (OleDirEntry *e = ole->entries; e; e = e->next)
        names.push_back(S(e->name));
    const std::vector<std::string> expected = {
        "Root Entry", "Empty",    "Large",     "Small",
        "Folder",     "AtCutoff", "JustBelow", "\x05SummaryInformation",
        "Inner",      "Deeper",   "Leaf"};
    EXPECT_EQ(names, expected);
    OleDirEntry *folder = entry(0, u"Folder");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->type, OleEntry_storage);
    uint8_t clsid[16];
    ASSERT_EQ(Ole_entryGetClsid(ole, folder->id, clsid), Res_ok);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(clsid[i], i);
    EXPECT_EQ(Ole_entryGetClsid(ole, folder->id, nullptr), Res_ok);
    EXPECT_EQ(Ole_entryGetClsid(ole, 99, clsid), Res_oleNoEntry);
    OleDirEntry *deeper = entry(folder->id, u"Deeper");
    ASSERT_NE(deeper, nullptr);
    EXPECT_NE(entry(deeper->id, u"Leaf"), nullptr);
    // Names under the exact parent only, in any case.
    uint32_t id = 7;
    EXPECT_EQ(Ole_entryFindByName(ole, 0, &id, u"small"), Res_ok);
    EXPECT_EQ(id, entry(0, u"Small")->id);
    EXPECT_EQ(Ole_entryFindByName(ole, 0, &id, u"Inner"), Res_oleNoSuchEntry);
    EXPECT_EQ(Ole_entryFindByName(ole, 0, &id, u"Smal"), Res_oleNoSuchEntry);
    EXPECT_EQ(Ole_entryFindByName(ole, folder->id, &id, u"Inner"), Res_ok);
    const char16_t *name = nullptr;
    ASSERT_EQ(Ole_entryGetName(ole, id, &name), Res_ok);
    EXPECT_EQ(S(name), "Inner");
    uint32_t size = 0;
    EXPECT_EQ(Ole_entryGetSize(ole, id, &size), Res_ok);
    EXPECT_EQ(size, 700u);
    EXPECT_EQ(Ole_entryCheck(ole, 10), Res_ok);
    EXPECT_EQ(Ole_entryCheck(ole, 11), Res_oleNoEntry);
    const uint8_t mark[16] = {9, 9, 9};
    EXPECT_EQ(Ole_entrySetClsid(ole, id, mark), Res_ok);
    EXPECT_EQ(Ole_entryGetClsid(ole, id, clsid), Res_ok);
    EXPECT_EQ(clsid[0], 9);
    EXPECT_EQ(Ole_entrySetClsid(ole, 11, mark), Res_oleNoEntry);
}

// Stream names compare without regard to case, as other writers spell
// them ("BOOK", "worddocument"); a name spelt exactly as asked wins over one
// that differs only in case.
TEST_F(OleTest, NamesMatchInAnyCaseExactSpellingFirst)
{
    std::string file = officeFixture("sample.cfb");
    size_t at = entryOffset(file, u"Empty");
    ASSERT_NE(at, std::string::npos);
    const char16_t renamed[] = u"SMALL";
    for (int i = 0; i < 5; i++)
        file[at + 2 * i] = char(renamed[i]);
    ASSERT_EQ(open(file), Res_ok);
    OleDirEntry *upper = nullptr, *exact = nullptr;
    for (OleDirEntry *e = ole->entries; e; e = e->next) {
        if (S(e->name) == "SMALL")
            upper = e;
        if (S(e->name) == "Small")
            exact = e;
    }
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(exact, nullptr);
    struct Case {
        const char16_t *name;
        OleDirEntry *found;
    } cases[] = {{u"Small", exact},
                 {u"SMALL", upper},
                 {u"small", upper},
                 {u"sMaLl", upper},
                 {u"large", entry(0, u"Large")},
                 {u"smal", nullptr},
                 {u"smalll", nullptr}};
    for (const Case &c : cases) {
        uint32_t id = 0;
        int err = Ole_entryFindByName(ole, 0, &id, c.name);
        if (!c.found) {
            EXPECT_EQ(err, Res_oleNoSuchEntry);
            continue;
        }
        ASSERT_EQ(err, Res_ok);
        EXPECT_EQ(id, c.found->id);
    }
    EXPECT_EQ(streamBytes(0, u"LARGE"), streamBytes(0, u"Large"));
}

TEST_F(OleTest, StreamsOnBothSidesOfTheCutoff)
{
    for (const char *file : {"sample.cfb", "swapped.cfb", "sect128_difat.cfb"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(open(officeFixture(file)), Res_ok);
        EXPECT_EQ(ole->byteSwapped, std::string(file) == "swapped.cfb" ? 1u : 0u);
        const struct {
            const char16_t *name;
            size_t size;
            int seed;
            uint32_t regular;
        } streams[] = {
            {u"Small", 100, 1, 0},
            {u"JustBelow", 4095, 2, 0},
            {u"AtCutoff", 4096, 3, 1},
            {u"Large", 10000, 4, 1},
        };
        for (const auto &s : streams) {
            SCOPED_TRACE(S(s.name));
            OleDirEntry *e = entry(0, s.name);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->regular, s.regular);
            EXPECT_EQ(streamBytes(0, s.name), fixturePattern(s.size, s.seed));
        }
        EXPECT_EQ(streamBytes(0, u"Empty"), "");
    }
}

TEST_F(OleTest, ReadSeekAndExactReads)
{
    ASSERT_EQ(open(officeFixture("sample.cfb")), Res_ok);
    OleStream *s = nullptr;
    ASSERT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Small"), Res_ok);
    std::string want = fixturePattern(100, 1);
    uint8_t buf[16];
    size_t got = 99;
    // Ten bytes asked five before the end: the five, and the end code.
    EXPECT_EQ(Ole_streamReadAt(s, 95, 10, &got, buf), Res_oleStreamEnd);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 5), want.substr(95));
    EXPECT_EQ(Ole_streamTell(s), 100u);
    EXPECT_EQ(Ole_streamAtEnd(s), Res_oleStreamEnd);
    EXPECT_EQ(Ole_streamRead(s, 1, &got, buf), Res_oleStreamEnd);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(Ole_streamRead(s, 0, &got, buf), Res_ok);
    // Seeks: whence 2 ignores the offset; beyond the end is refused.
    EXPECT_EQ(Ole_streamSeek(s, 12345, 2), Res_ok);
    EXPECT_EQ(Ole_streamTell(s), 100u);
    EXPECT_EQ(Ole_streamSeek(s, 101, 0), Res_oleSeekBeyond);
    EXPECT_EQ(Ole_streamTell(s), 100u);
    EXPECT_EQ(Ole_streamSeek(s, uint32_t(-30), 1), Res_ok);
    EXPECT_EQ(Ole_streamTell(s), 70u);
    EXPECT_EQ(Ole_streamAtEnd(s), Res_ok);
    EXPECT_EQ(Ole_streamSeek(s, 31, 1), Res_oleSeekBeyond);
    EXPECT_EQ(Ole_streamSeek(s, 0, 3), Res_nullInput);
    // Exact reads, little-endian as stored.
    ASSERT_EQ(Ole_streamSeek(s, 10, 0), Res_ok);
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t l = 0;
    EXPECT_EQ(Ole_streamReadU8(s, &b), Res_ok);
    EXPECT_EQ(Ole_streamReadU16(s, &w), Res_ok);
    EXPECT_EQ(Ole_streamReadU32(s, &l), Res_ok);
    auto at = [&](size_t i) { return uint32_t(uint8_t(want[i])); };
    EXPECT_EQ(b, at(10));
    EXPECT_EQ(w, at(11) | (at(12) << 8));
    EXPECT_EQ(l, at(13) | (at(14) << 8) | (at(15) << 16) | (at(16) << 24));
    ASSERT_EQ(Ole_streamSeek(s, 98, 0), Res_ok);
    EXPECT_EQ(Ole_streamReadU32(s, &l), Res_oleStreamEnd);
    EXPECT_EQ(Ole_streamReadExact(s, buf, 1), Res_oleStreamEnd);
    ASSERT_EQ(Ole_streamSeek(s, 0, 0), Res_ok);
    EXPECT_EQ(Ole_streamReadBytes(s, buf, 16), Res_ok);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 16), want.substr(0, 16));
    // Closing twice: the second finds nothing open.
    OleStream *again = s;
    EXPECT_EQ(Ole_streamClose(&s), Res_ok);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(Ole_streamClose(&s), Res_ok);
    OleStream stranger = {};
    stranger.owner = ole;
    OleStream *strangerPtr = &stranger;
    EXPECT_EQ(Ole_streamClose(&strangerPtr), Res_oleNotOpen);
    (void)again;
    // Any entry opens by id, the root too; a missing id does not.
    EXPECT_EQ(Ole_streamOpen(ole, &s, 0), Res_ok);
    EXPECT_EQ(Ole_streamOpenById(ole, 11, &s), Res_oleNoEntry);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Nothing"), Res_oleNoSuchEntry);
}

TEST_F(OleTest, SectorLayerLendsAndRefuses)
{
    ASSERT_EQ(open(officeFixture("sample.cfb")), Res_ok);
    OleFile *f = ole->file;
    uint8_t *buf = nullptr;
    uint32_t length = 0;
    // A FAT sector is no data sector.
    EXPECT_EQ(Ole_getSector(f, f->fatSectors[0], &buf, &length), Res_oleSectorConsumed);
    // Ids past the file, and special ids.
    EXPECT_EQ(Ole_getSector(f, f->fileSectors, &buf, &length), Res_oleSectorBeyond);
    uint32_t id = Ole_sectorEndOfChain;
    EXPECT_EQ(Ole_nextSector(f, &id), Res_oleSectorBeyond);
    EXPECT_EQ(Ole_fileSetMiniStart(f, Ole_sectorFat), Res_oleSectorBeyond);
    EXPECT_EQ(Ole_fileSetMiniStart(f, Ole_sectorFree), Res_oleSectorBeyond);
    EXPECT_EQ(Ole_fileSetMiniStart(f, f->miniStart), Res_ok);
    // A lent sector goes back only as the buffer lent.
    OleDirEntry *large = entry(0, u"Large");
    ASSERT_EQ(Ole_getSector(f, large->start, &buf, &length), Res_ok);
    EXPECT_EQ(length, 512u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 512), fixturePattern(512, 4));
    uint8_t *other = buf + 1;
    EXPECT_EQ(Ole_releaseSector(f, large->start, &other), Res_oleWrongBuffer);
    EXPECT_EQ(Ole_releaseSector(f, f->sectorCount, &buf), Res_oleFatUnknown);
    EXPECT_EQ(Ole_releaseSector(f, large->start, &buf), Res_ok);
    EXPECT_EQ(buf, nullptr);
    // Mini sectors stay cached after release.
    OleDirEntry *small = entry(0, u"Small");
    ASSERT_EQ(Ole_getMiniSector(f, small->start, &buf, &length), Res_ok);
    EXPECT_EQ(length, 64u);
    uint8_t *kept = buf;
    EXPECT_EQ(Ole_releaseMiniSector(f, small->start, &buf), Res_ok);
    EXPECT_EQ(buf, kept);
    uint32_t next = small->start;
    EXPECT_EQ(Ole_nextMiniSector(f, &next), Res_ok);
    EXPECT_EQ(next, small->start + 1);
    EXPECT_EQ(Ole_nextMiniSector(f, &next), Res_ok);
    EXPECT_EQ(next, Ole_sectorEndOfChain);
    // The mini stream's regular sectors were split: they are no data sectors now.
    EXPECT_EQ(Ole_getSector(f, f->miniStart, &buf, &length), Res_oleSectorConsumed);
}

TEST_F(OleTest, FileEndingInsideASector)
{
    // The last sector of truncated.cfb holds 150 bytes, "Tail"'s end.
    ASSERT_EQ(open(officeFixture("truncated.cfb")), Res_ok);
    EXPECT_EQ(streamBytes(0, u"Tail"), fixturePattern(4196, 9));
    OleFile *f = ole->file;
    uint32_t last = f->fileSectors - 1;
    uint8_t *buf = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(Ole_getSector(f, last, &buf, &length), Res_ok);
    EXPECT_EQ(length, 150u);
    EXPECT_EQ(Ole_releaseSector(f, last, &buf), Res_ok);
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(Ole_getSector(f, last, &buf, nullptr), Res_oleEndsInSector);
    EXPECT_EQ(buf, nullptr);

    // sample.cfb cut inside the mini stream's last sector, which holds the
    // mini sectors 80 to 87: those end in the file's end, once, and then
    // stay refused ("Leaf" lies there). "Large" now needs more sectors
    // than the file holds: it reads nothing.
    std::string b = officeFixture("sample.cfb");
    ASSERT_EQ(open(b), Res_ok);
    uint32_t lastMini = ole->file->miniStart + 10;
    b.resize(512 + 512 * size_t(lastMini) + 100);
    ASSERT_EQ(open(b), Res_ok);
    f = ole->file;
    EXPECT_EQ(Ole_getMiniSector(f, 80, &buf, &length), Res_oleEndsInSector);
    EXPECT_EQ(Ole_getMiniSector(f, 81, &buf, &length), Res_oleSectorConsumed);
    EXPECT_EQ(streamBytes(0, u"Small"), fixturePattern(100, 1));
    EXPECT_EQ(streamBytes(0, u"JustBelow"), fixturePattern(4095, 2));
    OleDirEntry *deeper = entry(entry(0, u"Folder")->id, u"Deeper");
    ASSERT_NE(deeper, nullptr);
    EXPECT_EQ(streamBytes(deeper->id, u"Leaf"), "<error 3615>");
    EXPECT_EQ(streamBytes(0, u"Large"), "<error 3602>");
}

TEST_F(OleTest, ForwardOnlyStream)
{
    std::string b = officeFixture("sample.cfb");
    ASSERT_EQ(open(b), Res_ok);
    std::vector<std::string> seekable = listing();
    // In increasing order everything reads, skipped sectors kept for later.
    ASSERT_EQ(open(b, false), Res_ok);
    EXPECT_EQ(ole->file->seekable, 0u);
    EXPECT_EQ(listing(), seekable);

    // A stream moved into a sector: the rest of it is dropped with a note,
    // and that sector is behind the stream for good.
    ASSERT_EQ(open(b, false), Res_ok);
    uint64_t at = 0;
    ASSERT_EQ(Vfs_tell(stream, &at), Res_ok);
    ASSERT_EQ((at - 512) % 512, 0u);
    uint32_t k = uint32_t((at - 512) / 512);
    ASSERT_LT(k + 1, ole->file->fileSectors);
    uint8_t skip[100];
    size_t got = 0;
    ASSERT_EQ(Vfs_readBytes(stream, skip, sizeof skip, &got), Res_ok);
    Headless_captureDebug(heap.host, 1);
    Headless_clearDebug(heap.host);
    uint8_t *buf = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(Ole_getSector(ole->file, k + 1, &buf, &length), Res_ok);
    EXPECT_NE(std::string(Headless_debugText(heap.host)).find("OLE: Potential leak of 412 bytes\n"),
              std::string::npos);
    Headless_captureDebug(heap.host, 0);
    EXPECT_EQ(Ole_releaseSector(ole->file, k + 1, &buf), Res_ok);
    EXPECT_NE(buf, nullptr) << "kept: the stream cannot come back to it";
    EXPECT_EQ(Ole_getSector(ole->file, k, &buf, &length), Res_oleSectorBehind);

    // The last sector cut short is lent once, not kept; the stream then
    // stands inside it, so it is behind the stream (it once came back as
    // a success without bytes).
    ASSERT_EQ(open(officeFixture("truncated.cfb"), false), Res_ok);
    EXPECT_EQ(streamBytes(0, u"Tail"), fixturePattern(4196, 9));
    uint32_t last = ole->file->fileSectors - 1;
    EXPECT_EQ(Ole_getSector(ole->file, last, &buf, &length), Res_oleSectorBehind);
    EXPECT_EQ(buf, nullptr);
}

TEST_F(OleTest, DirectoryOddities)
{
    // A sibling loop ends where it meets a visited entry.
    ASSERT_EQ(open(officeFixture("sibling_loop.cfb")), Res_ok);
    EXPECT_EQ(listing(), listingFile("sibling_loop.cfb"));
    // 5000 siblings in one list-shaped tree, in their order.
    ASSERT_EQ(open(officeFixture("list5000.cfb")), Res_ok);
    uint32_t n = 0;
    bool ordered = true;
    for (OleDirEntry *e = ole->entries; e; e = e->next, n++)
        ordered = ordered && e->id == n;
    EXPECT_EQ(n, 5001u);
    EXPECT_TRUE(ordered);

    // A name length above 64 bytes.
    std::string b = officeFixture("sample.cfb");
    size_t small = entryOffset(b, u"Small");
    ASSERT_NE(small, std::string::npos);
    std::string bad = b;
    bad[small + 64] = 66;
    EXPECT_EQ(open(bad), Res_oleNameTooLong);
    bad[small + 64] = 64;
    EXPECT_EQ(open(bad), Res_ok);

    // An entry of type 3 is not listed; its children are, under its id.
    std::string typed = officeFixture("types34.cfb");
    size_t store = entryOffset(typed, u"Store");
    ASSERT_NE(store, std::string::npos);
    typed[store + 66] = 3;
    ASSERT_EQ(open(typed), Res_ok);
    uint32_t storeId = uint32_t((store - 512 - 512 * get32(typed, 0x30)) / 128);
    EXPECT_EQ(Ole_entryCheck(ole, storeId), Res_oleNoEntry);
    EXPECT_EQ(streamBytes(storeId, u"In"), "in");
    uint32_t id = 0;
    EXPECT_EQ(Ole_entryFindByName(ole, 0, &id, u"Lock"), Res_oleNoSuchEntry);
    EXPECT_EQ(Ole_entryFindByName(ole, 0, &id, u"Stream"), Res_ok);
}

// One patch of sample.cfb or sect128_difat.cfb and the open's result.
struct Patch {
    const char *what;
    const char *file;
    size_t at;
    uint32_t value;
    int code;
};

TEST_F(OleTest, HostileCountsAndIdsStayInsideTheFile)
{
    std::string sample = officeFixture("sample.cfb");
    uint32_t firstDir = get32(sample, 0x30);
    const Patch patches[] = {
        {"FAT count beyond what the DIFAT chain holds", "sect128_difat.cfb", 0x2C, 109 + 2 * 31 + 1,
         Res_oleDifatLength},
        {"DIFAT count beyond the file", "sect128_difat.cfb", 0x48, 0xFFFFFFFF, Res_oleDifatLength},
        {"DIFAT count one short", "sect128_difat.cfb", 0x48, 1, Res_oleDifatLength},
        {"110 FAT sectors, no DIFAT", "sample.cfb", 0x2C, 110, Res_oleNoDifat},
        {"FAT sector past the file", "sample.cfb", 0x4C, 100000, Res_oleSectorBeyond},
        {"FAT sector id special", "sample.cfb", 0x4C, Ole_sectorEndOfChain, Res_oleSectorBeyond},
        {"first directory sector past the file", "sample.cfb", 0x30, 5000, Res_oleSectorBeyond},
        {"first directory sector free", "sample.cfb", 0x30, Ole_sectorFree, Res_oleSectorBeyond},
        {"first mini-FAT sector past the file", "sample.cfb", 0x3C, 5000, Res_oleSectorBeyond},
        {"first mini-FAT sector is the FAT mark", "sample.cfb", 0x3C, Ole_sectorFat,
         Res_oleSectorBeyond},
        {"directory chain loops", "sample.cfb", 512 + 4 * size_t(firstDir + 2), firstDir,
         Res_oleBadChain},
        {"directory chain runs into a DIFAT mark", "sample.cfb", 512 + 4 * size_t(firstDir),
         Ole_sectorDifat, Res_oleBadChain},
        // A free mark is never taken from a FAT: the link stays unknown.
        {"directory sector marked free", "sample.cfb", 512 + 4 * size_t(firstDir), Ole_sectorFree,
         Res_oleFatUnknown},
        {"FAT sector count 0", "sample.cfb", 0x2C, 0, Res_oleSectorBeyond},
    };
    for (const Patch &p : patches) {
        SCOPED_TRACE(p.what);
        std::string b = officeFixture(p.file);
        put32(b, p.at, p.value);
        EXPECT_EQ(open(b), p.code);
    }
    // An entry whose size needs more sectors than the file holds reads
    // nothing; the other streams read as before.
    std::string b = sample;
    size_t large = entryOffset(b, u"Large");
    put32(b, large + 120, 0x7FFFFFF0);
    ASSERT_EQ(open(b), Res_ok);
    OleStream *s = nullptr;
    ASSERT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Large"), Res_ok);
    uint8_t buf[8];
    size_t got = 9;
    EXPECT_EQ(Ole_streamRead(s, sizeof buf, &got, buf), Res_oleChainEnds);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(streamBytes(0, u"AtCutoff"), fixturePattern(4096, 3));
    // A stream chain that ends early.
    b = sample;
    OleDirEntry *e = nullptr;
    ASSERT_EQ(open(b), Res_ok);
    e = entry(0, u"Large");
    uint32_t start = e->start;
    put32(b, 512 + 4 * size_t(start + 2), Ole_sectorEndOfChain);
    ASSERT_EQ(open(b), Res_ok);
    EXPECT_EQ(streamBytes(0, u"Large"), "<error 3602>");
}

TEST_F(OleTest, SectorFileOpenChecksItsArguments)
{
    std::string b = officeFixture("sample.cfb");
    VfsHandle *h = memoryStream(ctx, b, nullptr);
    ASSERT_NE(h, nullptr);
    const uint8_t *difat = reinterpret_cast<const uint8_t *>(b.data()) + 0x4C;
    OleFile *f = reinterpret_cast<OleFile *>(1);
    // Sizes that no shift of the format gives.
    EXPECT_EQ(Ole_fileOpen(&f, h, 4096, 4, 2, difat, 1, 512, 2, 1, Ole_sectorEndOfChain, 0, 0),
              Res_oleZeroShift);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(Ole_fileOpen(&f, h, 4096, 512, 48, difat, 1, 512, 2, 1, Ole_sectorEndOfChain, 0, 0),
              Res_oleZeroShift);
    EXPECT_EQ(Ole_fileOpen(&f, h, 4096, 512, 1024, difat, 1, 512, 2, 1, Ole_sectorEndOfChain, 0, 0),
              Res_oleZeroShift);
    // The stream must stand right after the header.
    EXPECT_EQ(Ole_fileOpen(&f, h, 4096, 512, 64, difat, 1, 512, 2, 1, Ole_sectorEndOfChain, 0, 0),
              Res_oleNotAfterHeader);
    EXPECT_EQ(f, nullptr);
    ASSERT_EQ(Vfs_seek(h, 512), Res_ok);
    ASSERT_EQ(Ole_fileOpen(&f, h, 4096, 512, 64, difat, 1, 512, 2, 1, Ole_sectorEndOfChain, 0, 0),
              Res_ok);
    EXPECT_EQ(f->fileSectors, uint32_t((b.size() - 512) / 512));
    EXPECT_EQ(f->miniLimit, 8 * f->fileSectors);
    Ole_fileClose(&f);
    EXPECT_EQ(f, nullptr);
    Vfs_close(h);
    // A forward-only stream cannot go back for the DIFAT chain.
    EXPECT_EQ(open(officeFixture("sect128_difat.cfb"), false), Res_oleForwardNoTable);
}

TEST_F(OleTest, OutOfMemoryAtEveryStepOfAnOpen)
{
    for (const char *file : {"sample.cfb", "sect128_difat.cfb", "word.doc"}) {
        SCOPED_TRACE(file);
        std::string b = officeFixture(file);
        int n = 1;
        for (;; n++) {
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(b.size()));
            ASSERT_NE(copy, nullptr);
            memcpy(copy, b.data(), b.size());
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx, copy, b.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &h,
                                     &accepted),
                      Res_ok);
            size_t before = TestHeap_usedBytes();
            OleHandle *handle = nullptr;
            Mem_failAfter(n);
            int r = Ole_openStream(h, &handle);
            Mem_failAfter(0);
            if (r == Res_ok) {
                EXPECT_EQ(OleList_lines(handle), listingFile(file));
            } else {
                EXPECT_EQ(r, Res_noMemory);
                EXPECT_EQ(handle, nullptr);
                EXPECT_EQ(TestHeap_usedBytes(), before);
            }
            Ole_close(&handle);
            Vfs_close(h);
            if (r == Res_ok)
                break;
        }
        EXPECT_GT(n, 5);
    }
}

TEST_F(OleTest, WordRecognitionOnSuiteFiles)
{
    const struct {
        const char *file;
        int32_t score;
    } cases[] = {{"word.doc", 100}, {"calc.xls", 0}, {"impress.ppt", 0}, {"sample.cfb", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        VfsHandle *h = memoryStream(ctx, officeFixture(c.file), nullptr);
        ASSERT_NE(h, nullptr);
        int32_t score = -1;
        uint32_t type = 0;
        EXPECT_EQ(Word_recognise(ctx, nullptr, h, &score, &type), Res_ok);
        EXPECT_EQ(score, c.score);
        Vfs_close(h);
    }
}

} // namespace
