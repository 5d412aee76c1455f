// The raw image codec of PDF images: a table of images decoded through the
// image store, each compared with the 5-6-5 pixels computed here from its
// samples.
#include <zlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "pdf/filter.h"
#include "pdf/rawcodec.h"
#include "tests/graphics/codec_support.h"

namespace {

constexpr int32_t W = 5, H = 7;

struct Img {
    const char *what;
    int32_t bits, samples, model; // model 0 none, 1 gray, 2 RGB, 3 Indexed, 4 CMYK
    int imageMask = 0;
    std::vector<float> decode = {};
    std::vector<int32_t> key = {};
    int predictor = 1;
    int result = 0;
    std::vector<int> rowTypes = {}; // PNG filter type per row (predictor 15)
    size_t cutAt = 0;               // data cut to this many bytes (0: whole)
};

uint8_t sampleOf(int x, int y, int c, int bits)
{
    return uint8_t((x * 37 + y * 11 + c * 53 + x * y) & ((1 << bits) - 1));
}

std::string palette()
{
    std::string p;
    for (int i = 0; i < 6; i++) {
        p += char(i * 40);
        p += char(255 - i * 30);
        p += char(i * 7);
    }
    return p;
}

uint16_t to565(int r, int g, int b)
{
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

uint8_t mapped(const Img &m, int s, int c)
{
    float d0 = 0, d1 = 1;
    if (size_t(2 * c + 1) < m.decode.size()) {
        d0 = m.decode[size_t(2 * c)];
        d1 = m.decode[size_t(2 * c + 1)];
    }
    float maxval = float((1 << m.bits) - 1);
    float v = d0 * 255.0f + float(s) * ((d1 - d0) * 255.0f / maxval) + 0.5f;
    if (!(v > 0))
        return 0;
    return v >= 255 ? 255 : uint8_t(v);
}

// The expected pixel and alpha of (x, y).
void expect(const Img &m, int x, int y, uint16_t *pixel, uint8_t *alpha, uint32_t fill)
{
    int n = m.samples;
    int s[4];
    for (int c = 0; c < n; c++)
        s[c] = sampleOf(x, y, c, m.bits);
    *alpha = 255;
    if (m.imageMask || m.model == 0) {
        float d0 = m.decode.empty() ? 0.0f : m.decode[0];
        bool paint = (s[0] == 0) == (d0 == 0.0f);
        *pixel = paint         ? to565(fill & 255, (fill >> 8) & 255, (fill >> 16) & 255)
                 : m.imageMask ? 0xFFFF
                               : 0xEBEF;
        *alpha = paint ? 255 : 0;
        return;
    }
    bool inKey = !m.key.empty();
    for (int c = 0; c < n && inKey; c++)
        if (s[c] < m.key[size_t(2 * c)] || s[c] > m.key[size_t(2 * c + 1)])
            inKey = false;
    if (m.model == 3) {
        std::string p = palette();
        int i = std::min(s[0], 5);
        *pixel = to565(uint8_t(p[size_t(3 * i)]), uint8_t(p[size_t(3 * i + 1)]),
                       uint8_t(p[size_t(3 * i + 2)]));
    } else if (m.model == 1) {
        int v = mapped(m, s[0], 0);
        *pixel = to565(v, v, v);
    } else if (m.model == 2) {
        *pixel = to565(mapped(m, s[0], 0), mapped(m, s[1], 1), mapped(m, s[2], 2));
    } else {
        int c = mapped(m, s[0], 0), mm = mapped(m, s[1], 1), ye = mapped(m, s[2], 2),
            k = mapped(m, s[3], 3);
        *pixel =
            to565(std::max(0, 255 - c - k), std::max(0, 255 - mm - k), std::max(0, 255 - ye - k));
    }
    if (inKey) {
        *pixel = 0xEBEF;
        *alpha = 0;
    }
}

// The packed rows, PNG-coded per row when asked.
std::string data(const Img &m)
{
    size_t rowBytes = (size_t(W) * size_t(m.bits) * size_t(m.samples) + 7) / 8;
    size_t bpp = (size_t(m.bits) * size_t(m.samples) + 7) / 8;
    if (m.bits > 8)
        return std::string(rowBytes * H, '\x5A'); // refused before any sample is read
    std::string out;
    std::string prev(rowBytes, '\0');
    for (int y = 0; y < H; y++) {
        std::string row(rowBytes, '\0');
        for (int x = 0; x < W; x++)
            for (int c = 0; c < m.samples; c++) {
                size_t bit = (size_t(x) * size_t(m.samples) + size_t(c)) * size_t(m.bits);
                row[bit / 8] = char(uint8_t(row[bit / 8]) | sampleOf(x, y, c, m.bits)
                                                                << (8 - m.bits - bit % 8));
            }
        if (m.predictor == 2 && m.bits == 8) {
            // TIFF differencing, from the right so that each left neighbour is still plain.
            std::string plainRow = row;
            for (size_t i = size_t(m.samples); i < rowBytes; i++)
                row[i] = char(uint8_t(plainRow[i]) - uint8_t(plainRow[i - size_t(m.samples)]));
            out += row;
            prev = plainRow;
            continue;
        }
        if (m.predictor >= 10) {
            int t =
                m.rowTypes.empty() ? m.predictor - 10 : m.rowTypes[size_t(y) % m.rowTypes.size()];
            std::string coded(rowBytes, '\0');
            for (size_t i = 0; i < rowBytes; i++) {
                int a = i >= bpp ? uint8_t(row[i - bpp]) : 0, b = uint8_t(prev[i]),
                    c = i >= bpp ? uint8_t(prev[i - bpp]) : 0;
                int p = 0;
                if (t == 1)
                    p = a;
                else if (t == 2)
                    p = b;
                else if (t == 3)
                    p = (a + b) / 2;
                else if (t == 4) {
                    int pp = a + b - c, pa = std::abs(pp - a), pb = std::abs(pp - b),
                        pc = std::abs(pp - c);
                    p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                }
                coded[i] = char(uint8_t(row[i]) - p);
            }
            out += char(t);
            out += coded;
        } else {
            out += row;
        }
        prev = row;
    }
    if (m.cutAt)
        out.resize(m.cutAt);
    return out;
}

std::string zlibOf(const std::string &s)
{
    uLongf n = compressBound(s.size());
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef *>(&out[0]), &n, reinterpret_cast<const Bytef *>(s.data()),
             s.size());
    out.resize(n);
    return out;
}

class RawCodecTest : public CodecFixture {
  protected:
    void answer(HookAnswers *h, const Img &m, uint32_t fill)
    {
        h->setInt(PdfRawImage_opWidth, W);
        h->setInt(PdfRawImage_opHeight, H);
        h->setInt(PdfRawImage_opBits, m.bits);
        h->setInt(PdfRawImage_opSamples, m.samples);
        h->setInt(PdfRawImage_opColourModel, m.model);
        if (m.imageMask)
            h->setInt(PdfRawImage_opImageMask, 1);
        if (m.predictor != 1)
            h->setInt(PdfRawImage_opPredictor, m.predictor);
        if (!m.decode.empty())
            h->answers[PdfRawImage_opDecode] =
                std::string(reinterpret_cast<const char *>(m.decode.data()), m.decode.size() * 4);
        if (!m.key.empty())
            h->answers[PdfRawImage_opColourKey] =
                std::string(reinterpret_cast<const char *>(m.key.data()), m.key.size() * 4);
        if (m.model == 3)
            h->answers[PdfRawImage_opPalette] = palette();
        h->setInt(PdfRawImage_opFill, int32_t(fill));
    }
};

TEST_F(RawCodecTest, ImagesDecodeToTheirSamplesPixels)
{
    const uint32_t fill = 0x00306090; // red 0x90, green 0x60, blue 0x30
    std::vector<Img> images = {
        {"gray 8", 8, 1, 1},
        {"gray 4", 4, 1, 1},
        {"gray 2", 2, 1, 1},
        {"gray 1", 1, 1, 1},
        {"gray 8 inverted", 8, 1, 1, 0, {1, 0}},
        {"gray 8 [0 2] clamps", 8, 1, 1, 0, {0, 2}},
        {"gray 8 short Decode takes defaults", 8, 1, 1, 0, {0.5f}},
        {"rgb 8", 8, 3, 2},
        {"rgb 4", 4, 3, 2},
        {"rgb 8 colour key", 8, 3, 2, 0, {}, {0, 200, 0, 255, 0, 120}},
        {"cmyk 8", 8, 4, 4},
        {"cmyk 2", 2, 4, 4},
        {"indexed 8", 8, 1, 3},
        {"indexed 2 colour key", 2, 1, 3, 0, {}, {1, 2}},
        {"image mask", 1, 1, 1, 1},
        {"image mask [1 0]", 1, 1, 1, 1, {1, 0}},
        {"no colour space", 1, 1, 0},
        {"predictor 15 per-row types", 8, 3, 2, 0, {}, {}, 15, 0, {0, 1, 2, 3, 4}},
        {"predictor 12 gray 4", 4, 1, 1, 0, {}, {}, 12},
        {"tiff predictor", 8, 3, 2, 0, {}, {}, 2},
        {"16 bits", 16, 1, 1, 0, {}, {}, 1, Res_pdfImageBad},
        {"no colour space of 2 bits", 2, 1, 0, 0, {}, {}, 1, Res_pdfImageBad},
        {"colour model 5", 8, 1, 5, 0, {}, {}, 1, Res_pdfImageBad},
        {"short colour key", 8, 3, 2, 0, {}, {0, 200}, 1, Res_pdfImageBad},
        {"png filter type 5", 8, 1, 1, 0, {}, {}, 15, Res_pdfImageBad, {0, 5}},
        {"cut inside row 6", 8, 1, 1, 0, {}, {}, 1, Res_pdfImageBad, {}, 5 * 5 + 2},
    };
    makeCodecStore(Pixel_format565, {Pdf_RawImageCodec_new});
    for (const Img &m : images) {
        SCOPED_TRACE(m.what);
        std::string bytes = data(m);
        // Whole images go through Flate; the others are raw.
        for (int flate = 0; flate < 2; flate++) {
            HookAnswers hook;
            answer(&hook, m, fill);
            if (flate)
                hook.answers[PdfRawImage_opFlate] = "";
            else
                hook.answers[PdfRawImage_opRaw] = "";
            ImageView *view = nullptr;
            ImageHandle *h =
                decodeBytes(flate ? zlibOf(bytes) : bytes, &view, answeringHook, &hook);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(lastResult(), m.result) << (flate ? "flate" : "raw");
            if (m.result == 0 && view) {
                ASSERT_NE(view->picture, nullptr);
                bool transparentSeen = false;
                for (int y = 0; y < H; y++)
                    for (int x = 0; x < W; x++) {
                        uint16_t want = 0;
                        uint8_t alpha = 0;
                        expect(m, x, y, &want, &alpha, fill);
                        const uint16_t *row = reinterpret_cast<const uint16_t *>(
                            view->picture->pixels + size_t(y) * view->picture->stride);
                        EXPECT_EQ(row[x], want) << x << "," << y;
                        transparentSeen |= alpha == 0;
                        if (view->mask) {
                            EXPECT_EQ(
                                view->mask->pixels[size_t(y) * view->mask->stride + size_t(x)],
                                alpha)
                                << x << "," << y;
                        }
                    }
                bool wantsMask = m.imageMask || m.model == 0 || !m.key.empty();
                EXPECT_EQ(view->mask != nullptr, wantsMask);
                if (wantsMask) {
                    EXPECT_TRUE(transparentSeen) << "the table shows transparency";
                }
            }
            ImageHandle_release(h);
        }
    }
    ImageStore_release(ctx);
}

TEST_F(RawCodecTest, LzwUsesTheImagesEarlyChangeAndNothingDecodesWithoutAnInput)
{
    // LZW literals of the gray samples at early change 0 and 1.
    Img m{"gray 8", 8, 1, 1};
    std::string plain = data(m);
    auto lzw = [&](int early) {
        std::string out;
        uint32_t acc = 0, bits = 0, width = 9, next = 258;
        auto put = [&](uint32_t code) {
            acc = acc << width | code;
            bits += width;
            while (bits >= 8) {
                out += char(acc >> (bits - 8));
                bits -= 8;
            }
            acc &= (1u << bits) - 1;
        };
        put(256);
        bool first = true;
        for (unsigned char c : plain) {
            put(c);
            if (!first)
                next++;
            first = false;
            while (next + uint32_t(early) >= (1u << width) && width < 12)
                width++;
        }
        put(257);
        if (bits)
            out += char(acc << (8 - bits));
        return out;
    };
    makeCodecStore(Pixel_format565, {Pdf_RawImageCodec_new});
    for (int early : {0, 1}) {
        HookAnswers hook;
        answer(&hook, m, 0);
        hook.answers[PdfRawImage_opLzw] = "";
        hook.setInt(PdfRawImage_opEarlyChange, early);
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(lzw(early), &view, answeringHook, &hook);
        EXPECT_EQ(lastResult(), 0) << early;
        if (view && view->picture) {
            uint16_t want = 0;
            uint8_t alpha = 0;
            expect(m, 4, 6, &want, &alpha, 0);
            EXPECT_EQ(reinterpret_cast<const uint16_t *>(view->picture->pixels +
                                                         6 * view->picture->stride)[4],
                      want);
        }
        ImageHandle_release(h);
    }
    ImageStore_release(ctx);
}

} // namespace
