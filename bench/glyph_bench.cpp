// Glyph loading speed: every glyph of DejaVu Sans loaded into a point-record
// outline through TtGlyph_load (the font read through the buffered reader
// over a memory stream, a loca locator of the benchmark's own), as a ratio
// against FreeType loading the same glyphs unscaled (FT_LOAD_NO_SCALE) from
// the same bytes in the same run (the "ratio" counter; the reported time
// is the engine's). FreeType is only the reference here. Goal: ratio at
// most 1.5.
//
// Text page speed (BM_TextPage/px/warm): a page of 5,000 glyphs of DejaVu
// Sans (50 lines of 100 characters) at 12 and 24 pixels drawn through text
// runs of a font list over the font engine into a 5-6-5 bitmap, the glyph
// caches emptied before every page (warm 0) or kept (warm 1).
// bench/glyph_vs_pil.py times PIL's ImageDraw.text on the same lines in
// the same run. Goals: within 1.5x of PIL cold, faster than PIL warm.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/ttglyph.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"
#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "core/text/cstr.h"
#include "fonts/catalogue.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "fonts/truetype.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
const char *fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

uint32_t be16(const std::string &b, size_t at)
{
    return uint8_t(b[at]) << 8 | uint8_t(b[at + 1]);
}

uint32_t be32(const std::string &b, size_t at)
{
    return be16(b, at) << 16 | be16(b, at + 2);
}

struct Font {
    std::string bytes;
    std::vector<uint32_t> loca;
    uint32_t glyfOffset = 0, glyfLength = 0;
    uint16_t unitsPerEm = 0;
};

Font readFont()
{
    Font f;
    std::ifstream in(fontPath, std::ios::binary);
    if (!in.good()) {
        fprintf(stderr, "glyph_bench: %s missing (fonts-dejavu-core)\n", fontPath);
        abort();
    }
    std::stringstream ss;
    ss << in.rdbuf();
    f.bytes = ss.str();
    const std::string &b = f.bytes;
    std::map<std::string, uint32_t> at;
    for (uint32_t i = 0, n = be16(b, 4); i < n; i++) {
        at[b.substr(12 + 16 * i, 4)] = be32(b, 12 + 16 * i + 8);
        if (b.substr(12 + 16 * i, 4) == "glyf")
            f.glyfLength = be32(b, 12 + 16 * i + 12);
    }
    f.glyfOffset = at["glyf"];
    f.unitsPerEm = uint16_t(be16(b, at["head"] + 18));
    bool longOffsets = be16(b, at["head"] + 50) != 0;
    uint32_t glyphs = be16(b, at["maxp"] + 4);
    for (uint32_t g = 0; g <= glyphs; g++)
        f.loca.push_back(longOffsets ? be32(b, at["loca"] + 4 * g)
                                     : 2 * be16(b, at["loca"] + 2 * g));
    return f;
}

int locate(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    auto *loca = static_cast<const std::vector<uint32_t> *>(face->locationData);
    *offset = glyph < loca->size() ? (*loca)[glyph] : 0;
    return glyph < loca->size() ? Res_ok : Res_notFound;
}

// Loads every glyph with data; answers the number of points, so that the
// work cannot be dropped.
size_t engineLoadAll(FontFace *face, const Font &f)
{
    size_t points = 0;
    for (size_t g = 0; g + 1 < f.loca.size(); g++) {
        if (f.loca[g] == f.loca[g + 1])
            continue;
        GlyphPath *o = nullptr;
        if (TtGlyph_load(face, f.loca[g], &o, nullptr) != Res_ok)
            abort();
        points += o->bytes ? (o->lastStart + o->lastSize) / GlyphPoint_wideSize : 0;
        GlyphPath_destroy(o);
    }
    return points;
}

size_t freetypeLoadAll(FT_Face face)
{
    size_t points = 0;
    for (FT_Long g = 0; g < face->num_glyphs; g++) {
        if (FT_Load_Glyph(face, FT_UInt(g), FT_LOAD_NO_SCALE) != 0)
            abort();
        points += size_t(face->glyph->outline.n_points);
    }
    return points;
}

void BM_LoadEveryGlyph(benchmark::State &state)
{
    Font f = readFont();
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    FontFace *face = nullptr;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (Font_faceCreate(ctx, 0, 0, nullptr, &face) != Res_ok ||
        Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(f.bytes.data()), f.bytes.size(), 0,
                       Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) != Res_ok ||
        BufStream_open(ctx, nullptr, h, uint32_t(f.bytes.size()), BufStream_bigEndian,
                       &face->reader) != Res_ok)
        abort();
    FontTableDir dir{};
    dir.tables[FontTable_glyf] = {f.glyfOffset, f.glyfLength};
    face->tables = &dir;
    face->unitsPerEm = f.unitsPerEm;
    face->locationData = &f.loca;
    face->locateGlyph = locate;

    FT_Library library = nullptr;
    FT_Face ftFace = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(f.bytes.data()),
                           FT_Long(f.bytes.size()), 0, &ftFace) != 0)
        abort();

    double engine = 0, reference = 0;
    size_t enginePoints = 0, referencePoints = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        enginePoints = engineLoadAll(face, f);
        auto t1 = Clock::now();
        referencePoints = freetypeLoadAll(ftFace);
        auto t2 = Clock::now();
        engine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = engine / reference;
    state.counters["glyphs"] = double(f.loca.size() - 1);
    state.counters["points"] = double(enginePoints);
    state.counters["ft_points"] = double(referencePoints);

    FT_Done_Face(ftFace);
    FT_Done_FreeType(library);
    BufStream_close(face->reader);
    face->reader = nullptr;
    Font_faceRelease(face);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    TestHeap_close(&heap);
}
BENCHMARK(BM_LoadEveryGlyph)->UseManualTime()->Unit(benchmark::kMillisecond);

// The text page: one font engine whose catalogue holds DejaVu Sans read
// from memory, a list over it, the page's lines and a bitmap.
struct TextPage {
    TestHeap heap{};
    EngineContext *ctx = nullptr;
    EngineInstance instance{};
    std::string bytes;
    FontList *fonts = nullptr;
    std::vector<uint8_t> pixels;
    Bitmap *bitmap = nullptr;
    std::vector<std::u16string> lines;
    bool ready = false;

    TextPage()
    {
        bytes = readFont().bytes;
        TestHeap_open(&heap, 64u << 20, 0);
        ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        ctx->instance = heap.instance;
        heap.instance->context = ctx;
        instance.context = ctx;
        FontFace *face = nullptr;
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        int r = FontEngine_create(ctx);
        if (r == Res_ok)
            r = Font_faceCreate(ctx, 0, 0, nullptr, &face);
        if (r == Res_ok)
            r = Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                               0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted);
        if (r == Res_ok)
            r = BufStream_open(ctx, nullptr, h, uint32_t(bytes.size()), BufStream_bigEndian,
                               &face->reader);
        if (r == Res_ok)
            r = TrueType_open(face, 0, 0);
        if (r == Res_ok) {
            face->name = Cstr_dup("DejaVu Sans");
            r = face->name ? FontCatalogue_addFace(ctx->fontEngine->catalogue, nullptr, face)
                           : Res_noMemory;
        }
        if (r != Res_ok) {
            fprintf(stderr, "glyph_bench: the font engine with DejaVu Sans: error %d\n", r);
            return;
        }
        FontEngine *fe = ctx->fontEngine;
        if (LruCache_resize(FontEngine_defaultPathCache, &fe->pathCache) != Res_ok ||
            LruArena_resize(1024 << 10, &fe->maskCache) != Res_ok)
            return;
        const char *families[] = {"DejaVu Sans"};
        r = Font_listCreate(&instance, families, 1, 0, nullptr, &fonts);
        if (r != Res_ok || !fonts->fontCount) {
            fprintf(stderr, "glyph_bench: no font list over DejaVu Sans: error %d\n", r);
            return;
        }
        pixels.assign(size_t(1600) * 1600 * 2, 0xFF);
        if (Bitmap_create(ctx, &bitmap, 1600, 1600, Pixel_format565, 0x10000, pixels.data(), 0) !=
            Res_ok)
            return;
        for (int l = 0; l < 50; l++) {
            std::u16string line;
            for (int i = 0; i < 100; i++) {
                uint32_t k = uint32_t(l * 100 + i) * 2654435761u >> 20;
                line += k % 6 == 0 ? u' ' : char16_t(u'!' + k % 94);
            }
            lines.push_back(line);
        }
        ready = true;
    }

    void draw(int px)
    {
        DrawTarget target{bitmap, nullptr, 0, 0};
        for (size_t l = 0; l < lines.size(); l++) {
            // 72 pixels an inch: px points are px pixels.
            Matrix m = {72, 0, 0, 72, 4, int32_t(1600 - (l + 1) * px * 5 / 4)};
            (void)TextRun_outline(fonts, px << 16, 0, nullptr, lines[l].data(),
                                  uint32_t(lines[l].size()), 0, 0, &m, nullptr, &target,
                                  0xFF000000);
        }
    }

    void emptyCaches()
    {
        FontEngine *fe = ctx->fontEngine;
        (void)LruCache_resize(FontEngine_defaultPathCache, &fe->pathCache);
        (void)LruArena_resize(1024 << 10, &fe->maskCache);
    }
};

TextPage &textPage()
{
    static TextPage page;
    return page;
}

void BM_TextPage(benchmark::State &state)
{
    TextPage &p = textPage();
    if (!p.ready) {
        state.SkipWithError("DejaVu Sans could not be set up");
        return;
    }
    int px = int(state.range(0));
    bool warm = state.range(1) != 0;
    std::fill(p.pixels.begin(), p.pixels.end(), uint8_t(0xFF));
    if (warm)
        p.draw(px);
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            p.emptyCaches();
            state.ResumeTiming();
        }
        p.draw(px);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 5000);
    // Pixels the page inked (the 5-6-5 white is 0xFFFF), to show it drew.
    size_t inked = 0;
    for (size_t i = 0; i + 1 < p.pixels.size(); i += 2)
        inked += p.pixels[i] != 0xFF || p.pixels[i + 1] != 0xFF;
    state.counters["inked"] = double(inked);
}
BENCHMARK(BM_TextPage)
    ->Args({12, 0})
    ->Args({12, 1})
    ->Args({24, 0})
    ->Args({24, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace
