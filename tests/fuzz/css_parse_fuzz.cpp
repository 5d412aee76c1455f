// Fuzz target for the style-sheet reader. Input: one option byte, then the
// text. Bits 0-1 of the option choose the entry: a whole sheet from text,
// the declarations of a style attribute, a sheet from a byte stream (read
// in blocks, its charset guessed), or one property value (the text up to
// the first ':' names the property). Bit 2 reads the text as UTF-16LE
// pairs instead of one character per byte. Every entry must succeed or run
// out of memory, every rule made must write CSS text that reads again, and
// nothing may leak once the document is gone.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "html/css/css.h"
#include "html/css/csstext.h"
#include "platform/api/request.h"
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
    const uint8_t *data;
    size_t size;
};

// Every rule's CSS text must read again without error.
void checkRule(EngineContext *ctx, const StyleRule *rule)
{
    for (StylePropItem *p = rule->firstProp; p; p = p->next)
        require(p->value.id < 160);
    char16_t *text = Css_ruleToText(rule);
    if (!text)
        return;
    StyleRule *again = nullptr;
    require(StyleRule_create(&again) == 0);
    size_t n = 0;
    while (text[n])
        n++;
    require(Css_parseDeclarationsText(ctx, text, n, again) == 0);
    StyleRule_destroy(again);
    Mem_free(text);
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    EngineContext *ctx = in->ctx;
    std::u16string text;
    if (in->options & 4) {
        for (size_t i = 0; i + 1 < in->size; i += 2)
            text.push_back(char16_t(in->data[i] | in->data[i + 1] << 8));
    } else {
        for (size_t i = 0; i < in->size; i++)
            text.push_back(char16_t(in->data[i]));
    }
    Edr_Doc *doc = nullptr;
    require(Edr_Doc_create(ctx, &doc, nullptr) == 0);
    Request *sheet = nullptr;
    require(Request_new(ctx, 2, &sheet) == 0);
    StyleRule *rule = nullptr;
    require(StyleRule_create(&rule) == 0);
    int result = 0;
    switch (in->options & 3) {
    case 0:
        result = Css_parseStyleSheetText(ctx, doc, nullptr, sheet, text.data(), text.size(),
                                         nullptr, nullptr);
        break;
    case 1: result = Css_parseDeclarationsText(ctx, text.data(), text.size(), rule); break;
    case 2: {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        require(Vfs_openMemory(ctx, in->data, in->size, 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                               &accepted) == 0);
        result = Css_parseStyleSheetStream(ctx, doc, nullptr, h, sheet, nullptr, nullptr);
        (void)Vfs_close(h); // a fuzz run only looks for crashes
        break;
    }
    default: {
        size_t colon = text.find(u':');
        if (colon == std::u16string::npos)
            colon = text.size();
        int changed = 0;
        const char16_t *value = colon < text.size() ? text.data() + colon + 1 : u"";
        size_t valueLength = colon < text.size() ? text.size() - colon - 1 : 0;
        result = Css_parsePropertyText(ctx, rule, text.data(), colon, value, valueLength, &changed);
        require(result == 0 || result == Res_nullInput || result == Res_noMemory);
        result = 0;
        break;
    }
    }
    require(result == 0 || result == Res_noMemory);
    checkRule(ctx, rule);
    for (StyleRule *r = Request_firstItem(sheet); r; r = Request_nextItem(sheet, r)) {
        require(r->matches != nullptr && r->weight >= 2000);
        checkRule(ctx, r);
    }
    (void)Css_mediaListApplies(text.data(), text.size());
    StyleRule_destroy(rule);
    Request_release(sheet);
    Edr_Doc_release(doc);
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
    Edr_App_fini(in->ctx);
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
    in.data = data + 1;
    in.size = size - 1;
    size_t baseline = TestHeap_usedBytes();
    require(Worker_initPool(in.ctx) == 0);
    runOnTask(&in, setUp);
    runOnTask(&in, body);
    runOnTask(&in, tearDown);
    require(TestHeap_usedBytes() == baseline);
    TestEngine_close(&engine);
    return 0;
}
