// Fuzz target for the glyph-run reader. The input is read as a glyph-run
// string: the walk must end, every run must lie inside the string or the
// widening buffer, and the runs written again and read back must match.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "fonts/glyphrun.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "glyphrun: check on line %d failed\n", line);
    abort();
}

#define require(ok) requireAt((ok), __LINE__)

struct PlacedRun {
    int32_t x, y, word, chars;
    std::u16string text;
};

std::vector<PlacedRun> readAll(const uint8_t *data, size_t size)
{
    std::vector<PlacedRun> out;
    GlyphRunReader r;
    GlyphRun_readerInit(&r, data, uint32_t(size));
    for (size_t guard = 0; guard <= size; guard++) {
        require(GlyphRun_next(&r) == 0);
        if (!r.run)
            break;
        out.push_back(
            PlacedRun{r.x, r.y, r.wordSpacing, r.charSpacing, std::u16string(r.run, r.runLength)});
        require(out.size() <= size);
    }
    require(r.pos <= size || r.pos == r.length);
    GlyphRun_readerFree(&r);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TestHeap heap{};
    static bool ready = false;
    if (!ready) {
        require(TestHeap_open(&heap, 64u << 20, 0));
        ready = true;
    }
    size_t baseline = TestHeap_usedBytes();
    std::vector<uint8_t> copy(data, data + size); // an even-aligned string
    std::vector<PlacedRun> runs = readAll(copy.data(), copy.size());
    GlyphRunWriter w;
    GlyphRun_writerInit(&w);
    std::vector<PlacedRun> kept;
    for (const PlacedRun &p : runs) {
        // Spacing values beyond 24 bits are not written; runs that move too
        // far are dropped. The writer takes y downward, the reader gives it
        // upward.
        require(GlyphRun_setSpacing(&w, p.word, p.chars) == 0);
        int32_t y = int32_t(0u - uint32_t(p.y));
        int64_t dx = int64_t(p.x) - w.lastX, dy = int64_t(y) - w.lastY;
        bool fits = dx >= -8388607 && dx <= 8388606 && dy >= -8388607 && dy <= 8388606;
        require(GlyphRun_addText(&w, p.x, y, p.text.data(), uint32_t(p.text.size())) == 0);
        if (fits && !p.text.empty())
            kept.push_back(p);
    }
    require(GlyphRun_plugHole(&w) == 0);
    std::vector<PlacedRun> again = readAll(w.buffer, w.pos);
    require(again.size() == kept.size());
    for (size_t i = 0; i < kept.size(); i++)
        require(again[i].x == kept[i].x && again[i].y == kept[i].y &&
                again[i].text == kept[i].text);
    GlyphRun_writerFree(&w);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
