// Fuzz target for the whole Word importer: the input is split into the
// "WordDocument", table and "Data" streams (each after its u32 length; a
// short input is the document stream alone) as in the Word tables target,
// wrapped in a compound file and loaded through the handler's open into a
// new document on an engine task. The load must end with a code, the tree
// must be well formed, and nothing may leak once the document is gone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"
#include "tests/word/cfb_build.h"
#include "word/reader/word.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void split(const uint8_t *data, size_t size, std::string parts[3])
{
    size_t at = 0;
    for (int k = 0; k < 3; k++) {
        if (at + 4 > size) {
            if (k == 0)
                parts[0].assign(reinterpret_cast<const char *>(data), size);
            return;
        }
        uint32_t n = uint32_t(data[at]) | (uint32_t(data[at + 1]) << 8) |
                     (uint32_t(data[at + 2]) << 16) | (uint32_t(data[at + 3]) << 24);
        at += 4;
        if (n > size - at)
            n = uint32_t(size - at);
        parts[k].assign(reinterpret_cast<const char *>(data + at), n);
        at += n;
    }
}

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    std::string file;
};

// Every node's parent link agrees with the tree.
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
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(in->ctx, reinterpret_cast<const uint8_t *>(in->file.data()),
                           in->file.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == 0);
    (void)Word_loadDocument(in->ctx, nullptr, nullptr, h, doc, root);
    Edr_Doc_readLock(doc);
    check(Edr_Doc_root(doc));
    Edr_Doc_readUnlock(doc);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::string parts[3];
    split(data, size, parts);
    std::vector<CfbStream> streams = {
        {u"WordDocument", parts[0]}, {u"0Table", parts[1]}, {u"1Table", parts[1]}};
    if (!parts[2].empty())
        streams.push_back({u"Data", parts[2]});
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{engine.context, &engine, Cfb_build(streams)};
    appfuzz::runPlain(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
