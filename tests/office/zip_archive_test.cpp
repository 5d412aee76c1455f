// The archive reader over the committed zip fixtures: listings and member
// bytes exactly as unzip shows them, the end record rules (comment,
// trailing bytes, a stub in front), damaged directories, members it must
// refuse, exact name lookup, entry details, the name character set, and a
// fault-injection loop.
#include <cstring>

#include "core/config/config.h"
#include "core/time/date.h"
#include "tests/office/zip_support.h"

namespace {

uint32_t get32(const std::string &s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}

void set16(std::string &s, size_t at, uint32_t v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}

void set32(std::string &s, size_t at, uint32_t v)
{
    set16(s, at, v & 0xFFFF);
    set16(s, at + 2, v >> 16);
}

// Places in basic.zip (no comment, no stub): the end record, the first
// central header, the second member's local header and data.
struct BasicLayout {
    size_t end;
    size_t central;
    size_t secondCentral;
    size_t secondLocal;
    size_t secondData;
};

BasicLayout layoutOf(const std::string &b)
{
    BasicLayout l{};
    l.end = b.size() - 22;
    l.central = get32(b, l.end + 16);
    l.secondCentral = l.central + 46 + 10; // "stored.txt"
    l.secondLocal = get32(b, l.secondCentral + 42);
    l.secondData = l.secondLocal + 30 + 12; // "deflated.txt", no extra field
    return l;
}

class ZipArchiveTest : public ZipFixture {
  protected:
    // Opens the bytes as an archive: the result, with *archive.
    int openArchive(const std::string &bytes, ZipArchive **archive)
    {
        kept = bytes;
        stream = openBytes(kept);
        return Zip_archiveOpen(ctx, stream, archive);
    }
    void TearDown() override
    {
        (void)Vfs_close(stream);
        ZipFixture::TearDown();
    }
    VfsHandle *stream = nullptr;
    std::string kept; // the bytes under the memory stream
};

TEST_F(ZipArchiveTest, FixturesListAndReadExactlyAsUnzipShowsThem)
{
    struct Case {
        const char *file;
        const char *base;     // its expected listing
        const char *contents; // the archive whose expected contents it has
    };
    const Case cases[] = {
        {"basic.zip", "basic", "basic"},       {"comment.zip", "comment", "basic"},
        {"stub.zip", "stub", "basic"},         {"case.zip", "case", "case"},
        {"folders.zip", "folders", "folders"}, {"a.zip", "a", "a"},
        {"Docs.ZIP", "Docs", "Docs"},          {"image.zip", "image", "image"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        VfsHandle *h = openFile(c.file);
        ZipHandle *zip = nullptr;
        ASSERT_EQ(Zip_open(ctx, h, &zip), Res_ok);
        std::vector<std::string> names;
        const ZipMemberInfo *info = nullptr;
        while (Zip_next(zip, &info) == Res_ok && info)
            names.push_back(S(info->name));
        EXPECT_EQ(names, zipExpectedList(c.base));
        for (const std::string &name : names) {
            if (name.back() == '/')
                continue;
            std::string want = zipExpectedContent(c.contents, name);
            for (size_t chunk : {size_t(1), size_t(1000), size_t(65536)}) {
                ZipMember *m = nullptr;
                ASSERT_EQ(Zip_memberOpen(zip, U(name).c_str(), &m), Res_ok) << name;
                EXPECT_EQ(Zip_memberSize(m), want.size());
                int r = -1;
                EXPECT_EQ(zipReadAll(m, chunk, &r), want) << name << " in pieces of " << chunk;
                EXPECT_EQ(r, Res_ok);
                Zip_memberClose(m);
            }
        }
        // The listing starts over.
        Zip_rewind(zip);
        ASSERT_EQ(Zip_next(zip, &info), Res_ok);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(S(info->name), names.front());
        Zip_close(zip);
        (void)Vfs_close(h);
    }
}

TEST_F(ZipArchiveTest, TheEndRecordAndItsCommentMustReachTheEndOfTheFile)
{
    ZipArchive *a = nullptr;
    ASSERT_EQ(openArchive(zipFixtureBytes("comment.zip"), &a), Res_ok) << "a 100-byte comment";
    EXPECT_EQ(a->baseAdjust, 0);
    Zip_archiveClose(a);
    (void)Vfs_close(stream);

    a = reinterpret_cast<ZipArchive *>(1);
    EXPECT_EQ(openArchive(zipFixtureBytes("trailing.zip"), &a), Res_zipBad)
        << "bytes after the comment";
    EXPECT_EQ(a, nullptr);
    (void)Vfs_close(stream);

    // A comment of the greatest length, 65535 bytes, holding a false end
    // record whose own comment does not reach the end.
    std::string longest = zipFixtureBytes("basic.zip");
    size_t end = longest.size() - 22;
    set16(longest, end + 20, 65535);
    std::string comment(65535, 'c');
    std::string fake = longest.substr(end, 22);
    comment.replace(1000, fake.size(), fake);
    longest += comment;
    ASSERT_EQ(openArchive(longest, &a), Res_ok);
    EXPECT_EQ(a->endRecord, end);
    ZipMemberInfo info{};
    EXPECT_EQ(Zip_findEntry(a, &info, u"deflated.txt"), Res_ok);
    Zip_infoClear(&info);
    Zip_archiveClose(a);
}

TEST_F(ZipArchiveTest, AStubInFrontShiftsEveryOffset)
{
    ZipArchive *a = nullptr;
    ASSERT_EQ(openArchive(zipFixtureBytes("stub.zip"), &a), Res_ok);
    EXPECT_EQ(a->baseAdjust, 10);
    ZipMemberInfo info{};
    ASSERT_EQ(Zip_findEntry(a, &info, u"stored.txt"), Res_ok);
    EXPECT_EQ(info.localHeader, 10u);
    ZipMember *m = nullptr;
    ASSERT_EQ(Zip_memberOpenInfo(a, &info, &m), Res_ok);
    int r = -1;
    EXPECT_EQ(zipReadAll(m, 64, &r), zipExpectedContent("basic", "stored.txt"));
    Zip_memberClose(m);
    Zip_infoClear(&info);
    Zip_archiveClose(a);
}

TEST_F(ZipArchiveTest, DamagedArchivesAreRefused)
{
    const std::string basic = zipFixtureBytes("basic.zip");
    const BasicLayout l = layoutOf(basic);
    struct Case {
        const char *what;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", ""});
    cases.push_back({"97 bytes", basic.substr(basic.size() - 97)});
    cases.push_back({"no end record", basic.substr(0, l.end)});
    auto edited = [&](const char *what, auto edit) {
        std::string b = basic;
        edit(b);
        cases.push_back({what, b});
    };
    edited("no entries", [&](std::string &b) { set16(b, l.end + 10, 0); });
    edited("directory offset 0", [&](std::string &b) { set32(b, l.end + 16, 0); });
    edited("directory size 0", [&](std::string &b) { set32(b, l.end + 12, 0); });
    edited("directory larger than the file",
           [&](std::string &b) { set32(b, l.end + 12, 0x10000000); });
    edited("bad central signature", [&](std::string &b) { b[l.central] = 'Q'; });
    edited("walk ends before the end record", [&](std::string &b) { set16(b, l.end + 10, 1); });
    edited("walk runs past the end record", [&](std::string &b) { set16(b, l.end + 10, 3); });
    edited("a name running past the directory",
           [&](std::string &b) { set16(b, l.central + 28, 60); });
    for (const Case &c : cases) {
        ZipArchive *a = reinterpret_cast<ZipArchive *>(1);
        EXPECT_EQ(openArchive(c.bytes, &a), Res_zipBad) << c.what;
        EXPECT_EQ(a, nullptr) << c.what;
        (void)Vfs_close(stream);
        stream = nullptr;
    }
}

TEST_F(ZipArchiveTest, MembersItCannotReadAreRefusedOnOpen)
{
    struct Case {
        const char *file;
        const char *member;
    };
    // bzip2 and encrypted members are listed like unzip lists them, but
    // refused instead of handing out their raw bytes as content.
    for (const Case &c : {Case{"bzip2.zip", "deflated.txt"}, Case{"encrypted.zip", "stored.txt"}}) {
        VfsHandle *h = openFile(c.file);
        ZipHandle *zip = nullptr;
        ASSERT_EQ(Zip_open(ctx, h, &zip), Res_ok) << c.file;
        const ZipMemberInfo *info = nullptr;
        ASSERT_EQ(Zip_next(zip, &info), Res_ok);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(S(info->name),
                  zipExpectedList(std::string(c.file).substr(0, std::strlen(c.file) - 4))[0]);
        ZipMember *m = reinterpret_cast<ZipMember *>(1);
        EXPECT_EQ(Zip_memberOpen(zip, U(c.member).c_str(), &m), Res_zipBad) << c.file;
        EXPECT_EQ(m, nullptr);
        Zip_close(zip);
        (void)Vfs_close(h);
    }
}

TEST_F(ZipArchiveTest, DamagedMembersFailAsTheyAreRead)
{
    const std::string basic = zipFixtureBytes("basic.zip");
    const BasicLayout l = layoutOf(basic);
    const std::string want = zipExpectedContent("basic", "deflated.txt");
    struct Case {
        const char *what;
        std::string bytes;
        int open;         // Zip_memberOpen's result
        int read;         // the read's final result
        size_t delivered; // bytes read before it
    };
    std::vector<Case> cases;
    auto edited = [&](const char *what, int open, int read, size_t delivered, auto edit) {
        std::string b = basic;
        edit(b);
        cases.push_back({what, b, open, read, delivered});
    };
    edited("bad local signature", Res_zipBad, Res_ok, 0,
           [&](std::string &b) { b[l.secondLocal] = 'Q'; });
    edited("corrupt deflate data", Res_ok, Res_zipBad, 0,
           [&](std::string &b) { b[l.secondData] = char(0xFF); });
    edited("recorded size too large", Res_ok, Res_zipBad, want.size(),
           [&](std::string &b) { set32(b, l.secondCentral + 24, uint32_t(want.size() + 100)); });
    edited("recorded size too small", Res_ok, Res_ok, 100,
           [&](std::string &b) { set32(b, l.secondCentral + 24, 100); });
    // The deflate data run into the central directory, which is not
    // deflate data: the end of the file or corrupt data, both refused.
    std::string cut = basic.substr(0, l.secondData + 500) + basic.substr(l.central);
    set32(cut, cut.size() - 22 + 16, uint32_t(l.secondData + 500));
    cases.push_back({"deflate data cut short", cut, Res_ok, Res_zipBad, 0});
    for (Case &c : cases) {
        SCOPED_TRACE(c.what);
        stream = openBytes(c.bytes);
        ZipHandle *zip = nullptr;
        ASSERT_EQ(Zip_open(ctx, stream, &zip), Res_ok);
        ZipMember *m = nullptr;
        ASSERT_EQ(Zip_memberOpen(zip, u"deflated.txt", &m), c.open);
        if (m) {
            int r = -1;
            std::string got = zipReadAll(m, 4096, &r);
            EXPECT_EQ(r, c.read);
            if (c.delivered) {
                EXPECT_EQ(got, want.substr(0, c.delivered));
            }
            Zip_memberClose(m);
        }
        Zip_close(zip);
        (void)Vfs_close(stream);
        stream = nullptr;
    }
}

TEST_F(ZipArchiveTest, NamesDifferingOnlyInCaseAreDistinct)
{
    ZipArchive *a = nullptr;
    ASSERT_EQ(openArchive(zipFixtureBytes("case.zip"), &a), Res_ok);
    ZipMemberInfo info{};
    ASSERT_EQ(Zip_findEntry(a, &info, u"a.txt"), Res_ok);
    EXPECT_EQ(info.index, 0);
    ASSERT_EQ(Zip_findEntry(a, &info, u"A.TXT"), Res_ok);
    EXPECT_EQ(S(info.name), "A.TXT");
    EXPECT_EQ(info.index, 1);
    for (const char16_t *absent : {u"A.txt", u"a.TXT", u"", u"a.txt/"}) {
        EXPECT_EQ(Zip_findEntry(a, &info, absent), Res_zipNoEntry) << S(absent);
        EXPECT_EQ(info.name, nullptr);
    }
    Zip_archiveClose(a);
}

TEST_F(ZipArchiveTest, EntryInfoGivesSizesMethodAndDosTime)
{
    ZipArchive *a = nullptr;
    ASSERT_EQ(openArchive(zipFixtureBytes("basic.zip"), &a), Res_ok);
    // 2021-03-04 05:06:08 local time (the fixtures were made under UTC).
    BrokenTime t{};
    t.year = 121;
    t.mon = 2;
    t.mday = 4;
    t.hour = 5;
    t.min = 6;
    t.sec = 8;
    const int64_t when = Time_timegm(&t) - Time_zoneOffset();
    ZipMemberInfo info{};
    ASSERT_EQ(Zip_entryInfo(a, &info, 0), Res_ok);
    EXPECT_EQ(S(info.name), "stored.txt");
    EXPECT_EQ(info.size, 37u);
    EXPECT_EQ(info.deflated, 0);
    EXPECT_EQ(info.encrypted, 0);
    EXPECT_EQ(info.time, when);
    ASSERT_EQ(Zip_entryInfo(a, &info, 1), Res_ok);
    EXPECT_EQ(S(info.name), "deflated.txt");
    EXPECT_EQ(info.size, zipExpectedContent("basic", "deflated.txt").size());
    EXPECT_EQ(info.deflated, 1);
    EXPECT_LT(info.compressedSize, info.size);
    EXPECT_EQ(Zip_entryInfo(a, &info, 2), Res_zipBad) << "beyond the count";
    EXPECT_EQ(info.name, nullptr);
    uint8_t byte = 0;
    EXPECT_EQ(Zip_readAt(a, a->fileSize, &byte, 1), Res_zipBad);
    EXPECT_EQ(Zip_readAt(a, a->fileSize - 1, &byte, 1), Res_ok);
    Zip_archiveClose(a);
}

TEST_F(ZipArchiveTest, NamesAreDecodedInTheConfiguredCharacterSet)
{
    ctx->config = Config_createStore(ctx, u"x");
    ASSERT_NE(ctx->config, nullptr);
    const std::string basic = zipFixtureBytes("basic.zip");
    const BasicLayout l = layoutOf(basic);
    struct Case {
        const char *setting; // "DefaultCharacterSet", null for none
        uint8_t hostByte;
        std::string nameStart; // replaces "st" of "stored.txt"
        std::u16string decoded;
    };
    const Case cases[] = {
        {nullptr, 3, "\x80\x81", u"\u00C7\u00FCored.txt"},       // windows-437
        {nullptr, 11, "\x80\x8A", u"\u20AC\u0160ored.txt"},      // NTFS: windows-1252
        {"no such set", 3, "\x80\x81", u"\u00C7\u00FCored.txt"}, // unknown: the default
        {"utf-8", 3, "\xC3\xA9", u"\u00E9ored.txt"},             // any host byte
        {"utf-8", 11, "\xC3\xA9", u"\u00E9ored.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(S(c.decoded.c_str()));
        if (c.setting)
            Config_setUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet", U(c.setting).c_str(),
                            0);
        else
            Config_setUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet", nullptr, 0);
        std::string b = basic;
        b[l.central + 5] = char(c.hostByte);
        b.replace(l.central + 46, 2, c.nameStart);
        ZipArchive *a = nullptr;
        ASSERT_EQ(openArchive(b, &a), Res_ok);
        ZipMemberInfo info{};
        ASSERT_EQ(Zip_entryInfo(a, &info, 0), Res_ok);
        EXPECT_EQ(std::u16string(info.name), c.decoded);
        ASSERT_EQ(Zip_findEntry(a, &info, c.decoded.c_str()), Res_ok)
            << "the index holds decoded names";
        Zip_infoClear(&info);
        Zip_archiveClose(a);
        (void)Vfs_close(stream);
        stream = nullptr;
    }
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
}

TEST_F(ZipArchiveTest, RewindReadsTheMemberAgain)
{
    ZipArchive *a = nullptr;
    ASSERT_EQ(openArchive(zipFixtureBytes("basic.zip"), &a), Res_ok);
    const std::string want = zipExpectedContent("basic", "deflated.txt");
    ZipMemberInfo info{};
    ASSERT_EQ(Zip_findEntry(a, &info, u"deflated.txt"), Res_ok);
    ZipMember *m = nullptr;
    ASSERT_EQ(Zip_memberOpenInfo(a, &info, &m), Res_ok);
    char part[5000];
    size_t got = 0;
    ASSERT_EQ(Zip_memberRead(m, part, sizeof part, &got), Res_ok);
    EXPECT_EQ(std::string(part, got), want.substr(0, sizeof part));
    EXPECT_EQ(Zip_memberRead(m, part, 0, &got), Res_ok);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(Zip_memberRewind(m), Res_ok);
    int r = -1;
    EXPECT_EQ(zipReadAll(m, 3000, &r), want);
    EXPECT_EQ(r, Res_ok);
    Zip_memberClose(m);
    Zip_infoClear(&info);
    Zip_archiveClose(a);
}

TEST_F(ZipArchiveTest, RunningOutOfMemoryAnywhereFailsCleanly)
{
    const std::string basic = zipFixtureBytes("basic.zip");
    const std::string want = zipExpectedContent("basic", "deflated.txt");
    stream = openBytes(basic);
    size_t before = TestHeap_usedBytes();
    bool done = false;
    for (uint64_t n = 1; n < 200 && !done; n++) {
        ASSERT_EQ(Vfs_seek(stream, 0), Res_ok);
        Mem_failAfter(n);
        ZipHandle *zip = nullptr;
        ZipMember *m = nullptr;
        int r = Zip_open(ctx, stream, &zip);
        if (r == Res_ok)
            r = Zip_memberOpen(zip, u"deflated.txt", &m);
        std::string got;
        if (r == Res_ok)
            got = zipReadAll(m, 8192, &r);
        Mem_failAfter(0);
        if (r == Res_ok) {
            EXPECT_EQ(got, want);
            done = true;
        } else {
            EXPECT_EQ(r, Res_noMemory) << "allocation " << n;
        }
        Zip_memberClose(m);
        Zip_close(zip);
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
    }
    EXPECT_TRUE(done);
}

} // namespace
