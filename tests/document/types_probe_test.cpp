// The compound-file probe over headers built byte by byte, and the PDF,
// text and Word sniffers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "document/import/textsniff.h"
#include "pdf/pdf.h"
#include "tests/document/types_support.h"
#include "tests/platform/file_fixture.h"
#include "word/reader/word.h"

namespace {

std::string fixture(const char *name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/types/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void put16(std::string &b, size_t at, uint32_t v, bool big = false)
{
    b[at] = char(big ? v >> 8 : v);
    b[at + 1] = char(big ? v : v >> 8);
}

void put32(std::string &b, size_t at, uint32_t v, bool big = false)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = char(big ? v >> (24 - 8 * i) : v >> (8 * i));
}

// A valid header of a compound file of one FAT sector (sector 0) and one
// directory sector (sector 1) holding only the root entry, in either byte
// order, followed by its two sectors.
std::string compoundFile(bool big)
{
    std::string b(512 + 2 * 512, '\0');
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    memcpy(&b[0], sig, 8);
    put16(b, 24, 0x3E, big);
    put16(b, 26, 3, big);
    b[28] = char(big ? 0xFF : 0xFE);
    b[29] = char(big ? 0xFE : 0xFF);
    put16(b, 30, 9, big);
    put16(b, 32, 6, big);
    put32(b, 44, 1, big);
    put32(b, 48, 1, big);
    put32(b, 56, 4096, big);
    put32(b, 60, 0xFFFFFFFE, big);
    put32(b, 68, 0xFFFFFFFE, big);
    put32(b, 72, 0, big);
    put32(b, 76, 0, big);
    for (int i = 1; i < 109; i++)
        put32(b, 76 + 4 * i, 0xFFFFFFFF, big);
    // FAT: sector 0 is the FAT, sector 1 the directory's only sector.
    put32(b, 512, 0xFFFFFFFD, big);
    put32(b, 516, 0xFFFFFFFE, big);
    for (int i = 2; i < 128; i++)
        put32(b, 512 + 4 * i, 0xFFFFFFFF, big);
    // The root entry.
    size_t e = 1024;
    const char16_t *name = u"Root Entry";
    for (int i = 0; name[i]; i++)
        put16(b, e + 2 * i, name[i], big);
    put16(b, e + 64, 22, big);
    b[e + 66] = 5;
    put32(b, e + 68, 0xFFFFFFFF, big);
    put32(b, e + 72, 0xFFFFFFFF, big);
    put32(b, e + 76, 0xFFFFFFFF, big);
    put32(b, e + 116, 0xFFFFFFFE, big);
    return b;
}

class ProbeTest : public FileFixture {
  protected:
    int open(const std::string &bytes, int skip = 0, OleHandle **keep = nullptr)
    {
        VfsHandle *h = memoryStream(ctx, bytes, nullptr);
        EXPECT_NE(h, nullptr);
        if (skip) {
            const uint8_t *p = nullptr;
            size_t n = 0;
            EXPECT_EQ(Vfs_getReadBuf(h, skip, &p, &n), Res_ok);
            EXPECT_EQ(Vfs_readDone(h, skip), 0);
        }
        OleHandle *ole = nullptr;
        int r = Ole_openStream(h, &ole);
        if (r != Res_ok) {
            EXPECT_EQ(ole, nullptr);
        }
        if (keep && r == Res_ok) {
            *keep = ole;
            return r;
        }
        Ole_close(&ole);
        EXPECT_EQ(Vfs_close(h), 0);
        return r;
    }
};

// One header change and the code the probe gives for it.
struct HeaderCase {
    const char *what;
    size_t at;
    std::vector<uint8_t> bytes;
    int code;
};

TEST_F(ProbeTest, HeaderChecksInTheirOrder)
{
    const HeaderCase cases[] = {
        {"valid little-endian file", 0, {}, Res_ok},
        {"signature", 7, {0xE0}, Res_oleNotCompound},
        {"byte-order mark", 28, {0xFE, 0xFE}, Res_oleBadByteOrder},
        {"signature before byte order", 0, {0x00}, Res_oleNotCompound},
        {"minor version 0x3F", 24, {0x3F, 0x00}, Res_oleBadVersion},
        {"minor version 0x21", 24, {0x21, 0x00}, Res_ok},
        {"minor version 0x3B", 24, {0x3B, 0x00}, Res_ok},
        {"major version 4", 26, {0x04, 0x00}, Res_oleBadVersion},
        {"byte order before version", 26, {0x04, 0x00, 0x00, 0x00}, Res_oleBadByteOrder},
        {"sector shift 0", 30, {0x00, 0x00}, Res_oleZeroShift},
        {"mini-sector shift 0", 32, {0x00, 0x00}, Res_oleZeroShift},
        {"mini-sector shift above sector shift", 32, {0x0A, 0x00}, Res_oleMiniShift},
        // The format's limits: sectors of 128 to 65536 bytes, mini sectors
        // smaller than sectors; hostile shifts never reach a size.
        {"mini-sector shift equal to sector shift", 32, {0x09, 0x00}, Res_oleMiniShift},
        {"sector shift 6 (64-byte sectors)", 30, {0x06, 0x00, 0x05, 0x00}, Res_oleZeroShift},
        {"sector shift 17", 30, {0x11, 0x00}, Res_oleZeroShift},
        {"sector shift 32", 30, {0x20, 0x00}, Res_oleZeroShift},
        {"sector shift 65535", 30, {0xFF, 0xFF}, Res_oleZeroShift},
        {"sector shift 65535, mini shift 65535", 30, {0xFF, 0xFF, 0xFF, 0xFF}, Res_oleZeroShift},
        {"mini-sector shift 31 under sector shift 9", 32, {0x1F, 0x00}, Res_oleMiniShift},
        {"mini-sector shift 65535", 32, {0xFF, 0xFF}, Res_oleMiniShift},
        {"sector shift checked before the mini shift",
         30,
         {0x11, 0x00, 0x20, 0x00},
         Res_oleZeroShift},
        {"version before shifts",
         24,
         {0x3F, 0x00, 0x03, 0x00, 0xFE, 0xFF, 0x00, 0x00},
         Res_oleBadVersion},
    };
    for (const HeaderCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string b = compoundFile(false);
        for (size_t i = 0; i < c.bytes.size(); i++)
            b[c.at + i] = char(c.bytes[i]);
        EXPECT_EQ(open(b), c.code);
    }
}

TEST_F(ProbeTest, ShortHeaderAndStreamNotAtStart)
{
    std::string b = compoundFile(false);
    EXPECT_EQ(open(b.substr(0, 511)), Res_oleShortHeader);
    EXPECT_EQ(open(""), Res_oleShortHeader);
    EXPECT_EQ(open(b, 1), Res_oleNotAtStart);
}

TEST_F(ProbeTest, BigEndianHeaderIsReadSwapped)
{
    OleHandle *ole = nullptr;
    std::string b = compoundFile(true);
    ASSERT_EQ(open(b, 0, &ole), Res_ok);
    EXPECT_EQ(ole->byteSwapped, 1u);
    EXPECT_EQ(ole->minorVersion, 0x3E);
    EXPECT_EQ(ole->majorVersion, 3);
    VfsHandle *h = ole->stream;
    Ole_close(&ole);
    EXPECT_EQ(ole, nullptr);
    EXPECT_EQ(Vfs_close(h), 0);
    // The same values read little-endian are refused.
    b[28] = char(0xFE);
    b[29] = char(0xFF);
    EXPECT_EQ(open(b), Res_oleBadVersion);
}

TEST_F(ProbeTest, ReadAtReadsExactlyOrReportsShort)
{
    OleHandle *ole = nullptr;
    std::string b = compoundFile(false);
    ASSERT_EQ(open(b, 0, &ole), Res_ok);
    uint8_t buf[8];
    EXPECT_EQ(Ole_readAt(ole, buf, 512, 4), Res_ok);
    EXPECT_EQ(buf[0], 0xFD);
    EXPECT_EQ(Ole_readAt(ole, buf, b.size() - 2, 4), Res_oleShortRead);
    VfsHandle *h = ole->stream;
    Ole_close(&ole);
    EXPECT_EQ(Vfs_close(h), 0);
    uint8_t byte = 0;
    Ole_storeByte(&byte, 0x1234);
    EXPECT_EQ(byte, 0x34);
}

TEST_F(ProbeTest, OutOfMemoryFailsCleanly)
{
    std::string b = compoundFile(false);
    for (int n = 1; n < 40; n++) {
        VfsHandle *h = memoryStream(ctx, b, nullptr);
        ASSERT_NE(h, nullptr);
        size_t before = TestHeap_usedBytes();
        OleHandle *ole = nullptr;
        Mem_failAfter(n);
        int r = Ole_openStream(h, &ole);
        Mem_failAfter(0);
        Ole_close(&ole);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        EXPECT_EQ(Vfs_close(h), 0);
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory);
    }
}

TEST(PdfSniffTest, HeaderAnywhereInTheBytes)
{
    struct {
        const char *bytes;
        int found;
    } cases[] = {
        {"%PDF-1.4\n", 1},
        {"%PDF-1.", 0},
        {"%PDF-", 0},
        {"%PDF-x.4", 0},
        {"junk junk %PDF-2.0", 1},
        {"%!PS-Adobe-3.0 PDF-1.2", 1},
        {"%!PS-Adobe-3.0 PDF-1.", 0},
        {"%!PS-Adobe-3.x PDF-1.2", 0},
        {"", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(
            Pdf_sniffHeader(nullptr, reinterpret_cast<const uint8_t *>(c.bytes), strlen(c.bytes)),
            c.found);
    }
    std::string late = std::string(500, ' ') + "%PDF-1.3";
    EXPECT_EQ(Pdf_sniffHeader(nullptr, reinterpret_cast<const uint8_t *>(late.data()), late.size()),
              1);
}

class SniffTest : public FileFixture {
  protected:
    int text(const std::string &b)
    {
        return TextDoc_sniffText(ctx, reinterpret_cast<const uint8_t *>(b.data()), b.size());
    }
};

TEST_F(SniffTest, TextTest)
{
    EXPECT_EQ(text(""), 1);
    EXPECT_EQ(text("\xFE\xFF\x00\x01\x02"), 1);
    EXPECT_EQ(text("\xFF\xFE\x00\x00"), 1);
    EXPECT_EQ(text("\xEF\xBB\xBF\x01\x02"), 1);
    EXPECT_EQ(text("Plain words, tabs\tand lines\r\n"), 1);
    EXPECT_EQ(text("Caf\xE9 cr\xE8me"), 1);
    EXPECT_EQ(text("\x1B$B8"), 1);
    // A PDF header is never text, whatever else the bytes are.
    EXPECT_EQ(text("%PDF-1.4 plain words"), 0);
    EXPECT_EQ(text("\xEF\xBB\xBF%PDF-1.4"), 0);
    EXPECT_EQ(text(fixture("image.png")), 0);
}

TEST_F(SniffTest, DetectCharsetConvertsOrGivesNothing)
{
    char16_t *out = nullptr;
    size_t units = 0;
    std::string s = "Caf\xC3\xA9";
    ASSERT_EQ(TextDoc_detectCharset(ctx, reinterpret_cast<const uint8_t *>(s.data()), s.size(),
                                    &out, &units),
              Res_ok);
    ASSERT_NE(out, nullptr);
    EXPECT_GT(units, 0u);
    Mem_free(out);
    Mem_failAfter(1);
    EXPECT_EQ(TextDoc_detectCharset(ctx, reinterpret_cast<const uint8_t *>(s.data()), s.size(),
                                    &out, &units),
              Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(units, 0u);
}

TEST_F(SniffTest, PdfHandlerRatesMimeAndContent)
{
    int32_t score = -1;
    EXPECT_EQ(Pdf_matchMime(ctx, nullptr, u"Application/PDF", &score), Res_ok);
    EXPECT_EQ(score, 100);
    EXPECT_EQ(Pdf_matchMime(ctx, nullptr, u"application/pdfx", &score), Res_ok);
    EXPECT_EQ(score, 0);
    VfsHandle *h = memoryStream(ctx, fixture("late_header.bin"), nullptr);
    uint32_t type = 0;
    EXPECT_EQ(Pdf_sniff(ctx, nullptr, h, &score, &type), Res_ok);
    EXPECT_EQ(score, 50);
    EXPECT_EQ(type, 22u);
    EXPECT_EQ(positionOf(h), 0u);
    EXPECT_EQ(Vfs_close(h), 0);
    h = memoryStream(ctx, std::string(1024, 'x') + "%PDF-1.4", nullptr);
    EXPECT_EQ(Pdf_sniff(ctx, nullptr, h, &score, &type), Res_ok);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(Vfs_close(h), 0);
}

TEST_F(SniffTest, WordRecognitionReadsTheFib)
{
    int32_t score = -1;
    uint32_t type = 0;
    EXPECT_EQ(Word_matchMime(ctx, nullptr, u"APPLICATION/MSWORD", &score), Res_ok);
    EXPECT_EQ(score, 100);

    VfsHandle *h = memoryStream(ctx, fixture("word97.doc"), nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Word_recognise(ctx, nullptr, h, &score, &type), Res_ok);
    EXPECT_EQ(score, 100);
    EXPECT_EQ(type, 6u);
    // The stream is back at its start for the handlers after it.
    EXPECT_EQ(positionOf(h), 0u);

    WordReader *r = nullptr;
    ASSERT_EQ(Word_readerNew(&r), Res_ok);
    ASSERT_EQ(Ole_openStream(h, &r->ole), Res_ok);
    ASSERT_EQ(Word_openStreams(r), Res_ok);
    EXPECT_EQ(r->fib.wIdent, 0xA5EC);
    EXPECT_EQ(r->fib.nFib, 193);
    EXPECT_EQ(r->fib.cfclcb, 93);
    EXPECT_NE(r->tableStream, nullptr);
    EXPECT_NE(r->tableStream, r->docStream);
    EXPECT_EQ(r->dataStream, nullptr);
    EXPECT_EQ(r->subdocStart[1], 100u);
    for (int k = 2; k <= 8; k++)
        EXPECT_EQ(r->subdocStart[k], 120u);
    Word_readerFree(r);
    EXPECT_EQ(Vfs_close(h), 0);

    const struct {
        const char *what;
        std::string bytes;
    } others[] = {
        {"not Word", fixture("notword.doc")},
        {"not a compound file", fixture("doc.pdf")},
        {"header only", compoundFile(false)},
    };
    for (const auto &o : others) {
        SCOPED_TRACE(o.what);
        h = memoryStream(ctx, o.bytes, nullptr);
        score = -1;
        EXPECT_EQ(Word_recognise(ctx, nullptr, h, &score, &type), Res_ok);
        EXPECT_EQ(score, 0);
        EXPECT_EQ(positionOf(h), 0u);
        EXPECT_EQ(Vfs_close(h), 0);
    }
}

TEST_F(SniffTest, WordRecognitionOutOfMemory)
{
    std::string b = fixture("word97.doc");
    for (int n = 1; n < 60; n++) {
        VfsHandle *h = memoryStream(ctx, b, nullptr);
        size_t before = TestHeap_usedBytes();
        int32_t score = -1;
        uint32_t type = 0;
        Mem_failAfter(n);
        int r = Word_recognise(ctx, nullptr, h, &score, &type);
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), before);
        EXPECT_EQ(Vfs_close(h), 0);
        if (r == Res_ok && score == 100)
            break;
        EXPECT_TRUE(r == Res_noMemory || (r == Res_ok && score == 0)) << r;
    }
}

} // namespace
