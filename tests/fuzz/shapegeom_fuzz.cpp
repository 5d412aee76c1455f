// Fuzz target for shape geometry: the input gives a shape type, flags, a
// box, the custom geometry box, and segment and vertex arrays as a drawing
// file would carry them. Building the outline must never crash, read past
// the arrays or leak, and fails only for lack of memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/path.h"
#include "office/shape/geometry.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "shapegeom_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

struct Input {
    uint32_t values[8]; // 320-323, 327, 328 and whether each is present
    uint32_t present;
    std::vector<uint8_t> vertices, segments;
    int32_t vertexSize;
};

int value(const void *set, uint32_t id, uint32_t *out)
{
    const Input *in = static_cast<const Input *>(set);
    static constexpr uint32_t ids[] = {320, 321, 322, 323, 327, 328};
    for (uint32_t i = 0; i < 6; i++)
        if (ids[i] == id && (in->present >> i & 1)) {
            *out = in->values[i];
            return 1;
        }
    return 0;
}

int array(const void *set, uint32_t id, ShapeArray *out)
{
    const Input *in = static_cast<const Input *>(set);
    const std::vector<uint8_t> &b = id == ShapeProp_vertices ? in->vertices : in->segments;
    int32_t size = id == ShapeProp_vertices ? in->vertexSize : 2;
    if (id != ShapeProp_vertices && id != ShapeProp_segments)
        return 0;
    *out = ShapeArray{int32_t(b.size() / size_t(size)), size, b.data()};
    return 1;
}

uint32_t word(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!heap.instance)
        require(TestHeap_open(&heap, 16 << 20, 0));
    if (size < 36)
        return 0;
    Input in{};
    const uint32_t type = data[0] == 0xFF ? 0 : data[0];
    const uint32_t flags = data[1];
    const int32_t w = int32_t(int16_t(data[2] | data[3] << 8)) * 16;
    const int32_t h = int32_t(int16_t(data[4] | data[5] << 8)) * 16;
    in.present = data[6];
    in.vertexSize = data[7] & 1 ? 8 : 4;
    for (int i = 0; i < 6; i++)
        in.values[i] = word(data + 8 + 4 * i);
    const size_t split = 32 + (size - 32) * data[32] / 256;
    in.segments.assign(data + 33, data + (split > 33 ? split : 33));
    in.vertices.assign(data + (split > 33 ? split : 33), data + size);

    const size_t before = TestHeap_usedBytes();
    Path *path = nullptr;
    require(Path_create(&path, 0x10000) == Res_ok);
    ShapeGeom shape{type, flags, {&in, value, array}};
    ShadePath *shades = nullptr;
    int err = Shape_buildPath(nullptr, path, &shape, w, h, &shades);
    require(err == Res_ok || err == Res_noMemory);
    Path_destroy(path);
    ShadePathList_free(shades);
    require(TestHeap_usedBytes() == before);
    return 0;
}
