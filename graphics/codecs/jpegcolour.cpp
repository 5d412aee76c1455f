// Colour output of the JPEG decoder: one routine per JPEG colour space that
// writes 5-6-5 pixels from interleaved component rows, using the JFIF
// conversion with the rounding of the IJG library's own tables.
#include "graphics/codecs/jpegcolour.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Machines with 256-bit integer vectors take a wider path, chosen when the
// routine runs.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define JPEGCOLOUR_AVX2 1
#include <immintrin.h>
#endif

#include "core/result.h"

namespace {

// The conversion tables: the library's four YCC tables (red from Cr and
// blue from Cb rounded to integers, green from Cb and Cr in 16.16 with the
// rounding half in the Cb table), and the two lane tables of the fast
// YCbCr routine.
//
// The fast routine keeps three results in one 32-bit word: blue in bits
// 0-10, red in bits 11-21, green in bits 22-31. Y x 0x00400801 puts Y in
// every lane; cbLane[Cb] adds blue's and half of green's contribution,
// crLane[Cr] red's and the other half of green's, each lane biased by 256
// so that it never goes negative and never carries into the next (lane
// values stay within 29 .. 738). A lane is within 0 .. 255 exactly when its
// value has bit 8 set and the bits above clear.
struct YccTables {
    int32_t crR[256];
    int32_t cbB[256];
    int32_t crG[256];
    int32_t cbG[256];
    uint32_t cbLane[256];
    uint32_t crLane[256];
};

constexpr int32_t fix1402 = 91881;   // 1.40200 in 16.16
constexpr int32_t fix1772 = 116130;  // 1.77200
constexpr int32_t fix071414 = 46802; // 0.71414
constexpr int32_t fix034414 = 22554; // 0.34414
constexpr int32_t half = 1 << 15;

constexpr YccTables makeTables()
{
    YccTables t{};
    for (int32_t i = 0; i < 256; i++) {
        int32_t x = i - 128;
        t.crR[i] = (fix1402 * x + half) >> 16;
        t.cbB[i] = (fix1772 * x + half) >> 16;
        t.crG[i] = -fix071414 * x;
        t.cbG[i] = -fix034414 * x + half;
        int32_t greenCb = t.cbG[i] >> 16;
        int32_t greenCr = t.crG[i] >> 16;
        t.cbLane[i] = uint32_t(t.cbB[i] + 256) | (uint32_t(greenCb) << 22);
        t.crLane[i] = (uint32_t(t.crR[i] + 256) << 11) | (uint32_t(greenCr + 256) << 22);
    }
    return t;
}

constexpr YccTables ycc = makeTables();

constexpr uint32_t laneBias = 0x40080100;  // 256 in every lane
constexpr uint32_t laneCheck = 0xC0380700; // bits 8 and up of every lane

inline uint32_t clamp255(int32_t v)
{
    return v < 0 ? 0u : v > 255 ? 255u : uint32_t(v);
}

inline uint16_t pack565(uint32_t r, uint32_t g, uint32_t b)
{
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// The green of the YCC conversion as the library computes it.
inline int32_t greenOf(uint32_t cb, uint32_t cr)
{
    return (ycc.cbG[cb] + ycc.crG[cr]) >> 16;
}

void greyFirst(const uint8_t *in, void *out, uint32_t n, uint32_t components)
{
    uint8_t *o = static_cast<uint8_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += components)
        o[i] = in[0];
}

void copySame(const uint8_t *in, void *out, uint32_t n, uint32_t components)
{
    memcpy(out, in, size_t(n) * components);
}

// The components each space needs.
int32_t componentsOf(int32_t space)
{
    switch (space) {
    case JpegSpace_grey: return 1;
    case JpegSpace_rgb:
    case JpegSpace_ycc: return 3;
    case JpegSpace_cmyk:
    case JpegSpace_ycck:
    case JpegSpace_ycckPlain:
    case JpegSpace_cmykPlain: return 4;
    default: return 0;
    }
}

JpegColourFn routine565(int32_t space)
{
    switch (space) {
    case JpegSpace_ycc: return JpegColour_ycc565;
    case JpegSpace_grey: return JpegColour_grey565;
    case JpegSpace_rgb: return JpegColour_rgb565;
    case JpegSpace_cmyk: return JpegColour_cmyk565;
    case JpegSpace_cmykPlain: return JpegColour_cmykPlain565;
    case JpegSpace_ycck: return JpegColour_ycck565;
    case JpegSpace_ycckPlain: return JpegColour_ycckPlain565;
    default: return nullptr;
    }
}

} // namespace

int JpegColour_init(JpegColour *colour, int32_t space, int32_t inComponents, int32_t output)
{
    *colour = JpegColour{space, output, inComponents, 0, nullptr};
    if (inComponents < 1)
        return Res_notImplemented;
    JpegColourFn fn = nullptr;
    int32_t outComponents = 0;
    if (output == JpegOut_grey) {
        if (space == JpegSpace_grey || space == JpegSpace_ycc) {
            fn = greyFirst;
            outComponents = 1;
        }
    } else if (output == JpegOut_565) {
        fn = routine565(space);
        outComponents = 2;
    } else if (output == JpegOut_same) {
        fn = copySame;
        outComponents = inComponents;
    }
    if (!fn || (output != JpegOut_same && componentsOf(space) != inComponents))
        return Res_notImplemented;
    colour->convert = fn;
    colour->outComponents = outComponents;
    return Res_ok;
}

#if defined(__SSE2__)

namespace {

// Three registers of 16 interleaved Y, Cb, Cr pixels to one register of
// each component.
inline void deinterleave16(const uint8_t *in, __m128i *y, __m128i *cb, __m128i *cr)
{
    __m128i t00 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
    __m128i t01 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16));
    __m128i t02 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 32));
    __m128i t10 = _mm_unpacklo_epi8(t00, _mm_unpackhi_epi64(t01, t01));
    __m128i t11 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t00, t00), t02);
    __m128i t12 = _mm_unpacklo_epi8(t01, _mm_unpackhi_epi64(t02, t02));
    __m128i t20 = _mm_unpacklo_epi8(t10, _mm_unpackhi_epi64(t11, t11));
    __m128i t21 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t10, t10), t12);
    __m128i t22 = _mm_unpacklo_epi8(t11, _mm_unpackhi_epi64(t12, t12));
    __m128i t30 = _mm_unpacklo_epi8(t20, _mm_unpackhi_epi64(t21, t21));
    __m128i t31 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t20, t20), t22);
    __m128i t32 = _mm_unpacklo_epi8(t21, _mm_unpackhi_epi64(t22, t22));
    *y = _mm_unpacklo_epi8(t30, _mm_unpackhi_epi64(t31, t31));
    *cb = _mm_unpacklo_epi8(_mm_unpackhi_epi64(t30, t30), t32);
    *cr = _mm_unpacklo_epi8(t31, _mm_unpackhi_epi64(t32, t32));
}

// Sixteen pixels of the YCbCr routine at once, with exactly the results of
// the lane tables: each table entry is a rounded 16.16 product, which the
// 16-bit high-half multiply reproduces (for a product p of 2x,
// floor((floor(p / 65536) + 1) / 2) is the rounded half of p / 65536), and
// the saturating limits clamp as the lanes do.
void ycc565x16(const uint8_t *in, uint16_t *out)
{
    __m128i y, cb, cr;
    deinterleave16(in, &y, &cb, &cr);

    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i centre = _mm_set1_epi16(128);
    __m128i channels[2][3];
    for (int part = 0; part < 2; part++) {
        __m128i y16 = part ? _mm_unpackhi_epi8(y, zero) : _mm_unpacklo_epi8(y, zero);
        __m128i cb16 =
            _mm_sub_epi16(part ? _mm_unpackhi_epi8(cb, zero) : _mm_unpacklo_epi8(cb, zero), centre);
        __m128i cr16 =
            _mm_sub_epi16(part ? _mm_unpackhi_epi8(cr, zero) : _mm_unpacklo_epi8(cr, zero), centre);
        __m128i cb2 = _mm_add_epi16(cb16, cb16);
        __m128i cr2 = _mm_add_epi16(cr16, cr16);
        // crR = x + round(0.402 x), cbB = 2x + round(-0.228 x) (in 16.16).
        __m128i red = _mm_add_epi16(
            cr16,
            _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(cr2, _mm_set1_epi16(26345)), one), 1));
        __m128i blue = _mm_add_epi16(
            cb2,
            _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(cb2, _mm_set1_epi16(-14942)), one), 1));
        // Green: the Cb part rounded, the Cr part floored (-x + 0.28586 x).
        __m128i greenCb =
            _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(cb2, _mm_set1_epi16(-22554)), one), 1);
        __m128i greenCr = _mm_sub_epi16(_mm_mulhi_epi16(cr16, _mm_set1_epi16(18734)), cr16);
        channels[part][0] = _mm_add_epi16(y16, red);
        channels[part][1] = _mm_add_epi16(y16, _mm_add_epi16(greenCb, greenCr));
        channels[part][2] = _mm_add_epi16(y16, blue);
    }
    // Saturating to bytes clamps to 0 .. 255; then the high byte of each
    // pixel is red's top 5 bits and green's top 3, the low byte green's
    // next 3 bits and blue's top 5.
    __m128i red = _mm_packus_epi16(channels[0][0], channels[1][0]);
    __m128i green = _mm_packus_epi16(channels[0][1], channels[1][1]);
    __m128i blue = _mm_packus_epi16(channels[0][2], channels[1][2]);
    __m128i high = _mm_or_si128(_mm_and_si128(red, _mm_set1_epi8(char(0xF8))),
                                _mm_and_si128(_mm_srli_epi16(green, 5), _mm_set1_epi8(0x07)));
    __m128i low = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(green, 3), _mm_set1_epi8(char(0xE0))),
                               _mm_and_si128(_mm_srli_epi16(blue, 3), _mm_set1_epi8(0x1F)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(low, high));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(low, high));
}

#if defined(JPEGCOLOUR_AVX2)

// The same for 32 pixels in 256-bit registers: two 16-pixel deinterleaves
// side by side, the same arithmetic, the halves put back in order.
__attribute__((target("avx2"), always_inline)) inline void ycc565Block32(const uint8_t *in,
                                                                         uint16_t *out)
{
    __m128i y0, cb0, cr0, y1, cb1, cr1;
    deinterleave16(in, &y0, &cb0, &cr0);
    deinterleave16(in + 48, &y1, &cb1, &cr1);
    __m256i y = _mm256_inserti128_si256(_mm256_castsi128_si256(y0), y1, 1);
    __m256i cb = _mm256_inserti128_si256(_mm256_castsi128_si256(cb0), cb1, 1);
    __m256i cr = _mm256_inserti128_si256(_mm256_castsi128_si256(cr0), cr1, 1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i centre = _mm256_set1_epi16(128);
    __m256i channels[2][3];
    for (int part = 0; part < 2; part++) {
        __m256i y16 = part ? _mm256_unpackhi_epi8(y, zero) : _mm256_unpacklo_epi8(y, zero);
        __m256i cb16 = _mm256_sub_epi16(
            part ? _mm256_unpackhi_epi8(cb, zero) : _mm256_unpacklo_epi8(cb, zero), centre);
        __m256i cr16 = _mm256_sub_epi16(
            part ? _mm256_unpackhi_epi8(cr, zero) : _mm256_unpacklo_epi8(cr, zero), centre);
        __m256i cb2 = _mm256_add_epi16(cb16, cb16);
        __m256i cr2 = _mm256_add_epi16(cr16, cr16);
        __m256i red = _mm256_add_epi16(
            cr16, _mm256_srai_epi16(
                      _mm256_add_epi16(_mm256_mulhi_epi16(cr2, _mm256_set1_epi16(26345)), one), 1));
        __m256i blue = _mm256_add_epi16(
            cb2, _mm256_srai_epi16(
                     _mm256_add_epi16(_mm256_mulhi_epi16(cb2, _mm256_set1_epi16(-14942)), one), 1));
        __m256i greenCb = _mm256_srai_epi16(
            _mm256_add_epi16(_mm256_mulhi_epi16(cb2, _mm256_set1_epi16(-22554)), one), 1);
        __m256i greenCr =
            _mm256_sub_epi16(_mm256_mulhi_epi16(cr16, _mm256_set1_epi16(18734)), cr16);
        channels[part][0] = _mm256_add_epi16(y16, red);
        channels[part][1] = _mm256_add_epi16(y16, _mm256_add_epi16(greenCb, greenCr));
        channels[part][2] = _mm256_add_epi16(y16, blue);
    }
    __m256i red = _mm256_packus_epi16(channels[0][0], channels[1][0]);
    __m256i green = _mm256_packus_epi16(channels[0][1], channels[1][1]);
    __m256i blue = _mm256_packus_epi16(channels[0][2], channels[1][2]);
    __m256i high =
        _mm256_or_si256(_mm256_and_si256(red, _mm256_set1_epi8(char(0xF8))),
                        _mm256_and_si256(_mm256_srli_epi16(green, 5), _mm256_set1_epi8(0x07)));
    __m256i low =
        _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(green, 3), _mm256_set1_epi8(char(0xE0))),
                        _mm256_and_si256(_mm256_srli_epi16(blue, 3), _mm256_set1_epi8(0x1F)));
    // Within each 128-bit half: pixels 0-7 and 16-23, then 8-15 and 24-31.
    __m256i first = _mm256_unpacklo_epi8(low, high);
    __m256i second = _mm256_unpackhi_epi8(low, high);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                        _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 16),
                        _mm256_permute2x128_si256(first, second, 0x31));
}

// Whole blocks of 32 pixels of n; the number of pixels done.
__attribute__((target("avx2"))) uint32_t ycc565x32(const uint8_t *in, uint16_t *out, uint32_t n)
{
    uint32_t done = 0;
    for (; done + 32 <= n; done += 32, in += 96, out += 32)
        ycc565Block32(in, out);
    return done;
}

#endif

} // namespace

#endif

void JpegColour_ycc565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    uint32_t i = 0;
#if defined(JPEGCOLOUR_AVX2)
    if (n >= 32 && __builtin_cpu_supports("avx2")) {
        i = ycc565x32(in, o, n);
        in += 3 * size_t(i);
    }
#endif
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16, in += 48)
        ycc565x16(in, o + i);
#endif
    for (; i < n; i++, in += 3) {
        uint32_t word = in[0] * 0x00400801u + ycc.cbLane[in[1]] + ycc.crLane[in[2]];
        if ((word & laneCheck) == laneBias) {
            uint32_t w = ((word - laneBias) >> 3) & 0x07E0F81Fu;
            o[i] = uint16_t(w | (w >> 16));
            continue;
        }
        // A lane outside 0 .. 255: clamp each one.
        uint32_t b = clamp255(int32_t(word & 0x7FF) - 256);
        uint32_t r = clamp255(int32_t((word >> 11) & 0x7FF) - 256);
        uint32_t g = clamp255(int32_t(word >> 22) - 256);
        o[i] = pack565(r, g, b);
    }
}

void JpegColour_grey565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++) {
        uint32_t g = in[i];
        o[i] = uint16_t((g >> 3) * 0x0801u | ((g >> 2) << 5));
    }
}

void JpegColour_rgb565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += 3)
        o[i] = pack565(in[0], in[1], in[2]);
}

// Ink values multiply: a colour channel is what the coloured ink leaves of
// the light times what the black ink leaves, so (255 - ink) x (255 - K) /
// 255 rounded, as colour-managed readers without a profile compute it.
// Adding the two inks instead (255 - ink - K) darkens every colour that
// has black in it.
inline uint32_t inkProduct(uint32_t a, uint32_t b)
{
    uint32_t x = a * b + 128;
    return (x + (x >> 8)) >> 8;
}

// Inverted inks (Adobe): each stored value is what its ink leaves.
void JpegColour_cmyk565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += 4) {
        uint32_t k = in[3];
        o[i] = pack565(inkProduct(in[0], k), inkProduct(in[1], k), inkProduct(in[2], k));
    }
}

// Plain inks: each stored value is the ink itself.
void JpegColour_cmykPlain565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += 4) {
        uint32_t k = 255u - in[3];
        o[i] = pack565(inkProduct(255u - in[0], k), inkProduct(255u - in[1], k),
                       inkProduct(255u - in[2], k));
    }
}

// YCCK: Y, Cb and Cr give, through the YCbCr conversion, 255 minus the
// stored C, M and Y (as the library turns YCCK into CMYK); K is stored as
// it is. Inverted (Adobe) values then multiply as for CMYK.
void JpegColour_ycck565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += 4) {
        int32_t y = in[0];
        uint32_t cb = in[1], cr = in[2], k = in[3];
        uint32_t c = clamp255(255 - (y + ycc.crR[cr]));
        uint32_t m = clamp255(255 - (y + greenOf(cb, cr)));
        uint32_t ye = clamp255(255 - (y + ycc.cbB[cb]));
        o[i] = pack565(inkProduct(c, k), inkProduct(m, k), inkProduct(ye, k));
    }
}

// YCCK of plain inks: the YCbCr conversion gives 255 minus each ink.
void JpegColour_ycckPlain565(const uint8_t *in, void *out, uint32_t n, uint32_t)
{
    uint16_t *o = static_cast<uint16_t *>(out);
    for (uint32_t i = 0; i < n; i++, in += 4) {
        int32_t y = in[0];
        uint32_t cb = in[1], cr = in[2], k = 255u - in[3];
        uint32_t r = clamp255(y + ycc.crR[cr]);
        uint32_t g = clamp255(y + greenOf(cb, cr));
        uint32_t b = clamp255(y + ycc.cbB[cb]);
        o[i] = pack565(inkProduct(r, k), inkProduct(g, k), inkProduct(b, k));
    }
}
