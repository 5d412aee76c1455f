// Loading HTML: tokenizing and tree building of a generated page of about
// 2 MB (paragraphs, inline formatting, links, lists, tables, comments and
// references), against the plain-text importer loading the same visible
// text in the same run. Goal: the HTML load takes at most 3x the text load.
// (Layout of HTML documents is not measured yet: it needs the default
// element styles.)
#include <benchmark/benchmark.h>

#include <functional>
#include <string>

#include "core/config/config.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/import/plaintext.h"
#include "html/docweb.h"
#include "html/parser.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/support/test_engine.h"

namespace {

constexpr size_t kPageBytes = 2 << 20;

void onTask(TestEngine *e, std::function<void()> fn)
{
    Task *t = nullptr;
    if (Task_create(
            e->context, &t, 3, [](void *arg) { (*static_cast<std::function<void()> *>(arg))(); },
            &fn, "bench", 4096))
        return;
    Task_detach(t);
    TestEngine_runAll(e, 100000000);
}

// The page and its visible text.
void samplePage(std::string *html, std::string *text)
{
    uint32_t state = 12345;
    auto word = [&](std::string *out) {
        state = state * 1103515245u + 12345u;
        size_t length = 2 + (state >> 8) % 8;
        for (size_t i = 0; i < length; i++)
            *out += char('a' + (state >> (i % 16)) % 26);
    };
    *html =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<html><head><title>Sample</title>"
        "<style>p { margin: 0 }</style></head><body>\n";
    for (int n = 0; html->size() < kPageBytes; n++) {
        std::string para;
        for (int w = 0; w < 40; w++) {
            std::string one;
            word(&one);
            switch (w % 13) {
            case 3: *html += "<b>" + one + "</b> "; break;
            case 7:
                *html +=
                    "<a href=\"page" + std::to_string(n) + ".html#" + one + "\">" + one + "</a> ";
                break;
            case 11:
                *html += one + " &amp; ";
                one += " &";
                break;
            default: *html += one + " "; break;
            }
            para += one + " ";
        }
        *text += para + "\n";
        switch (n % 10) {
        case 0:
            *html += "<!-- paragraph " + std::to_string(n) + " -->\n<p class=\"body\">\n";
            break;
        case 5:
            *html += "<ul><li>one<li>two</ul>\n";
            *text += "one\ntwo\n";
            break;
        case 8:
            *html += "<table><tr><td>cell<td>cell</table>\n";
            *text += "cell cell\n";
            break;
        default: *html += "<p>\n"; break;
        }
    }
    *html += "</body></html>\n";
}

struct Loads {
    TestEngine e{};
    Edr_HandlerDesc html{}, text{};
    std::string page, visible;
    bool ok = false;

    Loads()
    {
        samplePage(&page, &visible);
        TestEngine_open(&e, size_t(512) << 20);
        EngineContext *ctx = e.context;
        if (Html_describe(ctx, &html) || TextDoc_describe(ctx, &text) || Worker_initPool(ctx) ||
            AppMsg_createDispatcher(ctx, &ctx->eventProc) ||
            TimerQ_startThread(ctx, ctx->eventProc))
            return;
        ctx->config = Config_createStore(ctx, u"bench");
        onTask(&e, [&] {
            ok = Edr_App_init(ctx, 0) == 0;
            Config_setIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 0, 0);
        });
    }

    // One load of bytes with the handler; the document is dropped.
    bool load(Edr_HandlerDesc *desc, const std::string &bytes)
    {
        bool loaded = false;
        onTask(&e, [&] {
            Edr_Doc *doc = nullptr;
            if (Edr_Doc_create(e.context, &doc, nullptr) || Edr_Doc_setHandler(doc, desc))
                return;
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            if (Vfs_openMemory(e.context, reinterpret_cast<const uint8_t *>(bytes.data()),
                               bytes.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                               &accepted) == 0)
                loaded = desc->open(e.context, desc, nullptr, h, doc, Edr_Doc_root(doc)) == 0;
            Edr_Doc_release(doc);
        });
        return loaded;
    }
};

Loads &loads()
{
    static Loads l;
    return l;
}

void BM_HtmlLoad(benchmark::State &state)
{
    Loads &l = loads();
    for (auto _ : state)
        if (!l.ok || !l.load(&l.html, l.page)) {
            state.SkipWithError("the page did not load");
            return;
        }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(l.page.size()));
}
BENCHMARK(BM_HtmlLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextLoadSameText(benchmark::State &state)
{
    Loads &l = loads();
    for (auto _ : state)
        if (!l.ok || !l.load(&l.text, l.visible)) {
            state.SkipWithError("the text did not load");
            return;
        }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(l.visible.size()));
}
BENCHMARK(BM_TextLoadSameText)->Unit(benchmark::kMillisecond)->UseRealTime();

// Elements nested state.range(0) deep (div, then span): the tree builder's
// work per element must not grow with the depth.
void BM_HtmlLoadNested(benchmark::State &state)
{
    Loads &l = loads();
    const int depth = int(state.range(0));
    std::string page = "<html><body>";
    for (const char *tag : {"div", "span"}) {
        for (int i = 0; i < depth; i++)
            page += std::string("<") + tag + ">";
        page += "x";
        for (int i = 0; i < depth; i++)
            page += std::string("</") + tag + ">";
    }
    page += "</body></html>";
    for (auto _ : state)
        if (!l.ok || !l.load(&l.html, page)) {
            state.SkipWithError("the page did not load");
            return;
        }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * depth);
}
BENCHMARK(BM_HtmlLoadNested)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
