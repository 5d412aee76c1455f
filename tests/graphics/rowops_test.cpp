// Row operations: every key of the table against a pixel-by-pixel model of
// the weight and blend formulas (opaque and translucent alphas, mask
// buffers, every operation, odd addresses and lengths), the hand-computed
// values (alpha 254, coverage 128, alpha 128 on 8 bits), the drivers, and
// the run-coded rows played through a recording set.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/glyphmask.h"
#include "graphics/rowops.h"

namespace {

// ------------------------------------------------------------ the model

uint32_t w32(uint32_t t)
{
    return (t + (t >> 7)) >> 3;
}

uint32_t w256(uint32_t t)
{
    return t + (t >> 7);
}

uint32_t combined(uint32_t c, uint32_t a)
{
    return (c * (a + (a >> 7))) >> 8;
}

uint32_t mix(uint32_t d, uint32_t s, uint32_t w, int bits)
{
    return ((d << bits) + w * s - w * d) >> bits;
}

// A 5-6-5 pixel blended channel by channel in 32 levels.
uint32_t mix565(uint32_t d, uint32_t s, uint32_t w)
{
    uint32_t r = mix(d >> 11, s >> 11, w, 5), g = mix((d >> 5) & 63, (s >> 5) & 63, w, 5);
    uint32_t b = mix(d & 31, s & 31, w, 5);
    return (r << 11) | (g << 5) | b;
}

uint32_t mix565RGB(uint32_t d, uint32_t s, uint32_t wr, uint32_t wg, uint32_t wb)
{
    uint32_t r = mix(d >> 11, s >> 11, wr, 8), g = mix((d >> 5) & 63, (s >> 5) & 63, wg, 8);
    uint32_t b = mix(d & 31, s & 31, wb, 8);
    return (r << 11) | (g << 5) | b;
}

uint32_t to565(uint32_t c)
{
    return (((c & 0xFF) >> 3) << 11) | ((((c >> 8) & 0xFF) >> 2) << 5) | (((c >> 16) & 0xFF) >> 3);
}

// One pixel-exact run of a random operation sequence, in the model and in
// the routines.
struct Scene {
    uint32_t key;
    bool wide; // 5-6-5 destination
    bool srcBuffer;
    bool maskBuffer;
    uint32_t colour; // constant source: a format-6 word, or a byte
    uint8_t alpha;
    std::vector<uint16_t> dst16, src16;
    std::vector<uint8_t> dst8, src8, mask, coverage;
};

enum Op { opSpan, opSkip, opCoverage, opPixel, opRGB };

struct Step {
    Op op;
    uint32_t n;
    uint32_t c;
};

class Model {
  public:
    explicit Model(Scene &s) : s(s) {}
    void run(const Step &st)
    {
        switch (st.op) {
        case opSpan:
            for (uint32_t i = 0; i < st.n; i++)
                put(scale(opacity()));
            break;
        case opSkip: pos += st.n; break;
        case opCoverage:
            for (uint32_t i = 0; i < st.n; i++)
                put(scale(combined(s.coverage[cov++], opacity())));
            cov += cov & 1;
            break;
        case opPixel: put(scale(combined(st.c > 255 ? 255 : st.c, opacity()))); break;
        case opRGB:
            for (uint32_t i = 0; i < st.n; i++, cov += 3) {
                uint32_t wr = w256(combined(s.coverage[cov], opacity()));
                uint32_t wg = w256(combined(s.coverage[cov + 1], opacity()));
                uint32_t wb = w256(combined(s.coverage[cov + 2], opacity()));
                s.dst16[pos] = uint16_t(mix565RGB(s.dst16[pos], source(), wr, wg, wb));
                pos++;
            }
            break;
        }
    }
    size_t pos = 0; // pixels done
    size_t cov = 0; // coverage bytes read

  private:
    // The alpha, or the mask byte of the pixel.
    uint32_t opacity() const
    {
        return s.maskBuffer ? s.mask[pos] : s.alpha;
    }
    uint32_t scale(uint32_t t) const
    {
        return s.wide ? w32(t) : w256(t);
    }
    uint32_t source() const
    {
        if (s.srcBuffer)
            return s.wide ? s.src16[pos] : s.src8[pos];
        return s.wide ? to565(s.colour) : s.colour & 0xFF;
    }
    void put(uint32_t w)
    {
        if (s.wide)
            s.dst16[pos] = uint16_t(mix565(s.dst16[pos], source(), w));
        else
            s.dst8[pos] = uint8_t(mix(s.dst8[pos], source(), w, 8));
        pos++;
    }
    Scene &s;
};

TEST(RowOps, EveryKeyMatchesTheModel)
{
    std::mt19937 rng(114);
    const uint8_t alphas[] = {255, 254, 200, 128, 7, 0};
    int scenes = 0;
    for (const RowOpEntry &e : RowOp_table) {
        bool wide = (e.key >> 8) == 4;
        bool srcBuffer = e.key & 0x10;
        bool maskBuffer = e.key & 1;
        for (uint8_t alpha : alphas) {
            if (maskBuffer && alpha != 255)
                continue; // the alpha is not read: one round is enough
            for (int round = 0; round < 40; round++, scenes++) {
                SCOPED_TRACE("key " + std::to_string(e.key) + " alpha " + std::to_string(alpha) +
                             " round " + std::to_string(round));
                const size_t N = 600;
                Scene s{e.key, wide, srcBuffer, maskBuffer, uint32_t(rng()), alpha, {}, {},
                        {},    {},   {},        {}};
                // Pixels of a few kinds: random, and the extremes that take
                // the shortcuts.
                auto px = [&]() { return rng() % 4 == 0 ? (rng() % 2 ? 0xFFFFu : 0u) : rng(); };
                auto byte = [&]() {
                    return uint8_t(rng() % 4 == 0 ? (rng() % 2 ? 255 : 0) : rng());
                };
                for (size_t i = 0; i < N + 1; i++) {
                    s.dst16.push_back(uint16_t(px()));
                    s.src16.push_back(uint16_t(px()));
                    s.dst8.push_back(byte());
                    s.src8.push_back(byte());
                    s.mask.push_back(byte());
                }
                for (size_t i = 0; i < 4 * N; i++)
                    s.coverage.push_back(byte());
                // Start at pixel 0 or 1 (an odd pixel of a 5-6-5 row sits at
                // an address that is not a multiple of 4).
                size_t start = rng() % 2;
                Scene want = s;
                Model model(want);
                model.pos = start;

                RowOpSet set;
                const uint8_t *srcBase =
                    wide ? reinterpret_cast<const uint8_t *>(s.src16.data() + start)
                         : s.src8.data() + start;
                const void *source = srcBuffer ? static_cast<const void *>(srcBase) : &s.colour;
                uint8_t value = uint8_t(s.colour);
                if (!srcBuffer && !wide)
                    source = &value;
                const void *mask =
                    maskBuffer ? static_cast<const void *>(s.mask.data() + start) : &s.alpha;
                e.setup(&set, source, mask);
                set.dst = wide ? reinterpret_cast<uint8_t *>(s.dst16.data() + start)
                               : s.dst8.data() + start;
                ASSERT_EQ(set.spanCoverageRGB == nullptr, !wide);
                const uint8_t *coverage = s.coverage.data();
                size_t done = start;
                while (true) {
                    Step st{Op(rng() % (wide ? 5 : 4)), 1 + uint32_t(rng() % 40),
                            uint32_t(rng() % 300)};
                    if (done + st.n > N)
                        break;
                    model.run(st);
                    switch (st.op) {
                    case opSpan: set.span(&set, st.n); break;
                    case opSkip: set.skip(&set, st.n); break;
                    case opCoverage: set.spanCoverage(&set, st.n, &coverage); break;
                    case opPixel: set.pixel(&set, st.c); break;
                    case opRGB: set.spanCoverageRGB(&set, st.n, &coverage); break;
                    }
                    done = model.pos;
                    ASSERT_EQ(coverage, s.coverage.data() + model.cov);
                }
                if (wide) {
                    ASSERT_EQ(s.dst16, want.dst16);
                    ASSERT_EQ(set.dst, reinterpret_cast<uint8_t *>(s.dst16.data() + done));
                } else {
                    ASSERT_EQ(s.dst8, want.dst8);
                    ASSERT_EQ(set.dst, s.dst8.data() + done);
                }
                if (srcBuffer) {
                    ASSERT_EQ(set.src,
                              wide ? reinterpret_cast<const uint8_t *>(s.src16.data() + done)
                                   : s.src8.data() + done);
                }
                if (maskBuffer) {
                    ASSERT_EQ(set.mask, s.mask.data() + done);
                }
            }
        }
    }
    EXPECT_GT(scenes, 1000);
}

// ------------------------------------------------------- hand-computed

uint16_t rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return uint16_t((r << 11) | (g << 5) | b);
}

TEST(RowOps, FindsOnlyTheEightKeys)
{
    for (uint32_t d = 0; d < 8; d++)
        for (uint32_t s = 0; s < 8; s++)
            for (uint32_t m = 0; m < 8; m++)
                for (int sb = 0; sb < 2; sb++)
                    for (int mb = 0; mb < 2; mb++) {
                        uint32_t key = mb + 2 * m + 16 * sb + 32 * s + 256 * d;
                        RowOpSetupFn want = nullptr;
                        for (const RowOpEntry &e : RowOp_table)
                            if (e.key == key)
                                want = e.setup;
                        EXPECT_EQ(RowOp_find(d, s, m, sb, mb), want) << key;
                    }
    EXPECT_EQ(RowOp_find(4, 4, 0, 0, 0), nullptr); // a constant 5-6-5 source has none
    EXPECT_NE(RowOp_find(4, 4, 0, 1, 0), nullptr);
    EXPECT_NE(RowOp_find(4, 6, 0, 0, 1), nullptr);
    EXPECT_EQ(RowOp_find(8, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(RowOp_find(0, 0, 8, 0, 0), nullptr);
    EXPECT_EQ(RowOp_find(0, 0, 0, 2, 0), RowOp_find(0, 0, 0, 1, 0)); // flags are booleans
}

TEST(RowOps, AlphaAndCoverageWeights)
{
    const uint32_t white = 0x00FFFFFF;
    uint16_t px[8] = {};
    RowOpSetupFn colour = RowOp_find(4, 6, 0, 0, 0);
    // Alpha 255: the exact colour; 254: weight 31 of 32.
    uint8_t alpha = 255;
    RowOp_runRows(px, colour, &white, 2, &alpha, 1, 0);
    EXPECT_EQ(px[0], 0xFFFF);
    EXPECT_EQ(px[1], 0xFFFF);
    uint32_t orange = 0x000080FF;
    RowOp_runRows(px, colour, &orange, 1, &alpha, 1, 0);
    EXPECT_EQ(px[0], rgb(31, 32, 0));
    memset(px, 0, sizeof px);
    alpha = 254;
    RowOp_runRows(px, colour, &white, 8, &alpha, 1, 0);
    for (uint16_t p : px)
        EXPECT_EQ(p, rgb(30, 61, 30));

    // Coverage 128 is half weight (16 of 32), 255 full, 0 nothing.
    memset(px, 0, sizeof px);
    alpha = 255;
    RowOpSet set;
    colour(&set, &white, &alpha);
    set.dst = reinterpret_cast<uint8_t *>(px);
    set.pixel(&set, 128);
    set.pixel(&set, 255);
    set.pixel(&set, 0);
    set.pixel(&set, 1000); // above 255 counts as 255
    EXPECT_EQ(px[0], rgb(15, 31, 15));
    EXPECT_EQ(px[1], 0xFFFF);
    EXPECT_EQ(px[2], 0);
    EXPECT_EQ(px[3], 0xFFFF);

    // Format 0, alpha 128: weight 129 of 256 for every pixel of the row.
    uint8_t bytes[11];
    memset(bytes, 0, 5);
    memset(bytes + 5, 255, 6);
    uint8_t zero = 0, full = 255;
    alpha = 128;
    RowOp_runRows(bytes, RowOp_find(0, 0, 0, 0, 0), &full, 5, &alpha, 1, 0);
    RowOp_runRows(bytes + 5, RowOp_find(0, 0, 0, 0, 0), &zero, 6, &alpha, 1, 0);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(bytes[i], (129 * 255) >> 8);
    for (int i = 5; i < 11; i++)
        EXPECT_EQ(bytes[i], (255 * 256 - 129 * 255) >> 8);
}

TEST(RowOps, CoverageRunsStartAtEvenAddresses)
{
    alignas(4) uint8_t coverage[16] = {255, 255, 255, 9, 128, 128, 0, 0};
    uint16_t px[16] = {};
    uint32_t white = 0x00FFFFFF;
    uint8_t alpha = 255;
    RowOpSet set;
    RowOp_find(4, 6, 0, 0, 0)(&set, &white, &alpha);
    set.dst = reinterpret_cast<uint8_t *>(px);
    const uint8_t *c = coverage;
    set.spanCoverage(&set, 3, &c);
    EXPECT_EQ(c, coverage + 4); // past the pad byte
    set.spanCoverage(&set, 2, &c);
    EXPECT_EQ(c, coverage + 6);
    // From an odd address the run also ends on an even one.
    c = coverage + 1;
    set.spanCoverage(&set, 2, &c);
    EXPECT_EQ(c, coverage + 4);
    // Three bytes a pixel for sub-pixel coverage.
    c = coverage;
    set.spanCoverageRGB(&set, 2, &c);
    EXPECT_EQ(c, coverage + 6);
}

TEST(RowOps, SubPixelCoverageBlendsEachChannel)
{
    uint16_t px[2] = {0, 0xFFFF};
    uint32_t white = 0x00FFFFFF, black = 0xFF000000;
    uint8_t alpha = 255;
    const uint8_t coverage[6] = {255, 128, 0, 0, 64, 255};
    RowOpSet set;
    RowOp_find(4, 6, 0, 0, 0)(&set, &white, &alpha);
    set.dst = reinterpret_cast<uint8_t *>(px);
    const uint8_t *c = coverage;
    set.spanCoverageRGB(&set, 1, &c);
    // Red full, green 129 of 256 of 63, blue nothing.
    EXPECT_EQ(px[0], rgb(31, (129 * 63) >> 8, 0));
    RowOp_find(4, 6, 0, 0, 0)(&set, &black, &alpha);
    set.dst = reinterpret_cast<uint8_t *>(px + 1);
    set.spanCoverageRGB(&set, 1, &c);
    EXPECT_EQ(px[1], rgb(31, (63 * 256 - 64 * 63) >> 8, 0));
}

TEST(RowOps, DriversMoveByTheirStrides)
{
    // A 3 x 4 destination of 5-6-5 pixels with a 4-pixel stride; a source
    // of 3 x 4 with its own stride of 5 pixels; a mask repeated every row.
    uint16_t dst[16] = {};
    uint16_t src[20];
    for (int i = 0; i < 20; i++)
        src[i] = uint16_t(100 + i);
    uint8_t mask[3] = {255, 0, 255};
    RowOp_runRect(dst, 8, 3, 4, src, 10, mask, 0, RowOp_find(4, 4, 0, 1, 1));
    for (int r = 0; r < 4; r++) {
        EXPECT_EQ(dst[4 * r], 100 + 5 * r);
        EXPECT_EQ(dst[4 * r + 1], 0);
        EXPECT_EQ(dst[4 * r + 2], 102 + 5 * r);
        EXPECT_EQ(dst[4 * r + 3], 0);
    }
    // Rows run upward with a negative stride.
    uint8_t bytes[12] = {};
    uint8_t v = 7, alpha = 255;
    RowOp_runRows(bytes + 8, RowOp_find(0, 0, 0, 0, 0), &v, 2, &alpha, 2, -4);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 12),
              (std::vector<uint8_t>{0, 0, 0, 0, 7, 7, 0, 0, 7, 7, 0, 0}));
}

// ------------------------------------------------------------ coded rows

// A set that records its calls into the string given as its source.
std::string &logOf(RowOpSet *set)
{
    return *reinterpret_cast<std::string *>(const_cast<uint8_t *>(set->src));
}

void recSpan(RowOpSet *set, uint32_t n)
{
    logOf(set) += "span " + std::to_string(n) + "; ";
}

void recSkip(RowOpSet *set, uint32_t n)
{
    logOf(set) += "skip " + std::to_string(n) + "; ";
}

void recCoverage(RowOpSet *set, uint32_t n, const uint8_t **coverage)
{
    std::string &log = logOf(set);
    log += "cov";
    for (uint32_t i = 0; i < n; i++)
        log += " " + std::to_string((*coverage)[i]);
    log += "; ";
    *coverage += n;
}

void recPixel(RowOpSet *set, uint32_t c)
{
    logOf(set) += "pixel " + std::to_string(c) + "; ";
}

void recSetup(RowOpSet *set, const void *source, const void *)
{
    *set = RowOpSet{};
    set->span = recSpan;
    set->skip = recSkip;
    set->spanCoverage = recCoverage;
    set->pixel = recPixel;
    set->src = static_cast<const uint8_t *>(source);
}

// Codes as 16-bit little-endian words with their data bytes.
struct Codes {
    std::vector<uint8_t> bytes;
    Codes &code(uint32_t c)
    {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
        return *this;
    }
    Codes &data(std::vector<uint8_t> d)
    {
        bytes.insert(bytes.end(), d.begin(), d.end());
        if (d.size() & 1)
            bytes.push_back(0xEE); // pad
        return *this;
    }
};

std::string play(const Codes &c, uint32_t skip, uint32_t width, std::vector<uint32_t> rows = {0})
{
    std::string log;
    uint8_t dst[64];
    RowOp_runCodedRows(dst, 0, rows.data(), c.bytes.data(), skip, width, uint32_t(rows.size()),
                       &log, 0, nullptr, 0, recSetup);
    return log;
}

constexpr uint32_t last = GlyphMask_lastCode, kSkip = GlyphMask_kindSkip,
                   kLit = GlyphMask_kindLiteral, kPix = GlyphMask_kindPixel;

TEST(RowOps, CodedRowCases)
{
    struct Case {
        const char *name;
        Codes codes;
        uint32_t skip, width;
        const char *want;
    } cases[] = {
        {"a full run cut by skip and width", Codes().code(last | 10), 3, 4, "span 4; "},
        {"a pixel code after a literal run and its pad",
         Codes().code(kLit | 3).data({10, 20, 30}).code(last | kPix | 77), 0, 100,
         "cov 10 20 30; pixel 77; "},
        {"a pixel and a skip run passed over",
         Codes().code(kPix | 5).code(kSkip | 1).code(last | 4), 2, 100, "span 4; "},
        {"a literal run cut: its coverage starts after the skipped bytes",
         Codes().code(kLit | 5).data({1, 2, 3, 4, 5}).code(last | 2), 2, 100,
         "cov 3 4 5; span 2; "},
        {"a skip run cut", Codes().code(kSkip | 6).code(last | 2), 4, 100, "skip 2; span 2; "},
        {"everything skipped", Codes().code(3).code(last | kPix | 9), 4, 100, ""},
        {"skip ends on the last code", Codes().code(3).code(last | 2), 5, 100, ""},
        {"the width stops before the row's end", Codes().code(4).code(kSkip | 3).code(last | 8), 0,
         5, "span 4; skip 1; "},
        {"the width ends exactly at a code", Codes().code(4).code(last | kPix | 1), 0, 4,
         "span 4; "},
        {"a literal run cut by the width", Codes().code(last | kLit | 4).data({9, 8, 7, 6}), 1, 2,
         "cov 8 7; "},
        {"nothing drawn at width 0", Codes().code(last | 4), 0, 0, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(play(c.codes, c.skip, c.width), c.want) << c.name;
}

TEST(RowOps, CodedRowsAdvanceEveryRow)
{
    // Row 0 empty, row 1 a 3-pixel run at full coverage, row 2 a pixel.
    Codes c;
    c.code(last | 3).code(last | kPix | 200);
    uint32_t rows[3] = {GlyphMask_emptyRow, 0, 2};
    uint16_t dst[3 * 4];
    for (uint16_t &p : dst)
        p = 0x1234;
    uint32_t white = 0x00FFFFFF;
    uint8_t alpha = 255;
    RowOp_runCodedRows(dst, 8, rows, c.bytes.data(), 0, 4, 3, &white, 0, &alpha, 0,
                       RowOp_find(4, 6, 0, 0, 0));
    std::vector<uint16_t> want = {0x1234, 0x1234, 0x1234, 0x1234, 0xFFFF, 0xFFFF, 0xFFFF, 0x1234};
    uint16_t p200 = uint16_t(mix565(0x1234, 0xFFFF, w32(200)));
    want.insert(want.end(), {p200, 0x1234, 0x1234, 0x1234});
    EXPECT_EQ(std::vector<uint16_t>(dst, dst + 12), want);

    // A source buffer and a mask buffer move on by their strides too, also
    // past an empty row.
    uint8_t out[3 * 2] = {};
    uint8_t src[3 * 3] = {1, 2, 0, 3, 4, 0, 5, 6, 0};
    uint8_t mask[3 * 2] = {255, 255, 255, 255, 255, 0};
    Codes two;
    two.code(last | 2);
    uint32_t offsets[3] = {0, GlyphMask_emptyRow, 0};
    RowOp_runCodedRows(out, 2, offsets, two.bytes.data(), 0, 2, 3, src, 3, mask, 2,
                       RowOp_find(0, 0, 0, 1, 1));
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 0, 0, 5, 0}));
}

} // namespace
