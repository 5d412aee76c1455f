// Plain BIFF2, BIFF3 and BIFF4 record streams: told apart by their first
// record, recognised by the sniffer as workbooks, and refused by the open
// with a code (and a message) naming their version, where other files
// that are not compound files stay unrecognised.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/mem/mem.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excelopen.h"
#include "tests/document/edr_fixture.h"
#include "tests/spreadsheet/biff_support.h"

namespace earlybiff {

std::string earlyFixture(const char *name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(EarlyBiff, TheFirstRecordTellsTheVersion)
{
    using biff::rec;
    using biff::u16;
    const struct {
        const char *name;
        std::string head;
        uint32_t version;
    } cases[] = {
        {"BIFF2 worksheet", rec(0x0009, u16(2) + u16(0x0010)), 2},
        {"BIFF3 chart", rec(0x0209, u16(0) + u16(0x0020) + u16(0)), 3},
        {"BIFF4 macro sheet", rec(0x0409, u16(0) + u16(0x0040) + u16(0)), 4},
        {"BIFF4 workbook", rec(0x0409, u16(0) + u16(0x0100) + u16(0)), 4},
        {"BIFF3 of the workbook type", rec(0x0209, u16(0) + u16(0x0100) + u16(0)), 0},
        {"an unknown sheet type", rec(0x0409, u16(0) + u16(0x0005) + u16(0)), 0},
        {"a BIFF8 BOF", biff::bof(0x0600, 0x0010), 0},
        {"a BOF body too short", rec(0x0409, u16(0)) + std::string(4, '\x10'), 0},
        {"a BOF body too long", rec(0x0209, u16(0) + u16(0x0010) + std::string(16, '\0')), 0},
        {"cut short", rec(0x0409, u16(0) + u16(0x0010) + u16(0)).substr(0, 7), 0},
        {"text", "\tcolumn\ttext", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(
            Excel_earlyBiffVersion(reinterpret_cast<const uint8_t *>(c.head.data()), c.head.size()),
            c.version)
            << c.name;
    EXPECT_EQ(Excel_earlyBiffVersion(nullptr, 8), 0u);
}

TEST(EarlyBiff, MessagesNameTheFormat)
{
    EXPECT_NE(strstr(Excel_openErrorText(Excel_errBiff2File), "BIFF2"), nullptr);
    EXPECT_NE(strstr(Excel_openErrorText(Excel_errBiff3File), "BIFF3"), nullptr);
    EXPECT_NE(strstr(Excel_openErrorText(Excel_errBiff4File), "BIFF4"), nullptr);
    EXPECT_NE(strstr(Excel_openErrorText(Excel_errEncrypted), "encrypted"), nullptr);
    EXPECT_NE(Excel_openErrorText(Excel_errVersion), nullptr);
    EXPECT_EQ(Excel_openErrorText(Excel_errMalformed), nullptr);
    EXPECT_EQ(Excel_openErrorText(0), nullptr);
}

class EarlyBiffOpen : public EdrFixture {
  protected:
    // Sniffs and opens the bytes as a workbook: the sniffer's score and
    // the open's result.
    void sniffAndOpen(const std::string &file, int32_t *score, int *opened)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
            ASSERT_NE(copy, nullptr);
            memcpy(copy, file.data(), file.size());
            VfsHandle *stream = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &stream, &accepted),
                      0);
            uint32_t type = 0;
            ASSERT_EQ(Excel_sniff(ctx(), nullptr, stream, score, &type), 0);
            if (*score) {
                EXPECT_EQ(type, uint32_t(Excel_mimeTypeId));
            }
            // The sniffer leaves the stream at its start.
            const uint8_t *p = nullptr;
            size_t len = 0;
            ASSERT_EQ(Vfs_getReadBuf(stream, 2, &p, &len), 0);
            ASSERT_GE(len, 2u);
            EXPECT_EQ(memcmp(p, file.data(), 2), 0);
            (void)Vfs_readDone(stream, 0);
            *opened = Excel_open(ctx(), nullptr, nullptr, stream, doc, root);
        });
    }
};

TEST_F(EarlyBiffOpen, EarlyStreamsAreRecognisedAndRefusedByVersion)
{
    const struct {
        const char *file;
        int code;
    } cases[] = {
        {"biff2_sheet.xls", Excel_errBiff2File},
        {"biff3_sheet.xls", Excel_errBiff3File},
        {"biff4_book.xls", Excel_errBiff4File},
    };
    for (const auto &c : cases) {
        std::string file = earlyFixture(c.file);
        ASSERT_FALSE(file.empty()) << c.file;
        int32_t score = -1;
        int opened = 0;
        sniffAndOpen(file, &score, &opened);
        EXPECT_EQ(score, 100) << c.file;
        EXPECT_EQ(opened, c.code) << c.file;
    }
}

TEST_F(EarlyBiffOpen, OtherPlainStreamsStayUnrecognised)
{
    // A BIFF8 record stream outside a compound file, and a text.
    for (const std::string &file :
         {biff::bof(0x0600, 0x0005) + biff::eof(), std::string("\t\x02 not a worksheet at all")}) {
        int32_t score = -1;
        int opened = 0;
        sniffAndOpen(file, &score, &opened);
        EXPECT_EQ(score, 0);
        EXPECT_NE(opened, 0);
        EXPECT_NE(opened, Excel_errBiff2File);
        EXPECT_NE(opened, Excel_errBiff3File);
        EXPECT_NE(opened, Excel_errBiff4File);
    }
}

} // namespace earlybiff
