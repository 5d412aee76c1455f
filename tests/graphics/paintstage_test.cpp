// Paint stages: the transfer table, the transfer and grey stages on
// constant colours and 5-6-5 rows (alone and drawn through a draw item),
// their refusals, the 5-6-5 channel tables, the alpha-scaling mask stage
// and the effect lists of drawing effects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/transfer.h"
#include "graphics/imageutil.h"
#include "graphics/level.h"
#include "tests/graphics/raster_support.h"

namespace {

class PaintStageTest : public RasterTest {
  protected:
    void TearDown() override
    {
        Obj_freeKindRecords(&context);
        RasterTest::TearDown();
    }
};

TEST_F(PaintStageTest, TransferTables)
{
    uint8_t t[256];
    Pixel_buildTransferTable(1.0, 0, 0, t);
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(t[i], i);
    // Contrast -255 flattens to brightness + 128, clamped.
    for (int32_t brightness : {-200, -50, 0, 100, 200}) {
        Pixel_buildTransferTable(1.0, brightness, -255, t);
        int expected = std::clamp(brightness + 128, 0, 255);
        for (int i = 0; i < 256; i++)
            EXPECT_EQ(t[i], expected) << brightness;
    }
    // The lightening table of the drawing effects.
    Pixel_buildTransferTable(1.0, 64, 32, t);
    EXPECT_EQ(t[0], 47); // (0 - 128) x 287 / 255 + 192 = 47.9
    EXPECT_EQ(t[128], 192);
    EXPECT_EQ(t[255], 255); // clamped
    Pixel_buildTransferTable(2.0, 0, 0, t);
    EXPECT_EQ(t[128], 64); // 255 x (128/255)^2 = 64.25
}

// Runs a stage's declared routine on a row of 5-6-5 pixels.
std::vector<uint16_t> runRow(StageDeclareFn declare, void *parameter,
                             const std::vector<uint16_t> &row, int hadStage)
{
    StageRecord rec{};
    EXPECT_EQ(declare(1, Pixel_format565, int32_t(row.size()), 1, hadStage, parameter, &rec), 0);
    EXPECT_EQ(rec.outputBytes, (row.size() * 2 + 3) & ~size_t(3));
    EXPECT_EQ(rec.worksInPlace, uint32_t(hadStage));
    std::vector<uint16_t> out(row.size() + 2, 0);
    std::vector<uint16_t> in = row;
    if (rec.worksInPlace) {
        rec.routine.inPlace(reinterpret_cast<uint8_t *>(in.data()), 0, parameter, 0, 0,
                            int32_t(row.size()), 1);
        return in;
    }
    rec.routine.copy(reinterpret_cast<const uint8_t *>(in.data()), 0, parameter, 0, 0,
                     int32_t(row.size()), 1, reinterpret_cast<uint8_t *>(out.data()), 0);
    out.resize(row.size());
    return out;
}

uint32_t runConstant(StageDeclareFn declare, void *parameter, uint32_t colour)
{
    StageRecord rec{};
    EXPECT_EQ(declare(0, Pixel_formatRGBA, 1, 1, 0, parameter, &rec), 0);
    EXPECT_EQ(rec.outputIsBuffer, 0u);
    EXPECT_EQ(rec.outputBytes, 4u);
    uint32_t out = 0xDEADBEEF;
    rec.routine.copy(reinterpret_cast<const uint8_t *>(&colour), 0, parameter, 0, 0, 1, 1,
                     reinterpret_cast<uint8_t *>(&out), 0);
    return out;
}

TEST_F(PaintStageTest, TransferAndGreyOnColoursAndRows)
{
    uint8_t identity[256];
    Pixel_buildTransferTable(1.0, 0, 0, identity);
    std::vector<uint16_t> row;
    for (uint32_t i = 0; i < 37; i++)
        row.push_back(uint16_t(i * 1789 + 3));
    for (int had : {0, 1})
        EXPECT_EQ(runRow(Transfer_declareStage, identity, row, had), row);
    EXPECT_EQ(runConstant(Transfer_declareStage, identity, 0xFF123456u), 0x00123456u);
    uint8_t inverse[256];
    for (int i = 0; i < 256; i++)
        inverse[i] = uint8_t(255 - i);
    EXPECT_EQ(runRow(Transfer_declareStage, inverse, {0x0000, 0xFFFF, 0xF800}, 0),
              (std::vector<uint16_t>{0xFFFF, 0x0000, 0x07FF}));

    // Grey constants: red 76, green 149, alpha 0.
    EXPECT_EQ(runConstant(Grey_declareStage, nullptr, 0xFF0000FFu), 0x004C4C4Cu);
    EXPECT_EQ(runConstant(Grey_declareStage, nullptr, 0xFF00FF00u), 0x00959595u);
    // White in a pair is 0xFFDF (level 62), alone at the end of an odd row
    // 0xFFFF (level 63); black stays black.
    for (int had : {0, 1}) {
        EXPECT_EQ(runRow(Grey_declareStage, nullptr, {0xFFFF, 0xFFFF, 0xFFFF}, had),
                  (std::vector<uint16_t>{0xFFDF, 0xFFDF, 0xFFFF}));
        EXPECT_EQ(runRow(Grey_declareStage, nullptr, {0, 0, 0}, had),
                  (std::vector<uint16_t>{0, 0, 0}));
    }
}

TEST_F(PaintStageTest, StagesRefuseOtherForms)
{
    uint8_t table[256] = {};
    struct Case {
        uint32_t isBuffer, format;
    } cases[] = {{1, Pixel_formatRGBA},
                 {1, Pixel_formatGrey8},
                 {0, Pixel_formatGrey8},
                 {0, Pixel_format565},
                 {1, Pixel_format555}};
    for (const Case &c : cases) {
        StageRecord rec{};
        EXPECT_EQ(Transfer_declareStage(c.isBuffer, c.format, 4, 4, 0, table, &rec),
                  Stage_badInput);
        EXPECT_EQ(Grey_declareStage(c.isBuffer, c.format, 4, 4, 0, nullptr, &rec), Stage_badInput);
    }
    StageRecord rec{};
    int16_t words[2] = {128, 0};
    EXPECT_EQ(Pixel_levelConverter(1, Pixel_format565, 4, 4, 0, words, &rec), 275);
    EXPECT_EQ(Pixel_levelConverter(0, Pixel_formatRGBA, 4, 4, 0, words, &rec), 275);
    // A draw whose paint a stage refuses stops with 275.
    Bitmap *b = bitmap(4, 4, Pixel_format565);
    PixelBuf *rgba = buffer(4, 4, Pixel_formatRGBA);
    DrawItem *d = b->drawItem;
    d->kind = DrawItem_kindRect;
    d->paintKind = DrawItem_sourceBuffer;
    d->paint.buffer = {rgba, 0, 0};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, 255};
    d->cachedRowOp = nullptr;
    StageNode grey{&Grey_stageOps, nullptr, nullptr};
    DrawTarget t{b, nullptr, 0, 0};
    EXPECT_EQ(DrawItem_render(d, &grey, nullptr, &t), 275);
}

TEST_F(PaintStageTest, LevelStageWeakensMasks)
{
    struct Case {
        int16_t scale, offset;
        uint8_t in, out;
    } cases[] = {
        {128, 0, 255, 127},   {128, 0, 1, 0},      {256, 0, 200, 200}, {-256, 0, 10, 0},
        {256, 100, 200, 255}, {256, -300, 255, 0}, {64, 10, 255, 73},
    };
    for (const Case &c : cases) {
        int16_t words[2] = {c.scale, c.offset};
        StageRecord rec{};
        ASSERT_EQ(Pixel_levelConverter(1, Pixel_formatGrey8, 5, 1, 0, words, &rec), 0);
        EXPECT_EQ(rec.outputBytes, 8u);
        EXPECT_EQ(rec.worksInPlace, 0u);
        uint8_t in[5] = {c.in, c.in, c.in, c.in, c.in}, out[8] = {};
        rec.routine.copy(in, 0, words, 0, 0, 5, 1, out, 0);
        EXPECT_EQ(out[4], c.out) << c.scale << " " << c.offset << " " << int(c.in);
        ASSERT_EQ(Pixel_levelConverter(0, Pixel_formatGrey8, 5, 1, 0, words, &rec), 0);
        EXPECT_EQ(rec.outputBytes, 1u);
        uint8_t one = 0;
        rec.routine.copy(in, 0, words, 0, 0, 1, 1, &one, 0);
        EXPECT_EQ(one, c.out);
    }
}

TEST_F(PaintStageTest, ChannelTablesMapEachChannel)
{
    uint8_t tables[128];
    for (int i = 0; i < 32; i++)
        tables[i] = uint8_t(31 - i); // red inverted
    for (int i = 0; i < 64; i++)
        tables[32 + i] = uint8_t(i); // green kept
    for (int i = 0; i < 32; i++)
        tables[96 + i] = 0; // blue off
    uint16_t src[2][3] = {{0xF81F, 0x07E0, 0x1234}, {0, 0xFFFF, 0x0841}};
    uint16_t dst[2][4] = {};
    Pixel_mapChannels565(tables, reinterpret_cast<const uint8_t *>(src),
                         reinterpret_cast<uint8_t *>(dst), 3, 2, 6, 8);
    EXPECT_EQ(dst[0][0], 0x0000);
    EXPECT_EQ(dst[0][1], 0xFFE0);
    EXPECT_EQ(dst[0][2], uint16_t(((31 - 0x02) << 11) | (0x1234 & 0x7E0)));
    EXPECT_EQ(dst[1][0], 0xF800);
    EXPECT_EQ(dst[1][1], 0x07E0);
    EXPECT_EQ(dst[1][3], 0); // past the row: untouched
}

// The three effects drawn over a white picture: grey (white in pairs is
// 0xFFDF), lightened (the table keeps white), and both.
TEST_F(PaintStageTest, EffectListsDrawThroughTheDrawItem)
{
    EXPECT_EQ(Obj_kindRecord(&context, 0), nullptr);
    Bitmap *b = bitmap(4, 2, Pixel_format565);
    PixelBuf *pic = buffer(4, 2, Pixel_format565);
    uint16_t colours[4] = {0xFFFF, 0xF800, 0x001F, 0x0000};
    for (int y = 0; y < 2; y++)
        std::memcpy(pic->pixels + y * pic->stride, colours, 8);
    struct Case {
        uint32_t effect;
        uint16_t expected[4];
    } cases[] = {
        {1, {0xFFDF, 0x4A49, 0x18E3, 0x0000}},
        {2, {0xFFFF, 0xF965, 0x297F, 0x2965}},
        {3, {0xFFDF, 0x6B4D, 0x4208, 0x2945}},
    };
    for (const Case &c : cases) {
        const StageNode *stages = Obj_kindRecord(&context, c.effect);
        ASSERT_NE(stages, nullptr);
        DrawItem *d = b->drawItem;
        d->kind = DrawItem_kindRect;
        d->paintKind = DrawItem_sourceBuffer;
        d->paint.buffer = {pic, 0, 0};
        d->maskKind = DrawItem_sourceSolid;
        d->mask.solid = {Pixel_formatGrey8, 255};
        d->cachedRowOp = nullptr;
        DrawTarget t{b, nullptr, 0, 0};
        ASSERT_EQ(DrawItem_render(d, stages, nullptr, &t), 0);
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(pixel16(b, 1, x), c.expected[x]) << "effect " << c.effect << " x " << x;
    }
}

} // namespace
