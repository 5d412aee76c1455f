// The compound-file writer: files written to a scratch folder, read back
// by the engine's reader and, for the large round trip, by python3 with
// olefile (the fixture generator's --list mode).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "tests/office/ole_support.h"

namespace {

class OleWriterTest : public OleTest {
  protected:
    OleHandle *writer = nullptr;

    void TearDown() override
    {
        Ole_closeFile(&writer);
        OleTest::TearDown();
    }

    void create(const std::string &name)
    {
        Url *u = fileUrl(name);
        ASSERT_NE(u, nullptr);
        ASSERT_EQ(OleWriter_create(ctx, u, &writer, 0), Res_ok);
        Url_free(u);
    }

    // Adds a stream under parent and writes bytes to it in one piece.
    uint32_t addStream(uint32_t parent, const char16_t *name, const std::string &bytes)
    {
        uint32_t id = 0;
        EXPECT_EQ(OleWriter_addStream(writer, parent, name, &id), Res_ok);
        OleStream *s = nullptr;
        EXPECT_EQ(Ole_streamOpen(writer, &s, id), Res_ok);
        EXPECT_EQ(OleWriter_streamWrite(s, bytes.data(), uint32_t(bytes.size())), Res_ok);
        EXPECT_EQ(Ole_streamClose(&s), Res_ok);
        return id;
    }

    // Flushes, closes the writer and opens the file with the reader.
    void finish(const std::string &name)
    {
        ASSERT_EQ(OleWriter_flush(writer), Res_ok);
        Ole_closeFile(&writer);
        ASSERT_EQ(open(readFile(name)), Res_ok);
    }
};

TEST_F(OleWriterTest, OneSmallStream)
{
    create("one.cfb");
    addStream(0, u"Data", fixturePattern(100, 1));
    finish("one.cfb");
    std::string b = readFile("one.cfb");
    // FAT sector 0, the mini stream (the root's data), the mini FAT and
    // one directory sector.
    EXPECT_EQ(b.size(), 512u + 4 * 512);
    EXPECT_EQ(get32(b, 0x2C), 1u);
    EXPECT_EQ(get32(b, 0x4C), 0u);
    EXPECT_EQ(get32(b, 0x3C), 2u);
    EXPECT_EQ(get32(b, 0x40), 1u);
    EXPECT_EQ(get32(b, 0x30), 3u);
    EXPECT_EQ(get32(b, 0x44), Ole_sectorEndOfChain);
    EXPECT_EQ(uint8_t(b[0x18]), 0x3B);
    EXPECT_EQ(uint8_t(b[0x1C]), 0xFE);
    EXPECT_EQ(uint8_t(b[0x1D]), 0xFF);
    OleDirEntry *e = entry(0, u"Data");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->start, 0u);
    EXPECT_EQ(e->size, 100u);
    EXPECT_EQ(e->regular, 0u);
    EXPECT_EQ(streamBytes(0, u"Data"), fixturePattern(100, 1));
    OleDirEntry *root = nullptr;
    ASSERT_EQ(Ole_entryFindById(ole->entries, 0, &root), Res_ok);
    EXPECT_EQ(S(root->name), "Root Entry");
    EXPECT_EQ(root->type, OleEntry_root);
    EXPECT_EQ(root->start, 1u);
    EXPECT_EQ(root->size, 128u) << "whole mini sectors";
}

TEST_F(OleWriterTest, CutoffSeekPastTheEndAndPieces)
{
    create("sizes.cfb");
    addStream(0, u"Below", fixturePattern(4095, 2));
    addStream(0, u"At", fixturePattern(4096, 3));
    addStream(0, u"Empty", "");
    // Written in pieces across the cut-off.
    uint32_t id = 0;
    ASSERT_EQ(OleWriter_addStream(writer, 0, u"Pieces", &id), Res_ok);
    OleStream *s = nullptr;
    ASSERT_EQ(Ole_streamOpen(writer, &s, id), Res_ok);
    std::string whole = fixturePattern(9000, 5);
    for (size_t at = 0; at < whole.size(); at += 700)
        ASSERT_EQ(OleWriter_streamWrite(s, whole.data() + at,
                                        uint32_t(std::min<size_t>(700, whole.size() - at))),
                  Res_ok);
    // Overwrite inside, then seek 10 past the end and write one byte.
    ASSERT_EQ(OleWriter_streamSeek(s, 100, 0), Res_ok);
    ASSERT_EQ(OleWriter_streamWrite(s, "XY", 2), Res_ok);
    whole.replace(100, 2, "XY");
    ASSERT_EQ(OleWriter_streamSeek(s, 0, 2), Res_ok);
    ASSERT_EQ(OleWriter_streamSeek(s, 10, 1), Res_ok);
    ASSERT_EQ(OleWriter_streamWrite(s, "!", 1), Res_ok);
    whole += std::string(10, '\0') + "!";
    ASSERT_EQ(Ole_streamClose(&s), Res_ok);
    // The same on a small stream.
    ASSERT_EQ(OleWriter_addStream(writer, 0, u"Gap", &id), Res_ok);
    ASSERT_EQ(Ole_streamOpen(writer, &s, id), Res_ok);
    ASSERT_EQ(OleWriter_streamWrite(s, "ab", 2), Res_ok);
    ASSERT_EQ(OleWriter_streamSeek(s, 12, 0), Res_ok);
    ASSERT_EQ(OleWriter_streamWrite(s, "c", 1), Res_ok);
    EXPECT_EQ(OleWriter_streamSeek(s, 0, 7), Res_nullInput);
    ASSERT_EQ(Ole_streamClose(&s), Res_ok);
    finish("sizes.cfb");

    EXPECT_EQ(entry(0, u"Below")->regular, 0u);
    EXPECT_EQ(entry(0, u"At")->regular, 1u);
    EXPECT_EQ(streamBytes(0, u"Below"), fixturePattern(4095, 2));
    EXPECT_EQ(streamBytes(0, u"At"), fixturePattern(4096, 3));
    EXPECT_EQ(streamBytes(0, u"Empty"), "");
    EXPECT_EQ(entry(0, u"Empty")->start, Ole_sectorEndOfChain);
    EXPECT_EQ(streamBytes(0, u"Pieces"), whole);
    EXPECT_EQ(streamBytes(0, u"Gap"), std::string("ab") + std::string(10, '\0') + "c");
}

TEST_F(OleWriterTest, StorageTreesAndNames)
{
    create("tree.cfb");
    const uint8_t clsid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint32_t store = 0;
    ASSERT_EQ(OleWriter_addStorage(writer, 0, u"Store", clsid, &store), Res_ok);
    uint32_t b = addStream(store, u"B", "b");
    uint32_t aa = addStream(store, u"AA", "aa");
    uint32_t a = addStream(store, u"a", "a");
    std::u16string n31(31, u'x'), n40(40, u'y');
    addStream(0, n31.c_str(), "31");
    addStream(0, n40.c_str(), "40");
    finish("tree.cfb");
    std::string bytes = readFile("tree.cfb");
    // "a" and "B" order by their upper-case letters, both before "AA": the
    // tree is "B" (black) with "a" left and "AA" right (both red).
    size_t dir = 512 + 512 * size_t(get32(bytes, 0x30));
    auto raw = [&](uint32_t id) { return dir + 128 * size_t(id); };
    EXPECT_EQ(get32(bytes, raw(store) + 0x4C), b);
    EXPECT_EQ(get32(bytes, raw(b) + 0x44), a);
    EXPECT_EQ(get32(bytes, raw(b) + 0x48), aa);
    EXPECT_EQ(uint8_t(bytes[raw(b) + 0x43]), 1);
    EXPECT_EQ(uint8_t(bytes[raw(a) + 0x43]), 0);
    EXPECT_EQ(uint8_t(bytes[raw(aa) + 0x43]), 0);
    EXPECT_EQ(get32(bytes, raw(a) + 0x44), Ole_sectorFree);
    EXPECT_EQ(get32(bytes, raw(a) + 0x4C), Ole_sectorFree);
    EXPECT_EQ(std::string(bytes, raw(store) + 0x50, 16),
              std::string(reinterpret_cast<const char *>(clsid), 16));
    // Names: 31 characters with name length 64; a longer one cut to 31.
    OleDirEntry *e31 = entry(0, n31.c_str());
    ASSERT_NE(e31, nullptr);
    EXPECT_EQ(uint8_t(bytes[raw(e31->id) + 0x40]), 64);
    EXPECT_EQ(streamBytes(0, n31.c_str()), "31");
    EXPECT_EQ(streamBytes(0, std::u16string(31, u'y').c_str()), "40");
    // The reader sees the storage with its class id and children.
    uint8_t read[16];
    ASSERT_EQ(Ole_entryGetClsid(ole, store, read), Res_ok);
    EXPECT_EQ(read[15], 16);
    EXPECT_EQ(streamBytes(store, u"AA"), "aa");
    EXPECT_EQ(streamBytes(store, u"a"), "a");
    // Padding entries of the last directory sector are empty.
    uint32_t entries = 0;
    for (OleDirEntry *e = ole->entries; e; e = e->next)
        entries++;
    EXPECT_EQ(entries, 7u);
    EXPECT_EQ(get32(bytes, raw(7) + 0x44), Ole_sectorFree);
    EXPECT_EQ(uint8_t(bytes[raw(7) + 0x40]), 0);
}

TEST_F(OleWriterTest, NameOrderAndByteOrderStores)
{
    const struct {
        const char16_t *a, *b;
        int order;
    } cases[] = {
        {u"a", u"B", -1},           {u"B", u"a", 1},           {u"B", u"AA", -1},
        {u"ab", u"AB", 0},          {u"", u"a", -1},           {u"\u00e9", u"\u00c9", 0},
        {u"\u0180", u"\u0181", -1}, {u"\u0101", u"\u0100", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OleWriter_nameCompare(c.a, c.b), c.order) << S(c.a) << " " << S(c.b);
    uint8_t buf[4] = {};
    ByteBuf_put16Order(buf, 0x12345678, 0);
    EXPECT_EQ(buf[0], 0x78);
    EXPECT_EQ(buf[1], 0x56);
    ByteBuf_put16Order(buf, 0x1234, 1);
    EXPECT_EQ(buf[0], 0x12);
    EXPECT_EQ(buf[1], 0x34);
    ByteBuf_put32Order(buf, 0x12345678, 1);
    EXPECT_EQ(get32(std::string(reinterpret_cast<char *>(buf), 4), 0), 0x78563412u);
    ByteBuf_put32Order(buf, 0x12345678, 0);
    EXPECT_EQ(get32(std::string(reinterpret_cast<char *>(buf), 4), 0), 0x12345678u);
}

TEST_F(OleWriterTest, StringsReadBackWithScans)
{
    create("strings.cfb");
    std::string data = std::string("abc\0", 4) + std::string("x\0y\0\0\0", 6) + "zzzz";
    addStream(0, u"Strings", data);
    finish("strings.cfb");
    OleStream *s = nullptr;
    ASSERT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Strings"), Res_ok);
    char c8[16];
    char16_t c16[16];
    uint32_t count = 99;
    EXPECT_EQ(Ole_streamReadCstr(s, c8, 16, &count), Res_ok);
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(c8, "abc");
    EXPECT_EQ(Ole_streamReadUstr(s, c16, 16, &count), Res_ok);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(S(c16), "xy");
    // No NUL within the limit, then an item cut by the end.
    EXPECT_EQ(Ole_streamReadCstr(s, c8, 3, &count), Res_oleNoMatch);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(Ole_streamReadUstr(s, c16, 16, &count), Res_oleExactShort);
    const uint8_t pattern[2] = {'y', 0};
    ASSERT_EQ(Ole_streamSeek(s, 4, 0), Res_ok);
    EXPECT_EQ(Ole_streamScanFor(s, c16, pattern, 2, 16, &count), Res_ok);
    EXPECT_EQ(count, 1u);
}

TEST_F(OleWriterTest, LargeFileReadsBackInTheEngineAndInOlefile)
{
    // About 8 MB: more than 109 FAT sectors, so DIFAT sectors too.
    create("large.cfb");
    std::string big = fixturePattern(8 * 1024 * 1024 + 123, 6);
    uint32_t store = 0;
    ASSERT_EQ(OleWriter_addStorage(writer, 0, u"Store", nullptr, &store), Res_ok);
    addStream(store, u"Big", big);
    addStream(store, u"Small", fixturePattern(300, 7));
    addStream(0, u"\x05SummaryInformation", fixturePattern(4095, 8));
    addStream(0, u"Regular", fixturePattern(5000, 9));
    finish("large.cfb");
    std::string bytes = readFile("large.cfb");
    EXPECT_GT(get32(bytes, 0x2C), 109u);
    EXPECT_EQ(get32(bytes, 0x48), 1u);
    EXPECT_NE(get32(bytes, 0x44), Ole_sectorEndOfChain);
    EXPECT_EQ(streamBytes(store, u"Big"), big);
    EXPECT_EQ(streamBytes(store, u"Small"), fixturePattern(300, 7));
    std::vector<std::string> engine = listing();
    ASSERT_EQ(engine.size(), 6u);
    // olefile's listing of the same file.
    std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                          "/office/make_office_fixtures.py --list " + path("large.cfb");
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ASSERT_EQ(pclose(p), 0) << "python3 with olefile is needed (tools/install-deps.sh)";
    std::vector<std::string> olefileLines;
    for (size_t at = 0; at < out.size();) {
        size_t end = out.find('\n', at);
        olefileLines.push_back(out.substr(at, end - at));
        at = end == std::string::npos ? out.size() : end + 1;
    }
    EXPECT_EQ(olefileLines, engine);
}

TEST_F(OleWriterTest, FlushIgnoresOtherHandlesAndCreateFailsCleanly)
{
    EXPECT_EQ(OleWriter_flush(nullptr), Res_ok);
    ASSERT_EQ(open(officeFixture("sample.cfb")), Res_ok);
    EXPECT_EQ(OleWriter_flush(ole), Res_ok);
    OleHandle bare = {};
    EXPECT_EQ(OleWriter_flush(&bare), Res_ok);
    Url *u = fileUrl("missing/dir/x.cfb");
    OleHandle *h = reinterpret_cast<OleHandle *>(1);
    EXPECT_NE(OleWriter_create(ctx, u, &h, 0), Res_ok);
    EXPECT_EQ(h, nullptr);
    Url_free(u);
}

TEST_F(OleWriterTest, OutOfMemoryAnywhereLeavesNothingBehind)
{
    std::string big = fixturePattern(70000, 3);
    int n = 1;
    for (;; n++) {
        size_t before = TestHeap_usedBytes();
        Url *u = fileUrl("oom.cfb");
        ASSERT_NE(u, nullptr);
        Mem_failAfter(n);
        OleHandle *h = nullptr;
        int r = OleWriter_create(ctx, u, &h, 0);
        uint32_t store = 0, id = 0;
        OleStream *s = nullptr;
        if (r == Res_ok)
            r = OleWriter_addStorage(h, 0, u"S", nullptr, &store);
        for (int k = 0; k < 3 && r == Res_ok; k++) {
            r = OleWriter_addStream(h, k ? store : 0, k == 2 ? u"Big" : u"Small", &id);
            if (r == Res_ok)
                r = Ole_streamOpen(h, &s, id);
            if (r == Res_ok)
                r = OleWriter_streamWrite(s, big.data(), k == 2 ? uint32_t(big.size()) : 100u + k);
        }
        if (r == Res_ok)
            r = OleWriter_flush(h);
        Mem_failAfter(0);
        Ole_closeFile(&h);
        Url_free(u);
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory) << n;
    }
    EXPECT_GT(n, 10);
    ASSERT_EQ(open(readFile("oom.cfb")), Res_ok);
    EXPECT_EQ(streamBytes(entry(0, u"S")->id, u"Big"), big);
}

TEST(OleWriterEntries, FindEntry)
{
    // The writer's entry list, newest first.
    OleDirEntry third = {};
    third.id = 7;
    OleDirEntry second = {};
    second.id = 5;
    second.next = &third;
    OleDirEntry first = {};
    first.id = 9;
    first.next = &second;
    OleHandle writer = {};
    writer.entries = &first;
    uintptr_t word = 99;
    EXPECT_EQ(OleWriter_findEntry(&writer, 5, &word), 0);
    EXPECT_EQ(word, 5u) << "the entry's first word, its id";
    EXPECT_EQ(OleWriter_findEntry(&writer, 7, &word), 0);
    EXPECT_EQ(word, 7u);
    EXPECT_EQ(OleWriter_findEntry(&writer, 6, &word), Res_oleNoSuchEntry);
    EXPECT_EQ(word, 0u);
    OleHandle empty = {};
    EXPECT_EQ(OleWriter_findEntry(&empty, 0, &word), 3586);
}

} // namespace
