// Fuzz target for the presentation reader: the input is a u32 length, the
// "Current User" stream of that length, then the "PowerPoint Document"
// stream (a short input is the presentation stream alone, with the current
// user of a plain presentation pointing at offset 0), wrapped in a compound
// file here and loaded through the reader's open into a new document on an
// engine task, once whole and once page on demand with every page stepped.
// The load must end with a code, the tree must be well formed, and nothing
// may leak once the document is gone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/powerpoint/ppt.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"
#include "tests/word/cfb_build.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

struct Input {
    EngineContext *ctx;
    std::string file;
    bool onDemand;
};

void check(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        require(Edr_Node_parent(c) == node);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            check(c);
    }
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    if (in->onDemand) {
        require(Edr_Doc_setFlags(doc, Ppt_featureFlags) == 0);
        doc->pageOnDemand = 1;
    }
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(in->ctx, reinterpret_cast<const uint8_t *>(in->file.data()),
                           in->file.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == 0);
    if (Ppt_open(in->ctx, h, doc, root) == 0 && in->onDemand)
        for (uint32_t page = 0; page < 64; page++)
            if (Ppt_step(doc, page) != 0)
                break;
    Edr_Doc_readLock(doc);
    check(Edr_Doc_root(doc));
    Edr_Doc_readUnlock(doc);
    Ppt_close(doc);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::string user, document;
    uint32_t n = size >= 4 ? uint32_t(data[0]) | (uint32_t(data[1]) << 8) |
                                 (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24)
                           : 0;
    if (size >= 4 && n <= size - 4) {
        user.assign(reinterpret_cast<const char *>(data + 4), n);
        document.assign(reinterpret_cast<const char *>(data + 4 + n), size - 4 - n);
    } else {
        static const uint8_t plain[] = {0,    0,    0xF6, 0x0F, 24,   0, 0, 0, 20, 0, 0,
                                        0,    0x5F, 0xC0, 0x91, 0xE3, 0, 0, 0, 0,  0, 0,
                                        0xF4, 0x03, 3,    0,    0,    0, 8, 0, 0,  0};
        user.assign(reinterpret_cast<const char *>(plain), sizeof plain);
        document.assign(reinterpret_cast<const char *>(data), size);
    }
    std::vector<CfbStream> streams = {{u"Current User", user}, {u"PowerPoint Document", document}};
    for (bool onDemand : {false, true}) {
        TestEngine engine;
        require(TestEngine_open(&engine, size_t(64) << 20));
        Input in{engine.context, Cfb_build(streams), onDemand};
        appfuzz::runPlain(&engine, body, &in);
        TestEngine_close(&engine);
    }
    return 0;
}
