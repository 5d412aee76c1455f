// Shared body of the metafile fuzz targets: the input is played into a
// fresh document with a target and, when the first byte asks for it, a
// frame; the result must be 0 or one of the player's codes, the drawing
// lists of the picture must read back entry by entry to their exact end,
// and nothing may leak once the document is gone.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/drawlist.h"
#include "document/import/metafile.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace metafuzz {

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    uint32_t options;
    const uint8_t *data;
    size_t size;
};

inline int acceptRule(void *, StyleRule *, uint32_t *id)
{
    *id = 1;
    return 0;
}

inline void checkLists(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group)
            checkLists(c);
        if (Edr_Node_type(c) != Edr_NodeType_drawList)
            continue;
        Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payloadOrNull(c));
        const int32_t *w = list->words, *end = list->words + list->count;
        DrawPaint paint = DrawPaint_defaults;
        while (w < end) {
            Path view{};
            DrawStyle_readEntry(&w, &view, &paint);
        }
        require(w == end);
        require(DrawList_equal(list->words, list->words, list->count) == 0);
    }
}

inline void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    Rect target{0, 0, 600 + int32_t(in->options & 0x30) * 10, 400};
    Rect frame{-50, -20, 1000, 700};
    int err = Wmf_playToDoc(in->data, uint32_t(in->size), doc, root, &target,
                            (in->options & 1) ? &frame : nullptr, (in->options >> 1) & 1,
                            acceptRule, nullptr);
    require(err == 0 || err == Res_noMemory || (err >= 13056 && err <= 13067));
    checkLists(root);
    Edr_Doc_release(doc);
}

inline int run(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{engine.context, data[0], data + 1, size - 1};
    appfuzz::run(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}

} // namespace metafuzz
