// Fuzz target for the plain-text importer. Input: one option byte (bit 0
// pages on demand, bit 1 detection off, bit 2 powerzoom, bits 3-4 the
// default character set: windows-1252, UTF-8, KOI8-R, ISO-2022-JP), then
// the text. The text is imported whole and, with bit 0, page by page with
// every page built on request. Both must succeed, the pages together must
// hold the whole text (spaces that start a page may read as no-break
// spaces), every page built twice must read the same, and nothing may
// leak once the documents are gone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "core/text/charset_cjk.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/import/plaintext.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    uint32_t options;
    const uint8_t *text;
    size_t size;
    Edr_HandlerDesc desc;
};

// The text of a subtree, no-break spaces read as spaces.
void collect(Edr_Node *node, std::u16string *out)
{
    if (!node)
        return;
    if (Edr_Node_type(node) == Edr_NodeType_text) {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        for (uint32_t i = 0; i < t->length; i++)
            out->push_back(t->chars[i] == 0xA0 ? u' ' : t->chars[i]);
        return;
    }
    if (Edr_Node_type(node) == Edr_NodeType_group)
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            collect(c, out);
}

std::u16string pageText(Edr_Doc *doc, uint32_t n)
{
    Edr_Doc_readLock(doc);
    Edr_Node *c = Edr_Node_firstChild(Edr_Doc_root(doc));
    while (c && n--)
        c = Edr_Node_nextSibling(c);
    std::u16string out;
    collect(c, &out);
    Edr_Doc_readUnlock(doc);
    return out;
}

// Imports the text into a new document; whole or page by page.
std::u16string load(Input *in, bool paged)
{
    Config_setIntA(in->ctx, in->ctx->config, u"eDR", "page.on.demand", paged, 0);
    Edr_Doc *doc = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, nullptr) == 0);
    require(Edr_Doc_setHandler(doc, &in->desc) == 0);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(in->ctx, in->text, in->size, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) == 0);
    require(TextDoc_open(in->ctx, &in->desc, nullptr, h, doc, Edr_Doc_root(doc)) == 0);
    std::u16string all = pageText(doc, 0);
    TextLoader *loader = static_cast<TextLoader *>(Edr_Doc_getLoaderData(doc));
    require(paged == (loader != nullptr));
    if (loader) {
        uint32_t pages = loader->pageCount;
        for (uint32_t p = 1; p < pages && p < 64; p++) {
            require(TextDoc_step(doc, p) == 0);
            std::u16string text = pageText(doc, p);
            require(TextDoc_step(doc, p) == 0);
            require(pageText(doc, p) == text);
            all += text;
        }
        require(TextDoc_step(doc, 0) == 0);
        require(TextDoc_step(doc, pages) == Res_nullInput);
        if (pages > 64)
            all.clear();
    }
    Edr_Doc_release(doc);
    return all;
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    EngineContext *ctx = in->ctx;
    static constexpr const char16_t *charsets[] = {u"windows-1252", u"utf-8", u"koi8-r",
                                                   u"iso-2022-jp"};
    Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", (in->options & 2) ? 0 : 1, 0);
    Config_setIntA(ctx, ctx->config, nullptr, "OptimiseTextDaForPowerzoom", (in->options >> 2) & 1,
                   0);
    Config_setIntA(ctx, ctx->config, u"Core", "Vexlan_TextDaSinglePage", 0, 0);
    Config_setUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet",
                    charsets[(in->options >> 3) & 3], 0);
    std::u16string whole = load(in, false);
    if (in->options & 1) {
        std::u16string paged = load(in, true);
        require(paged.empty() || paged == whole);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{};
    in.ctx = engine.context;
    in.engine = &engine;
    in.options = data[0];
    in.text = data + 1;
    in.size = size - 1;
    require(TextDoc_describe(in.ctx, &in.desc) == 0);
    appfuzz::run(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
