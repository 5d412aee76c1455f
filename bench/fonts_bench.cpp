// Mapping and measuring text: 1 MB of mixed text (512 Ki 16-bit units of
// Latin, Latin-1 accents, Greek, Cyrillic, punctuation and some CJK that
// the font lacks) mapped to glyphs and measured through DejaVu Sans, in
// runs of 256 characters, by the font engine (TrueType_open, the face's
// map and metrics operations) and, as the reference in the same run, by
// FreeType's FT_Get_Char_Index and unscaled FT_Get_Advance on the same
// bytes. The "ratio" counter is the engine's time over FreeType's (goal:
// at most 1.5); "loca_ratio" is the compacted glyph locations' size over
// the raw 'loca' table's (goal: at most 0.5), for DejaVu Sans and, as
// "loca_ratio_liberation", Liberation Sans. FreeType is only the
// reference here.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/truetype.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
const char *fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char *secondPath = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr uint32_t runLength = 256;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string readFont(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.good()) {
        fprintf(stderr, "fonts_bench: %s missing (fonts-dejavu-core, fonts-liberation2)\n", path);
        abort();
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t rawLocaBytes(const std::string &b)
{
    auto be = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v = v << 8 | uint8_t(b[at + i]);
        return v;
    };
    for (uint32_t i = 0; i < be(4, 2); i++)
        if (b.compare(12 + 16 * i, 4, "loca") == 0)
            return be(12 + 16 * i + 12, 4);
    return 0;
}

// The compacted locations' size over the raw 'loca' size of a font.
double locaRatio(EngineContext *ctx, const std::string &bytes)
{
    FontFace *face = nullptr;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0, at = 0;
    if (Font_faceCreate(ctx, 0, 0, nullptr, &face) != Res_ok ||
        Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), 0,
                       Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != Res_ok ||
        BufStream_open(ctx, nullptr, h, uint32_t(bytes.size()), BufStream_bigEndian,
                       &face->reader) != Res_ok ||
        TrueType_open(face, 0, 0) != Res_ok || face->locateGlyph(face, 1, &at) != Res_ok)
        abort();
    double ratio = double(TrueType_locationBytes(face)) / rawLocaBytes(bytes);
    Font_faceRelease(face);
    return ratio;
}

// Words from a few scripts, separated by spaces and punctuation.
std::vector<uint16_t> mixedText(size_t units)
{
    const std::u16string words[] = {u"the",    u"quick",  u"brown", u"fox",      u"jumps",
                                    u"über",   u"façade", u"naïve", u"Ångström", u"λόγος",
                                    u"σοφία",  u"город",  u"книга", u"日本語",   u"文字",
                                    u"Zürich", u"€100",   u"(1–2)"};
    const char16_t gaps[] = {u' ', u' ', u' ', u',', u'.', u'\u00A0', u';'};
    std::vector<uint16_t> text;
    uint32_t seed = 12345;
    while (text.size() < units) {
        seed = seed * 1103515245u + 12345u;
        const std::u16string &w = words[(seed >> 16) % (sizeof words / sizeof words[0])];
        text.insert(text.end(), w.begin(), w.end());
        text.push_back(gaps[(seed >> 8) % (sizeof gaps / sizeof gaps[0])]);
    }
    text.resize(units);
    return text;
}

// Maps and measures the text in runs; answers the sum of the advances.
uint64_t engineRun(FontFace *face, const std::vector<uint16_t> &text)
{
    uint16_t glyphs[runLength], bearing[runLength], advance[runLength];
    uint8_t tags[runLength];
    uint64_t sum = 0;
    for (size_t at = 0; at < text.size(); at += runLength) {
        uint32_t n = uint32_t(std::min<size_t>(runLength, text.size() - at));
        for (uint32_t i = 0; i < n; i++)
            glyphs[i] = 0, tags[i] = 0;
        uint32_t remaining = n;
        if (face->map(face, &text[at], n, 0, glyphs, tags, &remaining) != Res_ok ||
            face->advance(face, glyphs, n, 0, tags, bearing, advance) != Res_ok)
            abort();
        for (uint32_t i = 0; i < n; i++)
            sum += advance[i];
    }
    return sum;
}

uint64_t freetypeRun(FT_Face face, const std::vector<uint16_t> &text)
{
    uint64_t sum = 0;
    for (uint16_t c : text) {
        FT_UInt g = FT_Get_Char_Index(face, c);
        FT_Fixed a = 0;
        if (FT_Get_Advance(face, g, FT_LOAD_NO_SCALE, &a) != 0)
            abort();
        sum += uint64_t(a);
    }
    return sum;
}

void BM_MapAndMeasure(benchmark::State &state)
{
    std::string bytes = readFont(fontPath);
    std::string second = readFont(secondPath);
    std::vector<uint16_t> text = mixedText(512 * 1024);
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    FontFace *face = nullptr;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (FontEngine_create(ctx) != Res_ok || Font_faceCreate(ctx, 0, 0, nullptr, &face) != Res_ok ||
        Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), 0,
                       Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != Res_ok ||
        BufStream_open(ctx, nullptr, h, uint32_t(bytes.size()), BufStream_bigEndian,
                       &face->reader) != Res_ok ||
        TrueType_open(face, 0, 0) != Res_ok)
        abort();
    uint32_t at = 0;
    if (face->locateGlyph(face, 1, &at) != Res_ok)
        abort();

    FT_Library library = nullptr;
    FT_Face ftFace = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(bytes.data()),
                           FT_Long(bytes.size()), 0, &ftFace) != 0)
        abort();

    double engine = 0, reference = 0;
    uint64_t engineSum = 0, referenceSum = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        engineSum = engineRun(face, text);
        auto t1 = Clock::now();
        referenceSum = freetypeRun(ftFace, text);
        auto t2 = Clock::now();
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.counters["loca_ratio"] = double(TrueType_locationBytes(face)) / rawLocaBytes(bytes);
    state.counters["loca_ratio_liberation"] = locaRatio(ctx, second);
    state.counters["em_sum"] = double(engineSum) / 16384;
    state.counters["ft_em_sum"] = double(referenceSum) / ftFace->units_per_EM;

    FT_Done_Face(ftFace);
    FT_Done_FreeType(library);
    Font_faceRelease(face);
    FontEngine_destroy(ctx);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_MapAndMeasure)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
