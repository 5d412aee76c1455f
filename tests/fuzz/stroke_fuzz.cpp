// Fuzz target for the stroker, its bounds walk and the dasher, over random
// paths, pens, matrices and dash patterns as documents supply them.
//
// Input (all integers big-endian): a style byte (bits 0-1 join, 2-3 start
// cap, 4-5 end cap, bit 6 a dash pattern, bit 7 a clip rectangle); a mode
// byte (bit 0 extreme values, bits 1-2 the matrix: identity, a scale, a
// rotation, or six words from the input); the pen's width, miter limit,
// arrow half width and arrow length and the dash scale (32 bits each); a
// dash count (mod 9) and that many 16-bit lengths; the six matrix words
// when asked for; the clip rectangle when asked for; then path elements to
// the end: an opcode byte (mod 6: move, line, hidden line, quadratic, cubic,
// close) and its points (32 bits per coordinate).
//
// Without the extreme bit the values are brought into a sane range
// (coordinates within 2^16 source units, mapped within 2^23; pen sizes
// within 2^16, miter limits within 2^20) and the checks are strict: the
// stroke succeeds (or runs out of memory), its chains close, and its
// outline lies inside Path_strokeBounds. With the extreme bit every value
// is taken as it is: nothing may crash or hang. Nothing may leak.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "core/geom/matrix.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/path.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "stroke_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

struct Reader {
    const uint8_t *data;
    size_t size, at;

    bool more() const
    {
        return at < size;
    }
    uint32_t byte()
    {
        return at < size ? data[at++] : 0;
    }
    int32_t word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v = v << 8 | byte();
        return int32_t(v);
    }
    int16_t half()
    {
        uint32_t hi = byte();
        return int16_t(hi << 8 | byte());
    }
};

int32_t within(int32_t v, int32_t bound)
{
    return int32_t(int64_t(v) % bound);
}

// Every point of the outline is left by as many edges as reach it.
bool chainsClose(const Path *p)
{
    std::vector<std::pair<std::pair<int32_t, int32_t>, int>> degree;
    int32_t cx = 0, cy = 0;
    for (const int32_t *w = p->buffer; w < p->write;) {
        uint32_t op = uint32_t(*w) & 15, n = uint32_t(*w) & 3;
        if (n != 0) {
            int32_t ex = w[2 * n - 1], ey = w[2 * n];
            if ((op == Path_opLine || op == Path_opCubic || op == Path_opQuad) &&
                (ex != cx || ey != cy)) {
                degree.push_back({{cx, cy}, 1});
                degree.push_back({{ex, ey}, -1});
            }
            cx = ex, cy = ey;
        }
        w += 1 + 2 * n;
    }
    std::sort(degree.begin(), degree.end());
    for (size_t i = 0; i < degree.size();) {
        int sum = 0;
        size_t j = i;
        for (; j < degree.size() && degree[j].first == degree[i].first; j++)
            sum += degree[j].second;
        if (sum != 0)
            return false;
        i = j;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in{data, size, 0};
    uint32_t style = in.byte(), mode = in.byte();
    bool extreme = mode & 1;
    Pen pen{};
    pen.style = (style & 3) << Pen_joinShift | ((style >> 2) & 3) << Pen_startCapShift |
                ((style >> 4) & 3) << Pen_endCapShift;
    pen.width = in.word();
    pen.miterLimit = in.word();
    pen.arrowHalfWidth = in.word();
    pen.arrowLength = in.word();
    int32_t dashScale = in.word();
    if (!extreme) {
        pen.width = within(pen.width, 1 << 16);
        pen.miterLimit = within(pen.miterLimit, 1 << 20);
        pen.arrowHalfWidth = within(pen.arrowHalfWidth, 1 << 16);
        pen.arrowLength = within(pen.arrowLength, 1 << 16);
        dashScale = within(dashScale, 1 << 20);
    }
    std::vector<int32_t> dash;
    uint32_t dashCount = in.byte() % 9;
    for (uint32_t i = 0; i < dashCount; i++)
        dash.push_back(extreme ? in.half() : in.half() & 0x7FFF);
    dash.push_back(-1);
    if (style & 0x40)
        pen.dash = dash.data();

    Matrix m;
    switch ((mode >> 1) & 3) {
    case 0: m = *Matrix_identity(); break;
    case 1: m = Matrix{0x40000, 0, 0, 0x30000, 1000, -2000}; break;
    case 2:
        m = Matrix{56756, 32768, -32768, 56756, 0, 0}; // 30 degrees
        break;
    default:
        m = Matrix{in.word(), in.word(), in.word(), in.word(), in.word(), in.word()};
        if (!extreme)
            m = Matrix{within(m.a, 0x40000), within(m.b, 0x40000),  within(m.c, 0x40000),
                       within(m.d, 0x40000), within(m.tx, 1 << 22), within(m.ty, 1 << 22)};
        break;
    }
    Rect clip{};
    if (style & 0x80)
        clip = Rect{in.word(), in.word(), in.word(), in.word()};

    (void)FuzzHeap_get(2 << 20);
    size_t baseline = TestHeap_usedBytes();
    Path *source = nullptr, *out = nullptr;
    require(Path_create(&source, 0x10000) == Res_ok);
    require(Path_create(&out, 0x10000) == Res_ok);
    for (int elements = 0; in.more() && elements < 64; elements++) {
        uint32_t op = in.byte() % 6;
        int32_t p[6];
        int points = op <= 2 ? 1 : op == 3 ? 2 : op == 4 ? 3 : 0;
        for (int i = 0; i < 2 * points; i++)
            p[i] = extreme ? in.word() : in.word() >> 15;
        int r;
        switch (op) {
        case 0: r = Path_moveTo(source, p[0], p[1]); break;
        case 1: r = Path_lineTo(source, p[0], p[1]); break;
        case 2: r = Path_lineToOp1(source, p[0], p[1]); break;
        case 3: r = Path_quadTo(source, p[0], p[1], p[2], p[3]); break;
        case 4: r = Path_curveTo(source, p[0], p[1], p[2], p[3], p[4], p[5]); break;
        default: r = Path_close(source); break;
        }
        require(r == Res_ok || r == Res_pathNoCurrentPoint);
    }

    bool badJoin = (style & 3) == 3;
    int r =
        Path_stroke(nullptr, source, out, &m, &pen, dashScale, (style & 0x80) ? &clip : nullptr);
    require(badJoin ? r == Res_strokeBadJoin : (r == Res_ok || r == Res_noMemory));
    Rect bounds;
    int rb = Path_strokeBounds(nullptr, source, &bounds, &m, &pen);
    require(rb == (badJoin ? Res_strokeBadJoin : Res_ok));
    if (!extreme && r == Res_ok) {
        require(chainsClose(out));
        if (!(style & 0x80) && out->write != out->buffer) {
            Rect outline;
            require(Edr_Draw_getBounds2(nullptr, out, &outline) == Res_ok);
            bool held = bounds.x0 <= outline.x0 && bounds.y0 <= outline.y0 &&
                        bounds.x1 >= outline.x1 && bounds.y1 >= outline.y1;
            if (!held)
                fprintf(stderr, "stroke_fuzz: outline %d %d %d %d outside bounds %d %d %d %d\n",
                        outline.x0, outline.y0, outline.x1, outline.y1, bounds.x0, bounds.y0,
                        bounds.x1, bounds.y1);
            require(held);
        }
    }

    Path_destroy(source);
    Path_destroy(out);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
