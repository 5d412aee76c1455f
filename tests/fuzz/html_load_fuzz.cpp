// Fuzz target for the HTML loader, tokenizer and tree builder. Input: one
// option byte (bits 0-2 the chunk size of the second load: 1, 2, 3, 7, 64,
// 511, 4095 or 4096 bytes; bit 3 detection off; bits 4-5 the default
// character set: ISO-8859-1, UTF-8, Shift_JIS, UTF-16LE), then the page.
// The page is loaded whole through the handler's open, and again with the
// chosen chunk size through the loader; both loads must end the same way
// with the same tree, and nothing may leak once the documents are gone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "core/text/charset_cjk.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "html/parser.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    uint32_t options;
    const uint8_t *page;
    size_t size;
    Edr_HandlerDesc desc;
};

void render(Edr_Node *node, std::u16string *out)
{
    uint32_t type = Edr_Node_type(node);
    if (type == Edr_NodeType_text) {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        out->push_back(u'"');
        out->append(t->chars, t->length);
        out->push_back(u'"');
        return;
    }
    if (type != Edr_NodeType_group) {
        out->push_back(char16_t(u'0' + type % 10));
        return;
    }
    out->append(u"(");
    out->push_back(char16_t(Edr_Node_group(node)->element));
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
        render(c, out);
    out->append(u")");
}

std::u16string load(Input *in, uint32_t chunk, int *result)
{
    Edr_Doc *doc = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, nullptr) == 0);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(in->ctx, in->page, in->size, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == 0);
    if (!chunk) {
        *result = in->desc.open(in->ctx, &in->desc, nullptr, h, doc, Edr_Doc_root(doc));
    } else {
        require(Edr_Doc_setMode(doc, Html_modeQuirks) == 0);
        *result = Html_loadDocumentChunked(in->ctx, doc, h, Edr_Doc_root(doc), 0, nullptr, chunk);
        (void)Vfs_close(h); // a fuzz run only looks for crashes
    }
    std::u16string out;
    Edr_Doc_readLock(doc);
    render(Edr_Doc_root(doc), &out);
    Edr_Doc_readUnlock(doc);
    Edr_Doc_release(doc);
    return out;
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    EngineContext *ctx = in->ctx;
    static constexpr const char16_t *charsets[] = {u"ISO-8859-1", u"UTF-8", u"Shift_JIS",
                                                   u"UTF-16LE"};
    static constexpr uint32_t chunks[] = {1, 2, 3, 7, 64, 511, 4095, 4096};
    // Detection reads only the first chunk: the comparison needs it off.
    Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 0, 0);
    Config_setUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet",
                    charsets[(in->options >> 4) & 3], 0);
    int whole = 0, chunked = 0;
    std::u16string a = load(in, 0, &whole);
    std::u16string b = load(in, chunks[in->options & 7], &chunked);
    require(whole == chunked);
    require(whole != 0 || a == b);
    if (in->options & 8) {
        // With detection on the whole load only has to succeed or fail cleanly.
        Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 1, 0);
        (void)load(in, 0, &whole);
    }
}

void runOnTask(Input *in, void (*fn)(void *))
{
    Task *t = nullptr;
    require(Task_create(in->ctx, &t, 3, fn, in, "fuzz", 4096) == 0);
    Task_detach(t);
    TestEngine_runAll(in->engine, 1000000);
}

void setUp(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    require(Edr_App_init(in->ctx, 0) == 0);
}

void tearDown(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    EventProcCodeMsg m{999, nullptr, nullptr, 0};
    require(EventProc_postPlainCode(in->ctx->eventProc, &m) == 0);
    AppMsg_drain(in->ctx->eventProc);
    require(TimerQ_stopThread(in->ctx, in->ctx->eventProc) == 0);
    Edr_App_fini(in->ctx);
    Config_freeStore(in->ctx, in->ctx->config);
    in->ctx->config = nullptr;
    AppMsg_destroyDispatcher(in->ctx->eventProc);
    in->ctx->eventProc = nullptr;
    Worker_shutdownPool(in->ctx);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{};
    in.ctx = engine.context;
    in.engine = &engine;
    in.options = data[0];
    in.page = data + 1;
    in.size = size - 1;
    require(Html_describe(in.ctx, &in.desc) == 0);
    size_t baseline = TestHeap_usedBytes();
    require(Worker_initPool(in.ctx) == 0);
    require(AppMsg_createDispatcher(in.ctx, &in.ctx->eventProc) == 0);
    require(TimerQ_startThread(in.ctx, in.ctx->eventProc) == 0);
    require(Charset_createHooks(in.ctx) == 0 && Charset_installJapanese(in.ctx->charsetHooks) == 0);
    in.ctx->config = Config_createStore(in.ctx, u"fuzz");
    require(in.ctx->config != nullptr);
    runOnTask(&in, setUp);
    runOnTask(&in, body);
    TimerQ_wakeThread(in.ctx);
    TestEngine_runAll(&engine, 1000000);
    runOnTask(&in, tearDown);
    Charset_destroyHooks(in.ctx);
    require(TestHeap_usedBytes() == baseline);
    TestEngine_close(&engine);
    return 0;
}
