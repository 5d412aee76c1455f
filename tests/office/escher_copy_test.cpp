// OfficeArt records in compound-file streams: the inline picture of a Word
// document (an SpContainer followed by its FBSE and blip), and the copy of
// records from one compound file to another for the Word writer: blips of the delay stream move to
// the end of the target's data stream with their FBSE offsets patched, FOPT properties 0, 267, 319
// and 826 are blanked and moved first, property 128 loses its low 16 bits,
// an FSP loses its OLE flag, the one-byte label after each drawing
// container is kept, and a record longer than its range ends the copy.
#include <gtest/gtest.h>

#include <string>

#include "core/result.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "tests/office/ole_support.h"

namespace {

std::string u32(uint32_t v)
{
    std::string s(4, '\0');
    for (int k = 0; k < 4; k++)
        s[size_t(k)] = char(v >> (8 * k));
    return s;
}

std::string rec(uint32_t type, const std::string &data, uint32_t inst = 0, uint32_t ver = 0)
{
    uint32_t first = (inst << 4) | ver;
    std::string h = {char(first), char(first >> 8), char(type), char(type >> 8)};
    return h + u32(uint32_t(data.size())) + data;
}

std::string prop(uint16_t word, uint32_t value)
{
    return std::string{char(word), char(word >> 8)} + u32(value);
}

std::string fbse(uint32_t size, uint32_t offset)
{
    std::string b(36, '\0');
    b[0] = 6;
    b.replace(20, 4, u32(size));
    b.replace(28, 4, u32(offset));
    return rec(EscherRec_fbse, b, 6, 2);
}

class EscherCopyTest : public OleTest {
  protected:
    OleHandle *writer = nullptr;

    void TearDown() override
    {
        Ole_closeFile(&writer);
        OleTest::TearDown();
    }

    OleStream *addStream(const char16_t *name, const std::string &bytes)
    {
        uint32_t id = 0;
        EXPECT_EQ(OleWriter_addStream(writer, 0, name, &id), Res_ok);
        OleStream *s = nullptr;
        EXPECT_EQ(Ole_streamOpen(writer, &s, id), Res_ok);
        if (!bytes.empty()) {
            EXPECT_EQ(OleWriter_streamWrite(s, bytes.data(), uint32_t(bytes.size())), Res_ok);
        }
        return s;
    }

    void create(const std::string &name)
    {
        Url *u = fileUrl(name);
        ASSERT_NE(u, nullptr);
        ASSERT_EQ(OleWriter_create(ctx, u, &writer, 0), Res_ok);
        Url_free(u);
    }

    // Writes table and data as a source file, copies length bytes of table
    // from offset into a new file whose data stream starts with "PRE", and
    // returns the copy's table and data streams.
    int copy(const std::string &table, const std::string &data, uint32_t offset, uint32_t length,
             std::string *outTable, std::string *outData)
    {
        create("src.cfb");
        OleStream *a = addStream(u"Table", table);
        OleStream *b = addStream(u"Data", data);
        (void)Ole_streamClose(&a);
        (void)Ole_streamClose(&b);
        EXPECT_EQ(OleWriter_flush(writer), Res_ok);
        Ole_closeFile(&writer);
        EXPECT_EQ(open(readFile("src.cfb")), Res_ok);
        OleStream *srcTable = nullptr, *srcData = nullptr;
        EXPECT_EQ(Ole_streamOpenByName(ole, &srcTable, 0, u"Table"), Res_ok);
        EXPECT_EQ(Ole_streamOpenByName(ole, &srcData, 0, u"Data"), Res_ok);
        create("dst.cfb");
        OleStream *dstTable = addStream(u"Table", "");
        OleStream *dstData = addStream(u"Data", "PRE");
        int err = Escher_copyDrawingData(ctx, srcData, srcTable, dstData, dstTable, offset, length);
        (void)Ole_streamClose(&dstTable);
        (void)Ole_streamClose(&dstData);
        (void)Ole_streamClose(&srcTable);
        (void)Ole_streamClose(&srcData);
        EXPECT_EQ(OleWriter_flush(writer), Res_ok);
        Ole_closeFile(&writer);
        EXPECT_EQ(open(readFile("dst.cfb")), Res_ok);
        *outTable = streamBytes(0, u"Table");
        *outData = streamBytes(0, u"Data");
        return err;
    }
};

TEST_F(EscherCopyTest, CopiesDrawingRecordsForTheWriter)
{
    std::string blip = rec(0xF01E, std::string(17, 'u') + "\x89PNG", 0x6E0);
    std::string data = "0123456789" + blip;
    std::string dgg = rec(EscherRec_dggContainer,
                          rec(EscherRec_bstoreContainer,
                              fbse(uint32_t(blip.size()), 10) + fbse(0, 0xFFFFFFFF), 2, 0xF),
                          0, 0xF);
    std::string opt = prop(4, 7) + prop(128, 0x12345678) + prop(267, 9) + prop(0x8000 | 896, 2) +
                      prop(826, 1) + std::string("A\0", 2);
    std::string shape = rec(
        EscherRec_spContainer,
        rec(EscherRec_fsp, u32(1025) + u32(0xA10), 1, 2) + rec(EscherRec_fopt, opt, 5, 3), 0, 0xF);
    std::string dg =
        rec(EscherRec_dgContainer, rec(EscherRec_fdg, u32(1) + u32(1025), 1) + shape, 0, 0xF);
    std::string table = "head" + dgg + "\x08" + dg + "\x09";
    std::string outTable, outData;
    // The range ends after the DgContainer: its label is not copied.
    ASSERT_EQ(copy(table, data, 4, uint32_t(dgg.size() + 1 + dg.size()), &outTable, &outData),
              Res_ok);

    std::string wantOpt = prop(0, 0) + prop(0, 0) + prop(4, 7) + prop(128, 0x12340000) +
                          prop(0x8000 | 896, 2) + std::string("A\0", 2);
    std::string wantShape =
        rec(EscherRec_spContainer,
            rec(EscherRec_fsp, u32(1025) + u32(0xA00), 1, 2) + rec(EscherRec_fopt, wantOpt, 5, 3),
            0, 0xF);
    std::string wantDgg = rec(EscherRec_dggContainer,
                              rec(EscherRec_bstoreContainer,
                                  fbse(uint32_t(blip.size()), 3) + fbse(0, 0xFFFFFFFF), 2, 0xF),
                              0, 0xF);
    std::string wantDg =
        rec(EscherRec_dgContainer, rec(EscherRec_fdg, u32(1) + u32(1025), 1) + wantShape, 0, 0xF);
    EXPECT_EQ(outTable, wantDgg + "\x08" + wantDg);
    EXPECT_EQ(outData, "PRE" + blip);
}

TEST_F(EscherCopyTest, RecordLongerThanItsRangeEndsTheCopy)
{
    // A container whose length, added in 32 bits, would wrap.
    std::string table =
        rec(EscherRec_dgContainer,
            rec(EscherRec_spContainer, "") + std::string("\x0F\x00\x04\xF0", 4) + u32(0xFFFFFFF8u),
            0, 0xF);
    std::string outTable, outData;
    EXPECT_EQ(copy(table, "", 0, uint32_t(table.size()), &outTable, &outData), Res_oleSeekBeyond);
}

TEST_F(EscherCopyTest, DeepNestingEndsWithTheStackGuard)
{
    // SpContainers nested far deeper than the stack allows.
    const uint32_t depth = 400000;
    std::string table;
    table.reserve(size_t(depth) * 8);
    for (uint32_t i = 0; i < depth; i++)
        table += std::string("\x0F\x00\x04\xF0", 4) + u32(8 * (depth - i - 1));
    std::string outTable, outData;
    EXPECT_EQ(copy(table, "", 0, uint32_t(table.size()), &outTable, &outData), Res_stackExhausted);
}

TEST_F(EscherCopyTest, InlinePicture)
{
    std::string blip = rec(0xF01E, std::string(16, 'u') + "t" + "\x89PNGpicture", 0x6E0);
    std::string b(36, '\0');
    b[0] = 6;
    b.replace(20, 4, u32(uint32_t(blip.size())));
    std::string fbseRec = rec(EscherRec_fbse, b + blip, 6, 2);
    std::string opt = prop(0x4000 | 260, 1) + prop(459, 0);
    std::string sp = rec(
        EscherRec_spContainer,
        rec(EscherRec_fsp, u32(1025) + u32(0xA00), 75, 2) + rec(EscherRec_fopt, opt, 2, 3), 0, 0xF);
    create("pic.cfb");
    OleStream *a = addStream(u"Data", "lead" + sp + fbseRec);
    (void)Ole_streamClose(&a);
    ASSERT_EQ(OleWriter_flush(writer), Res_ok);
    Ole_closeFile(&writer);
    ASSERT_EQ(open(readFile("pic.cfb")), Res_ok);
    OleStream *s = nullptr;
    ASSERT_EQ(Ole_streamOpenByName(ole, &s, 0, u"Data"), Res_ok);
    ASSERT_EQ(Ole_streamSeek(s, 4, 0), Res_ok);
    EscherDrawing *d = nullptr;
    ASSERT_EQ(Escher_openInlinePicture(ctx, s, &d, nullptr, nullptr, nullptr), Res_ok);
    ASSERT_NE(d, nullptr);
    EscherDrawingGroup *g = d->current;
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->count, 1u);
    EXPECT_EQ(g->shapes[0].shapeId, 1025u);
    EXPECT_EQ(g->shapes[0].shapeType, 75u);
    EXPECT_EQ(g->shapes[0].level, 1);
    const EscherProp *pic = Escher_propFind(260, g->shapes[0].props);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->value, 1u);
    EXPECT_EQ(pic->flags, uint32_t(EscherProp_blipId));
    ASSERT_EQ(d->blipCount, 1u);
    EXPECT_EQ(d->delay.kind, uint32_t(EscherSource_none));
    ASSERT_EQ(Escher_blipLoad(d, &d->blips[0], 0), Res_ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(d->blips[0].data), d->blips[0].dataLength),
              "\x89PNGpicture");
    Escher_drawingGroupFreeBlips(d, g);
    Escher_drawingStateFree(d);
    (void)Ole_streamClose(&s);
}

TEST_F(EscherCopyTest, MissingStreams)
{
    EXPECT_EQ(Escher_copyDrawingData(ctx, nullptr, nullptr, nullptr, nullptr, 0, 0),
              Escher_errNoSource);
}

} // namespace
