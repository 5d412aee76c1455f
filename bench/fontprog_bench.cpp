// Font program speed: every glyph of NimbusSans-Regular (URW base-35) built
// into a byte-coded outline, from its Type 1 program (".t1", Type1_buildGlyph
// over the parsed CharStrings and Subrs) and from the 'CFF ' table of its
// ".otf" (Type2_buildGlyph with the Private DICT's widths and Subrs), each
// as a ratio against FreeType loading the same glyphs unscaled and
// unhinted from the same bytes in the same run (the "ratio" counter; the
// reported time is the engine's). Goal: ratio at most 1.5 for each format.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/programs/cff.h"
#include "fonts/programs/type1.h"
#include "graphics/glyphpath.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
const char *const t1Path = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char *const otfPath = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string readFont(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.good()) {
        fprintf(stderr, "fontprog_bench: %s missing (fonts-urw-base35)\n", path);
        abort();
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

size_t freetypeLoadAll(FT_Face face)
{
    size_t points = 0;
    for (FT_Long g = 0; g < face->num_glyphs; g++) {
        if (FT_Load_Glyph(face, FT_UInt(g), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0)
            abort();
        points += size_t(face->glyph->outline.n_points);
    }
    return points;
}

// Times engine() against FreeType over the same bytes.
template <typename F> void compare(benchmark::State &state, const std::string &bytes, F engine)
{
    FT_Library library = nullptr;
    FT_Face ftFace = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(bytes.data()),
                           FT_Long(bytes.size()), 0, &ftFace) != 0)
        abort();
    double mine = 0, reference = 0;
    size_t glyphs = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        glyphs = engine();
        auto t1 = Clock::now();
        benchmark::DoNotOptimize(freetypeLoadAll(ftFace));
        auto t2 = Clock::now();
        mine += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["ratio"] = mine / reference;
    state.counters["glyphs"] = double(glyphs);
    FT_Done_Face(ftFace);
    FT_Done_FreeType(library);
}

void BM_Type1EveryGlyph(benchmark::State &state)
{
    std::string bytes = readFont(t1Path);
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    ByteStream *s = nullptr;
    PdfGlyphNameList names{-768, nullptr};
    Type1Parser p;
    if (Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), &s) !=
            Res_ok ||
        Type1_parse(nullptr, s, &names, &p) != Res_ok)
        abort();
    compare(state, bytes, [&]() {
        for (uint32_t i = 0; i < p.charStrings.count; i++) {
            NameDictEntry *e = NameDict_at(&p.charStrings, i);
            GlyphPath *o = nullptr;
            int32_t sb = 0, adv = 0;
            if (GlyphPath_create(&o, GlyphPath_kindCodes) != Res_ok ||
                Type1_buildGlyph(o, p.subrs, p.subrCount, e->data, e->length, &sb, &adv, p.lenIV) !=
                    Res_ok ||
                GlyphPath_finish(o) != Res_ok)
                abort();
            GlyphPath_destroy(o);
        }
        return size_t(p.charStrings.count);
    });
    Type1_freeParser(&p);
    (void)ByteStream_close(s);
    TestHeap_close(&heap);
}
BENCHMARK(BM_Type1EveryGlyph)->UseManualTime()->Unit(benchmark::kMillisecond);

uint32_t be(const std::string &b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; i++)
        v = v << 8 | uint8_t(b[at + i]);
    return v;
}

void BM_CffEveryGlyph(benchmark::State &state)
{
    std::string otf = readFont(otfPath);
    std::string cff;
    for (uint32_t i = 0, n = be(otf, 4, 2); i < n; i++)
        if (otf.compare(12 + 16 * i, 4, "CFF ") == 0)
            cff = otf.substr(be(otf, 12 + 16 * i + 8, 4), be(otf, 12 + 16 * i + 12, 4));
    TestHeap heap;
    TestHeap_open(&heap, 64u << 20, 0);
    ByteStream *s = nullptr;
    if (cff.empty() || Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(cff.data()),
                                             cff.size(), &s) != Res_ok)
        abort();
    CffIndex name, top, strings, gsubrs;
    Cff_indexInit(&name, s, uint8_t(cff[2]), cff.size());
    uint64_t a = 0, b = 0;
    CffTopDict *t = nullptr;
    if (Cff_indexOpen(&name) != Res_ok)
        abort();
    Cff_indexInit(&top, s, Cff_indexEnd(&name), cff.size());
    if (Cff_indexOpen(&top) != Res_ok)
        abort();
    Cff_indexInit(&strings, s, Cff_indexEnd(&top), cff.size());
    if (Cff_indexOpen(&strings) != Res_ok)
        abort();
    Cff_indexInit(&gsubrs, s, Cff_indexEnd(&strings), cff.size());
    FontFileEntry *global = nullptr, *local = nullptr, *glyphs = nullptr;
    uint32_t globalCount = 0, localCount = 0, glyphCount = 0;
    if (Cff_indexOpen(&gsubrs) != Res_ok || Cff_indexEntryRange(&top, 0, &a, &b) != Res_ok ||
        CffTopDict_create(s, a, b, &t) != Res_ok || CffTopDict_load(t) != Res_ok ||
        Cff_indexReadAll(&gsubrs, &global, &globalCount) != Res_ok ||
        Cff_indexReadAll(CffTopDict_charStrings(t), &glyphs, &glyphCount) != Res_ok)
        abort();
    if (CffPrivate_subrs(CffTopDict_private(t)) &&
        Cff_indexReadAll(CffPrivate_subrs(CffTopDict_private(t)), &local, &localCount) != Res_ok)
        abort();
    Type2Context c{};
    CffPrivate_widths(CffTopDict_private(t), &c.defaultWidthX, &c.nominalWidthX);
    for (int i = 0; i < 6; i++)
        c.matrix[i] = CffTopDict_matrix(t)[i];
    c.localSubrs = local;
    c.localCount = localCount;
    c.globalSubrs = global;
    c.globalCount = globalCount;
    compare(state, otf, [&]() {
        for (uint32_t g = 0; g < glyphCount; g++) {
            GlyphPath *o = nullptr;
            int32_t sb = 0, adv = 0;
            if (GlyphPath_create(&o, GlyphPath_kindCodes) != Res_ok ||
                Type2_buildGlyph(nullptr, o, glyphs[g].data, glyphs[g].length, &c, &sb, &adv) !=
                    Res_ok ||
                GlyphPath_finish(o) != Res_ok)
                abort();
            GlyphPath_destroy(o);
        }
        return size_t(glyphCount);
    });
    FontFile_freeEntryArray(global, &globalCount);
    FontFile_freeEntryArray(local, &localCount);
    FontFile_freeEntryArray(glyphs, &glyphCount);
    CffTopDict_destroy(t);
    (void)ByteStream_close(s);
    TestHeap_close(&heap);
}
BENCHMARK(BM_CffEveryGlyph)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
