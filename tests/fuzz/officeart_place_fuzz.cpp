// Fuzz target for shape placement. Input: OfficeArt records from memory, a
// drawing group container followed by a drawing container. The drawing's
// patriarch and background shape are placed into a fresh document, once
// upright and once inside a rotated parent, with every blip of the store
// reachable through picture properties. No read may pass the input, no
// walk may hang, and nothing may leak once the document is gone.
#include <cstdint>
#include <vector>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/shape/place.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    const uint8_t *data;
    size_t size;
};

int acceptRule(void *, StyleRule *, uint32_t *id)
{
    *id = 1;
    return 0;
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    EscherDrawing *d = nullptr;
    if (Escher_openDrawingMemory(in->ctx, in->data, uint32_t(in->size), &d, acceptRule, nullptr,
                                 nullptr, nullptr) == 0) {
        EscherDrawingGroup *g = nullptr;
        if (Escher_readDrawingGroup(d, &g) == 0 && g) {
            const ShapeRect rect = {0, 0, 4 << 16, 3 << 16};
            for (int32_t rotation : {0, 30 << 16}) {
                (void)Shape_placeTree(doc, root, d, g, 0, &rect, rotation);
                (void)Shape_placeTree(doc, root, d, g, -1, &rect, rotation);
            }
            Escher_drawingGroupFreeBlips(d, g);
        }
        Escher_drawingStateFree(d);
    }
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 18))
        return 0;
    // An exact copy, so that the sanitizer sees any overrun.
    std::vector<uint8_t> bytes(data, data + size);
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{engine.context, bytes.data(), bytes.size()};
    appfuzz::run(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
