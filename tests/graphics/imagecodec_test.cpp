// The codec table and the converters codecs share: registration (the
// first of a type id wins, 15 slots, the descriptor always taken over),
// choosing a codec by score, tear-down, and the palette, row and sample
// converters per output format.
#include <vector>

#include "graphics/imageconv.h"
#include "tests/graphics/image_support.h"

namespace {

// Scores and results per type id for the scored codecs below.
struct Scoring {
    int32_t score[40] = {};
    int result[40] = {};
    int initResult[40] = {};
    std::vector<int> asked;
    std::vector<int> shutdowns;
};

Scoring &scoring()
{
    static Scoring s;
    return s;
}

template <int Type> int32_t typeOf()
{
    return Type;
}

template <int Type>
int scoredRecognise(int32_t *score, ImageHook, void *, const uint8_t *, uint32_t, uint32_t)
{
    scoring().asked.push_back(Type);
    *score = scoring().score[Type];
    return scoring().result[Type];
}

template <int Type> int scoredInit(EngineContext *)
{
    return scoring().initResult[Type];
}

template <int Type> void scoredShutdown()
{
    scoring().shutdowns.push_back(Type);
}

template <int Type> ImageCodec *scored()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    c->init = scoredInit<Type>;
    c->shutdown = scoredShutdown<Type>;
    c->recognise = scoredRecognise<Type>;
    c->decode = fakeDecode;
    c->typeId = typeOf<Type>;
    return c;
}

// Makers for type ids 1 to 16 (index = type id).
ImageCodec *(*const makers[])() = {nullptr,    scored<1>,  scored<2>,  scored<3>,  scored<4>,
                                   scored<5>,  scored<6>,  scored<7>,  scored<8>,  scored<9>,
                                   scored<10>, scored<11>, scored<12>, scored<13>, scored<14>,
                                   scored<15>, scored<16>};

class CodecTest : public ImageStoreFixture {
  protected:
    void SetUp() override
    {
        ImageStoreFixture::SetUp();
        scoring() = Scoring{};
        setInt(nullptr, "DynamicSubsampling", 1);
        makeStore(false);
    }
    int codecsInTable()
    {
        int n = 0;
        for (ImageCodec *c : ctx->imageStore->codecs)
            n += c != nullptr;
        return n;
    }
};

TEST_F(CodecTest, RegistrationKeepsTheFirstOfATypeAndFifteenAtMost)
{
    size_t before = heapUsed();
    ASSERT_EQ(Plugin_register(ctx, makers[3]()), Res_ok);
    ImageCodec *first = ctx->imageStore->codecs[0];
    EXPECT_EQ(Plugin_register(ctx, makers[3]()), Res_ok)
        << "a second of the same type id is not an error";
    EXPECT_EQ(ctx->imageStore->codecs[0], first);
    EXPECT_EQ(codecsInTable(), 1);
    for (int type = 1; type <= 15; type++) {
        if (type != 3) {
            ASSERT_EQ(Plugin_register(ctx, makers[type]()), Res_ok) << type;
        }
    }
    EXPECT_EQ(codecsInTable(), 15);
    size_t full = heapUsed();
    EXPECT_EQ(Plugin_register(ctx, makers[16]()), Res_imageCodecsFull);
    EXPECT_EQ(heapUsed(), full) << "the refused descriptor is freed";
    EXPECT_EQ(Plugin_register(ctx, nullptr), Res_noMemory);
    ImageCodec_teardown(ctx);
    EXPECT_EQ(scoring().shutdowns.size(), 15u);
    EXPECT_EQ(codecsInTable(), 0);
    EXPECT_EQ(heapUsed(), before);
}

TEST_F(CodecTest, AFailingInitRefusesTheCodec)
{
    size_t before = heapUsed();
    scoring().initResult[4] = 0x4444;
    EXPECT_EQ(Plugin_register(ctx, makers[4]()), 0x4444);
    EXPECT_EQ(codecsInTable(), 0);
    EXPECT_EQ(heapUsed(), before);
    // A type id of 0 is never a duplicate.
    ImageCodec *noType = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    ImageCodec *noType2 = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    EXPECT_EQ(Plugin_register(ctx, noType), Res_ok);
    EXPECT_EQ(Plugin_register(ctx, noType2), Res_ok);
    EXPECT_EQ(codecsInTable(), 2);
    EXPECT_EQ(Plugin_register(nullptr, makers[5]()), Res_missingArgument);
    EXPECT_EQ(Plugin_register(nullptr, Codec_gifDescriptor()), Res_missingArgument);
}

// The first codec with the strictly highest score wins; 100 ends the scan;
// a recogniser's error ends it with that error.
TEST_F(CodecTest, TheFirstHighestScoreWins)
{
    struct Case {
        const char *what;
        std::vector<int> scores; // per registered codec, type ids 1, 2, ...
        int errorAt;             // type id whose recogniser fails (0: none)
        int winner;              // type id chosen (0: none)
        int askedCount;
        int result;
    };
    const Case cases[] = {
        {"highest wins", {50, 80, 30}, 0, 2, 3, Res_ok},
        {"first of equals", {80, 80, 30}, 0, 1, 3, Res_ok},
        {"100 ends the scan", {20, 100, 100}, 0, 2, 2, Res_ok},
        {"nobody above 0", {0, 0}, 0, 0, 2, Res_imageNoCodec},
        {"an error ends the scan", {50, 60, 90}, 2, 0, 2, 0x5151},
    };
    for (const Case &c : cases) {
        ImageCodec_teardown(ctx);
        scoring() = Scoring{};
        for (size_t i = 0; i < c.scores.size(); i++) {
            scoring().score[i + 1] = c.scores[i];
            ASSERT_EQ(Plugin_register(ctx, makers[i + 1]()), Res_ok);
        }
        if (c.errorAt)
            scoring().result[c.errorAt] = 0x5151;
        ImageHandle *h = open("any picture bytes", 1);
        ImageObject *image = h->image;
        int32_t reason = 0;
        ImageView *view = decodeNow(image, &reason);
        (void)view;
        EXPECT_EQ(int(scoring().asked.size()), c.askedCount) << c.what;
        if (c.winner) {
            EXPECT_EQ(image->codecIndex, c.winner - 1) << c.what;
            ASSERT_NE(ImageCodec_of(image), nullptr);
            EXPECT_EQ(ImageCodec_of(image)->typeId(), c.winner) << c.what;
        } else {
            EXPECT_EQ(image->state, ImageState_failed) << c.what;
            EXPECT_EQ(image->errorCode, c.result) << c.what;
        }
        ImageHandle_release(h);
    }
}

// ------------------------------------------------------------ converters

TEST(ImageConv, PaletteAndRowConvertersPerFormat)
{
    const uint32_t colour = 0x80C0A0F0; // alpha 0x80, blue 0xC0, green 0xA0, red 0xF0
    struct Case {
        uint32_t format;
        uint32_t pixel;
        uint32_t bytes;
    };
    const Case cases[] = {
        {Pixel_format444, (0xFu << 8) | (0xAu << 4) | 0xC, 2},
        {Pixel_format565Alt, (0x1Eu << 11) | (0x28u << 5) | 0x18, 2},
        {Pixel_format555, (0x18u << 10) | (0x14u << 5) | 0x1E, 2},
        {Pixel_format565, (0x1Eu << 11) | (0x28u << 5) | 0x18, 2},
        {Pixel_formatRGBA, 0x00C0A0F0, 4},
    };
    for (const Case &c : cases) {
        const PalConv *p = PalConv_forFormat(nullptr, c.format);
        ASSERT_NE(p, nullptr) << c.format;
        EXPECT_EQ(p->format, c.format);
        EXPECT_EQ(p->toPixel(colour), c.pixel) << c.format;
        const uint8_t rgb[6] = {0xF0, 0xA0, 0xC0, 0, 0, 0};
        uint32_t out[2] = {0xDEAD, 0xDEAD};
        p->triplets(rgb, out, 2);
        uint32_t first = 0;
        memcpy(&first, out, c.bytes);
        EXPECT_EQ(first, c.pixel) << c.format;

        RowConvFn row = RowConv_forFormat(nullptr, c.format);
        ASSERT_NE(row, nullptr);
        const uint32_t colours[2] = {colour, 0xFF000000};
        uint32_t px[2] = {};
        row(colours, px, 2);
        memcpy(&first, px, c.bytes);
        EXPECT_EQ(first, c.format == Pixel_formatRGBA ? colour : c.pixel)
            << c.format << ": copied unchanged in 6";

        RowConvAlphaFn alpha = RowConvAlpha_forFormat(nullptr, c.format, Pixel_formatGrey8);
        ASSERT_NE(alpha, nullptr);
        uint8_t mask[2] = {};
        alpha(colours, px, mask, 2);
        memcpy(&first, px, c.bytes);
        EXPECT_EQ(first, c.pixel) << c.format;
        EXPECT_EQ(mask[0], 0x80);
        EXPECT_EQ(mask[1], 0xFF);
        EXPECT_EQ(RowConvAlpha_forFormat(nullptr, c.format, Pixel_format565), nullptr);
    }
    for (uint32_t f : {0u, 5u, 7u, 8u}) {
        EXPECT_EQ(PalConv_forFormat(nullptr, f), nullptr) << f;
        EXPECT_EQ(RowConv_forFormat(nullptr, f), nullptr) << f;
        EXPECT_EQ(RowConvAlpha_forFormat(nullptr, f, 0), nullptr) << f;
    }
}

TEST(ImageConv, ApplyingConvertersToRows)
{
    const uint8_t rgb[2][8] = {{255, 0, 0, 0, 255, 0, 0, 0}, {0, 0, 255, 255, 255, 255, 0, 0}};
    uint16_t out[2][4] = {};
    RowConv_applyRows(PalConv_forFormat(nullptr, Pixel_format565), &rgb[0][0], 8, 2, 2,
                      reinterpret_cast<uint8_t *>(out), 8);
    EXPECT_EQ(out[0][0], 0xF800);
    EXPECT_EQ(out[0][1], 0x07E0);
    EXPECT_EQ(out[1][0], 0x001F);
    EXPECT_EQ(out[1][1], 0xFFFF);
    EXPECT_EQ(out[0][2], 0) << "count pixels per row only";

    const uint32_t colours[2][2] = {{0x11000000, 0x220000FF}, {0x33FF0000, 0x44FFFFFF}};
    uint32_t px[2][2] = {};
    uint8_t mask[2][4] = {};
    RowConv_applyRowsDirect(RowConv_forFormat(nullptr, Pixel_formatRGBA),
                            reinterpret_cast<const uint8_t *>(colours), 8, 2, 2,
                            reinterpret_cast<uint8_t *>(px), 8);
    EXPECT_EQ(px[1][1], 0x44FFFFFFu);
    RowConv_applyRowsAlpha(RowConvAlpha_forFormat(nullptr, Pixel_formatRGBA, 0),
                           reinterpret_cast<const uint8_t *>(colours), 8, 2, 2,
                           reinterpret_cast<uint8_t *>(px), 8, &mask[0][0], 4);
    EXPECT_EQ(px[1][1], 0x00FFFFFFu);
    EXPECT_EQ(mask[0][1], 0x22);
    EXPECT_EQ(mask[1][0], 0x33);
}

} // namespace
